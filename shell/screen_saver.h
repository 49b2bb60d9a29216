#pragma once
// Keeps the desktop's screen saver from starting while the program runs:
// org.freedesktop.ScreenSaver.Inhibit on the session bus. Without a session
// bus (or without a screen saver service) nothing happens and nothing is reported.
#include <cstdint>
#include <string>

class TScreenSaverBlocker {
public:
    TScreenSaverBlocker() = default;
    ~TScreenSaverBlocker();
    TScreenSaverBlocker(const TScreenSaverBlocker&) = delete;
    TScreenSaverBlocker& operator=(const TScreenSaverBlocker&) = delete;

    // Asks for the inhibition; true when the desktop granted it.
    bool Start(const std::string& application, const std::string& reason);
    void Stop();
    bool Active() const { return Cookie != 0; }
    // "Screen saver blocked at %s" with the time blocking started; "" when not blocked.
    std::string StatusText() const;

private:
    uint32_t Cookie = 0;
    std::string Since;
};
