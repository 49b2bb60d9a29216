#include "tools/cli/cli_json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/catalogue.h"
#include "core/intervals.h"
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
    j["FileDate"] = h.FileDate;
    j["FileSize"] = h.FileSize;
    j["FileType"] = h.FileType;
    j["ContentKind"] = h.ContentKind;
    j["Title"] = Text(h.Title);
    j["Name"] = Text(h.Name);
    j["Description"] = Text(h.Description);
    j["DateTime"] = h.DateTime;
    j["TrainingType"] = Text(h.TrainingType);
    j["Event"] = Text(h.Event);
    j["Note"] = Text(h.Note);
    j["OriginalFileName"] = Text(h.OriginalFileName);
    j["OriginalDate"] = h.OriginalDate;
    j["OriginalSize"] = h.OriginalSize;
    j["OriginalType"] = h.OriginalType;
    j["OriginalKind"] = h.OriginalKind;
    j["Active"] = h.Active;
    j["SelectedStroke"] = h.SelectedStroke;
    j["Color"] = h.Color;
    j["PenStyle"] = h.PenStyle;
    j["PenWidth"] = h.PenWidth;
    j["Modified"] = h.Modified;
    j["CurveSource"] = h.CurveSource;
    j["CurveInterval"] = h.CurveInterval;
    j["Creator"] = h.Creator;
    j["InterfaceType"] = h.InterfaceType;
    j["InterfaceDetail"] = h.InterfaceDetail;
    j["InterfaceText"] = Text(h.InterfaceText);
    j["Guid"] = GuidToString(h.Guid);
    return j;
}

TJson SettingsJson(const TTrainingSettings& s)
{
    TJson j;
    j["Weight"] = s.Weight;
    j["Gender"] = s.Gender;
    j["BoatType"] = s.BoatType;
    j["Ergometer"] = s.Ergometer;
    j["Sprocket"] = s.Sprocket;
    j["LimitType"] = s.LimitType;
    j["LimitIntervals"] = s.LimitIntervals;
    j["LimitTime"] = s.LimitTime;
    j["LimitStrokes"] = s.LimitStrokes;
    j["LimitDistance"] = s.LimitDistance;
    j["LimitEnergy"] = s.LimitEnergy;
    j["StartValue"] = s.StartValue;
    j["StepValue"] = s.StepValue;
    j["RestValue"] = s.RestValue;
    j["IntervalBy"] = s.IntervalBy;
    j["WorkPeriod"] = s.WorkPeriod;
    j["WorkTime"] = s.WorkTime;
    j["WorkStrokes"] = s.WorkStrokes;
    j["WorkDistance"] = s.WorkDistance;
    j["WorkEnergy"] = s.WorkEnergy;
    j["RestPeriod"] = s.RestPeriod;
    j["RestTime"] = s.RestTime;
    j["RestStrokes"] = s.RestStrokes;
    j["RestDistance"] = s.RestDistance;
    j["RestEnergy"] = s.RestEnergy;
    j["Display"] = s.Display;
    return j;
}

TJson StrokeJson(const TStgStrokeData& s)
{
    TJson j;
    j["StrokeNumber"] = s.StrokeNumber;
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
    j["IntervalNumber"] = s.IntervalNumber;
    j["IntervalCountdown"] = s.IntervalCountdown;
    j["IntervalPower"] = s.IntervalPower;
    j["DriveTime"] = FloatJson(s.DriveTime);
    j["DistancePerStroke"] = FloatJson(s.DistancePerStroke);
    return j;
}

TJson CurveJson(const TStgForceCurve& c)
{
    TJson j;
    j["StrokeNumber"] = c.StrokeNumber;
    j["HasData"] = c.HasData;
    TJson samples = TJson::array();
    for (uint16_t v : c.Samples) samples.push_back(v);
    j["Samples"] = std::move(samples);
    return j;
}

TJson IntervalJson(const TTrainingInterval& i)
{
    TJson j;
    j["Number"] = i.Number;
    j["AveragePower"] = i.AveragePower;
    j["AverageStrokeRate"] = i.AverageStrokeRate;
    j["TotalTime"] = i.TotalTime;
    j["TotalDistance"] = i.TotalDistance;
    j["AveragePulse"] = i.AveragePulse;
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

TJson TrainingJson(const TTraining& t, bool values)
{
    TJson j;
    char magic[5] = {};
    for (int k = 0; k < 4; ++k) {
        char c = char((t.Magic >> (8 * k)) & 0xFF);
        magic[k] = c >= 32 && c < 127 ? c : '?';
    }
    j["Magic"] = t.Magic ? std::string(magic) : std::string();
    j["ProgramVersion"] = t.ProgramVersion;
    j["ClientId"] = t.ClientId;
    j["RowStatus"] = t.RowStatus;
    j["Live"] = t.Live;
    j["ShowAllCurves"] = t.ShowAllCurves;
    j["Header"] = HeaderJson(t.Header);
    j["Settings"] = SettingsJson(t.Settings);
    TJson strokes = TJson::array();
    for (const auto& s : t.Strokes) strokes.push_back(StrokeJson(s));
    j["Strokes"] = std::move(strokes);
    TJson curves = TJson::array();
    for (const auto& c : t.Curves) curves.push_back(CurveJson(c));
    j["Curves"] = std::move(curves);
    TJson intervals = TJson::array();
    for (const auto& i : t.Intervals) intervals.push_back(IntervalJson(i));
    j["Intervals"] = std::move(intervals);
    TJson raw = TJson::array();
    for (const auto& r : t.RawSamples) raw.push_back(TJson::array({r.Value, r.Flag}));
    j["RawSamples"] = std::move(raw);
    j["Totals"] = TotalsJson(t.Totals);
    if (values) {
        TJson strokeTexts = TJson::array();
        for (const auto& s : t.Strokes) {
            TJson row = TJson::array();
            for (int i = 0; i < kStrokeParameterCount; ++i) row.push_back(StrokeValueText(s, i, t.Settings));
            strokeTexts.push_back(std::move(row));
        }
        j["StrokeTexts"] = std::move(strokeTexts);
        TJson intervalTexts = TJson::array();
        for (const auto& iv : t.Intervals) {
            TJson row = TJson::array();
            for (int i = 0; i < kIntervalParameterCount; ++i) row.push_back(IntervalValueText(iv, i));
            intervalTexts.push_back(std::move(row));
        }
        j["IntervalTexts"] = std::move(intervalTexts);
        TJson totalTexts = TJson::array();
        for (int i = 0; i < kTotalParameterCount; ++i) totalTexts.push_back(TotalValueText(t, i));
        j["TotalTexts"] = std::move(totalTexts);
    }
    return j;
}

std::string JsonText(const TJson& j) { return j.dump(2, ' ', false, TJson::error_handler_t::replace); }
