// Splits cut by interpolation as a limit is, and heart-rate zones over a
// hand-computed series.
#include <gtest/gtest.h>

#include <cmath>

#include "core/splits.h"
#include "core/zones.h"
#include "tests/util/testutil_tempdir.h"
#include "testutil_sessions.h"
#include "util/profile.h"

namespace {

// Strokes with the given cumulative distance (m), time (s) and energy (kJ).
TTraining Session(const std::vector<std::array<double, 3>>& totals)
{
    TTraining t = BlankSession();
    t.Strokes.assign(totals.size() + 1, TStgStrokeData{});
    t.Curves.assign(totals.size() + 1, TStgForceCurve{});
    for (size_t k = 1; k <= totals.size(); ++k) {
        TStgStrokeData& s = t.Strokes[k];
        s.StrokeNumber = uint16_t(k);
        s.Distance = float(totals[k - 1][0]);
        s.Time = float(totals[k - 1][1]);
        s.EnergySum = float(totals[k - 1][2]);
        s.StrokeRate = k == 1 ? 0 : 20.0f + float(k);  // the first stroke has no rate
        s.Pulse = 140;
    }
    return t;
}

}  // namespace

TEST(Splits, DistanceCutsInterpolateWithinTheCrossingStroke)
{
    const TTraining t = Session({{300, 60, 10}, {480, 96, 16}, {520, 104, 17.5}, {700, 140, 23}});
    const auto s = ComputeSplits(t, sptDistance, 500);
    ASSERT_EQ(s.size(), 2u);
    // 500 m lies half-way through stroke 3: 100 s and 16.75 kJ there.
    EXPECT_EQ(s[0].Number, 1);
    EXPECT_EQ(s[0].Strokes, 2);
    EXPECT_EQ(s[0].StrokesCumulative, 2);
    EXPECT_DOUBLE_EQ(s[0].Distance, 500);
    EXPECT_NEAR(s[0].Time, 100, 1e-9);
    EXPECT_NEAR(s[0].Energy, 16.75, 1e-6);
    EXPECT_NEAR(s[0].Power, 167.5, 1e-3);
    EXPECT_NEAR(s[0].Time500, 100, 1e-9);
    EXPECT_NEAR(s[0].Speed, 5, 1e-6);
    EXPECT_NEAR(s[0].StrokeRate, 22, 1e-6);  // stroke 2 only: stroke 1 measured no rate
    // The rest: 200 m in 40 s.
    EXPECT_EQ(s[1].Strokes, 2);
    EXPECT_EQ(s[1].StrokesCumulative, 4);
    EXPECT_NEAR(s[1].Distance, 200, 1e-9);
    EXPECT_NEAR(s[1].Time, 40, 1e-6);
    EXPECT_NEAR(s[1].TimeCumulative, 140, 1e-6);
    EXPECT_NEAR(s[1].Power, 6250.0 / 40, 1e-3);
    EXPECT_NEAR(s[1].Time500, 100, 1e-6);
    EXPECT_NEAR(s[1].StrokeRate, 23.5, 1e-6);
    EXPECT_NEAR(s[1].Pulse, 140, 1e-6);
    // Catalogue values: times as day fractions.
    EXPECT_FLOAT_EQ(SplitValue(s[0], 5), float(100 / 86400.0));
    EXPECT_FLOAT_EQ(SplitValue(s[1], 0), 4);
    EXPECT_FLOAT_EQ(SplitValue(s[1], 3), 200);
    EXPECT_EQ(SplitValueText(s[0], 10), "01:40.0");
    EXPECT_EQ(SplitValue(s[0], 21), 0);
}

TEST(Splits, ASessionEndedAtItsLimitEndsAtItsTotals)
{
    TTraining t = Session({{300, 60, 10}, {480, 96, 16}, {520, 104, 17.5}, {700, 140, 23}});
    t.Settings.LimitType = 2;
    t.Settings.LimitDistance = 600;
    ASSERT_TRUE(FinishAtLimit(t, 4));
    const auto s = ComputeSplits(t, sptDistance, 500);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_NEAR(s[1].Distance, 100, 1e-3);
    EXPECT_NEAR(s[1].TimeCumulative, 104 + 36 * 80 / 180.0, 1e-3);
    EXPECT_EQ(s[1].StrokesCumulative, 4);
}

TEST(Splits, TimeAndStrokeCuts)
{
    const TTraining t = Session({{300, 60, 10}, {480, 96, 16}, {520, 104, 17.5}, {700, 140, 23}});
    auto s = ComputeSplits(t, sptTime, 60);
    ASSERT_EQ(s.size(), 3u);
    // 60 s is exactly the end of stroke 1: it belongs to the first split.
    EXPECT_EQ(s[0].Strokes, 1);
    EXPECT_NEAR(s[0].Distance, 300, 1e-9);
    // 120 s lies 16/36 into stroke 4.
    EXPECT_EQ(s[1].Strokes, 2);
    EXPECT_NEAR(s[1].DistanceCumulative, 520 + 180 * 16.0 / 36, 1e-6);
    EXPECT_NEAR(s[2].Time, 20, 1e-6);
    EXPECT_EQ(s[2].Strokes, 1);

    s = ComputeSplits(t, sptStrokes, 3);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].Strokes, 3);
    EXPECT_NEAR(s[0].Distance, 520, 1e-9);
    EXPECT_EQ(s[1].Strokes, 1);
    EXPECT_NEAR(s[1].Time, 36, 1e-6);
}

TEST(Splits, EdgesOfTheSession)
{
    // A session that ends on a split boundary has no empty split after it;
    // a remainder of a few centimetres is no split.
    auto s = ComputeSplits(Session({{500, 100, 10}, {1000, 200, 20}}), sptDistance, 500);
    ASSERT_EQ(s.size(), 2u);
    s = ComputeSplits(Session({{500, 100, 10}, {1000.05, 200, 20}}), sptDistance, 500);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_TRUE(ComputeSplits(BlankSession(), sptDistance, 500).empty());
    EXPECT_TRUE(ComputeSplits(Session({{10, 3, 1}}), sptDistance, 0).empty());
    EXPECT_TRUE(ComputeSplits(Session({{10, 3, 1}}), sptDistance, NAN).empty());
    // A distance that falls back (a reset device) or is not a number is no progress.
    s = ComputeSplits(Session({{400, 80, 8}, {NAN, 90, 9}, {100, 100, 10}, {600, 120, 12}}), sptDistance, 500);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].Strokes, 3);
    EXPECT_NEAR(s[0].Time, 100 + 20 * 100 / 200.0, 1e-6);  // half-way through stroke 4
    EXPECT_NEAR(s[1].Distance, 100, 1e-6);
    // One stroke longer than several splits: the splits inside it have no strokes.
    s = ComputeSplits(Session({{10, 2, 1}, {160, 30, 4}}), sptDistance, 50);
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[1].Strokes, 0);
    EXPECT_EQ(s[3].StrokesCumulative, 2);
    // Far too many splits for the session is none rather than a flood.
    EXPECT_TRUE(ComputeSplits(Session({{1e7, 3600, 1}}), sptDistance, 1e-3).empty());
}

TEST(HeartZones, TimeInEachZoneOfAHandComputedSeries)
{
    // Maximum 200: zones from 100, 120, 140, 160, 180 bpm.
    THeartZones z;
    z.MaxHeartRate = 200;
    EXPECT_EQ(ZoneOf(99.9, z), -1);
    EXPECT_EQ(ZoneOf(100, z), 0);
    EXPECT_EQ(ZoneOf(139.5, z), 1);
    EXPECT_EQ(ZoneOf(180, z), 4);
    EXPECT_EQ(ZoneOf(0, z), -1);
    EXPECT_EQ(ZoneCaption(z, 0), "Zone 1 (100-119)");
    EXPECT_EQ(ZoneCaption(z, 4), "Zone 5 (180+)");

    // Stroke ends (s) and pulses: each stroke's time counts for its pulse.
    const double ends[] = {2, 5, 7, 10, 14, 15, 19, 20};
    const float pulses[] = {95, 110, 125, 0, 150, 170, 185, 121};
    TTraining t = BlankSession();
    t.Strokes.assign(9, TStgStrokeData{});
    for (int k = 1; k <= 8; ++k) {
        t.Strokes[size_t(k)].Time = float(ends[k - 1]);
        t.Strokes[size_t(k)].Pulse = pulses[k - 1];
    }
    const TZoneTimes times = ComputeZoneTimes(t, z);
    EXPECT_DOUBLE_EQ(times.Below, 2);           // stroke 1: 0..2 s at 95
    EXPECT_DOUBLE_EQ(times.Seconds[0], 3);      // stroke 2: 2..5 at 110
    EXPECT_DOUBLE_EQ(times.Seconds[1], 2 + 1);  // stroke 3 (5..7) and stroke 8 (19..20)
    EXPECT_DOUBLE_EQ(times.NoHeartRate, 3);     // stroke 4 without a pulse
    EXPECT_DOUBLE_EQ(times.Seconds[2], 4);      // stroke 5
    EXPECT_DOUBLE_EQ(times.Seconds[3], 1);      // stroke 6
    EXPECT_DOUBLE_EQ(times.Seconds[4], 4);      // stroke 7
    EXPECT_TRUE(times.HasHeartRate());
    EXPECT_FALSE(ComputeZoneTimes(BlankSession(), z).HasHeartRate());
}

TEST(HeartZones, SettingsAndTheirChecks)
{
    std::string why;
    THeartZones z;
    EXPECT_TRUE(ValidZones(z));
    z.Lower = {50, 60, 60, 80, 90};
    EXPECT_FALSE(ValidZones(z, &why));
    EXPECT_NE(why, "");
    z = THeartZones();
    z.MaxHeartRate = 300;
    EXPECT_FALSE(ValidZones(z));

    TTempDir dir;
    const std::string path = dir.File("settings.ini");
    {
        TProfileFile f(path);
        z = THeartZones();
        z.MaxHeartRate = 184;
        z.Lower = {55, 65, 75, 85, 92};
        WriteHeartZones(f, z);
        f.UpdateFile();
    }
    TProfileFile f(path);
    const THeartZones back = ReadHeartZones(f);
    EXPECT_EQ(back.MaxHeartRate, 184);
    EXPECT_EQ(back.Lower[4], 92);
    // Bounds that do not rise give the defaults, not a broken zone table.
    f.WriteInteger("HeartRate", "Zone3", 40);
    EXPECT_EQ(ReadHeartZones(f).Lower[2], 70);
    EXPECT_EQ(ReadHeartZones(f).MaxHeartRate, 190);
}
