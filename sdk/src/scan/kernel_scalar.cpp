// The portable kernel: memchr finds the next place of the first anchor byte.
#include <cstring>

#include "scan/kernel_common.hpp"

namespace SDK::Scan {

namespace {

// memchr; in an AddressSanitizer build a plain loop, since the interceptor of memchr would check the
// span it searched.
SDK_IMAGE_READER const std::uint8_t* findByte(const std::uint8_t* p, std::uint8_t byte,
                                              std::size_t count) noexcept {
#if defined(SDK_ADDRESS_SANITIZER)
    for (std::size_t i = 0; i < count; ++i) {
        if (p[i] == byte) {
            return p + i;
        }
    }
    return nullptr;
#else
    return static_cast<const std::uint8_t*>(std::memchr(p, byte, count));
#endif
}

} // namespace

SDK_IMAGE_READER const std::uint8_t* findScalar(const Plan& plan, const std::uint8_t* base, std::size_t size,
                                                std::size_t from) noexcept {
    const std::size_t starts = size - plan.length + 1;
    const std::uint8_t* end = base + size;
    const std::uint8_t* lane0 = base + plan.anchor0;
    std::size_t at = from;
    while (at < starts) {
        const std::uint8_t* hit = findByte(lane0 + at, plan.byte0, starts - at);
        if (hit == nullptr) {
            return nullptr;
        }
        at = static_cast<std::size_t>(hit - lane0);
        if (base[at + plan.anchor1] == plan.byte1 && verify(plan, base + at, end)) {
            return base + at;
        }
        ++at;
    }
    return nullptr;
}

// memchr finds one byte value at a time, so each plan walks the image on its own.
SDK_IMAGE_READER void findEachScalar(const Plan* plans, std::size_t count, const std::uint8_t* base,
                                     std::size_t size, const std::uint8_t** found) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        found[i] = findScalar(plans[i], base, size, 0);
    }
}

} // namespace SDK::Scan
