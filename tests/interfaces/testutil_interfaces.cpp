#include "testutil_interfaces.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "util/trace.h"

void EnsureApp()
{
    static int argc = 1;
    static char name[] = "interfaces_test";
    static char* argv[] = {name, nullptr};
    static std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);
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
