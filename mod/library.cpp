// The library's process-wide values, defined in this one translation unit so that their order is the
// order of definition: the configuration (its directory is a constant, ready before anything runs),
// then the descriptor.
#include <iostream>
#include <string>

#include "brickwright.hpp"

#include "config/config.hpp"

namespace {

// A file whose value cannot be reconciled with the defaults (a non-empty array, a string, a number or
// a boolean under the null defaults) raises a type error. Out of a static initialiser it would fail the
// library load or end the game, so it stops here: the file is left as it was, the configuration stays
// null, and the log says why.
nlohmann::json loadModConfig() {
    try {
        return loadConfig(kModName, nullptr, true);
    } catch (const nlohmann::json::type_error& error) {
        const std::string message =
            std::string(kModName) + " could not use " + configPath(kModName, true) + ": " + error.what();
        logModLine(kModName, message.c_str());
        return nullptr;
    }
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
