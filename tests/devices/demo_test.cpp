// Raw data files: demo playback checks, pacing, the raw data log and the built-in recording.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "interfaces/devices/demo_data.h"
#include "testutil_devices.h"
#include "util/paths.h"
#include "util/version.h"

namespace {

struct TTempDir {
    std::string Path;
    TTempDir()
    {
        char tmpl[] = "/tmp/catchline-demo-XXXXXX";
        Path = mkdtemp(tmpl);
    }
    ~TTempDir() { std::system(("rm -rf '" + Path + "'").c_str()); }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        const std::string p = Path + "/" + name;
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return p;
    }
};

std::vector<uint8_t> Recording(const std::vector<uint16_t>& ticks, uint8_t heart = 30)
{
    std::vector<TRawDataSample> s;
    for (uint16_t t : ticks) s.push_back({t, heart});
    return RawDataBytes(PackVersion("0.9.7.0"), s);
}

struct TPlayback {
    TVTPulseInput In;
    TDemoPlayer Player{In};
    int Ends = 0;
    std::vector<std::string> Errors, Faults;
    std::vector<double> Wheel;
    std::vector<int> Heart;
    TPlayback()
    {
        In.ProtocolSet = {vtpVtw};
        In.State = vtsOpening;
        In.Computer.DoCalculate = false;
        In.OnRawData = [this](double w, int h, int) {
            Wheel.push_back(w);
            Heart.push_back(h);
        };
        In.OnFault = [this](const std::string& t) { Faults.push_back(t); };
        Player.OnEnd = [this] { ++Ends; };
        Player.OnError = [this](const std::string& m) { Errors.push_back(m); };
        In.Prepare();
    }
    // Plays everything as fast as possible.
    void PlayAll()
    {
        do Player.Process();
        while (Player.Read());
    }
};

}  // namespace

TEST(DemoFile, OpenChecks)
{
    TTempDir dir;
    TPlayback p;
    int first = 0;
    EXPECT_EQ(p.Player.OpenFile(dir.Write("7.dat", {'M', 'I', 'L', ' ', 0, 0, 0}), 0, &first), "DemoOpen 1 : Filesize");
    EXPECT_EQ(first, -1);
    EXPECT_EQ(p.Player.OpenFile(dir.Write("bad.dat", {'M', 'I', 'X', ' ', 0, 0, 0, 0, 1, 2, 3}), 0, &first),
              "DemoOpen 1 : Invalid file");
    // A directory has a size but no bytes to read.
    const std::string folder = dir.Path + "/folder.dat";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    struct stat st;
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    if (st.st_size >= 8) {
        EXPECT_EQ(p.Player.OpenFile(folder, 0, &first), "DemoOpen 1 : Read header");
    }
    EXPECT_EQ(p.Player.OpenFile(dir.Path + "/missing.dat", 0, &first).rfind("DemoOpen 1 : ", 0), 0u);
    // A pipe without a writer would block the reader: refused at once.
    const std::string fifo = dir.Path + "/fifo.dat";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(p.Player.OpenFile(fifo, 0, &first), "DemoOpen 1 : Filesize");
    EXPECT_FALSE(p.Player.Source.IsOpen());
    EXPECT_TRUE(p.Wheel.empty());

    const uint8_t shortBytes[] = {'M', 'I', 'L', ' ', 0};
    EXPECT_EQ(p.Player.OpenBytes(shortBytes, sizeof shortBytes, 0, &first), "DemoOpen 0 : Filesize");
    const uint8_t wrong[] = {'L', 'I', 'M', ' ', 0, 0, 0, 0};
    EXPECT_EQ(p.Player.OpenBytes(wrong, sizeof wrong, 0, &first), "DemoOpen 0 : Invalid file");
    EXPECT_EQ(p.Ends, 0);
    EXPECT_TRUE(p.Errors.empty());
}

TEST(DemoFile, HeaderOnlyFileEndsAtOnce)
{
    TTempDir dir;
    TPlayback p;
    int first = 0;
    EXPECT_EQ(p.Player.OpenFile(dir.Write("8.dat", Recording({})), 0, &first), "");
    EXPECT_EQ(first, -1);
    EXPECT_EQ(p.Ends, 1);  // the interface closes itself
    EXPECT_FALSE(p.In.ValidSeen);
    EXPECT_EQ(p.In.CurrentState(), vtsOpening);
}

TEST(DemoFile, EverySampleIsPlayedAndTheVersionIsInformational)
{
    TTempDir dir;
    auto bytes = Recording({6140, 6200, 6260});
    bytes[4] = 0xEE;     // any version
    bytes.push_back(1);  // a partial sample at the end
    bytes.push_back(2);
    TPlayback p;
    p.In.ProtocolSet = {vtpVT3W, vtpVtw};
    int first = 0;
    ASSERT_EQ(p.Player.OpenFile(dir.Write("r.dat", bytes), 0, &first), "");
    EXPECT_EQ(first, 10);              // whole milliseconds of the first sample
    EXPECT_EQ(p.In.Protocol, vtpVtw);  // first of DOS, VTW, VT3W in the set
    EXPECT_TRUE(p.In.ValidSeen);
    EXPECT_EQ(p.In.CurrentState(), vtsOpened);
    p.PlayAll();
    ASSERT_EQ(p.Wheel.size(), 3u);  // the final sample too
    EXPECT_DOUBLE_EQ(p.Wheel[2], 6260 / 614000.0);
    EXPECT_EQ(p.Heart, (std::vector<int>{30, 30, 30}));
    EXPECT_EQ(p.Ends, 1);
    EXPECT_TRUE(p.Errors.empty());
}

TEST(DemoFile, TinySampleDoesNotStallPlayback)
{
    TTempDir dir;
    TPlayback p;
    int first = 0;
    ASSERT_EQ(p.Player.OpenFile(dir.Write("t.dat", Recording({6140, 6140, 1, 6140, 6140, 12280})), 0, &first), "");
    p.PlayAll();
    // 6140 after 1 tick would be 6140 pulses: taken as one pulse and reported.
    // 12280 after 6140 is two pulses, as before.
    EXPECT_EQ(p.Wheel.size(), 7u);
    EXPECT_EQ(p.Faults.size(), 1u);
    EXPECT_EQ(p.In.Faults, 1u);
}

TEST(DemoFile, HeartRatesOfTheBuiltInRecording)
{
    const auto& data = BuiltInDemoData();
    {
        TPlayback p;
        int first = 0;
        ASSERT_EQ(p.Player.OpenBytes(data.data(), std::min<size_t>(data.size(), 8 + 3 * 3000), 0, &first), "");
        p.PlayAll();
        ASSERT_EQ(p.Heart.size(), 3000u);
        bool varied = false;
        for (int h : p.Heart) {
            EXPECT_GE(h, 150);
            EXPECT_LE(h, 154);
            varied = varied || h != p.Heart[0];
        }
        EXPECT_TRUE(varied);
    }
    {
        TPlayback p;
        p.Player.Source.StoredHeart = true;
        int first = 0;
        ASSERT_EQ(p.Player.OpenBytes(data.data(), 8 + 3 * 100, 0, &first), "");
        p.PlayAll();
        for (int h : p.Heart) EXPECT_EQ(h, 30);
    }
}

TEST(DemoFile, PacingKeepsRealTime)
{
    TTempDir dir;
    TPlayback p;
    std::vector<uint16_t> ticks(600, 6140);  // 10 ms each
    int first = 0;
    ASSERT_EQ(p.Player.OpenFile(dir.Write("p.dat", Recording(ticks)), 1000, &first), "");
    EXPECT_EQ(first, 10);
    EXPECT_EQ(p.Player.Timer(1000), 10);
    EXPECT_EQ(p.Wheel.size(), 1u);
    // A second late: the overdue samples are played at once.
    EXPECT_EQ(p.Player.Timer(2000), 10);
    EXPECT_EQ(p.Wheel.size(), 100u);
    EXPECT_EQ(p.Player.PacingClockUs, 2000000);
    p.Player.Fast = true;
    EXPECT_EQ(p.Player.Timer(2000), 1);
    // After a pause the clock restarts from now.
    p.Player.Continue(50000);
    EXPECT_EQ(p.Player.PacingClockUs, 49999000);
    p.Player.Fast = false;
    int next = 0;
    int64_t now = 50000;
    while ((next = p.Player.Timer(now)) > 0) now += next;
    EXPECT_EQ(p.Wheel.size(), 600u);
    EXPECT_EQ(p.Ends, 1);
    // Playing at the timer's pace took the recording's own time.
    EXPECT_NEAR(double(now - 50000), 499 * 10.0, 20);
}

TEST(DemoFile, ReadErrorWhenTheFileShrinks)
{
    TTempDir dir;
    TPlayback p;
    // Longer than the reader's buffer, then cut short after opening.
    const std::string path = dir.Write("s.dat", Recording(std::vector<uint16_t>(20000, 6140)));
    int first = 0;
    ASSERT_EQ(p.Player.OpenFile(path, 0, &first), "");
    ASSERT_EQ(truncate(path.c_str(), 8 + 3 * 100), 0);
    p.PlayAll();
    ASSERT_EQ(p.Errors.size(), 1u);
    EXPECT_EQ(p.Errors[0], "DemoRead 1 : Read data");
}

TEST(DemoFile, DemoFileNextToTheProgram)
{
    EXPECT_EQ(DemoDataFileFor("/opt/catchline/catchline"), "/opt/catchline/catchline.dat");
    EXPECT_EQ(DemoDataFileFor("/a.b/prog.exe"), "/a.b/prog.dat");
    EXPECT_EQ(DemoDataFileFor("prog"), "prog.dat");

    TTempDir dir;
    TPlayback p;
    int first = 0;
    ASSERT_EQ(p.Player.OpenDefault(dir.Path + "/catchline", 0, &first), "");
    EXPECT_EQ(p.Player.Source.Kind(), 0);
    dir.Write("catchline.dat", Recording({7000, 7000}));
    ASSERT_EQ(p.Player.OpenDefault(dir.Path + "/catchline", 0, &first), "");
    EXPECT_EQ(p.Player.Source.Kind(), 1);
    EXPECT_EQ(p.Player.Source.SizeInBytes(), 14);
}

TEST(DemoFile, BuiltInRecording)
{
    const auto& data = BuiltInDemoData();
    std::vector<uint8_t> file;
    int error = 0;
    ASSERT_TRUE(ReadWholeFile(std::string(CATCHLINE_SOURCE_DIR) + "/resources/demo/catchline.dat", file, error));
    EXPECT_EQ(data, file);
    uint32_t version = 0;
    std::vector<TRawDataSample> samples;
    ASSERT_EQ(ParseRawData(data.data(), data.size(), &version, &samples), "");
    EXPECT_EQ(version, PackVersion("0.9.7.0"));
    double seconds = 0;
    for (const auto& s : samples) {
        seconds += s.Ticks / 614000.0;
        EXPECT_EQ(s.Heart, 30);
    }
    EXPECT_GT(seconds, 29 * 60.0);
    EXPECT_LT(seconds, 31 * 60.0);

    EXPECT_EQ(ParseRawData(data.data(), 7, nullptr, nullptr), "Filesize");
    const uint8_t wrong[] = {'M', 'I', 'L', '!', 0, 0, 0, 0};
    EXPECT_EQ(ParseRawData(wrong, 8, nullptr, nullptr), "Invalid file");
}

TEST(RawLog, SessionLogReplaysThroughTheSamePath)
{
    TTempDir dir;
    const auto& data = BuiltInDemoData();
    const std::vector<uint8_t> part(data.begin(), data.begin() + 8 + 3 * 20000);
    const std::string input = dir.Write("in.dat", part);
    const std::string log = dir.Path + "/log.dat";

    auto play = [&](const std::string& path, bool writeLog) {
        TPlayback p;
        p.In.Computer.DoCalculate = true;
        p.In.Computer.Settings.ThresHold = 5;  // as the row window sets it
        p.In.Prepare();
        int64_t ticks = 0;
        p.In.Computer.Clock = [&] { return ticks * 1000 / 614000; };
        std::vector<TStgStrokeData> strokes;
        p.In.Computer.OnStrokeData = [&](const TStgStrokeData& s) { strokes.push_back(s); };
        TRawLogWriter writer;
        if (writeLog) {
            EXPECT_EQ(writer.Open(log, ProgramVersion()), "");
            p.In.OnWriteLog = [&] { EXPECT_EQ(writer.Write(p.In.CurrentInterval, p.In.HeartRaw), ""); };
        }
        int first = 0;
        EXPECT_EQ(p.Player.OpenFile(path, 0, &first), "");
        do {
            ticks += std::llround(p.In.CurrentInterval * 614000);
            p.Player.Process();
        } while (p.Player.Read());
        writer.Close();
        return strokes;
    };
    const auto original = play(input, true);
    ASSERT_GT(original.size(), 50u);
    std::vector<uint8_t> logged;
    int error = 0;
    ASSERT_TRUE(ReadWholeFile(log, logged, error));
    uint32_t version = 0;
    ASSERT_EQ(ParseRawData(logged.data(), logged.size(), &version, nullptr), "");
    EXPECT_EQ(version, ProgramVersion());
    EXPECT_TRUE(std::equal(logged.begin() + 8, logged.end(), part.begin() + 8, part.end()));
    const auto replayed = play(log, false);
    ASSERT_EQ(replayed.size(), original.size());
    EXPECT_EQ(std::memcmp(replayed.data(), original.data(), original.size() * sizeof(TStgStrokeData)), 0);
}

TEST(RawLog, WriteFailures)
{
    TRawLogWriter w;
    EXPECT_EQ(w.Write(0.01, 150), "Write data");  // not open
    EXPECT_EQ(w.Open("/nonexistent-folder/log.dat", 1).rfind("Cannot create file", 0), 0u);
    TTempDir dir;
    {
        // A file size limit makes the writes fail.
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit old;
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
        struct rlimit limit = old;
        limit.rlim_cur = 4;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        EXPECT_EQ(w.Open(dir.Path + "/full.dat", 1), "Write header");
        EXPECT_FALSE(w.IsOpen());
        limit.rlim_cur = 10;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        EXPECT_EQ(w.Open(dir.Path + "/full.dat", 1), "");
        EXPECT_EQ(w.Write(0.01, 150), "Write data");
        w.Close();
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    }
    const std::string path = dir.Write("old.dat", std::vector<uint8_t>(100, 7));
    ASSERT_EQ(w.Open(path, 0x09000001), "");
    EXPECT_EQ(w.Write(0.2, 0x1FF), "");  // clamped to 65535, heart's low byte
    EXPECT_EQ(w.Write(-1.0, 60), "");    // clamped to 0
    EXPECT_EQ(w.Write(6140 / 614000.0, 150), "");
    w.Close();
    std::vector<uint8_t> bytes;
    int error = 0;
    ASSERT_TRUE(ReadWholeFile(path, bytes, error));
    const std::vector<uint8_t> expected = {'M', 'I', 'L', ' ', 1, 0, 0, 9, 0xFF, 0xFF, 0xFF, 0, 0, 60, 0xFC, 0x17, 150};
    EXPECT_EQ(bytes, expected);
}
