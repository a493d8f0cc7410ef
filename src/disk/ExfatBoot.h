// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The exFAT boot region: twelve sectors (boot sector, eight extended boot
// sectors, OEM parameters, a reserved sector, and a sector filled with the
// region's checksum), followed by a backup copy of all twelve.

#include "disk/BlockSource.h"
#include "disk/ByteReader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sarvik::disk {

/// Sectors of one boot region; the backup region follows the main one.
inline constexpr std::uint32_t kExfatBootRegionSectors = 12;

/// The fields of an exFAT boot sector that the program reads. Sector counts are
/// in the volume's own sectors (1 << bytesPerSectorShift bytes).
struct ExfatBoot {
    std::uint64_t volumeLength = 0; ///< sectors of the volume
    std::uint32_t fatOffset = 0;    ///< first sector of the first FAT
    std::uint32_t fatLength = 0;    ///< sectors of one FAT
    std::uint32_t clusterHeapOffset = 0;
    std::uint32_t clusterCount = 0;
    std::uint32_t rootCluster = 0;
    std::uint32_t serial = 0;
    std::uint16_t revision = 0; ///< major in the high byte
    std::uint16_t flags = 0;
    std::uint8_t bytesPerSectorShift = 0;
    std::uint8_t sectorsPerClusterShift = 0;
    std::uint8_t fatCount = 0;

    [[nodiscard]] std::uint32_t bytesPerSector() const noexcept { return std::uint32_t{1} << bytesPerSectorShift; }
    [[nodiscard]] std::uint32_t sectorsPerCluster() const noexcept
    {
        return std::uint32_t{1} << sectorsPerClusterShift;
    }
};

/// True when `sector0` carries the exFAT name ("EXFAT   " at offset 3) and the boot signature.
[[nodiscard]] bool isExfatBootSector(ByteSpan sector0) noexcept;

/// The boot sector's fields when they describe a volume that can be read: sector
/// size 512 to 4,096 bytes, clusters of at most 32 MiB, a FAT after the boot
/// regions, a cluster heap after the FATs, a root folder inside the heap.
[[nodiscard]] std::optional<ExfatBoot> parseExfatBootSector(ByteSpan sector0);

/// The checksum of a boot region's first eleven sectors (`region` holds at least
/// 11 * bytesPerSector bytes); the volume flags and the percent-in-use byte of
/// the boot sector are left out, as they change while the volume is in use.
[[nodiscard]] std::uint32_t exfatBootRegionChecksum(ByteSpan region, std::uint32_t bytesPerSector);

/// A boot region as read from a device.
struct ExfatBootRegion {
    ExfatBoot boot;
    bool backup = false;      ///< read from the backup region (the main one is damaged or unreadable)
    bool checksumOk = false;  ///< the region's twelfth sector holds its checksum
    std::uint64_t offset = 0; ///< byte offset of the boot sector used
};

/// Reads the main boot region and checks its checksum; when it cannot be read,
/// does not parse or fails the check, the backup region is tried (at each sector
/// size, since the main region's is not to be trusted). A main region that parses
/// but fails its check is still used when no backup passes. Nothing when neither
/// holds an exFAT boot sector.
[[nodiscard]] std::optional<ExfatBootRegion> readExfatBootRegion(const BlockSource& source);

} // namespace sarvik::disk

namespace sarvik::disk {

/// One value of an exFAT volume for the drive information: a name for JSON, a
/// label for text, and a number or a text.
struct ExfatVolumeFact {
    std::string key;   ///< "exfatSerial"
    std::string label; ///< "Volume Serial"
    std::optional<std::uint64_t> number;
    std::string text; ///< when there is no number
};

/// The boot region's values (serial, FAT, heap, root, which region was read and
/// whether its checksum holds); empty when `source` holds no exFAT boot region.
[[nodiscard]] std::vector<ExfatVolumeFact> describeExfatBootRegion(const BlockSource& source);

} // namespace sarvik::disk
