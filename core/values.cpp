#include "core/values.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "core/catalogue.h"
#include "util/text.h"

namespace {

double Spacing(int sprocket) { return sprocket != 0 ? 2.2 : 2.0; }

}  // namespace

float ToSingle(double v)
{
    if (std::isnan(v)) return float(v);
    // Above FLT_MAX plus half its last step the nearest float is infinity.
    constexpr double kLimit = double(FLT_MAX) * (1.0 + 0x1p-25);
    if (v >= kLimit) return INFINITY;
    if (v <= -kLimit) return -INFINITY;
    return float(v);
}

float SafeDivide(double divisor, double dividend)
{
    if (divisor == 0) return 0;
    if (divisor > 0 && divisor < 1e-9) divisor = 1e-9;
    else if (divisor < 0 && divisor > -1e-9) divisor = -1e-9;
    double q = dividend / divisor;
    // A quotient that is not a finite float32 counts as a floating-point fault.
    if (!std::isfinite(q) || std::fabs(q) > double(FLT_MAX)) return 0;
    return float(q);
}

uint16_t RoundToWord(double value)
{
    if (!(value > 0)) return 0;  // negative and NaN
    if (value >= 65535) return 65535;
    return uint16_t(std::nearbyint(value));
}

float StrokeValue(const TStgStrokeData& s, int i, const TTrainingSettings& settings)
{
    if (i < 0 || i >= kStrokeParameterCount) return 0;
    // Progress towards the session limit and its reciprocal (0 without a limit).
    const double v = LimitProgressValue(s, settings);
    const double L = LimitValue(settings);
    const double p = SafeDivide(L, v);
    const double r = SafeDivide(p, 1);
    const double drive = s.DriveTime;
    const double ratio = s.RecoverRatio;
    const double time = s.Time;
    const double distance = s.Distance;
    const double number = s.StrokeNumber;
    auto speed = [&] { return double(SafeDivide(drive * (ratio + 1), double(s.DistancePerStroke) / 100)); };
    double x = 0;
    switch (i) {
    case 0: x = number; break;
    case 1: x = s.Power; break;
    case 2: x = s.AveragePower; break;
    case 3: x = s.StrokeRate; break;
    case 4: x = s.Target; break;
    case 5: x = time / 86400; break;
    case 6: x = s.StrokeLength; break;
    case 7: x = distance; break;
    case 8: x = s.DistancePerStroke; break;
    case 9: x = double(s.Time500) / 86400; break;
    case 10: x = s.Energy; break;
    case 11: x = s.EnergySum; break;
    case 12: x = s.Pulse; break;
    case 13: x = s.WorkPerPulse; break;
    case 14: x = s.PeakForce; break;
    case 15: x = s.PeakForcePosition; break;
    case 16: x = s.PeakForceRelative; break;
    case 17: x = drive; break;
    case 18: x = drive * ratio; break;
    case 19: x = drive * (ratio + 1); break;
    case 20: x = ratio; break;
    case 21: x = speed(); break;
    case 22: x = s.KValue; break;
    case 23: x = s.IntervalNumber; break;
    case 24: x = s.IntervalCountdown; break;
    case 25: x = s.IntervalPower; break;
    case 26: x = time / 86400; break;
    case 27: x = (r * time - time) / 86400; break;
    case 28: x = r * time / 86400; break;
    case 29: x = distance; break;
    case 30: x = r * distance - distance; break;
    case 31: x = r * distance; break;
    case 32: x = number; break;
    case 33: x = r * number - number; break;
    case 34: x = r * number; break;
    case 35: x = speed() * 3.6; break;
    case 36: x = speed() * 2.2369362920544025; break;
    case 37: x = double(SafeDivide(distance, 500)) * time / 86400; break;
    case 38: x = SafeDivide(time, distance); break;
    case 39: x = double(SafeDivide(time, distance)) * 3.6; break;
    case 40: x = double(SafeDivide(time, distance)) * 2.2369362920544025; break;
    case 41: x = double(SafeDivide(time, number)) * 60; break;
    default: break;
    }
    return ToSingle(x);
}

std::string StrokeValueText(const TStgStrokeData& stroke, int i, const TTrainingSettings& settings)
{
    return FormatValue(ParameterFormat(i), StrokeValue(stroke, i, settings));
}

void ApplyCurvePeak(TStgStrokeData& stroke, const TStgForceCurve& curve, int sprocket)
{
    // m: maximum; b / a: 1-based index of its first / last occurrence.
    int m = 0, a = 0, b = 0;
    for (int k = 1; k <= kCurveSamples; ++k) {
        int v = curve.Samples[k - 1];
        if (v > m) {
            m = v;
            a = k;
            b = k;
        } else if (v == m && b > 0) {
            a = k;
        }
    }
    stroke.PeakForce = float(m);
    stroke.PeakForcePosition = float(Spacing(sprocket) * (a + b) / 2);
    stroke.PeakForceRelative = SafeDivide(stroke.StrokeLength, double(stroke.PeakForcePosition) * 100);
}

double EstimateStrokeLength(const TStgForceCurve& curve, int sprocket)
{
    const double spacing = Spacing(sprocket);
    double c = 780, d = 0;
    for (int n = kCurveSamples; n >= 1; --n) {
        if (curve.Samples[n - 1] <= c) {
            c = curve.Samples[n - 1];
            d = n * spacing;
        }
    }
    return d - spacing;
}

namespace {

// The resampling behind ResampleCurve and the session average: w[0..79] gets
// the samples taken at positions i * scale, with plateaus smoothed. One body
// for every caller, so the cached average and the full one agree to the bit.
template <typename TSample>
inline void ResampleInto(const TSample* src, double scale, double* w)
{
    if (scale > 0 && scale < 1e6) {
        // The common case, a forward stretch: positions grow with i. Inside
        // the curve every position interpolates (a whole position gives its own
        // sample exactly); past sample 79 a position takes sample 79, except a
        // whole position beyond it, which is 0. Samples are not negative, so
        // no value is.
        int i = 0;
        for (; i < kCurveSamples; ++i) {
            const double x = i * scale;
            const int k = int(x);
            if (k >= 79) break;
            const double a = src[k];
            w[i] = a + (x - k) * (double(src[k + 1]) - a);
        }
        for (; i < kCurveSamples; ++i) {
            const double x = i * scale;
            const int k = int(x);
            w[i] = x - k == 0 && k != 79 ? 0.0 : double(src[79]);
        }
    } else if (std::isfinite(scale) && std::fabs(scale) < 1e6) {
        // Every position fits an int: truncate by conversion (the common case).
        for (int i = 0; i < kCurveSamples; ++i) {
            const double x = i * scale;
            const int k = int(x);
            const double f = x - k;
            double value;
            if (f == 0) value = k >= 0 && k <= 79 ? src[k] : 0;
            else if (k < 0) value = src[0] * scale;
            else if (k >= 79) value = src[79];
            else value = src[k] + f * (double(src[k + 1]) - double(src[k]));
            w[i] = std::fabs(value);
        }
    } else {
        for (int i = 0; i < kCurveSamples; ++i) {
            const double x = i * scale;
            double value = 0;
            if (std::isfinite(x)) {
                const double k = std::trunc(x);  // kept as a double: x is far outside int range
                const double f = x - k;
                if (f == 0) value = k >= 0 && k <= 79 ? src[int(k)] : 0;
                else if (k < 0) value = src[0] * scale;
                else value = src[79];  // k >= 79: a fraction is left only for positions far past the end
            }
            w[i] = std::fabs(value);
        }
    }
    // Smooth plateaus left by stretching.
    for (int i = 1; i <= 77; ++i)
        if (w[i] == w[i + 1] && w[i] > 0) w[i] = (w[i] + w[i - 1]) / 2;
}

// The length a stroke's curve is stretched from: its stroke length, else the
// estimate from its curve, else 1.
double CurveLength(const TStgStrokeData& stroke, const TStgForceCurve& curve, int sprocket)
{
    double length = stroke.StrokeLength;
    if (length < 0) length = EstimateStrokeLength(curve, sprocket);
    if (!(length > 0)) length = 1.0;
    return length;
}

}  // namespace

TCurveValues ResampleCurve(const TCurveSamples& src, double scale)
{
    double w[kCurveSamples];
    ResampleInto(src.data(), scale, w);
    TCurveValues dst;
    for (int i = 0; i < kCurveSamples; ++i) dst[size_t(i)] = float(w[i]);
    return dst;
}

TCurveValues ResampleCurve(const TStgForceCurve& curve, double scale)
{
    TCurveSamples samples;
    std::memcpy(samples.data(), reinterpret_cast<const uint8_t*>(&curve) + offsetof(TStgForceCurve, Samples),
                sizeof samples);
    return ResampleCurve(samples, scale);
}

void TCurveSums::Add(double length, const uint16_t* samples)
{
    TGroup& g = FGroups[length];
    ++g.Count;
    for (int i = 0; i < kCurveSamples; ++i) g.Sum[i] += samples[i];
}

void TCurveSums::Remove(double length, const uint16_t* samples)
{
    auto it = FGroups.find(length);
    if (it == FGroups.end()) return;
    TGroup& g = it->second;
    if (--g.Count <= 0) {
        FGroups.erase(it);
        return;
    }
    for (int i = 0; i < kCurveSamples; ++i) g.Sum[i] -= samples[i];
}

void TCurveSums::Average(float avgLength, int n, TStgForceCurve& curve) const
{
    double acc[kCurveSamples] = {};
    double w[kCurveSamples];
    for (const auto& [length, g] : FGroups) {
        // Stretch or shrink the curves of this length to the average length.
        ResampleInto(g.Sum, SafeDivide(avgLength, length), w);
        for (int i = 0; i < kCurveSamples; ++i) acc[i] += w[i];
    }
    for (int i = 0; i < kCurveSamples; ++i) curve.Samples[i] = RoundToWord(SafeDivide(n, acc[i]));
}

namespace {

TCurveSamples SamplesOf(const TStgForceCurve& c)
{
    TCurveSamples samples;
    std::memcpy(samples.data(), reinterpret_cast<const uint8_t*>(&c) + offsetof(TStgForceCurve, Samples),
                sizeof samples);
    return samples;
}

}  // namespace

void AverageStroke(const TStgStrokeData* strokes, const TStgForceCurve* curves, int count, int sprocket,
                   TStgStrokeData& avgStroke, TStgForceCurve& avgCurve)
{
    avgStroke = TStgStrokeData{};
    avgCurve = TStgForceCurve{};
    if (count < 1) return;
    if (count == 1) {
        avgStroke = strokes[1];
        avgCurve = curves[1];
    } else {
        // Stroke 1 is left out: its curve starts from rest.
        int n = 0;
        double energySum = 0, lengthSum = 0;
        TCurveSums sums;
        for (int j = 2; j <= count; ++j) {
            if (!curves[j].HasData) continue;
            ++n;
            energySum += strokes[j].Energy;
            lengthSum += strokes[j].StrokeLength;
            sums.Add(CurveLength(strokes[j], curves[j], sprocket), SamplesOf(curves[j]).data());
        }
        avgStroke.Energy = SafeDivide(n, energySum);
        avgStroke.StrokeLength = SafeDivide(n, lengthSum);
        sums.Average(avgStroke.StrokeLength, n, avgCurve);
    }
    ApplyCurvePeak(avgStroke, avgCurve, sprocket);
}

void UpdateAverageStroke(TTraining& t)
{
    // Keep the parallel arrays parallel (a hand-built or damaged session may not be).
    if (t.Strokes.empty()) t.Strokes.resize(1);
    if (t.Curves.size() < t.Strokes.size()) t.Curves.resize(t.Strokes.size(), TStgForceCurve{});
    const int n = t.StrokeCount();
    TStgStrokeData s;
    TStgForceCurve c;
    AverageStroke(t.Strokes.data(), t.Curves.data(), n, t.Settings.Sprocket, s, c);
    t.Strokes[0] = s;
    t.Curves[0] = c;
}

void TAverageStrokeCache::Clear()
{
    FEntries.clear();
    FSums.Clear();
    FValid = false;
    FRebuilt = false;
    FChanged = 0;
}

void TAverageStrokeCache::Update(TTraining& t, int from)
{
    if (t.Strokes.empty()) t.Strokes.resize(1);
    if (t.Curves.size() < t.Strokes.size()) t.Curves.resize(t.Strokes.size(), TStgForceCurve{});
    const int count = t.StrokeCount();
    const int sprocket = t.Settings.Sprocket;
    FChanged = 0;
    if (count < 2) {
        // Nothing to keep: zero or one stroke is copied, not averaged.
        Clear();
        FRebuilt = true;
        UpdateAverageStroke(t);
        return;
    }
    FRebuilt = !FValid || sprocket != FSprocket;
    if (FRebuilt) {
        // The estimated lengths depend on the sprocket: start again.
        FEntries.clear();
        FSums.Clear();
    }
    // Strokes cut off the end leave the sums.
    const size_t needed = size_t(count - 1);
    for (size_t e = needed; e < FEntries.size(); ++e)
        if (FEntries[e].HasData) {
            FSums.Remove(FEntries[e].Length, FEntries[e].Samples.data());
            ++FChanged;
        }
    // Entries the caller vouches for: only those that were summed before.
    const size_t start = std::min({size_t(std::max(from - 2, 0)), FEntries.size(), needed});
    FEntries.resize(needed);
    // One pass in stroke order: the averages of energy and length are summed
    // as the full computation sums them, and every stroke whose curve, flag
    // or length differs from the copy moves its curve in the sums.
    int n = start > 0 ? FEntries[start - 1].Count : 0;
    double energySum = start > 0 ? FEntries[start - 1].EnergySum : 0;
    double lengthSum = start > 0 ? FEntries[start - 1].LengthSum : 0;
    for (size_t e = start; e < needed; ++e) {
        const TStgForceCurve& c = t.Curves[e + 2];
        const TStgStrokeData& s = t.Strokes[e + 2];
        TEntry& entry = FEntries[e];
        if (c.HasData) {
            ++n;
            energySum += s.Energy;
            lengthSum += s.StrokeLength;
        }
        entry.Count = n;
        entry.EnergySum = energySum;
        entry.LengthSum = lengthSum;
        if (!entry.HasData && !c.HasData) continue;
        const float length = s.StrokeLength;
        if (entry.HasData && c.HasData && std::memcmp(&entry.StrokeLength, &length, sizeof length) == 0 &&
            std::memcmp(entry.Samples.data(), reinterpret_cast<const uint8_t*>(&c) + offsetof(TStgForceCurve, Samples),
                        sizeof entry.Samples) == 0)
            continue;
        if (entry.HasData) {
            FSums.Remove(entry.Length, entry.Samples.data());
            ++FChanged;
        }
        entry.HasData = c.HasData ? 1 : 0;
        entry.StrokeLength = length;
        if (c.HasData) {
            entry.Samples = SamplesOf(c);
            entry.Length = CurveLength(s, c, sprocket);
            FSums.Add(entry.Length, entry.Samples.data());
            ++FChanged;
        }
    }
    FSprocket = sprocket;
    FValid = true;
    TStgStrokeData avgStroke{};
    TStgForceCurve avgCurve{};
    avgStroke.Energy = SafeDivide(n, energySum);
    avgStroke.StrokeLength = SafeDivide(n, lengthSum);
    FSums.Average(avgStroke.StrokeLength, n, avgCurve);
    ApplyCurvePeak(avgStroke, avgCurve, sprocket);
    t.Strokes[0] = avgStroke;
    t.Curves[0] = avgCurve;
}

void ComputeTotals(TTraining& t, int k)
{
    if (k < 1 || k > t.StrokeCount()) return;
    const TStgStrokeData& s = t.Strokes[size_t(k)];
    t.Totals.Distance = s.Distance;
    t.Totals.Time = s.Time;
    t.Totals.Energy = s.EnergySum;
    t.Totals.AveragePower = SafeDivide(s.Time, double(s.EnergySum) * 1000);
}

void CloseRecording(TTraining& t, int strokeIndex, int rawCount, bool finished)
{
    SetStrokeCount(t, strokeIndex);
    t.RawSamples.resize(size_t(std::max(rawCount, 0)) + 1);
    if (strokeIndex > 0 && !finished) ComputeTotals(t, strokeIndex);
}

bool FinishAtLimit(TTraining& t, int k, bool intervalFinished)
{
    if (k < 1 || k > t.StrokeCount()) return false;
    const TStgStrokeData& cur = t.Strokes[size_t(k)];
    const TStgStrokeData& prev = t.Strokes[size_t(k - 1)];
    const double v = LimitProgressValue(cur, t.Settings);
    const double L = LimitValue(t.Settings);
    // An interval workout ends only by the interval rule: the stroke's
    // interval number reaches the limit when the last interval starts, not
    // when its work period is done.
    const bool reached = t.Settings.LimitType == 4 ? intervalFinished : v >= L || intervalFinished;
    if (!(L >= 1 && reached)) return false;
    // Fraction of the last stroke at which the limit was reached. A session
    // ended by the interval rule before its progress reached the limit ends
    // with this whole stroke; the fraction never reaches outside the stroke.
    const double w = LimitProgressValue(prev, t.Settings);
    double f = v >= L && t.Settings.LimitType != 4 ? double(SafeDivide(v - w, L - w)) : 1.0;
    f = std::clamp(f, 0.0, 1.0);
    auto at = [f](double before, double after) { return ToSingle(before + (after - before) * f); };
    t.Totals.Distance = at(prev.Distance, cur.Distance);
    t.Totals.Time = at(prev.Time, cur.Time);
    t.Totals.Energy = at(prev.EnergySum, cur.EnergySum);
    t.Totals.AveragePower = SafeDivide(t.Totals.Time, double(t.Totals.Energy) * 1000);
    t.RowStatus = rsFinished;
    return true;
}

float TotalValue(const TTraining& t, int i)
{
    const double n = t.StrokeCount();
    const double distance = t.Totals.Distance;
    const double time = t.Totals.Time;
    switch (i) {
    case 0: return t.Totals.Distance;
    case 1: return ToSingle(time / 86400);
    case 2: return t.Totals.Energy;
    case 3: return t.Totals.AveragePower;
    case 4: return float(n);
    case 5: return ToSingle(double(SafeDivide(distance, 500)) * time / 86400);
    case 6: return SafeDivide(time / 60, n);
    default: return 0;
    }
}

std::string TotalValueText(const TTraining& t, int i) { return FormatValue(TotalParameterFormat(i), TotalValue(t, i)); }

std::string TotalValueTextWithUnit(const TTraining& t, int i)
{
    return Trim(TotalValueText(t, i) + " " + TotalParameterUnit(i));
}
