#include "util/dialogs.h"

#include <cstdio>

#include "util/text.h"

namespace {
TConsoleDialogs gConsole;
TDialogService* gService = nullptr;

TMsgResult FirstButton(unsigned buttons)
{
    if (buttons & mbOK) return TMsgResult::OK;
    if (buttons & mbYes) return TMsgResult::Yes;
    if (buttons & mbNo) return TMsgResult::No;
    if (buttons & mbCancel) return TMsgResult::Cancel;
    if (buttons & mbAbort) return TMsgResult::Abort;
    if (buttons & mbRetry) return TMsgResult::Retry;
    if (buttons & mbIgnore) return TMsgResult::Ignore;
    if (buttons & mbSave) return TMsgResult::Save;
    if (buttons & mbDiscard) return TMsgResult::Discard;
    return TMsgResult::OK;
}

}  // namespace

TMsgResult DefaultAnswer(unsigned buttons, TMsgResult defaultButton)
{
    return defaultButton != TMsgResult::None ? defaultButton : FirstButton(buttons);
}

TDialogService& Dialogs() { return gService ? *gService : gConsole; }

TDialogService* SetDialogService(TDialogService* service)
{
    TDialogService* previous = gService;
    gService = service;
    return previous;
}

void ShowErrorBox(const std::string& text) { Dialogs().MessageBox(TMsgKind::Error, text, mbOK, TMsgResult::OK); }
void ShowPlainMessage(const std::string& text) { Dialogs().MessageBox(TMsgKind::Plain, text, mbOK, TMsgResult::OK); }
void ShowWarningBox(const std::string& text) { Dialogs().MessageBox(TMsgKind::Warning, text, mbOK, TMsgResult::OK); }
void ShowInformationBox(const std::string& text)
{
    Dialogs().MessageBox(TMsgKind::Information, text, mbOK, TMsgResult::OK);
}
bool ConfirmYesNo(const std::string& text)
{
    return Dialogs().MessageBox(TMsgKind::Confirmation, text, mbYesNo, TMsgResult::Yes) == TMsgResult::Yes;
}

TMsgResult TConsoleDialogs::MessageBox(TMsgKind kind, const std::string& text, unsigned buttons,
                                       TMsgResult defaultButton)
{
    static const char* kPrefix[] = {"Error", "Warning", "Information", "Confirmation", "Message"};
    if (!Quiet) {
        std::string shown = ReplaceAll(text, "\r", "\n");
        std::fprintf(stderr, "%s: %s\n", kPrefix[int(kind)], shown.c_str());
    }
    if (FixedAnswer != TMsgResult::None) return FixedAnswer;
    return DefaultAnswer(buttons, defaultButton);
}

TFileDialogResult TConsoleDialogs::FileDialog(const TFileDialogRequest&) { return {}; }
