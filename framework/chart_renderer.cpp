#include "framework/chart_renderer.h"

#include <QChart>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QGraphicsItem>
#include <QLineSeries>
#include <QPainter>
#include <QScatterSeries>
#include <QStyleOptionGraphicsItem>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <cstring>
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

Qt::Alignment AlignmentOf(int axis) { return axis == 0 ? Qt::AlignBottom : axis == 1 ? Qt::AlignLeft : Qt::AlignRight; }

// The number of points at the start of next that are those of previous, bit
// for bit (a live chart's series gets the same points again and one more).
qsizetype KeptPrefix(const QList<QPointF>& previous, const QList<QPointF>& next)
{
    const qsizetype n = previous.size();
    if (n == 0 || next.size() < n) return 0;
    return std::memcmp(previous.constData(), next.constData(), size_t(n) * sizeof(QPointF)) == 0 ? n : 0;
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
        // A line of the data drawn here instead of by a chart series: thinned
        // to the plot (Shown), on from its last drawing while it only grows.
        bool Own = false;
        qsizetype Kept = 0;
        TThinMemo Memo;
        QList<QPointF> Shown;
        bool Rising = false;  // Shown never goes back in x
        const QList<QPointF>& Drawn() const { return Own ? Shown : Points; }
    };
    // How the axes' units fall on the plot's pixels.
    struct TView {
        QRectF Rect;
        double XLo = 0, XHi = 0;
        double Lo[2] = {0, 0}, Hi[2] = {0, 0};
        bool Sides[2] = {false, false};
        bool Valid = false;
        bool operator==(const TView&) const = default;
        double PixelX(double x) const { return Rect.left() + (x - XLo) * Rect.width() / (XHi - XLo); }
    };
    TCurveBundleItem(QChart* chart, TChartRenderer* axes) : QGraphicsItem(chart), Axes(axes), Chart(chart)
    {
        // Above the grid and the axes, below every series.
        setZValue(3.5);
        // The part to paint again comes with each paint (exposedRect).
        setFlag(QGraphicsItem::ItemUsesExtendedStyleOption);
        Rect = chart->plotArea();
    }
    QRectF boundingRect() const override { return Rect; }
    void SetPlotArea(const QRectF& area)
    {
        if (area == Rect) return;
        prepareGeometryChange();
        Rect = area;
    }
    TView CurrentView() const
    {
        TView v;
        v.Rect = Rect;
        if (!Axes || Rect.isEmpty()) return v;
        if (!UnitRange(Axes->BottomAxis(), v.XLo, v.XHi) || !(v.XHi > v.XLo)) return v;
        v.Sides[0] = UnitRange(Axes->LeftAxis(), v.Lo[0], v.Hi[0]) && v.Hi[0] > v.Lo[0];
        v.Sides[1] = UnitRange(Axes->RightAxis(), v.Lo[1], v.Hi[1]) && v.Hi[1] > v.Lo[1];
        v.Valid = true;
        return v;
    }
    // Asks for the pixel columns from x0 to x1 of the plot to be painted
    // again; the whole plot when the view is not the one last asked for.
    void Repaint(const TView& view, bool whole, double x0, double x1)
    {
        if (whole || !view.Valid || !(view == Requested)) update();
        else if (x0 <= x1) update(QRectF(QPointF(x0, Rect.top()), QPointF(x1, Rect.bottom())) & Rect);
        Requested = view;
    }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*) override
    {
        const TView v = CurrentView();
        if (Curves.empty() || !v.Valid) return;
        painter->save();
        painter->setClipRect(Rect, Qt::IntersectClip);
        painter->setRenderHint(QPainter::Antialiasing, false);
        const double sx = Rect.width() / (v.XHi - v.XLo);
        const QRectF exposed = option ? option->exposedRect : Rect;
        QPolygonF line;
        for (const TCurve& c : Curves) {
            const int side = c.Side == TAxisSide::Left ? 0 : 1;
            if (!v.Sides[side]) continue;
            const double sy = Rect.height() / (v.Hi[side] - v.Lo[side]);
            const QList<QPointF>& points = c.Drawn();
            const QPointF* begin = points.constData();
            const QPointF* end = begin + points.size();
            if (c.Rising && c.Pen.style() == Qt::SolidLine) {
                // Only the segments that reach into the exposed columns (a
                // dashed line is drawn whole: its dashes run on from its start).
                const double margin = c.Pen.widthF() + 2;
                const double lo = v.XLo + (exposed.left() - margin - Rect.left()) / sx;
                const double hi = v.XLo + (exposed.right() + margin - Rect.left()) / sx;
                const QPointF* from =
                    std::lower_bound(begin, end, lo, [](const QPointF& p, double x) { return p.x() < x; });
                const QPointF* to =
                    std::upper_bound(from, end, hi, [](double x, const QPointF& p) { return x < p.x(); });
                begin = from > begin ? from - 1 : from;
                end = to < end ? to + 1 : to;
            }
            line.resize(end - begin);
            QPointF* out = line.data();
            for (const QPointF* p = begin; p != end; ++p)
                *out++ = QPointF(Rect.left() + (p->x() - v.XLo) * sx, Rect.bottom() - (p->y() - v.Lo[side]) * sy);
            painter->setPen(c.Pen);
            painter->drawPolyline(line);
        }
        painter->restore();
    }
    std::vector<TCurve> Curves;
    TChartRenderer* Axes;
    // The curves were replaced by others, not only grown: paint all again.
    bool Restructured = true;

private:
    QChart* Chart;
    QRectF Rect;
    TView Requested;  // the view of the last repaint asked for
};

qint64 TChartRenderer::DayBase() { return ChartDayBase(); }

TChartRenderer::TChartRenderer(QChart* chart) : Chart(chart)
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

TChartRenderer::~TChartRenderer()
{
    if (Bundle) Bundle->Axes = nullptr;
    for (const QMetaObject::Connection& c : Connections) QObject::disconnect(c);
}

void TChartRenderer::Place(int axis, bool dateTime)
{
    QAbstractAxis* wanted = dateTime ? static_cast<QAbstractAxis*>(TimeAxes[axis]) : ValueAxes[axis];
    QAbstractAxis* other = dateTime ? static_cast<QAbstractAxis*>(ValueAxes[axis]) : TimeAxes[axis];
    const QList<QAbstractAxis*> inChart = Chart->axes();
    QList<QAbstractSeries*> moving;  // series of others (the live curves) move with their axis
    if (inChart.contains(other)) {
        for (QAbstractSeries* s : Chart->series())
            if (s->attachedAxes().contains(other)) {
                s->detachAxis(other);
                moving.append(s);
            }
        Chart->removeAxis(other);
        // The chart gives up a removed axis: it stays the chart's child,
        // unshown, so that it is freed with the chart.
        other->setParent(Chart);
    }
    if (!inChart.contains(wanted)) Chart->addAxis(wanted, AlignmentOf(axis));
    for (QAbstractSeries* s : moving) s->attachAxis(wanted);
    Used[axis] = wanted;
}

void TChartRenderer::Clear()
{
    for (TDrawn& d : Drawn)
        if (d.Series) {
            Chart->removeSeries(d.Series);
            delete d.Series;
        }
    Drawn.clear();
    Scans.clear();  // the next drawing has nothing it kept
    if (Bundle) {
        Bundle->Curves.clear();
        Bundle->Restructured = true;
        Bundle->update();
    }
}

void TChartRenderer::SetScale(int axis, const TAxisScale& scale)
{
    (axis == 0 ? Bottom : axis == 1 ? Left : Right).Scale = scale;
    Plans[axis].Scale = scale;
    if (!Used[axis]) Place(axis, false);
    InRender = true;
    SetRange(axis);
    InRender = false;
    ThinToPlot();
}

void TChartRenderer::SetRange(int index)
{
    QAbstractAxis* axis = Used[index];
    TAxisPlan& plan = Plans[index];
    const TAxisScale& scale = plan.Scale;
    const bool time = qobject_cast<QDateTimeAxis*>(axis) != nullptr;
    const TAxisSpan span = AxisSpanOf(scale, plan.DataLo, plan.DataHi, plan.HaveData, time);
    double lo = span.Lo, hi = span.Hi;
    const bool manual = span.Manual;
    if (WidenToData && manual && plan.HaveData && scale.Increment > 0 && std::isfinite(plan.DataLo) &&
        std::isfinite(plan.DataHi)) {
        const double step = scale.Increment;
        if (plan.DataLo < lo) lo -= std::ceil((lo - plan.DataLo) / step - 1e-9) * step;
        if (plan.DataHi > hi) hi += std::ceil((plan.DataHi - hi) / step - 1e-9) * step;
    }
    plan.Rule = TTickRule{};
    plan.Rule.Whole = plan.Whole;
    if (manual && scale.Increment > 0 && (hi - lo) / scale.Increment <= 200) plan.Rule.Increment = scale.Increment;
    plan.TimeTicks = 0;  // round time steps
    if (auto* v = qobject_cast<QValueAxis*>(axis)) {
        if (!manual) RoundOutwards(lo, hi, plan.Whole);
        const QRectF plot = Chart->plotArea();
        SetAxisRange(v, lo, hi, AxisLength(v, plot.width(), plot.height()), plan.Rule);
    } else if (auto* t = qobject_cast<QDateTimeAxis*>(axis)) {
        const qint64 from = DayBase() + qint64(std::llround(lo * kMsPerDay));
        const qint64 to = DayBase() + qint64(std::llround(hi * kMsPerDay));
        if (manual && scale.Increment > 0) {
            plan.TimeTicks = std::clamp(int(std::lround((hi - lo) / scale.Increment)) + 1, 2, 20);
            const QDateTime a = QDateTime::fromMSecsSinceEpoch(from), b = QDateTime::fromMSecsSinceEpoch(to);
            if (t->min() != a || t->max() != b) t->setRange(a, b);
            const QRectF plot = Chart->plotArea();
            ApplyTimeTicks(t, AxisLength(t, plot.width(), plot.height()), plan.TimeTicks, DayBase());
        } else {
            const QRectF plot = Chart->plotArea();
            SetTimeRange(t, from, to, AxisLength(t, plot.width(), plot.height()), DayBase());
        }
    }
    plan.Lo = lo;
    plan.Hi = hi;
}

void TChartRenderer::PlaceTicks()
{
    const QRectF plot = Chart->plotArea();
    for (int i = 0; i < 3; ++i) {
        if (!Used[i]) continue;
        const double length = AxisLength(Used[i], plot.width(), plot.height());
        if (auto* v = qobject_cast<QValueAxis*>(Used[i])) {
            TTickRule rule = Plans[i].Rule;
            // A zoomed axis steps roundly from a round value.
            if (v->min() != Plans[i].Lo || v->max() != Plans[i].Hi) rule.Increment = 0;
            ApplyAxisTicks(v, length, rule);
        } else if (auto* t = qobject_cast<QDateTimeAxis*>(Used[i])) {
            ApplyTimeTicks(t, length, Plans[i].TimeTicks, DayBase());
        }
    }
}

bool TChartRenderer::AxisRange(QAbstractAxis* axis, double& lo, double& hi) const
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

void TChartRenderer::ApplyLook()
{
    const TChartAxis* configs[3] = {&Bottom, &Left, &Right};
    for (int i = 0; i < 3; ++i) {
        for (QAbstractAxis* a : {static_cast<QAbstractAxis*>(ValueAxes[i]), static_cast<QAbstractAxis*>(TimeAxes[i])}) {
            if (a->labelsFont() != LabelFont) a->setLabelsFont(LabelFont);
            if (a->titleFont() != TitleFont) a->setTitleFont(TitleFont);
            if (a->titleBrush() != QBrush(TitleColor)) a->setTitleBrush(TitleColor);
            if (a->linePenColor() != LineColor) a->setLinePenColor(LineColor);
            if (LabelColor.isValid() && a->labelsColor() != LabelColor) a->setLabelsColor(LabelColor);
            if (a->titleText() != configs[i]->Title) a->setTitleText(configs[i]->Title);
        }
        if (TimeAxes[i]->format() != configs[i]->DateTimeFormat) TimeAxes[i]->setFormat(configs[i]->DateTimeFormat);
        if (Used[i] && Used[i]->isVisible() != configs[i]->Visible) Used[i]->setVisible(configs[i]->Visible);
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
    const double x = s.XDateTime ? double(TChartRenderer::DayBase()) + p.X * kMsPerDay : p.X;
    const double y = s.YDateTime ? double(TChartRenderer::DayBase()) + p.Y * kMsPerDay : p.Y;
    return QPointF(x, y);
}

// Whether every point of a series takes the series' own colour.
bool OneColour(const TSeriesData& s)
{
    for (size_t i = 0; i < s.PointColors.size() && i < s.Points.size(); ++i)
        if (s.PointColors[i] != s.Color) return false;
    return true;
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
            // Per pixel column of the visible part (see ThinLine).
            TThinMemo once;
            return ThinLine(points, 0, once, xLo, xHi, yLo, yHi, width, height);
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

QList<QPointF> ThinLine(const QList<QPointF>& points, qsizetype kept, TThinMemo& memo, double xLo, double xHi,
                        double yLo, double yHi, double width, double height)
{
    const qsizetype n = points.size();
    const double key[6] = {xLo, xHi, yLo, yHi, width, height};
    const bool goOn =
        memo.Valid && memo.Count > 0 && kept >= memo.Count && kept <= n && std::memcmp(memo.Key, key, sizeof key) == 0;
    memo.Valid = false;
    if (width < 1 || height < 1 || !(xHi > xLo) || !(yHi > yLo) || n < qsizetype(2 * width) + 8)
        return ThinPoints(points, true, xLo, xHi, yLo, yHi, width, height);
    const QPointF* pts = points.constData();
    for (qsizetype i = goOn ? memo.Count : 1; i < n; ++i)
        if (i > 0 && pts[i].x() < pts[i - 1].x()) return ThinPoints(points, true, xLo, xHi, yLo, yHi, width, height);
    // Only the visible part, with one point on each side so that the line
    // runs on to the plot's edges; per pixel column its first, lowest,
    // highest and last point. A line that only got points at its end goes on
    // from its last pixel column, whose points may change.
    const double sx = width / (xHi - xLo);
    qsizetype from = std::lower_bound(pts, pts + n, xLo, [](const QPointF& p, double x) { return p.x() < x; }) - pts;
    qsizetype to = std::upper_bound(pts, pts + n, xHi, [](double x, const QPointF& p) { return x < p.x(); }) - pts;
    from = std::max<qsizetype>(0, from - 1);
    to = std::min(n - 1, to);
    QList<QPointF>& out = memo.Out;
    qsizetype i = from;
    if (goOn && memo.ColumnStart >= from && memo.ColumnStart <= to) {
        out.resize(memo.OutAtColumn);
        i = memo.ColumnStart;
    } else {
        out.clear();
        out.reserve(qsizetype(4 * width) + 16);
    }
    while (i <= to) {
        memo.ColumnStart = i;
        memo.OutAtColumn = out.size();
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
    memo.Count = n;
    std::memcpy(memo.Key, key, sizeof key);
    memo.Valid = true;
    return out;
}

int TChartRenderer::BundledCurves() const { return Bundle ? int(Bundle->Curves.size()) : 0; }

int TChartRenderer::LineCount() const
{
    int n = 0;
    if (Bundle)
        for (const TCurveBundleItem::TCurve& c : Bundle->Curves) n += c.Own ? 1 : 0;
    return n;
}

TChartRenderer::TLine TChartRenderer::Line(int i) const
{
    if (Bundle)
        for (const TCurveBundleItem::TCurve& c : Bundle->Curves)
            if (c.Own && i-- == 0) return TLine{c.Shown, c.Side, c.Pen.color()};
    return TLine{};
}

QXYSeries* TChartRenderer::Series(int i) const
{
    return i >= 0 && i < int(Drawn.size()) ? Drawn[size_t(i)].Series : nullptr;
}

int TChartRenderer::HeldPoints() const
{
    int n = 0;
    for (const TDrawn& d : Drawn) n += int(d.Points.size());
    return n;
}

int TChartRenderer::ShownPoints() const
{
    int n = 0;
    for (const TDrawn& d : Drawn) n += d.Series ? int(d.Series->count()) : 0;
    return n;
}

void TChartRenderer::ThinToPlot()
{
    if (InThin || InRender) return;
    InThin = true;
    PlaceTicks();
    const QRectF plot = Chart->plotArea();
    if (Bundle) {
        Bundle->SetPlotArea(plot);
        const TCurveBundleItem::TView view = Bundle->CurrentView();
        // A line that only grew is painted again from the last point it kept.
        bool whole = Bundle->Restructured;
        double x0 = std::numeric_limits<double>::infinity(), x1 = -x0;
        for (TCurveBundleItem::TCurve& c : Bundle->Curves) {
            if (!c.Own) continue;
            const QList<QPointF> before = c.Shown;
            const bool wasRising = c.Rising;
            double yLo = 0, yHi = 0;
            if (Thinning && view.Valid && UnitRange(Used[c.Side == TAxisSide::Left ? 1 : 2], yLo, yHi))
                c.Shown = ThinLine(c.Points, c.Kept, c.Memo, view.XLo, view.XHi, yLo, yHi, plot.width(), plot.height());
            else c.Shown = c.Points;
            c.Kept = c.Points.size();
            c.Rising = std::is_sorted(c.Shown.cbegin(), c.Shown.cend(),
                                      [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
            if (whole || !view.Valid) continue;
            if (!c.Rising || !wasRising) {
                whole = true;
                continue;
            }
            const qsizetype n = std::min(before.size(), c.Shown.size());
            qsizetype same = 0;
            while (same < n && before[same].x() == c.Shown[same].x() && before[same].y() == c.Shown[same].y()) ++same;
            if (same == before.size() && same == c.Shown.size()) continue;
            // From the last point both share (its segment onwards changed) to the end of either.
            const double from = same > 0 ? c.Shown[same - 1].x()
                                         : std::min(before.isEmpty() ? c.Shown.front().x() : before.front().x(),
                                                    c.Shown.isEmpty() ? before.front().x() : c.Shown.front().x());
            const double to =
                std::max(before.isEmpty() ? from : before.back().x(), c.Shown.isEmpty() ? from : c.Shown.back().x());
            const double margin = c.Pen.widthF() + 2;
            x0 = std::min(x0, view.PixelX(from) - margin);
            x1 = std::max(x1, view.PixelX(to) + margin);
        }
        Bundle->Repaint(view, whole, x0, x1);
        Bundle->Restructured = false;
    }
    for (TDrawn& d : Drawn) {
        if (!d.Series) continue;
        QList<QPointF> shown = d.Points;
        double xLo = 0, xHi = 0, yLo = 0, yHi = 0;
        QAbstractAxis* vertical = nullptr;
        for (QAbstractAxis* a : d.Series->attachedAxes())
            if (a->orientation() == Qt::Vertical) vertical = a;
        if (Thinning && UnitRange(Used[0], xLo, xHi) && UnitRange(vertical, yLo, yHi)) {
            if (d.Line) shown = ThinLine(d.Points, d.Kept, d.Memo, xLo, xHi, yLo, yHi, plot.width(), plot.height());
            else shown = ThinPoints(d.Points, false, xLo, xHi, yLo, yHi, plot.width(), plot.height());
            d.Kept = d.Points.size();
        }
        if (shown.size() != d.Series->count() || shown != d.Series->points()) d.Series->replace(shown);
        d.Shown = int(shown.size());
    }
    InThin = false;
}

void TChartRenderer::Render(const TChartData& data, bool useDataScale, const std::vector<size_t>* unchanged)
{
    // Lines stand out from the chart's background; average records keep apart
    // from the sessions' colours.
    const std::vector<int32_t> sessionColors = SessionColors(data);
    const int32_t background = FromQColor(Chart->backgroundBrush().color());
    InRender = true;
    const size_t count = data.Series.size();
    const bool grown = unchanged && unchanged->size() == count && Scans.size() == count;
    // How many first points of series i are those of the last drawing.
    auto same = [&](size_t i) { return grown ? std::min((*unchanged)[i], data.Series[i].Points.size()) : size_t(0); };
    bool time[3] = {false, false, false};
    TRange ranges[3];
    bool whole[3] = {true, true, true};  // every value on the axis is a whole number
    auto isWhole = [](double v) { return !std::isfinite(v) || v == std::floor(v); };
    Scans.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const TSeriesData& s = data.Series[i];
        const int y = s.Axis == TAxisSide::Left ? 1 : 2;
        time[0] = time[0] || s.XDateTime;
        time[y] = time[y] || s.YDateTime;
        std::vector<TScanned>& marks = Scans[i];
        marks.resize(std::min(marks.size(), same(i) / kScanBlock));
        TScanned found = marks.empty() ? TScanned{} : marks.back();
        for (size_t k = marks.size() * kScanBlock; k < s.Points.size(); ++k) {
            const TPointD& p = s.Points[k];
            if (std::isfinite(p.X)) {
                found.XLo = std::min(found.XLo, p.X);
                found.XHi = std::max(found.XHi, p.X);
            }
            if (std::isfinite(p.Y)) {
                found.YLo = std::min(found.YLo, p.Y);
                found.YHi = std::max(found.YHi, p.Y);
            }
            found.XWhole = found.XWhole && isWhole(p.X);
            found.YWhole = found.YWhole && isWhole(p.Y);
            if ((k + 1) % kScanBlock == 0) marks.push_back(found);
        }
        ranges[0].Add(found.XLo);
        ranges[0].Add(found.XHi);
        ranges[y].Add(found.YLo);
        ranges[y].Add(found.YHi);
        whole[0] = whole[0] && found.XWhole;
        whole[y] = whole[y] && found.YWhole;
    }
    // Series that left the chart (removed by someone else) are forgotten.
    const QList<QAbstractSeries*> inChart = Chart->series();
    std::erase_if(Drawn, [&](const TDrawn& d) { return !inChart.contains(d.Series); });
    // Reused series lose their old points first, so that the axis changes
    // below do not lay them out once more.
    for (TDrawn& d : Drawn)
        if (d.Series->count() > 0) d.Series->clear();

    for (int i = 0; i < 3; ++i) Place(i, time[i]);

    std::vector<TPiece> pieces;
    std::vector<TCurveBundleItem::TCurve> bundled;
    // The own lines of the last drawing, in order: what was thinned of their
    // points stays good for the points kept.
    std::vector<TCurveBundleItem::TCurve*> before;
    bool restructured = !Bundle;
    if (Bundle)
        for (TCurveBundleItem::TCurve& c : Bundle->Curves) {
            if (c.Own) before.push_back(&c);
            else restructured = true;  // other curves are drawn anew
        }
    size_t own = 0;
    for (size_t i = 0; i < count; ++i) {
        const TSeriesData& s = data.Series[i];
        const bool ownLine = OwnLines && s.Kind == TSeriesKind::Line && !s.MarksVisible && OneColour(s);
        if ((s.Role == TSeriesRole::OtherCurve && s.Kind == TSeriesKind::Line) || ownLine) {
            TCurveBundleItem::TCurve c;
            QPen pen(ToQColor(DrawColor(s, s.Color, sessionColors, background)));
            pen.setWidth(std::max(1, int(s.PenWidth)));
            pen.setStyle(ToQtPenStyle(s.PenStyle));
            c.Pen = pen;
            c.Side = s.Axis;
            TCurveBundleItem::TCurve* last = ownLine && own < before.size() ? before[own] : nullptr;
            const size_t kept = same(i);
            const QPointF lastKept = kept > 0 ? ChartPoint(s, s.Points[kept - 1]) : QPointF();
            if (last && kept > 0 && qsizetype(kept) <= last->Points.size() &&
                last->Points[qsizetype(kept) - 1].x() == lastKept.x() &&
                last->Points[qsizetype(kept) - 1].y() == lastKept.y()) {
                // A line that grew: its points so far are taken over.
                c.Points = std::move(last->Points);
                c.Points.resize(qsizetype(kept));
                c.Kept = qsizetype(kept);
            } else {
                c.Points.reserve(qsizetype(s.Points.size()));
            }
            for (size_t k = size_t(c.Points.size()); k < s.Points.size(); ++k)
                c.Points.append(ChartPoint(s, s.Points[k]));
            if (!ownLine) {
                restructured = true;
            } else {
                c.Own = true;
                if (last) {
                    if (c.Kept == 0) c.Kept = KeptPrefix(last->Points, c.Points);
                    c.Memo = std::move(last->Memo);
                    c.Shown = last->Shown;
                    c.Rising = last->Rising;
                    restructured = restructured || last->Pen != c.Pen || last->Side != c.Side;
                }
                ++own;
            }
            bundled.push_back(std::move(c));
        } else {
            AddPieces(s, pieces);
        }
    }
    restructured = restructured || own != before.size();
    if (!bundled.empty() && !Bundle) Bundle = new TCurveBundleItem(Chart, this);
    if (Bundle) {
        Bundle->Curves = std::move(bundled);
        Bundle->Restructured = Bundle->Restructured || restructured;
    }

    // The series of the last drawing are reused in order while their kind
    // matches (so the drawing order stays that of the data); the rest go.
    std::vector<TDrawn> next;
    next.reserve(pieces.size());
    bool reuse = true;
    for (size_t i = 0; i < pieces.size(); ++i) {
        TPiece& piece = pieces[i];
        const bool line = piece.Data->Kind == TSeriesKind::Line;
        TDrawn drawn;
        reuse = reuse && i < Drawn.size() && Drawn[i].Line == line;
        if (reuse) {
            // What was thinned of its points stays good for the points kept.
            drawn.Series = Drawn[i].Series;
            drawn.Kept = KeptPrefix(Drawn[i].Points, piece.Points);
            drawn.Memo = std::move(Drawn[i].Memo);
            Drawn[i].Series = nullptr;
        } else {
            if (line) {
                auto* l = new QLineSeries;
                l->setPointsVisible(false);
                drawn.Series = l;
            } else {
                drawn.Series = new QScatterSeries;
            }
            Chart->addSeries(drawn.Series);
        }
        QXYSeries* series = drawn.Series;
        ConfigureSeries(series, *piece.Data, DrawColor(*piece.Data, piece.Color, sessionColors, background));
        QAbstractAxis* vertical = piece.Data->Axis == TAxisSide::Left ? Used[1] : Used[2];
        const QList<QAbstractAxis*> attached = series->attachedAxes();
        if (attached.size() != 2 || !attached.contains(Used[0]) || !attached.contains(vertical)) {
            for (QAbstractAxis* a : attached) series->detachAxis(a);
            series->attachAxis(Used[0]);
            series->attachAxis(vertical);
        }
        drawn.Points = std::move(piece.Points);
        drawn.Line = line;
        next.push_back(std::move(drawn));
    }
    for (TDrawn& d : Drawn)
        if (d.Series) {
            Chart->removeSeries(d.Series);
            delete d.Series;
        }
    Drawn = std::move(next);

    // A chart on the renderer's own fixed scales keeps a zoom the user made
    // while it is redrawn (browsing curves); charts scaled from their data
    // take the new scale.
    const bool keepZoom = !useDataScale && Chart->isZoomed() && !Bottom.Scale.AutoMinimum &&
                          !Bottom.Scale.AutoMaximum && !Left.Scale.AutoMinimum && !Left.Scale.AutoMaximum;
    const TAxisScale scales[3] = {Bottom.Scale, useDataScale ? data.Left : Left.Scale,
                                  useDataScale ? data.Right : Right.Scale};
    for (int i = 0; i < 3; ++i) {
        TAxisPlan& plan = Plans[i];
        plan.Scale = scales[i];
        plan.DataLo = ranges[i].Lo;
        plan.DataHi = ranges[i].Hi;
        plan.HaveData = ranges[i].Valid();
        plan.Whole = whole[i];
    }
    if (!keepZoom) {
        if (Chart->isZoomed()) Chart->zoomReset();  // forget the ranges from before the zoom
        for (int i = 0; i < 3; ++i) SetRange(i);
    }
    ApplyLook();
    InRender = false;
    ThinToPlot();
}
