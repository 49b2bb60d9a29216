#include "framework/chart_dialogs.h"

#include <QAbstractItemModel>
#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QListWidget>
#include <QPainter>
#include <QPointer>
#include <QRadioButton>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/records.h"
#include "framework/window_util.h"
#include "util/text.h"

const std::vector<int32_t>& ColorGridColors()
{
    static const std::vector<int32_t> colors = {
        0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0x808080,
        0xC0C0C0, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF,
    };
    return colors;
}

namespace {

struct TStyleEntry {
    const char* Name;
    const char* Caption;
    Qt::PenStyle Qt;
    int PenStyle;
    int PenWidth;
};

const TStyleEntry kStyles[8] = {
    {"rbnDash", "&Dash", Qt::DashLine, 1, 1},
    {"rbnDashDot", "D&ash dot", Qt::DashDotLine, 3, 1},
    {"rbnDashDotDot", "Das&h dot dot", Qt::DashDotDotLine, 4, 1},
    {"rbnDot", "Do&t", Qt::DotLine, 2, 1},
    {"rbnSolid1", "Solid (&1)", Qt::SolidLine, 0, 1},
    {"rbnSolid2", "Solid (&2)", Qt::SolidLine, 0, 2},
    {"rbnSolid3", "Solid (&3)", Qt::SolidLine, 0, 3},
    {"rbnSolid4", "Solid (&4)", Qt::SolidLine, 0, 4},
};

// A sample line drawn with one pen.
class TLineSample : public QWidget {
public:
    TLineSample(Qt::PenStyle style, int width, QWidget* parent) : QWidget(parent), Style(style), Width(width)
    {
        setFixedSize(60, 16);
    }
    QColor LineColor = Qt::black;
    QColor Background = Qt::white;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), Background);
        p.setPen(QPen(LineColor, Width, Style));
        p.drawLine(2, height() / 2, width() - 3, height() / 2);
    }

private:
    Qt::PenStyle Style;
    int Width;
};

QPointer<TfrmChartOptions> SharedChartOptions;
QPointer<TfrmSelectColumns> SharedSelectColumns;
QPointer<QWidget> SharedParent;

}  // namespace

TfrmChartOptions::TfrmChartOptions(QWidget* parent) : TFormDialog(parent)
{
    setObjectName("frmChartOptions");
    setWindowTitle(tr("Chart options"));
    auto* layout = new QHBoxLayout(ClientArea());
    gbxColor = new QGroupBox(tr("Colou&r"), ClientArea());
    gbxColor->setObjectName("gbxColor");
    gbxColor->setToolTip(tr("Select curve colour"));
    auto* grid = new QGridLayout(gbxColor);
    grid->setSpacing(0);
    grid->setContentsMargins(8, 18, 8, 8);
    const auto& colors = ColorGridColors();
    for (size_t i = 0; i < colors.size(); ++i) {
        auto* cell = new QToolButton(gbxColor);
        cell->setObjectName(QString("cgrColor%1").arg(i));
        cell->setFixedSize(30, 30);
        cell->setCheckable(true);
        QColor c = ToQColor(colors[i]);
        cell->setStyleSheet(QString("QToolButton { background-color: %1; border: 1px solid gray; }"
                                    "QToolButton:checked { border: 3px solid %2; }")
                                .arg(c.name(), c.lightness() > 128 ? "black" : "white"));
        int32_t value = colors[i];
        connect(cell, &QToolButton::clicked, this, [this, value] { SelectColor(value); });
        grid->addWidget(cell, int(i / 4), int(i % 4));
        ColorCells.push_back(cell);
    }
    layout->addWidget(gbxColor);

    gbxStyle = new QGroupBox(tr("&Style"), ClientArea());
    gbxStyle->setObjectName("gbxStyle");
    gbxStyle->setToolTip(tr("Select curve style"));
    auto* styles = new QGridLayout(gbxStyle);
    QRadioButton** targets[8] = {&rbnDash,   &rbnDashDot, &rbnDashDotDot, &rbnDot,
                                 &rbnSolid1, &rbnSolid2,  &rbnSolid3,     &rbnSolid4};
    for (int i = 0; i < 8; ++i) {
        auto* b = new QRadioButton(tr(kStyles[i].Caption), gbxStyle);
        b->setObjectName(kStyles[i].Name);
        *targets[i] = b;
        auto* sample = new TLineSample(kStyles[i].Qt, kStyles[i].PenWidth, gbxStyle);
        Samples.push_back(sample);
        styles->addWidget(b, i, 0);
        styles->addWidget(sample, i, 1);
    }
    layout->addWidget(gbxStyle);
    rbnSolid1->setChecked(true);
}

void TfrmChartOptions::SelectColor(int32_t color)
{
    Selected = -1;
    const auto& colors = ColorGridColors();
    for (size_t i = 0; i < colors.size(); ++i) {
        bool match = colors[i] == (color & 0xFFFFFF) && color >= 0;
        ColorCells[i]->setChecked(match);
        if (match) Selected = colors[i];
    }
    UpdateSamples();
}

void TfrmChartOptions::UpdateSamples()
{
    QColor line = ToQColor(Selected >= 0 ? Selected : Original);
    for (QWidget* w : Samples) {
        auto* s = static_cast<TLineSample*>(w);
        s->LineColor = line;
        s->Background = DesignedColor;
        s->update();
    }
}

QRadioButton* TfrmChartOptions::StyleButton(int penStyle, int penWidth) const
{
    switch (penStyle) {
    case 1: return rbnDash;
    case 3: return rbnDashDot;
    case 4: return rbnDashDotDot;
    case 2: return rbnDot;
    default: break;
    }
    // Solid (and any other style): the width picks the button, nearest of 1..4.
    if (penWidth <= 1) return rbnSolid1;
    if (penWidth == 2) return rbnSolid2;
    if (penWidth == 3) return rbnSolid3;
    return rbnSolid4;
}

void TfrmChartOptions::Prepare(const TTraining& t)
{
    setWindowTitle(QString::fromStdString(Format("Chart options for \"%s\"", t.Header.Title.Text().c_str())));
    Original = t.Header.Color;
    SelectColor(t.Header.Color);
    StyleButton(t.Header.PenStyle, t.Header.PenWidth)->setChecked(true);
}

int TfrmChartOptions::PenStyle() const
{
    QRadioButton* buttons[8] = {rbnDash, rbnDashDot, rbnDashDotDot, rbnDot, rbnSolid1, rbnSolid2, rbnSolid3, rbnSolid4};
    for (int i = 0; i < 8; ++i)
        if (buttons[i]->isChecked()) return kStyles[i].PenStyle;
    return 0;
}

int TfrmChartOptions::PenWidth() const
{
    QRadioButton* buttons[8] = {rbnDash, rbnDashDot, rbnDashDotDot, rbnDot, rbnSolid1, rbnSolid2, rbnSolid3, rbnSolid4};
    for (int i = 0; i < 8; ++i)
        if (buttons[i]->isChecked()) return kStyles[i].PenWidth;
    return 1;
}

void TfrmChartOptions::Apply(TTraining& t) const
{
    // A session colour outside the grid stays when no grid colour was chosen.
    if (Selected >= 0) t.Header.Color = Selected;
    t.Header.PenWidth = 1;
    t.Header.PenStyle = uint8_t(PenStyle());
    t.Header.PenWidth = PenWidth();
}

void TfrmChartOptions::SetAppearance(const QFont& font, const QColor& textColor, const QColor& windowColor,
                                     const QColor& faceColor)
{
    (void)faceColor;
    TFormDialog::SetAppearance(font, textColor, windowColor, DesignedColor);
    UpdateSamples();
}

TfrmSelectColumns::TfrmSelectColumns(QWidget* parent) : TFormDialog(parent)
{
    setObjectName("frmSelectColumns");
    setWindowTitle(tr("Select column(s)"));
    auto* layout = new QVBoxLayout(ClientArea());
    clbColumns = new QListWidget(ClientArea());
    clbColumns->setObjectName("clbColumns");
    layout->addWidget(clbColumns);
    resize(260, 360);
}

void TfrmSelectColumns::Prepare(const QTableView* view)
{
    clbColumns->clear();
    const QAbstractItemModel* m = view->model();
    int cols = m ? m->columnCount() : 0;
    for (int c = 1; c < cols; ++c) {
        auto* item = new QListWidgetItem(m->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), clbColumns);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(view->isColumnHidden(c) ? Qt::Unchecked : Qt::Checked);
    }
}

void ApplyColumnSelection(std::vector<int>& widths, const std::vector<bool>& checked, int defaultWidth)
{
    for (size_t i = 0; i < checked.size() && i + 1 < widths.size(); ++i) {
        int& w = widths[i + 1];
        if (!checked[i]) w = -1;
        else if (w < 0) w = defaultWidth;
    }
}

void TfrmSelectColumns::Apply(QTableView* view) const
{
    const QAbstractItemModel* m = view->model();
    int cols = m ? m->columnCount() : 0;
    std::vector<int> widths;
    for (int c = 0; c < cols; ++c) widths.push_back(view->isColumnHidden(c) ? -1 : view->columnWidth(c));
    std::vector<bool> checked;
    for (int i = 0; i < clbColumns->count(); ++i) checked.push_back(clbColumns->item(i)->checkState() == Qt::Checked);
    ApplyColumnSelection(widths, checked, view->horizontalHeader()->defaultSectionSize());
    for (int c = 1; c < cols; ++c) {
        bool hide = widths[size_t(c)] < 0;
        bool wasHidden = view->isColumnHidden(c);
        view->setColumnHidden(c, hide);
        if (!hide && wasHidden) view->setColumnWidth(c, widths[size_t(c)]);
    }
}

void TfrmSelectColumns::SetAppearance(const QFont& font, const QColor& textColor, const QColor& windowColor,
                                      const QColor& faceColor)
{
    (void)faceColor;
    TFormDialog::SetAppearance(font, textColor, windowColor, DesignedColor);
    QPalette pal = clbColumns->palette();
    pal.setColor(QPalette::Base, windowColor);
    pal.setColor(QPalette::Text, textColor);
    clbColumns->setPalette(pal);
}

void SetSharedDialogParent(QWidget* parent) { SharedParent = parent; }

TfrmChartOptions& ChartOptionsDialog()
{
    if (!SharedChartOptions) SharedChartOptions = new TfrmChartOptions(SharedParent);
    return *SharedChartOptions;
}

TfrmSelectColumns& SelectColumnsDialog()
{
    if (!SharedSelectColumns) SharedSelectColumns = new TfrmSelectColumns(SharedParent);
    return *SharedSelectColumns;
}

void FreeSharedDialogs()
{
    delete SharedChartOptions.data();
    delete SharedSelectColumns.data();
}

bool EditChartOptions(TTraining& t)
{
    TfrmChartOptions& d = ChartOptionsDialog();
    d.Prepare(t);
    if (d.exec() != QDialog::Accepted) return false;
    d.Apply(t);
    return true;
}

bool SelectColumns(QTableView* view)
{
    if (!view) return false;
    TfrmSelectColumns& d = SelectColumnsDialog();
    d.Prepare(view);
    if (d.exec() != QDialog::Accepted) return false;
    d.Apply(view);
    return true;
}
