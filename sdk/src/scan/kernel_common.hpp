// What every kernel shares: turning candidate bits into a verified match, the last few start offsets,
// and the compiler's view of instruction sets.
//
// A kernel file includes this header first, then opens its instruction set's region
// (SDK_SCAN_TARGET_BEGIN) and includes skeleton.hpp inside it: everything defined in the region,
// the skeleton's templates included, is compiled for that instruction set, while what this header
// defines stays at the baseline that every x86-64 CPU runs. MSVC needs no regions: its intrinsics
// are usable anywhere.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "scan/plan.hpp"
#include "sdk/sanitizer.hpp"

#if defined(__x86_64__) || defined(_M_X64)
#define SDK_SCAN_X86 1
#include <immintrin.h>
#endif

#define SDK_SCAN_PRAGMA(text) _Pragma(#text)
#if defined(__clang__)
#define SDK_SCAN_TARGET_BEGIN(isa)                                                                           \
    SDK_SCAN_PRAGMA(clang attribute push(__attribute__((target(isa))), apply_to = function))
#define SDK_SCAN_TARGET_END() SDK_SCAN_PRAGMA(clang attribute pop)
#elif defined(__GNUC__)
#define SDK_SCAN_TARGET_BEGIN(isa) SDK_SCAN_PRAGMA(GCC push_options) SDK_SCAN_PRAGMA(GCC target(isa))
#define SDK_SCAN_TARGET_END() SDK_SCAN_PRAGMA(GCC pop_options)
#else
#define SDK_SCAN_TARGET_BEGIN(isa)
#define SDK_SCAN_TARGET_END()
#endif

#if defined(_MSC_VER)
#define SDK_SCAN_NOINLINE __declspec(noinline)
#define SDK_SCAN_INLINE __forceinline
#elif defined(__GNUC__) || defined(__clang__)
#define SDK_SCAN_NOINLINE __attribute__((noinline))
#define SDK_SCAN_INLINE inline __attribute__((always_inline))
#else
#define SDK_SCAN_NOINLINE
#define SDK_SCAN_INLINE inline
#endif

namespace SDK::Scan {

// Bit k of `bits` stands for start offset `at + k`; returns the first that verifies.
SDK_IMAGE_READER inline const std::uint8_t* firstVerified(const Plan& plan, const std::uint8_t* base,
                                                          const std::uint8_t* end, std::size_t at,
                                                          std::uint64_t bits) noexcept {
    while (bits != 0) {
        const std::uint8_t* candidate = base + at + static_cast<unsigned>(std::countr_zero(bits));
        if (verify(plan, candidate, end)) {
            return candidate;
        }
        bits &= bits - 1;
    }
    return nullptr;
}

// Start offsets [at, starts) one by one.
SDK_IMAGE_READER inline const std::uint8_t* scalarTail(const Plan& plan, const std::uint8_t* base,
                                                       std::size_t size, std::size_t at,
                                                       std::size_t starts) noexcept {
    const std::uint8_t* end = base + size;
    for (; at < starts; ++at) {
        if (base[at + plan.anchor0] == plan.byte0 && base[at + plan.anchor1] == plan.byte1 &&
            verify(plan, base + at, end)) {
            return base + at;
        }
    }
    return nullptr;
}

SDK_IMAGE_READER inline void prefetchLine([[maybe_unused]] const std::uint8_t* p) noexcept {
#if defined(SDK_SCAN_X86)
    _mm_prefetch(reinterpret_cast<const char*>(p), _MM_HINT_T0);
#endif
}

} // namespace SDK::Scan
