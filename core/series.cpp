#include "core/series.h"

#include <algorithm>
#include <limits>

#include "core/catalogue.h"
#include "core/values.h"
#include "util/color.h"

namespace {
int gDataRange = 65535;

bool IsTimeFormat(const std::string& format) { return !format.empty() && format[0] == 'T'; }

TSeriesData NewSeries(const TTraining& t, TSeriesKind kind, TSeriesRole role, TAxisSide axis, int32_t color)
{
    TSeriesData s;
    s.Kind = kind;
    s.Role = role;
    s.Axis = axis;
    s.Title = t.Header.Title.Text();
    s.ClientId = t.ClientId;
    s.Color = color;
    s.PenStyle = t.Header.PenStyle;
    s.PenWidth = t.Header.PenWidth;
    return s;
}

struct TSide {
    bool Visible, Marks, Average;
    int Param;
    TAxisSide Axis;
    TAxisScale* Scale;
};

}  // namespace

int DataRange() { return gDataRange; }
void SetDataRange(int strokes) { gDataRange = std::max(strokes, 5); }

// InverseColor (declared in core/series.h) is the one of util/color.h: a
// second definition here would clash with it when both libraries are linked.

void BuildStrokeSeries(TChartData& chart, const TTraining& t, const TStrokeSeriesOptions& o)
{
    const int n = t.StrokeCount();
    // Strokes 0 (the average) and 1 are never drawn.
    int last = n, first = 2;
    if (o.Sliding) {
        last = 0;
        for (int j = n; j >= 2; --j)
            if (t.Strokes[size_t(j)].Distance > 0) {
                last = j;
                break;
            }
        if (int64_t(DataRange()) + 1 < last) first = last - DataRange();
    }
    const TSeriesKind kind = ParameterSeriesStyle(o.XParam) == 0 ? TSeriesKind::Line : TSeriesKind::Point;
    const bool xTime = IsTimeFormat(ParameterFormat(o.XParam));
    const int32_t sessionColor = t.Header.Color;

    auto value = [&](int j, int param) { return StrokeValue(t.Strokes[size_t(j)], param, t.Settings); };
    std::vector<double> xs;
    for (int j = first; j <= last; ++j) xs.push_back(value(j, o.XParam));

    const TSide sides[2] = {
        {o.LeftVisible, o.LeftMarks, o.LeftAverage, o.LeftParam, TAxisSide::Left, &chart.Left},
        {o.RightVisible, o.RightMarks, o.RightAverage, o.RightParam, TAxisSide::Right, &chart.Right},
    };
    for (const TSide& side : sides) {
        if (side.Visible && side.Param >= 0) ScaleAxis(*side.Scale, t, side.Param, o.Sliding, o.ResetAxes);
        if (!side.Visible) continue;
        const bool right = side.Axis == TAxisSide::Right;
        int32_t color = sessionColor;
        int32_t width = t.Header.PenWidth;
        if (right && !o.InverseRight) width = 1;
        if (right && o.InverseRight) color = InverseColor(sessionColor);

        TSeriesData data = NewSeries(t, kind, TSeriesRole::Data, side.Axis, color);
        if (right) data.PenStyle = 0;  // the right side is always solid
        data.PenWidth = width;
        data.Pointer = right ? TPointerShape::Circle : TPointerShape::Rectangle;
        data.PointerSize = 3;
        data.XDateTime = xTime;
        data.YDateTime = IsTimeFormat(ParameterFormat(side.Param));
        data.MarksVisible = side.Marks;
        if (kind == TSeriesKind::Line) {
            data.HasMarkBackColor = true;
            data.MarkBackColor = color;
        }
        data.Capacity = DataRange();
        // Values of the side's parameter for strokes 2..last (the average
        // window may reach before first).
        const int from = std::max(2, first - 5);
        std::vector<double> ys;
        for (int m = from; m <= last; ++m) ys.push_back(value(m, side.Param));
        auto y = [&](int m) { return ys[size_t(m - from)]; };
        for (int j = first; j <= last; ++j) {
            const double x = xs[size_t(j - first)];
            if (x > 0 && y(j) > 0) data.Points.push_back({x, y(j)});
        }
        chart.Series.push_back(std::move(data));

        if (side.Average && kind == TSeriesKind::Line) {
            TSeriesData avg = NewSeries(t, TSeriesKind::Line, TSeriesRole::Average, side.Axis, color);
            avg.PenStyle = 0;
            avg.PenWidth = 1;
            avg.XDateTime = xTime;
            avg.YDateTime = IsTimeFormat(ParameterFormat(side.Param));
            avg.Capacity = DataRange();
            for (int j = first; j <= last; ++j) {
                const double x = xs[size_t(j - first)];
                double sum = 0;
                int count = 0, lastUsed = 0;
                for (int m = std::max(j - 5, from); m <= std::min(j + 5, last); ++m) {
                    if (y(m) > 0) {
                        sum += y(m);
                        ++count;
                        lastUsed = m;
                    }
                }
                const double a = SafeDivide(count, sum);
                if (x > 0 && a > 0 && lastUsed >= j) avg.Points.push_back({x, a});
            }
            chart.Series.push_back(std::move(avg));
        }
    }

    // Vertical line at the selected stroke across the axis.
    const int selected = t.Header.SelectedStroke;
    if (o.MarkSelected && (o.LeftVisible || o.RightVisible) && kind == TSeriesKind::Line && selected > 0 &&
        selected <= n) {
        const TAxisSide sideAxis = o.LeftVisible ? TAxisSide::Left : TAxisSide::Right;
        const TAxisScale& scale = o.LeftVisible ? chart.Left : chart.Right;
        double lo = scale.Minimum, hi = scale.Maximum;
        if (scale.AutoMinimum || scale.AutoMaximum) {
            // An automatic axis shows the range of its series.
            double dlo = std::numeric_limits<double>::infinity(), dhi = -dlo;
            for (const auto& s : chart.Series)
                if (s.Axis == sideAxis)
                    for (const auto& p : s.Points) {
                        dlo = std::min(dlo, p.Y);
                        dhi = std::max(dhi, p.Y);
                    }
            if (dlo <= dhi) {
                if (scale.AutoMinimum) lo = dlo;
                if (scale.AutoMaximum) hi = dhi;
            }
        }
        TSeriesData marker = NewSeries(t, TSeriesKind::Line, TSeriesRole::SelectedMarker, sideAxis, chart.BottomAxisColor);
        marker.PenStyle = 0;
        marker.PenWidth = 3;
        marker.XDateTime = xTime;
        marker.Capacity = 2;
        const double x = value(selected, o.XParam);
        marker.Points.push_back({x, hi});
        marker.Points.push_back({x, lo});
        chart.Series.push_back(std::move(marker));
    }
}

void BuildForceCurveSeries(TChartData& chart, const TTraining& t, const TForceCurveOptions& o)
{
    if (t.Header.Active == 0) return;
    const double spacing = SampleSpacing(t.Settings);
    const int n = std::min(t.StrokeCount(), int(t.Curves.size()) - 1);
    const int selected = t.Header.SelectedStroke;

    auto draw = [&](const TStgStrokeData& s, const TStgForceCurve& c, int32_t color, TSeriesRole role) {
        TSeriesData series = NewSeries(t, TSeriesKind::Line, role, TAxisSide::Left, color);
        series.Capacity = kCurveSamples;
        const double scale = o.UseFixedLength ? double(SafeDivide(o.FixedLength, s.StrokeLength)) : 1.0;
        const TCurveValues r = ResampleCurve(c, scale);
        const double factor = o.Relative ? double(SafeDivide(s.PeakForce, o.FixedForce)) : 1.0;
        series.Points.reserve(kCurveSamples);
        for (int i = 1; i <= kCurveSamples; ++i) {
            double y = r[size_t(i - 1)];
            if (o.Relative) y *= factor;
            series.Points.push_back({i * spacing, y});
        }
        chart.Series.push_back(std::move(series));
    };

    if (o.AllCurves && n > 0 && selected > 0) {
        const int32_t inverse = InverseColor(t.Header.Color);
        for (int j = 1; j <= n; ++j)
            draw(t.Strokes[size_t(j)], t.Curves[size_t(j)], inverse, TSeriesRole::OtherCurve);
    }
    if (n >= 1 && selected >= 1) {
        switch (t.Header.CurveSource) {
        case 0:
            if (selected <= n) draw(t.Strokes[size_t(selected)], t.Curves[size_t(selected)], t.Header.Color,
                                    TSeriesRole::Curve);
            break;
        case 1: draw(t.Strokes[0], t.Curves[0], t.Header.Color, TSeriesRole::Curve); break;
        case 2: {
            const int iv = t.Header.CurveInterval;
            if (iv >= 0 && iv < t.IntervalCount())
                draw(t.Intervals[size_t(iv)].Stroke, t.Intervals[size_t(iv)].Curve, t.Header.Color,
                     TSeriesRole::Curve);
            break;
        }
        default: break;
        }
    }
}
