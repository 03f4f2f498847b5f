#if defined(_WIN32)

#include "platform/os.hpp"

#include "spans.hpp"

#include <direct.h>
#include <windows.h>

#include <cerrno>
#include <string>
#include <system_error>

// K32GetModuleInformation lives in kernel32 itself (Windows 7 and later).
#ifndef PSAPI_VERSION
#define PSAPI_VERSION 2
#endif
#include <psapi.h>

namespace platform {

namespace {

// Committed pages whose protection lets them be read without a fault (a guard page faults once).
bool readable(const MEMORY_BASIC_INFORMATION& region) noexcept {
    constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                                PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    return region.State == MEM_COMMIT && (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) == 0 &&
           (region.Protect & kReadable) != 0;
}

// Calls `found(begin, end)` for every readable region in [from, to), lowest first, clipped to it.
template <typename Found> void forEachReadableRegion(std::uintptr_t from, std::uintptr_t to, Found found) {
    std::uintptr_t at = from;
    while (at < to) {
        MEMORY_BASIC_INFORMATION region{};
        if (::VirtualQuery(reinterpret_cast<LPCVOID>(at), &region, sizeof region) == 0) {
            return;
        }
        const auto begin = reinterpret_cast<std::uintptr_t>(region.BaseAddress);
        const std::uintptr_t end = begin + region.RegionSize;
        if (end <= at) {
            return;
        }
        if (readable(region)) {
            found(at > begin ? at : begin, end < to ? end : to);
        }
        at = end;
    }
}

// The system's words for a Windows error code, without the line end FormatMessage adds.
std::string windowsReason(DWORD code) {
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                              FORMAT_MESSAGE_IGNORE_INSERTS,
                                          nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string reason = length > 0 && text != nullptr ? std::string(text, length) : std::string();
    ::LocalFree(text);
    while (!reason.empty() &&
           (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ' || reason.back() == '.')) {
        reason.pop_back();
    }
    return reason.empty() ? "Windows error " + std::to_string(code) : reason;
}

} // namespace

ModuleImage gameModuleImage() noexcept {
    // The main executable's handle is its base address; of the module record only SizeOfImage is used.
    HMODULE module = ::GetModuleHandleW(nullptr);
    MODULEINFO info{};
    static_assert(sizeof info == 24);
    if (module == nullptr || !::K32GetModuleInformation(::GetCurrentProcess(), module, &info, sizeof info) ||
        info.SizeOfImage == 0) {
        return {};
    }
    // Only the pages that can be read now: a no-access or guard page inside the image would fault.
    ModuleImage image;
    const auto base = reinterpret_cast<std::uintptr_t>(module);
    forEachReadableRegion(base, base + info.SizeOfImage, [&](std::uintptr_t begin, std::uintptr_t end) {
        detail::appendSpan(image, begin, end);
    });
    return detail::withExtent(image);
}

std::vector<MemorySpan> readableRanges() {
    SYSTEM_INFO system{};
    ::GetSystemInfo(&system);
    std::vector<MemorySpan> spans;
    forEachReadableRegion(
        reinterpret_cast<std::uintptr_t>(system.lpMinimumApplicationAddress),
        reinterpret_cast<std::uintptr_t>(system.lpMaximumApplicationAddress),
        [&](std::uintptr_t begin, std::uintptr_t end) { detail::appendSpan(spans, begin, end); });
    return spans;
}

brickwright::Result<void> makeDirectory(const char* path) {
    if (::_mkdir(path) != 0) {
        return brickwright::fail("cannot create the directory " + std::string(path) + ": " +
                                 lastErrorReason());
    }
    return {};
}

brickwright::Result<void> replaceFile(const char* from, const char* to) {
    if (::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        return brickwright::fail("cannot move " + std::string(from) + " over " + to + ": " +
                                 windowsReason(::GetLastError()));
    }
    return {};
}

std::optional<FileAccess> fileAccess(const char* path) {
    const DWORD attributes = ::GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return std::nullopt;
    }
    return FileAccess{attributes, (attributes & FILE_ATTRIBUTE_READONLY) != 0};
}

brickwright::Result<void> setFileAccess(const char* path, const FileAccess& access) {
    // A file's attributes, without those that only the system sets.
    constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    DWORD attributes = access.bits & kSettable & ~DWORD{FILE_ATTRIBUTE_READONLY};
    if (access.readOnly) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    }
    if (::SetFileAttributesA(path, attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes) == 0) {
        return brickwright::fail("cannot set the attributes of " + std::string(path) + ": " +
                                 windowsReason(::GetLastError()));
    }
    return {};
}

namespace {

HANDLE openForReading(const char* path) {
    // Shared every way, as a C runtime stream opens a file for reading. A directory does not open
    // without FILE_FLAG_BACKUP_SEMANTICS, as a stream does not open one either.
    return ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

FileRead readRegularFile(const char* path, std::size_t limit) {
    FileRead result;
    const HANDLE file = openForReading(path);
    if (file == INVALID_HANDLE_VALUE) {
        result.reason = windowsReason(::GetLastError());
        return result;
    }
    // A disk file, and neither a directory nor a device: a pipe, a console or a device name (CON, NUL)
    // could keep a read waiting or never end.
    BY_HANDLE_FILE_INFORMATION information{};
    if (::GetFileType(file) != FILE_TYPE_DISK || ::GetFileInformationByHandle(file, &information) == 0 ||
        (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        result.outcome = FileRead::Outcome::NotRegular;
        ::CloseHandle(file);
        return result;
    }
    result.outcome = FileRead::Outcome::Read;
    std::string chunk(std::size_t{64} * 1024, '\0');
    for (;;) {
        DWORD got = 0;
        if (::ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr) == 0 ||
            got == 0) {
            break; // the end, or a read error: what was read so far stands
        }
        if (std::size_t{got} > limit - result.bytes.size()) {
            result.outcome = FileRead::Outcome::TooLarge;
            result.bytes.clear();
            break;
        }
        result.bytes.append(chunk.data(), got);
    }
    ::CloseHandle(file);
    return result;
}

bool canOpenForReading(const char* path) {
    const HANDLE file = openForReading(path);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    ::CloseHandle(file);
    return true;
}

std::string lastErrorReason() {
    return std::generic_category().message(errno);
}

} // namespace platform

#endif
