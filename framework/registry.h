#pragma once
// What the child windows (training, row and chart windows) need of the main
// window: the program options, the settings file, the last folder, the
// recent-files list and the usage statistics. The main window implements it
// and installs itself with SetMainRegistry(); child windows reach it with
// MainRegistry(), so they depend on this framework only, never on the shell.
// The open sessions are not here: they live in the session store, which the
// windows are given when they are made.
#include <cstdint>
#include <string>

#include <QColor>
#include <QFont>

#include "logic/program_services.h"

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

class TMainRegistry : public TProgramServices {
public:
    ~TMainRegistry() override = default;

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

    // Folder last used by the open and save dialogs (ends with "/").
    virtual std::string LastDir() const = 0;
    virtual void SetLastDir(const std::string& folder) = 0;
    // Recent-files list.
    virtual void AddRecentFile(const std::string& path) = 0;
    virtual void RemoveRecentFile(const std::string& path) = 0;

    // True while the main window is closing (its close query is running or was accepted).
    virtual bool MainClosing() const = 0;
};

// The main window's registry; nullptr while no main window exists.
TMainRegistry* MainRegistry();
void SetMainRegistry(TMainRegistry* registry);

// The program services as the windows hand them to the logic: the main
// registry's while one exists, the utility library's settings file and no
// statistics otherwise (asked at each call, so a registry that comes or goes
// later is followed).
TProgramServices& ProgramServices();
