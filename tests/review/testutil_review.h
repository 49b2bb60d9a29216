#pragma once
// Helpers of the review window tests: the application object, a temporary
// home for the settings file, a main-window registry that records what the
// windows tell it; sessions made in memory come from the test support.
#include <QApplication>

#include <string>
#include <vector>

#include "core/records.h"
#include "logic/session_store.h"
#include "tests/support/test_home.h"
#include "tests/support/test_registry.h"
#include "tests/support/testutil_framework.h"

// A temporary home for the review window tests.
class TReviewEnv : public TTempHome {
public:
    TReviewEnv() : TTempHome("review") {}
};

// The main window as the review windows see it: its registry and the session
// store it owns. Records what the windows tell either of them.
class TTestRegistry : public TEmptyRegistry {
public:
    TTestRegistry();
    // Puts a copy of t into the store as session id; returns id.
    int32_t Open(const TTraining& t, int32_t id);

    bool EditAllowed() const override { return Edit; }
    QColor DialogColor() const override { return Qt::lightGray; }
    int DataRange() const override { return 65535; }
    std::string SettingsFileForReading() const override;
    std::string SettingsFileForWriting() const override;
    std::string LastDir() const override { return Last; }
    void SetLastDir(const std::string& folder) override { Last = folder; }
    void AddRecentFile(const std::string& path) override { Recent.push_back(path); }
    void CountFileSaved() override { ++FilesSaved; }

    TSessionStore Store;
    bool Edit = true;
    int Changed = 0;  // header and workout changes
    int FilesSaved = 0;
    std::string Last;
    std::vector<int32_t> Closed;  // sessions removed from the store
    std::vector<int32_t> Resets;
    std::vector<std::string> Recent;
};
