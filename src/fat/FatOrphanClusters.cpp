#include "fat/FatOrphanClusters.h"

#include "disk/ByteReader.h"
#include "fat/FatThoroughScan.h"

#include <algorithm>
#include <array>
#include <optional>

namespace sarvik::fat {

namespace {

constexpr std::size_t kEntrySize = 32;

// Short (8.3) entry fields.
constexpr std::size_t kName = 0;          // 11 bytes of name and extension; 0x00 ends, 0xE5 deleted
constexpr std::size_t kAttributes = 11;   // 0x0F long-name entry; 0x08 volume label; 0x10 directory
constexpr std::size_t kCaseFlags = 12;    // only 0x08 and 0x10 are defined
constexpr std::size_t kCreateTenths = 13; // 0..199, tens of milliseconds added to the creation time
constexpr std::size_t kCreateTime = 14;   // u16 packed time
constexpr std::size_t kCreateDate = 16;   // u16 packed date
constexpr std::size_t kAccessDate = 18;   // u16 packed date
constexpr std::size_t kClusterHigh = 20;  // u16, FAT32 only
constexpr std::size_t kWriteTime = 22;    // u16 packed time
constexpr std::size_t kWriteDate = 24;    // u16 packed date
constexpr std::size_t kClusterLow = 26;   // u16
constexpr std::size_t kFileSize = 28;     // u32

// Long-name entry fields.
constexpr std::size_t kLongChecksum = 13; // checksum of the short entry's 11 name bytes
// Offsets of the 13 UTF-16 units of a long-name entry, in order.
constexpr std::array<std::size_t, 13> kLongUnits = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
constexpr std::size_t kMaxLongPieces = 20;

constexpr std::uint8_t kLongNameAttributes = 0x0F;
constexpr std::uint8_t kVolumeLabelBit = 0x08;
constexpr std::uint8_t kDirectoryBit = 0x10;
constexpr std::uint8_t kDeletedMark = 0xE5;

struct Entry {
    std::span<const std::byte> bytes;
    disk::ByteReader r;
    explicit Entry(std::span<const std::byte> b) : bytes(b), r(b) {}
    [[nodiscard]] std::uint8_t first() const { return r.u8or0(kName); }
    [[nodiscard]] bool end() const { return first() == 0; }
    [[nodiscard]] bool longName() const { return r.u8or0(kAttributes) == kLongNameAttributes; }
    [[nodiscard]] bool folder() const { return (r.u8or0(kAttributes) & kDirectoryBit) != 0; }
    [[nodiscard]] std::uint32_t cluster(bool fat32) const
    {
        return r.u16or0(kClusterLow) | (fat32 ? std::uint32_t{r.u16or0(kClusterHigh)} << 16 : 0);
    }
    [[nodiscard]] std::uint32_t size() const { return r.u32or0(kFileSize); }
};

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

bool legalNameByte(std::uint8_t c)
{
    if (c < 0x20)
        return false;
    switch (c) {
    case '"':
    case '*':
    case '+':
    case ',':
    case '.':
    case '/':
    case ':':
    case ';':
    case '<':
    case '=':
    case '>':
    case '?':
    case '[':
    case '\\':
    case ']':
    case '|':
        return false;
    default:
        return true;
    }
}

/// A deleted short entry lost its first name byte: true when some legal byte
/// there gives `checksum`.
bool deletedEntryMatches(const Entry& e, std::uint8_t checksum)
{
    std::array<std::byte, 11> name{};
    std::copy_n(e.bytes.begin(), 11, name.begin());
    for (unsigned b = 0x20; b < 0x100; ++b) {
        if (!legalNameByte(static_cast<std::uint8_t>(b)) && b != kDeletedMark)
            continue;
        name[0] = std::byte(static_cast<std::uint8_t>(b));
        if (shortNameChecksum(name) == checksum)
            return true;
    }
    return false;
}

bool plausibleShortEntry(const Entry& e, std::uint32_t maxCluster, bool fat32)
{
    const std::uint8_t attributes = e.r.u8or0(kAttributes);
    if ((attributes & (0xC0 | kVolumeLabelBit)) != 0)
        return false;
    if ((e.r.u8or0(kCaseFlags) & ~0x18u) != 0 || e.r.u8or0(kCreateTenths) > 199)
        return false;
    if (!validTime(e.r.u16or0(kCreateTime)) || !validTime(e.r.u16or0(kWriteTime)) ||
        !validDate(e.r.u16or0(kCreateDate)) || !validDate(e.r.u16or0(kAccessDate)) ||
        !validDate(e.r.u16or0(kWriteDate)) || e.r.u16or0(kWriteDate) == 0)
        return false;
    if (!fat32 && e.r.u16or0(kClusterHigh) != 0)
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
        const std::uint16_t unit = e.r.u16or0(u);
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
            if (runLength != 0 && e.r.u8or0(kLongChecksum) != entries[runStart].r.u8or0(kLongChecksum))
                return false;
            if (runLength == 0)
                runStart = i;
            if (++runLength > kMaxLongPieces)
                return false;
            continue;
        }
        if (!plausibleShortEntry(e, maxCluster, fat32))
            return false;
        if (runLength != 0 && !deletedEntryMatches(e, entries[runStart].r.u8or0(kLongChecksum)))
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
    for (std::size_t i = 0; i < 11; ++i)
        if (e.r.u8or0(kName + i) != (i < dots ? '.' : ' '))
            return false;
    const std::uint8_t attributes = e.r.u8or0(kAttributes);
    if ((attributes & kDirectoryBit) == 0 || (attributes & (0xC0 | kVolumeLabelBit)) != 0 ||
        attributes == kLongNameAttributes)
        return false;
    if ((e.r.u8or0(kCaseFlags) & ~0x18u) != 0 || e.r.u8or0(kCreateTenths) > 199 || e.size() != 0)
        return false;
    if (!validTime(e.r.u16or0(kCreateTime)) || !validTime(e.r.u16or0(kWriteTime)) ||
        !validDate(e.r.u16or0(kCreateDate)) || !validDate(e.r.u16or0(kAccessDate)) ||
        !validDate(e.r.u16or0(kWriteDate)))
        return false;
    return fat32 || e.r.u16or0(kClusterHigh) == 0;
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
        end.tailLongName.assign(entries[tail].bytes.begin(), entries[used - 1].bytes.end());
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
    const std::uint8_t checksum = cut[0].r.u8or0(kLongChecksum);
    // The cut pieces come first on disk: the first of them holds the end of the
    // name, the others are full.
    if (!holdsNameEnd(cut[0]))
        return false;
    for (std::size_t i = 0; i < cut.size(); ++i)
        if (!cut[i].longName() || cut[i].r.u8or0(kLongChecksum) != checksum || (i > 0 && holdsNameEnd(cut[i])))
            return false;
    std::size_t pieces = cut.size();
    for (const Entry& e : entriesOf(cluster)) {
        if (e.end())
            return false;
        if (e.longName()) {
            if (e.r.u8or0(kLongChecksum) != checksum || holdsNameEnd(e) || ++pieces > kMaxLongPieces)
                return false;
            continue;
        }
        return e.first() == kDeletedMark ? deletedEntryMatches(e, checksum) : shortNameChecksum(e.bytes) == checksum;
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
