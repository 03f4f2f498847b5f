// Finding the engine's tables over arbitrary memory, by their layout and through the patterns: an
// image of arbitrary words, with arbitrary pointers into other arbitrary blocks (and just past them),
// sometimes over a well-formed engine world that the input then damages; and instructions of both
// patterns whose targets hold arbitrary values (the world's tables, pointers into the blocks, raw
// words), which initEngineGlobals must prove before it takes them.
//
// Every block is whole pages between two inaccessible pages, and the snapshot given to the search is
// exactly the blocks: a read outside it that lands near a block faults, one that follows a raw value
// almost surely does. The image's span sometimes reaches one page past its block, into the guard page,
// which the search must leave alone because the snapshot does not hold it.
//
// The patterns' targets must lie 48 to 80 MiB after the instructions: the instructions go into a code
// window at the start of an 81 MiB inaccessible reservation, their targets into two windows 56 and 72
// MiB on. The windows are blocks too (mutations reach them); the image's spans are the three windows
// and block 0.
//
// Invariants: the search returns (no fault, no hang); an object table it accepts passes the
// harness's own walk of the invariants (class chains, one class of its own class, nearly all
// elements reaching it, the count and chunk list agreeing), and a name table it accepts is a pointer
// stored in the image through which the class for classes is named "Class" and its outer
// "CoreUObject". initEngineGlobals returns; a table it sets passes the same walk, and one it took
// through a pattern is the target of one of the pattern's first 16 matches, found by the harness's own
// byte-by-byte comparison.
//
// Input, read from the front (missing bytes read as zero):
//   flags: 1 a well-formed world first, 2 the image span reaches into the guard page after block 0
//   block count - 1 (mod 6, at least 5 with flag 1), then per block its pages - 1 (mod 4)
//   with flag 1: object count (8 + byte mod 120), header word (mod block 0's words - 5), name
//     pointer word (mod block 0's words), then per object a byte: bit 0 empty element, bits 1-4 its class
//   instruction count (mod 8), then per instruction: a byte (bit 0 the object-table pattern, bits 1-2
//     what its target holds: the world's table, a pointer into a block, raw bytes), its offset in the
//     code window (2 bytes), its target's offset in the pattern's window (2 bytes), then that choice's
//     bytes (block, word offset (2 bytes), count for a header; 8 raw bytes)
//   then mutations until the input ends: block, word index (2 bytes), and a word:
//     tag % 8: 0 zero, 1 raw 8 bytes, 2 pointer into block b at word offset o (o from -4 to the block's
//     end + 4), 3 count-like: two small 32-bit halves, 4 "Class\0", 5 "CoreUObj", 6 "ect\0", 7 "/Script/"
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "sdk/discovery.hpp"
#include "sdk/engine.hpp"
#include "sdk/engine_layout.hpp"
#include "sdk/engine_patterns.hpp"
#include "sdk/instruction.hpp"
#include "sdk/readable_memory.hpp"
#include "sdk/signature.hpp"

namespace {

namespace Layout = SDK::Layout;
using SDK::Discovery::ObjectTableFit;

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool done() const { return at_ >= size_; }

    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }

    std::uint64_t bytes(int count) {
        std::uint64_t value = 0;
        for (int i = 0; i < count; ++i) {
            value |= static_cast<std::uint64_t>(byte()) << (8 * i);
        }
        return value;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::size_t pageSize() {
    static const auto size = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return size;
}

// A block of whole pages between two inaccessible ones.
struct Block {
    std::uint8_t* mapping = nullptr;
    std::size_t mappingSize = 0;
    std::uint8_t* data = nullptr;
    std::size_t size = 0;

    std::uintptr_t begin() const { return reinterpret_cast<std::uintptr_t>(data); }
    std::size_t words() const { return size / 8; }
    void put(std::size_t word, std::uint64_t value) const {
        std::memcpy(data + word % words() * 8, &value, 8);
    }
};

class Blocks {
public:
    ~Blocks() {
        for (const Block& block : blocks_) {
            if (block.mapping != nullptr) {
                ::munmap(block.mapping, block.mappingSize);
            }
        }
    }

    // Memory that someone else maps and unmaps.
    void adopt(std::uint8_t* data, std::size_t size) {
        Block block;
        block.data = data;
        block.size = size;
        blocks_.push_back(block);
    }

    bool add(std::size_t pages) {
        Block block;
        block.size = pages * pageSize();
        block.mappingSize = block.size + 2 * pageSize();
        void* mapping = ::mmap(nullptr, block.mappingSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapping == MAP_FAILED) {
            return false;
        }
        block.mapping = static_cast<std::uint8_t*>(mapping);
        block.data = block.mapping + pageSize();
        blocks_.push_back(block);
        return ::mprotect(block.data, block.size, PROT_READ | PROT_WRITE) == 0;
    }

    const Block& operator[](std::size_t i) const { return blocks_[i % blocks_.size()]; }
    std::size_t size() const { return blocks_.size(); }

    // The harness's own view: whether n bytes at `address` lie in one block, and what they hold.
    bool readable(std::uintptr_t address, std::size_t n) const {
        for (const Block& block : blocks_) {
            if (address >= block.begin() && address - block.begin() <= block.size &&
                block.size - (address - block.begin()) >= n) {
                return true;
            }
        }
        return false;
    }

    bool word(std::uintptr_t address, std::uint64_t& value) const {
        if (!readable(address, 8)) {
            return false;
        }
        std::memcpy(&value, reinterpret_cast<const void*>(address), 8);
        return true;
    }

    std::vector<platform::MemorySpan> spans() const {
        std::vector<platform::MemorySpan> spans;
        for (const Block& block : blocks_) {
            spans.push_back(platform::MemorySpan{block.data, block.size});
        }
        return spans;
    }

private:
    std::vector<Block> blocks_;
};

std::uint64_t textWord(std::string_view text) {
    std::uint64_t value = 0;
    std::memcpy(&value, text.data(), text.size() < 8 ? text.size() : 8);
    return value;
}

// A well-formed world: block 0 the image, 1 the chunk list and the name table's chunk array, 2 the
// elements, 3 the records, 4 the name chunk and the name entries.
void layWorld(Reader& in, const Blocks& blocks) {
    const std::size_t objects = 8 + in.byte() % 120;
    const std::size_t headerWord = in.bytes(2) % (blocks[0].words() - 5);
    const std::size_t nameWord = in.bytes(2) % blocks[0].words();
    const Block& lists = blocks[1];
    const Block& elements = blocks[2];
    const Block& records = blocks[3];
    const Block& names = blocks[4];
    const std::size_t recordWords = Layout::kObjectOuterOffset / 8 + 1;
    const auto record = [&](std::size_t i) { return records.begin() + i * recordWords * 8; };

    // The header: chunk list at +16, count at +36 (the upper half of the word at +32).
    blocks[0].put(headerWord + Layout::kObjectTableChunksOffset / 8, lists.begin());
    blocks[0].put(headerWord + 4, static_cast<std::uint64_t>(objects) << 32);
    lists.put(0, elements.begin());
    const std::size_t fit = records.size / (recordWords * 8);

    // Names: 0 "Class", 1 "/Script/CoreUObject", 2 "Package", others "Obj".
    constexpr std::array<std::string_view, 4> kNames = {"Class", "/Script/CoreUObject", "Package", "Obj"};
    const std::size_t entries = names.words() / 2;
    for (std::size_t n = 0; n < kNames.size(); ++n) {
        const std::size_t entryWord = entries + n * 6;
        names.put(n, names.begin() + entryWord * 8);
        const std::string_view text = kNames[n];
        for (std::size_t w = 0; w * 8 < text.size() + 1; ++w) {
            names.put(entryWord + 2 + w, w * 8 < text.size() ? textWord(text.substr(w * 8)) : 0);
        }
    }
    lists.put(lists.words() / 2, names.begin());
    blocks[0].put(nameWord, lists.begin() + lists.words() / 2 * 8);

    for (std::size_t i = 0; i < objects; ++i) {
        const std::uint8_t shape = in.byte();
        const std::size_t r = i % fit;
        std::uint64_t objectClass = record(0);
        std::uint64_t name = 3;
        std::uint64_t outer = record(1);
        if (r == 0) {
            name = 0;
        } else if (r == 1) {
            objectClass = record(2);
            name = 1;
            outer = 0;
        } else if (r == 2) {
            name = 2;
        } else if (r < 7) {
            // Classes: of the class for classes, or of the "Package" class.
            objectClass = (shape & 2) != 0 ? record(2) : record(0);
        } else {
            // Instances of a class, or of one of the classes above.
            const std::size_t kind = (shape >> 1) % 4;
            objectClass = kind == 0 ? record(0) : kind == 1 ? record(2) : record(3 + (shape >> 3) % 4);
        }
        const std::size_t base = r * recordWords;
        records.put(base + Layout::kObjectClassOffset / 8, objectClass);
        records.put(base + Layout::kObjectNameIndexOffset / 8, name);
        records.put(base + Layout::kObjectOuterOffset / 8, outer);
        const bool empty = (shape & 1) != 0 && r > 2;
        elements.put(i * Layout::kObjectElementSize / 8, empty ? 0 : record(r));
    }
}

void mutate(Reader& in, const Blocks& blocks) {
    while (!in.done()) {
        const Block& block = blocks[in.byte()];
        const std::size_t word = in.bytes(2);
        std::uint64_t value = 0;
        const std::uint8_t tag = in.byte();
        switch (tag % 8) {
        case 1:
            value = in.bytes(8);
            break;
        case 2: {
            const Block& into = blocks[in.byte()];
            const auto offset = static_cast<std::int64_t>(in.bytes(2) % (into.words() + 9)) - 4;
            value = into.begin() + static_cast<std::uint64_t>(offset * 8) + (tag >> 3) % 8;
            break;
        }
        case 3:
            value = in.byte() | static_cast<std::uint64_t>(in.byte()) << 32;
            break;
        case 4:
            value = textWord(std::string_view("Class\0\0\0", 8));
            break;
        case 5:
            value = textWord("CoreUObj");
            break;
        case 6:
            value = textWord(std::string_view("ect\0\0\0\0\0", 8));
            break;
        case 7:
            value = textWord("/Script/");
            break;
        default:
            break;
        }
        block.put(word, value);
    }
}

// The first object on the class chain of `object` that is its own class, within kClassSteps steps,
// read the harness's way; zero for none.
std::uint64_t classClassOf(const Blocks& blocks, std::uint64_t object) {
    std::uint64_t current = object;
    for (std::size_t step = 0; step <= SDK::Discovery::kClassSteps; ++step) {
        std::uint64_t objectClass = 0;
        if (current == 0 || !blocks.readable(current, Layout::kObjectOuterOffset + 8) ||
            !blocks.word(current + Layout::kObjectClassOffset, objectClass)) {
            return 0;
        }
        if (objectClass == current) {
            return current;
        }
        current = objectClass;
    }
    return 0;
}

// The object table's invariants, checked from scratch; `inImage`: the header must lie 8-aligned in the
// image.
bool objectTableHolds(const Blocks& blocks, const ObjectTableFit& fit, bool inImage) {
    const Block& image = blocks[0];
    std::uint64_t chunks = 0;
    std::uint64_t countWord = 0;
    if ((inImage &&
         (fit.table % 8 != 0 || fit.table < image.begin() || fit.table + 40 > image.begin() + image.size)) ||
        !blocks.word(fit.table + 16, chunks) || !blocks.word(fit.table + 32, countWord)) {
        return false;
    }
    const auto count = static_cast<std::int32_t>(countWord >> 32);
    if (count < 1 || static_cast<std::size_t>(count) > SDK::Discovery::kMaxElements) {
        return false;
    }
    const auto walked = static_cast<std::size_t>(count) < SDK::Discovery::kElementsWalked
                            ? static_cast<std::size_t>(count)
                            : SDK::Discovery::kElementsWalked;
    std::size_t nonEmpty = 0;
    std::size_t reaching = 0;
    std::size_t ownClass = 0;
    bool listed = false;
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
        std::uint64_t chunk = 0;
        std::uint64_t object = 0;
        if (!blocks.word(chunks + i / Layout::kObjectsPerChunk * 8, chunk) || chunk == 0 ||
            !blocks.word(chunk + i % Layout::kObjectsPerChunk * Layout::kObjectElementSize, object)) {
            return false;
        }
        if (i >= walked || object == 0) {
            continue;
        }
        ++nonEmpty;
        const std::uint64_t reached = classClassOf(blocks, object);
        reaching += reached == fit.classClass ? 1 : 0;
        ownClass += reached == object ? 1 : 0;
        listed = listed || object == fit.classClass;
    }
    return fit.classClass != 0 && classClassOf(blocks, fit.classClass) == fit.classClass && listed &&
           ownClass == 1 && nonEmpty >= SDK::Discovery::kMinObjects && reaching == fit.supporting &&
           nonEmpty - reaching == fit.against &&
           (nonEmpty - reaching) * SDK::Discovery::kToleranceDivisor <= nonEmpty;
}

// The text of name `index` through `table`, cut after its last "/", read the harness's way.
bool nameIs(const Blocks& blocks, std::uint64_t table, std::uint64_t object, std::string_view expected) {
    std::uint64_t indexWord = 0;
    std::uint64_t chunk = 0;
    std::uint64_t entry = 0;
    if (!blocks.word(object + Layout::kObjectNameIndexOffset, indexWord)) {
        return false;
    }
    const auto index = static_cast<std::int32_t>(indexWord & 0xFFFFFFFFu);
    if (index < 0 ||
        !blocks.word(table + static_cast<std::uint64_t>(index) / Layout::kNamesPerChunk * 8, chunk) ||
        !blocks.word(chunk + static_cast<std::uint64_t>(index) % Layout::kNamesPerChunk * 8, entry)) {
        return false;
    }
    std::vector<char> text;
    for (std::uint64_t at = entry + Layout::kNameEntryTextOffset;; ++at) {
        if (!blocks.readable(at, 1)) {
            return false;
        }
        const char c = *reinterpret_cast<const char*>(at);
        if (c == '\0') {
            break;
        }
        text.push_back(c);
    }
    std::string_view name(text.data(), text.size());
    const std::size_t slash = name.rfind('/');
    if (slash != std::string_view::npos) {
        name = name.substr(slash + 1);
    }
    return name == expected;
}

bool nameTableHolds(const Blocks& blocks, std::uint64_t table, const ObjectTableFit& objects,
                    const platform::ModuleImage& image) {
    bool stored = false;
    for (const platform::MemorySpan& span : image.readableSpans()) {
        for (std::size_t at = 0; at + 8 <= span.size && !stored; ++at) {
            std::uint64_t value = 0;
            if (!blocks.readable(span.address() + at, 8)) {
                break;
            }
            std::memcpy(&value, span.begin + at, 8);
            stored = value == table;
        }
    }
    std::uint64_t outer = 0;
    return stored && nameIs(blocks, table, objects.classClass, "Class") &&
           blocks.word(objects.classClass + Layout::kObjectOuterOffset, outer) &&
           nameIs(blocks, table, outer, "CoreUObject");
}

// The 81 MiB reservation and its three readable windows.
class Reservation {
public:
    static constexpr std::size_t kSize = 81 * (std::size_t{1} << 20);
    static constexpr std::size_t kNameWindow = 56 * (std::size_t{1} << 20);
    static constexpr std::size_t kObjectWindow = 72 * (std::size_t{1} << 20);

    Reservation() {
        void* mapping = ::mmap(nullptr, kSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = mapping == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(mapping);
        for (const std::size_t offset : {std::size_t{0}, kNameWindow, kObjectWindow}) {
            if (base_ != nullptr && ::mprotect(base_ + offset, pageSize(), PROT_READ | PROT_WRITE) != 0) {
                ::munmap(base_, kSize);
                base_ = nullptr;
            }
        }
    }
    ~Reservation() {
        if (base_ != nullptr) {
            ::munmap(base_, kSize);
        }
    }
    Reservation(const Reservation&) = delete;
    Reservation& operator=(const Reservation&) = delete;

    bool mapped() const { return base_ != nullptr; }
    std::uint8_t* code() const { return base_; }
    std::uint8_t* window(bool objectTable) const {
        return base_ + (objectTable ? kObjectWindow : kNameWindow);
    }

private:
    std::uint8_t* base_ = nullptr;
};

template <std::size_t N>
void putInstruction(std::uint8_t* at, const SDK::Signature<N>& signature, Reader& in) {
    for (std::size_t i = 0; i < N; ++i) {
        at[i] = signature.elements[i].fixed ? signature.elements[i].value : in.byte();
    }
}

// Instructions of both patterns in the code window, their targets in the windows.
void plantInstructions(Reader& in, const Blocks& blocks, const Reservation& reservation, bool world) {
    const std::size_t count = in.byte() % 8;
    const std::size_t page = pageSize();
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint8_t shape = in.byte();
        const bool objectTable = (shape & 1) != 0;
        const std::size_t length =
            objectTable ? SDK::kObjectTablePattern.size() : SDK::kNameTablePattern.size();
        std::uint8_t* code = reservation.code() + in.bytes(2) % (page - length);
        std::uint8_t* target = reservation.window(objectTable) + in.bytes(2) % (page - 40);
        if (objectTable) {
            putInstruction(code, SDK::kObjectTablePattern, in);
        } else {
            putInstruction(code, SDK::kNameTablePattern, in);
        }
        const auto displacement =
            static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(target) -
                                       (reinterpret_cast<std::uintptr_t>(code) + SDK::kInstructionLength));
        std::memcpy(code + SDK::kDisplacementOffset, &displacement, sizeof displacement);

        const std::size_t holds = (shape >> 1) % 3;
        const Block& into = blocks[in.byte()];
        const std::uint64_t pointer = into.begin() + in.bytes(2) % (into.words() + 1) * 8;
        if (holds == 0 && world) {
            // The world's tables, as layWorld left them in block 0.
            const Block& lists = blocks[1];
            if (objectTable) {
                const std::uint64_t chunks = lists.begin();
                const std::uint64_t countWord = static_cast<std::uint64_t>(8 + in.byte() % 120) << 32;
                std::memcpy(target + Layout::kObjectTableChunksOffset, &chunks, 8);
                std::memcpy(target + 32, &countWord, 8);
            } else {
                const std::uint64_t names = lists.begin() + lists.words() / 2 * 8;
                std::memcpy(target, &names, 8);
            }
        } else if (holds != 2) {
            if (objectTable) {
                const std::uint64_t countWord = static_cast<std::uint64_t>(in.byte()) << 32;
                std::memcpy(target + Layout::kObjectTableChunksOffset, &pointer, 8);
                std::memcpy(target + 32, &countWord, 8);
            } else {
                std::memcpy(target, &pointer, 8);
            }
        } else {
            const std::uint64_t raw = in.bytes(8);
            std::memcpy(target + (objectTable ? Layout::kObjectTableChunksOffset : 0), &raw, 8);
        }
    }
}

// The harness's own matches of a signature over the image's spans, lowest first: byte by byte.
template <std::size_t N>
std::vector<std::uintptr_t> matchesOf(const SDK::Signature<N>& signature,
                                      const platform::ModuleImage& image) {
    std::vector<std::uintptr_t> matches;
    for (const platform::MemorySpan& span : image.readableSpans()) {
        const std::uint8_t* begin = span.begin;
        for (std::size_t at = 0; at + N <= span.size; ++at) {
            bool match = true;
            for (std::size_t i = 0; i < N && match; ++i) {
                match = !signature.elements[i].fixed || begin[at + i] == signature.elements[i].value;
            }
            if (match) {
                matches.push_back(reinterpret_cast<std::uintptr_t>(begin + at));
            }
        }
    }
    return matches;
}

// Whether `table` is what one of the first kMatchesTried matches refers to: for the object table the
// target itself, for the name table the value its target holds.
template <std::size_t N>
bool fromFirstMatches(const Blocks& blocks, const SDK::Signature<N>& signature,
                      const platform::ModuleImage& image, std::uint64_t table, bool objectTable) {
    const std::vector<std::uintptr_t> matches = matchesOf(signature, image);
    for (std::size_t k = 0; k < matches.size() && k < SDK::kMatchesTried; ++k) {
        std::uint32_t displacement = 0;
        std::memcpy(&displacement, reinterpret_cast<const void*>(matches[k] + SDK::kDisplacementOffset), 4);
        const std::uint64_t target = matches[k] + SDK::kInstructionLength + displacement;
        std::uint64_t held = 0;
        if (!objectTable && !blocks.word(target, held)) {
            continue;
        }
        if ((objectTable ? target : held) == table) {
            return true;
        }
    }
    return false;
}

// initEngineGlobals over the windows and block 0, judged by the harness.
void checkEngineGlobals(const Blocks& blocks, const Reservation& reservation) {
    std::array<platform::MemorySpan, 4> spans = {
        platform::MemorySpan{reservation.code(), pageSize()},
        platform::MemorySpan{reservation.window(false), pageSize()},
        platform::MemorySpan{reservation.window(true), pageSize()},
        platform::MemorySpan{blocks[0].data, blocks[0].size},
    };
    std::sort(spans.begin(), spans.end(),
              [](const platform::MemorySpan& a, const platform::MemorySpan& b) { return a.begin < b.begin; });
    platform::ModuleImage image;
    image.base = spans[0].begin;
    image.size = static_cast<std::size_t>(spans[3].begin + spans[3].size - spans[0].begin);
    for (const platform::MemorySpan& span : spans) {
        image.spans[image.spanCount++] = span;
    }

    const SDK::EngineTables found = SDK::initEngineGlobals(image);
    check(found.objectTable.address == SDK::engineObjectTable &&
          found.nameTable.address == SDK::engineNameTable);
    const auto unproven = [](SDK::TableSource source) {
        return source == SDK::TableSource::NotFound || source == SDK::TableSource::Kept;
    };
    check((found.objectTable.address == 0) == unproven(found.objectTable.source) &&
          (found.nameTable.address == 0) == unproven(found.nameTable.source));
    SDK::ReadableMemory memory(blocks.spans());
    // A kept object table is still empty: a readable header with no elements or no chunk list. The
    // name table is kept only beside it or beside a proven object table, with its variable in the image.
    const SDK::KeptMatches& keptObjects = found.objectTable.kept;
    SDK::ReadableMemory process =
        keptObjects.count > 0 ? SDK::ReadableMemory::ofProcess() : SDK::ReadableMemory();
    check((found.objectTable.source == SDK::TableSource::Kept) == (keptObjects.count > 0));
    for (std::size_t k = 0; k < keptObjects.count; ++k) {
        std::uint64_t chunks = 0;
        std::uint32_t count = 0;
        check(process.read(keptObjects.targets[k] + SDK::Layout::kObjectTableChunksOffset, chunks) &&
              process.read(keptObjects.targets[k] + SDK::Layout::kObjectTableCountOffset, count) &&
              (count == 0 || chunks == 0));
    }
    const SDK::KeptMatches& keptNames = found.nameTable.kept;
    check((found.nameTable.source == SDK::TableSource::Kept) == (keptNames.count > 0));
    check(keptNames.count == 0 || found.objectTable.source == SDK::TableSource::Kept ||
          found.objectTable.address != 0);
    for (std::size_t k = 0; k < keptNames.count; ++k) {
        bool inImage = false;
        for (const platform::MemorySpan& span : image.readableSpans()) {
            inImage = inImage || span.contains(keptNames.targets[k], sizeof(std::uint64_t));
        }
        check(inImage);
    }
    const ObjectTableFit objects = SDK::Discovery::checkObjectTable(SDK::engineObjectTable, memory);
    if (SDK::engineObjectTable != 0) {
        check(objects.table == SDK::engineObjectTable && objectTableHolds(blocks, objects, false));
        check(found.objectTable.source != SDK::TableSource::Pattern ||
              fromFirstMatches(blocks, SDK::kObjectTablePattern, image, SDK::engineObjectTable, true));
    } else {
        // Without an object table the name table is not judged; beside one still empty, only its
        // matches whose variable lies outside the image are passed over.
        check(SDK::engineNameTable == 0 &&
              (found.objectTable.source == SDK::TableSource::Kept || found.nameTable.passedOver.count == 0));
    }
    if (SDK::engineNameTable != 0) {
        check(nameTableHolds(blocks, SDK::engineNameTable, objects, image));
        check(found.nameTable.source != SDK::TableSource::Pattern ||
              fromFirstMatches(blocks, SDK::kNameTablePattern, image, SDK::engineNameTable, false));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    const std::uint8_t flags = in.byte();
    const bool world = (flags & 1) != 0;
    std::size_t count = 1 + in.byte() % 6;
    if (world && count < 5) {
        count = 5;
    }
    Blocks blocks;
    for (std::size_t i = 0; i < count; ++i) {
        if (!blocks.add(1 + in.byte() % 4)) {
            return 0;
        }
    }
    if (world) {
        layWorld(in, blocks);
    }
    const Reservation reservation;
    if (!reservation.mapped()) {
        return 0;
    }
    plantInstructions(in, blocks, reservation, world);
    blocks.adopt(reservation.code(), pageSize());
    blocks.adopt(reservation.window(false), pageSize());
    blocks.adopt(reservation.window(true), pageSize());
    mutate(in, blocks);

    platform::ModuleImage image;
    image.base = blocks[0].data;
    image.size = blocks[0].size + ((flags & 2) != 0 ? pageSize() : 0);
    image.spans[0] = platform::MemorySpan{image.base, image.size};
    image.spanCount = 1;
    SDK::ReadableMemory memory(blocks.spans());

    const ObjectTableFit objects = SDK::Discovery::findObjectTable(image, memory);
    if (objects.table != 0) {
        check(objectTableHolds(blocks, objects, true));
        const std::uintptr_t names = SDK::Discovery::findNameTable(image, memory, objects);
        check(names == 0 || nameTableHolds(blocks, names, objects, image));
        const ObjectTableFit again = SDK::Discovery::checkObjectTable(objects.table, memory);
        check(again.table == objects.table && again.classClass == objects.classClass &&
              again.supporting == objects.supporting);
    }
    // A header anywhere in the blocks, judged alone.
    const Block& some = blocks[flags >> 2];
    const ObjectTableFit judged =
        SDK::Discovery::checkObjectTable(some.begin() + (flags & 0xF8u) * 8u % some.size, memory);
    check(judged.table == 0 || objectTableHolds(blocks, judged, false));

    checkEngineGlobals(blocks, reservation);
    return 0;
}
