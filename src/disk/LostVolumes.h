// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Volumes on a disk that no partition table names any more: a wiped or
// damaged table, or a volume whose own boot sector is gone. A volume is known
// by its boot sector (FAT12, FAT16, FAT32, exFAT, NTFS) and the structure it points
// at (the FAT's first entry, the MFT's first record), or by the backup of its
// boot sector: FAT32's in its sector 6, exFAT's boot region from sector 12 and
// NTFS's in the sector after its last.
//
// The quick search looks where volumes usually start: at sector 63 and at
// 1 MiB, and after the end of each volume it finds (at the next sector, the
// next MiB, the next track of 63 sectors), and at the disk's last sector. The
// deep search reads the whole disk and looks at every sector.

#include "catalogue/ScanObserver.h"
#include "disk/BlockSource.h"
#include "disk/Volume.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sarvik::disk {

struct LostVolume {
    std::uint64_t firstSector = 0; ///< 512-byte sectors from the disk's start
    std::uint64_t sectors = 0;     ///< cut at the disk's end
    std::uint16_t kind = 0;        ///< a VolumeKind code
    /// How it was found: "boot sector", "backup boot sector", ...
    std::string foundBy;
};

enum class LostVolumeSearch { Quick, Deep };

/// The volumes found on `disk`, by their start: what the quick search finds,
/// then (with Deep) what only the reading of every sector finds. The deep
/// search reports its progress and ends at a stop request; the sectors it
/// could not read are counted in `unreadableSectors` when given.
[[nodiscard]] std::vector<LostVolume> FindLostVolumes(const BlockSource& disk, LostVolumeSearch depth,
                                                      catalogue::ScanObserver& observer,
                                                      const catalogue::ScanControl& control,
                                                      std::uint64_t* unreadableSectors = nullptr);

/// Found volume `number` (1-based, in FindLostVolumes' order): the quick
/// search first, and the deep one when `number` lies past what the quick one
/// finds. Nothing when there is no such volume.
[[nodiscard]] std::optional<LostVolume> FindLostVolume(const std::shared_ptr<const BlockSource>& disk,
                                                       std::uint32_t number);

/// The drive item of lost volume `number` (1-based, as DISK@lostN counts) of
/// the disk `wholePath`, found as `volumeKind`: "PREFIX(NAME) lost N: FAT32".
[[nodiscard]] DriveItem lostVolumeDriveItem(DriveKind kind, const std::string& wholePath, const std::string& prefix,
                                            const std::string& name, std::uint32_t number, std::uint16_t volumeKind,
                                            std::uint64_t sectors);

} // namespace sarvik::disk
