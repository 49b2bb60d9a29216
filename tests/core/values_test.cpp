#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/training.h"
#include "testutil_sessions.h"

namespace {

constexpr double kDay = 86400.0;

int MaxSample(const TStgForceCurve& c)
{
    int m = 0;
    for (int i = 0; i < kCurveSamples; ++i) m = std::max(m, int(c.Samples[i]));
    return m;
}

TEST(SafeDivide, Rules)
{
    EXPECT_EQ(SafeDivide(0, 5), 0);
    EXPECT_FLOAT_EQ(SafeDivide(1e-12, 1), 1e9f);
    EXPECT_FLOAT_EQ(SafeDivide(-1e-12, 1), -1e9f);
    EXPECT_FLOAT_EQ(SafeDivide(2, 10), 5);
    EXPECT_FLOAT_EQ(SafeDivide(-4, 10), -2.5f);
    // Faults: overflow of float32 and operands that are not numbers give 0.
    EXPECT_EQ(SafeDivide(1e-30, 1e30), 0);
    EXPECT_EQ(SafeDivide(1, 1e300), 0);
    EXPECT_EQ(SafeDivide(std::nan(""), 1), 0);
    EXPECT_EQ(SafeDivide(1, std::nan("")), 0);
    EXPECT_EQ(SafeDivide(INFINITY, 1), 0);
}

TEST(RoundToWord, HalfToEvenAndClamped)
{
    EXPECT_EQ(RoundToWord(2.5), 2);
    EXPECT_EQ(RoundToWord(3.5), 4);
    EXPECT_EQ(RoundToWord(-3), 0);
    EXPECT_EQ(RoundToWord(65535.4), 65535);
    EXPECT_EQ(RoundToWord(1e12), 65535);
    EXPECT_EQ(RoundToWord(std::nan("")), 0);
    EXPECT_EQ(ToSingle(1e300), INFINITY);
    EXPECT_EQ(ToSingle(-1e300), -INFINITY);
    EXPECT_EQ(ToSingle(0.5), 0.5f);
}

TStgStrokeData HandStroke()
{
    TStgStrokeData s{};
    s.StrokeNumber = 20;
    s.Power = 250;
    s.AveragePower = 240;
    s.StrokeRate = 30;
    s.Target = 200;
    s.Time = 120;
    s.StrokeLength = 130;
    s.Distance = 500;
    s.DistancePerStroke = 1000;
    s.Time500 = 110;
    s.Energy = 500;
    s.EnergySum = 30;
    s.Pulse = 140;
    s.WorkPerPulse = 12.5f;
    s.PeakForce = 600;
    s.PeakForcePosition = 40;
    s.PeakForceRelative = 30.75f;
    s.DriveTime = 0.8f;
    s.RecoverRatio = 1.5f;
    s.KValue = 0.9f;
    s.IntervalNumber = 2;
    s.IntervalCountdown = 7;
    s.IntervalPower = 230;
    return s;
}

TEST(StrokeValue, EveryParameter)
{
    TTrainingSettings settings = DefaultSettings();
    settings.LimitType = 2;
    settings.LimitDistance = 2000;  // 500 of 2000 m rowed: projections are 4 times the elapsed values
    const TStgStrokeData s = HandStroke();
    const double drive = s.DriveTime, ratio = s.RecoverRatio;
    const double speed = drive * (ratio + 1) == 0 ? 0 : 10.0 / (drive * (ratio + 1));
    const double expected[kStrokeParameterCount] = {20,
                                                    250,
                                                    240,
                                                    30,
                                                    200,
                                                    120 / kDay,
                                                    130,
                                                    500,
                                                    1000,
                                                    110 / kDay,
                                                    500,
                                                    30,
                                                    140,
                                                    12.5,
                                                    600,
                                                    40,
                                                    30.75,
                                                    drive,
                                                    drive * ratio,
                                                    drive * (ratio + 1),
                                                    ratio,
                                                    speed,
                                                    double(0.9f),
                                                    2,
                                                    7,
                                                    230,
                                                    120 / kDay,
                                                    360 / kDay,
                                                    480 / kDay,
                                                    500,
                                                    1500,
                                                    2000,
                                                    20,
                                                    60,
                                                    80,
                                                    speed * 3.6,
                                                    speed * 2.2369362920544025,
                                                    120 / kDay,
                                                    500 / 120.0,
                                                    500 / 120.0 * 3.6,
                                                    500 / 120.0 * 2.2369362920544025,
                                                    10};
    for (int i = 0; i < kStrokeParameterCount; ++i)
        EXPECT_FLOAT_EQ(StrokeValue(s, i, settings), float(expected[i])) << "parameter " << i;
    EXPECT_EQ(StrokeValue(s, -1, settings), 0);
    EXPECT_EQ(StrokeValue(s, 42, settings), 0);
}

TEST(StrokeValue, SpeedAndLimits)
{
    TTrainingSettings settings = DefaultSettings();
    TStgStrokeData s{};
    s.DriveTime = 0.8f;
    s.RecoverRatio = 1.5f;
    s.DistancePerStroke = 1000;
    EXPECT_FLOAT_EQ(StrokeValue(s, spSpeed, settings), 5);
    EXPECT_FLOAT_EQ(StrokeValue(s, spSpeedKmh, settings), 18);

    s.Distance = 500;
    s.Time = 200;
    settings.LimitType = 2;
    settings.LimitDistance = 2000;
    EXPECT_FLOAT_EQ(StrokeValue(s, spTimeProjected, settings), float(800 / kDay));
    EXPECT_FLOAT_EQ(StrokeValue(s, spTimeRemaining, settings), float(600 / kDay));
    EXPECT_FLOAT_EQ(StrokeValue(s, spDistanceProjected, settings), 2000);
    EXPECT_FLOAT_EQ(StrokeValue(s, spDistanceRemaining, settings), 1500);

    // Without a limit "remaining" is minus the elapsed value and "projected" 0.
    for (int type : {2, 7, -1}) {
        settings.LimitType = type;
        settings.LimitDistance = 0;
        EXPECT_FLOAT_EQ(StrokeValue(s, spDistanceRemaining, settings), -500) << type;
        EXPECT_EQ(StrokeValue(s, spDistanceProjected, settings), 0) << type;
        EXPECT_FLOAT_EQ(StrokeValue(s, spTimeRemaining, settings), float(-200 / kDay)) << type;
    }
    // A stroke of zero time or distance divides by nothing.
    TStgStrokeData zero{};
    for (int i = 0; i < kStrokeParameterCount; ++i) EXPECT_EQ(StrokeValue(zero, i, settings), 0) << i;
}

TEST(StrokeValue, CorruptValuesStayDefined)
{
    TTrainingSettings settings = DefaultSettings();
    TStgStrokeData s = HandStroke();
    s.DriveTime = std::numeric_limits<float>::max();
    s.RecoverRatio = std::numeric_limits<float>::max();
    s.Distance = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(StrokeValue(s, spStrokeTime, settings), INFINITY);
    EXPECT_TRUE(std::isnan(StrokeValue(s, spDistance, settings)));
    EXPECT_EQ(StrokeValue(s, spAverageSpeed, settings), 0);
    EXPECT_EQ(StrokeValueText(s, spAverageTime500, settings), "00:00.0");
}

TEST(StrokeValue, Texts)
{
    TTrainingSettings settings = DefaultSettings();
    TStgStrokeData s = HandStroke();
    s.Time = 3725;
    EXPECT_EQ(StrokeValueText(s, spTime, settings), "1:02:05");
    EXPECT_EQ(StrokeValueText(s, spTime500, settings), "01:50.0");
    EXPECT_EQ(StrokeValueText(s, spPower, settings), " 250");
    EXPECT_EQ(StrokeValueText(s, spStrokeRate, settings), "30.0");
    EXPECT_EQ(StrokeValueText(s, 42, settings), "");
}

TEST(CurvePeak, PositionOfAPlateau)
{
    TStgStrokeData s{};
    s.StrokeLength = 110;
    TStgForceCurve c = EmptyCurve(1);
    c.Samples[5] = 200;
    c.Samples[9] = c.Samples[10] = c.Samples[11] = 400;  // 1-based samples 10..12
    ApplyCurvePeak(s, c, 0);
    EXPECT_EQ(+s.PeakForce, 400);
    EXPECT_FLOAT_EQ(+s.PeakForcePosition, 22);
    EXPECT_FLOAT_EQ(+s.PeakForceRelative, 20);
    ApplyCurvePeak(s, c, 1);
    EXPECT_FLOAT_EQ(+s.PeakForcePosition, 24.2f);

    c.Samples[30] = 400;  // first at 10, last at 31
    ApplyCurvePeak(s, c, 0);
    EXPECT_FLOAT_EQ(+s.PeakForcePosition, 41);

    TStgForceCurve zero = EmptyCurve(1);
    ApplyCurvePeak(s, zero, 1);
    EXPECT_EQ(+s.PeakForce, 0);
    EXPECT_EQ(+s.PeakForcePosition, 0);
    EXPECT_EQ(+s.PeakForceRelative, 0);
}

TEST(CurvePeak, EstimatedStrokeLength)
{
    TStgForceCurve c = BellCurve(1, 300, 40);  // samples 41..80 are 0
    EXPECT_DOUBLE_EQ(EstimateStrokeLength(c, 1), 41 * 2.2 - 2.2);
    EXPECT_DOUBLE_EQ(EstimateStrokeLength(c, 0), 80);
    for (int i = 0; i < kCurveSamples; ++i) c.Samples[i] = 800;
    EXPECT_DOUBLE_EQ(EstimateStrokeLength(c, 0), -2);
    c.Samples[79] = 780;
    EXPECT_DOUBLE_EQ(EstimateStrokeLength(c, 0), 158);
}

TEST(ResampleCurve, InterpolationEndsAndPlateaus)
{
    TCurveSamples src;
    for (int i = 0; i < kCurveSamples; ++i) src[i] = uint16_t(10 + i * 3);
    TCurveValues same = ResampleCurve(src, 1);
    for (int i = 0; i < kCurveSamples; ++i) EXPECT_EQ(same[size_t(i)], src[size_t(i)]);

    TCurveValues half = ResampleCurve(src, 0.5);
    EXPECT_FLOAT_EQ(half[1], (src[0] + src[1]) / 2.0f);
    EXPECT_FLOAT_EQ(half[2], src[1]);

    TCurveValues stretched = ResampleCurve(src, 1.5);
    EXPECT_FLOAT_EQ(stretched[53], src[79]);  // 79.5: past the last sample
    EXPECT_FLOAT_EQ(stretched[1], (src[1] + src[2]) / 2.0f);
    TCurveValues doubled = ResampleCurve(src, 2);
    EXPECT_EQ(doubled[39], src[78]);
    EXPECT_EQ(doubled[40], 0);  // exactly beyond the end

    TCurveValues negative = ResampleCurve(src, -1.5);
    EXPECT_FLOAT_EQ(negative[1], src[0] * 1.5f);

    TCurveSamples plateau = {0, 100, 100, 100, 0};
    TCurveValues smooth = ResampleCurve(plateau, 1);
    EXPECT_EQ(smooth[1], 50);
    EXPECT_EQ(smooth[2], 75);
    EXPECT_EQ(smooth[3], 100);

    for (double scale : {std::nan(""), double(INFINITY), 1e30, -1e30}) {
        TCurveValues r = ResampleCurve(src, scale);
        for (float v : r) EXPECT_TRUE(std::isfinite(v)) << scale;
    }
}

TEST(AverageStroke, NoStrokesAndOneStroke)
{
    TTraining t = BlankSession();
    t.Strokes[0].Power = 99;
    UpdateAverageStroke(t);
    EXPECT_EQ(+t.Strokes[0].Power, 0);

    SetStrokeCount(t, 1);
    t.Strokes[1] = SyntheticStroke(1);
    t.Strokes[1].PeakForce = 1;  // stale: recomputed on the copy
    t.Curves[1] = BellCurve(1, 500);
    UpdateAverageStroke(t);
    EXPECT_EQ(+t.Strokes[0].Power, +t.Strokes[1].Power);
    EXPECT_EQ(+t.Strokes[0].StrokeNumber, 1);
    EXPECT_EQ(+t.Curves[0].HasData, 1);
    EXPECT_EQ(std::memcmp(&t.Curves[0], &t.Curves[1], sizeof(TStgForceCurve)), 0);
    EXPECT_EQ(+t.Strokes[0].PeakForce, MaxSample(t.Curves[1]));
    EXPECT_EQ(+t.Strokes[1].PeakForce, 1);
}

TEST(AverageStroke, CurvesWithoutDataLeaveSlotZeroEmpty)
{
    TSessionShape shape;
    shape.CurveData = false;
    TTraining t = SteadySession(5, shape);
    TStgStrokeData zero{};
    EXPECT_EQ(std::memcmp(&t.Strokes[0], &zero, sizeof zero), 0);
    TStgForceCurve zeroCurve{};
    EXPECT_EQ(std::memcmp(&t.Curves[0], &zeroCurve, sizeof zeroCurve), 0);
}

TEST(AverageStroke, LeavesOutStrokeOneAndStretchesToTheAverageLength)
{
    TTraining t = BlankSession();
    SetStrokeCount(t, 3);
    for (int k = 1; k <= 3; ++k) t.Strokes[size_t(k)] = SyntheticStroke(k);
    t.Strokes[1].Energy = 10000;  // left out
    t.Strokes[1].StrokeLength = 999;
    t.Curves[1] = BellCurve(1, 2000, 70);
    t.Strokes[2].Energy = 300;
    t.Strokes[2].StrokeLength = 100;
    t.Curves[2] = BellCurve(2, 400, 45);
    t.Strokes[3].Energy = 500;
    t.Strokes[3].StrokeLength = 200;
    t.Curves[3] = BellCurve(3, 300, 60);
    UpdateAverageStroke(t);
    const auto& s0 = t.Strokes[0];
    EXPECT_FLOAT_EQ(+s0.Energy, 400);
    EXPECT_FLOAT_EQ(+s0.StrokeLength, 150);
    EXPECT_EQ(+s0.StrokeNumber, 0);
    EXPECT_EQ(+s0.Power, 0);
    EXPECT_EQ(+s0.Time, 0);
    EXPECT_EQ(+t.Curves[0].HasData, 0);
    const TCurveValues a = ResampleCurve(t.Curves[2], 100.0f / 150.0f);
    const TCurveValues b = ResampleCurve(t.Curves[3], 200.0f / 150.0f);
    for (int i = 0; i < kCurveSamples; ++i)
        EXPECT_EQ(+t.Curves[0].Samples[i], RoundToWord((a[size_t(i)] + b[size_t(i)]) / 2.0f)) << i;
    EXPECT_EQ(+s0.PeakForce, MaxSample(t.Curves[0]));
    EXPECT_GT(+s0.PeakForcePosition, 0);
}

TEST(AverageStroke, NegativeLengthIsEstimatedAndDamagedArraysAreRepaired)
{
    TTraining t = BlankSession();
    SetStrokeCount(t, 3);
    for (int k = 1; k <= 3; ++k) {
        t.Strokes[size_t(k)] = SyntheticStroke(k);
        t.Curves[size_t(k)] = BellCurve(k, 300, 40);
    }
    t.Strokes[2].StrokeLength = -1;  // estimated from the curve: 88 cm with the big sprocket
    t.Strokes[3].StrokeLength = 88;
    UpdateAverageStroke(t);
    EXPECT_FLOAT_EQ(+t.Strokes[0].StrokeLength, 43.5f);
    const TCurveValues c2 = ResampleCurve(t.Curves[2], 88 / 43.5f);
    EXPECT_EQ(+t.Curves[0].Samples[10], RoundToWord((c2[10] + ResampleCurve(t.Curves[3], 88 / 43.5f)[10]) / 2));

    t.Curves.resize(2);  // fewer curves than strokes
    UpdateAverageStroke(t);
    EXPECT_EQ(t.Curves.size(), t.Strokes.size());
    t.Strokes.clear();
    t.Curves.clear();
    UpdateAverageStroke(t);
    EXPECT_EQ(t.Strokes.size(), 1u);
}

TEST(Totals, FromTheLastStroke)
{
    TTraining t = SteadySession(300);
    ComputeTotals(t, 0);
    EXPECT_EQ(+t.Totals.Distance, 0);
    ComputeTotals(t, 301);
    EXPECT_EQ(+t.Totals.Distance, 0);
    ComputeTotals(t, 300);
    EXPECT_FLOAT_EQ(+t.Totals.Distance, 3000);
    EXPECT_FLOAT_EQ(+t.Totals.Time, 600);
    EXPECT_FLOAT_EQ(+t.Totals.Energy, 120);
    EXPECT_FLOAT_EQ(+t.Totals.AveragePower, 200);

    EXPECT_FLOAT_EQ(TotalValue(t, 0), 3000);
    EXPECT_FLOAT_EQ(TotalValue(t, 1), float(600 / kDay));
    EXPECT_FLOAT_EQ(TotalValue(t, 2), 120);
    EXPECT_FLOAT_EQ(TotalValue(t, 3), 200);
    EXPECT_FLOAT_EQ(TotalValue(t, 4), 300);
    EXPECT_FLOAT_EQ(TotalValue(t, 5), float(100 / kDay));
    EXPECT_FLOAT_EQ(TotalValue(t, 6), 30);
    EXPECT_EQ(TotalValue(t, 7), 0);
    EXPECT_EQ(TotalValueTextWithUnit(t, 0), "3000 m");
    EXPECT_EQ(TotalValueTextWithUnit(t, 4), "300");
    EXPECT_EQ(TotalValueText(t, 1), "10:00.0");
    EXPECT_EQ(TotalValueText(t, 5), "01:40.0");

    TTraining u = SteadySession(180);
    u.Totals.Time = 600;
    EXPECT_FLOAT_EQ(TotalValue(u, 6), 18);
    TTraining empty = BlankSession();
    EXPECT_EQ(TotalValue(empty, 6), 0);
    EXPECT_EQ(TotalValue(empty, 5), 0);
}

TEST(FinishAtLimit, InterpolatesWithinTheLastStroke)
{
    TTraining t = BlankSession();
    t.Settings.LimitType = 2;
    t.Settings.LimitDistance = 2000;
    SetStrokeCount(t, 3);
    t.Strokes[2].Distance = 1990;
    t.Strokes[2].Time = 500;
    t.Strokes[2].EnergySum = 100;
    t.Strokes[3].Distance = 1995;
    t.Strokes[3].Time = 502;
    EXPECT_FALSE(FinishAtLimit(t, 3));
    EXPECT_EQ(+t.Totals.Distance, 0);
    EXPECT_EQ(t.RowStatus, rsNone);

    t.Strokes[3].Distance = 2010;
    t.Strokes[3].Time = 504;
    t.Strokes[3].EnergySum = 100.8f;
    EXPECT_TRUE(FinishAtLimit(t, 3));
    EXPECT_FLOAT_EQ(+t.Totals.Distance, 2000);
    EXPECT_FLOAT_EQ(+t.Totals.Time, 502);
    EXPECT_FLOAT_EQ(+t.Totals.Energy, 100.4f);
    EXPECT_FLOAT_EQ(+t.Totals.AveragePower, 200);
    EXPECT_EQ(t.RowStatus, rsFinished);

    EXPECT_FALSE(FinishAtLimit(t, 0));
    EXPECT_FALSE(FinishAtLimit(t, 4));
}

TEST(FinishAtLimit, NoLimitAndIntervalRule)
{
    TTraining t = SteadySession(10);
    t.Settings.LimitType = 2;
    t.Settings.LimitDistance = 0;
    EXPECT_FALSE(FinishAtLimit(t, 10));
    EXPECT_FALSE(FinishAtLimit(t, 10, true));  // no limit value: never finished
    t.Settings.LimitType = 0;
    t.Settings.LimitStrokes = 20;
    EXPECT_FALSE(FinishAtLimit(t, 10));
    EXPECT_TRUE(FinishAtLimit(t, 10, true));
    // Ended by the interval rule before the limit: the whole last stroke
    // counts, never a value extrapolated beyond it.
    EXPECT_FLOAT_EQ(+t.Totals.Distance, 100);
    EXPECT_FLOAT_EQ(+t.Totals.Time, 20);

    // A previous stroke already beyond the limit (replayed data) does not
    // move the totals outside the last stroke either.
    t.Strokes[9].Distance = 150;
    t.Settings.LimitType = 2;
    t.Settings.LimitDistance = 95;
    EXPECT_TRUE(FinishAtLimit(t, 10));
    EXPECT_GE(+t.Totals.Distance, 100);
    EXPECT_LE(+t.Totals.Distance, 150);

    // Time limit reached exactly at a stroke: its own values.
    TTraining u = SteadySession(10);
    u.Settings.LimitType = 3;
    u.Settings.LimitTime = 12;
    EXPECT_FALSE(FinishAtLimit(u, 5));
    EXPECT_TRUE(FinishAtLimit(u, 6));
    EXPECT_FLOAT_EQ(+u.Totals.Time, 12);
    EXPECT_FLOAT_EQ(+u.Totals.Distance, 60);
}

TEST(FinishAtLimit, OneIntervalEndsWithItsWorkPeriod)
{
    TTraining t = BlankSession();
    t.Settings = IntervalSettings(3, 60, 30, 1);
    TIntervalState state;
    // Stroke 1 already carries interval number 1: that is not the end.
    EXPECT_FALSE(FinishAtLimit(t, 1, false));
    const int end = RecordSession(t, 50, TSessionShape{}, state);
    EXPECT_GT(end, 1);
    EXPECT_GE(+t.Strokes[size_t(end)].Time, 60);
    EXPECT_LT(+t.Strokes[size_t(end - 1)].Time, 60);
    EXPECT_EQ(t.IntervalCount(), 1);
    // The whole last stroke counts.
    EXPECT_FLOAT_EQ(+t.Totals.Time, +t.Strokes[size_t(end)].Time);
    EXPECT_FLOAT_EQ(+t.Totals.Distance, +t.Strokes[size_t(end)].Distance);
    EXPECT_EQ(t.RowStatus, rsFinished);
}

}  // namespace
