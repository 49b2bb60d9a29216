#include "review/grid_models.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QTableView>

#include <algorithm>

#include "core/catalogue.h"
#include "core/intervals.h"
#include "core/records.h"
#include "core/values.h"
#include "framework/window_util.h"
#include "util/text.h"

// ---------------------------------------------------------------- TSessionGridModel

void TSessionGridModel::SetTraining(const TTraining* training)
{
    beginResetModel();
    Session = training;
    Shown = ItemCount();
    endResetModel();
}

void TSessionGridModel::Refresh()
{
    const int now = ItemCount();
    if (now < Shown) {
        // The session was reset or replaced by a shorter one.
        beginResetModel();
        Shown = now;
        endResetModel();
        return;
    }
    // The last row shown may have changed since (interval marks and the
    // force data of the stroke arrive after it was stored); earlier rows stay.
    const int last = std::max(Shown, 1) - 1;
    emit dataChanged(index(last, 0), index(last, ColumnTotal() - 1));
    if (now > Shown) {
        // The empty placeholder row of a session without items becomes item 1.
        const int first = Shown == 0 ? 1 : Shown;
        if (now > first) {
            beginInsertRows(QModelIndex(), first, now - 1);
            Shown = now;
            endInsertRows();
        } else {
            Shown = now;
        }
    }
}

void TSessionGridModel::RefreshAllRows()
{
    const int rows = std::max(Shown, 1);
    emit dataChanged(index(0, 0), index(rows - 1, ColumnTotal() - 1));
    Refresh();
}

int TSessionGridModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid()) return 0;
    return std::max(Shown, 1);
}

int TSessionGridModel::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid()) return 0;
    return ColumnTotal();
}

QVariant TSessionGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnTotal()) return QVariant();
    if (role == Qt::DisplayRole) {
        // A row the view knows of but the session lost (between a reset and
        // the next Refresh) shows empty.
        if (index.row() >= std::min(Shown, ItemCount())) return QString();
        return QString::fromStdString(CellText(index.row(), index.column()));
    }
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignRight | Qt::AlignVCenter);
    return QVariant();
}

QVariant TSessionGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole) return QVariant();
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= ColumnTotal()) return QVariant();
        return QString::fromStdString(HeaderText(section));
    }
    return section + 1;
}

// ---------------------------------------------------------------- TParameterGridModel

TParameterGridModel::TParameterGridModel(const std::vector<int32_t>& idMap, TCaption caption, QObject* parent)
    : TSessionGridModel(parent), Parameters(idMap.begin(), idMap.end()), Caption(caption)
{}

std::string TParameterGridModel::HeaderText(int column) const
{
    if (column == 0) return "#";
    return Caption(Parameters[size_t(column - 1)]);
}

std::string TParameterGridModel::CellText(int row, int column) const
{
    if (column == 0) return FormatValue("%4.0f", float(row + 1));
    return ValueText(row, Parameters[size_t(column - 1)]);
}

// ---------------------------------------------------------------- TStrokeDataModel

TStrokeDataModel::TStrokeDataModel(QObject* parent) : TParameterGridModel(StrokeIdMap(), StrokeShortCaption, parent) {}

int TStrokeDataModel::ItemCount() const { return Session ? Session->StrokeCount() : 0; }

std::string TStrokeDataModel::ValueText(int row, int parameter) const
{
    return StrokeValueText(Session->Strokes[size_t(row + 1)], parameter, Session->Settings);
}

// ---------------------------------------------------------------- TForceCurveModel

int TForceCurveModel::ItemCount() const { return Session ? std::max(0, int(Session->Curves.size()) - 1) : 0; }

std::string TForceCurveModel::HeaderText(int column) const
{
    if (column == 0) return "#";
    if (column == 1) return "Used";
    double spacing = Session ? SampleSpacing(Session->Settings) : 2.0;
    return FormatValue("%3.1f", float((column - 1) * spacing));
}

std::string TForceCurveModel::CellText(int row, int column) const
{
    const TStgForceCurve& c = Session->Curves[size_t(row + 1)];
    if (column == 0) return FormatValue("%4.0f", float(row + 1));
    if (column == 1) return c.HasData ? "+" : "";
    return FormatValue("%3.0f", float(c.Samples[column - 2]));
}

void TForceCurveModel::RefreshHeaders()
{
    double spacing = Session ? SampleSpacing(Session->Settings) : 2.0;
    if (spacing != Spacing) {
        Spacing = spacing;
        emit headerDataChanged(Qt::Horizontal, 2, ColumnTotal() - 1);
    }
}

// ---------------------------------------------------------------- TIntervalModel

TIntervalModel::TIntervalModel(QObject* parent) : TParameterGridModel(IntervalIdMap(), IntervalCaption, parent) {}

int TIntervalModel::ItemCount() const { return Session ? Session->IntervalCount() : 0; }

std::string TIntervalModel::ValueText(int row, int parameter) const
{
    return IntervalValueText(Session->Intervals[size_t(row)], parameter);
}

// ---------------------------------------------------------------- TSplitsModel

TSplitsModel::TSplitsModel(QObject* parent) : QAbstractTableModel(parent)
{
    Headers << "#";
    for (int32_t p : SplitIdMap()) Headers << QString::fromStdString(SplitCaption(p));
}

void TSplitsModel::SetSplits(std::vector<TSplit> splits)
{
    beginResetModel();
    FSplits = std::move(splits);
    endResetModel();
}

int TSplitsModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(FSplits.size()); }
int TSplitsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(Headers.size()); }

QVariant TSplitsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(FSplits.size())) return QVariant();
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole) return QVariant();
    const TSplit& s = FSplits[size_t(index.row())];
    if (index.column() == 0) return QString::fromStdString(FormatValue("%4.0f", s.Number));
    const auto& map = SplitIdMap();
    const int slot = index.column() - 1;
    if (slot < 0 || slot >= int(map.size())) return QVariant();
    return QString::fromStdString(Trim(SplitValueText(s, map[size_t(slot)])));
}

QVariant TSplitsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return QVariant();
    if (section < 0 || section >= Headers.size()) return QVariant();
    return Headers[section];
}

// ---------------------------------------------------------------- view helpers

void SetupGridView(QTableView* view, int defaultColumnWidth)
{
    QFontInfo fi(view->font());
    int fontSize = std::max(fi.pointSize(), 6);
    view->verticalHeader()->setVisible(false);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setMinimumSectionSize(1);
    view->verticalHeader()->setDefaultSectionSize(fontSize * 2);
    view->horizontalHeader()->setFixedHeight(fontSize * 5 / 2);
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    view->horizontalHeader()->setMinimumSectionSize(1);
    if (defaultColumnWidth > 0) view->horizontalHeader()->setDefaultSectionSize(defaultColumnWidth);
    view->setWordWrap(false);
    view->setTextElideMode(Qt::ElideNone);
    view->setSelectionBehavior(QAbstractItemView::SelectItems);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    if (view->model() && view->model()->columnCount() > 0) view->setColumnWidth(0, 30);
    // A grid with a column width of its own (the force curves' sample
    // columns) keeps it; the others fit their headers.
    if (defaultColumnWidth > 0) return;
    FitColumnsToHeaders(view);
    // A model reset lays the columns out anew: fit them again.
    if (view->model() && !view->property("fitsHeaders").toBool()) {
        view->setProperty("fitsHeaders", true);
        QObject::connect(view->model(), &QAbstractItemModel::modelReset, view, [view] { FitColumnsToHeaders(view); });
    }
}
