#pragma once
// Builders the training window and the results window share: named groups
// with rows of labels or value fields, the data grids with their pop-up menu
// and copy actions, and the split-type controls.
#include <QString>

#include <functional>
#include <initializer_list>

class QAbstractItemModel;
class QAction;
class QComboBox;
class QFormLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QObject;
class QRadioButton;
class QTableView;
class QWidget;

// A group box with an object name; its designed caption is kept in the
// property "BaseCaption" (the training window marks it " (*)").
QGroupBox* MakeNamedGroup(QWidget* parent, const char* name, const QString& caption);

// One row of a form group: a caption and a control made for it. A row whose
// caption label is named (CaptionName) gets its own QLabel in *Caption; else
// the row shows Text as a plain caption.
struct TLabelRow {
    const char* Name;                   // object name of the value label
    QLabel** Value;                     // receives the value label ("-" until filled)
    QString Text = {};                  // caption text (for unnamed captions)
    const char* CaptionName = nullptr;  // object name of a caption label the window fills itself
    QLabel** Caption = nullptr;
};
// A group of value labels in a form layout.
QFormLayout* AddLabelRows(QGroupBox* group, std::initializer_list<TLabelRow> rows);

// One row of read-only value fields (the results window's figures).
struct TValueRow {
    const char* CaptionName;
    QLabel** Caption;
    const char* Name;
    QLineEdit** Value;
};
QFormLayout* AddValueRows(QGroupBox* group, std::initializer_list<TValueRow> rows);

// A data grid over model (see SetupGridView) with a custom context menu.
QTableView* MakeDataGrid(QWidget* parent, const char* name, QAbstractItemModel* model, int defaultWidth = 0);

// The grids' copy actions ("Copy &All", "Copy &Data", "Copy &Row", object
// names CopyDataAll, CopyDataData, CopyDataRow, data = the copy mode) in a
// new pop-up menu; run receives the mode when one is triggered.
struct TCopyActions {
    QAction* All = nullptr;
    QAction* Data = nullptr;
    QAction* Row = nullptr;
    QMenu* Menu = nullptr;
};
TCopyActions MakeCopyActions(QWidget* owner, const std::function<void(int)>& run);

// The split-type radio buttons rbtStrokes, rbtDistance, rbtTime ("Strokes",
// "Distance", "Time") and the presets box cmbSplits, in one row (returned).
QHBoxLayout* MakeSplitControls(QWidget* parent, QRadioButton*& strokes, QRadioButton*& distance, QRadioButton*& time,
                               QComboBox*& splits);
