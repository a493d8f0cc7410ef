// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finds the volumes of this machine: on Linux from sysfs (partitions, whole
// disks that hold no partition table, loop devices that have a backing file),
// on Windows the fixed and removable drive letters.

#include "disk/Volume.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sarvik::platform {

/// A block device as the system describes it (sysfs, or the disk manager's
/// service), before it becomes drive items.
struct BlockDevice {
    std::string name;       ///< "sdb1", "sdb", "loop0"
    std::string devicePath; ///< "/dev/sdb1"
    std::string disk;       ///< the whole disk's name: the device's own for a whole disk
    std::uint64_t sizeBytes = 0;
    bool removable = false; ///< the disk's medium can be taken out
    bool attached = true;   ///< false for a loop device that has no backing file
};

/// The drive items of `blocks`, named and ordered as FillDriveTree names and
/// orders them: the partitions of each disk, or the disk itself when it has
/// none; no RAM disks, optical drives, unattached loop devices or empty media.
std::vector<disk::DriveItem> driveItemsOf(std::vector<BlockDevice> blocks);

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
