// Where the game lies on disk, and how mod libraries are named, on each platform.
#pragma once

#include <filesystem>

#include "brickwright/result.hpp"

namespace game {

// This program's own file, as an absolute path; or why the system cannot tell.
[[nodiscard]] brickwright::Result<std::filesystem::path> executablePath();

// The mod library's file name: "Brickwright.dll" on Windows, "Brickwright.so" elsewhere.
[[nodiscard]] std::filesystem::path modFileName();

} // namespace game
