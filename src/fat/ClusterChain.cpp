#include "fat/ClusterChain.h"

#include <array>

namespace sarvik::fat {

namespace {
constexpr std::uint32_t kFat16End = 0xFFFF;
constexpr std::uint32_t kFat32End = 0x0FFFFFFF; // the whole 32-bit value; the top nibble is not masked
} // namespace

bool endsChain(std::uint16_t geometryKind, std::uint32_t value) noexcept
{
    if (value < 2)
        return true;
    if (geometryKind == disk::VolumeKind::Fat32)
        return value >= kFat32End;
    return value == kFat16End;
}

void ClusterChain::BuildDirectoryChain(std::uint32_t cluster, std::uint16_t geometryKind)
{
    m_clusters.clear();
    if (geometryKind == disk::VolumeKind::Fat16 || geometryKind == disk::VolumeKind::Fat32)
        AppendCluster(cluster);
}

ChainEnd ClusterChain::BuildClusterChain(const disk::SectorReader& reader, const disk::VolumeGeometry& geometry,
                                         std::uint32_t firstCluster, std::uint32_t limit, int fatCopy,
                                         const catalogue::RecoveryControl* control)
{
    m_clusters.clear();
    const bool fat32 = geometry.GeometryKind == disk::VolumeKind::Fat32;
    if (!fat32 && geometry.GeometryKind != disk::VolumeKind::Fat16)
        return ChainEnd::NoGeometry;

    AppendCluster(firstCluster);
    std::uint64_t count = 1;
    std::uint32_t current = firstCluster;
    const std::uint32_t fatStart = fatCopy == 2 ? geometry.SecondFatSector : geometry.FirstFatSector;

    // One FAT sector is kept between links: consecutive clusters share it.
    std::array<std::byte, disk::kSectorSize> sector{};
    std::uint64_t cachedSector = ~std::uint64_t{0};

    for (;;) {
        if (control != nullptr && control->interrupted())
            return ChainEnd::Interrupted;
        if (fatStart == 0)
            return ChainEnd::NoGeometry;
        const std::uint64_t fatSector = std::uint64_t{fatStart} + (fat32 ? current >> 7 : current >> 8);
        if (fatSector != cachedSector) {
            if (reader.read(fatSector, 1, sector) != disk::ReadStatus::Ok)
                return ChainEnd::ReadFailed;
            cachedSector = fatSector;
        }
        const disk::ByteReader fat(sector);
        const std::uint32_t next = fat32 ? fat.u32or0((current & 0x7Fu) * 4u) : fat.u16or0((current & 0xFFu) * 2u);
        if (endsChain(geometry.GeometryKind, next))
            return ChainEnd::EndMarker;
        AppendCluster(next);
        ++count;
        if (count > limit)
            return ChainEnd::Limit;
        current = next;
    }
}

} // namespace sarvik::fat
