#include "files/training_io.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "files/brax_file.h"
#include "files/file_errors.h"
#include "files/file_names.h"
#include "files/fit_file.h"
#include "files/rowcsv_file.h"
#include "files/stroke_file.h"
#include "files/training_file.h"
#include "files/user_file.h"
#include "util/date_time.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/text.h"
#include "util/version.h"

const char* const kExportFilter = "Trainings (*.stg)|*.stg|User (*.ini)|*.ini|";

namespace {

std::string ExtensionUpper(const std::string& path)
{
    std::string ext = ExtractFileExt(path);
    return UpperCase(ext);
}

// reason receives what was wrong with the file where the reader can tell.
bool ReadByExtension(const std::string& path, TTraining& t, bool verbose, std::string& reason)
{
    const std::string ext = ExtensionUpper(path);
    if (ext == ".FIT") return ReadFitFile(path, t, reason);
    if (ext == ".CSV") return ReadRowingCsv(path, t, reason);
    if (ext == ".STR") return ReadStrokeFile(path, t);
    if (ext == ".STG") return ReadTrainingFile(path, t, verbose);
    if (ext == ".INI") return ReadUserFile(path, t);
    if (ext == ".BXI") return ReadBraxUser(path, t);
    if (ext == ".BXS") return ReadBraxSession(path, t);
    if (ext == ".BXR") return ReadBraxStroke(path, t);
    return false;
}

bool ReadHeaderByExtension(const std::string& path, TTrainingHeader& header, uint32_t& version, bool verbose)
{
    const std::string ext = ExtensionUpper(path);
    if (ext == ".STG") return ReadTrainingFileHeader(path, header, version, verbose);
    if (ext == ".STR") return ReadStrokeFileHeader(path, header);
    if (ext == ".INI") return ReadUserFileHeader(path, header);
    if (ext == ".BXI") return ReadBraxUserHeader(path, header);
    if (ext == ".BXS") return ReadBraxSessionHeader(path, header);
    if (ext == ".BXR") return ReadBraxStrokeHeader(path, header);
    if (ext == ".FIT" || ext == ".CSV") {
        // The imported kinds have no header of their own: it comes from the
        // file's contents, so the file is read.
        TTraining t;
        std::string reason;
        if (!ReadByExtension(path, t, false, reason)) return false;
        header = t.Header;
        return true;
    }
    return false;
}

// A path that is not a regular file: a folder, pipe or device is named as
// such (it is never opened), anything else is not there.
void ShowMissingFile(const std::string& path)
{
    if (const int code = NonRegularFileError(path)) ShowFileErrorCode(path, code);
    else ShowErrorBox(Format("File \"%s\" not found", path.c_str()));
}

// Something has this name: a file, a folder, even a link to nothing.
bool PathTaken(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

int32_t SavedFileSize(const TTraining& t)
{
    int64_t size = kTrainingRecordSize + int64_t(sizeof(TStgStrokeData)) * int64_t(t.Strokes.size()) +
                   int64_t(sizeof(TStgForceCurve)) * int64_t(t.Curves.size()) +
                   int64_t(sizeof(TTrainingInterval)) * int64_t(t.Intervals.size()) +
                   int64_t(sizeof(TRawSample)) * int64_t(t.RawSamples.size());
    return int32_t(size);
}

}  // namespace

uint8_t FileTypeOf(const std::string& path)
{
    std::string ext = ExtractFileExt(path);
    if (!ext.empty()) ext.erase(0, 1);
    ext = UpperCase(ext.substr(0, 6));
    const auto& names = FileTypeNames();
    for (size_t i = names.size(); i-- > 0;)
        if (names[i] == ext) return uint8_t(i);
    return 0;
}

bool OpenTraining(const std::string& path, TTraining& t, bool verbose, const TOpenProgress& progress)
{
    if (progress) progress(0.0);
    ClearTraining(t);
    if (!FileExists(path)) {
        if (verbose) ShowMissingFile(path);
        if (progress) progress(-1.0);
        return false;
    }
    std::string reason;
    bool ok = ReadByExtension(path, t, verbose, reason);
    if (progress) progress(1.0);
    if (!ok) {
        ClearTraining(t);
        std::string text = Format("Error reading file \"%s\"", path.c_str());
        if (!reason.empty()) text += "\r" + reason;
        if (verbose) ShowErrorBox(text);
    }
    SanitizeCountdowns(t);
    if (progress) progress(-1.0);
    return ok;
}

bool OpenTrainingHeader(const std::string& path, TTrainingHeader& header, uint32_t& version, bool verbose)
{
    header = TTrainingHeader{};
    version = 0;
    if (!FileExists(path)) {
        if (verbose) ShowMissingFile(path);
        return false;
    }
    if (ReadHeaderByExtension(path, header, version, verbose)) return true;
    header = TTrainingHeader{};
    if (verbose) ShowErrorBox(Format("Error reading header of file \"%s\"", path.c_str()));
    return false;
}

TWriteResult WriteByKind(const std::string& path, TTraining& t, int q, uint8_t targetType)
{
    // Which writer, if any, serves this kind and target.
    enum { wNone, wTraining, wStroke, wUser } writer = wNone;
    switch (q) {
    case ckStroke: writer = wStroke; break;
    case ckTraining:
    case ckRow: writer = targetType == ftSTG ? wTraining : wNone; break;
    case ckUser: writer = targetType == ftINI ? wUser : targetType == ftSTG ? wTraining : wNone; break;
    case ckManual: writer = wTraining; break;
    default: break;
    }
    if (writer == wNone) return TWriteResult::NothingToDo;
    // The old file stays in place until the new one is complete (the writers
    // replace it atomically), so a failed save never loses it.
    std::string folder = ExtractFilePath(path);
    if (!folder.empty() && !FolderExists(folder) && !ForceFolder(folder)) {
        ShowFileErrorCode(path, errno);
        return TWriteResult::Failed;
    }
    bool ok = false;
    switch (writer) {
    case wTraining: ok = WriteTrainingFile(path, t); break;
    case wStroke: ok = WriteStrokeFile(path, t); break;
    case wUser: ok = WriteUserFile(path, t); break;
    default: break;
    }
    return ok ? TWriteResult::Written : TWriteResult::Failed;
}

bool SaveTraining(std::string& path, const std::string& initialDir, TTraining& t, TWriteResult* outcome,
                  std::string* tried)
{
    if (outcome) *outcome = TWriteResult::Failed;
    if (tried) tried->clear();
    TTrainingHeader& h = t.Header;
    uint8_t target = 0;
    int q = 0;
    bool fromDialog = false;
    if (!path.empty()) {
        if (FileTypeOf(path) == ftSTG) {
            target = h.FileType;
            q = h.ContentKind;
        } else {
            target = h.OriginalType;
            q = h.OriginalKind;
        }
    } else {
        TFileDialogRequest request;
        request.Save = true;
        request.Title = "Export training session";
        request.Filter = kExportFilter;
        request.FilterIndex = 1;
        request.DefaultExt = "STG";
        request.OverwritePrompt = true;
        request.InitialDir = initialDir;
        request.FileName = ChangeFileExt(DefaultFileName(t), "");
        TFileDialogResult answer = Dialogs().FileDialog(request);
        if (answer.Accepted) path = answer.FileName();
        if (path.empty()) return false;
        fromDialog = true;
        target = FileTypeOf(path);
        std::string entry = FilterEntryName(kExportFilter, answer.FilterIndex);
        if (StartsWithText(entry, "TRAI")) q = ckTraining;
        else if (StartsWithText(entry, "USER")) q = ckUser;
    }

    const TTrainingHeader before = h;
    t.Magic = kTrainingMagic;
    t.ProgramVersion = ProgramVersion();
    h.FileSize = SavedFileSize(t);
    if (IsNullGuid(h.Guid) || fromDialog) h.Guid = NewGuid();
    if (target == ftSTG) {
        if (IsEmptyTraining(t)) q = ckUser;
        else if (h.ContentKind == ckManual) q = ckManual;
        else if (h.ContentKind == ckRow) q = ckTraining;
        h.FileName.SetText(path);
        h.FileType = ftSTG;
        h.ContentKind = uint8_t(q);
        h.FileDate = NowDays();
    } else {
        h.OriginalFileName.SetText(path);
        h.FileName.SetText("");
        h.FileDate = 0;
        h.FileSize = 0;
        h.FileType = 0;
        h.ContentKind = 0;
        h.OriginalType = target;
        h.OriginalKind = uint8_t(q);
        h.OriginalDate = NowDays();
    }
    SetStrokeCount(t, -1);
    h.Modified = 0;
    if (tried) *tried = path;
    TWriteResult result = WriteByKind(path, t, q, target);
    if (outcome) *outcome = result;
    if (result != TWriteResult::Written) {
        // Nothing was saved: the session stays as it was, still modified.
        h = before;
        h.Modified = 1;
        path.clear();
        return false;
    }
    return true;
}

std::vector<std::string> FallbackSaveFolders()
{
    std::vector<std::string> folders;
    const std::string data = UserDataFolder(false);
    if (!data.empty()) folders.push_back(IncludeTrailingSlash(data));
    const char* tmp = std::getenv("TMPDIR");
    folders.push_back(IncludeTrailingSlash(tmp && *tmp ? tmp : "/tmp"));
    return folders;
}

std::string FallbackQuestionText(const std::string& failedPath)
{
    return Format(
        "The training session could not be saved to \"%s\".\r\rSave it in the user data folder "
        "instead (or in the temporary folder when that cannot be written)?",
        failedPath.c_str());
}

std::string FallbackSavedText(const std::string& failedPath, const std::string& savedPath)
{
    return Format("The training session could not be saved to \"%s\".\rIt was saved to \"%s\" instead.",
                  failedPath.c_str(), savedPath.c_str());
}

std::string FallbackFailedText(const std::string& failedPath)
{
    return Format(
        "The training session could not be saved to \"%s\", nor in the user data folder or the "
        "temporary folder.",
        failedPath.c_str());
}

std::string SaveToFallback(TTraining& t, const std::string& failedPath, bool ask)
{
    if (ask && !ConfirmYesNo(FallbackQuestionText(failedPath))) return {};
    std::string name = ExtractFileName(failedPath);
    if (name.empty()) name = ExtractFileName(DefaultFileName(t));
    const std::string base = ChangeFileExt(name, "");
    const std::string ext = ExtractFileExt(name);
    const std::string failedFolder = ExpandFileName(ExtractFilePath(ExpandFileName(failedPath)));
    std::string saved;
    {
        // The attempts fail quietly; the outcome is told once below.
        TConsoleDialogs quiet;
        quiet.Quiet = true;
        TDialogScope scope(quiet);
        for (const std::string& folder : FallbackSaveFolders()) {
            if (ExpandFileName(folder) == failedFolder) continue;
            if (!FolderExists(folder) && !ForceFolder(folder)) continue;
            std::string path;
            for (int n = 1; n < 1000 && path.empty(); ++n) {
                const std::string candidate =
                    folder + (n == 1 ? name : Format("%s (%d)%s", base.c_str(), n, ext.c_str()));
                if (!PathTaken(candidate)) path = candidate;
            }
            if (path.empty()) continue;
            if (SaveTraining(path, "", t)) {
                saved = path;
                break;
            }
        }
    }
    if (saved.empty()) ShowErrorBox(FallbackFailedText(failedPath));
    else ShowInformationBox(FallbackSavedText(failedPath, saved));
    return saved;
}

std::string FindFileNoCase(const std::string& folder, const std::string& name)
{
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec)) return {};
    if (FileExists(IncludeTrailingSlash(folder) + name)) return IncludeTrailingSlash(folder) + name;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::string n = entry.path().filename().string();
        if (SameText(n, name) && entry.is_regular_file(ec)) return IncludeTrailingSlash(folder) + n;
    }
    return {};
}

std::string TemplateTrainingFile()
{
    const std::string folder = UserDataFolder(false);
    std::string path = FindFileNoCase(folder, ChangeFileExt(ProgramFileName(), ".STG"));
    if (path.empty()) path = FindFileNoCase(folder, "Default.STG");
    return path;
}

bool NewTraining(TTraining& t)
{
    ClearTraining(t);
    const std::string path = TemplateTrainingFile();
    TTrainingHeader header{};
    uint32_t version = 0;
    if (!path.empty() && ReadTrainingFileHeader(path, header, version, false) && IsUserOnly(header)) {
        if (ReadTrainingFile(path, t, false)) {
            TTrainingHeader& h = t.Header;
            t.Magic = kTrainingMagic;
            t.ProgramVersion = ProgramVersion();
            h.FileDate = 0;
            h.FileSize = 0;
            h.FileName.SetText("");
            h.OriginalFileName.SetText("");
            h.DateTime = NowDays();
            h.InterfaceDetail = 0;
            h.Creator = 3;
            h.InterfaceType = 0;
            h.InterfaceText.SetText("");
            h.Guid = NewGuid();
            SanitizeCountdowns(t);
            return true;
        }
        ClearTraining(t);
    }
    t.Magic = kTrainingMagic;
    t.ProgramVersion = ProgramVersion();
    t.Settings = DefaultSettings();
    t.Header = DefaultHeader();
    t.Header.FileType = ftSTG;
    t.Header.ContentKind = ckManual;
    t.Header.DateTime = NowDays();
    return false;
}
