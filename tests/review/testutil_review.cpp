#include "tests/review/testutil_review.h"

#include <cstdlib>
#include <filesystem>

#include "util/paths.h"

TTestRegistry::TTestRegistry()
{
    QObject::connect(&Store, &TSessionStore::SessionRemoved, [this](int32_t id) { Closed.push_back(id); });
    QObject::connect(&Store, &TSessionStore::SessionReset, [this](int32_t id) { Resets.push_back(id); });
    QObject::connect(&Store, &TSessionStore::HeaderChanged, [this](int32_t) { ++Changed; });
    QObject::connect(&Store, &TSessionStore::WorkoutChanged, [this](int32_t) { ++Changed; });
}

int32_t TTestRegistry::Open(const TTraining& t, int32_t id)
{
    Store.Add(t, id);
    return id;
}

std::string TTestRegistry::SettingsFileForReading() const { return SettingsFile(false); }
std::string TTestRegistry::SettingsFileForWriting() const { return SettingsFile(true); }
