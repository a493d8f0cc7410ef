// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a thorough NTFS scan reads beyond the default rules: attribute lists that
// lie outside the record (non-resident), and names in their full UTF-16 form.

#include "disk/ByteReader.h"
#include "disk/SectorReader.h"
#include "ntfs/MftRecord.h"

#include <cstdint>
#include <vector>

namespace sarvik::ntfs {

/// One entry of an attribute list.
struct AttributeListEntry {
    std::uint32_t type = 0;
    std::uint64_t record = 0;    ///< record number (low 48 bits of the reference) of the record that holds it
    std::uint64_t startVcn = 0;  ///< first cluster of the attribute's data that this piece holds
    std::uint64_t reference = 0; ///< the whole reference: record number (48 bits), sequence number (16)
    std::uint8_t nameLength = 0; ///< UTF-16 units of the attribute's own name (0: unnamed)
    std::uint16_t attributeId = 0;
};

/// Parses attribute-list entries from `bytes`, each stepped over by its length;
/// stops at an entry of type 0 or 0xFFFFFFFF, a length below the entry header,
/// or the end of the bytes.
[[nodiscard]] std::vector<AttributeListEntry> ParseAttributeList(disk::ByteSpan bytes);

/// True when a walk of the record's attributes meets an attribute list.
[[nodiscard]] bool HasAttributeList(disk::ByteSpan record);

/// The entries of the record's attribute list when it is non-resident, read
/// from the volume (at most kMaxAttributeListBytes). Empty when the record has
/// no attribute list or a resident one.
[[nodiscard]] std::vector<AttributeListEntry> ReadNonResidentAttributeList(disk::ByteSpan record,
                                                                           const disk::SectorReader& reader,
                                                                           std::int64_t clusterBaseSector,
                                                                           std::uint32_t sectorsPerCluster);

/// The entries of the record's attribute list, resident or not (a
/// non-resident one read as ReadNonResidentAttributeList reads it). Empty when
/// the record has none. With `pastRealSize` a non-resident list is read to the
/// end of its clusters: when ntfs-3g deletes a file it shrinks the list's size
/// by the entry of the file name it removes but leaves the list's clusters as
/// they were, so the last entry lies just past the size.
[[nodiscard]] std::vector<AttributeListEntry> ReadAttributeList(disk::ByteSpan record, const disk::SectorReader& reader,
                                                                std::int64_t clusterBaseSector,
                                                                std::uint32_t sectorsPerCluster,
                                                                bool pastRealSize = false);

/// The file-name attribute whose value starts at `valueOffset`, with the name
/// decoded from all of its UTF-16 units into UTF-8.
[[nodiscard]] FileNameInfo ReadFileNameUtf8(disk::ByteSpan record, std::size_t valueOffset);

} // namespace sarvik::ntfs
