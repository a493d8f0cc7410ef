// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One found file or folder, whatever file system it came from: what listings,
// filters, JSON, copies and snapshots need to know of it, reached through the
// catalogue by a 64-bit id. The catalogue keeps each file system's entries in
// its own private form; an Entry is read from them on request and is only
// valid while the catalogue is not changed (its name and runs point into it).

#include <cstdint>
#include <span>
#include <string_view>
#include <variant>

namespace sarvik::catalogue {

/// Which file system's entries a catalogue holds (FAT and exFAT share one form).
enum class CatalogueKind { Fat, Ntfs };

/// Names an entry of one catalogue: folders and files each have their own range,
/// and the root folder a value of its own. Ids stay the same until the
/// catalogue is cleared; they are not kept in snapshots.
enum class EntryId : std::uint64_t {};

inline constexpr std::uint64_t kFolderIdBit = std::uint64_t{1} << 62;
/// The volume's root folder.
inline constexpr EntryId kRootEntryId{~std::uint64_t{0}};
/// No entry: the parent of the root, or of an entry whose folder is not listed.
inline constexpr EntryId kNoEntryId{~std::uint64_t{0} - 1};

[[nodiscard]] constexpr EntryId fileEntryId(std::size_t index) noexcept
{
    return EntryId{static_cast<std::uint64_t>(index)};
}
[[nodiscard]] constexpr EntryId folderEntryId(std::size_t index) noexcept
{
    return EntryId{kFolderIdBit | static_cast<std::uint64_t>(index)};
}
[[nodiscard]] constexpr bool isFolderId(EntryId id) noexcept
{
    return id == kRootEntryId || (static_cast<std::uint64_t>(id) & kFolderIdBit) != 0;
}
/// The index of a file or folder id in its own range (not for the root or no entry).
[[nodiscard]] constexpr std::size_t entryIndex(EntryId id) noexcept
{
    return static_cast<std::size_t>(static_cast<std::uint64_t>(id) & ~kFolderIdBit);
}

enum class EntryKind : std::uint8_t { File, Folder };

/// What is known of how an entry was found and what became of it: one bit
/// each of Entry::flags.
enum class EntryFlag : std::uint16_t {
    Deleted = 1U << 0,             ///< deleted, or in a deleted folder (folders)
    Carved = 1U << 1,              ///< found by its content, not by an entry
    CarvedIncomplete = 1U << 2,    ///< carved and its structure breaks off
    Moved = 1U << 3,               ///< the deleted entry of a folder that lives on elsewhere
    ChecksumBad = 1U << 4,         ///< its exFAT entry set fails its checksum
    ClusterInUse = 1U << 5,        ///< FAT32: its first cluster may have lost its high word
    ClusterHighInferred = 1U << 6, ///< FAT32: the first cluster's high word was inferred
    Stream = 1U << 7,              ///< an NTFS named data stream ("FILE:STREAM")
    NameDecoded = 1U << 8,         ///< the scan decoded the name from UTF-16: well-formed UTF-8
};

/// Whether `flags` (an Entry's, or Catalogue::entryFlags) hold `flag`.
[[nodiscard]] constexpr bool hasFlag(std::uint16_t flags, EntryFlag flag) noexcept
{
    return (flags & static_cast<std::uint16_t>(flag)) != 0;
}

/// The on-disk field a time was read from, which says how to read its value.
enum class TimeSource : std::uint8_t {
    None,                    ///< no time
    FatDate,                 ///< `value`: a packed FAT date (no time of day kept)
    FatTime,                 ///< `value`: packed date << 16 | packed time of day; `hundredths` added
    ExfatTime,               ///< as FatTime, with `utcOffset` the entry set's offset byte
    NtfsStandardInformation, ///< `value`: a FILETIME of the record's standard information
    NtfsFileName,            ///< `value`: a FILETIME of the file-name attribute
};

/// One time as its file system stores it.
struct EntryTime {
    constexpr EntryTime() noexcept = default;
    constexpr EntryTime(TimeSource from, std::uint64_t stored, std::uint8_t hundredthsOf = 0,
                        std::uint8_t offset = 0) noexcept
        : value(stored), source(from), hundredths(hundredthsOf), utcOffset(offset)
    {
    }
    std::uint64_t value = 0;
    TimeSource source = TimeSource::None;
    std::uint8_t hundredths = 0; ///< 0..199, FAT creation and exFAT times
    std::uint8_t utcOffset = 0;  ///< exFAT: bit 7 valid, bits 0-6 signed 15-minute steps
    [[nodiscard]] bool known() const noexcept { return source != TimeSource::None && value != 0; }
};

/// The times an entry goes by (under the rules of the scan that found it).
struct EntryTimes {
    EntryTime created;
    EntryTime modified;
    EntryTime accessed;
    EntryTime changed; ///< NTFS: the MFT record's last change
    /// NTFS, where the times above are the standard information's: the
    /// file-name attribute's creation and write times beside them.
    EntryTime nameCreated;
    EntryTime nameModified;
};

/// FAT and exFAT: the data follows a cluster chain from `firstCluster`, or runs
/// on in consecutive clusters where the FAT holds no chain for it.
struct ClusterChainData {
    std::uint32_t firstCluster = 0;
    bool contiguous = false; ///< exFAT's no-FAT-chain flag
};

/// A run of clusters of a deleted NTFS file's data as the scan decoded it from
/// the record's mapping pairs (see ntfs::NtfsRun).
struct NtfsDataRun {
    std::int64_t start = 0;   ///< first cluster; meaningless when sparse
    std::uint64_t length = 0; ///< clusters
    bool sparse = false;
    bool missing = false;
};

/// NTFS: the data attribute of the MFT record at `recordSector`, with what the
/// scan kept of it (resident bytes are read from the record).
struct NtfsRecordData {
    std::uint64_t recordSector = 0;
    std::uint64_t recordNumber = 0;
    std::string_view stream;           ///< a named data stream's name; empty for the file's own data
    bool resident = false;             ///< the scan saw the data in the record itself
    std::span<const NtfsDataRun> runs; ///< the runs the scan kept; empty when none
};

/// Found by carving: the bytes start at cluster `firstCluster` and run on in
/// consecutive free clusters for the entry's size.
struct CarvedExtent {
    std::uint64_t firstCluster = 0;
};

/// Where an entry's bytes are; nothing for folders.
using DataLocation = std::variant<std::monostate, ClusterChainData, NtfsRecordData, CarvedExtent>;

/// What Catalogue::entry fills in. Each part left out saves work on lists of
/// many entries that do not read it.
enum class EntryParts : std::uint8_t {
    All,
    NoParent, ///< all but `parent` (parentNumber is kept)
    Basic,    ///< kind, flags, name, sizes and numbers: no `parent`, times or location
};

/// What a listing line or a file list's row shows of an entry
/// (Catalogue::summary): read from the catalogue's own form without the rest
/// of an Entry, for lists of many. Each as the Entry's member of its name.
struct EntrySummary {
    std::uint16_t flags = 0;
    std::string_view name;
    std::uint64_t size = 0;
    std::uint64_t listId = 0;
    EntryTime created;  ///< times.created
    EntryTime modified; ///< times.modified
    EntryTime accessed; ///< times.accessed

    [[nodiscard]] bool is(EntryFlag flag) const noexcept { return hasFlag(flags, flag); }
    [[nodiscard]] bool deleted() const noexcept { return is(EntryFlag::Deleted); }
};

struct Entry {
    EntryId id = kNoEntryId;
    EntryId parent = kNoEntryId;
    EntryKind kind = EntryKind::File;
    std::uint16_t flags = 0;
    std::string_view name; ///< as the catalogue holds it: UTF-8, or 8-bit text under the classic rules
    std::uint64_t size = 0;
    /// The bytes of the data that were written; past them it reads as zeros.
    std::uint64_t initialized = 0;
    EntryTimes times;
    DataLocation location;
    /// Its folder as the entry names it: the folder's first cluster (FAT, exFAT;
    /// 0 the root) or a 48-bit MFT record number (NTFS; 5 the root).
    std::uint64_t parentNumber = 0;
    /// The number a user knows it by: its first cluster (FAT, exFAT) or MFT
    /// record number (NTFS).
    std::uint64_t number = 0;
    /// The deleted entry of a moved folder (EntryFlag::Moved): the folder it lives
    /// on as; kNoEntryId otherwise, or when that folder is not listed.
    EntryId movedTo = kNoEntryId;
    /// What the file list's ID column shows: a folder's tree handle, a FAT
    /// file's ordinal, an NTFS file's record sector.
    std::uint64_t listId = 0;
    /// FAT and exFAT: the address of the entry that names it (0: none kept).
    std::uint64_t entryAddress = 0;

    [[nodiscard]] bool is(EntryFlag flag) const noexcept { return hasFlag(flags, flag); }
    /// Sets `flag` when `on`.
    void set(EntryFlag flag, bool on = true) noexcept
    {
        if (on)
            flags = static_cast<std::uint16_t>(flags | static_cast<std::uint16_t>(flag));
    }
    [[nodiscard]] bool deleted() const noexcept { return is(EntryFlag::Deleted); }
    [[nodiscard]] bool folder() const noexcept { return kind == EntryKind::Folder; }
};

} // namespace sarvik::catalogue
