#pragma once
// The training window: one open training session with its header, workout
// set-up, totals, intervals, stroke data and force-curve samples on five
// pages. It owns the session record; the row window records into that same
// record while a row runs and calls the Refresh operations after each stroke.
//
// It talks to the main window only through the session registry
// (MainRegistry(): notifications, options, last folder, recent files,
// statistics).
//
// Use from the main window:
//   auto* w = new TfrmTraining(record, sessionId);
//   frame->AddChild(w);
//   w->LoadSettings(settingsFile, registry->WindowPlacement());
//   w->SetAppearance(registry->Appearance());
//   w->RefreshAll();
//   FileSave() / FileSaveAs() run SaveAs(DefaultFileName(session)) / SaveAs("").
// Use from the row window (live recording into *Training()):
//   after an ordinary stroke            -> RefreshStrokeData()
//   after force data                    -> RefreshForceCurves()
//   after a stroke that completes an interval or ends the session -> RefreshAll()
// When this window resets the session (the reset button, or a workout edit
// the user confirmed), it tells the main window (RowSessionReset with its
// session id) and emits SessionReset(); the row window resets its recording
// on either, whichever way it is connected (not both).
#include <QPointer>
#include <QTableView>
#include <QWidget>

#include <string>
#include <vector>

#include "core/records.h"
#include "shell/framework/mdi.h"

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableView;
class QTimeEdit;
class TStrokeDataModel;
class TForceCurveModel;
class TIntervalModel;
class TSplitsModel;
class TPenSample;
class TZoneBox;

class TfrmTraining : public TMDIChild {
    Q_OBJECT
public:
    // A window holding a copy of record under the given session id (also
    // stored in the record's ClientId).
    TfrmTraining(const TTraining& record, int32_t sessionId, QWidget* parent = nullptr);
    ~TfrmTraining() override;

    TChildKind ChildKind() const override { return chkTraining; }
    // The session shown; the row window records into it.
    TTraining* Training() override { return &Session; }
    const TTraining& Record() const { return Session; }
    int32_t SessionId() const override { return Id; }

    // Fill the pages from the session.
    void RefreshAll() override;
    void RefreshGeneral();
    void RefreshIntervals();
    void RefreshStrokeData();
    void RefreshForceCurves();
    // The Splits page: splits by the chosen type and size, time in the heart-rate zones.
    void RefreshSplits();
    // The split type (0 strokes, 1 distance, 2 time) and size chosen on the Splits page.
    int SplitType() const;
    double SplitSize() const;

    // Window settings: section "Training" of the settings file; mode 1 =
    // stored bounds, 2 = fill the frame, 3 = maximised.
    void LoadSettings(const std::string& settingsFile, int mode) override;
    void SaveSettings();
    void SetAppearance(const TAppearance& appearance) override;

    // The main window's Save (unsaved changes only) and Save As.
    bool CanSave() const override { return Session.Header.Modified == 1; }
    bool CanSaveAs() const override { return true; }
    void FileSave() override;
    void FileSaveAs() override;

    // Saves (path given) or saves through the save dialog (empty path);
    // true when a file was written.
    bool SaveAs(const std::string& path);

    // Named handlers (the window's controls call them; tests may too).
    void WorkoutEnter(QWidget* control);
    void WorkoutChange(QWidget* control);
    void WorkoutExit(QWidget* control);
    void btnResetClick();
    void btnOptionsClick();
    void TotalsClick();
    void CopyDataExecute(int mode);
    void SelectColumnsExecute();

    // The grid the copy and column actions work on: the focused grid, else
    // the grid of the current page.
    QTableView* ActiveGrid() const;
    void SetActiveGrid(QTableView* grid) { LastGrid = grid; }

    // Remembered entries of the four combo boxes.
    std::vector<std::string> RememberedEntries(const std::string& section) const;

signals:
    // The session was reset from this window (the row window resets its recording).
    void SessionReset();

protected:
    bool CloseQuery() override;
    void FormClose() override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    QWidget* BuildGeneralPage();
    QWidget* BuildWorkoutPage();
    QWidget* BuildSplitsPage();
    void FillComboLists();
    void ApplyEnabling();
    void RefreshWorkoutFields();
    void RefreshTotals();
    void RefreshOriginalFile();
    void RefreshChartShapes();
    void SetModified();
    void ApplyWorkoutValue(QWidget* control);
    void RestoreWorkoutControl(QWidget* control);
    void AfterConfirmedReset(bool refresh);
    void TextFieldChanged(QWidget* control);
    void DateChanged();
    void TimeChanged();
    void RememberComboText(QComboBox* combo);
    bool IsWorkoutControl(QWidget* w) const;
    void TakeFocusAway();
    int TagOf(QWidget* control) const;
    void GridMenu(QTableView* grid, const QPoint& pos);

    TTraining Session;
    int32_t Id;
    bool Refreshing = false;
    bool FillingSplits = false;
    bool Applying = false;
    QWidget* SkipLeave = nullptr;  // a combo box whose leave handling is skipped once
    TPlacement Bounds;  // Left, Top, Width, Height of section "Training"
    std::string IntColumns;
    QPointer<QTableView> LastGrid;

public:
    // Controls (object names as the window resource names them).
    QTabWidget* pgcTraining = nullptr;
    QWidget *tshGeneral = nullptr, *tshWorkout = nullptr, *tshSplits = nullptr, *tshStrokeData = nullptr,
            *tshForceCurves = nullptr, *tshLog = nullptr;
    QGroupBox *gbxRecording = nullptr, *gbxNote = nullptr, *gbxTraining = nullptr, *gbxClient = nullptr,
              *gbxChart = nullptr, *gbxUser = nullptr, *gbxTotals = nullptr, *gbxIntervals = nullptr,
              *gbxOriginal = nullptr, *gbxAverages = nullptr;
    QLineEdit* edtTitle = nullptr;
    QComboBox *cmbName = nullptr, *cmbDescription = nullptr, *cmbType = nullptr, *cmbEvent = nullptr;
    QDateEdit* dtpDate = nullptr;
    QTimeEdit* dtpTime = nullptr;
    QLabel* lblInterface = nullptr;
    QPlainTextEdit* memNote = nullptr;
    QLabel *lblTFile = nullptr, *lblTDateTime = nullptr, *lblTSize = nullptr, *lblTType = nullptr;
    QLabel *lblAddress = nullptr, *lblIDStatus = nullptr;
    TPenSample *shpColor = nullptr, *shpWidth = nullptr, *shpStyle = nullptr, *shpInverse = nullptr;
    QPushButton* btnOptions = nullptr;

    QLineEdit *edtWeight = nullptr, *edtLimitValue = nullptr, *edtWorkPeriod = nullptr, *edtRestPeriod = nullptr,
              *edtStartValue = nullptr, *edtStepValue = nullptr, *edtRestValue = nullptr;
    QComboBox *cmbGender = nullptr, *cmbBoat = nullptr, *cmbSprocket = nullptr, *cmbErgometer = nullptr,
              *cmbSessionLimit = nullptr, *cmbIntervalBy = nullptr, *cmbDisplay = nullptr;
    QLabel *lblIntervalBy = nullptr, *lblWorkPeriod = nullptr, *lblRestPeriod = nullptr, *lblStartValue = nullptr,
           *lblStepValue = nullptr, *lblRestValue = nullptr, *lblDisplay = nullptr;
    QPushButton* btnReset = nullptr;
    QLabel *lblDistance = nullptr, *lblTime = nullptr, *lblEnergy = nullptr, *lblStrokes = nullptr;
    QLabel *lblPower = nullptr, *lbl500m = nullptr, *lblStrokerate = nullptr, *lblDRRatio = nullptr;
    QLabel *lblOFile = nullptr, *lblODateTime = nullptr, *lblOSize = nullptr, *lblOType = nullptr;
    QTableView* sgdIntervals = nullptr;

    QRadioButton *rbtStrokes = nullptr, *rbtDistance = nullptr, *rbtTime = nullptr;
    QComboBox* cmbSplits = nullptr;
    QLineEdit* edtFactor = nullptr;
    QTableView* sgdSplits = nullptr;
    TZoneBox* gbxZones = nullptr;
    QTableView* sgdStrokeData = nullptr;
    QTableView* sgdForceCurves = nullptr;
    QPlainTextEdit* memLog = nullptr;

    QAction *CopyDataAll = nullptr, *CopyDataData = nullptr, *CopyDataRow = nullptr, *SelectColumns = nullptr;
    QMenu* pmnGrid = nullptr;

    TStrokeDataModel* StrokeModel = nullptr;
    TForceCurveModel* CurveModel = nullptr;
    TIntervalModel* IntervalModel = nullptr;
    TSplitsModel* SplitsModel = nullptr;
};
