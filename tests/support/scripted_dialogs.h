#pragma once
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "util/dialogs.h"

// The dialog service of the tests: answers questions from queues and keeps
// everything shown, so a test can say what the program asked and told.
class TScriptedDialogs : public TDialogService {
public:
    struct Shown {
        TMsgKind Kind;
        std::string Text;
        unsigned Buttons;
        std::vector<std::string> Captions;  // of a captioned box, in the order given
    };
    TMsgResult MessageBox(TMsgKind kind, const std::string& text, unsigned buttons, TMsgResult defaultButton) override;
    TMsgResult CaptionedBox(TMsgKind kind, const std::string& text, unsigned buttons, TMsgResult defaultButton,
                            const std::vector<TButtonCaption>& captions) override;
    TFileDialogResult FileDialog(const TFileDialogRequest& request) override;

    std::deque<TMsgResult> Answers;             // next answers to questions; empty = default button
    std::deque<TFileDialogResult> FileAnswers;  // next file-dialog answers; empty = cancelled
    std::vector<Shown> Messages;
    std::vector<TFileDialogRequest> FileRequests;
    // Runs while a message box is up, before its answer (what the user may
    // do meanwhile: close a window, say, with events flowing as in the box's
    // own event loop).
    std::function<void(const Shown&)> WhileShown;

    std::string LastText() const { return Messages.empty() ? std::string() : Messages.back().Text; }
    void Clear()
    {
        Messages.clear();
        FileRequests.clear();
    }
};
