// The walk of the engine's name table and the rule that makes a name of an entry's text: written once,
// for the naming of objects (which trusts the engine's pointers) and for the proof and the search by
// layout (which read every pointer through a ReadableMemory snapshot).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "sdk/engine_layout.hpp"

namespace SDK::detail {

// Reads the game's memory on the engine's word, as objectName does: the tables are the game's own,
// and the code around this layer expects them whole whenever it is called.
struct TrustedMemory {
    bool read(std::uintptr_t address, std::uint64_t& value) const noexcept {
        value = Layout::readAt<std::uint64_t>(address);
        return true;
    }
};

// The address of the text of name `index` in the name table at `table`: the chunk pointer at
// nameSlot(index) of the table's chunk array, the entry pointer in that chunk, the text
// kNameEntryTextOffset past the entry. Zero where the table gives none: no table, a negative index,
// a null chunk or entry, or a pointer that `memory` cannot read. `Memory` has
// `bool read(std::uintptr_t, std::uint64_t&)`: TrustedMemory or ReadableMemory.
template <typename Memory>
std::uintptr_t nameText(Memory& memory, std::uintptr_t table, std::int32_t index) noexcept {
    if (table == 0 || index < 0) {
        return 0;
    }
    const Layout::Slot slot = Layout::nameSlot(static_cast<std::size_t>(index));
    std::uint64_t chunk = 0;
    std::uint64_t entry = 0;
    if (!memory.read(table + slot.chunkOffset, chunk) || chunk == 0 ||
        !memory.read(static_cast<std::uintptr_t>(chunk) + slot.offsetInChunk, entry) || entry == 0) {
        return 0;
    }
    return static_cast<std::uintptr_t>(entry) + Layout::kNameEntryTextOffset;
}

// The naming rule: an object's name is its entry's text after the text's last "/" (the whole text
// when it has none), the number suffix appended after that. Hands `each` the name's characters from
// the last one back, for as long as it returns true; false when `each` stopped it. `charAt(i)` is
// character i of a text of `length` characters. From the back, since that is where a comparison of
// names finds its first difference, and where the cut is found without a second pass.
template <typename CharAt, typename Each>
bool eachNameCharacterFromTheBack(std::size_t length, CharAt charAt, Each each) {
    for (std::size_t i = length; i > 0; --i) {
        const char c = charAt(i - 1);
        if (c == '/') {
            return true;
        }
        if (!each(c)) {
            return false;
        }
    }
    return true;
}

// Where in `within` a name (of the text of `length` characters that `charAt` reads) begins when it is
// exactly within[begin, end); none when it is not. Compared from the back, stopping at the first
// character that differs or at the start of `within` (a name longer than what is left cannot match).
template <typename CharAt>
std::optional<std::size_t> nameBeginsIn(std::size_t length, CharAt charAt, std::string_view within,
                                        std::size_t end) {
    const bool same = eachNameCharacterFromTheBack(length, charAt, [&](char c) {
        if (end == 0 || within[end - 1] != c) {
            return false;
        }
        --end;
        return true;
    });
    return same ? std::optional<std::size_t>(end) : std::nullopt;
}

} // namespace SDK::detail
