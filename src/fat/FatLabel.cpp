// SPDX-License-Identifier: GPL-3.0-or-later
#include "fat/FatLabel.h"

#include "disk/ByteReader.h"
#include "fat/DirectoryEntry.h"

#include <algorithm>
#include <vector>

namespace sarvik::fat {

namespace {

// Boot sector fields of the label (the extended boot record).
constexpr std::size_t kFat16Signature = 0x26; // u8: 0x29 when the label and serial fields follow
constexpr std::size_t kFat16Label = 0x2B;     // 11 bytes, blank-padded
constexpr std::size_t kFat32Signature = 0x42; // u8: 0x29, as above
constexpr std::size_t kFat32Label = 0x47;     // 11 bytes, blank-padded
constexpr std::uint8_t kExtendedBootSignature = 0x29;
// Root sectors looked at for the label entry, at most.
constexpr std::uint32_t kMaxRootSectors = 64;

/// The 11 bytes at `at` without their trailing blanks; nothing when blank or "NO NAME".
std::optional<std::string> labelText(const disk::ByteReader& r, std::size_t at)
{
    std::string text;
    for (std::size_t i = 0; i < dirent::kShortNameBytes; ++i)
        text += static_cast<char>(r.u8or0(at + i));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
        text.pop_back();
    if (text.empty() || text == "NO NAME")
        return std::nullopt;
    return text;
}

} // namespace

std::optional<std::string> readVolumeLabel(const disk::SelectedVolume& volume)
{
    const disk::VolumeGeometry& g = volume.geometry;
    const bool fat32 = g.GeometryKind == disk::VolumeKind::Fat32;
    std::optional<std::uint64_t> root = g.RootDirStart;
    std::uint32_t sectors = g.RootDirSectors;
    if (fat32) {
        root = g.clusterSector(g.RootDirStart);
        sectors = g.SectorsPerCluster;
    }
    sectors = std::min(sectors, kMaxRootSectors);
    if (root && sectors > 0) {
        std::vector<std::byte> bytes(std::size_t{sectors} * disk::kSectorSize);
        if (volume.reader.read(*root, sectors, bytes) == disk::ReadStatus::Ok) {
            const disk::ByteReader r(bytes);
            for (std::size_t at = 0; at + dirent::kEntrySize <= bytes.size(); at += dirent::kEntrySize) {
                const std::uint8_t first = r.u8or0(at + dirent::kName);
                if (first == 0)
                    break; // the folder's end
                const std::uint8_t attributes = r.u8or0(at + dirent::kAttributes);
                constexpr std::uint8_t kDirectoryBit = 0x10;
                if (first != dirent::kDeletedMark && attributes != dirent::kLongNameAttributes &&
                    (attributes & (dirent::kVolumeLabelBit | kDirectoryBit)) == dirent::kVolumeLabelBit)
                    return labelText(r, at + dirent::kName);
            }
        }
    }
    std::vector<std::byte> boot(disk::kSectorSize);
    if (volume.reader.read(0, 1, boot) != disk::ReadStatus::Ok)
        return std::nullopt;
    const disk::ByteReader r(boot);
    if (r.u8or0(fat32 ? kFat32Signature : kFat16Signature) != kExtendedBootSignature)
        return std::nullopt;
    return labelText(r, fat32 ? kFat32Label : kFat16Label);
}

} // namespace sarvik::fat
