// The stroke data window and what every chart window shares: the session
// list and its check boxes across windows, the data grid, settings, the
// splitters, copying and the chart picture.
#include <gtest/gtest.h>

#include <QApplication>
#include <QChart>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QImage>
#include <QLineSeries>
#include <QListWidget>
#include <QScatterSeries>
#include <QSet>
#include <QTableView>

#include <QGroupBox>
#include <QRadioButton>
#include <QTimer>

#include "charts/force_curves_window.h"
#include "charts/stroke_data_window.h"
#include "core/catalogue.h"
#include "core/values.h"
#include "framework/chart_dialogs.h"
#include "review/training_window.h"
#include "tests/charts/testutil_charts.h"
#include "tests/support/child.h"
#include "tests/support/scripted_dialogs.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/profile.h"

namespace {

class StrokeDataTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp();
        BuildCatalogues();
    }
    TfrmStrokeData* Open()
    {
        auto* w = CreateStrokeDataWindow(nullptr, Registry.Store, Env.Settings());
        w->setAttribute(Qt::WA_DeleteOnClose);
        Windows.push_back(w);
        return w;
    }
    void TearDown() override
    {
        for (auto& w : Windows) delete w.data();
    }
    int SeriesOn(TfrmChart* w, Qt::Alignment side)
    {
        int n = 0;
        for (QAbstractSeries* s : w->Chart->series())
            for (QAbstractAxis* a : s->attachedAxes())
                if (a->alignment() == side && !static_cast<QXYSeries*>(s)->points().isEmpty()) ++n;
        return n;
    }
    TChartEnv Env;
    TChartRegistry Registry;
    std::vector<QPointer<TfrmChart>> Windows;
};

TEST_F(StrokeDataTest, FirstStartShowsStrokeNumberPowerAndPulse)
{
    Registry.Add(MakeSession(30, "Morning", 0x0000FF));
    TfrmStrokeData* w = Open();
    EXPECT_EQ(w->SelectedParameter(Child<QComboBox>(w, "cmbX")), spStrokeNumber);
    EXPECT_EQ(w->SelectedParameter(Child<QComboBox>(w, "cmbY")), spPower);
    EXPECT_EQ(w->SelectedParameter(Child<QComboBox>(w, "cmbZ")), spPulse);
    EXPECT_TRUE(Child<QCheckBox>(w, "cbxY")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(w, "cbxZ")->isChecked());
    EXPECT_EQ(w->windowTitle(), "Stroke Data");
    // Strokes 2..30 on the left (power) and on the right (pulse).
    EXPECT_EQ(SeriesOn(w, Qt::AlignLeft), 1);
    EXPECT_EQ(SeriesOn(w, Qt::AlignRight), 1);
    auto* left = static_cast<QXYSeries*>(w->Chart->series().front());
    EXPECT_EQ(left->points().size(), 29);
    EXPECT_EQ(w->Axes->Bottom.Title.toStdString(), "X  " + StrokeLongCaption(spStrokeNumber));
    EXPECT_EQ(w->Axes->Right.Title.toStdString(), "Z  " + StrokeLongCaption(spPulse));
    // The lists hold the parameters by id.
    EXPECT_EQ(Child<QComboBox>(w, "cmbX")->count(), int(StrokeIdMap().size()));
    EXPECT_EQ(Child<QComboBox>(w, "cmbY")->itemText(1).toStdString(), ParameterShortName(spPower));
}

TEST_F(StrokeDataTest, UncheckingZRemovesTheRightSeriesAndTheCrossSample)
{
    Registry.Add(MakeSession(20, "Morning", 0x0000FF));
    TfrmStrokeData* w = Open();
    EXPECT_TRUE(w->ZAxisMarker());
    EXPECT_TRUE(w->EntryLook(0).Cross);
    Child<QCheckBox>(w, "cbxZ")->setChecked(false);
    EXPECT_FALSE(Child<QComboBox>(w, "cmbZ")->isEnabled());
    EXPECT_TRUE(Child<QComboBox>(w, "cmbY")->isEnabled());
    EXPECT_EQ(SeriesOn(w, Qt::AlignRight), 0);
    EXPECT_EQ(SeriesOn(w, Qt::AlignLeft), 1);
    EXPECT_FALSE(w->ZAxisMarker());
    EXPECT_FALSE(w->EntryLook(0).Cross);
    Child<QCheckBox>(w, "cbxY")->setChecked(false);
    EXPECT_FALSE(Child<QComboBox>(w, "cmbY")->isEnabled());
    EXPECT_EQ(SeriesOn(w, Qt::AlignLeft), 0);
}

TEST_F(StrokeDataTest, ActiveSessionsGiveOneGridRowEachWithTheirTotals)
{
    // Added last first: the store lists the session opened last at index 0.
    Registry.Add(MakeSession(30, "Three", 0xFF0000));
    Registry.Add(MakeSession(20, "Two", 0x00FF00));
    Registry.Add(MakeSession(10, "One", 0x0000FF));
    TfrmStrokeData* w = Open();
    ASSERT_EQ(w->DataModel->rowCount(), 3);
    EXPECT_EQ(w->DataModel->Cell(0, 0), "One");
    EXPECT_EQ(w->DataModel->Cell(2, 0), "Three");
    const int firstTotal = TotalIdMap()[0];
    EXPECT_EQ(w->DataModel->Cell(1, 1), TotalValueText(Registry.Session(1), firstTotal));
    EXPECT_NE(w->DataModel->Cell(0, 1), w->DataModel->Cell(2, 1));
    // No active session: one empty row.
    for (int i = 0; i < 3; ++i) w->SetEntryChecked(i, false);
    ASSERT_EQ(w->DataModel->rowCount(), 1);
    EXPECT_EQ(w->DataModel->Cell(0, 0), "");
    EXPECT_EQ(w->DataModel->Cell(0, 1), "");
    EXPECT_TRUE(w->Chart->series().isEmpty());
}

TEST_F(StrokeDataTest, UncheckingASessionUpdatesTheOtherChartWindow)
{
    // Added last first: the store lists the session opened last at index 0.
    Registry.Add(MakeSession(10, "Two", 0x00FF00));
    Registry.Add(MakeSession(10, "One", 0x0000FF));
    TfrmStrokeData* strokes = Open();
    auto* curves = CreateForceCurvesWindow(nullptr, Registry.Store, Env.Settings());
    Windows.push_back(curves);
    ASSERT_EQ(curves->DataModel->rowCount(), 2);
    strokes->SetEntryChecked(0, false);
    EXPECT_EQ(Registry.Session(0).Header.Active, 0);
    EXPECT_GE(Registry.Changed, 1);
    EXPECT_FALSE(curves->EntryChecked(0));
    EXPECT_TRUE(curves->EntryChecked(1));
    ASSERT_EQ(curves->DataModel->rowCount(), 1);
    EXPECT_EQ(curves->DataModel->Cell(0, 0).rfind("Two", 0), 0u);
    ASSERT_EQ(strokes->DataModel->rowCount(), 1);
    EXPECT_EQ(strokes->DataModel->Cell(0, 0), "Two");
    // The other way round: the force curves window's check box.
    curves->SetEntryChecked(0, true);
    EXPECT_TRUE(strokes->EntryChecked(0));
    EXPECT_EQ(strokes->DataModel->rowCount(), 2);
}

TEST_F(StrokeDataTest, ClosingSessionsShrinksTheListAndTheLastClosesTheWindow)
{
    // Added last first: the store lists the session opened last at index 0.
    Registry.Add(MakeSession(10, "Two", 0x00FF00));
    Registry.Add(MakeSession(10, "One", 0x0000FF));
    TfrmStrokeData* w = Open();
    w->show();
    bool closed = false;
    QObject::connect(w, &TfrmChart::WindowClosed, [&] { closed = true; });
    Registry.Close(0);
    ASSERT_FALSE(Windows.back().isNull());
    EXPECT_EQ(w->ListCount(), 1);
    EXPECT_EQ(w->clbTrainings->item(0)->text(), "Two");
    EXPECT_FALSE(closed);
    Registry.Close(0);
    EXPECT_TRUE(closed);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(Windows.back().isNull());
}

TEST_F(StrokeDataTest, SettingsRestoreTheChoicesAndColumns)
{
    Registry.Add(MakeSession(10, "One", 0x0000FF));
    {
        TfrmStrokeData* w = Open();
        w->SelectParameter(Child<QComboBox>(w, "cmbX"), spTime);
        w->SelectParameter(Child<QComboBox>(w, "cmbY"), spPeakForce);
        w->SelectParameter(Child<QComboBox>(w, "cmbZ"), spStrokeRate);
        Child<QCheckBox>(w, "cbxZ")->setChecked(false);
        Child<QTableView>(w, "sgdData")->setColumnWidth(2, 77);
        Child<QTableView>(w, "sgdData")->setColumnHidden(3, true);
        w->SaveSettings(Env.Settings());
    }
    TProfileFile ini(Env.Settings());
    EXPECT_EQ(ini.ReadInteger("StrokeData", "X", -5), spTime);
    EXPECT_EQ(ini.ReadString("StrokeData", "MarksZ", "?"), "0");
    const std::string columns = ini.ReadString("StrokeData", "Columns", "");
    EXPECT_NE(columns.find("77 -1 "), std::string::npos) << columns;

    TfrmStrokeData* again = Open();
    EXPECT_EQ(again->SelectedParameter(Child<QComboBox>(again, "cmbX")), spTime);
    EXPECT_EQ(again->SelectedParameter(Child<QComboBox>(again, "cmbY")), spPeakForce);
    EXPECT_EQ(again->SelectedParameter(Child<QComboBox>(again, "cmbZ")), spStrokeRate);
    EXPECT_FALSE(Child<QCheckBox>(again, "cbxZ")->isChecked());
    EXPECT_EQ(Child<QTableView>(again, "sgdData")->columnWidth(2), 77);
    EXPECT_TRUE(Child<QTableView>(again, "sgdData")->isColumnHidden(3));
    // A time parameter on X puts a date-time axis at the bottom.
    EXPECT_TRUE(again->Axes->BottomAxis()->type() == QAbstractAxis::AxisTypeDateTime);
}

TEST_F(StrokeDataTest, ShortColumnsTextChangesOnlyTheFirstColumnsAndBadPositionsSelectNothing)
{
    Registry.Add(MakeSession(5, "One", 0x0000FF));
    {
        TProfileFile ini(Env.Settings());
        ini.WriteString("StrokeData", "Columns", "55 -1 ");
        ini.WriteInteger("StrokeData", "X", 4);   // "Target" carries no id
        ini.WriteInteger("StrokeData", "Z", 99);  // outside the catalogue
        ini.UpdateFile();
    }
    TfrmStrokeData* w = Open();
    const int untouched = Child<QTableView>(w, "sgdData")->columnWidth(3);
    EXPECT_EQ(Child<QTableView>(w, "sgdData")->columnWidth(1), 55);
    EXPECT_TRUE(Child<QTableView>(w, "sgdData")->isColumnHidden(2));
    EXPECT_FALSE(Child<QTableView>(w, "sgdData")->isColumnHidden(3));
    EXPECT_EQ(Child<QTableView>(w, "sgdData")->columnWidth(3), untouched);
    EXPECT_EQ(Child<QComboBox>(w, "cmbX")->currentIndex(), -1);
    EXPECT_EQ(Child<QComboBox>(w, "cmbZ")->currentIndex(), -1);
    EXPECT_TRUE(w->Chart->series().isEmpty());
}

TEST_F(StrokeDataTest, MaximisedWindowStoresMinusOneBounds)
{
    Registry.Add(MakeSession(5, "One", 0x0000FF));
    TfrmStrokeData* w = Open();
    w->showMaximized();
    QApplication::processEvents();
    w->SaveSettings(Env.Settings());
    TProfileFile ini(Env.Settings());
    for (const char* key : {"Left", "Top", "Width", "Height"}) EXPECT_EQ(ini.ReadInteger("StrokeData", key, 0), -1);
    EXPECT_EQ(ini.ReadString("StrokeData", "Data", ""), "1");
}

TEST_F(StrokeDataTest, SplittersRefuseMovesOutsideTheirLimits)
{
    Registry.Add(MakeSession(5, "One", 0x0000FF));
    TfrmStrokeData* w = Open();
    w->showNormal();
    w->resize(900, 700);
    QApplication::processEvents();
    const int before = Child<QWidget>(w, "pnlData")->height();
    EXPECT_FALSE(w->MoveDataSplitter(99));
    EXPECT_FALSE(w->MoveDataSplitter(700 - 224));
    EXPECT_EQ(Child<QWidget>(w, "pnlData")->height(), before);
    EXPECT_TRUE(w->MoveDataSplitter(200));
    QApplication::processEvents();
    EXPECT_EQ(Child<QWidget>(w, "pnlData")->height(), 200);
    EXPECT_FALSE(w->MoveTrainingsSplitter(159));
    EXPECT_FALSE(w->MoveTrainingsSplitter(900 - 224));
    EXPECT_TRUE(w->MoveTrainingsSplitter(300));
    EXPECT_EQ(Child<QWidget>(w, "pnlTrainings")->width(), 300);
}

TEST_F(StrokeDataTest, CopyDataNeedsTheFocusedGrid)
{
    Registry.Add(MakeSession(5, "One", 0x0000FF));
    TfrmStrokeData* w = Open();
    w->show();
    QApplication::setActiveWindow(w);
    QApplication::clipboard()->setText("untouched");
    w->clbTrainings->setFocus();
    QApplication::processEvents();
    w->CopyDataExecute(cmAll);
    EXPECT_EQ(QApplication::clipboard()->text(), "untouched");
    Child<QTableView>(w, "sgdData")->setFocus();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), Child<QTableView>(w, "sgdData"));
    w->CopyDataExecute(cmAll);
    const QString all = QApplication::clipboard()->text();
    EXPECT_TRUE(all.startsWith("\t")) << all.toStdString();
    EXPECT_TRUE(all.contains("One\t"));
    Child<QTableView>(w, "sgdData")->setColumnHidden(1, true);
    w->CopyDataExecute(cmData);
    const QString data = QApplication::clipboard()->text();
    EXPECT_FALSE(data.contains("One"));
    EXPECT_EQ(data.count('\t'), int(TotalIdMap().size()) - 2);
}

// A frame whose View settings live in the test folder.
class TTestFrame : public TMDIMain {
public:
    explicit TTestFrame(const std::string& settings) : Settings(settings)
    {
        FrameworkCreate();
        resize(1000, 800);
    }
    ~TTestFrame() override { FrameworkDestroy(); }
    std::string SettingsFileName() const override { return Settings; }
    std::string Settings;
};

TEST_F(StrokeDataTest, ChartOptionsEditTheSessionAndMarkItsTrainingWindowChanged)
{
    TTestFrame frame(Env.File("frame.ini"));
    Registry.Store.Add(MakeSession(10, "Framed", 0x0000FF), 101);
    auto* training = new TfrmTraining(Registry.Store, 101);
    frame.AddChild(training);
    TfrmStrokeData* w = CreateStrokeDataWindow(&frame, Registry.Store, Env.Settings());
    w->SelectEntry(0);
    ASSERT_EQ(training->Training()->Header.Modified, 0);
    const int changed = Registry.Changed;
    // Cancel leaves the session as it was but still marks the training window.
    QTimer::singleShot(0, [] { ChartOptionsDialog().reject(); });
    w->ChartOptionsExecute();
    EXPECT_EQ(training->Training()->Header.Color, 0x0000FF);
    EXPECT_EQ(training->Training()->Header.Modified, 1);
    EXPECT_NE(Child<QGroupBox>(training, "gbxChart")->title(),
              Child<QGroupBox>(training, "gbxChart")->property("BaseCaption").toString());
    EXPECT_GT(Registry.Changed, changed);
    // OK with "Dot" gives style 2, width 1 in the grid's line sample.
    training->Training()->Header.PenWidth = 3;
    QTimer::singleShot(0, [] {
        ChartOptionsDialog().rbnDot->setChecked(true);
        ChartOptionsDialog().accept();
    });
    w->ChartOptionsExecute();
    EXPECT_EQ(training->Training()->Header.PenStyle, 2);
    EXPECT_EQ(training->Training()->Header.PenWidth, 1);
    ASSERT_TRUE(w->DataModel->Rows()[0].HasPen);
    EXPECT_EQ(w->DataModel->Rows()[0].Pen.Style, 2);
}

int ColourCount(const QImage& image)
{
    QSet<QRgb> colours;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x) colours.insert(rgb.pixel(x, y) & 0xFFFFFF);
    return int(colours.size());
}

int DarkPixels(const QImage& image, const QRect& area)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    int n = 0;
    for (int y = area.top(); y <= area.bottom() && y < rgb.height(); ++y)
        for (int x = area.left(); x <= area.right() && x < rgb.width(); ++x)
            if ((rgb.pixel(x, y) & 0xFFFFFF) == 0) ++n;
    return n;
}

TEST_F(StrokeDataTest, PictureOnTheClipboardHasSixteenColoursAndTheProductLine)
{
    Registry.Add(MakeSession(40, "One", 0x0080FF));
    TfrmStrokeData* w = Open();
    w->showNormal();
    w->resize(800, 600);
    QApplication::processEvents();
    EXPECT_EQ(TfrmChart::PictureCaption().rfind("Catchline 9.0.0.", 0), 0u) << TfrmChart::PictureCaption();

    QApplication::clipboard()->clear();
    w->ChartPicture(false);
    const QImage picture = QApplication::clipboard()->image();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(800, 600));
    EXPECT_LE(ColourCount(picture), 16);
    EXPECT_GT(ColourCount(picture), 2);
    // The product line in the top-left corner, the frame lines on the right and bottom edges.
    EXPECT_GT(DarkPixels(picture, QRect(2, 1, 200, 12)), 20);
    EXPECT_EQ(DarkPixels(picture, QRect(799, 0, 1, 600)), 600);
    EXPECT_EQ(DarkPixels(picture, QRect(0, 599, 800, 1)), 800);
    // The window got its own look back.
    EXPECT_FALSE(Child<QWidget>(w, "pnlTraining1")->isVisible());
    EXPECT_TRUE(Child<QWidget>(w, "pnlTraining4")->isVisible());

    // Save Chart cancelled still leaves the picture on the clipboard; accepted writes a bitmap.
    TScriptedDialogs dialogs;
    TDialogScope scope(dialogs);
    QApplication::clipboard()->clear();
    w->ChartPicture(true);
    ASSERT_EQ(dialogs.FileRequests.size(), 1u);
    EXPECT_EQ(dialogs.FileRequests[0].Title, "Save chart as file");
    EXPECT_EQ(dialogs.FileRequests[0].DefaultExt, "bmp");
    EXPECT_FALSE(QApplication::clipboard()->image().isNull());
    const std::string bmp = Env.File("docs/chart.bmp");
    TFileDialogResult ok;
    ok.Accepted = true;
    ok.FileNames = {bmp};
    dialogs.FileAnswers.push_back(ok);
    w->ChartPicture(true);
    QImage saved(QString::fromStdString(bmp));
    ASSERT_FALSE(saved.isNull());
    EXPECT_LE(ColourCount(saved), 16);
    EXPECT_EQ(Registry.LastDir(), Env.File("docs/"));
}

}  // namespace

TEST_F(StrokeDataTest, ListEntriesGridLabelsAndHeadersShowWholeAtTheRestoredSize)
{
    Registry.Add(MakeSession(12, "Alexandra Rowing 10/12/2026 21:15 long row", 0x0000FF));
    Registry.Add(MakeSession(8, "B", 0xFF0000));
    for (int i = 0; i < 2; ++i) Registry.Session(i).Header.Active = 1;
    TfrmStrokeData* w = Open();
    w->showNormal();
    w->resize(800, 600);
    QApplication::processEvents();
    ExpectListEntriesWhole(w);
    ExpectGridWhole(w);
    // A session opened later with a longer name widens the list again.
    Registry.Add(MakeSession(3, "Alexandra Rowing 10/12/2026 21:15 long row, second try", 0x00FF00));
    QApplication::processEvents();
    ASSERT_EQ(w->ListCount(), 3);
    ExpectListEntriesWhole(w);
}
