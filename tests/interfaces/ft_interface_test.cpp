// The FTMS rowing machine interface through the capture player and Qt
// Bluetooth: strokes from a capture, the states, pause, malformed records,
// broken and missing captures, the test mode, the demo machine, and a device
// address on a computer without a Bluetooth adapter.
#include <gtest/gtest.h>

#include <fstream>

#include "interfaces/devices/capture.h"
#include "interfaces/devices/ftms.h"
#include "interfaces/ft_interface.h"
#include "tests/support/testutil_interfaces.h"

namespace {

// n strokes of 2.5 s, 10 m and 200 W.
std::vector<TStgStrokeData> Strokes(int n)
{
    std::vector<TStgStrokeData> v;
    for (int k = 1; k <= n; ++k) {
        TStgStrokeData s{};
        s.StrokeNumber = uint16_t(k);
        s.Time = float(2.5 * k + 1);
        s.Distance = float(10 * k);
        s.Power = 200;
        s.StrokeRate = 24;
        s.Time500 = 120;
        s.EnergySum = float(0.5 * k);
        v.push_back(s);
    }
    return v;
}

std::string WriteCapture(const std::string& name, const std::string& text)
{
    const std::string path = TempFolder() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

struct TRecorder {
    std::vector<TStgStrokeData> Strokes;
    std::vector<std::string> States, Errors, Notes;
    int ProtocolErrors = 0, Records = 0;
    void Attach(TFTInterface& f)
    {
        f.OnStrokeData = [this](TInterface*, TStgStrokeData& d) { Strokes.push_back(d); };
        f.OnStateChange = [this](TInterface*, TTarnState, TTarnState n) { States.push_back(TarnStateName(n)); };
        f.OnError = [this](TInterface*, const std::string& e) { Errors.push_back(e); };
        f.OnStatusMessage = [this](TInterface*, const std::string& t) { Notes.push_back(t); };
        f.OnProtocolError = [this](TInterface*) { ++ProtocolErrors; };
        f.OnRowerData = [this](TInterface*, const TRowerData&) { ++Records; };
    }
};

class FTInterfaceTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureApp(); }
    TFTInterface F;
    TRecorder Rec;
};

}  // namespace

TEST_F(FTInterfaceTest, RowsACaptureToItsEnd)
{
    const std::string path = WriteCapture("ten.txt", MakeFtmsCapture(Strokes(10), "Test rower"));
    Rec.Attach(F);
    F.CaptureSpeed = 0;
    F.SetDoCalculate(true);
    EXPECT_EQ(F.InterfaceType, 7);
    EXPECT_EQ(F.TypeName(), "FTMS Rowing Machine");
    F.Open(1, "capture:" + path);
    ASSERT_TRUE(WaitFor([&] { return F.State() == vtsClosed; }, 5000));
    EXPECT_TRUE(Rec.Errors.empty());
    EXPECT_EQ(Rec.States, (std::vector<std::string>{"Opening", "Opened", "Closing", "Closed"}));
    ASSERT_EQ(Rec.Strokes.size(), 10u);
    EXPECT_EQ(+Rec.Strokes[0].StrokeNumber, 1);
    EXPECT_FLOAT_EQ(+Rec.Strokes[9].Distance, 100);
    EXPECT_NEAR(+Rec.Strokes[9].Time, 26, 0.01);
    EXPECT_FLOAT_EQ(+Rec.Strokes[4].Power, 200);
    EXPECT_FLOAT_EQ(+Rec.Strokes[4].StrokeRate, 24);
    EXPECT_EQ(F.Protocol, vtpFTMS);
    EXPECT_EQ(F.Description, "ten.txt");
    EXPECT_TRUE(Rec.Notes.back().find("End") != std::string::npos);
}

TEST_F(FTInterfaceTest, ACaptureWaitsForTheOwnerAndWhilePaused)
{
    const std::string path = WriteCapture("slow.txt", MakeFtmsCapture(Strokes(12), "Test rower"));
    Rec.Attach(F);
    F.CaptureSpeed = 20;  // 32 s in 1.6 s
    F.Open(1, "capture:" + path);
    ASSERT_TRUE(WaitFor([&] { return F.State() == vtsOpened; }));
    // Until the owner calculates, the capture holds after its first record:
    // its strokes are not lost however fast it plays.
    Pump(300);
    EXPECT_EQ(Rec.Records, 1);
    EXPECT_TRUE(Rec.Strokes.empty());
    F.SetDoCalculate(true);
    ASSERT_TRUE(WaitFor([&] { return Rec.Strokes.size() >= 2; }));
    F.Pause();
    EXPECT_EQ(F.State(), vtsPaused);
    const size_t atPause = Rec.Strokes.size();
    Pump(400);
    EXPECT_EQ(Rec.Strokes.size(), atPause);  // the capture waits
    F.Continue();
    EXPECT_EQ(F.State(), vtsOpened);
    ASSERT_TRUE(WaitFor([&] { return F.State() == vtsClosed; }, 5000));
    ASSERT_EQ(Rec.Strokes.size(), 12u);
    for (size_t i = 0; i < Rec.Strokes.size(); ++i) EXPECT_EQ(+Rec.Strokes[i].StrokeNumber, int(i + 1));
    EXPECT_FLOAT_EQ(+Rec.Strokes[11].Distance, 120);
}

TEST_F(FTInterfaceTest, MalformedRecordsAreProtocolErrors)
{
    std::string text = MakeFtmsCapture(Strokes(3), "Test rower");
    text += "20.000 2AD1 00\n";              // too short
    text += "20.100 2AD1 FE 1F 00 00 00\n";  // announces fields it lacks
    text += "20.200 2AD1 01 E0\n";           // unknown fields
    text += "garbage line\n";
    Rec.Attach(F);
    F.CaptureSpeed = 0;
    F.SetDoCalculate(true);
    F.Open(1, "capture:" + WriteCapture("bad.txt", text));
    ASSERT_TRUE(WaitFor([&] { return F.State() == vtsClosed; }, 5000));
    EXPECT_EQ(Rec.ProtocolErrors, 3);
    EXPECT_EQ(F.MalformedRecords(), 3u);
    EXPECT_EQ(Rec.Strokes.size(), 3u);
    ASSERT_FALSE(Rec.Notes.empty());
    EXPECT_NE(Rec.Notes.front().find("1 line(s) skipped"), std::string::npos);
}

TEST_F(FTInterfaceTest, CapturesThatCannotBePlayed)
{
    Rec.Attach(F);
    F.CaptureSpeed = 0;
    F.Open(1, "capture:" + TempFolder() + "/missing.txt");
    EXPECT_EQ(F.State(), vtsClosed);
    ASSERT_EQ(Rec.Errors.size(), 1u);
    EXPECT_NE(Rec.Errors[0].find("not found"), std::string::npos);

    // A strap's capture has no rower data.
    Rec.Errors.clear();
    const std::string strap = WriteCapture("strap.txt", "0.5 2A37 06 48\n");
    F.Open(1, "capture:" + strap);
    ASSERT_EQ(Rec.Errors.size(), 1u);
    EXPECT_NE(Rec.Errors[0].find("no rower data"), std::string::npos);

    Rec.Errors.clear();
    F.Open(1, "COM1");
    ASSERT_EQ(Rec.Errors.size(), 1u);
    EXPECT_NE(Rec.Errors[0].find("neither a Bluetooth address"), std::string::npos);
}

TEST_F(FTInterfaceTest, ADeviceAddressWithoutAnAdapterFailsClearly)
{
    // No radio on this computer: the Qt Bluetooth transport finds no adapter.
    Rec.Attach(F);
    F.Open(1, "BLE:c4:7f:51:00:12:34");
    ASSERT_TRUE(WaitFor([&] { return !Rec.Errors.empty(); }));
    EXPECT_EQ(Rec.Errors[0], "No Bluetooth adapter was found on this computer.");
    EXPECT_EQ(F.State(), vtsClosed);
}

TEST_F(FTInterfaceTest, TestModeAndTheDemoMachine)
{
    Rec.Attach(F);
    F.CaptureSpeed = 1;
    F.Test(1, "capture:" + WriteCapture("t.txt", MakeFtmsCapture(Strokes(2), "Test rower")));
    EXPECT_TRUE(F.ValidSeen);
    EXPECT_EQ(F.State(), vtsOpened);
    F.Close();

    // The demo machine plays the built-in recording's strokes.
    TFTInterface demo;
    TRecorder r;
    r.Attach(demo);
    demo.CaptureSpeed = 0;
    demo.SetDoCalculate(true);
    demo.Weight = 80;
    demo.Open(2, "DEMO");
    ASSERT_TRUE(WaitFor([&] { return demo.State() == vtsClosed; }, 20000));
    EXPECT_TRUE(r.Errors.empty());
    EXPECT_GT(r.Strokes.size(), 600u);
    EXPECT_GT(r.Strokes.back().Distance, 5000);
}
