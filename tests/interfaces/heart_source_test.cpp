// Heart-rate sources: a strap's capture (values, battery, nonsense values,
// lost contact, broken packets, each told once), the source texts, and the
// simulated ANT library playing ANT+ heart-rate pages (network key from the
// options, pairing, a wrong key, a missing key, sharing with the wireless
// interface).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "interfaces/ant_receiver.h"
#include "interfaces/devices/capture.h"
#include "interfaces/devices/heart_rate.h"
#include "interfaces/heart_source.h"
#include "interfaces/rw_interface.h"
#include "tests/support/testutil_interfaces.h"

namespace {

struct TRecorder {
    std::vector<int> Rates;
    std::vector<std::string> Notes, Problems, Failures;
    void Attach(THeartRateSource& s)
    {
        s.OnHeartRate = [this](int bpm) { Rates.push_back(bpm); };
        s.OnNote = [this](const std::string& t) { Notes.push_back(t); };
        s.OnProblem = [this](const std::string& t) { Problems.push_back(t); };
        s.OnFailed = [this](const std::string& t) { Failures.push_back(t); };
    }
    bool Noted(const std::string& part) const
    {
        for (const auto& n : Notes)
            if (n.find(part) != std::string::npos) return true;
        return false;
    }
};

std::string Line(double t, std::vector<uint8_t> bytes, uint16_t c = kHeartRateMeasurement)
{
    return CaptureLine(t, c, bytes.data(), bytes.size());
}

std::unique_ptr<THeartRateSource> Make(const std::string& text, THeartSourceOptions o = {})
{
    std::string error;
    auto s = CreateHeartRateSource(text, o, error);
    EXPECT_TRUE(s) << error;
    return s;
}

}  // namespace

TEST(HeartSourceTexts, Forms)
{
    for (const char* ok : {"AA:BB:CC:DD:EE:FF", "ble:aa:bb:cc:dd:ee:ff", "capture:/tmp/x", "ant", "ANT:4321", "DEMO"})
        EXPECT_TRUE(IsHeartRateSource(ok)) << ok;
    for (const char* bad : {"", "capture:", "ant:0", "ant:70000", "AA:BB:CC", "/dev/ttyUSB0", "COM3"})
        EXPECT_FALSE(IsHeartRateSource(bad)) << bad;
    std::string error;
    EXPECT_FALSE(CreateHeartRateSource("COM3", {}, error));
    EXPECT_NE(error.find("no heart-rate source"), std::string::npos);
}

TEST(HeartSourceCapture, ValuesBatteryAndNonsenseToldOnce)
{
    EnsureApp();
    std::string text = CaptureHeader("Strap");
    text += Line(0.0, {55}, kBatteryLevel);
    text += Line(0.1, {0x16, 120, 0x00, 0x02});  // 120 bpm, contact, one RR interval
    text += Line(0.2, {0x06, 0});                // 0 bpm
    text += Line(0.3, {0x06, 255});              // 255 bpm
    text += Line(0.4, {0x04, 130});              // contact supported, not detected
    text += Line(0.5, {0x04, 131});
    text += Line(0.6, {0x11, 0x7D});  // 16-bit rate cut short
    text += Line(0.7, {0x11, 0x7D});
    text += Line(0.8, {0x01, 0x7D, 0x00});     // 125 as a 16-bit value
    text += Line(0.9, {0x0C}, kBatteryLevel);  // 12 %: low
    const std::string path = TempFolder() + "/strap.txt";
    std::ofstream(path) << text;
    THeartSourceOptions o;
    o.CaptureSpeed = 0;
    auto s = Make("capture:" + path, o);
    TRecorder r;
    r.Attach(*s);
    s->Start();
    ASSERT_TRUE(WaitFor([&] { return r.Noted("End of the heart-rate recording"); }));
    EXPECT_EQ(r.Rates, (std::vector<int>{120, 125}));
    EXPECT_EQ(s->Battery(), 12);
    EXPECT_TRUE(r.Noted("battery: 55 %"));
    ASSERT_EQ(r.Problems.size(), 4u);  // nonsense, contact, malformed, battery: once each
    EXPECT_NE(r.Problems[0].find("0 bpm"), std::string::npos);
    EXPECT_NE(r.Problems[1].find("skin contact"), std::string::npos);
    EXPECT_NE(r.Problems[2].find("cannot be read"), std::string::npos);
    EXPECT_NE(r.Problems[3].find("battery is low"), std::string::npos);
    EXPECT_TRUE(r.Failures.empty());
}

TEST(HeartSourceCapture, AStrapThatDropsOutAndOneThatIsGone)
{
    EnsureApp();
    std::string text = CaptureHeader("Strap");
    text += Line(0.0, {0x06, 120});
    text += CaptureEventLine(0.1, TCaptureEvent::Lost, "link supervision timeout");
    text += Line(0.2, {0x06, 121});  // back again
    text += CaptureEventLine(0.3, TCaptureEvent::Gone, "did not come back");
    text += Line(0.4, {0x06, 122});  // never played
    const std::string path = TempFolder() + "/dropping-strap.txt";
    std::ofstream(path) << text;
    THeartSourceOptions o;
    o.CaptureSpeed = 0;
    auto s = Make("capture:" + path, o);
    TRecorder r;
    r.Attach(*s);
    s->Start();
    ASSERT_TRUE(WaitFor([&] { return !r.Failures.empty(); }));
    Pump(100);
    EXPECT_EQ(r.Rates, (std::vector<int>{120, 121}));
    EXPECT_TRUE(r.Noted("lost (link supervision timeout); reconnecting"));
    ASSERT_EQ(r.Failures.size(), 1u);
    EXPECT_NE(r.Failures[0].find("gone (did not come back)"), std::string::npos);
    EXPECT_FALSE(r.Noted("End of the heart-rate recording"));
}

TEST(HeartSourceCapture, DemoStrapAndAMissingFile)
{
    EnsureApp();
    THeartSourceOptions o;
    o.CaptureSpeed = 0;
    auto s = Make("DEMO", o);
    TRecorder r;
    r.Attach(*s);
    s->Start();
    ASSERT_TRUE(WaitFor([&] { return r.Noted("End of the heart-rate recording"); }, 10000));
    EXPECT_GT(r.Rates.size(), 1500u);  // one a second for half an hour
    EXPECT_TRUE(r.Problems.empty());

    auto missing = Make("capture:" + TempFolder() + "/none.txt", o);
    TRecorder m;
    m.Attach(*missing);
    missing->Start();
    ASSERT_EQ(m.Failures.size(), 1u);
    EXPECT_NE(m.Failures[0].find("not found"), std::string::npos);
}

class AntHeartTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        for (const char* v : {"ANTSIM_FILE", "ANTSIM_HEART_STOP", "ANTSIM_FAIL", "ANTSIM_DEVICES"}) unsetenv(v);
        setenv("ANTSIM_SPEED", "0.05", 1);
        setenv("ANTSIM_HEART", "0,100,120,140", 1);
        setenv("ANTSIM_NETKEY", "0011223344556677", 1);
        setenv("ANTSIM_HEART_ID", "4321", 1);
        Options.AntLibrary = CATCHLINE_ANTSIM;
        Options.AntNetworkKey = "00 11 22 33 44 55 66 77";
    }
    THeartSourceOptions Options;
};

TEST_F(AntHeartTest, PagesBecomeHeartRatesWithTheKeyFromTheSettings)
{
    auto s = Make("ant", Options);
    TRecorder r;
    r.Attach(*s);
    s->Start();
    EXPECT_TRUE(AntHeartSourceRunning());
    // The strap's first second sends 0 (no beat yet): told once, not recorded.
    ASSERT_TRUE(WaitFor([&] { return !r.Rates.empty() && r.Rates.back() == 140; }, 5000));
    EXPECT_EQ(r.Rates.front(), 100);
    for (int bpm : r.Rates) EXPECT_TRUE(bpm == 100 || bpm == 120 || bpm == 140) << bpm;
    ASSERT_TRUE(WaitFor([&] { return r.Noted("ant:4321"); }));
    EXPECT_EQ(s->Name(), "ANT+ strap 4321");
    ASSERT_EQ(r.Problems.size(), 1u);
    EXPECT_NE(r.Problems[0].find("0 bpm"), std::string::npos);

    // The wireless interface cannot take the receiver meanwhile.
    TRWInterface rw;
    rw.AntLibrary = CATCHLINE_ANTSIM;
    rw.AntDelay = 1;
    std::string error;
    rw.OnError = [&](TInterface*, const std::string& e) { error = e; };
    rw.Open(1, "ANTUSBm-1009-1234500");
    EXPECT_NE(error.find("in use by the ANT+ heart-rate strap"), std::string::npos);

    s->Stop();
    EXPECT_FALSE(AntHeartSourceRunning());
    const size_t count = r.Rates.size();
    Pump(200);
    EXPECT_EQ(r.Rates.size(), count);
}

TEST_F(AntHeartTest, AStrapWaitsForTheReceiverTheWirelessInterfaceHolds)
{
    setenv("ANTSIM_STROKES", "50", 1);
    TRWInterface rw;
    rw.AntLibrary = CATCHLINE_ANTSIM;
    rw.AntDelay = 1;
    std::string error;
    rw.OnError = [&](TInterface*, const std::string& e) { error = e; };
    rw.Open(1, "ANTUSBmStick-1009-1234500");
    ASSERT_EQ(rw.State(), vtsOpened) << error;
    EXPECT_TRUE(AntReceiverHeldBy(TAntUser::WirelessInterface));

    auto s = Make("ant", Options);
    TRecorder r;
    r.Attach(*s);
    s->Start();
    ASSERT_EQ(r.Failures.size(), 1u);
    EXPECT_NE(r.Failures[0].find("in use by the VT3 Wireless Interface"), std::string::npos);
    EXPECT_FALSE(AntHeartSourceRunning());
    EXPECT_FALSE(AntReceiverHeldBy(TAntUser::HeartStrap));

    // Once the interface lets go, the strap gets the receiver.
    rw.Close();
    EXPECT_FALSE(AntReceiverHeldBy(TAntUser::WirelessInterface));
    auto again = Make("ant", Options);
    TRecorder m;
    m.Attach(*again);
    again->Start();
    EXPECT_TRUE(m.Failures.empty());
    EXPECT_TRUE(AntReceiverHeldBy(TAntUser::HeartStrap));
    ASSERT_TRUE(WaitFor([&] { return !m.Rates.empty(); }, 5000));
    again->Stop();
    EXPECT_FALSE(AntReceiverHeldBy(TAntUser::HeartStrap));
    unsetenv("ANTSIM_STROKES");
}

TEST_F(AntHeartTest, AWrongOrMissingKey)
{
    Options.AntNetworkKey = "FFFFFFFFFFFFFFFF";
    auto s = Make("ant:4321", Options);
    TRecorder r;
    r.Attach(*s);
    s->Start();
    ASSERT_TRUE(WaitFor([&] { return !r.Problems.empty(); }, 5000));
    EXPECT_NE(r.Problems[0].find("network key"), std::string::npos);
    EXPECT_TRUE(r.Rates.empty());
    s->Stop();

    Options.AntNetworkKey = "";
    auto n = Make("ant", Options);
    TRecorder m;
    m.Attach(*n);
    n->Start();
    ASSERT_EQ(m.Failures.size(), 1u);
    EXPECT_NE(m.Failures[0].find("AntNetworkKey"), std::string::npos);
    EXPECT_FALSE(AntHeartSourceRunning());

    Options.AntNetworkKey = "0011223344556677";
    Options.AntLibrary = TempFolder() + "/no-such-libant.so";
    auto l = Make("ant", Options);
    TRecorder q;
    q.Attach(*l);
    l->Start();
    ASSERT_EQ(q.Failures.size(), 1u);
    EXPECT_NE(q.Failures[0].find("cannot be loaded"), std::string::npos);
}
