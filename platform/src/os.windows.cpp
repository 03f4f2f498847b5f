#if defined(_WIN32)

#include "platform/os.hpp"

#include <direct.h>
#include <windows.h>

// K32GetModuleInformation lives in kernel32 itself (Windows 7 and later).
#ifndef PSAPI_VERSION
#define PSAPI_VERSION 2
#endif
#include <psapi.h>

namespace platform {

ModuleImage gameModuleImage() noexcept {
    // The main executable's handle is its base address; of the module record only SizeOfImage is used.
    HMODULE module = ::GetModuleHandleW(nullptr);
    MODULEINFO info{};
    static_assert(sizeof info == 24);
    if (module == nullptr || !::K32GetModuleInformation(::GetCurrentProcess(), module, &info, sizeof info) ||
        info.SizeOfImage == 0) {
        return {};
    }
    ModuleImage image;
    image.base = reinterpret_cast<const std::uint8_t*>(module);
    image.size = info.SizeOfImage;
    image.spans[0] = MemorySpan{image.base, image.size};
    image.spanCount = 1;
    return image;
}

bool makeDirectory(const char* path) noexcept {
    return ::_mkdir(path) == 0;
}

bool replaceFile(const char* from, const char* to) noexcept {
    return ::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

} // namespace platform

#endif
