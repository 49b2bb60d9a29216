#include "framework/window_util.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPalette>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QTableView>
#include <QUrl>
#include <QWidget>

#include <algorithm>

#include "util/dialogs.h"
#include "util/version.h"

TPlacement SavePlacement(const QWidget* window)
{
    TPlacement p;
    if (window->isMinimized()) {
        p.Left = p.Top = p.Width = p.Height = 0;
    } else if (window->isMaximized()) {
        p.Left = p.Top = p.Width = p.Height = -1;
    } else {
        QRect r = window->geometry();
        p.Left = r.left();
        p.Top = r.top();
        p.Width = r.width();
        p.Height = r.height();
    }
    return p;
}

void RestorePlacement(QWidget* window, const TPlacement& p)
{
    if (p.IsMaximised()) {
        window->showMaximized();
    } else if (p.IsMinimised()) {
        window->showMinimized();
    } else {
        if (window->isMaximized() || window->isMinimized()) window->showNormal();
        window->setGeometry(p.Left, p.Top, std::max(p.Width, 1), std::max(p.Height, 1));
    }
}

QColor ToQColor(TColor color)
{
    TColor c = ResolveColor(color);
    return QColor(RedOf(c), GreenOf(c), BlueOf(c));
}

TColor FromQColor(const QColor& color) { return RGBColor(color.red(), color.green(), color.blue()); }

void LoadSystemColors()
{
    QPalette pal = QApplication::palette();
    SetSystemColor(15, FromQColor(pal.color(QPalette::Button)));
    SetSystemColor(5, FromQColor(pal.color(QPalette::Base)));
    SetSystemColor(8, FromQColor(pal.color(QPalette::Text)));
    SetSystemColor(13, FromQColor(pal.color(QPalette::Highlight)));
    SetSystemColor(14, FromQColor(pal.color(QPalette::HighlightedText)));
}

TGridText GridTextOf(const QTableView* view)
{
    TGridText g;
    const QAbstractItemModel* m = view->model();
    if (!m) return g;
    int cols = m->columnCount();
    int rows = m->rowCount();
    g.Cells.assign(size_t(rows) + 1, std::vector<std::string>(size_t(cols)));
    for (int c = 0; c < cols; ++c) {
        g.Cells[0][size_t(c)] = m->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString().toStdString();
        g.ColumnWidths.push_back(view->isColumnHidden(c) ? -1 : view->columnWidth(c));
    }
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            g.Cells[size_t(r) + 1][size_t(c)] = m->data(m->index(r, c), Qt::DisplayRole).toString().toStdString();
    return g;
}

void CopyGrid(const QTableView* view, int mode)
{
    TGridText g = GridTextOf(view);
    int current = view->currentIndex().isValid() ? view->currentIndex().row() + 1 : 1;
    std::string text = CopyGridText(g, mode, current);
    QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

std::string ColumnWidthsOf(const QTableView* view)
{
    std::vector<int> widths;
    int cols = view->model() ? view->model()->columnCount() : 0;
    for (int c = 0; c < cols; ++c) widths.push_back(view->isColumnHidden(c) ? -1 : view->columnWidth(c));
    return ColumnWidthsText(widths);
}

void ApplyColumnWidthsTo(QTableView* view, const std::string& text)
{
    int cols = view->model() ? view->model()->columnCount() : 0;
    std::vector<int> widths;
    for (int c = 0; c < cols; ++c) widths.push_back(view->isColumnHidden(c) ? -1 : view->columnWidth(c));
    ApplyColumnWidths(widths, text);
    for (int c = 1; c < cols; ++c) {
        if (widths[size_t(c)] < 0) {
            view->setColumnHidden(c, true);
        } else {
            view->setColumnHidden(c, false);
            view->setColumnWidth(c, widths[size_t(c)]);
        }
    }
}

void FitColumnsToHeaders(QTableView* view)
{
    QAbstractItemModel* model = view->model();
    if (!model) return;
    QHeaderView* header = view->horizontalHeader();
    const QFontMetrics metrics(header->font());
    // Room for the header's frame and sort margins on both sides.
    const int padding = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) + 8;
    // The widths this function gave (a new font fits them again); any other
    // width than those and the default was set by the user or the settings
    // and stays.
    QVariantList fitted = view->property("fittedWidths").toList();
    fitted.resize(model->columnCount());
    for (int c = 1; c < model->columnCount(); ++c) {
        const int width = view->columnWidth(c);
        const bool ours = width == header->defaultSectionSize() || (fitted[c].isValid() && fitted[c].toInt() == width);
        if (view->isColumnHidden(c) || !ours) continue;
        const QString text = model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        const int needed = std::max(header->defaultSectionSize(), metrics.horizontalAdvance(text) + padding);
        if (needed != width) view->setColumnWidth(c, needed);
        fitted[c] = needed;
    }
    view->setProperty("fittedWidths", fitted);
}

void FitComboToEntries(QComboBox* box)
{
    constexpr int kWidestBox = 640;
    const QFontMetrics metrics(box->font());
    int widest = metrics.horizontalAdvance(box->currentText());
    for (int i = 0; i < box->count(); ++i) widest = std::max(widest, metrics.horizontalAdvance(box->itemText(i)));
    QStyleOptionComboBox option;
    option.initFrom(box);
    option.editable = box->isEditable();
    // The text's room inside the box: the line edit's own margins on both sides.
    const QSize text(widest + 12, metrics.height());
    const int width = box->style()->sizeFromContents(QStyle::CT_ComboBox, &option, text, box).width();
    box->setMinimumWidth(std::min(width, kWidestBox));
    QAbstractItemView* list = box->view();
    const int scrollBar = list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list);
    list->setMinimumWidth(widest + 2 * list->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + scrollBar + 16);
}

namespace {
std::function<bool(const std::string&)> ShellHandler;
}  // namespace

bool IsShiftDown() { return (QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier) != 0; }

void SetShellHandler(std::function<bool(const std::string&)> handler) { ShellHandler = std::move(handler); }

bool OpenWithShell(const std::string& file, const std::string& verb, const std::string& parameters,
                   const std::string& folder, int show)
{
    (void)verb;
    (void)parameters;
    (void)show;
    std::string target = file;
    if (ShellHandler) return ShellHandler(target);
    QUrl url;
    if (target.find("://") != std::string::npos || target.rfind("mailto:", 0) == 0) {
        url = QUrl(QString::fromStdString(target));
    } else {
        std::string path = target;
        if (!path.empty() && path[0] != '/' && !folder.empty()) path = folder + "/" + path;
        url = QUrl::fromLocalFile(QString::fromStdString(path));
    }
    return QDesktopServices::openUrl(url);
}

void ShowVersionBox(const std::string& extra) { ShowInformationBox(VersionBoxText(extra)); }

bool IsThemeActive() { return QApplication::style() != nullptr; }

int LineEditWidthFor(const QLineEdit* edit, const QString& text)
{
    const QMargins tm = edit->textMargins();
    // A line edit keeps 2 px free on either side of its text.
    const int inner = edit->fontMetrics().horizontalAdvance(text) + 2 * 2 + tm.left() + tm.right() + 2;
    QStyleOptionFrame opt;
    opt.initFrom(edit);
    opt.rect = edit->rect();
    opt.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, edit) : 0;
    opt.midLineWidth = 0;
    opt.state |= QStyle::State_Sunken;
    opt.features = QStyleOptionFrame::None;
    return edit->style()
        ->sizeFromContents(QStyle::CT_LineEdit, &opt, QSize(inner, edit->fontMetrics().height()), edit)
        .width();
}

void FitReadOnlyFields(QWidget* parent)
{
    for (QLineEdit* e : parent->findChildren<QLineEdit*>()) {
        if (!e->isReadOnly()) continue;
        e->setMinimumWidth(LineEditWidthFor(e, e->text()));
    }
}
