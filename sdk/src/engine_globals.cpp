#include "sdk/engine.hpp"

namespace SDK {

std::uintptr_t engineNameTable = 0;
std::uintptr_t engineObjectTable = 0;

void initEngineGlobals() { initEngineGlobals(os::gameModuleImage()); }

void initEngineGlobals(const os::ModuleImage&) {}

} // namespace SDK
