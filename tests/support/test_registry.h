#pragma once
// A main-window registry for window tests: it installs itself while alive
// and answers with the program's fixed options. Tests derive from it and
// override what they look at; sessions live in a session store of the test.
#include <string>

#include "core/records.h"
#include "framework/registry.h"

class TEmptyRegistry : public TMainRegistry {
public:
    TEmptyRegistry() { SetMainRegistry(this); }
    ~TEmptyRegistry() override { SetMainRegistry(nullptr); }
    int WindowPlacement() const override { return 1; }
    int PlayRate() const override { return 120; }
    int NameStyle() const override { return 4; }
    bool CrossMarker() const override { return true; }
    int ConnectType() const override { return 0; }
    bool EditAllowed() const override { return true; }
    bool ChartOptionsAllowed() const override { return true; }
    TAppearance Appearance() const override { return {}; }
    QColor DialogColor() const override { return QColor(); }
    int DataRange() const override { return 5; }
    std::string SettingsFileForReading() const override { return ""; }
    std::string SettingsFileForWriting() const override { return ""; }
    std::string LastDir() const override { return ""; }
    void SetLastDir(const std::string&) override {}
    void AddRecentFile(const std::string&) override {}
    void RemoveRecentFile(const std::string&) override {}
    void CountFileSaved() override {}
    void CountRowingSession() override {}
    void AddRowingTime(double) override {}
    bool MainClosing() const override { return false; }
};
