// SPDX-License-Identifier: GPL-3.0-or-later
// Walkers of BMP and Photoshop pictures, compound files (the older Office
// documents), and RAR and 7z archives: each ends where its own structure says.

#include "carve/FileFormats.h"
#include "carve/WalkResults.h"

#include <algorithm>
#include <array>
#include <vector>

namespace sarvik::carve {

namespace {

std::uint64_t be(const disk::ByteReader& r, std::uint64_t at, unsigned width)
{
    std::uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i)
        value = (value << 8) | r.u8or0(at + i);
    return value;
}

// ---- BMP: a 14-byte file header (its size at 2, the pixels' offset at 10),
// then a DIB header whose first field is its own size.
constexpr std::uint64_t kBmpFileHeaderBytes = 14;
constexpr std::uint32_t kBmpCoreHeaderBytes = 12;
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;

// ---- PSD: a 26-byte header, then three sections each after its length (colour
// mode data, image resources, layers and masks: 8 bytes long in a PSB), then
// the merged image: raw, or run-length coded after a table of each row's length.
constexpr std::uint64_t kPsdHeaderBytes = 26;
constexpr std::uint64_t kPsdMaxRows = std::uint64_t{56} * 300000;

// ---- Compound files: a 512-byte header, then sectors of 512 or 4096 bytes
// chained by a sector allocation table (FAT) whose own sectors the header lists
// (109 of them; more in a chain of DIFAT sectors).
constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr std::uint64_t kOleHeaderDifat = 0x4C;
constexpr std::uint64_t kOleHeaderDifatEntries = 109;
constexpr std::uint64_t kOleDirEntryBytes = 128;
constexpr std::uint64_t kOleMaxDirSectors = 256;

// ---- RAR.
constexpr std::string_view kRar4{"Rar!\x1A\x07\x00", 7};
constexpr std::string_view kRar5{"Rar!\x1A\x07\x01\x00", 8};
constexpr std::uint8_t kRar4File = 0x74;
constexpr std::uint8_t kRar4End = 0x7B;
constexpr std::uint16_t kRar4LongBlock = 0x8000;
constexpr std::uint16_t kRar4LargeFile = 0x0100;
constexpr std::uint64_t kRar5End = 5;

// ---- 7z: a 32-byte start header whose CRC covers the 20 bytes naming the next
// header's offset (from the start header's end), size and CRC.
constexpr std::uint64_t kSevenZipStartBytes = 32;

/// The CRC-32 of [from, from + length) of the candidate, read in pieces.
std::optional<std::uint32_t> crcOf(CarveStream& s, std::uint64_t from, std::uint64_t length)
{
    std::uint32_t crc = 0;
    while (length != 0) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(CarveStream::kMaxSpan, length));
        const auto piece = s.bytes(from, n);
        if (!piece)
            return std::nullopt;
        crc = crc32(piece->bytes(), crc);
        from += n;
        length -= n;
    }
    return crc;
}

class OleWalk {
public:
    explicit OleWalk(CarveStream& s) : m_s(s) {}
    WalkResult run();

private:
    /// The sector numbers of the allocation table's own sectors.
    bool tableSectors(const disk::ByteReader& header, std::vector<std::uint32_t>& out);
    std::uint64_t sectorAt(std::uint64_t sector) const { return (sector + 1) << m_shift; }
    std::string extensionByNames(std::uint32_t firstDirSector);

    CarveStream& m_s;
    unsigned m_shift = 9;
    std::vector<std::uint32_t> m_fat;
};

bool OleWalk::tableSectors(const disk::ByteReader& header, std::vector<std::uint32_t>& out)
{
    const std::uint64_t count = header.u32or0(0x2C);
    const std::uint64_t perSector = (std::uint64_t{1} << m_shift) / 4;
    // More table sectors than the candidate's bytes could hold are not this file's.
    if (count == 0 || count > m_s.limit() / (std::uint64_t{1} << m_shift) + 1)
        return false;
    for (std::uint64_t i = 0; i < kOleHeaderDifatEntries && out.size() < count; ++i)
        out.push_back(header.u32or0(kOleHeaderDifat + 4 * i));
    std::uint64_t difat = header.u32or0(0x44);
    for (std::uint64_t chain = 0; out.size() < count; ++chain) {
        if (difat > kMaxRegularSector || chain > count)
            return false;
        const auto sector = m_s.bytes(sectorAt(difat), static_cast<std::size_t>(std::uint64_t{1} << m_shift));
        if (!sector)
            return false;
        for (std::uint64_t i = 0; i + 1 < perSector && out.size() < count; ++i)
            out.push_back(sector->u32or0(4 * i));
        difat = sector->u32or0(4 * (perSector - 1));
    }
    return std::all_of(out.begin(), out.end(), [](std::uint32_t s) { return s <= kMaxRegularSector; });
}

std::string OleWalk::extensionByNames(std::uint32_t firstDirSector)
{
    const std::uint64_t sectorBytes = std::uint64_t{1} << m_shift;
    std::uint32_t sector = firstDirSector;
    for (std::uint64_t n = 0; n < kOleMaxDirSectors && sector <= kMaxRegularSector && sector < m_fat.size(); ++n) {
        for (std::uint64_t e = 0; e < sectorBytes / kOleDirEntryBytes; ++e) {
            const auto entry = m_s.bytes(sectorAt(sector) + e * kOleDirEntryBytes, kOleDirEntryBytes);
            if (!entry)
                return "ole";
            // The name: UTF-16LE, its length in bytes (with the final zero) at 0x40.
            const std::size_t length = std::min<std::size_t>(entry->u16or0(0x40), 64);
            std::string name;
            for (std::size_t i = 0; i + 3 < length; i += 2)
                name.push_back(entry->u8or0(i + 1) == 0 ? static_cast<char>(entry->u8or0(i)) : '?');
            if (name == "WordDocument")
                return "doc";
            if (name == "Workbook" || name == "Book")
                return "xls";
            if (name == "PowerPoint Document")
                return "ppt";
        }
        sector = m_fat[sector];
    }
    return "ole";
}

WalkResult OleWalk::run()
{
    const auto header = m_s.bytes(0, 512);
    if (!header || !header->equals(0, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") || header->u16or0(0x1C) != 0xFFFE)
        return {};
    m_shift = header->u16or0(0x1E);
    if ((m_shift != 9 && m_shift != 12) || header->u16or0(0x20) != 6)
        return {};
    const std::uint32_t firstDir = header->u32or0(0x30);
    std::vector<std::uint32_t> tables;
    if (!tableSectors(*header, tables))
        return walk::broken(true, 512, "ole");
    // The file ends after the last sector the table does not mark free.
    const std::uint64_t perSector = (std::uint64_t{1} << m_shift) / 4;
    std::uint64_t last = 0;
    bool any = false;
    for (std::size_t t = 0; t < tables.size(); ++t) {
        const auto sector = m_s.bytes(sectorAt(tables[t]), static_cast<std::size_t>(perSector * 4));
        if (!sector)
            return walk::broken(true, std::min(sectorAt(tables[t]), m_s.limit()), "ole");
        for (std::uint64_t i = 0; i < perSector; ++i) {
            const std::uint32_t next = sector->u32or0(4 * i);
            m_fat.push_back(next);
            if (next == kFreeSector)
                continue;
            // A chain's link names a sector the table has, or ends it.
            if (next <= kMaxRegularSector && next >= tables.size() * perSector)
                return walk::broken(true, sectorAt(tables[t]), "ole");
            last = t * perSector + i;
            any = true;
        }
    }
    if (!any || firstDir > last)
        return walk::broken(true, 512, "ole");
    const std::string extension = extensionByNames(firstDir);
    return walk::whole(sectorAt(last + 1), extension);
}

std::optional<std::pair<std::uint64_t, unsigned>> rar5Vint(CarveStream& s, std::uint64_t at)
{
    std::uint64_t value = 0;
    for (unsigned i = 0; i < 10; ++i) {
        const auto b = s.u8(at + i);
        if (!b)
            return std::nullopt;
        value |= std::uint64_t{*b & 0x7Fu} << (7 * i);
        if ((*b & 0x80) == 0)
            return std::pair{value, i + 1};
    }
    return std::nullopt;
}

WalkResult walkRar4(CarveStream& s)
{
    std::uint64_t pos = kRar4.size();
    bool files = false;
    for (;;) {
        const auto block = s.bytes(pos, 7);
        if (!block)
            return walk::broken(true, pos, "rar");
        const std::uint8_t type = block->u8or0(2);
        const std::uint16_t flags = block->u16or0(3);
        const std::uint16_t size = block->u16or0(5);
        if (type < 0x72 || type > kRar4End || size < 7)
            // Archives of old versions end without an end block.
            return files && pos < s.limit() ? walk::whole(pos, "rar") : walk::broken(pos > kRar4.size(), pos, "rar");
        // The header's CRC: the low 16 bits of the CRC-32 of its bytes after the CRC field.
        const auto crc = crcOf(s, pos + 2, size - 2u);
        if (!crc || (*crc & 0xFFFF) != s.le(pos, 2))
            return walk::broken(pos > kRar4.size(), pos, "rar");
        std::uint64_t data = 0;
        if (type == kRar4File || (flags & kRar4LongBlock) != 0)
            data = s.le(pos + 7, 4).value_or(0);
        if (type == kRar4File && (flags & kRar4LargeFile) != 0)
            data |= s.le(pos + 32, 4).value_or(0) << 32;
        files = files || type == kRar4File;
        pos += size + data;
        if (type == kRar4End)
            return walk::whole(pos, "rar");
    }
}

WalkResult walkRar5(CarveStream& s)
{
    std::uint64_t pos = kRar5.size();
    for (bool first = true;; first = false) {
        const auto crc = s.le(pos, 4);
        const auto headerSize = rar5Vint(s, pos + 4);
        if (!crc || !headerSize || headerSize->first == 0 || headerSize->first > (std::uint64_t{2} << 20))
            return walk::broken(!first, pos, "rar");
        const std::uint64_t header = pos + 4 + headerSize->second;
        const auto computed = crcOf(s, pos + 4, headerSize->second + headerSize->first);
        if (!computed || *computed != *crc)
            return walk::broken(!first, pos, "rar");
        const auto type = rar5Vint(s, header);
        const auto flags = type ? rar5Vint(s, header + type->second) : std::nullopt;
        if (!type || !flags)
            return walk::broken(!first, pos, "rar");
        std::uint64_t at = header + type->second + flags->second;
        std::uint64_t data = 0;
        if ((flags->first & 1) != 0) { // an extra area: its size first
            const auto extra = rar5Vint(s, at);
            if (!extra)
                return walk::broken(true, pos, "rar");
            at += extra->second;
        }
        if ((flags->first & 2) != 0) { // a data area after the header
            const auto size = rar5Vint(s, at);
            if (!size)
                return walk::broken(true, pos, "rar");
            data = size->first;
        }
        pos = header + headerSize->first + data;
        if (type->first == kRar5End)
            return walk::whole(pos, "rar");
    }
}

} // namespace

WalkResult walkBmp(CarveStream& s)
{
    const auto h = s.bytes(0, kBmpFileHeaderBytes + 40);
    const auto core = h ? h : s.bytes(0, kBmpFileHeaderBytes + kBmpCoreHeaderBytes);
    if (!core || !core->equals(0, "BM"))
        return {};
    const std::uint64_t size = core->u32or0(2);
    const std::uint64_t pixels = core->u32or0(10);
    const std::uint32_t dib = core->u32or0(14);
    std::uint64_t width = 0, height = 0, planes = 0, depth = 0, compression = kBiRgb;
    if (dib == kBmpCoreHeaderBytes) {
        width = core->u16or0(18);
        height = core->u16or0(20);
        planes = core->u16or0(22);
        depth = core->u16or0(24);
    } else if (h && dib >= 40) {
        width = h->u32or0(18);
        const auto signedHeight = static_cast<std::int32_t>(h->u32or0(22));
        height = static_cast<std::uint64_t>(signedHeight < 0 ? -std::int64_t{signedHeight} : signedHeight);
        planes = h->u16or0(26);
        depth = h->u16or0(28);
        compression = h->u32or0(30);
    } else {
        return {};
    }
    const bool knownDepth = depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
    if (width == 0 || width > 0x7FFFFFFF || height == 0 || planes != 1 || !knownDepth || pixels > size ||
        pixels < kBmpFileHeaderBytes + dib)
        return {};
    // Uncompressed pixels must fit: rows padded to 4 bytes.
    if (compression == kBiRgb || compression == kBiBitfields) {
        const std::uint64_t row = (width * depth + 31) / 32 * 4;
        if (height > (std::uint64_t{1} << 32) / std::max<std::uint64_t>(row, 1) || size < pixels + row * height)
            return {};
    }
    return walk::whole(size, "bmp");
}

WalkResult walkPsd(CarveStream& s)
{
    const auto h = s.bytes(0, kPsdHeaderBytes);
    if (!h || !h->equals(0, "8BPS"))
        return {};
    const std::uint64_t version = be(*h, 4, 2);
    const std::uint64_t channels = be(*h, 12, 2);
    const std::uint64_t height = be(*h, 14, 4);
    const std::uint64_t width = be(*h, 18, 4);
    const std::uint64_t depth = be(*h, 22, 2);
    if ((version != 1 && version != 2) || channels == 0 || channels > 56 || height == 0 || width == 0 ||
        (depth != 1 && depth != 8 && depth != 16 && depth != 32))
        return {};
    const bool big = version == 2;
    std::uint64_t pos = kPsdHeaderBytes;
    for (int section = 0; section < 3; ++section) {
        const unsigned width32 = section == 2 && big ? 8 : 4;
        const auto length = s.be(pos, width32);
        if (!length)
            return walk::broken(true, pos, "psd");
        // Image resources are blocks that each start "8BIM".
        if (section == 1 && *length != 0 && !s.matches(pos + 4, "8BIM"))
            return {};
        pos += width32 + *length;
    }
    const auto compression = s.be(pos, 2);
    if (!compression)
        return walk::broken(true, pos, "psd");
    const std::uint64_t rows = channels * height;
    const std::uint64_t rowBytes = (width * depth + 7) / 8;
    pos += 2;
    if (*compression == 0)
        return walk::whole(pos + rows * rowBytes, big ? "psb" : "psd");
    if (*compression != 1 || rows > kPsdMaxRows)
        return walk::broken(true, pos, big ? "psb" : "psd"); // zip-coded data does not say its length
    // Run-length coded: the table of each row's coded length, then the rows.
    const unsigned countBytes = big ? 4 : 2;
    std::uint64_t data = 0;
    for (std::uint64_t row = 0; row < rows;) {
        const auto n = std::min<std::uint64_t>(rows - row, CarveStream::kMaxSpan / countBytes);
        const auto counts = s.bytes(pos + row * countBytes, static_cast<std::size_t>(n * countBytes));
        if (!counts)
            return walk::broken(true, pos, big ? "psb" : "psd");
        for (std::uint64_t i = 0; i < n; ++i)
            data += be(*counts, i * countBytes, countBytes);
        row += n;
    }
    return walk::whole(pos + rows * countBytes + data, big ? "psb" : "psd");
}

WalkResult walkOle(CarveStream& s)
{
    return OleWalk(s).run();
}

WalkResult walkRar(CarveStream& s)
{
    if (s.matches(0, kRar5))
        return walkRar5(s);
    if (s.matches(0, kRar4))
        return walkRar4(s);
    return {};
}

WalkResult walkSevenZip(CarveStream& s)
{
    const auto h = s.bytes(0, kSevenZipStartBytes);
    if (!h || !h->equals(0, "7z\xBC\xAF\x27\x1C") || h->u8or0(6) != 0)
        return {};
    const std::uint32_t startCrc = h->u32or0(8);
    const std::uint64_t nextOffset = h->u64or0(12);
    const std::uint64_t nextSize = h->u64or0(20);
    const std::uint32_t nextCrc = h->u32or0(28);
    if (crc32(h->bytes().subspan(12, 20)) != startCrc)
        return {};
    if (nextOffset > (std::uint64_t{1} << 48) || nextSize == 0 || nextSize > (std::uint64_t{1} << 32))
        return walk::broken(true, kSevenZipStartBytes, "7z");
    const std::uint64_t next = kSevenZipStartBytes + nextOffset;
    const std::uint64_t end = next + nextSize;
    if (end > s.limit())
        return walk::broken(true, s.limit(), "7z");
    // The next header, at the archive's end, is there and whole.
    const auto crc = crcOf(s, next, nextSize);
    if (!crc || *crc != nextCrc)
        return walk::broken(true, next, "7z");
    return walk::whole(end, "7z");
}

} // namespace sarvik::carve
