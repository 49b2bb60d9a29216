#pragma once
// Helpers of the window tests: the application object, a temporary home for
// the settings file and the program folder, and answering modal dialogs.
#include <functional>
#include <string>

#include <QApplication>

QApplication& TestApp();

// Points the documents folder and the program file into a fresh temporary
// folder and removes it again.
class TShellEnv {
public:
    TShellEnv();
    ~TShellEnv();
    TShellEnv(const TShellEnv&) = delete;
    TShellEnv& operator=(const TShellEnv&) = delete;
    const std::string& Folder() const { return Root; }
    std::string File(const std::string& name) const { return Root + name; }
    std::string ProgramFolder() const { return Root + "bin/"; }
    std::string UserFolder() const { return Root + "docs/Catchline Rowing/Catchline/"; }

private:
    std::string Root;
};

// Runs action on the next modal widget that opens (polling the event loop),
// e.g. to press a button of a real message box.
void WhenModal(std::function<void(QWidget*)> action);

std::string ReadTextFile(const std::string& path);
void WriteTextFile(const std::string& path, const std::string& text);
// Path of a file under tests/data.
std::string TestDataFile(const std::string& relative);
