// The main window base and the multiple-document frame: View options and
// their persistence, progress display, filling the frame and the window
// switcher in the status bar.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QTest>
#include <QToolBar>

#include <map>

#include "framework/mdi.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/testutil_framework.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/profile.h"
#include "util/text.h"

namespace {

// A frame whose View settings live in a given file.
class TTestFrame : public TMDIMain {
public:
    explicit TTestFrame(const std::string& settings) : Settings(settings)
    {
        FrameworkCreate();
        resize(800, 600);
    }
    ~TTestFrame() override { FrameworkDestroy(); }
    std::string SettingsFileName() const override { return Settings; }
    TMDIChild* AddTestChild(const QString& caption)
    {
        auto* c = new TMDIChild();
        c->SetCaption(caption);
        c->resize(200, 150);
        AddChild(c)->show();
        return c;
    }
    using TMDIMain::StatusBarClick;
    std::string Settings;
};

int PanelX(TStatusPanelBar* bar, int index) { return bar->PanelRect(index).center().x(); }

}  // namespace

TEST(FormMain, FullScreenIsRefusedWhileAChildWindowIsOpen)
{
    TShellEnv env;
    TScriptedDialogs dialogs;
    TDialogScope scope(dialogs);
    TTestFrame frame(env.File("view.ini"));
    TMDIChild* child = frame.AddTestChild("One");
    frame.ViewFullscreen->trigger();
    EXPECT_FALSE(frame.Fullscreen());
    EXPECT_FALSE(frame.ViewFullscreen->isChecked());
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.LastText(), "Please close all windows before switching from/to full screen");
    child->SubWindow()->close();
    QCoreApplication::processEvents();
    frame.ViewFullscreen->trigger();
    EXPECT_TRUE(frame.Fullscreen());
    EXPECT_TRUE(frame.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(dialogs.Messages.size(), 1u);
}

TEST(FormMain, HiddenMenuWithNegativeTagStaysHiddenWhenTheMenuComesBack)
{
    TShellEnv env;
    TTestFrame frame(env.File("view.ini"));
    SetActionTag(frame.Window_Menu, -1);
    frame.Window_Menu->setVisible(false);
    frame.ViewMenu->trigger();
    EXPECT_FALSE(frame.MenuShown());
    EXPECT_FALSE(frame.File1->menuAction()->isVisible());
    frame.ViewMenu->trigger();
    EXPECT_TRUE(frame.MenuShown());
    EXPECT_TRUE(frame.File1->menuAction()->isVisible());
    EXPECT_FALSE(frame.Window_Menu->isVisible());
}

TEST(FormMain, ProgressIsClampedAndMinusOneHidesIt)
{
    TShellEnv env;
    TTestFrame frame(env.File("view.ini"));
    frame.show();
    EXPECT_EQ(frame.Progress(), -1);
    frame.SetProgress(150);
    EXPECT_EQ(frame.Progress(), 100);
    EXPECT_TRUE(frame.ProgressBar()->isVisible());
    EXPECT_EQ(frame.ProgressBar()->value(), 100);
    EXPECT_EQ(frame.ProgressBar()->width(), frame.StatusBar()->Panel(0).Width + 3);
    frame.SetProgress(-5);
    EXPECT_EQ(frame.Progress(), -1);
    EXPECT_FALSE(frame.ProgressBar()->isVisible());
    // Fractions round half to even.
    frame.SetProgressFraction(0.125);
    EXPECT_EQ(frame.Progress(), 12);
    frame.SetProgressFraction(0.135);
    EXPECT_EQ(frame.Progress(), 14);
    frame.SetProgressFraction(-1.0);
    EXPECT_EQ(frame.Progress(), -1);
}

TEST(FormMain, ViewSettingsAndToolbarVisibilityPersist)
{
    TShellEnv env;
    std::string file = env.File("view.ini");
    {
        TTestFrame frame(file);
        QList<QToolBar*> bars = frame.Toolbars();
        ASSERT_FALSE(bars.isEmpty());
        QStringList names;
        for (QToolBar* b : bars) names << b->objectName();
        EXPECT_TRUE(names.contains("File"));
        EXPECT_TRUE(names.contains("Help"));
        frame.SetToolbarVisible("Help", false);
        frame.ViewStatusbar->trigger();
        frame.ViewHints->trigger();
    }
    TProfileFile ini(file);
    ini.Reload();
    EXPECT_EQ(ini.ReadString("View", "Statusbar", ""), "0");
    EXPECT_EQ(ini.ReadString("View", "Hints", ""), "0");
    EXPECT_EQ(ini.ReadString("View", "Menu", ""), "1");
    EXPECT_EQ(ini.ReadString("Toolbars", "Help", "").substr(ini.ReadString("Toolbars", "Help", "").size() - 1), "0");
    TTestFrame again(file);
    EXPECT_FALSE(again.StatusbarShown());
    EXPECT_FALSE(again.HintsShown());
    for (QToolBar* b : again.Toolbars()) {
        if (b->objectName() == "Help") {
            EXPECT_TRUE(b->isHidden());
        }
        if (b->objectName() == "File") {
            EXPECT_FALSE(b->isHidden());
        }
    }
}

TEST(FormMain, ToolbarPositionsAreRestored)
{
    TShellEnv env;
    std::string file = env.File("bars.ini");
    auto barsOf = [](TTestFrame& frame) {
        frame.show();
        QApplication::processEvents();
        std::map<std::string, QPoint> at;
        for (QToolBar* b : frame.Toolbars()) at[b->objectName().toStdString()] = b->pos();
        return at;
    };
    {
        // Default: File left of Help on one row.
        TTestFrame frame(file);
        auto at = barsOf(frame);
        ASSERT_TRUE(at.count("File") && at.count("Help"));
        EXPECT_LT(at["File"].x(), at["Help"].x());
        EXPECT_EQ(at["File"].y(), at["Help"].y());
    }
    // Help stored left of File.
    WriteTextFile(file, "[Toolbars]\nHelp=0 0 1\nFile=300 0 1\n");
    {
        TTestFrame frame(file);
        auto at = barsOf(frame);
        EXPECT_LT(at["Help"].x(), at["File"].x());
        EXPECT_EQ(at["File"].y(), at["Help"].y());
    }
    // File stored on a second row below Help.
    WriteTextFile(file, "[Toolbars]\nHelp=0 0 1\nFile=0 30 1\n");
    {
        TTestFrame frame(file);
        auto at = barsOf(frame);
        EXPECT_GT(at["File"].y(), at["Help"].y());
        // What is written again keeps the rows.
    }
    TProfileFile ini(file);
    ini.Reload();
    std::vector<std::string> help = SplitString(ini.ReadString("Toolbars", "Help", ""), ' ');
    std::vector<std::string> fileBar = SplitString(ini.ReadString("Toolbars", "File", ""), ' ');
    ASSERT_EQ(help.size(), 3u);
    ASSERT_EQ(fileBar.size(), 3u);
    EXPECT_GT(std::stoi(fileBar[1]), std::stoi(help[1]));
}

TEST(FormMain, NoSettingsFileMeansDefaultsAndNothingWritten)
{
    TShellEnv env;
    {
        TTestFrame frame("");
        EXPECT_TRUE(frame.MenuShown());
        EXPECT_TRUE(frame.ToolbarShown());
    }
    // The tool bars then go to the program folder's file when it can be written.
    std::string programIni = ProgramFolder() + ProgramFileName() + ".ini";
    std::string text = ReadTextFile(programIni);
    EXPECT_NE(text.find("[Toolbars]"), std::string::npos);
    EXPECT_EQ(text.find("[View]"), std::string::npos);
}

TEST(FormMain, HintsGoToStatusPanelTwoAndVersionPanelExplainsItself)
{
    TShellEnv env;
    TTestFrame frame(env.File("view.ini"));
    frame.show();
    QStatusTipEvent tip("Exits this program");
    QCoreApplication::sendEvent(&frame, &tip);
    EXPECT_EQ(frame.StatusBar()->PanelText(2), "Exits this program");
    QTest::mouseMove(frame.StatusBar(), QPoint(10, 5));
    EXPECT_EQ(frame.StatusBar()->toolTip(), "Shows version information");
    QTest::mouseMove(frame.StatusBar(), QPoint(200, 5));
    EXPECT_TRUE(frame.StatusBar()->toolTip().isEmpty());
}

TEST(MDIFrame, FillFrameAndMaximiseAllChildren)
{
    TShellEnv env;
    TTestFrame frame(env.File("view.ini"));
    frame.show();
    TMDIChild* a = frame.AddTestChild("A");
    TMDIChild* b = frame.AddTestChild("B");
    a->SubWindow()->showMinimized();
    QSize area = frame.FreeArea();
    EXPECT_EQ(area, frame.MDIClient()->viewport()->size());
    frame.FillFrame(a);
    EXPECT_FALSE(a->IsMinimised());
    EXPECT_EQ(a->SubWindow()->geometry(), QRect(QPoint(0, 0), area));
    frame.MaximizeChildren(true);
    EXPECT_EQ(b->SubWindow()->geometry(), QRect(QPoint(0, 0), area));

    // The placement rule on a child.
    b->PlaceWindow(wpmStoredBounds, TPlacement{0, 0, 0, 0});
    EXPECT_TRUE(b->IsMinimised());
    EXPECT_EQ(b->Placement(), (TPlacement{0, 0, 0, 0}));
    b->PlaceWindow(wpmStoredBounds, TPlacement{-1, -1, -1, -1});
    EXPECT_TRUE(b->SubWindow()->isMaximized());
    EXPECT_EQ(b->Placement(), (TPlacement{-1, -1, -1, -1}));
    b->PlaceWindow(wpmStoredBounds, TPlacement{10, 20, 300, 200});
    EXPECT_EQ(b->Placement(), (TPlacement{10, 20, 300, 200}));
}

TEST(MDIFrame, SwitcherPanelsAreNarrowWithManyWindowsAndTruncated)
{
    TShellEnv env;
    TTestFrame frame(env.File("view.ini"));
    frame.resize(500, 400);
    frame.show();
    for (int i = 0; i < 10; ++i) frame.AddTestChild(QString("Training session number %1").arg(i));
    frame.SetWindowPanels(true);
    TStatusPanelBar* bar = frame.StatusBar();
    int designed = frame.DesignedPanelCount();
    ASSERT_EQ(bar->PanelCount(), designed + 10);
    int w = bar->Panel(designed).Width;
    EXPECT_LE(w, 100);
    EXPECT_LT(w, 50);
    QFontMetrics fm(bar->font());
    QString shown = FitPanelText(
        bar->Panel(designed).Text, [&](const QString& s) { return fm.horizontalAdvance(s); }, w);
    EXPECT_TRUE(shown.endsWith("...") || shown.size() <= 3);
    // The designed panels and the switcher panels fill the bar exactly.
    int total = 0;
    for (int i = 0; i < bar->PanelCount(); ++i) total += bar->Panel(i).Width;
    EXPECT_EQ(total, bar->contentsRect().width());

    frame.resize(2000, 400);
    QCoreApplication::processEvents();
    frame.RefreshWindowPanels();
    EXPECT_EQ(bar->Panel(designed).Width, 100);
}

TEST(MDIFrame, FitPanelText)
{
    auto measure = [](const QString& s) { return int(s.size()) * 10; };
    EXPECT_EQ(FitPanelText("Short", measure, 100), "Short");
    EXPECT_EQ(FitPanelText("Longer caption", measure, 100), "Longer...");  // 90 <= 100 - 7
    EXPECT_EQ(FitPanelText("Longer caption", measure, 10), "...");
}

TEST(MDIFrame, ActivePanelIsLoweredAndClosingRemovesThePanelLater)
{
    TShellEnv env;
    TTestFrame frame(env.File("view.ini"));
    frame.show();
    TMDIChild* a = frame.AddTestChild("Beta");
    TMDIChild* b = frame.AddTestChild("Alpha");
    frame.SetWindowPanels(true);
    frame.ShowChild(a);
    TStatusPanelBar* bar = frame.StatusBar();
    int d = frame.DesignedPanelCount();
    ASSERT_EQ(bar->PanelCount(), d + 2);
    EXPECT_EQ(bar->PanelText(d), "Alpha");  // sorted
    EXPECT_EQ(bar->Panel(d + 1).Bevel, TPanelBevel::Lowered);
    EXPECT_EQ(bar->Panel(d).Bevel, TPanelBevel::Raised);
    QTest::mouseMove(bar, QPoint(PanelX(bar, d), 5));
    EXPECT_EQ(bar->toolTip(), "Click to switch to window [Alpha]");
    frame.StatusBarClick(PanelX(bar, d), 5);
    EXPECT_EQ(frame.ActiveChild(), b);

    b->SubWindow()->close();
    // The panel goes when the refresh runs half a second later.
    QTRY_COMPARE_WITH_TIMEOUT(bar->PanelCount(), d + 1, 3000);
    EXPECT_EQ(bar->PanelText(d), "Beta");
}

TEST(MDIFrame, ClicksAlternateBetweenWindowsOfTheSameCaption)
{
    TShellEnv env;
    TTestFrame frame(env.File("view.ini"));
    frame.show();
    TMDIChild* a = frame.AddTestChild("Same");
    TMDIChild* b = frame.AddTestChild("Same");
    frame.SetWindowPanels(true);
    frame.ShowChild(a);
    int d = frame.DesignedPanelCount();
    int x = PanelX(frame.StatusBar(), d);
    frame.StatusBarClick(x, 5);
    EXPECT_EQ(frame.ActiveChild(), b);
    frame.StatusBarClick(x, 5);
    EXPECT_EQ(frame.ActiveChild(), a);
    // Clicking a designed panel does nothing.
    frame.StatusBarClick(PanelX(frame.StatusBar(), 0), 5);
    EXPECT_EQ(frame.ActiveChild(), a);
}

TEST(MDIFrame, ChildCloseQueryCanKeepTheWindowOpen)
{
    TShellEnv env;
    struct TRefusing : TMDIChild {
        bool Allow = false;
        int Closes = 0;
        bool CloseQuery() override { return Allow; }
        void FormClose() override { ++Closes; }
    };
    TTestFrame frame(env.File("view.ini"));
    frame.show();
    auto* child = new TRefusing();
    QMdiSubWindow* sub = frame.AddChild(child);
    sub->show();
    sub->close();
    EXPECT_FALSE(child->Closing());
    EXPECT_EQ(frame.MDIChildCount(), 1);
    child->Allow = true;
    sub->close();
    QCoreApplication::processEvents();
    QTRY_COMPARE(frame.MDIChildCount(), 0);
}

TEST(MDIFrame, ARestoredChildLiesInsideTheFreeArea)
{
    TShellEnv env;
    TTestFrame frame(env.File("view.ini"));
    frame.show();
    TMDIChild* child = frame.AddTestChild("Wide");
    auto* sub = qobject_cast<QMdiSubWindow*>(child->parentWidget());
    ASSERT_NE(sub, nullptr);
    QApplication::processEvents();
    const QSize area = frame.FreeArea();
    // Its place was chosen for a smaller window; it is larger now.
    sub->setGeometry(area.width() - 150, area.height() - 100, area.width() * 2 / 3, area.height() * 2 / 3);
    sub->showMaximized();
    QApplication::processEvents();
    sub->showNormal();
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
    const QRect g = sub->geometry();
    EXPECT_EQ(g.size(), QSize(area.width() * 2 / 3, area.height() * 2 / 3));
    EXPECT_GE(g.left(), 0);
    EXPECT_GE(g.top(), 0);
    EXPECT_LE(g.right(), area.width() - 1);
    EXPECT_LE(g.bottom(), area.height() - 1);
    // Minimised and back, the same.
    sub->move(area.width() - 50, 10);
    sub->showMinimized();
    QApplication::processEvents();
    sub->showNormal();
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
    EXPECT_LE(sub->geometry().right(), area.width() - 1);
}
