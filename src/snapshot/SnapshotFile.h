// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Saving a scan session to a snapshot file and loading one back into a session.
// Files are read and written with the standard library's streams; everything
// about the bytes lives in RecoverySnapshot.h.

#include "disk/ByteReader.h"
#include "scan/ScanSession.h"
#include "snapshot/RecoverySnapshot.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sarvik::snapshot {

/// Whether the file system that receives snapshots tells upper from lower case.
#if defined(_WIN32)
inline constexpr bool kCaseSensitiveFileNames = false;
#else
inline constexpr bool kCaseSensitiveFileNames = true;
#endif

struct SaveOutcome {
    bool ok = false;
    std::string path;    ///< where the snapshot was (or would have been) written
    std::string message; ///< why it failed
};

/// Writes the session's volume and the catalogue of its kind to `chosenPath`
/// after the path rule of SnapshotPath. A value the format cannot hold fails the
/// save before the file is touched; a file that cannot be created gives
/// "Unable to open the file"; a failed write is reported, not ignored. The
/// bytes are written to "PATH.part" and renamed when all are written; a failed
/// save removes that file. The session is not changed.
SaveOutcome SaveSnapshot(const scan::ScanSession& session, std::string_view chosenPath,
                         bool caseSensitiveFileSystem = kCaseSensitiveFileNames);

/// The same from the parts of a session (for a caller that records another
/// DevicePath than the session's own).
SaveOutcome SaveSnapshot(const disk::VolumeInfo& info, const disk::PartitionBlock& partition,
                         const disk::VolumeGeometry& geometry, const catalogue::Catalogue& catalogue,
                         std::string_view chosenPath, bool caseSensitiveFileSystem = kCaseSensitiveFileNames);

struct LoadOutcome {
    DecodeStatus status = DecodeStatus::Refused;
    std::string message; ///< empty after a whole load
    DamageNote damage;   ///< the damage the message words, if it is one
};

/// Loads snapshot bytes into `session`. The file is read into a fresh object
/// first: a refused file leaves the session exactly as it was. Otherwise the
/// session's VolumeInfo, partition block, geometry (but for RootDirStart) and
/// catalogue are replaced and the folder tree is rebuilt; after damage inside the
/// body it holds the entries read before the damage. The session's reader is
/// pointed at the loaded DevicePath with no device open: the caller opens it
/// (see AttachDevice in the CLI) so that nothing here touches the system.
LoadOutcome LoadSnapshot(scan::ScanSession& session, disk::ByteSpan bytes);

/// What the scan that made a loaded snapshot missed (unreadable sectors or MFT
/// records, an image cut short), one note per kind; empty when nothing. Its
/// listing is then not whole, however the file itself loaded.
std::vector<std::string> LossNotes(const scan::ScanSession& session);

/// Reads a whole file; false when it cannot be opened or read.
bool ReadSnapshotFile(const std::string& path, std::vector<std::byte>& bytes);

/// ReadSnapshotFile then LoadSnapshot; "Unable to open the file" when the file
/// cannot be read, and the session is then unchanged.
LoadOutcome LoadSnapshotFile(scan::ScanSession& session, const std::string& path);

/// The DevicePath the snapshot file at `path` records, from its first bytes;
/// nothing when it cannot be read or is not a snapshot.
std::optional<std::string> ReadSnapshotDevicePath(const std::string& path);

/// True when the file at `path` starts with the snapshot tag (in any case).
bool IsSnapshotFile(const std::string& path);

} // namespace sarvik::snapshot
