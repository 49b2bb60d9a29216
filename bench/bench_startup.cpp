// Start of the windowed program and a large file opened in it, each in a
// process of its own as a user meets them: the program is started with
// CATCHLINE_TIMING=quit and the benchmark times, from the start of the
// process, the moment the program reports its main window painted; the
// program times each command-line argument until its windows are painted.
//   BM_ColdStart                 start until the main window is painted
//   BM_OpenFileWithChartWindows  "/D /F FILE": a 10,000-stroke file (with
//                                1,000,000 raw samples) opened into a training
//                                window while both chart windows are open
// The program runs on the X display of DISPLAY when one is set, else offscreen.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/large_session.h"
#include "core/values.h"
#include "files/training_file.h"
#include "util/paths.h"

extern char** environ;

namespace {

using TClock = std::chrono::steady_clock;

std::string Program() { return std::string(CATCHLINE_BINARY_DIR) + "/catchline"; }

// A home of its own for the started program: settings, documents, the
// single-instance lock and socket.
class TChildHome {
public:
    TChildHome()
    {
        char pattern[] = "/tmp/catchline-benchstart-XXXXXX";
        const char* made = mkdtemp(pattern);
        Root = made ? made : "/tmp";
        std::filesystem::create_directories(Root + "/Documents");
        std::filesystem::create_directories(Root + "/.config");
        std::filesystem::create_directories(Root + "/run");
        std::filesystem::permissions(Root + "/run", std::filesystem::perms::owner_all);
    }
    ~TChildHome()
    {
        std::error_code ec;
        std::filesystem::remove_all(Root, ec);
    }
    std::vector<std::string> Environment() const
    {
        std::vector<std::string> env;
        auto replaced = [](const std::string& v) {
            for (const char* name : {"HOME=", "TMPDIR=", "XDG_", "CATCHLINE_", "QT_QPA_PLATFORM="})
                if (v.rfind(name, 0) == 0) return true;
            return false;
        };
        for (char** e = environ; *e; ++e)
            if (!replaced(*e)) env.push_back(*e);
        env.push_back("HOME=" + Root);
        env.push_back("TMPDIR=" + Root);
        env.push_back("XDG_CONFIG_HOME=" + Root + "/.config");
        env.push_back("XDG_DATA_HOME=" + Root + "/.local/share");
        env.push_back("XDG_RUNTIME_DIR=" + Root + "/run");
        env.push_back("CATCHLINE_TIMING=quit");
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) env.push_back("QT_QPA_PLATFORM=offscreen");
        return env;
    }
    std::string Root;
};

struct TRun {
    bool Ok = false;
    double ShownMs = -1;  // start of the process until the main window's report
    std::vector<std::string> Lines;
    std::string Error;
};

// Starts the program and reads its standard error until it ends.
TRun RunProgram(const TChildHome& home, const std::vector<std::string>& args)
{
    TRun run;
    int pipeFd[2];
    if (pipe2(pipeFd, O_CLOEXEC) != 0) {
        run.Error = "pipe";
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFd[1], 2);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> argStore{Program()};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStore = home.Environment();
    std::vector<char*> envp;
    for (auto& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);

    const auto start = TClock::now();
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFd[1]);
    if (spawned != 0) {
        close(pipeFd[0]);
        run.Error = std::string("cannot start ") + argv[0] + ": " + std::strerror(spawned);
        return run;
    }
    std::string pending;
    const auto deadline = start + std::chrono::seconds(60);
    for (;;) {
        pollfd p{pipeFd[0], POLLIN, 0};
        const int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count());
        if (left <= 0 || poll(&p, 1, left) <= 0) {
            run.Error = "no end within 60 s";
            kill(pid, SIGKILL);
            break;
        }
        char buf[4096];
        const ssize_t n = read(pipeFd[0], buf, sizeof buf);
        if (n <= 0) break;
        const auto now = TClock::now();
        pending.append(buf, size_t(n));
        for (size_t eol; (eol = pending.find('\n')) != std::string::npos; pending.erase(0, eol + 1)) {
            const std::string line = pending.substr(0, eol);
            if (run.ShownMs < 0 && line.rfind("timing: main window shown", 0) == 0)
                run.ShownMs = std::chrono::duration<double, std::milli>(now - start).count();
            run.Lines.push_back(line);
        }
    }
    close(pipeFd[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    run.Ok = run.Error.empty() && WIFEXITED(status) && WEXITSTATUS(status) == 0 && run.ShownMs >= 0;
    if (run.Error.empty() && !run.Ok) run.Error = "the program did not report its main window and end";
    return run;
}

// The milliseconds the program reported for an argument ("timing: "ARG": N ms").
double ArgumentMs(const TRun& run, const std::string& arg)
{
    const std::string prefix = "timing: \"" + arg + "\": ";
    for (const std::string& line : run.Lines)
        if (line.rfind(prefix, 0) == 0) return std::strtod(line.c_str() + prefix.size(), nullptr);
    return -1;
}

void BM_ColdStart(benchmark::State& state)
{
    TChildHome home;
    for (auto _ : state) {
        const TRun run = RunProgram(home, {});
        if (!run.Ok) {
            state.SkipWithError(run.Error.c_str());
            return;
        }
        state.SetIterationTime(run.ShownMs / 1000);
    }
}
BENCHMARK(BM_ColdStart)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// The benchmarks' long session as a training file.
void WriteLargeFile(const std::string& path) { WriteTrainingFile(path, LargeSession(), false); }

void BM_OpenFileWithChartWindows(benchmark::State& state)
{
    TChildHome home;
    const std::string file = home.Root + "/Large.stg";
    WriteLargeFile(file);
    double startMs = 0;
    int runs = 0;
    for (auto _ : state) {
        const TRun run = RunProgram(home, {"/D", "/F", file});
        const double ms = ArgumentMs(run, file);
        if (!run.Ok || ms < 0) {
            state.SkipWithError(run.Ok ? "the program did not time the file" : run.Error.c_str());
            return;
        }
        state.SetIterationTime(ms / 1000);
        startMs += run.ShownMs;
        ++runs;
    }
    if (runs) state.counters["start_ms"] = startMs / runs;
}
BENCHMARK(BM_OpenFileWithChartWindows)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
