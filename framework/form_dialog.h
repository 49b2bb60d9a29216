#pragma once
// The base of the program's modal dialogs: a bottom panel with OK and Cancel.
#include <QColor>
#include <QDialog>
#include <QFont>

class QFrame;
class QPushButton;
class QVBoxLayout;
class QWidget;

class TFormDialog : public QDialog {
    Q_OBJECT
public:
    explicit TFormDialog(QWidget* parent = nullptr);

    // The dialog's own controls go into this area above the buttons.
    QWidget* ClientArea() const { return Client; }
    QFrame* Bevel1 = nullptr;

    // Takes the font and the face colour; OK and Cancel get the font in black.
    // Derived dialogs pass their designed colour and extend it.
    virtual void SetAppearance(const QFont& font, const QColor& textColor, const QColor& windowColor,
                               const QColor& faceColor);
    QColor DesignedColor;
    QFont DesignedFont;

protected:
    // The controls (object name = member name).
    QWidget* pnlButtons = nullptr;
    QWidget* pnlCancelOk = nullptr;
    QPushButton* btbOk = nullptr;
    QPushButton* btbCancel = nullptr;
    void showEvent(QShowEvent* event) override;

private:
    QWidget* Client = nullptr;
};
