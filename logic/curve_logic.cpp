#include "logic/curve_logic.h"

#include <array>

#include "core/values.h"
#include "util/text.h"

namespace {

bool HasCurveData(const TTraining& t, int k)
{
    return k >= 0 && k < int(t.Curves.size()) && t.Curves[size_t(k)].HasData != 0;
}

int StrokesOf(const TTraining& t) { return std::min(t.StrokeCount(), int(t.Curves.size()) - 1); }

}  // namespace

std::string AverageTitle(int k)
{
    switch (k) {
    case 1: return "*Avg. 1 active curves";
    case 2: return "*Avg. 2 all curves";
    case 3: return "*Avg. 3 all curves in active trainings";
    default: return "*Avg. 4 all curves in all trainings";
    }
}

void SetupAverageRecord(TTraining& avg, int k)
{
    static const int32_t colors[kAverageRecords] = {0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000};
    ClearTraining(avg);
    avg.Header = DefaultHeader();
    avg.Settings = DefaultSettings();
    // The averaged curve is resampled to 2.0 cm per sample (below): the
    // record is drawn and measured at that spacing, not at the default
    // sprocket's.
    avg.Settings.Sprocket = 0;
    avg.Settings.Ergometer = 0;
    avg.Header.Title.SetText(AverageTitle(k));
    avg.Header.OriginalFileName.SetText(Format("Average[%d]", k));
    avg.Header.OriginalDate = 0;
    avg.Header.Active = 0;
    avg.Header.SelectedStroke = 1;
    avg.Header.Color = colors[(k - 1) & 3];
    avg.Header.PenStyle = 0;
    avg.Header.PenWidth = 1;
    avg.Header.CurveSource = 1;
    avg.Header.CurveInterval = 0;
    avg.ClientId = -k;
    SetStrokeCount(avg, 0);
    SetStrokeCount(avg, 1);
}

int ComputeAverageCurve(TTraining& avg, int k, const std::vector<const TTraining*>& sessions)
{
    if (avg.Strokes.empty() || avg.Curves.empty()) SetStrokeCount(avg, std::max(1, avg.StrokeCount()));
    struct TTaken {
        const TTraining* Session;
        const TStgStrokeData* Stroke;
        const TStgForceCurve* Curve;
    };
    std::vector<TTaken> taken;
    const bool shown = k == 1 || k == 2;
    const bool activeOnly = k == 1 || k == 3;
    for (const TTraining* t : sessions) {
        if (!t || (activeOnly && !t->Header.Active)) continue;
        const int n = StrokesOf(*t);
        if (n < 1) continue;
        int slot = 0;
        if (shown) {
            const int sel = t->Header.SelectedStroke;
            if (sel < 1) continue;
            if (t->Header.CurveSource != 1) {
                // A selection beyond the strokes has no curve to take.
                if (sel > n) continue;
                slot = sel;
            }
        }
        taken.push_back({t, &t->Strokes[size_t(slot)], &t->Curves[size_t(slot)]});
    }
    const int count = int(taken.size());
    double lengths = 0;
    for (const TTaken& e : taken) lengths += e.Stroke->StrokeLength;
    const float mean = SafeDivide(count, lengths);
    std::array<float, kCurveSamples> acc{};
    // Records set up elsewhere (or read back) get the spacing the average is built at.
    avg.Settings.Sprocket = 0;
    if (avg.Settings.Ergometer == 2) avg.Settings.Ergometer = 0;
    const double target = SampleSpacing(avg.Settings);
    for (const TTaken& e : taken) {
        const double spacing = SampleSpacing(e.Session->Settings);
        const double scale = double(SafeDivide(e.Stroke->StrokeLength, mean)) * double(SafeDivide(spacing, target));
        const TCurveValues r = ResampleCurve(*e.Curve, scale);
        for (int i = 0; i < kCurveSamples; ++i) acc[size_t(i)] += r[size_t(i)];
    }
    TStgStrokeData& s = avg.Strokes[0];
    TStgForceCurve& c = avg.Curves[0];
    s = EmptyStroke(0);
    c = EmptyCurve(0);
    for (int i = 0; i < kCurveSamples; ++i) c.Samples[i] = RoundToWord(SafeDivide(count, acc[size_t(i)]));
    c.HasData = count > 0 ? 1 : 0;
    s.StrokeLength = mean;
    ApplyCurvePeak(s, c, 0);
    return count;
}

int FirstCurve(const TTraining& t)
{
    const int k = t.Header.SelectedStroke;
    return k > 1 ? 1 : k;
}

int PreviousCurve(const TTraining& t)
{
    int k = t.Header.SelectedStroke;
    if (k <= 1) return k;
    const int n = StrokesOf(t);
    if (k > n + 1) k = n + 1;  // a selection beyond the strokes steps back into them
    do {
        --k;
    } while (k > 1 && !HasCurveData(t, k));
    return k;
}

int NextCurve(const TTraining& t)
{
    int k = t.Header.SelectedStroke;
    const int n = StrokesOf(t);
    if (k >= n) return k;
    if (k < 0) k = 0;
    do {
        ++k;
    } while (k < n && !HasCurveData(t, k));
    return k;
}

int LastCurve(const TTraining& t)
{
    const int k = t.Header.SelectedStroke;
    const int n = StrokesOf(t);
    return k < n ? n : k;
}

int CurveAt(const TTraining& t, int m) { return m > 0 && m <= StrokesOf(t) ? m : int(t.Header.SelectedStroke); }

int ParseCurveNumber(const std::string& text)
{
    int value = 0;
    if (!TryParseInt(Trim(text), value)) return -1;
    return value;
}

bool DeleteShownCurve(TTraining& t)
{
    const int k = t.Header.SelectedStroke;
    const int n = StrokesOf(t);
    if (k < 1 || k > n || n <= 1) return false;
    t.Curves[size_t(k)].HasData = 0;
    if (k > 1) t.Header.SelectedStroke = PreviousCurve(t);
    else t.Header.SelectedStroke = NextCurve(t);
    UpdateAverageStroke(t);
    return true;
}

bool ShownStroke(const TTraining& t, TStgStrokeData& stroke, TStgForceCurve& curve)
{
    stroke = EmptyStroke(0);
    curve = EmptyCurve(0);
    const int n = StrokesOf(t);
    const int k = t.Header.SelectedStroke;
    if (t.Header.CurveSource == 0 && k > 0 && k <= n) {
        stroke = t.Strokes[size_t(k)];
        curve = t.Curves[size_t(k)];
        return true;
    }
    if (t.Header.CurveSource == 1 && !t.Strokes.empty() && !t.Curves.empty()) {
        stroke = t.Strokes[0];
        curve = t.Curves[0];
        return true;
    }
    return false;
}

TCurveValuesRow NormalisedValues(const TStgStrokeData& s, const TCurveNormalisation& n)
{
    TCurveValuesRow v;
    v.StrokeLength = s.StrokeLength;
    v.Energy = s.Energy;
    v.PeakForce = s.PeakForce;
    v.PeakForcePosition = s.PeakForcePosition;
    v.PeakForceRelative = s.PeakForceRelative;
    if (n.FixedForce) {
        v.Energy = v.Energy * SafeDivide(v.PeakForce, n.Force);
        v.PeakForce = float(n.Force);
    }
    if (n.FixedLength) {
        const float e = SafeDivide(v.StrokeLength, n.Length);
        v.StrokeLength = float(n.Length);
        v.Energy *= e;
        v.PeakForcePosition *= e;
        v.PeakForceRelative = SafeDivide(n.Length, double(v.PeakForcePosition) * 100.0);
    }
    return v;
}

TTraining ExportTraining(const TTraining& r, const TCurveNormalisation& n)
{
    TStgStrokeData stroke;
    TStgForceCurve curve;
    ShownStroke(r, stroke, curve);
    TTraining t;
    ClearTraining(t);
    t.Magic = kTrainingMagic;
    t.Header = DefaultHeader();
    t.Header.Title = r.Header.Title;
    t.Header.Name = r.Header.Name;
    t.Header.DateTime = r.Header.DateTime;
    t.Settings = r.Settings;
    SetStrokeCount(t, 1);

    const float length = stroke.StrokeLength;
    const float energy = stroke.Energy;
    const float peak = stroke.PeakForce;
    TCurveValues samples{};
    float newLength = length, newEnergy = energy;
    if (n.FixedLength) {
        const float scale = SafeDivide(n.Length, length);
        samples = ResampleCurve(curve, scale);
        stroke = EmptyStroke(0);
        newLength = float(n.Length);
        newEnergy = SafeDivide(scale, energy);
    } else {
        samples = ResampleCurve(curve, 1.0);
    }
    if (n.FixedForce) {
        const float factor = SafeDivide(peak, n.Force);
        for (float& v : samples) v *= factor;
        newEnergy *= factor;
        stroke = EmptyStroke(0);
    }
    TStgForceCurve out = curve;
    for (int i = 0; i < kCurveSamples; ++i) out.Samples[i] = RoundToWord(samples[size_t(i)]);
    stroke.StrokeNumber = 1;
    stroke.StrokeLength = newLength;
    stroke.Energy = newEnergy;
    t.Strokes[1] = stroke;
    t.Curves[1] = out;
    return t;
}

std::string NoForceCurveNote(const TTraining& t)
{
    if (t.Header.InterfaceType != kFtmsInterfaceType) return "";
    for (int k = 1; k <= t.StrokeCount() && k < int(t.Curves.size()); ++k)
        if (t.Curves[size_t(k)].HasData) return "";
    const std::string title = t.Header.Title.Text();
    return (title.empty() ? std::string("This session") : "\"" + title + "\"") +
           ": the rowing machine sends no force curve (it measures no force).";
}
