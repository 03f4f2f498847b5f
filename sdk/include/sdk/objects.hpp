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
#include <string>
#include <string_view>

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
UClass* lookupClassClass();

} // namespace SDK
