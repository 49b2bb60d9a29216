#include "framework/chart_renderer.h"

#include <QChart>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QGraphicsItem>
#include <QLineSeries>
#include <QPainter>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include "framework/chart_axis_ticks.h"
#include "framework/chart_scale.h"
#include "framework/window_util.h"
#include "util/axis_ticks.h"

namespace {

struct TRange {
    double Lo = std::numeric_limits<double>::infinity();
    double Hi = -std::numeric_limits<double>::infinity();
    bool Valid() const { return Lo <= Hi; }
    void Add(double v)
    {
        if (!std::isfinite(v)) return;
        Lo = std::min(Lo, v);
        Hi = std::max(Hi, v);
    }
};

}  // namespace

namespace {

// The visible range of an axis in the units of the series' points.
bool UnitRange(QAbstractAxis* axis, double& lo, double& hi)
{
    if (auto* v = qobject_cast<QValueAxis*>(axis)) {
        lo = v->min();
        hi = v->max();
        return true;
    }
    if (auto* t = qobject_cast<QDateTimeAxis*>(axis)) {
        lo = double(t->min().toMSecsSinceEpoch());
        hi = double(t->max().toMSecsSinceEpoch());
        return true;
    }
    return false;
}

}  // namespace

// The "all curves" of the sessions: drawn straight onto the plot area, below
// the chart's series, from the points in axis units.
class TCurveBundleItem : public QGraphicsItem {
public:
    struct TCurve {
        QPen Pen;
        TAxisSide Side = TAxisSide::Left;
        QList<QPointF> Points;
    };
    TCurveBundleItem(QChart* chart, TChartAxes* axes) : QGraphicsItem(chart), Axes(axes), Chart(chart)
    {
        // Above the grid and the axes, below every series.
        setZValue(3.5);
        Rect = chart->plotArea();
    }
    QRectF boundingRect() const override { return Rect; }
    void SetPlotArea(const QRectF& area)
    {
        if (area == Rect) return;
        prepareGeometryChange();
        Rect = area;
    }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override
    {
        if (!Axes || Curves.empty() || Rect.isEmpty()) return;
        double xLo = 0, xHi = 0, lo[2] = {0, 0}, hi[2] = {0, 0};
        if (!UnitRange(Axes->BottomAxis(), xLo, xHi) || !(xHi > xLo)) return;
        const bool sides[2] = {UnitRange(Axes->LeftAxis(), lo[0], hi[0]) && hi[0] > lo[0],
                               UnitRange(Axes->RightAxis(), lo[1], hi[1]) && hi[1] > lo[1]};
        painter->save();
        painter->setClipRect(Rect);
        painter->setRenderHint(QPainter::Antialiasing, false);
        const double sx = Rect.width() / (xHi - xLo);
        QPolygonF line;
        for (const TCurve& c : Curves) {
            const int side = c.Side == TAxisSide::Left ? 0 : 1;
            if (!sides[side]) continue;
            const double sy = Rect.height() / (hi[side] - lo[side]);
            line.resize(c.Points.size());
            QPointF* out = line.data();
            for (const QPointF& p : c.Points)
                *out++ = QPointF(Rect.left() + (p.x() - xLo) * sx, Rect.bottom() - (p.y() - lo[side]) * sy);
            painter->setPen(c.Pen);
            painter->drawPolyline(line);
        }
        painter->restore();
    }
    std::vector<TCurve> Curves;
    TChartAxes* Axes;

private:
    QChart* Chart;
    QRectF Rect;
};

qint64 TChartAxes::DayBase() { return ChartDayBase(); }

TChartAxes::TChartAxes(QChart* chart) : Chart(chart)
{
    for (int i = 0; i < 3; ++i) {
        ValueAxes[i] = new QValueAxis(chart);
        TimeAxes[i] = new QDateTimeAxis(chart);
    }
    // Zooming (or a new plot size) changes what the plot can show.
    for (int i = 0; i < 3; ++i) {
        Connections.push_back(
            QObject::connect(ValueAxes[i], &QValueAxis::rangeChanged, chart, [this] { ThinToPlot(); }));
        Connections.push_back(
            QObject::connect(TimeAxes[i], &QDateTimeAxis::rangeChanged, chart, [this] { ThinToPlot(); }));
    }
    Connections.push_back(QObject::connect(chart, &QChart::plotAreaChanged, chart, [this] { ThinToPlot(); }));
    LabelFont = QFont("Arial");
    LabelFont.setPixelSize(13);
    TitleFont = LabelFont;
}

QAbstractAxis* TChartAxes::Place(QAbstractAxis* current, QValueAxis* value, QDateTimeAxis* time, bool dateTime,
                                 Qt::Alignment align)
{
    QAbstractAxis* wanted = dateTime ? static_cast<QAbstractAxis*>(time) : static_cast<QAbstractAxis*>(value);
    QAbstractAxis* other = dateTime ? static_cast<QAbstractAxis*>(value) : static_cast<QAbstractAxis*>(time);
    const QList<QAbstractAxis*> inChart = Chart->axes();
    if (inChart.contains(other)) {
        Chart->removeAxis(other);
        // The chart gives up a removed axis: it stays the chart's child,
        // unshown, so that it is freed with the chart.
        other->setParent(Chart);
    }
    if (!inChart.contains(wanted)) Chart->addAxis(wanted, align);
    (void)current;
    return wanted;
}

TChartAxes::~TChartAxes()
{
    if (Bundle) Bundle->Axes = nullptr;
    for (const QMetaObject::Connection& c : Connections) QObject::disconnect(c);
}

void TChartAxes::Clear()
{
    Chart->removeAllSeries();
    Drawn.clear();
    if (Bundle) {
        Bundle->Curves.clear();
        Bundle->update();
    }
}

void TChartAxes::SetRange(int index, const TAxisScale& scale, double dataLo, double dataHi, bool haveData, bool whole)
{
    QAbstractAxis* axis = index == 0 ? UsedBottom : index == 1 ? UsedLeft : UsedRight;
    const bool time = qobject_cast<QDateTimeAxis*>(axis) != nullptr;
    const TAxisSpan span = AxisSpanOf(scale, dataLo, dataHi, haveData, time);
    double lo = span.Lo, hi = span.Hi;
    const bool manual = span.Manual;
    TTickPlan& plan = Plans[index];
    plan.Rule = TTickRule{};
    plan.Rule.Whole = whole;
    if (manual && scale.Increment > 0 && (hi - lo) / scale.Increment <= 200) plan.Rule.Increment = scale.Increment;
    plan.TimeTicks = 0;  // round time steps
    if (auto* v = qobject_cast<QValueAxis*>(axis)) {
        if (!manual) RoundOutwards(lo, hi, whole);
        const QRectF plot = Chart->plotArea();
        SetAxisRange(v, lo, hi, AxisLength(v, plot.width(), plot.height()), plan.Rule);
    } else if (auto* t = qobject_cast<QDateTimeAxis*>(axis)) {
        const qint64 from = DayBase() + qint64(std::llround(lo * kMsPerDay));
        const qint64 to = DayBase() + qint64(std::llround(hi * kMsPerDay));
        if (manual && scale.Increment > 0) {
            plan.TimeTicks = std::clamp(int(std::lround((hi - lo) / scale.Increment)) + 1, 2, 20);
            t->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(to));
        } else {
            const QRectF plot = Chart->plotArea();
            SetTimeRange(t, from, to, AxisLength(t, plot.width(), plot.height()), DayBase());
        }
    }
    plan.Lo = lo;
    plan.Hi = hi;
}

void TChartAxes::PlaceTicks()
{
    const QRectF plot = Chart->plotArea();
    QAbstractAxis* used[3] = {UsedBottom, UsedLeft, UsedRight};
    for (int i = 0; i < 3; ++i) {
        if (!used[i]) continue;
        const double length = AxisLength(used[i], plot.width(), plot.height());
        if (auto* v = qobject_cast<QValueAxis*>(used[i])) {
            TTickRule rule = Plans[i].Rule;
            // A zoomed axis steps roundly from a round value.
            if (v->min() != Plans[i].Lo || v->max() != Plans[i].Hi) rule.Increment = 0;
            ApplyAxisTicks(v, length, rule);
        } else if (auto* t = qobject_cast<QDateTimeAxis*>(used[i])) {
            ApplyTimeTicks(t, length, Plans[i].TimeTicks, DayBase());
        }
    }
}

bool TChartAxes::AxisRange(QAbstractAxis* axis, double& lo, double& hi) const
{
    if (auto* v = qobject_cast<QValueAxis*>(axis)) {
        lo = v->min();
        hi = v->max();
        return true;
    }
    if (auto* t = qobject_cast<QDateTimeAxis*>(axis)) {
        lo = double(t->min().toMSecsSinceEpoch() - DayBase()) / kMsPerDay;
        hi = double(t->max().toMSecsSinceEpoch() - DayBase()) / kMsPerDay;
        return true;
    }
    return false;
}

void TChartAxes::ApplyLook()
{
    const TChartAxis* configs[3] = {&Bottom, &Left, &Right};
    QAbstractAxis* used[3] = {UsedBottom, UsedLeft, UsedRight};
    for (int i = 0; i < 3; ++i) {
        for (QAbstractAxis* a : {static_cast<QAbstractAxis*>(ValueAxes[i]), static_cast<QAbstractAxis*>(TimeAxes[i])}) {
            a->setLabelsFont(LabelFont);
            a->setTitleFont(TitleFont);
            a->setTitleBrush(TitleColor);
            a->setLinePenColor(LineColor);
            a->setTitleText(configs[i]->Title);
        }
        TimeAxes[i]->setFormat(configs[i]->DateTimeFormat);
        if (used[i]) used[i]->setVisible(configs[i]->Visible);
    }
}

namespace {

// One series as handed to the chart: a whole series of the chart data, or the
// part of it drawn in one colour.
struct TPiece {
    const TSeriesData* Data = nullptr;
    int32_t Color = 0;
    QList<QPointF> Points;
};

QPointF ChartPoint(const TSeriesData& s, const TPointD& p)
{
    const double x = s.XDateTime ? double(TChartAxes::DayBase()) + p.X * kMsPerDay : p.X;
    const double y = s.YDateTime ? double(TChartAxes::DayBase()) + p.Y * kMsPerDay : p.Y;
    return QPointF(x, y);
}

void AddPieces(const TSeriesData& s, std::vector<TPiece>& pieces)
{
    auto colorAt = [&](size_t i) { return i < s.PointColors.size() ? s.PointColors[i] : s.Color; };
    bool own = false;
    for (size_t i = 0; i < s.PointColors.size() && i < s.Points.size() && !own; ++i) own = s.PointColors[i] != s.Color;
    if (!own) {
        TPiece piece{&s, s.Color, {}};
        piece.Points.resize(qsizetype(s.Points.size()));
        QPointF* out = piece.Points.data();
        for (const TPointD& p : s.Points) *out++ = ChartPoint(s, p);
        pieces.push_back(std::move(piece));
        return;
    }
    if (s.Kind == TSeriesKind::Line) {
        // Runs of one colour; a run starts at the point before it, so that the
        // segment leading to its first point is drawn in the run's colour.
        size_t i = 0;
        while (i < s.Points.size()) {
            const int32_t color = colorAt(i);
            TPiece piece{&s, color, {}};
            if (i > 0) piece.Points.append(ChartPoint(s, s.Points[i - 1]));
            while (i < s.Points.size() && colorAt(i) == color) piece.Points.append(ChartPoint(s, s.Points[i++]));
            pieces.push_back(std::move(piece));
        }
        return;
    }
    // Point series: one series per colour, in the order the colours first appear.
    std::unordered_map<int32_t, size_t> byColor;
    for (size_t i = 0; i < s.Points.size(); ++i) {
        const int32_t color = colorAt(i);
        auto [it, added] = byColor.try_emplace(color, pieces.size());
        if (added) pieces.push_back(TPiece{&s, color, {}});
        pieces[it->second].Points.append(ChartPoint(s, s.Points[i]));
    }
}

// The pixel of a value on an axis of the given pixel length, kept within a
// range that cannot overflow.
long long Pixel(double v, double lo, double scale)
{
    const double p = std::floor((v - lo) * scale);
    if (!(p > -1e9)) return -1000000000LL;
    if (p > 1e9) return 1000000000LL;
    return (long long)p;
}

void ConfigureSeries(QXYSeries* series, const TSeriesData& s, int32_t color)
{
    const QColor c = ToQColor(color);
    if (auto* line = qobject_cast<QLineSeries*>(series); line && s.Kind == TSeriesKind::Line) {
        QPen pen(c);
        pen.setWidth(std::max(1, int(s.PenWidth)));
        pen.setStyle(ToQtPenStyle(s.PenStyle));
        if (line->pen() != pen) line->setPen(pen);
    } else if (auto* scatter = qobject_cast<QScatterSeries*>(series)) {
        const auto shape = s.Pointer == TPointerShape::Circle ? QScatterSeries::MarkerShapeCircle
                                                              : QScatterSeries::MarkerShapeRectangle;
        if (scatter->markerShape() != shape) scatter->setMarkerShape(shape);
        const qreal size = std::max(1, int(s.PointerSize));
        if (scatter->markerSize() != size) scatter->setMarkerSize(size);
        if (scatter->color() != c) scatter->setColor(c);
        if (scatter->borderColor() != c) scatter->setBorderColor(c);
    }
    const QString name = QString::fromStdString(s.Title);
    if (series->name() != name) series->setName(name);
    if (series->pointLabelsVisible() != s.MarksVisible) series->setPointLabelsVisible(s.MarksVisible);
    if (s.MarksVisible && s.HasMarkBackColor) series->setPointLabelsColor(ToQColor(s.MarkBackColor));
}

}  // namespace

QList<QPointF> ThinPoints(const QList<QPointF>& points, bool line, double xLo, double xHi, double yLo, double yHi,
                          double width, double height)
{
    const qsizetype n = points.size();
    if (width < 1 || height < 1 || !(xHi > xLo) || !(yHi > yLo) || n < qsizetype(2 * width) + 8) return points;
    const double sx = width / (xHi - xLo), sy = height / (yHi - yLo);
    const QPointF* pts = points.constData();
    QList<QPointF> out;
    if (line) {
        bool rising = true;
        for (qsizetype i = 1; i < n && rising; ++i) rising = !(pts[i].x() < pts[i - 1].x());
        if (rising) {
            // Only the visible part, with one point on each side so that the
            // line runs on to the plot's edges.
            qsizetype from =
                std::lower_bound(pts, pts + n, xLo, [](const QPointF& p, double x) { return p.x() < x; }) - pts;
            qsizetype to =
                std::upper_bound(pts, pts + n, xHi, [](double x, const QPointF& p) { return x < p.x(); }) - pts;
            from = std::max<qsizetype>(0, from - 1);
            to = std::min(n - 1, to);
            out.reserve(qsizetype(4 * width) + 16);
            qsizetype i = from;
            while (i <= to) {
                const long long column = Pixel(pts[i].x(), xLo, sx);
                qsizetype first = i, low = i, high = i, last = i;
                for (++i; i <= to && Pixel(pts[i].x(), xLo, sx) == column; ++i) {
                    if (pts[i].y() < pts[low].y()) low = i;
                    if (pts[i].y() > pts[high].y()) high = i;
                    last = i;
                }
                const qsizetype keep[4] = {first, std::min(low, high), std::max(low, high), last};
                qsizetype previous = -1;
                for (qsizetype k : keep)
                    if (k != previous) {
                        out.append(pts[k]);
                        previous = k;
                    }
            }
            return out;
        }
        // A line that goes back and forth: drop points on the pixel of the point before.
        out.reserve(n);
        long long px = 0, py = 0;
        for (qsizetype i = 0; i < n; ++i) {
            const long long x = Pixel(pts[i].x(), xLo, sx), y = Pixel(pts[i].y(), yLo, sy);
            if (i > 0 && i < n - 1 && x == px && y == py) continue;
            out.append(pts[i]);
            px = x;
            py = y;
        }
        return out;
    }
    // Points: one per pixel.
    std::unordered_set<unsigned long long> taken;
    taken.reserve(size_t(n));
    out.reserve(n);
    for (qsizetype i = 0; i < n; ++i) {
        const QPointF& p = pts[i];
        const unsigned long long x = (unsigned long long)(Pixel(p.x(), xLo, sx) + 1000000000LL);
        const unsigned long long y = (unsigned long long)(Pixel(p.y(), yLo, sy) + 1000000000LL);
        if (taken.insert((x << 32) ^ y).second) out.append(p);
    }
    return out;
}

int TChartAxes::BundledCurves() const { return Bundle ? int(Bundle->Curves.size()) : 0; }

int TChartAxes::HeldPoints() const
{
    int n = 0;
    for (const TDrawn& d : Drawn) n += int(d.Points.size());
    return n;
}

int TChartAxes::ShownPoints() const
{
    int n = 0;
    for (const TDrawn& d : Drawn) n += d.Series ? int(d.Series->count()) : 0;
    return n;
}

void TChartAxes::ThinToPlot()
{
    if (InThin || InRender) return;
    InThin = true;
    PlaceTicks();
    const QRectF plot = Chart->plotArea();
    if (Bundle) {
        Bundle->SetPlotArea(plot);
        Bundle->update();
    }
    for (TDrawn& d : Drawn) {
        if (!d.Series) continue;
        QList<QPointF> shown = d.Points;
        double xLo = 0, xHi = 0, yLo = 0, yHi = 0;
        QAbstractAxis* vertical = nullptr;
        for (QAbstractAxis* a : d.Series->attachedAxes())
            if (a->orientation() == Qt::Vertical) vertical = a;
        if (Thinning && UnitRange(UsedBottom, xLo, xHi) && UnitRange(vertical, yLo, yHi))
            shown = ThinPoints(d.Points, d.Line, xLo, xHi, yLo, yHi, plot.width(), plot.height());
        if (shown.size() != d.Series->count() || shown != d.Series->points()) d.Series->replace(shown);
        d.Shown = int(shown.size());
    }
    InThin = false;
}

void TChartAxes::Render(const TChartData& data, bool useDataScale)
{
    // Lines stand out from the chart's background; average records keep apart
    // from the sessions' colours.
    const std::vector<int32_t> sessionColors = SessionColors(data);
    const int32_t background = FromQColor(Chart->backgroundBrush().color());
    InRender = true;
    bool xTime = false, leftTime = false, rightTime = false;
    TRange bottomRange, leftRange, rightRange;
    bool whole[3] = {true, true, true};  // every value on the axis is a whole number
    auto isWhole = [](double v) { return !std::isfinite(v) || v == std::floor(v); };
    for (const TSeriesData& s : data.Series) {
        xTime = xTime || s.XDateTime;
        if (s.Axis == TAxisSide::Left) leftTime = leftTime || s.YDateTime;
        else rightTime = rightTime || s.YDateTime;
        TRange& yr = s.Axis == TAxisSide::Left ? leftRange : rightRange;
        bool& yWhole = whole[s.Axis == TAxisSide::Left ? 1 : 2];
        for (const TPointD& p : s.Points) {
            bottomRange.Add(p.X);
            yr.Add(p.Y);
            whole[0] = whole[0] && isWhole(p.X);
            yWhole = yWhole && isWhole(p.Y);
        }
    }
    // Series that left the chart (removed by someone else) are forgotten.
    const QList<QAbstractSeries*> inChart = Chart->series();
    std::erase_if(Drawn, [&](const TDrawn& d) { return !inChart.contains(d.Series); });
    // Reused series lose their old points first, so that the axis changes
    // below do not lay them out once more.
    for (TDrawn& d : Drawn)
        if (d.Series->count() > 0) d.Series->clear();

    UsedBottom = Place(UsedBottom, ValueAxes[0], TimeAxes[0], xTime, Qt::AlignBottom);
    UsedLeft = Place(UsedLeft, ValueAxes[1], TimeAxes[1], leftTime, Qt::AlignLeft);
    UsedRight = Place(UsedRight, ValueAxes[2], TimeAxes[2], rightTime, Qt::AlignRight);

    std::vector<TPiece> pieces;
    std::vector<TCurveBundleItem::TCurve> bundled;
    for (const TSeriesData& s : data.Series) {
        if (s.Role == TSeriesRole::OtherCurve && s.Kind == TSeriesKind::Line) {
            TCurveBundleItem::TCurve c;
            QPen pen(ToQColor(DrawColor(s, s.Color, sessionColors, background)));
            pen.setWidth(std::max(1, int(s.PenWidth)));
            pen.setStyle(ToQtPenStyle(s.PenStyle));
            c.Pen = pen;
            c.Side = s.Axis;
            c.Points.reserve(qsizetype(s.Points.size()));
            for (const TPointD& p : s.Points) c.Points.append(ChartPoint(s, p));
            bundled.push_back(std::move(c));
        } else {
            AddPieces(s, pieces);
        }
    }
    if (!bundled.empty() && !Bundle) Bundle = new TCurveBundleItem(Chart, this);
    if (Bundle) {
        Bundle->Curves = std::move(bundled);
        Bundle->update();
    }

    // The series of the last drawing are reused in order while their kind
    // matches (so the drawing order stays that of the data); the rest go.
    std::vector<TDrawn> next;
    next.reserve(pieces.size());
    bool reuse = true;
    for (size_t i = 0; i < pieces.size(); ++i) {
        TPiece& piece = pieces[i];
        const bool line = piece.Data->Kind == TSeriesKind::Line;
        QXYSeries* series = nullptr;
        reuse = reuse && i < Drawn.size() && Drawn[i].Line == line;
        if (reuse) {
            series = Drawn[i].Series;
            Drawn[i].Series = nullptr;
        } else {
            if (line) {
                auto* l = new QLineSeries;
                l->setPointsVisible(false);
                series = l;
            } else {
                series = new QScatterSeries;
            }
            Chart->addSeries(series);
        }
        ConfigureSeries(series, *piece.Data, DrawColor(*piece.Data, piece.Color, sessionColors, background));
        QAbstractAxis* vertical = piece.Data->Axis == TAxisSide::Left ? UsedLeft : UsedRight;
        const QList<QAbstractAxis*> attached = series->attachedAxes();
        if (attached.size() != 2 || !attached.contains(UsedBottom) || !attached.contains(vertical)) {
            for (QAbstractAxis* a : attached) series->detachAxis(a);
            series->attachAxis(UsedBottom);
            series->attachAxis(vertical);
        }
        next.push_back(TDrawn{series, std::move(piece.Points), line, 0});
    }
    for (TDrawn& d : Drawn)
        if (d.Series) {
            Chart->removeSeries(d.Series);
            delete d.Series;
        }
    Drawn = std::move(next);

    // A chart on the window's own fixed scales keeps a zoom the user made
    // while it is redrawn (browsing curves); charts scaled from their data
    // take the new scale.
    const bool keepZoom = !useDataScale && Chart->isZoomed() && !Bottom.Scale.AutoMinimum &&
                          !Bottom.Scale.AutoMaximum && !Left.Scale.AutoMinimum && !Left.Scale.AutoMaximum;
    if (!keepZoom) {
        if (Chart->isZoomed()) Chart->zoomReset();  // forget the ranges from before the zoom
        SetRange(0, Bottom.Scale, bottomRange.Lo, bottomRange.Hi, bottomRange.Valid(), whole[0]);
        SetRange(1, useDataScale ? data.Left : Left.Scale, leftRange.Lo, leftRange.Hi, leftRange.Valid(), whole[1]);
        SetRange(2, useDataScale ? data.Right : Right.Scale, rightRange.Lo, rightRange.Hi, rightRange.Valid(),
                 whole[2]);
    }
    ApplyLook();
    InRender = false;
    ThinToPlot();
}
