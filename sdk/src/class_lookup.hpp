// The pieces behind lookupClassClass, for the library's own tests and benchmarks.
#pragma once

#include <string_view>

#include "sdk/objects.hpp"

namespace SDK::detail {

inline constexpr std::string_view kClassClassFullName = "Class CoreUObject.Class";

// The search that lookupClassClass caches, run afresh on every call.
UClass* searchClassClass() noexcept;

// The cache itself: a function-local static built by the first call whose `search` returns. An
// exception from `search` leaves it unbuilt (the next call searches again); once built, `search` is
// never called again. lookupClassClass() is cachedClassClass(&searchClassClass).
UClass* cachedClassClass(UClass* (*search)());

} // namespace SDK::detail
