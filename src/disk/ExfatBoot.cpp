// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/ExfatBoot.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace sarvik::disk {

namespace {

// Boot-sector fields (offsets from the start of the boot sector).
constexpr std::size_t kFileSystemName = 3;           // "EXFAT   "
constexpr std::size_t kVolumeLength = 72;            // u64, sectors of the volume
constexpr std::size_t kFatOffset = 80;               // u32, sector of the first FAT
constexpr std::size_t kFatLength = 84;               // u32, sectors per FAT
constexpr std::size_t kClusterHeapOffset = 88;       // u32, sector of cluster 2
constexpr std::size_t kClusterCount = 92;            // u32, clusters of the heap
constexpr std::size_t kRootCluster = 96;             // u32, first cluster of the root folder
constexpr std::size_t kVolumeSerial = 100;           // u32
constexpr std::size_t kRevision = 104;               // u16, major.minor
constexpr std::size_t kVolumeFlags = 106;            // u16, left out of the checksum
constexpr std::size_t kBytesPerSectorShift = 108;    // u8, 9..12
constexpr std::size_t kSectorsPerClusterShift = 109; // u8, at most 25 - bytes-per-sector shift
constexpr std::size_t kFatCount = 110;               // u8, 1 or 2
constexpr std::size_t kPercentInUse = 112;           // u8, left out of the checksum
constexpr std::size_t kSignature = 510;              // 0x55 0xAA

constexpr std::uint8_t kMinSectorShift = 9;
constexpr std::uint8_t kMaxSectorShift = 12;
constexpr std::uint8_t kMaxClusterShift = 25; // 32 MiB clusters
/// Clusters above this number are marks in the FAT (bad cluster, end of chain).
constexpr std::uint32_t kMaxClusterCount = 0xFFFFFFF5u;
constexpr std::uint32_t kChecksumSector = 11;

} // namespace

bool isExfatBootSector(ByteSpan sector0) noexcept
{
    const ByteReader boot(sector0);
    return boot.equals(kFileSystemName, "EXFAT   ") && boot.u8or0(kSignature) == 0x55 &&
           boot.u8or0(kSignature + 1) == 0xAA;
}

std::optional<ExfatBoot> parseExfatBootSector(ByteSpan sector0)
{
    if (!isExfatBootSector(sector0))
        return std::nullopt;
    const ByteReader r(sector0);
    ExfatBoot b;
    b.volumeLength = r.u64or0(kVolumeLength);
    b.fatOffset = r.u32or0(kFatOffset);
    b.fatLength = r.u32or0(kFatLength);
    b.clusterHeapOffset = r.u32or0(kClusterHeapOffset);
    b.clusterCount = r.u32or0(kClusterCount);
    b.rootCluster = r.u32or0(kRootCluster);
    b.serial = r.u32or0(kVolumeSerial);
    b.revision = r.u16or0(kRevision);
    b.flags = r.u16or0(kVolumeFlags);
    b.bytesPerSectorShift = r.u8or0(kBytesPerSectorShift);
    b.sectorsPerClusterShift = r.u8or0(kSectorsPerClusterShift);
    b.fatCount = r.u8or0(kFatCount);
    if (b.bytesPerSectorShift < kMinSectorShift || b.bytesPerSectorShift > kMaxSectorShift ||
        b.sectorsPerClusterShift > kMaxClusterShift - b.bytesPerSectorShift)
        return std::nullopt;
    if (b.fatCount != 1 && b.fatCount != 2)
        return std::nullopt;
    // The FATs lie after both boot regions, the heap after the FATs, and the
    // engines hold these sector numbers (in 512-byte units) in 32 bits.
    const std::uint64_t fatsEnd = std::uint64_t{b.fatOffset} + std::uint64_t{b.fatLength} * b.fatCount;
    const std::uint64_t scale = b.bytesPerSector() / 512;
    if (b.fatOffset < 2 * kExfatBootRegionSectors || b.fatLength == 0 || b.clusterHeapOffset < fatsEnd ||
        fatsEnd * scale > 0xFFFFFFFFull || std::uint64_t{b.clusterHeapOffset} * scale > 0xFFFFFFFFull)
        return std::nullopt;
    // The FAT has an entry for every cluster, the first two included.
    if (b.clusterCount == 0 || b.clusterCount > kMaxClusterCount ||
        (std::uint64_t{b.clusterCount} + 2) * 4 > std::uint64_t{b.fatLength} * b.bytesPerSector())
        return std::nullopt;
    if (b.rootCluster < 2 || b.rootCluster - 2 >= b.clusterCount)
        return std::nullopt;
    return b;
}

std::uint32_t exfatBootRegionChecksum(ByteSpan region, std::uint32_t bytesPerSector)
{
    const std::size_t length = std::min<std::size_t>(region.size(), std::size_t{kChecksumSector} * bytesPerSector);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (i == kVolumeFlags || i == kVolumeFlags + 1 || i == kPercentInUse)
            continue;
        sum = ((sum & 1u) != 0 ? 0x80000000u : 0u) + (sum >> 1) + std::to_integer<std::uint32_t>(region[i]);
    }
    return sum;
}

namespace {

/// The region at `offset` when its boot sector parses with `bytesPerSector`
/// (any size when 0); its checksum is checked against its twelfth sector.
std::optional<ExfatBootRegion> readRegion(const BlockSource& source, std::uint64_t offset, std::uint32_t bytesPerSector)
{
    std::vector<std::byte> first(512);
    if (source.read(offset, first) != disk::ReadStatus::Ok)
        return std::nullopt;
    const auto boot = parseExfatBootSector(first);
    if (!boot || (bytesPerSector != 0 && boot->bytesPerSector() != bytesPerSector))
        return std::nullopt;
    ExfatBootRegion region{*boot, false, false, offset};
    const std::uint32_t size = boot->bytesPerSector();
    std::vector<std::byte> bytes(std::size_t{kExfatBootRegionSectors} * size);
    if (source.read(offset, bytes) != disk::ReadStatus::Ok)
        return region;
    const std::uint32_t sum = exfatBootRegionChecksum(bytes, size);
    const ByteReader check(ByteSpan(bytes).subspan(std::size_t{kChecksumSector} * size, size));
    region.checksumOk = true;
    for (std::uint32_t at = 0; at < size; at += 4)
        if (check.u32or0(at) != sum)
            region.checksumOk = false;
    return region;
}

} // namespace

std::optional<ExfatBootRegion> readExfatBootRegion(const BlockSource& source)
{
    const std::optional<ExfatBootRegion> main = readRegion(source, 0, 0);
    if (main && main->checksumOk)
        return main;
    for (std::uint8_t shift = kMinSectorShift; shift <= kMaxSectorShift; ++shift) {
        const std::uint32_t size = std::uint32_t{1} << shift;
        auto backup = readRegion(source, std::uint64_t{kExfatBootRegionSectors} * size, size);
        if (backup && backup->checksumOk) {
            backup->backup = true;
            return backup;
        }
    }
    return main;
}

} // namespace sarvik::disk

namespace sarvik::disk {

std::vector<ExfatVolumeFact> describeExfatBootRegion(const BlockSource& source)
{
    const auto region = readExfatBootRegion(source);
    if (!region)
        return {};
    const ExfatBoot& b = region->boot;
    char serial[16];
    std::snprintf(serial, sizeof serial, "%04X-%04X", b.serial >> 16, b.serial & 0xFFFFu);
    char revision[16];
    std::snprintf(revision, sizeof revision, "%u.%02u", unsigned{b.revision} >> 8, b.revision & 0xFFu);
    const char* state = region->checksumOk ? (region->backup ? "backup region (main region damaged)" : "checksum ok")
                                           : "checksum does not match";
    return {
        {"exfatSerial", "Volume Serial", std::nullopt, serial},
        {"exfatRevision", "Revision", std::nullopt, revision},
        {"exfatFatOffset", "FAT Offset", b.fatOffset, {}},
        {"exfatFatLength", "FAT Length", b.fatLength, {}},
        {"exfatFatCount", "FATs", b.fatCount, {}},
        {"exfatClusterHeapOffset", "Cluster Heap", b.clusterHeapOffset, {}},
        {"exfatClusterCount", "Cluster Count", b.clusterCount, {}},
        {"exfatRootCluster", "Root Cluster", b.rootCluster, {}},
        {"exfatBootRegion", "Boot Region", std::nullopt, state},
    };
}

} // namespace sarvik::disk
