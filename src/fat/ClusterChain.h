// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The list of clusters that belong to the thing being read from a FAT volume:
// one cluster for a directory, or the walk of a file's allocation-table chain.

#include "catalogue/RecoveryControl.h"
#include "disk/Volume.h"

#include <cstdint>
#include <vector>

namespace sarvik::fat {

/// Why a chain walk ended.
enum class ChainEnd {
    EndMarker,   ///< the next value ends a chain (below 2, or the all-ones marker)
    Limit,       ///< more than `limit` clusters were collected
    Interrupted, ///< stop or skip was requested
    ReadFailed,  ///< a FAT sector could not be read
    NoGeometry,  ///< not a FAT volume, or the FAT copy starts at sector 0
    Loop,        ///< (when asked to stop there) the next cluster was met before: the chain loops
};

/// True when a FAT entry value ends a chain. On FAT16 and FAT32 only the
/// all-ones values end one: 0xFFF8..0xFFFE and 0x0FFFFFF8..0x0FFFFFFE are
/// followed as cluster numbers. On FAT12 the bad-cluster mark 0xFF7 and every
/// end mark from 0xFF8 on end it.
[[nodiscard]] bool endsChain(std::uint16_t geometryKind, std::uint32_t value) noexcept;

class ClusterChain {
public:
    [[nodiscard]] const std::vector<std::uint32_t>& clusters() const noexcept { return m_clusters; }
    [[nodiscard]] std::size_t size() const noexcept { return m_clusters.size(); }
    [[nodiscard]] bool empty() const noexcept { return m_clusters.empty(); }

    void AppendCluster(std::uint32_t cluster) { m_clusters.push_back(cluster); }
    void clear() noexcept { m_clusters.clear(); }

    /// The chain becomes exactly `cluster` on a FAT volume, empty otherwise.
    void BuildDirectoryChain(std::uint32_t cluster, std::uint16_t geometryKind);

    /// Walks the first (fatCopy 1) or second (2) allocation table from
    /// `firstCluster`. The first cluster is taken as it is; the walk stops after
    /// appending the cluster that makes the count exceed `limit`, so a chain the
    /// table continues holds limit + 1 clusters. With `stopAtLoop`, a cluster
    /// that comes a second time ends the walk (ChainEnd::Loop) before it is
    /// appended, and loopCluster() names it.
    ChainEnd BuildClusterChain(const disk::SectorReader& reader, const disk::VolumeGeometry& geometry,
                               std::uint32_t firstCluster, std::uint32_t limit, int fatCopy,
                               const catalogue::RecoveryControl* control = nullptr, bool stopAtLoop = false);
    /// The cluster the last walk met twice; 0 when it ended otherwise.
    [[nodiscard]] std::uint32_t loopCluster() const noexcept { return m_loopCluster; }

private:
    std::vector<std::uint32_t> m_clusters;
    std::uint32_t m_loopCluster = 0;
};

} // namespace sarvik::fat
