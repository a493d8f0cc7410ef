// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which clusters a volume has, for every walk over a file's clusters: the copy
// and the condition estimate never go past them, however large a damaged size
// or run length is.
//
// Two ends count. The file system's own end is what its boot sector and (FAT)
// its allocation table say; a cluster past it belongs to no file, so a size
// that reaches it is a damaged size. The image's end is where the bytes stop:
// an image shorter than its boot sector says (a truncated copy) ends before
// the file system does, and data past it cannot be read.

#include "disk/Volume.h"

#include <cstdint>

namespace sarvik::disk {

struct VolumeExtent {
    std::uint64_t firstCluster = 0; ///< the first data cluster: 2 on FAT, 0 on NTFS
    std::uint64_t endCluster = 0;   ///< one past the file system's last cluster
    std::uint64_t readableEnd = 0;  ///< one past the last cluster the image holds whole (at most endCluster)

    /// Clusters the file system has.
    [[nodiscard]] std::uint64_t clusterCount() const noexcept
    {
        return endCluster > firstCluster ? endCluster - firstCluster : 0;
    }
};

/// 512-byte sectors the selected volume's file system spans: what its boot
/// sector claims where that is more than the source holds (an image cut
/// short), else the source's size. Tables and walks are sized by this, so
/// that metadata past a cut is listed as the file system records it.
[[nodiscard]] std::uint64_t fileSystemSpan(const disk::SelectedVolume& volume);

/// The extent of the selected volume: from its geometry, the sector count its
/// boot sector gives and the size of what is read. A boot sector that cannot be
/// read, or gives no count, leaves the image's size as the file system's end.
[[nodiscard]] VolumeExtent volumeExtent(const disk::SelectedVolume& volume);

} // namespace sarvik::disk
