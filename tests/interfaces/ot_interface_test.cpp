// The OTM: frame search and checks, payload conversion, smoothing, and a
// scripted monitor on a pseudo-terminal going through search, accept, workout
// and finish or cancel.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstring>
#include <random>
#include <thread>

#include "interfaces/devices/ot_frames.h"
#include "interfaces/ot_interface.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/testutil_interfaces.h"
#include "util/dialogs.h"

namespace {

std::vector<uint8_t> AlivePayload() { return std::vector<uint8_t>(70, 'I'); }

std::vector<uint8_t> StrokeFrame(uint16_t number, uint16_t energy = 500)
{
    TOTStrokeValues v;
    v.StrokeNumber = number;
    v.PowerX10 = 2125;
    v.StrokeRate = 24;
    v.TimeX10 = uint16_t(25 * number);
    v.StrokeLength = 140;
    v.Distance = uint16_t(10 * number);
    v.Energy = energy;
    v.HeartRate = 150;
    v.A = 80;
    v.B = 160;
    v.Drag = 110;
    v.Interval = 1;
    v.DistancePerStroke = 10;
    for (int i = 0; i < 60; ++i) v.Curve[i] = uint8_t(i < 30 ? i * 3 : (60 - i) * 3);
    return OTDeviceFrame(OTM_STROKEFINISHED, OTStrokePayload(v));
}

void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes)
{
    to.insert(to.end(), bytes.begin(), bytes.end());
}

TEST(OTFrames, GarbageBeforeAFrameIsDroppedAndTheFrameAccepted)
{
    TOTFrameSearch s;
    s.Expected = OTMask(OTM_ALIVE);
    std::vector<uint8_t> bytes = {1, 2, 0xFF, 3, 0xFE, 0xFF, 0xFF, 0x40, 0x22, 9, 9};
    Append(bytes, OTDeviceFrame(OTM_ALIVE, AlivePayload()));
    s.Append(bytes.data(), bytes.size());
    int steps = 0;
    while (s.Kind == otfNone && s.CheckForFrame() && ++steps < 100) {
    }
    ASSERT_EQ(s.Kind, otfAlive);
    EXPECT_EQ(s.Frame.size(), 77u);
    EXPECT_TRUE(s.Buffer().empty());
}

TEST(OTFrames, BadCheckByteFooterOrSizeIsDroppedAndTheNextFrameHandled)
{
    TOTFrameSearch s;
    std::vector<std::string> trace;
    s.Trace = [&](const std::string& l) { trace.push_back(l); };
    s.Expected = OTMask(OTM_STROKEFINISHED);
    auto badCrc = StrokeFrame(1);
    badCrc[90] ^= 0x55;
    auto badFooter = StrokeFrame(2);
    badFooter[92] = 0;
    auto badSize = StrokeFrame(3);
    badSize[2] = 86;
    std::vector<uint8_t> bytes;
    Append(bytes, badCrc);
    Append(bytes, badFooter);
    Append(bytes, badSize);
    Append(bytes, StrokeFrame(4));
    s.Append(bytes.data(), bytes.size());
    std::vector<int> accepted;
    for (int i = 0; i < 1000 && s.CheckForFrame(); ++i)
        if (s.Kind == otfStrokeFinished) accepted.push_back(s.Frame[4]);
    EXPECT_EQ(accepted, std::vector<int>{4});
    bool crcTraced = false;
    for (const auto& l : trace)
        if (l.find("ValidFrameMember : Invalid value for oFrameOTM_STROKEFINISHED.iCRC; received ") == 0)
            crcTraced = true;
    EXPECT_TRUE(crcTraced);
}

TEST(OTFrames, UnexpectedFramesAreSkippedAndIncompleteOnesWaited)
{
    TOTFrameSearch s;
    s.Expected = OTMask(OTM_ALIVE);
    const auto stroke = StrokeFrame(1);
    s.Append(stroke.data(), 50);
    EXPECT_FALSE(s.CheckForFrame());  // waits for the rest
    s.Append(stroke.data() + 50, stroke.size() - 50);
    EXPECT_TRUE(s.CheckForFrame());
    EXPECT_EQ(s.Kind, otfNone);
    EXPECT_TRUE(s.Buffer().empty());
}

TEST(OTFrames, RandomBytesKeepTheBufferBounded)
{
    std::mt19937 rng(7);
    TOTFrameSearch s;
    s.Expected = 0x3E;
    for (int round = 0; round < 2000; ++round) {
        uint8_t chunk[64];
        for (auto& c : chunk) c = uint8_t(rng() % 4 == 0 ? 0xFF : rng());
        s.Append(chunk, sizeof chunk);
        for (int i = 0; i < 200 && s.CheckForFrame(); ++i) {
        }
        ASSERT_LE(s.Buffer().size(), kOTMaxFrame + 64);
    }
}

TEST(OTFrames, PayloadsBecomeRecords)
{
    const auto start = OTDeviceFrame(OTM_STARTWORKOUT, OTStartWorkoutPayload(2, 5000, 3, 240, 60));
    TStgIni ini{};
    ini.Display = 7;
    FillOTIni(start.data(), ini);
    EXPECT_EQ(ini.LimitType, 2);
    EXPECT_EQ(ini.LimitDistance, 5000);
    EXPECT_EQ(ini.LimitTime, 0);
    EXPECT_EQ(ini.IntervalBy, 3);
    EXPECT_EQ(ini.WorkPeriod, 240);
    EXPECT_EQ(ini.WorkTime, 240);
    EXPECT_EQ(ini.RestTime, 60);
    EXPECT_EQ(ini.Weight, 85);
    EXPECT_EQ(ini.Ergometer, 2);
    EXPECT_EQ(ini.Display, 0);

    float energy = 0;
    TStgStrokeData s{};
    TStgForceCurve c{};
    const auto f = StrokeFrame(4, 600);
    FillOTStroke(f.data(), energy, s, c);
    EXPECT_EQ(s.StrokeNumber, 4);
    EXPECT_FLOAT_EQ(s.Power, 212.5f);
    EXPECT_FLOAT_EQ(s.Time, 10.0f);
    EXPECT_FLOAT_EQ(s.Time500, 10.0f / 40.0f * 500.0f);
    EXPECT_FLOAT_EQ(s.Energy, 600.0f);
    EXPECT_FLOAT_EQ(s.EnergySum, 0.6f);
    EXPECT_FLOAT_EQ(s.RecoverRatio, 0.5f);
    EXPECT_FLOAT_EQ(s.DriveTime, 0.8f);
    EXPECT_FLOAT_EQ(s.KValue, 110.0f);
    EXPECT_EQ(c.StrokeNumber, 4);
    EXPECT_EQ(c.HasData, 1);
    EXPECT_EQ(c.Samples[10], 300);
    EXPECT_EQ(c.Samples[60], 0);
    FillOTStroke(f.data(), energy, s, c);
    EXPECT_FLOAT_EQ(energy, 1200.0f);

    const auto fin = OTDeviceFrame(OTM_WORKOUTFINISHED, OTWorkoutFinishedPayload(250000, 20000, 4800));
    TStgWorkout w{};
    FillOTWorkout(fin.data(), w);
    EXPECT_FLOAT_EQ(w.Distance, 2000.0f);
    EXPECT_FLOAT_EQ(w.Time, 480.0f / 86400.0f);
    EXPECT_FLOAT_EQ(w.Energy, 250.0f);
    EXPECT_FLOAT_EQ(w.AveragePower, 250.0f / 480.0f);
}

TEST(OTFrames, SmoothingKeepsTheEndsAndUsesUnsmoothedValues)
{
    TStgForceCurve c{};
    for (int i = 0; i < 80; ++i) c.Samples[i] = uint16_t(i % 2 ? 100 : 0);
    TStgForceCurve three = c;
    SmoothOTCurve(three, 2);
    EXPECT_EQ(three.Samples[0], 0);
    EXPECT_EQ(three.Samples[79], 100);
    EXPECT_EQ(three.Samples[1], 33);  // (0 + 100 + 0) / 3
    EXPECT_EQ(three.Samples[2], 66);  // (100 + 0 + 100) / 3
    TStgForceCurve two = c;
    SmoothOTCurve(two, 1);
    EXPECT_EQ(two.Samples[0], 50);
    EXPECT_EQ(two.Samples[78], 50);
    EXPECT_EQ(two.Samples[79], 100);
    TStgForceCurve none = c;
    SmoothOTCurve(none, 5);
    EXPECT_EQ(0, std::memcmp(none.Samples, c.Samples, sizeof c.Samples));
}

TEST(OTFrames, CommandFramesAndTheirRecognition)
{
    EXPECT_EQ(OTCommandFrame(2), (std::vector<uint8_t>{0xFF, 0xFF, 1, 2, 2, 0xFE, 0xFE}));
    std::vector<uint8_t> rx = {9, 9};
    Append(rx, OTCommandFrame(1));
    Append(rx, {0xFF, 0xFF, 1});
    EXPECT_EQ(TakeOTCommands(rx), std::vector<uint8_t>{1});
    Append(rx, {2, 2, 0xFE, 0xFE});
    EXPECT_EQ(TakeOTCommands(rx), std::vector<uint8_t>{2});
}

// ---- a scripted monitor ---------------------------------------------------------

// Answers like an OTM: ALIVE to the search frame, the workout after the accept.
class TScriptedOTM {
public:
    TScriptedOTM(TPty& pty, std::vector<uint8_t> workout, bool answer = true)
        : Pty(pty), Workout(std::move(workout)), Answer(answer)
    {
        Thread = std::thread([this] { Run(); });
    }
    ~TScriptedOTM()
    {
        Stop = true;
        Thread.join();
    }
    std::atomic<int> Searches{0}, Accepts{0}, Closes{0};

private:
    void Run()
    {
        std::vector<uint8_t> rx;
        while (!Stop) {
            const std::string got = Pty.ReadAvailable();
            rx.insert(rx.end(), got.begin(), got.end());
            for (uint8_t cmd : TakeOTCommands(rx)) {
                if (cmd == 1) {
                    ++Searches;
                    if (Answer && Searches == 2) {
                        std::vector<uint8_t> out = {0x00, 0xFF, 0x12};  // line noise first
                        Append(out, OTDeviceFrame(OTM_ALIVE, AlivePayload()));
                        Pty.Write(std::vector<unsigned char>(out.begin(), out.end()));
                    }
                } else if (cmd == 2) {
                    ++Accepts;
                    Pty.Write(std::vector<unsigned char>(Workout.begin(), Workout.end()));
                } else if (cmd == 3) {
                    ++Closes;
                }
            }
            usleep(2000);
        }
    }
    TPty& Pty;
    std::vector<uint8_t> Workout;
    bool Answer;
    std::atomic<bool> Stop{false};
    std::thread Thread;
};

struct TOTRecorder {
    std::vector<std::string> States;
    std::vector<TStgStrokeData> Strokes;
    std::vector<TStgForceCurve> Curves;
    std::vector<std::string> Errors;
    TStgIni Ini{};
    TStgWorkout Workout{};
    void Attach(TOTInterface& ot)
    {
        ot.OnStateChange = [this](TInterface*, TTarnState, TTarnState n) { States.push_back(TarnStateName(n)); };
        ot.OnStrokeData = [this](TInterface*, TStgStrokeData& d) { Strokes.push_back(d); };
        ot.OnForceCurve = [this](TInterface*, TStgForceCurve& c) { Curves.push_back(c); };
        ot.OnError = [this](TInterface*, const std::string& e) { Errors.push_back(e); };
        ot.OnWorkoutStarted = [this](TInterface* s) { Ini = s->Ini; };
        ot.OnWorkoutFinished = [this](TInterface*, TStgWorkout& w) { Workout = w; };
    }
};

class OTInterfaceTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureApp(); }
    // Searches, time-outs and closes wait a tenth of their time.
    TWaitPace Pace{10};
    TScriptedDialogs Dialogs;
    TDialogScope Scope{Dialogs};
    TOTRecorder Rec;
    TPty Pty;
};

TEST_F(OTInterfaceTest, WholeWorkoutFromSearchToFinish)
{
    std::vector<uint8_t> workout = OTDeviceFrame(OTM_STARTWORKOUT, OTStartWorkoutPayload(0, 30, 0, 0, 0));
    Append(workout, StrokeFrame(1));
    auto corrupt = StrokeFrame(2);
    corrupt[40] ^= 1;  // the check byte no longer fits
    Append(workout, corrupt);
    Append(workout, {0x55, 0x66});
    Append(workout, StrokeFrame(3));
    Append(workout, StrokeFrame(4));
    Append(workout, OTDeviceFrame(OTM_WORKOUTFINISHED, OTWorkoutFinishedPayload(2000, 400, 100)));
    TScriptedOTM device(Pty, workout);
    TOTInterface ot;
    ot.Smoothing = 2;
    Rec.Attach(ot);
    ot.Open(1, Pty.SlavePath());
    ASSERT_TRUE(WaitFor([&] { return ot.State() == vtsClosed; }, 8000));
    const std::vector<std::string> expected = {
        "Opening",   "Closing",         "Closed",         "Searching",       "SearchFound", "Verifying", "Verified",
        "Accepting", "StartingWorkout", "WorkoutStarted", "WorkoutFinished", "Closing",     "Closed"};
    EXPECT_EQ(Rec.States, expected);
    EXPECT_EQ(ot.Source, Pty.SlavePath());
    EXPECT_EQ(ot.Protocol, vtpOTM);
    EXPECT_EQ(ot.Identification, AlivePayload());
    EXPECT_EQ(Rec.Ini.LimitType, 0);
    EXPECT_EQ(Rec.Ini.LimitStrokes, 30);
    ASSERT_EQ(Rec.Strokes.size(), 3u);
    EXPECT_EQ(Rec.Strokes[0].StrokeNumber, 1);
    EXPECT_EQ(Rec.Strokes[1].StrokeNumber, 3);
    EXPECT_EQ(Rec.Strokes[2].StrokeNumber, 4);
    ASSERT_EQ(Rec.Curves.size(), 3u);
    EXPECT_EQ(Rec.Curves[0].Samples[0], 0);
    EXPECT_EQ(Rec.Curves[0].Samples[2], 60);  // (30 + 60 + 90) / 3
    EXPECT_FLOAT_EQ(Rec.Workout.Distance, 40.0f);
    EXPECT_FLOAT_EQ(ot.EnergyAccumulator(), 1500.0f);
    EXPECT_GE(device.Searches.load(), 2);
    EXPECT_EQ(device.Accepts.load(), 1);
    // The monitor reads the close command in its own time (it polls the line).
    EXPECT_TRUE(WaitFor([&] { return device.Closes.load() >= 1; }, 3000));
    EXPECT_TRUE(Rec.Errors.empty());
    EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(OTInterfaceTest, WorkoutCanceledOnTheMonitorBeforeItStarted)
{
    TScriptedOTM device(Pty, OTDeviceFrame(OTM_WORKOUTCANCELED, {}));
    TOTInterface ot;
    Rec.Attach(ot);
    ot.Open(1, Pty.SlavePath());
    EXPECT_EQ(ot.State(), vtsClosed);
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, "Workout canceled");
}

TEST_F(OTInterfaceTest, CanceledWhileWorkingOut)
{
    std::vector<uint8_t> workout = OTDeviceFrame(OTM_STARTWORKOUT, OTStartWorkoutPayload(3, 600, 0, 0, 0));
    Append(workout, StrokeFrame(1));
    Append(workout, OTDeviceFrame(OTM_WORKOUTCANCELED, {}));
    TScriptedOTM device(Pty, workout);
    TOTInterface ot;
    Rec.Attach(ot);
    ot.Open(1, Pty.SlavePath());
    ASSERT_TRUE(WaitFor([&] { return ot.State() == vtsClosed; }, 5000));
    EXPECT_EQ(Rec.Strokes.size(), 1u);
    EXPECT_NE(std::find(Rec.States.begin(), Rec.States.end(), "WorkoutCanceled"), Rec.States.end());
    EXPECT_EQ(Rec.Ini.LimitTime, 600);
}

TEST_F(OTInterfaceTest, SilentMonitorIsNotFoundAndTheUserMayCancel)
{
    TOTInterface ot;
    ot.SearchTimeout = 300;
    Rec.Attach(ot);
    ot.Open(1, Pty.SlavePath());
    EXPECT_EQ(ot.State(), vtsSearchNotFound);
    std::string sent = Pty.ReadAvailable();
    EXPECT_EQ(sent.substr(0, 7), std::string("\xFF\xFF\x01\x01\x01\xFE\xFE", 7));

    TOTRecorder rec2;
    TOTInterface ot2;
    rec2.Attach(ot2);
    int waits = 0;
    ot2.OnWaiting = [&](TInterface*, bool& cancel) { cancel = ++waits >= 3; };
    ot2.Open(1, Pty.SlavePath());
    EXPECT_EQ(ot2.State(), vtsSearchCanceled);
    EXPECT_EQ(waits, 3);
}

TEST_F(OTInterfaceTest, NoWorkoutStartedInTime)
{
    TScriptedOTM device(Pty, {});
    TOTInterface ot;
    ot.WorkoutTimeout = 300;
    Rec.Attach(ot);
    ot.Open(1, Pty.SlavePath());
    EXPECT_EQ(ot.State(), vtsClosed);
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, "Waiting for workout canceled");
}

TEST_F(OTInterfaceTest, DemoDataIsNotSupported)
{
    TOTInterface ot;
    Rec.Attach(ot);
    ot.Open(2, "DEMO");
    ASSERT_EQ(Rec.Errors.size(), 1u);
    EXPECT_EQ(Rec.Errors[0], "Demo data not supported yet");
    EXPECT_EQ(ot.InterfaceType, 3);
    EXPECT_EQ(ot.Port().ClusterSize(), 7);
}

}  // namespace
