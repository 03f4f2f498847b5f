#include "sdk/objects.hpp"

#include <charconv>
#include <cstddef>
#include <optional>
#include <vector>

#include "class_lookup.hpp"
#include "first_use.hpp"
#include "name_table.hpp"
#include "sdk/engine.hpp"
#include "sdk/engine_layout.hpp"

namespace SDK {

namespace {

using Layout::readAt;

// One object's name, as the pieces it is made of: the entry text after its last "/", then the
// number suffix ("_<k>" for k above 0, empty otherwise). Nothing here allocates.
struct NamePiece {
    std::string_view text;
    char suffix[16] = {};
    std::size_t suffixLength = 0;

    std::size_t size() const noexcept { return text.size() + suffixLength; }
};

// The entry text of the object's name; none where the name table cannot give one (no table, a
// negative index, a null chunk or entry), and the object is then nameless: no text, no suffix.
std::optional<std::string_view> nameText(const UObject& object) noexcept {
    detail::TrustedMemory memory;
    const std::uintptr_t text = detail::nameText(memory, engineNameTable, object.nameIndex());
    if (text == 0) {
        return std::nullopt;
    }
    return std::string_view(reinterpret_cast<const char*>(text));
}

NamePiece namePiece(const UObject& object) noexcept {
    NamePiece piece;
    const std::optional<std::string_view> name = nameText(object);
    if (!name) {
        return piece;
    }
    const std::string_view text = *name;
    // The suffix holds no "/", so cutting the text alone is the same as cutting text and suffix.
    std::size_t length = 0;
    detail::eachNameCharacterFromTheBack(
        text.size(), [&](std::size_t i) { return text[i]; },
        [&](char) {
            ++length;
            return true;
        });
    piece.text = text.substr(text.size() - length);
    const std::int32_t number = object.nameNumber();
    if (number > 0) {
        piece.suffix[0] = '_';
        const auto result = std::to_chars(piece.suffix + 1, piece.suffix + sizeof piece.suffix, number);
        piece.suffixLength = static_cast<std::size_t>(result.ptr - piece.suffix);
    }
    return piece;
}

// Where the object's name starts in fullName when it is exactly fullName[start, end); none when it
// is not. Compared from the back without building anything: the number suffix digit by digit, then
// the name's characters, stopping at the first byte that differs or at the start of `fullName` (a
// name longer than what is left cannot match).
std::optional<std::size_t> nameEndsAt(const UObject& object, std::string_view fullName,
                                      std::size_t end) noexcept {
    const std::optional<std::string_view> name = nameText(object);
    if (!name) {
        return end; // nameless: the empty name
    }
    const std::string_view text = *name;
    const std::int32_t number = object.nameNumber();
    if (number > 0) {
        auto value = static_cast<std::uint32_t>(number);
        do {
            if (end == 0 || fullName[end - 1] != static_cast<char>('0' + value % 10)) {
                return std::nullopt;
            }
            --end;
            value /= 10;
        } while (value != 0);
        if (end == 0 || fullName[end - 1] != '_') {
            return std::nullopt;
        }
        --end;
    }
    return detail::nameBeginsIn(
        text.size(), [&](std::size_t i) { return text[i]; }, fullName, end);
}

// Whether the outer chain starting at `first` comes back to one of its own objects (Brent's cycle
// finding: constant memory, time linear in the chain).
bool chainLoops(const UObject* first) noexcept {
    if (first == nullptr) {
        return false;
    }
    const UObject* tortoise = first;
    const UObject* hare = first->objectOuter();
    std::size_t power = 1;
    std::size_t length = 1;
    while (hare != nullptr) {
        if (hare == tortoise) {
            return true;
        }
        if (power == length) {
            tortoise = hare;
            power *= 2;
            length = 0;
        }
        hare = hare->objectOuter();
        ++length;
    }
    return false;
}

} // namespace

UClass* UObject::objectClass() const noexcept {
    return readAt<UClass*>(this, Layout::kObjectClassOffset);
}

UObject* UObject::objectOuter() const noexcept {
    return readAt<UObject*>(this, Layout::kObjectOuterOffset);
}

std::int32_t UObject::nameIndex() const noexcept {
    return readAt<std::int32_t>(this, Layout::kObjectNameIndexOffset);
}

std::int32_t UObject::nameNumber() const noexcept {
    return readAt<std::int32_t>(this, Layout::kObjectNameNumberOffset);
}

std::string UObject::objectName() const {
    const NamePiece piece = namePiece(*this);
    std::string name;
    name.reserve(piece.size());
    name.append(piece.text);
    name.append(piece.suffix, piece.suffixLength);
    return name;
}

std::string UObject::objectFullName() const {
    const UClass* objectClass = this->objectClass();
    if (objectClass == nullptr || chainLoops(objectOuter())) {
        return {};
    }
    std::vector<const UObject*> outers;
    for (const UObject* o = objectOuter(); o != nullptr; o = o->objectOuter()) {
        outers.push_back(o);
    }
    std::string fullName = objectClass->objectName();
    fullName += ' ';
    for (auto o = outers.rbegin(); o != outers.rend(); ++o) {
        fullName += (*o)->objectName();
        fullName += '.';
    }
    fullName += objectName();
    return fullName;
}

bool UObject::hasFullName(std::string_view fullName) const noexcept {
    const UClass* objectClass = this->objectClass();
    if (objectClass == nullptr) {
        return fullName.empty();
    }
    if (fullName.empty()) {
        // With a class the full name holds at least the space, unless the chain loops.
        return chainLoops(objectOuter());
    }
    // From the end: the own name, then ".<outer>" for each outer inward-out, then "<class> ". Every
    // outer costs at least its ".", so a chain that loops runs out of `fullName` and fails.
    std::optional<std::size_t> end = nameEndsAt(*this, fullName, fullName.size());
    for (const UObject* o = objectOuter(); end && o != nullptr; o = o->objectOuter()) {
        if (*end == 0 || fullName[*end - 1] != '.') {
            return false;
        }
        end = nameEndsAt(*o, fullName, *end - 1);
    }
    if (!end || *end == 0 || fullName[*end - 1] != ' ') {
        return false;
    }
    end = nameEndsAt(*objectClass, fullName, *end - 1);
    return end && *end == 0;
}

UObject* findObjectByFullName(std::string_view fullName) noexcept {
    if (engineObjectTable == 0) {
        return nullptr;
    }
    const auto* table = reinterpret_cast<const unsigned char*>(engineObjectTable);
    for (std::size_t i = 0;; ++i) {
        // The game may grow its table meanwhile: count and chunk list are read afresh at every step.
        const auto count = readAt<std::int32_t>(table, Layout::kObjectTableCountOffset);
        if (count <= 0 || i >= static_cast<std::size_t>(count)) {
            return nullptr;
        }
        const auto* chunks = readAt<const unsigned char*>(table, Layout::kObjectTableChunksOffset);
        const Layout::Slot slot = Layout::objectSlot(i);
        const auto* chunk =
            chunks == nullptr ? nullptr : readAt<const unsigned char*>(chunks, slot.chunkOffset);
        if (chunk == nullptr) {
            // Every element of a chunk that is not there is empty: go on after its last one.
            i += Layout::kObjectsPerChunk - 1 - i % Layout::kObjectsPerChunk;
            continue;
        }
        const auto* object = readAt<const UObject*>(chunk, slot.offsetInChunk);
        if (object != nullptr && object->hasFullName(fullName)) {
            return const_cast<UObject*>(object);
        }
    }
}

namespace detail {

UClass* searchClassClass() noexcept {
    return static_cast<UClass*>(findObjectByFullName(kClassClassFullName));
}

UClass* cachedClassClass(UClass* (*search)()) {
    static UClass* const cached = search();
    return cached;
}

} // namespace detail

// The cache is a function-local static, built once and for good; a table that setup could not prove
// must not make it final, so its proof comes first, outside the static's guard (which cannot be left
// unbuilt without an exception) and under the first use's own lock. Once both tables are proven the
// static's initialisation runs the search as it always has.
UClass* lookupClassClass() {
    if (detail::tablesPending() && !detail::proveAtFirstUse()) {
        return nullptr;
    }
    return detail::cachedClassClass(&detail::searchClassClass);
}

} // namespace SDK
