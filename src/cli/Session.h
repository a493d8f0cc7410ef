// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the subcommands that take SOURCE share: opening it, scanning it (or
// loading it when it is a recovery snapshot), and naming found items by path.

#include "cli/Options.h"
#include "cli/Selection.h"
#include "scan/ScanSession.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sarvik::cli {

/// The arguments that say what to examine.
struct SessionArgs {
    /// A device, a disk image, or a snapshot file (told by the tag at its start).
    std::string source;
    /// --snapshot FILE: save the result to this snapshot after opening SOURCE.
    std::string snapshotOut;
    /// --device PATH: read file data of a loaded snapshot from here instead of
    /// the snapshot's own DevicePath (the device or the image may have moved).
    std::string device;
    /// The thorough rules (whole folders, names outside ASCII, geometry from the
    /// boot sector) unless --classic asks for the classic ones; --thorough is
    /// accepted too. The last of the two given wins.
    bool thorough = true;
    /// --deep: after the quick scan, the passes over free space (thorough rules).
    bool deep = false;
    /// Within --deep, carving of the clusters no found file claims, unless --no-carve.
    bool carve = true;
    /// --live: files not deleted are listed (and recovered) too (thorough rules).
    bool live = false;
    /// --previous[=all]: the value given ("" for none), or nothing without
    /// the option: after the scan, what the volume's shadow copies hold that
    /// it no longer does is added (openSession reads the value).
    std::optional<std::string> previous;
    /// --force: --snapshot may replace an existing snapshot file.
    bool force = false;
    /// The caller has checked --snapshot against SOURCE (refuseWritesOnSource).
    bool snapshotChecked = false;
    /// Called once SOURCE has opened (a snapshot loaded, or a volume found),
    /// before the scan: where a command makes what it writes, so that a
    /// SOURCE that cannot be opened leaves nothing made. False ends the
    /// command with kExitFailed (the callee has said why).
    std::function<bool(const scan::ScanSession&)> beforeScan;
    /// From a parsed command line: SOURCE is its first positional argument.
    static SessionArgs from(const ParsedArgs& args);
};

/// Opens SOURCE: scans a device or image, or loads a snapshot and opens the
/// volume it names (warning on standard error when that volume's geometry differs
/// from the snapshot's). Then saves --snapshot when asked and says where.
/// Prints why on standard error and gives nothing when it cannot; `status` is
/// then kExitFailed or kExitInterrupted (Ctrl-C during the scan). With a session,
/// `status` is kExitLosses when the scan could not read everything or the
/// snapshot's volume is missing or does not match, else kExitDone.
std::unique_ptr<scan::ScanSession> openSession(const SessionArgs& args, int& status);
/// Scans the opened volume with Ctrl-C (SIGTERM, SIGHUP) stopping the scan
/// instead of the program, with progress on standard error.
scan::ScanResult scanWithInterrupt(scan::ScanSession& session, const scan::ScanOptions& options);

/// --previous: adds to `session`, a scan of a volume (or a loaded snapshot of
/// one), the files its shadow copies hold that it no longer does, each read
/// from its copy (session::PreviousVersions). Says on standard error what was
/// added, and names each copy that cannot be read (`complete` then false);
/// a volume without shadow copies gets nothing. `scanned` are the options of
/// the volume's scan (with files in use listed, it is the volume's list of
/// them). False when it was interrupted (`status` then says so).
bool addPreviousVersions(scan::ScanSession& session, const std::string& scope, const scan::ScanOptions& scanned,
                         bool& complete, int& status);

/// Keeps `session` until the process ends, for a command that ends it next:
/// the system takes back the memory at once, where freeing a large catalogue
/// item by item takes a tenth of the time of a quick scan.
void keepUntilExit(std::unique_ptr<scan::ScanSession> session);

/// Opens the session the command line names and applies the selection's
/// filters to it. Null when it cannot be used; `status` then holds the exit
/// status (a usage error for a pattern that is refused).
std::unique_ptr<scan::ScanSession> openSelectedSession(const CommandSpec& spec, const ParsedArgs& args,
                                                       const Selection& selection, int& status);

/// Whether SOURCE is a recovery snapshot rather than a device or image.
bool isSnapshotSource(const std::string& source);

/// Loads the snapshot at `path` into a new session and opens `devicePath` (or,
/// when empty, the snapshot's DevicePath) as the device of later reads. Prints
/// the refusal on standard error and gives nothing when the file is refused; a
/// damaged body is reported and what came before the damage is kept. `complete`,
/// when given, says whether the listing is whole: the file loaded whole, its
/// scan had no losses, and the volume opened and matches.
std::unique_ptr<scan::ScanSession> loadSnapshotSession(const std::string& path, const std::string& devicePath,
                                                       bool* complete = nullptr);

/// Compares the geometry of a loaded snapshot with the volume that now answers
/// at the session's device. Nothing when they agree; otherwise a warning for
/// standard error, one line per difference. Recovery calls this before copying.
std::optional<std::string> snapshotVolumeWarning(const scan::ScanSession& session);

/// The file a snapshot chosen as `chosenPath` is written to (the path rule);
/// empty for empty.
std::string snapshotFilePath(const std::string& chosenPath);

/// Saves the session to a snapshot by the path rule; prints where, or why not.
/// An existing file is replaced only with `replace`, and only a plain file.
bool saveSnapshot(const scan::ScanSession& session, const std::string& chosenPath, bool replace);

/// Text made safe for a terminal: kept when it is UTF-8, else read as
/// Windows-1252; control characters (C0, DEL and C1) escaped as `\n`, `\t`,
/// `\r` or `\xHH` for each of their bytes.
std::string terminalText(std::string_view text);
/// A catalogue name or path as the command line prints it: as terminalText
/// does, with a backslash written `\\` too, so that the text is read back
/// exactly (typedPathForms); taken as UTF-8 when `namesAreUtf8`.
std::string terminalText(std::string_view text, bool namesAreUtf8);
/// The same as a view: `name` itself when it prints as it is (the most
/// names), else terminalText's text held in `scratch`. A name known to be
/// well-formed UTF-8 (`wellFormed`: one the thorough scan decoded from
/// UTF-16) is not checked again.
std::string_view terminalName(std::string_view name, bool namesAreUtf8, bool wellFormed, std::string& scratch);
/// What a name or path typed on the command line may stand for: itself, and
/// when it holds escapes as terminalText writes them (and only those), also
/// the text they stand for. Copied from JSON, a name arrives as it is; copied
/// from a listing, escaped: both are found.
std::vector<std::string> typedPathForms(const std::string& typed);

/// "/A/B" for a placed folder (UTF-8), nothing for a folder the tree did not place.
/// Names on stderr each live FAT folder entry the scan did not follow: one
/// that points back at a folder above it, or names another folder's cluster.
void warnFolderClashes(const scan::ScanSession& session);
std::optional<std::string> folderEntryPath(const scan::ScanSession& session, std::size_t folderIndex);
/// "/A/B/name" for a file whose folder is placed.
std::optional<std::string> fileEntryPath(const scan::ScanSession& session, std::size_t fileIndex);
/// The path of a tree node: "/" for the root.
std::string nodePath(const scan::ScanSession& session, const catalogue::TreeNode& node);
/// The folder named by a path as `scan` prints it ("/", "/A/B", "A/B"); null when not found.
const catalogue::TreeNode* findFolder(const scan::ScanSession& session, const std::string& path);

} // namespace sarvik::cli
