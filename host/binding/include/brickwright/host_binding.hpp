// How the mod met its loader. On Windows the mod binds the loader's names itself as its library loads
// (host/binding/bind_at_load.cpp), accepting every spelling of each name that differs from the header's
// only in class keys; natively it links the stand-in host by name, as Itanium names carry no keys.
#pragma once

#include <string>
#include <vector>

namespace brickwright::hostbinding {

// The class keys in which the loader's names differed from sml/sml.hpp's, as "Type=key" (the key the
// loader gave the type), each once, in the order of the names; empty when every name bound as the
// header spells it.
#if defined(_WIN32)
[[nodiscard]] std::vector<std::string> differingKeys();
#else
[[nodiscard]] inline std::vector<std::string> differingKeys() {
    return {};
}
#endif

} // namespace brickwright::hostbinding
