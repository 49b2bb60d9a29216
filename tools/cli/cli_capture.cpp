// catchline-cli capture ADDRESS --out FILE [--device rower|strap] [--seconds N]
//
// Records a Bluetooth device's notifications (an FTMS rowing machine's
// rower data, or a strap's heart rate, and the battery level) into a capture
// file, so a rower can send what their device sends with a fault report and
// the session can be rowed again from it (row --source capture:FILE). Stops
// after N seconds or on Ctrl+C. The lines go to FILE.part as they come and
// the file takes its name at the end, so an existing FILE is replaced only by
// a finished capture and nothing recorded is lost if the tool is killed.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/cli/commands.h"
#include "util/text.h"

#ifdef HAVE_CATCHLINE_INTERFACES
#include <QCoreApplication>
#include <QElapsedTimer>

#include "interfaces/ble_transport.h"
#include "interfaces/delay.h"
#include "interfaces/devices/capture.h"
#include "interfaces/devices/ftms.h"
#include "interfaces/devices/heart_rate.h"

namespace {

volatile std::sig_atomic_t gStop = 0;
void OnStop(int) { gStop = 1; }

int Usage()
{
    std::fprintf(stderr, "Usage: catchline-cli capture ADDRESS --out FILE [--device rower|strap] [--seconds N]\n");
    return 2;
}

}  // namespace

int CmdCapture(const std::vector<std::string>& args)
{
    std::string address, out, device = "rower";
    double seconds = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--out" && i + 1 < args.size()) {
            out = args[++i];
        } else if (a == "--device" && i + 1 < args.size()) {
            device = args[++i];
            if (device != "rower" && device != "strap") return Usage();
        } else if (a == "--seconds" && i + 1 < args.size()) {
            if (!TryParseDecimal(args[++i], seconds) || !(seconds > 0) || seconds > 86400) {
                std::fprintf(stderr, "catchline-cli capture: --seconds takes a number of seconds up to 86400\n");
                return 2;
            }
        } else if (address.empty() && a.rfind("--", 0) != 0) {
            address = a;
        } else {
            std::fprintf(stderr, "catchline-cli capture: unknown argument \"%s\"\n", a.c_str());
            return Usage();
        }
    }
    if (address.empty() || out.empty()) return Usage();
    if (BleAddressOf(address).empty()) {
        std::fprintf(stderr, "catchline-cli capture: \"%s\" is no Bluetooth address (AA:BB:CC:DD:EE:FF)\n",
                     address.c_str());
        return 2;
    }
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "catchline-cli";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    const uint16_t measurement = device == "strap" ? kHeartRateMeasurement : kRowerDataCharacteristic;
    auto transport = CreateQtBleTransport(BleAddressOf(address), measurement);
    const std::string part = out + ".part";
    FILE* f = nullptr;
    size_t lines = 0;
    bool failed = false, connected = false;
    std::string failure;
    transport->OnConnected = [&] {
        connected = true;
        std::fprintf(stderr, "Recording the notifications of %s (Ctrl+C stops) ...\n",
                     transport->Description().c_str());
    };
    QElapsedTimer clock;
    double last = 0;  // the time of the last line: times never go back in a capture
    auto write = [&](const std::string& line) {
        if (!f) {
            f = std::fopen(part.c_str(), "w");
            if (!f) {
                failed = true;
                failure = Format("cannot write \"%s\": %s", part.c_str(), std::strerror(errno));
                return;
            }
            const std::string header = CaptureHeader(transport->Description());
            std::fputs(header.c_str(), f);
        }
        std::fputs(line.c_str(), f);
        std::fflush(f);
    };
    // A drop or the device's end goes into a capture that has begun, so the
    // fault report shows it where it happened.
    auto event = [&](TCaptureEvent kind, const std::string& text) {
        if (!f) return;
        last = std::max(last, clock.elapsed() / 1000.0);
        write(CaptureEventLine(last, kind, text));
    };
    transport->OnStatus = [](const std::string& t) { std::fprintf(stderr, "%s\n", t.c_str()); };
    transport->OnLost = [&](const std::string& t) {
        std::fprintf(stderr, "%s\n", t.c_str());
        event(TCaptureEvent::Lost, t);
    };
    transport->OnFailed = [&](const std::string& t) {
        event(TCaptureEvent::Gone, t);
        failed = true;
        failure = t;
    };
    transport->OnNotification = [&](uint16_t c, const std::vector<uint8_t>& b, double t) {
        last = std::max(last, t);
        write(CaptureLine(last, c, b.data(), b.size()));
        if (f) ++lines;
    };
    gStop = 0;
    auto previous = std::signal(SIGINT, OnStop);
    auto previousTerm = std::signal(SIGTERM, OnStop);
    clock.start();
    transport->Open();
    while (!failed && !gStop && (seconds <= 0 || clock.elapsed() < seconds * 1000)) Delay(50);
    transport->Close();
    std::signal(SIGINT, previous);
    std::signal(SIGTERM, previousTerm);
    bool kept = false;
    if (f) {
        const bool written = std::fflush(f) == 0 && std::fclose(f) == 0;
        kept = written && lines > 0 && std::rename(part.c_str(), out.c_str()) == 0;
        if (!kept) std::fprintf(stderr, "catchline-cli capture: the capture stays in \"%s\"\n", part.c_str());
    }
    if (failed) std::fprintf(stderr, "catchline-cli capture: %s\n", failure.c_str());
    if (kept) std::printf("%zu notifications written to %s\n", lines, out.c_str());
    else if (!failed && !connected)
        std::fprintf(stderr, "catchline-cli capture: no connection to %s\n", address.c_str());
    return kept ? 0 : 1;
}

#else

int CmdCapture(const std::vector<std::string>&)
{
    std::fprintf(stderr, "capture: this build has no Bluetooth support\n");
    return 1;
}

#endif
