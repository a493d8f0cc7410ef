// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/NativeFile.h"

#include "platform/WinText.h"

#include <windows.h>

namespace sarvik::platform {

namespace {

/// The most "NAME.N.part" names tried before giving up.
constexpr int kMostTemporaryNames = 1000;

} // namespace

std::optional<std::string> refusedTarget(const std::string& path, bool replace)
{
    const DWORD attributes = ::GetFileAttributesW(wideOf(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return std::nullopt; // a missing name is free; a missing folder fails at creation
    if (!replace)
        return "the file exists (--force replaces it)";
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0)
        return "not a plain file; a snapshot is written only as one";
    return std::nullopt;
}

std::optional<NativeFile> createBeside(const std::string& path, std::string& created, std::string& error)
{
    DWORD code = ERROR_FILE_EXISTS;
    for (int n = 0; n < kMostTemporaryNames; ++n) {
        const std::string name = n == 0 ? path + ".part" : path + "." + std::to_string(n) + ".part";
        HANDLE handle =
            ::CreateFileW(wideOf(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            created = name;
            return handle;
        }
        code = ::GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS)
            break;
    }
    error = systemMessage(code);
    return std::nullopt;
}

bool syncFile(NativeFile file, std::string& error)
{
    if (::FlushFileBuffers(static_cast<HANDLE>(file)) != 0)
        return true;
    error = systemMessage(::GetLastError());
    return false;
}

bool moveIntoPlace(const std::string& from, const std::string& to, bool replace, std::string& error)
{
    if (replace) {
        // Checked again just before: something other than a plain file may have taken the name.
        if (const auto refused = refusedTarget(to, true)) {
            error = *refused;
            return false;
        }
    }
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (::MoveFileExW(wideOf(from).c_str(), wideOf(to).c_str(), flags) != 0)
        return true;
    const DWORD code = ::GetLastError();
    error = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS ? "the file exists (--force replaces it)"
                                                                      : systemMessage(code);
    return false;
}

void removeFile(const std::string& path)
{
    (void)::DeleteFileW(wideOf(path).c_str());
}

} // namespace sarvik::platform
