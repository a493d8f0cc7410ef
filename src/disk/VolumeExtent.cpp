// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/VolumeExtent.h"

#include <algorithm>
#include <array>

namespace sarvik::disk {

namespace {

/// 512-byte sectors the file system has: as the selection read them (from the
/// boot sector or its backup), else as the boot sector says; 0 when unknown.
std::uint64_t fileSystemSectors(const disk::SelectedVolume& volume, bool fat)
{
    if (volume.info.FileSystemSectors != 0)
        return volume.info.FileSystemSectors;
    std::array<std::byte, disk::kSectorSize> boot{};
    if (volume.reader.read(0, 1, boot) != disk::ReadStatus::Ok)
        return 0;
    return disk::claimedSectorsOf(boot, fat ? volume.geometry.GeometryKind : disk::VolumeKind::Ntfs);
}

/// The first cluster at or past sector `sectors`, counting only whole clusters before it.
std::uint64_t clustersBefore(const disk::VolumeGeometry& g, std::uint64_t sectors)
{
    const std::uint64_t spc = g.SectorsPerCluster;
    if (spc == 0)
        return 0;
    // Cluster n covers sectors base + n * spc .. base + (n + 1) * spc - 1.
    if (g.ClusterBaseSector >= 0) {
        const auto base = static_cast<std::uint64_t>(g.ClusterBaseSector);
        return sectors > base ? (sectors - base) / spc : 0;
    }
    const auto before = static_cast<std::uint64_t>(-g.ClusterBaseSector);
    return (sectors + before) / spc;
}

/// exFAT: the heap's clusters (and no more than the FAT has entries for).
VolumeExtent exfatExtent(const disk::SelectedVolume& volume)
{
    const auto& g = volume.geometry;
    VolumeExtent extent;
    extent.firstCluster = 2;
    const std::uint64_t entries = std::uint64_t{g.FatSectors} * disk::kSectorSize / 4;
    extent.endCluster = std::max<std::uint64_t>(std::min<std::uint64_t>(std::uint64_t{g.ClusterCount} + 2, entries), 2);
    const std::uint64_t imageSectors =
        volume.reader.source() ? volume.reader.source()->size() / disk::kSectorSize : volume.partition.PartitionSectors;
    extent.readableEnd = std::max<std::uint64_t>(std::min(extent.endCluster, clustersBefore(g, imageSectors)), 2);
    return extent;
}

} // namespace

std::uint64_t fileSystemSpan(const disk::SelectedVolume& volume)
{
    return std::max<std::uint64_t>(volume.partition.PartitionSectors, volume.info.FileSystemSectors);
}

VolumeExtent volumeExtent(const disk::SelectedVolume& volume)
{
    const auto& g = volume.geometry;
    const unsigned bits = disk::fatEntryBits(g.GeometryKind);
    const bool fat = bits != 0;
    VolumeExtent extent;
    if (g.GeometryKind == disk::VolumeKind::Exfat)
        return exfatExtent(volume);
    if (!fat && g.GeometryKind != disk::VolumeKind::Ntfs)
        return extent;
    extent.firstCluster = fat ? 2 : 0;

    const std::uint64_t imageSectors =
        volume.reader.source() ? volume.reader.source()->size() / disk::kSectorSize : volume.partition.PartitionSectors;
    std::uint64_t fsSectors = fileSystemSectors(volume, fat);
    if (fsSectors == 0)
        fsSectors = imageSectors;

    std::uint64_t end = clustersBefore(g, fsSectors);
    if (fat) {
        // The table has an entry for each cluster, and the numbers above the
        // highest are marks (bad, end of chain), never clusters.
        const std::uint64_t entries = disk::fatTableEntries(g.FatSectors, bits);
        end = std::min({end, entries, std::uint64_t{disk::fatHighestCluster(bits)} + 1});
    }
    extent.endCluster = std::max(end, extent.firstCluster);
    extent.readableEnd = std::max(std::min(extent.endCluster, clustersBefore(g, imageSectors)), extent.firstCluster);
    return extent;
}

} // namespace sarvik::disk
