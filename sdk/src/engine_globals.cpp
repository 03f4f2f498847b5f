#include "sdk/engine.hpp"

#include "sdk/discovery.hpp"
#include "sdk/engine_layout.hpp"
#include "sdk/instruction.hpp"
#include "sdk/pattern_scan.hpp"
#include "sdk/signature.hpp"

namespace SDK {

std::uintptr_t engineNameTable = 0;
std::uintptr_t engineObjectTable = 0;
TableSource engineNameTableSource = TableSource::NotFound;
TableSource engineObjectTableSource = TableSource::NotFound;

namespace {

// The lowest match over the image's readable spans (which come lowest address first). The prepared
// pattern never holds the signature's bytes in matching order, so this library's own memory cannot
// be mistaken for the game's instructions.
template <std::size_t N>
const std::uint8_t* lowestMatch(const Signature<N>& signature, const platform::ModuleImage& image) {
    const PreparedPattern pattern(signature);
    for (std::size_t s = 0; s < image.spanCount && s < image.spans.size(); ++s) {
        if (const std::uint8_t* match = pattern.find(image.spans[s].begin, image.spans[s].size)) {
            return match;
        }
    }
    return nullptr;
}

// Whether [address, address + bytes) lies inside one readable span of the image.
bool readable(const platform::ModuleImage& image, std::uintptr_t address, std::size_t bytes) noexcept {
    for (std::size_t s = 0; s < image.spanCount && s < image.spans.size(); ++s) {
        const auto begin = reinterpret_cast<std::uintptr_t>(image.spans[s].begin);
        const std::size_t size = image.spans[s].size;
        if (address >= begin && address - begin <= size && size - (address - begin) >= bytes) {
            return true;
        }
    }
    return false;
}

// The address the match's first instruction refers to. Zero when that address has not `bytes` readable bytes
// in the image: the layer reads nothing outside the image and hands out no table that lies outside it.
std::uintptr_t target(const std::uint8_t* match, const platform::ModuleImage& image,
                      std::size_t bytes) noexcept {
    if (match == nullptr) {
        return 0;
    }
    const auto address = static_cast<std::uintptr_t>(
        relativeTarget(reinterpret_cast<std::uintptr_t>(match) + kInstructionLength,
                       readDisplacement(match + kDisplacementOffset)));
    return readable(image, address, bytes) ? address : 0;
}

} // namespace

void initEngineGlobals() {
    initEngineGlobals(platform::gameModuleImage());
}

void initEngineGlobals(const platform::ModuleImage& image) {
    // Both are recomputed from scratch.
    engineNameTable = 0;
    engineObjectTable = 0;
    engineNameTableSource = TableSource::NotFound;
    engineObjectTableSource = TableSource::NotFound;

    // The name table's pointer is read now, once: a snapshot of the game variable.
    if (const std::uintptr_t variable = target(lowestMatch(kNameTablePattern, image), image, sizeof(void*))) {
        engineNameTable = Layout::readAt<std::uintptr_t>(reinterpret_cast<const void*>(variable), 0);
    }

    // The object table is the address itself; its contents are read when they are used.
    engineObjectTable = target(lowestMatch(kObjectTablePattern, image), image, sizeof(Layout::ObjectTable));

    if (engineNameTable != 0) {
        engineNameTableSource = TableSource::Pattern;
    }
    if (engineObjectTable != 0) {
        engineObjectTableSource = TableSource::Pattern;
    }
    if (engineNameTable != 0 && engineObjectTable != 0) {
        return;
    }

    // A pattern gave nothing usable: the table is looked for by its layout, reading only what the
    // process's readable ranges allow. The name table is recognised through the object table's class
    // for classes, so that comes first, from the pattern or from the search.
    ReadableMemory memory = ReadableMemory::ofProcess();
    Discovery::ObjectTableFit objects;
    if (engineObjectTable == 0) {
        objects = Discovery::findObjectTable(image, memory);
        if (objects.table != 0) {
            engineObjectTable = objects.table;
            engineObjectTableSource = TableSource::Layout;
        }
    } else {
        objects = Discovery::checkObjectTable(engineObjectTable, memory);
    }
    if (engineNameTable == 0 && objects.table != 0) {
        if (const std::uintptr_t nameTable = Discovery::findNameTable(image, memory, objects)) {
            engineNameTable = nameTable;
            engineNameTableSource = TableSource::Layout;
        }
    }
}

} // namespace SDK
