#pragma once
// A chart of the row window: a Qt chart in its own view with a bottom, a left
// and a right axis, drawn from the plain chart data of core/series.h. Series
// objects are kept and refilled with replace(), so a live chart that is
// redrawn after every stroke does not rebuild its items.
#include <vector>

#include <QColor>
#include <QFont>
#include <QString>

#include "core/series.h"
#include "framework/chart_axis_ticks.h"

class QAbstractAxis;
class QChart;
class QChartView;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;
class QWidget;
class QXYSeries;

class TRowChart {
public:
    explicit TRowChart(QWidget* parent);
    ~TRowChart();
    TRowChart(const TRowChart&) = delete;
    TRowChart& operator=(const TRowChart&) = delete;

    QChartView* View() const { return FView; }
    QChart* Chart() const { return FChart; }

    // Fixed range of a value axis (bottom, left, right: 0, 1, 2).
    void SetFixedAxis(int axis, double lo, double hi, double increment);
    void SetAxisVisible(int axis, bool visible);
    void SetAxisTitle(int axis, const QString& title);
    QString AxisTitle(int axis) const;
    // The axis in use (nullptr when hidden).
    QAbstractAxis* Axis(int axis) const;
    // Range of an axis in its own unit (days for time axes).
    bool AxisRange(int axis, double& lo, double& hi) const;

    // Fonts and colours of the four axes and the chart background.
    void SetLook(const QFont& font, const QColor& lineColor, const QColor& background);

    // Creates a persistent line series on the bottom and left axes (the live curves).
    QLineSeries* AddFixedLine(const QString& name, const QColor& color);

    // Draws chart data into the series after the fixed ones (a series pool;
    // surplus series are emptied and hidden). useDataScale: the left and right
    // axes take the data's scale.
    void Render(const TChartData& data, bool useDataScale);
    // Number of data series drawn by the last Render (the pool in use).
    int DataSeriesCount() const { return Used; }
    QXYSeries* DataSeries(int i) const;
    // Axes keep their fixed ranges in Render (the force-curve chart).
    bool KeepAxes = false;
    // Lines over far more points than the plot has pixel columns are drawn
    // through the lowest and highest point of each column (and the line's own
    // first and last point).
    bool ThinLines = true;
    // Empties the pool.
    void ClearData();
    // The line drawn for points when thinned to columns pixel columns over
    // the x range xLo..xHi; the points themselves when they are too few or
    // go back somewhere.
    static QList<QPointF> ThinnedLine(const std::vector<TPointD>& points, double xLo, double xHi, double columns);

private:
    QValueAxis* ValueAxis(int axis) const { return Values[axis]; }
    void UseAxis(int axis, bool dateTime);
    void SetRange(int axis, const TAxisScale& scale, double dataLo, double dataHi, bool haveData, bool whole);
    // Ticks of the three axes for the plot's size (again when it changes).
    void PlaceTicks();
    QXYSeries* PoolSeries(int i, TSeriesKind kind);

    // What the last Render made of one data series. A live chart gets the
    // same points again with one more at the end after every stroke: the
    // ranges and the thinned line then go on from where they stopped instead
    // of reading the whole session again.
    struct TSeriesMemo {
        std::vector<TPointD> Points;    // as last drawn
        double Lo[2] = {}, Hi[2] = {};  // x, y ranges of the finite values (Lo > Hi: none)
        bool Whole[2] = {true, true};
        // The thinned line: the key it was made for, and where its last pixel
        // column begins (in the points, in the line, and the point before it).
        double ThinKey[5] = {};
        bool Thinned = false;
        size_t ColumnStart = 0;
        qsizetype LineAtColumn = 0;
        size_t PreviousAtColumn = 0;
        QList<QPointF> Line;
    };
    // The number of points of memo's that points still begins with.
    static size_t KeptPrefix(const TSeriesMemo& memo, const std::vector<TPointD>& points);
    static void ScanRanges(TSeriesMemo& memo, const std::vector<TPointD>& points, size_t from);
    static bool ThinLine(TSeriesMemo& memo, const std::vector<TPointD>& points, size_t kept, const double key[5]);
    std::vector<TSeriesMemo> Memos;

    QChartView* FView = nullptr;
    QChart* FChart = nullptr;
    QValueAxis* Values[3] = {};
    QDateTimeAxis* Times[3] = {};
    bool TimeInUse[3] = {};
    bool Visible[3] = {true, true, true};
    QString Titles[3];
    std::vector<QXYSeries*> Fixed;
    std::vector<QXYSeries*> Pool;
    std::vector<TSeriesKind> PoolKinds;
    int Used = 0;
    TTickRule Rules[3];
    int TimeTicks[3] = {0, 0, 0};  // > 0: the ticks of a chosen step; 0: round time steps
};
