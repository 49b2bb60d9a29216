// The common chart window as drawn and used: the session list's entries
// (label, swatch, plain or crossed line sample), the line samples of the
// data grid, the row copy, the Active action, the picture's product line
// with the date, and the stroke axes scaled by the parameters' scale modes.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QChart>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDate>
#include <QListWidget>
#include <QLocale>
#include <QTableView>
#include <QValueAxis>

#include "charts/stroke_data_window.h"
#include "core/catalogue.h"
#include "framework/window_util.h"
#include "tests/charts/testutil_charts.h"
#include "tests/support/child.h"

namespace {

constexpr int32_t kRed = 0x0000FF, kBlue = 0xFF0000;

class ChartWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp();
        BuildCatalogues();
    }
    void TearDown() override { delete Window.data(); }
    TfrmStrokeData* Open()
    {
        auto* w = CreateStrokeDataWindow(nullptr, Registry.Store, Env.Settings());
        Window = w;
        w->showNormal();
        w->resize(900, 700);
        QApplication::processEvents();
        return w;
    }
    static int Count(const QImage& image, const QRect& area, int32_t color)
    {
        const QRgb want = ToQColor(color).rgb() & 0xFFFFFF;
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (image.rect().contains(x, y) && (image.pixel(x, y) & 0xFFFFFF) == want) ++n;
        return n;
    }
    static QImage Grab(QWidget* w) { return w->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    TChartEnv Env;
    TChartRegistry Registry;
    QPointer<TfrmStrokeData> Window;
};

TEST_F(ChartWindowTest, ListEntriesShowLabelSwatchAndACrossedOrPlainLineSample)
{
    Registry.Add(MakeSession(10, "Red", kRed));
    TfrmStrokeData* w = Open();
    w->SelectEntry(-1);
    QListWidget* list = w->clbTrainings;
    const QRect r = list->visualItemRect(list->item(0));
    ASSERT_EQ(r.height(), 18);  // twice the font size 9
    const int right = r.right() + 1, top = r.top(), bottom = r.bottom() + 1;
    const QRect sample(right - 28, top + 2, 25, r.height() - 4);

    // Z axis shown with the cross marker: both diagonals, inverse colour and colour.
    ASSERT_TRUE(w->ZAxisMarker());
    QImage image = Grab(list->viewport());
    EXPECT_GT(Count(image, sample, kRed), 8);
    EXPECT_GT(Count(image, sample, InverseColor(kRed)), 8);
    // The swatch in the chart's background colour, left of the crossing.
    const QColor swatch = image.pixel(right - 24, top + r.height() / 2);
    EXPECT_EQ(swatch, w->Chart->backgroundBrush().color());
    EXPECT_NE(swatch, QColor(Qt::white));
    // The label from x = 18, nothing of it within the last 34 pixels but the sample.
    int text = 0;
    for (int y = top + 2; y < bottom - 2; ++y)
        for (int x = r.left() + 18; x < right - 34; ++x) text += qGray(image.pixel(x, y)) < 100;
    EXPECT_GT(text, 10);

    // Z axis off: one horizontal line at half the height, no inverse colour.
    Child<QCheckBox>(w, "cbxZ")->setChecked(false);
    QApplication::processEvents();
    image = Grab(list->viewport());
    EXPECT_EQ(Count(image, sample, InverseColor(kRed)), 0);
    EXPECT_GE(Count(image, QRect(right - 28, top + r.height() / 2, 25, 1), kRed), 20);
    EXPECT_EQ(Count(image, QRect(right - 28, top + 2, 25, 3), kRed), 0);
}

TEST_F(ChartWindowTest, GridRowsShowTheirSessionsLineSampleInColumnZero)
{
    // Added last first: the store lists the session opened last at index 0.
    Registry.Add(MakeSession(20, "Blue", kBlue));
    Registry.Add(MakeSession(10, "Red", kRed));
    TfrmStrokeData* w = Open();
    QTableView* grid = Child<QTableView>(w, "sgdData");
    const QImage image = Grab(grid->viewport());
    for (int row = 0; row < 2; ++row) {
        const QRect cell = grid->visualRect(w->DataModel->index(row, 0));
        ASSERT_EQ(grid->columnWidth(0), 120);
        const int32_t color = row == 0 ? kRed : kBlue;
        // The vertical line 5 pixels from the right edge, in the strip of the grid's colour.
        EXPECT_GE(Count(image, QRect(cell.right() - 5, cell.top() + 4, 1, cell.height() - 8), color),
                  cell.height() - 9);
        EXPECT_EQ(Count(image, QRect(cell.right() - 9, cell.top(), 3, cell.height()), color), 0);
        EXPECT_EQ(QColor(image.pixel(cell.right() - 8, cell.center().y())), QColor(Qt::white));
    }

    // Without an active session: one empty row, no line sample.
    Registry.Session(0).Header.Active = 0;
    Registry.Session(1).Header.Active = 0;
    Registry.HeaderChanged(0);
    ASSERT_EQ(w->DataModel->rowCount(), 1);
    EXPECT_EQ(w->DataModel->Cell(0, 0), "");
    const QImage empty = Grab(grid->viewport());
    const QRect cell = grid->visualRect(w->DataModel->index(0, 0));
    EXPECT_EQ(Count(empty, cell, kRed) + Count(empty, cell, kBlue), 0);
}

TEST_F(ChartWindowTest, CopyRowTakesTheCurrentRowFromColumnOne)
{
    // Added last first: the store lists the session opened last at index 0.
    Registry.Add(MakeSession(30, "Second", kBlue));
    Registry.Add(MakeSession(10, "First", kRed));
    TfrmStrokeData* w = Open();
    QApplication::setActiveWindow(w);
    Child<QTableView>(w, "sgdData")->setFocus();
    Child<QTableView>(w, "sgdData")->setCurrentIndex(w->DataModel->index(1, 3));
    QApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), Child<QTableView>(w, "sgdData"));
    ASSERT_NE(w->DataModel->Cell(0, 1), w->DataModel->Cell(1, 1));

    w->CopyDataRow->trigger();
    const QString row = QApplication::clipboard()->text();
    EXPECT_TRUE(row.startsWith(QString::fromStdString(w->DataModel->Cell(1, 1)).trimmed() + "\t")) << row.toStdString();
    EXPECT_FALSE(row.contains("Second"));
    EXPECT_FALSE(row.contains(QString::fromStdString(w->DataModel->Cell(0, 1)).trimmed() + "\t" +
                              QString::fromStdString(w->DataModel->Cell(0, 2)).trimmed()));
    EXPECT_EQ(row.count('\n') + (row.endsWith('\n') ? 0 : 1), 1);

    w->CopyDataAll->trigger();
    const QString all = QApplication::clipboard()->text();
    EXPECT_TRUE(all.contains("First\t"));
    EXPECT_TRUE(all.contains("Second\t"));
    EXPECT_TRUE(all.contains(QString::fromStdString(TotalCaption(TotalIdMap()[0]))));
}

TEST_F(ChartWindowTest, ActiveActionTogglesTheSelectedSessionAndNeedsASelection)
{
    // Added last first: the store lists the session opened last at index 0.
    Registry.Add(MakeSession(10, "Second", kBlue));
    Registry.Add(MakeSession(10, "First", kRed));
    TfrmStrokeData* w = Open();
    w->SelectEntry(-1);
    const int before = Registry.Changed;
    w->TrainingActive->trigger();
    EXPECT_EQ(Registry.Changed, before);
    EXPECT_TRUE(Registry.Session(0).Header.Active && Registry.Session(1).Header.Active);

    w->SelectEntry(1);
    w->TrainingActive->trigger();
    EXPECT_EQ(Registry.Changed, before + 1);
    EXPECT_EQ(Registry.Session(1).Header.Active, 0);
    EXPECT_FALSE(w->EntryChecked(1));
    EXPECT_EQ(w->DataModel->rowCount(), 1);
    EXPECT_EQ(w->DataModel->Cell(0, 0), "First");
    w->TrainingActive->trigger();
    EXPECT_EQ(Registry.Session(1).Header.Active, 1);
    EXPECT_EQ(w->DataModel->rowCount(), 2);
}

TEST_F(ChartWindowTest, PictureCaptionNamesProductVersionAndToday)
{
    const std::string caption = TfrmChart::PictureCaption();
    const QString today = QLocale().toString(QDate::currentDate(), QLocale::ShortFormat);
    EXPECT_EQ(caption.rfind("Catchline 9.0.0.", 0), 0u) << caption;
    EXPECT_NE(caption.find(" (" + today.toStdString() + " "), std::string::npos) << caption;
    EXPECT_EQ(caption.back(), ')');
}

// Peak force (range mode, catalogue window 250 .. 500) drawn for the whole
// session is scaled as in double mode: the test sessions' peak forces pass 500
// from stroke 21 on, so 30 strokes raise the maximum by one range to 750 and
// 22 strokes do not.
TEST_F(ChartWindowTest, StrokeAxesFollowTheScaleModesAndLaterSessionsKeepTheRange)
{
    // Added last first: the store lists the session opened last at index 0.
    Registry.Add(MakeSession(22, "Short", kBlue));
    Registry.Add(MakeSession(30, "Long", kRed));
    TfrmStrokeData* w = Open();
    w->SelectParameter(Child<QComboBox>(w, "cmbY"), spPeakForce);
    auto* left = qobject_cast<QValueAxis*>(w->Axes->LeftAxis());
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(left->min(), 250);
    EXPECT_EQ(left->max(), 750);

    // The short session alone stays within the catalogue window.
    Registry.Session(0).Header.Active = 0;
    Registry.HeaderChanged(0);
    EXPECT_EQ(left->max(), 500);

    // Short first, long second (the short session opened again comes first):
    // the second session starts from the first's range and raises it.
    const TTraining shortSession = Registry.Session(1);
    Registry.Close(1);
    Registry.Add(shortSession);
    ASSERT_EQ(Registry.Session(0).Header.Title.Text(), "Short");
    Registry.Session(1).Header.Active = 1;
    Registry.HeaderChanged(1);
    EXPECT_EQ(left->max(), 750);

    // Manual mode: the catalogue's window (relative peak force position 0 .. 100).
    w->SelectParameter(Child<QComboBox>(w, "cmbZ"), spPeakForceRelative);
    auto* right = qobject_cast<QValueAxis*>(w->Axes->RightAxis());
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(right->min(), 0);
    EXPECT_EQ(right->max(), 100);
}

}  // namespace
