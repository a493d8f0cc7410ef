// SPDX-License-Identifier: GPL-3.0-or-later
#include "ntfs/MftRunList.h"

#include <algorithm>
#include <limits>
#include <unordered_set>

namespace sarvik::ntfs {

namespace {

using disk::ByteReader;
using disk::kSectorSize;

// Where the runs of the two attributes read by the build begin, from the
// attribute's start: an unnamed data attribute keeps them at 0x40, the root
// folder's index allocation (named "$I30", four UTF-16 units) at 0x48.
constexpr std::size_t kDataRunsOffset = 0x40;
constexpr std::size_t kIndexAllocationRunsOffset = 0x48;

// Record 5, the root folder, lies five records into the MFT.
constexpr std::uint64_t kRootRecord = 5;

// A resident attribute list keeps its value right after its 24-byte header.
constexpr std::uint16_t kResidentListValueOffset = 24;

std::int64_t s16(const ByteReader& r, std::uint64_t offset)
{
    return static_cast<std::int16_t>(r.u16or0(offset));
}

/// Sign-extends the `width`-byte value `raw` (width 1 to 8).
std::int64_t signExtend(std::uint64_t raw, unsigned width)
{
    if (width < 8 && (raw >> (8 * width - 1)) & 1)
        raw |= ~std::uint64_t{0} << (8 * width);
    return static_cast<std::int64_t>(raw);
}

/// An attribute as the build walks them: attributes are compared by the low
/// byte of their type and stepped over by the low 16 bits of their length taken
/// as a signed number; the end marker, a length of 0 or less, or a header that
/// does not fit in the record ends the walk without a match.
struct BuildAttribute {
    std::size_t offset = 0;
    std::size_t end = 0; ///< the attribute's end, cut to the record
};

std::optional<BuildAttribute> findBuildAttribute(disk::ByteSpan record, std::uint8_t typeLowByte)
{
    const ByteReader r(record);
    std::int64_t offset = r.u16or0(kRecordFirstAttribute);
    while (offset >= 0 && r.has(static_cast<std::uint64_t>(offset), 8)) {
        const auto at = static_cast<std::uint64_t>(offset);
        const std::uint32_t type = r.u32or0(at + kAttrType);
        if (type == AttributeType::End)
            return std::nullopt;
        const std::int64_t length = s16(r, at + kAttrLength);
        if ((type & 0xFF) == typeLowByte) {
            const std::int64_t end = length > 0 ? std::min<std::int64_t>(offset + length, std::ssize(record)) : offset;
            return BuildAttribute{static_cast<std::size_t>(offset), static_cast<std::size_t>(end)};
        }
        if (length <= 0)
            return std::nullopt;
        offset += length;
    }
    return std::nullopt;
}

/// Decodes the runs of the attribute found in `record`, starting `runsOffset` bytes into it.
void decodeAttributeRuns(disk::ByteSpan record, const BuildAttribute& attribute, std::size_t runsOffset,
                         MftRunList& runs, std::int64_t clusterBaseSector, std::uint32_t sectorsPerCluster,
                         const RunListLimits& limits)
{
    (void)DecodeRunList(record, attribute.offset + runsOffset, attribute.end, runs, clusterBaseSector,
                        sectorsPerCluster, limits);
}

/// Walks attribute-list entries in `bytes` from `position`: each entry is
/// stepped over by its 16-bit length, an entry of length 0 or one that does not
/// fit ends the walk; entries of data attributes give their record numbers.
void collectDataEntries(disk::ByteSpan bytes, std::size_t position, std::vector<std::uint32_t>& records)
{
    const ByteReader r(bytes);
    while (position < bytes.size()) {
        const auto length = r.u16(position + kListEntryLength);
        if (!length || *length == 0)
            return;
        if ((r.u8or0(position + kListEntryType)) == (AttributeType::Data & 0xFF)) {
            const auto holder = r.u32(position + kListEntryRecord);
            if (!holder)
                return;
            records.push_back(*holder);
        }
        position += *length;
    }
}

/// The bytes of a non-resident attribute list: its runs' sectors laid end to
/// end, at most kMaxAttributeListBytes. A sparse run reads as zeros; the stream
/// ends at the first sector that cannot be read.

} // namespace

void MftRunList::clear() noexcept
{
    m_starts.clear();
    m_lengths.clear();
    m_ends.clear();
}

void MftRunList::append(std::uint64_t start, std::uint64_t length)
{
    m_starts.push_back(start);
    m_lengths.push_back(length);
    m_ends.push_back(totalSectors() + length);
}

std::optional<MftRunList::Location> MftRunList::locateRecord(std::uint64_t recordNumber) const noexcept
{
    if (recordNumber > std::numeric_limits<std::uint64_t>::max() / m_recordSectors)
        return std::nullopt;
    const std::uint64_t offset = recordNumber * m_recordSectors;
    // The first run whose cumulative length passes the offset holds it; runs of
    // length 0 never do.
    const auto it = std::upper_bound(m_ends.begin(), m_ends.end(), offset);
    if (it == m_ends.end())
        return std::nullopt;
    const auto run = static_cast<std::size_t>(it - m_ends.begin());
    const std::uint64_t before = *it - m_lengths[run];
    return Location{m_starts[run] + (offset - before), run};
}

RunListEnd DecodeRunList(disk::ByteSpan buffer, std::size_t position, std::size_t end, MftRunList& runs,
                         std::int64_t clusterBaseSector, std::uint32_t sectorsPerCluster, const RunListLimits& limits)
{
    const ByteReader r(buffer);
    end = std::min(end, buffer.size());
    const std::uint64_t volume = limits.volumeSectors;
    // Start of the last run of this list that had an offset.
    std::optional<std::int64_t> previous;
    while (position < end) {
        const std::uint8_t header = r.u8or0(position);
        if (header == 0)
            return RunListEnd::EndMarker;
        const unsigned lengthWidth = header & 0x0F;
        const unsigned offsetWidth = header >> 4;
        if (lengthWidth > 8 || offsetWidth > 8)
            return RunListEnd::BadHeader;
        if (!disk::fitsIn(end, position + 1, std::uint64_t{lengthWidth} + offsetWidth))
            return RunListEnd::OutOfBytes;
        if (runs.RunCount() >= limits.maxRuns)
            return RunListEnd::TooManyRuns;

        const std::uint64_t clusters = lengthWidth == 0 ? 0 : r.uint(position + 1, lengthWidth).value_or(0);
        if (sectorsPerCluster != 0 && clusters > volume / sectorsPerCluster)
            return RunListEnd::OutsideVolume;
        const std::uint64_t sectors = clusters * sectorsPerCluster;
        if (sectors > volume - std::min(volume, runs.totalSectors()))
            return RunListEnd::OutsideVolume;

        std::uint64_t start = 0; // a run without an offset is sparse
        if (offsetWidth != 0) {
            const std::int64_t delta =
                signExtend(r.uint(position + 1 + lengthWidth, offsetWidth).value_or(0), offsetWidth);
            const std::uint64_t magnitude =
                delta < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(delta) : static_cast<std::uint64_t>(delta);
            if (magnitude > volume)
                return RunListEnd::OutsideVolume;
            // |delta| <= volume < 2^55 and sectorsPerCluster < 2^8: no overflow.
            const std::int64_t first =
                previous.value_or(clusterBaseSector) + delta * static_cast<std::int64_t>(sectorsPerCluster);
            if (first < 0 || static_cast<std::uint64_t>(first) >= volume)
                return RunListEnd::OutsideVolume;
            previous = first;
            start = static_cast<std::uint64_t>(first);
        }
        runs.append(start, sectors);
        position += 1 + lengthWidth + offsetWidth;
    }
    return RunListEnd::OutOfBytes;
}

std::optional<std::uint64_t> RecordSectorInRuns(const MftRunList& runs, std::uint64_t recordNumber) noexcept
{
    const auto location = runs.locateRecord(recordNumber);
    if (!location)
        return std::nullopt;
    return location->sector;
}

std::uint64_t MftRecordSector(const MftRunList& runs, std::uint64_t recordNumber) noexcept
{
    return RecordSectorInRuns(runs, recordNumber).value_or(0);
}

bool ReadMftRecord(const disk::SectorReader& reader, std::uint64_t sector, MftRecord& record)
{
    record.fill(std::byte{0});
    if (reader.read(sector, record.sectors(), record) != disk::ReadStatus::Ok) {
        record.fill(std::byte{0});
        return false;
    }
    ApplyRecordFixup(record);
    return true;
}

std::vector<std::uint32_t> ListMftDataRecords(disk::ByteSpan record0, const disk::SectorReader& reader,
                                              std::int64_t clusterBaseSector, std::uint32_t sectorsPerCluster,
                                              const RunListLimits& limits)
{
    std::vector<std::uint32_t> records;
    const auto list = findBuildAttribute(record0, AttributeType::AttributeList);
    if (!list)
        return records;
    const ByteReader r(record0);
    if (r.u16or0(list->offset + kAttrValueOffset) == kResidentListValueOffset) {
        collectDataEntries(record0.first(list->end), list->offset + kResidentListValueOffset, records);
        return records;
    }
    MftRunList listRuns;
    (void)DecodeRunList(record0, list->offset + r.u16or0(list->offset + kAttrRunsOffset), list->end, listRuns,
                        clusterBaseSector, sectorsPerCluster, limits);
    const std::vector<std::byte> stream = ReadAttributeListStream(listRuns, reader);
    collectDataEntries(stream, 0, records);
    return records;
}

void BuildMftRunList(MftRunList& runs, const disk::SectorReader& reader, std::int64_t clusterBaseSector,
                     std::uint64_t mftStartSector, std::uint32_t sectorsPerCluster, std::uint32_t recordSectors)
{
    runs.clear();
    runs.setRecordSectors(recordSectors);
    recordSectors = runs.recordSectors();
    if (!reader.isOpen())
        return;
    const RunListLimits limits{reader.source()->size() / kSectorSize, kMaxMftRuns};
    auto decodeFound = [&](disk::ByteSpan record, const BuildAttribute& attribute, std::size_t runsOffset) {
        decodeAttributeRuns(record, attribute, runsOffset, runs, clusterBaseSector, sectorsPerCluster, limits);
    };

    // Pass 0: the root folder's index allocation. Only kept when record 0 has no data attribute.
    MftRecord record(recordSectors);
    if (!ReadMftRecord(reader, mftStartSector + kRootRecord * recordSectors, record) || !hasFileSignature(record))
        return;
    if (const auto index = findBuildAttribute(record, AttributeType::IndexAllocation & 0xFF))
        decodeFound(record, *index, kIndexAllocationRunsOffset);

    // Pass 1: record 0's data attribute replaces it.
    MftRecord record0(recordSectors);
    if (!ReadMftRecord(reader, mftStartSector, record0) || !hasFileSignature(record0))
        return;
    if (const auto data = findBuildAttribute(record0, AttributeType::Data)) {
        runs.clear();
        decodeFound(record0, *data, kDataRunsOffset);
    }

    // Later passes: the data attribute's pieces as record 0's attribute list names them.
    const std::vector<std::uint32_t> pieces =
        ListMftDataRecords(record0, reader, clusterBaseSector, sectorsPerCluster, limits);
    if (pieces.empty())
        return;
    std::unordered_set<std::uint32_t> read;
    // The first piece (normally record 0 itself) is found by its place after the
    // MFT's start and rebuilds the list from scratch. When it cannot be read or
    // holds no data attribute, record 0's own runs stay.
    read.insert(pieces[0]);
    if (ReadMftRecord(reader, mftStartSector + std::uint64_t{pieces[0]} * recordSectors, record)) {
        if (const auto data = findBuildAttribute(record, AttributeType::Data)) {
            runs.clear();
            decodeFound(record, *data, kDataRunsOffset);
        }
    }
    // Every further piece lies in an extension record found through the runs
    // decoded so far. A record listed twice is read once (a list that names one
    // record again and again would otherwise repeat its runs); one that lies
    // beyond the runs, in a sparse run, or cannot be read is skipped.
    for (std::size_t k = 1; k < pieces.size(); ++k) {
        if (read.contains(pieces[k]))
            continue;
        const auto location = runs.locateRecord(pieces[k]);
        if (!location || runs.isSparse(location->run))
            continue;
        read.insert(pieces[k]);
        if (!ReadMftRecord(reader, location->sector, record))
            continue;
        if (const auto data = findBuildAttribute(record, AttributeType::Data))
            decodeFound(record, *data, kDataRunsOffset);
    }
}

void BuildMftRunList(MftRunList& runs, const disk::SelectedVolume& volume)
{
    const disk::VolumeGeometry& g = volume.geometry;
    BuildMftRunList(runs, volume.reader, g.ClusterBaseSector, g.MftStartSector, g.SectorsPerCluster,
                    g.MftRecordSectors);
}

std::vector<std::byte> ReadAttributeListStream(const MftRunList& listRuns, const disk::SectorReader& reader)
{
    std::vector<std::byte> stream;
    for (std::size_t i = 0; i < listRuns.RunCount() && stream.size() < kMaxAttributeListBytes; ++i) {
        const std::uint64_t room = (kMaxAttributeListBytes - stream.size()) / kSectorSize;
        const auto sectors = static_cast<std::uint32_t>(std::min<std::uint64_t>(listRuns.RunLengths()[i], room));
        if (sectors == 0)
            continue;
        const std::size_t at = stream.size();
        stream.resize(at + std::size_t{sectors} * kSectorSize);
        if (listRuns.isSparse(i))
            continue;
        const std::uint64_t start = listRuns.RunStarts()[i];
        if (reader.read(start, sectors, std::span(stream).subspan(at)) == disk::ReadStatus::Ok)
            continue;
        // The run cannot be read whole: keep the sectors before the first bad one.
        for (std::uint32_t k = 0; k < sectors; ++k) {
            const std::size_t sectorAt = at + std::size_t{k} * kSectorSize;
            if (reader.read(start + k, 1, std::span(stream).subspan(sectorAt, kSectorSize)) != disk::ReadStatus::Ok) {
                stream.resize(sectorAt);
                return stream;
            }
        }
    }
    return stream;
}

} // namespace sarvik::ntfs
