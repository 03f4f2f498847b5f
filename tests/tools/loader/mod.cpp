// A mod fixture: uses the host interface as the mod does, so that it imports from xinput1_3.dll the
// same names: Mod's constructor and destructor, loadObjectFromPak, addRecipe, the BeginPlay hook's
// subscribe, writeHeader, setConsoleColor, log and logFile.
#include "host.hpp"

namespace {

const SML::Mod::Mod::Info kInfo{};
void* volatile sink = nullptr;

class FixtureMod : public SML::Mod::Mod {
public:
    FixtureMod() : Mod(kInfo) {}

    void setup() override {
        HookInvoker<void (SML::Objects::AFGPlayerController::*)(),
                    &SML::Objects::AFGPlayerController::BeginPlay>::subscribe({});
        SML::Mod::Functions::addRecipe(
            reinterpret_cast<SDK::UClass*>(SML::Mod::Functions::loadObjectFromPak(nullptr, L"/Game")));
        SML::Utility::writeHeader({}, SML::Utility::LogType::Info);
        SML::Utility::setConsoleColor(SML::Utility::ConsoleColor::White);
        sink = &SML::Utility::logFile;
        SML::Utility::log(SML::Utility::LogType::Info);
    }
    void secondaryEntry() override {}
};

alignas(16) unsigned char storage[sizeof(FixtureMod)];

} // namespace

// No CRT: the one mod object lives in static storage, and the deleting destructor needs a delete.
void* operator new(decltype(sizeof 0)) {
    return storage;
}
void operator delete(void*, decltype(sizeof 0)) noexcept {}

extern "C" __declspec(dllexport) SML::Mod::Mod* ModCreate() {
    return new FixtureMod();
}
