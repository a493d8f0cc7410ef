// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Parsing of one MFT record: the update-sequence fixup, the records named by an
// attribute list, the file-name attribute and the unnamed data attribute.
//
// A record is 1,024 bytes (two sectors) under the classic rules and as long as
// the boot sector says (1,024 to 4,096 bytes) under the thorough ones. All
// functions work on a record already in memory and bound every offset they
// follow by that buffer, whatever its length; none of them reads the volume.

#include "catalogue/Catalogue.h"
#include "disk/ByteReader.h"
#include "ntfs/AttributeHeader.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace sarvik::ntfs {

inline constexpr std::size_t kMftRecordSize = 1024;
inline constexpr std::uint32_t kMftRecordSectors = 2;
/// The longest record read: 4,096 bytes, eight 512-byte sectors.
inline constexpr std::size_t kMaxMftRecordSize = 4096;

/// The sectors of one MFT record: room for the longest, used up to size().
/// A contiguous range, so it passes as a span of its used bytes.
class MftRecord {
public:
    /// A cleared record of `sectors` 512-byte sectors (2 to 8; 0, a geometry
    /// that does not say, gives the usual 2).
    explicit MftRecord(std::uint32_t sectors = kMftRecordSectors) noexcept { resize(sectors); }
    /// Uses `sectors` sectors as the constructor takes them; the bytes are kept.
    void resize(std::uint32_t sectors) noexcept
    {
        if (sectors == 0)
            sectors = kMftRecordSectors;
        m_size = std::size_t{std::clamp<std::uint32_t>(sectors, kMftRecordSectors, kMaxMftRecordSize / 512)} * 512;
    }
    void fill(std::byte value) noexcept { m_bytes.fill(value); }
    [[nodiscard]] std::size_t size() const noexcept { return m_size; }
    [[nodiscard]] std::uint32_t sectors() const noexcept { return static_cast<std::uint32_t>(m_size / 512); }
    [[nodiscard]] std::byte* data() noexcept { return m_bytes.data(); }
    [[nodiscard]] const std::byte* data() const noexcept { return m_bytes.data(); }
    [[nodiscard]] std::byte* begin() noexcept { return m_bytes.data(); }
    [[nodiscard]] std::byte* end() noexcept { return m_bytes.data() + m_size; }
    [[nodiscard]] const std::byte* begin() const noexcept { return m_bytes.data(); }
    [[nodiscard]] const std::byte* end() const noexcept { return m_bytes.data() + m_size; }
    std::byte& operator[](std::size_t i) noexcept { return m_bytes[i]; }
    const std::byte& operator[](std::size_t i) const noexcept { return m_bytes[i]; }
    /// Same length and same bytes.
    friend bool operator==(const MftRecord& a, const MftRecord& b) noexcept { return std::ranges::equal(a, b); }

private:
    std::array<std::byte, kMaxMftRecordSize> m_bytes{};
    std::size_t m_size = kMftRecordSize;
};

/// Name spaces of a file-name attribute (value byte 65).
namespace FileNamespace {
inline constexpr std::uint8_t Posix = 0;
inline constexpr std::uint8_t Win32 = 1;
inline constexpr std::uint8_t Dos = 2;
inline constexpr std::uint8_t Win32AndDos = 3;
} // namespace FileNamespace

/// Values of the record's flags byte (offset 22).
namespace RecordFlags {
inline constexpr std::uint8_t DeletedFile = 0;
inline constexpr std::uint8_t FileInUse = 1;
inline constexpr std::uint8_t DeletedFolder = 2;
inline constexpr std::uint8_t FolderInUse = 3;
} // namespace RecordFlags

// Record header (offsets from the start of the record).
inline constexpr std::size_t kRecordSignature = 0;       // "FILE"
inline constexpr std::size_t kRecordUpdateSequence = 4;  // u16: offset of the update-sequence array
inline constexpr std::size_t kRecordUpdateCount = 6;     // u16: words in that array (sequence number + one per sector)
inline constexpr std::size_t kRecordSequence = 16;       // u16: raised each time the record is freed
inline constexpr std::size_t kRecordFirstAttribute = 20; // s16: offset of the first attribute
inline constexpr std::size_t kRecordFlags = 22;          // u8: low byte of the flags
inline constexpr std::size_t kRecordBaseReference = 32;  // u64: base record of an extension record, 0 in a base record
inline constexpr std::size_t kRecordNumber = 44;         // u32: the record's own number (NTFS 3.1 and later)

/// The record number of a 64-bit file reference (its high 16 bits are the sequence number).
inline constexpr std::uint64_t kReferenceNumberMask = (std::uint64_t{1} << 48) - 1;

// File-name attribute value (offsets from the start of the value).
inline constexpr std::size_t kNameParent = 0;     // u64 reference: the parent's record number in its low 48 bits
inline constexpr std::size_t kNameCreated = 8;    // u64 FILETIME
inline constexpr std::size_t kNameModified = 24;  // u64 FILETIME (last change of the record)
inline constexpr std::size_t kNameLength = 64;    // u8: UTF-16 units
inline constexpr std::size_t kNameNamespace = 65; // u8
inline constexpr std::size_t kNameText = 66;      // UTF-16LE name

// Standard-information attribute value (offsets from the start of the value).
inline constexpr std::size_t kStandardCreated = 0;        // u64 FILETIME
inline constexpr std::size_t kStandardModified = 8;       // u64 FILETIME (last write of the data)
inline constexpr std::size_t kStandardRecordChanged = 16; // u64 FILETIME (last change of the record)
inline constexpr std::size_t kStandardAccessed = 24;      // u64 FILETIME (last access)
inline constexpr std::size_t kStandardMinimumLength = 48; // the value's length in the oldest layout

// Attribute-list entry (offsets from the entry's start).
inline constexpr std::size_t kListEntryType = 0;    // u32: type of the listed attribute
inline constexpr std::size_t kListEntryLength = 4;  // s16: distance to the next entry
inline constexpr std::size_t kListEntryRecord = 16; // u64 reference: record that holds it (low 48 bits)

/// Most entries kept for one record: its own number and what its attribute list names.
inline constexpr std::size_t kMaxAttributeRecords = 50;

/// The records that hold the attributes of the record being examined: its own
/// number first, then those of its attribute-list entries in list order,
/// duplicates included.
struct AttributeRecordTable {
    std::array<std::uint64_t, kMaxAttributeRecords> AttributeRecords{};
    std::uint16_t AttributeRecordCount = 0;

    /// The table becomes exactly the record's own number.
    void reset(std::uint64_t ownRecord) noexcept
    {
        AttributeRecords[0] = ownRecord;
        AttributeRecordCount = 1;
    }
    /// Appends unless the table is full; false when it was.
    bool append(std::uint64_t record) noexcept
    {
        if (AttributeRecordCount >= kMaxAttributeRecords)
            return false;
        AttributeRecords[AttributeRecordCount++] = record;
        return true;
    }
};

/// What a file-name attribute says about its item.
struct FileNameInfo {
    std::string name;               ///< low byte of each UTF-16 unit, cut at the first zero byte
    std::uint64_t parentRecord = 0; ///< the 48-bit record number of the reference
    std::uint64_t created = 0;
    std::uint64_t modified = 0;
};

/// Restores the last two bytes of each 512-byte sector of the record from the
/// update-sequence array (offset at 4, word count at 6). Entries are taken only
/// from the record's first 84 bytes; the sequence number is not compared, so a
/// torn record is not detected.
void ApplyRecordFixup(disk::MutableByteSpan record) noexcept;

/// True when the last two bytes of each 512-byte sector of the record (before
/// ApplyRecordFixup) hold the update sequence number, as NTFS writes them: a
/// record whose sectors were written at different times, or bytes that only
/// start with "FILE", fail.
[[nodiscard]] bool RecordFixupMatches(disk::ByteSpan record) noexcept;

/// True when the record begins with "FILE".
[[nodiscard]] bool hasFileSignature(disk::ByteSpan record) noexcept;

/// Appends to `table` the record numbers of the entries of the record's
/// resident attribute list. A non-resident list adds nothing. Stops when the
/// table holds kMaxAttributeRecords entries.
void CollectAttributeRecords(disk::ByteSpan record, AttributeRecordTable& table) noexcept;

/// Offsets of the value of the first file-name attribute of each name space
/// 0 to 3 that one walk of the record meets, in the order FindFileName would
/// meet them; a walk stopped by a damaged attribute keeps what it had found.
struct FileNameOffsets {
    std::array<std::optional<std::size_t>, 4> value;
};
[[nodiscard]] FileNameOffsets LocateFileNames(disk::ByteSpan record) noexcept;

/// What one walk over a record's attributes finds: the file names that
/// LocateFileNames gives and the data size that FindDataAttribute gives; when
/// `table` is set, the entries CollectAttributeRecords appends are appended to it.
struct RecordAttributes {
    FileNameOffsets names;
    std::optional<std::uint64_t> dataSize;
    /// Offset of the value of the first resident standard-information attribute
    /// whose value lies wholly inside the attribute and the record.
    std::optional<std::size_t> standardValue;
};
[[nodiscard]] RecordAttributes ExamineAttributes(disk::ByteSpan record, AttributeRecordTable* table) noexcept;

/// The times of the standard-information value at `valueOffset` (as
/// RecordAttributes::standardValue gives it).
[[nodiscard]] catalogue::NtfsStandardTimes ReadStandardTimes(disk::ByteSpan record, std::size_t valueOffset) noexcept;

/// The fixed fields (parent, times) of the file-name value at `valueOffset`,
/// and in `nameBytes` the bytes of its UTF-16LE name that lie wholly inside
/// the record (`name` is left empty).
[[nodiscard]] FileNameInfo ReadFileNameFields(disk::ByteSpan record, std::size_t valueOffset,
                                              disk::ByteSpan& nameBytes);

/// Reads the file-name attribute whose value starts at `valueOffset`.
[[nodiscard]] FileNameInfo ReadFileName(disk::ByteSpan record, std::size_t valueOffset);

/// The first unnamed file-name attribute of name space `nameSpace` (0 to 3).
[[nodiscard]] std::optional<FileNameInfo> FindFileName(disk::ByteSpan record, std::uint8_t nameSpace);

/// Size of the unnamed data attribute: the real size when non-resident, the
/// value length when resident. Named data attributes (streams) are passed over.
[[nodiscard]] std::optional<std::uint64_t> FindDataAttribute(disk::ByteSpan record) noexcept;

/// What one walk of a record tells about a file that may have lost its names.
struct RecordSurvey {
    /// A file-name attribute of any kind (named or not, any name space) was met.
    bool hasFileName = false;
    /// Size of the unnamed data attribute: the value length when resident, the
    /// real size when non-resident and the piece starts at cluster 0 of the data
    /// (later pieces of a split attribute carry no size).
    std::optional<std::uint64_t> dataSize;
    /// Created and record-changed FILETIMEs of the standard information, when
    /// the record holds a resident one whose value lies inside the record.
    std::optional<std::pair<std::uint64_t, std::uint64_t>> times;
};
/// Walks the record's attributes once, as the other look-ups walk them, and
/// says what RecordSurvey holds; a damaged walk keeps what it found before.
[[nodiscard]] RecordSurvey SurveyRecord(disk::ByteSpan record) noexcept;

} // namespace sarvik::ntfs
