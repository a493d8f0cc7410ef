#pragma once
// The NTFS scan: walks every MFT record in the order of the MFT's runs and puts
// every folder it can name (deleted or in use) and every deleted file it can
// name into the catalogue. It never writes to the volume.

#include "catalogue/Catalogue.h"
#include "catalogue/ScanObserver.h"
#include "disk/Volume.h"
#include "ntfs/MftRunList.h"

namespace sarvik::ntfs {

/// How the scan reads; all off for the default rules.
struct NtfsScanOptions {
    /// Names from their full UTF-16 units as UTF-8, attribute lists followed
    /// when they are non-resident, and deleted files that lost every name but
    /// kept their data listed as "$Nameless files/record N" (N the base record).
    bool thorough = false;
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

} // namespace sarvik::ntfs
