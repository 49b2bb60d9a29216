#pragma once
// The training window: one open training session with its header, workout
// set-up, totals, intervals, stroke data and force-curve samples on five
// pages. The session lives in the session store; the window is its holder (it
// removes the session from the store when it closes) and one of its views: it
// follows every change announced by the store (strokes the row engine appends,
// resets, header and curve changes made in the chart windows) and announces
// its own edits there.
//
// It talks to the main window only through the main registry
// (MainRegistry(): options, last folder, recent files, statistics).
//
// Use from the main window:
//   store.Add(record, id);
//   auto* w = new TfrmTraining(store, id);
//   frame->AddChild(w);
//   w->LoadSettings(settingsFile, registry->WindowPlacement());
//   w->SetAppearance(registry->Appearance());
//   w->RefreshAll();
//   FileSave() / FileSaveAs() run SaveAs(DefaultFileName(session)) / SaveAs("").
// The store's CloseRequested for the session (the row window recording it
// closed) closes the window.
#include <QPointer>
#include <QTableView>
#include <QWidget>

#include <string>
#include <vector>

#include <memory>

#include "core/records.h"
#include "framework/mdi.h"

class TSessionStore;
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
class QBoxLayout;
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
    // A window holding the session sessionId of store (which must hold it).
    TfrmTraining(TSessionStore& store, int32_t sessionId, QWidget* parent = nullptr);
    ~TfrmTraining() override;

    TChildKind ChildKind() const override { return chkTraining; }
    // The session shown; the row engine records into it.
    TTraining* Training() override { return &Session; }
    const TTraining& Record() const { return Session; }
    int32_t SessionId() const override { return Id; }
    TSessionStore& Store() const { return Sessions; }

    // Fill the pages from the session.
    void RefreshAll() override;
    void RefreshGeneral();
    void RefreshIntervals();
    void RefreshStrokeData();
    void RefreshForceCurves();
    // The Splits page: splits by the chosen type and size, time in the heart-rate zones.
    void RefreshSplits();
    // Zones beside the splits grid on a wide page, below it on a narrow one.
    void ArrangeSplitsPage(int pageWidth);
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
    // The normal save (File > Save): true when the session was written.
    bool SaveSession();
    bool SaveHeldSession() override { return SaveSession(); }

    // Named handlers (the window's controls call them; tests may too).
    void WorkoutEnter(QWidget* control);
    void WorkoutChange(QWidget* control);
    void WorkoutExit(QWidget* control);
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

protected:
    bool CloseQuery() override;
    void FormClose() override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Reset: asks, then empties the session through the store (tests click the button).
    void btnResetClick();

    // The controls (object name = member name).
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
    QMenu* pmnGrid = nullptr;

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
    void ListenToStore();
    // Runs an announcement to the store without this window reacting to it.
    template <class F>
    void Announce(F&& announce);

    TSessionStore& Sessions;
    int32_t Id;
    std::shared_ptr<TTraining> FRecord;  // the store's record, kept while the window lives
    TTraining& Session;
    bool Announcing = false;
    bool Refreshing = false;
    bool FillingSplits = false;
    bool Applying = false;
    QWidget* SkipLeave = nullptr;  // a combo box whose leave handling is skipped once
    TPlacement Bounds;             // Left, Top, Width, Height of section "Training"
    std::string IntColumns;
    QPointer<QTableView> LastGrid;

public:
    // The grid menu's copy actions and its column choice.
    QAction *CopyDataAll = nullptr, *CopyDataData = nullptr, *CopyDataRow = nullptr, *SelectColumns = nullptr;

private:
    QBoxLayout* SplitsBody = nullptr;
    TStrokeDataModel* StrokeModel = nullptr;
    TForceCurveModel* CurveModel = nullptr;
    TIntervalModel* IntervalModel = nullptr;
    TSplitsModel* SplitsModel = nullptr;
};
