#pragma once
// TfrmStrokeData ("Stroke Data"): for every active session one stroke
// parameter against another (X against Y on the left axis), optionally a
// third one on the right axis (Z), and the session totals in the data grid.
//
// The main window creates the single instance with
//   TfrmStrokeData* w = CreateStrokeDataWindow(frame, store, settingsFile);
// which adds it to the frame, loads its settings with the placement option,
// takes the appearance and builds the session list. Notifications as for
// every chart window (chart_window.h). Because SaveSettings erases the
// "StrokeData" section, the main window writes its stroke scaling keys into
// that section again after the window has closed.
#include "charts/chart_window.h"

class QCheckBox;
class QComboBox;
class QLabel;

class TfrmStrokeData : public TfrmChart {
    Q_OBJECT
public:
    explicit TfrmStrokeData(TSessionStore& store, QWidget* parent = nullptr);

    TChildKind ChildKind() const override { return chkStrokeData; }

    void RebuildTrainings(bool added) override;
    std::string TrainingLabel(int index) override;
    void PrepareForPicture() override;
    void SetAppearance(const TAppearance& appearance) override;
    void LoadSettings(const std::string& settingsFile, int placement) override;
    void SaveSettings(const std::string& settingsFile) override;
    void clbTrainingsClick() override;

    // Catalogue position of a list's selection (-1 without one).
    int SelectedParameter(const QComboBox* list) const;
    // Selects the item of a catalogue position (none for -1, a parameter
    // without id or a position outside the catalogue).
    void SelectParameter(QComboBox* list, int position);

    void DrawChart();
    void DrawGrid();

private:
    // The controls (object name = member name).
    QLabel* lblX = nullptr;
    QComboBox* cmbX = nullptr;
    QCheckBox* cbxY = nullptr;
    QComboBox* cmbY = nullptr;
    QCheckBox* cbxZ = nullptr;
    QComboBox* cmbZ = nullptr;
    QCheckBox *cbxYMarks = nullptr, *cbxYAverage = nullptr, *cbxZMarks = nullptr, *cbxZAverage = nullptr;
    bool Loading = false;
};

// Creates the stroke data window in the frame (nullptr: a top-level window),
// loads its settings and builds its list; see the top of this header.
TfrmStrokeData* CreateStrokeDataWindow(TMDIMain* frame, TSessionStore& store, const std::string& settingsFile);
