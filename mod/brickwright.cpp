// The mod object's life: created by ModCreate, set up and destroyed by the host.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "brickwright.hpp"

#include "brickwright/host_binding.hpp"
#include "brickwright/table_lines.hpp"
#include "sdk/engine.hpp"

static_assert(sizeof(Brickwright) == sizeof(SML::Mod::Mod), "the mod object is exactly a host base object");
static_assert(sizeof(Brickwright) <= kHostBasePartRoom, "our declaration of the base part fits its room");
static_assert(alignof(Brickwright) <= alignof(std::max_align_t), "the plain operator new aligns the object");

namespace {

// What setup found out about one table ("name" or "object"): the instructions of its pattern that it
// passed over, if any, then how the table was found when that was not through its pattern. What the
// mod knows of a passed-over instruction is only that the table it points at failed the proof.
void logTable(const char* table, const SDK::FoundTable& found) {
    namespace lines = brickwright::table_lines;
    const SDK::PassedOverMatches& passedOver = found.passedOver;
    if (passedOver.count > 0) {
        const std::string rva = rvaText(passedOver.firstRva);
        const std::string pattern = lines::pattern(table);
        const std::string line = passedOver.count == 1
                                     ? std::string(lines::kPassedOver) + "an instruction that matches " +
                                           pattern + " (" + rva +
                                           "): the table it points at does not pass the engine's checks"
                                     : std::string(lines::kPassedOver) + std::to_string(passedOver.count) +
                                           " instructions that match " + pattern + " (the lowest at " + rva +
                                           "): the tables they point at do not pass the engine's checks";
        logModLine(kModName, line.c_str());
    }
    if (found.source == SDK::TableSource::Kept) {
        // Not yet filled is not wrong: a loader may set mods up before the engine fills its tables.
        const std::string line =
            lines::keptHead(table) + rvaText(found.kept.firstRva) +
            std::string(found.kept.because == SDK::KeptBecause::StillEmpty ? lines::kKeptStillEmpty
                                                                           : lines::kKeptUnchecked);
        logModLine(kModName, line.c_str());
    } else if (found.source == SDK::TableSource::Layout) {
        logModLine(kModName, lines::foundByLayout(table).c_str());
    } else if (found.source == SDK::TableSource::NotFound) {
        logModLine(kModName, lines::notFound(table).c_str(), SML::Utility::LogType::Warning);
    }
}

} // namespace

Brickwright::Brickwright() : SML::Mod::Mod(modInfo) {}

void* Brickwright::operator new(std::size_t size) {
    return ::operator new(size < kHostBasePartRoom ? kHostBasePartRoom : size);
}

// Unsized on purpose: the sized form would hand back sizeof(Brickwright), not what was allocated.
void Brickwright::operator delete(void* object) noexcept {
    ::operator delete(object);
}

void Brickwright::setup() {
    const SDK::EngineTables tables = SDK::initEngineGlobals();
    // Nothing downstream tests the tables; a game update that moved the code shows here, in the log,
    // instead of behind a cheerful "Recipes added!". A table found by its layout says so instead, and
    // so does an instruction of the engine's pattern whose table failed the proof.
    logTable("name", tables.nameTable);
    logTable("object", tables.objectTable);
    using namespace std::placeholders;
    HookInvoker<void (SML::Objects::AFGPlayerController::*)(),
                &SML::Objects::AFGPlayerController::BeginPlay>::
        subscribe(std::bind(&Brickwright::onPlayerControllerBeginPlay, this, _1, _2));
    // The loader's header gave some types other class keys than ours: it works, and sml.hpp can say so.
    if (const std::vector<std::string> keys = brickwright::hostbinding::differingKeys(); !keys.empty()) {
        std::string line = "Brickwright bound to the loader, whose header gives other class keys than ours";
        const char* separator = ": ";
        for (const std::string& key : keys) {
            const std::size_t equals = key.find('=');
            line += separator + key.substr(0, equals) + " a " + key.substr(equals + 1);
            separator = ", ";
        }
        logModLine(kModName, (line + " (host/include/sml/sml.hpp)").c_str());
    }
    logModLine(kModName, "Finished Brickwright setup!");
}

void Brickwright::secondaryEntry() {}

Brickwright::~Brickwright() {
    logModLine(kModName, "Brickwright finished cleanup!");
}

extern "C" SML::Mod::Mod* ModCreate() {
    return new Brickwright();
}
