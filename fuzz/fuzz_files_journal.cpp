// Fuzzes the recording journal's reader: whatever the bytes, it returns, keeps
// what came before the first damage and allocates no more than the bytes
// describe.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "files/journal.h"
#include "files/training_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TTraining t;
    TJournalReport report;
    if (!RecoverJournal(data, size, t, report)) {
        if (report.Problem.empty()) std::abort();
        return 0;
    }
    if (report.GoodBytes + report.DroppedBytes != size || report.Problem.empty() != (report.DroppedBytes == 0))
        std::abort();
    // Raw samples follow on from each other, so they never outnumber the bytes.
    if (t.RawSamples.size() > size / 3 + 1 || t.StrokeCount() > 65535) std::abort();
    // The damage and what follows it change nothing: the good part alone
    // recovers the same session.
    TTraining good;
    TJournalReport again;
    if (!RecoverJournal(data, report.GoodBytes, good, again) || !again.Problem.empty()) std::abort();
    if (TrainingFileBytes(good) != TrainingFileBytes(t)) std::abort();
    return 0;
}
