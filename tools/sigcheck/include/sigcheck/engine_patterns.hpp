// The engine patterns as the maintainer tools see them: the bytes the mod scans for, and the
// instructions each one is made of, which --suggest looks for once the bytes no longer match.
#pragma once

#include "sdk/signature.hpp"

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

namespace sigcheck {

enum class Shape {
    // mov r64, [rip + disp32]; test r64, r64 (the same register); jnz (short or near)
    NameTable,
    // lea rcx, [rip + disp32]; then three near calls
    ObjectTable,
};

struct EnginePattern {
    std::string_view name;
    std::span<const SDK::PatternByte> signature;
    Shape shape;
    std::size_t instructions; // how many instructions the shape spans
};

// In the order the mod resolves them, which is the order every report lists them in.
inline constexpr std::array<EnginePattern, 2> kEnginePatterns = {{
    {"name-table", SDK::kNameTablePattern.elements, Shape::NameTable, 3},
    {"object-table", SDK::kObjectTablePattern.elements, Shape::ObjectTable, 4},
}};

} // namespace sigcheck
