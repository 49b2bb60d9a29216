#include "interfaces/delay.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>

namespace {

std::function<void(int, int)>& ToneService()
{
    static std::function<void(int, int)> service;
    return service;
}

void DefaultTone(int, int)
{
    if (isatty(STDERR_FILENO)) {
        std::fputc('\a', stderr);
        std::fflush(stderr);
    }
}

}  // namespace

int64_t TickCount()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    // Offset so that the first ticks are not zero (0 is used as "never").
    return clock.elapsed() + 1000;
}

namespace {
std::atomic<int> gWaitPace{1};
}

void SetWaitPace(int pace) { gWaitPace = pace > 1 ? pace : 1; }
int WaitPace() { return gWaitPace; }

int Paced(int ms)
{
    const int pace = gWaitPace;
    if (pace <= 1 || ms <= 0) return ms;
    return std::max(1, ms / pace);
}

void Delay(int ms)
{
    ms = Paced(ms);
    const int64_t start = TickCount();
    do {
        // Short waits sleep 1 ms per round so that they do not spin the processor.
        QThread::msleep(ms >= 50 ? 10 : 1);
        if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents);
    } while (TickCount() - start < ms);
}

void Tone(int frequency, int duration)
{
    if (frequency < 19) return;
    auto& service = ToneService();
    if (service) service(frequency, duration);
    else DefaultTone(frequency, duration);
}

void ToneOff() {}

void Beep()
{
    auto& service = ToneService();
    if (service) service(0, 0);
    else DefaultTone(0, 0);
}

void SetToneService(std::function<void(int, int)> service) { ToneService() = std::move(service); }
