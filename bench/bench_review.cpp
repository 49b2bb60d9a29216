// Speed of the training window's grids: one live stroke added to a session of
// 10,000 strokes, and a 10,000-stroke training file opened into a window.
// Both include the event processing that lays out and paints the shown grid.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTabWidget>
#include <QTableView>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "core/values.h"
#include "files/training_file.h"
#include "files/training_io.h"
#include "logic/session_store.h"
#include "review/training_window.h"
#include "tests/support/test_home.h"

namespace {

// The window's controls, found by name as the tests find them.
void ShowStrokeData(TfrmTraining& w)
{
    w.findChild<QTabWidget*>("pgcTraining")->setCurrentWidget(w.findChild<QWidget*>("tshStrokeData"));
}

QTableView* StrokeGrid(TfrmTraining& w) { return w.findChild<QTableView*>("sgdStrokeData"); }

}  // namespace

namespace {

QApplication& App() { return TestApp(); }

void AddStroke(TTraining& t)
{
    const int k = t.StrokeCount() + 1;
    SetStrokeCount(t, k);
    TStgStrokeData& s = t.Strokes[size_t(k)];
    s.StrokeNumber = uint16_t(k);
    s.Power = 150.0f + float(k % 50);
    s.AveragePower = 170.0f;
    s.StrokeRate = 24.0f + float(k % 6);
    s.Time = 2.4f * float(k);
    s.StrokeLength = 140.0f;
    s.Distance = 9.5f * float(k);
    s.Time500 = 112.0f + float(k % 9);
    s.Energy = 450.0f;
    s.EnergySum = 0.45f * float(k);
    s.Pulse = 130.0f;
    s.RecoverRatio = 1.6f;
    s.DriveTime = 0.8f;
    s.DistancePerStroke = 950.0f;
    TStgForceCurve& c = t.Curves[size_t(k)];
    c.HasData = 1;
    for (int i = 0; i < kCurveSamples; ++i) c.Samples[i] = uint16_t(i < 64 ? i * (64 - i) / 2 : 0);
    ApplyCurvePeak(s, c, t.Settings.Sprocket);
}

TTraining Session(int strokes)
{
    TTraining t;
    ClearTraining(t);
    t.Header = DefaultHeader();
    t.Header.ContentKind = ckUser;
    t.Settings = DefaultSettings();
    for (int k = 0; k < strokes; ++k) AddStroke(t);
    ComputeTotals(t, strokes);
    UpdateAverageStroke(t);
    return t;
}

// The row window's call after each ordinary stroke, with the stroke-data
// page shown (the grid scrolled to the end as a user watching it would).
void BM_RefreshStrokeDataAt10000(benchmark::State& state)
{
    App();
    TSessionStore store;
    store.Add(Session(10000), 101);
    TfrmTraining w(store, 101);
    w.resize(1000, 700);
    w.RefreshAll();
    ShowStrokeData(w);
    w.show();
    QApplication::processEvents();
    StrokeGrid(w)->scrollToBottom();
    QApplication::processEvents();
    TTraining& live = *w.Training();
    for (auto _ : state) {
        AddStroke(live);
        w.RefreshStrokeData();
        w.RefreshForceCurves();
        QApplication::processEvents();
    }
    state.counters["strokes"] = live.StrokeCount();
}
BENCHMARK(BM_RefreshStrokeDataAt10000)->Unit(benchmark::kMillisecond)->Iterations(500);

// The refresh call alone: the models take the new stroke; the view lays out
// and paints later, in the event processing left out of the timing here.
void BM_RefreshStrokeDataCallAt10000(benchmark::State& state)
{
    App();
    TSessionStore store;
    store.Add(Session(10000), 101);
    TfrmTraining w(store, 101);
    w.resize(1000, 700);
    w.RefreshAll();
    ShowStrokeData(w);
    w.show();
    QApplication::processEvents();
    TTraining& live = *w.Training();
    for (auto _ : state) {
        state.PauseTiming();
        QApplication::processEvents();
        AddStroke(live);
        state.ResumeTiming();
        w.RefreshStrokeData();
        w.RefreshForceCurves();
    }
    state.counters["strokes"] = live.StrokeCount();
}
BENCHMARK(BM_RefreshStrokeDataCallAt10000)->Unit(benchmark::kMicrosecond)->Iterations(500);

// Reading a 10,000-stroke training file, creating its window, filling it and
// showing it with the stroke-data page.
void BM_OpenTenThousandStrokeFile(benchmark::State& state)
{
    App();
    const std::string folder = std::filesystem::temp_directory_path().string() + "/bench_review";
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/ten_thousand.stg";
    if (!WriteTrainingFile(path, Session(10000), false)) {
        state.SkipWithError("cannot write the test file");
        return;
    }
    for (auto _ : state) {
        TTraining t;
        if (!OpenTraining(path, t, false)) {
            state.SkipWithError("cannot read the test file");
            break;
        }
        TSessionStore store;
        store.Add(t, 102);
        auto w = std::make_unique<TfrmTraining>(store, 102);
        w->resize(1000, 700);
        w->RefreshAll();
        ShowStrokeData(*w);
        w->show();
        QApplication::processEvents();
        benchmark::DoNotOptimize(StrokeGrid(*w)->model()->rowCount());
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_OpenTenThousandStrokeFile)->Unit(benchmark::kMillisecond);

}  // namespace
