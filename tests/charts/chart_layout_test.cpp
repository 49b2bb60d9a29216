// Layout of the chart windows: the splitters dragged with the mouse within
// their limits, the square chart with its check box, the shown and hidden
// data area and session list from the settings, and the force curves
// window's arrangement of the fixed settings and the browse controls.
#include <gtest/gtest.h>

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScrollBar>
#include <QSplitter>
#include <QToolButton>
#include <QValueAxis>

#include "charts/force_curves_window.h"
#include "charts/stroke_data_window.h"
#include "core/catalogue.h"
#include "tests/charts/testutil_charts.h"
#include "tests/support/child.h"
#include "util/profile.h"

namespace {

// Drags the handle of a two-pane splitter by delta pixels (positive: right or down).
void DragHandle(QSplitter* splitter, int delta)
{
    QSplitterHandle* handle = splitter->handle(1);
    const QPoint local = handle->rect().center();
    const QPoint global = handle->mapToGlobal(local);
    const QPoint step = splitter->orientation() == Qt::Vertical ? QPoint(0, delta) : QPoint(delta, 0);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(local), QPointF(global), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(handle, &press);
    QMouseEvent move(QEvent::MouseMove, QPointF(local + step), QPointF(global + step), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(handle, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(local + step), QPointF(global + step), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(handle, &release);
    QApplication::processEvents();
}

class ChartLayoutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp();
        BuildCatalogues();
        Registry.Add(MakeSession(12, "Layout", 0x0000FF));
    }
    void TearDown() override
    {
        for (auto& w : Windows) delete w.data();
    }
    template <class T>
    T* Show(T* w, int width, int height)
    {
        Windows.push_back(w);
        w->showNormal();
        w->resize(width, height);
        QApplication::processEvents();
        return w;
    }
    TfrmStrokeData* StrokeData(int width = 900, int height = 700)
    {
        return Show(CreateStrokeDataWindow(nullptr, Registry.Store, Env.Settings()), width, height);
    }
    TfrmForceCurves* ForceCurves(int width = 900, int height = 700)
    {
        return Show(CreateForceCurvesWindow(nullptr, Registry.Store, Env.Settings()), width, height);
    }
    TChartEnv Env;
    TChartRegistry Registry;
    std::vector<QPointer<TfrmChart>> Windows;
};

TEST_F(ChartLayoutTest, DraggingTheBottomSplitterStaysWithin100AndClientHeightLess225)
{
    TfrmStrokeData* w = StrokeData(900, 700);
    ASSERT_TRUE(w->MoveDataSplitter(200));
    ASSERT_EQ(Child<QWidget>(w, "pnlData")->height(), 200);

    // Up by 250: a data area of 450 is within 100 .. 475.
    DragHandle(Child<QSplitter>(w, "splData"), -250);
    EXPECT_EQ(Child<QWidget>(w, "pnlData")->height(), 450);
    EXPECT_EQ(w->DataHeight, 450);
    // Up by 40 more would give 490 > 700 - 225: refused, the splitter stays.
    DragHandle(Child<QSplitter>(w, "splData"), -40);
    EXPECT_EQ(Child<QWidget>(w, "pnlData")->height(), 450);
    // Down to 90 < 100: refused as well.
    DragHandle(Child<QSplitter>(w, "splData"), 360);
    EXPECT_EQ(Child<QWidget>(w, "pnlData")->height(), 450);
    EXPECT_EQ(w->DataHeight, 450);
    // The data area stays at the bottom edge.
    EXPECT_EQ(Child<QWidget>(w, "pnlData")->mapTo(w, QPoint(0, Child<QWidget>(w, "pnlData")->height())).y(),
              w->height());
}

TEST_F(ChartLayoutTest, DraggingTheListSplitterStaysWithin160AndClientWidthLess225)
{
    TfrmStrokeData* w = StrokeData(900, 700);
    ASSERT_TRUE(w->MoveTrainingsSplitter(300));
    // Left by 200 widens the list to 500 (limit 675).
    DragHandle(Child<QSplitter>(w, "splTrainings"), -200);
    EXPECT_EQ(Child<QWidget>(w, "pnlTrainings")->width(), 500);
    EXPECT_EQ(w->TrainingsWidth, 500);
    // Left by 200 more (700 > 675) and right by 350 (150 < 160) are refused.
    DragHandle(Child<QSplitter>(w, "splTrainings"), -200);
    EXPECT_EQ(Child<QWidget>(w, "pnlTrainings")->width(), 500);
    DragHandle(Child<QSplitter>(w, "splTrainings"), 350);
    EXPECT_EQ(Child<QWidget>(w, "pnlTrainings")->width(), 500);
    // A move within the limits after refused ones is taken.
    DragHandle(Child<QSplitter>(w, "splTrainings"), 300);
    EXPECT_EQ(Child<QWidget>(w, "pnlTrainings")->width(), 200);
}

TEST_F(ChartLayoutTest, SquareChartStaysSquareAndCentredWithItsCheckBoxAtTheCorner)
{
    TfrmForceCurves* w = ForceCurves(1000, 700);
    ASSERT_TRUE(w->SquareChart());
    auto check = [&] {
        const QRect panel = Child<QWidget>(w, "pnlChart")->rect();
        const QRect chart = w->ChartView->geometry();
        const int side = std::min(panel.width(), panel.height());
        EXPECT_EQ(chart.width(), side);
        EXPECT_EQ(chart.height(), side);
        EXPECT_LE(std::abs(chart.center().x() - panel.center().x()), 1);
        EXPECT_LE(std::abs(chart.center().y() - panel.center().y()), 1);
        // "Square" 8 pixels from the chart's left and bottom edges.
        const QRect box = Child<QCheckBox>(w, "cbxSquare")->geometry();
        EXPECT_EQ(box.left(), chart.left() + 8);
        EXPECT_EQ(box.bottom(), chart.bottom() - 8);
        EXPECT_TRUE(Child<QCheckBox>(w, "cbxSquare")->isVisible());
    };
    check();
    // A tall and narrow window: the width decides the side.
    w->resize(560, 900);
    QApplication::processEvents();
    EXPECT_LT(Child<QWidget>(w, "pnlChart")->width(), Child<QWidget>(w, "pnlChart")->height());
    check();

    // Off: the chart fills its panel, the box follows its corner.
    Child<QCheckBox>(w, "cbxSquare")->setChecked(false);
    QApplication::processEvents();
    EXPECT_FALSE(w->SquareChart());
    EXPECT_EQ(w->ChartView->geometry(), Child<QWidget>(w, "pnlChart")->rect());
    EXPECT_EQ(Child<QCheckBox>(w, "cbxSquare")->geometry().bottom(),
              Child<QWidget>(w, "pnlChart")->rect().bottom() - 8);

    // The stroke data window starts without the square chart.
    TfrmStrokeData* s = StrokeData();
    EXPECT_FALSE(s->SquareChart());
    EXPECT_EQ(s->ChartView->geometry(), Child<QWidget>(s, "pnlChart")->rect());
}

TEST_F(ChartLayoutTest, HiddenDataAreaAndSessionListComeFromTheSettings)
{
    {
        TProfileFile ini(Env.Settings());
        ini.WriteBool("StrokeData", "Data", false);
        ini.WriteInteger("StrokeData", "DataHeight", 300);  // not read while the area is hidden
        ini.WriteBool("StrokeData", "Trainings", true);
        ini.WriteInteger("StrokeData", "TrainingsWidth", 260);
        ini.UpdateFile();
    }
    TfrmStrokeData* w = StrokeData(900, 700);
    EXPECT_FALSE(Child<QWidget>(w, "pnlData")->isVisible());
    EXPECT_EQ(w->DataHeight, 80);
    EXPECT_TRUE(Child<QWidget>(w, "pnlTrainings")->isVisible());
    EXPECT_EQ(Child<QWidget>(w, "pnlTrainings")->width(), 260);
    // The chart takes the room of the hidden data area.
    EXPECT_EQ(Child<QWidget>(w, "pnlTop")->height(), w->height());
    w->SaveSettings(Env.Settings());
    TProfileFile ini(Env.Settings());
    EXPECT_FALSE(ini.ReadBool("StrokeData", "Data", true));
    EXPECT_FALSE(ini.ValueExists("StrokeData", "DataHeight"));
    EXPECT_EQ(ini.ReadInteger("StrokeData", "TrainingsWidth", 0), 260);

    // And the other way round: list hidden, data area at its stored height.
    ini.WriteBool("StrokeData", "Data", true);
    ini.WriteInteger("StrokeData", "DataHeight", 150);
    ini.WriteBool("StrokeData", "Trainings", false);
    ini.UpdateFile();
    TfrmStrokeData* v = StrokeData(900, 700);
    EXPECT_TRUE(Child<QWidget>(v, "pnlData")->isVisible());
    EXPECT_EQ(Child<QWidget>(v, "pnlData")->height(), 150);
    EXPECT_FALSE(Child<QWidget>(v, "pnlTrainings")->isVisible());
    EXPECT_EQ(Child<QWidget>(v, "pnlChart")->width(), Child<QWidget>(v, "pnlTop")->width());
}

TEST_F(ChartLayoutTest, FixedSettingsSideBySideFrom300PixelsElseOneBelowTheOther)
{
    TfrmForceCurves* w = ForceCurves(1000, 700);
    ASSERT_TRUE(w->MoveTrainingsSplitter(320));
    QApplication::processEvents();
    ASSERT_GE(Child<QWidget>(w, "pnlTraining3")->width(), 300);
    EXPECT_EQ(Child<QWidget>(w, "pnlTraining3")->height(), 34);
    EXPECT_EQ(Child<QCheckBox>(w, "cbxLength")->y(), Child<QCheckBox>(w, "cbxForce")->y());
    EXPECT_GE(Child<QCheckBox>(w, "cbxLength")->x(), Child<TUpDown>(w, "udnForce")->geometry().right());
    // Every control inside the panel.
    for (QWidget* c : std::initializer_list<QWidget*>{Child<QCheckBox>(w, "cbxForce"), Child<QLineEdit>(w, "edtForce"),
                                                      Child<TUpDown>(w, "udnForce"), Child<QCheckBox>(w, "cbxLength"),
                                                      Child<QLineEdit>(w, "edtLength"), Child<TUpDown>(w, "udnLength")})
        EXPECT_TRUE(Child<QWidget>(w, "pnlTraining3")->rect().contains(c->geometry())) << c->objectName().toStdString();

    ASSERT_TRUE(w->MoveTrainingsSplitter(260));
    QApplication::processEvents();
    ASSERT_LT(Child<QWidget>(w, "pnlTraining3")->width(), 300);
    EXPECT_EQ(Child<QWidget>(w, "pnlTraining3")->height(), 62);
    EXPECT_GT(Child<QCheckBox>(w, "cbxLength")->y(), Child<QCheckBox>(w, "cbxForce")->geometry().bottom());
    EXPECT_EQ(Child<QCheckBox>(w, "cbxLength")->x(), Child<QCheckBox>(w, "cbxForce")->x());
    EXPECT_TRUE(Child<QWidget>(w, "pnlTraining3")->rect().contains(Child<TUpDown>(w, "udnLength")->geometry()));
}

TEST_F(ChartLayoutTest, BrowseControlsStackOverTheScrollBarOrSitInOneRow)
{
    TfrmForceCurves* w = ForceCurves(1200, 700);
    ASSERT_TRUE(w->MoveTrainingsSplitter(300));
    QApplication::processEvents();
    QWidget* panel = Child<QWidget>(w, "pnlBrowseCurves");
    // With its radio button the panel stacks: 90 pixels high, five button widths.
    auto stacked = [&](int height) {
        EXPECT_EQ(panel->height(), height);
        const int pw = panel->width();
        const int bw = (pw - Child<QToolButton>(w, "btbFirst")->x() - w->metCurve->width() - 8) / 5;
        for (QToolButton* b :
             {Child<QToolButton>(w, "btbFirst"), Child<QToolButton>(w, "btbPrevious"), Child<QToolButton>(w, "btbNext"),
              Child<QToolButton>(w, "btbLast"), Child<QToolButton>(w, "btbDelete")})
            EXPECT_EQ(b->width(), bw) << b->objectName().toStdString();
        EXPECT_GT(w->sbrCurves->y(), Child<QToolButton>(w, "btbFirst")->geometry().bottom());
        EXPECT_EQ(Child<QToolButton>(w, "btbDelete")->geometry().right(), pw - 1 - 6);
        EXPECT_EQ(Child<QToolButton>(w, "btbPlay")->x(), Child<QToolButton>(w, "btbDelete")->x());
        EXPECT_GT(Child<QToolButton>(w, "btbPlay")->y(), Child<QToolButton>(w, "btbDelete")->geometry().bottom());
        EXPECT_LT(Child<QToolButton>(w, "btbLast")->geometry().right(), Child<QToolButton>(w, "btbDelete")->x());
    };
    ASSERT_TRUE(Child<QRadioButton>(w, "rbtBrowseCurves")->isVisible());
    stacked(90);
    // Even a wide panel stacks while the radio button is shown.
    ASSERT_TRUE(w->MoveTrainingsSplitter(450));
    QApplication::processEvents();
    stacked(90);

    // Without the radio button: one row of 40 pixels from 400 pixels on, a
    // tenth of the width per button; narrower it stacks in 65 pixels.
    Child<QRadioButton>(w, "rbtBrowseCurves")->hide();
    ASSERT_TRUE(w->MoveTrainingsSplitter(500));
    QApplication::processEvents();
    EXPECT_EQ(panel->height(), 40);
    EXPECT_EQ(Child<QToolButton>(w, "btbFirst")->width(), panel->width() / 10);
    // The scroll bar in the same row, after the buttons.
    EXPECT_LT(w->sbrCurves->geometry().bottom(), 40);
    EXPECT_LT(w->sbrCurves->y(), Child<QToolButton>(w, "btbFirst")->geometry().bottom());
    EXPECT_GT(w->sbrCurves->x(), Child<QToolButton>(w, "btbLast")->geometry().right());
    EXPECT_EQ(Child<QToolButton>(w, "btbDelete")->geometry().right(), panel->width() - 1 - 6);
    ASSERT_TRUE(w->MoveTrainingsSplitter(300));
    QApplication::processEvents();
    stacked(65);
}

TEST_F(ChartLayoutTest, ParameterListsAreThePanelWidthLess80)
{
    TfrmStrokeData* w = StrokeData(900, 700);
    for (int width : {200, 320}) {
        ASSERT_TRUE(w->MoveTrainingsSplitter(width));
        QApplication::processEvents();
        for (QComboBox* c : {Child<QComboBox>(w, "cmbX"), Child<QComboBox>(w, "cmbY"), Child<QComboBox>(w, "cmbZ")}) {
            EXPECT_EQ(c->width(), Child<QWidget>(w, "pnlTraining4")->width() - 80) << width;
            EXPECT_EQ(c->geometry().right(), Child<QWidget>(w, "pnlTraining4")->width() - 1 - 4);
        }
    }
}

// Zooming: the force curves chart (fixed scales) keeps the zoom while the
// user browses; a right click undoes it. The stroke data chart takes the new
// scale of its data at every redraw.
TEST_F(ChartLayoutTest, ZoomStaysWhileBrowsingCurvesAndARightClickUndoesIt)
{
    TfrmForceCurves* w = ForceCurves(1000, 700);
    w->SelectEntry(0);
    auto* bottom = qobject_cast<QValueAxis*>(w->Axes->BottomAxis());
    ASSERT_NE(bottom, nullptr);
    ASSERT_EQ(bottom->max(), 176);
    const QRectF plot = w->Chart->plotArea();
    w->Chart->zoomIn(QRectF(plot.left(), plot.top(), plot.width() / 2, plot.height() / 2));
    const double zoomedMax = bottom->max();
    ASSERT_LT(zoomedMax, 100);
    w->Browse(baNext, false);
    EXPECT_EQ(Registry.Session(0).Header.SelectedStroke, 2);
    EXPECT_EQ(bottom->max(), zoomedMax);

    QWidget* viewport = w->ChartView->viewport();
    const QPointF at(viewport->width() / 2.0, viewport->height() / 2.0);
    const QPointF global = viewport->mapToGlobal(at.toPoint());
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::RightButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &release);
    EXPECT_EQ(bottom->min(), 0);
    EXPECT_EQ(bottom->max(), 176);
    auto* left = qobject_cast<QValueAxis*>(w->Axes->LeftAxis());
    EXPECT_EQ(left->max(), 780);
    w->Browse(baNext, false);
    EXPECT_EQ(bottom->max(), 176);

    TfrmStrokeData* s = StrokeData(900, 700);
    auto* sLeft = qobject_cast<QValueAxis*>(s->Axes->LeftAxis());
    ASSERT_NE(sLeft, nullptr);
    const double lo = sLeft->min(), hi = sLeft->max();
    const QRectF sPlot = s->Chart->plotArea();
    s->Chart->zoomIn(QRectF(sPlot.left() + sPlot.width() / 3, sPlot.top() + sPlot.height() / 3, sPlot.width() / 3,
                            sPlot.height() / 3));
    ASSERT_NE(sLeft->max(), hi);
    s->DrawChart();
    EXPECT_EQ(sLeft->min(), lo);
    EXPECT_EQ(sLeft->max(), hi);
    // Nothing left from the zoom: a right click keeps the data's scale.
    QWidget* sView = s->ChartView->viewport();
    QMouseEvent sPress(QEvent::MouseButtonPress, at, global, Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(sView, &sPress);
    QMouseEvent sRelease(QEvent::MouseButtonRelease, at, global, Qt::RightButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(sView, &sRelease);
    EXPECT_EQ(sLeft->max(), hi);
}

}  // namespace
