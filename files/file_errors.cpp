#include "files/file_errors.h"

#include <cerrno>
#include <cstring>

#include "util/dialogs.h"
#include "util/paths.h"
#include "util/text.h"
#include "util/trace.h"

namespace {
std::function<void(int, int)> gBeep;

// The explanation belongs to the kind of failure: missing file, missing
// folder, too many open files, access denied, missing drive, write-protected
// medium, bad name.
const char* Explanation(int code)
{
    switch (code) {
    case ENOENT: return "\rThe system cannot find the file specified.\rPlease check the filename.";
    case ENOTDIR: return "\rThe system cannot find the path specified.\rPlease check the pathname.";
    case EMFILE:
    case ENFILE:
        return "\rThe system cannot open the file because too\rmany files are already open. Please close some "
               "files before re-trying.";
    case EACCES:
    case EPERM:
    case EISDIR: return "\rThe drive/folder might be not accessible\ror the drive/folder/file is write-protected.";
    case ENODEV:
    case ENXIO: return "\rThe system cannot find the drive specified.\rPlease check the drive.";
    case EROFS: return "\rThe media is write-protected.";
    case kNotRegularFileError: return "\rOnly a regular file can be read or written here.\rPlease choose a file.";
    case ENAMETOOLONG:
    case EINVAL: return "\rThe path- or filename syntax is incorrect.\rPlease check the path and filename.";
    default: return "";
    }
}
}  // namespace

std::string FileErrorText(const std::string& path, const std::string& message, int code)
{
    return Format("Error reading/writing file \"%s\".\rError message : %s (%d) %s", path.c_str(), message.c_str(), code,
                  Explanation(code));
}

void ShowFileError(const std::string& path, const std::string& message, int code)
{
    ShowErrorBox(FileErrorText(path, message, code));
}

void ShowFileErrorCode(const std::string& path, int code) { ShowFileError(path, SystemErrorText(code), code); }

void FileBeep(int frequency, int duration)
{
    if (gBeep) gBeep(frequency, duration);
    else Trace(Format("Beep %d Hz %d ms", frequency, duration));
}

void SetFileBeepHandler(std::function<void(int, int)> handler) { gBeep = std::move(handler); }
