#if defined(__linux__)

#include "platform/os.hpp"

#include <algorithm>
#include <cstdio>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

struct Segments {
    std::array<MemorySpan, kMaxImageSpans> spans{};
    std::size_t count = 0;
    bool seen = false;
};

// The first object that dl_iterate_phdr reports is the main executable.
int collectMainExecutable(dl_phdr_info* info, std::size_t, void* data) noexcept {
    auto* segments = static_cast<Segments*>(data);
    segments->seen = true;
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    const std::uintptr_t page = pageSize > 0 ? static_cast<std::uintptr_t>(pageSize) : 4096;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& header = info->dlpi_phdr[i];
        if (header.p_type != PT_LOAD || (header.p_flags & PF_R) == 0 || header.p_memsz == 0) {
            continue;
        }
        // The loader maps whole pages, so the pages around a segment are mapped with its protection.
        const std::uintptr_t start = (info->dlpi_addr + header.p_vaddr) & ~(page - 1);
        const std::uintptr_t end =
            (info->dlpi_addr + header.p_vaddr + header.p_memsz + page - 1) & ~(page - 1);
        if (segments->count == segments->spans.size()) {
            break;
        }
        segments->spans[segments->count++] =
            MemorySpan{reinterpret_cast<const std::uint8_t*>(start), end - start};
    }
    return 1;
}

} // namespace

ModuleImage gameModuleImage() noexcept {
    Segments segments;
    ::dl_iterate_phdr(collectMainExecutable, &segments);
    if (!segments.seen || segments.count == 0) {
        return {};
    }
    std::sort(segments.spans.begin(), segments.spans.begin() + static_cast<std::ptrdiff_t>(segments.count),
              [](const MemorySpan& a, const MemorySpan& b) { return a.begin < b.begin; });

    // Touching or overlapping spans become one, so that a match across their border is found.
    ModuleImage image;
    for (std::size_t i = 0; i < segments.count; ++i) {
        const MemorySpan& span = segments.spans[i];
        if (image.spanCount > 0) {
            MemorySpan& last = image.spans[image.spanCount - 1];
            if (span.begin <= last.begin + last.size) {
                const std::uint8_t* end = std::max(last.begin + last.size, span.begin + span.size);
                last.size = static_cast<std::size_t>(end - last.begin);
                continue;
            }
        }
        image.spans[image.spanCount++] = span;
    }
    image.base = image.spans[0].begin;
    const MemorySpan& last = image.spans[image.spanCount - 1];
    image.size = static_cast<std::size_t>(last.begin + last.size - image.base);
    return image;
}

bool makeDirectory(const char* path) noexcept {
    return ::mkdir(path, 0777) == 0;
}

bool replaceFile(const char* from, const char* to) noexcept {
    return std::rename(from, to) == 0;
}

} // namespace platform

#endif
