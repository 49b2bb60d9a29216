#include "core/zones.h"

#include <algorithm>
#include <cmath>

#include "core/catalogue.h"
#include "util/paths.h"
#include "util/profile.h"
#include "util/text.h"

namespace {
const char* const kSection = "HeartRate";
}

bool ValidZones(const THeartZones& z, std::string* why)
{
    auto fail = [&](const std::string& text) {
        if (why) *why = text;
        return false;
    };
    if (z.MaxHeartRate < 100 || z.MaxHeartRate > 240) return fail("The maximum heart rate must be from 100 to 240.");
    int before = 0;
    for (int i = 0; i < 5; ++i) {
        if (z.Lower[size_t(i)] <= before || z.Lower[size_t(i)] > 100)
            return fail("The zones' lower bounds must rise from zone 1 to zone 5, within 1 to 100 %.");
        before = z.Lower[size_t(i)];
    }
    return true;
}

double ZoneLowestBpm(const THeartZones& z, int i)
{
    if (i < 0 || i > 4) return 0;
    return z.MaxHeartRate * z.Lower[size_t(i)] / 100.0;
}

int ZoneOf(double bpm, const THeartZones& z)
{
    if (!(bpm > 0)) return -1;
    for (int i = 4; i >= 0; --i)
        if (bpm >= ZoneLowestBpm(z, i)) return i;
    return -1;
}

bool TZoneTimes::HasHeartRate() const
{
    if (Below > 0) return true;
    for (double s : Seconds)
        if (s > 0) return true;
    return false;
}

TZoneTimes ComputeZoneTimes(const TTraining& t, const THeartZones& z)
{
    return ComputeZoneTimes(t, z, 1, t.StrokeCount());
}

TZoneTimes ComputeZoneTimes(const TTraining& t, const THeartZones& z, int first, int last)
{
    TZoneTimes out;
    first = std::max(first, 1);
    last = std::min(last, t.StrokeCount());
    double before = 0;
    // The first stroke's time starts where the stroke before it ended.
    for (int k = first - 1; k >= 1; --k) {
        const float time = t.Strokes[size_t(k)].Time;
        if (!std::isfinite(time)) continue;
        before = std::max(0.0, double(time));
        break;
    }
    for (int k = first; k <= last; ++k) {
        const TStgStrokeData& s = t.Strokes[size_t(k)];
        if (!std::isfinite(s.Time)) continue;
        const double time = std::max(before, double(s.Time));
        const double span = time - before;
        before = time;
        if (!(s.Pulse > 0) || !std::isfinite(s.Pulse)) {
            out.NoHeartRate += span;
            continue;
        }
        const int zone = ZoneOf(s.Pulse, z);
        if (zone < 0) out.Below += span;
        else out.Seconds[size_t(zone)] += span;
    }
    return out;
}

THeartZones ReadHeartZones(const TProfileFile& file)
{
    THeartZones z;
    z.MaxHeartRate = file.ReadInteger(kSection, "MaxHeartRate", z.MaxHeartRate);
    for (int i = 0; i < 5; ++i)
        z.Lower[size_t(i)] = file.ReadInteger(kSection, Format("Zone%d", i + 1), z.Lower[size_t(i)]);
    return ValidZones(z) ? z : THeartZones();
}

THeartZones RowerHeartZones()
{
    const std::string file = SettingsFile(false);
    if (file.empty() || FileSizeOf(file) < 0) return THeartZones();
    return ReadHeartZones(TProfileFile(file));
}

void WriteHeartZones(TProfileFile& file, const THeartZones& z)
{
    file.WriteInteger(kSection, "MaxHeartRate", z.MaxHeartRate);
    for (int i = 0; i < 5; ++i) file.WriteInteger(kSection, Format("Zone%d", i + 1), z.Lower[size_t(i)]);
}

std::string ZoneCaption(const THeartZones& z, int i)
{
    if (i < 0 || i > 4) return "";
    const long lo = std::lround(std::ceil(ZoneLowestBpm(z, i) - 1e-9));
    if (i == 4) return Format("Zone 5 (%ld+)", lo);
    const long hi = std::lround(std::ceil(ZoneLowestBpm(z, i + 1) - 1e-9)) - 1;
    return Format("Zone %d (%ld-%ld)", i + 1, lo, hi);
}

std::string ZoneTimeText(double seconds, const TZoneTimes& times)
{
    double total = times.Below;
    for (double s : times.Seconds) total += s;
    const std::string time = FormatValue("Th:nn:ss", seconds / 86400);
    if (!(total > 0)) return time;
    return Format("%s (%.0f %%)", time.c_str(), 100.0 * seconds / total);
}
