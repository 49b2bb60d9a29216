#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>

#include "tests/support/scripted_dialogs.h"
#include "testutil_tempdir.h"
#include "util/color.h"
#include "util/dialogs.h"
#include "util/grid.h"
#include "util/paths.h"
#include "util/profile.h"

TEST(Paths, FolderAndFileHelpers)
{
    TTempDir dir;
    EXPECT_TRUE(ForceFolder(dir.File("a/b/c")));
    EXPECT_TRUE(FolderExists(dir.File("a/b/c")));
    EXPECT_FALSE(ForceFolder("relative-without-slash"));
    EXPECT_EQ(FileSizeOf(dir.File("missing")), -1);
    WriteText(dir.File("f.bin"), "12345");
    EXPECT_EQ(FileSizeOf(dir.File("f.bin")), 5);
    EXPECT_TRUE(IsWritable(dir.File("new.ini")));
    EXPECT_TRUE(FileExists(dir.File("new.ini")));  // created by the test
    EXPECT_EQ(ExtractFileName("/a/b/c.stg"), "c.stg");
    EXPECT_EQ(ExtractFilePath("/a/b/c.stg"), "/a/b/");
    EXPECT_EQ(ExtractFileExt("/a/b.x/c"), "");
    EXPECT_EQ(ChangeFileExt("/a/b/catchline", ".ini"), "/a/b/catchline.ini");
    EXPECT_EQ(ChangeFileExt("/a/b/c.stg", ".str"), "/a/b/c.str");
}

TEST(Paths, AtomicWriteReplacesWholeFileOrNothing)
{
    TTempDir dir;
    std::string path = dir.File("t.stg");
    WriteText(path, "old contents");
    int err = 0;
    ASSERT_TRUE(WriteFileAtomically(path, "new", 3, err));
    EXPECT_EQ(ReadText(path), "new");
    // A target that is a folder cannot be replaced: nothing is left behind.
    std::string folder = dir.File("folder");
    mkdir(folder.c_str(), 0755);
    EXPECT_FALSE(WriteFileAtomically(folder, "x", 1, err));
    EXPECT_NE(err, 0);
    int entries = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.Path)) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 2);  // t.stg and folder, no temporary file
}

namespace {

int EntriesIn(const std::string& folder)
{
    int n = 0;
    for (auto& e : std::filesystem::directory_iterator(folder)) {
        (void)e;
        ++n;
    }
    return n;
}

bool IsLink(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Runs f, which must not block on the pipe at fifo. Should it block, a writer
// opens the pipe (so the call returns) and the test fails instead of hanging.
template <class F>
auto WithoutBlocking(const std::string& fifo, F f)
{
    auto result = std::async(std::launch::async, f);
    if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "blocked on the pipe " << fifo;
        const int fd = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
        result.wait();
        if (fd >= 0) close(fd);
    }
    return result.get();
}

}  // namespace

TEST(Paths, SaveOntoALinkWritesItsTargetAndKeepsTheLink)
{
    TTempDir dir;
    WriteText(dir.File("real.stg"), "old");
    ASSERT_EQ(symlink("real.stg", dir.File("link.stg").c_str()), 0);
    ASSERT_EQ(symlink(dir.File("link.stg").c_str(), dir.File("chain.stg").c_str()), 0);
    int err = 0;
    ASSERT_TRUE(WriteFileAtomically(dir.File("chain.stg"), "new", 3, err)) << err;
    EXPECT_TRUE(IsLink(dir.File("chain.stg")));
    EXPECT_TRUE(IsLink(dir.File("link.stg")));
    EXPECT_EQ(ReadText(dir.File("real.stg")), "new");
    // A link to a file not there yet (in another folder) makes that file.
    ForceFolder(dir.File("sub"));
    ASSERT_EQ(symlink("sub/later.stg", dir.File("dangling.stg").c_str()), 0);
    ASSERT_TRUE(WriteFileAtomically(dir.File("dangling.stg"), "made", 4, err)) << err;
    EXPECT_TRUE(IsLink(dir.File("dangling.stg")));
    EXPECT_EQ(ReadText(dir.File("sub/later.stg")), "made");
    // Links in a loop are an error, not a hang.
    ASSERT_EQ(symlink("loop2", dir.File("loop1").c_str()), 0);
    ASSERT_EQ(symlink("loop1", dir.File("loop2").c_str()), 0);
    EXPECT_FALSE(WriteFileAtomically(dir.File("loop1"), "x", 1, err));
    EXPECT_EQ(err, ELOOP);
}

TEST(Paths, PipesAndDevicesAreNeitherReplacedNorWaitedOn)
{
    TTempDir dir;
    const std::string fifo = dir.File("pipe.ini");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    std::vector<std::string> specials{fifo};
    // A copy of /dev/null where the system lets us make one.
    if (mknod(dir.File("null.stg").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0)
        specials.push_back(dir.File("null.stg"));
    ASSERT_EQ(symlink("pipe.ini", dir.File("to-pipe.ini").c_str()), 0);
    specials.push_back(dir.File("to-pipe.ini"));
    const int before = EntriesIn(dir.Path);
    for (const std::string& path : specials) {
        SCOPED_TRACE(path);
        int err = 0;
        EXPECT_FALSE(WriteFileAtomically(path, "x", 1, err));
        EXPECT_EQ(err, kNotRegularFileError);
        std::vector<uint8_t> data;
        EXPECT_FALSE(WithoutBlocking(fifo, [&] { return ReadWholeFile(path, data, err); }));
        EXPECT_EQ(err, kNotRegularFileError);
        EXPECT_FALSE(WithoutBlocking(fifo, [&] { return IsWritable(path); }));
        EXPECT_EQ(NonRegularFileError(path), kNotRegularFileError);
    }
    struct stat st {};
    ASSERT_EQ(stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));  // still the pipe, not a file put in its place
    EXPECT_EQ(EntriesIn(dir.Path), before);
    EXPECT_NE(SystemErrorText(kNotRegularFileError).find("Not a regular file"), std::string::npos);

    // A settings file that is a pipe reads as empty and is not written over;
    // the program neither hangs at start nor at exit.
    WithoutBlocking(fifo, [&] {
        TProfileFile ini(fifo);
        EXPECT_EQ(ini.ReadString("Options", "Key", "default"), "default");
        ini.WriteString("Options", "Key", "value");
        EXPECT_FALSE(ini.UpdateFile());
        return 0;
    });
    EXPECT_FALSE(WithoutBlocking(fifo, [&] { return NormaliseProfileFile(fifo); }));
    ASSERT_EQ(stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(Paths, AFailedFolderReportsTheErrorOfItsOwnStep)
{
    TTempDir dir;
    WriteText(dir.File("plain"), "x");
    errno = 0;
    EXPECT_FALSE(ForceFolder(dir.File("plain/sub/deeper")));
    EXPECT_EQ(errno, ENOTDIR) << std::strerror(errno);
    // A missing subfolder of a read-only place (a read-only bind mount: the
    // tests run as root, for whom permissions are no obstacle).
    const std::string ro = dir.File("ro");
    ForceFolder(ro);
    if (mount(dir.Path.c_str(), ro.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        mount(nullptr, ro.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
        umount(ro.c_str());
        GTEST_SKIP() << "no read-only bind mount here: " << std::strerror(errno);
    }
    struct TUnmount {
        std::string Path;
        ~TUnmount() { umount2(Path.c_str(), MNT_DETACH); }
    } unmount{ro};
    errno = 0;
    EXPECT_FALSE(ForceFolder(ro + "/missing/sub"));
    EXPECT_EQ(errno, EROFS) << std::strerror(errno);
    int err = 0;
    EXPECT_FALSE(WriteFileAtomically(ro + "/plain", "y", 1, err));
    EXPECT_EQ(err, EROFS);
}

TEST(Paths, UserDataFolderAndSettingsFileLocations)
{
    TTempDir dir;
    SetDocumentsFolder(dir.File("Docs"));
    SetProgramPathForTesting(dir.File("prog/catchline"));
    ForceFolder(dir.File("prog"));
    EXPECT_EQ(UserDataFolder(false), dir.File("Docs/Catchline Rowing/Catchline/"));
    EXPECT_FALSE(FolderExists(UserDataFolder(false)));
    EXPECT_EQ(SettingsFile(false), "");
    // A settings file in the program folder is moved into the user data folder.
    WriteText(dir.File("prog/catchline.ini"), "[A]\nx=1\n");
    EXPECT_EQ(SettingsFile(false), dir.File("prog/catchline.ini"));
    MoveSettingsFile();
    EXPECT_EQ(SettingsFile(false), dir.File("Docs/Catchline Rowing/Catchline/catchline.ini"));
    EXPECT_FALSE(FileExists(dir.File("prog/catchline.ini")));
    EXPECT_EQ(ReadText(SettingsFile(true)), "[A]\nx=1\n");
    SetDocumentsFolder("");
    SetProgramPathForTesting("");
}

TEST(Grid, CopyModesSkipHiddenColumns)
{
    TGridText g;
    g.Cells = {{"#", "A", "B", "C", "D"}, {"1", " a1 ", "b\r\n1", "c1", "d1"}, {"2", "a2", "b2", "c2", "d2"}};
    g.ColumnWidths = {20, 40, 40, 0, 40};
    EXPECT_EQ(CopyGridText(g, cmAll, 1), "#\tA\tB\tD\r\n1\ta1\tb; 1\td1\r\n2\ta2\tb2\td2\r\n");
    EXPECT_EQ(CopyGridText(g, cmData, 1), "a1\tb; 1\td1\r\na2\tb2\td2\r\n");
    EXPECT_EQ(CopyGridText(g, cmRow, 2), "a2\tb2\td2\r\n");
    EXPECT_EQ(CleanCellText("x\n\ry\rz\nw"), "x; y; z; w");
}

TEST(Grid, ColumnWidthsText)
{
    std::vector<int> w{10, 20, 30, 40, 50};
    EXPECT_EQ(ColumnWidthsText(w), "20 30 40 50 ");
    ApplyColumnWidths(w, "40 60 ");
    EXPECT_EQ(w, (std::vector<int>{10, 40, 60, 40, 50}));
    ApplyColumnWidths(w, "1  3 4 5 6 7");  // empty item keeps column 2; extra items ignored
    EXPECT_EQ(w, (std::vector<int>{10, 1, 60, 3, 4}));
}

TEST(Color, InverseResolvesSystemColours)
{
    EXPECT_EQ(InverseColor(0x0000FF), 0xFFFF00);
    SetSystemColor(5, 0xFFFFFF);
    EXPECT_EQ(InverseColor(clWindow), 0);
}

TEST(Dialogs, ScriptedServiceAnswersAndRecords)
{
    TScriptedDialogs script;
    TDialogScope scope(script);
    script.Answers.push_back(TMsgResult::No);
    EXPECT_FALSE(ConfirmYesNo("Sure?"));
    EXPECT_TRUE(ConfirmYesNo("Again?"));  // no scripted answer: default button
    ShowErrorBox("Bad");
    ASSERT_EQ(script.Messages.size(), 3u);
    EXPECT_EQ(script.Messages[2].Kind, TMsgKind::Error);
    EXPECT_EQ(script.LastText(), "Bad");
}
