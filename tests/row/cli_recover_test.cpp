// catchline-cli row killed with SIGKILL mid-row, from the demo recording and
// from a VT device on a pseudo-terminal: catchline-cli recover brings back
// every stroke it printed, byte for byte as the same row taken to its end
// and saved; recover's listing, its damaged journals and its refusals.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "core/catalogue.h"
#include "files/journal.h"
#include "files/training_io.h"
#include "util/paths.h"

#ifndef CATCHLINE_CLI
#define CATCHLINE_CLI ""
#endif

namespace {

using Clock = std::chrono::steady_clock;

// The tool as a child process with its own home; standard output through a
// pipe, standard error into a file.
class TTool {
public:
    TTool(const std::vector<std::string>& args, const std::string& home)
        : ErrPath(home + "/err" + std::to_string(++Count))
    {
        int out[2];
        if (pipe(out) != 0) return;
        Pid = fork();
        if (Pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            const int err = open(ErrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (err >= 0) dup2(err, STDERR_FILENO);
            setenv("HOME", home.c_str(), 1);
            setenv("XDG_DOCUMENTS_DIR", (home + "/Documents").c_str(), 1);
            std::vector<char*> argv{const_cast<char*>(CATCHLINE_CLI)};
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(CATCHLINE_CLI, argv.data());
            _exit(127);
        }
        close(out[1]);
        Fd = out[0];
    }
    ~TTool()
    {
        Kill();
        if (Fd >= 0) close(Fd);
    }
    // Reads standard output until pred holds, the output ends or ms pass.
    bool ReadUntil(const std::function<bool(const std::string&)>& pred, int ms)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (!pred(Out) && Fd >= 0 && Clock::now() < end) {
            pollfd p{Fd, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            char buf[4096];
            const ssize_t n = read(Fd, buf, sizeof buf);
            if (n > 0) Out.append(buf, size_t(n));
            else if (n == 0 || errno != EINTR) {
                close(Fd);
                Fd = -1;
            }
        }
        return pred(Out);
    }
    // The exit code, once the output has ended.
    int Wait(int ms = 60000)
    {
        ReadUntil([](const std::string&) { return false; }, ms);
        int status = 0;
        if (Pid <= 0 || waitpid(Pid, &status, 0) != Pid) return -1;
        Pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Kill()
    {
        if (Pid <= 0) return;
        kill(Pid, SIGKILL);
        waitpid(Pid, nullptr, 0);
        Pid = -1;
    }
    std::string Err() const
    {
        std::ifstream in(ErrPath);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string Out;

private:
    static inline int Count = 0;
    pid_t Pid = -1;
    int Fd = -1;
    std::string ErrPath;
};

// The highest stroke number among the stroke lines printed so far.
int PrintedStrokes(const std::string& out)
{
    static const std::regex line(R"(^\s*(\d+)\s+\S.*$)");
    std::stringstream s(out);
    int highest = 0;
    std::smatch m;
    for (std::string l; std::getline(s, l);)
        if (std::regex_match(l, m, line)) highest = std::max(highest, std::stoi(m[1]));
    return highest;
}

// The recovered session's records are those of the reference, byte for byte.
void ExpectSameRecords(const TTraining& recovered, const TTraining& reference)
{
    ASSERT_LE(recovered.StrokeCount(), reference.StrokeCount());
    for (int k = 1; k <= recovered.StrokeCount(); ++k) {
        EXPECT_EQ(std::memcmp(&recovered.Strokes[size_t(k)], &reference.Strokes[size_t(k)], sizeof(TStgStrokeData)), 0)
            << "stroke " << k;
        EXPECT_EQ(std::memcmp(&recovered.Curves[size_t(k)], &reference.Curves[size_t(k)], sizeof(TStgForceCurve)), 0)
            << "curve " << k;
    }
    // Raw samples: the device (or the demo) sends from the moment the port
    // opens, but recording starts when the program takes up its data, a poll
    // later; so either stream may hold a few leading samples the other lacks.
    // From the first common sample on, the recovered stream is the reference's.
    const auto& a = recovered.RawSamples;
    const auto& b = reference.RawSamples;
    ASSERT_GT(a.size(), 64u);
    auto sameFrom = [&](size_t i, size_t j) {
        const size_t n = std::min(a.size() - i, b.size() - j);
        return n > 0 && std::memcmp(&a[i], &b[j], n * sizeof(TRawSample)) == 0;
    };
    bool aligned = false;
    for (size_t shift = 0; shift < 32 && !aligned; ++shift)
        aligned = (shift < a.size() && sameFrom(1 + shift, 1)) || (shift < b.size() && sameFrom(1, 1 + shift));
    EXPECT_TRUE(aligned) << "the recovered raw samples are not those of the reference";
    // The totals a disconnect at the last stroke gives.
    const int n = recovered.StrokeCount();
    EXPECT_EQ(recovered.Totals.Distance, reference.Strokes[size_t(n)].Distance);
    EXPECT_EQ(recovered.Totals.Energy, reference.Strokes[size_t(n)].EnergySum);
}

class CliRecover : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (std::string(CATCHLINE_CLI).empty()) GTEST_SKIP() << "catchline-cli is not built";
        BuildCatalogues();
        char tmpl[] = "/tmp/catchline-recover-XXXXXX";
        Home = mkdtemp(tmpl);
        std::filesystem::create_directories(Home + "/Documents");
    }
    void TearDown() override
    {
        std::error_code ec;
        if (!Home.empty()) std::filesystem::remove_all(Home, ec);
    }
    std::string JournalDir() const { return Home + "/Documents/Catchline Rowing/Catchline/Journal/"; }
    int Run(const std::vector<std::string>& args, std::string& out, std::string& err)
    {
        TTool tool(args, Home);
        const int code = tool.Wait();
        out = tool.Out;
        err = tool.Err();
        return code;
    }
    // Kills the row after it printed n strokes; recovers into a file and reads it.
    TTraining KillAndRecover(TTool& row, int n)
    {
        EXPECT_TRUE(row.ReadUntil([n](const std::string& out) { return PrintedStrokes(out) >= n; }, 60000))
            << row.Out << row.Err();
        row.Kill();
        std::string out, err;
        EXPECT_EQ(Run({"recover", "--out", Home + "/recovered.stg"}, out, err), 0) << out << err;
        TTraining t;
        EXPECT_TRUE(OpenTraining(Home + "/recovered.stg", t, false));
        // Saved: the journal is gone.
        EXPECT_TRUE(FindJournals(JournalDir()).empty());
        return t;
    }

    std::string Home;
};

}  // namespace

TEST_F(CliRecover, DemoKilledMidRowLosesAtMostTheStrokeInProgress)
{
    const int n = 8;
    TTraining reference;
    {
        std::string out, err;
        ASSERT_EQ(Run({"row", "--fast", "--quiet", "--limit", "strokes:" + std::to_string(n + 4), "--out",
                       Home + "/reference.stg"},
                      out, err),
                  0)
            << err;
        ASSERT_TRUE(OpenTraining(Home + "/reference.stg", reference, false));
        EXPECT_TRUE(FindJournals(JournalDir()).empty());  // saved, so ended
    }
    TTool row({"row", "--fast", "--out", Home + "/never.stg"}, Home);
    const TTraining recovered = KillAndRecover(row, n);
    EXPECT_GE(recovered.StrokeCount(), n - 1);
    ExpectSameRecords(recovered, reference);
    EXPECT_FALSE(FileExists(Home + "/never.stg"));
}

TEST_F(CliRecover, DeviceOnPseudoTerminalKilledMidRow)
{
    const int n = 4;
    auto device = [&] {
        auto sim =
            std::make_unique<TTool>(std::vector<std::string>{"simulate", "vt", "--speed", "20", "--wait-open"}, Home);
        EXPECT_TRUE(sim->ReadUntil([](const std::string& out) { return out.find('\n') != std::string::npos; }, 10000));
        return sim;
    };
    TTraining reference;
    {
        auto sim = device();
        const std::string port = sim->Out.substr(0, sim->Out.find('\n'));
        std::string out, err;
        ASSERT_EQ(Run({"row", "--source", port, "--quiet", "--limit", "strokes:" + std::to_string(n + 2), "--out",
                       Home + "/reference.stg"},
                      out, err),
                  0)
            << err;
        ASSERT_TRUE(OpenTraining(Home + "/reference.stg", reference, false));
    }
    auto sim = device();
    const std::string port = sim->Out.substr(0, sim->Out.find('\n'));
    TTool row({"row", "--source", port, "--out", Home + "/never.stg"}, Home);
    const TTraining recovered = KillAndRecover(row, n);
    EXPECT_GE(recovered.StrokeCount(), n - 1);
    EXPECT_EQ(recovered.Header.InterfaceType, 1);
    ExpectSameRecords(recovered, reference);
}

TEST_F(CliRecover, ListingDamageAndRefusals)
{
    std::string out, err;
    EXPECT_EQ(Run({"recover"}, out, err), 1);
    EXPECT_NE(err.find("no unsaved recording"), std::string::npos) << err;
    EXPECT_EQ(Run({"recover", "--list"}, out, err), 0);
    EXPECT_NE(out.find("No journals"), std::string::npos) << out;
    EXPECT_EQ(Run({"recover", "--out", Home + "/x.txt"}, out, err), 2);
    EXPECT_EQ(Run({"recover", "--bogus"}, out, err), 2);
    EXPECT_EQ(Run({"recover", Home + "/missing.journal"}, out, err), 1);
    EXPECT_NE(err.find("not found"), std::string::npos) << err;

    // A journal killed mid-row, then damaged by an entry of a later version.
    {
        TTool row({"row", "--fast", "--quiet"}, Home);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto end = Clock::now() + std::chrono::seconds(30);
        while (Clock::now() < end) {
            const auto found = FindJournals(JournalDir());
            if (found.size() == 1 && found[0].InUse) {
                // Busy journals are listed as such and never ended by a recovery.
                EXPECT_EQ(Run({"recover", "--list"}, out, err), 0);
                EXPECT_NE(out.find("being recorded"), std::string::npos) << out;
                std::this_thread::sleep_for(std::chrono::milliseconds(800));
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        row.Kill();
    }
    const auto found = FindJournals(JournalDir());
    ASSERT_EQ(found.size(), 1u);
    const int strokes = found[0].Report.Strokes;
    ASSERT_GE(strokes, 1);
    {
        // An empty entry of a type this version does not know.
        uint8_t later[12] = {77, 1, 0, 0, 0, 0, 0, 0};
        const uint32_t crc = JournalCrc(later, 8);
        std::memcpy(later + 8, &crc, 4);
        std::ofstream j(found[0].Path, std::ios::binary | std::ios::app);
        j.write(reinterpret_cast<const char*>(later), sizeof later);
    }
    EXPECT_EQ(Run({"recover", "--list"}, out, err), 0);
    EXPECT_NE(out.find("damaged"), std::string::npos) << out;
    EXPECT_EQ(Run({"recover", found[0].Path, "--out", Home + "/damaged.stg"}, out, err), 0) << err;
    EXPECT_NE(out.find("Saved " + std::to_string(strokes) + " strokes"), std::string::npos) << out;
    EXPECT_NE(err.find("is damaged"), std::string::npos) << err;
    // What a later version wrote may still be read by it: the journal stays.
    EXPECT_TRUE(FileExists(found[0].Path));
    EXPECT_NE(err.find("is kept"), std::string::npos) << err;
}

TEST_F(CliRecover, ASaveThatFailsKeepsTheJournalUntilTheStrokesAreSafe)
{
    // The folder of --out cannot be made: the strokes are saved in the user
    // data folder instead, and only then is the journal given up.
    std::ofstream(Home + "/plain") << "x";
    std::string out, err;
    EXPECT_EQ(Run({"row", "--fast", "--quiet", "--limit", "strokes:3", "--out", Home + "/plain/row.stg"}, out, err), 1);
    EXPECT_NE(err.find("could not be saved"), std::string::npos) << err;
    const std::string saved = Home + "/Documents/Catchline Rowing/Catchline/row.stg";
    EXPECT_NE(out.find("Saved 3 strokes to " + saved), std::string::npos) << out;
    TTraining back;
    ASSERT_TRUE(OpenTraining(saved, back, false)) << saved;
    EXPECT_EQ(back.StrokeCount(), 3);
    EXPECT_EQ(Run({"recover", "--out", Home + "/recovered.stg"}, out, err), 1);
    EXPECT_NE(err.find("no unsaved recording"), std::string::npos) << err;
}
