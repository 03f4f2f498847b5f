// The scan's internals: a prepared pattern as the kernels see it, and the kernels' entry points.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "sdk/memory_read.hpp"
#include "sdk/pattern_scan.hpp"
#include "sdk/sanitizer.hpp"

namespace SDK::Scan {

// A pattern of length L >= 1, ready to scan. The kernels look for offsets where both anchor bytes
// sit at their places (one fixed byte: both anchors are that byte; no fixed byte: every offset is a
// candidate), then verify the candidate eight bytes at a time: word k covers pattern bytes
// [8k, 8k + 8), the last word [covered - 8, covered) so that it never reaches past the pattern.
// Each word is a pair: the fixed bytes complemented, and a mask with FF where the byte is fixed.
// An image word w matches when ((w ^ flipped) & mask) == mask. Bytes from `covered` on (only for
// very long patterns handed to scanForPattern) are compared with the caller's pattern and mask.
struct Plan {
    std::size_t length = 0;
    bool anchored = false;
    std::size_t anchor0 = 0;
    std::size_t anchor1 = 0;
    std::uint8_t byte0 = 0;
    std::uint8_t byte1 = 0;
    const std::uint64_t* words = nullptr; // wordCount pairs (flipped, mask)
    std::size_t wordCount = 0;
    std::size_t covered = 0;
    const std::uint8_t* tailPattern = nullptr;
    const char* tailMask = nullptr;
};

// The first `count` (< 8) bytes at `p` where a load would put them, the rest zero. Byte by byte: a
// memcpy of a variable length is a library call, and a sanitizer's interceptor checks those.
SDK_IMAGE_READER inline std::uint64_t loadPartialWord(const std::uint8_t* p, std::size_t count) noexcept {
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t shift = std::endian::native == std::endian::little ? 8 * i : 56 - 8 * i;
        word |= std::uint64_t{p[i]} << shift;
    }
    return word;
}

// Whether the whole pattern matches at `p`; [p, p + length) lies inside the image, which ends at
// `end`.
SDK_IMAGE_READER inline bool verify(const Plan& plan, const std::uint8_t* p,
                                    const std::uint8_t* end) noexcept {
    if (plan.covered < 8) {
        // Shorter than a word: read the whole word only where the image goes on that far.
        const std::uint64_t word =
            end - p >= 8 ? readAt<std::uint64_t>(p, 0) : loadPartialWord(p, plan.covered);
        return ((word ^ plan.words[0]) & plan.words[1]) == plan.words[1];
    }
    const std::size_t last = plan.wordCount - 1;
    for (std::size_t k = 0; k < last; ++k) {
        const std::uint64_t word = readAt<std::uint64_t>(p + 8 * k, 0);
        if (((word ^ plan.words[2 * k]) & plan.words[2 * k + 1]) != plan.words[2 * k + 1]) {
            return false;
        }
    }
    const std::uint64_t word = readAt<std::uint64_t>(p + plan.covered - 8, 0);
    if (((word ^ plan.words[2 * last]) & plan.words[2 * last + 1]) != plan.words[2 * last + 1]) {
        return false;
    }
    for (std::size_t i = plan.covered; i < plan.length; ++i) {
        if (plan.tailMask[i] == 'x' && p[i] != plan.tailPattern[i]) {
            return false;
        }
    }
    return true;
}

// The kernels' entry points: the lowest match at an offset in [from, size - L] of the image
// [base, base + size), or nullptr. Each needs size >= plan.length, from <= size - plan.length and a
// plan with an anchor; the vector ones a CPU that runs them.
const std::uint8_t* findScalar(const Plan& plan, const std::uint8_t* base, std::size_t size,
                               std::size_t from) noexcept;
#if defined(__x86_64__) || defined(_M_X64)
const std::uint8_t* findSse2(const Plan& plan, const std::uint8_t* base, std::size_t size,
                             std::size_t from) noexcept;
const std::uint8_t* findAvx2(const Plan& plan, const std::uint8_t* base, std::size_t size,
                             std::size_t from) noexcept;
const std::uint8_t* findAvx512(const Plan& plan, const std::uint8_t* base, std::size_t size,
                               std::size_t from) noexcept;
#endif

// At most this many plans share one pass over the image; more are scanned in groups of this many.
inline constexpr std::size_t kMaxOnePass = 8;

// The kernels' one-pass entry points: found[i] becomes the lowest match of plans[i] in
// [base, base + size), or nullptr. Each needs 1 to kMaxOnePass plans, each with an anchor and no
// longer than the image; the vector ones a CPU that runs them.
void findEachScalar(const Plan* plans, std::size_t count, const std::uint8_t* base, std::size_t size,
                    const std::uint8_t** found) noexcept;
#if defined(__x86_64__) || defined(_M_X64)
void findEachSse2(const Plan* plans, std::size_t count, const std::uint8_t* base, std::size_t size,
                  const std::uint8_t** found) noexcept;
void findEachAvx2(const Plan* plans, std::size_t count, const std::uint8_t* base, std::size_t size,
                  const std::uint8_t** found) noexcept;
void findEachAvx512(const Plan* plans, std::size_t count, const std::uint8_t* base, std::size_t size,
                    const std::uint8_t** found) noexcept;
#endif

// What cpuid and XCR0 tell about the vector kernels: leaf 1's ECX, leaf 7's EBX and ECX (0 where the
// CPU has no leaf 7), XCR0 (0 where the operating system has not enabled XSAVE), and which CPU it is:
// the vendor's and the display family (base family, plus the extended family where the base is 0Fh).
struct CpuReport {
    std::uint32_t leaf1Ecx = 0;
    std::uint32_t leaf7Ebx = 0;
    std::uint64_t xcr0 = 0;
    bool amd = false;
    std::uint32_t family = 0;
    std::uint32_t leaf7Ecx = 0;
};

// The bits of CpuReport that the vector kernels need, each named once.
inline constexpr std::uint32_t kOsxsave = 1u << 27;   // leaf 1 ECX: XSAVE enabled, XCR0 readable
inline constexpr std::uint32_t kAvx = 1u << 28;       // leaf 1 ECX
inline constexpr std::uint32_t kAvx2 = 1u << 5;       // leaf 7 EBX
inline constexpr std::uint32_t kAvx512F = 1u << 16;   // leaf 7 EBX: AVX-512 Foundation
inline constexpr std::uint32_t kAvx512BW = 1u << 30;  // leaf 7 EBX: byte and word instructions
inline constexpr std::uint32_t kAvx512Vbmi = 1u << 1; // leaf 7 ECX: byte permutes (the kernel's vpermt2b)
// XCR0: the SSE and AVX state; with the AVX-512 opmask, upper-ZMM and high-ZMM state.
inline constexpr std::uint64_t kYmmState = 0x06;
inline constexpr std::uint64_t kZmmState = 0xE6;

// Whether the CPU has the instructions and the operating system saves the registers they use.
[[nodiscard]] bool avx2Usable(const CpuReport& cpu) noexcept;
[[nodiscard]] bool avx512Usable(const CpuReport& cpu) noexcept;

// The kernel measured fastest on `cpu` among those it runs: bestScanKernel() on this CPU.
[[nodiscard]] ScanKernel preferredKernel(const CpuReport& cpu) noexcept;

// Runs findScalar's, or the kernel's loop where this CPU can run it, otherwise bestScanKernel()'s. A
// plan without an anchor matches at `from`.
const std::uint8_t* findFirst(ScanKernel kernel, const Plan& plan, const std::uint8_t* base, std::size_t size,
                              std::size_t from) noexcept;

// found[i] becomes the lowest match of plans[i] in [base, base + size), or nullptr, for any number
// of plans of any length: with the kernel's one-pass loop where this CPU can run it, otherwise
// bestScanKernel()'s. A plan without an anchor matches at base.
void findEach(ScanKernel kernel, const Plan* plans, std::size_t count, const std::uint8_t* base,
              std::size_t size, const std::uint8_t** found) noexcept;

} // namespace SDK::Scan
