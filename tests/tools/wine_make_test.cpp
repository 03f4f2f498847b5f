// --make on real code: function starts taken from the exports of the DLLs that Wine installs. Every
// pattern the tool prints must match, by plain comparison over the laid-out image, exactly once and
// at its RVA, or, where it says there is no unique one, exactly as often as it says.
#include "pe/image.hpp"

#include "command.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using toolstest::quote;

const fs::path kWineDlls = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";
constexpr std::size_t kFunctions = 500;
constexpr std::size_t kPerDll = 10;

std::vector<int> parsePattern(const std::string& text) {
    std::vector<int> pattern;
    std::istringstream tokens(text);
    for (std::string token; tokens >> token;) {
        pattern.push_back(token == "??" ? -1 : std::stoi(token, nullptr, 16));
    }
    return pattern;
}

// Every offset at which `pattern` matches; its first byte is never a wildcard.
std::vector<std::uint64_t> plainMatches(const pe::Image& image, const std::vector<int>& pattern) {
    std::vector<std::uint64_t> offsets;
    if (pattern.empty() || pattern[0] < 0 || pattern.size() > image.size()) {
        ADD_FAILURE() << "a pattern must begin with a fixed byte";
        return offsets;
    }
    const std::uint8_t* data = image.data();
    const std::size_t last = image.size() - pattern.size();
    for (std::size_t offset = 0; offset <= last;) {
        const void* found = std::memchr(data + offset, pattern[0], last - offset + 1);
        if (found == nullptr) {
            break;
        }
        offset = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - data);
        bool match = true;
        for (std::size_t i = 1; i < pattern.size() && match; ++i) {
            match = pattern[i] < 0 || data[offset + i] == pattern[i];
        }
        if (match) {
            offsets.push_back(offset);
        }
        ++offset;
    }
    return offsets;
}

struct Dll {
    fs::path path;
    std::vector<std::uint8_t> file;
    pe::LoadedImage loaded;
    std::vector<std::uint32_t> functions;
};

// Up to kPerDll exported functions of the DLL, spread over its exports in RVA order: named exports
// that are not forwarders and lie in executable sections, each RVA once.
std::vector<std::uint32_t> functionStarts(const pe::Headers& headers, const pe::Image& image) {
    std::set<std::uint32_t> starts;
    for (const pe::Export& entry : pe::exports(headers, image.bytes())) {
        const pe::Section* section = headers.sectionAt(entry.rva);
        if (!entry.forwarder && section != nullptr && section->executable()) {
            starts.insert(entry.rva);
        }
    }
    const std::vector<std::uint32_t> all(starts.begin(), starts.end());
    std::vector<std::uint32_t> chosen;
    const std::size_t step = std::max<std::size_t>(1, all.size() / kPerDll);
    for (std::size_t i = 0; i < all.size() && chosen.size() < kPerDll; i += step) {
        chosen.push_back(all[i]);
    }
    return chosen;
}

TEST(SigcheckMakeOnWineDlls, EveryPrintedPatternMatchesWhereAndAsOftenAsItSays) {
    std::vector<fs::path> paths;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(kWineDlls, error)) {
        if (entry.path().extension() == ".dll") {
            paths.push_back(entry.path());
        }
    }
    if (paths.size() < 20) {
        GTEST_SKIP() << "Wine's Windows DLLs are not installed";
    }
    std::sort(paths.begin(), paths.end());

    // DLLs spread over the sorted list (every stride-th, then the ones between), kPerDll functions
    // from each, until there are kFunctions.
    std::vector<std::size_t> order;
    const std::size_t stride = std::max<std::size_t>(1, paths.size() / (kFunctions / kPerDll));
    for (std::size_t first = 0; first < stride; ++first) {
        for (std::size_t i = first; i < paths.size(); i += stride) {
            order.push_back(i);
        }
    }
    std::vector<Dll> dlls;
    std::size_t total = 0;
    for (std::size_t index = 0; index < order.size() && total < kFunctions; ++index) {
        const std::size_t i = order[index];
        Dll dll;
        dll.path = paths[i];
        dll.file = testsupport::readByteVector(dll.path);
        brickwright::Result<pe::LoadedImage> loaded = pe::load(dll.file);
        if (!loaded) {
            continue;
        }
        dll.loaded = std::move(*loaded);
        dll.functions = functionStarts(dll.loaded.headers, dll.loaded.image);
        dll.functions.resize(std::min(dll.functions.size(), kFunctions - total));
        total += dll.functions.size();
        if (!dll.functions.empty()) {
            dlls.push_back(std::move(dll));
        }
    }
    ASSERT_EQ(total, kFunctions);

    std::size_t unique = 0;
    std::size_t longLists = 0; // more other matches than are listed
    std::vector<std::size_t> lengths;
    std::vector<std::size_t> allLengths;
    std::chrono::steady_clock::duration spent{};
    for (const Dll& dll : dlls) {
        SCOPED_TRACE(dll.path.filename().string());
        std::string command = quote(SIGCHECK_EXECUTABLE) + " --make --json";
        for (const std::uint32_t rva : dll.functions) {
            command += ' ' + std::to_string(rva);
        }
        command += ' ' + quote(dll.path.string());
        const auto started = std::chrono::steady_clock::now();
        const std::optional<testsupport::ShellRun> ran = testsupport::runShell(command);
        ASSERT_TRUE(ran.has_value()) << "cannot run " << command;
        const std::string& out = ran->out;
        const int status = ran->waitStatus;
        spent += std::chrono::steady_clock::now() - started;
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_LE(WEXITSTATUS(status), 1) << "an exported function start could not be used";

        const json report = json::parse(out);
        ASSERT_EQ(report["patterns"].size(), dll.functions.size());
        bool allUnique = true;
        for (std::size_t i = 0; i < dll.functions.size(); ++i) {
            const json& made = report["patterns"][i];
            SCOPED_TRACE(made.dump());
            ASSERT_EQ(made["rva"], dll.functions[i]);
            ASSERT_FALSE(made.contains("error"));
            const std::string text = made["pattern"];
            const std::vector<int> pattern = parsePattern(text);
            EXPECT_EQ(made["length"], pattern.size());
            EXPECT_LE(pattern.size(), 64u);
            EXPECT_GE(pattern.back(), 0) << "trailing wildcard";
            const std::vector<std::uint64_t> offsets = plainMatches(dll.loaded.image, pattern);
            allLengths.push_back(pattern.size());
            if (made["unique"]) {
                EXPECT_EQ(offsets, std::vector<std::uint64_t>{dll.functions[i]});
                ++unique;
                lengths.push_back(pattern.size());
            } else {
                allUnique = false;
                EXPECT_EQ(offsets.size(), made["matches"]);
                EXPECT_GT(offsets.size(), 1u);
                EXPECT_NE(std::find(offsets.begin(), offsets.end(), dll.functions[i]), offsets.end());
                // The other places, lowest first, as many as it lists.
                std::vector<std::uint64_t> others = offsets;
                std::erase(others, dll.functions[i]);
                others.resize(std::min<std::size_t>(others.size(), 16));
                EXPECT_EQ(made["other_rvas"].get<std::vector<std::uint64_t>>(), others);
                longLists += offsets.size() > 17 ? 1u : 0u;
            }
        }
        EXPECT_EQ(WEXITSTATUS(status), allUnique ? 0 : 1);
    }

    std::sort(lengths.begin(), lengths.end());
    std::sort(allLengths.begin(), allLengths.end());
    const double seconds = std::chrono::duration<double>(spent).count();
    std::printf("%zu function starts in %zu DLLs: %zu unique within 64 bytes, median length of those %zu "
                "bytes (of all %zu), %.2f s for all (%zu processes)\n",
                total, dlls.size(), unique, lengths.empty() ? 0 : lengths[lengths.size() / 2],
                allLengths[allLengths.size() / 2], seconds, dlls.size());
    // What cannot be unique: Wine's stubs for unimplemented functions, which differ only in the
    // addresses of their names (wildcards), and functions identical to another for 64 bytes. Here they
    // are about 45%; real code is the rest.
    EXPECT_GE(unique, kFunctions / 2);
    // The stubs are alike enough that some lists are cut at 16: the cut is checked, too.
    EXPECT_GT(longLists, 0u);
}

} // namespace
