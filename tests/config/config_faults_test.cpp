// The configuration file when something is wrong with it or with the disk beneath it: no crash, no
// hang, the documented document, and nothing lost that a load is not meant to lose.
#include "config/config.hpp"

#include "json_assertions.hpp"
#include "scratch_directory.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#if defined(__linux__)
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>
#endif

namespace {

using json = nlohmann::json;
using namespace configtest;

const std::string kName = "Brickwright";
const std::string kPath = configPath(kName, true);

json parse(const char* text) {
    return json::parse(text);
}

// A literal's bytes, NULs included.
template <std::size_t N> std::string withNul(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

class ConfigFaults : public ScratchDirectory {};

TEST_F(ConfigFaults, AFileWhereTheConfigDirectoryShouldBeIsLeftAloneAndTheDefaultsAreUsed) {
    writeBytes("config", "a file, not a directory");
    EXPECT_FALSE(configFileExists(kName, true));
    EXPECT_PRED_FORMAT2(Identical, json(), loadConfig(kName, json(), true));
    EXPECT_PRED_FORMAT2(Identical, parse(R"({"a": 1})"), loadConfig(kName, parse(R"({"a": 1})"), true));
    saveConfig(kName, json::object(), true);
    EXPECT_EQ(readBytes("config"), "a file, not a directory");
    EXPECT_EQ(entriesOf("."), std::vector<std::string>{"config"});
}

TEST_F(ConfigFaults, ADirectoryAtTheConfigurationPathIsLeftAloneAndTheDefaultsAreUsed) {
    fs::create_directories(kPath);
    writeBytes(fs::path(kPath) / "inside", "kept");
    EXPECT_PRED_FORMAT2(Identical, json(), loadConfig(kName, json(), true));
    EXPECT_PRED_FORMAT2(Identical, parse(R"({"a": 1})"), loadConfig(kName, parse(R"({"a": 1})"), true));
    saveConfig(kName, parse(R"({"a": 1})"), true);
    EXPECT_TRUE(fs::is_directory(kPath));
    EXPECT_EQ(readBytes(fs::path(kPath) / "inside"), "kept");
    EXPECT_EQ(entriesOf("config"), std::vector<std::string>{"Brickwright.cfg"})
        << "a temporary was left behind";
}

TEST_F(ConfigFaults, AFileThatEndsMidLineIsReadUpToItsLastByte) {
    const json defaults = parse(R"({"a": 0, "b": true})");
    fs::create_directory("config");
    // Cut inside a value: malformed, so the defaults replace it.
    writeBytes(kPath, "{\r\n    \"a\": 1,\r\n    \"b\": tr");
    EXPECT_PRED_FORMAT2(Identical, defaults, loadConfig(kName, defaults, true));
    EXPECT_EQ(readBytes(kPath), "{\r\n    \"a\": 0,\r\n    \"b\": true\r\n}");
    // Cut after the value, before a line end that never came: the last line still counts.
    writeBytes(kPath, "{\r\n    \"a\": 1,\r\n    \"b\": false}");
    EXPECT_PRED_FORMAT2(Identical, parse(R"({"a": 1, "b": false})"), loadConfig(kName, defaults, true));
    // Cut between a CR and its LF.
    writeBytes(kPath, "{\"a\": 2}\r");
    EXPECT_PRED_FORMAT2(Identical, parse(R"({"a": 2, "b": true})"), loadConfig(kName, defaults, true));
}

TEST_F(ConfigFaults, ANulByteEndsTheTextForTheParserAndInsideAStringMakesItMalformed) {
    // The library reads a NUL outside a string as the end of its input: what follows is not seen, and
    // the rewrite drops it. Inside a string it is an unescaped control character.
    const json defaults = parse(R"({"a": 0})");
    fs::create_directory("config");
    writeBytes(kPath, withNul("{\"a\": 1}\0 and whatever follows"));
    EXPECT_PRED_FORMAT2(Identical, parse(R"({"a": 1})"), loadConfig(kName, defaults, true));
    EXPECT_EQ(readBytes(kPath), "{\r\n    \"a\": 1\r\n}");
    for (const std::string& content :
         {withNul("{\"a\": 1\0}"), withNul("\0{\"a\": 1}"), withNul("{\"a\": 1, \"$x\": \"a\0b\"}")}) {
        writeBytes(kPath, content);
        EXPECT_PRED_FORMAT2(Identical, defaults, loadConfig(kName, defaults, true));
        EXPECT_EQ(readBytes(kPath), "{\r\n    \"a\": 0\r\n}");
    }
}

TEST_F(ConfigFaults, InvalidUtf8MakesTheFileMalformed) {
    const json defaults = parse(R"({"s": "d"})");
    fs::create_directory("config");
    for (const char* content :
         {"{\"s\": \"\xFF\"}", "{\"s\": \"\xC0\xAF\"}", "{\"s\": \"\xED\xA0\x80\"}",
          "{\"s\": \"ab\xE2\x82\"}", "{\"s\": \"\xF4\x90\x80\x80\"}", "{\"\xFE\": 1}"}) {
        SCOPED_TRACE(content);
        writeBytes(kPath, content);
        EXPECT_PRED_FORMAT2(Identical, defaults, loadConfig(kName, defaults, true));
        EXPECT_EQ(readBytes(kPath), "{\r\n    \"s\": \"d\"\r\n}");
    }
}

TEST_F(ConfigFaults, ALongFileWithinTheReadLimitIsReadAndWrittenBackWhole) {
    const std::string blob(kConfigReadLimit - 64, 'x');
    const std::string text = "{\r\n    \"blob\": \"" + blob + "\",\r\n    \"n\": 1\r\n}";
    ASSERT_LE(text.size(), kConfigReadLimit);
    fs::create_directory("config");
    writeBytes(kPath, text);
    const json loaded = loadConfig(kName, parse(R"({"blob": "", "n": 0})"), true);
    ASSERT_TRUE(loaded["blob"].is_string());
    EXPECT_EQ(loaded["blob"].get_ref<const std::string&>().size(), blob.size());
    EXPECT_EQ(readBytes(kPath), text);
}

TEST_F(ConfigFaults, AFileLongerThanTheReadLimitIsLeftAsItIsAndTheDefaultsAreUsed) {
    const json defaults = parse(R"({"a": 1})");
    fs::create_directory("config");
    // Exactly at the limit the file is read (the parser stops at the first NUL of the padding).
    writeBytes(kPath, "{\"a\": 2}");
    fs::resize_file(kPath, kConfigReadLimit);
    EXPECT_PRED_FORMAT2(Identical, parse(R"({"a": 2})"), loadConfig(kName, defaults, true));
    EXPECT_EQ(readBytes(kPath), "{\r\n    \"a\": 2\r\n}");
    // One byte more and it is not a configuration: untouched.
    writeBytes(kPath, "{\"a\": 2}");
    fs::resize_file(kPath, kConfigReadLimit + 1);
    EXPECT_PRED_FORMAT2(Identical, defaults, loadConfig(kName, defaults, true));
    EXPECT_PRED_FORMAT2(Identical, json(), loadConfig(kName, json(), true));
    EXPECT_EQ(fs::file_size(kPath), kConfigReadLimit + 1);
    std::ifstream in(kPath, std::ios::binary);
    std::string head(8, '\0');
    in.read(head.data(), 8);
    EXPECT_EQ(head, "{\"a\": 2}");
    in.close();
    // Tens of MB of perfectly good JSON are no different.
    const std::string text = "{\"a\": \"" + std::string(24u << 20, 'y') + "\"}";
    writeBytes(kPath, text);
    EXPECT_PRED_FORMAT2(Identical, parse(R"({"$a": 0})"), loadConfig(kName, parse(R"({"$a": 0})"), true));
    EXPECT_EQ(readBytes(kPath), text);
    // Only the file read whole at the limit was rewritten, and its former bytes kept.
    EXPECT_EQ(entriesOf("config"), (std::vector<std::string>{"Brickwright.cfg", "Brickwright.cfg.bak"}));
    EXPECT_EQ(fs::file_size(kPath + ".bak"), kConfigReadLimit);
}

TEST_F(ConfigFaults, ADocumentNestedPastTheDepthLimitIsLeftAsItIsAndTheDefaultsAreUsed) {
    const json defaults = parse(R"({"$any": 0})");
    const auto nested = [](std::size_t depth) {
        return "{\"$any\": " + std::string(depth, '[') + std::string(depth, ']') + "}";
    };
    fs::create_directory("config");
    // The object itself is one level, so the arrays may take all but one: read and written back.
    writeBytes(kPath, nested(kConfigDepthLimit - 1));
    const json deepest = loadConfig(kName, defaults, true);
    EXPECT_EQ(deepest["$any"].dump(),
              std::string(kConfigDepthLimit - 1, '[') + std::string(kConfigDepthLimit - 1, ']'));
    const std::optional<std::string> written = readBytes(kPath);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->substr(0, 29), "{\r\n    \"$any\": [\r\n        [\r\n");
    EXPECT_EQ(json::parse(*written), deepest);
    // Deeper: kept as it is, whether or not the defaults would have kept it, and whether or not it
    // is well-formed; a document that never closes is not built level by level first.
    for (const std::string& text : {nested(kConfigDepthLimit), nested(100000), std::string(1000000, '[')}) {
        writeBytes(kPath, text);
        EXPECT_PRED_FORMAT2(Identical, defaults, loadConfig(kName, defaults, true));
        EXPECT_PRED_FORMAT2(Identical, json(), loadConfig(kName, json(), true));
        EXPECT_EQ(readBytes(kPath), text);
    }
    // Brackets inside strings, escaped quotes included, are text.
    const std::string inString = "{\"$any\": \"\\\"" + std::string(2 * kConfigDepthLimit, '[') + "\"}";
    writeBytes(kPath, inString);
    EXPECT_EQ(loadConfig(kName, defaults, true)["$any"], "\"" + std::string(2 * kConfigDepthLimit, '['));
}

#if defined(__linux__)

TEST_F(ConfigFaults, AFileThatNeverEndsIsReadOnlyUpToTheLimitAndLeftAsItIs) {
    fs::create_directory("config");
    fs::create_symlink("/dev/zero", kPath);
    EXPECT_TRUE(configFileExists(kName, true));
    EXPECT_PRED_FORMAT2(Identical, json(), loadConfig(kName, json(), true));
    EXPECT_PRED_FORMAT2(Identical, parse(R"({"a": 1})"), loadConfig(kName, parse(R"({"a": 1})"), true));
    EXPECT_TRUE(fs::is_symlink(kPath));
    EXPECT_EQ(fs::read_symlink(kPath), "/dev/zero");
    EXPECT_EQ(entriesOf("config"), std::vector<std::string>{"Brickwright.cfg"});
}

// A tmpfs of a few pages, mounted over a directory of the test's own and unmounted when it ends.
class SmallDisk {
public:
    explicit SmallDisk(const fs::path& where) : where_(where) {
        fs::create_directory(where_);
        if (::mount("tmpfs", where_.c_str(), "tmpfs", 0, "size=64k") == 0) {
            mounted_ = true;
        } else {
            reason_ = std::strerror(errno);
        }
    }
    ~SmallDisk() {
        if (mounted_) {
            ::umount2(where_.c_str(), MNT_DETACH);
        }
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& reason() const { return reason_; }

    // Writes a filler file until the disk refuses more; true when it did.
    bool fill() const {
        const int fd = ::open((where_ / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) {
            return false;
        }
        const std::string block(4096, 'f');
        bool full = false;
        for (int i = 0; i < 1024 && !full; ++i) {
            full = ::write(fd, block.data(), block.size()) < 0 && errno == ENOSPC;
        }
        // The last partial block may have gone in: fill byte by byte what is left.
        while (full && ::write(fd, "f", 1) == 1) {
        }
        ::close(fd);
        return full;
    }

private:
    fs::path where_;
    bool mounted_ = false;
    std::string reason_;
};

TEST_F(ConfigFaults, AFullDiskLeavesTheOldFileWholeAndNoTemporaryBehind) {
    SmallDisk disk(directory() / "disk");
    if (!disk.mounted()) {
        GTEST_SKIP() << "a tmpfs cannot be mounted here (" << disk.reason() << "); this needs root";
    }
    fs::current_path(directory() / "disk");
    const json defaults = parse(R"({"a": 1, "b": "two"})");
    fs::create_directory("config");
    const std::string old = "{\"a\": 2}";
    writeBytes(kPath, old);
    ASSERT_TRUE(disk.fill());

    EXPECT_PRED_FORMAT2(Identical, parse(R"({"a": 2, "b": "two"})"), loadConfig(kName, defaults, true));
    EXPECT_EQ(readBytes(kPath), old);
    saveConfig(kName, json::object(), true);
    EXPECT_EQ(readBytes(kPath), old);
    EXPECT_EQ(entriesOf("config"), std::vector<std::string>{"Brickwright.cfg"});
    // Without the old file the defaults are still returned, and nothing half-written appears.
    EXPECT_PRED_FORMAT2(Identical, defaults, loadConfig("Other", defaults, true));
    EXPECT_FALSE(configFileExists("Other", true));

    // With room again, a document larger than the whole disk still cannot cost the old file.
    fs::remove("filler");
    saveConfig(kName, json{{"a", std::string(128 * 1024, 'x')}}, true);
    EXPECT_EQ(readBytes(kPath), old);
    EXPECT_EQ(entriesOf("config"), std::vector<std::string>{"Brickwright.cfg"});
    // And once it fits, it is written.
    EXPECT_PRED_FORMAT2(Identical, parse(R"({"a": 2, "b": "two"})"), loadConfig(kName, defaults, true));
    EXPECT_EQ(readBytes(kPath), "{\r\n    \"a\": 2,\r\n    \"b\": \"two\"\r\n}");

    fs::current_path(directory());
}

#else

TEST_F(ConfigFaults, AFileThatNeverEndsIsReadOnlyUpToTheLimitAndLeftAsItIs) {
    GTEST_SKIP() << "needs an endless device to link to; the read limit itself is tested above";
}

TEST_F(ConfigFaults, AFullDiskLeavesTheOldFileWholeAndNoTemporaryBehind) {
    GTEST_SKIP() << "needs a small tmpfs mounted for the test, which only Linux offers here";
}

#endif

} // namespace
