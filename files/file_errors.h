#pragma once
// The file-error message shared by every reader and writer, and the short
// beep the record helpers sound when a record comes short.
#include <functional>
#include <string>

// The text of the file-error box: path, the system's message and code, and an
// explanation for the codes a user can do something about. code is an errno
// value; 0 gives no explanation.
std::string FileErrorText(const std::string& path, const std::string& message, int code);
// Shows FileErrorText as an error box through the dialog service.
void ShowFileError(const std::string& path, const std::string& message, int code);
// Shows the error for an errno value (message from strerror).
void ShowFileErrorCode(const std::string& path, int code);

// A short tone: frequency in Hz (0 = the system beep), duration in ms. The
// windows install a handler that makes a sound; without one it is traced.
void FileBeep(int frequency = 0, int duration = 0);
void SetFileBeepHandler(std::function<void(int frequency, int duration)> handler);
