#include "util/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "util/date_time.h"
#include "util/text.h"
#include "util/version.h"

namespace {
std::string gProgramOverride;
std::string gDocumentsOverride;

std::string RealProgramPath()
{
    char buf[PATH_MAX + 1];
    ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0) return "./catchline";
    buf[n] = 0;
    return buf;
}

std::string ProgramPath() { return gProgramOverride.empty() ? RealProgramPath() : gProgramOverride; }

// Reads XDG_DOCUMENTS_DIR from ~/.config/user-dirs.dirs.
std::string XdgDocuments(const std::string& home)
{
    const char* cfg = std::getenv("XDG_CONFIG_HOME");
    std::string file = (cfg && *cfg ? std::string(cfg) : home + "/.config") + "/user-dirs.dirs";
    // Read as a regular file only: a pipe in its place must not hang the start.
    std::vector<uint8_t> data;
    int error = 0;
    if (!ReadWholeFile(file, data, error)) return {};
    std::string text(data.begin(), data.end());
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (line.rfind("XDG_DOCUMENTS_DIR=", 0) != 0) continue;
        std::string v = line.substr(18);
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
        v = ReplaceAll(v, "$HOME", home);
        if (!v.empty() && v != home && v != home + "/") return v;
    }
    return {};
}
}  // namespace

void SetProgramPathForTesting(const std::string& programFile) { gProgramOverride = programFile; }

std::string ProgramFolder() { return ExtractFilePath(ProgramPath()); }
std::string ProgramFileName() { return ExtractFileName(ProgramPath()); }

void SetDocumentsFolder(const std::string& folder) { gDocumentsOverride = folder; }

std::string DocumentsFolder()
{
    if (!gDocumentsOverride.empty()) return IncludeTrailingSlash(gDocumentsOverride);
    const char* home = std::getenv("HOME");
    if (!home || !*home) return {};
    std::string docs = XdgDocuments(home);
    if (docs.empty()) docs = std::string(home) + "/Documents";
    return IncludeTrailingSlash(docs);
}

std::string CleanFolderName(const std::string& name)
{
    std::string out;
    for (char c : name)
        if (!std::strchr("*./:<>?\\|", c)) out += c;
    return out;
}

std::string UserDataFolder(bool create)
{
    std::string docs = DocumentsFolder();
    if (docs.empty()) return ProgramFolder();
    std::string folder = docs + CleanFolderName(VersionString("CompanyName")) + "/" +
                         CleanFolderName(VersionString("ProductName")) + "/";
    if (create) ForceFolder(folder);
    return folder;
}

std::string SettingsFile(bool forWriting)
{
    std::string name = ChangeFileExt(ProgramFileName(), ".ini");
    const std::string folders[2] = {UserDataFolder(forWriting), ProgramFolder()};
    for (const auto& folder : folders) {
        std::string path = folder + name;
        if (forWriting ? IsWritable(path) : FileExists(path)) return path;
    }
    return {};
}

void MoveSettingsFile()
{
    std::string from = SettingsFile(false);
    std::string to = SettingsFile(true);
    if (from.empty() || to.empty() || SameText(ExpandFileName(from), ExpandFileName(to))) return;
    if (CopyFileTo(from, to)) DeleteFileAt(from);
}

bool FolderExists(const std::string& path)
{
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path)
{
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ForceFolder(const std::string& path)
{
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    if (FolderExists(p)) return true;
    size_t slash = p.rfind('/');
    if (slash == std::string::npos) {
        errno = ENOENT;
        return false;
    }
    if (slash > 0 && !ForceFolder(p.substr(0, slash))) return false;
    if (mkdir(p.c_str(), 0777) == 0) return true;
    // The error of the mkdir is the reason, not that of a look afterwards.
    const int error = errno;
    if (FolderExists(p)) return true;  // made meanwhile by someone else
    errno = error == EEXIST ? ENOTDIR : error;
    return false;
}

int32_t FileSizeOf(const std::string& path)
{
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return st.st_size > INT32_MAX ? INT32_MAX : int32_t(st.st_size);
}

double FileDateOf(const std::string& path)
{
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0) return 0;
    return UnixToDays(st.st_mtime);
}

bool IsWritable(const std::string& path)
{
    if (path.empty() || NonRegularFileError(path) != 0) return false;
    // Non-blocking: a pipe put in the file's place between the look and the
    // open must not hang the program.
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    struct stat st {};
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    close(fd);
    return regular && access(path.c_str(), W_OK) == 0;
}

bool DeleteFileAt(const std::string& path) { return unlink(path.c_str()) == 0; }

bool CopyFileTo(const std::string& from, const std::string& to)
{
    std::vector<uint8_t> data;
    int err = 0;
    if (!ReadWholeFile(from, data, err)) return false;
    return WriteFileAtomically(to, data.data(), data.size(), err);
}

std::string ExtractFileName(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFilePath(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractFileExt(const std::string& path)
{
    std::string name = ExtractFileName(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext)
{
    std::string name = ExtractFileName(path);
    size_t dot = name.rfind('.');
    std::string base = dot == std::string::npos ? path : path.substr(0, path.size() - (name.size() - dot));
    return base + ext;
}

std::string IncludeTrailingSlash(const std::string& path)
{
    if (path.empty() || path.back() == '/') return path;
    return path + "/";
}

std::string ExpandFileName(const std::string& path)
{
    if (path.empty() || path.front() == '/') return path;
    char buf[PATH_MAX + 1];
    if (!getcwd(buf, PATH_MAX)) return path;
    return IncludeTrailingSlash(buf) + path;
}

std::string SystemErrorText(int code)
{
    if (code == kNotRegularFileError) return "Not a regular file (a pipe, device or socket)";
    return code ? std::strerror(code) : "Unknown error";
}

int NonRegularFileError(const std::string& path)
{
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0) return 0;
    if (S_ISREG(st.st_mode)) return 0;
    return S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFileError;
}

int OpenRegularFile(const std::string& path, int flags, int& errorCode)
{
    errorCode = 0;
    // Opened without blocking: opening a pipe for reading waits for a writer,
    // a serial device for its carrier. The type is checked on what was opened.
    int fd = open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        errorCode = errno;
        return -1;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        errorCode = errno;
        close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        errorCode = S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFileError;
        close(fd);
        return -1;
    }
    const int fl = fcntl(fd, F_GETFL);
    if (fl >= 0) fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    return fd;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& data, int& errorCode)
{
    data.clear();
    int fd = OpenRegularFile(path, O_RDONLY, errorCode);
    if (fd < 0) return false;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        errorCode = errno;
        close(fd);
        return false;
    }
    data.resize(size_t(st.st_size));
    size_t got = 0;
    while (got < data.size()) {
        ssize_t n = read(fd, data.data() + got, data.size() - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            errorCode = errno;
            close(fd);
            data.clear();
            return false;
        }
        if (n == 0) break;
        got += size_t(n);
    }
    data.resize(got);
    close(fd);
    return true;
}

namespace {

// The file a save to path replaces: symbolic links followed to the file they
// name (which need not exist yet). False with errorCode when a link cannot be
// read, the links loop, or what is there is not a regular file.
bool SaveTarget(const std::string& path, std::string& target, int& errorCode)
{
    target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(target.c_str(), &st) != 0) {
            if (errno == ENOENT) return true;  // a new file
            errorCode = errno;
            return false;
        }
        if (S_ISREG(st.st_mode)) return true;
        if (!S_ISLNK(st.st_mode)) {
            errorCode = S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFileError;
            return false;
        }
        char buf[PATH_MAX + 1];
        const ssize_t n = readlink(target.c_str(), buf, PATH_MAX);
        if (n <= 0) {
            errorCode = n < 0 ? errno : EINVAL;
            return false;
        }
        buf[n] = 0;
        const std::string link(buf);
        target = link.front() == '/' ? link : ExtractFilePath(target) + link;
    }
    errorCode = ELOOP;
    return false;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const void* data, size_t size, int& errorCode)
{
    return WriteFileAtomically(path, std::vector<TFilePart>{{data, size}}, errorCode);
}

bool WriteFileAtomically(const std::string& path, const std::vector<TFilePart>& parts, int& errorCode)
{
    errorCode = 0;
    std::string target;
    if (path.empty()) {
        errorCode = ENOENT;
        return false;
    }
    if (!SaveTarget(path, target, errorCode)) return false;
    std::string folder = ExtractFilePath(target);
    std::string tmp = (folder.empty() ? std::string("./") : folder) + "." + ExtractFileName(target) + ".XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) {
        errorCode = errno;
        return false;
    }
    // Keep the permissions of a file being replaced, else the usual ones.
    struct stat st {};
    mode_t mode = 0666;
    if (stat(target.c_str(), &st) == 0) mode = st.st_mode & 07777;
    else {
        mode_t mask = umask(0);
        umask(mask);
        mode &= ~mask;
    }
    fchmod(fd, mode);
    auto fail = [&](int code) {
        errorCode = code;
        close(fd);
        unlink(name.data());
        return false;
    };
    for (const TFilePart& part : parts) {
        const auto* p = static_cast<const uint8_t*>(part.Data);
        size_t left = part.Size;
        while (left > 0) {
            ssize_t n = write(fd, p, left);
            if (n < 0) {
                if (errno == EINTR) continue;
                return fail(errno);
            }
            p += n;
            left -= size_t(n);
        }
    }
    if (fsync(fd) != 0 && errno != EINVAL) return fail(errno);
    if (close(fd) != 0) {
        errorCode = errno;
        unlink(name.data());
        return false;
    }
    if (rename(name.data(), target.c_str()) != 0) {
        errorCode = errno;
        unlink(name.data());
        return false;
    }
    return true;
}
