#include "sdk/discovery.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string_view>

#include "name_table.hpp"
#include "sdk/engine_layout.hpp"

namespace SDK::Discovery {

namespace {

using Layout::readAt;
using platform::MemorySpan;

constexpr std::size_t kHeaderBytes = Layout::kObjectTableCountOffset + sizeof(std::int32_t);
constexpr std::size_t kRecordBytes = Layout::kObjectOuterOffset + sizeof(void*);
constexpr std::uintptr_t kPointerAlignment = alignof(void*);

// The parts of the image's spans that lie inside one snapshot range each, lowest first: reads inside
// one need no further check.
class Stretches {
public:
    Stretches(const platform::ModuleImage& image, const ReadableMemory& memory) noexcept
        : spans_(image.readableSpans()), ranges_(memory.ranges()) {}

    std::optional<MemorySpan> next() noexcept {
        for (; span_ < spans_.size(); ++span_, range_ = 0) {
            const std::uintptr_t begin = spans_[span_].address();
            const std::uintptr_t end = spans_[span_].endAddress();
            while (end >= begin && range_ < ranges_.size()) {
                const MemorySpan& range = ranges_[range_++];
                const std::uintptr_t low = std::max(range.address(), begin);
                const std::uintptr_t high = std::min(range.endAddress(), end);
                if (low < high) {
                    return MemorySpan{reinterpret_cast<const std::uint8_t*>(low), high - low};
                }
            }
        }
        return std::nullopt;
    }

private:
    std::span<const MemorySpan> spans_;
    const std::vector<MemorySpan>& ranges_;
    std::size_t span_ = 0;
    std::size_t range_ = 0;
};

// The first and last of the 8-aligned places in a stretch at which `bytes` bytes can be read.
struct AlignedPlaces {
    std::uintptr_t first = 0;
    std::uintptr_t last = 0;
};

std::optional<AlignedPlaces> alignedPlaces(const MemorySpan& stretch, std::size_t bytes) noexcept {
    const std::uintptr_t begin = stretch.address();
    const std::uintptr_t end = stretch.endAddress();
    const std::uintptr_t first = (begin + kPointerAlignment - 1) & ~(kPointerAlignment - 1);
    if (first < begin || first >= end || end - first < bytes) {
        return std::nullopt;
    }
    return AlignedPlaces{first, first + ((end - first - bytes) & ~(kPointerAlignment - 1))};
}

// Whether `value` could be a pointer to an 8-aligned structure in the snapshot, without a search.
bool pointerLike(std::uint64_t value, std::uintptr_t lowest, std::uintptr_t span) noexcept {
    return value - lowest < span && (value & (kPointerAlignment - 1)) == 0;
}

// The first 8-aligned place in [from, last] (8 apart, all readable) that holds a pointer-like value;
// past `last` when there is none. Four words are tested together without a branch between them:
// nearly all of an image is not pointer-like, and this loop is most of the search's time.
SDK_IMAGE_READER std::uintptr_t nextPointerLike(std::uintptr_t from, std::uintptr_t last,
                                                std::uintptr_t lowest, std::uintptr_t span) noexcept {
    std::uintptr_t at = from;
    constexpr std::uintptr_t kStep = 4 * kPointerAlignment;
    for (; at <= last && last - at >= kStep - kPointerAlignment; at += kStep) {
        const auto a = readAt<std::uint64_t>(at);
        const auto b = readAt<std::uint64_t>(at + 8);
        const auto c = readAt<std::uint64_t>(at + 16);
        const auto d = readAt<std::uint64_t>(at + 24);
        const auto bit = [&](std::uint64_t value) {
            return static_cast<unsigned>(pointerLike(value, lowest, span));
        };
        if ((bit(a) | bit(b) | bit(c) | bit(d)) != 0) {
            break;
        }
    }
    for (; at <= last; at += kPointerAlignment) {
        if (pointerLike(readAt<std::uint64_t>(at), lowest, span)) {
            return at;
        }
    }
    return at;
}

// The object table's shape: a count and a chunk list with a readable chunk for every chunk the count
// reaches.
struct TableShape {
    std::uintptr_t chunks = 0;
    std::size_t count = 0;
};

bool plausibleHeader(std::uint64_t chunks, std::uint32_t count, std::uintptr_t lowest,
                     std::uintptr_t highest) noexcept {
    return count - 1u < kMaxElements && chunks - lowest < highest - lowest &&
           (chunks & (kPointerAlignment - 1)) == 0;
}

std::optional<TableShape> readShape(ReadableMemory& memory, std::uintptr_t header) noexcept {
    std::uint64_t chunks = 0;
    std::uint32_t count = 0;
    if (!memory.read(header + Layout::kObjectTableChunksOffset, chunks) ||
        !memory.read(header + Layout::kObjectTableCountOffset, count) ||
        !plausibleHeader(chunks, count, memory.lowest(), memory.highest())) {
        return std::nullopt;
    }
    const std::size_t chunkCount = (count + Layout::kObjectsPerChunk - 1) / Layout::kObjectsPerChunk;
    if (!memory.contains(chunks, chunkCount * sizeof(void*))) {
        return std::nullopt;
    }
    for (std::size_t c = 0; c < chunkCount; ++c) {
        const auto chunk = readAt<std::uintptr_t>(chunks + c * sizeof(void*));
        const std::size_t used =
            c + 1 < chunkCount ? Layout::kObjectsPerChunk : count - c * Layout::kObjectsPerChunk;
        if (chunk == 0 || !memory.contains(chunk, used * Layout::kObjectElementSize)) {
            return std::nullopt;
        }
    }
    return TableShape{chunks, count};
}

// The object pointer of element i; the shape guarantees it is readable.
std::uintptr_t elementObject(const TableShape& shape, std::size_t i) noexcept {
    const Layout::Slot slot = Layout::objectSlot(i);
    return readAt<std::uintptr_t>(readAt<std::uintptr_t>(shape.chunks + slot.chunkOffset) +
                                  slot.offsetInChunk);
}

// The first object on the class chain from `object` (itself included) whose class is itself, within
// kClassSteps steps; zero when there is none or a record on the way is not readable.
std::uintptr_t classClassOf(ReadableMemory& memory, std::uintptr_t object) noexcept {
    std::uintptr_t current = object;
    for (std::size_t step = 0; step <= kClassSteps && current != 0; ++step) {
        if (!memory.contains(current, kRecordBytes)) {
            return 0;
        }
        const auto objectClass = readAt<std::uintptr_t>(current + Layout::kObjectClassOffset);
        if (objectClass == current) {
            return current;
        }
        current = objectClass;
    }
    return 0;
}

std::size_t walkedElements(const TableShape& shape) noexcept {
    return shape.count < kElementsWalked ? shape.count : kElementsWalked;
}

// The class for classes that nearly all of a spread sample of elements reach; zero when the sample
// does not agree on one.
std::uintptr_t sampledClassClass(ReadableMemory& memory, const TableShape& shape) noexcept {
    const std::size_t walked = walkedElements(shape);
    std::array<std::uintptr_t, kSampledElements> reached{};
    std::size_t nonEmpty = 0;
    for (std::size_t j = 0; j < kSampledElements; ++j) {
        const std::size_t i = j * walked / kSampledElements;
        if (j > 0 && i == (j - 1) * walked / kSampledElements) {
            continue;
        }
        const std::uintptr_t object = elementObject(shape, i);
        if (object != 0) {
            reached[nonEmpty++] = classClassOf(memory, object);
        }
    }
    // The majority candidate (Boyer-Moore vote), then its count.
    std::uintptr_t candidate = 0;
    std::size_t votes = 0;
    for (std::size_t k = 0; k < nonEmpty; ++k) {
        if (votes == 0) {
            candidate = reached[k];
        }
        if (reached[k] == candidate) {
            ++votes;
        } else {
            --votes;
        }
    }
    std::size_t agreeing = 0;
    for (std::size_t k = 0; k < nonEmpty; ++k) {
        agreeing += reached[k] == candidate ? std::size_t{1} : std::size_t{0};
    }
    if (candidate == 0 || (nonEmpty - agreeing) * kToleranceDivisor > nonEmpty) {
        return 0;
    }
    return candidate;
}

// The walk of the first kElementsWalked elements, judged against the sampled class for classes.
ObjectTableFit judge(ReadableMemory& memory, std::uintptr_t header, const TableShape& shape,
                     std::uintptr_t classClass) noexcept {
    const std::size_t walked = walkedElements(shape);
    std::size_t nonEmpty = 0;
    std::size_t supporting = 0;
    std::size_t selfClassed = 0;
    bool classClassIsElement = false;
    for (std::size_t i = 0; i < walked; ++i) {
        const std::uintptr_t object = elementObject(shape, i);
        if (object == 0) {
            continue;
        }
        ++nonEmpty;
        const std::uintptr_t reached = classClassOf(memory, object);
        supporting += reached == classClass ? std::size_t{1} : std::size_t{0};
        selfClassed += reached == object ? std::size_t{1} : std::size_t{0};
        classClassIsElement = classClassIsElement || object == classClass;
        // Once more elements fail than the whole walk could tolerate, the rest cannot save it.
        if ((nonEmpty - supporting) * kToleranceDivisor > walked || selfClassed > 1) {
            return {};
        }
    }
    const std::size_t against = nonEmpty - supporting;
    if (!classClassIsElement || selfClassed != 1 || nonEmpty < kMinObjects ||
        against * kToleranceDivisor > nonEmpty) {
        return {};
    }
    return ObjectTableFit{header, classClass, supporting, against};
}

bool betterSupported(const ObjectTableFit& a, const ObjectTableFit& b) noexcept {
    if (a.supporting != b.supporting) {
        return a.supporting > b.supporting;
    }
    return a.against < b.against;
}

// The length of the NUL-terminated text at `address`, when it is readable, at most kMaxNameLength
// bytes of printable characters.
std::optional<std::size_t> readableText(ReadableMemory& memory, std::uintptr_t address) noexcept {
    for (std::size_t i = 0; i <= kMaxNameLength; ++i) {
        std::uint8_t c = 0;
        if (!memory.read(address + i, c)) {
            return std::nullopt;
        }
        if (c == 0) {
            return i;
        }
        if (c < 0x20 || c == 0x7F) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// Whether name `index` through `table` (the naming rule: the text after its last "/") is exactly
// `expected`.
bool nameIs(ReadableMemory& memory, std::uintptr_t table, std::int32_t index,
            std::string_view expected) noexcept {
    const std::uintptr_t text = detail::nameText(memory, table, index);
    const std::optional<std::size_t> length = text == 0 ? std::nullopt : readableText(memory, text);
    if (!length) {
        return false;
    }
    // The text is readable: readableText read every byte of it.
    const std::optional<std::size_t> begin = detail::nameBeginsIn(
        *length, [&](std::size_t i) { return readAt<char>(text + i); }, expected, expected.size());
    return begin == std::size_t{0};
}

std::optional<std::int32_t> readIndex(ReadableMemory& memory, std::uintptr_t object) noexcept {
    std::uint32_t raw = 0;
    if (!memory.read(object + Layout::kObjectNameIndexOffset, raw)) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(raw);
}

// What a name table must name: classClass, its outer, and a spread sample of other objects.
struct NameChecks {
    std::int32_t classIndex = 0;
    std::int32_t outerIndex = 0;
    std::array<std::int32_t, kNameSamples> samples{};
    std::size_t sampleCount = 0;
};

std::optional<NameChecks> nameChecks(ReadableMemory& memory, const ObjectTableFit& objects) noexcept {
    std::uint64_t outer = 0;
    const std::optional<TableShape> shape =
        objects.table == 0 ? std::nullopt : readShape(memory, objects.table);
    const std::optional<std::int32_t> classIndex =
        shape ? readIndex(memory, objects.classClass) : std::nullopt;
    if (!classIndex || *classIndex < 0 ||
        !memory.read(objects.classClass + Layout::kObjectOuterOffset, outer) || outer == 0 ||
        !memory.contains(static_cast<std::uintptr_t>(outer), kRecordBytes)) {
        return std::nullopt;
    }
    const std::optional<std::int32_t> outerIndex = readIndex(memory, static_cast<std::uintptr_t>(outer));
    if (!outerIndex) {
        return std::nullopt;
    }
    NameChecks checks;
    checks.classIndex = *classIndex;
    checks.outerIndex = *outerIndex;
    const std::size_t walked = walkedElements(*shape);
    constexpr std::size_t kTries = 4 * kNameSamples;
    for (std::size_t j = 0; j < kTries && checks.sampleCount < kNameSamples; ++j) {
        const std::uintptr_t object = elementObject(*shape, j * walked / kTries);
        if (object == 0 || object == objects.classClass || !memory.contains(object, kRecordBytes)) {
            continue;
        }
        if (const std::optional<std::int32_t> index = readIndex(memory, object)) {
            checks.samples[checks.sampleCount++] = *index;
        }
    }
    return checks;
}

// Whether, through `table`, classClass is named exactly "Class" (NUL included). Most candidates of
// the search end at the first read.
bool namesClassClass(ReadableMemory& memory, std::uintptr_t table, const NameChecks& checks) noexcept {
    constexpr std::string_view kClass{"Class", 6};
    const std::uintptr_t text = detail::nameText(memory, table, checks.classIndex);
    if (text == 0 || !memory.contains(text, kClass.size())) {
        return false;
    }
    for (std::size_t i = 0; i < kClass.size(); ++i) {
        if (readAt<char>(text + i) != kClass[i]) {
            return false;
        }
    }
    return true;
}

// The rest of the checks, once classClass is named "Class".
bool namesFit(ReadableMemory& memory, std::uintptr_t table, const NameChecks& checks) noexcept {
    if (!nameIs(memory, table, checks.outerIndex, "CoreUObject")) {
        return false;
    }
    for (std::size_t k = 0; k < checks.sampleCount; ++k) {
        const std::uintptr_t text = detail::nameText(memory, table, checks.samples[k]);
        if (text == 0 || !readableText(memory, text)) {
            return false;
        }
    }
    return true;
}

} // namespace

SDK_IMAGE_READER ObjectTableFit findObjectTable(const platform::ModuleImage& image,
                                                ReadableMemory& memory) noexcept {
    ObjectTableFit best;
    std::size_t candidates = 0;
    std::size_t elementBudget = kElementBudget;
    const std::uintptr_t lowest = memory.lowest();
    const std::uintptr_t highest = memory.highest();
    Stretches stretches(image, memory);
    while (const std::optional<MemorySpan> stretch = stretches.next()) {
        const std::optional<AlignedPlaces> places = alignedPlaces(*stretch, kHeaderBytes);
        if (!places) {
            continue;
        }
        // The chunk list pointer is what is rare: look for that, then at the count beside it.
        constexpr std::uintptr_t kChunks = Layout::kObjectTableChunksOffset;
        for (std::uintptr_t at = places->first; at <= places->last; at += kPointerAlignment) {
            at = nextPointerLike(at + kChunks, places->last + kChunks, lowest, highest - lowest) - kChunks;
            if (at > places->last) {
                break;
            }
            const auto chunks = readAt<std::uint64_t>(at + Layout::kObjectTableChunksOffset);
            const auto count = readAt<std::uint32_t>(at + Layout::kObjectTableCountOffset);
            if (!plausibleHeader(chunks, count, lowest, highest)) {
                continue;
            }
            const std::optional<TableShape> shape = readShape(memory, at);
            if (!shape) {
                continue;
            }
            if (++candidates > kCandidateBudget) {
                return best;
            }
            const std::uintptr_t classClass = sampledClassClass(memory, *shape);
            if (classClass == 0) {
                continue;
            }
            const std::size_t walked = walkedElements(*shape);
            if (walked > elementBudget) {
                return best;
            }
            elementBudget -= walked;
            const ObjectTableFit fit = judge(memory, at, *shape, classClass);
            if (fit.table != 0 && (best.table == 0 || betterSupported(fit, best))) {
                best = fit;
            }
        }
    }
    return best;
}

ObjectTableFit checkObjectTable(std::uintptr_t table, ReadableMemory& memory) noexcept {
    const std::optional<TableShape> shape = readShape(memory, table);
    if (!shape) {
        return {};
    }
    const std::uintptr_t classClass = sampledClassClass(memory, *shape);
    return classClass == 0 ? ObjectTableFit{} : judge(memory, table, *shape, classClass);
}

SDK_IMAGE_READER std::uintptr_t findNameTable(const platform::ModuleImage& image, ReadableMemory& memory,
                                              const ObjectTableFit& objects) noexcept {
    const std::optional<NameChecks> checks = nameChecks(memory, objects);
    if (!checks) {
        return 0;
    }
    const std::uintptr_t lowest = memory.lowest();
    const std::uintptr_t highest = memory.highest();
    std::size_t examined = 0;
    Stretches stretches(image, memory);
    while (const std::optional<MemorySpan> stretch = stretches.next()) {
        const std::optional<AlignedPlaces> places = alignedPlaces(*stretch, sizeof(void*));
        if (!places) {
            continue;
        }
        for (std::uintptr_t at = places->first; at <= places->last; at += kPointerAlignment) {
            at = nextPointerLike(at, places->last, lowest, highest - lowest);
            if (at > places->last) {
                break;
            }
            const auto table = readAt<std::uintptr_t>(at);
            if (!namesClassClass(memory, table, *checks)) {
                continue;
            }
            if (++examined > kNameCandidateBudget) {
                return 0;
            }
            if (namesFit(memory, table, *checks)) {
                return table;
            }
        }
    }
    return 0;
}

bool checkNameTable(std::uintptr_t table, ReadableMemory& memory, const ObjectTableFit& objects) noexcept {
    const std::optional<NameChecks> checks = nameChecks(memory, objects);
    return checks && namesClassClass(memory, table, *checks) && namesFit(memory, table, *checks);
}

} // namespace SDK::Discovery
