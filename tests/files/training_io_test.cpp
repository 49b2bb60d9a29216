// Opening files of any kind, saving and exporting sessions (never losing the
// old file), and the template a new session starts from.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "files/training_file.h"
#include "files/training_io.h"
#include "tests/support/scripted_dialogs.h"
#include "testutil_files.h"
#include "util/date_time.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/version.h"

namespace fs = std::filesystem;

namespace {

// Fixes the clock and answers every dialog for the length of a test.
class TrainingIo : public ::testing::Test {
protected:
    void SetUp() override { SetNowForTesting(46100.25); }
    void TearDown() override { SetNowForTesting(0); }
    TScriptedDialogs Dialogs;
    TDialogScope Scope{Dialogs};
    TTempDir Dir;
};

TFileDialogResult Answer(const std::string& path, int filterIndex)
{
    TFileDialogResult r;
    r.Accepted = true;
    r.FileNames = {path};
    r.FilterIndex = filterIndex;
    return r;
}

TTrainingHeader HeaderAt(const std::string& path)
{
    TTraining t;
    ClearTraining(t);
    auto bytes = FileBytes(path);
    EXPECT_TRUE(ParseTrainingFile(bytes.data(), bytes.size(), t));
    return t.Header;
}

}  // namespace

TEST(FileType, ByExtension)
{
    EXPECT_EQ(FileTypeOf("/a/b.fitlog"), 12);
    EXPECT_EQ(FileTypeOf("/a/b.doc"), 0);
    EXPECT_EQ(FileTypeOf("/a/b.STG"), 5);
    EXPECT_EQ(FileTypeOf("b.str"), 6);
    EXPECT_EQ(FileTypeOf("b.Bxs"), 10);
    EXPECT_EQ(FileTypeOf("b.ini"), 2);
    EXPECT_EQ(FileTypeOf("/a.stg/b"), 0);
    EXPECT_EQ(FileTypeOf("b."), 0);
    EXPECT_EQ(FileTypeOf("b.fitlogs"), 12);  // at most six characters count
}

TEST_F(TrainingIo, OpenMissingFile)
{
    TTraining t = MakeSession(3);
    std::vector<double> progress;
    const std::string path = Dir / "none.stg";
    EXPECT_FALSE(OpenTraining(path, t, true, [&](double p) { progress.push_back(p); }));
    EXPECT_EQ(Dialogs.LastText(), "File \"" + path + "\" not found");
    EXPECT_TRUE(IsEmptyTraining(t));
    EXPECT_EQ(progress.front(), 0.0);
    EXPECT_EQ(progress.back(), -1.0);
    Dialogs.Clear();
    EXPECT_FALSE(OpenTraining(path, t, false));
    EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(TrainingIo, OpenByExtension)
{
    std::vector<double> progress;
    TTraining t;
    // Upper-case extensions are the same kind.
    const std::string upper = Dir / "COPY.STG";
    PutFileBytes(upper, FileBytes(DataFile("training/current.stg")));
    ASSERT_TRUE(OpenTraining(upper, t, true, [&](double p) { progress.push_back(p); }));
    EXPECT_EQ(progress, (std::vector<double>{0.0, 1.0, -1.0}));
    EXPECT_EQ(t.Header.FileName.Text(), upper);
    EXPECT_EQ(t.StrokeCount(), 3);
    ASSERT_TRUE(OpenTraining(DataFile("brax/session.bxs"), t, true));
    EXPECT_EQ(t.StrokeCount(), 3);
    ASSERT_TRUE(OpenTraining(DataFile("user/rower.ini"), t, true));
    EXPECT_EQ(t.Header.Name.Text(), "Eva");
    ASSERT_TRUE(OpenTraining(DataFile("stroke/sample.str"), t, true));
    ASSERT_TRUE(OpenTraining(DataFile("brax/stroke.bxr"), t, true));
    ASSERT_TRUE(OpenTraining(DataFile("brax/user.bxi"), t, true));
    EXPECT_TRUE(Dialogs.Messages.empty());
    // Any other extension is not read.
    const std::string other = Dir / "current.txt";
    PutFileBytes(other, FileBytes(DataFile("training/current.stg")));
    EXPECT_FALSE(OpenTraining(other, t, true));
    EXPECT_EQ(Dialogs.LastText(), "Error reading file \"" + other + "\"");
}

TEST_F(TrainingIo, FailedReadLeavesAnEmptySession)
{
    for (const char* name : {"training/truncated_record.stg", "training/huge_count.stg", "brax/session_truncated.bxs",
                             "user/long.ini", "training/old_header.stg"}) {
        SCOPED_TRACE(name);
        TTraining t = MakeSession(4);
        Dialogs.Clear();
        EXPECT_FALSE(OpenTraining(DataFile(name), t, true));
        EXPECT_EQ(Dialogs.LastText(), "Error reading file \"" + DataFile(name) + "\"");
        EXPECT_TRUE(IsEmptyTraining(t));
        EXPECT_EQ(t.Header.Title.Length, 0);
        EXPECT_EQ(t.Settings.Weight, 0);
        EXPECT_EQ(t.Magic, 0u);
        EXPECT_EQ(t.Strokes.size(), 1u);
    }
}

TEST_F(TrainingIo, CountdownsAreSanitizedAfterReading)
{
    TTraining t = MakeSession(3);
    t.Strokes[2].IntervalCountdown = 64001;
    t.Strokes[3].IntervalCountdown = 64000;
    const std::string path = Dir / "countdown.stg";
    ASSERT_TRUE(WriteTrainingFile(path, t));
    TTraining back;
    ASSERT_TRUE(OpenTraining(path, back, true));
    EXPECT_EQ(back.Strokes[2].IntervalCountdown, 0);
    EXPECT_EQ(back.Strokes[3].IntervalCountdown, 64000);
}

TEST_F(TrainingIo, OpenHeader)
{
    TTrainingHeader h{};
    uint32_t version = 7;
    ASSERT_TRUE(OpenTrainingHeader(DataFile("training/old_header.stg"), h, version, true));
    EXPECT_EQ(version, 0x00080400u);
    EXPECT_EQ(h.Title.Text(), "Old title");
    ASSERT_TRUE(OpenTrainingHeader(DataFile("stroke/sample.str"), h, version, true));
    EXPECT_EQ(h.OriginalKind, ckStroke);
    EXPECT_EQ(version, 0u);
    EXPECT_TRUE(Dialogs.Messages.empty());
    const std::string bad = DataFile("training/old_header_short.stg");
    EXPECT_FALSE(OpenTrainingHeader(bad, h, version, true));
    EXPECT_EQ(Dialogs.LastText(), "Error reading header of file \"" + bad + "\"");
    const TTrainingHeader zero{};
    EXPECT_EQ(std::memcmp(&h, &zero, sizeof h), 0);
    EXPECT_FALSE(OpenTrainingHeader(Dir / "none.str", h, version, true));
    EXPECT_EQ(Dialogs.LastText(), "File \"" + (Dir / "none.str") + "\" not found");
}

TEST_F(TrainingIo, SaveAsTrainingFile)
{
    TTraining t = MakeSession(5, 3);
    // Trailing strokes without time are dropped when saving.
    SetStrokeCount(t, 7);
    t.Header.Modified = 1;
    t.Header.CurveSource = 2;
    const TGuid guid = t.Header.Guid;
    const size_t fileSize = 2563 + 84 * 8 + 163 * 8 + 259 * 1 + 3 * 4;
    std::string path = Dir / "sub/dir/saved.stg";
    ASSERT_TRUE(SaveTraining(path, "", t));
    EXPECT_EQ(path, Dir / "sub/dir/saved.stg");  // folders are made
    EXPECT_EQ(t.Header.Modified, 0);
    EXPECT_EQ(t.StrokeCount(), 5);
    EXPECT_EQ(t.Header.FileSize, int32_t(fileSize));
    EXPECT_EQ(t.Header.FileName.Text(), path);
    EXPECT_EQ(t.Header.FileType, ftSTG);
    EXPECT_EQ(t.Header.ContentKind, ckTraining);
    EXPECT_EQ(t.Header.FileDate, 46100.25);
    EXPECT_EQ(t.Header.Guid, guid);  // a given path keeps the session's identity
    TTrainingHeader onDisk = HeaderAt(path);
    EXPECT_EQ(onDisk.CurveSource, 0);
    EXPECT_EQ(onDisk.Modified, 0);
    EXPECT_EQ(onDisk.FileSize, int32_t(fileSize));
    EXPECT_EQ(onDisk.Guid, guid);
}

TEST_F(TrainingIo, ContentKindOfSavedTrainings)
{
    TTraining empty;
    ClearTraining(empty);
    empty.Header = DefaultHeader();
    empty.Header.FileType = ftSTG;
    empty.Header.ContentKind = ckTraining;
    empty.Header.Guid = TGuid{};
    std::string path = Dir / "empty.stg";
    ASSERT_TRUE(SaveTraining(path, "", empty));
    EXPECT_EQ(empty.Header.ContentKind, ckUser);
    EXPECT_FALSE(IsNullGuid(empty.Header.Guid));  // a session without identity gets one

    TTraining row = MakeSession(2);
    row.Header.ContentKind = ckRow;
    path = Dir / "row.stg";
    ASSERT_TRUE(SaveTraining(path, "", row));
    EXPECT_EQ(HeaderAt(path).ContentKind, ckTraining);

    TTraining manual = MakeSession(2);
    manual.Header.ContentKind = ckManual;
    path = Dir / "manual.stg";
    ASSERT_TRUE(SaveTraining(path, "", manual));
    EXPECT_EQ(HeaderAt(path).ContentKind, ckManual);
}

TEST_F(TrainingIo, ExportThroughTheDialog)
{
    TTraining t = MakeSession(3);
    t.Header.FileName.SetText("/old/place/session.stg");
    const TGuid guid = t.Header.Guid;
    Dialogs.FileAnswers.push_back(Answer(Dir / "export.stg", 1));
    std::string path;
    ASSERT_TRUE(SaveTraining(path, "/start/here", t));
    ASSERT_EQ(Dialogs.FileRequests.size(), 1u);
    const TFileDialogRequest& r = Dialogs.FileRequests[0];
    EXPECT_TRUE(r.Save);
    EXPECT_EQ(r.Title, "Export training session");
    EXPECT_EQ(r.Filter, "Trainings (*.stg)|*.stg|User (*.ini)|*.ini|");
    EXPECT_EQ(r.FilterIndex, 1);
    EXPECT_EQ(r.DefaultExt, "STG");
    EXPECT_TRUE(r.OverwritePrompt);
    EXPECT_EQ(r.InitialDir, "/start/here");
    EXPECT_EQ(r.FileName, "/old/place/session");
    EXPECT_EQ(path, Dir / "export.stg");
    EXPECT_NE(t.Header.Guid, guid);  // the dialog always makes a new identity
    EXPECT_EQ(t.Header.ContentKind, ckTraining);

    // The "User" entry writes a user file for an .ini name.
    Dialogs.FileAnswers.push_back(Answer(Dir / "rower.ini", 2));
    path.clear();
    ASSERT_TRUE(SaveTraining(path, "", t));
    EXPECT_EQ(FileBytes(path).size(), 106u);
    EXPECT_EQ(t.Header.OriginalKind, ckUser);
    EXPECT_EQ(t.Header.OriginalType, ftINI);
    EXPECT_EQ(t.Header.OriginalFileName.Text(), path);
    EXPECT_EQ(t.Header.FileName.Length, 0);
    EXPECT_EQ(t.Header.FileType, 0);
    EXPECT_EQ(t.Header.FileSize, 0);
    EXPECT_EQ(t.Header.OriginalDate, 46100.25);

    // Cancelled: nothing happens.
    path = "something";
    path.clear();
    EXPECT_FALSE(SaveTraining(path, "", t));
    EXPECT_TRUE(path.empty());
}

TEST_F(TrainingIo, SaveThatWritesNothingIsNoSuccess)
{
    // A training is not a user file: the ".ini" name with the "Trainings" entry writes nothing.
    TTraining t = MakeSession(3);
    t.Header.Modified = 0;
    const TTrainingHeader before = t.Header;
    Dialogs.FileAnswers.push_back(Answer(Dir / "training.ini", 1));
    std::string path;
    TWriteResult result = TWriteResult::Written;
    EXPECT_FALSE(SaveTraining(path, "", t, &result));
    EXPECT_EQ(result, TWriteResult::NothingToDo);
    EXPECT_TRUE(path.empty());
    EXPECT_FALSE(FileExists(Dir / "training.ini"));
    EXPECT_EQ(t.Header.Modified, 1);
    TTrainingHeader expected = before;
    expected.Modified = 1;
    EXPECT_EQ(std::memcmp(&t.Header, &expected, sizeof expected), 0);
}

TEST_F(TrainingIo, SaveOfOtherKindsKeepsTheirKind)
{
    TTraining t;
    ASSERT_TRUE(OpenTraining(DataFile("stroke/sample.str"), t, true));
    std::string path = Dir / "again.str";
    ASSERT_TRUE(SaveTraining(path, "", t));
    EXPECT_EQ(FileBytes(path).size(), 218u);
    ASSERT_TRUE(OpenTraining(DataFile("user/rower.ini"), t, true));
    path = Dir / "again.ini";
    ASSERT_TRUE(SaveTraining(path, "", t));
    EXPECT_EQ(FileBytes(path), FileBytes(DataFile("user/rower.ini")));
}

TEST_F(TrainingIo, FailedSaveKeepsTheOldFile)
{
    const std::string path = Dir / "keep.stg";
    const std::vector<uint8_t> old{'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};
    PutFileBytes(path, old);
    TTraining t = MakeSession(50, 100);
    // Files may not grow beyond 1000 bytes: the new file cannot be completed.
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 1000;
    auto previous = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string target = path;
    bool ok = SaveTraining(target, "", t);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(target.empty());
    EXPECT_EQ(t.Header.Modified, 1);
    EXPECT_EQ(FileBytes(path), old);
    EXPECT_EQ(Dir.Entries(), std::vector<std::string>{"keep.stg"});  // no partial file left
    ASSERT_FALSE(Dialogs.Messages.empty());
    EXPECT_EQ(Dialogs.LastText().rfind("Error reading/writing file \"" + path + "\".\rError message : ", 0), 0u);
}

TEST_F(TrainingIo, SaveOntoAFolderOrBelowAFile)
{
    TTraining t = MakeSession(3);
    fs::create_directory(Dir / "folder.stg");
    std::string path = Dir / "folder.stg";
    EXPECT_FALSE(SaveTraining(path, "", t));
    EXPECT_TRUE(fs::is_directory(Dir / "folder.stg"));
    EXPECT_EQ(Dir.Entries(), std::vector<std::string>{"folder.stg"});
    EXPECT_FALSE(Dialogs.Messages.empty());

    PutFileBytes(Dir / "plain", {1, 2, 3});
    path = Dir / "plain/sub/x.stg";
    Dialogs.Clear();
    EXPECT_FALSE(SaveTraining(path, "", t));
    EXPECT_EQ(FileBytes(Dir / "plain"), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_FALSE(Dialogs.Messages.empty());
}

TEST_F(TrainingIo, SaveReplacesAnOlderSave)
{
    TTraining t = MakeSession(3);
    std::string path = Dir / "twice.stg";
    ASSERT_TRUE(SaveTraining(path, "", t));
    chmod(path.c_str(), 0640);
    TTraining more = MakeSession(9);
    ASSERT_TRUE(SaveTraining(path, "", more));
    TTraining back;
    ASSERT_TRUE(OpenTraining(path, back, true));
    EXPECT_EQ(back.StrokeCount(), 9);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // the file keeps its permissions
    EXPECT_EQ(Dir.Entries(), std::vector<std::string>{"twice.stg"});
}

class NewSession : public TrainingIo {
protected:
    void SetUp() override
    {
        TrainingIo::SetUp();
        SetDocumentsFolder(Dir.Path());
        SetProgramPathForTesting(Dir / "bin/catchline");
        Folder = UserDataFolder(true);
    }
    void TearDown() override
    {
        SetDocumentsFolder("");
        SetProgramPathForTesting("");
        TrainingIo::TearDown();
    }
    std::string Folder;
};

TEST_F(NewSession, WithoutTemplate)
{
    TTraining t = MakeSession(3);
    EXPECT_FALSE(NewTraining(t));
    EXPECT_TRUE(IsEmptyTraining(t));
    EXPECT_EQ(t.Magic, kTrainingMagic);
    EXPECT_EQ(t.ProgramVersion, ProgramVersion());
    EXPECT_EQ(t.Header.FileType, ftSTG);
    EXPECT_EQ(t.Header.ContentKind, ckManual);
    EXPECT_EQ(t.Header.Name.Text(), "Anyone");
    EXPECT_EQ(t.Header.DateTime, 46100.25);
    EXPECT_EQ(t.Settings.Weight, 80);
    EXPECT_EQ(t.Settings.LimitType, 2);
}

TEST_F(NewSession, FromTheUsersTemplate)
{
    // File names compare without regard to case.
    PutFileBytes(Folder + "default.stg", FileBytes(DataFile("training/user_only.stg")));
    TTraining t;
    EXPECT_TRUE(NewTraining(t));
    EXPECT_EQ(t.Header.Title.Text(), "Template");
    EXPECT_EQ(t.Header.Name.Text(), "Eva");
    EXPECT_EQ(t.Settings.Weight, 66);
    EXPECT_EQ(t.Settings.BoatType, 3);
    EXPECT_EQ(t.Header.FileName.Length, 0);
    EXPECT_EQ(t.Header.OriginalFileName.Length, 0);
    EXPECT_EQ(t.Header.FileSize, 0);
    EXPECT_EQ(t.Header.FileDate, 0.0);
    EXPECT_EQ(t.Header.DateTime, 46100.25);
    EXPECT_EQ(t.Header.Creator, 3);
    EXPECT_EQ(t.Header.InterfaceType, 0);
    EXPECT_EQ(t.Header.InterfaceDetail, 0);
    EXPECT_EQ(t.Header.InterfaceText.Length, 0);
    EXPECT_NE(GuidToString(t.Header.Guid), "{13121110-1514-1716-1819-1A1B1C1D1E1F}");

    // The program's own name wins over Default.
    TTraining other;
    ClearTraining(other);
    other.Header = DefaultHeader();
    other.Header.Title.SetText("Program template");
    other.Header.ContentKind = ckUser;
    ASSERT_TRUE(WriteTrainingFile(Folder + "CATCHLINE.stg", other));
    EXPECT_TRUE(NewTraining(t));
    EXPECT_EQ(t.Header.Title.Text(), "Program template");
}

TEST_F(NewSession, TemplateWithRecordedDataIsNotUsed)
{
    PutFileBytes(Folder + "Default.STG", FileBytes(DataFile("training/current.stg")));
    TTraining t;
    EXPECT_FALSE(NewTraining(t));
    EXPECT_EQ(t.Header.Name.Text(), "Anyone");
    PutFileBytes(Folder + "Default.STG", FileBytes(DataFile("training/old_header.stg")));
    EXPECT_FALSE(NewTraining(t));
    EXPECT_TRUE(IsEmptyTraining(t));
    EXPECT_TRUE(Dialogs.Messages.empty());  // quietly
}
