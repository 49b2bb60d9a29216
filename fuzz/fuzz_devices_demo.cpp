// A raw data file (demo recording or raw data log) played through the demo
// path, the pacing loop and the stroke computation.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "interfaces/devices/demo_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint32_t version = 0;
    std::vector<TRawDataSample> samples;
    const std::string parsed = ParseRawData(data, size, &version, &samples);
    if (parsed.empty() && samples.size() != (size - 8) / 3) std::abort();

    TVTPulseInput in;
    in.ProtocolSet = {vtpVtw};
    in.Computer.Settings.ThresHold = 5;
    int64_t ticks = 0;
    in.Computer.Clock = [&ticks] { return ticks / 614; };
    in.State = vtsOpening;
    in.Prepare();
    TDemoPlayer player(in);
    bool ended = false;
    player.OnEnd = [&ended] { ended = true; };
    int first = 0;
    const std::string failure = player.OpenBytes(data, size, 0, &first);
    if (failure.empty() != parsed.empty()) std::abort();
    if (!failure.empty()) return 0;
    // Each sample is at most 4 pulses, whatever the intervals.
    const uint64_t limit = 4 * uint64_t(samples.size());
    int64_t now = 0;
    int next = first;
    while (next >= 0 && !ended) {
        ticks += int64_t(in.CurrentInterval * 614000);
        now += next;
        next = player.Timer(now);
        if (in.Pulses > limit) std::abort();
    }
    return 0;
}
