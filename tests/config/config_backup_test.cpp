// What a load tells about the file and keeps of it: a rewritten file's former bytes beside it, a
// read-only or unusable file left as it is, a write that failed said once, each in one plain note.
#include "config/config.hpp"
#include "platform/os.hpp"

#include "json_assertions.hpp"
#include "scratch_directory.hpp"

#include <gtest/gtest.h>

#include <exception>
#include <optional>
#include <string>
#include <vector>

#if defined(__linux__)
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace {

using json = nlohmann::json;
using namespace configtest;

const std::string kName = "Brickwright";
const std::string kPath = configPath(kName, true);
const std::string kBackup = kPath + ".bak";

json parse(const char* text) {
    return json::parse(text);
}

class ConfigBackup : public ScratchDirectory {};

TEST_F(ConfigBackup, ARewrittenFileKeepsItsFormerBytesBesideItAndOneNoteSaysWhere) {
    const std::string unreadable =
        "could not read " + kPath + " as JSON; its former text is kept in " + kBackup;
    const std::string rewritten = "rewrote " + kPath + "; its former text is kept in " + kBackup;
    struct Case {
        const char* name;
        std::optional<std::string> before; // nothing: no file
        json defaults;
        std::string after;
        std::string note;
        bool backedUp;
    };
    const Case cases[] = {
        {"malformed", std::string("{\r\n    \"walls\": 20,\r\n"), json(), "null", unreadable, true},
        {"whitespace", std::string(" \r\n\t\n  "), json(), "null", unreadable, true},
        {"malformed, object defaults", std::string("{\"a\": "), parse(R"({"a": 1})"),
         "{\r\n    \"a\": 1\r\n}", unreadable, true},
        {"null with a line end", std::string("null\r\n"), json(), "null", rewritten, true},
        {"an object", std::string("{\"b\": [1, 2], \"a\": 1}"), json(), "{}", rewritten, true},
        {"members out of order", std::string("{\"b\": 2, \"a\": 1}"), parse(R"({"a": 0, "b": 0})"),
         "{\r\n    \"a\": 1,\r\n    \"b\": 2\r\n}", rewritten, true},
        // Nothing to keep: the file already is what would be written, or holds no byte at all.
        {"already written", std::string("null"), json(), "null", "", false},
        {"written with object defaults", std::string("{\r\n    \"a\": 1\r\n}"), parse(R"({"a": 0})"),
         "{\r\n    \"a\": 1\r\n}", "", false},
        {"empty", std::string(), json(), "null", "", false},
        {"absent", std::nullopt, parse(R"({"a": 0})"), "{\r\n    \"a\": 0\r\n}", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all("config");
        fs::create_directory("config");
        // An older backup is replaced only by a newer one.
        writeBytes(kBackup, "an older backup");
        if (c.before) {
            writeBytes(kPath, *c.before);
        }
        const brickwright::ConfigLoad load = brickwright::loadConfigAndTell(kName, c.defaults, true);
        EXPECT_EQ(load.refusal, nullptr);
        EXPECT_PRED_FORMAT2(Identical, json::parse(c.after), load.document);
        EXPECT_EQ(load.note, c.note);
        EXPECT_EQ(readBytes(kPath), c.after);
        EXPECT_EQ(readBytes(kBackup), c.backedUp ? *c.before : std::string("an older backup"));
        EXPECT_EQ(entriesOf("config"), (std::vector<std::string>{"Brickwright.cfg", "Brickwright.cfg.bak"}));
        // loadConfig does the same: the next load finds the written file and keeps the backup.
        EXPECT_PRED_FORMAT2(Identical, json::parse(c.after), loadConfig(kName, c.defaults, true));
        EXPECT_EQ(readBytes(kBackup), c.backedUp ? *c.before : std::string("an older backup"));
    }
    // The file created from nothing has no backup beside it.
    fs::remove_all("config");
    EXPECT_EQ(brickwright::loadConfigAndTell(kName, json(), true).note, "");
    EXPECT_EQ(entriesOf("config"), std::vector<std::string>{"Brickwright.cfg"});
}

TEST_F(ConfigBackup, AReadOnlyFileIsLeftAsItIsAndSaidSoUnlessItHoldsWhatWouldBeWritten) {
    const auto makeReadOnly = [](const std::string& path) {
        const std::optional<platform::FileAccess> access = platform::fileAccess(path.c_str());
        ASSERT_TRUE(access);
        platform::FileAccess readOnly = *access;
        readOnly.readOnly = true;
#if !defined(_WIN32)
        readOnly.bits &= ~std::uint32_t{0222};
#endif
        ASSERT_TRUE(platform::setFileAccess(path.c_str(), readOnly));
        ASSERT_TRUE(platform::fileAccess(path.c_str())->readOnly);
    };
    struct Case {
        const char* before;
        json document;
        std::string note;
    };
    const Case cases[] = {
        {"{\"b\": 1}\r\n", json::object(),
         "did not rewrite " + kPath + ": it is read-only, so it is left as it is"},
        {"{\"b\": ", json(),
         "could not read " + kPath + " as JSON; the file is read-only, so it is left as it is"},
        {"null", json(), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before);
        fs::remove_all("config");
        fs::create_directory("config");
        writeBytes(kPath, c.before);
        makeReadOnly(kPath);
        const brickwright::ConfigLoad load = brickwright::loadConfigAndTell(kName, json(), true);
        EXPECT_PRED_FORMAT2(Identical, c.document, load.document);
        EXPECT_EQ(load.note, c.note);
        EXPECT_EQ(readBytes(kPath), c.before);
        EXPECT_TRUE(platform::fileAccess(kPath.c_str())->readOnly);
        // A plain write does not replace it either, as Windows would not.
        saveConfig(kName, parse(R"({"x": 1})"), true);
        EXPECT_EQ(readBytes(kPath), c.before);
        EXPECT_EQ(entriesOf("config"), std::vector<std::string>{"Brickwright.cfg"});
        // Windows removes no read-only file.
        platform::FileAccess writable = *platform::fileAccess(kPath.c_str());
        writable.readOnly = false;
#if !defined(_WIN32)
        writable.bits |= 0200;
#endif
        ASSERT_TRUE(platform::setFileAccess(kPath.c_str(), writable));
    }
}

TEST_F(ConfigBackup, ARewrittenFileAndItsBackupKeepTheFormerFilesPermissions) {
#if defined(_WIN32)
    constexpr std::uint32_t kBits = 0x2; // FILE_ATTRIBUTE_HIDDEN
#else
    constexpr std::uint32_t kBits = 0640;
#endif
    fs::create_directory("config");
    writeBytes(kPath, "{\"a\": ");
    ASSERT_TRUE(platform::setFileAccess(kPath.c_str(), platform::FileAccess{kBits, false}));
    const std::uint32_t before = platform::fileAccess(kPath.c_str())->bits;
    EXPECT_EQ(brickwright::loadConfigAndTell(kName, json(), true).note,
              "could not read " + kPath + " as JSON; its former text is kept in " + kBackup);
    EXPECT_EQ(readBytes(kPath), "null");
    EXPECT_EQ(platform::fileAccess(kPath.c_str())->bits, before);
    EXPECT_EQ(platform::fileAccess(kBackup.c_str())->bits, before);
    saveConfig(kName, json::object(), true);
    EXPECT_EQ(readBytes(kPath), "{}");
    EXPECT_EQ(platform::fileAccess(kPath.c_str())->bits, before);
}

TEST_F(ConfigBackup, AFileThatCannotBeUsedIsDescribedInPlainWordsAndLeftAsItIs) {
    const std::string start = "could not use " + kPath + ": ";
    const std::string tail = "; only an object or null can be used; it is left as it is";
    struct Case {
        const char* content;
        json defaults;
        std::string note;
    };
    const Case cases[] = {
        {"[1, \"two\"]\n", json(), start + "it holds an array" + tail},
        {"\"walls\"", json(), start + "it holds a string" + tail},
        {"54", json(), start + "it holds a number" + tail},
        {"-1.5e3", parse(R"({"a": 1})"), start + "it holds a number" + tail},
        {"true", json(), start + "it holds a boolean" + tail},
        {"[]", parse(R"({"a": 1})"), start + "it holds an empty array" + tail},
        {"{\"$o\": [1], \"b\": 2}", parse(R"({"$o": {"k": 1}, "b": 0})"),
         start + "its member \"$o\" holds an array; only an object or null can be used there; it is left as "
                 "it is"},
        {"{\"n\": {\"$d\": \"x\"}}", parse(R"({"n": {"$d": {}}})"),
         start +
             "its member \"n.$d\" holds a string; only an object or null can be used there; it is left as it "
             "is"},
    };
    fs::create_directory("config");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        writeBytes(kPath, c.content);
        const brickwright::ConfigLoad load = brickwright::loadConfigAndTell(kName, c.defaults, true);
        EXPECT_EQ(load.note, c.note);
        EXPECT_TRUE(load.document.is_null());
        ASSERT_TRUE(load.refusal);
        // The same error as loadConfig raises.
        const auto raised = [](const auto& call) -> std::string {
            try {
                call();
            } catch (const json::type_error& error) {
                return error.what();
            }
            return "nothing";
        };
        const std::string refusal = raised([&] { std::rethrow_exception(load.refusal); });
        EXPECT_EQ(refusal.substr(0, 29), "[json.exception.type_error.30") << refusal;
        EXPECT_EQ(raised([&] { (void)loadConfig(kName, c.defaults, true); }), refusal);
        EXPECT_EQ(readBytes(kPath), c.content);
        EXPECT_EQ(entriesOf("config"), std::vector<std::string>{"Brickwright.cfg"});
    }

    // Too long, too deep, a directory: the defaults, and the file as it was.
    writeBytes(kPath, "{\"a\": 2}");
    fs::resize_file(kPath, kConfigReadLimit + 1);
    brickwright::ConfigLoad load = brickwright::loadConfigAndTell(kName, parse(R"({"a": 1})"), true);
    EXPECT_EQ(load.note,
              start + "it holds more than 4 MiB, which no configuration does; it is left as it is");
    EXPECT_PRED_FORMAT2(Identical, parse(R"({"a": 1})"), load.document);
    EXPECT_EQ(fs::file_size(kPath), kConfigReadLimit + 1);
    writeBytes(kPath, std::string(kConfigDepthLimit + 1, '['));
    load = brickwright::loadConfigAndTell(kName, json(), true);
    EXPECT_EQ(load.note, start +
                             "it nests arrays and objects more than 512 levels deep, which no configuration "
                             "does; it is left as it is");
    EXPECT_EQ(readBytes(kPath), std::string(kConfigDepthLimit + 1, '['));
    fs::remove(kPath);
    fs::create_directory(kPath);
    load = brickwright::loadConfigAndTell(kName, json(), true);
    EXPECT_EQ(load.note, start + "it is a directory, not a file; it is left as it is");
    EXPECT_TRUE(fs::is_directory(kPath));
    EXPECT_EQ(entriesOf("config"), std::vector<std::string>{"Brickwright.cfg"});
}

TEST_F(ConfigBackup, AFileThatCannotBeWrittenIsSaidOnceWithTheSystemsReason) {
    // A file where the directory should be: nothing can be created inside it.
    writeBytes("config", "a file, not a directory");
    brickwright::ConfigLoad load = brickwright::loadConfigAndTell(kName, json(), true);
    const std::string start = "could not write " + kPath + ": cannot create " + kPath + ".tmp: ";
    ASSERT_EQ(load.note.substr(0, start.size()), start);
    EXPECT_GT(load.note.size(), start.size()) << "no reason given";
    EXPECT_EQ(load.note.find('\n'), std::string::npos);
    EXPECT_TRUE(load.document.is_null());
    EXPECT_EQ(readBytes("config"), "a file, not a directory");
    fs::remove("config");

    // A backup that cannot be made: the file is not touched either.
    fs::create_directory("config");
    writeBytes(kPath, "{\"a\": ");
    fs::create_directories(kBackup + "/inside");
    load = brickwright::loadConfigAndTell(kName, json(), true);
    const std::string kept =
        "could not keep the former text of " + kPath + " in " + kBackup + " (cannot move ";
    ASSERT_EQ(load.note.substr(0, kept.size()), kept);
    EXPECT_TRUE(load.note.ends_with("); " + kPath + " is left as it is")) << load.note;
    EXPECT_EQ(readBytes(kPath), "{\"a\": ");
    EXPECT_EQ(entriesOf("config"), (std::vector<std::string>{"Brickwright.cfg", "Brickwright.cfg.bak"}));
}

TEST_F(ConfigBackup, AFileWhoseBytesDifferButNotItsLengthIsRewrittenWithItsBackup) {
    const std::string unreadable =
        "could not read " + kPath + " as JSON; its former text is kept in " + kBackup;
    const std::string rewritten = "rewrote " + kPath + "; its former text is kept in " + kBackup;
    struct Case {
        std::string before;
        json defaults;
        std::string after;
        std::string note;
    };
    const std::string objectA1 = "{\r\n    \"a\": 1\r\n}";
    const Case cases[] = {
        {"nulL", json(), "null", unreadable},
        {"NULL", json(), "null", unreadable},
        // Another member of the same length, another value of the same length.
        {"{\r\n    \"b\": 1\r\n}", parse(R"({"a": 1})"), objectA1, rewritten},
        {"{\r\n    \"a\":1 \r\n}", parse(R"({"a": 1})"), objectA1, rewritten},
        // Line ends of the same length: LF and two spaces where CR LF and four spaces would be.
        {"{\n     \"a\": 1 \n}", parse(R"({"a": 0})"), objectA1, rewritten},
        // Byte for byte what would be written: nothing to do.
        {objectA1, parse(R"({"a": 0})"), objectA1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before);
        fs::remove_all("config");
        fs::create_directory("config");
        ASSERT_EQ(c.before.size(), c.after.size());
        writeBytes(kPath, c.before);
        const brickwright::ConfigLoad load = brickwright::loadConfigAndTell(kName, c.defaults, true);
        EXPECT_EQ(load.note, c.note);
        EXPECT_EQ(readBytes(kPath), c.after);
        if (c.note.empty()) {
            EXPECT_EQ(entriesOf("config"), std::vector<std::string>{"Brickwright.cfg"});
        } else {
            EXPECT_EQ(readBytes(kBackup), c.before);
        }
    }
}

// A link whose end does not exist (yet): a file created there; a link that cannot be followed: a note.
TEST_F(ConfigBackup, ALinkedFileIsReadAndRewrittenThroughItsLinkWithItsBackupBesideTheLink) {
    fs::create_directories("config");
    fs::create_directories("elsewhere/deeper");
    std::error_code linked;
    fs::create_symlink("../elsewhere/real.cfg", kPath, linked);
    if (linked) {
        GTEST_SKIP() << "this system makes no symbolic links here: " << linked.message();
    }
    std::error_code readBack;
    if (!fs::is_symlink(kPath, readBack) || fs::read_symlink(kPath, readBack) != "../elsewhere/real.cfg") {
        // Wine makes the link but cannot read it back as one.
        GTEST_SKIP() << "this system's symbolic links cannot be read back here";
    }
    const auto isLinkTo = [](const fs::path& target) {
        return fs::is_symlink(kPath) && fs::read_symlink(kPath) == target;
    };

    // A relative link: the target changes, the link stays, the backup lies beside the link.
    writeBytes("elsewhere/real.cfg", "{\"a\": ");
    brickwright::ConfigLoad load = brickwright::loadConfigAndTell(kName, parse(R"({"a": 1})"), true);
    EXPECT_EQ(load.note, "could not read " + kPath + " as JSON; its former text is kept in " + kBackup);
    EXPECT_PRED_FORMAT2(Identical, parse(R"({"a": 1})"), load.document);
    EXPECT_TRUE(isLinkTo("../elsewhere/real.cfg"));
    EXPECT_EQ(readBytes("elsewhere/real.cfg"), "{\r\n    \"a\": 1\r\n}");
    EXPECT_FALSE(fs::is_symlink(kBackup));
    EXPECT_EQ(readBytes(kBackup), "{\"a\": ");
    EXPECT_EQ(entriesOf("config"), (std::vector<std::string>{"Brickwright.cfg", "Brickwright.cfg.bak"}));
    EXPECT_EQ(entriesOf("elsewhere"), (std::vector<std::string>{"deeper", "real.cfg"})) << "a temporary left";

    // What it already holds is read through the link and left alone; saveConfig writes through it too.
    EXPECT_EQ(brickwright::loadConfigAndTell(kName, parse(R"({"a": 0})"), true).note, "");
    saveConfig(kName, parse(R"({"b": 2})"), true);
    EXPECT_TRUE(isLinkTo("../elsewhere/real.cfg"));
    EXPECT_EQ(readBytes("elsewhere/real.cfg"), "{\r\n    \"b\": 2\r\n}");

    // A chain of two links, the second absolute: the end of the chain is written.
    const fs::path absolute = fs::absolute("elsewhere/deeper/end.cfg");
    fs::remove("elsewhere/real.cfg");
    fs::create_symlink(absolute, "elsewhere/real.cfg");
    writeBytes(absolute, "{}");
    load = brickwright::loadConfigAndTell(kName, json(), true);
    EXPECT_EQ(load.note, "");
    EXPECT_PRED_FORMAT2(Identical, json::object(), load.document);
    writeBytes(absolute, "[ ]");
    load = brickwright::loadConfigAndTell(kName, json(), true);
    EXPECT_EQ(load.note, "rewrote " + kPath + "; its former text is kept in " + kBackup);
    EXPECT_EQ(readBytes(absolute), "[]");
    EXPECT_TRUE(fs::is_symlink("elsewhere/real.cfg"));
    EXPECT_EQ(fs::read_symlink("elsewhere/real.cfg"), absolute);
    EXPECT_TRUE(isLinkTo("../elsewhere/real.cfg"));
    EXPECT_EQ(readBytes(kBackup), "[ ]");

    // A dangling link: its target is created, as for a file that is not there, without a word.
    fs::remove(absolute);
    load = brickwright::loadConfigAndTell(kName, parse(R"({"a": 1})"), true);
    EXPECT_EQ(load.note, "");
    EXPECT_EQ(readBytes(absolute), "{\r\n    \"a\": 1\r\n}");
    EXPECT_TRUE(isLinkTo("../elsewhere/real.cfg"));

    // One into a folder that is not there: said once, with the system's reason; the link stays.
    fs::remove(kPath);
    fs::create_symlink("../gone/real.cfg", kPath);
    load = brickwright::loadConfigAndTell(kName, json(), true);
    const std::string start = "could not write " + kPath + ": cannot create " +
                              (fs::path("config") / "../gone/real.cfg.tmp").string() + ": ";
    EXPECT_EQ(load.note.substr(0, start.size()), start) << load.note;
    EXPECT_GT(load.note.size(), start.size());
    EXPECT_TRUE(isLinkTo("../gone/real.cfg"));
    EXPECT_FALSE(fs::exists("gone"));

    // Links that lead round in a circle: nothing is written, and the links stay.
    fs::remove(kPath);
    fs::create_symlink("Brickwright.cfg.loop", kPath);
    fs::create_symlink("Brickwright.cfg", kPath + ".loop");
    load = brickwright::loadConfigAndTell(kName, json(), true);
    EXPECT_EQ(load.note, "could not write " + kPath + ": its links lead round in a circle");
    EXPECT_TRUE(isLinkTo("Brickwright.cfg.loop"));
}

TEST_F(ConfigBackup, ReadingAFileWithoutWaitingReadsOnlyARegularFileWithinItsLimit) {
    using Outcome = platform::FileRead::Outcome;
#if defined(_WIN32)
    const char* device = "NUL";
#else
    const char* device = "/dev/null";
#endif
    const platform::FileRead fromDevice = platform::readRegularFile(device, 16);
    EXPECT_EQ(fromDevice.outcome, Outcome::NotRegular);
    EXPECT_EQ(fromDevice.bytes, "");

    writeBytes("plain", std::string("a\r\nb\0c", 6));
    platform::FileRead read = platform::readRegularFile("plain", 6);
    EXPECT_EQ(read.outcome, Outcome::Read);
    EXPECT_EQ(read.bytes, std::string("a\r\nb\0c", 6));
    read = platform::readRegularFile("plain", 5);
    EXPECT_EQ(read.outcome, Outcome::TooLarge);
    EXPECT_EQ(read.bytes, "");
    writeBytes("empty", "");
    read = platform::readRegularFile("empty", 0);
    EXPECT_EQ(read.outcome, Outcome::Read);
    EXPECT_EQ(read.bytes, "");

    read = platform::readRegularFile("missing", 16);
    EXPECT_EQ(read.outcome, Outcome::CannotOpen);
    EXPECT_FALSE(read.reason.empty());
    EXPECT_FALSE(platform::canOpenForReading("missing"));
    EXPECT_TRUE(platform::canOpenForReading("plain"));
}

#if defined(__linux__)

// Runs the load on a thread of its own; a load that still waits after a few seconds fails the test,
// and the FIFO, if there is one, is then given a writer so that the thread can end.
brickwright::ConfigLoad loadWithin(std::chrono::seconds limit, const json& defaults) {
    std::future<brickwright::ConfigLoad> load =
        std::async(std::launch::async, [&] { return brickwright::loadConfigAndTell(kName, defaults, true); });
    if (load.wait_for(limit) == std::future_status::timeout) {
        ADD_FAILURE() << "the load still waits after " << limit.count() << " s";
        const int writer = ::open(kPath.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) {
            ::close(writer);
        }
    }
    return load.get();
}

TEST_F(ConfigBackup, WhatIsNotARegularFileIsLeftAsItIsAtOnceWithOneNote) {
    const std::string note = "could not use " + kPath + ": it is not a regular file; it is left as it is";
    const json defaults = parse(R"({"a": 1})");
    fs::create_directory("config");

    // A FIFO without a writer: an open for reading would wait for one for ever.
    ASSERT_EQ(::mkfifo(kPath.c_str(), 0644), 0) << std::strerror(errno);
    brickwright::ConfigLoad load = loadWithin(std::chrono::seconds(10), defaults);
    EXPECT_EQ(load.note, note);
    EXPECT_PRED_FORMAT2(Identical, defaults, load.document);
    EXPECT_EQ(load.refusal, nullptr);
    EXPECT_EQ(fs::status(kPath).type(), fs::file_type::fifo);
    EXPECT_TRUE(configFileExists(kName, true)); // and it did not wait either
    saveConfig(kName, defaults, true);
    EXPECT_EQ(fs::status(kPath).type(), fs::file_type::fifo);
    EXPECT_EQ(entriesOf("config"), std::vector<std::string>{"Brickwright.cfg"});
    // Reading it, had it been swapped in after a check, does not wait and reads nothing.
    const platform::FileRead read = platform::readRegularFile(kPath.c_str(), kConfigReadLimit);
    EXPECT_EQ(read.outcome, platform::FileRead::Outcome::NotRegular);
    EXPECT_EQ(read.bytes, "");
    // Nor through a link.
    fs::rename(kPath, "config/fifo");
    fs::create_symlink("fifo", kPath);
    load = loadWithin(std::chrono::seconds(10), defaults);
    EXPECT_EQ(load.note, note);
    EXPECT_TRUE(fs::is_symlink(kPath));
    EXPECT_EQ(fs::status("config/fifo").type(), fs::file_type::fifo);
    fs::remove(kPath);
    fs::remove("config/fifo");

    // A socket, which no one can open as a file, root included.
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string where = (directory() / kPath).string();
    ASSERT_LT(where.size(), sizeof address.sun_path);
    where.copy(address.sun_path, where.size());
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    load = loadWithin(std::chrono::seconds(10), defaults);
    ::close(listener);
    EXPECT_EQ(load.note, note);
    EXPECT_PRED_FORMAT2(Identical, defaults, load.document);
    EXPECT_EQ(fs::status(kPath).type(), fs::file_type::socket);
    EXPECT_EQ(entriesOf("config"), std::vector<std::string>{"Brickwright.cfg"});
    fs::remove(kPath);

    // A device behind a link: neither read nor written, and the link stays.
    fs::create_symlink("/dev/null", kPath);
    load = loadWithin(std::chrono::seconds(10), defaults);
    EXPECT_EQ(load.note, note);
    EXPECT_EQ(fs::read_symlink(kPath), "/dev/null");
    EXPECT_EQ(platform::readRegularFile("/dev/null", 16).outcome, platform::FileRead::Outcome::NotRegular);
}

TEST_F(ConfigBackup, AFileThatIsThereButCannotBeReadIsNotReplacedByTheDefaults) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads a file without read permission";
    }
    fs::create_directory("config");
    writeBytes(kPath, "{\"b\": 1}");
    fs::permissions(kPath, fs::perms::owner_write);
    const brickwright::ConfigLoad load = brickwright::loadConfigAndTell(kName, parse(R"({"a": 1})"), true);
    fs::permissions(kPath, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(load.note,
              "could not use " + kPath + ": it cannot be read (Permission denied); it is left as it is");
    EXPECT_PRED_FORMAT2(Identical, parse(R"({"a": 1})"), load.document);
    EXPECT_EQ(readBytes(kPath), "{\"b\": 1}");
    EXPECT_EQ(entriesOf("config"), std::vector<std::string>{"Brickwright.cfg"});
}
#endif

} // namespace
