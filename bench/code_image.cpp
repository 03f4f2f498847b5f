#include "code_image.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "pe/image.hpp"
#include "reference_scan.hpp"
#include "sdk/engine_patterns.hpp"
#include "sdk/instruction.hpp"
#include "sdk/pattern_scan.hpp"
#include "sdk/signature.hpp"
#include "standin/engine_world.hpp"

namespace bench {

namespace {

constexpr const char* kWineDllDirectory = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";
constexpr const char* kLlvmLibrary = "/usr/lib/llvm-14/lib/libLLVM-14.so.1";
constexpr std::size_t kMaxCodeBytes = std::size_t{128} << 20;

// Room after the code for the planted instructions' targets: a displacement with top byte 04 reaches
// at most 80 MiB.
constexpr std::size_t kReserveBytes = (std::size_t{80} << 20) + (std::size_t{1} << 20);

std::vector<std::uint8_t> readRange(std::ifstream& file, std::uint64_t offset, std::uint64_t size) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    file.seekg(static_cast<std::streamoff>(offset));
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (!file) {
        return {};
    }
    return bytes;
}

template <typename T> T field(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    T value{};
    if (offset + sizeof value <= bytes.size()) {
        std::memcpy(&value, bytes.data() + offset, sizeof value);
    }
    return value;
}

// The loaded bytes of every ".text" section, as the PE reader of brickwright-sigcheck finds them.
std::vector<std::uint8_t> peText(std::ifstream& file) {
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    const std::vector<std::uint8_t> bytes =
        size > 0 ? readRange(file, 0, static_cast<std::uint64_t>(size)) : std::vector<std::uint8_t>{};
    const brickwright::Result<pe::Headers> parsed = pe::parseHeaders(bytes);
    std::vector<std::uint8_t> text;
    if (!parsed) {
        return text;
    }
    for (const pe::Section& section : parsed->sections) {
        if (section.name == ".text") {
            const auto* first = bytes.data() + section.rawDataOffset;
            text.insert(text.end(), first, first + section.loadedSize());
        }
    }
    return text;
}

std::vector<std::uint8_t> elfText(std::ifstream& file, const std::vector<std::uint8_t>& head) {
    if (head[4] != 2 || head[5] != 1) { // 64-bit, little-endian
        return {};
    }
    const auto sectionTable = field<std::uint64_t>(head, 0x28);
    const auto entrySize = field<std::uint16_t>(head, 0x3A);
    const auto count = field<std::uint16_t>(head, 0x3C);
    const auto namesIndex = field<std::uint16_t>(head, 0x3E);
    if (entrySize < 64 || namesIndex >= count) {
        return {};
    }
    const std::vector<std::uint8_t> table = readRange(file, sectionTable, std::uint64_t{entrySize} * count);
    if (table.empty()) {
        return {};
    }
    auto header = [&](std::size_t i, std::size_t offset) {
        return field<std::uint64_t>(table, i * entrySize + offset);
    };
    const std::vector<std::uint8_t> names =
        readRange(file, header(namesIndex, 0x18), header(namesIndex, 0x20));
    for (std::size_t i = 0; i < count; ++i) {
        const auto nameOffset = field<std::uint32_t>(table, i * entrySize);
        if (nameOffset + 6 <= names.size() && std::memcmp(names.data() + nameOffset, ".text", 6) == 0) {
            return readRange(file, header(i, 0x18), header(i, 0x20));
        }
    }
    return {};
}

// Plants the signature's fixed bytes at `at` with a displacement of at least `displacement` that makes
// the target 16-aligned, as a compiler places the engine's globals: the world is laid out there.
template <std::size_t N>
void plant(std::uint8_t* at, const SDK::Signature<N>& signature, std::uint32_t displacement) {
    const std::uintptr_t target =
        reinterpret_cast<std::uintptr_t>(at) + SDK::kInstructionLength + displacement;
    displacement += static_cast<std::uint32_t>((16 - target % 16) % 16);
    for (std::size_t i = 0; i < N; ++i) {
        if (signature.elements[i].fixed) {
            at[i] = signature.elements[i].value;
        }
    }
    std::memcpy(at + SDK::kDisplacementOffset, &displacement, sizeof displacement);
}

// The lowest match, checked against the reference loop: a benchmark of wrong answers is worthless.
template <std::size_t N>
std::size_t lowestMatch(const SDK::Signature<N>& signature, std::span<const std::uint8_t> code) {
    std::vector<std::uint8_t> bytes;
    std::string mask;
    for (const SDK::PatternByte& element : signature.elements) {
        bytes.push_back(element.fixed ? element.value : 0);
        mask.push_back(element.fixed ? 'x' : '?');
    }
    const std::uint8_t* fast = SDK::scanForPattern(bytes.data(), mask.c_str(), code.data(), code.size());
    const std::uint8_t* slow = reference::scan(bytes.data(), mask.c_str(), code.data(), code.size());
    if (fast != slow) {
        std::fprintf(stderr, "brickwright-bench: the fast scan and the reference disagree on this image\n");
        std::exit(1);
    }
    return fast == nullptr ? Image::kNoMatch : static_cast<std::size_t>(fast - code.data());
}

std::uint8_t* targetOf(const Image& image, std::size_t match) {
    if (match == Image::kNoMatch) {
        return nullptr;
    }
    const std::uint64_t target =
        SDK::relativeTarget(match + SDK::kInstructionLength,
                            SDK::readDisplacement(image.code.data() + match + SDK::kDisplacementOffset));
    return target < image.whole.size() && image.whole.size() - target >= 64
               ? image.whole.data() + static_cast<std::size_t>(target)
               : nullptr;
}

} // namespace

std::vector<std::uint8_t> codeSections(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<std::uint8_t> head = readRange(file, 0, 64);
    if (head.size() != 64) {
        return {};
    }
    if (head[0] == 'M' && head[1] == 'Z') {
        return peText(file);
    }
    if (std::memcmp(head.data(),
                    "\x7F"
                    "ELF",
                    4) == 0) {
        return elfText(file, head);
    }
    return {};
}

brickwright::Result<Image> buildImage(const std::string& rawFile) {
    std::vector<std::uint8_t> code;
    std::string description;
    if (!rawFile.empty()) {
        std::ifstream file(rawFile, std::ios::binary | std::ios::ate);
        const std::streamoff size = file ? static_cast<std::streamoff>(file.tellg()) : 0;
        code = file ? readRange(file, 0, static_cast<std::uint64_t>(size)) : std::vector<std::uint8_t>{};
        if (code.empty()) {
            return brickwright::fail("cannot read the image " + rawFile);
        }
        description = rawFile + " (raw, as it is)";
    } else {
        std::vector<std::string> sources;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(kWineDllDirectory, error)) {
            if (entry.path().extension() == ".dll") {
                sources.push_back(entry.path().string());
            }
        }
        std::sort(sources.begin(), sources.end());
        const std::size_t dlls = sources.size();
        sources.push_back(kLlvmLibrary);
        std::size_t used = 0;
        for (const std::string& source : sources) {
            if (code.size() >= kMaxCodeBytes) {
                break;
            }
            const std::vector<std::uint8_t> text = codeSections(source);
            code.insert(code.end(), text.begin(),
                        text.begin() +
                            static_cast<std::ptrdiff_t>(std::min(text.size(), kMaxCodeBytes - code.size())));
            if (!text.empty()) {
                ++used;
            }
        }
        if (code.size() < 4096) {
            return brickwright::fail(std::string("no machine code found in ") + kWineDllDirectory + " or " +
                                     kLlvmLibrary + "; use --image FILE");
        }
        description = ".text of " + std::to_string(used) + " files (" + std::to_string(dlls) +
                      " Wine DLLs, " + kLlvmLibrary + "), both patterns planted near the end";
    }

    // Zero-filled by the system page by page: the reserve costs nothing until something is put there.
    const std::size_t whole = code.size() + kReserveBytes;
    auto* storage = static_cast<std::uint8_t*>(std::calloc(whole, 1));
    if (storage == nullptr) {
        return brickwright::fail("out of memory");
    }
    std::memcpy(storage, code.data(), code.size());

    Image image;
    image.code = std::span<const std::uint8_t>(storage, code.size());
    image.whole = std::span<std::uint8_t>(storage, whole);
    if (rawFile.empty()) {
        // The name-table pattern's variable 48 MiB on, the object table 64 MiB on, both inside the reserve.
        plant(storage + code.size() - 4096, SDK::kNameTablePattern, 0x0300'0000);
        plant(storage + code.size() - 2048, SDK::kObjectTablePattern, 0x0400'0000);
    }
    image.nameTableMatch = lowestMatch(SDK::kNameTablePattern, image.code);
    image.objectTableMatch = lowestMatch(SDK::kObjectTablePattern, image.code);
    image.nameTableVariable = targetOf(image, image.nameTableMatch);
    image.objectTableTarget = targetOf(image, image.objectTableMatch);
    image.description = std::move(description);
    return image;
}

namespace {

// About as many objects as the stand-in game's world, the class for classes past the first chunk.
constexpr std::size_t kPlantedObjects = 72000;

class GameLikeWorld {
public:
    explicit GameLikeWorld(void* header) : engine_(header) {
        SDK::UObject* core = engine_.addObject("/Script/CoreUObject", nullptr, nullptr);
        SDK::UObject* enginePackage = engine_.addObject("/Script/Engine", nullptr, nullptr);
        SDK::UObject* packageClass = engine_.addObject("Package", nullptr, core);
        SDK::UObject* mesh = engine_.addObject("StaticMesh", nullptr, enginePackage);
        SDK::UObject* generated = engine_.addObject("BlueprintGeneratedClass", nullptr, enginePackage);
        SDK::UObject* wall = engine_.addObject("Build_Wall_C", generated, enginePackage);
        for (std::size_t i = 0; static_cast<std::size_t>(engine_.objectCount()) < kPlantedObjects; ++i) {
            if (i == 66000) {
                classClass_ = engine_.addClassClass(core);
            } else if (i % 7 == 3) {
                engine_.addEmptyElement();
            } else {
                engine_.addObject("SM_Prop" + std::to_string(i % 97), static_cast<std::int32_t>(i % 5),
                                  i % 3 == 0 ? wall : mesh, enginePackage);
            }
        }
        for (SDK::UObject* object : {packageClass, mesh, generated}) {
            engine_.setClass(object, classClass_);
        }
        engine_.setClass(core, packageClass);
        engine_.setClass(enginePackage, packageClass);
    }

    PlantedWorld planted() const {
        return PlantedWorld{engine_.nameTable(), reinterpret_cast<std::uintptr_t>(engine_.objectTable()),
                            reinterpret_cast<std::uintptr_t>(classClass_)};
    }

private:
    standin::EngineWorld engine_;
    SDK::UClass* classClass_ = nullptr;
};

} // namespace

const PlantedWorld* plantedWorld() {
    static const std::unique_ptr<GameLikeWorld> world = []() -> std::unique_ptr<GameLikeWorld> {
        const Image& shared = image();
        if (shared.nameTableVariable == nullptr || shared.objectTableTarget == nullptr ||
            reinterpret_cast<std::uintptr_t>(shared.objectTableTarget) % 16 != 0) {
            return nullptr;
        }
        auto made = std::make_unique<GameLikeWorld>(shared.objectTableTarget);
        const void* nameTable = made->planted().nameTable;
        std::memcpy(shared.nameTableVariable, &nameTable, sizeof nameTable);
        return made;
    }();
    static const PlantedWorld planted = world == nullptr ? PlantedWorld{} : world->planted();
    return world == nullptr ? nullptr : &planted;
}

std::string byteFrequencyTable(std::span<const std::uint8_t> bytes) {
    std::array<std::uint64_t, 256> counts{};
    for (const std::uint8_t b : bytes) {
        ++counts[b];
    }
    const double total = bytes.empty() ? 1.0 : static_cast<double>(bytes.size());
    std::string table;
    for (std::size_t value = 0; value < 256; ++value) {
        const auto perShare =
            static_cast<unsigned long>(std::llround(static_cast<double>(counts[value]) * 65536.0 / total));
        table += (value % 16 == 0 ? "    " : " ") + std::to_string(perShare) + ",";
        if (value % 16 == 15) {
            table += " //\n";
        }
    }
    return table;
}

platform::ModuleImage moduleImage() {
    const Image& shared = image();
    platform::ModuleImage module;
    module.base = shared.whole.data();
    module.size = shared.whole.size();
    module.spans[0] = platform::MemorySpan{shared.whole.data(), shared.whole.size()};
    module.spanCount = 1;
    return module;
}

} // namespace bench
