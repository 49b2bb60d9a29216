#pragma once
// Labelled ticks of the chart axes, planned for the length an axis has on
// screen so that every label can be read: fewer ticks on a short axis, round
// steps (also after a zoom), whole numbers where the values are whole.
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
// Sets the tick count of a date-time axis: at most wanted, fewer where the
// labels would not fit.
void ApplyTimeTicks(QDateTimeAxis* axis, double length, int wanted);
// The length of an axis within a plot of the given size.
double AxisLength(const QAbstractAxis* axis, double plotWidth, double plotHeight);
