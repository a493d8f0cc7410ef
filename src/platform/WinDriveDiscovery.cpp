// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DriveDiscovery.h"

#include "platform/WinDrives.h"
#include "platform/WinText.h"

#include <windows.h>
#include <winioctl.h>

namespace sarvik::platform {

namespace {

constexpr int kDriveLetters = 26;
/// Disk numbers come and go as disks do; past this many none is looked for.
constexpr int kPhysicalDrives = 64;

} // namespace

std::vector<disk::DriveItem> FillDriveTree(const std::string& /*sysfsRoot*/, const std::string& /*devRoot*/)
{
    std::vector<disk::DriveItem> items;
    const DWORD letters = ::GetLogicalDrives();
    for (int i = 0; i < kDriveLetters; ++i) {
        if ((letters & (1u << i)) == 0)
            continue;
        const std::string drive = std::string(1, static_cast<char>('A' + i)) + ":";
        const std::wstring root = wideOf(drive + "\\");
        const UINT type = ::GetDriveTypeW(root.c_str());
        if (type != DRIVE_FIXED && type != DRIVE_REMOVABLE)
            continue; // network, optical and RAM drives hold no volume of ours
        // A removable drive with no medium in it is left out; a volume whose
        // file system the system does not recognise is listed: it may be the
        // very one to recover from.
        wchar_t label[MAX_PATH + 1] = {};
        if (::GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0) == 0 &&
            ::GetLastError() == ERROR_NOT_READY)
            continue;
        disk::DriveItem item;
        item.kind = type == DRIVE_REMOVABLE ? disk::DriveKind::Removable : disk::DriveKind::Fixed;
        item.text = (type == DRIVE_REMOVABLE ? "Removable Disk(" : "Logical Disk(") + drive + ")";
        item.devicePath = "\\\\.\\" + drive;
        ULARGE_INTEGER total{};
        if (::GetDiskFreeSpaceExW(root.c_str(), nullptr, &total, nullptr) != 0)
            item.sizeBytes = total.QuadPart;
        items.push_back(std::move(item));
    }
    return items;
}

std::vector<disk::DriveItem> physicalDiskItems()
{
    std::vector<disk::DriveItem> items;
    for (int n = 0; n < kPhysicalDrives; ++n) {
        const std::string name = "PhysicalDrive" + std::to_string(n);
        const std::string path = "\\\\.\\" + name;
        // No access asked: the geometry is anyone's to ask for, the sectors are not.
        HANDLE disk = ::CreateFileW(wideOf(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    0, nullptr);
        if (disk == INVALID_HANDLE_VALUE)
            continue;
        DISK_GEOMETRY_EX geometry{};
        DWORD returned = 0;
        const BOOL known = ::DeviceIoControl(disk, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &geometry,
                                             sizeof geometry, &returned, nullptr);
        ::CloseHandle(disk);
        if (known == 0 || geometry.DiskSize.QuadPart <= 0)
            continue; // a card reader with no card in it
        disk::DriveItem item;
        item.kind = geometry.Geometry.MediaType == RemovableMedia ? disk::DriveKind::Removable : disk::DriveKind::Fixed;
        item.text = "Physical Disk(" + name + ")";
        item.devicePath = path;
        item.sizeBytes = static_cast<std::uint64_t>(geometry.DiskSize.QuadPart);
        items.push_back(std::move(item));
    }
    return items;
}

} // namespace sarvik::platform
