#include "valuearea/value_area.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QFontMetrics>
#include <QMenu>
#include <QPainter>
#include <QPixmap>

#include <QFontMetricsF>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "core/catalogue.h"
#include "util/paths.h"
#include "util/profile.h"

namespace {

QColor FillColor(const TValueArea* area, const QWidget* w)
{
    if (area && area->PanelColor().isValid()) return area->PanelColor();
    return w->palette().color(QPalette::Window);
}

std::string LayoutFile(const std::string& file)
{
    if (!file.empty()) return file;
    return ChangeFileExt(ProgramFileName(), ".ini");
}

}  // namespace

// ---- cell -----------------------------------------------------------------------------

TValueCell::TValueCell(TValueArea* area, QWidget* parent) : QWidget(parent), FArea(area)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
}

void TValueCell::SetID(int32_t id)
{
    if (id == FID) return;
    if (!FArea || !FArea->Data()) return;
    FID = id;
    if (const TValueItem* item = FArea->Data()->FindItem(id)) setToolTip(QString::fromStdString(item->Hint));
    else setToolTip(QString());
    update();
}

QRect TValueCell::InnerRect(const QSize& size, const QFont& font)
{
    const int h = QFontMetrics(font).height();
    const QRect frame(QPoint(0, h / 2), QPoint(size.width() - 2 * BorderWidth, size.height() - 2 * BorderWidth));
    QRect inner = frame.adjusted(3, h / 2, -3, -(h / 2));
    inner.translate(0, 3);
    inner.setLeft(inner.left() + 1);
    return inner;
}

int TValueCell::ValueFontSize(const QString& text, const QSize& inner)
{
    QFont arial("Arial");
    arial.setPointSize(100);
    const QFontMetrics fm(arial);
    const int cx = std::max(1, fm.horizontalAdvance(text));
    const int cy = std::max(1, fm.height());
    const long byHeight = std::lround((inner.height() - 8) * 140.0 / cy);
    const long byWidth = std::lround((inner.width() - 8) * 100.0 / cx);
    return int(std::clamp<long>(std::min(byHeight, byWidth), 1, 2000));
}

namespace {

// The text a value cell shows for an item, and the text its font size is
// found from (negative values are measured as 0).
void ValueTexts(const TValueItem& item, QString& shown, QString& measured)
{
    measured = QString::fromStdString(FormatValue(item.Format, item.Value < 0 ? 0 : item.Value));
    shown = QString::fromStdString(FormatValue(item.Format, item.Value));
    // A value that is missing rather than 0 (no heart-rate signal).
    if (item.NoneWhenZero && !(item.Value > 0)) shown = QString(QChar(0x2013));
}

// Value texts are large, and Qt draws glyphs that large from their outlines
// every time (a stroke repaints several cells). The cells draw them from
// images made once per character, size and colour instead.
class TGlyphImages {
public:
    struct TGlyph {
        QImage Image;
        QPoint Origin;  // the pixel of Image at the pen position on the baseline
        qreal Advance = 0;
    };
    // The glyphs of one font (its key names family, size, weight, style).
    using TFontGlyphs = std::unordered_map<uint64_t, TGlyph>;
    TFontGlyphs& Of(const QFont& font)
    {
        if (Fonts.size() >= 64) Fonts.clear();  // sizes of the past
        return Fonts[font.key()];
    }
    static const TGlyph& Get(TFontGlyphs& glyphs, const QFont& font, char16_t c, const QColor& color)
    {
        const uint64_t key = (uint64_t(c) << 32) | uint64_t(color.rgba());
        auto it = glyphs.find(key);
        if (it != glyphs.end()) return it->second;
        if (glyphs.size() >= 512) glyphs.clear();  // colours of the past
        const QFontMetricsF fm(font);
        const QString text(QChar{c});
        TGlyph g;
        const QRect box = fm.boundingRect(text).toAlignedRect().adjusted(-2, -2, 2, 2);
        g.Origin = -box.topLeft();
        g.Advance = fm.horizontalAdvance(text);
        g.Image = QImage(box.size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
        g.Image.fill(Qt::transparent);
        QPainter p(&g.Image);
        p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        p.setFont(font);
        p.setPen(color);
        p.drawText(g.Origin, text);
        return glyphs.emplace(key, std::move(g)).first->second;
    }

private:
    std::unordered_map<QString, TFontGlyphs> Fonts;
};

}  // namespace

void DrawValueText(QPainter& p, const QRect& r, const QString& text, const QFont& font, const QColor& color)
{
    static TGlyphImages glyphs;
    const bool plain = std::none_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSurrogate(); });
    if (!plain || font.pointSize() <= 0) {
        p.setFont(font);
        p.setPen(color);
        p.drawText(r, Qt::AlignRight | Qt::AlignVCenter, text);
        return;
    }
    // Placed as drawText places it: right-aligned, centred on the line's height.
    const QFontMetricsF fm(font);
    TGlyphImages::TFontGlyphs& ofFont = glyphs.Of(font);
    qreal x = r.left() + r.width() - fm.horizontalAdvance(text);
    const qreal baseline = std::round(r.top() + (r.height() - fm.height()) / 2 + fm.ascent());
    for (QChar c : text) {
        const TGlyphImages::TGlyph& g = TGlyphImages::Get(ofFont, font, c.unicode(), color);
        p.drawImage(QPoint(int(std::round(x)) - g.Origin.x(), int(baseline) - g.Origin.y()), g.Image);
        x += g.Advance;
    }
}

bool TValueCell::ShowsItsValue() const
{
    if (!Painted) return false;
    if (FID < 0) return true;  // a logo or an empty cell shows no value
    const TValueData* data = FArea ? FArea->Data() : nullptr;
    const TValueItem* item = data ? data->FindItem(FID) : nullptr;
    if (!item) return false;
    QString shown, measured;
    ValueTexts(*item, shown, measured);
    return shown == LastText && measured == LastMeasured;
}

void TValueCell::paintEvent(QPaintEvent*)
{
    // Everything is drawn off-screen first and copied in one operation.
    QPixmap bitmap(size().expandedTo(QSize(1, 1)));
    {
        QPainter p(&bitmap);
        PaintTo(p);
    }
    QPainter screen(this);
    screen.drawPixmap(0, 0, bitmap);
    Painted = true;
}

void TValueCell::PaintTo(QPainter& p)
{
    const QColor cellColor = FillColor(FArea, this);
    const QRect client = rect();
    p.fillRect(client, cellColor);
    TValueData* data = FArea ? FArea->Data() : nullptr;

    if (FID == -2) {
        const QPixmap logo = FArea && data ? FArea->LogoPicture() : QPixmap();
        if (!logo.isNull() && logo.width() > 0) {
            QRect target;
            switch (data->LogoPosition()) {
            case lpCenter:
                target = QRect(QPoint(0, 0), logo.size());
                target.moveCenter(client.center());
                break;
            case lpStretch: target = client; break;
            case lpProportional: {
                const double scale =
                    std::min(double(client.height()) / logo.height(), double(client.width()) / logo.width());
                target = QRect(0, 0, int(std::lround(logo.width() * scale)), int(std::lround(logo.height() * scale)));
                target.moveCenter(client.center());
                break;
            }
            }
            if (data->LogoMode() == lmFill) {
                const QImage image = logo.toImage();
                p.fillRect(client, QColor(image.pixel(0, image.height() - 1)));
            }
            if (data->LogoMode() == lmOpaque) p.fillRect(target, cellColor);
            p.drawPixmap(target, logo);
        } else {
            p.setPen(FArea ? FArea->TextColor() : Qt::black);
            p.setFont(font());
            p.drawText(QPoint(10, 10 + QFontMetrics(font()).ascent()), "LOGO");
        }
        return;
    }
    if (FID == -1) return;

    const TValueItem* item = data ? data->FindItem(FID) : nullptr;
    if (!item) {
        FID = -1;
        return;
    }
    if (client.width() <= 4 || client.height() <= 4) return;

    // Frame with the caption over its top line, the way a group box draws it.
    const int h = QFontMetrics(font()).height();
    const QRect frame(QPoint(0, h / 2), QPoint(width() - 2 * BorderWidth, height() - 2 * BorderWidth));
    p.setBrush(Qt::NoBrush);
    p.setPen(palette().color(QPalette::Light));
    p.drawRect(frame.translated(1, 1));
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(frame);
    const QRect inner = InnerRect(size(), font());
    p.fillRect(inner, cellColor);

    // Value text in the largest "Arial" that fits the inner rectangle; the
    // size is found from the text of the value itself.
    ValueTexts(*item, LastText, LastMeasured);
    LastFontSize = ValueFontSize(LastMeasured, inner.size());
    QFont valueFont("Arial");
    valueFont.setPointSize(LastFontSize);
    DrawValueText(p, inner.adjusted(0, 0, -4, 0), LastText, valueFont, FArea ? FArea->TextColor() : Qt::black);

    // Caption.
    p.setFont(font());
    p.setPen(FArea ? FArea->TextColor() : Qt::black);
    const QString caption = QString::fromStdString(item->Caption.empty() ? item->Name : item->Caption);
    const QFontMetrics fm(font());
    const QRect captionRect(8, 0, fm.horizontalAdvance(caption), fm.height());
    p.fillRect(captionRect, cellColor);
    p.drawText(captionRect, Qt::AlignLeft | Qt::AlignTop, caption);
}

// ---- row -----------------------------------------------------------------------------

TValueRow::TValueRow(TValueArea* area, QWidget* parent) : QWidget(parent), FArea(area) {}

TValueCell* TValueRow::AddCell(int32_t id)
{
    auto* cell = new TValueCell(FArea, this);
    Cells.push_back(cell);
    cell->SetID(id);
    cell->show();
    LayoutCells();
    update();
    return cell;
}

void TValueRow::LayoutCells()
{
    const int n = int(Cells.size());
    if (n == 0) return;
    const int w = width() / n;
    for (int i = 0; i < n; ++i) {
        const int x = i * w;
        const int cw = i == n - 1 ? width() - x : w;
        Cells[size_t(i)]->setGeometry(x, 0, cw, height());
    }
}

QString TValueRow::Caption() const { return Cells.empty() ? QStringLiteral("Right click to add a cell") : QString(); }

void TValueRow::resizeEvent(QResizeEvent*) { LayoutCells(); }

void TValueRow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), FillColor(FArea, this));
    if (Cells.empty()) {
        p.setPen(FArea ? FArea->TextColor() : Qt::black);
        p.drawText(rect(), Qt::AlignCenter, Caption());
    }
}

// ---- area ----------------------------------------------------------------------------

TValueArea::TValueArea(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setToolTip("(right-click for options)");
}

TValueArea::~TValueArea() = default;

void TValueArea::SetData(TValueData* data)
{
    if (FData) disconnect(FData, nullptr, this, nullptr);
    FData = data;
    if (FData) {
        connect(FData, &TValueData::Changed, this, &TValueArea::Update);
        connect(FData, &TValueData::ValuesChanged, this, &TValueArea::UpdateValues);
    }
    BuildMenu();
    Update();
}

const QPixmap& TValueArea::LogoPicture() const
{
    const QString path = FData ? FData->Logo() : QString();
    if (path != FLogoPath) {
        FLogoPath = path;
        FLogo = path.isEmpty() ? QPixmap() : QPixmap(path);
    }
    return FLogo;
}

void TValueArea::BuildMenu()
{
    delete PopupMenu;
    PopupMenu = nullptr;
    ChangeCellItem = nullptr;
    ChangeMenu = nullptr;
    if (!FData) return;
    PopupMenu = new QMenu(this);
    ChangeMenu = new QMenu("C&hange cell", PopupMenu);
    ChangeCellItem = ChangeMenu->menuAction();
    ChangeCellItem->setStatusTip("Change the contents of this cell");
    ChangeCellItem->setToolTip("Change the contents of this cell");
    PopupMenu->addAction(ChangeCellItem);
    auto add = [this](const QString& caption, const QString& hint, int tag) {
        QAction* a = ChangeMenu->addAction(caption);
        a->setStatusTip(hint);
        a->setToolTip(hint);
        a->setData(tag);
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, tag] { ChangeCell(tag); });
    };
    add("Empty", "Empty cell", -1);
    add("Logo", "Application logo", -2);
    QAction* sep = ChangeMenu->addSeparator();
    sep->setData(-3);
}

TValueRow* TValueArea::AddRow()
{
    auto* row = new TValueRow(this, this);
    Rows.push_back(row);
    row->show();
    LayoutRows();
    update();
    return row;
}

void TValueArea::ClearRows()
{
    for (TValueRow* r : Rows) delete r;
    Rows.clear();
    FHitRow = FHitCell = -1;
    update();
}

QString TValueArea::Caption() const { return Rows.empty() ? QStringLiteral("Right click to add a row") : QString(); }

TValueLayout TValueArea::Layout() const
{
    TValueLayout layout;
    for (const TValueRow* r : Rows) {
        layout.emplace_back();
        for (const TValueCell* c : r->Cells) layout.back().push_back(c->ID());
    }
    return layout;
}

void TValueArea::ApplyLayout(const TValueLayout& layout)
{
    if (!FData) return;
    ClearRows();
    for (const auto& cells : layout) {
        TValueRow* row = AddRow();
        for (int id : cells) row->AddCell(id == -1 || id == -2 || FData->HasItem(id) ? id : -1);
    }
}

void TValueArea::LayoutRows()
{
    const int n = int(Rows.size());
    if (n == 0) return;
    const int h = height() / n;
    for (int i = 0; i < n; ++i) {
        const int y = i * h;
        const int rh = i == n - 1 ? height() - y : h;
        Rows[size_t(i)]->setGeometry(0, y, width(), rh);
    }
}

void TValueArea::resizeEvent(QResizeEvent*) { LayoutRows(); }

void TValueArea::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), FillColor(this, this));
    if (Rows.empty()) {
        p.setPen(FTextColor);
        p.drawText(rect(), Qt::AlignCenter, Caption());
    }
}

void TValueArea::UpdateAppearance(const QFont& font, const QColor& textColor, const QColor& cellColor,
                                  const QColor& panelColor)
{
    setFont(font);
    FTextColor = textColor;
    FCellColor = cellColor;
    FPanelColor = panelColor;
    Update();
}

void TValueArea::LoadItems(const std::string& file)
{
    if (!FData) return;
    TProfileFile ini(LayoutFile(file));
    const std::string text = ini.ReadString(IniSection, "Items", DefaultItems);
    TValueData* data = FData;
    ApplyLayout(ParseValueLayout(text, [data](int id) { return data->HasItem(id); }));
}

void TValueArea::SaveItems(const std::string& file)
{
    if (!FData) return;
    const std::string path = LayoutFile(file);
    if (!IsWritable(path)) return;
    TProfileFile ini(path);
    ini.WriteString(IniSection, "Items", LayoutText());
    ini.UpdateFile();
}

void TValueArea::HitTest() { HitTestAt(QCursor::pos()); }

void TValueArea::HitTestAt(const QPoint& globalPos)
{
    FHitRow = FHitCell = -1;
    for (int r = 0; r < RowCount(); ++r) {
        const QPoint pr = Rows[size_t(r)]->mapFromGlobal(globalPos);
        if (pr.y() > 0 && pr.y() < Rows[size_t(r)]->height()) {
            FHitRow = r;
            break;
        }
    }
    if (FHitRow < 0) return;
    const TValueRow* row = Rows[size_t(FHitRow)];
    for (int c = 0; c < row->CellCount(); ++c) {
        const QPoint pc = row->Cell(c)->mapFromGlobal(globalPos);
        if (pc.x() > 0 && pc.x() < row->Cell(c)->width()) {
            FHitCell = c;
            break;
        }
    }
}

TValueCell* TValueArea::HitCellWidget() const
{
    if (FHitRow < 0 || FHitRow >= RowCount()) return nullptr;
    const TValueRow* row = Rows[size_t(FHitRow)];
    if (FHitCell < 0 || FHitCell >= row->CellCount()) return nullptr;
    return row->Cell(FHitCell);
}

void TValueArea::ChangeCell(int32_t tag)
{
    TValueCell* cell = HitCellWidget();
    if (!cell || !FData) return;
    cell->SetID(FData->HasItem(tag) || tag == -1 || tag == -2 ? tag : -1);
    Update();
}

void TValueArea::PrepareMenu(const QPoint& globalPos)
{
    if (!FData || !PopupMenu) return;
    HitTestAt(globalPos);
    TValueCell* cell = HitCellWidget();
    ChangeCellItem->setEnabled(cell != nullptr);
    if (ChangeMenu->actions().size() == 3) {
        for (const TValueItem& item : FData->ItemList()) {
            QAction* a = ChangeMenu->addAction(QString::fromStdString(item.Name));
            a->setStatusTip(QString::fromStdString(item.Hint));
            a->setToolTip(QString::fromStdString(item.Hint));
            a->setData(item.ID);
            a->setCheckable(true);
            const int tag = item.ID;
            connect(a, &QAction::triggered, this, [this, tag] { ChangeCell(tag); });
        }
    }
    const int current = cell ? cell->ID() : -3;
    for (QAction* a : ChangeMenu->actions())
        if (a->isCheckable()) a->setChecked(a->data().toInt() == current);
}

void TValueArea::contextMenuEvent(QContextMenuEvent* event)
{
    if (!FData || !PopupMenu) return;
    PrepareMenu(event->globalPos());
    PopupMenu->exec(event->globalPos());
}

void TValueArea::Update()
{
    update();
    for (TValueRow* r : Rows) {
        r->update();
        for (TValueCell* c : r->Cells) c->update();
    }
}

void TValueArea::UpdateValues()
{
    for (TValueRow* r : Rows)
        for (TValueCell* c : r->Cells)
            if (!c->ShowsItsValue()) c->update();
}
