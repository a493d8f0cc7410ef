#pragma once
// The exFAT scan: the root folder through its FAT chain, then every folder met,
// breadth first by discovery, deleted folders too (from their own stream
// extension: consecutive clusters, or their first cluster and the next free
// ones). Every folder goes into the FAT half of the catalogue keyed by its
// first cluster (the root's entries under key 0); of the files, those deleted
// or in a deleted folder. Names are kept as UTF-8.

#include "catalogue/Catalogue.h"
#include "disk/Volume.h"

namespace sarvik::exfat {

/// Reads the volume's folders into the catalogue. Polls the stop flag before
/// each folder; clears it at its end. The caller builds the folder tree.
void ScanExfat(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue, catalogue::ScanObserver& observer,
               catalogue::ScanControl& control);

} // namespace sarvik::exfat
