// The stroke computation on hand-built pulse trains.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numeric>

#include "interfaces/devices/vt_protocol.h"
#include "testutil_devices.h"

namespace {

struct TRig {
    TVTPulseInput In;
    TEventLog Log;
    double ClockS = 0;
    bool Open = true;

    explicit TRig(void (*setup)(TStrokeSettings&) = nullptr)
    {
        if (setup) setup(In.Computer.Settings);
        In.Computer.Clock = [this] { return int64_t(std::floor(ClockS * 1000)); };
        In.Computer.IsOpen = [this] { return Open; };
        Log.Attach(In.Computer);
        In.Prepare();
    }
    void Pulse(double dt, int heart = 150)
    {
        ClockS += dt;
        In.CurrentInterval = dt;
        In.HeartRaw = heart;
        In.HandlePulse(false);
    }
    void Pulses(const std::vector<double>& dts)
    {
        for (double dt : dts) Pulse(dt);
    }
};

}  // namespace

TEST(StrokeComputation, ConstantsOfTheDefaultMachine)
{
    TRig r([](TStrokeSettings& s) { s.Weight = 85; });
    const TStrokeConstants& k = r.In.Computer.Constants();
    EXPECT_NEAR(k.Travel, 0.022, 1e-12);
    EXPECT_EQ(k.LookBack, 2);  // j = N - 3
    EXPECT_NEAR(k.EnergyConstant, 0.13423, 5e-6);
    EXPECT_NEAR(std::pow(k.PulsesPerRadian, 3), 0.25801, 5e-6);
    EXPECT_NEAR(k.MassFactor, 2.16332, 5e-6);
    EXPECT_NEAR(k.BoatFactor, 1.322, 1e-12);
    EXPECT_NEAR(BoatFactor(vtb8cd), 1.625, 1e-12);

    // A flywheel turning at a steady 15 ms per pulse loses 1.7226 J per pulse
    // to drag with k = 0.0001, so the handle force is 1.7226 / 0.022 N, of
    // which the force samples report 0.6.
    for (int i = 0; i < 20; ++i) r.Pulse(0.015);
    EXPECT_EQ(r.Log.Order.substr(0, 2), "SF");
    // Pulses 1..7 of the drive; at pulse 8 (two revolutions) a flywheel that is
    // not speeding up is taken as coasting: the recovery starts.
    ASSERT_EQ(r.Log.Forces.size(), 7u);
    for (size_t i = 1; i < r.Log.Forces.size(); ++i) EXPECT_NEAR(r.Log.Forces[i], 0.6 * 1.7226 / 0.022, 0.01) << i;
    EXPECT_EQ(r.In.Computer.Phase(), 2);
    EXPECT_TRUE(r.Log.Strokes.empty());
}

TEST(StrokeComputation, EventOrderOfStrokes)
{
    TRig r;
    r.Pulses(StrokeTrain(6));
    const std::string& o = r.Log.Order;
    ASSERT_EQ(o[0], 'S');
    ASSERT_EQ(r.Log.Strokes.size(), 6u);
    size_t drives = 0;
    for (size_t i = 0; i < o.size(); ++i) {
        if (o[i] == 'D') {
            // The pulse that ends a drive: force sample, stroke data, starting recover.
            EXPECT_EQ(o[i - 1], 'F');
            EXPECT_EQ(o.substr(i, 2), "DR");
        }
        if (o[i] == 'S' && i > 0) {
            // A drive found in the recovery starts 4 cm (2 pulses) before the
            // pulse that showed it: three force samples at once.
            EXPECT_EQ(o[i - 1], 'R');
            EXPECT_EQ(o.substr(i, 4), "SFFF");
            ++drives;
        }
    }
    EXPECT_EQ(drives, 5u);
    // Force samples of a drive are numbered from 1.
    size_t f = 0;
    for (size_t i = 0; i < o.size(); ++i) {
        if (o[i] != 'F') continue;
        if (i > 0 && o[i - 1] == 'S') {
            EXPECT_EQ(r.Log.Puls[f], 1);
        } else if (i > 0) {
            EXPECT_EQ(r.Log.Puls[f], r.Log.Puls[f - 1] + 1);
        }
        ++f;
    }
}

TEST(StrokeComputation, FirstStrokeHasNoPowerButEnergy)
{
    TRig r;
    r.Pulses(StrokeTrain(4));
    ASSERT_GE(r.Log.Strokes.size(), 3u);
    const TStgStrokeData& first = r.Log.Strokes[0];
    EXPECT_EQ(first.StrokeNumber, 1);
    EXPECT_EQ(first.Power, 0);
    EXPECT_EQ(first.AveragePower, 0);
    EXPECT_EQ(first.StrokeRate, 0);
    EXPECT_GT(first.Energy, 0);
    EXPECT_GT(first.Distance, 0);
    EXPECT_GT(r.Log.Strokes[1].Power, 0);
    EXPECT_EQ(r.Log.Strokes[1].StrokeNumber, 2);
    EXPECT_EQ(r.Log.Strokes[1].Pulse, 150);
}

TEST(StrokeComputation, RateFollowsThePulseTrain)
{
    TRig r;
    const auto train = StrokeTrain(8);
    r.Pulses(train);
    const double period = std::accumulate(train.begin(), train.begin() + 160, 0.0);
    ASSERT_EQ(r.Log.Strokes.size(), 8u);
    for (size_t i = 2; i < 8; ++i) {
        const auto& s = r.Log.Strokes[i];
        EXPECT_NEAR(s.StrokeRate, 60.0 / period, 1e-3 * 60.0 / period) << i;
        EXPECT_NEAR(s.DriveTime * (1 + s.RecoverRatio), period, 1e-3 * period) << i;
        EXPECT_NEAR(s.Time - r.Log.Strokes[i - 1].Time, period, 1e-4);
        EXPECT_NEAR(s.Power, std::nearbyint(s.Energy / period), 1.0);
    }
}

TEST(StrokeComputation, SplitTimeFollowsTheBoatModel)
{
    // 500 m in 139.91 s at 200 W for 85 kg in a single: Time500 * P^(1/3) is
    // the same for every stroke.
    TRig r([](TStrokeSettings& s) { s.Weight = 85; });
    r.Pulses(StrokeTrain(6));
    const double constant = 139.91 * std::cbrt(200.0);
    for (size_t i = 1; i < r.Log.Strokes.size(); ++i) {
        const auto& s = r.Log.Strokes[i];
        EXPECT_NEAR(s.Time500 * std::cbrt(s.Power), constant, 2e-4 * constant) << i;
        EXPECT_NEAR(s.DistancePerStroke / 100 * s.StrokeRate / 60, 500 / s.Time500, 1e-3);
    }
}

TEST(StrokeComputation, StandstillRecordsEveryTwoSeconds)
{
    TRig r;
    r.Pulses(StrokeTrain(3));
    const size_t strokes = r.Log.Strokes.size();
    const float lastTime = r.Log.Strokes.back().Time;
    for (int i = 0; i < 100; ++i) r.Pulse(0.1);  // 10 s of a standing flywheel
    ASSERT_GE(r.Log.Strokes.size(), strokes + 4);
    ASSERT_LE(r.Log.Strokes.size(), strokes + 5);
    for (size_t i = strokes; i < r.Log.Strokes.size(); ++i) {
        const auto& s = r.Log.Strokes[i];
        EXPECT_EQ(s.StrokeNumber, 3);
        EXPECT_EQ(s.Power, 0);
        EXPECT_GT(s.Time, i == strokes ? lastTime : r.Log.Strokes[i - 1].Time);
        if (i > strokes) {
            EXPECT_NEAR(s.Time - r.Log.Strokes[i - 1].Time, 2.1, 0.11);
        }
        EXPECT_EQ(s.Distance, r.Log.Strokes[strokes - 1].Distance);
    }
    EXPECT_EQ(r.In.Computer.Phase(), 0);
    // Rowing again starts a drive at once.
    r.Log.Order.clear();
    r.Pulses(StrokeTrain(2));
    EXPECT_EQ(r.Log.Order.substr(0, 2), "SF");
    EXPECT_EQ(r.Log.Strokes.back().StrokeNumber, 5);
}

TEST(StrokeComputation, ImplausibleIntervalsAreCorrected)
{
    TRig r;
    for (int i = 0; i < 10; ++i) r.Pulse(0.02);
    r.Pulse(0.003);
    EXPECT_NEAR(r.In.Computer.PulseInterval(), 0.02002, 1e-12);
    for (int i = 0; i < 10; ++i) r.Pulse(0.02);
    // 0.15 s is too long to measure and stops the flywheel; fed to the
    // computation directly it is taken as the interval before.
    r.In.Computer.PushValidity(true);
    r.In.Computer.Compute(0.15, 150, false);
    EXPECT_NEAR(r.In.Computer.PulseInterval(), 0.02, 1e-12);
    r.Pulse(0.15);
    EXPECT_FALSE(r.In.Computer.Started());
}

TEST(StrokeComputation, CoastingAtStartIsARecovery)
{
    TRig r;
    // Slowing down less than drag alone would: the force stays positive, so
    // only the coasting test can tell.
    double dt = 0.011;
    for (int i = 0; i < 40; ++i) r.Pulse(dt *= 1.0005);
    EXPECT_EQ(r.Log.Order.substr(0, 1), "S");
    EXPECT_EQ(r.In.Computer.Phase(), 2);
    EXPECT_TRUE(r.Log.Strokes.empty());
    EXPECT_EQ(std::count(r.Log.Order.begin(), r.Log.Order.end(), 'R'), 0);
}

TEST(StrokeComputation, ZeroThresholdsEndTheDriveWhenForceFallsToZero)
{
    TRig r;
    r.Pulses(StrokeTrain(3));
    const std::string& o = r.Log.Order;
    size_t f = 0, driveStart = 0;
    for (size_t i = 0; i < o.size(); ++i) {
        if (o[i] == 'S') driveStart = f;
        if (o[i] == 'D') {
            // The sample of the ending pulse is the first not above 0.
            EXPECT_LE(r.Log.Forces[f - 1], 0.0);
            for (size_t k = driveStart + 3; k + 1 < f; ++k) EXPECT_GT(r.Log.Forces[k], 0.0) << k;
        }
        if (o[i] == 'F') ++f;
    }
}

TEST(StrokeComputation, NegativeWorkCountsAsNone)
{
    // The flywheel was spun up before the computation started and coasts
    // down; the first stroke's energy is measured from pulse 1, and its drive
    // ends far slower than that: its work is negative and counts as none.
    // The strokes after it count in full.
    TRig r;
    std::vector<double> train;
    double dt = 0.008;
    while (dt < 0.015) train.push_back(dt *= 1.0028);
    const auto rowing = StrokeTrain(3);
    train.insert(train.end(), rowing.begin(), rowing.end());
    r.Pulses(train);
    ASSERT_EQ(r.Log.Strokes.size(), 3u);
    // The coasting flywheel's first pulses end a "drive" of a few
    // hundredths of a second: no stroke.
    EXPECT_EQ(r.In.Computer.DroppedStrokes(), 1);
    EXPECT_EQ(r.Log.Strokes[0].Energy, 0);
    EXPECT_EQ(r.Log.Strokes[0].EnergySum, 0);
    EXPECT_EQ(r.Log.Strokes[0].Power, 0);
    float sum = 0;
    for (size_t i = 1; i < r.Log.Strokes.size(); ++i) {
        const TStgStrokeData& s = r.Log.Strokes[i];
        EXPECT_GT(s.Energy, 0) << i;
        EXPECT_GT(s.Power, 0) << i;
        EXPECT_GT(s.EnergySum, sum) << i;
        sum = s.EnergySum;
    }
}

TEST(StrokeComputation, HandlerClosingTheInterfaceStopsThePulse)
{
    TRig r;
    r.In.Computer.OnStrokeData = [&](const TStgStrokeData&) {
        r.Log.Order += 'D';
        r.Open = false;  // the session limit was reached
    };
    r.Pulses(StrokeTrain(3));
    EXPECT_EQ(std::count(r.Log.Order.begin(), r.Log.Order.end(), 'D'), 1);
    EXPECT_EQ(r.Log.Order.back(), 'D');
    EXPECT_FALSE(r.In.Computer.Busy());
    EXPECT_EQ(r.In.Computer.Phase(), 1);
}

TEST(StrokeComputation, NoEventFollowsACloseFromAnyHandler)
{
    // The owner closes the interface from a handler of each kind of event,
    // at each of its first occurrences: nothing more is fired after that.
    const std::string kinds = "SFDR";
    for (char kind : kinds) {
        for (int occurrence = 1; occurrence <= 12; ++occurrence) {
            TRig r;
            int seen = 0;
            std::string afterClose;
            auto event = [&](char k) {
                if (!r.Open) {
                    afterClose += k;
                    return;
                }
                if (k == kind && ++seen == occurrence) r.Open = false;
            };
            r.In.Computer.OnStartingStroke = [&] { event('S'); };
            r.In.Computer.OnForceData = [&](int, double, double, double) { event('F'); };
            r.In.Computer.OnStrokeData = [&](const TStgStrokeData&) { event('D'); };
            r.In.Computer.OnStartingRecover = [&] { event('R'); };
            const auto train = StrokeTrain(4);
            for (double dt : train) {
                r.Pulse(dt);
                if (!r.Open) break;  // the owner stops feeding once closed
            }
            EXPECT_EQ(afterClose, "") << kind << " #" << occurrence;
            EXPECT_FALSE(r.In.Computer.Busy());
        }
    }
}

TEST(StrokeComputation, DriveLongerThanThePulseHistory)
{
    // A flywheel driven at a steady speed for far more pulses than the history
    // holds: the drag of every pulse still counts when the drive ends.
    TRig r([](TStrokeSettings& s) {
        s.Tension = 0;
        s.ElastConst = 0;
    });
    const int pulses = 200000;
    for (int i = 0; i < 10; ++i) r.Pulse(0.0105 - i * 0.00005);  // speeding up: a drive
    for (int i = 10; i < pulses; ++i) r.Pulse(0.01);
    double dt = 0.01;
    for (int i = 0; i < 30 && r.Log.Strokes.empty(); ++i) r.Pulse(dt *= 1.01);
    ASSERT_EQ(r.Log.Strokes.size(), 1u);
    const double dragPerPulse = 0.0001 / (0.01 * 0.01) / std::pow(4 / 6.283185307179586, 3);
    EXPECT_NEAR(r.Log.Strokes[0].Energy, dragPerPulse * pulses, 0.001 * dragPerPulse * pulses);
    EXPECT_NEAR(r.Log.Strokes[0].StrokeLength, (pulses + 1) * 2.2, 30 * 2.2);
}

TEST(StrokeComputation, ResetAfterAnyRunComputesLikeAFreshComputer)
{
    // The pulse history grows with the run: after a short run, one long
    // enough to wrap the whole history, and in a copy taken after it, a reset
    // must leave nothing behind.
    const std::vector<double> session = StrokeTrain(6);
    const auto row = [&session](TStrokeComputer& c, TEventLog& log) {
        log.Attach(c);
        double clock = 0;
        c.Clock = [&clock] { return int64_t(std::floor(clock * 1000)); };
        c.Reset();
        for (double dt : session) {
            clock += dt;
            c.PushValidity(true);
            c.Compute(dt, 150, false);
        }
        c.Clock = nullptr;
    };
    TRig fresh;
    TEventLog expected;
    row(fresh.In.Computer, expected);
    ASSERT_GE(expected.Strokes.size(), 4u);
    for (const int before : {3, 500, TStrokeComputer::kPulseRing + 900}) {
        TRig used;
        const std::vector<double> earlier = StrokeTrain(before / 160 + 1);
        for (int i = 0; i < before; ++i) used.Pulse(earlier[size_t(i) % earlier.size()] * (1 + (i % 7) * 0.01));
        TStrokeComputer copy = used.In.Computer;
        for (TStrokeComputer* c : {&used.In.Computer, &copy}) {
            TEventLog log;
            row(*c, log);
            ASSERT_EQ(log.Order, expected.Order) << before;
            ASSERT_EQ(log.Strokes.size(), expected.Strokes.size()) << before;
            for (size_t k = 0; k < log.Strokes.size(); ++k)
                EXPECT_EQ(std::memcmp(&log.Strokes[k], &expected.Strokes[k], sizeof(TStgStrokeData)), 0)
                    << before << " stroke " << k;
        }
    }
}

TEST(StrokeComputation, CoastingTakenForADriveIsLeftBehind)
{
    // A machine with less drag than the first guess (k = 0.0001): its
    // recoveries slow the flywheel less than that drag would, so the force
    // never falls to the threshold. A "drive" longer than any stroke that
    // slows down is taken as coasting; the recovery that follows measures
    // the real drag, and from then on strokes are found.
    TRig r([](TStrokeSettings& s) { s.ThresHold = 5; });
    r.Pulses(StrokeTrain(8, 50, 300));
    EXPECT_EQ(r.In.Computer.CoastingDrives(), 1);
    const std::string& o = r.Log.Order;
    const size_t firstR = o.find('R'), firstD = o.find('D');
    ASSERT_NE(firstR, std::string::npos);
    ASSERT_NE(firstD, std::string::npos);
    EXPECT_LT(firstR, firstD);  // the coasting ends without a stroke
    EXPECT_GE(r.Log.Strokes.size(), 5u);
    EXPECT_LT(r.In.Computer.DragFactor(), 0.0001);
    for (const auto& st : r.Log.Strokes) EXPECT_LT(st.StrokeLength, 400.0f);
}

TEST(StrokeComputation, JumpInTheRecoveryKeepsTheLastDragFactor)
{
    // Pulses of the middle of one recovery never arrive (the interface was
    // paused while the flywheel ran on): the intervals jump. The jump is not a
    // coast-down; a drag factor made from it would be several times too high,
    // and no drive would end until the flywheel stood still.
    TRig r;
    std::vector<double> train = StrokeTrain(8);
    const size_t stroke = 160;
    train.erase(train.begin() + 4 * stroke + 70, train.begin() + 4 * stroke + 150);
    size_t i = 0;
    double before = 0;
    for (; i < 4 * stroke + 70; ++i) r.Pulse(train[i]);
    before = r.In.Computer.DragFactor();
    ASSERT_GT(before, 0.0001);
    for (; i < train.size(); ++i) r.Pulse(train[i]);
    EXPECT_EQ(r.In.Computer.RejectedRecoveries(), 1);
    EXPECT_EQ(r.In.Computer.CoastingDrives(), 0);
    EXPECT_EQ(r.Log.Strokes.size(), 8u);
    ASSERT_GE(r.Log.Strokes.size(), 6u);
    // The stroke after the jump measures with the factor from before it.
    EXPECT_NEAR(r.Log.Strokes[5].KValue, before * 10000, 1e-4);
    for (const auto& st : r.Log.Strokes) EXPECT_LT(st.StrokeLength, 150.0f);
    // Plain recoveries are all taken.
    TRig plain;
    plain.Pulses(StrokeTrain(8));
    EXPECT_EQ(plain.In.Computer.RejectedRecoveries(), 0);
    EXPECT_NEAR(plain.In.Computer.DragFactor(), before, 0.02 * before);
}

TEST(StrokeComputation, HeartRateFilter)
{
    TRig r;
    r.Pulses(StrokeTrain(3));
    EXPECT_EQ(r.Log.Strokes.back().Pulse, 150);
    // A sudden jump is followed slowly, not at once.
    r.Log.Strokes.clear();
    for (double dt : StrokeTrain(2)) r.Pulse(dt, 180);
    ASSERT_FALSE(r.Log.Strokes.empty());
    EXPECT_GT(r.Log.Strokes[0].Pulse, 150);
    EXPECT_LT(r.Log.Strokes[0].Pulse, 180);
    // Pulses of a standstill before the first stroke leave the rate alone:
    // the mean runs over the filter's filled entries only.
    TRig late;
    for (int i = 0; i < 60; ++i) late.Pulse(0.1, 150);
    for (double dt : StrokeTrain(2)) late.Pulse(dt, 150);
    ASSERT_FALSE(late.Log.Strokes.empty());
    EXPECT_EQ(late.Log.Strokes[0].Pulse, 150);
    // The raw rate is taken as it is when asked for.
    TRig raw([](TStrokeSettings& s) { s.RawHeartRate = true; });
    for (double dt : StrokeTrain(2)) raw.Pulse(dt, 133);
    EXPECT_EQ(raw.Log.Strokes.back().Pulse, 133);
}

TEST(StrokeComputation, DrivesTooShortForARowerAreNoStrokes)
{
    // Rowing, then a flutter of drives of 12 pulses (about 0.15 s, as line
    // noise and the first pulses after a stall give), then rowing again.
    TRig r;
    auto train = StrokeTrain(3);
    const auto flutter = StrokeTrain(3, 12, 20);
    train.insert(train.end(), flutter.begin(), flutter.end());
    const auto again = StrokeTrain(3);
    train.insert(train.end(), again.begin(), again.end());
    r.Pulses(train);
    EXPECT_GE(r.In.Computer.DroppedStrokes(), 2);
    ASSERT_EQ(r.Log.Strokes.size(), 6u);
    for (size_t i = 0; i < r.Log.Strokes.size(); ++i) {
        const TStgStrokeData& s = r.Log.Strokes[i];
        EXPECT_EQ(s.StrokeNumber, i + 1);
        EXPECT_GE(s.DriveTime, TStrokeComputer::kShortestDrive) << i;
        if (i > 0) {
            EXPECT_GE(s.DriveTime * s.RecoverRatio, TStrokeComputer::kShortestRecovery) << i;
        }
    }
    // The first stroke after the flutter spans the time since the last
    // stroke: its rate is that of a stroke that long.
    const TStgStrokeData& after = r.Log.Strokes[3];
    const double span = after.Time - r.Log.Strokes[2].Time;
    EXPECT_NEAR(after.StrokeRate, 60.0 / span, 1e-3 * 60.0 / span);
    EXPECT_NEAR(after.DriveTime * (1 + after.RecoverRatio), span, 1e-3 * span);
    // A reset starts the count again.
    r.In.Computer.Reset();
    EXPECT_EQ(r.In.Computer.DroppedStrokes(), 0);
}

TEST(StrokeComputation, NoHeartSignalGivesNoPulse)
{
    // The frame's minimum (no chest belt) and the 0 of interfaces without a
    // heart signal: no pulse, also not from the filter or its first value.
    for (int none : {30, 0}) {
        TRig filtered;
        TRig raw([](TStrokeSettings& s) { s.RawHeartRate = true; });
        for (TRig* r : {&filtered, &raw}) {
            for (double dt : StrokeTrain(3)) r->Pulse(dt, none);
            ASSERT_FALSE(r->Log.Strokes.empty());
            for (const TStgStrokeData& s : r->Log.Strokes) {
                EXPECT_EQ(s.Pulse, 0) << none;
                EXPECT_EQ(s.WorkPerPulse, 0);
            }
            EXPECT_EQ(r->In.Computer.HeartCorrected(), 0);
        }
    }
    // A belt put on later: its real rate, not one pulled towards 0.
    TRig later;
    for (double dt : StrokeTrain(2)) later.Pulse(dt, 30);
    later.Log.Strokes.clear();
    for (double dt : StrokeTrain(2)) later.Pulse(dt, 140);
    ASSERT_FALSE(later.Log.Strokes.empty());
    EXPECT_EQ(later.Log.Strokes.back().Pulse, 140);
}
