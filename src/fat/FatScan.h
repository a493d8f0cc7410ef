// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The directory scan of FAT16 and FAT32 volumes: the root directory, then every
// folder found, breadth first by discovery. Every folder met goes into the
// catalogue; of the files only the deleted ones do.

#include "catalogue/Catalogue.h"
#include "disk/Volume.h"

#include <cstdint>
#include <span>
#include <string>

namespace sarvik::fat {

struct FreeClusterNotes;

/// Options of a FAT scan; all off for the default rules.
struct FatScanOptions {
    /// Read whole folders and keep names outside ASCII (see FatThoroughScan.h).
    bool thorough = false;
    /// With the thorough scan, the deep search: the free clusters are read for
    /// later clusters of deleted folders and for folders whose parent is gone.
    bool deep = false;
    /// When given, the deep search's notes of the free clusters go here, for
    /// the caller's later passes over them.
    FreeClusterNotes* freeClusters = nullptr;
    /// With the thorough scan: files in use are listed too (as not deleted).
    bool live = false;
};

/// Reads the volume's folders into the FAT half of the catalogue. Polls the stop
/// flag before each folder and each sector; clears it at its end. The caller
/// builds the folder tree afterwards.
void ScanFat(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue, catalogue::ScanObserver& observer,
             catalogue::ScanControl& control, const FatScanOptions& options = {});

/// Collects the long name written in the entries before short entry `k` of one
/// directory sector. True when at least one character was taken (or the name
/// ended at a terminating zero).
bool AssembleLongName(std::span<const std::byte> sector, unsigned k, std::string& out);

/// 0 when the name holds a control byte, one of " \ / ? * < > |, or a byte of 128
/// and above; otherwise 1.
int IsValidName(const std::string& name);

/// What ParseDirectorySector needs besides the sector itself.
struct DirectoryContext {
    std::uint32_t parentCluster = 0;
    bool parentDeleted = false;
    unsigned firstEntry = 0;
    bool fat32 = false;
    std::uint32_t progressDivisor = 1; ///< PartitionSectors / SectorsPerCluster, at least 1
    /// Gives each entry its address from the sector number; none: addresses stay 0.
    const disk::VolumeGeometry* geometry = nullptr;
};

/// Parses entries firstEntry..15 of one directory sector into the catalogue.
/// Sets `endOfDirectory` at an entry whose first byte is 0.
void ParseDirectorySector(std::span<const std::byte> sector, const DirectoryContext& context, bool& endOfDirectory,
                          std::uint64_t sectorNumber, catalogue::Catalogue& catalogue,
                          catalogue::ScanObserver& observer);

} // namespace sarvik::fat
