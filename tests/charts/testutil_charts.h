#pragma once
// Helpers of the chart window tests: the application object, a temporary
// home for the settings file, a main-window registry holding the open
// sessions and the four average records and passing the notifications on to
// the chart windows as the main window does, and sessions made in memory.
#include <QApplication>
#include <QPointer>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "core/records.h"
#include "tests/support/testhome.h"
#include "tests/support/testregistry.h"

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

    // Sessions (training index = position).
    TTraining& Add(const TTraining& t);
    // A session held by a training window at the given position of the frame's child list.
    void AddExternal(TTraining* t, int childIndex);
    // Removes a session and tells the chart windows (as TrainingClosed does).
    void Close(int index);
    void Attach(TfrmChart* window) { Windows.push_back(window); }

    int TrainingCount() const override { return int(Sessions.size()); }
    bool GetTraining(int index, TTraining& out) const override;
    TTraining* TrainingRef(int index) override;
    int TrainingWindowIndex(int index) const override;
    int32_t TrainingIdAt(int index) const override;
    int32_t NextTrainingId() override { return ++Ids; }
    void TrainingsChanged() override;
    void TrainingListChanged(bool added) override;
    int WindowPlacement() const override { return Placement; }
    bool CrossMarker() const override { return Cross; }
    TAppearance Appearance() const override;
    QColor DialogColor() const override { return QColor(0xF0, 0xF0, 0xF0); }
    int DataRange() const override { return 65535; }
    std::string SettingsFileForReading() const override;
    std::string SettingsFileForWriting() const override;
    std::string LastDir() const override { return Last; }
    void SetLastDir(const std::string& folder) override { Last = folder; }

    std::vector<std::unique_ptr<TTraining>> Owned;
    std::vector<TTraining*> Sessions;
    std::vector<int> ChildIndexes;
    std::array<TTraining, 4> Averages;
    std::vector<QPointer<TfrmChart>> Windows;
    int Placement = 1;
    bool Cross = true;
    int Changed = 0;
    int32_t Ids = 100;
    std::string Last;
};

// A session of n strokes with force curves: stroke k has length 130 + k % 20
// cm, a curve peaking near 400 + 5 * (k % 30) N, power, pulse and totals.
TTraining MakeSession(int n, const std::string& title, int32_t color);
