#pragma once
// Draws the plain chart data of core/series.h with Qt Charts: one bottom axis
// and a left and a right axis, each a value axis or (when its series carry
// day fractions) a date-time axis, created once and swapped as needed.
#include <QFont>
#include <QColor>
#include <QString>

#include "core/series.h"

class QAbstractAxis;
class QChart;
class QDateTimeAxis;
class QValueAxis;

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

    TChartAxis Bottom;
    TChartAxis Left;
    TChartAxis Right;
    QFont LabelFont;
    QFont TitleFont;
    QColor LineColor = Qt::black;
    QColor TitleColor = Qt::black;

    // Removes every series and draws the chart data. useDataScale: the left
    // and right axes take the scale of the data (stroke charts), otherwise the
    // window's own scales.
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

private:
    QAbstractAxis* Place(QAbstractAxis* current, QValueAxis* value, QDateTimeAxis* time, bool dateTime,
                         Qt::Alignment align);
    void SetRange(QAbstractAxis* axis, const TAxisScale& scale, double dataLo, double dataHi, bool haveData);
    QChart* Chart;
    QValueAxis* ValueAxes[3];
    QDateTimeAxis* TimeAxes[3];
    QAbstractAxis* UsedBottom = nullptr;
    QAbstractAxis* UsedLeft = nullptr;
    QAbstractAxis* UsedRight = nullptr;
};

// Qt pen style of a session PenStyle (0 solid, 1 dash, 2 dot, 3 dash dot, 4 dash dot dot).
Qt::PenStyle ToQtPenStyle(int style);
