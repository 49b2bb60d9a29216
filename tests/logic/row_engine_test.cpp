// Row session engine: rowing the demo recording to every limit kind, a VT
// device on a real pseudo-terminal, the button's questions, protocol errors,
// waits cancelled with Esc, closing while rowing, statistics.
#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTimer>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

#include "core/catalogue.h"
#include "core/values.h"
#include "files/training_io.h"
#include "interfaces/delay.h"
#include "interfaces/vt_interface.h"
#include "logic/curve_logic.h"
#include "logic/row_engine.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/testutil_interfaces.h"
#include "util/color.h"
#include "util/date_time.h"
#include "util/dialogs.h"
#include "util/text.h"

namespace {

class TTestHost : public TRowHost, public TProgramServices {
public:
    std::string Source = "DEMO";
    int Type = 1;
    bool Cancel = false;
    int Chosen = 0;
    bool Shown = false;
    std::vector<std::string> Messages;
    std::vector<std::string> Log;
    std::vector<double> Values = std::vector<double>(64, -1.0);
    std::vector<int> Results;  // stroke count at each results window
    int Sessions = 0;
    double RowingTime = 0;
    int SettingsSaved = 0;
    int Strokes = 0;
    std::string SettingsPath;
    std::function<void(const std::string&)> OnMessage;
    std::function<void(int)> OnStroke;
    std::function<void()> OnResults;
    bool CanSave = false;
    bool SaveWorks = true;
    int Saves = 0;
    bool CanSaveSession() override { return CanSave; }
    bool SaveSession() override
    {
        ++Saves;
        return SaveWorks;
    }

    bool ChooseSource(std::string& source, int& interfaceType) override
    {
        ++Chosen;
        source = Source;
        interfaceType = Type;
        return !Cancel;
    }
    void ShowMessageWindow(const std::string& text) override
    {
        Shown = true;
        Messages.push_back(text);
        if (OnMessage) OnMessage(text);
    }
    void HideMessageWindow() override { Shown = false; }
    bool MessageWindowShown() override { return Shown; }
    void LogLine(const std::string& line) override { Log.push_back(line); }
    void SetValue(int p, bool, double v) override
    {
        Values[size_t(p)] = v;
        if (p == 5) TimeValues.push_back({v * 86400, PanelTime ? PanelTime() : std::string()});
    }
    // Every Time value shown (seconds) with the Time panel at that moment.
    std::vector<std::pair<double, std::string>> TimeValues;
    std::function<std::string()> PanelTime;
    void StrokeStored(int k) override
    {
        ++Strokes;
        if (OnStroke) OnStroke(k);
    }
    void ShowResults(const TTraining& s) override
    {
        Results.push_back(s.StrokeCount());
        if (OnResults) OnResults();
    }
    void SaveSettings() override { ++SettingsSaved; }
    void CountRowingSession() override { ++Sessions; }
    void AddRowingTime(double days) override { RowingTime += days; }
    std::string SettingsFileForReading() const override { return SettingsPath; }
    std::string SettingsFileForWriting() const override { return SettingsPath; }
    void CountFileSaved() override {}
};

class RowEngine : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        BuildCatalogues();
        ResetTraining(Session);
        Session.Settings = DefaultSettings();
        Session.ClientId = 101;
        Session.Settings.LimitType = 0;
        Session.Settings.LimitStrokes = 0;
    }
    // Connects and waits until the interface is gone or closed.
    void RowToEnd(TRowEngine& e, int ms = 60000)
    {
        e.BtnConnectClick();
        WaitFor([&] { return !e.Interface() || e.Interface()->State() == vtsClosed; }, ms);
    }

    // Connect waits a tenth of their time; the fast demo plays ten times the stretch per call.
    TWaitPace Pace{10};
    TSessionStore Store;
    TTraining& Session = Store.Add(TTraining{}, 101);
    TTestHost Host;
    TScriptedDialogs Dialog;
    TDialogScope Scope{Dialog};
};

TEST_F(RowEngine, DemoToDistanceLimitInterpolatesAndShowsResults)
{
    Session.Settings.LimitType = 2;
    Session.Settings.LimitDistance = 300;
    TRowEngine e(Store, 101, Host, Host);
    RowToEnd(e);
    ASSERT_TRUE(e.Finished());
    EXPECT_EQ(Session.RowStatus, rsFinished);
    EXPECT_FLOAT_EQ(Session.Totals.Distance, 300.0f);
    const int n = Session.StrokeCount();
    ASSERT_GT(n, 10);
    EXPECT_EQ(n, e.StrokeIndex());
    EXPECT_GE(Session.Strokes[size_t(n)].Distance, 300.0f);
    EXPECT_LT(Session.Strokes[size_t(n - 1)].Distance, 300.0f);
    ASSERT_EQ(Host.Results.size(), 1u);  // once, at the limit (not again at the close)
    EXPECT_EQ(Host.Results[0], n);
    EXPECT_EQ(Host.Sessions, 1);
    EXPECT_EQ(e.ButtonCaption(), "&Connect");
    EXPECT_TRUE(e.ButtonEnabled());
    EXPECT_EQ(Session.Live, 1);
    EXPECT_EQ(Session.Header.InterfaceType, 1);
    EXPECT_EQ(Session.Header.ContentKind, ckRow);
    // Remaining distance reaches 0 and is not negative at the end.
    EXPECT_EQ(Host.Values[7], 0.0);
    // The message sequence of a demo connect.
    ASSERT_GE(Host.Messages.size(), 4u);
    EXPECT_EQ(Host.Messages[0], "Connecting to VT Interface ...");
    EXPECT_EQ(Host.Messages[1], "Searching for VT Interface on DEMO (press [Esc] to cancel) ...");
    EXPECT_EQ(Host.Messages[2], "Waiting for interface ... (Press [Esc] to cancel)");
    EXPECT_EQ(Host.Messages[3], "Waiting for action ... (Press [Esc] to cancel)");
    EXPECT_FALSE(Host.Shown);  // hidden by the first counted data
    // Raw samples are trimmed to their use; curves carry their stroke numbers.
    EXPECT_EQ(int(Session.RawSamples.size()), e.RawCount() + 1);
    EXPECT_GT(e.RawCount(), 100);
    EXPECT_EQ(Session.Curves[size_t(n)].StrokeNumber, n);

    // Saved and read back equal.
    std::string path = TempFolder() + "row.stg";
    Session.Header.FileType = ftSTG;  // as the training window holding it saves
    ASSERT_TRUE(SaveTraining(path, "", Session));
    TTraining back;
    ASSERT_TRUE(OpenTraining(path, back, false));
    ASSERT_EQ(back.StrokeCount(), n);
    EXPECT_EQ(std::memcmp(back.Strokes.data(), Session.Strokes.data(), sizeof(TStgStrokeData) * size_t(n + 1)), 0);
    EXPECT_EQ(std::memcmp(back.Curves.data(), Session.Curves.data(), sizeof(TStgForceCurve) * size_t(n + 1)), 0);
    EXPECT_FLOAT_EQ(back.Totals.Distance, 300.0f);
}

TEST_F(RowEngine, DemoToStrokeAndTimeLimits)
{
    Session.Settings.LimitType = 0;
    Session.Settings.LimitStrokes = 12;
    {
        TRowEngine e(Store, 101, Host, Host);
        RowToEnd(e);
        EXPECT_TRUE(e.Finished());
        EXPECT_EQ(Session.StrokeCount(), 12);
        EXPECT_EQ(Host.Values[0], 0.0);  // strokes left
    }
    ResetTraining(Session);
    Session.Settings.LimitType = 3;
    Session.Settings.LimitTime = 40;
    TRowEngine e(Store, 101, Host, Host);
    RowToEnd(e);
    EXPECT_TRUE(e.Finished());
    EXPECT_NEAR(Session.Totals.Time, 40.0f, 0.01f);
    const int n = Session.StrokeCount();
    EXPECT_GE(Session.Strokes[size_t(n)].Time, 40.0f);
}

TEST_F(RowEngine, IntervalsByStrokes)
{
    auto run = [&](int count, int work, int rest) {
        ResetTraining(Session);
        Session.Settings.LimitType = 4;
        Session.Settings.LimitIntervals = count;
        Session.Settings.IntervalBy = 0;
        SetWorkPeriodFor(Session.Settings, 0, work);
        SetRestPeriodFor(Session.Settings, 0, rest);
        Host.Results.clear();
        TRowEngine e(Store, 101, Host, Host);
        RowToEnd(e);
        EXPECT_TRUE(e.Finished());
        EXPECT_EQ(Host.Results.size(), 1u);
    };
    // N intervals are N work periods.
    run(3, 10, 0);
    EXPECT_EQ(Session.StrokeCount(), 30);
    EXPECT_EQ(Session.IntervalCount(), 3);
    EXPECT_EQ(Session.Strokes[10].IntervalNumber, 2);
    EXPECT_EQ(Session.Strokes[9].IntervalNumber, 1);

    run(2, 10, 0);
    EXPECT_EQ(Session.StrokeCount(), 20);
    run(1, 10, 0);
    EXPECT_EQ(Session.StrokeCount(), 10);
    EXPECT_EQ(Session.IntervalCount(), 1);

    // The last interval's rest is not rowed.
    run(3, 10, 5);
    EXPECT_EQ(Session.StrokeCount(), 40);
    EXPECT_EQ(Session.IntervalCount(), 3);
    for (int k = 11; k <= 14; ++k) {
        EXPECT_EQ(Session.Strokes[size_t(k)].IntervalCountdown, 15 - k) << k;
        EXPECT_EQ(Session.Strokes[size_t(k)].IntervalPower, 0) << k;
    }
    EXPECT_EQ(Session.Strokes[15].IntervalNumber, 2);
}

TEST_F(RowEngine, PauseContinueAndDisconnectQuestions)
{
    TRowEngine e(Store, 101, Host, Host);
    e.DemoFast = false;
    e.BtnConnectClick();
    ASSERT_TRUE(e.Interface());
    ASSERT_TRUE(WaitFor([&] { return Session.RowStatus == rsRowing; }, 5000));
    EXPECT_EQ(e.ButtonCaption(), "&Pause");

    Dialog.Answers.push_back(TMsgResult::No);
    e.BtnConnectClick();
    EXPECT_EQ(Dialog.LastText(), "The system is paused. Do you want to disconnect?");
    ASSERT_TRUE(e.Interface());
    EXPECT_EQ(e.Interface()->State(), vtsPaused);
    EXPECT_EQ(e.ButtonCaption(), "&Continue");

    e.BtnConnectClick();  // continue: no question
    EXPECT_EQ(Dialog.Messages.size(), 1u);
    EXPECT_EQ(e.Interface()->State(), vtsOpened);
    EXPECT_EQ(e.ButtonCaption(), "&Pause");

    Dialog.Answers.push_back(TMsgResult::Yes);
    e.BtnConnectClick();
    EXPECT_EQ(e.Interface(), nullptr);
    EXPECT_EQ(e.ButtonCaption(), "&Connect");
    EXPECT_EQ(Session.RowStatus, rsFinished);
    EXPECT_EQ(Host.SettingsSaved, 1);
}

TEST_F(RowEngine, ResetQuestionDeclinedKeepsEverything)
{
    Session.Settings.LimitStrokes = 5;
    TRowEngine e(Store, 101, Host, Host);
    RowToEnd(e);
    ASSERT_EQ(Session.StrokeCount(), 5);
    const int chosen = Host.Chosen;
    Dialog.Answers.push_back(TMsgResult::No);
    e.BtnConnectClick();
    EXPECT_EQ(Dialog.LastText(), "Connecting again will reset the current training session.\rDo you wish to continue?");
    EXPECT_EQ(Host.Chosen, chosen);
    EXPECT_EQ(Session.StrokeCount(), 5);

    // Accepted, then the connect dialog is cancelled: the session stays reset.
    Dialog.Answers.push_back(TMsgResult::Yes);
    Host.Cancel = true;
    e.BtnConnectClick();
    EXPECT_EQ(Session.StrokeCount(), 0);
    EXPECT_EQ(e.Interface(), nullptr);
}

TEST_F(RowEngine, OneRowingClockTicksEverySecondAndGoesOnAfterAPause)
{
    TRowEngine e(Store, 101, Host, Host);
    e.DemoFast = true;
    Host.PanelTime = [&e] { return e.PanelText(rpTime); };
    e.BtnConnectClick();
    ASSERT_TRUE(WaitFor([&] { return e.StrokeIndex() >= 12; }, 20000));
    // Pause (not disconnected) and continue.
    Dialog.Answers.push_back(TMsgResult::No);
    e.BtnConnectClick();
    ASSERT_EQ(e.Interface()->State(), vtsPaused);
    const double paused = e.RowClock();
    const std::string pausedPanel = e.PanelText(rpTime);
    e.BtnConnectClick();
    ASSERT_EQ(e.Interface()->State(), vtsOpened);
    EXPECT_EQ(e.PanelText(rpTime), pausedPanel);
    ASSERT_TRUE(WaitFor([&] { return e.StrokeIndex() >= 20; }, 20000));
    e.Disconnect();
    EXPECT_GT(e.RowClock(), paused);

    // From the connect on (before it, the reset shows the limit values), the
    // Time value moves a second at a time (not a stroke at a time), never
    // back, and the Time panel shows the same time.
    auto shown = Host.TimeValues;
    while (!shown.empty() && shown.front().second.empty()) shown.erase(shown.begin());
    ASSERT_GT(shown.size(), 20u);
    double last = -1;
    int steps = 0;
    for (const auto& [seconds, panel] : shown) {
        EXPECT_NEAR(seconds, std::round(seconds), 1e-3);
        EXPECT_EQ(panel, FormatDateTime("h:nn:ss", std::round(seconds) / 86400)) << seconds;
        if (last >= 0) {
            EXPECT_GE(seconds, last - 1e-3);
            EXPECT_LE(seconds, last + 1 + 1e-3) << "a jump from " << last;
            if (seconds > last + 0.5) ++steps;
        }
        last = seconds;
    }
    EXPECT_GE(steps, int(std::floor(Session.Strokes[20].Time)) - 1);
    // The clock agrees with the strokes' own time.
    EXPECT_NEAR(e.RowClock(), Session.Strokes[size_t(Session.StrokeCount())].Time, 3.0);
}

TEST_F(RowEngine, PreviousCurveTakesTheInverseAlsoOfASystemColour)
{
    TRowEngine e(Store, 101, Host, Host);
    Session.Header.Color = 0x800000;  // navy
    e.RefreshSession();
    EXPECT_EQ(e.NewCurveColor(), 0x800000);
    EXPECT_EQ(e.OldCurveColor(), 0x7FFFFF);
    Session.Header.Color = clWindowText;  // a system colour: black by default
    e.RefreshSession();
    EXPECT_EQ(e.NewCurveColor(), clWindowText);
    EXPECT_EQ(e.OldCurveColor(), InverseColor(ResolveColor(clWindowText)));
    EXPECT_NE(e.OldCurveColor(), e.NewCurveColor());
}

TEST_F(RowEngine, ConnectingAgainOffersToSaveUnsavedStrokes)
{
    Session.Settings.LimitStrokes = 5;
    TRowEngine e(Store, 101, Host, Host);
    RowToEnd(e);
    ASSERT_EQ(Session.StrokeCount(), 5);
    ASSERT_TRUE(HasUnsavedStrokes(Session));
    Host.CanSave = true;
    const int chosen = Host.Chosen;

    Dialog.Answers.push_back(TMsgResult::Cancel);
    e.BtnConnectClick();
    ASSERT_FALSE(Dialog.Messages.empty());
    EXPECT_EQ(Dialog.LastText().rfind("Connecting again will reset the current training session.\r", 0), 0u);
    EXPECT_EQ(Dialog.Messages.back().Buttons, unsigned(mbSaveDiscardCancel));
    EXPECT_EQ(Host.Saves, 0);
    EXPECT_EQ(Host.Chosen, chosen);
    EXPECT_EQ(Session.StrokeCount(), 5);

    // Save that did not happen (the file dialog was cancelled): nothing is lost.
    Host.SaveWorks = false;
    Dialog.Answers.push_back(TMsgResult::Save);
    e.BtnConnectClick();
    EXPECT_EQ(Host.Saves, 1);
    EXPECT_EQ(Host.Chosen, chosen);
    EXPECT_EQ(Session.StrokeCount(), 5);

    // Saved: the connect goes on (its dialog cancelled here).
    Host.SaveWorks = true;
    Host.Cancel = true;
    Dialog.Answers.push_back(TMsgResult::Save);
    e.BtnConnectClick();
    EXPECT_EQ(Host.Saves, 2);
    EXPECT_EQ(Host.Chosen, chosen + 1);
    EXPECT_EQ(Session.StrokeCount(), 0);
}

// The windows follow a recording through the store alone: every stored
// stroke is announced, the drive ends as a curve change, the totals at the
// limit as a change of the whole session.
TEST_F(RowEngine, RecordingIsAnnouncedThroughTheStore)
{
    Session.Settings.LimitType = 0;
    Session.Settings.LimitStrokes = 6;
    QSignalSpy reset(&Store, &TSessionStore::SessionReset);
    QSignalSpy strokes(&Store, &TSessionStore::StrokeAppended);
    QSignalSpy curves(&Store, &TSessionStore::CurvesChanged);
    QSignalSpy changed(&Store, &TSessionStore::SessionChanged);
    std::vector<int> seen;  // the record holds the stroke when it is announced
    QObject::connect(&Store, &TSessionStore::StrokeAppended, [&](int32_t id, int k) {
        if (id == 101 && k < Session.StrokeCount() + 1 && Session.Strokes[size_t(k)].StrokeNumber == k)
            seen.push_back(k);
    });
    TRowEngine e(Store, 101, Host, Host);
    RowToEnd(e);
    ASSERT_TRUE(e.Finished());
    EXPECT_EQ(reset.count(), 1);  // the connect's reset
    ASSERT_GE(strokes.count(), 6);
    EXPECT_EQ(int(seen.size()), strokes.count());
    EXPECT_EQ(seen.back(), 6);
    EXPECT_GE(curves.count(), 5);
    // At the limit: the closing trims the arrays, then the finishing stroke completes the totals.
    EXPECT_GE(changed.count(), 2);
}

// The training window resets the session (its reset button, a confirmed
// workout edit): the engine hears it from the store and starts over.
TEST_F(RowEngine, AResetFromElsewhereRestartsTheRecording)
{
    TRowEngine e(Store, 101, Host, Host);
    TStgStrokeData st{};
    st.StrokeNumber = 1;
    st.Power = 150;
    st.Distance = 5;
    e.InterfaceStrokeData(nullptr, st);
    ASSERT_EQ(e.StrokeIndex(), 1);
    Session.Settings.LimitType = 2;
    Session.Settings.LimitDistance = 500;
    Store.ResetSession(101);
    EXPECT_EQ(e.StrokeIndex(), 0);
    EXPECT_EQ(Session.StrokeCount(), 0);
    EXPECT_EQ(Host.Values[7], 500.0);  // the limit shown again: distance left
    // Another session's reset is not this engine's business.
    Store.Add(TTraining{}, 102);
    e.InterfaceStrokeData(nullptr, st);
    Store.ResetSession(102);
    EXPECT_EQ(e.StrokeIndex(), 1);
}

// The session closes while the row goes on (its training window was closed
// from a modal window during a stroke): the engine keeps recording into the
// record it holds, nothing is announced for a session that is gone.
TEST_F(RowEngine, SessionClosedWhileRowingKeepsTheRecord)
{
    Session.Settings.LimitType = 0;
    Session.Settings.LimitStrokes = 8;
    QSignalSpy strokes(&Store, &TSessionStore::StrokeAppended);
    TRowEngine e(Store, 101, Host, Host);
    Host.OnStroke = [&](int k) {
        if (k == 3) Store.Remove(101);
    };
    RowToEnd(e);
    Host.OnStroke = nullptr;
    ASSERT_TRUE(e.Finished());
    EXPECT_EQ(Store.Find(101), nullptr);
    EXPECT_EQ(e.Session().StrokeCount(), 8);
    EXPECT_FLOAT_EQ(e.Session().Totals.Distance, e.Session().Strokes[8].Distance);
    for (int i = 0; i < strokes.count(); ++i) EXPECT_LE(strokes.at(i).at(1).toInt(), 3);
}

TEST_F(RowEngine, UnknownInterfaceType)
{
    Host.Type = 0;
    TRowEngine e(Store, 101, Host, Host);
    e.BtnConnectClick();
    EXPECT_EQ(Dialog.LastText(),
              "No source selected or veryfied.\rPlease use the [Test] button in the \"Connect\" dialogue.");
    ASSERT_EQ(Dialog.Messages.size(), 1u);
    EXPECT_EQ(Dialog.Messages[0].Kind, TMsgKind::Plain);  // a plain message, not an information box
    EXPECT_TRUE(e.ButtonEnabled());
    EXPECT_FALSE(Host.Shown);
}

TEST_F(RowEngine, ProtocolErrorRule)
{
    TRowEngine e(Store, 101, Host, Host);
    TVTInterface vt;
    vt.ProtocolSet = {vtpVtw};
    for (int i = 0; i < 9; ++i) e.InterfaceProtocolError(&vt);
    EXPECT_TRUE(Dialog.Messages.empty());
    e.InterfaceProtocolError(&vt);
    ASSERT_EQ(Dialog.Messages.size(), 1u);
    EXPECT_TRUE(StartsWithText(Dialog.LastText(), "Incorrect interface protocol.\r\r"));
    EXPECT_NE(Dialog.LastText().find("following protocol : VTW.\r\r"), std::string::npos);
    EXPECT_NE(Dialog.LastText().find("Please use the [Test] button"), std::string::npos);

    // After 100 data events: the ninth error is tolerated, the tenth is not.
    e.ResetSession();
    Dialog.Clear();
    vt.DoCalculate = true;
    for (int i = 0; i < 100; ++i) e.VTInterfaceRawData(&vt, 0.01, 100, 100);
    EXPECT_EQ(e.DataCount(), 100u);
    for (int i = 0; i < 9; ++i) e.InterfaceProtocolError(&vt);
    EXPECT_TRUE(Dialog.Messages.empty());
    e.InterfaceProtocolError(&vt);
    EXPECT_EQ(Dialog.Messages.size(), 1u);

    const std::string t = TRowEngine::ProtocolMessageText({vtpVtw, vtpVT3W}, true);
    EXPECT_NE(t.find("VTW or VT3W"), std::string::npos);
    EXPECT_EQ(t.find("[Test]"), std::string::npos);
}

TEST_F(RowEngine, DataHandlerEdgeCases)
{
    TRowEngine e(Store, 101, Host, Host);
    TVTInterface vt;
    vt.DoCalculate = true;
    // Raw sample too long to count: -1; flag = low byte of the raw heart value.
    e.VTInterfaceRawData(&vt, 0.2, 0x1A5, 90);
    ASSERT_GE(Session.RawSamples.size(), 2u);
    EXPECT_EQ(Session.RawSamples[1].Value, -1);
    EXPECT_EQ(Session.RawSamples[1].Flag, 0xA5);
    e.VTInterfaceRawData(&vt, 0.01, 7, 90);
    EXPECT_EQ(uint16_t(Session.RawSamples[2].Value), 6140);

    // A start-up spike before the first stroke is dropped.
    e.VTInterfaceStartingStroke(&vt);
    e.VTInterfaceForceData(&vt, 3, 20.0, 1200.0, 0.01);
    EXPECT_EQ(e.CurveBuffer().Samples[2], 0);
    EXPECT_EQ(e.ForceIndex(), 3);
    e.VTInterfaceForceData(&vt, 4, 25.0, 300.5, 0.01);
    EXPECT_EQ(e.CurveBuffer().Samples[3], 300);  // half to even
    e.VTInterfaceForceData(&vt, 5, 25.0, -3.0, 0.01);
    EXPECT_EQ(e.CurveBuffer().Samples[4], 0);

    TStgStrokeData s = EmptyStroke(1);
    s.Power = 150;
    s.Distance = 8;
    e.InterfaceStrokeData(&vt, s);
    EXPECT_EQ(Session.StrokeCount(), 101);  // room for 100 more
    EXPECT_EQ(Session.Curves[1].HasData, 1);
    EXPECT_EQ(Session.Curves[1].Samples[3], 300);

    // After the first stroke the same spike is kept.
    e.VTInterfaceStartingStroke(&vt);
    e.VTInterfaceForceData(&vt, 3, 20.0, 1200.0, 0.01);
    EXPECT_EQ(e.CurveBuffer().Samples[2], 1200);

    // A stroke with power 0 stores an empty curve even after force samples.
    TStgStrokeData z = EmptyStroke(2);
    z.Power = 0;
    e.InterfaceStrokeData(&vt, z);
    EXPECT_EQ(Session.Curves[2].HasData, 0);
    EXPECT_EQ(Session.Curves[2].Samples[2], 0);
    EXPECT_EQ(Session.Curves[2].StrokeNumber, 2);

    // Stroke number 0 in the record is replaced by its slot.
    TStgStrokeData zero = EmptyStroke(0);
    zero.Power = 100;
    e.InterfaceStrokeData(&vt, zero);
    EXPECT_EQ(Session.Header.SelectedStroke, 0);

    // No limit: values are neither replaced nor clipped.
    EXPECT_EQ(LimitValue(Session.Settings), 0);
}

TEST_F(RowEngine, EscDuringWaitOnSilentPort)
{
    TPty pty;
    Host.Source = pty.SlavePath();
    Host.OnMessage = [&](const std::string& text) {
        if (StartsWithText(text, "Waiting for interface")) Host.Shown = false;  // Esc
    };
    TRowEngine e(Store, 101, Host, Host);
    e.BtnConnectClick();
    EXPECT_EQ(e.Interface(), nullptr);
    EXPECT_TRUE(e.ButtonEnabled());
    EXPECT_EQ(e.ButtonCaption(), "&Connect");
    EXPECT_EQ(Session.StrokeCount(), 0);
    EXPECT_EQ(Host.Sessions, 0);
    EXPECT_DOUBLE_EQ(Host.RowingTime, 0.0);
}

TEST_F(RowEngine, VTDeviceOnPseudoTerminalThenCablePulled)
{
    TPty pty;
    Host.Source = pty.SlavePath();
    const std::string frames = VTFrames(RowingTicks(14), vtpVtw);
    Host.OnMessage = [&](const std::string& text) {
        if (StartsWithText(text, "Waiting for interface")) pty.Write(frames.substr(0, 400));
    };
    TRowEngine e(Store, 101, Host, Host);
    e.BtnConnectClick();
    ASSERT_TRUE(e.Interface());
    EXPECT_EQ(Session.RowStatus, rsRowing);
    EXPECT_EQ(e.PanelText(rpCOM), pty.SlavePath().substr(0, 6));
    for (size_t at = 400; at < frames.size(); at += 400) {
        pty.Write(frames.substr(at, 400));
        Pump(30);
    }
    ASSERT_TRUE(WaitFor([&] { return e.StrokeIndex() >= 8; }, 20000)) << e.StrokeIndex();
    EXPECT_EQ(Session.Header.InterfaceDetail, vtpVtw);
    const int rowed = e.StrokeIndex();
    const auto lastStroke = Session.Strokes[size_t(rowed)];
    pty.CloseMaster();  // the cable is pulled
    ASSERT_TRUE(WaitFor([&] { return !e.Interface() || e.Interface()->State() == vtsClosed; }, 10000));
    EXPECT_EQ(Session.StrokeCount(), rowed);
    EXPECT_FLOAT_EQ(Session.Totals.Distance, lastStroke.Distance);
    EXPECT_EQ(Session.RowStatus, rsFinished);
    EXPECT_FALSE(Dialog.Messages.empty());  // the error box
    bool logged = false;
    for (const auto& l : Host.Log) logged = logged || l.find("* Error - ") != std::string::npos;
    EXPECT_TRUE(logged);
    EXPECT_EQ(Host.Results.size(), Session.Totals.Distance > 0 ? 1u : 0u);
}

TEST_F(RowEngine, ClosingWhileRowingKeepsTheStrokes)
{
    TRowEngine e(Store, 101, Host, Host);
    Host.OnStroke = [&](int k) {
        if (k == 15) e.Shutdown();
    };
    e.BtnConnectClick();
    ASSERT_TRUE(WaitFor([&] { return e.Interface() == nullptr; }, 30000));
    EXPECT_EQ(Session.StrokeCount(), 15);
    EXPECT_FLOAT_EQ(Session.Totals.Distance, Session.Strokes[15].Distance);
    EXPECT_EQ(Host.Results.size(), 1u);
    EXPECT_EQ(Host.SettingsSaved, 1);
    EXPECT_TRUE(e.ShuttingDown());
    Pump(50);             // the dropped interface is freed
    e.BtnConnectClick();  // ignored once shut down
    EXPECT_EQ(Session.StrokeCount(), 15);
}

}  // namespace

// ---- rowing time statistic -----------------------------------------------------------

namespace {

double gClock = 0;
double TestClock() { return gClock; }
constexpr double kMinute = 1.0 / 1440;

TEST_F(RowEngine, RowingTimeCountsEachConnectionOnceWithItsPauses)
{
    gClock = 46000.5;
    TRowEngine e(Store, 101, Host, Host);
    e.Now = TestClock;
    e.DemoFast = false;
    e.BtnConnectClick();
    ASSERT_TRUE(WaitFor([&] { return Session.RowStatus == rsRowing; }, 5000));
    EXPECT_EQ(Host.Sessions, 1);
    EXPECT_DOUBLE_EQ(e.RowingStart(), gClock);

    // Pause after 4 minutes (not disconnected), continue 3 minutes later:
    // neither adds time on its own.
    gClock += 4 * kMinute;
    Dialog.Answers.push_back(TMsgResult::No);
    e.BtnConnectClick();
    ASSERT_EQ(e.Interface()->State(), vtsPaused);
    gClock += 3 * kMinute;
    e.BtnConnectClick();
    ASSERT_EQ(e.Interface()->State(), vtsOpened);
    EXPECT_DOUBLE_EQ(Host.RowingTime, 0.0);
    EXPECT_DOUBLE_EQ(e.ClockStart(), gClock);  // the elapsed-time panel restarts

    // Disconnect at 10 minutes: the whole connection counts, pause included.
    gClock += 3 * kMinute;
    Dialog.Answers.push_back(TMsgResult::Yes);
    e.BtnConnectClick();
    ASSERT_EQ(e.Interface(), nullptr);
    EXPECT_NEAR(Host.RowingTime, 10 * kMinute, 1e-9);
    EXPECT_EQ(e.RowingStart(), 0.0);
    // Closing the engine afterwards counts nothing more.
    e.Shutdown();
    Pump(20);
    EXPECT_NEAR(Host.RowingTime, 10 * kMinute, 1e-9);
}

TEST_F(RowEngine, RowingTimeOfTwoSessionsAndOfAFailedOpen)
{
    gClock = 46000.25;
    TRowEngine e(Store, 101, Host, Host);
    e.Now = TestClock;
    e.DemoFast = false;
    for (int session = 1; session <= 2; ++session) {
        if (session == 2) Dialog.Answers.push_back(TMsgResult::Yes);  // reset the first session
        e.BtnConnectClick();
        ASSERT_TRUE(WaitFor([&] { return e.Interface() && Session.RowStatus == rsRowing; }, 5000)) << session;
        gClock += 10 * kMinute;
        Dialog.Answers.push_back(TMsgResult::Yes);
        e.BtnConnectClick();  // pause, then disconnect
        ASSERT_EQ(e.Interface(), nullptr);
    }
    EXPECT_EQ(Host.Sessions, 2);
    EXPECT_NEAR(Host.RowingTime, 20 * kMinute, 1e-9);

    // A port that cannot be opened: an error while opening, no time, no session.
    Host.Source = TempFolder() + "no-such-port";
    Dialog.Answers.push_back(TMsgResult::Yes);
    gClock += 5 * kMinute;
    e.BtnConnectClick();
    WaitFor([&] { return !e.Interface() || e.Interface()->State() == vtsClosed; }, 5000);
    gClock += 5 * kMinute;
    Pump(50);
    EXPECT_NEAR(Host.RowingTime, 20 * kMinute, 1e-9);
    EXPECT_EQ(Host.Sessions, 2);
    EXPECT_FALSE(Dialog.Messages.empty());
    EXPECT_EQ(e.ButtonCaption(), "&Connect");
    EXPECT_TRUE(e.ButtonEnabled());
}

// ---- nothing lost ---------------------------------------------------------------------

TEST_F(RowEngine, EngineDestroyedWhileRowingKeepsEveryStroke)
{
    {
        auto e = MakeRowEngine(Store, 101, Host, Host);
        TRowEngine* raw = e.get();
        bool done = false;
        Host.OnStroke = [&](int k) {
            if (k == 9) done = true;
        };
        raw->BtnConnectClick();
        ASSERT_TRUE(WaitFor([&] { return done; }, 30000));
        Host.OnStroke = nullptr;
        e.reset();  // the window goes away without a Shutdown first
    }
    EXPECT_GE(Session.StrokeCount(), 9);
    const int n = Session.StrokeCount();
    EXPECT_EQ(Session.Strokes.size(), Session.Curves.size());
    EXPECT_FLOAT_EQ(Session.Totals.Distance, Session.Strokes[size_t(n)].Distance);
    EXPECT_FLOAT_EQ(Session.Totals.Energy, Session.Strokes[size_t(n)].EnergySum);
    EXPECT_EQ(Session.RowStatus, rsFinished);
    Pump(100);  // nothing left behind fires into the dead engine
    EXPECT_EQ(Session.StrokeCount(), n);
}

TEST_F(RowEngine, ProtocolErrorsMidRowCloseButKeepTheStrokes)
{
    TRowEngine e(Store, 101, Host, Host);
    Host.OnStroke = [&](int k) {
        if (k != 6 || !e.Interface()) return;
        // A burst of garbage: enough errors to pass one in ten data events.
        for (uint32_t i = 0; i <= e.DataCount() / 10 + 1 && e.Interface() && e.Interface()->State() == vtsOpened; ++i)
            e.InterfaceProtocolError(e.Interface());
    };
    RowToEnd(e);
    Pump(50);
    ASSERT_GE(Session.StrokeCount(), 6);
    const int n = Session.StrokeCount();
    EXPECT_EQ(n, e.StrokeIndex());
    EXPECT_FLOAT_EQ(Session.Totals.Distance, Session.Strokes[size_t(n)].Distance);
    EXPECT_FLOAT_EQ(Session.Totals.Time, Session.Strokes[size_t(n)].Time);
    ASSERT_FALSE(Dialog.Messages.empty());
    EXPECT_TRUE(StartsWithText(Dialog.LastText(), "Incorrect interface protocol."));
    EXPECT_EQ(Host.Results.size(), 1u);  // distance was rowed
    EXPECT_EQ(Session.Curves[size_t(n)].StrokeNumber, n);
}

TEST_F(RowEngine, DisconnectAfterPauseKeepsTheStrokesAndTrimsTheArrays)
{
    TRowEngine e(Store, 101, Host, Host);
    int stop = 0;
    Host.OnStroke = [&](int k) {
        if (k == 7 && !stop) stop = k;
    };
    e.BtnConnectClick();
    ASSERT_TRUE(WaitFor([&] { return stop > 0; }, 30000));
    Dialog.Answers.push_back(TMsgResult::Yes);
    e.BtnConnectClick();
    ASSERT_EQ(e.Interface(), nullptr);
    const int n = Session.StrokeCount();
    EXPECT_GE(n, 7);
    EXPECT_EQ(n, e.StrokeIndex());
    EXPECT_EQ(Session.Curves.size(), Session.Strokes.size());
    EXPECT_EQ(int(Session.RawSamples.size()), e.RawCount() + 1);
    EXPECT_FLOAT_EQ(Session.Totals.Distance, Session.Strokes[size_t(n)].Distance);
    // Slot 0 is the average of what was kept.
    TStgStrokeData avg;
    TStgForceCurve curve;
    AverageStroke(Session.Strokes.data(), Session.Curves.data(), n, Session.Settings.Sprocket, avg, curve);
    EXPECT_EQ(std::memcmp(&avg, &Session.Strokes[0], sizeof avg), 0);
    EXPECT_EQ(std::memcmp(&curve, &Session.Curves[0], sizeof curve), 0);
}

// ---- the session average kept stroke by stroke ------------------------------------------

// slot 0 as the full computation makes it.
void ExpectFullAverage(const TTraining& t, const char* where)
{
    TTraining copy = t;
    UpdateAverageStroke(copy);
    EXPECT_EQ(std::memcmp(&copy.Strokes[0], &t.Strokes[0], sizeof(TStgStrokeData)), 0) << where;
    EXPECT_EQ(std::memcmp(&copy.Curves[0], &t.Curves[0], sizeof(TStgForceCurve)), 0) << where;
}

TEST_F(RowEngine, KeptAverageEqualsTheFullOneOverTheDemoRecording)
{
    TRowEngine e(Store, 101, Host, Host);
    int checked = 0;
    Host.OnStroke = [&](int k) {
        ExpectFullAverage(Session, "live");
        if (k > 0) ++checked;
    };
    RowToEnd(e);
    EXPECT_GT(checked, 50);
    ExpectFullAverage(Session, "closed");

    // Changes behind the cache's back: it notices every one of them.
    TAverageStrokeCache cache;
    TTraining& t = Session;
    const int n = t.StrokeCount();
    ASSERT_GT(n, 20);
    cache.Update(t);
    EXPECT_TRUE(cache.Rebuilt());
    ExpectFullAverage(t, "first");
    // Demo strokes are whole magnet pulses long: far fewer lengths than curves.
    EXPECT_LT(cache.Lengths() * 3, size_t(n));
    cache.Update(t);  // nothing changed: nothing summed again
    EXPECT_FALSE(cache.Rebuilt());
    EXPECT_EQ(cache.CurvesChanged(), 0);
    t.Curves[5].HasData = 0;  // a curve deleted
    cache.Update(t);
    EXPECT_FALSE(cache.Rebuilt());
    EXPECT_EQ(cache.CurvesChanged(), 1);
    ExpectFullAverage(t, "deleted");
    t.Curves[7].Samples[30] = uint16_t(t.Curves[7].Samples[30] + 17);  // a curve changed
    cache.Update(t);
    EXPECT_EQ(cache.CurvesChanged(), 2);  // out with the old, in with the new
    ExpectFullAverage(t, "changed");
    t.Strokes[9].StrokeLength = -1;  // length estimated from the curve
    cache.Update(t);
    ExpectFullAverage(t, "estimated");
    t.Settings.Sprocket = t.Settings.Sprocket ? 0 : 1;  // changes the estimate
    cache.Update(t);
    EXPECT_TRUE(cache.Rebuilt());
    ExpectFullAverage(t, "sprocket");
    SetStrokeCount(t, n - 4);  // trimmed
    cache.Update(t);
    ExpectFullAverage(t, "trimmed");
    SetStrokeCount(t, n + 100);  // room for more: empty strokes change nothing
    cache.Update(t);
    EXPECT_FALSE(cache.Rebuilt());
    EXPECT_EQ(cache.CurvesChanged(), 0);
    ExpectFullAverage(t, "grown");
    SetStrokeCount(t, 1);  // one stroke: copied
    cache.Update(t);
    ExpectFullAverage(t, "one");
    ResetTraining(t);
    cache.Update(t);
    ExpectFullAverage(t, "reset");
    EXPECT_EQ(t.Strokes[0].StrokeLength, 0.0f);
}

TEST_F(RowEngine, ACurveDeletedElsewhereWhileRowingLeavesTheAverage)
{
    // The engine's average looks only at the strokes it wrote, unless someone
    // else announced a change: a curve deleted in the force curves window.
    TRowEngine e(Store, 101, Host, Host);
    int after = 0;
    Host.OnStroke = [&](int k) {
        if (k == 20) {
            Session.Header.SelectedStroke = 10;
            ASSERT_TRUE(DeleteShownCurve(Session));
            Store.NotifyCurvesChanged(101);
        }
        if (k > 20 && k < 60) {
            ExpectFullAverage(Session, "after the deletion");
            ++after;
        }
    };
    RowToEnd(e);
    EXPECT_GT(after, 30);
    EXPECT_EQ(Session.Curves[10].HasData, 0);
}

TEST(AverageCache, AppendedStrokesOnlyAddTheirCurves)
{
    // Each new stroke costs its own curve only, also when it changes the
    // average length and with it the stretch of every curve summed before.
    TTraining t;
    ResetTraining(t);
    SetStrokeCount(t, 100);
    TAverageStrokeCache cache;
    for (int k = 1; k <= 60; ++k) {
        TStgStrokeData& s = t.Strokes[size_t(k)];
        s.StrokeNumber = uint16_t(k);
        s.StrokeLength = 140;
        s.Energy = float(300 + k % 13);
        TStgForceCurve& c = t.Curves[size_t(k)];
        c.StrokeNumber = int16_t(k);
        c.HasData = k % 9 == 0 ? 0 : 1;  // some strokes without a curve
        for (int i = 0; i < 50; ++i) c.Samples[i] = uint16_t((i * (50 - i) * (7 + k % 5)) / 10);
        cache.Update(t);
        if (k >= 3) {
            EXPECT_FALSE(cache.Rebuilt()) << k;
            EXPECT_EQ(cache.CurvesChanged(), c.HasData ? 1 : 0) << k;
        }
        ExpectFullAverage(t, "appended");
    }
    // A stroke of another length changes every stretch: one more length.
    t.Strokes[61] = t.Strokes[60];
    t.Strokes[61].StrokeLength = 150;
    t.Curves[61] = t.Curves[59];
    cache.Update(t);
    EXPECT_FALSE(cache.Rebuilt());
    EXPECT_EQ(cache.CurvesChanged(), 1);
    EXPECT_EQ(cache.Lengths(), 2u);
    ExpectFullAverage(t, "longer");
    // A record replaced before the end (a device repeating its last stroke
    // with no power) empties a curve that was summed.
    t.Curves[61].HasData = 0;
    t.Curves[58].HasData = 0;
    cache.Update(t);
    EXPECT_EQ(cache.CurvesChanged(), 2);
    EXPECT_EQ(cache.Lengths(), 1u);
    ExpectFullAverage(t, "replaced");
}

// A curve without flat stretches (it rises and falls by different whole
// steps), so that stretching it on its own or in a sum of its length gives the
// same numbers.
TStgForceCurve RisingFallingCurve(int k, int width, int up)
{
    TStgForceCurve c{};
    c.StrokeNumber = int16_t(k);
    c.HasData = 1;
    const int peak = width / 2, down = up + 3;
    for (int i = 1; i < kCurveSamples; ++i) {
        const int v = i <= peak ? i * up : peak * up - (i - peak) * down;
        if (v <= 0) break;
        c.Samples[i] = uint16_t(v);
    }
    return c;
}

// The average curve as each curve stretched on its own and added up (in
// double, so rounding cannot hide a curve stretched from the wrong length).
TCurveSamples AverageOneByOne(const TTraining& t)
{
    double acc[kCurveSamples] = {};
    int n = 0;
    double lengths = 0;
    for (int j = 2; j <= t.StrokeCount(); ++j)
        if (t.Curves[size_t(j)].HasData) {
            ++n;
            lengths += t.Strokes[size_t(j)].StrokeLength;
        }
    const float average = SafeDivide(n, lengths);
    for (int j = 2; j <= t.StrokeCount(); ++j) {
        const TStgForceCurve& c = t.Curves[size_t(j)];
        if (!c.HasData) continue;
        double length = t.Strokes[size_t(j)].StrokeLength;
        if (length < 0) length = EstimateStrokeLength(c, t.Settings.Sprocket);
        if (!(length > 0)) length = 1;
        const TCurveValues r = ResampleCurve(c, SafeDivide(average, length));
        for (int i = 0; i < kCurveSamples; ++i) acc[i] += r[size_t(i)];
    }
    TCurveSamples out{};
    for (int i = 0; i < kCurveSamples; ++i) out[size_t(i)] = RoundToWord(SafeDivide(n, acc[i]));
    return out;
}

void ExpectAverageOfTheCurves(const TTraining& t, const char* where)
{
    const TCurveSamples expected = AverageOneByOne(t);
    for (int i = 0; i < kCurveSamples; ++i)
        EXPECT_NEAR(t.Curves[0].Samples[i], expected[size_t(i)], 1) << where << " sample " << i;
}

TEST(AverageCache, OnlyTheStrokesFromTheWrittenOneOnAreLookedAt)
{
    // As the row engine writes: arrays grown ahead in steps, a stroke
    // replaced, stroke numbers that jump back and forward; each time the
    // caller names the first stroke it wrote.
    TTraining t;
    ResetTraining(t);
    TAverageStrokeCache cache;
    auto write = [&](int k, float length) {
        if (k >= t.StrokeCount()) SetStrokeCount(t, k + 7);
        TStgStrokeData& s = t.Strokes[size_t(k)];
        s.StrokeNumber = uint16_t(k);
        s.StrokeLength = length;
        s.Energy = float(200 + k % 11);
        t.Curves[size_t(k)] = RisingFallingCurve(k, 30 + k % 9, 4 + k % 5);
        t.Curves[size_t(k)].HasData = k % 6 == 0 ? 0 : 1;
        cache.Update(t, k);
        ExpectFullAverage(t, "written");
    };
    for (int k = 1; k <= 40; ++k) write(k, float(120 + k % 4));
    write(40, 190);  // the last one replaced
    write(33, 150);  // a jump back
    write(52, 130);  // and forward past the arrays' end
    for (int k = 53; k <= 60; ++k) write(k, 125);
    ExpectAverageOfTheCurves(t, "written");
    // What the caller vouches for is not looked at: a change behind its back
    // stays unseen until a call from stroke 2.
    t.Curves[5].HasData = 0;
    cache.Update(t, 60);
    EXPECT_EQ(cache.CurvesChanged(), 0);
    cache.Update(t, 2);
    EXPECT_EQ(cache.CurvesChanged(), 1);
    ExpectFullAverage(t, "all looked at");
}

TEST(AverageCache, CurvesOfManyLengthsReplacedAndResetStayGroupedByTheirLength)
{
    TTraining t;
    ResetTraining(t);
    SetStrokeCount(t, 100);
    TAverageStrokeCache cache;
    // 30 lengths in steps of one magnet pulse, and lengths the average takes
    // from elsewhere: estimated from the curve (negative), 1 cm (zero).
    auto lengthOf = [](int k) { return k % 17 == 0 ? -1.0f : k % 23 == 0 ? 0.0f : float(2.2 * (50 + k * 7 % 30)); };
    for (int k = 1; k <= 90; ++k) {
        TStgStrokeData& s = t.Strokes[size_t(k)];
        s.StrokeNumber = uint16_t(k);
        s.StrokeLength = lengthOf(k);
        s.Energy = float(300 + k % 13);
        t.Curves[size_t(k)] = RisingFallingCurve(k, 40 + k % 21, 5 + k % 9);
        if (s.StrokeLength < 0) t.Curves[size_t(k)].Samples[0] = 900;  // estimated from where the curve ends
        if (k % 11 == 0) t.Curves[size_t(k)].HasData = 0;
        cache.Update(t);
        ExpectFullAverage(t, "appended");
        if (k >= 3) {
            EXPECT_EQ(cache.CurvesChanged(), t.Curves[size_t(k)].HasData ? 1 : 0) << k;
        }
    }
    EXPECT_GE(cache.Lengths(), 30u);
    ExpectAverageOfTheCurves(t, "appended");

    // A record replaced in the middle: its curve leaves the sum of its old
    // length and joins another one.
    t.Strokes[40].StrokeLength = 999;
    t.Curves[40] = RisingFallingCurve(40, 70, 20);
    t.Curves[41].HasData = 0;  // and one deleted
    t.Curves[44].HasData = 1;  // and one restored
    cache.Update(t);
    EXPECT_EQ(cache.CurvesChanged(), 4);
    ExpectFullAverage(t, "replaced");
    ExpectAverageOfTheCurves(t, "replaced");
    // The only curve of a length taken out: that length is gone.
    const size_t lengths = cache.Lengths();
    t.Curves[40].HasData = 0;
    cache.Update(t);
    EXPECT_EQ(cache.Lengths(), lengths - 1);
    ExpectFullAverage(t, "emptied");

    // A reset and a new session of other strokes: nothing of the old one stays.
    ResetTraining(t);
    SetStrokeCount(t, 10);
    for (int k = 1; k <= 10; ++k) {
        t.Strokes[size_t(k)].StrokeLength = 120;
        t.Curves[size_t(k)] = RisingFallingCurve(k, 30, 12);
    }
    cache.Update(t);
    EXPECT_EQ(cache.Lengths(), 1u);
    ExpectFullAverage(t, "new session");
    ExpectAverageOfTheCurves(t, "new session");
    EXPECT_EQ(std::memcmp(t.Curves[0].Samples, t.Curves[5].Samples, sizeof t.Curves[0].Samples), 0);
}

// The resampling as documented, step by step, to hold the fast one against.
TCurveValues DocumentedResample(const TCurveSamples& src, double scale)
{
    double w[kCurveSamples];
    for (int i = 0; i < kCurveSamples; ++i) {
        const double x = i * scale;
        const double k = std::trunc(x);
        const double f = x - k;
        double value;
        if (f == 0) value = k >= 0 && k <= 79 ? src[size_t(k)] : 0;
        else if (k < 0) value = src[0] * scale;
        else if (k >= 79) value = src[79];
        else value = src[size_t(k)] + f * (double(src[size_t(k) + 1]) - double(src[size_t(k)]));
        w[i] = std::fabs(value);
    }
    for (int i = 1; i <= 77; ++i)
        if (w[i] == w[i + 1] && w[i] > 0) w[i] = (w[i] + w[i - 1]) / 2;
    TCurveValues dst;
    for (int i = 0; i < kCurveSamples; ++i) dst[size_t(i)] = float(w[i]);
    return dst;
}

TEST(AverageCache, ResamplingMatchesItsDocumentedStepsToTheBit)
{
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    std::vector<double> scales = {1.0,   0.0, -0.5, -2.0, 2.0, 0.5, 79.0 / 80,  80.0 / 79,
                                  1e-12, 3.0, 79.0, 80.0, 1e5, 2e6, 1.0000001f, 0.9999999f};
    for (int i = 0; i < 400; ++i) scales.push_back(0.6 + (next() % 100000) / 125000.0);
    for (int c = 0; c < 40; ++c) {
        TCurveSamples src{};
        const int width = 20 + int(next() % 61);
        for (int i = 0; i < width; ++i) src[size_t(i)] = uint16_t(next() % (c % 4 == 0 ? 4 : 900));
        if (c % 5 == 1) src.fill(300);  // one long plateau
        for (double scale : scales) {
            const TCurveValues fast = ResampleCurve(src, scale);
            const TCurveValues slow = DocumentedResample(src, scale);
            ASSERT_EQ(std::memcmp(fast.data(), slow.data(), sizeof fast), 0) << "curve " << c << " scale " << scale;
        }
    }
}

TEST_F(RowEngine, WindowClosedWhileTheResultsShowAtTheLimit)
{
    // The results window is modal: the user may close the row window from it,
    // which destroys the engine (and its interface) while the limit stroke's
    // handlers are still running further up.
    Session.Settings.LimitType = 0;
    Session.Settings.LimitStrokes = 8;
    auto e = MakeRowEngine(Store, 101, Host, Host);
    Host.OnResults = [&] { e.reset(); };
    e->BtnConnectClick();
    ASSERT_TRUE(WaitFor([&] { return !e; }, 30000));
    Pump(100);
    EXPECT_EQ(Session.StrokeCount(), 8);
    EXPECT_EQ(Session.RowStatus, rsFinished);
    EXPECT_EQ(Host.Results.size(), 1u);
}

// ---- given up from inside its own handlers --------------------------------------------

TEST_F(RowEngine, GivenUpInsideTheConnectWaitItStopsClosesThePortAndGoesAfterTheWait)
{
    // A device that never answers: the connect waits for data with events
    // flowing, and the window goes from inside that wait.
    TPty pty;
    Host.Source = pty.SlavePath();
    TRowEnginePtr e = MakeRowEngine(Store, 101, Host, Host);
    TRowEngine* raw = e.get();
    bool released = false;
    Host.OnMessage = [&](const std::string& text) {
        if (!StartsWithText(text, "Waiting for interface")) return;
        QTimer::singleShot(20, [&] {
            EXPECT_TRUE(raw->InUse.Busy());
            released = true;
            e.reset();
        });
    };
    raw->BtnConnectClick();  // returns once the wait has stopped, on the whole engine
    ASSERT_TRUE(released);
    EXPECT_FALSE(Host.Shown);
    const size_t shown = Host.Messages.size();
    Pump(100);
    EXPECT_EQ(Host.Messages.size(), shown);  // nothing more from the engine
    EXPECT_EQ(Host.Chosen, 1);
    EXPECT_EQ(OpenDescriptors(pty.SlavePath()), 0);  // the port is closed
    EXPECT_TRUE(Dialog.Messages.empty());
    EXPECT_EQ(Host.Sessions, 0);
    EXPECT_EQ(Session.StrokeCount(), 0);
    // Given up from the test's own call, it goes with the deferred deletions
    // of this level (the program's main loop runs them on its own).
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(RowEngine, GivenUpWhileItsDisconnectQuestionIsOpenItKeepsTheStrokesAndAsksOnce)
{
    TRowEnginePtr e = MakeRowEngine(Store, 101, Host, Host);
    TRowEngine* raw = e.get();
    bool rowed = false;
    Host.OnStroke = [&](int k) {
        if (k >= 6) rowed = true;
    };
    raw->BtnConnectClick();
    ASSERT_TRUE(WaitFor([&] { return rowed; }, 30000));
    Host.OnStroke = nullptr;
    // The user closes the window while "disconnect?" is up, then answers Yes.
    Dialog.Answers = {TMsgResult::Yes};
    Dialog.WhileShown = [&](const TScriptedDialogs::Shown&) {
        Dialog.WhileShown = nullptr;
        e.reset();
        Pump(30);  // the box's own event loop
    };
    raw->BtnConnectClick();
    Pump(100);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(e);
    ASSERT_EQ(Dialog.Messages.size(), 1u);
    EXPECT_EQ(Dialog.LastText(), "The system is paused. Do you want to disconnect?");
    const int n = Session.StrokeCount();
    EXPECT_GE(n, 6);
    EXPECT_EQ(Session.Strokes.size(), Session.Curves.size());
    EXPECT_FLOAT_EQ(Session.Totals.Distance, Session.Strokes[size_t(n)].Distance);
    EXPECT_EQ(Session.RowStatus, rsFinished);
    EXPECT_EQ(Host.Results.size(), 1u);  // shown once, as the device closed
}

}  // namespace
