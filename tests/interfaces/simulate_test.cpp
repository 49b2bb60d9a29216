// catchline-cli simulate as the device: the interfaces open the pseudo-terminal
// it prints and row through its frames; stopping the simulator pulls the cable.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "interfaces/ot_interface.h"
#include "interfaces/vt_interface.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/testutil_interfaces.h"
#include "util/dialogs.h"

namespace {

// Runs the simulator and reads the slave path it prints.
class TSimulator {
public:
    explicit TSimulator(const std::vector<std::string>& args)
    {
        int out[2];
        if (pipe(out) != 0) return;
        Pid = fork();
        if (Pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(CATCHLINE_CLI));
            argv.push_back(const_cast<char*>("simulate"));
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(CATCHLINE_CLI, argv.data());
            _exit(127);
        }
        close(out[1]);
        FILE* f = fdopen(out[0], "r");
        char line[256] = {};
        if (f && std::fgets(line, sizeof line, f)) Path = std::string(line, strcspn(line, "\n"));
        if (f) std::fclose(f);
    }
    ~TSimulator() { Stop(); }
    void Stop()
    {
        if (Pid <= 0) return;
        kill(Pid, SIGTERM);
        int status = 0;
        waitpid(Pid, &status, 0);
        Pid = -1;
    }
    int Wait()
    {
        int status = 0;
        if (Pid > 0) waitpid(Pid, &status, 0);
        Pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Path;
    pid_t Pid = -1;
};

class SimulateTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureApp(); }
    TWaitPace Pace{10};
};

TEST_F(SimulateTest, VTFramesFromTheSimulatorBecomeStrokes)
{
    const std::string file = WriteRawFile("row.dat", RowingTicks(8), 130);
    TSimulator sim({"vt", "--file", file, "--speed", "16"});
    ASSERT_EQ(sim.Path.rfind("/dev/pts/", 0), 0u);
    std::vector<TStgStrokeData> strokes;
    std::vector<std::string> errors;
    TVTInterface vt;
    vt.ProtocolSet = {vtpVtw};
    vt.DoCalculate = true;
    vt.OnStrokeData = [&](TInterface*, TStgStrokeData& d) { strokes.push_back(d); };
    vt.OnError = [&](TInterface*, const std::string& e) { errors.push_back(e); };
    vt.Open(1, sim.Path);
    ASSERT_TRUE(WaitFor([&] { return !strokes.empty() && strokes.back().StrokeNumber >= 3; }, 15000));
    EXPECT_EQ(vt.State(), vtsOpened);
    EXPECT_NEAR(vt.HeartRaw(), 130, 1);  // sent as a heart period of 1/1200 s
    // The simulator goes away while rowing: one error, closed, strokes kept.
    const size_t kept = strokes.size();
    sim.Stop();
    ASSERT_TRUE(WaitFor([&] { return vt.State() == vtsClosed; }, 5000));
    Pump(100);
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_GE(strokes.size(), kept);
}

TEST_F(SimulateTest, VT3AndSliderVariants)
{
    TScriptedDialogs dialogs;  // the simulator ends with its recording: a pulled cable
    TDialogScope scope(dialogs);
    const std::string file = WriteRawFile("row3.dat", RowingTicks(3));
    {
        TSimulator sim({"vt3", "--file", file, "--speed", "16"});
        TVXInterface vx;
        int raw = 0;
        vx.OnRawData = [&](TInterface*, double, int, int) { ++raw; };
        vx.Open(1, sim.Path);
        ASSERT_TRUE(WaitFor([&] { return raw > 100; }, 10000));
        EXPECT_EQ(vx.State(), vtsOpened);
        // The simulator sends VT3W frames only: taking them for VTW frames is a fault.
        EXPECT_EQ(vx.Protocol, vtpVT3W);
    }
    {
        TSimulator sim({"od", "--file", file, "--speed", "16"});
        TODInterface od;
        int raw = 0;
        od.OnRawData = [&](TInterface*, double, int, int) { ++raw; };
        od.Open(1, sim.Path);
        ASSERT_TRUE(WaitFor([&] { return raw > 100; }, 10000));
        EXPECT_EQ(od.State(), vtsOpened);
        EXPECT_EQ(od.Protocol, vtpOTDebug);
    }
}

TEST_F(SimulateTest, OTMWorkoutFromTheSimulator)
{
    TScriptedDialogs dialogs;
    TDialogScope scope(dialogs);
    const std::string file = WriteRawFile("otm.dat", RowingTicks(6));
    TSimulator sim({"ot", "--file", file, "--speed", "32"});
    TOTInterface ot;
    std::vector<TStgStrokeData> strokes;
    int curves = 0;
    bool finished = false;
    ot.OnStrokeData = [&](TInterface*, TStgStrokeData& d) { strokes.push_back(d); };
    ot.OnForceCurve = [&](TInterface*, TStgForceCurve&) { ++curves; };
    ot.OnWorkoutFinished = [&](TInterface*, TStgWorkout&) { finished = true; };
    ot.Open(1, sim.Path);
    EXPECT_GE(int(ot.State()), int(vtsWorkoutStarted));
    ASSERT_TRUE(WaitFor([&] { return finished; }, 15000));
    EXPECT_GE(strokes.size(), 4u);
    EXPECT_EQ(curves, int(strokes.size()));
    EXPECT_TRUE(WaitFor([&] { return ot.State() == vtsClosed; }, 3000));
    EXPECT_TRUE(dialogs.Messages.empty());
    EXPECT_EQ(sim.Wait(), 0);
}

TEST_F(SimulateTest, BadArgumentsAndFilesAreRefused)
{
    const std::string folder = TempFolder();
    FILE* f = std::fopen((folder + "bad.dat").c_str(), "wb");
    std::fputs("not a recording", f);
    std::fclose(f);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"xx"}, {"vt", "--speed", "0"}, {"vt", "--file", folder + "bad.dat"}, {"vt", "--file", folder + "none"}}) {
        TSimulator sim(args);
        EXPECT_TRUE(sim.Path.empty());
        EXPECT_NE(sim.Wait(), 0);
    }
}

}  // namespace
