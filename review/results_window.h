#pragma once
// The results window: a modal summary of one training session with its
// totals, averages and maxima. Callers run ShowResults and then show the
// window modally (exec()). The window works on its own copy of the session.
// Its intervals and splits grids are filled but stay hidden.
#include "framework/form_dialog.h"

#include <string>

#include "core/records.h"

class TZoneBox;
class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QTableView;
class TIntervalModel;
class TSplitsModel;

class TfrmResults : public TFormDialog {
    Q_OBJECT
public:
    explicit TfrmResults(QWidget* parent = nullptr);
    ~TfrmResults() override;

    // Copies the session and fills the window.
    void ShowResults(const TTraining& training);
    const TTraining& Training() const { return Session; }

    // Section "Results" of the settings file: read when the window is shown,
    // written when it closes (only when the settings file can be written).
    void LoadResultsSettings();
    void SaveResultsSettings();

    // Checks the radio button of a split type (0 strokes, 1 distance, 2 time)
    // and fills the presets.
    void SetSplitType(int splitType);
    int SplitType() const { return CurrentSplitType; }
    int SplitPosition(int splitType) const;

    void CopyDataExecute(int mode);
    void SetAppearance(const QFont& font, const QColor& textColor, const QColor& windowColor,
                       const QColor& faceColor) override;

    // The grids' copy actions.
    QAction *CopyDataAll = nullptr, *CopyDataData = nullptr, *CopyDataRow = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    // The controls (object name = member name). The zone box shows the time
    // in the heart-rate zones of sessions with a pulse.
    TZoneBox* gbxZones = nullptr;
    QGroupBox *gbxTotals = nullptr, *gbxAverages = nullptr, *gbxMaxima = nullptr, *gbxIntervals = nullptr,
              *gbxSplits = nullptr;
    QLineEdit *edtDistance = nullptr, *edtTime = nullptr, *edtEnergy = nullptr, *edtStrokes = nullptr;
    QLineEdit *edtAvgPower = nullptr, *edtAvg500m = nullptr, *edtAvgStrokerate = nullptr, *edtAvgDriveRecover = nullptr;
    QLineEdit *edtMaxPower = nullptr, *edtMax500m = nullptr, *edtMaxStrokerate = nullptr, *edtMaxDriveRecover = nullptr;
    QLabel *lblDistance = nullptr, *lblTime = nullptr, *lblEnergy = nullptr, *lblStrokes = nullptr;
    QLabel *lblAvgPower = nullptr, *lblAvg500m = nullptr, *lblAvgStrokerate = nullptr, *lblAvgDriveRecover = nullptr;
    QLabel *lblMaxPower = nullptr, *lblMax500m = nullptr, *lblMaxStrokerate = nullptr, *lblMaxDriveRecover = nullptr;
    QTableView* sgdIntervals = nullptr;
    QTableView* sgdSplits = nullptr;
    QRadioButton *rbtStrokes = nullptr, *rbtDistance = nullptr, *rbtTime = nullptr;
    QComboBox* cmbSplits = nullptr;
    QMenu* pmnGrid = nullptr;

    void FillPresets();
    void SetCaptions();
    // Sizes the window to its filled fields and its caption.
    void FitToContent();

    TTraining Session;
    TIntervalModel* IntervalModel = nullptr;
    TSplitsModel* SplitsModel = nullptr;
    int CurrentSplitType = 0;
    int SplitPositions[3] = {0, 0, 0};
    int SplitCustom = 100;
    int SplitFactor = 4;
    bool Filling = false;
    QTableView* MenuGrid = nullptr;
};

// The program's one results window, reused by every caller: the window given
// to SetResultsWindow, else the results window the main window made as its
// child, else one made on first use (parented to no window).
TfrmResults& ResultsWindow();
void SetResultsWindow(TfrmResults* window);
// Deletes the results window made on first use (not the main window's).
void FreeResultsWindow();
// ShowResults of the session on the program's results window, then shows it
// modally; returns the dialog's result. While that window is open already, a
// window of its own shows the session.
int ShowResultsModal(const TTraining& training);
