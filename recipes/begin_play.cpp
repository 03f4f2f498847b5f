// The mod's whole contribution to the game: on every player controller's BeginPlay, load each recipe
// class of the table through the host and register it.
#include "brickwright.hpp"
#include "recipe_table.hpp"

#include "sdk/objects.hpp"

// Neither argument nor anything of the object is used, and nothing is kept between calls: every
// BeginPlay registers all recipes again. Results are passed on unexamined; a class that did not load
// reaches addRecipe as null and the loop goes on.
void Brickwright::onPlayerControllerBeginPlay(SML::Mod::Functions::ModReturns*,
                                              SML::Objects::AFGPlayerController*) {
    logModLine(kModName, "Brickwright adding recipes...");
    for (const wchar_t* path : recipeClassPaths) {
        SDK::UClass* classClass = SDK::lookupClassClass();
        SDK::UObject* recipe = SML::Mod::Functions::loadObjectFromPak(classClass, path);
        SML::Mod::Functions::addRecipe(static_cast<SDK::UClass*>(recipe));
    }
    logModLine(kModName, "Brickwright Recipes added!");
}
