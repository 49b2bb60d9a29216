#pragma once
// Window helpers of the framework: placement by the bounds rule, colours,
// the grid copy onto the clipboard, the Shift key, the shell and the version box.
#include <functional>
#include <string>

#include <QColor>
#include <QString>

#include "util/color.h"
#include "util/grid.h"

class QTableView;
class QWidget;

// Window bounds by the placement rule: a normal window stores its bounds, a
// minimised one four 0, a maximised one four -1.
struct TPlacement {
    int Left = -1;
    int Top = -1;
    int Width = -1;
    int Height = -1;
    bool IsMaximised() const { return Left == -1 && Top == -1 && Width == -1 && Height == -1; }
    bool IsMinimised() const { return Left == 0 && Top == 0 && Width == 0 && Height == 0; }
    bool operator==(const TPlacement&) const = default;
};
TPlacement SavePlacement(const QWidget* window);
void RestorePlacement(QWidget* window, const TPlacement& placement);

// 0x00BBGGRR colours (system colours resolved) to and from Qt.
QColor ToQColor(TColor color);
TColor FromQColor(const QColor& color);
// Loads the palette's system colours (button face, window, window text ...)
// into the colour table of util/color.h.
void LoadSystemColors();

// The text of a table view as the grid helpers take it: row 0 the header,
// column 0 the first column; hidden columns have width 0 or less.
TGridText GridTextOf(const QTableView* view);
// Copies the grid onto the clipboard in a TCopyMode (1 all, 2 data, 3 current row).
void CopyGrid(const QTableView* view, int mode);
// Column widths of a view as ColumnWidthsText writes them (hidden = -1), and back.
std::string ColumnWidthsOf(const QTableView* view);
void ApplyColumnWidthsTo(QTableView* view, const std::string& text);
// Widens the columns after the first to their header text, except columns
// whose width was set (by the user, or from the settings).
void FitColumnsToHeaders(QTableView* view);
class QComboBox;
// A combo box shows its longest entry (and the typed text) whole, up to a
// width a dialog can take; its drop-down list is at least as wide as its entries.
void FitComboToEntries(QComboBox* box);

// The Shift key is held at this moment.
bool IsShiftDown();
// Hands a file or address to the desktop ("open" verb). A test can catch the
// requests with SetShellHandler (nullptr restores the desktop).
bool OpenWithShell(const std::string& file, const std::string& verb = "open", const std::string& parameters = "",
                   const std::string& folder = "", int show = 1);
void SetShellHandler(std::function<bool(const std::string&)> handler);
// Information box with the product title, copyright, website, e-mail and extra.
void ShowVersionBox(const std::string& extra);
// The platform's visual themes are active.
bool IsThemeActive();

class QLineEdit;
// The width a line edit needs to show text whole (its frame and margins included).
int LineEditWidthFor(const QLineEdit* edit, const QString& text);
// Gives every read-only line edit under parent at least the width that shows
// its current text whole.
void FitReadOnlyFields(QWidget* parent);
