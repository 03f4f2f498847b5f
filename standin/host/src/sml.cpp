// The host interface that mods are built against, as this host implements it: the loader's own exports
// and nothing else, so that one form of the host may give them other class keys than the driver's
// (the SML_KEY_ macros on this file alone) or leave addRecipe out (STANDIN_HOST_WITHOUT_ADD_RECIPE).
#include <ostream>

#include "host_state.hpp"

namespace standin::detail {
namespace {

// What the host keeps in byte `index` of its base part past sizeof(SML::Mod::Mod): no run of equal
// bytes, so that a stray write of almost any value shows.
unsigned char basePartByte(std::size_t index) {
    return static_cast<unsigned char>((index * 131u + 7u) & 0xffu);
}

void fillBasePartExtra(unsigned char* extra, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        extra[i] = basePartByte(i);
    }
}

bool basePartExtraIntact(const unsigned char* extra, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (extra[i] != basePartByte(i)) {
            return false;
        }
    }
    return true;
}

} // namespace
} // namespace standin::detail

std::size_t standin::basePartExtra() {
    return standin::detail::kBasePartExtra;
}

standin::BasePartCounts standin::basePartCounts() {
    const detail::HostState& host = detail::state();
    return BasePartCounts{host.basePartsBuilt, host.basePartsDestroyed, host.basePartsDamaged};
}

namespace SML {

std::ofstream Utility::logFile;

// A real loader's base part may be larger than the mods' declaration of it. This host, built with
// STANDIN_HOST_BASE_PART_EXTRA, is such a loader: its constructor fills that many bytes after
// sizeof(Mod) in the object the mod allocated, and its destructor finds them as it left them unless
// something else wrote there. (Past the declared object on purpose: that is what a mod has to allow.)
Mod::Mod::Mod(const Info& info) : info_(&info) {
    using namespace standin::detail;
    record("Mod::Mod");
    ++state().basePartsBuilt;
    fillBasePartExtra(reinterpret_cast<unsigned char*>(this) + sizeof(Mod), kBasePartExtra);
}

Mod::Mod::~Mod() {
    using namespace standin::detail;
    record("Mod::~Mod");
    ++state().basePartsDestroyed;
    if (!basePartExtraIntact(reinterpret_cast<const unsigned char*>(this) + sizeof(Mod), kBasePartExtra)) {
        ++state().basePartsDamaged;
    }
}

SDK::UObject* Mod::Functions::loadObjectFromPak(SDK::UClass* classClass, const wchar_t* path) {
    using namespace standin::detail;
    record("loadObjectFromPak(" + standin::describePointer(classClass) + ", " + describePath(path) + ")");
    HostState& host = state();
    // A real engine loads a class only when asked for it with its own Class class object.
    if (classClass == nullptr || classClass != host.classClass || path == nullptr) {
        return nullptr;
    }
    const auto found = host.catalogue.find(path);
    return found == host.catalogue.end() ? nullptr : found->second;
}

#if !defined(STANDIN_HOST_WITHOUT_ADD_RECIPE)
void Mod::Functions::addRecipe(SDK::UClass* recipeClass) {
    standin::detail::record("addRecipe(" + standin::describePointer(recipeClass) + ")");
    standin::detail::state().recipes.push_back(recipeClass);
}
#endif

namespace {

const char* logTypeName(Utility::LogType type) {
    switch (type) {
    case Utility::LogType::Normal:
        return "Normal";
    case Utility::LogType::Warning:
        return "Warning";
    case Utility::LogType::Error:
        return "Error";
    case Utility::LogType::Info:
        return "Info";
    case Utility::LogType::Debug:
        return "Debug";
    }
    return "Unknown";
}

} // namespace

// "[HH:MM:SS] [<name>] [<type>] " on the console and in the log file; the mod's text follows it.
void Utility::writeHeader(std::string name, LogType type) {
    using namespace standin::detail;
    record("writeHeader(" + name + ", " + std::to_string(static_cast<int>(type)) + ")");
    const std::string header = "[" + clockTime() + "] [" + name + "] [" + logTypeName(type) + "] ";
    std::ostream console(consoleBuffer());
    console << header;
    std::ostream file(logFileBuffer());
    if (logFile.is_open()) {
        file << header;
    }
}

void Utility::setConsoleColor(ConsoleColor color) {
    using namespace standin::detail;
    record("setConsoleColor(" + std::to_string(static_cast<int>(color)) + ")");
    applyConsoleColor(static_cast<int>(color));
}

// An entry's text has been written; the line end follows. This host has nothing to add to the line.
void Utility::log(LogType type) {
    standin::detail::record("log(" + std::to_string(static_cast<int>(type)) + ")");
}

} // namespace SML

void HookInvoker<void (SML::Objects::AFGPlayerController::*)(),
                 &SML::Objects::AFGPlayerController::BeginPlay>::subscribe(Handler handler) {
    using namespace standin::detail;
    record("subscribe");
    HostState& host = state();
    host.beginPlay.push_back(Subscription{std::move(handler), host.currentMod, host.currentLibrary});
}
