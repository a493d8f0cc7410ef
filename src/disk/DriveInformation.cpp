// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/DriveInformation.h"

namespace sarvik::disk {

DriveInformation ShowDriveInformation(const VolumeGeometry& g, std::uint32_t folderCount, std::uint32_t fileCount)
{
    const bool ntfs = g.GeometryKind == VolumeKind::Ntfs;
    DriveInformation d;
    d.fileSystem = fileSystemName(g.GeometryKind);
    d.startSector = sectorText(g.ClusterBaseSector);
    d.directories = std::to_string(folderCount);
    d.files = std::to_string(fileCount);
    d.spc = std::to_string(g.SectorsPerCluster);
    d.firstFat = ntfs ? "N/A" : std::to_string(g.FirstFatSector);
    d.secondFat = ntfs ? "N/A" : std::to_string(g.SecondFatSector);
    d.mftStart = ntfs ? std::to_string(g.MftStartSector) : "N/A";
    return d;
}

} // namespace sarvik::disk
