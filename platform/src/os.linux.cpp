#if defined(__linux__)

#include "platform/os.hpp"

#include "spans.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fcntl.h>
#include <link.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
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

// One line of /proc/self/maps: "start-end perms offset dev inode [path]". Calls `found` with the
// part of the range that is readable and safe to read: the kernel's [vvar] pages can fault on a read,
// a device mapping is not memory the game's tables could lie in, and the pages of a file mapping that
// lie wholly beyond the file's end (a file truncated after it was mapped) fault with SIGBUS.
template <typename Found> void readableMapping(std::string_view line, Found& found) {
    std::uintptr_t begin = 0;
    std::uintptr_t end = 0;
    const char* stop = line.data() + line.size();
    auto parsed = std::from_chars(line.data(), stop, begin, 16);
    if (parsed.ec != std::errc() || parsed.ptr == stop || *parsed.ptr != '-') {
        return;
    }
    parsed = std::from_chars(parsed.ptr + 1, stop, end, 16);
    if (parsed.ec != std::errc() || stop - parsed.ptr < 2 || parsed.ptr[1] != 'r' || end <= begin) {
        return;
    }
    // Then the permissions, the offset, the device, the inode and the path, if any.
    std::array<std::string_view, 5> fields{};
    std::string_view rest(parsed.ptr, static_cast<std::size_t>(stop - parsed.ptr));
    for (std::size_t field = 0; field < fields.size(); ++field) {
        const std::size_t start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos) {
            break;
        }
        rest = rest.substr(start);
        const std::size_t space = field + 1 < fields.size() ? rest.find(' ') : std::string_view::npos;
        fields[field] = rest.substr(0, space);
        rest = space == std::string_view::npos ? std::string_view{} : rest.substr(space);
    }
    const std::string_view path = fields[4];
    if (path.starts_with("[vvar") || path.starts_with("[vsyscall]")) {
        return;
    }
    if (path.starts_with("/dev/") && !path.starts_with("/dev/zero") && !path.starts_with("/dev/shm/")) {
        return;
    }
    std::uint64_t offset = 0;
    std::uint64_t inode = 0;
    std::from_chars(fields[1].data(), fields[1].data() + fields[1].size(), offset, 16);
    std::from_chars(fields[3].data(), fields[3].data() + fields[3].size(), inode, 10);
    char name[512];
    struct stat file {};
    if (inode != 0 && path.starts_with('/') && path.size() < sizeof name) {
        path.copy(name, path.size());
        name[path.size()] = '\0';
        if (::stat(name, &file) == 0 && file.st_ino == inode && S_ISREG(file.st_mode)) {
            const auto size = static_cast<std::uint64_t>(file.st_size);
            const long pageSize = ::sysconf(_SC_PAGESIZE);
            const std::uint64_t page = pageSize > 0 ? static_cast<std::uint64_t>(pageSize) : 4096;
            if (size <= offset) {
                return;
            }
            const std::uint64_t backed = (size - offset + page - 1) / page * page;
            if (backed < end - begin) {
                end = begin + static_cast<std::uintptr_t>(backed);
            }
        }
    }
    found(begin, end);
}

// Calls `found(begin, end)` for every readable mapping, lowest first; false when the map cannot be
// read. The file is read in blocks, and only the start of each line is kept.
template <typename Found> bool forEachReadableMapping(Found found) {
    const int file = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return false;
    }
    char block[4096];
    char line[512];
    std::size_t length = 0;
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(file, block, sizeof block);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            ok = false;
            break;
        }
        if (got == 0) {
            break;
        }
        for (ssize_t i = 0; i < got; ++i) {
            if (block[i] == '\n') {
                readableMapping(std::string_view(line, length), found);
                length = 0;
            } else if (length < sizeof line) {
                line[length++] = block[i];
            }
        }
    }
    if (length > 0) {
        readableMapping(std::string_view(line, length), found);
    }
    ::close(file);
    return ok;
}

} // namespace

std::vector<MemorySpan> readableRanges() {
    std::vector<MemorySpan> spans;
    forEachReadableMapping(
        [&](std::uintptr_t begin, std::uintptr_t end) { detail::appendSpan(spans, begin, end); });
    return spans;
}

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
        detail::appendSpan(image, segments.spans[i].address(), segments.spans[i].endAddress());
    }

    // The segments as the loader mapped them; what is readable now is what /proc/self/maps says (a
    // page made inaccessible after loading is not part of the image's readable spans).
    ModuleImage readable;
    const bool mapped = forEachReadableMapping([&](std::uintptr_t begin, std::uintptr_t end) {
        for (const MemorySpan& span : image.readableSpans()) {
            const std::uintptr_t low = std::max(begin, span.address());
            const std::uintptr_t high = std::min(end, span.endAddress());
            if (low < high) {
                detail::appendSpan(readable, low, high);
            }
        }
    });
    // Where the map cannot be read, the segments stand as the loader mapped them.
    return detail::withExtent(mapped ? readable : image);
}

brickwright::Result<void> makeDirectory(const char* path) {
    if (::mkdir(path, 0777) != 0) {
        return brickwright::fail("cannot create the directory " + std::string(path) + ": " +
                                 lastErrorReason());
    }
    return {};
}

brickwright::Result<void> replaceFile(const char* from, const char* to) {
    if (std::rename(from, to) != 0) {
        return brickwright::fail("cannot move " + std::string(from) + " over " + to + ": " +
                                 lastErrorReason());
    }
    return {};
}

std::optional<FileAccess> fileAccess(const char* path) {
    struct stat status {};
    if (::stat(path, &status) != 0) {
        return std::nullopt;
    }
    const auto bits = static_cast<std::uint32_t>(status.st_mode & 07777);
    return FileAccess{bits, (bits & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0};
}

brickwright::Result<void> setFileAccess(const char* path, const FileAccess& access) {
    if (::chmod(path, static_cast<mode_t>(access.bits & 07777)) != 0) {
        return brickwright::fail("cannot set the permissions of " + std::string(path) + ": " +
                                 lastErrorReason());
    }
    return {};
}

FileRead readRegularFile(const char* path, std::size_t limit) {
    FileRead result;
    // O_NONBLOCK: a FIFO without a writer would hold the open for ever. It is cleared once the file
    // proves regular, so that reads behave as on any file.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        result.reason = lastErrorReason();
        return result;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        result.outcome = FileRead::Outcome::NotRegular;
        ::close(fd);
        return result;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    result.outcome = FileRead::Outcome::Read;
    std::string chunk(std::size_t{64} * 1024, '\0');
    for (;;) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break; // the end, or a read error: what was read so far stands
        }
        const auto count = static_cast<std::size_t>(got);
        if (count > limit - result.bytes.size()) {
            result.outcome = FileRead::Outcome::TooLarge;
            result.bytes.clear();
            break;
        }
        result.bytes.append(chunk.data(), count);
    }
    ::close(fd);
    return result;
}

bool canOpenForReading(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

std::string lastErrorReason() {
    return std::generic_category().message(errno);
}

} // namespace platform

#endif
