#include "files/session_export.h"

#include <cerrno>

#include "files/file_errors.h"
#include "files/file_names.h"
#include "files/fit_file.h"
#include "files/rowcsv_file.h"
#include "files/session_laps.h"
#include "files/tcx_file.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/text.h"

const char* const kSessionExportFilter =
    "FIT activity files (*.fit)|*.fit|TCX files (*.tcx)|*.tcx|RowingData CSV files (*.csv)|*.csv|";

TExportFormat ExportFormatOf(const std::string& path)
{
    const std::string ext = UpperCase(ExtractFileExt(path));
    if (ext == ".FIT") return TExportFormat::Fit;
    if (ext == ".TCX") return TExportFormat::Tcx;
    if (ext == ".CSV") return TExportFormat::RowingCsv;
    return TExportFormat::None;
}

std::vector<uint8_t> ExportBytes(const TTraining& t, TExportFormat format, const THeartZones* zones)
{
    switch (format) {
    case TExportFormat::Fit: return FitFileBytes(t, zones);
    case TExportFormat::Tcx: {
        const std::string text = TcxFileText(t);
        return std::vector<uint8_t>(text.begin(), text.end());
    }
    case TExportFormat::RowingCsv: {
        const std::string text = RowingCsvText(t);
        return std::vector<uint8_t>(text.begin(), text.end());
    }
    default: return {};
    }
}

bool CanExport(const TTraining& t) { return ExportedStrokes(t) > 0; }

bool ExportTraining(const std::string& path, const TTraining& t)
{
    const TExportFormat format = ExportFormatOf(path);
    if (format == TExportFormat::None) {
        ShowErrorBox(
            Format("Extension \"%s\" not supported for export.\rA session is exported as a FIT (.fit), "
                   "TCX (.tcx) or RowingData CSV (.csv) file.",
                   ExtractFileExt(path).c_str()));
        return false;
    }
    if (!CanExport(t)) {
        ShowErrorBox("The training session has no strokes to export.");
        return false;
    }
    const THeartZones zones = RowerHeartZones();
    const std::vector<uint8_t> bytes = ExportBytes(t, format, &zones);
    const std::string folder = ExtractFilePath(path);
    int err = 0;
    if (!folder.empty() && !FolderExists(folder) && !ForceFolder(folder)) {
        ShowFileErrorCode(path, errno ? errno : ENOENT);
        return false;
    }
    if (!WriteFileAtomically(path, bytes.data(), bytes.size(), err)) {
        ShowFileErrorCode(path, err);
        return false;
    }
    return true;
}

bool ExportTrainingAs(const TTraining& t, const std::string& initialDir, std::string& path)
{
    path.clear();
    TFileDialogRequest request;
    request.Save = true;
    request.Title = "Export to FIT / TCX / CSV";
    request.Filter = kSessionExportFilter;
    request.FilterIndex = 1;
    request.OverwritePrompt = true;
    request.InitialDir = initialDir;
    request.FileName = ExtractFileName(ChangeFileExt(DefaultFileName(t), ""));
    if (request.FileName.empty()) request.FileName = CleanFolderName(t.Header.Title.Text());
    const TFileDialogResult answer = Dialogs().FileDialog(request);
    if (!answer.Accepted || answer.FileName().empty()) return false;
    std::string chosen = answer.FileName();
    if (ExportFormatOf(chosen) == TExportFormat::None) {
        static const char* const kExtensions[] = {".fit", ".tcx", ".csv"};
        const int index = answer.FilterIndex >= 1 && answer.FilterIndex <= 3 ? answer.FilterIndex : 1;
        chosen += kExtensions[index - 1];
    }
    if (!ExportTraining(chosen, t)) return false;
    path = chosen;
    return true;
}
