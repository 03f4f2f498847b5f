// Which kernel runs: what cpuid and XCR0 must say for each vector kernel, the one measured fastest
// per CPU, the choice against what the operating system reports, and a kernel the CPU cannot run.
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scan/plan.hpp"
#include "scan_test_support.hpp"
#include "sdk/engine_patterns.hpp"
#include "sdk/pattern_scan.hpp"

namespace {

using SDK::ScanKernel;
using SDK::Scan::CpuReport;

// The bits as the kernels' choice names them; AgreesWithTheCpuFlagsTheOperatingSystemReports holds
// them against what the operating system says of this CPU.
using SDK::Scan::kAvx;
using SDK::Scan::kAvx2;
using SDK::Scan::kAvx512BW;
using SDK::Scan::kAvx512F;
using SDK::Scan::kAvx512Vbmi;
using SDK::Scan::kOsxsave;

TEST(KernelChoice, Avx2NeedsTheInstructionsAndTheOperatingSystemSavingYmm) {
    const CpuReport full{kOsxsave | kAvx, kAvx2, 0x07};
    EXPECT_TRUE(SDK::Scan::avx2Usable(full));
    EXPECT_FALSE(SDK::Scan::avx2Usable(CpuReport{kOsxsave | kAvx, 0, 0x07}));     // no AVX2
    EXPECT_FALSE(SDK::Scan::avx2Usable(CpuReport{kOsxsave, kAvx2, 0x07}));        // no AVX
    EXPECT_FALSE(SDK::Scan::avx2Usable(CpuReport{kAvx, kAvx2, 0x07}));            // XSAVE not enabled
    EXPECT_FALSE(SDK::Scan::avx2Usable(CpuReport{kOsxsave | kAvx, kAvx2, 0x03})); // YMM not saved
    EXPECT_FALSE(SDK::Scan::avx2Usable(CpuReport{kOsxsave | kAvx, kAvx2, 0x05})); // XMM not saved
    EXPECT_FALSE(SDK::Scan::avx2Usable(CpuReport{}));
}

TEST(KernelChoice, Avx512NeedsFoundationByteWordAndByteShufflesAndTheOperatingSystemSavingZmm) {
    const std::uint32_t leaf7 = kAvx2 | kAvx512F | kAvx512BW;
    auto cpu = [](std::uint32_t leaf7Ebx, std::uint64_t xcr0, std::uint32_t leaf7Ecx = kAvx512Vbmi,
                  std::uint32_t leaf1Ecx = kOsxsave | kAvx) {
        return CpuReport{leaf1Ecx, leaf7Ebx, xcr0, false, 0, leaf7Ecx};
    };
    EXPECT_TRUE(SDK::Scan::avx512Usable(cpu(leaf7, 0xE7)));
    EXPECT_TRUE(SDK::Scan::avx512Usable(cpu(leaf7, 0x2FF)));
    EXPECT_FALSE(SDK::Scan::avx512Usable(cpu(kAvx2 | kAvx512F, 0xE7)));         // no BW
    EXPECT_FALSE(SDK::Scan::avx512Usable(cpu(kAvx2 | kAvx512BW, 0xE7)));        // no F
    EXPECT_FALSE(SDK::Scan::avx512Usable(cpu(leaf7, 0xE7, 0)));                 // no VBMI (Skylake-SP)
    EXPECT_FALSE(SDK::Scan::avx512Usable(cpu(leaf7, 0xE7, kAvx512Vbmi, kAvx))); // XSAVE not enabled
    // The operating system saves YMM only, or one of the three AVX-512 states is missing.
    for (const std::uint64_t xcr0 : {0x07u, 0x67u, 0xA7u, 0xC7u, 0xE1u}) {
        EXPECT_FALSE(SDK::Scan::avx512Usable(cpu(leaf7, xcr0))) << xcr0;
    }
}

TEST(KernelChoice, TheBestKernelIsTheOneMeasuredFastestNotTheWidest) {
    const std::uint32_t leaf7 = kAvx2 | kAvx512F | kAvx512BW;
    auto cpu = [](std::uint32_t leaf7Ebx, std::uint64_t xcr0, bool amd, std::uint32_t family) {
        return CpuReport{kOsxsave | kAvx, leaf7Ebx, xcr0, amd, family, kAvx512Vbmi};
    };
    EXPECT_EQ(SDK::Scan::preferredKernel(cpu(leaf7, 0xE7, true, 0x1A)), ScanKernel::Avx512); // Zen 5
    EXPECT_EQ(SDK::Scan::preferredKernel(cpu(leaf7, 0x07, true, 0x1A)), ScanKernel::Avx2);   // ZMM not saved
    EXPECT_EQ(SDK::Scan::preferredKernel(cpu(leaf7, 0xE7, true, 0x19)), ScanKernel::Avx2);   // Zen 4
    EXPECT_EQ(SDK::Scan::preferredKernel(cpu(leaf7, 0xE7, false, 0x06)), ScanKernel::Avx2);  // not measured
    EXPECT_EQ(SDK::Scan::preferredKernel(cpu(kAvx2, 0x07, true, 0x17)), ScanKernel::Avx2);
    EXPECT_EQ(SDK::Scan::preferredKernel(cpu(0, 0x07, false, 0x06)), ScanKernel::Sse2);
    EXPECT_EQ(SDK::Scan::preferredKernel(CpuReport{}), ScanKernel::Sse2);

    const ScanKernel best = SDK::bestScanKernel();
    EXPECT_TRUE(SDK::scanKernelSupported(best));
    EXPECT_TRUE(SDK::scanKernelSupported(ScanKernel::Scalar));
#if defined(__x86_64__) || defined(_M_X64)
    EXPECT_TRUE(SDK::scanKernelSupported(ScanKernel::Sse2));
    EXPECT_NE(best, ScanKernel::Scalar);
#endif
    std::set<std::string> names;
    for (const ScanKernel kernel : scantest::kAllKernels) {
        names.insert(SDK::scanKernelName(kernel));
    }
    EXPECT_EQ(names, (std::set<std::string>{"scalar", "sse2", "avx2", "avx512"}));
}

TEST(KernelChoice, AgreesWithTheCpuFlagsTheOperatingSystemReports) {
#if defined(__linux__) && defined(__x86_64__)
    // Linux lists a feature only where it has enabled its register state.
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    std::set<std::string> flags;
    std::string vendor;
    std::string family;
    while (std::getline(cpuinfo, line) && flags.empty()) {
        const std::string value = line.find(':') == std::string::npos ? "" : line.substr(line.find(':') + 2);
        if (line.rfind("vendor_id", 0) == 0) {
            vendor = value;
        } else if (line.rfind("cpu family", 0) == 0) {
            family = value;
        } else if (line.rfind("flags", 0) == 0) {
            std::istringstream words(value);
            for (std::string flag; words >> flag;) {
                flags.insert(flag);
            }
        }
    }
    ASSERT_FALSE(flags.empty());
    const bool avx512 =
        flags.contains("avx512f") && flags.contains("avx512bw") && flags.contains("avx512vbmi");
    EXPECT_EQ(SDK::scanKernelSupported(ScanKernel::Avx2), flags.contains("avx2"));
    EXPECT_EQ(SDK::scanKernelSupported(ScanKernel::Avx512), avx512);
    // AVX-512 by default only on the CPUs where it was measured fastest: AMD family 1Ah is 26.
    const ScanKernel expected = avx512 && vendor == "AuthenticAMD" && family == "26" ? ScanKernel::Avx512
                                : flags.contains("avx2")                             ? ScanKernel::Avx2
                                                                                     : ScanKernel::Sse2;
    EXPECT_EQ(SDK::bestScanKernel(), expected) << vendor << ", family " << family;
#else
    GTEST_SKIP() << "reads /proc/cpuinfo";
#endif
}

TEST(KernelChoice, AKernelTheCpuCannotRunGivesWayToTheBest) {
    std::vector<std::uint8_t> image(5000, 0x90);
    const std::vector<std::uint8_t> match = scantest::instance(SDK::kObjectTablePattern, 0x00);
    std::copy(match.begin(), match.end(), image.begin() + 4321);
    const SDK::PreparedPattern pattern(SDK::kObjectTablePattern);
    bool anyUnsupported = false;
    for (const ScanKernel kernel : scantest::kAllKernels) {
        EXPECT_EQ(pattern.find(image.data(), image.size(), kernel), image.data() + 4321)
            << SDK::scanKernelName(kernel);
        anyUnsupported = anyUnsupported || !SDK::scanKernelSupported(kernel);
    }
    if (!anyUnsupported) {
        GTEST_SKIP() << "this CPU runs every kernel";
    }
}

} // namespace
