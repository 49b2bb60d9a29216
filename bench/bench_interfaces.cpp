// Speed of the device interfaces: the OTM frame search over a byte stream, and
// the whole serial path of the VT interface (pseudo-terminal, worker thread,
// hand-over to the user-interface thread, frames, stroke computation), once
// with the bytes in bulk and once frame by frame as a rowing machine sends
// them (there the CPU time of the whole process per frame is what counts).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QThread>
#include <ctime>
#include <memory>

#include "interfaces/devices/ot_frames.h"
#include "interfaces/devices/vt_encoder.h"
#include "interfaces/vt_interface.h"

namespace {

std::vector<uint16_t> Rowing(int strokes)
{
    std::vector<uint16_t> ticks;
    for (int s = 0; s < strokes; ++s) {
        for (double t = 0; t < 0.8;) {
            const double dt = 0.015 - 0.005 * (t / 0.8);
            ticks.push_back(uint16_t(dt * 614000.0 + 0.5));
            t += dt;
        }
        for (double t = 0; t < 1.6;) {
            const double dt = 0.010 + 0.005 * (t / 1.6);
            ticks.push_back(uint16_t(dt * 614000.0 + 0.5));
            t += dt;
        }
    }
    return ticks;
}

void BM_OTFrameSearch(benchmark::State& state)
{
    std::vector<uint8_t> stream;
    for (int i = 0; i < 200; ++i) {
        TOTStrokeValues v;
        v.StrokeNumber = uint16_t(i);
        const auto f = OTDeviceFrame(OTM_STROKEFINISHED, OTStrokePayload(v));
        stream.insert(stream.end(), f.begin(), f.end());
        if (i % 10 == 0) stream.insert(stream.end(), {1, 2, 0xFF, 3});
    }
    for (auto _ : state) {
        TOTFrameSearch search;
        search.Expected = OTMask(OTM_STROKEFINISHED);
        int accepted = 0;
        for (size_t at = 0; at < stream.size(); at += 64) {
            search.Append(stream.data() + at, std::min<size_t>(64, stream.size() - at));
            while (search.CheckForFrame())
                if (search.Kind != otfNone) ++accepted;
        }
        benchmark::DoNotOptimize(accepted);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(stream.size()));
}
BENCHMARK(BM_OTFrameSearch);

void EnsureCoreApp()
{
    static int argc = 1;
    static char name[] = "bench";
    static char* argv[] = {name, nullptr};
    static auto* app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)app;
}

// The device side of a pseudo-terminal in raw mode.
int OpenDeviceSide()
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    grantpt(master);
    unlockpt(master);
    termios tio{};
    tcgetattr(master, &tio);
    cfmakeraw(&tio);
    tcsetattr(master, TCSANOW, &tio);
    return master;
}

double ProcessCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// A VT interface on the pseudo-terminal master's slave that computes strokes
// and counts the pulses it has handled in raw.
void OpenCountingPulses(TVTInterface& vt, int master, int64_t& raw)
{
    vt.ProtocolSet = {vtpVtw};
    vt.DoCalculate = true;
    vt.OnRawData = [&raw](TInterface*, double, int, int) { ++raw; };
    vt.Open(1, ptsname(master));
}

void BM_VTSerialPath(benchmark::State& state)
{
    EnsureCoreApp();
    const int master = OpenDeviceSide();
    std::string frames;
    for (uint16_t t : Rowing(10)) {
        const auto f = EncodeVTFrame(vtpVtw, t, 120);
        frames.append(reinterpret_cast<const char*>(f.data()), 4);
    }
    const int64_t pulses = int64_t(frames.size() / 4);
    {
        TVTInterface vt;
        int64_t raw = 0;
        OpenCountingPulses(vt, master, raw);
        for (auto _ : state) {
            const int64_t target = raw + pulses;
            size_t done = 0;
            while (done < frames.size()) {
                const ssize_t n = write(master, frames.data() + done, frames.size() - done);
                if (n > 0) done += size_t(n);
                QCoreApplication::processEvents();
            }
            while (raw < target) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        }
        state.SetItemsProcessed(int64_t(state.iterations()) * pulses);
        vt.Close();
    }
    close(master);
}
BENCHMARK(BM_VTSerialPath)->Unit(benchmark::kMillisecond);

// One frame at a time, the next once the interface has handled the last:
// the worker wakes, reads and hands over for every frame, as while rowing.
// cpu_us_per_frame counts every thread of the process.
void BM_VTSerialFrameByFrame(benchmark::State& state)
{
    EnsureCoreApp();
    const int master = OpenDeviceSide();
    const std::vector<uint16_t> ticks = Rowing(2);
    {
        TVTInterface vt;
        int64_t raw = 0;
        OpenCountingPulses(vt, master, raw);
        int64_t frames = 0;
        double cpu = 0;
        for (auto _ : state) {
            const double cpuStart = ProcessCpuSeconds();
            for (uint16_t t : ticks) {
                const auto f = EncodeVTFrame(vtpVtw, t, 120);
                const int64_t target = raw + 1;
                if (write(master, f.data(), 4) != 4) state.SkipWithError("device side refused a frame");
                while (raw < target) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
            }
            cpu += ProcessCpuSeconds() - cpuStart;
            frames += int64_t(ticks.size());
        }
        state.counters["cpu_us_per_frame"] = frames ? 1e6 * cpu / double(frames) : 0.0;
        state.SetItemsProcessed(frames);
        vt.Close();
    }
    close(master);
}
BENCHMARK(BM_VTSerialFrameByFrame)->Unit(benchmark::kMillisecond);

}  // namespace
