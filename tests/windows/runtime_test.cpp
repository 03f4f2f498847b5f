// How the Windows executables are run: on the system's C++ runtime, in the working directory that their
// test names.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include <windows.h>

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
