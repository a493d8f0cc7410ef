// SPDX-License-Identifier: GPL-3.0-or-later
#include "fat/FatThoroughScan.h"

#include "catalogue/ReadProgress.h"
#include "disk/FreeSpaceReads.h"
#include "disk/VolumeExtent.h"

#include "catalogue/NameDecode.h"
#include "fat/FatOrphanClusters.h"
#include "fat/FatOrphanedFolders.h"

#include <algorithm>
#include <array>
#include <iterator>
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
    for (std::size_t i = dots; i < kShortNameBytes; ++i)
        if (at(entry, i) != ' ')
            return false;
    return true;
}

bool wellFormedEntry(std::span<const std::byte> e)
{
    const std::uint8_t attributes = at(e, kAttributes);
    if (attributes == kLongNameAttributes) {
        const std::uint8_t sequence = at(e, kLongSequence);
        const bool sequenceOk =
            sequence == kDeletedMark || ((sequence & ~0x5Fu) == 0 && (sequence & 0x1F) >= 1 && (sequence & 0x1F) <= 20);
        return sequenceOk && at(e, kLongType) == 0 && u16At(e, kLongCluster) == 0;
    }
    if ((attributes & 0xC0) != 0)
        return false;
    if (isDotEntry(e))
        return true;
    const std::uint8_t first = at(e, 0);
    if (first != kDeletedMark && first != kStandsForE5 && !isShortNameByte(first))
        return false;
    for (std::size_t i = 1; i < kShortNameBytes; ++i)
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
        if (m_count > 0 && ((sequence != kDeletedMark && (sequence & kLastLongPiece) != 0) || checksum != m_checksum))
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
    std::string base = part(kName, kNameLength, (flags & kLowerCaseBase) != 0);
    const std::string extension = part(kExtension, kExtensionLength, (flags & kLowerCaseExtension) != 0);
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
            if (!any)
                return false; // no entry before the end marker, and none may follow it
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
                   std::uint64_t partitionSectors)
    : m_reader(reader), m_geometry(geometry), m_bits(disk::fatEntryBits(geometry.GeometryKind)),
      m_blocks(std::make_shared<Blocks>())
{
    const std::uint32_t spc = std::max<std::uint32_t>(geometry.SectorsPerCluster, 1);
    const std::uint64_t metadata = std::uint64_t{geometry.ReservedSectors} +
                                   geometry.fatCount() * std::uint64_t{geometry.FatSectors} + geometry.RootDirSectors;
    const std::uint64_t dataClusters = partitionSectors > metadata ? (partitionSectors - metadata) / spc : 0;
    // A kind without a FAT of its own is read as FAT16 (exFAT's scan never asks).
    const unsigned bits = m_bits == 0 ? 16 : m_bits;
    const std::uint64_t tableEntries = disk::fatTableEntries(geometry.FatSectors, bits);
    const std::uint64_t highest = std::min<std::uint64_t>(dataClusters + 1, tableEntries == 0 ? 0 : tableEntries - 1);
    m_maxCluster = static_cast<std::uint32_t>(std::min<std::uint64_t>(highest, disk::fatHighestCluster(bits)));
}

const std::vector<std::byte>* FatTable::block(std::uint64_t index) const
{
    Blocks& blocks = *m_blocks;
    if (blocks.last != nullptr && blocks.lastIndex == index)
        return blocks.last;
    auto found = blocks.byIndex.find(index);
    if (found == blocks.byIndex.end()) {
        if (blocks.byIndex.size() >= kMaxFatBlocks)
            blocks.byIndex.clear();
        blocks.last = nullptr;
        std::vector<std::byte> bytes(std::size_t{kFatBlockSectors} * kSector);
        const std::uint64_t first = m_geometry.FirstFatSector + index * kFatBlockSectors;
        const std::uint32_t count = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(kFatBlockSectors, m_geometry.FatSectors - index * kFatBlockSectors));
        if (m_reader.read(first, count, std::span(bytes).first(std::size_t{count} * kSector)) != disk::ReadStatus::Ok)
            return nullptr;
        found = blocks.byIndex.emplace(index, std::move(bytes)).first;
    }
    blocks.last = &found->second;
    blocks.lastIndex = index;
    return blocks.last;
}

bool FatTable::tableBytes(std::uint64_t offset, std::span<std::byte> out) const
{
    constexpr std::uint64_t kBlockBytes = std::uint64_t{kFatBlockSectors} * kSector;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::uint64_t at = offset + i;
        if (const std::vector<std::byte>* bytes = block(at / kBlockBytes)) {
            out[i] = (*bytes)[static_cast<std::size_t>(at % kBlockBytes)];
            continue;
        }
        // Read what can be read sector by sector; a sector that fails stays unknown.
        std::array<std::byte, kSector> one{};
        const std::uint64_t sector = at / kSector;
        if (m_reader.read(m_geometry.FirstFatSector + sector, 1, one) != disk::ReadStatus::Ok) {
            m_unreadable.insert(sector);
            return false;
        }
        out[i] = one[static_cast<std::size_t>(at % kSector)];
    }
    return true;
}

std::optional<std::uint32_t> FatTable::entry(std::uint32_t cluster) const
{
    if (cluster < 2 || cluster > m_maxCluster || m_geometry.FirstFatSector == 0)
        return std::nullopt;
    const unsigned bits = m_bits == 0 ? 16 : m_bits;
    std::array<std::byte, 4> bytes{};
    if (!tableBytes(disk::fatEntryOffset(cluster, bits), std::span(bytes).first(disk::fatEntryReadBytes(bits))))
        return std::nullopt;
    const std::uint32_t value = disk::fatEntryValue(bytes, cluster, bits);
    return bits == 32 ? value & 0x0FFFFFFF : value;
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
    // A short chain is searched for a loop as it is; a long one through a set.
    constexpr std::size_t kSearchedInPlace = 16;
    std::unordered_set<std::uint32_t> seen;
    const auto metBefore = [&](std::uint32_t c) {
        if (clusters.size() < kSearchedInPlace)
            return std::find(clusters.begin(), clusters.end(), c) != clusters.end();
        if (seen.empty())
            seen.insert(clusters.begin(), clusters.end());
        return !seen.insert(c).second;
    };
    std::uint32_t current = first;
    while (clusters.size() < limit && !metBefore(current)) {
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

std::uint64_t EntryAddresses::at(std::size_t offset) const noexcept
{
    const auto after = std::upper_bound(m_runs.begin(), m_runs.end(), offset,
                                        [](std::size_t o, const auto& run) { return o < run.first; });
    if (after == m_runs.begin())
        return 0;
    const auto& [start, address] = *std::prev(after);
    return address == 0 ? 0 : address + (offset - start) / kEntrySize;
}

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
        name = catalogue::pathSafeName(name);

        const std::uint32_t maxCluster = context.table != nullptr ? context.table->maxCluster() : 0xFFFFFFFF;
        const bool clusterInRange = firstCluster >= 2 && firstCluster <= maxCluster;
        // An empty file has no cluster; anything else needs one on the volume.
        if (!clusterInRange && !(firstCluster == 0 && !folder && size == 0))
            continue;

        const std::uint16_t writeDate = view.writeDate();
        const std::uint16_t accessDate = view.accessDate();
        const std::uint16_t writeTime = view.writeTime();
        const catalogue::FatEntryOrigin origin =
            view.origin(context.addresses != nullptr ? context.addresses->at(e) : 0);
        if (folder) {
            catalogue.AddFatFolderEntry(name, firstCluster, context.parentCluster, writeDate, accessDate,
                                        deleted ? 1 : 0, writeTime, origin);
            observer.foldersFound(catalogue.folderCount());
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
                catalogue.AddFatFile(name, start, context.parentCluster, writeDate, accessDate, size, 1, writeTime,
                                     origin);
                catalogue.fsLists().FatFileList.back().clusterInUse = inUse;
                catalogue.fsLists().FatFileList.back().clusterHighInferred = inferred;
            } else {
                if (context.liveWithoutChain != nullptr && context.table != nullptr && size != 0 &&
                    context.table->entry(firstCluster) == std::optional<std::uint32_t>(0))
                    context.liveWithoutChain->emplace_back(firstCluster, size);
                if (context.live) {
                    catalogue.AddFatFile(name, firstCluster, context.parentCluster, writeDate, accessDate, size, 0,
                                         writeTime, origin);
                }
            }
            observer.filesFound(catalogue.fileCount());
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

// Clusters in use or holding no entries that the reading of a deleted folder
// passes over, at most, to the next free cluster that carries its entries on.
constexpr std::uint32_t kMaxPassedOver = 4;
// The free clusters kept as orphan candidates, at most (64 MiB of 512-byte clusters).
constexpr std::size_t kMaxOrphanBytes = std::size_t{64} << 20;
// Free clusters read at once while looking for orphan candidates.
constexpr std::uint32_t kOrphanReadBytes = 1u << 20;
// Used clusters between two free ones that one read of the free clusters
// takes in passing (and ignores), at most: one call in place of two. Copying
// a used cluster costs about what a call does, so only short gaps are bridged.
constexpr std::uint32_t kOrphanGapBytes = 16u << 10;
// The lost-and-found folder's key: cluster 1 holds no data on any FAT volume.
constexpr std::uint32_t kLostFolderKey = 1;
constexpr const char* kLostFolderName = "$Unlinked entries";
// A folder found by its first cluster alone is named by that cluster. A real
// folder could carry such a name only as a long name; the catalogue keys
// folders by their first cluster, so even then neither stands for the other.
constexpr const char* kLostFolderPrefix = "$Lost folder ";

/// The thorough scan of one volume: the root, then every folder found (the
/// catalogue's folder list is also the queue and grows while it is walked),
/// then what the free clusters still hold of deleted folders: their later
/// clusters (orphans) and folders whose own entry is gone (lost folders).
class FatThoroughScanner {
public:
    FatThoroughScanner(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue,
                       catalogue::ScanObserver& observer, const catalogue::ScanControl& control,
                       FreeClusterNotes* notes);
    /// Files in use are listed too.
    void listLive(bool live) { m_context.live = live; }
    void run();

private:
    bool appendCluster(std::uint32_t c);
    void readRoot();
    void walkFolders();
    void walkOnce(std::size_t index);
    [[nodiscard]] bool unwalked() const;
    void walkFolder(std::size_t index);
    void followDeletedFolder(std::uint32_t folderCluster);
    bool followKeptChain(std::uint32_t folderCluster);
    bool takeFreeDirectoryCluster(std::uint32_t c);
    void collectOrphans();
    template <typename Note> void examineHead(std::uint32_t c, std::uint64_t headBytes, const Note& note);
    [[nodiscard]] bool isFree(std::uint32_t c) const;
    void considerFreeCluster(std::uint32_t c, std::span<const std::byte> bytes);
    [[nodiscard]] std::uint32_t parentByBackLink(std::span<const std::byte> bytes) const;
    DirectoryEnd parseOrphan(OrphanCluster& o, std::uint32_t parent, const DirectoryEnd* before);
    [[nodiscard]] bool available(const OrphanCluster& o) const;
    void indexOrphans();
    OrphanCluster* findContinuation(std::uint32_t folderCluster, const DirectoryEnd& end);
    void attachToOpenFolders();
    void placeLostFolders();
    void makeLostAndFound();
    [[nodiscard]] bool parentIsRoot(const LostFolder& f) const;
    void place(LostFolder& f, std::uint32_t parent);
    void adoptUnlinkedOrphans();
    void reportPhase(catalogue::StatusCode phase, std::uint64_t at, std::uint64_t total);
    /// Whether the passes end here: at a stop request, except while placing
    /// what the search of free space found before one; only an owner that is
    /// going away ends those.
    [[nodiscard]] bool stopped() const { return m_placing ? m_control.abandoned() : m_control.stopRequested(); }

    const disk::VolumeGeometry& m_geometry;
    const disk::SectorReader& m_reader;
    const disk::PartitionBlock& m_partition;
    catalogue::Catalogue& m_catalogue;
    catalogue::ScanObserver& m_observer;
    const catalogue::ScanControl& m_control;
    FreeClusterNotes* m_notes; ///< null when nobody asked for them
    const FatTable m_table;
    const std::uint32_t m_lastHeld; ///< the last cluster the source holds whole
    const std::uint32_t m_spc;
    const std::size_t m_clusterBytes;
    const std::size_t m_maxClusters; ///< clusters read of one folder, at most
    ThoroughContext m_context;

    std::vector<std::byte> m_directory; ///< the folder being read, its clusters end to end
    std::vector<bool> m_sectorOk;       ///< per sector of m_directory
    EntryAddresses m_addresses;         ///< where the pieces of m_directory lie
    std::vector<std::byte> m_cluster;   ///< one cluster's read buffer
    std::size_t m_walked = 0;           ///< folders of the catalogue before it all walked
    std::size_t m_liveWalked = 0;       ///< folders in use before it all walked
    std::size_t m_walkedCount = 0;      ///< folders walked so far
    std::vector<bool> m_isWalked;       ///< per folder of the catalogue
    /// Placing the orphans and lost folders that a search of free space found:
    /// a stop request that came during the search does not drop them.
    bool m_placing = false;
    /// Free clusters a deleted folder was read from: no orphan candidates.
    std::unordered_set<std::uint32_t> m_claimed;
    /// Deleted folders whose entries run to the end of what was read of them.
    std::vector<OpenFolder> m_openFolders;
    /// Later clusters of deleted folders that lie elsewhere, and their bytes kept.
    std::vector<OrphanCluster> m_orphans;
    std::size_t m_orphanBytes = 0;
    /// Free first clusters of deleted folders whose own entries are gone.
    std::vector<LostFolder> m_lostFolders;
    std::size_t m_lostPlaced = 0; ///< lost folders placed so far
    bool m_lostMade = false;
    // Indexes of the orphans by what links them.
    std::unordered_multimap<std::uint32_t, std::size_t> m_byBackLink;
    std::unordered_multimap<std::uint32_t, std::size_t> m_byPosition; // its own cluster, and its first file's
    std::array<std::vector<std::size_t>, 256> m_byLeadingChecksum;    // of the long-name pieces it starts with
};

FatThoroughScanner::FatThoroughScanner(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue,
                                       catalogue::ScanObserver& observer, const catalogue::ScanControl& control,
                                       FreeClusterNotes* notes)
    : m_geometry(volume.geometry), m_reader(volume.reader), m_partition(volume.partition), m_catalogue(catalogue),
      m_observer(observer), m_control(control), m_notes(notes),
      m_table(volume.reader, volume.geometry, disk::fileSystemSpan(volume)),
      m_lastHeld(lastClusterHeld(volume, m_table.maxCluster())),
      m_spc(std::max<std::uint32_t>(volume.geometry.SectorsPerCluster, 1)),
      m_clusterBytes(std::size_t{m_spc} * kSector),
      m_maxClusters(std::max<std::size_t>(1, kMaxDirectoryBytes / m_clusterBytes)), m_cluster(m_clusterBytes)
{
    m_context.fat32 = m_geometry.GeometryKind == disk::VolumeKind::Fat32;
    m_context.table = &m_table;
    m_context.clusterBytes = static_cast<std::uint32_t>(m_clusterBytes);
    m_context.addresses = &m_addresses;
    if (m_notes != nullptr) {
        m_notes->table.emplace(m_table); // shares the blocks read here
        m_context.liveWithoutChain = &m_notes->liveWithoutChain;
    }
}

void FatThoroughScanner::run()
{
    m_catalogue.ClearFatCatalogue();
    m_catalogue.NamesAreUtf8 = true;
    m_observer.stopAvailable(true);
    m_observer.progress(0);
    m_observer.report({catalogue::StatusCode::ReadingRootFolder});

    readRoot();
    walkFolders();
    if (m_notes != nullptr) {
        // Placing reads only what the search found (the lost folders and their
        // subfolders), so once the folders are walked a stop no longer drops it.
        m_placing = !m_control.stopRequested();
        collectOrphans();
    }
    indexOrphans();
    if (!m_orphans.empty())
        attachToOpenFolders();
    placeLostFolders();
    adoptUnlinkedOrphans();

    m_catalogue.Losses.UnreadableSectors += m_table.unreadableSectors();
    m_catalogue.Losses.Stopped = m_control.stopRequested();
    m_observer.stopAvailable(false);
    m_observer.progress(0);
}

// Appends one cluster's sectors; a cluster that cannot be read whole is read
// sector by sector, and a sector that fails is marked and never parsed.
bool FatThoroughScanner::appendCluster(std::uint32_t c)
{
    const auto firstSector = m_geometry.clusterSector(c);
    if (!firstSector)
        return false;
    const bool whole = m_reader.read(*firstSector, m_spc, m_cluster) == disk::ReadStatus::Ok;
    for (std::uint32_t i = 0; i < m_spc; ++i) {
        const auto sector = std::span(m_cluster).subspan(std::size_t{i} * kSector, kSector);
        const bool ok = whole || m_reader.read(*firstSector + i, 1, sector) == disk::ReadStatus::Ok;
        if (!ok)
            ++m_catalogue.Losses.UnreadableSectors;
        m_sectorOk.push_back(ok);
    }
    m_addresses.add(m_directory.size(), m_geometry.entryAddress(*firstSector));
    m_directory.insert(m_directory.end(), m_cluster.begin(), m_cluster.end());
    m_observer.currentSector(*firstSector);
    return true;
}

void FatThoroughScanner::readRoot()
{
    m_directory.clear();
    m_sectorOk.clear();
    m_addresses.clear();
    if (m_context.fat32) {
        for (const std::uint32_t c : m_table.chain(m_geometry.RootDirStart, m_maxClusters))
            if (!appendCluster(c))
                break;
    } else {
        const disk::VolumeGeometry& g = m_geometry;
        const std::uint64_t rootStart = std::uint64_t{g.ReservedSectors} + g.fatCount() * std::uint64_t{g.FatSectors} +
                                        m_partition.PartitionStartSector;
        std::array<std::byte, kSector> sector{};
        m_addresses.add(0, g.entryAddress(rootStart));
        for (std::uint32_t i = 0; i < g.RootDirSectors; ++i) {
            const bool ok = m_reader.read(rootStart + i, 1, sector) == disk::ReadStatus::Ok;
            if (!ok)
                ++m_catalogue.Losses.UnreadableSectors;
            m_sectorOk.push_back(ok);
            m_directory.insert(m_directory.end(), sector.begin(), sector.end());
        }
    }
    ParseDirectoryThorough(m_directory, m_sectorOk, m_context, m_catalogue, m_observer);
}

// Folders in use are read before any deleted one. A folder moved elsewhere
// leaves a deleted entry behind that names its first cluster; the live entry
// must own that cluster (and the entries in it) before anything is read from
// it, and live entries are found only in live folders.
void FatThoroughScanner::walkFolders()
{
    const auto& folders = m_catalogue.fsLists().FatFolderList;
    while (!stopped()) {
        for (; m_liveWalked < folders.size() && !stopped(); ++m_liveWalked)
            if (folders[m_liveWalked].deleted == 0)
                walkOnce(m_liveWalked);
        bool liveAgain = false;
        for (; m_walked < folders.size() && !stopped(); ++m_walked) {
            if (m_walked < m_isWalked.size() && m_isWalked[m_walked])
                continue;
            if (folders[m_walked].deleted == 0) {
                // It took a deleted entry's place after the live pass went by.
                m_liveWalked = m_walked;
                liveAgain = true;
                break;
            }
            walkOnce(m_walked);
        }
        if (!liveAgain)
            return;
    }
}

bool FatThoroughScanner::unwalked() const
{
    const std::size_t size = m_catalogue.fsLists().FatFolderList.size();
    return m_walked < size || m_liveWalked < size;
}

void FatThoroughScanner::walkOnce(std::size_t index)
{
    if (m_isWalked.size() <= index)
        m_isWalked.resize(m_catalogue.fsLists().FatFolderList.size(), false);
    if (m_isWalked[index])
        return;
    m_isWalked[index] = true;
    reportPhase(catalogue::StatusCode::ReadingFolders, ++m_walkedCount, m_catalogue.fsLists().FatFolderList.size());
    walkFolder(index);
}

void FatThoroughScanner::walkFolder(std::size_t index)
{
    const std::uint32_t folderCluster = m_catalogue.fsLists().FatFolderList[index].firstCluster;
    const bool folderDeleted = m_catalogue.fsLists().FatFolderList[index].deleted == 1;
    if (folderCluster == kLostFolderKey || m_catalogue.fsLists().FatFolderList[index].movedTo != 0)
        return; // the lost-and-found folder, and stand-ins of moved folders, hold nothing on disk
    m_context.parentCluster = folderCluster;
    m_context.parentDeleted = folderDeleted;
    m_directory.clear();
    m_sectorOk.clear();
    m_addresses.clear();
    if (!appendCluster(folderCluster))
        return;
    // The first cluster must still be this folder's: "." names it.
    const auto head = std::span<const std::byte>(m_directory).first(std::min<std::size_t>(m_directory.size(), 64));
    if (!m_sectorOk[0] || !isDotEntry(head) || DirectoryEntry(head).cluster(m_context.fat32) != folderCluster)
        return;
    if (!folderDeleted) {
        const auto clusters = m_table.chain(folderCluster, m_maxClusters);
        for (std::size_t k = 1; k < clusters.size() && !stopped(); ++k)
            if (!appendCluster(clusters[k]))
                break;
    } else if (!followKeptChain(folderCluster)) {
        followDeletedFolder(folderCluster);
    }
    ParseDirectoryThorough(m_directory, m_sectorOk, m_context, m_catalogue, m_observer);
}

// A deleted folder's chain is gone from the table. Its later clusters are
// taken to follow the first while they are free and still hold directory
// entries (a cluster that starts another folder does not). A folder that grew
// after other files were written went on in the next free cluster after
// theirs: while the entries read so far run to the end of their last cluster,
// a few clusters that are in use or hold no entries are passed over.
// Appends free cluster `c` to the deleted folder being read when it holds
// directory entries and does not start a folder of its own.
bool FatThoroughScanner::takeFreeDirectoryCluster(std::uint32_t c)
{
    const auto value = m_table.entry(c);
    if (!value || *value != 0 || m_claimed.contains(c))
        return false;
    const auto firstSector = m_geometry.clusterSector(c);
    if (!firstSector || m_reader.read(*firstSector, m_spc, m_cluster) != disk::ReadStatus::Ok)
        return false;
    if (isDotEntry(m_cluster) || !looksLikeDirectoryEntries(m_cluster))
        return false;
    m_sectorOk.insert(m_sectorOk.end(), m_spc, true);
    m_addresses.add(m_directory.size(), m_geometry.entryAddress(*firstSector));
    m_directory.insert(m_directory.end(), m_cluster.begin(), m_cluster.end());
    m_claimed.insert(c);
    return true;
}

// A deleted folder whose chain the table still holds (a system that does not
// clear it on deletion): its clusters are read along the chain while each
// holds directory entries and starts no folder of its own. False when the
// table holds no chain from its first cluster.
bool FatThoroughScanner::followKeptChain(std::uint32_t folderCluster)
{
    const auto value = m_table.entry(folderCluster);
    if (!value || m_table.endsChain(*value))
        return false;
    m_claimed.insert(folderCluster);
    const auto clusters = m_table.chain(folderCluster, m_maxClusters);
    for (std::size_t k = 1; k < clusters.size() && !stopped(); ++k) {
        const auto firstSector = m_geometry.clusterSector(clusters[k]);
        if (!firstSector || m_reader.read(*firstSector, m_spc, m_cluster) != disk::ReadStatus::Ok ||
            isDotEntry(m_cluster) || !looksLikeDirectoryEntries(m_cluster))
            break;
        m_sectorOk.insert(m_sectorOk.end(), m_spc, true);
        m_addresses.add(m_directory.size(), m_geometry.entryAddress(*firstSector));
        m_directory.insert(m_directory.end(), m_cluster.begin(), m_cluster.end());
        m_claimed.insert(clusters[k]);
    }
    return true;
}

void FatThoroughScanner::followDeletedFolder(std::uint32_t folderCluster)
{
    m_claimed.insert(folderCluster);
    std::uint32_t passedOver = 0;
    for (std::uint32_t c = folderCluster + 1;
         c <= m_table.maxCluster() && m_directory.size() < kMaxDirectoryBytes && !stopped(); ++c) {
        if (takeFreeDirectoryCluster(c)) {
            passedOver = 0;
            continue;
        }
        if (++passedOver > kMaxPassedOver || !directoryEnd(m_directory, m_context.clusterBytes, m_context.fat32).open)
            break;
    }
    OpenFolder open{folderCluster, directoryEnd(m_directory, m_context.clusterBytes, m_context.fat32)};
    if (open.end.open && m_directory.size() < kMaxDirectoryBytes)
        m_openFolders.push_back(std::move(open));
}

// Later clusters of deleted folders that lie elsewhere: one pass over the free
// clusters no folder was read from, keeping those that read strictly as
// deleted directory entries, and noting free first clusters of lost folders.
void FatThoroughScanner::collectOrphans()
{
    if (m_control.stopRequested() || m_clusterBytes > kOrphanReadBytes)
        return;
    // No more clusters than the volume has: a small volume needs no MiB.
    const std::uint32_t clusters = std::max<std::uint32_t>(m_table.maxCluster(), 2) - 1;
    const auto batch = static_cast<std::uint32_t>(std::min<std::uint64_t>(kOrphanReadBytes / m_clusterBytes, clusters));
    const auto gapLimit = static_cast<std::uint32_t>(kOrphanGapBytes / m_clusterBytes);
    std::vector<std::byte> block(std::size_t{batch} * m_clusterBytes);
    const std::vector<std::byte> zeros(m_clusterBytes); // what each cluster in a hole of a sparse image reads as
    std::uint64_t freeClusters = 0;
    for (std::uint32_t k = 2; k <= m_table.maxCluster(); ++k)
        freeClusters += isFree(k) ? 1u : 0u;
    const std::uint64_t readBytes = disk::freeClusterReadBytes(m_clusterBytes);
    catalogue::ReadProgress progress(m_observer, catalogue::StatusCode::SearchingFreeSpace, freeClusters * readBytes);
    bool cut = false; // the pass ended before its last free cluster
    std::uint32_t c = 2;
    const auto note = [&](std::uint32_t k, std::optional<std::span<const std::byte>> bytes) {
        if (m_notes != nullptr && k <= m_lastHeld)
            m_notes->note(k, bytes, m_context.fat32);
    };
    while (c <= m_table.maxCluster() && !m_control.stopRequested()) {
        if (m_orphanBytes >= kMaxOrphanBytes) {
            cut = true;
            break;
        }
        if (!isFree(c)) {
            ++c;
            continue;
        }
        if (readBytes < m_clusterBytes) {
            progress.add(readBytes);
            examineHead(c, readBytes, note);
            ++c;
            continue;
        }
        // Free clusters read in one go where they can be: a run of them, and
        // the runs that follow it after a few used clusters, read in passing.
        std::uint32_t n = 1;
        for (std::uint32_t k = 1; k < batch && c + k <= m_table.maxCluster(); ++k) {
            if (isFree(c + k))
                n = k + 1;
            else if (k - n >= gapLimit)
                break;
        }
        std::uint32_t freeInRun = 0;
        for (std::uint32_t i = 0; i < n; ++i)
            freeInRun += isFree(c + i) ? 1u : 0u;
        progress.add(std::uint64_t{freeInRun} * m_clusterBytes);
        const auto firstSector = m_geometry.clusterSector(c);
        if (!firstSector) {
            for (std::uint32_t i = 0; i < n; ++i)
                if (isFree(c + i))
                    note(c + i, std::nullopt);
            c += n;
            continue;
        }
        m_observer.currentSector(*firstSector);
        const auto read = std::span(block).first(std::size_t{n} * m_clusterBytes);
        const bool hole = m_reader.knownZero(*firstSector, n * m_spc);
        const bool whole = hole || m_reader.read(*firstSector, n * m_spc, read) == disk::ReadStatus::Ok;
        for (std::uint32_t i = 0; i < n; ++i) {
            if (m_orphanBytes >= kMaxOrphanBytes) {
                cut = true;
                break;
            }
            if (i != 0 && !isFree(c + i))
                continue;
            const auto inBlock = read.subspan(std::size_t{i} * m_clusterBytes, m_clusterBytes);
            const std::span<const std::byte> one = hole ? std::span<const std::byte>(zeros) : inBlock;
            if (!whole &&
                m_reader.read(*firstSector + std::uint64_t{i} * m_spc, m_spc, inBlock) != disk::ReadStatus::Ok) {
                note(c + i, std::nullopt);
                continue;
            }
            note(c + i, one);
            considerFreeCluster(c + i, one);
        }
        if (cut)
            break;
        c += n;
    }
    if (m_notes != nullptr)
        m_notes->complete = !cut && !m_control.stopRequested();
    if (!m_control.stopRequested())
        progress.finish();
}

// A large free cluster read by its head: the rest only where the head may
// start a folder's entries (a "." entry, a deleted entry, or entries that read
// well so far); what recognises a file by its content needs no more.
template <typename Note>
void FatThoroughScanner::examineHead(std::uint32_t c, std::uint64_t headBytes, const Note& note)
{
    const auto firstSector = m_geometry.clusterSector(c);
    if (!firstSector) {
        note(c, std::nullopt);
        return;
    }
    m_observer.currentSector(*firstSector);
    const auto head = std::span(m_cluster).first(static_cast<std::size_t>(headBytes));
    if (m_reader.knownZero(*firstSector, m_spc)) {
        std::fill(m_cluster.begin(), m_cluster.end(), std::byte{0});
        note(c, std::span<const std::byte>(m_cluster));
        return;
    }
    if (m_reader.read(*firstSector, static_cast<std::uint32_t>(headBytes / kSector), head) != disk::ReadStatus::Ok) {
        note(c, std::nullopt);
        return;
    }
    const DirectoryEntry first(head);
    const bool mayBeFolder = first.first() == '.' || first.first() == kDeletedMark || looksLikeDirectoryEntries(head);
    if (!mayBeFolder) {
        note(c, std::span<const std::byte>(head));
        return;
    }
    const auto rest = std::span(m_cluster).subspan(head.size());
    if (m_reader.read(*firstSector + headBytes / kSector, static_cast<std::uint32_t>(rest.size() / kSector), rest) !=
        disk::ReadStatus::Ok) {
        note(c, std::nullopt);
        return;
    }
    note(c, std::span<const std::byte>(m_cluster));
    considerFreeCluster(c, m_cluster);
}

bool FatThoroughScanner::isFree(std::uint32_t c) const
{
    const auto value = m_table.entry(c);
    return value && *value == 0;
}

void FatThoroughScanner::considerFreeCluster(std::uint32_t c, std::span<const std::byte> bytes)
{
    const DirectoryEntry first(bytes);
    if (first.first() == '.' && !m_claimed.contains(c) && m_catalogue.findFatFolder(c) == nullptr) {
        if (const auto parent = lostFolderParent(bytes, c, m_table.maxCluster(), m_context.fat32))
            m_lostFolders.push_back({c, *parent, first.writeDate(), first.accessDate(), false, first.writeTime()});
        return;
    }
    if (first.first() != kDeletedMark || m_claimed.contains(c) || m_catalogue.findFatFolder(c) != nullptr ||
        !looksLikeOrphanDirectoryCluster(bytes, m_table.maxCluster(), m_context.fat32))
        return;
    OrphanCluster o;
    o.cluster = c;
    o.bytes.assign(bytes.begin(), bytes.end());
    o.parentByBackLink = parentByBackLink(bytes);
    m_orphanBytes += o.bytes.size();
    m_orphans.push_back(std::move(o));
}

// A subfolder listed in `bytes` whose first cluster still names itself and its
// parent tells which folder these entries belong to; 0 when none does.
std::uint32_t FatThoroughScanner::parentByBackLink(std::span<const std::byte> bytes) const
{
    std::array<std::byte, kSector> head{};
    for (const std::uint32_t sub : folderEntryClusters(bytes, m_context.fat32)) {
        const auto s = m_geometry.clusterSector(sub);
        if (sub < 2 || sub > m_table.maxCluster() || !s || m_reader.read(*s, 1, head) != disk::ReadStatus::Ok)
            continue;
        const std::span<const std::byte> h(head);
        if (!isDotEntry(h.first(kEntrySize)) || !isDotEntry(h.subspan(kEntrySize, kEntrySize)) ||
            at(h, kEntrySize + 1) != '.')
            continue;
        const std::uint32_t self = DirectoryEntry(h.first(kEntrySize)).cluster(m_context.fat32);
        const std::uint32_t parent = DirectoryEntry(h.subspan(kEntrySize, kEntrySize)).cluster(m_context.fat32);
        if (self == sub && parent >= 2)
            return parent;
    }
    return 0;
}

// Parses an orphan cluster as the continuation of folder `parent`: a name cut
// at the end of what came before is carried into it.
DirectoryEnd FatThoroughScanner::parseOrphan(OrphanCluster& o, std::uint32_t parent, const DirectoryEnd* before)
{
    o.used = true;
    m_directory.clear();
    m_addresses.clear();
    if (before != nullptr && continuesLongName(*before, o.bytes)) {
        m_directory = before->tailLongName;
        m_addresses.add(0, 0); // long-name pieces only: no entry of the catalogue comes from them
    }
    const auto sector = m_geometry.clusterSector(o.cluster);
    m_addresses.add(m_directory.size(), sector ? m_geometry.entryAddress(*sector) : 0);
    m_directory.insert(m_directory.end(), o.bytes.begin(), o.bytes.end());
    m_sectorOk.assign((m_directory.size() + kSector - 1) / kSector, true);
    m_context.parentCluster = parent;
    m_context.parentDeleted = true;
    ParseDirectoryThorough(m_directory, m_sectorOk, m_context, m_catalogue, m_observer);
    return directoryEnd(m_directory, m_context.clusterBytes, m_context.fat32);
}

// An orphan is taken once; a folder found later may also have read it as one
// of the clusters after its first.
bool FatThoroughScanner::available(const OrphanCluster& o) const
{
    return !o.used && !m_claimed.contains(o.cluster);
}

void FatThoroughScanner::indexOrphans()
{
    for (std::size_t k = 0; k < m_orphans.size(); ++k) {
        const OrphanCluster& o = m_orphans[k];
        if (o.parentByBackLink != 0)
            m_byBackLink.emplace(o.parentByBackLink, k);
        m_byPosition.emplace(o.cluster, k);
        if (const std::uint32_t data = firstDataCluster(o.bytes, m_context.fat32); data != 0)
            m_byPosition.emplace(data, k);
        if (at(o.bytes, kAttributes) == kLongNameAttributes)
            m_byLeadingChecksum[at(o.bytes, kLongChecksum)].push_back(k);
    }
}

// The orphan that carries on after `end` of folder `folderCluster`. First what
// tells the place as well as the folder: a long name cut at the end and carried
// on (only when one orphan fits), then its own cluster or its first file's data
// following the data of the last file before it (the allocator moving on in
// order). Then a subfolder naming the folder as its parent, which tells the
// folder but not the place.
OrphanCluster* FatThoroughScanner::findContinuation(std::uint32_t folderCluster, const DirectoryEnd& end)
{
    if (!end.tailLongName.empty()) {
        OrphanCluster* only = nullptr;
        std::size_t count = 0;
        for (const std::size_t k : m_byLeadingChecksum[at(end.tailLongName, kLongChecksum)])
            if (available(m_orphans[k]) && continuesLongName(end, m_orphans[k].bytes)) {
                only = &m_orphans[k];
                ++count;
            }
        if (count == 1)
            return only;
    }
    if (end.nextDataCluster != 0)
        for (auto [it, last] = m_byPosition.equal_range(end.nextDataCluster); it != last; ++it)
            if (available(m_orphans[it->second]))
                return &m_orphans[it->second];
    for (auto [it, last] = m_byBackLink.equal_range(folderCluster); it != last; ++it)
        if (available(m_orphans[it->second]))
            return &m_orphans[it->second];
    return nullptr;
}

// Attaches orphans to the open deleted folders while evidence links them; the
// subfolders they list are walked in turn and may be open themselves.
void FatThoroughScanner::attachToOpenFolders()
{
    for (bool progress = true; progress && !stopped();) {
        progress = false;
        for (std::size_t i = 0; i < m_openFolders.size() && !stopped(); ++i) {
            while (m_openFolders[i].end.open) {
                OrphanCluster* next = findContinuation(m_openFolders[i].folderCluster, m_openFolders[i].end);
                if (next == nullptr)
                    break;
                m_openFolders[i].end = parseOrphan(*next, m_openFolders[i].folderCluster, &m_openFolders[i].end);
                progress = true;
            }
        }
        if (unwalked()) {
            walkFolders();
            progress = true;
        }
    }
}

void FatThoroughScanner::makeLostAndFound()
{
    if (m_lostMade)
        return;
    m_catalogue.AddFatFolder(kLostFolderName, kLostFolderKey, catalogue::kFatRootKey, 0, 0, 0, 1);
    m_observer.foldersFound(m_catalogue.folderCount());
    m_lostMade = true;
}

bool FatThoroughScanner::parentIsRoot(const LostFolder& f) const
{
    // FAT32 ".." entries of folders in the root may name the root's own cluster.
    return f.parent == catalogue::kFatRootKey || (m_context.fat32 && f.parent == m_geometry.RootDirStart);
}

void FatThoroughScanner::place(LostFolder& f, std::uint32_t parent)
{
    reportPhase(catalogue::StatusCode::PlacingLostFolders, ++m_lostPlaced, m_lostFolders.size());
    m_catalogue.AddFatFolder(kLostFolderPrefix + std::to_string(f.cluster), f.cluster, parent, f.writeDate,
                             f.accessDate, 0, 1, f.writeTime);
    m_observer.foldersFound(m_catalogue.folderCount());
    f.placed = true;
}

// Deleted folders whose own entry is gone, found by their first cluster. Each
// goes under the folder its ".." names once that folder is known (a lost folder
// may name another), the rest under the lost-and-found folder; each is read
// like any deleted folder, so its files and subfolders are found and its later
// clusters looked for. One whose entry turned up in the meantime is listed
// already.
void FatThoroughScanner::placeLostFolders()
{
    std::unordered_set<std::uint32_t> pending; // lost folders not placed yet
    for (const LostFolder& f : m_lostFolders)
        pending.insert(f.cluster);
    while (!pending.empty() && !stopped()) {
        // Those whose parent is known now; a folder placed in this round is
        // read before any lost folder is put under it, since reading it may
        // find that folder's own entry.
        std::vector<LostFolder*> ready;
        std::vector<LostFolder*> unknownParent;
        for (LostFolder& f : m_lostFolders) {
            if (f.placed)
                continue;
            if (m_catalogue.findFatFolder(f.cluster) != nullptr) {
                f.placed = true;
                pending.erase(f.cluster);
                continue;
            }
            if (parentIsRoot(f) || m_catalogue.findFatFolder(f.parent) != nullptr)
                ready.push_back(&f);
            else if (!pending.contains(f.parent))
                unknownParent.push_back(&f);
        }
        if (ready.empty()) {
            // The rest go under the lost-and-found folder: first those whose
            // parent is no lost folder either, then (folders naming each other
            // in a loop) one at a time.
            if (unknownParent.empty())
                for (LostFolder& f : m_lostFolders)
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
}

// What no evidence links goes under one lost-and-found folder: a folder per run
// of orphans that carry on from one another, named by its first cluster.
void FatThoroughScanner::adoptUnlinkedOrphans()
{
    for (std::size_t k = 0; k < m_orphans.size() && !stopped(); ++k) {
        if (!available(m_orphans[k]))
            continue;
        makeLostAndFound();
        const std::uint32_t key = m_orphans[k].cluster;
        m_catalogue.AddFatFolder("cluster " + std::to_string(key), key, kLostFolderKey, 0, 0, 0, 1);
        m_observer.foldersFound(m_catalogue.folderCount());
        DirectoryEnd end = parseOrphan(m_orphans[k], key, nullptr);
        while (end.open) {
            OrphanCluster* next = findContinuation(key, end);
            if (next == nullptr)
                break;
            end = parseOrphan(*next, key, &end);
        }
        attachToOpenFolders();
    }
}

// Each phase reports the item it is at of those it knows of ("N of M") and,
// as the progress, the share of them it has finished.
void FatThoroughScanner::reportPhase(catalogue::StatusCode phase, std::uint64_t at, std::uint64_t total)
{
    m_observer.report({phase, at, total});
    m_observer.progress(
        static_cast<std::uint32_t>(total == 0 ? 0 : std::min<std::uint64_t>(99, (at - 1) * 100 / total)));
}

} // namespace

void ScanFatThorough(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue,
                     catalogue::ScanObserver& observer, catalogue::ScanControl& control, FreeClusterNotes* notes,
                     bool live)
{
    FatThoroughScanner scanner(volume, catalogue, observer, control, notes);
    scanner.listLive(live);
    scanner.run();
}

} // namespace sarvik::fat
