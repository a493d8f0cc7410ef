// SPDX-License-Identifier: GPL-3.0-or-later
#include "snapshot/SnapshotMftRuns.h"

namespace sarvik::snapshot {

void RebuildMftRunList(ntfs::MftRunList& runs, const disk::SelectedVolume& volume)
{
    runs.clear();
    if (volume.geometry.GeometryKind != disk::VolumeKind::Ntfs || !volume.reader.isOpen())
        return;
    ntfs::BuildMftRunList(runs, volume);
}

} // namespace sarvik::snapshot
