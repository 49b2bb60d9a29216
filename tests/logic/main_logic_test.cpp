// The main window's rules without a window: settings and statistics, the
// recent list, "Anyone" numbers, arguments and their forwarding, help texts,
// the readme step and the move of older files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "logic/main_logic.h"
#include "tests/support/testutil_logic.h"
#include "util/date_time.h"
#include "util/paths.h"
#include "util/profile.h"
#include "util/text.h"

TEST(Anyone, NumbersOfTheExamples)
{
    EXPECT_EQ(AnyoneNumber({}), 0);
    EXPECT_EQ(AnyoneNumber({"Anyone"}), 1);
    EXPECT_EQ(AnyoneNumber({"Anyone", "Anyone1"}), 2);
    EXPECT_EQ(AnyoneNumber({"Anyone1", "Anyone"}), 3);
    EXPECT_EQ(AnyoneNumber({"anyone", "Morning row"}), 1);  // without regard to case; others skipped
    EXPECT_EQ(AnyoneNumber({"Anyone x"}), 1);               // not a number
    EXPECT_EQ(AnyoneNumber({"Anyone7"}), 8);
    EXPECT_EQ(NumberedTitle("Anyone", 0), "Anyone");
    EXPECT_EQ(NumberedTitle("Anyone", 1), "Anyone1");
    EXPECT_EQ(NumberedTitle(std::string(255, 'a'), 12).size(), 255u);
}

TEST(RecentList, MovesToTopWithoutDuplicatesAndKeepsNine)
{
    std::vector<std::string> recent;
    for (int i = 1; i <= 12; ++i) AddRecentEntry(recent, "/d/f" + std::to_string(i) + ".stg");
    ASSERT_EQ(recent.size(), 9u);
    EXPECT_EQ(recent.front(), "/d/f12.stg");
    EXPECT_EQ(recent.back(), "/d/f4.stg");
    AddRecentEntry(recent, "/D/F8.STG");  // the same file, other case
    EXPECT_EQ(recent.size(), 9u);
    EXPECT_EQ(recent.front(), "/D/F8.STG");
    EXPECT_EQ(std::count_if(recent.begin(), recent.end(), [](auto& e) { return SameText(e, "/d/f8.stg"); }), 1);
    RemoveRecentEntry(recent, "/d/f12.stg");
    EXPECT_EQ(recent.size(), 8u);
    EXPECT_EQ(recent[1], "/d/f11.stg");
}

TEST(Duration, Texts)
{
    EXPECT_EQ(DurationText(1.5), "1 days, 12:00:00");
    EXPECT_EQ(DurationText(0.25), "06:00:00");
    EXPECT_EQ(DurationText(0), "?");
    EXPECT_EQ(DurationText(-2), "?");
    EXPECT_EQ(DurationText(2 + 59.9996 / 86400.0 + 59.0 / 1440.0 + 23.0 / 24.0), "3 days, 00:00:00");
}

TEST(Forwarding, ArgumentsAreCutAfterTheLastThatFits)
{
    EXPECT_EQ(ForwardedText({}), "");
    EXPECT_EQ(ForwardedText({"/n"}), "/n\r\n");
    EXPECT_EQ(ForwardedText({"/tmp/my file.stg", "-d"}), "/tmp/my file.stg\r\n-d\r\n");
    std::string a(120, 'a'), b(120, 'b'), c(20, 'c');
    // 120 + 2 + 120 = 242; then 242 + 20 > 250: c and everything after it are dropped.
    EXPECT_EQ(ForwardedText({a, b, c, "x"}), a + "\r\n" + b + "\r\n");
    std::string b2(128, 'b');
    EXPECT_EQ(ForwardedText({a, b2}), a + "\r\n" + b2 + "\r\n");  // 120 + 128 = 248 fits
    std::vector<std::string> lines = ForwardedLines("/tmp/my file.stg\r\n-d\r\ntrailing");
    EXPECT_EQ(lines, (std::vector<std::string>{"/tmp/my file.stg", "-d"}));
    EXPECT_EQ(ForwardedLines("\r\n").size(), 1u);
}

TEST(Parameters, Classification)
{
    EXPECT_EQ(ClassifyParameter("").Kind, TParamKind::Ignore);
    EXPECT_EQ(ClassifyParameter("x").Kind, TParamKind::Bad);
    EXPECT_EQ(ClassifyParameter("ab").Kind, TParamKind::Bad);  // a two-letter file name
    EXPECT_EQ(ClassifyParameter("-x").Kind, TParamKind::Bad);
    EXPECT_EQ(ClassifyParameter("-h").Kind, TParamKind::Help);
    EXPECT_EQ(ClassifyParameter("/?").Kind, TParamKind::Help);
    EXPECT_EQ(ClassifyParameter("/d").Step, "Create stroke data window");
    EXPECT_EQ(ClassifyParameter("-F").Kind, TParamKind::ForceCurves);
    EXPECT_EQ(ClassifyParameter("/n").Step, "Create new training session");
    EXPECT_EQ(ClassifyParameter("/R").Kind, TParamKind::Row);
    TParamAction file = ClassifyParameter("-x+");
    EXPECT_EQ(file.Kind, TParamKind::File);
    EXPECT_EQ(file.Step, "Opening file \"-x+\"");
    TParamAction row = ClassifyParameter("/R:rower.ini");
    EXPECT_EQ(row.Kind, TParamKind::RowWithFile);
    EXPECT_EQ(row.Value, ExpandFileName("rower.ini"));
    EXPECT_EQ(ExtractFileName(ClassifyParameter("-r:?").Value), "?");
    EXPECT_EQ(ClassifyParameter("/data/a b.stg").Step, "Opening file \"a b.stg\"");
    EXPECT_EQ(BadParameterText("ab"), "Bad parameter : \"ab\", use \"-h\" for help");
}

TEST(Parameters, FileTypeOptionsOnlyAlone)
{
    EXPECT_EQ(FileTypeOptionOf({"/X"}), TFileTypeOption::Register);
    EXPECT_EQ(FileTypeOptionOf({"-x"}), TFileTypeOption::Register);
    EXPECT_EQ(FileTypeOptionOf({"-x+"}), TFileTypeOption::RegisterAll);
    EXPECT_EQ(FileTypeOptionOf({"/X-"}), TFileTypeOption::Unregister);
    EXPECT_EQ(FileTypeOptionOf({"-xd"}), TFileTypeOption::ReadmeOnly);
    EXPECT_EQ(FileTypeOptionOf({"-x", "/n"}), TFileTypeOption::None);
    EXPECT_EQ(FileTypeOptionOf({"x"}), TFileTypeOption::None);
    EXPECT_EQ(FileTypeOptionOf({"-xx"}), TFileTypeOption::None);
}

TEST(HelpTexts, BoxAndDocuments)
{
    std::string help = HelpBoxText();
    EXPECT_EQ(help.rfind("Catchline 9.0.0.", 0), 0u);
    EXPECT_NE(help.find("\rCopyright (C) 2026 Catchline Rowing\r\rOptional command line parameters:\r\n\r\n"),
              std::string::npos);
    EXPECT_NE(help.find(" /X+  Register all Catchline file types\r\n"), std::string::npos);
    EXPECT_NE(help.find(" /R:?  Open row window with \"Open user file\" dialogue"), std::string::npos);
    const std::string last = "Relative paths are allowed for the Row window option.";
    EXPECT_EQ(help.substr(help.size() - last.size()), last);
    TLogicEnv env;
    std::string manual = HelpDocumentPath('m');
    EXPECT_EQ(ExtractFilePath(manual), env.ProgramFolder());
    EXPECT_EQ(ExtractFileName(manual).substr(0, 11), "catchlinem9");
    EXPECT_EQ(ExtractFileExt(manual), ".pdf");
    EXPECT_EQ(manual.find('.', env.ProgramFolder().size()), manual.size() - 4);  // no dots from the version
}

TEST(ProgramSettings, FirstStartDefaults)
{
    TLogicEnv env;
    TProfileFile ini(env.File("missing.ini"));
    TProgramSettings s;
    ReadProgramSettings(ini, s, "/last/");
    EXPECT_TRUE(s.Recent.empty());
    EXPECT_EQ(s.LastDir, "/last/");
    EXPECT_EQ(s.Dialog, -16777201);
    EXPECT_EQ(s.DataRange, 65535);
    EXPECT_EQ(s.Statistics.TimesStarted, 0);
    EXPECT_EQ(s.Statistics.RunningTime, 0);
    EXPECT_EQ(s.Left, -1);
    EXPECT_EQ(s.Height, -1);
    EXPECT_FALSE(s.MultipleCopies);
}

TEST(ProgramSettings, RoundTripOtherDecimalSeparatorAndBadValues)
{
    TLogicEnv env;
    std::string path = env.File("catchline.ini");
    WriteTextFile(path,
                  "[Recent]\n1=/a.stg\nbroken line\n2=/b.stg\n[Statistics]\nRunningTime=1,5\nRowingTime=0.25\n"
                  "TimesStarted=abc\nFilesOpened=4\n[Row]\nDataRange=2\n[Options]\nDialog=255\n");
    TProfileFile ini(path);
    TProgramSettings s;
    ReadProgramSettings(ini, s, "/last/");
    EXPECT_EQ(s.Recent, (std::vector<std::string>{"/a.stg", "/b.stg"}));
    EXPECT_DOUBLE_EQ(s.Statistics.RunningTime, 1.5);
    EXPECT_DOUBLE_EQ(s.Statistics.RowingTime, 0.25);
    EXPECT_EQ(s.Statistics.TimesStarted, 0);  // unreadable: default
    EXPECT_EQ(s.Statistics.FilesOpened, 4);
    EXPECT_EQ(s.DataRange, 5);  // never below 5
    EXPECT_EQ(s.Dialog, 255);

    s.Recent = {"/x.stg"};
    s.Statistics.FilesSaved = 3;
    s.Left = 10;
    s.Top = 20;
    s.Width = 640;
    s.Height = 480;
    double start = 45000.0, now = 45000.5;
    WriteProgramSettings(ini, s, start, now);
    ini.UpdateFile();
    TProfileFile again(path);
    again.Reload();
    TProgramSettings t;
    ReadProgramSettings(again, t, "");
    // Keys above n stay: the old key 2 is still there.
    EXPECT_EQ(t.Recent, (std::vector<std::string>{"/x.stg", "/b.stg"}));
    EXPECT_DOUBLE_EQ(t.Statistics.RunningTime, 2.0);
    EXPECT_EQ(t.Statistics.FilesSaved, 3);
    EXPECT_EQ(t.Width, 640);
    EXPECT_EQ(t.Top, 20);
    // A start time after now adds nothing.
    EXPECT_DOUBLE_EQ(RunningTimeNow(t.Statistics, now + 1, now), 2.0);
    EXPECT_DOUBLE_EQ(RunningTimeNow(t.Statistics, 0, now), 2.0);

    // Without a start time before now the stored total is not written over
    // (another copy of the program wrote 3 days meanwhile).
    again.WriteFloat("Statistics", "RunningTime", 3.0);
    again.UpdateFile();
    TProfileFile third(path);
    third.Reload();
    WriteProgramSettings(third, t, 0, now);
    WriteProgramSettings(third, t, now + 1, now);
    third.UpdateFile();
    TProfileFile last(path);
    last.Reload();
    EXPECT_DOUBLE_EQ(last.ReadFloat("Statistics", "RunningTime", 0), 3.0);
}

TEST(ProgramSettings, RealsUseTheLocaleSeparatorAndReadBackEitherWay)
{
    TLogicEnv env;
    std::string path = env.File("catchline.ini");
    SetDecimalSeparator(',');
    {
        TProfileFile ini(path);
        TProgramSettings s;
        s.Statistics.RowingTime = 1.5;
        WriteProgramSettings(ini, s, 0, 1);
        ini.UpdateFile();
    }
    EXPECT_NE(ReadTextFile(path).find("RowingTime=1,5"), std::string::npos);
    SetDecimalSeparator('.');
    TProfileFile ini(path);
    ini.Reload();
    TProgramSettings s;
    ReadProgramSettings(ini, s, "");
    EXPECT_DOUBLE_EQ(s.Statistics.RowingTime, 1.5);
}

TEST(Readme, TouchedOrCreated)
{
    TLogicEnv env;
    std::string readme = env.ProgramFolder() + "readme.txt";
    ASSERT_TRUE(ReadmeStep());
    EXPECT_EQ(ReadTextFile(readme).rfind("Catchline 9.0.0.", 0), 0u);
    WriteTextFile(readme, "kept");
    struct stat before {};
    stat(readme.c_str(), &before);
    std::filesystem::last_write_time(readme, std::filesystem::file_time_type::clock::now() - std::chrono::hours(24));
    ASSERT_TRUE(ReadmeStep());
    EXPECT_EQ(ReadTextFile(readme), "kept");
    auto age = std::filesystem::file_time_type::clock::now() - std::filesystem::last_write_time(readme);
    EXPECT_LT(age, std::chrono::minutes(5));
}

TEST(OlderFiles, MovedIntoTheUserFolderWithoutReplacingTheUsersOwn)
{
    TLogicEnv env;
    std::string bin = env.ProgramFolder();
    WriteTextFile(bin + "a.srl", "a");
    WriteTextFile(bin + "b.SRL", "b");
    WriteTextFile(bin + "Default.stg", "template");
    WriteTextFile(bin + "catchline.ini", "[Options]\n");
    std::string user = UserDataFolder(true);
    WriteTextFile(user + "b.srl", "users own");
    WriteTextFile(user + "catchline.ini", "[Recent]\n");
    int moved = MoveOlderFiles();
    EXPECT_EQ(moved, 2);
    EXPECT_EQ(ReadTextFile(user + "a.srl"), "a");
    EXPECT_FALSE(FileExists(bin + "a.srl"));
    EXPECT_EQ(ReadTextFile(user + "b.srl"), "users own");
    EXPECT_TRUE(FileExists(bin + "b.SRL"));
    EXPECT_EQ(ReadTextFile(user + "Default.stg"), "template");
    // The settings file in the user folder wins; the old one stays untouched.
    EXPECT_EQ(ReadTextFile(user + "catchline.ini"), "[Recent]\n");
    EXPECT_TRUE(FileExists(bin + "catchline.ini"));
}

TEST(OlderFiles, ACopyThatFailsEndsTheSearch)
{
    TLogicEnv env;
    std::string bin = env.ProgramFolder();
    WriteTextFile(bin + "default.str", "s");
    std::string user = UserDataFolder(true);
    chmod(user.c_str(), 0500);
    if (access(user.c_str(), W_OK) == 0) GTEST_SKIP() << "running with permissions that ignore file modes";
    EXPECT_EQ(MoveOlderFiles(), 0);  // returns instead of trying forever
    EXPECT_TRUE(FileExists(bin + "default.str"));
    chmod(user.c_str(), 0700);
}
