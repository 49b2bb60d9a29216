#include "tests/support/scripted_dialogs.h"

TMsgResult TScriptedDialogs::MessageBox(TMsgKind kind, const std::string& text, unsigned buttons,
                                        TMsgResult defaultButton)
{
    Messages.push_back({kind, text, buttons, {}});
    if (WhileShown) {
        // A copy: what runs may replace the hook.
        auto shown = WhileShown;
        shown(Messages.back());
    }
    if (!Answers.empty()) {
        TMsgResult r = Answers.front();
        Answers.pop_front();
        return r;
    }
    return DefaultAnswer(buttons, defaultButton);
}

TMsgResult TScriptedDialogs::CaptionedBox(TMsgKind kind, const std::string& text, unsigned buttons,
                                          TMsgResult defaultButton, const std::vector<TButtonCaption>& captions)
{
    const TMsgResult r = MessageBox(kind, text, buttons, defaultButton);
    for (const auto& c : captions) Messages.back().Captions.push_back(c.Caption);
    return r;
}

TFileDialogResult TScriptedDialogs::FileDialog(const TFileDialogRequest& request)
{
    FileRequests.push_back(request);
    if (FileAnswers.empty()) return {};
    TFileDialogResult r = FileAnswers.front();
    FileAnswers.pop_front();
    return r;
}
