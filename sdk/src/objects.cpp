#include "sdk/objects.hpp"

namespace SDK {

std::string UObject::objectName() const { return {}; }
std::string UObject::objectFullName() const { return {}; }
UClass* UObject::objectClass() const noexcept { return nullptr; }
UObject* UObject::objectOuter() const noexcept { return nullptr; }
std::int32_t UObject::nameIndex() const noexcept { return 0; }
std::int32_t UObject::nameNumber() const noexcept { return 0; }

UClass* lookupClassClass() { return nullptr; }

} // namespace SDK
