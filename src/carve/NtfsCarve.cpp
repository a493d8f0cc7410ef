// SPDX-License-Identifier: GPL-3.0-or-later
#include "carve/NtfsCarve.h"

#include "carve/CarvedFolders.h"
#include "carve/ClusterBits.h"
#include "carve/FatCarve.h"
#include "ntfs/MftRecord.h"
#include "ntfs/NtfsData.h"
#include "ntfs/NtfsExtents.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

namespace sarvik::carve {

namespace {

constexpr std::uint64_t kSector = 512;
constexpr std::uint64_t kBitmapRecord = 6; // MFT record of $Bitmap, one bit per cluster
/// A $Bitmap longer than this (a volume of more than 2^33 clusters) is not read.
constexpr std::uint64_t kMaxBitmapBytes = std::uint64_t{1} << 30;

/// The data runs of the MFT record at `sector` (fixed up), gathered from every
/// extent an attribute list names; nothing when unreadable or resident.
std::optional<ntfs::NtfsRunList> dataRuns(const disk::SelectedVolume& volume, const ntfs::MftRunList& mft,
                                          std::uint64_t sector, std::uint64_t recordNumber, std::uint64_t size,
                                          std::string_view stream = {})
{
    ntfs::MftRecord record(volume.geometry.MftRecordSectors);
    if (volume.reader.read(sector, record.sectors(), record) != disk::ReadStatus::Ok)
        return std::nullopt;
    ntfs::ApplyRecordFixup(record);
    if (mft.RunCount() != 0 && stream.empty())
        if (auto listed = ntfs::ReadListedData(volume, mft, record, recordNumber, size))
            return std::move(listed->runs);
    const ntfs::DataAttributeLocation data = ntfs::LocateDataAttribute(record, stream);
    if (data.kind != ntfs::DataAttributeKind::NonResident)
        return std::nullopt;
    return ntfs::DecodeDataRuns(record, data.offset);
}

/// The data runs of found file `file` as dataRuns reads them from its record.
/// A thorough scan keeps them for a record without an attribute list, decoded
/// as dataRuns decodes them (ReadListedData finds no list there): those are
/// taken rather than read again. A record whose kept data says "none" is read,
/// as dataRuns tells some of those apart (a compression unit it cannot decode).
std::optional<ntfs::NtfsRunList> fileRuns(const disk::SelectedVolume& volume, const ntfs::MftRunList& mft,
                                          const catalogue::Catalogue& catalogue, const catalogue::NtfsFileEntry& file)
{
    using catalogue::NtfsDataKept;
    const bool kept = catalogue.NamesAreUtf8 && file.firstRun <= catalogue.fsLists().NtfsDataRuns.size() &&
                      file.runCount <= catalogue.fsLists().NtfsDataRuns.size() - file.firstRun;
    if (kept && file.dataKept == NtfsDataKept::Resident)
        return std::nullopt;
    if (kept && file.dataKept == NtfsDataKept::Runs) {
        ntfs::NtfsRunList runs;
        runs.reserve(file.runCount);
        const auto first = catalogue.fsLists().NtfsDataRuns.begin() + static_cast<std::ptrdiff_t>(file.firstRun);
        for (auto it = first; it != first + file.runCount; ++it)
            runs.push_back({it->start, it->length, it->sparse, it->missing});
        return runs;
    }
    return dataRuns(volume, mft, file.recordSector, file.recordNumber, file.size, file.stream);
}

/// $Bitmap's bytes for at most `clusters` clusters (fewer when its runs end
/// sooner), or nothing when a run cannot be read.
std::optional<std::vector<std::byte>> readBitmap(const disk::SelectedVolume& volume, std::uint64_t clusters)
{
    const disk::VolumeGeometry& g = volume.geometry;
    ntfs::MftRecord record(g.MftRecordSectors);
    const auto runs =
        dataRuns(volume, ntfs::MftRunList{}, g.MftStartSector + kBitmapRecord * record.sectors(), kBitmapRecord, 0);
    const std::uint64_t bytes = (clusters + 7) / 8;
    if (!runs || bytes > kMaxBitmapBytes)
        return std::nullopt;
    const std::uint64_t clusterBytes = std::uint64_t{g.SectorsPerCluster} * kSector;
    std::vector<std::byte> bitmap;
    bitmap.reserve(static_cast<std::size_t>(bytes));
    for (const ntfs::NtfsRun& run : *runs) {
        if (bitmap.size() >= bytes)
            break;
        const std::uint64_t take = std::min(run.length * clusterBytes, bytes - bitmap.size());
        const std::size_t at = bitmap.size();
        bitmap.resize(at + static_cast<std::size_t>((take + kSector - 1) / kSector * kSector));
        if (run.sparse || run.missing || run.start < 0)
            return std::nullopt;
        const auto sector = g.clusterSector(static_cast<std::uint64_t>(run.start));
        const disk::MutableByteSpan into(bitmap.data() + at, bitmap.size() - at);
        if (!sector || volume.reader.read(*sector, static_cast<std::uint32_t>(into.size() / kSector), into) !=
                           disk::ReadStatus::Ok)
            return std::nullopt;
        bitmap.resize(at + static_cast<std::size_t>(take));
    }
    return bitmap;
}

} // namespace

std::vector<Extent> UnclaimedNtfsExtents(const disk::SelectedVolume& volume, const ntfs::MftRunList& mft,
                                         const catalogue::Catalogue& catalogue)
{
    const disk::VolumeGeometry& g = volume.geometry;
    const auto& source = volume.reader.source();
    std::vector<Extent> extents;
    const std::uint64_t clusterBytes = std::uint64_t{g.SectorsPerCluster} * kSector;
    if (!source || clusterBytes == 0)
        return extents;
    const auto bitmap = readBitmap(volume, source->size() / clusterBytes);
    if (!bitmap)
        return extents;
    // Clusters past the bitmap's bits are not the file system's.
    const std::uint64_t clusters = std::min(source->size() / clusterBytes, std::uint64_t{bitmap->size()} * 8);
    ClusterBits claimed(*bitmap, clusters);
    // A found deleted file claims the clusters of its data runs, as its copy reads them.
    for (const auto& file : catalogue.fsLists().NtfsFileList) {
        if (file.deleted == 0 || file.carved != catalogue::Carved::No || file.size == 0)
            continue;
        const auto runs = fileRuns(volume, mft, catalogue, file);
        if (!runs)
            continue;
        std::uint64_t left = (file.size + clusterBytes - 1) / clusterBytes;
        for (const ntfs::NtfsRun& run : *runs) {
            const std::uint64_t n = std::min(run.length, left);
            left -= n;
            if (run.sparse || run.missing || run.start < 0)
                continue;
            const auto start = static_cast<std::uint64_t>(run.start);
            claimed.claim(start, std::min(start + n, clusters));
        }
    }
    for (std::uint64_t c = claimed.nextFree(0); c < clusters;) {
        const std::uint64_t end = claimed.nextClaimed(c);
        if (const auto sector = g.clusterSector(c))
            extents.push_back({*sector * kSector, (end - c) * clusterBytes});
        c = claimed.nextFree(end);
    }
    return extents;
}

CarveResult CarveNtfsVolume(const disk::SelectedVolume& volume, const ntfs::MftRunList& mft,
                            catalogue::Catalogue& catalogue, catalogue::ScanObserver& observer,
                            const catalogue::ScanControl& control, CarveOptions options)
{
    const disk::VolumeGeometry& g = volume.geometry;
    if (!volume.reader.source() || g.SectorsPerCluster == 0)
        return {};
    options.phase = catalogue::StatusCode::SearchingFreeClustersForFiles;
    options.unitBytes = std::uint64_t{g.SectorsPerCluster} * kSector;
    // Each file is listed as it is found (ScanObserver::settled).
    CarvedFolders folders;
    options.onFound = [&](const CarvedFile& f) {
        const std::uint64_t sector = f.offset / kSector;
        const std::uint64_t cluster = (sector - static_cast<std::uint64_t>(g.ClusterBaseSector)) / g.SectorsPerCluster;
        // The record number field holds the cluster: one past 32 bits is not listed.
        if (cluster >= kCarvedFolderKey)
            return;
        folders.addFor(f.type, catalogue::kNtfsRootRecord,
                       [&](std::string name, std::uint32_t record, std::uint32_t parent) {
                           catalogue.AddNtfsFolder(std::move(name), record, parent, 0, 0, 0, 1);
                       });
        catalogue.AddNtfsFile(sector, "f" + std::to_string(cluster) + "." + f.extension,
                              static_cast<std::uint32_t>(cluster), carvedTypeKey(f.type), fileTimeOf(f), fileTimeOf(f),
                              1, f.length);
        catalogue.fsLists().NtfsFileList.back().carved =
            f.complete ? catalogue::Carved::Whole : catalogue::Carved::Incomplete;
        observer.settled();
    };
    CarveResult result =
        Carve(*volume.reader.source(), UnclaimedNtfsExtents(volume, mft, catalogue), options, observer, control);
    observer.filesFound(catalogue.fileCount());
    return result;
}

std::size_t DropCarvedWithin(const disk::SelectedVolume& volume, const ntfs::MftRunList& mft,
                             catalogue::Catalogue& catalogue, std::size_t firstCarved, std::size_t firstNamed)
{
    auto& files = catalogue.fsLists().NtfsFileList;
    const std::uint64_t clusterBytes = std::uint64_t{volume.geometry.SectorsPerCluster} * kSector;
    if (clusterBytes == 0 || firstCarved >= firstNamed || firstNamed > files.size())
        return 0;
    // The named files' clusters as [first, end) stretches, merged.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> data;
    for (std::size_t i = firstNamed; i < files.size(); ++i) {
        if (files[i].carved != catalogue::Carved::No || files[i].size == 0)
            continue;
        const auto runs = fileRuns(volume, mft, catalogue, files[i]);
        if (!runs)
            continue;
        std::uint64_t left = (files[i].size + clusterBytes - 1) / clusterBytes;
        for (const ntfs::NtfsRun& run : *runs) {
            const std::uint64_t n = std::min(run.length, left);
            left -= n;
            if (!run.sparse && !run.missing && run.start >= 0 && n != 0)
                data.emplace_back(static_cast<std::uint64_t>(run.start), static_cast<std::uint64_t>(run.start) + n);
        }
    }
    std::sort(data.begin(), data.end());
    std::vector<std::pair<std::uint64_t, std::uint64_t>> merged;
    for (const auto& stretch : data) {
        if (!merged.empty() && stretch.first <= merged.back().second)
            merged.back().second = std::max(merged.back().second, stretch.second);
        else
            merged.push_back(stretch);
    }
    const auto inside = [&](std::uint64_t cluster) {
        const auto it = std::upper_bound(merged.begin(), merged.end(), std::make_pair(cluster, ~std::uint64_t{0}));
        return it != merged.begin() && std::prev(it)->second > cluster;
    };
    const auto first = files.begin() + static_cast<std::ptrdiff_t>(firstCarved);
    const auto last = files.begin() + static_cast<std::ptrdiff_t>(firstNamed);
    const auto kept = std::stable_partition(first, last, [&](const catalogue::NtfsFileEntry& f) {
        return f.carved == catalogue::Carved::No || !inside(f.recordNumber);
    });
    const auto dropped = static_cast<std::size_t>(last - kept);
    files.erase(kept, last);
    return dropped;
}

} // namespace sarvik::carve
