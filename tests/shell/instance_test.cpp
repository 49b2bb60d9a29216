// Single instance between real processes: the built program is started
// twice under a temporary home; the second start hands its arguments over.
// Also the file-type options, which end the program after registering.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include "shell/file_types.h"
#include "shell/screen_saver.h"
#include "tests/support/testutil_framework.h"
#include "util/paths.h"

namespace {

class Program : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp();
        Home = Env.Folder() + "home";
        Runtime = Env.Folder() + "run";
        std::filesystem::create_directories(Home + "/Documents");
        std::filesystem::create_directories(Runtime);
        chmod(Runtime.c_str(), 0700);
        Environment = QProcessEnvironment::systemEnvironment();
        Environment.insert("HOME", QString::fromStdString(Home));
        Environment.insert("XDG_RUNTIME_DIR", QString::fromStdString(Runtime));
        Environment.insert("XDG_CONFIG_HOME", QString::fromStdString(Home + "/.config"));
        Environment.remove("XDG_DATA_HOME");
        Environment.remove("XDG_DOCUMENTS_DIR");
        Environment.remove("DBUS_SESSION_BUS_ADDRESS");
        Environment.insert("QT_QPA_PLATFORM", "offscreen");
        Environment.insert("CATCHLINE_TRACE", "1");
    }
    void TearDown() override
    {
        for (auto& p : Running) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }
    QProcess* Start(const QStringList& args)
    {
        Running.push_back(std::make_unique<QProcess>());
        QProcess* p = Running.back().get();
        p->setProcessEnvironment(Environment);
        p->start(CATCHLINE_PROGRAM, args);
        EXPECT_TRUE(p->waitForStarted(10000));
        return p;
    }
    std::string Socket() const { return Runtime + "/catchline-" + std::to_string(getuid()) + ".socket"; }
    // Waits until a copy listens on the socket.
    bool WaitForListener()
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 20000) {
            QLocalSocket s;
            s.connectToServer(QString::fromStdString(Socket()));
            if (s.waitForConnected(200)) return true;
            QProcess().waitForFinished(100);  // short pause between attempts
        }
        return false;
    }
    // Collects standard error of a process until it contains text.
    bool WaitForOutput(QProcess* p, const QString& text, QString& all)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 20000) {
            p->waitForReadyRead(200);
            all += QString::fromUtf8(p->readAllStandardError());
            if (all.contains(text)) return true;
        }
        return false;
    }
    TShellEnv Env;
    std::string Home, Runtime;
    QProcessEnvironment Environment;
    std::vector<std::unique_ptr<QProcess>> Running;
};

}  // namespace

TEST_F(Program, SecondStartHandsItsArgumentsToTheRunningCopy)
{
    std::string file = Env.Folder() + "my training file.stg";
    std::filesystem::copy_file(TestDataFile("training/sample.stg"), file);
    QProcess* first = Start({});
    ASSERT_TRUE(WaitForListener());

    QProcess* second = Start({QString::fromStdString(file), "-n"});
    ASSERT_TRUE(second->waitForFinished(20000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);

    QString output;
    ASSERT_TRUE(WaitForOutput(first, "Parameter \"-n\"", output)) << output.toStdString();
    EXPECT_TRUE(output.contains("Command line from a second start: 2 argument(s)"));
    // The name with blanks arrives in one piece.
    EXPECT_TRUE(output.contains(QString::fromStdString("Parameter \"" + file + "\""))) << output.toStdString();

    // A start without arguments only brings the first copy to the front.
    QProcess* third = Start({});
    ASSERT_TRUE(third->waitForFinished(20000));
    EXPECT_EQ(third->exitCode(), 0);
    ASSERT_TRUE(WaitForOutput(first, "0 argument(s)", output));
    EXPECT_EQ(first->state(), QProcess::Running);
}

TEST_F(Program, MultipleCopiesRunSideBySide)
{
    std::string folder = Home + "/Documents/Catchline Rowing/Catchline/";
    std::filesystem::create_directories(folder);
    WriteTextFile(folder + "catchline.ini", "[Options]\nMultipleCopies=1\n");
    QProcess* first = Start({});
    ASSERT_TRUE(WaitForListener());
    QProcess* second = Start({"-n"});
    // The second copy works on its argument itself instead of handing it over.
    QString output;
    EXPECT_TRUE(WaitForOutput(second, "Parameter \"-n\"", output)) << output.toStdString();
    EXPECT_EQ(second->state(), QProcess::Running);
    EXPECT_EQ(first->state(), QProcess::Running);
    QString firstOutput = QString::fromUtf8(first->readAllStandardError());
    EXPECT_FALSE(firstOutput.contains("second start")) << firstOutput.toStdString();
}

TEST_F(Program, LeftoversOfACrashedCopyDoNotBlockAStart)
{
    // A socket file nobody listens on and a lock file of a process that has ended.
    WriteTextFile(Socket(), "");
    QProcess ended;
    ended.start("true");
    ASSERT_TRUE(ended.waitForFinished(5000));
    qint64 deadPid = ended.processId() > 0 ? ended.processId() : 999999;
    WriteTextFile(Runtime + "/catchline-" + std::to_string(getuid()) + ".lock",
                  std::to_string(deadPid) + "\ncatchline\n" + QSysInfo::machineHostName().toStdString() + "\n");
    QProcess* first = Start({});
    ASSERT_TRUE(WaitForListener());
    QProcess* second = Start({"/n"});
    ASSERT_TRUE(second->waitForFinished(20000));
    EXPECT_EQ(second->exitCode(), 0);
    QString output;
    EXPECT_TRUE(WaitForOutput(first, "Parameter \"/n\"", output)) << output.toStdString();
}

TEST_F(Program, FileTypeOptionsRegisterAndRemoveTheUsersFiles)
{
    std::string data = Home + "/.local/share/";
    QProcess* reg = Start({"/X"});
    ASSERT_TRUE(reg->waitForFinished(30000));
    EXPECT_EQ(reg->exitCode(), 0);
    for (const char* ext : {"stg", "str", "bxs", "bxr", "bxi"}) {
        std::string xml = ReadTextFile(data + "mime/packages/catchline-" + ext + ".xml");
        EXPECT_NE(xml.find(std::string("<glob pattern=\"*.") + ext + "\"/>"), std::string::npos) << ext;
    }
    std::string desktop = ReadTextFile(data + "applications/catchline.desktop");
    EXPECT_NE(desktop.find("Exec=\"" + std::string(CATCHLINE_PROGRAM) + "\" %F"), std::string::npos) << desktop;
    EXPECT_NE(desktop.find("application/x-catchline-bxi;"), std::string::npos);
    EXPECT_TRUE(FileExists(ExtractFilePath(CATCHLINE_PROGRAM) + "readme.txt"));

    QProcess* unreg = Start({"-x-"});
    ASSERT_TRUE(unreg->waitForFinished(30000));
    EXPECT_EQ(unreg->exitCode(), 0);
    for (const char* ext : {"stg", "str", "bxs", "bxr", "bxi"})
        EXPECT_FALSE(FileExists(data + "mime/packages/catchline-" + ext + ".xml")) << ext;
    EXPECT_FALSE(FileExists(data + "applications/catchline.desktop"));

    // "XD" only touches the readme.
    QProcess* readme = Start({"-XD"});
    ASSERT_TRUE(readme->waitForFinished(30000));
    EXPECT_EQ(readme->exitCode(), 0);
    EXPECT_FALSE(FileExists(data + "applications/catchline.desktop"));
}

TEST(FileTypes, EachTypeRegistersAndUnregistersOnItsOwn)
{
    TShellEnv env;
    std::string data = env.Folder() + "share";
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    EXPECT_EQ(UserDataHome(), data + "/");
    EXPECT_TRUE(RegisterFileTypes(true, false, false, false, true));
    EXPECT_TRUE(FileExists(MimeDefinitionPath("stg")));
    EXPECT_FALSE(FileExists(MimeDefinitionPath("str")));
    std::string desktop = ReadTextFile(DesktopEntryPath());
    EXPECT_NE(desktop.find("MimeType=application/x-catchline-stg;application/x-catchline-bxi;\n"), std::string::npos)
        << desktop;
    std::string xml = ReadTextFile(MimeDefinitionPath("stg"));
    EXPECT_NE(xml.find("<comment>Catchline Training File</comment>"), std::string::npos);
    EXPECT_TRUE(RegisterFileTypes(false, false, false, false, true));
    EXPECT_FALSE(FileExists(MimeDefinitionPath("stg")));
    EXPECT_NE(ReadTextFile(DesktopEntryPath()).find("MimeType=application/x-catchline-bxi;\n"), std::string::npos);
    EXPECT_TRUE(RegisterFileTypes(false, false, false, false, false));
    EXPECT_FALSE(FileExists(DesktopEntryPath()));
    unsetenv("XDG_DATA_HOME");
}

TEST(ScreenSaver, BlockedOnlyWhenTheDesktopGrantsIt)
{
    TestApp();
    TScreenSaverBlocker blocker;
    bool granted = blocker.Start("Catchline", "Training session display");
    EXPECT_EQ(blocker.Active(), granted);
    if (granted) {
        EXPECT_EQ(blocker.StatusText().rfind("Screen saver blocked at ", 0), 0u);
        blocker.Stop();
    }
    // Without a session bus (or a screen saver) nothing is blocked and nothing is reported.
    EXPECT_FALSE(blocker.Active());
    EXPECT_EQ(blocker.StatusText(), "");
}

// A timed start: the program reports when its main window was first painted
// and how long each argument took, then ends by itself without asking or
// leaving its single-instance socket behind. A file that cannot be opened
// is timed like any other and the program still ends.
TEST_F(Program, TimedStartReportsAndEnds)
{
    std::string file = Env.Folder() + "timed.stg";
    std::filesystem::copy_file(TestDataFile("training/sample.stg"), file);
    Environment.insert("CATCHLINE_TIMING", "quit");
    Environment.remove("CATCHLINE_TRACE");
    for (const QStringList& args : {QStringList{}, QStringList{"/D", "/F", QString::fromStdString(file)}}) {
        QProcess* p = Start(args);
        ASSERT_TRUE(p->waitForFinished(30000)) << args.join(' ').toStdString();
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->exitCode(), 0);
        const QString err = QString::fromUtf8(p->readAllStandardError());
        EXPECT_EQ(err.count("timing: main window shown: "), 1) << err.toStdString();
        for (const QString& a : args)
            EXPECT_TRUE(
                err.contains(QRegularExpression("timing: \"" + QRegularExpression::escape(a) + "\": [0-9]+ ms")))
                << err.toStdString();
        EXPECT_FALSE(FileExists(Socket()));
    }
    // Without the setting the program says nothing of the kind (and stays).
    Environment.remove("CATCHLINE_TIMING");
    QProcess* plain = Start({});
    ASSERT_TRUE(WaitForListener());
    EXPECT_FALSE(plain->waitForFinished(500));
    EXPECT_FALSE(QString::fromUtf8(plain->readAllStandardError()).contains("timing:"));
}
