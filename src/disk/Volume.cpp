// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/Volume.h"

#include "disk/ExfatBoot.h"
#include "disk/FatRebuild.h"
#include "disk/PartitionTable.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sarvik::disk {

namespace {

// Boot-sector fields that are looked at (offsets from the start of sector 0).
constexpr std::size_t kNtfsOemId = 3;              // "NTFS" at 3..6
constexpr std::size_t kBytesPerSector = 11;        // u16
constexpr std::size_t kSectorsPerCluster = 13;     // u8
constexpr std::size_t kReservedSectors = 14;       // u16
constexpr std::size_t kFatCount = 16;              // u8, FAT: copies of the FAT
constexpr std::size_t kRootEntries = 17;           // u16, FAT12/FAT16 root directory entries
constexpr std::size_t kTotalSectors16 = 19;        // u16, FAT: sectors of the volume, 0 when above 65535
constexpr std::size_t kFat16FatSectors = 22;       // u16, FAT12/FAT16 sectors per FAT
constexpr std::size_t kTotalSectors32 = 32;        // u32, FAT: sectors of the volume when the u16 is 0
constexpr std::size_t kFat32FatSectors = 36;       // u32, FAT32 sectors per FAT
constexpr std::size_t kNtfsTotalSectors = 40;      // u64, NTFS: sectors of the volume (the backup lies after)
constexpr std::size_t kFat32RootCluster = 44;      // u32, FAT32 root directory first cluster
constexpr std::size_t kNtfsMftCluster = 48;        // u64, NTFS cluster of the MFT (the classic rules read u32)
constexpr std::size_t kFat32BackupBoot = 50;       // u16, FAT32 sector of the backup boot sector
constexpr std::size_t kFat16TypeTail = 57;         // "16": the end of the type text at 54
constexpr std::size_t kNtfsClustersPerRecord = 64; // s8, clusters per MFT record; -n means 2^n bytes
constexpr std::size_t kNtfsClustersPerIndex = 68;  // u32 compared whole (classic); s8 as above (thorough)
constexpr std::size_t kFat32TypeTail = 85;         // "32": the end of the type text at 82
constexpr std::size_t kSignature = 510;            // 0x55 0xAA

constexpr std::uint32_t kIndexRecordMarker = 0xF4;
constexpr std::uint16_t kUsualFat32BackupSector = 6;
constexpr std::uint32_t kClassicRecordBytes = 1024;
constexpr std::uint32_t kMaxRecordBytes = 4096;
constexpr std::array<std::uint32_t, 4> kSectorSizes = {512, 1024, 2048, 4096};

bool isClusterSizeByte(std::uint8_t value)
{
    return value != 0 && (value & (value - 1)) == 0; // 1, 2, 4 ... 128
}

bool isReadSectorSize(std::uint32_t bytes)
{
    return std::find(kSectorSizes.begin(), kSectorSizes.end(), bytes) != kSectorSizes.end();
}

/// Bytes of a record whose size byte is `value` (clusters when positive, 2^-value bytes
/// when negative); 0 when it names no sensible size.
std::uint64_t recordBytes(std::uint8_t value, std::uint64_t clusterBytes)
{
    const auto n = static_cast<std::int8_t>(value);
    if (n > 0)
        return static_cast<std::uint64_t>(n) * clusterBytes;
    if (n < 0 && n >= -31)
        return std::uint64_t{1} << static_cast<unsigned>(-n);
    return 0;
}

/// Bytes per sector of a boot sector; the classic rules read 512 whatever it says.
std::uint32_t sectorBytes(const ByteReader& boot, GeometryRules rules)
{
    return rules == GeometryRules::Classic ? kSectorSize : boot.u16or0(kBytesPerSector);
}

bool hasSignature(const ByteReader& boot)
{
    return boot.u8or0(kSignature) == 0x55 && boot.u8or0(kSignature + 1) == 0xAA;
}

/// A boot sector read from the device: its bytes and where they came from.
struct BootRead {
    std::array<std::byte, kSectorSize> bytes{};
    ReadStatus status = ReadStatus::Failed;
};

BootRead readBoot(const BlockSource& source, std::uint64_t offset)
{
    BootRead boot;
    boot.status = source.read(offset, boot.bytes);
    return boot;
}

/// A backup boot sector that parses as a volume of its own: FAT32's (the sector the
/// main boot sector names, else sector 6) or NTFS's (the device's last sector). The
/// sector size is not known when the main boot sector is lost, so each size is tried
/// and a copy counts only when it gives that very size.
std::optional<std::uint64_t> findBackupBoot(const BlockSource& source, const BootRead& main,
                                            std::array<std::byte, kSectorSize>& out)
{
    std::vector<std::uint64_t> fatSectors;
    if (main.status == ReadStatus::Ok) {
        const std::uint16_t named = ByteReader(main.bytes).u16or0(kFat32BackupBoot);
        if (named != 0 && named != 0xFFFF && named != kUsualFat32BackupSector)
            fatSectors.push_back(named);
    }
    fatSectors.push_back(kUsualFat32BackupSector);
    auto accept = [&](std::uint64_t offset, std::uint32_t size, std::uint16_t kind) -> bool {
        const BootRead copy = readBoot(source, offset);
        if (copy.status != ReadStatus::Ok)
            return false;
        const ByteReader boot(copy.bytes);
        const BootSectorClass cls = ClassifyBootSector(copy.bytes);
        if (!cls.supported || cls.kind != kind || boot.u16or0(kBytesPerSector) != size)
            return false;
        if (kind == VolumeKind::Ntfs) {
            // The copy of this very volume: its sector count ends just before it. A
            // disk whose last partition is NTFS has that partition's copy there too.
            const std::uint64_t deviceSectors = source.size() / size;
            const std::uint64_t total = boot.u64or0(kNtfsTotalSectors);
            if (total >= deviceSectors || deviceSectors - total > 64)
                return false;
        }
        out = copy.bytes;
        return true;
    };
    for (const std::uint64_t sector : fatSectors)
        for (const std::uint32_t size : kSectorSizes)
            if (accept(sector * size, size, VolumeKind::Fat32))
                return sector * size;
    for (const std::uint32_t size : kSectorSizes)
        if (source.size() >= size && accept(source.size() - size, size, VolumeKind::Ntfs))
            return source.size() - size;
    return std::nullopt;
}

/// The sectors (512-byte units) the boot sector claims for the volume.
std::uint64_t claimedSectors(const ByteReader& boot, std::uint16_t kind, std::uint32_t scale)
{
    std::uint64_t total = 0;
    if (kind == VolumeKind::Exfat) {
        const auto exfatBoot = parseExfatBootSector(boot.bytes());
        if (!exfatBoot)
            return 0;
        total = exfatBoot->volumeLength;
        scale = exfatBoot->bytesPerSector() / kSectorSize;
    } else if (kind == VolumeKind::Ntfs) {
        total = boot.u64or0(kNtfsTotalSectors);
    } else {
        total = boot.u16or0(kTotalSectors16);
        if (total == 0)
            total = boot.u32or0(kTotalSectors32);
    }
    if (total > (~std::uint64_t{0}) / 8)
        return 0;
    return total * scale;
}

/// The data clusters a FAT boot sector with a 16-bit FAT size counts, when
/// its fields are those of a FAT12 or FAT16 volume and its table has an entry
/// for each of them; nothing otherwise.
std::optional<std::uint64_t> fatClusterCount(const ByteReader& boot)
{
    const std::uint32_t bytes = boot.u16or0(kBytesPerSector);
    const std::uint32_t spc = boot.u8or0(kSectorsPerCluster);
    const std::uint64_t reserved = boot.u16or0(kReservedSectors);
    const std::uint64_t fats = boot.u8or0(kFatCount);
    const std::uint64_t fatSectors = boot.u16or0(kFat16FatSectors);
    const std::uint64_t rootEntries = boot.u16or0(kRootEntries);
    std::uint64_t total = boot.u16or0(kTotalSectors16);
    if (total == 0)
        total = boot.u32or0(kTotalSectors32);
    if (!isReadSectorSize(bytes) || !isClusterSizeByte(static_cast<std::uint8_t>(spc)) || reserved == 0 || fats == 0 ||
        fats > 2 || fatSectors == 0 || rootEntries == 0)
        return std::nullopt;
    const std::uint64_t rootSectors = (rootEntries * 32 + bytes - 1) / bytes;
    const std::uint64_t metadata = reserved + fats * fatSectors + rootSectors;
    if (total <= metadata)
        return std::nullopt;
    const std::uint64_t clusters = (total - metadata) / spc;
    // Entries 0 and 1 are the table's own; a 12-bit table is the smallest.
    if (clusters == 0 || clusters + 2 > fatSectors * bytes * 8 / 12)
        return std::nullopt;
    return clusters;
}

/// A FAT32 boot sector told by its fields where its type text says nothing:
/// no fixed root folder, no 16-bit FAT size or sector count, a 32-bit FAT size
/// and sector count, and a FAT with an entry for each cluster they give.
bool isFat32Layout(const ByteReader& boot)
{
    const std::uint32_t bytes = boot.u16or0(kBytesPerSector);
    const std::uint32_t spc = boot.u8or0(kSectorsPerCluster);
    const std::uint64_t reserved = boot.u16or0(kReservedSectors);
    const std::uint64_t fats = boot.u8or0(kFatCount);
    const std::uint64_t fatSectors = boot.u32or0(kFat32FatSectors);
    const std::uint64_t total = boot.u32or0(kTotalSectors32);
    if (!isReadSectorSize(bytes) || !isClusterSizeByte(static_cast<std::uint8_t>(spc)) || reserved == 0 || fats == 0 ||
        fats > 2 || boot.u16or0(kRootEntries) != 0 || boot.u16or0(kFat16FatSectors) != 0 ||
        boot.u16or0(kTotalSectors16) != 0 || fatSectors == 0 || boot.u32or0(kFat32RootCluster) < 2)
        return false;
    const std::uint64_t metadata = reserved + fats * fatSectors;
    if (total <= metadata)
        return false;
    const std::uint64_t clusters = (total - metadata) / spc;
    return clusters != 0 && clusters + 2 <= fatSectors * bytes / 4;
}

} // namespace

std::uint64_t claimedSectorsOf(ByteSpan sector0, std::uint16_t kind)
{
    const ByteReader boot(sector0);
    const std::uint16_t bytesPerSector = boot.u16or0(kBytesPerSector);
    const bool known = bytesPerSector >= kSectorSize && bytesPerSector <= 4096 && std::has_single_bit(bytesPerSector);
    return claimedSectors(boot, kind, known ? bytesPerSector / kSectorSize : 1);
}

std::uint64_t VolumeGeometry::entryAddress(std::uint64_t sector, std::uint64_t byte) const noexcept
{
    // The data area starts two clusters after cluster 0, less the fixed root folder (FAT12, FAT16) before them.
    const std::int64_t dataStart =
        ClusterBaseSector + 2 * static_cast<std::int64_t>(SectorsPerCluster) - std::int64_t{RootDirSectors};
    if (dataStart < 0 || sector < static_cast<std::uint64_t>(dataStart))
        return 0;
    constexpr std::uint64_t kEntryBytes = 32;
    return ((sector - static_cast<std::uint64_t>(dataStart)) * kSectorSize + byte) / kEntryBytes + kFirstEntryAddress;
}

std::optional<std::uint64_t> VolumeGeometry::clusterSector(std::uint64_t cluster) const noexcept
{
    // Cluster numbers are at most 32 bits wide and SectorsPerCluster at most
    // 65,536 (exFAT's 32 MiB clusters), so the product cannot overflow; the
    // base is small and may be negative.
    if (cluster > 0xFFFFFFFFull || SectorsPerCluster > 65536)
        return std::nullopt;
    const std::int64_t sector = ClusterBaseSector + static_cast<std::int64_t>(cluster * SectorsPerCluster);
    if (sector < 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(sector);
}

BootSectorClass ClassifyBootSector(ByteSpan sector0)
{
    const ByteReader boot(sector0);
    BootSectorClass result;
    if (!hasSignature(boot))
        return result;
    if (isExfatBootSector(sector0)) {
        const auto exfatBoot = parseExfatBootSector(sector0);
        result.kind = VolumeKind::Exfat;
        result.clusterSectorsByte = exfatBoot && exfatBoot->sectorsPerCluster() <= 0xFF
                                        ? static_cast<std::uint8_t>(exfatBoot->sectorsPerCluster())
                                        : 0;
        result.supported = exfatBoot.has_value();
        return result;
    }
    // A type text of FAT16 or FAT32 is taken at its word: the classic rules
    // read volumes of a few clusters so. Any other text decides nothing, and the
    // count of clusters, which is what the FAT standard goes by, says FAT12;
    // FAT32's own fields say FAT32.
    if (boot.equals(kNtfsOemId, "NTFS"))
        result.kind = VolumeKind::Ntfs;
    else if (boot.equals(kFat16TypeTail, "16"))
        result.kind = VolumeKind::Fat16;
    else if (boot.equals(kFat32TypeTail, "32") || isFat32Layout(boot))
        result.kind = VolumeKind::Fat32;
    else if (const auto clusters = fatClusterCount(boot); clusters && *clusters < kFat12ClusterLimit)
        result.kind = VolumeKind::Fat12;
    result.clusterSectorsByte = boot.u8or0(kSectorsPerCluster);
    result.supported = result.kind != VolumeKind::Unsupported && isClusterSizeByte(result.clusterSectorsByte);
    return result;
}

std::optional<std::string> UnreadGeometry(ByteSpan sector0, std::uint16_t kind, GeometryRules rules)
{
    const ByteReader boot(sector0);
    const std::uint32_t bytes = boot.u16or0(kBytesPerSector);
    const bool classic = rules == GeometryRules::Classic;
    if (kind == VolumeKind::Exfat) {
        if (classic)
            return std::string("exFAT (the classic rules read FAT16, FAT32 and NTFS)");
        return std::nullopt;
    }
    if (kind == VolumeKind::Fat12 && classic)
        return std::string("FAT12 (4,084 clusters or fewer; the classic rules read FAT16, FAT32 and NTFS)");
    const std::string by =
        classic ? " (the classic rules read 512-byte sectors, two FATs and 1024-byte MFT records)" : std::string{};
    if (classic ? bytes != kSectorSize : !isReadSectorSize(bytes))
        return "bytes per sector " + std::to_string(bytes) + by;
    if (kind != VolumeKind::Ntfs) {
        if (classic && boot.u8or0(kFatCount) == 1)
            return "number of FATs 1" + by;
        return std::nullopt;
    }
    const std::uint64_t clusterBytes = std::uint64_t{bytes} * boot.u8or0(kSectorsPerCluster);
    const std::uint64_t record = recordBytes(boot.u8or0(kNtfsClustersPerRecord), clusterBytes);
    if (classic ? record != kClassicRecordBytes
                : record < kClassicRecordBytes || record > kMaxRecordBytes || (record & (record - 1)) != 0)
        return "MFT record size " + std::to_string(record) + " bytes" + by;
    return std::nullopt;
}

namespace {

/// exFAT's geometry, in 512-byte sectors like the others. Cluster 2 is the
/// heap's first; the second FAT (a volume with two) follows the first.
void fillExfatGeometry(VolumeGeometry& g, const ExfatBoot& b)
{
    const std::uint32_t scale = b.bytesPerSector() / kSectorSize;
    g = VolumeGeometry{};
    g.GeometryKind = VolumeKind::Exfat;
    g.SectorsPerCluster = b.sectorsPerCluster() * scale;
    g.FatSectors = b.fatLength * scale;
    g.ReservedSectors = b.fatOffset * scale;
    g.FirstFatSector = b.fatOffset * scale;
    g.SecondFatSector = b.fatCount == 2 ? (b.fatOffset + b.fatLength) * scale : g.FirstFatSector;
    g.RootDirStart = b.rootCluster;
    g.ClusterCount = b.clusterCount;
    g.ClusterBaseSector =
        std::int64_t{b.clusterHeapOffset} * scale - 2 * static_cast<std::int64_t>(g.SectorsPerCluster);
}

} // namespace

void FillGeometry(VolumeGeometry& g, ByteSpan sector0, std::uint16_t kind, GeometryRules rules)
{
    const ByteReader boot(sector0);
    if (kind == VolumeKind::Exfat) {
        if (const auto exfatBoot = parseExfatBootSector(sector0))
            fillExfatGeometry(g, *exfatBoot);
        return;
    }
    // Every sector number below is in 512-byte units: a volume of 4,096-byte
    // sectors has its fields multiplied by 8.
    const std::uint32_t bytes = sectorBytes(boot, rules);
    const std::uint32_t scale = isReadSectorSize(bytes) ? bytes / kSectorSize : 1;
    const bool oneFat = rules == GeometryRules::Thorough && boot.u8or0(kFatCount) == 1;
    const std::uint32_t fats = oneFat ? 1 : 2;
    g.GeometryKind = kind;
    g.SectorsPerCluster = std::uint32_t{boot.u8or0(kSectorsPerCluster)} * scale;
    g.ClusterBaseSector = 0;
    const std::int64_t twoClusters = 2 * static_cast<std::int64_t>(g.SectorsPerCluster);
    switch (kind) {
    case VolumeKind::Fat12:
    case VolumeKind::Fat16: {
        g.FatSectors = std::uint32_t{boot.u16or0(kFat16FatSectors)} * scale;
        // The root directory fills whole sectors of the volume's own size.
        const std::uint32_t rootBytes = std::uint32_t{boot.u16or0(kRootEntries)} * 32u;
        g.RootDirSectors = scale == 1 ? rootBytes / kSectorSize : (rootBytes + bytes - 1) / bytes * scale;
        g.ReservedSectors = std::uint32_t{boot.u16or0(kReservedSectors)} * scale;
        g.RootDirStart = g.ReservedSectors + fats * g.FatSectors;
        g.ClusterBaseSector = std::int64_t{g.ReservedSectors} + fats * std::int64_t{g.FatSectors} +
                              std::int64_t{g.RootDirSectors} - twoClusters;
        g.FirstFatSector = g.ReservedSectors;
        g.SecondFatSector = oneFat ? g.FirstFatSector : g.ReservedSectors + g.FatSectors;
        break;
    }
    case VolumeKind::Fat32:
        g.FatSectors = boot.u32or0(kFat32FatSectors) * scale;
        g.RootDirSectors = 0;
        g.RootDirStart = boot.u32or0(kFat32RootCluster);
        g.ReservedSectors = std::uint32_t{boot.u16or0(kReservedSectors)} * scale;
        g.ClusterBaseSector = std::int64_t{g.ReservedSectors} + fats * std::int64_t{g.FatSectors} - twoClusters;
        g.FirstFatSector = g.ReservedSectors;
        g.SecondFatSector = oneFat ? g.FirstFatSector : g.ReservedSectors + g.FatSectors;
        break;
    case VolumeKind::Ntfs: {
        g.NtfsReserved = 0;
        if (rules == GeometryRules::Classic) {
            g.MftStartSector = std::uint64_t{boot.u32or0(kNtfsMftCluster)} * g.SectorsPerCluster;
            g.MftRecordSectors = 2;
            const std::uint32_t perIndex = boot.u32or0(kNtfsClustersPerIndex);
            g.IndexRecordSectors = perIndex == kIndexRecordMarker ? 8u : perIndex * g.SectorsPerCluster;
            break;
        }
        const std::uint64_t mftCluster = boot.u64or0(kNtfsMftCluster);
        g.MftStartSector = mftCluster > (~std::uint64_t{0}) / 1024 ? 0 : mftCluster * g.SectorsPerCluster;
        const std::uint64_t clusterBytes = std::uint64_t{g.SectorsPerCluster} * kSectorSize;
        const std::uint64_t record = recordBytes(boot.u8or0(kNtfsClustersPerRecord), clusterBytes);
        g.MftRecordSectors = static_cast<std::uint32_t>(
            std::clamp<std::uint64_t>(record, kClassicRecordBytes, kMaxRecordBytes) / kSectorSize);
        const std::uint64_t index = recordBytes(boot.u8or0(kNtfsClustersPerIndex), clusterBytes);
        g.IndexRecordSectors = static_cast<std::uint32_t>(std::min<std::uint64_t>(index, 1u << 20) / kSectorSize);
        break;
    }
    default:
        break;
    }
}

std::string compressedFormatOf(ByteSpan start)
{
    // Images are often kept compressed; their first bytes say by what.
    struct Magic {
        std::string_view bytes;
        const char* name;
    };
    static constexpr std::array<Magic, 6> kMagics{{
        {std::string_view("\x1F\x8B", 2), "gzip-compressed"},
        {std::string_view("\xFD"
                          "7zXZ\0",
                          6),
         "xz-compressed"},
        {std::string_view("BZh", 3), "bzip2-compressed"},
        {std::string_view("\x28\xB5\x2F\xFD", 4), "zstd-compressed"},
        {std::string_view("PK\x03\x04", 4), "zip"},
        {std::string_view("7z\xBC\xAF\x27\x1C", 6), "7-Zip"},
    }};
    for (const Magic& m : kMagics) {
        if (start.size() < m.bytes.size())
            continue;
        bool same = true;
        for (std::size_t i = 0; i < m.bytes.size() && same; ++i)
            same = start[i] == static_cast<std::byte>(m.bytes[i]);
        if (same)
            return m.name;
    }
    return {};
}

SelectResult SelectDrive(SelectedVolume& volume, const DriveItem& item, DeviceProvider& devices, GeometryRules rules)
{
    VolumeInfo& info = volume.info;
    info.DevicePath = item.devicePath;
    OpenResult opened = devices.open(item.devicePath);
    info.VolumeLabel = devices.volumeLabel(item.devicePath).value_or(std::string{});
    info.BytesPerSector = kSectorSize;
    info.FileSystemSectors = 0;
    info.BackupBootSector = false;
    info.BackupBootSectorAt = 0;
    info.GeometryRebuilt = false;

    auto unsupported = [&](SelectStatus status, std::string detail = {}) {
        info.VolumeSupported = 0;
        info.DevicePath = " ";
        info.FileSystemKind = VolumeKind::Unsupported;
        info.VolumeClusterSectors = 0;
        info.VolumeSectors = 0;
        info.BytesPerSector = kSectorSize;
        info.FileSystemSectors = 0;
        info.BackupBootSector = false;
        volume.reader.setDevice(" ", nullptr);
        return SelectResult{status, std::move(detail)};
    };

    if (!opened.source) {
        SelectResult refused = unsupported(SelectStatus::CannotOpen, opened.error);
        refused.accessDenied = opened.accessDenied;
        return refused;
    }
    const std::shared_ptr<const BlockSource> source = std::move(opened.source);
    info.VolumeSupported = 1;
    info.VolumeSectors = source->size() / kSectorSize;

    const BootRead main = readBoot(*source, 0);
    std::array<std::byte, kSectorSize> sector0 = main.bytes;
    BootSectorClass cls = main.status == ReadStatus::Ok ? ClassifyBootSector(sector0) : BootSectorClass{};
    const bool exfatMain = main.status == ReadStatus::Ok && isExfatBootSector(sector0);
    if (rules == GeometryRules::Thorough && (exfatMain || !cls.supported)) {
        // exFAT keeps a checksum over its boot region: a main region that fails
        // it gives way to the backup region, which also stands in for a main
        // boot sector that cannot be read or is no boot sector at all.
        if (const auto region = readExfatBootRegion(*source)) {
            if (const BootRead used = readBoot(*source, region->offset); used.status == ReadStatus::Ok) {
                sector0 = used.bytes;
                cls = ClassifyBootSector(sector0);
                info.BackupBootSector = region->backup;
                info.BackupBootSectorAt = region->backup ? region->offset : 0;
            }
        }
    }
    if (cls.supported && cls.kind == VolumeKind::Fat32 && claimedSectorsOf(sector0, cls.kind) == 0) {
        // A FAT32 boot sector that counts no sectors is damaged; its backup may count them.
        std::array<std::byte, kSectorSize> copy{};
        if (const auto backup = findBackupBoot(*source, main, copy);
            backup && claimedSectorsOf(copy, VolumeKind::Fat32) != 0) {
            sector0 = copy;
            info.BackupBootSector = true;
            info.BackupBootSectorAt = *backup;
        }
    }
    if (!cls.supported) {
        // A whole disk's partition table is no damaged boot sector: its last
        // sector may hold the backup of its last partition, not of the disk.
        const bool partitionTable = main.status == ReadStatus::Ok && hasSignature(ByteReader(sector0)) &&
                                    !ReadPartitionTable(*source).partitions.empty();
        const std::optional<std::uint64_t> backup =
            partitionTable ? std::nullopt : findBackupBoot(*source, main, sector0);
        // No boot sector at all: a FAT volume's geometry is worked out from what it still holds.
        const auto rebuilt =
            backup || rules != GeometryRules::Thorough || !ReadPartitionTable(*source).partitions.empty()
                ? std::nullopt
                : RebuildFatBootSector(*source);
        if (!backup && !rebuilt) {
            if (main.status == ReadStatus::Failed)
                return unsupported(SelectStatus::Unreadable);
            SelectResult notVolume = unsupported(SelectStatus::NotAVolume, compressedFormatOf(main.bytes));
            const PartitionTable table = ReadPartitionTable(*source);
            notVolume.emptyGpt = table.scheme == PartitionScheme::Gpt && table.partitions.empty();
            return notVolume;
        }
        if (rebuilt)
            sector0 = *rebuilt;
        cls = ClassifyBootSector(sector0);
        info.BackupBootSector = backup.has_value();
        info.BackupBootSectorAt = backup.value_or(0);
        info.GeometryRebuilt = rebuilt.has_value();
    }
    info.FileSystemKind = cls.kind;
    info.VolumeClusterSectors = cls.clusterSectorsByte;
    if (auto field = UnreadGeometry(sector0, cls.kind, rules))
        return unsupported(SelectStatus::UnsupportedGeometry, std::move(*field));

    const ByteReader boot(sector0);
    const auto exfatBoot = cls.kind == VolumeKind::Exfat ? parseExfatBootSector(sector0) : std::nullopt;
    info.BytesPerSector = exfatBoot ? exfatBoot->bytesPerSector() : sectorBytes(boot, rules);
    if (exfatBoot)
        info.VolumeClusterSectors = exfatBoot->sectorsPerCluster();
    info.FileSystemSectors = claimedSectors(boot, cls.kind, info.BytesPerSector / kSectorSize);
    volume.partition.PartitionStartSector = 0;
    volume.partition.PartitionSectors = static_cast<std::uint32_t>(info.VolumeSectors);
    FillGeometry(volume.geometry, sector0, cls.kind, rules);
    volume.reader.setDevice(item.devicePath, source);
    return {};
}

std::string selectFailureText(const SelectResult& result)
{
    switch (result.status) {
    case SelectStatus::Ready:
        return {};
    case SelectStatus::CannotOpen:
        return "cannot open it: " + (result.detail.empty() ? std::string("unknown reason") : result.detail);
    case SelectStatus::Unreadable:
        return "its boot sector cannot be read (I/O error), nor a backup of it";
    case SelectStatus::NotAVolume:
        if (result.emptyGpt)
            return "a disk whose GPT partition table names no partition: there is no volume to read";
        if (!result.detail.empty())
            return "not a FAT12, FAT16, FAT32, exFAT or NTFS volume but a " + result.detail +
                   " file: decompress it and open what comes out";
        return "not a FAT12, FAT16, FAT32, exFAT or NTFS volume";
    case SelectStatus::UnsupportedGeometry:
        return "a geometry these rules do not read: " + result.detail;
    }
    return {};
}

namespace {

/// A byte count as "N bytes", "N.N KiB", "N.N MiB" or "N.N GiB".
std::string byteText(std::uint64_t bytes)
{
    static constexpr std::pair<std::uint64_t, const char*> kUnits[] = {
        {std::uint64_t{1} << 30, " GiB"}, {std::uint64_t{1} << 20, " MiB"}, {std::uint64_t{1} << 10, " KiB"}};
    for (const auto& [unit, name] : kUnits) {
        if (bytes < unit)
            continue;
        const std::uint64_t tenths = bytes / (unit / 10) % 10;
        return std::to_string(bytes / unit) + "." + std::to_string(tenths) + name;
    }
    return std::to_string(bytes) + " bytes";
}

} // namespace

std::optional<std::string> truncationText(const VolumeInfo& info)
{
    if (info.VolumeSupported != 1 || info.FileSystemSectors <= info.VolumeSectors)
        return std::nullopt;
    const std::uint64_t scale = std::max<std::uint32_t>(info.BytesPerSector / kSectorSize, 1);
    const std::uint64_t missing = info.FileSystemSectors - info.VolumeSectors;
    // A damaged boot sector may claim more bytes than 64 bits count.
    const std::uint64_t bytes = missing > std::numeric_limits<std::uint64_t>::max() / kSectorSize
                                    ? std::numeric_limits<std::uint64_t>::max()
                                    : missing * kSectorSize;
    const auto percent =
        static_cast<unsigned>(static_cast<double>(missing) * 100.0 / static_cast<double>(info.FileSystemSectors));
    return "the image ends at sector " + std::to_string(info.VolumeSectors / scale) + " of the volume's " +
           std::to_string(info.FileSystemSectors / scale) + ": " + byteText(bytes) + " (" + std::to_string(percent) +
           "%) is missing";
}

std::optional<std::string> backupBootText(const VolumeInfo& info)
{
    if (info.VolumeSupported == 1 && info.GeometryRebuilt)
        return std::string("geometry rebuilt from the allocation tables and folders; the boot sector is gone and "
                           "has no backup");
    if (info.VolumeSupported != 1 || !info.BackupBootSector)
        return std::nullopt;
    const std::uint64_t size = std::max<std::uint32_t>(info.BytesPerSector, kSectorSize);
    return "read from the backup boot sector (sector " + std::to_string(info.BackupBootSectorAt / size) +
           "); the main one cannot be read or is damaged";
}

std::string fileSystemName(std::uint16_t kind)
{
    if (kind == VolumeKind::Fat12)
        return "FAT12";
    if (kind == VolumeKind::Fat16)
        return "FAT16";
    if (kind == VolumeKind::Fat32)
        return "FAT32";
    if (kind == VolumeKind::Ntfs)
        return "NTFS";
    return kind == VolumeKind::Exfat ? "exFAT" : "";
}

const char* fileSystemKeyword(std::uint16_t kind) noexcept
{
    switch (kind) {
    case VolumeKind::Fat12:
        return "fat12";
    case VolumeKind::Fat16:
        return "fat16";
    case VolumeKind::Fat32:
        return "fat32";
    case VolumeKind::Exfat:
        return "exfat";
    case VolumeKind::Ntfs:
        return "ntfs";
    case VolumeKind::Unsupported:
        return "unsupported";
    default:
        return "unknown";
    }
}

VolumeInfoTexts ShowVolumeInfo(const VolumeInfo& info)
{
    VolumeInfoTexts texts;
    texts.label = info.VolumeLabel;
    const auto mebibytes = static_cast<std::uint32_t>(info.VolumeSectors / 2 / 1024);
    texts.capacity = std::to_string(mebibytes) + " MB ( Approx )";
    texts.sectorsPerCluster = std::to_string(info.VolumeClusterSectors);
    texts.bytesPerSector = std::to_string(info.BytesPerSector);
    texts.fileSystem = info.VolumeSupported == 1 ? fileSystemName(info.FileSystemKind) : "NOT READY";
    return texts;
}

std::string sectorText(std::int64_t value)
{
    if (value < 0)
        return std::to_string(static_cast<std::uint32_t>(value));
    return std::to_string(value);
}

} // namespace sarvik::disk
