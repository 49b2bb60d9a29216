#include "shell/start_timing.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

const auto kProgramStart = std::chrono::steady_clock::now();

// The quit of a timed start waits for the main window's first paint: on a
// real display it comes when the window manager has shown the window, which
// may be after the command line is done.
bool gFirstPaintReported = false;
bool gQuitRequested = false;

void QuitSoon()
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

const char* Mode()
{
    const char* v = std::getenv("CATCHLINE_TIMING");
    return v && *v && std::strcmp(v, "0") != 0 ? v : nullptr;
}

// Paint events of one window: the first one is reported once it was
// handled (the window is on the screen then).
class TFirstPaint : public QObject {
public:
    TFirstPaint(QWidget* window, std::string what) : QObject(window), FWhat(std::move(what)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !FSeen) {
            FSeen = true;
            QPointer<TFirstPaint> self(this);
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [self, what = FWhat] {
                    StartTiming::Report(what);
                    gFirstPaintReported = true;
                    if (gQuitRequested) QuitSoon();
                    if (self) self->deleteLater();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    std::string FWhat;
    bool FSeen = false;
};

}  // namespace

namespace StartTiming {

bool Enabled() { return Mode() != nullptr; }

bool QuitWhenDone()
{
    const char* m = Mode();
    return m && std::strcmp(m, "quit") == 0;
}

double SinceProgramStart()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - kProgramStart).count();
}

double SinceProcessStart()
{
    // Field 22 of /proc/self/stat: the start in clock ticks after boot. The
    // command name (field 2) may hold blanks, so fields are counted after
    // its closing parenthesis.
    std::ifstream in("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t paren = text.rfind(')');
    if (paren == std::string::npos) return SinceProgramStart();
    std::istringstream fields(text.substr(paren + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
    }
    const double ticks = std::strtod(field.c_str(), nullptr);
    const long hz = sysconf(_SC_CLK_TCK);
    timespec now{};
    if (ticks <= 0 || hz <= 0 || clock_gettime(CLOCK_BOOTTIME, &now) != 0) return SinceProgramStart();
    const double ms = (double(now.tv_sec) + double(now.tv_nsec) / 1e9 - ticks / double(hz)) * 1000;
    return ms > 0 ? ms : SinceProgramStart();
}

void Report(const std::string& text)
{
    if (!Enabled()) return;
    std::fprintf(stderr, "timing: %s: %.0f ms after the process started (%.0f ms after main)\n", text.c_str(),
                 SinceProcessStart(), SinceProgramStart());
    std::fflush(stderr);
}

void ReportSpan(const std::string& text, double ms)
{
    if (!Enabled()) return;
    std::fprintf(stderr, "timing: %s: %.0f ms\n", text.c_str(), ms);
    std::fflush(stderr);
}

void QuitOnceShown()
{
    if (!QuitWhenDone()) return;
    gQuitRequested = true;
    if (gFirstPaintReported) QuitSoon();
}

void WatchFirstPaint(QWidget* window, const std::string& what)
{
    if (!Enabled() || !window) return;
    window->installEventFilter(new TFirstPaint(window, what));
}

}  // namespace StartTiming
