// SPDX-License-Identifier: GPL-3.0-or-later
#include "carve/FatCarve.h"

#include "carve/CarvedFolders.h"
#include "disk/VolumeExtent.h"
#include "exfat/ExfatVolume.h"
#include "fat/FatOrphanedFolders.h"
#include "fat/FatThoroughScan.h"
#include "fat/FileClusters.h"

#include <algorithm>
#include <functional>
#include <string>
#include <utility>

namespace sarvik::carve {

namespace {

constexpr std::uint64_t kSector = 512;
constexpr std::uint32_t kFirstDataCluster = 2;

} // namespace

std::vector<Extent> UnclaimedFatExtents(const disk::SelectedVolume& volume, const catalogue::Catalogue& catalogue,
                                        const fat::FatTable* scanTable, const fat::FreeClusterNotes* notes)
{
    const disk::VolumeGeometry& g = volume.geometry;
    std::vector<Extent> extents;
    if (g.SectorsPerCluster == 0 || !volume.reader.isOpen())
        return extents;
    const fat::FatTable table =
        scanTable != nullptr ? *scanTable : fat::FatTable(volume.reader, g, disk::fileSystemSpan(volume));
    const std::uint32_t last = fat::lastClusterHeld(volume, table.maxCluster());
    if (last < kFirstDataCluster)
        return extents;
    std::vector<bool> claimed(std::size_t{last} + 1, false);
    for (std::uint32_t c = kFirstDataCluster; c <= last; ++c)
        claimed[c] = table.entry(c).value_or(1) != 0;
    // A deleted file claims the clusters its copy reads: from its first cluster
    // on, the free ones (or the consecutive ones when too few are free).
    const std::uint64_t clusterBytes = std::uint64_t{g.SectorsPerCluster} * kSector;
    for (const auto& file : catalogue.fsLists().FatFileList) {
        if (file.deleted != 1 || file.carved != catalogue::Carved::No || file.firstCluster < kFirstDataCluster ||
            file.firstCluster > last)
            continue;
        const auto n = static_cast<std::uint32_t>(
            std::min<std::uint64_t>((std::uint64_t{file.size} + clusterBytes - 1) / clusterBytes, last));
        std::vector<std::uint32_t> clusters = fat::FreeClustersFrom(table, file.firstCluster, n);
        if (clusters.empty())
            for (std::uint32_t i = 0; i < n && file.firstCluster + i <= last; ++i)
                clusters.push_back(file.firstCluster + i);
        // Free clusters run on to the table's end, past the last the image holds.
        for (const std::uint32_t c : clusters)
            if (c <= last)
                claimed[c] = true;
    }
    // A file in use whose chain was cleared still owns its data: its copy reads
    // consecutive clusters from its first on.
    const auto claimConsecutive = [&](std::uint32_t first, std::uint64_t size) {
        if (first < kFirstDataCluster || first > last)
            return;
        const std::uint64_t n = (size + clusterBytes - 1) / clusterBytes;
        for (std::uint64_t i = 0; i < n && first + i <= last; ++i)
            claimed[static_cast<std::size_t>(first + i)] = true;
    };
    if (notes != nullptr)
        for (const auto& [first, size] : notes->liveWithoutChain)
            claimConsecutive(first, size);
    for (const auto& file : catalogue.fsLists().FatFileList)
        if (file.deleted == 0 && file.size != 0 && file.firstCluster >= kFirstDataCluster &&
            file.firstCluster <= last && table.entry(file.firstCluster) == std::optional<std::uint32_t>(0))
            claimConsecutive(file.firstCluster, file.size);
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

namespace {

using UnclaimedExtents = std::function<std::vector<Extent>()>;

/// Searches the `unclaimed` extents of the volume cluster by cluster and lists
/// what it finds under "$Carved files". On exFAT each file also gets the
/// entry-set data its copy reads by: its length, all of it valid, its clusters
/// consecutive.
CarveResult carveClusters(const disk::SelectedVolume& volume, const UnclaimedExtents& unclaimed,
                          catalogue::Catalogue& catalogue, catalogue::ScanObserver& observer,
                          const catalogue::ScanControl& control, CarveOptions options, bool exfat,
                          const KnownUnits* known = nullptr)
{
    const disk::VolumeGeometry& g = volume.geometry;
    if (!volume.reader.source() || g.SectorsPerCluster == 0)
        return {};
    options.phase = catalogue::StatusCode::SearchingFreeClustersForFiles;
    options.unitBytes = std::uint64_t{g.SectorsPerCluster} * kSector;
    // Each file is listed as it is found, so that the catalogue is whole after
    // every one of them (ScanObserver::settled).
    const std::int64_t base = g.ClusterBaseSector;
    CarvedFolders folders;
    options.onFound = [&](const CarvedFile& f) {
        // Files longer than a FAT file can be are not FAT files.
        if (!exfat && f.length > 0xFFFFFFFFu)
            return;
        const std::int64_t sector = static_cast<std::int64_t>(f.offset / kSector);
        const auto cluster = static_cast<std::uint32_t>((sector - base) / std::int64_t{g.SectorsPerCluster});
        folders.addFor(f.type, catalogue::kFatRootKey, [&](std::string name, std::uint32_t key, std::uint32_t parent) {
            catalogue.AddFatFolder(std::move(name), key, parent, 0, 0, 0, 1);
        });
        // The date the file keeps of itself, as FAT would keep its write time.
        const auto [date, time] = fatDateTimeOf(f).value_or(std::pair<std::uint16_t, std::uint16_t>{0, 0});
        catalogue.AddFatFile("f" + std::to_string(cluster) + "." + f.extension, cluster, carvedTypeKey(f.type), date, 0,
                             static_cast<std::uint32_t>(std::min<std::uint64_t>(f.length, 0xFFFFFFFFu)), 1, time);
        catalogue::FatFileEntry& entry = catalogue.fsLists().FatFileList.back();
        entry.carved = f.complete ? catalogue::Carved::Whole : catalogue::Carved::Incomplete;
        if (exfat) {
            catalogue::ExfatData data;
            data.dataLength = f.length;
            data.validDataLength = f.length;
            data.noFatChain = true;
            // exFAT packs its times as FAT does; a UTC time says its offset (0).
            data.modified = (std::uint32_t{date} << 16) | time;
            data.modifiedUtc = date != 0 && !f.timeIsLocal ? 0x80 : 0;
            data.modified10ms = static_cast<std::uint8_t>(date != 0 ? f.time % 2 * 100 : 0);
            entry.exfat = data;
        }
        observer.settled();
    };
    CarveResult result = Carve(*volume.reader.source(), unclaimed(), options, observer, control, known);
    observer.filesFound(catalogue.fileCount());
    return result;
}

/// What the scan's pass saw of the free clusters, by their offsets in the source.
template <typename Starts, typename Unreadable>
KnownUnits knownUnits(const disk::VolumeGeometry& g, const Starts& starts, const Unreadable& unreadable)
{
    KnownUnits known;
    for (const auto& [cluster, type] : starts)
        if (const auto sector = g.clusterSector(cluster))
            known.heads.emplace_back(*sector * kSector, type);
    for (const auto cluster : unreadable)
        if (const auto sector = g.clusterSector(cluster))
            known.unreadable.push_back(*sector * kSector);
    return known;
}

} // namespace

CarveResult CarveFatVolume(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue,
                           catalogue::ScanObserver& observer, const catalogue::ScanControl& control,
                           CarveOptions options, const FreeClusterSignatures* seen)
{
    const fat::FatTable* table = seen != nullptr && seen->reads().table ? &*seen->reads().table : nullptr;
    const auto unclaimed = [&] {
        return UnclaimedFatExtents(volume, catalogue, table, seen != nullptr ? &seen->reads() : nullptr);
    };
    if (seen == nullptr || !seen->covers(options.types))
        return carveClusters(volume, unclaimed, catalogue, observer, control, std::move(options), false);
    const KnownUnits known = knownUnits(volume.geometry, seen->starts(), seen->reads().unreadable);
    return carveClusters(volume, unclaimed, catalogue, observer, control, std::move(options), false, &known);
}

std::vector<Extent> UnclaimedExfatExtents(const disk::SelectedVolume& volume, const catalogue::Catalogue& catalogue)
{
    std::vector<Extent> extents;
    const exfat::ExfatVolume ex(volume);
    if (ex.clusterBytes() == 0 || !volume.reader.isOpen() || ex.endCluster() <= kFirstDataCluster)
        return extents;
    std::vector<bool> claimed(static_cast<std::size_t>(ex.endCluster()), false);
    for (std::uint64_t c = kFirstDataCluster; c < ex.endCluster(); ++c) {
        const auto used = ex.clusterUsed(c);
        if (!used)
            return {}; // no bitmap: nothing tells free clusters from those in use
        claimed[static_cast<std::size_t>(c)] = *used;
    }
    // A found deleted file claims the clusters its copy reads.
    for (const auto& file : catalogue.fsLists().FatFileList) {
        if (file.deleted != 1 || file.carved != catalogue::Carved::No || !file.exfat)
            continue;
        for (const exfat::ClusterSpan& span :
             ex.dataClusters(file.firstCluster, file.exfat->dataLength, file.exfat->noFatChain, true))
            for (std::uint64_t c = span.start; c < span.start + span.length; ++c)
                claimed[static_cast<std::size_t>(c)] = true;
    }
    const std::uint64_t clusterBytes = ex.clusterBytes();
    for (std::uint64_t c = kFirstDataCluster; c < ex.endCluster();) {
        if (claimed[static_cast<std::size_t>(c)]) {
            ++c;
            continue;
        }
        std::uint64_t end = c;
        while (end < ex.endCluster() && !claimed[static_cast<std::size_t>(end)])
            ++end;
        if (const auto sector = volume.geometry.clusterSector(c))
            extents.push_back({*sector * kSector, (end - c) * clusterBytes});
        c = end;
    }
    return extents;
}

CarveResult CarveExfatVolume(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue,
                             catalogue::ScanObserver& observer, const catalogue::ScanControl& control,
                             CarveOptions options, const ExfatFreeClusterSignatures* seen)
{
    const auto unclaimed = [&] { return UnclaimedExfatExtents(volume, catalogue); };
    if (seen == nullptr || !seen->covers(options.types))
        return carveClusters(volume, unclaimed, catalogue, observer, control, std::move(options), true);
    const KnownUnits known = knownUnits(volume.geometry, seen->starts(), seen->reads().unreadable);
    return carveClusters(volume, unclaimed, catalogue, observer, control, std::move(options), true, &known);
}

} // namespace sarvik::carve
