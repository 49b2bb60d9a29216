// Speed of the training data layer's per-stroke work on long sessions.
#include <benchmark/benchmark.h>

#include <cmath>

#include "core/training.h"

namespace {

TTraining LongSession(int n)
{
    TTraining t;
    ClearTraining(t);
    t.Settings = DefaultSettings();
    t.Header.Active = 1;
    SetStrokeCount(t, n);
    for (int k = 1; k <= n; ++k) {
        TStgStrokeData& s = t.Strokes[size_t(k)];
        s.Time = float(k * 2.0);
        s.Distance = float(k * 10.0);
        s.Energy = 400;
        s.EnergySum = float(k * 0.4);
        s.Power = 200;
        s.Pulse = 120;
        s.StrokeLength = float(110 + k % 20);
        s.DriveTime = 0.8f;
        s.RecoverRatio = 1.5f;
        s.DistancePerStroke = 1000;
        TStgForceCurve& c = t.Curves[size_t(k)];
        const int width = 36 + k % 8;
        for (int i = 0; i < width; ++i)
            c.Samples[i] = uint16_t(std::lround((300 + k % 50) * std::sin(M_PI * (i + 0.5) / width)));
        c.HasData = 1;
        ApplyCurvePeak(s, c, t.Settings.Sprocket);
    }
    return t;
}

void BM_UpdateAverageStroke(benchmark::State& state)
{
    TTraining t = LongSession(int(state.range(0)));
    for (auto _ : state) {
        UpdateAverageStroke(t);
        benchmark::DoNotOptimize(t.Curves[0].Samples[20]);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_UpdateAverageStroke)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_CutIntervals(benchmark::State& state)
{
    const int n = int(state.range(0));
    TTraining base = LongSession(n);
    base.Settings.LimitType = 4;
    base.Settings.LimitIntervals = 0;
    base.Settings.IntervalBy = 0;
    base.Settings.WorkStrokes = 20;
    base.Settings.RestStrokes = 10;
    for (auto _ : state) {
        state.PauseTiming();
        TTraining t = base;
        TIntervalState cutter;
        state.ResumeTiming();
        for (int k = 1; k <= n; ++k) CutIntervals(cutter, t, k);
        benchmark::DoNotOptimize(t.Intervals.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_CutIntervals)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_StrokeSeries(benchmark::State& state)
{
    TTraining t = LongSession(int(state.range(0)));
    TStrokeSeriesOptions o;
    o.XParam = spStrokeNumber;
    o.LeftParam = spPower;
    o.LeftVisible = o.LeftAverage = true;
    o.RightParam = spPulse;
    o.RightVisible = o.RightAverage = true;
    o.ResetAxes = true;
    for (auto _ : state) {
        TChartData chart;
        BuildStrokeSeries(chart, t, o);
        benchmark::DoNotOptimize(chart.Series.data());
    }
}
BENCHMARK(BM_StrokeSeries)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
