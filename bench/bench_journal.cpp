// The recording journal's cost per stroke: the entries of one stroke (its
// record and curve, the raw samples since the stroke before, the check of
// header, settings and intervals) appended with one write and made durable
// with fdatasync, at stroke 10 and at stroke 10,000 of a session. The cost
// must not grow with the session. The journal lives in TMPDIR (else /tmp):
// point it at the disk the user data folder is on for figures that matter.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/values.h"
#include "files/journal.h"

namespace {

// Raw samples the demo recording gives per stroke (about 2.5 s of pulses).
constexpr int kRawPerStroke = 225;

std::string BenchFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/catchline-bench-journal-" + std::to_string(getpid()) + "/";
}

// A session as the row engine holds it at stroke n, intervals of 10 strokes included.
void Grow(TTraining& t, int n, int& raw)
{
    if (n >= t.StrokeCount()) SetStrokeCount(t, n + 100);
    for (int i = 0; i < kRawPerStroke; ++i) {
        ++raw;
        if (raw >= int(t.RawSamples.size())) t.RawSamples.resize(size_t(raw) + 10000);
        t.RawSamples[size_t(raw)] = TRawSample{int16_t(2000 + raw % 3000), 120};
    }
    TStgStrokeData& s = t.Strokes[size_t(n)];
    s.StrokeNumber = uint16_t(n);
    s.Time = 2.5f * float(n);
    s.Distance = 10.0f * float(n);
    s.EnergySum = 0.5f * float(n);
    TStgForceCurve& c = t.Curves[size_t(n)];
    c.StrokeNumber = int16_t(n);
    c.HasData = 1;
    for (int i = 0; i < 50; ++i) c.Samples[i] = uint16_t(400 - (i - 25) * (i - 25) / 2);
    if (n % 10 == 0) SetIntervalCount(t, n / 10);
}

void BM_JournalStroke(benchmark::State& state)
{
    const int at = int(state.range(0));
    const std::string folder = BenchFolder();
    TTraining t;
    ResetTraining(t);
    t.Header = DefaultHeader();
    t.Settings = DefaultSettings();
    TJournalWriter w;
    if (!w.Create(folder, t)) {
        state.SkipWithError("cannot create the journal");
        return;
    }
    // The journal of the first strokes, written as the recording writes it.
    int raw = 0;
    for (int k = 1; k < at; ++k) {
        Grow(t, k, raw);
        w.Record(t, k, raw);
    }
    // Each iteration rows stroke 'at' again (a later entry replaces it), with
    // the raw samples of a stroke.
    for (auto _ : state) {
        state.PauseTiming();
        Grow(t, at, raw);
        state.ResumeTiming();
        if (!w.Record(t, at, raw)) state.SkipWithError("write failed");
    }
    state.counters["journal_MB"] = double(w.Size()) / 1e6;
    w.End(jeDiscarded);
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}
BENCHMARK(BM_JournalStroke)->Arg(10)->Arg(10000)->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(300);

}  // namespace
