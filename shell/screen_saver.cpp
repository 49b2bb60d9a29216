#include "shell/screen_saver.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>

#include "util/date_time.h"
#include "util/text.h"
#include "util/trace.h"

namespace {
const char* kService = "org.freedesktop.ScreenSaver";
const char* kPath = "/org/freedesktop/ScreenSaver";
const char* kInterface = "org.freedesktop.ScreenSaver";
}  // namespace

TScreenSaverBlocker::~TScreenSaverBlocker() { Stop(); }

bool TScreenSaverBlocker::Start(const std::string& application, const std::string& reason)
{
    if (Cookie != 0) return true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return false;
    QDBusReply<bool> registered = bus.interface()->isServiceRegistered(kService);
    if (!registered.isValid() || !registered.value()) return false;
    QDBusInterface screenSaver(kService, kPath, kInterface, bus);
    if (!screenSaver.isValid()) return false;
    QDBusReply<uint> reply =
        screenSaver.call("Inhibit", QString::fromStdString(application), QString::fromStdString(reason));
    if (!reply.isValid()) {
        Trace("Screen saver: " + reply.error().message().toStdString());
        return false;
    }
    Cookie = reply.value();
    Since = TimeStamp();
    return Cookie != 0;
}

void TScreenSaverBlocker::Stop()
{
    if (Cookie == 0) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusInterface screenSaver(kService, kPath, kInterface, bus);
        if (screenSaver.isValid()) screenSaver.call("UnInhibit", Cookie);
    }
    Cookie = 0;
    Since.clear();
}

std::string TScreenSaverBlocker::StatusText() const
{
    if (Cookie == 0) return {};
    return Format("Screen saver blocked at %s", Since.c_str());
}
