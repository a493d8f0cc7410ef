// SPDX-License-Identifier: GPL-3.0-or-later
// The physical disks the desktop program lists beside the drive letters, under
// wine (which shows the disk of its drive C:) or on Windows.

#include "platform/WinDrives.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

TEST(PhysicalDisks, NameOpenablePathsInNumberOrderWithTheirSizes)
{
    const std::vector<sarvik::disk::DriveItem> disks = sarvik::platform::physicalDiskItems();
    if (disks.empty())
        GTEST_SKIP() << "this system shows no physical disk";
    int last = -1;
    for (const sarvik::disk::DriveItem& disk : disks) {
        const std::string prefix = "\\\\.\\PhysicalDrive";
        ASSERT_EQ(disk.devicePath.rfind(prefix, 0), 0u) << disk.devicePath;
        const int number = std::stoi(disk.devicePath.substr(prefix.size()));
        EXPECT_GT(number, last) << "disks out of order";
        last = number;
        EXPECT_EQ(disk.text, "Physical Disk(PhysicalDrive" + std::to_string(number) + ")");
        EXPECT_GT(disk.sizeBytes, 0u);
        EXPECT_NE(disk.kind, sarvik::disk::DriveKind::Image);
        // The path is one the system opens (for the geometry: no rights needed).
        const std::wstring wide(disk.devicePath.begin(), disk.devicePath.end());
        const HANDLE h =
            ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE) << disk.devicePath;
        if (h != INVALID_HANDLE_VALUE)
            ::CloseHandle(h);
    }
}

} // namespace
