#include "interfaces/devices/ot_frames.h"

#include <algorithm>
#include <cstring>

#include "util/text.h"

namespace {

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void Put16(std::vector<uint8_t>& v, size_t at, uint16_t x)
{
    v[at] = uint8_t(x);
    v[at + 1] = uint8_t(x >> 8);
}
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x)
{
    for (int i = 0; i < 4; ++i) v[at + size_t(i)] = uint8_t(x >> (8 * i));
}
float Ratio(double a, double b) { return b == 0 ? 0.0f : float(a / b); }

std::string ExpectedList(uint32_t mask)
{
    std::string out;
    for (int k = 0; k < 32; ++k) {
        if (!(mask & (1u << k))) continue;
        if (!out.empty()) out += " or ";
        out += Format("%d ($%x)", 128 + k, 128 + k);
    }
    return out.empty() ? std::string("nothing") : out;
}

}  // namespace

int OTFrameSize(uint8_t type)
{
    switch (type) {
    case OTM_ALIVE: return 71;
    case OTM_STARTWORKOUT: return 9;
    case OTM_STROKEFINISHED: return 87;
    case OTM_WORKOUTFINISHED: return 17;
    case OTM_WORKOUTCANCELED: return 1;
    default: return 0;
    }
}

const char* OTFrameName(uint8_t type)
{
    switch (type) {
    case OTM_ALIVE: return "OTM_ALIVE";
    case OTM_STARTWORKOUT: return "OTM_STARTWORKOUT";
    case OTM_STROKEFINISHED: return "OTM_STROKEFINISHED";
    case OTM_WORKOUTFINISHED: return "OTM_WORKOUTFINISHED";
    case OTM_WORKOUTCANCELED: return "OTM_WORKOUTCANCELED";
    default: return "";
    }
}

uint8_t OTReceivedCRC(const uint8_t* frame)
{
    const int size = frame[2];
    uint8_t crc = 0;
    for (int i = 2; i <= 2 + size; ++i) crc ^= frame[i];
    return crc;
}

std::vector<uint8_t> OTCommandFrame(uint8_t type)
{
    // iSize 1: the check byte is the XOR of iType alone.
    return {0xFF, 0xFF, 1, type, type, 0xFE, 0xFE};
}

std::vector<uint8_t> OTDeviceFrame(uint8_t type, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> f;
    f.reserve(payload.size() + 7);
    f.push_back(0xFF);
    f.push_back(0xFF);
    f.push_back(uint8_t(payload.size() + 1));
    f.push_back(type);
    f.insert(f.end(), payload.begin(), payload.end());
    f.push_back(OTReceivedCRC(f.data()));
    f.push_back(0xFE);
    f.push_back(0xFE);
    return f;
}

// ---- frame search ---------------------------------------------------------------

void TOTFrameSearch::Append(const uint8_t* data, size_t size) { Buf.insert(Buf.end(), data, data + size); }

void TOTFrameSearch::Clear()
{
    Buf.clear();
    Kind = otfNone;
    Frame.clear();
}

bool TOTFrameSearch::ValidMember(const char* frame, const char* member, long received, long expected)
{
    if (received == expected) return true;
    if (Trace)
        Trace(Format("ValidFrameMember : Invalid value for %s.%s; received %ld ($%lx), expected %ld ($%lx)", frame,
                     member, received, received, expected, expected));
    return false;
}

bool TOTFrameSearch::CheckForFrame()
{
    Kind = otfNone;
    if (Buf.size() < 7) return false;
    // A header: two 0xFF bytes at a position up to length - 6.
    size_t at = Buf.size();
    for (size_t i = 0; i + 6 <= Buf.size() && i + 1 < Buf.size(); ++i) {
        if (Buf[i] == 0xFF && Buf[i + 1] == 0xFF) {
            at = i;
            break;
        }
    }
    if (at == Buf.size()) {
        // No header: keep only what could still hold the start of one.
        const size_t drop = Buf.size() - 6;
        Buf.erase(Buf.begin(), Buf.begin() + std::ptrdiff_t(drop));
        Dropped += drop;
        return true;
    }
    if (at > 0) {
        Buf.erase(Buf.begin(), Buf.begin() + std::ptrdiff_t(at));
        Dropped += at;
    }
    const uint8_t size = Buf[2];
    const uint8_t type = Buf[3];
    const int expectedSize = OTFrameSize(type);
    if (expectedSize == 0 || size != expectedSize) {
        // A type or size that no frame has: the size cannot be trusted, so only
        // the first header byte is dropped and the search goes on behind it.
        const char* name = OTFrameName(type);
        if (expectedSize == 0) ValidMember("oFrameOTM", "iType", type, long(Expected ? 128 : 0));
        else ValidMember((std::string("oFrame") + name).c_str(), "iSize", size, expectedSize);
        if (Trace)
            Trace(Format(
                "CheckForFrame : No valid frame; received %d ($%x), expected %s. Clearing first %d bytes from buffer",
                type, type, ExpectedList(Expected).c_str(), 1));
        Buf.erase(Buf.begin());
        ++Rejected;
        return true;
    }
    const size_t length = size_t(size) + 6;
    if (Buf.size() < length) return false;  // wait for the rest of the frame

    const std::string frameName = std::string("oFrame") + OTFrameName(type);
    bool valid = true;
    if (type == OTM_ALIVE) valid &= ValidMember(frameName.c_str(), "iHeader", U16(&Buf[0]), 0xFFFF);
    valid &= ValidMember(frameName.c_str(), "iType", type, type);
    valid &= ValidMember(frameName.c_str(), "iSize", size, expectedSize);
    valid &= ValidMember(frameName.c_str(), "iCRC", Buf[3 + size], OTReceivedCRC(Buf.data()));
    valid &= ValidMember(frameName.c_str(), "iFooter", U16(&Buf[4 + size]), 0xFEFE);
    const bool expected = (Expected & OTMask(TOTFrameType(type))) != 0;
    if (valid && expected) {
        Kind = TOTFrameKind(type - 128);
        Frame.assign(Buf.begin(), Buf.begin() + std::ptrdiff_t(length));
        ++Accepted;
        if (Trace) Trace(Format("CheckForFrame : FrameReceived %d ($%x)", type, type));
    } else {
        ++Rejected;
        if (Trace)
            Trace(Format(
                "CheckForFrame : No valid frame; received %d ($%x), expected %s. Clearing first %d bytes from buffer",
                type, type, ExpectedList(Expected).c_str(), int(length)));
    }
    Buf.erase(Buf.begin(), Buf.begin() + std::ptrdiff_t(length));
    return true;
}

// ---- payloads ---------------------------------------------------------------------

void FillOTIni(const uint8_t* f, TStgIni& ini)
{
    std::memset(&ini, 0, sizeof ini);
    const int limitType = f[4];
    const int limit = U16(f + 5);
    const int by = f[7];
    const int work = U16(f + 8);
    const int rest = U16(f + 10);
    ini.LimitType = limitType;
    switch (limitType) {
    case 0: ini.LimitStrokes = limit; break;
    case 1: ini.LimitEnergy = limit; break;
    case 2: ini.LimitDistance = limit; break;
    case 3: ini.LimitTime = limit; break;
    case 4: ini.LimitIntervals = limit; break;
    default: break;
    }
    ini.IntervalBy = by;
    ini.WorkPeriod = work;
    ini.RestPeriod = rest;
    switch (by) {
    case 0:
        ini.WorkStrokes = work;
        ini.RestStrokes = rest;
        break;
    case 1:
        ini.WorkEnergy = work;
        ini.RestEnergy = rest;
        break;
    case 2:
        ini.WorkDistance = work;
        ini.RestDistance = rest;
        break;
    case 3:
        ini.WorkTime = work;
        ini.RestTime = rest;
        break;
    default: break;
    }
    ini.Weight = 85;
    ini.Ergometer = 2;
}

void FillOTStroke(const uint8_t* f, float& energy, TStgStrokeData& s, TStgForceCurve& c)
{
    std::memset(&s, 0, sizeof s);
    std::memset(&c, 0, sizeof c);
    s.StrokeNumber = U16(f + 4);
    s.Power = U16(f + 6) / 10.0f;
    s.StrokeRate = U16(f + 8);
    s.Time = U16(f + 10) / 10.0f;
    s.StrokeLength = U16(f + 12);
    s.Distance = U16(f + 14);
    s.Time500 = Ratio(s.Time, s.Distance) * 500.0f;
    s.Energy = U16(f + 16);
    energy += s.Energy;
    s.EnergySum = energy / 1000.0f;
    s.AveragePower = Ratio(energy, s.Time);
    s.Pulse = U16(f + 18);
    const uint16_t a = U16(f + 20), b = U16(f + 22);
    s.RecoverRatio = Ratio(a, b);
    s.DriveTime = a / 100.0f;
    s.KValue = U16(f + 24);
    s.IntervalNumber = U16(f + 26);
    s.DistancePerStroke = U16(f + 28);
    c.StrokeNumber = int16_t(s.StrokeNumber);
    c.HasData = 1;
    for (int i = 0; i < 60; ++i) c.Samples[i] = uint16_t(f[30 + i] * 10);
}

void FillOTWorkout(const uint8_t* f, TStgWorkout& w)
{
    std::memset(&w, 0, sizeof w);
    const uint32_t energy = U32(f + 8), distance = U32(f + 12), time = U32(f + 16);
    w.Distance = float(distance / 10.0);
    w.Time = float(time / 10.0 / 86400.0);
    w.Energy = float(energy / 1000.0);
    w.AveragePower = Ratio(w.Energy, time / 10.0);
}

void SmoothOTCurve(TStgForceCurve& c, int smoothing)
{
    uint16_t s[kCurveSamples];
    std::memcpy(s, c.Samples, sizeof s);
    if (smoothing == 1) {
        for (int i = 0; i <= 78; ++i) c.Samples[i] = uint16_t((s[i] + s[i + 1]) / 2);
    } else if (smoothing == 2) {
        for (int i = 1; i <= 78; ++i) c.Samples[i] = uint16_t((s[i - 1] + s[i] + s[i + 1]) / 3);
    }
}

std::vector<uint8_t> OTStrokePayload(const TOTStrokeValues& v)
{
    std::vector<uint8_t> p(86, 0);
    const uint16_t words[] = {v.StrokeNumber, v.PowerX10, v.StrokeRate,       v.TimeX10, v.StrokeLength,
                              v.Distance,     v.Energy,   v.HeartRate,        v.A,       v.B,
                              v.Drag,         v.Interval, v.DistancePerStroke};
    for (size_t i = 0; i < 13; ++i) Put16(p, 2 * i, words[i]);
    std::memcpy(&p[26], v.Curve, 60);
    return p;
}

std::vector<uint8_t> OTStartWorkoutPayload(uint8_t limitType, uint16_t limit, uint8_t intervalBy, uint16_t work,
                                           uint16_t rest)
{
    std::vector<uint8_t> p(8, 0);
    p[0] = limitType;
    Put16(p, 1, limit);
    p[3] = intervalBy;
    Put16(p, 4, work);
    Put16(p, 6, rest);
    return p;
}

std::vector<uint8_t> OTWorkoutFinishedPayload(uint32_t energyJ, uint32_t distanceX10, uint32_t timeX10)
{
    std::vector<uint8_t> p(16, 0);
    Put32(p, 4, energyJ);
    Put32(p, 8, distanceX10);
    Put32(p, 12, timeX10);
    return p;
}

std::vector<uint8_t> TakeOTCommands(std::vector<uint8_t>& buffer)
{
    std::vector<uint8_t> commands;
    size_t i = 0;
    while (i + 7 <= buffer.size()) {
        const uint8_t* f = &buffer[i];
        if (f[0] == 0xFF && f[1] == 0xFF && f[2] == 1 && f[3] == f[4] && f[5] == 0xFE && f[6] == 0xFE) {
            commands.push_back(f[3]);
            i += 7;
        } else {
            ++i;
        }
    }
    // Keep a possible frame start (at most 6 bytes).
    const size_t keep = std::min<size_t>(buffer.size() - i, 6);
    buffer.erase(buffer.begin(), buffer.end() - std::ptrdiff_t(keep));
    return commands;
}
