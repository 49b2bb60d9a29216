#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "testutil_tempdir.h"
#include "util/paths.h"
#include "util/grid.h"
#include "util/color.h"
#include "util/dialogs.h"

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
    for (auto& e : std::filesystem::directory_iterator(dir.Path)) { (void)e; ++entries; }
    EXPECT_EQ(entries, 2);  // t.stg and folder, no temporary file
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
