// The pattern scan over the shared image and over its last MiB: each engine pattern, fast against
// the reference loop, and the fast scan (with each kernel) against memchr looking for a byte that is
// not there (about what memory, or the cache, allows); both patterns in one pass against two scans,
// and on every core against one, beside memchr on every core against one. The 100 MB image is far larger than
// the caches; the MiB is read from them after the first pass.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "comparison.hpp"
#include "reference_scan.hpp"
#include "sdk/engine_patterns.hpp"
#include "sdk/pattern_scan.hpp"

namespace {

using reference::MaskedBytes;
using reference::maskedBytes;
using SDK::ScanKernel;

constexpr std::size_t kSliceBytes = std::size_t{1} << 20;

constexpr ScanKernel kKernels[] = {ScanKernel::Avx512, ScanKernel::Avx2, ScanKernel::Sse2,
                                   ScanKernel::Scalar};

// What one row set walks: the whole image or its last MiB, with the lowest match of each pattern in
// it (kNoMatch: none).
struct Region {
    std::span<const std::uint8_t> bytes;
    std::size_t nameTableMatch = bench::Image::kNoMatch;
    std::size_t objectTableMatch = bench::Image::kNoMatch;
};

template <std::size_t N>
std::size_t lowestMatch(const SDK::Signature<N>& signature, std::span<const std::uint8_t> bytes) {
    const MaskedBytes form = maskedBytes(signature);
    const std::uint8_t* found =
        reference::scan(form.bytes.data(), form.mask.c_str(), bytes.data(), bytes.size());
    return found == nullptr ? bench::Image::kNoMatch : static_cast<std::size_t>(found - bytes.data());
}

enum class Extent { Image, Slice };

const Region& region(Extent extent) {
    static const Region whole = [] {
        const bench::Image& image = bench::image();
        return Region{image.code, image.nameTableMatch, image.objectTableMatch};
    }();
    static const Region slice = [] {
        const std::span<const std::uint8_t> code = bench::image().code;
        const std::span<const std::uint8_t> last = code.last(std::min(code.size(), kSliceBytes));
        return Region{last, lowestMatch(SDK::kNameTablePattern, last),
                      lowestMatch(SDK::kObjectTablePattern, last)};
    }();
    return extent == Extent::Image ? whole : slice;
}

// What a scan walks: up to the end of its match, or the whole region.
std::size_t bytesWalked(const Region& walked, std::size_t match, std::size_t length) {
    return match == bench::Image::kNoMatch ? walked.bytes.size() : match + length;
}

template <std::size_t N>
void fastScan(benchmark::State& state, const SDK::Signature<N>* signature, std::size_t Region::*match,
              Extent extent, ScanKernel kernel) {
    const Region& walked = region(extent);
    if (!SDK::scanKernelSupported(kernel)) {
        state.SkipWithError("this CPU cannot run the kernel");
        return;
    }
    const MaskedBytes form = maskedBytes(*signature);
    for (auto _ : state) {
        const std::uint8_t* found = SDK::scanForPattern(form.bytes.data(), form.mask.c_str(),
                                                        walked.bytes.data(), walked.bytes.size(), kernel);
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(bytesWalked(walked, walked.*match, N)));
}

template <std::size_t N>
void referenceScan(benchmark::State& state, const SDK::Signature<N>* signature, std::size_t Region::*match) {
    const Region& walked = region(Extent::Image);
    const MaskedBytes form = maskedBytes(*signature);
    for (auto _ : state) {
        const std::uint8_t* found =
            reference::scan(form.bytes.data(), form.mask.c_str(), walked.bytes.data(), walked.bytes.size());
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(bytesWalked(walked, walked.*match, N)));
}

// A copy of the image with its rarest byte value replaced, so that memchr for it walks everything.
struct AbsentByte {
    std::vector<std::uint8_t> buffer;
    std::uint8_t value = 0;
};

const AbsentByte& absentByte() {
    static const AbsentByte absent = [] {
        const bench::Image& image = bench::image();
        std::array<std::size_t, 256> counts{};
        for (const std::uint8_t b : image.code) {
            ++counts[b];
        }
        AbsentByte made;
        for (unsigned v = 1; v < 256; ++v) {
            if (counts[v] < counts[made.value]) {
                made.value = static_cast<std::uint8_t>(v);
            }
        }
        made.buffer.assign(image.code.begin(), image.code.end());
        for (std::uint8_t& b : made.buffer) {
            if (b == made.value) {
                b = static_cast<std::uint8_t>(made.value + 1);
            }
        }
        return made;
    }();
    return absent;
}

void memchrAbsent(benchmark::State& state, Extent extent) {
    const AbsentByte& absent = absentByte();
    const std::size_t size =
        extent == Extent::Image ? absent.buffer.size() : std::min(absent.buffer.size(), kSliceBytes);
    const std::uint8_t* begin = absent.buffer.data() + absent.buffer.size() - size;
    for (auto _ : state) {
        const void* found = std::memchr(begin, absent.value, size);
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}

// memchr as above over the whole image, split into as many parts as findEach makes on every core
// (the hardware threads, at most 8), each part on a thread of its own: what memory allows all cores
// together, the ceiling of the all-cores row.
void memchrAllCores(benchmark::State& state) {
    const AbsentByte& absent = absentByte();
    const std::size_t parts = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
    const std::size_t size = absent.buffer.size();
    const std::size_t share = size / parts;
    for (auto _ : state) {
        std::vector<std::thread> threads;
        for (std::size_t k = 1; k < parts; ++k) {
            threads.emplace_back([&absent, k, share, parts, size] {
                const std::size_t length = k + 1 == parts ? size - k * share : share;
                const void* found = std::memchr(absent.buffer.data() + k * share, absent.value, length);
                benchmark::DoNotOptimize(found);
            });
        }
        const void* found = std::memchr(absent.buffer.data(), absent.value, share);
        benchmark::DoNotOptimize(found);
        for (std::thread& thread : threads) {
            thread.join();
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}

// Both engine patterns over the whole image: in one findEach pass, or by two finds one after the
// other. Both walk the whole image (the matches lie near its end).
enum class Both { OnePass, TwoScans };

void bothPatterns(benchmark::State& state, Both how, ScanKernel kernel, unsigned threads) {
    const Region& walked = region(Extent::Image);
    if (!SDK::scanKernelSupported(kernel)) {
        state.SkipWithError("this CPU cannot run the kernel");
        return;
    }
    const SDK::PreparedPattern patterns[] = {SDK::PreparedPattern(SDK::kNameTablePattern),
                                             SDK::PreparedPattern(SDK::kObjectTablePattern)};
    const std::uint8_t* base = walked.bytes.data();
    const std::size_t size = walked.bytes.size();
    for (auto _ : state) {
        if (how == Both::OnePass) {
            std::vector<const std::uint8_t*> found = SDK::findEach(patterns, base, size, {kernel, threads});
            benchmark::DoNotOptimize(found.data());
        } else {
            const std::uint8_t* name = patterns[0].find(base, size, kernel);
            const std::uint8_t* object = patterns[1].find(base, size, kernel);
            benchmark::DoNotOptimize(name);
            benchmark::DoNotOptimize(object);
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}

constexpr auto kNameMatch = &Region::nameTableMatch;
constexpr auto kObjectMatch = &Region::objectTableMatch;

const bool registered = [] {
    const auto* name = &SDK::kNameTablePattern;
    const auto* object = &SDK::kObjectTablePattern;
    const ScanKernel best = SDK::bestScanKernel();
    auto fast = [](const std::string& label, auto* signature, auto match, Extent extent, ScanKernel kernel) {
        benchmark::RegisterBenchmark(label.c_str(), [=](benchmark::State& state) {
            fastScan(state, signature, match, extent, kernel);
        })->Unit(benchmark::kMillisecond);
    };
    auto reference = [](const char* label, auto* signature, auto match) {
        benchmark::RegisterBenchmark(label, [=](benchmark::State& state) {
            referenceScan(state, signature, match);
        })->Unit(benchmark::kMillisecond);
    };
    for (const auto& [prefix, extent] :
         {std::pair{"scan", Extent::Image}, std::pair{"scan-1MiB", Extent::Slice}}) {
        const std::string at = prefix;
        fast(at + "/name-table/fast", name, kNameMatch, extent, best);
        if (extent == Extent::Image) {
            reference("scan/name-table/reference", name, kNameMatch);
        }
        fast(at + "/object-table/fast", object, kObjectMatch, extent, best);
        if (extent == Extent::Image) {
            reference("scan/object-table/reference", object, kObjectMatch);
        }
        // Every kernel this CPU runs, the one in use included, to show that it is the fastest.
        for (const ScanKernel kernel : kKernels) {
            if (SDK::scanKernelSupported(kernel)) {
                const std::string suffix = SDK::scanKernelName(kernel);
                fast(at + "/name-table/" + suffix, name, kNameMatch, extent, kernel);
                fast(at + "/object-table/" + suffix, object, kObjectMatch, extent, kernel);
            }
        }
    }
    auto both = [](const char* label, Both how, ScanKernel kernel, unsigned threads, bool realTime) {
        auto* run = benchmark::RegisterBenchmark(label, [=](benchmark::State& state) {
                        bothPatterns(state, how, kernel, threads);
                    })->Unit(benchmark::kMillisecond);
        if (realTime) {
            run->UseRealTime();
        }
    };
    both("scan/both/one-pass", Both::OnePass, best, 1, false);
    both("scan/both/two-scans", Both::TwoScans, best, 1, false);
    // Threads are measured by the clock on the wall: CPU time counts only the calling thread's.
    both("scan/both/one-pass/real-time", Both::OnePass, best, 1, true);
    both("scan/both/all-cores/real-time", Both::OnePass, best, 0, true);
    benchmark::RegisterBenchmark("memchr/absent-byte", memchrAbsent, Extent::Image)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("memchr-1MiB/absent-byte", memchrAbsent, Extent::Slice)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("memchr/one-core/real-time", memchrAbsent, Extent::Image)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("memchr/all-cores/real-time", memchrAllCores)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();

    using bench::Measure;
    bench::addComparison({"scan, name table pattern", "scan/name-table/fast", "scan/name-table/reference",
                          Measure::Throughput});
    bench::addComparison({"scan, object table pattern", "scan/object-table/fast",
                          "scan/object-table/reference", Measure::Throughput});
    bench::addComparison({"scan, name table pattern / memchr", "scan/name-table/fast", "memchr/absent-byte",
                          Measure::Throughput});
    bench::addComparison({"scan, object table pattern / memchr", "scan/object-table/fast",
                          "memchr/absent-byte", Measure::Throughput});
    bench::addComparison({"scan 1 MiB, name table pattern / memchr", "scan-1MiB/name-table/fast",
                          "memchr-1MiB/absent-byte", Measure::Throughput});
    bench::addComparison({"scan 1 MiB, object table pattern / memchr", "scan-1MiB/object-table/fast",
                          "memchr-1MiB/absent-byte", Measure::Throughput});
    bench::addComparison({"both patterns: one pass vs two scans", "scan/both/one-pass", "scan/both/two-scans",
                          Measure::Throughput});
    bench::addComparison({"both patterns, one pass / memchr", "scan/both/one-pass", "memchr/absent-byte",
                          Measure::Throughput});
    bench::addComparison({"both patterns: all cores vs one", "scan/both/all-cores/real-time",
                          "scan/both/one-pass/real-time", Measure::Throughput});
    bench::addComparison({"memchr: all cores vs one", "memchr/all-cores/real-time",
                          "memchr/one-core/real-time", Measure::Throughput});
    for (const ScanKernel kernel : kKernels) {
        if (SDK::scanKernelSupported(kernel)) {
            const std::string suffix = SDK::scanKernelName(kernel);
            bench::addComparison({"scan " + suffix + ", object table pattern / memchr",
                                  "scan/object-table/" + suffix, "memchr/absent-byte", Measure::Throughput});
            bench::addComparison({"scan 1 MiB " + suffix + ", object table pattern / memchr",
                                  "scan-1MiB/object-table/" + suffix, "memchr-1MiB/absent-byte",
                                  Measure::Throughput});
        }
    }
    return true;
}();

} // namespace
