// Loading the mod library: its configuration file is read, reconciled with the null defaults and
// written back before the descriptor is filled in; a rewritten file's former text is kept beside it,
// a file that cannot be used or is read-only is left alone, the log says so in one warning, and the
// library still loads.
#include <gmock/gmock.h>

#include "mod_test_support.hpp"

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

namespace {

using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

#if defined(_WIN32)
constexpr char kConfigPath[] = "config\\Brickwright.cfg";
#else
constexpr char kConfigPath[] = "config/Brickwright.cfg";
#endif

struct LoadCase {
    const char* name;
    bool present;
    const char* before;
    // What the file holds after the load.
    const char* after;
    // The one warning the load logs, without the mod's name in front; empty when it logs none.
    std::string warning;
    // The file's former text was kept in the backup.
    bool backedUp = false;
    // The file was made read-only before the load.
    bool readOnly = false;
};

struct LoadResult {
    std::vector<std::string> entries;
    bool exists = false;
    std::string file;
    bool backupExists = false;
    std::string backup;
};

// The file's bytes as they are on disk; `exists` false when it cannot be opened.
std::string readBytes(const std::filesystem::path& path, bool& exists) {
    std::ifstream in(path, std::ios::binary);
    exists = in.is_open();
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One load of the library in a fresh directory; returns the journal of the load and the files after it.
LoadResult loadOnce(const LoadCase& c) {
    modtest::ScratchDirectory scratch;
    EXPECT_TRUE(standin::openLogFile(scratch.path() / "host.log"));
    const std::filesystem::path config = scratch.path() / "config" / "Brickwright.cfg";
    if (c.present) {
        std::filesystem::create_directory(scratch.path() / "config");
        modtest::writeBinaryFile(config, c.before);
        if (c.readOnly) {
            using std::filesystem::perms;
            std::filesystem::permissions(config, perms::owner_read | perms::group_read | perms::others_read);
        }
    }
    standin::startJournal();
    const auto loaded = standin::loadModLibrary(modtest::modLibraryPath());
    EXPECT_TRUE(loaded) << c.name << ": " << (loaded ? "" : loaded.error().message);
    standin::ModLibrary* library = loaded.value_or(nullptr);
    LoadResult result;
    result.entries = standin::journal();
    standin::stopJournal();
    if (library != nullptr) {
        // The descriptor is in place before the host can ask for a mod.
        standin::clearJournal();
        SML::Mod::Mod* mod = standin::createMod(library);
        EXPECT_EQ(mod->info().name, "Brickwright") << c.name;
        standin::destroyMod(mod);
        EXPECT_TRUE(standin::unloadModLibrary(library)) << c.name;
    }
    standin::closeLogFile();
    result.file = readBytes(config, result.exists);
    std::filesystem::path backup = config;
    backup += ".bak";
    result.backup = readBytes(backup, result.backupExists);
    if (c.readOnly) {
        // The scratch directory is removed afterwards, on Windows only without the attribute.
        std::filesystem::permissions(config, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
    }
    return result;
}

TEST(LibraryLoad, TheConfigurationFileEndsUpAsTheLoadTableSaysAndWhatALoadDidBesidesIsOneWarning) {
    const std::string path = kConfigPath;
    const std::string malformed =
        "could not read " + path + " as JSON; its former text is kept in " + path + ".bak";
    const std::string rewritten = "rewrote " + path + "; its former text is kept in " + path + ".bak";
    const auto refused = [&](const char* what) {
        return "could not use " + path + ": it holds " + what +
               "; only an object or null can be used; it is left as it is";
    };
    const LoadCase cases[] = {
        {"absent", false, "", "null", ""},
        {"empty", true, "", "null", ""},
        {"whitespace", true, " \r\n\t\n", "null", malformed, true},
        {"malformed", true, "{\"a\": ", "null", malformed, true},
        {"null", true, "null", "null", ""},
        {"null and a line end", true, "null\r\n", "null", rewritten, true},
        {"object", true, "{\r\n  \"b\": [1, 2],\r\n  \"a\": {\"c\": true}\r\n}", "{}", rewritten, true},
        {"empty array", true, "[ ]", "[]", rewritten, true},
        {"non-empty array", true, "[1, \"two\"]\n", "[1, \"two\"]\n", refused("an array")},
        {"string", true, "\"text\"", "\"text\"", refused("a string")},
        {"number", true, "12.5", "12.5", refused("a number")},
        {"boolean", true, "true", "true", refused("a boolean")},
        {"read-only object", true, "{\"a\": 1}", "{\"a\": 1}",
         "did not rewrite " + path + ": it is read-only, so it is left as it is", false, true},
        {"read-only null", true, "null", "null", "", false, true},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const LoadResult result = loadOnce(c);
        EXPECT_TRUE(result.exists);
        EXPECT_EQ(result.file, c.after);
        EXPECT_EQ(result.backupExists, c.backedUp);
        if (c.backedUp) {
            EXPECT_EQ(result.backup, c.before);
        }
        if (c.warning.empty()) {
            EXPECT_THAT(result.entries, IsEmpty());
        } else {
            EXPECT_THAT(result.entries, ElementsAreArray(modtest::logLineEntries(
                                            "Brickwright " + c.warning, SML::Utility::LogType::Warning)));
        }
    }
}

TEST(LibraryLoad, ARefusedConfigurationIsReportedInTheHostsLogFileAsAWarning) {
    modtest::ScratchDirectory scratch;
    ASSERT_TRUE(standin::openLogFile(scratch.path() / "host.log"));
    std::filesystem::create_directory(scratch.path() / "config");
    modtest::writeBinaryFile(scratch.path() / "config" / "Brickwright.cfg", "[1]");
    const auto library = standin::loadModLibrary(modtest::modLibraryPath());
    ASSERT_TRUE(library) << library.error().message;
    EXPECT_TRUE(standin::unloadModLibrary(*library));
    standin::closeLogFile();
    const std::string log = modtest::readTextFile(scratch.path() / "host.log");
    const std::string line = std::string("[Brickwright] [Warning] Brickwright could not use ") + kConfigPath +
                             ": it holds an array; only an object or null can be used; it is left as it is\n";
    EXPECT_NE(log.find(line), std::string::npos) << log;
}

TEST(LibraryLoad, AFileThatIsNotAModLibraryIsRefusedWithAReason) {
    modtest::ScratchDirectory scratch;
    modtest::writeBinaryFile(scratch.path() / "NotAMod.bin", "not a library");
    const auto library = standin::loadModLibrary(scratch.path() / "NotAMod.bin");
    ASSERT_FALSE(library);
    EXPECT_THAT(library.error().message, ::testing::HasSubstr("cannot load"));
    EXPECT_THAT(library.error().message, ::testing::HasSubstr("NotAMod.bin"));
}

#if !defined(_WIN32)
TEST(LibraryLoad, UnloadingReallyRemovesTheLibrarySoTheNextLoadStartsAfresh) {
    modtest::ScratchDirectory scratch;
    const auto library = standin::loadModLibrary(modtest::modLibraryPath());
    ASSERT_TRUE(library) << library.error().message;
    const std::string path = modtest::modLibraryPath().string();
    void* again = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(again, nullptr);
    if (again != nullptr) {
        dlclose(again);
    }
    EXPECT_TRUE(standin::unloadModLibrary(*library));
    EXPECT_EQ(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
}
#endif

} // namespace
