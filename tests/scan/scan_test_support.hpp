// Helpers shared by the scan tests: the patterns in the form scanForPattern takes, the kernels to
// run every test under, and images that end (or begin) at an inaccessible page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reference_scan.hpp"
#include "scan/plan.hpp"
#include "sdk/pattern_scan.hpp"
#include "sdk/signature.hpp"

namespace SDK {
// For GoogleTest's messages.
inline void PrintTo(ScanKernel kernel, std::ostream* out) {
    *out << scanKernelName(kernel);
}
} // namespace SDK

namespace scantest {

using reference::MaskedBytes;
using reference::maskedBytes;

// Bytes that match `signature`, with `wildcard` at every wildcard position.
template <std::size_t N>
std::vector<std::uint8_t> instance(const SDK::Signature<N>& signature, std::uint8_t wildcard) {
    std::vector<std::uint8_t> bytes;
    for (const SDK::PatternByte& element : signature.elements) {
        bytes.push_back(element.fixed ? element.value : wildcard);
    }
    return bytes;
}

inline constexpr SDK::ScanKernel kAllKernels[] = {SDK::ScanKernel::Scalar, SDK::ScanKernel::Sse2,
                                                  SDK::ScanKernel::Avx2, SDK::ScanKernel::Avx512};

inline std::string kernelTestName(const testing::TestParamInfo<SDK::ScanKernel>& info) {
    return SDK::scanKernelName(info.param);
}

// A fixture whose tests run once per kernel, naming it in each scan; instantiated with kAllKernels, so
// that a kernel this CPU cannot run shows as skipped.
class EveryKernel : public testing::TestWithParam<SDK::ScanKernel> {
protected:
    void SetUp() override {
        if (!SDK::scanKernelSupported(GetParam())) {
            GTEST_SKIP() << "this CPU cannot run the " << SDK::scanKernelName(GetParam()) << " kernel";
        }
    }
};

// scanForPattern with the kernel first, where the tests name it.
inline const std::uint8_t* scanWith(SDK::ScanKernel kernel, const std::uint8_t* pattern, const char* mask,
                                    const std::uint8_t* base, std::size_t size) {
    return SDK::scanForPattern(pattern, mask, base, size, kernel);
}

// A plan for the kernels' loops, built here from the documented form rather than by the SDK: the
// loops must find every match whichever two fixed bytes are the anchors, not only the rarest.
class TestPlan {
public:
    // Anchors at the `first`-th and `second`-th fixed byte (counted modulo the fixed bytes).
    TestPlan(const std::vector<std::uint8_t>& pattern, const std::string& mask, std::size_t first,
             std::size_t second) {
        std::vector<std::size_t> fixed;
        for (std::size_t i = 0; i < mask.size(); ++i) {
            if (mask[i] == 'x') {
                fixed.push_back(i);
            }
        }
        plan_.length = mask.size();
        plan_.covered = mask.size();
        plan_.anchored = !fixed.empty();
        if (plan_.anchored) {
            plan_.anchor0 = fixed[first % fixed.size()];
            plan_.anchor1 = fixed[second % fixed.size()];
            plan_.byte0 = pattern[plan_.anchor0];
            plan_.byte1 = pattern[plan_.anchor1];
        }
        plan_.wordCount = (mask.size() + 7) / 8;
        words_.assign(2 * plan_.wordCount, 0);
        for (std::size_t k = 0; k < plan_.wordCount; ++k) {
            const std::size_t begin =
                mask.size() < 8 ? 0 : (k + 1 == plan_.wordCount ? mask.size() - 8 : 8 * k);
            std::uint8_t flipped[8] = {};
            std::uint8_t fixedMask[8] = {};
            for (std::size_t b = 0; b < 8 && begin + b < mask.size(); ++b) {
                if (mask[begin + b] == 'x') {
                    flipped[b] = static_cast<std::uint8_t>(~pattern[begin + b]);
                    fixedMask[b] = 0xFF;
                }
            }
            std::memcpy(&words_[2 * k], flipped, 8);
            std::memcpy(&words_[2 * k + 1], fixedMask, 8);
        }
        plan_.words = words_.data();
    }
    TestPlan(const TestPlan& other) : plan_(other.plan_), words_(other.words_) {
        plan_.words = words_.data();
    }
    TestPlan& operator=(const TestPlan&) = delete;

    const SDK::Scan::Plan& plan() const { return plan_; }

private:
    SDK::Scan::Plan plan_;
    std::vector<std::uint64_t> words_;
};

// `size` writable bytes directly before (or after) a page that cannot be touched: a scan that reads
// one byte past the image's end (or before its start) crashes the test.
class GuardedImage {
public:
    enum class Guard { AfterEnd, BeforeStart };

    GuardedImage(std::size_t size, Guard guard);
    ~GuardedImage();
    GuardedImage(const GuardedImage&) = delete;
    GuardedImage& operator=(const GuardedImage&) = delete;

    std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    void* mapping_ = nullptr;
    std::size_t mappingSize_ = 0;
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

// The vector kernels' shared loop at the widest kernel's geometry (64 start offsets a compare, four
// compares a step, 64-byte alignment), with compares in plain C++: where the CPU has no AVX-512, this
// is what runs the walk the AVX-512 kernel takes. The prefetch distance decides which images take
// the prefetching part of the walk.
template <std::size_t PrefetchAhead> struct PortableLanes64 {
    static constexpr std::size_t kWidth = 64;
    static constexpr std::size_t kPerBlock = 4;
    static constexpr std::size_t kPrefetchAhead = PrefetchAhead;
    using Hits = std::uint64_t;

    explicit PortableLanes64(const SDK::Scan::Plan& plan) : want0(plan.byte0), want1(plan.byte1) {}

    SDK_IMAGE_READER Hits hits(const std::uint8_t* anchor0, const std::uint8_t* anchor1) const {
        Hits hits = 0;
        for (std::size_t k = 0; k < kWidth; ++k) {
            hits |= static_cast<Hits>(anchor0[k] == want0 && anchor1[k] == want1) << k;
        }
        return hits;
    }
    static Hits either(Hits a, Hits b) { return a | b; }
    static bool any(Hits hits) { return hits != 0; }
    static std::uint64_t bits(Hits hits) { return hits; }

    std::uint8_t want0;
    std::uint8_t want1;
};

} // namespace scantest
