// SPDX-License-Identifier: GPL-3.0-or-later
#include "carve/FileFormats.h"

#include <array>
#include <initializer_list>

namespace sarvik::carve {

namespace {

struct TypeEntry {
    FileType type;
    std::string_view name;
    WalkResult (*walk)(CarveStream&);
};

// In the order of FileType: looked up by the type's value.
constexpr std::array<TypeEntry, kFileTypeCount> kTypes{{
    {FileType::Jpeg, "jpg", walkJpeg},        {FileType::Png, "png", walkPng},
    {FileType::Gif, "gif", walkGif},          {FileType::Pdf, "pdf", walkPdf},
    {FileType::Zip, "zip", walkZip},          {FileType::Mp4, "mp4", walkMp4},
    {FileType::Tiff, "tif", walkTiff},        {FileType::Sqlite, "sqlite", walkSqlite},
    {FileType::Text, "txt", walkText},        {FileType::Raf, "raf", walkRaf},
    {FileType::Riff, "riff", walkRiff},       {FileType::Mts, "mts", walkMts},
    {FileType::Mp3, "mp3", walkMp3},          {FileType::Flac, "flac", walkFlac},
    {FileType::Ogg, "ogg", walkOgg},          {FileType::Bmp, "bmp", walkBmp},
    {FileType::Psd, "psd", walkPsd},          {FileType::Mkv, "mkv", walkMkv},
    {FileType::Ole, "doc", walkOle},          {FileType::Rar, "rar", walkRar},
    {FileType::SevenZip, "7z", walkSevenZip},
}};
static_assert([] {
    for (std::size_t i = 0; i < kTypes.size(); ++i)
        if (static_cast<std::size_t>(kTypes[i].type) != i)
            return false;
    return true;
}());

struct Signature {
    FileType type;
    std::string_view start;
};

// Signatures at a file's first byte, in the order they are tried: each long
// enough alone that random bytes match it too rarely to matter (the shorter
// ones are checked further in typeAt()).
constexpr Signature kSignatures[] = {
    {FileType::Jpeg, {"\xFF\xD8\xFF", 3}},
    {FileType::Png, {"\x89PNG\r\n\x1A\n", 8}},
    {FileType::Gif, "GIF89a"},
    {FileType::Gif, "GIF87a"},
    {FileType::Pdf, "%PDF-"},
    {FileType::Zip, kZipLocalHeader},
    {FileType::Tiff, {"II*\0", 4}}, // little-endian
    {FileType::Tiff, {"MM\0*", 4}}, // big-endian
    {FileType::Sqlite, {"SQLite format 3\0", 16}},
    {FileType::Tiff, "IIRO"},       // Olympus raw
    {FileType::Tiff, "IIRS"},       // Olympus raw
    {FileType::Tiff, {"IIU\0", 4}}, // Panasonic raw
    {FileType::Raf, "FUJIFILMCCD-RAW "},
    {FileType::Mkv, "\x1A\x45\xDF\xA3"},
    {FileType::Ole, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"},
    {FileType::Rar, {"Rar!\x1A\x07", 6}},
    {FileType::SevenZip, {"7z\xBC\xAF\x27\x1C", 6}},
};
// MP4/MOV: the first box is "ftyp" (its type at byte 4), a few dozen bytes long.
constexpr std::uint64_t kFtypTypeOffset = 4;
constexpr std::uint32_t kFtypMinSize = 16;
constexpr std::uint32_t kFtypMaxSize = 4096;

constexpr std::uint8_t kFlacStreamInfoBytes = 34;

std::uint32_t be32(const disk::ByteReader& r, std::uint64_t at)
{
    return (std::uint32_t{r.u8or0(at)} << 24) | (std::uint32_t{r.u8or0(at + 1)} << 16) |
           (std::uint32_t{r.u8or0(at + 2)} << 8) | r.u8or0(at + 3);
}

/// ISO base media (MP4, MOV, 3GP, HEIC, CR3, M4A): an "ftyp" box of a few dozen
/// bytes first; or, in older QuickTime files, the movie box ("moov" holding
/// "mvhd" first) or a "wide" box of 8 bytes before the media data.
bool isoMediaStart(const disk::ByteReader& r)
{
    const std::uint32_t size = be32(r, 0);
    if (r.equals(kFtypTypeOffset, "ftyp"))
        return size >= kFtypMinSize && size <= kFtypMaxSize;
    if (r.equals(4, "moov"))
        return size >= 16 && r.equals(12, "mvhd");
    return r.equals(4, "wide") && size == 8 && r.equals(12, "mdat");
}

/// BMP: "BM", the file's size, two reserved words of zero, the pixels' offset
/// past the headers, and a DIB header of a size some version of it has.
bool bmpStart(const disk::ByteReader& r)
{
    if (!r.equals(0, "BM") || r.u32or0(6) != 0)
        return false;
    const std::uint32_t size = r.u32or0(2);
    const std::uint32_t pixels = r.u32or0(10);
    const std::uint16_t dib = r.u16or0(14);
    const bool dibKnown = dib == 12 || dib == 40 || dib == 52 || dib == 56 || dib == 64 || dib == 108 || dib == 124;
    return dibKnown && pixels >= 14u + dib && pixels < size;
}

/// An MPEG transport stream's first packet (188 bytes; 192 on camcorders, after
/// a 4-byte arrival time): the sync byte, no transport error, a payload that
/// starts here, and the program association or service description table's
/// packet identifier, not scrambled, with a payload.
bool transportPacketStart(const disk::ByteReader& r, std::uint64_t at)
{
    const std::uint8_t b1 = r.u8or0(at + 1);
    const std::uint8_t b2 = r.u8or0(at + 2);
    const std::uint8_t b3 = r.u8or0(at + 3);
    return r.u8or0(at) == 0x47 && (b1 & 0xDF) == 0x40 && (b2 == 0x00 || b2 == 0x11) && (b3 & 0xC0) == 0 &&
           (b3 & 0x10) != 0;
}

bool transportStart(const disk::ByteReader& r)
{
    return transportPacketStart(r, 0) || transportPacketStart(r, 4);
}

/// MP3: an ID3v2 tag's header (version 2 to 4, sizes of 7 bits a byte), or an
/// MPEG audio frame header whose fields are all of allowed values.
bool mp3Start(const disk::ByteReader& r)
{
    if (r.equals(0, "ID3")) {
        const std::uint8_t version = r.u8or0(3);
        return version >= 2 && version <= 4 && r.u8or0(4) != 0xFF && (r.u8or0(5) & 0x0F) == 0 &&
               ((r.u8or0(6) | r.u8or0(7) | r.u8or0(8) | r.u8or0(9)) & 0x80) == 0;
    }
    return mpegAudioFrameBytes(be32(r, 0)) != 0;
}

constexpr std::array<std::uint32_t, 256> makeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = makeCrcTable();

} // namespace

std::string_view typeName(FileType type) noexcept
{
    return kTypes[static_cast<std::size_t>(type)].name;
}

std::optional<FileType> typeByName(std::string_view name) noexcept
{
    for (const auto& t : kTypes)
        if (t.name == name)
            return t.type;
    if (name == "jpeg")
        return FileType::Jpeg;
    if (name == "mov")
        return FileType::Mp4;
    if (name == "tiff" || name == "raw")
        return FileType::Tiff;
    if (name == "text")
        return FileType::Text;
    // The extensions of the files a type holds.
    for (const std::string_view raw : {"cr2", "nef", "arw", "orf", "rw2", "pef", "dng", "srw"})
        if (name == raw)
            return FileType::Tiff;
    for (const std::string_view box : {"heic", "cr3", "3gp", "m4a"})
        if (name == box)
            return FileType::Mp4;
    for (const std::string_view riff : {"avi", "wav", "webp"})
        if (name == riff)
            return FileType::Riff;
    if (name == "m2ts" || name == "ts")
        return FileType::Mts;
    if (name == "webm")
        return FileType::Mkv;
    if (name == "xls" || name == "ppt")
        return FileType::Ole;
    return std::nullopt;
}

std::optional<FileType> typeAt(disk::ByteSpan head, std::span<const bool, kFileTypeCount> wanted)
{
    const disk::ByteReader r(head);
    auto want = [&wanted](FileType t) { return wanted[static_cast<std::size_t>(t)]; };
    for (const Signature& signature : kSignatures)
        if (want(signature.type) && r.equals(0, signature.start))
            return signature.type;
    if (want(FileType::Mp4) && isoMediaStart(r))
        return FileType::Mp4;
    if (want(FileType::Riff) &&
        ((r.equals(0, "RIFF") && (r.equals(8, "AVI ") || r.equals(8, "WAVE") || r.equals(8, "WEBP"))) ||
         (r.equals(0, "RF64") && r.equals(8, "WAVEds64"))))
        return FileType::Riff;
    if (want(FileType::Flac) && r.equals(0, "fLaC") && (r.u8or0(4) & 0x7F) == 0 && r.u8or0(5) == 0 && r.u8or0(6) == 0 &&
        r.u8or0(7) == kFlacStreamInfoBytes)
        return FileType::Flac;
    // The first page of a stream: its "beginning of stream" flag (and, for a
    // stream of one page, "end of stream"), no continued packet, at granule 0.
    if (want(FileType::Ogg) && r.equals(0, {"OggS\0", 5}) && (r.u8or0(5) & 0xFB) == 0x02 && r.u64or0(6) == 0)
        return FileType::Ogg;
    if (want(FileType::Psd) && r.equals(0, "8BPS") && (r.u8or0(5) == 1 || r.u8or0(5) == 2) && r.u8or0(4) == 0 &&
        r.u32or0(6) == 0 && r.u16or0(10) == 0 && r.u8or0(12) == 0 && r.u8or0(13) >= 1 && r.u8or0(13) <= 56)
        return FileType::Psd;
    if (want(FileType::Bmp) && bmpStart(r))
        return FileType::Bmp;
    if (want(FileType::Mts) && transportStart(r))
        return FileType::Mts;
    if (want(FileType::Mp3) && mp3Start(r))
        return FileType::Mp3;
    // Last: every format above starts with bytes that are not text.
    if (want(FileType::Text) && head.size() >= kSignatureBytes && looksLikeTextStart(head.first(kSignatureBytes)))
        return FileType::Text;
    return std::nullopt;
}

WalkResult walkFile(FileType type, CarveStream& stream)
{
    const auto i = static_cast<std::size_t>(type);
    if (i >= kTypes.size())
        return {};
    WalkResult result = kTypes[i].walk(stream);
    // A walk that broke off where its structure pointed past the bytes held
    // only what is there; one that ends past them is not whole.
    if (result.status != WalkStatus::NotThisType && result.length > stream.limit()) {
        result.status = WalkStatus::Incomplete;
        result.length = stream.limit();
    }
    if (result.status != WalkStatus::NotThisType && result.length == 0)
        return {};
    return result;
}

std::uint32_t mpegAudioFrameBytes(std::uint32_t header) noexcept
{
    // Bit rates in kbit/s by bit rate index: MPEG-1 layers I, II, III, then
    // MPEG-2 and 2.5 layer I, and layers II and III.
    static constexpr std::array<std::array<std::uint16_t, 15>, 5> kBitRates{{
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
    }};
    static constexpr std::array<std::uint32_t, 3> kRates{44100, 48000, 32000};
    if ((header & 0xFFE00000u) != 0xFFE00000u)
        return 0;
    const std::uint32_t version = (header >> 19) & 3; // 0: 2.5, 1: reserved, 2: MPEG-2, 3: MPEG-1
    const std::uint32_t layer = (header >> 17) & 3;   // 1: III, 2: II, 3: I
    const std::uint32_t rateIndex = (header >> 12) & 0xF;
    const std::uint32_t sampleIndex = (header >> 10) & 3;
    const std::uint32_t padding = (header >> 9) & 1;
    // Free bit rate (index 0) gives no length; an emphasis of 2 is reserved.
    if (version == 1 || layer == 0 || rateIndex == 0 || rateIndex == 15 || sampleIndex == 3 || (header & 3) == 2)
        return 0;
    const bool mpeg1 = version == 3;
    const std::size_t table = mpeg1 ? 3 - layer : (layer == 3 ? 3 : 4);
    const std::uint32_t bitRate = std::uint32_t{kBitRates[table][rateIndex]} * 1000;
    const std::uint32_t sampleRate = kRates[sampleIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    if (layer == 3)
        return (12 * bitRate / sampleRate + padding) * 4;
    const std::uint32_t perSlot = layer == 1 && !mpeg1 ? 72 : 144;
    return perSlot * bitRate / sampleRate + padding;
}

bool otherFileStartsAt(CarveStream& s, std::uint64_t offset, FileType self)
{
    const std::uint64_t unit = s.unit();
    if (unit == 0 || offset == 0 || offset % unit != 0 || offset >= s.limit() || s.wanted().size() != kFileTypeCount)
        return false;
    const auto head =
        s.bytes(offset, static_cast<std::size_t>(std::min<std::uint64_t>(kSignatureBytes, s.limit() - offset)));
    if (!head)
        return false;
    const auto type = typeAt(head->bytes(), s.wanted().first<kFileTypeCount>());
    if (!type)
        return false;
    if (*type != self)
        return true;
    // The type's own start where its middle cannot look the same.
    switch (self) {
    case FileType::Mp3:
        return head->equals(0, "ID3");
    case FileType::Jpeg: // a marker in scan data is never FF D8
    case FileType::Flac: // "fLaC"
    case FileType::Ogg:  // typeAt takes only a stream's first page
        return true;
    default:
        return false;
    }
}

std::optional<std::uint64_t> nextFileStart(CarveStream& s, std::uint64_t from, std::uint64_t to, FileType self)
{
    const std::uint64_t unit = s.unit();
    if (unit == 0 || to <= from)
        return std::nullopt;
    for (std::uint64_t at = (from + unit - 1) / unit * unit; at < to; at += unit)
        if (otherFileStartsAt(s, at, self))
            return at;
    return std::nullopt;
}

bool otherFileStartsWithin(CarveStream& s, std::uint64_t from, std::uint64_t to, FileType self)
{
    return nextFileStart(s, from, to, self).has_value();
}

std::uint32_t crc32(disk::ByteSpan bytes, std::uint32_t crc) noexcept
{
    crc = ~crc;
    for (const std::byte b : bytes)
        crc = kCrcTable[(crc ^ std::to_integer<std::uint32_t>(b)) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

} // namespace sarvik::carve
