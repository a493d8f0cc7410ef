#include "carve/FatCarve.h"

#include "fat/FatOrphanedFolders.h"
#include "fat/FatThoroughScan.h"
#include "fat/FileClusters.h"

#include <algorithm>
#include <array>
#include <string>

namespace sarvik::carve {

namespace {

constexpr std::uint64_t kSector = 512;
constexpr std::uint32_t kFirstDataCluster = 2;

} // namespace

std::vector<Extent> UnclaimedFatExtents(const disk::SelectedVolume& volume, const catalogue::Catalogue& catalogue)
{
    const disk::VolumeGeometry& g = volume.geometry;
    std::vector<Extent> extents;
    if (g.SectorsPerCluster == 0 || !volume.reader.isOpen())
        return extents;
    const fat::FatTable table(volume.reader, g, volume.partition.PartitionSectors);
    const std::uint32_t last = fat::lastClusterHeld(volume, table.maxCluster());
    if (last < kFirstDataCluster)
        return extents;
    std::vector<bool> claimed(std::size_t{last} + 1, false);
    for (std::uint32_t c = kFirstDataCluster; c <= last; ++c)
        claimed[c] = table.entry(c).value_or(1) != 0;
    // A deleted file claims the clusters its copy reads: from its first cluster
    // on, the free ones (or the consecutive ones when too few are free).
    const std::uint64_t clusterBytes = std::uint64_t{g.SectorsPerCluster} * kSector;
    for (const auto& file : catalogue.FatFileList) {
        if (file.deleted != 1 || file.carved != catalogue::Carved::No || file.firstCluster < kFirstDataCluster ||
            file.firstCluster > last)
            continue;
        const auto n = static_cast<std::uint32_t>(
            std::min<std::uint64_t>((std::uint64_t{file.size} + clusterBytes - 1) / clusterBytes, last));
        std::vector<std::uint32_t> clusters = fat::FreeClustersFrom(table, file.firstCluster, n);
        if (clusters.empty())
            for (std::uint32_t i = 0; i < n && file.firstCluster + i <= last; ++i)
                clusters.push_back(file.firstCluster + i);
        for (const std::uint32_t c : clusters)
            claimed[c] = true;
    }
    for (std::uint32_t c = kFirstDataCluster; c <= last;) {
        if (claimed[c]) {
            ++c;
            continue;
        }
        std::uint32_t end = c;
        while (end <= last && !claimed[end])
            ++end;
        if (const auto sector = g.clusterSector(c))
            extents.push_back({*sector * kSector, std::uint64_t{end - c} * clusterBytes});
        c = end;
    }
    return extents;
}

CarveResult CarveFatVolume(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue,
                           catalogue::ScanObserver& observer, const catalogue::ScanControl& control,
                           CarveOptions options)
{
    const disk::VolumeGeometry& g = volume.geometry;
    const auto& source = volume.reader.source();
    if (!source || g.SectorsPerCluster == 0)
        return {};
    observer.status("Searching free clusters for files");
    const std::vector<Extent> extents = UnclaimedFatExtents(volume, catalogue);
    options.unitBytes = std::uint64_t{g.SectorsPerCluster} * kSector;
    CarveResult result = Carve(*source, extents, options, observer, control);

    const std::int64_t base = g.ClusterBaseSector;
    bool folder = false;
    std::array<bool, kFileTypeCount> typeFolder{};
    for (const CarvedFile& f : result.files) {
        // Files longer than a FAT file can be are not FAT files.
        if (f.length > 0xFFFFFFFFu)
            continue;
        const std::int64_t sector = static_cast<std::int64_t>(f.offset / kSector);
        const auto cluster = static_cast<std::uint32_t>((sector - base) / std::int64_t{g.SectorsPerCluster});
        if (!folder) {
            catalogue.AddFatFolder(kCarvedFolderName, kCarvedFolderKey, catalogue::kFatRootKey, 0, 0, 0, 1);
            folder = true;
        }
        const auto t = static_cast<std::size_t>(f.type);
        if (!typeFolder[t]) {
            catalogue.AddFatFolder(std::string(typeName(f.type)), carvedTypeKey(f.type), kCarvedFolderKey, 0, 0, 0, 1);
            typeFolder[t] = true;
        }
        catalogue.AddFatFile("f" + std::to_string(cluster) + "." + f.extension, cluster, carvedTypeKey(f.type), 0, 0,
                             static_cast<std::uint32_t>(f.length), 1);
        catalogue.FatFileList.back().carved = f.complete ? catalogue::Carved::Whole : catalogue::Carved::Incomplete;
        ++catalogue.FileCount;
    }
    observer.filesFound(catalogue.FileCount);
    return result;
}

} // namespace sarvik::carve
