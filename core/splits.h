#pragma once
// Splits: a session cut into pieces of equal distance (500 m, say), time or
// stroke count, with the values of the split catalogue for each piece.
//
// Distance and time splits are cut where the session's progress reaches each
// multiple of the split size, interpolated within the stroke that crosses it
// exactly as a distance or time limit ends a session: distance, time and
// energy at the cut are the previous stroke's values plus the crossing
// fraction of the stroke's step. The last split holds what is left (shorter
// than the others); a session that ended at its limit ends at its totals
// (within its last stroke), not at the end of that stroke. Stroke splits end
// at every n-th stroke.
//
// A stroke belongs to the split in which it ends. The split's power is its
// work over its time, its 500 m time and speed come from its distance and
// time; the other averages (stroke rate, length, distance and energy per
// stroke, pulse, work per pulse, drive, recovery and stroke time, ratio) are
// the mean of the stroke values that were measured (above 0) among its strokes.
#include <string>
#include <vector>

#include "core/records.h"

enum TSplitType { sptStrokes = 0, sptDistance = 1, sptTime = 2 };

struct TSplit {
    int Number = 0;
    int StrokesCumulative = 0;
    int Strokes = 0;
    double DistanceCumulative = 0, Distance = 0;  // m
    double TimeCumulative = 0, Time = 0;          // s
    double EnergyCumulative = 0, Energy = 0;      // kJ
    double Power = 0;                             // W
    double StrokeRate = 0;
    double StrokeLength = 0;       // cm
    double DistancePerStroke = 0;  // cm
    double Time500 = 0;            // s
    double Speed = 0;              // m/s
    double EnergyPerStroke = 0;    // J
    double Pulse = 0;
    double WorkPerPulse = 0;
    double DriveTime = 0, RecoverTime = 0, StrokeTime = 0;  // s
    double Ratio = 0;
};

// The splits of strokes 1..N; none when size is not positive or the session
// has no strokes.
std::vector<TSplit> ComputeSplits(const TTraining& t, TSplitType type, double size);

// Value of split catalogue entry i (0..20) as the catalogue formats it
// (times as day fractions); 0 outside.
float SplitValue(const TSplit& s, int i);
std::string SplitValueText(const TSplit& s, int i);

// The split sizes behind the presets of each split type (strokes, metres,
// seconds), in the order the presets are listed.
const std::vector<double>& SplitPresetSizes(int splitType);
