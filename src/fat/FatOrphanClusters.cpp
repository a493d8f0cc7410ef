// SPDX-License-Identifier: GPL-3.0-or-later
#include "fat/FatOrphanClusters.h"

#include "disk/ByteReader.h"
#include "fat/DirectoryEntry.h"
#include "fat/FatThoroughScan.h"

#include <algorithm>
#include <array>
#include <optional>

namespace sarvik::fat {

namespace {

using namespace dirent;
using Entry = DirectoryEntry;

constexpr std::size_t kMaxLongPieces = 20;

std::vector<Entry> entriesOf(std::span<const std::byte> bytes)
{
    std::vector<Entry> out;
    for (std::size_t e = 0; e + kEntrySize <= bytes.size(); e += kEntrySize)
        out.emplace_back(bytes.subspan(e, kEntrySize));
    return out;
}

bool validDate(std::uint16_t date)
{
    if (date == 0)
        return true; // never set
    const unsigned day = date & 0x1F;
    const unsigned month = (date >> 5) & 0x0F;
    return day >= 1 && day <= 31 && month >= 1 && month <= 12;
}

bool validTime(std::uint16_t time)
{
    return (time & 0x1F) < 30 && ((time >> 5) & 0x3F) < 60 && (time >> 11) < 24;
}

/// What every short entry that a file system wrote holds: only the defined case
/// flags, tenths of 0..199, valid times and dates.
bool plausibleStamps(const Entry& e)
{
    return (e.byte(kCaseFlags) & ~0x18u) == 0 && e.byte(kCreateTenths) <= 199 && validTime(e.u16(kCreateTime)) &&
           validTime(e.u16(kWriteTime)) && validDate(e.u16(kCreateDate)) && validDate(e.u16(kAccessDate)) &&
           validDate(e.u16(kWriteDate));
}

bool plausibleShortEntry(const Entry& e, std::uint32_t maxCluster, bool fat32)
{
    const std::uint8_t attributes = e.byte(kAttributes);
    if ((attributes & (0xC0 | kVolumeLabelBit)) != 0)
        return false;
    if (!plausibleStamps(e) || e.writeDate() == 0)
        return false;
    if (!fat32 && e.u16(kClusterHigh) != 0)
        return false;
    const std::uint32_t cluster = e.cluster(fat32);
    const bool onVolume = cluster >= 2 && cluster <= maxCluster;
    if (e.folder())
        return onVolume && e.size() == 0;
    return e.size() == 0 ? (cluster == 0 || onVolume) : onVolume;
}

/// True when a long-name piece holds the end of its name: a terminating 0
/// unit, or 0xFFFF padding.
bool holdsNameEnd(const Entry& e)
{
    for (const std::size_t u : kLongUnits) {
        const std::uint16_t unit = e.u16(u);
        if (unit == 0 || unit == 0xFFFF)
            return true;
    }
    return false;
}

/// The entries from `from` on are strictly those of a deleted folder: each one
/// before the end marker deleted and well formed, long names matching their
/// short entries (a run cut by the end of the entries is allowed). Counts the
/// short entries in `shortEntries`.
bool strictlyDeletedEntries(const std::vector<Entry>& entries, std::size_t from, std::uint32_t maxCluster, bool fat32,
                            std::size_t& shortEntries)
{
    shortEntries = 0;
    std::size_t runStart = 0;
    std::size_t runLength = 0;
    for (std::size_t i = from; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        if (e.end()) {
            // A name cut by the end marker is no name: the folder ended here.
            if (runLength != 0)
                return false;
            break;
        }
        if (e.first() != kDeletedMark)
            return false;
        if (e.longName()) {
            if (runLength != 0 && e.byte(kLongChecksum) != entries[runStart].byte(kLongChecksum))
                return false;
            if (runLength == 0)
                runStart = i;
            if (++runLength > kMaxLongPieces)
                return false;
            continue;
        }
        if (!plausibleShortEntry(e, maxCluster, fat32))
            return false;
        if (runLength != 0 && !deletedEntryMatches(e.bytes(), entries[runStart].byte(kLongChecksum)))
            return false;
        runLength = 0;
        ++shortEntries;
    }
    return true;
}

/// A "." or ".." entry as a folder's first cluster holds it: the name padded
/// with blanks, a plain folder (no volume-label, reserved or long-name bits),
/// no size, valid times and dates, no high cluster word on FAT16.
bool plausibleDotEntry(const Entry& e, std::size_t dots, bool fat32)
{
    for (std::size_t i = 0; i < kShortNameBytes; ++i)
        if (e.byte(kName + i) != static_cast<std::uint8_t>(i < dots ? '.' : ' '))
            return false;
    const std::uint8_t attributes = e.byte(kAttributes);
    if ((attributes & kDirectoryBit) == 0 || (attributes & (0xC0 | kVolumeLabelBit)) != 0 ||
        attributes == kLongNameAttributes)
        return false;
    if (!plausibleStamps(e) || e.size() != 0)
        return false;
    return fat32 || e.u16(kClusterHigh) == 0;
}

} // namespace

bool looksLikeOrphanDirectoryCluster(std::span<const std::byte> cluster, std::uint32_t maxCluster, bool fat32)
{
    if (!looksLikeDirectoryEntries(cluster))
        return false;
    const auto entries = entriesOf(cluster);
    if (entries.empty() || entries[0].first() == '.')
        return false;
    std::size_t shortEntries = 0;
    return strictlyDeletedEntries(entries, 0, maxCluster, fat32, shortEntries) && shortEntries > 0;
}

std::optional<std::uint32_t> lostFolderParent(std::span<const std::byte> cluster, std::uint32_t self,
                                              std::uint32_t maxCluster, bool fat32)
{
    if (self < 2 || self > maxCluster || !looksLikeDirectoryEntries(cluster))
        return std::nullopt;
    const auto entries = entriesOf(cluster);
    if (entries.size() < 2 || !plausibleDotEntry(entries[0], 1, fat32) || !plausibleDotEntry(entries[1], 2, fat32))
        return std::nullopt;
    // "." names the cluster it lies in; ".." names another folder's first
    // cluster, or 0 for the root.
    const std::uint32_t parent = entries[1].cluster(fat32);
    if (entries[0].cluster(fat32) != self || parent == self || parent == 1 || parent > maxCluster)
        return std::nullopt;
    std::size_t shortEntries = 0;
    if (!strictlyDeletedEntries(entries, 2, maxCluster, fat32, shortEntries))
        return std::nullopt;
    return parent;
}

DirectoryEnd directoryEnd(std::span<const std::byte> directory, std::uint32_t clusterBytes, bool fat32)
{
    DirectoryEnd end;
    const auto entries = entriesOf(directory);
    std::size_t used = entries.size();
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].end()) {
            used = i;
            break;
        }
    end.open = used == entries.size() && !entries.empty();
    if (!end.open)
        return end;
    std::size_t tail = used;
    while (tail > 0 && entries[tail - 1].longName())
        --tail;
    if (tail < used && used - tail <= kMaxLongPieces)
        end.tailLongName.assign(entries[tail].bytes().begin(), entries[used - 1].bytes().end());
    for (std::size_t i = tail; i-- > 0;) {
        const Entry& e = entries[i];
        if (e.longName() || e.first() == '.')
            continue;
        if (e.folder())
            break; // the folder's own entries moved the allocator on: unknown
        if (e.size() == 0 || clusterBytes == 0)
            continue;
        const std::uint64_t next =
            std::uint64_t{e.cluster(fat32)} + (std::uint64_t{e.size()} + clusterBytes - 1) / clusterBytes;
        if (e.cluster(fat32) >= 2 && next <= 0x0FFFFFFF)
            end.nextDataCluster = static_cast<std::uint32_t>(next);
        break;
    }
    return end;
}

bool continuesLongName(const DirectoryEnd& end, std::span<const std::byte> cluster)
{
    const auto cut = entriesOf(end.tailLongName);
    if (cut.empty())
        return false;
    const std::uint8_t checksum = cut[0].reader().u8or0(kLongChecksum);
    // The cut pieces come first on disk: the first of them holds the end of the
    // name, the others are full.
    if (!holdsNameEnd(cut[0]))
        return false;
    for (std::size_t i = 0; i < cut.size(); ++i)
        if (!cut[i].longName() || cut[i].reader().u8or0(kLongChecksum) != checksum || (i > 0 && holdsNameEnd(cut[i])))
            return false;
    std::size_t pieces = cut.size();
    for (const Entry& e : entriesOf(cluster)) {
        if (e.end())
            return false;
        if (e.longName()) {
            if (e.byte(kLongChecksum) != checksum || holdsNameEnd(e) || ++pieces > kMaxLongPieces)
                return false;
            continue;
        }
        return e.first() == kDeletedMark ? deletedEntryMatches(e.bytes(), checksum)
                                         : shortNameChecksum(e.bytes()) == checksum;
    }
    return false;
}

std::uint32_t firstDataCluster(std::span<const std::byte> cluster, bool fat32)
{
    for (const Entry& e : entriesOf(cluster)) {
        if (e.end())
            return 0;
        if (e.longName())
            continue;
        if (e.folder())
            return 0;
        if (e.size() != 0)
            return e.cluster(fat32);
    }
    return 0;
}

std::vector<std::uint32_t> folderEntryClusters(std::span<const std::byte> cluster, bool fat32)
{
    std::vector<std::uint32_t> out;
    for (const Entry& e : entriesOf(cluster)) {
        if (e.end())
            break;
        if (!e.longName() && e.folder() && e.first() != '.')
            out.push_back(e.cluster(fat32));
    }
    return out;
}

} // namespace sarvik::fat
