#pragma once
// Draws the plain chart data of core/series.h with Qt Charts: one bottom axis
// and a left and a right axis, each a value axis or (when its series carry
// day fractions) a date-time axis, created once and swapped as needed.
#include <QColor>
#include <QFont>
#include <QList>
#include <QMetaObject>
#include <QPointF>
#include <QString>

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

// How one axis of the chart window is set up.
struct TChartAxis {
    QString Title;
    bool Visible = true;
    // Used when the chart data does not scale the axis itself (bottom axis,
    // force-curve charts): automatic, or manual minimum, maximum and increment.
    TAxisScale Scale;
    QString DateTimeFormat = "mm:ss";
};

// The axes of a chart window and what they showed last.
class TChartAxes {
public:
    explicit TChartAxes(QChart* chart);
    ~TChartAxes();
    TChartAxes(const TChartAxes&) = delete;
    TChartAxes& operator=(const TChartAxes&) = delete;

    TChartAxis Bottom;
    TChartAxis Left;
    TChartAxis Right;
    QFont LabelFont;
    QFont TitleFont;
    QColor LineColor = Qt::black;
    QColor TitleColor = Qt::black;

    // Draws the chart data in place of what was drawn before. useDataScale:
    // the left and right axes take the scale of the data (stroke charts),
    // otherwise the window's own scales. Series objects of the previous
    // drawing are reused; each gets its points once, after the axes are set.
    // A series whose points carry their own colours (PointColors) is drawn
    // in pieces of one colour: a line segment takes the colour of the point
    // it leads to, a point its own colour.
    void Render(const TChartData& data, bool useDataScale);
    // Removes every series.
    void Clear();
    // Applies fonts, colours and titles to the axes in use.
    void ApplyLook();

    // The axes in use (nullptr when hidden).
    QAbstractAxis* BottomAxis() const { return UsedBottom; }
    QAbstractAxis* LeftAxis() const { return UsedLeft; }
    QAbstractAxis* RightAxis() const { return UsedRight; }
    // The range an axis shows (value axes in their unit, date-time axes in days).
    bool AxisRange(QAbstractAxis* axis, double& lo, double& hi) const;

    // Local midnight of a fixed day, in ms since the epoch: a day fraction f is
    // drawn at DayBase() + f * 86400000.
    static qint64 DayBase();

    // Points of the drawn series as given (Held) and as handed to the chart
    // (Shown: only what the plot's pixels can tell apart in the visible range).
    int HeldPoints() const;
    int ShownPoints() const;
    // Hands every series the points the plot can show at its current size and
    // axis ranges (runs by itself when an axis range or the plot area changes).
    void ThinToPlot();
    // Keep every point (no thinning); for checks of the exact series data.
    bool Thinning = true;
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
    };
    QAbstractAxis* Place(QAbstractAxis* current, QValueAxis* value, QDateTimeAxis* time, bool dateTime,
                         Qt::Alignment align);
    void SetRange(int index, const TAxisScale& scale, double dataLo, double dataHi, bool haveData, bool whole);
    // Ticks of the axes in use for the plot's size and their ranges.
    void PlaceTicks();
    // How each axis (bottom, left, right) was scaled by the last drawing.
    struct TTickPlan {
        TTickRule Rule;
        double Lo = 0, Hi = 0;  // the range set; another one is a zoom
        int TimeTicks = 0;      // > 0: the ticks of a chosen step; 0: round time steps
    };
    TTickPlan Plans[3];
    QChart* Chart;
    QValueAxis* ValueAxes[3];
    QDateTimeAxis* TimeAxes[3];
    QAbstractAxis* UsedBottom = nullptr;
    QAbstractAxis* UsedLeft = nullptr;
    QAbstractAxis* UsedRight = nullptr;
    std::vector<TDrawn> Drawn;
    TCurveBundleItem* Bundle = nullptr;  // owned by the chart
    std::vector<QMetaObject::Connection> Connections;
    bool InRender = false;
    bool InThin = false;
};

// Thinning of a series for a plot of the given pixel size over the visible
// ranges [xLo, xHi] x [yLo, yHi] (all in the series' units). Lines whose x
// never decreases keep, per pixel column, the first, lowest, highest and last
// point (and one point on each side outside the range); other lines drop
// points that fall on the pixel of the point before; point series drop points
// on a pixel already taken. The result looks the same on the plot.
QList<QPointF> ThinPoints(const QList<QPointF>& points, bool line, double xLo, double xHi, double yLo, double yHi,
                          double width, double height);
