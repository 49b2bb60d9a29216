#pragma once
// The application's main window: the multiple-document frame whose children
// are the training, row and chart windows. It runs the start-up sequence,
// interprets the command line (its own and the one a second start forwards),
// opens files, owns the session store (the open sessions, their ids, order
// and limit), keeps the recent-files list, the program settings and the usage
// statistics, and blocks the screen saver while the program runs.
#include <array>
#include <string>
#include <vector>

#include <QPointer>

#include "core/records.h"
#include "framework/mdi.h"
#include "framework/registry.h"
#include "logic/main_logic.h"
#include "logic/session_store.h"
#include "shell/screen_saver.h"

class TFormDialog;
class TNewRowPrompt;
class TWindowFactory;
class TfrmSplash;
class QTimer;
class QDialog;

class TfrmMain : public TMDIMain, public TMainRegistry {
    Q_OBJECT
public:
    // args: the command-line arguments without the program name.
    explicit TfrmMain(const std::vector<std::string>& args, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // A file-type option ran during creation: the process ends with this code
    // without showing the window.
    bool ExitRequested() const { return ExitAfterCreate; }
    int ExitCode() const { return ExitCodeValue; }
    // The part of the first show that follows the appearance (runs once).
    void FirstShow();
    bool FirstShowDone() const { return !FirstShowPending && FirstShowRan; }
    // Offers each recording a crash left unsaved (its journal): Recover opens
    // it in a training window marked modified, Discard deletes the journal,
    // Later keeps it for the next start. Returns the number recovered.
    int OfferRecoveries();

    // ---- Sessions ----
    TSessionStore& Store() { return Sessions; }
    int TrainingCount() const { return Sessions.Count(); }
    bool TooManyTrainings() const { return Sessions.TooManyTrainings(); }

    // ---- Registry ----
    int WindowPlacement() const override { return wpmMaximised; }
    int PlayRate() const override { return 120; }
    int NameStyle() const override { return 4; }
    bool CrossMarker() const override { return true; }
    int ConnectType() const override { return 0; }
    bool EditAllowed() const override { return true; }
    bool ChartOptionsAllowed() const override { return true; }
    TAppearance Appearance() const override;
    QColor DialogColor() const override;
    int DataRange() const override { return Settings.DataRange; }
    std::string SettingsFileForReading() const override;
    std::string SettingsFileForWriting() const override;
    std::string LastDir() const override { return Settings.LastDir; }
    void SetLastDir(const std::string& folder) override { Settings.LastDir = folder; }
    void AddRecentFile(const std::string& path) override;
    void RemoveRecentFile(const std::string& path) override;
    void CountFileSaved() override { ++Settings.Statistics.FilesSaved; }
    void CountRowingSession() override { ++Settings.Statistics.RowingSessions; }
    void AddRowingTime(double days) override { Settings.Statistics.RowingTime += days; }
    bool MainClosing() const override { return ClosingFlag; }

    // The training windows in the store's order (the session opened last first).
    QList<TMDIChild*> TrainingWindows() const;

    // ---- Commands ----
    void OpenFile(const std::string& fileName);
    void OpenTrainingFile(const std::string& settingsFile, const std::string& fileName);
    void NewTrainingWindow(const std::string& settingsFile);
    bool OpenRowWindow(const std::string& settingsFile, const std::string& userFile);
    void ShowStrokeDataWindow(const std::string& settingsFile);
    void ShowForceCurvesWindow(const std::string& settingsFile);
    void ProcessParameter(const std::string& argument);
    void ProcessRemoteParameters(const std::string& text);
    void ApplyAppearance();
    void FileOpenExecute();
    void HelpPDFExecute(int tag);
    // The credit timer's end: the window switcher goes on.
    void ReclameTimer();
    void StatusBarResize();

    // ---- Splash ----
    void CreateSplash(int steps);
    void SplashStep(const std::string& text);
    void FreeSplash();
    TfrmSplash* Splash() const { return SplashWindow; }

    // ---- Settings ----
    std::string SettingsFileName() const override;
    void LoadProgramSettings();
    void SaveProgramSettings();
    const TProgramSettings& ProgramSettings() const { return Settings; }
    const std::vector<std::string>& RecentFiles() const { return Settings.Recent; }
    QList<QAction*> RecentActions() const;
    double StartTime() const { return StartTimeValue; }
    const TScreenSaverBlocker& ScreenSaver() const { return Blocker; }

    void UpdateActions() override;

    // The open row window and chart windows (not closing).
    TMDIChild* RowWindow() const;
    QList<TMDIChild*> ChartWindows() const;
    TNewRowPrompt* NewRow() const { return NewRowDialog; }

    // Actions with behaviour.
    QAction *FileNew = nullptr, *FileOpen = nullptr, *FileClose = nullptr, *FileSave = nullptr, *FileSaveAs = nullptr,
            *FileSaveChart = nullptr, *EditCopyChart = nullptr, *ViewRow = nullptr, *ViewTraining = nullptr,
            *AnalyseStrokeData = nullptr, *AnalyseForceCurves = nullptr;
    QAction* FileExport = nullptr;  // the active session as a FIT, TCX or RowingData CSV file
    // Actions of features this program does not offer: hidden and inert.
    QAction *FileStart = nullptr, *FileBrowse = nullptr, *FileDatabase = nullptr, *FileCalendar = nullptr,
            *FileSaveDesktop = nullptr, *AnalyseSummary = nullptr, *AnalyseIntervals = nullptr,
            *AnalyseSession = nullptr, *AnalyseRace = nullptr, *ViewClients = nullptr, *ViewSynchronise = nullptr,
            *ViewUsers = nullptr, *ViewOptions = nullptr, *Layout_Menu = nullptr, *HelpWelcome = nullptr;
    QAction *N1 = nullptr, *N3 = nullptr, *N7 = nullptr;
    QMenu* Analyse1 = nullptr;
    QMenu* LayoutMenu = nullptr;
    QTimer* tmrReclame = nullptr;
    QList<QAction*> HelpDocumentActions;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void HelpAboutExecute() override;

private:
    // A chart window of the kind is shown (filling the frame when minimised): true; else false.
    bool ShowExistingChart(TChildKind kind);
    void ShowNewChart(TMDIChild* chart);
    void BuildMenus();
    void HideActions();
    void AddHelpDocuments();
    void RebuildRecentMenu();
    bool HandleFileTypeOptions();
    // Adds the record to the store and shows its training window.
    TMDIChild* CreateTrainingWindow(const TTraining& record, int32_t id, const std::string& settingsFile);
    void ListenToStore();
    // The child the Save commands act on: the row window saves its training window.
    TMDIChild* SaveTarget() const;
    // Shows a child; a minimised one then fills the frame.
    void ShowFilling(TMDIChild* child);
    void ViewTrainingExecute();
    void SaveAll();

    // The windows the frame makes (training, row, chart windows, shared dialogs).
    TWindowFactory& Windows;
    std::vector<std::string> Arguments;
    TProgramSettings Settings;
    TSessionStore Sessions;
    bool FirstShowPending = true;
    bool FirstShowRan = false;
    bool ClosingFlag = false;
    bool RowWindowGuard = false;
    bool ExitAfterCreate = false;
    int ExitCodeValue = 0;
    bool Saved = false;
    double StartTimeValue = 0;
    QPointer<TfrmSplash> SplashWindow;
    QList<QAction*> RecentItems;
    QAction* RecentSeparator = nullptr;
    TScreenSaverBlocker Blocker;
    TNewRowPrompt* NewRowDialog = nullptr;
    TFormDialog* ResultsDialog = nullptr;
};
