#pragma once
// What the chart windows and the row window's charts draw alike: where a day
// fraction of a time axis lies, the line styles of the sessions, and the
// range an axis takes from its scale and the data drawn on it.
#include <Qt>
#include <QtGlobal>

#include "core/series.h"

constexpr double kMsPerDay = 86400000.0;
constexpr double kEmptyTimeSpan = 10.0 / 1440;  // ten minutes, in days

// Local midnight of a fixed day, in ms since the epoch: a day fraction f is
// drawn at ChartDayBase() + f * 86400000.
qint64 ChartDayBase();

// Qt pen style of a session PenStyle (0 solid, 1 dash, 2 dot, 3 dash dot, 4 dash dot dot).
Qt::PenStyle ToQtPenStyle(int style);

struct TAxisSpan {
    double Lo = 0;
    double Hi = 1;
    bool Manual = false;  // the scale sets the minimum or the maximum
};

// The range of an axis from its scale and the range of the data drawn on it
// (haveData false: nothing drawn). An empty time axis spans ten minutes
// rather than a whole day, whose ticks would all read "00:00"; a single
// value gets some room around it.
TAxisSpan AxisSpanOf(const TAxisScale& scale, double dataLo, double dataHi, bool haveData, bool time);

// An automatic value scale rounds outwards to a whole step of its own.
void RoundOutwards(double& lo, double& hi, bool whole);
