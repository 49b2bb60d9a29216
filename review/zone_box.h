#pragma once
// The "Heart-rate zones" group of the training window and the results
// window: per zone its heart-rate range and the time the session spent in
// it, the time below zone 1 and without a heart rate. Editable (the training
// window) it also holds the rower's maximum heart rate and the zones' lower
// bounds, which are kept in section "HeartRate" of the settings file.
#include <QGroupBox>

#include <array>
#include <functional>

#include "core/records.h"
#include "core/zones.h"

class QLabel;
class QLineEdit;

class TZoneBox : public QGroupBox {
    Q_OBJECT
public:
    explicit TZoneBox(bool editable, QWidget* parent = nullptr);

    // Shows the session's times in the zones (read from the settings file).
    void ShowSession(const TTraining& session);
    const THeartZones& Zones() const { return FZones; }
    // Reads the zones from the settings file (the defaults without one).
    void LoadZones();
    // The edits' values, checked; on success written to the settings file.
    // False (with the reason shown) leaves the edits as they were.
    bool ApplyEdits();
    // Called after the zones were changed here.
    std::function<void()> OnZonesChanged;

    QLineEdit* edtMaxHeartRate = nullptr;
    std::array<QLineEdit*, 5> edtZone{};
    std::array<QLabel*, 5> lblZone{};
    std::array<QLabel*, 5> lblZoneTime{};
    QLabel* lblZoneBelow = nullptr;
    QLabel* lblZoneNone = nullptr;

private:
    void FillEdits();
    void FillTimes();

    THeartZones FZones;
    TZoneTimes FTimes;
    const TTraining* FSession = nullptr;
    bool FEditable;
};
