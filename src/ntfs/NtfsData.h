// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading the unnamed data attribute of one MFT record for the copy: where the
// attribute is, and the runs of clusters it names. Works on a record already in
// memory (fixed up); bounds every offset by the 1024-byte record.

#include "disk/ByteReader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sarvik::ntfs {

enum class DataAttributeKind { None, Resident, NonResident };

struct DataAttributeLocation {
    DataAttributeKind kind = DataAttributeKind::None;
    std::size_t offset = 0; ///< the attribute's start within the record
};

/// Walks the attributes from the offset at 0x14 to the first unnamed data
/// attribute (type 0x80, name length 0). Resident when its non-resident byte is
/// 0, non-resident when 1, none for any other value. Offsets and lengths of 0x3FF
/// and above end the walk, as do the types 0 and 0xFFFFFFFF.
[[nodiscard]] DataAttributeLocation LocateDataAttribute(disk::ByteSpan record) noexcept;

/// The same walk to the data attribute named `stream` (UTF-8; the unnamed one
/// when empty): a file's alternate data stream ("file.txt:Zone.Identifier").
[[nodiscard]] DataAttributeLocation LocateDataAttribute(disk::ByteSpan record, std::string_view stream);

/// A named data attribute of a record: the stream's name (UTF-8) and the bytes
/// of data it holds.
struct NamedStream {
    std::string name;
    std::uint64_t size = 0;
    DataAttributeLocation location;
};

/// The record's named data attributes in record order (the pieces at VCN 0
/// only), by the walk of LocateDataAttribute; at most kMaxNamedStreams.
[[nodiscard]] std::vector<NamedStream> ListNamedStreams(disk::ByteSpan record);
inline constexpr std::size_t kMaxNamedStreams = 16;

/// The bytes of a data of `size` bytes that were written, by the non-resident
/// attribute header at `attributeOffset` (the piece at VCN 0): its initialized
/// size, at most `size`. Past them the data reads as zeros, whatever its
/// clusters hold (Windows gives zeros there). A header whose real size is not
/// `size` (damaged, or not the one the size came from) is not trusted for it:
/// all `size` bytes count as written.
[[nodiscard]] std::uint64_t InitializedBytes(disk::ByteSpan record, std::size_t attributeOffset,
                                             std::uint64_t size) noexcept;
/// The same from the header's real and initialized sizes.
[[nodiscard]] std::uint64_t InitializedBytes(std::uint64_t realSize, std::uint64_t initializedSize,
                                             std::uint64_t size) noexcept;

/// The most clusters one file covers, sparse ones included: an NTFS volume
/// numbers its clusters in 32 bits. A copy writes no more of a file than this
/// (its clusters on disk are bounded by the volume itself).
inline constexpr std::uint64_t kMaxFileClusters = std::uint64_t{1} << 32;

/// One run of a non-resident attribute. A sparse run has no clusters on disk
/// and reads as zeros; `start` is then meaningless.
struct NtfsRun {
    std::int64_t start = 0;   ///< first cluster (may be negative in a damaged list)
    std::uint64_t length = 0; ///< clusters
    bool sparse = false;
    /// No trusted piece of the attribute describes these clusters: they are
    /// written as zeros and counted as unreadable. `start` is meaningless.
    bool missing = false;
};

using NtfsRunList = std::vector<NtfsRun>;

/// Decodes the run list that starts at the offset held at attribute + 0x20.
/// Each header byte gives the widths of a length field (low nibble) and an
/// offset field (high nibble). The first offset is absolute and unsigned, later
/// ones are signed and relative to the start of the last run that had an
/// offset. A run without an offset field is sparse. A header of 0 ends the list;
/// so do a field wider than 8 bytes and a field that would run past the record
/// (keeping the runs decoded before). Nothing when no run could be decoded and
/// the list did not end with a 0 header.
[[nodiscard]] std::optional<NtfsRunList> DecodeDataRuns(disk::ByteSpan record, std::size_t attributeOffset);

} // namespace sarvik::ntfs
