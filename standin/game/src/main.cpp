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

#include "brickwright/table_lines.hpp"
#include "game_world.hpp"
#include "options.hpp"
#include "platform/os.hpp"
#include "process_facts.hpp"
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
    return brickwright::table_lines::rvaText(
        reinterpret_cast<std::uintptr_t>(at) -
        reinterpret_cast<std::uintptr_t>(platform::gameModuleImage().base));
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
    namespace lines = brickwright::table_lines;
    const std::string byLayout = lines::foundByLayout(table);
    const std::string missing = lines::notFound(table);
    const std::string pattern = " " + lines::pattern(table) + " (";
    const std::string kept = lines::keptHead(table) + std::string(lines::kRvaPrefix);
    std::string source = table + " table by its pattern";
    std::string passedOver;
    for (const std::string& entry : setupJournal) {
        if (entry.find(byLayout) != std::string::npos) {
            source = table + " table by its layout";
        } else if (entry.find(missing) != std::string::npos) {
            source = table + " table not found";
        } else if (entry.find(kept) != std::string::npos) {
            source =
                table + (entry.find(lines::kKeptStillEmpty) != std::string::npos ? " table kept still empty"
                                                                                 : " table kept unchecked");
        }
        const std::size_t at = entry.find(pattern);
        const std::size_t rvaAt = entry.find(lines::kRvaPrefix, at);
        if (entry.find(lines::kPassedOver) == std::string::npos || at == std::string::npos ||
            rvaAt == std::string::npos) {
            continue;
        }
        // "passed over an instruction that matches ..." or "passed over <count> instructions that ...".
        const std::size_t countAt = entry.find(lines::kPassedOver) + lines::kPassedOver.size();
        std::size_t count = 1;
        std::from_chars(entry.data() + countAt, entry.data() + entry.size(), count);
        const std::size_t rvaEnd =
            entry.find_first_not_of("0123456789abcdef", rvaAt + lines::kRvaPrefix.size());
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

// Where the run's files lie: the game directory (the current directory from here on), the mod, the
// host's log file.
struct GamePaths {
    fs::path gameDir;
    fs::path modPath;
    fs::path logPath;
};

Result<GamePaths> enterGameDirectory(const game::Options& options) {
    std::error_code error;
    const Result<fs::path> executable = game::executablePath();
    if (!executable) {
        return tl::unexpected(executable.error());
    }
    const fs::path binDir = executable->parent_path();
    GamePaths paths;
    paths.gameDir = fs::absolute(options.gameDir.value_or(binDir.parent_path() / "game"));
    paths.modPath = fs::absolute(options.modPath.value_or(binDir / "mods" / game::modFileName()));
    paths.logPath = fs::absolute(options.logFile.value_or(paths.gameDir / "modloader.log"));

    fs::create_directories(paths.gameDir, error);
    if (error) {
        return fail("cannot create the game directory " + paths.gameDir.string() + ": " + error.message());
    }
    // The mod's configuration lies relative to the game's current directory.
    fs::current_path(paths.gameDir, error);
    if (error) {
        return fail("cannot enter the game directory " + paths.gameDir.string() + ": " + error.message());
    }
    return paths;
}

// The game's image: the engine instructions in their one place, the tables they refer to, and what
// the options changed there.
struct GameImage {
    standin::GameImageArena arena;
    standin::PlantedInstructions planted;
    std::vector<std::string> lookAlikes; // the host's line about each
    // Each pattern's instructions in the image, lowest first: the look-alike below the real one.
    std::map<game::EnginePattern, std::vector<PlantedMatch>> plantedMatches;
};

GameImage plantImage(const game::Options& options) {
    GameImage image{standin::gameImageArena(), standin::plantGameImageArena(), {}, {}};
    if (options.lookAlike) {
        for (const auto& [pattern, which, name] :
             {std::tuple{game::EnginePattern::NameTable, standin::LookAlike::NameTable, "name-table"},
              std::tuple{game::EnginePattern::ObjectTable, standin::LookAlike::ObjectTable,
                         "object-table"}}) {
            if (*options.lookAlike == pattern || *options.lookAlike == game::EnginePattern::Both) {
                const std::uint8_t* at = standin::plantLookAlike(image.arena, image.planted, which);
                image.plantedMatches[pattern].push_back(PlantedMatch{rva(at), "a look-alike"});
                image.lookAlikes.push_back(std::string("A look-alike of the ") + name +
                                           " pattern that leads to junk lies below the real one, at " +
                                           rva(at) + " (--look-alike)");
            }
        }
    }
    if (options.brokenPattern) {
        breakPattern(image.planted, *options.brokenPattern);
    }
    for (const auto& [pattern, match] :
         {std::pair{game::EnginePattern::NameTable, image.planted.nameTableMatch},
          std::pair{game::EnginePattern::ObjectTable, image.planted.objectTableMatch}}) {
        if (!options.brokenPattern ||
            (*options.brokenPattern != pattern && *options.brokenPattern != game::EnginePattern::Both)) {
            image.plantedMatches[pattern].push_back(PlantedMatch{rva(match), "the real instruction"});
        }
    }
    return image;
}

// Hands the host the engine's class class and the recipe classes it can load: all but the missing
// ones (--missing-recipe). How many it can load.
std::size_t catalogueRecipes(const game::Options& options, const game::GameWorld& world) {
    standin::setClassClass(world.classClass());
    std::size_t catalogued = 0;
    for (std::size_t i = 0; i < game::kRecipeItems.size(); ++i) {
        bool missing = false;
        for (const std::string& item : options.missingRecipes) {
            missing = missing || item == game::kRecipeItems[i];
        }
        if (!missing) {
            standin::addLoadableObject(game::recipeClassPath(game::kRecipeItems[i]),
                                       world.recipeClasses()[i]);
            ++catalogued;
        }
    }
    return catalogued;
}

// The host's lines before the mod loads: where the game is, its world and image, and each way the
// options set the game apart from the real one.
void announce(const game::Options& options, const GamePaths& paths, const GameImage& image,
              const game::GameWorld& world, std::size_t catalogued, const LateTables& late) {
    const auto offset = [&](const void* at) {
        const auto distance =
            reinterpret_cast<std::uintptr_t>(at) - reinterpret_cast<std::uintptr_t>(image.arena.code);
        return std::to_string(distance / standin::kMiB) + " MiB";
    };
    hostLine("Brickwright stand-in game, game directory " + paths.gameDir.string());
    // Once per run, so that a user who wants to look at the mod's configuration can find it.
    hostLine("The mod's configuration file: " + (paths.gameDir / "config" / "Brickwright.cfg").string());
    hostLine("Engine world: " + std::to_string(world.objectCount()) + " objects in " +
             std::to_string(world.elementCount()) + " object table elements, " +
             (world.classClass() != nullptr
                  ? "Class CoreUObject.Class at element " + std::to_string(world.classClassIndex())
                  : std::string("no Class CoreUObject.Class")) +
             "; " + std::to_string(catalogued) + " Brickwright recipe classes in the catalogue");
    hostLine("Engine instructions at " + hex(image.planted.nameTableMatch) + " and " +
             hex(image.planted.objectTableMatch) + ", the name table variable " +
             offset(image.arena.nameTableVariable) + " and the object table " +
             offset(image.arena.objectTable) + " further on");
    if (options.brokenPattern) {
        hostLine(
            *options.brokenPattern == game::EnginePattern::NameTable
                ? "The name-table pattern is not in the image (--break-pattern)"
            : *options.brokenPattern == game::EnginePattern::ObjectTable
                ? "The object-table pattern is not in the image (--break-pattern)"
                : "Neither the name-table nor the object-table pattern is in the image (--break-pattern)",
            ConsoleColor::Red, LogType::Warning);
    }
    for (const std::string& line : image.lookAlikes) {
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
}

Result<standin::ModLibrary*> loadMod(const game::Options& options, const fs::path& modPath) {
    hostLine("Loading mod " + modPath.string());
    Result<standin::ModLibrary*> loaded = standin::loadModLibrary(modPath);
    if (!loaded) {
        hostLine(loaded.error().message, ConsoleColor::Red, LogType::Error);
        // Only the default path may simply not have been built yet; a library that is there but would
        // not load (a mod that refused its loader, say) is not helped by building it again.
        std::error_code ec;
        const bool unbuilt = !options.modPath && !fs::exists(modPath, ec);
        return fail(unbuilt ? loaded.error().message + " (build the Brickwright target, or pass --mod PATH)"
                            : loaded.error().message);
    }
    return loaded;
}

// Sets the mod up and calls its secondary entry; what it wrote during setup, for the summary.
std::vector<std::string> setUp(SML::Mod::Mod* mod) {
    hostLine("Setting up " + mod->info().name + " " + mod->info().version);
    const std::size_t journalBeforeSetup = standin::journal().size();
    standin::setupMod(mod);
    const std::vector<std::string> journal = standin::journal();
    std::vector<std::string> setupJournal(journal.begin() + static_cast<std::ptrdiff_t>(journalBeforeSetup),
                                          journal.end());
    standin::secondaryEntry(mod);
    return setupJournal;
}

// One BeginPlay per player controller, the late tables filled before the one the options name.
std::vector<BeginPlayRun> beginPlays(const game::Options& options, const game::GameWorld& world,
                                     LateTables& late) {
    std::vector<SML::Objects::AFGPlayerController> controllers(static_cast<std::size_t>(options.controllers));
    std::vector<BeginPlayRun> runs;
    for (std::size_t i = 0; i < controllers.size(); ++i) {
        if (late.pending() && static_cast<int>(i) + 1 == options.lateEngineAt) {
            late.fill();
            hostLine("The engine fills its " + late.what(), ConsoleColor::Red);
        }
        hostLine("Player controller " + std::to_string(i + 1) + " begins play");
        runs.push_back(beginPlay(controllers[i], world));
    }
    return runs;
}

// Deletes the mod object and unloads the library; whether it unloaded.
bool cleanUp(SML::Mod::Mod* mod, standin::ModLibrary* library, const fs::path& modPath) {
    hostLine("Deleting the mod object");
    standin::destroyMod(mod);
    hostLine("Unloading " + modPath.filename().string());
    const Result<void> unloaded = standin::unloadModLibrary(library);
    if (!unloaded) {
        hostLine(unloaded.error().message, ConsoleColor::Red, LogType::Error);
    }
    return unloaded.has_value();
}

// The summary after the host's lines; true when every BeginPlay registered every recipe in order.
bool summarize(const std::vector<std::string>& setupJournal, const GameImage& image,
               const std::vector<BeginPlayRun>& runs, const game::GameWorld& world) {
    const auto planted = [&](game::EnginePattern pattern) {
        const auto found = image.plantedMatches.find(pattern);
        return found != image.plantedMatches.end() ? found->second : std::vector<PlantedMatch>{};
    };
    std::cout << "\nSummary\n";
    std::cout << "  Engine tables, as the mod's setup reported them: "
              << tableSource(setupJournal, "name", planted(game::EnginePattern::NameTable)) << ", "
              << tableSource(setupJournal, "object", planted(game::EnginePattern::ObjectTable)) << '\n';
    bool allRegistered = true;
    std::size_t classes = 0;
    std::size_t nulls = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        allRegistered = report(i, runs[i], world) && allRegistered;
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
    return allRegistered;
}

// The exit status of a run that got as far as the mod; an error when the game could not get there.
Result<int> run(const game::Options& options) {
    const Result<GamePaths> paths = enterGameDirectory(options);
    if (!paths) {
        return tl::unexpected(paths.error());
    }
    const GameImage image = plantImage(options);
    const auto world = std::make_unique<game::GameWorld>(image.arena.objectTable, !options.withoutClassClass);
    standin::setNameTableVariable(image.arena, world->nameTable());
    LateTables late(image.arena, *world, options.lateEngine);
    const std::size_t catalogued = catalogueRecipes(options, *world);

    if (Result<void> opened = standin::openLogFile(paths->logPath); !opened) {
        return tl::unexpected(std::move(opened.error()));
    }
    HostSession session;
    announce(options, *paths, image, *world, catalogued, late);

    const Result<standin::ModLibrary*> library = loadMod(options, paths->modPath);
    if (!library) {
        return tl::unexpected(library.error());
    }
    hostLine("Creating the mod object (ModCreate)");
    SML::Mod::Mod* mod = standin::createMod(*library);
    if (mod == nullptr) {
        hostLine("ModCreate returned null", ConsoleColor::Red, LogType::Error);
        // The mod's own failure, not the environment's: nothing more to say about the unload.
        (void)standin::unloadModLibrary(*library);
        session.close();
        complain("ModCreate of " + paths->modPath.string() + " returned null");
        return game::kExitRecipesMissing;
    }
    const std::vector<std::string> setupJournal = setUp(mod);
    const std::vector<BeginPlayRun> runs = beginPlays(options, *world, late);
    const bool unloaded = cleanUp(mod, *library, paths->modPath);
    session.close();

    const bool allRegistered = summarize(setupJournal, image, runs, *world);
    return allRegistered && unloaded ? game::kExitSuccess : game::kExitRecipesMissing;
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
