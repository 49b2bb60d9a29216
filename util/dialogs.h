#pragma once
#include <deque>
#include <string>
#include <vector>

// Every message box, confirmation and file dialog of the program goes through
// one dialog service. The windows install a Qt implementation; the command-line
// tool a console one; tests a scripted one that answers questions and keeps
// every text shown. Texts use "\r" as the line break.

// Plain: a message box without an icon, for a plain message.
enum class TMsgKind { Error, Warning, Information, Confirmation, Plain };

enum TMsgButtons : unsigned {
    mbOK = 1,
    mbCancel = 2,
    mbYes = 4,
    mbNo = 8,
    mbAbort = 16,
    mbRetry = 32,
    mbIgnore = 64,
    mbSave = 128,
    mbDiscard = 256,
    mbYesNo = mbYes | mbNo,
    mbYesNoCancel = mbYes | mbNo | mbCancel,
    mbOKCancel = mbOK | mbCancel,
    mbSaveDiscardCancel = mbSave | mbDiscard | mbCancel,
};

enum class TMsgResult { None, OK, Cancel, Yes, No, Abort, Retry, Ignore, Save, Discard };

struct TFileDialogRequest {
    bool Save = false;
    std::string Title;
    // Windows-style filter: "Description|*.ext;*.ext2|Description|*.x" ...
    std::string Filter;
    int FilterIndex = 1;  // 1-based
    std::string InitialDir;
    std::string FileName;
    std::string DefaultExt;  // without the dot
    bool OverwritePrompt = true;
    bool MultiSelect = false;
};

struct TFileDialogResult {
    bool Accepted = false;
    std::vector<std::string> FileNames;  // one unless MultiSelect
    int FilterIndex = 1;
    std::string FileName() const { return FileNames.empty() ? std::string() : FileNames.front(); }
};

// A button of a message box that carries a caption of its own.
struct TButtonCaption {
    TMsgResult Button;
    std::string Caption;
};

class TDialogService {
public:
    virtual ~TDialogService() = default;
    // Shows a modal message box and returns the button chosen.
    virtual TMsgResult MessageBox(TMsgKind kind, const std::string& text, unsigned buttons,
                                  TMsgResult defaultButton) = 0;
    virtual TFileDialogResult FileDialog(const TFileDialogRequest& request) = 0;
    // A question whose answers are not the standard ones ("Recover",
    // "Discard", "Later"): each caption labels a standard button, whose
    // result it returns. By default the standard box.
    virtual TMsgResult CaptionedBox(TMsgKind kind, const std::string& text, unsigned buttons, TMsgResult defaultButton,
                                    const std::vector<TButtonCaption>& captions)
    {
        (void)captions;
        return MessageBox(kind, text, buttons, defaultButton);
    }
};

// The service in use; a console service until another is installed.
TDialogService& Dialogs();
// Installs a service (nullptr restores the console one). Returns the previous one.
TDialogService* SetDialogService(TDialogService* service);

// Conveniences.
void ShowErrorBox(const std::string& text);
void ShowWarningBox(const std::string& text);
void ShowInformationBox(const std::string& text);
void ShowPlainMessage(const std::string& text);
// Yes/No confirmation; true for Yes.
bool ConfirmYesNo(const std::string& text);

// Writes messages to standard error; answers confirmations with the default
// button (or a fixed answer when set) and file dialogs with "cancel".
class TConsoleDialogs : public TDialogService {
public:
    TMsgResult MessageBox(TMsgKind kind, const std::string& text, unsigned buttons, TMsgResult defaultButton) override;
    TFileDialogResult FileDialog(const TFileDialogRequest& request) override;
    TMsgResult FixedAnswer = TMsgResult::None;  // None = the default button
    bool Quiet = false;
};

// The answer a box gives when nobody is there to click: the default button,
// else the first of the buttons shown.
TMsgResult DefaultAnswer(unsigned buttons, TMsgResult defaultButton);

// Installs a dialog service for the lifetime of a scope.
class TDialogScope {
public:
    explicit TDialogScope(TDialogService& service) : Previous(SetDialogService(&service)) {}
    ~TDialogScope() { SetDialogService(Previous); }
    TDialogScope(const TDialogScope&) = delete;
    TDialogScope& operator=(const TDialogScope&) = delete;

private:
    TDialogService* Previous;
};
