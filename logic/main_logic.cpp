#include "logic/main_logic.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "files/training_io.h"
#include "util/paths.h"
#include "util/profile.h"
#include "util/text.h"
#include "util/version.h"

void ReadProgramSettings(const TProfileFile& file, TProgramSettings& s, const std::string& defaultLastDir)
{
    s = TProgramSettings();
    for (const std::string& v : file.ReadSectionValueList("Recent")) {
        if (!v.empty() && int(s.Recent.size()) < kRecentMax) s.Recent.push_back(v);
    }
    s.LastDir = file.ReadString("Options", "LastDir", defaultLastDir);
    if (s.LastDir.empty()) s.LastDir = defaultLastDir;
    s.Dialog = file.ReadInteger("Options", "Dialog", -16777201);
    s.MultipleCopies = file.ReadBool("Options", "MultipleCopies", false);
    s.DataRange = std::max(file.ReadInteger("Row", "DataRange", 65535), 5);
    TProgramStatistics& st = s.Statistics;
    st.RunningTime = file.ReadFloat("Statistics", "RunningTime", 0);
    st.TimesStarted = file.ReadInteger("Statistics", "TimesStarted", 0);
    st.RowingTime = file.ReadFloat("Statistics", "RowingTime", 0);
    st.RowingSessions = file.ReadInteger("Statistics", "RowingSessions", 0);
    st.FilesOpened = file.ReadInteger("Statistics", "FilesOpened", 0);
    st.FilesSaved = file.ReadInteger("Statistics", "FilesSaved", 0);
    s.Left = file.ReadInteger("Position", "Left", -1);
    s.Top = file.ReadInteger("Position", "Top", -1);
    s.Width = file.ReadInteger("Position", "Width", -1);
    s.Height = file.ReadInteger("Position", "Height", -1);
}

double RunningTimeNow(const TProgramStatistics& st, double startTime, double now)
{
    if (startTime > 0 && startTime < now) return st.RunningTime + (now - startTime);
    return st.RunningTime;
}

void WriteProgramSettings(TProfileFile& file, const TProgramSettings& s, double startTime, double now)
{
    for (size_t i = 0; i < s.Recent.size(); ++i) file.WriteString("Recent", std::to_string(i + 1), s.Recent[i]);
    file.WriteString("Options", "LastDir", s.LastDir);
    const TProgramStatistics& st = s.Statistics;
    // Without a start time before now there is nothing to add, and the
    // stored total (another copy may have written it) stays as it is.
    if (startTime > 0 && startTime < now)
        file.WriteFloat("Statistics", "RunningTime", RunningTimeNow(st, startTime, now));
    file.WriteInteger("Statistics", "TimesStarted", st.TimesStarted);
    file.WriteFloat("Statistics", "RowingTime", st.RowingTime);
    file.WriteInteger("Statistics", "RowingSessions", st.RowingSessions);
    file.WriteInteger("Statistics", "FilesOpened", st.FilesOpened);
    file.WriteInteger("Statistics", "FilesSaved", st.FilesSaved);
    file.WriteInteger("Position", "Left", s.Left);
    file.WriteInteger("Position", "Top", s.Top);
    file.WriteInteger("Position", "Width", s.Width);
    file.WriteInteger("Position", "Height", s.Height);
}

void RemoveRecentEntry(std::vector<std::string>& recent, const std::string& path)
{
    recent.erase(std::remove_if(recent.begin(), recent.end(), [&](const std::string& e) { return SameText(e, path); }),
                 recent.end());
    if (int(recent.size()) > kRecentMax - 1) recent.resize(size_t(kRecentMax - 1));
}

void AddRecentEntry(std::vector<std::string>& recent, const std::string& path)
{
    RemoveRecentEntry(recent, path);
    recent.insert(recent.begin(), path);
}

int AnyoneNumber(const std::vector<std::string>& titles)
{
    int n = 0;
    for (const std::string& title : titles) {
        if (!StartsWithText(title, "Anyone")) continue;
        std::string rest = title.substr(6);
        int32_t k = 0;
        if (rest.empty()) {
            ++n;
        } else if (TryParseInt(rest, k)) {
            if (k > n) n = k + 1;
            else ++n;
        } else {
            ++n;
        }
    }
    return n;
}

std::string NumberedTitle(const std::string& title, int number)
{
    if (number <= 0) return title;
    std::string t = title + std::to_string(number);
    if (t.size() > 255) t.resize(255);
    return t;
}

std::string DurationText(double days)
{
    if (!(days > 0)) return "?";
    double whole = std::floor(days);
    long long ms = std::llround((days - whole) * 86400000.0);
    if (ms >= 86400000LL) {
        ms -= 86400000LL;
        whole += 1;
    }
    long long secs = ms / 1000;
    std::string time = Format("%02lld:%02lld:%02lld", secs / 3600, (secs / 60) % 60, secs % 60);
    if (whole > 0) return Format("%d days, %s", int(whole), time.c_str());
    return time;
}

std::string ForwardedText(const std::vector<std::string>& args)
{
    std::string text;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i == 0) {
            text = args[0];
            continue;
        }
        if (text.size() + args[i].size() > kForwardLimit) break;
        text += "\r\n" + args[i];
    }
    if (!args.empty()) text += "\r\n";
    return text;
}

std::vector<std::string> ForwardedLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (true) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) break;
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

TParamAction ClassifyParameter(const std::string& a)
{
    TParamAction r;
    if (a.empty()) return r;
    bool option = a[0] == '-' || a[0] == '/';
    if (a.size() == 1) {
        r.Kind = TParamKind::Bad;
        return r;
    }
    if (a.size() == 2) {
        r.Kind = TParamKind::Bad;
        if (!option) return r;
        switch (std::toupper(static_cast<unsigned char>(a[1]))) {
        case '?':
        case 'H': r = {TParamKind::Help, "", "Create help window"}; break;
        case 'D': r = {TParamKind::StrokeData, "", "Create stroke data window"}; break;
        case 'F': r = {TParamKind::ForceCurves, "", "Create force curves window"}; break;
        case 'N': r = {TParamKind::NewTraining, "", "Create new training session"}; break;
        case 'R': r = {TParamKind::Row, "", "Create row window"}; break;
        default: break;
        }
        return r;
    }
    if (option && (a[1] == 'R' || a[1] == 'r')) {
        // The third character (normally ":") is skipped whatever it is.
        std::string user = a.substr(3);
        r = {TParamKind::RowWithFile, ExpandFileName(user), "Create row window"};
        return r;
    }
    r = {TParamKind::File, a, Format("Opening file \"%s\"", ExtractFileName(a).c_str())};
    return r;
}

std::string BadParameterText(const std::string& argument)
{
    return Format("Bad parameter : \"%s\", use \"-h\" for help", argument.c_str());
}

TFileTypeOption FileTypeOptionOf(const std::vector<std::string>& args)
{
    if (args.size() != 1) return TFileTypeOption::None;
    const std::string& a = args[0];
    if (a.size() < 2 || (a[0] != '-' && a[0] != '/')) return TFileTypeOption::None;
    std::string rest = UpperCase(a.substr(1));
    if (rest == "X") return TFileTypeOption::Register;
    if (rest == "X+") return TFileTypeOption::RegisterAll;
    if (rest == "X-") return TFileTypeOption::Unregister;
    if (rest == "XD") return TFileTypeOption::ReadmeOnly;
    return TFileTypeOption::None;
}

std::string HelpBoxText()
{
    std::string product = VersionString("ProductName");
    const char* p = product.c_str();
    std::vector<std::string> lines = {
        "Optional command line parameters:",
        "",
        " /?, /H  Show this helpmessage",
        " /N  Create a new training session",
        " /D  Open stroke data window",
        " /F  Open force curves window",
        " /R[:UserFile]  Open row window (with UserFile)",
        " /R:?  Open row window with \"Open user file\" dialogue",
        Format(" /X  Register current %s file types", p),
        Format(" /X+  Register all %s file types", p),
        Format(" /X-  Unregister all %s file types", p),
        "",
        "Multiple options and files are allowed.",
        "The \"/\" can be replaced by a \"-\".",
        "Options are not case-sensitive.",
        "Enclose Path and (User) file(s) with quotation marks, especially when they contain spaces.",
        "Relative paths are allowed for the Row window option.",
    };
    std::string help;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) help += "\r\n";
        help += lines[i];
    }
    return product + " " + VersionString("FileVersion") + "\r" + VersionString("LegalCopyright") + "\r\r" + help;
}

std::string HelpDocumentPath(char letter)
{
    std::string version = ReplaceAll(VersionString("FileVersion"), ".", "");
    return ProgramFolder() + ChangeFileExt(ProgramFileName(), "") + letter + version + ".pdf";
}

bool ReadmeStep()
{
    std::string path = ProgramFolder() + "readme.txt";
    if (FileExists(path)) {
        int error = 0;
        const int fd = OpenRegularFile(path, O_RDWR, error);
        if (fd < 0) return false;
        close(fd);
        return utime(path.c_str(), nullptr) == 0;
    }
    // Only a new regular file is made: a pipe or device of that name is left
    // alone rather than waited on.
    if (NonRegularFileError(path) != 0) return false;
    std::string line = VersionString("ProductName") + " " + VersionString("FileVersion") + "\n";
    int error = 0;
    return WriteFileAtomically(path, line.data(), line.size(), error);
}

namespace {

// The first file in folder whose name matches pattern (wildcards, without regard to case).
std::string FindMatch(const std::string& folder, const std::string& pattern, const std::vector<std::string>& skip = {})
{
    DIR* dir = opendir(folder.c_str());
    if (!dir) return {};
    std::vector<std::string> names;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        if (std::find(skip.begin(), skip.end(), name) != skip.end()) continue;
        if (fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0 && FileExists(folder + name))
            names.push_back(name);
    }
    closedir(dir);
    if (names.empty()) return {};
    std::sort(names.begin(), names.end());
    return folder + names.front();
}

}  // namespace

int MoveOlderFiles()
{
    std::string user = UserDataFolder(true);
    std::string program = ProgramFolder();
    if (SameText(ExpandFileName(user), ExpandFileName(program))) return 0;
    const std::string patterns[] = {"*.srl", ChangeFileExt(ProgramFileName(), ".STG"), "default.STG", "default.str",
                                    ChangeFileExt(ProgramFileName(), ".ini")};
    int moved = 0;
    for (const std::string& pattern : patterns) {
        bool wildcard = pattern.find('*') != std::string::npos;
        std::vector<std::string> skipped;  // wildcard matches already present in the user folder
        while (true) {
            if (!wildcard && !FindMatch(user, pattern).empty()) break;
            std::string source = FindMatch(program, pattern, skipped);
            if (source.empty()) break;
            std::string target = user + ExtractFileName(source);
            if (wildcard && !FindFileNoCase(user, ExtractFileName(source)).empty()) {
                // Never replace a newer file of the user's own.
                skipped.push_back(ExtractFileName(source));
                continue;
            }
            // A file that cannot be moved stays where it is (and ends the search for this name).
            if (!CopyFileTo(source, target) || !DeleteFileAt(source)) break;
            ++moved;
        }
    }
    return moved;
}
