// catchline-cli row, run as the user runs it: every limit kind, intervals,
// the saved file read back, Ctrl+C while rowing, a device on a pseudo-terminal
// (the tool's own simulator) that rows and then goes away, bad arguments.
// HOME and the XDG folders point into a temporary folder for every run.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "core/catalogue.h"
#include "core/values.h"
#include "files/training_io.h"
#include "interfaces/devices/vt_encoder.h"
#include "logic/training_logic.h"
#include "util/paths.h"

#ifndef CATCHLINE_CLI
#define CATCHLINE_CLI ""
#endif

namespace {

using Clock = std::chrono::steady_clock;

// The tool as a child process: its standard output read through a pipe as it
// comes, standard error into a file, the environment pointed at home. A pace
// above 1 runs the tool's fixed waits and its fast demo that many times as fast.
class TChild {
public:
    TChild(const std::vector<std::string>& args, const std::string& home, int pace = 1)
    {
        ErrPath = home + "/stderr-" + std::to_string(++Counter);
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
            setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
            setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
            setenv("XDG_CACHE_HOME", (home + "/.cache").c_str(), 1);
            setenv("XDG_DOCUMENTS_DIR", (home + "/Documents").c_str(), 1);
            setenv("TMPDIR", (home + "/tmp").c_str(), 1);
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            if (pace > 1) setenv("CATCHLINE_WAIT_PACE", std::to_string(pace).c_str(), 1);
            else unsetenv("CATCHLINE_WAIT_PACE");
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(CATCHLINE_CLI));
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(CATCHLINE_CLI, argv.data());
            _exit(127);
        }
        close(out[1]);
        Fd = out[0];
        fcntl(Fd, F_SETFL, O_NONBLOCK);
    }
    ~TChild()
    {
        if (Pid > 0) {
            kill(Pid, SIGKILL);
            waitpid(Pid, nullptr, 0);
        }
        if (Fd >= 0) close(Fd);
    }
    // Reads standard output until pred(Out) holds, the pipe ends or ms pass.
    bool ReadUntil(const std::function<bool(const std::string&)>& pred, int ms)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (!pred(Out)) {
            if (Fd < 0 || Clock::now() > end) return pred(Out);
            pollfd p{Fd, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            char buf[4096];
            const ssize_t n = read(Fd, buf, sizeof buf);
            if (n > 0) Out.append(buf, size_t(n));
            else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                close(Fd);
                Fd = -1;
            }
        }
        return true;
    }
    // Reads the rest of the output and waits for the exit; -1 when it does not
    // end in time (then it is killed) or ends by a signal.
    int Wait(int ms = 120000)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(ms + 2000);
        ReadUntil([](const std::string&) { return false; }, ms);
        if (Pid <= 0) return -1;
        int status = 0;
        while (waitpid(Pid, &status, WNOHANG) == 0) {
            if (Clock::now() > end) {
                kill(Pid, SIGKILL);
                waitpid(Pid, &status, 0);
                Pid = -1;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        Pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // The exit code once the tool has ended, -2 while it runs.
    int TryWait()
    {
        if (Pid <= 0) return -1;
        int status = 0;
        if (waitpid(Pid, &status, WNOHANG) == 0) return -2;
        Pid = -1;
        ReadUntil([](const std::string&) { return false; }, 5000);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // The reader goes away (as "| head" does).
    void CloseOutput()
    {
        if (Fd >= 0) close(Fd);
        Fd = -1;
    }
    void Signal(int sig)
    {
        if (Pid > 0) kill(Pid, sig);
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
    static inline int Counter = 0;
    pid_t Pid = -1;
    int Fd = -1;
    std::string ErrPath;
};

// What the tool printed: the stroke numbers of its stroke lines (in order),
// the totals line and the path it saved to.
struct TPrinted {
    std::vector<int> Strokes;
    std::string Totals;
    std::string Saved;
    int SavedCount = -1;
};

TPrinted Parse(const std::string& out)
{
    TPrinted p;
    std::stringstream s(out);
    const std::regex stroke(R"(^\s*(\d+)\s+\S.*$)");
    const std::regex saved(R"(^Saved (\d+) strokes to (.+)$)");
    std::smatch m;
    for (std::string line; std::getline(s, line);) {
        if (std::regex_match(line, m, saved)) {
            p.SavedCount = std::stoi(m[1]);
            p.Saved = m[2];
        } else if (line.rfind("Totals:", 0) == 0) {
            p.Totals = line;
        } else if (std::regex_match(line, m, stroke)) {
            p.Strokes.push_back(std::stoi(m[1]));
        }
    }
    return p;
}

class CliRow : public ::testing::Test {
protected:
    std::string Home;
    void SetUp() override
    {
        if (std::string(CATCHLINE_CLI).empty()) GTEST_SKIP() << "catchline-cli is not built";
        BuildCatalogues();
        char tmpl[] = "/tmp/catchline-clirow-XXXXXX";
        Home = mkdtemp(tmpl);
    }
    void TearDown() override
    {
        if (!Home.empty()) std::system(("rm -rf '" + Home + "'").c_str());
    }
    // Runs "row ARGS" to its end; the demo at ten times the fast pace (the
    // same recording, ten times the stretch per step).
    static constexpr int kFastPace = 10;
    int Row(const std::vector<std::string>& args, std::string& out, std::string& err, int pace = kFastPace)
    {
        std::vector<std::string> all{"row"};
        all.insert(all.end(), args.begin(), args.end());
        TChild child(all, Home, pace);
        const int code = child.Wait();
        out = child.Out;
        err = child.Err();
        return code;
    }
    // Reads the saved session back and checks it against what was printed.
    void CheckSaved(const TPrinted& p, TTraining& back)
    {
        ASSERT_FALSE(p.Saved.empty());
        ASSERT_TRUE(OpenTraining(p.Saved, back, false)) << p.Saved;
        EXPECT_EQ(back.StrokeCount(), p.SavedCount);
        ASSERT_FALSE(p.Strokes.empty());
        EXPECT_EQ(*std::max_element(p.Strokes.begin(), p.Strokes.end()), back.StrokeCount());
        const TResultsTexts r = ResultsTexts(back);
        EXPECT_NE(p.Totals.find("distance " + r.Totals.Distance + " "), std::string::npos) << p.Totals;
        EXPECT_NE(p.Totals.find("time " + r.Totals.Time + " "), std::string::npos) << p.Totals;
        EXPECT_NE(p.Totals.find("energy " + r.Totals.Energy + " "), std::string::npos) << p.Totals;
        EXPECT_NE(p.Totals.find("strokes " + r.Totals.Strokes), std::string::npos) << p.Totals;
    }
};

TEST_F(CliRow, EachLimitKindEndsTheSessionAndSavesIt)
{
    struct TCase {
        std::string Limit;
        std::function<void(const TTraining&)> Check;
    };
    const std::vector<TCase> cases = {
        {"strokes:12", [](const TTraining& t) { EXPECT_EQ(t.StrokeCount(), 12); }},
        {"distance:300",
         [](const TTraining& t) {
             EXPECT_FLOAT_EQ(t.Totals.Distance, 300.0f);
             EXPECT_LT(t.Strokes[size_t(t.StrokeCount() - 1)].Distance, 300.0f);
         }},
        {"energy:10", [](const TTraining& t) { EXPECT_NEAR(t.Totals.Energy, 10.0f, 1e-3); }},
        {"time:40", [](const TTraining& t) { EXPECT_NEAR(t.Totals.Time, 40.0f, 1e-3); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Limit);
        const std::string file = Home + "/out.stg";
        std::string out, err;
        ASSERT_EQ(Row({"--fast", "--limit", c.Limit, "--out", file}, out, err), 0) << err;
        const TPrinted p = Parse(out);
        EXPECT_EQ(p.Saved, file);
        TTraining back;
        CheckSaved(p, back);
        c.Check(back);
        // One line per stroke, numbered in order.
        for (size_t i = 0; i < p.Strokes.size(); ++i) EXPECT_EQ(p.Strokes[i], int(i) + 1);
        std::remove(file.c_str());
    }
}

TEST_F(CliRow, IntervalsByStrokesWithRest)
{
    const std::string file = Home + "/intervals.stg";
    std::string out, err;
    ASSERT_EQ(Row({"--fast", "--intervals", "3:strokes:10:5", "--out", file}, out, err), 0) << err;
    const TPrinted p = Parse(out);
    TTraining back;
    CheckSaved(p, back);
    // Work 10, rest 5: strokes 11..14 rest, interval 2 starts at stroke 15.
    EXPECT_EQ(back.Settings.LimitType, 4);
    EXPECT_EQ(back.Settings.LimitIntervals, 3);
    ASSERT_GE(back.StrokeCount(), 15);
    for (int k = 11; k <= 14; ++k) EXPECT_EQ(back.Strokes[size_t(k)].IntervalPower, 0) << k;
    EXPECT_EQ(back.Strokes[15].IntervalNumber, 2);
    // Three work periods; the last rest is not rowed.
    EXPECT_EQ(back.StrokeCount(), 40);
    EXPECT_EQ(back.IntervalCount(), 3);
}

TEST_F(CliRow, EndOfTheRecordingSavesToTheUserDataFolder)
{
    std::string out, err;
    ASSERT_EQ(Row({"--fast"}, out, err), 0) << err;
    const TPrinted p = Parse(out);
    // A new file under the (temporary) home, its path printed.
    ASSERT_EQ(p.Saved.rfind(Home + "/", 0), 0u) << p.Saved;
    TTraining back;
    CheckSaved(p, back);
    EXPECT_GT(back.StrokeCount(), 20);
    EXPECT_FLOAT_EQ(back.Totals.Distance, back.Strokes[size_t(back.StrokeCount())].Distance);
    // A second run does not overwrite the first file.
    std::string out2, err2;
    ASSERT_EQ(Row({"--fast", "--limit", "strokes:3"}, out2, err2), 0) << err2;
    const TPrinted p2 = Parse(out2);
    EXPECT_NE(p2.Saved, p.Saved);
    TTraining first;
    ASSERT_TRUE(OpenTraining(p.Saved, first, false));
    EXPECT_EQ(first.StrokeCount(), back.StrokeCount());
}

TEST_F(CliRow, InterruptWhileRowingStillSaves)
{
    const std::string file = Home + "/interrupted.stg";
    // The fast demo at its own pace: its whole recording takes far longer
    // than the wait for two strokes, so the signal comes mid-row.
    TChild child({"row", "--fast", "--out", file}, Home);
    ASSERT_TRUE(child.ReadUntil([](const std::string& out) { return Parse(out).Strokes.size() >= 2; }, 30000))
        << child.Out << child.Err();
    child.Signal(SIGINT);
    ASSERT_EQ(child.Wait(20000), 0) << child.Err();
    const TPrinted p = Parse(child.Out);
    EXPECT_EQ(p.Saved, file);
    TTraining back;
    CheckSaved(p, back);
    EXPECT_GE(back.StrokeCount(), 2);
    // Totals come from the last stroke recorded.
    EXPECT_FLOAT_EQ(back.Totals.Distance, back.Strokes[size_t(back.StrokeCount())].Distance);
    EXPECT_NE(child.Err().find("Interrupted"), std::string::npos);
}

TEST_F(CliRow, TerminateWhileRowingSavesToo)
{
    const std::string file = Home + "/terminated.stg";
    TChild child({"row", "--fast", "--out", file}, Home);
    ASSERT_TRUE(child.ReadUntil([](const std::string& out) { return !Parse(out).Strokes.empty(); }, 30000))
        << child.Out << child.Err();
    child.Signal(SIGTERM);
    ASSERT_EQ(child.Wait(20000), 0) << child.Err();
    const TPrinted p = Parse(child.Out);
    TTraining back;
    CheckSaved(p, back);
}

TEST_F(CliRow, ReaderThatGoesAwayDoesNotLoseTheSession)
{
    const std::string file = Home + "/piped.stg";
    TChild child({"row", "--fast", "--limit", "strokes:60", "--out", file}, Home, kFastPace);
    ASSERT_TRUE(child.ReadUntil([](const std::string& out) { return !Parse(out).Strokes.empty(); }, 30000));
    child.CloseOutput();
    ASSERT_EQ(child.Wait(30000), 0) << child.Err();
    TTraining back;
    ASSERT_TRUE(OpenTraining(file, back, false));
    EXPECT_EQ(back.StrokeCount(), 60);
}

TEST_F(CliRow, UserFileGivesTheRowerAndTheWorkout)
{
    TTraining user;
    ResetTraining(user);
    user.Header = DefaultHeader();
    user.Settings = DefaultSettings();
    user.Settings.Weight = 93;
    user.Settings.LimitType = 0;
    user.Settings.LimitStrokes = 7;
    const std::string path = Home + "/rower.ini";
    ASSERT_EQ(WriteByKind(path, user, 7, ftINI), TWriteResult::Written);
    const std::string file = Home + "/user.stg";
    std::string out, err;
    ASSERT_EQ(Row({"--fast", "--user", path, "--out", file}, out, err), 0) << err;
    TTraining back;
    CheckSaved(Parse(out), back);
    EXPECT_EQ(back.StrokeCount(), 7);
    EXPECT_EQ(back.Settings.Weight, 93);
    // A limit on the command line wins over the file's.
    ASSERT_EQ(Row({"--fast", "--user", path, "--limit", "strokes:3", "--out", file}, out, err), 0) << err;
    ASSERT_TRUE(OpenTraining(file, back, false));
    EXPECT_EQ(back.StrokeCount(), 3);
    EXPECT_EQ(back.Settings.Weight, 93);
    // Garbage is not a user file.
    std::ofstream(Home + "/garbage.ini") << "not a rower at all, just text that is long enough to read";
    EXPECT_EQ(Row({"--fast", "--user", Home + "/garbage.ini", "--out", file}, out, err), 1);
    EXPECT_NE(err.find("not a valid User file"), std::string::npos) << err;
}

TEST_F(CliRow, DeviceOnPseudoTerminalRowsThenGoesAway)
{
    // The tool's own simulator plays the demo recording as VT frames.
    TChild sim({"simulate", "vt", "--speed", "6"}, Home);
    ASSERT_TRUE(sim.ReadUntil([](const std::string& out) { return out.find('\n') != std::string::npos; }, 10000));
    const std::string port = sim.Out.substr(0, sim.Out.find('\n'));
    ASSERT_EQ(port.rfind("/dev/pts/", 0), 0u) << port;
    {
        const std::string file = Home + "/vt.stg";
        std::string out, err;
        ASSERT_EQ(Row({"--source", port, "--type", "1", "--limit", "strokes:4", "--out", file}, out, err, 1), 0) << err;
        const TPrinted p = Parse(out);
        TTraining back;
        CheckSaved(p, back);
        EXPECT_EQ(back.StrokeCount(), 4);
        EXPECT_EQ(back.Header.InterfaceType, 1);
        EXPECT_GT(back.RawSamples.size(), 100u);
    }
    // Rowing again; the device stops mid-row: the strokes so far are kept.
    const std::string file = Home + "/pulled.stg";
    TChild row({"row", "--source", port, "--type", "1", "--out", file}, Home);
    ASSERT_TRUE(row.ReadUntil([](const std::string& out) { return Parse(out).Strokes.size() >= 3; }, 60000))
        << row.Out << row.Err();
    sim.Signal(SIGTERM);
    sim.Wait(5000);
    ASSERT_EQ(row.Wait(30000), 0) << row.Err();
    const TPrinted p = Parse(row.Out);
    TTraining back;
    CheckSaved(p, back);
    EXPECT_GE(back.StrokeCount(), 3);
    EXPECT_FLOAT_EQ(back.Totals.Distance, back.Strokes[size_t(back.StrokeCount())].Distance);
    EXPECT_FALSE(row.Err().empty());  // the interface error was reported
}

// A measuring interface played by the test itself on a pseudo-terminal, so
// that it can also send what no simulator sends: line noise, a stall.
class TPtyDevice {
public:
    TPtyDevice()
    {
        // Non-blocking: once the program has closed the port nobody reads,
        // and a blocking write would wait for ever.
        Master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        // Not inherited by the program under test, or closing it here would
        // not hang up the line.
        if (Master >= 0) fcntl(Master, F_SETFD, FD_CLOEXEC);
        if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0) return;
        Port = ptsname(Master);
    }
    ~TPtyDevice()
    {
        if (Master >= 0) close(Master);
    }
    // Waits until a program has opened the port (the master stops hanging up).
    bool WaitForOpen(int ms)
    {
        const int slave = open(Port.c_str(), O_RDWR | O_NOCTTY);
        if (slave >= 0) close(slave);
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end) {
            pollfd p{Master, 0, 0};
            poll(&p, 1, 0);
            if (!(p.revents & POLLHUP)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    // Sends until everything is written or the program has closed the port.
    void Send(const uint8_t* data, size_t size)
    {
        const auto end = Clock::now() + std::chrono::seconds(20);
        while (size > 0 && Clock::now() < end) {
            const ssize_t n = write(Master, data, size);
            if (n > 0) {
                data += n;
                size -= size_t(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return;
            } else {
                pollfd p{Master, 0, 0};
                poll(&p, 1, 0);
                if (p.revents & POLLHUP) return;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }
    // Strokes of a steady rower, one frame per pulse at speed times real
    // time: a drive of 50 pulses speeds the flywheel from 15 to 11 ms per
    // pulse (about 0.65 s), a recovery of 110 slows it back (about 1.4 s).
    void Row(int strokes, double speed)
    {
        const double down = std::pow(0.011 / 0.015, 1.0 / 50), up = std::pow(0.015 / 0.011, 1.0 / 110);
        double dt = 0.015;
        auto due = Clock::now();
        for (int s = 0; s < strokes; ++s) {
            for (int i = 0; i < 160; ++i) {
                dt *= i < 50 ? down : up;
                const auto f = EncodeVTFrame(vtpVtw, uint32_t(dt * 614000), 150);
                due += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(dt / speed));
                std::this_thread::sleep_until(due);
                Send(f.data(), f.size());
            }
        }
    }
    int Master = -1;
    std::string Port;
};

// Every stroke saved is one a rower can row: no drive or recovery (after the
// first stroke) shorter than a quarter of a second.
void ExpectRowableStrokes(const TTraining& t)
{
    for (int k = 1; k <= t.StrokeCount(); ++k) {
        const TStgStrokeData& s = t.Strokes[size_t(k)];
        const float drive = s.DriveTime, ratio = s.RecoverRatio;
        EXPECT_GE(drive, 0.25f) << "stroke " << k;
        if (k > 1) {
            EXPECT_GE(drive * ratio, 0.25f) << "stroke " << k << ", recovery ratio " << ratio;
        }
    }
}

TEST_F(CliRow, LineNoiseAndAStallAreNoStrokes)
{
    // Traced, so that the strokes dropped are seen.
    setenv("CATCHLINE_TRACE", "1", 1);
    struct TUnset {
        ~TUnset() { unsetenv("CATCHLINE_TRACE"); }
    } unset;
    {
        SCOPED_TRACE("garbage burst");
        TPtyDevice dev;
        ASSERT_FALSE(dev.Port.empty());
        const std::string file = Home + "/noise.stg";
        TChild row({"row", "--source", dev.Port, "--type", "1", "--out", file}, Home);
        ASSERT_TRUE(dev.WaitForOpen(10000));
        dev.Row(4, 4.0);
        // 100,000 bytes of noise, as fast as the line takes them: the
        // protocol check ends the session, the strokes so far are saved.
        std::mt19937 random(18);
        std::vector<uint8_t> noise(100000);
        for (auto& b : noise) b = uint8_t(random());
        dev.Send(noise.data(), noise.size());
        ASSERT_EQ(row.Wait(30000), 0) << row.Err();
        EXPECT_NE(row.Err().find("Incorrect interface protocol"), std::string::npos) << row.Err();
        TTraining back;
        CheckSaved(Parse(row.Out), back);
        EXPECT_EQ(back.StrokeCount(), 4);
        ExpectRowableStrokes(back);
    }
    {
        SCOPED_TRACE("stall");
        TPtyDevice dev;
        ASSERT_FALSE(dev.Port.empty());
        const std::string file = Home + "/stall.stg";
        TChild row({"row", "--source", dev.Port, "--type", "1", "--out", file}, Home);
        ASSERT_TRUE(dev.WaitForOpen(10000));
        dev.Row(3, 4.0);
        // The device sends nothing for a while, then the rower goes on.
        std::this_thread::sleep_for(std::chrono::seconds(5));
        dev.Row(3, 4.0);
        close(dev.Master);
        dev.Master = -1;
        ASSERT_EQ(row.Wait(30000), 0) << row.Err();
        TTraining back;
        CheckSaved(Parse(row.Out), back);
        EXPECT_EQ(back.StrokeCount(), 6);
        ExpectRowableStrokes(back);
    }
}

TEST_F(CliRow, NothingRecordedWritesNothingAndFails)
{
    // A session already at --out is not replaced by an empty one, whatever
    // kept the tool from recording: a port that cannot be opened (the error
    // comes while opening, so no wait for data that cannot come), a port that
    // never sends (until Ctrl+C), garbage instead of frames.
    const std::string file = Home + "/kept.stg";
    std::string out, err;
    ASSERT_EQ(Row({"--fast", "--limit", "strokes:3", "--out", file}, out, err), 0) << err;
    std::ifstream original(file, std::ios::binary);
    const std::string before((std::istreambuf_iterator<char>(original)), std::istreambuf_iterator<char>());
    auto unchanged = [&] {
        std::ifstream in(file, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()) == before;
    };
    {
        SCOPED_TRACE("missing port");
        TChild child({"row", "--source", Home + "/ttyNOPE", "--type", "1", "--out", file}, Home);
        EXPECT_EQ(child.Wait(20000), 1) << child.Err();
        EXPECT_NE(child.Err().find("No such file or directory"), std::string::npos) << child.Err();
        EXPECT_NE(child.Err().find("nothing recorded: no data came from"), std::string::npos) << child.Err();
        EXPECT_EQ(Parse(child.Out).Saved, "");
        EXPECT_TRUE(unchanged());
    }
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string port = ptsname(master);
    {
        SCOPED_TRACE("silent port");
        TChild child({"row", "--source", port, "--type", "1", "--out", file}, Home);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        child.Signal(SIGINT);
        EXPECT_EQ(child.Wait(20000), 1) << child.Err();
        EXPECT_NE(child.Err().find("nothing recorded"), std::string::npos) << child.Err();
        EXPECT_TRUE(unchanged());
    }
    {
        SCOPED_TRACE("garbage");
        TChild child({"row", "--source", port, "--type", "1", "--out", file}, Home);
        // Bytes in which no frame of the interface's protocol starts. Written
        // without blocking: once the tool has gone nobody reads the port.
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        const std::string garbage(4096, '\0');
        const auto end = Clock::now() + std::chrono::seconds(20);
        int code = -2;
        while (code == -2 && Clock::now() < end) {
            (void)!write(master, garbage.data(), garbage.size());
            code = child.TryWait();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (code == -2) code = child.Wait(20000);
        EXPECT_EQ(code, 1) << child.Err();
        EXPECT_NE(child.Err().find("Incorrect interface protocol"), std::string::npos) << child.Err();
        EXPECT_NE(child.Err().find("nothing recorded"), std::string::npos) << child.Err();
        EXPECT_TRUE(unchanged());
    }
    close(master);
}

TEST_F(CliRow, AFailedSaveSavesWhereItCanAndFails)
{
    // --out below a file (a folder that cannot be made): the session goes to
    // the user data folder, the tool says where and exits with 1.
    std::ofstream(Home + "/plain").put('x');
    std::string out, err;
    EXPECT_EQ(Row({"--fast", "--limit", "strokes:3", "--out", Home + "/plain/x.stg"}, out, err), 1);
    EXPECT_NE(err.find("Not a directory"), std::string::npos) << err;
    EXPECT_NE(err.find("could not be saved"), std::string::npos) << err;
    EXPECT_NE(out.find("Totals:"), std::string::npos);
    TPrinted p = Parse(out);
    EXPECT_EQ(p.Saved, Home + "/Documents/Catchline Rowing/Catchline/x.stg");
    EXPECT_NE(err.find(p.Saved), std::string::npos) << err;
    TTraining back;
    CheckSaved(p, back);
    EXPECT_EQ(back.StrokeCount(), 3);
    // The user data folder cannot be made either (a file is in its place):
    // the temporary folder; a file of that name there is not replaced.
    std::system(("rm -rf '" + Home + "/Documents' && touch '" + Home + "/Documents'").c_str());
    std::system(("mkdir -p '" + Home + "/tmp' && touch '" + Home + "/tmp/x.stg'").c_str());
    EXPECT_EQ(Row({"--fast", "--limit", "strokes:4", "--out", Home + "/plain/x.stg"}, out, err), 1);
    p = Parse(out);
    EXPECT_EQ(p.Saved, Home + "/tmp/x (2).stg") << err;
    CheckSaved(p, back);
    EXPECT_EQ(back.StrokeCount(), 4);
    EXPECT_EQ(FileSizeOf(Home + "/tmp/x.stg"), 0);
    // Without --out the new file goes to the user data folder, which fails
    // here: the temporary folder again.
    EXPECT_EQ(Row({"--fast", "--limit", "strokes:2"}, out, err), 1);
    p = Parse(out);
    EXPECT_EQ(p.Saved.rfind(Home + "/tmp/Row", 0), 0u) << p.Saved << err;
    CheckSaved(p, back);
}

TEST_F(CliRow, BadArgumentsAreRefusedClearly)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--limit", "laps:3"}, "unknown limit kind"},
        {{"--limit", "strokes"}, "KIND:VALUE"},
        {{"--limit", "strokes:-4"}, "not a non-negative number"},
        {{"--limit", "distance:abc"}, "not a non-negative number"},
        {{"--intervals", "3:strokes:10"}, "COUNT:BY:WORK:REST"},
        {{"--intervals", "3:laps:10:0"}, "BY must be"},
        {{"--intervals", "x:strokes:10:0"}, "whole numbers"},
        {{"--type", "9"}, "--type"},
        {{"--type", "0"}, "--type"},
        {{"--out"}, "needs a value"},
        {{"--bogus"}, "unknown argument"},
        {{"--out", "session.ini"}, "training file (.stg)"},
        {{"--user", "/nonexistent/user.ini"}, "not a valid User file"},
    };
    for (const auto& [args, expected] : cases) {
        std::string out, err;
        const int code = Row(args, out, err);
        EXPECT_NE(code, 0) << args[0];
        EXPECT_NE(code, -1) << args[0];  // an exit, not a crash or a hang
        EXPECT_NE(err.find(expected), std::string::npos) << err;
        EXPECT_EQ(Parse(out).Saved, "");
    }
}

}  // namespace
