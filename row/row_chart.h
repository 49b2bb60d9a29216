#pragma once
// A chart of the row window: a Qt chart in its own view with a bottom, a left
// and a right axis, drawn by the program's one chart renderer. A live chart
// that is drawn again after every stroke keeps its series objects, and its
// long lines are thinned on from where the last drawing stopped.
#include <memory>

#include <QColor>
#include <QFont>
#include <QString>

#include "core/series.h"
#include "framework/chart_renderer.h"

class QAbstractAxis;
class QChart;
class QChartView;
class QLineSeries;
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

    // Creates a persistent line series on the bottom and left axes (the live
    // curves, filled by the row window itself).
    QLineSeries* AddFixedLine(const QString& name, const QColor& color);

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
