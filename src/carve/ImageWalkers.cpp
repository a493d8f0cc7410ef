// SPDX-License-Identifier: GPL-3.0-or-later
// Walkers of the image formats: JPEG, PNG, GIF and TIFF (with the camera raw
// files built on it).

#include "carve/FileFormats.h"
#include "carve/WalkResults.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

namespace sarvik::carve {

namespace {

// ---- JPEG: marker segments (0xFF, marker, big-endian length that counts itself).
constexpr std::uint8_t kMarkerPrefix = 0xFF;
constexpr std::uint8_t kSoi = 0xD8;
constexpr std::uint8_t kEoi = 0xD9;
constexpr std::uint8_t kSos = 0xDA;
constexpr std::uint8_t kDht = 0xC4;
constexpr std::uint8_t kDqt = 0xDB;
constexpr std::uint8_t kDri = 0xDD;
constexpr std::uint8_t kDnl = 0xDC;
constexpr std::uint8_t kDac = 0xCC;
constexpr std::uint8_t kCom = 0xFE;
constexpr std::uint8_t kRst0 = 0xD0;
constexpr std::uint8_t kRst7 = 0xD7;
constexpr std::uint8_t kApp0 = 0xE0;
constexpr std::uint8_t kApp15 = 0xEF;
constexpr std::uint8_t kStuffed = 0x00;

bool isFrameMarker(std::uint8_t m)
{
    return m >= 0xC0 && m <= 0xCF && m != kDht && m != 0xC8 && m != kDac;
}

/// Checks a segment's payload (the bytes after its length field) against what
/// its marker says it holds. Segments whose content carving does not read pass.
bool segmentHolds(std::uint8_t marker, const disk::ByteReader& p, bool& restarts)
{
    const std::size_t n = p.size();
    if (isFrameMarker(marker)) {
        // precision, height, width, component count, 3 bytes per component
        const std::uint8_t components = p.u8or0(5);
        return n >= 6 && components >= 1 && components <= 4 && n == 6u + 3u * components &&
               p.u8or0(3) + p.u8or0(4) != 0;
    }
    if (marker == kSos) {
        const std::uint8_t components = p.u8or0(0);
        return components >= 1 && components <= 4 && n == 4u + 2u * components;
    }
    if (marker == kDht) {
        std::size_t at = 0;
        while (at < n) {
            const std::uint8_t classAndId = p.u8or0(at);
            if ((classAndId >> 4) > 1 || (classAndId & 0x0F) > 3 || !p.has(at, 17))
                return false;
            std::size_t codes = 0;
            for (std::size_t i = 1; i <= 16; ++i)
                codes += p.u8or0(at + i);
            if (codes > 256)
                return false;
            at += 17 + codes;
        }
        return at == n;
    }
    if (marker == kDqt) {
        std::size_t at = 0;
        while (at < n) {
            const std::uint8_t precisionAndId = p.u8or0(at);
            if ((precisionAndId >> 4) > 1 || (precisionAndId & 0x0F) > 3)
                return false;
            at += (precisionAndId >> 4) == 0 ? 65 : 129;
        }
        return at == n;
    }
    if (marker == kDri) {
        if (n != 2)
            return false;
        restarts = p.u8or0(0) != 0 || p.u8or0(1) != 0;
        return true;
    }
    if (marker == kDnl)
        return n == 2;
    return true;
}

/// What may follow entropy-coded data: another scan and the tables it needs,
/// the line count, comments and application data.
bool mayFollowScan(std::uint8_t m)
{
    return m == kSos || m == kDht || m == kDqt || m == kDri || m == kDnl || m == kCom || m == kDac ||
           (m >= kApp0 && m <= kApp15);
}

/// Entropy-coded data from `pos`: a 0xFF byte is stuffed (0xFF 0x00), a fill
/// byte, a restart marker in sequence, or the marker that ends the scan. Gives
/// the offset of that marker, or nothing (with `broken` set to where the data
/// stops making sense, or left unset at the end of the bytes).
std::optional<std::uint64_t> skipScanData(CarveStream& s, std::uint64_t pos, bool restarts,
                                          std::optional<std::uint64_t>& broken)
{
    unsigned expected = 0;
    for (;;) {
        const auto ff = s.find(pos, s.limit(), std::byte{kMarkerPrefix});
        if (!ff)
            return std::nullopt;
        const auto next = s.u8(*ff + 1);
        if (!next)
            return std::nullopt;
        if (*next == kStuffed) {
            pos = *ff + 2;
        } else if (*next == kMarkerPrefix) {
            pos = *ff + 1;
        } else if (*next >= kRst0 && *next <= kRst7) {
            if (!restarts || unsigned{*next} - kRst0 != expected) {
                broken = *ff;
                return std::nullopt;
            }
            expected = (expected + 1) & 7;
            pos = *ff + 2;
        } else {
            return *ff;
        }
    }
}

// ---- PNG: 8-byte signature, then chunks: length (BE u32), type, data, CRC of type and data.
constexpr std::uint64_t kPngSignatureBytes = 8;
constexpr std::uint64_t kChunkHeaderBytes = 8;
constexpr std::uint64_t kChunkCrcBytes = 4;
constexpr std::uint32_t kIhdrLength = 13;
constexpr std::uint64_t kPngMaxChunk = 0x7FFFFFFF;

bool isChunkType(const disk::ByteReader& t)
{
    for (std::size_t i = 0; i < 4; ++i) {
        const auto c = static_cast<char>(t.u8or0(i));
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
            return false;
    }
    return true;
}

// ---- GIF: header, logical screen descriptor, blocks up to the trailer.
constexpr std::uint64_t kGifScreenOffset = 6;
constexpr std::uint64_t kGifPackedOffset = 10; // global colour table flag and size
constexpr std::uint64_t kGifBlocksOffset = 13;
constexpr std::uint8_t kGifExtension = 0x21;
constexpr std::uint8_t kGifImage = 0x2C;
constexpr std::uint8_t kGifTrailer = 0x3B;
constexpr std::uint64_t kGifImageDescriptorBytes = 10; // separator, position, size, packed byte

std::uint64_t colourTableBytes(std::uint8_t packed)
{
    return (packed & 0x80) != 0 ? 3u * (2u << (packed & 0x07)) : 0;
}

/// Sub-blocks from `pos` to their zero-length terminator: the offset after it, or nothing.
std::optional<std::uint64_t> skipSubBlocks(CarveStream& s, std::uint64_t pos)
{
    for (;;) {
        const auto n = s.u8(pos);
        if (!n)
            return std::nullopt;
        pos += 1u + *n;
        if (*n == 0)
            return pos;
    }
}

// ---- TIFF: byte order, 42, offset of the first IFD; each IFD a count of
// 12-byte entries (tag, type, count, value or offset) and the next IFD's offset.
constexpr std::uint64_t kTiffFirstIfdOffset = 4;
constexpr std::uint64_t kIfdEntryBytes = 12;
constexpr std::uint64_t kCr2MarkerOffset = 8; // "CR" and major version 2 in Canon raw files
constexpr std::size_t kMaxIfds = 256;
constexpr std::uint64_t kMaxIfdEntries = 4096;
constexpr std::uint64_t kMaxListedOffsets = 65536; // strips or tiles of one IFD
constexpr std::uint16_t kTagMake = 0x010F;
constexpr std::uint16_t kTagStripOffsets = 0x0111;
constexpr std::uint16_t kTagStripByteCounts = 0x0117;
constexpr std::uint16_t kTagTileOffsets = 0x0144;
constexpr std::uint16_t kTagTileByteCounts = 0x0145;
constexpr std::uint16_t kTagSubIfds = 0x014A;
constexpr std::uint16_t kTagJpegOffset = 0x0201;
constexpr std::uint16_t kTagJpegLength = 0x0202;
constexpr std::uint16_t kTagExifIfd = 0x8769;
constexpr std::uint16_t kTagGpsIfd = 0x8825;
constexpr std::uint16_t kTagInteropIfd = 0xA005;
constexpr std::uint16_t kTagDngVersion = 0xC612;
constexpr std::uint16_t kTagDateTime = 0x0132;
constexpr std::uint16_t kTagDateTimeOriginal = 0x9003;
constexpr std::size_t kExifDateBytes = 19;

unsigned tiffTypeBytes(std::uint16_t type)
{
    switch (type) {
    case 1:
    case 2:
    case 6:
    case 7:
        return 1;
    case 3:
    case 8:
        return 2;
    case 4:
    case 9:
    case 11:
    case 13:
        return 4;
    case 5:
    case 10:
    case 12:
        return 8;
    default:
        return 0;
    }
}

class TiffWalk {
public:
    explicit TiffWalk(CarveStream& s, bool big) : m_s(s), m_big(big) {}

    WalkResult run();

private:
    std::optional<std::uint64_t> num(std::uint64_t offset, unsigned width)
    {
        return m_big ? m_s.be(offset, width) : m_s.le(offset, width);
    }
    /// The values of an entry (SHORT or LONG, count of them at `at` or inline).
    bool values(std::uint16_t type, std::uint64_t count, std::uint64_t valueField, std::vector<std::uint64_t>& out);
    bool walkIfd(std::uint64_t offset);
    void reach(std::uint64_t end) { m_end = std::max(m_end, end); }

    CarveStream& m_s;
    bool m_big = false;
    std::uint64_t m_end = 0;
    std::vector<std::uint64_t> m_pending;
    std::unordered_set<std::uint64_t> m_seen;
    std::string m_extension = "tif";
    std::string m_make;
    std::int64_t m_dateTime = 0; ///< IFD0's DateTime
    std::int64_t m_original = 0; ///< the EXIF IFD's DateTimeOriginal
};

bool TiffWalk::values(std::uint16_t type, std::uint64_t count, std::uint64_t valueField,
                      std::vector<std::uint64_t>& out)
{
    const unsigned width = type == 3 ? 2 : (type == 4 || type == 13) ? 4 : 0;
    if (width == 0 || count == 0 || count > kMaxListedOffsets)
        return false;
    std::uint64_t at = valueField;
    if (count * width > 4) {
        const auto offset = num(valueField, 4);
        if (!offset)
            return false;
        at = *offset;
    }
    for (std::uint64_t i = 0; i < count; ++i) {
        const auto v = num(at + i * width, width);
        if (!v)
            return false;
        out.push_back(*v);
    }
    return true;
}

bool TiffWalk::walkIfd(std::uint64_t offset)
{
    const auto count = num(offset, 2);
    if (!count || *count == 0 || *count > kMaxIfdEntries)
        return false;
    const std::uint64_t entries = offset + 2;
    reach(entries + *count * kIfdEntryBytes + 4);
    std::vector<std::uint64_t> stripOffsets, stripCounts, tileOffsets, tileCounts;
    std::optional<std::uint64_t> jpegOffset, jpegLength;
    for (std::uint64_t i = 0; i < *count; ++i) {
        const std::uint64_t e = entries + i * kIfdEntryBytes;
        const auto tag = num(e, 2);
        const auto type = num(e + 2, 2);
        const auto n = num(e + 4, 4);
        if (!tag || !type || !n)
            return false;
        const unsigned width = tiffTypeBytes(static_cast<std::uint16_t>(*type));
        if (width == 0)
            return false;
        const std::uint64_t bytes = *n * width;
        if (bytes > 4) {
            const auto at = num(e + 8, 4);
            if (!at)
                return false;
            reach(*at + bytes);
        }
        const auto t = static_cast<std::uint16_t>(*tag);
        const auto ty = static_cast<std::uint16_t>(*type);
        bool ok = true;
        if (t == kTagStripOffsets)
            ok = values(ty, *n, e + 8, stripOffsets);
        else if (t == kTagStripByteCounts)
            ok = values(ty, *n, e + 8, stripCounts);
        else if (t == kTagTileOffsets)
            ok = values(ty, *n, e + 8, tileOffsets);
        else if (t == kTagTileByteCounts)
            ok = values(ty, *n, e + 8, tileCounts);
        else if (t == kTagJpegOffset)
            jpegOffset = num(e + 8, 4);
        else if (t == kTagJpegLength)
            jpegLength = num(e + 8, 4);
        else if (t == kTagSubIfds || t == kTagExifIfd || t == kTagGpsIfd || t == kTagInteropIfd)
            ok = values(ty, *n, e + 8, m_pending);
        else if (t == kTagDngVersion)
            m_extension = "dng";
        else if ((t == kTagDateTime || t == kTagDateTimeOriginal) && ty == 2 && *n >= kExifDateBytes) {
            if (const auto at = num(e + 8, 4))
                if (const auto text = m_s.bytes(*at, kExifDateBytes)) {
                    const auto* chars = reinterpret_cast<const char*>(text->bytes().data());
                    const std::int64_t when = exifDateTime(std::string_view(chars, kExifDateBytes));
                    (t == kTagDateTime ? m_dateTime : m_original) = when;
                }
        } else if (t == kTagMake && m_make.empty() && *n > 4 && *n < 64) {
            if (const auto at = num(e + 8, 4))
                if (const auto text = m_s.bytes(*at, static_cast<std::size_t>(*n)))
                    for (std::size_t k = 0; k < text->size() && text->u8or0(k) != 0; ++k)
                        m_make.push_back(static_cast<char>(text->u8or0(k)));
        }
        if (!ok)
            return false;
    }
    auto pieces = [this](const std::vector<std::uint64_t>& offsets, const std::vector<std::uint64_t>& counts) {
        if (offsets.size() != counts.size())
            return false;
        for (std::size_t i = 0; i < offsets.size(); ++i)
            reach(offsets[i] + counts[i]);
        return true;
    };
    if (!pieces(stripOffsets, stripCounts) || !pieces(tileOffsets, tileCounts))
        return false;
    if (jpegOffset && jpegLength)
        reach(*jpegOffset + *jpegLength);
    const auto next = num(entries + *count * kIfdEntryBytes, 4);
    if (!next)
        return false;
    if (*next != 0)
        m_pending.push_back(*next);
    return true;
}

WalkResult TiffWalk::run()
{
    const auto first = num(kTiffFirstIfdOffset, 4);
    if (!first || *first < 8)
        return {};
    m_pending.push_back(*first);
    bool any = false;
    while (!m_pending.empty() && m_seen.size() < kMaxIfds) {
        const std::uint64_t ifd = m_pending.back();
        m_pending.pop_back();
        if (!m_seen.insert(ifd).second)
            continue;
        if (!walkIfd(ifd)) {
            // The first IFD decides whether this is TIFF at all; a later one
            // that does not parse means foreign bytes where it should lie.
            return walk::broken(any, std::min(m_end, ifd), m_extension);
        }
        any = true;
    }
    if (m_s.matches(0, "IIRO") || m_s.matches(0, "IIRS") ||
        (m_extension == "tif" && m_make.rfind("OLYMPUS", 0) == 0 && !m_s.matches(kCr2MarkerOffset, "CR\x02")))
        m_extension = "orf";
    else if (m_s.matches(0, std::string_view("IIU\0", 4)))
        m_extension = "rw2";
    else if (m_s.matches(kCr2MarkerOffset, "CR\x02"))
        m_extension = "cr2";
    else if (m_extension == "tif" && m_make.rfind("SAMSUNG", 0) == 0)
        m_extension = "srw";
    else if (m_extension == "tif" && m_make.rfind("NIKON", 0) == 0)
        m_extension = "nef";
    else if (m_extension == "tif" && m_make.rfind("SONY", 0) == 0)
        m_extension = "arw";
    else if (m_extension == "tif" && m_make.rfind("PENTAX", 0) == 0)
        m_extension = "pef";
    // Every byte the structure names must be there.
    WalkResult result = m_end > m_s.limit() || !m_s.bytes(m_end - 1, 1)
                            ? walk::broken(true, std::min(m_end, m_s.limit()), m_extension)
                            : walk::whole(m_end, m_extension);
    result.time = m_original != 0 ? m_original : m_dateTime;
    result.timeIsLocal = true;
    return result;
}

} // namespace

namespace {

WalkResult jpegSegments(CarveStream& s)
{
    std::uint64_t pos = 2;
    bool frame = false, scanned = false, afterScan = false, restarts = false;
    for (;;) {
        const auto head = s.bytes(pos, 2);
        if (!head)
            return walk::broken(frame, pos, "jpg");
        if (head->u8or0(0) != kMarkerPrefix)
            return walk::broken(frame, pos, "jpg");
        const std::uint8_t marker = head->u8or0(1);
        if (marker == kMarkerPrefix) {
            ++pos; // fill byte before a marker
            continue;
        }
        if (marker == kEoi) {
            if (!scanned)
                return walk::broken(frame, pos, "jpg");
            return walk::whole(pos + 2, "jpg");
        }
        if (marker == kStuffed || marker == 0x01 || marker == kSoi || (marker >= kRst0 && marker <= kRst7) ||
            (afterScan && !mayFollowScan(marker)))
            return walk::broken(frame, pos, "jpg");
        const auto length = s.be(pos + 2, 2);
        if (!length)
            return walk::broken(frame, pos, "jpg");
        if (*length < 2)
            return walk::broken(frame, pos, "jpg");
        const auto payload = s.bytes(pos + 4, static_cast<std::size_t>(*length - 2));
        if (!payload || !segmentHolds(marker, *payload, restarts) || (marker == kSos && !frame))
            return walk::broken(frame, pos, "jpg");
        if (isFrameMarker(marker))
            frame = true;
        pos += 2 + *length;
        if (marker == kSos) {
            scanned = true;
            std::optional<std::uint64_t> broken;
            const auto end = skipScanData(s, pos, restarts, broken);
            // Scan data does not say its length: another file's start ends it.
            if (const auto other = nextFileStart(s, pos, end ? *end : broken.value_or(s.limit()), FileType::Jpeg))
                return walk::broken(true, *other, "jpg");
            if (!end)
                return walk::broken(true, broken.value_or(s.limit()), "jpg");
            pos = *end;
            afterScan = true;
        }
    }
}

} // namespace

WalkResult walkJpeg(CarveStream& s)
{
    if (!s.matches(0, std::string_view("\xFF\xD8\xFF", 3)))
        return {};
    WalkResult result = jpegSegments(s);
    if (result.status != WalkStatus::NotThisType) {
        result.time = jpegExifTime(s, 0);
        result.timeIsLocal = true;
    }
    return result;
}

WalkResult walkPng(CarveStream& s)
{
    if (!s.matches(0, std::string_view("\x89PNG\r\n\x1A\n", 8)))
        return {};
    std::uint64_t pos = kPngSignatureBytes;
    bool first = true;
    for (;;) {
        const auto length = s.be(pos, 4);
        const auto type = s.bytes(pos + 4, 4);
        if (!length || !type)
            return walk::broken(!first, pos, "png");
        if (*length > kPngMaxChunk || !isChunkType(*type) ||
            (first && (!type->equals(0, "IHDR") || *length != kIhdrLength)))
            return walk::broken(!first, pos, "png");
        // Told now: the reads of the chunk's data below may move the stream's
        // window, and `type` looks into it.
        const bool last = type->equals(0, "IEND");
        // The CRC covers the type and the data, read in spans of bounded size.
        std::uint32_t crc = 0;
        std::uint64_t at = pos + 4;
        const std::uint64_t dataEnd = pos + kChunkHeaderBytes + *length;
        while (at < dataEnd) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(CarveStream::kMaxSpan, dataEnd - at));
            const auto piece = s.bytes(at, n);
            if (!piece)
                return walk::broken(!first, pos, "png");
            crc = crc32(piece->bytes(), crc);
            at += n;
        }
        const auto stored = s.be(dataEnd, 4);
        if (!stored || *stored != crc)
            return walk::broken(!first, pos, "png");
        const std::uint64_t next = dataEnd + kChunkCrcBytes;
        if (last)
            return walk::whole(next, "png");
        first = false;
        pos = next;
    }
}

WalkResult walkGif(CarveStream& s)
{
    if (!s.matches(0, "GIF89a") && !s.matches(0, "GIF87a"))
        return {};
    const auto screen = s.bytes(kGifScreenOffset, 7);
    if (!screen || screen->u16or0(0) == 0 || screen->u16or0(2) == 0)
        return {};
    const auto packed = s.u8(kGifPackedOffset);
    std::uint64_t pos = kGifBlocksOffset + colourTableBytes(packed.value_or(0));
    // A sound screen descriptor is structure enough: a break after it is an incomplete GIF.
    const bool structured = true;
    bool image = false;
    for (;;) {
        const auto kind = s.u8(pos);
        if (!kind)
            return walk::broken(structured, pos, "gif");
        if (*kind == kGifTrailer) {
            if (!image)
                return {};
            return walk::whole(pos + 1, "gif");
        }
        std::optional<std::uint64_t> next;
        if (*kind == kGifExtension) {
            next = skipSubBlocks(s, pos + 2);
        } else if (*kind == kGifImage) {
            const auto descriptor = s.bytes(pos, kGifImageDescriptorBytes);
            if (!descriptor || descriptor->u16or0(5) == 0 || descriptor->u16or0(7) == 0)
                return walk::broken(structured, pos, "gif");
            const std::uint64_t data = pos + kGifImageDescriptorBytes + colourTableBytes(descriptor->u8or0(9));
            const auto codeSize = s.u8(data);
            if (!codeSize || *codeSize < 1 || *codeSize > 11)
                return walk::broken(structured, pos, "gif");
            next = skipSubBlocks(s, data + 1);
            if (next)
                image = true;
        } else {
            return walk::broken(structured, pos, "gif");
        }
        if (!next)
            return walk::broken(structured, pos, "gif");
        pos = *next;
    }
}

WalkResult walkTiff(CarveStream& s)
{
    // TIFF; Olympus raw files put "RO" or "RS" for 42, Panasonic's 0x55.
    const bool big = s.matches(0, std::string_view("MM\0*", 4));
    if (!big && !s.matches(0, std::string_view("II*\0", 4)) && !s.matches(0, "IIRO") && !s.matches(0, "IIRS") &&
        !s.matches(0, std::string_view("IIU\0", 4)))
        return {};
    return TiffWalk(s, big).run();
}

} // namespace sarvik::carve
