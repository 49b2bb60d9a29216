// Session names, proposed file names, dialog filters and shortened paths.
#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <string>

#include "files/file_errors.h"
#include "files/file_names.h"
#include "util/date_time.h"
#include "util/text.h"
#include "util/version.h"

TEST(TrainingDescription, PartsAndSeparators)
{
    TTrainingHeader h{};
    h.Title.SetText("Morning");
    EXPECT_EQ(TrainingDescription(h, dpTitle | dpName, false), "Morning; ");
    EXPECT_EQ(TrainingDescription(h, dpTitle | dpName, true), "Morning\n");
    EXPECT_EQ(TrainingDescription(h, 0, false), "");
    EXPECT_EQ(TrainingDescription(h, 0, true), "");
    h.Name.SetText("Eva");
    h.Note.SetText("windy");
    h.DateTime = EncodeDate(2026, 3, 14) + EncodeTime(9, 5, 7, 0);
    EXPECT_EQ(TrainingDescription(h, dpNote | dpName | dpTitle, false), "Morning; Eva; windy");
    // Date and time as the locale writes them (the C locale: month/day/year).
    const std::string previous = std::setlocale(LC_TIME, nullptr);
    std::setlocale(LC_TIME, "C");
    EXPECT_EQ(TrainingDescription(h, dpDate | dpTime | dpName, false), "03/14/26; 09:05:07; Eva");
    std::setlocale(LC_TIME, previous.c_str());
    EXPECT_EQ(TrainingDescription(h, dpTitle | dpDescription | dpType | dpEvent, true), "Morning\n\n\n");
}

TEST(DefaultFileName, WhichNameIsProposed)
{
    TTraining t;
    t.Header.FileName.SetText("?");
    t.Header.OriginalFileName.SetText("/in/race.bxs");
    EXPECT_EQ(DefaultFileName(t), "");
    t.Header.FileName.SetText("");
    EXPECT_EQ(DefaultFileName(t), "/in/race.bxs");
    t.Header.FileName.SetText("/out/race.stg");
    EXPECT_EQ(DefaultFileName(t), "/out/race.stg");
}

TEST(DialogFilter, TrainingAndUser)
{
    const std::string product = VersionString("ProductName");
    TDialogFilter f = DialogFilter(dkTraining | dkUser, true, true);
    EXPECT_EQ(f.Filter, "Training files (*.stg)|*.stg|User files (*.ini)|*.ini|" + product +
                            " compatible files (*.stg, *.ini)|*.stg;*.ini|All files (*.*)|*.*");
    EXPECT_EQ(f.DefaultIndex, 3);
    EXPECT_EQ(FilterEntryName(f.Filter, 3), product + " compatible files (*.stg, *.ini)");
    EXPECT_EQ(FilterEntryName(f.Filter, 4), "All files (*.*)");
    EXPECT_EQ(FilterEntryName(f.Filter, 5), "");
}

TEST(DialogFilter, AllKindsWithoutPatterns)
{
    const std::string product = VersionString("ProductName");
    TDialogFilter f = DialogFilter(dkAllKinds, false, false);
    EXPECT_EQ(f.Filter,
              "Training files (*.stg)|Stroke files (*.str)|User files (*.ini)|Brax Session files (*.bxs)|"
              "Brax Stroke files (*.bxr)|Brax User files (*.bxi)|" +
                  product + " compatible files (*.stg, *.str, *.ini, *.bxs, *.bxr, *.bxi)");
    EXPECT_EQ(f.DefaultIndex, 7);
    // The open dialog adds the imported kinds after the program's own.
    f = DialogFilter(dkOpenKinds, true, true);
    EXPECT_EQ(f.DefaultIndex, 9);
    EXPECT_EQ(FilterEntryName(f.Filter, 7), "FIT activity files (*.fit)");
    EXPECT_EQ(FilterEntryName(f.Filter, 8), "RowingData CSV files (*.csv)");
    EXPECT_EQ(FilterEntryName(f.Filter, 9),
              product + " compatible files (*.stg, *.str, *.ini, *.bxs, *.bxr, *.bxi, *.fit, *.csv)");
    f = DialogFilter(dkStroke, false, true);
    EXPECT_EQ(f.Filter, "Stroke files (*.str)|" + product + " compatible files (*.str)|All files (*.*)");
    EXPECT_EQ(f.DefaultIndex, 2);
}

TEST(ShortenPath, LevelByLevel)
{
    auto length = [](const std::string& s) { return int(s.size()); };
    const std::string path = "/home/eva/trainings/2026/march.stg";
    EXPECT_EQ(ShortenPath(path, length, 200), path);
    EXPECT_EQ(ShortenPath(path, length, int(path.size())), path);
    EXPECT_EQ(ShortenPath(path, length, 30), "/.../trainings/2026/march.stg");
    EXPECT_EQ(ShortenPath(path, length, 25), "/.../2026/march.stg");
    EXPECT_EQ(ShortenPath(path, length, 16), "/.../march.stg");
    EXPECT_EQ(ShortenPath(path, length, 13), ".../march.stg");
    EXPECT_EQ(ShortenPath(path, length, 5), "march.stg");
    EXPECT_EQ(ShortenPath("/march.stg", length, 5), "march.stg");
    EXPECT_EQ(ShortenPath("march.stg", length, 5), "march.stg");
    EXPECT_EQ(ShortenPath("a/bb/c.stg", length, 9), ".../c.stg");
    EXPECT_EQ(ShortenPath("a/b/c.stg", length, 8), "c.stg");
    // A measure that never fits still ends.
    EXPECT_EQ(ShortenPath(
                  path, [](const std::string&) { return 1000; }, 10),
              "march.stg");
}

TEST(FileError, TextNamesFileMessageCodeAndAdvice)
{
    EXPECT_EQ(FileErrorText("/t/a.stg", "No such file or directory", ENOENT),
              "Error reading/writing file \"/t/a.stg\".\rError message : No such file or directory (2) "
              "\rThe system cannot find the file specified.\rPlease check the filename.");
    EXPECT_EQ(FileErrorText("/t/a.stg", "Read-only file system", EROFS),
              "Error reading/writing file \"/t/a.stg\".\rError message : Read-only file system (30) "
              "\rThe media is write-protected.");
    EXPECT_EQ(FileErrorText("/t/a.stg", "Permission denied", EACCES).find("write-protected."),
              FileErrorText("/t/a.stg", "Permission denied", EACCES).size() - 16);
    EXPECT_EQ(FileErrorText("/t", "Disk quota exceeded", EDQUOT),
              "Error reading/writing file \"/t\".\rError message : Disk quota exceeded (122) ");
}

TEST(FileTypes, RegistrationNames)
{
    const std::string product = VersionString("ProductName");
    auto types = ProgramFileTypes();
    ASSERT_EQ(types.size(), 5u);
    EXPECT_EQ(types[0].Extension, "stg");
    EXPECT_EQ(types[0].Icon, 4);
    EXPECT_EQ(types[2].TypeName, product + " Brax Session File");
    EXPECT_EQ(types[2].KeyName, ReplaceAll(product, " ", "_") + "_Brax_Session_File_Ref");
    EXPECT_EQ(FileTypeKeyName("My Ref"), "My_Ref");
    EXPECT_EQ(FileTypeKeyName("Ref"), "Ref_Ref");
}
