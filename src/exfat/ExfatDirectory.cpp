// SPDX-License-Identifier: GPL-3.0-or-later
#include "exfat/ExfatDirectory.h"

#include "catalogue/NameDecode.h"

#include <vector>

namespace sarvik::exfat {

namespace {

constexpr std::uint8_t kInUse = 0x80;
constexpr std::uint8_t kEndOfDirectory = 0x00;
constexpr std::uint8_t kBitmapEntry = 0x81;
constexpr std::uint8_t kLabelEntry = 0x83;
constexpr std::uint8_t kFileEntry = 0x05;   // 0x85 in use
constexpr std::uint8_t kStreamEntry = 0x40; // 0xC0 in use
constexpr std::uint8_t kNameEntry = 0x41;   // 0xC1 in use

// File entry (0x85).
constexpr std::size_t kSecondaryCount = 1; // u8, entries after this one in the set
constexpr std::size_t kSetChecksum = 2;    // u16
constexpr std::size_t kAttributes = 4;     // u16, 0x10: folder
constexpr std::size_t kCreated = 8;        // u32 timestamp
constexpr std::size_t kModified = 12;      // u32 timestamp
constexpr std::size_t kAccessed = 16;      // u32 timestamp
constexpr std::size_t kCreated10ms = 20;   // u8
constexpr std::size_t kModified10ms = 21;  // u8
constexpr std::size_t kCreatedUtc = 22;    // u8
constexpr std::size_t kModifiedUtc = 23;   // u8
constexpr std::size_t kAccessedUtc = 24;   // u8
// Stream extension (0xC0).
constexpr std::size_t kStreamFlags = 1;   // u8, bit 1: no FAT chain
constexpr std::size_t kNameLength = 3;    // u8, UTF-16 units
constexpr std::size_t kValidLength = 8;   // u64
constexpr std::size_t kFirstCluster = 20; // u32
constexpr std::size_t kDataLength = 24;   // u64
// File name entry (0xC1).
constexpr std::size_t kNameUnits = 2; // 15 UTF-16 units
constexpr std::size_t kUnitsPerNameEntry = 15;
// Allocation bitmap (0x81).
constexpr std::size_t kBitmapFlags = 1;    // u8, bit 0: which FAT it belongs to
constexpr std::size_t kBitmapCluster = 20; // u32
constexpr std::size_t kBitmapLength = 24;  // u64
// Volume label (0x83).
constexpr std::size_t kLabelLength = 1; // u8, at most 11
constexpr std::size_t kLabelUnits = 2;  // 11 UTF-16 units
constexpr std::size_t kMaxLabelUnits = 11;

constexpr std::uint16_t kFolderAttribute = 0x10;
constexpr std::uint8_t kNoFatChain = 0x02;
constexpr std::uint8_t kMinSecondary = 2;
constexpr std::uint8_t kMaxSecondary = 18;
constexpr std::size_t kPiece = 512;

std::string units(const disk::ByteReader& r, std::size_t at, std::size_t count)
{
    std::vector<char16_t> text;
    for (std::size_t i = 0; i < count; ++i)
        text.push_back(static_cast<char16_t>(r.u16or0(at + 2 * i)));
    return catalogue::utf16ToUtf8(text);
}

class SetReader {
public:
    SetReader(disk::ByteSpan bytes, const std::vector<bool>* sectorOk, DamagedSets damaged)
        : m_bytes(bytes), m_ok(sectorOk), m_damaged(damaged)
    {
    }

    bool readable(std::size_t from, std::size_t length) const
    {
        if (m_ok == nullptr)
            return true;
        for (std::size_t piece = from / kPiece; piece * kPiece < from + length; ++piece)
            if (piece >= m_ok->size() || !(*m_ok)[piece])
                return false;
        return true;
    }

    /// The set whose file entry lies at `at`, when it is whole and its checksum matches.
    std::optional<EntrySet> read(std::size_t at, std::uint32_t& badChecksums) const
    {
        const disk::ByteReader all(m_bytes);
        const std::uint8_t type = all.u8or0(at);
        const bool inUse = (type & kInUse) != 0;
        const std::uint8_t secondary = all.u8or0(at + kSecondaryCount);
        if (secondary < kMinSecondary || secondary > kMaxSecondary)
            return std::nullopt;
        const std::size_t length = (std::size_t{secondary} + 1) * kEntryBytes;
        const auto setBytes = all.sub(at, length);
        if (!setBytes || !readable(at, length))
            return std::nullopt;
        std::vector<std::byte> set(setBytes->begin(), setBytes->end());
        for (std::size_t e = 0; e < set.size(); e += kEntryBytes) {
            const auto t = std::to_integer<std::uint8_t>(set[e]);
            if (((t & kInUse) != 0) != inUse)
                return std::nullopt; // part of the set belongs to another one now
            set[e] |= std::byte{kInUse};
        }
        const disk::ByteReader r(set);
        const std::uint8_t streamType = r.u8or0(kEntryBytes) & 0x7F;
        if (streamType != kStreamEntry)
            return std::nullopt;
        const bool checksumBad = entrySetChecksum(set) != r.u16or0(kSetChecksum);
        if (checksumBad) {
            ++badChecksums;
            if (m_damaged == DamagedSets::Skip || !onlyStreamAndNames(r, set.size()))
                return std::nullopt;
        }
        EntrySet s;
        s.checksumBad = checksumBad;
        s.data.checksumBad = checksumBad;
        s.deleted = !inUse;
        s.offset = at;
        s.directory = (r.u16or0(kAttributes) & kFolderAttribute) != 0;
        auto& d = s.data;
        d.created = r.u32or0(kCreated);
        d.modified = r.u32or0(kModified);
        d.accessed = r.u32or0(kAccessed);
        d.created10ms = r.u8or0(kCreated10ms);
        d.modified10ms = r.u8or0(kModified10ms);
        d.createdUtc = r.u8or0(kCreatedUtc);
        d.modifiedUtc = r.u8or0(kModifiedUtc);
        d.accessedUtc = r.u8or0(kAccessedUtc);
        const std::size_t stream = kEntryBytes;
        d.noFatChain = (r.u8or0(stream + kStreamFlags) & kNoFatChain) != 0;
        d.dataLength = r.u64or0(stream + kDataLength);
        d.validDataLength = std::min(r.u64or0(stream + kValidLength), d.dataLength);
        s.firstCluster = r.u32or0(stream + kFirstCluster);
        // The name: NameLength units from the name entries that follow, in order.
        const std::size_t nameLength = r.u8or0(stream + kNameLength);
        std::vector<char16_t> name;
        for (std::size_t e = 2 * kEntryBytes; e < set.size() && name.size() < nameLength; e += kEntryBytes) {
            if ((r.u8or0(e) & 0x7F) != kNameEntry)
                break;
            for (std::size_t u = 0; u < kUnitsPerNameEntry && name.size() < nameLength; ++u)
                name.push_back(static_cast<char16_t>(r.u16or0(e + kNameUnits + 2 * u)));
        }
        if (nameLength == 0 || name.size() != nameLength)
            return std::nullopt;
        s.name = catalogue::pathSafeName(catalogue::utf16ToUtf8(name));
        return s;
    }

private:
    /// The set's secondary entries are one stream extension and then name
    /// entries: no other set's file entry lies inside what its count claims.
    static bool onlyStreamAndNames(const disk::ByteReader& r, std::size_t setBytes)
    {
        for (std::size_t e = 2 * kEntryBytes; e < setBytes; e += kEntryBytes)
            if ((r.u8or0(e) & 0x7F) != kNameEntry)
                return false;
        return true;
    }

    disk::ByteSpan m_bytes;
    const std::vector<bool>* m_ok;
    DamagedSets m_damaged;
};

} // namespace

std::uint16_t entrySetChecksum(disk::ByteSpan set)
{
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < set.size(); ++i) {
        if (i == kSetChecksum || i == kSetChecksum + 1)
            continue;
        sum = static_cast<std::uint16_t>(((sum & 1u) != 0 ? 0x8000u : 0u) + (sum >> 1) +
                                         std::to_integer<std::uint16_t>(set[i]));
    }
    return sum;
}

DirectoryContents parseDirectory(disk::ByteSpan bytes, const std::vector<bool>* sectorOk, DamagedSets damaged)
{
    DirectoryContents out;
    const SetReader sets(bytes, sectorOk, damaged);
    const disk::ByteReader r(bytes);
    for (std::size_t at = 0; at + kEntryBytes <= bytes.size();) {
        if (!sets.readable(at, kEntryBytes)) {
            at = (at / kPiece + 1) * kPiece; // an unreadable piece neither ends the folder nor holds sets
            continue;
        }
        const std::uint8_t type = r.u8or0(at);
        if (type == kEndOfDirectory)
            break;
        if ((type & 0x7F) == kFileEntry) {
            if (auto set = sets.read(at, out.badChecksums)) {
                // A damaged set's count may be wrong too: the entries it claims
                // are looked at again, in case a whole set starts among them.
                at += set->checksumBad ? kEntryBytes : (std::size_t{r.u8or0(at + kSecondaryCount)} + 1) * kEntryBytes;
                out.sets.push_back(std::move(*set));
                continue;
            }
        } else if (type == kBitmapEntry && !out.bitmap && (r.u8or0(at + kBitmapFlags) & 1u) == 0) {
            out.bitmap = BitmapLocation{r.u32or0(at + kBitmapCluster), r.u64or0(at + kBitmapLength)};
        } else if (type == kLabelEntry && !out.label) {
            const std::size_t length = std::min<std::size_t>(r.u8or0(at + kLabelLength), kMaxLabelUnits);
            out.label = units(r, at + kLabelUnits, length);
        }
        at += kEntryBytes;
    }
    return out;
}

bool startsWithEntrySet(disk::ByteSpan bytes)
{
    if (bytes.empty() || (std::to_integer<unsigned>(bytes[0]) | kInUse) != (kFileEntry | kInUse))
        return false;
    const DirectoryContents contents = parseDirectory(bytes);
    return !contents.sets.empty() && contents.sets.front().offset == 0;
}

bool holdsEntrySet(disk::ByteSpan bytes)
{
    return !parseDirectory(bytes).sets.empty();
}

namespace {

bool isSecondary(std::uint8_t type)
{
    const auto kind = static_cast<std::uint8_t>(type & 0x7F);
    return kind == kStreamEntry || kind == kNameEntry;
}

} // namespace

std::optional<std::size_t> cutSetStart(disk::ByteSpan bytes)
{
    const disk::ByteReader r(bytes);
    const std::size_t entries = bytes.size() / kEntryBytes;
    std::optional<std::size_t> cut;
    for (std::size_t e = 0; e < entries; ++e) {
        const std::uint8_t type = r.u8or0(e * kEntryBytes);
        if (type == kEndOfDirectory)
            return std::nullopt;
        if ((type & 0x7F) == kFileEntry) {
            const std::size_t secondaries = r.u8or0(e * kEntryBytes + kSecondaryCount);
            const bool runsPast = e + secondaries >= entries;
            cut = runsPast && secondaries >= kMinSecondary && secondaries <= kMaxSecondary
                      ? std::optional<std::size_t>(e * kEntryBytes)
                      : std::nullopt;
        } else if (!isSecondary(type)) {
            cut.reset();
        }
    }
    return cut;
}

std::size_t leadingSecondaries(disk::ByteSpan bytes)
{
    const disk::ByteReader r(bytes);
    std::size_t n = 0;
    while (n < kMaxSecondary && (n + 1) * kEntryBytes <= bytes.size() && isSecondary(r.u8or0(n * kEntryBytes)))
        ++n;
    return n;
}

} // namespace sarvik::exfat
