// Rowing Bluetooth FTMS machines and pairing heart-rate straps through the
// real row engine and recording: captures to a distance limit and through
// intervals, the strap's pulse per stroke (also with the serial measuring
// interface's demo), a strap that stops, a strap that cannot be started,
// pausing.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "core/catalogue.h"
#include "core/values.h"
#include "files/training_io.h"
#include "interfaces/devices/capture.h"
#include "interfaces/devices/demo_data.h"
#include "interfaces/ft_interface.h"
#include "logic/row_engine.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/testutil_interfaces.h"
#include "util/dialogs.h"

namespace {

class THost : public TRowHost, public TProgramServices {
public:
    std::string Source;
    int Type = kFtmsInterfaceType;
    std::string Heart;
    bool Shown = false;
    std::vector<std::string> Told, Log;
    std::vector<double> Values = std::vector<double>(64, -1.0);
    int Results = 0;

    bool ChooseSource(std::string& source, int& type) override
    {
        source = Source;
        type = Type;
        return true;
    }
    void ShowMessageWindow(const std::string&) override { Shown = true; }
    void HideMessageWindow() override { Shown = false; }
    bool MessageWindowShown() override { return Shown; }
    void LogLine(const std::string& line) override { Log.push_back(line); }
    void SetValue(int p, bool, double v) override { Values[size_t(p)] = v; }
    void ShowResults(const TTraining&) override { ++Results; }
    void CountRowingSession() override {}
    void AddRowingTime(double) override {}
    void CountFileSaved() override {}
    std::string SettingsFileForReading() const override { return ""; }
    std::string SettingsFileForWriting() const override { return ""; }
    std::optional<std::string> HeartRateSource() override { return Heart; }
    void HeartRateMessage(const std::string& text) override { Told.push_back(text); }
};

// The demo recording's strokes (computed once) and captures made from them.
const std::vector<TStgStrokeData>& DemoStrokes()
{
    static const std::vector<TStgStrokeData> strokes = [] {
        std::string error;
        return RecordingStrokes(BuiltInDemoData(), 80, error);
    }();
    return strokes;
}

std::string Write(const std::string& name, const std::string& text)
{
    const std::string path = TempFolder() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// n steady strokes of 2.5 s and 10 m at 200 W, as a machine's capture.
std::string SteadyCapture(int n)
{
    std::vector<TStgStrokeData> v;
    for (int k = 1; k <= n; ++k) {
        TStgStrokeData s{};
        s.Time = float(2.5 * k);
        s.Distance = float(10 * k);
        s.Power = 200;
        s.StrokeRate = 24;
        s.Time500 = 125;
        s.EnergySum = float(0.5 * k);
        s.AveragePower = 200;
        v.push_back(s);
    }
    return MakeFtmsCapture(v, "Steady rower");
}

class BluetoothRow : public ::testing::Test {
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
    void Row(TRowEngine& e, int ms = 30000)
    {
        e.BtnConnectClick();
        WaitFor([&] { return !e.Interface() || e.Interface()->State() == vtsClosed; }, ms);
    }
    TSessionStore Store;
    TTraining& Session = Store.Add(TTraining{}, 101);
    THost Host;
    TScriptedDialogs Dialog;
    TDialogScope Scope{Dialog};
};

}  // namespace

TEST_F(BluetoothRow, MachineToADistanceLimit)
{
    Host.Source = "capture:" + Write("demo-ftms.txt", MakeFtmsCapture(DemoStrokes(), "Demo"));
    Session.Settings.LimitType = 2;
    Session.Settings.LimitDistance = 1000;
    TRowEngine e(Store, 101, Host, Host);
    e.CaptureSpeed = 0;
    Row(e);
    ASSERT_TRUE(e.Finished());
    EXPECT_FLOAT_EQ(Session.Totals.Distance, 1000.0f);
    const int n = Session.StrokeCount();
    ASSERT_GT(n, 50);
    EXPECT_GE(Session.Strokes[size_t(n)].Distance, 1000.0f);
    EXPECT_LT(Session.Strokes[size_t(n - 1)].Distance, 1000.0f);
    EXPECT_EQ(Host.Results, 1);
    EXPECT_EQ(+Session.Header.InterfaceType, kFtmsInterfaceType);
    EXPECT_EQ(+Session.Header.InterfaceDetail, +vtpFTMS);
    EXPECT_EQ(Session.Header.InterfaceText.Text(), "demo-ftms.txt");
    // The machine measures no force: its strokes carry no force curve.
    for (int k = 1; k <= n; ++k) EXPECT_EQ(+Session.Curves[size_t(k)].HasData, 0) << k;
    // The strokes are the recording's, stroke by stroke.
    for (int k = 2; k <= n; ++k) {
        EXPECT_NEAR(Session.Strokes[size_t(k)].Distance, DemoStrokes()[size_t(k - 1)].Distance, 1.0) << k;
        EXPECT_NEAR(Session.Strokes[size_t(k)].Power, DemoStrokes()[size_t(k - 1)].Power, 0.5) << k;
    }
    // Saved and read back.
    std::string path = TempFolder() + "/ftms.stg";
    Session.Header.FileType = ftSTG;
    ASSERT_TRUE(SaveTraining(path, "", Session)) << Dialog.LastText();
    TTraining back;
    ASSERT_TRUE(OpenTraining(path, back, true));
    EXPECT_EQ(back.StrokeCount(), n);
    EXPECT_EQ(+back.Header.InterfaceType, kFtmsInterfaceType);
}

TEST_F(BluetoothRow, MachineThroughIntervals)
{
    Host.Source = "capture:" + Write("steady.txt", SteadyCapture(40));
    Session.Settings.LimitType = 4;
    Session.Settings.LimitIntervals = 3;
    Session.Settings.IntervalBy = 0;
    Session.Settings.WorkPeriod = Session.Settings.WorkStrokes = 8;
    Session.Settings.RestPeriod = Session.Settings.RestStrokes = 2;
    TRowEngine e(Store, 101, Host, Host);
    e.CaptureSpeed = 0;
    Row(e);
    ASSERT_TRUE(e.Finished());
    ASSERT_GE(Session.IntervalCount(), 2);
    EXPECT_NEAR(Session.Intervals[0].AveragePower, 200, 1);
    EXPECT_EQ(+Session.Strokes[1].IntervalNumber, 1);
    EXPECT_EQ(+Session.Strokes[12].IntervalNumber, 2);  // 8 work and 2 rest strokes make interval 1
}

TEST_F(BluetoothRow, StrapPulsePerStrokeWithTheMachineAndWithTheSerialDemo)
{
    const std::string heart = Write("strap.txt", MakeHeartCapture(DemoStrokes(), "Strap"));
    const std::vector<int> rates = SimulatedHeartRate(DemoStrokes());
    Host.Source = "capture:" + Write("demo-ftms.txt", MakeFtmsCapture(DemoStrokes(), "Demo"));
    Host.Heart = "capture:" + heart;
    Session.Settings.LimitType = 2;
    Session.Settings.LimitDistance = 500;
    {
        TRowEngine e(Store, 101, Host, Host);
        e.CaptureSpeed = 25;  // both captures at the same pace
        Row(e, 60000);
        ASSERT_TRUE(e.Finished());
    }
    int checked = 0;
    for (int k = 10; k <= Session.StrokeCount(); ++k) {
        const TStgStrokeData& s = Session.Strokes[size_t(k)];
        const int truth = rates[size_t(std::lround(s.Time))];
        // The strap's value around the stroke's time (the two captures play side by side).
        EXPECT_NEAR(s.Pulse, truth, 6) << k;
        EXPECT_NEAR(s.WorkPerPulse, s.Power / s.Pulse, 1e-3) << k;
        ++checked;
    }
    EXPECT_GT(checked, 30);
    EXPECT_TRUE(Host.Told.empty());
    EXPECT_GT(Host.Values[12], 60);

    // The serial measuring interface's demo with a strap: its made-up heart
    // value gives way to the strap's (the strap's capture at once: its last
    // value holds).
    ResetTraining(Session);
    Session.Settings = DefaultSettings();
    Session.ClientId = 101;
    Session.Settings.LimitType = 0;
    Session.Settings.LimitStrokes = 40;
    Host.Source = "DEMO";
    Host.Type = 1;
    TRowEngine e(Store, 101, Host, Host);
    e.DemoFast = true;
    e.CaptureSpeed = 0;
    Row(e);
    ASSERT_TRUE(e.Finished());
    for (int k = 10; k <= Session.StrokeCount(); ++k) EXPECT_EQ(+Session.Strokes[size_t(k)].Pulse, rates.back()) << k;
    EXPECT_NE(rates.back(), 150);
}

TEST_F(BluetoothRow, StrapThatStopsLeavesNoPulseAndIsToldOnce)
{
    // Ten seconds of heart rate, then nothing.
    std::string heart = CaptureHeader("Strap");
    for (int t = 0; t < 10; ++t) {
        const uint8_t b[] = {0x06, 130};
        heart += CaptureLine(t, 0x2A37, b, 2);
    }
    Host.Source = "capture:" + Write("steady.txt", SteadyCapture(40));
    Host.Heart = "capture:" + Write("short-strap.txt", heart);
    TRowEngine e(Store, 101, Host, Host);
    e.CaptureSpeed = 20;
    e.HeartRateTimeout = 300;
    Row(e);
    ASSERT_EQ(Session.StrokeCount(), 40);
    EXPECT_FLOAT_EQ(+Session.Strokes[2].Pulse, 130);
    // From about 10 s + the timeout (16 s at this pace) on: no pulse.
    for (int k = 12; k <= 40; ++k) EXPECT_EQ(+Session.Strokes[size_t(k)].Pulse, 0) << k;
    ASSERT_EQ(Host.Told.size(), 1u);
    EXPECT_NE(Host.Told[0].find("No heart rate from"), std::string::npos);
    EXPECT_EQ(Host.Values[12], 0);
}

TEST_F(BluetoothRow, MachineThatVanishesKeepsItsStrokes)
{
    // The machine drops out at 20 s, comes back, and is gone at 50 s: 20 strokes of 2.5 s.
    std::string capture;
    bool lost = false, gone = false;
    std::istringstream lines(SteadyCapture(40));
    for (std::string line; std::getline(lines, line);) {
        if (line.empty()) continue;
        const double t = std::atof(line.c_str());
        if (line[0] != '#' && t > 20.1 && !lost) {
            capture += CaptureEventLine(20.1, TCaptureEvent::Lost, "link supervision timeout");
            lost = true;
        }
        if (line[0] != '#' && t > 50.1 && !gone) {
            capture += CaptureEventLine(50.1, TCaptureEvent::Gone, "did not come back");
            gone = true;
        }
        capture += line + "\n";
    }
    ASSERT_TRUE(gone);
    Host.Source = "capture:" + Write("vanishing.txt", capture);
    TRowEngine e(Store, 101, Host, Host);
    e.CaptureSpeed = 0;
    Row(e);
    EXPECT_EQ(Session.StrokeCount(), 20);
    EXPECT_FLOAT_EQ(Session.Totals.Distance, 200.0f);
    EXPECT_EQ(Session.RowStatus, rsFinished);
    // Told once, with the reason; the drop that healed is only logged.
    ASSERT_EQ(Dialog.Messages.size(), 1u);
    EXPECT_NE(Dialog.LastText().find("vanishing.txt is gone (did not come back)"), std::string::npos);
    bool dropLogged = false;
    for (const auto& l : Host.Log)
        dropLogged = dropLogged || l.find("lost (link supervision timeout)") != std::string::npos;
    EXPECT_TRUE(dropLogged);
    // What was rowed is saved whole.
    std::string path = TempFolder() + "/vanished.stg";
    Session.Header.FileType = ftSTG;
    ASSERT_TRUE(SaveTraining(path, "", Session)) << Dialog.LastText();
    TTraining back;
    ASSERT_TRUE(OpenTraining(path, back, false));
    EXPECT_EQ(back.StrokeCount(), 20);
}

TEST_F(BluetoothRow, StrapThatCannotStartAndAPausedMachine)
{
    Host.Source = "capture:" + Write("steady.txt", SteadyCapture(30));
    Host.Heart = "capture:" + TempFolder() + "/no-strap.txt";
    TRowEngine e(Store, 101, Host, Host);
    e.CaptureSpeed = 10;
    e.BtnConnectClick();
    ASSERT_TRUE(WaitFor([&] { return e.StrokeIndex() >= 3; }, 10000));
    ASSERT_EQ(Host.Told.size(), 1u);
    EXPECT_NE(Host.Told[0].find("not found"), std::string::npos);
    // Pause (the question answered No): no strokes come while paused.
    Dialog.Answers.push_back(TMsgResult::No);
    e.BtnConnectClick();
    ASSERT_EQ(e.Interface()->State(), vtsPaused);
    const int at = e.StrokeIndex();
    Pump(500);
    EXPECT_EQ(e.StrokeIndex(), at);
    e.BtnConnectClick();  // continue
    ASSERT_TRUE(WaitFor([&] { return !e.Interface() || e.Interface()->State() == vtsClosed; }, 20000));
    EXPECT_EQ(Session.StrokeCount(), 30);
    for (int k = 1; k <= 30; ++k) EXPECT_EQ(+Session.Strokes[size_t(k)].Pulse, 0) << k;
    EXPECT_EQ(Session.RowStatus, rsFinished);
}
