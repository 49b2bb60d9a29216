// catchline-cli's file commands, run as the user runs them.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <regex>

#include "core/catalogue.h"
#include "core/intervals.h"
#include "core/values.h"
#include "files/training_file.h"
#include "files/training_io.h"
#include "testutil_files.h"
#include "util/paths.h"
#include "util/text.h"

// Built without the tools, there is nothing to run.
#ifndef CATCHLINE_CLI
#define CATCHLINE_CLI ""
#endif

namespace {

struct TRun {
    int Code = -1;
    std::string Out;
    std::string Err;
};

std::string Quote(const std::string& s) { return "'" + ReplaceAll(s, "'", "'\\''") + "'"; }

std::string Slurp(const std::string& path)
{
    auto b = FileBytes(path);
    return std::string(b.begin(), b.end());
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (std::string(CATCHLINE_CLI).empty()) GTEST_SKIP() << "catchline-cli is not built";
    }
    TTempDir Dir;

    // Runs the tool; env goes before it (variables, or a shell command and
    // ";"), standard output to stdoutTo when given.
    TRun Run(const std::vector<std::string>& args, const std::string& env = "", const std::string& stdoutTo = "")
    {
        std::string cmd = env + " " + Quote(CATCHLINE_CLI);
        for (const auto& a : args) cmd += " " + Quote(a);
        cmd += " >" + Quote(stdoutTo.empty() ? Dir / ".out" : stdoutTo) + " 2>" + Quote(Dir / ".err");
        TRun r;
        int status = std::system(cmd.c_str());
        r.Code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.Out = Slurp(Dir / ".out");
        r.Err = Slurp(Dir / ".err");
        std::remove((Dir / ".out").c_str());
        std::remove((Dir / ".err").c_str());
        return r;
    }

    TTraining Open(const std::string& path)
    {
        TTraining t;
        EXPECT_TRUE(OpenTraining(path, t, false)) << path;
        return t;
    }
};

// Bytes of two training files equal except the version and the fields a save
// through a given path changes (file name, date and size of the save).
void ExpectSameExceptSaveFields(std::vector<uint8_t> a, std::vector<uint8_t> b)
{
    ASSERT_EQ(a.size(), b.size());
    auto mask = [](std::vector<uint8_t>& v) {
        std::fill(v.begin() + 4, v.begin() + 8, 0);
        const size_t h = 15;
        std::fill(v.begin() + h + offsetof(TTrainingHeader, FileName),
                  v.begin() + h + offsetof(TTrainingHeader, FileType), 0);
    };
    mask(a);
    mask(b);
    EXPECT_EQ(a, b);
}

}  // namespace

TEST_F(Cli, DumpPrintsEverySlotAndRoundTripsFloats)
{
    const std::string path = DataFile("training/sample.stg");
    TRun r = Run({"dump", path});
    ASSERT_EQ(r.Code, 0) << r.Err;
    auto j = nlohmann::json::parse(r.Out);
    TTraining t = Open(path);
    EXPECT_EQ(j["Magic"], "MIL ");
    EXPECT_EQ(j["ProgramVersion"], 0x09000001);
    EXPECT_EQ(j["Header"]["Title"], "Intervals 4 x 1 min");
    EXPECT_EQ(j["Header"]["Name"], "Eva Lindqvist");
    EXPECT_EQ(j["Header"]["FileName"], path);
    EXPECT_TRUE(std::regex_match(j["Header"]["Guid"].get<std::string>(),
                                 std::regex("\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}")));
    EXPECT_EQ(j["Header"]["DateTime"].get<double>(), t.Header.DateTime);
    EXPECT_EQ(j["Settings"]["LimitType"], 4);
    EXPECT_EQ(j["Settings"]["WorkTime"], 60);
    ASSERT_EQ(j["Strokes"].size(), 201u);
    ASSERT_EQ(j["Curves"].size(), 201u);
    for (size_t k = 0; k < 201; ++k) {
        const auto& s = j["Strokes"][k];
        ASSERT_EQ(s["StrokeNumber"], t.Strokes[k].StrokeNumber);
        ASSERT_EQ(s["Power"].get<float>(), t.Strokes[k].Power) << k;
        ASSERT_EQ(s["Time"].get<float>(), t.Strokes[k].Time) << k;
        ASSERT_EQ(s["PeakForceRelative"].get<float>(), t.Strokes[k].PeakForceRelative) << k;
        ASSERT_EQ(j["Curves"][k]["Samples"].size(), 80u);
        ASSERT_EQ(j["Curves"][k]["Samples"][20], t.Curves[k].Samples[20]);
    }
    EXPECT_EQ(j["Intervals"].size(), 4u);
    EXPECT_EQ(j["Intervals"][1]["Number"], 2);
    EXPECT_EQ(j["Intervals"][1]["Stroke"]["StrokeNumber"], t.Intervals[1].Stroke.StrokeNumber);
    EXPECT_EQ(j["Intervals"][1]["Curve"]["Samples"].size(), 80u);
    ASSERT_EQ(j["RawSamples"].size(), 2001u);
    EXPECT_EQ(j["RawSamples"][0], nlohmann::json::array({0, 0}));
    EXPECT_EQ(j["RawSamples"][7][0], t.RawSamples[7].Value);
    EXPECT_EQ(j["RawSamples"][7][1], t.RawSamples[7].Flag);
    EXPECT_EQ(j["Totals"]["Distance"].get<float>(), t.Totals.Distance);
    EXPECT_FALSE(j.contains("StrokeTexts"));
}

TEST_F(Cli, DumpValues)
{
    const std::string path = DataFile("training/sample.stg");
    TRun r = Run({"dump", "--values", path});
    ASSERT_EQ(r.Code, 0) << r.Err;
    auto j = nlohmann::json::parse(r.Out);
    TTraining t = Open(path);
    ASSERT_EQ(j["StrokeTexts"].size(), 201u);
    for (size_t k : {size_t(0), size_t(1), size_t(100), size_t(200)}) {
        ASSERT_EQ(j["StrokeTexts"][k].size(), 42u);
        for (int i = 0; i < 42; ++i)
            EXPECT_EQ(j["StrokeTexts"][k][size_t(i)], StrokeValueText(t.Strokes[k], i, t.Settings)) << k << " " << i;
    }
    ASSERT_EQ(j["IntervalTexts"].size(), 4u);
    ASSERT_EQ(j["IntervalTexts"][3].size(), 22u);
    EXPECT_EQ(j["IntervalTexts"][3][3], IntervalValueText(t.Intervals[3], 3));
    ASSERT_EQ(j["TotalTexts"].size(), 7u);
    EXPECT_EQ(j["TotalTexts"][4], TotalValueText(t, 4));
}

TEST_F(Cli, DumpHeaderOnly)
{
    TRun r = Run({"dump", DataFile("training/old_header.stg"), "--header"});
    ASSERT_EQ(r.Code, 0) << r.Err;
    auto j = nlohmann::json::parse(r.Out);
    EXPECT_EQ(j["Version"], 0x00080400);
    EXPECT_EQ(j["Header"]["Title"], "Old title");
    EXPECT_EQ(j["Header"]["CurveSource"], 1);
    EXPECT_FALSE(j.contains("Strokes"));
    r = Run({"dump", "--header", DataFile("brax/session.bxs")});
    ASSERT_EQ(r.Code, 0) << r.Err;
    j = nlohmann::json::parse(r.Out);
    EXPECT_EQ(j["Version"], 0);
    EXPECT_EQ(j["Header"]["OriginalType"], 10);
    EXPECT_EQ(j["Header"]["Title"], "session");
}

TEST_F(Cli, DumpOfBadFiles)
{
    const std::string bad = DataFile("training/truncated_record.stg");
    TRun r = Run({"dump", bad});
    EXPECT_EQ(r.Code, 1);
    EXPECT_TRUE(r.Out.empty());
    EXPECT_NE(r.Err.find("Error reading file \"" + bad + "\""), std::string::npos) << r.Err;
    r = Run({"dump", Dir / "missing.stg"});
    EXPECT_EQ(r.Code, 1);
    EXPECT_NE(r.Err.find("not found"), std::string::npos);
    r = Run({"dump", "--header", DataFile("user/long.ini")});
    EXPECT_EQ(r.Code, 1);
    EXPECT_NE(r.Err.find("Error reading header of file"), std::string::npos);
    r = Run({"dump"});
    EXPECT_EQ(r.Code, 2);
}

TEST_F(Cli, SaveRoundTripsATrainingFile)
{
    for (const char* name : {"training/current.stg", "training/sample.stg"}) {
        SCOPED_TRACE(name);
        const std::string out = Dir / "again.stg";
        TRun r = Run({"save", DataFile(name), out});
        ASSERT_EQ(r.Code, 0) << r.Err;
        ExpectSameExceptSaveFields(FileBytes(DataFile(name)), FileBytes(out));
        TTraining t = Open(out);
        EXPECT_EQ(t.Header.FileName.Text(), out);
        EXPECT_EQ(Dir.Entries(), std::vector<std::string>{"again.stg"});
    }
}

TEST_F(Cli, SaveKeepsTheKindOfOtherFiles)
{
    TRun r = Run({"save", DataFile("user/rower.ini"), Dir / "rower.ini"});
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_EQ(FileBytes(Dir / "rower.ini"), FileBytes(DataFile("user/rower.ini")));
    r = Run({"save", DataFile("stroke/sample.str"), Dir / "one.str"});
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_EQ(FileBytes(Dir / "one.str").size(), 218u);
    // A training has no user-file form under its own kind: nothing is written.
    r = Run({"save", DataFile("training/current.stg"), Dir / "training.ini"});
    EXPECT_EQ(r.Code, 1);
    EXPECT_NE(r.Err.find("nothing written"), std::string::npos) << r.Err;
    EXPECT_FALSE(FileExists(Dir / "training.ini"));
    r = Run({"save", DataFile("training/huge_count.stg"), Dir / "x.stg"});
    EXPECT_EQ(r.Code, 1);
    EXPECT_FALSE(FileExists(Dir / "x.stg"));
}

TEST_F(Cli, ConvertThroughTheExportDialog)
{
    TRun r = Run({"convert", DataFile("brax/session.bxs"), Dir / "race.stg"});
    ASSERT_EQ(r.Code, 0) << r.Err;
    TTraining t = Open(Dir / "race.stg");
    EXPECT_EQ(t.StrokeCount(), 3);
    EXPECT_EQ(t.Header.FileType, ftSTG);
    EXPECT_EQ(t.Header.ContentKind, ckTraining);
    EXPECT_EQ(t.Header.OriginalType, ftBXS);
    r = Run({"convert", DataFile("stroke/sample.str"), Dir / "stroke.stg"});
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_EQ(Open(Dir / "stroke.stg").StrokeCount(), 1);
    r = Run({"convert", DataFile("training/current.stg"), Dir / "rower.ini"});
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_EQ(FileBytes(Dir / "rower.ini").size(), 106u);
    r = Run({"convert", DataFile("training/current.stg"), Dir / "rower.txt"});
    EXPECT_EQ(r.Code, 1);
    EXPECT_FALSE(FileExists(Dir / "rower.txt"));
}

TEST_F(Cli, ExportStrokeGridAsCsv)
{
    const std::string path = DataFile("training/sample.stg");
    TRun r = Run({"export", "--grid", path, Dir / "grid.csv"});
    ASSERT_EQ(r.Code, 0) << r.Err;
    std::string csv = Slurp(Dir / "grid.csv");
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t next; (next = csv.find("\r\n", at)) != std::string::npos; at = next + 2)
        lines.push_back(csv.substr(at, next - at));
    EXPECT_EQ(at, csv.size());  // every line ends with CR LF
    ASSERT_EQ(lines.size(), 201u);
    const auto& map = StrokeIdMap();
    std::vector<std::string> header = SplitString(lines[0], ',');
    ASSERT_EQ(header.size(), map.size());
    EXPECT_EQ(header[0], "Stroke");
    EXPECT_EQ(header[1], "Power (W)");
    TTraining t = Open(path);
    std::vector<std::string> row = SplitString(lines[10], ',');
    ASSERT_EQ(row.size(), map.size());
    EXPECT_EQ(row[0], "10");
    for (size_t c = 0; c < map.size(); ++c)
        EXPECT_EQ(row[c], Trim(StrokeValueText(t.Strokes[10], map[c], t.Settings))) << c;
}

TEST_F(Cli, CsvQuotesFieldsWithTheSeparator)
{
    const char* locale = "de_DE.UTF-8";
    const char* previous = std::setlocale(LC_NUMERIC, locale);
    if (!previous) GTEST_SKIP() << "locale " << locale << " is not installed";
    std::setlocale(LC_NUMERIC, "C");
    TRun r = Run({"export", "--grid", DataFile("training/current.stg"), Dir / "de.csv"}, "LC_ALL=de_DE.UTF-8");
    ASSERT_EQ(r.Code, 0) << r.Err;
    std::string csv = Slurp(Dir / "de.csv");
    EXPECT_NE(csv.find(",\"24,0\","), std::string::npos) << csv;
}

TEST_F(Cli, CraftedHugeRawSampleBlockStaysWithinAMemoryLimit)
{
    // 200 MB whose raw-sample block claims 2^31 - 1 samples: the file holds
    // some 70 million. Without a whole-document tree, without the file and
    // without a second copy of the session in memory, dump and save stay
    // within twice the file's size.
    TTraining t;
    ClearTraining(t);
    t.Header = DefaultHeader();
    t.Header.FileType = ftSTG;
    t.Header.ContentKind = ckTraining;
    t.Settings = DefaultSettings();
    std::vector<uint8_t> image = TrainingFileBytes(t);
    image.resize(image.size() - 7);  // the empty raw-sample block
    const uint8_t raw[7] = {7, 3, 0, 0xFF, 0xFF, 0xFF, 0x7F};
    image.insert(image.end(), raw, raw + 7);
    const std::string crafted = Dir / "crafted.stg";
    PutFileBytes(crafted, image);
    const off_t size = off_t(200) << 20;
    ASSERT_EQ(truncate(crafted.c_str(), size), 0);                 // sparse: the zeros need no disk
    const size_t samples = (size_t(size) - image.size() + 2) / 3;  // the last one cut short counts
    const std::string limit = "ulimit -v 409600;";

    TRun r = Run({"dump", crafted}, limit, "/dev/null");
    EXPECT_EQ(r.Code, 0) << r.Err;
    EXPECT_TRUE(r.Err.empty()) << r.Err;
    r = Run({"dump", "--header", crafted}, limit);
    EXPECT_EQ(r.Code, 0) << r.Err;
    const std::string out = Dir / "saved.stg";
    r = Run({"save", crafted, out}, limit);
    EXPECT_EQ(r.Code, 0) << r.Err;
    EXPECT_EQ(FileSizeOf(out), int32_t(image.size() + 3 * samples));
}

TEST_F(Cli, SavesFollowLinksAndRefusePipesAndDevices)
{
    const std::string in = DataFile("training/current.stg");
    const std::string fifo = Dir / "pipe.stg";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    // Saved through a link: the link stays, the file it names is the session.
    ASSERT_TRUE(CopyFileTo(in, Dir / "real.stg"));
    ASSERT_EQ(symlink("real.stg", (Dir / "link.stg").c_str()), 0);
    TRun r = Run({"save", in, Dir / "link.stg"});
    ASSERT_EQ(r.Code, 0) << r.Err;
    struct stat st {};
    ASSERT_EQ(lstat((Dir / "link.stg").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    const std::string written = Slurp(Dir / "real.stg");
    EXPECT_NE(written.find(Dir / "link.stg"), std::string::npos);  // the name saved under, in the header
    // A pipe (standing in for a device node) is neither replaced nor waited
    // on, as a target or as a source; the timeout ends a hang.
    const std::string timeout = "timeout 20";
    for (const auto& args : std::vector<std::vector<std::string>>{{"save", in, fifo},
                                                                  {"dump", fifo},
                                                                  {"dump", "--header", fifo},
                                                                  {"save", fifo, Dir / "x.stg"},
                                                                  {"simulate", "vt", "--file", fifo}}) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        r = Run(args, timeout);
        EXPECT_EQ(r.Code, 1) << r.Err;
        EXPECT_NE(r.Err.find("Not a regular file"), std::string::npos) << r.Err;
    }
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_FALSE(FileExists(Dir / "x.stg"));
    // The reason given is that of the step that failed: a path part that is
    // a file is "Not a directory" (not "File exists").
    r = Run({"save", in, Dir / "real.stg/sub/x.stg"});
    EXPECT_EQ(r.Code, 1);
    EXPECT_NE(r.Err.find("Not a directory (20)"), std::string::npos) << r.Err;
}
