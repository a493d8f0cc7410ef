// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The NTFS scan: walks every MFT record in the order of the MFT's runs and puts
// every folder it can name (deleted or in use) and every deleted file it can
// name into the catalogue. It never writes to the volume.

#include "catalogue/Catalogue.h"
#include "catalogue/ScanObserver.h"
#include "disk/Volume.h"
#include "ntfs/MftRunList.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sarvik::ntfs {

/// How the scan reads; all off for the default rules.
struct NtfsScanOptions {
    /// Names from their full UTF-16 units as UTF-8, attribute lists followed
    /// when they are non-resident, and deleted files that lost every name but
    /// kept their data listed as "$Nameless files/record N" (N the base record).
    bool thorough = false;
    /// Files in use are listed too (as not deleted), with their data: on a lost
    /// or damaged volume every file is lost to its user.
    bool live = false;
    /// Blocks of records (1,024 positions each) from which a second thread
    /// examines every other chunk of them, where one may: the observer does not
    /// follow each item and the source takes reads from two threads at once.
    std::size_t twoThreadsFrom = 16;
};

/// Runs the scan over the selected NTFS volume.
///
/// Clears the NTFS half of `catalogue`, rebuilds `runs` (which stays valid
/// afterwards) and visits the MFT two sectors a position, counting a record
/// number for every position. Reports through `observer` and leaves its loop as
/// soon as `control` asks it to stop. After the loop it gives every parentless
/// item a substitute folder (Catalogue::AttachLostFolders) and writes "Creating
/// Directory Tree"; building the folder tree is the caller's work. The stop flag
/// is 0 when it returns.
void ScanMft(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue, MftRunList& runs,
             catalogue::ScanObserver& observer, catalogue::ScanControl& control, const NtfsScanOptions& options = {});

/// Where records in the MFT's format were seen outside the MFT, noted while
/// free clusters are read for another purpose (the deep search's carving), so
/// that the clusters are not read again to find them: stretches of the volume
/// in bytes, ascending, each from a record's start to the end of its cluster.
class RecordSightings {
public:
    RecordSightings(std::uint32_t recordBytes, std::uint64_t clusterBytes)
        : m_recordBytes(recordBytes), m_clusterBytes(clusterBytes)
    {
    }
    /// Looks at `bytes` read at volume offset `offset`, the start of a
    /// cluster: a whole cluster, or its head.
    void look(std::uint64_t offset, disk::ByteSpan bytes);

    struct Stretch {
        std::uint64_t offset = 0;
        std::uint64_t length = 0;
    };
    [[nodiscard]] const std::vector<Stretch>& stretches() const { return m_stretches; }

private:
    std::uint32_t m_recordBytes;
    std::uint64_t m_clusterBytes;
    std::vector<Stretch> m_stretches;
};

/// What AddFoundRecords listed.
struct FoundRecords {
    std::uint32_t folders = 0;
    std::uint32_t files = 0;
    /// Listed under "$Found records": the folder their record names is gone.
    std::uint32_t orphans = 0;
    /// Records not listed because their attributes spread over further records
    /// of a lost MFT, whose numbers can no longer be followed.
    std::uint32_t spread = 0;
};

/// Reads the records `sightings` found outside the MFT (an earlier MFT that a
/// quick format left behind, or records of one that moved) and lists the
/// folders and files they name, in use then or not, as deleted items: each
/// under the folder its file name names when that is the root or another found
/// folder, else under "$Found records" at the root. A record is taken when its
/// signature and update sequence hold and it gives its own number (NTFS 3.1)
/// that no item of `catalogue` has; the first one seen of a number wins.
/// Reports through `observer`; stops when `control` asks.
FoundRecords AddFoundRecords(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue,
                             const MftRunList& runs, const RecordSightings& sightings,
                             catalogue::ScanObserver& observer, catalogue::ScanControl& control, bool thorough);

} // namespace sarvik::ntfs
