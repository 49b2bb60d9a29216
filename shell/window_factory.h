#pragma once
// The program's window factory: the training, row and chart windows and the
// shared new-row and results dialogs, for the main window that knows them
// only through the framework's interface.
#include "framework/window_factory.h"

TWindowFactory& ProgramWindows();
