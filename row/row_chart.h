#pragma once
// A chart of the row window: a Qt chart in its own view with a bottom, a left
// and a right axis, drawn by the program's one chart renderer. A live chart
// that is drawn again after every stroke keeps its series objects, and its
// long lines are thinned on from where the last drawing stopped.
#include <memory>
#include <vector>

#include <QColor>
#include <QFont>
#include <QGraphicsItem>
#include <QList>
#include <QMetaObject>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QString>

#include "core/series.h"
#include "framework/chart_renderer.h"

class QAbstractAxis;
class QChart;
class QChartView;
class QWidget;
class QXYSeries;

// A live curve of a row chart (the force curve of the drive under way, the
// previous one), drawn over the plot by an item of its own on the bottom and
// left axes: a sample added or a curve cut paints again only the part of the
// plot it changed (a chart line series repaints its whole extent, with the
// grid and the axes' labels under it, many times a second).
class TLiveLine : public QGraphicsItem {
public:
    TLiveLine(QChart* chart, const TChartRenderer& axes, const QColor& color);
    ~TLiveLine() override;
    int count() const { return int(Points.size()); }
    QPointF at(int i) const { return Points.at(i); }
    const QList<QPointF>& points() const { return Points; }
    void append(double x, double y);
    void replace(const QList<QPointF>& points);
    void clear() { replace({}); }
    void setPen(const QPen& pen);
    QPen pen() const { return Pen; }
    // The part of the chart changed since the last call (chart coordinates),
    // for a view that painted nothing meanwhile.
    QRectF TakeChanged();

    QRectF boundingRect() const override { return Plot; }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    // How the axes' units fall on the plot, with the axes as they are.
    struct TPlacing {
        double Left = 0, Bottom = 0, XLo = 0, YLo = 0, Sx = 0, Sy = 0;
        QPointF operator()(const QPointF& p) const
        {
            return QPointF(Left + (p.x() - XLo) * Sx, Bottom - (p.y() - YLo) * Sy);
        }
    };
    TPlacing Placing() const;
    // Marks the segments of points from index from to index to as changed.
    void Changed(const QList<QPointF>& points, qsizetype from, qsizetype to);
    void Follow();  // the plot area or an axis range changed: all of it

    QChart* Chart;
    const TChartRenderer& Axes;
    QList<QPointF> Points;
    QPen Pen;
    QRectF Plot;
    QRectF Unpainted;
    std::vector<QMetaObject::Connection> Connections;
};

class TRowChart {
public:
    explicit TRowChart(QWidget* parent);
    ~TRowChart();
    TRowChart(const TRowChart&) = delete;
    TRowChart& operator=(const TRowChart&) = delete;

    QChartView* View() const { return FView; }
    QChart* Chart() const { return FChart; }
    TChartRenderer& Renderer() const { return *FRenderer; }

    // Fixed range of a value axis (bottom, left, right: 0, 1, 2).
    void SetFixedAxis(int axis, double lo, double hi, double increment);
    void SetAxisVisible(int axis, bool visible);
    void SetAxisTitle(int axis, const QString& title);
    QString AxisTitle(int axis) const;
    // The axis in use (nullptr when hidden).
    QAbstractAxis* Axis(int axis) const;
    // Range of an axis in its own unit (days for time axes).
    bool AxisRange(int axis, double& lo, double& hi) const;

    // Fonts and colours of the axes and the chart background.
    void SetLook(const QFont& font, const QColor& lineColor, const QColor& background);

    // Creates a live curve on the bottom and left axes (filled by the row
    // window itself; owned by the chart).
    TLiveLine* AddLiveLine(const QColor& color);

    // Draws chart data in place of the last drawing. useDataScale: the left
    // and right axes take the data's scale; unchanged: see TChartRenderer::Render.
    void Render(const TChartData& data, bool useDataScale, const std::vector<size_t>* unchanged = nullptr);
    // The chart series drawn by the last Render, in the order of the data.
    int DataSeriesCount() const { return FRenderer->SeriesCount(); }
    QXYSeries* DataSeries(int i) const { return FRenderer->Series(i); }
    // The lines drawn by the renderer's own item (see TChartRenderer::OwnLines).
    int LineCount() const { return FRenderer->LineCount(); }
    TChartRenderer::TLine Line(int i) const { return FRenderer->Line(i); }
    // Empties the chart of drawn data.
    void ClearData();

private:
    QChartView* FView = nullptr;
    QChart* FChart = nullptr;
    std::unique_ptr<TChartRenderer> FRenderer;
};
