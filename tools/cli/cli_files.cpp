// catchline-cli commands on files: dump, save, convert, export.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/catalogue.h"
#include "core/values.h"
#include "core/zones.h"
#include "files/session_export.h"
#include "files/training_io.h"
#include "tools/cli/cli_json.h"
#include "tools/cli/commands.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/profile.h"
#include "util/text.h"

namespace {

// Messages go to standard error; the save dialog is not shown: the path given
// on the command line is its answer.
class TCliDialogs : public TConsoleDialogs {
public:
    std::string Answer;
    int AnswerFilterIndex = 1;
    TFileDialogResult FileDialog(const TFileDialogRequest&) override
    {
        TFileDialogResult r;
        if (Answer.empty()) return r;
        r.Accepted = true;
        r.FileNames = {Answer};
        r.FilterIndex = AnswerFilterIndex;
        return r;
    }
};

int Usage(const char* text)
{
    std::fprintf(stderr, "Usage: catchline-cli %s\n", text);
    return 2;
}

bool Open(const std::string& path, TTraining& t)
{
    BuildCatalogues();
    return OpenTraining(path, t, true);
}

// One CSV field (RFC 4180).
std::string CsvField(const std::string& s)
{
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    return "\"" + ReplaceAll(s, "\"", "\"\"") + "\"";
}

std::string CsvRow(const std::vector<std::string>& cells)
{
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i) line += ',';
        line += CsvField(cells[i]);
    }
    return line + "\r\n";
}

int SaveAs(const std::string& in, const std::string& out, bool throughDialog)
{
    TCliDialogs dialogs;
    TDialogScope scope(dialogs);
    TTraining t;
    if (!Open(in, t)) return 1;
    std::string path = out;
    if (throughDialog) {
        const std::string ext = UpperCase(ExtractFileExt(out));
        if (ext != ".STG" && ext != ".INI") {
            std::fprintf(stderr,
                         "catchline-cli: \"%s\": a session is exported as a training (.stg) or user (.ini) file\n",
                         out.c_str());
            return 1;
        }
        dialogs.Answer = out;
        dialogs.AnswerFilterIndex = ext == ".STG" ? 1 : 2;
        path.clear();
    }
    TWriteResult result = TWriteResult::Failed;
    if (SaveTraining(path, ExtractFilePath(out), t, &result)) return 0;
    if (result == TWriteResult::NothingToDo)
        std::fprintf(stderr,
                     "catchline-cli: nothing written: a \"%s\" session (original kind \"%s\") is not saved as \"%s\"\n",
                     ListText(ContentKindNames(), t.Header.ContentKind).c_str(),
                     ListText(ContentKindNames(), t.Header.OriginalKind).c_str(), out.c_str());
    else std::fprintf(stderr, "catchline-cli: \"%s\" was not written\n", out.c_str());
    return 1;
}

}  // namespace

int CmdDump(const std::vector<std::string>& args)
{
    std::string path;
    bool values = false, headerOnly = false;
    int maxHeart = 0;
    const char* const usage = "dump FILE [--values [--max-heart N]] [--header]";
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--values") values = true;
        else if (a == "--header") headerOnly = true;
        else if (a == "--max-heart" && i + 1 < args.size()) {
            int32_t m = 0;
            if (!TryParseInt(args[++i], m) || m < 100 || m > 240) {
                std::fprintf(stderr, "catchline-cli dump: --max-heart takes a heart rate from 100 to 240\n");
                return 2;
            }
            maxHeart = m;
        } else if (path.empty()) path = a;
        else return Usage(usage);
    }
    if (path.empty()) return Usage(usage);
    TConsoleDialogs dialogs;
    TDialogScope scope(dialogs);
    if (headerOnly) {
        TTrainingHeader header{};
        uint32_t version = 0;
        if (!OpenTrainingHeader(path, header, version, true)) return 1;
        TJson j;
        j["Version"] = version;
        j["Header"] = HeaderJson(header);
        std::printf("%s\n", JsonText(j).c_str());
        return 0;
    }
    TTraining t;
    if (!Open(path, t)) return 1;
    // The zones the rower set in the program (or the defaults).
    THeartZones zones;
    if (values) {
        const std::string settings = SettingsFile(false);
        if (!settings.empty() && FileSizeOf(settings) >= 0) zones = ReadHeartZones(TProfileFile(settings));
        if (maxHeart > 0) zones.MaxHeartRate = maxHeart;
    }
    // Streamed: a session of millions of raw samples prints without a tree
    // of the whole document in memory.
    const bool written = WriteTrainingJson(
        t, values, [](const char* data, size_t size) { return std::fwrite(data, 1, size, stdout) == size; },
        values ? &zones : nullptr);
    if (!written || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "catchline-cli: the output could not be written: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}

int CmdSave(const std::vector<std::string>& args)
{
    if (args.size() != 2) return Usage("save IN OUT");
    return SaveAs(args[0], args[1], false);
}

int CmdConvert(const std::vector<std::string>& args)
{
    if (args.size() != 2) return Usage("convert IN OUT");
    return SaveAs(args[0], args[1], true);
}

namespace {

// The stroke-data grid of the training window: one column per slot of the
// stroke id map, one row per stroke, values as the grid shows them.
int ExportGrid(const TTraining& t, const std::string& out)
{
    const std::vector<int32_t>& map = StrokeIdMap();
    std::string csv;
    std::vector<std::string> cells;
    for (int32_t position : map) cells.push_back(StrokeShortCaption(position));
    csv += CsvRow(cells);
    for (int k = 1; k <= t.StrokeCount(); ++k) {
        cells.clear();
        for (int32_t position : map) cells.push_back(Trim(StrokeValueText(t.Strokes[size_t(k)], position, t.Settings)));
        csv += CsvRow(cells);
    }
    int err = 0;
    if (!WriteFileAtomically(out, csv.data(), csv.size(), err)) {
        std::fprintf(stderr, "catchline-cli: cannot write \"%s\": %s\n", out.c_str(), SystemErrorText(err).c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int CmdExport(const std::vector<std::string>& args)
{
    const char* usage = "export [--grid] IN OUT.fit|OUT.tcx|OUT.csv";
    bool grid = false;
    std::vector<std::string> paths;
    for (const auto& a : args) {
        if (a == "--grid") grid = true;
        else paths.push_back(a);
    }
    if (paths.size() != 2) return Usage(usage);
    const std::string& out = paths[1];
    if (!grid && ExportFormatOf(out) == TExportFormat::None) {
        std::fprintf(stderr,
                     "catchline-cli: \"%s\": a session is exported as a FIT (.fit), TCX (.tcx) or RowingData CSV "
                     "(.csv) file; --grid writes the stroke data grid as CSV\n",
                     out.c_str());
        return 2;
    }
    TConsoleDialogs dialogs;
    TDialogScope scope(dialogs);
    TTraining t;
    if (!Open(paths[0], t)) return 1;
    if (grid) return ExportGrid(t, out);
    return ExportTraining(out, t) ? 0 : 1;
}
