// Reading and writing a large training file: 10,000 strokes with curves and
// 1,000,000 raw samples (targets: each under 50 ms). Exporting the 10,000
// strokes as FIT, TCX and RowingData CSV and importing the FIT and CSV files
// again (targets: each under 100 ms). The empty-line normalisation of a
// settings file of 5, 20 and 50 MB (it runs at every exit of the windowed
// program; its cost must grow with the size, not its square).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bench/large_session.h"
#include "core/values.h"
#include "files/fit_file.h"
#include "files/rowcsv_file.h"
#include "files/session_export.h"
#include "files/tcx_file.h"
#include "files/training_file.h"
#include "util/paths.h"
#include "util/profile.h"

namespace {

const TTraining& Session()
{
    static const TTraining t = LargeSession();
    return t;
}

std::string BenchFile()
{
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        return std::string(tmp && *tmp ? tmp : "/tmp") + "/catchline-bench-" + std::to_string(getpid()) + ".stg";
    }();
    return path;
}

void BM_TrainingFileImage(benchmark::State& state)
{
    const TTraining& t = Session();
    size_t bytes = 0;
    for (auto _ : state) {
        auto image = TrainingFileBytes(t);
        bytes = image.size();
        benchmark::DoNotOptimize(image.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(BM_TrainingFileImage)->Unit(benchmark::kMillisecond);

void BM_ParseTrainingFile(benchmark::State& state)
{
    const auto image = TrainingFileBytes(Session());
    for (auto _ : state) {
        TTraining t;
        ClearTraining(t);
        if (!ParseTrainingFile(image.data(), image.size(), t)) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(t.Strokes.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.size()));
}
BENCHMARK(BM_ParseTrainingFile)->Unit(benchmark::kMillisecond);

// Writing to disk: the image, a temporary file flushed to the disk, and the
// rename over the previous file.
void BM_WriteTrainingFile(benchmark::State& state)
{
    const TTraining& t = Session();
    for (auto _ : state)
        if (!WriteTrainingFile(BenchFile(), t, false)) state.SkipWithError("write failed");
    DeleteFileAt(BenchFile());
}
BENCHMARK(BM_WriteTrainingFile)->Unit(benchmark::kMillisecond);

void BM_ReadTrainingFile(benchmark::State& state)
{
    if (!WriteTrainingFile(BenchFile(), Session(), false)) {
        state.SkipWithError("write failed");
        return;
    }
    for (auto _ : state) {
        TTraining t;
        ClearTraining(t);
        if (!ReadTrainingFile(BenchFile(), t, false)) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(t.Strokes.data());
    }
    DeleteFileAt(BenchFile());
}
BENCHMARK(BM_ReadTrainingFile)->Unit(benchmark::kMillisecond);

// A save of the large file against the disk's own speed, side by side: the
// program reads the file and writes it back (as opening and saving it does),
// and the same bytes are copied the way `cp` followed by `sync` copies them
// (read, write, flush to the disk). The program's figure should stay within
// twice the copy's.
void BM_ReadWriteTrainingFile(benchmark::State& state)
{
    if (!WriteTrainingFile(BenchFile(), Session(), false)) {
        state.SkipWithError("write failed");
        return;
    }
    int64_t bytes = 0;
    for (auto _ : state) {
        TTraining t;
        ClearTraining(t);
        if (!ReadTrainingFile(BenchFile(), t, false) || !WriteTrainingFile(BenchFile(), t, false)) {
            state.SkipWithError("read or write failed");
            break;
        }
        bytes += int64_t(FileSizeOf(BenchFile()));
    }
    state.SetBytesProcessed(bytes);
    DeleteFileAt(BenchFile());
}
BENCHMARK(BM_ReadWriteTrainingFile)->Unit(benchmark::kMillisecond);

void BM_CopyAndSyncSameBytes(benchmark::State& state)
{
    if (!WriteTrainingFile(BenchFile(), Session(), false)) {
        state.SkipWithError("write failed");
        return;
    }
    const std::string copy = BenchFile() + ".copy";
    int64_t bytes = 0;
    std::vector<char> buffer(1 << 17);  // cp's block size
    for (auto _ : state) {
        const int in = open(BenchFile().c_str(), O_RDONLY | O_CLOEXEC);
        const int out = open(copy.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        bool ok = in >= 0 && out >= 0;
        for (ssize_t n; ok && (n = read(in, buffer.data(), buffer.size())) != 0;) {
            ok = n > 0 && write(out, buffer.data(), size_t(n)) == n;
            bytes += n;
        }
        ok = ok && fsync(out) == 0;
        if (in >= 0) close(in);
        if (out >= 0) close(out);
        if (!ok) {
            state.SkipWithError("copy failed");
            break;
        }
    }
    state.SetBytesProcessed(bytes);
    unlink(copy.c_str());
    DeleteFileAt(BenchFile());
}
BENCHMARK(BM_CopyAndSyncSameBytes)->Unit(benchmark::kMillisecond);

// The large session with what a recording also holds: heart rate, pace,
// cumulative energy and drag.
const TTraining& ExportSession()
{
    static const TTraining t = [] {
        TTraining x = Session();
        x.Header.DateTime = 45413.3125;
        double energy = 0;
        for (int k = 1; k <= x.StrokeCount(); ++k) {
            TStgStrokeData& s = x.Strokes[size_t(k)];
            s.StrokeNumber = uint16_t(k);
            s.Pulse = 120.0f + float(k % 40);
            s.Time500 = 120.0f + float(k % 13) * 0.7f;
            energy += s.Energy;
            s.EnergySum = float(energy / 1000);
            s.KValue = 1.1f;
            s.DistancePerStroke = 1000;
        }
        return x;
    }();
    return t;
}

void BM_Export(benchmark::State& state)
{
    const auto format = TExportFormat(state.range(0));
    size_t bytes = 0;
    for (auto _ : state) {
        const auto image = ExportBytes(ExportSession(), format);
        bytes = image.size();
        benchmark::DoNotOptimize(image.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(BM_Export)
    ->Arg(int(TExportFormat::Fit))
    ->Arg(int(TExportFormat::Tcx))
    ->Arg(int(TExportFormat::RowingCsv))
    ->ArgName("fit1_tcx2_csv3")
    ->Unit(benchmark::kMillisecond);

void BM_Import(benchmark::State& state)
{
    const auto format = TExportFormat(state.range(0));
    const auto image = ExportBytes(ExportSession(), format);
    const TFileInfo info{"/bench/session", 45413.3125, int64_t(image.size())};
    for (auto _ : state) {
        TTraining t;
        ClearTraining(t);
        std::string error;
        const bool ok = format == TExportFormat::Fit ? ParseFitFile(info, image.data(), image.size(), t, error)
                                                     : ParseRowingCsv(info, image.data(), image.size(), t, error);
        if (!ok || t.StrokeCount() != ExportSession().StrokeCount()) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(t.Strokes.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.size()));
}
BENCHMARK(BM_Import)
    ->Arg(int(TExportFormat::Fit))
    ->Arg(int(TExportFormat::RowingCsv))
    ->ArgName("fit1_csv3")
    ->Unit(benchmark::kMillisecond);

// The whole export of the File menu: the image and the safe write to disk.
void BM_ExportFile(benchmark::State& state)
{
    const std::string path = ChangeFileExt(BenchFile(), ".fit");
    for (auto _ : state)
        if (!ExportTraining(path, ExportSession())) state.SkipWithError("export failed");
    DeleteFileAt(path);
}
BENCHMARK(BM_ExportFile)->Unit(benchmark::kMillisecond);

// A settings file of about mb megabytes: sections of keys with stray empty
// lines, as another program or a damaged disk may leave.
std::string LargeSettingsText(int64_t mb)
{
    std::string text;
    text.reserve(size_t(mb) << 20);
    for (int section = 0; text.size() < (size_t(mb) << 20); ++section) {
        text += "[Section" + std::to_string(section) + "]\n";
        for (int key = 0; key < 20; ++key) {
            text += "Key" + std::to_string(key) + "=" + std::to_string(section * 31 + key) + "\n";
            if (key % 7 == 0) text += "\n\n";
        }
    }
    return text;
}

void BM_NormaliseProfileFile(benchmark::State& state)
{
    const std::string path = ChangeFileExt(BenchFile(), ".ini");
    const std::string text = LargeSettingsText(state.range(0));
    int err = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (!WriteFileAtomically(path, text.data(), text.size(), err)) state.SkipWithError("write failed");
        state.ResumeTiming();
        if (!NormaliseProfileFile(path)) state.SkipWithError("normalisation failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    DeleteFileAt(path);
}
BENCHMARK(BM_NormaliseProfileFile)->Arg(5)->Arg(20)->Arg(50)->Unit(benchmark::kMillisecond);

}  // namespace
