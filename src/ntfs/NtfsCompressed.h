// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Copying NTFS data stored compressed (LZNT1). A compressed attribute is cut
// into compression units of 2^n clusters (n from the attribute header, 4 on
// volumes of 4 KiB clusters and below). A unit whose clusters are all on disk
// is stored as it is; one whose tail is sparse holds LZNT1 data in its leading
// clusters; one that is wholly sparse is zeros.
//
// LZNT1 data is a series of chunks, each one 16-bit header (low 12 bits: bytes
// that follow, minus one; top bit: compressed) and up to 4 KiB of output. A
// compressed chunk is groups of one flag byte and eight items: a literal byte
// for a clear bit, a 16-bit back reference for a set bit. The reference splits
// into offset and length by how far the output of the chunk has come: the
// offset takes as many bits as that position needs (at least 4), the length the
// rest (3 is added to it, 1 to the offset).

#include "disk/ByteReader.h"
#include "disk/Volume.h"
#include "disk/VolumeExtent.h"
#include "ntfs/NtfsData.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace sarvik::ntfs {

/// Decompresses LZNT1 `input` into `output`; returns the bytes produced, or
/// nothing when the data is damaged (a reference before the start of its
/// chunk, a chunk longer than the input). Output beyond `output` is dropped.
[[nodiscard]] std::optional<std::size_t> Lznt1Decompress(disk::ByteSpan input, disk::MutableByteSpan output);

/// What the header of a non-resident attribute says about compression.
struct CompressionInfo {
    bool compressed = false;
    /// Clusters per compression unit; 0 when the header gives no size this
    /// reads (the data cannot be decoded then).
    std::uint32_t unitClusters = 0;
};
[[nodiscard]] CompressionInfo ReadCompressionInfo(disk::ByteSpan record, std::size_t attributeOffset) noexcept;

/// What CopyCompressedRuns did.
struct CompressedCopy {
    std::uint64_t written = 0;
    std::uint64_t zeroFilledUnits = 0; ///< units that could not be read or decompressed, written as zeros
    bool writeFailed = false;
    bool interrupted = false;
    /// The size runs past the volume's clusters: the copy ended at the volume's size.
    bool cutAtVolumeEnd = false;
};

/// Writes the first `size` bytes of a compressed attribute with runs `runs`
/// through `write`, unit by unit, and each unit of sparse clusters only through
/// `hole` (its length); `stop` is asked before each unit. Clusters
/// outside `extent`'s readable ones cannot be read; the copy ends where the
/// runs end, and after as many clusters as the volume has. Nothing is written
/// when the unit size is not one this reads.
[[nodiscard]] CompressedCopy CopyCompressedRuns(const disk::SelectedVolume& volume, const disk::VolumeExtent& extent,
                                                const NtfsRunList& runs, std::uint32_t unitClusters, std::uint64_t size,
                                                const std::function<bool(disk::ByteSpan)>& write,
                                                const std::function<bool(std::uint64_t)>& hole,
                                                const std::function<bool()>& stop);

} // namespace sarvik::ntfs
