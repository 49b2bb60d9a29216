// The session store: ids, order and the limit of open sessions, the average
// records after the open sessions, records kept alive for their holders, each
// change announced once, and saving.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>

#include "files/training_io.h"
#include "logic/session_store.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/testutil_logic.h"
#include "util/dialogs.h"
#include "util/paths.h"

namespace {

QCoreApplication& App()
{
    static int argc = 1;
    static char name[] = "catchline";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app =
        QCoreApplication::instance() ? QCoreApplication::instance() : new QCoreApplication(argc, argv);
    return *app;
}

TTraining Titled(const std::string& title)
{
    TTraining t = MakeRowedSession(3);
    t.Header.Title.SetText(title);
    return t;
}

class SessionStore : public ::testing::Test {
protected:
    void SetUp() override { App(); }
    TSessionStore Store;
    TScriptedDialogs Dialogs;
    TDialogScope Scope{Dialogs};
};

TEST_F(SessionStore, IdsOrderAndTheLimitOfTwo)
{
    QSignalSpy added(&Store, &TSessionStore::SessionAdded);
    TTraining& first = Store.Add(Titled("First"));
    EXPECT_EQ(first.ClientId, 101);
    EXPECT_FALSE(Store.Full());
    EXPECT_FALSE(Store.TooManyTrainings());
    EXPECT_TRUE(Dialogs.Messages.empty());

    Store.Add(Titled("Second"));
    // The session opened last comes first.
    EXPECT_EQ(Store.Ids(), (std::vector<int32_t>{102, 101}));
    EXPECT_EQ(Store.At(0)->Header.Title.Text(), "Second");
    EXPECT_EQ(Store.IndexOf(101), 1);
    EXPECT_EQ(Store.Find(101), &first);
    EXPECT_EQ(added.count(), 2);
    EXPECT_EQ(added.at(1).at(0).toInt(), 102);

    EXPECT_TRUE(Store.Full());
    EXPECT_TRUE(Store.TooManyTrainings());
    EXPECT_EQ(Dialogs.LastText(), "Only 2 file(s) / training session(s) can be opened at the same time.");
    EXPECT_EQ(Dialogs.Messages.back().Kind, TMsgKind::Error);

    // Removing keeps the order of the rest; an id not open is not removed twice.
    QSignalSpy removed(&Store, &TSessionStore::SessionRemoved);
    EXPECT_TRUE(Store.Remove(102));
    EXPECT_FALSE(Store.Remove(102));
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(Store.Ids(), (std::vector<int32_t>{101}));

    // An id given from outside keeps the counter ahead of it: ids are never given twice.
    Store.Add(Titled("Given"), 150);
    EXPECT_EQ(Store.NextId(), 151);
}

TEST_F(SessionStore, AverageRecordsFollowTheOpenSessions)
{
    for (int k = 0; k < TSessionStore::kAverageRecords; ++k) {
        EXPECT_EQ(Store.At(k), &Store.Average(k));
        EXPECT_EQ(Store.Find(-1 - k), &Store.Average(k));
    }
    Store.Add(Titled("One"));
    EXPECT_EQ(Store.At(1), &Store.Average(0));
    EXPECT_EQ(Store.At(4), &Store.Average(3));
    EXPECT_EQ(Store.IdAt(1), -1);
    EXPECT_EQ(Store.At(5), nullptr);
    EXPECT_EQ(Store.At(-1), nullptr);
    EXPECT_EQ(Store.Find(-5), nullptr);
    // The force curves window toggles them like sessions: their changes are announced.
    QSignalSpy header(&Store, &TSessionStore::HeaderChanged);
    Store.NotifyHeaderChanged(-2);
    ASSERT_EQ(header.count(), 1);
    EXPECT_EQ(header.at(0).at(0).toInt(), -2);
    // They are never modified or reset: they are not saved.
    Store.SetModified(-1, true);
    Store.ResetSession(-1);
    EXPECT_EQ(Store.Average(0).Header.Modified, 0);
}

TEST_F(SessionStore, SharedRecordOutlivesItsRemoval)
{
    Store.Add(Titled("Rowed"), 101);
    std::shared_ptr<TTraining> held = Store.Share(101);
    ASSERT_TRUE(held);
    QSignalSpy strokes(&Store, &TSessionStore::StrokeAppended);
    Store.Remove(101);
    EXPECT_EQ(Store.Find(101), nullptr);
    EXPECT_EQ(Store.Share(101), nullptr);
    // The holder (a row engine finishing its stroke) still writes into it;
    // nobody hears of a session that is gone.
    AppendStroke(*held);
    Store.NotifyStrokeAppended(101, held->StrokeCount());
    EXPECT_EQ(held->StrokeCount(), 4);
    EXPECT_EQ(strokes.count(), 0);
}

TEST_F(SessionStore, ChangesAreAnnouncedOnceForTheirSession)
{
    Store.Add(Titled("A"), 101);
    Store.At(0)->Header.Modified = 0;
    QSignalSpy modified(&Store, &TSessionStore::ModifiedChanged);
    Store.SetModified(101);
    Store.SetModified(101);
    ASSERT_EQ(modified.count(), 1);
    EXPECT_TRUE(modified.at(0).at(1).toBool());
    Store.SetModified(101, false);
    EXPECT_EQ(modified.count(), 2);
    EXPECT_EQ(Store.At(0)->Header.Modified, 0);

    QSignalSpy reset(&Store, &TSessionStore::SessionReset);
    Store.ResetSession(101);
    ASSERT_EQ(reset.count(), 1);
    EXPECT_EQ(Store.At(0)->StrokeCount(), 0);
    EXPECT_EQ(Store.At(0)->Header.Title.Text(), "A");  // the header stays

    // Adding under an id that is open replaces the record: a reset for its views.
    Store.Add(Titled("B"), 101);
    EXPECT_EQ(Store.Count(), 1);
    EXPECT_EQ(reset.count(), 2);
    EXPECT_EQ(Store.At(0)->Header.Title.Text(), "B");

    QSignalSpy close(&Store, &TSessionStore::CloseRequested);
    Store.RequestClose(101);
    Store.RequestClose(999);
    EXPECT_EQ(close.count(), 1);
}

TEST_F(SessionStore, SaveWritesTheSessionAndAFailureKeepsItsHeader)
{
    TLogicEnv env;
    TTraining fresh = MakeRowedSession(4);
    fresh.Header.FileType = 0;  // a new session: no file type of its own yet
    fresh.Header.ContentKind = 0;
    fresh.Header.Modified = 1;
    Store.Add(fresh, 101);
    QSignalSpy saved(&Store, &TSessionStore::Saved);

    // Into a folder that cannot be made: nothing written, the header as it was.
    std::string bad = "/proc/catchline/row.stg";
    TWriteResult result = TWriteResult::Written;
    EXPECT_FALSE(Store.Save(101, bad, "", &result));
    EXPECT_EQ(result, TWriteResult::Failed);
    EXPECT_EQ(Store.At(0)->Header.FileType, 0);
    EXPECT_EQ(Store.At(0)->Header.Modified, 1);
    EXPECT_EQ(saved.count(), 0);

    std::string path = env.File("row.stg");
    ASSERT_TRUE(Store.Save(101, path, "", &result));
    EXPECT_EQ(result, TWriteResult::Written);
    EXPECT_EQ(Store.At(0)->Header.FileType, ftSTG);
    ASSERT_EQ(saved.count(), 1);
    EXPECT_EQ(saved.at(0).at(1).toString().toStdString(), path);
    TTraining back;
    ASSERT_TRUE(OpenTraining(path, back, false));
    EXPECT_EQ(back.StrokeCount(), 4);

    std::string gone = env.File("gone.stg");
    EXPECT_FALSE(Store.Save(999, gone, ""));
    EXPECT_FALSE(FileExists(gone));
}

}  // namespace
