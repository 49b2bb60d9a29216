#pragma once
// Synthetic sessions for the training data layer's tests and benchmarks.
#include <functional>

#include "core/training.h"

// The session records are packed, so their fields may sit at unaligned
// addresses; the test macros take their arguments by reference, so fields are
// handed to them as copies: EXPECT_EQ(+s.Power, 200).

// Shape of a steady synthetic session: every stroke takes StrokeTime seconds,
// covers StrokeDistance metres and StrokeEnergy joules.
struct TSessionShape {
    double StrokeTime = 2.0;       // s
    double StrokeDistance = 10.0;  // m
    double StrokeEnergy = 400.0;   // J
    float Pulse = 120;
    float StrokeLength = 120;  // cm
    float DriveTime = 0.8f;
    float RecoverRatio = 1.5f;
    bool CurveData = true;  // curves carry a force profile
};

// Stroke k of a steady session (no interval fields set).
TStgStrokeData SyntheticStroke(int k, const TSessionShape& shape = {});
// A bell-shaped force curve of the given peak over 'width' samples.
TStgForceCurve BellCurve(int number, int peak, int width = 40);

// A fresh session with default settings and a header (Active, colour red).
TTraining BlankSession();
// A session holding n steady strokes with curves; slot 0 is averaged.
TTraining SteadySession(int n, const TSessionShape& shape = {});

// Plays strokes 1..n into t as the row session's live recording does: store
// the stroke and its curve, compute the peak values and the average slot, run
// the interval cutter (limit type 4 only), then test the session limit.
// Returns the stroke at which the session finished (0 = never).
int RecordSession(TTraining& t, int n, const TSessionShape& shape, TIntervalState& state);

// Session settings for an interval workout by 'by' (0 strokes .. 3 time).
TTrainingSettings IntervalSettings(int by, int work, int rest, int limitIntervals);
