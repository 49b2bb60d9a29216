// The connect dialog offscreen with real sources: the source list, the
// stored source, the "Connect" section it writes (and the keys it drops), a
// live test of the demo recording and of a VT device on a pseudo-terminal,
// a silent device, the protocol-error rule, stopping a test while it waits
// and a search that finds nothing.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "interfaces/delay.h"
#include "interfaces/vt_interface.h"
#include "logic/row_engine.h"
#include "row/connect_dialog.h"
#include "tests/support/child.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/test_home.h"
#include "tests/support/testutil_interfaces.h"
#include "util/dialogs.h"
#include "util/profile.h"
#include "util/text.h"

namespace fs = std::filesystem;

namespace {

QApplication& App() { return TestApp(); }

std::vector<std::string> Items(const QComboBox* box)
{
    std::vector<std::string> out;
    for (int i = 0; i < box->count(); ++i) out.push_back(box->itemText(i).toStdString());
    return out;
}

bool Contains(const QString& text, const std::string& part) { return text.contains(QString::fromStdString(part)); }

// Writes bytes to a pseudo-terminal device on a timer, piece by piece, as a
// device would while the dialog waits.
class TFeeder {
public:
    TFeeder(TPty& pty, std::string bytes, size_t piece, int everyMs) : Pty(pty), Bytes(std::move(bytes)), Piece(piece)
    {
        QObject::connect(&Timer, &QTimer::timeout, [this] {
            if (At >= Bytes.size()) At = 0;  // keep rowing
            Pty.Write(Bytes.substr(At, Piece));
            At += Piece;
        });
        Timer.start(everyMs);
    }
    void Stop() { Timer.stop(); }

private:
    TPty& Pty;
    std::string Bytes;
    size_t Piece;
    size_t At = 0;
    QTimer Timer;
};

class ConnectDialogTest : public ::testing::Test {
protected:
    // Port tests, searches and the dialog's message delays wait a tenth of their time.
    TWaitPace Pace{10};
    void SetUp() override
    {
        App();
        Folder = TempFolder();
        Ini = Folder + "catchline.ini";
        Scope = std::make_unique<TDialogScope>(Dlg);
        SetToneService([this](int frequency, int) {
            if (frequency == 1000) ++Clicks;
            if (frequency == 0) ++Beeps;
        });
        Dialog = std::make_unique<TfrmConnect>();
        Dialog->SettingsFileForReading = Ini;
        Dialog->SettingsFileForWriting = Ini;
    }
    void TearDown() override
    {
        Dialog.reset();
        Pump(20);  // dropped interfaces are freed
        SetToneService({});
        Scope.reset();
        fs::remove_all(Folder);
    }

    void WriteIni(const std::string& text) { std::ofstream(Ini, std::ios::binary) << text; }
    std::vector<std::string> ConnectKeys() const
    {
        TProfileFile ini(Ini);
        return ini.ReadSection("Connect");
    }
    // Texts the test label showed while pred did not yet hold.
    std::vector<std::string> Watch(const std::function<void()>& action)
    {
        std::vector<std::string> seen;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            const std::string t = Child<QLabel>(Dialog, "lblTest")->text().toStdString();
            if (seen.empty() || seen.back() != t) seen.push_back(t);
        });
        poll.start(10);
        action();
        return seen;
    }
    void ExpectIdle()
    {
        TfrmConnect& d = *Dialog;
        EXPECT_FALSE(d.TestRunning());
        EXPECT_EQ(d.windowTitle(), "Connect");
        EXPECT_EQ(Child<QPushButton>(d, "btbTest")->text(), "&Test");
        EXPECT_TRUE(Child<QLabel>(d, "lblTest")->text().isEmpty()) << Child<QLabel>(d, "lblTest")->text().toStdString();
        EXPECT_FALSE(Child<QWidget>(d, "pnlMagnets")->isVisible());
        for (QWidget* w : std::initializer_list<QWidget*>{
                 Child<QPushButton>(d, "btbSearch"), Child<QPushButton>(d, "btbOk"), Child<QPushButton>(d, "btbCancel"),
                 Child<QLabel>(d, "lblSource"), Child<QComboBox>(d, "cmbSource")})
            EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    }
    void ExpectTesting()
    {
        TfrmConnect& d = *Dialog;
        EXPECT_TRUE(d.TestRunning());
        EXPECT_EQ(Child<QPushButton>(d, "btbTest")->text(), "S&top");
        EXPECT_TRUE(Child<QWidget>(d, "pnlMagnets")->isVisible());
        for (QWidget* w :
             std::initializer_list<QWidget*>{Child<QPushButton>(d, "btbSearch"), Child<QPushButton>(d, "btbCancel"),
                                             Child<QLabel>(d, "lblSource"), Child<QComboBox>(d, "cmbSource")})
            EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
        // OK ends the test and takes the source.
        EXPECT_TRUE(Child<QPushButton>(d, "btbOk")->isEnabled());
    }

    std::string Folder, Ini;
    TScriptedDialogs Dlg;
    std::unique_ptr<TDialogScope> Scope;
    std::unique_ptr<TfrmConnect> Dialog;
    int Clicks = 0;
    int Beeps = 0;
};

TEST_F(ConnectDialogTest, ControlsAndSourceList)
{
    TfrmConnect& d = *Dialog;
    EXPECT_EQ(d.windowTitle(), "Connect");
    EXPECT_EQ(d.height(), 250);
    EXPECT_EQ(Child<QLabel>(d, "lblSource")->text(), "So&urce");
    EXPECT_EQ(Child<QPushButton>(d, "btbTest")->text(), "&Test");
    EXPECT_EQ(Child<QPushButton>(d, "btbTest")->toolTip(), "Test current interface / source");
    EXPECT_EQ(Child<QPushButton>(d, "btbSearch")->text(), "&Search");
    EXPECT_EQ(Child<QPushButton>(d, "btbSearch")->toolTip(), "Search for an interface");
    EXPECT_EQ(Child<QPushButton>(d, "btbOk")->toolTip(), "Accept changes");
    EXPECT_TRUE(Child<QLabel>(d, "lblTest")->text().isEmpty());
    EXPECT_TRUE(Child<QLabel>(d, "lblTest")->wordWrap());
    EXPECT_FALSE(Child<QWidget>(d, "pnlMagnets")->isVisible());
    EXPECT_EQ(Child<QGroupBox>(d, "rgpConnect")->title(), "Connect t&ype");
    std::vector<std::string> radios;
    for (auto* r : Child<QGroupBox>(d, "rgpConnect")->findChildren<QRadioButton*>())
        radios.push_back(r->text().toStdString());
    EXPECT_EQ(radios, (std::vector<std::string>{"Direct", "Delayed (5 seconds)", "Warming up"}));

    // "DEMO" plus every port of the VT and Brax interfaces' lists, once each, sorted.
    const std::vector<std::string> items = Items(Child<QComboBox>(d, "cmbSource"));
    EXPECT_EQ(std::count(items.begin(), items.end(), "DEMO"), 1);
    TVTInterface vt;
    TBXInterface bx;
    for (const auto* list : {&vt.PortList, &bx.PortList})
        for (const auto& port : *list) EXPECT_EQ(std::count(items.begin(), items.end(), port), 1) << port;
    EXPECT_TRUE(std::is_sorted(items.begin(), items.end()));
    EXPECT_EQ(std::set<std::string>(items.begin(), items.end()).size(), items.size());

    d.show();
    EXPECT_FALSE(Child<QGroupBox>(d, "rgpConnect")->isVisible());
    EXPECT_EQ(d.ConnectTypeIndex(), 0);
    d.reject();
}

TEST_F(ConnectDialogTest, StoredSourceIsSelectedOrElseDemo)
{
    TfrmConnect& d = *Dialog;
    d.show();  // no settings file yet
    EXPECT_EQ(d.Source(), "DEMO");
    d.reject();

    // A port the user typed is shown as typed, also when the system does not
    // list it (now).
    WriteIni("[Connect]\nSource=/dev/ttyGONE7\n");
    d.show();
    EXPECT_EQ(Child<QComboBox>(d, "cmbSource")->currentText(), "/dev/ttyGONE7");
    EXPECT_EQ(d.Source(), "/dev/ttyGONE7");
    d.reject();
    {
        TProfileFile ini(Ini);
        EXPECT_EQ(ini.ReadString("Connect", "Source", "?"), "/dev/ttyGONE7");
    }

    WriteIni("[Connect]\nSource=demo\n");
    d.show();
    EXPECT_EQ(Child<QComboBox>(d, "cmbSource")->currentText(), "DEMO");
    EXPECT_EQ(Child<QComboBox>(d, "cmbSource")->currentIndex(), Child<QComboBox>(d, "cmbSource")->findText("DEMO"));
    d.reject();
}

TEST_F(ConnectDialogTest, CloseWritesTheSectionWithItsOwnRules)
{
    WriteIni(
        "[Row]\nLeft=5\n[Connect]\nSource=DEMO\nInterfaceType=3\nStrictProtocol=0\nRawHeartRate=1\nBeeps=0\n"
        "Quick=1\nExtra=kept?\n[Options]\nDialog=123\n");
    TfrmConnect& d = *Dialog;
    d.show();
    EXPECT_FALSE(d.Settings.StrictProtocol);
    EXPECT_TRUE(d.Settings.RawHeartRate);
    EXPECT_FALSE(d.Settings.Beeps);
    EXPECT_TRUE(d.Settings.Quick);
    EXPECT_EQ(d.InterfaceType(), 3);
    Child<QPushButton>(d, "btbCancel")->click();  // Cancel writes too
    EXPECT_FALSE(d.isVisible());

    // Erased and rewritten: "Source" and "InterfaceType" always, true values
    // only, never "Beeps"; other sections stay.
    EXPECT_EQ(ConnectKeys(), (std::vector<std::string>{"Source", "InterfaceType", "RawHeartRate", "Quick"}));
    {
        TProfileFile ini(Ini);
        EXPECT_EQ(ini.ReadString("Connect", "Source", "?"), "DEMO");
        EXPECT_EQ(ini.ReadInteger("Connect", "InterfaceType", -1), 3);
        EXPECT_EQ(ini.ReadString("Connect", "RawHeartRate", ""), "1");
        EXPECT_EQ(ini.ReadString("Row", "Left", ""), "5");
        EXPECT_EQ(ini.ReadString("Options", "Dialog", ""), "123");
    }
    // A false "StrictProtocol" is not written, so it reads back true.
    d.show();
    EXPECT_TRUE(d.Settings.StrictProtocol);
    EXPECT_TRUE(d.Settings.Beeps);
    EXPECT_TRUE(d.Settings.RawHeartRate);
    Child<QPushButton>(d, "btbOk")->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(ConnectKeys(),
              (std::vector<std::string>{"Source", "InterfaceType", "StrictProtocol", "RawHeartRate", "Quick"}));
}

TEST_F(ConnectDialogTest, SettingsFileThatCannotBeWrittenIsLeftAlone)
{
    TfrmConnect& d = *Dialog;
    d.SettingsFileForWriting = Folder + "no-such-folder/catchline.ini";
    d.show();
    Child<QPushButton>(d, "btbCancel")->click();
    EXPECT_FALSE(fs::exists(d.SettingsFileForWriting));
    EXPECT_TRUE(Dlg.Messages.empty());
}

TEST_F(ConnectDialogTest, ProtocolErrorRule)
{
    // Before the first pulse: fewer than 10.
    EXPECT_TRUE(ProtocolErrorTolerated(0, 0));
    EXPECT_TRUE(ProtocolErrorTolerated(9, 0));
    EXPECT_FALSE(ProtocolErrorTolerated(10, 0));
    // Then: below one error in ten pulses.
    EXPECT_TRUE(ProtocolErrorTolerated(9, 91));
    EXPECT_FALSE(ProtocolErrorTolerated(10, 100));
    EXPECT_TRUE(ProtocolErrorTolerated(10, 101));
    EXPECT_FALSE(ProtocolErrorTolerated(1, 1));
    EXPECT_FALSE(ProtocolErrorTolerated(1000000, 1));
}

TEST_F(ConnectDialogTest, DemoTestShowsDataWithoutProtocolLine)
{
    TfrmConnect& d = *Dialog;
    d.show();
    ASSERT_EQ(d.Source(), "DEMO");
    Child<QPushButton>(d, "btbTest")->click();
    ExpectTesting();
    ASSERT_TRUE(WaitFor([&] { return d.RawCount() >= 20; }, 15000)) << d.RawCount();
    const QString text = Child<QLabel>(d, "lblTest")->text();
    EXPECT_TRUE(text.startsWith("Receiving ... ")) << text.toStdString();
    EXPECT_TRUE(text.contains("\nSource : Demodata")) << text.toStdString();
    EXPECT_TRUE(text.contains("\nDevice : VT Interface")) << text.toStdString();
    EXPECT_FALSE(text.contains("Protocol")) << text.toStdString();
    const QString caption = d.windowTitle();
    ASSERT_TRUE(caption.startsWith("Connect to ")) << caption.toStdString();
    bool known = false;
    for (TTarnProtocol p : {vtpDOS, vtpVtw, vtpVT3W})
        known = known || caption.toStdString() == "Connect to " + TarnProtocolName(p);
    EXPECT_TRUE(known) << caption.toStdString();
    // The magnet panels show the statistics' four figures.
    const QRegularExpression figure("^ *\\d{1,3}$");
    for (QLabel* p : {Child<QLabel>(d, "pnlMagnet1"), Child<QLabel>(d, "pnlMagnet2"), Child<QLabel>(d, "pnlMagnet3"),
                      Child<QLabel>(d, "pnlMagnet4")})
        EXPECT_TRUE(figure.match(p->text()).hasMatch()) << p->text().toStdString();
    // One click per pulse, at most one per 50 ms.
    EXPECT_GT(Clicks, 0);
    EXPECT_LE(Clicks, int(d.RawCount()));
    EXPECT_EQ(d.ProtocolErrorCount(), 0u);

    Child<QPushButton>(d, "btbTest")->click();  // Stop
    ExpectIdle();
    const unsigned stoppedAt = d.RawCount();
    Pump(300);
    EXPECT_EQ(d.RawCount(), stoppedAt);
    d.reject();

    // OK during a test ends it and takes the source.
    d.show();
    Child<QPushButton>(d, "btbTest")->click();
    ExpectTesting();
    ASSERT_TRUE(WaitFor([&] { return d.RawCount() >= 5; }, 15000));
    Child<QPushButton>(d, "btbOk")->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_FALSE(d.TestRunning());
    EXPECT_EQ(d.Source(), "DEMO");
    const unsigned acceptedAt = d.RawCount();
    Pump(200);
    EXPECT_EQ(d.RawCount(), acceptedAt);
}

TEST_F(ConnectDialogTest, FalseBeepsSilenceClicksUntilClosedOnce)
{
    WriteIni("[Connect]\nSource=DEMO\nBeeps=0\n");
    TfrmConnect& d = *Dialog;
    d.show();
    Child<QPushButton>(d, "btbTest")->click();
    ASSERT_TRUE(WaitFor([&] { return d.RawCount() >= 20; }, 15000));
    EXPECT_EQ(Clicks, 0);
    Child<QPushButton>(d, "btbTest")->click();
    Child<QPushButton>(d, "btbCancel")->click();

    d.show();  // closing dropped the key: clicks again
    Child<QPushButton>(d, "btbTest")->click();
    ASSERT_TRUE(WaitFor([&] { return d.RawCount() >= 20; }, 15000));
    EXPECT_GT(Clicks, 0);
    Child<QPushButton>(d, "btbTest")->click();
    d.reject();
}

TEST_F(ConnectDialogTest, TypedPseudoTerminalIsTestedLive)
{
    WriteIni("[Connect]\nSource=DEMO\nInterfaceType=3\n");
    TPty pty;
    TfrmConnect& d = *Dialog;
    d.show();
    EXPECT_EQ(d.InterfaceType(), 3);
    Child<QComboBox>(d, "cmbSource")->setEditText(QString::fromStdString(pty.SlavePath()));
    ASSERT_EQ(d.Source(), pty.SlavePath());
    TFeeder feeder(pty, VTFrames(RowingTicks(12), vtpVtw), 40, 20);
    Child<QPushButton>(d, "btbTest")->click();  // returns once a valid frame arrived
    ASSERT_TRUE(d.TestRunning()) << Child<QLabel>(d, "lblTest")->text().toStdString();
    ExpectTesting();
    // A successful test makes it the VT interface.
    EXPECT_EQ(d.InterfaceType(), 1);
    ASSERT_TRUE(WaitFor([&] { return d.RawCount() >= 40; }, 10000)) << d.RawCount();
    const QString text = Child<QLabel>(d, "lblTest")->text();
    EXPECT_TRUE(text.startsWith("Receiving ... ")) << text.toStdString();
    EXPECT_TRUE(Contains(text, "\nSource : " + pty.SlavePath())) << text.toStdString();
    EXPECT_TRUE(text.contains("\nDevice : VT Interface")) << text.toStdString();
    EXPECT_TRUE(Contains(text, "\nProtocol : " + TarnProtocolName(vtpVtw))) << text.toStdString();
    EXPECT_EQ(d.windowTitle().toStdString(), "Connect to " + TarnProtocolName(vtpVtw));
    const QRegularExpression figure("^ *\\d{1,3}$");
    for (QLabel* p : {Child<QLabel>(d, "pnlMagnet1"), Child<QLabel>(d, "pnlMagnet2"), Child<QLabel>(d, "pnlMagnet3"),
                      Child<QLabel>(d, "pnlMagnet4")})
        EXPECT_TRUE(figure.match(p->text()).hasMatch()) << p->text().toStdString();
    EXPECT_GT(Clicks, 0);
    EXPECT_EQ(d.ProtocolErrorCount(), 0u);
    EXPECT_TRUE(Dlg.Messages.empty()) << Dlg.LastText();

    Child<QPushButton>(d, "btbTest")->click();  // Stop
    feeder.Stop();
    ExpectIdle();
    Child<QPushButton>(d, "btbOk")->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    TProfileFile ini(Ini);
    EXPECT_EQ(ini.ReadString("Connect", "Source", ""), pty.SlavePath());
    EXPECT_EQ(ini.ReadInteger("Connect", "InterfaceType", -1), 1);
}

TEST_F(ConnectDialogTest, SilentDeviceShowsNoDataThenNothingFound)
{
    TPty pty;
    TfrmConnect& d = *Dialog;
    d.show();
    Child<QComboBox>(d, "cmbSource")->setEditText(QString::fromStdString(pty.SlavePath()));
    const std::string testing = "Testing " + pty.SlavePath() + " ...";
    QElapsedTimer clock;
    clock.start();
    const std::vector<std::string> seen = Watch([&] { Child<QPushButton>(d, "btbTest")->click(); });
    const qint64 took = clock.elapsed();
    auto at = [&](const std::string& t) { return std::find(seen.begin(), seen.end(), t); };
    ASSERT_NE(at(testing), seen.end());
    ASSERT_NE(at("ComPort : No data"), seen.end());
    ASSERT_NE(at("Nothing found"), seen.end());
    EXPECT_LT(at(testing), at("ComPort : No data"));
    EXPECT_LT(at("ComPort : No data"), at("Nothing found"));
    EXPECT_GE(took, 3900 / WaitPace());  // 3 s without data, then "Nothing found" for 1 s
    EXPECT_GE(Beeps, 1);                 // the test timer's beep
    EXPECT_TRUE(Dlg.Messages.empty()) << Dlg.LastText();
    ExpectIdle();
    EXPECT_EQ(d.InterfaceType(), 0);
    d.reject();
}

TEST_F(ConnectDialogTest, TooManyProtocolErrorsEndTheTestWithTheProtocolMessage)
{
    TPty pty;
    TfrmConnect& d = *Dialog;
    d.show();
    Child<QComboBox>(d, "cmbSource")->setEditText(QString::fromStdString(pty.SlavePath()));
    TFeeder feeder(pty, std::string(64, '\0'), 8, 20);  // no frame of any protocol
    Child<QPushButton>(d, "btbTest")->click();
    feeder.Stop();
    EXPECT_GE(d.ProtocolErrorCount(), 10u);
    EXPECT_EQ(d.RawCount(), 0u);
    ASSERT_EQ(Dlg.Messages.size(), 1u);
    EXPECT_EQ(Dlg.Messages[0].Kind, TMsgKind::Error);
    TTarnProtocolSet set;
    set.Include(vtpVtw);
    EXPECT_EQ(Dlg.Messages[0].Text, TRowEngine::ProtocolMessageText(set, true));
    EXPECT_EQ(Dlg.Messages[0].Text.find("[Test]"), std::string::npos);
    EXPECT_GE(Beeps, 1);
    ExpectIdle();
    d.reject();
}

TEST_F(ConnectDialogTest, StopWhileTheTestWaitsForData)
{
    TPty pty;
    TfrmConnect& d = *Dialog;
    d.show();
    Child<QComboBox>(d, "cmbSource")->setEditText(QString::fromStdString(pty.SlavePath()));
    // Stop after 300 ms and start a demo test at once: the first test's wait
    // must neither stop nor close the second one.
    QTimer::singleShot(300, &d, [&] {
        Child<QPushButton>(d, "btbTest")->click();  // Stop
        Child<QComboBox>(d, "cmbSource")->setCurrentIndex(Child<QComboBox>(d, "cmbSource")->findText("DEMO"));
        Child<QPushButton>(d, "btbTest")->click();  // Test DEMO
    });
    QElapsedTimer clock;
    clock.start();
    Child<QPushButton>(d, "btbTest")->click();
    EXPECT_LT(clock.elapsed(), 2500);  // the first test gave up once stopped
    EXPECT_TRUE(d.TestRunning());
    ASSERT_TRUE(WaitFor([&] { return d.RawCount() >= 10; }, 15000));
    EXPECT_TRUE(Child<QLabel>(d, "lblTest")->text().startsWith("Receiving ... "))
        << Child<QLabel>(d, "lblTest")->text().toStdString();
    Pump(1200);  // longer than "Nothing found" would have stayed
    EXPECT_TRUE(d.TestRunning());
    Child<QPushButton>(d, "btbTest")->click();
    ExpectIdle();
    d.reject();
}

TEST_F(ConnectDialogTest, NewTestDuringNothingFoundIsNotStopped)
{
    TPty pty;
    TfrmConnect& d = *Dialog;
    d.show();
    Child<QComboBox>(d, "cmbSource")->setEditText(QString::fromStdString(pty.SlavePath()));
    bool restarted = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (restarted || Child<QLabel>(d, "lblTest")->text() != "Nothing found") return;
        restarted = true;
        Child<QPushButton>(d, "btbTest")->click();  // Stop
        Child<QComboBox>(d, "cmbSource")->setCurrentIndex(Child<QComboBox>(d, "cmbSource")->findText("DEMO"));
        Child<QPushButton>(d, "btbTest")->click();  // Test DEMO
    });
    poll.start(10);
    Child<QPushButton>(d, "btbTest")->click();
    poll.stop();
    ASSERT_TRUE(restarted);
    EXPECT_TRUE(d.TestRunning());
    ASSERT_TRUE(WaitFor([&] { return d.RawCount() >= 5; }, 15000));
    EXPECT_TRUE(d.TestRunning());
    Child<QPushButton>(d, "btbTest")->click();
    ExpectIdle();
    d.reject();
}

TEST_F(ConnectDialogTest, ClosingWhileTheTestWaits)
{
    TPty pty;
    TfrmConnect& d = *Dialog;
    d.show();
    Child<QComboBox>(d, "cmbSource")->setEditText(QString::fromStdString(pty.SlavePath()));
    QTimer::singleShot(300, &d, [&] { d.reject(); });  // Esc
    Child<QPushButton>(d, "btbTest")->click();
    EXPECT_FALSE(d.isVisible());
    EXPECT_FALSE(d.TestRunning());
    EXPECT_EQ(ConnectKeys(), (std::vector<std::string>{"Source", "InterfaceType", "StrictProtocol"}));
    Pump(50);
}

TEST_F(ConnectDialogTest, SearchThatFindsNothingLeavesNoSourceSelected)
{
    TfrmConnect& d = *Dialog;
    TVTInterface probe;
    // Every port is probed for up to 3 s; a machine with many ports is skipped.
    if (probe.PortList.size() > 2) GTEST_SKIP() << "this machine has many serial ports";
    d.show();
    QElapsedTimer clock;
    clock.start();
    Child<QPushButton>(d, "btbSearch")->click();
    EXPECT_GE(clock.elapsed(), 2000 / WaitPace());  // the result stays 2 s
    EXPECT_TRUE(Child<QPushButton>(d, "btbTest")->isVisible());
    EXPECT_TRUE(Child<QLabel>(d, "lblTest")->text().isEmpty());
    EXPECT_EQ(Child<QComboBox>(d, "cmbSource")->currentIndex(), -1);
    EXPECT_EQ(d.Source(), "");
    EXPECT_NE(Child<QComboBox>(d, "cmbSource")->findText("DEMO"), -1);
    Child<QPushButton>(d, "btbOk")->click();
    TProfileFile ini(Ini);
    EXPECT_EQ(ini.ReadString("Connect", "Source", "?"), "");
}

}  // namespace

TEST_F(ConnectDialogTest, LongSourcesAndStrapsShowWholeInTheBoxesAndTheirLists)
{
    TfrmConnect& d = *Dialog;
    WriteIni(
        "[Connect]\nSource=/home/rower/captures/concept2-pm5-morning-intervals-2026-12-10.cap\n"
        "HeartSource=C4:7C:8D:6A:12:34\nHeartName=Polar H10 8A1B2C3D chest strap\n");
    d.show();
    QApplication::processEvents();
    ASSERT_EQ(d.HeartSource(), "C4:7C:8D:6A:12:34");
    for (QComboBox* box : {Child<QComboBox>(d, "cmbSource"), Child<QComboBox>(d, "cmbHeart")}) {
        const QFontMetrics metrics(box->font());
        // The chosen entry in the closed box (the line edit's 2-pixel margins on both sides).
        ASSERT_TRUE(box->lineEdit());
        EXPECT_LE(metrics.horizontalAdvance(box->currentText()) + 4, box->lineEdit()->width())
            << box->currentText().toStdString();
        // Every entry in the dropped-down list.
        box->showPopup();
        QApplication::processEvents();
        for (int i = 0; i < box->count(); ++i)
            EXPECT_LE(metrics.horizontalAdvance(box->itemText(i)) + 6,
                      box->view()->visualRect(box->model()->index(i, 0)).width())
                << box->itemText(i).toStdString();
        box->hidePopup();
    }
    // The dialog grew with its lists; nothing is cut at its edge.
    EXPECT_LE(Child<QPushButton>(d, "btbSearch")->geometry().right(), d.ClientArea()->width());
    d.reject();
}
