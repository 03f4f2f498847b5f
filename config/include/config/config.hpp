// The mod's JSON configuration file: location, load-or-create, write, and reconciliation with defaults.
#pragma once

#include <cstddef>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

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

// Reads the file, or creates it from the defaults; reconciles what it read and writes it back when
// that changes its bytes. A missing file counts as absent (the defaults are written and returned); an
// empty or malformed one as null. Nothing a user wrote is lost: before a file is rewritten its former
// bytes are kept in "<path>.bak" (an empty file has none to keep). A read-only file, one that exists
// but cannot be read, a directory or anything else that is not a regular file (a FIFO, a socket, a
// device: never opened in a way that could wait), and a file past kConfigReadLimit or
// kConfigDepthLimit are left as they are, and the defaults (for a read-only file, the reconciled
// document) are returned. A link is read and written through: its target changes, the link stays, the
// backup lies beside the link. Only
// reconcileConfig's type errors leave, and then nothing has been written. The file's fate is told by
// brickwright::loadConfigAndTell, which this calls.
nlohmann::json loadConfig(const std::string& name, const nlohmann::json& defaults, bool useConfigDirectory);

// True when the configuration file can be opened for reading; a FIFO is opened without waiting.
bool configFileExists(const std::string& name, bool useConfigDirectory);

// Writes the document; creates the configuration directory first when the flag is set. The new text
// goes to "<path>.tmp" (for a link, beside the file at the end of its links) and is then moved over the
// old file; what is not a regular file is not replaced. The file keeps its permission bits (on
// Windows, its attributes). A failure at any point (a document that cannot be serialised, a full disk,
// a path that is a directory) leaves the old file whole and no temporary behind, and a read-only file
// is not replaced, as Windows refuses to. Reports nothing, raises nothing.
void saveConfig(const std::string& name, const nlohmann::json& config, bool useConfigDirectory);

namespace brickwright {

// One load of a configuration file, with what it did to the file.
struct ConfigLoad {
    // What loadConfig returns; null when reconciliation refused the file.
    nlohmann::json document;
    // The load's one sentence for its user when the file was not simply used (kept aside, left as it
    // is, not written), or empty. It has no subject, so that the caller can put its own name first:
    // "could not read config/Brickwright.cfg as JSON; its former text is kept in ...".
    std::string note;
    // The type error that loadConfig raises for this file (a nlohmann::json::type_error); nothing has
    // been written then.
    std::exception_ptr refusal;
};

// reconcileConfig, which raises nothing.
struct Reconciliation {
    // The reconciled document; null when refused.
    nlohmann::json document;
    // reconcileConfig's type error (a nlohmann::json::type_error), or nothing.
    std::exception_ptr refusal;
    // With a refusal, the keys from the top down to the value that could take no entry or lose none:
    // empty for the loaded document itself, {"n", "$d"} for its member "n"'s member "$d".
    std::vector<std::string> refusedAt;
};

[[nodiscard]] Reconciliation reconcileOrRefuse(nlohmann::json loaded, const nlohmann::json& defaults);

// loadConfig, which raises nothing: reconciliation's type error is returned with a note that says in
// plain words what the file holds.
[[nodiscard]] ConfigLoad loadConfigAndTell(const std::string& name, const nlohmann::json& defaults,
                                           bool useConfigDirectory);

} // namespace brickwright
