#pragma once
// The value area: a panel of rows stacked from top to bottom, each holding
// cells side by side; every cell shows one parameter of the value store (its
// caption over a frame and its value in a large font), the logo or nothing.
// A context menu changes what the cell under the mouse shows; the layout is
// kept in the settings file as a short text (value_layout.h).
#include <cstdint>
#include <string>
#include <vector>

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include "logic/value_data.h"
#include "valuearea/value_layout.h"

class QPainter;

class QMenu;
class QAction;
class TValueArea;

// One cell. ID -1 empty, -2 logo, otherwise the id of a store item.
// Draws a value text right-aligned and vertically centred in r, as
// QPainter::drawText does, from glyph images kept for the next time.
void DrawValueText(QPainter& p, const QRect& r, const QString& text, const QFont& font, const QColor& color);

class TValueCell : public QWidget {
    Q_OBJECT
public:
    TValueCell(TValueArea* area, QWidget* parent);
    static constexpr int BorderWidth = 4;

    int32_t ID() const { return FID; }
    // Takes effect only when the area has a store; then the hint follows the item.
    void SetID(int32_t id);
    TValueArea* Area() const { return FArea; }

    // Point size of the value text at the last paint (0 before one).
    int LastValueFontSize() const { return LastFontSize; }
    // Value text at the last paint.
    const QString& LastValueText() const { return LastText; }
    // False when a paint now would draw another value text than the last
    // paint did (or the cell was never painted).
    bool ShowsItsValue() const;
    // The inner rectangle of the frame for a font (caption font) and a size.
    static QRect InnerRect(const QSize& size, const QFont& font);
    // Point size of a value text in "Arial" that fits an inner rectangle.
    static int ValueFontSize(const QString& text, const QSize& inner);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void PaintTo(QPainter& p);
    TValueArea* FArea;
    int32_t FID = -1;
    int LastFontSize = 0;
    QString LastText;
    QString LastMeasured;  // the text the font size was found from
    bool Painted = false;
};

// One row of cells.
class TValueRow : public QWidget {
    Q_OBJECT
public:
    TValueRow(TValueArea* area, QWidget* parent);
    TValueArea* Area() const { return FArea; }
    int CellCount() const { return int(Cells.size()); }
    TValueCell* Cell(int i) const { return Cells.at(size_t(i)); }
    TValueCell* AddCell(int32_t id);
    // Cells get (row width div cells) each; the last fills the rest.
    void LayoutCells();
    // "Right click to add a cell" for a row without cells, else "".
    QString Caption() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    friend class TValueArea;
    TValueArea* FArea;
    std::vector<TValueCell*> Cells;
};

class TValueArea : public QWidget {
    Q_OBJECT
public:
    explicit TValueArea(QWidget* parent = nullptr);
    ~TValueArea() override;

    TValueData* Data() const { return FData; }
    // Stops following the old store, follows the new one (repainting at each
    // of its changes), rebuilds the menu and repaints all cells. A store that
    // is destroyed leaves the area without one.
    void SetData(TValueData* data);
    // The store's logo picture, loaded once per picture path.
    const QPixmap& LogoPicture() const;
    std::string IniSection = "ValueArea";
    std::string DefaultItems;

    int RowCount() const { return int(Rows.size()); }
    TValueRow* Row(int i) const { return Rows.at(size_t(i)); }
    TValueRow* AddRow();
    void ClearRows();
    // "Right click to add a row" for an area without rows, else "".
    QString Caption() const;
    // The cell ids row by row, and the layout text of them.
    TValueLayout Layout() const;
    std::string LayoutText() const { return ValueLayoutText(Layout()); }
    // Rebuilds rows and cells from a layout (ids the store lacks become -1).
    void ApplyLayout(const TValueLayout& layout);

    void UpdateAppearance(const QFont& font, const QColor& textColor, const QColor& cellColor,
                          const QColor& panelColor);
    QColor PanelColor() const { return FPanelColor; }
    QColor TextColor() const { return FTextColor; }

    // Layout text in key "Items" of IniSection ("" = the program file's name with ".ini").
    void LoadItems(const std::string& file);
    void SaveItems(const std::string& file);

    // The cell under a global position (HitTest takes the mouse cursor).
    void HitTest();
    void HitTestAt(const QPoint& globalPos);
    int HitRow() const { return FHitRow; }
    int HitCell() const { return FHitCell; }
    TValueCell* HitCellWidget() const;
    // The menu action: the hit cell shows tag when the store has it or it is -1 / -2, else -1.
    void ChangeCell(int32_t tag);
    // Prepares the context menu for a position (hit test, enabling, entries,
    // check marks) without showing it.
    void PrepareMenu(const QPoint& globalPos);
    QMenu* Menu() const { return PopupMenu; }
    QAction* ChangeCellAction() const { return ChangeCellItem; }
    QMenu* ChangeCellMenu() const { return ChangeMenu; }

    // Updates the panel and repaints every cell.
    void Update();
    // Repaints the cells whose value text changed since they were painted.
    void UpdateValues();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void BuildMenu();
    void LayoutRows();
    QPointer<TValueData> FData;
    mutable QString FLogoPath;
    mutable QPixmap FLogo;
    std::vector<TValueRow*> Rows;
    QColor FPanelColor;
    QColor FTextColor = Qt::black;
    QColor FCellColor;
    int FHitRow = -1;
    int FHitCell = -1;
    QMenu* PopupMenu = nullptr;
    QAction* ChangeCellItem = nullptr;
    QMenu* ChangeMenu = nullptr;
};
