// The pattern scan over the shared image: each engine pattern, fast against the reference loop, and
// the fast scan against memchr looking for a byte that is not there (about what memory allows).
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "comparison.hpp"
#include "reference_scan.hpp"
#include "scan/plan.hpp"
#include "sdk/pattern_scan.hpp"

namespace {

using Reference::MaskedBytes;
using Reference::maskedBytes;

// What a scan walks: up to the end of its match, or the whole image.
std::size_t bytesWalked(std::size_t match, std::size_t length) {
    const Bench::Image& image = Bench::image();
    return match == Bench::Image::npos ? image.code.size() : match + length;
}

template <std::size_t N>
void fastScan(benchmark::State& state, const SDK::Signature<N>* signature, std::size_t Bench::Image::*match,
              SDK::Scan::Kernel kernel) {
    const Bench::Image& image = Bench::image();
    if (!SDK::Scan::kernelSupported(kernel)) {
        state.SkipWithError("this CPU cannot run the kernel");
        return;
    }
    const SDK::Scan::Kernel previous = SDK::Scan::useKernel(kernel);
    const MaskedBytes form = maskedBytes(*signature);
    for (auto _ : state) {
        const std::uint8_t* found =
            SDK::scanForPattern(form.bytes.data(), form.mask.c_str(), image.code.data(), image.code.size());
        benchmark::DoNotOptimize(found);
    }
    SDK::Scan::useKernel(previous);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytesWalked(image.*match, N)));
}

template <std::size_t N>
void referenceScan(benchmark::State& state, const SDK::Signature<N>* signature,
                   std::size_t Bench::Image::*match) {
    const Bench::Image& image = Bench::image();
    const MaskedBytes form = maskedBytes(*signature);
    for (auto _ : state) {
        const std::uint8_t* found =
            Reference::scan(form.bytes.data(), form.mask.c_str(), image.code.data(), image.code.size());
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytesWalked(image.*match, N)));
}

// A copy of the image with its rarest byte value replaced, so that memchr for it walks everything.
struct AbsentByte {
    std::vector<std::uint8_t> buffer;
    std::uint8_t value = 0;
};

const AbsentByte& absentByte() {
    static const AbsentByte absent = [] {
        const Bench::Image& image = Bench::image();
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

void memchrAbsent(benchmark::State& state) {
    const AbsentByte& absent = absentByte();
    for (auto _ : state) {
        const void* found = std::memchr(absent.buffer.data(), absent.value, absent.buffer.size());
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(absent.buffer.size()));
}

using SDK::Scan::Kernel;

constexpr auto kNameMatch = &Bench::Image::nameTableMatch;
constexpr auto kObjectMatch = &Bench::Image::objectTableMatch;

const bool registered = [] {
    const auto* name = &SDK::kNameTablePattern;
    const auto* object = &SDK::kObjectTablePattern;
    const Kernel best = SDK::Scan::bestKernel();
    auto fast = [](const char* label, auto* signature, auto match, Kernel kernel) {
        benchmark::RegisterBenchmark(label, [=](benchmark::State& state) {
            fastScan(state, signature, match, kernel);
        })->Unit(benchmark::kMillisecond);
    };
    auto reference = [](const char* label, auto* signature, auto match) {
        benchmark::RegisterBenchmark(label, [=](benchmark::State& state) {
            referenceScan(state, signature, match);
        })->Unit(benchmark::kMillisecond);
    };
    fast("scan/name-table/fast", name, kNameMatch, best);
    reference("scan/name-table/reference", name, kNameMatch);
    fast("scan/object-table/fast", object, kObjectMatch, best);
    reference("scan/object-table/reference", object, kObjectMatch);
    // The other kernels, for comparison with the one in use.
    for (const Kernel kernel : {Kernel::Sse2, Kernel::Scalar}) {
        if (kernel != best && SDK::Scan::kernelSupported(kernel)) {
            const std::string suffix = SDK::Scan::kernelName(kernel);
            benchmark::RegisterBenchmark(("scan/name-table/" + suffix).c_str(), [=](benchmark::State& state) {
                fastScan(state, name, kNameMatch, kernel);
            })->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(
                ("scan/object-table/" + suffix).c_str(),
                [=](benchmark::State& state) { fastScan(state, object, kObjectMatch, kernel); })
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::RegisterBenchmark("memchr/absent-byte", memchrAbsent)->Unit(benchmark::kMillisecond);

    using Bench::Measure;
    Bench::addComparison({"scan, name table pattern", "scan/name-table/fast", "scan/name-table/reference",
                          Measure::Throughput});
    Bench::addComparison({"scan, object table pattern", "scan/object-table/fast",
                          "scan/object-table/reference", Measure::Throughput});
    Bench::addComparison({"scan, name table pattern / memchr", "scan/name-table/fast", "memchr/absent-byte",
                          Measure::Throughput});
    Bench::addComparison({"scan, object table pattern / memchr", "scan/object-table/fast",
                          "memchr/absent-byte", Measure::Throughput});
    return true;
}();

} // namespace
