#pragma once
// What the exports (FIT, TCX, RowingData CSV) share: the strokes a session
// exports, its laps (one per work period and one per rest period of an
// interval workout, else one for the session), the summary of a run of
// strokes, and the session's start as a Unix time.
#include <string>
#include <vector>

#include "core/records.h"

struct TLapSummary {
    int First = 1;  // first stroke of the lap
    int Last = 0;   // last stroke (First > Last: no strokes)
    bool Rest = false;
    bool Split = false;    // a distance split of a session rowed without intervals
    int Interval = 0;      // work interval number (1-based); a rest lap has the number of the work before it
    double StartTime = 0;  // elapsed seconds at the lap's start (the end of the stroke before it)
    double EndTime = 0;    // elapsed seconds at the end of its last stroke
    double StartDistance = 0;
    double Distance = 0;  // metres rowed in the lap
    double Energy = 0;    // joules
    int Strokes = 0;
    double AvgPower = 0, MaxPower = 0;
    double AvgRate = 0, MaxRate = 0;            // strokes per minute
    double AvgSpeed = 0, MaxSpeed = 0;          // metres per second
    double AvgHeartRate = 0, MaxHeartRate = 0;  // 0 when no stroke has a heart rate
    double AvgStrokeDistance = 0;               // metres

    double Duration() const { return EndTime - StartTime; }
};

// Strokes 1..ExportedStrokes(t) are exported: trailing strokes with a zero
// time are left out, as a save leaves them out.
int ExportedStrokes(const TTraining& t);

// The summary of strokes first..last (each stroke runs from the end of the one
// before it).
TLapSummary SummariseStrokes(const TTraining& t, int first, int last);

// The laps of the exported strokes. An interval workout is cut where the
// interval cutter cut it while rowing (the work period ends at the stroke
// that reaches it, the rest at the stroke before the one that reaches its
// end); any other session is one lap. Empty laps are left out.
std::vector<TLapSummary> SessionLaps(const TTraining& t);

// The distance the laps of a session rowed without intervals cover in the
// FIT and TCX exports.
constexpr double kExportSplitMetres = 500;

// The laps of the FIT and TCX exports: an interval workout's laps as
// SessionLaps cuts them; any other session cut into its 500 m splits as the
// training window's splits page shows them (cut within the stroke that
// crosses each 500 m, the last one shorter), each holding the strokes that
// end in it. A split in which no stroke ends joins the next one.
std::vector<TLapSummary> ExportLaps(const TTraining& t);

// The summary of the whole session: the exported strokes, with the session's
// totals (time and distance at its limit) where it has them.
TLapSummary SessionSummary(const TTraining& t);

// Speed (m/s) from a stroke's 500 m time; 0 when it has none.
double StrokeSpeed(const TStgStrokeData& s);

// The session's start (its date and time, local) as a Unix time with the
// fraction of the second; and back.
double SessionStartUnix(const TTraining& t);
double UnixToLocalDays(double unixTime);
// The start an export gives the session: its start, or the time of the
// export for a session without a usable date (before 1998).
double ExportStartUnix(const TTraining& t);

// Energy in kilocalories an indoor rower spends for work in joules over
// seconds (the common ergometer estimate: four times the work plus 300 kcal
// an hour of resting metabolism).
double RowingCalories(double joules, double seconds);

// Numbers in export texts, with a dot whatever the locale: the shortest text
// that reads back as the same float; and a fixed number of decimals with
// trailing zeros cut ("2.5", "3").
std::string ShortestText(float value);
std::string DecimalText(double value, int decimals);
// Reads a number written either way (surrounding blanks allowed); false for
// anything else, infinities and NaN included.
bool ParseNumber(const std::string& text, double& value);
