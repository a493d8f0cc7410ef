// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a deleted FAT file's data is looked for once its chain is gone.
//
// Deleting a file clears its chain, so its clusters are a guess from its first
// cluster on. The plain guess takes the clusters that follow it. The guess that
// passes over clusters in use takes the next free ones instead: a cluster that
// a live file holds was, as a rule, already held when the deleted file was
// written around it, since FAT allocators give out the next free cluster.
// Where the deleted file's clusters were all free to begin with, both guesses
// are the same clusters.

#include <cstdint>
#include <vector>

namespace sarvik::fat {

class FatTable;

/// The clusters FreeClustersFrom takes, and whether an entry on the way could
/// not be read (it is passed over as in use, so the clusters may be wrong).
struct FreeClusters {
    std::vector<std::uint32_t> clusters;
    bool metUnreadable = false;
};

/// FreeClustersFrom, saying whether it met an entry it could not read.
[[nodiscard]] FreeClusters FreeClustersRead(const FatTable& table, std::uint32_t firstCluster, std::uint32_t count);

/// `firstCluster`, then the next clusters that `table` marks free, `count` in
/// all; empty when the volume ends (or `firstCluster` is not a data cluster)
/// before `count` are found.
[[nodiscard]] std::vector<std::uint32_t> FreeClustersFrom(const FatTable& table, std::uint32_t firstCluster,
                                                          std::uint32_t count);

} // namespace sarvik::fat
