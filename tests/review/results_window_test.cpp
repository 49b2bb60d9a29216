// The results window on an interval session from the test data and on a
// session without strokes, with its "Results" settings.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include "core/catalogue.h"
#include "core/intervals.h"
#include "core/values.h"
#include "files/training_io.h"
#include "logic/training_logic.h"
#include "review/results_window.h"
#include "review/training_window.h"
#include "tests/review/testutil_review.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/profile.h"
#include "util/text.h"

#include <algorithm>
#include "tests/support/child.h"
#include "tests/support/scripted_dialogs.h"

namespace {

std::string T(const QLineEdit* e) { return e->text().toStdString(); }
std::string T(const QLabel* l) { return l->text().toStdString(); }
std::string Cell(const QTableView* v, int row, int col)
{
    return v->model()->data(v->model()->index(row, col)).toString().toStdString();
}

// The text of a line edit shows whole inside its contents rectangle.
bool ShowsWhole(const QLineEdit* e)
{
    QStyleOptionFrame opt;
    opt.initFrom(e);
    opt.rect = e->rect();
    opt.lineWidth = e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, e);
    const QRect contents = e->style()->subElementRect(QStyle::SE_LineEditContents, &opt, e);
    return e->fontMetrics().horizontalAdvance(e->text()) <= contents.width() - 4;
}

class ResultsWindowTest : public ::testing::Test {
protected:
    void SetUp() override { TestApp(); }
    TReviewEnv Env;
    TTestRegistry Registry;
    TScriptedDialogs Dialogs;
    TDialogScope Scope{Dialogs};
};

TEST_F(ResultsWindowTest, IntervalSessionTotalsAveragesAndMaxima)
{
    TTraining t;
    ASSERT_TRUE(OpenTraining(TestDataFile("training/sample.stg"), t, false));
    TfrmResults r;
    r.ShowResults(t);
    EXPECT_EQ(r.windowTitle().toStdString(), "Results for Intervals 4 x 1 min");
    EXPECT_EQ(T(Child<QLineEdit>(r, "edtDistance")), "2063 m");
    EXPECT_EQ(T(Child<QLineEdit>(r, "edtTime")), TotalValueTextWithUnit(t, 1));
    EXPECT_EQ(T(Child<QLineEdit>(r, "edtEnergy")), TotalValueTextWithUnit(t, 2));
    EXPECT_EQ(T(Child<QLineEdit>(r, "edtStrokes")), "200");
    EXPECT_EQ(T(Child<QLineEdit>(r, "edtAvgPower")), TotalValueTextWithUnit(t, 3));
    EXPECT_EQ(T(Child<QLineEdit>(r, "edtAvg500m")), TotalValueTextWithUnit(t, 5));
    EXPECT_EQ(T(Child<QLineEdit>(r, "edtAvgStrokerate")), TotalValueTextWithUnit(t, 6));

    // Maxima over the strokes, computed here independently.
    float maxPower = 0, min500 = 1e30f, maxRate = 0, maxRatio = 0, sumRatio = 0;
    for (int k = 1; k <= t.StrokeCount(); ++k) {
        const TStgStrokeData& s = t.Strokes[size_t(k)];
        maxPower = std::max(maxPower, s.Power);
        min500 = std::min(min500, s.Time500 / 86400.0f);
        maxRate = std::max(maxRate, s.StrokeRate);
        maxRatio = std::max(maxRatio, s.RecoverRatio);
        sumRatio += s.RecoverRatio;
    }
    EXPECT_EQ(T(Child<QLineEdit>(r, "edtMaxPower")), Trim(FormatValue("%4.0f", maxPower) + " W"));
    EXPECT_EQ(T(Child<QLineEdit>(r, "edtMax500m")), FormatValue("Tnn:ss.0", min500) + " m:s");
    EXPECT_EQ(T(Child<QLineEdit>(r, "edtMaxStrokerate")), FormatValue("%2.1f", maxRate) + " /min");
    EXPECT_EQ(T(Child<QLineEdit>(r, "edtMaxDriveRecover")), FormatValue("%1.2f", maxRatio));
    EXPECT_EQ(T(Child<QLineEdit>(r, "edtAvgDriveRecover")), FormatValue("%1.2f", sumRatio / float(t.StrokeCount())));

    // The hidden intervals grid is filled as the training window's.
    EXPECT_FALSE(Child<QGroupBox>(r, "gbxIntervals")->isVisibleTo(&r));
    EXPECT_FALSE(Child<QGroupBox>(r, "gbxSplits")->isVisibleTo(&r));
    ASSERT_EQ(Child<QTableView>(r, "sgdIntervals")->model()->rowCount(), 4);
    EXPECT_EQ(Child<QTableView>(r, "sgdIntervals")->model()->headerData(0, Qt::Horizontal).toString().toStdString(),
              "#");
    EXPECT_EQ(Cell(Child<QTableView>(r, "sgdIntervals"), 3, 0), "   4");
    for (int c = 1; c < Child<QTableView>(r, "sgdIntervals")->model()->columnCount(); ++c)
        EXPECT_EQ(Cell(Child<QTableView>(r, "sgdIntervals"), 2, c),
                  IntervalValueText(t.Intervals[2], IntervalIdMap()[size_t(c - 1)]));
    QAbstractItemModelTester tester(Child<QTableView>(r, "sgdIntervals")->model());

    // Its own copy: changing the caller's session changes nothing shown.
    t.Strokes[1].Power = 9999;
    EXPECT_NE(T(Child<QLineEdit>(r, "edtMaxPower")), "9999 W");
    EXPECT_NE(r.Training().Strokes[1].Power, 9999.0f);
}

TEST_F(ResultsWindowTest, SessionWithoutStrokes)
{
    TTraining t = MakeRowedSession(0);
    t.Header.Title.SetText("Empty");
    t.Header.Name.SetText("Not the caption");
    TfrmResults r;
    r.ShowResults(t);
    EXPECT_EQ(r.windowTitle().toStdString(), "Results for Empty");
    EXPECT_EQ(T(Child<QLineEdit>(r, "edtMaxPower")), "0 W");
    EXPECT_EQ(T(Child<QLineEdit>(r, "edtMaxStrokerate")), "0.0 /min");
    EXPECT_EQ(T(Child<QLineEdit>(r, "edtMaxDriveRecover")), "0.00");
    EXPECT_EQ(T(Child<QLineEdit>(r, "edtAvgDriveRecover")), "0.00");
    EXPECT_EQ(T(Child<QLineEdit>(r, "edtStrokes")), "0");
    ASSERT_EQ(Child<QTableView>(r, "sgdIntervals")->model()->rowCount(), 1);
    EXPECT_EQ(Cell(Child<QTableView>(r, "sgdIntervals"), 0, 1), "");
}

TEST_F(ResultsWindowTest, EveryFigureAndTheCaptionShowWhole)
{
    // A long session: five-digit distance, minutes of time, rates with decimals.
    TTraining t;
    ASSERT_TRUE(OpenTraining(TestDataFile("training/sample.stg"), t, false));
    t.Header.Title.SetText("Long session of a rower with a long name");
    t.Totals.Distance = 16011;
    t.Totals.Time = 5388.3f;
    t.Totals.Energy = 1294;
    TfrmResults r;
    r.ShowResults(t);
    r.show();
    QApplication::processEvents();
    const auto fields = r.findChildren<QLineEdit*>();
    ASSERT_EQ(fields.size(), 12);
    for (const QLineEdit* e : fields) {
        if (!e->isVisibleTo(&r)) continue;
        EXPECT_TRUE(ShowsWhole(e)) << e->objectName().toStdString() << " \"" << e->text().toStdString() << "\" in "
                                   << e->width() << " px";
    }
    EXPECT_GE(r.width(), r.fontMetrics().horizontalAdvance(r.windowTitle()));
    // Shown again with shorter figures, still whole (the window keeps its fit).
    r.hide();
    r.ShowResults(MakeRowedSession(2));
    r.show();
    QApplication::processEvents();
    for (const QLineEdit* e : r.findChildren<QLineEdit*>()) EXPECT_TRUE(ShowsWhole(e));
}

TEST_F(ResultsWindowTest, ShownLabelsSplitsAndSettings)
{
    // Remembered: distance splits at a position beyond the list.
    std::string file = SettingsFile(true);
    ASSERT_FALSE(file.empty());
    {
        TProfileFile ini(file);
        ini.WriteInteger("Results", "SplitType", 1);
        ini.WriteInteger("Results", "SplitDistance", 9);
        ini.WriteInteger("Results", "SplitTime", 4);
        ini.WriteString("Results", "SplitColumns", "40 -1 ");
        ini.UpdateFile();
    }
    TTraining t = MakeRowedSession(6);
    TfrmResults r;
    r.ShowResults(t);
    r.show();
    EXPECT_EQ(T(Child<QLabel>(r, "lblDistance")), "Distance");
    EXPECT_EQ(T(Child<QLabel>(r, "lblStrokes")), "Strokes");
    EXPECT_EQ(T(Child<QLabel>(r, "lblAvgPower")), "Avg. power");
    EXPECT_EQ(T(Child<QLabel>(r, "lblMaxPower")), "Power");
    EXPECT_EQ(T(Child<QLabel>(r, "lblMax500m")), "Est. 500m time");
    EXPECT_EQ(T(Child<QLabel>(r, "lblMaxStrokerate")), "Stroke rate");
    EXPECT_EQ(T(Child<QLabel>(r, "lblAvgDriveRecover")), "DR ratio");
    EXPECT_EQ(T(Child<QLabel>(r, "lblMaxDriveRecover")), "DR ratio");
    EXPECT_FALSE(Child<QPushButton>(r, "btbCancel")->isVisibleTo(&r));

    EXPECT_TRUE(Child<QRadioButton>(r, "rbtDistance")->isChecked());
    ASSERT_EQ(Child<QComboBox>(r, "cmbSplits")->count(), 5);
    EXPECT_EQ(Child<QComboBox>(r, "cmbSplits")->itemText(0).toStdString(), "50 meter");
    EXPECT_EQ(Child<QComboBox>(r, "cmbSplits")->currentIndex(), 2);
    EXPECT_EQ(Child<QTableView>(r, "sgdSplits")->model()->rowCount(), 0);
    EXPECT_EQ(Child<QTableView>(r, "sgdSplits")->model()->headerData(1, Qt::Horizontal).toString().toStdString(),
              SplitCaption(0));
    EXPECT_EQ(Child<QTableView>(r, "sgdSplits")->columnWidth(1), 40);
    EXPECT_TRUE(Child<QTableView>(r, "sgdSplits")->isColumnHidden(2));

    // Choosing a preset remembers it for its split type only.
    Child<QComboBox>(r, "cmbSplits")->setCurrentIndex(4);
    Child<QRadioButton>(r, "rbtTime")->setChecked(true);
    EXPECT_EQ(Child<QComboBox>(r, "cmbSplits")->count(), 6);
    EXPECT_EQ(Child<QComboBox>(r, "cmbSplits")->currentIndex(), 4);
    EXPECT_EQ(Child<QComboBox>(r, "cmbSplits")->currentText().toStdString(), "4:00 m:s");
    r.accept();

    TProfileFile ini(file);
    ini.Reload();
    EXPECT_EQ(ini.ReadInteger("Results", "SplitType", -1), 2);
    EXPECT_EQ(ini.ReadInteger("Results", "SplitDistance", -1), 4);
    EXPECT_EQ(ini.ReadInteger("Results", "SplitStrokes", -1), 0);
    EXPECT_EQ(ini.ReadInteger("Results", "SplitCustom", -1), 100);
    EXPECT_EQ(ini.ReadInteger("Results", "SplitFactor", -1), 4);
    EXPECT_EQ(ini.ReadString("Results", "SplitColumns", "").substr(0, 6), "40 -1 ");
    EXPECT_FALSE(ini.ReadString("Results", "IntColumns", "").empty());
}

TEST_F(ResultsWindowTest, TotalsLabelsOpenTheOneSharedResultsWindow)
{
    TfrmResults shared;
    SetResultsWindow(&shared);
    TTraining t = MakeRowedSession(4);
    t.Header.Title.SetText("Clicked");
    TfrmTraining w(Registry.Store, Registry.Open(t, 120));
    w.RefreshAll();
    w.show();
    std::vector<QWidget*> shown;
    std::string caption, distance;
    auto answer = [&] {
        QWidget* m = QApplication::activeModalWidget();
        shown.push_back(m);
        auto* r = qobject_cast<TfrmResults*>(m);
        if (!r) {
            if (m) m->close();
            return;
        }
        caption = r->windowTitle().toStdString();
        distance = Child<QLineEdit>(r, "edtDistance")->text().toStdString();
        r->accept();
    };
    QTimer::singleShot(0, answer);
    QTest::mouseClick(Child<QLabel>(w, "lblDistance"), Qt::LeftButton);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], &shared);
    EXPECT_EQ(caption, "Results for Clicked");
    EXPECT_EQ(distance, TotalValueTextWithUnit(t, 0));

    // More strokes, then an averages label: the same window with the new figures.
    for (int k = 0; k < 6; ++k) AppendStroke(*w.Training());
    ComputeTotals(*w.Training(), 10);
    w.RefreshAll();
    QTimer::singleShot(0, answer);
    QTest::mouseClick(Child<QLabel>(w, "lblDRRatio"), Qt::LeftButton);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1], &shared);
    EXPECT_EQ(distance, TotalValueTextWithUnit(w.Record(), 0));
    EXPECT_NE(distance, TotalValueTextWithUnit(t, 0));
    // The window works on its own copy of the session.
    EXPECT_NE(&shared.Training(), &w.Record());
    EXPECT_EQ(shared.Training().StrokeCount(), 10);
    SetResultsWindow(nullptr);
}

// The main window as a widget holding its results window as a child.
class TMainWithResults : public QWidget, public TTestRegistry {
public:
    TfrmResults* Results = new TfrmResults(this);
};

TEST_F(ResultsWindowTest, WithoutAGivenWindowTheMainWindowsResultsWindowIsUsed)
{
    TTraining t = MakeRowedSession(2);
    QWidget* first = nullptr;
    QWidget* second = nullptr;
    {
        TMainWithResults main;
        QTimer::singleShot(0, [&] {
            first = QApplication::activeModalWidget();
            if (first) first->close();
        });
        ShowResultsModal(t);
        EXPECT_EQ(first, main.Results);
    }
    // Without a main window one results window is made and reused.
    SetMainRegistry(nullptr);
    QTimer::singleShot(0, [&] {
        first = QApplication::activeModalWidget();
        if (first) first->close();
    });
    ShowResultsModal(t);
    QTimer::singleShot(0, [&] {
        second = QApplication::activeModalWidget();
        if (second) second->close();
    });
    ShowResultsModal(t);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, &ResultsWindow());
    FreeResultsWindow();
}

TEST_F(ResultsWindowTest, SessionEndingWhileTheResultsAreOpenGetsAWindowOfItsOwn)
{
    TfrmResults shared;
    SetResultsWindow(&shared);
    TTraining read = MakeRowedSession(2);
    read.Header.Title.SetText("Read");
    TTraining finished = MakeRowedSession(9);
    finished.Header.Title.SetText("Finished");
    std::string innerCaption;
    QWidget* inner = nullptr;
    QTimer::singleShot(0, [&] {
        // The user reads "Read" when "Finished" reaches its limit.
        QTimer::singleShot(0, [&] {
            inner = QApplication::activeModalWidget();
            if (!inner) return;
            innerCaption = inner->windowTitle().toStdString();
            inner->close();
        });
        ShowResultsModal(finished);
        if (QApplication::activeModalWidget()) QApplication::activeModalWidget()->close();
    });
    ShowResultsModal(read);
    ASSERT_NE(inner, nullptr);
    EXPECT_NE(inner, &shared);
    EXPECT_EQ(innerCaption, "Results for Finished");
    // The shared window kept the session it was showing.
    EXPECT_EQ(shared.windowTitle().toStdString(), "Results for Read");
    EXPECT_EQ(shared.Training().StrokeCount(), 2);
    SetResultsWindow(nullptr);
}

TEST_F(ResultsWindowTest, CopyOfTheIntervalsGrid)
{
    TTraining t;
    ASSERT_TRUE(OpenTraining(TestDataFile("training/sample.stg"), t, false));
    TfrmResults r;
    r.ShowResults(t);
    r.CopyDataExecute(2);
    std::string text = QApplication::clipboard()->text().toStdString();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
    EXPECT_EQ(text.substr(0, text.find('\t')), Trim(IntervalValueText(t.Intervals[0], IntervalIdMap()[0])));
}

}  // namespace
