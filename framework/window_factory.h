#pragma once
// How the main window makes its child windows and its shared dialogs without
// knowing their classes: it asks a window factory. The program's factory
// (shell/window_factory.h) makes the real windows; it is the one place where
// the main window and the other windows meet.
#include <cstdint>
#include <string>

#include <QColor>
#include <QFont>

class QWidget;
class TFormDialog;
class TMDIChild;
class TMDIMain;
class TSessionStore;
struct TTraining;

// The new-row dialog as the main window uses it.
class TNewRowPrompt {
public:
    virtual ~TNewRowPrompt() = default;
    // A user file for the next showing ("?" asks for one when shown).
    virtual void LoadUserFile(const std::string& file) = 0;
    // Shows the dialog modally; true when confirmed, record then holds the new session.
    virtual bool Ask(TTraining& record) = 0;
    virtual void SetAppearance(const QFont& font, const QColor& textColor, const QColor& windowColor,
                               const QColor& faceColor) = 0;
};

class TWindowFactory {
public:
    virtual ~TWindowFactory() = default;
    // A training window holding the session id of store (not yet in a frame).
    virtual TMDIChild* TrainingWindow(TSessionStore& store, int32_t sessionId) = 0;
    // The row window recording the session id of store: added to the frame,
    // placed, given the appearance, shown and its session refreshed; the
    // results of a finished session show in the shared results window.
    virtual TMDIChild* RowWindow(TMDIMain* frame, TSessionStore& store, int32_t sessionId) = 0;
    // The chart windows over the sessions of store: added to the frame, placed
    // by the settings file, given the appearance, their session lists built.
    virtual TMDIChild* StrokeDataWindow(TMDIMain* frame, TSessionStore& store, const std::string& settingsFile) = 0;
    virtual TMDIChild* ForceCurvesWindow(TMDIMain* frame, TSessionStore& store, const std::string& settingsFile) = 0;
    // The shared dialogs, made once by the main window (their parent owns them).
    virtual TNewRowPrompt* NewRowDialog(QWidget* parent) = 0;
    virtual TFormDialog* ResultsWindow(QWidget* parent) = 0;
};
