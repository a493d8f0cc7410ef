// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A FAT12, FAT16 or FAT32 volume whose boot sector is gone (FAT12 and FAT16
// keep no backup; FAT32's sector 6 may be gone too) still holds what the boot sector
// described: its two FATs, each starting with the media byte and ones, one
// right after the other, and folders whose "." entry names their own cluster.
// From those the geometry is worked out again:
//   - the reserved sectors: where the first FAT starts;
//   - the FAT's size: how far on the second copy starts;
//   - FAT32 or not: the width of the FAT's first entries; FAT12 or FAT16: the
//     count of clusters the layout gives (fewer than 4,085 is FAT12);
//   - the cluster size (and on FAT12 and FAT16 the root folder's size): the one that puts
//     every folder's "." entry at its own cluster; without folders, what the
//     FAT's size says of the number of clusters.

#include "disk/BlockSource.h"
#include "disk/SectorReader.h"

#include <array>
#include <cstddef>
#include <optional>

namespace sarvik::disk {

/// A boot sector holding the geometry worked out from `source`'s FATs and
/// folders, or nothing when no FAT pair is found near its start.
[[nodiscard]] std::optional<std::array<std::byte, kSectorSize>> RebuildFatBootSector(const BlockSource& source);

} // namespace sarvik::disk
