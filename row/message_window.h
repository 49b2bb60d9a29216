#pragma once
// The message window: a small borderless window in the middle of the screen
// with one progress text ("Waiting for interface ... (Press [Esc] to cancel)").
// Esc hides it; waiting code stops once MessageWindowShown() turns false.
// At most one exists at a time.
#include <string>

#include <QWidget>

class QLabel;

class TfrmMessage : public QWidget {
    Q_OBJECT
public:
    explicit TfrmMessage(QWidget* parent = nullptr);

    // 0 while in use, 1 once closed.
    int Tag = 0;

    void SetText(const std::string& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The controls (object name = member name).
    QLabel* imgIcon = nullptr;
    QLabel* pnlMessage = nullptr;
};

// Shows the window with the text (created when none exists, reused otherwise).
void ShowMessageWindow(const std::string& text);
// Closes and forgets the window; nothing when none exists.
void HideMessageWindow();
// True when a window exists, is not marked closed and is visible.
bool MessageWindowShown();
// The current window (nullptr when none); for tests and the row window.
TfrmMessage* MessageWindow();
