// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The unnamed data attribute of a file whose attribute list splits it into
// extents: pieces of the run list, each in its own attribute (in the base
// record or in extension records) that starts at its own virtual cluster
// number (VCN). Laid end to end in VCN order they are the file's data.
//
// An extension record is taken only when it still belongs to the file: its
// base reference names the file's base record, and its sequence number is the
// one the list holds or the next one (a record's sequence number is raised when
// it is freed, as it is when the file is deleted). Clusters that no trusted
// extent describes are marked missing: the copy writes them as zeros and
// counts them, never bytes of another file.

#include "disk/ByteReader.h"
#include "ntfs/AttributeList.h"
#include "ntfs/MftRecord.h"
#include "ntfs/MftRunList.h"
#include "ntfs/NtfsCompressed.h"
#include "ntfs/NtfsData.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace sarvik::ntfs {

/// Reads MFT record `number` into `record` after its fixup; false when it
/// cannot be read or lies outside the MFT.
using MftRecordReader = std::function<bool(std::uint64_t number, ntfs::MftRecord& record)>;

/// The unnamed data attribute gathered from all its extents.
struct ListedData {
    /// The attribute list names extents of the unnamed data attribute; the other
    /// fields are only meaningful then.
    bool listed = false;
    /// Runs of every extent in VCN order, with missing runs where no trusted
    /// extent describes the clusters (including a tail up to the wanted size).
    NtfsRunList runs;
    std::uint64_t missingClusters = 0;
    std::uint32_t extentsUsed = 0;
    /// Extents that were listed but not taken: record unreadable, reused by
    /// another file, or without the listed attribute.
    std::uint32_t extentsRejected = 0;
    /// From the extent that starts at VCN 0 (later extents leave these fields 0).
    CompressionInfo compression;
    std::optional<std::uint64_t> realSize;
    std::optional<std::uint64_t> initializedSize; ///< as the header holds it: may pass realSize in a damaged one
};

/// Gathers the unnamed data attribute of the file whose base record is
/// `baseRecord` (number `baseNumber`, fixed up) from the entries of its
/// attribute list, reading extension records through `readRecord`. `clusters`
/// is how many clusters the data needs; runs beyond the extents are filled
/// with a missing run up to it.
[[nodiscard]] ListedData GatherListedData(disk::ByteSpan baseRecord, std::uint64_t baseNumber,
                                          const std::vector<ntfs::AttributeListEntry>& list,
                                          const MftRecordReader& readRecord, std::uint64_t clusters);

/// The unnamed data attribute of the file whose MFT record (fixed up) is
/// `record`, gathered from every extent its attribute list names, with
/// extension records found through `mft`; `size` bytes are wanted. The record
/// may be an extension record: its base record holds the list. `recordNumber`
/// is the record's number when the catalogue knows it (0: the record's own
/// field). Nothing when there is no list that names extents of the attribute.
[[nodiscard]] std::optional<ListedData> ReadListedData(const disk::SelectedVolume& volume, const ntfs::MftRunList& mft,
                                                       const ntfs::MftRecord& record, std::uint64_t recordNumber,
                                                       std::uint64_t size);

/// The base record's number as an extension record names it: the low 48 bits
/// of its base reference, 0 in a base record.
[[nodiscard]] std::uint64_t BaseRecordOf(disk::ByteSpan record) noexcept;

} // namespace sarvik::ntfs
