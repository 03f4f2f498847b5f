#include "sdk/discovery.hpp"

#include <array>
#include <string_view>

#include "memory_load.hpp"
#include "sdk/engine_layout.hpp"

namespace SDK::Discovery {

namespace {

using detail::load;

constexpr std::size_t kHeaderBytes = Layout::kObjectTableCountOffset + sizeof(std::int32_t);
constexpr std::size_t kRecordBytes = Layout::kObjectOuterOffset + sizeof(void*);
constexpr std::uintptr_t kPointerAlignment = alignof(void*);

// A readable stretch of the image: the part of an image span that the snapshot holds too, so that
// reads inside it need no further check.
struct Stretch {
    std::uintptr_t begin;
    std::uintptr_t end;
};

// The parts of the image's spans that lie inside one snapshot range each, lowest first.
class Stretches {
public:
    Stretches(const platform::ModuleImage& image, const ReadableMemory& memory) noexcept
        : image_(image), ranges_(memory.ranges()) {}

    bool next(Stretch& stretch) noexcept {
        while (span_ < image_.spanCount && span_ < image_.spans.size()) {
            const auto begin = reinterpret_cast<std::uintptr_t>(image_.spans[span_].begin);
            const std::uintptr_t end = begin + image_.spans[span_].size;
            while (end >= begin && range_ < ranges_.size()) {
                const ReadableMemory::Range& range = ranges_[range_++];
                const std::uintptr_t low = range.begin > begin ? range.begin : begin;
                const std::uintptr_t high = range.end < end ? range.end : end;
                if (low < high) {
                    stretch = Stretch{low, high};
                    return true;
                }
            }
            ++span_;
            range_ = 0;
        }
        return false;
    }

private:
    const platform::ModuleImage& image_;
    const std::vector<ReadableMemory::Range>& ranges_;
    std::size_t span_ = 0;
    std::size_t range_ = 0;
};

// The 8-aligned places in `stretch` at which `bytes` bytes can be read.
struct AlignedPlaces {
    std::uintptr_t first = 0;
    std::uintptr_t last = 0;
    bool any = false;
};

AlignedPlaces alignedPlaces(const Stretch& stretch, std::size_t bytes) noexcept {
    AlignedPlaces places;
    const std::uintptr_t first = (stretch.begin + kPointerAlignment - 1) & ~(kPointerAlignment - 1);
    if (first < stretch.begin || first >= stretch.end || stretch.end - first < bytes) {
        return places;
    }
    places.first = first;
    places.last = first + ((stretch.end - first - bytes) & ~(kPointerAlignment - 1));
    places.any = true;
    return places;
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
        const auto a = load<std::uint64_t>(at);
        const auto b = load<std::uint64_t>(at + 8);
        const auto c = load<std::uint64_t>(at + 16);
        const auto d = load<std::uint64_t>(at + 24);
        const auto bit = [&](std::uint64_t value) {
            return static_cast<unsigned>(pointerLike(value, lowest, span));
        };
        if ((bit(a) | bit(b) | bit(c) | bit(d)) != 0) {
            break;
        }
    }
    for (; at <= last; at += kPointerAlignment) {
        if (pointerLike(load<std::uint64_t>(at), lowest, span)) {
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

bool readShape(ReadableMemory& memory, std::uintptr_t header, TableShape& shape) noexcept {
    std::uint64_t chunks = 0;
    std::uint32_t count = 0;
    if (!memory.read(header + Layout::kObjectTableChunksOffset, chunks) ||
        !memory.read(header + Layout::kObjectTableCountOffset, count) ||
        !plausibleHeader(chunks, count, memory.lowest(), memory.highest())) {
        return false;
    }
    const std::size_t chunkCount = (count + Layout::kObjectsPerChunk - 1) / Layout::kObjectsPerChunk;
    if (!memory.contains(chunks, chunkCount * sizeof(void*))) {
        return false;
    }
    for (std::size_t c = 0; c < chunkCount; ++c) {
        const auto chunk = load<std::uintptr_t>(chunks + c * sizeof(void*));
        const std::size_t used =
            c + 1 < chunkCount ? Layout::kObjectsPerChunk : count - c * Layout::kObjectsPerChunk;
        if (chunk == 0 || !memory.contains(chunk, used * Layout::kObjectElementSize)) {
            return false;
        }
    }
    shape.chunks = chunks;
    shape.count = count;
    return true;
}

// The object pointer of element i; the shape guarantees it is readable.
std::uintptr_t elementObject(const TableShape& shape, std::size_t i) noexcept {
    const auto chunk = load<std::uintptr_t>(shape.chunks + i / Layout::kObjectsPerChunk * sizeof(void*));
    return load<std::uintptr_t>(chunk + i % Layout::kObjectsPerChunk * Layout::kObjectElementSize +
                                Layout::kObjectElementObjectOffset);
}

// The first object on the class chain from `object` (itself included) whose class is itself, within
// kClassSteps steps; zero when there is none or a record on the way is not readable.
std::uintptr_t classRoot(ReadableMemory& memory, std::uintptr_t object) noexcept {
    std::uintptr_t current = object;
    for (std::size_t step = 0; step <= kClassSteps && current != 0; ++step) {
        if (!memory.contains(current, kRecordBytes)) {
            return 0;
        }
        const auto objectClass = load<std::uintptr_t>(current + Layout::kObjectClassOffset);
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
std::uintptr_t sampledRoot(ReadableMemory& memory, const TableShape& shape) noexcept {
    const std::size_t walked = walkedElements(shape);
    std::array<std::uintptr_t, kSampledElements> roots{};
    std::size_t nonEmpty = 0;
    for (std::size_t j = 0; j < kSampledElements; ++j) {
        const std::size_t i = j * walked / kSampledElements;
        if (j > 0 && i == (j - 1) * walked / kSampledElements) {
            continue;
        }
        const std::uintptr_t object = elementObject(shape, i);
        if (object != 0) {
            roots[nonEmpty++] = classRoot(memory, object);
        }
    }
    // The majority candidate (Boyer-Moore vote), then its count.
    std::uintptr_t candidate = 0;
    std::size_t votes = 0;
    for (std::size_t k = 0; k < nonEmpty; ++k) {
        if (votes == 0) {
            candidate = roots[k];
        }
        if (roots[k] == candidate) {
            ++votes;
        } else {
            --votes;
        }
    }
    std::size_t agreeing = 0;
    for (std::size_t k = 0; k < nonEmpty; ++k) {
        agreeing += roots[k] == candidate ? std::size_t{1} : std::size_t{0};
    }
    if (candidate == 0 || (nonEmpty - agreeing) * kToleranceDivisor > nonEmpty) {
        return 0;
    }
    return candidate;
}

// The walk of the first kElementsWalked elements, judged against the sampled root.
ObjectTableFit judge(ReadableMemory& memory, std::uintptr_t header, const TableShape& shape,
                     std::uintptr_t root) noexcept {
    const std::size_t walked = walkedElements(shape);
    std::size_t nonEmpty = 0;
    std::size_t supporting = 0;
    std::size_t selfClassed = 0;
    bool rootIsElement = false;
    for (std::size_t i = 0; i < walked; ++i) {
        const std::uintptr_t object = elementObject(shape, i);
        if (object == 0) {
            continue;
        }
        ++nonEmpty;
        const std::uintptr_t reached = classRoot(memory, object);
        supporting += reached == root ? std::size_t{1} : std::size_t{0};
        selfClassed += reached == object ? std::size_t{1} : std::size_t{0};
        rootIsElement = rootIsElement || object == root;
        // Once more elements fail than the whole walk could tolerate, the rest cannot save it.
        if ((nonEmpty - supporting) * kToleranceDivisor > walked || selfClassed > 1) {
            return {};
        }
    }
    const std::size_t against = nonEmpty - supporting;
    if (!rootIsElement || selfClassed != 1 || nonEmpty < kMinObjects ||
        against * kToleranceDivisor > nonEmpty) {
        return {};
    }
    return ObjectTableFit{header, root, supporting, against};
}

bool betterSupported(const ObjectTableFit& a, const ObjectTableFit& b) noexcept {
    if (a.supporting != b.supporting) {
        return a.supporting > b.supporting;
    }
    return a.against < b.against;
}

// Whether the NUL-terminated text at `address` is readable, at most kMaxNameLength bytes of printable
// characters; its length goes to `length`.
bool readableText(ReadableMemory& memory, std::uintptr_t address, std::size_t& length) noexcept {
    for (std::size_t i = 0; i <= kMaxNameLength; ++i) {
        std::uint8_t c = 0;
        if (!memory.read(address + i, c)) {
            return false;
        }
        if (c == 0) {
            length = i;
            return true;
        }
        if (c < 0x20 || c == 0x7F) {
            return false;
        }
    }
    return false;
}

// The address of the text of name `index` through the name table `table`; zero when a pointer on
// the way cannot be read.
std::uintptr_t nameTextAt(ReadableMemory& memory, std::uintptr_t table, std::int32_t index) noexcept {
    if (index < 0) {
        return 0;
    }
    const auto n = static_cast<std::size_t>(index);
    std::uint64_t chunk = 0;
    std::uint64_t entry = 0;
    if (!memory.read(table + n / Layout::kNamesPerChunk * sizeof(void*), chunk) ||
        !memory.read(static_cast<std::uintptr_t>(chunk) + n % Layout::kNamesPerChunk * sizeof(void*),
                     entry) ||
        entry == 0) {
        return 0;
    }
    return static_cast<std::uintptr_t>(entry) + Layout::kNameEntryTextOffset;
}

// Whether name `index` through `table`, cut after its last "/", is exactly `expected`.
bool nameIs(ReadableMemory& memory, std::uintptr_t table, std::int32_t index,
            std::string_view expected) noexcept {
    const std::uintptr_t text = nameTextAt(memory, table, index);
    std::size_t length = 0;
    if (text == 0 || !readableText(memory, text, length)) {
        return false;
    }
    std::size_t cut = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (load<char>(text + i) == '/') {
            cut = i + 1;
        }
    }
    if (length - cut != expected.size()) {
        return false;
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (load<char>(text + cut + i) != expected[i]) {
            return false;
        }
    }
    return true;
}

bool readIndex(ReadableMemory& memory, std::uintptr_t object, std::int32_t& index) noexcept {
    std::uint32_t raw = 0;
    if (!memory.read(object + Layout::kObjectNameIndexOffset, raw)) {
        return false;
    }
    index = static_cast<std::int32_t>(raw);
    return true;
}

// What a name table must name: R, its outer, and a spread sample of other objects.
struct NameChecks {
    std::int32_t classIndex = 0;
    std::int32_t outerIndex = 0;
    std::array<std::int32_t, kNameSamples> samples{};
    std::size_t sampleCount = 0;
};

bool nameChecks(ReadableMemory& memory, const ObjectTableFit& objects, NameChecks& checks) noexcept {
    std::uint64_t outer = 0;
    TableShape shape;
    if (objects.table == 0 || !readShape(memory, objects.table, shape) ||
        !readIndex(memory, objects.classClass, checks.classIndex) ||
        !memory.read(objects.classClass + Layout::kObjectOuterOffset, outer) || outer == 0 ||
        !memory.contains(static_cast<std::uintptr_t>(outer), kRecordBytes) ||
        !readIndex(memory, static_cast<std::uintptr_t>(outer), checks.outerIndex)) {
        return false;
    }
    const std::size_t walked = walkedElements(shape);
    constexpr std::size_t kTries = 4 * kNameSamples;
    for (std::size_t j = 0; j < kTries && checks.sampleCount < kNameSamples; ++j) {
        const std::uintptr_t object = elementObject(shape, j * walked / kTries);
        std::int32_t index = 0;
        if (object != 0 && object != objects.classClass && memory.contains(object, kRecordBytes) &&
            readIndex(memory, object, index)) {
            checks.samples[checks.sampleCount++] = index;
        }
    }
    return true;
}

bool namesFit(ReadableMemory& memory, std::uintptr_t table, const NameChecks& checks) noexcept {
    if (!nameIs(memory, table, checks.outerIndex, "CoreUObject")) {
        return false;
    }
    for (std::size_t k = 0; k < checks.sampleCount; ++k) {
        const std::uintptr_t text = nameTextAt(memory, table, checks.samples[k]);
        std::size_t length = 0;
        if (text == 0 || !readableText(memory, text, length)) {
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
    Stretch stretch{};
    while (stretches.next(stretch)) {
        const AlignedPlaces places = alignedPlaces(stretch, kHeaderBytes);
        if (!places.any) {
            continue;
        }
        // The chunk list pointer is what is rare: look for that, then at the count beside it.
        constexpr std::uintptr_t kChunks = Layout::kObjectTableChunksOffset;
        for (std::uintptr_t at = places.first; at <= places.last; at += kPointerAlignment) {
            at = nextPointerLike(at + kChunks, places.last + kChunks, lowest, highest - lowest) - kChunks;
            if (at > places.last) {
                break;
            }
            const auto chunks = load<std::uint64_t>(at + Layout::kObjectTableChunksOffset);
            const auto count = load<std::uint32_t>(at + Layout::kObjectTableCountOffset);
            if (!plausibleHeader(chunks, count, lowest, highest)) {
                continue;
            }
            TableShape shape;
            if (!readShape(memory, at, shape)) {
                continue;
            }
            if (++candidates > kCandidateBudget) {
                return best;
            }
            const std::uintptr_t root = sampledRoot(memory, shape);
            if (root == 0) {
                continue;
            }
            const std::size_t walked = walkedElements(shape);
            if (walked > elementBudget) {
                return best;
            }
            elementBudget -= walked;
            const ObjectTableFit fit = judge(memory, at, shape, root);
            if (fit.table != 0 && (best.table == 0 || betterSupported(fit, best))) {
                best = fit;
            }
        }
    }
    return best;
}

ObjectTableFit checkObjectTable(std::uintptr_t table, ReadableMemory& memory) noexcept {
    TableShape shape;
    if (!readShape(memory, table, shape)) {
        return {};
    }
    const std::uintptr_t root = sampledRoot(memory, shape);
    return root == 0 ? ObjectTableFit{} : judge(memory, table, shape, root);
}

SDK_IMAGE_READER std::uintptr_t findNameTable(const platform::ModuleImage& image, ReadableMemory& memory,
                                              const ObjectTableFit& objects) noexcept {
    NameChecks checks;
    if (!nameChecks(memory, objects, checks) || checks.classIndex < 0) {
        return 0;
    }
    const auto n = static_cast<std::size_t>(checks.classIndex);
    const std::size_t chunkOffset = n / Layout::kNamesPerChunk * sizeof(void*);
    const std::size_t entryOffset = n % Layout::kNamesPerChunk * sizeof(void*);
    const std::uintptr_t lowest = memory.lowest();
    const std::uintptr_t highest = memory.highest();
    std::size_t examined = 0;
    Stretches stretches(image, memory);
    Stretch stretch{};
    while (stretches.next(stretch)) {
        const AlignedPlaces places = alignedPlaces(stretch, sizeof(void*));
        for (std::uintptr_t at = places.first; places.any && at <= places.last; at += kPointerAlignment) {
            at = nextPointerLike(at, places.last, lowest, highest - lowest);
            if (at > places.last) {
                break;
            }
            const auto table = load<std::uint64_t>(at);
            // R's own name first: "Class", then its NUL. Most candidates end at the first read.
            std::uint64_t chunk = 0;
            std::uint64_t entry = 0;
            if (!memory.read(static_cast<std::uintptr_t>(table) + chunkOffset, chunk) ||
                !memory.read(static_cast<std::uintptr_t>(chunk) + entryOffset, entry) ||
                !memory.contains(static_cast<std::uintptr_t>(entry) + Layout::kNameEntryTextOffset, 6)) {
                continue;
            }
            const auto text = static_cast<std::uintptr_t>(entry) + Layout::kNameEntryTextOffset;
            bool named = true;
            for (std::size_t i = 0; i < 6 && named; ++i) {
                named = load<char>(text + i) == "Class"[i];
            }
            if (!named) {
                continue;
            }
            if (++examined > kNameCandidateBudget) {
                return 0;
            }
            if (namesFit(memory, static_cast<std::uintptr_t>(table), checks)) {
                return static_cast<std::uintptr_t>(table);
            }
        }
    }
    return 0;
}

} // namespace SDK::Discovery
