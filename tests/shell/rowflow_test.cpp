// The main window with the row and chart windows: opening a row through the
// new-row dialog, the rules for reusing an empty user session, rowing the demo
// recording through the connect dialog to a limit, the results window, saving
// the session and reading it back, the chart windows following the sessions
// and closing with them.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstring>

#include <unistd.h>

#include "../framework/testutil_framework.h"
#include "../interfaces/testutil_interfaces.h"
#include "charts/force_curves_window.h"
#include "charts/stroke_data_window.h"
#include "core/catalogue.h"
#include "files/training_io.h"
#include "review/results_window.h"
#include "review/training_window.h"
#include "row/connectdialog.h"
#include "row/frmnewrow.h"
#include "row/frmrow.h"
#include "row/messagewindow.h"
#include "shell/frmmain.h"
#include "shell/splash.h"
#include "util/dialogs.h"
#include "util/paths.h"

namespace {

class RowFlow : public ::testing::Test {
protected:
    void SetUp() override {
        TestApp();
        BuildCatalogues();
        Scope = std::make_unique<TDialogScope>(Dialogs);
    }
    void TearDown() override {
        HideMessageWindow();
        Scope.reset();
    }

    // Answers the new-row dialog when it opens: fills the name and weight and
    // confirms, or cancels when name is empty.
    void AnswerNewRow(const std::string& name, const std::string& weight = "82") {
        WhenModal([this, name, weight](QWidget* w) {
            auto* dialog = qobject_cast<TfrmNewRow*>(w);
            ASSERT_NE(dialog, nullptr);
            ++NewRowShown;
            ShownName = dialog->edtName->text().toStdString();
            if (name.empty()) {
                dialog->reject();
                return;
            }
            dialog->edtName->setText(QString::fromStdString(name));
            dialog->edtWeight->setText(QString::fromStdString(weight));
            dialog->btbOk->click();
        });
    }

    static void Pump(int ms) {
        QElapsedTimer t;
        t.start();
        do QApplication::processEvents(QEventLoop::AllEvents, 5);
        while (t.elapsed() < ms);
    }

    TShellEnv Env;
    TScriptedDialogs Dialogs;
    std::unique_ptr<TDialogScope> Scope;
    int NewRowShown = 0;
    std::string ShownName;
};

TfrmTraining* RowTraining(TfrmMain& main) {
    TfrmRow* row = main.RowWindow();
    return row ? row->TrainingWindow() : nullptr;
}

}  // namespace

TEST_F(RowFlow, RowWindowOpensThroughTheNewRowDialogOnce) {
    TfrmMain main({""});  // an ignored argument: no splash, no row dialog at start
    main.show();
    AnswerNewRow("Eva");
    ASSERT_TRUE(main.OpenRowWindow(SettingsFile(false), ""));
    EXPECT_EQ(NewRowShown, 1);
    TfrmRow* row = main.RowWindow();
    ASSERT_NE(row, nullptr);
    ASSERT_EQ(main.TrainingCount(), 1);
    TfrmTraining* training = RowTraining(main);
    ASSERT_NE(training, nullptr);
    const TTraining& session = *training->Training();
    EXPECT_EQ(&row->Session(), training->Training());  // the row records into the training window
    EXPECT_EQ(session.Header.Name.Text(), "Eva");
    EXPECT_EQ(session.Settings.Weight, 82);
    EXPECT_EQ(session.Header.ContentKind, ckUser);
    EXPECT_EQ(session.Header.FileType, 5);
    EXPECT_EQ(session.ClientId, 101);
    main.UpdateActions();
    EXPECT_TRUE(main.ViewTraining->isEnabled());

    // A second request only shows the existing window.
    EXPECT_FALSE(main.OpenRowWindow(SettingsFile(false), ""));
    main.ViewRow->trigger();
    EXPECT_EQ(NewRowShown, 1);
    EXPECT_EQ(main.TrainingCount(), 1);
    EXPECT_EQ(main.ActiveMDIChild(), row);

    // View Training brings the training window of the row session forward.
    main.ViewTraining->trigger();
    EXPECT_EQ(main.ActiveMDIChild(), training);
    EXPECT_FALSE(training->SubWindow()->isMinimized());

    // Save on the row window saves its training window.
    main.ShowChild(row);
    main.UpdateActions();
    EXPECT_TRUE(main.FileSaveAs->isEnabled());
}

TEST_F(RowFlow, CancelledDialogOpensNothingAndTheNextRequestAsksAgain) {
    TfrmMain main({""});  // an ignored argument: no splash, no row dialog at start
    main.show();
    AnswerNewRow("");
    EXPECT_FALSE(main.OpenRowWindow(SettingsFile(false), ""));
    EXPECT_EQ(main.MDIChildCount(), 0);
    EXPECT_EQ(main.RowWindow(), nullptr);
    AnswerNewRow("Tom");
    EXPECT_TRUE(main.OpenRowWindow(SettingsFile(false), ""));
    EXPECT_EQ(NewRowShown, 2);
    // The dialog shows the default user again, not the name typed before.
    EXPECT_NE(ShownName, "Eva");
}

TEST_F(RowFlow, AnEmptyUserSessionInTheActiveWindowTakesTheRowWhenConfirmed) {
    TfrmMain main({""});  // an ignored argument: no splash, no row dialog at start
    main.show();
    main.ProcessParameter(TestDataFile("user/rower.ini"));
    ASSERT_EQ(main.TrainingCount(), 1);
    auto* user = qobject_cast<TfrmTraining*>(main.ActiveMDIChild());
    ASSERT_NE(user, nullptr);
    ASSERT_TRUE(IsUserOnly(*user->Training()) && IsEmptyTraining(*user->Training()));

    // No: the dialog asks; cancelled, nothing changes.
    Dialogs.Answers = {TMsgResult::No};
    AnswerNewRow("");
    EXPECT_FALSE(main.OpenRowWindow(SettingsFile(false), ""));
    EXPECT_EQ(NewRowShown, 1);
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, "Use current User file to record a training session?");
    EXPECT_EQ(main.TrainingCount(), 1);

    // Yes: the user's window records the row, no new session.
    Dialogs.Answers = {TMsgResult::Yes};
    ASSERT_TRUE(main.OpenRowWindow(SettingsFile(false), ""));
    EXPECT_EQ(NewRowShown, 1);
    EXPECT_EQ(main.TrainingCount(), 1);
    EXPECT_EQ(RowTraining(main), user);
    EXPECT_EQ(user->Training()->Header.ContentKind, ckUser);
}

TEST_F(RowFlow, CommandLineUserFileAndTheSessionLimit) {
    TfrmMain main({""});  // an ignored argument: no splash, no row dialog at start
    main.show();
    TTraining expected;
    ASSERT_TRUE(OpenTraining(TestDataFile("user/rower.ini"), expected, false, {}));
    AnswerNewRow(expected.Header.Name.Text());
    main.ProcessParameter("/R:" + TestDataFile("user/rower.ini"));
    ASSERT_NE(main.RowWindow(), nullptr);
    EXPECT_EQ(ShownName, expected.Header.Name.Text());
    const TTraining& session = *RowTraining(main)->Training();
    EXPECT_EQ(session.Header.Modified, 1);
    EXPECT_EQ(session.Settings.Gender, expected.Settings.Gender);
    EXPECT_EQ(session.Header.ContentKind, ckUser);

    // Two sessions open: a row with a user file is refused before the dialog.
    main.TrainingClosed(session.ClientId);
    QApplication::processEvents();
    EXPECT_EQ(main.RowWindow(), nullptr);
    main.ProcessParameter(TestDataFile("training/sample.stg"));
    main.ProcessParameter("/n");
    ASSERT_EQ(main.TrainingCount(), 2);
    Dialogs.Clear();
    EXPECT_FALSE(main.OpenRowWindow(SettingsFile(false), TestDataFile("user/rower.ini")));
    EXPECT_EQ(Dialogs.LastText(), "Only 2 file(s) / training session(s) can be opened at the same time.");
    EXPECT_FALSE(main.OpenRowWindow(SettingsFile(false), ""));
    EXPECT_EQ(NewRowShown, 1);
}

TEST_F(RowFlow, DemoRowToTheLimitShowsResultsAndSavesWhatWasShown) {
    TfrmMain main({""});  // an ignored argument: no splash, no row dialog at start
    main.show();
    AnswerNewRow("Eva");
    ASSERT_TRUE(main.OpenRowWindow(SettingsFile(false), ""));
    TfrmRow* row = main.RowWindow();
    TfrmTraining* training = RowTraining(main);
    TTraining& session = row->Session();
    session.Settings.LimitType = 0;
    session.Settings.LimitStrokes = 8;
    row->Engine().DemoFile = CATCHLINE_SOURCE_DIR "/resources/demo/catchline.dat";
    row->Engine().RefreshSession();

    // Both chart windows follow the row session.
    main.AnalyseStrokeData->setEnabled(true);
    main.AnalyseStrokeData->trigger();
    main.ShowForceCurvesWindow(SettingsFile(false));
    ASSERT_EQ(main.ChartWindows().size(), 2);
    main.ShowChild(row);

    // Connect: the real connect dialog chooses the demo recording; at the
    // limit the real results window opens.
    bool resultsShown = false;
    bool connectShown = false;
    WhenModal([&](QWidget* w) {
        auto* connect = qobject_cast<TfrmConnect*>(w);
        ASSERT_NE(connect, nullptr) << w->metaObject()->className();
        connectShown = true;
        connect->SelectSource("DEMO");
        // The user tests the source first; OK once the demo recording answers.
        connect->btbTestClick();
        auto* poll = new QTimer(connect);
        poll->setInterval(20);
        QObject::connect(poll, &QTimer::timeout, connect, [connect, poll, &resultsShown] {
            if (connect->RawCount() == 0) return;
            poll->stop();
            connect->btbOkClick();
            WhenModal([&resultsShown](QWidget* r) {
                resultsShown = qobject_cast<TfrmResults*>(r) != nullptr;
                qobject_cast<QDialog*>(r)->accept();
            });
        });
        poll->start();
    });
    QTimer::singleShot(0, row, [row] { row->btnConnect->click(); });
    QElapsedTimer t;
    t.start();
    while (!(row->Engine().Finished() && resultsShown) && t.elapsed() < 60000) QApplication::processEvents();
    ASSERT_TRUE(row->Engine().Finished()) << connectShown << " " << row->Engine().StrokeIndex() << " "
                                          << row->btnConnect->text().toStdString() << " " << Dialogs.LastText();
    EXPECT_TRUE(resultsShown);
    ASSERT_EQ(row->Engine().StrokeIndex(), 8);
    EXPECT_EQ(row->btnConnect->text(), "&Connect");
    EXPECT_FALSE(MessageWindowShown());
    EXPECT_EQ(main.ProgramSettings().Statistics.RowingSessions, 1);

    // What is shown: the training window's grid has a row per stroke.
    EXPECT_GE(training->sgdStrokeData->model()->rowCount(), 8);

    // Save As on the row window writes the training window's session.
    std::string path = Env.File("row.stg");
    TFileDialogResult answer;
    answer.Accepted = true;
    answer.FileNames = {path};
    Dialogs.FileAnswers = {answer};
    main.ShowChild(row);
    main.UpdateActions();
    ASSERT_TRUE(main.FileSaveAs->isEnabled());
    main.FileSaveAs->trigger();
    ASSERT_TRUE(FileExists(path)) << Dialogs.LastText();
    TTraining back;
    ASSERT_TRUE(OpenTraining(path, back, false, {}));
    ASSERT_EQ(back.StrokeCount(), session.StrokeCount());
    ASSERT_EQ(back.Strokes.size(), session.Strokes.size());
    EXPECT_EQ(std::memcmp(back.Strokes.data(), session.Strokes.data(), sizeof(TStgStrokeData) * back.Strokes.size()),
              0);
    EXPECT_EQ(back.Header.Name.Text(), "Eva");
    EXPECT_EQ(main.ProgramSettings().Statistics.FilesSaved, 1);
    EXPECT_EQ(main.RecentFiles().front(), path);

    // Closing the session closes the row window and both chart windows.
    main.TrainingClosed(session.ClientId);
    Pump(50);
    EXPECT_EQ(main.RowWindow(), nullptr);
    EXPECT_TRUE(main.ChartWindows().isEmpty());
    EXPECT_EQ(main.TrainingCount(), 0);
}

TEST_F(RowFlow, ChartWindowsAreSharedCopiedAndFollowTheSessionList) {
    TfrmMain main({""});  // an ignored argument: no splash, no row dialog at start
    main.show();
    main.ProcessParameter(TestDataFile("training/sample.stg"));
    main.ProcessParameter("-d");
    main.ProcessParameter("-f");
    ASSERT_EQ(main.ChartWindows().size(), 2);
    // A second request shows the same window.
    main.ShowStrokeDataWindow(SettingsFile(false));
    EXPECT_EQ(main.ChartWindows().size(), 2);
    EXPECT_EQ(main.ActiveMDIChild()->ChildKind(), chkStrokeData);

    // Copy Chart puts the picture on the clipboard.
    QApplication::clipboard()->clear();
    main.UpdateActions();
    ASSERT_TRUE(main.EditCopyChart->isEnabled());
    main.EditCopyChart->trigger();
    EXPECT_FALSE(QApplication::clipboard()->image().isNull());

    // A second session joins both windows' lists; closing both closes them.
    main.ProcessParameter(TestDataFile("stroke/sample.str"));
    ASSERT_EQ(main.TrainingCount(), 2);
    for (TfrmChart* chart : main.ChartWindows())  // the force curves list adds the four averages
        EXPECT_EQ(chart->ListCount(), chart->ChildKind() == chkForceCurves ? 6 : 2);
    main.TrainingClosed(main.TrainingIdAt(0));
    Pump(20);
    ASSERT_EQ(main.ChartWindows().size(), 2);
    for (TfrmChart* chart : main.ChartWindows())
        EXPECT_EQ(chart->ListCount(), chart->ChildKind() == chkForceCurves ? 5 : 1);
    main.TrainingClosed(main.TrainingIdAt(0));
    Pump(50);
    EXPECT_TRUE(main.ChartWindows().isEmpty());
}

TEST_F(RowFlow, DeviceOnAPseudoTerminalIsTestedChosenAndRowedThroughTheWindows) {
    // The device: VT frames of a steady row, sent as a real interface does,
    // a few hundred bytes at a time, whether anyone listens or not.
    TPty pty;
    const std::string frames = VTFrames(RowingTicks(60), vtpVtw);
    size_t at = 0;
    QTimer feed;
    feed.setInterval(25);
    QObject::connect(&feed, &QTimer::timeout, [&] {
        if (at >= frames.size()) return;
        ssize_t n = ::write(pty.MasterFd(), frames.data() + at, std::min<size_t>(300, frames.size() - at));
        if (n > 0) at += size_t(n);
    });
    feed.start();

    TfrmMain main({""});
    main.show();
    AnswerNewRow("Eva");
    ASSERT_TRUE(main.OpenRowWindow(SettingsFile(false), ""));
    TfrmRow* row = main.RowWindow();
    TTraining& session = row->Session();
    session.Settings.LimitType = 0;
    session.Settings.LimitStrokes = 5;
    row->Engine().RefreshSession();

    // The user types the port, tests it and takes it.
    bool resultsShown = false;
    std::string tested;
    WhenModal([&](QWidget* w) {
        auto* connect = qobject_cast<TfrmConnect*>(w);
        ASSERT_NE(connect, nullptr) << w->metaObject()->className();
        connect->cmbSource->setEditText(QString::fromStdString(pty.SlavePath()));
        connect->btbTestClick();
        auto* poll = new QTimer(connect);
        poll->setInterval(20);
        QObject::connect(poll, &QTimer::timeout, connect, [connect, poll, &resultsShown, &tested] {
            if (connect->RawCount() < 20) return;
            poll->stop();
            tested = connect->Source();
            connect->btbTestClick();  // stop the test
            connect->btbOkClick();
            WhenModal([&resultsShown](QWidget* r) {
                resultsShown = qobject_cast<TfrmResults*>(r) != nullptr;
                qobject_cast<QDialog*>(r)->accept();
            });
        });
        poll->start();
    });
    QTimer::singleShot(0, row, [row] { row->btnConnect->click(); });
    QElapsedTimer t;
    t.start();
    while (!(row->Engine().Finished() && resultsShown) && t.elapsed() < 60000) QApplication::processEvents();
    EXPECT_EQ(tested, pty.SlavePath());
    ASSERT_TRUE(row->Engine().Finished()) << row->Engine().StrokeIndex() << " " << Dialogs.LastText();
    EXPECT_TRUE(resultsShown);
    EXPECT_EQ(row->Engine().StrokeIndex(), 5);
    EXPECT_EQ(session.Header.InterfaceDetail, vtpVtw);
    // Every stroke of the synthetic row is a real one: some distance and power.
    for (int k = 2; k <= 5; ++k) {
        EXPECT_GT(session.Strokes[size_t(k)].Distance, session.Strokes[size_t(k - 1)].Distance) << k;
    }
    EXPECT_FLOAT_EQ(session.Totals.Distance, session.Strokes[5].Distance);
}
