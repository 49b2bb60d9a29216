// The training window on real sessions (a training file from the test data and
// sessions recorded in memory), driven through its controls offscreen.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include "core/catalogue.h"
#include "core/intervals.h"
#include "core/values.h"
#include "files/training_file.h"
#include "files/training_io.h"
#include "framework/chart_dialogs.h"
#include "review/grid_models.h"
#include "review/training_window.h"
#include "tests/review/testutil_review.h"
#include "tests/support/child.h"
#include "tests/support/scripted_dialogs.h"
#include "util/date_time.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/profile.h"
#include "util/text.h"

namespace {

std::string Text(const QLabel* l) { return l->text().toStdString(); }
std::string Cell(const QTableView* v, int row, int col)
{
    return v->model()->data(v->model()->index(row, col)).toString().toStdString();
}
std::string Header(const QTableView* v, int col)
{
    return v->model()->headerData(col, Qt::Horizontal).toString().toStdString();
}

const char* const kResetQuestion = "Changing this value will reset the training session.\rDo you wish to continue?";

class TrainingWindowTest : public ::testing::Test {
protected:
    void SetUp() override { TestApp(); }

    TTraining SampleSession()
    {
        TTraining t;
        EXPECT_TRUE(OpenTraining(TestDataFile("training/sample.stg"), t, false));
        return t;
    }

    // A window shown and active, so that focus moves as for a user.
    void ShowActive(TfrmTraining& w)
    {
        w.show();
        QApplication::setActiveWindow(&w);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    }

    // The save dialog's next answer: path, chosen with the first filter ("Trainings").
    void AnswerSaveDialog(const std::string& path)
    {
        TFileDialogResult answer;
        answer.Accepted = true;
        answer.FileNames = {path};
        answer.FilterIndex = 1;
        Dialogs.FileAnswers.push_back(answer);
    }

    TReviewEnv Env;
    TTestRegistry Registry;
    TScriptedDialogs Dialogs;
    TDialogScope Scope{Dialogs};
};

TEST_F(TrainingWindowTest, OpenedFileShowsHeaderTotalsAndGrids)
{
    TTraining t = SampleSession();
    TfrmTraining w(Registry.Store, Registry.Open(t, 101));
    w.RefreshAll();

    EXPECT_EQ(w.windowTitle().toStdString(), "Intervals 4 x 1 min");
    EXPECT_EQ(Child<QLineEdit>(w, "edtTitle")->text().toStdString(), "Intervals 4 x 1 min");
    EXPECT_EQ(Child<QComboBox>(w, "cmbName")->currentText().toStdString(), "Eva Lindqvist");
    EXPECT_EQ(Child<QComboBox>(w, "cmbDescription")->currentText().toStdString(), "Steady state with intervals");
    EXPECT_EQ(Child<QComboBox>(w, "cmbType")->currentText().toStdString(), "Endurance");
    EXPECT_EQ(Child<QComboBox>(w, "cmbEvent")->currentText().toStdString(), "Winter series");
    EXPECT_EQ(Child<QPlainTextEdit>(w, "memNote")->toPlainText().toStdString(), "Synthesized for tests");
    EXPECT_EQ(Text(Child<QLabel>(w, "lblTFile")), "sample.stg");
    EXPECT_EQ(Text(Child<QLabel>(w, "lblTSize")), "58993 bytes");
    EXPECT_EQ(Text(Child<QLabel>(w, "lblTType")), "Training (STG)");
    EXPECT_NE(Text(Child<QLabel>(w, "lblTDateTime")), "-");
    EXPECT_EQ(Text(Child<QLabel>(w, "lblOFile")), "-");
    EXPECT_EQ(Text(Child<QLabel>(w, "lblODateTime")), "-");
    EXPECT_EQ(Text(Child<QLabel>(w, "lblInterface")), "VT Interface @ Vtw 9.0.0.1  ");
    EXPECT_EQ(Text(Child<QLabel>(w, "lblAddress")), "-");
    EXPECT_EQ(Text(Child<QLabel>(w, "lblIDStatus")), "101 / -");
    EXPECT_EQ(w.Record().ClientId, 101);
    EXPECT_EQ(Child<QTabWidget>(w, "pgcTraining")->currentWidget(), Child<QWidget>(w, "tshWorkout"));
    EXPECT_EQ(Child<QGroupBox>(w, "gbxTotals")->title().toStdString(), "Totals");

    const TTraining& s = w.Record();
    EXPECT_EQ(Text(Child<QLabel>(w, "lblDistance")), TotalValueTextWithUnit(s, 0));
    EXPECT_EQ(Text(Child<QLabel>(w, "lblDistance")), "2063 m");
    EXPECT_EQ(Text(Child<QLabel>(w, "lblTime")), TotalValueTextWithUnit(s, 1));
    EXPECT_EQ(Text(Child<QLabel>(w, "lblEnergy")), TotalValueTextWithUnit(s, 2));
    EXPECT_EQ(Text(Child<QLabel>(w, "lblStrokes")), "200");
    EXPECT_EQ(Text(Child<QLabel>(w, "lblPower")), TotalValueTextWithUnit(s, 3));
    EXPECT_EQ(Text(Child<QLabel>(w, "lbl500m")), TotalValueTextWithUnit(s, 5));
    EXPECT_EQ(Text(Child<QLabel>(w, "lblStrokerate")), TotalValueTextWithUnit(s, 6));

    // Workout: an interval workout of 4 x 1 min with 30 s rest.
    EXPECT_EQ(Child<QLineEdit>(w, "edtWeight")->text().toStdString(), "68");
    EXPECT_EQ(Child<QComboBox>(w, "cmbGender")->currentText().toStdString(), "Female");
    EXPECT_EQ(Child<QComboBox>(w, "cmbSessionLimit")->currentText().toStdString(), "Intervals");
    EXPECT_EQ(Child<QLineEdit>(w, "edtLimitValue")->text().toStdString(), "4");
    EXPECT_EQ(Child<QLineEdit>(w, "edtWorkPeriod")->text().toStdString(), "0:01:00");
    EXPECT_EQ(Child<QLineEdit>(w, "edtRestPeriod")->text().toStdString(), "0:00:30");
    EXPECT_TRUE(Child<QGroupBox>(w, "gbxIntervals")->isVisibleTo(&w));
    EXPECT_TRUE(Child<QLineEdit>(w, "edtWorkPeriod")->isVisibleTo(&w));
    EXPECT_FALSE(Child<QLineEdit>(w, "edtStartValue")->isVisibleTo(&w));
    // A recorded training is no user profile: its workout is not edited.
    EXPECT_FALSE(Child<QLineEdit>(w, "edtWeight")->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(w, "btnReset")->isEnabled());

    // Stroke data: the stroke id map's columns with the catalogue's texts.
    QTableView* g = Child<QTableView>(w, "sgdStrokeData");
    ASSERT_EQ(g->model()->rowCount(), 200);
    ASSERT_EQ(g->model()->columnCount(), int(StrokeIdMap().size()) + 1);
    EXPECT_EQ(Header(g, 2), StrokeShortCaption(1));
    EXPECT_EQ(Header(g, 2), "Power (W)");
    EXPECT_EQ(Cell(g, 0, 0), "   1");
    EXPECT_EQ(Cell(g, 0, 2), " 228");
    EXPECT_EQ(Cell(g, 0, 10), "01:55.3");
    for (int row : {0, 57, 199})
        for (int c = 1; c < g->model()->columnCount(); ++c)
            EXPECT_EQ(Cell(g, row, c),
                      StrokeValueText(s.Strokes[size_t(row + 1)], StrokeIdMap()[size_t(c - 1)], s.Settings))
                << row << "," << c;

    // Intervals.
    QTableView* iv = Child<QTableView>(w, "sgdIntervals");
    ASSERT_EQ(iv->model()->rowCount(), 4);
    EXPECT_EQ(Header(iv, 0), "#");
    EXPECT_EQ(Header(iv, 2), IntervalCaption(1));
    EXPECT_EQ(Cell(iv, 1, 0), "   2");
    EXPECT_EQ(Cell(iv, 0, 4), "01:00.0");
    for (int r = 0; r < 4; ++r)
        for (int c = 1; c < iv->model()->columnCount(); ++c)
            EXPECT_EQ(Cell(iv, r, c), IntervalValueText(s.Intervals[size_t(r)], IntervalIdMap()[size_t(c - 1)]));

    // Force curves: "#", "Used" and the sample positions of the big sprocket.
    QTableView* fc = Child<QTableView>(w, "sgdForceCurves");
    ASSERT_EQ(fc->model()->columnCount(), 82);
    ASSERT_EQ(fc->model()->rowCount(), 200);
    EXPECT_EQ(Header(fc, 1), "Used");
    EXPECT_EQ(Header(fc, 2), "2.2");
    EXPECT_EQ(Header(fc, 81), "176.0");
    EXPECT_EQ(Cell(fc, 0, 1), "+");
    EXPECT_EQ(Cell(fc, 0, 2), "  4");
    EXPECT_EQ(Cell(fc, 0, 3), FormatValue("%3.0f", s.Curves[1].Samples[1]));
    EXPECT_EQ(fc->columnWidth(40), 30);
    for (QTableView* v : {g, iv, fc}) {
        EXPECT_EQ(v->columnWidth(0), 30);
        EXPECT_FALSE(v->verticalHeader()->isVisible());
    }

    for (QTableView* v : {g, iv, fc, Child<QTableView>(w, "sgdSplits")}) QAbstractItemModelTester tester(v->model());
}

TEST_F(TrainingWindowTest, GridHeadersFitTheirColumnsAndSetWidthsStay)
{
    TTraining t = SampleSession();
    TfrmTraining w(Registry.Store, Registry.Open(t, 101));
    TAppearance look;
    look.Font = QFont("DejaVu Sans", 11);
    w.SetAppearance(look);
    Child<QTableView>(w, "sgdIntervals")->setColumnWidth(3, 41);  // a width the user chose
    w.RefreshAll();
    w.show();
    QApplication::processEvents();
    for (QTableView* v : {Child<QTableView>(w, "sgdStrokeData"), Child<QTableView>(w, "sgdIntervals"),
                          Child<QTableView>(w, "sgdSplits")}) {
        const QFontMetrics metrics(v->horizontalHeader()->font());
        for (int c = 1; c < v->model()->columnCount(); ++c) {
            if (v == Child<QTableView>(w, "sgdIntervals") && c == 3) continue;
            const QString header = v->model()->headerData(c, Qt::Horizontal).toString();
            EXPECT_LE(metrics.horizontalAdvance(header), v->columnWidth(c))
                << v->objectName().toStdString() << " " << header.toStdString();
        }
    }
    EXPECT_EQ(Child<QTableView>(w, "sgdIntervals")->columnWidth(3), 41);
    w.close();
}

TEST_F(TrainingWindowTest, SessionWithoutStrokesShowsOneEmptyRow)
{
    TTraining t = MakeRowedSession(0);
    t.Header.FileDate = 0;
    TfrmTraining w(Registry.Store, Registry.Open(t, 102));
    w.RefreshAll();
    for (QTableView* v : {Child<QTableView>(w, "sgdStrokeData"), Child<QTableView>(w, "sgdForceCurves"),
                          Child<QTableView>(w, "sgdIntervals")}) {
        ASSERT_EQ(v->model()->rowCount(), 1);
        for (int c = 0; c < v->model()->columnCount(); ++c) EXPECT_EQ(Cell(v, 0, c), "");
    }
    EXPECT_EQ(Child<QTableView>(w, "sgdSplits")->model()->rowCount(), 0);
    EXPECT_EQ(Child<QTableView>(w, "sgdSplits")->model()->columnCount(), kSplitParameterCount + 1);
    EXPECT_EQ(Text(Child<QLabel>(w, "lblTDateTime")), "-");
    EXPECT_EQ(Text(Child<QLabel>(w, "lblInterface")), "");
    EXPECT_EQ(Text(Child<QLabel>(w, "lblStrokes")), "0");
    EXPECT_FALSE(Child<QPushButton>(w, "btnReset")->isEnabled());
    EXPECT_FALSE(Child<QGroupBox>(w, "gbxIntervals")->isVisibleTo(&w));
    EXPECT_FALSE(Child<QLineEdit>(w, "edtWorkPeriod")->isVisibleTo(&w));
    EXPECT_FALSE(Child<QLabel>(w, "lblWorkPeriod")->isVisibleTo(&w));
}

TEST_F(TrainingWindowTest, DamagedValuesAreShownWithoutHarm)
{
    TTraining t = MakeRowedSession(3);
    t.Header.ContentKind = ckUser;
    t.Header.DateTime = std::nan("");
    t.Header.FileDate = 1e300;
    t.Header.FileSize = -7;
    t.Header.InterfaceType = 250;
    t.Header.Color = int32_t(0x80000000u | 200u);
    t.Settings.Gender = 200;
    t.Settings.BoatType = -3;
    t.Settings.LimitType = 77;
    t.Settings.IntervalBy = 9;
    TfrmTraining w(Registry.Store, Registry.Open(t, 123));
    w.RefreshAll();
    EXPECT_EQ(Child<QComboBox>(w, "cmbGender")->currentIndex(), -1);
    EXPECT_EQ(Child<QComboBox>(w, "cmbBoat")->currentIndex(), -1);
    EXPECT_EQ(Child<QComboBox>(w, "cmbSessionLimit")->currentIndex(), -1);
    EXPECT_EQ(Text(Child<QLabel>(w, "lblTDateTime")), "-");
    EXPECT_EQ(Text(Child<QLabel>(w, "lblTSize")), "-");
    EXPECT_FALSE(Child<QGroupBox>(w, "gbxIntervals")->isVisibleTo(&w));
    EXPECT_EQ(Child<QTableView>(w, "sgdStrokeData")->model()->rowCount(), 3);
    // Picking a date and a time gives a sound date again.
    Child<QDateEdit>(w, "dtpDate")->setDate(QDate(2026, 5, 1));
    Child<QTimeEdit>(w, "dtpTime")->setTime(QTime(7, 15, 0));
    EXPECT_NEAR(w.Record().Header.DateTime, EncodeDate(2026, 5, 1) + EncodeTime(7, 15, 0, 0), 1e-9);
    // The unknown limit type takes a number (after the reset question) and
    // stores nothing it cannot place.
    Dialogs.Answers.push_back(TMsgResult::Yes);
    Child<QLineEdit>(w, "edtLimitValue")->setText("12");
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, kResetQuestion);
    EXPECT_EQ(w.Record().StrokeCount(), 0);
    EXPECT_EQ(LimitValue(w.Record().Settings), 0);
}

TEST_F(TrainingWindowTest, LiveStrokesAppendRowsWithoutRebuilding)
{
    TTraining t = MakeRowedSession(0);
    TfrmTraining w(Registry.Store, Registry.Open(t, 103));
    w.RefreshAll();
    QAbstractItemModel* m = Child<QTableView>(w, "sgdStrokeData")->model();
    QAbstractItemModelTester tester(m, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy inserted(m, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(m, &QAbstractItemModel::modelReset);
    TTraining& live = *w.Training();
    for (int k = 1; k <= 30; ++k) {
        AppendStroke(live);
        w.RefreshStrokeData();
        w.RefreshForceCurves();
        ASSERT_EQ(m->rowCount(), k);
        EXPECT_EQ(Cell(Child<QTableView>(w, "sgdStrokeData"), k - 1, 0), FormatValue("%4.0f", float(k)));
        EXPECT_EQ(Cell(Child<QTableView>(w, "sgdStrokeData"), k - 1, 8),
                  StrokeValueText(live.Strokes[size_t(k)], 7, live.Settings));
    }
    EXPECT_EQ(inserted.count(), 29);  // the first stroke takes the empty row
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(Child<QTableView>(w, "sgdForceCurves")->model()->rowCount(), 30);

    // Resetting the session empties the grids again.
    live.Header.ContentKind = ckManual;
    Dialogs.Answers.push_back(TMsgResult::Yes);
    Child<QPushButton>(w, "btnReset")->click();
    EXPECT_EQ(m->rowCount(), 1);
    EXPECT_EQ(Cell(Child<QTableView>(w, "sgdStrokeData"), 0, 1), "");
    EXPECT_EQ(reset.count(), 1);
}

TEST_F(TrainingWindowTest, WeightOfARecordedSessionAsksBeforeResetting)
{
    TTraining t = MakeRowedSession(20);
    t.Header.ContentKind = ckManual;  // a user profile that was rowed with
    TfrmTraining w(Registry.Store, Registry.Open(t, 104));
    w.RefreshAll();
    QSignalSpy resets(&Registry.Store, &TSessionStore::SessionReset);
    ShowActive(w);
    ASSERT_TRUE(Child<QLineEdit>(w, "edtWeight")->isEnabled());

    // No: the session stays as it is and the field loses the focus.
    Dialogs.Answers.push_back(TMsgResult::No);
    Child<QLineEdit>(w, "edtWeight")->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, kResetQuestion);
    EXPECT_EQ(Dialogs.Messages[0].Kind, TMsgKind::Confirmation);
    EXPECT_FALSE(Child<QLineEdit>(w, "edtWeight")->hasFocus());
    EXPECT_EQ(w.Record().StrokeCount(), 20);
    EXPECT_EQ(w.Record().Settings.Weight, 80);
    EXPECT_TRUE(resets.isEmpty());

    // Typing without entering first (the focus came back otherwise): asked
    // again, refused, and the field shows the stored weight again.
    Dialogs.Answers.push_back(TMsgResult::No);
    Child<QLineEdit>(w, "edtWeight")->setText("75");
    EXPECT_EQ(Dialogs.Messages.size(), 2u);
    EXPECT_EQ(Child<QLineEdit>(w, "edtWeight")->text().toStdString(), "80");
    EXPECT_EQ(w.Record().Settings.Weight, 80);

    // Yes: the session is reset, the row window is told, the value is stored.
    Dialogs.Answers.push_back(TMsgResult::Yes);
    Child<QLineEdit>(w, "edtWeight")->setText("75");
    EXPECT_EQ(w.Record().StrokeCount(), 0);
    EXPECT_EQ(w.Record().Settings.Weight, 75);
    EXPECT_EQ(w.Record().Header.Modified, 1);
    EXPECT_EQ(resets.count(), 1);
    ASSERT_EQ(Registry.Resets.size(), 1u);
    EXPECT_EQ(Registry.Resets[0], 104);
    EXPECT_EQ(Child<QTableView>(w, "sgdStrokeData")->model()->rowCount(), 1);
    EXPECT_EQ(Child<QGroupBox>(w, "gbxUser")->title().toStdString(), "&User (*)");
    EXPECT_EQ(Child<QGroupBox>(w, "gbxTotals")->title().toStdString(), "Totals (*)");

    // The session is empty now: no more questions.
    Child<QLineEdit>(w, "edtWeight")->setText("76");
    EXPECT_EQ(Dialogs.Messages.size(), 3u);
    EXPECT_EQ(w.Record().Settings.Weight, 76);
}

TEST_F(TrainingWindowTest, WorkoutEditsOfAUserProfile)
{
    TTraining t = MakeRowedSession(0);
    t.Header.ContentKind = ckUser;
    TfrmTraining w(Registry.Store, Registry.Open(t, 105));
    w.RefreshAll();
    int changed = Registry.Changed;

    // Session limit "Time", then 1:30:00 as limit value.
    Child<QComboBox>(w, "cmbSessionLimit")->setCurrentIndex(3);
    EXPECT_EQ(w.Record().Settings.LimitType, 3);
    EXPECT_GT(Registry.Changed, changed);
    EXPECT_EQ(Child<QLineEdit>(w, "edtLimitValue")->text().toStdString(), "0:00:00");
    Child<QLineEdit>(w, "edtLimitValue")->setText("1:30:00");
    EXPECT_EQ(w.Record().Settings.LimitTime, 5400);
    w.WorkoutExit(Child<QLineEdit>(w, "edtLimitValue"));
    EXPECT_EQ(w.Record().Settings.LimitTime, 5400);

    // Intervals by strokes: the period controls appear; 70000 is kept at 65535.
    Child<QComboBox>(w, "cmbSessionLimit")->setCurrentIndex(4);
    EXPECT_TRUE(Child<QLineEdit>(w, "edtWorkPeriod")->isVisibleTo(&w));
    EXPECT_TRUE(Child<QGroupBox>(w, "gbxIntervals")->isVisibleTo(&w));
    Child<QComboBox>(w, "cmbIntervalBy")->setCurrentIndex(0);
    Child<QLineEdit>(w, "edtWorkPeriod")->setText("70000");
    EXPECT_EQ(w.Record().Settings.WorkStrokes, 65535);
    EXPECT_EQ(w.Record().Settings.WorkPeriod, 65535);
    Child<QLineEdit>(w, "edtRestPeriod")->setText("5");
    EXPECT_EQ(w.Record().Settings.RestStrokes, 5);

    // A number field holding other text is refused with the error box.
    Dialogs.Clear();
    Child<QLineEdit>(w, "edtWeight")->setText("heavy");
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Kind, TMsgKind::Error);
    EXPECT_EQ(Dialogs.Messages[0].Text, "'heavy' is not a valid integer value");
    EXPECT_EQ(w.Record().Settings.Weight, 80);
    // An emptied field is not applied while typing.
    Child<QLineEdit>(w, "edtWeight")->setText("");
    EXPECT_EQ(Dialogs.Messages.size(), 1u);

    // Gender, boat, sprocket and ergometer combos; the force-curve headers
    // follow the ergometer's sample spacing.
    Child<QComboBox>(w, "cmbGender")->setCurrentIndex(1);
    Child<QComboBox>(w, "cmbBoat")->setCurrentIndex(3);
    Child<QComboBox>(w, "cmbSprocket")->setCurrentIndex(0);
    EXPECT_EQ(w.Record().Settings.Gender, 1);
    EXPECT_EQ(w.Record().Settings.BoatType, 3);
    EXPECT_EQ(w.Record().Settings.Sprocket, 0);
    EXPECT_EQ(Header(Child<QTableView>(w, "sgdForceCurves"), 2), "2.0");
    Child<QComboBox>(w, "cmbErgometer")->setCurrentIndex(2);
    EXPECT_EQ(Header(Child<QTableView>(w, "sgdForceCurves"), 2), "4.5");
    EXPECT_EQ(w.Record().Header.Modified, 1);
}

TEST_F(TrainingWindowTest, RecordingFieldsAndRememberedNames)
{
    TTraining t = MakeRowedSession(5);
    TfrmTraining w(Registry.Store, Registry.Open(t, 106));
    w.RefreshAll();
    const int changed = Registry.Changed;
    Child<QLineEdit>(w, "edtTitle")->setText("Evening row");
    EXPECT_EQ(w.Record().Header.Title.Text(), "Evening row");
    EXPECT_EQ(w.windowTitle().toStdString(), "Evening row");
    EXPECT_EQ(w.Record().Header.Modified, 1);
    EXPECT_EQ(Child<QGroupBox>(w, "gbxRecording")->title().toStdString(), "&Recording (*)");
    EXPECT_GT(Registry.Changed, changed);

    Child<QPlainTextEdit>(w, "memNote")->setPlainText("Windy");
    EXPECT_EQ(w.Record().Header.Note.Text(), "Windy");
    Child<QPlainTextEdit>(w, "memNote")->setPlainText(QString(300, 'n'));
    EXPECT_EQ(w.Record().Header.Note.Text(), std::string(250, 'n'));
    EXPECT_EQ(Child<QPlainTextEdit>(w, "memNote")->toPlainText().size(), 250);

    // The date replaces the day and keeps the time; the time keeps the day.
    const double before = w.Record().Header.DateTime;
    Child<QDateEdit>(w, "dtpDate")->setDate(QDate(2026, 3, 14));
    EXPECT_DOUBLE_EQ(std::trunc(w.Record().Header.DateTime), EncodeDate(2026, 3, 14));
    EXPECT_NEAR(w.Record().Header.DateTime - std::trunc(w.Record().Header.DateTime), before - std::trunc(before), 1e-9);
    Child<QTimeEdit>(w, "dtpTime")->setTime(QTime(6, 30, 15));
    EXPECT_NEAR(w.Record().Header.DateTime, EncodeDate(2026, 3, 14) + EncodeTime(6, 30, 15, 0), 1e-9);

    // A name typed and left is remembered once.
    ShowActive(w);
    Child<QTabWidget>(w, "pgcTraining")->setCurrentWidget(Child<QWidget>(w, "tshGeneral"));
    Child<QComboBox>(w, "cmbName")->setFocus(Qt::TabFocusReason);
    Child<QComboBox>(w, "cmbName")->setEditText("Tom");
    EXPECT_EQ(w.Record().Header.Name.Text(), "Tom");
    Child<QLineEdit>(w, "edtTitle")->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(w.RememberedEntries("Name"), (std::vector<std::string>{"Tom"}));
    Child<QComboBox>(w, "cmbName")->setFocus(Qt::TabFocusReason);
    Child<QLineEdit>(w, "edtTitle")->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(w.RememberedEntries("Name"), (std::vector<std::string>{"Tom"}));

    // Without the main window's permission the fields are locked.
    Registry.Edit = false;
    w.RefreshAll();
    EXPECT_FALSE(Child<QLineEdit>(w, "edtTitle")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(w, "btnReset")->isEnabled());
}

TEST_F(TrainingWindowTest, ResetButton)
{
    TTraining t = MakeRowedSession(8);
    t.Header.FileName.SetText("/somewhere/row.stg");
    TfrmTraining w(Registry.Store, Registry.Open(t, 107));
    w.RefreshAll();
    Dialogs.Answers.push_back(TMsgResult::No);
    Child<QPushButton>(w, "btnReset")->click();
    EXPECT_EQ(Dialogs.LastText(),
              "Resetting the current training session will erase all recorded data.\rDo you wish to continue?");
    EXPECT_EQ(w.Record().StrokeCount(), 8);
    Dialogs.Answers.push_back(TMsgResult::Yes);
    Child<QPushButton>(w, "btnReset")->click();
    EXPECT_EQ(w.Record().StrokeCount(), 0);
    EXPECT_EQ(w.Record().Header.ContentKind, ckUser);
    EXPECT_EQ(w.Record().Header.FileName.Text(), "?");
    EXPECT_EQ(w.Record().Header.Title.Text(), "Morning row");
    EXPECT_EQ(Registry.Resets, (std::vector<int32_t>{107}));
    EXPECT_EQ(Text(Child<QLabel>(w, "lblStrokes")), "0");
    EXPECT_TRUE(Child<QLineEdit>(w, "edtWeight")->isEnabled());  // a user profile now
    EXPECT_FALSE(Child<QPushButton>(w, "btnReset")->isEnabled());
}

TEST_F(TrainingWindowTest, CopyModesPutTheGridOnTheClipboard)
{
    TTraining t = MakeRowedSession(3);
    TfrmTraining w(Registry.Store, Registry.Open(t, 108));
    w.RefreshAll();
    QTableView* g = Child<QTableView>(w, "sgdStrokeData");
    w.SetActiveGrid(g);
    const int cols = g->model()->columnCount();
    auto rowText = [&](int row, int firstCol) {
        std::string s;
        for (int c = firstCol; c < cols; ++c) {
            if (c > firstCol) s += "\t";
            s += Trim(Cell(g, row, c));
        }
        return s + "\r\n";
    };
    std::string header;
    for (int c = 0; c < cols; ++c) header += (c ? "\t" : "") + Header(g, c);
    header += "\r\n";

    w.CopyDataExecute(1);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), header + rowText(0, 0) + rowText(1, 0) + rowText(2, 0));
    w.CopyDataExecute(2);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), rowText(0, 1) + rowText(1, 1) + rowText(2, 1));
    g->setCurrentIndex(g->model()->index(1, 3));
    w.CopyDataData->trigger();
    w.CopyDataRow->trigger();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), rowText(1, 1));

    // A hidden column is left out of the copy.
    g->setColumnHidden(2, true);
    w.CopyDataExecute(3);
    std::string expected;
    for (int c = 1; c < cols; ++c) {
        if (c == 2) continue;
        if (!expected.empty()) expected += "\t";
        expected += Trim(Cell(g, 1, c));
    }
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), expected + "\r\n");
}

TEST_F(TrainingWindowTest, ClosingAsksOnlyWhenModified)
{
    TTraining t = MakeRowedSession(2);
    {
        TfrmTraining w(Registry.Store, Registry.Open(t, 109));
        w.RefreshAll();
        w.show();
        EXPECT_TRUE(w.close());
        EXPECT_TRUE(Dialogs.Messages.empty());
        EXPECT_EQ(Registry.Closed, (std::vector<int32_t>{109}));
        EXPECT_EQ(w.Record().RowStatus, rsDisconnected);
        EXPECT_TRUE(w.Closing());
    }
    TfrmTraining w(Registry.Store, Registry.Open(t, 110));
    w.RefreshAll();
    w.show();
    Child<QLineEdit>(w, "edtTitle")->setText("Changed");
    Dialogs.Answers.push_back(TMsgResult::Cancel);
    EXPECT_FALSE(w.close());
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, "Training session \"Changed\" is modified. Close anyway? ");
    EXPECT_EQ(Dialogs.Messages[0].Buttons, unsigned(mbOKCancel));
    EXPECT_EQ(Registry.Closed.size(), 1u);
    EXPECT_FALSE(w.Closing());
    Dialogs.Answers.push_back(TMsgResult::OK);
    EXPECT_TRUE(w.close());
    EXPECT_EQ(Registry.Closed, (std::vector<int32_t>{109, 110}));
}

TEST_F(TrainingWindowTest, NewWindowIsFilledBeforeItIsShown)
{
    TTraining t;
    NewTraining(t);
    TfrmTraining w(Registry.Store, Registry.Open(t, 133));
    auto* weight = w.findChild<QLineEdit*>("edtWeight");
    auto* limit = w.findChild<QLineEdit*>("edtLimitValue");
    ASSERT_TRUE(weight && limit);
    EXPECT_EQ(weight->text().toStdString(), std::to_string(t.Settings.Weight));
    EXPECT_EQ(limit->text().toStdString(), std::to_string(LimitValue(t.Settings)));
    // The first field gets and loses the focus while the window opens.
    QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(weight, &out);
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    EXPECT_EQ(w.Record().Settings.Weight, t.Settings.Weight);
}

TEST_F(TrainingWindowTest, ClosingARecordedUnsavedSessionOffersToSaveIt)
{
    TTraining t = MakeRowedSession(6);
    t.Live = 1;  // recorded from a device
    t.Header.Modified = 1;
    t.Header.Title.SetText("Rowed");
    auto* w = new TfrmTraining(Registry.Store, Registry.Open(t, 131));
    w->RefreshAll();
    w->show();
    // Cancel keeps the window; a Save whose file dialog is cancelled too.
    Dialogs.Answers = {TMsgResult::Cancel};
    EXPECT_FALSE(w->close());
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text,
              "Training session \"Rowed\" is modified and its recorded strokes are not saved.\r"
              "Save it before closing?");
    EXPECT_EQ(Dialogs.Messages[0].Buttons, unsigned(mbSaveDiscardCancel));
    Dialogs.Answers = {TMsgResult::Save};
    EXPECT_FALSE(w->close());
    EXPECT_EQ(Dialogs.FileRequests.size(), 1u);
    EXPECT_TRUE(Registry.Closed.empty());

    // Save: the normal save, then the window closes.
    const std::string file = Env.File("rowed.stg");
    TFileDialogResult answer;
    answer.Accepted = true;
    answer.FileNames = {file};
    Dialogs.FileAnswers = {answer};
    Dialogs.Answers = {TMsgResult::Save};
    EXPECT_TRUE(w->close());
    EXPECT_EQ(Registry.Closed, (std::vector<int32_t>{131}));
    TTraining back;
    ASSERT_TRUE(OpenTraining(file, back, false));
    EXPECT_EQ(back.StrokeCount(), 6);
    delete w;

    // Discard closes without saving.
    auto* d = new TfrmTraining(Registry.Store, Registry.Open(t, 132));
    d->show();
    Dialogs.Answers = {TMsgResult::Discard};
    const size_t requests = Dialogs.FileRequests.size();
    EXPECT_TRUE(d->close());
    EXPECT_EQ(Dialogs.FileRequests.size(), requests);
    delete d;
}

TEST_F(TrainingWindowTest, SettingsPersistColumnsPlacementAndLists)
{
    TTraining t = SampleSession();
    {
        TfrmTraining w(Registry.Store, Registry.Open(t, 111));
        w.LoadSettings(SettingsFile(false), 1);
        w.RefreshAll();
        w.show();
        Child<QTableView>(w, "sgdIntervals")->setColumnHidden(3, true);
        Child<QTableView>(w, "sgdIntervals")->setColumnWidth(2, 77);
        Child<QComboBox>(w, "cmbEvent")->addItem("Head race");
        Child<QComboBox>(w, "cmbEvent")->addItem("");
        Child<QComboBox>(w, "cmbEvent")->addItem("Sprint");
        Dialogs.Answers.push_back(TMsgResult::OK);  // the event text changed with the first entry
        EXPECT_TRUE(w.close());
    }
    const std::string file = SettingsFile(false);
    ASSERT_FALSE(file.empty());
    {
        TProfileFile ini(file);
        EXPECT_TRUE(ini.ValueExists("Training", "Left"));
        EXPECT_TRUE(ini.ValueExists("Training", "Height"));
        std::string widths = ini.ReadString("Training", "IntColumns", "");
        auto items = SplitString(widths, ' ');
        ASSERT_GE(items.size(), 3u);
        EXPECT_EQ(items[1], "77");
        EXPECT_EQ(items[2], "-1");
        EXPECT_EQ(ini.ReadString("Event", "0", ""), "Head race");
        EXPECT_FALSE(ini.ValueExists("Event", "1"));
        EXPECT_EQ(ini.ReadString("Event", "2", ""), "Sprint");
    }
    TfrmTraining again(Registry.Store, Registry.Open(t, 112));
    again.LoadSettings(file, 1);
    again.RefreshAll();
    EXPECT_TRUE(Child<QTableView>(again, "sgdIntervals")->isColumnHidden(3));
    EXPECT_EQ(Child<QTableView>(again, "sgdIntervals")->columnWidth(2), 77);
    EXPECT_EQ(again.RememberedEntries("Event"), (std::vector<std::string>{"Head race", "Sprint"}));
}

TEST_F(TrainingWindowTest, MaximisedWindowIsStoredAsFourMinusOnes)
{
    TTraining t = MakeRowedSession(1);
    {
        TfrmTraining w(Registry.Store, Registry.Open(t, 113));
        w.LoadSettings(SettingsFile(false), 3);
        EXPECT_TRUE(w.isMaximized());
        EXPECT_TRUE(w.close());
    }
    TProfileFile ini(SettingsFile(false));
    for (const char* key : {"Left", "Top", "Width", "Height"})
        EXPECT_EQ(ini.ReadInteger("Training", key, 0), -1) << key;
}

TEST_F(TrainingWindowTest, SaveAndSaveAs)
{
    TTraining t = SampleSession();
    t.Header.FileName.SetText(Env.File("saved/first.stg"));
    TfrmTraining w(Registry.Store, Registry.Open(t, 114));
    w.RefreshAll();
    Child<QLineEdit>(w, "edtTitle")->setText("Saved row");
    EXPECT_TRUE(w.CanSave());

    // Save: under the session's own name.
    w.FileSave();
    const std::string first = Env.File("saved/first.stg");
    EXPECT_TRUE(FileExists(first));
    EXPECT_EQ(Registry.Recent, (std::vector<std::string>{first}));
    EXPECT_EQ(Registry.FilesSaved, 1);
    EXPECT_EQ(Registry.Last, Env.File("saved/"));
    EXPECT_EQ(w.Record().Header.Modified, 0);
    EXPECT_FALSE(w.CanSave());
    EXPECT_EQ(Child<QGroupBox>(w, "gbxTotals")->title().toStdString(), "Totals");
    EXPECT_EQ(Text(Child<QLabel>(w, "lblTFile")), "first.stg");
    TTraining back;
    ASSERT_TRUE(OpenTraining(first, back, false));
    EXPECT_EQ(back.Header.Title.Text(), "Saved row");
    EXPECT_EQ(back.StrokeCount(), 200);

    // Save As: the export dialog asks, starting in the last folder.
    AnswerSaveDialog(Env.File("other/second.stg"));
    w.FileSaveAs();
    ASSERT_EQ(Dialogs.FileRequests.size(), 1u);
    EXPECT_EQ(Dialogs.FileRequests[0].Title, "Export training session");
    EXPECT_EQ(Dialogs.FileRequests[0].InitialDir, Env.File("saved/"));
    EXPECT_TRUE(FileExists(Env.File("other/second.stg")));
    EXPECT_EQ(Registry.FilesSaved, 2);
    EXPECT_EQ(Registry.Recent.back(), Env.File("other/second.stg"));
    EXPECT_EQ(Registry.Last, Env.File("other/"));

    // A cancelled dialog saves nothing, counts nothing and says nothing.
    Dialogs.Clear();
    w.FileSaveAs();
    EXPECT_EQ(Registry.FilesSaved, 2);
    EXPECT_EQ(Registry.Recent.size(), 2u);
    EXPECT_EQ(w.Record().Header.Modified, 0);
    EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(TrainingWindowTest, SessionResetAndRowedAgainIsSavedAsATrainingFile)
{
    TTraining t = SampleSession();
    t.Header.FileName.SetText(Env.File("first.stg"));
    TfrmTraining w(Registry.Store, Registry.Open(t, 121));
    w.RefreshAll();
    Dialogs.Answers.push_back(TMsgResult::Yes);
    Child<QPushButton>(w, "btnReset")->click();
    ASSERT_EQ(w.Record().Header.FileType, 0);
    ASSERT_EQ(w.Record().Header.FileName.Text(), "?");
    // Rowed again after the reset.
    for (int k = 0; k < 12; ++k) AppendStroke(*w.Training());
    ComputeTotals(*w.Training(), 12);
    w.RefreshAll();

    // Saved under a training-file name given by the caller.
    const std::string path = Env.File("again/reset.stg");
    Dialogs.Clear();
    ASSERT_TRUE(w.SaveAs(path));
    EXPECT_TRUE(Dialogs.Messages.empty());
    EXPECT_EQ(Registry.Recent, (std::vector<std::string>{path}));
    EXPECT_EQ(Registry.FilesSaved, 1);
    EXPECT_EQ(w.Record().Header.FileType, ftSTG);
    EXPECT_EQ(w.Record().Header.Modified, 0);
    EXPECT_EQ(Text(Child<QLabel>(w, "lblTFile")), "reset.stg");
    TTraining back;
    ASSERT_TRUE(OpenTraining(path, back, false));
    EXPECT_EQ(back.StrokeCount(), 12);
    EXPECT_EQ(back.Header.FileType, ftSTG);
    EXPECT_EQ(back.Header.Title.Text(), "Intervals 4 x 1 min");
    EXPECT_EQ(back.Settings.Weight, 68);
    EXPECT_FLOAT_EQ(back.Strokes[12].Distance, w.Record().Strokes[12].Distance);

    // The row window's own reset (kind "Row" again when it connects): the
    // main window's Save asks for a name, as for a session never saved.
    ResetTraining(*w.Training());
    w.Training()->Header.ContentKind = ckRow;
    for (int k = 0; k < 3; ++k) AppendStroke(*w.Training());
    AnswerSaveDialog(Env.File("again/row.stg"));
    w.FileSave();
    ASSERT_EQ(Dialogs.FileRequests.size(), 1u);
    EXPECT_EQ(Dialogs.FileRequests[0].FileName, "");  // no name is proposed
    ASSERT_TRUE(OpenTraining(Env.File("again/row.stg"), back, false));
    EXPECT_EQ(back.StrokeCount(), 3);
    EXPECT_EQ(back.Header.ContentKind, ckTraining);

    // And once more with a name: kind "Row" is saved as a training.
    ResetTraining(*w.Training());
    w.Training()->Header.ContentKind = ckRow;
    AppendStroke(*w.Training());
    ASSERT_TRUE(w.SaveAs(Env.File("again/row2.stg")));
    ASSERT_TRUE(OpenTraining(Env.File("again/row2.stg"), back, false));
    EXPECT_EQ(back.StrokeCount(), 1);
    EXPECT_EQ(back.Header.ContentKind, ckTraining);
    EXPECT_EQ(Registry.FilesSaved, 3);
}

TEST_F(TrainingWindowTest, SaveThatWritesNothingIsToldAndKeepsTheSession)
{
    TTraining t = MakeRowedSession(5);
    t.Header.FileName.SetText(Env.File("row.stg"));
    t.Header.Modified = 0;
    TfrmTraining w(Registry.Store, Registry.Open(t, 122));
    w.RefreshAll();

    // A session that came from no other file has nothing to export as ".ini".
    const std::string path = Env.File("export/row.ini");
    EXPECT_FALSE(w.SaveAs(path));
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Kind, TMsgKind::Error);
    EXPECT_EQ(Dialogs.Messages[0].Text,
              "Training session \"Morning row\" was not saved.\rA session of this kind "
              "cannot be written to \"" +
                  path + "\".");
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(Registry.FilesSaved, 0);
    EXPECT_TRUE(Registry.Recent.empty());
    EXPECT_EQ(w.Record().Header.FileName.Text(), Env.File("row.stg"));
    EXPECT_EQ(w.Record().Header.OriginalFileName.Text(), "");
    EXPECT_EQ(w.Record().Header.Modified, 1);
    EXPECT_EQ(Child<QGroupBox>(w, "gbxTraining")->title().toStdString(), "Training (*)");
    EXPECT_TRUE(w.CanSave());

    // Through the dialog: the training filter with a name of another type.
    AnswerSaveDialog(Env.File("export/row.txt"));
    EXPECT_FALSE(w.SaveAs(""));
    ASSERT_EQ(Dialogs.Messages.size(), 2u);
    EXPECT_EQ(Dialogs.Messages[1].Text,
              "Training session \"Morning row\" was not saved.\rA session of this kind "
              "cannot be written as the chosen file type.");
    EXPECT_FALSE(FileExists(Env.File("export/row.txt")));
    EXPECT_EQ(Registry.FilesSaved, 0);

    // The session's own name still saves it.
    w.FileSave();
    EXPECT_EQ(Registry.FilesSaved, 1);
    EXPECT_EQ(w.Record().Header.Modified, 0);
    EXPECT_EQ(Dialogs.Messages.size(), 2u);
}

TEST_F(TrainingWindowTest, FailedSaveOffersAPlaceWhereItCanBeSaved)
{
    TTraining t = MakeRowedSession(4);
    t.Header.Modified = 1;
    TfrmTraining w(Registry.Store, Registry.Open(t, 115));
    w.RefreshAll();
    // A folder where the file should go is a file: nothing can be written.
    {
        FILE* f = std::fopen(Env.File("blocked").c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    const std::string path = Env.File("blocked/row.stg");
    // Declined: nothing saved, the session stays modified. (The error box
    // takes the first answer, the question the second.)
    Dialogs.Answers = {TMsgResult::OK, TMsgResult::No};
    EXPECT_FALSE(w.SaveAs(path));
    ASSERT_EQ(Dialogs.Messages.size(), 2u);
    EXPECT_EQ(Dialogs.Messages[0].Kind, TMsgKind::Error);
    EXPECT_NE(Dialogs.Messages[0].Text.find("Not a directory (20)"), std::string::npos) << Dialogs.Messages[0].Text;
    EXPECT_EQ(Dialogs.Messages[1].Kind, TMsgKind::Confirmation);
    EXPECT_EQ(Dialogs.Messages[1].Text, FallbackQuestionText(path));
    EXPECT_EQ(Registry.FilesSaved, 0);
    EXPECT_TRUE(Registry.Recent.empty());
    EXPECT_EQ(w.Record().Header.Modified, 1);
    EXPECT_EQ(Child<QGroupBox>(w, "gbxTotals")->title().toStdString(), "Totals (*)");

    // Accepted: saved in the user data folder, which the message names.
    Dialogs.Clear();
    Dialogs.Answers = {TMsgResult::OK, TMsgResult::Yes};
    ASSERT_TRUE(w.SaveAs(path));
    const std::string saved = Env.UserFolder() + "row.stg";
    ASSERT_EQ(Dialogs.Messages.size(), 3u);
    EXPECT_EQ(Dialogs.Messages[2].Kind, TMsgKind::Information);
    EXPECT_EQ(Dialogs.Messages[2].Text, FallbackSavedText(path, saved));
    EXPECT_EQ(Registry.FilesSaved, 1);
    ASSERT_EQ(Registry.Recent.size(), 1u);
    EXPECT_EQ(Registry.Recent[0], saved);
    EXPECT_EQ(w.Record().Header.Modified, 0);
    EXPECT_EQ(w.Record().Header.FileName.Text(), saved);
    TTraining back;
    ASSERT_TRUE(OpenTraining(saved, back, false));
    EXPECT_EQ(back.StrokeCount(), 4);
}

TEST_F(TrainingWindowTest, RefusedComboChangeKeepsTheStoredValue)
{
    TTraining t = MakeRowedSession(6);
    t.Header.ContentKind = ckManual;
    TfrmTraining w(Registry.Store, Registry.Open(t, 116));
    w.RefreshAll();
    Dialogs.Answers.push_back(TMsgResult::No);
    Child<QComboBox>(w, "cmbBoat")->setCurrentIndex(3);
    EXPECT_EQ(Dialogs.LastText(), kResetQuestion);
    EXPECT_EQ(w.Record().Settings.BoatType, 0);
    EXPECT_EQ(Child<QComboBox>(w, "cmbBoat")->currentIndex(), 0);  // shows the stored boat again
    EXPECT_EQ(w.Record().StrokeCount(), 6);

    // Entering a combo box and refusing: its leave handling is skipped once.
    w.Training()->Settings.BoatType = 2;  // as if changed elsewhere
    Dialogs.Answers.push_back(TMsgResult::No);
    w.WorkoutEnter(Child<QComboBox>(w, "cmbBoat"));
    w.WorkoutExit(Child<QComboBox>(w, "cmbBoat"));
    EXPECT_EQ(w.Record().Settings.BoatType, 2);  // the combo's 0 was not applied
    EXPECT_EQ(w.Record().Header.Modified, 0);
    w.WorkoutExit(Child<QComboBox>(w, "cmbBoat"));  // a later leave applies as usual
    EXPECT_EQ(w.Record().Settings.BoatType, 0);
    EXPECT_EQ(w.Record().Header.Modified, 1);

    // Yes while changing the session limit: reset, then the new limit type.
    Dialogs.Answers.push_back(TMsgResult::Yes);
    w.Training()->Header.Modified = 0;
    AppendStroke(*w.Training());
    Child<QComboBox>(w, "cmbSessionLimit")->setCurrentIndex(0);
    EXPECT_EQ(w.Record().StrokeCount(), 0);
    EXPECT_EQ(w.Record().Settings.LimitType, 0);
    EXPECT_EQ(Child<QComboBox>(w, "cmbSessionLimit")->currentIndex(), 0);
}

TEST_F(TrainingWindowTest, SelectColumnsHidesAColumnAndItIsRemembered)
{
    TTraining t = SampleSession();
    {
        TfrmTraining w(Registry.Store, Registry.Open(t, 117));
        w.LoadSettings(SettingsFile(false), 1);
        w.RefreshAll();
        w.show();
        w.SetActiveGrid(Child<QTableView>(w, "sgdIntervals"));
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<TfrmSelectColumns*>(QApplication::activeModalWidget());
            if (!d) {
                if (QApplication::activeModalWidget()) QApplication::activeModalWidget()->close();
                return;
            }
            seen = true;
            EXPECT_EQ(d->clbColumns->count(), Child<QTableView>(w, "sgdIntervals")->model()->columnCount() - 1);
            EXPECT_EQ(d->clbColumns->item(1)->text().toStdString(), IntervalCaption(1));
            d->clbColumns->item(1)->setCheckState(Qt::Unchecked);  // grid column 2
            d->accept();
        });
        w.SelectColumns->trigger();
        ASSERT_TRUE(seen);
        EXPECT_TRUE(Child<QTableView>(w, "sgdIntervals")->isColumnHidden(2));
        w.CopyDataExecute(1);
        std::string copied = QApplication::clipboard()->text().toStdString();
        EXPECT_EQ(copied.find(IntervalCaption(1)), std::string::npos);
        EXPECT_NE(copied.find(IntervalCaption(2)), std::string::npos);
        EXPECT_TRUE(w.close());
    }
    TfrmTraining again(Registry.Store, Registry.Open(t, 118));
    again.LoadSettings(SettingsFile(false), 1);
    EXPECT_TRUE(Child<QTableView>(again, "sgdIntervals")->isColumnHidden(2));
    EXPECT_FALSE(Child<QTableView>(again, "sgdIntervals")->isColumnHidden(3));
}

TEST_F(TrainingWindowTest, ChartOptionsMarkTheSessionChanged)
{
    TTraining t = MakeRowedSession(3);
    t.Header.PenStyle = 0;
    t.Header.PenWidth = 3;
    TfrmTraining w(Registry.Store, Registry.Open(t, 119));
    w.RefreshAll();
    const int changed = Registry.Changed;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<TfrmChartOptions*>(QApplication::activeModalWidget());
        if (!d) {
            if (QApplication::activeModalWidget()) QApplication::activeModalWidget()->close();
            return;
        }
        EXPECT_TRUE(d->rbnSolid3->isChecked());
        d->rbnDot->setChecked(true);
        d->accept();
    });
    Child<QPushButton>(w, "btnOptions")->click();
    EXPECT_EQ(w.Record().Header.PenStyle, 2);
    EXPECT_EQ(w.Record().Header.PenWidth, 1);
    EXPECT_EQ(w.Record().Header.Modified, 1);
    EXPECT_GT(Registry.Changed, changed);
    EXPECT_EQ(Child<QGroupBox>(w, "gbxChart")->title().toStdString(), "Chart (*)");
}

}  // namespace
