#include "tests/support/testutil_interfaces.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>

#include "interfaces/delay.h"
#include "interfaces/devices/demo_data.h"
#include "interfaces/devices/vt_encoder.h"
#include "util/trace.h"

TWaitPace::TWaitPace(int pace) { SetWaitPace(pace); }
TWaitPace::~TWaitPace() { SetWaitPace(1); }

void EnsureApp()
{
    static int argc = 1;
    static char name[] = "interfaces_test";
    static char* argv[] = {name, nullptr};
    // Fast demo rows play 250 ms of the recording per timer call.
    setenv("CATCHLINE_DEMO_STEP_MS", "250", 0);
    // Never destroyed: at exit Qt's own globals may already be gone.
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

bool WaitFor(const std::function<bool()>& pred, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms) return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

void Pump(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

int OpenDescriptors(const std::string& path)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path wanted = fs::weakly_canonical(path, ec);
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd", ec)) {
        std::error_code link;
        const fs::path target = fs::read_symlink(entry.path(), link);
        if (!link && (target == wanted || target == fs::path(path))) ++count;
    }
    return count;
}

TPty::TPty()
{
    Master = posix_openpt(O_RDWR | O_NOCTTY);
    if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0) std::abort();
    Path = ptsname(Master);
    // Raw on the master's side too: no echo, no line discipline.
    termios tio{};
    tcgetattr(Master, &tio);
    cfmakeraw(&tio);
    tcsetattr(Master, TCSANOW, &tio);
    fcntl(Master, F_SETFL, fcntl(Master, F_GETFL) | O_NONBLOCK);
}

TPty::~TPty() { CloseMaster(); }

bool TPty::Write(const std::string& bytes)
{
    size_t done = 0;
    QElapsedTimer t;
    t.start();
    while (done < bytes.size()) {
        ssize_t n = ::write(Master, bytes.data() + done, bytes.size() - done);
        if (n > 0) done += size_t(n);
        else if (t.elapsed() > 5000) return false;
        else QThread::msleep(1);
    }
    return true;
}

bool TPty::Write(const std::vector<unsigned char>& bytes) { return Write(std::string(bytes.begin(), bytes.end())); }

std::string TPty::ReadAvailable()
{
    std::string out;
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(Master, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, size_t(n));
    }
    return out;
}

void TPty::CloseMaster()
{
    if (Master >= 0) ::close(Master);
    Master = -1;
}

namespace {
std::mutex gLinesLock;
std::vector<std::string> gLines;
}  // namespace

TTraceCollector::TTraceCollector()
{
    {
        std::lock_guard<std::mutex> lock(gLinesLock);
        gLines.clear();
    }
    SetTraceSink([](const std::string& line) {
        std::lock_guard<std::mutex> lock(gLinesLock);
        if (gLines.size() < 200000) gLines.push_back(line);
    });
}

TTraceCollector::~TTraceCollector() { SetTraceSink(nullptr); }

std::vector<std::string> TTraceCollector::Lines() const
{
    std::lock_guard<std::mutex> lock(gLinesLock);
    return gLines;
}

bool TTraceCollector::Contains(const std::string& part) const
{
    std::lock_guard<std::mutex> lock(gLinesLock);
    for (const auto& l : gLines)
        if (l.find(part) != std::string::npos) return true;
    return false;
}

std::vector<uint16_t> RowingTicks(int strokes)
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

std::string VTFrames(const std::vector<uint16_t>& ticks, TTarnProtocol protocol, int heart)
{
    std::string out;
    out.reserve(ticks.size() * 4);
    for (uint16_t t : ticks) {
        const auto f = EncodeVTFrame(protocol, t, heart);
        out.append(reinterpret_cast<const char*>(f.data()), 4);
    }
    return out;
}

std::string TempFolder()
{
    char pattern[] = "/tmp/catchline-if-XXXXXX";
    const char* dir = mkdtemp(pattern);
    return dir ? std::string(dir) + "/" : std::string("/tmp/");
}

std::string WriteRawFile(const std::string& name, const std::vector<uint16_t>& ticks, uint8_t heart)
{
    std::vector<TRawDataSample> samples;
    for (uint16_t t : ticks) samples.push_back({t, heart});
    const auto bytes = RawDataBytes(0x09000001, samples);
    const std::string path = TempFolder() + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}
