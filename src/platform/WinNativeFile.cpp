// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/NativeFile.h"

#include "platform/WinText.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <limits>

namespace sarvik::platform {

namespace {

/// The most bytes one WriteFile is given (its count is 32 bits).
constexpr std::size_t kMostBytesPerWrite = std::size_t{1} << 30;

} // namespace

bool writeAll(NativeFile file, disk::ByteSpan bytes, std::string& error, std::size_t* written)
{
    const std::byte* at = bytes.data();
    std::size_t left = bytes.size();
    const auto done = [&] {
        if (written != nullptr)
            *written = bytes.size() - left;
    };
    while (left > 0) {
        const auto chunk = static_cast<DWORD>(std::min(left, kMostBytesPerWrite));
        DWORD chunkWritten = 0;
        if (::WriteFile(static_cast<HANDLE>(file), at, chunk, &chunkWritten, nullptr) == 0 || chunkWritten == 0) {
            error = systemMessage(::GetLastError());
            done();
            return false;
        }
        at += chunkWritten;
        left -= chunkWritten;
    }
    done();
    return true;
}

SkipResult skipAhead(NativeFile file, std::uint64_t count, std::string& error)
{
    const auto handle = static_cast<HANDLE>(file);
    // SetFilePointerEx is not for pipes and character devices.
    if (::GetFileType(handle) != FILE_TYPE_DISK)
        return SkipResult::CannotSeek;
    if (count > static_cast<std::uint64_t>(std::numeric_limits<LONGLONG>::max())) {
        error = systemMessage(ERROR_FILE_TOO_LARGE);
        return SkipResult::Failed;
    }
    // Only a sparse file keeps what is passed over as a hole; a file system
    // without sparse files (FAT, exFAT) refuses the mark and fills it with zeros.
    DWORD returned = 0;
    (void)::DeviceIoControl(handle, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER distance{};
    distance.QuadPart = static_cast<LONGLONG>(count);
    if (::SetFilePointerEx(handle, distance, nullptr, FILE_CURRENT) != 0)
        return SkipResult::Skipped;
    error = systemMessage(::GetLastError());
    return SkipResult::Failed;
}

bool endAtPosition(NativeFile file, std::string& error)
{
    if (::SetEndOfFile(static_cast<HANDLE>(file)) != 0)
        return true;
    error = systemMessage(::GetLastError());
    return false;
}

bool closeFile(NativeFile file, std::string& error)
{
    if (::CloseHandle(static_cast<HANDLE>(file)) != 0)
        return true;
    error = systemMessage(::GetLastError());
    return false;
}

} // namespace sarvik::platform
