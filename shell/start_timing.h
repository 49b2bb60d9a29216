#pragma once
// Timing of the start and of the command line: with CATCHLINE_TIMING set in
// the environment the program writes lines beginning "timing:" to standard
// error: when the main window was first painted, and how long each
// command-line argument (a file opened, a window shown) took until its
// windows were painted. CATCHLINE_TIMING=quit ends the program once the
// command line is done (without the exit question or saving settings), so a
// script or benchmark can start it again and again.
#include <string>

class QWidget;

namespace StartTiming {

bool Enabled();
bool QuitWhenDone();
// Milliseconds since the process was started (from the kernel's record of
// it, to 10 ms) and since the program's first instruction ran.
double SinceProcessStart();
double SinceProgramStart();
// Writes "timing: text" with the milliseconds since the process started.
void Report(const std::string& text);
// Writes "timing: text: N ms".
void ReportSpan(const std::string& text, double ms);
// Reports the first paint of window, once.
void WatchFirstPaint(QWidget* window, const std::string& what);
// With CATCHLINE_TIMING=quit: ends the program once the window watched has
// been painted (at once when it was already).
void QuitOnceShown();

}  // namespace StartTiming
