#include "platform/RegularFile.h"

#include "platform/WinText.h"

#include <windows.h>

#include <algorithm>

namespace sarvik::platform {

namespace {

bool fail(std::string& error, const std::string& path, const std::string& reason)
{
    error = path + ": " + reason;
    return false;
}

} // namespace

bool writeRegularFile(const std::string& path, std::span<const std::byte> bytes, bool replace, std::string& error)
{
    const std::wstring wide = wideOf(path);
    HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS)
            return fail(error, path, systemMessage(code));
        if (!replace)
            return fail(error, path, "the file exists (--force replaces it)");
        handle = ::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return fail(error, path, systemMessage(::GetLastError()));
        BY_HANDLE_FILE_INFORMATION info{};
        if (::GetFileType(handle) != FILE_TYPE_DISK || ::GetFileInformationByHandle(handle, &info) == 0 ||
            (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
            ::CloseHandle(handle);
            return fail(error, path, "not a plain file; a snapshot is written only as one");
        }
        if (::SetEndOfFile(handle) == 0) {
            const DWORD code2 = ::GetLastError();
            ::CloseHandle(handle);
            return fail(error, path, systemMessage(code2));
        }
    }
    const std::byte* at = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(left, 1u << 30));
        DWORD written = 0;
        if (::WriteFile(handle, at, chunk, &written, nullptr) == 0 || written == 0) {
            const DWORD code = ::GetLastError();
            ::CloseHandle(handle);
            return fail(error, path, systemMessage(code));
        }
        at += written;
        left -= written;
    }
    if (::CloseHandle(handle) == 0)
        return fail(error, path, systemMessage(::GetLastError()));
    return true;
}

} // namespace sarvik::platform
