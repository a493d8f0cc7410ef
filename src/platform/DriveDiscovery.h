#pragma once
// Finds the volumes of this machine: on Linux from sysfs (partitions, whole
// disks that hold no partition table, loop devices that have a backing file),
// on Windows the fixed and removable drive letters.

#include "disk/Volume.h"

#include <string>
#include <vector>

namespace sarvik::platform {

/// The drives to list, in name order. `sysfsRoot` and `devRoot` are "/sys" and
/// "/dev" on a live Linux system; tests point them at a tree of their own.
/// Windows lists its drive letters and ignores them.
std::vector<disk::DriveItem> FillDriveTree(const std::string& sysfsRoot = "/sys", const std::string& devRoot = "/dev");

/// The partitions of a whole disk or image as items of their own ("Disk
/// Image(disk.img) 2: NTFS" naming "disk.img@2", the file system its boot
/// sector names left out when it names none we read); nothing when it holds no
/// table or cannot be opened.
std::vector<disk::DriveItem> partitionDriveItems(const disk::DriveItem& whole, const std::string& prefix,
                                                 const std::string& name);

/// The volumes the quick search for lost volumes finds on `whole` (a disk
/// whose partition table is gone, and that is no volume itself), named as
/// partitionDriveItems names partitions ("Disk Image(disk.img) lost 1:
/// FAT32" for "disk.img@lost1"); nothing when it finds none.
std::vector<disk::DriveItem> lostVolumeDriveItems(const disk::DriveItem& whole, const std::string& prefix,
                                                  const std::string& name);

/// A drive item for a disk image file named on the command line or added by the user.
disk::DriveItem imageDriveItem(const std::string& path);

/// The drive items of an image: one per partition when it holds a partition
/// table ("Disk Image(disk.img) 2: FAT32" for "disk.img@2"), else one per lost
/// volume the quick search finds on it, else imageDriveItem(path).
std::vector<disk::DriveItem> imageDriveItems(const std::string& path);

} // namespace sarvik::platform
