#pragma once
// TfrmForceCurves ("Force Curves"): one force curve of every active session
// (force in N against stroke length in cm), browsing through a session's
// curves or its average curve, fixed peak force and fixed stroke length,
// play animation, deleting single curves, four cross-session average curves
// and the export of the shown curve as a stroke file.
//
// The main window creates the single instance with
//   TfrmForceCurves* w = CreateForceCurvesWindow(frame, store, settingsFile);
// which adds it to the frame, resets the four average records of the store
// (ids -1 .. -4, the indexes after the open sessions), loads its settings
// with the placement option, takes the appearance and builds the session
// list. It follows the store as every chart window does (chart_window.h);
// the main window's Save As on this window runs FileSaveAs() (the export).
#include <QWidget>

#include "charts/chart_window.h"
#include "logic/curve_logic.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QScrollBar;
class QTimer;
class QToolButton;

// An up-down control bound to an edit: position within min .. max, moved by the increment.
class TUpDown : public QWidget {
    Q_OBJECT
public:
    TUpDown(int min, int max, int increment, int position, QWidget* parent = nullptr);
    int Position() const { return Pos; }
    void SetPosition(int position);  // clamped; emits PositionChanged when it changes
    int Min, Max, Increment;
    QToolButton* btnUp = nullptr;
    QToolButton* btnDown = nullptr;
signals:
    void PositionChanged(int position);

private:
    int Pos;
};

// What a browse action does with SelectedStroke / CurveSource.
enum TBrowseAction { baBrowseCurves, baBrowseAverage, baFirst, baPrevious, baNext, baLast, baNumber, baScroll };

class TfrmForceCurves : public TfrmChart {
    Q_OBJECT
public:
    explicit TfrmForceCurves(TSessionStore& store, QWidget* parent = nullptr);
    ~TfrmForceCurves() override;

    TChildKind ChildKind() const override { return chkForceCurves; }

    void RefreshAfterClose() override;
    void RebuildTrainings(bool added) override;
    void PrepareForPicture() override;
    void SetAppearance(const TAppearance& appearance) override;
    void LoadSettings(const std::string& settingsFile, int placement) override;
    void SaveSettings(const std::string& settingsFile) override;
    void clbTrainingsClick() override;
    TListEntryLook EntryLook(int entry) override;
    TTraining* EntryRecord(int entry) override;

    // Clears and sets up the four average records of the registry.
    void ResetAverageRecords();

    // Browse actions on the selected record, or with all on every open session.
    void Browse(TBrowseAction action, bool all, int number = 0);
    // The controls' handlers (the Shift key decides "all").
    void btbFirstClick();
    void btbPreviousClick();
    void btbNextClick();
    void btbLastClick();
    void metCurveExit();
    void sbrCurvesChange(int position);
    void btbDeleteClick();
    void btbPlayClick();
    void tmrPlayTimer();
    bool Playing() const;
    void StopPlay();

    // The normalisation from the fixed force / fixed length controls.
    TCurveNormalisation Normalisation() const;
    void SetFixedForce(bool on, int force);
    void SetFixedLength(bool on, int length);

    // Redraws the chart and the data grid.
    void DrawChart();
    void DrawGrid();

    // Save As: the shown curve of the selected record as a stroke file.
    bool CanSaveAs() const override { return true; }
    void FileSaveAs() override { ExportStrokeFile(); }
    bool ExportStrokeFile();

    QLineEdit* metCurve = nullptr;
    QScrollBar* sbrCurves = nullptr;
    QScrollBar* sbrIntervals = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The controls (object name = member name).
    QRadioButton* rbtBrowseCurves = nullptr;
    QRadioButton* rbtBrowseAverage = nullptr;
    QRadioButton* rbtBrowseIntervals = nullptr;
    QCheckBox* cbxShowAll = nullptr;
    QWidget* pnlBrowseCurves = nullptr;
    QWidget* pnlBrowseAverage = nullptr;
    QWidget* pnlBrowseIntervals = nullptr;
    QToolButton *btbFirst = nullptr, *btbPrevious = nullptr, *btbNext = nullptr, *btbLast = nullptr,
                *btbDelete = nullptr, *btbPlay = nullptr;
    QCheckBox* cbxForce = nullptr;
    QLineEdit* edtForce = nullptr;
    TUpDown* udnForce = nullptr;
    QCheckBox* cbxLength = nullptr;
    QLineEdit* edtLength = nullptr;
    TUpDown* udnLength = nullptr;
    QCheckBox* cbxSquare = nullptr;
    QTimer* tmrPlay = nullptr;
    // Over the chart: why a session shows no curve (a machine without force measurement).
    QLabel* lblNoForceCurve = nullptr;
    void BuildBrowseControls();
    void BuildFixedControls();
    void LayoutFixed();
    void LayoutBrowse();
    void EditChanged(QLineEdit* edit, TUpDown* updown);
    void SetPlayBitmap(bool playing);
    void EnableBrowse();
    std::vector<const TTraining*> OpenSessions();
    bool InClick = false;
};

// Creates the force curves window in the frame (nullptr: a top-level window),
// loads its settings and builds its list; see the top of this header.
TfrmForceCurves* CreateForceCurvesWindow(TMDIMain* frame, TSessionStore& store, const std::string& settingsFile);
