#pragma once
// What every window test and benchmark starts from: the one application
// object (offscreen unless a platform is chosen), and a temporary home that
// holds the documents folder (settings file, user data) and the program
// folder while it lives.
#include <cstdlib>

#include <QApplication>

#include "tests/support/testutil_home.h"

inline QApplication& TestApp()
{
    static int argc = 1;
    static char name[] = "catchline";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        // Fast demo rows play 250 ms of the recording per timer call.
        setenv("CATCHLINE_DEMO_STEP_MS", "250", 0);
        return new QApplication(argc, argv);
    }();
    return *app;
}
