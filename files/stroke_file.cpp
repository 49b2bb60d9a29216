#include "files/stroke_file.h"

#include <cfenv>
#include <cmath>
#include <cstring>

#include "core/values.h"
#include "files/byte_buffer.h"
#include "files/file_errors.h"
#include "files/user_file.h"
#include "util/paths.h"

namespace {
// The earlier equipment marks a force above its range with a zero byte
// after a high sample.
constexpr double kOverflowAbove = 750.0;
constexpr double kOverflowForce = 780.0;

uint16_t Word(double v) { return uint16_t(RoundClamp(v, 0, 65535)); }
}  // namespace

double RoundClamp(double value, double lo, double hi)
{
    if (std::isnan(value)) return 0;
    if (value <= lo) return lo;
    if (value >= hi) return hi;
    // nearbyint rounds half to even in the default rounding mode.
    return std::nearbyint(value);
}

std::array<uint8_t, kStrokeRecordSize> StrokeRecordBytes(const TStgStrokeData& s)
{
    const double values[16] = {double(s.StrokeNumber),
                               s.Power,
                               s.AveragePower,
                               s.StrokeRate,
                               s.Target,
                               s.Time,
                               s.StrokeLength,
                               s.Distance,
                               s.Time500,
                               s.Energy,
                               s.EnergySum,
                               s.Pulse,
                               s.WorkPerPulse,
                               double(s.IntervalNumber),
                               double(s.IntervalCountdown),
                               double(s.IntervalPower)};
    std::array<uint8_t, kStrokeRecordSize> rec{};
    for (size_t i = 0; i < 16; ++i) PutU16(rec.data(), 2 * i, Word(values[i]));
    return rec;
}

void ApplyStrokeRecord(const uint8_t* rec, TStgStrokeData& s)
{
    s.StrokeNumber = U16At(rec, 0);
    s.Power = U16At(rec, 2);
    s.AveragePower = U16At(rec, 4);
    s.StrokeRate = U16At(rec, 6);
    s.Target = U16At(rec, 8);
    s.Time = U16At(rec, 10);
    s.StrokeLength = U16At(rec, 12);
    s.Distance = U16At(rec, 14);
    s.Time500 = U16At(rec, 16);
    s.Energy = U16At(rec, 18);
    s.EnergySum = U16At(rec, 20);
    s.Pulse = U16At(rec, 22);
    s.WorkPerPulse = U16At(rec, 24);
    s.IntervalNumber = U16At(rec, 26);
    s.IntervalCountdown = U16At(rec, 28);
    s.IntervalPower = U16At(rec, 30);
}

std::array<uint8_t, kStrokeCurveSize> StrokeCurveBytes(const TStgForceCurve& c)
{
    std::array<uint8_t, kStrokeCurveSize> bytes{};
    for (size_t i = 0; i < kStrokeCurveSize; ++i)
        bytes[i] = uint8_t(RoundClamp(c.Samples[i] / kStrokeCurveUnit, 0, 255));
    return bytes;
}

void ApplyStrokeCurve(const uint8_t* bytes, TStgForceCurve& c)
{
    double previous = 0;
    c.HasData = 0;
    for (size_t i = 0; i < kStrokeCurveSize; ++i) {
        double v = bytes[i] * kStrokeCurveUnit;
        if (bytes[i] == 0 && previous > kOverflowAbove) v = kOverflowForce;
        previous = v;
        c.Samples[i] = uint16_t(RoundClamp(v, 0, 65535));
        if (c.Samples[i] > 0) c.HasData = 1;
    }
}

std::vector<uint8_t> StrokeFileBytes(const TTraining& t)
{
    TStgStrokeData stroke = t.Strokes.size() > 1 ? t.Strokes[1] : EmptyStroke(1);
    TStgForceCurve curve = t.Curves.size() > 1 ? t.Curves[1] : EmptyCurve(1);
    TByteWriter w;
    w.Reserve(kStrokeFileSize);
    auto rec = StrokeRecordBytes(stroke);
    w.Write(rec.data(), rec.size());
    auto bytes = StrokeCurveBytes(curve);
    w.Write(bytes.data(), bytes.size());
    WriteUserRecord(w, t);
    return std::move(w.Bytes);
}

bool ParseStrokeFileHeader(const TFileInfo& info, TTrainingHeader& header)
{
    header = ForeignHeader(info, ftSTR, ckStroke);
    return info.Size == int64_t(kStrokeFileSize);
}

bool ParseStrokeFile(const TFileInfo& info, const uint8_t* data, size_t size, TTraining& t)
{
    TFileInfo actual = info;
    actual.Size = int64_t(size);
    if (!ParseStrokeFileHeader(actual, t.Header)) return false;
    SetStrokeCount(t, 1);
    TByteReader r(data, size);
    uint8_t rec[kStrokeRecordSize];
    uint8_t curve[kStrokeCurveSize];
    if (!r.ReadExact(rec, sizeof rec) || !r.ReadExact(curve, sizeof curve)) {
        FileBeep();
        return false;
    }
    ApplyStrokeRecord(rec, t.Strokes[1]);
    ApplyStrokeCurve(curve, t.Curves[1]);
    t.Curves[1].StrokeNumber = 1;
    t.Curves[1].HasData = 1;
    if (!ReadUserRecord(r, t)) {
        FileBeep();
        return false;
    }
    ApplyCurvePeak(t.Strokes[1], t.Curves[1], t.Settings.Sprocket);
    t.Strokes[0] = t.Strokes[1];
    t.Curves[0] = t.Curves[1];
    return true;
}

bool WriteStrokeFile(const std::string& path, const TTraining& t, bool verbose)
{
    std::vector<uint8_t> bytes = StrokeFileBytes(t);
    int err = 0;
    if (WriteFileAtomically(path, bytes.data(), bytes.size(), err)) return true;
    FileBeep();
    if (verbose) ShowFileErrorCode(path, err);
    return false;
}

bool ReadStrokeFile(const std::string& path, TTraining& t)
{
    std::vector<uint8_t> data;
    int err = 0;
    if (!ReadWholeFile(path, data, err)) {
        FileBeep();
        return false;
    }
    return ParseStrokeFile(FileInfoOf(path), data.data(), data.size(), t);
}

bool ReadStrokeFileHeader(const std::string& path, TTrainingHeader& header)
{
    if (!FileExists(path)) return false;
    return ParseStrokeFileHeader(FileInfoOf(path), header);
}
