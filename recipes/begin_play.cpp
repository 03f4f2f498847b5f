// The mod's whole contribution to the game: on every player controller's BeginPlay, load each recipe
// class of the table through the host and register it.
#include <cstddef>
#include <string>

#include "brickwright.hpp"
#include "recipe_table.hpp"

#include "sdk/objects.hpp"

namespace {

// The table's paths are ASCII: each wide character is one narrow one.
std::string narrow(const wchar_t* path) {
    std::string text;
    for (; *path != L'\0'; ++path) {
        text.push_back(static_cast<char>(*path));
    }
    return text;
}

} // namespace

// Neither argument nor anything of the object is used, and nothing is kept between calls: every
// BeginPlay registers all recipes again. Results are passed on unexamined; a class that did not load
// reaches addRecipe as null and the loop goes on. Only afterwards is the player told, in a warning of
// its own, that "Recipes added!" did not mean all of them.
void Brickwright::onPlayerControllerBeginPlay(SML::Mod::Functions::ModReturns*,
                                              SML::Objects::AFGPlayerController*) {
    logModLine(kModName, "Brickwright adding recipes...");
    std::size_t unloaded = 0;
    const wchar_t* firstUnloaded = nullptr;
    for (const wchar_t* path : recipeClassPaths) {
        SDK::UClass* classClass = SDK::lookupClassClass();
        SDK::UObject* recipe = SML::Mod::Functions::loadObjectFromPak(classClass, path);
        SML::Mod::Functions::addRecipe(static_cast<SDK::UClass*>(recipe));
        if (recipe == nullptr && unloaded++ == 0) {
            firstUnloaded = path;
        }
    }
    logModLine(kModName, "Brickwright Recipes added!");
    if (unloaded > 0) {
        const std::string message = "Brickwright could not load " + std::to_string(unloaded) + " of " +
                                    std::to_string(recipeClassPaths.size()) +
                                    " recipes (the first: " + narrow(firstUnloaded) + ")";
        logModLine(kModName, message.c_str(), SML::Utility::LogType::Warning);
    }
}
