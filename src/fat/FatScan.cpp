// SPDX-License-Identifier: GPL-3.0-or-later
#include "fat/FatScan.h"

#include "fat/ClusterChain.h"
#include "fat/DirectoryEntry.h"
#include "fat/FatOrphanedFolders.h"
#include "fat/FatThoroughScan.h"

#include <algorithm>
#include <array>
#include <vector>

namespace sarvik::fat {

namespace {

using namespace dirent;

// A sector holds 16 entries.
constexpr unsigned kEntriesPerSector = disk::kSectorSize / kEntrySize;
// The classic rules keep at most this many bytes of a long name.
constexpr std::size_t kMaxLongName = 255;

std::uint8_t byteAt(std::span<const std::byte> sector, std::size_t offset)
{
    return disk::ByteReader(sector).u8or0(offset);
}

// The first sector of a folder must still begin with the "." and ".." entries;
// otherwise the cluster has been given to something else.
bool startsWithDotEntries(std::span<const std::byte> sector)
{
    return byteAt(sector, 0) == '.' && byteAt(sector, 1) == ' ' && byteAt(sector, 32) == '.' &&
           byteAt(sector, 33) == '.';
}

} // namespace

bool AssembleLongName(std::span<const std::byte> sector, unsigned k, std::string& out)
{
    out.clear();
    unsigned sequence = 1;
    unsigned current = k;
    for (;;) {
        if (current == 0)
            return !out.empty();
        --current;
        const std::size_t entry = std::size_t{current} * kEntrySize;
        if (entry + kEntrySize > sector.size() || byteAt(sector, entry + kAttributes) != kLongNameAttributes)
            return !out.empty();
        for (const std::size_t unit : kLongUnits) {
            const std::uint8_t c = byteAt(sector, entry + unit);
            if (c == 0)
                return true;
            out.push_back(static_cast<char>(c));
            if (out.size() == kMaxLongName)
                return true;
        }
        if (byteAt(sector, entry) == kLastLongPiece + sequence)
            return true;
        ++sequence;
    }
}

int IsValidName(const std::string& name)
{
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 1 && c <= 31) || c >= 128)
            return 0;
        switch (c) {
        case '"':
        case '\\':
        case '/':
        case '?':
        case '*':
        case '<':
        case '>':
        case '|':
            return 0;
        default:
            break;
        }
    }
    return 1;
}

void ParseDirectorySector(std::span<const std::byte> sector, const DirectoryContext& context, bool& endOfDirectory,
                          std::uint64_t sectorNumber, catalogue::Catalogue& catalogue,
                          catalogue::ScanObserver& observer)
{
    observer.currentSector(sectorNumber);
    const disk::ByteReader bytes(sector);
    std::string name;
    std::string longName;
    for (unsigned k = context.firstEntry; k < kEntriesPerSector; ++k) {
        const std::size_t e = std::size_t{k} * kEntrySize;
        if (!bytes.has(e, kEntrySize))
            return;
        std::uint32_t deleted = context.parentDeleted ? 1 : 0;
        if (bytes.u8or0(e + kName) == 0x00) {
            endOfDirectory = true;
            return;
        }
        const std::uint8_t attributes = bytes.u8or0(e + kAttributes);
        if (attributes == kLongNameAttributes)
            continue;
        std::uint32_t firstCluster = bytes.u16or0(e + kClusterLow);
        if (context.fat32)
            firstCluster |= std::uint32_t{bytes.u16or0(e + kClusterHigh)} << 16;
        if (firstCluster == 0)
            continue;
        const std::uint32_t size = bytes.u32or0(e + kFileSize);

        name.clear();
        for (std::size_t i = 0; i < kNameLength; ++i) {
            const std::uint8_t c = bytes.u8or0(e + kName + i);
            if (c != ' ')
                name.push_back(static_cast<char>(c));
        }
        if (bytes.u8or0(e + kExtension) != ' ') {
            name.push_back('.');
            for (std::size_t i = 0; i < kExtensionLength; ++i) {
                const std::uint8_t c = bytes.u8or0(e + kExtension + i);
                if (c != ' ')
                    name.push_back(static_cast<char>(c));
            }
        }
        if (bytes.u8or0(e + kName) == kDeletedMark) {
            deleted = 1;
            name[0] = 'x';
        }
        name.resize(std::min(name.size(), name.find('\0'))); // the name ends at its first NUL byte
        if (AssembleLongName(sector, k, longName))
            name = longName;
        if (IsValidName(name) == 0)
            continue;

        const std::uint16_t writeDate = bytes.u16or0(e + kWriteDate);
        const std::uint16_t accessDate = bytes.u16or0(e + kAccessDate);
        const std::uint16_t writeTime = bytes.u16or0(e + kWriteTime);
        const catalogue::FatEntryOrigin origin =
            DirectoryEntry(sector.subspan(e, kEntrySize))
                .origin(context.geometry != nullptr ? context.geometry->entryAddress(sectorNumber, e) : 0);
        if ((attributes & kDirectoryBit) != 0) {
            catalogue.AddFatFolder(name, firstCluster, context.parentCluster, writeDate, accessDate, 0, deleted,
                                   writeTime, origin);
            observer.foldersFound(catalogue.folderCount());
        } else {
            if (deleted == 1) {
                catalogue.AddFatFile(name, firstCluster, context.parentCluster, writeDate, accessDate, size, 1,
                                     writeTime, origin);
            }
            observer.filesFound(catalogue.fileCount());
        }
        ++catalogue.EntriesExamined;
        observer.progress(static_cast<std::uint32_t>(
            std::min<std::uint64_t>(100, std::uint64_t{catalogue.EntriesExamined} * 100 / context.progressDivisor)));
        observer.lastItem(name);
    }
}

void ScanFat(const disk::SelectedVolume& volume, catalogue::Catalogue& catalogue, catalogue::ScanObserver& observer,
             catalogue::ScanControl& control, const FatScanOptions& options)
{
    if (options.thorough) {
        // A stop asked in the directory walk ends the whole scan: the deep
        // search's passes over free space do not start. The request stays
        // asked, so the scan's owner skips what would come after them too.
        FreeClusterNotes ownNotes; // the free clusters, read once for both passes
        FreeClusterNotes* notes = !options.deep                     ? nullptr
                                  : options.freeClusters != nullptr ? options.freeClusters
                                                                    : &ownNotes;
        ScanFatThorough(volume, catalogue, observer, control, notes, options.live);
        if (notes != nullptr && !control.stopRequested()) {
            observer.stopAvailable(true);
            FindOrphanedFolders(volume, catalogue, observer, control, notes);
            observer.stopAvailable(false);
        }
        return;
    }
    catalogue.NamesAreUtf8 = false;
    const disk::VolumeGeometry& g = volume.geometry;
    const disk::SectorReader& reader = volume.reader;
    catalogue.ClearFatCatalogue();
    observer.stopAvailable(true);
    observer.progress(0);

    DirectoryContext context;
    context.fat32 = g.GeometryKind == disk::VolumeKind::Fat32;
    context.geometry = &g;
    const std::uint32_t spc = g.SectorsPerCluster;
    // A volume smaller than a cluster would divide by zero here.
    context.progressDivisor = std::max<std::uint32_t>(1, spc == 0 ? 0 : volume.partition.PartitionSectors / spc);

    // Each cluster is read in one call; when that fails its sectors are read one
    // by one so that a single bad sector costs only itself. A sector that cannot
    // be read is skipped, never parsed.
    std::vector<std::byte> cluster(std::size_t{std::max<std::uint32_t>(spc, 1)} * disk::kSectorSize);
    std::vector<bool> sectorOk(std::max<std::uint32_t>(spc, 1));
    auto readCluster = [&](std::uint64_t firstSector, std::uint32_t count) {
        if (reader.read(firstSector, count, cluster) == disk::ReadStatus::Ok) {
            std::fill(sectorOk.begin(), sectorOk.begin() + count, true);
            return;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            sectorOk[i] = reader.read(firstSector + i, 1,
                                      std::span(cluster).subspan(std::size_t{i} * disk::kSectorSize,
                                                                 disk::kSectorSize)) == disk::ReadStatus::Ok;
            if (!sectorOk[i])
                ++catalogue.Losses.UnreadableSectors;
        }
    };
    auto sectorBytes = [&](std::uint32_t i) {
        return std::span<const std::byte>(cluster).subspan(std::size_t{i} * disk::kSectorSize, disk::kSectorSize);
    };

    // The root directory, read without looking at the stop flag.
    bool endOfDirectory = false;
    if (context.fat32) {
        ClusterChain chain;
        chain.BuildDirectoryChain(g.RootDirStart, g.GeometryKind);
        for (const std::uint32_t c : chain.clusters()) {
            const auto first = g.clusterSector(c);
            if (!first)
                break;
            readCluster(*first, spc);
            for (std::uint32_t i = 0; i < spc && !endOfDirectory; ++i)
                if (sectorOk[i])
                    ParseDirectorySector(sectorBytes(i), context, endOfDirectory, *first + i, catalogue, observer);
        }
    } else {
        const std::uint64_t rootStart = std::uint64_t{g.ReservedSectors} + g.fatCount() * std::uint64_t{g.FatSectors} +
                                        volume.partition.PartitionStartSector;
        std::array<std::byte, disk::kSectorSize> sector{};
        for (std::uint32_t i = 0; i < g.RootDirSectors && !endOfDirectory; ++i)
            if (reader.read(rootStart + i, 1, sector) == disk::ReadStatus::Ok)
                ParseDirectorySector(sector, context, endOfDirectory, rootStart + i, catalogue, observer);
            else
                ++catalogue.Losses.UnreadableSectors;
    }

    // The folder walk: the list is also the queue, and grows while it is walked.
    ClusterChain chain;
    for (std::size_t f = 0; f < catalogue.fsLists().FatFolderList.size() && !control.stopRequested(); ++f) {
        const std::uint32_t folderCluster = catalogue.fsLists().FatFolderList[f].firstCluster;
        context.parentCluster = folderCluster;
        context.parentDeleted = catalogue.fsLists().FatFolderList[f].deleted == 1;
        chain.BuildDirectoryChain(folderCluster, g.GeometryKind);
        endOfDirectory = false;
        for (const std::uint32_t c : chain.clusters()) {
            const auto first = g.clusterSector(c);
            if (!first)
                break;
            readCluster(*first, spc);
            for (std::uint32_t i = 0; i < spc && !endOfDirectory && !control.stopRequested(); ++i) {
                if (i == 0) {
                    // A folder whose first sector cannot be read, or no longer holds
                    // the dot entries, is listed but not read.
                    if (!sectorOk[0] || !startsWithDotEntries(sectorBytes(0))) {
                        endOfDirectory = true;
                        break;
                    }
                    context.firstEntry = 2;
                } else {
                    context.firstEntry = 0;
                    if (!sectorOk[i])
                        continue;
                }
                ParseDirectorySector(sectorBytes(i), context, endOfDirectory, *first + i, catalogue, observer);
            }
        }
        context.firstEntry = 0;
    }

    catalogue.Losses.Stopped = control.stopRequested();
    observer.stopAvailable(false);
    observer.progress(0);
}

} // namespace sarvik::fat
