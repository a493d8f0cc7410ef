// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Partition tables of a whole disk: the MBR with its primary entries and the
// chain of extended boot records holding logical partitions, and the GPT. Each
// partition found is a window of the disk (OffsetBlockSource) that is read as a
// volume of its own, with sector 0 at the partition's first sector.
//
// Every number in a table is hostile: entries that start past the end of the
// disk are left out, entries that reach past it are cut at it, the extended
// chain is followed only inside its container and never to a record seen
// before, and the GPT's entry array is bounded before it is read.

#include "disk/BlockSource.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sarvik::disk {

enum class PartitionScheme { None, Mbr, Gpt };

struct Partition {
    /// As the kernel and fdisk number it: an MBR primary by its slot (1 to 4),
    /// the logical partitions from 5 in chain order; a GPT entry by its place
    /// in the array (1 for the first entry). Empty slots and entries, and the
    /// extended container, take a number but are not listed.
    std::uint32_t number = 0;
    std::uint64_t firstSector = 0; ///< 512-byte sectors from the start of the disk
    std::uint64_t sectors = 0;     ///< cut at the end of the disk
    std::uint8_t mbrType = 0;      ///< the MBR type byte; 0 for GPT entries
    bool logical = false;          ///< inside an MBR extended partition
    std::string typeGuid;          ///< a GPT entry's type, "EBD0A0A2-B9E5-..."; empty on MBR
    /// What the type byte or GUID says ("Microsoft basic data", "Linux swap");
    /// empty for a type not known here.
    std::string typeName;
};

/// The number the kernel gives the first logical partition of an MBR disk.
inline constexpr std::uint32_t kFirstLogicalNumber = 5;

struct PartitionTable {
    PartitionScheme scheme = PartitionScheme::None;
    std::vector<Partition> partitions;
    /// A GPT read from its backup header at the disk's last sector: the primary
    /// header is gone.
    bool backupHeader = false;
};

/// Reads the partition table of `disk`. A disk whose sector 0 is itself the boot
/// sector of a supported volume (a stick formatted without a table) has none.
/// A GPT is read from its backup header when the primary one is gone, and
/// without its protective MBR when that is gone too (sector 0 wiped).
[[nodiscard]] PartitionTable ReadPartitionTable(const BlockSource& disk);

/// Partition `number` of `disk` as a source of its own, or nothing when the
/// disk's table has no such partition.
[[nodiscard]] std::shared_ptr<const BlockSource> OpenPartition(const std::shared_ptr<const BlockSource>& disk,
                                                               std::uint32_t number);

/// A SOURCE naming one partition of a disk, "PATH@N", one volume the search
/// for lost volumes found on it, "PATH@lostN" (disk/LostVolumes.h), or a
/// stretch of it given by the user, "PATH@OFFSET:SIZE" (bytes; an empty SIZE
/// reaches to the end).
struct PartitionPath {
    std::string path;
    std::uint32_t number = 0; ///< 0: the whole of `path`, or the stretch below
    bool lost = false;        ///< `number` counts the lost volumes found
    bool region = false;      ///< the stretch of `path` from `offset`, `size` bytes long
    std::uint64_t offset = 0;
    std::uint64_t size = 0; ///< 0: to the end of `path`
    /// Shadow copy N (from 1) of the volume named by the rest; 0 for the volume itself.
    std::uint32_t shadow = 0;

    /// Names something inside `path` rather than all of it.
    [[nodiscard]] bool isPart() const noexcept { return number != 0 || region || shadow != 0; }
    /// The text that names the same part of `whole` ("WHOLE@N", ...).
    [[nodiscard]] std::string textFor(const std::string& whole) const;
};

/// Splits "PATH@N", "PATH@lostN" (N a decimal from 1) or "PATH@OFFSET:SIZE"
/// into its parts, each of them (and PATH alone) followed or not by "@vssN",
/// shadow copy N of that volume; any other text is a path of its own with
/// number 0.
[[nodiscard]] PartitionPath SplitPartitionPath(const std::string& text);
/// "PATH@OFFSET:SIZE", or "PATH@OFFSET:" for a stretch to the end.
[[nodiscard]] std::string regionPathText(const std::string& path, std::uint64_t offset, std::uint64_t size);

/// "PATH@N".
[[nodiscard]] std::string partitionPathText(const std::string& path, std::uint32_t number);
/// "PATH@lostN".
[[nodiscard]] std::string lostVolumePathText(const std::string& path, std::uint32_t number);

} // namespace sarvik::disk
