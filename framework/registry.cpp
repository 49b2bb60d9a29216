#include "framework/registry.h"

namespace {

TMainRegistry* Registry = nullptr;

class TRegistryServices : public TProgramServices {
public:
    std::string SettingsFileForReading() const override
    {
        return Registry ? Registry->SettingsFileForReading() : Standalone.SettingsFileForReading();
    }
    std::string SettingsFileForWriting() const override
    {
        return Registry ? Registry->SettingsFileForWriting() : Standalone.SettingsFileForWriting();
    }
    void CountRowingSession() override
    {
        if (Registry) Registry->CountRowingSession();
    }
    void AddRowingTime(double days) override
    {
        if (Registry) Registry->AddRowingTime(days);
    }
    void CountFileSaved() override
    {
        if (Registry) Registry->CountFileSaved();
    }

private:
    TStandaloneServices Standalone;
};

}  // namespace

TMainRegistry* MainRegistry() { return Registry; }
void SetMainRegistry(TMainRegistry* registry) { Registry = registry; }

TProgramServices& ProgramServices()
{
    static TRegistryServices services;
    return services;
}
