#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "core/training.h"
#include "testutil_sessions.h"

namespace {

constexpr double kDay = 86400.0;

// Records n steady strokes (2 s, 10 m, 400 J each: 200 W, 30 /min, pulse 120)
// into an interval workout.
struct TWorkout {
    TTraining T = BlankSession();
    TIntervalState State;
    int FinishedAt = 0;
    TWorkout(int by, int work, int rest, int limit, int strokes)
    {
        T.Settings = IntervalSettings(by, work, rest, limit);
        FinishedAt = RecordSession(T, strokes, TSessionShape{}, State);
    }
    const TStgStrokeData& S(int k) const { return T.Strokes[size_t(k)]; }
};

TEST(IntervalBoundaries, WorkAndRestEnds)
{
    TTrainingSettings s = IntervalSettings(3, 60, 30, 0);
    EXPECT_EQ(IntervalWorkEnd(s, 1), 60);
    EXPECT_EQ(IntervalRestEnd(s, 1), 90);
    EXPECT_EQ(IntervalWorkEnd(s, 2), 150);
    EXPECT_EQ(IntervalRestEnd(s, 2), 180);
    s.IntervalBy = 2;  // distance slots are empty
    EXPECT_EQ(IntervalWorkEnd(s, 3), 0);
    s.IntervalBy = 9;
    EXPECT_EQ(IntervalRestEnd(s, 3), 0);
}

TEST(CutIntervals, WorkAndRestByStrokes)
{
    TWorkout w(0, 10, 5, 0, 30);
    EXPECT_EQ(w.FinishedAt, 0);
    for (int k = 1; k <= 9; ++k) {
        EXPECT_EQ(+w.S(k).IntervalNumber, 1) << k;
        EXPECT_EQ(+w.S(k).IntervalCountdown, 10 - k) << k;
        EXPECT_EQ(+w.S(k).IntervalPower, 200) << k;
    }
    // Stroke 10 completes interval 1 and starts the rest.
    EXPECT_EQ(+w.S(10).IntervalNumber, 1);
    EXPECT_EQ(+w.S(10).IntervalCountdown, 5);
    EXPECT_EQ(+w.S(10).IntervalPower, 0);
    for (int k = 11; k <= 14; ++k) {
        EXPECT_EQ(+w.S(k).IntervalNumber, 1);
        EXPECT_EQ(+w.S(k).IntervalCountdown, 15 - k);
        EXPECT_EQ(+w.S(k).IntervalPower, 0);
    }
    // Stroke 15 ends the rest: interval 2, countdown 10 - 15 stored as 0, power of stroke 15 alone.
    EXPECT_EQ(+w.S(15).IntervalNumber, 2);
    EXPECT_EQ(+w.S(15).IntervalCountdown, 0);
    EXPECT_EQ(+w.S(15).IntervalPower, 200);
    EXPECT_EQ(+w.S(16).IntervalCountdown, 9);  // work of interval 2 ends at stroke 25

    ASSERT_EQ(w.T.IntervalCount(), 2);  // completed at strokes 10 and 25
    const TTrainingInterval& iv = w.T.Intervals[0];
    EXPECT_EQ(+iv.Number, 1);
    EXPECT_EQ(+iv.Stroke.StrokeNumber, 10);
    EXPECT_EQ(+iv.TotalTime, 20);
    EXPECT_EQ(+iv.TotalDistance, 100);
    EXPECT_EQ(+iv.AveragePower, 200);
    EXPECT_EQ(+iv.AverageStrokeRate, 30);
    EXPECT_EQ(+iv.AveragePulse, 120);
    EXPECT_FLOAT_EQ(+iv.Stroke.Power, 200);
    EXPECT_FLOAT_EQ(+iv.Stroke.Energy, 400);
    EXPECT_FLOAT_EQ(+iv.Stroke.EnergySum, 4);
    EXPECT_FLOAT_EQ(+iv.Stroke.Time500, 100);
    EXPECT_FLOAT_EQ(+iv.Stroke.Pulse, 120);
    EXPECT_FLOAT_EQ(+iv.Stroke.WorkPerPulse, 200.0f / 120);
    EXPECT_FLOAT_EQ(+iv.Stroke.StrokeLength, 120);
    EXPECT_FLOAT_EQ(+iv.Stroke.DriveTime, 0.8f);
    EXPECT_FLOAT_EQ(+iv.Stroke.DistancePerStroke, 1000);
    EXPECT_EQ(+iv.Stroke.IntervalNumber, 1);
    EXPECT_EQ(+iv.Stroke.IntervalPower, 200);
    EXPECT_EQ(+iv.Stroke.Target, 0);

    // Interval 2 runs from stroke 15 (after the start stroke 14) to stroke 25.
    const TTrainingInterval& iv2 = w.T.Intervals[1];
    EXPECT_EQ(+iv2.Number, 2);
    EXPECT_EQ(+iv2.Stroke.StrokeNumber, 11);
    EXPECT_EQ(+iv2.TotalDistance, 110);
    EXPECT_EQ(+iv2.TotalTime, 22);
}

TEST(CutIntervals, IntervalCurveAveragesItsOwnStrokes)
{
    TWorkout w(0, 10, 5, 0, 30);
    ASSERT_GE(w.T.IntervalCount(), 2);
    TStgStrokeData s;
    TStgForceCurve c;
    AverageStroke(&w.T.Strokes[14], &w.T.Curves[14], 11, w.T.Settings.Sprocket, s, c);
    EXPECT_EQ(std::memcmp(&c, &w.T.Intervals[1].Curve, sizeof c), 0);
    // It differs from the session average and from interval 1's curve.
    EXPECT_NE(std::memcmp(&w.T.Intervals[0].Curve, &w.T.Intervals[1].Curve, sizeof c), 0);
    EXPECT_GT(+w.T.Intervals[1].Curve.Samples[10], 0);
}

TEST(CutIntervals, ByTimeWithRest)
{
    TWorkout w(3, 60, 30, 0, 100);
    // Work ends at 60 s (stroke 30), rest at 90 s (stroke 45), work 2 at 150 s (stroke 75).
    EXPECT_EQ(+w.S(30).IntervalNumber, 1);
    EXPECT_EQ(+w.S(30).IntervalCountdown, 30);
    EXPECT_EQ(+w.S(31).IntervalCountdown, 28);
    EXPECT_EQ(+w.S(31).IntervalPower, 0);
    EXPECT_EQ(+w.S(45).IntervalNumber, 2);
    EXPECT_EQ(+w.S(46).IntervalCountdown, 150 - 92);
    ASSERT_EQ(w.T.IntervalCount(), 2);
    EXPECT_EQ(+w.T.Intervals[0].TotalTime, 60);
    EXPECT_EQ(+w.T.Intervals[1].TotalTime, 62);  // strokes 45..75
    EXPECT_EQ(+w.S(90).IntervalNumber, 3);
}

TEST(CutIntervals, ByDistanceWithoutRest)
{
    TWorkout w(2, 500, 0, 0, 120);
    EXPECT_FALSE(w.State.InRest);
    // Stroke 50 completes interval 1 and already carries number 2.
    EXPECT_EQ(+w.S(49).IntervalNumber, 1);
    EXPECT_EQ(+w.S(49).IntervalCountdown, 10);
    EXPECT_EQ(+w.S(50).IntervalNumber, 2);
    EXPECT_EQ(+w.S(50).IntervalCountdown, 0);
    EXPECT_EQ(+w.S(51).IntervalNumber, 2);
    EXPECT_EQ(+w.S(51).IntervalCountdown, 490);
    EXPECT_EQ(+w.S(51).IntervalPower, 200);
    ASSERT_EQ(w.T.IntervalCount(), 2);
    // Consecutive intervals share no stroke: each holds 50 strokes and 500 m.
    for (const auto& iv : w.T.Intervals) {
        EXPECT_EQ(+iv.Stroke.StrokeNumber, 50);
        EXPECT_EQ(+iv.TotalDistance, 500);
        EXPECT_EQ(+iv.TotalTime, 100);
    }
}

TEST(CutIntervals, ByEnergy)
{
    // 0.4 kJ per stroke: 6 kJ of work are reached at stroke 15.
    TWorkout w(1, 6, 2, 0, 40);
    EXPECT_EQ(+w.S(14).IntervalCountdown, 0);  // 6 - 5.6 rounds to 0
    EXPECT_EQ(+w.S(13).IntervalCountdown, 1);
    EXPECT_EQ(+w.S(15).IntervalNumber, 1);
    EXPECT_TRUE(w.T.IntervalCount() >= 1);
    EXPECT_EQ(+w.T.Intervals[0].Stroke.StrokeNumber, 15);
    EXPECT_EQ(+w.S(20).IntervalNumber, 2);  // rest ends at 8 kJ
}

TEST(CutIntervals, LimitOfNIntervalsRowsNWorkPeriods)
{
    // One interval is one work period; its rest is not rowed.
    TWorkout one(0, 10, 5, 1, 100);
    EXPECT_EQ(one.FinishedAt, 10);
    EXPECT_EQ(one.T.IntervalCount(), 1);
    EXPECT_FLOAT_EQ(+one.T.Totals.Distance, 100);
    EXPECT_FLOAT_EQ(+one.T.Totals.Time, 20);
    EXPECT_EQ(one.T.RowStatus, rsFinished);

    TWorkout two(0, 10, 5, 2, 100);
    EXPECT_EQ(two.FinishedAt, 25);
    EXPECT_EQ(two.T.IntervalCount(), 2);
    EXPECT_FLOAT_EQ(+two.T.Totals.Distance, 250);

    TWorkout three(0, 10, 5, 3, 100);
    EXPECT_EQ(three.FinishedAt, 40);
    EXPECT_EQ(three.T.IntervalCount(), 3);
    EXPECT_EQ(+three.T.Intervals[2].Number, 3);
    EXPECT_EQ(+three.T.Intervals[2].Stroke.StrokeNumber, 11);  // from the stroke that ended the rest
    EXPECT_FLOAT_EQ(+three.T.Totals.Distance, 400);

    // Without rest: stroke 10 closes interval 1 and already carries number 2.
    TWorkout noRest(0, 10, 0, 3, 100);
    EXPECT_EQ(noRest.FinishedAt, 30);
    ASSERT_EQ(noRest.T.IntervalCount(), 3);
    EXPECT_EQ(+noRest.S(10).IntervalNumber, 2);
    EXPECT_EQ(+noRest.T.Intervals[2].Stroke.StrokeNumber, 10);
    EXPECT_FLOAT_EQ(+noRest.T.Totals.Distance, 300);
    TWorkout noRestTwo(0, 10, 0, 2, 100);
    EXPECT_EQ(noRestTwo.FinishedAt, 20);
    TWorkout noRestOne(0, 10, 0, 1, 100);
    EXPECT_EQ(noRestOne.FinishedAt, 10);
    EXPECT_EQ(noRestOne.T.IntervalCount(), 1);
}

TEST(CutIntervals, BadInputIsIgnoredOrContained)
{
    TTraining t = SteadySession(5);
    t.Settings = IntervalSettings(0, 3, 1, 0);
    TIntervalState state;
    CutIntervals(state, t, 0);
    CutIntervals(state, t, 6);
    EXPECT_EQ(t.IntervalCount(), 0);
    // An interval start beyond the stroke (damaged state) stays inside the session.
    state.IntervalStart.StrokeNumber = 60000;
    t.Strokes[3].StrokeNumber = 3;
    CutIntervals(state, t, 3);
    ASSERT_EQ(t.IntervalCount(), 1);
    EXPECT_EQ(+t.Intervals[0].Stroke.StrokeNumber, 0);  // negative count clamped
    // Without work and rest periods every stroke closes an interval.
    TTraining u = SteadySession(20);
    u.Settings = IntervalSettings(2, 0, 0, 0);
    TIntervalState s2;
    for (int k = 1; k <= 20; ++k) CutIntervals(s2, u, k);
    EXPECT_EQ(u.IntervalCount(), 20);
    ResetIntervalState(s2);
    EXPECT_EQ(s2.CurrentInterval, 1);
    EXPECT_FALSE(s2.InRest);
}

TEST(IntervalValue, EveryParameter)
{
    TTrainingInterval iv{};
    iv.Number = 3;
    iv.AveragePower = 210;
    iv.AverageStrokeRate = 28;
    iv.TotalTime = 120;
    iv.TotalDistance = 480;
    iv.AveragePulse = 150;
    iv.Stroke.StrokeNumber = 56;
    iv.Stroke.StrokeLength = 125;
    iv.Stroke.Time500 = 125;
    iv.Stroke.Energy = 450;
    iv.Stroke.EnergySum = 25.2f;
    iv.Stroke.WorkPerPulse = 1.4f;
    iv.Stroke.DistancePerStroke = 857;
    iv.Stroke.PeakForce = 650;
    iv.Stroke.PeakForcePosition = 45;
    iv.Stroke.PeakForceRelative = 36;
    iv.Stroke.DriveTime = 0.75f;
    iv.Stroke.RecoverRatio = 2;
    iv.Stroke.KValue = 0.8f;
    const double expected[kIntervalParameterCount] = {
        3,   210, 28, 120 / kDay, 480,  150, 4,    56, 125,         125 / kDay, 450, double(25.2f), double(1.4f),
        857, 650, 45, 36,         0.75, 1.5, 2.25, 2,  double(0.8f)};
    for (int i = 0; i < kIntervalParameterCount; ++i) EXPECT_FLOAT_EQ(IntervalValue(iv, i), float(expected[i])) << i;
    EXPECT_EQ(IntervalValue(iv, 22), 0);
    EXPECT_EQ(IntervalValue(iv, -1), 0);
    EXPECT_EQ(IntervalValueText(iv, 3), "02:00.0");
    EXPECT_EQ(IntervalValueText(iv, 1), "210.0");
    EXPECT_EQ(IntervalValueText(iv, 9), "02:05.0");
    iv.TotalTime = 0;
    EXPECT_EQ(IntervalValue(iv, 6), 0);
}

}  // namespace
