#include "charts/chart_render.h"

#include <QChart>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

#include "shell/framework/windowutil.h"

namespace {

constexpr double kMsPerDay = 86400000.0;

struct TRange {
    double Lo = std::numeric_limits<double>::infinity();
    double Hi = -std::numeric_limits<double>::infinity();
    bool Valid() const { return Lo <= Hi; }
    void Add(double v)
    {
        if (!std::isfinite(v)) return;
        Lo = std::min(Lo, v);
        Hi = std::max(Hi, v);
    }
};

}  // namespace

Qt::PenStyle ToQtPenStyle(int style)
{
    switch (style) {
    case 1: return Qt::DashLine;
    case 2: return Qt::DotLine;
    case 3: return Qt::DashDotLine;
    case 4: return Qt::DashDotDotLine;
    default: return Qt::SolidLine;
    }
}

qint64 TChartAxes::DayBase()
{
    static const qint64 base = QDateTime(QDate(2000, 1, 1), QTime(0, 0)).toMSecsSinceEpoch();
    return base;
}

TChartAxes::TChartAxes(QChart* chart) : Chart(chart)
{
    for (int i = 0; i < 3; ++i) {
        ValueAxes[i] = new QValueAxis(chart);
        TimeAxes[i] = new QDateTimeAxis(chart);
    }
    LabelFont = QFont("Arial");
    LabelFont.setPixelSize(13);
    TitleFont = LabelFont;
}

QAbstractAxis* TChartAxes::Place(QAbstractAxis* current, QValueAxis* value, QDateTimeAxis* time, bool dateTime,
                                 Qt::Alignment align)
{
    QAbstractAxis* wanted = dateTime ? static_cast<QAbstractAxis*>(time) : static_cast<QAbstractAxis*>(value);
    QAbstractAxis* other = dateTime ? static_cast<QAbstractAxis*>(value) : static_cast<QAbstractAxis*>(time);
    const QList<QAbstractAxis*> inChart = Chart->axes();
    if (inChart.contains(other)) Chart->removeAxis(other);
    if (!inChart.contains(wanted)) Chart->addAxis(wanted, align);
    (void)current;
    return wanted;
}

void TChartAxes::Clear() { Chart->removeAllSeries(); }

void TChartAxes::SetRange(QAbstractAxis* axis, const TAxisScale& scale, double dataLo, double dataHi, bool haveData)
{
    double lo = scale.AutoMinimum ? (haveData ? dataLo : 0.0) : scale.Minimum;
    double hi = scale.AutoMaximum ? (haveData ? dataHi : 1.0) : scale.Maximum;
    if (!std::isfinite(lo)) lo = 0;
    if (!std::isfinite(hi)) hi = lo + 1;
    if (hi < lo) std::swap(lo, hi);
    if (hi == lo) {
        // A single value: give the axis some room around it.
        const double pad = lo == 0 ? 1.0 : std::fabs(lo) * 0.05;
        if (scale.AutoMinimum) lo -= pad;
        hi += pad;
    }
    const bool manual = !scale.AutoMinimum || !scale.AutoMaximum;
    if (auto* v = qobject_cast<QValueAxis*>(axis)) {
        v->setRange(lo, hi);
        if (manual && scale.Increment > 0 && (hi - lo) / scale.Increment <= 200) {
            v->setTickType(QValueAxis::TicksDynamic);
            v->setTickAnchor(lo);
            v->setTickInterval(scale.Increment);
        } else {
            v->setTickType(QValueAxis::TicksFixed);
            v->setTickCount(5);
            if (!manual) v->applyNiceNumbers();
        }
    } else if (auto* t = qobject_cast<QDateTimeAxis*>(axis)) {
        t->setRange(QDateTime::fromMSecsSinceEpoch(DayBase() + qint64(std::llround(lo * kMsPerDay))),
                    QDateTime::fromMSecsSinceEpoch(DayBase() + qint64(std::llround(hi * kMsPerDay))));
        int count = 5;
        if (manual && scale.Increment > 0) count = int(std::lround((hi - lo) / scale.Increment)) + 1;
        t->setTickCount(std::clamp(count, 2, 20));
    }
}

bool TChartAxes::AxisRange(QAbstractAxis* axis, double& lo, double& hi) const
{
    if (auto* v = qobject_cast<QValueAxis*>(axis)) {
        lo = v->min();
        hi = v->max();
        return true;
    }
    if (auto* t = qobject_cast<QDateTimeAxis*>(axis)) {
        lo = double(t->min().toMSecsSinceEpoch() - DayBase()) / kMsPerDay;
        hi = double(t->max().toMSecsSinceEpoch() - DayBase()) / kMsPerDay;
        return true;
    }
    return false;
}

void TChartAxes::ApplyLook()
{
    const TChartAxis* configs[3] = {&Bottom, &Left, &Right};
    QAbstractAxis* used[3] = {UsedBottom, UsedLeft, UsedRight};
    for (int i = 0; i < 3; ++i) {
        for (QAbstractAxis* a : {static_cast<QAbstractAxis*>(ValueAxes[i]), static_cast<QAbstractAxis*>(TimeAxes[i])}) {
            a->setLabelsFont(LabelFont);
            a->setTitleFont(TitleFont);
            a->setTitleBrush(TitleColor);
            a->setLinePenColor(LineColor);
            a->setTitleText(configs[i]->Title);
        }
        TimeAxes[i]->setFormat(configs[i]->DateTimeFormat);
        if (used[i]) used[i]->setVisible(configs[i]->Visible);
    }
}

void TChartAxes::Render(const TChartData& data, bool useDataScale)
{
    Chart->removeAllSeries();
    bool xTime = false, leftTime = false, rightTime = false;
    TRange bottomRange, leftRange, rightRange;
    for (const TSeriesData& s : data.Series) {
        xTime = xTime || s.XDateTime;
        if (s.Axis == TAxisSide::Left)
            leftTime = leftTime || s.YDateTime;
        else
            rightTime = rightTime || s.YDateTime;
        TRange& yr = s.Axis == TAxisSide::Left ? leftRange : rightRange;
        for (const TPointD& p : s.Points) {
            bottomRange.Add(p.X);
            yr.Add(p.Y);
        }
    }
    UsedBottom = Place(UsedBottom, ValueAxes[0], TimeAxes[0], xTime, Qt::AlignBottom);
    UsedLeft = Place(UsedLeft, ValueAxes[1], TimeAxes[1], leftTime, Qt::AlignLeft);
    UsedRight = Place(UsedRight, ValueAxes[2], TimeAxes[2], rightTime, Qt::AlignRight);

    for (const TSeriesData& s : data.Series) {
        const bool yTime = s.YDateTime;
        QList<QPointF> points;
        points.reserve(qsizetype(s.Points.size()));
        for (const TPointD& p : s.Points) {
            const double x = s.XDateTime ? double(DayBase()) + p.X * kMsPerDay : p.X;
            const double y = yTime ? double(DayBase()) + p.Y * kMsPerDay : p.Y;
            points.append(QPointF(x, y));
        }
        const QColor color = ToQColor(s.Color);
        QXYSeries* series = nullptr;
        if (s.Kind == TSeriesKind::Line) {
            auto* line = new QLineSeries;
            QPen pen(color);
            pen.setWidth(std::max(1, int(s.PenWidth)));
            pen.setStyle(ToQtPenStyle(s.PenStyle));
            line->setPen(pen);
            series = line;
        } else {
            auto* scatter = new QScatterSeries;
            scatter->setMarkerShape(s.Pointer == TPointerShape::Circle ? QScatterSeries::MarkerShapeCircle
                                                                       : QScatterSeries::MarkerShapeRectangle);
            scatter->setMarkerSize(std::max(1, int(s.PointerSize)));
            scatter->setColor(color);
            scatter->setBorderColor(color);
            series = scatter;
        }
        series->setName(QString::fromStdString(s.Title));
        series->setPointLabelsVisible(s.MarksVisible);
        if (s.MarksVisible && s.HasMarkBackColor) series->setPointLabelsColor(ToQColor(s.MarkBackColor));
        series->replace(points);
        Chart->addSeries(series);
        series->attachAxis(UsedBottom);
        series->attachAxis(s.Axis == TAxisSide::Left ? UsedLeft : UsedRight);
    }

    SetRange(UsedBottom, Bottom.Scale, bottomRange.Lo, bottomRange.Hi, bottomRange.Valid());
    SetRange(UsedLeft, useDataScale ? data.Left : Left.Scale, leftRange.Lo, leftRange.Hi, leftRange.Valid());
    SetRange(UsedRight, useDataScale ? data.Right : Right.Scale, rightRange.Lo, rightRange.Hi, rightRange.Valid());
    ApplyLook();
}
