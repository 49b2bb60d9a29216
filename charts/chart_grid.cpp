#include "charts/chart_grid.h"

#include <QApplication>
#include <QFontInfo>
#include <QPainter>
#include <QStyle>

#include <cmath>

#include "framework/chart_renderer.h"
#include "framework/window_util.h"
#include "util/color.h"

void TChartGridModel::SetHeaders(const QStringList& headers)
{
    beginResetModel();
    Headers = headers;
    endResetModel();
}

void TChartGridModel::SetRows(std::vector<TChartGridRow> rows)
{
    if (rows.empty()) rows.push_back(TChartGridRow{});
    const int oldCount = int(RowList.size());
    const int newCount = int(rows.size());
    if (newCount < oldCount) {
        beginRemoveRows(QModelIndex(), newCount, oldCount - 1);
        RowList.resize(size_t(newCount));
        endRemoveRows();
    } else if (newCount > oldCount) {
        beginInsertRows(QModelIndex(), oldCount, newCount - 1);
        RowList.resize(size_t(newCount));
        endInsertRows();
    }
    RowList = std::move(rows);
    if (!Headers.isEmpty()) emit dataChanged(index(0, 0), index(newCount - 1, int(Headers.size()) - 1));
}

std::string TChartGridModel::Cell(int row, int column) const
{
    if (row < 0 || row >= int(RowList.size()) || column < 0) return std::string();
    const auto& cells = RowList[size_t(row)].Cells;
    return column < int(cells.size()) ? cells[size_t(column)] : std::string();
}

int TChartGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(RowList.size()); }

int TChartGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(Headers.size()); }

QVariant TChartGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole) return QString::fromStdString(Cell(index.row(), index.column()));
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignTop);
    return {};
}

QVariant TChartGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= Headers.size()) return {};
    if (role == Qt::DisplayRole) return Headers[section];
    if (role == Qt::ForegroundRole) return QColor(Qt::black);
    return {};
}

void DrawLineSample(QPainter& painter, const TLinePen& pen, QPoint from, QPoint to)
{
    QPen p(ToQColor(pen.Color));
    p.setWidth(std::max(1, pen.Width));
    p.setStyle(ToQtPenStyle(pen.Style));
    painter.setPen(p);
    painter.drawLine(from, to);
    painter.setPen(QPen(Qt::black, 1, Qt::SolidLine));
}

int FontRowHeight(const QFont& font, double factor)
{
    double size = font.pointSizeF();
    if (size <= 0) size = QFontInfo(font).pointSizeF();
    if (size <= 0) size = 9;
    return int(std::nearbyint(size * factor));  // the default rounding mode: half to even
}

void TChartGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    const QRect r = option.rect;
    const QBrush background = option.palette.brush(QPalette::Base);
    const bool selected = option.state & QStyle::State_Selected;
    painter->fillRect(r, selected && index.column() != 0 ? option.palette.brush(QPalette::Highlight) : background);
    const QColor text = index.column() == 0 ? QColor(Qt::black)
                        : selected          ? option.palette.color(QPalette::HighlightedText)
                                            : option.palette.color(QPalette::Text);
    painter->setPen(text);
    painter->setFont(option.font);
    const QString value = index.data(Qt::DisplayRole).toString();
    QRect textRect(r.left() + 2, r.top() + 2, r.width() - 4, r.height() - 2);
    if (index.column() == 0) textRect.setRight(r.right() - 11);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, value);
    if (index.column() == 0 && index.row() < int(Model->Rows().size())) {
        const TChartGridRow& row = Model->Rows()[size_t(index.row())];
        if (row.HasPen) {
            painter->fillRect(QRect(r.right() - 9, r.top(), 10, r.height()), background);
            DrawLineSample(*painter, row.Pen, QPoint(r.right() - 5, r.top() + 3),
                           QPoint(r.right() - 5, r.bottom() - 3));
        }
    }
    painter->restore();
}

void TTrainingListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const TListEntryLook look = Look(index.row());
    // Check box and background by the style, without the item's own text.
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    if (!look.Valid) return;

    painter->save();
    const QRect r = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    painter->setPen(selected ? option.palette.color(QPalette::HighlightedText) : option.palette.color(QPalette::Text));
    painter->setFont(option.font);
    const QRect textRect(r.left() + 18, r.top() + 2, std::max(0, r.width() - 18 - 34), r.height() - 2);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, QString::fromStdString(look.Label));
    const int right = r.right() + 1, bottom = r.bottom() + 1, top = r.top();
    painter->fillRect(QRect(QPoint(right - 25, top + 2), QPoint(right - 7, bottom - 2)), SwatchColor);
    if (look.Cross) {
        TLinePen inverse = look.Pen;
        inverse.Color = InverseColor(look.Pen.Color);
        inverse.Style = 0;
        DrawLineSample(*painter, inverse, QPoint(right - 28, bottom - 2), QPoint(right - 4, top + 2));
        DrawLineSample(*painter, look.Pen, QPoint(right - 28, top + 2), QPoint(right - 4, bottom - 2));
    } else {
        const int y = top + r.height() / 2;
        DrawLineSample(*painter, look.Pen, QPoint(right - 28, y), QPoint(right - 4, y));
    }
    painter->restore();
}

QSize TTrainingListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize s = QStyledItemDelegate::sizeHint(option, index);
    s.setHeight(ItemHeight);
    return s;
}
