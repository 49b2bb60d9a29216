#include "core/scaling.h"

#include <cmath>
#include <utility>

#include "core/catalogue.h"
#include "core/values.h"

void ScaleAxis(TAxisScale& axis, const TTraining& t, int param, bool allowRange, bool fromCatalogue)
{
    if (param < 0 || param >= kStrokeParameterCount) return;
    const ParameterType& c = StrokeParameters()[size_t(param)];
    int mode = c.ScaleMode;
    if (mode == smRange && !allowRange) mode = smDouble;
    if (mode == smAuto) {
        axis.AutoMinimum = true;
        axis.AutoMaximum = true;
        return;
    }
    const int n = t.StrokeCount();
    const double range = double(c.Maximum) - double(c.Minimum);
    double lo = fromCatalogue ? double(c.Minimum) : axis.Minimum;
    double hi = fromCatalogue ? double(c.Maximum) : axis.Maximum;
    double increment = 0;
    auto value = [&](int j) { return double(StrokeValue(t.Strokes[size_t(j)], param, t.Settings)); };

    if (mode == smDouble) {
        // The maximum grows by one range at the third consecutive stroke above
        // it, and at every further one.
        TDoubleScaleState state{0, hi};
        for (int j = 2; j <= n; ++j) DoubleScaleStep(state, value(j), range);
        hi = state.Maximum;
        increment = (hi - lo) / 10;
    } else if (mode == smManual) {
        lo = c.Minimum;
        hi = c.Maximum;
        increment = c.Step;
    } else {
        // Range: shift the window in half ranges so that the recent average fits.
        int j = t.Header.SelectedStroke;
        if (j < n) {
            for (int m = n; m >= 1; --m)
                if (value(m) > 0) {
                    j = m;
                    break;
                }
        }
        double k = 0;
        if (n > 0) {
            double sum = 0;
            int count = 0;
            for (int m = j - 9; m <= j; ++m) {
                if (m <= 0 || m > n) continue;
                const double v = value(m);
                if (v > 0) {
                    sum += v;
                    ++count;
                }
            }
            const double average = count > 0 ? sum / count : range / 2;
            if (range != 0 && average >= hi) {
                k = std::nearbyint((average - hi) / (range / 2)) + 1;
                if (!std::isfinite(k)) k = 0;
            }
        }
        lo += k * range / 2;
        hi += k * range / 2;
        increment = range / 10;
    }
    SetFixedScale(axis, lo, hi, increment);
}

void DoubleScaleStep(TDoubleScaleState& state, double value, double range)
{
    if (state.Counter >= 2 && value > state.Maximum) state.Maximum += range;
    else if (value > state.Maximum) ++state.Counter;
    else state.Counter = 0;
}

void SetFixedScale(TAxisScale& axis, double lo, double hi, double increment)
{
    // A window upside down (a stored scaling with its maximum below its
    // minimum) would make the chart refuse one of the two assignments.
    if (hi < lo) std::swap(lo, hi);
    axis.AutoMinimum = false;
    axis.AutoMaximum = false;
    axis.Minimum = lo;
    axis.Maximum = hi;
    axis.Increment = increment;
}
