#pragma once
// The interval cutter: while the rower rows an interval workout, every stored
// stroke is handed to CutIntervals, which decides where work and rest periods
// end, marks the stroke with its interval number, countdown and running
// interval power, and writes a TTrainingInterval when a work period ends.
#include <cstdint>
#include <string>

#include "core/records.h"

// Cutter state; lives as long as one recording.
struct TIntervalState {
    int32_t CurrentInterval = 1;     // number A of the interval in progress
    bool InRest = false;             // between the end of a work period and the end of its rest
    TStgStrokeData IntervalStart{};  // copy of the stroke just before the interval's first stroke
    bool Finished = false;           // the session has reached its end
};

// Back to the start values (a recording starts or the session is reset).
void ResetIntervalState(TIntervalState& state);

// Boundaries of interval a on the IntervalBy progress scale (rounded half to even).
double IntervalWorkEnd(const TTrainingSettings& settings, int a);
double IntervalRestEnd(const TTrainingSettings& settings, int a);

// Processes stored stroke k (1..N) of an interval workout: marks it and, when a
// work period ends, writes interval A. The caller runs it only when LimitType
// is 4 and the session is not finished; k outside 1..N is ignored.
void CutIntervals(TIntervalState& state, TTraining& t, int k);

// Value of interval parameter i (0..21); 0 outside. Times are day fractions.
float IntervalValue(const TTrainingInterval& interval, int i);
// FormatValue(IntervalParameterFormat(i), IntervalValue(interval, i)).
std::string IntervalValueText(const TTrainingInterval& interval, int i);
