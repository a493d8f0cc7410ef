// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// exFAT folders: 32-byte directory entries grouped into entry sets. A file or
// folder is a file entry (0x85), its stream extension (0xC0: where the data
// lies and how long it is) and one to seventeen file name entries (0xC1, 15
// UTF-16 units each). Deleting clears bit 7 of each entry's type (0x05, 0x40,
// 0x41) and leaves the rest as it was. The root folder also holds the
// allocation bitmap entry (0x81) and the volume label entry (0x83).

#include "catalogue/Catalogue.h"
#include "disk/ByteReader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sarvik::exfat {

inline constexpr std::size_t kEntryBytes = 32;

/// One file or folder read from its entry set.
struct EntrySet {
    bool deleted = false;   ///< every entry of the set has its in-use bit clear
    bool directory = false; ///< the folder attribute
    std::string name;       ///< UTF-8, one path part (catalogue::pathSafeName)
    std::uint32_t firstCluster = 0;
    catalogue::ExfatData data;
    std::size_t offset = 0; ///< byte offset of the file entry in the folder
    /// The set's checksum does not match its bytes: it was damaged after it
    /// was written, so any of its fields may be wrong (data.checksumBad too).
    bool checksumBad = false;
};

/// Where the allocation bitmap lies.
struct BitmapLocation {
    std::uint32_t firstCluster = 0;
    std::uint64_t length = 0; ///< bytes
};

struct DirectoryContents {
    std::vector<EntrySet> sets;
    /// Sets whose checksum does not match their bytes (damaged, or partly
    /// overwritten by a later set): listed in `sets`, marked, when the read
    /// takes damaged sets; passed over otherwise.
    std::uint32_t badChecksums = 0;
    std::optional<std::string> label;
    std::optional<BitmapLocation> bitmap; ///< the first bitmap's (a volume with two FATs has two)
};

/// The checksum of an entry set (`set` holds all its entries); bytes 2 and 3 of
/// the first entry, where the checksum itself is kept, are left out.
[[nodiscard]] std::uint16_t entrySetChecksum(disk::ByteSpan set);

/// Whether a set whose checksum fails is listed (marked) or passed over.
enum class DamagedSets : std::uint8_t {
    Skip, ///< recognising folders in free space: only sets whose checksum holds
    Keep, ///< reading a known folder: a damaged set is listed as its entries say
};

/// Reads the entry sets of a folder's bytes (its clusters end to end), live and
/// deleted. A set is taken only when its entries are all in use or all deleted,
/// its stream extension follows the file entry, its name entries hold the whole
/// name and its checksum matches (for a deleted set, with the in-use bits put
/// back); with DamagedSets::Keep, one whose checksum fails is taken too, marked,
/// when its secondary entries are all stream and name entries. Stops at an
/// end-of-folder entry (type 0). `sectorOk`, when given, marks 512-byte pieces
/// that could not be read: no set is taken from them and their zeros do not
/// end the folder.
[[nodiscard]] DirectoryContents parseDirectory(disk::ByteSpan bytes, const std::vector<bool>* sectorOk = nullptr,
                                               DamagedSets damaged = DamagedSets::Skip);

/// True when `bytes` (a cluster) begin with a whole file entry set, live or
/// deleted, whose checksum holds: how a folder's first cluster starts unless
/// its first entry was freed and not used again.
[[nodiscard]] bool startsWithEntrySet(disk::ByteSpan bytes);

/// True when `bytes` (a cluster, or its head) hold a whole file entry set
/// whose checksum holds anywhere: a folder's later cluster usually starts in
/// the middle of a set that its earlier cluster began.
[[nodiscard]] bool holdsEntrySet(disk::ByteSpan bytes);

/// Where a folder's cluster ends in the middle of an entry set: the offset of
/// the file entry whose set runs past the end of `bytes` (every entry after it
/// one of its secondary entries). Nothing when the last set ends within them,
/// or an end-of-folder entry comes first.
[[nodiscard]] std::optional<std::size_t> cutSetStart(disk::ByteSpan bytes);

/// How many entries at the start of `bytes` (a cluster) are secondary entries
/// (stream extensions and name entries): the rest of a set the cluster before
/// it began, when it is a folder's later cluster.
[[nodiscard]] std::size_t leadingSecondaries(disk::ByteSpan bytes);

} // namespace sarvik::exfat
