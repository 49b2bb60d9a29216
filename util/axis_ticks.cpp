#include "util/axis_ticks.h"

#include <algorithm>
#include <cmath>

namespace {

// Empty room between two neighbouring labels, in pixels.
constexpr double kLabelGap = 8;

// The smallest step of 1, 2 or 5 times a power of ten that is at least raw.
double NiceStepAtLeast(double raw)
{
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double f : {1.0, 2.0, 5.0, 10.0})
        if (f * magnitude >= raw * (1 - 1e-9)) return f * magnitude;
    return 10 * magnitude;
}

// The next larger step: 1 → 2 → 5 → 10 times the same base.
double NextStep(double step, double base)
{
    const double ratio = step / base;
    const double magnitude = std::pow(10.0, std::floor(std::log10(ratio) + 1e-9));
    const double f = ratio / magnitude;
    const double next = f < 1.5 ? 2 : f < 3.5 ? 5 : 10;
    return next * magnitude * base;
}

}  // namespace

int DecimalsOf(double value)
{
    if (!std::isfinite(value)) return 0;
    value = std::fabs(value);
    for (int d = 0; d < 6; ++d) {
        const double scaled = value * std::pow(10.0, d);
        if (std::fabs(scaled - std::round(scaled)) <= 1e-6 * std::max(1.0, scaled)) return d;
    }
    return 6;
}

TAxisTicks PlanAxisTicks(double lo, double hi, double length, const TLabelSize& labelSize, double increment,
                         int maxIntervals, double minStep)
{
    TAxisTicks ticks;
    ticks.First = lo;
    ticks.Decimals = DecimalsOf(lo);
    const double span = hi - lo;
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(span > 0)) return ticks;
    maxIntervals = std::max(1, maxIntervals);
    // An increment that would need more ticks than any axis can hold is
    // ignored (a step of the chart's own is used).
    const bool chosen = increment > 0 && std::isfinite(increment) && span / increment <= 10000;
    const double base = chosen ? increment : 1;
    double step = chosen ? increment : NiceStepAtLeast(std::max(span / maxIntervals, minStep > 0 ? minStep : 0.0));
    for (int attempt = 0; attempt < 64; ++attempt) {
        const double first = chosen ? lo : std::ceil(lo / step - 1e-9) * step;
        const int count = int(std::floor((hi - first) / step + 1e-9)) + 1;
        int decimals = DecimalsOf(step);
        if (chosen) decimals = std::max(decimals, DecimalsOf(lo));
        ticks = TAxisTicks{first, step, std::max(count, 1), decimals};
        if (count <= 1) break;  // one label always fits as well as it can
        // Every label must fit into the room between two ticks.
        double widest = 0;
        const int checked = std::min(count, 64);
        auto measure = [&](int i) {
            double v = first + step * i;
            if (std::fabs(v) < step * 1e-9) v = 0;  // no "-0"
            widest = std::max(widest, labelSize ? labelSize(v, decimals) : 0.0);
        };
        for (int i = 0; i < checked; ++i) measure(i);
        if (count > checked) measure(count - 1);
        const double room = step / span * length;
        if (room >= widest + kLabelGap && (chosen || (count - 1) <= maxIntervals)) break;
        step = NextStep(step, base);
    }
    return ticks;
}

double RoundTimeStep(double atLeast)
{
    static const double kSteps[] = {1,   2,   5,    10,   15,   30,    60,    120,   300,
                                    600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
    if (!(atLeast > 0) || !std::isfinite(atLeast)) return 1;
    for (double s : kSteps)
        if (s >= atLeast * (1 - 1e-9)) return s;
    // Whole days by 1, 2 or 5 times a power of ten.
    return 86400 * NiceStepAtLeast(atLeast / 86400);
}

TTimeTicks PlanTimeTicks(double lo, double hi, double length, double labelWidth, int maxIntervals)
{
    TTimeTicks ticks;
    if (!std::isfinite(lo) || !std::isfinite(hi)) return ticks;
    if (hi < lo) std::swap(lo, hi);
    if (!(hi > lo)) hi = lo + 1;
    maxIntervals = std::max(1, maxIntervals);
    if (!(length > 10)) length = 400;
    double step = RoundTimeStep((hi - lo) / maxIntervals);
    for (int attempt = 0; attempt < 64; ++attempt) {
        const double first = std::floor(lo / step + 1e-9) * step;
        double last = std::ceil(hi / step - 1e-9) * step;
        if (last <= first) last = first + step;
        const int intervals = int(std::lround((last - first) / step));
        ticks = TTimeTicks{first, last, step, intervals + 1};
        // Every label fits into the room between two ticks.
        if (intervals <= maxIntervals && length / intervals >= labelWidth + kLabelGap) break;
        step = RoundTimeStep(step * 1.5);
    }
    return ticks;
}
