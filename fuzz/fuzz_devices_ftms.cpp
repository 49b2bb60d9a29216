// FTMS Rower Data: arbitrary notifications through the decoder, the parts
// assembler and the stroke maker (recording switched on and off by the
// input); accepted packets encode back to the same bytes up to their length.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "interfaces/devices/ftms.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TRowerDataAssembler assembler;
    TFtmsStrokeMaker maker;
    double seconds = 0;
    int strokes = 0;
    size_t at = 0;
    while (at < size) {
        const uint8_t control = data[at];
        const size_t n = std::min<size_t>(control % 32, size - at - 1);
        const uint8_t* p = data + at + 1;
        at += n + 1;
        seconds += (control >> 5) * 0.25;
        maker.SetRecording((control & 0x10) == 0);
        TRowerData r;
        std::string error;
        if (!DecodeRowerData(p, n, r, error)) {
            if (error.empty()) std::abort();
            continue;
        }
        const auto again = EncodeRowerData(r);
        if (again.size() > n || !std::equal(again.begin(), again.end(), p)) std::abort();
        for (const auto& part : SplitRowerData(r, 20))
            if (part.size() > 20 + 5) std::abort();
        if (assembler.Add(r) && maker.Add(assembler.Record(), seconds)) {
            const TStgStrokeData& s = maker.Stroke();
            if (s.StrokeNumber != ++strokes % 65536 && strokes < 65535) std::abort();
            if (!(s.Power >= 0) || !std::isfinite(s.Time) || !std::isfinite(s.EnergySum) || s.Time500 < 0) std::abort();
        }
    }
    return 0;
}
