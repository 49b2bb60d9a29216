// Axis labels of the charts as drawn: every label fits the room between its
// ticks at narrow and wide sizes, whole values have no ".0", a zoom steps
// roundly from a round value, and an empty time axis has distinct labels.
#include <gtest/gtest.h>

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFontMetricsF>
#include <QValueAxis>

#include <cmath>
#include <set>

#include "framework/chart_renderer.h"
#include "tests/charts/testutil_charts.h"
#include "util/axis_ticks.h"

namespace {

struct TAxisBox {
    // The view is made on the chart: a chart set later would leave the
    // view's own first chart behind, never deleted.
    QChart* Chart = new QChart;
    QChartView View{Chart};
    TChartRenderer Axes{Chart};
    explicit TAxisBox(QSize size)
    {
        Chart->legend()->hide();
        View.resize(size);
        View.show();
        QApplication::processEvents();
    }
    void Settle()
    {
        for (int i = 0; i < 5; ++i) QApplication::processEvents();
    }
};

TSeriesData Curve(double length, bool whole)
{
    TSeriesData s;
    s.Color = 0x0000FF;
    for (int i = 0; i <= 80; ++i) {
        const double x = length * i / 80;
        s.Points.push_back({whole ? std::round(x) : x, whole ? double(i * 7) : 400 * std::sin(M_PI * i / 80)});
    }
    return s;
}

// The room between two ticks of a value axis against its widest label.
void ExpectLabelsFit(QChart* chart, QValueAxis* axis, bool horizontal)
{
    ASSERT_EQ(axis->tickType(), QValueAxis::TicksDynamic);
    const double span = axis->max() - axis->min();
    const double length = horizontal ? chart->plotArea().width() : chart->plotArea().height();
    const double room = axis->tickInterval() / span * length;
    const QFontMetricsF metrics(axis->labelsFont());
    for (double v = axis->tickAnchor(); v <= axis->max() + 1e-9; v += axis->tickInterval()) {
        const QString label = QString::asprintf(axis->labelFormat().toLatin1().constData(), v);
        EXPECT_LE(horizontal ? metrics.horizontalAdvance(label) : metrics.height(), room)
            << label.toStdString() << " at " << length << " px";
    }
}

}  // namespace

TEST(AxisLabels, ForceAxesKeepTheirScaleAndFitAtEverySize)
{
    TestApp();
    for (QSize size : {QSize(1400, 700), QSize(440, 420), QSize(260, 200)}) {
        TAxisBox box(size);
        box.Axes.Bottom.Scale = TAxisScale{false, false, 0, 176, 10};
        box.Axes.Left.Scale = TAxisScale{false, false, 0, 780, 77};
        box.Axes.Right.Visible = false;
        TChartData data;
        data.Series.push_back(Curve(146, false));
        box.Axes.Render(data, false);
        box.Settle();
        auto* bottom = qobject_cast<QValueAxis*>(box.Axes.BottomAxis());
        auto* left = qobject_cast<QValueAxis*>(box.Axes.LeftAxis());
        ASSERT_TRUE(bottom && left);
        // The specified ranges stay; the steps are the increments or multiples.
        EXPECT_EQ(bottom->min(), 0);
        EXPECT_EQ(bottom->max(), 176);
        EXPECT_EQ(left->max(), 780);
        EXPECT_EQ(std::fmod(bottom->tickInterval(), 10.0), 0) << size.width();
        EXPECT_EQ(std::fmod(left->tickInterval(), 77.0), 0) << size.height();
        EXPECT_EQ(bottom->labelFormat(), "%.0f");
        ExpectLabelsFit(box.Chart, bottom, true);
        ExpectLabelsFit(box.Chart, left, false);
        if (size.width() >= 1400) EXPECT_EQ(bottom->tickInterval(), 10);
        if (size.width() <= 440) EXPECT_GT(bottom->tickInterval(), 10);
    }
}

TEST(AxisLabels, WholeValuesHaveNoDecimalsAndAZoomStepsRoundly)
{
    TestApp();
    TAxisBox box(QSize(700, 400));
    TChartData data;
    data.Series.push_back(Curve(146, true));
    box.Axes.Render(data, true);
    box.Settle();
    auto* bottom = qobject_cast<QValueAxis*>(box.Axes.BottomAxis());
    auto* left = qobject_cast<QValueAxis*>(box.Axes.LeftAxis());
    ASSERT_TRUE(bottom && left);
    EXPECT_EQ(bottom->labelFormat(), "%.0f");
    EXPECT_EQ(left->labelFormat(), "%.0f");
    ExpectLabelsFit(box.Chart, bottom, true);

    // A zoom into an odd part of the plot.
    const QRectF plot = box.Chart->plotArea();
    box.Chart->zoomIn(QRectF(plot.left() + plot.width() * 0.37, plot.top() + plot.height() * 0.21, plot.width() * 0.29,
                             plot.height() * 0.33));
    box.Settle();
    for (QValueAxis* axis : {bottom, left}) {
        const double step = axis->tickInterval();
        const double magnitude = std::pow(10.0, std::floor(std::log10(step) + 1e-9));
        const double f = std::round(step / magnitude * 1000) / 1000;
        EXPECT_TRUE(f == 1 || f == 2 || f == 5) << step;
        const double k = axis->tickAnchor() / step;
        EXPECT_NEAR(k, std::round(k), 1e-6) << axis->tickAnchor();
        EXPECT_GE(step, 1);  // whole values: no step below 1
    }
    ExpectLabelsFit(box.Chart, bottom, true);
    ExpectLabelsFit(box.Chart, left, false);
}

TEST(AxisLabels, EmptyTimeAxisShowsDistinctTimes)
{
    TestApp();
    TAxisBox box(QSize(700, 400));
    TChartData data;
    TSeriesData s;
    s.XDateTime = true;  // a time parameter on the bottom axis, no strokes yet
    data.Series.push_back(s);
    box.Axes.Render(data, true);
    box.Settle();
    auto* time = qobject_cast<QDateTimeAxis*>(box.Axes.BottomAxis());
    ASSERT_NE(time, nullptr);
    const qint64 span = time->max().toMSecsSinceEpoch() - time->min().toMSecsSinceEpoch();
    EXPECT_LT(span, 3600 * 1000);
    std::set<QString> labels;
    for (int i = 0; i < time->tickCount(); ++i)
        labels.insert(time->min().addMSecs(span * i / (time->tickCount() - 1)).toString(time->format()));
    EXPECT_EQ(int(labels.size()), time->tickCount());
}

TEST(AxisLabels, TimeAxisStepsOnRoundTimesAlsoAfterAZoom)
{
    TestApp();
    for (const QSize size : {QSize(900, 400), QSize(330, 300)}) {
        TAxisBox box(size);
        TChartData data;
        TSeriesData s;
        s.XDateTime = true;
        for (int i = 0; i <= 100; ++i) s.Points.push_back({(7.3 + i * 17.71) / 86400, double(100 + i % 7)});
        data.Series.push_back(s);
        box.Axes.Render(data, true);
        box.Settle();
        auto* time = qobject_cast<QDateTimeAxis*>(box.Axes.BottomAxis());
        ASSERT_NE(time, nullptr);
        auto expectRound = [&](const char* when) {
            SCOPED_TRACE(when);
            const double lo = double(time->min().toMSecsSinceEpoch() - TChartRenderer::DayBase()) / 1000;
            const double hi = double(time->max().toMSecsSinceEpoch() - TChartRenderer::DayBase()) / 1000;
            ASSERT_GE(time->tickCount(), 2);
            const double step = (hi - lo) / (time->tickCount() - 1);
            EXPECT_NEAR(step, RoundTimeStep(step), 1e-3) << step;
            EXPECT_NEAR(lo / step, std::round(lo / step), 1e-6) << lo;
            // Labels fit side by side.
            const QFontMetricsF metrics(time->labelsFont());
            const double plot = box.Chart->plotArea().width();
            EXPECT_GE(plot / (time->tickCount() - 1), metrics.horizontalAdvance("00:00")) << size.width();
        };
        expectRound("drawn");
        // Every point lies inside the range.
        EXPECT_LE(time->min().toMSecsSinceEpoch(), TChartRenderer::DayBase() + 7300);
        EXPECT_GE(time->max().toMSecsSinceEpoch(), TChartRenderer::DayBase() + qint64((7.3 + 1771) * 1000));
        const QRectF plot = box.Chart->plotArea();
        box.Chart->zoomIn(QRectF(plot.left() + plot.width() * 0.37, plot.top(), plot.width() * 0.29, plot.height()));
        box.Settle();
        expectRound("zoomed");
    }
}
