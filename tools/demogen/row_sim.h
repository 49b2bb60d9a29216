#pragma once
// A rowing machine and its rower, simulated: the source of the built-in demo
// recording and the reference the stroke computation is checked against.
//
// The machine: an air-braked flywheel (moment of inertia 0.1088 kg m^2, drag
// torque k w^2) with 4 magnets, driven through a chain (8 mm pitch) over an
// 11-tooth sprocket and a one-way clutch; a return cord (pre-tension 21 N,
// 10.7 N/m) pulls the chain back. The rower pulls the handle with a force
// curve over the stroke length; the handle moves with the sprocket while the
// clutch is engaged (the whole drive), so the flywheel sees the handle force
// minus the cord force. During the recovery the flywheel coasts.
//
// The session (about 30 minutes): a warm-up, three harder pieces with easy
// rowing between them, a pause of a minute with the flywheel running down to
// a standstill, and a cool-down. Stroke length, force and rate vary from
// stroke to stroke by a seeded generator, so the same seed gives the same bytes.
//
// Output: the raw data samples (ticks of 1/614000 s between magnet pulses,
// heart byte 30; gaps the measuring interface cannot measure become samples of
// 32767 ticks or more that together keep the clock) and per stroke the truth:
// the rower's work at the handle, the timing of drive and recovery, power and rate.
#include <cstdint>
#include <string>
#include <vector>

#include "interfaces/devices/demo_data.h"

struct TSimStroke {
    int Number = 0;           // 1-based
    double CatchTime = 0;     // s, recording clock
    double DriveEndTime = 0;  // s
    double DriveTime = 0;     // s
    double StrokeTime = 0;    // s from the previous drive end to this one (0 for the first)
    double Work = 0;          // J, rower's work at the handle over the drive
    double FlywheelWork = 0;  // J, of it delivered to the flywheel (work minus cord energy)
    double Length = 0;        // m, handle travel
    double PeakForce = 0;     // N, handle force minus cord force
    double Power = 0;         // W = Work / StrokeTime (0 for the first)
    double Rate = 0;          // strokes/min = 60 / StrokeTime (0 for the first)
    bool AfterPause = false;  // first strokes after a standstill (flywheel spinning up)
};

// One piece of a session: rowing at a rate and power for a time, or (rate 0)
// the rower stops pulling and the flywheel coasts for that time.
struct TSimSegment {
    double Duration;  // s
    double Rate;      // strokes/min; 0 = pause
    double Power;     // W at the handle
    double Length;    // m
};

struct TSimParameters {
    uint64_t Seed = 20260401;
    double Inertia = 0.1088;
    double DragFactor = 0.0000725;  // k, N m s^2
    int Magnets = 4;
    int Cog = 11;
    double Link = 0.008;
    double Tension = 21.0;
    double ElastConst = 10.7;
    double MagnetJitter = 0.002;  // relative misplacement of the magnets
    uint8_t Heart = 30;
    double Scale = 1.0;             // 1 = the full session; smaller = shorter (tests)
    std::vector<TSimSegment> Plan;  // empty = the built-in recording's session
};

struct TSimResult {
    std::vector<TRawDataSample> Samples;
    std::vector<TSimStroke> Strokes;
    double Duration = 0;  // s, sum of the sample intervals
};

TSimResult SimulateSession(const TSimParameters& p = {});
// The recording as a raw data file (version 0.9.7.0).
std::vector<uint8_t> RecordingBytes(const TSimResult& r);
// The truth as CSV, one line per stroke.
std::string TruthCsv(const TSimResult& r);
