// Splits and heart-rate zones in the exports: a session rowed without
// intervals leaves as laps of 500 m in FIT and TCX (and comes back without
// made-up intervals), the FIT file carries the time in each zone per lap and
// for the session, and the heart rate of every stroke survives all three
// formats.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "core/splits.h"
#include "core/zones.h"
#include "files/fit_file.h"
#include "files/fit_protocol.h"
#include "files/rowcsv_file.h"
#include "files/session_export.h"
#include "files/session_laps.h"
#include "files/tcx_file.h"
#include "files/training_io.h"
#include "tests/support/testutil_home.h"
#include "testutil_files.h"
#include "util/profile.h"
#include "util/text.h"

namespace {

const TFileInfo kInfo{"/rowed/elsewhere.fit", 45500.25, 0};

struct TFitLap {
    double Distance = 0, Time = 0, Cycles = 0, Trigger = 0, AvgHeart = 0;
};
struct TFitZones {
    double Message = -1, Index = -1;
    std::vector<double> Seconds;  // below zone 1, zones 1 to 5
    std::vector<double> High;     // upper bound of each of the six
    double CalcType = -1, MaxHeart = -1;
};
struct TFitContent {
    std::vector<TFitLap> Laps;
    std::vector<TFitZones> Zones;
    std::vector<double> RecordHeart;
};

std::vector<double> Values(const fit::TMessage& m, uint8_t field, double scale)
{
    std::vector<double> out;
    const fit::TField* f = m.Find(field);
    if (!f) return out;
    for (size_t i = 0; i < fit::FieldCount(*f); ++i) {
        double v = -1;
        out.push_back(fit::FieldValue(*f, i, v) ? v / scale : -1);
    }
    return out;
}

TFitContent ReadFit(const std::vector<uint8_t>& bytes)
{
    TFitContent c;
    std::string error;
    EXPECT_TRUE(fit::Read(
        bytes.data(), bytes.size(),
        [&](const fit::TMessage& m, const fit::TDevInfo&) {
            if (m.Global == fit::gmLap) {
                c.Laps.push_back({m.Number(9) / 100, m.Number(7) / 1000, m.Number(10), m.Number(24), m.Number(15)});
            } else if (m.Global == fit::gmTimeInZone) {
                TFitZones z;
                z.Message = m.Number(0);
                z.Index = m.Number(1);
                z.Seconds = Values(m, 2, 1000);
                z.High = Values(m, 6, 1);
                z.CalcType = m.Number(10, -1);
                z.MaxHeart = m.Number(11, -1);
                c.Zones.push_back(z);
            } else if (m.Global == fit::gmRecord) {
                c.RecordHeart.push_back(m.Number(3, -1));
            }
        },
        error))
        << error;
    return c;
}

TTraining ImportFit(const std::vector<uint8_t>& bytes)
{
    TTraining t;
    ClearTraining(t);
    std::string reason;
    EXPECT_TRUE(ParseFitFile(kInfo, bytes.data(), bytes.size(), t, reason)) << reason;
    return t;
}

// About 1.6 km: three 500 m splits and a shorter last one.
TTraining LongRow(bool withHeart = true) { return RowedSession(150, withHeart); }

}  // namespace

TEST(ExportLaps, ASessionWithoutIntervalsIsCutIntoItsSplits)
{
    const TTraining t = LongRow();
    const std::vector<TSplit> splits = ComputeSplits(t, sptDistance, 500);
    const std::vector<TLapSummary> laps = ExportLaps(t);
    ASSERT_EQ(splits.size(), 4u);
    ASSERT_EQ(laps.size(), splits.size());
    int next = 1;
    for (size_t i = 0; i < laps.size(); ++i) {
        SCOPED_TRACE(i);
        const TLapSummary& lap = laps[i];
        const TSplit& split = splits[i];
        EXPECT_TRUE(lap.Split);
        EXPECT_FALSE(lap.Rest);
        // Every stroke in exactly one lap, in the split in which it ends.
        EXPECT_EQ(lap.First, next);
        EXPECT_EQ(lap.Strokes, split.Strokes);
        EXPECT_EQ(lap.Last, split.StrokesCumulative);
        next = lap.Last + 1;
        // Cut within the crossing stroke, as the splits page cuts it.
        EXPECT_NEAR(lap.Distance, split.Distance, 1e-6);
        EXPECT_NEAR(lap.Duration(), split.Time, 1e-6);
        EXPECT_NEAR(lap.EndTime, split.TimeCumulative, 1e-6);
        EXPECT_NEAR(lap.AvgPower, split.Power, 1e-4);  // the split keeps its power as a float
        EXPECT_NEAR(lap.AvgSpeed, split.Speed, 1e-6);
        EXPECT_GT(lap.AvgHeartRate, 117);
        EXPECT_LE(lap.MaxHeartRate, 140);
        if (i) EXPECT_DOUBLE_EQ(lap.StartTime, laps[i - 1].EndTime);
    }
    EXPECT_EQ(next, 151);
    EXPECT_NEAR(laps[0].Distance, 500, 1e-6);
    EXPECT_LT(laps.back().Distance, 500);

    // An interval workout keeps the laps of its intervals.
    const TTraining intervals = RowedSession(150, true, 20, 5);
    const std::vector<TLapSummary> workLaps = ExportLaps(intervals);
    ASSERT_EQ(workLaps.size(), SessionLaps(intervals).size());
    for (size_t i = 0; i < workLaps.size(); ++i) {
        EXPECT_FALSE(workLaps[i].Split);
        EXPECT_EQ(workLaps[i].Last, SessionLaps(intervals)[i].Last);
    }

    // Shorter than one split: one lap with every stroke.
    const std::vector<TLapSummary> shortRow = ExportLaps(RowedSession(12));
    ASSERT_EQ(shortRow.size(), 1u);
    EXPECT_EQ(shortRow[0].Strokes, 12);
}

TEST(ExportLaps, ASplitWithoutAStrokeEndingInItJoinsTheNext)
{
    // Stroke 3 covers 1100 m (a machine that lost its strokes for a while):
    // no stroke ends in the split from 500 to 1000 m.
    TTraining t = RowedSession(6);
    const double gap = 1100;
    for (int k = 3; k <= 6; ++k) t.Strokes[size_t(k)].Distance += float(gap);
    const std::vector<TSplit> splits = ComputeSplits(t, sptDistance, 500);
    const std::vector<TLapSummary> laps = ExportLaps(t);
    ASSERT_GT(splits.size(), laps.size());
    int strokes = 0;
    double distance = 0;
    for (const TLapSummary& lap : laps) {
        EXPECT_GE(lap.Last, lap.First);
        strokes += lap.Strokes;
        distance += lap.Distance;
    }
    EXPECT_EQ(strokes, 6);
    EXPECT_NEAR(distance, t.Strokes[6].Distance, 1e-3);
    // The TCX file still has a point in every track.
    const std::string tcx = TcxFileText(t);
    size_t tracks = 0, points = 0;
    for (size_t at = tcx.find("<Track>"); at != std::string::npos; at = tcx.find("<Track>", at + 1)) ++tracks;
    for (size_t at = tcx.find("<Trackpoint>"); at != std::string::npos; at = tcx.find("<Trackpoint>", at + 1)) ++points;
    EXPECT_EQ(tracks, laps.size());
    EXPECT_EQ(points, 6u);

    // A machine that measures no distance: no splits, one lap with every stroke.
    TTraining still = RowedSession(6);
    for (int k = 1; k <= 6; ++k) still.Strokes[size_t(k)].Distance = 0;
    still.Totals.Distance = 0;
    const std::vector<TLapSummary> one = ExportLaps(still);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].First, 1);
    EXPECT_EQ(one[0].Last, 6);
    EXPECT_EQ(ReadFit(FitFileBytes(still)).Laps.size(), 1u);
}

TEST(FitExport, SplitLapsComeBackWithoutMadeUpIntervals)
{
    const TTraining t = LongRow();
    const TFitContent c = ReadFit(FitFileBytes(t));
    const std::vector<TSplit> splits = ComputeSplits(t, sptDistance, 500);
    ASSERT_EQ(c.Laps.size(), splits.size());
    double cycles = 0;
    for (size_t i = 0; i < c.Laps.size(); ++i) {
        EXPECT_NEAR(c.Laps[i].Distance, splits[i].Distance, 0.01);
        EXPECT_NEAR(c.Laps[i].Time, splits[i].Time, 0.001);
        // Cut by distance; the last one by the end of the session.
        EXPECT_EQ(c.Laps[i].Trigger, i + 1 < c.Laps.size() ? 2 : 7);
        cycles += c.Laps[i].Cycles;
    }
    EXPECT_EQ(cycles, 150);

    const TTraining back = ImportFit(FitFileBytes(t));
    ASSERT_EQ(back.StrokeCount(), 150);
    for (int k = 1; k <= 150; ++k)
        ASSERT_EQ(back.Strokes[size_t(k)].IntervalNumber, t.Strokes[size_t(k)].IntervalNumber);

    // An interval workout still comes back with its intervals.
    const TTraining intervals = RowedSession(150, true, 20, 5);
    const TTraining intervalsBack = ImportFit(FitFileBytes(intervals));
    EXPECT_EQ(intervalsBack.Strokes[150].IntervalNumber, intervals.Strokes[150].IntervalNumber);
    EXPECT_GT(intervalsBack.Strokes[150].IntervalNumber, 1);
}

TEST(FitExport, TimeInHeartRateZonesPerLapAndSession)
{
    TTraining t = LongRow();
    // A few strokes without a pulse (the strap lost contact) and a few low.
    for (int k = 30; k <= 34; ++k) t.Strokes[size_t(k)].Pulse = 0;
    for (int k = 60; k <= 62; ++k) t.Strokes[size_t(k)].Pulse = 80;
    THeartZones zones;
    zones.MaxHeartRate = 180;
    zones.Lower = {50, 60, 70, 75, 90};  // zones from 90, 108, 126, 135, 162 bpm

    const TFitContent c = ReadFit(FitFileBytes(t, &zones));
    const std::vector<TLapSummary> laps = ExportLaps(t);
    ASSERT_EQ(c.Zones.size(), laps.size() + 1);
    std::vector<double> lapSum(6, 0.0);
    for (size_t i = 0; i < laps.size(); ++i) {
        const TFitZones& z = c.Zones[i];
        EXPECT_EQ(z.Message, fit::gmLap);
        EXPECT_EQ(z.Index, double(i));
        ASSERT_EQ(z.Seconds.size(), 6u);
        for (size_t j = 0; j < 6; ++j) lapSum[j] += z.Seconds[j];
    }
    const TFitZones& session = c.Zones.back();
    EXPECT_EQ(session.Message, fit::gmSession);
    EXPECT_EQ(session.Index, 0);
    EXPECT_EQ(session.High, (std::vector<double>{89, 107, 125, 134, 161, 180}));
    EXPECT_EQ(session.CalcType, 1);  // per cent of the maximum
    EXPECT_EQ(session.MaxHeart, 180);

    // Hand-counted: pulses 118..140 fall in zone 3 (126..134) from 126 to
    // 134 and in zone 4 from 135; 118..125 in zone 2; 80 below zone 1.
    std::vector<double> expected(6, 0.0);
    double before = 0;
    for (int k = 1; k <= 150; ++k) {
        const TStgStrokeData& s = t.Strokes[size_t(k)];
        const double span = s.Time - before;
        before = s.Time;
        if (s.Pulse == 0) continue;
        const size_t slot = s.Pulse < 90 ? 0 : s.Pulse < 108 ? 1 : s.Pulse < 126 ? 2 : s.Pulse < 135 ? 3 : 4;
        expected[slot] += span;
    }
    ASSERT_EQ(session.Seconds.size(), 6u);
    for (size_t j = 0; j < 6; ++j) {
        EXPECT_NEAR(session.Seconds[j], expected[j], 0.002) << "zone slot " << j;
        EXPECT_NEAR(lapSum[j], expected[j], 0.005) << "zone slot " << j;
    }
    EXPECT_GT(expected[0], 0);
    EXPECT_GT(expected[3], 0);
    EXPECT_EQ(expected[5], 0);

    // No zones asked for, or no heart rate: no zone messages.
    EXPECT_TRUE(ReadFit(FitFileBytes(t)).Zones.empty());
    EXPECT_TRUE(ReadFit(FitFileBytes(LongRow(false), &zones)).Zones.empty());
    // Zones that make no sense are not written.
    THeartZones bad = zones;
    bad.Lower = {50, 40, 70, 80, 90};
    EXPECT_TRUE(ReadFit(FitFileBytes(t, &bad)).Zones.empty());
}

TEST(SessionExport, TheExportUsesTheRowersZones)
{
    TTempHome home("export-zones");
    TTempDir dir;
    {
        ForceFolder(home.UserFolder());
        TProfileFile settings(home.UserFolder() + "catchline.ini");
        THeartZones z;
        z.MaxHeartRate = 200;
        WriteHeartZones(settings, z);
        settings.UpdateFile();
    }
    ASSERT_FALSE(SettingsFile(false).empty());
    ASSERT_TRUE(ExportTraining(dir / "row.fit", LongRow()));
    std::vector<uint8_t> bytes;
    int err = 0;
    ASSERT_TRUE(ReadWholeFile(dir / "row.fit", bytes, err));
    const TFitContent c = ReadFit(bytes);
    ASSERT_FALSE(c.Zones.empty());
    EXPECT_EQ(c.Zones.back().MaxHeart, 200);
    EXPECT_EQ(c.Zones.back().High.back(), 200);
}

TEST(HeartRateInExports, EveryStrokesPulseSurvivesEachFormat)
{
    TTraining t = LongRow();
    t.Strokes[7].Pulse = 0;       // no heart rate for this stroke
    t.Strokes[8].Pulse = 254.6f;  // the most FIT can hold
    t.Strokes[9].Pulse = 61.4f;

    // FIT: one heart rate per record, the invalid value where there is none.
    const TFitContent c = ReadFit(FitFileBytes(t));
    ASSERT_EQ(c.RecordHeart.size(), 150u);
    EXPECT_EQ(c.RecordHeart[6], -1);
    EXPECT_EQ(c.RecordHeart[7], 254);
    EXPECT_EQ(c.RecordHeart[8], 61);
    const TTraining fitBack = ImportFit(FitFileBytes(t));
    for (int k = 1; k <= 150; ++k) {
        const float p = t.Strokes[size_t(k)].Pulse;
        EXPECT_NEAR(fitBack.Strokes[size_t(k)].Pulse, p > 254 ? 254 : std::round(p), 0.001) << k;
    }

    // TCX: HeartRateBpm in every trackpoint that has one.
    const std::string tcx = TcxFileText(t);
    std::vector<std::string> rates;
    for (size_t at = tcx.find("<Trackpoint>"); at != std::string::npos; at = tcx.find("<Trackpoint>", at + 1)) {
        const size_t end = tcx.find("</Trackpoint>", at);
        const size_t hr = tcx.find("<HeartRateBpm><Value>", at);
        if (hr == std::string::npos || hr > end) rates.push_back("");
        else rates.push_back(tcx.substr(hr + 21, tcx.find('<', hr + 21) - hr - 21));
    }
    ASSERT_EQ(rates.size(), 150u);
    EXPECT_EQ(rates[0], Format("%.0f", double(t.Strokes[1].Pulse)));
    EXPECT_EQ(rates[6], "");
    EXPECT_EQ(rates[7], "255");
    EXPECT_EQ(rates[8], "61");

    // RowingData CSV: the heart-rate column, empty where there is none.
    const std::string csv = RowingCsvText(t);
    TTraining csvBack;
    ClearTraining(csvBack);
    std::string reason;
    ASSERT_TRUE(ParseRowingCsv(kInfo, reinterpret_cast<const uint8_t*>(csv.data()), csv.size(), csvBack, reason))
        << reason;
    ASSERT_EQ(csvBack.StrokeCount(), 150);
    for (int k = 1; k <= 150; ++k) EXPECT_EQ(csvBack.Strokes[size_t(k)].Pulse, t.Strokes[size_t(k)].Pulse) << k;
}
