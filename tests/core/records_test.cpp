#include <gtest/gtest.h>

#include <cstring>

#include "core/records.h"
#include "util/dialogs.h"
#include "util/version.h"

namespace {
TTraining SessionWithStrokes(int n)
{
    TTraining t;
    ClearTraining(t);
    SetStrokeCount(t, n);
    for (int i = 1; i <= n; ++i) t.Strokes[size_t(i)].Time = float(i * 2);
    return t;
}
}  // namespace

TEST(StrokeCount, TrimGrowAndReset)
{
    TTraining t = SessionWithStrokes(3);
    // Growing keeps strokes 1..3 and adds numbered empty strokes.
    t.Strokes[2].Power = 250;
    SetStrokeCount(t, 5);
    ASSERT_EQ(t.Strokes.size(), 6u);
    ASSERT_EQ(t.Curves.size(), 6u);
    EXPECT_EQ(t.Strokes[2].Power, 250);
    EXPECT_EQ(t.Strokes[4].StrokeNumber, 4);
    EXPECT_EQ(t.Strokes[5].StrokeNumber, 5);
    EXPECT_EQ(t.Strokes[5].Time, 0);
    EXPECT_EQ(t.Curves[5].StrokeNumber, 5);
    EXPECT_EQ(t.Curves[5].HasData, 0);
    // -1 trims the trailing strokes whose time is 0.
    SetStrokeCount(t, -1);
    EXPECT_EQ(t.StrokeCount(), 3);
    EXPECT_EQ(t.Curves.size(), 4u);
    // All times 0: only slot 0 is left.
    for (auto& s : t.Strokes) s.Time = 0;
    SetStrokeCount(t, -1);
    EXPECT_EQ(t.Strokes.size(), 1u);
    EXPECT_EQ(t.Curves.size(), 1u);
    SetStrokeCount(t, 0);
    EXPECT_EQ(t.Strokes.size(), 1u);
}

TEST(IntervalCount, NeverShrinksExceptToZero)
{
    TTraining t;
    ClearTraining(t);
    SetIntervalCount(t, 3);
    EXPECT_EQ(t.Intervals[2].Number, 3);
    SetIntervalCount(t, 2);
    EXPECT_EQ(t.IntervalCount(), 3);
    SetIntervalCount(t, 0);
    EXPECT_EQ(t.IntervalCount(), 0);
}

TEST(Session, EmptinessAndUserOnly)
{
    TTraining t;
    ClearTraining(t);
    EXPECT_TRUE(IsEmptyTraining(t));
    t.Totals.Time = 1;
    EXPECT_FALSE(IsEmptyTraining(t));
    t.Totals.Time = 0;
    t.RawSamples.resize(2);
    EXPECT_FALSE(IsEmptyTraining(t));
    TTrainingHeader h{};
    h.ContentKind = ckManual;
    EXPECT_TRUE(IsUserOnly(h));
    h.ContentKind = ckTraining;
    h.OriginalKind = ckUser;
    EXPECT_TRUE(IsUserOnly(h));
    h.OriginalKind = ckManual;
    EXPECT_FALSE(IsUserOnly(h));
}

TEST(Session, ResetKeepsTheUser)
{
    TTraining t = SessionWithStrokes(4);
    t.Header = DefaultHeader();
    t.Settings = DefaultSettings();
    t.Header.Title.SetText("Morning row");
    t.Header.Name.SetText("Kim");
    t.Settings.Weight = 72;
    t.Header.FileSize = 99;
    t.Header.FileType = ftSTG;
    t.Live = 1;
    TGuid before = t.Header.Guid;
    ResetTraining(t);
    EXPECT_EQ(t.Header.FileName.Text(), "?");
    EXPECT_EQ(t.Header.ContentKind, ckUser);
    EXPECT_EQ(t.Header.Title.Text(), "Morning row");
    EXPECT_EQ(t.Header.Name.Text(), "Kim");
    EXPECT_EQ(t.Settings.Weight, 72);
    EXPECT_EQ(t.Header.FileSize, 0);
    EXPECT_EQ(t.Header.FileType, 0);
    EXPECT_EQ(t.Header.Modified, 1);
    EXPECT_EQ(t.Live, 0);
    EXPECT_EQ(t.Magic, kTrainingMagic);
    EXPECT_EQ(t.ProgramVersion, ProgramVersion());
    EXPECT_NE(t.Header.Guid, before);
    EXPECT_TRUE(IsEmptyTraining(t));
}

TEST(Session, ConfirmResetAsksOnlyWhenThereIsData)
{
    TScriptedDialogs script;
    TDialogScope scope(script);
    TTraining empty;
    ClearTraining(empty);
    auto r = ConfirmReset(empty, 1);
    EXPECT_TRUE(r.Proceed);
    EXPECT_FALSE(r.WasReset);
    EXPECT_TRUE(script.Messages.empty());

    TTraining t = SessionWithStrokes(2);
    script.Answers.push_back(TMsgResult::No);
    r = ConfirmReset(t, 1);
    EXPECT_FALSE(r.Proceed);
    EXPECT_EQ(t.StrokeCount(), 2);
    EXPECT_EQ(script.LastText(), "Connecting again will reset the current training session.\rDo you wish to continue?");

    script.Answers.push_back(TMsgResult::Yes);
    r = ConfirmReset(t, 7);
    EXPECT_TRUE(r.Proceed);
    EXPECT_TRUE(r.WasReset);
    EXPECT_EQ(t.StrokeCount(), 0);
    EXPECT_EQ(script.LastText(), "Do you wish to continue?");
}

TEST(Session, DefaultsAndPalette)
{
    ResetPaletteCounterForTesting();
    TTrainingHeader h = DefaultHeader();
    EXPECT_EQ(h.Title.Text(), "Anyone");
    EXPECT_EQ(h.Color, 0x0000FF);
    EXPECT_EQ(h.PenWidth, 2);
    EXPECT_EQ(h.Creator, 3);
    EXPECT_EQ(ListText(CreatorNames(), 3), "Vtw");
    EXPECT_EQ(DefaultHeader().Color, 0x00FF00);
    for (int i = 2; i < 15; ++i) NextPaletteColor();
    EXPECT_EQ(NextPaletteColor(), 0x0000FF);  // the 16th equals the 1st

    TTrainingSettings s = DefaultSettings();
    EXPECT_EQ(s.Weight, 80);
    EXPECT_EQ(s.Sprocket, 1);
    EXPECT_EQ(s.LimitType, 2);
    EXPECT_EQ(s.StartValue, 150);
    EXPECT_EQ(s.RestValue, 10);
    EXPECT_EQ(s.IntervalBy, 3);
    EXPECT_EQ(s.WorkTime, 60);
    EXPECT_EQ(s.RestTime, 30);
}

TEST(Session, LimitSlotsAndProgress)
{
    TTrainingSettings s = DefaultSettings();
    const int32_t* slots[5] = {&s.LimitStrokes, &s.LimitEnergy, &s.LimitDistance, &s.LimitTime, &s.LimitIntervals};
    for (int type = 0; type < 5; ++type) {
        s.LimitType = type;
        SetLimitValue(s, 100 + type);
        EXPECT_EQ(*slots[type], 100 + type);
        EXPECT_EQ(LimitValue(s), 100 + type);
    }
    s.LimitType = 9;
    EXPECT_EQ(LimitValue(s), 0);

    TStgStrokeData st = EmptyStroke(12);
    st.EnergySum = 3.5f;
    st.Distance = 120;
    st.Time = 40;
    st.IntervalNumber = 2;
    float expected[5] = {12, 3.5f, 120, 40, 2};
    for (int type = 0; type < 5; ++type) {
        s.LimitType = type;
        EXPECT_EQ(LimitProgressValue(st, s), expected[type]);
    }
    EXPECT_EQ(IntervalProgressValue(st, 2), 120);
    EXPECT_EQ(IntervalProgressValue(st, 4), 0);
}

TEST(Session, SampleSpacingAndCountdowns)
{
    TTrainingSettings s = DefaultSettings();
    EXPECT_DOUBLE_EQ(SampleSpacing(s), 2.2);
    s.Sprocket = 0;
    EXPECT_DOUBLE_EQ(SampleSpacing(s), 2.0);
    s.Ergometer = 2;
    EXPECT_DOUBLE_EQ(SampleSpacing(s), 4.5);
    s.Sprocket = 1;
    EXPECT_DOUBLE_EQ(SampleSpacing(s), 4.5);

    TTraining t = SessionWithStrokes(2);
    t.Strokes[1].IntervalCountdown = 64001;
    t.Strokes[2].IntervalCountdown = 64000;
    SanitizeCountdowns(t);
    EXPECT_EQ(t.Strokes[1].IntervalCountdown, 0);
    EXPECT_EQ(t.Strokes[2].IntervalCountdown, 64000);
}

TEST(ShortString, KeepsBytesPastTheLength)
{
    TShortString<255> s;
    std::memset(&s, 0xAB, sizeof s);
    s.SetText("Row");
    EXPECT_EQ(s.Length, 3);
    EXPECT_EQ(s.Data[3], 0xAB);
    EXPECT_EQ(s.Text(), "Row");
    // Longer than 255 bytes is cut.
    s.SetText(std::string(300, 'x'));
    EXPECT_EQ(s.Length, 255);
}
