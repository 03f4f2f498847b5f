// Helpers shared by the scan tests: the patterns in the form scanForPattern takes, the kernels to
// run every test under, and images that end (or begin) at an inaccessible page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reference_scan.hpp"
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

} // namespace scantest
