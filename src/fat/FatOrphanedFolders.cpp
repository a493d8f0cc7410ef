// SPDX-License-Identifier: GPL-3.0-or-later
#include "fat/FatOrphanedFolders.h"

#include "disk/VolumeExtent.h"
#include "fat/DirectoryEntry.h"
#include "fat/FatOrphanClusters.h"
#include "fat/FatThoroughScan.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace sarvik::fat {

namespace {

constexpr std::uint64_t kSector = 512;
constexpr std::uint32_t kFirstDataCluster = 2;

// As the thorough scan names its lost folders and their holder.
constexpr std::uint32_t kUnlinkedKey = 1;
constexpr const char* kUnlinkedName = "$Unlinked entries";
constexpr const char* kLostFolderPrefix = "$Lost folder ";

// Free clusters read at once while looking for "." entries.
constexpr std::size_t kReadBytes = std::size_t{4} << 20;
// A folder read from consecutive clusters stops after this many.
constexpr std::uint32_t kMaxFolderClusters = 256;

/// The dot entry `entry` ("." with `dots` 1, ".." with 2): its cluster, when it is one.
std::optional<std::uint32_t> dotEntry(const DirectoryEntry& entry, std::size_t dots, bool fat32)
{
    for (std::size_t i = 0; i < dirent::kShortNameBytes; ++i)
        if (entry.byte(dirent::kName + i) != static_cast<std::uint8_t>(i < dots ? '.' : ' '))
            return std::nullopt;
    if (!entry.folder() || entry.longName())
        return std::nullopt;
    return entry.cluster(fat32);
}

class OrphanSearch {
public:
    OrphanSearch(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue, catalogue::ScanObserver& observer,
                 const catalogue::ScanControl& control, const FreeClusterNotes* notes)
        : m_volume(volume), m_catalogue(catalogue), m_observer(observer), m_control(control),
          m_notes(notes != nullptr && notes->complete ? notes : nullptr),
          m_table(notes != nullptr && notes->table
                      ? *notes->table
                      : FatTable(volume.reader, volume.geometry, disk::fileSystemSpan(volume))),
          m_fat32(volume.geometry.GeometryKind == disk::VolumeKind::Fat32),
          m_clusterBytes(std::uint64_t{volume.geometry.SectorsPerCluster} * kSector)
    {
    }

    void run();

private:
    /// The free clusters that start a folder no listed folder starts at, with their "..".
    void findStarts();
    /// The folder's bytes from its first cluster on: consecutive free clusters
    /// while its entries have not ended and the next cluster reads as entries.
    /// The bytes of the folder at `first`, and in `addresses` where each cluster of them lies.
    std::vector<std::byte> readFolder(std::uint32_t first, EntryAddresses& addresses);
    /// The bytes of cluster `c`; a `later` cluster of a folder only when it can be one.
    std::optional<std::vector<std::byte>> readCluster(std::uint32_t c, bool later);
    /// Lists the entries of the folder at `cluster`, then reads each subfolder that starts there too.
    void readTree(std::uint32_t cluster);
    bool free(std::uint32_t c) const { return m_table.entry(c).value_or(1) == 0; }

    const disk::SelectedVolume& m_volume;
    catalogue::Catalogue& m_catalogue;
    catalogue::ScanObserver& m_observer;
    const catalogue::ScanControl& m_control;
    const FreeClusterNotes* m_notes; ///< what the thorough scan noted of the free clusters; null when nothing
    FatTable m_table;
    bool m_fat32;
    std::uint64_t m_clusterBytes;
    std::map<std::uint32_t, std::uint32_t> m_starts; ///< first cluster -> what its ".." names
    /// Free clusters of entries without "." (later clusters of some folder), by
    /// the first cluster of the data of their first file.
    std::map<std::uint32_t, std::uint32_t> m_entriesByData;
    std::set<std::uint32_t> m_read;
    bool m_unlinkedListed = false;
};

void OrphanSearch::findStarts()
{
    const auto& source = m_volume.reader.source();
    const std::uint32_t last = lastClusterHeld(m_volume, m_table.maxCluster());
    FreeClusterNotes read;                                         // without notes, what this pass reads itself
    std::vector<std::pair<std::uint32_t, std::uint32_t>> readable; // blocks [first, end) read whole
    std::vector<std::byte> block;
    // The free clusters in blocks of up to kReadBytes; a block that cannot be
    // read whole is passed over.
    for (std::uint32_t c = kFirstDataCluster; c <= last && !m_control.stopRequested();) {
        if (!free(c)) {
            ++c;
            continue;
        }
        std::uint32_t end = c;
        const auto perBlock = static_cast<std::uint32_t>(std::max<std::uint64_t>(1, kReadBytes / m_clusterBytes));
        while (end <= last && end - c < perBlock && free(end))
            ++end;
        const auto sector = m_volume.geometry.clusterSector(c);
        bool whole = false;
        if (m_notes != nullptr) {
            const auto bad = std::lower_bound(m_notes->unreadable.begin(), m_notes->unreadable.end(), c);
            whole = sector && (bad == m_notes->unreadable.end() || *bad >= end);
        } else {
            block.resize(static_cast<std::size_t>((end - c) * m_clusterBytes));
            whole = sector && source->read(*sector * kSector, block) == disk::ReadStatus::Ok;
            for (std::uint32_t k = c; whole && k < end; ++k)
                read.note(k,
                          std::span<const std::byte>(block).subspan(static_cast<std::size_t>((k - c) * m_clusterBytes),
                                                                    static_cast<std::size_t>(m_clusterBytes)),
                          m_fat32);
        }
        if (whole)
            readable.emplace_back(c, end);
        c = end;
    }
    const FreeClusterNotes& notes = m_notes != nullptr ? *m_notes : read;
    const auto wasRead = [&](std::uint32_t k) {
        const auto after = std::upper_bound(readable.begin(), readable.end(), std::pair{k, ~std::uint32_t{0}});
        return after != readable.begin() && k < std::prev(after)->second;
    };
    for (const auto& [k, parent] : notes.starts) {
        // ".." names the root (0) or a cluster of the volume.
        if (wasRead(k) && m_catalogue.findFatFolder(k) == nullptr &&
            (parent == 0 || (parent >= kFirstDataCluster && parent <= last)))
            m_starts.emplace(k, parent);
    }
    for (const auto& [data, k] : notes.entriesByData)
        if (wasRead(k))
            m_entriesByData.emplace(data, k);
}

std::optional<std::vector<std::byte>> OrphanSearch::readCluster(std::uint32_t c, bool later)
{
    std::vector<std::byte> cluster(static_cast<std::size_t>(m_clusterBytes));
    const auto sector = m_volume.geometry.clusterSector(c);
    if (c < kFirstDataCluster || c > lastClusterHeld(m_volume, m_table.maxCluster()) || !sector ||
        m_volume.reader.read(*sector, m_volume.geometry.SectorsPerCluster, cluster) != disk::ReadStatus::Ok)
        return std::nullopt;
    // A later cluster must be free, read as entries and start no folder of its own.
    if (later && (!free(c) || !looksLikeDirectoryEntries(cluster) || m_starts.contains(c)))
        return std::nullopt;
    return cluster;
}

std::vector<std::byte> OrphanSearch::readFolder(std::uint32_t first, EntryAddresses& addresses)
{
    std::vector<std::byte> bytes;
    std::optional<std::vector<std::byte>> cluster = readCluster(first, false);
    std::uint32_t c = first;
    std::set<std::uint32_t> taken;
    while (cluster && taken.size() < kMaxFolderClusters) {
        taken.insert(c);
        const auto sector = m_volume.geometry.clusterSector(c);
        addresses.add(bytes.size(), sector ? m_volume.geometry.entryAddress(*sector) : 0);
        bytes.insert(bytes.end(), cluster->begin(), cluster->end());
        const DirectoryEnd end = directoryEnd(bytes, static_cast<std::uint32_t>(m_clusterBytes), m_fat32);
        if (!end.open)
            break;
        // The folder went on: in the next cluster, or (grown while files were
        // written) in the cluster right after the data of its last file, or in
        // a cluster whose first file's data starts there (the entry was
        // written after that file's data).
        cluster.reset();
        const auto after = m_entriesByData.find(end.nextDataCluster);
        const std::uint32_t byData = after != m_entriesByData.end() ? after->second : 0;
        for (const std::uint32_t next : {c + 1, end.nextDataCluster, byData}) {
            if (next == 0 || taken.contains(next))
                continue;
            if ((cluster = readCluster(next, true))) {
                c = next;
                break;
            }
        }
    }
    return bytes;
}

void OrphanSearch::readTree(std::uint32_t cluster)
{
    std::vector<std::uint32_t> pending{cluster};
    while (!pending.empty() && !m_control.stopRequested()) {
        const std::uint32_t folder = pending.back();
        pending.pop_back();
        if (!m_read.insert(folder).second)
            continue;
        EntryAddresses addresses;
        const std::vector<std::byte> bytes = readFolder(folder, addresses);
        const std::size_t before = m_catalogue.fsLists().FatFolderList.size();
        ThoroughContext context;
        context.addresses = &addresses;
        context.parentCluster = folder;
        context.parentDeleted = true; // nothing reaches it: its entries are read as deleted ones
        context.fat32 = m_fat32;
        context.table = &m_table;
        context.clusterBytes = static_cast<std::uint32_t>(m_clusterBytes);
        ParseDirectoryThorough(bytes, std::vector<bool>(bytes.size() / kSector, true), context, m_catalogue,
                               m_observer);
        // A subfolder is read when its own first cluster still starts it.
        for (std::size_t i = before; i < m_catalogue.fsLists().FatFolderList.size(); ++i) {
            const auto& sub = m_catalogue.fsLists().FatFolderList[i];
            if (sub.parentCluster == folder && m_starts.contains(sub.firstCluster))
                pending.push_back(sub.firstCluster);
        }
    }
}

void OrphanSearch::run()
{
    if (m_clusterBytes == 0 || !m_volume.reader.isOpen())
        return;
    m_observer.report({catalogue::StatusCode::LookingForOrphanedFolders});
    findStarts();
    // A folder whose ".." names another found here is reached through that
    // folder's entry (with its own name); the others are listed by their cluster.
    for (const auto& [cluster, parent] : m_starts) {
        if (m_control.stopRequested())
            return;
        if (m_starts.contains(parent) || m_read.contains(cluster) || m_catalogue.findFatFolder(cluster) != nullptr)
            continue;
        std::uint32_t holder = parent;
        if (parent != catalogue::kFatRootKey && m_catalogue.findFatFolder(parent) == nullptr) {
            if (!m_unlinkedListed && m_catalogue.findFatFolder(kUnlinkedKey) == nullptr)
                m_catalogue.AddFatFolder(kUnlinkedName, kUnlinkedKey, catalogue::kFatRootKey, 0, 0, 0, 1);
            m_unlinkedListed = true;
            holder = kUnlinkedKey;
        }
        m_catalogue.AddFatFolder(kLostFolderPrefix + std::to_string(cluster), cluster, holder, 0, 0, 0, 1);
        m_observer.foldersFound(m_catalogue.folderCount());
        readTree(cluster);
    }
    // Folders in a cycle of ".." links were passed over above: listed by their cluster.
    for (const auto& [cluster, parent] : m_starts) {
        if (m_read.contains(cluster) || m_catalogue.findFatFolder(cluster) != nullptr)
            continue;
        if (!m_unlinkedListed && m_catalogue.findFatFolder(kUnlinkedKey) == nullptr)
            m_catalogue.AddFatFolder(kUnlinkedName, kUnlinkedKey, catalogue::kFatRootKey, 0, 0, 0, 1);
        m_unlinkedListed = true;
        m_catalogue.AddFatFolder(kLostFolderPrefix + std::to_string(cluster), cluster, kUnlinkedKey, 0, 0, 0, 1);
        readTree(cluster);
    }
}

} // namespace

std::uint32_t lastClusterHeld(const disk::SelectedVolume& volume, std::uint32_t maxCluster)
{
    const disk::VolumeGeometry& g = volume.geometry;
    const auto& source = volume.reader.source();
    if (!source || g.SectorsPerCluster == 0)
        return 0;
    // Cluster c lies at ClusterBaseSector + c * SectorsPerCluster and must end within the source.
    const auto sectors = static_cast<std::int64_t>(std::min<std::uint64_t>(source->size() / kSector, INT64_MAX / 2));
    const std::int64_t room = sectors - g.ClusterBaseSector;
    if (room <= 0)
        return 0;
    const std::uint64_t held = static_cast<std::uint64_t>(room) / g.SectorsPerCluster;
    if (held == 0)
        return 0;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(maxCluster, held - 1));
}

std::optional<std::uint32_t> orphanedFolderParent(std::span<const std::byte> cluster, std::uint32_t self, bool fat32)
{
    if (cluster.size() < 2 * dirent::kEntrySize)
        return std::nullopt;
    const auto dot = dotEntry(DirectoryEntry(cluster.first(dirent::kEntrySize)), 1, fat32);
    const auto dotDot = dotEntry(DirectoryEntry(cluster.subspan(dirent::kEntrySize, dirent::kEntrySize)), 2, fat32);
    if (!dot || *dot != self || !dotDot || *dotDot == self)
        return std::nullopt;
    return dotDot;
}

void FreeClusterNotes::note(std::uint32_t c, std::optional<std::span<const std::byte>> bytes, bool fat32)
{
    if (bytes && onFreeCluster)
        onFreeCluster(c, *bytes);
    if (!bytes) {
        unreadable.push_back(c);
    } else if (const auto parent = orphanedFolderParent(*bytes, c, fat32)) {
        starts.emplace_back(c, *parent);
    } else if (looksLikeDirectoryEntries(*bytes)) {
        if (const std::uint32_t data = firstDataCluster(*bytes, fat32); data != 0)
            entriesByData.emplace_back(data, c);
    }
}

void FindOrphanedFolders(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue,
                         catalogue::ScanObserver& observer, const catalogue::ScanControl& control,
                         const FreeClusterNotes* notes)
{
    OrphanSearch(volume, catalogue, observer, control, notes).run();
}

} // namespace sarvik::fat
