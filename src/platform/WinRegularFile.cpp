#include "platform/NativeFile.h"

#include "platform/WinText.h"

#include <windows.h>

namespace sarvik::platform {

std::optional<NativeFile> openRegularFile(const std::string& path, bool replace, std::string& error)
{
    const std::wstring wide = wideOf(path);
    HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle != INVALID_HANDLE_VALUE)
        return handle;
    const DWORD code = ::GetLastError();
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
        error = systemMessage(code);
        return std::nullopt;
    }
    if (!replace) {
        error = "the file exists (--force replaces it)";
        return std::nullopt;
    }
    handle = ::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = systemMessage(::GetLastError());
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(handle) != FILE_TYPE_DISK || ::GetFileInformationByHandle(handle, &info) == 0 ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        ::CloseHandle(handle);
        error = "not a plain file; a snapshot is written only as one";
        return std::nullopt;
    }
    if (::SetEndOfFile(handle) == 0) {
        error = systemMessage(::GetLastError());
        ::CloseHandle(handle);
        return std::nullopt;
    }
    return handle;
}

} // namespace sarvik::platform
