// What microsoft/STL keeps in the static part of its import library (msvcprt.lib) for std::filesystem
// rather than in msvcp140.dll, which no DLL exports: its calls of Windows. Written here against the
// contract its header declares (<xfilesystem_abi.h>), for the calls the project's modules make; a call
// outside them fails to link, not to run.
#include <xfilesystem_abi.h>

#include <windows.h>

namespace {

// Windows 10's flag, which Wine's headers lack: links made as an unprivileged user in developer mode.
constexpr DWORD kSymbolicLinkUnprivileged = 0x2;

__std_win_error lastError() noexcept {
    return static_cast<__std_win_error>(GetLastError());
}

long long fileTime(const FILETIME& time) noexcept {
    return static_cast<long long>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) |
                                  time.dwLowDateTime);
}

bool includes(__std_fs_stats_flags flags, __std_fs_stats_flags which) noexcept {
    return (static_cast<unsigned long>(flags) & static_cast<unsigned long>(which)) != 0;
}

// The fields of an open file (or directory) that GetFileInformationByHandle gives.
__std_win_error statsByHandle(const wchar_t* path, bool follow, __std_fs_stats* stats) noexcept {
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    const HANDLE file =
        CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return lastError();
    }
    BY_HANDLE_FILE_INFORMATION information{};
    const BOOL ok = GetFileInformationByHandle(file, &information);
    const __std_win_error error = ok ? __std_win_error::_Success : lastError();
    CloseHandle(file);
    if (ok) {
        stats->_Attributes = static_cast<__std_fs_file_attr>(information.dwFileAttributes);
        stats->_File_size =
            (static_cast<unsigned long long>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
        stats->_Last_write_time = fileTime(information.ftLastWriteTime);
        stats->_Link_count = information.nNumberOfLinks;
    }
    return error;
}

} // namespace

extern "C" {

__std_code_page __stdcall __std_fs_code_page() noexcept {
    return static_cast<__std_code_page>(AreFileApisANSI() ? GetACP() : GetOEMCP());
}

__std_fs_convert_result __stdcall __std_fs_convert_narrow_to_wide(__std_code_page codePage, const char* input,
                                                                  int inputLength, wchar_t* output,
                                                                  int outputLength) noexcept {
    const int length = MultiByteToWideChar(static_cast<UINT>(codePage), MB_ERR_INVALID_CHARS, input,
                                           inputLength, output, outputLength);
    return {length, length == 0 && inputLength != 0 ? lastError() : __std_win_error::_Success};
}

__std_fs_convert_result __stdcall __std_fs_convert_wide_to_narrow(__std_code_page codePage,
                                                                  const wchar_t* input, int inputLength,
                                                                  char* output, int outputLength) noexcept {
    if (codePage == __std_code_page::_Utf8) {
        const int length = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, input, inputLength, output,
                                               outputLength, nullptr, nullptr);
        return {length, length == 0 && inputLength != 0 ? lastError() : __std_win_error::_Success};
    }
    // A character the code page cannot hold is an error, not a silent '?'.
    BOOL defaulted = FALSE;
    const int length = WideCharToMultiByte(static_cast<UINT>(codePage), WC_NO_BEST_FIT_CHARS, input,
                                           inputLength, output, outputLength, nullptr, &defaulted);
    if (length == 0 && inputLength != 0) {
        return {0, lastError()};
    }
    if (defaulted) {
        return {0, static_cast<__std_win_error>(ERROR_NO_UNICODE_TRANSLATION)};
    }
    return {length, __std_win_error::_Success};
}

__std_fs_convert_result __stdcall __std_fs_convert_wide_to_narrow_replace_chars(__std_code_page codePage,
                                                                                const wchar_t* input,
                                                                                int inputLength, char* output,
                                                                                int outputLength) noexcept {
    const int length = WideCharToMultiByte(static_cast<UINT>(codePage), 0, input, inputLength, output,
                                           outputLength, nullptr, nullptr);
    return {length, length == 0 && inputLength != 0 ? lastError() : __std_win_error::_Success};
}

__std_win_error __stdcall __std_fs_get_stats(const wchar_t* path, __std_fs_stats* stats,
                                             __std_fs_stats_flags flags, __std_fs_file_attr) noexcept {
    const bool follow = includes(flags, __std_fs_stats_flags::_Follow_symlinks);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) {
        return lastError();
    }
    stats->_Attributes = static_cast<__std_fs_file_attr>(data.dwFileAttributes);
    stats->_File_size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stats->_Last_write_time = fileTime(data.ftLastWriteTime);
    stats->_Reparse_point_tag = __std_fs_reparse_tag::_None;
    stats->_Link_count = 1;
    const bool reparsePoint = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    // What the attributes alone cannot tell: the target of a link, the link count.
    if ((follow && reparsePoint) || includes(flags, __std_fs_stats_flags::_Link_count)) {
        const __std_win_error error = statsByHandle(path, follow, stats);
        if (error != __std_win_error::_Success) {
            return error;
        }
    }
    if (reparsePoint && !follow && includes(flags, __std_fs_stats_flags::_Reparse_tag)) {
        WIN32_FIND_DATAW found{};
        const HANDLE find = FindFirstFileW(path, &found);
        if (find == INVALID_HANDLE_VALUE) {
            return lastError();
        }
        FindClose(find);
        stats->_Reparse_point_tag = static_cast<__std_fs_reparse_tag>(found.dwReserved0);
    }
    stats->_Available = static_cast<__std_fs_stats_flags>(
        static_cast<unsigned long>(flags) &
        ~static_cast<unsigned long>(__std_fs_stats_flags::_Follow_symlinks));
    return __std_win_error::_Success;
}

__std_win_error __stdcall __std_fs_directory_iterator_open(const wchar_t* pathSpec,
                                                           __std_fs_dir_handle* handle,
                                                           __std_fs_find_data* results) noexcept {
    __std_fs_directory_iterator_close(*handle);
    static_assert(sizeof(__std_fs_find_data) == sizeof(WIN32_FIND_DATAW));
    const HANDLE find =
        FindFirstFileExW(pathSpec, FindExInfoBasic, reinterpret_cast<WIN32_FIND_DATAW*>(results),
                         FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
        *handle = __std_fs_dir_handle::_Invalid;
        return lastError();
    }
    *handle = static_cast<__std_fs_dir_handle>(reinterpret_cast<intptr_t>(find));
    return __std_win_error::_Success;
}

__std_win_error __stdcall __std_fs_directory_iterator_advance(__std_fs_dir_handle handle,
                                                              __std_fs_find_data* results) noexcept {
    if (!FindNextFileW(reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle)),
                       reinterpret_cast<WIN32_FIND_DATAW*>(results))) {
        return lastError();
    }
    return __std_win_error::_Success;
}

void __stdcall __std_fs_directory_iterator_close(__std_fs_dir_handle handle) noexcept {
    if (handle != __std_fs_dir_handle::_Invalid) {
        FindClose(reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle)));
    }
}

__std_ulong_and_error __stdcall __std_fs_get_temp_path(wchar_t* target) noexcept {
    const DWORD size = GetTempPathW(static_cast<DWORD>(__std_fs_temp_path_max), target);
    if (size == 0) {
        return {0, lastError()};
    }
    // The path without its final separator, as the standard library hands it out.
    DWORD length = size;
    if (length > 3 && (target[length - 1] == L'\\' || target[length - 1] == L'/')) {
        target[--length] = L'\0';
    }
    const DWORD attributes = GetFileAttributesW(target);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return {length, __std_win_error::_Max}; // retrieved, but not a directory
    }
    return {length, __std_win_error::_Success};
}

__std_ulong_and_error __stdcall __std_fs_get_current_path(unsigned long targetSize,
                                                          wchar_t* target) noexcept {
    const DWORD size = GetCurrentDirectoryW(targetSize, target);
    return {size, size == 0 ? lastError() : __std_win_error::_Success};
}

__std_win_error __stdcall __std_fs_set_current_path(const wchar_t* target) noexcept {
    return SetCurrentDirectoryW(target) ? __std_win_error::_Success : lastError();
}

__std_fs_create_directory_result __stdcall __std_fs_create_directory(const wchar_t* directory) noexcept {
    if (CreateDirectoryW(directory, nullptr)) {
        return {true, __std_win_error::_Success};
    }
    const __std_win_error error = lastError();
    if (error == __std_win_error::_Already_exists) {
        // Not created, and no error when what is there is a directory.
        const DWORD attributes = GetFileAttributesW(directory);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return {false, __std_win_error::_Success};
        }
    }
    return {false, error};
}

__std_fs_remove_result __stdcall __std_fs_remove(const wchar_t* target) noexcept {
    const DWORD attributes = GetFileAttributesW(target);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const __std_win_error error = lastError();
        return {false, __std_is_file_not_found(error) ? __std_win_error::_Success : error};
    }
    const BOOL removed =
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? RemoveDirectoryW(target) : DeleteFileW(target);
    return removed ? __std_fs_remove_result{true, __std_win_error::_Success}
                   : __std_fs_remove_result{false, lastError()};
}

__std_ulong_and_error __stdcall __std_fs_get_full_path_name(const wchar_t* source, unsigned long targetSize,
                                                            wchar_t* target) noexcept {
    const DWORD size = GetFullPathNameW(source, targetSize, target, nullptr);
    return {size, size == 0 ? lastError() : __std_win_error::_Success};
}

__std_win_error __stdcall __std_fs_change_permissions(const wchar_t* path, bool followSymlinks,
                                                      bool readOnly) noexcept {
    (void)followSymlinks; // the attribute of a link and of what it names are both the file's own here
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return lastError();
    }
    const DWORD wanted =
        readOnly ? (attributes | FILE_ATTRIBUTE_READONLY) : (attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
    if (wanted == attributes) {
        return __std_win_error::_Success;
    }
    return SetFileAttributesW(path, wanted) ? __std_win_error::_Success : lastError();
}

__std_win_error __stdcall __std_fs_open_handle(__std_fs_file_handle* handle, const wchar_t* fileName,
                                               __std_access_rights desiredAccess,
                                               __std_fs_file_flags flags) noexcept {
    const HANDLE file = CreateFileW(fileName, static_cast<DWORD>(desiredAccess),
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, static_cast<DWORD>(flags), nullptr);
    *handle = static_cast<__std_fs_file_handle>(reinterpret_cast<intptr_t>(file));
    return file == INVALID_HANDLE_VALUE ? lastError() : __std_win_error::_Success;
}

void __stdcall __std_fs_close_handle(__std_fs_file_handle handle) noexcept {
    if (handle != __std_fs_file_handle::_Invalid) {
        CloseHandle(reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle)));
    }
}

__std_win_error __stdcall __std_fs_read_reparse_data_buffer(__std_fs_file_handle handle, void* buffer,
                                                            unsigned long bufferSize) noexcept {
    DWORD written = 0;
    return DeviceIoControl(reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle)), FSCTL_GET_REPARSE_POINT,
                           nullptr, 0, buffer, bufferSize, &written, nullptr)
               ? __std_win_error::_Success
               : lastError();
}

// The target a link's reparse data names: its print name, or where that is empty its substitute name.
__std_win_error __stdcall __std_fs_read_name_from_reparse_data_buffer(__std_fs_reparse_data_buffer* buffer,
                                                                      wchar_t** name,
                                                                      unsigned short* length) noexcept {
    const auto pick = [&](auto& names) {
        const bool printed = names._Print_name_length != 0;
        *name = &names._Path_buffer[(printed ? names._Print_name_offset : names._Substitute_name_offset) /
                                    sizeof(wchar_t)];
        *length = static_cast<unsigned short>(
            (printed ? names._Print_name_length : names._Substitute_name_length) / sizeof(wchar_t));
    };
    if (buffer->_Reparse_tag == IO_REPARSE_TAG_SYMLINK) {
        pick(buffer->_Symbolic_link_reparse_buffer);
    } else if (buffer->_Reparse_tag == IO_REPARSE_TAG_MOUNT_POINT) {
        pick(buffer->_Mount_point_reparse_buffer);
    } else {
        return __std_win_error::_Reparse_tag_invalid;
    }
    return __std_win_error::_Success;
}

// Without the right to make links (an administrator's, or developer mode) the call fails.
__std_win_error __stdcall __std_fs_create_symbolic_link(const wchar_t* link, const wchar_t* target) noexcept {
    return CreateSymbolicLinkW(link, target, kSymbolicLinkUnprivileged) ? __std_win_error::_Success
                                                                        : lastError();
}

__std_win_error __stdcall __std_fs_create_directory_symbolic_link(const wchar_t* link,
                                                                  const wchar_t* target) noexcept {
    return CreateSymbolicLinkW(link, target, SYMBOLIC_LINK_FLAG_DIRECTORY | kSymbolicLinkUnprivileged)
               ? __std_win_error::_Success
               : lastError();
}

__std_win_error __stdcall __std_fs_rename(const wchar_t* source, const wchar_t* target) noexcept {
    return MoveFileExW(source, target, MOVEFILE_REPLACE_EXISTING) ? __std_win_error::_Success : lastError();
}

__std_win_error __stdcall __std_fs_resize_file(const wchar_t* target, uintmax_t newSize) noexcept {
    const HANDLE file =
        CreateFileW(target, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return lastError();
    }
    LARGE_INTEGER size{};
    size.QuadPart = static_cast<LONGLONG>(newSize);
    const BOOL ok = SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    const __std_win_error error = ok ? __std_win_error::_Success : lastError();
    CloseHandle(file);
    return error;
}
}
