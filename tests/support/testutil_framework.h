#pragma once
// Helpers of the window tests: the application object, a temporary home for
// the settings file and the program folder, and answering modal dialogs.
#include <functional>
#include <string>

#include <QApplication>

#include "tests/support/test_home.h"
#include "tests/support/testutil_logic.h"

// Window tests of the shell live in a temporary home ("shell").
class TShellEnv : public TTempHome {
public:
    TShellEnv() : TTempHome("shell") { TestApp(); }
};

// Runs action on the next modal widget that opens (polling the event loop),
// e.g. to press a button of a real message box.
void WhenModal(std::function<void(QWidget*)> action);
