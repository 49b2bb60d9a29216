#include "shell/startup.h"

#include <QApplication>
#include <QStandardPaths>

#include "core/catalogue.h"
#include "framework/qt_dialogs.h"
#include "framework/window_util.h"
#include "logic/row_engine.h"
#include "shell/main_window.h"
#include "shell/single_instance.h"
#include "shell/splash.h"
#include "shell/start_timing.h"
#include "util/paths.h"
#include "util/profile.h"
#include "util/text.h"
#include "util/version.h"

int RunCatchline(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromStdString(LowerCase(VersionString("ProductName"))));
    QApplication::setOrganizationName(QString::fromStdString(VersionString("CompanyName")));
    QApplication::setApplicationVersion(QString::fromStdString(VersionString("FileVersion")));
    InitShellResources();
    QApplication::setWindowIcon(ApplicationIcon());

    // Unit start-up, before any window.
    BuildCatalogues();
    InitLocaleFromEnvironment();
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty()) SetDocumentsFolder(documents.toStdString() + "/");
    LoadSystemColors();
    MoveSettingsFile();

    std::vector<std::string> args;
    QStringList arguments = QApplication::arguments();
    for (int i = 1; i < arguments.size(); ++i) {
        // "--real-pace": the demo plays at a rower's pace in this run, whatever
        // the row window's "DemoFast" setting says.
        if (arguments[i].compare("--real-pace", Qt::CaseInsensitive) == 0) {
            SetDemoRealPace(true);
            continue;
        }
        args.push_back(arguments[i].toStdString());
    }

    // The single-instance check runs last.
    bool multipleCopies = false;
    std::string settings = SettingsFile(false);
    if (!settings.empty()) {
        TProfileFile ini(settings);
        multipleCopies = ini.ReadBool("Options", "MultipleCopies", false);
    }
    TSingleInstance instance;
    if (instance.Check(args, multipleCopies) == TSingleInstance::TOutcome::HandedOver) return 0;

    InstallQtDialogs();
    TfrmMain main(args);
    if (main.ExitRequested()) return main.ExitCode();
    instance.OnReceive = [&main](const std::string& text) { main.ProcessRemoteParameters(text); };
    StartTiming::WatchFirstPaint(&main, "main window shown");
    main.show();
    return QApplication::exec();
}
