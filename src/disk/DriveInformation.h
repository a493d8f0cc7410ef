// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The values of the drive-information box: the scanned volume's file system and
// main geometry numbers, with the number of folders and files found.

#include "disk/Volume.h"

#include <string>

namespace sarvik::disk {

struct DriveInformation {
    std::string fileSystem;  ///< "NTFS", "FAT32", "FAT16" or empty
    std::string startSector; ///< ClusterBaseSector
    std::string directories; ///< FolderCount
    std::string files;       ///< FileCount
    std::string spc;         ///< SectorsPerCluster
    std::string firstFat;    ///< FirstFatSector, or "N/A" on NTFS
    std::string secondFat;   ///< SecondFatSector, or "N/A" on NTFS
    std::string mftStart;    ///< MftStartSector on NTFS, else "N/A"
};

[[nodiscard]] DriveInformation ShowDriveInformation(const VolumeGeometry& geometry, std::uint32_t folderCount,
                                                    std::uint32_t fileCount);

} // namespace sarvik::disk
