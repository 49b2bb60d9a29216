// Value formatting, stored scaling texts and stroke values from arbitrary
// bytes, as a damaged training file or settings file could hand them over.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/training.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) return 0;
    float value;
    std::memcpy(&value, data, sizeof value);
    const std::string text(reinterpret_cast<const char*>(data + 4), std::min<size_t>(size - 4, 64));
    (void)FormatValue(text, value);
    (void)FormatValue("T" + text, value);
    (void)FormatValue("F" + text, value);
    ParameterType entry = StrokeParameters()[6];
    ParseStrokeScaling(text, entry);

    // A few strokes and curves made of the input bytes.
    const size_t recordSize = sizeof(TStgStrokeData) + sizeof(TStgForceCurve);
    const int n = int(std::min<size_t>((size - 4) / recordSize, 8));
    if (n < 1) return 0;
    TTraining t;
    ClearTraining(t);
    SetStrokeCount(t, n);
    const uint8_t* p = data + 4;
    for (int k = 1; k <= n; ++k, p += recordSize) {
        std::memcpy(&t.Strokes[size_t(k)], p, sizeof(TStgStrokeData));
        std::memcpy(&t.Curves[size_t(k)], p + sizeof(TStgStrokeData), sizeof(TStgForceCurve));
    }
    std::memcpy(&t.Settings, data, std::min<size_t>(size, sizeof t.Settings));
    t.Settings.LimitType = 4;
    t.Header.SelectedStroke = int32_t(data[0] % 12);
    t.Header.CurveSource = uint8_t(data[1] % 3);
    t.Header.Active = 1;
    UpdateAverageStroke(t);
    TIntervalState state;
    for (int k = 1; k <= n; ++k) {
        for (int i = 0; i < kStrokeParameterCount; ++i) (void)StrokeValueText(t.Strokes[size_t(k)], i, t.Settings);
        CutIntervals(state, t, k);
        (void)FinishAtLimit(t, k, state.Finished);
    }
    for (const auto& iv : t.Intervals)
        for (int i = 0; i < kIntervalParameterCount; ++i) (void)IntervalValueText(iv, i);
    ComputeTotals(t, n);
    for (int i = 0; i < kTotalParameterCount; ++i) (void)TotalValueText(t, i);
    TChartData chart;
    TStrokeSeriesOptions o;
    o.XParam = data[2] % 42;
    o.LeftParam = data[3] % 42;
    o.LeftVisible = o.LeftAverage = o.MarkSelected = o.RightVisible = o.RightAverage = true;
    o.RightParam = (data[2] + data[3]) % 42;
    o.Sliding = data[0] & 1;
    o.ResetAxes = data[1] & 1;
    BuildStrokeSeries(chart, t, o);
    TForceCurveOptions f;
    f.AllCurves = f.Relative = f.UseFixedLength = true;
    f.FixedLength = value;
    f.FixedForce = value;
    BuildForceCurveSeries(chart, t, f);
    return 0;
}
