// The main window with the row and chart windows: opening a row through the
// new-row dialog, the rules for reusing an empty user session, rowing the demo
// recording through the connect dialog to a limit, the results window, saving
// the session and reading it back, the chart windows following the sessions
// and closing with them.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QChartView>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <cstring>

#include <unistd.h>

#include "charts/force_curves_window.h"
#include "charts/stroke_data_window.h"
#include "core/catalogue.h"
#include "files/training_io.h"
#include "logic/value_data.h"
#include "review/results_window.h"
#include "review/training_window.h"
#include "row/connect_dialog.h"
#include "row/message_window.h"
#include "row/new_row_dialog.h"
#include "row/row_window.h"
#include "shell/main_window.h"
#include "shell/splash.h"
#include "tests/shell/testutil_shell.h"
#include "tests/support/child.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/testutil_framework.h"
#include "tests/support/testutil_interfaces.h"
#include "util/dialogs.h"
#include "util/paths.h"

namespace {

class RowFlow : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp();
        BuildCatalogues();
        Scope = std::make_unique<TDialogScope>(Dialogs);
    }
    void TearDown() override
    {
        HideMessageWindow();
        Scope.reset();
    }

    TWaitPace Pace{10};

    // Answers the new-row dialog when it opens: fills the name and weight and
    // confirms, or cancels when name is empty.
    void AnswerNewRow(const std::string& name, const std::string& weight = "82")
    {
        WhenModal([this, name, weight](QWidget* w) {
            auto* dialog = qobject_cast<TfrmNewRow*>(w);
            ASSERT_NE(dialog, nullptr);
            ++NewRowShown;
            ShownName = Child<QLineEdit>(dialog, "edtName")->text().toStdString();
            if (name.empty()) {
                dialog->reject();
                return;
            }
            Child<QLineEdit>(dialog, "edtName")->setText(QString::fromStdString(name));
            Child<QLineEdit>(dialog, "edtWeight")->setText(QString::fromStdString(weight));
            Child<QPushButton>(dialog, "btbOk")->click();
        });
    }

    static void Pump(int ms)
    {
        QElapsedTimer t;
        t.start();
        do QApplication::processEvents(QEventLoop::AllEvents, 5);
        while (t.elapsed() < ms);
    }

    // What the results window showed when it opened at the limit.
    struct TShownResults {
        bool Shown = false;
        std::string Distance, Time, Strokes;
        int Intervals = -1;
    };

    // The user clicks Connect on the row window, tests "DEMO" in the connect
    // dialog and takes it; the demo rows until the session limit, where the
    // results window opens and is closed again. Without toTheLimit it returns
    // as soon as the row is connected.
    TShownResults RowDemoToTheLimit(TfrmRow* row, bool toTheLimit = true)
    {
        TShownResults shown;
        WhenModal([&shown, toTheLimit](QWidget* w) {
            auto* connect = qobject_cast<TfrmConnect*>(w);
            ASSERT_NE(connect, nullptr) << w->metaObject()->className();
            connect->SelectSource("DEMO");
            Child<QPushButton>(connect, "btbTest")->click();
            auto* poll = new QTimer(connect);
            poll->setInterval(20);
            QObject::connect(poll, &QTimer::timeout, connect, [connect, poll, &shown, toTheLimit] {
                if (connect->RawCount() == 0) return;
                poll->stop();
                Child<QPushButton>(connect, "btbOk")->click();
                if (toTheLimit)
                    WhenModal([&shown](QWidget* r) {
                        if (auto* results = qobject_cast<TfrmResults*>(r)) {
                            shown.Shown = true;
                            shown.Distance = Child<QLineEdit>(results, "edtDistance")->text().toStdString();
                            shown.Time = Child<QLineEdit>(results, "edtTime")->text().toStdString();
                            shown.Strokes = Child<QLineEdit>(results, "edtStrokes")->text().toStdString();
                            shown.Intervals = Child<QTableView>(results, "sgdIntervals")->model()->rowCount();
                        }
                        qobject_cast<QDialog*>(r)->accept();
                    });
            });
            poll->start();
        });
        QTimer::singleShot(0, row, [row] { Child<QPushButton>(row, "btnConnect")->click(); });
        QElapsedTimer t;
        t.start();
        auto done = [&] {
            if (toTheLimit) return row->Engine().Finished() && shown.Shown;
            return row->Engine().Interface() && row->Session().RowStatus == rsRowing;
        };
        while (!done() && t.elapsed() < 60000) QApplication::processEvents();
        return shown;
    }

    // Shows the main window and opens the row window through the new-row
    // dialog for a new session of "Eva" that rows the demo recording.
    TfrmRow* OpenDemoRow(TfrmMain& main)
    {
        main.show();
        AnswerNewRow("Eva");
        if (!main.OpenRowWindow(SettingsFile(false), "")) return nullptr;
        TfrmRow* row = RowWindowOf(main);
        if (row) row->Engine().DemoFile = CATCHLINE_SOURCE_DIR "/resources/demo/catchline.dat";
        return row;
    }

    // The user sets the session's workout in its training window: a rowed
    // session is reset first (the workout of a recording is not editable),
    // then the limit is chosen from the list and each value typed and
    // confirmed with Enter.
    void SetWorkout(TfrmTraining* t, int limitType, const char* value, int by = -1, const char* work = nullptr,
                    const char* rest = nullptr)
    {
        if (!IsEmptyTraining(*t->Training())) {
            // Unsaved recorded strokes: the question offers to save them first.
            Dialogs.Answers = {HasUnsavedStrokes(*t->Training()) ? TMsgResult::Discard : TMsgResult::Yes};
            Child<QPushButton>(t, "btnReset")->click();
            EXPECT_EQ(Dialogs.LastText().rfind("Resetting the current training session", 0), 0u);
            EXPECT_TRUE(Child<QLineEdit>(t, "edtLimitValue")->isEnabled());
        }
        Child<QComboBox>(t, "cmbSessionLimit")->setCurrentIndex(limitType);
        if (by >= 0) Child<QComboBox>(t, "cmbIntervalBy")->setCurrentIndex(by);
        auto type = [](QLineEdit* e, const char* text) {
            e->selectAll();
            QTest::keyClicks(e, text);
            QTest::keyClick(e, Qt::Key_Return);
        };
        type(Child<QLineEdit>(t, "edtLimitValue"), value);
        if (work) type(Child<QLineEdit>(t, "edtWorkPeriod"), work);
        if (rest) type(Child<QLineEdit>(t, "edtRestPeriod"), rest);
    }

    // Save As on the row window (or another child), answered with path; the
    // file read back.
    TTraining SaveAndReadBack(TfrmMain& main, const std::string& path, TMDIChild* child = nullptr)
    {
        TFileDialogResult answer;
        answer.Accepted = true;
        answer.FileNames = {path};
        Dialogs.FileAnswers = {answer};
        main.ShowChild(child ? child : main.RowWindow());
        main.UpdateActions();
        EXPECT_TRUE(main.FileSaveAs->isEnabled());
        main.FileSaveAs->trigger();
        TTraining back;
        EXPECT_TRUE(OpenTraining(path, back, false, {})) << Dialogs.LastText();
        return back;
    }

    TShellEnv Env;
    TScriptedDialogs Dialogs;
    std::unique_ptr<TDialogScope> Scope;
    int NewRowShown = 0;
    std::string ShownName;
};

// The names of the buttons, boxes and fields of a window that are cut off by
// its edge, and of captioned buttons narrower than their caption (controls
// inside lists, grids, boxes and tab bars belong to those and are left out).
std::vector<std::string> CutControls(QWidget* window)
{
    std::vector<std::string> cut;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window)) continue;
        if (!qobject_cast<QAbstractButton*>(w) && !qobject_cast<QComboBox*>(w) && !qobject_cast<QLineEdit*>(w))
            continue;
        bool inner = false;
        for (QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
            if (qobject_cast<QAbstractScrollArea*>(p) || qobject_cast<QComboBox*>(p) ||
                qobject_cast<QAbstractSpinBox*>(p) || qobject_cast<QTabBar*>(p))
                inner = true;
        if (inner) continue;
        const QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
        // Cut by the window's edge; a push button, check box or radio button
        // narrower than its caption (combo boxes and the small tool buttons
        // are designed narrower than their longest entry).
        const bool captioned =
            qobject_cast<QPushButton*>(w) || qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w);
        if (!window->rect().contains(r) || (captioned && w->width() < w->minimumSizeHint().width()))
            cut.push_back(w->metaObject()->className() + std::string(" ") + w->objectName().toStdString());
    }
    return cut;
}

TfrmTraining* RowTraining(TfrmMain& main)
{
    TfrmRow* row = RowWindowOf(main);
    return row ? qobject_cast<TfrmTraining*>(main.SessionWindow(row->SessionId())) : nullptr;
}

}  // namespace

TEST_F(RowFlow, RowWindowOpensThroughTheNewRowDialogOnce)
{
    TfrmMain main({""});  // an ignored argument: no splash, no row dialog at start
    main.show();
    AnswerNewRow("Eva");
    ASSERT_TRUE(main.OpenRowWindow(SettingsFile(false), ""));
    EXPECT_EQ(NewRowShown, 1);
    TfrmRow* row = RowWindowOf(main);
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
    // Logo cells show the program's logo (not the word "LOGO").
    ASSERT_NE(row->Values(), nullptr);
    EXPECT_FALSE(QPixmap(row->Values()->Logo()).isNull()) << row->Values()->Logo().toStdString();
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

TEST_F(RowFlow, CancelledDialogOpensNothingAndTheNextRequestAsksAgain)
{
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

TEST_F(RowFlow, AnEmptyUserSessionInTheActiveWindowTakesTheRowWhenConfirmed)
{
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

TEST_F(RowFlow, CommandLineUserFileAndTheSessionLimit)
{
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
    // (The row window closes; its modified session stays, the question kept it.)
    main.RowWindow()->close();
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

TEST_F(RowFlow, DemoRowToTheLimitShowsResultsAndSavesWhatWasShown)
{
    TfrmMain main({""});  // an ignored argument: no splash, no row dialog at start
    TfrmRow* row = OpenDemoRow(main);
    ASSERT_NE(row, nullptr);
    TfrmTraining* training = RowTraining(main);
    TTraining& session = row->Session();
    session.Settings.LimitType = 0;
    session.Settings.LimitStrokes = 8;
    row->Engine().RefreshSession();

    // Both chart windows follow the row session.
    main.AnalyseStrokeData->setEnabled(true);
    main.AnalyseStrokeData->trigger();
    main.ShowForceCurvesWindow(SettingsFile(false));
    ASSERT_EQ(main.ChartWindows().size(), 2);
    main.ShowChild(row);

    // Connect: the real connect dialog chooses the demo recording; at the
    // limit the real results window opens.
    const TShownResults shown = RowDemoToTheLimit(row);
    ASSERT_TRUE(row->Engine().Finished())
        << row->Engine().StrokeIndex() << " " << Child<QPushButton>(row, "btnConnect")->text().toStdString() << " "
        << Dialogs.LastText();
    EXPECT_TRUE(shown.Shown);
    EXPECT_EQ(shown.Strokes, "8");
    ASSERT_EQ(row->Engine().StrokeIndex(), 8);
    EXPECT_EQ(Child<QPushButton>(row, "btnConnect")->text(), "&Connect");
    EXPECT_FALSE(MessageWindowShown());
    EXPECT_EQ(main.ProgramSettings().Statistics.RowingSessions, 1);

    // What is shown: the training window's grid has a row per stroke.
    EXPECT_GE(Child<QTableView>(training, "sgdStrokeData")->model()->rowCount(), 8);

    // Save As on the row window writes the training window's session.
    const std::string path = Env.File("row.stg");
    const TTraining back = SaveAndReadBack(main, path);
    ASSERT_EQ(back.StrokeCount(), session.StrokeCount());
    ASSERT_EQ(back.Strokes.size(), session.Strokes.size());
    EXPECT_EQ(std::memcmp(back.Strokes.data(), session.Strokes.data(), sizeof(TStgStrokeData) * back.Strokes.size()),
              0);
    EXPECT_EQ(back.Header.Name.Text(), "Eva");
    EXPECT_EQ(main.ProgramSettings().Statistics.FilesSaved, 1);
    EXPECT_EQ(main.RecentFiles().front(), path);

    // Closing the session closes the row window and both chart windows.
    main.Store().RequestClose(session.ClientId);
    Pump(50);
    EXPECT_EQ(main.RowWindow(), nullptr);
    EXPECT_TRUE(main.ChartWindows().isEmpty());
    EXPECT_EQ(main.TrainingCount(), 0);
    EXPECT_TRUE(main.MDIClient()->subWindowList().isEmpty());  // no empty frame left behind
}

TEST_F(RowFlow, ChartWindowsAreSharedCopiedAndFollowTheSessionList)
{
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
    for (TfrmChart* chart : ChartWindowsOf(main))  // the force curves list adds the four averages
        EXPECT_EQ(chart->ListCount(), chart->ChildKind() == chkForceCurves ? 6 : 2);
    main.Store().RequestClose(main.Store().IdAt(0));
    Pump(20);
    ASSERT_EQ(main.ChartWindows().size(), 2);
    for (TfrmChart* chart : ChartWindowsOf(main))
        EXPECT_EQ(chart->ListCount(), chart->ChildKind() == chkForceCurves ? 5 : 1);
    main.Store().RequestClose(main.Store().IdAt(0));
    Pump(50);
    EXPECT_TRUE(main.ChartWindows().isEmpty());
}

TEST_F(RowFlow, DeviceOnAPseudoTerminalIsTestedChosenAndRowedThroughTheWindows)
{
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
    TfrmRow* row = RowWindowOf(main);
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
        Child<QComboBox>(connect, "cmbSource")->setEditText(QString::fromStdString(pty.SlavePath()));
        Child<QPushButton>(connect, "btbTest")->click();
        auto* poll = new QTimer(connect);
        poll->setInterval(20);
        QObject::connect(poll, &QTimer::timeout, connect, [connect, poll, &resultsShown, &tested] {
            if (connect->RawCount() < 20) return;
            poll->stop();
            tested = connect->Source();
            Child<QPushButton>(connect, "btbTest")->click();  // stop the test
            Child<QPushButton>(connect, "btbOk")->click();
            WhenModal([&resultsShown](QWidget* r) {
                resultsShown = qobject_cast<TfrmResults*>(r) != nullptr;
                qobject_cast<QDialog*>(r)->accept();
            });
        });
        poll->start();
    });
    QTimer::singleShot(0, row, [row] { Child<QPushButton>(row, "btnConnect")->click(); });
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

TEST_F(RowFlow, DistanceAndTimeLimitsSetInTheTrainingWindowEndTheRowAtTheLimit)
{
    TfrmMain main({""});
    TfrmRow* row = OpenDemoRow(main);
    ASSERT_NE(row, nullptr);
    TfrmTraining* training = RowTraining(main);
    const TTraining& session = row->Session();

    SetWorkout(training, 2, "200");
    ASSERT_EQ(session.Settings.LimitType, 2);
    ASSERT_EQ(session.Settings.LimitDistance, 200);
    TShownResults shown = RowDemoToTheLimit(row);
    ASSERT_TRUE(row->Engine().Finished());
    EXPECT_TRUE(shown.Shown);
    // The stroke that crosses the limit ends the row; the totals are
    // interpolated to the limit itself.
    const int n = session.StrokeCount();
    ASSERT_GE(n, 2);
    EXPECT_LT(session.Strokes[size_t(n - 1)].Distance, 200.0f);
    EXPECT_GE(session.Strokes[size_t(n)].Distance, 200.0f);
    EXPECT_FLOAT_EQ(session.Totals.Distance, 200.0f);
    EXPECT_NE(shown.Distance.find("200"), std::string::npos) << shown.Distance;
    const TTraining back = SaveAndReadBack(main, Env.File("distance.stg"));
    EXPECT_FLOAT_EQ(back.Totals.Distance, 200.0f);
    EXPECT_EQ(back.StrokeCount(), n);
    EXPECT_EQ(back.Settings.LimitDistance, 200);

    // A time limit of one minute for the next row.
    SetWorkout(training, 3, "0:01:00");
    ASSERT_EQ(session.Settings.LimitTime, 60);
    shown = RowDemoToTheLimit(row);
    ASSERT_TRUE(row->Engine().Finished());
    const int m = session.StrokeCount();
    ASSERT_GE(m, 2);
    EXPECT_LT(session.Strokes[size_t(m - 1)].Time, 60.0f);
    EXPECT_GE(session.Strokes[size_t(m)].Time, 60.0f);
    EXPECT_FLOAT_EQ(session.Totals.Time, 60.0f);
    EXPECT_LT(session.Totals.Distance, session.Strokes[size_t(m)].Distance + 0.01f);
    EXPECT_EQ(main.ProgramSettings().Statistics.RowingSessions, 2);
}

TEST_F(RowFlow, IntervalWorkoutsSetInTheTrainingWindowCutAndFinishAsPlanned)
{
    TfrmMain main({""});
    TfrmRow* row = OpenDemoRow(main);
    ASSERT_NE(row, nullptr);
    TfrmTraining* training = RowTraining(main);
    const TTraining& session = row->Session();

    // Three intervals of 10 strokes without rest: three work periods. The
    // second interval starts after stroke 10 (which already carries its
    // number) and the row ends at stroke 30 with three interval records.
    SetWorkout(training, 4, "3", 0, "10", "0");
    ASSERT_EQ(session.Settings.LimitType, 4);
    ASSERT_EQ(session.Settings.LimitIntervals, 3);
    TShownResults shown = RowDemoToTheLimit(row);
    ASSERT_TRUE(row->Engine().Finished());
    EXPECT_EQ(session.StrokeCount(), 30);
    EXPECT_EQ(session.IntervalCount(), 3);
    EXPECT_EQ(session.Strokes[9].IntervalNumber, 1);
    EXPECT_EQ(session.Strokes[10].IntervalNumber, 2);
    EXPECT_EQ(shown.Intervals, 3);
    EXPECT_EQ(Child<QTableView>(training, "sgdIntervals")->model()->rowCount(), 3);
    const TTraining back = SaveAndReadBack(main, Env.File("intervals.stg"));
    ASSERT_EQ(back.IntervalCount(), 3);
    EXPECT_EQ(std::memcmp(back.Intervals.data(), session.Intervals.data(),
                          sizeof(session.Intervals[0]) * session.Intervals.size()),
              0);

    // Two intervals end with the second work period, one with the first.
    for (auto [count, strokes] : {std::pair{"2", 20}, std::pair{"1", 10}}) {
        SetWorkout(training, 4, count, 0, "10", "0");
        RowDemoToTheLimit(row);
        ASSERT_TRUE(row->Engine().Finished()) << count;
        EXPECT_EQ(session.StrokeCount(), strokes) << count;
    }

    // Work 10, rest 5: strokes 11..14 are rest counting down to 15, which
    // starts interval 2; the third work period ends the row at stroke 40.
    SetWorkout(training, 4, "3", 0, "10", "5");
    ASSERT_EQ(session.Settings.RestPeriod, 5);
    RowDemoToTheLimit(row);
    ASSERT_TRUE(row->Engine().Finished());
    EXPECT_EQ(session.StrokeCount(), 40);
    for (int k = 11; k <= 14; ++k) {
        EXPECT_EQ(session.Strokes[size_t(k)].IntervalCountdown, 15 - k) << k;
        EXPECT_EQ(session.Strokes[size_t(k)].IntervalPower, 0) << k;
    }
    EXPECT_EQ(session.Strokes[15].IntervalNumber, 2);
}

TEST_F(RowFlow, ButtonQuestionsEscDuringTheWaitAndClosingTheProgramWhileRowing)
{
    TfrmMain main({""});
    TfrmRow* row = OpenDemoRow(main);
    ASSERT_NE(row, nullptr);
    TTraining& session = row->Session();
    session.Settings.LimitType = 0;
    session.Settings.LimitStrokes = 0;  // no limit
    row->Engine().RefreshSession();
    row->Engine().DemoFast = false;  // the demo keeps rowing in real time
    RowDemoToTheLimit(row, false);
    ASSERT_TRUE(row->Engine().Interface());
    ASSERT_EQ(session.RowStatus, rsRowing);
    EXPECT_EQ(Child<QPushButton>(row, "btnConnect")->text(), "&Pause");

    // Pause: the question, answered No, leaves the row paused.
    Dialogs.Clear();
    Dialogs.Answers = {TMsgResult::No};
    Child<QPushButton>(row, "btnConnect")->click();
    EXPECT_EQ(Dialogs.LastText(), "The system is paused. Do you want to disconnect?");
    EXPECT_EQ(session.RowStatus, rsPaused);
    EXPECT_EQ(Child<QPushButton>(row, "btnConnect")->text(), "&Continue");
    // Continue: no question.
    Child<QPushButton>(row, "btnConnect")->click();
    EXPECT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Child<QPushButton>(row, "btnConnect")->text(), "&Pause");
    // Pause again and disconnect.
    Dialogs.Answers = {TMsgResult::Yes};
    Child<QPushButton>(row, "btnConnect")->click();
    EXPECT_EQ(row->Engine().Interface(), nullptr);
    EXPECT_EQ(Child<QPushButton>(row, "btnConnect")->text(), "&Connect");
    EXPECT_EQ(session.RowStatus, rsFinished);

    // A silent device: the user presses Esc on the waiting message.
    TPty pty;
    if (session.StrokeCount() > 0) Dialogs.Answers = {TMsgResult::Discard};
    WhenModal([&pty](QWidget* w) {
        auto* connect = qobject_cast<TfrmConnect*>(w);
        ASSERT_NE(connect, nullptr) << w->metaObject()->className();
        Child<QComboBox>(connect, "cmbSource")->setEditText(QString::fromStdString(pty.SlavePath()));
        Child<QPushButton>(connect, "btbOk")->click();
    });
    bool escaped = false;
    QTimer esc;
    esc.setInterval(20);
    QObject::connect(&esc, &QTimer::timeout, [&] {
        if (!MessageWindowShown() || escaped ||
            !Child<QLabel>(MessageWindow(), "pnlMessage")->text().startsWith("Waiting for interface"))
            return;
        escaped = true;
        QTest::keyClick(MessageWindow(), Qt::Key_Escape);
    });
    esc.start();
    Child<QPushButton>(row, "btnConnect")->click();
    esc.stop();
    EXPECT_TRUE(escaped);
    EXPECT_EQ(row->Engine().Interface(), nullptr);
    EXPECT_TRUE(Child<QPushButton>(row, "btnConnect")->isEnabled());
    EXPECT_EQ(Child<QPushButton>(row, "btnConnect")->text(), "&Connect");
    EXPECT_FALSE(MessageWindowShown());

    // Rowing again (fast), the program is closed in the middle of the row.
    // Every window is asked before any closes: the session's unsaved strokes
    // are offered for saving, and Cancel leaves everything as it was, the row
    // still recording.
    row->Engine().DemoFast = true;
    Dialogs.Answers = {TMsgResult::Yes};
    QTimer closer;
    closer.setInterval(1);
    int closedAt = -1;
    QPointer<TfrmRow> rowing(row);
    const int children = int(main.ChildList().size());
    bool rowingAfterCancel = false;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (closedAt >= 0 || !rowing || rowing->Engine().StrokeIndex() < 30) return;
        closedAt = rowing->Engine().StrokeIndex();
        Dialogs.Clear();
        Dialogs.Answers = {TMsgResult::OK, TMsgResult::Cancel};
        main.close();
        rowingAfterCancel = rowing && rowing->Engine().Interface() && rowing->Session().RowStatus == rsRowing;
    });
    closer.start();
    RowDemoToTheLimit(row, false);
    QElapsedTimer t;
    t.start();
    while (closedAt < 0 && t.elapsed() < 30000) QApplication::processEvents();
    closer.stop();
    ASSERT_GE(closedAt, 30);
    EXPECT_TRUE(rowingAfterCancel);
    EXPECT_TRUE(main.isVisible());
    ASSERT_TRUE(rowing);
    EXPECT_EQ(int(main.ChildList().size()), children);
    ASSERT_EQ(Dialogs.Messages.size(), 2u);
    // The session is titled by its rower and its start.
    const std::string title = rowing->Session().Header.Title.Text();
    EXPECT_EQ(title.rfind("Eva ", 0), 0u) << title;
    EXPECT_EQ(Dialogs.Messages[1].Text.rfind(
                  "Training session \"" + title + "\" is modified and its recorded strokes are not saved.", 0),
              0u);
    EXPECT_EQ(Dialogs.Messages[1].Buttons, unsigned(mbSaveDiscardCancel));

    // Exit again, and Save: the session is written before anything closes,
    // then the row window closes (a distance was rowed: its results) and
    // the program with it.
    Dialogs.Clear();
    Dialogs.Answers = {TMsgResult::OK, TMsgResult::Save};
    TFileDialogResult answer;
    answer.Accepted = true;
    answer.FileNames = {Env.File("kept.stg")};
    Dialogs.FileAnswers = {answer};
    bool resultsAtClose = false;
    WhenModal([&](QWidget* r) {
        resultsAtClose = qobject_cast<TfrmResults*>(r) != nullptr;
        qobject_cast<QDialog*>(r)->accept();
    });
    const int savedAt = rowing->Engine().StrokeIndex();
    main.close();
    Pump(50);
    EXPECT_TRUE(resultsAtClose);
    EXPECT_FALSE(main.isVisible());
    EXPECT_EQ(main.TrainingCount(), 0);
    EXPECT_EQ(Dialogs.Messages.size(), 2u);  // nothing asked twice
    TTraining back;
    ASSERT_TRUE(OpenTraining(Env.File("kept.stg"), back, false, {})) << Dialogs.LastText();
    EXPECT_GE(back.StrokeCount(), savedAt);
    EXPECT_GE(savedAt, closedAt);
}

TEST_F(RowFlow, ClosingTheRowWindowWhileTheConnectWaitsStopsTheConnect)
{
    TfrmMain main({""});
    QPointer<TfrmRow> row = OpenDemoRow(main);
    ASSERT_TRUE(row);
    Dialogs.Answers = {TMsgResult::OK};  // close the modified session with it
    // The demo recording is tested (which makes the interface type known),
    // then a device that never answers is chosen.
    TPty pty;
    WhenModal([&pty](QWidget* w) {
        auto* connect = qobject_cast<TfrmConnect*>(w);
        ASSERT_NE(connect, nullptr) << w->metaObject()->className();
        connect->SelectSource("DEMO");
        Child<QPushButton>(connect, "btbTest")->click();
        auto* poll = new QTimer(connect);
        poll->setInterval(20);
        QObject::connect(poll, &QTimer::timeout, connect, [connect, poll, &pty] {
            if (connect->RawCount() == 0) return;
            poll->stop();
            Child<QPushButton>(connect, "btbTest")->click();  // stop the test
            Child<QComboBox>(connect, "cmbSource")->setEditText(QString::fromStdString(pty.SlavePath()));
            Child<QPushButton>(connect, "btbOk")->click();
        });
        poll->start();
    });
    bool closed = false;
    QTimer closer;
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (closed || !MessageWindowShown() ||
            !Child<QLabel>(MessageWindow(), "pnlMessage")->text().startsWith("Waiting for interface"))
            return;
        closed = true;
        row->close();
    });
    closer.start();
    Child<QPushButton>(row, "btnConnect")->click();  // returns once the wait has stopped
    closer.stop();
    Pump(50);
    // The frame's queued close may run only now, outside the wait's event
    // loop: its deferred deletion is what the program's main loop does next.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(row.isNull());
    EXPECT_EQ(main.RowWindow(), nullptr);
    EXPECT_EQ(main.TrainingCount(), 0);
    EXPECT_TRUE(main.MDIClient()->subWindowList().isEmpty());  // no empty frame left behind
    EXPECT_FALSE(MessageWindowShown());
}

TEST_F(RowFlow, ClosingTheRowWindowWhileItsConnectDialogTestsADeviceClosesTheDialogToo)
{
    TfrmMain main({""});
    QPointer<TfrmRow> row = OpenDemoRow(main);
    ASSERT_TRUE(row);
    TPty pty;  // a device that never answers: the test waits for its data
    QPointer<TfrmConnect> dialog;
    bool testing = false;
    WhenModal([&](QWidget* w) {
        auto* connect = qobject_cast<TfrmConnect*>(w);
        ASSERT_NE(connect, nullptr) << w->metaObject()->className();
        dialog = connect;
        Child<QComboBox>(connect, "cmbSource")->setEditText(QString::fromStdString(pty.SlavePath()));
        QTimer::singleShot(50, [&] {
            testing = dialog && dialog->TestRunning() && OpenDescriptors(pty.SlavePath()) > 0;
            Dialogs.Answers = {TMsgResult::OK};  // close the session with it
            row->close();
        });
        Child<QPushButton>(connect, "btbTest")->click();  // waits for the device
    });
    Child<QPushButton>(row, "btnConnect")->click();  // returns once the dialog has closed
    Pump(50);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(testing);
    EXPECT_TRUE(dialog.isNull());
    EXPECT_TRUE(row.isNull());
    EXPECT_EQ(main.RowWindow(), nullptr);
    EXPECT_EQ(main.TrainingCount(), 0);
    EXPECT_TRUE(main.MDIClient()->subWindowList().isEmpty());
    EXPECT_EQ(OpenDescriptors(pty.SlavePath()), 0);  // the tested port is closed
    EXPECT_FALSE(MessageWindowShown());
}

TEST_F(RowFlow, RestoredChildWindowsShowEveryControl)
{
    TfrmMain main({""});  // an ignored argument: no splash, no row dialog at start
    main.resize(1600, 1000);
    TfrmRow* row = OpenDemoRow(main);
    ASSERT_NE(row, nullptr);
    main.ShowForceCurvesWindow(SettingsFile(false));
    main.ShowStrokeDataWindow(SettingsFile(false));
    const QList<QWidget*> children = main.ChildList();
    ASSERT_EQ(children.size(), 4);  // training, row and both chart windows
    for (QWidget* child : children) {
        auto* sub = qobject_cast<QMdiSubWindow*>(child->parentWidget());
        ASSERT_NE(sub, nullptr);
        sub->showNormal();  // from maximised, as each window opens
        Pump(20);
        EXPECT_EQ(CutControls(child), std::vector<std::string>{}) << child->objectName().toStdString();
        // Charts get room to be read.
        for (QChartView* view : child->findChildren<QChartView*>())
            if (view->isVisibleTo(child)) {
                EXPECT_GE(view->height(), 150) << child->objectName().toStdString();
                EXPECT_GE(view->width(), 150) << child->objectName().toStdString();
            }
    }
}

TEST_F(RowFlow, MinimisedChartWindowBroughtBackWithShiftMakesEveryChildFillTheFrame)
{
    TfrmMain main({""});  // an ignored argument: no splash, no row dialog at start
    main.resize(1200, 900);
    main.show();
    main.ProcessParameter(TestDataFile("training/sample.stg"));
    main.ProcessParameter("-d");
    ASSERT_EQ(main.ChartWindows().size(), 1);
    TMDIChild* chart = main.ChartWindows().front();
    TMDIChild* training = main.TrainingWindows().front();
    const QRect filled(QPoint(0, 0), main.FreeArea());
    auto place = [&] {
        training->SubWindow()->showNormal();
        training->SubWindow()->setGeometry(30, 40, 500, 400);
        chart->SubWindow()->showMinimized();
    };
    // Without Shift only the chart window fills the frame.
    place();
    main.ShowStrokeDataWindow(SettingsFile(false));
    EXPECT_EQ(chart->SubWindow()->geometry(), filled);
    EXPECT_EQ(training->SubWindow()->geometry(), QRect(30, 40, 500, 400));
    // With Shift held every child does.
    place();
    QTest::keyPress(&main, Qt::Key_Shift, Qt::ShiftModifier);
    main.ShowStrokeDataWindow(SettingsFile(false));
    QTest::keyRelease(&main, Qt::Key_Shift);
    EXPECT_EQ(chart->SubWindow()->geometry(), filled);
    EXPECT_EQ(training->SubWindow()->geometry(), filled);
}
