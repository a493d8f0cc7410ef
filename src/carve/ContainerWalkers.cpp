// SPDX-License-Identifier: GPL-3.0-or-later
// Walkers of the container formats: PDF, ZIP (and the Office and OpenDocument
// files built on it), MP4/MOV boxes and SQLite databases.

#include "carve/FileFormats.h"
#include "carve/WalkResults.h"

#include <algorithm>
#include <array>

namespace sarvik::carve {

namespace {

// ---- PDF: objects, then an xref table (or stream), a trailer, "startxref",
// the xref's offset and "%%EOF"; an incremental update appends the same again.
constexpr std::string_view kPdfEof{"%%EOF"};
constexpr std::string_view kStartXref{"startxref"};
constexpr std::uint64_t kStartXrefReach = 64; // bytes before %%EOF that hold "startxref N"
constexpr std::uint64_t kXrefEntryBytes = 20; // "oooooooooo ggggg n" and a two-byte end of line
constexpr std::uint64_t kMaxXrefEntriesChecked = 100000;
constexpr std::uint64_t kMaxPdfBytes = std::uint64_t{1} << 30;

bool isSpace(std::uint8_t c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == 0;
}
bool isDigit(std::uint8_t c)
{
    return c >= '0' && c <= '9';
}

std::uint64_t skipSpace(CarveStream& s, std::uint64_t pos)
{
    for (int i = 0; i < 256; ++i) {
        const auto c = s.u8(pos);
        if (!c || !isSpace(*c))
            break;
        ++pos;
    }
    return pos;
}

/// A decimal number at `pos` (at most 18 digits): its value and the offset after it.
std::optional<std::pair<std::uint64_t, std::uint64_t>> number(CarveStream& s, std::uint64_t pos)
{
    std::uint64_t value = 0;
    std::uint64_t at = pos;
    while (at - pos < 18) {
        const auto c = s.u8(at);
        if (!c || !isDigit(*c))
            break;
        value = value * 10 + (*c - '0');
        ++at;
    }
    if (at == pos)
        return std::nullopt;
    return std::pair{value, at};
}

/// True when "N G obj" starts at `pos` (with N equal to `object` when given).
bool objectAt(CarveStream& s, std::uint64_t pos, std::optional<std::uint64_t> object)
{
    const auto n = number(s, pos);
    if (!n || (object && n->first != *object))
        return false;
    const auto g = number(s, skipSpace(s, n->second));
    return g && s.matches(skipSpace(s, g->second), "obj");
}

/// True when the xref at `xref` (before `before`) is a table whose in-use
/// entries each name an object at its offset, or an xref stream's object.
bool xrefHolds(CarveStream& s, std::uint64_t xref, std::uint64_t before)
{
    if (xref >= before)
        return false;
    if (!s.matches(xref, "xref"))
        return objectAt(s, xref, std::nullopt);
    std::uint64_t pos = skipSpace(s, xref + 4);
    std::uint64_t checked = 0;
    while (!s.matches(pos, "trailer")) {
        const auto first = number(s, pos);
        if (!first)
            return false;
        const auto count = number(s, skipSpace(s, first->second));
        if (!count)
            return false;
        pos = skipSpace(s, count->second);
        for (std::uint64_t i = 0; i < count->first; ++i, pos += kXrefEntryBytes) {
            const auto entry = s.bytes(pos, kXrefEntryBytes);
            if (!entry || pos >= before)
                return false;
            const auto kind = entry->u8or0(17);
            if (kind == 'f')
                continue;
            if (kind != 'n')
                return false;
            const auto offset = number(s, pos);
            if (!offset || offset->first >= xref)
                return false;
            if (checked++ < kMaxXrefEntriesChecked && !objectAt(s, offset->first, first->first + i))
                return false;
        }
    }
    return true;
}

/// True when the "%%EOF" at `eof` ends a trailer whose startxref names a sound xref.
bool eofSupported(CarveStream& s, std::uint64_t eof)
{
    const std::uint64_t from = eof > kStartXrefReach ? eof - kStartXrefReach : 0;
    std::optional<std::uint64_t> last;
    for (auto at = s.find(from, eof, kStartXref); at; at = s.find(*at + 1, eof, kStartXref))
        last = at;
    if (!last)
        return false;
    const auto offset = number(s, skipSpace(s, *last + kStartXref.size()));
    return offset && skipSpace(s, offset->second) == eof && xrefHolds(s, offset->first, *last);
}

// ---- ZIP: local headers with their data, the central directory, its end record.
constexpr std::string_view kCentralSig{"PK\x01\x02", 4};
constexpr std::string_view kEndSig{"PK\x05\x06", 4};
constexpr std::string_view kZip64EndSig{"PK\x06\x06", 4};
constexpr std::string_view kZip64LocatorSig{"PK\x06\x07", 4};
constexpr std::string_view kDescriptorSig{"PK\x07\x08", 4};
constexpr std::uint64_t kLocalFlags = 6;
constexpr std::uint64_t kLocalCompressedSize = 18;
constexpr std::uint64_t kLocalNameLength = 26;
constexpr std::uint64_t kLocalExtraLength = 28;
constexpr std::uint64_t kLocalHeaderBytes = 30;
constexpr std::uint16_t kFlagDataDescriptor = 0x0008;
constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::uint64_t kCentralNameLength = 28;
constexpr std::uint64_t kCentralExtraLength = 30;
constexpr std::uint64_t kCentralCommentLength = 32;
constexpr std::uint64_t kCentralHeaderBytes = 46;
constexpr std::uint64_t kEndEntries = 10;
constexpr std::uint64_t kEndDirectoryOffset = 16;
constexpr std::uint64_t kEndCommentLength = 20;
constexpr std::uint64_t kEndBytes = 22;
constexpr std::uint64_t kZip64EndSize = 4;
constexpr std::uint64_t kZip64LocatorBytes = 20;

class ZipWalk {
public:
    explicit ZipWalk(CarveStream& s) : m_s(s) {}
    WalkResult run();

private:
    /// The offset after the data of the entry whose data starts at `data`.
    std::optional<std::uint64_t> dataEnd(std::uint64_t header, std::uint64_t data);
    /// The end of data written before its sizes were known: the data descriptor's.
    std::optional<std::uint64_t> descriptorEnd(std::uint64_t data);
    void noteName(std::uint64_t at, std::uint64_t length);

    CarveStream& m_s;
    std::string m_extension = "zip";
    bool m_contentTypes = false;
    std::string m_office;
};

void ZipWalk::noteName(std::uint64_t at, std::uint64_t length)
{
    const auto name = m_s.bytes(at, static_cast<std::size_t>(std::min<std::uint64_t>(length, 64)));
    if (!name)
        return;
    if (length == 19 && name->equals(0, "[Content_Types].xml"))
        m_contentTypes = true;
    else if (m_office.empty() && name->equals(0, "word/"))
        m_office = "docx";
    else if (m_office.empty() && name->equals(0, "xl/"))
        m_office = "xlsx";
    else if (m_office.empty() && name->equals(0, "ppt/"))
        m_office = "pptx";
    else if (m_office.empty() && length == 20 && name->equals(0, "META-INF/MANIFEST.MF"))
        m_office = "jar";
}

std::optional<std::uint64_t> ZipWalk::descriptorEnd(std::uint64_t data)
{
    for (auto pk = m_s.find(data, m_s.limit(), "PK"); pk; pk = m_s.find(*pk + 1, m_s.limit(), "PK")) {
        const std::uint64_t length = *pk - data;
        if (m_s.matches(*pk, kDescriptorSig)) {
            if (m_s.le(*pk + 8, 4) == length)
                return *pk + 16;
            if (m_s.le(*pk + 8, 8) == length)
                return *pk + 24;
        }
        // A descriptor without its signature: CRC, sizes, then the next header.
        if ((m_s.matches(*pk, kZipLocalHeader) || m_s.matches(*pk, kCentralSig)) && length >= 12 &&
            m_s.le(*pk - 8, 4) == length - 12)
            return *pk;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> ZipWalk::dataEnd(std::uint64_t header, std::uint64_t data)
{
    const auto flags = m_s.le(header + kLocalFlags, 2);
    const auto size32 = m_s.le(header + kLocalCompressedSize, 4);
    if (!flags || !size32)
        return std::nullopt;
    std::uint64_t compressed = *size32;
    if (compressed == 0xFFFFFFFF) {
        // Zip64: the sizes are in the extra field (uncompressed, then compressed).
        const std::uint64_t nameLength = m_s.le(header + kLocalNameLength, 2).value_or(0);
        const std::uint64_t extraLength = m_s.le(header + kLocalExtraLength, 2).value_or(0);
        std::uint64_t at = header + kLocalHeaderBytes + nameLength;
        const std::uint64_t end = at + extraLength;
        bool found = false;
        while (at + 4 <= end) {
            const auto id = m_s.le(at, 2);
            const auto n = m_s.le(at + 2, 2);
            if (!id || !n)
                return std::nullopt;
            if (*id == kZip64ExtraId && *n >= 16) {
                const auto large = m_s.le(at + 12, 8);
                if (!large)
                    return std::nullopt;
                compressed = *large;
                found = true;
            }
            at += 4 + *n;
        }
        if (!found)
            return std::nullopt;
    }
    if ((*flags & kFlagDataDescriptor) != 0 && compressed == 0)
        return descriptorEnd(data);
    std::uint64_t end = data + compressed;
    if ((*flags & kFlagDataDescriptor) != 0) {
        // The descriptor follows the data, with or without its signature.
        end += m_s.matches(end, kDescriptorSig) ? 16u : 12u;
    }
    return end;
}

WalkResult ZipWalk::run()
{
    std::uint64_t pos = 0;
    std::uint64_t locals = 0;
    while (m_s.matches(pos, kZipLocalHeader)) {
        const auto nameLength = m_s.le(pos + kLocalNameLength, 2);
        const auto extraLength = m_s.le(pos + kLocalExtraLength, 2);
        if (!nameLength || !extraLength)
            return walk::broken(locals != 0, pos, m_extension);
        noteName(pos + kLocalHeaderBytes, *nameLength);
        const auto end = dataEnd(pos, pos + kLocalHeaderBytes + *nameLength + *extraLength);
        if (!end || *end > m_s.limit())
            return walk::broken(locals != 0, pos, m_extension);
        ++locals;
        pos = *end;
    }
    const std::uint64_t directory = pos;
    std::uint64_t centrals = 0;
    while (m_s.matches(pos, kCentralSig)) {
        const auto a = m_s.le(pos + kCentralNameLength, 2);
        const auto b = m_s.le(pos + kCentralExtraLength, 2);
        const auto c = m_s.le(pos + kCentralCommentLength, 2);
        if (!a || !b || !c)
            return walk::broken(true, directory, m_extension);
        pos += kCentralHeaderBytes + *a + *b + *c;
        ++centrals;
    }
    bool zip64 = false;
    if (m_s.matches(pos, kZip64EndSig)) {
        const auto size = m_s.le(pos + kZip64EndSize, 8);
        if (!size)
            return walk::broken(true, directory, m_extension);
        pos += 12 + *size;
        zip64 = true;
    }
    if (m_s.matches(pos, kZip64LocatorSig))
        pos += kZip64LocatorBytes;
    if (locals == 0 || !m_s.matches(pos, kEndSig))
        return walk::broken(locals != 0, directory, m_extension);
    const auto entries = m_s.le(pos + kEndEntries, 2);
    const auto offset = m_s.le(pos + kEndDirectoryOffset, 4);
    const auto comment = m_s.le(pos + kEndCommentLength, 2);
    if (!entries || !offset || !comment)
        return walk::broken(true, directory, m_extension);
    const std::uint64_t end = pos + kEndBytes + *comment;
    if (end > m_s.limit())
        return walk::broken(true, directory, m_extension);
    if (m_contentTypes && !m_office.empty())
        m_extension = m_office;
    else if (m_office == "jar")
        m_extension = "jar";
    // The directory lists every local header and says where it starts.
    if (!zip64 && (centrals != locals || *entries != centrals || *offset != directory))
        return walk::broken(true, end, m_extension);
    return walk::whole(end, m_extension);
}

// ---- MP4/MOV: boxes of a big-endian size (1: a 64-bit size follows the type)
// and a four-letter type, one after another at the top level.
constexpr std::uint64_t kBoxHeaderBytes = 8;
constexpr std::uint64_t kBoxLargeSizeBytes = 16;
constexpr std::uint64_t kFtypTypeOffset = 4;
constexpr std::uint64_t kFtypMajorBrand = 8;
constexpr std::array<std::string_view, 16> kTopLevelBoxes{"ftyp", "moov", "mdat", "free", "skip", "wide",
                                                          "uuid", "meta", "pdin", "moof", "mfra", "styp",
                                                          "sidx", "ssix", "prft", "pnot"};

bool topLevelBox(const disk::ByteReader& type)
{
    for (const auto name : kTopLevelBoxes)
        if (type.equals(0, name))
            return true;
    return false;
}

/// The extension the "ftyp" box's major brand (or, for HEIF, a compatible brand) names.
std::string mp4Extension(CarveStream& s)
{
    if (!s.matches(kFtypTypeOffset, "ftyp"))
        return "mov"; // older QuickTime files start with their movie or media box
    const auto brand = [&s](std::string_view name) { return s.matches(kFtypMajorBrand, name); };
    if (brand("qt  "))
        return "mov";
    if (brand("M4A ") || brand("M4B "))
        return "m4a";
    if (brand("3gp") || brand("3g2"))
        return "3gp";
    if (brand("crx "))
        return "cr3";
    if (brand("avif") || brand("avis"))
        return "avif";
    for (const std::string_view heif : {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1"})
        if (brand(heif))
            return "heic";
    return "mp4";
}

// ---- SQLite: a 100-byte header on page 1.
constexpr std::string_view kSqliteMagic{"SQLite format 3\0", 16};
constexpr std::uint64_t kSqlitePageSize = 16;         // BE u16; 1 means 65,536
constexpr std::uint64_t kSqliteWriteVersion = 18;     // 1 (journal) or 2 (WAL), and the read version after it
constexpr std::uint64_t kSqlitePayloadFractions = 21; // 64, 32, 32
constexpr std::uint64_t kSqliteChangeCounter = 24;
constexpr std::uint64_t kSqlitePageCount = 28;
constexpr std::uint64_t kSqliteValidFor = 92; // the change counter at which the page count was written
constexpr std::uint64_t kSqliteFirstPageType = 100;

} // namespace

WalkResult walkPdf(CarveStream& s)
{
    if (!s.matches(0, "%PDF-"))
        return {};
    const std::uint64_t limit = std::min(s.limit(), kMaxPdfBytes);
    std::optional<std::uint64_t> end;
    std::uint64_t pos = 5;
    std::uint64_t firstEof = limit;
    for (;;) {
        const auto eof = s.find(pos, limit, kPdfEof);
        if (!eof)
            break;
        firstEof = std::min(firstEof, *eof);
        pos = *eof + kPdfEof.size();
        if (!eofSupported(s, *eof))
            continue;
        std::uint64_t after = pos;
        if (s.u8(after) == '\r')
            ++after;
        if (s.u8(after) == '\n')
            ++after;
        end = after;
        // An incremental update follows with its first object; anything else ends the file.
        if (!objectAt(s, skipSpace(s, after), std::nullopt))
            break;
    }
    if (end)
        return walk::whole(*end, "pdf");
    // No trailer holds: the objects up to the last whole one before the first
    // "%%EOF" (or the end of the bytes) are what is there.
    std::optional<std::uint64_t> lastObject;
    for (auto at = s.find(5, firstEof, "endobj"); at; at = s.find(*at + 1, firstEof, "endobj"))
        lastObject = *at + 6;
    return walk::broken(lastObject.has_value(), lastObject.value_or(0), "pdf");
}

WalkResult walkZip(CarveStream& s)
{
    return ZipWalk(s).run();
}

namespace {

WalkResult isoBoxes(CarveStream& s, std::int64_t& time)
{
    // "ftyp" first; older QuickTime files start with "moov" or "wide" (typeAt).
    if (!s.matches(kFtypTypeOffset, "ftyp") && !s.matches(kFtypTypeOffset, "moov") &&
        !s.matches(kFtypTypeOffset, "wide"))
        return {};
    const std::string extension = mp4Extension(s);
    std::uint64_t pos = 0;
    // A movie ("moov") or, in HEIF pictures, an item list ("meta"), and media data.
    bool index = false, media = false;
    for (;;) {
        const auto header = s.bytes(pos, kBoxHeaderBytes);
        if (!header)
            break; // the bytes end at a box boundary (or cannot be read)
        // A copy: a large box's size below is read through the stream, which may
        // move the window `header` looks into.
        std::array<std::byte, 4> typeBytes{};
        std::copy_n(header->bytes().begin() + 4, 4, typeBytes.begin());
        const disk::ByteReader type(typeBytes);
        // A second "ftyp" starts the next file.
        if (!topLevelBox(type) || (pos != 0 && type.equals(0, "ftyp")))
            break;
        std::uint64_t size = s.be(pos, 4).value_or(0);
        if (size == 1) {
            const auto large = s.be(pos + kBoxHeaderBytes, 8);
            if (!large || *large < kBoxLargeSizeBytes)
                return walk::broken(pos != 0, pos, extension);
            size = *large;
        } else if (size == 0 || size < kBoxHeaderBytes) {
            // Size 0 runs "to the end of the file": a length carving cannot know.
            return walk::broken(pos != 0, pos, extension);
        }
        if (size > s.limit() - pos)
            return walk::broken(true, s.limit(), extension);
        if (type.equals(0, "moov") && time == 0)
            time = movieHeaderTime(s, pos, size);
        index = index || type.equals(0, "moov") || type.equals(0, "meta");
        media = media || type.equals(0, "mdat");
        pos += size;
    }
    if (pos == 0)
        return {};
    if (s.failed() || !index || !media)
        return walk::broken(true, pos, extension);
    return walk::whole(pos, extension);
}

} // namespace

WalkResult walkMp4(CarveStream& s)
{
    std::int64_t time = 0;
    WalkResult result = isoBoxes(s, time);
    result.time = result.status == WalkStatus::NotThisType ? 0 : time;
    return result;
}

WalkResult walkSqlite(CarveStream& s)
{
    const auto header = s.bytes(0, 100);
    if (!header || !header->equals(0, kSqliteMagic))
        return {};
    // Every field of the header is taken before the stream is read again.
    const auto write = header->u8or0(kSqliteWriteVersion);
    const auto read = header->u8or0(kSqliteWriteVersion + 1);
    const bool fractions = header->u8or0(kSqlitePayloadFractions) == 64 &&
                           header->u8or0(kSqlitePayloadFractions + 1) == 32 &&
                           header->u8or0(kSqlitePayloadFractions + 2) == 32;
    const auto pageField = s.be(kSqlitePageSize, 2).value_or(0);
    const std::uint64_t pageSize = pageField == 1 ? 65536 : pageField;
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0 || write < 1 || write > 2 || read < 1 || read > 2 ||
        !fractions)
        return {};
    const auto pageType = s.u8(kSqliteFirstPageType);
    if (pageType != 0x0D && pageType != 0x05)
        return {};
    const auto counter = s.be(kSqliteChangeCounter, 4);
    const auto validFor = s.be(kSqliteValidFor, 4);
    const auto pages = s.be(kSqlitePageCount, 4).value_or(0);
    if (!counter || counter != validFor || pages == 0) {
        // The header's page count is stale: the length is not known.
        return walk::broken(true, std::min(pageSize, s.limit()), "sqlite");
    }
    const std::uint64_t length = pages * pageSize;
    if (length > s.limit() || !s.bytes(length - 1, 1))
        return walk::broken(true, std::min(length, s.limit()), "sqlite");
    return walk::whole(length, "sqlite");
}

} // namespace sarvik::carve
