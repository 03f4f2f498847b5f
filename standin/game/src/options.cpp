#include "options.hpp"

#include <utility>

#include "brickwright/command_line.hpp"

#include "process_facts.hpp"
#include "recipe_items.hpp"

namespace game {

namespace {

bool takesValue(std::string_view name) {
    return name == "--controllers" || name == "--game-dir" || name == "--log-file" || name == "--mod" ||
           name == "--break-pattern" || name == "--look-alike" || name == "--look-alike-only" ||
           name == "--missing-recipe" || name == "--late-engine" || name == "--late-engine-at";
}

using brickwright::fail;
using brickwright::Result;

// The patterns that `value` names, or an error line for `name`.
Result<EnginePattern> enginePattern(std::string_view name, std::string_view value) {
    if (value == "name-table") {
        return EnginePattern::NameTable;
    }
    if (value == "object-table") {
        return EnginePattern::ObjectTable;
    }
    if (value == "both") {
        return EnginePattern::Both;
    }
    return fail(std::string(name) + ": '" + std::string(value) +
                "' is none of name-table, object-table and both");
}

// Both options may name patterns for the same list: together they name both or the one they share.
EnginePattern joined(const std::optional<EnginePattern>& before, EnginePattern added) {
    return before && *before != added ? EnginePattern::Both : added;
}

// Sets the option from its value; an error line when the value is not one the option takes.
Result<void> apply(Options& options, std::string_view name, std::string_view value) {
    const std::string quoted = "'" + std::string(value) + "'";
    if (name == "--controllers" || name == "--late-engine-at") {
        const std::optional<int> count = brickwright::wholeNumber<int>(value);
        if (!count || *count < 1 || *count > kMaxControllers) {
            return fail(std::string(name) + ": " + quoted + " is not a whole number from 1 to " +
                        std::to_string(kMaxControllers));
        }
        (name == "--controllers" ? options.controllers : options.lateEngineAt) = *count;
    } else if (value.empty()) {
        return fail(std::string(name) + ": the value is empty");
    } else if (name == "--game-dir") {
        options.gameDir = std::filesystem::path(value);
    } else if (name == "--log-file") {
        options.logFile = std::filesystem::path(value);
    } else if (name == "--mod") {
        options.modPath = std::filesystem::path(value);
    } else if (name == "--break-pattern" || name == "--look-alike" || name == "--look-alike-only") {
        const Result<EnginePattern> pattern = enginePattern(name, value);
        if (!pattern) {
            return tl::unexpected(pattern.error());
        }
        if (name != "--break-pattern") {
            options.lookAlike = joined(options.lookAlike, *pattern);
        }
        if (name != "--look-alike") {
            options.brokenPattern = joined(options.brokenPattern, *pattern);
        }
    } else if (name == "--late-engine") {
        const Result<EnginePattern> tables = enginePattern(name, value);
        if (!tables) {
            return tl::unexpected(tables.error());
        }
        options.lateEngine = *tables;
    } else if (name == "--missing-recipe") {
        if (!isRecipeItem(value)) {
            return fail(
                "--missing-recipe: " + quoted +
                " is not a Brickwright item (Wall001 to Wall019, Wall021, PowerPlugMk1, PowerPlugMk2, "
                "Stair001 to Stair003, Foundation001 to Foundation029)");
        }
        options.missingRecipes.emplace_back(value);
    }
    return {};
}

} // namespace

Result<Options> parseOptions(const std::vector<std::string_view>& arguments) {
    Options options;
    brickwright::CommandLine line(arguments);
    while (line.next()) {
        if (!line.isOption()) {
            return fail("unexpected argument '" + std::string(line.argument()) + "'");
        }
        if (line.isFlag("--help") || line.isFlag("-h")) {
            options.help = true;
            continue;
        }
        if (line.isFlag("--without-class-class")) {
            options.withoutClassClass = true;
            continue;
        }
        const std::string_view name = line.name();
        if (!takesValue(name)) {
            return fail("unknown option '" + std::string(name) + "'");
        }
        const std::optional<std::string_view> value = line.value();
        if (!value) {
            return fail(std::string(name) + " needs a value");
        }
        if (Result<void> applied = apply(options, name, *value); !applied) {
            return tl::unexpected(std::move(applied.error()));
        }
    }
    if (!options.lateEngine && options.lateEngineAt != 1) {
        return fail("--late-engine-at: needs --late-engine WHICH");
    }
    return options;
}

std::string commandName() {
    return environmentVariable("BRICKWRIGHT_GAME_COMMAND").value_or("brickwright-game");
}

std::string usage(const std::string& command) {
    const std::string recipes = std::to_string(kRecipeItems.size());
    return "usage: " + command +
           " [OPTIONS]\n"
           "\n"
           "The stand-in game: its host loads the Brickwright mod, sets it up, lets every player\n"
           "controller begin play, then deletes the mod and unloads it. A summary says what the mod\n"
           "registered.\n"
           "\n"
           "  --controllers N         player controllers that begin play, 1 to 64 (default 1)\n"
           "  --game-dir DIR          the game's current directory, where the mod keeps its configuration\n"
           "                          file config/Brickwright.cfg (default: game/ beside the executable's\n"
           "                          folder, created if missing)\n"
           "  --log-file PATH         the host's log file (default: modloader.log in the game directory)\n"
           "  --mod PATH              the mod library (default: the one the build puts in mods/ beside\n"
           "                          the executable)\n"
           "  --break-pattern WHICH   leave the name-table or object-table pattern, or both, out of the\n"
           "                          image, as a game update that moved the engine's code would; the\n"
           "                          mod then finds the table by its layout\n"
           "  --look-alike WHICH      plant, below the real instruction of the name-table or\n"
           "                          object-table pattern, or both, one of the same bytes that leads\n"
           "                          to junk instead of the table; the mod passes over it\n"
           "  --look-alike-only WHICH the look-alike without the real instruction (--look-alike and\n"
           "                          --break-pattern together); the mod finds the table by its layout\n"
           "  --without-class-class   build the engine world without Class CoreUObject.Class, so that\n"
           "                          the mod can prove neither engine table and its lookup fails\n"
           "  --late-engine WHICH     leave the name-table or object-table, or both, empty while the\n"
           "                          mod sets up (a zero object table header, a null name table\n"
           "                          variable) and fill them before the first controller begins play\n"
           "  --late-engine-at K      with --late-engine: fill them before controller K begins play\n"
           "                          instead, 1 to 64 (never, with fewer controllers)\n"
           "  --missing-recipe ITEM   leave ITEM's recipe class (e.g. Wall007) out of the catalogue;\n"
           "                          may be given more than once\n"
           "  -h, --help              this text\n"
           "\n"
           "Exit status: 0 when every BeginPlay registered all " +
           recipes +
           " recipes, 1 when not, 2 for bad options,\n"
           "3 when the game could not run the mod (its directories, its log file, the mod library).\n"
           "The game's own lines go to standard output, headed [SML], the mod's headed [Brickwright];\n"
           "what went wrong is headed [Warning] or [Error]. Errors that stop the game go to standard "
           "error.\n";
}

} // namespace game
