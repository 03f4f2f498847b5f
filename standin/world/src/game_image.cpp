#include "standin/game_image.hpp"

#include <cstring>
#include <stdexcept>

#include "sdk/engine_layout.hpp"
#include "sdk/engine_patterns.hpp"
#include "sdk/signature.hpp"

namespace standin {

namespace {

// Each emitted instruction sequence is followed by this much int3 filler, which no pattern byte
// matches, so that sequences never run into each other.
constexpr std::size_t kGap = 8;
constexpr std::uint8_t kFiller = 0xCC;

// Writes a signature's bytes: fixed bytes from the signature, wildcards in order from `wildcards`.
// The elements are read through a volatile view so that the compiler cannot fold the signature into
// a constant byte string somewhere in this executable: the only copy of the pattern must be the one
// written at run time.
template <std::size_t N>
void emit(const SDK::Signature<N>& signature, std::uint8_t* out, const std::uint8_t* wildcards) {
    const volatile SDK::PatternByte* elements = signature.elements.data();
    std::size_t next = 0;
    for (std::size_t i = 0; i < N; ++i) {
        const bool fixed = elements[i].fixed;
        const std::uint8_t value = elements[i].value;
        out[i] = fixed ? value : wildcards[next++];
    }
}

class Writer {
public:
    Writer(std::uint8_t* code, std::size_t size) : code_(code), size_(size) {}

    template <std::size_t N>
    std::uint8_t* put(const SDK::Signature<N>& signature, const std::uint8_t* wildcards) {
        if (used_ + N + kGap > size_) {
            throw std::invalid_argument("the region is too small for the engine instructions");
        }
        std::uint8_t* at = code_ + used_;
        emit(signature, at, wildcards);
        std::memset(at + N, kFiller, kGap);
        used_ += N + kGap;
        return at;
    }

    std::size_t used() const noexcept { return used_; }

private:
    std::uint8_t* code_;
    std::size_t size_;
    std::size_t used_ = 0;
};

// The displacement from the end of a 7-byte instruction at `instruction` to `target`, checked against
// the top byte that the signature fixes.
template <std::size_t N>
std::uint32_t displacementTo(const SDK::Signature<N>& signature, const std::uint8_t* instruction,
                             const void* target, const char* what) {
    const auto from = reinterpret_cast<std::uintptr_t>(instruction) + SDK::kInstructionLength;
    const auto to = reinterpret_cast<std::uintptr_t>(target);
    const volatile SDK::PatternByte* elements = signature.elements.data();
    const std::uint8_t top = elements[SDK::kDisplacementOffset + 3].value;
    if (to <= from || to - from > 0xFFFFFFFFu || ((to - from) >> 24) != top) {
        throw std::invalid_argument(what);
    }
    return static_cast<std::uint32_t>(to - from);
}

void littleEndian24(std::uint32_t value, std::uint8_t* out) noexcept {
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
    out[2] = static_cast<std::uint8_t>(value >> 16);
}

} // namespace

PlantedInstructions plantEngineInstructions(std::uint8_t* code, std::size_t size,
                                            const void* nameTableVariable, const void* objectTable) {
    if (code == nullptr || size < kPlantedInstructionsSize) {
        throw std::invalid_argument("the region is too small for the engine instructions");
    }
    std::memset(code, kFiller, kPlantedInstructionsSize);
    Writer writer(code, size);

    // Wildcard fillers for the near misses: arbitrary displacement and call offset low bytes.
    const std::uint8_t nameWildcards[3] = {0x5A, 0x13, 0xC7};
    const std::uint8_t objectWildcards[12] = {0x21, 0x43, 0x65, 0x10, 0x32, 0x54,
                                              0xEF, 0xCD, 0xAB, 0x77, 0x66, 0x55};

    // Name-table pattern near misses: the displacement's top byte is 02, then 05; the jump offset's low byte
    // is B1 instead of B0; the load goes to another register (48 8B 0D).
    writer.put(SDK::kNameTablePattern, nameWildcards)[6] = 0x02;
    writer.put(SDK::kNameTablePattern, nameWildcards)[6] = 0x05;
    writer.put(SDK::kNameTablePattern, nameWildcards)[12] = 0xB1;
    writer.put(SDK::kNameTablePattern, nameWildcards)[2] = 0x0D;

    // Object-table pattern near misses: the last call offset's top byte is 00 instead of 01; the
    // displacement's top byte is 03; the first call offset's top byte is 01; the second call is a jump (E9).
    writer.put(SDK::kObjectTablePattern, objectWildcards)[21] = 0x00;
    writer.put(SDK::kObjectTablePattern, objectWildcards)[6] = 0x03;
    writer.put(SDK::kObjectTablePattern, objectWildcards)[11] = 0x01;
    writer.put(SDK::kObjectTablePattern, objectWildcards)[12] = 0xE9;

    PlantedInstructions planted;

    // Room for the look-alikes: filler that no pattern matches until plantLookAlike writes there.
    planted.nameTableLookAlike = writer.put(SDK::kNameTablePattern, nameWildcards);
    std::memset(planted.nameTableLookAlike, kFiller, SDK::kNameTablePattern.size());
    planted.objectTableLookAlike = writer.put(SDK::kObjectTablePattern, objectWildcards);
    std::memset(planted.objectTableLookAlike, kFiller, SDK::kObjectTablePattern.size());

    // The real ones. Each displacement is computed for the instruction's final place.
    std::uint8_t* nameAt = code + writer.used();
    std::uint8_t realName[3];
    littleEndian24(displacementTo(SDK::kNameTablePattern, nameAt, nameTableVariable,
                                  "the name table variable is out of the name-table pattern's reach"),
                   realName);
    planted.nameTableMatch = writer.put(SDK::kNameTablePattern, realName);

    std::uint8_t* objectAt = code + writer.used();
    std::uint8_t realObject[12] = {0, 0, 0, 0x9C, 0x3E, 0x1F, 0x80, 0x04, 0x2A, 0x10, 0x20, 0x30};
    littleEndian24(displacementTo(SDK::kObjectTablePattern, objectAt, objectTable,
                                  "the object table is out of the object-table pattern's reach"),
                   realObject);
    planted.objectTableMatch = writer.put(SDK::kObjectTablePattern, realObject);

    planted.size = writer.used();
    return planted;
}

void setNameTableVariable(const GameImageArena& arena, const void* nameTable) noexcept {
    std::memcpy(arena.nameTableVariable, &nameTable, sizeof nameTable);
}

std::uint8_t* plantLookAlike(const GameImageArena& arena, const PlantedInstructions& planted,
                             LookAlike which) {
    // Junk: bytes from a fixed xorshift sequence, which never form a pointer into this process.
    std::uint8_t* junk = arena.begin + kArenaJunkOffset;
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    for (std::size_t i = 0; i < kArenaJunkSize; i += sizeof state) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::memcpy(junk + i, &state, sizeof state);
    }
    std::uint8_t wildcards[12] = {0x3C, 0x5A, 0x96, 0x0F, 0xF0, 0x69, 0xA5, 0xC3, 0x11, 0x22, 0x44, 0x88};
    if (which == LookAlike::NameTable) {
        std::uint8_t* variable = arena.begin + kArenaNameLookAlikeOffset;
        const void* table = junk;
        std::memcpy(variable, &table, sizeof table);
        littleEndian24(displacementTo(SDK::kNameTablePattern, planted.nameTableLookAlike, variable,
                                      "the look-alike's variable is out of the name-table pattern's reach"),
                       wildcards);
        emit(SDK::kNameTablePattern, planted.nameTableLookAlike, wildcards);
        return planted.nameTableLookAlike;
    }
    // A header in the engine's own shape: a chunk list with one chunk whose elements point into the
    // junk, so that count and chunk list agree and only the objects give it away.
    constexpr std::size_t kElements = 2000;
    constexpr std::size_t kRecordSize = 64;
    auto* header = reinterpret_cast<SDK::Layout::ObjectTable*>(arena.begin + kArenaObjectLookAlikeOffset);
    std::uint8_t* chunkList = junk + kArenaJunkSize / 3;
    std::uint8_t* chunk = chunkList + 4096;
    std::uint8_t* records = junk + 2 * (kArenaJunkSize / 3);
    const void* chunkAddress = chunk;
    std::memcpy(chunkList, &chunkAddress, sizeof chunkAddress);
    for (std::size_t i = 0; i < kElements; ++i) {
        const void* record = records + i * kRecordSize;
        std::memcpy(chunk + SDK::Layout::objectSlot(i).offsetInChunk, &record, sizeof record);
    }
    header->chunks = chunkList;
    header->count = static_cast<std::int32_t>(kElements);
    littleEndian24(displacementTo(SDK::kObjectTablePattern, planted.objectTableLookAlike, header,
                                  "the look-alike's header is out of the object-table pattern's reach"),
                   wildcards);
    emit(SDK::kObjectTablePattern, planted.objectTableLookAlike, wildcards);
    return planted.objectTableLookAlike;
}

} // namespace standin
