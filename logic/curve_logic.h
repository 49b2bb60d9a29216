#pragma once
// The force curves window's rules without the window: browsing a session's
// curves, deleting one, the four cross-session average records, the values
// of the data grid under fixed force or fixed length, and the stroke-file
// export of the shown curve.
#include <string>
#include <vector>

#include "core/records.h"

constexpr int kAverageRecords = 4;

// Clears average record k (1..4) and sets it up: title, colour, pen, curve
// source, one empty stroke.
void SetupAverageRecord(TTraining& avg, int k);
std::string AverageTitle(int k);

// Recomputes slot 0 of average record k (1..4) from the open sessions:
// 1 the shown curve of every active session, 2 of every session, 3 the
// average curve of every active session, 4 of every session. Curves are
// length-normalised to the mean stroke length. Returns the number of
// sessions taken.
int ComputeAverageCurve(TTraining& avg, int k, const std::vector<const TTraining*>& sessions);

// Browse steps on SelectedStroke (k) of a session with N strokes.
int FirstCurve(const TTraining& t);     // 1 when k > 1
int PreviousCurve(const TTraining& t);  // back to the previous curve with data (or 1)
int NextCurve(const TTraining& t);      // on to the next curve with data (or N)
int LastCurve(const TTraining& t);      // N when k < N
// The curve number m when 0 < m <= N, else k unchanged.
int CurveAt(const TTraining& t, int m);
// The number typed into the curve box (blanks trimmed); -1 when it is not a number.
int ParseCurveNumber(const std::string& text);

// The note a force-curve chart shows for a session recorded from a rowing
// machine that measures no force (an FTMS machine): its strokes carry no
// curve. "" for every other session.
std::string NoForceCurveNote(const TTraining& t);

// Marks the shown curve as without data, moves to the previous curve with
// data (or the next one) and recomputes the session average. False when
// there is nothing to delete.
bool DeleteShownCurve(TTraining& t);

// The stroke and curve a record shows: CurveSource 0 the stroke
// SelectedStroke (when 1..N), 1 slot 0; otherwise (or out of range) zeros.
// False when zeros were given.
bool ShownStroke(const TTraining& t, TStgStrokeData& stroke, TStgForceCurve& curve);

struct TCurveNormalisation {
    bool FixedForce = false;
    int Force = 550;  // N
    bool FixedLength = false;
    int Length = 150;  // cm
};

// The five values of the grid (stroke length, energy, peak force and its
// position, relative position) after the normalisation.
struct TCurveValuesRow {
    float StrokeLength = 0;
    float Energy = 0;
    float PeakForce = 0;
    float PeakForcePosition = 0;
    float PeakForceRelative = 0;
};
TCurveValuesRow NormalisedValues(const TStgStrokeData& s, const TCurveNormalisation& n);

// The session written by the stroke-file export: R's settings and one stroke
// with the shown curve (normalised as the chart shows it).
TTraining ExportTraining(const TTraining& r, const TCurveNormalisation& n);
