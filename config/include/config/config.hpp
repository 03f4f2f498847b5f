// The mod's JSON configuration file: location, load-or-create, write, and reconciliation with defaults.
#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

// The directory that holds configuration files, relative to the current directory, with its separator.
#if defined(_WIN32)
inline constexpr std::string_view configDirectory = "config\\";
#else
inline constexpr std::string_view configDirectory = "config/";
#endif

// "<configDirectory><name>.cfg" with the flag, "<name>.cfg" without it.
std::string configPath(const std::string& name, bool useConfigDirectory);

// Brings `loaded` into line with `defaults`: adds what it lacks, replaces values whose type does not
// fit, descends into objects, removes what the defaults do not hold. Raises the JSON library's type
// errors 305 and 307 where the documents cannot be brought together.
nlohmann::json reconcileConfig(nlohmann::json loaded, const nlohmann::json& defaults);

// Reads the file, or creates it from the defaults; reconciles what it read and writes it back.
// A missing, unreadable, empty or malformed file counts as absent or null.
nlohmann::json loadConfig(const std::string& name, const nlohmann::json& defaults, bool useConfigDirectory);

// True when the configuration file can be opened for reading.
bool configFileExists(const std::string& name, bool useConfigDirectory);

// Writes the document; creates the configuration directory first when the flag is set. Reports nothing.
void saveConfig(const std::string& name, const nlohmann::json& config, bool useConfigDirectory);
