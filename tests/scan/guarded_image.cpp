#include "scan_test_support.hpp"

#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace scantest {

namespace {

std::size_t pageSize() {
#if defined(_WIN32)
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
#else
    return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
#endif
}

} // namespace

GuardedImage::GuardedImage(std::size_t size, Guard guard) : size_(size) {
    const std::size_t page = pageSize();
    const std::size_t dataPages = (size + page - 1) / page;
    mappingSize_ = (dataPages + 2) * page;
#if defined(_WIN32)
    mapping_ = VirtualAlloc(nullptr, mappingSize_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (mapping_ == nullptr) {
        std::abort();
    }
    DWORD old = 0;
    auto* bytes = static_cast<std::uint8_t*>(mapping_);
    if (!VirtualProtect(bytes, page, PAGE_NOACCESS, &old) ||
        !VirtualProtect(bytes + (dataPages + 1) * page, page, PAGE_NOACCESS, &old)) {
        std::abort();
    }
#else
    mapping_ = mmap(nullptr, mappingSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping_ == MAP_FAILED) {
        std::abort();
    }
    auto* bytes = static_cast<std::uint8_t*>(mapping_);
    if (mprotect(bytes, page, PROT_NONE) != 0 ||
        mprotect(bytes + (dataPages + 1) * page, page, PROT_NONE) != 0) {
        std::abort();
    }
#endif
    data_ = guard == Guard::BeforeStart ? bytes + page : bytes + (dataPages + 1) * page - size;
}

GuardedImage::~GuardedImage() {
#if defined(_WIN32)
    VirtualFree(mapping_, 0, MEM_RELEASE);
#else
    munmap(mapping_, mappingSize_);
#endif
}

} // namespace scantest
