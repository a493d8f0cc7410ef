#pragma once
// Carving after a FAT or exFAT scan: the clusters that no found file claims (neither the
// allocation table nor a found deleted file's clusters as the copy reads them)
// are searched by content, and what is found is listed in the catalogue under
// "$Carved files/TYPE/f<cluster>.<ext>" like any deleted file.

#include "carve/Carver.h"
#include "catalogue/Catalogue.h"
#include "disk/Volume.h"

#include <vector>

namespace sarvik::carve {

/// The folder keys of the carved files: above every cluster number a FAT can hold.
inline constexpr std::uint32_t kCarvedFolderKey = 0xFFFFFF00;
inline constexpr const char* kCarvedFolderName = "$Carved files";
/// The key of the folder of one type, below "$Carved files".
[[nodiscard]] constexpr std::uint32_t carvedTypeKey(FileType type) noexcept
{
    return kCarvedFolderKey + 1 + static_cast<std::uint32_t>(type);
}

/// The unclaimed clusters of a scanned FAT volume, as byte stretches of its source.
/// A cluster whose table entry cannot be read counts as claimed.
[[nodiscard]] std::vector<Extent> UnclaimedFatExtents(const disk::SelectedVolume& volume,
                                                      const catalogue::Catalogue& catalogue);

/// Carves the unclaimed clusters of a scanned FAT volume and adds what it finds
/// to `catalogue`. Returns what the carving found (offsets in the source).
CarveResult CarveFatVolume(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue,
                           catalogue::ScanObserver& observer, const catalogue::ScanControl& control,
                           CarveOptions options = {});

/// The same on an exFAT volume: the clusters its allocation bitmap marks free
/// that no found deleted file's copy reads. Empty when the bitmap cannot be read.
[[nodiscard]] std::vector<Extent> UnclaimedExfatExtents(const disk::SelectedVolume& volume,
                                                        const catalogue::Catalogue& catalogue);

/// Carves them and lists what it finds as CarveFatVolume does; each carved
/// file is read back from consecutive clusters (no FAT chain).
CarveResult CarveExfatVolume(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue,
                             catalogue::ScanObserver& observer, const catalogue::ScanControl& control,
                             CarveOptions options = {});

} // namespace sarvik::carve
