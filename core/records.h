#pragma once
// The training session and its records. Records that go to files or over the
// wire are packed and little-endian; TTraining itself owns its arrays.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "util/guid.h"

static_assert(std::endian::native == std::endian::little, "records are read and written in host order");

#pragma pack(push, 1)

// A short string: length byte and N bytes of text. Bytes past the length are
// kept as they are so that a file read and written again is byte-identical.
template <size_t N>
struct TShortString {
    uint8_t Length;
    uint8_t Data[N];

    // Text as UTF-8 (decoded from Windows-1252 or UTF-8, see util/text.h).
    std::string Text() const;
    // Sets the text (encoded, cut to N bytes); bytes past the new length are kept.
    void SetText(const std::string& utf8);
    bool IsEmpty() const { return Length == 0; }
};

struct TTrainingHeader {
    TShortString<255> FileName;
    double FileDate;
    int32_t FileSize;
    uint8_t FileType;
    uint8_t ContentKind;
    TShortString<255> Title;
    TShortString<255> Name;
    TShortString<255> Description;
    double DateTime;
    TShortString<255> TrainingType;
    TShortString<255> Event;
    TShortString<255> Note;
    TShortString<255> OriginalFileName;
    double OriginalDate;
    int32_t OriginalSize;
    uint8_t OriginalType;
    uint8_t OriginalKind;
    uint8_t Active;
    uint8_t Reserved;
    int32_t SelectedStroke;
    int32_t Color;
    uint8_t PenStyle;
    int32_t PenWidth;
    uint8_t Modified;
    uint8_t CurveSource;
    int32_t CurveInterval;
    uint8_t Creator;
    uint8_t InterfaceType;
    uint8_t InterfaceDetail;
    TShortString<255> InterfaceText;
    TGuid Guid;
};

struct TTrainingSettings {
    int32_t Weight;
    int32_t Gender;
    int32_t BoatType;
    int32_t Ergometer;
    int32_t Sprocket;
    int32_t LimitType;
    int32_t LimitIntervals;
    int32_t LimitTime;
    int32_t LimitStrokes;
    int32_t LimitDistance;
    int32_t LimitEnergy;
    int32_t StartValue;
    int32_t StepValue;
    int32_t RestValue;
    int32_t IntervalBy;
    int32_t WorkPeriod;
    int32_t WorkTime;
    int32_t WorkStrokes;
    int32_t WorkDistance;
    int32_t WorkEnergy;
    int32_t RestPeriod;
    int32_t RestTime;
    int32_t RestStrokes;
    int32_t RestDistance;
    int32_t RestEnergy;
    int32_t Display;
};
// The OT interface passes the workout settings under this name.
using TStgIni = TTrainingSettings;

struct TStgStrokeData {
    uint16_t StrokeNumber;
    float Power;
    float AveragePower;
    float StrokeRate;
    float Target;
    float Time;
    float StrokeLength;
    float Distance;
    float Time500;
    float Energy;
    float EnergySum;
    float Pulse;
    float WorkPerPulse;
    float PeakForce;
    float PeakForcePosition;
    float PeakForceRelative;
    float RecoverRatio;
    float KValue;
    uint16_t IntervalNumber;
    uint16_t IntervalCountdown;
    uint16_t IntervalPower;
    float DriveTime;
    float DistancePerStroke;
};

constexpr int kCurveSamples = 80;

struct TStgForceCurve {
    int16_t StrokeNumber;
    uint8_t HasData;
    uint16_t Samples[kCurveSamples];
};

struct TTrainingInterval {
    uint16_t Number;
    uint16_t AveragePower;
    uint16_t AverageStrokeRate;
    uint16_t TotalTime;
    uint16_t TotalDistance;
    uint16_t AveragePulse;
    TStgForceCurve Curve;
    TStgStrokeData Stroke;
};

struct TRawSample {
    int16_t Value;
    uint8_t Flag;
};

struct TTrainingTotals {
    float Distance;
    float Time;
    float Energy;
    float AveragePower;
};
// The OT interface passes the totals under this name.
using TStgWorkout = TTrainingTotals;

// Client record: only the address text (bytes 4..7) and the port (8..11) are used.
struct TStgClientRecord {
    uint8_t Bytes[32];
};

#pragma pack(pop)

static_assert(sizeof(TShortString<255>) == 256);
static_assert(sizeof(TTrainingHeader) == 2380);
static_assert(offsetof(TTrainingHeader, FileDate) == 256);
static_assert(offsetof(TTrainingHeader, FileSize) == 264);
static_assert(offsetof(TTrainingHeader, FileType) == 268);
static_assert(offsetof(TTrainingHeader, ContentKind) == 269);
static_assert(offsetof(TTrainingHeader, Title) == 270);
static_assert(offsetof(TTrainingHeader, Name) == 526);
static_assert(offsetof(TTrainingHeader, Description) == 782);
static_assert(offsetof(TTrainingHeader, DateTime) == 1038);
static_assert(offsetof(TTrainingHeader, TrainingType) == 1046);
static_assert(offsetof(TTrainingHeader, Event) == 1302);
static_assert(offsetof(TTrainingHeader, Note) == 1558);
static_assert(offsetof(TTrainingHeader, OriginalFileName) == 1814);
static_assert(offsetof(TTrainingHeader, OriginalDate) == 2070);
static_assert(offsetof(TTrainingHeader, OriginalSize) == 2078);
static_assert(offsetof(TTrainingHeader, OriginalType) == 2082);
static_assert(offsetof(TTrainingHeader, OriginalKind) == 2083);
static_assert(offsetof(TTrainingHeader, Active) == 2084);
static_assert(offsetof(TTrainingHeader, SelectedStroke) == 2086);
static_assert(offsetof(TTrainingHeader, Color) == 2090);
static_assert(offsetof(TTrainingHeader, PenStyle) == 2094);
static_assert(offsetof(TTrainingHeader, PenWidth) == 2095);
static_assert(offsetof(TTrainingHeader, Modified) == 2099);
static_assert(offsetof(TTrainingHeader, CurveSource) == 2100);
static_assert(offsetof(TTrainingHeader, CurveInterval) == 2101);
static_assert(offsetof(TTrainingHeader, Creator) == 2105);
static_assert(offsetof(TTrainingHeader, InterfaceType) == 2106);
static_assert(offsetof(TTrainingHeader, InterfaceDetail) == 2107);
static_assert(offsetof(TTrainingHeader, InterfaceText) == 2108);
static_assert(offsetof(TTrainingHeader, Guid) == 2364);

static_assert(sizeof(TTrainingSettings) == 104);
static_assert(offsetof(TTrainingSettings, LimitTime) == 28);
static_assert(offsetof(TTrainingSettings, LimitStrokes) == 32);
static_assert(offsetof(TTrainingSettings, LimitDistance) == 36);
static_assert(offsetof(TTrainingSettings, LimitEnergy) == 40);
static_assert(offsetof(TTrainingSettings, IntervalBy) == 56);
static_assert(offsetof(TTrainingSettings, RestTime) == 84);
static_assert(offsetof(TTrainingSettings, Display) == 100);

static_assert(sizeof(TStgStrokeData) == 84);
static_assert(offsetof(TStgStrokeData, Power) == 2);
static_assert(offsetof(TStgStrokeData, Time) == 18);
static_assert(offsetof(TStgStrokeData, EnergySum) == 38);
static_assert(offsetof(TStgStrokeData, KValue) == 66);
static_assert(offsetof(TStgStrokeData, IntervalNumber) == 70);
static_assert(offsetof(TStgStrokeData, IntervalCountdown) == 72);
static_assert(offsetof(TStgStrokeData, IntervalPower) == 74);
static_assert(offsetof(TStgStrokeData, DriveTime) == 76);
static_assert(offsetof(TStgStrokeData, DistancePerStroke) == 80);

static_assert(sizeof(TStgForceCurve) == 163);
static_assert(offsetof(TStgForceCurve, Samples) == 3);

static_assert(sizeof(TTrainingInterval) == 259);
static_assert(offsetof(TTrainingInterval, AveragePulse) == 10);
static_assert(offsetof(TTrainingInterval, Curve) == 12);
static_assert(offsetof(TTrainingInterval, Stroke) == 175);

static_assert(sizeof(TRawSample) == 3);
static_assert(sizeof(TTrainingTotals) == 16);
static_assert(sizeof(TStgClientRecord) == 32);

// Size of the session record as laid out in the original program; file formats
// and formulas refer to it.
constexpr int kTrainingRecordSize = 2563;

// The magic "MIL " of training and raw data files.
constexpr uint32_t kTrainingMagic = 0x204C494D;

struct TStgClient {
    std::string Address;  // reference-counted text in the original record
    int32_t Port = 0;
};

// One training session.
struct TTraining {
    uint32_t Magic = 0;
    uint32_t ProgramVersion = 0;
    int32_t ClientId = 0;
    TTrainingHeader Header{};
    TTrainingSettings Settings{};
    TStgClient Client;
    uint8_t RowStatus = 0;
    std::vector<TStgStrokeData> Strokes;       // [0] = session average, stroke k at [k]
    std::vector<TStgForceCurve> Curves;        // parallel to Strokes
    std::vector<TTrainingInterval> Intervals;  // 0-based
    std::vector<TRawSample> RawSamples;        // [0] reserved
    TTrainingTotals Totals{};
    uint8_t Live = 0;
    uint8_t ShowAllCurves = 0;
    // The journal of the recording this session holds while it is not saved
    // ("" when none); never written to files.
    std::string JournalFile;

    // Number of strokes N (highest stroke index); 0 when only the average slot exists.
    int StrokeCount() const { return Strokes.empty() ? 0 : int(Strokes.size()) - 1; }
    int IntervalCount() const { return int(Intervals.size()); }
};

// Name lists.
enum TRowStatus : uint8_t { rsNone, rsConnecting, rsRowing, rsPaused, rsFinished, rsDisconnected };

enum TFileTypeCode : uint8_t {
    ftNone = 0,
    ftBRM,
    ftINI,
    ftSED,
    ftSES,
    ftSTG,
    ftSTR,
    ftTXT,
    ftXLS,
    ftBXI,
    ftBXS,
    ftBXR,
    ftFITLOG,
    ftFIT,
    ftCSV
};
enum TContentKindCode : uint8_t {
    ckNone = 0,
    ckForceCurves,
    ckDesktop,
    ckIntervals,
    ckStrokeData,
    ckStroke,
    ckTraining,
    ckUser,
    ckManual,
    ckRow,
    ckFullStrokeData
};

const std::vector<std::string>& GenderNames();      // "-", "Male", "Female"
const std::vector<std::string>& BoatNames();        // "-", "1X", ...
const std::vector<std::string>& ErgometerNames();   // "-", "Vantor", ...
const std::vector<std::string>& SprocketNames();    // "-", "Small left", "Big right"
const std::vector<std::string>& LimitTypeNames();   // "Strokes" ... "Intervals"
const std::vector<std::string>& IntervalByNames();  // "Strokes" ... "Time"
const std::vector<std::string>& DisplayNames();     // "Normal", "Conconi"
const std::vector<std::string>& ColorNames();       // 15 names
const std::vector<std::string>& RowStatusNames();
const std::vector<std::string>& FileTypeNames();
const std::vector<std::string>& ContentKindNames();
const std::vector<std::string>& InterfaceTypeNames();
// Interface type of the Bluetooth FTMS rowing machines (after the types 0..6
// of the measuring interfaces, whose numbers keep their meaning).
constexpr int kFtmsInterfaceType = 7;
const std::vector<std::string>& CreatorNames();  // 16 entries
// Entry of a list, "" when the index is outside it.
std::string ListText(const std::vector<std::string>& list, int index);
// The stored value v of gender, boat, ergometer and sprocket shows entry v + 1.
std::string StoredListText(const std::vector<std::string>& list, int value);

// The 15 palette colours (0x00BBGGRR) in colour-name order.
const std::vector<int32_t>& PaletteColors();

// Operations on a session.
void ClearTraining(TTraining& t);
void SetStrokeCount(TTraining& t, int n);
void SetIntervalCount(TTraining& t, int n);
bool IsEmptyTraining(const TTraining& t);
bool IsUserOnly(const TTrainingHeader& h);
inline bool IsUserOnly(const TTraining& t) { return IsUserOnly(t.Header); }
void ResetTraining(TTraining& t);
struct TConfirmResult {
    bool Proceed;
    bool WasReset;
};
// A recorded session with strokes not yet saved (they would be lost).
bool HasUnsavedStrokes(const TTraining& t);
// Asks (through the dialog service) before erasing recorded data. When the
// strokes are not saved and the caller can save (save given), the question
// offers Save / Discard / Cancel; Save runs save and goes on only when it
// succeeded.
TConfirmResult ConfirmReset(TTraining& t, int reason, const std::function<bool()>& save = {});
TTrainingHeader DefaultHeader();
TTrainingSettings DefaultSettings();
int32_t NextPaletteColor();
void ResetPaletteCounterForTesting();
void SanitizeCountdowns(TTraining& t);
float LimitProgressValue(const TStgStrokeData& stroke, const TTrainingSettings& settings);
int32_t LimitValue(const TTrainingSettings& settings);
// Sets the limit slot for the current LimitType.
void SetLimitValue(TTrainingSettings& settings, int32_t value);
float IntervalProgressValue(const TStgStrokeData& stroke, int by);
// Work and rest period slots for an IntervalBy unit (0..3); 0 for others.
int32_t WorkPeriodFor(const TTrainingSettings& settings, int by);
int32_t RestPeriodFor(const TTrainingSettings& settings, int by);
void SetWorkPeriodFor(TTrainingSettings& settings, int by, int32_t value);
void SetRestPeriodFor(TTrainingSettings& settings, int by, int32_t value);
double SampleSpacing(const TTrainingSettings& settings);

// A zeroed stroke / curve with the given number.
TStgStrokeData EmptyStroke(int number);
TStgForceCurve EmptyCurve(int number);
