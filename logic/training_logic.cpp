#include "logic/training_logic.h"

#include <QDateTime>
#include <QLocale>

#include <cmath>

#include "core/catalogue.h"
#include "core/values.h"
#include "files/training_io.h"
#include "util/date_time.h"
#include "util/paths.h"
#include "util/profile.h"
#include "util/text.h"
#include "util/version.h"

bool IsTimeEdit(const TTrainingSettings& s, int tag)
{
    switch (tag) {
    case wetLimitValue: return s.LimitType == kLimitTypeTime;
    case wetWorkPeriod:
    case wetRestPeriod: return s.IntervalBy == kIntervalByTime;
    default: return false;
    }
}

std::string SecondsToTimeText(int64_t seconds)
{
    if (seconds < 0) seconds = 0;
    int64_t h = (seconds / 3600) % 24;
    int64_t n = (seconds / 60) % 60;
    int64_t s = seconds % 60;
    return Format("%d:%02d:%02d", int(h), int(n), int(s));
}

bool TryParseTimeText(const std::string& text, int32_t& seconds)
{
    std::vector<std::string> parts = SplitString(Trim(text), ':');
    if (parts.empty() || parts.size() > 3) return false;
    int32_t h = 0, n = 0;
    double s = 0;
    auto wholeNumber = [](const std::string& p, int32_t& v) {
        if (p.empty() || p.size() > 4) return false;
        for (char c : p)
            if (c < '0' || c > '9') return false;
        v = std::stoi(p);
        return true;
    };
    if (!wholeNumber(Trim(parts[0]), h) || h > 23) return false;
    if (parts.size() >= 2 && (!wholeNumber(Trim(parts[1]), n) || n > 59)) return false;
    if (parts.size() == 3) {
        std::string p = Trim(parts[2]);
        if (p.empty() || !(p[0] >= '0' && p[0] <= '9')) return false;
        for (char c : p)
            if (!((c >= '0' && c <= '9') || c == '.' || c == ',')) return false;
        if (!TryParseDecimal(p, s) || s >= 60) return false;
    }
    seconds = int32_t(std::lround(h * 3600.0 + n * 60.0 + s));
    return true;
}

int32_t ClampWorkoutValue(int64_t value)
{
    if (value < 0) return 0;
    if (value > 65535) return 65535;
    return int32_t(value);
}

std::string WorkoutEditText(const TTrainingSettings& s, int tag)
{
    int32_t v = 0;
    switch (tag) {
    case wetWeight: return std::to_string(s.Weight);
    case wetLimitValue: v = LimitValue(s); break;
    case wetWorkPeriod: v = WorkPeriodFor(s, s.IntervalBy); break;
    case wetRestPeriod: v = RestPeriodFor(s, s.IntervalBy); break;
    case wetStartValue: return std::to_string(s.StartValue);
    case wetStepValue: return std::to_string(s.StepValue);
    case wetRestValue: return std::to_string(s.RestValue);
    default: return std::string();
    }
    return IsTimeEdit(s, tag) ? SecondsToTimeText(v) : std::to_string(v);
}

int WorkoutComboIndex(const TTrainingSettings& s, int tag)
{
    switch (tag) {
    case wctGender: return s.Gender;
    case wctBoat: return s.BoatType;
    case wctSprocket: return s.Sprocket;
    case wctErgometer: return s.Ergometer;
    case wctSessionLimit: return s.LimitType;
    case wctIntervalBy: return s.IntervalBy;
    case wctDisplay: return s.Display;
    default: return -1;
    }
}

namespace {

bool Store(int32_t& field, int32_t value)
{
    if (field == value) return false;
    field = value;
    return true;
}

}  // namespace

TWorkoutApplyResult ApplyWorkoutEdit(TTrainingSettings& s, int tag, const std::string& text)
{
    TWorkoutApplyResult r;
    if (tag < wetWeight || tag > wetRestValue) {
        r.Accepted = false;
        r.Error = Format("Unknown tag : %d", tag);
        return r;
    }
    int64_t value = 0;
    if (IsTimeEdit(s, tag)) {
        int32_t secs = 0;
        if (!TryParseTimeText(text, secs)) secs = 0;  // an unreadable time counts as 0 seconds
        value = secs;
    } else {
        int32_t v = 0;
        if (!TryParseInt(text, v)) {
            r.Accepted = false;
            r.Error = Format("'%s' is not a valid integer value", text.c_str());
            return r;
        }
        value = v;
    }
    if (tag == wetWeight) {
        r.Changed = Store(s.Weight, int32_t(value));
        return r;
    }
    int32_t v = ClampWorkoutValue(value);
    switch (tag) {
    case wetLimitValue: {
        int32_t before = LimitValue(s);
        SetLimitValue(s, v);
        r.Changed = LimitValue(s) != before;
        break;
    }
    case wetWorkPeriod: {
        int32_t before = WorkPeriodFor(s, s.IntervalBy);
        SetWorkPeriodFor(s, s.IntervalBy, v);
        r.Changed = WorkPeriodFor(s, s.IntervalBy) != before;
        r.Changed = Store(s.WorkPeriod, v) || r.Changed;
        break;
    }
    case wetRestPeriod: {
        int32_t before = RestPeriodFor(s, s.IntervalBy);
        SetRestPeriodFor(s, s.IntervalBy, v);
        r.Changed = RestPeriodFor(s, s.IntervalBy) != before;
        r.Changed = Store(s.RestPeriod, v) || r.Changed;
        break;
    }
    case wetStartValue: r.Changed = Store(s.StartValue, v); break;
    case wetStepValue: r.Changed = Store(s.StepValue, v); break;
    case wetRestValue: r.Changed = Store(s.RestValue, v); break;
    }
    return r;
}

TWorkoutApplyResult ApplyWorkoutCombo(TTrainingSettings& s, int tag, int index)
{
    TWorkoutApplyResult r;
    int32_t v = ClampWorkoutValue(index);
    switch (tag) {
    case wctGender: r.Changed = Store(s.Gender, v); break;
    case wctBoat: r.Changed = Store(s.BoatType, v); break;
    case wctSprocket: r.Changed = Store(s.Sprocket, v); break;
    case wctErgometer: r.Changed = Store(s.Ergometer, v); break;
    case wctSessionLimit: r.Changed = Store(s.LimitType, v); break;
    case wctIntervalBy: r.Changed = Store(s.IntervalBy, v); break;
    case wctDisplay: r.Changed = Store(s.Display, v); break;
    default:
        r.Accepted = false;
        r.Error = Format("Unknown tag : %d", tag);
        break;
    }
    return r;
}

TTrainingEnabling TrainingEnabling(const TTraining& t, bool editAllowed)
{
    TTrainingEnabling e;
    e.ResetEnabled = !IsEmptyTraining(t) && editAllowed;
    e.WorkoutEnabled = IsUserOnly(t) && editAllowed;
    e.IntervalsVisible = t.Settings.LimitType == kLimitTypeIntervals;
    return e;
}

std::string ModifiedCaption(const std::string& caption, bool modified)
{
    static const std::string kMark = " (*)";
    std::string base = caption;
    if (base.size() >= kMark.size() && base.compare(base.size() - kMark.size(), kMark.size(), kMark) == 0)
        base.erase(base.size() - kMark.size());
    return modified ? base + kMark : base;
}

std::string SystemDateTimeText(double days)
{
    if (!std::isfinite(days)) return std::string();
    std::time_t secs = DaysToUnix(days);
    QDateTime dt = QDateTime::fromSecsSinceEpoch(qint64(secs));
    if (!dt.isValid()) return std::string();
    return QLocale::system().toString(dt, QLocale::ShortFormat).toStdString();
}

TFileGroupTexts FileGroupTexts(const std::string& fileName, double date, int32_t size, uint8_t type, uint8_t kind,
                               TDateFormatter formatter)
{
    TFileGroupTexts g;
    g.File = fileName.empty() ? "-" : ExtractFileName(fileName);
    if (g.File.empty()) g.File = "-";
    g.DateTime = "-";
    if (date > 1 && date < 73000) {
        std::string text = formatter ? formatter(date) : std::string();
        if (!text.empty()) g.DateTime = text;
    }
    int64_t bytes = 0;
    if (!fileName.empty() && FileExists(fileName)) bytes = FileSizeOf(fileName);
    else bytes = size;
    g.Size = bytes > 0 ? Format("%lld bytes", (long long)bytes) : "-";
    if (kind == 0) g.Type = "-";
    else
        g.Type = Format("%s (%s)", ListText(ContentKindNames(), kind).c_str(), ListText(FileTypeNames(), type).c_str());
    return g;
}

TFileGroupTexts TrainingFileTexts(const TTrainingHeader& h)
{
    return FileGroupTexts(h.FileName.Text(), h.FileDate, h.FileSize, h.FileType, h.ContentKind);
}

TFileGroupTexts OriginalFileTexts(const TTrainingHeader& h)
{
    return FileGroupTexts(h.OriginalFileName.Text(), h.OriginalDate, h.OriginalSize, h.OriginalType, h.OriginalKind);
}

std::string InterfaceLabelText(const TTraining& t)
{
    std::string s;
    if (IsEmptyTraining(t)) return s;
    if (t.Header.InterfaceType != 0) s += ListText(InterfaceTypeNames(), t.Header.InterfaceType) + " @ ";
    if (t.Header.Creator != 0) s += ListText(CreatorNames(), t.Header.Creator) + " ";
    if (t.ProgramVersion != 0) s += VersionText(t.ProgramVersion);
    s += "  ";
    return s;
}

std::string ClientAddressText(const TTraining& t)
{
    if (t.Client.Address.empty()) return "-";
    return Format("%s:%d", t.Client.Address.c_str(), t.Client.Port);
}

std::string ClientIdStatusText(const TTraining& t)
{
    return Format("%d / %s", t.ClientId, ListText(RowStatusNames(), t.RowStatus).c_str());
}

float AverageRecoverRatio(const TTraining& t)
{
    const int n = t.StrokeCount();
    float sum = 0;
    for (int k = 1; k <= n; ++k) sum += StrokeValue(t.Strokes[size_t(k)], spRecoverRatio, t.Settings);
    return SafeDivide(n, sum);
}

std::string StrokeParameterText(int parameter, float value)
{
    return Trim(FormatValue(ParameterFormat(parameter), value) + " " + ParameterUnit(parameter));
}

TTotalsTexts TotalsTexts(const TTraining& t)
{
    TTotalsTexts x;
    x.Distance = TotalValueTextWithUnit(t, 0);
    x.Time = TotalValueTextWithUnit(t, 1);
    x.Energy = TotalValueTextWithUnit(t, 2);
    x.Strokes = TotalValueTextWithUnit(t, 4);
    x.Power = TotalValueTextWithUnit(t, 3);
    x.Time500 = TotalValueTextWithUnit(t, 5);
    x.StrokeRate = TotalValueTextWithUnit(t, 6);
    x.DRRatio = StrokeParameterText(spRecoverRatio, AverageRecoverRatio(t));
    return x;
}

TResultsFigures ResultsFigures(const TTraining& t)
{
    TResultsFigures f;
    const int n = t.StrokeCount();
    for (int k = 1; k <= n; ++k) {
        const TStgStrokeData& s = t.Strokes[size_t(k)];
        float power = StrokeValue(s, spPower, t.Settings);
        float t500 = StrokeValue(s, spTime500, t.Settings);
        float rate = StrokeValue(s, spStrokeRate, t.Settings);
        float ratio = StrokeValue(s, spRecoverRatio, t.Settings);
        if (power > f.MaxPower) f.MaxPower = power;
        if (t500 < f.Min500m) f.Min500m = t500;
        if (rate > f.MaxStrokeRate) f.MaxStrokeRate = rate;
        if (ratio > f.MaxRatio) f.MaxRatio = ratio;
        f.RatioSum += ratio;
    }
    f.AverageRatio = SafeDivide(n, f.RatioSum);
    return f;
}

TResultsTexts ResultsTexts(const TTraining& t)
{
    TResultsTexts r;
    r.Caption = Format("Results for %s", t.Header.Title.Text().c_str());
    r.Totals = TotalsTexts(t);
    TResultsFigures f = ResultsFigures(t);
    r.Totals.DRRatio = StrokeParameterText(spRecoverRatio, f.AverageRatio);
    r.MaxPower = StrokeParameterText(spPower, f.MaxPower);
    // Without strokes the smallest 500 m time keeps its start value, which is
    // no time at all: it is shown as 0 like the other maxima.
    r.Max500m = StrokeParameterText(spTime500, t.StrokeCount() > 0 ? f.Min500m : 0.0f);
    r.MaxStrokeRate = StrokeParameterText(spStrokeRate, f.MaxStrokeRate);
    r.MaxDriveRecover = StrokeParameterText(spRecoverRatio, f.MaxRatio);
    return r;
}

const std::vector<std::string>& SplitPresets(int splitType)
{
    static const std::vector<std::string> kStrokes = {"5 strokes",  "10 strokes", "20 strokes",
                                                      "25 strokes", "50 strokes", "100 strokes"};
    static const std::vector<std::string> kDistance = {"50 meter", "100 meter", "250 meter", "500 meter", "1000 meter"};
    static const std::vector<std::string> kTime = {"0:30 m:s", "1:00 m:s", "2:00 m:s",
                                                   "2:30 m:s", "4:00 m:s", "5:00 m:s"};
    switch (splitType) {
    case 1: return kDistance;
    case 2: return kTime;
    default: return kStrokes;
    }
}

int SplitPresetIndex(int splitType, int remembered)
{
    int n = int(SplitPresets(splitType).size());
    if (remembered < 0 || remembered >= n) return 2;
    return remembered;
}

std::vector<std::string> ReadRememberedList(const TProfileFile& file, const std::string& section)
{
    std::vector<std::string> items;
    for (const std::string& v : file.ReadSectionValueList(section))
        if (!v.empty()) items.push_back(v);
    return items;
}

void WriteRememberedList(TProfileFile& file, const std::string& section, const std::vector<std::string>& items)
{
    file.EraseSection(section);
    for (size_t i = 0; i < items.size(); ++i)
        if (!items[i].empty()) file.WriteString(section, std::to_string(i), items[i]);
}

bool RememberEntry(std::vector<std::string>& items, const std::string& text)
{
    if (text.empty()) return false;
    for (const auto& i : items)
        if (i == text) return false;
    items.push_back(text);
    return true;
}

bool PrepareTrainingFileSave(TTrainingHeader& h, const std::string& path, bool emptySession)
{
    if (path.empty() || h.FileType != 0 || FileTypeOf(path) != ftSTG) return false;
    h.FileType = ftSTG;
    if (h.ContentKind == ckNone) h.ContentKind = emptySession ? ckUser : ckTraining;
    return true;
}

std::string NothingSavedText(const std::string& title, const std::string& path)
{
    if (path.empty())
        return Format(
            "Training session \"%s\" was not saved.\rA session of this kind cannot be written as the chosen "
            "file type.",
            title.c_str());
    return Format("Training session \"%s\" was not saved.\rA session of this kind cannot be written to \"%s\".",
                  title.c_str(), path.c_str());
}
