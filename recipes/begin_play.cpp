// The mod's whole contribution to the game: on every player controller's BeginPlay, load each recipe
// class of the table through the host and register it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

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

// "name table (RVA 0x...)", "object table by its layout": a table found at first use.
std::string foundPhrase(const char* table, const SDK::FirstUseTable& found) {
    return std::string(table) + " table" +
           (found.source == SDK::TableSource::Layout ? " by its layout" : " (" + rvaText(found.rva) + ")");
}

// What the round's attempt at first use found, in one line after the handler's fixed ones. A table
// still missing makes it a Warning: every class argument stays null until a later BeginPlay finds it.
void logFirstUse(const SDK::FirstUseReport& report) {
    std::string found;
    std::string missing;
    for (const auto& [table, result] :
         {std::pair{"name", &report.nameTable}, std::pair{"object", &report.objectTable}}) {
        if (!result->tried) {
            continue;
        }
        if (result->source == SDK::TableSource::NotFound) {
            missing += (missing.empty() ? "" : " and ") + std::string(table);
        } else {
            found += (found.empty() ? "" : " and ") + foundPhrase(table, *result);
        }
    }
    const char* when = report.again ? "when used again" : "when first used";
    if (missing.empty()) {
        logModLine(kModName, ("Brickwright found the engine's " + found + " " + when).c_str());
        return;
    }
    const bool both = report.nameTable.tried && report.objectTable.tried &&
                      report.nameTable.source == SDK::TableSource::NotFound &&
                      report.objectTable.source == SDK::TableSource::NotFound;
    std::string line =
        "Brickwright could not find the engine's " + missing + (both ? " tables " : " table ") + when;
    if (!found.empty()) {
        line += ", only its " + found;
    }
    line += "; it tries again at the next BeginPlay";
    logModLine(kModName, line.c_str(), SML::Utility::LogType::Warning);
}

} // namespace

// Neither argument nor anything of the object is used, and nothing is kept between calls: every
// BeginPlay registers all recipes again. Results are passed on unexamined; a class that did not load
// reaches addRecipe as null and the loop goes on. Only afterwards is the player told, in a warning of
// its own, that "Recipes added!" did not mean all of them.
void Brickwright::onPlayerControllerBeginPlay(SML::Mod::Functions::ModReturns*,
                                              SML::Objects::AFGPlayerController*) {
    // The round's lookups share one attempt at the tables, should setup have left them unproven.
    const std::uint64_t round = SDK::startLookupRound();
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
    if (const std::optional<SDK::FirstUseReport> report = SDK::takeFirstUseReport(round)) {
        logFirstUse(*report);
    }
    if (unloaded > 0) {
        const std::string message = "Brickwright could not load " + std::to_string(unloaded) + " of " +
                                    std::to_string(recipeClassPaths.size()) +
                                    " recipes (the first: " + narrow(firstUnloaded) + ")";
        logModLine(kModName, message.c_str(), SML::Utility::LogType::Warning);
    }
}
