// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The MFT run list after an NTFS snapshot load: the snapshot holds no runs, and
// recovering NTFS files needs them, so they are read again from the volume.

#include "disk/Volume.h"
#include "ntfs/MftRunList.h"

namespace sarvik::snapshot {

/// Rebuilds `runs` from the volume that `volume`'s reader now reads, with the
/// loaded geometry. Empties `runs` and reads nothing for other kinds or when no
/// device is open.
void RebuildMftRunList(ntfs::MftRunList& runs, const disk::SelectedVolume& volume);

} // namespace sarvik::snapshot
