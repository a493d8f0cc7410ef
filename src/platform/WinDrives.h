// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The whole disks of a Windows machine, beside the drive letters FillDriveTree
// lists: \\.\PhysicalDriveN, found and measured without reading them (a raw
// read needs the administrator; asking for the geometry does not).

#include "disk/Volume.h"

#include <vector>

namespace sarvik::platform {

/// The physical disks, "Physical Disk(PhysicalDrive0)" naming \\.\PhysicalDrive0,
/// in number order; removable media are of kind Removable.
[[nodiscard]] std::vector<disk::DriveItem> physicalDiskItems();

} // namespace sarvik::platform
