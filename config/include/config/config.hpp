// The mod's JSON configuration file: location, load-or-create, write, and reconciliation with defaults.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

// The directory that holds configuration files, relative to the current directory, with its separator.
#if defined(_WIN32)
inline constexpr std::string_view configDirectory = "config\\";
#else
inline constexpr std::string_view configDirectory = "config/";
#endif

// The most a configuration file may hold, line ends included. Real ones are a few hundred bytes. A
// parsed document can take some thirty times its text (a long array of empty objects does), so the
// limit keeps even a hostile file's cost to about a hundred MiB, while any file that never ends (a
// link to a device) or is something else altogether is stopped early.
inline constexpr std::size_t kConfigReadLimit = std::size_t{4} * 1024 * 1024;

// The deepest nesting of arrays and objects a configuration file may have. Real ones nest a few
// levels; copying and writing a document recurse per level, and a game thread's stack may be 1 MiB.
inline constexpr std::size_t kConfigDepthLimit = 512;

// "<configDirectory><name>.cfg" with the flag, "<name>.cfg" without it.
std::string configPath(const std::string& name, bool useConfigDirectory);

// Brings `loaded` into line with `defaults`: adds what it lacks, replaces values whose type does not
// fit, descends into objects, removes what the defaults do not hold. Raises the JSON library's type
// errors 305 and 307 where the documents cannot be brought together.
nlohmann::json reconcileConfig(nlohmann::json loaded, const nlohmann::json& defaults);

// Reads the file, or creates it from the defaults; reconciles what it read and writes it back, always.
// A missing or unreadable file counts as absent (the defaults are written and returned); an empty or
// malformed one as null. A file past kConfigReadLimit or kConfigDepthLimit is left as it is and the
// defaults are returned. Only reconcileConfig's type errors leave, and then nothing has been written.
nlohmann::json loadConfig(const std::string& name, const nlohmann::json& defaults, bool useConfigDirectory);

// True when the configuration file can be opened for reading.
bool configFileExists(const std::string& name, bool useConfigDirectory);

// Writes the document; creates the configuration directory first when the flag is set. The new text
// goes to "<path>.tmp" and is then moved over the old file, so a failure at any point (a document
// that cannot be serialised, a full disk, a path that is a directory) leaves the old file whole and
// no temporary behind. Reports nothing, raises nothing.
void saveConfig(const std::string& name, const nlohmann::json& config, bool useConfigDirectory);
