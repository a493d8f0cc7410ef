#include "fat/FatThoroughScan.h"

#include "catalogue/NameDecode.h"
#include "fat/FatOrphanClusters.h"

#include <algorithm>
#include <array>
#include <unordered_set>

namespace sarvik::fat {

namespace {

using namespace dirent;

constexpr std::size_t kSector = disk::kSectorSize;
constexpr std::size_t kMaxLongPieces = 20; // 255 units

// A folder holds at most 65536 entries.
constexpr std::size_t kMaxDirectoryBytes = 65536 * kEntrySize;
// FAT sectors read at once and kept by FatTable (64 KiB), and how many such blocks it keeps.
constexpr std::uint32_t kFatBlockSectors = 128;
constexpr std::size_t kMaxFatBlocks = 256;

std::uint8_t at(std::span<const std::byte> bytes, std::size_t offset)
{
    return disk::ByteReader(bytes).u8or0(offset);
}

std::uint16_t u16At(std::span<const std::byte> bytes, std::size_t offset)
{
    return disk::ByteReader(bytes).u16or0(offset);
}

bool isDotEntry(std::span<const std::byte> entry)
{
    if (at(entry, 0) != '.')
        return false;
    const std::size_t dots = at(entry, 1) == '.' ? 2 : 1;
    for (std::size_t i = dots; i < 11; ++i)
        if (at(entry, i) != ' ')
            return false;
    return true;
}

bool wellFormedEntry(std::span<const std::byte> e)
{
    const std::uint8_t attributes = at(e, kAttributes);
    if (attributes == kLongNameAttributes) {
        const std::uint8_t sequence = at(e, kLongSequence);
        const bool sequenceOk = sequence == kDeletedMark ||
                                ((sequence & ~0x5Fu) == 0 && (sequence & 0x1F) >= 1 && (sequence & 0x1F) <= 20);
        return sequenceOk && at(e, kLongType) == 0 && u16At(e, kLongCluster) == 0;
    }
    if ((attributes & 0xC0) != 0)
        return false;
    if (isDotEntry(e))
        return true;
    const std::uint8_t first = at(e, 0);
    if (first != kDeletedMark && first != kStandsForE5 && !isShortNameByte(first))
        return false;
    for (std::size_t i = 1; i < 11; ++i)
        if (!isShortNameByte(at(e, i)))
            return false;
    return true;
}

/// Collects the long-name pieces met before a short entry, in disk order.
class LongNameRun {
  public:
    void clear() noexcept { m_count = 0; }
    void add(std::span<const std::byte> e)
    {
        const std::uint8_t sequence = at(e, kLongSequence);
        const std::uint8_t checksum = at(e, kLongChecksum);
        // A piece flagged last starts a new name; so does one whose checksum
        // differs from the pieces before it (they belong to another entry).
        if (m_count > 0 && ((sequence != kDeletedMark && (sequence & 0x40) != 0) || checksum != m_checksum))
            m_count = 0;
        if (m_count == kMaxLongPieces)
            m_count = 0;
        m_checksum = checksum;
        m_pieces[m_count++] = e;
    }
    /// The name for the short entry `e`, or nothing when the pieces do not belong to it.
    std::optional<std::string> nameFor(std::span<const std::byte> e, bool deleted) const
    {
        if (m_count == 0)
            return std::nullopt;
        if (deleted) {
            // The first name byte was overwritten; some value that would give
            // the stored checksum must be a legal first byte.
            if (!deletedEntryMatches(e, m_checksum))
                return std::nullopt;
        } else if (shortNameChecksum(e) != m_checksum) {
            return std::nullopt;
        }
        std::vector<char16_t> units;
        units.reserve(m_count * kLongUnits.size());
        for (std::size_t i = m_count; i-- > 0;) {
            const std::size_t before = units.size();
            for (const std::size_t u : kLongUnits)
                units.push_back(static_cast<char16_t>(u16At(m_pieces[i], u)));
            if (std::find(units.begin() + static_cast<std::ptrdiff_t>(before), units.end(), u'\0') != units.end())
                break;
        }
        return catalogue::utf16ToUtf8(units);
    }

  private:
    std::array<std::span<const std::byte>, kMaxLongPieces> m_pieces{};
    std::size_t m_count = 0;
    std::uint8_t m_checksum = 0;
};

} // namespace

std::string shortNameUtf8(std::span<const std::byte> e)
{
    const std::uint8_t flags = at(e, kCaseFlags);
    auto part = [&](std::size_t from, std::size_t length, bool lower) {
        std::string raw;
        for (std::size_t i = from; i < from + length; ++i)
            raw.push_back(static_cast<char>(at(e, i)));
        while (!raw.empty() && raw.back() == ' ')
            raw.pop_back();
        if (lower)
            for (char& c : raw)
                if (c >= 'A' && c <= 'Z')
                    c = static_cast<char>(c - 'A' + 'a');
        return raw;
    };
    std::string base = part(kName, 8, (flags & 0x08) != 0);
    const std::string extension = part(kExtension, 3, (flags & 0x10) != 0);
    std::string name;
    if (!base.empty() && static_cast<std::uint8_t>(base[0]) == kDeletedMark) {
        name.push_back('_');
        base.erase(0, 1);
    } else if (!base.empty() && static_cast<std::uint8_t>(base[0]) == kStandsForE5) {
        base[0] = static_cast<char>(kDeletedMark);
    }
    name += catalogue::cp850ToUtf8(base);
    if (!extension.empty())
        name += "." + catalogue::cp850ToUtf8(extension);
    name.resize(std::min(name.size(), name.find('\0'))); // the name ends at its first NUL byte
    return name;
}

bool looksLikeDirectoryEntries(std::span<const std::byte> cluster)
{
    bool any = false;
    bool ended = false;
    for (std::size_t e = 0; e + kEntrySize <= cluster.size(); e += kEntrySize) {
        const auto entry = cluster.subspan(e, kEntrySize);
        if (at(entry, 0) == 0) {
            ended = true;
            continue;
        }
        if (ended || !wellFormedEntry(entry))
            return false;
        any = true;
    }
    return any;
}

FatTable::FatTable(const disk::SectorReader& reader, const disk::VolumeGeometry& geometry,
                   std::uint32_t partitionSectors)
    : m_reader(reader), m_geometry(geometry), m_fat32(geometry.GeometryKind == disk::VolumeKind::Fat32)
{
    const std::uint32_t spc = std::max<std::uint32_t>(geometry.SectorsPerCluster, 1);
    const std::uint64_t metadata = std::uint64_t{geometry.ReservedSectors} +
                                   geometry.fatCount() * std::uint64_t{geometry.FatSectors} + geometry.RootDirSectors;
    const std::uint64_t dataClusters = partitionSectors > metadata ? (partitionSectors - metadata) / spc : 0;
    const std::uint64_t tableEntries = std::uint64_t{geometry.FatSectors} * kSector / (m_fat32 ? 4 : 2);
    const std::uint64_t highest = std::min<std::uint64_t>(dataClusters + 1, tableEntries == 0 ? 0 : tableEntries - 1);
    m_maxCluster = static_cast<std::uint32_t>(std::min<std::uint64_t>(highest, m_fat32 ? 0x0FFFFFF6 : 0xFFF6));
}

std::optional<std::uint32_t> FatTable::entry(std::uint32_t cluster) const
{
    if (cluster < 2 || cluster > m_maxCluster || m_geometry.FirstFatSector == 0)
        return std::nullopt;
    const std::uint64_t byteOffset = std::uint64_t{cluster} * (m_fat32 ? 4 : 2);
    const std::uint64_t sector = byteOffset / kSector;
    const std::uint64_t block = sector / kFatBlockSectors;
    auto found = m_blocks.find(block);
    if (found == m_blocks.end()) {
        if (m_blocks.size() >= kMaxFatBlocks)
            m_blocks.clear();
        std::vector<std::byte> bytes(std::size_t{kFatBlockSectors} * kSector);
        const std::uint64_t first = m_geometry.FirstFatSector + block * kFatBlockSectors;
        const std::uint32_t count = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(kFatBlockSectors, m_geometry.FatSectors - block * kFatBlockSectors));
        if (m_reader.read(first, count, std::span(bytes).first(std::size_t{count} * kSector)) != disk::ReadStatus::Ok) {
            // Read what can be read sector by sector; a sector that fails stays unknown.
            return [&]() -> std::optional<std::uint32_t> {
                std::array<std::byte, kSector> one{};
                if (m_reader.read(m_geometry.FirstFatSector + sector, 1, one) != disk::ReadStatus::Ok) {
                    m_unreadable.insert(sector);
                    return std::nullopt;
                }
                const disk::ByteReader r(one);
                const std::size_t within = byteOffset % kSector;
                return m_fat32 ? r.u32or0(within) & 0x0FFFFFFF : std::uint32_t{r.u16or0(within)};
            }();
        }
        found = m_blocks.emplace(block, std::move(bytes)).first;
    }
    const disk::ByteReader r(found->second);
    const std::size_t within = byteOffset % (std::size_t{kFatBlockSectors} * kSector);
    return m_fat32 ? r.u32or0(within) & 0x0FFFFFFF : std::uint32_t{r.u16or0(within)};
}

bool FatTable::endsChain(std::uint32_t value) const noexcept
{
    return value < 2 || value > m_maxCluster;
}

std::vector<std::uint32_t> FatTable::chain(std::uint32_t first, std::size_t limit) const
{
    std::vector<std::uint32_t> clusters;
    if (first < 2 || first > m_maxCluster)
        return clusters;
    std::unordered_set<std::uint32_t> seen;
    std::uint32_t current = first;
    while (clusters.size() < limit && seen.insert(current).second) {
        clusters.push_back(current);
        const auto next = entry(current);
        if (!next || endsChain(*next))
            break;
        current = *next;
    }
    return clusters;
}

namespace {

// High words tried for one deleted entry, at most.
constexpr std::size_t kMaxHighWords = 8;

/// The high cluster words (FAT32) of a folder and of the short entries in its
/// bytes: where a deleted entry's cleared high word most likely pointed.
std::vector<std::uint16_t> highWordsNear(std::span<const std::byte> directory, std::uint32_t folderCluster)
{
    std::vector<std::uint16_t> words;
    auto add = [&](std::uint16_t w) {
        if (w != 0 && words.size() < kMaxHighWords && std::find(words.begin(), words.end(), w) == words.end())
            words.push_back(w);
    };
    add(static_cast<std::uint16_t>(folderCluster >> 16));
    for (std::size_t e = 0; e + kEntrySize <= directory.size(); e += kEntrySize) {
        const auto entry = directory.subspan(e, kEntrySize);
        if (at(entry, kName) == 0)
            break;
        if (at(entry, kAttributes) != kLongNameAttributes && wellFormedEntry(entry))
            add(u16At(entry, kClusterHigh));
    }
    return words;
}

/// The one cluster `low` with a high word of `words` that is free and has free
/// clusters after it for `size` bytes; nothing when none or several do.
std::optional<std::uint32_t> inferHighWord(std::uint16_t low, std::uint32_t size, std::span<const std::uint16_t> words,
                                           const FatTable& table, std::uint32_t clusterBytes)
{
    if (size == 0 || clusterBytes == 0)
        return std::nullopt;
    const std::uint64_t clusters = (std::uint64_t{size} + clusterBytes - 1) / clusterBytes;
    std::optional<std::uint32_t> found;
    for (const std::uint16_t w : words) {
        const std::uint32_t start = (std::uint32_t{w} << 16) | low;
        if (start < 2 || std::uint64_t{start} + clusters - 1 > table.maxCluster())
            continue;
        bool free = true;
        for (std::uint64_t k = 0; k < clusters && free; ++k) {
            const auto value = table.entry(static_cast<std::uint32_t>(start + k));
            free = value && *value == 0;
        }
        if (!free)
            continue;
        if (found)
            return std::nullopt; // two places fit: neither is known
        found = start;
    }
    return found;
}

} // namespace

void ParseDirectoryThorough(std::span<const std::byte> directory, const std::vector<bool>& sectorOk,
                            const ThoroughContext& context, catalogue::Catalogue& catalogue,
                            catalogue::ScanObserver& observer)
{
    LongNameRun longName;
    std::optional<std::vector<std::uint16_t>> nearbyHighWords; // made when first needed
    for (std::size_t e = 0; e + kEntrySize <= directory.size(); e += kEntrySize) {
        const std::size_t sectorIndex = e / kSector;
        if (sectorIndex < sectorOk.size() && !sectorOk[sectorIndex]) {
            longName.clear();
            continue;
        }
        const auto entry = directory.subspan(e, kEntrySize);
        const DirectoryEntry view(entry);
        const std::uint8_t first = view.first();
        if (first == 0)
            return;
        const std::uint8_t attributes = view.attributes();
        if (attributes == kLongNameAttributes) {
            longName.add(entry);
            continue;
        }
        if ((attributes & kVolumeLabelBit) != 0 || isDotEntry(entry)) {
            longName.clear();
            continue;
        }
        const bool entryDeleted = first == kDeletedMark;
        const bool deleted = entryDeleted || context.parentDeleted;
        const bool folder = (attributes & kDirectoryBit) != 0;
        const std::uint16_t high = context.fat32 ? view.clusterHigh() : 0;
        const std::uint32_t firstCluster = view.cluster(context.fat32);
        const std::uint32_t size = view.size();

        std::string name = longName.nameFor(entry, entryDeleted).value_or(std::string());
        longName.clear();
        if (name.empty())
            name = shortNameUtf8(entry);
        // A name that cannot be written as it stands is listed cleaned, never dropped.
        name = catalogue::writableName(name);

        const std::uint32_t maxCluster = context.table != nullptr ? context.table->maxCluster() : 0xFFFFFFFF;
        const bool clusterInRange = firstCluster >= 2 && firstCluster <= maxCluster;
        // An empty file has no cluster; anything else needs one on the volume.
        if (!clusterInRange && !(firstCluster == 0 && !folder && size == 0))
            continue;

        const std::uint16_t writeDate = view.writeDate();
        const std::uint16_t accessDate = view.accessDate();
        const std::uint16_t writeTime = view.writeTime();
        if (folder) {
            catalogue.AddFatFolder(name, firstCluster, context.parentCluster, writeDate, accessDate, 0, deleted ? 1 : 0,
                                   writeTime);
            observer.foldersFound(catalogue.FolderCount);
        } else {
            if (deleted) {
                std::uint32_t start = firstCluster;
                bool inUse = false;
                bool inferred = false;
                if (context.fat32 && high == 0 && firstCluster != 0 && context.table != nullptr) {
                    const auto value = context.table->entry(firstCluster);
                    inUse = value && *value != 0;
                    if (inUse) {
                        if (!nearbyHighWords)
                            nearbyHighWords = highWordsNear(directory, context.parentCluster);
                        if (const auto moved = inferHighWord(static_cast<std::uint16_t>(firstCluster), size,
                                                             *nearbyHighWords, *context.table, context.clusterBytes)) {
                            start = *moved;
                            inUse = false;
                            inferred = true;
                        }
                    }
                }
                catalogue.AddFatFile(name, start, context.parentCluster, writeDate, accessDate, size, 1, writeTime);
                catalogue.FatFileList.back().clusterInUse = inUse;
                catalogue.FatFileList.back().clusterHighInferred = inferred;
                ++catalogue.FileCount;
            }
            observer.filesFound(catalogue.FileCount);
        }
        ++catalogue.EntriesExamined;
        observer.lastItem(name);
    }
}

namespace {

/// One free cluster that reads as a later cluster of some deleted folder.
struct OrphanCluster {
    std::uint32_t cluster = 0;
    std::vector<std::byte> bytes;
    /// The first cluster of the folder that a subfolder listed here names as
    /// its parent (its ".." entry), 0 when none does.
    std::uint32_t parentByBackLink = 0;
    bool used = false;
};

/// The first cluster of a deleted folder whose own entry is gone.
struct LostFolder {
    std::uint32_t cluster = 0;
    std::uint32_t parent = 0; ///< what its ".." entry names
    std::uint16_t writeDate = 0;
    std::uint16_t accessDate = 0;
    bool placed = false;
    std::uint16_t writeTime = 0;
};

/// Where the entries of a deleted folder read so far end.
struct OpenFolder {
    std::uint32_t folderCluster = 0;
    DirectoryEnd end;
};

// The free clusters kept as orphan candidates, at most (64 MiB of 512-byte clusters).
constexpr std::size_t kMaxOrphanBytes = std::size_t{64} << 20;
// Free clusters read at once while looking for orphan candidates.
constexpr std::uint32_t kOrphanReadBytes = 1u << 20;
// The lost-and-found folder's key: cluster 1 holds no data on any FAT volume.
constexpr std::uint32_t kLostFolderKey = 1;
constexpr const char* kLostFolderName = "$Unlinked entries";
// A folder found by its first cluster alone is named by that cluster. A real
// folder could carry such a name only as a long name; the catalogue keys
// folders by their first cluster, so even then neither stands for the other.
constexpr const char* kLostFolderPrefix = "$Lost folder ";

} // namespace

void ScanFatThorough(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue,
                     catalogue::ScanObserver& observer, catalogue::ScanControl& control)
{
    const disk::VolumeGeometry& g = volume.geometry;
    const disk::SectorReader& reader = volume.reader;
    catalogue.ClearFatCatalogue();
    catalogue.NamesAreUtf8 = true;
    observer.stopAvailable(true);
    observer.progress(0);
    observer.status("Reading the root folder");

    const FatTable table(reader, g, volume.partition.PartitionSectors);
    ThoroughContext context;
    context.fat32 = g.GeometryKind == disk::VolumeKind::Fat32;
    context.table = &table;
    const std::uint32_t spc = std::max<std::uint32_t>(g.SectorsPerCluster, 1);
    const std::size_t clusterBytes = std::size_t{spc} * kSector;
    context.clusterBytes = static_cast<std::uint32_t>(clusterBytes);
    const std::size_t maxClusters = std::max<std::size_t>(1, kMaxDirectoryBytes / clusterBytes);

    std::vector<std::byte> directory;
    std::vector<bool> sectorOk;
    std::vector<std::byte> cluster(clusterBytes);
    // Appends one cluster's sectors; a cluster that cannot be read whole is read
    // sector by sector, and a sector that fails is marked and never parsed.
    auto appendCluster = [&](std::uint32_t c) {
        const auto firstSector = g.clusterSector(c);
        if (!firstSector)
            return false;
        const bool whole = reader.read(*firstSector, spc, cluster) == disk::ReadStatus::Ok;
        for (std::uint32_t i = 0; i < spc; ++i) {
            const auto sector = std::span(cluster).subspan(std::size_t{i} * kSector, kSector);
            const bool ok = whole || reader.read(*firstSector + i, 1, sector) == disk::ReadStatus::Ok;
            if (!ok)
                ++catalogue.Losses.UnreadableSectors;
            sectorOk.push_back(ok);
        }
        directory.insert(directory.end(), cluster.begin(), cluster.end());
        observer.currentSector(*firstSector);
        return true;
    };

    // The root directory.
    directory.clear();
    sectorOk.clear();
    if (context.fat32) {
        for (const std::uint32_t c : table.chain(g.RootDirStart, maxClusters))
            if (!appendCluster(c))
                break;
    } else {
        const std::uint64_t rootStart = std::uint64_t{g.ReservedSectors} + g.fatCount() * std::uint64_t{g.FatSectors} +
                                        volume.partition.PartitionStartSector;
        std::array<std::byte, kSector> sector{};
        for (std::uint32_t i = 0; i < g.RootDirSectors; ++i) {
            const bool ok = reader.read(rootStart + i, 1, sector) == disk::ReadStatus::Ok;
            if (!ok)
                ++catalogue.Losses.UnreadableSectors;
            sectorOk.push_back(ok);
            directory.insert(directory.end(), sector.begin(), sector.end());
        }
    }
    ParseDirectoryThorough(directory, sectorOk, context, catalogue, observer);

    // Free clusters a deleted folder was read from: no orphan candidates.
    std::unordered_set<std::uint32_t> claimed;
    // Deleted folders whose entries run to the end of what was read of them.
    std::vector<OpenFolder> openFolders;

    // Each phase reports the item it is at of those it knows of ("N of M") and,
    // as the progress, the share of them it has finished.
    auto reportPhase = [&](const char* phase, std::uint64_t at, std::uint64_t total) {
        observer.status(std::string(phase) + ": " + std::to_string(at) + " of " + std::to_string(total));
        observer.progress(
            static_cast<std::uint32_t>(total == 0 ? 0 : std::min<std::uint64_t>(99, (at - 1) * 100 / total)));
    };

    // The folder walk: the list is also the queue, and grows while it is walked.
    std::size_t walked = 0;
    auto walkFolders = [&]() {
        for (; walked < catalogue.FatFolderList.size() && !control.stopRequested(); ++walked) {
            reportPhase("Reading folders", walked + 1, catalogue.FatFolderList.size());
            const std::uint32_t folderCluster = catalogue.FatFolderList[walked].firstCluster;
            const bool folderDeleted = catalogue.FatFolderList[walked].deleted == 1;
            if (folderCluster == kLostFolderKey)
                continue;
            context.parentCluster = folderCluster;
            context.parentDeleted = folderDeleted;
            directory.clear();
            sectorOk.clear();
            if (!appendCluster(folderCluster))
                continue;
            // The first cluster must still be this folder's: "." names it.
            const auto head = std::span<const std::byte>(directory).first(std::min<std::size_t>(directory.size(), 64));
            if (!sectorOk[0] || !isDotEntry(head) ||
                (u16At(head, kClusterLow) | (context.fat32 ? std::uint32_t{u16At(head, kClusterHigh)} << 16 : 0)) !=
                    folderCluster)
                continue;
            if (!folderDeleted) {
                const auto clusters = table.chain(folderCluster, maxClusters);
                for (std::size_t k = 1; k < clusters.size() && !control.stopRequested(); ++k)
                    if (!appendCluster(clusters[k]))
                        break;
            } else {
                claimed.insert(folderCluster);
                // A deleted folder's chain is gone from the table. Its later clusters
                // are taken to follow the first while they are free and still hold
                // directory entries (a cluster that starts another folder does not).
                for (std::uint32_t c = folderCluster + 1;
                     c <= table.maxCluster() && directory.size() < kMaxDirectoryBytes && !control.stopRequested();
                     ++c) {
                    const auto value = table.entry(c);
                    if (!value || *value != 0)
                        break;
                    const auto firstSector = g.clusterSector(c);
                    if (!firstSector || reader.read(*firstSector, spc, cluster) != disk::ReadStatus::Ok)
                        break;
                    if (isDotEntry(cluster) || !looksLikeDirectoryEntries(cluster))
                        break;
                    sectorOk.insert(sectorOk.end(), spc, true);
                    directory.insert(directory.end(), cluster.begin(), cluster.end());
                    claimed.insert(c);
                }
                OpenFolder open{folderCluster, directoryEnd(directory, static_cast<std::uint32_t>(clusterBytes),
                                                            context.fat32)};
                if (open.end.open && directory.size() < kMaxDirectoryBytes)
                    openFolders.push_back(std::move(open));
            }
            ParseDirectoryThorough(directory, sectorOk, context, catalogue, observer);
        }
    };
    walkFolders();

    // Later clusters of deleted folders that lie elsewhere: one pass over the
    // free clusters no folder was read from, keeping those that read strictly
    // as deleted directory entries.
    std::vector<OrphanCluster> orphans;
    // Free first clusters of deleted folders whose own entries are gone.
    std::vector<LostFolder> lostFolders;
    if (!control.stopRequested() && clusterBytes <= kOrphanReadBytes) {
        // No more clusters than the volume has: a small volume needs no MiB.
        const std::uint32_t clusters = std::max<std::uint32_t>(table.maxCluster(), 2) - 1;
        const auto batch =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(kOrphanReadBytes / clusterBytes, clusters));
        std::vector<std::byte> block(std::size_t{batch} * clusterBytes);
        std::size_t kept = 0;
        std::vector<std::byte> head(kSector);
        auto consider = [&](std::uint32_t c, std::span<const std::byte> bytes) {
            if (at(bytes, 0) == '.' && !claimed.contains(c) && catalogue.findFatFolder(c) == nullptr) {
                if (const auto parent = lostFolderParent(bytes, c, table.maxCluster(), context.fat32))
                    lostFolders.push_back({c, *parent, u16At(bytes, kWriteDate), u16At(bytes, kAccessDate), false,
                                           u16At(bytes, kWriteTime)});
                return;
            }
            if (at(bytes, 0) != kDeletedMark || claimed.contains(c) || catalogue.findFatFolder(c) != nullptr ||
                !looksLikeOrphanDirectoryCluster(bytes, table.maxCluster(), context.fat32))
                return;
            OrphanCluster o;
            o.cluster = c;
            o.bytes.assign(bytes.begin(), bytes.end());
            // A subfolder listed here whose first cluster still names itself
            // and its parent tells which folder this cluster belongs to.
            for (const std::uint32_t sub : folderEntryClusters(bytes, context.fat32)) {
                const auto s = g.clusterSector(sub);
                if (sub < 2 || sub > table.maxCluster() || !s || reader.read(*s, 1, head) != disk::ReadStatus::Ok)
                    continue;
                const std::span<const std::byte> h(head);
                if (!isDotEntry(h.first(32)) || !isDotEntry(h.subspan(32, 32)) || at(h, 33) != '.')
                    continue;
                auto clusterOf = [&](std::size_t e) {
                    return u16At(h, e + kClusterLow) |
                           (context.fat32 ? std::uint32_t{u16At(h, e + kClusterHigh)} << 16 : 0);
                };
                if (clusterOf(0) == sub && clusterOf(32) >= 2) {
                    o.parentByBackLink = clusterOf(32);
                    break;
                }
            }
            kept += o.bytes.size();
            orphans.push_back(std::move(o));
        };
        // Reported about 200 times over the volume, used clusters passed included.
        const std::uint32_t reportStep = std::max<std::uint32_t>(1, table.maxCluster() / 200);
        std::uint32_t nextReport = 2;
        for (std::uint32_t c = 2; c <= table.maxCluster() && kept < kMaxOrphanBytes && !control.stopRequested();) {
            if (c >= nextReport) {
                reportPhase("Examining free clusters", c - 1, clusters);
                nextReport = c + reportStep;
            }
            const auto value = table.entry(c);
            if (!value || *value != 0) {
                ++c;
                continue;
            }
            // A run of free clusters, read in one go where it can be.
            std::uint32_t n = 1;
            while (n < batch && c + n <= table.maxCluster()) {
                const auto next = table.entry(c + n);
                if (!next || *next != 0)
                    break;
                ++n;
            }
            const auto firstSector = g.clusterSector(c);
            if (!firstSector) {
                c += n;
                continue;
            }
            observer.currentSector(*firstSector);
            const auto bytes = std::span(block).first(std::size_t{n} * clusterBytes);
            const bool whole = reader.read(*firstSector, n * spc, bytes) == disk::ReadStatus::Ok;
            for (std::uint32_t i = 0; i < n && kept < kMaxOrphanBytes; ++i) {
                const auto one = bytes.subspan(std::size_t{i} * clusterBytes, clusterBytes);
                if (!whole && reader.read(*firstSector + std::uint64_t{i} * spc, spc, one) != disk::ReadStatus::Ok)
                    continue;
                consider(c + i, one);
            }
            c += n;
        }
        if (!control.stopRequested())
            reportPhase("Examining free clusters", clusters, clusters);
    }

    // Parses an orphan cluster as the continuation of folder `parent`: a name
    // cut at the end of what came before is carried into it.
    auto parseOrphan = [&](OrphanCluster& o, std::uint32_t parent, const DirectoryEnd* before) {
        o.used = true;
        directory.clear();
        if (before != nullptr && continuesLongName(*before, o.bytes))
            directory = before->tailLongName;
        directory.insert(directory.end(), o.bytes.begin(), o.bytes.end());
        sectorOk.assign((directory.size() + kSector - 1) / kSector, true);
        context.parentCluster = parent;
        context.parentDeleted = true;
        ParseDirectoryThorough(directory, sectorOk, context, catalogue, observer);
        return directoryEnd(directory, static_cast<std::uint32_t>(clusterBytes), context.fat32);
    };
    // An orphan is taken once; a folder found later may also have read it as
    // one of the clusters after its first.
    auto available = [&](const OrphanCluster& o) { return !o.used && !claimed.contains(o.cluster); };
    // Indexes of the orphans by what links them.
    std::unordered_multimap<std::uint32_t, std::size_t> byBackLink;
    std::unordered_multimap<std::uint32_t, std::size_t> byPosition; // its own cluster, and its first file's
    std::array<std::vector<std::size_t>, 256> byLeadingChecksum;    // of the long-name pieces it starts with
    for (std::size_t k = 0; k < orphans.size(); ++k) {
        const OrphanCluster& o = orphans[k];
        if (o.parentByBackLink != 0)
            byBackLink.emplace(o.parentByBackLink, k);
        byPosition.emplace(o.cluster, k);
        if (const std::uint32_t data = firstDataCluster(o.bytes, context.fat32); data != 0)
            byPosition.emplace(data, k);
        if (at(o.bytes, kAttributes) == kLongNameAttributes)
            byLeadingChecksum[at(o.bytes, kLongChecksum)].push_back(k);
    }
    // The orphan that carries on after `end` of folder `folderCluster`. First
    // what tells the place as well as the folder: a long name cut at the end and
    // carried on (only when one orphan fits), then its own cluster or its first
    // file's data following the data of the last file before it (the allocator
    // moving on in order). Then a subfolder naming the folder as its parent,
    // which tells the folder but not the place.
    auto findContinuation = [&](std::uint32_t folderCluster, const DirectoryEnd& end) -> OrphanCluster* {
        if (!end.tailLongName.empty()) {
            OrphanCluster* only = nullptr;
            std::size_t count = 0;
            for (const std::size_t k : byLeadingChecksum[at(end.tailLongName, kLongChecksum)])
                if (available(orphans[k]) && continuesLongName(end, orphans[k].bytes)) {
                    only = &orphans[k];
                    ++count;
                }
            if (count == 1)
                return only;
        }
        if (end.nextDataCluster != 0)
            for (auto [it, last] = byPosition.equal_range(end.nextDataCluster); it != last; ++it)
                if (available(orphans[it->second]))
                    return &orphans[it->second];
        for (auto [it, last] = byBackLink.equal_range(folderCluster); it != last; ++it)
            if (available(orphans[it->second]))
                return &orphans[it->second];
        return nullptr;
    };

    // Attach orphans to the open deleted folders while evidence links them; the
    // subfolders they list are walked in turn and may be open themselves.
    auto attachToOpenFolders = [&]() {
        for (bool progress = true; progress && !control.stopRequested();) {
            progress = false;
            for (std::size_t i = 0; i < openFolders.size() && !control.stopRequested(); ++i) {
                while (openFolders[i].end.open) {
                    OrphanCluster* next = findContinuation(openFolders[i].folderCluster, openFolders[i].end);
                    if (next == nullptr)
                        break;
                    openFolders[i].end = parseOrphan(*next, openFolders[i].folderCluster, &openFolders[i].end);
                    progress = true;
                }
            }
            if (walked < catalogue.FatFolderList.size()) {
                walkFolders();
                progress = true;
            }
        }
    };
    if (!orphans.empty())
        attachToOpenFolders();

    // Deleted folders whose own entry is gone, found by their first cluster.
    // Each goes under the folder its ".." names once that folder is known (a
    // lost folder may name another), the rest under the lost-and-found folder;
    // each is read like any deleted folder, so its files and subfolders are
    // found and its later clusters looked for. One whose entry turned up in
    // the meantime is listed already.
    bool lostMade = false;
    auto makeLostAndFound = [&]() {
        if (!lostMade) {
            catalogue.AddFatFolder(kLostFolderName, kLostFolderKey, catalogue::kFatRootKey, 0, 0, 0, 1);
            observer.foldersFound(catalogue.FolderCount);
            lostMade = true;
        }
    };
    auto parentIsRoot = [&](const LostFolder& f) {
        // FAT32 ".." entries of folders in the root may name the root's own cluster.
        return f.parent == catalogue::kFatRootKey || (context.fat32 && f.parent == g.RootDirStart);
    };
    std::size_t lostPlaced = 0;
    auto place = [&](LostFolder& f, std::uint32_t parent) {
        reportPhase("Placing lost folders", ++lostPlaced, lostFolders.size());
        catalogue.AddFatFolder(kLostFolderPrefix + std::to_string(f.cluster), f.cluster, parent, f.writeDate,
                               f.accessDate, 0, 1, f.writeTime);
        observer.foldersFound(catalogue.FolderCount);
        f.placed = true;
    };
    std::unordered_set<std::uint32_t> pending; // lost folders not placed yet
    for (const LostFolder& f : lostFolders)
        pending.insert(f.cluster);
    while (!pending.empty() && !control.stopRequested()) {
        // Those whose parent is known now; a folder placed in this round is
        // read before any lost folder is put under it, since reading it may
        // find that folder's own entry.
        std::vector<LostFolder*> ready;
        std::vector<LostFolder*> unknownParent;
        for (LostFolder& f : lostFolders) {
            if (f.placed)
                continue;
            if (catalogue.findFatFolder(f.cluster) != nullptr) {
                f.placed = true;
                pending.erase(f.cluster);
                continue;
            }
            if (parentIsRoot(f) || catalogue.findFatFolder(f.parent) != nullptr)
                ready.push_back(&f);
            else if (!pending.contains(f.parent))
                unknownParent.push_back(&f);
        }
        if (ready.empty()) {
            // The rest go under the lost-and-found folder: first those whose
            // parent is no lost folder either, then (folders naming each other
            // in a loop) one at a time.
            if (unknownParent.empty())
                for (LostFolder& f : lostFolders)
                    if (!f.placed) {
                        unknownParent.push_back(&f);
                        break;
                    }
            if (unknownParent.empty())
                break;
            makeLostAndFound();
            for (LostFolder* f : unknownParent) {
                place(*f, kLostFolderKey);
                pending.erase(f->cluster);
            }
        } else {
            for (LostFolder* f : ready) {
                place(*f, parentIsRoot(*f) ? catalogue::kFatRootKey : f->parent);
                pending.erase(f->cluster);
            }
        }
        attachToOpenFolders();
    }

    // What no evidence links goes under one lost-and-found folder: a folder per
    // run of orphans that carry on from one another, named by its first cluster.
    for (std::size_t k = 0; k < orphans.size() && !control.stopRequested(); ++k) {
        if (!available(orphans[k]))
            continue;
        makeLostAndFound();
        const std::uint32_t key = orphans[k].cluster;
        catalogue.AddFatFolder("cluster " + std::to_string(key), key, kLostFolderKey, 0, 0, 0, 1);
        observer.foldersFound(catalogue.FolderCount);
        DirectoryEnd end = parseOrphan(orphans[k], key, nullptr);
        while (end.open) {
            OrphanCluster* next = findContinuation(key, end);
            if (next == nullptr)
                break;
            end = parseOrphan(*next, key, &end);
        }
        attachToOpenFolders();
    }

    catalogue.Losses.UnreadableSectors += table.unreadableSectors();
    catalogue.Losses.Stopped = control.stopRequested();
    observer.stopAvailable(false);
    observer.progress(0);
}

} // namespace sarvik::fat
