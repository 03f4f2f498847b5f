// The driver: loading mod libraries and running their mods as the real loader does.
#include <algorithm>
#include <cerrno>
#include <memory>
#include <system_error>

#include "host_state.hpp"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace standin {

struct ModLibrary {
    std::filesystem::path path;
#if defined(_WIN32)
    HMODULE handle = nullptr;
#else
    void* handle = nullptr;
#endif
    SML::Mod::Mod* (*create)() = nullptr;
};

namespace detail {

HostState& state() {
    static HostState host;
    return host;
}

CallScope::CallScope(const SML::Mod::Mod* mod, const ModLibrary* library)
    : savedMod_(state().currentMod), savedLibrary_(state().currentLibrary) {
    state().currentMod = mod;
    state().currentLibrary = library;
}

CallScope::~CallScope() {
    state().currentMod = savedMod_;
    state().currentLibrary = savedLibrary_;
}

namespace {

const ModLibrary* libraryOf(const SML::Mod::Mod* mod) {
    const auto found = state().modLibraries.find(mod);
    return found == state().modLibraries.end() ? nullptr : found->second;
}

#if defined(_WIN32)
std::string lastErrorText() {
    const DWORD code = GetLastError();
    char* text = nullptr;
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = length > 0 && text != nullptr ? std::string(text, length) : std::string();
    LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' ')) {
        result.pop_back();
    }
    return "error " + std::to_string(code) + (result.empty() ? std::string() : ": " + result);
}
#endif

} // namespace
} // namespace detail

using brickwright::fail;
using brickwright::Result;

Result<void> openLogFile(const std::filesystem::path& path) {
    std::ofstream& logFile = SML::Utility::logFile;
    if (logFile.is_open()) {
        logFile.close();
    }
    logFile.clear();
    errno = 0;
    logFile.open(path, std::ios::out | std::ios::trunc);
    if (!logFile.is_open()) {
        // The stream keeps no reason; the C library's, set by the open beneath it, is the system's.
        const int error = errno;
        return fail(
            "cannot open the log file " + path.string() + ": " +
            (error != 0 ? std::generic_category().message(error) : std::string("the system gave no reason")));
    }
    return {};
}

void closeLogFile() {
    std::ofstream& logFile = SML::Utility::logFile;
    if (logFile.is_open()) {
        logFile.close();
    }
}

void setClassClass(SDK::UClass* classClass) {
    detail::state().classClass = classClass;
}

SDK::UClass* classClass() {
    return detail::state().classClass;
}

void addLoadableObject(const std::wstring& path, SDK::UObject* object) {
    detail::state().catalogue[path] = object;
}

void removeLoadableObject(const std::wstring& path) {
    detail::state().catalogue.erase(path);
}

void clearLoadableObjects() {
    detail::state().catalogue.clear();
}

Result<ModLibrary*> loadModLibrary(const std::filesystem::path& path) {
    auto library = std::make_unique<ModLibrary>();
    library->path = path;
    // The library's static initialisation runs inside the load and may call the host.
    detail::CallScope scope(nullptr, library.get());
#if defined(_WIN32)
    library->handle = LoadLibraryW(path.c_str());
    if (library->handle == nullptr) {
        return fail("cannot load " + path.string() + ": " + detail::lastErrorText());
    }
    library->create = reinterpret_cast<SML::Mod::Mod* (*)()>(
        reinterpret_cast<void*>(GetProcAddress(library->handle, "ModCreate")));
#else
    library->handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library->handle == nullptr) {
        const char* reason = dlerror();
        return fail("cannot load " + path.string() + ": " + (reason != nullptr ? reason : "unknown error"));
    }
    library->create = reinterpret_cast<SML::Mod::Mod* (*)()>(dlsym(library->handle, "ModCreate"));
#endif
    if (library->create == nullptr) {
        // Nothing of it stays loaded; whether the system agreed changes nothing here.
        (void)unloadModLibrary(library.release());
        return fail("cannot load " + path.string() + ": it exports no ModCreate");
    }
    return library.release();
}

SML::Mod::Mod* createMod(ModLibrary* library) {
    detail::record("ModCreate");
    SML::Mod::Mod* mod = nullptr;
    {
        detail::CallScope scope(nullptr, library);
        mod = library->create();
    }
    if (mod != nullptr) {
        detail::state().modLibraries[mod] = library;
    }
    return mod;
}

void setupMod(SML::Mod::Mod* mod) {
    detail::record("setup");
    detail::CallScope scope(mod, detail::libraryOf(mod));
    mod->setup();
}

void secondaryEntry(SML::Mod::Mod* mod) {
    detail::record("secondaryEntry");
    detail::CallScope scope(mod, detail::libraryOf(mod));
    mod->secondaryEntry();
}

void destroyMod(SML::Mod::Mod* mod) {
    detail::HostState& host = detail::state();
    std::erase_if(host.beginPlay, [mod](const detail::Subscription& s) { return s.owner == mod; });
    const ModLibrary* library = detail::libraryOf(mod);
    host.modLibraries.erase(mod);
    detail::record("delete");
    detail::CallScope scope(mod, library);
    delete mod;
}

Result<void> unloadModLibrary(ModLibrary* library) {
    if (library == nullptr) {
        return {};
    }
    std::unique_ptr<ModLibrary> owned(library);
    detail::HostState& host = detail::state();
    // Their code lives in the library: after the unload they could not even be destroyed.
    std::erase_if(host.beginPlay, [library](const detail::Subscription& s) { return s.library == library; });
    std::erase_if(host.modLibraries, [library](const auto& entry) { return entry.second == library; });
    detail::CallScope scope(nullptr, library);
#if defined(_WIN32)
    if (FreeLibrary(library->handle) == 0) {
        return fail("cannot unload " + library->path.string() + ": " + detail::lastErrorText());
    }
#else
    if (dlclose(library->handle) != 0) {
        const char* reason = dlerror();
        return fail("cannot unload " + library->path.string() + ": " +
                    (reason != nullptr ? reason : "unknown error"));
    }
#endif
    return {};
}

std::filesystem::path modLibraryPath(const ModLibrary* library) {
    return library->path;
}

void fireBeginPlay(SML::Objects::AFGPlayerController* controller) {
    controller->BeginPlay();
}

std::size_t beginPlaySubscriptionCount() {
    return detail::state().beginPlay.size();
}

void clearSubscriptions() {
    detail::state().beginPlay.clear();
}

std::vector<SDK::UClass*> registeredRecipes() {
    return detail::state().recipes;
}

void clearRegisteredRecipes() {
    detail::state().recipes.clear();
}

} // namespace standin

// The hooked game function: the host runs every live subscription with the controller. (The game's
// own BeginPlay has nothing to do here.)
void SML::Objects::AFGPlayerController::BeginPlay() {
    standin::detail::record("BeginPlay");
    SML::Mod::Functions::ModReturns returns;
    standin::invokeBeginPlayHandlers(&returns, this);
}

void standin::invokeBeginPlayHandlers(SML::Mod::Functions::ModReturns* returns,
                                      SML::Objects::AFGPlayerController* controller) {
    using namespace standin::detail;
    // A handler may subscribe more; those take effect from the next call.
    const std::vector<Subscription> subscriptions = state().beginPlay;
    for (const Subscription& subscription : subscriptions) {
        CallScope scope(subscription.owner, subscription.library);
        record("handler");
        subscription.handler(returns, controller);
    }
}
