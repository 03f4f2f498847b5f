#include "mod_test_support.hpp"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <memory>
#include <sstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#if BRICKWRIGHT_TEST_WORLD
#include "standin/engine_world.hpp"
#include "standin/game_image.hpp"
#endif

namespace modtest {
namespace {

std::filesystem::path executablePath() {
#if defined(_WIN32)
    std::wstring buffer(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    buffer.resize(length);
    return buffer;
#else
    return std::filesystem::read_symlink("/proc/self/exe");
#endif
}

std::wstring widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

World buildWorld() {
    World result;
    result.recipes.assign(expectedRecipePaths().size(), nullptr);
#if BRICKWRIGHT_TEST_WORLD
    // The mod scans this executable's image: plant the engine's instructions and lay the world out
    // where they point. It lives as long as the process.
    const standin::GameImageArena arena = standin::gameImageArena();
    standin::plantGameImageArena();
    static standin::EngineWorld engineWorld(arena.objectTable);
    SDK::UObject* coreUObject = engineWorld.addObject("/Script/CoreUObject", nullptr, nullptr);
    SDK::UObject* engine = engineWorld.addObject("/Script/Engine", nullptr, nullptr);
    result.classClass = engineWorld.addClassClass(coreUObject);
    // Every object has a class chain up to the class for classes, as in a game: the mod proves the
    // tables by that before it uses them.
    SDK::UObject* packageClass = engineWorld.addObject("Package", result.classClass, coreUObject);
    engineWorld.setClass(coreUObject, packageClass);
    engineWorld.setClass(engine, packageClass);
    // Near misses: a Class in another package, a numbered one.
    engineWorld.addObject("Class", result.classClass, engine);
    engineWorld.addObject("Class", 1, result.classClass, coreUObject);
    engineWorld.addEmptyElement();
    for (std::size_t i = 0; i < expectedRecipePaths().size(); ++i) {
        const std::string& path = expectedRecipePaths()[i];
        const std::size_t dot = path.rfind('.');
        SDK::UObject* package = engineWorld.addObject(path.substr(0, dot), packageClass, nullptr);
        result.recipes[i] = engineWorld.addObject(path.substr(dot + 1), result.classClass, package);
    }
    standin::setNameTableVariable(arena, engineWorld.nameTable());
#endif
    return result;
}

} // namespace

std::filesystem::path executableDirectory() {
    return executablePath().parent_path();
}

std::filesystem::path modLibraryPath() {
#if defined(_WIN32)
    return executableDirectory() / "mods" / "Brickwright.dll";
#else
    return executableDirectory() / "mods" / "Brickwright.so";
#endif
}

const std::vector<std::string>& expectedRecipePaths() {
    static const std::vector<std::string> paths = {
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Wall001.Recipe_BW_Wall001_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Wall002.Recipe_BW_Wall002_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Wall003.Recipe_BW_Wall003_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Wall004.Recipe_BW_Wall004_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Wall005.Recipe_BW_Wall005_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Wall006.Recipe_BW_Wall006_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Wall007.Recipe_BW_Wall007_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Wall008.Recipe_BW_Wall008_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Wall009.Recipe_BW_Wall009_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Wall010.Recipe_BW_Wall010_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Wall011.Recipe_BW_Wall011_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Wall012.Recipe_BW_Wall012_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Wall013.Recipe_BW_Wall013_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Wall014.Recipe_BW_Wall014_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Wall015.Recipe_BW_Wall015_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Wall016.Recipe_BW_Wall016_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Wall017.Recipe_BW_Wall017_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Wall018.Recipe_BW_Wall018_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Wall019.Recipe_BW_Wall019_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Wall021.Recipe_BW_Wall021_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_PowerPlugMk1.Recipe_BW_PowerPlugMk1_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_PowerPlugMk2.Recipe_BW_PowerPlugMk2_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Stair001.Recipe_BW_Stair001_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Stair002.Recipe_BW_Stair002_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Stair003.Recipe_BW_Stair003_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation001.Recipe_BW_Foundation001_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation002.Recipe_BW_Foundation002_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation003.Recipe_BW_Foundation003_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation004.Recipe_BW_Foundation004_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation005.Recipe_BW_Foundation005_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation006.Recipe_BW_Foundation006_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation007.Recipe_BW_Foundation007_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation008.Recipe_BW_Foundation008_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation009.Recipe_BW_Foundation009_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation010.Recipe_BW_Foundation010_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation011.Recipe_BW_Foundation011_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation012.Recipe_BW_Foundation012_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation013.Recipe_BW_Foundation013_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation014.Recipe_BW_Foundation014_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation015.Recipe_BW_Foundation015_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation016.Recipe_BW_Foundation016_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation017.Recipe_BW_Foundation017_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation018.Recipe_BW_Foundation018_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation019.Recipe_BW_Foundation019_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation020.Recipe_BW_Foundation020_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation021.Recipe_BW_Foundation021_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation022.Recipe_BW_Foundation022_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation023.Recipe_BW_Foundation023_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation024.Recipe_BW_Foundation024_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation025.Recipe_BW_Foundation025_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation026.Recipe_BW_Foundation026_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation027.Recipe_BW_Foundation027_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation028.Recipe_BW_Foundation028_C",
        "/Game/FactoryGame/Brickwright/Recipes/Recipe_BW_Foundation029.Recipe_BW_Foundation029_C",
    };
    return paths;
}

std::vector<std::string> logLineEntries(const std::string& message, SML::Utility::LogType type) {
    const std::string level = std::to_string(static_cast<int>(type));
    return {
        "writeHeader(Brickwright, " + level + ")",
        "setConsoleColor(9)",
        "cout.write(" + message + ")",
        "logFile.write(" + message + ")",
        "logFile.flush",
        "log(" + level + ")",
        "cout.write(\n)",
        "cout.flush",
        "logFile.write(\n)",
        "logFile.flush",
        "logFile.flush",
        "setConsoleColor(14)",
    };
}

void append(std::vector<std::string>& entries, const std::vector<std::string>& more) {
    entries.insert(entries.end(), more.begin(), more.end());
}

bool hasEngineWorld() {
    return BRICKWRIGHT_TEST_WORLD != 0;
}

const World& world() {
    static const World built = buildWorld();
    return built;
}

void registerWorldWithHost() {
    const World& w = world();
    standin::setClassClass(w.classClass);
    standin::clearLoadableObjects();
    for (std::size_t i = 0; i < w.recipes.size(); ++i) {
        if (w.recipes[i] != nullptr) {
            standin::addLoadableObject(widen(expectedRecipePaths()[i]), w.recipes[i]);
        }
    }
}

ScratchDirectory::ScratchDirectory() : previous_(std::filesystem::current_path()) {
    static std::atomic<unsigned> counter{0};
#if defined(_WIN32)
    const unsigned long process = GetCurrentProcessId();
#else
    const unsigned long process = static_cast<unsigned long>(::getpid());
#endif
    path_ = std::filesystem::temp_directory_path() /
            ("brickwright-mod-test-" + std::to_string(process) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
    std::filesystem::current_path(path_);
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string readTextFile(const std::filesystem::path& path, bool* exists) {
    std::ifstream in(path);
    if (exists != nullptr) {
        *exists = in.is_open();
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeBinaryFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

void LoadedModTest::SetUp() {
    scratch = new ScratchDirectory();
    ASSERT_TRUE(standin::openLogFile(scratch->path() / "host.log"));
    registerWorldWithHost();
    standin::clearRegisteredRecipes();
    standin::clearSubscriptions();
    standin::startJournal();
    const auto loaded = standin::loadModLibrary(modLibraryPath());
    ASSERT_TRUE(loaded) << loaded.error().message;
    library = *loaded;
    loadEntries = standin::journal();
    standin::clearJournal();
}

void LoadedModTest::TearDown() {
    for (SML::Mod::Mod* mod : mods) {
        standin::destroyMod(mod);
    }
    mods.clear();
    if (library != nullptr) {
        EXPECT_TRUE(standin::unloadModLibrary(library));
        library = nullptr;
    }
    standin::stopJournal();
    standin::clearSubscriptions();
    standin::clearRegisteredRecipes();
    standin::closeLogFile();
    delete scratch;
    scratch = nullptr;
}

SML::Mod::Mod* LoadedModTest::create() {
    SML::Mod::Mod* mod = standin::createMod(library);
    if (mod != nullptr) {
        mods.push_back(mod);
    }
    return mod;
}

void LoadedModTest::destroy(SML::Mod::Mod* mod) {
    mods.erase(std::remove(mods.begin(), mods.end(), mod), mods.end());
    standin::destroyMod(mod);
}

} // namespace modtest
