// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Hand-built MFT records and small NTFS volumes for the cases that mkntfs and
// ntfs-3g never write: Win32 and DOS names, damaged headers, odd run lists.

#include "ntfs/MftRecord.h"
#include "support/VolumeBuilder.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace sarvik::test {

/// One run of a run list: its length in clusters and its first cluster
/// (absent for a sparse run).
struct ClusterRun {
    std::uint64_t clusters = 0;
    std::optional<std::int64_t> lcn;
};

/// The mapping-pairs bytes of `runs` with the narrowest fields, ending with 0.
std::vector<std::uint8_t> encodeRuns(const std::vector<ClusterRun>& runs);

/// One entry of an attribute list.
struct ListEntry {
    std::uint32_t type = 0;
    std::uint32_t record = 0;
    std::uint16_t length = 32; ///< 0 or a short length make damaged lists
    std::uint64_t startVcn = 0;
    std::uint16_t sequence = 0; ///< sequence number in the reference
    std::uint16_t attributeId = 0;
};

/// Bytes of a list of attribute-list entries laid end to end.
std::vector<std::uint8_t> encodeListEntries(const std::vector<ListEntry>& entries);

/// Builds one 1024-byte MFT record attribute by attribute, then protects it with
/// an update sequence as a disk holds it (the last two bytes of each sector
/// replaced by the sequence number, the originals in the array at 0x30).
class MftRecordBuilder {
public:
    explicit MftRecordBuilder(std::uint8_t flags = ntfs::RecordFlags::FileInUse);

    MftRecordBuilder& fileName(std::u16string_view name, std::uint32_t parent, std::uint8_t nameSpace,
                               std::uint64_t created = 0, std::uint64_t modified = 0);
    /// A 72-byte standard information with its created and record-changed times.
    MftRecordBuilder& standardInformation(std::uint64_t created, std::uint64_t recordChanged);
    MftRecordBuilder& residentData(std::uint32_t size, std::u16string_view streamName = u"");
    MftRecordBuilder& nonResidentData(std::uint64_t realSize, const std::vector<std::uint8_t>& runs,
                                      std::u16string_view streamName = u"");
    /// One extent of a non-resident unnamed data attribute: VCNs from `lowestVcn`
    /// over the clusters of `runs`, with attribute id `id`; the extent at VCN 0
    /// carries the sizes, and `compressionShift` makes it compressed.
    MftRecordBuilder& dataExtent(std::uint64_t lowestVcn, std::uint64_t clusters, std::uint64_t realSize,
                                 const std::vector<std::uint8_t>& runs, std::uint16_t id,
                                 std::uint8_t compressionShift = 0);
    /// Header fields: the record's sequence number and (for an extension
    /// record) the reference of its base record.
    MftRecordBuilder& sequence(std::uint16_t value);
    MftRecordBuilder& baseRecord(std::uint32_t number, std::uint16_t sequenceNumber);
    MftRecordBuilder& attributeList(const std::vector<ListEntry>& entries);
    MftRecordBuilder& nonResidentAttributeList(std::uint64_t realSize, const std::vector<std::uint8_t>& runs);
    /// The "$I30" index allocation of a folder; its runs start at 0x48.
    MftRecordBuilder& indexAllocation(const std::vector<std::uint8_t>& runs);
    /// Any attribute: `body` follows the 16-byte common part of the header.
    MftRecordBuilder& raw(std::uint32_t type, std::uint8_t nonResident, const std::vector<std::uint8_t>& body);
    /// Leaves out the end marker.
    MftRecordBuilder& noEndMarker();

    /// Offset at which attribute `index` (0 = first added) starts.
    [[nodiscard]] std::size_t attributeOffset(std::size_t index) const;
    /// The record after protection (as on disk) or before it (as after a fixup).
    [[nodiscard]] ntfs::MftRecord build(bool protect = true) const;

private:
    void add(std::vector<std::uint8_t> attribute);

    std::uint8_t m_flags;
    std::uint16_t m_sequence = 1;
    std::uint64_t m_baseReference = 0;
    std::vector<std::vector<std::uint8_t>> m_attributes;
    bool m_endMarker = true;
};

/// A small NTFS volume: boot sector, an MFT of `mftRecords` records in one run
/// at cluster `mftCluster`, record 0 describing that run, and record 5 the root
/// folder ".". Other records are written with put().
class NtfsImage {
public:
    NtfsImage(std::size_t sectors, std::uint8_t sectorsPerCluster, std::uint32_t mftCluster, std::uint32_t mftRecords);

    /// Writes a record at its place in the one-run MFT.
    void put(std::uint32_t recordNumber, const ntfs::MftRecord& record);
    /// Writes a record (or any two sectors) at a sector of the volume.
    void putAt(std::uint64_t sector, const ntfs::MftRecord& record);

    [[nodiscard]] std::uint64_t mftSector() const { return m_mftSector; }
    [[nodiscard]] std::uint64_t recordSector(std::uint32_t recordNumber) const
    {
        return m_mftSector + 2u * recordNumber;
    }
    ImageBuilder& image() { return m_image; }
    /// Selects the image as a drive; false when it does not classify as NTFS.
    bool select(disk::SelectedVolume& volume) const;

private:
    ImageBuilder m_image;
    std::uint64_t m_mftSector;
};

/// Little-endian UTF-16 of `text` (ASCII only) for names in tests.
std::u16string u16(std::string_view ascii);

} // namespace sarvik::test
