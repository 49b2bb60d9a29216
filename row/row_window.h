#pragma once
// The row window: the live display of a row session around the recording
// engine (row_engine.h). It shows a log page and the action page with the
// force-curve chart on the left (the current and the previous drive and the
// reference curves of the other sessions), the stroke-data chart on the right
// (a sliding window of the last DataRange strokes), the bottom and right
// value areas over one value store, and the status bar with the connect
// button and five drawn panels (port, activity, drive / recovery, the limit
// progress ruler and the elapsed time). Its layout lives in section "Row" of
// the settings file, the value-area layouts in "RowBottom" and "RowRight".
//
// The main window creates it for a session of the session store, held by a
// training window: CreateRowWindow(frame, store, sessionId). The engine
// records into that session; the training and chart windows follow the
// recording through the store. When the row window closes it asks the store
// to close the session (its training window closes); when the session is
// removed from the store (its training window closed), the row window closes.
#include <functional>
#include <map>
#include <memory>
#include <string>

#include <QElapsedTimer>
#include <QPointer>

#include "core/series.h"
#include "framework/mdi.h"
#include "logic/row_engine.h"

class QChartView;
class QDialog;
class TLiveLine;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QTabWidget;
class QTimer;
class TRowChart;
class TStatusPanelBar;
class TValueArea;
class TValueData;

class TfrmRow : public TMDIChild, public TRowHost {
    Q_OBJECT
public:
    // Records into the session sessionId of store.
    TfrmRow(TSessionStore& store, int32_t sessionId, QWidget* parent = nullptr);
    ~TfrmRow() override;

    TChildKind ChildKind() const override { return chkRow; }
    TRowEngine& Engine() { return *FEngine; }
    TTraining& Session() { return FEngine->Session(); }
    int32_t SessionId() const override { return FSessionId; }
    bool Busy() const override { return FEngine && FEngine->InUse.Busy(); }
    TSessionStore& Store() const { return Sessions; }

    // Layout and chart settings (section "Row").
    bool LeftChart = true;
    bool RightChart = true;
    bool RightValues = false;
    int WidthRightValues = 300;
    bool BottomValues = true;
    int HeightBottomValues = 200;
    int LeftIndex = 0;
    bool LeftReference = true;
    bool LeftPrevious = true;
    int RightIndex = -2;
    int RightX = 0;
    int RightY = 1;
    int RightZ = 12;
    TPlacement Bounds{-1, -1, -1, -1};
    int LiveCurveRepaintMs = 40;

    void LoadSettings(const std::string& settingsFile, int mode) override;
    void SaveSettings(const std::string& settingsFile);
    void ApplyLayout();
    void RebuildLeftChart();
    void RebuildRightChart();
    void SetAppearance(const TAppearance& appearance) override;
    // Closes the window when id is the recorded session's ClientId.
    void CloseForSession(int32_t sessionId);

    // Splitter drags: the new chart-panel width (140 .. client width - 225)
    // and the new bottom-area height (100 .. client height - 225); a value
    // outside is refused (false) and the splitter stays.
    bool SetChartPanelWidth(int width);
    bool SetBottomAreaHeight(int height);
    int ChartPanelWidth() const;
    int BottomAreaHeight() const;
    bool RightSplitterShown() const;
    bool BottomSplitterShown() const;

    // The limit-progress ruler of the Animation panel for a panel rectangle:
    // tick positions, their labels ("" for unlabelled) and the marker rectangle.
    struct TRuler {
        std::vector<int> Ticks;
        std::vector<QString> Labels;
        QRect Marker;
        bool Drawn = false;
    };
    TRuler LimitRuler(const QRect& panel) const;

    // Connect dialog; replaced by tests (default: none chosen).
    std::function<bool(std::string& source, int& interfaceType)> SourceChooser;
    // The heart-rate source the connect dialog returned with the rowing source.
    std::string ChosenHeartSource;
    bool HeartChosen = false;
    // Shows the results of a finished session: the program's window factory
    // sets the shared results window (modal), tests their own (none: not shown).
    std::function<void(const TTraining&)> ResultsShower;

    // Controls (object names as documented).
    // A note about the paired heart-rate source (it stopped, sends nonsense,
    // could not start), above the pages until the next connect.
    // Over the left chart while a machine without force measurement is rowed.
    TStatusPanelBar* StatusBar = nullptr;
    // The turning sign of the serial interface changes with every pulse of
    // the flywheel: its panel repaints at most every kTurnRepaintMs.
    static constexpr int kTurnRepaintMs = 100;
    QElapsedTimer FTurnPainted;
    void RepaintTurnPanel();
    // The force samples of a drive come faster than a screen shows them: the
    // left chart repaints at most every LiveCurveRepaintMs while they come,
    // and at once with the recovery.
    QElapsedTimer FLiveCurvePainted;
    int FLeftUpdateMode = 0;  // the chart view's own viewport update mode while it is held
    void ResumeLeftChartPainting(bool wholePlot);
    QMenu *popLeft = nullptr, *popRight = nullptr;

    TValueData* Values() const { return FValues.get(); }
    TValueArea* RightArea() const { return FRightArea; }
    TValueArea* BottomArea() const { return FBottomArea; }
    TRowChart* LeftChartObject() const { return FLeft.get(); }
    TRowChart* RightChartObject() const { return FRight.get(); }
    TLiveLine* OldSeries() const { return FOld; }
    TLiveLine* NewSeries() const { return FNew; }

    // Checks the popRight items as the menu does when it opens.
    void CheckRightMenu();
    void CheckLeftMenu();

    // TRowHost
    bool ChooseSource(std::string& source, int& interfaceType) override;
    std::optional<std::string> HeartRateSource() override;
    void HeartRateMessage(const std::string& text) override;
    void ShowMessageWindow(const std::string& text) override;
    void HideMessageWindow() override;
    bool MessageWindowShown() override;
    void LogLine(const std::string& line) override;
    void ClearValues() override;
    void SetValue(int parameter, bool live, double value) override;
    void RefreshValues() override;
    void SetValueCaption(int parameter, const std::string& caption) override;
    void ButtonChanged() override;
    void FocusButton() override;
    void PanelsChanged() override;
    void SessionReset() override;
    void SessionRefreshed() override;
    void DriveStarted() override;
    void RecoveryStarted() override;
    void ForceSample(int puls, double length, double force) override;
    void ForceCurveStored(int strokeIndex) override;
    void StrokeStored(int k) override;
    void ShowResults(const TTraining& session) override;
    void SaveSettings() override;
    bool CanSaveSession() override;
    bool SaveSession() override;
    std::string RecordingJournalFolder() override;

protected:
    bool CloseQuery() override;
    void FormClose() override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The controls (object name = member name).
    QTabWidget* pgcRow = nullptr;
    QLabel* lblHeartNote = nullptr;
    QLabel* lblNoForceCurve = nullptr;
    QWidget *tshLog = nullptr, *tshAction = nullptr, *tshText = nullptr;
    QPlainTextEdit* memLog = nullptr;
    QWidget *pnlCharts = nullptr, *pnlChartLeft = nullptr, *pnlChartRight = nullptr;
    QSplitter *splRight = nullptr, *splBottom = nullptr;
    QWidget* pnlTop = nullptr;
    QPushButton* btnConnect = nullptr;
    QTimer* tmrUpdateAreas = nullptr;
    QTimer* tmrTurn = nullptr;
    QTimer* tmrLiveCurve = nullptr;
    QMenu *mnuX = nullptr, *mnuY = nullptr, *mnuZ = nullptr;
    QAction* actVideo = nullptr;
    QAction *actLeftEmpty = nullptr, *actLeftForce = nullptr, *actLeftReference = nullptr, *actLeftPrevious = nullptr;
    QAction *actRightEmpty = nullptr, *actRightStrokeData = nullptr;
    void BuildControls();
    void BuildMenus();
    void PlaceButton();
    void LayoutStatusPanels();
    void DrawPanel(QPainter& painter, int index, const QRect& rect);
    void SquareLeftChart();
    void PlaceNoForceNote();
    // The start hint centred over the charts, as large as its text.
    void PlaceStartHint(QLabel* hint);
    void ApplyChartLook(TRowChart& chart);
    void CreateValueStore();
    TValueArea* CreateArea(const std::string& section, const std::string& defaults);
    void DestroyAreas();
    void ApplySplitterSizes();
    void PlotOldCurve(int fromPuls);
    void LeftMenuClick(QAction* action, int tag);
    void RightAxisChoice(int axis, int tag);
    void ActivatedByFrame();

    TSessionStore& Sessions;
    int32_t FSessionId;
    TRowEnginePtr FEngine;
    QPointer<QDialog> FChoosing;  // the connect dialog while it is open
    std::unique_ptr<TValueData> FValues;
    std::map<int, std::string> FValueCaptions;  // cell captions the engine set, kept for a new store
    TValueArea* FRightArea = nullptr;
    TValueArea* FBottomArea = nullptr;
    std::unique_ptr<TRowChart> FLeft;
    std::unique_ptr<TRowChart> FRight;
    // The right chart's series, kept so that a stroke adds to them.
    TLiveStrokeSeries FRightSeries;
    TStrokeSeriesOptions RightOptions() const;
    TLiveLine* FOld = nullptr;
    TLiveLine* FNew = nullptr;
    TAppearance Look;
    bool HaveLook = false;
    int AcceptedChartWidth = -1;
    int AcceptedBottomHeight = -1;
    bool Destroying = false;
};

// Creates the row window for a session of the store, adds it to the frame,
// loads its settings with the main registry's placement, applies the
// appearance and shows it.
TfrmRow* CreateRowWindow(TMDIMain* frame, TSessionStore& store, int32_t sessionId);
