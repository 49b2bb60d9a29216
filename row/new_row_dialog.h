#pragma once
// The new-row dialog: before a row window opens it asks who rows and in what
// set-up (title, rower's name and weight, gender, boat, sprocket), optionally
// loaded from a user file. It is created once and reused; Record holds the
// values the main window copies into the new row session.
#include <functional>
#include <string>

#include "core/records.h"
#include "framework/form_dialog.h"
#include "framework/window_factory.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TfrmNewRow : public TFormDialog, public TNewRowPrompt {
    Q_OBJECT
public:
    explicit TfrmNewRow(QWidget* parent = nullptr);

    // The dialog's record.
    TTraining Record;
    // Loads name and set-up from a user file; a file named "?" asks for one
    // (only a user-only training without data is accepted then).
    void LoadUserFile(const std::string& file) override;
    // Modal show; true when confirmed (Record then holds the values).
    bool Execute();
    // Execute, and the confirmed Record copied out.
    bool Ask(TTraining& record) override;
    // The last-used folder (getter and setter, may be empty; without them
    // the main window's registry is asked).
    std::function<std::string()> LastFolder;
    std::function<void(const std::string&)> SetLastFolder;

    // Takes the controls into Record (the OK button's work before closing).
    // False, with the conversion message shown and the focus on the weight,
    // when the weight is not a whole number; Record is then unchanged.
    bool TakeValues();
    // Fills the controls from Record.
    void FillControls();
    // The rower of the last confirmed dialog (name, weight, gender, boat,
    // sprocket), kept in the program settings: the next show, also after a
    // restart, starts from that rower instead of the template user.
    void RememberRower() const;
    bool RecallRower();
    // A session title that tells sessions apart: the rower's name and the
    // date and time of day the session starts, as the locale writes them.
    static std::string RowerTitle(const std::string& name, double dateTime);
    // True once LoadUserFile has loaded a file since the dialog was last closed.
    bool UserFileLoaded() const { return UserLoaded; }
    // The height of the field rows for a font: 25, or the height of "Qq" + 13
    // when that is higher than 16 pixels.
    static int RowHeightFor(const QFont& font);

    void SetAppearance(const QFont& font, const QColor& textColor, const QColor& windowColor,
                       const QColor& faceColor) override;

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The controls (object name = member name).
    QWidget* pnlTitle = nullptr;
    QWidget* pnlName = nullptr;
    QWidget* pnlWeight = nullptr;
    QWidget* pnlGender = nullptr;
    QWidget* pnlBoat = nullptr;
    QWidget* pnlSprocket = nullptr;
    QLineEdit* edtTitle = nullptr;
    QLineEdit* edtName = nullptr;
    QLineEdit* edtWeight = nullptr;
    QLabel* lblKgs = nullptr;
    QComboBox* cmbGender = nullptr;
    QComboBox* cmbBoat = nullptr;
    QComboBox* cmbSprocket = nullptr;
    QPushButton* btnOpen = nullptr;

    void FormShow();
    void btnOpenClick();
    void btbOkClick();
    void ButtonRowResize();
    std::string LastDir() const;
    void StoreLastDir(const std::string& folder);

    bool UserLoaded = false;
    int RowHeight = 25;
};
