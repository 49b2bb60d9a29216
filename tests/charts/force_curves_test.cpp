// The force curves window: browsing, Shift for every session, deleting a
// curve, playing, fixed force and length, the four average records, closing
// and the stroke-file export read back through the file layer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cmath>

#include "charts/force_curves_window.h"
#include "core/catalogue.h"
#include "core/series.h"
#include "core/values.h"
#include "files/stroke_file.h"
#include "framework/window_util.h"
#include "logic/curve_logic.h"
#include "tests/charts/testutil_charts.h"
#include "tests/support/child.h"
#include "tests/support/scripted_dialogs.h"
#include "util/dialogs.h"
#include "util/profile.h"

namespace {

class ForceCurvesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp();
        BuildCatalogues();
    }
    TfrmForceCurves* Open()
    {
        auto* w = CreateForceCurvesWindow(nullptr, Registry.Store, Env.Settings());
        w->setAttribute(Qt::WA_DeleteOnClose);
        Window = w;
        return w;
    }
    void TearDown() override { delete Window.data(); }
    // Grid column of a stroke parameter.
    static int Column(int parameter) { return StrokeParameters()[size_t(parameter)].Id + 1; }
    // Highest point of the curve series in the session colour (as drawn on
    // the chart's background).
    double PeakOf(TfrmForceCurves* w, int32_t color)
    {
        double peak = -1;
        const QColor drawn = ToQColor(ReadableColor(color, FromQColor(w->Chart->backgroundBrush().color())));
        for (QAbstractSeries* s : w->Chart->series()) {
            auto* line = static_cast<QLineSeries*>(s);
            if (line->pen().color() != drawn) continue;
            for (const QPointF& p : line->points()) peak = std::max(peak, p.y());
        }
        return peak;
    }
    TChartEnv Env;
    TChartRegistry Registry;
    QPointer<TfrmForceCurves> Window;
};

TEST_F(ForceCurvesTest, CreationSetsUpTheAverageRecordsAndTheList)
{
    Registry.Add(MakeSession(10, "One", 0x0000FF));
    Registry.Store.Average(0).Header.Active = 1;  // left over from an earlier window
    TfrmForceCurves* w = Open();
    EXPECT_EQ(w->windowTitle(), "Force Curves");
    ASSERT_EQ(w->ListCount(), 5);
    EXPECT_EQ(w->SelectedEntry(), 0);
    EXPECT_EQ(Registry.Store.Average(0).Header.Title.Text(), "*Avg. 1 active curves");
    EXPECT_EQ(Registry.Store.Average(3).Header.Title.Text(), "*Avg. 4 all curves in all trainings");
    EXPECT_EQ(Registry.Store.Average(2).Header.Color, 0x00FFFF);
    EXPECT_EQ(Registry.Store.Average(1).Header.OriginalFileName.Text(), "Average[2]");
    for (int k = 0; k < 4; ++k) {
        const TTraining& a = Registry.Store.Average(k);
        EXPECT_EQ(a.Header.Active, 0);
        EXPECT_EQ(a.Header.CurveSource, 1);
        EXPECT_EQ(a.StrokeCount(), 1);
    }
    EXPECT_FALSE(w->EntryChecked(1));
    EXPECT_EQ(w->clbTrainings->item(4)->text(), "*Avg. 4 all curves in all trainings");
    EXPECT_TRUE(w->SquareChart());
    EXPECT_TRUE(Child<QWidget>(w, "pnlBrowseIntervals")->isHidden());
    EXPECT_TRUE(Child<QCheckBox>(w, "cbxShowAll")->isHidden());
    EXPECT_EQ(Child<QTimer>(w, "tmrPlay")->interval(), 500);
    EXPECT_EQ(w->DataModel->Cell(0, 0), "One (1/10)");
}

TEST_F(ForceCurvesTest, LabelsFollowTheCurveSourceAndRowsTheFont)
{
    TTraining& t = Registry.Add(MakeSession(7, "Label", 0x0000FF));
    TfrmForceCurves* w = Open();
    t.Header.SelectedStroke = 3;
    EXPECT_EQ(w->TrainingLabel(0), "Label (3/7)");
    t.Header.CurveSource = 1;
    EXPECT_EQ(w->TrainingLabel(0), "Label [A] (7)");
    t.Header.CurveSource = 2;
    t.Header.CurveInterval = 2;
    EXPECT_EQ(w->TrainingLabel(0), "Label [Int 3]");
    // Font size 9: rows 18 pixels, the header row 22 (2.5 times, half to even), column 0 120 pixels.
    EXPECT_EQ(Child<QTableView>(w, "sgdData")->verticalHeader()->defaultSectionSize(), 18);
    EXPECT_EQ(Child<QTableView>(w, "sgdData")->horizontalHeader()->height(), 22);
    EXPECT_EQ(Child<QTableView>(w, "sgdData")->columnWidth(0), 120);
}

TEST_F(ForceCurvesTest, ASessionFromAMachineWithoutForceMeasurementSaysSo)
{
    Registry.Add(MakeSession(10, "Serial", 0xFF0000));
    TTraining t = MakeSession(10, "Bluetooth", 0x0000FF);
    t.Header.InterfaceType = kFtmsInterfaceType;
    for (int k = 1; k <= 10; ++k) t.Curves[size_t(k)].HasData = 0;
    TTraining& ftms = Registry.Add(t);
    TfrmForceCurves* w = Open();
    w->resize(900, 600);
    w->show();
    w->DrawChart();
    EXPECT_TRUE(Child<QLabel>(w, "lblNoForceCurve")->isVisibleTo(w));
    const std::string note = Child<QLabel>(w, "lblNoForceCurve")->text().toStdString();
    EXPECT_NE(note.find("\"Bluetooth\": the rowing machine sends no force curve"), std::string::npos) << note;
    EXPECT_EQ(note.find("Serial"), std::string::npos);
    // Within the chart, not cut off at its edges.
    const QRect r = Child<QLabel>(w, "lblNoForceCurve")->geometry();
    EXPECT_GE(r.left(), 0);
    EXPECT_LE(r.right(), w->ChartView->width());
    // Only active sessions are drawn, and only they speak.
    ftms.Header.Active = 0;
    w->DrawChart();
    EXPECT_FALSE(Child<QLabel>(w, "lblNoForceCurve")->isVisibleTo(w));
    // A session of the same type that does carry curves (edited elsewhere) needs no note.
    ftms.Header.Active = 1;
    ftms.Curves[3].HasData = 1;
    w->DrawChart();
    EXPECT_FALSE(Child<QLabel>(w, "lblNoForceCurve")->isVisibleTo(w));
}

TEST_F(ForceCurvesTest, SessionAverageIsDisabledForASingleStrokeShowingItsFirstCurve)
{
    Registry.Add(MakeSession(1, "Single", 0x0000FF));
    TfrmForceCurves* w = Open();
    EXPECT_FALSE(Child<QRadioButton>(w, "rbtBrowseAverage")->isEnabled());
    EXPECT_TRUE(Child<QRadioButton>(w, "rbtBrowseCurves")->isEnabled());
    EXPECT_TRUE(Child<QRadioButton>(w, "rbtBrowseCurves")->isChecked());
    EXPECT_FALSE(Child<QToolButton>(w, "btbDelete")->isEnabled());
    EXPECT_EQ(w->DataModel->Cell(0, 0), "Single");
    // Selecting an average entry makes "Session average" the only choice there.
    w->SelectEntry(1);
    w->SetEntryChecked(1, true);
    EXPECT_TRUE(Child<QRadioButton>(w, "rbtBrowseAverage")->isEnabled());
    EXPECT_FALSE(Child<QRadioButton>(w, "rbtBrowseCurves")->isEnabled());
}

TEST_F(ForceCurvesTest, AMouseClickOnAnEntrySelectsItsRecordForBrowsing)
{
    Registry.Add(MakeSession(5, "One", 0x0000FF));
    TfrmForceCurves* w = Open();
    w->show();
    QApplication::processEvents();
    ASSERT_TRUE(Child<QRadioButton>(w, "rbtBrowseCurves")->isEnabled());
    const QRect entry = w->clbTrainings->visualItemRect(w->clbTrainings->item(2));
    QTest::mouseClick(w->clbTrainings->viewport(), Qt::LeftButton, {}, entry.center());
    QApplication::processEvents();
    EXPECT_EQ(w->SelectedEntry(), 2);
    EXPECT_FALSE(Child<QRadioButton>(w, "rbtBrowseCurves")->isEnabled());  // an average record
    EXPECT_FALSE(Child<QToolButton>(w, "btbNext")->isEnabled());
}

TEST_F(ForceCurvesTest, NextSkipsCurvesWithoutDataAndLastDoesNot)
{
    TTraining& t = Registry.Add(MakeSession(6, "One", 0x0000FF));
    t.Curves[2].HasData = 0;
    t.Curves[3].HasData = 0;
    t.Curves[6].HasData = 0;
    TfrmForceCurves* w = Open();
    w->Browse(baNext, false);
    EXPECT_EQ(t.Header.SelectedStroke, 4);
    w->Browse(baPrevious, false);
    EXPECT_EQ(t.Header.SelectedStroke, 1);
    w->Browse(baLast, false);
    EXPECT_EQ(t.Header.SelectedStroke, 6);
    EXPECT_FALSE(Child<QToolButton>(w, "btbNext")->isEnabled());
    EXPECT_TRUE(Child<QToolButton>(w, "btbFirst")->isEnabled());
    w->Browse(baPrevious, false);
    EXPECT_EQ(t.Header.SelectedStroke, 5);
    w->Browse(baFirst, false);
    EXPECT_EQ(t.Header.SelectedStroke, 1);
    EXPECT_FALSE(Child<QToolButton>(w, "btbPrevious")->isEnabled());
    EXPECT_EQ(w->DataModel->Cell(0, 0), "One (1/6)");
}

TEST_F(ForceCurvesTest, CurveBoxAndScrollBarSelectTheLastStrokeAndTheGridShowsIt)
{
    TTraining& t = Registry.Add(MakeSession(12, "One", 0x0000FF));
    TfrmForceCurves* w = Open();
    w->metCurve->setText(" 12 ");
    w->metCurveExit();
    EXPECT_EQ(t.Header.SelectedStroke, 12);
    EXPECT_EQ(w->DataModel->Cell(0, Column(spPower)), StrokeValueText(t.Strokes[12], spPower, t.Settings));
    EXPECT_EQ(w->DataModel->Cell(0, Column(spPeakForce)),
              FormatValue(ParameterFormat(spPeakForce), t.Strokes[12].PeakForce));
    EXPECT_EQ(w->sbrCurves->value(), 12);
    EXPECT_EQ(w->sbrCurves->maximum(), 12);
    // Out of range and empty leave the selection.
    w->metCurve->setText("13");
    w->metCurveExit();
    EXPECT_EQ(t.Header.SelectedStroke, 12);
    w->metCurve->setText("");
    w->metCurveExit();
    EXPECT_EQ(t.Header.SelectedStroke, 12);
    EXPECT_EQ(w->metCurve->text(), "12");
    w->sbrCurves->setValue(3);
    EXPECT_EQ(t.Header.SelectedStroke, 3);
    w->sbrCurves->setValue(w->sbrCurves->maximum());
    EXPECT_EQ(t.Header.SelectedStroke, 12);
}

TEST_F(ForceCurvesTest, ShiftAppliesTheBrowseActionToEverySession)
{
    // Added last first: the store lists the session opened last at index 0.
    TTraining& b = Registry.Add(MakeSession(8, "B", 0x00FF00));
    TTraining& a = Registry.Add(MakeSession(5, "A", 0x0000FF));
    TfrmForceCurves* w = Open();
    w->Browse(baNext, true);
    EXPECT_EQ(a.Header.SelectedStroke, 2);
    EXPECT_EQ(b.Header.SelectedStroke, 2);
    w->Browse(baNext, false);  // the selected record only
    EXPECT_EQ(a.Header.SelectedStroke, 3);
    EXPECT_EQ(b.Header.SelectedStroke, 2);
    w->Browse(baLast, true);
    EXPECT_EQ(a.Header.SelectedStroke, 5);
    EXPECT_EQ(b.Header.SelectedStroke, 8);
    w->Browse(baBrowseAverage, true);
    EXPECT_EQ(a.Header.CurveSource, 1);
    EXPECT_EQ(b.Header.CurveSource, 1);
    EXPECT_EQ(Registry.Store.Average(0).Header.CurveSource, 1);
    EXPECT_FALSE(Child<QToolButton>(w, "btbNext")->isEnabled());
    EXPECT_EQ(w->DataModel->Cell(1, 0), "B [A] (8)");
}

TEST_F(ForceCurvesTest, DeletingTheShownCurveMovesBackAndChangesTheSessionAverage)
{
    TTraining& t = Registry.Add(MakeSession(6, "One", 0x0000FF));
    t.Curves[4].HasData = 0;
    UpdateAverageStroke(t);
    TfrmForceCurves* w = Open();
    w->Browse(baLast, false);
    const TStgForceCurve before = t.Curves[0];
    w->btbDeleteClick();
    EXPECT_EQ(t.Curves[6].HasData, 0);
    EXPECT_EQ(t.Header.SelectedStroke, 5);
    EXPECT_FALSE(std::equal(std::begin(before.Samples), std::end(before.Samples), std::begin(t.Curves[0].Samples)));
    w->btbDeleteClick();
    EXPECT_EQ(t.Header.SelectedStroke, 3);  // 4 has no data either
    // Deleting the first curve moves on to the next one with data.
    w->Browse(baFirst, false);
    w->btbDeleteClick();
    EXPECT_EQ(t.Header.SelectedStroke, 2);
}

TEST_F(ForceCurvesTest, PlayStopsByItselfAtTheLastStroke)
{
    TTraining& t = Registry.Add(MakeSession(5, "One", 0x0000FF));
    TfrmForceCurves* w = Open();
    Child<QTimer>(w, "tmrPlay")->setInterval(1);
    w->btbPlayClick();
    EXPECT_TRUE(w->Playing());
    EXPECT_EQ(Child<QToolButton>(w, "btbPlay")->property("Bitmap").toString(), "VCR_STOP");
    QElapsedTimer clock;
    clock.start();
    while (w->Playing() && clock.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(w->Playing());
    EXPECT_EQ(t.Header.SelectedStroke, 5);
    EXPECT_EQ(Child<QToolButton>(w, "btbPlay")->property("Bitmap").toString(), "VCR_PLAY");
    // A browse action stops the animation.
    w->Browse(baFirst, false);
    w->btbPlayClick();
    w->Browse(baNext, false);
    EXPECT_FALSE(w->Playing());
}

TEST_F(ForceCurvesTest, FixedForceMakesEveryRowAndCurvePeakAt550)
{
    // Added last first: the store lists the session opened last at index 0.
    TTraining& b = Registry.Add(MakeSession(10, "B", 0x00FF00));
    Registry.Add(MakeSession(10, "A", 0x0000FF));
    b.Header.SelectedStroke = 7;
    TfrmForceCurves* w = Open();
    w->SetEntryChecked(2, true);  // average 1
    w->SetFixedForce(true, 550);
    ASSERT_EQ(w->DataModel->rowCount(), 3);
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(w->DataModel->Cell(r, Column(spPeakForce)), FormatValue(ParameterFormat(spPeakForce), 550));
        EXPECT_EQ(w->DataModel->Cell(r, Column(spPower)), "");
    }
    EXPECT_NEAR(PeakOf(w, 0x0000FF), 550, 8);
    EXPECT_NEAR(PeakOf(w, 0x00FF00), 550, 8);
    // The typed text follows the up-down.
    Child<QLineEdit>(w, "edtForce")->setText("abc");
    emit Child<QLineEdit>(w, "edtForce")->textEdited("abc");
    EXPECT_EQ(Child<QLineEdit>(w, "edtForce")->text(), "550");
    Child<QLineEdit>(w, "edtForce")->setText("60x0");
    emit Child<QLineEdit>(w, "edtForce")->textEdited("60x0");
    EXPECT_EQ(Child<TUpDown>(w, "udnForce")->Position(), 600);
    EXPECT_EQ(Child<QLineEdit>(w, "edtForce")->text(), "600");
    // The picture states the normalisation.
    w->SetFixedLength(true, 150);
    w->PrepareForPicture();
    EXPECT_EQ(Child<QLabel>(w, "lblInfo")->text(), "Fixed force : 600 N\nFixed length : 150 cm");
}

TEST_F(ForceCurvesTest, FixedLengthScalesLengthEnergyAndPositions)
{
    TStgStrokeData s = EmptyStroke(1);
    s.StrokeLength = 120;
    s.Energy = 300;
    s.PeakForce = 500;
    s.PeakForcePosition = 40;
    TCurveNormalisation n;
    n.FixedLength = true;
    n.Length = 150;
    TCurveValuesRow v = NormalisedValues(s, n);
    EXPECT_FLOAT_EQ(v.StrokeLength, 150);
    EXPECT_FLOAT_EQ(v.Energy, 375);
    EXPECT_FLOAT_EQ(v.PeakForcePosition, 50);
    EXPECT_FLOAT_EQ(v.PeakForceRelative, 50 * 100.0f / 150);
    n.FixedForce = true;
    n.Force = 250;
    v = NormalisedValues(s, n);
    EXPECT_FLOAT_EQ(v.PeakForce, 250);
    EXPECT_FLOAT_EQ(v.Energy, 300 * 0.5f * 1.25f);
}

TEST_F(ForceCurvesTest, AverageOfActiveCurvesIsTheLengthNormalisedMean)
{
    TTraining a = MakeSession(3, "A", 0x0000FF);
    TTraining b = MakeSession(3, "B", 0x00FF00);
    a.Header.SelectedStroke = 1;
    b.Header.SelectedStroke = 2;
    TTraining avg;
    SetupAverageRecord(avg, 1);
    EXPECT_EQ(ComputeAverageCurve(avg, 1, {&a, &b}), 2);
    const float mean = (a.Strokes[1].StrokeLength + b.Strokes[2].StrokeLength) / 2;
    EXPECT_FLOAT_EQ(avg.Strokes[0].StrokeLength, mean);
    const double spacing = SampleSpacing(a.Settings);
    const TCurveValues ra = ResampleCurve(a.Curves[1], mean / a.Strokes[1].StrokeLength * 2 / spacing);
    const TCurveValues rb = ResampleCurve(b.Curves[2], mean / b.Strokes[2].StrokeLength * 2 / spacing);
    for (int i = 0; i < kCurveSamples; i += 7)
        EXPECT_NEAR(avg.Curves[0].Samples[i], (ra[size_t(i)] + rb[size_t(i)]) / 2, 1.0) << i;
    EXPECT_GT(avg.Strokes[0].PeakForce, 0);
    // An inactive session is left out of averages 1 and 3, not of 2 and 4.
    b.Header.Active = 0;
    EXPECT_EQ(ComputeAverageCurve(avg, 1, {&a, &b}), 1);
    EXPECT_EQ(ComputeAverageCurve(avg, 2, {&a, &b}), 2);
    EXPECT_EQ(ComputeAverageCurve(avg, 3, {&a, &b}), 1);
    EXPECT_EQ(ComputeAverageCurve(avg, 4, {&a, &b}), 2);
    // No session taken: a flat zero curve.
    a.Header.Active = 0;
    EXPECT_EQ(ComputeAverageCurve(avg, 1, {&a, &b}), 0);
    for (uint16_t v : avg.Curves[0].Samples) EXPECT_EQ(v, 0);
    EXPECT_EQ(ComputeAverageCurve(avg, 4, {}), 0);
}

// The x of the last sample of a drawn curve above the given force.
double CurveEnd(const TChartData& chart, double above)
{
    double end = 0;
    for (const TSeriesData& s : chart.Series)
        for (const TPointD& p : s.Points)
            if (p.Y > above) end = std::max(end, p.X);
    return end;
}

TEST_F(ForceCurvesTest, AverageOfOneSessionEndsWhereItsStrokesEnd)
{
    // Curves that fall to 0 at the end of a 146 cm stroke, at the session's
    // sprocket spacing of 2.2 cm (and of 4.5 cm on the other ergometer).
    for (int ergometer : {0, 2}) {
        TTraining a = MakeSession(3, "A", 0x0000FF);
        a.Settings.Sprocket = 1;
        a.Settings.Ergometer = ergometer;
        const double spacing = SampleSpacing(a.Settings);
        const int samples = int(146 / spacing);
        for (int k = 0; k <= 3; ++k) {
            a.Strokes[size_t(k)].StrokeLength = 146;
            for (int i = 0; i < kCurveSamples; ++i)
                a.Curves[size_t(k)].Samples[i] = i < samples ? uint16_t(300 - std::abs(i - samples / 2)) : 0;
            a.Curves[size_t(k)].HasData = 1;
        }
        a.Header.CurveSource = 1;
        TChartData own;
        BuildForceCurveSeries(own, a, TForceCurveOptions{});
        const double sessionEnd = CurveEnd(own, 1);
        ASSERT_NEAR(sessionEnd, 146, spacing);
        for (int k : {2, 4}) {
            TTraining avg;
            SetupAverageRecord(avg, k);
            ASSERT_EQ(ComputeAverageCurve(avg, k, {&a}), 1);
            avg.Header.Active = 1;
            TChartData drawn;
            BuildForceCurveSeries(drawn, avg, TForceCurveOptions{});
            EXPECT_NEAR(CurveEnd(drawn, 1), sessionEnd, spacing) << "average " << k << " ergometer " << ergometer;
            EXPECT_NEAR(avg.Strokes[0].PeakForcePosition, a.Strokes[0].StrokeLength / 2, 2 * spacing);
        }
    }
}

TEST_F(ForceCurvesTest, AverageEntryDrawsTheMeanOfTheShownCurvesOrAFlatLine)
{
    // Added last first: the store lists the session opened last at index 0.
    Registry.Add(MakeSession(4, "B", 0x00FF00));
    Registry.Add(MakeSession(4, "A", 0x0000FF));
    TfrmForceCurves* w = Open();
    w->SetEntryChecked(3, true);  // average 2, lime like session B
    EXPECT_EQ(Registry.Store.Average(1).Header.Active, 1);
    EXPECT_GT(Registry.Store.Average(1).Curves[0].Samples[30], 0);
    ASSERT_EQ(w->DataModel->rowCount(), 3);
    EXPECT_EQ(w->DataModel->Cell(2, 0), "*Avg. 2 all curves");
    // Drawn in a colour of its own, not in session B's lime; the stored
    // colour stays.
    QColor average, lime;
    for (QAbstractSeries* s : w->Chart->series()) {
        auto* line = static_cast<QLineSeries*>(s);
        if (line->name() == "*Avg. 2 all curves") average = line->pen().color();
        if (line->name() == "B") lime = line->pen().color();
    }
    ASSERT_TRUE(average.isValid() && lime.isValid());
    EXPECT_GT(ColorDifference(FromQColor(average), FromQColor(lime)), 150);
    EXPECT_EQ(Registry.Store.Average(1).Header.Color, 0x00FF00);
    w->SetEntryChecked(0, false);
    w->SetEntryChecked(1, false);
    w->SetEntryChecked(2, true);  // average 1: no active session left
    EXPECT_EQ(Registry.Store.Average(0).Curves[0].Samples[30], 0);
    EXPECT_EQ(PeakOf(w, 0x0000FF), 0);
}

TEST_F(ForceCurvesTest, ClosingTheLastSessionClosesTheWindowDespiteTheAverageEntries)
{
    // Added last first: the store lists the session opened last at index 0.
    Registry.Add(MakeSession(4, "B", 0x00FF00));
    Registry.Add(MakeSession(4, "A", 0x0000FF));
    TfrmForceCurves* w = Open();
    w->show();
    Registry.Close(1);
    EXPECT_EQ(w->ListCount(), 5);
    EXPECT_TRUE(w->isVisible());
    Registry.Close(0);
    EXPECT_FALSE(w->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(Window.isNull());
}

TEST_F(ForceCurvesTest, SettingsKeepFixedValuesAndTheWiderSessionList)
{
    Registry.Add(MakeSession(4, "A", 0x0000FF));
    {
        TProfileFile ini(Env.Settings());
        ini.WriteInteger("ForceCurves", "TrainingsWidth", 180);
        ini.WriteString("ForceCurves", "Force", "bad");
        ini.WriteBool("ForceCurves", "FixedLength", true);
        ini.WriteInteger("ForceCurves", "Length", 120);
        ini.WriteBool("ForceCurves", "Square", false);
        ini.UpdateFile();
    }
    TfrmForceCurves* w = Open();
    w->showNormal();
    w->resize(900, 700);
    QApplication::processEvents();
    EXPECT_EQ(Child<TUpDown>(w, "udnForce")->Position(), 550);
    EXPECT_TRUE(Child<QCheckBox>(w, "cbxLength")->isChecked());
    EXPECT_EQ(Child<QLineEdit>(w, "edtLength")->text(), "120");
    EXPECT_FALSE(w->SquareChart());
    EXPECT_GE(Child<QWidget>(w, "pnlTrainings")->width(), 230);
    w->SetFixedForce(true, 700);
    Child<QCheckBox>(w, "cbxSquare")->setChecked(true);
    EXPECT_EQ(w->ChartView->width(), w->ChartView->height());
    w->SaveSettings(Env.Settings());
    TProfileFile ini(Env.Settings());
    EXPECT_EQ(ini.ReadInteger("ForceCurves", "Force", 0), 700);
    EXPECT_TRUE(ini.ReadBool("ForceCurves", "FixedForce", false));
    EXPECT_TRUE(ini.ReadBool("ForceCurves", "Square", false));
    EXPECT_EQ(ini.ReadInteger("ForceCurves", "Length", 0), 120);
}

TEST_F(ForceCurvesTest, ExportWritesTheShownCurveAsAStrokeFile)
{
    TTraining& t = Registry.Add(MakeSession(8, "Export", 0x0000FF));
    TfrmForceCurves* w = Open();
    TScriptedDialogs dialogs;
    TDialogScope scope(dialogs);

    // Nothing checked: refused.
    w->SetEntryChecked(0, false);
    EXPECT_FALSE(w->ExportStrokeFile());
    EXPECT_EQ(dialogs.LastText(), "Please select an active curve to export");
    EXPECT_TRUE(dialogs.FileRequests.empty());
    w->SetEntryChecked(0, true);

    w->Browse(baLast, false);
    w->SetFixedForce(true, 550);
    const std::string path = Env.File("docs/curve.str");
    TFileDialogResult ok;
    ok.Accepted = true;
    ok.FileNames = {path};
    dialogs.FileAnswers.push_back(ok);
    ASSERT_TRUE(w->ExportStrokeFile());
    ASSERT_EQ(dialogs.FileRequests.size(), 1u);
    EXPECT_EQ(dialogs.FileRequests[0].Title, "Export stroke file");
    EXPECT_EQ(dialogs.FileRequests[0].FileName, "Export");
    EXPECT_EQ(dialogs.FileRequests[0].Filter, "Stroke files (*.str)|*.str|All files (*.*)|*.*");

    TTraining back;
    ASSERT_TRUE(ReadStrokeFile(path, back));
    ASSERT_GE(back.StrokeCount(), 1);
    const TTraining expected = ExportTraining(t, w->Normalisation());
    uint16_t peak = 0;
    for (int i = 0; i < kCurveSamples; ++i) {
        EXPECT_NEAR(back.Curves[1].Samples[i], expected.Curves[1].Samples[i], kStrokeCurveUnit) << i;
        peak = std::max<uint16_t>(peak, back.Curves[1].Samples[i]);
    }
    EXPECT_NEAR(peak, 550, 2 * kStrokeCurveUnit);
    EXPECT_NEAR(back.Strokes[1].StrokeLength, t.Strokes[8].StrokeLength, 1.0);
    EXPECT_NEAR(back.Strokes[1].Energy, t.Strokes[8].Energy * 550 / t.Strokes[8].PeakForce, 2.0);
}

TEST_F(ForceCurvesTest, ExportWithFixedLengthStretchesTheCurve)
{
    TTraining t = MakeSession(3, "X", 0x0000FF);
    t.Header.SelectedStroke = 2;
    TCurveNormalisation n;
    n.FixedLength = true;
    n.Length = 176;
    const TTraining e = ExportTraining(t, n);
    EXPECT_FLOAT_EQ(e.Strokes[1].StrokeLength, 176);
    EXPECT_EQ(e.Strokes[1].StrokeNumber, 1);
    EXPECT_NEAR(e.Strokes[1].Energy, t.Strokes[2].Energy * 176 / t.Strokes[2].StrokeLength, 0.01);
    EXPECT_FLOAT_EQ(e.Strokes[1].Power, 0);  // the record was cleared
    const TCurveValues r = ResampleCurve(t.Curves[2], t.Strokes[2].StrokeLength / 176.0);
    for (int i = 0; i < kCurveSamples; ++i) EXPECT_EQ(e.Curves[1].Samples[i], RoundToWord(r[size_t(i)]));
    // Session average and a curve source without a curve.
    t.Header.CurveSource = 2;
    const TTraining none = ExportTraining(t, TCurveNormalisation{});
    for (uint16_t v : none.Curves[1].Samples) EXPECT_EQ(v, 0);
}

}  // namespace

TEST_F(ForceCurvesTest, ListEntriesGridLabelsAndHeadersShowWholeAtTheRestoredSize)
{
    Registry.Add(MakeSession(12, "Alexandra Rowing 10/12/2026 21:15", 0x0000FF));
    Registry.Add(MakeSession(8, "B", 0xFF0000));
    for (int i = 0; i < 2; ++i) Registry.Session(i).Header.Active = 1;
    TfrmForceCurves* w = Open();
    w->showNormal();
    w->resize(800, 600);
    QApplication::processEvents();
    ASSERT_EQ(w->ListCount(), 6);  // two sessions and the four average records
    ExpectListEntriesWhole(w);
    ExpectGridWhole(w);
    // The chart keeps its room.
    EXPECT_GE(Child<QWidget>(w, "pnlChart")->width(), 225 - 10);

    // The list is rebuilt with a session opened later: the average entries
    // come after the sessions and count as well.
    Registry.Session(0).Header.Title.SetText("C");
    Registry.Session(1).Header.Title.SetText("D");
    w->MoveTrainingsSplitter(160);
    Registry.Add(MakeSession(3, "E", 0x00FF00));
    QApplication::processEvents();
    ASSERT_EQ(w->ListCount(), 7);
    ExpectListEntriesWhole(w);

    // A bigger font after the window is open fits them again.
    TAppearance look = Registry.Appearance();
    look.Font = QFont("DejaVu Sans", 12);
    w->SetAppearance(look);
    QApplication::processEvents();
    ExpectListEntriesWhole(w);
    ExpectGridWhole(w);
}

TEST_F(ForceCurvesTest, StoredColumnWidthsWinOverTheHeaderFit)
{
    Registry.Add(MakeSession(4, "A", 0x0000FF));
    Registry.Session(0).Header.Active = 1;
    {
        TProfileFile ini(Env.Settings());
        ini.WriteString("ForceCurves", "Columns", "41 ");
        ini.UpdateFile();
    }
    TfrmForceCurves* w = Open();
    w->showNormal();
    w->resize(800, 600);
    QApplication::processEvents();
    EXPECT_EQ(Child<QTableView>(w, "sgdData")->columnWidth(1), 41);
    ExpectGridWhole(w, 1);
}
