// Frames, pulse splitting, text lines, magnet diagnostics and the receive handler.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "interfaces/devices/vt_protocol.h"
#include "testutil_devices.h"

namespace {

std::vector<uint8_t> Frames(const std::vector<uint32_t>& ticks, int heartPeriod = 480)
{
    std::vector<uint8_t> out;
    for (uint32_t t : ticks) {
        const auto f = TestFrame(t, heartPeriod);
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

struct TReceiver {
    TVTPulseInput In;
    std::vector<double> Wheel;
    std::vector<int> Heart;
    int ProtocolErrors = 0;
    int FirstValid = 0;
    TReceiver()
    {
        In.ProtocolSet = {vtpVtw};
        In.State = vtsOpening;
        In.Computer.DoCalculate = false;
        In.OnRawData = [this](double w, int h, int) {
            Wheel.push_back(w);
            Heart.push_back(h);
        };
        In.OnProtocolError = [this] { ++ProtocolErrors; };
        In.OnFirstValid = [this] { ++FirstValid; };
        In.Prepare();
    }
    void Feed(const std::vector<uint8_t>& bytes) { In.ReceiveBytes(bytes.data(), bytes.size()); }
};

}  // namespace

TEST(FrameDecoding, CounterIntervalAndHeartRate)
{
    for (uint32_t ticks : {1u, 100u, 6296u, 9210u, 32766u}) {
        const auto f = TestFrame(ticks, 480);
        ASSERT_TRUE(IsVtwFrame(f.data())) << ticks;
        const TBinaryFrame d = DecodeBinaryFrame(f.data());
        EXPECT_EQ(d.Counter, int(0x7FFF - ticks));
        EXPECT_DOUBLE_EQ(d.Interval, std::nearbyint(ticks / 614000.0 * 1e6) / 1e6);
        EXPECT_FALSE(d.NoPulse);
        EXPECT_EQ(d.HeartPeriod, 480);
        EXPECT_EQ(d.HeartRaw, 150);
    }
    // No pulse measured: 1.0 s, the no-pulse flag, never split.
    const auto none = TestFrame(0x7FFF, 480);
    const TBinaryFrame d = DecodeBinaryFrame(none.data());
    EXPECT_EQ(d.Counter, 0x7FFF);
    EXPECT_DOUBLE_EQ(d.Interval, 1.0);
    EXPECT_TRUE(d.NoPulse);
    EXPECT_EQ(SerialPulseCount(d.Interval, 0.01, d.NoPulse), 1);
}

TEST(FrameDecoding, HeartRateIsClamped)
{
    struct {
        int period, heart;
    } cases[] = {{0, 30}, {300, 240}, {299, 240}, {301, 239}, {2047, 35}, {480, 150}};
    for (const auto& c : cases) {
        const auto f = TestFrame(7000, c.period);
        EXPECT_EQ(DecodeBinaryFrame(f.data()).HeartRaw, c.heart) << c.period;
    }
}

TEST(FrameDecoding, SyncAndCheckBits)
{
    auto f = TestFrame(7000, 480);
    ASSERT_TRUE(IsVtwFrame(f.data()));
    for (int byte = 0; byte < 4; ++byte) {
        auto g = f;
        g[size_t(byte)] ^= 1;  // every sync bit is checked
        EXPECT_FALSE(IsVtwFrame(g.data())) << byte;
        EXPECT_FALSE(IsDosFrame(g.data(), true)) << byte;
        EXPECT_TRUE(IsDosFrame(g.data(), false)) << byte;
    }
    auto g = f;
    g[1] ^= 0x40;  // a check bit
    EXPECT_FALSE(IsVtwFrame(g.data()));
    EXPECT_TRUE(IsDosFrame(g.data(), true));

    // The VT3W check bits are another combination of the same bits.
    int both = 0, vt3wOnly = 0;
    for (uint32_t t = 1; t < 200; ++t) {
        const auto w = TestFrame(t, 480, true);
        ASSERT_TRUE(IsVT3WFrame(w.data()));
        if (IsVtwFrame(w.data())) ++both;
        else ++vt3wOnly;
    }
    EXPECT_GT(vt3wOnly, 0);
    // Recognisers are tried in the order Vtw, VT3W, DOS.
    const auto w = TestFrame(5, 480, true);
    TTarnProtocolSet all{vtpVtw, vtpVT3W, vtpDOS};
    const TFrameMatch m = RecognizeFrame(w.data(), 4, all, true, false);
    EXPECT_EQ(m.Length, 4);
    EXPECT_EQ(m.Protocol, IsVtwFrame(w.data()) ? vtpVtw : vtpVT3W);
    EXPECT_EQ(RecognizeFrame(w.data(), 4, {vtpDOS}, true, false).Protocol, vtpDOS);
    EXPECT_EQ(RecognizeFrame(w.data(), 4, {}, true, false).Length, 0);
}

TEST(PulseSplitting, SerialAndDemoRules)
{
    EXPECT_EQ(SerialPulseCount(0.026, 0.010, false), 3);  // 2.6 times: 3 pulses
    EXPECT_EQ(SerialPulseCount(0.050, 0.010, false), 1);  // 5 times: not split
    EXPECT_EQ(SerialPulseCount(0.040, 0.010, false), 4);
    EXPECT_EQ(SerialPulseCount(0.004, 0.010, false), 1);  // rounds to 0
    EXPECT_EQ(SerialPulseCount(0.010, 0.0, false), 1);

    bool bounded = true;
    EXPECT_EQ(DemoPulseCount(0.026, 0.010, &bounded), 3);
    EXPECT_FALSE(bounded);
    EXPECT_EQ(DemoPulseCount(0.010, 0.0, &bounded), 1);   // previous cleared after a long sample
    EXPECT_EQ(DemoPulseCount(0.06, 0.010, &bounded), 1);  // not measurable
    // A sample tiny next to the one before: not thousands of pulses, and reported.
    EXPECT_EQ(DemoPulseCount(0.011, 1.0 / 614000, &bounded), 1);
    EXPECT_TRUE(bounded);
}

TEST(TextLines, IntervalsAndFrames)
{
    double interval = 0.5;
    EXPECT_TRUE(DecodeTextLine("!S,0100,12,0", interval));
    EXPECT_NEAR(interval, 864e-6, 1e-12);
    EXPECT_TRUE(DecodeTextLine("!R,abcd,0", interval));
    EXPECT_EQ(interval, 0.0);
    interval = 0.5;
    EXPECT_FALSE(DecodeTextLine("!SS,0100", interval));
    EXPECT_EQ(interval, 0.5);
    EXPECT_TRUE(DecodeTextLine("!S,", interval));  // too short: not a number

    EXPECT_TRUE(IsTextFrame("!SE,1", false));
    EXPECT_TRUE(IsTextFrame("'Just Row It' v2", false));
    EXPECT_TRUE(IsTextFrame("Sleep", false));
    EXPECT_FALSE(IsTextFrame("!X,1", false));
    EXPECT_FALSE(IsTextFrame("'Just Row It'", false));  // the blank belongs to the start
    // While opening only the slider's banner counts.
    EXPECT_FALSE(IsTextFrame("!S,0100", true));
    EXPECT_TRUE(IsTextFrame("OARTEC Slider OSM V1", true));
    EXPECT_FALSE(IsTextFrame("OARTEC Slider OS", true));
}

TEST(TextLines, ReceiveWholeLinesOnly)
{
    TReceiver r;
    r.In.ProtocolSet = {vtpOTDebug};
    r.In.TextLines = true;
    std::string text = "OARTEC Slider OSM V1.0\r\n!S,0100,0\r\njunk line\n!R,1000,0\r\n";
    // In pieces: a line split over two clusters is handled once complete.
    for (size_t i = 0; i < text.size(); i += 5) {
        const std::string part = text.substr(i, 5);
        r.In.ReceiveBytes(reinterpret_cast<const uint8_t*>(part.data()), part.size());
    }
    EXPECT_EQ(r.ProtocolErrors, 0);
    EXPECT_EQ(r.In.CurrentState(), vtsOpened);
    ASSERT_EQ(r.Wheel.size(), 3u);  // banner (interval unchanged), !S, !R
    EXPECT_NEAR(r.Wheel[1], 864e-6, 1e-12);
    EXPECT_NEAR(r.Wheel[2], 8640e-6, 1e-12);
}

TEST(TextLines, BannerMissingStaysOpening)
{
    TReceiver r;
    r.In.ProtocolSet = {vtpOTDebug};
    r.In.TextLines = true;
    const std::string text = "!S,0100,0\r\n!S,0100,0\r\n";
    r.In.ReceiveBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    EXPECT_EQ(r.In.CurrentState(), vtsOpening);
    EXPECT_TRUE(r.Wheel.empty());
    EXPECT_EQ(r.In.Buffered(), 0u);
}

TEST(TextLines, EndlessLineIsBounded)
{
    TReceiver r;
    r.In.ProtocolSet = {vtpOTDebug};
    r.In.TextLines = true;
    std::string faults;
    r.In.OnFault = [&](const std::string& t) { faults = t; };
    const std::vector<uint8_t> junk(5000, 'x');
    for (int i = 0; i < 20; ++i) r.Feed(junk);
    EXPECT_LE(r.In.Buffered(), kMaxTextLine);
    EXPECT_FALSE(faults.empty());
    const std::string line = "OARTEC Slider OSM\n";
    r.In.ReceiveBytes(reinterpret_cast<const uint8_t*>(line.data()), line.size());
    EXPECT_EQ(r.In.CurrentState(), vtsOpened);
}

TEST(Receiver, EmptyProtocolSetGivesProtocolErrors)
{
    TReceiver r;
    r.In.ProtocolSet = {};
    r.Feed(Frames({7000, 7000}));
    EXPECT_EQ(r.ProtocolErrors, 5);  // the last 3 bytes wait for more
    EXPECT_EQ(r.In.CurrentState(), vtsOpening);
    EXPECT_TRUE(r.Wheel.empty());
}

TEST(Receiver, FewBytesBeforeFirstFrameAreIgnored)
{
    TReceiver r;
    const auto f = TestFrame(7000, 480);
    r.In.ReceiveBytes(f.data(), 3);
    EXPECT_TRUE(r.In.DataSeen);
    EXPECT_EQ(r.In.Buffered(), 0u);
    r.In.ReceiveBytes(f.data() + 3, 1);  // still before the first frame: ignored
    EXPECT_EQ(r.In.Buffered(), 0u);
    r.In.ReceiveBytes(f.data(), 4);
    EXPECT_EQ(r.Wheel.size(), 1u);
    EXPECT_EQ(r.FirstValid, 1);
    EXPECT_EQ(r.In.CurrentState(), vtsOpened);
    // After the first frame, short clusters are collected.
    r.In.ReceiveBytes(f.data(), 2);
    r.In.ReceiveBytes(f.data() + 2, 2);
    EXPECT_EQ(r.Wheel.size(), 2u);
    EXPECT_EQ(r.FirstValid, 1);
}

TEST(Receiver, FramesSplitAnywhereGiveTheSamePulses)
{
    const std::vector<uint32_t> ticks = {7000, 7100, 7200, 7150, 14300, 7100, 0x7FFF, 8000, 8100};
    const auto bytes = Frames(ticks);
    TReceiver whole;
    whole.Feed(bytes);
    // 14300 after 7150 is split into two pulses; the no-pulse frame is one pulse of 1 s.
    ASSERT_EQ(whole.Wheel.size(), ticks.size() + 1);
    EXPECT_NEAR(whole.Wheel[4], 14300 / 614000.0 / 2, 1e-6);
    EXPECT_NEAR(whole.Wheel[5], 14300 / 614000.0 / 2, 1e-6);
    EXPECT_EQ(whole.Wheel[7], 1.0);
    for (size_t chunk = 1; chunk <= 7; ++chunk) {
        TReceiver r;
        const auto first = TestFrame(7000, 480);
        r.In.ReceiveBytes(first.data(), 4);  // valid data seen: short clusters count
        for (size_t i = 4; i < bytes.size(); i += chunk)
            r.In.ReceiveBytes(bytes.data() + i, std::min(chunk, bytes.size() - i));
        EXPECT_EQ(r.Wheel, whole.Wheel) << chunk;
        EXPECT_EQ(r.ProtocolErrors, 0);
    }
}

TEST(Receiver, GarbageBetweenFramesIsDroppedByteByByte)
{
    std::vector<uint8_t> bytes;
    std::mt19937 rng(7);
    size_t garbage = 0;
    for (int i = 0; i < 200; ++i) {
        const auto f = TestFrame(7000 + uint32_t(i), 480);
        bytes.insert(bytes.end(), f.begin(), f.end());
        const int n = int(rng() % 4);
        for (int k = 0; k < n; ++k) bytes.push_back(0xFF);  // bit 0 set: starts no frame
        garbage += size_t(n);
    }
    TReceiver r;
    for (size_t i = 0; i < bytes.size(); i += 13)
        r.In.ReceiveBytes(bytes.data() + i, std::min<size_t>(13, bytes.size() - i));
    EXPECT_EQ(r.Wheel.size(), 200u);
    EXPECT_EQ(size_t(r.ProtocolErrors) + r.In.Buffered(), garbage);
}

TEST(Receiver, ProtocolErrorBurstKeepsTheBufferSmall)
{
    TReceiver r;
    r.Feed(Frames({7000}));
    std::mt19937 rng(1);
    std::vector<uint8_t> junk(1 << 16);
    for (int round = 0; round < 16; ++round) {
        for (auto& b : junk) b = uint8_t(rng() | 1);
        r.Feed(junk);
        EXPECT_LE(r.In.Buffered(), 3u);
    }
    EXPECT_EQ(r.ProtocolErrors, 16 * (1 << 16) - 3);
}

TEST(Receiver, ClosingPausedAndStoppedHandlers)
{
    TReceiver r;
    r.Feed(Frames({7000}));
    r.In.State = vtsPaused;
    r.Feed(Frames({7000, 7000}));
    EXPECT_EQ(r.Wheel.size(), 1u);
    EXPECT_EQ(r.In.Buffered(), 0u);
    r.In.State = vtsClosing;
    r.Feed(Frames({7000}));
    EXPECT_EQ(r.Wheel.size(), 1u);
    // A handler that closes the port stops the loop; the rest stays buffered.
    r.In.State = vtsOpened;
    bool open = true;
    r.In.CanContinue = [&] { return open; };
    r.In.OnRawData = [&](double w, int, int) {
        r.Wheel.push_back(w);
        open = false;
    };
    r.Feed(Frames({7000, 7000, 7000}));
    EXPECT_EQ(r.Wheel.size(), 2u);
    EXPECT_EQ(r.In.Buffered(), 8u);
    r.In.Close();
    EXPECT_EQ(r.In.Buffered(), 0u);
    EXPECT_FALSE(r.In.ValidSeen);
}

TEST(Receiver, HandlerThatPausesDropsTheRestOfTheCluster)
{
    // Pausing from a handler in the middle of a cluster, even in the middle of
    // an interval split into pulses: nothing more reaches the computation
    // until the interface continues.
    TReceiver r;
    r.In.Computer.DoCalculate = true;
    int strokesAfterPause = 0;
    r.In.Computer.OnStrokeData = [&](const TStgStrokeData&) {
        if (IsPausedState(r.In.State)) ++strokesAfterPause;
    };
    r.In.OnRawData = [&](double w, int, int) {
        r.Wheel.push_back(w);
        if (r.Wheel.size() == 5) r.In.State = vtsPaused;
    };
    // Pulses 4 to 6 are one interval of three pulses (2.6 times the one before).
    r.Feed(Frames({7000, 7000, 7000, 18200, 7000, 7000, 7000, 7000}));
    ASSERT_EQ(r.Wheel.size(), 5u);
    EXPECT_NEAR(r.Wheel[4], 18200 / 3.0 / 614000, 1e-6);
    EXPECT_EQ(r.In.Buffered(), 0u);
    const uint32_t calls = r.In.Computer.CallCounter();
    r.Feed(Frames({7000, 7000}));
    EXPECT_EQ(r.Wheel.size(), 5u);
    EXPECT_EQ(r.In.Computer.CallCounter(), calls);
    // A whole rowing run arriving while paused is dropped: no stroke.
    std::vector<uint32_t> run;
    for (double dt : StrokeTrain(3)) run.push_back(uint32_t(dt * 614000));
    r.Feed(Frames(run));
    EXPECT_EQ(strokesAfterPause, 0);
    EXPECT_EQ(r.Wheel.size(), 5u);
    // Continued: frames count again.
    r.In.State = vtsOpened;
    r.Feed(Frames({7000, 7000}));
    EXPECT_EQ(r.Wheel.size(), 7u);
}

TEST(Receiver, HandlerThatClosesStopsASplitInterval)
{
    // The interval of three pulses: the handler of the first closes the
    // interface, the other two are not handed on (no raw data, no log).
    TReceiver r;
    int logged = 0;
    r.In.OnWriteLog = [&] { ++logged; };
    r.In.OnRawData = [&](double w, int, int) {
        r.Wheel.push_back(w);
        if (r.Wheel.size() == 2) r.In.State = vtsClosed;
    };
    r.Feed(Frames({7000, 18200}));
    EXPECT_EQ(r.Wheel.size(), 2u);
    EXPECT_EQ(logged, 2);
    // Demo samples split the same way stop the same way.
    TReceiver demo;
    demo.In.OnRawData = [&](double w, int, int) {
        demo.Wheel.push_back(w);
        demo.In.State = vtsClosed;
    };
    demo.In.State = vtsOpened;
    demo.In.PreviousInterval = 0.010;
    demo.In.CurrentInterval = 0.030;
    demo.In.ProcessDemoSample();
    EXPECT_EQ(demo.Wheel.size(), 1u);
}

TEST(Receiver, FirstFrameAfterAGapIsNotSplit)
{
    // Without a gap an interval 2.6 times the one before is three pulses.
    TReceiver whole;
    whole.Feed(Frames({7000, 18200}));
    ASSERT_EQ(whole.Wheel.size(), 4u);
    EXPECT_NEAR(whole.Wheel[3], 18200 / 3.0 / 614000, 1e-6);

    // After a pause the flywheel ran on while frames were dropped: the first
    // interval after it is taken as it is, and so are the ones that follow
    // (were it split, every later frame would look twice too long as well).
    TReceiver r;
    r.Feed(Frames({7000, 7000}));
    r.In.State = vtsPaused;
    r.Feed(Frames({9000, 12000, 14000}));
    r.In.State = vtsOpened;
    r.Feed(Frames({15000, 15100, 15200}));
    ASSERT_EQ(r.Wheel.size(), 5u);
    EXPECT_NEAR(r.Wheel[2], 15000 / 614000.0, 1e-6);
    EXPECT_NEAR(r.Wheel[4], 15200 / 614000.0, 1e-6);
    // A missed magnet pulse after that is split again.
    r.Feed(Frames({30400}));
    ASSERT_EQ(r.Wheel.size(), 7u);
    EXPECT_NEAR(r.Wheel[6], 15200 / 614000.0, 1e-6);

    // The magnet diagnostics started again at the first frame after the gap.
    TReceiver m;
    m.Feed(Frames({7000, 7100, 7200, 7300, 7400, 7500}));
    EXPECT_EQ(m.In.Magnets.Position(), 1);
    m.In.State = vtsPaused;
    m.Feed(Frames({7000, 7000, 7000}));
    m.In.State = vtsOpened;
    m.Feed(Frames({9000, 9000}));
    EXPECT_EQ(m.In.Magnets.Pattern(), "1 OO..");
    EXPECT_EQ(m.In.Magnets.Count(0, vtmSmaller), 0);

    // The same after closing and opening again.
    r.In.Close();
    r.In.Open();
    r.Feed(Frames({7000}));
    ASSERT_EQ(r.Wheel.size(), 8u);
    EXPECT_NEAR(r.Wheel[7], 7000 / 614000.0, 1e-6);
}

TEST(Receiver, WheelWords)
{
    TReceiver r;
    r.In.ProcessWheelWord(6140);
    r.In.ProcessWheelWord(0x7FFF);
    ASSERT_EQ(r.Wheel.size(), 2u);
    EXPECT_DOUBLE_EQ(r.Wheel[0], 0.01);
    EXPECT_DOUBLE_EQ(r.Wheel[1], 1.0);
    EXPECT_EQ(r.In.Protocol, vtpVT3WI);
    EXPECT_EQ(r.In.CurrentState(), vtsOpened);
    EXPECT_FALSE(r.In.Computer.AllValid());
}

TEST(MagnetDiagnostics, ClassesPatternAndStatistics)
{
    TMagnetDiagnostics m;
    m.Reset(4);
    EXPECT_EQ(m.Pattern(), "-1 ....");
    EXPECT_EQ(m.Statistics(), "  0   0   0   0");  // "%3.0f" each, one leading blank removed
    // Intervals shrinking by the same step (exact in binary): after the first
    // change every change equals the one before.
    double prev = 0, cur = 1.0 / 64;
    for (int i = 0; i < 8; ++i) {
        m.Update(cur, prev);
        prev = cur;
        cur -= 1.0 / 8192;
    }
    EXPECT_EQ(m.Position(), 3);
    EXPECT_EQ(m.Pattern(), "3 OOOO");
    EXPECT_EQ(m.Count(1, vtmGreater), 1);  // the first change, compared with none
    EXPECT_EQ(m.Statistics(), "100  50 100 100");
    // A growing step: greater; then a smaller one.
    m.Update(prev - 0.0005, prev);
    EXPECT_EQ(m.Class(0), vtmGreater);
    m.Update(prev - 0.0005, prev - 0.0005);
    EXPECT_EQ(m.Class(1), vtmSmaller);
    EXPECT_EQ(m.Pattern(), "1 +-OO");
    EXPECT_EQ(m.Statistics(), " 67  33 100 100");
    // An interval too long to measure resets everything.
    m.Update(0.06, 0.01);
    EXPECT_EQ(m.Pattern(), "-1 ....");
    EXPECT_EQ(m.Count(0, vtmEqual), 0);
}

TEST(MagnetDiagnostics, ActivityIndicator)
{
    const char* expected[] = {"|", "/", "--", "\\", "|", "/", "--", "\\", "|"};
    for (uint32_t i = 0; i < 9; ++i) EXPECT_EQ(ActivityIndicator(i), expected[i]) << i;
}
