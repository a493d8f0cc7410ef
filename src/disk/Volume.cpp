#include "disk/Volume.h"

#include <array>

namespace sarvik::disk {

namespace {

// Boot-sector fields that are looked at (offsets from the start of sector 0).
constexpr std::size_t kNtfsOemId = 3;              // "NTFS" at 3..6
constexpr std::size_t kSectorsPerCluster = 13;     // u8
constexpr std::size_t kReservedSectors = 14;       // u16
constexpr std::size_t kRootEntries = 17;           // u16, FAT16 root directory entries
constexpr std::size_t kFat16FatSectors = 22;       // u16, FAT16 sectors per FAT
constexpr std::size_t kFat32FatSectors = 36;       // u32, FAT32 sectors per FAT
constexpr std::size_t kFat32RootCluster = 44;      // u32, FAT32 root directory first cluster
constexpr std::size_t kNtfsMftCluster = 48;        // u32, low half of the MFT's cluster number
constexpr std::size_t kFat16TypeTail = 57;         // "16": the end of the type text at 54
constexpr std::size_t kNtfsClustersPerIndex = 68;  // u32, clusters per index record, compared whole
constexpr std::size_t kFat32TypeTail = 85;         // "32": the end of the type text at 82
constexpr std::size_t kSignature = 510;            // 0x55 0xAA

constexpr std::uint32_t kIndexRecordMarker = 0xF4;

bool isClusterSizeByte(std::uint8_t value)
{
    return value != 0 && (value & (value - 1)) == 0; // 1, 2, 4 ... 128
}

} // namespace

std::optional<std::uint64_t> VolumeGeometry::clusterSector(std::uint64_t cluster) const noexcept
{
    // Cluster numbers are at most 32 bits wide and SectorsPerCluster at most 128,
    // so the product cannot overflow; the base is small and may be negative.
    if (cluster > 0xFFFFFFFFull || SectorsPerCluster > 255)
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
    if (boot.u8or0(kSignature) != 0x55 || boot.u8or0(kSignature + 1) != 0xAA)
        return result;
    if (boot.equals(kNtfsOemId, "NTFS"))
        result.kind = VolumeKind::Ntfs;
    else if (boot.equals(kFat16TypeTail, "16"))
        result.kind = VolumeKind::Fat16;
    else if (boot.equals(kFat32TypeTail, "32"))
        result.kind = VolumeKind::Fat32;
    result.clusterSectorsByte = boot.u8or0(kSectorsPerCluster);
    result.supported = result.kind != VolumeKind::Unsupported && isClusterSizeByte(result.clusterSectorsByte);
    return result;
}

void FillGeometry(VolumeGeometry& g, ByteSpan sector0, std::uint16_t kind)
{
    const ByteReader boot(sector0);
    g.GeometryKind = kind;
    g.SectorsPerCluster = boot.u8or0(kSectorsPerCluster);
    g.ClusterBaseSector = 0;
    const std::int64_t twoClusters = 2 * static_cast<std::int64_t>(g.SectorsPerCluster);
    switch (kind) {
    case VolumeKind::Fat16:
        g.FatSectors = boot.u16or0(kFat16FatSectors);
        g.RootDirSectors = boot.u16or0(kRootEntries) / 16u;
        g.ReservedSectors = boot.u16or0(kReservedSectors);
        g.RootDirStart = g.ReservedSectors + 2 * g.FatSectors;
        g.ClusterBaseSector = std::int64_t{g.ReservedSectors} + 2 * std::int64_t{g.FatSectors} +
                              std::int64_t{g.RootDirSectors} - twoClusters;
        g.FirstFatSector = g.ReservedSectors;
        g.SecondFatSector = g.ReservedSectors + g.FatSectors;
        break;
    case VolumeKind::Fat32:
        g.FatSectors = boot.u32or0(kFat32FatSectors);
        g.RootDirSectors = 0;
        g.RootDirStart = boot.u32or0(kFat32RootCluster);
        g.ReservedSectors = boot.u16or0(kReservedSectors);
        g.ClusterBaseSector = std::int64_t{g.ReservedSectors} + 2 * std::int64_t{g.FatSectors} - twoClusters;
        g.FirstFatSector = g.ReservedSectors;
        g.SecondFatSector = g.ReservedSectors + g.FatSectors;
        break;
    case VolumeKind::Ntfs: {
        g.MftStartSector = std::uint64_t{boot.u32or0(kNtfsMftCluster)} * g.SectorsPerCluster;
        g.NtfsReserved = 0;
        g.MftRecordSectors = 2;
        const std::uint32_t perIndex = boot.u32or0(kNtfsClustersPerIndex);
        g.IndexRecordSectors = perIndex == kIndexRecordMarker ? 8u : perIndex * g.SectorsPerCluster;
        break;
    }
    default:
        break;
    }
}

bool SelectDrive(SelectedVolume& volume, const DriveItem& item, DeviceProvider& devices)
{
    VolumeInfo& info = volume.info;
    info.DevicePath = item.devicePath;
    std::shared_ptr<const BlockSource> source = devices.open(item.devicePath);
    info.VolumeLabel = devices.volumeLabel(item.devicePath).value_or(std::string{});

    auto unsupported = [&] {
        info.VolumeSupported = 0;
        info.DevicePath = " ";
        info.VolumeKind = VolumeKind::Unsupported;
        info.VolumeClusterSectors = 0;
        info.VolumeSectors = 0;
        volume.reader.setDevice(" ", nullptr);
        return false;
    };

    if (!source)
        return unsupported();
    info.VolumeSupported = 1;
    info.VolumeSectors = source->size() / kSectorSize;

    std::array<std::byte, kSectorSize> sector0{};
    if (source->read(0, sector0) != ReadStatus::Ok)
        return unsupported();
    const ByteReader boot(sector0);
    if (boot.u8or0(kSignature) != 0x55 || boot.u8or0(kSignature + 1) != 0xAA)
        return unsupported();

    const BootSectorClass cls = ClassifyBootSector(sector0);
    info.VolumeKind = cls.kind;
    info.VolumeClusterSectors = cls.clusterSectorsByte;
    if (!cls.supported)
        return unsupported();

    volume.partition.PartitionStartSector = 0;
    volume.partition.PartitionSectors = static_cast<std::uint32_t>(info.VolumeSectors);
    FillGeometry(volume.geometry, sector0, cls.kind);
    volume.reader.setDevice(item.devicePath, std::move(source));
    return true;
}

std::string fileSystemName(std::uint16_t kind)
{
    switch (kind) {
    case VolumeKind::Fat16:
        return "FAT16";
    case VolumeKind::Fat32:
        return "FAT32";
    case VolumeKind::Ntfs:
        return "NTFS";
    default:
        return {};
    }
}

VolumeInfoTexts ShowVolumeInfo(const VolumeInfo& info)
{
    VolumeInfoTexts texts;
    texts.label = info.VolumeLabel;
    const auto mebibytes = static_cast<std::uint32_t>(info.VolumeSectors / 2 / 1024);
    texts.capacity = std::to_string(mebibytes) + " MB ( Approx )";
    texts.sectorsPerCluster = std::to_string(info.VolumeClusterSectors);
    texts.bytesPerSector = "512";
    texts.fileSystem = info.VolumeSupported == 1 ? fileSystemName(info.VolumeKind) : "NOT READY";
    return texts;
}

std::string sectorText(std::int64_t value)
{
    if (value < 0)
        return std::to_string(static_cast<std::uint32_t>(value));
    return std::to_string(value);
}

} // namespace sarvik::disk
