// Chart options and column selection dialogs on real sessions and grids.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QHeaderView>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QTableView>

#include "core/records.h"
#include "framework/chart_dialogs.h"
#include "framework/window_util.h"
#include "tests/support/child.h"
#include "tests/support/testutil_framework.h"

namespace {
TTraining Session(int color, int style, int width)
{
    TTraining t;
    ClearTraining(t);
    t.Header.Title.SetText("Morning row");
    t.Header.Color = color;
    t.Header.PenStyle = uint8_t(style);
    t.Header.PenWidth = width;
    return t;
}

// A grid of 5 columns (header "#", "A".."D") and 2 rows.
void FillGrid(QStandardItemModel& model, QTableView& view)
{
    model.setColumnCount(5);
    model.setHorizontalHeaderLabels({"#", "A", "B", "C", "D"});
    for (int r = 0; r < 2; ++r) {
        QList<QStandardItem*> row;
        for (int c = 0; c < 5; ++c) row << new QStandardItem(QString("r%1c%2").arg(r + 1).arg(c));
        model.appendRow(row);
    }
    view.setModel(&model);
    view.horizontalHeader()->setDefaultSectionSize(64);
}
}  // namespace

TEST(ChartOptions, SolidWidthThreeOpensCheckedAndDotGivesStyleTwoWidthOne)
{
    TestApp();
    TfrmChartOptions d;
    TTraining t = Session(0x0000FF, 0, 3);
    d.Prepare(t);
    EXPECT_EQ(d.windowTitle(), "Chart options for \"Morning row\"");
    EXPECT_TRUE(d.rbnSolid3->isChecked());
    EXPECT_EQ(d.SelectedColor(), 0x0000FF);
    d.rbnDot->setChecked(true);
    d.Apply(t);
    EXPECT_EQ(t.Header.PenStyle, 2);
    EXPECT_EQ(t.Header.PenWidth, 1);
    EXPECT_EQ(t.Header.Color, 0x0000FF);
}

TEST(ChartOptions, StylesMapToButtonsBothWays)
{
    TestApp();
    TfrmChartOptions d;
    struct Case {
        int Style, Width;
        QRadioButton* TfrmChartOptions::*Button;
    };
    const Case cases[] = {{1, 1, &TfrmChartOptions::rbnDash},       {3, 1, &TfrmChartOptions::rbnDashDot},
                          {4, 1, &TfrmChartOptions::rbnDashDotDot}, {2, 1, &TfrmChartOptions::rbnDot},
                          {0, 1, &TfrmChartOptions::rbnSolid1},     {0, 2, &TfrmChartOptions::rbnSolid2},
                          {0, 4, &TfrmChartOptions::rbnSolid4},     {0, 9, &TfrmChartOptions::rbnSolid4},
                          {0, 0, &TfrmChartOptions::rbnSolid1}};
    for (const Case& c : cases) {
        TTraining t = Session(0, c.Style, c.Width);
        d.Prepare(t);
        EXPECT_TRUE((d.*c.Button)->isChecked()) << c.Style << "/" << c.Width;
        TTraining out = Session(0, 7, 7);
        d.Apply(out);
        EXPECT_EQ(out.Header.PenStyle, c.Style);
        EXPECT_EQ(out.Header.PenWidth, c.Width < 1 ? 1 : c.Width > 4 ? 4 : c.Width);
    }
}

TEST(ChartOptions, ColourOutsideTheGridStaysUnlessAnotherIsChosen)
{
    TestApp();
    TfrmChartOptions d;
    TTraining t = Session(0x123456, 0, 1);
    d.Prepare(t);
    EXPECT_EQ(d.SelectedColor(), -1);
    d.Apply(t);
    EXPECT_EQ(t.Header.Color, 0x123456);
    d.SelectColor(0x00FF00);
    d.Apply(t);
    EXPECT_EQ(t.Header.Color, 0x00FF00);
}

TEST(ChartOptions, CancelLeavesTheSessionUnchangedAndOkApplies)
{
    TestApp();
    SetSharedDialogParent(nullptr);
    TTraining t = Session(0x0000FF, 0, 3);
    WhenModal([](QWidget* w) {
        auto* d = qobject_cast<TfrmChartOptions*>(w);
        ASSERT_NE(d, nullptr);
        d->rbnDash->setChecked(true);
        d->SelectColor(0xFF0000);
        Child<QPushButton>(d, "btbCancel")->click();
    });
    EXPECT_FALSE(EditChartOptions(t));
    EXPECT_EQ(t.Header.Color, 0x0000FF);
    EXPECT_EQ(t.Header.PenStyle, 0);
    EXPECT_EQ(t.Header.PenWidth, 3);

    WhenModal([](QWidget* w) {
        auto* d = qobject_cast<TfrmChartOptions*>(w);
        d->rbnDash->setChecked(true);
        d->SelectColor(0xFF0000);
        Child<QPushButton>(d, "btbOk")->click();
    });
    EXPECT_TRUE(EditChartOptions(t));
    EXPECT_EQ(t.Header.Color, 0xFF0000);
    EXPECT_EQ(t.Header.PenStyle, 1);
    EXPECT_EQ(t.Header.PenWidth, 1);
    FreeSharedDialogs();
}

TEST(SelectColumns, WidthRule)
{
    std::vector<int> widths = {30, 40, -1, 50, -1};
    ApplyColumnSelection(widths, {false, true, true, false}, 64);
    EXPECT_EQ(widths, (std::vector<int>{30, -1, 64, 50, -1}));
}

TEST(SelectColumns, UncheckedColumnIsHiddenInGridAndCopyAndCheckingRestoresDefaultWidth)
{
    TestApp();
    QStandardItemModel model;
    QTableView view;
    FillGrid(model, view);
    view.setColumnWidth(1, 90);
    TfrmSelectColumns& d = SelectColumnsDialog();
    d.Prepare(&view);
    ASSERT_EQ(d.clbColumns->count(), 4);  // column 0 is never offered
    EXPECT_EQ(d.clbColumns->item(0)->text(), "A");
    EXPECT_EQ(d.clbColumns->item(0)->checkState(), Qt::Checked);
    d.clbColumns->item(2)->setCheckState(Qt::Unchecked);  // column "C"
    d.Apply(&view);
    EXPECT_TRUE(view.isColumnHidden(3));
    EXPECT_EQ(view.columnWidth(1), 90);  // checked and shown: unchanged

    CopyGrid(&view, cmData);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "r1c1\tr1c2\tr1c4\r\nr2c1\tr2c2\tr2c4\r\n");
    EXPECT_EQ(ColumnWidthsOf(&view).substr(0, 3), "90 ");

    d.Prepare(&view);
    EXPECT_EQ(d.clbColumns->item(2)->checkState(), Qt::Unchecked);
    d.clbColumns->item(2)->setCheckState(Qt::Checked);
    d.Apply(&view);
    EXPECT_FALSE(view.isColumnHidden(3));
    EXPECT_EQ(view.columnWidth(3), 64);
    FreeSharedDialogs();
}

TEST(GridCopy, ModesAllAndCurrentRow)
{
    TestApp();
    QStandardItemModel model;
    QTableView view;
    FillGrid(model, view);
    model.item(0, 1)->setText("  two\r\nlines ");
    view.setCurrentIndex(model.index(1, 2));
    CopyGrid(&view, cmRow);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "r2c1\tr2c2\tr2c3\tr2c4\r\n");
    CopyGrid(&view, cmAll);
    QString all = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(all.startsWith("#\tA\tB\tC\tD\r\nr1c0\ttwo; lines\t")) << all.toStdString();
}

TEST(GridCopy, ColumnWidthsTextRoundTrip)
{
    TestApp();
    QStandardItemModel model;
    QTableView view;
    FillGrid(model, view);
    ApplyColumnWidthsTo(&view, "40 60 ");
    EXPECT_EQ(view.columnWidth(1), 40);
    EXPECT_EQ(view.columnWidth(2), 60);
    EXPECT_EQ(view.columnWidth(3), 64);
    ApplyColumnWidthsTo(&view, "40 60 -1 ");
    EXPECT_TRUE(view.isColumnHidden(3));
    EXPECT_EQ(ColumnWidthsOf(&view), "40 60 -1 64 ");
}
