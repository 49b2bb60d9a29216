#pragma once
// Helpers of the review window tests: the application object, a temporary
// home for the settings file, a main-window registry that records what the
// windows tell it, and sessions made in memory.
#include <QApplication>

#include <string>
#include <vector>

#include "core/records.h"
#include "tests/support/testhome.h"
#include "tests/support/testutil_framework.h"
#include "tests/support/testregistry.h"

// A temporary home for the review window tests.
class TReviewEnv : public TTempHome {
public:
    TReviewEnv() : TTempHome("review") {}
};

// The main window as the review windows see it; records every notification.
class TTestRegistry : public TEmptyRegistry {
public:
    int32_t NextTrainingId() override { return ++Ids; }
    void TrainingClosed(int32_t id) override { Closed.push_back(id); }
    void TrainingsChanged() override { ++Changed; }
    void TrainingListChanged(bool added) override { ListChanged.push_back(added); }
    void RowSessionReset(int32_t id) override { Resets.push_back(id); }
    bool EditAllowed() const override { return Edit; }
    QColor DialogColor() const override { return Qt::lightGray; }
    int DataRange() const override { return 65535; }
    std::string SettingsFileForReading() const override;
    std::string SettingsFileForWriting() const override;
    std::string LastDir() const override { return Last; }
    void SetLastDir(const std::string& folder) override { Last = folder; }
    void AddRecentFile(const std::string& path) override { Recent.push_back(path); }
    void CountFileSaved() override { ++FilesSaved; }

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
