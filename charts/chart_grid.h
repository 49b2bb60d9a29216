#pragma once
// The data grid of the chart windows (one row per shown session or average
// record, column 0 with the session's label and line sample) and the
// owner-drawn entries of the session list.
#include <QAbstractTableModel>
#include <QStringList>
#include <QStyledItemDelegate>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// How a session's line is drawn (the record's Color, PenStyle and PenWidth).
struct TLinePen {
    int32_t Color = 0;
    int Style = 0;
    int Width = 1;
};

struct TChartGridRow {
    std::vector<std::string> Cells;  // column 0 = label; missing cells are empty
    bool HasPen = false;             // the row belongs to a session or average record
    TLinePen Pen;
};

// Rows of the grid; the header row is the view's horizontal header. There is
// always at least one (possibly empty) data row.
class TChartGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TChartGridModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    // Column headers (column 0 first); resets the model.
    void SetHeaders(const QStringList& headers);
    // Replaces the rows (an empty list shows one empty row); the columns and
    // the view's column widths stay.
    void SetRows(std::vector<TChartGridRow> rows);
    const std::vector<TChartGridRow>& Rows() const { return RowList; }
    std::string Cell(int row, int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QStringList Headers;
    std::vector<TChartGridRow> RowList{TChartGridRow{}};
};

// Column 0 of the data grid: text at (2, 2) in black, a 10-pixel strip at the
// right edge in the grid's colour with a vertical line in the row's pen.
class TChartGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    TChartGridDelegate(const TChartGridModel* model, QObject* parent) : QStyledItemDelegate(parent), Model(model) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const TChartGridModel* Model;
};

// What a session-list entry shows.
struct TListEntryLook {
    bool Valid = false;
    std::string Label;
    TLinePen Pen;
    bool Cross = false;  // two diagonals (inverse colour and colour) instead of one line
};

// Entries of the session list: check box, label at x = 18, a swatch in the
// chart's background colour and the line sample.
class TTrainingListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    TTrainingListDelegate(std::function<TListEntryLook(int)> look, QObject* parent)
        : QStyledItemDelegate(parent), Look(std::move(look))
    {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QColor SwatchColor = Qt::white;
    int ItemHeight = 18;

private:
    std::function<TListEntryLook(int)> Look;
};

// Draws a line sample from (x1, y1) to (x2, y2) in the pen, then resets the pen.
void DrawLineSample(QPainter& painter, const TLinePen& pen, QPoint from, QPoint to);
// Twice (or 2.5 times, rounded half to even) the font's point size.
int FontRowHeight(const QFont& font, double factor);
