// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The exFAT scan: the root folder through its FAT chain, then every folder met,
// breadth first by discovery, deleted folders too (from their own stream
// extension: consecutive clusters, or their first cluster and the next free
// ones). Every folder goes into the FAT half of the catalogue keyed by its
// first cluster (the root's entries under key 0); of the files, those deleted
// or in a deleted folder. Names are kept as UTF-8.

#include "catalogue/Catalogue.h"
#include "disk/Volume.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace sarvik::exfat {

/// Name of a folder found by its first cluster alone, followed by that cluster.
inline constexpr const char* kLostFolderPrefix = "$Lost folder ";

/// What the deep search's one read of the free clusters saw, so that carving
/// after it need not read them again.
struct FreeClusterReads {
    /// Shown each free cluster read whole, with its bytes.
    std::function<void(std::uint64_t cluster, std::span<const std::byte> bytes)> onFreeCluster;
    /// Free clusters that could not be read, ascending.
    std::vector<std::uint64_t> unreadable;
    /// Every free cluster was read or found unreadable.
    bool complete = false;
};

struct ExfatScanOptions {
    /// The deep search. After the folders reached from the root: the free clusters that hold
    /// a whole entry set and that no listed folder holds are folders whose
    /// parent is gone (a quick format writes a new bitmap and root and leaves
    /// them). Each run of such clusters (one that starts with a set, or follows
    /// none, and those after it that hold sets further in) that no other such
    /// folder names as a subfolder is listed below the root as "$Lost folder N"
    /// (N its first cluster), read as that run, and all its entries, live or
    /// deleted, are listed as deleted (nothing reaches their data any more).
    /// A run whose first cluster completes the entry set that a deleted
    /// folder's last cluster cut (the set's checksum holding over both) is
    /// read as that folder's next piece instead.
    bool orphanedFolders = false;
    /// With orphanedFolders: told of every free cluster the search reads.
    FreeClusterReads* freeClusters = nullptr;
    /// Files in use are listed too (as not deleted), read through their chains.
    bool live = false;
};

/// Reads the volume's folders into the catalogue. Polls the stop flag before
/// each folder; clears it at its end. The caller builds the folder tree.
void ScanExfat(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue, catalogue::ScanObserver& observer,
               catalogue::ScanControl& control, ExfatScanOptions options = {});

} // namespace sarvik::exfat
