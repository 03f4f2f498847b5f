// The game's command line.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "brickwright/result.hpp"

namespace game {

// The patterns the game can leave out of its image, as an update that moved the engine's code would.
enum class EnginePattern { NameTable, ObjectTable, Both };

struct Options {
    bool help = false;
    int controllers = 1;
    std::optional<std::filesystem::path> gameDir;
    std::optional<std::filesystem::path> logFile;
    std::optional<std::filesystem::path> modPath;
    std::optional<EnginePattern> brokenPattern;
    // Instructions of these patterns' exact bytes, below the real ones, that lead to no table.
    std::optional<EnginePattern> lookAlike;
    // The world is built without the engine's class for classes: its classes have no class. Nothing
    // can find that object, and the mod can prove neither table, whatever found it.
    bool withoutClassClass = false;
    // Tables the engine fills only after the mod has been set up: zero while it sets up, filled just
    // before player controller `lateEngineAt` (from 1) begins play; never, with fewer controllers.
    std::optional<EnginePattern> lateEngine;
    int lateEngineAt = 1;
    std::vector<std::string> missingRecipes; // item names, e.g. "Wall007"
};

inline constexpr int kMaxControllers = 64;

// Exit statuses: every BeginPlay registered all recipes; not so; bad options; the game could not run
// the mod at all (its directories, its log file, the mod library).
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitRecipesMissing = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitEnvironment = 3;

// Parses the arguments after the program name. Options take their value as the next argument or
// after "=" ("--controllers 2", "--controllers=2"). The error is one line naming the option;
// --late-engine-at without --late-engine is one.
[[nodiscard]] brickwright::Result<Options> parseOptions(const std::vector<std::string_view>& arguments);

// How the user started the game, as its messages name it: the environment variable
// BRICKWRIGHT_GAME_COMMAND when set (./brickwright sets it to "./brickwright demo"), else
// "brickwright-game".
[[nodiscard]] std::string commandName();

// The text --help shows, ending in a line break, headed "usage: <command> [OPTIONS]". A bad option
// shows only its error and where help is.
[[nodiscard]] std::string usage(const std::string& command);

} // namespace game
