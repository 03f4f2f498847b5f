// The engine patterns as the maintainer tools see them, in one table: the bytes the mod scans for, and
// the instructions each one is made of, in order, with what their registers must be. The decoder
// classifies every instruction into the operations written here; --suggest looks for the same
// instructions once the bytes no longer match.
#pragma once

#include "sdk/engine_patterns.hpp"

#include <array>
#include <span>
#include <string_view>

namespace sigcheck {

// The few operations the engine patterns are made of; every other instruction is Other.
enum class Operation {
    Other,
    LoadRipQword,  // mov r64, qword ptr [rip + disp32]
    LeaRip,        // lea r64, [rip + disp32]
    TestSelf,      // test r64, r64 with the same register twice
    JumpIfNotZero, // jnz / jne, short or near
    NearCall,      // call, relative or indirect, not far
};

// x86-64 register numbers, as the ModRM and REX bits encode them (Instruction::reg).
inline constexpr int kRegisterRcx = 1;

// What the register an instruction loads, computes into or tests must be.
enum class RegisterRule {
    Any,
    Rcx,         // the first argument register of the Windows x64 calling convention
    SameAsFirst, // the register of the shape's first instruction
};

struct ShapeStep {
    Operation operation = Operation::Other;
    RegisterRule reg = RegisterRule::Any;
};

// Whether an instruction's operation and register fit the step; `firstReg` is the register of
// the shape's first instruction.
constexpr bool fitsStep(const ShapeStep& step, Operation operation, int reg, int firstReg) noexcept {
    if (operation != step.operation) {
        return false;
    }
    switch (step.reg) {
    case RegisterRule::Any:
        return true;
    case RegisterRule::Rcx:
        return reg == kRegisterRcx;
    case RegisterRule::SameAsFirst:
        return reg == firstReg;
    }
    return false;
}

// mov r64, [rip + disp32]; test r64, r64 (the same register); jnz (short or near)
inline constexpr std::array<ShapeStep, 3> kNameTableShape = {{
    {Operation::LoadRipQword, RegisterRule::Any},
    {Operation::TestSelf, RegisterRule::SameAsFirst},
    {Operation::JumpIfNotZero, RegisterRule::Any},
}};

// lea rcx, [rip + disp32]; then three near calls
inline constexpr std::array<ShapeStep, 4> kObjectTableShape = {{
    {Operation::LeaRip, RegisterRule::Rcx},
    {Operation::NearCall, RegisterRule::Any},
    {Operation::NearCall, RegisterRule::Any},
    {Operation::NearCall, RegisterRule::Any},
}};

struct EnginePattern {
    std::string_view name;
    std::span<const SDK::PatternByte> signature;
    // The instructions the pattern spans, in order. The first one refers to the table, RIP-relative.
    std::span<const ShapeStep> shape;
};

// In the order the mod resolves them, which is the order every report lists them in.
inline constexpr std::array<EnginePattern, 2> kEnginePatterns = {{
    {"name-table", SDK::kNameTablePattern.elements, kNameTableShape},
    {"object-table", SDK::kObjectTablePattern.elements, kObjectTableShape},
}};

static_assert(
    [] {
        for (const EnginePattern& pattern : kEnginePatterns) {
            if (pattern.shape.empty()) {
                return false;
            }
        }
        return true;
    }(),
    "every engine pattern spans at least one instruction");

} // namespace sigcheck
