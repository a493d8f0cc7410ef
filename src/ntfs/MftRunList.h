// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the records of the master file table lie: the runs of the MFT's data
// attribute, in sectors, in the order of the run list (the runs laid end to end
// are the MFT itself). Built from record 0 and, when record 0 carries an
// attribute list, from the extension records that hold the rest of the run list.
//
// Every record is taken to be two sectors, so record R lies 2 * R sectors into
// the MFT. Sector arithmetic is 64-bit throughout; the runs are bounded by the
// size of the volume rather than by a fixed table.

#include "disk/ByteReader.h"
#include "disk/SectorReader.h"
#include "disk/Volume.h"
#include "ntfs/MftRecord.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace sarvik::ntfs {

/// Most runs one list keeps. A sound MFT stays far below this (its attribute
/// list is at most 256 KiB); the limit only bounds what a damaged one can cost.
inline constexpr std::size_t kMaxMftRuns = std::size_t{1} << 22;

/// Most bytes of a non-resident attribute list that are read: the largest
/// attribute list the file system allows.
inline constexpr std::size_t kMaxAttributeListBytes = 256 * 1024;

class MftRunList {
public:
    /// First sector of each run, counted from the start of the volume; 0 for a sparse run.
    [[nodiscard]] const std::vector<std::uint64_t>& RunStarts() const noexcept { return m_starts; }
    /// Length of each run in sectors.
    [[nodiscard]] const std::vector<std::uint64_t>& RunLengths() const noexcept { return m_lengths; }
    [[nodiscard]] std::size_t RunCount() const noexcept { return m_starts.size(); }
    /// Sum of RunLengths: the sectors of the whole MFT.
    [[nodiscard]] std::uint64_t totalSectors() const noexcept { return m_ends.empty() ? 0 : m_ends.back(); }
    /// A run stored with start 0 has no sectors on the volume.
    [[nodiscard]] bool isSparse(std::size_t run) const noexcept { return m_starts.at(run) == 0; }

    void clear() noexcept;
    void append(std::uint64_t start, std::uint64_t length);
    /// 512-byte sectors per MFT record (2 unless the boot sector says otherwise);
    /// kept by clear().
    [[nodiscard]] std::uint32_t recordSectors() const noexcept { return m_recordSectors; }
    void setRecordSectors(std::uint32_t sectors) noexcept
    {
        m_recordSectors = sectors == 0 ? kMftRecordSectors : sectors;
    }

    struct Location {
        std::uint64_t sector = 0; ///< first sector of the record
        std::size_t run = 0;      ///< run that holds that sector
    };
    /// Where record `recordNumber` starts: the run in which sector recordSectors() * recordNumber
    /// of the MFT lies and the volume sector it maps to. Nothing when it lies
    /// beyond the runs. A record in a sparse run maps to a small sector counted from 0.
    [[nodiscard]] std::optional<Location> locateRecord(std::uint64_t recordNumber) const noexcept;

private:
    std::vector<std::uint64_t> m_starts;
    std::vector<std::uint64_t> m_lengths;
    std::vector<std::uint64_t> m_ends; ///< cumulative lengths up to and including each run
    std::uint32_t m_recordSectors = kMftRecordSectors;
};

/// Bounds applied while decoding run lists.
struct RunListLimits {
    /// Sectors of the volume: a run may not start outside it, and the runs of one
    /// list may not add up to more than it.
    std::uint64_t volumeSectors = 0;
    std::size_t maxRuns = kMaxMftRuns;
};

/// Why a run list's decoding ended.
enum class RunListEnd {
    EndMarker,     ///< a header byte of 0
    OutOfBytes,    ///< the next run would not fit before the end position
    BadHeader,     ///< a field wider than 8 bytes
    OutsideVolume, ///< a run that starts outside the volume, or more sectors than the volume has
    TooManyRuns,   ///< limits.maxRuns reached
};

/// Decodes the run list (mapping pairs) at [position, end) of `buffer` and
/// appends its runs to `runs`, in sectors. The first run with an offset is
/// placed relative to `clusterBaseSector`, every later one relative to the
/// previous run that had an offset (sparse runs, stored with start 0, are
/// stepped over). Offsets are signed in their width; fields are 1 to 8 bytes.
RunListEnd DecodeRunList(disk::ByteSpan buffer, std::size_t position, std::size_t end, MftRunList& runs,
                         std::int64_t clusterBaseSector, std::uint32_t sectorsPerCluster, const RunListLimits& limits);

/// Sector where record `recordNumber` starts within `runs`, or nothing when it
/// lies beyond them.
[[nodiscard]] std::optional<std::uint64_t> RecordSectorInRuns(const MftRunList& runs,
                                                              std::uint64_t recordNumber) noexcept;

/// Sector where record `recordNumber` starts, or 0 when it lies beyond the runs.
[[nodiscard]] std::uint64_t MftRecordSector(const MftRunList& runs, std::uint64_t recordNumber) noexcept;

/// Reads record.sectors() sectors at `sector` into `record` and applies the
/// fixup. The record is cleared first; false (and a cleared record) when the
/// read failed.
bool ReadMftRecord(const disk::SectorReader& reader, std::uint64_t sector, MftRecord& record);

/// Record numbers of the data-attribute entries of record 0's attribute list,
/// in list order. `record0` is record 0 after its fixup. A non-resident list is
/// read from the volume as one stream of its runs' bytes.
[[nodiscard]] std::vector<std::uint32_t> ListMftDataRecords(disk::ByteSpan record0, const disk::SectorReader& reader,
                                                            std::int64_t clusterBaseSector,
                                                            std::uint32_t sectorsPerCluster,
                                                            const RunListLimits& limits);

/// The bytes of a non-resident attribute list laid out by `listRuns`, at most
/// kMaxAttributeListBytes; a sparse run reads as zeros, and the stream ends
/// before the first sector that cannot be read.
[[nodiscard]] std::vector<std::byte> ReadAttributeListStream(const MftRunList& listRuns,
                                                             const disk::SectorReader& reader);

/// Rebuilds `runs`: the root folder's index allocation (record 5) first, then
/// record 0's data attribute, then the pieces of that attribute listed in
/// record 0's attribute list. A missing "FILE" record 5 or record 0 ends the
/// build with what earlier passes stored.
void BuildMftRunList(MftRunList& runs, const disk::SectorReader& reader, std::int64_t clusterBaseSector,
                     std::uint64_t mftStartSector, std::uint32_t sectorsPerCluster,
                     std::uint32_t recordSectors = kMftRecordSectors);

/// The same with the selected volume's geometry.
void BuildMftRunList(MftRunList& runs, const disk::SelectedVolume& volume);

} // namespace sarvik::ntfs
