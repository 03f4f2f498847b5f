// The mod: a host mod object that registers the Brickwright recipes whenever a player controller
// begins play.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "sml/sml.hpp"

// The mod's name: its descriptor's name, the name that heads its log lines, a word of its messages.
inline constexpr char modName[] = "Brickwright";

class Brickwright : public SML::Mod::Mod {
public:
    Brickwright();

    void setup() override;
    void secondaryEntry() override;
    ~Brickwright() override;

    // Registers the mod's recipes; subscribed to AFGPlayerController::BeginPlay by setup.
    void onPlayerControllerBeginPlay(SML::Mod::Functions::ModReturns* returns,
                                     SML::Objects::AFGPlayerController* controller);
};

// The mod's descriptor, filled in while the library loads.
extern const SML::Mod::Mod::Info modInfo;

// The configuration loaded while the library loads.
extern nlohmann::json modConfig;

// Writes one message to the host's console and log file, headed by `name`.
void logModLine(std::string name, const char* message);

// The library's only export (named in Brickwright.def and exports.map): the factory through which
// the host obtains the mod object.
extern "C" SML::Mod::Mod* ModCreate();
