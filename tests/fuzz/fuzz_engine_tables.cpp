// Engine worlds built from arbitrary bytes: names with slashes, negative or unknown name indices,
// any numbers, null classes, outer chains that loop, null chunks in either table, absent tables and
// element counts beyond the chunks in place. Every pointer in such a world points into memory this
// harness allocated (an arbitrary pointer could not be made safe), and the name indices stay inside
// the name table's chunk array, whose chunks not in place are null.
//
// Invariants: naming, full names, the allocation-free comparison and the search return (no crash, no
// hang), the comparison answers what comparing the built full name answers, and the search finds
// what a walk comparing built full names finds.
//
// Input, read from the front (missing bytes read as zero):
//   flags: 1 no name table, 2 no object table, 4 name chunk 0 cleared, 8 object chunk 0 cleared,
//          16 count overridden, 32 no chunk list, 64 one name entry cleared
//   name count (mod 17), then per name: length (mod 33) and its bytes
//   object count (mod 49), then per object: kind, name, number, class, outer
//     kind % 8 == 0: an empty element (no further bytes)
//     name: below F0 an index into the names above; else a raw little-endian int32 follows
//     number: below F0 that byte as a signed 8-bit value; else a raw int32 follows
//     class, outer: 0 null, else object (k - 1) mod the number of objects
//   with flag 16: the element count, a raw int32; with flag 64: which name entry (mod name count)
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/engine.hpp"
#include "sdk/engine_layout.hpp"
#include "sdk/objects.hpp"
#include "standin/engine_world.hpp"

namespace {

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }

    std::int32_t int32() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value |= static_cast<std::uint32_t>(byte()) << (8 * i);
        }
        return static_cast<std::int32_t>(value);
    }

    std::string text(std::size_t length) {
        std::string result;
        for (std::size_t i = 0; i < length; ++i) {
            result.push_back(static_cast<char>(byte()));
        }
        return result;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

struct Planned {
    bool empty = true;
    std::uint8_t classSelector = 0;
    std::uint8_t outerSelector = 0;
};

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

constexpr std::string_view kClassClass = "Class CoreUObject.Class";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    standin::EngineWorld world;
    const std::uint8_t flags = in.byte();

    std::vector<std::int32_t> names;
    const std::size_t nameCount = in.byte() % 17;
    for (std::size_t i = 0; i < nameCount; ++i) {
        // Raw entries, duplicates kept: a text holding a NUL simply ends there.
        names.push_back(world.addNameEntry(in.text(in.byte() % 33)));
    }

    constexpr auto kIndexLimit =
        static_cast<std::int64_t>(standin::EngineWorld::kNameChunkCapacity * SDK::Layout::kNamesPerChunk);
    std::vector<Planned> plan;
    std::vector<SDK::UObject*> elements;
    std::vector<SDK::UObject*> objects;
    const std::size_t objectCount = in.byte() % 49;
    for (std::size_t i = 0; i < objectCount; ++i) {
        if (in.byte() % 8 == 0) {
            world.addEmptyElement();
            elements.push_back(nullptr);
            continue;
        }
        std::int32_t nameIndex = 0;
        const std::uint8_t name = in.byte();
        if (name < 0xF0) {
            nameIndex = names.empty() ? name : names[name % names.size()];
        } else {
            nameIndex = in.int32();
            if (nameIndex >= 0) {
                nameIndex = static_cast<std::int32_t>(nameIndex % kIndexLimit);
            }
        }
        const std::uint8_t numberByte = in.byte();
        const std::int32_t number = numberByte < 0xF0 ? static_cast<std::int8_t>(numberByte) : in.int32();
        Planned planned;
        planned.empty = false;
        planned.classSelector = in.byte();
        planned.outerSelector = in.byte();
        plan.push_back(planned);
        SDK::UObject* object = world.addObjectWithNameIndex(nameIndex, number, nullptr, nullptr);
        elements.push_back(object);
        objects.push_back(object);
    }
    for (std::size_t i = 0; i < objects.size(); ++i) {
        auto select = [&](std::uint8_t selector) -> SDK::UObject* {
            return selector == 0 ? nullptr : objects[(selector - 1u) % objects.size()];
        };
        world.setClass(objects[i], select(plan[i].classSelector));
        world.setOuter(objects[i], select(plan[i].outerSelector));
    }

    std::int32_t count = world.objectCount();
    if (flags & 16) {
        count = in.int32();
        world.setObjectCount(count);
    }
    if ((flags & 64) && !names.empty()) {
        world.clearNameEntry(names[in.byte() % names.size()]);
    }
    if (flags & 4) {
        world.clearNameChunk(0);
    }
    if (flags & 8) {
        world.clearObjectChunk(0);
    }
    if (flags & 32) {
        world.clearChunkList();
    }
    world.install();
    if (flags & 1) {
        SDK::engineNameTable = 0;
    }
    if (flags & 2) {
        SDK::engineObjectTable = 0;
    }

    std::vector<std::string> targets = {std::string(kClassClass), ""};
    for (const SDK::UObject* object : objects) {
        const std::string name = object->objectName();
        const std::string fullName = object->objectFullName();
        check(name.find('/') == std::string::npos);
        check(object->hasFullName(fullName));
        check(object->hasFullName(kClassClass) == (fullName == kClassClass));
        if (targets.size() < 6 && !fullName.empty()) {
            targets.push_back(fullName);
        }
    }

    // All the world's objects lie in chunk 0, so a cleared chunk 0 or chunk list hides every one.
    const bool hidden = (flags & (2 | 8 | 32)) != 0;
    for (const std::string& target : targets) {
        const SDK::UObject* expected = nullptr;
        for (std::size_t i = 0;
             !hidden && count > 0 && i < elements.size() && i < static_cast<std::size_t>(count); ++i) {
            if (elements[i] != nullptr && elements[i]->objectFullName() == target) {
                expected = elements[i];
                break;
            }
        }
        check(SDK::findObjectByFullName(target) == expected);
        for (const SDK::UObject* object : objects) {
            check(object->hasFullName(target) == (object->objectFullName() == target));
        }
    }

    SDK::engineNameTable = 0;
    SDK::engineObjectTable = 0;
    return 0;
}
