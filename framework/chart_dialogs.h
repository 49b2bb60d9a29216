#pragma once
// Two small dialogs shared by the whole program: the chart options of one
// session (colour, line style and width) and the selection of the visible
// columns of a grid. Each is created once and reused.
#include <string>
#include <vector>

#include "framework/form_dialog.h"

class QButtonGroup;
class QGroupBox;
class QListWidget;
class QRadioButton;
class QTableView;
class QToolButton;
struct TTraining;

// The 16 colours of the colour grid (0x00BBGGRR), in grid order.
const std::vector<int32_t>& ColorGridColors();

class TfrmChartOptions : public TFormDialog {
    Q_OBJECT
public:
    explicit TfrmChartOptions(QWidget* parent = nullptr);

    // Fills the dialog from a session (caption, colour, style button).
    void Prepare(const TTraining& t);
    // Stores the dialog's choice in the session (as on OK).
    void Apply(TTraining& t) const;

    // Colour grid: the selected colour (-1 when none of the 16 is selected).
    int32_t SelectedColor() const { return Selected; }
    void SelectColor(int32_t color);
    // The checked style button's PenStyle and PenWidth.
    int PenStyle() const;
    int PenWidth() const;
    // The button for a session style (solid widths outside 1..4 take the nearest).
    QRadioButton* StyleButton(int penStyle, int penWidth) const;

    void SetAppearance(const QFont& font, const QColor& textColor, const QColor& windowColor,
                       const QColor& faceColor) override;

    QGroupBox* gbxColor = nullptr;
    QGroupBox* gbxStyle = nullptr;
    QRadioButton* rbnDash = nullptr;
    QRadioButton* rbnDashDot = nullptr;
    QRadioButton* rbnDashDotDot = nullptr;
    QRadioButton* rbnDot = nullptr;
    QRadioButton* rbnSolid1 = nullptr;
    QRadioButton* rbnSolid2 = nullptr;
    QRadioButton* rbnSolid3 = nullptr;
    QRadioButton* rbnSolid4 = nullptr;

private:
    void UpdateSamples();
    std::vector<QToolButton*> ColorCells;
    std::vector<QWidget*> Samples;
    int32_t Selected = -1;
    int32_t Original = 0;
};

class TfrmSelectColumns : public TFormDialog {
    Q_OBJECT
public:
    explicit TfrmSelectColumns(QWidget* parent = nullptr);
    // Lists columns 1..last of the view (header texts; checked when shown).
    void Prepare(const QTableView* view);
    // Applies the checks to the view (as on OK).
    void Apply(QTableView* view) const;
    void SetAppearance(const QFont& font, const QColor& textColor, const QColor& windowColor,
                       const QColor& faceColor) override;
    QListWidget* clbColumns = nullptr;
};

// The column rule on widths (index = column): unchecked -> -1, checked and
// negative -> defaultWidth, checked and 0 or more -> unchanged. checked[i]
// belongs to column i + 1; column 0 is never changed.
void ApplyColumnSelection(std::vector<int>& widths, const std::vector<bool>& checked, int defaultWidth);

// The shared dialogs (created on first use, parented to the main window when one is set).
TfrmChartOptions& ChartOptionsDialog();
TfrmSelectColumns& SelectColumnsDialog();
void SetSharedDialogParent(QWidget* parent);
void FreeSharedDialogs();
// Edits a session's chart options in place; true on OK.
bool EditChartOptions(TTraining& t);
// Edits the visible columns of a grid; true on OK.
bool SelectColumns(QTableView* view);
