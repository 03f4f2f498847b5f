// The host mod loader's interface, as this mod is built against it. The loader itself is a separate
// module, imported as xinput1_3.dll; only the calls, argument types and orders below are relied on.
#pragma once

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#if defined(_WIN32)
#if defined(SML_BUILDING_HOST)
#define SML_API __declspec(dllexport)
#else
#define SML_API __declspec(dllimport)
#endif
#else
#define SML_API
#endif

// The class keys the loader's own header is not known to give these types. A key changes nothing in
// layout or calling, but MSVC writes it into decorated names; today's guesses are the defaults. The
// mod's binding on Windows compiles this header under every other choice and accepts each spelling
// (host/binding/), and the stand-in loaders choose them to differ from the mod.
#if !defined(SML_KEY_MOD_INFO)
#define SML_KEY_MOD_INFO struct
#endif
#if !defined(SML_KEY_UOBJECT)
#define SML_KEY_UOBJECT class
#endif
#if !defined(SML_KEY_UCLASS)
#define SML_KEY_UCLASS class
#endif
#if !defined(SML_KEY_MOD_RETURNS)
#define SML_KEY_MOD_RETURNS struct
#endif
#if !defined(SML_KEY_PLAYER_CONTROLLER)
#define SML_KEY_PLAYER_CONTROLLER class
#endif

namespace SDK {
SML_KEY_UOBJECT UObject;
SML_KEY_UCLASS UClass;
} // namespace SDK

namespace SML {

namespace Mod {

// Base of every mod object. The host drives a mod through the three virtual operations, in this
// slot order: setup, secondaryEntry, then the virtual destructor.
class SML_API Mod {
public:
    SML_KEY_MOD_INFO Info {
    public:
        std::string loaderVersion;
        std::string name;
        std::string version;
        std::string description;
        std::string authors;
        std::vector<std::string> dependencies;
    };

    // The descriptor is kept by reference: it must outlive the mod object.
    explicit Mod(const Info& info);
    Mod(const Mod&) = delete;
    Mod& operator=(const Mod&) = delete;

    virtual void setup() = 0;
    virtual void secondaryEntry() = 0;
    virtual ~Mod();

    const Info& info() const noexcept { return *info_; }

private:
    const Info* info_;
};

namespace Functions {

// Passed to hook handlers; the host's own record, opaque to mods.
SML_KEY_MOD_RETURNS ModReturns;

// Loads an object from the game's packaged content; `classClass` must be the engine's Class class.
SML_API SDK::UObject* loadObjectFromPak(SDK::UClass* classClass, const wchar_t* path);

// Makes a loaded recipe class known to the game.
SML_API void addRecipe(SDK::UClass* recipeClass);

} // namespace Functions
} // namespace Mod

namespace Objects {

// The game's player controller, opaque to mods; its BeginPlay is what mods hook.
SML_KEY_PLAYER_CONTROLLER AFGPlayerController {
public:
    void BeginPlay();
};

} // namespace Objects

namespace Utility {

enum class LogType : int { Normal = 0, Warning = 1, Error = 2, Info = 3, Debug = 4 };

// The Windows console palette.
enum class ConsoleColor : int {
    Black = 0,
    DarkBlue = 1,
    DarkGreen = 2,
    DarkCyan = 3,
    DarkRed = 4,
    DarkMagenta = 5,
    DarkYellow = 6,
    Gray = 7,
    DarkGray = 8,
    Blue = 9,
    Green = 10,
    Cyan = 11,
    Red = 12,
    Magenta = 13,
    Yellow = 14,
    White = 15,
};

// One log entry is a header, the mod's text on std::cout and logFile, then log() before the line end.
SML_API void writeHeader(std::string name, LogType type);
SML_API void setConsoleColor(ConsoleColor color);
SML_API void log(LogType type);

// The host's log file.
SML_API extern std::ofstream logFile;

} // namespace Utility
} // namespace SML

// The hook registry: one specialisation per hookable game function.
template <typename Signature, Signature Function> class HookInvoker;

template <>
class HookInvoker<void (SML::Objects::AFGPlayerController::*)(),
                  &SML::Objects::AFGPlayerController::BeginPlay> {
public:
    using Handler = std::function<void(SML::Mod::Functions::ModReturns*, SML::Objects::AFGPlayerController*)>;

    // The host keeps its own copy and calls it on every player controller's BeginPlay.
    SML_API static void subscribe(Handler handler);
};

// Host and mod hand each other standard-library objects, so on Windows both must be built against
// Microsoft's: these are the sizes its x64 library gives them (a build against another library, or a
// debug one with checked iterators, stops here rather than corrupting the loader's memory).
#if defined(_WIN64) && defined(_MSC_VER) && !defined(_DEBUG)
static_assert(sizeof(std::string) == 32, "std::string as Microsoft's x64 release library lays it out");
static_assert(sizeof(std::vector<std::string>) == 24, "std::vector as Microsoft's x64 library lays it out");
static_assert(sizeof(HookInvoker<void (SML::Objects::AFGPlayerController::*)(),
                                 &SML::Objects::AFGPlayerController::BeginPlay>::Handler) == 64,
              "std::function as Microsoft's x64 library lays it out");
static_assert(sizeof(std::ofstream) == 264, "std::ofstream as Microsoft's x64 library lays it out");
static_assert(sizeof(SML::Mod::Mod::Info) == 5 * sizeof(std::string) + sizeof(std::vector<std::string>),
              "the descriptor is five strings and a vector, nothing between them");
#endif
