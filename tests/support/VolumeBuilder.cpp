// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/VolumeBuilder.h"

#include "scan/ScanSession.h"

namespace sarvik::test {

ImageBuilder fat16Boot(std::size_t sectors, std::uint16_t reserved, std::uint16_t fatSectors,
                       std::uint8_t sectorsPerCluster, std::uint16_t rootEntries)
{
    ImageBuilder b(sectors);
    b.putText(3, "mkfs.fat");
    b.put(11, 2, 512);
    b.put(13, 1, sectorsPerCluster);
    b.put(14, 2, reserved);
    b.put(16, 1, 2);
    b.put(17, 2, rootEntries);
    b.put(22, 2, fatSectors);
    b.putText(54, "FAT16   ");
    b.signature();
    return b;
}

ImageBuilder fat32Boot(std::size_t sectors, std::uint16_t reserved, std::uint32_t fatSectors,
                       std::uint8_t sectorsPerCluster, std::uint32_t rootCluster)
{
    ImageBuilder b(sectors);
    b.putText(3, "mkfs.fat");
    b.put(11, 2, 512);
    b.put(13, 1, sectorsPerCluster);
    b.put(14, 2, reserved);
    b.put(16, 1, 2);
    b.put(36, 4, fatSectors);
    b.put(44, 4, rootCluster);
    b.putText(82, "FAT32   ");
    b.signature();
    return b;
}

ImageBuilder ntfsBoot(std::size_t sectors, std::uint8_t sectorsPerCluster, std::uint32_t mftCluster,
                      std::uint32_t clustersPerIndexRecord)
{
    ImageBuilder b(sectors);
    b.putText(3, "NTFS    ");
    b.put(11, 2, 512);
    b.put(13, 1, sectorsPerCluster);
    b.put(48, 4, mftCluster);
    b.put(64, 1, 0xF6); // clusters per MFT record: 2^10 bytes
    b.put(68, 4, clustersPerIndexRecord);
    b.signature();
    return b;
}

disk::SelectResult selectImage(disk::SelectedVolume& volume, const ImageBuilder& image, const std::string& path,
                               disk::GeometryRules rules)
{
    MemoryDevices devices;
    devices.add(path, image.source());
    disk::DriveItem item{"Disk Image(" + path + ")", path, disk::DriveKind::Image, image.source()->size()};
    return scan::SelectVolume(volume, item, devices, rules);
}

} // namespace sarvik::test
