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

#include <cstdint>
#include <optional>
#include <span>

namespace sarvik::fat {

/// The last cluster both the table allows (`maxCluster`) and the source holds
/// whole: a damaged boot sector may claim far more clusters than the image has.
[[nodiscard]] std::uint32_t lastClusterHeld(const disk::SelectedVolume& volume, std::uint32_t maxCluster);

/// The cluster named by the ".." entry when `cluster` (at least 64 bytes) starts
/// with a "." folder entry naming `self` and a ".." folder entry; else nothing.
[[nodiscard]] std::optional<std::uint32_t> orphanedFolderParent(std::span<const std::byte> cluster, std::uint32_t self,
                                                                bool fat32);

/// Searches the free clusters of a thoroughly scanned FAT volume for folders
/// that no listed folder starts at, lists them with their entries and reads
/// their subfolders in turn. A folder whose ".." names a listed folder (or the
/// root) goes there, else below "$Unlinked entries".
void FindOrphanedFolders(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue,
                         catalogue::ScanObserver& observer, const catalogue::ScanControl& control);

} // namespace sarvik::fat
