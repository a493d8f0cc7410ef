// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Folders whose parent is gone, whether their entries are live or deleted. A
// quick format writes a new empty root and allocation table and leaves every
// other folder's clusters as they were: each one still starts with a "." entry
// naming its own cluster and a ".." entry, and its entries are live, but
// nothing reaches it. Found after the thorough scan and listed the way its lost
// folders are ("$Lost folder N", N the first cluster), with every entry read as
// a deleted one (the allocation table no longer holds their chains).

#include "catalogue/Catalogue.h"
#include "catalogue/ScanObserver.h"
#include "disk/Volume.h"
#include "fat/FatThoroughScan.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace sarvik::fat {

/// The last cluster both the table allows (`maxCluster`) and the source holds
/// whole: a damaged boot sector may claim far more clusters than the image has.
[[nodiscard]] std::uint32_t lastClusterHeld(const disk::SelectedVolume& volume, std::uint32_t maxCluster);

/// The cluster named by the ".." entry when `cluster` (at least 64 bytes) starts
/// with a "." folder entry naming `self` and a ".." folder entry; else nothing.
[[nodiscard]] std::optional<std::uint32_t> orphanedFolderParent(std::span<const std::byte> cluster, std::uint32_t self,
                                                                bool fat32);

/// What the search for orphaned folders needs of the free clusters, noted by
/// the thorough scan's own pass over them so that they are read once.
struct FreeClusterNotes {
    /// Every free cluster up to lastClusterHeld was read or found unreadable.
    bool complete = false;
    /// Free clusters (ascending) that start with "." naming themselves and
    /// "..", with the cluster ".." names (orphanedFolderParent).
    std::vector<std::pair<std::uint32_t, std::uint32_t>> starts;
    /// The other free clusters that read as directory entries whose first
    /// entry with data is a file: that file's first cluster, then the cluster.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> entriesByData;
    /// Free clusters that could not be read (ascending).
    std::vector<std::uint32_t> unreadable;
    /// Files in use whose first cluster the table marks free (their chain was
    /// cleared): first cluster and size. Their data is still theirs.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> liveWithoutChain;
    /// The allocation table as the scan read it: later passes share its blocks.
    std::optional<FatTable> table;
    /// When set, also shown each free cluster read, so that a later pass over
    /// the free clusters (carving) takes what it needs from the same read.
    std::function<void(std::uint32_t cluster, std::span<const std::byte> bytes)> onFreeCluster;

    /// Notes free cluster `c` as its bytes read (nothing when unreadable).
    void note(std::uint32_t c, std::optional<std::span<const std::byte>> bytes, bool fat32);
};

/// Searches the free clusters of a thoroughly scanned FAT volume for folders
/// that no listed folder starts at, lists them with their entries and reads
/// their subfolders in turn. A folder whose ".." names a listed folder (or the
/// root) goes there, else below "$Unlinked entries". With complete `notes` the
/// free clusters are not read again; the table they hold is read no more.
void FindOrphanedFolders(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue,
                         catalogue::ScanObserver& observer, const catalogue::ScanControl& control,
                         const FreeClusterNotes* notes = nullptr);

} // namespace sarvik::fat
