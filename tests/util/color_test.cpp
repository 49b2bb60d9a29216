// Colours as drawn: lines that stand out from their chart's background and
// average records that keep apart from the sessions' colours.
#include <gtest/gtest.h>

#include "util/color.h"

namespace {

constexpr TColor kWhite = 0xFFFFFF, kBlack = 0, kLightGrey = RGBColor(0xE0, 0xE0, 0xE0);

TEST(DrawnColors, LinesStandOutFromTheirBackground)
{
    // The inverse of a black session is white: on a light chart it is darkened.
    const TColor previous = ReadableColor(InverseColor(kBlack), kLightGrey);
    EXPECT_GE(ContrastRatio(previous, kLightGrey), 2.2);
    // The inverse of navy (pale yellow) keeps its hue, only darker.
    const TColor pulse = ReadableColor(InverseColor(RGBColor(0, 0, 0x80)), kLightGrey);
    EXPECT_GE(ContrastRatio(pulse, kLightGrey), 2.2);
    EXPECT_GT(RedOf(pulse), BlueOf(pulse));
    EXPECT_GT(GreenOf(pulse), BlueOf(pulse));
    // On a dark background a dark line is lightened.
    EXPECT_GE(ContrastRatio(ReadableColor(RGBColor(0, 0, 0x60), kBlack), kBlack), 2.2);
    // Colours that stand out already stay as they are, system colours resolved.
    EXPECT_EQ(ReadableColor(RGBColor(0xFF, 0, 0), kWhite), RGBColor(0xFF, 0, 0));
    EXPECT_EQ(ReadableColor(kBlack, kLightGrey), kBlack);
    EXPECT_EQ(ReadableColor(clWindowText, kWhite), ResolveColor(clWindowText));
}

TEST(DrawnColors, AverageRecordsKeepApartFromTheSessions)
{
    const TColor lime = RGBColor(0, 0xFF, 0), red = RGBColor(0xFF, 0, 0);
    const TColor sessions[] = {red, lime};
    // Lime average beside a lime session: another colour, apart from both.
    const TColor average = DistinctColor(lime, sessions, 2, kWhite);
    EXPECT_NE(average, lime);
    for (TColor s : sessions) EXPECT_GT(ColorDifference(average, s), 150);
    EXPECT_GE(ContrastRatio(ReadableColor(average, kWhite), kWhite), 2.2);
    // Apart already: kept.
    EXPECT_EQ(DistinctColor(RGBColor(0, 0, 0xFF), sessions, 2, kWhite), RGBColor(0, 0, 0xFF));
    EXPECT_EQ(DistinctColor(lime, sessions, 0, kWhite), lime);
    EXPECT_EQ(ColorDifference(red, red), 0);
}

}  // namespace
