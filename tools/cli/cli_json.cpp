#include "tools/cli/cli_json.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/catalogue.h"
#include "core/intervals.h"
#include "core/splits.h"
#include "core/values.h"

TJson FloatJson(float value)
{
    if (!std::isfinite(value)) return nullptr;
    // The fewest digits that give the float back; the double read from them
    // prints as those digits.
    char buf[32];
    for (int precision = 1; precision <= 9; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, double(value));
        if (std::strtof(buf, nullptr) == value) break;
    }
    return std::strtod(buf, nullptr);
}

namespace {
// The records are packed, so their fields may sit at any address: each is
// copied out by value before the JSON library, which takes its arguments by
// reference, sees it.
template <class T>
T Copy(T field)
{
    return field;
}

template <size_t N>
TJson Text(const TShortString<N>& s)
{
    return s.Text();
}
}  // namespace

TJson HeaderJson(const TTrainingHeader& h)
{
    TJson j;
    j["FileName"] = Text(h.FileName);
    j["FileDate"] = Copy(h.FileDate);
    j["FileSize"] = Copy(h.FileSize);
    j["FileType"] = Copy(h.FileType);
    j["ContentKind"] = Copy(h.ContentKind);
    j["Title"] = Text(h.Title);
    j["Name"] = Text(h.Name);
    j["Description"] = Text(h.Description);
    j["DateTime"] = Copy(h.DateTime);
    j["TrainingType"] = Text(h.TrainingType);
    j["Event"] = Text(h.Event);
    j["Note"] = Text(h.Note);
    j["OriginalFileName"] = Text(h.OriginalFileName);
    j["OriginalDate"] = Copy(h.OriginalDate);
    j["OriginalSize"] = Copy(h.OriginalSize);
    j["OriginalType"] = Copy(h.OriginalType);
    j["OriginalKind"] = Copy(h.OriginalKind);
    j["Active"] = Copy(h.Active);
    j["SelectedStroke"] = Copy(h.SelectedStroke);
    j["Color"] = Copy(h.Color);
    j["PenStyle"] = Copy(h.PenStyle);
    j["PenWidth"] = Copy(h.PenWidth);
    j["Modified"] = Copy(h.Modified);
    j["CurveSource"] = Copy(h.CurveSource);
    j["CurveInterval"] = Copy(h.CurveInterval);
    j["Creator"] = Copy(h.Creator);
    j["InterfaceType"] = Copy(h.InterfaceType);
    j["InterfaceDetail"] = Copy(h.InterfaceDetail);
    j["InterfaceText"] = Text(h.InterfaceText);
    j["Guid"] = GuidToString(h.Guid);
    return j;
}

TJson SettingsJson(const TTrainingSettings& s)
{
    TJson j;
    j["Weight"] = Copy(s.Weight);
    j["Gender"] = Copy(s.Gender);
    j["BoatType"] = Copy(s.BoatType);
    j["Ergometer"] = Copy(s.Ergometer);
    j["Sprocket"] = Copy(s.Sprocket);
    j["LimitType"] = Copy(s.LimitType);
    j["LimitIntervals"] = Copy(s.LimitIntervals);
    j["LimitTime"] = Copy(s.LimitTime);
    j["LimitStrokes"] = Copy(s.LimitStrokes);
    j["LimitDistance"] = Copy(s.LimitDistance);
    j["LimitEnergy"] = Copy(s.LimitEnergy);
    j["StartValue"] = Copy(s.StartValue);
    j["StepValue"] = Copy(s.StepValue);
    j["RestValue"] = Copy(s.RestValue);
    j["IntervalBy"] = Copy(s.IntervalBy);
    j["WorkPeriod"] = Copy(s.WorkPeriod);
    j["WorkTime"] = Copy(s.WorkTime);
    j["WorkStrokes"] = Copy(s.WorkStrokes);
    j["WorkDistance"] = Copy(s.WorkDistance);
    j["WorkEnergy"] = Copy(s.WorkEnergy);
    j["RestPeriod"] = Copy(s.RestPeriod);
    j["RestTime"] = Copy(s.RestTime);
    j["RestStrokes"] = Copy(s.RestStrokes);
    j["RestDistance"] = Copy(s.RestDistance);
    j["RestEnergy"] = Copy(s.RestEnergy);
    j["Display"] = Copy(s.Display);
    return j;
}

TJson StrokeJson(const TStgStrokeData& s)
{
    TJson j;
    j["StrokeNumber"] = Copy(s.StrokeNumber);
    j["Power"] = FloatJson(s.Power);
    j["AveragePower"] = FloatJson(s.AveragePower);
    j["StrokeRate"] = FloatJson(s.StrokeRate);
    j["Target"] = FloatJson(s.Target);
    j["Time"] = FloatJson(s.Time);
    j["StrokeLength"] = FloatJson(s.StrokeLength);
    j["Distance"] = FloatJson(s.Distance);
    j["Time500"] = FloatJson(s.Time500);
    j["Energy"] = FloatJson(s.Energy);
    j["EnergySum"] = FloatJson(s.EnergySum);
    j["Pulse"] = FloatJson(s.Pulse);
    j["WorkPerPulse"] = FloatJson(s.WorkPerPulse);
    j["PeakForce"] = FloatJson(s.PeakForce);
    j["PeakForcePosition"] = FloatJson(s.PeakForcePosition);
    j["PeakForceRelative"] = FloatJson(s.PeakForceRelative);
    j["RecoverRatio"] = FloatJson(s.RecoverRatio);
    j["KValue"] = FloatJson(s.KValue);
    j["IntervalNumber"] = Copy(s.IntervalNumber);
    j["IntervalCountdown"] = Copy(s.IntervalCountdown);
    j["IntervalPower"] = Copy(s.IntervalPower);
    j["DriveTime"] = FloatJson(s.DriveTime);
    j["DistancePerStroke"] = FloatJson(s.DistancePerStroke);
    return j;
}

TJson CurveJson(const TStgForceCurve& c)
{
    TJson j;
    j["StrokeNumber"] = Copy(c.StrokeNumber);
    j["HasData"] = Copy(c.HasData);
    TJson samples = TJson::array();
    uint16_t values[kCurveSamples];
    std::memcpy(values, c.Samples, sizeof values);
    for (uint16_t v : values) samples.push_back(v);
    j["Samples"] = std::move(samples);
    return j;
}

TJson IntervalJson(const TTrainingInterval& i)
{
    TJson j;
    j["Number"] = Copy(i.Number);
    j["AveragePower"] = Copy(i.AveragePower);
    j["AverageStrokeRate"] = Copy(i.AverageStrokeRate);
    j["TotalTime"] = Copy(i.TotalTime);
    j["TotalDistance"] = Copy(i.TotalDistance);
    j["AveragePulse"] = Copy(i.AveragePulse);
    j["Curve"] = CurveJson(i.Curve);
    j["Stroke"] = StrokeJson(i.Stroke);
    return j;
}

TJson TotalsJson(const TTrainingTotals& t)
{
    TJson j;
    j["Distance"] = FloatJson(t.Distance);
    j["Time"] = FloatJson(t.Time);
    j["Energy"] = FloatJson(t.Energy);
    j["AveragePower"] = FloatJson(t.AveragePower);
    return j;
}

namespace {

// Pretty JSON written as it goes, laid out as nlohmann's dump with an indent
// of 2 lays out the same tree: members and elements on lines of their own,
// empty arrays as "[]".
class TJsonStream {
public:
    explicit TJsonStream(const TJsonSink& sink) : Sink(sink) { Buffer.reserve(kFlushAt + 4096); }

    bool Ok() const { return !Failed; }

    void Raw(std::string_view text)
    {
        if (Failed) return;
        Buffer.append(text);
        if (Buffer.size() >= kFlushAt) Flush();
    }
    bool Flush()
    {
        if (!Failed && !Buffer.empty() && !Sink(Buffer.data(), Buffer.size())) Failed = true;
        Buffer.clear();
        return !Failed;
    }
    void Indent(int depth) { Raw(std::string_view(kSpaces, size_t(std::min(depth * 2, kMaxIndent)))); }

    // A whole value at depth: its inner lines indented to sit there.
    void Value(const TJson& j, int depth)
    {
        const std::string text = JsonText(j);
        size_t from = 0;
        for (size_t nl = text.find('\n'); nl != std::string::npos; nl = text.find('\n', from)) {
            Raw(std::string_view(text).substr(from, nl + 1 - from));
            Indent(depth);
            from = nl + 1;
        }
        Raw(std::string_view(text).substr(from));
    }

    // Objects and arrays opened and closed piece by piece.
    void Open(char bracket)
    {
        Raw(std::string_view(&bracket, 1));
        Levels.push_back(true);
    }
    void Close(char bracket)
    {
        const bool empty = Levels.back();
        Levels.pop_back();
        if (!empty) {
            Raw("\n");
            Indent(int(Levels.size()));
        }
        Raw(std::string_view(&bracket, 1));
    }
    // Starts the next member ("key": ) or element of the innermost open level.
    void Next(const char* key = nullptr)
    {
        Raw(Levels.back() ? "\n" : ",\n");
        Levels.back() = false;
        Indent(int(Levels.size()));
        if (key) {
            Raw("\"");
            Raw(key);
            Raw("\": ");
        }
    }
    void Member(const char* key, const TJson& j)
    {
        Next(key);
        Value(j, Depth());
    }
    void Element(const TJson& j)
    {
        Next();
        Value(j, Depth());
    }
    int Depth() const { return int(Levels.size()); }

private:
    static constexpr size_t kFlushAt = 1 << 16;
    static constexpr int kMaxIndent = 32;
    static constexpr const char* kSpaces = "                                ";
    const TJsonSink& Sink;
    std::string Buffer;
    std::vector<bool> Levels;  // per open level: nothing written in it yet
    bool Failed = false;
};

// A raw sample as the element [Value, Flag] at depth 2, written directly:
// sessions hold millions of them.
void RawSample(TJsonStream& out, const TRawSample& r)
{
    const int16_t value = r.Value;
    const uint8_t flag = r.Flag;
    char buf[64];
    char* p = buf;
    auto put = [&p](const char* s) {
        while (*s) *p++ = *s++;
    };
    put("[\n      ");
    p = std::to_chars(p, buf + sizeof buf, value).ptr;
    put(",\n      ");
    p = std::to_chars(p, buf + sizeof buf, flag).ptr;
    put("\n    ]");
    out.Next();
    out.Raw(std::string_view(buf, size_t(p - buf)));
}

}  // namespace

bool WriteTrainingJson(const TTraining& t, bool values, const TJsonSink& sink, const THeartZones* zones)
{
    TJsonStream out(sink);
    char magic[5] = {};
    for (int k = 0; k < 4; ++k) {
        char c = char((t.Magic >> (8 * k)) & 0xFF);
        magic[k] = c >= 32 && c < 127 ? c : '?';
    }
    out.Open('{');
    out.Member("Magic", t.Magic ? std::string(magic) : std::string());
    out.Member("ProgramVersion", t.ProgramVersion);
    out.Member("ClientId", t.ClientId);
    out.Member("RowStatus", t.RowStatus);
    out.Member("Live", t.Live);
    out.Member("ShowAllCurves", t.ShowAllCurves);
    out.Member("Header", HeaderJson(t.Header));
    out.Member("Settings", SettingsJson(t.Settings));
    out.Next("Strokes");
    out.Open('[');
    for (const auto& s : t.Strokes) {
        if (!out.Ok()) return false;
        out.Element(StrokeJson(s));
    }
    out.Close(']');
    out.Next("Curves");
    out.Open('[');
    for (const auto& c : t.Curves) {
        if (!out.Ok()) return false;
        out.Element(CurveJson(c));
    }
    out.Close(']');
    out.Next("Intervals");
    out.Open('[');
    for (const auto& i : t.Intervals) out.Element(IntervalJson(i));
    out.Close(']');
    out.Next("RawSamples");
    out.Open('[');
    for (const auto& r : t.RawSamples) {
        if (!out.Ok()) return false;
        RawSample(out, r);
    }
    out.Close(']');
    out.Member("Totals", TotalsJson(t.Totals));
    if (values) {
        out.Next("StrokeTexts");
        out.Open('[');
        for (const auto& s : t.Strokes) {
            if (!out.Ok()) return false;
            TJson row = TJson::array();
            for (int i = 0; i < kStrokeParameterCount; ++i) row.push_back(StrokeValueText(s, i, t.Settings));
            out.Element(row);
        }
        out.Close(']');
        out.Next("IntervalTexts");
        out.Open('[');
        for (const auto& iv : t.Intervals) {
            TJson row = TJson::array();
            for (int i = 0; i < kIntervalParameterCount; ++i) row.push_back(IntervalValueText(iv, i));
            out.Element(row);
        }
        out.Close(']');
        TJson totalTexts = TJson::array();
        for (int i = 0; i < kTotalParameterCount; ++i) totalTexts.push_back(TotalValueText(t, i));
        out.Member("TotalTexts", totalTexts);
        if (zones) {
            TJson extra;
            AddSplitsAndZones(extra, t, *zones);
            out.Member("SplitTexts", extra["SplitTexts"]);
            out.Member("Zones", extra["Zones"]);
        }
    }
    out.Close('}');
    out.Raw("\n");
    return out.Flush();
}

void AddSplitsAndZones(TJson& j, const TTraining& t, const THeartZones& zones)
{
    TJson splits = TJson::array();
    for (const TSplit& s : ComputeSplits(t, sptDistance, 500)) {
        TJson row = TJson::array();
        for (int i = 0; i < kSplitParameterCount; ++i) row.push_back(SplitValueText(s, i));
        splits.push_back(std::move(row));
    }
    j["SplitTexts"] = std::move(splits);
    const TZoneTimes z = ComputeZoneTimes(t, zones);
    TJson zj;
    zj["MaxHeartRate"] = zones.MaxHeartRate;
    zj["LowerBounds"] = TJson(std::vector<int>(zones.Lower.begin(), zones.Lower.end()));
    zj["Seconds"] = TJson(std::vector<double>(z.Seconds.begin(), z.Seconds.end()));
    zj["Below"] = z.Below;
    zj["NoHeartRate"] = z.NoHeartRate;
    j["Zones"] = std::move(zj);
}

std::string JsonText(const TJson& j) { return j.dump(2, ' ', false, TJson::error_handler_t::replace); }
