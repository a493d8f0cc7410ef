#include "exfat/ExfatScan.h"

#include "exfat/ExfatVolume.h"

#include "catalogue/ReadProgress.h"
#include "disk/FreeSpaceReads.h"

#include <algorithm>
#include <map>
#include <optional>
#include <unordered_set>

namespace sarvik::exfat {

namespace {

// Free clusters read at once while looking for folders whose parent is gone.
constexpr std::uint64_t kOrphanReadBytes = std::uint64_t{4} << 20;

class ExfatScanner {
public:
    ExfatScanner(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue, catalogue::ScanObserver& observer,
                 catalogue::ScanControl& control, ExfatScanOptions options)
        : m_volume(volume), m_exfat(volume), m_catalogue(catalogue), m_observer(observer), m_control(control),
          m_options(options)
    {
    }

    void run()
    {
        m_catalogue.ClearFatCatalogue();
        m_catalogue.NamesAreUtf8 = true;
        m_observer.stopAvailable(true);
        m_observer.progress(0);
        if (m_exfat.clusterBytes() != 0) {
            readRoot();
            readFolders(0);
            if (m_options.orphanedFolders && !m_control.stopRequested()) {
                const std::size_t before = m_catalogue.FatFolderList.size();
                findOrphanedFolders();
                readFolders(before);
            }
        }
        m_catalogue.Losses.UnreadableSectors += m_exfat.unreadableSectors();
        m_catalogue.Losses.Stopped = m_control.stopRequested();
        m_observer.stopAvailable(false);
        m_observer.progress(0);
    }

private:
    /// Reads the listed folders from `first` on; the list grows while it is
    /// walked: each folder read adds its subfolders.
    void readFolders(std::size_t first)
    {
        for (std::size_t i = first; i < m_catalogue.FatFolderList.size() && !m_control.stopRequested(); ++i) {
            readFolder(i);
            m_observer.progress(static_cast<std::uint32_t>((i + 1) * 100 / m_catalogue.FatFolderList.size()));
        }
    }

    /// The clusters of listed folder `folder`, as readFolder reads them.
    std::vector<ClusterSpan> folderSpans(const catalogue::FatFolderEntry& folder) const
    {
        const catalogue::ExfatData data = folder.exfat.value_or(catalogue::ExfatData{});
        const std::uint64_t length =
            std::clamp<std::uint64_t>(data.dataLength, m_exfat.clusterBytes(), kMaxDirectoryBytes);
        return m_exfat.dataClusters(folder.firstCluster, length, data.noFatChain, folder.deleted != 0);
    }

    /// Free clusters that hold entry sets, by cluster, with what they hold.
    struct FolderClusters {
        /// Those that start with a set: a folder's first cluster, as a rule.
        std::map<std::uint32_t, DirectoryContents> starts;
        /// Those that hold a set further in: a folder's later clusters.
        std::map<std::uint32_t, DirectoryContents> later;
    };

    /// The deep search's one read of the free clusters, in large blocks and in
    /// disk order: the clusters that no folder in `held` holds and that hold
    /// an entry set, with what they hold. Nothing without a bitmap.
    std::optional<FolderClusters> readFreeClusters(const std::unordered_set<std::uint64_t>& held)
    {
        FolderClusters found;
        const auto& source = m_volume.reader.source();
        const std::uint64_t clusterBytes = m_exfat.clusterBytes();
        const std::uint64_t perBlock = std::max<std::uint64_t>(1, kOrphanReadBytes / clusterBytes);
        std::uint64_t freeClusters = 0;
        for (std::uint64_t c = 2; c < m_exfat.endCluster(); ++c) {
            const auto used = m_exfat.clusterUsed(c);
            if (!used)
                return std::nullopt; // no bitmap: nothing tells free clusters from those in use
            freeClusters += *used ? 0u : 1u;
        }
        FreeClusterReads* reads = m_options.freeClusters;
        const std::uint64_t readBytes = disk::freeClusterReadBytes(clusterBytes);
        catalogue::ReadProgress progress(m_observer, "Searching free space", freeClusters * readBytes);
        std::vector<std::byte> block;
        const auto look = [&](std::uint64_t k, disk::ByteSpan bytes) {
            if (reads != nullptr && reads->onFreeCluster)
                reads->onFreeCluster(k, bytes);
            if (held.contains(k))
                return;
            if (startsWithEntrySet(bytes))
                found.starts.emplace(static_cast<std::uint32_t>(k), parseDirectory(bytes));
            else if (DirectoryContents contents = parseDirectory(bytes); !contents.sets.empty())
                found.later.emplace(static_cast<std::uint32_t>(k), std::move(contents));
        };
        std::uint64_t c = 2;
        while (c < m_exfat.endCluster() && !m_control.stopRequested()) {
            if (m_exfat.clusterUsed(c) != false) {
                ++c;
                continue;
            }
            if (readBytes < clusterBytes) {
                // A large cluster by its head: read whole only where it holds an entry set.
                const auto sector = m_volume.geometry.clusterSector(c);
                block.resize(static_cast<std::size_t>(clusterBytes));
                const auto head = std::span(block).first(static_cast<std::size_t>(readBytes));
                const auto readAt = [&](std::uint64_t offset, std::span<std::byte> into) {
                    return source && sector &&
                           source->read(*sector * disk::kSectorSize + offset, into) == disk::ReadStatus::Ok;
                };
                const bool headRead = readAt(0, head);
                if (headRead && !holdsEntrySet(head))
                    look(c, head);
                else if (headRead && readAt(readBytes, std::span(block).subspan(head.size())))
                    look(c, block);
                else if (reads != nullptr)
                    reads->unreadable.push_back(c);
                progress.add(readBytes);
                ++c;
                continue;
            }
            std::uint64_t end = c + 1;
            while (end < m_exfat.endCluster() && end - c < perBlock && m_exfat.clusterUsed(end) == false)
                ++end;
            const auto sector = m_volume.geometry.clusterSector(c);
            block.resize(static_cast<std::size_t>((end - c) * clusterBytes));
            const auto bytesOf = [&](std::uint64_t k) {
                return std::span(block).subspan(static_cast<std::size_t>((k - c) * clusterBytes),
                                                static_cast<std::size_t>(clusterBytes));
            };
            const auto readAt = [&](std::uint64_t k, std::span<std::byte> into) {
                return source && sector &&
                       source->read((*sector + (k - c) * (clusterBytes / disk::kSectorSize)) * disk::kSectorSize,
                                    into) == disk::ReadStatus::Ok;
            };
            const bool whole = readAt(c, block);
            if (sector)
                m_observer.currentSector(*sector);
            // A block that fails is read cluster by cluster: a bad sector costs its own cluster only.
            for (std::uint64_t k = c; k < end; ++k) {
                if (whole || readAt(k, bytesOf(k)))
                    look(k, bytesOf(k));
                else if (reads != nullptr)
                    reads->unreadable.push_back(k);
            }
            progress.add((end - c) * clusterBytes);
            c = end;
        }
        if (reads != nullptr)
            reads->complete = c >= m_exfat.endCluster();
        if (!m_control.stopRequested())
            progress.finish();
        return found;
    }

    void findOrphanedFolders()
    {
        std::unordered_set<std::uint64_t> held; // clusters of the folders listed so far
        const auto hold = [&held](const std::vector<ClusterSpan>& spans) {
            for (const ClusterSpan& span : spans)
                for (std::uint64_t c = span.start; c < span.start + span.length; ++c)
                    held.insert(c);
        };
        for (const std::uint32_t c :
             m_exfat.chain(m_volume.geometry.RootDirStart, kMaxDirectoryBytes / m_exfat.clusterBytes()))
            held.insert(c);
        for (const auto& folder : m_catalogue.FatFolderList)
            hold(folderSpans(folder));

        const auto found = readFreeClusters(held);
        if (!found)
            return;
        const std::uint64_t clusterBytes = m_exfat.clusterBytes();
        // A folder that another one found here names as its subfolder is read
        // through that entry, under its own name.
        std::unordered_set<std::uint64_t> named;
        for (const auto* clusters : {&found->starts, &found->later})
            for (const auto& [cluster, contents] : *clusters)
                for (const EntrySet& set : contents.sets)
                    if (set.directory)
                        for (const ClusterSpan& span :
                             m_exfat.dataClusters(set.firstCluster, std::max(set.data.dataLength, clusterBytes),
                                                  set.data.noFatChain, true))
                            for (std::uint64_t k = span.start; k < span.start + span.length; ++k)
                                named.insert(k);
        // Each folder found goes on over the later clusters that follow it (a
        // set cut at a cluster's end carries on in the next); later clusters
        // that follow no such folder are listed as folders of their own, for
        // the whole sets they hold.
        std::map<std::uint32_t, bool> firsts; // cluster: whether it starts with a set
        for (const auto& [cluster, contents] : found->starts)
            firsts.emplace(cluster, true);
        for (const auto& [cluster, contents] : found->later)
            if (!found->later.contains(cluster - 1) && !found->starts.contains(cluster - 1))
                firsts.emplace(cluster, false);
        for (const auto& [cluster, startsWithSet] : firsts) {
            if (named.contains(cluster))
                continue;
            std::uint32_t length = 1;
            while (length < kMaxDirectoryBytes / clusterBytes && found->later.contains(cluster + length) &&
                   !named.contains(std::uint64_t{cluster} + length))
                ++length;
            if (m_catalogue.AddFatFolder(kLostFolderPrefix + std::to_string(cluster), cluster, catalogue::kFatRootKey,
                                         0, 0, 0, 1)) {
                catalogue::ExfatData data;
                data.dataLength = length * clusterBytes;
                data.validDataLength = data.dataLength;
                data.noFatChain = true;
                m_catalogue.FatFolderList.back().exfat = data;
            }
            m_observer.foldersFound(m_catalogue.FolderCount);
        }
    }

    void readRoot()
    {
        const std::uint32_t root = m_volume.geometry.RootDirStart;
        std::vector<ClusterSpan> spans;
        for (const std::uint32_t c : m_exfat.chain(root, kMaxDirectoryBytes / m_exfat.clusterBytes())) {
            if (!spans.empty() && spans.back().start + spans.back().length == c)
                ++spans.back().length;
            else
                spans.push_back({c, 1});
        }
        if (spans.empty()) {
            ++m_catalogue.Losses.UnreadableSectors; // the root's first cluster is not even a cluster
            return;
        }
        parse(spans, catalogue::kFatRootKey, false);
    }

    void readFolder(std::size_t index)
    {
        const catalogue::FatFolderEntry folder = m_catalogue.FatFolderList[index];
        const catalogue::ExfatData data = folder.exfat.value_or(catalogue::ExfatData{});
        // A folder's length is whole clusters; a damaged one is bounded, and a
        // length of 0 still reads the first cluster.
        const std::uint64_t length =
            std::clamp<std::uint64_t>(data.dataLength, m_exfat.clusterBytes(), kMaxDirectoryBytes);
        const auto spans = m_exfat.dataClusters(folder.firstCluster, length, data.noFatChain, folder.deleted != 0);
        parse(spans, folder.firstCluster, folder.deleted != 0);
    }

    void parse(const std::vector<ClusterSpan>& spans, std::uint32_t key, bool folderDeleted)
    {
        if (spans.empty())
            return;
        if (const auto sector = m_volume.geometry.clusterSector(spans.front().start))
            m_observer.currentSector(*sector);
        std::vector<std::byte> bytes;
        std::vector<bool> ok;
        m_exfat.readClusters(spans, kMaxDirectoryBytes, bytes, ok);
        m_catalogue.Losses.UnreadableSectors += static_cast<std::uint64_t>(std::count(ok.begin(), ok.end(), false));
        const DirectoryContents contents = parseDirectory(bytes, &ok);
        for (const EntrySet& set : contents.sets)
            add(set, key, folderDeleted, addressOf(spans, set.offset));
    }

    /// The address of the entry `offset` bytes into the folder whose clusters are `spans`.
    [[nodiscard]] std::uint64_t addressOf(const std::vector<ClusterSpan>& spans, std::uint64_t offset) const
    {
        const std::uint64_t clusterBytes = m_exfat.clusterBytes();
        for (const ClusterSpan& span : spans) {
            if (offset < span.length * clusterBytes) {
                const auto sector = m_volume.geometry.clusterSector(span.start + offset / clusterBytes);
                return sector ? m_volume.geometry.entryAddress(*sector, offset % clusterBytes) : 0;
            }
            offset -= span.length * clusterBytes;
        }
        return 0;
    }

    void add(const EntrySet& set, std::uint32_t key, bool folderDeleted, std::uint64_t address)
    {
        catalogue::FatEntryOrigin origin; // exFAT's creation time lies in the entry's ExfatData
        origin.address = address;
        const bool deleted = set.deleted || folderDeleted;
        const auto writeDate = static_cast<std::uint16_t>(set.data.modified >> 16);
        const auto accessDate = static_cast<std::uint16_t>(set.data.accessed >> 16);
        // The low 16 bits: the time of day packed as FAT packs it (2-second steps).
        const auto writeTime = static_cast<std::uint16_t>(set.data.modified & 0xFFFF);
        ++m_catalogue.EntriesExamined;
        m_observer.lastItem(set.name);
        if (set.directory) {
            // A folder is known by its first cluster: one without a cluster of
            // its own, or that names the root's, cannot be read or told apart.
            if (!m_exfat.isCluster(set.firstCluster) || set.firstCluster == m_volume.geometry.RootDirStart)
                return;
            if (m_catalogue.AddFatFolder(set.name, set.firstCluster, key, writeDate, accessDate, 0, deleted ? 1 : 0,
                                         writeTime, origin))
                m_catalogue.FatFolderList.back().exfat = set.data;
            m_observer.foldersFound(m_catalogue.FolderCount);
            return;
        }
        if (!deleted)
            return;
        // Data that starts outside the heap cannot be found; an empty file has no cluster.
        if (set.data.dataLength != 0 && !m_exfat.isCluster(set.firstCluster))
            return;
        const auto size = static_cast<std::uint32_t>(std::min<std::uint64_t>(set.data.dataLength, 0xFFFFFFFFu));
        m_catalogue.AddFatFile(set.name, set.firstCluster, key, writeDate, accessDate, size, 1, writeTime, origin);
        m_catalogue.FatFileList.back().exfat = set.data;
        ++m_catalogue.FileCount;
        m_observer.filesFound(m_catalogue.FileCount);
    }

    const disk::SelectedVolume& m_volume;
    ExfatVolume m_exfat;
    catalogue::Catalogue& m_catalogue;
    catalogue::ScanObserver& m_observer;
    catalogue::ScanControl& m_control;
    ExfatScanOptions m_options;
};

} // namespace

void ScanExfat(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue, catalogue::ScanObserver& observer,
               catalogue::ScanControl& control, ExfatScanOptions options)
{
    const catalogue::StopPass pass(control);
    ExfatScanner(volume, catalogue, observer, control, options).run();
}

} // namespace sarvik::exfat
