// One x86-64 instruction of a laid-out image as the pattern tools see it: its bytes, which of them
// move when code or data moves (and so become wildcards), and which of the operations that the engine
// patterns are made of (engine_patterns.hpp) it is. The decoder behind it (Zydis) stays inside
// decoder.cpp.
#pragma once

#include "pe/image.hpp"
#include "sigcheck/engine_patterns.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace sigcheck {

inline constexpr std::size_t kMaxInstructionLength = 15;

struct Instruction {
    std::uint64_t rva = 0;
    std::size_t length = 0;
    std::array<std::uint8_t, kMaxInstructionLength> bytes{};
    // Bit i set: byte i is part of an operand that moves with code or data.
    std::uint16_t moving = 0;
    Operation operation = Operation::Other;
    // The register loaded, computed into or tested, by its x86-64 number (0 rax, 1 rcx, ... 15 r15);
    // -1 for the others.
    int reg = -1;
    // Where a RIP-relative operand or a relative branch points, as an RVA.
    std::optional<std::uint64_t> target;
    // Offset of the 32-bit RIP-relative displacement, when there is one.
    std::optional<std::size_t> ripDisplacementOffset;

    bool wildcard(std::size_t i) const noexcept { return (moving >> i & 1u) != 0; }
};

class Decoder {
public:
    Decoder(const pe::Headers& headers, std::span<const std::uint8_t> image);
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // The instruction at `rva`, decoded from the bytes of the section holding it (never past its end
    // or the image's); nullopt outside every section or where no valid instruction begins.
    [[nodiscard]] std::optional<Instruction> decode(std::uint64_t rva) const;

    // Intel syntax, branch and RIP-relative targets shown as RVAs.
    [[nodiscard]] std::string format(const Instruction& instruction) const;

    const pe::Headers& headers() const noexcept { return headers_; }
    std::span<const std::uint8_t> image() const noexcept { return image_; }

private:
    struct State;
    const pe::Headers& headers_;
    std::span<const std::uint8_t> image_;
    std::unique_ptr<State> state_;
};

} // namespace sigcheck
