// The OTM frame search and payload conversion on arbitrary bytes: the input
// is fed in chunks whose sizes come from the input itself, with every frame
// type expected; every accepted frame is converted to its record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "interfaces/devices/ot_frames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TOTFrameSearch search;
    search.Expected = size > 0 ? uint32_t(data[0]) : 0x3E;
    TStgIni ini{};
    TStgStrokeData stroke{};
    TStgForceCurve curve{};
    TStgWorkout workout{};
    float energy = 0;
    size_t at = size > 0 ? 1 : 0;
    while (at < size) {
        const size_t chunk = 1 + data[at] % 64;
        const size_t n = chunk < size - at ? chunk : size - at;
        search.Append(data + at, n);
        at += n;
        for (int guard = 0; guard < 10000 && search.CheckForFrame(); ++guard) {
            const uint8_t* f = search.Frame.data();
            switch (search.Kind) {
            case otfStartWorkout: FillOTIni(f, ini); break;
            case otfStrokeFinished:
                FillOTStroke(f, energy, stroke, curve);
                SmoothOTCurve(curve, data[0] % 3);
                break;
            case otfWorkoutFinished: FillOTWorkout(f, workout); break;
            default: break;
            }
        }
        if (search.Buffer().size() > kOTMaxFrame + 64) std::abort();
    }
    return 0;
}
