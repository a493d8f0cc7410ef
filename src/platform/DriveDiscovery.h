#pragma once
// Finds the volumes of this machine from sysfs: partitions, whole disks that
// hold no partition table, and loop devices that have a backing file.

#include "disk/Volume.h"

#include <string>
#include <vector>

namespace sarvik::platform {

/// The drives to list, in name order. `sysfsRoot` and `devRoot` are "/sys" and
/// "/dev" on a live system; tests point them at a tree of their own.
std::vector<disk::DriveItem> FillDriveTree(const std::string& sysfsRoot = "/sys", const std::string& devRoot = "/dev");

/// A drive item for a disk image file named on the command line or added by the user.
disk::DriveItem imageDriveItem(const std::string& path);

/// The drive items of an image: one per partition when it holds a partition
/// table ("Disk Image(disk.img) 2: FAT32" for "disk.img@2"), else imageDriveItem(path).
std::vector<disk::DriveItem> imageDriveItems(const std::string& path);

} // namespace sarvik::platform
