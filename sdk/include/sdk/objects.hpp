// Read-only views of engine object records in the game's memory.
#pragma once

#include <cstdint>
#include <string>

namespace SDK {

class UClass;

// An object record of the engine; only ever seen through a pointer into the game's memory.
class UObject {
public:
    UObject() = delete;
    UObject(const UObject&) = delete;
    UObject& operator=(const UObject&) = delete;

    // The name from the name table, with "_<number>" appended for a number above 0, cut after its
    // last "/".
    std::string objectName() const;

    // "<class name> <outermost outer>.<...>.<direct outer>.<name>"; empty when the class is null.
    std::string objectFullName() const;

    UClass* objectClass() const noexcept;
    UObject* objectOuter() const noexcept;
    std::int32_t nameIndex() const noexcept;
    std::int32_t nameNumber() const noexcept;
};

// A class object is an object record too.
class UClass : public UObject {};

// The engine's class object for classes ("Class CoreUObject.Class"), found once and cached for the
// life of the library, null included.
UClass* lookupClassClass();

} // namespace SDK
