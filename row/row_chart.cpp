#include "row/row_chart.h"

#include <QChart>
#include <QChartView>
#include <QPainter>
#include <QStyleOptionGraphicsItem>
#include <QValueAxis>

#include <algorithm>

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

TLiveLine* TRowChart::AddLiveLine(const QColor& color) { return new TLiveLine(FChart, *FRenderer, color); }

// ---- live line ------------------------------------------------------------------------

TLiveLine::TLiveLine(QChart* chart, const TChartRenderer& axes, const QColor& color)
    : QGraphicsItem(chart), Chart(chart), Axes(axes), Pen(color), Plot(chart->plotArea())
{
    // Over the grid and the data, as the chart's own series.
    setZValue(6);
    setFlag(QGraphicsItem::ItemUsesExtendedStyleOption);
    Connections.push_back(QObject::connect(chart, &QChart::plotAreaChanged, chart, [this] { Follow(); }));
    for (int i = 0; i < 2; ++i)
        if (auto* v = qobject_cast<QValueAxis*>(axes.Axis(i)))
            Connections.push_back(QObject::connect(v, &QValueAxis::rangeChanged, chart, [this] { Follow(); }));
}

TLiveLine::~TLiveLine()
{
    for (const QMetaObject::Connection& c : Connections) QObject::disconnect(c);
}

void TLiveLine::Follow()
{
    prepareGeometryChange();
    Plot = Chart->plotArea();
    Unpainted |= Plot;
    update();
}

TLiveLine::TPlacing TLiveLine::Placing() const
{
    double xLo = 0, xHi = 1, yLo = 0, yHi = 1;
    Axes.AxisRange(Axes.Axis(0), xLo, xHi);
    Axes.AxisRange(Axes.Axis(1), yLo, yHi);
    return TPlacing{Plot.left(),
                    Plot.bottom(),
                    xLo,
                    yLo,
                    xHi > xLo ? Plot.width() / (xHi - xLo) : 0,
                    yHi > yLo ? Plot.height() / (yHi - yLo) : 0};
}

void TLiveLine::Changed(const QList<QPointF>& points, qsizetype from, qsizetype to)
{
    from = std::max<qsizetype>(from, 0);
    to = std::min(to, points.size() - 1);
    if (from > to) return;
    // (Spanned by hand: a union of rectangles leaves out empty ones.)
    const TPlacing place = Placing();
    const QPointF first = place(points[from]);
    double left = first.x(), right = left, top = first.y(), bottom = top;
    for (qsizetype i = from + 1; i <= to; ++i) {
        const QPointF p = place(points[i]);
        left = std::min(left, p.x());
        right = std::max(right, p.x());
        top = std::min(top, p.y());
        bottom = std::max(bottom, p.y());
    }
    const double margin = Pen.widthF() + 2;
    const QRectF r = QRectF(QPointF(left - margin, top - margin), QPointF(right + margin, bottom + margin)) & Plot;
    if (r.isEmpty()) return;
    Unpainted |= r;
    update(r);
}

void TLiveLine::append(double x, double y)
{
    Points.append(QPointF(x, y));
    Changed(Points, Points.size() - 2, Points.size() - 1);
}

void TLiveLine::replace(const QList<QPointF>& points)
{
    // What both share at the start and at the end stays as it is drawn.
    const qsizetype n = std::min(Points.size(), points.size());
    qsizetype head = 0;
    while (head < n && Points[head] == points[head]) ++head;
    qsizetype tail = 0;
    while (tail < n - head && Points[Points.size() - 1 - tail] == points[points.size() - 1 - tail]) ++tail;
    if (head == Points.size() && head == points.size()) return;
    Changed(Points, head - 1, Points.size() - tail);
    Changed(points, head - 1, points.size() - tail);
    Points = points;
}

void TLiveLine::setPen(const QPen& pen)
{
    if (pen == Pen) return;
    Pen = pen;
    Changed(Points, 0, Points.size() - 1);
}

QRectF TLiveLine::TakeChanged()
{
    const QRectF r = Unpainted;
    Unpainted = QRectF();
    return r;
}

void TLiveLine::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    if (Points.size() < 2 || Plot.isEmpty()) return;
    QPolygonF line;
    line.reserve(Points.size());
    const TPlacing place = Placing();
    for (const QPointF& p : Points) line.append(place(p));
    painter->save();
    painter->setClipRect(Plot, Qt::IntersectClip);
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(Pen);
    painter->drawPolyline(line);
    painter->restore();
}

void TRowChart::Render(const TChartData& data, bool useDataScale, const std::vector<size_t>* unchanged)
{
    FRenderer->Render(data, useDataScale, unchanged);
}

void TRowChart::ClearData() { FRenderer->Clear(); }
