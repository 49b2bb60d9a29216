#pragma once
// The one chart renderer of the program: draws the plain chart data of
// core/series.h with Qt Charts for the chart windows and the row window's
// charts alike. One bottom axis and a left and a right axis, each a value
// axis or (when its series carry day fractions) a date-time axis, created once
// and swapped as needed; ticks planned for the axis' length on screen; long
// series thinned to what the plot's pixels can show; the "all curves" of the
// sessions drawn together in one item.
#include <QColor>
#include <QFont>
#include <QList>
#include <QMetaObject>
#include <QPointF>
#include <QString>

#include <limits>
#include <vector>

#include "core/series.h"
#include "framework/chart_axis_ticks.h"
#include "framework/chart_scale.h"

class QAbstractAxis;
class QChart;
class QDateTimeAxis;
class QValueAxis;
class QXYSeries;
class TCurveBundleItem;

// How one axis is set up.
struct TChartAxis {
    QString Title;
    bool Visible = true;
    // Used when the chart data does not scale the axis itself (bottom axis,
    // force-curve charts): automatic, or manual minimum, maximum and increment.
    TAxisScale Scale;
    QString DateTimeFormat = "mm:ss";
};

// What the thinning of a rising line made last, so that a line that only
// got points at its end is thinned on from its last pixel column instead of
// from its first point (a live chart after every stroke).
struct TThinMemo {
    double Key[6] = {};         // xLo, xHi, yLo, yHi, width, height
    bool Valid = false;         // Out is the thinned line of the first Count points for Key
    qsizetype Count = 0;        // points thinned
    qsizetype ColumnStart = 0;  // first point of the last pixel column drawn
    qsizetype OutAtColumn = 0;  // size of Out before that column
    QList<QPointF> Out;
};

class TChartRenderer {
public:
    explicit TChartRenderer(QChart* chart);
    ~TChartRenderer();
    TChartRenderer(const TChartRenderer&) = delete;
    TChartRenderer& operator=(const TChartRenderer&) = delete;

    TChartAxis Bottom;
    TChartAxis Left;
    TChartAxis Right;
    QFont LabelFont;
    QFont TitleFont;
    QColor LineColor = Qt::black;
    QColor TitleColor = Qt::black;
    // The labels' colour; Qt's own when invalid.
    QColor LabelColor;
    // A manual scale with an increment widens by whole steps until every
    // point drawn lies inside it (a live chart: a sprint above the rower's
    // window, the strokes of a pause below it). Off: the window shows exactly
    // the scale chosen (the chart windows, where it is the user's zoom).
    bool WidenToData = false;

    // Draws the chart data in place of what was drawn before. useDataScale:
    // the left and right axes take the scale of the data (stroke charts),
    // otherwise the renderer's own scales. Series objects of the previous
    // drawing are reused; each gets its points once, after the axes are set.
    // A series whose points carry their own colours (PointColors) is drawn
    // in pieces of one colour: a line segment takes the colour of the point
    // it leads to, a point its own colour.
    // unchanged (a live chart that grew): per series, how many of its first
    // points are those given to the last drawing; only the rest is taken on.
    void Render(const TChartData& data, bool useDataScale, const std::vector<size_t>* unchanged = nullptr);
    // Removes every series drawn (series added by others stay).
    void Clear();
    // Applies fonts, colours, titles and visibility to the axes.
    void ApplyLook();
    // Sets the scale of an axis (0 bottom, 1 left, 2 right) and applies it at
    // once to what is drawn.
    void SetScale(int axis, const TAxisScale& scale);

    // The axes in use (nullptr before the first drawing).
    QAbstractAxis* BottomAxis() const { return Used[0]; }
    QAbstractAxis* LeftAxis() const { return Used[1]; }
    QAbstractAxis* RightAxis() const { return Used[2]; }
    QAbstractAxis* Axis(int axis) const { return Used[axis]; }
    // The range an axis shows (value axes in their unit, date-time axes in days).
    bool AxisRange(QAbstractAxis* axis, double& lo, double& hi) const;

    // Local midnight of a fixed day, in ms since the epoch: a day fraction f is
    // drawn at DayBase() + f * 86400000.
    static qint64 DayBase();

    // The chart series drawn, in the order of the data (a series drawn in
    // pieces of one colour counts once per piece; bundled curves not at all).
    int SeriesCount() const { return int(Drawn.size()); }
    QXYSeries* Series(int i) const;
    // Points of the drawn series as given (Held) and as handed to the chart
    // (Shown: only what the plot's pixels can tell apart in the visible range).
    int HeldPoints() const;
    int ShownPoints() const;
    // Hands every series the points the plot can show at its current size and
    // axis ranges (runs by itself when an axis range or the plot area changes).
    void ThinToPlot();
    // Keep every point (no thinning); for checks of the exact series data.
    bool Thinning = true;
    // Lines of the data drawn by the renderer's own item rather than by chart
    // series (the row window's live chart: a line series lays out and
    // outlines its whole path on every change, which grows with the session).
    // Lines of one colour without marks only; the rest stay series.
    bool OwnLines = false;
    struct TLine {
        QList<QPointF> Points;  // as drawn: thinned to the plot
        TAxisSide Side = TAxisSide::Left;
        QColor Color;
    };
    int LineCount() const;
    TLine Line(int i) const;
    // Number of the curves drawn together in one item below the series (the
    // "all curves" of a session: there may be thousands of them, far too
    // many for a chart series each).
    int BundledCurves() const;

private:
    struct TDrawn {
        QXYSeries* Series = nullptr;
        QList<QPointF> Points;  // every point of the piece
        bool Line = true;
        int Shown = 0;
        qsizetype Kept = 0;  // points the same as at the last thinning
        TThinMemo Memo;
    };
    void Place(int axis, bool dateTime);
    void SetRange(int axis);
    // Ticks of the axes in use for the plot's size and their ranges.
    void PlaceTicks();
    // How each axis (bottom, left, right) was scaled by the last drawing.
    struct TAxisPlan {
        TAxisScale Scale;               // the scale applied
        double DataLo = 0, DataHi = 0;  // the data drawn on the axis
        bool HaveData = false, Whole = true;
        TTickRule Rule;
        double Lo = 0, Hi = 0;  // the range set; another one is a zoom
        int TimeTicks = 0;      // > 0: the ticks of a chosen step; 0: round time steps
    };
    TAxisPlan Plans[3];
    QChart* Chart;
    QValueAxis* ValueAxes[3];
    QDateTimeAxis* TimeAxes[3];
    QAbstractAxis* Used[3] = {};
    std::vector<TDrawn> Drawn;
    TCurveBundleItem* Bundle = nullptr;  // owned by the chart
    std::vector<QMetaObject::Connection> Connections;
    bool InRender = false;
    bool InThin = false;
    // What the points of a series hold: their ranges, and whether every value
    // is whole. Kept for every whole block of points from the start, so that
    // a series that only grew is looked at again from its last block on.
    struct TScanned {
        double XLo = std::numeric_limits<double>::infinity(), XHi = -XLo;
        double YLo = std::numeric_limits<double>::infinity(), YHi = -YLo;
        bool XWhole = true, YWhole = true;
    };
    static constexpr size_t kScanBlock = 512;
    std::vector<std::vector<TScanned>> Scans;  // per series of the last drawing
};

// Thinning of a series for a plot of the given pixel size over the visible
// ranges [xLo, xHi] x [yLo, yHi] (all in the series' units). Lines whose x
// never decreases keep, per pixel column, the first, lowest, highest and last
// point (and one point on each side outside the range); other lines drop
// points that fall on the pixel of the point before; point series drop points
// on a pixel already taken. The result looks the same on the plot.
QList<QPointF> ThinPoints(const QList<QPointF>& points, bool line, double xLo, double xHi, double yLo, double yHi,
                          double width, double height);
// The same for a line, going on from memo when the first kept points are
// those memo was made from and the ranges and size are the same; memo then
// holds this thinning.
QList<QPointF> ThinLine(const QList<QPointF>& points, qsizetype kept, TThinMemo& memo, double xLo, double xHi,
                        double yLo, double yHi, double width, double height);
