#include "testutil_framework.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <QTimer>

#include "util/paths.h"

QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "catchline";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        return new QApplication(argc, argv);
    }();
    return *app;
}

TShellEnv::TShellEnv() {
    TestApp();
    char tmpl[] = "/tmp/catchline-shell-XXXXXX";
    Root = std::string(mkdtemp(tmpl)) + "/";
    std::filesystem::create_directories(Root + "docs");
    std::filesystem::create_directories(Root + "bin");
    SetDocumentsFolder(Root + "docs");
    SetProgramPathForTesting(Root + "bin/catchline");
}

TShellEnv::~TShellEnv() {
    SetDocumentsFolder("");
    SetProgramPathForTesting("");
    std::error_code ec;
    std::filesystem::permissions(Root, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    for (auto& p : std::filesystem::recursive_directory_iterator(Root, ec))
        if (p.is_directory()) std::filesystem::permissions(p.path(), std::filesystem::perms::owner_all,
                                                           std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(Root, ec);
}

void WhenModal(std::function<void(QWidget*)> action) {
    auto* timer = new QTimer();
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            action(w);
        }
    });
    timer->start();
}

std::string ReadTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string TestDataFile(const std::string& relative) { return std::string(CATCHLINE_TEST_DATA) + "/" + relative; }
