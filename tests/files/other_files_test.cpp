// Stroke files, user files and the three Brax imports.
#include <gtest/gtest.h>

#include <cstring>

#include "files/brax_file.h"
#include "files/stroke_file.h"
#include "files/training_io.h"
#include "files/user_file.h"
#include "tests/support/scripted_dialogs.h"
#include "testutil_files.h"
#include "util/dialogs.h"

namespace {

using TParser = bool (*)(const TFileInfo&, const uint8_t*, size_t, TTraining&);

// Reads a test file with one of the memory parsers, as if it lay at path.
bool ParseData(TParser parse, const std::string& relative, TTraining& t, const std::string& path = "/data/x/file.dat")
{
    auto bytes = FileBytes(DataFile(relative));
    ClearTraining(t);
    TFileInfo info{path, 46000.5, int64_t(bytes.size())};
    return parse(info, bytes.data(), bytes.size(), t);
}

}  // namespace

TEST(StrokeFile, Read)
{
    TTraining t;
    ASSERT_TRUE(ParseData(ParseStrokeFile, "stroke/sample.str", t, "/data/x/one stroke.str"));
    EXPECT_EQ(t.Header.Title.Text(), "one stroke");
    EXPECT_EQ(t.Header.OriginalFileName.Text(), "/data/x/one stroke.str");
    EXPECT_EQ(t.Header.OriginalType, ftSTR);
    EXPECT_EQ(t.Header.OriginalKind, ckStroke);
    EXPECT_EQ(t.Header.OriginalSize, 218);
    EXPECT_EQ(t.Header.DateTime, 46000.5);
    EXPECT_EQ(t.Header.OriginalDate, 46000.5);
    ASSERT_EQ(t.StrokeCount(), 1);
    const TStgStrokeData& s = t.Strokes[1];
    EXPECT_EQ(s.StrokeNumber, 7);
    EXPECT_EQ(s.Power, 250.0f);
    EXPECT_EQ(s.Time, 95.0f);
    EXPECT_EQ(s.Distance, 410.0f);
    EXPECT_EQ(s.EnergySum, 23.0f);
    EXPECT_EQ(s.IntervalNumber, 2);
    EXPECT_EQ(s.IntervalCountdown, 17);
    EXPECT_EQ(s.IntervalPower, 230);
    const TStgForceCurve& c = t.Curves[1];
    EXPECT_EQ(c.StrokeNumber, 1);
    EXPECT_EQ(c.HasData, 1);
    // A zero byte after a sample above 750 N is the overflow mark: 780 N, and
    // so is the zero after it; after a lower sample a zero stays zero.
    EXPECT_EQ(c.Samples[30], 770);
    EXPECT_EQ(c.Samples[31], 780);
    EXPECT_EQ(c.Samples[32], 780);
    EXPECT_EQ(c.Samples[33], 578);  // 577.5 rounds to even
    EXPECT_EQ(c.Samples[40], 385);
    EXPECT_EQ(c.Samples[41], 0);
    EXPECT_EQ(c.Samples[79], 0);
    // The peak comes from the curve; the user record closes the file.
    EXPECT_EQ(s.PeakForce, 780.0f);
    EXPECT_FLOAT_EQ(s.PeakForcePosition, 65.0f);
    EXPECT_EQ(t.Header.Name.Text(), "Eva");
    EXPECT_EQ(t.Settings.Weight, 68);
    EXPECT_EQ(t.Settings.Sprocket, 0);
    EXPECT_EQ(t.Settings.LimitTime, 1800);
    // Slot 0 holds the stroke as well.
    EXPECT_EQ(std::memcmp(&t.Strokes[0], &t.Strokes[1], sizeof(TStgStrokeData)), 0);
    EXPECT_EQ(std::memcmp(&t.Curves[0], &t.Curves[1], sizeof(TStgForceCurve)), 0);
}

TEST(StrokeFile, WriteRoundsAndClamps)
{
    TTraining t;
    ASSERT_TRUE(ParseData(ParseStrokeFile, "stroke/sample.str", t));
    std::vector<uint8_t> original = FileBytes(DataFile("stroke/sample.str"));
    std::vector<uint8_t> written = StrokeFileBytes(t);
    ASSERT_EQ(written.size(), kStrokeFileSize);
    // Only the overflow marks come back as what they stand for (780 N).
    for (size_t i = 0; i < written.size(); ++i) {
        if (i == 32 + 31 || i == 32 + 32) EXPECT_EQ(written[i], 203) << i;
        else EXPECT_EQ(written[i], original[i]) << i;
    }

    TTraining u = MakeSession(1);
    u.Strokes[1].Power = 2.5f;
    u.Strokes[1].AveragePower = 3.5f;
    u.Strokes[1].Time = 70000.0f;
    u.Strokes[1].Distance = -3.0f;
    u.Curves[1].Samples[0] = 1000;
    u.Curves[1].Samples[1] = 77;  // 20.0 units
    auto bytes = StrokeFileBytes(u);
    EXPECT_EQ(U16At(bytes.data(), 2), 2);
    EXPECT_EQ(U16At(bytes.data(), 4), 4);
    EXPECT_EQ(U16At(bytes.data(), 10), 65535);
    EXPECT_EQ(U16At(bytes.data(), 14), 0);
    EXPECT_EQ(bytes[32], 255);
    EXPECT_EQ(bytes[33], 20);

    // A session without strokes gives a zero stroke rather than reading past its arrays.
    TTraining empty;
    ClearTraining(empty);
    EXPECT_EQ(StrokeFileBytes(empty).size(), kStrokeFileSize);
}

TEST(StrokeFile, SizeMustBeExact)
{
    TTraining t;
    EXPECT_FALSE(ParseData(ParseStrokeFile, "stroke/short.str", t));
    TScriptedDialogs dialogs;
    TDialogScope scope(dialogs);
    const std::string path = DataFile("stroke/short.str");
    EXPECT_FALSE(OpenTraining(path, t, true));
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.LastText(), "Error reading file \"" + path + "\"");
    EXPECT_TRUE(IsEmptyTraining(t));
    EXPECT_EQ(t.Header.Title.Length, 0);
}

TEST(UserFile, Read)
{
    TTraining t;
    ASSERT_TRUE(ParseData(ParseUserFile, "user/rower.ini", t, "/u/Eva.ini"));
    EXPECT_EQ(t.Header.Title.Text(), "Eva");
    EXPECT_EQ(t.Header.OriginalType, ftINI);
    EXPECT_EQ(t.Header.OriginalKind, ckUser);
    EXPECT_TRUE(IsUserOnly(t));
    EXPECT_EQ(t.Header.Name.Text(), "Eva");
    const TTrainingSettings& s = t.Settings;
    EXPECT_EQ(s.Weight, 68);
    EXPECT_EQ(s.Gender, 1);
    EXPECT_EQ(s.BoatType, 3);
    EXPECT_EQ(s.Ergometer, 1);
    EXPECT_EQ(s.Sprocket, 0);
    EXPECT_EQ(s.LimitType, 3);
    EXPECT_EQ(s.LimitTime, 1800);
    EXPECT_EQ(s.StartValue, 150);
    EXPECT_EQ(s.RestValue, 10);
    EXPECT_EQ(s.IntervalBy, 3);
    EXPECT_EQ(s.WorkPeriod, 60);
    EXPECT_EQ(s.WorkTime, 60);
    EXPECT_EQ(s.RestPeriod, 30);
    EXPECT_EQ(s.RestTime, 30);
    EXPECT_EQ(s.Display, 0);
    // Written again, the record is the same bytes.
    auto rec = UserRecordBytes(t);
    EXPECT_EQ(std::vector<uint8_t>(rec.begin(), rec.end()), FileBytes(DataFile("user/rower.ini")));
}

TEST(UserFile, NameOfNineCharacters)
{
    TTraining t;
    ASSERT_TRUE(ParseData(ParseUserFile, "user/nine_chars.ini", t));
    EXPECT_EQ(t.Header.Name.Text(), "Alexandra");
    auto rec = UserRecordBytes(t);
    EXPECT_EQ(std::memcmp(rec.data(), "Alexandra", 9), 0);
    EXPECT_EQ(rec[9], 2);  // the fixed bytes follow without a terminating zero
    t.Header.Name.SetText("Maximilian Muster");
    rec = UserRecordBytes(t);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(rec.data()), 9), "Maximilia");
    TTraining back;
    ClearTraining(back);
    ApplyUserRecord(rec.data(), back);
    EXPECT_EQ(back.Header.Name.Text(), "Maximilia");
}

TEST(UserFile, ErgometerBeyondTheEarlierEquipment)
{
    TTraining t;
    ASSERT_TRUE(ParseData(ParseUserFile, "user/ergometer3.ini", t));
    EXPECT_EQ(t.Settings.Ergometer, 0);
    auto rec = UserRecordBytes(t);
    PutU16(rec.data(), 28, 0xFFFF);  // -1
    ApplyUserRecord(rec.data(), t);
    EXPECT_EQ(t.Settings.Ergometer, 0);
    t.Settings.Ergometer = 3;
    EXPECT_EQ(U16At(UserRecordBytes(t).data(), 28), 0);
    t.Settings.Ergometer = 1;
    EXPECT_EQ(U16At(UserRecordBytes(t).data(), 28), 1);
}

TEST(UserFile, SizeMustBeExact)
{
    TTraining t;
    EXPECT_FALSE(ParseData(ParseUserFile, "user/long.ini", t));
    EXPECT_FALSE(ParseData(ParseUserFile, "user/short.ini", t));
    TTrainingHeader h{};
    EXPECT_FALSE(ReadUserFileHeader(DataFile("user/long.ini"), h));
    EXPECT_TRUE(ReadUserFileHeader(DataFile("user/rower.ini"), h));
    EXPECT_EQ(h.Title.Text(), "rower");
    EXPECT_EQ(h.OriginalSize, 106);
}

TEST(BraxFile, User)
{
    TTraining t;
    ASSERT_TRUE(ParseData(ParseBraxUser, "brax/user.bxi", t, "/b/rower.bxi"));
    EXPECT_EQ(t.Header.OriginalType, ftBXI);
    EXPECT_EQ(t.Header.OriginalKind, ckUser);
    EXPECT_EQ(t.Settings.BoatType, 3);
    EXPECT_EQ(t.Settings.Sprocket, 0);  // byte 10
    EXPECT_EQ(t.Settings.Weight, 72);
    EXPECT_EQ(t.Settings.LimitType, 3);
    EXPECT_EQ(t.Settings.LimitTime, 750);  // 12 min 30 s
    ASSERT_TRUE(ParseData(ParseBraxUser, "brax/user_sprocket1.bxi", t));
    EXPECT_EQ(t.Settings.Sprocket, 1);
    EXPECT_EQ(t.Settings.LimitType, 2);
    EXPECT_EQ(t.Settings.LimitDistance, 2000);
    EXPECT_FALSE(ParseData(ParseBraxUser, "brax/user_wrong_kind.bxi", t));
}

TEST(BraxFile, WorkoutCodes)
{
    uint8_t w[28] = {};
    TTrainingSettings s{};
    w[0] = 17;
    w[1] = 5;
    PutU16(w, 20, 30);
    PutU16(w, 22, 10);
    ApplyBraxWorkout(w, s);
    EXPECT_EQ(s.LimitType, 4);
    EXPECT_EQ(s.IntervalBy, 0);
    EXPECT_EQ(s.LimitIntervals, 5);
    EXPECT_EQ(s.WorkStrokes, 30);
    EXPECT_EQ(s.RestStrokes, 10);
    s = {};
    w[0] = 18;
    PutU16(w, 16, 40);
    PutU16(w, 18, 8);
    ApplyBraxWorkout(w, s);
    EXPECT_EQ(s.IntervalBy, 1);
    EXPECT_EQ(s.WorkEnergy, 40);
    EXPECT_EQ(s.RestEnergy, 8);
    s = {};
    w[0] = 2;
    PutU16(w, 6, 120);
    ApplyBraxWorkout(w, s);
    EXPECT_EQ(s.LimitType, 1);
    EXPECT_EQ(s.LimitEnergy, 120);
    s = {};
    s.Weight = 9;
    w[0] = 99;
    ApplyBraxWorkout(w, s);
    EXPECT_EQ(s.LimitType, 0);
    EXPECT_EQ(s.Weight, 9);
}

TEST(BraxFile, Stroke)
{
    TTraining t;
    ASSERT_TRUE(ParseData(ParseBraxStroke, "brax/stroke.bxr", t));
    EXPECT_EQ(t.Header.OriginalType, ftBXR);
    EXPECT_EQ(t.Header.OriginalKind, ckStroke);
    EXPECT_EQ(t.Settings.LimitType, 4);
    EXPECT_EQ(t.Settings.IntervalBy, 3);
    EXPECT_EQ(t.Settings.LimitIntervals, 4);
    EXPECT_EQ(t.Settings.WorkTime, 90);
    EXPECT_EQ(t.Settings.RestTime, 45);
    ASSERT_EQ(t.StrokeCount(), 1);
    const TStgStrokeData& s = t.Strokes[1];
    EXPECT_FLOAT_EQ(s.KValue, 0.85f);
    EXPECT_FLOAT_EQ(s.DriveTime, 0.8f);
    EXPECT_FLOAT_EQ(s.Energy, 550.0f);
    EXPECT_FLOAT_EQ(s.Power, 230.0f);
    EXPECT_FLOAT_EQ(s.RecoverRatio, 1.5f);
    EXPECT_FLOAT_EQ(s.Time500, 105.0f);
    EXPECT_FLOAT_EQ(s.WorkPerPulse, 250.0f);
    EXPECT_EQ(s.StrokeLength, 141.0f);
    EXPECT_EQ(s.StrokeRate, 26.0f);
    EXPECT_EQ(s.Pulse, 150.0f);
    EXPECT_EQ(s.IntervalNumber, 1);
    EXPECT_EQ(s.StrokeNumber, 1);
    EXPECT_FLOAT_EQ(s.Distance, 10.2f);
    EXPECT_FLOAT_EQ(s.EnergySum, 0.55f);
    EXPECT_FLOAT_EQ(s.Time, 2.4f);
    EXPECT_FLOAT_EQ(s.AveragePower, 225.0f);
    EXPECT_EQ(s.IntervalPower, 2300);
    EXPECT_EQ(s.IntervalCountdown, 60);  // by time: (uint16 at 42) / 10
    EXPECT_FLOAT_EQ(s.DistancePerStroke, 1020.0f);
    EXPECT_EQ(s.Target, 0.0f);
    const TStgForceCurve& c = t.Curves[1];
    EXPECT_EQ(c.HasData, 1);
    const auto raw = FileBytes(DataFile("brax/stroke.bxr"));
    EXPECT_EQ(c.Samples[37], uint16_t(raw[124 + 37] * 5.75));
    EXPECT_EQ(c.Samples[75], 0);
    EXPECT_GT(s.PeakForce, 0.0f);
}

TEST(BraxFile, Session)
{
    TTraining t;
    ASSERT_TRUE(ParseData(ParseBraxSession, "brax/session.bxs", t, "/b/race.bxs"));
    EXPECT_EQ(t.Header.Title.Text(), "race");
    EXPECT_EQ(t.Header.OriginalType, ftBXS);
    EXPECT_EQ(t.Header.OriginalKind, ckTraining);
    EXPECT_EQ(t.Header.Note.Text(), "Brax file. SW=4, HW=3, MR=2, BL=1");
    EXPECT_EQ(t.Settings.IntervalBy, 2);
    EXPECT_EQ(t.Settings.WorkDistance, 250);
    EXPECT_EQ(t.Settings.RestDistance, 100);
    ASSERT_EQ(t.StrokeCount(), 3);
    // The later stroke records replace the values of the ones with curves.
    EXPECT_FLOAT_EQ(t.Strokes[2].Distance, 20.3f);
    EXPECT_FLOAT_EQ(t.Strokes[3].DistancePerStroke, 1015.0f);
    EXPECT_EQ(t.Strokes[3].IntervalCountdown, 150);  // by distance: uint16 at 46
    EXPECT_EQ(t.Curves[3].HasData, 1);
    EXPECT_GT(t.Strokes[3].PeakForce, t.Strokes[1].PeakForce);
    // Three intervals announced: records for intervals 1 and 2.
    ASSERT_EQ(t.IntervalCount(), 3);
    EXPECT_EQ(t.Intervals[0].Number, 1);
    EXPECT_EQ(t.Intervals[0].TotalTime, 0);
    EXPECT_EQ(t.Intervals[1].Number, 1);
    EXPECT_EQ(t.Intervals[1].TotalTime, 60);
    EXPECT_EQ(t.Intervals[1].AveragePower, 231);
    EXPECT_EQ(t.Intervals[1].TotalDistance, 250);
    EXPECT_EQ(t.Intervals[2].Number, 2);
    EXPECT_EQ(t.Intervals[2].TotalTime, 60);
    EXPECT_FLOAT_EQ(t.Totals.Distance, 30.5f);
    EXPECT_FLOAT_EQ(t.Totals.Energy, 1.65f);
    EXPECT_FLOAT_EQ(t.Totals.Time, 7.2f);
    EXPECT_FLOAT_EQ(t.Totals.AveragePower, 229.0f);
}

TEST(BraxFile, BrokenSessions)
{
    TTraining t;
    EXPECT_FALSE(ParseData(ParseBraxSession, "brax/session_truncated.bxs", t));
    EXPECT_FALSE(ParseData(ParseBraxSession, "brax/session_bad_magic.bxs", t));
    EXPECT_FALSE(ParseData(ParseBraxSession, "brax/session_overcount.bxs", t));
    EXPECT_FALSE(ParseData(ParseBraxSession, "brax/user.bxi", t));  // too small
    EXPECT_FALSE(ParseData(ParseBraxStroke, "brax/session.bxs", t));
}

TEST(BraxFile, HeadersOnlyCheckTheSize)
{
    TTrainingHeader h{};
    EXPECT_TRUE(ReadBraxSessionHeader(DataFile("brax/session.bxs"), h));
    EXPECT_EQ(h.OriginalSize, 824);
    EXPECT_EQ(h.Title.Text(), "session");
    EXPECT_TRUE(ReadBraxStrokeHeader(DataFile("brax/stroke.bxr"), h));
    EXPECT_FALSE(ReadBraxStrokeHeader(DataFile("brax/user.bxi"), h));
    EXPECT_TRUE(ReadBraxUserHeader(DataFile("brax/user.bxi"), h));
    EXPECT_FALSE(ReadBraxUserHeader(DataFile("brax/nothing.bxi"), h));
}
