// brickwright-scan-timing: times the engine patterns' scan over a raw image file with each vector
// kernel this CPU runs, on one thread, with nothing but the standard library, so that the same
// program built by another compiler (the Windows tree's clang-cl, run under Wine) can be compared
// with the native build on the same bytes.
//
//   brickwright-scan-timing FILE [REPETITIONS [BYTES]]
//
// With BYTES, only the file's first BYTES are scanned: a slice small enough to stay in the cache times
// the compiled kernels alone, without the memory's own pace, which varies from one process to the
// next with where the image lands.
//
// Prints one line per kernel and way of scanning: the kernel, "both" (findEach with both patterns,
// one pass) or "name" (the name-table pattern alone), and the median time of the repetitions in
// microseconds; then the offsets found, so that the builds can be seen to agree.
#include "sdk/engine_patterns.hpp"
#include "sdk/pattern_scan.hpp"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

template <typename Scan> double medianMicroseconds(int repetitions, const Scan& scan) {
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        const auto start = std::chrono::steady_clock::now();
        scan();
        const auto end = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

long long offsetOf(const std::uint8_t* found, const std::uint8_t* base) {
    return found == nullptr ? -1 : static_cast<long long>(found - base);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: brickwright-scan-timing FILE [REPETITIONS [BYTES]]\n");
        return 2;
    }
    const int repetitions = argc >= 3 ? std::atoi(argv[2]) : 7;
    const long long slice = argc == 4 ? std::atoll(argv[3]) : 0;
    if (repetitions < 1 || slice < 0) {
        std::fprintf(stderr, "brickwright-scan-timing: REPETITIONS must be a whole number above 0, BYTES one "
                             "of 0 or more\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary | std::ios::ate);
    std::vector<std::uint8_t> image(in ? static_cast<std::size_t>(in.tellg()) : 0);
    in.seekg(0);
    if (!in || image.empty() ||
        !in.read(reinterpret_cast<char*>(image.data()), static_cast<std::streamsize>(image.size()))) {
        std::fprintf(stderr, "brickwright-scan-timing: cannot read %s\n", argv[1]);
        return 2;
    }
    if (slice > 0 && static_cast<unsigned long long>(slice) < image.size()) {
        image.resize(static_cast<std::size_t>(slice));
    }
    const SDK::PreparedPattern patterns[] = {SDK::PreparedPattern(SDK::kNameTablePattern),
                                             SDK::PreparedPattern(SDK::kObjectTablePattern)};
    const std::uint8_t* base = image.data();
    std::vector<const std::uint8_t*> found;
    for (const SDK::ScanKernel kernel :
         {SDK::ScanKernel::Avx512, SDK::ScanKernel::Avx2, SDK::ScanKernel::Sse2}) {
        if (!SDK::scanKernelSupported(kernel)) {
            continue;
        }
        const char* name = SDK::scanKernelName(kernel);
        const double both = medianMicroseconds(repetitions, [&] {
            found = SDK::findEach(patterns, base, image.size(), {kernel, 1});
        });
        std::printf("%s both %.1f\n", name, both);
        const std::uint8_t* one = nullptr;
        const double single =
            medianMicroseconds(repetitions, [&] { one = patterns[0].find(base, image.size(), kernel); });
        std::printf("%s name %.1f\n", name, single);
        if (offsetOf(one, base) != offsetOf(found[0], base)) {
            std::fprintf(stderr, "brickwright-scan-timing: find and findEach disagree\n");
            return 1;
        }
    }
    std::printf("found %lld %lld\n", offsetOf(found.empty() ? nullptr : found[0], base),
                offsetOf(found.size() < 2 ? nullptr : found[1], base));
    return 0;
}
