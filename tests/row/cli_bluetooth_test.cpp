// catchline-cli with Bluetooth devices, run as a rower runs it: captures of
// the demo machine and strap written by simulate, rowed with row --type 7
// --heart, the saved session's splits and zones in dump --values; capture on
// a computer without a radio; bad arguments.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include <fstream>

#include <nlohmann/json.hpp>

#include "tests/support/testutil_interfaces.h"

#ifndef CATCHLINE_CLI
#define CATCHLINE_CLI ""
#endif

namespace {

struct TRun {
    int Code = -1;
    std::string Out, Err;
};

TRun Cli(const std::vector<std::string>& args, const std::string& home, int ms = 120000)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", QString::fromStdString(home));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(home + "/.config"));
    env.insert("XDG_DATA_HOME", QString::fromStdString(home + "/.local/share"));
    p.setProcessEnvironment(env);
    QStringList list;
    for (const auto& a : args) list << QString::fromStdString(a);
    p.start(CATCHLINE_CLI, list);
    TRun r;
    if (!p.waitForFinished(ms)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.Code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.Out = p.readAllStandardOutput().toStdString();
    r.Err = p.readAllStandardError().toStdString();
    return r;
}

class CliBluetooth : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (std::string(CATCHLINE_CLI).empty()) GTEST_SKIP() << "built without catchline-cli";
        EnsureApp();
        Home = TempFolder();
    }
    std::string Home;
};

}  // namespace

TEST_F(CliBluetooth, SimulatedMachineAndStrapRowedToSplitsAndZones)
{
    const std::string ftms = Home + "/rower.txt", hrm = Home + "/strap.txt", out = Home + "/row.stg";
    TRun r = Cli({"simulate", "ftms", "--out", ftms}, Home);
    ASSERT_EQ(r.Code, 0) << r.Err;
    r = Cli({"simulate", "hrm", "--out", hrm}, Home);
    ASSERT_EQ(r.Code, 0) << r.Err;

    r = Cli({"row", "--type", "7", "--source", "capture:" + ftms, "--heart", "capture:" + hrm, "--limit",
             "distance:1200", "--fast", "--max-heart", "180", "--out", out},
            Home);
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_NE(r.Out.find("Splits (500 m)"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("  #3 "), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("Heart-rate zones (maximum 180):"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("Zone 1 (90-107)"), std::string::npos) << r.Out;

    r = Cli({"dump", out, "--values", "--max-heart", "180"}, Home);
    ASSERT_EQ(r.Code, 0) << r.Err;
    const auto j = nlohmann::json::parse(r.Out);
    EXPECT_EQ(j["Header"]["InterfaceType"], 7);
    EXPECT_FLOAT_EQ(j["Totals"]["Distance"].get<float>(), 1200.0f);
    // 500 m, 500 m and what is left (200 m).
    ASSERT_EQ(j["SplitTexts"].size(), 3u);
    EXPECT_EQ(j["SplitTexts"][0][3], "500.0");
    EXPECT_EQ(j["SplitTexts"][2][3], "200.0");
    EXPECT_EQ(j["Zones"]["MaxHeartRate"], 180);
    double zoned = 0;
    for (const auto& s : j["Zones"]["Seconds"]) zoned += s.get<double>();
    zoned += j["Zones"]["Below"].get<double>();
    EXPECT_GT(zoned, 200);  // the time rowed with a pulse
    // Every stroke after the strap connected has the strap's pulse.
    const auto& strokes = j["Strokes"];
    for (size_t k = 5; k < strokes.size(); ++k) EXPECT_GT(strokes[k]["Pulse"].get<float>(), 60.0f) << k;
}

TEST_F(CliBluetooth, NoRadioAndBadArguments)
{
    // Capturing needs a Bluetooth adapter; there is none here.
    TRun r = Cli({"capture", "C4:7F:51:00:12:34", "--out", Home + "/c.txt", "--seconds", "2"}, Home);
    EXPECT_EQ(r.Code, 1);
    EXPECT_NE(r.Err.find("No Bluetooth adapter"), std::string::npos) << r.Err;
    EXPECT_FALSE(std::ifstream(Home + "/c.txt").good());
    EXPECT_EQ(Cli({"capture", "not-an-address", "--out", Home + "/c.txt"}, Home).Code, 2);
    EXPECT_EQ(Cli({"capture", "C4:7F:51:00:12:34"}, Home).Code, 2);
    // Rowing a machine without a radio ends with a clear message and nothing saved over a file.
    r = Cli({"row", "--type", "7", "--source", "C4:7F:51:00:12:34", "--out", Home + "/x.stg"}, Home);
    EXPECT_NE(r.Err.find("No Bluetooth adapter"), std::string::npos) << r.Err;
    r = Cli({"row", "--heart", "COM1"}, Home);
    EXPECT_EQ(r.Code, 2);
    EXPECT_NE(r.Err.find("--heart"), std::string::npos);
    EXPECT_EQ(Cli({"row", "--type", "8"}, Home).Code, 2);
    EXPECT_EQ(Cli({"simulate", "ftms"}, Home).Code, 2);  // no --out
    r = Cli({"row", "--type", "7", "--source", "capture:" + Home + "/missing.txt", "--fast"}, Home);
    EXPECT_NE(r.Err.find("not found"), std::string::npos) << r.Err;
}
