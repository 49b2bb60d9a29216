#include <gtest/gtest.h>

#include "core/records.h"
#include "tests/support/scripted_dialogs.h"
#include "util/dialogs.h"

namespace {

TTraining WithStrokes(int n)
{
    TTraining t;
    ClearTraining(t);
    SetStrokeCount(t, n);
    for (int k = 1; k <= n; ++k) t.Strokes[size_t(k)].Time = float(k);
    return t;
}

TEST(Records, SetStrokeCountTrimsKeepsAndGrows)
{
    TTraining t = WithStrokes(6);
    t.Strokes[5].Time = 0;
    t.Strokes[6].Time = 0;
    SetStrokeCount(t, -1);
    EXPECT_EQ(t.StrokeCount(), 4);
    EXPECT_EQ(t.Curves.size(), 5u);
    for (int k = 1; k <= 4; ++k) t.Strokes[size_t(k)].Time = 0;
    SetStrokeCount(t, -1);
    EXPECT_EQ(t.Strokes.size(), 1u);
    EXPECT_EQ(t.Curves.size(), 1u);

    TTraining u = WithStrokes(3);
    u.Strokes[2].Power = 7;
    SetStrokeCount(u, 5);
    EXPECT_EQ(u.StrokeCount(), 5);
    EXPECT_EQ(+u.Strokes[2].Power, 7);
    EXPECT_EQ(+u.Strokes[4].StrokeNumber, 4);
    EXPECT_EQ(+u.Strokes[5].StrokeNumber, 5);
    EXPECT_EQ(+u.Strokes[5].Time, 0);
    EXPECT_EQ(+u.Curves[5].StrokeNumber, 5);
    EXPECT_EQ(+u.Curves[5].HasData, 0);
    SetStrokeCount(u, 0);
    EXPECT_EQ(u.Strokes.size(), 1u);
    EXPECT_EQ(+u.Strokes[0].Power, 0);
}

TEST(Records, SetIntervalCountNeverShrinks)
{
    TTraining t;
    ClearTraining(t);
    SetIntervalCount(t, 3);
    ASSERT_EQ(t.IntervalCount(), 3);
    EXPECT_EQ(+t.Intervals[2].Number, 3);
    SetIntervalCount(t, 2);
    EXPECT_EQ(t.IntervalCount(), 3);
    SetIntervalCount(t, 0);
    EXPECT_EQ(t.IntervalCount(), 0);
}

TEST(Records, EmptyTrainingAndReset)
{
    TTraining t;
    ClearTraining(t);
    EXPECT_TRUE(IsEmptyTraining(t));
    t.Totals.Time = 1;
    EXPECT_FALSE(IsEmptyTraining(t));

    TScriptedDialogs dialogs;
    TDialogScope scope(dialogs);
    TTraining empty;
    ClearTraining(empty);
    TConfirmResult r = ConfirmReset(empty, 1);
    EXPECT_TRUE(r.Proceed);
    EXPECT_FALSE(r.WasReset);
    EXPECT_TRUE(dialogs.Messages.empty());

    TTraining full = WithStrokes(3);
    full.Header.Title.SetText("Morning");
    full.Header.Name.SetText("Ann");
    full.Settings = DefaultSettings();
    full.Settings.Weight = 71;
    dialogs.Answers.push_back(TMsgResult::No);
    r = ConfirmReset(full, 2);
    EXPECT_FALSE(r.Proceed);
    EXPECT_EQ(full.StrokeCount(), 3);
    EXPECT_EQ(dialogs.LastText(),
              "Resetting the current training session will erase all recorded data.\rDo you wish to continue?");
    dialogs.Answers.push_back(TMsgResult::Yes);
    r = ConfirmReset(full, 7);
    EXPECT_TRUE(r.Proceed);
    EXPECT_TRUE(r.WasReset);
    EXPECT_EQ(dialogs.LastText(), "Do you wish to continue?");
    EXPECT_EQ(full.StrokeCount(), 0);
    EXPECT_EQ(full.Header.FileName.Text(), "?");
    EXPECT_EQ(+full.Header.ContentKind, ckUser);
    EXPECT_EQ(full.Header.Title.Text(), "Morning");
    EXPECT_EQ(full.Header.Name.Text(), "Ann");
    EXPECT_EQ(+full.Settings.Weight, 71);
    EXPECT_EQ(full.Magic, kTrainingMagic);
}

TEST(Records, ShortStringKeepsItsBytesPastTheLength)
{
    // The interface's description may be empty when the row engine connects.
    TTraining t;
    t.Header.InterfaceText.SetText("VT3 #42");
    t.Header.InterfaceText.SetText("");
    EXPECT_TRUE(t.Header.InterfaceText.IsEmpty());
    EXPECT_EQ(t.Header.InterfaceText.Text(), "");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(t.Header.InterfaceText.Data), 7), "VT3 #42");
    t.Header.InterfaceText.SetText("OT");
    EXPECT_EQ(t.Header.InterfaceText.Text(), "OT");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(t.Header.InterfaceText.Data), 7), "OT3 #42");
}

TEST(Records, SpacingPaletteAndLimits)
{
    TTrainingSettings s = DefaultSettings();
    s.Ergometer = 2;
    s.Sprocket = 0;
    EXPECT_EQ(SampleSpacing(s), 4.5);
    s.Sprocket = 1;
    EXPECT_EQ(SampleSpacing(s), 4.5);
    s.Ergometer = 0;
    EXPECT_EQ(SampleSpacing(s), 2.2);
    s.Sprocket = 0;
    EXPECT_EQ(SampleSpacing(s), 2.0);

    ResetPaletteCounterForTesting();
    const int32_t first = NextPaletteColor();
    EXPECT_EQ(first, 0x0000FF);
    EXPECT_EQ(NextPaletteColor(), 0x00FF00);
    for (int i = 2; i < 15; ++i) NextPaletteColor();
    EXPECT_EQ(NextPaletteColor(), first);

    s.LimitType = 1;
    s.LimitEnergy = 40;
    EXPECT_EQ(LimitValue(s), 40);
    s.LimitType = 5;
    EXPECT_EQ(LimitValue(s), 0);
    TStgStrokeData stroke{};
    stroke.IntervalNumber = 3;
    s.LimitType = 4;
    EXPECT_EQ(LimitProgressValue(stroke, s), 3);
}

}  // namespace
