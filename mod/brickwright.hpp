// The mod: a host mod object that registers the Brickwright recipes whenever a player controller
// begins play.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "brickwright/table_lines.hpp"
#include "sml/sml.hpp"

// The mod's name: its descriptor's name, the name that heads its log lines, a word of its messages.
inline constexpr char kModName[] = "Brickwright";

// Room for the host's part of the mod object. SML::Mod::Mod is laid out by the loader that is
// running, which may hold more than our declaration of it, and its constructor fills in all of it:
// an object of only sizeof(SML::Mod::Mod) bytes would be written past. A mod object adds nothing to
// the base part, so this much room is the base part's limit: many times what our declaration needs (a
// vtable pointer and one pointer), for one page per mod object.
inline constexpr std::size_t kHostBasePartRoom = 4096;

// The host owns the object from ModCreate on and deletes it through its base pointer. It is exactly a
// host base object with the mod's virtual operations: no data members of its own.
class Brickwright final : public SML::Mod::Mod {
public:
    Brickwright();

    // Every object has kHostBasePartRoom bytes, allocated here and freed here by the deleting
    // destructor the host calls: on Windows each module may have its own heap.
    static void* operator new(std::size_t size);
    static void operator delete(void* object) noexcept;

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

// An offset from the game image's base as the mod's lines give it: "RVA 0x" and lowercase hex digits.
using brickwright::table_lines::rvaText;

// The library's only export (named in Brickwright.def and exports.map): the factory through which
// the host obtains the mod object. Everything else is built hidden; on Windows the .def file exports it.
#if defined(__GNUC__) && !defined(_WIN32)
#define BRICKWRIGHT_EXPORT __attribute__((visibility("default")))
#else
#define BRICKWRIGHT_EXPORT
#endif
extern "C" BRICKWRIGHT_EXPORT SML::Mod::Mod* ModCreate();
