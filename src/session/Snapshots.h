// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Saving and loading a recovery snapshot as the front ends' commands do:
// the bytes of a save, and a load in its three steps (the file into the
// session, the volume it names opened again, that volume compared with the
// one the snapshot recorded), each saying what the user is told.

#include "disk/Volume.h"
#include "snapshot/RecoverySnapshot.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sarvik::scan {
class ScanSession;
}

namespace sarvik::session {

/// The file a snapshot chosen as `chosen` is saved to: the name as typed, with
/// ".rvu" after it unless it already ends in ".rvu" or ".rvsx" (in any case).
[[nodiscard]] std::string typedSnapshotPath(std::string_view chosen);

/// A snapshot of what `session` holds, or why none could be made.
struct SnapshotBytes {
    bool ok = false;
    std::string error;
    std::vector<std::byte> bytes;
};
[[nodiscard]] SnapshotBytes encodeSnapshot(const scan::ScanSession& session);

/// Why a snapshot file was refused, for a front end that words it itself.
enum class SnapshotRefusal {
    None,
    CannotOpen,   ///< the file could not be opened or read
    NotASnapshot, ///< it does not begin with a snapshot's tag; `detail`: what it begins with
    OtherVersion, ///< a snapshot of a version other than 1.0
    Damaged,      ///< damage before its records; `detail`: what and where, after "The snapshot is damaged: "
    Other,        ///< `detail` is the whole reason
};

/// What a load of a snapshot file gave.
struct SnapshotLoad {
    /// Nothing was loaded; `refusal` says why, and the session is as it was.
    bool refused = false;
    std::string refusal;
    SnapshotRefusal reason = SnapshotRefusal::None;
    std::string detail;
    /// A file cut short or a scan with losses: one line each (empty when whole).
    std::vector<std::string> partial;
    /// Where the file is damaged (the refusal's, or the first line of
    /// `partial`'s), for a front end that words it itself.
    snapshot::DamageNote damage;
};
/// Loads the snapshot at `path` into `session`, its filters cleared. May
/// throw std::bad_alloc.
[[nodiscard]] SnapshotLoad loadSnapshot(scan::ScanSession& session, const std::string& path);

/// Opens again the volume a loaded snapshot names (later reads go to what now
/// answers to its DevicePath) and rebuilds the MFT's runs from it; false when
/// it cannot be opened.
bool reopenSnapshotVolume(scan::ScanSession& session, disk::DeviceProvider& devices);

/// How the volume that now answers to the session's device differs from the
/// geometry the snapshot recorded, one line per field; empty when they agree.
[[nodiscard]] std::vector<std::string> snapshotVolumeDifferences(const scan::ScanSession& session,
                                                                 disk::DeviceProvider& devices);

} // namespace sarvik::session
