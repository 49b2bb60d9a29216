#pragma once
// Helpers of the chart window tests: the application object, a temporary
// home for the settings file, a main-window registry with the session store
// it owns (the open sessions and the four average records), and sessions made
// in memory.
#include <QApplication>
#include <QPointer>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "core/records.h"
#include "logic/session_store.h"
#include "tests/support/test_home.h"
#include "tests/support/test_registry.h"

class TfrmChart;

// A temporary home for the chart window tests, with their settings file.
class TChartEnv : public TTempHome {
public:
    TChartEnv() : TTempHome("charts") {}
    // The settings file, created empty so that it counts as writable.
    std::string Settings() const;
};

class TChartRegistry : public TEmptyRegistry {
public:
    TChartRegistry();

    // Adds a copy of t as the session opened last (it comes first in the
    // store, index 0) under the next id; returns the store's record.
    TTraining& Add(const TTraining& t);
    // Removes the session at a store index, as its training window closing does.
    void Close(int index);
    // The record at a store index (0 = the session added last).
    TTraining& Session(int index) { return *Store.At(index); }
    // Tells the windows that a session's header changed (Active, colours).
    void HeaderChanged(int index) { Store.NotifyHeaderChanged(Store.IdAt(index)); }

    int WindowPlacement() const override { return Placement; }
    bool CrossMarker() const override { return Cross; }
    TAppearance Appearance() const override;
    QColor DialogColor() const override { return QColor(0xF0, 0xF0, 0xF0); }
    int DataRange() const override { return 65535; }
    std::string SettingsFileForReading() const override;
    std::string SettingsFileForWriting() const override;
    std::string LastDir() const override { return Last; }
    void SetLastDir(const std::string& folder) override { Last = folder; }

    TSessionStore Store;
    int Placement = 1;
    bool Cross = true;
    int Changed = 0;  // header changes announced
    std::string Last;
};

// A session of n strokes with force curves: stroke k has length 130 + k % 20
// cm, a curve peaking near 400 + 5 * (k % 30) N, power, pulse and totals.
TTraining MakeSession(int n, const std::string& title, int32_t color);

// Every entry of a chart window's session list shows its label whole between
// the check box and the line sample (gtest expectations).
void ExpectListEntriesWhole(TfrmChart* w);
// The data grid's headers fit their columns (but skipColumn) and column 0's
// labels fit beside the line-sample strip (gtest expectations).
void ExpectGridWhole(TfrmChart* w, int skipColumn = -1);
