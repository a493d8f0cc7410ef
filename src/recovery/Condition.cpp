#include "recovery/Condition.h"

#include "fat/ClusterChain.h"
#include "fat/FatThoroughScan.h"
#include "fat/FileClusters.h"
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

ConditionEstimator::ConditionEstimator(const disk::SelectedVolume& volume, bool skipInUse)
    : m_volume(volume), m_skipInUse(skipInUse), m_sector(disk::kSectorSize)
{
}

ConditionEstimator::~ConditionEstimator() = default;

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

std::optional<std::vector<ConditionEstimator::Span>> ConditionEstimator::fatSpans(std::uint32_t firstCluster,
                                                                                std::uint64_t size)
{
    const auto& g = m_volume.geometry;
    const std::uint64_t clusterBytes = std::uint64_t{g.SectorsPerCluster} * disk::kSectorSize;
    if (clusterBytes == 0)
        return std::nullopt;
    const std::uint64_t n = (size + clusterBytes - 1) / clusterBytes;
    std::vector<Span> spans;
    if (n == 0)
        return spans;
    if (n > kMaxFatClusters)
        return std::nullopt;
    fat::ClusterChain chain;
    const auto limit = static_cast<std::uint32_t>(n);
    chain.BuildClusterChain(m_volume.reader, g, firstCluster, limit, 1);
    if (chain.size() != n)
        chain.BuildClusterChain(m_volume.reader, g, firstCluster, limit, 2);
    if (chain.size() == n) {
        for (const std::uint32_t c : chain.clusters()) {
            if (!spans.empty() && spans.back().end == c)
                ++spans.back().end;
            else
                spans.push_back({c, std::uint64_t{c} + 1});
        }
        return spans;
    }
    if (m_skipInUse) {
        if (!m_fatTable)
            m_fatTable = std::make_unique<fat::FatTable>(m_volume.reader, g, m_volume.partition.PartitionSectors);
        for (const std::uint32_t c : fat::FreeClustersFrom(*m_fatTable, firstCluster, limit)) {
            if (!spans.empty() && spans.back().end == c)
                ++spans.back().end;
            else
                spans.push_back({c, std::uint64_t{c} + 1});
        }
        if (!spans.empty())
            return spans;
    }
    spans.push_back({firstCluster, std::uint64_t{firstCluster} + n});
    return spans;
}

std::optional<std::vector<ConditionEstimator::Span>> ConditionEstimator::ntfsSpans(std::uint64_t recordSector,
                                                                                 std::uint64_t size)
{
    ntfs::MftRecord record{};
    if (m_volume.reader.read(recordSector, ntfs::kMftRecordSectors, record) != disk::ReadStatus::Ok)
        return std::nullopt;
    ntfs::ApplyRecordFixup(record);
    const DataAttributeLocation data = LocateDataAttribute(record);
    if (data.kind == DataAttributeKind::Resident)
        return std::vector<Span>{};
    if (data.kind != DataAttributeKind::NonResident)
        return std::nullopt;
    const auto runs = DecodeDataRuns(record, data.offset);
    const std::uint64_t clusterBytes = std::uint64_t{m_volume.geometry.SectorsPerCluster} * disk::kSectorSize;
    if (!runs || clusterBytes == 0)
        return std::nullopt;
    std::uint64_t want = (size + clusterBytes - 1) / clusterBytes;
    std::vector<Span> spans;
    for (const NtfsRun& run : *runs) {
        if (want == 0)
            break;
        const std::uint64_t take = std::min(run.length, want);
        want -= take;
        if (run.sparse)
            continue; // no clusters on disk: nothing to lose
        if (run.start < 0)
            return std::nullopt;
        const auto start = static_cast<std::uint64_t>(run.start);
        spans.push_back({start, start + take});
    }
    return spans;
}

ConditionEstimate ConditionEstimator::count(const std::optional<std::vector<Span>>& spans, bool fat,
                                            std::uint64_t owner, std::uint64_t time)
{
    if (!spans)
        return {};
    std::uint64_t clusters = 0;
    std::uint64_t inUse = 0;
    for (const Span& span : *spans) {
        for (std::uint64_t c = span.start; c < span.end; ++c) {
            ++clusters;
            const auto used = fat ? (c > 0xFFFFFFFFull ? std::optional<bool>(true)
                                                       : fatEntryUsed(static_cast<std::uint32_t>(c)))
                                  : bitmapBitSet(c);
            if (!used)
                return {}; // the allocation cannot be read
            if (*used || claimedByNewer(c, fat, owner, time))
                ++inUse;
        }
    }
    return finish(clusters, inUse);
}

bool ConditionEstimator::claimedByNewer(std::uint64_t cluster, bool fat, std::uint64_t owner,
                                        std::uint64_t time) const
{
    // The spans that start at or before the cluster; walk back while one of
    // them (or an earlier one) still reaches it.
    auto it = std::upper_bound(m_overlaps.begin(), m_overlaps.end(), cluster,
                               [](std::uint64_t c, const Span& s) { return c < s.start; });
    for (auto i = static_cast<std::size_t>(it - m_overlaps.begin()); i-- > 0;) {
        if (m_maxEnd[i] <= cluster)
            break;
        const Span& s = m_overlaps[i];
        if (s.owner == owner || s.end <= cluster)
            continue;
        // FAT dates cannot order two files of one day: either may be the newer.
        // NTFS times that are equal fall back on the record: later records are
        // usually later files.
        if (fat ? s.time >= time : s.time > time || (s.time == time && s.owner > owner))
            return true;
    }
    return false;
}

void ConditionEstimator::useOverlaps(const catalogue::Catalogue& catalogue)
{
    const auto kind = m_volume.geometry.GeometryKind;
    const bool fat = kind == disk::VolumeKind::Fat16 || kind == disk::VolumeKind::Fat32;
    m_overlaps.clear();
    auto add = [&](const std::optional<std::vector<Span>>& spans, std::uint64_t owner, std::uint64_t time) {
        if (spans)
            for (Span s : *spans) {
                s.owner = owner;
                s.time = time;
                m_overlaps.push_back(s);
            }
    };
    if (fat) {
        for (const auto& e : catalogue.FatFileList)
            if (e.deleted != 0)
                add(fatSpans(e.firstCluster, e.size), e.ordinal, e.writeDate);
    } else if (kind == disk::VolumeKind::Ntfs) {
        for (const auto& e : catalogue.NtfsFileList)
            if (e.deleted != 0)
                add(ntfsSpans(e.recordSector, e.size), e.recordSector, e.modified);
    }
    std::sort(m_overlaps.begin(), m_overlaps.end(), [](const Span& a, const Span& b) { return a.start < b.start; });
    m_maxEnd.resize(m_overlaps.size());
    std::uint64_t maxEnd = 0;
    for (std::size_t i = 0; i < m_overlaps.size(); ++i)
        m_maxEnd[i] = maxEnd = std::max(maxEnd, m_overlaps[i].end);
}

ConditionEstimate ConditionEstimator::fatFile(std::uint32_t firstCluster, std::uint64_t size)
{
    return count(fatSpans(firstCluster, size), true, ~std::uint64_t{0}, 0xFFFFFFFF);
}

ConditionEstimate ConditionEstimator::fatFile(const catalogue::FatFileEntry& entry)
{
    return count(fatSpans(entry.firstCluster, entry.size), true, entry.ordinal, entry.writeDate);
}

ConditionEstimate ConditionEstimator::ntfsFile(std::uint64_t recordSector, std::uint64_t size)
{
    return count(ntfsSpans(recordSector, size), false, ~std::uint64_t{0}, ~std::uint64_t{0});
}

ConditionEstimate ConditionEstimator::ntfsFile(const catalogue::NtfsFileEntry& entry)
{
    return count(ntfsSpans(entry.recordSector, entry.size), false, entry.recordSector, entry.modified);
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
            e = fatFile(entry);
        } else if (kind == disk::VolumeKind::Ntfs && row.entryIndex < catalogue.NtfsFileList.size()) {
            const auto& entry = catalogue.NtfsFileList[row.entryIndex];
            e = ntfsFile(entry);
        }
        row.condition = conditionText(e.condition);
        row.conditionClusters = e.clusters;
        row.conditionClustersInUse = e.clustersInUse;
    }
}

} // namespace sarvik::recovery
