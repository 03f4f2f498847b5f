// Loading the mod library: its configuration file is read, reconciled with the null defaults and
// written back before the descriptor is filled in; a file that cannot be used is left alone and the
// log says why, and the library still loads.
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
    // The type the reconciliation could not work with; empty when the configuration was used.
    const char* refusedType;
};

// One load of the library in a fresh directory; returns the journal of the load.
std::vector<std::string> loadOnce(const LoadCase& c, std::string& fileAfter, bool& existsAfter) {
    modtest::ScratchDirectory scratch;
    EXPECT_TRUE(standin::openLogFile(scratch.path() / "host.log"));
    const std::filesystem::path config = scratch.path() / "config" / "Brickwright.cfg";
    if (c.present) {
        std::filesystem::create_directory(scratch.path() / "config");
        modtest::writeBinaryFile(config, c.before);
    }
    standin::startJournal();
    const auto loaded = standin::loadModLibrary(modtest::modLibraryPath());
    EXPECT_TRUE(loaded) << c.name << ": " << (loaded ? "" : loaded.error().message);
    standin::ModLibrary* library = loaded.value_or(nullptr);
    std::vector<std::string> entries = standin::journal();
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
    std::ifstream in(config, std::ios::binary);
    existsAfter = in.is_open();
    fileAfter.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return entries;
}

TEST(LibraryLoad, TheConfigurationFileEndsUpAsTheLoadTableSaysAndAnUnusableOneIsReportedOnce) {
    const LoadCase cases[] = {
        {"absent", false, "", "null", ""},
        {"empty", true, "", "null", ""},
        {"whitespace", true, " \r\n\t\n", "null", ""},
        {"malformed", true, "{\"a\": ", "null", ""},
        {"null", true, "null", "null", ""},
        {"object", true, "{\r\n  \"b\": [1, 2],\r\n  \"a\": {\"c\": true}\r\n}", "{}", ""},
        {"empty array", true, "[ ]", "[]", ""},
        {"non-empty array", true, "[1, \"two\"]\n", "[1, \"two\"]\n", "array"},
        {"string", true, "\"text\"", "\"text\"", "string"},
        {"number", true, "12.5", "12.5", "number"},
        {"boolean", true, "true", "true", "boolean"},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string after;
        bool exists = false;
        const std::vector<std::string> entries = loadOnce(c, after, exists);
        EXPECT_TRUE(exists);
        EXPECT_EQ(after, c.after);
        if (std::string(c.refusedType).empty()) {
            EXPECT_THAT(entries, IsEmpty());
        } else {
            const std::string message = std::string("Brickwright could not use ") + kConfigPath +
                                        ": [json.exception.type_error.307] cannot use erase() with " +
                                        c.refusedType;
            EXPECT_THAT(entries, ElementsAreArray(modtest::logLineEntries(message)));
        }
    }
}

TEST(LibraryLoad, ARefusedConfigurationIsReportedInTheHostsLogFile) {
    modtest::ScratchDirectory scratch;
    ASSERT_TRUE(standin::openLogFile(scratch.path() / "host.log"));
    std::filesystem::create_directory(scratch.path() / "config");
    modtest::writeBinaryFile(scratch.path() / "config" / "Brickwright.cfg", "[1]");
    const auto library = standin::loadModLibrary(modtest::modLibraryPath());
    ASSERT_TRUE(library) << library.error().message;
    EXPECT_TRUE(standin::unloadModLibrary(*library));
    standin::closeLogFile();
    const std::string log = modtest::readTextFile(scratch.path() / "host.log");
    const std::string line = std::string("[Brickwright] [Info] Brickwright could not use ") + kConfigPath +
                             ": [json.exception.type_error.307] cannot use erase() with array\n";
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
