#include "row/row_chart.h"

#include <QChart>
#include <QChartView>
#include <QLineSeries>

TRowChart::TRowChart(QWidget* parent)
{
    FChart = new QChart;
    FChart->legend()->hide();
    FChart->setTitle(QString());
    FChart->setBackgroundRoundness(0);
    FChart->setDropShadowEnabled(false);
    FChart->setPlotAreaBackgroundVisible(false);
    FChart->setMargins(QMargins(2, 2, 2, 2));
    FView = new QChartView(FChart, parent);
    FView->setRenderHint(QPainter::Antialiasing, false);
    FView->setMinimumSize(100, 100);
    FView->setFrameShape(QFrame::NoFrame);
    FRenderer = std::make_unique<TChartRenderer>(FChart);
    FRenderer->Render(TChartData{}, false);  // the axes, before any data
}

TRowChart::~TRowChart()
{
    FRenderer.reset();
    delete FView;
}

void TRowChart::SetFixedAxis(int axis, double lo, double hi, double increment)
{
    FRenderer->SetScale(axis, TAxisScale{false, false, lo, hi, increment});
}

namespace {
TChartAxis& AxisOf(TChartRenderer& r, int axis) { return axis == 0 ? r.Bottom : axis == 1 ? r.Left : r.Right; }
}  // namespace

void TRowChart::SetAxisVisible(int axis, bool visible)
{
    AxisOf(*FRenderer, axis).Visible = visible;
    FRenderer->ApplyLook();
}

void TRowChart::SetAxisTitle(int axis, const QString& title)
{
    if (AxisOf(*FRenderer, axis).Title == title) return;
    AxisOf(*FRenderer, axis).Title = title;
    FRenderer->ApplyLook();
}

QString TRowChart::AxisTitle(int axis) const { return AxisOf(*FRenderer, axis).Title; }

QAbstractAxis* TRowChart::Axis(int axis) const
{
    return AxisOf(*FRenderer, axis).Visible ? FRenderer->Axis(axis) : nullptr;
}

bool TRowChart::AxisRange(int axis, double& lo, double& hi) const
{
    return FRenderer->AxisRange(FRenderer->Axis(axis), lo, hi);
}

void TRowChart::SetLook(const QFont& font, const QColor& lineColor, const QColor& background)
{
    FRenderer->LabelFont = font;
    FRenderer->TitleFont = font;
    FRenderer->LineColor = lineColor;
    FRenderer->LabelColor = lineColor;
    FRenderer->TitleColor = lineColor;
    FRenderer->ApplyLook();
    FChart->setBackgroundBrush(background);
    FChart->setBackgroundPen(Qt::NoPen);
    FView->setBackgroundBrush(background);
}

QLineSeries* TRowChart::AddFixedLine(const QString& name, const QColor& color)
{
    auto* line = new QLineSeries;
    line->setName(name);
    line->setColor(color);
    FChart->addSeries(line);
    line->attachAxis(FRenderer->Axis(0));
    line->attachAxis(FRenderer->Axis(1));
    return line;
}

void TRowChart::Render(const TChartData& data, bool useDataScale, const std::vector<size_t>* unchanged)
{
    FRenderer->Render(data, useDataScale, unchanged);
}

void TRowChart::ClearData() { FRenderer->Clear(); }
