#pragma once
// Helpers of the logic tests (which run without any window) and of the window
// tests built on them: a temporary home for the settings file and the user
// data, sessions made in memory, and the hand-made test files.
#include <string>

#include "core/records.h"
#include "tests/support/testutil_home.h"

class TLogicEnv : public TTempHome {
public:
    TLogicEnv() : TTempHome("logic") {}
};

// A session of n strokes (with force curves) as a recording leaves it:
// 5 m and 2.5 s per stroke, totals from the last stroke.
TTraining MakeRowedSession(int n);
// One stroke as the row engine stores it.
void AppendStroke(TTraining& t);
// Path of a file under tests/data.
std::string TestDataFile(const std::string& relative);
std::string ReadTextFile(const std::string& path);
void WriteTextFile(const std::string& path, const std::string& text);
