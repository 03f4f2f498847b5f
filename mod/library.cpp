// The library's process-wide values, defined in this one translation unit so that their order is the
// order of definition: the configuration (its directory is a constant, ready before anything runs),
// then the descriptor.
#include <string>
#include <utility>

#include "brickwright.hpp"

#include "config/config.hpp"

namespace {

// What the load did to the file, when it was more than using it (kept its text aside, left it as it is,
// could not write it), goes to the log as one warning. A file whose value cannot be reconciled with
// the defaults (a non-empty array, a string, a number or a boolean under the null defaults) is
// refused: out of a static initialiser the type error would fail the library load or end the game,
// so it is not raised here; the file is left as it was and the configuration stays null.
nlohmann::json loadModConfig() {
    brickwright::ConfigLoad load = brickwright::loadConfigAndTell(kModName, nullptr, true);
    if (!load.note.empty()) {
        const std::string message = std::string(kModName) + " " + load.note;
        logModLine(kModName, message.c_str(), SML::Utility::LogType::Warning);
    }
    return std::move(load.document);
}

} // namespace

nlohmann::json modConfig = loadModConfig();

const SML::Mod::Mod::Info modInfo{
    "1.0.0-pr7",                    // loaderVersion
    kModName,                       // name
    "0.1",                          // version
    "A Mod that adds Brickwright.", // description
    "tessavoren, quillmark",        // authors
    {},                             // dependencies
};
