// Arbitrary bytes as the configuration file, loaded against one of several defaults documents.
// Input: one selector byte (bits 0-5 pick the defaults, bit 6 removes the file instead, bit 7 drops
// the configuration directory from the path), then the file's content.
// Holds when: nothing crashes; the only exceptions that leave are the type errors 305 and 307, and
// then the file is byte for byte what it was; otherwise the file holds the returned document in
// the written format, reconciling that document again changes nothing, the defaults are intact, and
// a file whose bytes changed has them kept in "<path>.bak" (an empty one has none to keep).
#include "config/config.hpp"
#include "files.hpp"
#include "json_identity.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace {

using json = nlohmann::json;
namespace fs = std::filesystem;

const std::string kName = "Fuzz";

fs::path startDirectory;
fs::path workDirectory;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    // Back where libFuzzer was started, so that the crashing input lands where it is looked for.
    std::error_code ignored;
    fs::current_path(startDirectory, ignored);
    std::abort();
}

// The configuration path is relative, so each input runs in the private directory; between inputs
// libFuzzer's own relative paths (corpus, artifacts) must mean what they meant at the start.
class InWorkDirectory {
public:
    InWorkDirectory() { fs::current_path(workDirectory); }
    ~InWorkDirectory() { fs::current_path(startDirectory); }
    InWorkDirectory(const InWorkDirectory&) = delete;
    InWorkDirectory& operator=(const InWorkDirectory&) = delete;
};

using testsupport::identical;
using testsupport::readBytes;

const std::vector<json>& defaultsDocuments() {
    static const std::vector<json> documents = {
        json(),
        json::object(),
        json::array(),
        json::parse(
            R"({"a": 1, "b": {"c": true, "d": [1, 2], "$e": {"f": 0.5}}, "$g": "s", "h": null, "i": -1})"),
        json::parse(R"({"$o": {"k": 1}, "$e": {}, "list": [1, 2], "f": 0.5, "u": 4, "s": ""})"),
        json::parse(R"({"name": "", "nested": {"deeper": {"deepest": {"n": 0}}}, "$any": null})"),
        json::parse("[1, 2]"),
        json(5),
        json("text"),
        json(true),
        json(2.5),
    };
    return documents;
}

std::string written(const json& document) {
    std::string text;
    for (const char c : document.dump(4, ' ', false, json::error_handler_t::strict)) {
        if (c == '\n') {
            text.push_back('\r');
        }
        text.push_back(c);
    }
    return text;
}

void removeWorkDirectory() {
    std::error_code ignored;
    fs::remove_all(workDirectory, ignored);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // In memory where there is such a place: every input costs a handful of file operations.
    std::error_code noShm;
    const fs::path base =
        fs::is_directory("/dev/shm", noShm) ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "brickwright-fuzz-config-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        fail("no private directory");
    }
    workDirectory = pattern;
    startDirectory = fs::current_path();
    std::fprintf(stderr, "configuration files are written in %s\n", pattern.c_str());
    std::atexit(removeWorkDirectory);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::uint8_t selector = data[0];
    const std::vector<json>& documents = defaultsDocuments();
    const json& defaults = documents[(selector & 0x3Fu) % documents.size()];
    const bool absent = (selector & 0x40u) != 0;
    const bool useDirectory = (selector & 0x80u) == 0;
    const std::string content(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string path = configPath(kName, useDirectory);
    const InWorkDirectory inWorkDirectory;

    std::error_code ignored;
    fs::remove_all("config", ignored);
    fs::remove(kName + ".cfg", ignored);
    fs::remove(kName + ".cfg.bak", ignored);
    if (!absent) {
        fs::create_directory("config");
        std::ofstream(path, std::ios::binary)
            .write(content.data(), static_cast<std::streamsize>(content.size()));
    }
    const json defaultsBefore = defaults;

    json result;
    try {
        result = loadConfig(kName, defaults, useDirectory);
    } catch (const json::type_error& e) {
        if (e.id != 305 && e.id != 307) {
            fail("a type error other than 305 or 307 left loadConfig");
        }
        if (absent || readBytes(path) != content) {
            fail("the file changed although loadConfig raised");
        }
        if (!identical(defaults, defaultsBefore)) {
            fail("the defaults changed");
        }
        return 0;
    } catch (...) {
        fail("an exception other than the library's type errors left loadConfig");
    }

    if (!identical(defaults, defaultsBefore)) {
        fail("the defaults changed");
    }
    if (readBytes(path) != written(result)) {
        fail("the file does not hold the returned document");
    }
    if (absent) {
        if (!identical(result, defaults)) {
            fail("without a file the result is not the defaults");
        }
    } else if (!identical(reconcileConfig(result, defaults), result)) {
        fail("reconciling the result again changed it");
    }
    if (!fs::exists("config") && useDirectory) {
        fail("the configuration directory was not made");
    }
    if (fs::exists(path + ".tmp") || fs::exists(path + ".bak.tmp")) {
        fail("a temporary was left behind");
    }
    const bool changed = !absent && !content.empty() && content != written(result);
    if (changed ? readBytes(path + ".bak") != content : fs::exists(path + ".bak")) {
        fail(changed ? "the former bytes are not kept in the backup" : "a backup was made of nothing lost");
    }
    return 0;
}
