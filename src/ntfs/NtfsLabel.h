// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The label of an NTFS volume as the volume itself holds it, for sources whose
// system cannot say (a partition inside a disk image container).

#include "disk/Volume.h"

#include <optional>
#include <string>

namespace sarvik::ntfs {

/// The volume name attribute of $Volume (MFT record 3) as UTF-8; nothing when
/// the record or the attribute cannot be read or the name is empty.
[[nodiscard]] std::optional<std::string> readVolumeLabel(const disk::SelectedVolume& volume);

} // namespace sarvik::ntfs
