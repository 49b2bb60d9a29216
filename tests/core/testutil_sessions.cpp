#include "testutil_sessions.h"

#include <cmath>

TStgStrokeData SyntheticStroke(int k, const TSessionShape& shape)
{
    TStgStrokeData s = EmptyStroke(k);
    s.Time = float(k * shape.StrokeTime);
    s.Distance = float(k * shape.StrokeDistance);
    s.Energy = float(shape.StrokeEnergy);
    s.EnergySum = float(k * shape.StrokeEnergy / 1000.0);
    s.Power = float(shape.StrokeEnergy / shape.StrokeTime);
    s.AveragePower = s.Power;
    s.StrokeRate = float(60.0 / shape.StrokeTime);
    s.Pulse = shape.Pulse;
    s.StrokeLength = shape.StrokeLength;
    s.DriveTime = shape.DriveTime;
    s.RecoverRatio = shape.RecoverRatio;
    s.DistancePerStroke = float(shape.StrokeDistance * 100);
    s.Time500 = float(500.0 / shape.StrokeDistance * shape.StrokeTime);
    s.KValue = 0.75f;
    s.WorkPerPulse = 10;
    return s;
}

TStgForceCurve BellCurve(int number, int peak, int width)
{
    TStgForceCurve c = EmptyCurve(number);
    for (int i = 0; i < width && i < kCurveSamples; ++i) {
        double x = (i + 0.5) / width;
        c.Samples[i] = uint16_t(std::lround(peak * std::sin(M_PI * x)));
    }
    c.HasData = 1;
    return c;
}

TTraining BlankSession()
{
    TTraining t;
    ClearTraining(t);
    t.Settings = DefaultSettings();
    t.Header.Active = 1;
    t.Header.Color = 0x0000FF;
    t.Header.PenWidth = 2;
    t.Header.Title.SetText("Test session");
    return t;
}

TTraining SteadySession(int n, const TSessionShape& shape)
{
    TTraining t = BlankSession();
    t.Settings.LimitType = 2;
    t.Settings.LimitDistance = 0;
    SetStrokeCount(t, n);
    for (int k = 1; k <= n; ++k) {
        t.Strokes[size_t(k)] = SyntheticStroke(k, shape);
        t.Curves[size_t(k)] = shape.CurveData ? BellCurve(k, 300 + k % 7 * 10) : EmptyCurve(k);
        ApplyCurvePeak(t.Strokes[size_t(k)], t.Curves[size_t(k)], t.Settings.Sprocket);
    }
    UpdateAverageStroke(t);
    return t;
}

int RecordSession(TTraining& t, int n, const TSessionShape& shape, TIntervalState& state)
{
    for (int k = 1; k <= n; ++k) {
        SetStrokeCount(t, k);
        t.Strokes[size_t(k)] = SyntheticStroke(k, shape);
        t.Curves[size_t(k)] = shape.CurveData ? BellCurve(k, 300 + k % 7 * 10) : EmptyCurve(k);
        ApplyCurvePeak(t.Strokes[size_t(k)], t.Curves[size_t(k)], t.Settings.Sprocket);
        UpdateAverageStroke(t);
        if (t.Settings.LimitType == 4 && !state.Finished) CutIntervals(state, t, k);
        if (FinishAtLimit(t, k, state.Finished)) {
            state.Finished = true;
            return k;
        }
    }
    return 0;
}

TTrainingSettings IntervalSettings(int by, int work, int rest, int limitIntervals)
{
    TTrainingSettings s = DefaultSettings();
    s.LimitType = 4;
    s.LimitIntervals = limitIntervals;
    s.IntervalBy = by;
    SetWorkPeriodFor(s, by, work);
    SetRestPeriodFor(s, by, rest);
    return s;
}
