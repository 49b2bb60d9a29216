// The main window with real training windows, real files and the scripted
// dialog service: start-up, the command line, the session registry and its
// limit, recent files, drag and drop, settings and statistics, exit.
#include <gtest/gtest.h>

#include <QAction>
#include <QDropEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <QUrl>
#include <set>

#include "core/catalogue.h"
#include "framework/window_util.h"
#include "row/new_row_dialog.h"
#include "shell/main_window.h"
#include "shell/splash.h"
#include "tests/support/child.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/testutil_framework.h"
#include "util/color.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/profile.h"
#include "util/text.h"
#include "util/version.h"

namespace {

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp();
        BuildCatalogues();
        Scope = std::make_unique<TDialogScope>(Dialogs);
    }
    void TearDown() override
    {
        TfrmSplash::ShownHook = nullptr;
        Scope.reset();
    }
    std::vector<std::string> ErrorTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& m : Dialogs.Messages)
            if (m.Kind == TMsgKind::Error) texts.push_back(m.Text);
        return texts;
    }
    TShellEnv Env;
    TScriptedDialogs Dialogs;
    std::unique_ptr<TDialogScope> Scope;
};

std::vector<std::string> AllTypes()
{
    return {TestDataFile("training/sample.stg"), TestDataFile("stroke/sample.str"), TestDataFile("user/rower.ini"),
            TestDataFile("brax/session.bxs"),    TestDataFile("brax/stroke.bxr"),   TestDataFile("brax/user.bxi")};
}

void CloseAllTrainings(TfrmMain& main)
{
    for (TMDIChild* w : main.TrainingWindows()) main.Store().RequestClose(w->SessionId());
    QCoreApplication::processEvents();
}

bool HasOnlySectionBlankLines(const std::string& text)
{
    std::vector<std::string> lines = SplitLines(text);
    for (size_t i = 0; i < lines.size(); ++i) {
        bool header = !lines[i].empty() && lines[i][0] == '[';
        if (lines[i].empty() && (i + 1 >= lines.size() || lines[i + 1].empty() || lines[i + 1][0] != '[')) return false;
        if (header && i > 0 && !lines[i - 1].empty()) return false;
    }
    return lines.empty() || !lines[0].empty();
}

}  // namespace

TEST_F(MainWindow, FirstStartIsMaximisedWithEmptyListsAndCountsOneStart)
{
    std::string ini;
    {
        TfrmMain main({});
        EXPECT_TRUE(main.windowState() & Qt::WindowMaximized);
        EXPECT_TRUE(main.RecentFiles().empty());
        EXPECT_EQ(main.ProgramSettings().Statistics.TimesStarted, 1);
        EXPECT_EQ(main.ProgramSettings().Statistics.FilesOpened, 0);
        EXPECT_EQ(main.LastDir(), UserDataFolder(false));
        EXPECT_EQ(main.windowTitle(), "Catchline Rowing Trainer");
        EXPECT_EQ(main.StatusBar()->PanelText(0).toStdString(), ProductTitle());
        EXPECT_EQ(MainRegistry(), &main);
        ini = SettingsFile(true);
    }
    EXPECT_EQ(MainRegistry(), nullptr);
    ASSERT_EQ(ExtractFilePath(ini), Env.UserFolder());
    std::string text = ReadTextFile(ini);
    EXPECT_NE(text.find("TimesStarted=1"), std::string::npos);
    EXPECT_NE(text.find("Left=-1"), std::string::npos);
    EXPECT_NE(text.find("[View]"), std::string::npos);
    EXPECT_NE(text.find("Parameter0="), std::string::npos);
    EXPECT_TRUE(HasOnlySectionBlankLines(text)) << text;
    // The next start counts on.
    TfrmMain again({});
    EXPECT_EQ(again.ProgramSettings().Statistics.TimesStarted, 2);
}

TEST_F(MainWindow, SettingsFileInTheProgramFolderMovesToTheUserFolder)
{
    std::string old = Env.ProgramFolder() + "catchline.ini";
    WriteTextFile(old, "[Recent]\n1=/data/one.stg\n\n\n[Position]\nLeft=10\nTop=20\nWidth=700\nHeight=500\n");
    MoveSettingsFile();
    EXPECT_FALSE(FileExists(old));
    TfrmMain main({});
    EXPECT_EQ(main.RecentFiles(), std::vector<std::string>{"/data/one.stg"});
    EXPECT_FALSE(main.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(main.geometry().width(), 700);
    ASSERT_EQ(main.RecentActions().size(), 1);
    EXPECT_EQ(main.RecentActions()[0]->text(), "&1 /data/one.stg");
    EXPECT_EQ(main.RecentActions()[0]->statusTip(), "Open file \"/data/one.stg\"");
}

TEST_F(MainWindow, OpensFilesOfEveryTypeFromTheCommandLine)
{
    TfrmMain main({});
    int opened = 0;
    for (const std::string& file : AllTypes()) {
        main.ProcessParameter(file);
        ASSERT_EQ(main.TrainingCount(), 1) << file << " " << Dialogs.LastText();
        ++opened;
        EXPECT_EQ(main.ProgramSettings().Statistics.FilesOpened, opened);
        EXPECT_EQ(main.RecentFiles().front(), file);
        EXPECT_EQ(main.LastDir(), ExtractFilePath(file));
        const TTraining* t = main.Store().At(0);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->ClientId, main.Store().IdAt(0));
        EXPECT_EQ(t->ClientId, 100 + opened);  // ids from 101
        CloseAllTrainings(main);
        ASSERT_EQ(main.TrainingCount(), 0);
    }
    EXPECT_TRUE(ErrorTexts().empty());
    EXPECT_TRUE(main.StatusBar()->PanelText(2).isEmpty());
    EXPECT_EQ(main.Progress(), -1);
}

TEST_F(MainWindow, TheLimitIsTwoSessions)
{
    TfrmMain main({});
    main.ProcessParameter(TestDataFile("training/sample.stg"));
    main.ProcessParameter(TestDataFile("stroke/sample.str"));
    ASSERT_EQ(main.TrainingCount(), 2);
    main.UpdateActions();
    EXPECT_FALSE(main.FileNew->isEnabled());
    EXPECT_FALSE(main.FileOpen->isEnabled());
    EXPECT_TRUE(main.AnalyseStrokeData->isEnabled());
    main.ProcessParameter(TestDataFile("brax/session.bxs"));
    EXPECT_EQ(main.TrainingCount(), 2);
    EXPECT_EQ(Dialogs.LastText(), "Only 2 file(s) / training session(s) can be opened at the same time.");
    Dialogs.Clear();
    main.ProcessParameter("/n");
    EXPECT_EQ(main.TrainingCount(), 2);
    EXPECT_EQ(Dialogs.LastText(), "Only 2 file(s) / training session(s) can be opened at the same time.");
    CloseAllTrainings(main);
    main.UpdateActions();
    EXPECT_TRUE(main.FileNew->isEnabled());
    EXPECT_FALSE(main.AnalyseStrokeData->isEnabled());
}

TEST_F(MainWindow, MissingUnsupportedAndBadArguments)
{
    TfrmMain main({});
    std::string missing = Env.File("gone.stg");
    main.AddRecentFile(missing);
    main.ProcessParameter(missing);
    EXPECT_EQ(Dialogs.LastText(), "File \"" + missing + "\" not found.");
    EXPECT_TRUE(main.RecentFiles().empty());
    EXPECT_TRUE(main.RecentActions().isEmpty());

    WriteTextFile(Env.File("notes.doc"), "text");
    main.ProcessParameter(Env.File("notes.doc"));
    EXPECT_EQ(Dialogs.LastText(), "Extension \".doc\" not supported.");
    EXPECT_TRUE(main.StatusBar()->PanelText(2).isEmpty());

    main.ProcessParameter("ab");
    EXPECT_EQ(Dialogs.LastText(), "Bad parameter : \"ab\", use \"-h\" for help");
    main.ProcessParameter("-x");
    EXPECT_EQ(Dialogs.LastText(), "Bad parameter : \"-x\", use \"-h\" for help");
    main.ProcessParameter("-x+");
    EXPECT_EQ(Dialogs.LastText(), "File \"" + ExpandFileName("-x+") + "\" not found.");

    // A corrupt training file leaves no window behind.
    main.ProcessParameter(TestDataFile("training/bad_magic.stg"));
    EXPECT_EQ(main.TrainingCount(), 0);
    EXPECT_EQ(main.ProgramSettings().Statistics.FilesOpened, 0);

    main.ProcessParameter("-h");
    EXPECT_EQ(Dialogs.Messages.back().Kind, TMsgKind::Information);
    EXPECT_EQ(Dialogs.LastText(), HelpBoxText());
    main.ProcessParameter("");
    EXPECT_EQ(Dialogs.LastText(), HelpBoxText());  // an empty argument is ignored
}

TEST_F(MainWindow, MissingRowUserFileIsReportedWithoutFullStop)
{
    TfrmMain main({});
    std::string user = Env.File("nobody.ini");
    main.AddRecentFile(user);
    main.ProcessParameter("/R:" + user);
    EXPECT_EQ(Dialogs.LastText(), "File \"" + user + "\" not found");
    EXPECT_TRUE(main.RecentFiles().empty());
    EXPECT_EQ(main.MDIChildCount(), 0);
}

TEST_F(MainWindow, NewSessionsAreNumberedAfterAnyone)
{
    TfrmMain main({});
    main.ProcessParameter("/N");
    ASSERT_EQ(main.TrainingCount(), 1);
    EXPECT_EQ(main.Store().At(0)->Header.Title.Text(), "Anyone");
    main.FileNew->setEnabled(true);
    main.FileNew->trigger();
    ASSERT_EQ(main.TrainingCount(), 2);
    std::vector<std::string> titles;
    for (TMDIChild* w : main.TrainingWindows()) titles.push_back(w->Training()->Header.Title.Text());
    EXPECT_EQ(titles, (std::vector<std::string>{"Anyone1", "Anyone"}));
    EXPECT_EQ(main.Store().IdAt(0), 102);
    EXPECT_EQ(main.Store().IdAt(1), 101);
    // Closing "Anyone" and making a new one: the visit finds Anyone1 only.
    main.Store().RequestClose(101);
    QCoreApplication::processEvents();
    ASSERT_EQ(main.TrainingCount(), 1);
    main.NewTrainingWindow(SettingsFile(false));
    EXPECT_EQ(main.TrainingWindows()[0]->Training()->Header.Title.Text(), "Anyone2");
}

TEST_F(MainWindow, StoreIndexesReachWindowsAndAverageRecords)
{
    TfrmMain main({});
    main.ProcessParameter(TestDataFile("training/sample.stg"));
    main.ProcessParameter("/n");
    ASSERT_EQ(main.TrainingCount(), 2);
    TSessionStore& store = main.Store();
    // Index 0 is the session opened last, held by the last child.
    EXPECT_EQ(store.IdAt(0), 102);
    EXPECT_EQ(store.IdAt(1), 101);
    EXPECT_EQ(main.SessionWindow(102), main.ChildList()[1]);
    EXPECT_EQ(main.SessionWindow(101), main.ChildList()[0]);
    EXPECT_EQ(main.SessionWindow(999), nullptr);
    EXPECT_EQ(main.SessionWindow(101)->Training(), store.At(1));
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(store.IdAt(2 + k), -1);
        EXPECT_EQ(store.At(2 + k), &store.Average(k));
        EXPECT_EQ(store.Find(-1 - k), &store.Average(k));
    }
    EXPECT_EQ(store.At(6), nullptr);
    EXPECT_EQ(store.At(-1), nullptr);
    store.Average(3).Header.Title.SetText("Average 4");
    EXPECT_EQ(store.At(5)->Header.Title.Text(), "Average 4");
}

TEST_F(MainWindow, DroppedFilesOpenInOrder)
{
    TfrmMain main({""});
    main.show();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(TestDataFile("user/rower.ini"))),
                  QUrl::fromLocalFile(QString::fromStdString(TestDataFile("training/sample.stg")))});
    // The drag enters the window first, as the desktop delivers it.
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&main, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&main, &drop);
    ASSERT_EQ(main.TrainingCount(), 2) << Dialogs.LastText();
    EXPECT_EQ(main.RecentFiles()[0], TestDataFile("training/sample.stg"));
    EXPECT_EQ(main.RecentFiles()[1], TestDataFile("user/rower.ini"));
    EXPECT_EQ(main.Store().IdAt(1), 101);
}

TEST_F(MainWindow, RecentMenuOpensAndNeverExceedsNine)
{
    TfrmMain main({});
    for (int i = 0; i < 11; ++i) main.AddRecentFile(Env.File("f" + std::to_string(i) + ".stg"));
    main.AddRecentFile(TestDataFile("training/sample.stg"));
    main.AddRecentFile(TestDataFile("training/sample.stg"));
    ASSERT_EQ(main.RecentActions().size(), 9);
    QList<QAction*> items = main.File1->actions();
    int n3 = int(items.indexOf(main.N3));
    EXPECT_EQ(items[n3 + 1], main.RecentActions()[0]);
    EXPECT_TRUE(items[n3 + 10]->isSeparator());
    EXPECT_EQ(items[n3 + 11], main.FileExit);
    EXPECT_TRUE(main.RecentActions()[0]->text().startsWith("&1 "));
    // A long path is shortened to fit 200 pixels.
    QFontMetrics fm(main.font());
    EXPECT_LE(fm.horizontalAdvance(main.RecentActions()[1]->text().mid(3)), 200);
    main.RecentActions()[0]->trigger();
    EXPECT_EQ(main.TrainingCount(), 1);
    EXPECT_EQ(main.RecentFiles().size(), 9u);
}

TEST_F(MainWindow, FileOpenDialogOpensEverySelectedFile)
{
    TfrmMain main({});
    TFileDialogResult answer;
    answer.Accepted = true;
    answer.FileNames = {TestDataFile("brax/user.bxi"), TestDataFile("brax/stroke.bxr")};
    Dialogs.FileAnswers.push_back(answer);
    std::string lastDir = main.LastDir();
    main.FileOpenExecute();
    ASSERT_EQ(Dialogs.FileRequests.size(), 1u);
    const TFileDialogRequest& r = Dialogs.FileRequests[0];
    EXPECT_EQ(r.Title, "Open file");
    EXPECT_TRUE(r.MultiSelect);
    EXPECT_EQ(r.FilterIndex, 9);
    EXPECT_EQ(r.InitialDir, lastDir);
    EXPECT_NE(r.Filter.find("Brax User files (*.bxi)|*.bxi|"), std::string::npos);
    EXPECT_NE(r.Filter.find("FIT activity files (*.fit)|*.fit|RowingData CSV files (*.csv)|*.csv|"), std::string::npos);
    EXPECT_EQ(main.TrainingCount(), 2);
}

TEST_F(MainWindow, ExportTheActiveSessionAndOpenTheExport)
{
    TfrmMain main({});
    QAction* exportAction = main.findChild<QAction*>("FileExport");
    ASSERT_TRUE(exportAction);
    QList<QAction*> file = main.File1->actions();
    EXPECT_EQ(file.indexOf(exportAction), file.indexOf(main.FileSaveAs) + 1);
    main.UpdateActions();
    EXPECT_FALSE(exportAction->isEnabled()) << "no session";
    main.OpenFile(TestDataFile("user/rower.ini"));
    main.UpdateActions();
    EXPECT_FALSE(exportAction->isEnabled()) << "a session without strokes";
    CloseAllTrainings(main);

    main.OpenFile(TestDataFile("training/sample.stg"));
    main.UpdateActions();
    ASSERT_TRUE(exportAction->isEnabled());
    TTraining* session = main.TrainingWindows()[0]->Training();
    const std::string lastDir = main.LastDir();
    TFileDialogResult answer;
    answer.Accepted = true;
    answer.FileNames = {Env.File("exports/sample")};
    answer.FilterIndex = 3;
    Dialogs.FileAnswers.push_back(answer);
    exportAction->trigger();
    ASSERT_EQ(Dialogs.FileRequests.size(), 1u);
    EXPECT_EQ(Dialogs.FileRequests[0].Title, "Export to FIT / TCX / CSV");
    EXPECT_EQ(Dialogs.FileRequests[0].InitialDir, lastDir);
    EXPECT_EQ(Dialogs.FileRequests[0].FileName, "sample");
    ASSERT_TRUE(FileExists(Env.File("exports/sample.csv"))) << Dialogs.LastText();
    EXPECT_EQ(main.LastDir(), Env.File("exports/"));
    EXPECT_EQ(session->Header.Modified, 0) << "an export leaves the session as it was";

    // The export opens as a session of its own.
    main.OpenFile(Env.File("exports/sample.csv"));
    ASSERT_EQ(main.TrainingCount(), 2);
    EXPECT_EQ(main.TrainingWindows()[0]->Training()->StrokeCount(), session->StrokeCount());
    EXPECT_TRUE(ErrorTexts().empty());
}

TEST_F(MainWindow, HiddenActionsStayHiddenAndInert)
{
    TfrmMain main({});
    for (QAction* a :
         {main.FileStart, main.FileBrowse, main.FileDatabase, main.FileCalendar, main.FileSaveDesktop,
          main.AnalyseSummary, main.AnalyseIntervals, main.AnalyseSession, main.AnalyseRace, main.ViewClients,
          main.ViewSynchronise, main.ViewUsers, main.ViewOptions, main.Layout_Menu, main.HelpWelcome, main.Update1}) {
        EXPECT_FALSE(a->isVisible()) << a->objectName().toStdString();
        a->trigger();
    }
    EXPECT_TRUE(Dialogs.Messages.empty());
    EXPECT_EQ(main.MDIChildCount(), 0);
    EXPECT_FALSE(main.N1->isVisible());
    EXPECT_TRUE(main.N7->isVisible());
    EXPECT_EQ(main.ViewToolbar->text(), "&Toolbar");
    EXPECT_FALSE(main.Window_Menu->isVisible());
    main.SetMenuShown(false);
    main.SetMenuShown(true);
    EXPECT_FALSE(main.Window_Menu->isVisible());
    EXPECT_TRUE(main.Analyse1->menuAction()->isVisible());
    // No tool-bar buttons for hidden actions.
    for (QToolBar* bar : main.Toolbars())
        for (QAction* a : bar->actions()) EXPECT_TRUE(a->isVisible()) << a->objectName().toStdString();
    EXPECT_EQ(main.FileOpen->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_EQ(main.FileSaveAs->shortcut(), QKeySequence("Ctrl+Alt+S"));
    EXPECT_EQ(main.HelpAbout->shortcut(), QKeySequence("F1"));
    EXPECT_TRUE(main.AnalyseStrokeData->shortcut().isEmpty());
}

TEST_F(MainWindow, HelpDocumentsNextToTheProgram)
{
    std::string version = ReplaceAll(VersionString("FileVersion"), ".", "");
    WriteTextFile(Env.ProgramFolder() + "catchlinem" + version + ".pdf", "%PDF");
    WriteTextFile(Env.ProgramFolder() + "catchlinef" + version + ".pdf", "%PDF");
    std::vector<std::string> opened;
    SetShellHandler([&](const std::string& f) {
        opened.push_back(f);
        return true;
    });
    TfrmMain main({});
    QList<QAction*> help = main.Help1->actions();
    ASSERT_GE(help.size(), 3);
    EXPECT_EQ(help[0]->text(), "&Flyer");
    EXPECT_EQ(help[1]->text(), "&Manual");
    EXPECT_TRUE(help[2]->isSeparator());
    EXPECT_EQ(help[1]->statusTip(), "Opens the manual");
    help[1]->trigger();
    SetShellHandler(nullptr);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], Env.ProgramFolder() + "catchlinem" + version + ".pdf");
}

TEST_F(MainWindow, FirstShowWithArgumentsStepsTheSplashPerArgument)
{
    std::vector<int> maxima;
    std::vector<QString> steps;
    TfrmSplash::ShownHook = [&](TfrmSplash& s) { maxima.push_back(s.pbrParam->maximum()); };
    TfrmMain main({TestDataFile("training/sample.stg"), "ab", TestDataFile("user/rower.ini")});
    main.show();
    QTRY_VERIFY(main.FirstShowDone());
    EXPECT_EQ(maxima, std::vector<int>{3});
    EXPECT_EQ(main.Splash(), nullptr);
    EXPECT_EQ(main.TrainingCount(), 2);
    EXPECT_EQ(ErrorTexts(), std::vector<std::string>{"Bad parameter : \"ab\", use \"-h\" for help"});
}

TEST_F(MainWindow, FirstShowWithoutArgumentsShowsTheSplashForEightSeconds)
{
    int interval = 0, versionInterval = 0;
    bool modal = false;
    TfrmSplash::ShownHook = [&](TfrmSplash& s) {
        interval = Child<QTimer>(s, "tmrSplash")->interval();
        versionInterval = Child<QTimer>(s, "tmrVersion")->interval();
        modal = s.isModal();
        EXPECT_TRUE(Child<QLabel>(s, "lblVersion")->isVisible());
        // Time passes: first the version label goes, then the splash closes itself.
        s.tmrVersionTimer();
        EXPECT_FALSE(Child<QLabel>(s, "lblVersion")->isVisible());
        QTimer::singleShot(0, &s, [&s] { s.tmrSplashTimer(); });
    };
    // Then the new-row dialog opens; it is cancelled.
    bool newRowShown = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* d = qobject_cast<TfrmNewRow*>(QApplication::activeModalWidget())) {
            newRowShown = true;
            d->reject();
        }
    });
    poll.start();
    TfrmMain main({});
    main.show();
    QTRY_VERIFY(main.FirstShowDone());
    EXPECT_EQ(interval, 8000);
    EXPECT_EQ(versionInterval, 4000);
    EXPECT_TRUE(modal);
    EXPECT_TRUE(newRowShown);
    EXPECT_EQ(main.Splash(), nullptr);
    EXPECT_TRUE(Dialogs.Messages.empty());  // a writable settings location exists
    EXPECT_EQ(main.MDIChildCount(), 0);
}

TEST_F(MainWindow, SecondStartArgumentsAreProcessedLikeOwnOnes)
{
    TfrmMain main({});
    main.ProcessRemoteParameters(TestDataFile("training/sample.stg") + "\r\n/n\r\n");
    EXPECT_EQ(main.TrainingCount(), 2);
    EXPECT_EQ(main.Splash(), nullptr);
}

TEST_F(MainWindow, ExitAsksAndCancelKeepsTheWindow)
{
    auto* main = new TfrmMain({});
    main->show();
    main->ProcessParameter("/n");
    Dialogs.Answers.push_back(TMsgResult::Cancel);
    EXPECT_FALSE(main->close());
    EXPECT_TRUE(main->isVisible());
    EXPECT_FALSE(main->MainClosing());
    EXPECT_EQ(Dialogs.LastText(), "This will exit Catchline Rowing Trainer. Are you sure? ");
    EXPECT_EQ(Dialogs.Messages.back().Buttons, unsigned(mbOKCancel));
    Dialogs.Answers.push_back(TMsgResult::OK);
    EXPECT_TRUE(main->close());
    EXPECT_TRUE(main->MainClosing());
    EXPECT_EQ(main->TrainingCount(), 0);
    delete main;
    TProfileFile ini(SettingsFile(false));
    ini.Reload();
    EXPECT_EQ(ini.ReadInteger("Statistics", "TimesStarted", 0), 1);
    EXPECT_TRUE(ini.SectionExists("Training"));  // the training window saved its placement
}

TEST_F(MainWindow, CancelOfAnyClosingQuestionClosesNothing)
{
    TfrmMain main({});
    main.show();
    main.ProcessParameter(TestDataFile("training/sample.stg"));
    main.ProcessParameter(TestDataFile("training/sample.stg"));
    ASSERT_EQ(main.TrainingCount(), 2);
    main.AnalyseStrokeData->trigger();
    main.AnalyseForceCurves->trigger();
    // The session asked about is the last in the frame's order, so that
    // closing as the windows are asked would have closed the others first.
    TMDIChild* modified = nullptr;
    for (QMdiSubWindow* sub : main.MDIClient()->subWindowList())
        if (auto* t = qobject_cast<TMDIChild*>(sub->widget()); t && t->Training()) modified = t;
    ASSERT_NE(modified, nullptr);
    modified->Training()->Header.Modified = 1;
    const int windows = int(main.MDIClient()->subWindowList().size());
    ASSERT_EQ(windows, 4);

    Dialogs.Answers = {TMsgResult::OK, TMsgResult::Cancel};
    EXPECT_FALSE(main.close());
    ASSERT_EQ(Dialogs.Messages.size(), 2u);
    EXPECT_EQ(Dialogs.Messages[1].Text.rfind("Training session", 0), 0u);
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(int(main.MDIClient()->subWindowList().size()), windows);
    EXPECT_EQ(main.TrainingCount(), 2);
    for (QWidget* w : main.ChildList()) EXPECT_FALSE(qobject_cast<TMDIChild*>(w)->Closing());

    // Asked again on the next exit, and then everything closes.
    Dialogs.Clear();
    Dialogs.Answers = {TMsgResult::OK, TMsgResult::OK};
    EXPECT_TRUE(main.close());
    EXPECT_EQ(Dialogs.Messages.size(), 2u);
    EXPECT_EQ(main.TrainingCount(), 0);
}

TEST_F(MainWindow, MaximisedAndMinimisedStatesAreRestored)
{
    {
        TfrmMain main({});
        main.setWindowState(Qt::WindowMinimized);
    }
    {
        TfrmMain main({});
        EXPECT_TRUE(main.windowState() & Qt::WindowMinimized);
        main.setWindowState(Qt::WindowNoState);
        main.setGeometry(30, 40, 640, 480);
    }
    TfrmMain main({});
    EXPECT_FALSE(main.windowState() & (Qt::WindowMinimized | Qt::WindowMaximized));
    EXPECT_EQ(main.geometry().size(), QSize(640, 480));
}

TEST_F(MainWindow, SplashAndAboutTextsReadOnTheirBackgroundAndValuesFillTheGrid)
{
    TfrmMain main({});
    // The panels under the picture take its dark blue: their texts must stand out.
    auto readable = [](QWidget* label) {
        QWidget* panel = label->parentWidget();
        while (panel && !panel->autoFillBackground()) panel = panel->parentWidget();
        if (!panel) return false;
        const QColor bg = panel->palette().color(QPalette::Window);
        const QColor text = label->palette().color(QPalette::WindowText);
        return ContrastRatio(RGBColor(bg.red(), bg.green(), bg.blue()),
                             RGBColor(text.red(), text.green(), text.blue())) >= 4.5;
    };
    TfrmSplash splash(0, main.DialogColor(), main.font());
    EXPECT_TRUE(readable(splash.lblname));
    EXPECT_TRUE(readable(Child<QLabel>(splash, "pnlParam")));
    TfrmAbout about(main.DialogColor(), &main);
    EXPECT_TRUE(readable(Child<QWidget>(about, "pnlName")));
    EXPECT_TRUE(readable(Child<QLabel>(about, "pnlWebsite")));
    about.Fill(main.font(), TProgramStatistics{}, 45000.0, 45000.5);
    about.show();
    Child<QTabWidget>(about, "pgcAbout")->setCurrentWidget(Child<QWidget>(about, "tshVersion"));
    QApplication::processEvents();
    // The value column takes the room the key column leaves, not 50 pixels.
    QTableWidget* grid = about.stgVersion;
    EXPECT_GE(grid->columnWidth(0) + grid->columnWidth(1), grid->viewport()->width() - 2);
    for (int r = 0; r < grid->rowCount(); ++r)
        if (QTableWidgetItem* item = grid->item(r, 1))
            EXPECT_LE(QFontMetrics(grid->font()).horizontalAdvance(item->text()), grid->columnWidth(1))
                << item->text().toStdString();
    about.close();
}

TEST_F(MainWindow, AboutWindowShowsStatistics)
{
    TfrmMain main({});
    TProgramStatistics st;
    st.RunningTime = 1.0;
    st.TimesStarted = 7;
    st.RowingTime = 0.25;
    st.FilesSaved = 2;
    TfrmAbout about(main.DialogColor(), &main);
    about.Fill(main.font(), st, 45000.0, 45000.5);
    auto cell = [&](int row, int col) { return about.stgStatistics->item(row, col)->text().toStdString(); };
    ASSERT_EQ(about.stgStatistics->rowCount(), 6);
    EXPECT_EQ(cell(0, 0), "Running time");
    EXPECT_EQ(cell(0, 1), "1 days, 12:00:00");
    EXPECT_EQ(cell(1, 1), "7");
    EXPECT_EQ(cell(2, 1), "06:00:00");
    EXPECT_EQ(cell(5, 0), "Files saved");
    EXPECT_EQ(cell(5, 1), "2");
    ASSERT_EQ(about.stgVersion->rowCount(), 14);
    EXPECT_EQ(about.stgVersion->item(3, 0)->text(), "InternalName");
    EXPECT_TRUE(about.stgVersion->item(3, 1)->text().isEmpty());  // listed though empty
    EXPECT_EQ(about.stgCredits->rowCount(), 6);
    std::vector<std::string> opened;
    SetShellHandler([&](const std::string& f) {
        opened.push_back(f);
        return true;
    });
    about.stgVersionDblClick(12);  // Email
    about.stgVersionDblClick(11);  // Website
    about.stgVersionDblClick(0);
    SetShellHandler(nullptr);
    EXPECT_EQ(opened, (std::vector<std::string>{"mailto:support@catchline.example", "http://www.catchline.example"}));
}

TEST_F(MainWindow, CreditPanelUntilTheTimerThenTheWindowSwitcher)
{
    TfrmMain main({""});
    main.show();
    main.ProcessParameter("/n");
    EXPECT_FALSE(main.WindowPanels());
    EXPECT_FALSE(main.StatusBar()->PanelText(3).isEmpty());
    EXPECT_EQ(main.StatusBar()->PanelCount(), 4);
    main.ReclameTimer();
    EXPECT_TRUE(main.WindowPanels());
    EXPECT_TRUE(main.StatusBar()->PanelText(3).isEmpty());
    ASSERT_EQ(main.StatusBar()->PanelCount(), 5);
    EXPECT_EQ(main.StatusBar()->PanelText(4), "Anyone");
}

TEST_F(MainWindow, ScreenshotWithATrainingWindowRenders)
{
    TfrmMain main({""});
    main.setWindowState(Qt::WindowNoState);
    main.resize(1024, 700);
    main.show();
    main.ProcessParameter(TestDataFile("training/sample.stg"));
    ASSERT_EQ(main.TrainingCount(), 1);
    QCoreApplication::processEvents();
    QImage shot = main.grab().toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size() / shot.devicePixelRatio(), main.size());
    if (const char* dir = std::getenv("CATCHLINE_SCREENSHOT_DIR")) {
        shot.save(QString(dir) + "/main.png");
        ResourcePicture("SPLASH").save(QString(dir) + "/splash.png");
        ApplicationIcon().pixmap(128, 128).save(QString(dir) + "/icon.png");
    }
    std::set<QRgb> colours;
    for (int y = 0; y < shot.height(); y += 7)
        for (int x = 0; x < shot.width(); x += 7) colours.insert(shot.pixel(x, y));
    EXPECT_GT(colours.size(), 8u);
    // The wallpaper behind an empty frame is drawn as well.
    main.Store().RequestClose(main.Store().IdAt(0));
    QCoreApplication::processEvents();
    QImage empty = main.MDIClient()->viewport()->grab().toImage();
    std::set<QRgb> wallpaper;
    for (int y = 0; y < empty.height(); y += 5)
        for (int x = 0; x < empty.width(); x += 5) wallpaper.insert(empty.pixel(x, y));
    EXPECT_GT(wallpaper.size(), 3u);
    EXPECT_FALSE(ResourcePicture("SPLASH").isNull());
    EXPECT_FALSE(ResourcePicture("LOGO").isNull());
    EXPECT_FALSE(ApplicationIcon().isNull());
}
