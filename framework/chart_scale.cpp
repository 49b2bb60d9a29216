#include "framework/chart_scale.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

#include "util/axis_ticks.h"

qint64 ChartDayBase()
{
    static const qint64 base = QDateTime(QDate(2000, 1, 1), QTime(0, 0)).toMSecsSinceEpoch();
    return base;
}

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

TAxisSpan AxisSpanOf(const TAxisScale& scale, double dataLo, double dataHi, bool haveData, bool time)
{
    double lo = scale.AutoMinimum ? (haveData ? dataLo : 0.0) : scale.Minimum;
    double hi = scale.AutoMaximum ? (haveData ? dataHi : (time ? lo + kEmptyTimeSpan : 1.0)) : scale.Maximum;
    if (!std::isfinite(lo)) lo = 0;
    if (!std::isfinite(hi)) hi = lo + 1;
    if (hi < lo) std::swap(lo, hi);
    if (hi == lo) {
        const double pad = time ? kEmptyTimeSpan / 2 : lo == 0 ? 1.0 : std::fabs(lo) * 0.05;
        if (scale.AutoMinimum) lo -= pad;
        hi += pad;
    }
    return TAxisSpan{lo, hi, !scale.AutoMinimum || !scale.AutoMaximum};
}

void RoundOutwards(double& lo, double& hi, bool whole)
{
    const TAxisTicks round = PlanAxisTicks(lo, hi, 400, nullptr, 0, 5, whole ? 1.0 : 0.0);
    lo = std::floor(lo / round.Step + 1e-9) * round.Step;
    hi = std::ceil(hi / round.Step - 1e-9) * round.Step;
}
