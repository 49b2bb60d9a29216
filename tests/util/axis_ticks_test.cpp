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
    TAxisTicks force = PlanAxisTicks(0, 780, 150, [](double, int) { return 15.0; }, 77);
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
    for (TAxisTicks t : {PlanAxisTicks(5, 5, 400, Width), PlanAxisTicks(9, 3, 400, Width),
                         PlanAxisTicks(0, NAN, 400, Width), PlanAxisTicks(0, INFINITY, 400, Width),
                         PlanAxisTicks(0, 100, 0, Width), PlanAxisTicks(0, 1e300, 400, Width),
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
