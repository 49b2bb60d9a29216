#include "core/intervals.h"

#include <algorithm>
#include <cmath>

#include "core/catalogue.h"
#include "core/values.h"

void ResetIntervalState(TIntervalState& state) { state = TIntervalState{}; }

// Periods are whole numbers, so the boundaries are whole numbers already;
// they are kept in doubles so that no setting can overflow them.
double IntervalWorkEnd(const TTrainingSettings& settings, int a)
{
    const double w = WorkPeriodFor(settings, settings.IntervalBy);
    const double r = RestPeriodFor(settings, settings.IntervalBy);
    return std::nearbyint(w + (double(a) - 1) * (w + r));
}

double IntervalRestEnd(const TTrainingSettings& settings, int a)
{
    const double w = WorkPeriodFor(settings, settings.IntervalBy);
    const double r = RestPeriodFor(settings, settings.IntervalBy);
    return std::nearbyint(double(a) * (w + r));
}

namespace {

// Writes interval a from the strokes after state.IntervalStart up to stroke k.
void CompleteInterval(TIntervalState& state, TTraining& t, int k, int a)
{
    SetIntervalCount(t, a);
    TTrainingInterval& iv = t.Intervals[size_t(a - 1)];
    // A limit of N intervals is N work periods: the session ends as the
    // work period of interval N completes (its rest is not rowed).
    state.Finished = int64_t(a) == int64_t(t.Settings.LimitIntervals);

    const TStgStrokeData& S = state.IntervalStart;
    const TStgStrokeData& s = t.Strokes[size_t(k)];
    // Index of the stroke before the interval's first one (kept inside the session).
    const int base = std::clamp<int>(S.StrokeNumber, 0, k - 1);
    const double n = double(s.StrokeNumber) - double(S.StrokeNumber);
    const double dt = double(s.Time) - double(S.Time);
    const double dE = (double(s.EnergySum) - double(S.EnergySum)) * 1000;
    const double dD = double(s.Distance) - double(S.Distance);

    float sumLength = 0, sumPeak = 0, sumPeakPos = 0, sumPeakRel = 0, sumRatio = 0, sumK = 0, sumDrive = 0, sumDps = 0,
          beats = 0;
    for (int j = base + 1; j <= k; ++j) {
        const TStgStrokeData& x = t.Strokes[size_t(j)];
        // The first stroke's beats run from the interval start, never from the average slot.
        const double previousTime = j == base + 1 ? double(S.Time) : double(t.Strokes[size_t(j - 1)].Time);
        sumLength += x.StrokeLength;
        sumPeak += x.PeakForce;
        sumPeakPos += x.PeakForcePosition;
        sumPeakRel += x.PeakForceRelative;
        sumRatio += x.RecoverRatio;
        sumK += x.KValue;
        sumDrive += x.DriveTime;
        sumDps += x.DistancePerStroke;
        beats += ToSingle((double(x.Time) - previousTime) * x.Pulse / 60);
    }

    TStgStrokeData avg{};
    avg.StrokeNumber = RoundToWord(n);
    avg.Power = avg.AveragePower = SafeDivide(dt, dE);
    avg.StrokeRate = SafeDivide(dt / 60, n);
    avg.Target = 0;
    avg.Time = ToSingle(dt);
    avg.StrokeLength = SafeDivide(n, sumLength);
    avg.Distance = ToSingle(dD);
    avg.Time500 = ToSingle(double(SafeDivide(dD, 500)) * dt);
    avg.Energy = SafeDivide(n, dE);
    avg.EnergySum = ToSingle(dE / 1000);
    avg.Pulse = SafeDivide(dt / 60, beats);
    avg.WorkPerPulse = SafeDivide(avg.Pulse, avg.Power);
    avg.PeakForce = SafeDivide(n, sumPeak);
    avg.PeakForcePosition = SafeDivide(n, sumPeakPos);
    avg.PeakForceRelative = SafeDivide(n, sumPeakRel);
    avg.RecoverRatio = SafeDivide(n, sumRatio);
    avg.KValue = SafeDivide(n, sumK);
    avg.DriveTime = SafeDivide(n, sumDrive);
    avg.DistancePerStroke = SafeDivide(n, sumDps);
    avg.IntervalNumber = RoundToWord(a);
    avg.IntervalCountdown = 0;
    avg.IntervalPower = RoundToWord(avg.AveragePower);
    iv.Stroke = avg;

    // The interval's average curve, averaged like the session's (element m is
    // stroke base + m; the interval's first stroke does not contribute).
    TStgStrokeData unused;
    AverageStroke(&t.Strokes[size_t(base)], &t.Curves[size_t(base)], k - base, t.Settings.Sprocket, unused, iv.Curve);

    iv.Number = RoundToWord(a);
    iv.AveragePower = RoundToWord(SafeDivide(dt, dE));
    iv.AverageStrokeRate = RoundToWord(SafeDivide(dt / 60, n));
    iv.TotalTime = RoundToWord(dt);
    iv.TotalDistance = RoundToWord(dD);
    iv.AveragePulse = RoundToWord(SafeDivide(dt / 60, beats));
}

}  // namespace

void CutIntervals(TIntervalState& state, TTraining& t, int k)
{
    if (k < 1 || k > t.StrokeCount()) return;
    if (t.Curves.size() < t.Strokes.size()) t.Curves.resize(t.Strokes.size(), TStgForceCurve{});
    const double v = IntervalProgressValue(t.Strokes[size_t(k)], t.Settings.IntervalBy);
    int a = state.CurrentInterval;
    // Both boundaries of the interval in progress hold for the whole call.
    const double E = IntervalWorkEnd(t.Settings, a);
    const double Q = IntervalRestEnd(t.Settings, a);

    if (state.InRest) {
        if (Q <= v) {
            // The rest ends: this stroke is the first of the next interval.
            state.InRest = false;
            ++a;
            state.IntervalStart = t.Strokes[size_t(k - 1)];
        }
    } else if (E <= v) {
        CompleteInterval(state, t, k, a);
        if (Q != E) {
            state.InRest = true;
        } else {
            // No rest: the next interval starts after this stroke, which
            // belongs to the interval just completed.
            ++a;
            state.IntervalStart = t.Strokes[size_t(k)];
        }
    }
    state.CurrentInterval = a;

    TStgStrokeData& s = t.Strokes[size_t(k)];
    s.IntervalNumber = RoundToWord(a);
    if (!state.InRest) {
        s.IntervalCountdown = RoundToWord(E - v);
        const double dt = double(s.Time) - double(state.IntervalStart.Time);
        const double dE = (double(s.EnergySum) - double(state.IntervalStart.EnergySum)) * 1000;
        s.IntervalPower = RoundToWord(SafeDivide(dt, dE));
    } else {
        s.IntervalCountdown = RoundToWord(Q - v);
        s.IntervalPower = 0;
    }
}

float IntervalValue(const TTrainingInterval& iv, int i)
{
    const TStgStrokeData& s = iv.Stroke;
    switch (i) {
    case 0: return iv.Number;
    case 1: return iv.AveragePower;
    case 2: return iv.AverageStrokeRate;
    case 3: return ToSingle(double(iv.TotalTime) / 86400);
    case 4: return iv.TotalDistance;
    case 5: return iv.AveragePulse;
    case 6: return SafeDivide(iv.TotalTime, iv.TotalDistance);
    case 7: return s.StrokeNumber;
    case 8: return s.StrokeLength;
    case 9: return ToSingle(double(s.Time500) / 86400);
    case 10: return s.Energy;
    case 11: return s.EnergySum;
    case 12: return s.WorkPerPulse;
    case 13: return s.DistancePerStroke;
    case 14: return s.PeakForce;
    case 15: return s.PeakForcePosition;
    case 16: return s.PeakForceRelative;
    case 17: return s.DriveTime;
    case 18: return ToSingle(double(s.DriveTime) * s.RecoverRatio);
    case 19: return ToSingle(double(s.DriveTime) * (double(s.RecoverRatio) + 1));
    case 20: return s.RecoverRatio;
    case 21: return s.KValue;
    default: return 0;
    }
}

std::string IntervalValueText(const TTrainingInterval& interval, int i)
{
    return FormatValue(IntervalParameterFormat(i), IntervalValue(interval, i));
}
