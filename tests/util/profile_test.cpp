#include <gtest/gtest.h>
#include <sys/stat.h>

#include "testutil_tempdir.h"
#include "util/profile.h"
#include "util/text.h"

TEST(ProfileFile, ReadsWindowsProfileSemantics)
{
    TTempDir dir;
    std::string path = dir.File("a.ini");
    WriteText(path,
              "[Options]\r\nLastDir = /home/x/ \r\n; "
              "comment=1\r\nflag=1\r\n[recent]\r\n1=/a.stg\r\nnoequals\r\n3=/c.stg\r\n2=/b.stg\r\n");
    TProfileFile f(path);
    EXPECT_EQ(f.ReadString("OPTIONS", "lastdir", "-"), "/home/x/");
    EXPECT_EQ(f.ReadString("Options", "missing", "def"), "def");
    EXPECT_TRUE(f.ReadBool("options", "Flag", false));
    EXPECT_FALSE(f.ValueExists("Options", "; comment"));
    // Values of a section in file order, lines without "=" dropped.
    EXPECT_EQ(f.ReadSectionValueList("Recent"), (std::vector<std::string>{"/a.stg", "/c.stg", "/b.stg"}));
    EXPECT_EQ(f.ReadSection("Recent"), (std::vector<std::string>{"1", "3", "2"}));
}

TEST(ProfileFile, WritesKeepOrderAndAppend)
{
    TTempDir dir;
    std::string path = dir.File("b.ini");
    WriteText(path, "[A]\nx=1\ny=2\n\n[B]\nz=3\n");
    {
        TProfileFile f(path);
        f.WriteString("a", "Y", "20");   // replaced in place
        f.WriteInteger("A", "w", -5);    // appended after the section's last key
        f.WriteString("C", "k", "v=w");  // new section at the end
        ASSERT_TRUE(f.UpdateFile());
    }
    EXPECT_EQ(ReadText(path), "[A]\nx=1\nY=20\nw=-5\n\n[B]\nz=3\n[C]\nk=v=w\n");
    TProfileFile g(path);
    EXPECT_EQ(g.ReadString("C", "k", ""), "v=w");
}

TEST(ProfileFile, ObjectsOnOneFileShareChanges)
{
    TTempDir dir;
    std::string path = dir.File("c.ini");
    {
        TProfileFile first(path);
        first.WriteString("S", "one", "1");
        {
            TProfileFile second(path);
            EXPECT_EQ(second.ReadString("S", "one", ""), "1");
            second.WriteString("S", "two", "2");
        }
        EXPECT_EQ(first.ReadString("S", "two", ""), "2");
    }
    EXPECT_EQ(ReadText(path), "[S]\none=1\ntwo=2\n");
}

TEST(ProfileFile, RealsFollowTheLocaleAndReadEitherSeparator)
{
    TTempDir dir;
    std::string path = dir.File("d.ini");
    SetDecimalSeparator(',');
    {
        TProfileFile f(path);
        f.WriteFloat("Statistics", "RunningTime", 1.5);
    }
    EXPECT_NE(ReadText(path).find("RunningTime=1,5"), std::string::npos);
    SetDecimalSeparator('.');
    TProfileFile f(path);
    EXPECT_DOUBLE_EQ(f.ReadFloat("Statistics", "RunningTime", 0), 1.5);
    f.WriteString("Statistics", "Bad", "x1");
    EXPECT_DOUBLE_EQ(f.ReadFloat("Statistics", "Bad", 7), 7);
    EXPECT_EQ(f.ReadInteger("Statistics", "Bad", 9), 9);
}

TEST(ProfileFile, EraseSectionAndDeleteKey)
{
    TTempDir dir;
    std::string path = dir.File("e.ini");
    WriteText(path, "[A]\nx=1\n[B]\ny=2\n[A]\nq=3\n");
    TProfileFile f(path);
    f.DeleteKey("B", "y");
    f.EraseSection("a");
    EXPECT_FALSE(f.SectionExists("A"));
    EXPECT_TRUE(f.SectionExists("B"));
    EXPECT_TRUE(f.ReadSection("B").empty());
}

TEST(ProfileFile, MissingFileReadsEmptyAndValueLineBreaksCannotSplitEntries)
{
    TTempDir dir;
    std::string path = dir.File("none.ini");
    TProfileFile f(path);
    EXPECT_EQ(f.ReadInteger("X", "y", 42), 42);
    f.WriteString("X", "t", "line1\r\nline2");
    EXPECT_EQ(f.ReadSection("X").size(), 1u);
}

TEST(ProfileFile, FailedWriteKeepsTheOldFile)
{
    if (geteuid() == 0) GTEST_SKIP() << "root can write into read-only folders";
    TTempDir dir;
    std::string sub = dir.File("ro");
    mkdir(sub.c_str(), 0755);
    std::string path = sub + "/f.ini";
    WriteText(path, "[A]\nx=1\n");
    chmod(sub.c_str(), 0555);
    {
        TProfileFile f(path);
        f.WriteString("A", "x", "2");
        EXPECT_FALSE(f.UpdateFile());
    }
    chmod(sub.c_str(), 0755);
    EXPECT_EQ(ReadText(path), "[A]\nx=1\n");
}

TEST(ProfileNormalise, OneEmptyLineBeforeEverySectionButTheFirst)
{
    std::vector<std::string> in{"[A]", "x=1", "", "", "y=2", "[B]", "", "z=3", "", "[C]", ""};
    std::vector<std::string> out = NormaliseProfileLines(in);
    EXPECT_EQ(out, (std::vector<std::string>{"[A]", "x=1", "y=2", "", "[B]", "z=3", "", "[C]"}));
    // Already normal: unchanged.
    EXPECT_EQ(NormaliseProfileLines(out), out);
    // The first line is never touched, not even when empty; headers that
    // follow each other each get their empty line.
    EXPECT_EQ(NormaliseProfileLines({"", "[A]", "[B]", "", "x"}),
              (std::vector<std::string>{"", "", "[A]", "", "[B]", "x"}));
    EXPECT_EQ(NormaliseProfileLines({"[A]"}), (std::vector<std::string>{"[A]"}));
    EXPECT_EQ(NormaliseProfileLines({"", ""}), (std::vector<std::string>{""}));

    TTempDir dir;
    std::string path = dir.File("n.ini");
    WriteText(path, "[A]\r\nx=1\r\n[B]\r\n\r\n\r\ny=2\r\n");
    ASSERT_TRUE(NormaliseProfileFile(path));
    EXPECT_EQ(ReadText(path), "[A]\nx=1\n\n[B]\ny=2\n");
}
