// Which kernels this CPU and operating system can run, and the one a scan runs.
//
// Each kernel walks the start offsets [from, size - L] in order and returns the first verified one,
// so all of them give the reference byte loop's answer; they differ only in how many start offsets
// one step filters by the two anchor bytes. The vector kernels' instructions are compiled for their
// own instruction set in their own files, and run only once cpuid says the CPU has them and XCR0
// says the operating system saves their registers.
#include "scan/kernel_common.hpp"

#if defined(SDK_SCAN_X86)
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#else
#include <cpuid.h>
#endif
#endif

namespace SDK::Scan {

namespace {

bool osSaves(const CpuReport& cpu, std::uint64_t state) noexcept {
    return (cpu.leaf1Ecx & kOsxsave) != 0 && (cpu.xcr0 & state) == state;
}

#if defined(SDK_SCAN_X86)

struct Registers {
    std::uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

Registers cpuid(std::uint32_t leaf, std::uint32_t subleaf) noexcept {
    Registers r;
#if defined(_MSC_VER) && !defined(__clang__)
    int info[4] = {};
    __cpuidex(info, static_cast<int>(leaf), static_cast<int>(subleaf));
    r = {static_cast<std::uint32_t>(info[0]), static_cast<std::uint32_t>(info[1]),
         static_cast<std::uint32_t>(info[2]), static_cast<std::uint32_t>(info[3])};
#else
    unsigned a = 0, b = 0, c = 0, d = 0;
    __cpuid_count(leaf, subleaf, a, b, c, d);
    r = {a, b, c, d};
#endif
    return r;
}

// Only called where cpuid reports OSXSAVE, so the instruction exists and is enabled.
#if defined(__GNUC__) || defined(__clang__)
__attribute__((target("xsave")))
#endif
std::uint64_t
readXcr0() noexcept {
    return static_cast<std::uint64_t>(_xgetbv(0));
}

CpuReport readCpu() noexcept {
    CpuReport cpu;
    const Registers vendor = cpuid(0, 0);
    const std::uint32_t maxLeaf = vendor.eax;
    cpu.amd =
        vendor.ebx == 0x68747541 && vendor.edx == 0x69746E65 && vendor.ecx == 0x444D4163; // AuthenticAMD
    if (maxLeaf >= 1) {
        const Registers leaf1 = cpuid(1, 0);
        cpu.leaf1Ecx = leaf1.ecx;
        const std::uint32_t base = (leaf1.eax >> 8) & 0xF;
        cpu.family = base == 0xF ? base + ((leaf1.eax >> 20) & 0xFF) : base;
    }
    if (maxLeaf >= 7) {
        const Registers leaf7 = cpuid(7, 0);
        cpu.leaf7Ebx = leaf7.ebx;
        cpu.leaf7Ecx = leaf7.ecx;
    }
    if ((cpu.leaf1Ecx & kOsxsave) != 0) {
        cpu.xcr0 = readXcr0();
    }
    return cpu;
}

#endif // SDK_SCAN_X86

} // namespace

bool avx2Usable(const CpuReport& cpu) noexcept {
    return (cpu.leaf1Ecx & kAvx) != 0 && (cpu.leaf7Ebx & kAvx2) != 0 && osSaves(cpu, kYmmState);
}

bool avx512Usable(const CpuReport& cpu) noexcept {
    const std::uint32_t needed = kAvx512F | kAvx512BW;
    return (cpu.leaf7Ebx & needed) == needed && (cpu.leaf7Ecx & kAvx512Vbmi) != 0 && osSaves(cpu, kZmmState);
}

// Which kernel is fastest rests on measurements (bench/README.md, "Kernels measured"), not on width:
// - AMD family 1Ah (Zen 5), the kernel that cuts anchors from aligned lines: AVX-512 1.5x AVX2 over
//   1 MiB in cache and 1.6-1.7x over 100 MB, where it keeps about memchr's pace: AVX-512.
// - AMD family 19h (Zen 4) with AVX-512: AVX2 10-20% ahead over 100 MB, AVX-512 level at best: AVX2.
//   That was the kernel before it cut lines (split loads); the present one is not measured there.
// - Any other CPU with AVX-512: not measured, so not guessed at: AVX2, the kernel measured fastest
//   on every other CPU with AVX2.
ScanKernel preferredKernel(const CpuReport& cpu) noexcept {
    constexpr std::uint32_t kZen5 = 0x1A;
    if (avx512Usable(cpu) && cpu.amd && cpu.family == kZen5) {
        return ScanKernel::Avx512;
    }
    if (avx2Usable(cpu)) {
        return ScanKernel::Avx2;
    }
#if defined(SDK_SCAN_X86)
    return ScanKernel::Sse2;
#else
    return ScanKernel::Scalar;
#endif
}

namespace {

using FindFirstKernel = const std::uint8_t* (*)(const Plan&, const std::uint8_t*, std::size_t,
                                                std::size_t) noexcept;
using FindEachKernel = void (*)(const Plan*, std::size_t, const std::uint8_t*, std::size_t,
                                const std::uint8_t**) noexcept;

bool anyCpu(const CpuReport&) noexcept {
    return true;
}

// A kernel: its name, which CPUs run it and its two entry points; a kernel this architecture does
// not build has none of the three.
struct Kernel {
    ScanKernel kernel;
    const char* name;
    bool (*runsOn)(const CpuReport&) noexcept = nullptr;
    FindFirstKernel findFirst = nullptr;
    FindEachKernel findEach = nullptr;
};

constexpr Kernel kKernels[] = {
    {ScanKernel::Scalar, "scalar", anyCpu, findScalar, findEachScalar},
#if defined(SDK_SCAN_X86)
    {ScanKernel::Sse2, "sse2", anyCpu, findSse2, findEachSse2},
    {ScanKernel::Avx2, "avx2", avx2Usable, findAvx2, findEachAvx2},
    {ScanKernel::Avx512, "avx512", avx512Usable, findAvx512, findEachAvx512},
#else
    {ScanKernel::Sse2, "sse2"},
    {ScanKernel::Avx2, "avx2"},
    {ScanKernel::Avx512, "avx512"},
#endif
};

const Kernel* kernelOf(ScanKernel kernel) noexcept {
    for (const Kernel& entry : kKernels) {
        if (entry.kernel == kernel) {
            return &entry;
        }
    }
    return nullptr;
}

const CpuReport& thisCpu() noexcept {
#if defined(SDK_SCAN_X86)
    static const CpuReport cpu = readCpu();
#else
    static const CpuReport cpu{};
#endif
    return cpu;
}

// The kernel, or where this CPU cannot run it bestScanKernel().
const Kernel& runnable(ScanKernel kernel) noexcept {
    return *kernelOf(scanKernelSupported(kernel) ? kernel : bestScanKernel());
}

} // namespace

} // namespace SDK::Scan

namespace SDK {

bool scanKernelSupported(ScanKernel kernel) noexcept {
    const Scan::Kernel* entry = Scan::kernelOf(kernel);
    return entry != nullptr && entry->runsOn != nullptr && entry->runsOn(Scan::thisCpu());
}

ScanKernel bestScanKernel() noexcept {
    static const ScanKernel best = Scan::preferredKernel(Scan::thisCpu());
    return best;
}

const char* scanKernelName(ScanKernel kernel) noexcept {
    const Scan::Kernel* entry = Scan::kernelOf(kernel);
    return entry != nullptr ? entry->name : "?";
}

} // namespace SDK

namespace SDK::Scan {

const std::uint8_t* findFirst(ScanKernel kernel, const Plan& plan, const std::uint8_t* base, std::size_t size,
                              std::size_t from) noexcept {
    if (!plan.anchored) {
        return base + from; // an all-wildcard pattern matches at every start offset
    }
    return runnable(kernel).findFirst(plan, base, size, from);
}

void findEach(ScanKernel kernel, const Plan* plans, std::size_t count, const std::uint8_t* base,
              std::size_t size, const std::uint8_t** found) noexcept {
    const FindEachKernel run = runnable(kernel).findEach;
    // The plans a kernel walks for, by their place in `plans`, kMaxOnePass at a time.
    Plan group[kMaxOnePass];
    std::size_t where[kMaxOnePass];
    const std::uint8_t* groupFound[kMaxOnePass];
    std::size_t grouped = 0;
    auto flush = [&] {
        if (grouped != 0) {
            run(group, grouped, base, size, groupFound);
            for (std::size_t k = 0; k < grouped; ++k) {
                found[where[k]] = groupFound[k];
            }
            grouped = 0;
        }
    };
    for (std::size_t i = 0; i < count; ++i) {
        if (base == nullptr || plans[i].length == 0 || plans[i].length > size) {
            found[i] = nullptr;
        } else if (!plans[i].anchored) {
            found[i] = base; // an all-wildcard pattern matches at the first start offset
        } else {
            group[grouped] = plans[i];
            where[grouped++] = i;
            if (grouped == kMaxOnePass) {
                flush();
            }
        }
    }
    flush();
}

} // namespace SDK::Scan
