#include "interfaces/delay.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
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

void Delay(int ms)
{
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
