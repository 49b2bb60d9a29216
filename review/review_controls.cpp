#include "review/review_controls.h"

#include <QAction>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QTableView>

#include "review/grid_models.h"
#include "util/grid.h"

namespace {

QLabel* NamedLabel(QWidget* parent, const char* name, const QString& text)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

QRadioButton* NamedRadio(QWidget* parent, const char* name, const char* caption)
{
    auto* b = new QRadioButton(caption, parent);
    b->setObjectName(name);
    return b;
}

}  // namespace

QGroupBox* MakeNamedGroup(QWidget* parent, const char* name, const QString& caption)
{
    auto* g = new QGroupBox(caption, parent);
    g->setObjectName(name);
    g->setProperty("BaseCaption", caption);
    return g;
}

QFormLayout* AddLabelRows(QGroupBox* group, std::initializer_list<TLabelRow> rows)
{
    auto* form = new QFormLayout(group);
    for (const TLabelRow& r : rows) {
        *r.Value = NamedLabel(group, r.Name, "-");
        if (r.CaptionName) {
            *r.Caption = NamedLabel(group, r.CaptionName, r.Text);
            form->addRow(*r.Caption, *r.Value);
        } else {
            form->addRow(r.Text, *r.Value);
        }
    }
    return form;
}

QFormLayout* AddValueRows(QGroupBox* group, std::initializer_list<TValueRow> rows)
{
    auto* form = new QFormLayout(group);
    for (const TValueRow& r : rows) {
        *r.Caption = NamedLabel(group, r.CaptionName, QString());
        auto* e = new QLineEdit(group);
        e->setObjectName(r.Name);
        e->setReadOnly(true);
        e->setAlignment(Qt::AlignRight);
        *r.Value = e;
        form->addRow(*r.Caption, e);
    }
    return form;
}

QTableView* MakeDataGrid(QWidget* parent, const char* name, QAbstractItemModel* model, int defaultWidth)
{
    auto* v = new QTableView(parent);
    v->setObjectName(name);
    v->setModel(model);
    SetupGridView(v, defaultWidth);
    v->setContextMenuPolicy(Qt::CustomContextMenu);
    return v;
}

TCopyActions MakeCopyActions(QWidget* owner, const std::function<void(int)>& run)
{
    TCopyActions a;
    auto make = [&](const char* caption, const char* name, int mode) {
        auto* action = new QAction(caption, owner);
        action->setObjectName(name);
        action->setData(mode);
        QObject::connect(action, &QAction::triggered, owner, [run, mode] { run(mode); });
        return action;
    };
    a.All = make("Copy &All", "CopyDataAll", cmAll);
    a.Data = make("Copy &Data", "CopyDataData", cmData);
    a.Row = make("Copy &Row", "CopyDataRow", cmRow);
    a.Menu = new QMenu(owner);
    a.Menu->setObjectName("pmnGrid");
    a.Menu->addAction(a.All);
    a.Menu->addAction(a.Data);
    a.Menu->addAction(a.Row);
    return a;
}

QHBoxLayout* MakeSplitControls(QWidget* parent, QRadioButton*& strokes, QRadioButton*& distance, QRadioButton*& time,
                               QComboBox*& splits)
{
    strokes = NamedRadio(parent, "rbtStrokes", "Strokes");
    distance = NamedRadio(parent, "rbtDistance", "Distance");
    time = NamedRadio(parent, "rbtTime", "Time");
    splits = new QComboBox(parent);
    splits->setObjectName("cmbSplits");
    auto* row = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{strokes, distance, time, splits}) row->addWidget(w);
    return row;
}
