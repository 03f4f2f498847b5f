// MSVC-decorated names made readable. One implementation per platform, CMake picks it: LLVM's
// demangler on the build machine, dbghelp's UnDecorateSymbolName on Windows. Their texts differ in
// spacing and in "__ptr64", so whatever compares them goes through sigcheck/name_parts.hpp.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sigcheck {

// The readable form of `decorated`; nothing for a name that is not MSVC-decorated (a C name such as
// ModCreate) or that the demangler cannot read.
[[nodiscard]] std::optional<std::string> demangle(std::string_view decorated);

} // namespace sigcheck
