#pragma once
// The parameter catalogues: every number the program shows about a training
// (value cells, grid columns, chart axes, labels) is an entry of one of four
// fixed catalogues (stroke, interval, total, split). An entry carries the
// parameter's names, unit, display format and the default chart-axis scaling.
#include <cstdint>
#include <string>
#include <vector>

class TProfileFile;

struct ParameterType {
    int32_t Id = -1;          // persistent id; -1 = cannot be chosen where ids are used
    uint8_t ScaleMode = 0;    // 0 Auto, 1 Double, 2 Manual, 3 Range
    float Minimum = 0;        // axis minimum for scale modes 1..3
    float Maximum = 0;        // axis maximum for scale modes 1..3
    float Step = 0;           // axis increment ((Maximum - Minimum) / 10 when built)
    uint8_t SeriesStyle = 0;  // 0 line series, 1 point series
    std::string Unit;         // empty = no unit
    std::string ShortName;
    std::string LongName;
    std::string Format;  // display format for FormatValue
};

constexpr int kStrokeParameterCount = 42;
constexpr int kIntervalParameterCount = 22;
constexpr int kTotalParameterCount = 7;
constexpr int kSplitParameterCount = 21;

// Scale modes of ParameterType::ScaleMode.
enum TScaleMode : uint8_t { smAuto = 0, smDouble = 1, smManual = 2, smRange = 3 };
const std::vector<std::string>& ScaleModeNames();  // "Auto", "Double", "Manual", "Range"

// Stroke parameter positions (index of StrokeValue and of the stroke catalogue).
enum TStrokeParameter : int {
    spStrokeNumber = 0,
    spPower,
    spAveragePower,
    spStrokeRate,
    spTarget,
    spTime,
    spStrokeLength,
    spDistance,
    spDistancePerStroke,
    spTime500,
    spEnergy,
    spEnergySum,
    spPulse,
    spWorkPerPulse,
    spPeakForce,
    spPeakForcePosition,
    spPeakForceRelative,
    spDriveTime,
    spRecoverTime,
    spStrokeTime,
    spRecoverRatio,
    spSpeed,
    spKValue,
    spIntervalNumber,
    spIntervalCountdown,
    spIntervalPower,
    spTimeElapsed,
    spTimeRemaining,
    spTimeProjected,
    spDistanceElapsed,
    spDistanceRemaining,
    spDistanceProjected,
    spStrokesElapsed,
    spStrokesRemaining,
    spStrokesProjected,
    spSpeedKmh,
    spSpeedMph,
    spAverageTime500,
    spAverageSpeed,
    spAverageSpeedKmh,
    spAverageSpeedMph,
    spAverageStrokeRate
};

// Builds (or rebuilds, restoring the built-in scaling) all four catalogues in
// the order stroke, interval, total, split, with their steps and id maps.
// Called once at program start; every accessor below builds them on first use
// as well, so nothing depends on static initialisation order.
void BuildCatalogues();

// The catalogues. The stroke catalogue is mutable for the user's scaling
// (LoadStrokeScaling and the chart options); the others are read-only.
std::vector<ParameterType>& StrokeParameters();
const std::vector<ParameterType>& IntervalParameters();
const std::vector<ParameterType>& TotalParameters();
const std::vector<ParameterType>& SplitParameters();

// Id maps: index = id, value = catalogue position (0 for ids no entry carries);
// length = largest id + 1.
const std::vector<int32_t>& StrokeIdMap();
const std::vector<int32_t>& IntervalIdMap();
const std::vector<int32_t>& TotalIdMap();
const std::vector<int32_t>& SplitIdMap();

// Stroke catalogue accessors (i = 0..41; empty text outside).
std::string ParameterUnit(int i);
std::string ParameterShortName(int i);
std::string ParameterLongName(int i);
std::string ParameterFormat(int i);
// 1 (point series) outside 0..41.
uint8_t ParameterSeriesStyle(int i);

// Interval catalogue accessors (i = 0..21).
std::string IntervalParameterUnit(int i);
std::string IntervalParameterShortName(int i);
std::string IntervalParameterLongName(int i);
std::string IntervalParameterFormat(int i);

// Total catalogue accessors (i = 0..6).
std::string TotalParameterUnit(int i);
std::string TotalParameterShortName(int i);
std::string TotalParameterLongName(int i);
std::string TotalParameterFormat(int i);

// Split catalogue accessors (i = 0..20).
std::string SplitParameterUnit(int i);
std::string SplitParameterShortName(int i);
std::string SplitParameterLongName(int i);
std::string SplitParameterFormat(int i);

// Captions: "name (unit)" when the entry has a unit.
std::string StrokeShortCaption(int i);  // short name; "short (unit)"
std::string StrokeLongCaption(int i);   // long name; "long (unit)"
std::string IntervalCaption(int i);     // long name; "short (unit)"
std::string TotalCaption(int i);        // long name; "short (unit)"
std::string SplitCaption(int i);        // short name; "short (unit)"

// Value text for a display format:
//  - "T..." time formats: value is a day fraction, shown with h/hh, nn, ss and
//    cut fractions of a second (".0", ".00", ".000"); whole days are dropped;
//  - "F..." reciprocal formats: "1:" followed by 1/value in the rest of the
//    format, "n/a" for 0;
//  - anything else: a C-style float format such as "%4.0f".
// Numbers are shown with the locale's decimal separator (DecimalSeparator()).
// Values that are not finite never reach a date/time conversion; a format
// that is not a single float conversion is replaced by "%g".
// Values are float32 everywhere in the records; a double is accepted so that
// callers holding one lose nothing (a float converts exactly).
std::string FormatValue(const std::string& format, double value);

// The user's stroke scaling ("Parameter%d" keys of the given section, one per
// stroke parameter position: "mode minimum maximum step").
void LoadStrokeScaling(const TProfileFile& file, const std::string& section);
void SaveStrokeScaling(TProfileFile& file, const std::string& section);
// Parses one stored "mode minimum maximum step" text into entry (fields
// missing or unreadable from some point on keep their current values).
void ParseStrokeScaling(const std::string& text, ParameterType& entry);
std::string StrokeScalingText(const ParameterType& entry);
