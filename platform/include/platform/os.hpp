// The little this project needs of the operating system, one file per OS behind this header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "brickwright/result.hpp"

namespace platform {

// An address range of memory: `size` bytes from `begin`. The one range type of the engine access
// layer: the image's readable parts, the process's readable ranges, the stretches a search walks.
struct MemorySpan {
    const std::uint8_t* begin = nullptr;
    std::size_t size = 0;

    [[nodiscard]] std::uintptr_t address() const noexcept { return reinterpret_cast<std::uintptr_t>(begin); }
    [[nodiscard]] std::uintptr_t endAddress() const noexcept { return address() + size; }

    // Whether [at, at + bytes) lies inside; `bytes` is at least 1.
    [[nodiscard]] bool contains(std::uintptr_t at, std::size_t bytes) const noexcept {
        return at - address() < size && bytes <= size - (at - address());
    }
};

inline constexpr std::size_t kMaxImageSpans = 16;

// The process's main executable as it lies in memory: where it begins, how long it is, and the parts
// of it that can be read, lowest address first, touching parts merged into one.
struct ModuleImage {
    const std::uint8_t* base = nullptr;
    std::size_t size = 0;
    std::array<MemorySpan, kMaxImageSpans> spans{};
    std::size_t spanCount = 0;

    // The spans in use: the first spanCount of `spans` (never more than it holds).
    [[nodiscard]] std::span<const MemorySpan> readableSpans() const noexcept {
        return std::span<const MemorySpan>(spans).first(spanCount < spans.size() ? spanCount : spans.size());
    }
};

// Windows: GetModuleHandleW(nullptr) for the base, K32GetModuleInformation for SizeOfImage, and of
// that the pages VirtualQuery calls readable. Linux: the main executable's loaded segments, as far as
// /proc/self/maps calls them readable. An image that cannot be told has no spans; spans beyond
// kMaxImageSpans are left out.
[[nodiscard]] ModuleImage gameModuleImage() noexcept;

// The process's readable address ranges at this moment, lowest address first, touching ranges merged.
// Windows: VirtualQuery over the user address space (committed, readable, neither PAGE_NOACCESS nor
// PAGE_GUARD). Linux: the readable mappings of /proc/self/maps, without the kernel's [vvar] pages and
// device mappings, whose reads may fault. Empty when the system cannot tell. Another thread may change
// the mappings right after; the snapshot is only as good as the moment it was taken.
[[nodiscard]] std::vector<MemorySpan> readableRanges();

// Creates one directory level, as _mkdir does; an error when it was not created (it may already exist).
[[nodiscard]] brickwright::Result<void> makeDirectory(const char* path);

// Moves `from` over `to` in one step, replacing `to` if it exists.
[[nodiscard]] brickwright::Result<void> replaceFile(const char* from, const char* to);

// Who may do what with a file, as the system keeps it: Linux the permission bits of its mode (07777),
// Windows its attribute word. Read-only is Linux's mode without any write bit (whoever runs, root
// included) and Windows's read-only attribute.
struct FileAccess {
    std::uint32_t bits = 0;
    bool readOnly = false;
};

// The access of the file or directory at `path`, links followed; nothing when there is none there
// (or the system cannot tell).
[[nodiscard]] std::optional<FileAccess> fileAccess(const char* path);

// Gives the file at `path` the access `access` describes. Windows: its settable attributes, read-only
// as `readOnly` says; Linux: the permission bits as they are.
[[nodiscard]] brickwright::Result<void> setFileAccess(const char* path, const FileAccess& access);

// What reading a file whole, without waiting, came to.
struct FileRead {
    enum class Outcome {
        Read,       // `bytes` holds the file, up to a read error if one ended it early
        CannotOpen, // `reason` says why, in the system's words (it may not be there at all)
        NotRegular, // a FIFO, a socket, a device, a directory: nothing was read
        TooLarge,   // more than the limit: what was read is dropped
    };
    Outcome outcome = Outcome::CannotOpen;
    std::string bytes;
    std::string reason;
};

// Reads the regular file at `path` (links followed) in binary, at most `limit` bytes. The open cannot
// wait on a FIFO's writer, and what was opened is checked to be a regular file before a byte is read,
// so a file swapped for something else between a caller's check and this open is not read either.
// Linux: open with O_NONBLOCK, then fstat; Windows: CreateFile, then GetFileType and the attributes.
[[nodiscard]] FileRead readRegularFile(const char* path, std::size_t limit);

// True when `path` can be opened for reading, as a read-only stream would open it, without waiting on
// a FIFO's writer. Nothing is read.
[[nodiscard]] bool canOpenForReading(const char* path);

// The system's words for the error number of the C library's last failed call ("No such file or
// directory"); what the runtime says where it does not know.
[[nodiscard]] std::string lastErrorReason();

} // namespace platform
