#include "platform/DriveDiscovery.h"

#include "platform/WinText.h"

#include <windows.h>

namespace sarvik::platform {

namespace {

constexpr int kDriveLetters = 26;

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

} // namespace sarvik::platform
