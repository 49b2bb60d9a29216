#include "interfaces/devices/ftms.h"

#include <algorithm>
#include <cmath>

#include "core/values.h"
#include "interfaces/devices/heart_rate.h"
#include "util/text.h"

namespace {

// Field sizes in flag order (bit 0 stands for stroke rate and count together).
constexpr size_t kFieldSize[13] = {3, 1, 3, 2, 2, 2, 2, 2, 5, 1, 1, 2, 2};

class TReader {
public:
    TReader(const uint8_t* d, size_t n) : D(d), N(n) {}
    bool Has(size_t bytes) const { return At + bytes <= N; }
    uint8_t U8() { return D[At++]; }
    uint16_t U16()
    {
        const uint16_t v = uint16_t(D[At] | D[At + 1] << 8);
        At += 2;
        return v;
    }
    uint32_t U24()
    {
        const uint32_t v = uint32_t(D[At]) | uint32_t(D[At + 1]) << 8 | uint32_t(D[At + 2]) << 16;
        At += 3;
        return v;
    }
    size_t At = 0;

private:
    const uint8_t* D;
    size_t N;
};

void Put16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

// Which optional fields (bits 1..12) a record has.
uint16_t FieldBits(const TRowerData& r)
{
    uint16_t b = 0;
    const bool has[13] = {false,      r.HasAverageStrokeRate, r.HasDistance,   r.HasPace,   r.HasAveragePace,
                          r.HasPower, r.HasAveragePower,      r.HasResistance, r.HasEnergy, r.HasHeartRate,
                          r.HasMet,   r.HasElapsed,           r.HasRemaining};
    for (int i = 1; i < 13; ++i)
        if (has[i]) b = uint16_t(b | 1u << i);
    return b;
}

// Appends field i (1..12) of r.
void PutField(std::vector<uint8_t>& out, const TRowerData& r, int i)
{
    switch (i) {
    case 1: out.push_back(r.AverageStrokeRate2); break;
    case 2:
        out.push_back(uint8_t(r.Distance));
        out.push_back(uint8_t(r.Distance >> 8));
        out.push_back(uint8_t(r.Distance >> 16));
        break;
    case 3: Put16(out, r.Pace); break;
    case 4: Put16(out, r.AveragePace); break;
    case 5: Put16(out, uint16_t(r.Power)); break;
    case 6: Put16(out, uint16_t(r.AveragePower)); break;
    case 7: Put16(out, uint16_t(r.Resistance)); break;
    case 8:
        Put16(out, r.TotalEnergy);
        Put16(out, r.EnergyPerHour);
        out.push_back(r.EnergyPerMinute);
        break;
    case 9: out.push_back(r.HeartRate); break;
    case 10: out.push_back(r.Met); break;
    case 11: Put16(out, r.Elapsed); break;
    case 12: Put16(out, r.Remaining); break;
    default: break;
    }
}

// One notification with the stroke fields (when strokes) and the optional fields of bits.
std::vector<uint8_t> Encode(const TRowerData& r, bool strokes, uint16_t bits)
{
    std::vector<uint8_t> out;
    Put16(out, uint16_t(bits | (strokes ? 0 : 1)));
    if (strokes) {
        out.push_back(r.StrokeRate2);
        Put16(out, r.StrokeCount);
    }
    for (int i = 1; i < 13; ++i)
        if (bits & (1u << i)) PutField(out, r, i);
    return out;
}

// Copies the fields a part has into the record being put together.
void Merge(TRowerData& into, const TRowerData& p)
{
    if (p.HasStrokes) {
        into.HasStrokes = true;
        into.StrokeRate2 = p.StrokeRate2;
        into.StrokeCount = p.StrokeCount;
    }
    if (p.HasAverageStrokeRate) into.HasAverageStrokeRate = true, into.AverageStrokeRate2 = p.AverageStrokeRate2;
    if (p.HasDistance) into.HasDistance = true, into.Distance = p.Distance;
    if (p.HasPace) into.HasPace = true, into.Pace = p.Pace;
    if (p.HasAveragePace) into.HasAveragePace = true, into.AveragePace = p.AveragePace;
    if (p.HasPower) into.HasPower = true, into.Power = p.Power;
    if (p.HasAveragePower) into.HasAveragePower = true, into.AveragePower = p.AveragePower;
    if (p.HasResistance) into.HasResistance = true, into.Resistance = p.Resistance;
    if (p.HasEnergy) {
        into.HasEnergy = true;
        into.TotalEnergy = p.TotalEnergy;
        into.EnergyPerHour = p.EnergyPerHour;
        into.EnergyPerMinute = p.EnergyPerMinute;
    }
    if (p.HasHeartRate) into.HasHeartRate = true, into.HeartRate = p.HeartRate;
    if (p.HasMet) into.HasMet = true, into.Met = p.Met;
    if (p.HasElapsed) into.HasElapsed = true, into.Elapsed = p.Elapsed;
    if (p.HasRemaining) into.HasRemaining = true, into.Remaining = p.Remaining;
    into.MoreData = p.MoreData;
}

}  // namespace

bool DecodeRowerData(const uint8_t* data, size_t size, TRowerData& out, std::string& error)
{
    out = TRowerData();
    if (size < 2) {
        error = "rower data shorter than its flags";
        return false;
    }
    const uint16_t flags = uint16_t(data[0] | data[1] << 8);
    if (flags & 0xE000) {
        error = Format("rower data with unknown fields (flags 0x%04X)", flags);
        return false;
    }
    TReader r(data + 2, size - 2);
    size_t needed = 0;
    out.MoreData = flags & 1;
    if (!out.MoreData) needed += kFieldSize[0];
    for (int i = 1; i < 13; ++i)
        if (flags & (1u << i)) needed += kFieldSize[i];
    if (!r.Has(needed)) {
        error = "rower data shorter than its flags announce";
        return false;
    }
    if (!out.MoreData) {
        out.HasStrokes = true;
        out.StrokeRate2 = r.U8();
        out.StrokeCount = r.U16();
    }
    if (flags & (1u << 1)) out.HasAverageStrokeRate = true, out.AverageStrokeRate2 = r.U8();
    if (flags & (1u << 2)) out.HasDistance = true, out.Distance = r.U24();
    if (flags & (1u << 3)) out.HasPace = true, out.Pace = r.U16();
    if (flags & (1u << 4)) out.HasAveragePace = true, out.AveragePace = r.U16();
    if (flags & (1u << 5)) out.HasPower = true, out.Power = int16_t(r.U16());
    if (flags & (1u << 6)) out.HasAveragePower = true, out.AveragePower = int16_t(r.U16());
    if (flags & (1u << 7)) out.HasResistance = true, out.Resistance = int16_t(r.U16());
    if (flags & (1u << 8)) {
        out.HasEnergy = true;
        out.TotalEnergy = r.U16();
        out.EnergyPerHour = r.U16();
        out.EnergyPerMinute = r.U8();
    }
    if (flags & (1u << 9)) out.HasHeartRate = true, out.HeartRate = r.U8();
    if (flags & (1u << 10)) out.HasMet = true, out.Met = r.U8();
    if (flags & (1u << 11)) out.HasElapsed = true, out.Elapsed = r.U16();
    if (flags & (1u << 12)) out.HasRemaining = true, out.Remaining = r.U16();
    error.clear();
    return true;
}

std::vector<uint8_t> EncodeRowerData(const TRowerData& r) { return Encode(r, r.HasStrokes, FieldBits(r)); }

std::vector<std::vector<uint8_t>> SplitRowerData(const TRowerData& r, size_t maxPayload)
{
    std::vector<std::vector<uint8_t>> parts;
    const uint16_t all = FieldBits(r);
    // The last part: flags, the stroke fields, and whatever optional fields
    // still fit after the ones sent ahead.
    const size_t lastBase = 2 + (r.HasStrokes ? kFieldSize[0] : 0);
    uint16_t ahead = 0, last = 0;
    size_t lastSize = lastBase;
    // Fill the last part from the end of the field list; the rest goes ahead.
    for (int i = 12; i >= 1; --i) {
        if (!(all & (1u << i))) continue;
        if (lastSize + kFieldSize[i] <= maxPayload && ahead == 0) {
            last = uint16_t(last | 1u << i);
            lastSize += kFieldSize[i];
        } else {
            ahead = uint16_t(ahead | 1u << i);
        }
    }
    // Parts ahead, in field order, each as full as it can be.
    uint16_t bits = 0;
    size_t size = 2;
    for (int i = 1; i < 13; ++i) {
        if (!(ahead & (1u << i))) continue;
        if (size + kFieldSize[i] > maxPayload && bits != 0) {
            parts.push_back(Encode(r, false, bits));
            bits = 0;
            size = 2;
        }
        bits = uint16_t(bits | 1u << i);
        size += kFieldSize[i];
    }
    if (bits != 0) parts.push_back(Encode(r, false, bits));
    parts.push_back(Encode(r, r.HasStrokes, last));
    return parts;
}

bool TRowerDataAssembler::Add(const TRowerData& part)
{
    Merge(FPending, part);
    ++FParts;
    if (!part.MoreData) {
        FRecord = FPending;
        FPending = TRowerData();
        FParts = 0;
        return true;
    }
    if (FParts >= kMaxParts) {
        FPending = TRowerData();
        FParts = 0;
        ++FDropped;
    }
    return false;
}

void TRowerDataAssembler::Reset()
{
    FPending = TRowerData();
    FRecord = TRowerData();
    FParts = 0;
}

void TFtmsStrokeMaker::SetRecording(bool recording) { FRecording = recording; }

bool TFtmsStrokeMaker::Add(const TRowerData& r, double seconds)
{
    const double machineDistance = r.HasDistance ? double(r.Distance) : FMachineDistance;
    FPaused = r.HasPace ? !TRowerData::PaceIsSpeed(r.Pace) : !(r.HasPower && r.Power > 0);
    FHeart = r.HasHeartRate && PlausibleHeartRate(r.HeartRate) ? r.HeartRate : 0;
    if (!r.HasStrokes) return false;

    if (!FStarted) {
        FStarted = true;
        FCount = r.StrokeCount;
        FMachineDistance = machineDistance;
        FMachineTime = r.Elapsed;
        FArrival = seconds;
        return false;
    }
    const double dArrival = std::max(0.0, seconds - FArrival);
    const double dElapsed = r.HasElapsed ? r.Elapsed - FMachineTime : dArrival;
    const double dDistance = machineDistance - FMachineDistance;
    // A machine that starts a new workout counts from 0 again: the session
    // goes on from where it was.
    if (r.StrokeCount < FCount || dDistance < 0 || dElapsed < 0) {
        ++FRestarts;
        FCount = r.StrokeCount;
        FMachineDistance = machineDistance;
        FMachineTime = r.Elapsed;
        FArrival = seconds;
        return false;
    }
    FMachineDistance = machineDistance;
    FMachineTime = r.Elapsed;
    FArrival = seconds;
    if (!FRecording) {
        FCount = r.StrokeCount;
        return false;
    }
    // The machine's clock counts whole seconds; the arrival times are finer.
    // The session runs on the arrival times, kept within a second of the
    // machine's clock (which stops when the machine pauses).
    FElapsed += dElapsed;
    FTime = std::clamp(FTime + dArrival, FElapsed - 1.0, FElapsed + 1.0);
    FDistance += dDistance;
    const int strokes = int(r.StrokeCount) - int(FCount);
    FCount = r.StrokeCount;
    if (strokes <= 0) return false;

    const double rate = r.HasStrokes ? r.StrokeRate() : 0;
    double power = r.HasPower ? r.Power : r.HasAveragePower ? r.AveragePower : 0;
    if (!(power > 0)) power = 0;
    const double strokeTime = rate > 0 ? 60.0 / rate : 0;
    const double energy = power * strokeTime * strokes;
    FEnergy += energy;

    TStgStrokeData& s = FStroke;
    s = TStgStrokeData{};
    FStrokes += 1;
    s.StrokeNumber = uint16_t(std::min(FStrokes, 65535));
    s.Power = ToSingle(power);
    s.StrokeRate = ToSingle(rate);
    s.Time = ToSingle(FTime);
    s.Distance = ToSingle(FDistance);
    s.DistancePerStroke = ToSingle((FDistance - FStrokeDistance) / strokes * 100.0);
    FStrokeDistance = FDistance;
    if (r.HasPace && TRowerData::PaceIsSpeed(r.Pace)) s.Time500 = r.Pace;
    else if (power > 0) s.Time500 = ToSingle(500.0 * std::cbrt(2.8 / power));
    s.Energy = ToSingle(energy / strokes);
    s.EnergySum = ToSingle(FEnergy / 1000.0);
    s.AveragePower = SafeDivide(FTime, FEnergy);
    s.Pulse = float(FHeart);
    s.WorkPerPulse = SafeDivide(FHeart, power);
    return true;
}
