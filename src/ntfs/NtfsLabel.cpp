// SPDX-License-Identifier: GPL-3.0-or-later
#include "ntfs/NtfsLabel.h"

#include "catalogue/NameDecode.h"
#include "disk/ByteReader.h"
#include "ntfs/AttributeHeader.h"
#include "ntfs/MftRecord.h"

#include <vector>

namespace sarvik::ntfs {

namespace {
constexpr std::uint64_t kVolumeRecord = 3; // $Volume
} // namespace

std::optional<std::string> readVolumeLabel(const disk::SelectedVolume& volume)
{
    const disk::VolumeGeometry& g = volume.geometry;
    const std::uint32_t sectors = g.MftRecordSectors == 0 ? kMftRecordSectors : g.MftRecordSectors;
    std::vector<std::byte> record(std::size_t{sectors} * disk::kSectorSize);
    if (sectors * disk::kSectorSize > kMaxMftRecordSize ||
        volume.reader.read(g.MftStartSector + kVolumeRecord * sectors, sectors, record) != disk::ReadStatus::Ok ||
        !hasFileSignature(record) || !RecordFixupMatches(record))
        return std::nullopt;
    ApplyRecordFixup(record);
    const disk::ByteReader r(record);
    std::uint64_t at = r.u16or0(kRecordFirstAttribute);
    while (at + kAttrValueOffset + 2 <= record.size()) {
        const AttributeHeader attribute(r, at);
        if (attribute.type() == AttributeType::End || attribute.length() == 0 ||
            attribute.length() > record.size() - at)
            break;
        if (attribute.type() == AttributeType::VolumeName && attribute.nonResident() == 0) {
            const std::uint64_t from = at + r.u16or0(at + kAttrValueOffset);
            const std::uint64_t length = attribute.valueLength();
            if (length == 0 || from > at + attribute.length() || length > at + attribute.length() - from)
                return std::nullopt;
            return catalogue::utf16LeToUtf8(std::span(record).subspan(from, length));
        }
        at += attribute.length();
    }
    return std::nullopt;
}

} // namespace sarvik::ntfs
