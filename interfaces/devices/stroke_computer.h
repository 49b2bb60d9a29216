#pragma once
// TStrokeComputer: turns flywheel pulse intervals into rowing strokes.
//
// One call of Compute per magnet pulse (the interval in seconds and the heart
// rate decoded with it). For every pulse it derives the flywheel speed, the
// energy put in, the drag lost and the force at the handle; it splits the pulse
// stream into drive and recovery, estimates the drag factor from each recovery
// and at the end of each drive fills a TStgStrokeData record.
//
// Use:
//   TStrokeComputer c;
//   c.Settings.Weight = 80; ...            // machine and rower parameters
//   c.Clock = [&] { return nowMs; };       // tick count in milliseconds
//   c.OnStrokeData = [&](const TStgStrokeData& s) { ... };
//   c.Prepare();                           // constants from Settings
//   c.Reset();                             // start of a session
//   for each pulse: c.PushValidity(interval < kLongestInterval);
//                   c.Compute(interval, heartRaw, interpolated);
// (TVTPulseInput in vt_protocol.h does the per-pulse bookkeeping around Compute.)
//
// Events (std::function, empty ones are skipped), in their order within one pulse:
//   first pulse after a standstill: OnStartingStroke, OnForceData
//   a drive pulse:                  OnForceData
//   the pulse that ends a drive:    OnForceData (force 0 when the end-of-drive
//                                   test fired), OnStrokeData, OnStartingRecover
//   a drive start after recovery:   OnStartingStroke, then one OnForceData for
//                                   every pulse from the new drive start on
//   a standstill pulse:             at most one OnStrokeData (every 2 s of clock)
// OnForceData(Puls, Length cm, Force N (0.6 x handle force), DeltaTime s).
//
// Owner hooks:
//   Clock      milliseconds (the tick count); empty = always 0
//   IsOpen     true while the owning interface is at least vtsOpening; checked
//              before the pulse and after every event (a handler that closed
//              the interface stops the pulse there: no event follows a Close);
//              empty = always open
//   DoCalculate  the computation runs only while it is set
//
// Four safeguards beyond the plain algorithm: a drive or recovery too short
// for any rower (kShortestDrive, kShortestRecovery) gives no stroke; a "drive" longer than
// kLongestDrive of handle travel that slows down is taken as coasting (no
// stroke, a recovery starts), so a drag factor guessed too high cannot hide
// every later drive end; the drag factor is only taken from a recovery that
// is a plain coast-down (every drag sample within +-kMaxDragSample and a
// mean not below 0), otherwise the last good value stays: a jump in the pulse
// intervals (rowing resumed after a pause without a standstill, input lost)
// gives a few samples hundreds of times the flywheel's real drag, and a drag
// factor made from them would keep every later drive from ending; and the
// heart-rate filter averages only the entries it has filled, so pulses of a
// standstill do not pull the rate towards 0.
//
// Deterministic (no clock reads other than Clock) and free of allocation per
// pulse: the pulse history is a fixed ring (kPulseRing entries); what a stroke
// needs from further back (drag sum, energy at the drive start) is carried in
// running values, so memory stays bounded however long a drive or session is.
#include <cstdint>
#include <functional>
#include <vector>

#include "core/records.h"
#include "core/values.h"
#include "interfaces/devices/tarn_types.h"

// Machine and rower parameters (properties of the VT interfaces).
struct TStrokeSettings {
    int Magnets = 4;           // pulses per flywheel revolution (1..64)
    double Inertia = 0.1088;   // flywheel moment of inertia, kg m^2
    double Link = 0.008;       // chain pitch, m
    int Cog = 11;              // teeth of the sprocket
    double Tension = 21.0;     // pre-tension of the return cord, N
    double ElastConst = 10.7;  // elastic constant of the return cord, N/m
    double Weight = 85.0;      // rower weight, kg
    TTarnBoatType BoatType = vtb1x;
    int StrokeTrigger = 0;      // force in N at or below which the drive ends
    int ThresHold = 0;          // force threshold in N of the end-of-drive test
    bool RawHeartRate = false;  // skip the heart-rate filter
};

// Constants derived from the settings by Prepare.
struct TStrokeConstants {
    double Mass = 0;             // Weight + 17.5
    double MassFactor = 0;       // Mass^(1/6)
    double PulsesPerRadian = 0;  // M / 2 pi
    double InertiaPerPulse = 0;  // I * pulses per radian
    double Travel = 0;           // Cog * Link / M, handle travel per pulse, m
    double EnergyConstant = 0;   // 2 I (pi / M)^2
    double CordConstant = 0;     // ElastConst / 2
    double BoatFactor = 0;       // speed model factor of the boat type
    int LookBack = 0;            // pulses of 4 cm of handle travel, rounded
};

// Boat factor of the speed model (1.322 for vtb1x ...); 1.322 outside the range.
double BoatFactor(TTarnBoatType boat);

// Every division of the computation goes through SafeDivide (core/values.h):
// divisor first, single-precision result, 0 for a zero divisor or a fault.

// The rate a VT frame decodes without a heart-rate signal (its minimum), and
// the 0 of interfaces that receive none: such pulses carry no heart rate.
constexpr int kNoHeartRate = 30;

class TStrokeComputer {
public:
    // Pulses kept for look-back; far more than any drive or recovery needs.
    static constexpr int kPulseRing = 1 << 14;
    // Handle travel (m) beyond which a slowing "drive" is taken as coasting.
    static constexpr double kLongestDrive = 4.0;
    // Largest drag sample (N m s^2) of a coast-down. A coasting flywheel gives
    // samples close to its drag factor: about 0.00007 to 0.0002 on rowing
    // machines, 0.0001 as the first guess; bearing friction adds a little at
    // low speed. Five times the heaviest setting; a jump of more than about
    // 6 % in one interval (four magnets) lies outside.
    static constexpr double kMaxDragSample = 0.001;
    // Shortest drive and shortest recovery (s) a rower can row. On its own the
    // computation ends a drive after 2 M + 1 pulses and starts the next one
    // 4 M pulses into the recovery, and it takes intervals down to 4 ms: with
    // four magnets a "stroke" of 0.036 s drive and 0.064 s recovery would pass.
    // Line noise that decodes as pulses, and the first pulses after a stall,
    // give such strokes (drives of 0.06 to 0.1 s were seen). The fastest
    // sprint drives of real rowers last about 0.5 s and their recoveries as
    // long; half of that is the bound. A drive that ends sooner, or that
    // follows a recovery shorter than that, is no stroke: it is not
    // reported, its work and distance are not counted, and it is counted in
    // DroppedStrokes() and traced. (The first stroke of a session has no
    // recovery before it; only its drive is checked.)
    static constexpr double kShortestDrive = 0.25;
    static constexpr double kShortestRecovery = 0.25;

    TStrokeComputer();

    TStrokeSettings Settings;
    bool DoCalculate = true;

    std::function<int64_t()> Clock;
    std::function<bool()> IsOpen;

    std::function<void()> OnStartingStroke;
    std::function<void(int puls, double length, double force, double deltaTime)> OnForceData;
    std::function<void(const TStgStrokeData& data)> OnStrokeData;
    std::function<void()> OnStartingRecover;

    // Computes the constants from Settings (Magnets is limited to 1..64).
    void Prepare();
    // Clears the computation (stroke count, work, distance, drag factor 0.0001,
    // pulse history, validity ring with Magnets entries). The started flag stays.
    void Reset();
    // One pulse: interval in s, heart rate as decoded, interpolated = the pulse
    // is one of several that a long interval was split into.
    void Compute(double interval, int heartRaw, bool interpolated);
    // Close: clears the phase and the validity ring.
    void ClearPhase();

    // Validity ring: one flag per magnet, newest first; a pulse is valid when
    // its interval is below kLongestInterval.
    void PushValidity(bool valid);
    bool AllValid() const;
    void ClearValidity();

    // Read-outs.
    const TStrokeConstants& Constants() const { return K; }
    const TStgStrokeData& StrokeData() const { return Stroke; }
    double HeartCorrected() const { return Heart; }
    int Phase() const { return PhaseValue; }      // 0 none, 1 drive, 2 recovery
    bool Started() const { return StartedFlag; }  // flywheel turning
    bool Busy() const { return BusyFlag; }
    int StrokeCount() const { return Strokes; }
    int64_t PulseNumber() const { return N; }
    double PulseInterval() const { return P(N).dt; }  // dt of the last pulse after the corrections
    uint32_t CallCounter() const { return Calls; }
    double DragFactor() const { return K_drag; }         // k, N m s^2
    int CoastingDrives() const { return Coasts; }        // drives ended as coasting since Reset
    int RejectedRecoveries() const { return Rejected; }  // recoveries whose drag estimate was not taken
    int DroppedStrokes() const { return Dropped; }       // drive ends too soon for a rower since Reset
    double TotalWork() const { return WorkSum; }         // J
    double Distance() const { return DistanceSum; }      // m

private:
    struct TPulse {
        double dt, smooth, t, accel;
        int32_t number;
        double dragSample, invSq, kinetic, drag, force, heart;
    };
    // The pulse ring: kPulseRing slots, each zero until used. Its storage
    // grows from both ends (pulse numbers count up from slot 0; looking back
    // from the first pulses reaches the last slots) as far as slots are used,
    // so a short run (a test, a fuzz input, a few strokes) touches little
    // memory; a long one ends with all slots in Low.
    class TRing {
    public:
        TPulse& At(size_t slot)
        {
            if (slot < Low.size()) return Low[slot];
            const size_t fromTop = kPulseRing - 1 - slot;
            if (fromTop < High.size()) return High[fromTop];
            return Grow(slot);
        }
        const TPulse& At(size_t slot) const
        {
            if (slot < Low.size()) return Low[slot];
            const size_t fromTop = kPulseRing - 1 - slot;
            return fromTop < High.size() ? High[fromTop] : Zero();
        }
        void Clear();

    private:
        TPulse& Grow(size_t slot);
        static const TPulse& Zero();
        std::vector<TPulse> Low;   // slots 0, 1, 2, ...
        std::vector<TPulse> High;  // slots kPulseRing - 1, kPulseRing - 2, ...
    };
    TPulse& P(int64_t n) { return Ring.At(size_t(n) & (kPulseRing - 1)); }
    const TPulse& P(int64_t n) const { return Ring.At(size_t(n) & (kPulseRing - 1)); }
    int64_t Now() const { return Clock ? Clock() : 0; }
    bool Open() const { return IsOpen ? IsOpen() : true; }
    void UpdateHeart(int heartRaw);
    double Smooth(double dt);
    void DrivePulse(int64_t i);
    double SampleForce(int64_t i) const;
    bool DriveEnded(int64_t n) const;
    bool EndDrive();                // false when the drive was too short to be a stroke
    bool StartDriveFromRecovery();  // false: a handler closed the interface
    void StandstillRecord();
    void SetInvSq(int64_t i, double v);

    TStrokeConstants K;
    TRing Ring;
    std::vector<double> SmoothRing;
    std::vector<uint8_t> Validity;
    std::vector<double> HeartHistory;

    TStgStrokeData Stroke{};
    int64_t N = 0;
    int PhaseValue = 0;
    bool StartedFlag = false;
    int64_t DriveStart = 0;
    int64_t RecoveryStart = 0;
    int Strokes = 0;
    double K_drag = 0.0001;
    double WorkSum = 0;
    double DistanceSum = 0;
    double LastDriveEnd = 0;
    double SinceDriveEnd = 0;
    int64_t StopTick = 0;
    int64_t LastEventTick = 0;
    bool Interpolated = false;
    bool BusyFlag = false;
    double Heart = 0;
    int Rejections = 1;
    bool HeartFirst = true;
    size_t HeartFilled = 0;
    uint32_t Calls = 0;
    int Coasts = 0;
    int Rejected = 0;
    int Dropped = 0;
    // Running values carried from the drive start (see the header comment).
    double DriveDragSum = 0;      // drag of pulses drive start - 1 .. N
    double DriveE0 = 0;           // inverse square of pulse drive start - 1
    double DriveStartT = 0;       // time stamp of pulse drive start
    double DriveStartSmooth = 0;  // smoothed interval of pulse drive start
    double FirstInvSq = 0;        // inverse square of pulse 1
};
