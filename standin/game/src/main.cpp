// The stand-in game: an executable whose own image carries the engine's instructions and tables the
// way the game's does, and which starts the host loader (it imports xinput1_3) to run the mod the
// way the game would: load, ModCreate, setup, secondaryEntry, BeginPlay for every player
// controller, delete, unload. It ends with a summary of what the mod registered.
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <tuple>
#include <utility>
#include <vector>

#include "game_world.hpp"
#include "options.hpp"
#include "platform.hpp"
#include "platform/os.hpp"
#include "recipe_items.hpp"
#include "sdk/engine_layout.hpp"
#include "sdk/engine_patterns.hpp"
#include "sml/sml.hpp"
#include "standin/game_image.hpp"
#include "standin/host.hpp"

namespace {

using SML::Utility::ConsoleColor;
namespace fs = std::filesystem;

using brickwright::fail;
using brickwright::Result;

using SML::Utility::LogType;

// The host's own lines: its header at `level`, the text in `colour`, on the console and in the log file.
void hostLine(std::string_view text, ConsoleColor colour = ConsoleColor::Cyan,
              LogType level = LogType::Info) {
    SML::Utility::setConsoleColor(ConsoleColor::Gray);
    SML::Utility::writeHeader("SML", level);
    SML::Utility::setConsoleColor(colour);
    std::cout << text;
    SML::Utility::logFile << text;
    SML::Utility::setConsoleColor(ConsoleColor::Gray);
    std::cout << std::endl;
    SML::Utility::logFile << std::endl;
}

void complain(std::string_view text) {
    std::cerr << "brickwright-game: " << text << '\n';
}

// The host's log file and journal, from the first host line to the summary: closed once, whichever
// way the run ends.
class HostSession {
public:
    HostSession() { standin::startJournal(); }
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;
    ~HostSession() { close(); }

    void close() {
        if (open_) {
            open_ = false;
            standin::stopJournal();
            standin::resetConsoleColor();
            standin::closeLogFile();
        }
    }

private:
    bool open_ = true;
};

std::string hex(const void* pointer) {
    return standin::describePointer(pointer);
}

// Leaves the real instance of a pattern out of the planted instructions, as a game update that
// moved the engine's code would: filler where it was, the near misses stay.
void breakPattern(const standin::PlantedInstructions& planted, game::EnginePattern pattern) {
    if (pattern != game::EnginePattern::ObjectTable) {
        std::memset(planted.nameTableMatch, 0xCC, SDK::kNameTablePattern.size());
    }
    if (pattern != game::EnginePattern::NameTable) {
        std::memset(planted.objectTableMatch, 0xCC, SDK::kObjectTablePattern.size());
    }
}

// The offset of `at` from the base of the image that the mod scans, as the mod writes it.
std::string rva(const void* at) {
    const auto offset = reinterpret_cast<std::uintptr_t>(at) -
                        reinterpret_cast<std::uintptr_t>(platform::gameModuleImage().base);
    char digits[2 * sizeof offset] = {};
    const auto end = std::to_chars(digits, digits + sizeof digits, offset, 16).ptr;
    return "RVA 0x" + std::string(digits, end);
}

// An instruction of one table's pattern that the game planted: where the mod would name it, and what
// it is ("a look-alike", "the real instruction").
struct PlantedMatch {
    std::string rva;
    std::string what;
};

// What the game knows of the instructions the mod passed over: the mod names only how many and the
// lowest one's RVA, and it passes over matches in address order, so the ones passed over are that
// many of `planted` (lowest first) from the one at that RVA.
std::string passedOverInstructions(const std::string& rvaText, std::size_t count,
                                   const std::vector<PlantedMatch>& planted) {
    std::size_t first = 0;
    while (first < planted.size() && planted[first].rva != rvaText) {
        ++first;
    }
    if (first == planted.size()) {
        return count == 1 ? "an instruction the game did not plant" : "instructions the game did not plant";
    }
    std::string said;
    for (std::size_t k = first; k < planted.size() && k < first + count; ++k) {
        said += (said.empty() ? "" : " and ") + planted[k].what;
    }
    return said;
}

// How the mod says it found a table ("name" or "object"), from what it wrote during setup: a line
// that it found the table by its layout, one that it could not find it, or neither: its pattern;
// and, named by what the game planted there, the instructions it passed over.
std::string tableSource(const std::vector<std::string>& setupJournal, const std::string& table,
                        const std::vector<PlantedMatch>& planted) {
    const std::string byLayout = "Brickwright found the engine's " + table + " table by its layout";
    const std::string missing = "Brickwright could not find the engine's " + table + " table";
    const std::string pattern = " the engine's " + table + " table pattern (";
    const std::string kept = "Brickwright found the engine's " + table + " table (RVA 0x";
    std::string source = table + " table by its pattern";
    std::string passedOver;
    for (const std::string& entry : setupJournal) {
        if (entry.find(byLayout) != std::string::npos) {
            source = table + " table by its layout";
        } else if (entry.find(missing) != std::string::npos) {
            source = table + " table not found";
        } else if (entry.find(kept) != std::string::npos) {
            source = table + (entry.find(") still empty;") != std::string::npos ? " table kept still empty"
                                                                                : " table kept unchecked");
        }
        const std::size_t at = entry.find(pattern);
        const std::size_t rvaAt = entry.find("RVA 0x", at);
        if (entry.find("Brickwright passed over ") == std::string::npos || at == std::string::npos ||
            rvaAt == std::string::npos) {
            continue;
        }
        // "passed over an instruction that matches ..." or "passed over <count> instructions that ...".
        const std::size_t countAt = entry.find("passed over ") + std::string_view("passed over ").size();
        std::size_t count = 1;
        std::from_chars(entry.data() + countAt, entry.data() + entry.size(), count);
        const std::size_t rvaEnd = entry.find_first_not_of("0123456789abcdef", rvaAt + 6);
        passedOver = passedOverInstructions(entry.substr(rvaAt, rvaEnd - rvaAt), count, planted);
    }
    return passedOver.empty() ? source : source + " (" + passedOver + " passed over)";
}

// The tables the engine fills only after the mod has been set up (--late-engine): emptied once the
// world is built, as a game that had not filled them yet would hold them, and put back by fill().
class LateTables {
public:
    LateTables(const standin::GameImageArena& arena, const game::GameWorld& world,
               std::optional<game::EnginePattern> which)
        : arena_(arena), world_(world), which_(which) {
        if (objectTable()) {
            std::memcpy(header_.data(), arena_.objectTable, header_.size());
            std::memset(arena_.objectTable, 0, header_.size());
        }
        if (nameTable()) {
            standin::setNameTableVariable(arena_, nullptr);
        }
    }
    LateTables(const LateTables&) = delete;
    LateTables& operator=(const LateTables&) = delete;

    // "object table", "name table", "name and object tables"; empty when none is late.
    std::string what() const {
        return !which_                                       ? ""
               : *which_ == game::EnginePattern::NameTable   ? "name table"
               : *which_ == game::EnginePattern::ObjectTable ? "object table"
                                                             : "name and object tables";
    }

    bool pending() const noexcept { return which_.has_value() && !filled_; }

    void fill() {
        if (!pending()) {
            return;
        }
        filled_ = true;
        if (objectTable()) {
            std::memcpy(arena_.objectTable, header_.data(), header_.size());
        }
        if (nameTable()) {
            standin::setNameTableVariable(arena_, world_.nameTable());
        }
    }

private:
    bool objectTable() const noexcept {
        return which_ &&
               (*which_ == game::EnginePattern::ObjectTable || *which_ == game::EnginePattern::Both);
    }
    bool nameTable() const noexcept {
        return which_ && (*which_ == game::EnginePattern::NameTable || *which_ == game::EnginePattern::Both);
    }

    const standin::GameImageArena& arena_;
    const game::GameWorld& world_;
    std::optional<game::EnginePattern> which_;
    std::array<unsigned char, sizeof(SDK::Layout::ObjectTable)> header_{};
    bool filled_ = false;
};

// What one BeginPlay made the mod do.
struct BeginPlayRun {
    std::size_t handlerRuns = 0;
    std::map<std::string, std::size_t> loadClasses; // class argument -> loads
    std::vector<SDK::UClass*> recipes;              // what addRecipe received
};

BeginPlayRun beginPlay(SML::Objects::AFGPlayerController& controller, const game::GameWorld& world) {
    const std::size_t recipesBefore = standin::registeredRecipes().size();
    const std::size_t journalBefore = standin::journal().size();
    standin::fireBeginPlay(&controller);

    BeginPlayRun run;
    const std::vector<SDK::UClass*> recipes = standin::registeredRecipes();
    run.recipes.assign(recipes.begin() + static_cast<std::ptrdiff_t>(recipesBefore), recipes.end());
    const std::vector<std::string> journal = standin::journal();
    const std::string classClass = hex(world.classClass());
    constexpr std::string_view kLoad = "loadObjectFromPak(";
    for (std::size_t i = journalBefore; i < journal.size(); ++i) {
        const std::string& entry = journal[i];
        if (entry == "handler") {
            ++run.handlerRuns;
        } else if (entry.starts_with(kLoad)) {
            const std::string argument = entry.substr(kLoad.size(), entry.find(", ") - kLoad.size());
            ++run.loadClasses[argument == "null"       ? "null"
                              : argument == classClass ? "Class CoreUObject.Class"
                                                       : "another object"];
        }
    }
    return run;
}

std::string plural(std::size_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

// Reports one BeginPlay; true when it registered every recipe class in the game's order.
bool report(std::size_t index, const BeginPlayRun& run, const game::GameWorld& world) {
    const std::string label = "  BeginPlay " + std::to_string(index + 1) + ": ";

    std::string loads = label + plural(run.handlerRuns, "handler run", "handler runs") + ", ";
    std::size_t loadCount = 0;
    for (const auto& [argument, count] : run.loadClasses) {
        loadCount += count;
    }
    loads += plural(loadCount, "load", "loads");
    const char* separator = " with the class argument ";
    for (const auto& [argument, count] : run.loadClasses) {
        loads +=
            separator + argument + (run.loadClasses.size() > 1 ? " (" + std::to_string(count) + ")" : "");
        separator = ", ";
    }
    std::cout << loads << '\n';

    std::size_t nulls = 0;
    for (const SDK::UClass* recipe : run.recipes) {
        nulls += recipe == nullptr ? 1 : 0;
    }
    const std::vector<SDK::UClass*>& expected = world.recipeClasses();
    std::string verdict;
    const bool inOrder = run.recipes == expected;
    if (inOrder) {
        verdict = "the mod's " + std::to_string(expected.size()) + " in table order (" +
                  std::to_string(game::kWallCount) + " walls, " + std::to_string(game::kPowerPlugCount) +
                  " power plugs, " + std::to_string(game::kStairCount) + " stairs, " +
                  std::to_string(game::kFoundationCount) + " foundations)";
    } else {
        std::map<const SDK::UClass*, std::string> names;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            names[expected[i]] = game::recipeClassName(game::kRecipeItems[i]);
        }
        const auto describe = [&](const SDK::UClass* recipe) -> std::string {
            if (recipe == nullptr) {
                return "null";
            }
            const auto found = names.find(recipe);
            return found != names.end() ? found->second : "another object " + hex(recipe);
        };
        std::size_t at = 0;
        while (at < run.recipes.size() && at < expected.size() && run.recipes[at] == expected[at]) {
            ++at;
        }
        verdict = "not the mod's " + std::to_string(expected.size()) + " in table order (";
        if (at < run.recipes.size() && at < expected.size()) {
            verdict += "first difference at " + std::to_string(at + 1) + ": " + describe(expected[at]) +
                       " expected, " + describe(run.recipes[at]) + " received)";
        } else {
            verdict += std::to_string(expected.size()) + " expected, " + std::to_string(run.recipes.size()) +
                       " received)";
        }
    }
    std::cout << label << "addRecipe received " << run.recipes.size() - nulls << " recipe classes and "
              << nulls << " null: " << verdict << '\n';
    return inOrder;
}

// The exit status of a run that got as far as the mod; an error when the game could not get there.
Result<int> run(const game::Options& options) {
    std::error_code error;
    const Result<fs::path> executable = game::executablePath();
    if (!executable) {
        return tl::unexpected(executable.error());
    }
    const fs::path binDir = executable->parent_path();
    const fs::path gameDir = fs::absolute(options.gameDir.value_or(binDir.parent_path() / "game"));
    const fs::path modPath = fs::absolute(options.modPath.value_or(binDir / "mods" / game::modFileName()));
    const fs::path logPath = fs::absolute(options.logFile.value_or(gameDir / "modloader.log"));

    fs::create_directories(gameDir, error);
    if (error) {
        return fail("cannot create the game directory " + gameDir.string() + ": " + error.message());
    }
    // The mod's configuration lies relative to the game's current directory.
    fs::current_path(gameDir, error);
    if (error) {
        return fail("cannot enter the game directory " + gameDir.string() + ": " + error.message());
    }

    // The game's image: the engine instructions in their one place, the tables they refer to.
    const standin::GameImageArena arena = standin::gameImageArena();
    const standin::PlantedInstructions planted = standin::plantGameImageArena();
    std::vector<std::string> lookAlikes;
    // Each pattern's instructions in the image, lowest first: the look-alike below the real one.
    std::map<game::EnginePattern, std::vector<PlantedMatch>> plantedMatches;
    if (options.lookAlike) {
        for (const auto& [pattern, which, name] :
             {std::tuple{game::EnginePattern::NameTable, standin::LookAlike::NameTable, "name-table"},
              std::tuple{game::EnginePattern::ObjectTable, standin::LookAlike::ObjectTable,
                         "object-table"}}) {
            if (*options.lookAlike == pattern || *options.lookAlike == game::EnginePattern::Both) {
                const std::uint8_t* at = standin::plantLookAlike(arena, planted, which);
                plantedMatches[pattern].push_back(PlantedMatch{rva(at), "a look-alike"});
                lookAlikes.push_back(std::string("A look-alike of the ") + name +
                                     " pattern that leads to junk lies below the real one, at " + rva(at) +
                                     " (--look-alike)");
            }
        }
    }
    if (options.brokenPattern) {
        breakPattern(planted, *options.brokenPattern);
    }
    for (const auto& [pattern, match] :
         {std::pair{game::EnginePattern::NameTable, planted.nameTableMatch},
          std::pair{game::EnginePattern::ObjectTable, planted.objectTableMatch}}) {
        if (!options.brokenPattern ||
            (*options.brokenPattern != pattern && *options.brokenPattern != game::EnginePattern::Both)) {
            plantedMatches[pattern].push_back(PlantedMatch{rva(match), "the real instruction"});
        }
    }
    const auto world = std::make_unique<game::GameWorld>(arena.objectTable, !options.withoutClassClass);
    standin::setNameTableVariable(arena, world->nameTable());
    LateTables late(arena, *world, options.lateEngine);

    standin::setClassClass(world->classClass());
    std::size_t catalogued = 0;
    for (std::size_t i = 0; i < game::kRecipeItems.size(); ++i) {
        bool missing = false;
        for (const std::string& item : options.missingRecipes) {
            missing = missing || item == game::kRecipeItems[i];
        }
        if (!missing) {
            standin::addLoadableObject(game::recipeClassPath(game::kRecipeItems[i]),
                                       world->recipeClasses()[i]);
            ++catalogued;
        }
    }

    if (Result<void> opened = standin::openLogFile(logPath); !opened) {
        return tl::unexpected(std::move(opened.error()));
    }
    HostSession session;

    const auto offset = [&](const void* at) {
        const auto distance =
            reinterpret_cast<std::uintptr_t>(at) - reinterpret_cast<std::uintptr_t>(arena.code);
        return std::to_string(distance / standin::kMiB) + " MiB";
    };
    hostLine("Brickwright stand-in game, game directory " + gameDir.string());
    // Once per run, so that a user who wants to look at the mod's configuration can find it.
    hostLine("The mod's configuration file: " + (gameDir / "config" / "Brickwright.cfg").string());
    hostLine("Engine world: " + std::to_string(world->objectCount()) + " objects in " +
             std::to_string(world->elementCount()) + " object table elements, " +
             (world->classClass() != nullptr
                  ? "Class CoreUObject.Class at element " + std::to_string(world->classClassIndex())
                  : std::string("no Class CoreUObject.Class")) +
             "; " + std::to_string(catalogued) + " Brickwright recipe classes in the catalogue");
    hostLine("Engine instructions at " + hex(planted.nameTableMatch) + " and " +
             hex(planted.objectTableMatch) + ", the name table variable " + offset(arena.nameTableVariable) +
             " and the object table " + offset(arena.objectTable) + " further on");
    if (options.brokenPattern) {
        hostLine(
            *options.brokenPattern == game::EnginePattern::NameTable
                ? "The name-table pattern is not in the image (--break-pattern)"
            : *options.brokenPattern == game::EnginePattern::ObjectTable
                ? "The object-table pattern is not in the image (--break-pattern)"
                : "Neither the name-table nor the object-table pattern is in the image (--break-pattern)",
            ConsoleColor::Red, LogType::Warning);
    }
    for (const std::string& line : lookAlikes) {
        hostLine(line, ConsoleColor::Red);
    }
    if (late.pending()) {
        const bool one = *options.lateEngine != game::EnginePattern::Both;
        const std::string k = std::to_string(options.lateEngineAt);
        hostLine("The engine's " + late.what() + (one ? " is" : " are") +
                     " empty while the mod sets up and " +
                     (options.lateEngineAt <= options.controllers
                          ? std::string(one ? "is" : "are") + " filled before player controller " + k +
                                " begins play (--late-engine)"
                          : std::string(one ? "is" : "are") + " never filled: " +
                                plural(static_cast<std::size_t>(options.controllers), "player controller",
                                       "player controllers") +
                                " begin play (--late-engine-at " + k + ")"),
                 ConsoleColor::Red);
    }
    if (options.withoutClassClass) {
        hostLine("The engine world has no Class CoreUObject.Class (--without-class-class)", ConsoleColor::Red,
                 LogType::Warning);
    }

    hostLine("Loading mod " + modPath.string());
    const Result<standin::ModLibrary*> loaded = standin::loadModLibrary(modPath);
    if (!loaded) {
        hostLine(loaded.error().message, ConsoleColor::Red, LogType::Error);
        // Only the default path may simply not have been built yet.
        return fail(options.modPath
                        ? loaded.error().message
                        : loaded.error().message + " (build the Brickwright target, or pass --mod PATH)");
    }
    standin::ModLibrary* library = *loaded;
    hostLine("Creating the mod object (ModCreate)");
    SML::Mod::Mod* mod = standin::createMod(library);
    if (mod == nullptr) {
        hostLine("ModCreate returned null", ConsoleColor::Red, LogType::Error);
        // The mod's own failure, not the environment's: nothing more to say about the unload.
        (void)standin::unloadModLibrary(library);
        session.close();
        complain("ModCreate of " + modPath.string() + " returned null");
        return game::kExitRecipesMissing;
    }
    hostLine("Setting up " + mod->info().name + " " + mod->info().version);
    const std::size_t journalBeforeSetup = standin::journal().size();
    standin::setupMod(mod);
    const std::vector<std::string> journal = standin::journal();
    const std::vector<std::string> setupJournal(
        journal.begin() + static_cast<std::ptrdiff_t>(journalBeforeSetup), journal.end());
    standin::secondaryEntry(mod);

    std::vector<SML::Objects::AFGPlayerController> controllers(static_cast<std::size_t>(options.controllers));
    std::vector<BeginPlayRun> runs;
    for (std::size_t i = 0; i < controllers.size(); ++i) {
        if (late.pending() && static_cast<int>(i) + 1 == options.lateEngineAt) {
            late.fill();
            hostLine("The engine fills its " + late.what(), ConsoleColor::Red);
        }
        hostLine("Player controller " + std::to_string(i + 1) + " begins play");
        runs.push_back(beginPlay(controllers[i], *world));
    }

    hostLine("Deleting the mod object");
    standin::destroyMod(mod);
    hostLine("Unloading " + modPath.filename().string());
    const Result<void> unloaded = standin::unloadModLibrary(library);
    if (!unloaded) {
        hostLine(unloaded.error().message, ConsoleColor::Red, LogType::Error);
    }
    session.close();

    std::cout << "\nSummary\n";
    std::cout << "  Engine tables, as the mod's setup reported them: "
              << tableSource(setupJournal, "name", plantedMatches[game::EnginePattern::NameTable]) << ", "
              << tableSource(setupJournal, "object", plantedMatches[game::EnginePattern::ObjectTable])
              << '\n';
    bool allRegistered = true;
    std::size_t classes = 0;
    std::size_t nulls = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        allRegistered = report(i, runs[i], *world) && allRegistered;
        for (const SDK::UClass* recipe : runs[i].recipes) {
            ++(recipe == nullptr ? nulls : classes);
        }
    }
    std::cout << "  In all: " << classes << " recipe classes and " << nulls << " null over "
              << plural(runs.size(), "BeginPlay", "BeginPlays") << ": ";
    SML::Utility::setConsoleColor(allRegistered ? ConsoleColor::Green : ConsoleColor::Red);
    const std::string all = "all " + std::to_string(game::kRecipeItems.size()) + " recipes";
    std::cout << (allRegistered ? "every BeginPlay registered " + all
                                : "not every BeginPlay registered " + all);
    standin::resetConsoleColor();
    std::cout << std::endl;
    return allRegistered && unloaded.has_value() ? game::kExitSuccess : game::kExitRecipesMissing;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const Result<game::Options> options = game::parseOptions(arguments);
    if (!options) {
        std::cerr << "brickwright-game: " << options.error().message << "\nTry '" << game::commandName()
                  << " --help' for the options.\n";
        return game::kExitUsage;
    }
    if (options->help) {
        std::cout << game::usage(game::commandName());
        return game::kExitSuccess;
    }
    const Result<int> status = run(*options);
    if (!status) {
        complain(status.error().message);
        return game::kExitEnvironment;
    }
    return *status;
}
