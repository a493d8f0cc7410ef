// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Previous versions: what the shadow copies of an NTFS volume hold that the
// volume no longer does. After the volume's own scan, each copy's scan (its
// files in use then) is laid beside the volume's files in use now, by path:
// a file the volume no longer has (deleted since), or whose contents differ
// (size and time first, the bytes only when those do not tell), is added to
// the volume's catalogue as a deleted file, read from that copy. By default
// the newest copy that differs gives each path its one version; every
// differing version can be asked for.

#include "container/ShadowCopies.h"
#include "recovery/FileSources.h"
#include "scan/ScanSession.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace sarvik::session {

/// Which versions the copies add.
enum class PreviousScope : std::uint8_t {
    Newest, ///< for each path, the version of the newest copy that differs
    All,    ///< every version that differs from the volume's and from those of newer copies
};

class PreviousVersions {
public:
    /// `session` gets the previous versions; `live` is a scan of the same
    /// volume that lists its files in use (thorough rules, files in use
    /// listed), and may be `session` itself. Both must outlive this.
    PreviousVersions(scan::ScanSession& session, const scan::ScanSession& live, PreviousScope scope);

    /// Adds what shadow copy `number`, taken at `created` (FILETIME), holds
    /// that differs. `copy` is its scan, with its files in use listed; its
    /// volume is kept to read the added files from. Copies are given newest
    /// first. Returns how many files were added.
    std::size_t addCopy(std::uint32_t number, std::uint64_t created, scan::ScanSession& copy);

    /// Rebuilds the session's folder tree and hands it the sources of the
    /// files added. Nothing changes when none were.
    void finish();

    /// Files added so far.
    [[nodiscard]] std::size_t added() const noexcept { return m_sources->fileCount(); }

private:
    /// A file's size and last write: what tells versions apart first.
    struct Version {
        std::uint64_t size = 0;
        std::uint64_t modified = 0;
        bool operator==(const Version&) const = default;
    };
    /// The key of the session's folder at `folderPath` (lower case), the
    /// folders the copy has there added as deleted ones where the session
    /// lists none.
    std::uint64_t folderKeyFor(const scan::ScanSession& copy, catalogue::EntryId copyFolder);
    /// Whether file `copyFile` of `copy` holds the same bytes as file
    /// `liveFile` of the live scan.
    bool sameBytes(const scan::ScanSession& copy, catalogue::EntryId copyFile, catalogue::EntryId liveFile);

    scan::ScanSession& m_session;
    const scan::ScanSession& m_live;
    const PreviousScope m_scope;
    std::shared_ptr<recovery::FileSources> m_sources;
    /// The live scan's files in use, by lower-case path.
    std::unordered_map<std::string, catalogue::EntryId> m_liveFiles;
    /// The versions added so far, by lower-case path.
    std::unordered_map<std::string, std::vector<Version>> m_added;
    /// The session's folders by lower-case path ("" the root), the live ones first.
    std::unordered_map<std::string, std::uint64_t> m_folders;
    /// The key the next added folder gets: far above any MFT record number (48 bits).
    std::uint64_t m_nextFolderKey = std::uint64_t{1} << 56;
};

/// Opens shadow copy `number` of the session's volume as a volume of its
/// own; nothing, with the reason in `error`, when it cannot.
using ShadowCopyOpener = std::function<std::optional<disk::SelectedVolume>(std::uint32_t number, std::string& error)>;

/// What adding the previous versions of a volume came to.
struct PreviousVersionsRun {
    std::size_t added = 0;      ///< files added
    std::size_t copiesRead = 0; ///< copies scanned and compared
    /// One line for each copy that could not be read, or not whole:
    /// "shadow copy 1 (2021-03-10 21:44 UTC) cannot be read: REASON; ...".
    std::vector<std::string> problems;
    bool stopped = false; ///< a scan was stopped: what the copies before it added stays
};

/// Scans each of `copies` (those that cannot be read are named in the
/// result) newest first with the thorough rules, files in use listed, and
/// adds their previous versions to `session`. `liveListed`: the session's
/// scan listed the files in use (else the volume is scanned again for them).
/// `observer` and `control` follow and stop each scan.
PreviousVersionsRun addPreviousVersions(scan::ScanSession& session, std::vector<container::ShadowCopy> copies,
                                        const ShadowCopyOpener& open, PreviousScope scope, bool liveListed,
                                        catalogue::ScanObserver& observer, catalogue::ScanControl& control);

/// How many of `copies` (a volume's shadow copies) the results of `session`
/// may add previous versions from: those that can be read, for a thorough
/// scan of an NTFS volume that has none added yet; 0 offers nothing.
[[nodiscard]] std::size_t previousVersionsOffered(const scan::ScanSession& session,
                                                  const container::ShadowCopyList& copies);

/// A shadow copy as the drive tree lists it, under its volume.
struct ShadowCopyDrive {
    disk::DriveItem item; ///< "VOLUME@vssN", of the volume's kind, its size when taken
    std::uint32_t number = 0;
    std::uint64_t created = 0; ///< FILETIME (UTC); 0 when not known
};

/// The shadow copies of `volume` (its `copies`) that can be read, oldest
/// first, each a source of its own.
[[nodiscard]] std::vector<ShadowCopyDrive> shadowCopyDrives(const disk::DriveItem& volume,
                                                            const container::ShadowCopyList& copies);

/// The path of entry `id` of `catalogue` below its root ("/A/b.txt"), in
/// lower case (ASCII) as NTFS compares names; nothing when a folder on the
/// way is not listed.
[[nodiscard]] std::optional<std::string> lowerPath(const catalogue::Catalogue& catalogue, catalogue::EntryId id);

/// Whether `lowerPath` lies where Windows keeps what is not a user's file:
/// the shadow copy stores and the system's metadata files at the root.
[[nodiscard]] bool isSystemPath(const std::string& lowerPath);

} // namespace sarvik::session
