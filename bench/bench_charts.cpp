// Chart windows with two open sessions of 10,000 strokes each: redrawing the
// stroke data window after a change (chart, grid and painting the chart) and
// stepping one curve in the force curves window.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QChartView>
#include <QComboBox>

#include <array>
#include <cstdlib>
#include <memory>
#include <vector>

#include "charts/force_curves_window.h"
#include "charts/stroke_data_window.h"
#include "core/catalogue.h"
#include "core/values.h"
#include "framework/registry.h"
#include "logic/session_store.h"
#include "tests/support/test_home.h"
#include "tests/support/test_registry.h"

namespace {

QApplication& App() { return TestApp(); }

TTraining MakeSession(int n, const char* title, int32_t color, int seed)
{
    TTraining t;
    ClearTraining(t);
    t.Magic = kTrainingMagic;
    t.Header = DefaultHeader();
    t.Header.Title.SetText(title);
    t.Header.Active = 1;
    t.Header.SelectedStroke = 1;
    t.Header.Color = color;
    t.Header.PenWidth = 1;
    t.Settings = DefaultSettings();
    SetStrokeCount(t, n);
    for (int k = 1; k <= n; ++k) {
        TStgStrokeData& s = t.Strokes[size_t(k)];
        s.StrokeNumber = uint16_t(k);
        s.Power = 150.0f + float((k * 7 + seed) % 60);
        s.StrokeRate = 24.0f + float(k % 5);
        s.Time = 2.5f * float(k);
        s.StrokeLength = 130.0f + float((k + seed) % 20);
        s.Distance = 5.0f * float(k);
        s.Energy = 400.0f + float(k % 11);
        s.Pulse = 120.0f + float((k + seed) % 30);
        s.DriveTime = 0.8f;
        TStgForceCurve& c = t.Curves[size_t(k)];
        c.StrokeNumber = int16_t(k);
        c.HasData = 1;
        const double peak = 400.0 + 5.0 * ((k + seed) % 30);
        for (int i = 0; i < kCurveSamples; ++i) {
            const double x = i / 60.0;
            c.Samples[i] = i < 60 ? RoundToWord(peak * 4 * x * (1 - x)) : 0;
        }
        ApplyCurvePeak(s, c, 0);
    }
    ComputeTotals(t, n);
    UpdateAverageStroke(t);
    return t;
}

// The main window as the chart windows see it, with its store: two sessions
// and the four average records.
class TBenchRegistry : public TEmptyRegistry {
public:
    TBenchRegistry()
    {
        // Added last first: the store lists the session opened last at index 0.
        Store.Add(MakeSession(10000, "Second", 0x00FF00, 13), 102);
        Store.Add(MakeSession(10000, "First", 0x0000FF, 0), 101);
    }
    TAppearance Appearance() const override
    {
        return TAppearance{QApplication::font(), Qt::black, Qt::white, QColor(0xF0, 0xF0, 0xF0)};
    }
    QColor DialogColor() const override { return QColor(0xF0, 0xF0, 0xF0); }
    int DataRange() const override { return 65535; }
    TTraining& First() { return *Store.At(0); }

    TSessionStore Store;
};

void BM_StrokeDataRedraw(benchmark::State& state)
{
    App();
    BuildCatalogues();
    TBenchRegistry registry;
    auto* w = CreateStrokeDataWindow(nullptr, registry.Store, "");
    w->showNormal();
    w->resize(1200, 800);
    QApplication::processEvents();
    bool marks = false;
    for (auto _ : state) {
        // A change (the selected stroke of a session) and the full redraw it causes.
        registry.First().Header.SelectedStroke = marks ? 2 : 1;
        marks = !marks;
        w->clbTrainingsClick();
        w->ChartView->viewport()->repaint();
    }
    delete w;
}
BENCHMARK(BM_StrokeDataRedraw)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same with a point-style X parameter (power): point series of 10,000
// points on both axes for each session.
void BM_StrokeDataRedrawPoints(benchmark::State& state)
{
    App();
    BuildCatalogues();
    TBenchRegistry registry;
    auto* w = CreateStrokeDataWindow(nullptr, registry.Store, "");
    w->showNormal();
    w->resize(1200, 800);
    w->SelectParameter(w->findChild<QComboBox*>("cmbX"), 1);   // power per stroke
    w->SelectParameter(w->findChild<QComboBox*>("cmbY"), 12);  // pulse
    w->SelectParameter(w->findChild<QComboBox*>("cmbZ"), 6);   // stroke length
    QApplication::processEvents();
    bool marks = false;
    for (auto _ : state) {
        registry.First().Header.SelectedStroke = marks ? 2 : 1;
        marks = !marks;
        w->clbTrainingsClick();
        w->ChartView->viewport()->repaint();
    }
    delete w;
}
BENCHMARK(BM_StrokeDataRedrawPoints)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ForceCurveStep(benchmark::State& state)
{
    App();
    BuildCatalogues();
    TBenchRegistry registry;
    auto* w = CreateForceCurvesWindow(nullptr, registry.Store, "");
    w->showNormal();
    w->resize(1200, 800);
    QApplication::processEvents();
    w->SelectEntry(0);
    for (auto _ : state) {
        if (registry.First().Header.SelectedStroke >= 10000) registry.First().Header.SelectedStroke = 1;
        w->Browse(baNext, false);
        w->ChartView->viewport()->repaint();
    }
    delete w;
}
BENCHMARK(BM_ForceCurveStep)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A session whose record asks for all its curves (the flag comes from the
// file): a step redraws 10,000 curves of the first session besides the shown ones.
void BM_ForceCurveStepAllCurves(benchmark::State& state)
{
    App();
    BuildCatalogues();
    TBenchRegistry registry;
    registry.First().ShowAllCurves = 1;
    auto* w = CreateForceCurvesWindow(nullptr, registry.Store, "");
    w->showNormal();
    w->resize(1200, 800);
    QApplication::processEvents();
    w->SelectEntry(0);
    for (auto _ : state) {
        if (registry.First().Header.SelectedStroke >= 10000) registry.First().Header.SelectedStroke = 1;
        w->Browse(baNext, false);
        w->ChartView->viewport()->repaint();
    }
    delete w;
}
BENCHMARK(BM_ForceCurveStepAllCurves)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
