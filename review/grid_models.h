#pragma once
// Table models of the training and results windows' grids. Each model reads
// the session it is given on demand (texts are formatted in data()), so a
// grid of thousands of strokes costs nothing until its rows are painted. The
// session's header row is the view's horizontal header; column 0 holds the
// stroke or interval number. A session without strokes (or intervals) shows
// one empty row.
//
// Refresh() brings a model up to date with its session: strokes added at the
// end are announced as inserted rows (beginInsertRows), the last row shown
// is marked changed, and only a shrinking session resets the model.
#include <QAbstractTableModel>
#include <QStringList>

#include <cstdint>

#include <string>
#include <vector>

#include "core/splits.h"

struct TTraining;
class QTableView;

class TSessionGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TSessionGridModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    // The session shown (not owned; nullptr shows one empty row).
    void SetTraining(const TTraining* training);
    const TTraining* Training() const { return Session; }
    // Brings the rows up to date with the session: rows added at the end are
    // inserted and the last row shown is marked changed.
    void Refresh();
    // As Refresh, and every row is marked changed (the session's values
    // changed throughout, for example after a workout edit).
    void RefreshAllRows();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Number of data items (strokes or intervals) the session holds.
    virtual int ItemCount() const = 0;
    // Text of a cell of item row (0-based); column 0 is the number column.
    virtual std::string CellText(int row, int column) const = 0;
    virtual int ColumnTotal() const = 0;
    virtual std::string HeaderText(int column) const = 0;

protected:
    const TTraining* Session = nullptr;
    int Shown = 0;  // items the view knows of
};

// A grid of "#" (the item number, "%4.0f") and one column per slot of a
// catalogue's id map, headed by the catalogue's caption.
class TParameterGridModel : public TSessionGridModel {
    Q_OBJECT
public:
    using TCaption = std::string (*)(int);
    TParameterGridModel(const std::vector<int32_t>& idMap, TCaption caption, QObject* parent);
    std::string CellText(int row, int column) const override;
    int ColumnTotal() const override { return int(Parameters.size()) + 1; }
    std::string HeaderText(int column) const override;

protected:
    // Text of the value of catalogue position parameter of item row (0-based).
    virtual std::string ValueText(int row, int parameter) const = 0;

private:
    std::vector<int> Parameters;  // catalogue position of every column after the first
    TCaption Caption;
};

// Stroke-data grid: one column per slot of the stroke id map.
class TStrokeDataModel : public TParameterGridModel {
    Q_OBJECT
public:
    explicit TStrokeDataModel(QObject* parent = nullptr);
    int ItemCount() const override;

protected:
    std::string ValueText(int row, int parameter) const override;
};

// Force-curve grid: "#", "Used" and the 80 samples headed by their position (cm).
class TForceCurveModel : public TSessionGridModel {
    Q_OBJECT
public:
    explicit TForceCurveModel(QObject* parent = nullptr) : TSessionGridModel(parent) {}
    int ItemCount() const override;
    std::string CellText(int row, int column) const override;
    int ColumnTotal() const override { return 82; }
    std::string HeaderText(int column) const override;
    // The sample spacing the headers were made with; a change of ergometer or
    // sprocket renames the headers on the next Refresh().
    void RefreshHeaders();

private:
    double Spacing = -1;
};

// Intervals grid: one column per slot of the interval id map.
class TIntervalModel : public TParameterGridModel {
    Q_OBJECT
public:
    explicit TIntervalModel(QObject* parent = nullptr);
    int ItemCount() const override;

protected:
    std::string ValueText(int row, int parameter) const override;
};

// Splits grid: only the header ("#" and the split captions), no rows.
class TSplitsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TSplitsModel(QObject* parent = nullptr);
    // One row per split: its number, then the split catalogue's values.
    void SetSplits(std::vector<TSplit> splits);
    const std::vector<TSplit>& Splits() const { return FSplits; }
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QStringList Headers;
    std::vector<TSplit> FSplits;
};

// Grid views of these windows: fixed row heights (twice the font size, the
// header row 2.5 times), no row header, column 0 30 pixels wide, the given
// default column width for the others (0 = Qt's default, widened to fit
// each column's header).
void SetupGridView(QTableView* view, int defaultColumnWidth = 0);
