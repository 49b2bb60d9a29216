// catchline-cli recover: brings back a recording that was never saved from
// its journal (the program or the tool was killed, the machine lost power),
// or lists the journals in the user data folder.
#include <cstdio>
#include <string>
#include <vector>

#include "files/journal.h"
#include "files/training_io.h"
#include "tools/cli/commands.h"
#include "util/paths.h"
#include "util/text.h"

namespace {

bool HasStgExtension(const std::string& path)
{
    return path.size() >= 4 && SameText(path.substr(path.size() - 4), ".stg");
}

// The journal to recover when none is named: the latest recording that ended
// neither in a save nor in a discard and that no running recording writes.
std::string LatestOpenJournal(const std::vector<TJournalInfo>& list)
{
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if (!it->InUse && it->Report.Readable && !it->Report.Ended && it->Report.Strokes > 0) return it->Path;
    return {};
}

std::string NewRecoveredPath()
{
    const std::string folder = UserDataFolder(true);
    for (int n = 1; n < 100000; ++n) {
        std::string candidate = Format("%sRecovered%05d.stg", folder.c_str(), n);
        if (FileSizeOf(candidate) < 0) return candidate;
    }
    return {};
}

}  // namespace

int CmdRecover(const std::vector<std::string>& args)
{
    bool list = false;
    std::string out, journal;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--list") list = true;
        else if (a == "--out") {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "recover: --out needs a value\n");
                return 2;
            }
            out = args[++i];
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "recover: unknown argument: %s\n", a.c_str());
            return 2;
        } else if (journal.empty()) {
            journal = a;
        } else {
            std::fprintf(stderr, "recover: one journal at a time (%s and %s)\n", journal.c_str(), a.c_str());
            return 2;
        }
    }
    if (!out.empty() && !HasStgExtension(out)) {
        std::fprintf(stderr, "recover: --out must name a training file (.stg): %s\n", out.c_str());
        return 2;
    }

    const std::string folder = JournalFolder(false);
    if (list) {
        std::vector<TJournalInfo> found;
        if (journal.empty()) {
            found = FindJournals(folder);
        } else {
            TJournalInfo info;
            info.Path = journal;
            info.InUse = JournalInUse(journal);
            TTraining t;
            RecoverJournalFile(journal, t, info.Report);
            info.DateTime = t.Header.DateTime;
            info.Title = t.Header.Title.Text();
            found.push_back(info);
        }
        if (found.empty()) std::printf("No journals in %s\n", folder.c_str());
        for (const auto& info : found) std::printf("%s\n", JournalSummary(info).c_str());
        return 0;
    }

    if (journal.empty()) {
        journal = LatestOpenJournal(FindJournals(folder));
        if (journal.empty()) {
            std::fprintf(stderr, "recover: no unsaved recording in %s\n", folder.c_str());
            return 1;
        }
    }
    if (!FileExists(journal)) {
        std::fprintf(stderr, "recover: File \"%s\" not found\n", journal.c_str());
        return 1;
    }
    const bool inUse = JournalInUse(journal);
    TTraining session;
    TJournalReport report;
    if (!RecoverJournalFile(journal, session, report)) {
        std::fprintf(stderr, "recover: %s: %s\n", journal.c_str(), report.Problem.c_str());
        return 1;
    }
    if (inUse)
        std::fprintf(stderr, "recover: %s is still being recorded; taking the strokes it holds now\n", journal.c_str());
    if (!report.Problem.empty())
        std::fprintf(stderr, "recover: %s is damaged: %s\n", journal.c_str(), report.Problem.c_str());
    std::printf("Recovered %d strokes, %d intervals and %d raw samples from %s\n", report.Strokes, report.Intervals,
                report.RawSamples, journal.c_str());

    std::string path = out.empty() ? NewRecoveredPath() : out;
    session.Header.FileType = ftSTG;
    session.Header.Modified = 1;
    if (path.empty() || !SaveTraining(path, "", session)) {
        std::fprintf(stderr, "recover: the session could not be saved; the journal stays\n");
        return 1;
    }
    std::printf("Saved %d strokes to %s\n", session.StrokeCount(), path.c_str());
    // Saved: the journal ends, unless a later version wrote parts of it that
    // this one had to leave out, or a recording still writes it.
    if (report.NewerVersion) {
        std::fprintf(stderr, "recover: %s is kept: a later version can read what this one left out\n", journal.c_str());
    } else if (!EndJournal(journal, jeSaved)) {
        std::fprintf(stderr, "recover: %s is kept\n", journal.c_str());
    }
    return 0;
}
