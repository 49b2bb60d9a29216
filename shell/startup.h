#pragma once
// The program: unit start-up (catalogues, locale, documents folder, settings
// file move), the single-instance check, the main window and the message loop.
int RunCatchline(int argc, char** argv);
