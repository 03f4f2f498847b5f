// The mod object's life: created by ModCreate, set up and destroyed by the host.
#include <functional>

#include "brickwright.hpp"

#include "sdk/engine.hpp"

static_assert(sizeof(Brickwright) == sizeof(SML::Mod::Mod), "the mod object is exactly a host base object");

namespace {

void logTableSource(SDK::TableSource source, const char* found, const char* missing) {
    if (source == SDK::TableSource::Layout) {
        logModLine(kModName, found);
    } else if (source == SDK::TableSource::NotFound) {
        logModLine(kModName, missing, SML::Utility::LogType::Warning);
    }
}

} // namespace

Brickwright::Brickwright() : SML::Mod::Mod(modInfo) {}

void Brickwright::setup() {
    SDK::initEngineGlobals();
    // Nothing downstream tests the tables; a game update that moved the code shows here, in the log,
    // instead of behind a cheerful "Recipes added!". A table found by its layout says so instead.
    logTableSource(SDK::engineNameTableSource, "Brickwright found the engine's name table by its layout",
                   "Brickwright could not find the engine's name table");
    logTableSource(SDK::engineObjectTableSource, "Brickwright found the engine's object table by its layout",
                   "Brickwright could not find the engine's object table");
    using namespace std::placeholders;
    HookInvoker<void (SML::Objects::AFGPlayerController::*)(),
                &SML::Objects::AFGPlayerController::BeginPlay>::
        subscribe(std::bind(&Brickwright::onPlayerControllerBeginPlay, this, _1, _2));
    logModLine(kModName, "Finished Brickwright setup!");
}

void Brickwright::secondaryEntry() {}

Brickwright::~Brickwright() {
    logModLine(kModName, "Brickwright finished cleanup!");
}

extern "C" SML::Mod::Mod* ModCreate() {
    return new Brickwright();
}
