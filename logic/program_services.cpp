#include "logic/program_services.h"

#include <utility>

#include "interfaces/delay.h"
#include "util/paths.h"

std::string TStandaloneServices::SettingsFileForReading() const { return SettingsFile(false); }

std::string TStandaloneServices::SettingsFileForWriting() const { return SettingsFile(true); }

void SetInterfaceTones(std::function<void(int frequency, int duration)> sound) { SetToneService(std::move(sound)); }
