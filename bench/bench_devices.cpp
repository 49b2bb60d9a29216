// Replay of the built-in 30-minute recording through the stroke computation.
// The counter "realtime" is recorded seconds computed per second: the
// computation must keep far ahead of a live machine (target: 2000 or more).
#include <benchmark/benchmark.h>

#include <cmath>

#include "interfaces/devices/demo_data.h"

namespace {

void Configure(TVTPulseInput& in, int64_t& ticks, int& strokes)
{
    TStrokeSettings& s = in.Computer.Settings;
    s.ThresHold = 5;
    s.Weight = 80;
    in.ProtocolSet = {vtpVtw};
    in.State = vtsOpening;
    in.Computer.Clock = [&ticks] { return ticks * 1000 / 614000; };
    in.Computer.OnStrokeData = [&strokes](const TStgStrokeData& d) {
        benchmark::DoNotOptimize(d);
        ++strokes;
    };
    in.Computer.OnForceData = [](int puls, double, double force, double) { benchmark::DoNotOptimize(force + puls); };
    in.Prepare();
}

double RecordingSeconds()
{
    const auto& data = BuiltInDemoData();
    double ticks = 0;
    for (size_t i = 8; i + 3 <= data.size(); i += 3) ticks += data[i] | data[i + 1] << 8;
    return ticks / 614000.0;
}

// The demo path: DemoRead, DemoProcess and the computation, as fast as possible.
void BM_ReplayDemoPath(benchmark::State& state)
{
    const auto& data = BuiltInDemoData();
    int strokes = 0;
    for (auto _ : state) {
        TVTPulseInput in;
        int64_t ticks = 0;
        strokes = 0;
        Configure(in, ticks, strokes);
        TDemoPlayer player(in);
        player.Source.StoredHeart = true;
        int first = 0;
        if (!player.OpenBytes(data.data(), data.size(), 0, &first).empty()) state.SkipWithError("no recording");
        do {
            ticks += std::llround(in.CurrentInterval * 614000);
            player.Process();
        } while (player.Read());
    }
    state.counters["records"] = strokes;
    state.counters["realtime"] =
        benchmark::Counter(RecordingSeconds() * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReplayDemoPath)->Unit(benchmark::kMillisecond)->UseRealTime();

// The serial path: the recording as frames, received in clusters of 64 bytes.
void BM_ReplayFrames(benchmark::State& state)
{
    const auto& data = BuiltInDemoData();
    std::vector<uint8_t> bytes;
    {
        // Frames as the measuring interface sends them (no pulse for long gaps).
        for (size_t i = 8; i + 3 <= data.size(); i += 3) {
            const uint32_t t = data[i] | data[i + 1] << 8;
            const uint32_t c = t >= 0x7FFF ? 0x7FFF : 0x7FFF - t;
            const uint8_t r0 = uint8_t(~(480 >> 4) & 0x7F);
            uint8_t r1 = uint8_t(0x80 | ((~480 & 0x0F) << 3) | ((c >> 14) & 1));
            const uint8_t r2 = uint8_t(0x80 | ((c >> 7) & 0x7F)), r3 = uint8_t(0x80 | (c & 0x7F));
            r1 = uint8_t(r1 | (((r3 ^ (r3 >> 2)) & 1) << 1) | ((((r3 >> 3) ^ (r3 >> 1)) & 1) << 2));
            for (uint8_t r : {r0, r1, r2, r3}) bytes.push_back(ReverseBits(r));
        }
    }
    int strokes = 0;
    for (auto _ : state) {
        TVTPulseInput in;
        int64_t ticks = 0;
        strokes = 0;
        Configure(in, ticks, strokes);
        for (size_t pos = 0; pos < bytes.size(); pos += 64) {
            ticks += 16 * 7500;  // clock: roughly the time of 16 frames
            in.ReceiveBytes(bytes.data() + pos, std::min<size_t>(64, bytes.size() - pos));
        }
    }
    state.counters["records"] = strokes;
    state.counters["realtime"] =
        benchmark::Counter(RecordingSeconds() * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReplayFrames)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
