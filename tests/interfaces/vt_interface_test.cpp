// The VT interface family over real pseudo-terminals: frames in, strokes out;
// garbage, split frames, pulled cables; pause, continue and close from inside
// handlers; the port test; the OD and VT3 wired variants.
#include <gtest/gtest.h>

#include <thread>

#include "interfaces/delay.h"
#include "interfaces/devices/vt_encoder.h"
#include "interfaces/serial/usb_devices.h"
#include "interfaces/vt_interface.h"
#include "tests/support/testutil_interfaces.h"
#include "util/text.h"
#include "util/virtual_env.h"

namespace {

struct TRecorder {
    std::vector<std::string> States;
    std::vector<TStgStrokeData> Strokes;
    std::vector<std::string> Errors;
    int RawData = 0;
    int ProtocolErrors = 0;
    int ForceSamples = 0;

    void Attach(TVTInterface& i)
    {
        i.OnStateChange = [this](TInterface*, TTarnState, TTarnState n) { States.push_back(TarnStateName(n)); };
        i.OnStrokeData = [this](TInterface*, TStgStrokeData& d) { Strokes.push_back(d); };
        i.OnError = [this](TInterface*, const std::string& e) { Errors.push_back(e); };
        i.OnRawData = [this](TInterface*, double, int, int) { ++RawData; };
        i.OnProtocolError = [this](TInterface*) { ++ProtocolErrors; };
        i.OnForceData = [this](TInterface*, int, double, double, double) { ++ForceSamples; };
    }
    // Strokes that ended a drive (standstill updates repeat the last number).
    int StrokeCount() const { return Strokes.empty() ? 0 : Strokes.back().StrokeNumber; }
};

class VTInterfaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        Vt.ProtocolSet = {vtpVtw};
        Vt.DoCalculate = true;
        Rec.Attach(Vt);
    }
    // Port tests and closes wait a tenth of their time.
    TWaitPace Pace{10};
    // Destroyed in reverse: the interface first (its Close still reports to Rec).
    int AllPulses = 0, AllStrokes = 0;
    TRecorder Rec;
    TPty Pty;
    TVTInterface Vt;
};

TEST_F(VTInterfaceTest, FramesBecomeStrokes)
{
    Vt.Open(1, Pty.SlavePath());
    EXPECT_EQ(Vt.State(), vtsOpening);
    const auto ticks = RowingTicks(6);
    ASSERT_TRUE(Pty.Write(VTFrames(ticks, vtpVtw)));
    ASSERT_TRUE(WaitFor([&] { return Rec.RawData >= int(ticks.size()); }, 5000));
    EXPECT_EQ(Vt.State(), vtsOpened);
    EXPECT_EQ(Vt.Protocol, vtpVtw);
    EXPECT_TRUE(Vt.ValidSeen);
    EXPECT_EQ(Rec.ProtocolErrors, 0);
    EXPECT_GE(Rec.StrokeCount(), 4);
    for (size_t k = 1; k < Rec.Strokes.size(); ++k)
        EXPECT_GE(Rec.Strokes[k].StrokeNumber, Rec.Strokes[k - 1].StrokeNumber);
    EXPECT_GT(Rec.Strokes.back().Power, 0.0f);
    EXPECT_GT(Rec.ForceSamples, 0);
    EXPECT_EQ(Vt.HeartRaw(), 120);
    Vt.Close();
    EXPECT_EQ(Vt.State(), vtsClosed);
    EXPECT_TRUE(Rec.Errors.empty());
}

TEST_F(VTInterfaceTest, GarbageAndBurstsOfProtocolErrorsAreSkipped)
{
    Vt.Open(1, Pty.SlavePath());
    const auto ticks = RowingTicks(5);
    // 0xFF can never start a frame (byte 0 needs bit 0 clear).
    std::string stream;
    const std::string frames = VTFrames(ticks, vtpVtw);
    for (size_t i = 0; i < frames.size(); i += 4) {
        stream.append(frames, i, 4);
        if (i % 40 == 0) stream.append(3, char(0xFF));
        if (i == frames.size() / 8 * 4) stream.append(5000, char(0xFF));
    }
    ASSERT_TRUE(Pty.Write(stream));
    ASSERT_TRUE(WaitFor([&] { return Rec.RawData >= int(ticks.size()); }, 8000));
    const int expectedErrors = 5000 + 3 * int((frames.size() + 39) / 40);
    EXPECT_EQ(Rec.ProtocolErrors, expectedErrors);
    EXPECT_GE(Rec.StrokeCount(), 3);
    EXPECT_LE(Vt.Input().Buffered(), 3u);
}

TEST_F(VTInterfaceTest, FramesSplitAcrossClustersAreJoined)
{
    Vt.Open(1, Pty.SlavePath());
    const auto ticks = RowingTicks(2);
    const std::string frames = VTFrames(ticks, vtpVtw);
    for (size_t i = 0; i < frames.size(); i += 6) {
        ASSERT_TRUE(Pty.Write(frames.substr(i, 6)));
        if (i % 60 == 0) Pump(2);
    }
    ASSERT_TRUE(WaitFor([&] { return Rec.RawData >= int(ticks.size()); }, 5000));
    EXPECT_EQ(Rec.RawData, int(ticks.size()));
    EXPECT_EQ(Rec.ProtocolErrors, 0);
}

TEST_F(VTInterfaceTest, EmptyProtocolSetRecognisesNothing)
{
    Vt.ProtocolSet = {};
    Vt.Open(1, Pty.SlavePath());
    ASSERT_TRUE(Pty.Write(VTFrames(RowingTicks(1), vtpVtw).substr(0, 400)));
    ASSERT_TRUE(WaitFor([&] { return Rec.ProtocolErrors >= 397; }));
    EXPECT_EQ(Vt.State(), vtsOpening);
    EXPECT_FALSE(Vt.ValidSeen);
    EXPECT_TRUE(Vt.DataSeen);
    EXPECT_EQ(Rec.RawData, 0);
}

TEST_F(VTInterfaceTest, FewerThanFourBytesBeforeTheFirstFrameAreIgnored)
{
    Vt.Open(1, Pty.SlavePath());
    ASSERT_TRUE(Pty.Write(std::string("\xFF\xFF\xFF", 3)));
    ASSERT_TRUE(WaitFor([&] { return Vt.DataSeen; }, 2000));
    EXPECT_EQ(Rec.ProtocolErrors, 0);
    ASSERT_TRUE(Pty.Write(VTFrames({9000, 9000}, vtpVtw)));
    ASSERT_TRUE(WaitFor([&] { return Rec.RawData >= 2; }));
    EXPECT_EQ(Rec.ProtocolErrors, 0);
    EXPECT_EQ(Vt.State(), vtsOpened);
}

TEST_F(VTInterfaceTest, PulledCableReportsOnceClosesAndKeepsTheStrokes)
{
    Vt.Open(1, Pty.SlavePath());
    ASSERT_TRUE(Pty.Write(VTFrames(RowingTicks(4), vtpVtw)));
    ASSERT_TRUE(WaitFor([&] { return Rec.StrokeCount() >= 2; }, 5000));
    Pump(100);
    const size_t strokes = Rec.Strokes.size();
    Pty.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return Vt.State() == vtsClosed; }, 3000));
    Pump(200);
    ASSERT_EQ(Rec.Errors.size(), 1u);
    EXPECT_EQ(Rec.Errors[0].rfind("ComPort : Error reading Data (Error 5 ", 0), 0u);
    EXPECT_GE(Rec.Strokes.size(), strokes);
    EXPECT_FALSE(Vt.Port().Active());
}

TEST_F(VTInterfaceTest, CloseFromInsideTheStrokeHandler)
{
    Vt.OnStrokeData = [this](TInterface* s, TStgStrokeData& d) {
        Rec.Strokes.push_back(d);
        if (d.StrokeNumber == 2) s->Close();
    };
    Vt.Open(1, Pty.SlavePath());
    ASSERT_TRUE(Pty.Write(VTFrames(RowingTicks(6), vtpVtw)));
    ASSERT_TRUE(WaitFor([&] { return Vt.State() == vtsClosed; }, 5000));
    Pump(200);
    EXPECT_EQ(Rec.StrokeCount(), 2);
    EXPECT_EQ(std::count(Rec.States.begin(), Rec.States.end(), "Closed"), 1);
    EXPECT_TRUE(Rec.Errors.empty());
}

TEST_F(VTInterfaceTest, PauseAndContinueFromInsideHandlersWithEventOrder)
{
    bool paused = false;
    Vt.OnStrokeData = [&](TInterface* s, TStgStrokeData& d) {
        Rec.Strokes.push_back(d);
        if (d.StrokeNumber == 1 && !paused) {
            paused = true;
            s->Pause();
        }
    };
    Vt.Open(1, Pty.SlavePath());
    ASSERT_TRUE(Pty.Write(VTFrames(RowingTicks(3), vtpVtw)));
    ASSERT_TRUE(WaitFor([&] { return Vt.State() == vtsPaused; }, 5000));
    Pump(300);  // bytes received while paused are dropped
    const int rawWhilePaused = Rec.RawData;
    ASSERT_TRUE(Pty.Write(VTFrames(RowingTicks(1), vtpVtw)));
    Pump(300);
    EXPECT_EQ(Rec.RawData, rawWhilePaused);
    Vt.Continue();
    EXPECT_EQ(Vt.State(), vtsOpened);
    // The rower stopped during the pause: the flywheel stands still first.
    ASSERT_TRUE(Pty.Write(VTFrames({0, 0, 0, 0}, vtpVtw) + VTFrames(RowingTicks(3), vtpVtw)));
    ASSERT_TRUE(WaitFor([&] { return Rec.StrokeCount() >= 3; }, 5000));
    Vt.Close();
    const std::vector<std::string> expected = {"Opening",   "Opened", "Pausing", "Paused", "Continueing",
                                               "Continued", "Opened", "Closing", "Closed"};
    EXPECT_EQ(Rec.States, expected);
}

TEST_F(VTInterfaceTest, PauseFromAStrokeHandlerStopsTheRestOfTheCluster)
{
    // The frames after the one that ended the stroke arrive in the same
    // cluster; once the handler paused, none of them may become a pulse,
    // a force sample or a stroke.
    int afterPause = 0;
    bool paused = false;
    Vt.OnStrokeData = [&](TInterface* s, TStgStrokeData& d) {
        if (paused) ++afterPause;
        Rec.Strokes.push_back(d);
        if (d.StrokeNumber == 1 && !paused) {
            s->Pause();
            paused = true;
        }
    };
    Vt.OnRawData = [&](TInterface*, double, int, int) {
        if (paused) ++afterPause;
        ++Rec.RawData;
    };
    Vt.OnForceData = [&](TInterface*, int, double, double, double) {
        if (paused) ++afterPause;
    };
    Vt.Open(1, Pty.SlavePath());
    ASSERT_TRUE(Pty.Write(VTFrames(RowingTicks(4), vtpVtw)));
    ASSERT_TRUE(WaitFor([&] { return paused; }, 5000));
    Pump(400);
    EXPECT_EQ(Vt.State(), vtsPaused);
    EXPECT_EQ(afterPause, 0);
    EXPECT_EQ(Vt.Input().Buffered(), 0u);
    // Continued: the rower rows on.
    paused = false;
    const int strokes = Rec.StrokeCount();
    Vt.Continue();
    ASSERT_TRUE(Pty.Write(VTFrames(RowingTicks(4), vtpVtw)));
    ASSERT_TRUE(WaitFor([&] { return Rec.StrokeCount() >= strokes + 3; }, 5000));
    Vt.Close();
}

TEST_F(VTInterfaceTest, FastDemoPlaysOneSamplePerTimerCall)
{
    // DemoFast without a demo step, at a user's pace: the 1 ms timer plays
    // one sample per call (about eleven times real time), not a stretch of
    // the recording.
    Vt.DemoFile = WriteRawFile("pace_fast.dat", RowingTicks(30));
    Vt.DemoFast = true;
    Vt.DemoStepMs = 0;
    {
        TWaitPace userPace{1};
        Vt.Open(2, "DEMO");
        ASSERT_EQ(Vt.State(), vtsOpened);
        const int before = Rec.RawData;
        for (int i = 0; i < 50; ++i) Vt.DemoTimer();
        EXPECT_GE(Rec.RawData - before, 49);
        EXPECT_LE(Rec.RawData - before, 52);
        // With a demo step each call plays that much of the recording.
        Vt.DemoStepMs = 250;
        const int stepped = Rec.RawData;
        for (int i = 0; i < 10; ++i) Vt.DemoTimer();
        EXPECT_GT(Rec.RawData - stepped, 100);
    }
    // The tests' wait pace plays a quick stretch per call even without a step.
    SetWaitPace(10);
    Vt.DemoStepMs = 0;
    const int paced = Rec.RawData;
    for (int i = 0; i < 3; ++i) Vt.DemoTimer();
    EXPECT_GT(Rec.RawData - paced, 100);
    Vt.Close();
}

TEST_F(VTInterfaceTest, FastDemoPausedInAHandlerLosesAndRepeatsNoSample)
{
    // DemoFast plays many samples per timer call; a handler that pauses ends
    // that burst at once, and after Continue playback goes on with the next
    // sample: every sample is played exactly once.
    Vt.DemoFile = WriteRawFile("pause_fast.dat", RowingTicks(8));
    Vt.DemoFast = true;
    {
        TVTInterface whole;
        whole.ProtocolSet = {vtpVtw};
        whole.DoCalculate = true;
        whole.DemoFast = true;
        whole.DemoFile = Vt.DemoFile;
        TRecorder all;
        all.Attach(whole);
        whole.Open(2, "DEMO");
        ASSERT_TRUE(WaitFor([&] { return whole.State() == vtsClosed; }, 10000));
        AllPulses = all.RawData;
        AllStrokes = all.StrokeCount();
    }
    ASSERT_GT(AllPulses, 1000);
    ASSERT_GE(AllStrokes, 6);
    int afterPause = 0;
    std::vector<int> pausedAt;
    Vt.OnStrokeData = [&](TInterface* s, TStgStrokeData& d) {
        Rec.Strokes.push_back(d);
        if (s->State() == vtsPaused) ++afterPause;
        if (d.StrokeNumber == 2 || d.StrokeNumber == 5) {
            pausedAt.push_back(Rec.RawData);
            s->Pause();
        }
    };
    Vt.OnRawData = [&](TInterface* s, double, int, int) {
        if (s->State() == vtsPaused) ++afterPause;
        ++Rec.RawData;
    };
    Vt.Open(2, "DEMO");
    for (int k = 0; k < 2; ++k) {
        ASSERT_TRUE(WaitFor([&] { return Vt.State() == vtsPaused; }, 5000)) << k;
        Pump(50);
        EXPECT_EQ(afterPause, 0);
        EXPECT_FALSE(Vt.TimerRunning());
        Vt.Continue();
    }
    ASSERT_TRUE(WaitFor([&] { return Vt.State() == vtsClosed; }, 10000));
    EXPECT_EQ(pausedAt.size(), 2u);
    EXPECT_EQ(Rec.RawData, AllPulses);
    EXPECT_EQ(Rec.StrokeCount(), AllStrokes);
}

TEST_F(VTInterfaceTest, SerialTraceShowsEveryClusterAndLeavesItForTheProtocol)
{
    // With TraceSerial every received cluster is traced as hex; the trace
    // only peeks, so the frames still become pulses, each exactly once.
    TTraceCollector trace;
    Vt.TraceSerial = true;
    Vt.Open(1, Pty.SlavePath());
    const std::vector<uint16_t> ticks = {9000, 9100, 9200, 9300};
    const std::string frames = VTFrames(ticks, vtpVtw);
    ASSERT_TRUE(Pty.Write(frames));
    ASSERT_TRUE(WaitFor([&] { return Rec.RawData >= 4; }));
    Pump(100);
    EXPECT_EQ(Rec.RawData, 4);
    std::string traced;
    for (const std::string& line : trace.Lines()) {
        const size_t at = line.find("RxCluster : ");
        if (at != std::string::npos) traced += line.substr(at + 12);
    }
    std::string hex;
    for (unsigned char c : frames) hex += Format("%02X ", c);
    EXPECT_EQ(traced, hex);
    EXPECT_TRUE(trace.Contains("State " + Pty.SlavePath() + " Closed -> Opening (VT Interface)"));
    EXPECT_TRUE(trace.Contains("State " + Pty.SlavePath() + " Opening -> Opened (VT Interface)"));
    Vt.Close();
    EXPECT_TRUE(trace.Contains("State " + Pty.SlavePath() + " Closing -> Closed (VT Interface)"));
}

TEST_F(VTInterfaceTest, WithoutSerialTraceNoSerialEventIsTraced)
{
    TTraceCollector trace;
    Vt.Open(1, Pty.SlavePath());
    ASSERT_TRUE(Pty.Write(VTFrames({9000, 9100, 9200, 9300}, vtpVtw)));
    ASSERT_TRUE(WaitFor([&] { return Rec.RawData >= 4; }));
    for (const std::string& line : trace.Lines()) EXPECT_EQ(line.find("RxCluster"), std::string::npos) << line;
    EXPECT_TRUE(trace.Contains(" -> Opened (VT Interface)"));
}

TEST_F(VTInterfaceTest, HandlersThatPumpEventsKeepEveryPulseInOrder)
{
    std::vector<double> wheels;
    Vt.OnRawData = [&](TInterface*, double wheel, int, int) {
        wheels.push_back(wheel);
        Rec.RawData++;
        // A handler that waits with events flowing: the receive handler is
        // entered again meanwhile and must leave those clusters for later.
        if (wheels.size() % 40 == 0) Delay(15);
    };
    Vt.Open(1, Pty.SlavePath());
    std::vector<uint16_t> ticks;
    for (int i = 0; i < 600; ++i) ticks.push_back(uint16_t(7000 + (i % 50) * 20));
    ASSERT_TRUE(Pty.Write(VTFrames(ticks, vtpVtw)));
    ASSERT_TRUE(WaitFor([&] { return wheels.size() >= ticks.size(); }, 10000));
    Pump(100);
    ASSERT_EQ(wheels.size(), ticks.size());
    for (size_t i = 0; i < ticks.size(); ++i) ASSERT_NEAR(wheels[i], ticks[i] / 614000.0, 1e-6) << i;
}

TEST_F(VTInterfaceTest, SilentDeviceKeepsTheInterfaceOpenUntilClosed)
{
    Vt.Open(1, Pty.SlavePath());
    ASSERT_TRUE(Pty.Write(VTFrames(RowingTicks(1), vtpVtw)));
    ASSERT_TRUE(WaitFor([&] { return Vt.State() == vtsOpened; }));
    Pump(600);  // the device says nothing more
    EXPECT_EQ(Vt.State(), vtsOpened);
    EXPECT_TRUE(Rec.Errors.empty());
    Vt.Close();
    EXPECT_EQ(Vt.State(), vtsClosed);
    EXPECT_FALSE(Vt.Port().Active());
}

TEST_F(VTInterfaceTest, PortTestWithoutDataReportsNoData)
{
    Vt.Test(1, Pty.SlavePath());
    EXPECT_FALSE(Vt.ValidSeen);
    EXPECT_EQ(Vt.State(), vtsOpening);
    ASSERT_EQ(Rec.Errors.size(), 1u);
    EXPECT_EQ(Rec.Errors[0], "ComPort : No data");
    Vt.Close();
}

TEST_F(VTInterfaceTest, PortTestWithGarbageReportsNoValidDataAndWithFramesSucceeds)
{
    std::thread device([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        Pty.Write(std::string(64, char(0xFF)));
    });
    Vt.Test(1, Pty.SlavePath());
    device.join();
    ASSERT_EQ(Rec.Errors.size(), 1u);
    EXPECT_EQ(Rec.Errors[0], "ComPort : No valid data");
    Vt.Close();

    Rec.Errors.clear();
    std::thread device2([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        Pty.Write(VTFrames({9000, 9000, 9000}, vtpVtw));
    });
    Vt.Test(1, Pty.SlavePath());
    device2.join();
    EXPECT_TRUE(Vt.ValidSeen);
    EXPECT_EQ(Vt.State(), vtsOpened);
    EXPECT_TRUE(Rec.Errors.empty());
}

TEST_F(VTInterfaceTest, MissingSourceAndMissingPort)
{
    Vt.Open(1, "");
    ASSERT_EQ(Rec.Errors.size(), 1u);
    EXPECT_EQ(Rec.Errors[0], "No source selected");
    EXPECT_EQ(Vt.State(), vtsClosed);
    Vt.Open(1, "/dev/catchline-missing");
    ASSERT_EQ(Rec.Errors.size(), 2u);
    EXPECT_EQ(Rec.Errors[1], "ComPort : Error reopening Port (Error 2 No such file or directory - 112)");
    EXPECT_EQ(Vt.State(), vtsClosed);
}

TEST_F(VTInterfaceTest, RawLogReplaysAsDemoData)
{
    const std::string log = TempFolder() + "session.dat";
    Vt.RawLogFile = log;
    Vt.Open(1, Pty.SlavePath());
    const auto ticks = RowingTicks(3);
    ASSERT_TRUE(Pty.Write(VTFrames(ticks, vtpVtw, 100)));
    ASSERT_TRUE(WaitFor([&] { return Rec.RawData >= int(ticks.size()); }, 5000));
    const int liveStrokes = Rec.StrokeCount();
    Vt.Close();

    TVTInterface replay;
    TRecorder rec;
    rec.Attach(replay);
    replay.ProtocolSet = {vtpVtw};
    replay.DoCalculate = true;
    replay.DemoFast = true;
    replay.DemoFile = log;
    replay.Open(2, "DEMO");
    ASSERT_TRUE(WaitFor([&] { return replay.State() == vtsClosed; }, 10000));
    EXPECT_EQ(rec.RawData, int(ticks.size()));
    EXPECT_EQ(rec.StrokeCount(), liveStrokes);
    EXPECT_EQ(replay.HeartRaw(), 100);
}

// ---- demo data ------------------------------------------------------------------

TEST_F(VTInterfaceTest, DemoFilePlaysToItsEndAndClosesItself)
{
    Vt.DemoFast = true;
    const auto ticks = RowingTicks(5);
    Vt.DemoFile = WriteRawFile("demo.dat", ticks);
    Vt.Open(2, "DEMO");
    EXPECT_EQ(Vt.Source, "DEMO");
    EXPECT_EQ(Vt.SourceName(), "Demodata");
    EXPECT_EQ(Vt.Protocol, vtpVtw);
    ASSERT_TRUE(WaitFor([&] { return Vt.State() == vtsClosed; }, 10000));
    EXPECT_EQ(Rec.RawData, int(ticks.size()));
    EXPECT_GE(Rec.StrokeCount(), 4);
    EXPECT_EQ(Rec.States.front(), "Opening");
    EXPECT_EQ(Rec.States[1], "Opened");
    EXPECT_TRUE(Rec.Errors.empty());
}

TEST_F(VTInterfaceTest, DemoFileErrors)
{
    const std::string folder = TempFolder();
    auto write = [&](const std::string& name, const std::string& bytes) {
        FILE* f = std::fopen((folder + name).c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return folder + name;
    };
    Vt.DemoFile = write("short.dat", "MIL \x01\x02\x03");
    Vt.Open(2, "DEMO");
    ASSERT_EQ(Rec.Errors.size(), 1u);
    EXPECT_EQ(Rec.Errors[0], "DemoOpen 1 : Filesize");
    EXPECT_EQ(Vt.State(), vtsClosed);

    Vt.DemoFile = write("magic.dat", std::string("MIX \0\0\0\0\x10\x20\x30", 11));
    Vt.Open(2, "DEMO");
    ASSERT_EQ(Rec.Errors.size(), 2u);
    EXPECT_EQ(Rec.Errors[1], "DemoOpen 1 : Invalid file");

    // A header alone opens and ends at once.
    Rec.States.clear();
    Vt.DemoFile = write("empty.dat", std::string("MIL \0\0\0\0", 8));
    Vt.Open(2, "DEMO");
    EXPECT_EQ(Vt.State(), vtsClosed);
    EXPECT_EQ(Rec.Errors.size(), 2u);
    EXPECT_EQ(Rec.RawData, 0);
    EXPECT_EQ(Rec.States.back(), "Closed");
}

TEST_F(VTInterfaceTest, DemoPausesAndContinuesInRealTime)
{
    TWaitPace realTime{1};
    Vt.DemoFile = WriteRawFile("slow.dat", RowingTicks(20));
    Vt.Open(2, "DEMO");
    ASSERT_TRUE(WaitFor([&] { return Rec.RawData > 10; }, 2000));
    Vt.Pause();
    EXPECT_EQ(Vt.State(), vtsPaused);
    EXPECT_FALSE(Vt.TimerRunning());
    const int before = Rec.RawData;
    Pump(200);
    EXPECT_EQ(Rec.RawData, before);
    Vt.Continue();
    EXPECT_EQ(Vt.State(), vtsOpened);
    EXPECT_TRUE(Vt.TimerRunning());
    // Real-time pacing: about 80 pulses per second, not the whole file at once.
    Pump(250);
    EXPECT_GT(Rec.RawData, before);
    EXPECT_LT(Rec.RawData, before + 200);
    Vt.Close();
    EXPECT_FALSE(Vt.TimerRunning());
}

// ---- OD and VT3 wired -------------------------------------------------------------

TEST(ODInterface, BannerOpensAndLinesArePulses)
{
    EnsureApp();
    TPty pty;
    TODInterface od;
    TRecorder rec;
    rec.Attach(od);
    od.DoCalculate = true;
    EXPECT_EQ(od.InterfaceType, 5);
    EXPECT_FALSE(od.UseRTS);
    EXPECT_EQ(od.Port().BaudRate(), 115200u);
    od.Open(1, pty.SlavePath());
    std::string sent;
    ASSERT_TRUE(WaitFor([&] {
        sent += pty.ReadAvailable();
        return sent.size() >= 2;
    }));
    EXPECT_EQ(sent, "\r\n");
    // Lines before the banner do not open the interface.
    ASSERT_TRUE(pty.Write(EncodeODLine(0.012, true) + EncodeODLine(0.012, true)));
    Pump(400);
    EXPECT_EQ(od.State(), vtsOpening);
    EXPECT_EQ(rec.RawData, 0);
    std::string lines = std::string("noise line\r\n") + kODBanner;
    const auto ticks = RowingTicks(3);
    for (uint16_t t : ticks) lines += EncodeODLine(t / 614000.0, true);
    ASSERT_TRUE(pty.Write(lines));
    // The banner line counts as one more pulse with the previous interval.
    ASSERT_TRUE(WaitFor([&] { return rec.RawData >= int(ticks.size()) + 1; }, 5000));
    Pump(100);
    EXPECT_EQ(rec.RawData, int(ticks.size()) + 1);
    EXPECT_EQ(od.State(), vtsOpened);
    EXPECT_EQ(od.Protocol, vtpOTDebug);
    EXPECT_EQ(rec.ProtocolErrors, 0);
    EXPECT_NEAR(od.CurrentInterval(), 0.0150, 0.0002);
    od.Close();
}

TEST(ODInterface, GreetingIsSentAndTracedWithItsWriteDone)
{
    EnsureApp();
    TTraceCollector trace;
    TPty pty;
    TODInterface od;
    od.TraceSerial = true;
    od.Open(1, pty.SlavePath());
    std::string sent;
    ASSERT_TRUE(WaitFor([&] {
        sent += pty.ReadAvailable();
        return sent.size() >= 2;
    }));
    EXPECT_EQ(sent, "\r\n");
    EXPECT_TRUE(trace.Contains("Send = 0D 0A "));
    ASSERT_TRUE(WaitFor([&] { return trace.Contains("WriteDone : "); }));
    od.Close();
    EXPECT_EQ(od.State(), vtsClosed);
}

TEST(VXInterface, AdapterPortsDescriptionAndBothWiredProtocols)
{
    EnsureApp();
    SetVirtualEnvironmentForTesting("");
    TPty pty;
    SetUsbSerialPortsForTesting(std::vector<TUsbSerialPort>{{"/dev/ttyUSB7", kFtdiVendor, kFtdiProduct, "FT1234AB"}});
    {
        TVXInterface vx;
        EXPECT_EQ(vx.PortList, std::vector<std::string>{"/dev/ttyUSB7"});
        EXPECT_TRUE(vx.ProtocolSet.Contains(vtpVtw));
        EXPECT_TRUE(vx.ProtocolSet.Contains(vtpVT3W));
        TRecorder rec;
        rec.Attach(vx);
        vx.Open(1, pty.SlavePath());
        EXPECT_EQ(vx.Description, "?");
        ASSERT_TRUE(pty.Write(VTFrames({8000, 8000, 8000, 8000}, vtpVT3W)));
        ASSERT_TRUE(WaitFor([&] { return rec.RawData >= 4; }));
        EXPECT_EQ(vx.State(), vtsOpened);
        vx.Close();
        EXPECT_EQ(vx.Description, "");
    }
    SetUsbSerialPortsForTesting(std::vector<TUsbSerialPort>{});
    {
        TVXInterface vx;
        EXPECT_TRUE(vx.PortList.empty());
    }
    SetUsbSerialPortsForTesting(std::nullopt);
}

}  // namespace
