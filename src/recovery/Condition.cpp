#include "recovery/Condition.h"

#include "fat/ClusterChain.h"
#include "ntfs/MftRecord.h"

#include <algorithm>

namespace sarvik::recovery {

namespace {

constexpr std::uint64_t kBitmapRecord = 6; // MFT record of $Bitmap, one bit per cluster
/// FAT32 entries hold 28 bits; the top four are reserved and say nothing about use.
constexpr std::uint32_t kFat32EntryMask = 0x0FFFFFFF;
/// A FAT file of at most 4 GiB in clusters of at least 512 bytes.
constexpr std::uint64_t kMaxFatClusters = 0x800000;

} // namespace

const char* conditionText(FileCondition condition) noexcept
{
    switch (condition) {
    case FileCondition::Good:
        return "Good";
    case FileCondition::PartlyOverwritten:
        return "Partly overwritten";
    case FileCondition::Overwritten:
        return "Overwritten";
    case FileCondition::Unknown:
        break;
    }
    return "";
}

double ConditionEstimate::share() const noexcept
{
    return clusters == 0 ? 0.0 : static_cast<double>(clustersInUse) / static_cast<double>(clusters);
}

ConditionEstimator::ConditionEstimator(const disk::SelectedVolume& volume)
    : m_volume(volume), m_sector(disk::kSectorSize)
{
}

ConditionEstimate ConditionEstimator::finish(std::uint64_t clusters, std::uint64_t inUse)
{
    ConditionEstimate e;
    e.clusters = clusters;
    e.clustersInUse = inUse;
    if (inUse == 0)
        e.condition = FileCondition::Good;
    else if (inUse >= clusters)
        e.condition = FileCondition::Overwritten;
    else
        e.condition = FileCondition::PartlyOverwritten;
    return e;
}

bool ConditionEstimator::readCached(std::uint64_t sector)
{
    if (sector == m_cachedSector)
        return true;
    m_cachedSector = ~std::uint64_t{0};
    if (m_volume.reader.read(sector, 1, m_sector) != disk::ReadStatus::Ok)
        return false;
    m_cachedSector = sector;
    return true;
}

std::optional<bool> ConditionEstimator::fatEntryUsed(std::uint32_t cluster)
{
    const auto& g = m_volume.geometry;
    const bool fat32 = g.GeometryKind == disk::VolumeKind::Fat32;
    const std::uint64_t entryBytes = fat32 ? 4 : 2;
    const std::uint64_t offset = std::uint64_t{cluster} * entryBytes;
    if (g.FirstFatSector == 0)
        return std::nullopt;
    // Below 2 or past the end of the table there is no such cluster: nothing of
    // the file can be there, so it counts as lost.
    if (cluster < 2 || offset / disk::kSectorSize >= g.FatSectors)
        return true;
    if (!readCached(g.FirstFatSector + offset / disk::kSectorSize))
        return std::nullopt;
    const disk::ByteReader fat(m_sector);
    const std::size_t at = static_cast<std::size_t>(offset % disk::kSectorSize);
    const std::uint32_t value = fat32 ? fat.u32or0(at) & kFat32EntryMask : fat.u16or0(at);
    return value != 0;
}

ConditionEstimate ConditionEstimator::fatFile(std::uint32_t firstCluster, std::uint64_t size)
{
    const auto& g = m_volume.geometry;
    const std::uint64_t clusterBytes = std::uint64_t{g.SectorsPerCluster} * disk::kSectorSize;
    if (clusterBytes == 0)
        return {};
    const std::uint64_t n = (size + clusterBytes - 1) / clusterBytes;
    if (n == 0)
        return finish(0, 0);
    if (n > kMaxFatClusters)
        return {};
    fat::ClusterChain chain;
    const auto limit = static_cast<std::uint32_t>(n);
    chain.BuildClusterChain(m_volume.reader, g, firstCluster, limit, 1);
    if (chain.size() != n)
        chain.BuildClusterChain(m_volume.reader, g, firstCluster, limit, 2);
    std::vector<std::uint32_t> clusters;
    if (chain.size() == n) {
        clusters = chain.clusters();
    } else {
        for (std::uint64_t i = 0; i < n && firstCluster + i <= 0xFFFFFFFFull; ++i)
            clusters.push_back(static_cast<std::uint32_t>(firstCluster + i));
    }
    std::uint64_t inUse = 0;
    for (const std::uint32_t c : clusters) {
        const auto used = fatEntryUsed(c);
        if (!used)
            return {}; // the table cannot be read
        if (*used)
            ++inUse;
    }
    return finish(n, inUse);
}

bool ConditionEstimator::loadBitmapRuns()
{
    if (m_bitmapTried)
        return m_bitmapRuns.has_value();
    m_bitmapTried = true;
    const auto& g = m_volume.geometry;
    ntfs::MftRecord record{};
    const std::uint64_t sector = g.MftStartSector + kBitmapRecord * ntfs::kMftRecordSectors;
    if (m_volume.reader.read(sector, ntfs::kMftRecordSectors, record) != disk::ReadStatus::Ok)
        return false;
    ntfs::ApplyRecordFixup(record);
    const DataAttributeLocation data = LocateDataAttribute(record);
    if (data.kind != DataAttributeKind::NonResident)
        return false;
    auto runs = DecodeDataRuns(record, data.offset);
    if (!runs || runs->empty())
        return false;
    m_bitmapRuns = std::move(runs);
    return true;
}

std::optional<bool> ConditionEstimator::bitmapBitSet(std::uint64_t cluster)
{
    if (!loadBitmapRuns())
        return std::nullopt;
    const auto& g = m_volume.geometry;
    const std::uint64_t clusterBytes = std::uint64_t{g.SectorsPerCluster} * disk::kSectorSize;
    const std::uint64_t byteIndex = cluster / 8;
    std::uint64_t vcn = byteIndex / clusterBytes;
    for (const NtfsRun& run : *m_bitmapRuns) {
        if (vcn >= run.length) {
            vcn -= run.length;
            continue;
        }
        if (run.sparse)
            return false;
        const auto first = g.clusterSector(static_cast<std::uint64_t>(std::max<std::int64_t>(run.start, 0)) + vcn);
        if (!first || run.start < 0)
            return std::nullopt;
        const std::uint64_t within = byteIndex % clusterBytes;
        if (!readCached(*first + within / disk::kSectorSize))
            return std::nullopt;
        const auto byte = static_cast<std::uint8_t>(m_sector[within % disk::kSectorSize]);
        return ((byte >> (cluster % 8)) & 1u) != 0;
    }
    return true; // beyond the bitmap: no such cluster on the volume
}

ConditionEstimate ConditionEstimator::ntfsFile(std::uint64_t recordSector, std::uint64_t size)
{
    ntfs::MftRecord record{};
    if (m_volume.reader.read(recordSector, ntfs::kMftRecordSectors, record) != disk::ReadStatus::Ok)
        return {};
    ntfs::ApplyRecordFixup(record);
    const DataAttributeLocation data = LocateDataAttribute(record);
    if (data.kind == DataAttributeKind::Resident)
        return finish(0, 0);
    if (data.kind != DataAttributeKind::NonResident)
        return {};
    const auto runs = DecodeDataRuns(record, data.offset);
    if (!runs)
        return {};
    const std::uint64_t clusterBytes = std::uint64_t{m_volume.geometry.SectorsPerCluster} * disk::kSectorSize;
    if (clusterBytes == 0)
        return {};
    std::uint64_t want = (size + clusterBytes - 1) / clusterBytes;
    std::uint64_t clusters = 0;
    std::uint64_t inUse = 0;
    for (const NtfsRun& run : *runs) {
        if (want == 0)
            break;
        const std::uint64_t take = std::min(run.length, want);
        want -= take;
        if (run.sparse)
            continue; // no clusters on disk: nothing to lose
        for (std::uint64_t i = 0; i < take; ++i) {
            ++clusters;
            const std::int64_t lcn = run.start + static_cast<std::int64_t>(i);
            if (lcn < 0) {
                ++inUse;
                continue;
            }
            const auto set = bitmapBitSet(static_cast<std::uint64_t>(lcn));
            if (!set)
                return {};
            if (*set)
                ++inUse;
        }
    }
    return finish(clusters, inUse);
}

void ConditionEstimator::fillRows(std::vector<catalogue::FileRow>& rows, const catalogue::Catalogue& catalogue)
{
    const auto kind = m_volume.geometry.GeometryKind;
    const bool fat = kind == disk::VolumeKind::Fat16 || kind == disk::VolumeKind::Fat32;
    for (catalogue::FileRow& row : rows) {
        if (row.folder || !row.deleted)
            continue;
        ConditionEstimate e;
        if (fat && row.entryIndex < catalogue.FatFileList.size()) {
            const auto& entry = catalogue.FatFileList[row.entryIndex];
            e = fatFile(entry.firstCluster, entry.size);
        } else if (kind == disk::VolumeKind::Ntfs && row.entryIndex < catalogue.NtfsFileList.size()) {
            const auto& entry = catalogue.NtfsFileList[row.entryIndex];
            e = ntfsFile(entry.recordSector, entry.size);
        }
        row.condition = conditionText(e.condition);
        row.conditionClusters = e.clusters;
        row.conditionClustersInUse = e.clustersInUse;
    }
}

} // namespace sarvik::recovery
