// Workout parsing and clamping, the enabling rules and the label texts of the
// training and results windows, without a window.
#include <gtest/gtest.h>

#include "core/catalogue.h"
#include "core/values.h"
#include "logic/training_logic.h"
#include "tests/support/testutil_logic.h"
#include "util/profile.h"
#include "util/text.h"

TEST(WorkoutTime, ParsesHoursMinutesSeconds)
{
    int32_t s = -1;
    EXPECT_TRUE(TryParseTimeText("1:30:00", s));
    EXPECT_EQ(s, 5400);
    EXPECT_TRUE(TryParseTimeText("0:01:05", s));
    EXPECT_EQ(s, 65);
    EXPECT_TRUE(TryParseTimeText(" 1:30 ", s));
    EXPECT_EQ(s, 5400);
    EXPECT_TRUE(TryParseTimeText("0:00:59.6", s));
    EXPECT_EQ(s, 60);
    for (const char* bad : {"", "abc", "1:60", "24:00:00", "1:2:3:4", "-1:00", "1::", "1:30:x"})
        EXPECT_FALSE(TryParseTimeText(bad, s)) << bad;
}

TEST(WorkoutTime, TextWrapsLikeATimeOfDay)
{
    EXPECT_EQ(SecondsToTimeText(5400), "1:30:00");
    EXPECT_EQ(SecondsToTimeText(65), "0:01:05");
    EXPECT_EQ(SecondsToTimeText(65535), "18:12:15");
    EXPECT_EQ(SecondsToTimeText(90000), "1:00:00");
}

TEST(WorkoutEdit, LimitValueByLimitType)
{
    TTrainingSettings s = DefaultSettings();
    s.LimitType = 3;  // time
    EXPECT_TRUE(IsTimeEdit(s, wetLimitValue));
    auto r = ApplyWorkoutEdit(s, wetLimitValue, "1:30:00");
    EXPECT_TRUE(r.Accepted);
    EXPECT_TRUE(r.Changed);
    EXPECT_EQ(s.LimitTime, 5400);
    EXPECT_EQ(WorkoutEditText(s, wetLimitValue), "1:30:00");
    // The same value again changes nothing.
    EXPECT_FALSE(ApplyWorkoutEdit(s, wetLimitValue, "1:30:00").Changed);
    // An unreadable time is stored as 0 seconds, not refused.
    r = ApplyWorkoutEdit(s, wetLimitValue, "later");
    EXPECT_TRUE(r.Accepted);
    EXPECT_EQ(s.LimitTime, 0);

    s.LimitType = 2;  // distance: integers, other slot
    r = ApplyWorkoutEdit(s, wetLimitValue, "2000");
    EXPECT_TRUE(r.Accepted);
    EXPECT_EQ(s.LimitDistance, 2000);
    EXPECT_EQ(s.LimitTime, 0);
    EXPECT_EQ(WorkoutEditText(s, wetLimitValue), "2000");
    s.LimitType = 4;
    ApplyWorkoutEdit(s, wetLimitValue, "6");
    EXPECT_EQ(s.LimitIntervals, 6);
    s.LimitType = 0;
    ApplyWorkoutEdit(s, wetLimitValue, "300");
    EXPECT_EQ(s.LimitStrokes, 300);
    s.LimitType = 1;
    ApplyWorkoutEdit(s, wetLimitValue, "50");
    EXPECT_EQ(s.LimitEnergy, 50);
}

TEST(WorkoutEdit, IntegersAreRefusedWithTheirText)
{
    TTrainingSettings s = DefaultSettings();
    auto r = ApplyWorkoutEdit(s, wetWeight, "8o");
    EXPECT_FALSE(r.Accepted);
    EXPECT_EQ(r.Error, "'8o' is not a valid integer value");
    EXPECT_EQ(s.Weight, 80);
    s.LimitType = 2;
    r = ApplyWorkoutEdit(s, wetLimitValue, "1:30:00");  // a time where a number belongs
    EXPECT_FALSE(r.Accepted);
    EXPECT_EQ(r.Error, "'1:30:00' is not a valid integer value");
    EXPECT_EQ(s.LimitDistance, 0);
    r = ApplyWorkoutEdit(s, 9, "1");
    EXPECT_FALSE(r.Accepted);
    EXPECT_EQ(r.Error, "Unknown tag : 9");
}

TEST(WorkoutEdit, ClampsAllButTheWeight)
{
    TTrainingSettings s = DefaultSettings();
    s.IntervalBy = 0;  // strokes
    ApplyWorkoutEdit(s, wetWorkPeriod, "70000");
    EXPECT_EQ(s.WorkStrokes, 65535);
    EXPECT_EQ(s.WorkPeriod, 65535);
    ApplyWorkoutEdit(s, wetRestPeriod, "-5");
    EXPECT_EQ(s.RestStrokes, 0);
    EXPECT_EQ(s.RestPeriod, 0);
    ApplyWorkoutEdit(s, wetWeight, "70000");
    EXPECT_EQ(s.Weight, 70000);
    ApplyWorkoutEdit(s, wetWeight, "-3");
    EXPECT_EQ(s.Weight, -3);
    ApplyWorkoutEdit(s, wetStartValue, "99999");
    EXPECT_EQ(s.StartValue, 65535);
    EXPECT_EQ(ClampWorkoutValue(-1), 0);
    EXPECT_EQ(ClampWorkoutValue(65536), 65535);
}

TEST(WorkoutEdit, PeriodsFollowIntervalBy)
{
    TTrainingSettings s = DefaultSettings();  // by time, work 60 s, rest 30 s
    EXPECT_EQ(WorkoutEditText(s, wetWorkPeriod), "0:01:00");
    EXPECT_EQ(WorkoutEditText(s, wetRestPeriod), "0:00:30");
    ApplyWorkoutEdit(s, wetWorkPeriod, "0:02:00");
    EXPECT_EQ(s.WorkTime, 120);
    EXPECT_EQ(s.WorkPeriod, 120);
    s.IntervalBy = 2;  // distance
    EXPECT_EQ(WorkoutEditText(s, wetWorkPeriod), "0");
    ApplyWorkoutEdit(s, wetWorkPeriod, "500");
    EXPECT_EQ(s.WorkDistance, 500);
    EXPECT_EQ(s.WorkTime, 120);
    s.IntervalBy = 1;
    ApplyWorkoutEdit(s, wetRestPeriod, "12");
    EXPECT_EQ(s.RestEnergy, 12);
    EXPECT_EQ(s.RestPeriod, 12);
}

TEST(WorkoutCombo, StoresTheItemIndex)
{
    TTrainingSettings s = DefaultSettings();
    EXPECT_TRUE(ApplyWorkoutCombo(s, wctSessionLimit, 4).Changed);
    EXPECT_EQ(s.LimitType, 4);
    EXPECT_FALSE(ApplyWorkoutCombo(s, wctSessionLimit, 4).Changed);
    ApplyWorkoutCombo(s, wctGender, 1);
    ApplyWorkoutCombo(s, wctBoat, 7);
    ApplyWorkoutCombo(s, wctSprocket, 0);
    ApplyWorkoutCombo(s, wctErgometer, 2);
    ApplyWorkoutCombo(s, wctIntervalBy, 0);
    ApplyWorkoutCombo(s, wctDisplay, 1);
    EXPECT_EQ(s.Gender, 1);
    EXPECT_EQ(s.BoatType, 7);
    EXPECT_EQ(s.Sprocket, 0);
    EXPECT_EQ(s.Ergometer, 2);
    EXPECT_EQ(s.IntervalBy, 0);
    EXPECT_EQ(s.Display, 1);
    EXPECT_EQ(WorkoutComboIndex(s, wctBoat), 7);
    EXPECT_FALSE(ApplyWorkoutCombo(s, 8, 0).Accepted);
}

TEST(TrainingEnabling, ResetWorkoutAndIntervals)
{
    TTraining t = MakeRowedSession(3);
    t.Header.ContentKind = ckRow;
    auto e = TrainingEnabling(t, true);
    EXPECT_TRUE(e.ResetEnabled);
    EXPECT_FALSE(e.WorkoutEnabled);  // a recorded session's workout is not edited
    EXPECT_FALSE(e.IntervalsVisible);
    t.Header.ContentKind = ckManual;
    t.Settings.LimitType = 4;
    e = TrainingEnabling(t, true);
    EXPECT_TRUE(e.WorkoutEnabled);
    EXPECT_TRUE(e.IntervalsVisible);
    e = TrainingEnabling(t, false);
    EXPECT_FALSE(e.ResetEnabled);
    EXPECT_FALSE(e.WorkoutEnabled);
    TTraining empty = MakeRowedSession(0);
    EXPECT_FALSE(TrainingEnabling(empty, true).ResetEnabled);
    // Original kind "User" alone makes the session a user profile.
    empty.Header.ContentKind = ckTraining;
    empty.Header.OriginalKind = ckUser;
    EXPECT_TRUE(TrainingEnabling(empty, true).WorkoutEnabled);
}

TEST(TrainingTexts, ModifiedMark)
{
    EXPECT_EQ(ModifiedCaption("Totals", true), "Totals (*)");
    EXPECT_EQ(ModifiedCaption("Totals (*)", true), "Totals (*)");
    EXPECT_EQ(ModifiedCaption("Totals (*)", false), "Totals");
    EXPECT_EQ(ModifiedCaption("&User", false), "&User");
}

std::string FixedDate(double) { return "DATE"; }
std::string NoDate(double) { return ""; }

TEST(TrainingTexts, FileGroup)
{
    auto g = FileGroupTexts("", 0, 0, 0, 0, FixedDate);
    EXPECT_EQ(g.File, "-");
    EXPECT_EQ(g.DateTime, "-");
    EXPECT_EQ(g.Size, "-");
    EXPECT_EQ(g.Type, "-");
    g = FileGroupTexts("/nowhere/rows/monday.stg", 46000.5, 1234, ftSTG, ckTraining, FixedDate);
    EXPECT_EQ(g.File, "monday.stg");
    EXPECT_EQ(g.DateTime, "DATE");
    EXPECT_EQ(g.Size, "1234 bytes");  // the file is not on disk: the stored size
    EXPECT_EQ(g.Type, "Training (STG)");
    EXPECT_EQ(FileGroupTexts("a.stg", 1.0, 0, 0, 0, FixedDate).DateTime, "-");
    EXPECT_EQ(FileGroupTexts("a.stg", 73000.0, 0, 0, 0, FixedDate).DateTime, "-");
    EXPECT_EQ(FileGroupTexts("a.stg", 46000.0, 0, 0, 0, NoDate).DateTime, "-");
    // A file on disk shows its real size.
    std::string path = TestDataFile("training/sample.stg");
    EXPECT_EQ(FileGroupTexts(path, 0, 5, ftSTG, ckTraining, FixedDate).Size, "58993 bytes");
    EXPECT_FALSE(SystemDateTimeText(46000.5).empty());
}

TEST(TrainingTexts, InterfaceAndClient)
{
    TTraining t = MakeRowedSession(0);
    t.Header.InterfaceType = 1;
    t.ProgramVersion = 0x09000001;
    EXPECT_EQ(InterfaceLabelText(t), "");  // an empty session shows nothing
    AppendStroke(t);
    EXPECT_EQ(InterfaceLabelText(t), "VT Interface @ Vtw 9.0.0.1  ");
    t.Header.InterfaceType = 0;
    t.Header.Creator = 0;
    t.ProgramVersion = 0;
    EXPECT_EQ(InterfaceLabelText(t), "  ");
    EXPECT_EQ(ClientAddressText(t), "-");
    t.Client.Address = "10.0.0.7";
    t.Client.Port = 4242;
    EXPECT_EQ(ClientAddressText(t), "10.0.0.7:4242");
    t.ClientId = 102;
    t.RowStatus = rsDisconnected;
    EXPECT_EQ(ClientIdStatusText(t), "102 / Disconnected");
}

TEST(TrainingTexts, TotalsAndRatio)
{
    TTraining t = MakeRowedSession(10);
    TTotalsTexts x = TotalsTexts(t);
    EXPECT_EQ(x.Distance, TotalValueTextWithUnit(t, 0));
    EXPECT_EQ(x.Time, TotalValueTextWithUnit(t, 1));
    EXPECT_EQ(x.Energy, TotalValueTextWithUnit(t, 2));
    EXPECT_EQ(x.Strokes, TotalValueTextWithUnit(t, 4));
    EXPECT_EQ(x.Power, TotalValueTextWithUnit(t, 3));
    EXPECT_EQ(x.Time500, TotalValueTextWithUnit(t, 5));
    EXPECT_EQ(x.StrokeRate, TotalValueTextWithUnit(t, 6));
    EXPECT_EQ(x.Strokes, "10");
    float sum = 0;
    for (int k = 1; k <= 10; ++k) sum += t.Strokes[size_t(k)].RecoverRatio;
    EXPECT_EQ(x.DRRatio, FormatValue("%1.2f", sum / 10));
    EXPECT_EQ(TotalsTexts(MakeRowedSession(0)).DRRatio, "0.00");
}

TEST(ResultsTexts, MaximaAndCaption)
{
    TTraining t = MakeRowedSession(12);
    t.Header.Title.SetText("Race piece");
    t.Strokes[5].Power = 400;
    t.Strokes[6].Time500 = 90;
    t.Strokes[7].StrokeRate = 36;
    t.Strokes[8].RecoverRatio = 2.5f;
    TResultsTexts r = ResultsTexts(t);
    EXPECT_EQ(r.Caption, "Results for Race piece");  // the title, not the rower's name
    EXPECT_EQ(r.MaxPower, "400 W");                  // trimmed
    EXPECT_EQ(r.Max500m, "01:30.0 m:s");
    EXPECT_EQ(r.MaxStrokeRate, "36.0 /min");
    EXPECT_EQ(r.MaxDriveRecover, "2.50");
    TResultsFigures f = ResultsFigures(t);
    EXPECT_FLOAT_EQ(f.AverageRatio, SafeDivide(12, f.RatioSum));
}

TEST(ResultsTexts, SessionWithoutStrokes)
{
    TTraining t = MakeRowedSession(0);
    TResultsTexts r = ResultsTexts(t);
    EXPECT_EQ(r.MaxPower, "0 W");
    EXPECT_EQ(r.MaxStrokeRate, "0.0 /min");
    EXPECT_EQ(r.MaxDriveRecover, "0.00");
    EXPECT_EQ(r.Totals.DRRatio, "0.00");
    EXPECT_EQ(r.Max500m, "00:00.0 m:s");
}

TEST(SplitPresets, ListsAndRememberedPositions)
{
    EXPECT_EQ(SplitPresets(0).size(), 6u);
    EXPECT_EQ(SplitPresets(1).back(), "1000 meter");
    EXPECT_EQ(SplitPresets(2).front(), "0:30 m:s");
    EXPECT_EQ(SplitPresetIndex(0, 4), 4);
    EXPECT_EQ(SplitPresetIndex(1, 5), 2);  // beyond the list: the third preset
    EXPECT_EQ(SplitPresetIndex(2, -1), 2);
}

TEST(RememberedLists, GapsAndDuplicates)
{
    TLogicEnv env;
    std::vector<std::string> items = {"Eva", "", "Tom"};
    EXPECT_FALSE(RememberEntry(items, "Eva"));
    EXPECT_FALSE(RememberEntry(items, ""));
    EXPECT_TRUE(RememberEntry(items, "eva"));  // other case, other entry
    std::string path = env.File("lists.ini");
    {
        TProfileFile ini(path);
        ini.WriteString("Name", "old", "gone");
        WriteRememberedList(ini, "Name", items);
        ini.UpdateFile();
    }
    TProfileFile ini(path);
    EXPECT_FALSE(ini.ValueExists("Name", "old"));
    EXPECT_EQ(ini.ReadString("Name", "0", ""), "Eva");
    EXPECT_FALSE(ini.ValueExists("Name", "1"));  // the empty entry leaves a gap
    EXPECT_EQ(ini.ReadString("Name", "2", ""), "Tom");
    EXPECT_EQ(ReadRememberedList(ini, "Name"), (std::vector<std::string>{"Eva", "Tom", "eva"}));
}

TEST(SaveTarget, SessionWithoutAFileTypeBecomesATrainingFile)
{
    TTrainingHeader h = DefaultHeader();
    h.ContentKind = ckUser;
    // Only a ".stg" name (in any case) and only while there is no file type.
    EXPECT_FALSE(PrepareTrainingFileSave(h, "", false));
    EXPECT_FALSE(PrepareTrainingFileSave(h, "/x/row.ini", false));
    EXPECT_FALSE(PrepareTrainingFileSave(h, "/x/row.stg.bak", false));
    EXPECT_EQ(h.FileType, 0);
    EXPECT_TRUE(PrepareTrainingFileSave(h, "/x/row.StG", false));
    EXPECT_EQ(h.FileType, ftSTG);
    EXPECT_EQ(h.ContentKind, ckUser);  // a kind it has is kept
    EXPECT_FALSE(PrepareTrainingFileSave(h, "/x/row.stg", false));

    // Without a kind: a training when it holds a recording, else a user profile.
    h.FileType = 0;
    h.ContentKind = ckNone;
    EXPECT_TRUE(PrepareTrainingFileSave(h, "row.stg", false));
    EXPECT_EQ(h.ContentKind, ckTraining);
    h.FileType = 0;
    h.ContentKind = ckNone;
    EXPECT_TRUE(PrepareTrainingFileSave(h, "row.stg", true));
    EXPECT_EQ(h.ContentKind, ckUser);
    // A session with a file type of another kind keeps it.
    h.FileType = ftSTR;
    EXPECT_FALSE(PrepareTrainingFileSave(h, "row.stg", false));
    EXPECT_EQ(h.FileType, ftSTR);
}
