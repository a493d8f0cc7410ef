// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether writing one thing can change the bytes of another: a model of block
// devices (partitions, loop devices, mapped devices) and mounts, and the parsing
// of the texts Linux describes them in (/proc/self/mountinfo, /sys/class/block).
// Nothing here asks the system, so every step can be tried on sample text; the
// POSIX layer (PosixSourceVolume.cpp) fills the model from the live system.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sarvik::platform {

/// A device number as the model keeps it: major in the high half, minor in the low.
[[nodiscard]] constexpr std::uint64_t deviceNumber(std::uint32_t major, std::uint32_t minor)
{
    return (std::uint64_t{major} << 32) | minor;
}

/// Something that holds bytes: a block device by its number, or a regular file
/// by the number of its file system and its inode.
struct StorageId {
    enum class Kind : std::uint8_t { Block, File };
    Kind kind = Kind::Block;
    std::uint64_t device = 0; ///< the block device, or the file's file system
    std::uint64_t inode = 0;  ///< the file's inode; 0 for a block device
    friend bool operator==(const StorageId&, const StorageId&) = default;
};

/// The end of a region that runs to the end of its storage.
inline constexpr std::uint64_t kToTheEnd = UINT64_MAX;

/// Bytes [start, end) of one storage object.
struct StorageRegion {
    StorageId id;
    std::uint64_t start = 0;
    std::uint64_t end = kToTheEnd;
    /// Some part of [start, end), where exactly is not known: the share of a
    /// member that a mapped device (LVM, RAID, dm-crypt) uses.
    bool somewhere = false;
    friend bool operator==(const StorageRegion&, const StorageRegion&) = default;
};

/// One block device as sysfs describes it.
struct BlockDeviceFacts {
    std::string name;         ///< "sdb1", "loop0"
    std::uint64_t number = 0; ///< deviceNumber(major, minor)
    std::uint64_t sizeBytes = 0;
    std::uint64_t disk = 0; ///< a partition's whole disk; 0 for a whole disk
    std::uint32_t partition = 0;
    std::uint64_t startBytes = 0; ///< a partition's first byte on its disk
    /// The devices a mapped device is built on (sysfs "slaves").
    std::vector<std::uint64_t> slaves;
    /// A loop device's file or device, when it still exists; with the first
    /// byte it shows and how many (0: to the end).
    std::optional<StorageId> backing;
    std::uint64_t backingOffset = 0;
    std::uint64_t backingLimit = 0;
};

/// The block devices of the system.
struct BlockTopology {
    std::vector<BlockDeviceFacts> devices;
    [[nodiscard]] const BlockDeviceFacts* find(std::uint64_t number) const;
};

/// Every region that writing into `start` writes: `start` itself, the disk under
/// a partition, the file or device under a loop device, the members under a
/// mapped device, and so on down. Files are not followed to the volume that
/// holds them: an image is its own storage.
[[nodiscard]] std::vector<StorageRegion> regionsUnder(const StorageRegion& start, const BlockTopology& topology);

/// How two sets of regions meet.
enum class Overlap : std::uint8_t {
    None,     ///< no storage object in common
    SameDisk, ///< one object in common, but not (for certain) the same bytes
    Same,     ///< the same bytes for certain
};

/// How `a` and `b` meet: the closest any two of their regions come.
[[nodiscard]] Overlap overlapOf(const std::vector<StorageRegion>& a, const std::vector<StorageRegion>& b);

/// One line of /proc/self/mountinfo.
struct MountEntry {
    std::uint64_t device = 0; ///< deviceNumber of the mounted file system (st_dev of its files)
    std::string mountPoint;
    std::string fsType;
    std::string source; ///< a device, an image file, or any word ("fusefat", "tmpfs")
    bool readWrite = false;
};

/// The mounts of a mountinfo text, octal escapes ("\040") decoded. Lines that
/// do not have the format are passed over.
[[nodiscard]] std::vector<MountEntry> parseMountInfo(std::string_view text);

/// The block devices under `sysClassBlock` (/sys/class/block, or a copy of its
/// shape): each entry's "dev", "size", "partition", "start", "slaves" and
/// "loop/backing_file", "loop/offset", "loop/sizelimit". `identify` names the
/// storage a loop device's backing path stands for (nothing when it is gone).
[[nodiscard]] BlockTopology
readBlockTopology(const std::filesystem::path& sysClassBlock,
                  const std::function<std::optional<StorageId>(const std::string& path)>& identify);

/// Whether the command line of a FUSE daemon names `mountPoint`, an argument
/// taken relative to the daemon's working folder `cwd` (/proc/PID/cmdline and
/// /proc/PID/cwd), or a relative argument that ends `mountPoint` (the daemon
/// has left the folder it was started in): such daemons may show any word as
/// their mount's source.
[[nodiscard]] bool commandNamesMount(const std::vector<std::string>& arguments, const std::string& cwd,
                                     const std::string& mountPoint);

/// The arguments of a /proc/PID/cmdline text (NUL-separated).
[[nodiscard]] std::vector<std::string> splitCommandLine(std::string_view text);

} // namespace sarvik::platform
