// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The file formats carving knows: how each starts, and a walker per format that
// follows the format's own structure from the first byte to its true end (never a
// guessed length). A walk that breaks off before its end (foreign bytes where
// the structure must go on, a checksum that does not match, the end of the
// unclaimed stretch) says the file is incomplete and how far it held.

#include "carve/CarveStream.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sarvik::carve {

/// A ZIP local file header starts with these four bytes (as do Office files).
inline constexpr std::string_view kZipLocalHeader{"PK\x03\x04", 4};

enum class FileType : std::uint8_t {
    Jpeg,
    Png,
    Gif,
    Pdf,
    Zip,
    Mp4,
    Tiff,
    Sqlite,
    Text,
    Raf,
    Riff,
    Mts,
    Mp3,
    Flac,
    Ogg,
    Bmp,
    Psd,
    Mkv,
    Ole,
    Rar,
    SevenZip,
};
inline constexpr std::size_t kFileTypeCount = 21;

/// Every type wanted: what CarveOptions looks for unless told otherwise.
[[nodiscard]] constexpr std::array<bool, kFileTypeCount> allFileTypes() noexcept
{
    std::array<bool, kFileTypeCount> all{};
    all.fill(true);
    return all;
}

/// The type's name as `--types` and the "$Carved files" folders name it: "jpg", "png", ...
[[nodiscard]] std::string_view typeName(FileType type) noexcept;
/// The type named `name` (its typeName, or an extension of the files it holds:
/// "jpeg", "mov", "heic", "cr3", "tiff", "raw", "cr2", "nef", "avi", "wav", "webp", "webm",
/// "xls", "ppt", "text", ...), or nothing.
[[nodiscard]] std::optional<FileType> typeByName(std::string_view name) noexcept;

/// Bytes of a candidate's start that typeAt() looks at.
inline constexpr std::size_t kSignatureBytes = 16;

/// The type whose signature the bytes start with, among those `wanted` holds;
/// text, which has none, where the bytes read as the start of text.
[[nodiscard]] std::optional<FileType> typeAt(disk::ByteSpan head, std::span<const bool, kFileTypeCount> wanted);

enum class WalkStatus {
    NotThisType, ///< the start looked like the format, the structure after it does not
    Whole,       ///< the structure ends where the format says it ends
    Incomplete,  ///< it breaks off: `length` bytes held before the break
};

struct WalkResult {
    WalkStatus status = WalkStatus::NotThisType;
    std::uint64_t length = 0;
    /// The extension the content names: "jpg", "docx", "mov", "cr2", ...
    std::string extension;
    /// The date the file keeps of itself, in seconds since 1970 (0: none): see timeIsLocal.
    std::int64_t time = 0;
    /// True when `time` is a wall-clock time of no known zone (EXIF's, as
    /// the camera's clock read), false when it is UTC (a movie header's).
    bool timeIsLocal = false;
};

/// Walks the candidate in `stream` as a file of `type`.
[[nodiscard]] WalkResult walkFile(FileType type, CarveStream& stream);

WalkResult walkJpeg(CarveStream& s);
WalkResult walkPng(CarveStream& s);
WalkResult walkGif(CarveStream& s);
WalkResult walkPdf(CarveStream& s);
WalkResult walkZip(CarveStream& s);
WalkResult walkMp4(CarveStream& s);
WalkResult walkTiff(CarveStream& s);
WalkResult walkSqlite(CarveStream& s);
WalkResult walkText(CarveStream& s);
WalkResult walkRaf(CarveStream& s);
WalkResult walkRiff(CarveStream& s);
WalkResult walkMts(CarveStream& s);
WalkResult walkMp3(CarveStream& s);
WalkResult walkFlac(CarveStream& s);
WalkResult walkOgg(CarveStream& s);
WalkResult walkBmp(CarveStream& s);
WalkResult walkPsd(CarveStream& s);
WalkResult walkMkv(CarveStream& s);
WalkResult walkOle(CarveStream& s);
WalkResult walkRar(CarveStream& s);
WalkResult walkSevenZip(CarveStream& s);

/// True when `head` (kSignatureBytes of a unit's start) reads as the start of
/// text: UTF-8 (after an optional byte order mark) or UTF-16 after its byte
/// order mark, with no control character but tab, line and form feed and
/// carriage return, and mostly letters and digits.
[[nodiscard]] bool looksLikeTextStart(disk::ByteSpan head);

/// The length of the MPEG audio frame whose 4-byte header (read big-endian) is
/// `header`, or 0 where a field holds a value no frame has (a free bit rate too).
[[nodiscard]] std::uint32_t mpegAudioFrameBytes(std::uint32_t header) noexcept;

/// True when another file starts at `offset` of the candidate: a unit's start
/// (CarveStream::unit) with the signature of a wanted type other than `self`,
/// or `self`'s own where the middle of a file cannot look the same (an ID3 tag,
/// "fLaC", an Ogg stream's first page, a JPEG's start in scan data). Walks of formats that do not say
/// their length never go past it.
[[nodiscard]] bool otherFileStartsAt(CarveStream& s, std::uint64_t offset, FileType self);
/// The first unit's start in [from, to) where another file starts, if any.
[[nodiscard]] std::optional<std::uint64_t> nextFileStart(CarveStream& s, std::uint64_t from, std::uint64_t to,
                                                         FileType self);
/// True when another file starts at a unit's start in [from, to).
[[nodiscard]] bool otherFileStartsWithin(CarveStream& s, std::uint64_t from, std::uint64_t to, FileType self);

/// Seconds from 1970 to the wall-clock time "YYYY:MM:DD HH:MM:SS" (as EXIF
/// writes dates) read as if it were UTC; 0 when it is no such date.
[[nodiscard]] std::int64_t exifDateTime(std::string_view text) noexcept;
/// The DateTimeOriginal (else the DateTime) of the EXIF TIFF structure `tiff`, as exifDateTime; 0 without one.
[[nodiscard]] std::int64_t exifTime(disk::ByteSpan tiff) noexcept;
/// The EXIF time of the JPEG at `offset` of the candidate (its APP1 segment); 0 without one.
[[nodiscard]] std::int64_t jpegExifTime(CarveStream& s, std::uint64_t offset);
/// The creation time (UTC, seconds since 1970) in the movie header of the
/// "moov" box of `size` bytes at `moov`; 0 without one.
[[nodiscard]] std::int64_t movieHeaderTime(CarveStream& s, std::uint64_t moov, std::uint64_t size);

/// CRC-32 (the polynomial of PNG and ZIP) of `bytes`, continuing from `crc`.
[[nodiscard]] std::uint32_t crc32(disk::ByteSpan bytes, std::uint32_t crc = 0) noexcept;

} // namespace sarvik::carve
