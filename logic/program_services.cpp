#include "logic/program_services.h"

#include "util/paths.h"

std::string TStandaloneServices::SettingsFileForReading() const { return SettingsFile(false); }

std::string TStandaloneServices::SettingsFileForWriting() const { return SettingsFile(true); }
