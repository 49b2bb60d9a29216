#include "tests/support/testutil_framework.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <QTimer>

#include "util/paths.h"

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
