// SPDX-License-Identifier: GPL-3.0-or-later
#include "ntfs/NtfsExtents.h"

#include <algorithm>

namespace sarvik::ntfs {

namespace {

using disk::ByteReader;

/// Clusters one file can have on any volume this reads: bounds damaged VCNs.
constexpr std::uint64_t kMaxClusters = std::uint64_t{1} << 48;

std::uint16_t referenceSequence(std::uint64_t reference)
{
    return static_cast<std::uint16_t>(reference >> 48);
}

/// True when `found` is `listed` or the number it becomes when the record is
/// freed once (the sequence number skips 0 when it wraps). A listed 0 means
/// the writer kept no sequence number.
bool sameOrFreedOnce(std::uint16_t listed, std::uint16_t found)
{
    if (listed == 0 || found == listed)
        return true;
    const std::uint16_t next = listed == 0xFFFF ? std::uint16_t{1} : static_cast<std::uint16_t>(listed + 1);
    return found == next;
}

/// Offset of the non-resident unnamed data attribute with lowest VCN `vcn`
/// and id `id`, walking the attributes within the record.
std::optional<std::size_t> findExtent(disk::ByteSpan record, std::uint64_t vcn, std::uint16_t id)
{
    const ByteReader r(record);
    std::uint64_t offset = r.u16or0(ntfs::kRecordFirstAttribute);
    while (r.has(offset, 16)) {
        const AttributeHeader attribute(r, offset);
        const std::uint32_t type = attribute.type();
        const std::uint32_t length = attribute.length();
        if (type == 0 || type == AttributeType::End || length == 0 || length > record.size() - offset)
            return std::nullopt;
        if (type == AttributeType::Data && attribute.unnamed() && attribute.nonResident() == 1 &&
            attribute.lowestVcn() == vcn && attribute.id() == id)
            return static_cast<std::size_t>(offset);
        offset += length;
    }
    return std::nullopt;
}

struct Extent {
    std::uint64_t lowestVcn = 0;
    std::uint64_t clusters = 0; ///< VCNs this extent covers
    NtfsRunList runs;
};

void appendMissing(ListedData& out, std::uint64_t clusters)
{
    if (clusters == 0)
        return;
    out.runs.push_back({0, clusters, false, true});
    out.missingClusters += clusters;
}

/// Appends the first `clusters` clusters of `runs`, skipping `skip` clusters at the front.
void appendRuns(ListedData& out, const NtfsRunList& runs, std::uint64_t skip, std::uint64_t clusters)
{
    for (const NtfsRun& run : runs) {
        if (clusters == 0)
            return;
        if (skip >= run.length) {
            skip -= run.length;
            continue;
        }
        NtfsRun piece = run;
        if (!piece.sparse)
            piece.start += static_cast<std::int64_t>(skip);
        piece.length = std::min(run.length - skip, clusters);
        skip = 0;
        clusters -= piece.length;
        out.runs.push_back(piece);
    }
}

} // namespace

std::uint64_t BaseRecordOf(disk::ByteSpan record) noexcept
{
    return ByteReader(record).u64or0(ntfs::kRecordBaseReference) & kReferenceNumberMask;
}

ListedData GatherListedData(disk::ByteSpan baseRecord, std::uint64_t baseNumber,
                            const std::vector<ntfs::AttributeListEntry>& list, const MftRecordReader& readRecord,
                            std::uint64_t clusters)
{
    ListedData out;
    std::vector<ntfs::AttributeListEntry> pieces;
    for (const ntfs::AttributeListEntry& e : list)
        if (e.type == AttributeType::Data && e.nameLength == 0)
            pieces.push_back(e);
    if (pieces.empty())
        return out;
    out.listed = true;
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const auto& a, const auto& b) { return a.startVcn < b.startVcn; });

    const std::uint16_t baseSequence = ByteReader(baseRecord).u16or0(ntfs::kRecordSequence);
    std::vector<Extent> extents;
    ntfs::MftRecord held(static_cast<std::uint32_t>(baseRecord.size() / disk::kSectorSize));
    for (const ntfs::AttributeListEntry& e : pieces) {
        const std::uint64_t number = e.reference & kReferenceNumberMask;
        disk::ByteSpan record = baseRecord;
        if (number != baseNumber) {
            held.fill(std::byte{0});
            const ByteReader r(held);
            // The record must still be this file's extension record: not one
            // that another file has taken since.
            if (!readRecord(number, held) || !ntfs::hasFileSignature(held) || BaseRecordOf(held) != baseNumber ||
                !sameOrFreedOnce(referenceSequence(e.reference), r.u16or0(ntfs::kRecordSequence)) ||
                !sameOrFreedOnce(referenceSequence(r.u64or0(ntfs::kRecordBaseReference)), baseSequence)) {
                ++out.extentsRejected;
                continue;
            }
            record = held;
        }
        const auto at = findExtent(record, e.startVcn, e.attributeId);
        if (!at && e.startVcn == 0 && LocateDataAttribute(record).kind == DataAttributeKind::Resident)
            return ListedData{}; // resident data is never split: the record alone holds it
        const auto runs = at ? DecodeDataRuns(record, *at) : std::nullopt;
        if (!runs) {
            ++out.extentsRejected;
            continue;
        }
        const ByteReader r(record);
        Extent extent{e.startVcn, 0, *runs};
        for (const NtfsRun& run : *runs)
            extent.clusters = std::min(kMaxClusters, extent.clusters + std::min(run.length, kMaxClusters));
        // The header bounds what the run list may claim.
        const std::uint64_t highest = r.u64or0(*at + kAttrHighestVcn);
        if (highest >= e.startVcn)
            extent.clusters = std::min(extent.clusters, highest - e.startVcn + 1);
        if (e.startVcn == 0) {
            out.compression = ReadCompressionInfo(record, *at);
            out.realSize = r.u64or0(*at + kAttrRealSize);
            out.initializedSize = r.u64or0(*at + kAttrInitializedSize);
        }
        extents.push_back(std::move(extent));
        ++out.extentsUsed;
    }

    // Lay the extents end to end: a gap before an extent is missing, an
    // overlap (a damaged list) keeps the clusters the earlier extent gave.
    std::uint64_t next = 0;
    for (const Extent& extent : extents) {
        if (extent.lowestVcn >= kMaxClusters)
            break;
        if (extent.lowestVcn > next) {
            appendMissing(out, extent.lowestVcn - next);
            next = extent.lowestVcn;
        }
        const std::uint64_t end = extent.lowestVcn + extent.clusters;
        if (end <= next)
            continue;
        appendRuns(out, extent.runs, next - extent.lowestVcn, end - next);
        next = end;
    }
    if (next < clusters)
        appendMissing(out, clusters - next);
    return out;
}

std::optional<ListedData> ReadListedData(const disk::SelectedVolume& volume, const ntfs::MftRunList& mft,
                                         const ntfs::MftRecord& record, std::uint64_t recordNumber, std::uint64_t size)
{
    const auto& g = volume.geometry;
    const MftRecordReader readRecord = [&](std::uint64_t number, ntfs::MftRecord& out) {
        out.resize(mft.recordSectors());
        const auto location = mft.locateRecord(number);
        return location && !mft.isSparse(location->run) && ntfs::ReadMftRecord(volume.reader, location->sector, out);
    };

    // The record the scan chose holds the data attribute; it may be an
    // extension record, whose base record holds the attribute list.
    ntfs::MftRecord base = record;
    std::uint64_t baseNumber = BaseRecordOf(record);
    if (baseNumber != 0) {
        if (!readRecord(baseNumber, base) || !ntfs::hasFileSignature(base) || BaseRecordOf(base) != 0)
            return std::nullopt;
    } else if (recordNumber != 0) {
        baseNumber = recordNumber;
    } else {
        baseNumber = disk::ByteReader(record).u32or0(ntfs::kRecordNumber);
    }
    if (baseNumber == 0)
        return std::nullopt;
    // Entries past the list's size are stale or lost ones; every extent they
    // name is checked against the base record like any other.
    const auto list = ntfs::ReadAttributeList(base, volume.reader, g.ClusterBaseSector, g.SectorsPerCluster, true);
    if (list.empty())
        return std::nullopt;
    const std::uint64_t clusterBytes = std::uint64_t{g.SectorsPerCluster} * disk::kSectorSize;
    const std::uint64_t clusters = clusterBytes == 0 ? 0 : size / clusterBytes + (size % clusterBytes != 0 ? 1 : 0);
    ListedData listed = GatherListedData(base, baseNumber, list, readRecord, clusters);
    if (!listed.listed)
        return std::nullopt;
    return listed;
}

} // namespace sarvik::ntfs
