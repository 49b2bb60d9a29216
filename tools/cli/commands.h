#pragma once
#include <string>
#include <vector>

// Entry points of the command-line tool's commands; each returns the exit code.
// Add a declaration here and a line to the table in main.cpp for a new command.

// Files (cli_files.cpp).
int CmdDump(const std::vector<std::string>& args);
int CmdSave(const std::vector<std::string>& args);
int CmdConvert(const std::vector<std::string>& args);
int CmdExport(const std::vector<std::string>& args);

// Devices (cli_replay.cpp).
int CmdReplay(const std::vector<std::string>& args);

// Rowing without a window (cli_row.cpp).
int CmdRow(const std::vector<std::string>& args);

// Recovery of unsaved recordings from their journals (cli_recover.cpp).
int CmdRecover(const std::vector<std::string>& args);

// Device simulator on a pseudo-terminal, and captures of the demo devices (cli_simulate.cpp).
int CmdSimulate(const std::vector<std::string>& args);

// A Bluetooth device's notifications recorded into a capture (cli_capture.cpp).
int CmdCapture(const std::vector<std::string>& args);
