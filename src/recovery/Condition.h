// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How much of a deleted file is now claimed by something else: the clusters the
// copy would read, and how many of them the volume's allocation now marks used.
// FAT: a cluster is claimed when its entry in the first allocation table is no
// longer 0. exFAT: when its bit in the allocation bitmap is set. NTFS: when its
// bit in $Bitmap is set; resident data lives in the MFT record itself and counts
// as intact.
//
// The allocation alone misses one case: a later file that took the clusters and
// was itself deleted leaves them free again, yet the data is gone. With
// useOverlaps, a cluster that a newer deleted file's copy would also read
// counts as claimed too (NTFS: a later modification time, or the same time and a
// later record; FAT, which keeps only dates: a later or the same date, since the
// order within a day is unknown; exFAT: a later or the same modification time).

#include "catalogue/Catalogue.h"
#include "catalogue/FileList.h"
#include "disk/Volume.h"
#include "disk/VolumeExtent.h"
#include "ntfs/NtfsData.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace sarvik::fat {
class FatTable;
}
namespace sarvik::ntfs {
class MftRunList;
}
namespace sarvik::exfat {
class ExfatVolume;
}

namespace sarvik::recovery {

enum class FileCondition {
    Unknown,           ///< the file's metadata or the allocation could not be read, or its data cannot be decoded
    Good,              ///< none of its clusters are in use
    PartlyOverwritten, ///< some are
    Overwritten,       ///< all are
    /// Some of its clusters lie inside the file system but past the end of the
    /// image (a copy cut short): they cannot be read, whatever the allocation says.
    BeyondImageEnd,
};

/// The condition of a carved file whose format breaks off before its end.
inline constexpr const char* kIncompleteCarvedText = "Incomplete";

/// "Good", "Partly overwritten", "Overwritten", "Beyond the end of the image";
/// empty for Unknown.
[[nodiscard]] const char* conditionText(FileCondition condition) noexcept;

struct ConditionEstimate {
    FileCondition condition = FileCondition::Unknown;
    /// Clusters the file's data takes (at most the volume's cluster count);
    /// those outside the volume count as in use: the copy cannot read them.
    std::uint64_t clusters = 0;
    /// Of those, marked in use now or lost (see clustersMissing).
    std::uint64_t clustersInUse = 0;
    /// Of clustersInUse, those the copy cannot read at all: outside the volume
    /// or the image, or past the end of the runs.
    std::uint64_t clustersMissing = 0;
    /// Of clustersMissing, those inside the file system past the image's end.
    std::uint64_t clustersPastImage = 0;
    /// clustersInUse / clusters; 0 for a file without clusters.
    [[nodiscard]] double share() const noexcept;
};

/// What a stretch of a file's clusters holds now, as the estimate sees it.
enum class ClusterState : std::uint8_t {
    Intact,     ///< free (or the live file's own): still holds the file's data
    Claimed,    ///< marked in use now, or read by a newer deleted file too
    Unreadable, ///< outside the volume or the image, or past the end of the runs
    NoData,     ///< sparse, or a region the source does not hold: reads as zeros
};

/// `count` clusters from `first` on, all in one state. For an Unreadable part
/// that no run places (the runs end early), `first` is 0.
struct ClusterPart {
    std::uint64_t first = 0;
    std::uint64_t count = 0;
    ClusterState state = ClusterState::Intact;
    bool operator==(const ClusterPart&) const = default;
};

/// Estimates per file of one volume. Keeps one sector of the allocation table
/// or bitmap between questions: a file's clusters mostly lie together.
class ConditionEstimator {
public:
    /// `thorough`: the clusters are those the thorough copy reads: a deleted FAT
    /// file without a chain from its first cluster and the next free ones, an
    /// NTFS data attribute split by an attribute list from all its extents.
    explicit ConditionEstimator(const disk::SelectedVolume& volume, bool thorough = false);
    ~ConditionEstimator();
    ConditionEstimator(const ConditionEstimator&) = delete;
    ConditionEstimator& operator=(const ConditionEstimator&) = delete;

    /// A FAT file of `size` bytes starting at `firstCluster`: its chain in the
    /// first table (then the second) when that has the length the size needs,
    /// otherwise the consecutive clusters from the first one, as the copy reads.
    [[nodiscard]] ConditionEstimate fatFile(std::uint32_t firstCluster, std::uint64_t size);
    /// The same, for a catalogued file: overlaps with newer deleted files count too.
    [[nodiscard]] ConditionEstimate fatFile(const catalogue::FatFileEntry& entry);
    [[nodiscard]] ConditionEstimate ntfsFile(const catalogue::NtfsFileEntry& entry);
    /// An NTFS file whose MFT record lies at `recordSector`; only the clusters
    /// that hold its first `size` bytes count.
    [[nodiscard]] ConditionEstimate ntfsFile(std::uint64_t recordSector, std::uint64_t size);

    /// The clusters the estimate of a catalogued file looks at, in the order
    /// the copy reads them, joined into parts of one state; nothing when the
    /// estimate is Unknown. The Claimed parts add up to the estimate's
    /// clustersInUse - clustersMissing.
    [[nodiscard]] std::optional<std::vector<ClusterPart>> fatParts(const catalogue::FatFileEntry& entry);
    [[nodiscard]] std::optional<std::vector<ClusterPart>> ntfsParts(const catalogue::NtfsFileEntry& entry);

    /// The same for file `id` of `catalogue`, whatever its file system; an
    /// empty estimate (and no parts) when `id` names no file.
    [[nodiscard]] ConditionEstimate file(const catalogue::Catalogue& catalogue, catalogue::EntryId id);
    [[nodiscard]] std::optional<std::vector<ClusterPart>> fileParts(const catalogue::Catalogue& catalogue,
                                                                    catalogue::EntryId id);

    /// Also counts clusters claimed by newer deleted files of `catalogue` (read
    /// once here: every deleted file's clusters). Without it only the allocation counts.
    void useOverlaps(const catalogue::Catalogue& catalogue);

    /// Sets `condition` and the cluster counts of every deleted file row.
    void fillRows(std::vector<catalogue::FileRow>& rows, const catalogue::Catalogue& catalogue);

private:
    struct Span {
        std::uint64_t start = 0; ///< first cluster
        std::uint64_t end = 0;   ///< one past the last
        std::uint64_t owner = 0; ///< ordinal (FAT) or record sector (NTFS)
        std::uint64_t time = 0;  ///< write date (FAT) or modification FILETIME (NTFS)
        bool missing = false;    ///< clusters the copy cannot read: the runs end, or no trusted extent holds them
        bool sparse = false;     ///< a sparse run: no clusters on disk, nothing to lose
    };
    /// Whose clusters are being looked at, for the overlaps.
    struct Owner {
        bool fat = false;
        std::uint64_t owner = 0;
        std::uint64_t time = 0;
        bool live = false;
    };
    std::optional<std::vector<ClusterPart>> parts(const std::optional<std::vector<Span>>& spans, const Owner& who);
    /// Appends the states of clusters [lo, hi) (inside the readable volume) to
    /// `out`, halving the range until each half is of one state.
    bool classify(std::uint64_t lo, std::uint64_t hi, const Owner& who, std::vector<ClusterPart>& out);
    /// The entry's data attribute as ntfsFile reads it.
    std::optional<std::vector<Span>> ntfsCatalogued(const catalogue::NtfsFileEntry& entry);
    /// The clusters the copy would read, as spans; nothing when unknown.
    std::optional<std::vector<Span>> fatSpans(std::uint32_t firstCluster, std::uint64_t size);
    /// exFAT: the clusters its copy reads (up to the valid length), from its stream extension.
    std::optional<std::vector<Span>> exfatSpans(const catalogue::FatFileEntry& entry);
    /// A catalogued FAT or exFAT file's spans.
    std::optional<std::vector<Span>> fatEntrySpans(const catalogue::FatFileEntry& entry);
    /// `recordNumber`: the record's number as the catalogue has it (0 when not known).
    std::optional<std::vector<Span>> ntfsSpans(std::uint64_t recordSector, std::uint64_t size,
                                               std::uint64_t recordNumber = 0, std::string_view stream = {});
    /// A catalogued NTFS file's spans: a carved one's are its consecutive
    /// clusters; else from what the scan kept of its record when it kept
    /// something, else as ntfsSpans reads them.
    std::optional<std::vector<Span>> ntfsEntrySpans(const catalogue::NtfsFileEntry& entry,
                                                    const catalogue::Catalogue* catalogue);
    /// The spans of the first `size` bytes of data held in `runs`.
    std::optional<std::vector<Span>> runSpans(const ntfs::NtfsRunList& runs, std::uint64_t size) const;
    ConditionEstimate count(const std::optional<std::vector<Span>>& spans, bool fat, std::uint64_t owner,
                            std::uint64_t time, bool live = false);
    /// Clusters of [from, to) (within the volume) that the allocation marks used; nothing when unreadable.
    std::optional<std::uint64_t> countUsed(std::uint64_t from, std::uint64_t to, bool fat);
    /// Clusters of [from, to) that the source knows to read as zeros without
    /// holding them (a hole of a sparse image, a region a container does not store).
    [[nodiscard]] std::uint64_t clustersNotHeld(std::uint64_t from, std::uint64_t to) const;
    /// Clusters of [from, to) that the allocation marks free but a newer deleted file would also read.
    std::optional<std::uint64_t> claimedFreeByNewer(std::uint64_t from, std::uint64_t to, bool fat, std::uint64_t owner,
                                                    std::uint64_t time);
    /// True when the cluster is claimed (or does not exist); nothing when unreadable.
    std::optional<bool> fatEntryUsed(std::uint32_t cluster);
    /// Set bits of $Bitmap for clusters [from, to), a bitmap sector at a time.
    std::optional<std::uint64_t> countBitmapSet(std::uint64_t from, std::uint64_t to);
    bool loadBitmapRuns();
    bool readCached(std::uint64_t sector);
    static ConditionEstimate finish(std::uint64_t clusters, std::uint64_t inUse);

    /// A copy of the volume whose reader keeps the blocks it read: the estimate
    /// looks up table entries and records one at a time, many of them twice.
    disk::SelectedVolume m_volume;
    std::optional<disk::VolumeExtent> m_extent; ///< read on first use
    const disk::VolumeExtent& extent();
    bool m_thorough = false;
    std::unique_ptr<fat::FatTable> m_fatTable;   ///< made on first use when m_thorough
    std::unique_ptr<ntfs::MftRunList> m_mftRuns; ///< made on first use when m_thorough
    std::unique_ptr<exfat::ExfatVolume> m_exfat; ///< exFAT's FAT and bitmap; made on first use
    std::vector<std::byte> m_sector;
    std::uint64_t m_cachedSector = ~std::uint64_t{0};
    bool m_bitmapTried = false;
    std::optional<ntfs::NtfsRunList> m_bitmapRuns;
    /// The catalogue useOverlaps read, whose kept runs its entries point into.
    const catalogue::Catalogue* m_catalogue = nullptr;
    std::vector<Span> m_overlaps;        ///< every deleted file's spans, by start
    std::vector<std::uint64_t> m_maxEnd; ///< greatest end among m_overlaps[0..i]
};

} // namespace sarvik::recovery
