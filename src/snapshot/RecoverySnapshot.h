// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recovery snapshot file: a scan result (volume description, partition
// block, geometry and the catalogue of the scanned kind) as little-endian fields
// without padding. Texts are a u16 length and that many 8-bit characters.
//
//   tag "rvx4.02" (7; "Rvx4.02" for a thorough scan, see kThoroughTag)  version "1.0" (3)
//   VolumeKind u16, D u16, DevicePath[D], VolumeClusterSectors u32,
//   VolumeSectors u64, VolumeSupported u8, V u16, VolumeLabel[V]
//   geometry block (68 bytes, RootDirStart is not stored)
//   body for GeometryKind 100/200/300: u32 folder count, folder records,
//                                      u32 file count, file records
//
// Every record starts with a u16 length that counts the bytes after it.
//
// A snapshot of a thorough scan, whose names are UTF-8, ends with the 11 bytes
// "NAMES=UTF-8" right after the last file record; its names may then be up to
// kMaxUtf8NameLength bytes. A snapshot without them is read as 8-bit names, and
// a default scan's snapshot never carries them, so it stays byte for byte what
// it always was (a reader that stops after the file records passes over them).
//
// A volume whose sectors are not 512 bytes long adds, right after the last file
// record and before any names marker, the 11 bytes "SECTOR=NNNN" (its bytes per
// sector in four decimal digits: 1024, 2048 or 4096). The geometry block holds
// every sector number in 512-byte units, and MftRecordSectors the MFT record
// size in those units, so nothing else needs a trailer.
//
// Optional trailers follow the last file record in this order, each only when
// it has something to say: SECTOR=, FATTIME=, FATENTRY=, NTFSTIME=, CARVED=, DEEP=1, LOSSES=, then NAMES=UTF-8 at the
// very end (see their constants). This file turns a scan
// result into those bytes and back; it never opens a file.

#include "catalogue/Catalogue.h"
#include "disk/ByteReader.h"
#include "disk/Volume.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sarvik::snapshot {

inline constexpr std::string_view kTag = "rvx4.02";
/// The tag as a snapshot of a thorough scan carries it: the same letters (a
/// reader that compares them ignoring case, as every reader of the format
/// does, takes it for the tag), in a case that says what the file is before
/// anything of its end is read: its names are UTF-8 and it ends with the
/// kUtf8NamesMarker. Such a file without that end was cut short: it loads as
/// damaged, its names still read as UTF-8. A thorough snapshot with the plain
/// tag (an older one) is known by its marker, or failing that by a trailer
/// only a thorough scan writes.
inline constexpr std::string_view kThoroughTag = "Rvx4.02";
inline constexpr std::string_view kVersion = "1.0";
inline constexpr std::string_view kExtension = ".RVU";

/// Longest DevicePath a snapshot may carry: PATH_MAX on Linux. Anything longer
/// is damage, not a device name.
inline constexpr std::size_t kMaxDevicePathLength = 4096;
/// Longest VolumeLabel: NTFS labels are at most 128 UTF-16 units, FAT labels 11.
inline constexpr std::size_t kMaxVolumeLabelLength = 255;
/// Longest entry name, as the catalogue holds it.
inline constexpr std::size_t kMaxNameLength = 255;
/// Longest entry name in a snapshot marked as UTF-8: 255 UTF-16 units, 3 bytes each at most.
inline constexpr std::size_t kMaxUtf8NameLength = 765;
/// Ends a snapshot whose names are UTF-8 (Catalogue::NamesAreUtf8).
inline constexpr std::string_view kUtf8NamesMarker = "NAMES=UTF-8";
/// Follows the last file record of a snapshot of a volume whose sectors are not
/// 512 bytes long, then four decimal digits of its bytes per sector.
inline constexpr std::string_view kSectorSizeTrailer = "SECTOR=";
/// Follows the records (and any SECTOR= trailer) of a snapshot of a thorough
/// FAT scan whose entries carry write times of day: a u32 count of folder and
/// file records, then each one's u16 packed write time, folders first, in
/// record order. The records' own fields hold only dates.
inline constexpr std::string_view kFatTimesTrailer = "FATTIME=";
/// Follows the records and any FATTIME= trailer of a snapshot of a thorough
/// FAT scan: a u32 count of folder and file records, then for each one, folders
/// first, in record order, its entry address (u64) and creation date, time
/// (u16 each, packed) and hundredths (u8): catalogue::FatEntryOrigin.
inline constexpr std::string_view kFatEntryTrailer = "FATENTRY=";
/// Bytes of one record's part of the FATENTRY= trailer.
inline constexpr std::size_t kFatEntryTrailerRecord = 13;
/// Follows the records (and any SECTOR= trailer) of a snapshot of a thorough
/// NTFS scan whose entries carry standard-information times: a u32 count of
/// folder and file records, then for each one, folders first, in record order,
/// the four FILETIMEs of catalogue::NtfsStandardTimes (u64 each, in its order).
inline constexpr std::string_view kNtfsTimesTrailer = "NTFSTIME=";
/// Follows the records and any FATTIME=, FATENTRY= or NTFSTIME= trailer of a snapshot whose file list
/// (FAT or NTFS) holds files found by their content: a u32 count, then for each such
/// file its u32 index among the file records and a u8 mark (1 whole, 2
/// incomplete). Without it every file is one found by its entry.
inline constexpr std::string_view kCarvedTrailer = "CARVED=";
/// After the carved marks, in a thorough NTFS snapshot whose file list holds
/// named data streams of files ("NAME:STREAM" records): a u32 count, then for
/// each such file its u32 index among the file records, a u16 length and the
/// stream's name in UTF-8. Without it every NTFS file is read from its unnamed
/// data attribute.
inline constexpr std::string_view kStreamTrailer = "STREAM=";
/// After the carved marks, in a thorough snapshot whose scan ran the deep
/// search of free space to its end; a snapshot without it holds a quick scan.
inline constexpr std::string_view kDeepSearchTrailer = "DEEP=1";

/// After the deep-search mark (and before any names marker), in a snapshot of
/// a scan with losses: three u64 counts, the sectors and the MFT records it
/// could not read (catalogue::ScanLosses) and the 512-byte sectors of the file
/// system that lay past the end of its image (VolumeInfo::FileSystemSectors
/// beyond VolumeSectors). A scan without losses writes none, so a classic
/// snapshot stays the Part's format byte for byte.
inline constexpr std::string_view kLossesTrailer = "LOSSES=";
/// Bytes of the LOSSES= trailer after its tag.
inline constexpr std::size_t kLossesTrailerBody = 24;

/// Shown (followed by the 7 bytes read, up to a zero byte) when the tag differs.
inline constexpr std::string_view kBadTagMessage = "    Invalid version of the file found : ";
inline constexpr std::string_view kBadVersionMessage =
    "              version of file does not match with current version 1.0";
inline constexpr std::string_view kCannotOpenMessage = "Unable to open the file";
/// What every message about damage in a snapshot begins with.
inline constexpr std::string_view kDamagedMessage = "The snapshot is damaged: ";

/// Bytes of the fixed part of each record kind (what its length counts besides the name).
inline constexpr std::size_t kFatFolderFixed = 15;
inline constexpr std::size_t kFatFileFixed = 21;
inline constexpr std::size_t kNtfsFolderFixed = 27;
inline constexpr std::size_t kNtfsFileFixed = 37;
/// Bytes of the geometry block.
inline constexpr std::size_t kGeometryBlockSize = 68;

/// What a snapshot carries.
struct SnapshotContent {
    disk::VolumeInfo info;
    disk::PartitionBlock partition;
    disk::VolumeGeometry geometry; ///< RootDirStart is not part of the file
    catalogue::Catalogue catalogue;
};

/// Outcome of encoding: the bytes, or why the scan result does not fit the format.
struct EncodeResult {
    bool ok = false;
    std::string error; ///< set when !ok
};

/// Appends the snapshot of a scan result to `out`. Values that do not fit their
/// field (a sector above 2^32, a negative cluster base below -2^31, a name longer
/// than kMaxNameLength, a device path or label longer than its bound) make it fail
/// with a message, and `out` is left as it was. The counts written are the
/// number of records that follow, which is folderCount() and fileCount() in any
/// consistent catalogue.
EncodeResult EncodeSnapshot(const disk::VolumeInfo& info, const disk::PartitionBlock& partition,
                            const disk::VolumeGeometry& geometry, const catalogue::Catalogue& catalogue,
                            std::vector<std::byte>& out);

enum class DecodeStatus {
    Loaded,  ///< the whole file was read
    Damaged, ///< the body is damaged: what came before the damage was read
    Refused, ///< wrong tag, wrong version, or damage before the body: nothing usable
};

/// What is damaged in a snapshot, for a front end that words it itself.
enum class SnapshotDamage {
    None,
    EndsBeforeRecord,       ///< the file ends before record `index` of `count`
    RecordTooShort,         ///< that record's length `value` is below its fixed part's `limit` bytes
    RecordNameTooLong,      ///< that record's name has `value` characters, more than `limit`
    EndsInsideRecord,       ///< the file ends inside record `index` of `count`
    EndsBeforeCount,        ///< the file ends before the list's count
    CarvedListDamaged,      ///< the list of files found by their content
    StreamListDamaged,      ///< the list of named streams
    EndsInsideLosses,       ///< the record of what the scan could not read
    EndsInsideTrailers,     ///< the trailers after the records
    EndsBeforeThoroughMark, ///< the mark that closes a thorough scan's snapshot
    EndsInsideVolume,       ///< the volume description
    DevicePathTooLong,      ///< `value` characters, more than `limit`
    LabelTooLong,           ///< `value` characters, more than `limit`
    EndsInsideLabel,        ///< the volume label
    EndsInsideGeometry,     ///< the geometry block
};

/// Where a snapshot is damaged and how. The record fields are those of the
/// folder or file lists' damage; `offset` is the byte where it lies.
struct DamageNote {
    SnapshotDamage what = SnapshotDamage::None;
    bool folders = false; ///< the list of folders, else of files
    std::uint64_t index = 0;
    std::uint64_t count = 0;
    std::uint64_t value = 0;
    std::uint64_t limit = 0;
    std::uint64_t offset = 0;
};

/// The English words of `note`, kDamagedMessage first.
[[nodiscard]] std::string damageMessage(const DamageNote& note);

struct DecodeResult {
    DecodeStatus status = DecodeStatus::Refused;
    std::string message; ///< why it was refused or where the damage lies
    DamageNote damage;   ///< the damage the message words, if it is one
};

/// Reads a snapshot from `bytes` into `out`, which should be fresh (the catalogue
/// is cleared first). Never reads past `bytes` and never makes an entry from a
/// record that is not wholly present. Ordinals are given anew in file order.
DecodeResult DecodeSnapshot(disk::ByteSpan bytes, SnapshotContent& out);

/// The DevicePath a snapshot starting with `head` records, read without the
/// rest of the file; nothing when `head` is not the start of a snapshot.
[[nodiscard]] std::optional<std::string> DecodeSnapshotDevicePath(disk::ByteSpan head);

/// True when `start` begins with the tag, in any case.
[[nodiscard]] bool HasSnapshotTag(disk::ByteSpan start) noexcept;

/// The path a snapshot is saved to: ".RVU" appended unless the name already ends
/// with it in any case. Where file names are case-insensitive the whole path is
/// upper-cased; elsewhere only the last component is, because upper-casing the
/// folders above it would name folders that do not exist. Only ASCII letters
/// change case.
[[nodiscard]] std::string SnapshotPath(std::string_view chosen, bool caseSensitiveFileSystem);

/// Differences between the geometry a snapshot was saved with and the one found
/// on the volume that now answers to its DevicePath, one line per field ("kind",
/// sectors per cluster, cluster base, FAT positions or MFT start). Empty when
/// they agree. `foundSupported` false means no FAT or NTFS volume was found.
[[nodiscard]] std::vector<std::string> GeometryDifferences(const disk::VolumeGeometry& snapshot,
                                                           const disk::VolumeGeometry& found, bool foundSupported);

} // namespace sarvik::snapshot
