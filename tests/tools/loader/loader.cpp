// A host loader fixture: defines and exports the host interface of host.hpp. Built three ways: whole,
// without addRecipe (FIXTURE_WITHOUT_ADD_RECIPE), and with ModReturns as a class.
#define FIXTURE_LOADER
#include "host.hpp"

namespace SML {
namespace Mod {

Mod::Mod(const Info& info) : info_(&info) {}
Mod::~Mod() {}

namespace Functions {

SDK::UObject* loadObjectFromPak(SDK::UClass*, const wchar_t*) {
    return nullptr;
}
#if !defined(FIXTURE_WITHOUT_ADD_RECIPE)
void addRecipe(SDK::UClass*) {}
#endif

} // namespace Functions
} // namespace Mod

namespace Utility {

void writeHeader(std::string, LogType) {}
void setConsoleColor(ConsoleColor) {}
void log(LogType) {}
std::ofstream logFile;

} // namespace Utility
} // namespace SML

void HookInvoker<void (SML::Objects::AFGPlayerController::*)(),
                 &SML::Objects::AFGPlayerController::BeginPlay>::subscribe(Handler) {}

// The abstract Mod's vftable names it; no CRT here to provide it.
extern "C" int _purecall() {
    return 0;
}
