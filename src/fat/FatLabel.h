// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The label of a FAT volume as the volume itself holds it, for sources whose
// system cannot say (a partition inside a disk image container).

#include "disk/Volume.h"

#include <optional>
#include <string>

namespace sarvik::fat {

/// The label of the root folder's volume-label entry (in its first cluster,
/// or the first sectors of a FAT12/16 root), else the boot sector's when it is
/// not "NO NAME"; trailing blanks cut, the bytes as stored. Nothing when the
/// volume has none or it cannot be read.
[[nodiscard]] std::optional<std::string> readVolumeLabel(const disk::SelectedVolume& volume);

} // namespace sarvik::fat
