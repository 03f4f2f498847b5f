// The game's engine world: the objects a running game has in its object table when player
// controllers begin play, with the names in its name table.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "sdk/objects.hpp"
#include "standin/engine_world.hpp"

namespace game {

class GameWorld {
public:
    // Builds the world with the object table's header at `objectTableHeader` (where the game's
    // instructions refer to it); without the engine's class for classes when `withClassClass` is false
    // (the objects whose class it would be then have none).
    GameWorld(void* objectTableHeader, bool withClassClass);

    // "Class CoreUObject.Class": the engine's class for classes; null in a world without it.
    SDK::UClass* classClass() const noexcept { return classClass_; }

    // The recipe classes, in the order of kRecipeItems.
    const std::vector<SDK::UClass*>& recipeClasses() const noexcept { return recipeClasses_; }

    // What the name table variable holds.
    const void* nameTable() const noexcept { return engine_.nameTable(); }

    std::size_t objectCount() const noexcept { return objects_; }
    std::size_t elementCount() const noexcept { return static_cast<std::size_t>(engine_.objectCount()); }
    // The element index of the engine's Class class object.
    std::size_t classClassIndex() const noexcept { return classClassIndex_; }

private:
    SDK::UObject* add(std::string_view name, std::int32_t number, SDK::UObject* objectClass,
                      SDK::UObject* outer);
    void addFiller(std::size_t count, std::size_t seed, SDK::UObject* const* classes, std::size_t classCount);

    standin::EngineWorld engine_;
    SDK::UClass* classClass_ = nullptr;
    std::vector<SDK::UClass*> recipeClasses_;
    std::size_t objects_ = 0;
    std::size_t classClassIndex_ = 0;
};

} // namespace game
