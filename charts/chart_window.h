#pragma once
// TfrmChart: the common base of the chart windows that compare the open
// training sessions in one chart (the stroke data window and the force curves
// window). It owns the chart, the session list with a check box per session
// (the session's Active flag), the data grid with a row per shown session,
// the splitters, the window's settings section and the chart picture.
//
// The sessions are read from the session store by index (the store's order,
// the session opened last first); the session's Active flag, colour, pen and
// force-curve state live in the session record, so every chart window shows a
// session the same way. The window follows the store itself:
//   a session added:               RebuildTrainings(true)
//   a session removed:             RefreshAfterClose()
//   a session reset, curves changed: RebuildTrainings(false)
//   a header or workout changed:   clbTrainingsClick()
// Its own changes (Active, chart options) it announces to the store. What the
// main window does with a chart window w:
//   after creating it:     frame->AddChild(w); w->LoadSettings(settingsFile, 3);
//                          w->SetAppearance(appearance); w->RebuildTrainings(true);
//   Copy Chart / Save Chart: w->ChartPicture(false / true)
// The window closes itself when no session is left; it emits WindowClosed()
// when it closes (the main window forgets it then).
#include <QWidget>

#include <string>
#include <vector>

#include "charts/chart_grid.h"
#include "framework/chart_renderer.h"
#include "core/records.h"
#include "framework/mdi.h"

class QAction;
class QChart;
class QChartView;
class QLabel;
class QListWidget;
class QMenu;
class QSplitter;
class QStatusBar;
class QTableView;
class TSessionStore;

class TfrmChart : public TMDIChild {
    Q_OBJECT
public:
    explicit TfrmChart(TSessionStore& store, QWidget* parent = nullptr);
    ~TfrmChart() override;

    bool IsChartWindow() const override { return true; }
    TSessionStore& Store() const { return Sessions; }

    // ---- Overridable operations ----
    // Copies the data grid (mode 1 all, 2 data, 3 current row) when it has the focus.
    virtual void CopyDataExecute(int mode);
    // A session was closed.
    virtual void RefreshAfterClose();
    // Rebuilds the session list (added: a session was added).
    virtual void RebuildTrainings(bool added);
    // Label of a session in the list and the data grid.
    virtual std::string TrainingLabel(int index);
    // Called before the window is photographed.
    virtual void PrepareForPicture() {}
    void SetAppearance(const TAppearance& appearance) override;
    void LoadSettings(const std::string& settingsFile, int placement) override;
    virtual void SaveSettings(const std::string& settingsFile);
    // The list-click handling (also run on every TrainingsChanged).
    virtual void clbTrainingsClick();

    // ---- Session list ----
    int ListCount() const;
    // Selected entry, -1 without a selection.
    int SelectedEntry() const;
    void SelectEntry(int entry);  // -1 clears the selection
    bool EntryChecked(int entry) const;
    // Sets an entry's check box as the user would (Active follows, TrainingsChanged runs;
    // the main window then runs the list-click handling of every chart window).
    void SetEntryChecked(int entry, bool checked);
    // How an entry is drawn (sessions here; the force curves window adds its average records).
    virtual TListEntryLook EntryLook(int entry);
    // The record of a list entry (nullptr when none).
    virtual TTraining* EntryRecord(int entry);
    void TrainingActiveExecute();
    void ChartOptionsExecute();
    void OpenTrainingExecute();
    void SelectDataColumnsExecute();

    // ---- Picture ----
    // Copies the picture to the clipboard; with save also into a bitmap file.
    void ChartPicture(bool save) override;
    // Steps 1 to 6 of the picture: the reduced image with the product line.
    QImage TakePicture();
    // "Catchline 9.0.0.N (date time)" as written on the picture.
    static std::string PictureCaption();

    // ---- Layout ----
    // A move of the bottom splitter to a data area of newHeight; false (and
    // nothing moves) outside 100 .. client height - 225.
    bool MoveDataSplitter(int newHeight);
    // The same for the session list's width: 160 .. client width - 225.
    bool MoveTrainingsSplitter(int newWidth);
    void SetSquareChart(bool on);
    bool SquareChart() const { return Square; }
    void SetZAxisMarker(bool on);
    bool ZAxisMarker() const { return ZMarker; }
    void ApplyVisibility();
    // The session list's width that shows every entry whole (label, swatch,
    // line sample, the list's frame and scroll bar).
    int TrainingsWidthNeeded() const;
    // Geometry of the chart inside pnlChart (square mode keeps it square and centred).
    void LayoutChart();

    // ---- State ----
    std::string SectionName;
    TPlacement StoredBounds;
    std::string ColumnsText;
    bool DataShown = true;
    int DataHeight = 80;
    bool TrainingsShown = true;
    int TrainingsWidth = 170;
    int MinTrainingsWidth = 150;

    // ---- Controls ----
    QListWidget* clbTrainings = nullptr;
    QStatusBar* StatusBar = nullptr;
    QChartView* ChartView = nullptr;
    QChart* Chart = nullptr;
    QAction *TrainingActive = nullptr, *ChartOptions = nullptr, *OpenTraining = nullptr;
    QAction *SelectDataColumns = nullptr, *CopyDataAll = nullptr, *CopyDataData = nullptr, *CopyDataRow = nullptr;

    TChartGridModel* DataModel = nullptr;
    TChartRenderer* Axes = nullptr;

signals:
    void WindowClosed();

protected:
    // The controls (object name = member name).
    QWidget* pnlTop = nullptr;
    QWidget* pnlChart = nullptr;
    QSplitter* splTrainings = nullptr;
    QWidget* pnlTrainings = nullptr;
    QWidget* pnlList = nullptr;
    QLabel* pnlTitle = nullptr;
    QWidget* pnlTraining1 = nullptr;
    QLabel* lblInfo = nullptr;
    QWidget* pnlTraining2 = nullptr;
    QWidget* pnlTraining3 = nullptr;
    QWidget* pnlTraining4 = nullptr;
    QSplitter* splData = nullptr;
    QWidget* pnlData = nullptr;
    QTableView* sgdData = nullptr;
    QMenu* pmnTrainings = nullptr;
    QMenu* pmnCopyData = nullptr;
    // Base rows of the data grid: one per active session with its label and pen.
    std::vector<TChartGridRow> BaseGridRows(int columns);
    // Column 0 120 pixels (wider for a label that would be cut), the other
    // columns fit their headers, row heights from the font.
    void SetupDataGrid();
    // Column 0 takes its widest label beside the line sample, at least 120 pixels.
    void FitLabelColumn();
    // A visible session list too narrow for its entries is widened as far as
    // the chart's room allows.
    void FitTrainingsList();
    // The check boxes follow the records' Active flags (no notification).
    void SyncChecks();
    void RestackBottom();
    TLinePen PenOf(const TTraining& t) const;
    // A session's changed mark after a chart-options edit.
    void MarkTrainingChanged(int index);
    // The session id of a list entry (open sessions, then the average records -1 .. -4).
    int32_t EntryId(int entry) const;
    // The program options the charts use (the program's fixed values without a main window).
    static int NameStyleOption();
    static bool CrossMarkerOption();

    TSessionStore& Sessions;

    bool CloseQuery() override;
    void FormClose() override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    bool Updating = false;  // the list is being filled: check changes are not the user's
    TAppearance Look;
    bool HaveLook = false;
    QWidget* cbxSquareWidget = nullptr;  // kept at the chart's bottom-left corner

private:
    void BuildControls();
    void ListenToStore();
    void ListItemChanged(int entry);
    // Runs the list-click handling once the pending events are through.
    void RequestListClick();
    bool ClickPending = false;
    bool Square = false;
    bool ZMarker = false;
    bool MenuFromGrid = false;
    QList<int> LastDataSizes;
    QList<int> LastTrainingSizes;
};

// The main window's registry (nullptr without one).
TMainRegistry* ChartRegistry();
