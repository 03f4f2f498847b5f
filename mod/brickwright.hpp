// The mod: a host mod object that registers the Brickwright recipes whenever a player controller
// begins play.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "sml/sml.hpp"

// The mod's name: its descriptor's name, the name that heads its log lines, a word of its messages.
inline constexpr char kModName[] = "Brickwright";

// The host owns the object from ModCreate on and deletes it through its base pointer. It is exactly a
// host base object with the mod's virtual operations: no data members of its own.
class Brickwright : public SML::Mod::Mod {
public:
    Brickwright();

    // Finds the engine's tables, subscribes onPlayerControllerBeginPlay, logs the setup line.
    void setup() override;
    // Nothing to do.
    void secondaryEntry() override;
    // Logs the cleanup line. The subscription stays with the host.
    ~Brickwright() override;

    // Registers the mod's recipes; subscribed to AFGPlayerController::BeginPlay by setup.
    void onPlayerControllerBeginPlay(SML::Mod::Functions::ModReturns* returns,
                                     SML::Objects::AFGPlayerController* controller);
};

// The mod's descriptor, filled in while the library loads, right after modConfig.
extern const SML::Mod::Mod::Info modInfo;

// The configuration loaded while the library loads; null when the file could not be used.
extern nlohmann::json modConfig;

// Writes one message to the host's console and log file, headed by `name`, at the host's Info level.
void logModLine(std::string name, const char* message);

// The same at another of the host's levels: what went wrong is a Warning, so that it stands out.
void logModLine(std::string name, const char* message, SML::Utility::LogType type);

// The library's only export (named in Brickwright.def and exports.map): the factory through which
// the host obtains the mod object. Everything else is built hidden; on Windows the .def file exports it.
#if defined(__GNUC__) && !defined(_WIN32)
#define BRICKWRIGHT_EXPORT __attribute__((visibility("default")))
#else
#define BRICKWRIGHT_EXPORT
#endif
extern "C" BRICKWRIGHT_EXPORT SML::Mod::Mod* ModCreate();
