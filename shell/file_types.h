#pragma once
// The program's file types for the current user: a shared-mime-info
// definition per type under $XDG_DATA_HOME/mime/packages and a desktop entry
// under $XDG_DATA_HOME/applications that opens them with this program;
// update-mime-database and update-desktop-database refresh the caches when
// they are installed.
#include <string>
#include <vector>

// The MIME type of one of the program's file types (extension without the dot).
std::string MimeTypeOf(const std::string& extension);

// "$XDG_DATA_HOME" or "$HOME/.local/share", with a trailing "/".
std::string UserDataHome();
// The MIME definition file of one type and the desktop entry.
std::string MimeDefinitionPath(const std::string& extension);
std::string DesktopEntryPath();

// Registers (true) or removes (false) each type. Does nothing when the
// program runs from a read-only medium. Failures are reported with the
// program's messages. Returns true when every step succeeded.
bool RegisterFileTypes(bool stg, bool str, bool bxs, bool bxr, bool bxi);
