#pragma once
// The Qt implementation of the dialog service: modal message boxes of the
// four kinds ("\r" is a line break) and the open and save dialogs.
#include <string>
#include <vector>

#include <QString>
#include <QStringList>

#include "util/dialogs.h"

class QWidget;

class TQtDialogs : public TDialogService {
public:
    TMsgResult MessageBox(TMsgKind kind, const std::string& text, unsigned buttons, TMsgResult defaultButton) override;
    TFileDialogResult FileDialog(const TFileDialogRequest& request) override;
    TMsgResult CaptionedBox(TMsgKind kind, const std::string& text, unsigned buttons, TMsgResult defaultButton,
                            const std::vector<TButtonCaption>& captions) override;
};

// Installs the Qt dialogs as the program's dialog service (once).
void InstallQtDialogs();

// "Description|*.a;*.b|Description|*.c" into Qt name filters
// ("Description (*.a *.b)"): a description's own "(...)" is replaced by the
// entry's patterns. An entry without pattern gets "*".
QStringList QtNameFilters(const std::string& windowsFilter);
// Message text with "\r", "\r\n" and "\n\r" as line breaks, for display.
QString MessageText(const std::string& text);
