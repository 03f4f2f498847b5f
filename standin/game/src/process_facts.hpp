// The game process's own facts: where its executable lies, how mod libraries are named here, its
// environment. Not the platform/ layer: these are the game's alone.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "brickwright/result.hpp"

namespace game {

// This program's own file, as an absolute path; or why the system cannot tell.
[[nodiscard]] brickwright::Result<std::filesystem::path> executablePath();

// The mod library's file name: "Brickwright.dll" on Windows, "Brickwright.so" elsewhere.
[[nodiscard]] std::filesystem::path modFileName();

// The environment variable's value; nothing when it is not set or empty.
[[nodiscard]] std::optional<std::string> environmentVariable(const char* name);

} // namespace game
