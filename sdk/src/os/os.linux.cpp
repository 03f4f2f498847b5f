#if defined(__linux__)

#include "sdk/os.hpp"

#include <cstdio>
#include <sys/stat.h>

namespace SDK::os {

ModuleImage gameModuleImage() noexcept { return {}; }

bool makeDirectory(const char* path) noexcept { return ::mkdir(path, 0777) == 0; }

bool replaceFile(const char* from, const char* to) noexcept { return std::rename(from, to) == 0; }

} // namespace SDK::os

#endif
