#pragma once
// Where an axis puts its labelled ticks so that every label can be read at
// the length the axis has: fewer ticks on a short axis, steps of 1, 2 or 5
// times a power of ten on multiples of the step (also after a zoom), and no
// more decimals than the values need.
#include <functional>

struct TAxisTicks {
    double First = 0;  // the first tick (inside the range)
    double Step = 1;   // the distance between ticks
    int Count = 1;     // ticks from First up to the range's end
    int Decimals = 0;  // digits after the point the labels need
};

// The room a label takes along the axis in pixels (its width on a horizontal
// axis, its height on a vertical one) for a value written with decimals.
using TLabelSize = std::function<double(double value, int decimals)>;

// Plans the ticks of the range lo .. hi on an axis length pixels long. With
// an increment the user chose (> 0), the ticks start at lo and the step is
// the increment or a multiple of it (2, 5, 10, 20 ... times) where labels
// would not fit; without one, at most maxIntervals steps and never a step
// below minStep (1 for values that are whole numbers).
TAxisTicks PlanAxisTicks(double lo, double hi, double length, const TLabelSize& labelSize, double increment = 0,
                         int maxIntervals = 10, double minStep = 0);

// Digits after the point needed to write value exactly (up to 6).
int DecimalsOf(double value);

// The smallest round step of a time axis, in seconds, that is at least
// atLeast: 1, 2, 5, 10, 15, 30 s, 1, 2, 5, 10, 15, 30 min, 1, 2, 3, 6, 12 h,
// then whole days (1, 2, 5, 10 ... days).
double RoundTimeStep(double atLeast);

struct TTimeTicks {
    double Lo = 0;  // the range, widened outwards to whole steps (seconds)
    double Hi = 1;
    double Step = 1;  // seconds between two ticks
    int Count = 2;    // ticks from Lo to Hi
};

// Ticks of a time axis over lo .. hi seconds on an axis length pixels long
// whose labels take labelWidth pixels each: the smallest round step with at
// most maxIntervals steps whose labels fit side by side, and the range
// widened to whole steps of it (so that every tick sits on a round time).
TTimeTicks PlanTimeTicks(double lo, double hi, double length, double labelWidth, int maxIntervals = 10);
