#pragma once
// Labelled ticks of the chart axes, planned for the length an axis has on
// screen so that every label can be read: fewer ticks on a short axis, round
// steps (also after a zoom), whole numbers where the values are whole.
#include <QtGlobal>

class QAbstractAxis;
class QDateTimeAxis;
class QValueAxis;

struct TTickRule {
    // A step the user chose (> 0): the ticks start at the axis' minimum and
    // go by that step or a multiple of it. 0: a round step of the chart's own.
    double Increment = 0;
    // The values are whole numbers: no step below 1, no decimals.
    bool Whole = false;
};

// Sets the ticks and label format of a value axis for its current range on
// an axis length pixels long (the plot's width for a horizontal axis, its
// height for a vertical one).
void ApplyAxisTicks(QValueAxis* axis, double length, const TTickRule& rule);
// Sets the range lo .. hi of a value axis with its ticks. The ticks change
// first where they get fewer, so that the axis never lays out the many
// ticks of an old fine step over a new wide range.
void SetAxisRange(QValueAxis* axis, double lo, double hi, double length, const TTickRule& rule);
// Sets the ticks of a date-time axis. wanted > 0 (a step the user chose):
// at most wanted ticks, fewer where the labels would not fit. wanted <= 0:
// the ticks go by a round time step (1, 2, 5, 10, 15, 30 s, 1, 2, 5 ... min)
// counted from baseMs (the time drawn as 0), as many as the labels leave
// room for, and the range widens outwards to whole steps.
void ApplyTimeTicks(QDateTimeAxis* axis, double length, int wanted, qint64 baseMs = 0);
// Sets the range loMs .. hiMs (ms since the epoch) of a date-time axis,
// widened outwards to whole round time steps counted from baseMs, with a
// tick on every step (nothing is set where nothing changes).
void SetTimeRange(QDateTimeAxis* axis, qint64 loMs, qint64 hiMs, double length, qint64 baseMs);
// The length of an axis within a plot of the given size.
double AxisLength(const QAbstractAxis* axis, double plotWidth, double plotHeight);
