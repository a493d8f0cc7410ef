#include "exfat/ExfatScan.h"

#include "exfat/ExfatVolume.h"

#include <algorithm>

namespace sarvik::exfat {

namespace {

class ExfatScanner {
public:
    ExfatScanner(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue, catalogue::ScanObserver& observer,
                 catalogue::ScanControl& control)
        : m_volume(volume), m_exfat(volume), m_catalogue(catalogue), m_observer(observer), m_control(control)
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
            // The list grows while it is walked: each folder read adds its subfolders.
            for (std::size_t i = 0; i < m_catalogue.FatFolderList.size() && !m_control.stopRequested(); ++i) {
                readFolder(i);
                m_observer.progress(static_cast<std::uint32_t>((i + 1) * 100 / m_catalogue.FatFolderList.size()));
            }
        }
        m_catalogue.Losses.UnreadableSectors += m_exfat.unreadableSectors();
        m_catalogue.Losses.Stopped = m_control.stopRequested();
        m_observer.stopAvailable(false);
        m_observer.progress(0);
    }

private:
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
            add(set, key, folderDeleted);
    }

    void add(const EntrySet& set, std::uint32_t key, bool folderDeleted)
    {
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
                                         writeTime))
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
        m_catalogue.AddFatFile(set.name, set.firstCluster, key, writeDate, accessDate, size, 1, writeTime);
        m_catalogue.FatFileList.back().exfat = set.data;
        ++m_catalogue.FileCount;
        m_observer.filesFound(m_catalogue.FileCount);
    }

    const disk::SelectedVolume& m_volume;
    ExfatVolume m_exfat;
    catalogue::Catalogue& m_catalogue;
    catalogue::ScanObserver& m_observer;
    catalogue::ScanControl& m_control;
};

} // namespace

void ScanExfat(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue, catalogue::ScanObserver& observer,
               catalogue::ScanControl& control)
{
    const catalogue::StopPass pass(control);
    ExfatScanner(volume, catalogue, observer, control).run();
}

} // namespace sarvik::exfat
