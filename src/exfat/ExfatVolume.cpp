// SPDX-License-Identifier: GPL-3.0-or-later
#include "exfat/ExfatVolume.h"

#include "catalogue/NameText.h"

#include <algorithm>
#include <array>

namespace sarvik::exfat {

namespace {

constexpr std::uint32_t kFatEntryBytes = 4;
constexpr std::uint32_t kBadCluster = 0xFFFFFFF7u;
constexpr std::uint64_t kSector = disk::kSectorSize;

void addCluster(std::vector<ClusterSpan>& spans, std::uint64_t cluster)
{
    if (!spans.empty() && spans.back().start + spans.back().length == cluster)
        ++spans.back().length;
    else
        spans.push_back({cluster, 1});
}

} // namespace

ExfatVolume::ExfatVolume(const disk::SelectedVolume& volume) : m_volume(volume)
{
    const auto& g = volume.geometry;
    m_clusterBytes = std::uint64_t{g.SectorsPerCluster} * kSector;
    // The heap's own count, bounded by the entries the FAT has room for.
    const std::uint64_t fatEntries = std::uint64_t{g.FatSectors} * kSector / kFatEntryBytes;
    m_endCluster = std::min<std::uint64_t>(std::uint64_t{g.ClusterCount} + 2, fatEntries);
}

std::optional<std::uint32_t> ExfatVolume::fatEntry(std::uint32_t cluster) const
{
    if (!isCluster(cluster) || m_volume.geometry.FirstFatSector == 0)
        return std::nullopt;
    const std::uint64_t offset = std::uint64_t{cluster} * kFatEntryBytes;
    const std::uint64_t sector = m_volume.geometry.FirstFatSector + offset / kSector;
    auto it = m_fatSectors.find(sector);
    if (it == m_fatSectors.end()) {
        if (m_unreadable.count(sector) != 0)
            return std::nullopt;
        std::vector<std::byte> bytes(kSector);
        if (m_volume.reader.read(sector, 1, bytes) != disk::ReadStatus::Ok) {
            m_unreadable.insert(sector);
            return std::nullopt;
        }
        it = m_fatSectors.emplace(sector, std::move(bytes)).first;
    }
    return disk::ByteReader(it->second).u32or0(offset % kSector);
}

std::vector<std::uint32_t> ExfatVolume::chain(std::uint32_t first, std::size_t limit) const
{
    std::vector<std::uint32_t> clusters;
    std::unordered_set<std::uint32_t> seen;
    for (std::uint32_t c = first; isCluster(c) && clusters.size() < limit && seen.insert(c).second;) {
        clusters.push_back(c);
        const auto next = fatEntry(c);
        if (!next || *next == kBadCluster)
            break;
        c = *next; // the end mark and free entries are no clusters: the loop ends there
    }
    return clusters;
}

DirectoryContents ExfatVolume::readRoot() const
{
    if (m_clusterBytes == 0)
        return {};
    const auto clusters = chain(m_volume.geometry.RootDirStart, kMaxDirectoryBytes / m_clusterBytes);
    std::vector<ClusterSpan> spans;
    for (const std::uint32_t c : clusters)
        addCluster(spans, c);
    std::vector<std::byte> bytes;
    std::vector<bool> ok;
    readClusters(spans, kMaxDirectoryBytes, bytes, ok);
    return parseDirectory(bytes, &ok);
}

void ExfatVolume::loadBitmap() const
{
    if (m_bitmapTried)
        return;
    m_bitmapTried = true;
    const auto location = readRoot().bitmap;
    if (!location || m_clusterBytes == 0 || !isCluster(location->firstCluster))
        return;
    // One bit per cluster of the heap; a longer length is not read.
    const std::uint64_t needed = (m_endCluster - 2 + 7) / 8;
    const std::uint64_t length = std::min(location->length, needed);
    const std::uint64_t count = (length + m_clusterBytes - 1) / m_clusterBytes;
    std::vector<ClusterSpan> spans;
    const auto clusters = chain(location->firstCluster, count);
    if (clusters.size() == count) {
        for (const std::uint32_t c : clusters)
            addCluster(spans, c);
    } else {
        spans.push_back({location->firstCluster, std::min(count, m_endCluster - location->firstCluster)});
    }
    std::vector<std::byte> bytes;
    std::vector<bool> ok;
    readClusters(spans, length, bytes, ok);
    if (bytes.size() < length || std::find(ok.begin(), ok.end(), false) != ok.end()) {
        for (std::size_t i = 0; i < ok.size(); ++i)
            if (!ok[i])
                m_unreadable.insert(~std::uint64_t{0} - i); // bitmap pieces, apart from FAT sectors
        return;
    }
    bytes.resize(static_cast<std::size_t>(length));
    m_bitmap = std::move(bytes);
}

std::optional<bool> ExfatVolume::clusterUsed(std::uint64_t cluster) const
{
    if (!isCluster(cluster))
        return true;
    loadBitmap();
    if (!m_bitmap)
        return std::nullopt;
    const std::uint64_t bit = cluster - 2;
    if (bit / 8 >= m_bitmap->size())
        return true;
    return (std::to_integer<unsigned>((*m_bitmap)[static_cast<std::size_t>(bit / 8)]) >> (bit % 8) & 1u) != 0;
}

std::vector<ClusterSpan> ExfatVolume::dataClusters(std::uint32_t firstCluster, std::uint64_t bytes, bool noFatChain,
                                                   bool deleted) const
{
    std::vector<ClusterSpan> spans;
    if (m_clusterBytes == 0 || bytes == 0 || !isCluster(firstCluster))
        return spans;
    const std::uint64_t room = m_endCluster - firstCluster;
    const std::uint64_t n = std::min(bytes / m_clusterBytes + (bytes % m_clusterBytes != 0 ? 1 : 0), room);
    if (noFatChain) {
        spans.push_back({firstCluster, n});
        return spans;
    }
    if (!deleted) {
        for (const std::uint32_t c : chain(firstCluster, static_cast<std::size_t>(n)))
            addCluster(spans, c);
        return spans;
    }
    // The chain of a deleted file is not to be trusted: its first cluster, then
    // the next free ones. Without a readable bitmap, or without free clusters
    // enough, the consecutive clusters.
    addCluster(spans, firstCluster);
    std::uint64_t found = 1;
    for (std::uint64_t c = std::uint64_t{firstCluster} + 1; c < m_endCluster && found < n; ++c) {
        const auto used = clusterUsed(c);
        if (!used) {
            found = 0;
            break;
        }
        if (!*used) {
            addCluster(spans, c);
            ++found;
        }
    }
    if (found < n) {
        spans.clear();
        spans.push_back({firstCluster, n});
    }
    return spans;
}

void ExfatVolume::readClusters(const std::vector<ClusterSpan>& spans, std::uint64_t maxBytes,
                               std::vector<std::byte>& bytes, std::vector<bool>& ok) const
{
    bytes.clear();
    ok.clear();
    const auto& g = m_volume.geometry;
    const std::uint32_t spc = g.SectorsPerCluster;
    if (spc == 0)
        return;
    for (const ClusterSpan& span : spans) {
        for (std::uint64_t i = 0; i < span.length && bytes.size() < maxBytes; ++i) {
            const auto first = g.clusterSector(span.start + i);
            const std::size_t at = bytes.size();
            bytes.resize(at + static_cast<std::size_t>(m_clusterBytes));
            const disk::MutableByteSpan cluster(bytes.data() + at, static_cast<std::size_t>(m_clusterBytes));
            if (first && m_volume.reader.read(*first, spc, cluster) == disk::ReadStatus::Ok) {
                ok.insert(ok.end(), spc, true);
                continue;
            }
            // Sector by sector, so that only those that fail are lost.
            for (std::uint32_t s = 0; s < spc; ++s) {
                const disk::MutableByteSpan piece = cluster.subspan(std::size_t{s} * kSector, kSector);
                const bool good = first && m_volume.reader.read(*first + s, 1, piece) == disk::ReadStatus::Ok;
                if (!good)
                    std::fill(piece.begin(), piece.end(), std::byte{0});
                ok.push_back(good);
            }
        }
    }
    if (bytes.size() > maxBytes) {
        bytes.resize(static_cast<std::size_t>(maxBytes));
        ok.resize(static_cast<std::size_t>((maxBytes + kSector - 1) / kSector));
    }
}

std::optional<std::string> readVolumeLabel(const disk::SelectedVolume& volume)
{
    const auto label = ExfatVolume(volume).readRoot().label;
    if (!label)
        return std::nullopt;
    return catalogue::fromUtf8(*label); // labels are carried as Windows-1252 text
}

} // namespace sarvik::exfat
