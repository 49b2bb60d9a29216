#include "core/records.h"

#include <algorithm>
#include <cstring>

#include "util/date_time.h"
#include "util/dialogs.h"
#include "util/text.h"
#include "util/version.h"

template <size_t N>
std::string TShortString<N>::Text() const
{
    return DecodeText(Data, std::min<size_t>(Length, N));
}

template <size_t N>
void TShortString<N>::SetText(const std::string& utf8)
{
    std::vector<uint8_t> bytes = EncodeText(utf8);
    size_t n = std::min(bytes.size(), N);
    // Never cut a UTF-8 sequence in half.
    if (n < bytes.size())
        while (n > 0 && (bytes[n] & 0xC0) == 0x80 && IsValidUtf8(bytes.data(), bytes.size())) --n;
    // An empty text has no bytes to copy (and its buffer may be null).
    if (n > 0) std::memcpy(Data, bytes.data(), n);
    Length = uint8_t(n);
}

template struct TShortString<255>;

namespace {
uint16_t gPaletteCounter = 0;

const std::vector<std::string> kGender{"-", "Male", "Female"};
const std::vector<std::string> kBoat{"-", "1X", "2+", "2-", "2X", "4+", "4-", "4X", "8+"};
const std::vector<std::string> kErgometer{"-", "Vantor", "Concept II A-E", "Oartec Slider", "Vantor3"};
const std::vector<std::string> kSprocket{"-", "Small left", "Big right"};
const std::vector<std::string> kLimitType{"Strokes", "Energy", "Distance", "Time", "Intervals"};
const std::vector<std::string> kIntervalBy{"Strokes", "Energy", "Distance", "Time"};
const std::vector<std::string> kDisplay{"Normal", "Conconi"};
const std::vector<std::string> kColorNames{"Red",    "Lime",  "Yellow", "Blue", "Fuchsia", "Aqua", "White",   "Black",
                                           "Maroon", "Green", "Olive",  "Navy", "Purple",  "Teal", "DarkGray"};
const std::vector<std::string> kRowStatus{"-", "Connecting", "Rowing", "Paused", "Finished", "Disconnected"};
const std::vector<std::string> kFileType{"-",   "BRM", "INI", "SED", "SES",    "STG", "STR", "TXT",
                                         "XLS", "BXI", "BXS", "BXR", "FITLOG", "FIT", "CSV"};
const std::vector<std::string> kContentKind{"-",           "Force Curves", "Desktop",         "Intervals",
                                            "Stroke Data", "Stroke",       "Training",        "User",
                                            "Manual",      "Row",          "Full stroke data"};
const std::vector<std::string> kInterfaceType{
    "Unknown", "VT Interface", "VT3 Interface",          "OTM",
    "Brax",    "OartecDebug",  "VT3 Wireless Interface", "FTMS Rowing Machine"};
const std::vector<std::string> kCreator{"Unknown", "Vantor",   "Brax",      "Vtw",    "Oartec", "Concept2",
                                        "RowLog",  "ErgData",  "Desktop",   "Import", "Manual", "Demo",
                                        "Slider",  "Wireless", "Catchline", "Other"};
const std::vector<int32_t> kPalette{0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF, 0x000000,
                                    0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0x808080};
}  // namespace

const std::vector<std::string>& GenderNames() { return kGender; }
const std::vector<std::string>& BoatNames() { return kBoat; }
const std::vector<std::string>& ErgometerNames() { return kErgometer; }
const std::vector<std::string>& SprocketNames() { return kSprocket; }
const std::vector<std::string>& LimitTypeNames() { return kLimitType; }
const std::vector<std::string>& IntervalByNames() { return kIntervalBy; }
const std::vector<std::string>& DisplayNames() { return kDisplay; }
const std::vector<std::string>& ColorNames() { return kColorNames; }
const std::vector<std::string>& RowStatusNames() { return kRowStatus; }
const std::vector<std::string>& FileTypeNames() { return kFileType; }
const std::vector<std::string>& ContentKindNames() { return kContentKind; }
const std::vector<std::string>& InterfaceTypeNames() { return kInterfaceType; }
const std::vector<std::string>& CreatorNames() { return kCreator; }
const std::vector<int32_t>& PaletteColors() { return kPalette; }

std::string ListText(const std::vector<std::string>& list, int index)
{
    return index >= 0 && size_t(index) < list.size() ? list[size_t(index)] : std::string();
}

std::string StoredListText(const std::vector<std::string>& list, int value) { return ListText(list, value + 1); }

TStgStrokeData EmptyStroke(int number)
{
    TStgStrokeData s{};
    s.StrokeNumber = uint16_t(number);
    return s;
}

TStgForceCurve EmptyCurve(int number)
{
    TStgForceCurve c{};
    c.StrokeNumber = int16_t(number);
    c.HasData = 0;
    return c;
}

void ClearTraining(TTraining& t)
{
    t = TTraining{};
    SetStrokeCount(t, 0);
    SetIntervalCount(t, 0);
}

void SetStrokeCount(TTraining& t, int n)
{
    if (n < -1) n = -1;
    if (n == -1) {
        int i = t.StrokeCount();
        while (i > 0 && t.Strokes[size_t(i)].Time == 0) --i;
        size_t len = size_t(i) + 1;
        if (t.Strokes.empty()) {
            t.Strokes.push_back(TStgStrokeData{});
        }
        t.Strokes.resize(len);
        t.Curves.resize(len, TStgForceCurve{});
        return;
    }
    if (n == 0) {
        t.Strokes.assign(1, TStgStrokeData{});
        t.Curves.assign(1, TStgForceCurve{});
        return;
    }
    size_t len = size_t(n) + 1;
    size_t oldStrokes = t.Strokes.size();
    size_t oldCurves = t.Curves.size();
    t.Strokes.resize(len);
    t.Curves.resize(len);
    for (size_t i = oldStrokes; i < len; ++i) t.Strokes[i] = EmptyStroke(int(i));
    for (size_t i = oldCurves; i < len; ++i) t.Curves[i] = EmptyCurve(int(i));
}

void SetIntervalCount(TTraining& t, int n)
{
    if (n <= 0) {
        t.Intervals.clear();
        return;
    }
    size_t old = t.Intervals.size();
    if (size_t(n) <= old) return;
    t.Intervals.resize(size_t(n));
    for (size_t i = old; i < size_t(n); ++i) {
        t.Intervals[i] = TTrainingInterval{};
        t.Intervals[i].Number = uint16_t(i + 1);
    }
}

bool IsEmptyTraining(const TTraining& t)
{
    return t.Strokes.size() <= 1 && t.Curves.size() <= 1 && t.Intervals.empty() && t.RawSamples.size() <= 1 &&
           t.Totals.Distance == 0 && t.Totals.Time == 0 && t.Totals.Energy == 0 && t.Totals.AveragePower == 0;
}

bool IsUserOnly(const TTrainingHeader& h)
{
    return h.ContentKind == ckUser || h.ContentKind == ckManual || h.OriginalKind == ckUser;
}

void ResetTraining(TTraining& t)
{
    SetStrokeCount(t, 0);
    SetIntervalCount(t, 0);
    t.RawSamples.clear();
    t.Totals = TTrainingTotals{};
    t.Magic = kTrainingMagic;
    t.ProgramVersion = ProgramVersion();
    auto& h = t.Header;
    h.Modified = 1;
    h.Active = 1;
    h.DateTime = NowDays();
    h.SelectedStroke = 0;
    h.FileName.SetText("?");
    h.FileDate = 0;
    h.FileSize = 0;
    h.FileType = 0;
    h.ContentKind = ckUser;
    h.InterfaceType = 0;
    h.InterfaceDetail = 0;
    h.Guid = NewGuid();
    t.Live = 0;
}

bool HasUnsavedStrokes(const TTraining& t)
{
    // Live marks a session recorded from a device; a save clears Modified.
    return t.Header.Modified == 1 && t.Live == 1 && t.StrokeCount() > 0;
}

TConfirmResult ConfirmReset(TTraining& t, int reason, const std::function<bool()>& save)
{
    if (IsEmptyTraining(t)) return {true, false};
    std::string text;
    switch (reason) {
    case 0: text = "Changing this value will reset the training session.\r"; break;
    case 1: text = "Connecting again will reset the current training session.\r"; break;
    case 2: text = "Resetting the current training session will erase all recorded data.\r"; break;
    default: break;
    }
    if (save && HasUnsavedStrokes(t)) {
        text += "The recorded strokes are not saved. Save the session first?";
        switch (Dialogs().MessageBox(TMsgKind::Confirmation, text, mbSaveDiscardCancel, TMsgResult::Save)) {
        case TMsgResult::Save:
            if (!save()) return {false, false};
            break;
        case TMsgResult::Discard: break;
        default: return {false, false};
        }
        ResetTraining(t);
        return {true, true};
    }
    text += "Do you wish to continue?";
    if (Dialogs().MessageBox(TMsgKind::Confirmation, text, mbYesNo, TMsgResult::Yes) != TMsgResult::Yes)
        return {false, false};
    ResetTraining(t);
    return {true, true};
}

int32_t NextPaletteColor()
{
    int32_t c = kPalette[gPaletteCounter % kPalette.size()];
    ++gPaletteCounter;
    return c;
}

void ResetPaletteCounterForTesting() { gPaletteCounter = 0; }

TTrainingHeader DefaultHeader()
{
    TTrainingHeader h{};
    h.Title.SetText("Anyone");
    h.Name.SetText("Anyone");
    h.DateTime = NowDays();
    h.Color = NextPaletteColor();
    h.PenStyle = 0;
    h.PenWidth = 2;
    h.Active = 1;
    h.CurveSource = 0;
    h.Creator = 3;
    h.InterfaceType = 0;
    h.Guid = NewGuid();
    return h;
}

TTrainingSettings DefaultSettings()
{
    TTrainingSettings s{};
    s.Weight = 80;
    s.Gender = 0;
    s.BoatType = 0;
    s.Ergometer = 0;
    s.Sprocket = 1;
    s.LimitType = 2;
    s.StartValue = 150;
    s.StepValue = 0;
    s.RestValue = 10;
    s.IntervalBy = 3;
    s.WorkTime = 60;
    s.RestTime = 30;
    s.Display = 0;
    return s;
}

void SanitizeCountdowns(TTraining& t)
{
    for (size_t i = 1; i < t.Strokes.size(); ++i)
        if (t.Strokes[i].IntervalCountdown > 64000) t.Strokes[i].IntervalCountdown = 0;
}

float LimitProgressValue(const TStgStrokeData& stroke, const TTrainingSettings& settings)
{
    switch (settings.LimitType) {
    case 0: return stroke.StrokeNumber;
    case 1: return stroke.EnergySum;
    case 2: return stroke.Distance;
    case 3: return stroke.Time;
    case 4: return stroke.IntervalNumber;
    default: return 0;
    }
}

int32_t LimitValue(const TTrainingSettings& settings)
{
    switch (settings.LimitType) {
    case 0: return settings.LimitStrokes;
    case 1: return settings.LimitEnergy;
    case 2: return settings.LimitDistance;
    case 3: return settings.LimitTime;
    case 4: return settings.LimitIntervals;
    default: return 0;
    }
}

void SetLimitValue(TTrainingSettings& settings, int32_t value)
{
    switch (settings.LimitType) {
    case 0: settings.LimitStrokes = value; break;
    case 1: settings.LimitEnergy = value; break;
    case 2: settings.LimitDistance = value; break;
    case 3: settings.LimitTime = value; break;
    case 4: settings.LimitIntervals = value; break;
    default: break;
    }
}

float IntervalProgressValue(const TStgStrokeData& stroke, int by)
{
    switch (by) {
    case 0: return stroke.StrokeNumber;
    case 1: return stroke.EnergySum;
    case 2: return stroke.Distance;
    case 3: return stroke.Time;
    default: return 0;
    }
}

namespace {
int32_t* WorkSlot(TTrainingSettings& s, int by)
{
    switch (by) {
    case 0: return &s.WorkStrokes;
    case 1: return &s.WorkEnergy;
    case 2: return &s.WorkDistance;
    case 3: return &s.WorkTime;
    default: return nullptr;
    }
}
int32_t* RestSlot(TTrainingSettings& s, int by)
{
    switch (by) {
    case 0: return &s.RestStrokes;
    case 1: return &s.RestEnergy;
    case 2: return &s.RestDistance;
    case 3: return &s.RestTime;
    default: return nullptr;
    }
}
}  // namespace

int32_t WorkPeriodFor(const TTrainingSettings& settings, int by)
{
    auto* p = WorkSlot(const_cast<TTrainingSettings&>(settings), by);
    return p ? *p : 0;
}

int32_t RestPeriodFor(const TTrainingSettings& settings, int by)
{
    auto* p = RestSlot(const_cast<TTrainingSettings&>(settings), by);
    return p ? *p : 0;
}

void SetWorkPeriodFor(TTrainingSettings& settings, int by, int32_t value)
{
    if (auto* p = WorkSlot(settings, by)) *p = value;
}

void SetRestPeriodFor(TTrainingSettings& settings, int by, int32_t value)
{
    if (auto* p = RestSlot(settings, by)) *p = value;
}

double SampleSpacing(const TTrainingSettings& settings)
{
    if (settings.Ergometer == 2) return 4.5;
    return settings.Sprocket != 0 ? 2.2 : 2.0;
}
