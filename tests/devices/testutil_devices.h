#pragma once
// Helpers of the device tests: frames as the measuring interface sends them,
// pulse trains of a flywheel, and a recorder of the computation's events.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "interfaces/devices/vt_protocol.h"

// A 4-byte frame of vtpVtw (or vtpVT3W) with pulse counter 0x7FFF - ticks
// (ticks >= 0x7FFF: the no-pulse frame) and heart period P (0..2047).
std::array<uint8_t, 4> TestFrame(uint32_t ticks, int heartPeriod, bool vt3w = false);

// Pulse intervals (s) of strokes: per stroke a drive of `drive` pulses that
// speeds the flywheel from `slow` to `fast`, then a recovery of `recovery`
// pulses that slows it back down geometrically.
std::vector<double> StrokeTrain(int strokes, int drive = 50, int recovery = 110, double slow = 0.015,
                                double fast = 0.011);

// Events of a TStrokeComputer, in order: "S" starting stroke, "F" force data,
// "D" stroke data, "R" starting recover.
struct TEventLog {
    std::string Order;
    std::vector<TStgStrokeData> Strokes;
    std::vector<double> Forces;
    std::vector<int> Puls;
    void Attach(TStrokeComputer& c);
};
