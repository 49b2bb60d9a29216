// The wireless interface end to end through the simulated ANT library: load,
// scan, connect, wheel packets into strokes, packet gaps, failing library
// calls, closing from a handler, and the receiver list from sysfs.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "interfaces/rw_interface.h"
#include "interfaces/serial/usb_devices.h"
#include "tests/support/testutil_interfaces.h"

namespace {

struct TRadioRecorder {
    std::vector<std::string> Status;
    std::vector<std::string> Packets;
    std::vector<std::string> Errors;
    std::vector<std::string> States;
    std::vector<TStgStrokeData> Strokes;
    int Wheels = 0;
    int Counters = 0;

    void Attach(TRWInterface& rw)
    {
        rw.OnStatusMessage = [this](TInterface*, const std::string& m) { Status.push_back(m); };
        rw.OnRawPacket = [this](TInterface*, const std::string& p) { Packets.push_back(p); };
        rw.OnWheelData = [this](TInterface*, uint16_t) { ++Wheels; };
        rw.OnUpdateCounters = [this](TInterface*) { ++Counters; };
        rw.OnError = [this](TInterface*, const std::string& e) { Errors.push_back(e); };
        rw.OnStateChange = [this](TInterface*, TTarnState, TTarnState n) { States.push_back(TarnStateName(n)); };
        rw.OnStrokeData = [this](TInterface*, TStgStrokeData& d) { Strokes.push_back(d); };
    }
    bool HasStatus(const std::string& s) const { return std::find(Status.begin(), Status.end(), s) != Status.end(); }
    bool HasStatusStarting(const std::string& s) const
    {
        return std::any_of(Status.begin(), Status.end(), [&](const std::string& l) { return l.rfind(s, 0) == 0; });
    }
    int StrokeCount() const { return Strokes.empty() ? 0 : Strokes.back().StrokeNumber; }
};

class RWInterfaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        for (const char* v : {"ANTSIM_FILE", "ANTSIM_GAP", "ANTSIM_DEVICES", "ANTSIM_FAIL", "ANTSIM_STROKES"})
            unsetenv(v);
        setenv("ANTSIM_SPEED", "0.05", 1);
        setenv("ANTSIM_STROKES", "8", 1);
    }
    void Prepare(TRWInterface& rw)
    {
        rw.AntLibrary = CATCHLINE_ANTSIM;
        rw.AntDelay = 1;
        rw.DoCalculate = true;
        Rec.Attach(rw);
    }
    TRadioRecorder Rec;
};

TEST_F(RWInterfaceTest, WheelPacketsBecomeStrokes)
{
    TRWInterface rw;
    Prepare(rw);
    EXPECT_EQ(rw.InterfaceType, 6);
    rw.Open(1, "ANTUSBmStick-1009-1234500");
    ASSERT_EQ(rw.State(), vtsOpened) << (Rec.Errors.empty() ? "" : Rec.Errors[0]);
    EXPECT_TRUE(rw.AntLoadedFlag());
    EXPECT_TRUE(rw.AntConnectedFlag());
    EXPECT_TRUE(rw.IsActive());
    EXPECT_TRUE(Rec.HasStatus("Done loading AntLib."));
    EXPECT_TRUE(Rec.HasStatus("Done connecting to ANT device."));
    EXPECT_TRUE(Rec.HasStatus(std::string(77, '-')));
    ASSERT_TRUE(WaitFor([&] { return Rec.StrokeCount() >= 4; }, 15000));
    EXPECT_EQ(rw.Protocol, vtpVT3WI);
    EXPECT_TRUE(rw.ValidSeen);
    EXPECT_EQ(rw.Description, "0001E240");
    EXPECT_GT(rw.TotalWheelpackets(), 10u);
    EXPECT_GT(rw.TotalNopePackets(), 1u);
    EXPECT_EQ(rw.LostWheelPackets(), 0u);
    EXPECT_EQ(rw.LostNopePackets(), 0u);
    // The counters are handed over after each batch of wheel words; under
    // load the strokes may all come from the first batch.
    EXPECT_TRUE(WaitFor([&] { return Rec.Counters > 0; }, 3000));
    EXPECT_FALSE(Rec.Packets.empty());
    EXPECT_EQ(Rec.Packets[0].rfind("CHANNEL_EVENT_FUNC 00 80 : 00 ", 0), 0u);
    rw.Close();
    EXPECT_EQ(rw.State(), vtsClosed);
    EXPECT_FALSE(rw.AntConnectedFlag());
    EXPECT_TRUE(Rec.HasStatus("Done disconnecing from ANT device."));
    EXPECT_TRUE(Rec.Errors.empty());
}

TEST_F(RWInterfaceTest, PausedFromAStrokeHandlerTakesNoWheelWordsUntilContinued)
{
    // Enough strokes that the recording still runs when the test continues.
    setenv("ANTSIM_STROKES", "60", 1);
    TRWInterface rw;
    Prepare(rw);
    int pulses = 0, whilePaused = 0;
    rw.OnRawData = [&](TInterface* s, double, int, int) {
        ++pulses;
        if (IsPausedState(s->State())) ++whilePaused;
    };
    rw.OnStrokeData = [&](TInterface* s, TStgStrokeData& d) {
        Rec.Strokes.push_back(d);
        if (d.StrokeNumber == 2 && s->State() == vtsOpened) s->Pause();
    };
    rw.Open(1, "ANTUSBmStick-1009-1234500");
    ASSERT_EQ(rw.State(), vtsOpened);
    ASSERT_TRUE(WaitFor([&] { return rw.State() == vtsPaused; }, 15000));
    // The radio goes on sending; its words are taken off the queue and dropped.
    const int wheels = Rec.Wheels, before = pulses;
    ASSERT_TRUE(WaitFor([&] { return Rec.Wheels > wheels + 30; }, 5000));
    EXPECT_EQ(pulses, before);
    EXPECT_EQ(whilePaused, 0);
    rw.Continue();
    EXPECT_EQ(rw.State(), vtsOpened);
    const int strokes = Rec.StrokeCount();
    ASSERT_TRUE(WaitFor([&] { return Rec.StrokeCount() >= strokes + 2; }, 15000));
    rw.Close();
    EXPECT_EQ(rw.State(), vtsClosed);
}

TEST_F(RWInterfaceTest, LostPacketsAreCountedAndReported)
{
    setenv("ANTSIM_GAP", "7", 1);
    TRWInterface rw;
    Prepare(rw);
    rw.Open(1, "ANT");
    ASSERT_EQ(rw.State(), vtsOpened);
    ASSERT_TRUE(WaitFor([&] { return rw.LostWheelPackets() >= 3 && Rec.StrokeCount() >= 2; }, 15000));
    // The counters are the radio thread's; its status texts come through the queue.
    EXPECT_TRUE(WaitFor([&] { return Rec.HasStatus("LostWheelPackets = 1"); }, 3000));
    EXPECT_TRUE(Rec.HasStatus("LostWheelPackets = 0"));
    EXPECT_TRUE(Rec.HasStatus("LostWheelPackets = 1"));
    EXPECT_EQ(rw.LostNopePackets(), 0u);
    rw.Close();
}

TEST_F(RWInterfaceTest, FailingLibraryCallEndsTheConnect)
{
    setenv("ANTSIM_FAIL", "ANT_OpenChannel", 1);
    TRWInterface rw;
    Prepare(rw);
    rw.Open(1, "ANT");
    EXPECT_EQ(rw.State(), vtsClosed);
    EXPECT_FALSE(rw.AntConnectedFlag());
    EXPECT_TRUE(Rec.HasStatus("Error with ANT_OpenChannel"));
    EXPECT_TRUE(Rec.HasStatus("Error connecting to ANT device."));
    EXPECT_FALSE(Rec.HasStatus("ANT_SetTransmitPower") && !Rec.HasStatus("ANT_OpenChannel"));
    // A later connect works once the fault is gone.
    unsetenv("ANTSIM_FAIL");
    rw.Open(1, "ANT");
    EXPECT_EQ(rw.State(), vtsOpened);
    rw.Close();
}

TEST_F(RWInterfaceTest, MissingLibraryOrSource)
{
    TRWInterface rw;
    Prepare(rw);
    rw.AntLibrary = "/nonexistent/libant.so";
    rw.Open(1, "ANT");
    ASSERT_EQ(Rec.Errors.size(), 1u);
    EXPECT_EQ(Rec.Errors[0], "AntLib not loaded");
    EXPECT_TRUE(Rec.HasStatus("Error loading AntLib."));
    EXPECT_EQ(rw.State(), vtsClosed);

    rw.AntLibrary = CATCHLINE_ANTSIM;
    rw.Open(1, "");
    ASSERT_EQ(Rec.Errors.size(), 2u);
    EXPECT_EQ(Rec.Errors[1], "No source selected");
}

TEST_F(RWInterfaceTest, ScanningListsTheReceivers)
{
    setenv("ANTSIM_DEVICES", "2", 1);
    TRWInterface rw;
    Prepare(rw);
    ASSERT_TRUE(rw.LoadAntLib());
    EXPECT_EQ(rw.PortList, (std::vector<std::string>{"ANTUSBmStick-1009-1234500", "ANTUSBmStick-1009-1234501"}));
    EXPECT_TRUE(Rec.HasStatus("DevicePID = 4105 ($1009)"));
    EXPECT_TRUE(Rec.HasStatus("Done scanning for ANT devices."));
    EXPECT_TRUE(Rec.HasStatusStarting("AntLibVersion = "));
    rw.UnloadAntLib();
    EXPECT_FALSE(rw.AntLoadedFlag());
    EXPECT_TRUE(Rec.HasStatus("Done unloading AntLib."));
}

TEST_F(RWInterfaceTest, CloseFromInsideTheStrokeHandler)
{
    TRWInterface rw;
    Prepare(rw);
    rw.OnStrokeData = [&](TInterface* s, TStgStrokeData& d) {
        Rec.Strokes.push_back(d);
        if (d.StrokeNumber >= 2) s->Close();
    };
    rw.Open(1, "ANT");
    ASSERT_TRUE(WaitFor([&] { return rw.State() == vtsClosed; }, 15000));
    Pump(100);
    EXPECT_EQ(Rec.StrokeCount(), 2);
    EXPECT_FALSE(rw.AntConnectedFlag());
    // And it connects again afterwards.
    rw.Open(1, "ANT");
    EXPECT_EQ(rw.State(), vtsOpened);
    ASSERT_TRUE(WaitFor([&] { return rw.TotalWheelpackets() > 5; }, 5000));
    rw.Close();
}

TEST_F(RWInterfaceTest, PortTestSeesPackets)
{
    TRWInterface rw;
    Prepare(rw);
    rw.Test(1, "ANT");
    EXPECT_TRUE(rw.ValidSeen);
    EXPECT_EQ(rw.State(), vtsOpened);
    EXPECT_TRUE(Rec.Errors.empty());
    rw.Close();
}

TEST(RWSequences, WheelAndIdleSequenceRules)
{
    EXPECT_TRUE(WheelSequenceFollows(16, 17));
    EXPECT_FALSE(WheelSequenceFollows(17, 19));
    EXPECT_TRUE(WheelSequenceFollows(255, 16));
    EXPECT_FALSE(WheelSequenceFollows(255, 0));
    EXPECT_TRUE(IdleSequenceFollows(254, 255));
    EXPECT_TRUE(IdleSequenceFollows(255, 0));
    EXPECT_FALSE(IdleSequenceFollows(255, 1));
}

TEST(RWReceivers, ListFromTheUsbDeviceTree)
{
    EnsureApp();
    const std::string root = TempFolder();
    auto device = [&](const std::string& name, const std::string& vendor, const std::string& product,
                      const std::string& pid, const std::string& serial) {
        const std::string dir = root + name;
        mkdir(dir.c_str(), 0755);
        std::ofstream(dir + "/idVendor") << vendor << "\n";
        std::ofstream(dir + "/product") << product << "\n";
        std::ofstream(dir + "/idProduct") << pid << "\n";
        std::ofstream(dir + "/serial") << serial << "\n";
    };
    device("1-1", "0fcf", "Dynastream;ANT USB-m_Stick", "1009", "123");
    device("1-2", "0403", "FT232R USB UART", "6001", "A600");
    SetUsbDeviceFolderForTesting(root);
    TRWInterface rw;
    EXPECT_EQ(rw.PortList, std::vector<std::string>{"ANTUSBmStick-1009-123"});
    SetUsbDeviceFolderForTesting("");
}

}  // namespace
