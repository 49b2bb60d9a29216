// catchline-cli simulate vt|vt3|od|ot [--file FILE] [--speed X] [--wait-open]
// catchline-cli simulate ftms|hrm --out FILE [--file FILE] [--weight KG]
//
// Plays a device on a pseudo-terminal: its slave path is printed on standard
// output, and the program (or a test) opens that path as its serial port.
//   vt   the measuring interface: one 4-byte VTW frame per pulse, at 9600-baud timing
//   vt3  the VT3 machine's interface: VT3W frames
//   od   the Oartec slider: its banner, then one "!S," / "!R," line per pulse
//   ot   an OTM monitor: answers the search with OTM_ALIVE, the accept with the
//        workout start, then sends the strokes of the recording (as the stroke
//        computation finds them) and the workout totals
// The pulses come from a raw data file ("MIL " file), the built-in demo
// recording by default. --speed X plays X times faster than real time.
// --wait-open (vt, vt3) holds the recording until a program opens the port,
// so that every run sees the same pulses from the first on.
//
// ftms and hrm write a capture (see interfaces/devices/capture.h) instead:
// what a Bluetooth FTMS rowing machine, or a chest strap, would have sent
// while the recording's rower rowed (the strokes as the stroke computation
// finds them for a rower of --weight kg, 80 by default).
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tools/cli/commands.h"
#include "util/paths.h"
#include "util/text.h"

#ifdef HAVE_CATCHLINE_DEVICES
#include "interfaces/devices/capture.h"
#include "interfaces/devices/demo_data.h"
#include "interfaces/devices/ot_frames.h"
#include "interfaces/devices/vt_encoder.h"
#include "interfaces/devices/vt_protocol.h"
#endif

#ifdef HAVE_CATCHLINE_DEVICES
namespace {

std::atomic<bool> gStop{false};

void OnSignal(int) { gStop = true; }

using Clock = std::chrono::steady_clock;

// The device side of a pseudo-terminal.
class TDeviceSide {
public:
    bool Open()
    {
        Master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0) return false;
        termios tio{};
        if (tcgetattr(Master, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(Master, TCSANOW, &tio);
        }
        const char* name = ptsname(Master);
        Path = name ? name : "";
        return !Path.empty();
    }
    ~TDeviceSide()
    {
        if (Master >= 0) close(Master);
    }
    // Sends bytes; what the terminal cannot take (nobody reads) is dropped.
    void Send(const void* data, size_t size)
    {
        const auto* p = static_cast<const uint8_t*>(data);
        size_t done = 0;
        const auto give_up = Clock::now() + std::chrono::milliseconds(20);
        while (done < size) {
            const ssize_t n = write(Master, p + done, size - done);
            if (n > 0) {
                done += size_t(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EIO) break;
            if (Clock::now() > give_up || gStop) break;
            pollfd fd{Master, POLLOUT, 0};
            poll(&fd, 1, 10);
        }
        Sent += done;
        Dropped += size - done;
    }
    void Send(const std::string& s) { Send(s.data(), s.size()); }
    void Send(const std::vector<uint8_t>& v) { Send(v.data(), v.size()); }
    // Waits until a program opens the port. The terminal side is opened and
    // closed once here, so the master reports a hang-up until the program
    // opens it. False when stopped first.
    bool WaitForOpen()
    {
        const int slave = open(Path.c_str(), O_RDWR | O_NOCTTY);
        if (slave >= 0) close(slave);
        while (!gStop) {
            pollfd fd{Master, 0, 0};
            poll(&fd, 1, 0);
            if (!(fd.revents & POLLHUP)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    // Bytes the program sent, waiting at most ms.
    std::vector<uint8_t> Receive(int ms)
    {
        std::vector<uint8_t> out;
        pollfd fd{Master, POLLIN, 0};
        if (poll(&fd, 1, ms) > 0 && (fd.revents & POLLIN)) {
            uint8_t buf[512];
            ssize_t n;
            while ((n = read(Master, buf, sizeof buf)) > 0) out.insert(out.end(), buf, buf + n);
        }
        return out;
    }

    int Master = -1;
    std::string Path;
    uint64_t Sent = 0, Dropped = 0;
};

// Sleeps until a time point, or returns false when stopped.
bool WaitUntil(Clock::time_point due)
{
    while (!gStop) {
        const auto now = Clock::now();
        if (now >= due) return true;
        std::this_thread::sleep_for(std::min<Clock::duration>(due - now, std::chrono::milliseconds(50)));
    }
    return false;
}

Clock::duration Seconds(double s)
{
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

int PlayPulses(TDeviceSide& dev, const std::vector<TRawDataSample>& samples, const std::string& kind, double speed,
               bool waitOpen)
{
    const bool od = kind == "od";
    const TTarnProtocol protocol = kind == "vt3" ? vtpVT3W : vtpVtw;
    if (waitOpen && !od) {
        // The rower starts once the program listens: one pulse of a standing
        // flywheel tells it the device is there; the recording follows after a
        // pause long enough for the program to start its computation, so every
        // run that opens the port sees the same pulses.
        if (!dev.WaitForOpen()) return 0;
        if (!WaitUntil(Clock::now() + std::chrono::milliseconds(300))) return 0;
        const auto f = EncodeVTFrame(protocol, 65535, 150);
        dev.Send(f.data(), 4);
        if (!WaitUntil(Clock::now() + std::chrono::milliseconds(700))) return 0;
    }
    // Line time per byte: 10 bits at 9600 or 115200 baud.
    const double byteTime = od ? 10.0 / 115200 : 10.0 / 9600;
    auto due = Clock::now();
    auto lineFree = due;
    if (od) {
        dev.Send(std::string(kODBanner));
        lineFree = Clock::now() + Seconds(std::strlen(kODBanner) * byteTime / speed);
    }
    double previous = 1.0;
    size_t count = 0;
    for (const TRawDataSample& s : samples) {
        if (gStop) break;
        const double interval = s.Ticks / 614000.0;
        due += Seconds(interval / speed);
        std::string bytes;
        if (od) {
            bytes = EncodeODLine(interval, interval <= previous);
        } else {
            const auto f = EncodeVTFrame(protocol, s.Ticks, s.Heart >= 30 ? s.Heart : 150);
            bytes.assign(reinterpret_cast<const char*>(f.data()), 4);
        }
        previous = interval;
        // A frame leaves when its pulse is due and the line is free again.
        // (Scheduled times, not the real ones: a late wake-up is caught up in a burst.)
        const auto sendAt = std::max(due, lineFree);
        if (!WaitUntil(sendAt)) break;
        dev.Send(bytes);
        lineFree = sendAt + Seconds(bytes.size() * byteTime / speed);
        ++count;
    }
    std::fprintf(stderr, "catchline-cli simulate: %zu pulses sent (%llu bytes, %llu dropped)\n", count,
                 (unsigned long long)dev.Sent, (unsigned long long)dev.Dropped);
    return 0;
}

struct TOTStroke {
    double Time;  // s since the workout start
    std::vector<uint8_t> Frame;
};

// Runs the recording through the stroke computation and turns its strokes into OTM frames.
std::vector<TOTStroke> OTStrokes(const std::vector<TRawDataSample>& samples, uint32_t& energy, uint32_t& distance,
                                 double& total)
{
    TVTPulseInput in;
    in.State = vtsOpened;
    in.Computer.DoCalculate = true;
    int64_t nowMs = 0;
    in.Computer.Clock = [&] { return nowMs; };
    in.Prepare();
    std::vector<double> forces;
    std::vector<TOTStroke> strokes;
    int lastNumber = 0;
    in.Computer.OnStartingStroke = [&] { forces.clear(); };
    in.Computer.OnForceData = [&](int, double, double force, double) { forces.push_back(force); };
    in.Computer.OnStrokeData = [&](const TStgStrokeData& d) {
        if (d.StrokeNumber == lastNumber || d.StrokeNumber == 0) return;  // standstill updates
        lastNumber = d.StrokeNumber;
        // The stroke record is packed: its fields are taken by value (a
        // reference to one may be misaligned). Not-a-number counts as 0.
        const auto word = [](float value, float most = 65535.0f) {
            return value > 0 ? uint16_t(std::min(value, most)) : uint16_t(0);
        };
        TOTStrokeValues v;
        v.StrokeNumber = d.StrokeNumber;
        v.PowerX10 = word(d.Power * 10.0f);
        v.StrokeRate = word(d.StrokeRate);
        v.TimeX10 = word(d.Time * 10.0f);
        v.StrokeLength = word(d.StrokeLength);
        v.Distance = word(d.Distance);
        v.Energy = word(d.Energy);
        v.HeartRate = word(d.Pulse, 255.0f);
        v.A = word(d.DriveTime * 100.0f);
        v.B = d.RecoverRatio > 0 ? word(v.A / d.RecoverRatio) : 0;
        v.Drag = word(d.KValue);
        v.DistancePerStroke = word(d.DistancePerStroke);
        for (int i = 0; i < 60 && !forces.empty(); ++i) {
            const double f = forces[std::min(forces.size() - 1, size_t(i) * forces.size() / 60)];
            v.Curve[i] = uint8_t(std::clamp(f / 10.0, 0.0, 255.0));
        }
        energy += v.Energy;
        distance = uint32_t(d.Distance * 10);
        strokes.push_back({d.Time, OTDeviceFrame(OTM_STROKEFINISHED, OTStrokePayload(v))});
    };
    double t = 0;
    for (const TRawDataSample& s : samples) {
        in.CurrentInterval = s.Ticks / 614000.0;
        in.HeartRaw = s.Heart >= 30 ? s.Heart : 150;
        t += in.CurrentInterval;
        nowMs = int64_t(t * 1000);
        in.ProcessDemoSample();
    }
    total = t;
    return strokes;
}

int PlayOTM(TDeviceSide& dev, const std::vector<TRawDataSample>& samples, double speed)
{
    uint32_t energy = 0, distance = 0;
    double total = 0;
    const std::vector<TOTStroke> strokes = OTStrokes(samples, energy, distance, total);
    std::fprintf(stderr, "catchline-cli simulate: OTM with %zu strokes, waiting for the search\n", strokes.size());
    std::vector<uint8_t> rx;
    bool working = false, finished = false;
    size_t next = 0;
    Clock::time_point start;
    while (!gStop && !finished) {
        const auto got = dev.Receive(working ? 5 : 50);
        rx.insert(rx.end(), got.begin(), got.end());
        for (uint8_t command : TakeOTCommands(rx)) {
            if (command == 1 && !working) {
                dev.Send(OTDeviceFrame(OTM_ALIVE, std::vector<uint8_t>(70, ' ')));
            } else if (command == 2 && !working) {
                // A workout of all the recording's strokes.
                dev.Send(OTDeviceFrame(
                    OTM_STARTWORKOUT,
                    OTStartWorkoutPayload(0, uint16_t(std::min<size_t>(strokes.size(), 65535)), 0, 0, 0)));
                working = true;
                next = 0;
                start = Clock::now();
                std::fprintf(stderr, "catchline-cli simulate: workout started\n");
            } else if (command == 3 && working) {
                std::fprintf(stderr, "catchline-cli simulate: the program closed the port; waiting for a new search\n");
                working = false;
            }
        }
        if (!working) continue;
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count() * speed;
        while (next < strokes.size() && strokes[next].Time <= elapsed) dev.Send(strokes[next++].Frame);
        if (next == strokes.size() && elapsed >= total) {
            dev.Send(
                OTDeviceFrame(OTM_WORKOUTFINISHED, OTWorkoutFinishedPayload(energy, distance, uint32_t(total * 10))));
            finished = true;
        }
    }
    if (finished) std::fprintf(stderr, "catchline-cli simulate: workout finished\n");
    return 0;
}

}  // namespace
#endif

int CmdSimulate(const std::vector<std::string>& args)
{
#ifndef HAVE_CATCHLINE_DEVICES
    std::fprintf(stderr, "catchline-cli simulate: not available in this build\n");
    return 2;
#else
    std::string kind, file, out;
    double speed = 1.0, weight = 80;
    bool waitOpen = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--wait-open") {
            waitOpen = true;
        } else if (args[i] == "--file" && i + 1 < args.size()) {
            file = args[++i];
        } else if (args[i] == "--out" && i + 1 < args.size()) {
            out = args[++i];
        } else if (args[i] == "--weight" && i + 1 < args.size()) {
            if (!TryParseDecimal(args[++i], weight) || !(weight >= 20 && weight <= 300)) {
                std::fprintf(stderr, "catchline-cli simulate: --weight takes a number of kg from 20 to 300\n");
                return 2;
            }
        } else if (args[i] == "--speed" && i + 1 < args.size()) {
            if (!TryParseDecimal(args[++i], speed) || !(speed > 0) || speed > 1e6) {
                std::fprintf(stderr, "catchline-cli simulate: --speed takes a number above 0\n");
                return 2;
            }
        } else if (kind.empty() && args[i].rfind("--", 0) != 0) {
            kind = args[i];
        } else {
            std::fprintf(stderr, "catchline-cli simulate: unknown argument \"%s\"\n", args[i].c_str());
            return 2;
        }
    }
    const bool capture = kind == "ftms" || kind == "hrm";
    if (kind != "vt" && kind != "vt3" && kind != "od" && kind != "ot" && !capture) {
        std::fprintf(stderr,
                     "Usage: catchline-cli simulate vt|vt3|od|ot [--file FILE] [--speed X] [--wait-open]\n"
                     "       catchline-cli simulate ftms|hrm --out FILE [--file FILE] [--weight KG]\n");
        return 2;
    }
    if (capture && out.empty()) {
        std::fprintf(stderr, "catchline-cli simulate: %s writes a capture: give it --out FILE\n", kind.c_str());
        return 2;
    }
    std::vector<uint8_t> bytes;
    if (file.empty()) {
        bytes = BuiltInDemoData();
    } else {
        int error = 0;
        if (!ReadWholeFile(file, bytes, error)) {
            std::fprintf(stderr, "catchline-cli simulate: cannot read \"%s\": %s\n", file.c_str(),
                         SystemErrorText(error).c_str());
            return 1;
        }
    }
    std::vector<TRawDataSample> samples;
    const std::string failure = ParseRawData(bytes.data(), bytes.size(), nullptr, &samples);
    if (!failure.empty()) {
        std::fprintf(stderr, "catchline-cli simulate: \"%s\" is no raw data file: %s\n",
                     file.empty() ? "built-in recording" : file.c_str(), failure.c_str());
        return 1;
    }
    if (capture) {
        std::string error;
        const auto strokes = RecordingStrokes(bytes, weight, error);
        if (!error.empty()) {
            std::fprintf(stderr, "catchline-cli simulate: %s\n", error.c_str());
            return 1;
        }
        const std::string text = kind == "ftms" ? MakeFtmsCapture(strokes, "Simulated rowing machine")
                                                : MakeHeartCapture(strokes, "Simulated heart-rate strap");
        int code = 0;
        if (!WriteFileAtomically(out, text.data(), text.size(), code)) {
            std::fprintf(stderr, "catchline-cli simulate: cannot write \"%s\": %s\n", out.c_str(), std::strerror(code));
            return 1;
        }
        std::fprintf(stderr, "catchline-cli simulate: %s capture of %zu strokes written to %s\n", kind.c_str(),
                     strokes.size(), out.c_str());
        return 0;
    }
    TDeviceSide dev;
    if (!dev.Open()) {
        std::fprintf(stderr, "catchline-cli simulate: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    std::printf("%s\n", dev.Path.c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "catchline-cli simulate: %s device on %s, %zu pulses, speed %g\n", kind.c_str(),
                 dev.Path.c_str(), samples.size(), speed);
    const int rc = kind == "ot" ? PlayOTM(dev, samples, speed) : PlayPulses(dev, samples, kind, speed, waitOpen);
    // Let the program read the last bytes before the line goes away.
    if (!gStop) std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return rc;
#endif
}
