// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Carving after an NTFS scan: the clusters $Bitmap marks free that no found
// deleted file's data runs name are searched by content, and what is found is
// listed under "$Carved files/TYPE/f<cluster>.<ext>" in the catalogue's NTFS
// half. A carved file has no MFT record: its recordSector is the sector its
// bytes start at and its recordNumber the cluster, and its copy reads the
// consecutive clusters from there.

#include "carve/Carver.h"
#include "catalogue/Catalogue.h"
#include "disk/Volume.h"
#include "ntfs/MftRunList.h"

#include <vector>

namespace sarvik::carve {

/// The unclaimed clusters of a scanned NTFS volume, as byte stretches of its
/// source. Empty when $Bitmap cannot be read (nothing then tells free clusters
/// from those in use). `mft` finds the extension records of files whose data
/// an attribute list spreads over several records.
[[nodiscard]] std::vector<Extent> UnclaimedNtfsExtents(const disk::SelectedVolume& volume, const ntfs::MftRunList& mft,
                                                       const catalogue::Catalogue& catalogue);

/// Carves them and adds what it finds to `catalogue` (folders keyed as on FAT).
CarveResult CarveNtfsVolume(const disk::SelectedVolume& volume, const ntfs::MftRunList& mft,
                            catalogue::Catalogue& catalogue, catalogue::ScanObserver& observer,
                            const catalogue::ScanControl& control, CarveOptions options = {});

/// Drops the carved files among the catalogue's NTFS files [firstCarved,
/// firstNamed) whose first cluster lies in the data of a deleted file listed
/// from `firstNamed` on (a file a later pass found by its record): the same
/// bytes are not listed twice. Returns how many were dropped.
std::size_t DropCarvedWithin(const disk::SelectedVolume& volume, const ntfs::MftRunList& mft,
                             catalogue::Catalogue& catalogue, std::size_t firstCarved, std::size_t firstNamed);

} // namespace sarvik::carve
