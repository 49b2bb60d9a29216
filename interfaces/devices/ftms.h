#pragma once
// Rowing machines that speak the Bluetooth Fitness Machine Service (0x1826):
// the Rower Data characteristic (0x2AD1), put together into stroke records.
//
// Rower Data begins with 16 bits of flags, then the fields the flags announce,
// in this order (all little-endian):
//   bit 0 = 0  stroke rate (uint8, half strokes per minute), stroke count (uint16)
//              -- bit 0 is "More Data": SET means these two fields are ABSENT
//   bit 1      average stroke rate (uint8, half strokes per minute)
//   bit 2      total distance (uint24, m)
//   bit 3      instantaneous pace (uint16, s per 500 m)
//   bit 4      average pace (uint16, s per 500 m)
//   bit 5      instantaneous power (sint16, W)
//   bit 6      average power (sint16, W)
//   bit 7      resistance level (sint16)
//   bit 8      total energy (uint16, kcal), energy per hour (uint16, kcal),
//              energy per minute (uint8, kcal)
//   bit 9      heart rate (uint8, bpm)
//   bit 10     metabolic equivalent (uint8, 0.1)
//   bit 11     elapsed time (uint16, s)
//   bit 12     remaining time (uint16, s)
// A record too long for one notification is sent in parts: every part but
// the last has More Data set, and the last one (More Data clear) carries the
// stroke rate and count. A pace of 0xFFFF or 0 means the rower is not
// rowing (paused); such a pace is not a speed.
//
//   DecodeRowerData       one notification -> its fields
//   EncodeRowerData       fields -> one notification (simulators, tests)
//   SplitRowerData        fields -> the parts a machine with a 20-byte
//                         notification payload sends
//   TRowerDataAssembler   parts -> complete records
//   TFtmsStrokeMaker      complete records -> one stroke record for every
//                         increase of the stroke count
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/records.h"

constexpr uint16_t kFitnessMachineService = 0x1826;
constexpr uint16_t kRowerDataCharacteristic = 0x2AD1;

struct TRowerData {
    bool MoreData = false;  // bit 0 as sent: the stroke fields are absent
    bool HasStrokes = false;
    uint8_t StrokeRate2 = 0;  // half strokes per minute
    uint16_t StrokeCount = 0;
    bool HasAverageStrokeRate = false;
    uint8_t AverageStrokeRate2 = 0;
    bool HasDistance = false;
    uint32_t Distance = 0;  // m (24 bits)
    bool HasPace = false;
    uint16_t Pace = 0;  // s per 500 m
    bool HasAveragePace = false;
    uint16_t AveragePace = 0;
    bool HasPower = false;
    int16_t Power = 0;
    bool HasAveragePower = false;
    int16_t AveragePower = 0;
    bool HasResistance = false;
    int16_t Resistance = 0;
    bool HasEnergy = false;
    uint16_t TotalEnergy = 0;  // kcal
    uint16_t EnergyPerHour = 0;
    uint8_t EnergyPerMinute = 0;
    bool HasHeartRate = false;
    uint8_t HeartRate = 0;
    bool HasMet = false;
    uint8_t Met = 0;  // 0.1
    bool HasElapsed = false;
    uint16_t Elapsed = 0;  // s
    bool HasRemaining = false;
    uint16_t Remaining = 0;

    double StrokeRate() const { return StrokeRate2 / 2.0; }
    // A pace that is a speed (not the "not rowing" values 0 and 0xFFFF).
    static bool PaceIsSpeed(uint16_t pace) { return pace != 0 && pace != 0xFFFF; }
};

// False with a reason when the packet is shorter than its flags say, or
// announces fields the characteristic does not have (bits 13..15).
bool DecodeRowerData(const uint8_t* data, size_t size, TRowerData& out, std::string& error);
// One notification with the fields whose Has flag is set (More Data set
// exactly when HasStrokes is clear).
std::vector<uint8_t> EncodeRowerData(const TRowerData& r);
// The record in parts of at most maxPayload bytes: the optional fields go
// into More Data parts as they fit, the stroke fields into the last part.
std::vector<std::vector<uint8_t>> SplitRowerData(const TRowerData& r, size_t maxPayload = 20);

// Collects the parts of a record until one without More Data arrives. A run
// of parts that never ends (a machine that lost its last part) is dropped
// after kMaxParts and counted.
class TRowerDataAssembler {
public:
    static constexpr int kMaxParts = 8;
    // True when a record is complete: then Record() holds it.
    bool Add(const TRowerData& part);
    const TRowerData& Record() const { return FRecord; }
    int Dropped() const { return FDropped; }
    void Reset();

private:
    TRowerData FPending;
    TRowerData FRecord;
    int FParts = 0;
    int FDropped = 0;
};

// Turns complete records into the session's stroke records. The machine's
// totals (distance, elapsed time) count from the start of its own workout;
// the session counts from when recording began, without the time and
// distance rowed while it was not recording (before the start, while paused)
// and across a machine that starts a new workout (its totals fall back).
//
// Per stroke: Power (instantaneous, else average power), StrokeRate, Time
// (session time: the records' arrival times, kept within a second of the
// machine's elapsed time when it sends one), Distance, DistancePerStroke, Time500 (the pace; when the
// machine sends none, from the power by the usual 2.8 W/(m/s)^3 rule),
// Energy (power x stroke time, J), EnergySum (kJ), AveragePower (energy sum
// over time), Pulse (the machine's heart rate when it sends a plausible one)
// and WorkPerPulse. The machine measures no force, stroke length or drive
// time: those fields stay 0. A count that jumps by n (notifications lost)
// gives one record for n strokes, numbered on from the last one, so the
// session never has holes.
class TFtmsStrokeMaker {
public:
    // Strokes are made only while recording; otherwise the counts are only followed.
    void SetRecording(bool recording);
    bool Recording() const { return FRecording; }
    // A complete record that arrived at the given time (s, the receiver's
    // clock). True when it made a stroke (Stroke()).
    bool Add(const TRowerData& r, double seconds);
    const TStgStrokeData& Stroke() const { return FStroke; }
    int StrokeCount() const { return FStrokes; }
    // The last record's state: paused (pace 0 or 0xFFFF, or no power), the
    // machine's heart rate (0 when none or implausible).
    bool Paused() const { return FPaused; }
    int HeartRate() const { return FHeart; }
    double SessionTime() const { return FTime; }
    double SessionDistance() const { return FDistance; }
    // The machine started over (its totals fell back) this many times.
    int Restarts() const { return FRestarts; }
    void Reset() { *this = TFtmsStrokeMaker(); }

private:
    bool FRecording = true;
    bool FStarted = false;
    uint16_t FCount = 0;
    double FMachineDistance = 0, FMachineTime = 0;  // the machine's at the last record
    double FArrival = 0;                            // when the last record arrived
    double FDistance = 0, FTime = 0;                // the session's
    double FElapsed = 0;                            // the session's by the machine's clock
    double FEnergy = 0;                             // J
    double FStrokeDistance = 0;                     // session distance at the last stroke
    int FStrokes = 0;
    bool FPaused = true;
    int FHeart = 0;
    int FRestarts = 0;
    TStgStrokeData FStroke{};
};
