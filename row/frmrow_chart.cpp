#include "row/frmrow_chart.h"

#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

#include "framework/windowutil.h"
#include "util/axis_ticks.h"

namespace {

constexpr double kEmptyTimeSpan = 10.0 / 1440;  // ten minutes, in days
constexpr double kMsPerDay = 86400000.0;

// Local midnight of a fixed day: a day fraction f is drawn at Base + f days.
qint64 DayBase()
{
    static const qint64 base = QDateTime(QDate(2000, 1, 1), QTime(0, 0)).toMSecsSinceEpoch();
    return base;
}

Qt::PenStyle PenStyleOf(int style)
{
    switch (style) {
    case 1: return Qt::DashLine;
    case 2: return Qt::DotLine;
    case 3: return Qt::DashDotLine;
    case 4: return Qt::DashDotDotLine;
    default: return Qt::SolidLine;
    }
}

Qt::Alignment AlignmentOf(int axis)
{
    return axis == 0 ? Qt::AlignBottom : axis == 1 ? Qt::AlignLeft : Qt::AlignRight;
}

// A line over many more points than the plot has pixel columns looks the
// same drawn through the first, lowest, highest and last point of each
// column (in their order). Only for x values that never decrease: a line that
// goes back and forth keeps every point.
void ThinLine(QList<QPointF>& points, double xLo, double xHi, double columns)
{
    if (columns < 1 || points.size() < qsizetype(4 * columns) + 8 || !(xHi > xLo)) return;
    for (qsizetype i = 1; i < points.size(); ++i)
        if (points[i].x() < points[i - 1].x()) return;
    const double scale = columns / (xHi - xLo);
    QList<QPointF> out;
    out.reserve(qsizetype(4 * columns) + 8);
    qsizetype i = 0;
    while (i < points.size()) {
        const long long column = std::llround(std::floor((points[i].x() - xLo) * scale));
        qsizetype first = i, low = i, high = i, last = i;
        for (++i; i < points.size() && std::llround(std::floor((points[i].x() - xLo) * scale)) == column; ++i) {
            if (points[i].y() < points[low].y()) low = i;
            if (points[i].y() > points[high].y()) high = i;
            last = i;
        }
        qsizetype keep[4] = {first, std::min(low, high), std::max(low, high), last};
        qsizetype previous = -1;
        for (qsizetype k : keep)
            if (k != previous) {
                out.append(points[k]);
                previous = k;
            }
    }
    points.swap(out);
}

}  // namespace

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
        if (TimeInUse[i])
            ApplyTimeTicks(Times[i], length, TimeTicks[i]);
        else
            ApplyAxisTicks(Values[i], length, Rules[i]);
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

QXYSeries* TRowChart::DataSeries(int i) const
{
    return i >= 0 && i < Used ? Pool[size_t(i)] : nullptr;
}

QXYSeries* TRowChart::PoolSeries(int i, TSeriesKind kind)
{
    if (i < int(Pool.size()) && PoolKinds[size_t(i)] == kind) return Pool[size_t(i)];
    QXYSeries* s = nullptr;
    if (kind == TSeriesKind::Line)
        s = new QLineSeries;
    else
        s = new QScatterSeries;
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
    double lo = scale.AutoMinimum ? (haveData ? dataLo : 0.0) : scale.Minimum;
    // An empty time axis spans ten minutes rather than a whole day, whose
    // ticks would all read "00:00".
    double hi = scale.AutoMaximum ? (haveData ? dataHi : (TimeInUse[axis] ? lo + kEmptyTimeSpan : 1.0)) : scale.Maximum;
    if (!std::isfinite(lo)) lo = 0;
    if (!std::isfinite(hi)) hi = lo + 1;
    if (hi < lo) std::swap(lo, hi);
    if (hi == lo) {
        const double pad = TimeInUse[axis] ? kEmptyTimeSpan / 2 : lo == 0 ? 1.0 : std::fabs(lo) * 0.05;
        if (scale.AutoMinimum) lo -= pad;
        hi += pad;
    }
    const bool manual = !scale.AutoMinimum || !scale.AutoMaximum;
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
        if (t->min() != from || t->max() != to) t->setRange(from, to);
        TimeTicks[axis] = 5;
        if (manual && scale.Increment > 0)
            TimeTicks[axis] = std::clamp(int(std::lround((hi - lo) / scale.Increment)) + 1, 2, 20);
    } else {
        if (!manual) {
            // Automatic scales round outwards to a whole step.
            const TAxisTicks round = PlanAxisTicks(lo, hi, 400, nullptr, 0, 5, whole ? 1.0 : 0.0);
            lo = std::floor(lo / round.Step + 1e-9) * round.Step;
            hi = std::ceil(hi / round.Step - 1e-9) * round.Step;
        }
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
    auto isWhole = [](double v) { return !std::isfinite(v) || v == std::floor(v); };
    for (auto& r : range) {
        r[0] = std::numeric_limits<double>::infinity();
        r[1] = -std::numeric_limits<double>::infinity();
    }
    for (const TSeriesData& s : data.Series) {
        xTime = xTime || s.XDateTime;
        (s.Axis == TAxisSide::Left ? leftTime : rightTime) |= s.YDateTime;
        const int y = s.Axis == TAxisSide::Left ? 1 : 2;
        for (const TPointD& p : s.Points) {
            whole[0] = whole[0] && isWhole(p.X);
            whole[y] = whole[y] && isWhole(p.Y);
            if (std::isfinite(p.X)) {
                range[0][0] = std::min(range[0][0], p.X);
                range[0][1] = std::max(range[0][1], p.X);
            }
            if (std::isfinite(p.Y)) {
                range[y][0] = std::min(range[y][0], p.Y);
                range[y][1] = std::max(range[y][1], p.Y);
            }
        }
    }
    // A series redraws its whole path on every change of its points and of
    // its axes: empty them first, set the axes, then fill each one once.
    const int count = int(data.Series.size());
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
    for (int i = 0; i < count; ++i) {
        const TSeriesData& s = data.Series[size_t(i)];
        QXYSeries* series = PoolSeries(i, s.Kind);
        QList<QPointF> points;
        points.reserve(qsizetype(s.Points.size()));
        const double xBase = s.XDateTime ? double(DayBase()) : 0.0;
        const double xScale = s.XDateTime ? kMsPerDay : 1.0;
        const double yBase = s.YDateTime ? double(DayBase()) : 0.0;
        const double yScale = s.YDateTime ? kMsPerDay : 1.0;
        for (const TPointD& p : s.Points) points.append(QPointF(xBase + p.X * xScale, yBase + p.Y * yScale));
        if (s.Kind == TSeriesKind::Line && ThinLines && !s.XDateTime) {
            double xLo = 0, xHi = 0;
            AxisRange(0, xLo, xHi);
            ThinLine(points, xLo, xHi, FChart->plotArea().width());
        }
        const QColor color = ToQColor(DrawColor(s, s.Color, sessionColors, background));
        if (auto* line = qobject_cast<QLineSeries*>(series); line && s.Kind == TSeriesKind::Line) {
            QPen pen(color);
            pen.setWidth(std::max(1, int(s.PenWidth)));
            pen.setStyle(PenStyleOf(s.PenStyle));
            if (line->pen() != pen) line->setPen(pen);
        } else if (auto* scatter = qobject_cast<QScatterSeries*>(series)) {
            const auto shape = s.Pointer == TPointerShape::Circle ? QScatterSeries::MarkerShapeCircle
                                                                   : QScatterSeries::MarkerShapeRectangle;
            if (scatter->markerShape() != shape) scatter->setMarkerShape(shape);
            if (scatter->markerSize() != std::max(1, int(s.PointerSize))) scatter->setMarkerSize(std::max(1, int(s.PointerSize)));
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
    for (int i = count; i < Used; ++i) {
        Pool[size_t(i)]->clear();
        Pool[size_t(i)]->setVisible(false);
    }
    Used = count;
}
