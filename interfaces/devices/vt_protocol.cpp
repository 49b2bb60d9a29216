// Frames of the measuring interface and the road of one pulse into the computation.
#include "interfaces/devices/vt_protocol.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "util/text.h"
#include "util/trace.h"

namespace {

bool Bit(uint8_t b, int n) { return (b >> n) & 1u; }

bool BinarySync(const uint8_t* b) { return !Bit(b[0], 0) && Bit(b[1], 0) && Bit(b[2], 0) && Bit(b[3], 0); }

const char* const kLineStarts[] = {
    "!S,",        "!SS",   "!SE",         "!R,",  "!RS", "!RE", "'Just Row It' ", "OARTEC Slider OSM",
    "POWER DOWN", "SPEED", "HRM Control", "Sleep"};
constexpr std::string_view kBanner = "OARTEC Slider OSM";

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

bool IsVtwFrame(const uint8_t* b)
{
    return BinarySync(b) && Bit(b[1], 6) == (Bit(b[3], 7) != Bit(b[3], 5)) &&
           Bit(b[1], 5) == (Bit(b[3], 4) != Bit(b[3], 6));
}

bool IsVT3WFrame(const uint8_t* b)
{
    return BinarySync(b) && Bit(b[1], 6) == (Bit(b[3], 7) != Bit(b[3], 6)) &&
           Bit(b[1], 5) == !(Bit(b[3], 4) != Bit(b[3], 5));
}

bool IsDosFrame(const uint8_t* b, bool strict) { return !strict || BinarySync(b); }

bool IsTextFrame(std::string_view line, bool opening)
{
    if (opening) return StartsWith(line, kBanner);
    for (const char* start : kLineStarts)
        if (StartsWith(line, start)) return true;
    return false;
}

TFrameMatch RecognizeFrame(const uint8_t* data, size_t size, TTarnProtocolSet set, bool strict, bool opening)
{
    if (size >= 4) {
        if (set.Contains(vtpVtw) && IsVtwFrame(data)) return {4, vtpVtw};
        if (set.Contains(vtpVT3W) && IsVT3WFrame(data)) return {4, vtpVT3W};
        if (set.Contains(vtpDOS) && IsDosFrame(data, strict)) return {4, vtpDOS};
    }
    if (set.Contains(vtpOTDebug)) {
        const size_t limit = std::min(size, kMaxTextLine);
        const void* lf = std::memchr(data, '\n', limit);
        if (!lf) return {size > kMaxTextLine ? 0 : -1, vtpUnknown};
        const size_t length = size_t(static_cast<const uint8_t*>(lf) - data) + 1;
        std::string_view line(reinterpret_cast<const char*>(data), length - 1);
        if (IsTextFrame(line, opening)) return {int(length), vtpOTDebug};
        if (TraceEnabled()) Trace("???? : " + std::string(line));
        return {0, vtpUnknown};
    }
    return {size >= 4 ? 0 : -1, vtpUnknown};
}

uint8_t ReverseBits(uint8_t b)
{
    b = uint8_t((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = uint8_t((b & 0xCC) >> 2 | (b & 0x33) << 2);
    b = uint8_t((b & 0xAA) >> 1 | (b & 0x55) << 1);
    return b;
}

double RoundToMicrosecond(double seconds) { return std::nearbyint(seconds * 1e6) / 1e6; }

TBinaryFrame DecodeBinaryFrame(const uint8_t* b)
{
    const uint8_t r0 = ReverseBits(b[0]), r1 = ReverseBits(b[1]), r2 = ReverseBits(b[2]), r3 = ReverseBits(b[3]);
    TBinaryFrame f;
    f.HeartPeriod = (~r0 & 0x7F) * 16 + ((~r1 & 0xFF) / 8);
    int heart = f.HeartPeriod > 0 ? 72000 / f.HeartPeriod : 0;
    f.HeartRaw = std::clamp(heart, 30, 240);
    f.Counter = (r1 & 1) * 16384 + (r2 & 0x7F) * 128 + (r3 & 0x7F);
    if (f.Counter == 0x7FFF) {
        f.Interval = 1.0;
        f.NoPulse = true;
    } else {
        f.Interval = RoundToMicrosecond((0x7FFF - f.Counter) / kTicksPerSecond);
    }
    return f;
}

bool DecodeTextLine(std::string_view line, double& interval)
{
    if (!StartsWith(line, "!S,") && !StartsWith(line, "!R,")) return false;
    std::string digits(line.substr(3, 4));
    int value = 0;
    if (!TryParseInt(Trim(digits), value)) value = 0;
    interval = value * 8.64e-6;
    return true;
}

int SerialPulseCount(double current, double previous, bool noPulse)
{
    if (noPulse) return 1;
    const double count = std::nearbyint(SafeDivide(previous, current));
    return count >= 1 && count <= 4 ? int(count) : 1;
}

int DemoPulseCount(double current, double previous, bool* bounded)
{
    if (bounded) *bounded = false;
    if (!(current < kLongestInterval && previous < kLongestInterval)) return 1;
    const double count = std::nearbyint(SafeDivide(previous, current));
    if (count > 4) {
        if (bounded) *bounded = true;
        return 1;
    }
    return count >= 1 ? int(count) : 1;
}

std::string ActivityIndicator(uint32_t counter)
{
    static const char kTurn[] = "|/-\\|/-\\";
    const char c = kTurn[counter % 8];
    return c == '-' ? std::string("--") : std::string(1, c);
}

// ---- Magnet diagnostics ----

void TMagnetDiagnostics::Reset(int magnets)
{
    magnets = std::max(magnets, 1);
    Pos = -1;
    Changes.assign(size_t(magnets), 0.0);
    Classes.assign(size_t(magnets), vtmInit);
    Counters.assign(size_t(magnets) * 3, 0);
}

void TMagnetDiagnostics::Update(double current, double previous)
{
    if (Classes.empty()) Reset(1);
    if (!(current < kLongestInterval)) {
        Reset(int(Classes.size()));
        return;
    }
    double d = 0, e = 0;
    if (Pos >= 0) {
        d = previous - current;
        e = d - Changes[size_t(Pos)];
    }
    const TTarnMagnet cls = e < 0 ? vtmSmaller : (e == 0 ? vtmEqual : vtmGreater);
    Pos = (Pos + 1) % int(Classes.size());
    Changes[size_t(Pos)] = d;
    Classes[size_t(Pos)] = cls;
    ++Counters[size_t(Pos) * 3 + (cls - vtmSmaller)];
}

TTarnMagnet TMagnetDiagnostics::Class(int position) const
{
    return position >= 0 && size_t(position) < Classes.size() ? Classes[size_t(position)] : vtmInit;
}

int TMagnetDiagnostics::Count(int position, TTarnMagnet cls) const
{
    if (position < 0 || size_t(position) >= Classes.size() || cls == vtmInit) return 0;
    return int(Counters[size_t(position) * 3 + (cls - vtmSmaller)]);
}

std::string TMagnetDiagnostics::Pattern() const
{
    static const char kMarks[] = {'.', '-', 'O', '+'};
    std::string s = Format("%d ", Pos);
    for (TTarnMagnet c : Classes) s += kMarks[c];
    return s;
}

std::string TMagnetDiagnostics::Statistics() const
{
    std::string s;
    for (size_t i = 0; i < Classes.size(); ++i) {
        const uint32_t sm = Counters[i * 3], eq = Counters[i * 3 + 1], gr = Counters[i * 3 + 2];
        uint32_t sum = sm + eq + gr;
        if (sum == 0) sum = 1;
        uint32_t best;
        if (sm >= eq && sm >= gr) best = sm;
        else if (eq >= sm && eq >= gr) best = eq;
        else best = gr;
        s = Format("%s %3.0f", s.c_str(), 100.0 * best / sum);
    }
    if (!s.empty() && s[0] == ' ') s.erase(0, 1);
    return s;
}

// ---- Pulse input ----

TVTPulseInput::TVTPulseInput()
{
    Computer.IsOpen = [this] { return IsOpenState(CurrentState()); };
    Magnets.Reset(Computer.Settings.Magnets);
}

bool TVTPulseInput::Dropping() const
{
    const TTarnState state = CurrentState();
    return state == vtsClosing || IsPausedState(state);
}

bool TVTPulseInput::Interrupted(bool wasOpen) const { return Dropping() || (wasOpen && !IsOpenState(CurrentState())); }

void TVTPulseInput::Open()
{
    AfterGap = true;
    DataSeen = false;
    ValidSeen = false;
    Rx.clear();
    RxStart = 0;
}

void TVTPulseInput::Prepare()
{
    Computer.Prepare();
    Reset();
}

void TVTPulseInput::Reset()
{
    Computer.Reset();
    Magnets.Reset(Computer.Settings.Magnets);
}

void TVTPulseInput::Close()
{
    Computer.ClearPhase();
    AfterGap = true;
    DataSeen = false;
    ValidSeen = false;
    Rx.clear();
    RxStart = 0;
}

void TVTPulseInput::Fault(const std::string& text)
{
    ++Faults;
    Trace(text);
    if (OnFault) OnFault(text);
}

void TVTPulseInput::HandlePulse(bool interpolated)
{
    ++Pulses;
    if (OnWriteLog) OnWriteLog();
    Computer.PushValidity(CurrentInterval < kLongestInterval);
    Magnets.Update(CurrentInterval, PreviousInterval);
    PreviousInterval = CurrentInterval;
    if (OnRawData) OnRawData(CurrentInterval, HeartRaw, int(Computer.HeartCorrected()));
    Computer.Compute(CurrentInterval, HeartRaw, interpolated);
}

void TVTPulseInput::HandleFrame(const uint8_t* frame, int length, TTarnProtocol protocol)
{
    ++Frames;
    if (!ValidSeen) {
        ValidSeen = true;
        if (!GetState && State == vtsOpening) State = vtsOpened;
        if (OnFirstValid) OnFirstValid();
    }
    Protocol = protocol;
    PreviousInterval = CurrentInterval;
    NoPulse = false;
    if (protocol == vtpOTDebug) {
        double interval;
        if (DecodeTextLine(std::string_view(reinterpret_cast<const char*>(frame), size_t(length)), interval))
            CurrentInterval = interval;
    } else {
        const TBinaryFrame f = DecodeBinaryFrame(frame);
        HeartRaw = f.HeartRaw;
        CurrentInterval = f.Interval;
        NoPulse = f.NoPulse;
    }
    // After a gap the previous interval is stale: no split; and which magnet
    // passes now is not known, so the magnet diagnostics start again.
    const int count = AfterGap ? 1 : SerialPulseCount(CurrentInterval, PreviousInterval, NoPulse);
    if (AfterGap) Magnets.Reset(Computer.Settings.Magnets);
    AfterGap = false;
    CurrentInterval /= count;
    const bool wasOpen = IsOpenState(CurrentState());
    for (int i = 0; i < count; ++i) {
        if (Interrupted(wasOpen)) {  // a handler paused or closed
            AfterGap = true;
            return;
        }
        HandlePulse(count != 1);
    }
}

void TVTPulseInput::ReceiveBytes(const uint8_t* data, size_t size)
{
    DataSeen = true;
    if (size < 4 && !ValidSeen) {
        Trace("NOT FValidData");
        return;
    }
    if (Dropping()) {
        AfterGap = true;
        return;
    }
    if (RxStart > 0 && RxStart == Rx.size()) {
        Rx.clear();
        RxStart = 0;
    }
    Rx.insert(Rx.end(), data, data + size);
    // A handler that pumped messages may bring us here again: the outer call
    // handles the bytes just appended.
    if (InReceive) return;
    InReceive = true;
    uint8_t frame[kMaxTextLine];
    while (Buffered() > (TextLines ? 0u : 3u) && (!CanContinue || CanContinue())) {
        if (Dropping()) {
            // A handler paused: what is left of this cluster is dropped too.
            RxStart = Rx.size();
            AfterGap = true;
            break;
        }
        const uint8_t* front = Rx.data() + RxStart;
        const size_t avail = Buffered();
        const TFrameMatch m = RecognizeFrame(front, avail, ProtocolSet, StrictProtocol, CurrentState() == vtsOpening);
        if (m.Length < 0) break;  // the rest of a text line has not arrived yet
        if (m.Length == 0) {
            if (TextLines) {
                if (avail > kMaxTextLine && !std::memchr(front, '\n', kMaxTextLine))
                    Fault(Format("Text line longer than %d bytes dropped", int(kMaxTextLine)));
            } else {
                ++ProtocolErrors;
                if (OnProtocolError) OnProtocolError();
            }
            ++RxStart;
            continue;
        }
        std::memcpy(frame, front, size_t(m.Length));
        RxStart += size_t(m.Length);
        HandleFrame(frame, m.Length, m.Protocol);
    }
    // Keep the buffer compact: what is left is at most one incomplete frame.
    if (RxStart > 0) {
        Rx.erase(Rx.begin(), Rx.begin() + std::ptrdiff_t(std::min(RxStart, Rx.size())));
        RxStart = 0;
    }
    InReceive = false;
}

void TVTPulseInput::ProcessDemoSample()
{
    bool bounded = false;
    const int count = DemoPulseCount(CurrentInterval, PreviousInterval, &bounded);
    if (bounded)
        Fault(Format("Demo sample of %.6f s after %.6f s taken as one pulse", CurrentInterval, PreviousInterval));
    CurrentInterval /= count;
    const bool wasOpen = IsOpenState(CurrentState());
    for (int i = 0; i < count && !Interrupted(wasOpen); ++i) HandlePulse(count != 1);
}

void TVTPulseInput::ProcessWheelWord(uint16_t word)
{
    DataSeen = true;
    if (!ValidSeen) {
        ValidSeen = true;
        if (!GetState && State == vtsOpening) State = vtsOpened;
        if (OnFirstValid) OnFirstValid();
    }
    Protocol = vtpVT3WI;
    if (Dropping()) {
        AfterGap = true;
        return;
    }
    if (AfterGap) Magnets.Reset(Computer.Settings.Magnets);
    AfterGap = false;
    PreviousInterval = CurrentInterval;
    NoPulse = word == 0x7FFF;
    CurrentInterval = NoPulse ? 1.0 : RoundToMicrosecond(word / kTicksPerSecond);
    HandlePulse(false);
}
