#if defined(_WIN32)

#include "sdk/os.hpp"

#include <direct.h>
#include <windows.h>

namespace SDK::os {

ModuleImage gameModuleImage() noexcept { return {}; }

bool makeDirectory(const char* path) noexcept { return ::_mkdir(path) == 0; }

bool replaceFile(const char* from, const char* to) noexcept {
    return ::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

} // namespace SDK::os

#endif
