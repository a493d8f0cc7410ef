// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading an exFAT volume's structures: its FAT (32-bit entries), its allocation
// bitmap (one bit per cluster of the heap, found through the root folder's
// bitmap entry) and the clusters of folders and files.
//
// A deleted file's stream extension still says where its data began and how
// long it was. A file written in one piece is marked as having no FAT chain:
// its clusters are consecutive and come back exactly. Any other file's chain
// is read as a deleted FAT file's is: its first cluster, then the next
// clusters the allocation bitmap marks free (an allocator gives out the next
// free cluster, so clusters in use now were mostly in use then too).

#include "catalogue/Catalogue.h"
#include "disk/Volume.h"
#include "exfat/ExfatDirectory.h"

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace sarvik::exfat {

/// Consecutive clusters [start, start + length).
struct ClusterSpan {
    std::uint64_t start = 0;
    std::uint64_t length = 0;
};

/// Folders hold at most 256 MiB of entries.
inline constexpr std::uint64_t kMaxDirectoryBytes = std::uint64_t{256} << 20;

class ExfatVolume {
public:
    explicit ExfatVolume(const disk::SelectedVolume& volume);

    /// One past the highest cluster of the heap.
    [[nodiscard]] std::uint64_t endCluster() const noexcept { return m_endCluster; }
    [[nodiscard]] std::uint64_t clusterBytes() const noexcept { return m_clusterBytes; }
    [[nodiscard]] bool isCluster(std::uint64_t cluster) const noexcept
    {
        return cluster >= 2 && cluster < m_endCluster;
    }

    /// The FAT entry of `cluster`; nothing when it is no cluster or its FAT sector cannot be read.
    [[nodiscard]] std::optional<std::uint32_t> fatEntry(std::uint32_t cluster) const;
    /// The chain from `first` through the FAT, cut at an end or free mark, at a
    /// value that is no cluster, at a cluster met before, or after `limit` clusters.
    [[nodiscard]] std::vector<std::uint32_t> chain(std::uint32_t first, std::size_t limit) const;

    /// Whether the allocation bitmap marks `cluster` in use (true for a number
    /// outside the heap: no data of a deleted file can be there); nothing when
    /// the bitmap cannot be found or read.
    [[nodiscard]] std::optional<bool> clusterUsed(std::uint64_t cluster) const;

    /// The clusters that hold the first `bytes` bytes of data starting at
    /// `firstCluster`: consecutive when `noFatChain`; a live chain through the
    /// FAT; for a deleted chained file the first cluster and the next free ones.
    /// Cut at the end of the heap.
    [[nodiscard]] std::vector<ClusterSpan> dataClusters(std::uint32_t firstCluster, std::uint64_t bytes,
                                                        bool noFatChain, bool deleted) const;

    /// Reads `spans` (at most `maxBytes`) end to end. `ok` gets one flag per
    /// 512-byte piece; a piece that cannot be read is zeros there.
    void readClusters(const std::vector<ClusterSpan>& spans, std::uint64_t maxBytes, std::vector<std::byte>& bytes,
                      std::vector<bool>& ok) const;

    /// The root folder's entries, read through its chain.
    [[nodiscard]] DirectoryContents readRoot() const;

    /// FAT and bitmap sectors that could not be read so far, each counted once.
    [[nodiscard]] std::size_t unreadableSectors() const noexcept { return m_unreadable.size(); }

private:
    void loadBitmap() const;

    const disk::SelectedVolume& m_volume;
    std::uint64_t m_clusterBytes = 0;
    std::uint64_t m_endCluster = 0;
    mutable std::unordered_map<std::uint64_t, std::vector<std::byte>> m_fatSectors;
    mutable std::unordered_set<std::uint64_t> m_unreadable;
    mutable bool m_bitmapTried = false;
    mutable std::optional<std::vector<std::byte>> m_bitmap;
};

/// The volume label from the root folder's label entry, as Windows-1252 text
/// like every volume label the program holds (a character that code page
/// lacks becomes '_'); nothing without one.
[[nodiscard]] std::optional<std::string> readVolumeLabel(const disk::SelectedVolume& volume);

} // namespace sarvik::exfat
