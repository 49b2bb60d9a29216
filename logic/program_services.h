#pragma once
// What the logic needs of the program around it: where the program settings
// are read and written, and the usage statistics it counts. The main window
// provides them; the command-line tool and tests use TStandaloneServices or
// their own.
#include <functional>
#include <string>

#include "logic/main_logic.h"

class TProgramServices {
public:
    virtual ~TProgramServices() = default;
    // The settings file locations ("" when none).
    virtual std::string SettingsFileForReading() const = 0;
    virtual std::string SettingsFileForWriting() const = 0;
    // Usage statistics.
    virtual void CountRowingSession() = 0;
    virtual void AddRowingTime(double days) = 0;
    virtual void CountFileSaved() = 0;
};

// Settings at the utility library's locations; statistics counted here and
// kept nowhere else.
class TStandaloneServices : public TProgramServices {
public:
    std::string SettingsFileForReading() const override;
    std::string SettingsFileForWriting() const override;
    void CountRowingSession() override { ++Statistics.RowingSessions; }
    void AddRowingTime(double days) override { Statistics.RowingTime += days; }
    void CountFileSaved() override { ++Statistics.FilesSaved; }

    TProgramStatistics Statistics;
};

// The device interfaces' tones (protocol-error beeps, a connect test's
// clicks) are sounded by sound(frequency, duration): the windows pass the
// platform beep.
void SetInterfaceTones(std::function<void(int frequency, int duration)> sound);
