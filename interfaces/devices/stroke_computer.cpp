// The stroke computation: pulse intervals -> energy, force, drive and recovery, strokes.
#include "interfaces/devices/stroke_computer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "util/text.h"
#include "util/trace.h"

namespace {

constexpr double kPi = 3.1415927;  // as the energy constant has always used it

double RoundHalfEven(double v)
{
    return std::nearbyint(v);  // default rounding mode: half to even
}

}  // namespace

double BoatFactor(TTarnBoatType boat)
{
    static const double factors[kTarnBoatTypeCount] = {1.322, 1.253, 1.377, 1.435, 1.443, 1.52, 1.563, 1.625};
    return unsigned(boat) < unsigned(kTarnBoatTypeCount) ? factors[boat] : factors[0];
}

TStrokeComputer::TPulse& TStrokeComputer::TRing::Grow(size_t slot)
{
    const auto grown = [](size_t size, size_t index) {
        size = std::max<size_t>(size, 64);
        while (size <= index) size *= 2;
        return size;
    };
    const size_t fromTop = kPulseRing - 1 - slot;
    const bool low = slot < kPulseRing / 2;
    const size_t lowSize = low ? grown(Low.size(), slot) : Low.size();
    const size_t highSize = low ? High.size() : grown(High.size(), fromTop);
    if (lowSize + highSize <= kPulseRing) {
        Low.resize(lowSize);
        High.resize(highSize);
        return low ? Low[slot] : High[fromTop];
    }
    // The ends would meet: one ring of every slot.
    Low.resize(kPulseRing);
    for (size_t t = 0; t < High.size(); ++t) Low[kPulseRing - 1 - t] = High[t];
    High.clear();
    return Low[slot];
}

void TStrokeComputer::TRing::Clear()
{
    std::fill(Low.begin(), Low.end(), TPulse{});
    std::fill(High.begin(), High.end(), TPulse{});
}

const TStrokeComputer::TPulse& TStrokeComputer::TRing::Zero()
{
    static const TPulse zero{};
    return zero;
}

TStrokeComputer::TStrokeComputer()
{
    Prepare();
    Reset();
}

void TStrokeComputer::Prepare()
{
    Settings.Magnets = std::clamp(Settings.Magnets, 1, 64);
    const int m = Settings.Magnets;
    K.Mass = Settings.Weight + 17.5;
    K.MassFactor = K.Mass > 0 ? std::pow(K.Mass, 1.0 / 6.0) : 0.0;
    K.PulsesPerRadian = m / 6.283185307179586;
    K.InertiaPerPulse = Settings.Inertia * K.PulsesPerRadian;
    K.Travel = Settings.Cog * Settings.Link / m;
    K.EnergyConstant = 2.0 * Settings.Inertia * (kPi / m) * (kPi / m);
    K.CordConstant = Settings.ElastConst / 2.0;
    K.BoatFactor = BoatFactor(Settings.BoatType);
    // The drive is taken to have started 4 cm of handle travel before it was seen.
    K.LookBack = int(std::clamp(RoundHalfEven(SafeDivide(K.Travel, 0.04)), 0.0, double(kPulseRing / 4)));
}

void TStrokeComputer::Reset()
{
    const int m = Settings.Magnets;
    N = 0;
    PhaseValue = 0;
    DriveStart = 0;
    RecoveryStart = 0;
    Strokes = 0;
    Calls = 0;
    Coasts = 0;
    Rejected = 0;
    Dropped = 0;
    StopTick = 0;
    K_drag = 0.0001;
    WorkSum = 0;
    DistanceSum = 0;
    LastDriveEnd = 0;
    SinceDriveEnd = 0;
    LastEventTick = Now();
    Ring.Clear();
    P(0).invSq = 0.0001;
    Stroke = TStgStrokeData{};
    Rejections = 1;
    HeartFirst = true;
    HeartFilled = 0;
    HeartHistory.assign(50, 0.0);
    SmoothRing.assign(size_t(m), 0.0);
    Validity.assign(size_t(m), 0);
    Interpolated = false;
    DriveDragSum = 0;
    DriveE0 = 0;
    DriveStartT = 0;
    DriveStartSmooth = 0;
    FirstInvSq = 0;
}

void TStrokeComputer::ClearPhase()
{
    PhaseValue = 0;
    ClearValidity();
}

void TStrokeComputer::PushValidity(bool valid)
{
    if (Validity.empty()) return;
    std::memmove(Validity.data() + 1, Validity.data(), Validity.size() - 1);
    Validity[0] = valid ? 1 : 0;
}

bool TStrokeComputer::AllValid() const
{
    for (uint8_t v : Validity)
        if (!v) return false;
    return !Validity.empty();
}

void TStrokeComputer::ClearValidity() { std::fill(Validity.begin(), Validity.end(), 0); }

void TStrokeComputer::SetInvSq(int64_t i, double v)
{
    P(i).invSq = v;
    if (i == 1) FirstInvSq = v;
}

void TStrokeComputer::UpdateHeart(int heartRaw)
{
    if (heartRaw <= kNoHeartRate) {
        // No heart-rate signal (no chest belt, or an interface without one):
        // no pulse is made up. The filter starts afresh with the next signal.
        Heart = 0;
        HeartFirst = true;
        HeartFilled = 0;
        Rejections = 1;
        return;
    }
    if (Settings.RawHeartRate || !StartedFlag) {
        Heart = heartRaw;
        return;
    }
    if (HeartFirst) {
        HeartFirst = false;
        HeartHistory[0] = heartRaw == 0 ? 100.0 : double(heartRaw);
        HeartFilled = 1;
        Heart = HeartHistory[0];
        return;
    }
    const double tolerance = Rejections * 0.001;
    const double lo = (1 - tolerance) * Heart;
    const double hi = (1 + tolerance) * Heart;
    double sample;
    if (lo < heartRaw && heartRaw <= hi) {
        sample = heartRaw;
        Rejections = 1;
    } else {
        ++Rejections;
        sample = heartRaw > Heart ? hi : lo;
    }
    std::memmove(HeartHistory.data() + 1, HeartHistory.data(), (HeartHistory.size() - 1) * sizeof(double));
    HeartHistory[0] = sample;
    // The mean runs over the entries filled since the reset: pulses of a
    // standstill count as calls but leave no entry, and counting them would
    // pull the rate towards 0 for the first 50 pulses of every session.
    if (HeartFilled < HeartHistory.size()) ++HeartFilled;
    const size_t count = HeartFilled;
    double sum = 0;
    for (size_t i = 0; i < count; ++i) sum += HeartHistory[i];
    Heart = sum > 0 ? SafeDivide(double(count), sum) : HeartHistory[0];
}

double TStrokeComputer::Smooth(double dt)
{
    const size_t m = SmoothRing.size();
    std::memmove(SmoothRing.data() + 1, SmoothRing.data(), (m - 1) * sizeof(double));
    SmoothRing[0] = dt;
    const size_t count = size_t(std::min<int64_t>(int64_t(m), N));
    double sum = 0;
    for (size_t i = 0; i < count; ++i) sum += SmoothRing[i];
    if (!(sum > 0)) return SmoothRing[0];
    return SafeDivide(double(count), sum);
}

void TStrokeComputer::DrivePulse(int64_t i)
{
    TPulse& p = P(i);
    SetInvSq(i, SafeDivide(p.smooth * p.smooth, 1.0));
    p.kinetic = (p.invSq - P(i - 1).invSq) * K.EnergyConstant;
    const double ppr3 = K.PulsesPerRadian * K.PulsesPerRadian * K.PulsesPerRadian;
    p.drag = SafeDivide(ppr3, K_drag * p.invSq);
    p.force = SafeDivide(K.Travel, p.kinetic + p.drag);
}

double TStrokeComputer::SampleForce(int64_t i) const
{
    return Interpolated ? (P(i - 1).force + P(i).force) / 2.0 : P(i).force;
}

bool TStrokeComputer::DriveEnded(int64_t n) const
{
    const int m = Settings.Magnets;
    if (!(n > DriveStart + 2 * m)) return false;
    if (!(P(n - m + 1).dt < P(n).dt)) return false;
    const double threshold = Settings.ThresHold;
    bool allLow = true;
    for (int64_t i = n - m + 1; i <= n; ++i) {
        const double f = P(i).force;
        if (f > threshold) allLow = false;
        if (f < 2 * threshold && f > P(i - 1).force) return true;
    }
    return allLow;
}

void TStrokeComputer::StandstillRecord()
{
    const int64_t now = Now();
    if (!(N > 0 && now - LastEventTick > 2000)) return;
    Stroke = TStgStrokeData{};
    Stroke.StrokeNumber = uint16_t(std::min(Strokes, 65535));
    const double time = (now - StopTick) / 1000.0 + LastDriveEnd + SinceDriveEnd;
    Stroke.Time = float(time);
    Stroke.AveragePower = SafeDivide(time, WorkSum);
    Stroke.Distance = float(DistanceSum);
    Stroke.EnergySum = float(WorkSum / 1000.0);
    Stroke.Pulse = float(Heart);
    if (OnStrokeData) OnStrokeData(Stroke);
    LastEventTick = Now();
}

bool TStrokeComputer::EndDrive()
{
    const TPulse& last = P(N - 1);
    const double driveTime = last.t - DriveStartT;
    const double recoveryTime = DriveStartT - LastDriveEnd;
    if (driveTime < kShortestDrive || (Strokes > 0 && recoveryTime < kShortestRecovery)) {
        // Too short for a rower (see kShortestDrive): no stroke. The last
        // drive end stays that of the last stroke, so the next stroke's
        // time, rate and power span the whole time since then.
        ++Dropped;
        Trace(Format("Stroke computation : drive of %.3f s after a recovery of %.3f s is no stroke; %d dropped",
                     driveTime, recoveryTime, Dropped));
        return false;
    }
    ++Strokes;
    const double e0 = Strokes == 1 ? FirstInvSq : DriveE0;
    const double kinetic = (last.invSq - e0) * K.EnergyConstant;
    const double drag = DriveDragSum;
    const double length = P(N).number * 100.0 * K.Travel;
    const double cord = ((length / 100.0) * K.CordConstant + Settings.Tension) * (length / 100.0);
    double work = kinetic + drag + cord;
    if (work < 0) work = 0;
    WorkSum += work;

    LastDriveEnd = last.t;
    double strokeTime = driveTime + recoveryTime;
    if (strokeTime <= 0) strokeTime = 1.0;

    const double power = std::clamp(RoundHalfEven(SafeDivide(strokeTime, work)), 0.0, 65535.0);
    const double speed = SafeDivide(K.MassFactor, K.BoatFactor) * std::cbrt(power);

    Stroke = TStgStrokeData{};
    Stroke.StrokeNumber = uint16_t(std::min(Strokes, 65535));
    if (Strokes == 1) {
        Stroke.Power = 0;
        Stroke.AveragePower = 0;
        Stroke.StrokeRate = 0;
        DistanceSum = std::sqrt(std::max(0.0, double(SafeDivide(K.Mass, 2.0 * work)))) * last.t / 2.0;
    } else {
        Stroke.Power = float(power);
        Stroke.AveragePower = SafeDivide(last.t, WorkSum);
        Stroke.StrokeRate = SafeDivide(strokeTime, 60.0);
        DistanceSum += strokeTime * speed;
    }
    Stroke.Target = 0;
    Stroke.Time = float(last.t);
    Stroke.StrokeLength = float(length);
    Stroke.DriveTime = float(driveTime);
    Stroke.RecoverRatio = SafeDivide(driveTime, recoveryTime);
    Stroke.Distance = float(DistanceSum);
    Stroke.DistancePerStroke = float(strokeTime * speed * 100.0);
    Stroke.Time500 = SafeDivide(speed, 500.0);
    Stroke.Energy = float(work);
    Stroke.EnergySum = float(WorkSum / 1000.0);
    const double heart = P(N).heart;
    Stroke.Pulse = float(RoundHalfEven(heart));
    Stroke.WorkPerPulse = SafeDivide(heart, Stroke.Power);
    Stroke.KValue = float(K_drag * 10000.0);
    if (OnStrokeData) OnStrokeData(Stroke);
    return true;
}

bool TStrokeComputer::StartDriveFromRecovery()
{
    const int m = Settings.Magnets;
    Stroke.PeakForce = 0;
    int64_t j = N - K.LookBack - 1;
    if (j < 0) j = 0;
    P(j).number = 0;
    SetInvSq(j, SafeDivide(P(j).smooth * P(j).smooth, 1.0));

    // Drag factor: mean drag sample of the recovery without its first M pulses
    // (only the most recent pulses of the history are used in a very long one).
    int64_t from = RecoveryStart + m;
    from = std::max(from, j - int64_t(kPulseRing) + 2 * int64_t(K.LookBack) + 16);
    // A recovery that was not a plain coast-down (a jump in the intervals, a
    // flywheel that sped up on the whole) tells nothing about the drag: keep
    // the last value. (A recovery without any drag sample gives 0 as before.)
    double sum = 0;
    bool coasting = true;
    for (int64_t i = from; i <= j; ++i) {
        const double sample = P(i).dragSample;
        sum += sample;
        if (!(std::fabs(sample) <= kMaxDragSample)) coasting = false;
    }
    const int64_t count = j - from + 1;
    const double estimate = count > 0 ? double(SafeDivide(double(count), sum)) : sum;
    if (coasting && estimate >= 0) K_drag = estimate;
    else ++Rejected;

    PhaseValue = 1;
    DriveStart = j + 1;
    DriveE0 = P(j).invSq;
    DriveDragSum = P(j).drag;
    DriveStartT = P(DriveStart).t;
    DriveStartSmooth = P(DriveStart).smooth;
    if (OnStartingStroke) OnStartingStroke();
    if (!Open()) return false;

    for (int64_t i = DriveStart; i <= N; ++i) {
        TPulse& p = P(i);
        p.number = P(i - 1).number + 1;
        p.dragSample = 0;
        DrivePulse(i);
        DriveDragSum += p.drag;
        const int puls = int(i - DriveStart + 1);
        if (OnForceData)
            OnForceData(puls, puls * K.Travel * 100.0, 0.6 * SampleForce(i), std::fabs(p.smooth - DriveStartSmooth));
        if (!Open()) return false;
    }
    return true;
}

void TStrokeComputer::Compute(double interval, int heartRaw, bool interpolated)
{
    if (!Open() || !DoCalculate) {
        BusyFlag = false;
        return;
    }
    BusyFlag = true;
    ++Calls;
    UpdateHeart(heartRaw);
    Interpolated = Interpolated || interpolated;
    const int m = Settings.Magnets;

    // Standstill: one of the last M pulses was too long to measure.
    if (!AllValid()) {
        if (StartedFlag && N > 0) StopTick = Now();
        StartedFlag = false;
        PhaseValue = 0;
        StandstillRecord();
        BusyFlag = false;
        return;
    }

    // Turning.
    SinceDriveEnd += interval;
    ++N;
    TPulse& p = P(N);
    std::memset(static_cast<void*>(&p), 0, sizeof(TPulse));
    const TPulse& prev = P(N - 1);

    bool startedNow = false;
    if (!StartedFlag) {
        StartedFlag = true;
        PhaseValue = 1;
        DriveStart = N;
        startedNow = true;
        if (N > 1) P(N - 1).t = (Now() - StopTick) / 1000.0 + LastDriveEnd + SinceDriveEnd;
        DriveE0 = prev.invSq;
        DriveDragSum = prev.drag;
        if (OnStartingStroke) OnStartingStroke();
        if (!Open()) {
            BusyFlag = false;
            return;
        }
    }

    // Plausibility of the interval.
    double dt = interval;
    if (dt < 0.004) dt = 1.001 * prev.dt;
    if (std::fabs(dt - prev.dt) > 0.1) dt = prev.dt;

    p.dt = dt;
    p.smooth = Smooth(dt);
    p.t = prev.t + dt;
    p.accel = 1.0 - SafeDivide(p.smooth, prev.smooth);
    p.heart = Heart;
    if (startedNow) {
        DriveStartT = p.t;
        DriveStartSmooth = p.smooth;
    }

    // Coasting at start: the flywheel was already slowing down.
    if (N == 2 * int64_t(m) && PhaseValue == 1) {
        bool slowing = true;
        for (int64_t i = N - m + 1; i <= N; ++i)
            if (!(P(i).smooth >= P(i - 1).smooth)) slowing = false;
        if (slowing) {
            RecoveryStart = N;
            PhaseValue = 2;
            Interpolated = false;
        }
    }

    if (PhaseValue == 1) {
        p.number = prev.number + 1;
        p.dragSample = 0;
        DrivePulse(N);
        DriveDragSum += p.drag;

        const bool ended = DriveEnded(N);
        const double force = ended ? 0.0 : SampleForce(N);
        const int puls = int(N - DriveStart + 1);
        if (OnForceData)
            OnForceData(puls, puls * K.Travel * 100.0, 0.6 * force, std::fabs(p.smooth - DriveStartSmooth));
        if (!Open()) {
            BusyFlag = false;
            return;
        }

        if (ended || Settings.StrokeTrigger >= p.force) {
            const bool stroke = EndDrive();
            if (!Open()) {
                BusyFlag = false;
                return;
            }
            if (stroke) {
                LastEventTick = Now();
                SinceDriveEnd = 0;
            }
            RecoveryStart = N;
            PhaseValue = 2;
            Interpolated = false;
            if (OnStartingRecover) OnStartingRecover();
        } else if (p.number * K.Travel > kLongestDrive && P(N - m + 1).dt < p.dt) {
            // Longer than any stroke and slowing down: the flywheel is coasting
            // and the drag factor in use is too high for the force ever to fall
            // to the threshold (after a reset while rowing, or on a machine
            // with less drag than the first guess). No stroke: a recovery
            // starts here, and its drag samples give the next drive a drag
            // factor that lets its end be found.
            LastDriveEnd = prev.t;
            SinceDriveEnd = 0;
            RecoveryStart = N;
            PhaseValue = 2;
            Interpolated = false;
            ++Coasts;
            if (OnStartingRecover) OnStartingRecover();
        }
    }

    if (PhaseValue == 2 && N >= m && Open()) {
        if (prev.accel < 0 && p.accel < 0) {
            if (RecoveryStart + 4 * int64_t(m) <= N) StartDriveFromRecovery();
        } else {
            p.dragSample = K.InertiaPerPulse * p.accel;
        }
    }
    BusyFlag = false;
}
