// Value store histories and averages, the layout text, and value areas with
// their rows, cells and change-cell menu (offscreen widgets).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>

#include <memory>

#include "core/catalogue.h"
#include "tests/util/testutil_tempdir.h"
#include "util/profile.h"
#include "valuearea/valuearea.h"
#include "valuearea/valuedata.h"
#include "valuearea/valuelayout.h"

namespace {

QApplication& App()
{
    static int argc = 1;
    static char name[] = "catchline";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        return new QApplication(argc, argv);
    }();
    return *app;
}

// A store with the items 0..9 (format "%1.0f").
std::unique_ptr<TValueData> MakeStore()
{
    auto data = std::make_unique<TValueData>();
    for (int i = 0; i < 10; ++i) data->AddItem(i, "P" + std::to_string(i), "Parameter " + std::to_string(i), "%1.0f");
    return data;
}

// Every test here needs the application object (the store holds a pixmap).
class TAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override { App(); }
};
const auto* const kAppEnvironment = ::testing::AddGlobalTestEnvironment(new TAppEnvironment);

bool KnownBelow10(int id) { return id >= 0 && id < 10; }

}  // namespace

// ---- value store -------------------------------------------------------------------

TEST(ValueData, AddItemAppendsNewIdsAndRenewsKnownOnes)
{
    TValueData data;
    data.AddItem(3, "Rate", "Stroke rate (spm)", "%2.0f");
    data.AddItem(0, "Stroke", "Stroke", "%4.0f");
    data.SetValue(3, true, 22);
    data.AddItem(3, "Rate2", "again", "%3.1f");  // renews: values back to zero
    ASSERT_EQ(data.ItemCount(), 2);
    EXPECT_EQ(data.ItemIdAt(1), 3);
    EXPECT_EQ(data.ItemIdAt(2), 0);
    EXPECT_EQ(data.ItemIdAt(0), -1);
    EXPECT_EQ(data.ItemIdAt(3), -1);
    const TValueItem item = data.GetItem(3);
    EXPECT_EQ(item.Name, "Rate2");
    EXPECT_EQ(item.Format, "%3.1f");
    EXPECT_EQ(item.Value, 0);
    for (double h : item.History) EXPECT_EQ(h, 0);  // zero, not empty, until the first Clear
}

TEST(ValueData, UnknownIdsAreIgnored)
{
    auto data = MakeStore();
    EXPECT_EQ(data->GetItem(42).ID, -1);
    EXPECT_FALSE(data->HasItem(42));
    data->SetValue(42, true, 5);
    EXPECT_EQ(data->ItemCount(), 10);
}

TEST(ValueData, ZerosAfterClearFillHistoryButAverageStaysZero)
{
    auto data = MakeStore();
    data->Clear();
    for (int i = 0; i < 3; ++i) data->SetValue(1, true, 0);
    const TValueItem item = data->GetItem(1);
    for (int i = 0; i < 22; ++i) EXPECT_EQ(item.History[size_t(i)], -1);
    EXPECT_EQ(item.History[22], 0);
    EXPECT_EQ(item.History[23], 0);
    EXPECT_EQ(item.History[24], 0);
    EXPECT_EQ(item.Average, 0);
}

TEST(ValueData, AverageOfPositiveHistoryValues)
{
    auto data = MakeStore();
    data->Clear();
    data->SetValue(2, true, 100);
    data->SetValue(2, true, 0);
    data->SetValue(2, true, 200);
    EXPECT_DOUBLE_EQ(data->GetItem(2).Average, 150);
    // Plain values change Value only.
    data->SetValue(2, false, 999);
    const TValueItem item = data->GetItem(2);
    EXPECT_EQ(item.Value, 999);
    EXPECT_EQ(item.History[24], 200);
    EXPECT_DOUBLE_EQ(item.Average, 150);
}

TEST(ValueData, HistoryKeepsTheLast25Values)
{
    auto data = MakeStore();
    data->Clear();
    for (int v = 1; v <= 30; ++v) data->SetValue(4, true, v);
    const TValueItem item = data->GetItem(4);
    EXPECT_EQ(item.History[0], 6);
    EXPECT_EQ(item.History[24], 30);
    EXPECT_DOUBLE_EQ(item.Average, 18);  // mean of 6..30
    // A negative newest value with no positive history: the average is that value.
    auto other = MakeStore();
    other->Clear();
    other->SetValue(5, true, -3);
    EXPECT_EQ(other->GetItem(5).Average, -3);
}

TEST(ValueData, AreasRegisterInFreeSlotsAndLoseTheStoreWithIt)
{
    App();
    auto data = MakeStore();
    TValueArea a, b, c;
    a.SetData(data.get());
    b.SetData(data.get());
    EXPECT_EQ(data->AreaCount(), 2);
    a.SetData(nullptr);
    EXPECT_EQ(data->AreaSlots().size(), 2u);
    c.SetData(data.get());  // reuses a's slot
    EXPECT_EQ(data->AreaSlots().size(), 2u);
    EXPECT_EQ(data->AreaSlots()[0], &c);
    data.reset();
    EXPECT_EQ(b.Data(), nullptr);
    EXPECT_EQ(c.Data(), nullptr);
}

// ---- layout text -------------------------------------------------------------------

TEST(ValueLayout, ParsesRowsAndCells)
{
    const TValueLayout rows = ParseValueLayout("0.1 0.6 1.2 1.-2", KnownBelow10);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (std::vector<int>{1, 6}));
    EXPECT_EQ(rows[1], (std::vector<int>{2, -2}));
    EXPECT_EQ(ValueLayoutText(rows), "0.1 0.6 1.2 1.-2");
}

TEST(ValueLayout, EdgeCases)
{
    EXPECT_TRUE(ParseValueLayout("", KnownBelow10).empty());
    // Rows before the named one are created empty.
    const TValueLayout gap = ParseValueLayout("2.5", KnownBelow10);
    ASSERT_EQ(gap.size(), 3u);
    EXPECT_TRUE(gap[0].empty());
    EXPECT_TRUE(gap[1].empty());
    EXPECT_EQ(gap[2], std::vector<int>{5});
    // Unknown ids become empty cells and are written back as such.
    const TValueLayout unknown = ParseValueLayout("0.99", KnownBelow10);
    EXPECT_EQ(ValueLayoutText(unknown), "0.-1");
    // A doubled or leading space ends the reading.
    EXPECT_EQ(ParseValueLayout("0.1  0.2", KnownBelow10), (TValueLayout{{1}}));
    EXPECT_TRUE(ParseValueLayout(" 0.1", KnownBelow10).empty());
    // Malformed tokens are skipped; so are negative and absurd row numbers.
    EXPECT_EQ(ParseValueLayout("abc 0.x 0.3 -1.2 99999999.1", KnownBelow10), (TValueLayout{{3}}));
    EXPECT_EQ(ParseValueLayout("0.-1 0.-2", KnownBelow10), (TValueLayout{{-1, -2}}));
}

// ---- areas -------------------------------------------------------------------------

TEST(ValueArea, CellsShareTheRowWidthAndTheLastFillsTheRest)
{
    App();
    auto data = MakeStore();
    TValueArea area;
    area.SetData(data.get());
    area.resize(403, 301);
    area.ApplyLayout({{1, 2, 3, 4}, {5}, {}});
    ASSERT_EQ(area.RowCount(), 3);
    EXPECT_EQ(area.Row(0)->height(), 100);
    EXPECT_EQ(area.Row(2)->height(), 101);
    const TValueRow* row = area.Row(0);
    ASSERT_EQ(row->CellCount(), 4);
    EXPECT_EQ(row->Cell(0)->width(), 100);
    EXPECT_EQ(row->Cell(2)->width(), 100);
    EXPECT_EQ(row->Cell(3)->width(), 103);
    EXPECT_EQ(row->Cell(3)->x(), 300);
    EXPECT_EQ(area.Row(2)->Caption(), "Right click to add a cell");
    EXPECT_EQ(area.Caption(), "");
    area.ClearRows();
    EXPECT_EQ(area.Caption(), "Right click to add a row");
}

TEST(ValueArea, LoadsAndSavesItsLayoutText)
{
    App();
    TTempDir dir;
    const std::string ini = dir.File("catchline.ini");
    WriteText(ini, "[RowBottom]\nItems=\n[RowRight]\nItems=0.1 0.99 2.3\n");
    auto data = MakeStore();

    TValueArea bottom;
    bottom.SetData(data.get());
    bottom.IniSection = "RowBottom";
    bottom.DefaultItems = "0.1 0.2";
    bottom.LoadItems(ini);
    EXPECT_EQ(bottom.RowCount(), 0);  // present but empty: no rows

    TValueArea right;
    right.SetData(data.get());
    right.IniSection = "RowRight";
    right.LoadItems(ini);
    EXPECT_EQ(right.LayoutText(), "0.1 0.-1 2.3");

    TValueArea other;
    other.SetData(data.get());
    other.IniSection = "Other";
    other.DefaultItems = "0.4 1.-2";
    other.LoadItems(ini);
    EXPECT_EQ(other.LayoutText(), "0.4 1.-2");

    right.SaveItems(ini);
    other.SaveItems(ini);
    TProfileFile check(ini);
    check.Reload();
    EXPECT_EQ(check.ReadString("RowRight", "Items", "?"), "0.1 0.-1 2.3");
    EXPECT_EQ(check.ReadString("Other", "Items", "?"), "0.4 1.-2");

    // Without a store nothing is read or written.
    TValueArea lonely;
    lonely.IniSection = "Lonely";
    lonely.DefaultItems = "0.1";
    lonely.LoadItems(ini);
    EXPECT_EQ(lonely.RowCount(), 0);
    lonely.SaveItems(ini);
    check.Reload();
    EXPECT_FALSE(check.ValueExists("Lonely", "Items"));
}

TEST(ValueArea, ChangeCellMenuListsItemsAndChangesTheHitCell)
{
    App();
    auto data = MakeStore();
    TValueArea area;
    area.SetData(data.get());
    area.resize(400, 200);
    area.ApplyLayout({{1, 2}, {3}});
    area.show();
    QApplication::processEvents();

    const QPoint inSecondCell = area.Row(0)->Cell(1)->mapToGlobal(QPoint(20, 20));
    area.PrepareMenu(inSecondCell);
    EXPECT_EQ(area.HitRow(), 0);
    EXPECT_EQ(area.HitCell(), 1);
    EXPECT_TRUE(area.ChangeCellAction()->isEnabled());
    QList<QAction*> entries = area.ChangeCellMenu()->actions();
    ASSERT_EQ(entries.size(), 3 + 10);
    EXPECT_EQ(entries[0]->text(), "Empty");
    EXPECT_EQ(entries[1]->text(), "Logo");
    EXPECT_TRUE(entries[2]->isSeparator());
    EXPECT_EQ(entries[3]->text(), "P0");
    EXPECT_EQ(entries[3]->statusTip(), "Parameter 0");
    for (QAction* a : entries)
        if (a->isCheckable()) EXPECT_EQ(a->isChecked(), a->data().toInt() == 2) << a->text().toStdString();
    // The entries are appended once only.
    area.PrepareMenu(inSecondCell);
    EXPECT_EQ(area.ChangeCellMenu()->actions().size(), 13);

    entries[1]->trigger();  // "Logo"
    EXPECT_EQ(area.Row(0)->Cell(1)->ID(), -2);
    entries[3 + 7]->trigger();
    EXPECT_EQ(area.Row(0)->Cell(1)->ID(), 7);
    area.ChangeCell(55);  // not in the store
    EXPECT_EQ(area.Row(0)->Cell(1)->ID(), -1);
    EXPECT_EQ(area.LayoutText(), "0.1 0.-1 1.3");

    // Outside every cell the item is disabled and nothing is checked.
    area.PrepareMenu(area.mapToGlobal(QPoint(-50, -50)));
    EXPECT_EQ(area.HitRow(), -1);
    EXPECT_FALSE(area.ChangeCellAction()->isEnabled());
    for (QAction* a : area.ChangeCellMenu()->actions()) EXPECT_FALSE(a->isChecked());
}

TEST(ValueCell, ValueFontFollowsTheDigitsAndTheCellSize)
{
    App();
    auto data = MakeStore();
    TValueArea area;
    area.SetData(data.get());
    area.resize(300, 120);
    area.ApplyLayout({{1}});
    area.show();
    TValueCell* cell = area.Row(0)->Cell(0);
    data->SetValue(1, true, 7);
    cell->grab();
    const int oneDigit = cell->LastValueFontSize();
    EXPECT_EQ(cell->LastValueText(), "7");
    data->SetValue(1, true, 1234567);
    cell->grab();
    EXPECT_EQ(cell->LastValueText(), "1234567");
    EXPECT_LT(cell->LastValueFontSize(), oneDigit);
    EXPECT_GT(cell->LastValueFontSize(), 0);
    // A wider text never gets a larger font; a taller cell allows a larger one.
    const QSize inner(200, 50);
    EXPECT_GE(TValueCell::ValueFontSize("8", inner), TValueCell::ValueFontSize("88888", inner));
    EXPECT_LE(TValueCell::ValueFontSize("8", inner), TValueCell::ValueFontSize("8", QSize(200, 150)));
    // Cells too small to paint are left alone; negative values are measured as 0.
    data->SetValue(1, true, -5);
    cell->grab();
    EXPECT_EQ(cell->LastValueText(), "-5");
}

TEST(ValueCell, LogoCellsAndCellsWithoutAStore)
{
    App();
    auto data = MakeStore();
    TValueArea area;
    area.SetData(data.get());
    area.resize(200, 100);
    area.ApplyLayout({{-2, 1}});
    area.show();
    TValueCell* logo = area.Row(0)->Cell(0);
    const QImage withoutLogo = logo->grab().toImage();
    // "LOGO" is written: some pixel differs from the background.
    const QRgb background = withoutLogo.pixel(withoutLogo.width() - 2, withoutLogo.height() - 2);
    bool drawn = false;
    for (int y = 0; y < 30 && !drawn; ++y)
        for (int x = 0; x < 60 && !drawn; ++x) drawn = withoutLogo.pixel(x, y) != background;
    EXPECT_TRUE(drawn);
    // With a red logo in stretch mode the cell is red.
    QPixmap red(10, 10);
    red.fill(Qt::red);
    data->SetLogo(red);
    data->SetLogoPosition(lpStretch);
    const QImage withLogo = logo->grab().toImage();
    EXPECT_EQ(QColor(withLogo.pixel(withLogo.width() / 2, withLogo.height() / 2)), QColor(Qt::red));
    // Setting the id without a store has no effect.
    TValueArea bare;
    bare.ApplyLayout({{1}});
    EXPECT_EQ(bare.RowCount(), 0);
}
