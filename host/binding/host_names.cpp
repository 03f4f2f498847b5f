// Every name the mod imports from the loader, used once, in the order the list of spellings keeps them.
// The build compiles this file once per choice of the header's open class keys (SML_KEY_* on the
// command line) and reads each object's undefined imports: what the compiler itself calls each name.
#include "sml/sml.hpp"

namespace {

// A mod object, for the base class's constructor and destructor.
class Probe final : public SML::Mod::Mod {
public:
    using Mod::Mod;
    void setup() override {}
    void secondaryEntry() override {}
};

} // namespace

extern "C" void brickwrightUseHostNames(void (*use)(const void*), const SML::Mod::Mod::Info& info) {
    {
        const Probe probe(info);
        use(&probe);
    }
    use(reinterpret_cast<const void*>(&SML::Mod::Functions::loadObjectFromPak));
    use(reinterpret_cast<const void*>(&SML::Mod::Functions::addRecipe));
    use(reinterpret_cast<const void*>(
        &HookInvoker<void (SML::Objects::AFGPlayerController::*)(),
                     &SML::Objects::AFGPlayerController::BeginPlay>::subscribe));
    use(reinterpret_cast<const void*>(&SML::Utility::writeHeader));
    use(reinterpret_cast<const void*>(&SML::Utility::setConsoleColor));
    use(reinterpret_cast<const void*>(&SML::Utility::log));
    use(&SML::Utility::logFile);
}
