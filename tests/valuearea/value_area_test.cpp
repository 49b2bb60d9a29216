// Value areas of the row window: the layout text and its damaged forms, cell
// widths, the change-cell menu, the area following its value store, and the
// layout kept in the settings file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QPainter>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "logic/value_data.h"
#include "tests/support/test_home.h"
#include "valuearea/value_area.h"
#include "valuearea/value_layout.h"

namespace {

QApplication& App() { return TestApp(); }

bool KnownIds(int id) { return id >= 1 && id <= 12; }

std::unique_ptr<TValueData> Store()
{
    auto data = std::make_unique<TValueData>();
    for (int id = 1; id <= 12; ++id) data->AddItem(id, "P" + std::to_string(id), "Parameter", "%.0f");
    return data;
}

std::string TempIni(const std::string& name)
{
    auto dir = std::filesystem::temp_directory_path() / ("catchline_valuearea_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

}  // namespace

TEST(ValueLayoutText, RowsCellsAndDamagedTexts)
{
    EXPECT_TRUE(ParseValueLayout("", KnownIds).empty());
    // Rows before the named one exist, empty.
    TValueLayout skipped = ParseValueLayout("2.5", KnownIds);
    ASSERT_EQ(skipped.size(), 3u);
    EXPECT_TRUE(skipped[0].empty());
    EXPECT_TRUE(skipped[1].empty());
    EXPECT_EQ(skipped[2], std::vector<int>{5});
    // Unknown ids become empty cells and are written back as such.
    TValueLayout unknown = ParseValueLayout("0.99 0.-2 0.-1", KnownIds);
    ASSERT_EQ(unknown.size(), 1u);
    EXPECT_EQ(unknown[0], (std::vector<int>{-1, -2, -1}));
    EXPECT_EQ(ValueLayoutText(unknown), "0.-1 0.-2 0.-1");
    // A doubled or leading space ends the reading.
    EXPECT_EQ(ParseValueLayout("0.1  0.2", KnownIds), (TValueLayout{{1}}));
    EXPECT_TRUE(ParseValueLayout(" 0.1", KnownIds).empty());
    // Malformed tokens and absurd row numbers are skipped, the rest is read.
    EXPECT_EQ(ParseValueLayout("abc 0.x 0.1 -1.2 1.3", KnownIds), (TValueLayout{{1}, {3}}));
    TValueLayout huge = ParseValueLayout("100000.1 0.2", KnownIds);
    EXPECT_EQ(huge, (TValueLayout{{2}}));
    // Round trip of a normal layout.
    const std::string text = "0.1 0.6 1.2 1.-2";
    EXPECT_EQ(ValueLayoutText(ParseValueLayout(text, KnownIds)), text);
}

TEST(ValueAreaWidget, CaptionsCellWidthsAndTheChangeCellMenu)
{
    App();
    auto data = Store();
    TValueArea area;
    area.SetData(data.get());
    area.resize(403, 200);
    area.ApplyLayout({});
    EXPECT_EQ(area.Caption(), "Right click to add a row");
    area.ApplyLayout(ParseValueLayout("2.5", KnownIds));
    ASSERT_EQ(area.RowCount(), 3);
    EXPECT_EQ(area.Caption(), "");
    EXPECT_EQ(area.Row(0)->Caption(), "Right click to add a cell");
    EXPECT_EQ(area.Row(2)->Caption(), "");

    // Four cells in a row 403 pixels wide: 100, 100, 100 and the rest.
    area.ApplyLayout(ParseValueLayout("0.1 0.2 0.3 0.4", KnownIds));
    area.show();
    ASSERT_EQ(area.RowCount(), 1);
    TValueRow* row = area.Row(0);
    row->resize(403, 80);
    row->LayoutCells();
    EXPECT_EQ(row->Cell(0)->width(), 100);
    EXPECT_EQ(row->Cell(2)->width(), 100);
    EXPECT_EQ(row->Cell(3)->width(), 103);
    EXPECT_EQ(row->Cell(3)->x(), 300);

    // The change-cell menu on the third cell: logo, then an unknown id.
    TValueCell* third = row->Cell(2);
    area.HitTestAt(third->mapToGlobal(third->rect().center()));
    ASSERT_EQ(area.HitCellWidget(), third);
    area.ChangeCell(-2);
    EXPECT_EQ(third->ID(), -2);
    EXPECT_EQ(area.LayoutText(), "0.1 0.2 0.-2 0.4");
    area.ChangeCell(55);
    EXPECT_EQ(third->ID(), -1);
    area.ChangeCell(7);
    EXPECT_EQ(third->ID(), 7);
}

// The ink of a text drawn on white: its bounding box and how much of it.
struct TInk {
    QRect Box;
    double Amount = 0;
};
TInk InkOf(const QImage& image)
{
    TInk ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int dark = 255 - qGray(image.pixel(x, y));
            if (dark < 40) continue;
            ink.Box |= QRect(x, y, 1, 1);
            ink.Amount += dark;
        }
    return ink;
}

TEST(ValueAreaWidget, ValueTextsFromKeptGlyphsLookAsDrawnByQt)
{
    // Values, a time, a missing one, at the sizes of small and large cells,
    // and drawn twice (the second time from the kept glyphs).
    App();
    for (int size : {9, 28, 72, 160})
        for (const QString& text : {QString("7"), QString("1:59.4"), QString("10428"), QString(QChar(0x2013))}) {
            QFont font("Arial");
            font.setPointSize(size);
            const QRect r(0, 0, QFontMetrics(font).horizontalAdvance(text) + 30, QFontMetrics(font).height() + 20);
            QImage qt(r.size(), QImage::Format_RGB32), kept = qt;
            qt.fill(Qt::white);
            {
                QPainter p(&qt);
                p.setFont(font);
                p.setPen(Qt::black);
                p.drawText(r.adjusted(0, 0, -4, 0), Qt::AlignRight | Qt::AlignVCenter, text);
            }
            for (int twice = 0; twice < 2; ++twice) {
                kept.fill(Qt::white);
                QPainter p(&kept);
                DrawValueText(p, r.adjusted(0, 0, -4, 0), text, font, Qt::black);
            }
            const TInk a = InkOf(qt), b = InkOf(kept);
            const std::string where = text.toStdString() + " at " + std::to_string(size) + " pt";
            ASSERT_FALSE(a.Box.isEmpty()) << where;
            EXPECT_LE(std::abs(a.Box.left() - b.Box.left()), 1) << where;
            EXPECT_LE(std::abs(a.Box.right() - b.Box.right()), 1) << where;
            EXPECT_LE(std::abs(a.Box.top() - b.Box.top()), 1) << where;
            EXPECT_LE(std::abs(a.Box.bottom() - b.Box.bottom()), 1) << where;
            EXPECT_NEAR(a.Amount, b.Amount, a.Amount * 0.05) << where;
        }
}

TEST(ValueAreaWidget, ValueTextSizedToTheCellAndLogoWithoutPicture)
{
    App();
    const QSize inner(120, 60);
    EXPECT_GT(TValueCell::ValueFontSize("8", inner), TValueCell::ValueFontSize("88888", inner));
    EXPECT_GT(TValueCell::ValueFontSize("8", QSize(240, 120)), TValueCell::ValueFontSize("8", inner));

    auto data = Store();
    TValueArea area;
    area.SetData(data.get());
    area.resize(300, 120);
    area.ApplyLayout(ParseValueLayout("0.1 0.-2 0.-1", KnownIds));
    area.show();
    QApplication::processEvents();
    area.Row(0)->resize(300, 120);
    area.Row(0)->LayoutCells();
    data->SetValue(1, true, 7);
    TValueCell* value = area.Row(0)->Cell(0);
    value->grab();
    const int oneDigit = value->LastValueFontSize();
    EXPECT_EQ(value->LastValueText(), "7");
    data->SetValue(1, true, 7777777);
    value->grab();
    EXPECT_LT(value->LastValueFontSize(), oneDigit);  // more digits, smaller font
    // A value that is missing when 0 (a pulse without a heart signal) shows
    // a dash; a real one its number.
    data->SetNoneWhenZero(1, true);
    data->SetValue(1, true, 0);
    value->grab();
    EXPECT_EQ(value->LastValueText(), QString(QChar(0x2013)));
    data->SetValue(1, true, 142);
    value->grab();
    EXPECT_EQ(value->LastValueText(), "142");
    // A logo cell without a picture writes "LOGO"; an empty cell stays blank.
    TValueCell* logo = area.Row(0)->Cell(1);
    TValueCell* empty = area.Row(0)->Cell(2);
    ASSERT_EQ(logo->size(), empty->size());
    EXPECT_NE(logo->grab().toImage(), empty->grab().toImage());
}

// Counts the paint events of the widgets it watches.
class TPaintCounter : public QObject {
public:
    std::map<QObject*, int> Paints;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) ++Paints[watched];
        return false;
    }
};

// A stroke or a clock tick repaints only the cells whose text changed; a
// change of anything else repaints them all.
TEST(ValueAreaWidget, ValuesRepaintOnlyTheCellsWhoseTextChanged)
{
    App();
    auto data = Store();
    TValueArea area;
    area.SetData(data.get());
    area.resize(600, 120);
    area.ApplyLayout(ParseValueLayout("0.1 0.2 0.3 0.-2", KnownIds));
    area.show();
    QApplication::processEvents();
    TPaintCounter counter;
    TValueRow* row = area.Row(0);
    for (int i = 0; i < row->CellCount(); ++i) row->Cell(i)->installEventFilter(&counter);
    auto paints = [&](int i) { return counter.Paints[row->Cell(i)]; };

    data->SetValue(2, true, 31);
    data->SetValue(3, true, 0.2);  // "%.0f": still shows 0
    data->RefreshValues();
    QApplication::processEvents();
    EXPECT_EQ(paints(0), 0);
    EXPECT_EQ(paints(1), 1);
    EXPECT_EQ(paints(2), 0);
    EXPECT_EQ(paints(3), 0);  // the logo
    EXPECT_EQ(row->Cell(1)->LastValueText(), "31");

    // Nothing changed: nothing repaints.
    data->RefreshValues();
    QApplication::processEvents();
    EXPECT_EQ(paints(0) + paints(1) + paints(2) + paints(3), 1);

    // A value that loses a digit (and so gets a larger font) repaints.
    data->SetValue(2, true, 9);
    data->SetValue(1, true, 100);
    data->RefreshValues();
    QApplication::processEvents();
    EXPECT_EQ(paints(0), 1);
    EXPECT_EQ(paints(1), 2);
    EXPECT_EQ(row->Cell(1)->LastValueText(), "9");

    // A cell given another parameter shows it at once.
    row->Cell(2)->SetID(2);
    data->RefreshValues();
    QApplication::processEvents();
    EXPECT_EQ(row->Cell(2)->LastValueText(), "9");

    // Anything else (a caption, the logo, the look) repaints every cell.
    int before[4];
    for (int i = 0; i < 4; ++i) before[i] = paints(i);
    data->Refresh();
    QApplication::processEvents();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(paints(i), before[i] + 1) << i;
}

TEST(ValueAreaWidget, FollowsItsStoreAndOutlivesIt)
{
    App();
    auto data = Store();
    TValueArea area;
    area.SetData(data.get());
    area.resize(400, 100);
    area.ApplyLayout(ParseValueLayout("0.1 0.-2", KnownIds));
    area.show();
    QApplication::processEvents();
    // A refresh of the store repaints the cells.
    data->SetValue(1, true, 42);
    data->Refresh();
    QApplication::processEvents();
    // The store goes first (the row window drops it): the area is left
    // without one, and a parameter cell painted without a store empties itself.
    data.reset();
    EXPECT_EQ(area.Data(), nullptr);
    const QImage image = area.grab().toImage();
    EXPECT_FALSE(image.isNull());
    EXPECT_EQ(area.Row(0)->Cell(0)->ID(), -1);
    EXPECT_EQ(area.Row(0)->Cell(1)->ID(), -2);
}

TEST(ValueAreaWidget, LayoutKeptInItsSettingsSection)
{
    App();
    auto data = Store();
    const std::string file = TempIni("layout.ini");
    {
        std::ofstream out(file);
        out << "[RowBottom]\nItems=\n";
    }
    TValueArea area;
    area.SetData(data.get());
    area.IniSection = "RowBottom";
    area.DefaultItems = "0.1 0.2";
    area.LoadItems(file);
    EXPECT_EQ(area.RowCount(), 0);  // present but empty: no rows, not the defaults
    area.IniSection = "RowRight";
    area.LoadItems(file);
    EXPECT_EQ(area.LayoutText(), "0.1 0.2");  // missing: the defaults
    area.ApplyLayout(ParseValueLayout("0.3 1.99 1.-2", KnownIds));
    area.SaveItems(file);

    TValueArea again;
    again.SetData(data.get());
    again.IniSection = "RowRight";
    again.LoadItems(file);
    EXPECT_EQ(again.LayoutText(), "0.3 1.-1 1.-2");
    std::filesystem::remove_all(std::filesystem::path(file).parent_path());
}
