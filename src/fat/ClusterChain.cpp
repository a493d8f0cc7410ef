// SPDX-License-Identifier: GPL-3.0-or-later
#include "fat/ClusterChain.h"

#include <algorithm>
#include <array>
#include <unordered_set>

namespace sarvik::fat {

namespace {
constexpr std::uint32_t kFat12Bad = 0xFF7;
constexpr std::uint32_t kFat16End = 0xFFFF;
constexpr std::uint32_t kFat32End = 0x0FFFFFFF; // the whole 32-bit value; the top nibble is not masked
} // namespace

bool endsChain(std::uint16_t geometryKind, std::uint32_t value) noexcept
{
    if (value < 2)
        return true;
    if (geometryKind == disk::VolumeKind::Fat32)
        return value >= kFat32End;
    if (geometryKind == disk::VolumeKind::Fat12)
        return value >= kFat12Bad;
    return value == kFat16End;
}

void ClusterChain::BuildDirectoryChain(std::uint32_t cluster, std::uint16_t geometryKind)
{
    m_clusters.clear();
    if (disk::isFatKind(geometryKind))
        AppendCluster(cluster);
}

ChainEnd ClusterChain::BuildClusterChain(const disk::SectorReader& reader, const disk::VolumeGeometry& geometry,
                                         std::uint32_t firstCluster, std::uint32_t limit, int fatCopy,
                                         const catalogue::RecoveryControl* control, bool stopAtLoop)
{
    m_clusters.clear();
    m_loopCluster = 0;
    // Clusters met so far, looked up in a set once the chain is no longer short.
    constexpr std::size_t kSearchedInPlace = 16;
    std::unordered_set<std::uint32_t> seen;
    const auto metBefore = [&](std::uint32_t c) {
        if (m_clusters.size() <= kSearchedInPlace)
            return std::find(m_clusters.begin(), m_clusters.end(), c) != m_clusters.end();
        if (seen.empty())
            seen.insert(m_clusters.begin(), m_clusters.end());
        return !seen.insert(c).second;
    };
    const unsigned bits = disk::fatEntryBits(geometry.GeometryKind);
    if (bits == 0)
        return ChainEnd::NoGeometry;

    AppendCluster(firstCluster);
    std::uint64_t count = 1;
    std::uint32_t current = firstCluster;
    const std::uint32_t fatStart = fatCopy == 2 ? geometry.SecondFatSector : geometry.FirstFatSector;

    // One FAT sector is kept between links: consecutive clusters share it. A
    // 12-bit entry may begin in the last byte of a sector and end in the next.
    std::array<std::byte, disk::kSectorSize> sector{};
    std::uint64_t cachedSector = ~std::uint64_t{0};
    std::array<std::byte, 4> entry{};

    for (;;) {
        if (control != nullptr && control->interrupted())
            return ChainEnd::Interrupted;
        if (fatStart == 0)
            return ChainEnd::NoGeometry;
        const std::uint64_t offset = disk::fatEntryOffset(current, bits);
        for (unsigned i = 0; i < disk::fatEntryReadBytes(bits); ++i) {
            const std::uint64_t fatSector = std::uint64_t{fatStart} + (offset + i) / disk::kSectorSize;
            if (fatSector != cachedSector) {
                if (reader.read(fatSector, 1, sector) != disk::ReadStatus::Ok)
                    return ChainEnd::ReadFailed;
                cachedSector = fatSector;
            }
            entry[i] = sector[static_cast<std::size_t>((offset + i) % disk::kSectorSize)];
        }
        const std::uint32_t next = disk::fatEntryValue(entry, current, bits);
        if (endsChain(geometry.GeometryKind, next))
            return ChainEnd::EndMarker;
        if (stopAtLoop && metBefore(next)) {
            m_loopCluster = next;
            return ChainEnd::Loop;
        }
        AppendCluster(next);
        ++count;
        if (count > limit)
            return ChainEnd::Limit;
        current = next;
    }
}

} // namespace sarvik::fat
