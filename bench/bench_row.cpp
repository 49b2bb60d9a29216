// Live cost of one stroke in the row window: a session already holding N
// strokes gets more strokes pushed through the row engine (drive start, 20
// force samples, recovery start, stroke record), each followed by the event
// processing that paints the windows. Everything is real and shown offscreen:
// the row window with both charts and the bottom value area, and the training
// window whose grids follow the session.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "core/records.h"
#include "core/values.h"
#include "framework/mdi.h"
#include "framework/registry.h"
#include "logic/session_store.h"
#include "review/training_window.h"
#include "row/row_window.h"
#include "tests/support/test_home.h"
#include "tests/support/test_registry.h"
#include "util/paths.h"

namespace {

QApplication& App() { return TestApp(); }

// The main window's options.
class TBenchRegistry : public TEmptyRegistry {
public:
    QColor DialogColor() const override { return Qt::lightGray; }
    int DataRange() const override { return 65535; }
    std::string SettingsFileForReading() const override { return SettingsFile(false); }
    std::string SettingsFileForWriting() const override { return SettingsFile(true); }
};

TStgStrokeData MakeStroke(int k)
{
    TStgStrokeData s{};
    s.StrokeNumber = uint16_t(k);
    s.Power = 150.0f + float(k % 40);
    s.AveragePower = 160.0f;
    s.StrokeRate = 24.0f + float(k % 5);
    s.Time = 2.5f * float(k);
    s.StrokeLength = 140.0f;
    s.Distance = 5.0f * float(k);
    s.Time500 = 110.0f + float(k % 7);
    s.Energy = 400.0f;
    s.EnergySum = 0.4f * float(k);
    s.Pulse = 120.0f + float(k % 9);
    s.RecoverRatio = 1.5f;
    s.DriveTime = 0.8f;
    s.DistancePerStroke = 500.0f;
    return s;
}

// full: strokes go through the engine (storage, peaks, average stroke,
// intervals, values); otherwise only the display work of a stroke runs (the
// record is stored directly, then the value cells, the right chart, the
// status bar and the training window's grid are refreshed and painted).
void RunRowStrokes(benchmark::State& state, bool full)
{
    App();
    TTempHome home("benchrow");
    {
        TBenchRegistry registry;
        auto frame = std::make_unique<TMDIMain>();
        frame->resize(1280, 900);
        frame->show();

        TTraining record;
        ResetTraining(record);
        record.Settings.LimitType = 0;
        record.Settings.LimitStrokes = 0;
        // The session already holds N strokes.
        const int n = int(state.range(0));
        SetStrokeCount(record, n);
        for (int k = 1; k <= n; ++k) {
            record.Strokes[size_t(k)] = MakeStroke(k);
            for (int i = 0; i < 80; ++i) record.Curves[size_t(k)].Samples[i] = uint16_t(i < 40 ? 10 * i : 800 - 10 * i);
            record.Curves[size_t(k)].HasData = 1;
        }
        TSessionStore store;
        store.Add(record, 101);
        auto* training = new TfrmTraining(store, 101);
        frame->AddChild(training);
        training->LoadSettings(SettingsFile(false), 1);
        training->show();
        TfrmRow* row = CreateRowWindow(frame.get(), store, 101);
        QApplication::processEvents();
        training->RefreshAll();
        QApplication::processEvents();
        TRowEngine& engine = row->Engine();

        int k = n;
        auto stroke = [&] {
            ++k;
            if (!full) {
                TTraining& session = engine.Session();
                if (k >= session.StrokeCount()) SetStrokeCount(session, k + 100);
                session.Strokes[size_t(k)] = MakeStroke(k);
                session.Header.SelectedStroke = k;
                row->RefreshValues();
                row->StrokeStored(k);
                row->PanelsChanged();
                store.NotifyStrokeAppended(101, k);
                QApplication::processEvents();
                return;
            }
            engine.VTInterfaceStartingStroke(nullptr);
            for (int puls = 1; puls <= 20; ++puls)
                engine.VTInterfaceForceData(nullptr, puls, 7.0 * puls, puls < 10 ? 60.0 * puls : 1200 - 60.0 * puls,
                                            0.01);
            engine.VTInterfaceStartingRecover(nullptr);
            engine.InterfaceStrokeData(nullptr, MakeStroke(k));
            QApplication::processEvents();  // paints the windows
        };
        // The first strokes onto a session opened with N strokes do what
        // rowing did stroke by stroke before (the session average and the
        // journal take in the whole session, the arrays grow): timed apart.
        QElapsedTimer first;
        first.start();
        stroke();
        state.counters["first_stroke_ms"] = double(first.nsecsElapsed()) / 1e6;
        for (int i = 0; i < 9; ++i) stroke();
        for (auto _ : state) stroke();
        state.counters["strokes"] = double(k);
        engine.Shutdown();
        frame.reset();
    }
}

// The session average after each appended stroke: the full computation over
// the whole session against the copy kept stroke by stroke. Stroke lengths
// vary, so the average length (and every curve's stretch) changes with each
// stroke as it does while rowing.
void RunAverage(benchmark::State& state, bool kept)
{
    const int n = int(state.range(0));
    TTraining t;
    ResetTraining(t);
    SetStrokeCount(t, n + 100);
    auto fill = [&t](int k) {
        if (k >= t.StrokeCount()) SetStrokeCount(t, k + 100);  // as the row engine grows it
        TStgStrokeData s = MakeStroke(k);
        s.StrokeLength = 130.0f + float(k % 23);
        t.Strokes[size_t(k)] = s;
        TStgForceCurve& c = t.Curves[size_t(k)];
        c.StrokeNumber = int16_t(k);
        c.HasData = 1;
        const int width = 36 + k % 8;
        for (int i = 0; i < width; ++i) c.Samples[i] = uint16_t((i * (width - i) * (9 + k % 5)) / 8);
    };
    for (int k = 1; k <= n; ++k) fill(k);
    TAverageStrokeCache cache;
    cache.Update(t);
    int k = n;
    for (auto _ : state) {
        fill(++k);
        if (kept) cache.Update(t, k);  // as the row engine: from the stroke it wrote
        else UpdateAverageStroke(t);
        benchmark::DoNotOptimize(t.Curves[0].Samples[20]);
    }
}

void BM_AverageStrokeFull(benchmark::State& state) { RunAverage(state, false); }
void BM_AverageStrokeKept(benchmark::State& state) { RunAverage(state, true); }

void BM_RowStroke(benchmark::State& state) { RunRowStrokes(state, true); }
void BM_RowStrokeDisplayOnly(benchmark::State& state) { RunRowStrokes(state, false); }

// Strokes timed per session size; CATCHLINE_BENCH_STROKES sets more for a profile.
int TimedStrokes()
{
    const char* v = std::getenv("CATCHLINE_BENCH_STROKES");
    return v && std::atoi(v) > 0 ? std::atoi(v) : 40;
}

}  // namespace

BENCHMARK(BM_AverageStrokeFull)->Arg(100)->Arg(1000)->Arg(10000)->Iterations(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AverageStrokeKept)->Arg(100)->Arg(1000)->Arg(10000)->Iterations(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RowStrokeDisplayOnly)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(TimedStrokes())
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RowStroke)->Arg(100)->Arg(1000)->Arg(10000)->Iterations(TimedStrokes())->Unit(benchmark::kMillisecond);
