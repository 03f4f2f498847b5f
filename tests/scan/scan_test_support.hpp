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
#include "scan/plan.hpp"
#include "sdk/signature.hpp"

namespace SDK::Scan {
// For GoogleTest's messages.
inline void PrintTo(Kernel kernel, std::ostream* out) {
    *out << kernelName(kernel);
}
} // namespace SDK::Scan

namespace ScanTest {

using Reference::MaskedBytes;
using Reference::maskedBytes;

// Bytes that match `signature`, with `wildcard` at every wildcard position.
template <std::size_t N>
std::vector<std::uint8_t> instance(const SDK::Signature<N>& signature, std::uint8_t wildcard) {
    std::vector<std::uint8_t> bytes;
    for (const SDK::PatternByte& element : signature.elements) {
        bytes.push_back(element.fixed ? element.value : wildcard);
    }
    return bytes;
}

// Every kernel this CPU can run.
inline std::vector<SDK::Scan::Kernel> supportedKernels() {
    std::vector<SDK::Scan::Kernel> kernels;
    for (SDK::Scan::Kernel kernel :
         {SDK::Scan::Kernel::Scalar, SDK::Scan::Kernel::Sse2, SDK::Scan::Kernel::Avx2}) {
        if (SDK::Scan::kernelSupported(kernel)) {
            kernels.push_back(kernel);
        }
    }
    return kernels;
}

inline std::string kernelTestName(const testing::TestParamInfo<SDK::Scan::Kernel>& info) {
    return SDK::Scan::kernelName(info.param);
}

// A fixture whose tests run once per kernel, through the public interface.
class EveryKernel : public testing::TestWithParam<SDK::Scan::Kernel> {
protected:
    void SetUp() override { previous_ = SDK::Scan::useKernel(GetParam()); }
    void TearDown() override { SDK::Scan::useKernel(previous_); }

private:
    SDK::Scan::Kernel previous_ = SDK::Scan::Kernel::Scalar;
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

} // namespace ScanTest
