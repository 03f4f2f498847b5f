// The stand-in host loader's driver: what a game (or a test) uses to start mods the way the real
// loader does, feed it an engine world, fire hooked game functions and see what the mods did.
//
// The host itself is the library xinput1_3 (xinput1_3.so here, xinput1_3.dll on Windows). Besides
// this driver it implements every declaration of sml/sml.hpp, the interface mods are built against.
//
// A typical run, as the stand-in game does it:
//
//     standin::openLogFile("Brickwright-game.log");         // before any mod library loads
//     standin::setClassClass(classClass);                    // the world's "Class CoreUObject.Class"
//     standin::addLoadableObject(L"/Game/.../Recipe_X.Recipe_X_C", recipeClass);
//
//     auto library = standin::loadModLibrary(modPath);      // static init runs here
//     if (!library) { report(library.error().message); }
//     SML::Mod::Mod* mod = standin::createMod(*library);     // ModCreate
//     standin::setupMod(mod);                                // setup: subscriptions are the mod's
//     standin::secondaryEntry(mod);
//     SML::Objects::AFGPlayerController controller;
//     standin::fireBeginPlay(&controller);                   // every live BeginPlay subscription
//     standin::registeredRecipes();                          // what addRecipe received, in order
//     standin::destroyMod(mod);                              // delete through the base pointer
//     standin::unloadModLibrary(*library);                   // static destruction runs here
//
// Everything runs on the caller's thread; the host takes no locks and is not meant to be driven from
// two threads at once.
//
// The journal: once started, the host records every call a mod makes into it, every call of this
// driver into a mod, and every write and flush a mod makes on std::cout and SML::Utility::logFile, as
// readable strings in call order. The host's own output (headers, colours) is never recorded as a
// mod's. Entries:
//
//     "writeHeader(<name>, <type>)"  "setConsoleColor(<colour>)"  "log(<type>)"
//     "cout.write(<text>)"  "cout.flush"  "logFile.write(<text>)"  "logFile.flush"
//     "loadObjectFromPak(<class>, <path>)"  "addRecipe(<class>)"  "subscribe"
//     "Mod::Mod"  "Mod::~Mod"
//     "ModCreate"  "setup"  "secondaryEntry"  "delete"  "BeginPlay"  "handler"
//
// <type> and <colour> are the enumerations' numbers, <class> is describePointer() of the pointer
// ("null" or "0x" and lowercase hex digits), <path> the wide path with every character above 0x7e
// written as "\u{<hex>}". Consecutive writes to one stream are joined into one entry, so the text of
// `std::cout << "ab" << "c"` is "cout.write(abc)". "handler" is one call of one subscribed callable
// from BeginPlay; "delete", "setup" and the like are the driver's calls, recorded before the mod runs.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "brickwright/result.hpp"
#include "sml/sml.hpp"

#if defined(_WIN32)
#if defined(SML_BUILDING_HOST)
#define STANDIN_HOST_API __declspec(dllexport)
#else
#define STANDIN_HOST_API __declspec(dllimport)
#endif
#else
#define STANDIN_HOST_API
#endif

namespace standin {

// --- The log file -----------------------------------------------------------------------------------

// Opens SML::Utility::logFile on `path`, truncating it; closes whatever it had open before. Open it
// before loading mods: a mod may log while its library loads.
[[nodiscard]] STANDIN_HOST_API brickwright::Result<void> openLogFile(const std::filesystem::path& path);

// Flushes and closes the log file.
STANDIN_HOST_API void closeLogFile();

// --- The engine world -------------------------------------------------------------------------------

// The engine's Class class object. loadObjectFromPak serves only callers that pass exactly this
// object as the class (a real engine refuses anything else); while it is null nothing loads.
STANDIN_HOST_API void setClassClass(SDK::UClass* classClass);
STANDIN_HOST_API SDK::UClass* classClass();

// The catalogue of packaged objects that loadObjectFromPak resolves paths in: full object path ->
// object. Adding a path again replaces its object.
STANDIN_HOST_API void addLoadableObject(const std::wstring& path, SDK::UObject* object);
STANDIN_HOST_API void removeLoadableObject(const std::wstring& path);
STANDIN_HOST_API void clearLoadableObjects();

// --- Mod libraries and mod objects ------------------------------------------------------------------

// A loaded mod library; owned by the host, released by unloadModLibrary.
struct ModLibrary;

// Loads the library at `path` (which runs its static initialisation) and finds its ModCreate export.
// On failure leaves nothing loaded; the error is one line, "cannot load <path>: <reason>".
[[nodiscard]] STANDIN_HOST_API brickwright::Result<ModLibrary*>
loadModLibrary(const std::filesystem::path& path);

// Calls the library's ModCreate; the host owns the object from then on.
[[nodiscard]] STANDIN_HOST_API SML::Mod::Mod* createMod(ModLibrary* library);

// Calls setup on the mod. Hook subscriptions made during it belong to this mod object.
STANDIN_HOST_API void setupMod(SML::Mod::Mod* mod);

// Calls secondaryEntry on the mod.
STANDIN_HOST_API void secondaryEntry(SML::Mod::Mod* mod);

// Deletes the mod through its base pointer (its deleting destructor frees it inside its library),
// after dropping the subscriptions that belong to it: the host never calls them again.
STANDIN_HOST_API void destroyMod(SML::Mod::Mod* mod);

// Unloads the library (which runs its static destruction). Subscriptions still held that were made
// while the host was calling into this library are dropped first. Mod objects of the library must
// have been destroyed. An error when the system refused; the handle is released either way.
[[nodiscard]] STANDIN_HOST_API brickwright::Result<void> unloadModLibrary(ModLibrary* library);

// The path the library was loaded from.
STANDIN_HOST_API std::filesystem::path modLibraryPath(const ModLibrary* library);

// --- The base part ---------------------------------------------------------------------------------

// How many bytes past sizeof(SML::Mod::Mod) this host's base constructor fills in the mod's object, as
// a loader whose base part is larger than the mods' declaration of it: 0, or what the host was built
// with as STANDIN_HOST_BASE_PART_EXTRA.
[[nodiscard]] STANDIN_HOST_API std::size_t basePartExtra();

// Base parts built and destroyed since the host was loaded, and how many of the destroyed ones had
// lost a byte past sizeof(SML::Mod::Mod) (always 0 when basePartExtra() is).
struct BasePartCounts {
    std::size_t built = 0;
    std::size_t destroyed = 0;
    std::size_t damaged = 0;
};
[[nodiscard]] STANDIN_HOST_API BasePartCounts basePartCounts();

// --- Hooks --------------------------------------------------------------------------------------------

// Runs the controller's BeginPlay: every live subscription to it, in subscription order, with a
// returns record and the controller.
STANDIN_HOST_API void fireBeginPlay(SML::Objects::AFGPlayerController* controller);

// Calls every live BeginPlay subscription with exactly these arguments, nulls included, as a hook
// would with a record and a controller of its own choosing. Journal: "handler" per call.
STANDIN_HOST_API void invokeBeginPlayHandlers(SML::Mod::Functions::ModReturns* returns,
                                              SML::Objects::AFGPlayerController* controller);

// Live subscriptions to AFGPlayerController::BeginPlay.
STANDIN_HOST_API std::size_t beginPlaySubscriptionCount();

// Drops every subscription, whoever made it.
STANDIN_HOST_API void clearSubscriptions();

// --- Recipes --------------------------------------------------------------------------------------------

// Everything addRecipe received, in order, null included.
[[nodiscard]] STANDIN_HOST_API std::vector<SDK::UClass*> registeredRecipes();
STANDIN_HOST_API void clearRegisteredRecipes();

// --- Console --------------------------------------------------------------------------------------------

// True when the host colours its console output (stdout is a terminal or a Windows console).
STANDIN_HOST_API bool consoleIsColoured();

// Puts the console's colour back to what it was before the host changed it.
STANDIN_HOST_API void resetConsoleColor();

// --- The journal ---------------------------------------------------------------------------------------

// Clears the journal and starts recording: installs recording stream buffers on std::cout and
// SML::Utility::logFile that pass everything on to the buffers they replace.
STANDIN_HOST_API void startJournal();

// Stops recording and puts the original stream buffers back; the journal keeps what it has.
STANDIN_HOST_API void stopJournal();

[[nodiscard]] STANDIN_HOST_API std::vector<std::string> journal();
STANDIN_HOST_API void clearJournal();

// How the journal shows a pointer: "null", or "0x" and lowercase hex digits.
[[nodiscard]] STANDIN_HOST_API std::string describePointer(const void* pointer);

} // namespace standin
