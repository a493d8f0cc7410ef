// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Carving after a FAT or exFAT scan: the clusters that no found file claims (neither the
// allocation table nor a found deleted file's clusters as the copy reads them)
// are searched by content, and what is found is listed in the catalogue under
// "$Carved files/TYPE/f<cluster>.<ext>" like any deleted file.

#include "carve/Carver.h"
#include "catalogue/Catalogue.h"
#include "disk/Volume.h"
#include "exfat/ExfatScan.h"
#include "fat/FatOrphanedFolders.h"

#include <algorithm>
#include <span>
#include <utility>
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

/// The signatures at the starts of a volume's free clusters, taken while the
/// deep search reads them for its own search (through `Reads`: the FAT
/// scan's notes, or the exFAT scan's reads), so that carving afterwards reads
/// only what its candidates hold.
template <typename Reads> class ClusterSignatures {
public:
    /// Looks at each free cluster `reads` is shown, for the signatures of `types`.
    explicit ClusterSignatures(Reads& reads, const std::array<bool, kFileTypeCount>& types = CarveOptions{}.types)
        : m_reads(reads), m_types(types)
    {
        m_reads.onFreeCluster = [this](std::uint64_t cluster, std::span<const std::byte> bytes) {
            if (const auto type = typeAt(bytes.first(std::min(kSignatureBytes, bytes.size())), m_types))
                m_starts.emplace_back(cluster, *type);
        };
    }
    ~ClusterSignatures() { m_reads.onFreeCluster = nullptr; }
    ClusterSignatures(const ClusterSignatures&) = delete;
    ClusterSignatures& operator=(const ClusterSignatures&) = delete;

    [[nodiscard]] const Reads& reads() const noexcept { return m_reads; }
    /// True when the pass saw every free cluster and looked for `types`.
    [[nodiscard]] bool covers(const std::array<bool, kFileTypeCount>& types) const noexcept
    {
        return m_reads.complete && types == m_types;
    }
    /// The free clusters seen that start with a signature, ascending.
    [[nodiscard]] const std::vector<std::pair<std::uint64_t, FileType>>& starts() const noexcept { return m_starts; }

private:
    Reads& m_reads;
    std::array<bool, kFileTypeCount> m_types;
    std::vector<std::pair<std::uint64_t, FileType>> m_starts;
};

using FreeClusterSignatures = ClusterSignatures<fat::FreeClusterNotes>;
using ExfatFreeClusterSignatures = ClusterSignatures<exfat::FreeClusterReads>;

/// The unclaimed clusters of a scanned FAT volume, as byte stretches of its source.
/// A cluster whose table entry cannot be read counts as claimed. `table`, when
/// given, is the scan's (its blocks already read). The clusters of files in
/// use whose chain was cleared are claimed too: those of `notes` (files the
/// catalogue may not list) and of live files in the catalogue, each read as
/// its copy reads it, from its first cluster on.
[[nodiscard]] std::vector<Extent> UnclaimedFatExtents(const disk::SelectedVolume& volume,
                                                      const catalogue::Catalogue& catalogue,
                                                      const fat::FatTable* table = nullptr,
                                                      const fat::FreeClusterNotes* notes = nullptr);

/// Carves the unclaimed clusters of a scanned FAT volume and adds what it finds
/// to `catalogue`. Returns what the carving found (offsets in the source). With
/// `seen` covering the types looked for, the free clusters are not read again.
CarveResult CarveFatVolume(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue,
                           catalogue::ScanObserver& observer, const catalogue::ScanControl& control,
                           CarveOptions options = {}, const FreeClusterSignatures* seen = nullptr);

/// The same on an exFAT volume: the clusters its allocation bitmap marks free
/// that no found deleted file's copy reads. Empty when the bitmap cannot be read.
[[nodiscard]] std::vector<Extent> UnclaimedExfatExtents(const disk::SelectedVolume& volume,
                                                        const catalogue::Catalogue& catalogue);

/// Carves them and lists what it finds as CarveFatVolume does; each carved
/// file is read back from consecutive clusters (no FAT chain). With `seen`
/// covering the types looked for, the free clusters are not read again.
CarveResult CarveExfatVolume(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue,
                             catalogue::ScanObserver& observer, const catalogue::ScanControl& control,
                             CarveOptions options = {}, const ExfatFreeClusterSignatures* seen = nullptr);

} // namespace sarvik::carve
