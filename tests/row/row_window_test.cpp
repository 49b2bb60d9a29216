// The row window offscreen: its settings in section "Row", the layout
// switches, splitter limits, the limit-progress ruler, the chart menus, and a
// demo recording fed through the engine into the value cells, both charts,
// the status bar and the training window.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QChartView>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineSeries>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QValueAxis>
#include <QXYSeries>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "core/catalogue.h"
#include "core/values.h"
#include "framework/mdi.h"
#include "framework/status_bar.h"
#include "logic/session_store.h"
#include "logic/value_data.h"
#include "review/training_window.h"
#include "row/message_window.h"
#include "row/row_chart.h"
#include "row/row_window.h"
#include "tests/support/child.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/test_home.h"
#include "tests/support/test_registry.h"
#include "tests/support/testutil_interfaces.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/profile.h"
#include "valuearea/value_area.h"

namespace {

QApplication& App() { return TestApp(); }

// The main window as the row window sees it (its options and statistics).
class TRowRegistry : public TEmptyRegistry {
public:
    TAppearance Appearance() const override
    {
        TAppearance a;
        a.Font = QFont("Arial", 9);
        a.TextColor = Qt::black;
        a.WindowColor = Qt::white;
        a.FaceColor = QColor(0xE0, 0xE0, 0xE0);
        return a;
    }
    QColor DialogColor() const override { return Qt::lightGray; }
    int DataRange() const override { return 65535; }
    std::string SettingsFileForReading() const override { return SettingsFile(false); }
    std::string SettingsFileForWriting() const override { return SettingsFile(true); }
    void CountRowingSession() override { ++RowingSessions; }

    int RowingSessions = 0;
};

void WriteFileText(const std::string& path, const std::string& text = "")
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

// A frame with a training window and its row window, the settings file in a
// temporary folder.
class RowWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        App();
        Home = std::make_unique<TTempHome>("row");
        Root = Home->Folder();
        Frame = std::make_unique<TMDIMain>();
        Frame->resize(1200, 900);
        Frame->show();
        QObject::connect(&Store, &TSessionStore::CloseRequested, [this](int32_t id) { CloseRequests.push_back(id); });
    }
    void TearDown() override
    {
        if (Row) Row->Engine().Shutdown();
        Frame.reset();
        Home.reset();
    }

    // Creates the training window (session id 101) and the row window.
    void Open(const std::function<void(TTraining&)>& setup = {})
    {
        TTraining record;
        ResetTraining(record);
        record.Header.Title.SetText("Morning row");
        record.Header.Color = 0x00FF00;
        if (setup) setup(record);
        Store.Add(record, 101);
        Training = new TfrmTraining(Store, 101);
        Frame->AddChild(Training);
        Training->LoadSettings(SettingsFile(false), 1);
        Training->show();
        Row = CreateRowWindow(Frame.get(), Store, 101);
        Row->ResultsShower = [this](const TTraining& t) { Results.push_back(t.StrokeCount()); };
        Row->SourceChooser = [](std::string& source, int& type) {
            source = "DEMO";
            type = 1;
            return true;
        };
        Row->Engine().DemoFile = CATCHLINE_SOURCE_DIR "/resources/demo/catchline.dat";
        Pump();
    }

    static void Pump(int ms = 20)
    {
        QElapsedTimer t;
        t.start();
        do QApplication::processEvents(QEventLoop::AllEvents, 5);
        while (t.elapsed() < ms);
    }

    // Connects to the demo recording and rows until stroke `strokes`.
    void RowDemo(int strokes)
    {
        QTimer::singleShot(0, Row, [this] { Row->Engine().BtnConnectClick(); });
        QElapsedTimer t;
        t.start();
        while (Row->Engine().StrokeIndex() < strokes && t.elapsed() < 60000) QApplication::processEvents();
        ASSERT_GE(Row->Engine().StrokeIndex(), strokes);
    }

    std::unique_ptr<TTempHome> Home;
    std::string Root;
    TRowRegistry Registry;
    TSessionStore Store;
    std::vector<int32_t> CloseRequests;  // sessions the windows asked to close
    std::unique_ptr<TMDIMain> Frame;
    TfrmTraining* Training = nullptr;
    TfrmRow* Row = nullptr;
    std::vector<int> Results;
};

// A right click in the middle of a chart panel (on its chart when it has
// one); the entry with the caption is chosen from the menu that opens.
bool ChooseFromPanelMenu(QWidget* panel, const QString& caption)
{
    bool chosen = false;
    QTimer::singleShot(0, panel, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        for (QAction* a : menu->actions())
            if (a->text() == caption && a->isEnabled()) {
                menu->setActiveAction(a);
                QTest::keyClick(menu, Qt::Key_Return);
                chosen = true;
                return;
            }
        menu->close();
    });
    const QPoint middle = panel->rect().center();
    QWidget* target = panel->childAt(middle);
    if (!target) target = panel;
    const QPoint at = target->mapFrom(panel, middle);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
    QApplication::sendEvent(target, &event);
    QApplication::processEvents();
    return chosen;
}

}  // namespace

TEST_F(RowWindow, WithoutRowSectionIsMaximisedWithChartsAndBottomValues)
{
    Open();
    EXPECT_TRUE(Row->SubWindow()->isMaximized());
    EXPECT_TRUE(Row->LeftChart);
    EXPECT_TRUE(Row->RightChart);
    EXPECT_TRUE(Row->BottomValues);
    EXPECT_FALSE(Row->RightValues);
    ASSERT_NE(Row->BottomArea(), nullptr);
    EXPECT_EQ(Row->RightArea(), nullptr);
    EXPECT_EQ(Row->BottomArea()->LayoutText(), "0.1 0.6 0.7 0.3 1.2 1.12 1.9 1.5");
    EXPECT_EQ(Row->BottomArea()->toolTip(), "(right-click for options)");
    EXPECT_NE(Row->LeftChartObject(), nullptr);
    EXPECT_NE(Row->RightChartObject(), nullptr);
    EXPECT_EQ(Row->windowTitle(), "Row Morning row");
    EXPECT_EQ(Child<QTabWidget>(Row, "pgcRow")->currentWidget(), Child<QWidget>(Row, "tshAction"));
    EXPECT_EQ(Child<QPushButton>(Row, "btnConnect")->text(), "&Connect");
    EXPECT_EQ(Row->StatusBar->PanelCount(), 6);
    // The value store has the stroke parameters of the id map.
    ASSERT_NE(Row->Values(), nullptr);
    EXPECT_TRUE(Row->Values()->HasItem(0));
    EXPECT_TRUE(Row->Values()->HasItem(25));
    EXPECT_FALSE(Row->Values()->HasItem(4));
    EXPECT_EQ(Row->Values()->GetItem(1).Name, ParameterShortName(1));
    // No heart-rate signal is no pulse (shown as a dash), not 0.
    EXPECT_TRUE(Row->Values()->GetItem(spPulse).NoneWhenZero);
    EXPECT_FALSE(Row->Values()->GetItem(spPower).NoneWhenZero);
    // The status bar click switches between the log and the action page.
    emit Row->StatusBar->PanelClick(Row->StatusBar->width() - 10, 5);
    EXPECT_EQ(Child<QTabWidget>(Row, "pgcRow")->currentWidget(), Child<QWidget>(Row, "tshLog"));
    emit Row->StatusBar->PanelClick(Row->StatusBar->width() - 10, 5);
    EXPECT_EQ(Child<QTabWidget>(Row, "pgcRow")->currentWidget(), Child<QWidget>(Row, "tshAction"));
}

TEST_F(RowWindow, RowSectionRoundTrip)
{
    Open();
    Row->LeftChart = false;
    Row->RightValues = true;
    Row->WidthRightValues = 333;
    Row->HeightBottomValues = 180;
    Row->LeftIndex = -1;
    Row->LeftReference = false;
    Row->LeftPrevious = false;
    Row->RightX = 5;
    Row->RightY = -1;
    Row->RightZ = 3;
    Row->ApplyLayout();
    Pump();
    const std::string file = Root + "other.ini";

    {
        TProfileFile ini(file);
        ini.WriteInteger("Row", "Inertia", 9100);
        ini.WriteBool("Row", "DemoFast", false);
        ini.UpdateFile();
    }
    Row->SaveSettings(file);
    TProfileFile ini(file);
    ini.Reload();
    EXPECT_EQ(ini.ReadString("Row", "LeftChart", "?"), "0");
    EXPECT_EQ(ini.ReadString("Row", "RightValues", "?"), "1");
    EXPECT_EQ(ini.ReadInteger("Row", "RightX", 99), 5);
    EXPECT_EQ(ini.ReadInteger("Row", "RightY", 99), -1);
    EXPECT_EQ(ini.ReadInteger("Row", "LeftIndex", 99), -1);
    EXPECT_EQ(ini.ReadInteger("Row", "Left", 99), -1);  // maximised
    EXPECT_TRUE(ini.ValueExists("Row", "WidthRightValues"));
    EXPECT_TRUE(ini.ValueExists("Row", "HeightBottomValues"));
    EXPECT_FALSE(ini.ValueExists("Row", "Tension"));  // tuning values are never written
    EXPECT_EQ(ini.ReadString("RowRight", "Items", "?"), "0.0 1.5 2.7 3.11");

    // A second window reads everything back (a file other than the program's
    // settings: the current values are the defaults of each key).
    TfrmRow other(Store, 101);
    other.LoadSettings(file, 1);
    EXPECT_FALSE(other.LeftChart);
    EXPECT_TRUE(other.RightValues);
    EXPECT_EQ(other.WidthRightValues, ini.ReadInteger("Row", "WidthRightValues", 0));
    EXPECT_EQ(other.LeftIndex, -1);
    EXPECT_FALSE(other.LeftReference);
    EXPECT_FALSE(other.LeftPrevious);
    EXPECT_EQ(other.RightX, 5);
    EXPECT_EQ(other.RightY, -1);
    EXPECT_EQ(other.RightZ, 3);
    EXPECT_EQ(other.Engine().Inertia, 9100);
    EXPECT_FALSE(other.Engine().DemoFast);
    EXPECT_EQ(other.LeftChartObject(), nullptr);
    ASSERT_NE(other.RightArea(), nullptr);
    EXPECT_EQ(other.RightArea()->LayoutText(), "0.0 1.5 2.7 3.11");

    // Values outside the catalogue fall back to the defaults.
    {
        TProfileFile bad(file);
        bad.WriteInteger("Row", "RightX", 400);
        bad.WriteInteger("Row", "RightZ", -7);
        bad.UpdateFile();
    }
    TfrmRow third(Store, 101);
    third.LoadSettings(file, 1);
    EXPECT_EQ(third.RightX, 0);
    EXPECT_EQ(third.RightZ, 12);

    // --real-pace rows the demo at a rower's pace whatever "DemoFast" says;
    // the stored setting keeps its value.
    {
        TProfileFile fast(file);
        fast.WriteBool("Row", "DemoFast", true);
        fast.UpdateFile();
    }
    SetDemoRealPace(true);
    TfrmRow paced(Store, 101);
    paced.LoadSettings(file, 1);
    SetDemoRealPace(false);
    EXPECT_FALSE(paced.Engine().DemoFast);
    TProfileFile stored(file);
    stored.Reload();
    EXPECT_TRUE(stored.ReadBool("Row", "DemoFast", false));
}

TEST_F(RowWindow, LayoutSwitches)
{
    Open();
    // Without the right chart the force curve chart fills the panel and stays square.
    Row->RightChart = false;
    Row->ApplyLayout();
    Pump(50);
    EXPECT_EQ(Row->RightChartObject() ? Child<QWidget>(Row, "pnlChartRight")->isVisible() : false, false);
    QChartView* left = Row->LeftChartObject()->View();
    EXPECT_EQ(left->width(), left->height());
    EXPECT_EQ(std::min(Child<QWidget>(Row, "pnlChartLeft")->width(), Child<QWidget>(Row, "pnlChartLeft")->height()),
              left->width());
    EXPECT_GT(Child<QWidget>(Row, "pnlChartLeft")->width(), Child<QWidget>(Row, "pnlCharts")->width() / 2);

    // No charts and the right values: the right area fills the page, no splitter.
    Row->LeftChart = false;
    Row->RightChart = false;
    Row->RightValues = true;
    Row->BottomValues = false;
    Row->ApplyLayout();
    Pump(50);
    ASSERT_NE(Row->RightArea(), nullptr);
    EXPECT_EQ(Row->BottomArea(), nullptr);
    EXPECT_FALSE(Child<QWidget>(Row, "pnlCharts")->isVisible());
    EXPECT_FALSE(Row->RightSplitterShown());
    EXPECT_GE(Row->RightArea()->width(), Child<QWidget>(Row, "tshAction")->width() - 2);

    // Without areas the store goes.
    Row->RightValues = false;
    Row->ApplyLayout();
    EXPECT_EQ(Row->Values(), nullptr);
    EXPECT_EQ(Row->RightArea(), nullptr);
}

TEST_F(RowWindow, SplitterLimits)
{
    Open();
    Row->SubWindow()->showNormal();
    Row->SubWindow()->resize(900, 700);
    Row->RightValues = true;
    Row->ApplyLayout();
    Pump(50);
    ASSERT_TRUE(Row->RightSplitterShown());
    ASSERT_TRUE(Row->BottomSplitterShown());
    const int client = Row->width();
    EXPECT_FALSE(Row->SetChartPanelWidth(139));
    EXPECT_FALSE(Row->SetChartPanelWidth(client - 224));  // less than 225 pixels would remain
    EXPECT_TRUE(Row->SetChartPanelWidth(client - 300));
    Pump();
    EXPECT_EQ(Row->ChartPanelWidth(), client - 300);
    const int before = Row->ChartPanelWidth();
    // A drag past the limit is refused: the splitter goes back.
    Child<QSplitter>(Row, "splRight")->setSizes({client - 100, 96});
    emit Child<QSplitter>(Row, "splRight")->splitterMoved(client - 100, 1);
    EXPECT_EQ(Row->ChartPanelWidth(), before);

    const int height = Row->height();
    EXPECT_FALSE(Row->SetBottomAreaHeight(99));
    EXPECT_FALSE(Row->SetBottomAreaHeight(height - 224));
    EXPECT_TRUE(Row->SetBottomAreaHeight(150));
    Pump();
    EXPECT_EQ(Row->BottomAreaHeight(), 150);
    Row->SaveSettings(SettingsFile(true));
    TProfileFile ini(SettingsFile(true));
    ini.Reload();
    EXPECT_EQ(ini.ReadInteger("Row", "HeightBottomValues", 0), 150);
    EXPECT_EQ(ini.ReadInteger("Row", "WidthRightValues", 0), Child<QWidget>(Row, "tshAction")->width() - before);
}

TEST_F(RowWindow, LimitRulerTicksLabelsAndMarker)
{
    Open([](TTraining& t) {
        t.Settings.LimitType = 2;
        t.Settings.LimitDistance = 2000;
    });
    const QRect panel(100, 0, 407, 20);  // usable width 400
    TfrmRow::TRuler r = Row->LimitRuler(panel);
    ASSERT_TRUE(r.Drawn);
    ASSERT_EQ(r.Ticks.size(), 11u);
    EXPECT_TRUE(r.Labels.front().isEmpty());
    EXPECT_TRUE(r.Labels.back().isEmpty());
    for (int i = 1; i < 10; ++i) EXPECT_EQ(r.Labels[size_t(i)], QString::number(200 * i));
    // 400 pixels for 2200 m: 200 m are 36.36 pixels.
    EXPECT_EQ(r.Ticks[0], 100 + 3 + 36);
    EXPECT_EQ(r.Ticks[1] - r.Ticks[0], 37);
    // Before the first stroke the marker stands at the left.
    EXPECT_EQ(r.Marker.left(), 100 + 3 + 4);
    EXPECT_EQ(r.Marker.right(), 100 + 3 + 36);
    EXPECT_EQ(r.Marker.top(), 4);
    EXPECT_EQ(r.Marker.bottom(), 10);

    Training->Training()->Settings.LimitType = 0;
    Training->Training()->Settings.LimitStrokes = 5;
    r = Row->LimitRuler(panel);
    ASSERT_EQ(r.Ticks.size(), 6u);
    EXPECT_EQ(r.Labels[1], "1");
    EXPECT_EQ(r.Labels[4], "4");
    EXPECT_TRUE(r.Labels[5].isEmpty());

    Training->Training()->Settings.LimitStrokes = 0;
    EXPECT_FALSE(Row->LimitRuler(panel).Drawn);
}

TEST_F(RowWindow, ChartMenus)
{
    Open();
    Row->CheckRightMenu();
    EXPECT_TRUE(Child<QAction>(Row, "actRightStrokeData")->isChecked());
    EXPECT_FALSE(Child<QAction>(Row, "actVideo")->isVisible());
    EXPECT_EQ(int(Child<QMenu>(Row, "mnuX")->actions().size()), int(StrokeIdMap().size()));
    EXPECT_EQ(int(Child<QMenu>(Row, "mnuY")->actions().size()), int(StrokeIdMap().size()) + 1);
    // Y axis "Empty": only the x axis title shows a parameter.
    QAction* yEmpty = Child<QMenu>(Row, "mnuY")->actions().front();
    QAction* zEmpty = Child<QMenu>(Row, "mnuZ")->actions().front();
    EXPECT_EQ(yEmpty->text(), "Empty");
    yEmpty->trigger();
    zEmpty->trigger();
    EXPECT_EQ(Row->RightY, -1);
    EXPECT_EQ(Row->RightZ, -1);
    TRowChart* right = Row->RightChartObject();
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(right->AxisTitle(0), "X  " + QString::fromStdString(StrokeLongCaption(0)));
    EXPECT_EQ(right->AxisTitle(1), "Y");
    EXPECT_EQ(right->AxisTitle(2), "Z");
    // "Empty" of the menu destroys the chart; the panel's menu, opened with a
    // right click where the chart was, brings it back.
    ASSERT_TRUE(ChooseFromPanelMenu(Child<QWidget>(Row, "pnlChartRight"), "&Empty"));
    EXPECT_EQ(Row->RightChartObject(), nullptr);
    EXPECT_EQ(Row->RightIndex, -1);
    ASSERT_TRUE(ChooseFromPanelMenu(Child<QWidget>(Row, "pnlChartRight"), "&Stroke data"));
    EXPECT_EQ(Row->RightIndex, -2);
    EXPECT_NE(Row->RightChartObject(), nullptr);
    Child<QAction>(Row, "actRightEmpty")->trigger();
    Child<QMenu>(Row, "mnuX")->actions().at(3)->trigger();
    EXPECT_EQ(Row->RightIndex, -2);
    EXPECT_EQ(Row->RightX, Child<QMenu>(Row, "mnuX")->actions().at(3)->data().toInt());
    EXPECT_NE(Row->RightChartObject(), nullptr);

    // Left menu: the check items toggle the options; "Empty" removes the chart.
    Row->CheckLeftMenu();
    EXPECT_TRUE(Child<QAction>(Row, "actLeftReference")->isChecked());
    Child<QAction>(Row, "actLeftReference")->trigger();
    EXPECT_FALSE(Row->LeftReference);
    ASSERT_TRUE(ChooseFromPanelMenu(Child<QWidget>(Row, "pnlChartLeft"), "&Empty"));
    EXPECT_EQ(Row->LeftIndex, -1);
    EXPECT_EQ(Row->LeftChartObject(), nullptr);
    ASSERT_TRUE(
        ChooseFromPanelMenu(Child<QWidget>(Row, "pnlChartLeft"), "&Previous curve"));  // back to the force curve
    EXPECT_EQ(Row->LeftIndex, 0);
    EXPECT_FALSE(Row->LeftPrevious);
    EXPECT_NE(Row->LeftChartObject(), nullptr);
}

TEST_F(RowWindow, ReferenceCurvesOfOtherSessions)
{
    // Another open session with a stroke and a force curve.
    TTraining other;
    ResetTraining(other);
    other.ClientId = 102;
    other.Header.Active = 1;
    SetStrokeCount(other, 1);
    other.Strokes[1].StrokeNumber = 1;
    other.Strokes[1].StrokeLength = 120;
    other.Header.SelectedStroke = 1;
    for (int i = 0; i < 80; ++i) other.Curves[1].Samples[i] = uint16_t(10 * i);
    Store.Add(other, 102);
    Open();
    ASSERT_NE(Row->LeftChartObject(), nullptr);
    EXPECT_EQ(Row->LeftChartObject()->DataSeriesCount(), 1);
    EXPECT_EQ(Row->LeftChartObject()->DataSeries(0)->count(), 80);
    Child<QAction>(Row, "actLeftReference")->trigger();  // off
    EXPECT_EQ(Row->LeftChartObject()->DataSeriesCount(), 0);
}

TEST_F(RowWindow, DemoStrokesReachCellsChartsStatusBarAndTrainingWindow)
{
    Open([](TTraining& t) {
        t.Settings.LimitType = 0;
        t.Settings.LimitStrokes = 0;  // no limit: nothing is clipped
    });
    // Before the first connect the window says how to start, over its charts.
    auto* hint = Row->findChild<QLabel*>("lblStartHint");
    ASSERT_NE(hint, nullptr);
    EXPECT_TRUE(hint->isVisible());
    EXPECT_TRUE(hint->text().contains("[Connect]"));
    EXPECT_TRUE(hint->text().contains("DEMO"));
    EXPECT_TRUE(Child<QWidget>(Row, "pnlCharts")->rect().contains(hint->geometry()));
    EXPECT_GT(hint->width(), Child<QWidget>(Row, "pnlCharts")->width() / 2);
    RowDemo(12);
    EXPECT_FALSE(hint->isVisible());
    TRowEngine& engine = Row->Engine();
    const int k = engine.StrokeIndex();
    const TTraining& s = Row->Session();
    // Value cells: the store holds the last stroke's values, the cells paint them.
    const TStgStrokeData& last = s.Strokes[size_t(k)];
    ASSERT_NE(Row->Values(), nullptr);
    EXPECT_FLOAT_EQ(float(Row->Values()->GetItem(1).Value), float(StrokeValue(last, 1, s.Settings)));
    EXPECT_FLOAT_EQ(float(Row->Values()->GetItem(0).Value), float(k));
    TValueCell* strokeCell = nullptr;
    for (int r = 0; r < Row->BottomArea()->RowCount(); ++r)
        for (int c = 0; c < Row->BottomArea()->Row(r)->CellCount(); ++c)
            if (Row->BottomArea()->Row(r)->Cell(c)->ID() == 1) strokeCell = Row->BottomArea()->Row(r)->Cell(c);
    ASSERT_NE(strokeCell, nullptr);
    strokeCell->grab();
    EXPECT_EQ(strokeCell->LastValueText().toStdString(),
              FormatValue(ParameterFormat(1), Row->Values()->GetItem(1).Value));
    // Right chart: power and pulse of strokes 2..k.
    TRowChart* right = Row->RightChartObject();
    ASSERT_NE(right, nullptr);
    ASSERT_GE(right->LineCount(), 2);
    EXPECT_GE(right->Line(0).Points.size(), 1);
    EXPECT_LE(right->Line(0).Points.size(), k - 1);
    EXPECT_EQ(right->AxisTitle(1), "Y  " + QString::fromStdString(StrokeLongCaption(1)));
    // Left chart: the current drive is drawn.
    EXPECT_GT(Row->NewSeries()->count() + Row->OldSeries()->count(), 0);
    // Status bar: port, button caption.
    EXPECT_EQ(Row->StatusBar->Panel(rpCOM).Text, "DEMO");
    EXPECT_EQ(Child<QPushButton>(Row, "btnConnect")->text(), "&Pause");
    // Training window grid follows.
    EXPECT_GE(Child<QTableView>(Training, "sgdStrokeData")->model()->rowCount(), k - 1);

    engine.Disconnect();
    Pump(50);
    EXPECT_EQ(Child<QPushButton>(Row, "btnConnect")->text(), "&Connect");
    EXPECT_EQ(Results.size(), 1u);  // distance rowed: the results are shown
    EXPECT_FALSE(MessageWindowShown());
}

TEST_F(RowWindow, MachineWithoutForceAndAStrapThatCannotStartAreShown)
{
    Open([](TTraining& t) {
        t.Settings.LimitType = 0;
        t.Settings.LimitStrokes = 0;
    });
    Row->SourceChooser = [](std::string& source, int& type) {
        source = "DEMO";
        type = kFtmsInterfaceType;
        return true;
    };
    Row->HeartChosen = true;
    Row->ChosenHeartSource = "capture:" + Root + "/no-strap.txt";
    Row->Engine().CaptureSpeed = 20;
    RowDemo(4);
    EXPECT_TRUE(Child<QLabel>(Row, "lblNoForceCurve")->isVisible());
    // Over the left chart, inside it.
    const QRect note = Child<QLabel>(Row, "lblNoForceCurve")->geometry();
    EXPECT_GE(note.left(), 0);
    EXPECT_LE(note.right(), Child<QWidget>(Row, "pnlChartLeft")->width());
    EXPECT_TRUE(Child<QLabel>(Row, "lblHeartNote")->isVisible());
    EXPECT_NE(Child<QLabel>(Row, "lblHeartNote")->text().toStdString().find("not found"), std::string::npos);
    // The strokes carry no pulse and no curve.
    for (int k = 1; k <= Row->Engine().StrokeIndex(); ++k) {
        EXPECT_EQ(+Row->Session().Strokes[size_t(k)].Pulse, 0) << k;
        EXPECT_EQ(+Row->Session().Curves[size_t(k)].HasData, 0) << k;
    }
    Row->Engine().Disconnect();
    Pump(50);
}

TEST_F(RowWindow, LimitReachedFinishesAndStopsTheDemo)
{
    Open([](TTraining& t) {
        t.Settings.LimitType = 0;
        t.Settings.LimitStrokes = 6;
        t.Header.Color = 0;  // black: the marker is darker than the labels
    });
    // The cell of the limit's parameter counts down and says so.
    EXPECT_EQ(Row->Values()->GetItem(0).Caption, "Strokes to go");
    EXPECT_EQ(Row->Values()->GetItem(7).Caption, "");
    RowDemo(6);
    Pump(100);
    EXPECT_TRUE(Row->Engine().Finished());
    EXPECT_EQ(Row->Engine().StrokeIndex(), 6);
    EXPECT_EQ(Results.size(), 1u);
    // Remaining strokes to the limit: 0 after the last one.
    EXPECT_EQ(Row->Values()->GetItem(0).Value, 0);
    const TfrmRow::TRuler r = Row->LimitRuler(QRect(0, 0, 207, 20));
    ASSERT_TRUE(r.Drawn);
    EXPECT_EQ(r.Marker.right(), r.Ticks.back() - 0);  // the marker stays at the limit

    // Another limit kind: the caption moves with it.
    Training->Training()->Settings.LimitType = 2;
    Training->Training()->Settings.LimitDistance = 500;
    Row->Engine().PushLimitValues();
    EXPECT_EQ(Row->Values()->GetItem(7).Caption, "Distance to go");
    EXPECT_EQ(Row->Values()->GetItem(0).Caption, "");
}

TEST_F(RowWindow, ClosingTellsTheMainWindowAndSavesSettings)
{
    Open();
    Row->RightZ = 7;
    Row->close();
    Pump();
    ASSERT_FALSE(CloseRequests.empty());
    EXPECT_EQ(CloseRequests.back(), 101);
    TProfileFile ini(SettingsFile(true));
    ini.Reload();
    EXPECT_EQ(ini.ReadInteger("Row", "RightZ", 0), 7);
    Row = nullptr;
}

TEST_F(RowWindow, ClosedFromInsideItsDisconnectQuestionTheWindowStaysUntilTheQuestionReturns)
{
    TScriptedDialogs dialogs;
    TDialogScope scope(dialogs);
    Open();
    RowDemo(4);
    QPointer<TfrmRow> row(Row);
    QPointer<QMdiSubWindow> frame(Row->SubWindow());
    ASSERT_TRUE(frame);
    bool wholeInside = false;
    dialogs.WhileShown = [&](const TScriptedDialogs::Shown&) {
        dialogs.WhileShown = nullptr;
        // The training window closing with it asks about the unsaved
        // strokes (kept: Cancel); then "disconnect?" is answered Yes.
        dialogs.Answers = {TMsgResult::Cancel, TMsgResult::Yes};
        row->close();
        // The box's event loop: the frame's queued close and the deletion it asks for come by.
        Pump(50);
        wholeInside = row && frame && row->Engine().ShuttingDown();
    };
    Child<QPushButton>(Row, "btnConnect")->click();
    Row = nullptr;
    EXPECT_TRUE(wholeInside);
    Pump(50);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(row.isNull());
    EXPECT_TRUE(frame.isNull());
    ASSERT_EQ(dialogs.Messages.size(), 2u);  // each asked once
    EXPECT_EQ(dialogs.Messages[0].Text, "The system is paused. Do you want to disconnect?");
    EXPECT_EQ(dialogs.Messages[1].Buttons, unsigned(mbSaveDiscardCancel));
    const TTraining* session = Store.Find(101);
    ASSERT_NE(session, nullptr);
    EXPECT_GE(session->StrokeCount(), 4);
    EXPECT_EQ(session->RowStatus, rsFinished);
    EXPECT_EQ(CloseRequests, std::vector<int32_t>{101});
}

TEST_F(RowWindow, LiveForceCurveKeepsThePartOfThePreviousDriveNotYetOvertaken)
{
    Open();
    TRowEngine& engine = Row->Engine();
    Row->Session().Header.SelectedStroke = 1;  // a stroke was stored: the curves stay at the recovery
    engine.VTInterfaceStartingStroke(nullptr);
    for (int puls = 1; puls <= 5; ++puls) engine.VTInterfaceForceData(nullptr, puls, 10.0 * puls, 100.0 * puls, 0.01);
    EXPECT_EQ(Row->NewSeries()->count(), 5);
    engine.VTInterfaceStartingRecover(nullptr);
    EXPECT_EQ(Row->OldSeries()->count(), 0);
    EXPECT_EQ(Row->NewSeries()->count(), 5);  // the drive stays until the next one starts
    engine.VTInterfaceStartingStroke(nullptr);
    EXPECT_EQ(Row->NewSeries()->count(), 0);
    // A sample at index 2 of the next drive: the previous drive from index 2
    // on is still shown (the part not yet overtaken).
    engine.VTInterfaceForceData(nullptr, 2, 15.0, 150.0, 0.01);
    EXPECT_EQ(Row->NewSeries()->count(), 1);
    ASSERT_EQ(Row->OldSeries()->count(), 4);
    EXPECT_EQ(Row->OldSeries()->at(0), QPointF(20.0, 200.0));
    // The recovery start zeroed the forces from the last received index on.
    EXPECT_EQ(Row->OldSeries()->at(3), QPointF(50.0, 0.0));
    // Without the previous curve nothing old is drawn.
    Row->LeftPrevious = false;
    engine.VTInterfaceForceData(nullptr, 3, 25.0, 200.0, 0.01);
    EXPECT_EQ(Row->OldSeries()->count(), 0);
    EXPECT_EQ(Row->NewSeries()->count(), 2);
}

// The status bar repaints the panels whose text changed, not itself whole
// (its button included) at every change of the drive and recovery sign.
class TPaintRegions : public QObject {
public:
    std::vector<QRect> Regions;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            Regions.push_back(static_cast<QPaintEvent*>(event)->region().boundingRect());
        return false;
    }
};

TEST_F(RowWindow, ADriveSignRepaintsOnlyItsStatusPanel)
{
    Open();
    Row->Session().Header.SelectedStroke = 1;
    QApplication::processEvents();
    TPaintRegions bar, button;
    Row->StatusBar->installEventFilter(&bar);
    Row->findChild<QPushButton*>("btnConnect")->installEventFilter(&button);
    TRowEngine& engine = Row->Engine();
    engine.VTInterfaceStartingStroke(nullptr);
    QApplication::processEvents();
    engine.VTInterfaceStartingRecover(nullptr);
    QApplication::processEvents();
    EXPECT_EQ(Row->StatusBar->Panel(rpSR).Text, "R");
    ASSERT_FALSE(bar.Regions.empty());
    for (const QRect& r : bar.Regions)
        EXPECT_TRUE(Row->StatusBar->PanelRect(rpSR).contains(r)) << r.x() << " " << r.width();
    EXPECT_TRUE(button.Regions.empty());
    Row->StatusBar->removeEventFilter(&bar);
    Row->findChild<QPushButton*>("btnConnect")->removeEventFilter(&button);
}

// The samples of a drive keep the live curve current, but the chart is not
// repainted for each of them: at most once per repaint interval, and at once
// when the recovery starts.
TEST_F(RowWindow, ADrivesSamplesRepaintTheForceChartTogether)
{
    Open();
    Row->LiveCurveRepaintMs = 60000;  // no second repaint while the drive lasts
    Row->Session().Header.SelectedStroke = 1;
    TRowEngine& engine = Row->Engine();
    engine.VTInterfaceStartingStroke(nullptr);
    QApplication::processEvents();
    QWidget* viewport = Row->LeftChartObject()->View()->viewport();
    TPaintRegions paints;
    viewport->installEventFilter(&paints);
    for (int puls = 1; puls <= 30; ++puls) {
        engine.VTInterfaceForceData(nullptr, puls, 4.0 * puls, 20.0 * puls, 0.01);
        QApplication::processEvents();
        EXPECT_EQ(Row->NewSeries()->count(), puls);
    }
    EXPECT_LE(paints.Regions.size(), 1u);
    engine.VTInterfaceStartingRecover(nullptr);
    QApplication::processEvents();
    EXPECT_NE(Row->LeftChartObject()->View()->viewportUpdateMode(), QGraphicsView::NoViewportUpdate);
    EXPECT_GE(paints.Regions.size(), 1u);
    const size_t atRecovery = paints.Regions.size();
    // With no interval every sample is painted.
    Row->LiveCurveRepaintMs = 0;
    engine.VTInterfaceStartingStroke(nullptr);
    engine.VTInterfaceForceData(nullptr, 1, 4.0, 20.0, 0.01);
    QApplication::processEvents();
    EXPECT_GT(paints.Regions.size(), atRecovery);
    viewport->removeEventFilter(&paints);
}

TEST_F(RowWindow, StoredForceCurvesAreDrawnAtTheirSampleSpacing)
{
    Open();
    TTraining& s = Row->Session();
    SetStrokeCount(s, 3);
    for (int i = 0; i < 80; ++i) {
        s.Curves[2].Samples[i] = uint16_t(i);
        s.Curves[3].Samples[i] = uint16_t(2 * i);
    }
    Row->ForceCurveStored(3);
    ASSERT_EQ(Row->NewSeries()->count(), 80);
    EXPECT_EQ(Row->NewSeries()->at(0), QPointF(4.5, 0));
    EXPECT_EQ(Row->NewSeries()->at(79), QPointF(360, 158));
    ASSERT_EQ(Row->OldSeries()->count(), 80);
    EXPECT_EQ(Row->OldSeries()->at(79).y(), 79);
    Row->ForceCurveStored(1);  // no previous stroke
    EXPECT_EQ(Row->OldSeries()->count(), 0);
}

TEST_F(RowWindow, LayoutDefaultsOnlyFromTheProgramSettingsFile)
{
    Open();
    Row->RightZ = 9;
    Row->LeftChart = false;
    Row->Engine().Inertia = 1234;
    const std::string other = Root + "empty.ini";
    WriteFileText(other);
    Row->LoadSettings(other, 1);
    EXPECT_EQ(Row->RightZ, 9);
    EXPECT_FALSE(Row->LeftChart);
    EXPECT_EQ(Row->Engine().Inertia, 8800);  // tuning defaults before every load
    Row->LoadSettings(SettingsFile(false), 1);
    EXPECT_EQ(Row->RightZ, 12);
    EXPECT_TRUE(Row->LeftChart);
}

TEST_F(RowWindow, IntervalPanelColourAndAppearance)
{
    Open([](TTraining& t) {
        t.Settings.LimitType = 4;
        t.Settings.LimitIntervals = 3;
    });
    Row->SubWindow()->showNormal();
    Row->SubWindow()->resize(900, 600);
    Pump(50);
    const QRect sr = Row->StatusBar->PanelRect(rpSR);
    QImage bar = Row->StatusBar->grab().toImage();
    EXPECT_EQ(QColor(bar.pixel(sr.center().x(), sr.top() + 3)), QColor(0, 128, 0));
    // The panel widths follow the status bar: panel 4 takes the rest.
    int others = 0;
    for (int i : {0, 1, 2, 3, 5}) others += Row->StatusBar->Panel(i).Width;
    EXPECT_EQ(Row->StatusBar->Panel(rpAnimation).Width, Row->StatusBar->contentsRect().width() - others);
    EXPECT_EQ(Child<QPushButton>(Row, "btnConnect")->width(), 90);

    TAppearance look;
    look.Font = QFont("Arial", 11);
    look.TextColor = Qt::darkBlue;
    look.WindowColor = Qt::yellow;
    look.FaceColor = Qt::cyan;
    Row->SetAppearance(look);
    EXPECT_EQ(Row->BottomArea()->PanelColor(), QColor(Qt::cyan));
    EXPECT_EQ(Row->BottomArea()->font().pointSize(), 11);
    EXPECT_EQ(Child<QPlainTextEdit>(Row, "memLog")->palette().color(QPalette::Base), QColor(Qt::yellow));
    EXPECT_EQ(Child<QPushButton>(Row, "btnConnect")->palette().color(QPalette::ButtonText), QColor(Qt::black));
    bar = Row->StatusBar->grab().toImage();
    const QRect com = Row->StatusBar->PanelRect(rpCOM);
    EXPECT_EQ(QColor(bar.pixel(com.center().x(), com.top() + 3)), QColor(Qt::yellow));
}

TEST_F(RowWindow, SlidingStrokeChartShowsTheLastDataRangeStrokes)
{
    Open();
    TTraining& s = Row->Session();
    auto fill = [&](int n) {
        SetStrokeCount(s, n);
        for (int k = 1; k <= n; ++k) {
            TStgStrokeData& st = s.Strokes[size_t(k)];
            st.StrokeNumber = uint16_t(k);
            st.Power = 100.0f + float(k % 50);
            st.Distance = 5.0f * float(k);
            st.Pulse = 120.0f;
        }
    };
    const int saved = DataRange();
    SetDataRange(5);
    fill(40);
    Row->RebuildRightChart();
    QList<QPointF> power = Row->RightChartObject()->Line(0).Points;
    ASSERT_EQ(power.size(), 6);  // strokes 35..40
    EXPECT_EQ(power.at(0).x(), 35);
    EXPECT_EQ(power.at(5).x(), 40);

    // Many strokes: the line is drawn through fewer points, the ends and the
    // extremes stay.
    SetDataRange(65535);
    fill(20000);
    Pump(50);
    Row->RebuildRightChart();
    power = Row->RightChartObject()->Line(0).Points;
    EXPECT_LT(power.size(), 19999);
    EXPECT_GT(power.size(), 10);
    EXPECT_EQ(power.at(0).x(), 2);
    EXPECT_EQ(power.at(power.size() - 1).x(), 20000);
    double lo = 1e9, hi = -1e9;
    for (const QPointF& p : power) {
        lo = std::min(lo, p.y());
        hi = std::max(hi, p.y());
    }
    EXPECT_EQ(lo, 100);
    EXPECT_EQ(hi, 149);
    SetDataRange(saved);
}

TEST_F(RowWindow, ResetInTheTrainingWindowRestartsTheRecording)
{
    Open();
    TRowEngine& engine = Row->Engine();
    TStgStrokeData st{};
    st.StrokeNumber = 1;
    st.Power = 150;
    st.Distance = 5;
    engine.InterfaceStrokeData(nullptr, st);
    EXPECT_EQ(engine.StrokeIndex(), 1);
    Child<QPushButton>(Training, "btnReset")->click();  // the question's default answer is Yes
    EXPECT_EQ(Training->Record().StrokeCount(), 0);
    EXPECT_EQ(engine.StrokeIndex(), 0);
    EXPECT_EQ(Row->Values()->GetItem(1).Value, 0);
}

TEST_F(RowWindow, DisconnectingADeviceThatKeepsSendingReportsNoError)
{
    // A VT device on a pseudo-terminal, sending at its real pace (a frame
    // every 1.3 ms) whether anyone reads or not.
    TPty pty;
    std::atomic<bool> stop{false};
    const std::string frames = VTFrames(RowingTicks(400), vtpVtw);
    std::thread device([&] {
        for (size_t at = 0; !stop && at + 4 <= frames.size(); at += 4) {
            (void)!write(pty.MasterFd(), frames.data() + at, 4);
            std::this_thread::sleep_for(std::chrono::microseconds(1300));
        }
    });
    struct TStop {
        std::atomic<bool>& Stop;
        std::thread& Device;
        ~TStop()
        {
            Stop = true;
            Device.join();
        }
    } stopAtEnd{stop, device};
    TScriptedDialogs dialogs;
    TDialogScope scope(dialogs);
    Open();
    Row->SourceChooser = [&pty](std::string& source, int& type) {
        source = pty.SlavePath();
        type = 1;
        return true;
    };
    // Rowed a little, then Pause and Yes to "disconnect?": the program
    // closes its own port. The close races with the arriving data, so a few
    // rounds are rowed (connecting again discards the unsaved strokes).
    for (int round = 0; round < 3; ++round) {
        dialogs.Clear();
        if (round > 0) dialogs.Answers = {TMsgResult::Discard};
        QTimer::singleShot(0, Row, [this] { Row->Engine().BtnConnectClick(); });
        QElapsedTimer t;
        t.start();
        auto rowing = [this] {
            return Row->Engine().Interface() && Row->Session().RowStatus == rsRowing &&
                   Row->Engine().StrokeIndex() >= 2;
        };
        while (!rowing() && t.elapsed() < 20000) QApplication::processEvents();
        ASSERT_TRUE(rowing()) << dialogs.LastText();
        dialogs.Answers = {TMsgResult::Yes};
        Child<QPushButton>(Row, "btnConnect")->click();
        Pump(200);
        EXPECT_EQ(Row->Engine().Interface(), nullptr);
        EXPECT_EQ(Child<QPushButton>(Row, "btnConnect")->text(), "&Connect");
        ASSERT_FALSE(dialogs.Messages.empty());
        EXPECT_EQ(dialogs.LastText(), "The system is paused. Do you want to disconnect?");
        for (const auto& m : dialogs.Messages) EXPECT_NE(m.Kind, TMsgKind::Error) << m.Text;
        ASSERT_EQ(Child<QPlainTextEdit>(Row, "memLog")->toPlainText().indexOf("Error"), -1)
            << Child<QPlainTextEdit>(Row, "memLog")->toPlainText().toStdString();
    }
}

TEST_F(RowWindow, LabelsOfTheLimitRulerStayReadableUnderTheMarker)
{
    Open([](TTraining& t) {
        t.Settings.LimitType = 2;
        t.Settings.LimitDistance = 600;  // labels every 60 m
        t.Header.Color = 0;              // black: as dark as the labels
    });
    // At 147 m the marker stands centred over the label "120".
    TStgStrokeData rec = EmptyStroke(1);
    rec.Power = 150;
    rec.Distance = 147;
    rec.Time = 30;
    Row->Engine().InterfaceStrokeData(nullptr, rec);
    ASSERT_EQ(Row->Engine().StrokeIndex(), 1);
    const QRect panel(0, 0, 400, 60);
    const TfrmRow::TRuler ruler = Row->LimitRuler(panel);
    ASSERT_TRUE(ruler.Drawn);
    ASSERT_EQ(ruler.Labels[2], "120");
    ASSERT_NEAR(QRectF(ruler.Marker).center().x(), ruler.Ticks[2], 2);
    QImage image(panel.size(), QImage::Format_RGB32);
    {
        QPainter painter(&image);
        Row->StatusBar->DrawPanel(painter, rpAnimation, panel);
    }
    // Inside the marker's core the label shows as light strokes.
    const QPointF centre = QRectF(ruler.Marker).center();
    const double a = ruler.Marker.width() / 2.0 * 0.8, b = ruler.Marker.height() / 2.0 * 0.8;
    int light = 0, core = 0;
    for (int y = ruler.Marker.top(); y <= ruler.Marker.bottom(); ++y)
        for (int x = ruler.Marker.left(); x <= ruler.Marker.right(); ++x) {
            const double dx = (x + 0.5 - centre.x()) / a, dy = (y + 0.5 - centre.y()) / b;
            if (dx * dx + dy * dy > 1) continue;
            ++core;
            if (QColor(image.pixel(x, y)).lightness() > 160) ++light;
        }
    ASSERT_GT(core, 100);
    EXPECT_GT(light, 5);
    EXPECT_LT(light, core / 4);  // the marker itself is drawn
}

TEST_F(RowWindow, EveryPointOfTheStrokeChartLiesInsideItsAxes)
{
    Open();
    TTraining& s = Row->Session();
    // A steady row with a sprint (251 W), the strokes of a pause (10 W) and
    // a pulse far below the usual window.
    SetStrokeCount(s, 60);
    for (int k = 1; k <= 60; ++k) {
        TStgStrokeData& st = s.Strokes[size_t(k)];
        st.StrokeNumber = uint16_t(k);
        st.Power = k == 30 ? 251.0f : k > 50 ? 10.0f : 150.0f + float(k % 7);
        st.Distance = 8.0f * float(k);
        st.Pulse = k > 40 ? 35.0f : 130.0f;
    }
    s.Header.SelectedStroke = 60;
    Row->RebuildRightChart();
    QChart* chart = Row->RightChartObject()->Chart();
    ASSERT_NE(chart, nullptr);
    int checked = 0;
    for (QAbstractSeries* a : chart->series()) {
        auto* series = qobject_cast<QXYSeries*>(a);
        if (!series || series->count() == 0) continue;
        const auto axes = series->attachedAxes();
        for (QAbstractAxis* axis : axes) {
            auto* v = qobject_cast<QValueAxis*>(axis);
            if (!v) continue;
            const bool vertical = v->orientation() == Qt::Vertical;
            for (int i = 0; i < series->count(); ++i) {
                const double value = vertical ? series->at(i).y() : series->at(i).x();
                EXPECT_GE(value, v->min()) << series->name().toStdString() << " point " << i;
                EXPECT_LE(value, v->max()) << series->name().toStdString() << " point " << i;
                ++checked;
            }
        }
    }
    // The lines the chart draws itself, on the bottom axis and their side's.
    TRowChart* right = Row->RightChartObject();
    for (int l = 0; l < right->LineCount(); ++l) {
        const TChartRenderer::TLine line = right->Line(l);
        auto* x = qobject_cast<QValueAxis*>(right->Axis(0));
        auto* y = qobject_cast<QValueAxis*>(right->Axis(line.Side == TAxisSide::Left ? 1 : 2));
        if (!x || !y) continue;
        for (const QPointF& p : line.Points) {
            EXPECT_GE(p.x(), x->min()) << "line " << l;
            EXPECT_LE(p.x(), x->max()) << "line " << l;
            EXPECT_GE(p.y(), y->min()) << "line " << l;
            EXPECT_LE(p.y(), y->max()) << "line " << l;
            ++checked;
        }
    }
    EXPECT_GT(checked, 100);
}
