#include "process_facts.hpp"

#include <cstdlib>
#include <string>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace game {

brickwright::Result<std::filesystem::path> executablePath() {
    const auto unknown = [](const std::string& reason) {
        return brickwright::fail("cannot tell where this executable lies: " + reason);
    };
#if defined(_WIN32)
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return unknown(std::system_category().message(static_cast<int>(GetLastError())));
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return std::filesystem::path(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
#else
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return unknown(error.message());
    }
    return path;
#endif
}

std::filesystem::path modFileName() {
#if defined(_WIN32)
    return "Brickwright.dll";
#else
    return "Brickwright.so";
#endif
}

std::optional<std::string> environmentVariable(const char* name) {
#if defined(_MSC_VER)
    // MSVC's runtime deprecates getenv; its own form hands over a copy to free.
    char* value = nullptr;
    std::size_t length = 0;
    if (_dupenv_s(&value, &length, name) != 0 || value == nullptr) {
        return std::nullopt;
    }
    std::string copy(value);
    std::free(value);
#else
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    std::string copy(value);
#endif
    if (copy.empty()) {
        return std::nullopt;
    }
    return copy;
}

} // namespace game
