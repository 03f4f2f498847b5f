// How the Windows executables are run: on the system's C++ runtime, in the working directory that their
// test names; and what the runtime layer (runtime/) gives each module: its own stack cookie, its
// initialisers in section order, a C initialiser that can refuse a DLL's load, operator new's
// retries through the new handler.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>

#include <windows.h>

extern "C" {
// The runtime layer's (security_cookie.cpp).
extern std::uintptr_t __security_cookie;
// This executable's import address table slots of ucrtbase.dll's malloc and _callnewh, through which its
// operator new allocates and runs the new handler.
extern void*(__cdecl* __imp_malloc)(std::size_t size);
extern int(__cdecl* __imp__callnewh)(std::size_t size);
}

namespace {

// The value Microsoft documents for a cookie that was never chosen.
constexpr std::uintptr_t kDefaultSecurityCookie = 0x00002B992DDFA232ull;

// What this executable's initialisers recorded, in the order they ran; constant-initialised, so that
// it is there before any of them.
constexpr int kMaxRecorded = 4;
const char* initialisedInOrder[kMaxRecorded] = {};
int initialisedCount = 0;

void recordInitialiser(const char* what) {
    if (initialisedCount < kMaxRecorded) {
        initialisedInOrder[initialisedCount] = what;
    }
    ++initialisedCount;
}

int __cdecl cInitialiser() {
    recordInitialiser("C");
    return 0;
}

// Where a library's C++ initialiser goes (Microsoft's own use .CRT$XCL): before the user's (.CRT$XCU).
void __cdecl libraryInitialiser() {
    recordInitialiser("library");
}

const bool userInitialised = (recordInitialiser("user"), true);

} // namespace

#pragma section(".CRT$XIU", long, read)
#pragma section(".CRT$XCL", long, read)
__declspec(allocate(".CRT$XIU")) __attribute__((used)) int(__cdecl* const cInitialiserEntry)() = cInitialiser;
__declspec(allocate(".CRT$XCL"))
    __attribute__((used)) void(__cdecl* const libraryInitialiserEntry)() = libraryInitialiser;

namespace {

std::wstring moduleFile(HMODULE module) {
    std::wstring path(32768, L'\0');
    const DWORD length = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return path;
}

std::wstring directoryOf(const std::wstring& path) {
    return path.substr(0, path.find_last_of(L"\\/"));
}

} // namespace

TEST(WindowsRuntime, TheCxxRuntimeIsTheSystemsAndNothingOfItSitsBesideTheExecutable) {
    // A player's game folder holds no runtime DLL of ours: the one the loader uses is the system's.
    const std::wstring executableDirectory = directoryOf(moduleFile(nullptr));
    ASSERT_FALSE(executableDirectory.empty());
    for (const wchar_t* dll : {L"msvcp140.dll", L"vcruntime140.dll", L"ucrtbase.dll"}) {
        SCOPED_TRACE(testing::Message() << "DLL " << std::wstring(dll));
        const HMODULE module = ::GetModuleHandleW(dll);
        ASSERT_NE(module, nullptr) << "not loaded";
        EXPECT_NE(directoryOf(moduleFile(module)), executableDirectory);
    }
    for (const wchar_t* dll : {L"libstdc++-6.dll", L"libgcc_s_seh-1.dll", L"libwinpthread-1.dll"}) {
        SCOPED_TRACE(testing::Message() << "DLL " << std::wstring(dll));
        EXPECT_EQ(::GetModuleHandleW(dll), nullptr);
    }
}

TEST(WindowsRuntime, TheTestRunsInTheWorkingDirectoryItsTestNames) {
    // CMake writes the marker into the test's working directory, which is not the executable's.
    std::ifstream marker("working-directory.marker");
    ASSERT_TRUE(marker.is_open());
    std::string text;
    std::getline(marker, text);
    EXPECT_EQ(text, "tests/windows");
    EXPECT_NE(directoryOf(moduleFile(nullptr)).find(L"\\bin"), std::wstring::npos);
}

namespace {

TEST(WindowsRuntime, EveryModuleChoosesItsOwnStackCookieWhenItStarts) {
    EXPECT_NE(__security_cookie, kDefaultSecurityCookie) << "this executable's cookie was never chosen";
    EXPECT_NE(__security_cookie, 0u);
    const HMODULE probe = ::LoadLibraryW(L"windows-runtime-probe.dll");
    ASSERT_NE(probe, nullptr) << "error " << ::GetLastError();
    const auto probeCookie =
        reinterpret_cast<std::uintptr_t (*)()>(::GetProcAddress(probe, "probeSecurityCookie"));
    ASSERT_NE(probeCookie, nullptr);
    EXPECT_NE(probeCookie(), kDefaultSecurityCookie) << "the DLL's cookie was never chosen";
    EXPECT_EQ(probeCookie() >> 48, 0u) << "the top 16 bits stay clear, as in Microsoft's runtime";
    EXPECT_TRUE(::FreeLibrary(probe));
}

TEST(WindowsRuntime, InitialisersRunCFirstThenCxxInSectionOrder) {
    ASSERT_TRUE(userInitialised);
    ASSERT_EQ(initialisedCount, 3);
    EXPECT_STREQ(initialisedInOrder[0], "C");
    EXPECT_STREQ(initialisedInOrder[1], "library")
        << "a library's initialiser (.CRT$XCL) runs before the user's";
    EXPECT_STREQ(initialisedInOrder[2], "user");
}

TEST(WindowsRuntime, ACInitialiserThatReturnsNonZeroRefusesTheDllsLoad) {
    const HMODULE refused = ::LoadLibraryW(L"windows-runtime-probe-refusing.dll");
    EXPECT_EQ(refused, nullptr);
    if (refused != nullptr) {
        ::FreeLibrary(refused);
    }
}

// Thrown by the malloc stand-in below when operator new calls it again after it should have given up.
struct CalledTooOften {};

// Points one of this executable's import slots at a stand-in while it lives.
template <typename Function> class ImportStandIn {
public:
    ImportStandIn(Function& slot, Function standIn) : slot_(slot), original_(slot) { write(standIn); }
    ~ImportStandIn() { write(original_); }
    ImportStandIn(const ImportStandIn&) = delete;
    ImportStandIn& operator=(const ImportStandIn&) = delete;

private:
    void write(Function value) {
        DWORD protection = 0;
        ::VirtualProtect(&slot_, sizeof value, PAGE_READWRITE, &protection);
        slot_ = value;
        ::VirtualProtect(&slot_, sizeof value, protection, &protection);
    }
    Function& slot_;
    Function original_;
};

// malloc fails while a reserve is held. The new handler is played by _callnewh's stand-in, as
// ucrtbase.dll runs it: Wine 8's never calls a handler set with _set_new_handler or std::set_new_handler
// (its _query_new_handler stays null), so a real one could not be seen here.
void* reserve = nullptr;
decltype(__imp_malloc) realMalloc = nullptr;
int mallocCalls = 0;
int handlerCalls = 0;

void* __cdecl mallocStandIn(std::size_t size) {
    if (++mallocCalls > 3) {
        throw CalledTooOften{};
    }
    return reserve != nullptr ? nullptr : realMalloc(size);
}

// No handler, or one that reports failure.
int __cdecl handlerThatFails(std::size_t) {
    ++handlerCalls;
    return 0;
}

int __cdecl handlerThatFreesTheReserve(std::size_t) {
    ++handlerCalls;
    std::free(reserve);
    reserve = nullptr;
    return 1;
}

// Runs ::operator new(64) with malloc failing until the handler frees the reserve: "bad_alloc",
// "looped" or "allocated".
std::string allocateWithHandler(int(__cdecl* handler)(std::size_t)) {
    realMalloc = __imp_malloc;
    reserve = std::malloc(1024);
    mallocCalls = 0;
    handlerCalls = 0;
    std::string outcome;
    void* volatile block = nullptr;
    {
        const ImportStandIn<decltype(__imp_malloc)> mallocReplaced(__imp_malloc, mallocStandIn);
        const ImportStandIn<decltype(__imp__callnewh)> handlerReplaced(__imp__callnewh, handler);
        try {
            block = ::operator new(64);
            outcome = "allocated";
        } catch (const std::bad_alloc&) {
            outcome = "bad_alloc";
        } catch (const CalledTooOften&) {
            outcome = "looped";
        }
    }
    ::operator delete(block);
    std::free(reserve);
    reserve = nullptr;
    return outcome;
}

TEST(WindowsRuntime, OperatorNewThrowsBadAllocAtOnceWhenTheNewHandlerReportsFailure) {
    EXPECT_EQ(allocateWithHandler(handlerThatFails), "bad_alloc");
    EXPECT_EQ(handlerCalls, 1);
    EXPECT_EQ(mallocCalls, 1);
}

TEST(WindowsRuntime, ANewHandlerThatFreesAReserveLetsOperatorNewsRetrySucceed) {
    EXPECT_EQ(allocateWithHandler(handlerThatFreesTheReserve), "allocated");
    EXPECT_EQ(handlerCalls, 1);
    EXPECT_EQ(mallocCalls, 2);
}

} // namespace
