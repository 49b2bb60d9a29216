#include <gtest/gtest.h>

#include "core/training.h"
#include "testutil_sessions.h"

namespace {

class ChartTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        BuildCatalogues();
        SetDataRange(65535);
    }
    void TearDown() override
    {
        BuildCatalogues();
        SetDataRange(65535);
    }
};

// A session whose stroke k has the given power (stroke 1 included).
TTraining PowerSession(const std::vector<float>& powers)
{
    TTraining t = SteadySession(int(powers.size()));
    for (size_t k = 1; k <= powers.size(); ++k) t.Strokes[k].Power = powers[k - 1];
    return t;
}

using ScaleAxisTest = ChartTest;

TEST_F(ScaleAxisTest, UpsideDownStoredWindowIsTurnedRound)
{
    TTraining t = SteadySession(5);
    auto& p = StrokeParameters()[spPeakForceRelative];
    ParseStrokeScaling("2 500 100 7", p);
    TAxisScale axis;
    ScaleAxis(axis, t, spPeakForceRelative, true, true);
    EXPECT_EQ(axis.Minimum, 100);
    EXPECT_EQ(axis.Maximum, 500);
    EXPECT_EQ(axis.Increment, 7);
}

TEST_F(ScaleAxisTest, AutoLeavesTheAxisAutomatic)
{
    TTraining t = SteadySession(5);
    TAxisScale axis;
    axis.AutoMinimum = axis.AutoMaximum = false;
    axis.Minimum = 3;
    axis.Maximum = 4;
    ScaleAxis(axis, t, spStrokeNumber, true, true);
    EXPECT_TRUE(axis.AutoMinimum);
    EXPECT_TRUE(axis.AutoMaximum);
    EXPECT_EQ(axis.Minimum, 3);
    ScaleAxis(axis, t, 42, true, true);  // no such parameter: unchanged
    ScaleAxis(axis, t, -1, true, true);
    EXPECT_TRUE(axis.AutoMinimum);
}

TEST_F(ScaleAxisTest, DoubleGrowsAtTheThirdStrokeAbove)
{
    // Power is a Range parameter; without range scaling it doubles.
    TTraining t = PowerSession({999, 90, 120, 130, 140, 150});
    TAxisScale axis;
    ScaleAxis(axis, t, spPower, false, true);
    EXPECT_FALSE(axis.AutoMinimum);
    EXPECT_FALSE(axis.AutoMaximum);
    EXPECT_EQ(axis.Minimum, 0);
    EXPECT_EQ(axis.Maximum, 200);
    EXPECT_EQ(axis.Increment, 20);

    TTraining u = PowerSession({0, 120, 130, 140, 210, 220, 330});
    ScaleAxis(axis, u, spPower, false, true);
    EXPECT_EQ(axis.Maximum, 300);

    // Not from the catalogue: the axis's current window is the start.
    TTraining v = PowerSession({0, 60, 61, 62, 63});
    axis.Minimum = 50;
    axis.Maximum = 55;
    ScaleAxis(axis, v, spPower, false, false);
    EXPECT_EQ(axis.Minimum, 50);
    EXPECT_EQ(axis.Maximum, 155);
    EXPECT_EQ(axis.Increment, 10.5);
}

TEST_F(ScaleAxisTest, ManualUsesTheCatalogueWindowAndStep)
{
    TTraining t = SteadySession(5);
    StrokeParameters()[spPeakForceRelative].Step = 25;
    TAxisScale axis;
    axis.Minimum = -7;
    ScaleAxis(axis, t, spPeakForceRelative, true, false);
    EXPECT_EQ(axis.Minimum, 0);
    EXPECT_EQ(axis.Maximum, 100);
    EXPECT_EQ(axis.Increment, 25);
}

TEST_F(ScaleAxisTest, RangeShiftsByHalfRanges)
{
    TTraining t = PowerSession(std::vector<float>(20, 160));
    TAxisScale axis;
    ScaleAxis(axis, t, spPower, true, true);
    EXPECT_EQ(axis.Minimum, 100);  // k = round(60 / 50) + 1 = 2
    EXPECT_EQ(axis.Maximum, 200);
    EXPECT_EQ(axis.Increment, 10);

    // Half-way ratios round to even: 125 -> k = round(0.5) + 1 = 1; 175 -> round(1.5) + 1 = 3.
    TTraining a = PowerSession(std::vector<float>(20, 125));
    ScaleAxis(axis, a, spPower, true, true);
    EXPECT_EQ(axis.Minimum, 50);
    TTraining b = PowerSession(std::vector<float>(20, 175));
    ScaleAxis(axis, b, spPower, true, true);
    EXPECT_EQ(axis.Minimum, 150);

    // Below the maximum nothing moves.
    TTraining low = PowerSession(std::vector<float>(20, 99));
    ScaleAxis(axis, low, spPower, true, true);
    EXPECT_EQ(axis.Minimum, 0);
    EXPECT_EQ(axis.Maximum, 100);
}

TEST_F(ScaleAxisTest, RangeAveragesTheTenStrokesUpToTheSelectedOne)
{
    std::vector<float> p(30, 0);
    for (int k = 1; k <= 10; ++k) p[size_t(k - 1)] = 400;  // strokes 1..10
    for (int k = 11; k <= 20; ++k) p[size_t(k - 1)] = 50;  // strokes 11..20; 21..30 are 0
    TTraining t = PowerSession(p);
    TAxisScale axis;
    // Selected stroke before the end: the last stroke with a value (20) is used.
    t.Header.SelectedStroke = 5;
    ScaleAxis(axis, t, spPower, true, true);
    EXPECT_EQ(axis.Minimum, 0);
    // At the end of the session the selected stroke stays: strokes 21..30 have no value.
    t.Header.SelectedStroke = 30;
    ScaleAxis(axis, t, spPower, true, true);
    EXPECT_EQ(axis.Minimum, 0);    // no value above 0: average range / 2
    t.Header.SelectedStroke = 35;  // beyond the session (damaged file): strokes past the end are skipped
    ScaleAxis(axis, t, spPower, true, true);
    EXPECT_EQ(axis.Minimum, 0);
    t.Header.SelectedStroke = 30;
    for (int k = 21; k <= 30; ++k) t.Strokes[size_t(k)].Power = k == 30 ? 400 : 0;
    ScaleAxis(axis, t, spPower, true, true);
    EXPECT_EQ(axis.Minimum, 350);  // average 400: k = round(300 / 50) + 1 = 7 half ranges
    TTraining empty = BlankSession();
    ScaleAxis(axis, empty, spPower, true, true);
    EXPECT_EQ(axis.Minimum, 0);
    EXPECT_EQ(axis.Maximum, 100);
}

using StrokeSeriesTest = ChartTest;

TStrokeSeriesOptions LineOptions(int left, int right = -1)
{
    TStrokeSeriesOptions o;
    o.XParam = spStrokeNumber;  // a line parameter
    o.LeftParam = left;
    o.LeftVisible = true;
    o.RightParam = right;
    o.RightVisible = right >= 0;
    o.ResetAxes = true;
    return o;
}

const TSeriesData* Find(const TChartData& c, TSeriesRole role, TAxisSide axis)
{
    for (const auto& s : c.Series)
        if (s.Role == role && s.Axis == axis) return &s;
    return nullptr;
}

TEST_F(StrokeSeriesTest, LiveChartRange)
{
    TTraining t = SteadySession(3);
    TStrokeSeriesOptions o = LineOptions(spPower);
    o.Sliding = true;
    TChartData chart;
    BuildStrokeSeries(chart, t, o);
    ASSERT_EQ(chart.Series.size(), 1u);
    const auto& pts = chart.Series[0].Points;
    ASSERT_EQ(pts.size(), 2u);
    EXPECT_EQ(pts[0].X, 2);
    EXPECT_EQ(pts[1].X, 3);
    EXPECT_EQ(pts[0].Y, 200);

    SetDataRange(5);
    TTraining long40 = SteadySession(40);
    TChartData live;
    BuildStrokeSeries(live, long40, o);
    ASSERT_EQ(live.Series[0].Points.size(), 6u);
    EXPECT_EQ(live.Series[0].Points.front().X, 35);
    EXPECT_EQ(live.Series[0].Points.back().X, 40);
    // Strokes without distance at the end are not counted as rowed.
    long40.Strokes[40].Distance = 0;
    TChartData trimmed;
    BuildStrokeSeries(trimmed, long40, o);
    EXPECT_EQ(trimmed.Series[0].Points.front().X, 34);
    EXPECT_EQ(trimmed.Series[0].Points.back().X, 39);
    // A review chart draws every stroke from 2.
    o.Sliding = false;
    TChartData all;
    BuildStrokeSeries(all, long40, o);
    EXPECT_EQ(all.Series[0].Points.size(), 39u);
    SetDataRange(1);
    EXPECT_EQ(DataRange(), 5);
}

TEST_F(StrokeSeriesTest, LineSeriesWithAveragesMarksAndMarker)
{
    TTraining t = SteadySession(20);
    t.Header.PenStyle = 2;
    t.Header.PenWidth = 4;
    t.Header.SelectedStroke = 10;
    t.Strokes[5].Power = 0;  // not drawn
    TStrokeSeriesOptions o = LineOptions(spStrokesElapsed, spPower);
    o.LeftAverage = o.RightAverage = true;
    o.LeftMarks = true;
    o.MarkSelected = true;
    o.InverseRight = true;
    TChartData chart;
    chart.BottomAxisColor = 0x123456;
    BuildStrokeSeries(chart, t, o);
    ASSERT_EQ(chart.Series.size(), 5u);

    const auto* left = Find(chart, TSeriesRole::Data, TAxisSide::Left);
    ASSERT_TRUE(left);
    EXPECT_EQ(left->Kind, TSeriesKind::Line);
    EXPECT_EQ(+left->PenStyle, 2);
    EXPECT_EQ(+left->PenWidth, 4);
    EXPECT_EQ(+left->Color, 0x0000FF);
    EXPECT_TRUE(left->MarksVisible);
    EXPECT_TRUE(left->HasMarkBackColor);
    EXPECT_EQ(left->MarkBackColor, 0x0000FF);
    EXPECT_EQ(left->Points.size(), 19u);
    EXPECT_EQ(left->Title, "Test session");

    // Moving average over strokes j-5..j+5 (from stroke 2 on).
    const auto* avg = Find(chart, TSeriesRole::Average, TAxisSide::Left);
    ASSERT_TRUE(avg);
    EXPECT_EQ(+avg->PenWidth, 1);
    EXPECT_EQ(+avg->PenStyle, 0);
    ASSERT_EQ(avg->Points.size(), 19u);
    EXPECT_FLOAT_EQ(avg->Points.front().Y, 4.5);  // strokes 2..7
    EXPECT_FLOAT_EQ(avg->Points.back().Y, 17.5);  // strokes 15..20

    const auto* right = Find(chart, TSeriesRole::Data, TAxisSide::Right);
    ASSERT_TRUE(right);
    EXPECT_EQ(+right->Color, 0xFFFF00);  // inverse of red
    EXPECT_EQ(+right->PenWidth, 4);
    EXPECT_EQ(+right->PenStyle, 0);
    EXPECT_FALSE(right->MarksVisible);
    EXPECT_EQ(right->MarkBackColor, 0xFFFF00);
    EXPECT_EQ(right->Points.size(), 18u);  // stroke 5 has no power
    const auto* ravg = Find(chart, TSeriesRole::Average, TAxisSide::Right);
    ASSERT_TRUE(ravg);
    EXPECT_EQ(+ravg->Color, 0xFFFF00);
    EXPECT_FLOAT_EQ(ravg->Points[3].Y, 200);  // zeros are left out of the average

    // The marker spans the left axis at the selected stroke.
    const auto* marker = Find(chart, TSeriesRole::SelectedMarker, TAxisSide::Left);
    ASSERT_TRUE(marker);
    EXPECT_EQ(+marker->PenWidth, 3);
    EXPECT_EQ(+marker->Color, 0x123456);
    ASSERT_EQ(marker->Points.size(), 2u);
    EXPECT_EQ(marker->Points[0].X, 10);
    EXPECT_EQ(marker->Points[0].Y, 20);  // automatic axis: the range of its series
    EXPECT_EQ(marker->Points[1].Y, 2);

    // Right side without inversion: session colour, width 1.
    o.InverseRight = false;
    TChartData plain;
    BuildStrokeSeries(plain, t, o);
    const auto* r2 = Find(plain, TSeriesRole::Data, TAxisSide::Right);
    EXPECT_EQ(+r2->Color, 0x0000FF);
    EXPECT_EQ(+r2->PenWidth, 1);
    // Its right axis was scaled (Range is allowed only in live charts: Double here).
    EXPECT_FALSE(plain.Right.AutoMaximum);
    EXPECT_EQ(plain.Right.Maximum, 200);
    EXPECT_TRUE(plain.Left.AutoMaximum);
}

TEST_F(StrokeSeriesTest, MarkerOnTheRightAxisAndItsLimits)
{
    TTraining t = SteadySession(12);
    t.Header.SelectedStroke = 4;
    TStrokeSeriesOptions o = LineOptions(spPower, spPower);
    o.LeftVisible = false;
    o.MarkSelected = true;
    TChartData chart;
    BuildStrokeSeries(chart, t, o);
    const auto* marker = Find(chart, TSeriesRole::SelectedMarker, TAxisSide::Right);
    ASSERT_TRUE(marker);
    EXPECT_EQ(marker->Points[0].Y, chart.Right.Maximum);
    EXPECT_EQ(marker->Points[1].Y, chart.Right.Minimum);
    EXPECT_EQ(chart.Series.size(), 2u);

    t.Header.SelectedStroke = 13;  // beyond the session
    TChartData beyond;
    BuildStrokeSeries(beyond, t, o);
    EXPECT_FALSE(Find(beyond, TSeriesRole::SelectedMarker, TAxisSide::Right));
}

TEST_F(StrokeSeriesTest, PointParameterGivesPointSeriesOnly)
{
    TTraining t = SteadySession(10);
    t.Header.SelectedStroke = 5;
    TStrokeSeriesOptions o = LineOptions(spPeakForce, spPulse);
    o.XParam = spPower;
    o.LeftAverage = o.RightAverage = o.MarkSelected = true;
    o.RightMarks = true;
    TChartData chart;
    BuildStrokeSeries(chart, t, o);
    ASSERT_EQ(chart.Series.size(), 2u);
    EXPECT_EQ(chart.Series[0].Kind, TSeriesKind::Point);
    EXPECT_EQ(chart.Series[0].Pointer, TPointerShape::Rectangle);
    EXPECT_EQ(chart.Series[0].PointerSize, 3);
    EXPECT_FALSE(chart.Series[0].HasMarkBackColor);
    EXPECT_EQ(chart.Series[1].Kind, TSeriesKind::Point);
    EXPECT_EQ(chart.Series[1].Pointer, TPointerShape::Circle);
    EXPECT_TRUE(chart.Series[1].MarksVisible);
    EXPECT_FALSE(chart.Series[1].HasMarkBackColor);
}

TEST_F(StrokeSeriesTest, TimeParametersAreFlagged)
{
    TTraining t = SteadySession(10);
    TStrokeSeriesOptions o = LineOptions(spTime500);
    o.XParam = spTime;
    TChartData chart;
    BuildStrokeSeries(chart, t, o);
    ASSERT_EQ(chart.Series.size(), 1u);
    EXPECT_TRUE(chart.Series[0].XDateTime);
    EXPECT_TRUE(chart.Series[0].YDateTime);
    EXPECT_DOUBLE_EQ(chart.Series[0].Points[0].X, double(float(4 / 86400.0)));

    // A visible side without a parameter draws nothing and scales nothing.
    TStrokeSeriesOptions none = LineOptions(-1);
    TChartData empty;
    BuildStrokeSeries(empty, t, none);
    ASSERT_EQ(empty.Series.size(), 1u);
    EXPECT_TRUE(empty.Series[0].Points.empty());
    EXPECT_TRUE(empty.Left.AutoMinimum);
}

using ForceCurveSeriesTest = ChartTest;

TEST_F(ForceCurveSeriesTest, SelectedCurve)
{
    TTraining t = SteadySession(5);
    t.Header.SelectedStroke = 3;
    t.Header.PenStyle = 1;
    t.Header.PenWidth = 3;
    TChartData chart;
    BuildForceCurveSeries(chart, t, {});
    ASSERT_EQ(chart.Series.size(), 1u);
    const auto& s = chart.Series[0];
    EXPECT_EQ(s.Role, TSeriesRole::Curve);
    EXPECT_EQ(s.Kind, TSeriesKind::Line);
    EXPECT_EQ(+s.Color, 0x0000FF);
    EXPECT_EQ(+s.PenStyle, 1);
    EXPECT_EQ(+s.PenWidth, 3);
    EXPECT_EQ(s.Capacity, 80);
    ASSERT_EQ(s.Points.size(), 80u);
    const TCurveValues r = ResampleCurve(t.Curves[3], 1);
    for (int i = 1; i <= 80; ++i) {
        EXPECT_DOUBLE_EQ(s.Points[size_t(i - 1)].X, i * 2.2);
        EXPECT_EQ(s.Points[size_t(i - 1)].Y, r[size_t(i - 1)]);
    }
    t.Settings.Ergometer = 2;
    TChartData slider;
    BuildForceCurveSeries(slider, t, {});
    EXPECT_DOUBLE_EQ(slider.Series[0].Points[1].X, 9);
}

TEST_F(ForceCurveSeriesTest, FixedLengthAndRelativeForce)
{
    TTraining t = SteadySession(5);
    t.Header.SelectedStroke = 2;
    TForceCurveOptions o;
    o.UseFixedLength = true;
    o.FixedLength = 240;  // the stroke is 120 cm: half the scale
    o.Relative = true;
    o.FixedForce = t.Strokes[2].PeakForce * 2;
    TChartData chart;
    BuildForceCurveSeries(chart, t, o);
    const TCurveValues r = ResampleCurve(t.Curves[2], 0.5);
    for (int i = 0; i < 80; ++i) EXPECT_FLOAT_EQ(float(chart.Series[0].Points[size_t(i)].Y), r[size_t(i)] * 2);
}

TEST_F(ForceCurveSeriesTest, SourcesAllCurvesAndInactiveSessions)
{
    TTraining t = SteadySession(4);
    t.Header.SelectedStroke = 1;
    TForceCurveOptions all;
    all.AllCurves = true;
    TChartData chart;
    BuildForceCurveSeries(chart, t, all);
    ASSERT_EQ(chart.Series.size(), 5u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(chart.Series[size_t(i)].Role, TSeriesRole::OtherCurve);
        EXPECT_EQ(+chart.Series[size_t(i)].Color, 0xFFFF00);
    }
    EXPECT_EQ(chart.Series[4].Role, TSeriesRole::Curve);

    // The average slot and an interval's curve.
    t.Header.CurveSource = 1;
    TChartData average;
    BuildForceCurveSeries(average, t, {});
    ASSERT_EQ(average.Series.size(), 1u);
    EXPECT_EQ(average.Series[0].Points[10].Y, ResampleCurve(t.Curves[0], 1)[10]);
    t.Header.CurveSource = 2;
    t.Header.CurveInterval = 0;
    TChartData noInterval;
    BuildForceCurveSeries(noInterval, t, {});
    EXPECT_TRUE(noInterval.Series.empty());
    SetIntervalCount(t, 1);
    t.Intervals[0].Curve = BellCurve(0, 777);
    t.Intervals[0].Stroke.StrokeLength = 100;
    TChartData interval;
    BuildForceCurveSeries(interval, t, {});
    ASSERT_EQ(interval.Series.size(), 1u);
    EXPECT_EQ(interval.Series[0].Points[20].Y, ResampleCurve(t.Intervals[0].Curve, 1)[20]);

    // No selected stroke, a selection beyond the session, or an inactive session.
    t.Header.CurveSource = 0;
    t.Header.SelectedStroke = 0;
    TChartData none;
    BuildForceCurveSeries(none, t, all);
    EXPECT_TRUE(none.Series.empty());
    t.Header.SelectedStroke = 9;
    TChartData beyond;
    BuildForceCurveSeries(beyond, t, {});
    EXPECT_TRUE(beyond.Series.empty());
    t.Header.SelectedStroke = 2;
    t.Header.Active = 0;
    TChartData inactive;
    BuildForceCurveSeries(inactive, t, all);
    EXPECT_TRUE(inactive.Series.empty());
}

TEST(InverseColor, Channels)
{
    EXPECT_EQ(InverseColor(0x0000FF), 0xFFFF00);
    EXPECT_EQ(InverseColor(0x102030), 0xEFDFCF);
    // One helper for the whole program: system colours are resolved first (window = white).
    EXPECT_EQ(InverseColor(int32_t(0x80000005)), 0);
}

}  // namespace

namespace {

// The first difference between two charts, or success.
::testing::AssertionResult SameChart(const TChartData& a, const TChartData& b)
{
    auto sameScale = [](const TAxisScale& x, const TAxisScale& y) {
        return x.AutoMinimum == y.AutoMinimum && x.AutoMaximum == y.AutoMaximum && x.Minimum == y.Minimum &&
               x.Maximum == y.Maximum && x.Increment == y.Increment;
    };
    if (!sameScale(a.Left, b.Left))
        return ::testing::AssertionFailure() << "left axis " << a.Left.Maximum << " " << b.Left.Maximum;
    if (!sameScale(a.Right, b.Right))
        return ::testing::AssertionFailure() << "right axis " << a.Right.Maximum << " " << b.Right.Maximum;
    if (a.Series.size() != b.Series.size()) return ::testing::AssertionFailure() << "series " << a.Series.size();
    for (size_t i = 0; i < a.Series.size(); ++i) {
        const TSeriesData& x = a.Series[i];
        const TSeriesData& y = b.Series[i];
        if (x.Kind != y.Kind || x.Role != y.Role || x.Axis != y.Axis || x.Title != y.Title || x.Color != y.Color ||
            x.PenStyle != y.PenStyle || x.PenWidth != y.PenWidth || x.Capacity != y.Capacity)
            return ::testing::AssertionFailure() << "series " << i << " looks different";
        if (x.Points.size() != y.Points.size())
            return ::testing::AssertionFailure()
                   << "series " << i << ": " << x.Points.size() << " points, not " << y.Points.size();
        for (size_t p = 0; p < x.Points.size(); ++p)
            if (x.Points[p].X != y.Points[p].X || x.Points[p].Y != y.Points[p].Y)
                return ::testing::AssertionFailure() << "series " << i << " point " << p;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace

// A live chart follows the recording stroke by stroke exactly as a full build
// would: strokes appended into an array grown by 100, the last record
// replaced (a device repeats it with no power while the flywheel stands), a
// doubling axis that grows during a run of strong strokes, the sliding
// window, and outside changes that need a full build.
TEST_F(StrokeSeriesTest, LiveSeriesFollowTheRecordingStrokeByStroke)
{
    ParseStrokeScaling("1 0 300 50", StrokeParameters()[spPower]);  // power doubles from 0..300
    for (int range : {65535, 30}) {
        SetDataRange(range);
        TTraining t = BlankSession();
        TStrokeSeriesOptions o;
        o.XParam = spStrokeNumber;
        o.Sliding = o.ResetAxes = o.InverseRight = true;
        o.LeftVisible = o.RightVisible = true;
        o.LeftParam = spPower;
        o.RightParam = spPulse;
        TLiveStrokeSeries live;
        live.Rebuild(t, o);
        auto check = [&](int k) {
            live.StrokeStored(t, o, k);
            TChartData full;
            BuildStrokeSeries(full, t, o);
            return SameChart(live.Data(), full);
        };
        for (int k = 1; k <= 160; ++k) {
            if (k >= t.StrokeCount()) SetStrokeCount(t, k + 100);
            TStgStrokeData s = SyntheticStroke(k);
            s.Power = k >= 40 && k <= 60 ? 320.0f + float(k) : 150.0f + float(k % 30);
            s.Pulse = k % 7 == 0 ? 0.0f : 110.0f + float(k % 13);  // some strokes without pulse
            if (k % 10 == 0) {                                     // first without power, then the real record
                TStgStrokeData idle = s;
                idle.Power = 0;
                t.Strokes[size_t(k)] = idle;
                ASSERT_TRUE(check(k)) << range << " idle " << k;
            }
            t.Strokes[size_t(k)] = s;
            ASSERT_TRUE(check(k)) << range << " stroke " << k;
            if (k % 25 == 0) {  // the last record repeated, no power
                t.Strokes[size_t(k)].Power = 0;
                ASSERT_TRUE(check(k)) << range << " repeat " << k;
                t.Strokes[size_t(k)] = s;
                ASSERT_TRUE(check(k)) << range << " again " << k;
            }
        }
        EXPECT_EQ(live.Rebuilds(), 1) << range;
        EXPECT_GT(live.Data().Left.Maximum, 300) << range;  // the run above 300 doubled the axis
        if (range == 30) {
            EXPECT_EQ(live.Data().Series[0].Points.front().X, 130);
        }
        // Outside changes: a new colour, the array trimmed, another parameter.
        t.Header.Color = 0x00FF00;
        ASSERT_TRUE(check(160));
        SetStrokeCount(t, 160);
        ASSERT_TRUE(check(160));
        o.RightParam = spStrokeRate;
        ASSERT_TRUE(check(160));
        EXPECT_EQ(live.Rebuilds(), 3) << range;
        t.Settings.Weight += 10;
        ASSERT_TRUE(check(160));
        EXPECT_EQ(live.Rebuilds(), 4) << range;
    }
}
