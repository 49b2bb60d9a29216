#include "core/series.h"

#include <algorithm>
#include <cstring>
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
        TSeriesData marker =
            NewSeries(t, TSeriesKind::Line, TSeriesRole::SelectedMarker, sideAxis, chart.BottomAxisColor);
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

// ---- live stroke chart -----------------------------------------------------------

namespace {

bool SameOptions(const TStrokeSeriesOptions& a, const TStrokeSeriesOptions& b)
{
    return a.XParam == b.XParam && a.MarkSelected == b.MarkSelected && a.Sliding == b.Sliding &&
           a.ResetAxes == b.ResetAxes && a.InverseRight == b.InverseRight && a.RightMarks == b.RightMarks &&
           a.RightAverage == b.RightAverage && a.RightVisible == b.RightVisible && a.LeftMarks == b.LeftMarks &&
           a.LeftAverage == b.LeftAverage && a.LeftVisible == b.LeftVisible && a.RightParam == b.RightParam &&
           a.LeftParam == b.LeftParam;
}

// The last stroke a live chart draws: the last one with a distance.
int LastRowedStroke(const TTraining& t)
{
    for (int j = t.StrokeCount(); j >= 2; --j)
        if (t.Strokes[size_t(j)].Distance > 0) return j;
    return 0;
}

int FirstLiveStroke(int last) { return int64_t(DataRange()) + 1 < last ? last - DataRange() : 2; }

}  // namespace

bool TLiveStrokeSeries::Follows(const TTraining& t, const TStrokeSeriesOptions& o) const
{
    if (!Incremental || !SameOptions(o, Options) || Range != DataRange()) return false;
    if (t.ClientId != ClientId || t.Header.Color != Color || t.Header.PenWidth != PenWidth ||
        t.Header.PenStyle != PenStyle || t.Header.Title.Text() != Title)
        return false;
    if (std::memcmp(&t.Settings, &Settings, sizeof Settings) != 0) return false;
    // The catalogue's scaling of the drawn parameters.
    const int params[2] = {o.LeftParam, o.RightParam};
    for (int s = 0; s < 2; ++s) {
        const TSide& side = Sides[s];
        if (!side.Doubling) continue;
        const ParameterType& c = StrokeParameters()[size_t(params[s])];
        if (c.ScaleMode != smDouble || double(c.Minimum) != side.Minimum ||
            double(c.Maximum) - double(c.Minimum) != side.Range)
            return false;
    }
    return true;
}

void TLiveStrokeSeries::ScanScale(TSide& side, int param, const TTraining& t, int from)
{
    const int n = t.StrokeCount();
    from = std::min(std::max(from, 2), int(side.States.size()) + 2);
    side.States.resize(size_t(std::max(n - 1, 0)));
    TDoubleScaleState state{0, side.Start};
    if (from > 2 && size_t(from - 3) < side.States.size()) state = side.States[size_t(from - 3)];
    for (int j = from; j <= n; ++j) {
        DoubleScaleStep(state, StrokeValue(t.Strokes[size_t(j)], param, t.Settings), side.Range);
        side.States[size_t(j - 2)] = state;
    }
}

void TLiveStrokeSeries::Rebuild(const TTraining& t, const TStrokeSeriesOptions& o)
{
    ++RebuildCount;
    Chart = TChartData{};
    BuildStrokeSeries(Chart, t, o);
    Kept.assign(Chart.Series.size(), 0);
    Options = o;
    Range = DataRange();
    ClientId = t.ClientId;
    Color = t.Header.Color;
    PenWidth = t.Header.PenWidth;
    PenStyle = t.Header.PenStyle;
    Title = t.Header.Title.Text();
    Settings = t.Settings;
    Incremental = o.Sliding && o.ResetAxes && !o.MarkSelected && !o.LeftAverage && !o.RightAverage;
    if (!Incremental) return;
    Last = LastRowedStroke(t);
    First = FirstLiveStroke(Last);
    const bool visible[2] = {o.LeftVisible, o.RightVisible};
    const int params[2] = {o.LeftParam, o.RightParam};
    int series = 0;
    for (int s = 0; s < 2; ++s) {
        TSide& side = Sides[s];
        side = TSide{};
        if (!visible[s]) continue;
        side.Series = series++;
        for (int j = First; j <= Last; ++j)
            if (StrokeValue(t.Strokes[size_t(j)], o.XParam, t.Settings) > 0 &&
                StrokeValue(t.Strokes[size_t(j)], params[s], t.Settings) > 0)
                side.Strokes.push_back(j);
        if (params[s] < 0 || params[s] >= kStrokeParameterCount) continue;
        const ParameterType& c = StrokeParameters()[size_t(params[s])];
        if (c.ScaleMode != smDouble) continue;
        side.Doubling = true;
        side.Minimum = c.Minimum;
        side.Start = c.Maximum;
        side.Range = double(c.Maximum) - double(c.Minimum);
        ScanScale(side, params[s], t, 2);
    }
    if (series != int(Chart.Series.size())) Incremental = false;  // a layout this class does not know
}

void TLiveStrokeSeries::StrokeStored(const TTraining& t, const TStrokeSeriesOptions& o, int k)
{
    if (!Follows(t, o)) {
        Rebuild(t, o);
        return;
    }
    const int last = LastRowedStroke(t);
    const int first = FirstLiveStroke(last);
    // Strokes from `from` on may have changed; the window may only move on.
    const int from = std::max(std::min(k, Last + 1), 2);
    if (first < First || (last < Last && from > last) || from < First) {
        Rebuild(t, o);
        return;
    }
    const int params[2] = {o.LeftParam, o.RightParam};
    TAxisScale* scales[2] = {&Chart.Left, &Chart.Right};
    for (int s = 0; s < 2; ++s) {
        TSide& side = Sides[s];
        if (side.Series < 0) continue;
        const int param = params[s];
        // The axis as ScaleAxis sets it from the catalogue.
        if (side.Doubling) {
            ScanScale(side, param, t, from);
            const double hi = side.States.empty() ? side.Start : side.States.back().Maximum;
            SetFixedScale(*scales[s], side.Minimum, hi, (hi - side.Minimum) / 10);
        } else if (param >= 0) {
            ScaleAxis(*scales[s], t, param, true, true);
        }
        std::vector<TPointD>& points = Chart.Series[size_t(side.Series)].Points;
        while (!side.Strokes.empty() && side.Strokes.back() >= from) {
            side.Strokes.pop_back();
            points.pop_back();
        }
        size_t drop = 0;
        while (drop < side.Strokes.size() && side.Strokes[drop] < first) ++drop;
        Kept[size_t(side.Series)] = drop > 0 ? 0 : points.size();  // a slide moves every point
        if (drop > 0) {
            side.Strokes.erase(side.Strokes.begin(), side.Strokes.begin() + std::ptrdiff_t(drop));
            points.erase(points.begin(), points.begin() + std::ptrdiff_t(drop));
        }
        for (int j = std::max(from, first); j <= last; ++j) {
            const double x = StrokeValue(t.Strokes[size_t(j)], o.XParam, t.Settings);
            const double y = StrokeValue(t.Strokes[size_t(j)], param, t.Settings);
            if (x > 0 && y > 0) {
                points.push_back({x, y});
                side.Strokes.push_back(j);
            }
        }
    }
    First = first;
    Last = last;
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
        for (int j = 1; j <= n; ++j) draw(t.Strokes[size_t(j)], t.Curves[size_t(j)], inverse, TSeriesRole::OtherCurve);
    }
    if (n >= 1 && selected >= 1) {
        switch (t.Header.CurveSource) {
        case 0:
            if (selected <= n)
                draw(t.Strokes[size_t(selected)], t.Curves[size_t(selected)], t.Header.Color, TSeriesRole::Curve);
            break;
        case 1: draw(t.Strokes[0], t.Curves[0], t.Header.Color, TSeriesRole::Curve); break;
        case 2: {
            const int iv = t.Header.CurveInterval;
            if (iv >= 0 && iv < t.IntervalCount())
                draw(t.Intervals[size_t(iv)].Stroke, t.Intervals[size_t(iv)].Curve, t.Header.Color, TSeriesRole::Curve);
            break;
        }
        default: break;
        }
    }
}

std::vector<int32_t> SessionColors(const TChartData& chart)
{
    std::vector<int32_t> colors;
    for (const TSeriesData& s : chart.Series) {
        if (s.ClientId <= 0 || (s.Role != TSeriesRole::Data && s.Role != TSeriesRole::Curve)) continue;
        if (std::find(colors.begin(), colors.end(), s.Color) == colors.end()) colors.push_back(s.Color);
    }
    return colors;
}

int32_t DrawColor(const TSeriesData& series, int32_t color, const std::vector<int32_t>& sessionColors,
                  int32_t background)
{
    if (series.ClientId < 0) color = DistinctColor(color, sessionColors.data(), int(sessionColors.size()), background);
    return ReadableColor(color, background);
}
