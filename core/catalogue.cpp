#include "core/catalogue.h"

#include <cmath>
#include <cstdio>

#include "util/profile.h"
#include "util/text.h"

namespace {

struct TCatalogues {
    std::vector<ParameterType> Stroke, Interval, Total, Split;
    std::vector<int32_t> StrokeMap, IntervalMap, TotalMap, SplitMap;
};

// Day fraction of m minutes, as the catalogue stores time limits.
float Minutes(double m) { return float(m / 1440.0); }

ParameterType Entry(int32_t id, uint8_t mode, uint8_t style, const char* format, const char* longName,
                    const char* shortName, const char* unit, float minimum, float maximum)
{
    ParameterType p;
    p.Id = id;
    p.ScaleMode = mode;
    p.SeriesStyle = style;
    p.Format = format;
    p.LongName = longName;
    p.ShortName = shortName;
    p.Unit = unit;
    p.Minimum = minimum;
    p.Maximum = maximum;
    p.Step = 0;
    return p;
}

void FillStroke(std::vector<ParameterType>& c)
{
    c = {
        Entry(0, 0, 0, "%4.0f", "Stroke number", "Stroke", "", 0, 100),
        Entry(1, 3, 1, "%4.0f", "Power per stroke", "Power", "W", 0, 100),
        Entry(2, 3, 1, "%4.0f", "Average power per stroke", "Avg. power", "W", 0, 50),
        Entry(3, 3, 1, "%2.1f", "Stroke rate", "Stroke rate", "/min", 0, 20),
        Entry(-1, 3, 1, "%4.0f", "Target", "Target", "W", 0, 100),
        Entry(5, 0, 0, "Th:nn:ss", "Time", "Time", "m:s", 0, Minutes(10)),
        Entry(6, 3, 1, "%3.0f", "Stroke length", "Stroke length", "cm", 100, 150),
        Entry(7, 0, 0, "%4.0f", "Distance", "Distance", "m", 0, 500),
        Entry(8, 3, 1, "%4.0f", "Distance per stroke", "Distance / stroke", "cm", 250, 500),
        Entry(9, 3, 1, "Tnn:ss.0", "Estimated 500m time", "Est. 500m time", "m:s", Minutes(2), Minutes(4)),
        Entry(10, 3, 1, "%4.0f", "Energy per stroke", "Energy / stroke", "J", 250, 500),
        Entry(11, 0, 0, "%4.0f", "Energy sum", "Energy sum", "kJ", 0, 10),
        Entry(12, 3, 1, "%3.0f", "Pulse", "Pulse", "/min", 50, 100),
        Entry(13, 3, 1, "%3.2f", "Work per pulse", "Work / pulse", "J/beat", 0, 100),
        Entry(14, 3, 1, "%3.0f", "Peak force", "Peak force", "N", 250, 500),
        Entry(15, 3, 1, "%3.0f", "Peak force position", "Peak force pos.", "cm", 0, 50),
        Entry(16, 2, 1, "%3.1f", "Peak force position relative to stroke length", "Rel. peak force pos.", "%", 0, 100),
        Entry(17, 3, 1, "%2.2f", "Drive time", "Drive time", "s", 0, 0.5f),
        Entry(18, 3, 1, "%2.2f", "Recover time", "Recover time", "s", 0, 0.5f),
        Entry(19, 3, 1, "%2.2f", "Stroke time", "Stroke time", "s", 1, 2),
        Entry(20, 3, 1, "%1.2f", "Drive : Recover ratio", "DR ratio", "", 0.5f, 1),
        Entry(21, 3, 1, "%1.2f", "Boat speed in m per s", "Speed mps", "m/s", 2, 4),
        Entry(22, 3, 1, "%1.2f", "K value", "K", "", 0.5f, 1),
        Entry(23, 0, 0, "%2.0f", "Interval number", "Interval number", "", 0, 10),
        Entry(24, 0, 1, "%3.0f", "Interval countdown", "Interval countdown", "", 0, 10),
        Entry(25, 3, 1, "%4.0f", "Interval power", "Interval power", "W", 0, 50),
        Entry(-1, 0, 0, "Th:nn:ss", "Time elapsed", "Time elapsed", "m:s", 0, Minutes(10)),
        Entry(-1, 0, 0, "Th:nn:ss", "Time remaining", "Time remaining", "m:s", 0, Minutes(10)),
        Entry(-1, 0, 1, "Th:nn:ss", "Time projected", "Time projected", "m:s", 0, Minutes(10)),
        Entry(-1, 0, 0, "%4.0f", "Distance elapsed", "Distance elapsed", "m", 0, 500),
        Entry(-1, 0, 0, "%4.0f", "Distance remaining", "Distance remaining", "m", 0, 500),
        Entry(-1, 0, 1, "%4.0f", "Distance projected", "Distance projected", "m", 0, 500),
        Entry(-1, 0, 0, "%4.0f", "Strokes elapsed", "Strokes elapsed", "", 0, 100),
        Entry(-1, 0, 0, "%4.0f", "Strokes remaining", "Strokes remaining", "", 0, 100),
        Entry(-1, 0, 1, "%4.0f", "Strokes projected", "Strokes projected", "", 0, 100),
        Entry(-1, 3, 1, "%3.1f", "Boat speed in Km per Hr", "Speed KmpHr", "km/h", 5, 10),
        Entry(-1, 3, 1, "%3.1f", "Boat speed in M per Hr", "Speed MpHr", "M/h", 5, 10),
        Entry(-1, 3, 1, "Tnn:ss.0", "Average 500m time", "Avg. 500m time", "m:s", Minutes(2), Minutes(4)),
        Entry(-1, 3, 1, "%1.2f", "Average boat speed in m per s", "Avg. speed mps", "m/s", 2, 4),
        Entry(-1, 3, 1, "%3.1f", "Average boat speed in Km per Hr", "Avg. speed KmpHr", "km/h", 5, 10),
        Entry(-1, 3, 1, "%3.1f", "Average boat speed in M per Hr", "Avg. speed MpHr", "M/h", 5, 10),
        Entry(-1, 3, 1, "%2.1f", "Average stroke rate", "Avg. stroke rate", "/min", 0, 10),
    };
}

void FillInterval(std::vector<ParameterType>& c)
{
    c = {
        Entry(0, 0, 0, "%3.0f", "Interval number", "Number", "", 0, 10),
        Entry(1, 0, 1, "%3.1f", "Average power", "Power", "W", 0, 250),
        Entry(2, 0, 1, "%2.1f", "Average strokerate", "Stroke rate", "/min", 0, 50),
        Entry(3, 0, 1, "Th:nn:ss.0", "Total time", "Time", "m:s", 0, Minutes(100)),
        Entry(4, 0, 1, "%5.0f", "Total distance", "Distance", "m", 0, 2000),
        Entry(5, 0, 1, "%3.0f", "Average pulse", "Pulse", "/min", 0, 100),
        Entry(6, 0, 1, "%1.2f", "Average boat speed", "Speed", "m/s", 0, 5),
        Entry(7, 0, 1, "%3.0f", "Number of strokes", "Strokes", "", 0, 100),
        Entry(8, 3, 1, "%3.0f", "Stroke length", "Stroke length", "cm", 100, 125),
        Entry(9, 3, 1, "Tnn:ss.0", "Estimated 500m time", "Est. 500m time", "m:s", Minutes(2), Minutes(4)),
        Entry(10, 3, 1, "%4.0f", "Energy per stroke", "Energy / stroke", "J", 250, 500),
        Entry(11, 0, 1, "%4.0f", "Energy sum", "Energy sum", "kJ", 0, 10),
        Entry(12, 3, 1, "%3.2f", "Work per pulse", "Work / pulse", "J/beat", 0, 100),
        Entry(13, 3, 1, "%4.0f", "Distance per stroke", "Distance / stroke", "cm", 250, 500),
        Entry(14, 3, 1, "%3.0f", "Peak force", "Peak force", "N", 250, 500),
        Entry(15, 3, 1, "%3.0f", "Peak force position", "Peak force pos.", "cm", 0, 50),
        Entry(16, 2, 1, "%3.1f", "Peak force position relative to stroke length", "Rel. peak force pos.", "%", 0, 100),
        Entry(17, 3, 1, "%2.2f", "Drive time", "Drive time", "s", 0, 0.5f),
        Entry(18, 3, 1, "%2.2f", "Recover time", "Recover time", "s", 0, 0.5f),
        Entry(19, 3, 1, "%2.2f", "Stroke time", "Stroke time", "s", 1, 2),
        Entry(20, 3, 1, "%1.2f", "Drive : Recover ratio", "DR ratio", "", 0.5f, 1),
        Entry(21, 3, 1, "%1.2f", "K value", "K", "", 0.5f, 1),
    };
}

void FillTotal(std::vector<ParameterType>& c)
{
    c = {
        Entry(0, 0, 1, "%5.0f", "Total distance", "Distance", "m", 0, 2000),
        Entry(1, 0, 1, "Th:nn:ss.0", "Total time", "Time", "m:s", 0, Minutes(10)),
        Entry(2, 0, 1, "%5.0f", "Total energy", "Energy", "kJ", 0, 10),
        Entry(4, 0, 1, "%3.1f", "Average power", "Avg. power", "W", 0, 250),
        Entry(3, 0, 1, "%4.0f", "Number of strokes", "Strokes", "", 0, 100),
        Entry(5, 3, 1, "Tnn:ss.0", "Average 500m time", "Avg. 500m time", "m:s", Minutes(2), Minutes(4)),
        Entry(6, 0, 1, "%2.1f", "Average strokerate", "Avg. Stroke rate", "/min", 0, 50),
    };
}

void FillSplit(std::vector<ParameterType>& c)
{
    c = {
        Entry(0, 0, 1, "%4.0f", "Strokes cumulative", "Strokes cum.", "", 0, 100),
        Entry(1, 0, 1, "%4.0f", "Strokes in split", "Stroke split", "", 0, 100),
        Entry(2, 0, 1, "%4.1f", "Distance cumulative", "Distance cum.", "m", 0, 500),
        Entry(3, 0, 1, "%4.1f", "Distance in split", "Distance split", "m", 0, 500),
        Entry(4, 0, 1, "Tnn:ss.0", "Time cumulative", "Time cum.", "m:s", 0, Minutes(10)),
        Entry(5, 0, 1, "Tnn:ss.0", "Time in split", "Time split", "m:s", 0, Minutes(10)),
        Entry(6, 3, 1, "%4.1f", "Average power per stroke", "Power", "W", 0, 100),
        Entry(7, 3, 1, "%2.1f", "Average stroke rate", "Stroke rate", "/min", 0, 10),
        Entry(8, 3, 1, "%3.0f", "Average stroke length", "Stroke length", "cm", 100, 125),
        Entry(9, 3, 1, "%4.0f", "Average distance per stroke", "Distance / stroke", "cm", 250, 500),
        Entry(10, 3, 1, "Tnn:ss.0", "500m time", "500m time", "m:s", Minutes(2), Minutes(4)),
        Entry(11, 3, 1, "%1.2f", "Boat speed in m per s", "Speed mps", "m/s", 2, 4),
        Entry(12, 3, 1, "%4.0f", "Average energy per stroke", "Energy / stroke", "J", 250, 500),
        Entry(13, 0, 1, "%4.1f", "Energy sum cumulative", "Energy sum cum.", "kJ", 0, 10),
        Entry(14, 0, 1, "%4.1f", "Energy sum in split", "Energy sum split", "kJ", 0, 10),
        Entry(15, 3, 1, "%3.0f", "Average pulse", "Pulse", "/min", 50, 100),
        Entry(16, 3, 1, "%3.2f", "Average work per pulse", "Work / pulse", "J/beat", 0, 100),
        Entry(17, 3, 1, "%2.2f", "Average drive time", "Drive time", "s", 0, 0.5f),
        Entry(18, 3, 1, "%2.2f", "Average recover time", "Recover time", "s", 0, 0.5f),
        Entry(19, 3, 1, "%2.2f", "Average stroke time", "Stroke time", "s", 1, 2),
        Entry(20, 3, 1, "%1.2f", "Average drive : Recover ratio", "DR ratio", "", 0.5f, 1),
    };
}

// Steps and the id map of one catalogue.
void Finish(std::vector<ParameterType>& c, std::vector<int32_t>& map)
{
    int32_t largest = -1;
    for (auto& p : c) {
        p.Step = (p.Maximum - p.Minimum) / 10.0f;
        if (p.Id > largest) largest = p.Id;
    }
    map.assign(size_t(largest + 1), 0);
    for (size_t i = 0; i < c.size(); ++i)
        if (c[i].Id >= 0) map[size_t(c[i].Id)] = int32_t(i);
}

void Build(TCatalogues& c)
{
    FillStroke(c.Stroke);
    Finish(c.Stroke, c.StrokeMap);
    FillInterval(c.Interval);
    Finish(c.Interval, c.IntervalMap);
    FillTotal(c.Total);
    Finish(c.Total, c.TotalMap);
    FillSplit(c.Split);
    Finish(c.Split, c.SplitMap);
}

TCatalogues& Catalogues()
{
    // Built on first use (thread-safe), never by a static initialiser.
    static TCatalogues catalogues = [] {
        TCatalogues c;
        Build(c);
        return c;
    }();
    return catalogues;
}

const ParameterType* At(const std::vector<ParameterType>& c, int i)
{
    return i >= 0 && size_t(i) < c.size() ? &c[size_t(i)] : nullptr;
}

std::string UnitOf(const std::vector<ParameterType>& c, int i)
{
    auto* p = At(c, i);
    return p ? p->Unit : std::string();
}
std::string ShortOf(const std::vector<ParameterType>& c, int i)
{
    auto* p = At(c, i);
    return p ? p->ShortName : std::string();
}
std::string LongOf(const std::vector<ParameterType>& c, int i)
{
    auto* p = At(c, i);
    return p ? p->LongName : std::string();
}
std::string FormatOf(const std::vector<ParameterType>& c, int i)
{
    auto* p = At(c, i);
    return p ? p->Format : std::string();
}

std::string WithUnit(const std::string& name, const std::string& unit) { return name + " (" + unit + ")"; }

std::string Caption(const std::vector<ParameterType>& c, int i, bool longWithUnit, bool longWithout)
{
    auto* p = At(c, i);
    if (!p) return std::string();
    if (!p->Unit.empty()) return WithUnit(longWithUnit ? p->LongName : p->ShortName, p->Unit);
    return longWithout ? p->LongName : p->ShortName;
}

}  // namespace

void BuildCatalogues() { Build(Catalogues()); }

std::vector<ParameterType>& StrokeParameters() { return Catalogues().Stroke; }
const std::vector<ParameterType>& IntervalParameters() { return Catalogues().Interval; }
const std::vector<ParameterType>& TotalParameters() { return Catalogues().Total; }
const std::vector<ParameterType>& SplitParameters() { return Catalogues().Split; }
const std::vector<int32_t>& StrokeIdMap() { return Catalogues().StrokeMap; }
const std::vector<int32_t>& IntervalIdMap() { return Catalogues().IntervalMap; }
const std::vector<int32_t>& TotalIdMap() { return Catalogues().TotalMap; }
const std::vector<int32_t>& SplitIdMap() { return Catalogues().SplitMap; }

const std::vector<std::string>& ScaleModeNames()
{
    static const std::vector<std::string> names{"Auto", "Double", "Manual", "Range"};
    return names;
}

std::string ParameterUnit(int i) { return UnitOf(StrokeParameters(), i); }
std::string ParameterShortName(int i) { return ShortOf(StrokeParameters(), i); }
std::string ParameterLongName(int i) { return LongOf(StrokeParameters(), i); }
std::string ParameterFormat(int i) { return FormatOf(StrokeParameters(), i); }
uint8_t ParameterSeriesStyle(int i)
{
    auto* p = At(StrokeParameters(), i);
    return p ? p->SeriesStyle : 1;
}

std::string IntervalParameterUnit(int i) { return UnitOf(IntervalParameters(), i); }
std::string IntervalParameterShortName(int i) { return ShortOf(IntervalParameters(), i); }
std::string IntervalParameterLongName(int i) { return LongOf(IntervalParameters(), i); }
std::string IntervalParameterFormat(int i) { return FormatOf(IntervalParameters(), i); }

std::string TotalParameterUnit(int i) { return UnitOf(TotalParameters(), i); }
std::string TotalParameterShortName(int i) { return ShortOf(TotalParameters(), i); }
std::string TotalParameterLongName(int i) { return LongOf(TotalParameters(), i); }
std::string TotalParameterFormat(int i) { return FormatOf(TotalParameters(), i); }

std::string SplitParameterUnit(int i) { return UnitOf(SplitParameters(), i); }
std::string SplitParameterShortName(int i) { return ShortOf(SplitParameters(), i); }
std::string SplitParameterLongName(int i) { return LongOf(SplitParameters(), i); }
std::string SplitParameterFormat(int i) { return FormatOf(SplitParameters(), i); }

std::string StrokeShortCaption(int i) { return Caption(StrokeParameters(), i, false, false); }
std::string StrokeLongCaption(int i) { return Caption(StrokeParameters(), i, true, true); }
std::string IntervalCaption(int i) { return Caption(IntervalParameters(), i, false, true); }
std::string TotalCaption(int i) { return Caption(TotalParameters(), i, false, true); }
std::string SplitCaption(int i) { return Caption(SplitParameters(), i, false, false); }

// ---------------------------------------------------------------------------
// Value formatting

namespace {

// Replaces the C library's '.' by the locale's decimal separator.
std::string LocaliseSeparator(std::string s)
{
    char sep = DecimalSeparator();
    if (sep != '.')
        for (char& c : s)
            if (c == '.') c = sep;
    return s;
}

// Number of floating-point conversions in format (flags, width and precision
// of at most two digits each; "%%" is literal text), or -1 when it holds any
// other conversion. Only formats with exactly one are handed to snprintf.
int FloatConversions(const std::string& f)
{
    int conversions = 0;
    for (size_t i = 0; i < f.size(); ++i) {
        if (f[i] != '%') continue;
        ++i;
        if (i < f.size() && f[i] == '%') continue;
        while (i < f.size() && (f[i] == '-' || f[i] == '+' || f[i] == ' ' || f[i] == '#' || f[i] == '0')) ++i;
        int digits = 0;
        while (i < f.size() && f[i] >= '0' && f[i] <= '9') {
            ++i;
            ++digits;
        }
        if (digits > 2) return -1;
        if (i < f.size() && f[i] == '.') {
            ++i;
            digits = 0;
            while (i < f.size() && f[i] >= '0' && f[i] <= '9') {
                ++i;
                ++digits;
            }
            if (digits > 2) return -1;
        }
        if (i >= f.size()) return -1;
        char c = f[i];
        if (c != 'f' && c != 'F' && c != 'e' && c != 'E' && c != 'g' && c != 'G') return -1;
        ++conversions;
    }
    return conversions;
}

std::string FormatFloat(const std::string& format, double value)
{
    const int conversions = FloatConversions(format);
    // A format without a conversion is its own (literal) text.
    if (conversions == 0) return ReplaceAll(format, "%%", "%");
    const char* f = conversions == 1 ? format.c_str() : "%g";
    char buf[128];
    int n = std::snprintf(buf, sizeof buf, f, value);
    std::string s;
    if (n < 0) return s;
    if (size_t(n) < sizeof buf) {
        s.assign(buf, size_t(n));
    } else {
        s.resize(size_t(n) + 1);
        std::snprintf(s.data(), s.size(), f, value);
        s.resize(size_t(n));
    }
    return LocaliseSeparator(s);
}

// Date/time pattern: h, hh, n, nn, s, ss, z, zzz and quoted literals.
std::string FormatTimePattern(const std::string& f, int h, int m, int s, int ms)
{
    std::string out;
    size_t i = 0;
    auto run = [&](char c) {
        size_t n = 0;
        while (i + n < f.size() && (f[i + n] | 0x20) == c) ++n;
        return n;
    };
    while (i < f.size()) {
        char c = f[i];
        char lower = char(c | 0x20);
        if (c == '"' || c == '\'') {
            size_t end = f.find(c, i + 1);
            if (end == std::string::npos) end = f.size();
            out.append(f, i + 1, end - i - 1);
            i = end + 1;
        } else if (lower == 'h' || lower == 'n' || lower == 's') {
            size_t n = run(lower);
            int v = lower == 'h' ? h : lower == 'n' ? m : s;
            out += Format(n >= 2 ? "%02d" : "%d", v);
            i += n >= 2 ? 2 : 1;
        } else if (lower == 'z') {
            size_t n = run('z');
            out += Format(n >= 3 ? "%03d" : "%d", ms);
            i += n >= 3 ? 3 : 1;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

std::string FormatTime(std::string f, double value)
{
    // Milliseconds of the whole value, rounded to the nearest (half to even);
    // whole days are dropped. A value that is not finite shows as 0.
    double x = std::fabs(value) * 86400000.0;
    if (!std::isfinite(x)) x = 0;
    double total = std::nearbyint(x);
    double ofDay = std::fmod(total, 86400000.0);
    int64_t msOfDay = int64_t(ofDay);  // 0 .. 86399999
    int h = int(msOfDay / 3600000);
    int m = int(msOfDay / 60000 % 60);
    int s = int(msOfDay / 1000 % 60);
    int ms = int(msOfDay % 1000);

    if (h == 0) {
        if (f.rfind("hh:", 0) == 0) f.erase(0, 3);
        else if (f.rfind("h:", 0) == 0) f.erase(0, 2);
    }
    std::string msText = Format("%0.3f", ms / 1000.0);  // "0.457"
    if (!msText.empty() && msText[0] == '0') msText.erase(0, 1);
    msText = LocaliseSeparator(msText);
    auto quoted = [&](size_t n) { return "\"" + msText.substr(0, n) + "\""; };
    if (f.find(".000") != std::string::npos) f = ReplaceAll(f, ".000", quoted(4));
    else if (f.find(".00") != std::string::npos) f = ReplaceAll(f, ".00", quoted(3));
    else if (f.find(".0") != std::string::npos) f = ReplaceAll(f, ".0", quoted(2));
    return FormatTimePattern(f, h, m, s, ms);
}

}  // namespace

std::string FormatValue(const std::string& format, double value)
{
    if (!format.empty() && format[0] == 'T') return FormatTime(format.substr(1), value);
    if (!format.empty() && format[0] == 'F') {
        if (value == 0) return "n/a";
        return "1:" + FormatFloat(format.substr(1), 1.0 / value);
    }
    return FormatFloat(format, value);
}

// ---------------------------------------------------------------------------
// Stroke scaling in the settings file

void ParseStrokeScaling(const std::string& stored, ParameterType& entry)
{
    std::string text = stored;
    char sep = DecimalSeparator();
    for (char& c : text)
        if (c == '.' || c == ',') c = sep;
    // Fields are taken from left to right at single spaces; the last field is
    // everything after the third space. Reading stops at the first field that
    // is missing or cannot be read.
    std::vector<std::string> fields;
    size_t pos = 0;
    for (int f = 0; f < 3; ++f) {
        size_t space = text.find(' ', pos);
        if (space == std::string::npos) {
            fields.push_back(text.substr(pos));
            pos = std::string::npos;
            break;
        }
        fields.push_back(text.substr(pos, space - pos));
        pos = space + 1;
    }
    if (pos != std::string::npos) fields.push_back(Trim(text.substr(pos)));

    int32_t mode = 0;
    if (fields.empty() || !TryParseInt(fields[0], mode) || mode < 0 || mode > 3) return;
    entry.ScaleMode = uint8_t(mode);
    float* targets[3] = {&entry.Minimum, &entry.Maximum, &entry.Step};
    for (size_t f = 1; f < fields.size() && f <= 3; ++f) {
        double v = 0;
        if (!TryParseDecimal(fields[f], v) || std::fabs(v) > 3.0e38) return;
        *targets[f - 1] = float(v);
    }
}

std::string StrokeScalingText(const ParameterType& entry)
{
    return Format("%d ", int(entry.ScaleMode)) + FloatToText(entry.Minimum) + " " + FloatToText(entry.Maximum) + " " +
           FloatToText(entry.Step);
}

void LoadStrokeScaling(const TProfileFile& file, const std::string& section)
{
    auto& c = StrokeParameters();
    for (int i = 0; i < kStrokeParameterCount; ++i) {
        std::string key = Format("Parameter%d", i);
        if (!file.ValueExists(section, key)) continue;
        ParseStrokeScaling(file.ReadString(section, key, ""), c[size_t(i)]);
    }
}

void SaveStrokeScaling(TProfileFile& file, const std::string& section)
{
    const auto& c = StrokeParameters();
    for (int i = 0; i < kStrokeParameterCount; ++i)
        file.WriteString(section, Format("Parameter%d", i), StrokeScalingText(c[size_t(i)]));
}
