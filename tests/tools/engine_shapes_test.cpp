// The engine patterns' table: the instructions each pattern is made of, as the decoder classifies them
// and as --suggest looks for them in code where the bytes no longer match.
#include "pe/image.hpp"
#include "sdk/engine_patterns.hpp"
#include "sigcheck/decoder.hpp"
#include "sigcheck/engine_patterns.hpp"
#include "sigcheck/suggest.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kCodeRva = 0x1000;
constexpr std::uint32_t kCodeSize = 0x1000;
constexpr std::uint8_t kBreakpoint = 0xCC; // int3: no operation of the table

// One executable section at kCodeRva holding `code` (breakpoints after it), then a writable one.
struct CodeImage {
    pe::Headers headers;
    std::vector<std::uint8_t> image;

    explicit CodeImage(std::span<const std::uint8_t> code) {
        headers.machine = pe::kMachineAmd64;
        headers.imageBase = 0x140000000;
        headers.sizeOfHeaders = 0x400;
        headers.sizeOfImage = kCodeRva + kCodeSize + 0x1000;
        headers.sections.push_back({".text", kCodeRva, kCodeSize, 0x400, kCodeSize,
                                    pe::kSectionExecutable | pe::kSectionContainsCode});
        headers.sections.push_back({".data", kCodeRva + kCodeSize, 0x1000, 0, 0, pe::kSectionWritable});
        image.assign(headers.sizeOfImage, 0);
        std::fill(image.begin() + kCodeRva, image.begin() + kCodeRva + kCodeSize, kBreakpoint);
        std::copy(code.begin(), code.end(), image.begin() + kCodeRva);
    }
};

// The pattern's bytes, its wildcards filled with `wildcard`.
std::vector<std::uint8_t> instance(std::span<const SDK::PatternByte> pattern, std::uint8_t wildcard) {
    std::vector<std::uint8_t> bytes;
    for (const SDK::PatternByte& element : pattern) {
        bytes.push_back(element.fixed ? element.value : wildcard);
    }
    return bytes;
}

std::vector<std::uint64_t> candidateRvas(const sigcheck::Decoder& decoder,
                                         const sigcheck::EnginePattern& pattern) {
    std::vector<std::uint64_t> rvas;
    for (const sigcheck::Candidate& candidate : sigcheck::findCandidates(decoder, pattern)) {
        rvas.push_back(candidate.rva);
    }
    return rvas;
}

TEST(EngineShapes, AreWhatTheEnginePatternsBytesDecodeInto) {
    for (const sigcheck::EnginePattern& pattern : sigcheck::kEnginePatterns) {
        for (const std::uint8_t wildcard : {std::uint8_t{0x00}, std::uint8_t{0x7F}, std::uint8_t{0xF0}}) {
            SCOPED_TRACE(std::string(pattern.name) + " with wildcards " + std::to_string(wildcard));
            const CodeImage code(instance(pattern.signature, wildcard));
            const sigcheck::Decoder decoder(code.headers, code.image);

            std::uint64_t next = kCodeRva;
            int firstReg = -1;
            for (std::size_t i = 0; i < pattern.shape.size(); ++i) {
                SCOPED_TRACE(i);
                const std::optional<sigcheck::Instruction> instruction = decoder.decode(next);
                ASSERT_TRUE(instruction.has_value());
                if (i == 0) {
                    // The instruction whose displacement the mod reads.
                    firstReg = instruction->reg;
                    EXPECT_EQ(instruction->length, SDK::kInstructionLength);
                    EXPECT_EQ(instruction->ripDisplacementOffset, SDK::kDisplacementOffset);
                }
                EXPECT_NE(instruction->operation, sigcheck::Operation::Other);
                EXPECT_TRUE(
                    sigcheck::fitsStep(pattern.shape[i], instruction->operation, instruction->reg, firstReg))
                    << decoder.format(*instruction);
                next += instruction->length;
            }
            // The pattern ends inside the shape's last instruction (a jump's or call's offset).
            EXPECT_GE(next, kCodeRva + pattern.signature.size());
            EXPECT_EQ(candidateRvas(decoder, pattern), std::vector<std::uint64_t>{kCodeRva});
        }
    }
}

TEST(EngineShapes, HoldTheirInstructionsToTheTablesRegisters) {
    // Each fragment at its own 64-byte slot; breakpoints between them.
    struct Fragment {
        std::vector<std::uint8_t> bytes;
        bool nameTable; // a candidate of the name-table pattern, else judged for the object table
        bool candidate;
    };
    const std::vector<Fragment> fragments = {
        // mov rax, [rip+d]; test rax, rax; jnz near
        {{0x48, 0x8B, 0x05, 0x10, 0, 0, 0, 0x48, 0x85, 0xC0, 0x0F, 0x85, 0x20, 0, 0, 0}, true, true},
        // mov rcx, [rip+d]; test rcx, rcx; jnz short
        {{0x48, 0x8B, 0x0D, 0x10, 0, 0, 0, 0x48, 0x85, 0xC9, 0x75, 0x10}, true, true},
        // mov r8, [rip+d]; test r8, r8; jnz short
        {{0x4C, 0x8B, 0x05, 0x10, 0, 0, 0, 0x4D, 0x85, 0xC0, 0x75, 0x10}, true, true},
        // mov rax, [rip+d]; test rcx, rcx: another register tested
        {{0x48, 0x8B, 0x05, 0x10, 0, 0, 0, 0x48, 0x85, 0xC9, 0x75, 0x10}, true, false},
        // mov r8, [rip+d]; test rax, rax: the same low three bits, another register
        {{0x4C, 0x8B, 0x05, 0x10, 0, 0, 0, 0x48, 0x85, 0xC0, 0x75, 0x10}, true, false},
        // mov rax, [rip+d]; test rax, rax; jz: the other condition
        {{0x48, 0x8B, 0x05, 0x10, 0, 0, 0, 0x48, 0x85, 0xC0, 0x74, 0x10}, true, false},
        // mov eax, [rip+d]; test eax, eax; jnz: 32 bits
        {{0x8B, 0x05, 0x10, 0, 0, 0, 0x85, 0xC0, 0x75, 0x10}, true, false},
        // lea rcx, [rip+d]; call; call; call
        {{0x48, 0x8D, 0x0D, 0x10, 0, 0, 0, 0xE8, 0x20, 0, 0, 0, 0xE8, 0x30, 0, 0, 0, 0xE8, 0x40, 0, 0, 0},
         false,
         true},
        // lea rcx, [rip+d]; call; call qword ptr [rip+d]; call
        {{0x48, 0x8D, 0x0D, 0x10, 0, 0, 0,    0xE8, 0x20, 0, 0, 0,
          0xFF, 0x15, 0x30, 0,    0, 0, 0xE8, 0x40, 0,    0, 0},
         false,
         true},
        // lea rdx, [rip+d]; three calls: not the first argument
        {{0x48, 0x8D, 0x15, 0x10, 0, 0, 0, 0xE8, 0x20, 0, 0, 0, 0xE8, 0x30, 0, 0, 0, 0xE8, 0x40, 0, 0, 0},
         false,
         false},
        // lea r9, [rip+d]; three calls: rcx's low bits, but REX.R
        {{0x4C, 0x8D, 0x0D, 0x10, 0, 0, 0, 0xE8, 0x20, 0, 0, 0, 0xE8, 0x30, 0, 0, 0, 0xE8, 0x40, 0, 0, 0},
         false,
         false},
        // lea rcx, [rip+d]; two calls, then a return
        {{0x48, 0x8D, 0x0D, 0x10, 0, 0, 0, 0xE8, 0x20, 0, 0, 0, 0xE8, 0x30, 0, 0, 0, 0xC3}, false, false},
        // lea rcx, [rax+d]: not RIP-relative
        {{0x48, 0x8D, 0x88, 0x10, 0, 0, 0, 0xE8, 0x20, 0, 0, 0, 0xE8, 0x30, 0, 0, 0, 0xE8, 0x40, 0, 0, 0},
         false,
         false},
    };
    std::vector<std::uint8_t> code(fragments.size() * 64, kBreakpoint);
    std::vector<std::uint64_t> expectedNames;
    std::vector<std::uint64_t> expectedObjects;
    for (std::size_t i = 0; i < fragments.size(); ++i) {
        std::copy(fragments[i].bytes.begin(), fragments[i].bytes.end(),
                  code.begin() + static_cast<std::ptrdiff_t>(i * 64));
        if (fragments[i].candidate) {
            (fragments[i].nameTable ? expectedNames : expectedObjects).push_back(kCodeRva + i * 64);
        }
    }
    const CodeImage image(code);
    const sigcheck::Decoder decoder(image.headers, image.image);
    EXPECT_EQ(candidateRvas(decoder, sigcheck::kEnginePatterns[0]), expectedNames);
    EXPECT_EQ(candidateRvas(decoder, sigcheck::kEnginePatterns[1]), expectedObjects);

    // The decoder names the registers by their numbers, whatever the table asks of them.
    const std::optional<sigcheck::Instruction> leaRdx = decoder.decode(kCodeRva + 9 * 64);
    ASSERT_TRUE(leaRdx.has_value());
    EXPECT_EQ(leaRdx->operation, sigcheck::Operation::LeaRip);
    EXPECT_EQ(leaRdx->reg, 2);
    const std::optional<sigcheck::Instruction> leaR9 = decoder.decode(kCodeRva + 10 * 64);
    ASSERT_TRUE(leaR9.has_value());
    EXPECT_EQ(leaR9->operation, sigcheck::Operation::LeaRip);
    EXPECT_EQ(leaR9->reg, 9);
    const std::optional<sigcheck::Instruction> testR8 = decoder.decode(kCodeRva + 2 * 64 + 7);
    ASSERT_TRUE(testR8.has_value());
    EXPECT_EQ(testR8->operation, sigcheck::Operation::TestSelf);
    EXPECT_EQ(testR8->reg, 8);
}

} // namespace
