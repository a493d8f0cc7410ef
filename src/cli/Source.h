// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Opens what a subcommand names as SOURCE: a block device or a disk image.

#include "cli/Options.h"
#include "disk/PartitionTable.h"
#include "disk/Volume.h"
#include "platform/Devices.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sarvik::cli {

struct OpenedSource {
    disk::DriveItem item;
    disk::SelectedVolume volume;
    bool supported = false;
    /// What the selection gave; its kinds of failure get messages of their own.
    disk::SelectResult selection;
    std::string error; ///< why it cannot be scanned, for standard error
    std::string note;  ///< what was chosen for the user, for standard error
};

/// Selects SOURCE the way a click on its drive item does. "PATH@N" names
/// partition N of the disk or image PATH. With `soleVolume`, a whole disk of
/// which exactly one partition opens as a volume (as "PATH@N" opens it) opens
/// that partition (and says so in `note`); with several, the error names them.
/// `rules` read the boot sector's geometry.
OpenedSource openSource(const std::string& path, bool soleVolume = false,
                        disk::GeometryRules rules = disk::GeometryRules::Thorough);

/// --udisks: when the system refuses this user the device that SOURCE names
/// (its whole disk, for "PATH@N"), asks the disk manager to open it. Nothing
/// when the command may go on; kExitFailed, after saying why on standard
/// error, when the disk manager refused or does not run.
[[nodiscard]] std::optional<int> openThroughDiskManager(const std::string& source);

/// Why `path` could not be opened, `systemText` ("PATH: REASON") when it says
/// enough; when this user is refused a raw device or an image file, how to
/// get in instead (sudo, --udisks or the disk group; sudo or a readable copy).
[[nodiscard]] std::string openFailureText(const std::string& path, const std::string& systemText);

/// The byte count `text` gives for --offset and --size: a number of 512-byte
/// sectors, or one with a unit (B: bytes; K, M, G, T: KiB, MiB, GiB, TiB; "s":
/// sectors). Nothing for anything else or a count past 2^64.
[[nodiscard]] std::optional<std::uint64_t> parseByteCount(const std::string& text);

/// --offset and --size: SOURCE (the first positional argument) becomes the
/// stretch "PATH@OFFSET:SIZE" of the disk or image it names. Nothing when the
/// command may run; a usage error's status (after saying why) otherwise.
[[nodiscard]] std::optional<int> applyRegionOptions(const CommandSpec& spec, ParsedArgs& parsed);

/// What to tell the user before a scan or recovery of an opened volume: that the
/// backup boot sector was used, that the image is shorter than its file system.
std::vector<std::string> volumeNotes(const disk::VolumeInfo& info);

/// A path a command will write, and what messages call it ("destination",
/// "report", "snapshot"). An empty path is passed over.
struct PathToWrite {
    const char* what;
    std::string path;
};

/// Checks, before anything is created, the paths a command will write against
/// SOURCE (and, for a snapshot SOURCE, the volume it names or `device`): a path
/// on the volume being read, or that is the source itself, is refused with the
/// reason on standard error and gives kExitFailed; one on another partition of
/// the same disk gives a warning. Nothing when all may be written. Messages
/// start "sarvik COMMAND:", or "sarvik:" when `command` is empty.
std::optional<int> refuseWritesOnSource(const char* command, const std::string& source, const std::string& device,
                                        const std::vector<PathToWrite>& paths);

/// Every file SOURCE (and, for a snapshot SOURCE, the volume it names or
/// `device`) is read from: the image and the other files of its container.
/// A destination keeps them off (OutputFolder::keepOff).
[[nodiscard]] std::vector<std::string> filesOfSource(const std::string& source, const std::string& device);

/// Starts and ends one thread: nothing when the process may start threads;
/// kExitFailed, after saying so on standard error, when the system refuses
/// (its limit of threads reached). For a command that needs a worker, before
/// it creates anything.
[[nodiscard]] std::optional<int> refuseWithoutThreads();

/// What to say when a thread could not be started: that the limit of
/// threads is reached, or (no room for its stack) that memory ran out.
[[nodiscard]] const char* noThreadText();

/// Warns on standard error, in one line, when a file system that SOURCE holds
/// is mounted read-write: what the system writes there while it is scanned can
/// overwrite deleted files.
void warnIfMountedReadWrite(const std::string& source);

/// One partition of a whole disk or image, as `sarvik info` lists it.
struct PartitionListing {
    disk::Partition partition;
    std::string source;     ///< "PATH@N"
    std::string fileSystem; ///< "FAT16", "FAT32", "NTFS" or empty
    /// The table is a GPT read from its backup header (the primary one is gone).
    bool backupHeader = false;
};

/// The partitions of the disk or image `path`; empty when it holds no table.
std::vector<PartitionListing> listPartitions(const std::string& path);

} // namespace sarvik::cli
