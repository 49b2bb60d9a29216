// The row window's chart drawing a long line: thinned to what the plot's
// pixel columns can show, and, while a session grows stroke by stroke, drawn
// from where the last drawing stopped with the same result as drawing it anew.
#include <gtest/gtest.h>

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QImage>
#include <QPaintEvent>
#include <QRegion>
#include <QScreen>
#include <QWidget>
#include <QXYSeries>

#include <cmath>
#include <functional>
#include <map>
#include <memory>

#include "row/row_chart.h"
#include "tests/support/test_home.h"
#include "util/axis_ticks.h"

namespace {

// A rower's power over the strokes: slow waves with a jump now and then.
TPointD Stroke(int k) { return {double(k), 150 + 40 * std::sin(k / 37.0) + (k % 97 == 0 ? 90 : 0) + (k * 7919) % 13}; }

TChartData Line(const std::vector<TPointD>& points)
{
    TChartData data;
    TSeriesData s;
    s.Kind = TSeriesKind::Line;
    s.Points = points;
    data.Series.push_back(s);
    return data;
}

// What is on the screen of a shown widget (as painted, part by part).
QImage OnScreen(QWidget* w)
{
    QApplication::processEvents();
    return w->screen()->grabWindow(w->winId()).toImage();
}

class RowChart : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp();
        Host = std::make_unique<QWidget>();
        Host->resize(700, 400);
        Live = std::make_unique<TRowChart>(Host.get());
        Live->Renderer().OwnLines = true;  // as the row window's stroke chart
        Live->View()->resize(700, 400);
        Host->show();
        QApplication::processEvents();
    }

    // The line thinned anew from all of points for the plot as it is, on the
    // left (1) or right (2) axis.
    QList<QPointF> Thinned(const std::vector<TPointD>& points, int axis) const
    {
        double xLo, xHi, yLo, yHi;
        Live->AxisRange(0, xLo, xHi);
        Live->AxisRange(axis, yLo, yHi);
        const QRectF plot = Live->View()->chart()->plotArea();
        return ThinPoints(All(points), true, xLo, xHi, yLo, yHi, plot.width(), plot.height());
    }
    static QList<QPointF> All(const std::vector<TPointD>& points)
    {
        QList<QPointF> all;
        for (const TPointD& p : points) all.append(QPointF(p.X, p.Y));
        return all;
    }

    // Draws data on the chart as it comes: each series must be the line
    // thinned from all its points for the plot as it is. Hinted: the chart is
    // told how many first points of each series it drew before, as the row
    // window tells it.
    void ExpectDrawnAsAnew(const TChartData& data, const char* where)
    {
        std::vector<size_t> same(data.Series.size(), 0);
        for (size_t i = 0; i < same.size() && i < Previous.Series.size(); ++i) {
            const std::vector<TPointD>& a = Previous.Series[i].Points;
            const std::vector<TPointD>& b = data.Series[i].Points;
            while (same[i] < a.size() && same[i] < b.size() && a[same[i]].X == b[same[i]].X &&
                   a[same[i]].Y == b[same[i]].Y)
                ++same[i];
        }
        Previous = data;
        Live->Render(data, false, Hinted ? &same : nullptr);
        ASSERT_EQ(Live->LineCount(), int(data.Series.size())) << where;
        for (int i = 0; i < Live->LineCount(); ++i) {
            const TSeriesData& s = data.Series[size_t(i)];
            ASSERT_EQ(Live->Line(i).Points, Thinned(s.Points, s.Axis == TAxisSide::Left ? 1 : 2))
                << where << " series " << i;
        }
        QApplication::processEvents();
    }

    void GrowSession();

    std::unique_ptr<QWidget> Host;
    std::unique_ptr<TRowChart> Live;
    TChartData Previous;
    bool Hinted = false;
};

TEST_F(RowChart, ALongLineKeepsEachColumnsEndsHighAndLow)
{
    std::vector<TPointD> points;
    for (int k = 2; k <= 12000; ++k) points.push_back(Stroke(k));
    Live->Render(Line(points), false);
    const QList<QPointF> drawn = Live->Line(0).Points;
    double xLo, xHi;
    Live->AxisRange(0, xLo, xHi);
    const double columns = Live->View()->chart()->plotArea().width();
    ASSERT_GT(columns, 100);
    EXPECT_LE(drawn.size(), qsizetype(4 * columns) + 4);
    EXPECT_GT(drawn.size(), qsizetype(columns));
    EXPECT_EQ(drawn.front(), QPointF(points.front().X, points.front().Y));
    EXPECT_EQ(drawn.back(), QPointF(points.back().X, points.back().Y));
    for (qsizetype i = 1; i < drawn.size(); ++i) ASSERT_LT(drawn[i - 1].x(), drawn[i].x()) << i;
    // Every column's extremes are drawn.
    std::map<long, std::pair<double, double>> extremes, shown;
    auto note = [&](std::map<long, std::pair<double, double>>& m, double x, double y) {
        const long column = long(std::floor((x - xLo) * columns / (xHi - xLo)));
        auto [it, added] = m.try_emplace(column, y, y);
        it->second.first = std::min(it->second.first, y);
        it->second.second = std::max(it->second.second, y);
    };
    for (const TPointD& p : points) note(extremes, p.X, p.Y);
    for (const QPointF& p : drawn) note(shown, p.x(), p.y());
    EXPECT_EQ(shown, extremes);

    // A line that goes back somewhere keeps every point that moves it by a pixel.
    std::swap(points[500], points[501]);
    Live->Render(Line(points), false);
    EXPECT_EQ(Live->Line(0).Points, Thinned(points, 1));
    EXPECT_GT(Live->Line(0).Points.size(), qsizetype(4 * columns) + 4);
}

void RowChart::GrowSession()
{
    std::vector<TPointD> points;
    for (int k = 2; k <= 2500; ++k) points.push_back(Stroke(k));
    ExpectDrawnAsAnew(Line(points), "first");
    // Stroke by stroke, past where the axis grows by a step.
    for (int k = 2501; k <= 2700; ++k) {
        points.push_back(Stroke(k));
        ExpectDrawnAsAnew(Line(points), "appended");
        if (HasFatalFailure()) return;
    }
    // The newest stroke changes, and with it the axis on the left.
    double lo, hi;
    Live->AxisRange(1, lo, hi);
    EXPECT_LT(hi, 400);
    points.back().Y = 900;
    ExpectDrawnAsAnew(Line(points), "changed");
    Live->AxisRange(1, lo, hi);
    EXPECT_GE(hi, 900);
    points.back().Y = 160;
    ExpectDrawnAsAnew(Line(points), "changed back");
    Live->AxisRange(1, lo, hi);
    EXPECT_LT(hi, 400);
    // The window slides: the first strokes leave.
    points.erase(points.begin(), points.begin() + 3);
    points.push_back(Stroke(2701));
    ExpectDrawnAsAnew(Line(points), "slid");
    // A stroke in the middle is replaced.
    points[1200].Y = 40;
    ExpectDrawnAsAnew(Line(points), "middle");
    // One more stroke that goes back in x: every point is drawn.
    points.push_back({points.back().X - 0.5, 170});
    ExpectDrawnAsAnew(Line(points), "backwards");
    points.pop_back();
    points.push_back(Stroke(2702));
    ExpectDrawnAsAnew(Line(points), "forward again");
    // A second series joins, then both go.
    TChartData two = Line(points);
    two.Series.push_back(two.Series[0]);
    two.Series[1].Axis = TAxisSide::Right;
    for (TPointD& p : two.Series[1].Points) p.Y /= 3;
    ExpectDrawnAsAnew(two, "two");
    two.Series[1].Points.push_back({2703, 55});
    two.Series[0].Points.push_back(Stroke(2703));
    ExpectDrawnAsAnew(two, "two appended");
    ExpectDrawnAsAnew(TChartData{}, "none");
    // The plot narrows: the columns change.
    Host->resize(450, 400);
    Live->View()->resize(450, 400);
    QApplication::processEvents();
    ExpectDrawnAsAnew(Line(points), "narrower");
    points.push_back(Stroke(2704));
    ExpectDrawnAsAnew(Line(points), "narrower appended");
}

TEST_F(RowChart, AGrowingSessionIsDrawnAsIfDrawnAnew) { GrowSession(); }

TEST_F(RowChart, AGrowingSessionToldWhatItKeptIsDrawnAsIfDrawnAnew)
{
    Hinted = true;
    GrowSession();
}

// The regions a widget paints.
class TPaintSpy : public QObject {
public:
    QRegion Painted;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint) Painted += static_cast<QPaintEvent*>(e)->region();
        return false;
    }
};

// What a chart of the live one's size shows that draws once (draw runs
// twice: the axes' labels are laid out after the first drawing).
QImage DrawnOnce(const TRowChart& live, QWidget* liveHost, const std::function<void(TRowChart&)>& draw)
{
    QWidget host;
    host.resize(liveHost->size());
    TRowChart fresh(&host);
    fresh.Renderer().OwnLines = true;
    fresh.View()->resize(live.View()->size());
    host.show();
    QApplication::processEvents();
    draw(fresh);
    OnScreen(&host);
    draw(fresh);
    return OnScreen(&host);
}

// What the live chart shows is what a chart shows that draws data once.
void ExpectShownAsDrawnOnce(QWidget* shownHost, TRowChart& live, const TChartData& data, const char* where)
{
    const QImage shown = OnScreen(shownHost);
    const QImage once = DrawnOnce(live, shownHost, [&](TRowChart& fresh) {
        fresh.SetFixedAxis(0, 0, 3000, 500);
        fresh.SetFixedAxis(1, 0, 400, 50);
        fresh.Render(data, false);
    });
    ASSERT_EQ(shown.size(), once.size()) << where;
    EXPECT_TRUE(shown == once) << where;
}

TEST_F(RowChart, AStrokePaintsOnlyTheColumnsItChangedAndTheResultIsTheWholeDrawing)
{
    Hinted = true;
    // The rower's window of both parameters (a chart scaled from its data
    // paints anew when a stroke widens it).
    Live->SetFixedAxis(0, 0, 3000, 500);
    Live->SetFixedAxis(1, 0, 400, 50);
    TPaintSpy spy;
    Live->View()->viewport()->installEventFilter(&spy);
    const double plotWidth = Live->Chart()->plotArea().width();
    // Appends points one by one; each paints a narrow part of the plot.
    auto grow = [&](std::vector<TPointD>& points, int from, int to, auto point) {
        for (int k = from; k <= to; ++k) {
            points.push_back(point(k));
            spy.Painted = QRegion();
            ExpectDrawnAsAnew(Line(points), "appended");
            QApplication::processEvents();
            if (k < from + 3) continue;  // the chart's layout settles after its first drawing
            const QRect painted = spy.Painted.boundingRect();
            EXPECT_GT(painted.width(), 0) << k;
            EXPECT_LT(painted.width(), plotWidth / 8) << "stroke " << k;
        }
    };
    // Few strokes far apart: each segment spans many pixels.
    std::vector<TPointD> sparse;
    auto far = [](int k) { return TPointD{75.0 * k, Stroke(k).Y}; };
    grow(sparse, 1, 30, far);
    ExpectShownAsDrawnOnce(Host.get(), *Live, Line(sparse), "few");
    // Many: several per pixel column.
    std::vector<TPointD> points;
    for (int k = 2; k <= 2500; ++k) points.push_back(Stroke(k));
    ExpectDrawnAsAnew(Line(points), "many");
    grow(points, 2501, 2530, Stroke);
    ExpectShownAsDrawnOnce(Host.get(), *Live, Line(points), "many");
    // A dashed line: its dashes run on from its start also where only its
    // end is painted again.
    TChartData dashed = Line(sparse);
    dashed.Series[0].PenStyle = 1;
    ExpectDrawnAsAnew(dashed, "dashed");
    for (int k = 31; k <= 34; ++k) {
        dashed.Series[0].Points.push_back(far(k));
        spy.Painted = QRegion();
        ExpectDrawnAsAnew(dashed, "dashed, appended");
        QApplication::processEvents();
        EXPECT_LT(spy.Painted.boundingRect().width(), plotWidth / 8);
    }
    ExpectShownAsDrawnOnce(Host.get(), *Live, dashed, "dashed");
}

TEST_F(RowChart, ALiveForceCurvePaintsOnlyWhatASampleChanged)
{
    // A drive sample by sample over the previous curve, which is shown from
    // the current sample on (as the row window draws them).
    Live->SetFixedAxis(0, 0, 176, 10);
    Live->SetFixedAxis(1, 0, 780, 77);
    TLiveLine* previous = Live->AddLiveLine(Qt::blue);
    TLiveLine* drive = Live->AddLiveLine(Qt::red);
    QList<QPointF> before, now;
    for (int i = 1; i <= 60; ++i) before.append(QPointF(2.5 * i, 600 * std::sin(i / 61.0 * M_PI)));
    previous->replace(before);
    QApplication::processEvents();
    TPaintSpy spy;
    Live->View()->viewport()->installEventFilter(&spy);
    const QRectF plot = Live->Chart()->plotArea();
    for (int i = 1; i <= 60; ++i) {
        spy.Painted = QRegion();
        now.append(QPointF(2.5 * i, 650 * std::sin(i / 61.0 * M_PI) + i % 7));
        drive->append(now.back().x(), now.back().y());
        previous->replace(before.mid(i));
        QApplication::processEvents();
        EXPECT_LT(spy.Painted.boundingRect().width(), plot.width() / 8) << "sample " << i;
    }
    EXPECT_EQ(drive->count(), 60);
    EXPECT_EQ(previous->count(), 0);
    const QImage shown = OnScreen(Host.get());
    TLiveLine* line = nullptr;
    const QImage once = DrawnOnce(*Live, Host.get(), [&](TRowChart& fresh) {
        fresh.SetFixedAxis(0, 0, 176, 10);
        fresh.SetFixedAxis(1, 0, 780, 77);
        if (!line) line = fresh.AddLiveLine(Qt::red);
        line->replace(now);
    });
    EXPECT_TRUE(shown == once);
}

}  // namespace

TEST_F(RowChart, ATimeAxisGrowsByRoundStepsWhileStrokesComeIn)
{
    // Strokes every 2.9 s against the elapsed time, the chart redrawn after each.
    std::vector<TPointD> points;
    for (int k = 1; k <= 400; ++k) {
        points.push_back({(3.1 + 2.9 * k) / 86400, Stroke(k).Y});
        TChartData data = Line(points);
        data.Series[0].XDateTime = true;
        Live->Render(data, false);
        if (k % 50 != 0 && k != 1) continue;
        QApplication::processEvents();
        auto* time = qobject_cast<QDateTimeAxis*>(Live->Axis(0));
        ASSERT_NE(time, nullptr);
        double lo, hi;
        Live->AxisRange(0, lo, hi);
        lo *= 86400;
        hi *= 86400;
        ASSERT_GE(time->tickCount(), 2) << k;
        const double step = (hi - lo) / (time->tickCount() - 1);
        EXPECT_NEAR(step, RoundTimeStep(step), 1e-3) << "stroke " << k;
        EXPECT_NEAR(lo / step, std::round(lo / step), 1e-6) << "stroke " << k;
        // The strokes lie inside the axis.
        EXPECT_LE(lo, 3.1 + 2.9 + 1e-6);
        EXPECT_GE(hi, 3.1 + 2.9 * k - 1e-6);
    }
}
