// A world that the engine globals point at while it lives.
#pragma once

#include "sdk/engine.hpp"
#include "standin/engine_world.hpp"

namespace enginetest {

class InstalledWorld : public standin::EngineWorld {
public:
    InstalledWorld() { install(); }
    ~InstalledWorld() {
        SDK::engineNameTable = 0;
        SDK::engineObjectTable = 0;
    }
};

// Lays out what makes a world provable, as a game's is: the class for classes, "Class" inside
// "/Script/CoreUObject", at the end of every class chain, and `packages` packages of class Package.
// Returns the class for classes.
inline SDK::UClass* addProvableCore(standin::EngineWorld& world, int packages) {
    SDK::UObject* core = world.addObject("/Script/CoreUObject", nullptr, nullptr);
    SDK::UClass* classClass = world.addClassClass(core);
    SDK::UObject* packageClass = world.addObject("Package", classClass, core);
    world.setClass(core, packageClass);
    for (int i = 0; i < packages; ++i) {
        world.addObject("/Game/Pack", i, packageClass, nullptr);
    }
    return classClass;
}

} // namespace enginetest
