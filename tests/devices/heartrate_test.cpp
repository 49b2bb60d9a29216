// Heart-rate straps: the Bluetooth measurement by its flags (with the RR
// offset after a 16-bit value that peers get wrong), malformed packets, the
// battery level, ANT+ pages and the network key text.
#include <gtest/gtest.h>

#include "interfaces/devices/heart_rate.h"

namespace {

THeartRateMeasurement Decode(std::vector<uint8_t> bytes)
{
    THeartRateMeasurement m;
    std::string error;
    EXPECT_TRUE(DecodeHeartRateMeasurement(bytes.data(), bytes.size(), m, error)) << error;
    return m;
}

std::string Refused(std::vector<uint8_t> bytes)
{
    THeartRateMeasurement m;
    std::string error;
    EXPECT_FALSE(DecodeHeartRateMeasurement(bytes.data(), bytes.size(), m, error));
    return error;
}

}  // namespace

TEST(HeartRateMeasurement, FieldsByFlags)
{
    EXPECT_EQ(Decode({0x00, 0x48}).Bpm, 72);
    // 16-bit value: both bytes count.
    EXPECT_EQ(Decode({0x01, 0x2C, 0x01}).Bpm, 300);
    // Contact: bit 1 means something only with bit 2.
    auto c = Decode({0x06, 0x50});
    EXPECT_TRUE(c.ContactSupported && c.ContactDetected);
    c = Decode({0x04, 0x50});
    EXPECT_TRUE(c.ContactSupported && !c.ContactDetected);
    c = Decode({0x02, 0x50});
    EXPECT_FALSE(c.ContactSupported || c.ContactDetected);
    auto e = Decode({0x08, 0x64, 0x10, 0x01});
    EXPECT_TRUE(e.HasEnergy);
    EXPECT_EQ(e.EnergyKJ, 0x0110);
    EXPECT_EQ(e.Bpm, 100);
    // RR flag without intervals: a valid packet with none.
    EXPECT_TRUE(Decode({0x10, 0x48}).RrIntervals.empty());
}

TEST(HeartRateMeasurement, RrIntervalsStartAfterTheHeartRateAndEnergy)
{
    // 8-bit rate: RR from byte 2.
    EXPECT_EQ(Decode({0x10, 0x4B, 0x00, 0x04}).RrIntervals, std::vector<uint16_t>{1024});
    // 16-bit rate: RR from byte 3. Reading it from byte 2 (as for an 8-bit
    // rate) would give 0x0000 and an odd byte.
    auto m = Decode({0x11, 0x4B, 0x00, 0x00, 0x04});
    EXPECT_EQ(m.Bpm, 75);
    EXPECT_EQ(m.RrIntervals, std::vector<uint16_t>{1024});
    // 16-bit rate, energy, two intervals.
    m = Decode({0x19, 0x96, 0x00, 0x10, 0x00, 0x90, 0x01, 0x98, 0x01});
    EXPECT_EQ(m.Bpm, 150);
    EXPECT_EQ(m.EnergyKJ, 16);
    EXPECT_EQ(m.RrIntervals, (std::vector<uint16_t>{0x190, 0x198}));
}

TEST(HeartRateMeasurement, EveryFlagCombinationRoundTrips)
{
    for (int flags = 0; flags < 32; ++flags) {
        THeartRateMeasurement m;
        m.Bpm = (flags & 1) ? 0x1A3 : 0x9C;
        m.ContactSupported = flags & 4;
        m.ContactDetected = (flags & 4) && (flags & 2);
        m.HasEnergy = flags & 8;
        m.EnergyKJ = m.HasEnergy ? 0xBEEF : 0;
        if (flags & 16) m.RrIntervals = {800, 0xFFFF, 1};
        const auto bytes = EncodeHeartRateMeasurement(m);
        THeartRateMeasurement back;
        std::string error;
        ASSERT_TRUE(DecodeHeartRateMeasurement(bytes.data(), bytes.size(), back, error)) << flags;
        EXPECT_EQ(back.Bpm, m.Bpm) << flags;
        EXPECT_EQ(back.ContactSupported, m.ContactSupported) << flags;
        EXPECT_EQ(back.ContactDetected, m.ContactDetected) << flags;
        EXPECT_EQ(back.HasEnergy, m.HasEnergy) << flags;
        EXPECT_EQ(back.EnergyKJ, m.EnergyKJ) << flags;
        EXPECT_EQ(back.RrIntervals, m.RrIntervals) << flags;
    }
}

TEST(HeartRateMeasurement, ShortAndBrokenPacketsAreRefused)
{
    EXPECT_NE(Refused({}), "");
    EXPECT_NE(Refused({0x00}), "");
    EXPECT_NE(Refused({0x01, 0x48}), "");              // 16-bit rate cut
    EXPECT_NE(Refused({0x08, 0x48, 0x01}), "");        // energy cut
    EXPECT_NE(Refused({0x10, 0x48, 0x01}), "");        // odd RR byte
    EXPECT_NE(Refused({0x11, 0x48, 0x00, 0x01}), "");  // odd RR byte after a 16-bit rate
}

TEST(HeartRateMeasurement, PlausibleRatesAndBattery)
{
    EXPECT_FALSE(PlausibleHeartRate(0));
    EXPECT_FALSE(PlausibleHeartRate(255));
    EXPECT_TRUE(PlausibleHeartRate(40));
    EXPECT_TRUE(PlausibleHeartRate(210));
    int percent = -1;
    const uint8_t ok[] = {64}, bad[] = {101};
    EXPECT_TRUE(DecodeBatteryLevel(ok, 1, percent));
    EXPECT_EQ(percent, 64);
    EXPECT_FALSE(DecodeBatteryLevel(bad, 1, percent));
    EXPECT_FALSE(DecodeBatteryLevel(ok, 0, percent));
}

TEST(AntHeartRate, PagesAndTheTracker)
{
    const uint8_t raw[8] = {0x84, 0xFF, 0x12, 0x34, 0x00, 0x08, 0x05, 0x91};
    const TAntHeartPage p = DecodeAntHeartPage(raw);
    EXPECT_EQ(p.Page, 4);
    EXPECT_TRUE(p.Toggle);
    EXPECT_EQ(p.BeatTime, 0x0800);
    EXPECT_EQ(p.BeatCount, 5);
    EXPECT_EQ(p.Bpm, 0x91);
    uint8_t again[8];
    EncodeAntHeartPage(p, again);
    EXPECT_EQ(DecodeAntHeartPage(again).Bpm, p.Bpm);
    EXPECT_EQ(again[0], raw[0]);

    // A repeated page (same beat) brings nothing new; a new beat or a new
    // computed value does, also when the beat count wraps.
    TAntHeartTracker t;
    TAntHeartPage q = p;
    EXPECT_TRUE(t.Add(q));
    EXPECT_FALSE(t.Add(q));
    q.Toggle = false;
    EXPECT_FALSE(t.Add(q));
    q.BeatCount = 6;
    EXPECT_TRUE(t.Add(q));
    q.Bpm = 0x92;
    EXPECT_TRUE(t.Add(q));
    q.BeatCount = 0;
    EXPECT_TRUE(t.Add(q));
    EXPECT_EQ(t.Bpm(), 0x92);
}

TEST(AntHeartRate, NetworkKeyText)
{
    uint8_t key[8] = {};
    EXPECT_TRUE(ParseAntNetworkKey("0x0011223344556677", key));
    EXPECT_EQ(key[0], 0x00);
    EXPECT_EQ(key[7], 0x77);
    EXPECT_TRUE(ParseAntNetworkKey(" a1-b2-c3-d4 e5:f6:07:18 ", key));
    EXPECT_EQ(key[0], 0xA1);
    EXPECT_EQ(key[7], 0x18);
    EXPECT_FALSE(ParseAntNetworkKey("", key));
    EXPECT_FALSE(ParseAntNetworkKey("00112233445566", key));      // 7 bytes
    EXPECT_FALSE(ParseAntNetworkKey("001122334455667788", key));  // 9 bytes
    EXPECT_FALSE(ParseAntNetworkKey("00112233445566zz", key));
}
