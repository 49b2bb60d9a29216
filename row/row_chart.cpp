#include "row/row_chart.h"

#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "framework/chart_scale.h"
#include "framework/window_util.h"
#include "util/axis_ticks.h"

namespace {

qint64 DayBase() { return ChartDayBase(); }

Qt::Alignment AlignmentOf(int axis) { return axis == 0 ? Qt::AlignBottom : axis == 1 ? Qt::AlignLeft : Qt::AlignRight; }

}  // namespace

size_t TRowChart::KeptPrefix(const TSeriesMemo& memo, const std::vector<TPointD>& points)
{
    const size_t n = memo.Points.size();
    if (n == 0 || points.size() < n) return 0;
    return std::memcmp(memo.Points.data(), points.data(), n * sizeof(TPointD)) == 0 ? n : 0;
}

void TRowChart::ScanRanges(TSeriesMemo& memo, const std::vector<TPointD>& points, size_t from)
{
    if (from == 0) {
        for (int a = 0; a < 2; ++a) {
            memo.Lo[a] = std::numeric_limits<double>::infinity();
            memo.Hi[a] = -std::numeric_limits<double>::infinity();
            memo.Whole[a] = true;
        }
    }
    auto isWhole = [](double v) { return !std::isfinite(v) || v == std::floor(v); };
    for (size_t i = from; i < points.size(); ++i) {
        const double v[2] = {points[i].X, points[i].Y};
        for (int a = 0; a < 2; ++a) {
            memo.Whole[a] = memo.Whole[a] && isWhole(v[a]);
            if (std::isfinite(v[a])) {
                memo.Lo[a] = std::min(memo.Lo[a], v[a]);
                memo.Hi[a] = std::max(memo.Hi[a], v[a]);
            }
        }
    }
}

// A line over many more points than the plot has pixel columns looks the
// same drawn through the lowest and highest point of each column, in their
// order, and through the line's own first and last point. Only for x values
// that never decrease: a line that goes back and forth keeps every point
// (false then). key: the x range, the columns and the y transform; when they
// are those of the memo's line and kept points are unchanged, only the last
// column is thinned again with what came after it.
bool TRowChart::ThinLine(TSeriesMemo& memo, const std::vector<TPointD>& points, size_t kept, const double key[5])
{
    const double xLo = key[0], xHi = key[1], columns = key[2], yBase = key[3], yScale = key[4];
    const size_t n = points.size();
    const bool goOn = memo.Thinned && kept > 0 && std::memcmp(memo.ThinKey, key, sizeof memo.ThinKey) == 0;
    memo.Thinned = false;
    if (columns < 1 || n < size_t(2 * columns) + 8 || !(xHi > xLo)) return false;
    for (size_t i = goOn ? kept : 1; i < n; ++i)
        if (i > 0 && points[i].X < points[i - 1].X) return false;
    const double scale = columns / (xHi - xLo);
    QList<QPointF>& out = memo.Line;
    auto put = [&](size_t k) { out.append(QPointF(points[k].X, yBase + points[k].Y * yScale)); };
    size_t i = 0, previous = 0;
    if (goOn) {
        out.resize(memo.LineAtColumn);
        i = memo.ColumnStart;
        previous = memo.PreviousAtColumn;
    } else {
        out.clear();
        out.reserve(qsizetype(2 * columns) + 8);
        put(0);
    }
    while (i < n) {
        memo.ColumnStart = i;
        memo.LineAtColumn = out.size();
        memo.PreviousAtColumn = previous;
        const double column = std::floor((points[i].X - xLo) * scale);
        size_t low = i, high = i;
        for (++i; i < n && std::floor((points[i].X - xLo) * scale) == column; ++i) {
            if (points[i].Y < points[low].Y) low = i;
            if (points[i].Y > points[high].Y) high = i;
        }
        for (size_t k : {std::min(low, high), std::max(low, high)})
            if (k != previous) {
                put(k);
                previous = k;
            }
    }
    if (previous != n - 1) put(n - 1);
    std::memcpy(memo.ThinKey, key, sizeof memo.ThinKey);
    memo.Thinned = true;
    return true;
}

QList<QPointF> TRowChart::ThinnedLine(const std::vector<TPointD>& points, double xLo, double xHi, double columns)
{
    TSeriesMemo memo;
    const double key[5] = {xLo, xHi, columns, 0, 1};
    if (ThinLine(memo, points, 0, key)) return memo.Line;
    QList<QPointF> all;
    for (const TPointD& p : points) all.append(QPointF(p.X, p.Y));
    return all;
}

TRowChart::TRowChart(QWidget* parent)
{
    FChart = new QChart;
    FChart->legend()->hide();
    FChart->setTitle(QString());
    FChart->setBackgroundRoundness(0);
    FChart->setDropShadowEnabled(false);
    FChart->setPlotAreaBackgroundVisible(false);
    FChart->setMargins(QMargins(2, 2, 2, 2));
    FView = new QChartView(FChart, parent);
    FView->setRenderHint(QPainter::Antialiasing, false);
    FView->setMinimumSize(100, 100);
    FView->setFrameShape(QFrame::NoFrame);
    for (int i = 0; i < 3; ++i) {
        Values[i] = new QValueAxis(FChart);
        Times[i] = new QDateTimeAxis(FChart);
        Times[i]->setFormat("mm:ss");
        FChart->addAxis(Values[i], AlignmentOf(i));
    }
    // A new plot size (the window resized, labels widened) plans the ticks again.
    QObject::connect(FChart, &QChart::plotAreaChanged, FChart, [this] { PlaceTicks(); });
}

TRowChart::~TRowChart() { delete FView; }

QAbstractAxis* TRowChart::Axis(int axis) const
{
    if (!Visible[axis]) return nullptr;
    return TimeInUse[axis] ? static_cast<QAbstractAxis*>(Times[axis]) : static_cast<QAbstractAxis*>(Values[axis]);
}

void TRowChart::UseAxis(int axis, bool dateTime)
{
    if (TimeInUse[axis] == dateTime) return;
    QAbstractAxis* from = dateTime ? static_cast<QAbstractAxis*>(Values[axis]) : Times[axis];
    QAbstractAxis* to = dateTime ? static_cast<QAbstractAxis*>(Times[axis]) : Values[axis];
    // Series move with their axis.
    QList<QAbstractSeries*> attached;
    for (QAbstractSeries* s : FChart->series())
        if (s->attachedAxes().contains(from)) attached.append(s);
    for (QAbstractSeries* s : attached) s->detachAxis(from);
    FChart->removeAxis(from);
    // The chart gives up a removed axis: it stays the chart's child, unshown,
    // so that it is freed with the chart.
    from->setParent(FChart);
    FChart->addAxis(to, AlignmentOf(axis));
    to->setVisible(Visible[axis]);
    to->setTitleText(Titles[axis]);
    to->setLabelsFont(from->labelsFont());
    to->setTitleFont(from->titleFont());
    to->setLinePenColor(from->linePenColor());
    for (QAbstractSeries* s : attached) s->attachAxis(to);
    TimeInUse[axis] = dateTime;
}

void TRowChart::SetFixedAxis(int axis, double lo, double hi, double increment)
{
    UseAxis(axis, false);
    Rules[axis] = TTickRule{};
    if (increment > 0 && (hi - lo) / increment <= 200) Rules[axis].Increment = increment;
    const QRectF plot = FChart->plotArea();
    SetAxisRange(Values[axis], lo, hi, AxisLength(Values[axis], plot.width(), plot.height()), Rules[axis]);
}

void TRowChart::PlaceTicks()
{
    const QRectF plot = FChart->plotArea();
    for (int i = 0; i < 3; ++i) {
        QAbstractAxis* a = TimeInUse[i] ? static_cast<QAbstractAxis*>(Times[i]) : Values[i];
        const double length = AxisLength(a, plot.width(), plot.height());
        if (TimeInUse[i]) ApplyTimeTicks(Times[i], length, TimeTicks[i], DayBase());
        else ApplyAxisTicks(Values[i], length, Rules[i]);
    }
}

void TRowChart::SetAxisVisible(int axis, bool visible)
{
    Visible[axis] = visible;
    Values[axis]->setVisible(visible);
    Times[axis]->setVisible(visible);
}

void TRowChart::SetAxisTitle(int axis, const QString& title)
{
    if (Titles[axis] == title) return;
    Titles[axis] = title;
    Values[axis]->setTitleText(title);
    Times[axis]->setTitleText(title);
}

QString TRowChart::AxisTitle(int axis) const { return Titles[axis]; }

bool TRowChart::AxisRange(int axis, double& lo, double& hi) const
{
    if (TimeInUse[axis]) {
        lo = double(Times[axis]->min().toMSecsSinceEpoch() - DayBase()) / kMsPerDay;
        hi = double(Times[axis]->max().toMSecsSinceEpoch() - DayBase()) / kMsPerDay;
    } else {
        lo = Values[axis]->min();
        hi = Values[axis]->max();
    }
    return true;
}

void TRowChart::SetLook(const QFont& font, const QColor& lineColor, const QColor& background)
{
    for (int i = 0; i < 3; ++i)
        for (QAbstractAxis* a : {static_cast<QAbstractAxis*>(Values[i]), static_cast<QAbstractAxis*>(Times[i])}) {
            a->setLabelsFont(font);
            a->setTitleFont(font);
            a->setLinePenColor(lineColor);
            a->setLabelsColor(lineColor);
            a->setTitleBrush(lineColor);
        }
    FChart->setBackgroundBrush(background);
    FChart->setBackgroundPen(Qt::NoPen);
    FView->setBackgroundBrush(background);
}

QLineSeries* TRowChart::AddFixedLine(const QString& name, const QColor& color)
{
    auto* line = new QLineSeries;
    line->setName(name);
    line->setColor(color);
    FChart->addSeries(line);
    line->attachAxis(Axis(0) ? Axis(0) : Values[0]);
    line->attachAxis(TimeInUse[1] ? static_cast<QAbstractAxis*>(Times[1]) : Values[1]);
    Fixed.push_back(line);
    return line;
}

QXYSeries* TRowChart::DataSeries(int i) const { return i >= 0 && i < Used ? Pool[size_t(i)] : nullptr; }

QXYSeries* TRowChart::PoolSeries(int i, TSeriesKind kind)
{
    if (i < int(Pool.size()) && PoolKinds[size_t(i)] == kind) return Pool[size_t(i)];
    QXYSeries* s = nullptr;
    if (kind == TSeriesKind::Line) s = new QLineSeries;
    else s = new QScatterSeries;
    FChart->addSeries(s);
    if (i < int(Pool.size())) {
        FChart->removeSeries(Pool[size_t(i)]);
        delete Pool[size_t(i)];
        Pool[size_t(i)] = s;
        PoolKinds[size_t(i)] = kind;
    } else {
        Pool.push_back(s);
        PoolKinds.push_back(kind);
    }
    return s;
}

void TRowChart::ClearData()
{
    for (int i = 0; i < Used; ++i) {
        Pool[size_t(i)]->clear();
        Pool[size_t(i)]->setVisible(false);
    }
    Used = 0;
}

void TRowChart::SetRange(int axis, const TAxisScale& scale, double dataLo, double dataHi, bool haveData, bool whole)
{
    const TAxisSpan span = AxisSpanOf(scale, dataLo, dataHi, haveData, TimeInUse[axis]);
    double lo = span.Lo, hi = span.Hi;
    const bool manual = span.Manual;
    if (manual && haveData && scale.Increment > 0 && std::isfinite(dataLo) && std::isfinite(dataHi)) {
        // The scale's window widens by whole steps until every point drawn
        // lies inside it (a sprint above the window, the strokes of a pause
        // below it).
        const double step = scale.Increment;
        if (dataLo < lo) lo -= std::ceil((lo - dataLo) / step - 1e-9) * step;
        if (dataHi > hi) hi += std::ceil((dataHi - hi) / step - 1e-9) * step;
    }
    Rules[axis] = TTickRule{};
    Rules[axis].Whole = whole;
    if (manual && scale.Increment > 0 && (hi - lo) / scale.Increment <= 200) Rules[axis].Increment = scale.Increment;
    if (TimeInUse[axis]) {
        QDateTimeAxis* t = Times[axis];
        const QDateTime from = QDateTime::fromMSecsSinceEpoch(DayBase() + qint64(std::llround(lo * kMsPerDay)));
        const QDateTime to = QDateTime::fromMSecsSinceEpoch(DayBase() + qint64(std::llround(hi * kMsPerDay)));
        TimeTicks[axis] = 0;  // round time steps
        if (manual && scale.Increment > 0)
            TimeTicks[axis] = std::clamp(int(std::lround((hi - lo) / scale.Increment)) + 1, 2, 20);
        if (TimeTicks[axis] == 0) {
            const QRectF plot = FChart->plotArea();
            SetTimeRange(t, from.toMSecsSinceEpoch(), to.toMSecsSinceEpoch(),
                         AxisLength(t, plot.width(), plot.height()), DayBase());
        } else if (t->min() != from || t->max() != to) {
            t->setRange(from, to);
        }
    } else {
        if (!manual) RoundOutwards(lo, hi, whole);
        const QRectF plot = FChart->plotArea();
        SetAxisRange(Values[axis], lo, hi, AxisLength(Values[axis], plot.width(), plot.height()), Rules[axis]);
    }
    if (TimeInUse[axis]) PlaceTicks();
}

void TRowChart::Render(const TChartData& data, bool useDataScale)
{
    bool xTime = false, leftTime = false, rightTime = false;
    double range[3][2];
    bool whole[3] = {true, true, true};  // every value on the axis is a whole number
    for (auto& r : range) {
        r[0] = std::numeric_limits<double>::infinity();
        r[1] = -std::numeric_limits<double>::infinity();
    }
    const size_t count = data.Series.size();
    if (Memos.size() < count) Memos.resize(count);
    std::vector<size_t> kept(count, 0);
    for (size_t i = 0; i < count; ++i) {
        const TSeriesData& s = data.Series[i];
        TSeriesMemo& memo = Memos[i];
        xTime = xTime || s.XDateTime;
        (s.Axis == TAxisSide::Left ? leftTime : rightTime) |= s.YDateTime;
        kept[i] = KeptPrefix(memo, s.Points);
        ScanRanges(memo, s.Points, kept[i]);
        const int y = s.Axis == TAxisSide::Left ? 1 : 2;
        const int axes[2] = {0, y};
        for (int a = 0; a < 2; ++a) {
            whole[axes[a]] = whole[axes[a]] && memo.Whole[a];
            range[axes[a]][0] = std::min(range[axes[a]][0], memo.Lo[a]);
            range[axes[a]][1] = std::max(range[axes[a]][1], memo.Hi[a]);
        }
    }
    // A series redraws its whole path on every change of its points and of
    // its axes: empty them first, set the axes, then fill each one once.
    for (int i = 0; i < Used; ++i)
        if (Pool[size_t(i)]->count() > 0) Pool[size_t(i)]->clear();
    if (!KeepAxes) {
        UseAxis(0, xTime);
        UseAxis(1, leftTime);
        UseAxis(2, rightTime);
        SetRange(0, TAxisScale{}, range[0][0], range[0][1], range[0][0] <= range[0][1], whole[0]);
        SetRange(1, useDataScale ? data.Left : TAxisScale{}, range[1][0], range[1][1], range[1][0] <= range[1][1],
                 whole[1]);
        SetRange(2, useDataScale ? data.Right : TAxisScale{}, range[2][0], range[2][1], range[2][0] <= range[2][1],
                 whole[2]);
    }

    // Lines stand out from the chart's background; average records keep apart
    // from the sessions' colours.
    const std::vector<int32_t> sessionColors = SessionColors(data);
    const int32_t background = FromQColor(FChart->backgroundBrush().color());
    for (int i = 0; i < int(count); ++i) {
        const TSeriesData& s = data.Series[size_t(i)];
        TSeriesMemo& memo = Memos[size_t(i)];
        QXYSeries* series = PoolSeries(i, s.Kind);
        QList<QPointF> points;
        const double xBase = s.XDateTime ? double(DayBase()) : 0.0;
        const double xScale = s.XDateTime ? kMsPerDay : 1.0;
        const double yBase = s.YDateTime ? double(DayBase()) : 0.0;
        const double yScale = s.YDateTime ? kMsPerDay : 1.0;
        bool thinned = false;
        if (s.Kind == TSeriesKind::Line && ThinLines && !s.XDateTime) {
            double key[5] = {0, 0, FChart->plotArea().width(), yBase, yScale};
            AxisRange(0, key[0], key[1]);
            thinned = ThinLine(memo, s.Points, kept[size_t(i)], key);
            if (thinned) points = memo.Line;  // shared, not copied
        } else {
            memo.Thinned = false;
        }
        if (!thinned) {
            memo.Line.clear();
            points.reserve(qsizetype(s.Points.size()));
            for (const TPointD& p : s.Points) points.append(QPointF(xBase + p.X * xScale, yBase + p.Y * yScale));
        }
        memo.Points = s.Points;
        const QColor color = ToQColor(DrawColor(s, s.Color, sessionColors, background));
        if (auto* line = qobject_cast<QLineSeries*>(series); line && s.Kind == TSeriesKind::Line) {
            QPen pen(color);
            pen.setWidth(std::max(1, int(s.PenWidth)));
            pen.setStyle(ToQtPenStyle(s.PenStyle));
            if (line->pen() != pen) line->setPen(pen);
        } else if (auto* scatter = qobject_cast<QScatterSeries*>(series)) {
            const auto shape = s.Pointer == TPointerShape::Circle ? QScatterSeries::MarkerShapeCircle
                                                                  : QScatterSeries::MarkerShapeRectangle;
            if (scatter->markerShape() != shape) scatter->setMarkerShape(shape);
            if (scatter->markerSize() != std::max(1, int(s.PointerSize)))
                scatter->setMarkerSize(std::max(1, int(s.PointerSize)));
            if (scatter->color() != color) scatter->setColor(color);
            if (scatter->borderColor() != color) scatter->setBorderColor(color);
        }
        if (series->pointLabelsVisible() != s.MarksVisible) series->setPointLabelsVisible(s.MarksVisible);
        if (s.MarksVisible && s.HasMarkBackColor) series->setPointLabelsColor(ToQColor(s.MarkBackColor));
        // Attach to the axes in use for its side.
        QAbstractAxis* bottom = TimeInUse[0] ? static_cast<QAbstractAxis*>(Times[0]) : Values[0];
        QAbstractAxis* side = s.Axis == TAxisSide::Left
                                  ? (TimeInUse[1] ? static_cast<QAbstractAxis*>(Times[1]) : Values[1])
                                  : (TimeInUse[2] ? static_cast<QAbstractAxis*>(Times[2]) : Values[2]);
        const QList<QAbstractAxis*> attached = series->attachedAxes();
        for (QAbstractAxis* a : attached)
            if (a != bottom && a != side) series->detachAxis(a);
        if (!attached.contains(bottom)) series->attachAxis(bottom);
        if (!attached.contains(side)) series->attachAxis(side);
        series->replace(points);
        if (!series->isVisible()) series->setVisible(true);
    }
    for (int i = int(count); i < Used; ++i) {
        Pool[size_t(i)]->clear();
        Pool[size_t(i)]->setVisible(false);
    }
    Used = int(count);
    Memos.resize(count);
}
