#include "files/session_laps.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/intervals.h"
#include "core/splits.h"
#include "util/date_time.h"

int ExportedStrokes(const TTraining& t)
{
    int n = std::min(t.StrokeCount(), int(t.Curves.size()) - 1);
    while (n > 0 && t.Strokes[size_t(n)].Time == 0) --n;
    return std::max(n, 0);
}

double StrokeSpeed(const TStgStrokeData& s)
{
    return s.Time500 > 0 && std::isfinite(s.Time500) ? 500.0 / s.Time500 : 0.0;
}

TLapSummary SummariseStrokes(const TTraining& t, int first, int last)
{
    TLapSummary lap;
    lap.First = first;
    lap.Last = last;
    const TStgStrokeData* before = first > 1 ? &t.Strokes[size_t(first - 1)] : nullptr;
    lap.StartTime = before ? before->Time : 0.0;
    lap.StartDistance = before ? before->Distance : 0.0;
    const double startEnergy = before ? before->EnergySum * 1000.0 : 0.0;
    if (last < first) {
        lap.EndTime = lap.StartTime;
        return lap;
    }
    const TStgStrokeData& end = t.Strokes[size_t(last)];
    lap.EndTime = end.Time;
    lap.Distance = end.Distance - lap.StartDistance;
    lap.Energy = end.EnergySum * 1000.0 - startEnergy;
    lap.Strokes = last - first + 1;

    double previousTime = lap.StartTime;
    double weightedPower = 0, heartTime = 0, beats = 0;
    for (int k = first; k <= last; ++k) {
        const TStgStrokeData& s = t.Strokes[size_t(k)];
        const double dt = std::max(0.0, double(s.Time) - previousTime);
        previousTime = s.Time;
        weightedPower += s.Power * dt;
        lap.MaxPower = std::max(lap.MaxPower, double(s.Power));
        lap.MaxRate = std::max(lap.MaxRate, double(s.StrokeRate));
        lap.MaxSpeed = std::max(lap.MaxSpeed, StrokeSpeed(s));
        if (s.Pulse > 0) {
            heartTime += dt;
            beats += dt * s.Pulse;
            lap.MaxHeartRate = std::max(lap.MaxHeartRate, double(s.Pulse));
        }
    }
    const double duration = lap.Duration();
    if (duration > 0) {
        // Power over the lap is its work over its time; sessions without
        // energy fall back to the stroke powers weighted by stroke time.
        lap.AvgPower = lap.Energy > 0 ? lap.Energy / duration : weightedPower / duration;
        lap.AvgRate = lap.Strokes * 60.0 / duration;
        lap.AvgSpeed = lap.Distance / duration;
    }
    if (heartTime > 0) lap.AvgHeartRate = beats / heartTime;
    else if (lap.MaxHeartRate > 0) lap.AvgHeartRate = lap.MaxHeartRate;  // strokes of no duration
    lap.AvgStrokeDistance = lap.Distance / lap.Strokes;
    return lap;
}

std::vector<TLapSummary> SessionLaps(const TTraining& t)
{
    const int n = ExportedStrokes(t);
    std::vector<TLapSummary> laps;
    auto add = [&](int first, int last, bool rest, int interval) {
        if (last < first) return;
        TLapSummary lap = SummariseStrokes(t, first, last);
        lap.Rest = rest;
        lap.Interval = interval;
        laps.push_back(lap);
    };
    const TTrainingSettings& s = t.Settings;
    const bool intervals = s.LimitType == 4 && WorkPeriodFor(s, s.IntervalBy) > 0;
    if (!intervals) {
        add(1, n, false, 1);
        return laps;
    }
    // The interval cutter's decisions, replayed on the strokes' progress.
    int a = 1, lapStart = 1;
    bool inRest = false;
    for (int k = 1; k <= n; ++k) {
        const double v = IntervalProgressValue(t.Strokes[size_t(k)], s.IntervalBy);
        const double e = IntervalWorkEnd(s, a), q = IntervalRestEnd(s, a);
        if (inRest) {
            if (q <= v) {
                add(lapStart, k - 1, true, a);
                inRest = false;
                ++a;
                lapStart = k;
            }
        } else if (e <= v) {
            add(lapStart, k, false, a);
            lapStart = k + 1;
            if (q != e) inRest = true;
            else ++a;
        }
    }
    add(lapStart, n, inRest, a);
    return laps;
}

std::vector<TLapSummary> ExportLaps(const TTraining& t)
{
    const TTrainingSettings& s = t.Settings;
    if (s.LimitType == 4 && WorkPeriodFor(s, s.IntervalBy) > 0) return SessionLaps(t);
    const int n = ExportedStrokes(t);
    std::vector<TLapSummary> laps;
    bool pending = false;  // a split without a stroke waits for the next
    double pendingTime = 0, pendingDistance = 0, pendingEnergy = 0;
    for (const TSplit& split : ComputeSplits(t, sptDistance, kExportSplitMetres)) {
        const int first = split.StrokesCumulative - split.Strokes + 1;
        const int last = std::min(split.StrokesCumulative, n);
        if (!pending) {
            pendingTime = split.TimeCumulative - split.Time;
            pendingDistance = split.DistanceCumulative - split.Distance;
            pendingEnergy = split.EnergyCumulative - split.Energy;
        }
        if (last < first) {
            pending = true;
            continue;
        }
        TLapSummary lap = SummariseStrokes(t, first, last);
        lap.Split = true;
        lap.Interval = 1;
        lap.StartTime = pendingTime;
        lap.EndTime = split.TimeCumulative;
        lap.StartDistance = pendingDistance;
        lap.Distance = split.DistanceCumulative - pendingDistance;
        lap.Energy = (split.EnergyCumulative - pendingEnergy) * 1000.0;
        const double duration = lap.Duration();
        if (duration > 0) {
            lap.AvgPower = lap.Energy > 0 ? lap.Energy / duration : lap.AvgPower;
            lap.AvgSpeed = lap.Distance / duration;
            lap.AvgRate = split.StrokeRate > 0 && !pending ? split.StrokeRate : lap.AvgRate;
        }
        lap.AvgStrokeDistance = lap.Strokes > 0 ? lap.Distance / lap.Strokes : 0.0;
        pending = false;
        laps.push_back(lap);
    }
    // Strokes past the splits (none unless the splits could not be cut):
    // one more lap, so that every exported stroke is in one.
    const int covered = laps.empty() ? 0 : laps.back().Last;
    if (covered < n) {
        TLapSummary rest = SummariseStrokes(t, covered + 1, n);
        rest.Split = true;
        rest.Interval = 1;
        laps.push_back(rest);
    }
    return laps;
}

TLapSummary SessionSummary(const TTraining& t)
{
    TLapSummary all = SummariseStrokes(t, 1, ExportedStrokes(t));
    // A session that ended at its limit has its result in the totals (the
    // limit reached within the last stroke).
    if (t.Totals.Time > 0 && t.Totals.Time <= all.EndTime && t.Totals.Distance > 0) {
        all.EndTime = t.Totals.Time;
        all.Distance = t.Totals.Distance;
        if (t.Totals.Energy > 0) all.Energy = t.Totals.Energy * 1000.0;
        const double duration = all.Duration();
        if (duration > 0) {
            if (all.Energy > 0) all.AvgPower = all.Energy / duration;
            all.AvgSpeed = all.Distance / duration;
        }
    }
    return all;
}

double SessionStartUnix(const TTraining& t)
{
    const double days = t.Header.DateTime;
    if (!(days > 1 && days < 2958465)) return 0;
    int h, n, s, ms;
    DecodeTime(days, h, n, s, ms);
    return double(DaysToUnix(days)) + ms / 1000.0;
}

double ExportStartUnix(const TTraining& t)
{
    constexpr double k1998 = 883612800.0;
    const double start = SessionStartUnix(t);
    if (start >= k1998) return start;
    TTraining now;
    now.Header.DateTime = NowDays();
    return SessionStartUnix(now);
}

double UnixToLocalDays(double unixTime)
{
    const double whole = std::floor(unixTime);
    return UnixToDays(std::time_t(whole)) + (unixTime - whole) / kSecondsPerDay;
}

double RowingCalories(double joules, double seconds)
{
    return 4.0 * std::max(0.0, joules) / 4184.0 + 300.0 * std::max(0.0, seconds) / 3600.0;
}

std::string ShortestText(float value)
{
    if (!std::isfinite(value)) return "0";
    if (value == 0) return "0";  // also -0
    char buffer[32];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, r.ptr);
}

std::string DecimalText(double value, int decimals)
{
    if (!std::isfinite(value)) return "0";
    char buffer[64];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    std::string s(buffer, r.ec == std::errc() ? r.ptr : buffer);
    if (s.find('.') != std::string::npos) {
        while (!s.empty() && s.back() == '0') s.pop_back();
        if (!s.empty() && s.back() == '.') s.pop_back();
    }
    if (s == "-0" || s.empty()) return std::string(1, '0');
    return s;
}

bool ParseNumber(const std::string& text, double& value)
{
    size_t a = 0, b = text.size();
    while (a < b && (text[a] == ' ' || text[a] == '\t')) ++a;
    while (b > a && (text[b - 1] == ' ' || text[b - 1] == '\t')) --b;
    if (a == b) return false;
    if (text[a] == '+') ++a;
    double v = 0;
    auto r = std::from_chars(text.data() + a, text.data() + b, v);
    if (r.ec != std::errc() || r.ptr != text.data() + b || !std::isfinite(v)) return false;
    value = v;
    return true;
}
