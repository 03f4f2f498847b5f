// Read-only views of engine object records in the game's memory.
//
// The engine's tables are the game's: this layer follows their pointers, reading with memcpy and never
// writing. Where they are absent or damaged it gives empty answers instead of following a null:
// - a zero engineNameTable, a negative name index, a null name chunk or a null name entry: the
//   object's name is empty (no text and no number suffix);
// - a zero engineObjectTable, a null chunk list or a null object chunk: no objects (or empty
//   elements) there;
// - an outer chain that comes back to one of its own objects: no full name (see objectFullName).
// A name index or element count beyond the chunks that the game has in place is outside the game's
// own contract (the engine never counts past the chunks it allocated) and is not guarded: the chunk
// arrays have no length this layer could check against.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sdk/engine.hpp"

namespace SDK {

class UClass;

// An object record of the engine; only ever seen through a pointer into the game's memory.
class UObject {
public:
    UObject() = delete;
    UObject(const UObject&) = delete;
    UObject& operator=(const UObject&) = delete;

    // The name entry's text, with "_<number>" appended for a number above 0, then cut after its last
    // "/" (so "x/y" with number 3 is "y_3" and "abc/" with number 2 is "_2").
    std::string objectName() const;

    // "<class name> <outermost outer>.<...>.<direct outer>.<name>", or "<class name> <name>" without
    // an outer. Empty when the class is null, and empty when the outer chain loops: a chain that
    // never ends has no outermost outer to begin with.
    std::string objectFullName() const;

    // Whether objectFullName() == fullName, decided without building any string: the pieces are
    // compared from the end of `fullName` backwards while the outer chain is walked, and the
    // comparison stops at the first differing byte or once the name would be longer than
    // `fullName`. Allocates nothing.
    bool hasFullName(std::string_view fullName) const noexcept;

    UClass* objectClass() const noexcept;
    UObject* objectOuter() const noexcept;
    std::int32_t nameIndex() const noexcept;
    std::int32_t nameNumber() const noexcept;
};

// A class object is an object record too.
class UClass : public UObject {};

// The object at the lowest element index of the object table whose full name is `fullName`, searched
// afresh on every call (empty elements skipped; the count and chunk list re-read at every step);
// null when there is none or the object table is absent.
UObject* findObjectByFullName(std::string_view fullName) noexcept;

// The engine's class object for classes ("Class CoreUObject.Class"), found by the first call and
// cached for the life of the library, null included. Concurrent first calls wait for one search.
//
// When initEngineGlobals left a table unproven (kept still empty, or not found), the first call proves
// the tables first: the kept matches at their addresses, the name table's variable read again, and
// where nothing proves, the search by layout over a fresh snapshot of readable memory; what proves
// then is what the globals, the naming and the search use. Until both tables prove, the answer is
// null and nothing is cached: the next lookup round tries again, and every lookup of a round that has
// tried already answers null at once. Concurrent callers wait for the one attempt.
UClass* lookupClassClass();

// Starts a lookup round and returns its number: the BeginPlay handler starts one before its 54
// lookups, which share the round's one attempt at most. Before any call, round 1 is under way.
std::uint64_t startLookupRound() noexcept;

// What an attempt at first use found that the mod has not yet said, when the attempt ran in `round`;
// given out once. Found tables are news once; tables not found are news once, and only when setup
// kept their matches (it said they would be checked): a table setup could not find it has already
// warned about.
std::optional<FirstUseReport> takeFirstUseReport(std::uint64_t round);

} // namespace SDK
