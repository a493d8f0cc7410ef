// SPDX-License-Identifier: GPL-3.0-or-later
#include "ntfs/AttributeList.h"

#include "catalogue/NameDecode.h"
#include "ntfs/MftRunList.h"

#include <algorithm>
#include <optional>

namespace sarvik::ntfs {

namespace {
constexpr std::size_t kListEntryNameLength = 6; // u8: UTF-16 units of the attribute's name
constexpr std::size_t kListEntryStartVcn = 8;   // u64
constexpr std::size_t kListEntryId = 24;        // u16: the attribute's id in its record
constexpr std::size_t kListEntryHeader = 26;    // bytes before the entry's own name
constexpr std::size_t kSector = disk::kSectorSize;
} // namespace

std::vector<AttributeListEntry> ParseAttributeList(disk::ByteSpan bytes)
{
    std::vector<AttributeListEntry> entries;
    const disk::ByteReader r(bytes);
    std::uint64_t at = 0;
    while (r.has(at, kListEntryHeader)) {
        const std::uint32_t type = r.u32or0(at + kListEntryType);
        const std::uint16_t length = r.u16or0(at + kListEntryLength);
        if (type == 0 || type == AttributeType::End || length < kListEntryHeader)
            break;
        entries.push_back({type, r.u64or0(at + kListEntryRecord) & kReferenceNumberMask,
                           r.u64or0(at + kListEntryStartVcn), r.u64or0(at + kListEntryRecord),
                           r.u8or0(at + kListEntryNameLength), r.u16or0(at + kListEntryId)});
        at += length;
    }
    return entries;
}

namespace {

/// The entries of the attribute list at `offset` of `record`; a resident list
/// only when `resident` is set.
std::vector<AttributeListEntry> readList(disk::ByteSpan record, std::uint64_t offset, bool resident,
                                         const disk::SectorReader& reader, std::int64_t clusterBaseSector,
                                         std::uint32_t sectorsPerCluster, bool pastRealSize)
{
    const disk::ByteReader r(record);
    const std::uint64_t length = r.u32or0(offset + kAttrLength);
    if (r.u8or0(offset + kAttrNonResident) == 0) {
        if (!resident)
            return {};
        const std::uint64_t valueOffset = offset + r.u16or0(offset + kAttrValueOffset);
        const std::uint64_t valueLength = r.u32or0(offset + kAttrValueLength);
        if (valueOffset > offset + length || valueLength > offset + length - valueOffset)
            return {};
        const auto value = r.sub(valueOffset, valueLength);
        return value ? ParseAttributeList(*value) : std::vector<AttributeListEntry>{};
    }
    if (r.u8or0(offset + kAttrNonResident) != 1 || !reader.isOpen())
        return {};
    MftRunList runs;
    const RunListLimits limits{reader.source()->size() / kSector, 4096};
    (void)DecodeRunList(record, static_cast<std::size_t>(offset + r.u16or0(offset + kAttrRunsOffset)),
                        static_cast<std::size_t>(offset + length), runs, clusterBaseSector, sectorsPerCluster, limits);
    std::vector<std::byte> stream = ReadAttributeListStream(runs, reader);
    const std::uint64_t real = r.u64or0(offset + kAttrRealSize);
    if (!pastRealSize && real < stream.size())
        stream.resize(static_cast<std::size_t>(real));
    return ParseAttributeList(stream);
}

/// The offset of the record's attribute-list attribute, if its walk meets one.
std::optional<std::uint64_t> findListOffset(disk::ByteSpan record)
{
    const disk::ByteReader r(record);
    std::uint64_t offset = r.u16or0(kRecordFirstAttribute);
    while (r.has(offset, 16)) {
        const std::uint32_t type = r.u32or0(offset + kAttrType);
        const std::uint32_t length = r.u32or0(offset + kAttrLength);
        if (type == 0 || type == AttributeType::End || length == 0 || offset + length > record.size())
            break;
        if (type == AttributeType::AttributeList)
            return offset;
        offset += length;
    }
    return std::nullopt;
}

std::vector<AttributeListEntry> findList(disk::ByteSpan record, bool resident, const disk::SectorReader& reader,
                                         std::int64_t clusterBaseSector, std::uint32_t sectorsPerCluster,
                                         bool pastRealSize)
{
    const auto offset = findListOffset(record);
    if (!offset)
        return {};
    return readList(record, *offset, resident, reader, clusterBaseSector, sectorsPerCluster, pastRealSize);
}

} // namespace

bool HasAttributeList(disk::ByteSpan record)
{
    return findListOffset(record).has_value();
}

std::vector<AttributeListEntry> ReadNonResidentAttributeList(disk::ByteSpan record, const disk::SectorReader& reader,
                                                             std::int64_t clusterBaseSector,
                                                             std::uint32_t sectorsPerCluster)
{
    return findList(record, false, reader, clusterBaseSector, sectorsPerCluster, false);
}

std::vector<AttributeListEntry> ReadAttributeList(disk::ByteSpan record, const disk::SectorReader& reader,
                                                  std::int64_t clusterBaseSector, std::uint32_t sectorsPerCluster,
                                                  bool pastRealSize)
{
    return findList(record, true, reader, clusterBaseSector, sectorsPerCluster, pastRealSize);
}

FileNameInfo ReadFileNameUtf8(disk::ByteSpan record, std::size_t valueOffset)
{
    disk::ByteSpan text;
    FileNameInfo info = ReadFileNameFields(record, valueOffset, text);
    info.name = catalogue::utf16LeToUtf8(text);
    return info;
}

} // namespace sarvik::ntfs
