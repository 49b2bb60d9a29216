#include "framework/chart_axis_ticks.h"

#include <QDateTime>
#include <QDateTimeAxis>
#include <QFontMetricsF>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

#include "util/axis_ticks.h"

namespace {

// Room between two labels of a date-time axis, in pixels.
constexpr double kTimeLabelGap = 8;

bool Horizontal(const QAbstractAxis* axis)
{
    if (axis->orientation() == Qt::Horizontal) return true;
    if (axis->orientation() == Qt::Vertical) return false;
    return (axis->alignment() & (Qt::AlignTop | Qt::AlignBottom)) != 0;
}

}  // namespace

double AxisLength(const QAbstractAxis* axis, double plotWidth, double plotHeight)
{
    return Horizontal(axis) ? plotWidth : plotHeight;
}

namespace {

// The last plans made: a live chart plans the same axis again after every
// stroke (each plan measures up to 65 labels per step it tries).
struct TPlanMemo {
    QFont Font;
    bool Horizontal = false;
    double Lo = 0, Hi = 0, Length = 0;
    TTickRule Rule;
    TAxisTicks Ticks;
    bool Same(const QFont& font, bool horizontal, double lo, double hi, double length, const TTickRule& rule) const
    {
        return Horizontal == horizontal && Lo == lo && Hi == hi && Length == length &&
               Rule.Increment == rule.Increment && Rule.Whole == rule.Whole && Font == font;
    }
};

TAxisTicks PlanAnew(const QValueAxis* axis, double lo, double hi, double length, const TTickRule& rule);

TAxisTicks PlanFor(const QValueAxis* axis, double lo, double hi, double length, const TTickRule& rule)
{
    static TPlanMemo memo[8];
    static size_t next = 0;
    const QFont font = axis->labelsFont();
    const bool horizontal = Horizontal(axis);
    for (const TPlanMemo& m : memo)
        if (m.Same(font, horizontal, lo, hi, length, rule)) return m.Ticks;
    TPlanMemo& m = memo[next++ % std::size(memo)];
    m = TPlanMemo{font, horizontal, lo, hi, length, rule, PlanAnew(axis, lo, hi, length, rule)};
    return m.Ticks;
}

TAxisTicks PlanAnew(const QValueAxis* axis, double lo, double hi, double length, const TTickRule& rule)
{
    const QFontMetricsF metrics(axis->labelsFont());
    const bool horizontal = Horizontal(axis);
    const TLabelSize size = [&](double value, int decimals) {
        if (!horizontal) return metrics.height();
        return metrics.horizontalAdvance(QString::number(value, 'f', decimals));
    };
    // Before the chart is laid out the plot has no size yet: plan for a
    // usual one, the layout plans again.
    if (!(length > 10)) length = 400;
    return PlanAxisTicks(lo, hi, length, size, rule.Increment, 10, rule.Whole ? 1.0 : 0.0);
}

void SetTicks(QValueAxis* axis, const TAxisTicks& ticks, const TTickRule& rule)
{
    const QString format = QStringLiteral("%.%1f").arg(rule.Whole ? 0 : ticks.Decimals);
    if (axis->labelFormat() != format) axis->setLabelFormat(format);
    if (axis->tickType() != QValueAxis::TicksDynamic) axis->setTickType(QValueAxis::TicksDynamic);
    if (axis->tickAnchor() != ticks.First) axis->setTickAnchor(ticks.First);
    if (axis->tickInterval() != ticks.Step) axis->setTickInterval(ticks.Step);
}

}  // namespace

void ApplyAxisTicks(QValueAxis* axis, double length, const TTickRule& rule)
{
    if (!axis) return;
    SetTicks(axis, PlanFor(axis, axis->min(), axis->max(), length, rule), rule);
}

void SetAxisRange(QValueAxis* axis, double lo, double hi, double length, const TTickRule& rule)
{
    if (!axis) return;
    const TAxisTicks ticks = PlanFor(axis, lo, hi, length, rule);
    const bool fewer = axis->tickType() != QValueAxis::TicksDynamic || ticks.Step >= axis->tickInterval();
    if (fewer) SetTicks(axis, ticks, rule);
    if (axis->min() != lo || axis->max() != hi) axis->setRange(lo, hi);
    if (!fewer) SetTicks(axis, ticks, rule);
}

void ApplyTimeTicks(QDateTimeAxis* axis, double length, int wanted, qint64 baseMs)
{
    if (!axis) return;
    const QFontMetricsF metrics(axis->labelsFont());
    if (wanted <= 0) {
        SetTimeRange(axis, axis->min().toMSecsSinceEpoch(), axis->max().toMSecsSinceEpoch(), length, baseMs);
        return;
    }
    double room = metrics.height() + kTimeLabelGap;
    if (Horizontal(axis)) {
        const QString widest = std::max(axis->min().toString(axis->format()), axis->max().toString(axis->format()),
                                        [](const QString& a, const QString& b) { return a.size() < b.size(); });
        room = metrics.horizontalAdvance(widest) + kTimeLabelGap;
    }
    if (!(length > 10)) length = 400;
    const int fits = int(std::floor(length / std::max(1.0, room))) + 1;
    const int count = std::clamp(std::min(wanted, fits), 2, 20);
    if (axis->tickCount() != count) axis->setTickCount(count);
}

void SetTimeRange(QDateTimeAxis* axis, qint64 loMs, qint64 hiMs, double length, qint64 baseMs)
{
    if (!axis) return;
    const QFontMetricsF metrics(axis->labelsFont());
    double room = metrics.height();
    if (Horizontal(axis)) {
        room = 0;
        for (qint64 t : {loMs, hiMs})
            room =
                std::max(room, metrics.horizontalAdvance(QDateTime::fromMSecsSinceEpoch(t).toString(axis->format())));
    }
    const TTimeTicks ticks = PlanTimeTicks(double(loMs - baseMs) / 1000, double(hiMs - baseMs) / 1000, length, room);
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(baseMs + qint64(std::llround(ticks.Lo * 1000)));
    const QDateTime to = QDateTime::fromMSecsSinceEpoch(baseMs + qint64(std::llround(ticks.Hi * 1000)));
    // Fewer ticks first, so that the axis never lays out many ticks over a wide range.
    if (ticks.Count < axis->tickCount()) axis->setTickCount(ticks.Count);
    if (axis->min() != from || axis->max() != to) axis->setRange(from, to);
    if (axis->tickCount() != ticks.Count) axis->setTickCount(ticks.Count);
}
