// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The selected volume: what the drive page shows (VolumeInfo), the numbers the
// engines use (VolumeGeometry, the partition block) and the reader of its sectors.

#include "disk/ByteReader.h"
#include "disk/SectorReader.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace sarvik::disk {

/// File-system codes of a volume.
namespace VolumeKind {
inline constexpr std::uint16_t Fat16 = 100;
inline constexpr std::uint16_t Fat32 = 200;
inline constexpr std::uint16_t Ntfs = 300;
inline constexpr std::uint16_t Unsupported = 400;
/// Read by the thorough rules only; the catalogue keeps it in its FAT half.
inline constexpr std::uint16_t Exfat = 500;
/// A FAT of 12-bit entries (fewer than 4,085 clusters); read by the thorough rules only.
inline constexpr std::uint16_t Fat12 = 600;
} // namespace VolumeKind

/// True for the kinds with a FAT of 12, 16 or 32-bit entries (not exFAT).
[[nodiscard]] constexpr bool isFatKind(std::uint16_t kind) noexcept
{
    return kind == VolumeKind::Fat12 || kind == VolumeKind::Fat16 || kind == VolumeKind::Fat32;
}

/// Bits of one FAT entry of a kind: 12, 16 or 32; 0 for a kind without such a table.
[[nodiscard]] constexpr unsigned fatEntryBits(std::uint16_t kind) noexcept
{
    if (kind == VolumeKind::Fat12)
        return 12;
    if (kind == VolumeKind::Fat16)
        return 16;
    return kind == VolumeKind::Fat32 ? 32 : 0;
}

/// Byte offset of a cluster's entry from the start of the table. A 12-bit
/// entry takes a byte and a half: two entries share three bytes.
[[nodiscard]] constexpr std::uint64_t fatEntryOffset(std::uint64_t cluster, unsigned bits) noexcept
{
    return bits == 12 ? cluster + cluster / 2 : cluster * (bits / 8);
}

/// Bytes read from fatEntryOffset for one entry: 2 for 12 and 16 bits, 4 for 32.
[[nodiscard]] constexpr unsigned fatEntryReadBytes(unsigned bits) noexcept
{
    return bits == 32 ? 4 : 2;
}

/// An entry's value from the bytes at its offset: the low 12 bits of the two
/// bytes for an even cluster and their high 12 for an odd one, 16 bits, or
/// all 32 (the top nibble is the caller's to mask).
[[nodiscard]] constexpr std::uint32_t fatEntryValue(ByteSpan at, std::uint64_t cluster, unsigned bits) noexcept
{
    const ByteReader r(at);
    if (bits == 32)
        return r.u32or0(0);
    const std::uint16_t value = r.u16or0(0);
    if (bits == 16)
        return value;
    return (cluster & 1u) != 0 ? value >> 4 : value & 0x0FFFu;
}

/// Entries a table of `fatSectors` 512-byte sectors holds.
[[nodiscard]] constexpr std::uint64_t fatTableEntries(std::uint64_t fatSectors, unsigned bits) noexcept
{
    return bits == 0 ? 0 : fatSectors * kSectorSize * 8 / bits;
}

/// The highest number a cluster can have: the values above it are marks
/// (bad cluster, end of chain).
[[nodiscard]] constexpr std::uint32_t fatHighestCluster(unsigned bits) noexcept
{
    if (bits == 12)
        return 0xFF6;
    return bits == 32 ? 0x0FFFFFF6 : 0xFFF6;
}

/// Clusters below which the FAT standard calls a volume FAT12.
inline constexpr std::uint64_t kFat12ClusterLimit = 4085;

/// The selected drive as the drive page shows it; rewritten on every selection.
struct VolumeInfo {
    /// A VolumeKind code.
    std::uint16_t FileSystemKind = VolumeKind::Unsupported;
    std::string DevicePath = " ";
    std::uint32_t VolumeClusterSectors = 0;
    std::uint64_t VolumeSectors = 0;
    std::uint8_t VolumeSupported = 0;
    /// The whole label as the system reports it (not cut to a fixed field).
    std::string VolumeLabel;
    /// Bytes per sector as the boot sector gives them (512, 1,024, 2,048 or 4,096).
    /// VolumeSectors and every engine sector number stay in 512-byte units;
    /// VolumeClusterSectors counts the volume's own sectors.
    std::uint32_t BytesPerSector = 512;
    /// The sectors (512-byte units) the file system claims for itself; more than
    /// VolumeSectors when the image was cut short. 0 when not known.
    std::uint64_t FileSystemSectors = 0;
    /// The geometry came from the backup boot sector (the main one could not be
    /// read or did not parse); BackupBootSectorAt is its byte offset.
    bool BackupBootSector = false;
    std::uint64_t BackupBootSectorAt = 0;
    /// The boot sector and its backups are gone: the FAT geometry was worked
    /// out from the FATs and folders (disk/FatRebuild.h).
    bool GeometryRebuilt = false;
};

/// Kept next to the geometry; only PartitionStartSector and PartitionSectors are
/// written by a drive selection.
struct PartitionBlock {
    std::uint16_t PartitionKind = 0;
    std::uint32_t PartitionStartSector = 0;
    std::uint32_t PartitionSectors = 0;
    /// Two spare fields: nothing reads or writes them; a snapshot carries them unchanged.
    std::uint32_t PartitionReserved32 = 0;
    std::uint16_t PartitionReserved16 = 0;
};

/// FAT and exFAT entries are known by their place on the volume: the 32-byte
/// slots of the data area (from the FAT16 root folder, else from cluster 2)
/// are numbered from kFirstEntryAddress on, and the root folder, which no
/// entry names, is kRootEntryAddress. Timeline tools number entries so.
inline constexpr std::uint64_t kRootEntryAddress = 2;
inline constexpr std::uint64_t kFirstEntryAddress = 3;

/// Numbers the engines use; written only by a supported selection or a snapshot.
/// Sector numbers that can pass 2^32 on large volumes are held in 64 bits.
struct VolumeGeometry {
    std::uint16_t GeometryKind = 0;
    std::uint32_t FatSectors = 0;
    std::uint32_t SectorsPerCluster = 0;
    std::uint32_t RootDirSectors = 0;
    /// FAT16: first sector of the root directory; FAT32: first cluster of the root.
    std::uint32_t RootDirStart = 0;
    std::uint32_t ReservedSectors = 0;
    /// Sector of cluster 0 (cluster n lies at ClusterBaseSector + n * SectorsPerCluster).
    /// Signed: on tiny volumes the two clusters before the data area start before sector 0.
    std::int64_t ClusterBaseSector = 0;
    std::uint32_t FirstFatSector = 0;
    std::uint32_t SecondFatSector = 0;
    std::uint64_t MftStartSector = 0;
    std::uint32_t NtfsReserved = 0;
    /// NTFS: 512-byte sectors per MFT record (2 for 1,024-byte records, 8 for 4,096).
    std::uint32_t MftRecordSectors = 0;
    std::uint32_t IndexRecordSectors = 0;
    std::uint32_t SearchEndSector = 0;
    /// A spare field at the geometry's end: nothing reads it; a snapshot carries it unchanged.
    std::uint16_t GeometryReserved16 = 0;
    /// exFAT: clusters of the cluster heap (cluster 2 is its first); 0 otherwise.
    std::uint32_t ClusterCount = 0;

    /// Copies of the FAT: 1 when the second copy is the first (a volume made with
    /// one FAT), else 2.
    [[nodiscard]] std::uint32_t fatCount() const noexcept
    {
        return FirstFatSector != 0 && SecondFatSector == FirstFatSector ? 1 : 2;
    }
    /// First sector of cluster n, in 64-bit arithmetic; nothing when it would lie before sector 0.
    [[nodiscard]] std::optional<std::uint64_t> clusterSector(std::uint64_t cluster) const noexcept;
    /// FAT and exFAT: the address of the directory entry `byte` bytes after the
    /// start of sector `sector`; 0 when that lies before the data area.
    [[nodiscard]] std::uint64_t entryAddress(std::uint64_t sector, std::uint64_t byte = 0) const noexcept;
};

/// Everything known about the selected volume, and the reader of its sectors.
struct SelectedVolume {
    VolumeInfo info;
    PartitionBlock partition;
    VolumeGeometry geometry;
    SectorReader reader;
};

/// Where a drive comes from.
enum class DriveKind { Fixed, Removable, Image };

/// One entry of the drive tree.
struct DriveItem {
    std::string text;       ///< "Logical Disk(sdb1)", "Removable Disk(sdc1)", "Disk Image(name.img)"
    std::string devicePath; ///< what is opened; nothing parses it back out of the text
    DriveKind kind = DriveKind::Fixed;
    std::uint64_t sizeBytes = 0;
};

/// What opening a device gives: the source, or why there is none.
struct OpenResult {
    std::shared_ptr<const BlockSource> source;
    std::string error;         ///< the system's reason (strerror text) when source is empty
    bool accessDenied = false; ///< the system refused this user access (an administrator may read it)
};

/// How the core reaches devices; the platform layer implements it, tests use memory.
class DeviceProvider {
public:
    virtual ~DeviceProvider() = default;
    /// The device opened read-only, or the reason it cannot be opened.
    virtual OpenResult open(const std::string& devicePath) = 0;
    /// The volume label the system reports, or nothing.
    virtual std::optional<std::string> volumeLabel(const std::string& devicePath) = 0;
    /// Whether this process reads with the administrator's rights already, so
    /// that a refusal has another cause than who asks.
    [[nodiscard]] virtual bool administrator() const { return false; }
};

/// What a boot sector says, on its own: kind, cluster byte, and (when supported) the geometry.
struct BootSectorClass {
    std::uint16_t kind = VolumeKind::Unsupported;
    std::uint8_t clusterSectorsByte = 0;
    bool supported = false;
};
[[nodiscard]] BootSectorClass ClassifyBootSector(ByteSpan sector0);

/// The rules that read a boot sector's geometry.
enum class GeometryRules {
    /// 512 to 4,096-byte sectors, one or two FATs, the NTFS record sizes the boot sector gives.
    Thorough,
    /// 512-byte sectors, two FATs and 1,024-byte MFT records only; anything else is refused.
    Classic,
};

/// The 512-byte sectors a boot sector of `kind` says its file system has (its
/// own count times its sector size); 0 when it says none.
[[nodiscard]] std::uint64_t claimedSectorsOf(ByteSpan sector0, std::uint16_t kind);

/// Writes the kind's geometry fields from a supported boot sector into
/// `geometry`, in 512-byte sectors whatever the volume's own sector size.
void FillGeometry(VolumeGeometry& geometry, ByteSpan sector0, std::uint16_t kind,
                  GeometryRules rules = GeometryRules::Thorough);

/// The boot-sector field that `rules` do not read, named with its value
/// ("4096 bytes per sector"), or nothing when they read the geometry.
[[nodiscard]] std::optional<std::string> UnreadGeometry(ByteSpan sector0, std::uint16_t kind, GeometryRules rules);

/// Why a selection did or did not give a volume to scan.
enum class SelectStatus {
    Ready,               ///< a FAT, exFAT or NTFS volume that can be scanned
    CannotOpen,          ///< the device or image cannot be opened (detail: the system's reason)
    Unreadable,          ///< the boot sector cannot be read (an I/O error), nor a backup of it
    NotAVolume,          ///< no FAT, exFAT or NTFS boot sector (detail: a compressed file's kind)
    UnsupportedGeometry, ///< a geometry the rules in use do not read (detail: the field)
};

struct SelectResult {
    SelectStatus status = SelectStatus::Ready;
    std::string detail;
    bool accessDenied = false; ///< CannotOpen because the system refused this user access
    bool emptyGpt = false;     ///< NotAVolume: a disk whose GPT partition table names no partition
    explicit operator bool() const noexcept { return status == SelectStatus::Ready; }
};

/// What compressed or archive file `start` (its first bytes) begins: "gzip-
/// compressed", "xz-compressed", "bzip2-compressed", "zstd-compressed", "zip"
/// or "7-Zip"; empty for anything else.
[[nodiscard]] std::string compressedFormatOf(ByteSpan start);

/// Selects a drive: opens it, reads its boot sector (or, when that cannot be
/// read or does not parse, its backup), classifies it and sets the volume's
/// info, geometry and partition block. The label of an exFAT volume lies in its
/// root folder, which this layer does not read: scan::SelectVolume adds it.
SelectResult SelectDrive(SelectedVolume& volume, const DriveItem& item, DeviceProvider& devices,
                         GeometryRules rules = GeometryRules::Thorough);

/// A failed selection for the user, without the device's name: "cannot open it:
/// Permission denied", "its boot sector cannot be read (I/O error)", "not a
/// FAT16, FAT32 or NTFS volume", "the classic rules do not read it: 4096 bytes
/// per sector". Empty for Ready.
[[nodiscard]] std::string selectFailureText(const SelectResult& result);

/// "the image ends at sector N of the volume's M: 1.5 MiB (50%) is missing"
/// (sectors in the volume's own size) when the device is shorter than its boot
/// sector says, else nothing.
[[nodiscard]] std::optional<std::string> truncationText(const VolumeInfo& info);

/// "read from the backup boot sector (sector N)" when the backup was used, else nothing.
[[nodiscard]] std::optional<std::string> backupBootText(const VolumeInfo& info);

/// The drive page's value texts.
struct VolumeInfoTexts {
    std::string label;
    std::string capacity;          ///< "N MB ( Approx )"
    std::string sectorsPerCluster; ///< decimal
    std::string bytesPerSector;    ///< "512", "4096"
    std::string fileSystem;        ///< "FAT12", "FAT16", "FAT32", "NTFS", "exFAT" or "NOT READY"
};
[[nodiscard]] VolumeInfoTexts ShowVolumeInfo(const VolumeInfo& info);

/// True for the kinds whose catalogue is the FAT half (FAT12, FAT16, FAT32, exFAT).
[[nodiscard]] constexpr bool usesFatCatalogue(std::uint16_t kind) noexcept
{
    return isFatKind(kind) || kind == VolumeKind::Exfat;
}

/// Display name of a kind: "FAT12", "FAT16", "FAT32", "NTFS", "exFAT", or empty.
[[nodiscard]] std::string fileSystemName(std::uint16_t kind);

/// The kind as a word for machine-readable output: "fat12", "fat16", "fat32",
/// "exfat", "ntfs", "unsupported" (the code for a volume of no kind read), or
/// "unknown" for any other code.
[[nodiscard]] const char* fileSystemKeyword(std::uint16_t kind) noexcept;

/// A 64-bit sector value as the classic 32-bit fields show it (wrapped when negative).
[[nodiscard]] std::string sectorText(std::int64_t value);

} // namespace sarvik::disk
