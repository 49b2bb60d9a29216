#include "framework/qt_dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>

#include "logic/program_services.h"
#include "util/text.h"
#include "util/version.h"

namespace {

std::vector<std::string> SplitFilter(const std::string& filter)
{
    std::vector<std::string> parts;
    std::string cur;
    for (char c : filter) {
        if (c == '|') {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty() || (!filter.empty() && filter.back() != '|')) parts.push_back(cur);
    return parts;
}

QMessageBox::StandardButton ToQt(TMsgResult r)
{
    switch (r) {
    case TMsgResult::OK: return QMessageBox::Ok;
    case TMsgResult::Cancel: return QMessageBox::Cancel;
    case TMsgResult::Yes: return QMessageBox::Yes;
    case TMsgResult::No: return QMessageBox::No;
    case TMsgResult::Abort: return QMessageBox::Abort;
    case TMsgResult::Retry: return QMessageBox::Retry;
    case TMsgResult::Ignore: return QMessageBox::Ignore;
    case TMsgResult::Save: return QMessageBox::Save;
    case TMsgResult::Discard: return QMessageBox::Discard;
    default: return QMessageBox::NoButton;
    }
}

TMsgResult FromQt(int b)
{
    switch (b) {
    case QMessageBox::Ok: return TMsgResult::OK;
    case QMessageBox::Cancel: return TMsgResult::Cancel;
    case QMessageBox::Yes: return TMsgResult::Yes;
    case QMessageBox::No: return TMsgResult::No;
    case QMessageBox::Abort: return TMsgResult::Abort;
    case QMessageBox::Retry: return TMsgResult::Retry;
    case QMessageBox::Ignore: return TMsgResult::Ignore;
    case QMessageBox::Save: return TMsgResult::Save;
    case QMessageBox::Discard: return TMsgResult::Discard;
    default: return TMsgResult::Cancel;
    }
}

}  // namespace

QString MessageText(const std::string& text)
{
    std::string s = ReplaceAll(text, "\r\n", "\n");
    s = ReplaceAll(s, "\n\r", "\n");
    s = ReplaceAll(s, "\r", "\n");
    return QString::fromStdString(s);
}

QStringList QtNameFilters(const std::string& windowsFilter)
{
    QStringList result;
    std::vector<std::string> parts = SplitFilter(windowsFilter);
    for (size_t i = 0; i < parts.size(); i += 2) {
        QString desc = QString::fromStdString(parts[i]).trimmed();
        QString pattern = i + 1 < parts.size() ? QString::fromStdString(parts[i + 1]).trimmed() : QString();
        if (pattern.isEmpty()) {
            // No pattern: take the one in the description's brackets, else everything.
            QRegularExpression re("\\(([^()]*)\\)\\s*$");
            auto m = re.match(desc);
            pattern = m.hasMatch() ? m.captured(1) : QStringLiteral("*");
            pattern.replace(',', ' ');
        }
        QStringList pats = pattern.split(QRegularExpression("[;,\\s]+"), Qt::SkipEmptyParts);
        desc.remove(QRegularExpression("\\s*\\([^()]*\\)\\s*$"));
        if (desc.isEmpty()) desc = pats.join(' ');
        result << desc + " (" + pats.join(' ') + ")";
    }
    return result;
}

TMsgResult TQtDialogs::MessageBox(TMsgKind kind, const std::string& text, unsigned buttons, TMsgResult defaultButton)
{
    return CaptionedBox(kind, text, buttons, defaultButton, {});
}

TMsgResult TQtDialogs::CaptionedBox(TMsgKind kind, const std::string& text, unsigned buttons, TMsgResult defaultButton,
                                    const std::vector<TButtonCaption>& captions)
{
    QMessageBox::Icon icon = QMessageBox::Information;
    switch (kind) {
    case TMsgKind::Error: icon = QMessageBox::Critical; break;
    case TMsgKind::Warning: icon = QMessageBox::Warning; break;
    case TMsgKind::Information: icon = QMessageBox::Information; break;
    case TMsgKind::Confirmation: icon = QMessageBox::Question; break;
    case TMsgKind::Plain: icon = QMessageBox::NoIcon; break;
    }
    QMessageBox::StandardButtons qb;
    if (buttons & mbOK) qb |= QMessageBox::Ok;
    if (buttons & mbCancel) qb |= QMessageBox::Cancel;
    if (buttons & mbYes) qb |= QMessageBox::Yes;
    if (buttons & mbNo) qb |= QMessageBox::No;
    if (buttons & mbAbort) qb |= QMessageBox::Abort;
    if (buttons & mbRetry) qb |= QMessageBox::Retry;
    if (buttons & mbIgnore) qb |= QMessageBox::Ignore;
    if (buttons & mbSave) qb |= QMessageBox::Save;
    if (buttons & mbDiscard) qb |= QMessageBox::Discard;
    if (qb == QMessageBox::NoButton) qb = QMessageBox::Ok;
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent) parent = QApplication::activeWindow();
    QMessageBox box(icon, QString::fromStdString(VersionString("FileDescription")), MessageText(text), qb, parent);
    box.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    box.setObjectName("MessageBox");
    if (ToQt(defaultButton) != QMessageBox::NoButton && (qb & ToQt(defaultButton)))
        box.setDefaultButton(ToQt(defaultButton));
    for (const TButtonCaption& c : captions)
        if (QAbstractButton* b = box.button(ToQt(c.Button))) b->setText(QString::fromStdString(c.Caption));
    int r = box.exec();
    if (box.clickedButton() == nullptr) return (buttons & mbCancel) ? TMsgResult::Cancel : FromQt(r);
    return FromQt(box.standardButton(box.clickedButton()));
}

namespace {

// The extension a name typed without one gets under a filter: that of the
// filter's first pattern when it names one ("User (*.ini)" gives "ini"),
// else the default extension ("All files (*.*)").
QString SuffixFor(const QString& nameFilter, const QString& defaultSuffix)
{
    static const QRegularExpression pattern(QStringLiteral("\\(\\*\\.([A-Za-z0-9_]+)[ )]"));
    const QRegularExpressionMatch m = pattern.match(nameFilter);
    return m.hasMatch() ? m.captured(1).toLower() : defaultSuffix;
}

}  // namespace

TFileDialogResult TQtDialogs::FileDialog(const TFileDialogRequest& request)
{
    TFileDialogResult result;
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent) parent = QApplication::activeWindow();
    QFileDialog dialog(parent, QString::fromStdString(request.Title), QString::fromStdString(request.InitialDir));
    dialog.setObjectName("FileDialog");
    QStringList filters = QtNameFilters(request.Filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        int index = request.FilterIndex - 1;
        if (index >= 0 && index < filters.size()) dialog.selectNameFilter(filters[index]);
    }
    if (request.Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        if (!request.OverwritePrompt) dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(request.MultiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    }
    if (!request.DefaultExt.empty()) {
        // A name typed without an extension takes the chosen filter's.
        const QString fallback = QString::fromStdString(LowerCase(request.DefaultExt));
        dialog.setDefaultSuffix(SuffixFor(dialog.selectedNameFilter(), fallback));
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, fallback](const QString& filter) {
            dialog.setDefaultSuffix(SuffixFor(filter, fallback));
        });
    }
    if (!request.FileName.empty()) dialog.selectFile(QString::fromStdString(request.FileName));
    if (dialog.exec() != QDialog::Accepted) return result;
    result.Accepted = true;
    for (const QString& f : dialog.selectedFiles()) result.FileNames.push_back(f.toStdString());
    int chosen = int(filters.indexOf(dialog.selectedNameFilter()));
    result.FilterIndex = chosen >= 0 ? chosen + 1 : request.FilterIndex;
    if (result.FileNames.empty()) result.Accepted = false;
    return result;
}

void InstallQtDialogs()
{
    static TQtDialogs dialogs;
    SetDialogService(&dialogs);
    // The windows sound the device interfaces' beeps and clicks (protocol
    // errors, a pulse during a connect test) with the platform beep.
    SetInterfaceTones([](int, int) { QApplication::beep(); });
}
