// catchline-cli replay: plays a raw data file through the demo path and the
// stroke computation with the settings of a default row window session, and
// prints every stroke record.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/cli/commands.h"
#include "util/text.h"

#ifdef HAVE_CATCHLINE_DEVICES
#include "interfaces/devices/demo_data.h"

namespace {

const char* const kFieldNames[] = {"StrokeNumber",  "Power",     "AveragePower",      "StrokeRate",
                                   "Target",        "Time",      "StrokeLength",      "Distance",
                                   "Time500",       "Energy",    "EnergySum",         "Pulse",
                                   "WorkPerPulse",  "PeakForce", "PeakForcePosition", "PeakForceRelative",
                                   "RecoverRatio",  "KValue",    "IntervalNumber",    "IntervalCountdown",
                                   "IntervalPower", "DriveTime", "DistancePerStroke"};

void PutReal(std::string& out, float v)
{
    if (!std::isfinite(v)) {
        out += "null";
        return;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.7g", double(v));
    out += buf;
}

std::string StrokeLine(const TStgStrokeData& s, bool json)
{
    const float reals[] = {s.Power,
                           s.AveragePower,
                           s.StrokeRate,
                           s.Target,
                           s.Time,
                           s.StrokeLength,
                           s.Distance,
                           s.Time500,
                           s.Energy,
                           s.EnergySum,
                           s.Pulse,
                           s.WorkPerPulse,
                           s.PeakForce,
                           s.PeakForcePosition,
                           s.PeakForceRelative,
                           s.RecoverRatio,
                           s.KValue};
    const unsigned words[] = {s.IntervalNumber, s.IntervalCountdown, s.IntervalPower};
    const float tail[] = {s.DriveTime, s.DistancePerStroke};
    std::string out;
    out.reserve(400);
    int field = 0;
    auto name = [&]() {
        if (json) {
            out += field == 0 ? "{\"" : ",\"";
            out += kFieldNames[field];
            out += "\":";
        } else if (field > 0) {
            out += ',';
        }
        ++field;
    };
    name();
    out += std::to_string(s.StrokeNumber);
    for (float v : reals) {
        name();
        PutReal(out, v);
    }
    for (unsigned v : words) {
        name();
        out += std::to_string(v);
    }
    for (float v : tail) {
        name();
        PutReal(out, v);
    }
    out += json ? "}\n" : "\n";
    return out;
}

std::string Clock(double seconds)
{
    const long s = long(std::floor(seconds + 0.5));
    return Format("%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
}

std::string Split(double seconds)
{
    if (!(seconds > 0) || seconds > 86400) return "-";
    const double tenths = std::floor(seconds * 10 + 0.5);
    const long whole = long(tenths / 10);
    return Format("%ld:%02ld.%ld", whole / 60, whole % 60, long(tenths) % 10);
}

}  // namespace

int CmdReplay(const std::vector<std::string>& args)
{
    std::string file;
    bool json = false;
    double weight = 80;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--json") {
            json = true;
        } else if (a == "--weight") {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "catchline-cli replay: --weight needs a value in kg\n");
                return 2;
            }
            double w = 0;
            if (!TryParseDecimal(args[++i], w) || !(w >= 20 && w <= 300)) {
                std::fprintf(stderr, "catchline-cli replay: weight \"%s\" is not a number of kg from 20 to 300\n",
                             args[i].c_str());
                return 2;
            }
            weight = w;
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "catchline-cli replay: unknown option \"%s\"\n", a.c_str());
            return 2;
        } else if (file.empty()) {
            file = a;
        } else {
            std::fprintf(stderr, "catchline-cli replay: more than one file given\n");
            return 2;
        }
    }

    // The settings a default row window session gives the interface; the
    // clock is the recording's own: the sum of the intervals read so far.
    TVTPulseInput in;
    int64_t ticks = 0;
    SetUpRecordingInput(in, weight, ticks);

    std::vector<char> buffer(1 << 16);
    std::setvbuf(stdout, buffer.data(), _IOFBF, buffer.size());

    int strokes = 0;
    double sumPower = 0, sumRate = 0, sumTime = 0, sumDistance = 0;
    int counted = 0;
    in.Computer.OnStrokeData = [&](const TStgStrokeData& s) {
        const std::string line = StrokeLine(s, json);
        std::fwrite(line.data(), 1, line.size(), stdout);
        if (s.StrokeNumber > strokes) strokes = s.StrokeNumber;
        if (s.Power > 0 && s.StrokeRate > 0) {
            ++counted;
            sumPower += s.Power;
            sumRate += s.StrokeRate;
            sumTime += 60.0 / s.StrokeRate;
            sumDistance += s.DistancePerStroke / 100.0;
        }
    };
    uint64_t faults = 0;
    in.OnFault = [&](const std::string& text) {
        if (++faults <= 5) std::fprintf(stderr, "catchline-cli replay: %s\n", text.c_str());
    };

    in.Prepare();
    TDemoPlayer player(in);
    bool ended = false;
    std::string error;
    player.OnEnd = [&] { ended = true; };
    player.OnError = [&](const std::string& m) { error = m; };
    int firstMs = 0;
    std::string failure;
    if (file.empty() || file == "DEMO") {
        const auto& data = BuiltInDemoData();
        // The recording's heart bytes as stored, not the built-in replacement.
        player.Source.StoredHeart = true;
        failure = player.OpenBytes(data.data(), data.size(), 0, &firstMs);
    } else {
        failure = player.OpenFile(file, 0, &firstMs);
    }
    if (!failure.empty()) {
        std::fprintf(stderr, "catchline-cli replay: %s\n", failure.c_str());
        return 1;
    }
    if (!json) {
        std::string header;
        for (const char* n : kFieldNames) header += std::string(header.empty() ? "" : ",") + n;
        std::fputs((header + "\n").c_str(), stdout);
    }
    PlayRecording(player, in, firstMs, ticks);
    std::fflush(stdout);
    if (!error.empty()) {
        std::fprintf(stderr, "catchline-cli replay: %s\n", error.c_str());
        return 1;
    }
    const double duration = ticks / 614000.0;
    const double split = sumDistance > 0 ? 500.0 * sumTime / sumDistance : 0;
    std::fprintf(stderr, "strokes %d, duration %s, mean power %.1f W, mean rate %.1f /min, mean 500 m split %s%s\n",
                 strokes, Clock(duration).c_str(), counted ? sumPower / counted : 0.0,
                 counted ? sumRate / counted : 0.0, Split(split).c_str(),
                 faults ? Format(", %llu samples bounded", (unsigned long long)faults).c_str() : "");
    return 0;
}

#else

int CmdReplay(const std::vector<std::string>&)
{
    std::fprintf(stderr, "catchline-cli replay: built without the device layer\n");
    return 1;
}

#endif
