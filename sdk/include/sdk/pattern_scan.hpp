// Masked byte-pattern search over a module image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "sdk/signature.hpp"

namespace SDK {

// The loops that find candidates: scalar (memchr for the first anchor), then 16, 32 and 64 bytes at
// a time. All give the same answers; which ones this CPU and operating system can run is found out
// at run time, once.
enum class ScanKernel { Scalar, Sse2, Avx2, Avx512 };

// Whether this CPU and build can run `kernel`; Scalar always can.
[[nodiscard]] bool scanKernelSupported(ScanKernel kernel) noexcept;

// The kernel measured fastest among those this CPU can run (dispatch.cpp says on which CPUs): what
// every scan uses unless told otherwise. Not always the widest.
[[nodiscard]] ScanKernel bestScanKernel() noexcept;

// "scalar", "sse2", "avx2", "avx512".
[[nodiscard]] const char* scanKernelName(ScanKernel kernel) noexcept;

// Finds the lowest offset in [base, base + size) at which `pattern` matches under `mask`: where the
// mask has 'x' the image byte must equal the pattern byte, any other mask character accepts any byte.
// The mask is NUL-terminated and as long as the pattern. Every start offset from 0 up to and
// including size - L is tried, so a match ending on the image's last byte is found. Returns the
// match's address, or nullptr: also for a null base, pattern or mask, an image shorter than the
// pattern, and an empty mask (an empty pattern identifies nothing). Reads only inside the image and
// never allocates. `kernel` picks the loop (tests and benchmarks run each); one this CPU cannot run
// gives way to bestScanKernel().
[[nodiscard]] const std::uint8_t* scanForPattern(const std::uint8_t* pattern, const char* mask,
                                                 const std::uint8_t* base, std::size_t size,
                                                 ScanKernel kernel = bestScanKernel()) noexcept;

namespace Scan {
struct Plan;
}

class PreparedPattern;

// How findEach scans: with which kernel, on how many threads (0: as many as the machine runs at once;
// 1: the calling thread only).
struct ScanOptions {
    ScanKernel kernel = bestScanKernel();
    unsigned threads = 0;
};

// The lowest match of each pattern in [base, base + size) (nullptr where it has none), in the
// patterns' order: what a find per pattern returns, found in one pass over the image. Every vector
// kernel compares all patterns' anchors on the same loaded lines, so memory is read once whatever
// the number of patterns (the scalar kernel scans once per pattern). An image of 16 MiB or more is
// split into up to 8 parts of at least 4 MiB each, no more than `options.threads`, scanned on
// threads of their own; neighbouring parts overlap by the longest pattern's length minus one, so a
// match across a split is found. A thread that cannot be started leaves its work to the calling
// thread. Throws only std::bad_alloc.
[[nodiscard]] std::vector<const std::uint8_t*> findEach(std::span<const PreparedPattern> patterns,
                                                        const std::uint8_t* base, std::size_t size,
                                                        const ScanOptions& options = {});

// A pattern prepared once for scanning many times or many spans: its two rarest fixed bytes are
// chosen as the anchors that candidates must show before the whole pattern is compared. It finds
// exactly what scanForPattern finds.
//
// The prepared form keeps the fixed bytes complemented and interleaved with their masks, never in
// their matching order: a scan of an image that holds a prepared pattern (the heap or the data of
// this very process) cannot mistake it for the code it describes.
class PreparedPattern {
public:
    // The byte string and its NUL-terminated mask, as scanForPattern takes them.
    PreparedPattern(const std::uint8_t* pattern, const char* mask);

    // The element form: each element's byte is compared where the element is fixed.
    explicit PreparedPattern(std::span<const PatternByte> elements);

    template <std::size_t N>
    explicit PreparedPattern(const Signature<N>& signature)
        : PreparedPattern(std::span<const PatternByte>(signature.elements)) {}

    // The pattern's length L.
    [[nodiscard]] std::size_t size() const noexcept { return length_; }

    // The lowest match in [base, base + size), or nullptr. `kernel` as for scanForPattern.
    [[nodiscard]] const std::uint8_t* find(const std::uint8_t* base, std::size_t size,
                                           ScanKernel kernel = bestScanKernel()) const noexcept;

    // The lowest match that begins after `previous`, a match returned for the same image (null:
    // the same as find). Matches may overlap.
    [[nodiscard]] const std::uint8_t* findNext(const std::uint8_t* base, std::size_t size,
                                               const std::uint8_t* previous,
                                               ScanKernel kernel = bestScanKernel()) const noexcept;

    // How many offsets of [base, base + size) a match begins at, overlapping matches included.
    [[nodiscard]] std::size_t count(const std::uint8_t* base, std::size_t size,
                                    ScanKernel kernel = bestScanKernel()) const noexcept;

private:
    friend std::vector<const std::uint8_t*> findEach(std::span<const PreparedPattern>, const std::uint8_t*,
                                                     std::size_t, const ScanOptions&);

    template <typename FixedAt> void prepare(std::size_t length, FixedAt fixedAt);

    // The plan the kernels scan with; it points into this pattern.
    void describeTo(Scan::Plan& plan) const noexcept;

    const std::uint8_t* findFrom(const std::uint8_t* base, std::size_t size, std::size_t from,
                                 ScanKernel kernel) const noexcept;

    std::size_t length_ = 0;
    std::size_t anchor0_ = 0;
    std::size_t anchor1_ = 0;
    std::uint8_t byte0_ = 0;
    std::uint8_t byte1_ = 0;
    bool anchored_ = false;
    std::vector<std::uint64_t> words_;
};

} // namespace SDK
