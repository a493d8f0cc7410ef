// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/FatRebuild.h"

#include "disk/ByteReader.h"
#include "disk/Volume.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>
#include <vector>

namespace sarvik::disk {

namespace {

using Sector = std::array<std::byte, kSectorSize>;

/// Sectors looked at for the first FAT's start (reserved sectors are few).
constexpr std::uint64_t kMaxReserved = 4096;
/// The largest FAT looked for: a FAT32 of 2^28 clusters.
constexpr std::uint64_t kMaxFatSectors = (std::uint64_t{1} << 28) * 4 / kSectorSize;
/// Bytes read at once while looking for the second FAT and for folders.
constexpr std::uint64_t kBlockSectors = 2048;
/// Sectors of the data area searched for folders' "." entries.
constexpr std::uint64_t kFolderSearchSectors = std::uint64_t{128} << 11; // 128 MiB
/// Folders looked at, at most, to settle the cluster size.
constexpr std::size_t kMaxFolders = 64;
/// The root folder sizes FAT12 and FAT16 volumes are made with, most usual first.
constexpr std::array<std::uint32_t, 6> kRootEntries{512, 1024, 256, 2048, 224, 112};

bool readSector(const BlockSource& source, std::uint64_t sector, Sector& out)
{
    return sector < source.size() / kSectorSize && source.read(sector * kSectorSize, out) == ReadStatus::Ok;
}

enum class Width { None, Fat12, Fat16, Fat32 };

/// A FAT's first sector: the media byte, then ones, as wide as the entries are.
/// FAT12's two first entries take three bytes, so its fourth byte is cluster
/// 2's and may be 0xFF too: such a table is told from FAT16 by its size later.
Width fatStart(const Sector& s)
{
    const ByteReader r(s);
    const std::uint8_t media = r.u8or0(0);
    if ((media != 0xF0 && media < 0xF8) || r.u8or0(1) != 0xFF || r.u8or0(2) != 0xFF)
        return Width::None;
    if (r.u8or0(3) == 0x0F && (r.u32or0(4) & 0x0FFFFFFF) >= 0x0FFFFFF8)
        return Width::Fat32;
    if (r.u8or0(3) == 0xFF)
        return Width::Fat16;
    return Width::Fat12;
}

unsigned widthBits(Width w)
{
    if (w == Width::Fat12)
        return 12;
    return w == Width::Fat32 ? 32 : 16;
}

/// A folder's first sector, by its "." and ".." entries: its own cluster.
std::optional<std::uint32_t> dotCluster(ByteSpan s, bool fat32)
{
    const ByteReader r(s);
    if (!r.equals(0, ".          ") || (r.u8or0(11) & 0x10) == 0 || !r.equals(32, "..         "))
        return std::nullopt;
    const std::uint32_t high = fat32 ? std::uint32_t{r.u16or0(20)} << 16 : 0;
    const std::uint32_t cluster = high | r.u16or0(26);
    return cluster >= 2 ? std::optional(cluster) : std::nullopt;
}

struct Found {
    std::uint64_t reserved = 0;
    std::uint64_t fatSectors = 0;
    Width width = Width::None;
    std::uint8_t media = 0;
};

/// The first FAT and the copy after it.
std::optional<Found> findFatPair(const BlockSource& source, std::uint64_t total)
{
    Found f;
    Sector first{};
    for (std::uint64_t s = 1; s < std::min(total, kMaxReserved) && f.width == Width::None; ++s) {
        if (!readSector(source, s, first))
            continue;
        // A boot sector before the FAT starts a volume of its own there (a
        // disk whose table is gone): that FAT is not this source's.
        if (ClassifyBootSector(first).supported)
            return std::nullopt;
        if ((f.width = fatStart(first)) != Width::None)
            f.reserved = s;
    }
    if (f.width == Width::None)
        return std::nullopt;
    f.media = std::to_integer<std::uint8_t>(first[0]);
    std::vector<std::byte> block;
    const std::uint64_t last = std::min(total, f.reserved + kMaxFatSectors);
    for (std::uint64_t at = f.reserved + 1; at < last; at += kBlockSectors) {
        const std::uint64_t n = std::min(kBlockSectors, last - at);
        block.resize(static_cast<std::size_t>(n * kSectorSize));
        if (source.read(at * kSectorSize, block) != ReadStatus::Ok)
            continue;
        for (std::uint64_t i = 0; i < n; ++i)
            if (std::memcmp(block.data() + i * kSectorSize, first.data(), kSectorSize) == 0) {
                f.fatSectors = at + i - f.reserved;
                return f;
            }
    }
    return std::nullopt;
}

/// Where folders start, by the cluster their "." entry names, in the sectors after `from`.
std::vector<std::pair<std::uint64_t, std::uint32_t>> findFolders(const BlockSource& source, std::uint64_t from,
                                                                 std::uint64_t total, bool fat32)
{
    std::vector<std::pair<std::uint64_t, std::uint32_t>> folders;
    std::vector<std::byte> block;
    const std::uint64_t last = std::min(total, from + kFolderSearchSectors);
    for (std::uint64_t at = from; at < last && folders.size() < kMaxFolders; at += kBlockSectors) {
        const std::uint64_t n = std::min(kBlockSectors, last - at);
        block.resize(static_cast<std::size_t>(n * kSectorSize));
        if (source.read(at * kSectorSize, block) != ReadStatus::Ok)
            continue;
        for (std::uint64_t i = 0; i < n && folders.size() < kMaxFolders; ++i)
            if (const auto c =
                    dotCluster(std::span(block).subspan(static_cast<std::size_t>(i * kSectorSize), kSectorSize), fat32))
                folders.emplace_back(at + i, *c);
    }
    return folders;
}

/// The cluster size (sectors) that the FAT's size suggests for the volume.
std::uint32_t clusterSizeBySize(const Found& f, std::uint64_t dataSectors)
{
    const std::uint64_t entries = fatTableEntries(f.fatSectors, widthBits(f.width));
    std::uint64_t spc = 1;
    while (spc < 128 && dataSectors / spc > entries)
        spc *= 2;
    return static_cast<std::uint32_t>(spc);
}

struct Layout {
    std::uint32_t rootEntries = 0;
    std::uint32_t clusterSectors = 0;
};

/// The root folder size and cluster size that place the most folders at their own clusters.
Layout settleLayout(const Found& f, std::uint64_t total,
                    const std::vector<std::pair<std::uint64_t, std::uint32_t>>& folders)
{
    const std::uint64_t fatsEnd = f.reserved + 2 * f.fatSectors;
    const bool fat32 = f.width == Width::Fat32;
    Layout best;
    std::size_t bestCount = 0;
    const std::vector<std::uint32_t> roots =
        fat32 ? std::vector<std::uint32_t>{0} : std::vector<std::uint32_t>(kRootEntries.begin(), kRootEntries.end());
    for (const std::uint32_t root : roots) {
        const std::uint64_t dataStart = fatsEnd + std::uint64_t{root} * 32 / kSectorSize;
        std::map<std::uint32_t, std::size_t> votes;
        for (const auto& [sector, cluster] : folders) {
            if (sector < dataStart)
                continue;
            const std::uint64_t offset = sector - dataStart;
            const std::uint64_t clusters = cluster - 2;
            if (clusters == 0) {
                if (offset == 0)
                    for (std::uint32_t spc = 1; spc <= 128; spc *= 2)
                        ++votes[spc];
                continue;
            }
            if (offset % clusters == 0 && std::has_single_bit(offset / clusters) && offset / clusters <= 128)
                ++votes[static_cast<std::uint32_t>(offset / clusters)];
        }
        for (const auto& [spc, count] : votes)
            if (count > bestCount) {
                best = {root, spc};
                bestCount = count;
            }
    }
    if (bestCount == 0) {
        best.rootEntries = fat32 ? 0 : kRootEntries.front();
        best.clusterSectors = clusterSizeBySize(f, total - fatsEnd - best.rootEntries * 32 / kSectorSize);
    }
    return best;
}

} // namespace

std::optional<Sector> RebuildFatBootSector(const BlockSource& source)
{
    const std::uint64_t total = source.size() / kSectorSize;
    auto found = findFatPair(source, total);
    if (!found)
        return std::nullopt;
    const bool fat32 = found->width == Width::Fat32;
    const auto folders = findFolders(source, found->reserved + 2 * found->fatSectors, total, fat32);
    Layout layout = settleLayout(*found, total, folders);
    if (!fat32) {
        // The count of clusters tells FAT12 from FAT16, as it does for a boot sector.
        const std::uint64_t metadata = found->reserved + 2 * found->fatSectors + layout.rootEntries * 32 / kSectorSize;
        const std::uint64_t clusters =
            total > metadata && layout.clusterSectors != 0 ? (total - metadata) / layout.clusterSectors : 0;
        const Width width = clusters < kFat12ClusterLimit ? Width::Fat12 : Width::Fat16;
        if (found->width == Width::Fat12 && width == Width::Fat16)
            return std::nullopt; // a FAT16 table starts with four bytes of ones
        if (width != found->width) {
            found->width = width;
            layout = settleLayout(*found, total, folders);
        }
    }
    const bool fat12 = found->width == Width::Fat12;

    Sector boot{};
    const auto put = [&boot](std::size_t at, unsigned width, std::uint64_t value) { putUint(boot, at, width, value); };
    put(0, 1, 0xEB);
    put(1, 1, fat32 ? 0x58 : 0x3C);
    put(2, 1, 0x90);
    std::memcpy(boot.data() + 3, "REBUILT ", 8);
    put(11, 2, kSectorSize);
    put(13, 1, layout.clusterSectors);
    put(14, 2, found->reserved);
    put(16, 1, 2);
    put(17, 2, layout.rootEntries);
    put(21, 1, found->media);
    if (total <= 0xFFFF && !fat32)
        put(19, 2, total);
    else
        put(32, 4, std::min<std::uint64_t>(total, 0xFFFFFFFF));
    const std::size_t tail = fat32 ? 64 : 36; // where the extended fields start
    if (fat32) {
        put(36, 4, found->fatSectors);
        put(44, 4, 2); // the root folder's first cluster, as formatting tools place it
        put(48, 2, 1);
    } else {
        put(22, 2, std::min<std::uint64_t>(found->fatSectors, 0xFFFF));
    }
    put(tail + 2, 1, 0x29);
    std::memcpy(boot.data() + tail + 7, "NO NAME    ", 11);
    std::memcpy(boot.data() + tail + 18, fat32 ? "FAT32   " : (fat12 ? "FAT12   " : "FAT16   "), 8);
    put(510, 1, 0x55);
    put(511, 1, 0xAA);
    if (!fat32 && found->fatSectors > 0xFFFF)
        return std::nullopt;
    return boot;
}

} // namespace sarvik::disk
