// The row engine's journal: what a crash leaves on disk at any stroke is the
// session as the recording had it then, for the demo to a limit, an interval
// workout and a device on a pseudo-terminal; a new connect throws the old
// journal away, a save does not end a journal that is still being written, a
// journal that cannot be written is reported once and the row goes on.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/catalogue.h"
#include "core/values.h"
#include "files/journal.h"
#include "files/training_file.h"
#include "files/training_io.h"
#include "interfaces/delay.h"
#include "logic/row_engine.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/testutil_interfaces.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/text.h"

namespace {

class TJournalHost : public TRowHost, public TProgramServices {
public:
    std::string Source = "DEMO";
    std::string Folder;
    bool Shown = false;
    std::vector<std::string> Failures;
    std::function<void(int)> OnStroke;
    std::function<void(const std::string&)> OnMessage;

    bool ChooseSource(std::string& source, int& interfaceType) override
    {
        source = Source;
        interfaceType = 1;
        return true;
    }
    void ShowMessageWindow(const std::string& text) override
    {
        Shown = true;
        if (OnMessage) OnMessage(text);
    }
    void HideMessageWindow() override { Shown = false; }
    bool MessageWindowShown() override { return Shown; }
    void StrokeStored(int k) override
    {
        if (OnStroke) OnStroke(k);
    }
    void CountRowingSession() override {}
    void AddRowingTime(double) override {}
    void CountFileSaved() override {}
    std::string SettingsFileForReading() const override { return {}; }
    std::string SettingsFileForWriting() const override { return {}; }
    std::string RecordingJournalFolder() override { return Folder; }
    void JournalFailed(const std::string& text) override { Failures.push_back(text); }
};

// The session as it would be saved: the training file image.
std::vector<uint8_t> Image(const TTraining& t) { return TrainingFileBytes(t); }

// What a crash right now leaves to recover.
TTraining RecoverNow(const std::string& path, TJournalReport& report)
{
    std::vector<uint8_t> bytes;
    int err = 0;
    EXPECT_TRUE(ReadWholeFile(path, bytes, err)) << path;
    TTraining t;
    EXPECT_TRUE(RecoverJournal(bytes.data(), bytes.size(), t, report)) << report.Problem;
    return t;
}

class RowJournal : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        BuildCatalogues();
        Host.Folder = TempFolder() + "Journal/";
        ResetTraining(Session);
        Session.Settings = DefaultSettings();
        Session.ClientId = 101;
    }
    void RowToEnd(TRowEngine& e)
    {
        e.BtnConnectClick();
        WaitFor([&] { return !e.Interface() || e.Interface()->State() == vtsClosed; }, 60000);
    }
    std::vector<std::string> Journals() const
    {
        std::vector<std::string> names;
        for (const auto& info : FindJournals(Host.Folder)) names.push_back(info.Path);
        return names;
    }
    // At stroke k of the row: the session as a disconnect now would leave it,
    // and what the journal gives back.
    void CompareAtStroke(TRowEngine& e, int k)
    {
        ASSERT_TRUE(e.Journal());
        TTraining expected = Session;
        CloseRecording(expected, k, e.RawCount(), e.Finished());
        UpdateAverageStroke(expected);
        expected.RowStatus = rsFinished;
        expected.Live = 0;
        TJournalReport report;
        const TTraining back = RecoverNow(e.Journal()->Path(), report);
        EXPECT_EQ(Image(back), Image(expected)) << "stroke " << k;
        ++Compared;
    }

    TSessionStore Store;
    TTraining& Session = Store.Add(TTraining{}, 101);
    TJournalHost Host;
    TScriptedDialogs Dialog;
    TDialogScope Scope{Dialog};
    int Compared = 0;
};

}  // namespace

TEST_F(RowJournal, DemoToTheLimitAtEveryStrokeAndAfterTheEnd)
{
    Session.Settings.LimitType = 2;
    Session.Settings.LimitDistance = 250;
    TRowEngine e(Store, 101, Host, Host);
    Host.OnStroke = [&](int k) {
        if (!e.Finished()) CompareAtStroke(e, k);
    };
    RowToEnd(e);
    ASSERT_TRUE(e.Finished());
    EXPECT_GT(Compared, 10);
    EXPECT_EQ(e.Journal(), nullptr);  // closed with the recording
    ASSERT_EQ(Journals().size(), 1u);
    EXPECT_EQ(Session.JournalFile, Journals()[0]);
    // After the limit: the limit's own interpolated totals.
    TJournalReport report;
    const TTraining back = RecoverNow(Session.JournalFile, report);
    EXPECT_TRUE(report.Finished);
    EXPECT_TRUE(report.Closed);
    EXPECT_FLOAT_EQ(back.Totals.Distance, 250.0f);
    EXPECT_EQ(Image(back), Image(Session));
    EXPECT_TRUE(Host.Failures.empty());

    // Connecting again throws the recorded session away: its journal goes, a new one comes.
    Dialog.Answers = {TMsgResult::Yes};
    const std::string first = Session.JournalFile;
    Session.Settings.LimitDistance = 30;
    RowToEnd(e);
    ASSERT_EQ(Journals().size(), 1u);
    EXPECT_NE(Journals()[0], first);
    EXPECT_FALSE(FileExists(first));

    // Saved: the journal ends.
    const std::string file = TempFolder() + "saved.stg";
    Session.Header.FileType = ftSTG;
    std::string path = file;
    ASSERT_TRUE(SaveTraining(path, "", Session));
    EndSessionJournal(Session, jeSaved);
    EXPECT_TRUE(Journals().empty());
    EXPECT_EQ(Session.JournalFile, "");
}

TEST_F(RowJournal, IntervalWorkoutWithRest)
{
    Session.Settings.LimitType = 4;
    Session.Settings.LimitIntervals = 3;
    Session.Settings.IntervalBy = 0;
    SetWorkPeriodFor(Session.Settings, 0, 6);
    SetRestPeriodFor(Session.Settings, 0, 3);
    TRowEngine e(Store, 101, Host, Host);
    Host.OnStroke = [&](int k) {
        if (!e.Finished()) CompareAtStroke(e, k);
    };
    RowToEnd(e);
    ASSERT_TRUE(e.Finished());
    ASSERT_GE(Session.IntervalCount(), 2);
    TJournalReport report;
    EXPECT_EQ(Image(RecoverNow(Session.JournalFile, report)), Image(Session));
    EXPECT_EQ(report.Intervals, Session.IntervalCount());
}

TEST_F(RowJournal, DeviceOnPseudoTerminalPulledMidRow)
{
    TPty pty;
    Host.Source = pty.SlavePath();
    const std::string frames = VTFrames(RowingTicks(10), vtpVtw);
    Host.OnMessage = [&](const std::string& text) {
        if (StartsWithText(text, "Waiting for interface")) pty.Write(frames.substr(0, 400));
    };
    TRowEngine e(Store, 101, Host, Host);
    Host.OnStroke = [&](int k) { CompareAtStroke(e, k); };
    e.BtnConnectClick();
    ASSERT_TRUE(e.Interface());
    for (size_t at = 400; at < frames.size(); at += 400) {
        pty.Write(frames.substr(at, 400));
        Pump(30);
    }
    ASSERT_TRUE(WaitFor([&] { return e.StrokeIndex() >= 6; }, 20000)) << e.StrokeIndex();
    pty.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return !e.Interface() || e.Interface()->State() == vtsClosed; }, 10000));
    EXPECT_GE(Compared, 6);
    TJournalReport report;
    EXPECT_EQ(Image(RecoverNow(Session.JournalFile, report)), Image(Session));
    EXPECT_TRUE(report.Closed);
    EXPECT_FALSE(report.Finished);
}

TEST_F(RowJournal, SavedMidRowTheJournalGoesOnAndTheSessionIsModifiedAgain)
{
    TRowEngine e(Store, 101, Host, Host);
    const std::string file = TempFolder() + "midrow.stg";
    bool saved = false;
    Host.OnStroke = [&](int k) {
        if (k != 5 || saved) return;
        saved = true;
        std::string path = file;
        ASSERT_TRUE(Store.Save(101, path, ""));
        EXPECT_EQ(+Session.Header.Modified, 0);
        EXPECT_TRUE(FileExists(Session.JournalFile));  // still written: it stays
    };
    e.BtnConnectClick();
    ASSERT_TRUE(WaitFor([&] { return e.StrokeIndex() >= 8; }, 30000));
    // Strokes after the save make the session modified again, so closing it asks.
    EXPECT_EQ(+Session.Header.Modified, 1);
    TJournalReport report;
    EXPECT_GE(RecoverNow(Session.JournalFile, report).StrokeCount(), 8);
    e.Disconnect();
    EXPECT_EQ(Journals().size(), 1u);
}

TEST_F(RowJournal, WithoutAFolderNoJournalAndAFolderThatCannotBeMadeIsReportedOnce)
{
    Session.Settings.LimitType = 0;
    Session.Settings.LimitStrokes = 6;
    {
        Host.Folder.clear();
        TRowEngine e(Store, 101, Host, Host);
        RowToEnd(e);
        EXPECT_EQ(Session.StrokeCount(), 6);
        EXPECT_EQ(Session.JournalFile, "");
    }
    const std::string blocker = TempFolder() + "file";
    std::fclose(std::fopen(blocker.c_str(), "w"));
    Host.Folder = blocker + "/Journal/";
    Dialog.Answers = {TMsgResult::Yes};
    TRowEngine e(Store, 101, Host, Host);
    RowToEnd(e);
    EXPECT_EQ(Session.StrokeCount(), 6);  // the row went on
    ASSERT_EQ(Host.Failures.size(), 1u);
    EXPECT_NE(Host.Failures[0].find("The recording journal cannot be written"), std::string::npos) << Host.Failures[0];
    EXPECT_EQ(Session.JournalFile, "");
}

TEST_F(RowJournal, TheSessionClosedWhileRowingTakesItsJournalAlong)
{
    // The user closes the training window mid-row and agrees to lose the session.
    TRowEngine e(Store, 101, Host, Host);
    std::string journal;
    Host.OnStroke = [&](int k) {
        if (k != 4) return;
        journal = Session.JournalFile;
        ASSERT_TRUE(FileExists(journal));
        Store.Remove(101);
        EXPECT_FALSE(FileExists(journal));
    };
    e.BtnConnectClick();
    ASSERT_TRUE(WaitFor([&] { return e.StrokeIndex() >= 7; }, 30000));
    e.Disconnect();
    // No journal came back for the strokes after it: none is offered later.
    EXPECT_FALSE(journal.empty());
    EXPECT_TRUE(Journals().empty());
}

TEST_F(RowJournal, TheStoreEndsTheJournalsOfSavedResetAndClosedSessions)
{
    Session.Settings.LimitType = 0;
    Session.Settings.LimitStrokes = 4;
    TRowEngine e(Store, 101, Host, Host);
    RowToEnd(e);
    ASSERT_EQ(Journals().size(), 1u);
    // Another session of the store holding a journal of its own.
    auto open = [&] {
        TTraining copy = Session;
        copy.JournalFile = Journals()[0] + ".copy";
        std::filesystem::copy_file(Journals()[0], copy.JournalFile);
        Store.Add(copy, 200);
        return copy.JournalFile;
    };
    std::string journal = open();
    Store.ResetSession(200);  // the recorded data is thrown away
    EXPECT_FALSE(FileExists(journal));
    Store.Remove(200);
    journal = open();
    std::string path = TempFolder() + "saved.stg";
    ASSERT_TRUE(Store.Save(200, path, ""));
    EXPECT_FALSE(FileExists(journal));
    Store.Remove(200);
    journal = open();
    Store.Remove(200);  // closed without a save, on the user's word
    EXPECT_FALSE(FileExists(journal));
    EXPECT_EQ(Journals().size(), 1u);  // the recording's own is untouched
}
