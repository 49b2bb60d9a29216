// Simulated ANT radio library. It offers the functions of the vendor's ANT
// library that the wireless interface resolves, answers every command with a
// response event, and once a channel is open plays pulse intervals as wheel
// packets (payload byte 0 = sequence 16..255, bytes 2..7 = three wheel words)
// with an idle packet (byte 0 = 0, byte 2 = sequence 0..255, bytes 4..7 = the
// transmitter's identity) after every fourth wheel packet, all from its own
// thread, like the real library.
//
// Set-up through the environment (read at ANT_Init):
//   ANTSIM_FILE     raw data file ("MIL " header, 3-byte samples) to play;
//                   without it a built-in rowing pattern of ANTSIM_STROKES
//                   strokes (default 20) is played
//   ANTSIM_SPEED    time factor (default 1 = real time; 0 = no waiting)
//   ANTSIM_GAP      leave out one wheel sequence number every N wheel packets
//   ANTSIM_DEVICES  receivers present (default 1)
//   ANTSIM_FAIL     name of a function that fails (e.g. "ANT_OpenChannel")
//   ANTSIM_ID       transmitter identity (hex, default 0001E240)
//
// A channel set up for device type 120 is an ANT+ heart-rate monitor
// instead: it plays heart-rate data pages every 8070/32768 s (page 4 with
// the toggle bit, beat time, beat count, computed heart rate), set up by
//   ANTSIM_HEART       heart rates, one per second, comma-separated (default
//                      "72,90,110,130,150"); the last one is held
//   ANTSIM_HEART_STOP  seconds after which the strap falls silent
//   ANTSIM_HEART_ID    the strap's device number (default 4321), answered to
//                      a channel-ID request (message 0x51)
//   ANTSIM_NETKEY      the network key the strap's network needs (16 hex
//                      digits); a channel on another key hears nothing and
//                      ends its search (events 0x01 and 0x07)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#define ANT_EXPORT extern "C" __attribute__((visibility("default")))

using RESPONSE_FUNC = int (*)(unsigned char channel, unsigned char messageId);
using CHANNEL_EVENT_FUNC = int (*)(unsigned char channel, unsigned char event);

namespace {

struct TEvent {
    bool Response;  // response event, else channel event
    unsigned char Channel;
    unsigned char Code;     // message id (0x40) or event code (0x80 = rx)
    unsigned char Data[9];  // buffer contents
};

struct TState {
    std::mutex Lock;
    std::condition_variable Wake;
    std::deque<TEvent> Events;
    std::thread Radio;
    bool Running = false;
    bool Stop = false;
    bool ChannelOpen = false;
    unsigned char Channel = 0;
    RESPONSE_FUNC Response = nullptr;
    unsigned char* ResponseBuffer = nullptr;
    CHANNEL_EVENT_FUNC ChannelEvent = nullptr;
    unsigned char* RxBuffer = nullptr;
    std::vector<uint16_t> Ticks;
    double Speed = 1.0;
    int Gap = 0;
    int Devices = 1;
    std::string Fail;
    uint32_t Identity = 0x0001E240;
    // Heart-rate monitor (device type 120 on the channel).
    unsigned char DeviceType = 0;
    std::vector<int> Heart{72, 90, 110, 130, 150};
    double HeartStop = -1;
    unsigned HeartId = 4321;
    std::string NeededKey;
    std::string NetworkKey;  // as set by ANT_SetNetworkKey, 16 hex digits
};

TState& S()
{
    static TState state;
    return state;
}

std::string Env(const char* name, const char* fallback)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string(fallback);
}

std::vector<uint16_t> RowingPattern(int strokes)
{
    std::vector<uint16_t> ticks;
    for (int s = 0; s < strokes; ++s) {
        double t = 0;
        while (t < 0.8) {
            const double dt = 0.015 - 0.005 * (t / 0.8);
            ticks.push_back(uint16_t(dt * 614000.0 + 0.5));
            t += dt;
        }
        t = 0;
        while (t < 1.6) {
            const double dt = 0.010 + 0.005 * (t / 1.6);
            ticks.push_back(uint16_t(dt * 614000.0 + 0.5));
            t += dt;
        }
    }
    return ticks;
}

std::vector<uint16_t> ReadRawFile(const std::string& path)
{
    std::vector<uint16_t> ticks;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return ticks;
    unsigned char header[8];
    if (std::fread(header, 1, 8, f) == 8 && std::memcmp(header, "MIL ", 4) == 0) {
        unsigned char sample[3];
        while (std::fread(sample, 1, 3, f) == 3) ticks.push_back(uint16_t(sample[0] | (sample[1] << 8)));
    }
    std::fclose(f);
    return ticks;
}

bool Fails(const char* name) { return S().Fail == name; }

// Queues a response event answering a command (called with the lock held).
void Respond(unsigned char channel, unsigned char answered, unsigned char code)
{
    TEvent e{};
    e.Response = true;
    e.Channel = channel;
    e.Code = 0x40;
    e.Data[0] = channel;
    e.Data[1] = answered;
    e.Data[2] = code;
    S().Events.push_back(e);
    S().Wake.notify_all();
}

void Deliver(const TEvent& e)
{
    TState& s = S();
    RESPONSE_FUNC response;
    unsigned char* responseBuffer;
    CHANNEL_EVENT_FUNC channelEvent;
    unsigned char* rxBuffer;
    {
        std::lock_guard<std::mutex> lock(s.Lock);
        response = s.Response;
        responseBuffer = s.ResponseBuffer;
        channelEvent = s.ChannelEvent;
        rxBuffer = s.RxBuffer;
    }
    if (e.Response) {
        if (!response) return;
        if (responseBuffer) std::memcpy(responseBuffer, e.Data, 9);
        response(e.Channel, e.Code);
    } else {
        if (!channelEvent) return;
        if (rxBuffer) std::memcpy(rxBuffer, e.Data, 9);
        channelEvent(e.Channel, e.Code);
    }
}

// The heart-rate monitor's state between pages.
struct THeartState {
    int Messages = 0;     // pages sent since the channel opened
    double Time = 0;      // s since the channel opened (the strap's clock)
    double NextBeat = 0;  // s
    unsigned Beats = 0;
    uint16_t BeatTime = 0;  // 1/1024 s
    bool Ended = false;     // search timed out (wrong network key)
    TEvent Event{};
};

// Makes the next page (or search-end event) in h.Event; false when the strap
// sends nothing now. Called with the lock held.
bool HeartPage(THeartState& h)
{
    TState& s = S();
    TEvent& e = h.Event;
    e = TEvent{};
    e.Channel = s.Channel;
    e.Data[0] = s.Channel;
    const double period = 8070.0 / 32768.0;
    h.Time += period;
    if (!s.NeededKey.empty() && s.NeededKey != s.NetworkKey) {
        // Another network: nothing is heard; the search ends after 2 s.
        if (h.Ended || h.Time < 2.0) return false;
        h.Ended = true;
        e.Code = 0x01;  // EVENT_RX_SEARCH_TIMEOUT, then the channel closes
        TEvent closed = e;
        closed.Code = 0x07;  // EVENT_CHANNEL_CLOSED
        s.Events.push_back(closed);
        s.ChannelOpen = false;
        return true;
    }
    if (s.HeartStop >= 0 && h.Time > s.HeartStop) return false;
    const size_t second = size_t(h.Time);
    const int bpm = s.Heart.empty() ? 0 : s.Heart[std::min(second, s.Heart.size() - 1)];
    if (bpm > 0 && bpm < 255) {
        while (h.NextBeat <= h.Time) {
            h.BeatTime = uint16_t(std::lround(h.NextBeat * 1024.0));
            ++h.Beats;
            h.NextBeat += 60.0 / bpm;
        }
    }
    const bool toggle = (h.Messages / 4) % 2 == 1;
    ++h.Messages;
    e.Code = 0x80;  // EVENT_RX_BROADCAST
    e.Data[1] = uint8_t(4 | (toggle ? 0x80 : 0));
    e.Data[2] = 0xFF;
    e.Data[3] = 0xFF;
    e.Data[4] = 0xFF;
    e.Data[5] = uint8_t(h.BeatTime);
    e.Data[6] = uint8_t(h.BeatTime >> 8);
    e.Data[7] = uint8_t(h.Beats);
    e.Data[8] = uint8_t(std::clamp(bpm, 0, 255));
    return true;
}

void RadioLoop()
{
    TState& s = S();
    using clock = std::chrono::steady_clock;
    size_t next = 0;
    unsigned wheelSeq = 16, idleSeq = 0, wheelPackets = 0;
    THeartState heart;
    auto due = clock::now();
    std::unique_lock<std::mutex> lock(s.Lock);
    while (!s.Stop) {
        // Response events first.
        while (!s.Events.empty()) {
            TEvent e = s.Events.front();
            s.Events.pop_front();
            lock.unlock();
            Deliver(e);
            lock.lock();
            if (s.Stop) return;
        }
        if (!s.ChannelOpen) {
            s.Wake.wait_for(lock, std::chrono::milliseconds(20));
            continue;
        }
        if (clock::now() < due) {
            s.Wake.wait_until(lock, due);
            continue;
        }
        if (s.DeviceType == 120) {
            due = clock::now() + std::chrono::microseconds(int64_t(8070.0 / 32768.0 * 1e6 * s.Speed));
            if (!HeartPage(heart)) {
                // Silent: let the library's callers in meanwhile.
                if (s.Speed <= 0) s.Wake.wait_for(lock, std::chrono::milliseconds(5));
                continue;
            }
            TEvent e = heart.Event;
            lock.unlock();
            Deliver(e);
            lock.lock();
            continue;
        }
        TEvent e{};
        e.Response = false;
        e.Channel = s.Channel;
        e.Code = 0x80;  // EVENT_RX_BROADCAST
        e.Data[0] = s.Channel;
        double seconds = 0;
        if (wheelPackets % 5 == 4) {
            // Idle packet: sequence in byte 2, identity big-endian in bytes 4..7.
            e.Data[1] = 0;
            e.Data[3] = uint8_t(idleSeq);
            e.Data[5] = uint8_t(s.Identity >> 24);
            e.Data[6] = uint8_t(s.Identity >> 16);
            e.Data[7] = uint8_t(s.Identity >> 8);
            e.Data[8] = uint8_t(s.Identity);
            idleSeq = (idleSeq + 1) & 0xFF;
        } else {
            if (s.Gap > 0 && wheelPackets % unsigned(s.Gap) == unsigned(s.Gap - 1))
                wheelSeq = wheelSeq == 255 ? 16 : wheelSeq + 1;  // a packet lost on the air
            e.Data[1] = uint8_t(wheelSeq);
            for (int w = 0; w < 3; ++w) {
                // After the recording the flywheel stands still: 0x7FFF words.
                const uint16_t word = next < s.Ticks.size() ? s.Ticks[next++] : 0x7FFF;
                e.Data[3 + 2 * w] = uint8_t(word);
                e.Data[4 + 2 * w] = uint8_t(word >> 8);
                seconds += word == 0x7FFF ? 0.0 : word / 614000.0;
            }
            if (seconds == 0) seconds = 0.25;
            wheelSeq = wheelSeq == 255 ? 16 : wheelSeq + 1;
        }
        ++wheelPackets;
        due = clock::now() + std::chrono::microseconds(int64_t(seconds * 1e6 * s.Speed));
        lock.unlock();
        Deliver(e);
        lock.lock();
    }
}

void StopRadio()
{
    TState& s = S();
    std::thread radio;
    {
        std::lock_guard<std::mutex> lock(s.Lock);
        if (!s.Running) return;
        s.Stop = true;
        s.Running = false;
        s.ChannelOpen = false;
        s.Events.clear();
        radio = std::move(s.Radio);
    }
    s.Wake.notify_all();
    if (radio.joinable() && radio.get_id() != std::this_thread::get_id()) radio.join();
    else if (radio.joinable()) radio.detach();
}

}  // namespace

ANT_EXPORT int ANT_Init(unsigned char deviceNumber, unsigned short)
{
    TState& s = S();
    StopRadio();
    std::lock_guard<std::mutex> lock(s.Lock);
    s.Devices = std::atoi(Env("ANTSIM_DEVICES", "1").c_str());
    if (deviceNumber >= s.Devices) return 0;
    s.Fail = Env("ANTSIM_FAIL", "");
    if (Fails("ANT_Init")) return 0;
    s.Speed = std::atof(Env("ANTSIM_SPEED", "1").c_str());
    s.Gap = std::atoi(Env("ANTSIM_GAP", "0").c_str());
    s.Identity = uint32_t(std::strtoul(Env("ANTSIM_ID", "0001E240").c_str(), nullptr, 16));
    const std::string file = Env("ANTSIM_FILE", "");
    s.Ticks = file.empty() ? RowingPattern(std::atoi(Env("ANTSIM_STROKES", "20").c_str())) : ReadRawFile(file);
    s.Heart.clear();
    const std::string heart = Env("ANTSIM_HEART", "72,90,110,130,150");
    for (size_t at = 0; at <= heart.size();) {
        size_t comma = heart.find(',', at);
        if (comma == std::string::npos) comma = heart.size();
        if (comma > at) s.Heart.push_back(std::atoi(heart.substr(at, comma - at).c_str()));
        at = comma + 1;
    }
    s.HeartStop = std::atof(Env("ANTSIM_HEART_STOP", "-1").c_str());
    s.HeartId = unsigned(std::atoi(Env("ANTSIM_HEART_ID", "4321").c_str()));
    s.NeededKey = Env("ANTSIM_NETKEY", "");
    for (char& c : s.NeededKey) c = char(std::toupper(static_cast<unsigned char>(c)));
    s.NetworkKey.clear();
    s.DeviceType = 0;
    s.Stop = false;
    s.Running = true;
    s.Radio = std::thread(RadioLoop);
    return 1;
}

ANT_EXPORT void ANT_Close() { StopRadio(); }

ANT_EXPORT int ANT_ResetSystem()
{
    std::lock_guard<std::mutex> lock(S().Lock);
    S().ChannelOpen = false;
    return Fails("ANT_ResetSystem") ? 0 : 1;
}

ANT_EXPORT void ANT_Nap(unsigned long ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

ANT_EXPORT int ANT_SetTransmitPower(unsigned char) { return Fails("ANT_SetTransmitPower") ? 0 : 1; }

ANT_EXPORT int ANT_GetDeviceUSBInfo(unsigned char deviceNumber, unsigned char* product, unsigned char* serial)
{
    if (Fails("ANT_GetDeviceUSBInfo")) return 0;
    std::snprintf(reinterpret_cast<char*>(product), 256, "ANT USB-m Stick");
    std::snprintf(reinterpret_cast<char*>(serial), 256, "%u", 1234500u + deviceNumber);
    return 1;
}

ANT_EXPORT int ANT_GetDeviceUSBPID(unsigned short* pid)
{
    if (Fails("ANT_GetDeviceUSBPID")) return 0;
    *pid = 0x1009;
    return 1;
}

namespace {
int Command(const char* name, unsigned char channel, unsigned char messageId)
{
    std::lock_guard<std::mutex> lock(S().Lock);
    if (Fails(name)) return 0;
    if (S().Running) Respond(channel, messageId, 0);
    return 1;
}
}  // namespace

ANT_EXPORT int ANT_AssignChannel(unsigned char channel, unsigned char, unsigned char)
{
    return Command("ANT_AssignChannel", channel, 0x42);
}

ANT_EXPORT int ANT_UnAssignChannel(unsigned char channel)
{
    {
        std::lock_guard<std::mutex> lock(S().Lock);
        S().ChannelOpen = false;
    }
    return Command("ANT_UnAssignChannel", channel, 0x41);
}

ANT_EXPORT int ANT_SetChannelId(unsigned char channel, unsigned short, unsigned char deviceType, unsigned char)
{
    {
        std::lock_guard<std::mutex> lock(S().Lock);
        S().DeviceType = deviceType;
    }
    return Command("ANT_SetChannelId", channel, 0x51);
}

ANT_EXPORT int ANT_SetChannelRFFreq(unsigned char channel, unsigned char)
{
    return Command("ANT_SetChannelRFFreq", channel, 0x45);
}

ANT_EXPORT int ANT_SetChannelPeriod(unsigned char channel, unsigned short)
{
    return Command("ANT_SetChannelPeriod", channel, 0x43);
}

ANT_EXPORT int ANT_OpenChannel(unsigned char channel)
{
    if (!Command("ANT_OpenChannel", channel, 0x4B)) return 0;
    std::lock_guard<std::mutex> lock(S().Lock);
    S().ChannelOpen = true;
    S().Channel = channel;
    S().Wake.notify_all();
    return 1;
}

ANT_EXPORT int ANT_CloseChannel(unsigned char channel) { return Command("ANT_CloseChannel", channel, 0x4C); }

ANT_EXPORT int ANT_SetNetworkKey(unsigned char network, unsigned char* key)
{
    {
        std::lock_guard<std::mutex> lock(S().Lock);
        if (Fails("ANT_SetNetworkKey")) return 0;
        char text[17] = {};
        for (int i = 0; i < 8; ++i) std::snprintf(text + 2 * i, 3, "%02X", key ? key[i] : 0);
        S().NetworkKey = text;
    }
    return Command("ANT_SetNetworkKey", network, 0x46);
}

ANT_EXPORT int ANT_RequestMessage(unsigned char channel, unsigned char messageId)
{
    std::lock_guard<std::mutex> lock(S().Lock);
    TState& s = S();
    if (!s.Running) return 0;
    if (messageId == 0x51) {
        // The channel's ID as paired: device number, device type, transmission type.
        TEvent e{};
        e.Response = true;
        e.Channel = channel;
        e.Code = 0x51;
        e.Data[0] = channel;
        e.Data[1] = uint8_t(s.HeartId);
        e.Data[2] = uint8_t(s.HeartId >> 8);
        e.Data[3] = s.DeviceType;
        e.Data[4] = 1;
        s.Events.push_back(e);
        s.Wake.notify_all();
    }
    return 1;
}

ANT_EXPORT void ANT_AssignResponseFunction(RESPONSE_FUNC function, unsigned char* buffer)
{
    std::lock_guard<std::mutex> lock(S().Lock);
    S().Response = function;
    S().ResponseBuffer = buffer;
}

ANT_EXPORT void ANT_AssignChannelEventFunction(unsigned char, CHANNEL_EVENT_FUNC function, unsigned char* buffer)
{
    std::lock_guard<std::mutex> lock(S().Lock);
    S().ChannelEvent = function;
    S().RxBuffer = buffer;
}

ANT_EXPORT void ANT_UnassignAllResponseFunctions()
{
    std::lock_guard<std::mutex> lock(S().Lock);
    S().Response = nullptr;
    S().ResponseBuffer = nullptr;
    S().ChannelEvent = nullptr;
    S().RxBuffer = nullptr;
}

ANT_EXPORT const char* ANT_LibVersion() { return "AOD1.00SIM"; }
