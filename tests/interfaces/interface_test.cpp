// The interface base: state machine and event order, error reporting once per
// open, the single timer, and the Brax placeholder.
#include <gtest/gtest.h>

#include <cerrno>

#include <QCoreApplication>
#include <QTimer>

#include "interfaces/interface.h"
#include "interfaces/vt_interface.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/testutil_interfaces.h"
#include "util/dialogs.h"

namespace {

// Records every event of an interface as one text each.
struct TEventLog {
    std::vector<std::string> Events;

    void Attach(TInterface& i)
    {
        i.OnStateChange = [this](TInterface*, TTarnState o, TTarnState n) {
            Events.push_back("change " + TarnStateName(o) + ">" + TarnStateName(n));
        };
        auto note = [this](const char* name) { return [this, name](TInterface*) { Events.push_back(name); }; };
        i.OnClosing = note("Closing");
        i.OnClosed = note("Closed");
        i.OnOpening = note("Opening");
        i.OnOpened = note("Opened");
        i.OnPausing = note("Pausing");
        i.OnPaused = note("Paused");
        i.OnContinueing = note("Continueing");
        i.OnContinued = note("Continued");
        i.OnError = [this](TInterface*, const std::string& e) { Events.push_back("error " + e); };
    }
    int Count(const std::string& e) const { return int(std::count(Events.begin(), Events.end(), e)); }
};

class InterfaceTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureApp(); }
};

TEST_F(InterfaceTest, BraxOpenPassesThroughOpeningAndEndsClosed)
{
    TBXInterface bx;
    EXPECT_EQ(bx.InterfaceType, 4);
    EXPECT_TRUE(bx.ProtocolSet.Contains(vtpBrax));
    TEventLog log;
    log.Attach(bx);
    bx.Test(1, "/dev/ttyS0");
    EXPECT_EQ(bx.State(), vtsClosed);
    EXPECT_FALSE(bx.ValidSeen);
    EXPECT_EQ(bx.Source, "");
    const std::vector<std::string> expected = {"change Closed>Opening", "Opening", "change Opening>Closing", "Closing",
                                               "change Closing>Closed", "Closed"};
    EXPECT_EQ(log.Events, expected);
}

TEST_F(InterfaceTest, BraxDemoReportsNotSupportedAndStaysOpening)
{
    TBXInterface bx;
    TEventLog log;
    log.Attach(bx);
    bx.Test(2, "DEMO");
    EXPECT_EQ(log.Count("error Demo data not supported yet"), 1);
    EXPECT_EQ(bx.State(), vtsOpening);
    bx.Close();
    EXPECT_EQ(bx.State(), vtsClosed);
}

TEST_F(InterfaceTest, UnknownSourceTypeIsReportedOnceAndLeavesTheInterfaceClosed)
{
    TBXInterface bx;
    TEventLog log;
    log.Attach(bx);
    bx.Open(7, "x");
    EXPECT_EQ(log.Count("error No device selected"), 1);
    EXPECT_EQ(bx.State(), vtsClosed);
    EXPECT_EQ(log.Count("Closed"), 1);
}

TEST_F(InterfaceTest, OneErrorReportPerOpenThroughTheDialogService)
{
    TScriptedDialogs dialogs;
    TDialogScope scope(dialogs);
    T__Interface i;
    i.Open(1, "x");  // the do-nothing interface stays opening
    EXPECT_EQ(i.State(), vtsOpening);
    i.ShowError("first");
    i.ShowError("second");
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].Text, "first");
    EXPECT_EQ(dialogs.Messages[0].Kind, TMsgKind::Error);
    // Opening again (the do-nothing Close left it opening: force it closed).
    i.SetState(vtsClosed);
    i.Open(1, "x");
    i.ShowError("third");
    ASSERT_EQ(dialogs.Messages.size(), 2u);
    EXPECT_EQ(dialogs.LastText(), "third");
}

TEST_F(InterfaceTest, OpenWhileOpenDoesNothing)
{
    T__Interface i;
    TEventLog log;
    log.Attach(i);
    i.Open(1, "a");
    const auto before = log.Events;
    i.Open(2, "b");
    i.Open(9, "c");
    EXPECT_EQ(log.Events, before);
    EXPECT_EQ(i.Source, "a");
    EXPECT_EQ(i.SourceName(), "a");
}

TEST_F(InterfaceTest, SettingTheSameStateFiresNothing)
{
    T__Interface i;
    TEventLog log;
    log.Attach(i);
    i.SetState(vtsClosed);
    EXPECT_TRUE(log.Events.empty());
    i.SetState(vtsPaused);
    i.SetState(vtsPaused);
    EXPECT_EQ(log.Events, (std::vector<std::string>{"change Closed>Paused", "Paused"}));
}

TEST_F(InterfaceTest, WorkoutStateEventsCarryTheirRecords)
{
    T__Interface i;
    i.Ini.LimitType = 3;
    i.Workout.Distance = 2000;
    int seenLimit = -1;
    float seenDistance = -1;
    i.OnStartingWorkout = [&](TInterface*, TStgIni& ini) { seenLimit = ini.LimitType; };
    i.OnWorkoutFinished = [&](TInterface*, TStgWorkout& w) { seenDistance = w.Distance; };
    i.SetState(vtsStartingWorkout);
    i.SetState(vtsWorkoutFinished);
    EXPECT_EQ(seenLimit, 3);
    EXPECT_EQ(seenDistance, 2000.0f);
}

TEST_F(InterfaceTest, SerialErrorTextNamesTheCodeAndPlace)
{
    const std::string denied = TInterface::SerialErrorText("Error reopening Port", EACCES, 112);
    EXPECT_EQ(denied.rfind("ComPort : Error reopening Port (Error 13 Permission denied - 112)\r"
                           "Please check the port and interface cable.\r",
                           0),
              0u);
    EXPECT_NE(denied.find("dialout"), std::string::npos);
    EXPECT_EQ(TInterface::SerialErrorText("Error reading Data", EIO, 9804),
              "ComPort : Error reading Data (Error 5 Input/output error - 9804)");
}

TEST_F(InterfaceTest, SingleTimerIsReplacedAndMayStopItselfInItsHandler)
{
    T__Interface i;
    int a = 0, b = 0;
    i.StartTimer(5, [&] { ++a; });
    i.StartTimer(5, [&] {
        ++b;
        i.StopTimer();
    });
    Pump(100);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
    EXPECT_FALSE(i.TimerRunning());
}

TEST_F(InterfaceTest, ErrorRaisedInATimerHandlerIsReported)
{
    TBXInterface bx;
    TEventLog log;
    log.Attach(bx);
    bx.StartTimer(5, [] { throw ETarnError("boom"); });
    Pump(60);
    EXPECT_EQ(log.Count("error boom"), 1);
}

TEST_F(InterfaceTest, InterfaceTypeNames)
{
    EXPECT_EQ(InterfaceTypeName(0), "Unknown");
    EXPECT_EQ(InterfaceTypeName(6), "VT3 Wireless Interface");
    EXPECT_EQ(TarnStateName(vtsContinueing), "Continueing");
}

// An interface whose deletion the test sees.
struct TLoggedVT : TVTInterface {
    std::vector<std::string>* Log = nullptr;
    ~TLoggedVT() override { Log->push_back("deleted"); }
};

TEST_F(InterfaceTest, GivenUpWhileItsCloseWaitsItEndsTheCloseAndGoesAfterIt)
{
    // A port closes in steps with events flowing between them; its owner
    // gives the interface up from inside them (a window closing, say).
    TPty pty;
    std::vector<std::string> log;
    auto* vt = new TLoggedVT;
    vt->Log = &log;
    vt->OnClosing = [&](TInterface*) {
        log.push_back("closing");
        QTimer::singleShot(0, [&log, vt] {
            log.push_back("given up");
            ReleaseInUse(vt);
        });
    };
    vt->OnClosed = [&](TInterface*) { log.push_back("closed"); };
    vt->Open(1, pty.SlavePath());
    ASSERT_EQ(vt->State(), vtsOpening);
    EXPECT_EQ(OpenDescriptors(pty.SlavePath()), 1);
    vt->Close();
    log.push_back("close returned");
    Pump(20);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const std::vector<std::string> expected = {"closing", "given up", "closed", "close returned", "deleted"};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(OpenDescriptors(pty.SlavePath()), 0);
}

TEST_F(InterfaceTest, GivenUpFromItsOwnErrorHandlerItGoesOnceTheReportReturns)
{
    struct TLoggedBX : TBXInterface {
        std::vector<std::string>* Log = nullptr;
        ~TLoggedBX() override { Log->push_back("deleted"); }
    };
    std::vector<std::string> log;
    auto* bx = new TLoggedBX;
    bx->Log = &log;
    bool inside = false;
    bx->OnError = [&](TInterface*, const std::string& text) {
        log.push_back("error " + text);
        inside = bx->InUse.Busy();
        ReleaseInUse(bx);
    };
    bx->OnClosed = [&](TInterface*) { log.push_back("closed"); };
    bx->Open(7, "x");  // no such source: reported, then closed
    EXPECT_TRUE(inside);
    const std::vector<std::string> reported = {"error No device selected", "closed"};
    EXPECT_EQ(log, reported);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log.back(), "deleted");
}

}  // namespace
