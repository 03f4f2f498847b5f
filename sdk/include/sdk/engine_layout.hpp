// Where the engine keeps what this layer reads. All of it is the game's own memory: little-endian,
// 8-byte pointers, read only, never written. The structures pin the offsets for whoever lays the
// tables out (the stand-in engine world); the readers use the named offsets and slots with readAt,
// since nothing guarantees the game's records are aligned for our types.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sdk/memory_read.hpp"

namespace SDK::Layout {

static_assert(sizeof(void*) == 8, "the engine's tables hold 8-byte pointers");

// The object table: a chunk list and an element count.
inline constexpr std::size_t kObjectTableChunksOffset = 16;
inline constexpr std::size_t kObjectTableCountOffset = 36;
inline constexpr std::size_t kObjectsPerChunk = 65536;

// One element of an object-table chunk.
inline constexpr std::size_t kObjectElementSize = 24;
inline constexpr std::size_t kObjectElementObjectOffset = 0;

// An object record (a class object is one too).
inline constexpr std::size_t kObjectClassOffset = 16;
inline constexpr std::size_t kObjectNameIndexOffset = 24;
inline constexpr std::size_t kObjectNameNumberOffset = 28;
inline constexpr std::size_t kObjectOuterOffset = 32;

// The name table: an array of chunk pointers; each chunk holds entry pointers.
inline constexpr std::size_t kNamesPerChunk = 16384;
inline constexpr std::size_t kNameEntryTextOffset = 16;

struct ObjectTable {
    std::byte unread0[16];
    void* chunks;
    std::byte unread1[12];
    std::int32_t count;
};
static_assert(offsetof(ObjectTable, chunks) == kObjectTableChunksOffset);
static_assert(offsetof(ObjectTable, count) == kObjectTableCountOffset);

struct ObjectElement {
    void* object;
    std::byte unread[16];
};
static_assert(offsetof(ObjectElement, object) == kObjectElementObjectOffset);
static_assert(sizeof(ObjectElement) == kObjectElementSize);

struct ObjectRecord {
    std::byte unread[16];
    void* objectClass;
    std::int32_t nameIndex;
    std::int32_t nameNumber;
    void* outer;
};
static_assert(offsetof(ObjectRecord, objectClass) == kObjectClassOffset);
static_assert(offsetof(ObjectRecord, nameIndex) == kObjectNameIndexOffset);
static_assert(offsetof(ObjectRecord, nameNumber) == kObjectNameNumberOffset);
static_assert(offsetof(ObjectRecord, outer) == kObjectOuterOffset);

// A name entry's header; the NUL-terminated text follows it.
struct NameEntryHeader {
    std::byte unread[16];
};
static_assert(sizeof(NameEntryHeader) == kNameEntryTextOffset);

// Where the pointer to element `index` of a chunked table lies: the offset of its chunk's pointer in
// the chunk list, and its own offset inside that chunk.
struct Slot {
    std::size_t chunkOffset;
    std::size_t offsetInChunk;
};

// Name `index`: an entry pointer in chunk index / kNamesPerChunk of the name table.
constexpr Slot nameSlot(std::size_t index) noexcept {
    return Slot{index / kNamesPerChunk * sizeof(void*), index % kNamesPerChunk * sizeof(void*)};
}

// Element `index` of the object table: its object pointer in chunk index / kObjectsPerChunk.
constexpr Slot objectSlot(std::size_t index) noexcept {
    return Slot{index / kObjectsPerChunk * sizeof(void*),
                index % kObjectsPerChunk * kObjectElementSize + kObjectElementObjectOffset};
}

// The one load of the game's memory (sdk/memory_read.hpp), by the layout's offsets.
using SDK::readAt;

} // namespace SDK::Layout
