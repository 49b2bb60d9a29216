#include "files/fit_file.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>

#include "core/values.h"
#include "files/fit_protocol.h"
#include "files/session_laps.h"
#include "util/date_time.h"
#include "util/paths.h"
#include "util/text.h"
#include "util/version.h"

using namespace fit;

namespace {

// Enumerations of the FIT profile used here.
constexpr uint8_t kFileActivity = 4;
constexpr uint16_t kManufacturerDevelopment = 255;
constexpr uint8_t kSportRowing = 15;
constexpr uint8_t kSubSportIndoorRowing = 14;
constexpr uint8_t kEventTimer = 0, kEventSession = 8, kEventLap = 9, kEventActivity = 26;
constexpr uint8_t kEventTypeStart = 0, kEventTypeStop = 1, kEventTypeStopAll = 4;
constexpr uint8_t kIntensityActive = 0, kIntensityRest = 1;
constexpr uint8_t kHrZoneCalcPercentMaxHr = 1;
constexpr uint8_t kLapTriggerManual = 0, kLapTriggerTime = 1, kLapTriggerDistance = 2, kLapTriggerSessionEnd = 7;

// Local message types of the file written.
enum : uint8_t {
    lmFileId,
    lmFileCreator,
    lmDeveloperId,
    lmFieldDescription,
    lmEvent,
    lmRecord,
    lmLap,
    lmSession,
    lmActivity,
    lmTimeInZone
};

// Record fields.
constexpr uint8_t rfHeartRate = 3, rfCadence = 4, rfDistance = 5, rfSpeed = 6, rfPower = 7, rfCycleLength = 12,
                  rfTotalCycles = 19, rfFractionalCadence = 53, rfEnhancedSpeed = 73, rfCycleLength16 = 87;

constexpr size_t kNameSize = 32;
constexpr size_t kUnitsSize = 16;
constexpr size_t kProductNameSize = 16;

// Records a file may hold before it is refused: a day of one record per
// second and more, far beyond any session, and a bound on what is kept.
constexpr size_t kMaxRecords = 500000;

struct TDevDescription {
    TFitDevField Field;
    uint8_t BaseType;
    const char* Name;
    const char* Units;
};

const TDevDescription kDevFields[] = {
    {fdDriveLength, btFloat32, "DriveLength", "m"},
    {fdDriveTime, btFloat32, "DriveTime", "s"},
    {fdRecoveryTime, btFloat32, "RecoveryTime", "s"},
    {fdDragFactor, btFloat32, "DragFactor", ""},
    {fdAverageDriveForce, btFloat32, "AverageDriveForce", "N"},
    {fdPeakDriveForce, btFloat32, "PeakDriveForce", "N"},
    {fdForceCurve, btUint16, "ForceCurve", "N"},
    {fdElapsedTime, btFloat32, "ElapsedTime", "s"},
    {fdCurveSpacing, btFloat32, "ForceCurveSpacing", "cm"},
    {fdSplitLaps, btFloat32, "SplitLapDistance", "m"},
};

uint32_t ClampU32(double v, double max = 4294967294.0)
{
    if (!(v > 0)) return 0;
    return uint32_t(std::min(std::nearbyint(v), max));
}
uint16_t ClampU16(double v) { return uint16_t(ClampU32(v, 65534)); }
uint8_t ClampU8(double v) { return uint8_t(ClampU32(v, 254)); }
// A heart rate, or the invalid value when there is none.
uint8_t HeartRate(double bpm) { return bpm > 0 ? std::max<uint8_t>(1, ClampU8(bpm)) : 0xFF; }

// A rate in strokes per minute as whole strokes and 128ths.
struct TCadence {
    uint8_t Whole = 0;
    uint8_t Fraction = 0;
};
TCadence SplitCadence(double rate)
{
    const uint32_t r = ClampU32(rate * 128, 254.0 * 128 + 127);
    return TCadence{uint8_t(r / 128), uint8_t(r % 128)};
}

double LocalOffsetSeconds(std::time_t when)
{
    std::tm local{};
    localtime_r(&when, &local);
    return double(local.tm_gmtoff);
}

class TExporter {
public:
    TExporter(const TTraining& t, const THeartZones* zones) : T(t), Zones(zones) {}

    std::vector<uint8_t> Write()
    {
        N = ExportedStrokes(T);
        HasHeart = false;
        for (int k = 1; k <= N; ++k) HasHeart = HasHeart || T.Strokes[size_t(k)].Pulse > 0;
        StartUnix = ExportStartUnix(T);

        const std::vector<TLapSummary> laps = ExportLaps(T);
        SplitLaps = !laps.empty() && laps.front().Split;
        const bool zoned = HasHeart && Zones && ValidZones(*Zones);
        const TLapSummary all = SessionSummary(T);
        const uint32_t start = FitTime(0);

        WriteFileId(start);
        WriteDeveloperFields();
        WriteEvent(start, kEventTypeStart);

        W.Define(lmRecord, gmRecord, RecordFields(), RecordDevFields());
        W.Define(lmLap, gmLap, LapFields());
        size_t lapIndex = 0;
        for (int k = 1; k <= N; ++k) {
            WriteRecord(k);
            while (lapIndex < laps.size() && laps[lapIndex].Last <= k) {
                const TLapSummary& lap = laps[lapIndex];
                WriteLap(lap, uint16_t(lapIndex), lapIndex + 1 == laps.size());
                if (zoned) WriteTimeInZone(FitTime(lap.EndTime), gmLap, uint16_t(lapIndex), lap.First, lap.Last);
                ++lapIndex;
            }
        }
        const uint32_t end = FitTime(std::max(all.EndTime, N > 0 ? double(T.Strokes[size_t(N)].Time) : 0.0));
        WriteEvent(end, kEventTypeStopAll);
        WriteSession(all, uint16_t(laps.size()), start, end);
        if (zoned) WriteTimeInZone(end, gmSession, 0, 1, N);
        WriteActivity(all, end);
        return W.Finish();
    }

private:
    const TTraining& T;
    const THeartZones* Zones;
    TWriter W;
    int N = 0;
    bool HasHeart = false;
    bool SplitLaps = false;
    bool TimeInZoneDefined = false;
    double StartUnix = 0;

    uint32_t FitTime(double elapsed) const
    {
        const double t = StartUnix + elapsed - double(kFitEpochOffset);
        return t > 0 ? ClampU32(t) : 0;
    }

    void WriteFileId(uint32_t start)
    {
        W.Define(lmFileId, gmFileId,
                 {{0, 1, btEnum},
                  {1, 2, btUint16},
                  {2, 2, btUint16},
                  {3, 4, btUint32z},
                  {4, 4, btUint32},
                  {8, kProductNameSize, btString}});
        uint32_t serial = 0;
        for (size_t i = 0; i < sizeof T.Header.Guid; ++i)
            serial = serial * 31 + reinterpret_cast<const uint8_t*>(&T.Header.Guid)[i];
        if (serial == 0) serial = 1;
        W.Begin(lmFileId);
        W.U8(kFileActivity);
        W.U16(kManufacturerDevelopment);
        W.U16(1);
        W.U32(serial);
        W.U32(start);
        W.String(VersionString("ProductName"), kProductNameSize);
        W.End();

        const uint32_t version = ProgramVersion();
        W.Define(lmFileCreator, gmFileCreator, {{0, 2, btUint16}});
        W.Begin(lmFileCreator);
        W.U16(uint16_t((version >> 24) * 100 + ((version >> 16) & 0xFF)));
        W.End();
    }

    void WriteDeveloperFields()
    {
        const std::vector<uint8_t>& appId = FitApplicationId();
        W.Define(lmDeveloperId, gmDeveloperDataId,
                 {{1, uint8_t(appId.size()), btByte}, {2, 2, btUint16}, {3, 1, btUint8}, {4, 4, btUint32}});
        W.Begin(lmDeveloperId);
        W.Bytes(appId.data(), appId.size());
        W.U16(kManufacturerDevelopment);
        W.U8(0);
        W.U32(ProgramVersion());
        W.End();

        W.Define(
            lmFieldDescription, gmFieldDescription,
            {{0, 1, btUint8}, {1, 1, btUint8}, {2, 1, btUint8}, {3, kNameSize, btString}, {8, kUnitsSize, btString}});
        for (const TDevDescription& d : kDevFields) {
            W.Begin(lmFieldDescription);
            W.U8(0);
            W.U8(d.Field);
            W.U8(d.BaseType);
            W.String(d.Name, kNameSize);
            W.String(d.Units, kUnitsSize);
            W.End();
        }
    }

    void WriteEvent(uint32_t when, uint8_t type)
    {
        W.Define(lmEvent, gmEvent, {{kTimestampField, 4, btUint32}, {0, 1, btEnum}, {1, 1, btEnum}});
        W.Begin(lmEvent);
        W.U32(when);
        W.U8(kEventTimer);
        W.U8(type);
        W.End();
    }

    std::vector<TFieldDef> RecordFields() const
    {
        std::vector<TFieldDef> f{{kTimestampField, 4, btUint32}, {rfDistance, 4, btUint32},
                                 {rfSpeed, 2, btUint16},         {rfPower, 2, btUint16},
                                 {rfCadence, 1, btUint8},        {rfFractionalCadence, 1, btUint8},
                                 {rfTotalCycles, 4, btUint32},   {rfCycleLength16, 2, btUint16}};
        if (HasHeart) f.push_back({rfHeartRate, 1, btUint8});
        return f;
    }

    static std::vector<TDevFieldDef> RecordDevFields()
    {
        return {{fdDriveLength, 4, 0},
                {fdDriveTime, 4, 0},
                {fdRecoveryTime, 4, 0},
                {fdDragFactor, 4, 0},
                {fdAverageDriveForce, 4, 0},
                {fdPeakDriveForce, 4, 0},
                {fdForceCurve, 2 * kCurveSamples, 0},
                {fdElapsedTime, 4, 0}};
    }

    void WriteRecord(int k)
    {
        const TStgStrokeData& s = T.Strokes[size_t(k)];
        const TStgForceCurve& c = T.Curves[size_t(k)];
        const double speed = StrokeSpeed(s);
        const TCadence cadence = SplitCadence(s.StrokeRate);
        W.Begin(lmRecord);
        W.U32(FitTime(s.Time));
        W.U32(ClampU32(double(s.Distance) * 100));
        W.U16(speed > 0 ? ClampU16(speed * 1000) : 0xFFFF);
        W.U16(ClampU16(s.Power));
        W.U8(cadence.Whole);
        W.U8(cadence.Fraction);
        W.U32(uint32_t(k));
        W.U16(ClampU16(s.DistancePerStroke));  // cm = m x 100
        if (HasHeart) W.U8(HeartRate(s.Pulse));
        const double driveLength = double(s.StrokeLength) / 100;
        W.F32(float(driveLength));
        W.F32(s.DriveTime);
        W.F32(float(double(s.DriveTime) * s.RecoverRatio));
        W.F32(float(double(s.KValue) * 100));
        if (driveLength > 0) W.F32(float(s.Energy / driveLength));
        else W.U32(0xFFFFFFFF);  // no value
        W.F32(s.PeakForce);
        for (int i = 0; i < kCurveSamples; ++i) {
            const uint16_t sample = c.Samples[i];  // a packed field: copied, not referenced
            const uint16_t v = c.HasData ? std::min<uint16_t>(sample, 0xFFFE) : 0xFFFF;
            W.U16(v);
        }
        W.F32(s.Time);
        W.End();
    }

    static std::vector<TFieldDef> LapFields()
    {
        return {{254, 2, btUint16}, {kTimestampField, 4, btUint32},
                {0, 1, btEnum},     {1, 1, btEnum},
                {2, 4, btUint32},   {7, 4, btUint32},
                {8, 4, btUint32},   {9, 4, btUint32},
                {10, 4, btUint32},  {11, 2, btUint16},
                {13, 2, btUint16},  {14, 2, btUint16},
                {15, 1, btUint8},   {16, 1, btUint8},
                {17, 1, btUint8},   {18, 1, btUint8},
                {19, 2, btUint16},  {20, 2, btUint16},
                {23, 1, btEnum},    {24, 1, btEnum},
                {25, 1, btEnum},    {39, 1, btEnum},
                {37, 2, btUint16},  {41, 4, btUint32},
                {80, 1, btUint8},   {81, 1, btUint8}};
    }

    uint8_t LapTrigger(const TLapSummary& lap, bool last) const
    {
        if (last) return kLapTriggerSessionEnd;
        if (lap.Split) return kLapTriggerDistance;
        if (T.Settings.IntervalBy == 3) return kLapTriggerTime;
        if (T.Settings.IntervalBy == 2) return kLapTriggerDistance;
        return kLapTriggerManual;
    }

    void WriteLap(const TLapSummary& lap, uint16_t index, bool last)
    {
        const TCadence avg = SplitCadence(lap.AvgRate), max = SplitCadence(lap.MaxRate);
        W.Begin(lmLap);
        W.U16(index);
        W.U32(FitTime(lap.EndTime));
        W.U8(kEventLap);
        W.U8(kEventTypeStop);
        W.U32(FitTime(lap.StartTime));
        W.U32(ClampU32(lap.Duration() * 1000));
        W.U32(ClampU32(lap.Duration() * 1000));
        W.U32(ClampU32(lap.Distance * 100));
        W.U32(uint32_t(lap.Strokes));
        W.U16(ClampU16(RowingCalories(lap.Energy, lap.Duration())));
        W.U16(ClampU16(lap.AvgSpeed * 1000));
        W.U16(ClampU16(lap.MaxSpeed * 1000));
        W.U8(HeartRate(lap.AvgHeartRate));
        W.U8(HeartRate(lap.MaxHeartRate));
        W.U8(avg.Whole);
        W.U8(max.Whole);
        W.U16(ClampU16(lap.AvgPower));
        W.U16(ClampU16(lap.MaxPower));
        W.U8(lap.Rest ? kIntensityRest : kIntensityActive);
        W.U8(LapTrigger(lap, last));
        W.U8(kSportRowing);
        W.U8(kSubSportIndoorRowing);
        W.U16(ClampU16(lap.AvgStrokeDistance * 100));
        W.U32(ClampU32(lap.Energy));
        W.U8(avg.Fraction);
        W.U8(max.Fraction);
        W.End();
    }

    void WriteSession(const TLapSummary& all, uint16_t laps, uint32_t start, uint32_t end)
    {
        W.Define(lmSession, gmSession, {{254, 2, btUint16}, {kTimestampField, 4, btUint32},
                                        {0, 1, btEnum},     {1, 1, btEnum},
                                        {2, 4, btUint32},   {5, 1, btEnum},
                                        {6, 1, btEnum},     {7, 4, btUint32},
                                        {8, 4, btUint32},   {9, 4, btUint32},
                                        {10, 4, btUint32},  {11, 2, btUint16},
                                        {14, 2, btUint16},  {15, 2, btUint16},
                                        {16, 1, btUint8},   {17, 1, btUint8},
                                        {18, 1, btUint8},   {19, 1, btUint8},
                                        {20, 2, btUint16},  {21, 2, btUint16},
                                        {25, 2, btUint16},  {26, 2, btUint16},
                                        {28, 1, btEnum},    {42, 2, btUint16},
                                        {48, 4, btUint32},  {92, 1, btUint8},
                                        {93, 1, btUint8}},
                 {{fdCurveSpacing, 4, 0}, {fdSplitLaps, 4, 0}});
        const TCadence avg = SplitCadence(all.AvgRate), max = SplitCadence(all.MaxRate);
        W.Begin(lmSession);
        W.U16(0);
        W.U32(end);
        W.U8(kEventSession);
        W.U8(kEventTypeStop);
        W.U32(start);
        W.U8(kSportRowing);
        W.U8(kSubSportIndoorRowing);
        W.U32(ClampU32(all.Duration() * 1000));
        W.U32(ClampU32(all.Duration() * 1000));
        W.U32(ClampU32(all.Distance * 100));
        W.U32(uint32_t(all.Strokes));
        W.U16(ClampU16(RowingCalories(all.Energy, all.Duration())));
        W.U16(ClampU16(all.AvgSpeed * 1000));
        W.U16(ClampU16(all.MaxSpeed * 1000));
        W.U8(HeartRate(all.AvgHeartRate));
        W.U8(HeartRate(all.MaxHeartRate));
        W.U8(avg.Whole);
        W.U8(max.Whole);
        W.U16(ClampU16(all.AvgPower));
        W.U16(ClampU16(all.MaxPower));
        W.U16(0);
        W.U16(laps);
        W.U8(0);  // trigger: activity end
        W.U16(ClampU16(all.AvgStrokeDistance * 100));
        W.U32(ClampU32(all.Energy));
        W.U8(avg.Fraction);
        W.U8(max.Fraction);
        W.F32(float(SampleSpacing(T.Settings)));
        if (SplitLaps) W.F32(float(kExportSplitMetres));
        else W.U32(0xFFFFFFFF);  // no value: the laps are intervals or the whole session
        W.End();
    }

    // The time strokes first..last spent below zone 1 and in zones 1 to 5,
    // with the zones' upper bounds, for the lap or session it refers to.
    void WriteTimeInZone(uint32_t when, uint16_t message, uint16_t index, int first, int last)
    {
        if (!TimeInZoneDefined)
            W.Define(lmTimeInZone, gmTimeInZone,
                     {{kTimestampField, 4, btUint32},
                      {0, 2, btUint16},
                      {1, 2, btUint16},
                      {2, 4 * 6, btUint32},
                      {6, 6, btUint8},
                      {10, 1, btEnum},
                      {11, 1, btUint8}});
        TimeInZoneDefined = true;
        const THeartZones& z = *Zones;
        const TZoneTimes times = ComputeZoneTimes(T, z, first, last);
        W.Begin(lmTimeInZone);
        W.U32(when);
        W.U16(message);
        W.U16(index);
        W.U32(ClampU32(times.Below * 1000));
        for (double seconds : times.Seconds) W.U32(ClampU32(seconds * 1000));
        // Zone i ends one below the first whole heart rate of zone i + 1;
        // the last zone ends at the maximum.
        for (int i = 0; i < 5; ++i) W.U8(ClampU8(std::ceil(ZoneLowestBpm(z, i) - 1e-9) - 1));
        W.U8(ClampU8(z.MaxHeartRate));
        W.U8(kHrZoneCalcPercentMaxHr);
        W.U8(ClampU8(z.MaxHeartRate));
        W.End();
    }

    void WriteActivity(const TLapSummary& all, uint32_t end)
    {
        W.Define(lmActivity, gmActivity,
                 {{kTimestampField, 4, btUint32},
                  {0, 4, btUint32},
                  {1, 2, btUint16},
                  {2, 1, btEnum},
                  {3, 1, btEnum},
                  {4, 1, btEnum},
                  {5, 4, btUint32}});
        const double offset = LocalOffsetSeconds(std::time_t(double(end) + double(kFitEpochOffset)));
        W.Begin(lmActivity);
        W.U32(end);
        W.U32(ClampU32(all.Duration() * 1000));
        W.U16(1);
        W.U8(0);  // manual
        W.U8(kEventActivity);
        W.U8(kEventTypeStop);
        W.U32(ClampU32(double(end) + offset));
        W.End();
    }
};

// --- import ----------------------------------------------------------------

constexpr float kMissing = std::numeric_limits<float>::quiet_NaN();

// One record message as far as a session needs it.
struct TRow {
    double Time = 0;  // seconds since the start, from the timestamp
    float Elapsed = kMissing;
    float Distance = kMissing;
    float Speed = kMissing;
    float Power = kMissing;
    float Cadence = kMissing;
    float HeartRate = kMissing;
    double Cycles = std::numeric_limits<double>::quiet_NaN();
    float CycleLength = kMissing;
    float DriveLength = kMissing;
    float DriveTime = kMissing;
    float RecoveryTime = kMissing;
    float DragFactor = kMissing;
    float AverageForce = kMissing;
    float PeakForce = kMissing;
    int32_t Curve = -1;  // index into the curves read, -1 = none
};

struct TLapRead {
    double Start = 0;  // seconds since the start
    double End = 0;
    bool Rest = false;
    double Cycles = -1;
};

bool Present(float v) { return !std::isnan(v); }

class TImporter {
public:
    TImporter(const TFileInfo& info, TTraining& t) : Info(info), T(t) {}

    bool Run(const uint8_t* data, size_t size, std::string& error)
    {
        bool tooMany = false;
        auto onMessage = [&](const TMessage& m, const TDevInfo& dev) {
            if (tooMany) return;
            switch (m.Global) {
            case gmFileId:
                Manufacturer = m.Number(1, -1);
                Product = m.Number(2, -1);
                if (m.Has(4)) Created = m.Number(4);
                break;
            case gmEvent:
                if (m.HasTimestamp && TimerStart < 0 && m.Number(0, -1) == kEventTimer &&
                    m.Number(1, -1) == kEventTypeStart)
                    TimerStart = m.Timestamp;
                break;
            case gmSession: ReadSession(m, dev); break;
            case gmLap: ReadLap(m); break;
            case gmRecord:
                if (!m.HasTimestamp) break;
                if (Rows.size() >= kMaxRecords) {
                    tooMany = true;
                    break;
                }
                ReadRecord(m, dev);
                break;
            default: break;
            }
        };
        if (!fit::Read(data, size, onMessage, error)) return false;
        if (tooMany) {
            error = Format("The FIT file has more than %zu records.", kMaxRecords);
            return false;
        }
        if (Rows.empty()) {
            error = "The FIT file holds no records (no stroke data).";
            return false;
        }
        return Build(error);
    }

private:
    const TFileInfo& Info;
    TTraining& T;
    double Manufacturer = -1, Product = -1, Created = -1;
    double TimerStart = -1, SessionStart = -1;
    double SessionTime = -1, SessionDistance = -1, SessionWork = -1;
    double CurveSpacing = 0;
    bool SplitLaps = false;
    std::vector<TRow> Rows;
    std::vector<uint32_t> RowStamps;
    std::vector<std::array<uint16_t, kCurveSamples>> Curves;
    std::vector<TLapRead> Laps;
    std::vector<double> LapStamps;

    // Our developer index in this file, -1 when the file has none of our fields.
    static int OurIndex(const TDevInfo& dev)
    {
        for (const auto& [index, id] : dev.ApplicationIds)
            if (id == FitApplicationId()) return index;
        return -1;
    }

    static float DevNumber(const TMessage& m, int index, uint8_t field)
    {
        if (index < 0) return kMissing;
        const TField* f = m.FindDev(uint8_t(index), field);
        double v;
        return f && FieldValue(*f, 0, v) ? float(v) : kMissing;
    }

    void ReadSession(const TMessage& m, const TDevInfo& dev)
    {
        if (SessionStart >= 0) return;  // the first session only
        if (m.Has(2)) SessionStart = m.Number(2);
        if (m.Has(8)) SessionTime = m.Number(8) / 1000;
        else if (m.Has(7)) SessionTime = m.Number(7) / 1000;
        if (m.Has(9)) SessionDistance = m.Number(9) / 100;
        if (m.Has(48)) SessionWork = m.Number(48);
        const float spacing = DevNumber(m, OurIndex(dev), fdCurveSpacing);
        if (Present(spacing)) CurveSpacing = spacing;
        const float split = DevNumber(m, OurIndex(dev), fdSplitLaps);
        SplitLaps = Present(split) && split > 0;
    }

    void ReadLap(const TMessage& m)
    {
        if (!m.Has(2)) return;
        TLapRead lap;
        const double elapsed = m.Has(7) ? m.Number(7) / 1000 : m.Number(8, 0) / 1000;
        LapStamps.push_back(m.Number(2));
        lap.End = elapsed;  // made relative to the start later
        lap.Rest = m.Number(23, kIntensityActive) == kIntensityRest;
        lap.Cycles = m.Number(10, -1);
        Laps.push_back(lap);
    }

    void ReadRecord(const TMessage& m, const TDevInfo& dev)
    {
        TRow r;
        RowStamps.push_back(m.Timestamp);
        auto number = [&](uint8_t field, double scale) {
            return m.Has(field) ? float(m.Number(field) / scale) : kMissing;
        };
        r.Distance = number(rfDistance, 100);
        r.Speed = number(rfEnhancedSpeed, 1000);
        if (!Present(r.Speed)) r.Speed = number(rfSpeed, 1000);
        r.Power = number(rfPower, 1);
        r.Cadence = number(rfCadence, 1);
        if (Present(r.Cadence) && m.Has(rfFractionalCadence)) r.Cadence += float(m.Number(rfFractionalCadence) / 128);
        r.HeartRate = number(rfHeartRate, 1);
        if (m.Has(rfTotalCycles)) r.Cycles = m.Number(rfTotalCycles);
        r.CycleLength = number(rfCycleLength16, 100);
        if (!Present(r.CycleLength)) r.CycleLength = number(rfCycleLength, 100);

        const int our = OurIndex(dev);
        if (our >= 0) {
            r.Elapsed = DevNumber(m, our, fdElapsedTime);
            r.DriveLength = DevNumber(m, our, fdDriveLength);
            r.DriveTime = DevNumber(m, our, fdDriveTime);
            r.RecoveryTime = DevNumber(m, our, fdRecoveryTime);
            r.DragFactor = DevNumber(m, our, fdDragFactor);
            r.AverageForce = DevNumber(m, our, fdAverageDriveForce);
            r.PeakForce = DevNumber(m, our, fdPeakDriveForce);
            if (const TField* f = m.FindDev(uint8_t(our), fdForceCurve)) {
                std::array<uint16_t, kCurveSamples> curve{};
                bool any = false;
                const size_t count = std::min<size_t>(FieldCount(*f), kCurveSamples);
                for (size_t i = 0; i < count; ++i) {
                    double v;
                    if (FieldValue(*f, i, v)) {
                        curve[i] = uint16_t(std::clamp(v, 0.0, 65535.0));
                        any = true;
                    }
                }
                if (any) {
                    r.Curve = int32_t(Curves.size());
                    Curves.push_back(curve);
                }
            }
        }
        Rows.push_back(r);
    }

    // Which records end a stroke.
    std::vector<size_t> StrokeRows() const
    {
        std::vector<size_t> rows;
        const bool cycles = std::any_of(Rows.begin(), Rows.end(), [](const TRow& r) { return !std::isnan(r.Cycles); });
        if (cycles) {
            // A stroke ends where the stroke count goes up (or starts again).
            double previous = 0;
            for (size_t i = 0; i < Rows.size(); ++i) {
                const double c = Rows[i].Cycles;
                if (std::isnan(c)) continue;
                if (c > previous || (c < previous && c > 0)) rows.push_back(i);
                previous = c;
            }
            return rows;
        }
        const bool cadence = std::any_of(Rows.begin(), Rows.end(), [](const TRow& r) { return Present(r.Cadence); });
        if (!cadence || PerStroke()) {
            for (size_t i = 0; i < Rows.size(); ++i) rows.push_back(i);
            return rows;
        }
        // Records at a fixed rate (one a second): strokes are counted from
        // the cadence, a stroke ending at the record where the count passes
        // a whole number. A pause longer than ten seconds counts as ten.
        double strokes = 0;
        double counted = 0;
        for (size_t i = 0; i < Rows.size(); ++i) {
            const double dt = i ? std::clamp(Rows[i].Time - Rows[i - 1].Time, 0.0, 10.0) : 0.0;
            if (Present(Rows[i].Cadence) && Rows[i].Cadence > 0) strokes += Rows[i].Cadence * dt / 60;
            if (std::floor(strokes) > counted) {
                counted = std::floor(strokes);
                rows.push_back(i);
            }
        }
        return rows;
    }

    // True when the records come one per stroke: the time between records
    // is, for most of them, about one stroke at their cadence.
    bool PerStroke() const
    {
        std::vector<double> ratios;
        for (size_t i = 1; i < Rows.size(); ++i) {
            const double dt = Rows[i].Time - Rows[i - 1].Time;
            if (Present(Rows[i].Cadence) && Rows[i].Cadence > 0 && dt > 0) ratios.push_back(dt * Rows[i].Cadence / 60);
        }
        if (ratios.empty()) return true;
        std::nth_element(ratios.begin(), ratios.begin() + ratios.size() / 2, ratios.end());
        const double median = ratios[ratios.size() / 2];
        return median > 0.75 && median < 1.33;
    }

    bool Build(std::string& error)
    {
        // The activity's start: the session's, else the timer's, else the first record's.
        double start = SessionStart >= 0 ? SessionStart : TimerStart >= 0 ? TimerStart : double(RowStamps.front());
        for (size_t i = 0; i < Rows.size(); ++i) Rows[i].Time = double(RowStamps[i]) - start;
        for (size_t i = 0; i < Laps.size(); ++i) {
            Laps[i].Start = LapStamps[i] - start;
            Laps[i].End += Laps[i].Start;
        }

        const std::vector<size_t> strokeRows = StrokeRows();
        if (strokeRows.empty()) {
            error = "The FIT file holds no strokes.";
            return false;
        }
        if (strokeRows.size() > 65535) {
            error = Format("The FIT file holds %zu strokes; a session holds at most 65535.", strokeRows.size());
            return false;
        }

        T.Header = ForeignHeader(Info, ftFIT, ckTraining);
        T.Header.DateTime = UnixToLocalDays(start + double(kFitEpochOffset));
        T.Header.Note.SetText(
            Format("FIT file. Manufacturer=%.0f, Product=%.0f", std::max(Manufacturer, -1.0), std::max(Product, -1.0)));
        T.Settings = DefaultSettings();
        if (std::fabs(CurveSpacing - 2.0) < 0.01) T.Settings.Sprocket = 0;
        else if (std::fabs(CurveSpacing - 4.5) < 0.01) T.Settings.Ergometer = 2;

        const int n = int(strokeRows.size());
        SetStrokeCount(T, n);
        double previousTime = 0, previousDistance = 0, energySum = 0, integrated = 0;
        size_t previousRow = 0;
        for (int k = 1; k <= n; ++k) {
            const size_t i = strokeRows[size_t(k - 1)];
            const TRow& r = Rows[i];
            TStgStrokeData& s = T.Strokes[size_t(k)];
            TStgForceCurve& c = T.Curves[size_t(k)];
            s.StrokeNumber = uint16_t(k);
            const double time = Present(r.Elapsed) ? double(r.Elapsed) : std::max(r.Time, previousTime);
            s.Time = float(time);
            // Distance where recorded, else the speed over the time since the last record.
            for (size_t j = k == 1 ? 0 : previousRow + 1; j <= i; ++j) {
                const double dt = j ? std::max(0.0, Rows[j].Time - Rows[j - 1].Time) : 0.0;
                if (Present(Rows[j].Speed)) integrated += Rows[j].Speed * dt;
            }
            const double distance = Present(r.Distance) ? double(r.Distance) : integrated;
            s.Distance = float(distance);
            s.Power = Present(r.Power) ? r.Power : 0.0f;
            const double strokeTime = time - previousTime;
            s.StrokeRate = Present(r.Cadence) ? r.Cadence : SafeDivide(strokeTime, 60);
            s.Pulse = Present(r.HeartRate) ? r.HeartRate : 0.0f;
            s.Time500 = Present(r.Speed) && r.Speed > 0 ? float(500.0 / r.Speed) : 0.0f;
            s.DistancePerStroke =
                float(Present(r.CycleLength) ? double(r.CycleLength) * 100 : (distance - previousDistance) * 100);
            s.StrokeLength = Present(r.DriveLength) ? float(double(r.DriveLength) * 100) : 0.0f;
            s.DriveTime = Present(r.DriveTime) ? r.DriveTime : 0.0f;
            s.RecoverRatio = Present(r.RecoveryTime) ? SafeDivide(s.DriveTime, r.RecoveryTime) : 0.0f;
            s.KValue = Present(r.DragFactor) ? float(double(r.DragFactor) / 100) : 0.0f;
            // The work of the stroke: its average force along the drive, else
            // its power over its time.
            const double energy = Present(r.AverageForce) && Present(r.DriveLength)
                                      ? double(r.AverageForce) * r.DriveLength
                                      : double(s.Power) * std::max(0.0, strokeTime);
            s.Energy = float(energy);
            energySum += energy;
            s.EnergySum = float(energySum / 1000);
            s.AveragePower = SafeDivide(time, energySum);
            s.WorkPerPulse = SafeDivide(s.Pulse, s.Power);
            if (r.Curve >= 0) {
                const auto& samples = Curves[size_t(r.Curve)];
                for (int j = 0; j < kCurveSamples; ++j) c.Samples[j] = samples[size_t(j)];
                c.HasData = std::any_of(samples.begin(), samples.end(), [](uint16_t v) { return v > 0; }) ? 1 : 0;
                ApplyCurvePeak(s, c, T.Settings.Sprocket);
            } else if (Present(r.PeakForce)) {
                s.PeakForce = r.PeakForce;
            }
            previousTime = time;
            previousDistance = distance;
            previousRow = i;
        }
        MarkIntervals(n);
        UpdateAverageStroke(T);
        ComputeTotals(T, n);
        if (SessionTime > 0 && SessionDistance > 0) {
            T.Totals.Time = float(SessionTime);
            T.Totals.Distance = float(SessionDistance);
            if (SessionWork > 0) T.Totals.Energy = float(SessionWork / 1000);
            T.Totals.AveragePower = SafeDivide(T.Totals.Time, double(T.Totals.Energy) * 1000);
        }
        return true;
    }

    // Strokes carry the number of the work lap they belong to (a rest lap the
    // number of the work before it) when the file has more than one lap.
    void MarkIntervals(int n)
    {
        if (Laps.size() < 2 || SplitLaps) return;
        std::vector<int> lapOf(size_t(n) + 1, -1);
        double counted = 0;
        bool byCount = true;
        for (const TLapRead& lap : Laps) {
            if (lap.Cycles < 0) byCount = false;
            else counted += lap.Cycles;
        }
        if (byCount && counted == n) {
            int k = 1;
            for (size_t l = 0; l < Laps.size(); ++l)
                for (int c = 0; c < int(Laps[l].Cycles) && k <= n; ++c) lapOf[size_t(k++)] = int(l);
        } else {
            // By time: a stroke belongs to the first lap that has not ended
            // before it (lap times are whole seconds in the file).
            size_t l = 0;
            for (int k = 1; k <= n; ++k) {
                const double time = T.Strokes[size_t(k)].Time;
                while (l + 1 < Laps.size() && Laps[l].End + 0.5 < time) ++l;
                lapOf[size_t(k)] = int(l);
            }
        }
        int work = 0;
        int lastLap = -1;
        for (int k = 1; k <= n; ++k) {
            const int l = lapOf[size_t(k)];
            if (l != lastLap) {
                if (!Laps[size_t(l)].Rest) ++work;
                lastLap = l;
            }
            T.Strokes[size_t(k)].IntervalNumber = uint16_t(std::clamp(work, 0, 65535));
        }
    }
};

}  // namespace

const std::vector<uint8_t>& FitApplicationId()
{
    static const std::vector<uint8_t> id{0x5c, 0x7a, 0x1e, 0x43, 0x0b, 0x2d, 0x4e, 0x91,
                                         0x8a, 0x63, 0xc4, 0x1f, 0x52, 0xe7, 0x09, 0xb8};
    return id;
}

std::vector<uint8_t> FitFileBytes(const TTraining& t, const THeartZones* zones) { return TExporter(t, zones).Write(); }

bool ParseFitFile(const TFileInfo& info, const uint8_t* data, size_t size, TTraining& t, std::string& error)
{
    return TImporter(info, t).Run(data, size, error);
}

bool ReadFitFile(const std::string& path, TTraining& t, std::string& error)
{
    std::vector<uint8_t> data;
    int err = 0;
    if (!ReadWholeFile(path, data, err)) {
        error = std::strerror(err);
        return false;
    }
    return ParseFitFile(FileInfoOf(path), data.data(), data.size(), t, error);
}
