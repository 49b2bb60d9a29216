#include "files/brax_file.h"

#include <cstring>
#include <vector>

#include "core/values.h"
#include "files/byte_buffer.h"
#include "files/file_errors.h"
#include "util/paths.h"
#include "util/text.h"

namespace {

constexpr char kBraxMagic[4] = {'B', 'r', 'a', 'x'};

struct TBraxHeader {
    bool MagicOk = false;
    uint8_t Kind = 0;
    uint8_t Versions[4] = {};
    uint16_t StrokesWithCurves = 0;
    uint16_t Strokes = 0;
    uint16_t Intervals = 0;
};

TBraxHeader DecodeHeader(const uint8_t* p)
{
    TBraxHeader h;
    h.MagicOk = std::memcmp(p, kBraxMagic, 4) == 0;
    h.Kind = p[5];
    std::memcpy(h.Versions, p + 6, 4);
    h.StrokesWithCurves = U16At(p, 10);
    h.Strokes = U16At(p, 12);
    h.Intervals = U16At(p, 14);
    return h;
}

// Header, the ignored block, the user block and the workout block that begin
// every Brax file. Returns false when the file is too short for them.
bool ReadCommon(TByteReader& r, TBraxHeader& header, TTrainingSettings& settings)
{
    uint8_t head[kBraxHeaderSize];
    uint8_t skipped[kBraxSkippedSize];
    uint8_t user[kBraxUserSize];
    uint8_t workout[kBraxWorkoutSize];
    if (!r.ReadExact(head, sizeof head)) return false;
    header = DecodeHeader(head);
    if (!r.ReadExact(skipped, sizeof skipped)) return false;
    if (!r.ReadExact(user, sizeof user)) return false;
    ApplyBraxUser(user, settings);
    if (!r.ReadExact(workout, sizeof workout)) return false;
    ApplyBraxWorkout(workout, settings);
    return true;
}

bool Fail()
{
    FileBeep();
    return false;
}

using TParser = bool (*)(const TFileInfo&, const uint8_t*, size_t, TTraining&);

bool ReadWith(const std::string& path, TTraining& t, TParser parse)
{
    std::vector<uint8_t> data;
    int err = 0;
    if (!ReadWholeFile(path, data, err)) return Fail();
    return parse(FileInfoOf(path), data.data(), data.size(), t);
}

}  // namespace

void ApplyBraxUser(const uint8_t* b, TTrainingSettings& s)
{
    s.BoatType = b[0];
    s.Sprocket = b[1] == 10 ? 0 : 1;
    s.Weight = b[2];
}

void ApplyBraxWorkout(const uint8_t* b, TTrainingSettings& s)
{
    switch (b[0]) {
    case 0:
        s.LimitType = 0;
        s.LimitStrokes = 0;
        break;
    case 1:
        s.LimitType = 0;
        s.LimitStrokes = U16At(b, 8);
        break;
    case 2:
        s.LimitType = 1;
        s.LimitEnergy = U16At(b, 6);
        break;
    case 3:
        s.LimitType = 2;
        s.LimitDistance = U16At(b, 4);
        break;
    case 4:
        s.LimitType = 3;
        s.LimitTime = b[2] * 60 + b[3];
        break;
    case 17:
        s.LimitType = 4;
        s.IntervalBy = 0;
        s.LimitIntervals = b[1];
        s.WorkStrokes = U16At(b, 20);
        s.RestStrokes = U16At(b, 22);
        break;
    case 18:
        s.LimitType = 4;
        s.IntervalBy = 1;
        s.LimitIntervals = b[1];
        s.WorkEnergy = U16At(b, 16);
        s.RestEnergy = U16At(b, 18);
        break;
    case 19:
        s.LimitType = 4;
        s.IntervalBy = 2;
        s.LimitIntervals = b[1];
        s.WorkDistance = U16At(b, 12);
        s.RestDistance = U16At(b, 14);
        break;
    case 20:
        s.LimitType = 4;
        s.IntervalBy = 3;
        s.LimitIntervals = b[1];
        s.WorkTime = b[24] * 60 + b[26];
        s.RestTime = b[25] * 60 + b[27];
        break;
    default: break;
    }
}

void ApplyBraxStroke(const uint8_t* p, TTraining& t, int k)
{
    TStgStrokeData s{};
    s.KValue = float(U32At(p, 0) / 1e9);
    s.DriveTime = float(U32At(p, 4) / 1e5);
    s.Energy = float(U16At(p, 10) / 10.0);
    s.Power = float(U16At(p, 12) / 10.0);
    s.RecoverRatio = float(U16At(p, 14) / 100.0);
    s.Time500 = float(U16At(p, 16) / 10.0);
    s.WorkPerPulse = float(U16At(p, 18) / 10.0);
    s.StrokeLength = p[20];
    s.StrokeRate = p[21];
    s.Pulse = p[22];
    s.IntervalNumber = p[23];
    s.StrokeNumber = U16At(p, 26);
    s.Distance = float(U32At(p, 28) / 1000.0);
    s.EnergySum = float(U32At(p, 32) / 1e4);
    s.Time = float(U32At(p, 36) / 1000.0);
    s.AveragePower = float(U16At(p, 40) / 10.0);
    const uint32_t at42 = U16At(p, 42), at44 = U16At(p, 44), at46 = U16At(p, 46);
    s.IntervalPower = uint16_t(at44);
    switch (t.Settings.IntervalBy) {
    case 1: s.IntervalCountdown = uint16_t(at44 * at42 / 10); break;
    case 2: s.IntervalCountdown = uint16_t(at46); break;
    case 3: s.IntervalCountdown = uint16_t(at42 / 10); break;
    default: s.IntervalCountdown = 0; break;
    }
    const float previous = k > 1 ? t.Strokes[size_t(k - 1)].Distance : 0.0f;
    s.DistancePerStroke = (s.Distance - previous) * 100;
    t.Strokes[size_t(k)] = s;
}

void ApplyBraxCurve(const uint8_t* p, TStgForceCurve& c)
{
    for (size_t i = 0; i < kCurveSamples; ++i) c.Samples[i] = i < 75 ? uint16_t(p[i] * 5.75) : 0;
    c.HasData = 1;
}

void ApplyBraxInterval(const uint8_t* p, TTrainingInterval& interval, int k)
{
    interval.Number = uint16_t(k);
    interval.AveragePower = uint16_t(U16At(p, 2) / 10);
    interval.AverageStrokeRate = 0;
    interval.TotalTime = uint16_t(U16At(p, 0) / 10);
    interval.TotalDistance = U16At(p, 4);
    interval.AveragePulse = 0;
}

void ApplyBraxTotals(const uint8_t* p, TTrainingTotals& totals)
{
    totals.Distance = float(U32At(p, 0) / 1000.0);
    totals.Energy = float(U32At(p, 4) / 1e4);
    totals.Time = float(U32At(p, 8) / 1000.0);
    totals.AveragePower = float(U16At(p, 14) / 10.0);
}

bool ParseBraxUserHeader(const TFileInfo& info, TTrainingHeader& header)
{
    header = ForeignHeader(info, ftBXI, ckUser);
    return info.Size == int64_t(kBraxUserFileSize);
}

bool ParseBraxStrokeHeader(const TFileInfo& info, TTrainingHeader& header)
{
    header = ForeignHeader(info, ftBXR, ckStroke);
    return info.Size == int64_t(kBraxStrokeFileSize);
}

bool ParseBraxSessionHeader(const TFileInfo& info, TTrainingHeader& header)
{
    header = ForeignHeader(info, ftBXS, ckTraining);
    return info.Size >= int64_t(kBraxSessionMinSize);
}

bool ParseBraxUser(const TFileInfo& info, const uint8_t* data, size_t size, TTraining& t)
{
    TFileInfo actual = info;
    actual.Size = int64_t(size);
    if (!ParseBraxUserHeader(actual, t.Header)) return false;
    TByteReader r(data, size);
    TBraxHeader h;
    if (size < kBraxHeaderSize || DecodeHeader(data).Kind != bxkUser || !DecodeHeader(data).MagicOk) return Fail();
    return ReadCommon(r, h, t.Settings) || Fail();
}

bool ParseBraxStroke(const TFileInfo& info, const uint8_t* data, size_t size, TTraining& t)
{
    TFileInfo actual = info;
    actual.Size = int64_t(size);
    if (!ParseBraxStrokeHeader(actual, t.Header)) return false;
    if (size < kBraxHeaderSize || DecodeHeader(data).Kind != bxkStroke || !DecodeHeader(data).MagicOk) return Fail();
    TByteReader r(data, size);
    TBraxHeader h;
    if (!ReadCommon(r, h, t.Settings)) return Fail();
    uint8_t stroke[kBraxStrokeSize];
    uint8_t curve[kBraxCurveSize];
    if (!r.ReadExact(stroke, sizeof stroke) || !r.ReadExact(curve, sizeof curve)) return Fail();
    SetStrokeCount(t, 1);
    ApplyBraxStroke(stroke, t, 1);
    ApplyBraxCurve(curve, t.Curves[1]);
    ApplyCurvePeak(t.Strokes[1], t.Curves[1], t.Settings.Sprocket);
    return true;
}

bool ParseBraxSession(const TFileInfo& info, const uint8_t* data, size_t size, TTraining& t)
{
    TFileInfo actual = info;
    actual.Size = int64_t(size);
    if (!ParseBraxSessionHeader(actual, t.Header)) return false;
    const TBraxHeader h = DecodeHeader(data);
    // The counts must be backed by the file before anything is allocated for them.
    const uint64_t needed = kBraxUserFileSize + uint64_t(h.StrokesWithCurves) * (kBraxStrokeSize + kBraxCurveSize) +
                            uint64_t(h.Strokes) * kBraxStrokeSize +
                            uint64_t(h.Intervals > 1 ? h.Intervals - 1 : 0) * kBraxIntervalSize + kBraxTotalsSize;
    t.Header.Note.SetText(
        Format("Brax file. SW=%d, HW=%d, MR=%d, BL=%d", h.Versions[0], h.Versions[1], h.Versions[2], h.Versions[3]));
    if (!h.MagicOk || h.Kind != bxkSession) return Fail();
    if (h.StrokesWithCurves > h.Strokes) return Fail();  // a curve without its stroke
    if (size < needed) return Fail();
    SetStrokeCount(t, h.Strokes);
    SetIntervalCount(t, h.Intervals);

    TByteReader r(data, size);
    TBraxHeader again;
    if (!ReadCommon(r, again, t.Settings)) return Fail();
    uint8_t stroke[kBraxStrokeSize];
    uint8_t curve[kBraxCurveSize];
    for (int i = 1; i <= h.StrokesWithCurves; ++i) {
        if (!r.ReadExact(stroke, sizeof stroke) || !r.ReadExact(curve, sizeof curve)) return Fail();
        ApplyBraxStroke(stroke, t, i);
        ApplyBraxCurve(curve, t.Curves[size_t(i)]);
    }
    t.Header.SelectedStroke = 0;
    for (int j = 1; j <= h.Strokes; ++j) {
        if (!r.ReadExact(stroke, sizeof stroke)) return Fail();
        ApplyBraxStroke(stroke, t, j);
        ApplyCurvePeak(t.Strokes[size_t(j)], t.Curves[size_t(j)], t.Settings.Sprocket);
    }
    uint8_t interval[kBraxIntervalSize];
    for (int k = 1; k < h.Intervals; ++k) {
        if (!r.ReadExact(interval, sizeof interval)) return Fail();
        ApplyBraxInterval(interval, t.Intervals[size_t(k)], k);
    }
    uint8_t totals[kBraxTotalsSize];
    if (!r.ReadExact(totals, sizeof totals)) return Fail();
    ApplyBraxTotals(totals, t.Totals);
    return true;
}

bool ReadBraxUser(const std::string& path, TTraining& t) { return ReadWith(path, t, ParseBraxUser); }
bool ReadBraxStroke(const std::string& path, TTraining& t) { return ReadWith(path, t, ParseBraxStroke); }
bool ReadBraxSession(const std::string& path, TTraining& t) { return ReadWith(path, t, ParseBraxSession); }

bool ReadBraxUserHeader(const std::string& path, TTrainingHeader& header)
{
    return FileExists(path) && ParseBraxUserHeader(FileInfoOf(path), header);
}
bool ReadBraxStrokeHeader(const std::string& path, TTrainingHeader& header)
{
    return FileExists(path) && ParseBraxStrokeHeader(FileInfoOf(path), header);
}
bool ReadBraxSessionHeader(const std::string& path, TTrainingHeader& header)
{
    return FileExists(path) && ParseBraxSessionHeader(FileInfoOf(path), header);
}
