#include "shell/framework/registry.h"

namespace {
TSessionRegistry* Registry = nullptr;
}

TSessionRegistry* MainRegistry() { return Registry; }
void SetMainRegistry(TSessionRegistry* registry) { Registry = registry; }
