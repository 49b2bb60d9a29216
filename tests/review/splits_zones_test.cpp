// The Splits page of the training window (splits by distance, strokes and
// time, following a live recording) with the heart-rate zones the rower
// edits, and the zones in the results window.
#include <gtest/gtest.h>

#include <cstdlib>

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include "core/catalogue.h"
#include "core/splits.h"
#include "review/results_window.h"
#include "review/training_window.h"
#include "review/zone_box.h"
#include "tests/review/testutil_review.h"
#include "tests/support/child.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/testutil_logic.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/profile.h"

namespace {

std::string Cell(const QTableView* v, int row, int col)
{
    return v->model()->data(v->model()->index(row, col)).toString().toStdString();
}

// The grid column of split catalogue entry i.
int Column(int i)
{
    const auto& map = SplitIdMap();
    for (size_t slot = 0; slot < map.size(); ++slot)
        if (map[slot] == i) return int(slot) + 1;
    return -1;
}

std::string Text(const QLabel* l) { return l->text().toStdString(); }

class SplitsZonesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp();
        BuildCatalogues();
    }
    TReviewEnv Env;
    TTestRegistry Registry;
    TScriptedDialogs Dialog;
    TDialogScope Scope{Dialog};
};

}  // namespace

TEST_F(SplitsZonesTest, SplitsPageByDistanceStrokesAndTime)
{
    // 400 strokes of 5 m and 2.5 s: 2000 m in 1000 s, pulse 120.
    TfrmTraining w(Registry.Store, Registry.Open(MakeRowedSession(400), 102));
    w.RefreshAll();
    QTableView* g = w.findChild<QTableView*>("sgdSplits");
    ASSERT_TRUE(g);
    EXPECT_TRUE(w.findChild<QRadioButton*>("rbtDistance")->isChecked());
    EXPECT_EQ(Child<QComboBox>(w, "cmbSplits")->currentText().toStdString(), "500 meter");
    ASSERT_EQ(g->model()->rowCount(), 4);
    EXPECT_EQ(Cell(g, 0, 0), "   1");
    EXPECT_EQ(Cell(g, 0, Column(3)), "500.0");    // distance in split
    EXPECT_EQ(Cell(g, 0, Column(5)), "04:10.0");  // time in split
    EXPECT_EQ(Cell(g, 3, Column(4)), "16:40.0");  // time cumulative
    EXPECT_EQ(Cell(g, 0, Column(1)), "100");      // strokes in split
    EXPECT_EQ(Cell(g, 0, Column(15)), "120");     // pulse

    w.findChild<QRadioButton*>("rbtStrokes")->setChecked(true);
    EXPECT_EQ(Child<QComboBox>(w, "cmbSplits")->currentText().toStdString(), "20 strokes");
    EXPECT_EQ(g->model()->rowCount(), 20);
    w.findChild<QRadioButton*>("rbtTime")->setChecked(true);
    Child<QComboBox>(w, "cmbSplits")->setCurrentIndex(1);  // 1:00
    ASSERT_EQ(g->model()->rowCount(), 17);                 // 16 minutes and 40 s
    EXPECT_EQ(Cell(g, 16, Column(5)), "00:40.0");

    // While a row runs, the page follows the strokes when it is in view.
    w.findChild<QRadioButton*>("rbtDistance")->setChecked(true);
    Child<QTabWidget>(w, "pgcTraining")->setCurrentWidget(Child<QWidget>(w, "tshSplits"));
    TTraining& live = *w.Training();
    for (int k = 0; k < 20; ++k) AppendStroke(live);
    w.RefreshStrokeData();
    EXPECT_EQ(g->model()->rowCount(), 5);
    EXPECT_EQ(Cell(g, 4, Column(3)), "100.0");
}

TEST_F(SplitsZonesTest, ZonesFollowTheMaximumTheRowerSets)
{
    TfrmTraining w(Registry.Store, Registry.Open(MakeRowedSession(400), 102));
    w.RefreshAll();
    TZoneBox* z = w.findChild<TZoneBox*>("gbxZones");
    ASSERT_TRUE(z);
    // Maximum 190 by default: 120 bpm is zone 2 (114-132), the whole 16:40.
    EXPECT_EQ(z->findChild<QLineEdit*>("edtMaxHeartRate")->text(), "190");
    EXPECT_EQ(Text(z->findChild<QLabel*>("lblZone2")), "Zone 2 (114-132)");
    EXPECT_EQ(Text(z->findChild<QLabel*>("lblZoneTime2")), "16:40 (100 %)");
    EXPECT_EQ(Text(z->findChild<QLabel*>("lblZoneTime1")), "00:00 (0 %)");

    // A maximum of 150 makes 120 bpm 80 %: zone 4. Kept in the settings.
    QLineEdit* max = z->findChild<QLineEdit*>("edtMaxHeartRate");
    max->setText("150");
    emit max->editingFinished();
    EXPECT_EQ(Text(z->findChild<QLabel*>("lblZoneTime4")), "16:40 (100 %)");
    EXPECT_EQ(Text(z->findChild<QLabel*>("lblZone4")), "Zone 4 (120-134)");
    {
        TProfileFile ini(SettingsFile(false));
        EXPECT_EQ(ini.ReadInteger("HeartRate", "MaxHeartRate", 0), 150);
    }
    // Bounds that do not rise are refused and put back.
    QLineEdit* zone3 = z->findChild<QLineEdit*>("edtZone3");
    zone3->setText("55");
    emit zone3->editingFinished();
    EXPECT_NE(Dialog.LastText().find("must rise"), std::string::npos);
    EXPECT_EQ(zone3->text(), "70");
    max->setText("abc");
    emit max->editingFinished();
    EXPECT_EQ(max->text(), "150");
    // Another window reads the rower's maximum.
    TfrmResults r;
    r.ShowResults(*w.Training());
    ASSERT_TRUE(Child<TZoneBox>(r, "gbxZones"));
    EXPECT_TRUE(Child<TZoneBox>(r, "gbxZones")->isVisibleTo(&r));
    EXPECT_EQ(Text(Child<TZoneBox>(r, "gbxZones")->findChild<QLabel*>("lblZoneTime4")), "16:40 (100 %)");
    EXPECT_FALSE(Child<TZoneBox>(r, "gbxZones")->findChild<QLineEdit*>("edtMaxHeartRate"));  // shown, not edited there
}

TEST_F(SplitsZonesTest, ResultsWithoutAPulseShowNoZones)
{
    TTraining t = MakeRowedSession(50);
    for (int k = 1; k <= 50; ++k) t.Strokes[size_t(k)].Pulse = 0;
    TfrmResults r;
    r.ShowResults(t);
    EXPECT_FALSE(Child<TZoneBox>(r, "gbxZones")->isVisibleTo(&r));
    TfrmTraining w(Registry.Store, Registry.Open(t, 103));
    w.RefreshAll();
    TZoneBox* z = w.findChild<TZoneBox*>("gbxZones");
    EXPECT_EQ(Text(z->findChild<QLabel*>("lblZoneTime1")), "-");
    EXPECT_EQ(Text(z->findChild<QLabel*>("lblZoneNone")), "02:05");
}

TEST_F(SplitsZonesTest, SplitColumnsShowTheirCaptionsWhole)
{
    TfrmTraining w(Registry.Store, Registry.Open(MakeRowedSession(400), 102));
    w.RefreshAll();
    QTableView* g = w.findChild<QTableView*>("sgdSplits");
    ASSERT_TRUE(g);
    QHeaderView* header = g->horizontalHeader();
    const QFontMetrics metrics(header->font());
    auto expectWhole = [&] {
        for (int c = 1; c < g->model()->columnCount(); ++c) {
            const QString caption = g->model()->headerData(c, Qt::Horizontal).toString();
            EXPECT_GE(g->columnWidth(c), metrics.horizontalAdvance(caption)) << caption.toStdString();
        }
    };
    expectWhole();
    // Cutting the splits anew keeps them whole, and a width the rower dragged
    // stays.
    g->setColumnWidth(Column(3), 400);
    w.findChild<QRadioButton*>("rbtStrokes")->setChecked(true);
    EXPECT_EQ(g->columnWidth(Column(3)), 400);
    expectWhole();
}

TEST_F(SplitsZonesTest, ZonesGoBelowTheSplitsOnANarrowWindow)
{
    TfrmTraining w(Registry.Store, Registry.Open(MakeRowedSession(400), 102));
    w.RefreshAll();
    auto* tabs = w.findChild<QTabWidget*>();
    ASSERT_TRUE(tabs);
    tabs->setCurrentWidget(w.findChild<QWidget*>("tshSplits"));
    auto* grid = w.findChild<QTableView*>("sgdSplits");
    auto* zones = w.findChild<QWidget*>("gbxZones");
    ASSERT_TRUE(grid && zones);
    // A restored window: the grid keeps the page's width, the zones below.
    w.resize(660, 520);
    w.show();
    QApplication::processEvents();
    EXPECT_GT(zones->geometry().top(), grid->geometry().top());
    EXPECT_GT(grid->width(), w.width() * 3 / 4);
    // A wide window: the zones stand beside the grid.
    w.resize(1800, 900);
    QApplication::processEvents();
    EXPECT_GT(zones->geometry().left(), grid->geometry().right());
    EXPECT_LE(std::abs(zones->geometry().top() - grid->geometry().top()), 20);
}
