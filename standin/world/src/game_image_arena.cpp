// The arena lives in its own object file: only an executable that asks for it carries its 80 MiB of
// uninitialised data, and since that data is zero until touched it costs no memory before then.
#include "standin/game_image.hpp"

#include "sdk/engine_layout.hpp"

namespace standin {

namespace {

alignas(64) std::uint8_t arena[kArenaSize];

static_assert(kArenaNameTableVariableOffset % 8 == 0);
static_assert(kArenaObjectTableOffset % 64 == 0);
static_assert(kArenaObjectTableOffset + sizeof(SDK::Layout::ObjectTable) <= kArenaSize);
static_assert(kArenaCodeSize >= kPlantedInstructionsSize);
// The planted instructions lie in the code area, so both targets stay within their patterns' reach.
static_assert(kArenaNameTableVariableOffset - kArenaCodeSize >= 48 * kMiB &&
              kArenaNameTableVariableOffset < 64 * kMiB);
static_assert(kArenaObjectTableOffset - kArenaCodeSize >= 64 * kMiB && kArenaObjectTableOffset < 80 * kMiB);
static_assert(kArenaNameLookAlikeOffset % 8 == 0 && kArenaNameLookAlikeOffset < 64 * kMiB &&
              kArenaNameLookAlikeOffset >= kArenaNameTableVariableOffset + 8);
static_assert(kArenaObjectLookAlikeOffset % 64 == 0 && kArenaObjectLookAlikeOffset < 80 * kMiB &&
              kArenaObjectLookAlikeOffset >= kArenaObjectTableOffset + sizeof(SDK::Layout::ObjectTable));
static_assert(kArenaJunkOffset >= kArenaObjectLookAlikeOffset + sizeof(SDK::Layout::ObjectTable) &&
              kArenaJunkOffset + kArenaJunkSize <= kArenaSize);

} // namespace

GameImageArena gameImageArena() noexcept {
    GameImageArena view;
    view.begin = arena;
    view.size = kArenaSize;
    view.code = arena;
    view.codeSize = kArenaCodeSize;
    view.nameTableVariable = arena + kArenaNameTableVariableOffset;
    view.objectTable = arena + kArenaObjectTableOffset;
    return view;
}

PlantedInstructions plantGameImageArena() {
    static const PlantedInstructions planted = [] {
        const GameImageArena view = gameImageArena();
        return plantEngineInstructions(view.code, view.codeSize, view.nameTableVariable, view.objectTable);
    }();
    return planted;
}

} // namespace standin
