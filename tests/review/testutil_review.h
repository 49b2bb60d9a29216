#pragma once
// Helpers of the review window tests: the application object, a temporary
// home for the settings file, a main-window registry that records what the
// windows tell it, and sessions made in memory.
#include <QApplication>

#include <string>
#include <vector>

#include "core/records.h"
#include "tests/framework/testhome.h"
#include "shell/framework/registry.h"

// A temporary home for the review window tests.
class TReviewEnv : public TTempHome {
public:
    TReviewEnv() : TTempHome("review") {}
};

// The main window as the review windows see it; records every notification.
class TTestRegistry : public TSessionRegistry {
public:
    TTestRegistry() { SetMainRegistry(this); }
    ~TTestRegistry() override { SetMainRegistry(nullptr); }

    int TrainingCount() const override { return 0; }
    bool GetTraining(int, TTraining&) const override { return false; }
    TTraining* TrainingRef(int) override { return nullptr; }
    int TrainingWindowIndex(int) const override { return -1; }
    int FindTrainingWindow(int32_t) const override { return -1; }
    int32_t TrainingIdAt(int) const override { return -1; }
    int32_t NextTrainingId() override { return ++Ids; }
    bool TooManyTrainings() override { return false; }

    void TrainingClosed(int32_t id) override { Closed.push_back(id); }
    void TrainingsChanged() override { ++Changed; }
    void TrainingListChanged(bool added) override { ListChanged.push_back(added); }
    void RowSessionReset(int32_t id) override { Resets.push_back(id); }

    int WindowPlacement() const override { return 1; }
    int PlayRate() const override { return 120; }
    int NameStyle() const override { return 4; }
    bool CrossMarker() const override { return true; }
    int ConnectType() const override { return 0; }
    bool EditAllowed() const override { return Edit; }
    bool ChartOptionsAllowed() const override { return true; }
    TAppearance Appearance() const override { return {}; }
    QColor DialogColor() const override { return Qt::lightGray; }
    int DataRange() const override { return 65535; }
    std::string SettingsFileForReading() const override;
    std::string SettingsFileForWriting() const override;

    std::string LastDir() const override { return Last; }
    void SetLastDir(const std::string& folder) override { Last = folder; }
    void AddRecentFile(const std::string& path) override { Recent.push_back(path); }
    void RemoveRecentFile(const std::string&) override {}
    void CountFileSaved() override { ++FilesSaved; }
    void CountRowingSession() override {}
    void AddRowingTime(double) override {}
    bool MainClosing() const override { return false; }

    bool Edit = true;
    int32_t Ids = 100;
    int Changed = 0;
    int FilesSaved = 0;
    std::string Last;
    std::vector<int32_t> Closed;
    std::vector<bool> ListChanged;
    std::vector<int32_t> Resets;
    std::vector<std::string> Recent;
};

// A session of n strokes (with force curves) as a recording leaves it:
// 5 m and 2.5 s per stroke, totals from the last stroke.
TTraining MakeRowedSession(int n);
// One stroke as the row window stores it.
void AppendStroke(TTraining& t);
// Path of a file under tests/data.
std::string TestDataFile(const std::string& relative);
