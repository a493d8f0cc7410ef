// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The thorough directory scan of FAT16 and FAT32 volumes. Beside the default
// scan's rules it reads live folders (and the FAT32 root) through their whole
// cluster chain, follows a deleted folder into the free clusters after its
// first one while they still hold directory entries, finds its later clusters
// elsewhere among the free ones (FatOrphanClusters.h), and keeps names as
// UTF-8: long names from their UTF-16 units, short names from code page 850.

#include "catalogue/Catalogue.h"
#include "disk/Volume.h"
#include "fat/DirectoryEntry.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace sarvik::fat {

/// Entries of FAT copy 1, read a block of sectors at a time and cached. Copies
/// share the cached blocks, so that the passes of one scan read the table once.
class FatTable {
public:
    FatTable(const disk::SectorReader& reader, const disk::VolumeGeometry& geometry, std::uint64_t partitionSectors);

    /// The highest cluster number the volume holds (data area and table both).
    [[nodiscard]] std::uint32_t maxCluster() const noexcept { return m_maxCluster; }
    /// The entry of `cluster` (FAT12: its 12 bits; FAT32: its low 28); nothing when out of range or unreadable.
    [[nodiscard]] std::optional<std::uint32_t> entry(std::uint32_t cluster) const;
    /// True when an entry value ends a chain: free, reserved, bad or end of chain.
    [[nodiscard]] bool endsChain(std::uint32_t value) const noexcept;
    /// The chain from `first`, cut at an end value, at a cluster outside the
    /// volume, at a cluster met before (a loop), or after `limit` clusters.
    [[nodiscard]] std::vector<std::uint32_t> chain(std::uint32_t first, std::size_t limit) const;
    /// Table sectors that could not be read so far, each counted once.
    [[nodiscard]] std::size_t unreadableSectors() const noexcept { return m_unreadable.size(); }

private:
    struct Blocks {
        std::unordered_map<std::uint64_t, std::vector<std::byte>> byIndex;
        /// The block looked up last (null when none): entries are mostly asked for in runs.
        const std::vector<std::byte>* last = nullptr;
        std::uint64_t lastIndex = 0;
    };

    /// Block `index` of the table, read whole and cached; null when it cannot be read whole.
    const std::vector<std::byte>* block(std::uint64_t index) const;
    /// The table's bytes from `offset` on; false when a sector of them cannot be read.
    bool tableBytes(std::uint64_t offset, std::span<std::byte> out) const;

    const disk::SectorReader& m_reader;
    const disk::VolumeGeometry& m_geometry;
    unsigned m_bits = 0; ///< 12, 16 or 32
    std::uint32_t m_maxCluster = 0;
    std::shared_ptr<Blocks> m_blocks; ///< shared by copies
    mutable std::unordered_set<std::uint64_t> m_unreadable;
};

/// Where the pieces of a folder's bytes lie on the volume, so that each entry
/// parsed from them knows its address: runs of bytes, each from its offset in
/// the bytes on, added in the order of their offsets.
class EntryAddresses {
public:
    void clear() noexcept { m_runs.clear(); }
    /// The bytes from `offset` on start with the entry at `address` (0: not known).
    void add(std::size_t offset, std::uint64_t address) { m_runs.emplace_back(offset, address); }
    /// The address of the entry at `offset`; 0 when not known.
    [[nodiscard]] std::uint64_t at(std::size_t offset) const noexcept;

private:
    std::vector<std::pair<std::size_t, std::uint64_t>> m_runs;
};

/// What the thorough parse of one folder's bytes needs.
struct ThoroughContext {
    std::uint32_t parentCluster = 0;
    bool parentDeleted = false;
    bool fat32 = false;
    /// Files in use are listed too, as not deleted (read through their chains).
    bool live = false;
    const FatTable* table = nullptr; ///< for cluster bounds and the FAT32 high-word check
    std::uint32_t clusterBytes = 0;  ///< for the room a file needs; 0 leaves high words as they are
    /// Where the bytes lie on the volume; none: the entries' addresses stay 0.
    const EntryAddresses* addresses = nullptr;
    /// When given, each file in use whose first cluster the table marks free
    /// is noted here (first cluster, size).
    std::vector<std::pair<std::uint32_t, std::uint32_t>>* liveWithoutChain = nullptr;
};

/// Parses the entries of a folder's bytes (its clusters laid end to end) into
/// the catalogue. `sectorOk[i]` false marks sector i unreadable: its entries
/// are passed over and a long name is not carried across it. Ends at an entry
/// whose first byte is 0.
///
/// FAT32: a deleted file whose high cluster word is 0 and whose low word names
/// a cluster in use may have lost its high word on deletion. The high words of
/// the folder and of the other entries in it are tried; when exactly one gives
/// a free cluster followed by free clusters enough for the size, the file
/// starts there (clusterHighInferred). Otherwise it keeps the cluster in use
/// and is flagged (clusterInUse): its copy would read another file's data.
void ParseDirectoryThorough(std::span<const std::byte> directory, const std::vector<bool>& sectorOk,
                            const ThoroughContext& context, catalogue::Catalogue& catalogue,
                            catalogue::ScanObserver& observer);

/// True when `cluster` reads as directory entries: at least one entry in use or
/// deleted, every entry before the first end-marker entry well formed (long-name
/// entries with their fixed fields, short entries with legal name bytes and
/// attributes), and only end-marker entries after it.
[[nodiscard]] bool looksLikeDirectoryEntries(std::span<const std::byte> cluster);

/// The short name of the entry at `entry` as UTF-8, lower-cased where the
/// entry's case flags say so; a deleted entry's lost first character becomes
/// '_'. The name ends at its first NUL byte.
[[nodiscard]] std::string shortNameUtf8(std::span<const std::byte> entry);

struct FreeClusterNotes;

/// Runs the thorough scan (what ScanFat does when asked for it). With `notes`,
/// the deep search: the free clusters are read for the later clusters of
/// deleted folders and for lost folders, and what the search for orphaned
/// folders needs of them is noted. Without, nothing of free space is read but
/// the clusters that follow a deleted folder's first while they hold entries.
/// With `live`, files in use are listed too.
void ScanFatThorough(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue,
                     catalogue::ScanObserver& observer, catalogue::ScanControl& control,
                     FreeClusterNotes* notes = nullptr, bool live = false);

} // namespace sarvik::fat
