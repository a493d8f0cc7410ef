// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/PartitionTable.h"

#include "disk/SectorReader.h"
#include "disk/Volume.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <set>

namespace sarvik::disk {

namespace {

// Master and extended boot records (sector 0 of the disk, first sector of each EBR).
constexpr std::size_t kMbrEntries = 446; // four 16-byte entries
constexpr std::size_t kMbrEntrySize = 16;
constexpr std::size_t kEntryStatus = 0;     // u8, 0x00 or 0x80 (boot flag)
constexpr std::size_t kEntryType = 4;       // u8, partition type; 0 = unused
constexpr std::size_t kEntryFirstLba = 8;   // u32, first sector (relative, see below)
constexpr std::size_t kEntrySectors = 12;   // u32, sectors
constexpr std::size_t kBootSignature = 510; // 0x55 0xAA

constexpr std::uint8_t kTypeGptProtective = 0xEE;

// GPT header (LBA 1, or the disk's last sector for the backup copy).
constexpr std::size_t kGptSignature = 0;   // "EFI PART"
constexpr std::size_t kGptEntriesLba = 72; // u64, first sector of the entry array
constexpr std::size_t kGptEntryCount = 80; // u32, entries in the array
constexpr std::size_t kGptEntrySize = 84;  // u32, bytes per entry (128, or a multiple of 8 above)
// GPT entry.
constexpr std::size_t kGptTypeGuid = 0;  // 16 bytes; all zero = unused
constexpr std::size_t kGptFirstLba = 32; // u64
constexpr std::size_t kGptLastLba = 40;  // u64, inclusive

/// Bounds on what a table may make us read or keep.
constexpr std::uint32_t kMaxGptEntries = 1024;
constexpr std::uint32_t kMaxGptEntrySize = 4096;
constexpr std::size_t kMaxLogicalPartitions = 256;

bool isExtendedType(std::uint8_t type)
{
    return type == 0x05 || type == 0x0F || type == 0x85;
}

using Sector = std::array<std::byte, kSectorSize>;

bool readSector(const BlockSource& disk, std::uint64_t sector, Sector& out)
{
    if (sector > disk.size() / kSectorSize)
        return false;
    return disk.read(sector * kSectorSize, out) == ReadStatus::Ok;
}

bool hasBootSignature(const ByteReader& r)
{
    return r.u8or0(kBootSignature) == 0x55 && r.u8or0(kBootSignature + 1) == 0xAA;
}

struct MbrEntry {
    std::uint8_t status = 0;
    std::uint8_t type = 0;
    std::uint32_t firstLba = 0;
    std::uint32_t sectors = 0;
};

MbrEntry mbrEntry(const ByteReader& r, int slot)
{
    const std::size_t at = kMbrEntries + static_cast<std::size_t>(slot) * kMbrEntrySize;
    return {r.u8or0(at + kEntryStatus), r.u8or0(at + kEntryType), r.u32or0(at + kEntryFirstLba),
            r.u32or0(at + kEntrySectors)};
}

/// The name of an MBR partition type byte; empty for one not known here.
std::string mbrTypeName(std::uint8_t type)
{
    switch (type) {
    case 0x01:
        return "FAT12";
    case 0x04:
        return "FAT16 (under 32 MiB)";
    case 0x06:
        return "FAT16";
    case 0x07:
        return "NTFS or exFAT";
    case 0x0B:
        return "FAT32";
    case 0x0C:
        return "FAT32 (LBA)";
    case 0x0E:
        return "FAT16 (LBA)";
    case 0x11:
        return "Hidden FAT12";
    case 0x14:
        return "Hidden FAT16 (under 32 MiB)";
    case 0x16:
        return "Hidden FAT16";
    case 0x17:
        return "Hidden NTFS or exFAT";
    case 0x1B:
        return "Hidden FAT32";
    case 0x1C:
        return "Hidden FAT32 (LBA)";
    case 0x1E:
        return "Hidden FAT16 (LBA)";
    case 0x27:
        return "Windows recovery";
    case 0x82:
        return "Linux swap";
    case 0x83:
        return "Linux";
    case 0x8E:
        return "Linux LVM";
    case 0xA5:
        return "FreeBSD";
    case 0xAF:
        return "Apple HFS/HFS+";
    case 0xEF:
        return "EFI System";
    case 0xFD:
        return "Linux RAID";
    default:
        return {};
    }
}

/// A GPT type GUID as text: its first three fields are stored little-endian.
std::string guidText(const ByteReader& e, std::size_t at)
{
    static constexpr std::array<std::size_t, 16> kOrder = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < kOrder.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text += '-';
        const std::uint8_t b = e.u8or0(at + kOrder[i]);
        text += kHex[b >> 4];
        text += kHex[b & 0x0F];
    }
    return text;
}

/// The name of a GPT partition type; empty for one not known here.
std::string gptTypeName(const std::string& guid)
{
    static constexpr std::array<std::pair<const char*, const char*>, 17> kNames{{
        {"C12A7328-F81F-11D2-BA4B-00A0C93EC93B", "EFI System"},
        {"21686148-6449-6E6F-744E-656564454649", "BIOS boot"},
        {"E3C9E316-0B5C-4DB8-817D-F92DF00215AE", "Microsoft reserved"},
        {"EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", "Microsoft basic data"},
        {"DE94BBA4-06D1-4D40-A16A-BFD50179D6AC", "Windows recovery environment"},
        {"5808C8AA-7E8F-42E0-85D2-E1E90434CFB3", "Windows LDM metadata"},
        {"AF9B60A0-1431-4F62-BC68-3311714A69AD", "Windows LDM data"},
        {"0FC63DAF-8483-4772-8E79-3D69D8477DE4", "Linux filesystem"},
        {"0657FD6D-A4AB-43C4-84E5-0933C84B4F4F", "Linux swap"},
        {"E6D6D379-F507-44C2-A23C-238F2A3DF928", "Linux LVM"},
        {"A19D880F-05FC-4D3B-A006-743F0F84911E", "Linux RAID"},
        {"4F68BCE3-E8CD-4DB1-96E7-FBCAF984B709", "Linux root (x86-64)"},
        {"933AC7E1-2EB4-4F13-B844-0E14E2AEF915", "Linux home"},
        {"48465300-0000-11AA-AA11-00306543ECAC", "Apple HFS/HFS+"},
        {"7C3457EF-0000-11AA-AA11-00306543ECAC", "Apple APFS"},
        {"516E7CB4-6ECF-11D6-8FF8-00022D09712B", "FreeBSD data"},
        {"6A898CC3-1DD2-11B2-99A6-080020736631", "ZFS"},
    }};
    for (const auto& [id, name] : kNames)
        if (guid == id)
            return name;
    return {};
}

/// Adds partition `number` unless it is empty or starts outside the disk;
/// cuts it at the end.
Partition* addPartition(PartitionTable& table, std::uint64_t diskSectors, std::uint32_t number, std::uint64_t first,
                        std::uint64_t sectors, std::uint8_t type, bool logical)
{
    if (sectors == 0 || first == 0 || first >= diskSectors)
        return nullptr;
    Partition p;
    p.number = number;
    p.firstSector = first;
    p.sectors = std::min(sectors, diskSectors - first);
    p.mbrType = type;
    p.logical = logical;
    p.typeName = type != 0 ? mbrTypeName(type) : std::string();
    table.partitions.push_back(std::move(p));
    return &table.partitions.back();
}

/// Follows the chain of extended boot records of the container that starts at
/// `extStart`. A logical entry's start counts from its own EBR, the link to the
/// next EBR from the container's start.
void readLogicalPartitions(const BlockSource& disk, std::uint64_t diskSectors, std::uint64_t extStart,
                           std::uint64_t extSectors, PartitionTable& table)
{
    const std::uint64_t extEnd = std::min(diskSectors, extStart + extSectors);
    std::set<std::uint64_t> seen;
    std::uint64_t ebr = extStart;
    std::size_t logicals = 0;
    while (ebr >= extStart && ebr < extEnd && seen.insert(ebr).second && logicals < kMaxLogicalPartitions) {
        Sector sector{};
        if (!readSector(disk, ebr, sector))
            return;
        const ByteReader r(sector);
        if (!hasBootSignature(r))
            return;
        const MbrEntry logical = mbrEntry(r, 0);
        if (logical.type != 0 && !isExtendedType(logical.type) && logical.firstLba != 0) {
            const std::uint64_t first = ebr + logical.firstLba;
            if (first < extEnd) {
                const auto number = kFirstLogicalNumber + static_cast<std::uint32_t>(logicals);
                if (addPartition(table, diskSectors, number, first,
                                 std::min<std::uint64_t>(logical.sectors, extEnd - first), logical.type, true))
                    ++logicals;
            }
        }
        const MbrEntry next = mbrEntry(r, 1);
        if (!isExtendedType(next.type) || next.firstLba == 0)
            return;
        ebr = extStart + next.firstLba;
    }
}

std::optional<PartitionTable> readGpt(const BlockSource& disk, std::uint64_t diskSectors, std::uint64_t headerLba)
{
    Sector header{};
    if (!readSector(disk, headerLba, header))
        return std::nullopt;
    const ByteReader h(header);
    if (!h.equals(kGptSignature, "EFI PART"))
        return std::nullopt;
    const std::uint64_t entriesLba = h.u64or0(kGptEntriesLba);
    const std::uint32_t count = std::min(h.u32or0(kGptEntryCount), kMaxGptEntries);
    const std::uint32_t entrySize = h.u32or0(kGptEntrySize);
    if (entrySize < 128 || entrySize > kMaxGptEntrySize || entrySize % 8 != 0 || entriesLba == 0 ||
        entriesLba >= diskSectors)
        return std::nullopt;

    PartitionTable table;
    table.scheme = PartitionScheme::Gpt;
    std::vector<std::byte> entry(entrySize);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t offset = entriesLba * kSectorSize + std::uint64_t{i} * entrySize;
        if (disk.read(offset, entry) != ReadStatus::Ok)
            break; // the array runs past the disk: keep what was read
        const ByteReader e(entry);
        bool unused = true;
        for (std::size_t b = 0; b < 16; ++b)
            unused = unused && e.u8or0(kGptTypeGuid + b) == 0;
        if (unused)
            continue;
        const std::uint64_t first = e.u64or0(kGptFirstLba);
        const std::uint64_t last = e.u64or0(kGptLastLba);
        if (last < first)
            continue;
        const std::uint64_t sectors = last - first == ~std::uint64_t{0} ? last - first : last - first + 1;
        if (Partition* p = addPartition(table, diskSectors, i + 1, first, sectors, 0, false)) {
            p->typeGuid = guidText(e, kGptTypeGuid);
            p->typeName = gptTypeName(p->typeGuid);
        }
    }
    return table;
}

/// The GPT from its primary header, or else from the backup at the disk's last sector.
std::optional<PartitionTable> readEitherGpt(const BlockSource& disk, std::uint64_t diskSectors)
{
    if (auto gpt = readGpt(disk, diskSectors, 1))
        return gpt;
    if (diskSectors > 2)
        if (auto backup = readGpt(disk, diskSectors, diskSectors - 1)) {
            backup->backupHeader = true;
            return backup;
        }
    return std::nullopt;
}

} // namespace

PartitionTable ReadPartitionTable(const BlockSource& disk)
{
    PartitionTable table;
    const std::uint64_t diskSectors = disk.size() / kSectorSize;
    Sector mbr{};
    if (!readSector(disk, 0, mbr))
        return table;
    const ByteReader r(mbr);
    // Without a boot signature sector 0 holds no table, but a GPT's headers may
    // have outlived its protective MBR.
    if (!hasBootSignature(r))
        return readEitherGpt(disk, diskSectors).value_or(table);
    // A volume boot sector carries the same signature and boot code where the
    // entries would be: a supported volume at sector 0 means no table.
    if (ClassifyBootSector(mbr).supported)
        return table;

    std::array<MbrEntry, 4> entries{};
    for (int slot = 0; slot < 4; ++slot) {
        entries[static_cast<std::size_t>(slot)] = mbrEntry(r, slot);
        const MbrEntry& e = entries[static_cast<std::size_t>(slot)];
        if (e.type != 0 && e.status != 0x00 && e.status != 0x80)
            return table; // not a partition table
    }
    for (const MbrEntry& e : entries) {
        if (e.type == kTypeGptProtective)
            return readEitherGpt(disk, diskSectors).value_or(table);
    }

    table.scheme = PartitionScheme::Mbr;
    for (std::uint32_t slot = 0; slot < entries.size(); ++slot)
        if (const MbrEntry& e = entries[slot]; e.type != 0 && !isExtendedType(e.type))
            (void)addPartition(table, diskSectors, slot + 1, e.firstLba, e.sectors, e.type, false);
    bool extendedRead = false; // only one container is allowed; a second is ignored
    for (const MbrEntry& e : entries) {
        if (isExtendedType(e.type) && !extendedRead && e.firstLba != 0) {
            extendedRead = true;
            readLogicalPartitions(disk, diskSectors, e.firstLba, e.sectors, table);
        }
    }
    if (table.partitions.empty())
        table.scheme = PartitionScheme::None;
    return table;
}

std::shared_ptr<const BlockSource> OpenPartition(const std::shared_ptr<const BlockSource>& disk, std::uint32_t number)
{
    if (!disk || number == 0)
        return nullptr;
    const PartitionTable table = ReadPartitionTable(*disk);
    for (const Partition& p : table.partitions)
        if (p.number == number)
            return std::make_shared<OffsetBlockSource>(disk, p.firstSector * kSectorSize, p.sectors * kSectorSize);
    return nullptr;
}

namespace {

/// "OFFSET:SIZE" after the '@' (SIZE may be empty); nothing for any other text.
std::optional<PartitionPath> splitRegion(const std::string& text, std::size_t at)
{
    const std::size_t colon = text.find(':', at + 1);
    if (colon == std::string::npos)
        return std::nullopt;
    const auto decimal = [&](std::size_t first, std::size_t last, std::uint64_t& value) {
        const auto [end, ec] = std::from_chars(text.data() + first, text.data() + last, value);
        return first < last && ec == std::errc{} && end == text.data() + last;
    };
    PartitionPath part{text.substr(0, at), 0};
    part.region = true;
    if (!decimal(at + 1, colon, part.offset))
        return std::nullopt;
    if (colon + 1 != text.size() && (!decimal(colon + 1, text.size(), part.size) || part.size == 0))
        return std::nullopt;
    return part;
}

/// N of a trailing "@vssN" (a decimal from 1) in `text`; 0 when there is none.
std::uint32_t shadowNumber(const std::string& text)
{
    const std::size_t at = text.rfind("@vss");
    if (at == std::string::npos || at == 0)
        return 0;
    const char* first = text.data() + at + 4;
    const char* last = text.data() + text.size();
    std::uint32_t number = 0;
    const auto [end, ec] = std::from_chars(first, last, number);
    if (first == last || ec != std::errc{} || end != last || *first == '0')
        return 0;
    return number;
}

} // namespace

PartitionPath SplitPartitionPath(const std::string& text)
{
    if (const std::uint32_t shadow = shadowNumber(text); shadow != 0) {
        const std::string volume = text.substr(0, text.rfind('@'));
        PartitionPath part = SplitPartitionPath(volume);
        if (part.shadow != 0)
            return {text, 0}; // a shadow copy has none of its own
        part.shadow = shadow;
        return part;
    }
    const std::size_t at = text.rfind('@');
    if (at == std::string::npos || at == 0 || at + 1 == text.size())
        return {text, 0};
    if (auto region = splitRegion(text, at))
        return std::move(*region);
    std::uint32_t number = 0;
    const char* first = text.data() + at + 1;
    const char* last = text.data() + text.size();
    const bool lost = text.compare(at + 1, 4, "lost") == 0;
    if (lost)
        first += 4;
    if (first == last)
        return {text, 0};
    const auto [end, ec] = std::from_chars(first, last, number);
    if (ec != std::errc{} || end != last || number == 0 || *first == '0')
        return {text, 0};
    return {text.substr(0, at), number, lost};
}

std::string regionPathText(const std::string& path, std::uint64_t offset, std::uint64_t size)
{
    return path + "@" + std::to_string(offset) + ":" + (size == 0 ? std::string{} : std::to_string(size));
}

std::string PartitionPath::textFor(const std::string& whole) const
{
    const std::string copy = shadow == 0 ? std::string{} : "@vss" + std::to_string(shadow);
    if (region)
        return regionPathText(whole, offset, size) + copy;
    if (number == 0)
        return whole + copy;
    return (lost ? lostVolumePathText(whole, number) : partitionPathText(whole, number)) + copy;
}

std::string lostVolumePathText(const std::string& path, std::uint32_t number)
{
    return path + "@lost" + std::to_string(number);
}

std::string partitionPathText(const std::string& path, std::uint32_t number)
{
    return path + "@" + std::to_string(number);
}

} // namespace sarvik::disk
