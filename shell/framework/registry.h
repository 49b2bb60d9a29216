#pragma once
// What the child windows (training, row and chart windows) need of the main
// window: the registry of open training sessions, the three change
// notifications, the program options, the last folder, the recent-files list
// and the usage statistics. The main window implements it and installs itself
// with SetMainRegistry(); child windows reach it with MainRegistry(), so they
// depend on this framework only, never on the shell.
#include <cstdint>
#include <string>

#include <QColor>
#include <QFont>

struct TTraining;

// The main font and the colours every window takes (ApplyAppearance).
struct TAppearance {
    QFont Font;
    QColor TextColor;    // window text
    QColor WindowColor;  // window background (grids, lists)
    QColor FaceColor;    // button face (dialogs, panels)
};

// Placement modes of child windows (the WindowPlacement option).
enum TWindowPlacementMode : int {
    wpmStoredBounds = 1,  // Left/Top/Width/Height from the settings (four -1 maximise, four 0 minimise)
    wpmFillFrame = 2,     // fill the frame's free area
    wpmMaximised = 3,
};

class TSessionRegistry {
public:
    virtual ~TSessionRegistry() = default;

    // Training sessions. A training index numbers the open (not closing)
    // training windows 0 .. TrainingCount()-1; the four indexes after them
    // reach the average records with the session ids -1 .. -4.
    virtual int TrainingCount() const = 0;
    // Copies the record of a training index; false (out untouched) outside the model.
    virtual bool GetTraining(int index, TTraining& out) const = 0;
    // The record itself for in-place changes; nullptr outside the model.
    virtual TTraining* TrainingRef(int index) = 0;
    // Position of that training window in the frame's child list; -1 for the
    // average records and outside the model.
    virtual int TrainingWindowIndex(int index) const = 0;
    // Child index of the training window holding the session id, -1 when none.
    virtual int FindTrainingWindow(int32_t sessionId) const = 0;
    // Session id of a training index; -1 for the average records.
    virtual int32_t TrainingIdAt(int index) const = 0;
    // Increments the id counter and returns it (the first id is 101).
    virtual int32_t NextTrainingId() = 0;
    // With 2 or more training windows open shows the limit message and returns true.
    virtual bool TooManyTrainings() = 0;

    // Notifications from the child windows.
    virtual void TrainingClosed(int32_t sessionId) = 0;
    virtual void TrainingsChanged() = 0;
    virtual void TrainingListChanged(bool added) = 0;
    // A training window reset the session the row window records into.
    virtual void RowSessionReset(int32_t sessionId) = 0;

    // Program options (fixed values, see the program settings).
    virtual int WindowPlacement() const = 0;  // TWindowPlacementMode
    virtual int PlayRate() const = 0;         // force curves per minute
    virtual int NameStyle() const = 0;        // TrainingDescription parts for chart labels
    virtual bool CrossMarker() const = 0;     // inverse colours / two-colour samples
    virtual int ConnectType() const = 0;
    virtual bool EditAllowed() const = 0;          // the user may edit sessions
    virtual bool ChartOptionsAllowed() const = 0;  // the chart options may be changed
    virtual TAppearance Appearance() const = 0;
    // "Dialog" of "Options": background of dialogs, splash and chart windows.
    virtual QColor DialogColor() const = 0;
    // The row window's "DataRange" (never below 5).
    virtual int DataRange() const = 0;

    // The settings file locations ("" when none).
    virtual std::string SettingsFileForReading() const = 0;
    virtual std::string SettingsFileForWriting() const = 0;

    // Folder last used by the open and save dialogs (ends with "/").
    virtual std::string LastDir() const = 0;
    virtual void SetLastDir(const std::string& folder) = 0;
    // Recent-files list.
    virtual void AddRecentFile(const std::string& path) = 0;
    virtual void RemoveRecentFile(const std::string& path) = 0;

    // Usage statistics.
    virtual void CountFileSaved() = 0;
    virtual void CountRowingSession() = 0;
    virtual void AddRowingTime(double days) = 0;

    // True while the main window is closing (its close query is running or was accepted).
    virtual bool MainClosing() const = 0;
};

// The main window's registry; nullptr while no main window exists.
TSessionRegistry* MainRegistry();
void SetMainRegistry(TSessionRegistry* registry);
