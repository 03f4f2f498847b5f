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

} // namespace enginetest
