#include "interfaces/devices/capture.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "interfaces/devices/demo_data.h"
#include "interfaces/devices/ftms.h"
#include "interfaces/devices/heart_rate.h"
#include "util/text.h"

namespace {

constexpr size_t kMaxLine = 4096;
constexpr size_t kMaxProblems = 100;

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The line's notification, or a reason why there is none.
std::string ReadLine(std::string_view line, TNotification& n)
{
    size_t at = 0;
    auto token = [&]() {
        while (at < line.size() && IsBlank(line[at])) ++at;
        const size_t start = at;
        while (at < line.size() && !IsBlank(line[at])) ++at;
        return line.substr(start, at - start);
    };
    const std::string_view time = token();
    double t = 0;
    const auto [end, ec] = std::from_chars(time.data(), time.data() + time.size(), t);
    if (ec != std::errc() || end != time.data() + time.size() || !std::isfinite(t) || t < 0 || t > 1e7)
        return "the time is not a number of seconds";
    std::string_view ch = token();
    if (SameText(std::string(ch), "LOST") || SameText(std::string(ch), "GONE")) {
        n.Time = t;
        n.Event = SameText(std::string(ch), "LOST") ? TCaptureEvent::Lost : TCaptureEvent::Gone;
        n.Characteristic = 0;
        n.Bytes.clear();
        n.Text = Trim(std::string(line.substr(at)));
        return "";
    }
    if (ch.size() > 2 && ch[0] == '0' && (ch[1] == 'x' || ch[1] == 'X')) ch.remove_prefix(2);
    if (ch.empty() || ch.size() > 4) return "no characteristic number";
    unsigned c = 0;
    for (char x : ch) {
        const int d = HexDigit(x);
        if (d < 0) return "no characteristic number";
        c = c * 16 + unsigned(d);
    }
    n.Time = t;
    n.Characteristic = uint16_t(c);
    n.Bytes.clear();
    int high = -1;
    for (; at < line.size(); ++at) {
        const char x = line[at];
        if (IsBlank(x)) {
            if (high >= 0) return "a byte with one hex digit";
            continue;
        }
        const int d = HexDigit(x);
        if (d < 0) return "a byte that is not hex";
        if (high < 0) {
            high = d;
            continue;
        }
        if (n.Bytes.size() >= kMaxNotificationBytes) return Format("more than %zu bytes", kMaxNotificationBytes);
        n.Bytes.push_back(uint8_t(high * 16 + d));
        high = -1;
    }
    if (high >= 0) return "a byte with one hex digit";
    return "";
}

}  // namespace

TCapture ParseCapture(const std::string& text)
{
    TCapture out;
    size_t skipped = 0;
    auto problem = [&](size_t lineNumber, const std::string& why) {
        if (++skipped <= kMaxProblems) out.Problems.push_back(Format("line %zu: %s", lineNumber, why.c_str()));
    };
    double last = 0;
    size_t lineNumber = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        std::string_view line(text.data() + pos, nl - pos);
        pos = nl + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
        if (line.empty()) continue;
        if (line.size() > kMaxLine) {
            problem(lineNumber, "line too long");
            continue;
        }
        if (line.front() == '#') {
            line.remove_prefix(1);
            out.Comments.push_back(Trim(std::string(line)));
            continue;
        }
        TNotification n;
        const std::string why = ReadLine(line, n);
        if (!why.empty()) {
            problem(lineNumber, why);
            continue;
        }
        if (n.Time < last) {
            problem(lineNumber, "the time goes back");
            continue;
        }
        last = n.Time;
        out.Notifications.push_back(std::move(n));
    }
    if (skipped > kMaxProblems) out.Problems.push_back(Format("%zu more lines skipped", skipped - kMaxProblems));
    return out;
}

std::string CaptureLine(double time, uint16_t characteristic, const uint8_t* bytes, size_t size)
{
    std::string line = Format("%.3f %04X", time, unsigned(characteristic));
    for (size_t i = 0; i < size; ++i) line += Format(" %02X", unsigned(bytes[i]));
    line += '\n';
    return line;
}

std::string CaptureEventLine(double time, TCaptureEvent event, const std::string& text)
{
    std::string one = text;
    for (char& c : one)
        if (c == '\n' || c == '\r') c = ' ';
    if (one.size() > 200) one.resize(200);
    return Format("%.3f %s %s\n", time, event == TCaptureEvent::Gone ? "GONE" : "LOST", Trim(one).c_str());
}

std::string CaptureHeader(const std::string& device)
{
    std::string h = "# Catchline capture 1\n";
    if (!device.empty()) h += "# device: " + device + "\n";
    return h;
}

std::vector<TStgStrokeData> RecordingStrokes(const std::vector<uint8_t>& recording, double weight, std::string& error)
{
    std::vector<TStgStrokeData> strokes;
    TVTPulseInput in;
    int64_t ticks = 0;
    SetUpRecordingInput(in, weight, ticks);
    in.Computer.OnStrokeData = [&](const TStgStrokeData& s) {
        if (s.Energy > 0) strokes.push_back(s);
    };
    in.Prepare();
    TDemoPlayer player(in);
    player.OnError = [&](const std::string& m) { error = m; };
    player.Source.StoredHeart = true;
    int firstMs = 0;
    error = player.OpenBytes(recording.data(), recording.size(), 0, &firstMs);
    if (!error.empty()) return {};
    PlayRecording(player, in, firstMs, ticks);
    return strokes;
}

namespace {

// The stroke in progress at second t: the last one that ended at or before
// t, unless the rower stopped (more than 6 s without a stroke).
const TStgStrokeData* StrokeAt(const std::vector<TStgStrokeData>& strokes, double t, size_t& next)
{
    while (next < strokes.size() && strokes[next].Time <= t) ++next;
    if (next == 0) return nullptr;
    const TStgStrokeData& s = strokes[next - 1];
    return t - s.Time <= 6.0 ? &s : nullptr;
}

}  // namespace

std::string MakeFtmsCapture(const std::vector<TStgStrokeData>& strokes, const std::string& device)
{
    std::string out = CaptureHeader(device);
    const double end = strokes.empty() ? 0 : double(strokes.back().Time) + 2.0;
    double clock = 0;  // time of the last line written (times never go back)
    // One record: the machine's totals after `done` strokes, the stroke in
    // progress s (none while the rower stands still).
    auto emit = [&](double t, size_t done, const TStgStrokeData* s) {
        TRowerData r;
        r.HasStrokes = true;
        r.StrokeCount = uint16_t(std::min<size_t>(done, 65535));
        r.HasDistance = r.HasPace = r.HasPower = r.HasAveragePower = r.HasEnergy = r.HasElapsed = true;
        r.Elapsed = uint16_t(std::min(t, 65535.0));
        r.EnergyPerHour = 0xFFFF;
        r.EnergyPerMinute = 0xFF;
        r.Pace = 0xFFFF;
        if (done > 0) {
            const TStgStrokeData& last = strokes[done - 1];
            const float distance = last.Distance;  // a copy: the record is packed
            r.Distance = uint32_t(std::lround(std::max(0.0f, distance)));
            r.AveragePower = int16_t(std::lround(std::clamp(double(last.AveragePower), 0.0, 2000.0)));
            // A rower's energy as machines show it: four times the work, in kcal.
            r.TotalEnergy = uint16_t(std::lround(std::min(last.EnergySum * 4 / 4.184, 65535.0)));
        }
        if (s) {
            r.StrokeRate2 = uint8_t(std::lround(std::clamp(s->StrokeRate * 2.0, 0.0, 255.0)));
            const float time500 = s->Time500;  // a copy: the record is packed
            if (time500 > 0) r.Pace = uint16_t(std::lround(std::min(time500, 6000.0f)));
            r.Power = int16_t(std::lround(std::clamp(double(s->Power), 0.0, 2000.0)));
        }
        clock = std::max(clock, t);
        for (const auto& part : SplitRowerData(r, 20)) {
            out += CaptureLine(clock, kRowerDataCharacteristic, part.data(), part.size());
            clock += 0.001;
        }
    };
    size_t done = 0;
    for (int second = 0; second <= int(end); ++second) {
        // Every stroke that ended by now, when it ended.
        while (done < strokes.size() && strokes[done].Time <= second) {
            emit(strokes[done].Time, done + 1, &strokes[done]);
            ++done;
        }
        const TStgStrokeData* s = done > 0 && second - strokes[done - 1].Time <= 6.0 ? &strokes[done - 1] : nullptr;
        emit(second, done, s);
    }
    return out;
}

std::vector<int> SimulatedHeartRate(const std::vector<TStgStrokeData>& strokes)
{
    std::vector<int> rates;
    const double end = strokes.empty() ? 0 : double(strokes.back().Time) + 2.0;
    size_t next = 0;
    double h = 75;
    for (int second = 0; second <= int(end); ++second) {
        const TStgStrokeData* s = StrokeAt(strokes, second, next);
        const float power = s ? s->Power : 0.0f;  // a copy: the record is packed
        const double target = 70 + 0.45 * std::max(0.0f, power);
        const double tau = target > h ? 25.0 : 40.0;
        h += (target - h) * (1 - std::exp(-1.0 / tau));
        h = std::clamp(h, 60.0, 195.0);
        rates.push_back(int(std::lround(h)));
    }
    return rates;
}

std::string MakeHeartCapture(const std::vector<TStgStrokeData>& strokes, const std::string& device)
{
    std::string out = CaptureHeader(device);
    const uint8_t battery = 87;
    out += CaptureLine(0, kBatteryLevel, &battery, 1);
    const std::vector<int> rates = SimulatedHeartRate(strokes);
    for (size_t second = 0; second < rates.size(); ++second) {
        THeartRateMeasurement m;
        m.Bpm = uint16_t(rates[second]);
        m.ContactSupported = true;
        m.ContactDetected = true;
        m.RrIntervals.push_back(uint16_t(std::lround(60.0 / rates[second] * 1024)));
        const auto bytes = EncodeHeartRateMeasurement(m);
        out += CaptureLine(double(second) + 0.5, kHeartRateMeasurement, bytes.data(), bytes.size());
    }
    return out;
}
