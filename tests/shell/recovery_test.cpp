// Recovery at start-up: the windowed program killed with SIGKILL mid-row
// offers the lost session at its next start and brings it back in a
// training window marked modified; Recover / Discard / Later on the real
// question box; a journal that is being written or was saved is not offered.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstring>

#include "core/catalogue.h"
#include "files/journal.h"
#include "framework/qt_dialogs.h"
#include "review/training_window.h"
#include "row/connect_dialog.h"
#include "row/new_row_dialog.h"
#include "row/row_window.h"
#include "shell/main_window.h"
#include "shell/splash.h"
#include "tests/shell/testutil_shell.h"
#include "tests/support/child.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/testutil_framework.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/text.h"

namespace {

constexpr const char* kChildHome = "CATCHLINE_RECOVERY_HOME";

std::vector<TfrmTraining*> TrainingWindows(TfrmMain& main)
{
    const QList<TfrmTraining*> list = main.findChildren<TfrmTraining*>();
    return std::vector<TfrmTraining*>(list.begin(), list.end());
}

// A journal of n strokes in the user data folder, left as a crash leaves it.
std::string CrashedJournal(int n, double date)
{
    TTraining t;
    ResetTraining(t);
    t.Header = DefaultHeader();
    t.Settings = DefaultSettings();
    t.Header.DateTime = date;
    t.Header.Title.SetText("Lost row");
    t.Header.ContentKind = ckRow;
    TJournalWriter w;
    EXPECT_TRUE(w.Create(JournalFolder(true), t));
    SetStrokeCount(t, n);
    for (int k = 1; k <= n; ++k) {
        t.Strokes[size_t(k)].Time = 2.5f * float(k);
        t.Strokes[size_t(k)].Distance = 10.0f * float(k);
        EXPECT_TRUE(w.Record(t, k, 0));
    }
    return w.Path();
}

class Recovery : public ::testing::Test {
protected:
    void SetUp() override
    {
        BuildCatalogues();
        Scope = std::make_unique<TDialogScope>(Dialogs);
    }
    void TearDown() override { Scope.reset(); }

    TShellEnv Env;
    TScriptedDialogs Dialogs;
    std::unique_ptr<TDialogScope> Scope;
};

}  // namespace

// Run by WindowedProgramKilledMidRowOffersItsSessionAtTheNextStart as its own
// process: the program rows the demo through its windows and prints each
// stroke until it is killed.
TEST(RecoveryChild, DISABLED_RowsUntilKilled)
{
    const char* home = std::getenv(kChildHome);
    if (!home) GTEST_SKIP() << "the windowed program of the recovery test";
    SetDocumentsFolder(std::string(home) + "docs");
    SetProgramPathForTesting(std::string(home) + "bin/catchline");
    TestApp();
    BuildCatalogues();
    TScriptedDialogs dialogs;
    TDialogScope scope(dialogs);
    TfrmMain main({""});
    main.show();
    WhenModal([](QWidget* w) {
        auto* dialog = qobject_cast<TfrmNewRow*>(w);
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QLineEdit*>("edtName")->setText("Eva");
        dialog->findChild<QPushButton*>("btbOk")->click();
    });
    ASSERT_TRUE(main.OpenRowWindow(SettingsFile(false), ""));
    TfrmRow* row = RowWindowOf(main);
    ASSERT_NE(row, nullptr);
    row->Engine().DemoFile = CATCHLINE_SOURCE_DIR "/resources/demo/catchline.dat";
    WhenModal([](QWidget* w) {
        auto* connect = qobject_cast<TfrmConnect*>(w);
        ASSERT_NE(connect, nullptr);
        connect->SelectSource("DEMO");
        Child<QPushButton>(connect, "btbTest")->click();
        auto* poll = new QTimer(connect);
        poll->setInterval(20);
        QObject::connect(poll, &QTimer::timeout, connect, [connect, poll] {
            if (connect->RawCount() == 0) return;
            poll->stop();
            Child<QPushButton>(connect, "btbOk")->click();
        });
        poll->start();
    });
    QTimer::singleShot(0, row, [row] { row->findChild<QPushButton*>("btnConnect")->click(); });
    int printed = 0;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 60000) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        const int k = RowWindowOf(main) ? RowWindowOf(main)->Engine().StrokeIndex() : 0;
        if (k > printed) {
            printed = k;
            std::printf("stroke %d\n", k);
            std::fflush(stdout);
        }
    }
}

TEST_F(Recovery, WindowedProgramKilledMidRowOffersItsSessionAtTheNextStart)
{
    const int n = 6;
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDERR_FILENO);
        setenv(kChildHome, Env.Folder().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        char self[] = "/proc/self/exe";
        char all[] = "--gtest_also_run_disabled_tests";
        char filter[] = "--gtest_filter=RecoveryChild.DISABLED_RowsUntilKilled";
        char* argv[] = {self, all, filter, nullptr};
        execv(self, argv);
        _exit(127);
    }
    close(out[1]);
    std::string printed;
    int strokes = 0;
    QElapsedTimer t;
    t.start();
    while (strokes < n && t.elapsed() < 60000) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char buf[256];
        const ssize_t got = read(out[0], buf, sizeof buf);
        if (got <= 0) break;
        printed.append(buf, size_t(got));
        const size_t at = printed.rfind("stroke ");
        if (at != std::string::npos) strokes = std::atoi(printed.c_str() + at + 7);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    close(out[0]);
    ASSERT_GE(strokes, n) << printed;

    // The next start.
    Dialogs.Answers = {TMsgResult::Yes};
    TfrmMain main({});
    main.show();
    main.FirstShow();
    ASSERT_GE(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text.rfind("A training session recorded on ", 0), 0u) << Dialogs.Messages[0].Text;
    EXPECT_NE(Dialogs.Messages[0].Text.find(" was not saved. Recover it?"), std::string::npos);
    EXPECT_EQ(Dialogs.Messages[0].Captions, (std::vector<std::string>{"&Recover", "&Discard", "&Later"}));
    // The recovered session, and no new row started over it.
    EXPECT_EQ(main.RowWindow(), nullptr);
    ASSERT_EQ(TrainingWindows(main).size(), 1u);
    TfrmTraining* w = TrainingWindows(main)[0];
    const TTraining& s = w->Record();
    EXPECT_GE(s.StrokeCount(), n - 1);
    EXPECT_EQ(s.Header.Name.Text(), "Eva");
    EXPECT_EQ(+s.Header.Modified, 1);
    EXPECT_TRUE(w->CanSave());
    EXPECT_FLOAT_EQ(s.Totals.Distance, s.Strokes[size_t(s.StrokeCount())].Distance);
    const std::string journal = s.JournalFile;
    ASSERT_TRUE(FileExists(journal));

    // Saved: the journal goes, and the next start offers nothing.
    ASSERT_TRUE(w->SaveAs(Env.File("recovered.stg")));
    EXPECT_FALSE(FileExists(journal));
    EXPECT_TRUE(FindJournals(JournalFolder(false)).empty());
}

TEST_F(Recovery, RecoverDiscardLaterOnTheRealQuestion)
{
    const std::string older = CrashedJournal(3, 46000.25);
    const std::string newer = CrashedJournal(5, 46001.75);
    // A journal still written by a running recording is not offered.
    TTraining busy;
    ResetTraining(busy);
    busy.Header.DateTime = 46002;
    TJournalWriter writing;
    ASSERT_TRUE(writing.Create(JournalFolder(true), busy));

    TQtDialogs qt;
    TDialogScope real(qt);
    std::vector<std::string> texts, captions;
    // Later for the older one, Discard for the newer one.
    std::function<void(QWidget*)> answer = [&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        texts.push_back(box->text().toStdString());
        for (QAbstractButton* b : box->buttons()) captions.push_back(b->text().toStdString());
        box->button(texts.size() == 1 ? QMessageBox::Cancel : QMessageBox::No)->click();
        if (texts.size() == 1) WhenModal(answer);
    };
    WhenModal(answer);
    TfrmMain main({""});
    main.show();
    main.FirstShow();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_NE(texts[0].find("recorded on 2025-12-09 at 06:00"), std::string::npos) << texts[0];
    EXPECT_NE(texts[0].find("\"Lost row\": 3 strokes."), std::string::npos) << texts[0];
    EXPECT_NE(texts[1].find("2025-12-10 at 18:00"), std::string::npos) << texts[1];
    for (const char* c : {"&Recover", "&Discard", "&Later"})
        EXPECT_EQ(std::count(captions.begin(), captions.end(), c), 2) << c;
    EXPECT_TRUE(TrainingWindows(main).empty());
    EXPECT_TRUE(FileExists(older));
    EXPECT_FALSE(FileExists(newer));
    EXPECT_TRUE(FileExists(writing.Path()));
}

TEST_F(Recovery, TheSessionLimitStopsTheOffersAndClosingDiscards)
{
    CrashedJournal(2, 46000);
    CrashedJournal(3, 46001);
    CrashedJournal(4, 46002);
    Dialogs.Answers = {TMsgResult::Yes, TMsgResult::Yes, TMsgResult::Yes};
    TfrmMain main({""});
    main.show();
    main.FirstShow();
    ASSERT_EQ(TrainingWindows(main).size(), 2u);
    // The third waits for the next start.
    EXPECT_NE(Dialogs.LastText().find("Only 2 file(s)"), std::string::npos) << Dialogs.LastText();
    EXPECT_EQ(FindJournals(JournalFolder(false)).size(), 3u);

    // Closed without saving, on the user's word: that journal goes.
    TfrmTraining* w = TrainingWindows(main)[0];
    const std::string journal = w->Record().JournalFile;
    Dialogs.Answers = {TMsgResult::OK};
    ASSERT_TRUE(w->close());
    EXPECT_FALSE(FileExists(journal));
    EXPECT_EQ(FindJournals(JournalFolder(false)).size(), 2u);
}
