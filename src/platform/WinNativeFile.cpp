#include "platform/NativeFile.h"

#include "platform/WinText.h"

#include <windows.h>

#include <algorithm>

namespace sarvik::platform {

namespace {

/// The most bytes one WriteFile is given (its count is 32 bits).
constexpr std::size_t kMostBytesPerWrite = std::size_t{1} << 30;

} // namespace

bool writeAll(NativeFile file, disk::ByteSpan bytes, std::string& error)
{
    const std::byte* at = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const auto chunk = static_cast<DWORD>(std::min(left, kMostBytesPerWrite));
        DWORD written = 0;
        if (::WriteFile(static_cast<HANDLE>(file), at, chunk, &written, nullptr) == 0 || written == 0) {
            error = systemMessage(::GetLastError());
            return false;
        }
        at += written;
        left -= written;
    }
    return true;
}

bool closeFile(NativeFile file, std::string& error)
{
    if (::CloseHandle(static_cast<HANDLE>(file)) != 0)
        return true;
    error = systemMessage(::GetLastError());
    return false;
}

} // namespace sarvik::platform
