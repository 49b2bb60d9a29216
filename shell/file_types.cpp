#include "shell/file_types.h"

#include <sys/statvfs.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include "files/file_names.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/text.h"
#include "util/version.h"

std::string MimeTypeOf(const std::string& extension)
{
    return "application/x-" + LowerCase(VersionString("ProductName")) + "-" + LowerCase(extension);
}

std::string UserDataHome()
{
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg == '/') return IncludeTrailingSlash(xdg);
    const char* home = std::getenv("HOME");
    return IncludeTrailingSlash(std::string(home ? home : "") + "/.local/share");
}

std::string MimeDefinitionPath(const std::string& extension)
{
    return UserDataHome() + "mime/packages/" + LowerCase(VersionString("ProductName")) + "-" + LowerCase(extension) +
           ".xml";
}

std::string DesktopEntryPath()
{
    return UserDataHome() + "applications/" + LowerCase(VersionString("ProductName")) + ".desktop";
}

namespace {

std::string XmlEscape(const std::string& s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// A desktop-entry Exec argument: quoted, with the characters the format reserves escaped.
std::string DesktopQuote(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += "\\\\";
        if (c == '%') {
            out += "%%";
            continue;
        }
        out += c;
    }
    return out + "\"";
}

bool WriteText(const std::string& path, const std::string& text, int& error)
{
    return WriteFileAtomically(path, text.data(), text.size(), error);
}

bool RunsFromReadOnlyMedium()
{
    struct statvfs st {};
    if (statvfs(ProgramFolder().c_str(), &st) != 0) return false;
    return (st.f_flag & ST_RDONLY) != 0;
}

void Refresh(const char* tool, const std::string& folder)
{
    QString exe = QStandardPaths::findExecutable(tool);
    if (exe.isEmpty()) return;
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(exe, {QString::fromStdString(folder)});
    if (!p.waitForFinished(20000)) p.kill();
}

}  // namespace

bool RegisterFileTypes(bool stg, bool str, bool bxs, bool bxr, bool bxi)
{
    if (RunsFromReadOnlyMedium()) return false;
    const bool flags[5] = {stg, str, bxs, bxr, bxi};
    std::string product = VersionString("ProductName");
    std::string program = ProgramFolder() + ProgramFileName();
    std::string iconName = LowerCase(product);
    bool ok = true;
    bool anyRegistered = false;
    std::vector<std::string> registeredTypes;
    const std::vector<TFileTypeEntry> entries = ProgramFileTypes();
    for (size_t i = 0; i < entries.size() && i < 5; ++i) {
        const TFileTypeEntry& e = entries[i];
        std::string path = MimeDefinitionPath(e.Extension);
        if (!flags[i]) {
            if (FileExists(path) && !DeleteFileAt(path)) ok = false;
            continue;
        }
        const std::string& typeName = e.TypeName;
        std::string xml =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
            "  <mime-type type=\"" +
            MimeTypeOf(e.Extension) +
            "\">\n"
            "    <comment>" +
            XmlEscape(typeName) +
            "</comment>\n"
            "    <icon name=\"" +
            XmlEscape(iconName) +
            "\"/>\n"
            "    <glob pattern=\"*." +
            LowerCase(e.Extension) +
            "\"/>\n"
            "  </mime-type>\n"
            "</mime-info>\n";
        int error = 0;
        if (!ForceFolder(ExtractFilePath(path)) || !WriteText(path, xml, error)) {
            if (error == 0) error = errno;
            ShowErrorBox(
                Format("There was an error registering file type \"%s\" : \r%s\rPlease log on as "
                       "Administrator and try again.",
                       ("." + LowerCase(e.Extension)).c_str(), SystemErrorText(error).c_str()));
            ok = false;
            continue;
        }
        anyRegistered = true;
    }
    // The desktop entry lists every type whose definition exists now.
    for (const TFileTypeEntry& e : entries)
        if (FileExists(MimeDefinitionPath(e.Extension))) registeredTypes.push_back(MimeTypeOf(e.Extension));
    std::string desktop = DesktopEntryPath();
    if (registeredTypes.empty()) {
        if (FileExists(desktop) && !DeleteFileAt(desktop)) ok = false;
    } else {
        std::string mimeList;
        for (const std::string& m : registeredTypes) mimeList += m + ";";
        std::string text =
            "[Desktop Entry]\n"
            "Type=Application\n"
            "Name=" +
            product +
            "\n"
            "GenericName=" +
            VersionString("FileDescription") +
            "\n"
            "Comment=" +
            VersionString("FileDescription") +
            "\n"
            "Exec=" +
            DesktopQuote(program) +
            " %F\n"
            "Icon=" +
            iconName +
            "\n"
            "Terminal=false\n"
            "Categories=Sports;Utility;\n"
            "MimeType=" +
            mimeList + "\n";
        int error = 0;
        if (!ForceFolder(ExtractFilePath(desktop)) || !WriteText(desktop, text, error)) {
            if (error == 0) error = errno;
            ShowErrorBox(
                Format("There was an error writing to the Registry : \r%s\rPlease log on as Administrator and "
                       "try again.",
                       SystemErrorText(error).c_str()));
            ok = false;
        }
        if (anyRegistered) {
            // The icon the types and the entry name, from the program's resources.
            std::string iconPath = UserDataHome() + "icons/hicolor/scalable/apps/" + iconName + ".svg";
            if (!FileExists(iconPath) && ForceFolder(ExtractFilePath(iconPath)))
                QFile::copy(":/catchline/icon.svg", QString::fromStdString(iconPath));
        }
    }
    Refresh("update-mime-database", UserDataHome() + "mime");
    Refresh("update-desktop-database", UserDataHome() + "applications");
    return ok;
}
