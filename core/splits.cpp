#include "core/splits.h"

#include <algorithm>
#include <cmath>

#include "core/catalogue.h"
#include "core/values.h"

namespace {

// Cumulative distance, time and energy after each stroke; index 0 is the
// start (zero), never the session's average slot. Progress never goes back.
struct TTrack {
    std::vector<double> Distance, Time, Energy;
};

TTrack Track(const TTraining& t)
{
    const int n = t.StrokeCount();
    TTrack r;
    r.Distance.assign(size_t(n) + 1, 0.0);
    r.Time.assign(size_t(n) + 1, 0.0);
    r.Energy.assign(size_t(n) + 1, 0.0);
    for (int k = 1; k <= n; ++k) {
        const TStgStrokeData& s = t.Strokes[size_t(k)];
        auto next = [](double before, double v) { return std::isfinite(v) ? std::max(before, v) : before; };
        r.Distance[size_t(k)] = next(r.Distance[size_t(k) - 1], s.Distance);
        r.Time[size_t(k)] = next(r.Time[size_t(k) - 1], s.Time);
        r.Energy[size_t(k)] = next(r.Energy[size_t(k) - 1], s.EnergySum);
    }
    // A session that ended at its limit ends inside its last stroke, where
    // its totals were interpolated: the splits end there too.
    const TTrainingTotals& tot = t.Totals;
    if (n >= 1) {
        auto within = [&](const std::vector<double>& x, double v) {
            return std::isfinite(v) && v > 0 && v >= x[size_t(n) - 1] && v <= x[size_t(n)];
        };
        if (within(r.Distance, tot.Distance) && within(r.Time, tot.Time) && within(r.Energy, tot.Energy)) {
            r.Distance[size_t(n)] = tot.Distance;
            r.Time[size_t(n)] = tot.Time;
            r.Energy[size_t(n)] = tot.Energy;
        }
    }
    return r;
}

// A cut: the progress point with the other totals interpolated at it.
struct TCut {
    int Stroke = 0;  // the last stroke that ends at or before the cut
    double Distance = 0, Time = 0, Energy = 0;
};

// The cut where progress p reaches value b (b within (p[0], p[n]]).
TCut CutAt(const TTrack& tr, const std::vector<double>& p, double b)
{
    const auto it = std::lower_bound(p.begin() + 1, p.end(), b);
    const size_t k = size_t(it - p.begin());
    const double f = std::clamp(double(SafeDivide(p[k] - p[k - 1], b - p[k - 1])), 0.0, 1.0);
    auto at = [&](const std::vector<double>& x) { return x[k - 1] + (x[k] - x[k - 1]) * f; };
    TCut c;
    c.Stroke = p[k] <= b ? int(k) : int(k) - 1;
    c.Distance = at(tr.Distance);
    c.Time = at(tr.Time);
    c.Energy = at(tr.Energy);
    return c;
}

// Means of the measured stroke values (above 0) over strokes from..to.
void Averages(const TTraining& t, int from, int to, TSplit& s)
{
    struct TMean {
        double Sum = 0;
        int Count = 0;
        void Add(double v)
        {
            if (v > 0 && std::isfinite(v)) Sum += v, ++Count;
        }
        double Value() const { return Count ? Sum / Count : 0; }
    } rate, length, perStroke, energy, pulse, work, drive, recover, time, ratio;
    for (int k = from; k <= to; ++k) {
        const TStgStrokeData& st = t.Strokes[size_t(k)];
        const TTrainingSettings& set = t.Settings;
        rate.Add(StrokeValue(st, 3, set));
        length.Add(StrokeValue(st, 6, set));
        perStroke.Add(StrokeValue(st, 8, set));
        energy.Add(StrokeValue(st, 10, set));
        pulse.Add(StrokeValue(st, 12, set));
        if (st.Pulse > 0) work.Add(StrokeValue(st, 13, set));
        drive.Add(StrokeValue(st, 17, set));
        recover.Add(StrokeValue(st, 18, set));
        time.Add(StrokeValue(st, 19, set));
        ratio.Add(StrokeValue(st, 20, set));
    }
    s.StrokeRate = rate.Value();
    s.StrokeLength = length.Value();
    s.DistancePerStroke = perStroke.Value();
    s.EnergyPerStroke = energy.Value();
    s.Pulse = pulse.Value();
    s.WorkPerPulse = work.Value();
    s.DriveTime = drive.Value();
    s.RecoverTime = recover.Value();
    s.StrokeTime = time.Value();
    s.Ratio = ratio.Value();
}

TSplit MakeSplit(const TTraining& t, int number, const TCut& from, const TCut& to)
{
    TSplit s;
    s.Number = number;
    s.StrokesCumulative = to.Stroke;
    s.Strokes = to.Stroke - from.Stroke;
    s.DistanceCumulative = to.Distance;
    s.Distance = to.Distance - from.Distance;
    s.TimeCumulative = to.Time;
    s.Time = to.Time - from.Time;
    s.EnergyCumulative = to.Energy;
    s.Energy = to.Energy - from.Energy;
    s.Power = SafeDivide(s.Time, s.Energy * 1000);
    s.Speed = SafeDivide(s.Time, s.Distance);
    s.Time500 = s.Distance > 0 ? s.Time * 500 / s.Distance : 0;
    Averages(t, from.Stroke + 1, to.Stroke, s);
    return s;
}

}  // namespace

std::vector<TSplit> ComputeSplits(const TTraining& t, TSplitType type, double size)
{
    std::vector<TSplit> splits;
    const int n = t.StrokeCount();
    if (n < 1 || !(size > 0) || !std::isfinite(size)) return splits;
    const TTrack tr = Track(t);
    TCut from;
    if (type == sptStrokes) {
        const int step = std::max(1, int(std::lround(size)));
        for (int end = step;; end += step) {
            TCut to;
            to.Stroke = std::min(end, n);
            to.Distance = tr.Distance[size_t(to.Stroke)];
            to.Time = tr.Time[size_t(to.Stroke)];
            to.Energy = tr.Energy[size_t(to.Stroke)];
            splits.push_back(MakeSplit(t, int(splits.size()) + 1, from, to));
            from = to;
            if (end >= n) break;
        }
        return splits;
    }
    const std::vector<double>& p = type == sptTime ? tr.Time : tr.Distance;
    const double total = p.back();
    // Too many splits for the size (a tiny size on a long session): none.
    if (total / size > 100000) return splits;
    // What is left after the last full split counts only from a tenth of a unit on.
    for (int j = 1;; ++j) {
        const double b = j * size;
        if (b > total + 1e-9) {
            const double left = total - (j - 1) * size;
            if (left > 0.1) {
                TCut to;
                to.Stroke = n;
                to.Distance = tr.Distance.back();
                to.Time = tr.Time.back();
                to.Energy = tr.Energy.back();
                splits.push_back(MakeSplit(t, j, from, to));
            }
            break;
        }
        const TCut to = CutAt(tr, p, b);
        splits.push_back(MakeSplit(t, j, from, to));
        from = to;
    }
    return splits;
}

float SplitValue(const TSplit& s, int i)
{
    switch (i) {
    case 0: return float(s.StrokesCumulative);
    case 1: return float(s.Strokes);
    case 2: return ToSingle(s.DistanceCumulative);
    case 3: return ToSingle(s.Distance);
    case 4: return ToSingle(s.TimeCumulative / 86400);
    case 5: return ToSingle(s.Time / 86400);
    case 6: return ToSingle(s.Power);
    case 7: return ToSingle(s.StrokeRate);
    case 8: return ToSingle(s.StrokeLength);
    case 9: return ToSingle(s.DistancePerStroke);
    case 10: return ToSingle(s.Time500 / 86400);
    case 11: return ToSingle(s.Speed);
    case 12: return ToSingle(s.EnergyPerStroke);
    case 13: return ToSingle(s.EnergyCumulative);
    case 14: return ToSingle(s.Energy);
    case 15: return ToSingle(s.Pulse);
    case 16: return ToSingle(s.WorkPerPulse);
    case 17: return ToSingle(s.DriveTime);
    case 18: return ToSingle(s.RecoverTime);
    case 19: return ToSingle(s.StrokeTime);
    case 20: return ToSingle(s.Ratio);
    default: return 0;
    }
}

std::string SplitValueText(const TSplit& s, int i) { return FormatValue(SplitParameterFormat(i), SplitValue(s, i)); }

const std::vector<double>& SplitPresetSizes(int splitType)
{
    static const std::vector<double> kStrokes = {5, 10, 20, 25, 50, 100};
    static const std::vector<double> kDistance = {50, 100, 250, 500, 1000};
    static const std::vector<double> kTime = {30, 60, 120, 150, 240, 300};
    switch (splitType) {
    case sptDistance: return kDistance;
    case sptTime: return kTime;
    default: return kStrokes;
    }
}
