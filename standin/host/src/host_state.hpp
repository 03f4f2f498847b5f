// What the host keeps between calls, shared by its translation units.
#pragma once

#include <cstddef>
#include <map>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "standin/host.hpp"

// What the host hands every hook handler along with the hooked object. Mods only pass it on.
SML_KEY_MOD_RETURNS SML::Mod::Functions::ModReturns {
public:
    bool useOriginalFunction = true;
};

namespace standin::detail {

using BeginPlayHandler = HookInvoker<void (SML::Objects::AFGPlayerController::*)(),
                                     &SML::Objects::AFGPlayerController::BeginPlay>::Handler;

struct Subscription {
    BeginPlayHandler handler;
    // The mod object and library the host was calling into when the subscription was made; null when
    // it came from outside any call of the host's.
    const SML::Mod::Mod* owner = nullptr;
    const ModLibrary* library = nullptr;
};

struct HostState {
    SDK::UClass* classClass = nullptr;
    std::map<std::wstring, SDK::UObject*> catalogue;
    std::vector<SDK::UClass*> recipes;
    std::vector<Subscription> beginPlay;

    // Where the host is calling into while it drives a mod.
    const SML::Mod::Mod* currentMod = nullptr;
    const ModLibrary* currentLibrary = nullptr;
    // Which library each live mod object came from.
    std::map<const SML::Mod::Mod*, const ModLibrary*> modLibraries;

    // Base parts built and destroyed, and those whose bytes past sizeof(SML::Mod::Mod) were changed.
    std::size_t basePartsBuilt = 0;
    std::size_t basePartsDestroyed = 0;
    std::size_t basePartsDamaged = 0;
};

// The bytes this host's base part holds past sizeof(SML::Mod::Mod).
#if defined(STANDIN_HOST_BASE_PART_EXTRA)
inline constexpr std::size_t kBasePartExtra = STANDIN_HOST_BASE_PART_EXTRA;
#else
inline constexpr std::size_t kBasePartExtra = 0;
#endif

HostState& state();

// Sets where the host is calling into for the lifetime of the scope.
class CallScope {
public:
    CallScope(const SML::Mod::Mod* mod, const ModLibrary* library);
    ~CallScope();
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

private:
    const SML::Mod::Mod* savedMod_;
    const ModLibrary* savedLibrary_;
};

// --- journal.cpp ---

// Appends an entry when the journal is recording.
void record(std::string entry);

// The stream buffers under std::cout and the log file, past the journal's recorders: the host writes
// its own output there so that it never shows up as a mod's.
std::streambuf* consoleBuffer();
std::streambuf* logFileBuffer();

// --- console.cpp ---

// Sets the console's colour to a palette index (0-15) when the console is coloured.
void applyConsoleColor(int color);

// The local time as "HH:MM:SS".
std::string clockTime();

// The wide path as the journal shows it.
std::string describePath(const wchar_t* path);

} // namespace standin::detail
