// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WinDevice.h"

#include "platform/Devices.h"
#include "platform/WinText.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cctype>
#include <optional>

namespace sarvik::platform {

namespace {

bool startsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

/// "C:" of a path "\\.\C:" (or "\\?\C:"), else nothing.
std::optional<std::string> driveOfVolumePath(const std::string& path)
{
    if ((startsWith(path, "\\\\.\\") || startsWith(path, "\\\\?\\")) && path.size() == 6 && path[5] == ':' &&
        std::isalpha(static_cast<unsigned char>(path[4])) != 0)
        return path.substr(4, 2);
    return std::nullopt;
}

/// The device's logical sector size: reads must be whole sectors of it.
std::uint32_t deviceSectorBytes(HANDLE handle)
{
    DISK_GEOMETRY geometry{};
    DWORD returned = 0;
    if (::DeviceIoControl(handle, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof geometry, &returned,
                          nullptr) != 0 &&
        geometry.BytesPerSector >= 512 && geometry.BytesPerSector <= 65536 &&
        (geometry.BytesPerSector & (geometry.BytesPerSector - 1)) == 0)
        return geometry.BytesPerSector;
    return 512;
}

} // namespace

bool isRawDevicePath(const std::string& path)
{
    return (startsWith(path, "\\\\.\\") || startsWith(path, "\\\\?\\")) &&
           (driveOfVolumePath(path).has_value() || startsWith(path.substr(4), "PhysicalDrive") ||
            startsWith(path.substr(4), "Volume{") || startsWith(path.substr(4), "GLOBALROOT"));
}

std::optional<OpenedDevice> openDevice(const std::string& path, std::string& error, bool& accessDenied)
{
    const bool raw = isRawDevicePath(path);
    // Sharing writes too: a mounted volume is open for writing by the system,
    // and a read-only open that refused to share them would fail.
    HANDLE handle = ::CreateFileW(wideOf(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        accessDenied = code == ERROR_ACCESS_DENIED;
        if (accessDenied && raw)
            error = path + ": access denied: a raw volume or disk can be read only with administrator rights; "
                           "run it from an elevated prompt (Run as administrator)";
        else
            error = path + ": " + systemMessage(code);
        return std::nullopt;
    }
    OpenedDevice device{handle, 0, 1}; // a file takes any read
    if (raw) {
        GET_LENGTH_INFORMATION length{};
        DWORD returned = 0;
        if (::DeviceIoControl(handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned,
                              nullptr) == 0) {
            error = path + ": " + systemMessage(::GetLastError());
            ::CloseHandle(handle);
            return std::nullopt;
        }
        device.size = static_cast<std::uint64_t>(length.Length.QuadPart);
        device.sectorBytes = deviceSectorBytes(handle);
    } else {
        BY_HANDLE_FILE_INFORMATION info{};
        LARGE_INTEGER fileSize{};
        if (::GetFileInformationByHandle(handle, &info) == 0 ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || ::GetFileSizeEx(handle, &fileSize) == 0) {
            ::CloseHandle(handle);
            error = path + ": not a disk image or a volume";
            return std::nullopt;
        }
        device.size = static_cast<std::uint64_t>(fileSize.QuadPart);
    }
    return device;
}

std::vector<std::pair<std::uint64_t, std::uint64_t>> fileHoles(NativeFile /*file*/, std::uint64_t /*size*/,
                                                               std::size_t /*limit*/)
{
    return {}; // not asked of the system here: every image is read
}

bool readAt(NativeFile file, std::uint64_t offset, std::byte* into, std::size_t length)
{
    std::size_t done = 0;
    while (done < length) {
        OVERLAPPED at{};
        const std::uint64_t position = offset + done;
        at.Offset = static_cast<DWORD>(position & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(position >> 32);
        const auto want = static_cast<DWORD>(std::min<std::size_t>(length - done, 1u << 30));
        DWORD got = 0;
        if (::ReadFile(static_cast<HANDLE>(file), into + done, want, &got, &at) == 0 || got == 0)
            return false; // a failed sector, or the device shrank under us
        done += got;
    }
    return true;
}

bool runningAsAdministrator()
{
    HANDLE token = nullptr;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token) == 0)
        return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool elevated = ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) != 0 &&
                          elevation.TokenIsElevated != 0;
    ::CloseHandle(token);
    return elevated;
}

bool accessRefused(const std::string& path)
{
    std::string ignored;
    bool denied = false;
    (void)SystemBlockSource::open(path, &ignored, &denied);
    return denied;
}

std::optional<std::string> readVolumeLabel(const std::string& devicePath)
{
    // GetVolumeInformationW knows the labels of drive letters only.
    const auto drive = driveOfVolumePath(devicePath);
    if (!drive)
        return std::nullopt;
    const std::wstring root = wideOf(*drive + "\\");
    wchar_t label[MAX_PATH + 1] = {};
    if (::GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0) == 0)
        return std::nullopt;
    return utf8Of(label);
}

} // namespace sarvik::platform
