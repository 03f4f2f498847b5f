#include "sdk/os.hpp"

namespace SDK::os {

ModuleImage gameModuleImage() noexcept { return {}; }
bool makeDirectory(const char*) noexcept { return false; }
bool replaceFile(const char*, const char*) noexcept { return false; }

} // namespace SDK::os
