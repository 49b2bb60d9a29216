// Drawing chart data with Qt Charts: points that carry their own colour,
// series reused between drawings, and thinning to the plot's pixels (which
// must not change what the plot shows, also after zooming in).
#include <gtest/gtest.h>

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

#include "framework/chart_renderer.h"
#include "charts/force_curves_window.h"
#include "charts/stroke_data_window.h"
#include "core/catalogue.h"
#include "core/series.h"
#include "framework/window_util.h"
#include "tests/charts/testutil_charts.h"

namespace {

constexpr int32_t kRed = 0x0000FF, kBlue = 0xFF0000, kGreen = 0x008000;

// A chart in a view of a fixed size, shown offscreen, with manual axes.
struct TChartBox {
    // The view is made on the chart: a chart set later would leave the
    // view's own first chart behind, never deleted.
    QChart* Chart = new QChart;
    QChartView View{Chart};
    TChartRenderer Axes{Chart};
    TChartBox()
    {
        Chart->legend()->hide();
        Chart->setBackgroundBrush(Qt::white);
        View.setRenderHint(QPainter::Antialiasing, false);
        View.resize(600, 400);
        Axes.Bottom.Scale = TAxisScale{false, false, 0, 100, 10};
        Axes.Left.Scale = TAxisScale{false, false, 0, 100, 10};
        Axes.Right.Scale = TAxisScale{false, false, 0, 100, 10};
        View.show();
        QApplication::processEvents();
    }
    QImage Image()
    {
        QApplication::processEvents();
        return View.grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    // Whether the colour is found within two pixels of a chart value.
    bool ColourNear(const QImage& image, QPointF value, QAbstractSeries* series, int32_t color)
    {
        const QPoint at = View.mapFromScene(Chart->mapToPosition(value, series));
        const QRgb want = ToQColor(color).rgb() & 0xFFFFFF;
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) {
                const QPoint p = at + QPoint(dx, dy);
                if (image.rect().contains(p) && (image.pixel(p) & 0xFFFFFF) == want) return true;
            }
        return false;
    }
    std::vector<QXYSeries*> Series()
    {
        std::vector<QXYSeries*> list;
        for (QAbstractSeries* s : Chart->series()) list.push_back(static_cast<QXYSeries*>(s));
        return list;
    }
};

TSeriesData Line(int32_t color, std::vector<TPointD> points)
{
    TSeriesData s;
    s.Kind = TSeriesKind::Line;
    s.Color = color;
    s.PenWidth = 2;
    s.Points = std::move(points);
    return s;
}

class ChartRenderTest : public ::testing::Test {
protected:
    void SetUp() override { TestApp(); }
};

TEST_F(ChartRenderTest, LineSegmentsTakeTheColourOfThePointTheyLeadTo)
{
    TChartBox box;
    TChartData data;
    TSeriesData s = Line(kGreen, {{10, 50}, {30, 50}, {50, 50}, {70, 50}, {90, 50}});
    s.PointColors = {kRed, kRed, kBlue, kBlue, kRed};
    data.Series.push_back(s);
    box.Axes.Render(data, false);

    // Runs: red 10..30, blue 30..70 (from the point before the run), red 70..90.
    const auto series = box.Series();
    ASSERT_EQ(series.size(), 3u);
    EXPECT_EQ(static_cast<QLineSeries*>(series[0])->pen().color(), ToQColor(kRed));
    EXPECT_EQ(static_cast<QLineSeries*>(series[1])->pen().color(), ToQColor(kBlue));
    EXPECT_EQ(static_cast<QLineSeries*>(series[2])->pen().color(), ToQColor(kRed));
    EXPECT_EQ(series[1]->points(), (QList<QPointF>{{30, 50}, {50, 50}, {70, 50}}));
    EXPECT_EQ(static_cast<QLineSeries*>(series[1])->pen().width(), 2);

    const QImage image = box.Image();
    EXPECT_TRUE(box.ColourNear(image, {20, 50}, series[0], kRed));
    EXPECT_TRUE(box.ColourNear(image, {40, 50}, series[0], kBlue));
    EXPECT_TRUE(box.ColourNear(image, {60, 50}, series[0], kBlue));
    EXPECT_TRUE(box.ColourNear(image, {80, 50}, series[0], kRed));
    EXPECT_FALSE(box.ColourNear(image, {40, 50}, series[0], kGreen));
}

TEST_F(ChartRenderTest, PointsTakeTheirOwnColourAndSameColoursShareASeries)
{
    TChartBox box;
    TChartData data;
    TSeriesData s;
    s.Kind = TSeriesKind::Point;
    s.Pointer = TPointerShape::Circle;
    s.PointerSize = 5;
    s.Axis = TAxisSide::Right;
    s.Color = kGreen;
    s.Points = {{20, 20}, {40, 40}, {60, 60}, {80, 80}};
    s.PointColors = {kRed, kBlue, kRed, kGreen};
    data.Series.push_back(s);
    box.Axes.Render(data, false);

    const auto series = box.Series();
    ASSERT_EQ(series.size(), 3u);
    for (QXYSeries* x : series) {
        auto* scatter = qobject_cast<QScatterSeries*>(x);
        ASSERT_NE(scatter, nullptr);
        EXPECT_EQ(scatter->markerShape(), QScatterSeries::MarkerShapeCircle);
        EXPECT_EQ(x->attachedAxes().size(), 2);
        EXPECT_TRUE(x->attachedAxes().contains(box.Axes.RightAxis()));
    }
    EXPECT_EQ(series[0]->color(), ToQColor(kRed));
    EXPECT_EQ(series[0]->points(), (QList<QPointF>{{20, 20}, {60, 60}}));

    const QImage image = box.Image();
    EXPECT_TRUE(box.ColourNear(image, {20, 20}, series[0], kRed));
    EXPECT_TRUE(box.ColourNear(image, {40, 40}, series[0], kBlue));
    EXPECT_TRUE(box.ColourNear(image, {60, 60}, series[0], kRed));
    EXPECT_TRUE(box.ColourNear(image, {80, 80}, series[0], kGreen));
    EXPECT_FALSE(box.ColourNear(image, {40, 40}, series[0], kRed));
}

TEST_F(ChartRenderTest, PointColoursLikeTheSeriesColourOrMissingGiveOneSeries)
{
    TChartBox box;
    TChartData data;
    TSeriesData same = Line(kRed, {{10, 10}, {20, 20}, {30, 30}});
    same.PointColors = {kRed, kRed, kRed};
    TSeriesData shortList = Line(kBlue, {{10, 60}, {20, 70}, {30, 80}});
    shortList.PointColors = {kBlue};  // the points without their own colour take the series colour
    data.Series = {same, shortList};
    box.Axes.Render(data, false);
    const auto series = box.Series();
    ASSERT_EQ(series.size(), 2u);
    EXPECT_EQ(series[0]->points().size(), 3);
    EXPECT_EQ(series[1]->points().size(), 3);
}

TEST_F(ChartRenderTest, SeriesAreReusedWhileTheirKindMatches)
{
    TChartBox box;
    TChartData data;
    data.Series = {Line(kRed, {{10, 10}, {20, 20}}), Line(kBlue, {{10, 30}, {20, 40}})};
    box.Axes.Render(data, false);
    const auto first = box.Series();
    ASSERT_EQ(first.size(), 2u);

    // Same kinds: the same objects with the new points and colours.
    data.Series = {Line(kBlue, {{30, 30}}), Line(kGreen, {{40, 40}, {50, 50}, {60, 60}})};
    box.Axes.Render(data, false);
    auto now = box.Series();
    ASSERT_EQ(now.size(), 2u);
    EXPECT_EQ(now[0], first[0]);
    EXPECT_EQ(now[1], first[1]);
    EXPECT_EQ(now[0]->points(), QList<QPointF>{QPointF(30, 30)});
    EXPECT_EQ(static_cast<QLineSeries*>(now[1])->pen().color(), ToQColor(kGreen));

    // A point series in place of the first line, and one series less.
    TSeriesData points;
    points.Kind = TSeriesKind::Point;
    points.Color = kRed;
    points.Points = {{5, 5}};
    data.Series = {points};
    box.Axes.Render(data, false);
    now = box.Series();
    ASSERT_EQ(now.size(), 1u);
    EXPECT_NE(qobject_cast<QScatterSeries*>(now[0]), nullptr);

    // Series removed behind the renderer's back are not touched again.
    box.Chart->removeAllSeries();
    data.Series = {Line(kRed, {{10, 10}, {20, 20}})};
    box.Axes.Render(data, false);
    EXPECT_EQ(box.Series().size(), 1u);
    data.Series.clear();
    box.Axes.Render(data, false);
    EXPECT_TRUE(box.Chart->series().isEmpty());
    EXPECT_EQ(box.Axes.HeldPoints(), 0);
}

// A rising line of n points with one spike (at the given index) far above the rest.
QList<QPointF> SpikedLine(int n, int spike)
{
    QList<QPointF> points;
    for (int i = 0; i < n; ++i) points.append(QPointF(i, i == spike ? 1000.0 : 100.0 + (i % 7)));
    return points;
}

TEST_F(ChartRenderTest, ThinningKeepsTheExtremesOfEveryPixelColumnAndTheEdges)
{
    const QList<QPointF> points = SpikedLine(10000, 4321);
    const QList<QPointF> thin = ThinPoints(points, true, 0, 9999, 0, 1100, 500, 300);
    EXPECT_LT(thin.size(), 2100);
    EXPECT_EQ(thin.front(), points.front());
    EXPECT_EQ(thin.back(), points.back());
    EXPECT_TRUE(thin.contains(points[4321]));
    EXPECT_TRUE(std::is_sorted(thin.begin(), thin.end(), [](QPointF a, QPointF b) { return a.x() < b.x(); }));
    // Every pixel column keeps its lowest and highest value.
    for (int column = 0; column < 500; column += 37) {
        double lo = 1e9, hi = -1e9, tlo = 1e9, thi = -1e9;
        for (const QPointF& p : points)
            if (int(std::floor(p.x() * (500.0 / 9999))) == column) lo = std::min(lo, p.y()), hi = std::max(hi, p.y());
        for (const QPointF& p : thin)
            if (int(std::floor(p.x() * (500.0 / 9999))) == column)
                tlo = std::min(tlo, p.y()), thi = std::max(thi, p.y());
        EXPECT_EQ(lo, tlo) << column;
        EXPECT_EQ(hi, thi) << column;
    }

    // A zoomed range keeps one point on each side outside it, all points inside.
    const QList<QPointF> zoomed = ThinPoints(points, true, 100, 110, 0, 1100, 500, 300);
    ASSERT_EQ(zoomed.size(), 13);
    EXPECT_EQ(zoomed.front().x(), 99);
    EXPECT_EQ(zoomed.back().x(), 111);

    // Few points, an empty plot or an empty range: unchanged.
    EXPECT_EQ(ThinPoints(points.mid(0, 100), true, 0, 99, 0, 1100, 500, 300).size(), 100);
    EXPECT_EQ(ThinPoints(points, true, 0, 9999, 0, 1100, 0, 0).size(), 10000);
    EXPECT_EQ(ThinPoints(points, true, 5, 5, 0, 1100, 500, 300).size(), 10000);
}

// A line that only gets points at its end is thinned on from its last pixel
// column, with the result of thinning it anew; anything else starts over.
TEST_F(ChartRenderTest, AGrowingLineIsThinnedOnFromItsLastColumn)
{
    const QList<QPointF> all = SpikedLine(12000, 11500);
    TThinMemo memo;
    QList<QPointF> points = all.mid(0, 9000);
    EXPECT_EQ(ThinLine(points, 0, memo, 0, 12000, 0, 1100, 500, 300),
              ThinPoints(points, true, 0, 12000, 0, 1100, 500, 300));
    // Mark the thinned line's start: going on keeps it, starting over would not.
    memo.Out[1] = QPointF(1, -5);
    for (int n = 9001; n <= 12000; n += 250) {
        const qsizetype kept = points.size();
        points = all.mid(0, n);
        QList<QPointF> fresh = ThinPoints(points, true, 0, 12000, 0, 1100, 500, 300);
        fresh[1] = QPointF(1, -5);
        ASSERT_EQ(ThinLine(points, kept, memo, 0, 12000, 0, 1100, 500, 300), fresh) << n;
    }
    // A changed point (kept 0), another range or another plot size: thinned anew.
    points[100].ry() = 900;
    EXPECT_EQ(ThinLine(points, 0, memo, 0, 12000, 0, 1100, 500, 300),
              ThinPoints(points, true, 0, 12000, 0, 1100, 500, 300));
    EXPECT_EQ(ThinLine(points, points.size(), memo, 0, 13000, 0, 1100, 500, 300),
              ThinPoints(points, true, 0, 13000, 0, 1100, 500, 300));
    EXPECT_EQ(ThinLine(points, points.size(), memo, 0, 13000, 0, 1100, 400, 300),
              ThinPoints(points, true, 0, 13000, 0, 1100, 400, 300));
    // Points that go back: every point that moves the line by a pixel.
    points.append(QPointF(5, 100));
    EXPECT_EQ(ThinLine(points, points.size() - 1, memo, 0, 13000, 0, 1100, 400, 300),
              ThinPoints(points, true, 0, 13000, 0, 1100, 400, 300));
}

TEST_F(ChartRenderTest, ThinningOfLinesGoingBackAndPointSeriesDropsOnlySamePixels)
{
    // Back and forth over two x values: consecutive points on one pixel are dropped.
    QList<QPointF> zigzag;
    for (int i = 0; i < 5000; ++i) zigzag.append(QPointF(i % 2 ? 10.0 : 10.001, 50.0 + (i / 1000)));
    zigzag.append(QPointF(90, 90));
    const QList<QPointF> thin = ThinPoints(zigzag, true, 0, 100, 0, 100, 400, 400);
    EXPECT_LE(thin.size(), 12);
    EXPECT_EQ(thin.front(), zigzag.front());
    EXPECT_EQ(thin.back(), QPointF(90, 90));

    // Points: one per pixel, wherever it comes in the list; points on
    // other pixels (also outside the visible range) all stay.
    QList<QPointF> cloud;
    for (int i = 0; i < 3000; ++i) cloud.append(QPointF((i % 3) * 10.0, 50.0));
    for (int i = 0; i < 1000; ++i) cloud.append(QPointF(-5.0 - i, 50.0));
    const QList<QPointF> points = ThinPoints(cloud, false, 0, 100, 0, 100, 400, 400);
    EXPECT_EQ(points.size(), 3 + 1000);
}

TEST_F(ChartRenderTest, ZoomingInShowsEveryPointOfTheVisibleRange)
{
    TChartBox box;
    TChartData data;
    TSeriesData s = Line(kRed, {});
    for (int i = 0; i < 20000; ++i) s.Points.push_back({i * 0.005, 50.0 + (i % 13)});
    s.Points[12345].Y = 95;  // a spike at x = 61.725
    data.Series.push_back(s);
    box.Axes.Render(data, false);
    EXPECT_EQ(box.Axes.HeldPoints(), 20000);
    EXPECT_LT(box.Axes.ShownPoints(), 5000);
    const auto series = box.Series();
    ASSERT_EQ(series.size(), 1u);
    const QList<QPointF> shown = series[0]->points();
    EXPECT_TRUE(shown.contains(QPointF(12345 * 0.005, 95)));

    // Zoom to 60..62: every point there (and one on each side) is handed to the chart.
    static_cast<QValueAxis*>(box.Axes.BottomAxis())->setRange(60, 62);
    const QList<QPointF> zoomed = series[0]->points();
    EXPECT_GE(zoomed.size(), 401);
    EXPECT_LE(zoomed.size(), 403);
    EXPECT_TRUE(zoomed.contains(QPointF(12345 * 0.005, 95)));
    const QImage image = box.Image();
    EXPECT_TRUE(box.ColourNear(image, {12345 * 0.005, 95}, series[0], kRed));

    // Without thinning the chart gets every point.
    box.Axes.Thinning = false;
    box.Axes.ThinToPlot();
    EXPECT_EQ(series[0]->count(), 20000);
}

// The stroke data window: the Y series in the session colour, the Z series
// (right axis) in the inverse colour while the cross marker is on.
class StrokeColourTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp();
        BuildCatalogues();
    }
    TChartEnv Env;
    TChartRegistry Registry;
};

TEST_F(StrokeColourTest, TheZSeriesIsDrawnInTheInverseColour)
{
    Registry.Add(MakeSession(30, "Colours", 0x0000FF));
    TfrmStrokeData* w = CreateStrokeDataWindow(nullptr, Registry.Store, Env.Settings());
    w->showNormal();
    w->resize(900, 700);
    QApplication::processEvents();
    QXYSeries* left = nullptr;
    QXYSeries* right = nullptr;
    for (QAbstractSeries* s : w->Chart->series())
        for (QAbstractAxis* a : s->attachedAxes()) {
            if (a->alignment() == Qt::AlignLeft) left = static_cast<QXYSeries*>(s);
            if (a->alignment() == Qt::AlignRight) right = static_cast<QXYSeries*>(s);
        }
    ASSERT_NE(left, nullptr);
    ASSERT_NE(right, nullptr);
    const QImage image = w->ChartView->grab().toImage().convertToFormat(QImage::Format_RGB32);
    auto colourAt = [&](QXYSeries* s, int i, int32_t color) {
        const QPointF value = s->points().at(i);
        const QPoint at = w->ChartView->mapFromScene(w->Chart->mapToPosition(value, s));
        const QRgb want = ToQColor(color).rgb() & 0xFFFFFF;
        int found = 0;
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx)
                if (image.rect().contains(at + QPoint(dx, dy)) && (image.pixel(at + QPoint(dx, dy)) & 0xFFFFFF) == want)
                    ++found;
        return found > 0;
    };
    // Power (left) in red, pulse (right) in cyan, the inverse of red, darkened
    // until it stands out from the chart's light background.
    const int32_t back = FromQColor(w->Chart->backgroundBrush().color());
    const int32_t inverse = ReadableColor(0xFFFF00, back);
    EXPECT_GE(ContrastRatio(inverse, back), 2.2);
    int leftHits = 0, rightHits = 0;
    for (int i = 3; i < 25; i += 4) {
        leftHits += colourAt(left, i, 0x0000FF);
        rightHits += colourAt(right, i, inverse);
    }
    EXPECT_GE(leftHits, 5);
    EXPECT_GE(rightHits, 5);

    // Without the cross marker the right side keeps the session colour.
    Registry.Cross = false;
    w->DrawChart();
    for (QAbstractSeries* s : w->Chart->series())
        if (auto* line = qobject_cast<QLineSeries*>(s)) {
            EXPECT_EQ(line->pen().color(), ToQColor(0x0000FF));
        }
    delete w;
}

// "All curves" of a session are drawn together below the series, in the
// inverse colour, and follow the axes (a zoom shows them larger).
TEST_F(StrokeColourTest, AllCurvesOfASessionAreDrawnBelowTheShownCurve)
{
    TTraining& t = Registry.Add(MakeSession(40, "All", 0x0000FF));
    t.ShowAllCurves = 1;
    t.Header.SelectedStroke = 7;
    TfrmForceCurves* w = CreateForceCurvesWindow(nullptr, Registry.Store, Env.Settings());
    w->showNormal();
    w->resize(1000, 800);
    QApplication::processEvents();
    EXPECT_EQ(w->Axes->BundledCurves(), 40);
    ASSERT_EQ(w->Chart->series().size(), 1);  // the shown curve
    auto* shown = static_cast<QXYSeries*>(w->Chart->series().front());
    EXPECT_EQ(shown->color(), ToQColor(0x0000FF));

    auto pixels = [&](int32_t color) {
        const QImage image = w->ChartView->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRect plot = w->ChartView->mapFromScene(w->Chart->plotArea()).boundingRect();
        const QRgb want = ToQColor(color).rgb() & 0xFFFFFF;
        int n = 0;
        for (int y = plot.top(); y <= plot.bottom(); ++y)
            for (int x = plot.left(); x <= plot.right(); ++x)
                if (image.rect().contains(x, y) && (image.pixel(x, y) & 0xFFFFFF) == want) ++n;
        return n;
    };
    EXPECT_GT(pixels(ReadableColor(0xFFFF00, FromQColor(w->Chart->backgroundBrush().color()))), 200);
    EXPECT_GT(pixels(0x0000FF), 50);
    // The peak of the shown curve is drawn over the others.
    const QList<QPointF> curve = shown->points();
    const QPointF peak =
        *std::max_element(curve.begin(), curve.end(), [](QPointF a, QPointF b) { return a.y() < b.y(); });
    const QPoint at = w->ChartView->mapFromScene(w->Chart->mapToPosition(peak, shown));
    const QImage image = w->ChartView->grab().toImage();
    bool red = false;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) red = red || (image.pixel(at + QPoint(dx, dy)) & 0xFFFFFF) == 0xFF0000;
    EXPECT_TRUE(red);

    // The peak of stroke 29 (545 N, far above the shown curve's 435 N) lies on
    // one of the other curves, before and after zooming in around it.
    TChartData own;
    TForceCurveOptions o;
    o.AllCurves = true;
    BuildForceCurveSeries(own, t, o);
    ASSERT_EQ(own.Series.size(), 41u);
    const TPointD top = own.Series[28].Points[29];
    ASSERT_GT(top.Y, 540);
    // The inverse (cyan) as drawn: darkened to stand out from the background.
    const QRgb inverse =
        ToQColor(ReadableColor(0xFFFF00, FromQColor(w->Chart->backgroundBrush().color()))).rgb() & 0xFFFFFF;
    auto inverseAt = [&](QPointF value) {
        const QImage now = w->ChartView->grab().toImage();
        const QPoint p = w->ChartView->mapFromScene(w->Chart->mapToPosition(value, shown));
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if ((now.pixel(p + QPoint(dx, dy)) & 0xFFFFFF) == inverse) return true;
        return false;
    };
    EXPECT_TRUE(inverseAt({top.X, top.Y}));
    const QPointF corner = w->Chart->mapToPosition({top.X - 10, top.Y + 40}, shown);
    const QPointF other = w->Chart->mapToPosition({top.X + 10, top.Y - 40}, shown);
    w->Chart->zoomIn(QRectF(corner, other).normalized());
    QApplication::processEvents();
    EXPECT_GT(
        w->Chart->mapToPosition({top.X + 1, top.Y}, shown).x() - w->Chart->mapToPosition({top.X, top.Y}, shown).x(),
        10);
    EXPECT_TRUE(inverseAt({top.X, top.Y}));

    // Without the flag nothing is bundled.
    t.ShowAllCurves = 0;
    w->DrawChart();
    EXPECT_EQ(w->Axes->BundledCurves(), 0);
    delete w;
}

}  // namespace
