// Tick planning of the chart axes: labels that fit the axis' length, round
// steps on multiples of the step, whole numbers where the values are whole.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "util/axis_ticks.h"

namespace {

// Labels about 7 px per character, as a 13 px font writes digits.
double Width(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return 7.0 * double(std::string(text).size());
}

bool IsRoundStep(double step)
{
    const double magnitude = std::pow(10.0, std::floor(std::log10(step) + 1e-9));
    const double f = step / magnitude;
    return std::fabs(f - 1) < 1e-9 || std::fabs(f - 2) < 1e-9 || std::fabs(f - 5) < 1e-9;
}

bool MultipleOf(double value, double step)
{
    const double k = value / step;
    return std::fabs(k - std::round(k)) < 1e-6;
}

// Every label fits into the room between two neighbouring ticks.
void ExpectLabelsFit(const TAxisTicks& t, double lo, double hi, double length)
{
    const double room = t.Step / (hi - lo) * length;
    for (int i = 0; i < t.Count; ++i) EXPECT_LE(Width(t.First + t.Step * i, t.Decimals), room) << "tick " << i;
}

}  // namespace

TEST(AxisTicks, ChosenIncrementBecomesAMultipleWhenTheAxisIsShort)
{
    // The force curves' length axis: 0 .. 176 by 10. Wide, every 10 cm is
    // labelled; at 440 px (and narrower) the labels no longer fit by 10.
    TAxisTicks wide = PlanAxisTicks(0, 176, 1400, Width, 10);
    EXPECT_EQ(wide.Step, 10);
    EXPECT_EQ(wide.First, 0);
    EXPECT_EQ(wide.Count, 18);
    EXPECT_EQ(wide.Decimals, 0);
    for (double length : {440.0, 250.0, 120.0}) {
        TAxisTicks t = PlanAxisTicks(0, 176, length, Width, 10);
        EXPECT_GT(t.Step, 10) << length;
        EXPECT_TRUE(MultipleOf(t.Step, 10)) << length;
        EXPECT_EQ(t.First, 0);
        EXPECT_GE(t.Count, 2) << length;
        ExpectLabelsFit(t, 0, 176, length);
    }
    // The force axis' odd increment keeps its start and grows by multiples.
    TAxisTicks force = PlanAxisTicks(
        0, 780, 150, [](double, int) { return 15.0; }, 77);
    EXPECT_TRUE(MultipleOf(force.Step, 77));
    EXPECT_GE(force.Step, 154);
}

TEST(AxisTicks, FreeStepsAreRoundAndStartOnAMultipleAfterAZoom)
{
    // A zoomed range has odd ends; the ticks do not.
    for (double length : {900.0, 300.0, 90.0}) {
        TAxisTicks t = PlanAxisTicks(162.5, 225.3, length, Width);
        EXPECT_TRUE(IsRoundStep(t.Step)) << t.Step;
        EXPECT_TRUE(MultipleOf(t.First, t.Step)) << t.First;
        EXPECT_GE(t.First, 162.5);
        EXPECT_LE(t.First + t.Step * (t.Count - 1), 225.3 + 1e-9);
        EXPECT_EQ(t.Decimals, t.Step >= 1 ? 0 : t.Decimals);
        ExpectLabelsFit(t, 162.5, 225.3, length);
    }
    // Small values get the decimals their step needs, no more.
    TAxisTicks small = PlanAxisTicks(0, 0.5, 600, Width);
    EXPECT_NEAR(small.Step, 0.05, 1e-12);
    EXPECT_EQ(small.Decimals, 2);
    TAxisTicks tenths = PlanAxisTicks(0, 1, 300, Width);
    EXPECT_EQ(tenths.Decimals, DecimalsOf(tenths.Step));
    // Negative ranges: the first tick is a multiple too, and none reads "-0".
    TAxisTicks negative = PlanAxisTicks(-7.3, 12.1, 400, Width);
    EXPECT_TRUE(MultipleOf(negative.First, negative.Step));
    EXPECT_LT(negative.First, 0);
}

TEST(AxisTicks, WholeValuesNeverGetAFractionalStep)
{
    // A live stroke chart before the first stroke: 0 .. 1 strokes reads 0, 1
    // and not 0, 0.5, 1.
    TAxisTicks t = PlanAxisTicks(0, 1, 800, Width, 0, 10, 1);
    EXPECT_EQ(t.Step, 1);
    EXPECT_EQ(t.Count, 2);
    EXPECT_EQ(t.Decimals, 0);
    TAxisTicks strokes = PlanAxisTicks(35, 40, 800, Width, 0, 10, 1);
    EXPECT_EQ(strokes.Step, 1);
    EXPECT_EQ(strokes.First, 35);
    EXPECT_EQ(strokes.Count, 6);
}

TEST(AxisTicks, OddInputGivesOneTickWithoutHanging)
{
    for (TAxisTicks t :
         {PlanAxisTicks(5, 5, 400, Width), PlanAxisTicks(9, 3, 400, Width), PlanAxisTicks(0, NAN, 400, Width),
          PlanAxisTicks(0, INFINITY, 400, Width), PlanAxisTicks(0, 100, 0, Width), PlanAxisTicks(0, 1e300, 400, Width),
          PlanAxisTicks(0, 100, 400, Width, 1e-300)}) {
        EXPECT_GE(t.Count, 1);
        EXPECT_GT(t.Step, 0);
    }
    // An axis too short for two labels keeps one.
    TAxisTicks tiny = PlanAxisTicks(0, 176, 20, Width, 10);
    EXPECT_EQ(tiny.Count, 1);
}

TEST(AxisTicks, DecimalsOfValues)
{
    EXPECT_EQ(DecimalsOf(0), 0);
    EXPECT_EQ(DecimalsOf(20), 0);
    EXPECT_EQ(DecimalsOf(0.5), 1);
    EXPECT_EQ(DecimalsOf(-0.25), 2);
    EXPECT_EQ(DecimalsOf(0.1 + 0.2), 1);
    EXPECT_EQ(DecimalsOf(1.0 / 3), 6);
}

TEST(TimeTicks, RoundStepsOfTheClock)
{
    const double want[][2] = {{0.3, 1},    {1, 1},       {1.2, 2},     {3, 5},         {6, 10},        {11, 15},
                              {16, 30},    {31, 60},     {61, 120},    {121, 300},     {301, 600},     {601, 900},
                              {901, 1800}, {1801, 3600}, {3601, 7200}, {86400, 86400}, {90000, 172800}};
    for (const auto& w : want) EXPECT_EQ(RoundTimeStep(w[0]), w[1]) << w[0];
    EXPECT_EQ(RoundTimeStep(0), 1);
    EXPECT_EQ(RoundTimeStep(std::nan("")), 1);
}

TEST(TimeTicks, TicksSitOnRoundTimesWithLabelsThatFit)
{
    // mm:ss labels about 35 px wide.
    const double label = 35;
    struct TCase {
        double Lo, Hi, Length;
    } cases[] = {{0, 600, 800},       {0, 1789, 800},     {13, 1789, 300}, {0, 1789, 120},
                 {412.7, 498.3, 700}, {0, 7 * 3600, 900}, {3.2, 3.9, 600}, {0, 36000, 60}};
    for (const TCase& c : cases) {
        const TTimeTicks t = PlanTimeTicks(c.Lo, c.Hi, c.Length, label);
        SCOPED_TRACE(testing::Message() << c.Lo << ".." << c.Hi << " on " << c.Length << " px");
        EXPECT_EQ(t.Step, RoundTimeStep(t.Step));                     // a round step
        EXPECT_NEAR(t.Lo / t.Step, std::round(t.Lo / t.Step), 1e-6);  // from a round time
        EXPECT_LE(t.Lo, c.Lo);                                        // the data stays inside
        EXPECT_GE(t.Hi, c.Hi);
        EXPECT_GT(t.Lo + t.Step, c.Lo);  // widened by less than a step on each side
        EXPECT_LT(t.Hi - t.Step, c.Hi);
        EXPECT_EQ(t.Count, int(std::lround((t.Hi - t.Lo) / t.Step)) + 1);
        EXPECT_LE(t.Count - 1, 10);
        if (t.Count > 2) EXPECT_GE(c.Length / (t.Count - 1), label);  // labels fit side by side
    }
    // 30 minutes on a wide axis: 5-minute steps; on a narrow one fewer ticks.
    EXPECT_EQ(PlanTimeTicks(0, 1800, 800, label).Step, 300);
    EXPECT_GT(PlanTimeTicks(0, 1800, 150, label).Step, 300);
    // A zoom to 412.7 .. 498.3 s steps by 10 s from 410.
    const TTimeTicks zoom = PlanTimeTicks(412.7, 498.3, 700, label);
    EXPECT_EQ(zoom.Step, 10);
    EXPECT_EQ(zoom.Lo, 410);
    EXPECT_EQ(zoom.Hi, 500);
}
