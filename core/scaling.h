#pragma once
// Axis scaling of stroke charts: a stroke parameter's scale mode (Auto,
// Double, Manual, Range) applied to a chart axis.
#include "core/records.h"

// What a chart axis shows. The chart windows copy it to their axis and, while
// an axis is automatic, write the range it currently shows back into
// Minimum / Maximum (ScaleAxis starts from those when not told to start from
// the catalogue).
struct TAxisScale {
    bool AutoMinimum = true;
    bool AutoMaximum = true;
    double Minimum = 0;
    double Maximum = 0;
    double Increment = 0;  // grid step; 0 = the chart's own choice
};

// Applies stroke parameter param's scaling to axis. Range mode (3) is used only
// when allowRange, else Double mode (1) is used. fromCatalogue: modes 1 and 3
// start from the catalogue's minimum and maximum instead of the axis's current
// ones. An axis left non-automatic is to be set by the chart in the order
// automatic off, minimum -2147483647, maximum 2147483647, minimum, maximum,
// increment (so the assignments never conflict).
void ScaleAxis(TAxisScale& axis, const TTraining& t, int param, bool allowRange, bool fromCatalogue);

// The doubling scale of a run of strokes: the maximum grows by one range at
// the third consecutive value above it, and at every further one.
struct TDoubleScaleState {
    int Counter = 0;
    double Maximum = 0;
};
void DoubleScaleStep(TDoubleScaleState& state, double value, double range);

// Sets a fixed axis (turned round when its maximum lies below its minimum).
void SetFixedScale(TAxisScale& axis, double lo, double hi, double increment);
