#include "game_world.hpp"

#include <array>

#include "recipe_items.hpp"
#include "sdk/engine_layout.hpp"

namespace game {

namespace {

// The engine's Class class object lies past the first chunk of the object table (a real engine keeps
// it near the start), so the mod's search walks a full chunk, its empty elements and its decoys, and
// crosses a chunk border before it finds it.
constexpr std::size_t kClassClassMinimumIndex = SDK::Layout::kObjectsPerChunk + 37;

constexpr std::size_t kFillerBeforeClass = 4800;
constexpr std::size_t kFillerAfterClass = 1500;
constexpr std::size_t kObjectsPerPackage = 40;

} // namespace

SDK::UObject* GameWorld::add(std::string_view name, std::int32_t number, SDK::UObject* objectClass,
                             SDK::UObject* outer) {
    ++objects_;
    return engine_.addObject(name, number, objectClass, outer);
}

// Props in packages of their own, of several classes; some with numbered names, some followed by
// the empty elements that objects collected by the engine leave behind.
void GameWorld::addFiller(std::size_t count, std::size_t seed, SDK::UObject* const* classes,
                          std::size_t classCount) {
    static constexpr std::array<std::string_view, 6> kPrefixes = {"SM_Prop", "T_Prop", "M_Prop",
                                                                  "SW_Prop", "F_Prop", "S_Prop"};
    SDK::UObject* package = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t n = seed + i;
        if (i % kObjectsPerPackage == 0) {
            const std::string packageName =
                "/Game/FactoryGame/Props/Pack" + std::to_string(n / kObjectsPerPackage);
            package = add(packageName, 0, classes[0], nullptr);
        }
        const std::size_t kind = n % kPrefixes.size();
        const std::string name = std::string(kPrefixes[kind]) + std::to_string(n % 97);
        const auto number = static_cast<std::int32_t>(n % 5 == 0 ? n % 11 + 1 : 0);
        add(name, number, classes[1 + kind % (classCount - 1)], package);
        if (n % 7 == 3) {
            engine_.addEmptyElement();
            engine_.addEmptyElement();
            engine_.addEmptyElement();
        }
    }
}

GameWorld::GameWorld(void* objectTableHeader, bool withClassClass) : engine_(objectTableHeader) {
    // Objects whose class is the Class class object get it once that exists (further on in the table).
    std::vector<SDK::UObject*> ofClassClass;
    const auto classObject = [&](std::string_view name, std::int32_t number, SDK::UObject* outer) {
        SDK::UObject* object = add(name, number, nullptr, outer);
        ofClassClass.push_back(object);
        return object;
    };

    SDK::UObject* coreUObject = add("/Script/CoreUObject", 0, nullptr, nullptr);
    SDK::UObject* enginePackage = add("/Script/Engine", 0, nullptr, nullptr);
    SDK::UObject* packageClass = classObject("Package", 0, coreUObject);
    engine_.setClass(coreUObject, packageClass);
    engine_.setClass(enginePackage, packageClass);

    SDK::UObject* const classes[] = {
        packageClass,
        classObject("StaticMesh", 0, enginePackage),
        classObject("Texture2D", 0, enginePackage),
        classObject("Material", 0, enginePackage),
        classObject("SoundWave", 0, enginePackage),
        classObject("Function", 0, coreUObject),
        classObject("ScriptStruct", 0, coreUObject),
    };
    SDK::UObject* blueprintClass = classObject("BlueprintGeneratedClass", 0, enginePackage);

    // Objects whose full names come close to "Class CoreUObject.Class" without being it.
    SDK::UObject* classOne = classObject("Class", 1, coreUObject);   // Class CoreUObject.Class_1
    classObject("Class", 0, enginePackage);                          // Class Engine.Class
    SDK::UObject* classless = add("Class", 0, nullptr, coreUObject); // (no class, no full name)
    add("Class", 0, blueprintClass, coreUObject); // BlueprintGeneratedClass CoreUObject.Class
    add("Class", 0, classOne, coreUObject);       // Class_1 CoreUObject.Class
    classObject("class", 0, coreUObject);         // Class CoreUObject.class
    classObject("Class", 0, nullptr);             // Class Class
    classObject("Class", 0, classless);           // Class CoreUObject.Class.Class
    SDK::UObject* coreOne = add("/Script/CoreUObject", 1, packageClass, nullptr);
    classObject("Class", 0, coreOne); // Class CoreUObject_1.Class
    SDK::UObject* moreCore = add("/Script/ExtraCoreUObject", 0, packageClass, nullptr);
    classObject("Class", 0, moreCore); // Class ExtraCoreUObject.Class

    addFiller(kFillerBeforeClass, 0, classes, std::size(classes));
    while (static_cast<std::size_t>(engine_.objectCount()) < kClassClassMinimumIndex) {
        engine_.addEmptyElement();
    }

    classClassIndex_ = static_cast<std::size_t>(engine_.objectCount());
    if (withClassClass) {
        classClass_ = engine_.addClassClass(coreUObject);
        ++objects_;
        for (SDK::UObject* object : ofClassClass) {
            engine_.setClass(object, classClass_);
        }
    }

    // Each recipe asset: its package, its class, and the class's default object.
    for (std::string_view item : kRecipeItems) {
        SDK::UObject* package = add(recipePackageName(item), 0, packageClass, nullptr);
        SDK::UObject* recipe = add(recipeClassName(item), 0, blueprintClass, package);
        add("Default__" + recipeClassName(item), 0, recipe, package);
        recipeClasses_.push_back(static_cast<SDK::UClass*>(recipe));
    }

    addFiller(kFillerAfterClass, kFillerBeforeClass, classes, std::size(classes));
}

} // namespace game
