// The bounds of this module's initialiser tables. The compiler puts a pointer to each C++ initialiser in
// .CRT$XCU (a library's in .CRT$XCL, before it), a C initialiser in .CRT$XI?, and the linker sorts the
// sections of a group by their suffix: what lies between the A and Z markers runs, in that order.
#include <corecrt_startup.h>

#include "startup.hpp"

#pragma section(".CRT$XIA", long, read)
#pragma section(".CRT$XIZ", long, read)
#pragma section(".CRT$XCA", long, read)
#pragma section(".CRT$XCZ", long, read)

extern "C" {
__declspec(allocate(".CRT$XIA")) __attribute__((used)) _PIFV __xi_a[] = {nullptr};
__declspec(allocate(".CRT$XIZ")) __attribute__((used)) _PIFV __xi_z[] = {nullptr};
__declspec(allocate(".CRT$XCA")) __attribute__((used)) _PVFV __xc_a[] = {nullptr};
__declspec(allocate(".CRT$XCZ")) __attribute__((used)) _PVFV __xc_z[] = {nullptr};
}

namespace brickwright::runtime {

int runInitializers() {
    // The linker may pad between sections with zeros: an empty slot is skipped.
    for (_PIFV* entry = __xi_a; entry < __xi_z; ++entry) {
        if (*entry == nullptr) {
            continue;
        }
        if (const int status = (*entry)(); status != 0) {
            return status;
        }
    }
    for (_PVFV* entry = __xc_a; entry < __xc_z; ++entry) {
        if (*entry != nullptr) {
            (*entry)();
        }
    }
    return 0;
}

} // namespace brickwright::runtime
