#include <gtest/gtest.h>

#include <unistd.h>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "core/catalogue.h"
#include "util/profile.h"
#include "util/text.h"

namespace {

constexpr double kDay = 86400.0;
float Seconds(double s) { return float(s / kDay); }

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        BuildCatalogues();
        SetDecimalSeparator('.');
    }
    void TearDown() override
    {
        BuildCatalogues();
        SetDecimalSeparator('.');
    }
};

TEST_F(CatalogueTest, SizesAndIdMaps)
{
    EXPECT_EQ(StrokeParameters().size(), 42u);
    EXPECT_EQ(IntervalParameters().size(), 22u);
    EXPECT_EQ(TotalParameters().size(), 7u);
    EXPECT_EQ(SplitParameters().size(), 21u);

    // Ids 0..25 with "Target" (position 4) carrying none.
    ASSERT_EQ(StrokeIdMap().size(), 26u);
    EXPECT_EQ(StrokeIdMap()[4], 0);
    for (int id = 0; id < 26; ++id) {
        if (id != 4) {
            EXPECT_EQ(StrokeIdMap()[size_t(id)], id);
        }
    }
    for (int i = 26; i < 42; ++i) EXPECT_EQ(StrokeParameters()[size_t(i)].Id, -1) << i;

    // The total map swaps positions 3 and 4.
    ASSERT_EQ(TotalIdMap().size(), 7u);
    EXPECT_EQ(TotalParameterLongName(TotalIdMap()[3]), "Number of strokes");
    EXPECT_EQ(TotalParameterLongName(TotalIdMap()[4]), "Average power");

    ASSERT_EQ(IntervalIdMap().size(), 22u);
    ASSERT_EQ(SplitIdMap().size(), 21u);
    for (int i = 0; i < 22; ++i) EXPECT_EQ(IntervalIdMap()[size_t(i)], i);
    for (int i = 0; i < 21; ++i) EXPECT_EQ(SplitIdMap()[size_t(i)], i);
}

TEST_F(CatalogueTest, EntriesStepsAndTimeLimits)
{
    const auto& time500 = StrokeParameters()[9];
    EXPECT_EQ(time500.Format, "Tnn:ss.0");
    EXPECT_FLOAT_EQ(time500.Minimum, 2.0f / 1440);
    EXPECT_FLOAT_EQ(time500.Maximum, 4.0f / 1440);
    EXPECT_FLOAT_EQ(time500.Step, (4.0f / 1440 - 2.0f / 1440) / 10);
    const auto& rel = StrokeParameters()[16];
    EXPECT_EQ(rel.ScaleMode, smManual);
    EXPECT_EQ(rel.LongName, "Peak force position relative to stroke length");
    EXPECT_FLOAT_EQ(rel.Step, 10);
    EXPECT_FLOAT_EQ(IntervalParameters()[3].Maximum, 100.0f / 1440);
    EXPECT_EQ(IntervalParameters()[3].Format, "Th:nn:ss.0");
    EXPECT_EQ(TotalParameters()[6].ShortName, "Avg. Stroke rate");
    EXPECT_EQ(SplitParameters()[20].LongName, "Average drive : Recover ratio");
    const std::vector<ParameterType>* all[] = {&StrokeParameters(), &IntervalParameters(), &TotalParameters(),
                                               &SplitParameters()};
    for (const auto* c : all)
        for (const auto& p : *c) EXPECT_FLOAT_EQ(p.Step, (p.Maximum - p.Minimum) / 10) << p.LongName;
}

TEST_F(CatalogueTest, AccessorsOutsideTheirRange)
{
    EXPECT_EQ(ParameterUnit(-1), "");
    EXPECT_EQ(ParameterLongName(42), "");
    EXPECT_EQ(ParameterSeriesStyle(42), 1);
    EXPECT_EQ(ParameterSeriesStyle(-5), 1);
    EXPECT_EQ(ParameterSeriesStyle(0), 0);
    EXPECT_EQ(IntervalParameterFormat(22), "");
    EXPECT_EQ(TotalParameterShortName(7), "");
    EXPECT_EQ(SplitParameterUnit(21), "");
    EXPECT_EQ(SplitParameterUnit(2), "m");
}

TEST_F(CatalogueTest, Captions)
{
    EXPECT_EQ(StrokeShortCaption(1), "Power (W)");
    EXPECT_EQ(StrokeLongCaption(1), "Power per stroke (W)");
    EXPECT_EQ(StrokeShortCaption(0), "Stroke");
    EXPECT_EQ(StrokeLongCaption(0), "Stroke number");
    // Interval and total captions fall back to the long name without a unit.
    EXPECT_EQ(IntervalCaption(0), "Interval number");
    EXPECT_EQ(IntervalCaption(1), "Power (W)");
    EXPECT_EQ(TotalCaption(4), "Number of strokes");
    EXPECT_EQ(TotalCaption(1), "Time (m:s)");
    EXPECT_EQ(SplitCaption(0), "Strokes cum.");
    EXPECT_EQ(SplitCaption(2), "Distance cum. (m)");
    EXPECT_EQ(StrokeShortCaption(99), "");
}

TEST_F(CatalogueTest, TimeFormats)
{
    EXPECT_EQ(FormatValue("Tnn:ss.0", Seconds(83.46)), "01:23.4");
    EXPECT_EQ(FormatValue("Th:nn:ss", Seconds(3725)), "1:02:05");
    EXPECT_EQ(FormatValue("Th:nn:ss", Seconds(65)), "01:05");
    EXPECT_EQ(FormatValue("Tnn:ss.0", 0), "00:00.0");
    EXPECT_EQ(FormatValue("Th:nn:ss", 1 + 5 / kDay), "00:05");  // whole days dropped
    EXPECT_EQ(FormatValue("Th:nn:ss", 3 + Seconds(3725)), "1:02:05");
    EXPECT_EQ(FormatValue("Th:nn:ss.0", Seconds(4000.25)), "1:06:40.2");
    EXPECT_EQ(FormatValue("Thh:nn:ss", Seconds(65)), "01:05");
    EXPECT_EQ(FormatValue("Thh:nn:ss", Seconds(3725)), "01:02:05");
    // Fractions are cut, not rounded; milliseconds themselves are rounded.
    EXPECT_EQ(FormatValue("Tnn:ss.0", Seconds(59.99)), "00:59.9");
    EXPECT_EQ(FormatValue("Tnn:ss.00", Seconds(1.456)), "00:01.45");
    EXPECT_EQ(FormatValue("Tnn:ss.000", Seconds(1.456)), "00:01.456");
    EXPECT_EQ(FormatValue("Tnn:ss.0", Seconds(0.9996)), "00:01.0");
    EXPECT_EQ(FormatValue("Tn:s", Seconds(65)), "1:5");
}

TEST_F(CatalogueTest, TimeFormatsOfUnusualValues)
{
    // A negative value shows its magnitude; nothing that is not finite reaches
    // the time conversion.
    EXPECT_EQ(FormatValue("Th:nn:ss", Seconds(-65)), "01:05");
    EXPECT_EQ(FormatValue("Th:nn:ss", std::numeric_limits<float>::quiet_NaN()), "00:00");
    EXPECT_EQ(FormatValue("Th:nn:ss", std::numeric_limits<float>::infinity()), "00:00");
    std::string huge = FormatValue("Th:nn:ss.0", std::numeric_limits<float>::max());
    EXPECT_FALSE(huge.empty());
    EXPECT_LE(huge.size(), 10u);
    EXPECT_EQ(FormatValue("T", Seconds(5)), "");
}

TEST_F(CatalogueTest, ReciprocalAndPlainFormats)
{
    EXPECT_EQ(FormatValue("F%1.2f", 0), "n/a");
    EXPECT_EQ(FormatValue("F%1.2f", 0.5f), "1:2.00");
    EXPECT_EQ(FormatValue("F%1.2f", -4), "1:-0.25");
    EXPECT_EQ(FormatValue("%4.0f", 123.4f), " 123");
    EXPECT_EQ(FormatValue("%2.1f", 28.04f), "28.0");
    EXPECT_EQ(FormatValue("%3.2f", -0.006f), "-0.01");
    EXPECT_EQ(FormatValue("%4.0f", 3e38f).size(), 39u);
    EXPECT_EQ(FormatValue("%4.0f", std::numeric_limits<float>::quiet_NaN()), " nan");
    EXPECT_EQ(FormatValue("%4.0f", -std::numeric_limits<float>::infinity()), "-inf");
}

TEST_F(CatalogueTest, FormatsThatAreNotASingleFloatConversion)
{
    // Such formats never reach snprintf with a mismatched argument.
    EXPECT_EQ(FormatValue("%s", 1.5f), "1.5");
    EXPECT_EQ(FormatValue("%n", 1.5f), "1.5");
    EXPECT_EQ(FormatValue("%f %f", 1.5f), "1.5");
    EXPECT_EQ(FormatValue("%999999f", 1.5f), "1.5");
    EXPECT_EQ(FormatValue("", 2), "");
    EXPECT_EQ(FormatValue("abc 100%%", 2), "abc 100%");
    EXPECT_EQ(FormatValue("%4.1f %%", 50), "50.0 %");
}

TEST_F(CatalogueTest, LocaleDecimalSeparator)
{
    SetDecimalSeparator(',');
    EXPECT_EQ(FormatValue("%2.1f", 28.25f), "28,2");
    EXPECT_EQ(FormatValue("F%1.2f", 0.5f), "1:2,00");
    EXPECT_EQ(FormatValue("Tnn:ss.0", Seconds(83.46)), "01:23,4");
}

class ScalingFileTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        Path = (std::filesystem::temp_directory_path() /
                ("catchline_scaling_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini"))
                   .string();
        std::filesystem::remove(Path);
    }
    void TearDown() override
    {
        std::filesystem::remove(Path);
        CatalogueTest::TearDown();
    }
    void Store(const std::string& key, const std::string& value)
    {
        TProfileFile f(Path);
        f.WriteString("StrokeData", key, value);
        ASSERT_TRUE(f.UpdateFile());
    }
    std::string Path;
};

TEST_F(ScalingFileTest, ReadsEitherSeparator)
{
    Store("Parameter6", "2 90,5 160 7");
    Store("Parameter7", "1 0.25 600,5 60.0");
    TProfileFile f(Path);
    LoadStrokeScaling(f, "StrokeData");
    const auto& p = StrokeParameters()[6];
    EXPECT_EQ(p.ScaleMode, 2);
    EXPECT_FLOAT_EQ(p.Minimum, 90.5f);
    EXPECT_FLOAT_EQ(p.Maximum, 160);
    EXPECT_FLOAT_EQ(p.Step, 7);
    EXPECT_FLOAT_EQ(StrokeParameters()[7].Maximum, 600.5f);
    // A system whose separator is ',' reads the same texts.
    BuildCatalogues();
    SetDecimalSeparator(',');
    LoadStrokeScaling(f, "StrokeData");
    EXPECT_FLOAT_EQ(StrokeParameters()[6].Minimum, 90.5f);
    EXPECT_FLOAT_EQ(StrokeParameters()[7].Minimum, 0.25f);
}

TEST_F(ScalingFileTest, MissingAndBadFieldsKeepTheBuiltValues)
{
    Store("Parameter6", "3 100");
    Store("Parameter1", "x 1 2 3");
    Store("Parameter2", "9 1 2 3");
    Store("Parameter3", "2 5 abc 7");
    Store("Parameter12", "");
    TProfileFile f(Path);
    LoadStrokeScaling(f, "StrokeData");
    const auto& c = StrokeParameters();
    EXPECT_EQ(c[6].ScaleMode, 3);
    EXPECT_FLOAT_EQ(c[6].Minimum, 100);
    EXPECT_FLOAT_EQ(c[6].Maximum, 150);  // as built
    EXPECT_FLOAT_EQ(c[6].Step, 5);
    EXPECT_EQ(c[1].ScaleMode, 3);  // unreadable mode: nothing read
    EXPECT_FLOAT_EQ(c[1].Minimum, 0);
    EXPECT_EQ(c[2].ScaleMode, 3);  // mode outside 0..3: nothing read
    EXPECT_EQ(c[3].ScaleMode, 2);  // stops at the unreadable maximum
    EXPECT_FLOAT_EQ(c[3].Minimum, 5);
    EXPECT_FLOAT_EQ(c[3].Maximum, 20);
    EXPECT_FLOAT_EQ(c[3].Step, 2);
    EXPECT_EQ(c[12].ScaleMode, 3);
    EXPECT_FLOAT_EQ(c[0].Maximum, 100);  // absent key
}

TEST_F(ScalingFileTest, SaveAndLoadAgain)
{
    auto& c = StrokeParameters();
    c[9].ScaleMode = 2;
    c[9].Minimum = 1.5f / 1440;
    c[20].Maximum = 1.25f;
    {
        TProfileFile f(Path);
        SaveStrokeScaling(f, "StrokeData");
        ASSERT_TRUE(f.UpdateFile());
    }
    {
        TProfileFile f(Path);
        EXPECT_EQ(f.ReadSection("StrokeData").size(), 42u);
        EXPECT_EQ(f.ReadString("StrokeData", "Parameter0", ""), "0 0 100 10");
    }
    const ParameterType saved9 = c[9], saved20 = c[20];
    BuildCatalogues();
    EXPECT_EQ(c[9].ScaleMode, 3);
    TProfileFile f(Path);
    LoadStrokeScaling(f, "StrokeData");
    EXPECT_EQ(c[9].ScaleMode, 2);
    EXPECT_EQ(c[9].Minimum, saved9.Minimum);
    EXPECT_EQ(c[9].Step, saved9.Step);
    EXPECT_EQ(c[20].Maximum, saved20.Maximum);
}

TEST_F(ScalingFileTest, LastFieldIsTrimmedRest)
{
    ParameterType p = StrokeParameters()[6];
    ParseStrokeScaling("1 2 3 4.5   ", p);
    EXPECT_EQ(p.ScaleMode, 1);
    EXPECT_FLOAT_EQ(p.Step, 4.5f);
    ParseStrokeScaling("1 2 3 1e999", p);  // not a float: step kept
    EXPECT_FLOAT_EQ(p.Step, 4.5f);
}

}  // namespace
