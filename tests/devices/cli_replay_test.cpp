// catchline-cli replay, run as the user runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "interfaces/devices/demo_data.h"
#include "util/paths.h"

#ifndef CATCHLINE_CLI
#define CATCHLINE_CLI ""
#endif

namespace {

struct TRun {
    int Code = -1;
    std::string Out, Err;
};

class Replay : public ::testing::Test {
protected:
    std::string Dir;
    void SetUp() override
    {
        if (std::string(CATCHLINE_CLI).empty()) GTEST_SKIP() << "catchline-cli is not built";
        char tmpl[] = "/tmp/catchline-replay-XXXXXX";
        Dir = mkdtemp(tmpl);
    }
    void TearDown() override
    {
        if (!Dir.empty()) std::system(("rm -rf '" + Dir + "'").c_str());
    }
    static std::string Slurp(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    TRun Run(const std::string& args)
    {
        const std::string cmd =
            std::string("'") + CATCHLINE_CLI + "' replay " + args + " >'" + Dir + "/out' 2>'" + Dir + "/err'";
        TRun r;
        const int status = std::system(cmd.c_str());
        r.Code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.Out = Slurp(Dir + "/out");
        r.Err = Slurp(Dir + "/err");
        return r;
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        const std::string p = Dir + "/" + name;
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return p;
    }
    static std::vector<std::string> Lines(const std::string& text)
    {
        std::vector<std::string> out;
        std::stringstream s(text);
        for (std::string line; std::getline(s, line);) out.push_back(line);
        return out;
    }
};

const char* const kHeader =
    "StrokeNumber,Power,AveragePower,StrokeRate,Target,Time,StrokeLength,Distance,Time500,Energy,EnergySum,Pulse,"
    "WorkPerPulse,PeakForce,PeakForcePosition,PeakForceRelative,RecoverRatio,KValue,IntervalNumber,"
    "IntervalCountdown,IntervalPower,DriveTime,DistancePerStroke";

}  // namespace

TEST_F(Replay, BuiltInRecordingAsCsv)
{
    const TRun r = Run("");
    ASSERT_EQ(r.Code, 0) << r.Err;
    const auto lines = Lines(r.Out);
    ASSERT_GT(lines.size(), 600u);
    EXPECT_EQ(lines[0], kHeader);
    int last = 0, standstill = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(std::count(lines[i].begin(), lines[i].end(), ','), 22) << i;
        const int number = std::atoi(lines[i].c_str());
        EXPECT_GE(number, last);
        if (number == last) ++standstill;  // records while the flywheel stands still
        last = number;
    }
    EXPECT_GE(standstill, 5);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.Err, m,
                                  std::regex("strokes (\\d+), duration 0:(29|30|31):\\d\\d, mean power (\\d+\\.\\d) W, "
                                             "mean rate (\\d+\\.\\d) /min, mean 500 m split (\\d):(\\d\\d)\\.\\d")))
        << r.Err;
    EXPECT_EQ(std::stoi(m[1]), last);
    EXPECT_GT(std::stod(m[3]), 100);
    EXPECT_LT(std::stod(m[3]), 300);
    EXPECT_GT(std::stod(m[4]), 15);
    EXPECT_LT(std::stod(m[4]), 35);
    // The same recording given as a file gives the same output.
    const auto& data = BuiltInDemoData();
    const TRun f = Run("'" + Write("copy.dat", data) + "'");
    EXPECT_EQ(f.Out, r.Out);
    EXPECT_EQ(Run("DEMO").Out, r.Out);
}

TEST_F(Replay, JsonLinesAndWeight)
{
    const TRun r = Run("DEMO --json --weight 100");
    ASSERT_EQ(r.Code, 0) << r.Err;
    const auto lines = Lines(r.Out);
    ASSERT_GT(lines.size(), 600u);
    const auto first = nlohmann::json::parse(lines[0]);
    EXPECT_EQ(first.size(), 23u);
    EXPECT_EQ(first["StrokeNumber"], 1);
    EXPECT_EQ(first["Power"], 0);
    for (const auto& line : lines) ASSERT_TRUE(nlohmann::json::parse(line).is_object());
    // A heavier rower is slower at the same power.
    const TRun light = Run("--json --weight 60");
    const auto a = nlohmann::json::parse(Lines(light.Out)[100]);
    const auto b = nlohmann::json::parse(lines[100]);
    EXPECT_EQ(a["Power"], b["Power"]);
    EXPECT_LT(a["Time500"].get<double>(), b["Time500"].get<double>());
}

TEST_F(Replay, BadInput)
{
    TRun r = Run("'" + Dir + "/missing.dat'");
    EXPECT_EQ(r.Code, 1);
    EXPECT_NE(r.Err.find("DemoOpen 1 : "), std::string::npos) << r.Err;
    EXPECT_EQ(r.Out, "");
    r = Run("'" + Write("seven.dat", {'M', 'I', 'L', ' ', 0, 0, 0}) + "'");
    EXPECT_EQ(r.Code, 1);
    EXPECT_NE(r.Err.find("DemoOpen 1 : Filesize"), std::string::npos) << r.Err;
    r = Run("'" + Write("magic.dat", {'X', 'I', 'L', ' ', 0, 0, 0, 0}) + "'");
    EXPECT_NE(r.Err.find("DemoOpen 1 : Invalid file"), std::string::npos) << r.Err;
    EXPECT_EQ(Run("--weight").Code, 2);
    EXPECT_EQ(Run("--weight heavy").Code, 2);
    EXPECT_EQ(Run("--weight 0").Code, 2);
    EXPECT_EQ(Run("--fast").Code, 2);
    EXPECT_EQ(Run("a.dat b.dat").Code, 2);
    // An empty recording: only the header and a summary of nothing.
    r = Run("'" + Write("empty.dat", {'M', 'I', 'L', ' ', 0, 7, 9, 0}) + "'");
    EXPECT_EQ(r.Code, 0);
    EXPECT_EQ(Lines(r.Out).size(), 1u);
    EXPECT_NE(r.Err.find("strokes 0, duration 0:00:00"), std::string::npos) << r.Err;
}

TEST_F(Replay, TinySampleIsReported)
{
    std::vector<TRawDataSample> samples(3000, TRawDataSample{7000, 30});
    samples[1500].Ticks = 1;
    const TRun r = Run("'" + Write("tiny.dat", RawDataBytes(0, samples)) + "'");
    EXPECT_EQ(r.Code, 0);
    EXPECT_NE(r.Err.find("taken as one pulse"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("1 samples bounded"), std::string::npos) << r.Err;
}
