// FTMS rowing machines: Rower Data by its flags (the inverted "More Data"
// bit, half strokes per minute, records in two parts, the paused paces),
// malformed packets, the stroke records made from the records, and captures.
#include <gtest/gtest.h>

#include <cmath>

#include "interfaces/devices/capture.h"
#include "interfaces/devices/demo_data.h"
#include "interfaces/devices/ftms.h"
#include "interfaces/devices/heart_rate.h"

namespace {

TRowerData Decode(std::vector<uint8_t> bytes)
{
    TRowerData r;
    std::string error;
    EXPECT_TRUE(DecodeRowerData(bytes.data(), bytes.size(), r, error)) << error;
    return r;
}

TRowerData Full()
{
    TRowerData r;
    r.HasStrokes = true;
    r.StrokeRate2 = 57;
    r.StrokeCount = 412;
    r.HasAverageStrokeRate = true;
    r.AverageStrokeRate2 = 49;
    r.HasDistance = true;
    r.Distance = 0x012345;
    r.HasPace = true;
    r.Pace = 118;
    r.HasAveragePace = true;
    r.AveragePace = 121;
    r.HasPower = true;
    r.Power = -3;
    r.HasAveragePower = true;
    r.AveragePower = 201;
    r.HasResistance = true;
    r.Resistance = 7;
    r.HasEnergy = true;
    r.TotalEnergy = 333;
    r.EnergyPerHour = 900;
    r.EnergyPerMinute = 15;
    r.HasHeartRate = true;
    r.HeartRate = 151;
    r.HasMet = true;
    r.Met = 98;
    r.HasElapsed = true;
    r.Elapsed = 1234;
    r.HasRemaining = true;
    r.Remaining = 66;
    return r;
}

void ExpectSame(const TRowerData& a, const TRowerData& b) { EXPECT_EQ(EncodeRowerData(a), EncodeRowerData(b)); }

// A record at a time: the stroke maker's input.
TRowerData Record(uint16_t count, double rateSpm, uint32_t distance, uint16_t elapsed, int16_t power, uint16_t pace)
{
    TRowerData r;
    r.HasStrokes = true;
    r.StrokeCount = count;
    r.StrokeRate2 = uint8_t(std::lround(rateSpm * 2));
    r.HasDistance = true;
    r.Distance = distance;
    r.HasElapsed = true;
    r.Elapsed = elapsed;
    r.HasPower = true;
    r.Power = power;
    r.HasPace = true;
    r.Pace = pace;
    return r;
}

}  // namespace

TEST(RowerData, MoreDataBitIsInverted)
{
    // Bit 0 clear: stroke rate (half strokes) and count are there.
    auto r = Decode({0x00, 0x00, 0x30, 0x0A, 0x00});
    EXPECT_TRUE(r.HasStrokes);
    EXPECT_FALSE(r.MoreData);
    EXPECT_DOUBLE_EQ(r.StrokeRate(), 24.0);
    EXPECT_EQ(r.StrokeCount, 10);
    // Bit 0 set: they are not, and what follows is the next field. A reader
    // that takes bit 0 as "present" would read the distance as rate and count.
    r = Decode({0x05, 0x00, 0xE8, 0x03, 0x00});
    EXPECT_TRUE(r.MoreData);
    EXPECT_FALSE(r.HasStrokes);
    EXPECT_TRUE(r.HasDistance);
    EXPECT_EQ(r.Distance, 1000u);
}

TEST(RowerData, EveryFieldInOrder)
{
    const TRowerData full = Full();
    const auto bytes = EncodeRowerData(full);
    EXPECT_EQ(bytes.size(), 30u);
    EXPECT_EQ(bytes[0], 0xFE);
    EXPECT_EQ(bytes[1], 0x1F);
    const TRowerData r = Decode(bytes);
    EXPECT_EQ(r.StrokeCount, 412);
    EXPECT_DOUBLE_EQ(r.StrokeRate(), 28.5);
    EXPECT_EQ(r.AverageStrokeRate2, 49);
    EXPECT_EQ(r.Distance, 0x012345u);
    EXPECT_EQ(r.Pace, 118);
    EXPECT_EQ(r.AveragePace, 121);
    EXPECT_EQ(r.Power, -3);  // signed
    EXPECT_EQ(r.AveragePower, 201);
    EXPECT_EQ(r.Resistance, 7);
    EXPECT_EQ(r.TotalEnergy, 333);
    EXPECT_EQ(r.EnergyPerHour, 900);
    EXPECT_EQ(r.EnergyPerMinute, 15);
    EXPECT_EQ(r.HeartRate, 151);
    EXPECT_EQ(r.Met, 98);
    EXPECT_EQ(r.Elapsed, 1234);
    EXPECT_EQ(r.Remaining, 66);
    // Each field alone, with and without the stroke fields.
    for (int bit = 1; bit < 13; ++bit)
        for (int more = 0; more < 2; ++more) {
            const uint16_t flags = uint16_t(1u << bit | more);
            std::vector<uint8_t> one = {uint8_t(flags), uint8_t(flags >> 8)};
            if (!more) one.insert(one.end(), {0x20, 0x01, 0x00});
            const size_t sizes[13] = {3, 1, 3, 2, 2, 2, 2, 2, 5, 1, 1, 2, 2};
            one.insert(one.end(), sizes[bit], 0x11);
            TRowerData d;
            std::string error;
            EXPECT_TRUE(DecodeRowerData(one.data(), one.size(), d, error)) << bit << " " << error;
            one.pop_back();
            EXPECT_FALSE(DecodeRowerData(one.data(), one.size(), d, error)) << bit;
        }
}

TEST(RowerData, MalformedPackets)
{
    TRowerData r;
    std::string error;
    const uint8_t one[] = {0x00};
    EXPECT_FALSE(DecodeRowerData(one, 1, r, error));
    const uint8_t noStrokes[] = {0x00, 0x00, 0x30};  // count cut
    EXPECT_FALSE(DecodeRowerData(noStrokes, 3, r, error));
    const uint8_t unknown[] = {0x01, 0x20};  // bit 13
    EXPECT_FALSE(DecodeRowerData(unknown, 2, r, error));
    EXPECT_NE(error.find("unknown"), std::string::npos);
    const uint8_t allFlags[] = {0xFE, 0x1F, 0x00, 0x00, 0x00};
    EXPECT_FALSE(DecodeRowerData(allFlags, sizeof allFlags, r, error));
}

TEST(RowerData, RecordsInPartsAreMergedWhole)
{
    const TRowerData full = Full();
    const auto parts = SplitRowerData(full, 20);
    ASSERT_GE(parts.size(), 2u);
    TRowerDataAssembler a;
    for (size_t i = 0; i < parts.size(); ++i) {
        EXPECT_LE(parts[i].size(), 20u);
        const TRowerData p = Decode(parts[i]);
        // Only the last part carries the stroke fields (More Data clear).
        EXPECT_EQ(p.MoreData, i + 1 < parts.size());
        EXPECT_EQ(a.Add(p), i + 1 == parts.size());
    }
    ExpectSame(a.Record(), full);
    // A record that fits stays one part.
    TRowerData small = Record(3, 20, 30, 9, 150, 130);
    EXPECT_EQ(SplitRowerData(small, 20).size(), 1u);
}

TEST(RowerData, PartsWithoutAnEndAreDropped)
{
    TRowerDataAssembler a;
    TRowerData more;
    more.MoreData = true;
    more.HasPower = true;
    more.Power = 999;
    for (int i = 0; i < TRowerDataAssembler::kMaxParts; ++i) EXPECT_FALSE(a.Add(more));
    EXPECT_EQ(a.Dropped(), 1);
    // The power of the dropped run does not leak into the next record.
    EXPECT_TRUE(a.Add(Record(1, 20, 5, 1, 100, 140)));
    EXPECT_EQ(a.Record().Power, 100);
}

TEST(FtmsStrokes, OneRecordPerIncreaseOfTheCount)
{
    TFtmsStrokeMaker m;
    // The machine had counted 7 strokes and 40 m before the session began.
    EXPECT_FALSE(m.Add(Record(7, 24, 40, 20, 0, 0xFFFF), 0.0));
    EXPECT_TRUE(m.Paused());
    EXPECT_FALSE(m.Add(Record(7, 24, 40, 21, 0, 0xFFFF), 1.0));
    ASSERT_TRUE(m.Add(Record(8, 24.5, 50, 23, 200, 120), 3.0));
    TStgStrokeData s = m.Stroke();
    EXPECT_FALSE(m.Paused());
    EXPECT_EQ(s.StrokeNumber, 1);
    EXPECT_FLOAT_EQ(s.StrokeRate, 24.5f);
    EXPECT_FLOAT_EQ(s.Power, 200);
    EXPECT_FLOAT_EQ(s.Distance, 10);
    EXPECT_FLOAT_EQ(s.DistancePerStroke, 1000);
    EXPECT_FLOAT_EQ(s.Time, 3);
    EXPECT_FLOAT_EQ(s.Time500, 120);
    EXPECT_NEAR(s.Energy, 200 * 60 / 24.5, 0.01);
    EXPECT_NEAR(s.EnergySum, 200 * 60 / 24.5 / 1000, 1e-5);
    EXPECT_EQ(s.Pulse, 0);
    EXPECT_EQ(s.DriveTime, 0);
    EXPECT_EQ(s.StrokeLength, 0);
    // Same count: nothing. A count that jumps by 3 gives one record for three
    // strokes, numbered on.
    EXPECT_FALSE(m.Add(Record(8, 24, 52, 24, 180, 125), 4.0));
    ASSERT_TRUE(m.Add(Record(11, 24, 82, 31, 180, 125), 11.0));
    s = m.Stroke();
    EXPECT_EQ(s.StrokeNumber, 2);
    EXPECT_FLOAT_EQ(s.Distance, 42);
    EXPECT_NEAR(s.DistancePerStroke, 3200.0 / 3, 0.01);  // 32 m since the last stroke, 3 strokes
    EXPECT_NEAR(s.Energy, 180 * 2.5, 0.01);
    EXPECT_NEAR(s.AveragePower, (200 * 60 / 24.5 + 180 * 7.5) / 11, 0.01);
}

TEST(FtmsStrokes, PausedPacesAndHeartRate)
{
    TFtmsStrokeMaker m;
    m.Add(Record(0, 0, 0, 0, 0, 0), 0);
    EXPECT_TRUE(m.Paused());  // pace 0
    TRowerData r = Record(1, 22, 8, 2, 0, 0xFFFF);
    r.HasHeartRate = true;
    r.HeartRate = 255;
    ASSERT_TRUE(m.Add(r, 2));
    EXPECT_EQ(m.Stroke().Time500, 0);  // not 65535 s
    EXPECT_EQ(m.Stroke().Pulse, 0);    // 255 is no heart rate
    r = Record(2, 22, 18, 5, 150, 0);
    r.HasHeartRate = true;
    r.HeartRate = 142;
    ASSERT_TRUE(m.Add(r, 5));
    EXPECT_EQ(m.Stroke().Pulse, 142);
    EXPECT_NEAR(m.Stroke().WorkPerPulse, 150.0 / 142, 1e-5);
    // No pace field: the pace from the power.
    r.HasPace = false;
    r.StrokeCount = 3;
    ASSERT_TRUE(m.Add(r, 8));
    EXPECT_NEAR(m.Stroke().Time500, 500 * std::cbrt(2.8 / 150), 0.01);
}

TEST(FtmsStrokes, NotRecordingAndMachineRestarts)
{
    TFtmsStrokeMaker m;
    m.Add(Record(0, 0, 0, 0, 0, 0xFFFF), 0);
    ASSERT_TRUE(m.Add(Record(1, 20, 10, 3, 150, 130), 3));
    // Paused: 5 strokes, 50 m and 15 s go by unrecorded.
    m.SetRecording(false);
    EXPECT_FALSE(m.Add(Record(6, 20, 60, 18, 150, 130), 18));
    m.SetRecording(true);
    ASSERT_TRUE(m.Add(Record(7, 20, 70, 21, 150, 130), 21));
    EXPECT_EQ(m.Stroke().StrokeNumber, 2);
    EXPECT_FLOAT_EQ(m.Stroke().Distance, 20);
    EXPECT_FLOAT_EQ(m.Stroke().Time, 6);
    // The machine starts a new workout: its totals fall back; the session goes on.
    EXPECT_FALSE(m.Add(Record(0, 0, 0, 0, 0, 0xFFFF), 22));
    EXPECT_EQ(m.Restarts(), 1);
    ASSERT_TRUE(m.Add(Record(1, 20, 9, 3, 150, 130), 25));
    EXPECT_EQ(m.Stroke().StrokeNumber, 3);
    EXPECT_FLOAT_EQ(m.Stroke().Distance, 29);
    EXPECT_FLOAT_EQ(m.Stroke().Time, 9);
}

TEST(Capture, LinesCommentsAndProblems)
{
    const std::string text =
        "# Catchline capture 1\r\n"
        "# device: Rower (AA:BB)\n"
        "\n"
        "0.000 2AD1 7E 00 01\n"
        "0.5 0x2a37 0648\n"  // no blanks between bytes
        "0.25 2A37 06 48\n"  // time goes back
        "1.0 2A37 0 648\n"   // one-digit byte
        "x 2A37 00\n"        // no time
        "1.5 2A37 GG\n"      // not hex
        "1.6 12345 00\n"     // characteristic too long
        "2 2A19\n";          // no bytes: kept (the decoder refuses it)
    const TCapture c = ParseCapture(text);
    ASSERT_EQ(c.Notifications.size(), 3u);
    EXPECT_EQ(c.Notifications[0].Characteristic, 0x2AD1);
    EXPECT_EQ(c.Notifications[0].Bytes, (std::vector<uint8_t>{0x7E, 0x00, 0x01}));
    EXPECT_DOUBLE_EQ(c.Notifications[1].Time, 0.5);
    EXPECT_EQ(c.Notifications[1].Bytes, (std::vector<uint8_t>{0x06, 0x48}));
    EXPECT_TRUE(c.Notifications[2].Bytes.empty());
    ASSERT_EQ(c.Comments.size(), 2u);
    EXPECT_EQ(c.Comments[1], "device: Rower (AA:BB)");
    ASSERT_EQ(c.Problems.size(), 5u);
    EXPECT_EQ(c.Problems[0], "line 6: the time goes back");
    EXPECT_EQ(c.Problems[1].rfind("line 7:", 0), 0u);
    EXPECT_EQ(c.Problems[4].rfind("line 10:", 0), 0u);
}

TEST(Capture, OversizedLinesAndRoundTrip)
{
    std::string big = "1.0 2AD1";
    for (int i = 0; i < 513; ++i) big += " 00";
    TCapture c = ParseCapture(big + "\n");
    EXPECT_TRUE(c.Notifications.empty());
    ASSERT_EQ(c.Problems.size(), 1u);
    EXPECT_NE(c.Problems[0].find("512"), std::string::npos);
    c = ParseCapture(std::string(5000, '1') + "\n");
    ASSERT_EQ(c.Problems.size(), 1u);
    EXPECT_NE(c.Problems[0].find("too long"), std::string::npos);

    const uint8_t bytes[] = {0x00, 0xFF, 0x10};
    c = ParseCapture(CaptureLine(12.3456, 0x2A37, bytes, 3));
    ASSERT_EQ(c.Notifications.size(), 1u);
    EXPECT_NEAR(c.Notifications[0].Time, 12.346, 1e-9);
    EXPECT_EQ(c.Notifications[0].Bytes, std::vector<uint8_t>(bytes, bytes + 3));
}

TEST(Capture, ConnectionDropsAndTheEndOfTheDevice)
{
    const TCapture c = ParseCapture(
        "0.5 2A37 06 48\n"
        "1.25 lost link supervision timeout \n"
        "2 GONE\n"
        "1.0 LOST late\n");  // the time goes back
    ASSERT_EQ(c.Notifications.size(), 3u);
    EXPECT_EQ(c.Notifications[0].Event, TCaptureEvent::Notification);
    EXPECT_EQ(c.Notifications[1].Event, TCaptureEvent::Lost);
    EXPECT_DOUBLE_EQ(c.Notifications[1].Time, 1.25);
    EXPECT_EQ(c.Notifications[1].Text, "link supervision timeout");
    EXPECT_EQ(c.Notifications[2].Event, TCaptureEvent::Gone);
    EXPECT_EQ(c.Notifications[2].Text, "");
    EXPECT_TRUE(c.Notifications[2].Bytes.empty());
    ASSERT_EQ(c.Problems.size(), 1u);
    EXPECT_EQ(c.Problems[0], "line 4: the time goes back");
    // A reason over several lines stays on its line.
    const TCapture back = ParseCapture(CaptureEventLine(3.5, TCaptureEvent::Gone, "no\nadapter\r"));
    ASSERT_EQ(back.Notifications.size(), 1u);
    EXPECT_EQ(back.Notifications[0].Event, TCaptureEvent::Gone);
    EXPECT_EQ(back.Notifications[0].Text, "no adapter");
    EXPECT_TRUE(back.Problems.empty());
}

TEST(Capture, MadeFromTheDemoRecordingGivesItsStrokesBack)
{
    std::string error;
    const auto strokes = RecordingStrokes(BuiltInDemoData(), 80, error);
    ASSERT_EQ(error, "");
    ASSERT_GT(strokes.size(), 600u);
    const TCapture c = ParseCapture(MakeFtmsCapture(strokes, "Demo rower"));
    EXPECT_TRUE(c.Problems.empty());
    TRowerDataAssembler a;
    TFtmsStrokeMaker m;
    std::vector<TStgStrokeData> made;
    for (const TNotification& n : c.Notifications) {
        ASSERT_EQ(n.Characteristic, kRowerDataCharacteristic);
        ASSERT_LE(n.Bytes.size(), 20u);
        TRowerData part;
        std::string why;
        ASSERT_TRUE(DecodeRowerData(n.Bytes.data(), n.Bytes.size(), part, why)) << why;
        if (a.Add(part) && m.Add(a.Record(), n.Time)) made.push_back(m.Stroke());
    }
    ASSERT_EQ(made.size(), strokes.size());
    for (size_t i = 1; i < made.size(); ++i) {
        EXPECT_NEAR(made[i].Distance, strokes[i].Distance, 1.0) << i;
        EXPECT_NEAR(made[i].Time, strokes[i].Time, 0.01) << i;
        EXPECT_NEAR(made[i].Power, strokes[i].Power, 0.5) << i;
    }

    // The strap's capture: one plausible heart rate a second, rising with the work.
    const TCapture h = ParseCapture(MakeHeartCapture(strokes, "Demo strap"));
    EXPECT_TRUE(h.Problems.empty());
    const auto rates = SimulatedHeartRate(strokes);
    ASSERT_EQ(h.Notifications.size(), rates.size() + 1);  // and the battery level
    EXPECT_EQ(h.Notifications[0].Characteristic, kBatteryLevel);
    int highest = 0;
    for (size_t i = 1; i < h.Notifications.size(); ++i) {
        THeartRateMeasurement hm;
        std::string why;
        ASSERT_TRUE(
            DecodeHeartRateMeasurement(h.Notifications[i].Bytes.data(), h.Notifications[i].Bytes.size(), hm, why));
        ASSERT_TRUE(PlausibleHeartRate(hm.Bpm));
        EXPECT_EQ(hm.Bpm, rates[i - 1]);
        highest = std::max<int>(highest, hm.Bpm);
    }
    EXPECT_GT(highest, 140);
}
