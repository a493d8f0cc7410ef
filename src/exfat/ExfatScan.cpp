// SPDX-License-Identifier: GPL-3.0-or-later
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

/// The start of an entry set that a folder's cluster cuts at its end.
struct CutSet {
    std::uint32_t cluster = 0;    ///< the cluster it lies at the end of
    std::size_t offset = 0;       ///< its file entry's offset in that cluster
    std::vector<std::byte> bytes; ///< from its file entry to the cluster's end
};

/// Free clusters that hold entry sets, found one after another.
struct Run {
    std::uint32_t first = 0;
    std::uint32_t length = 0;
    bool startsWithSet = false; ///< its first cluster starts with a whole set
};

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
                const std::size_t before = m_catalogue.fsLists().FatFolderList.size();
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
    /// Folders in use are read before deleted ones: a folder moved elsewhere
    /// leaves a deleted entry set that names its first cluster, and the live
    /// set must own that cluster (and what it holds) before it is read.
    void readFolders(std::size_t first)
    {
        const auto& folders = m_catalogue.fsLists().FatFolderList;
        for (bool liveAgain = true; liveAgain && !m_control.stopRequested();) {
            liveAgain = false;
            for (std::size_t i = first; i < folders.size() && !m_control.stopRequested(); ++i)
                if (folders[i].deleted == 0)
                    readOnce(i);
            for (std::size_t i = first; i < folders.size() && !m_control.stopRequested(); ++i) {
                if (i < m_read.size() && m_read[i])
                    continue;
                if (folders[i].deleted == 0) {
                    liveAgain = true; // it took a deleted set's place after the live pass went by
                    break;
                }
                readOnce(i);
            }
        }
    }

    void readOnce(std::size_t index)
    {
        if (m_read.size() <= index)
            m_read.resize(m_catalogue.fsLists().FatFolderList.size(), false);
        if (m_read[index])
            return;
        m_read[index] = true;
        if (m_catalogue.fsLists().FatFolderList[index].movedTo == 0) // a moved folder's stand-in holds nothing
            readFolder(index);
        m_observer.progress(static_cast<std::uint32_t>((index + 1) * 100 / m_catalogue.fsLists().FatFolderList.size()));
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
        /// Of those, the ones that end in the middle of a set: from its file entry on.
        std::map<std::uint32_t, CutSet> cuts;
        /// Of the later ones, the secondary entries they start with.
        std::map<std::uint32_t, std::vector<std::byte>> heads;
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
        catalogue::ReadProgress progress(m_observer, catalogue::StatusCode::SearchingFreeSpace,
                                         freeClusters * readBytes);
        std::vector<std::byte> block;
        const auto look = [&](std::uint64_t k, disk::ByteSpan bytes) {
            if (reads != nullptr && reads->onFreeCluster)
                reads->onFreeCluster(k, bytes);
            if (held.contains(k))
                return;
            const auto cluster = static_cast<std::uint32_t>(k);
            if (startsWithEntrySet(bytes)) {
                found.starts.emplace(cluster, parseDirectory(bytes));
            } else if (DirectoryContents contents = parseDirectory(bytes); !contents.sets.empty()) {
                found.later.emplace(cluster, std::move(contents));
                const std::size_t lead = leadingSecondaries(bytes) * kEntryBytes;
                const auto head = bytes.first(lead);
                found.heads.emplace(cluster, std::vector<std::byte>(head.begin(), head.end()));
            } else {
                return;
            }
            if (const auto cut = cutSetStart(bytes)) {
                const auto tail = bytes.subspan(*cut);
                found.cuts.emplace(cluster, CutSet{cluster, *cut, {tail.begin(), tail.end()}});
            }
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
        for (const auto& folder : m_catalogue.fsLists().FatFolderList)
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
        const std::vector<Run> runs = findRuns(*found, named);
        // A run whose first cluster completes the set another folder's last
        // cluster cut (its checksum holding over both) is that folder's next
        // piece; a run claimed so by more than one is nobody's.
        std::map<std::size_t, std::vector<const CutSet*>> claims;
        std::map<const CutSet*, std::size_t> completedBy;
        const auto claim = [&](const CutSet& cut) {
            if (const auto r = completing(cut, runs, *found)) {
                claims[*r].push_back(&cut);
                completedBy.emplace(&cut, *r);
            }
        };
        for (const auto& [key, cut] : m_cutFolders)
            claim(cut);
        for (const Run& run : runs)
            if (const auto it = found->cuts.find(run.first + run.length - 1); it != found->cuts.end())
                claim(it->second);
        std::vector<bool> taken(runs.size(), false);
        const auto follow = [&](std::uint32_t key, const CutSet* cut) {
            while (cut != nullptr) {
                const auto completed = completedBy.find(cut);
                if (completed == completedBy.end())
                    return;
                const std::size_t r = completed->second;
                if (taken[r] || claims[r].size() != 1)
                    return;
                taken[r] = true;
                readPiece(key, *cut, runs[r]);
                const auto next = found->cuts.find(runs[r].first + runs[r].length - 1);
                cut = next == found->cuts.end() ? nullptr : &next->second;
            }
        };
        for (const auto& [key, cut] : m_cutFolders)
            follow(key, &cut);
        // The rest are folders of their own, with the pieces that follow them.
        for (std::size_t r = 0; r < runs.size(); ++r) {
            const auto claimed = claims.find(r);
            if (taken[r] || (claimed != claims.end() && claimed->second.size() == 1 && !runs[r].startsWithSet))
                continue;
            taken[r] = true;
            addLostFolder(runs[r]);
            const auto cut = found->cuts.find(runs[r].first + runs[r].length - 1);
            follow(runs[r].first, cut == found->cuts.end() ? nullptr : &cut->second);
        }
        // Pieces claimed by a folder that was itself claimed in a loop.
        for (std::size_t r = 0; r < runs.size(); ++r)
            if (!taken[r])
                addLostFolder(runs[r]);
    }

    /// Free clusters found holding sets, in runs: one that starts with a set or
    /// follows no found cluster, and the later clusters right after it (a set
    /// cut at a cluster's end carries on in the next). None that a found
    /// folder's entry names.
    std::vector<Run> findRuns(const FolderClusters& found, const std::unordered_set<std::uint64_t>& named) const
    {
        std::map<std::uint32_t, bool> firsts; // cluster: whether it starts with a set
        for (const auto& [cluster, contents] : found.starts)
            firsts.emplace(cluster, true);
        for (const auto& [cluster, contents] : found.later)
            if (!found.later.contains(cluster - 1) && !found.starts.contains(cluster - 1))
                firsts.emplace(cluster, false);
        std::vector<Run> runs;
        for (const auto& [cluster, startsWithSet] : firsts) {
            if (named.contains(cluster))
                continue;
            std::uint32_t length = 1;
            while (length < kMaxDirectoryBytes / m_exfat.clusterBytes() && found.later.contains(cluster + length) &&
                   !named.contains(std::uint64_t{cluster} + length))
                ++length;
            runs.push_back({cluster, length, startsWithSet});
        }
        return runs;
    }

    /// The run whose first cluster's secondary entries complete `cut`, when one does.
    [[nodiscard]] std::optional<std::size_t> completing(const CutSet& cut, const std::vector<Run>& runs,
                                                        const FolderClusters& found) const
    {
        // Only a head of the size the cut set still needs can complete it.
        const std::size_t setBytes = (std::to_integer<std::size_t>(cut.bytes[1]) + 1) * kEntryBytes;
        for (std::size_t r = 0; r < runs.size(); ++r) {
            const Run& run = runs[r];
            const auto head = found.heads.find(run.first);
            if (run.startsWithSet || run.first == cut.cluster || head == found.heads.end() || head->second.empty() ||
                cut.bytes.size() + head->second.size() != setBytes)
                continue;
            std::vector<std::byte> joined = cut.bytes;
            joined.insert(joined.end(), head->second.begin(), head->second.end());
            const DirectoryContents contents = parseDirectory(joined);
            if (!contents.sets.empty() && contents.sets.front().offset == 0)
                return r;
        }
        return std::nullopt;
    }

    /// Lists the sets of `run`, the piece of folder `key` that carries on the
    /// set its last piece cut, under that folder.
    void readPiece(std::uint32_t key, const CutSet& cut, const Run& run)
    {
        const std::vector<ClusterSpan> spans{{run.first, run.length}};
        std::vector<std::byte> bytes(cut.bytes);
        std::vector<std::byte> piece;
        std::vector<bool> ok;
        m_exfat.readClusters(spans, kMaxDirectoryBytes, piece, ok);
        bytes.insert(bytes.end(), piece.begin(), piece.end());
        std::vector<bool> bytesOk((cut.bytes.size() + 511) / 512, true);
        bytesOk.insert(bytesOk.end(), ok.begin(), ok.end());
        const DirectoryContents contents = parseDirectory(bytes, &bytesOk, DamagedSets::Keep);
        const std::vector<ClusterSpan> cutSpan{{cut.cluster, 1}};
        for (const EntrySet& set : contents.sets)
            add(set, key, true,
                set.offset < cut.bytes.size() ? addressOf(cutSpan, cut.offset + set.offset)
                                              : addressOf(spans, set.offset - cut.bytes.size()));
    }

    void addLostFolder(const Run& run)
    {
        if (m_catalogue.AddFatFolder(kLostFolderPrefix + std::to_string(run.first), run.first, catalogue::kFatRootKey,
                                     0, 0, 0, 1)) {
            catalogue::ExfatData data;
            data.dataLength = std::uint64_t{run.length} * m_exfat.clusterBytes();
            data.validDataLength = data.dataLength;
            data.noFatChain = true;
            m_catalogue.fsLists().FatFolderList.back().exfat = data;
        }
        m_observer.foldersFound(m_catalogue.folderCount());
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
        const catalogue::FatFolderEntry folder = m_catalogue.fsLists().FatFolderList[index];
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
        const DirectoryContents contents = parseDirectory(bytes, &ok, DamagedSets::Keep);
        for (const EntrySet& set : contents.sets)
            add(set, key, folderDeleted, addressOf(spans, set.offset));
        // A deleted folder's later clusters may lie elsewhere in free space,
        // where the deep search looks for the set its last cluster cut.
        const std::uint64_t clusterBytes = m_exfat.clusterBytes();
        std::uint64_t spanBytes = 0;
        for (const ClusterSpan& span : spans)
            spanBytes += span.length * clusterBytes;
        if (folderDeleted && m_options.orphanedFolders && bytes.size() == spanBytes)
            if (const auto cut = cutSetStart(bytes); cut && bytes.size() - *cut < clusterBytes) {
                const ClusterSpan& last = spans.back();
                m_cutFolders.insert_or_assign(key,
                                              CutSet{static_cast<std::uint32_t>(last.start + last.length - 1),
                                                     static_cast<std::size_t>(*cut - (bytes.size() - clusterBytes)),
                                                     {bytes.begin() + static_cast<std::ptrdiff_t>(*cut), bytes.end()}});
            }
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
            if (m_catalogue.AddFatFolderEntry(set.name, set.firstCluster, key, writeDate, accessDate, deleted ? 1 : 0,
                                              writeTime, origin)) {
                // The set added last is the folder itself, or a moved folder's
                // stand-in, or the live set that took a stand-in's place.
                auto& folders = m_catalogue.fsLists().FatFolderList;
                if (!folders.back().exfat)
                    folders.back().exfat = set.data;
                if (const auto* owner = m_catalogue.findFatFolder(set.firstCluster); owner != nullptr && !owner->exfat)
                    folders[static_cast<std::size_t>(owner - folders.data())].exfat = set.data;
            }
            m_observer.foldersFound(m_catalogue.folderCount());
            return;
        }
        if (!deleted && !m_options.live)
            return;
        // Data that starts outside the heap cannot be found; an empty file has no cluster.
        if (set.data.dataLength != 0 && !m_exfat.isCluster(set.firstCluster))
            return;
        const auto size = static_cast<std::uint32_t>(std::min<std::uint64_t>(set.data.dataLength, 0xFFFFFFFFu));
        m_catalogue.AddFatFile(set.name, set.firstCluster, key, writeDate, accessDate, size, deleted ? 1 : 0, writeTime,
                               origin);
        m_catalogue.fsLists().FatFileList.back().exfat = set.data;
        m_observer.filesFound(m_catalogue.fileCount());
    }

    const disk::SelectedVolume& m_volume;
    ExfatVolume m_exfat;
    catalogue::Catalogue& m_catalogue;
    catalogue::ScanObserver& m_observer;
    catalogue::ScanControl& m_control;
    ExfatScanOptions m_options;
    /// Deleted folders whose last cluster read cuts a set, by key.
    std::map<std::uint32_t, CutSet> m_cutFolders;
    std::vector<bool> m_read; ///< per listed folder: read already
};

} // namespace

void ScanExfat(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue, catalogue::ScanObserver& observer,
               catalogue::ScanControl& control, ExfatScanOptions options)
{
    ExfatScanner(volume, catalogue, observer, control, options).run();
}

} // namespace sarvik::exfat
