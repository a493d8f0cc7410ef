// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/Condition.h"

#include "disk/CachedBlockSource.h"
#include "disk/VolumeExtent.h"
#include "exfat/ExfatVolume.h"
#include "fat/ClusterChain.h"
#include "fat/FatThoroughScan.h"
#include "fat/FileClusters.h"
#include "ntfs/MftRecord.h"
#include "ntfs/NtfsCompressed.h"
#include "ntfs/NtfsExtents.h"

#include <algorithm>
#include <array>
#include <bit>
#include <functional>

namespace sarvik::recovery {

namespace {

constexpr std::uint64_t kBitmapRecord = 6; // MFT record of $Bitmap, one bit per cluster
/// FAT32 entries hold 28 bits; the top four are reserved and say nothing about use.
constexpr std::uint32_t kFat32EntryMask = 0x0FFFFFFF;
/// A FAT file of at most 4 GiB in clusters of at least 512 bytes.
constexpr std::uint64_t kMaxFatClusters = 0x800000;

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b)
{
    return a > ~std::uint64_t{0} - b ? ~std::uint64_t{0} : a + b;
}

/// Set bits from bit `from` to bit `to` (exclusive) of `bytes`, where bit k is
/// bit k % 8 of byte k / 8; read 64 bits at a time.
std::uint64_t countBits(std::span<const std::byte> bytes, std::uint64_t from, std::uint64_t to)
{
    const disk::ByteReader r(bytes);
    std::uint64_t count = 0;
    while (from < to) {
        const std::uint64_t word = from / 64;
        const auto low = static_cast<unsigned>(from % 64);
        const std::uint64_t high = std::min<std::uint64_t>(64, to - word * 64);
        std::uint64_t bits = r.u64or0(word * 8) >> low;
        const auto width = static_cast<unsigned>(high - low);
        if (width < 64)
            bits &= (std::uint64_t{1} << width) - 1;
        count += static_cast<std::uint64_t>(std::popcount(bits));
        from = word * 64 + high;
    }
    return count;
}

/// What orders two deleted files of the FAT catalogue: FAT's write date, or
/// exFAT's whole modification time (to the hundredth).
std::uint64_t overlapTime(const catalogue::FatFileEntry& e)
{
    return e.exfat ? (std::uint64_t{e.exfat->modified} << 8) | e.exfat->modified10ms : e.writeDate;
}

} // namespace

const char* conditionText(FileCondition condition) noexcept
{
    if (condition == FileCondition::Good)
        return "Good";
    if (condition == FileCondition::PartlyOverwritten)
        return "Partly overwritten";
    if (condition == FileCondition::BeyondImageEnd)
        return "Beyond the end of the image";
    return condition == FileCondition::Overwritten ? "Overwritten" : "";
}

double ConditionEstimate::share() const noexcept
{
    return clusters == 0 ? 0.0 : static_cast<double>(clustersInUse) / static_cast<double>(clusters);
}

ConditionEstimator::ConditionEstimator(const disk::SelectedVolume& volume, bool thorough)
    : m_volume(volume), m_thorough(thorough), m_sector(disk::kSectorSize)
{
    if (m_volume.reader.isOpen())
        m_volume.reader.setDevice(m_volume.reader.DevicePath(),
                                  std::make_shared<disk::CachedBlockSource>(m_volume.reader.source()));
}

ConditionEstimator::~ConditionEstimator() = default;

const disk::VolumeExtent& ConditionEstimator::extent()
{
    if (!m_extent)
        m_extent = disk::volumeExtent(m_volume);
    return *m_extent;
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
    if (g.GeometryKind == disk::VolumeKind::Exfat) {
        if (!m_exfat)
            m_exfat = std::make_unique<exfat::ExfatVolume>(m_volume);
        return m_exfat->clusterUsed(cluster);
    }
    const unsigned found = disk::fatEntryBits(g.GeometryKind);
    const unsigned bits = found == 0 ? 16 : found;
    const std::uint64_t offset = disk::fatEntryOffset(cluster, bits);
    if (g.FirstFatSector == 0)
        return std::nullopt;
    // Below 2 or past the end of the table there is no such cluster: nothing of
    // the file can be there, so it counts as lost.
    if (cluster < 2 || (offset + disk::fatEntryReadBytes(bits) - 1) / disk::kSectorSize >= g.FatSectors)
        return true;
    // A 12-bit entry may start in a sector's last byte and end in the next one.
    std::array<std::byte, 4> entry{};
    for (unsigned i = 0; i < disk::fatEntryReadBytes(bits); ++i) {
        if (!readCached(g.FirstFatSector + (offset + i) / disk::kSectorSize))
            return std::nullopt;
        entry[i] = m_sector[static_cast<std::size_t>((offset + i) % disk::kSectorSize)];
    }
    const std::uint32_t value = disk::fatEntryValue(entry, cluster, bits);
    return (bits == 32 ? value & kFat32EntryMask : value) != 0;
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
    // A chain longer than the volume has clusters loops: the walk stops there.
    const auto limit = static_cast<std::uint32_t>(std::min(n, extent().clusterCount() + 1));
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
    if (m_thorough) {
        if (!m_fatTable)
            m_fatTable = std::make_unique<fat::FatTable>(m_volume.reader, g, disk::fileSystemSpan(m_volume));
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

std::optional<std::vector<ConditionEstimator::Span>>
ConditionEstimator::exfatSpans(const catalogue::FatFileEntry& entry)
{
    if (!m_exfat)
        m_exfat = std::make_unique<exfat::ExfatVolume>(m_volume);
    const catalogue::ExfatData& d = *entry.exfat;
    const std::uint64_t valid = std::min(d.validDataLength, d.dataLength);
    std::vector<Span> spans;
    if (valid == 0)
        return spans;
    for (const exfat::ClusterSpan& s :
         m_exfat->dataClusters(entry.firstCluster, valid, d.noFatChain, entry.deleted != 0))
        spans.push_back({s.start, s.start + s.length});
    if (spans.empty())
        spans.push_back(
            {entry.firstCluster, std::uint64_t{entry.firstCluster} + 1, 0, 0, true}); // nowhere to read from
    return spans;
}

std::optional<std::vector<ConditionEstimator::Span>>
ConditionEstimator::fatEntrySpans(const catalogue::FatFileEntry& entry)
{
    return entry.exfat ? exfatSpans(entry) : fatSpans(entry.firstCluster, entry.size);
}

std::optional<std::vector<ConditionEstimator::Span>> ConditionEstimator::ntfsSpans(std::uint64_t recordSector,
                                                                                   std::uint64_t size,
                                                                                   std::uint64_t recordNumber,
                                                                                   std::string_view stream)
{
    ntfs::MftRecord record(m_volume.geometry.MftRecordSectors);
    if (m_volume.reader.read(recordSector, record.sectors(), record) != disk::ReadStatus::Ok)
        return std::nullopt;
    ntfs::ApplyRecordFixup(record);
    std::optional<ntfs::NtfsRunList> runs;
    ntfs::CompressionInfo compression;
    std::optional<std::uint64_t> initialized;
    if (m_thorough && stream.empty()) {
        // As the thorough copy reads: a data attribute split by an attribute
        // list is gathered from all its extents. A named stream is listed only
        // from a record without a list, and read from it alone.
        if (!m_mftRuns) {
            m_mftRuns = std::make_unique<ntfs::MftRunList>();
            ntfs::BuildMftRunList(*m_mftRuns, m_volume);
        }
        if (auto listed = ntfs::ReadListedData(m_volume, *m_mftRuns, record, recordNumber, size)) {
            runs = std::move(listed->runs);
            compression = listed->compression;
            if (listed->realSize && listed->initializedSize)
                initialized = ntfs::InitializedBytes(*listed->realSize, *listed->initializedSize, size);
        }
    }
    if (!runs) {
        const ntfs::DataAttributeLocation data = ntfs::LocateDataAttribute(record, stream);
        if (data.kind == ntfs::DataAttributeKind::Resident)
            return std::vector<Span>{};
        if (data.kind != ntfs::DataAttributeKind::NonResident)
            return std::nullopt;
        compression = ntfs::ReadCompressionInfo(record, data.offset);
        runs = ntfs::DecodeDataRuns(record, data.offset);
        initialized = ntfs::InitializedBytes(record, data.offset, size);
    }
    // Compressed data in units of a size this does not read cannot be decoded:
    // whatever its clusters, the copy will not be the file.
    if (compression.compressed && compression.unitClusters == 0)
        return std::nullopt;
    if (!runs)
        return std::nullopt;
    // Only the initialized part is read: the clusters past it hold nothing of the file.
    return runSpans(*runs, initialized ? std::min(*initialized, size) : size);
}

std::optional<std::vector<ConditionEstimator::Span>>
ConditionEstimator::ntfsEntrySpans(const catalogue::NtfsFileEntry& entry, const catalogue::Catalogue* catalogue)
{
    if (entry.carved != catalogue::Carved::No) {
        const std::uint64_t clusterBytes = std::uint64_t{m_volume.geometry.SectorsPerCluster} * disk::kSectorSize;
        if (clusterBytes == 0)
            return std::nullopt;
        const std::uint64_t start = entry.recordNumber;
        return std::vector<Span>{{start, start + (entry.size + clusterBytes - 1) / clusterBytes}};
    }
    using catalogue::NtfsDataKept;
    const bool kept = catalogue != nullptr && entry.dataKept != NtfsDataKept::No &&
                      entry.firstRun <= catalogue->fsLists().NtfsDataRuns.size() &&
                      entry.runCount <= catalogue->fsLists().NtfsDataRuns.size() - entry.firstRun;
    if (!kept)
        return ntfsSpans(entry.recordSector, entry.size, entry.recordNumber, entry.stream);
    if (entry.dataKept == NtfsDataKept::None)
        return std::nullopt;
    if (entry.dataKept == NtfsDataKept::Resident)
        return std::vector<Span>{};
    ntfs::NtfsRunList runs;
    runs.reserve(entry.runCount);
    const auto first = catalogue->fsLists().NtfsDataRuns.begin() + static_cast<std::ptrdiff_t>(entry.firstRun);
    for (auto it = first; it != first + entry.runCount; ++it)
        runs.push_back({it->start, it->length, it->sparse, it->missing});
    return runSpans(runs, std::min(entry.initialized, entry.size));
}

std::optional<std::vector<ConditionEstimator::Span>> ConditionEstimator::runSpans(const ntfs::NtfsRunList& runs,
                                                                                  std::uint64_t size) const
{
    const std::uint64_t clusterBytes = std::uint64_t{m_volume.geometry.SectorsPerCluster} * disk::kSectorSize;
    if (clusterBytes == 0)
        return std::nullopt;
    std::uint64_t want = size / clusterBytes + (size % clusterBytes != 0 ? 1 : 0);
    std::vector<Span> spans;
    for (const ntfs::NtfsRun& run : runs) {
        if (want == 0)
            break;
        const std::uint64_t take = std::min(run.length, want);
        want -= take;
        if (run.sparse) {
            spans.push_back({0, take, 0, 0, false, true}); // no clusters on disk: nothing to lose
            continue;
        }
        if (run.missing) {
            spans.push_back({0, take, 0, 0, true}); // no trusted extent describes them
            continue;
        }
        if (run.start < 0)
            return std::nullopt;
        const auto start = static_cast<std::uint64_t>(run.start);
        spans.push_back({start, start + take});
    }
    // The runs end before the size: the copy ends there too.
    if (want != 0)
        spans.push_back({0, want, 0, 0, true});
    return spans;
}

ConditionEstimate ConditionEstimator::count(const std::optional<std::vector<Span>>& spans, bool fat,
                                            std::uint64_t owner, std::uint64_t time, bool live)
{
    if (!spans)
        return {};
    // Each span is looked up only where the volume has clusters; what lies
    // outside (a damaged size or run, or data past the end of a truncated
    // image) is lost, and costs nothing to count.
    std::uint64_t clusters = 0;
    std::uint64_t inUse = 0;
    std::uint64_t missing = 0;
    std::uint64_t pastImage = 0;
    for (const Span& span : *spans) {
        if (span.sparse)
            continue;
        const std::uint64_t length = span.end > span.start ? span.end - span.start : 0;
        const std::uint64_t lo = std::max(span.start, extent().firstCluster);
        const std::uint64_t hi = std::min(span.end, extent().readableEnd);
        const std::uint64_t inside = span.missing || hi <= lo ? 0 : hi - lo;
        clusters = saturatingAdd(clusters, length);
        missing = saturatingAdd(missing, length - inside);
        // Clusters the file system has but the image does not hold.
        const std::uint64_t cutLo = std::max(span.start, extent().readableEnd);
        const std::uint64_t cutHi = std::min(span.end, extent().endCluster);
        if (!span.missing && cutHi > cutLo)
            pastImage = saturatingAdd(pastImage, cutHi - cutLo);
        if (inside == 0)
            continue;
        if (live) {
            // A file not deleted holds its clusters itself: only what cannot be read counts.
            missing = saturatingAdd(missing, clustersNotHeld(lo, hi));
            continue;
        }
        const auto used = countUsed(lo, hi, fat);
        if (!used)
            return {}; // the allocation cannot be read
        const auto newer = claimedFreeByNewer(lo, hi, fat, owner, time);
        if (!newer)
            return {};
        inUse = saturatingAdd(inUse, *used + *newer);
        missing = saturatingAdd(missing, clustersNotHeld(lo, hi));
    }
    // No file has more clusters than its volume: a damaged size says more.
    clusters = std::min(clusters, extent().clusterCount());
    ConditionEstimate e = finish(clusters, std::min(saturatingAdd(inUse, missing), clusters));
    e.clustersMissing = std::min(missing, e.clustersInUse);
    e.clustersPastImage = std::min(pastImage, e.clustersMissing);
    if (e.clustersPastImage != 0)
        e.condition = FileCondition::BeyondImageEnd;
    return e;
}

std::uint64_t ConditionEstimator::clustersNotHeld(std::uint64_t from, std::uint64_t to) const
{
    // A sparse image's hole or a region its container does not store holds no
    // data of the file, only zeros that the copy would write in its place.
    const disk::BlockSource* source = m_volume.reader.source().get();
    const std::uint64_t clusterBytes = std::uint64_t{m_volume.geometry.SectorsPerCluster} * disk::kSectorSize;
    if (source == nullptr || clusterBytes == 0)
        return 0;
    std::uint64_t notHeld = 0;
    for (std::uint64_t c = from; c < to;) {
        const auto sector = m_volume.geometry.clusterSector(c);
        if (!sector || *sector > ~std::uint64_t{0} / disk::kSectorSize)
            break;
        const std::uint64_t zeroClusters =
            std::min(source->knownZeros(*sector * disk::kSectorSize) / clusterBytes, to - c);
        notHeld += zeroClusters;
        c += std::max<std::uint64_t>(zeroClusters, 1);
    }
    return notHeld;
}

std::optional<std::uint64_t> ConditionEstimator::countUsed(std::uint64_t from, std::uint64_t to, bool fat)
{
    if (!fat)
        return countBitmapSet(from, to);
    std::uint64_t used = 0;
    for (std::uint64_t c = from; c < to; ++c) {
        const auto u = fatEntryUsed(static_cast<std::uint32_t>(c)); // below the volume's end: 32 bits
        if (!u)
            return std::nullopt;
        if (*u)
            ++used;
    }
    return used;
}

std::optional<std::uint64_t> ConditionEstimator::claimedFreeByNewer(std::uint64_t from, std::uint64_t to, bool fat,
                                                                    std::uint64_t owner, std::uint64_t time)
{
    // The spans of newer deleted files that reach into [from, to): those that
    // start before `to`, walking back while one of them (or an earlier one)
    // still reaches `from`.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> covered;
    const auto it = std::lower_bound(m_overlaps.begin(), m_overlaps.end(), to,
                                     [](const Span& s, std::uint64_t c) { return s.start < c; });
    for (auto i = static_cast<std::size_t>(it - m_overlaps.begin()); i-- > 0;) {
        if (m_maxEnd[i] <= from)
            break;
        const Span& s = m_overlaps[i];
        if (s.owner == owner || s.end <= from)
            continue;
        // FAT dates cannot order two files of one day: either may be the newer.
        // NTFS times that are equal fall back on the record: later records are
        // usually later files.
        if (fat ? s.time >= time : s.time > time || (s.time == time && s.owner > owner))
            covered.emplace_back(std::max(s.start, from), std::min(s.end, to));
    }
    std::sort(covered.begin(), covered.end());
    // Of the clusters they cover, those the allocation marks free (the ones it
    // marks used are counted already).
    std::uint64_t claimed = 0;
    std::uint64_t reached = from;
    for (const auto& [start, end] : covered) {
        const std::uint64_t lo = std::max(start, reached);
        if (end <= lo)
            continue;
        const auto used = countUsed(lo, end, fat);
        if (!used)
            return std::nullopt;
        claimed += (end - lo) - *used;
        reached = end;
    }
    return claimed;
}

void ConditionEstimator::useOverlaps(const catalogue::Catalogue& catalogue)
{
    const auto kind = m_volume.geometry.GeometryKind;
    const bool fat = disk::usesFatCatalogue(kind);
    m_catalogue = &catalogue;
    m_overlaps.clear();
    auto add = [&](const std::optional<std::vector<Span>>& spans, std::uint64_t owner, std::uint64_t time) {
        if (spans)
            for (Span s : *spans) {
                if (s.missing || s.sparse)
                    continue; // no clusters to share
                s.owner = owner;
                s.time = time;
                m_overlaps.push_back(s);
            }
    };
    if (fat) {
        for (const auto& e : catalogue.fsLists().FatFileList)
            if (e.deleted != 0)
                add(fatEntrySpans(e), e.ordinal, overlapTime(e));
    } else if (kind == disk::VolumeKind::Ntfs) {
        for (const auto& e : catalogue.fsLists().NtfsFileList)
            if (e.deleted != 0)
                add(ntfsEntrySpans(e, &catalogue), e.recordSector, e.modified);
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
    return count(fatEntrySpans(entry), true, entry.ordinal, overlapTime(entry), entry.deleted == 0);
}

ConditionEstimate ConditionEstimator::ntfsFile(std::uint64_t recordSector, std::uint64_t size)
{
    return count(ntfsSpans(recordSector, size), false, ~std::uint64_t{0}, ~std::uint64_t{0});
}

std::optional<std::vector<ConditionEstimator::Span>>
ConditionEstimator::ntfsCatalogued(const catalogue::NtfsFileEntry& entry)
{
    // The kept runs are those of the catalogue useOverlaps read, if the entry is one of its.
    const auto* list = m_catalogue != nullptr ? m_catalogue->fsLists().NtfsFileList.data() : nullptr;
    const bool ours = list != nullptr && std::less_equal<>()(list, &entry) &&
                      std::less<>()(&entry, list + m_catalogue->fsLists().NtfsFileList.size());
    return ntfsEntrySpans(entry, ours ? m_catalogue : nullptr);
}

ConditionEstimate ConditionEstimator::ntfsFile(const catalogue::NtfsFileEntry& entry)
{
    return count(ntfsCatalogued(entry), false, entry.recordSector, entry.modified, entry.deleted == 0);
}

std::optional<std::vector<ClusterPart>> ConditionEstimator::fatParts(const catalogue::FatFileEntry& entry)
{
    return parts(fatEntrySpans(entry), {true, entry.ordinal, overlapTime(entry), entry.deleted == 0});
}

std::optional<std::vector<ClusterPart>> ConditionEstimator::ntfsParts(const catalogue::NtfsFileEntry& entry)
{
    return parts(ntfsCatalogued(entry), {false, entry.recordSector, entry.modified, entry.deleted == 0});
}

ConditionEstimate ConditionEstimator::file(const catalogue::Catalogue& catalogue, catalogue::EntryId id)
{
    const std::size_t i = catalogue::entryIndex(id);
    if (catalogue::isFolderId(id) || id == catalogue::kNoEntryId)
        return {};
    if (catalogue.kind() == catalogue::CatalogueKind::Fat)
        return i < catalogue.fsLists().FatFileList.size() ? fatFile(catalogue.fsLists().FatFileList[i])
                                                          : ConditionEstimate{};
    return i < catalogue.fsLists().NtfsFileList.size() ? ntfsFile(catalogue.fsLists().NtfsFileList[i])
                                                       : ConditionEstimate{};
}

std::optional<std::vector<ClusterPart>> ConditionEstimator::fileParts(const catalogue::Catalogue& catalogue,
                                                                      catalogue::EntryId id)
{
    const std::size_t i = catalogue::entryIndex(id);
    if (catalogue::isFolderId(id) || id == catalogue::kNoEntryId)
        return std::nullopt;
    if (catalogue.kind() == catalogue::CatalogueKind::Fat)
        return i < catalogue.fsLists().FatFileList.size() ? fatParts(catalogue.fsLists().FatFileList[i]) : std::nullopt;
    return i < catalogue.fsLists().NtfsFileList.size() ? ntfsParts(catalogue.fsLists().NtfsFileList[i]) : std::nullopt;
}

namespace {

void appendPart(std::vector<ClusterPart>& out, std::uint64_t first, std::uint64_t count, ClusterState state)
{
    if (count == 0)
        return;
    if (!out.empty() && out.back().state == state && out.back().first + out.back().count == first)
        out.back().count += count;
    else
        out.push_back({first, count, state});
}

} // namespace

std::optional<std::vector<ClusterPart>> ConditionEstimator::parts(const std::optional<std::vector<Span>>& spans,
                                                                  const Owner& who)
{
    if (!spans)
        return std::nullopt;
    // The same clusters as count() looks at, each given the state that count()
    // gives it: in use (or a newer file's) first, then not held by the source.
    std::vector<ClusterPart> out;
    for (const Span& span : *spans) {
        const std::uint64_t length = span.end > span.start ? span.end - span.start : 0;
        if (span.sparse || span.missing) {
            appendPart(out, span.start, length, span.sparse ? ClusterState::NoData : ClusterState::Unreadable);
            continue;
        }
        const std::uint64_t lo = std::max(span.start, extent().firstCluster);
        const std::uint64_t hi = std::min(span.end, extent().readableEnd);
        if (hi <= lo) {
            appendPart(out, span.start, length, ClusterState::Unreadable);
            continue;
        }
        appendPart(out, span.start, lo - span.start, ClusterState::Unreadable);
        if (!classify(lo, hi, who, out))
            return std::nullopt;
        appendPart(out, hi, span.end - hi, ClusterState::Unreadable);
    }
    return out;
}

bool ConditionEstimator::classify(std::uint64_t lo, std::uint64_t hi, const Owner& who, std::vector<ClusterPart>& out)
{
    const std::uint64_t n = hi - lo;
    std::uint64_t claimed = 0;
    if (!who.live) {
        const auto used = countUsed(lo, hi, who.fat);
        if (!used)
            return false;
        const auto newer = claimedFreeByNewer(lo, hi, who.fat, who.owner, who.time);
        if (!newer)
            return false;
        claimed = *used + *newer;
    }
    const std::uint64_t notHeld = claimed == 0 ? clustersNotHeld(lo, hi) : 0;
    if (n <= 1 || claimed == n || (claimed == 0 && (notHeld == 0 || notHeld == n))) {
        const ClusterState state = claimed != 0   ? ClusterState::Claimed
                                   : notHeld != 0 ? ClusterState::NoData
                                                  : ClusterState::Intact;
        appendPart(out, lo, n, state);
        return true;
    }
    // Mixed: each half on its own. A file's states mostly come in long
    // stretches, so this asks few questions even of a large file.
    const std::uint64_t mid = lo + n / 2;
    return classify(lo, mid, who, out) && classify(mid, hi, who, out);
}

bool ConditionEstimator::loadBitmapRuns()
{
    if (m_bitmapTried)
        return m_bitmapRuns.has_value();
    m_bitmapTried = true;
    const auto& g = m_volume.geometry;
    ntfs::MftRecord record(g.MftRecordSectors);
    const std::uint64_t sector = g.MftStartSector + kBitmapRecord * record.sectors();
    if (m_volume.reader.read(sector, record.sectors(), record) != disk::ReadStatus::Ok)
        return false;
    ntfs::ApplyRecordFixup(record);
    const ntfs::DataAttributeLocation data = ntfs::LocateDataAttribute(record);
    if (data.kind != ntfs::DataAttributeKind::NonResident)
        return false;
    auto runs = ntfs::DecodeDataRuns(record, data.offset);
    if (!runs || runs->empty())
        return false;
    m_bitmapRuns = std::move(runs);
    return true;
}

std::optional<std::uint64_t> ConditionEstimator::countBitmapSet(std::uint64_t from, std::uint64_t to)
{
    if (!loadBitmapRuns())
        return std::nullopt;
    const auto& g = m_volume.geometry;
    const std::uint64_t clusterBytes = std::uint64_t{g.SectorsPerCluster} * disk::kSectorSize;
    if (clusterBytes == 0)
        return std::nullopt;
    constexpr std::uint64_t kBitsPerSector = std::uint64_t{disk::kSectorSize} * 8;
    std::uint64_t set = 0;
    // One sector of the bitmap at a time: it holds the bits of clusters [c, stop).
    for (std::uint64_t c = from; c < to;) {
        const std::uint64_t sectorIndex = c / kBitsPerSector;
        const std::uint64_t stop = std::min(to, (sectorIndex + 1) * kBitsPerSector);
        const std::uint64_t byteIndex = sectorIndex * disk::kSectorSize;
        std::uint64_t vcn = byteIndex / clusterBytes;
        const ntfs::NtfsRun* run = nullptr;
        for (const ntfs::NtfsRun& r : *m_bitmapRuns) {
            if (vcn < r.length) {
                run = &r;
                break;
            }
            vcn -= r.length;
        }
        if (run == nullptr) {
            set += to - c; // beyond the bitmap: no such clusters on the volume
            break;
        }
        if (!run->sparse) {
            if (run->start < 0)
                return std::nullopt;
            const auto first = g.clusterSector(static_cast<std::uint64_t>(run->start) + vcn);
            if (!first || !readCached(*first + (byteIndex % clusterBytes) / disk::kSectorSize))
                return std::nullopt;
            const std::uint64_t base = sectorIndex * kBitsPerSector;
            set += countBits(m_sector, c - base, stop - base);
        }
        c = stop;
    }
    return set;
}

void ConditionEstimator::fillRows(std::vector<catalogue::FileRow>& rows, const catalogue::Catalogue& catalogue)
{
    const auto kind = m_volume.geometry.GeometryKind;
    const bool fat = disk::usesFatCatalogue(kind);
    for (catalogue::FileRow& row : rows) {
        if (row.folder || !row.deleted)
            continue;
        ConditionEstimate e;
        catalogue::Carved carved = catalogue::Carved::No;
        if (fat && row.entryIndex() < catalogue.fsLists().FatFileList.size()) {
            const auto& entry = catalogue.fsLists().FatFileList[row.entryIndex()];
            e = fatFile(entry);
            carved = entry.carved;
        } else if (kind == disk::VolumeKind::Ntfs && row.entryIndex() < catalogue.fsLists().NtfsFileList.size()) {
            const auto& entry = catalogue.fsLists().NtfsFileList[row.entryIndex()];
            e = ntfsFile(entry);
            carved = entry.carved;
        }
        // A carved file that breaks off may lie in free clusters, yet it is not all there.
        row.condition = carved == catalogue::Carved::Incomplete ? kIncompleteCarvedText : conditionText(e.condition);
        row.conditionClusters = e.clusters;
        row.conditionClustersInUse = e.clustersInUse;
    }
}

} // namespace sarvik::recovery
