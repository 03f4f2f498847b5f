// What the mod library's tests share: where the built mod lies, a scratch directory to run it in, the
// engine world the mod finds in this executable, the journal entries one log line makes, and a fixture
// that loads the real mod library through the stand-in host.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "standin/host.hpp"

namespace modtest {

// The folder this executable lies in.
std::filesystem::path executableDirectory();

// The mod library as the build puts it: mods/ beside this executable.
std::filesystem::path modLibraryPath();

// The recipe class paths the mod must request, in order, written out in full.
const std::vector<std::string>& expectedRecipePaths();

// The journal entries of one logModLine call with `message`, at the host's Info level or at `type`.
std::vector<std::string> logLineEntries(const std::string& message,
                                        SML::Utility::LogType type = SML::Utility::LogType::Info);

// Appends `more` to `entries`.
void append(std::vector<std::string>& entries, const std::vector<std::string>& more);

// Whether this executable carries the engine's instructions and world, so that the mod's scan finds
// the tables and its class lookup the Class class object.
bool hasEngineWorld();

// The engine world's Class class object (null without a world) and the recipe class behind each
// expected path (nulls without a world).
struct World {
    SDK::UClass* classClass = nullptr;
    std::vector<SDK::UObject*> recipes;
};
const World& world();

// Registers the world's Class class object and a catalogue entry per recipe with the host.
void registerWorldWithHost();

// A fresh directory that is the current directory for the object's life; removed afterwards.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& path() const noexcept { return path_; }

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

// The whole of a file, read in text mode; `exists` false when it cannot be opened.
std::string readTextFile(const std::filesystem::path& path, bool* exists = nullptr);
void writeBinaryFile(const std::filesystem::path& path, const std::string& bytes);

// Loads the mod library in a scratch directory, with the host's log file open there, the world
// registered and the journal recording. `loadEntries` keeps what the library load recorded; the
// journal itself starts empty for the test. Mod objects made with create() are destroyed and the
// library unloaded at the end.
class LoadedModTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    SML::Mod::Mod* create();
    void destroy(SML::Mod::Mod* mod);

    ScratchDirectory* scratch = nullptr;
    standin::ModLibrary* library = nullptr;
    std::vector<std::string> loadEntries;
    std::vector<SML::Mod::Mod*> mods;
};

} // namespace modtest
