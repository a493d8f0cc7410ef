// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SourceVolume.h"

#include "platform/FileSystem.h"
#include "platform/PartitionSource.h"
#include "platform/WinDevice.h"
#include "platform/WinText.h"

#include <windows.h>
#include <winioctl.h>

#include <cctype>
#include <filesystem>
#include <optional>

namespace sarvik::platform {

namespace {

/// The disk and partition numbers of the volume "\\.\X:", or nothing.
std::optional<STORAGE_DEVICE_NUMBER> numbersOf(const std::wstring& volume)
{
    // No access asked: the numbers are readable without administrator rights.
    const HANDLE handle =
        ::CreateFileW(volume.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    STORAGE_DEVICE_NUMBER number{};
    DWORD returned = 0;
    const bool known = ::DeviceIoControl(handle, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number,
                                         &returned, nullptr) != 0;
    ::CloseHandle(handle);
    if (!known)
        return std::nullopt;
    return number;
}

/// "C:" for a path on drive C:, from the root of its volume; nothing for a
/// volume mounted without a letter.
std::optional<std::string> driveOf(const std::string& path)
{
    wchar_t root[MAX_PATH + 1] = {};
    if (::GetVolumePathNameW(wideOf(path).c_str(), root, MAX_PATH + 1) == 0)
        return std::nullopt;
    const std::string volume = utf8Of(root);
    if (volume.size() < 2 || volume[1] != ':')
        return std::nullopt;
    return std::string{static_cast<char>(std::toupper(static_cast<unsigned char>(volume[0]))), ':'};
}

bool sameText(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

/// Where a path on drive `drive` lies, seen from the raw source `device`
/// ("\\.\C:", "\\.\PhysicalDrive1") and its partition `number` (0: whole).
WritePlace placeOnDevice(const std::string& drive, const std::string& device, std::uint32_t number)
{
    const std::string target = device.substr(4);
    if (target.size() == 2 && target[1] == ':' && sameText(target, drive))
        return WritePlace::OnSource;
    const auto written = numbersOf(L"\\\\.\\" + wideOf(drive));
    if (!written)
        return WritePlace::Elsewhere;
    constexpr std::string_view kDisk = "PhysicalDrive";
    if (target.size() > kDisk.size() && sameText(target.substr(0, kDisk.size()), std::string(kDisk))) {
        if (std::to_string(written->DeviceNumber) != target.substr(kDisk.size()))
            return WritePlace::Elsewhere;
        return number == 0 || written->PartitionNumber == number ? WritePlace::OnSource : WritePlace::OtherPartition;
    }
    // Another letter: on the same disk, another partition of it.
    const auto read = target.size() == 2 ? numbersOf(wideOf(device)) : std::nullopt;
    return read && read->DeviceNumber == written->DeviceNumber ? WritePlace::OtherPartition : WritePlace::Elsewhere;
}

} // namespace

WritePlace placeOfWrite(const std::string& path, const std::vector<std::string>& sources)
{
    WritePlace place = WritePlace::Elsewhere;
    const auto drive = isRawDevicePath(path) ? std::optional<std::string>{} : driveOf(path);
    for (const std::string& source : sources) {
        const disk::PartitionPath split = resolvePartitionPath(source);
        WritePlace here = WritePlace::Elsewhere;
        std::error_code ec;
        if (isRawDevicePath(path) || isRawDevicePath(split.path)) {
            if (sameText(path, split.path))
                here = WritePlace::OnSource;
            else if (isRawDevicePath(split.path) && drive)
                here = placeOnDevice(*drive, split.path, split.lost ? 0 : split.number);
            else if (isRawDevicePath(path) && path.size() == 6 &&
                     sameText(driveOf(split.path).value_or(""), path.substr(4)))
                here = WritePlace::OnSource; // the raw volume that holds the image
        } else if (std::filesystem::equivalent(pathOf(path), pathOf(split.path), ec) && !ec) {
            here = WritePlace::OnSource; // the image itself
        }
        if (here == WritePlace::OnSource)
            return here;
        if (here == WritePlace::OtherPartition)
            place = here;
    }
    return place;
}

std::vector<std::string> readWriteMounts(const std::string& source)
{
    const disk::PartitionPath split = resolvePartitionPath(source);
    if (!isRawDevicePath(split.path) || split.path.size() != 6 || split.path[5] != ':')
        return {};
    const std::string root = split.path.substr(4) + "\\";
    DWORD flags = 0;
    if (::GetVolumeInformationW(wideOf(root).c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) == 0 ||
        (flags & FILE_READ_ONLY_VOLUME) != 0)
        return {};
    return {root};
}

} // namespace sarvik::platform
