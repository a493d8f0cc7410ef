// SPDX-License-Identifier: GPL-3.0-or-later
// The dates files keep of themselves: EXIF's DateTimeOriginal (a wall-clock
// time, as the camera's clock read) and the creation time in an ISO base
// media movie header (UTC, in seconds since 1904).

#include "carve/FileFormats.h"

#include <array>

namespace sarvik::carve {

namespace {

constexpr std::uint16_t kTagDateTime = 0x0132;
constexpr std::uint16_t kTagExifIfd = 0x8769;
constexpr std::uint16_t kTagDateTimeOriginal = 0x9003;
constexpr std::uint16_t kTypeAscii = 2;
constexpr std::size_t kExifDateBytes = 19; // "YYYY:MM:DD HH:MM:SS"
constexpr std::uint64_t kMaxIfdEntries = 512;
/// Seconds from 1904-01-01 (the movie header's epoch) to 1970-01-01.
constexpr std::uint64_t kSeconds1904To1970 = 2082844800;

/// Days from 1970-01-01 to the given day of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) noexcept
{
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

class TiffReader {
public:
    explicit TiffReader(disk::ByteSpan tiff) : m_r(tiff), m_big(m_r.equals(0, "MM")) {}
    [[nodiscard]] bool valid() const { return m_big || m_r.equals(0, "II"); }
    [[nodiscard]] std::uint64_t num(std::uint64_t at, unsigned width) const
    {
        if (!m_big)
            return m_r.uint(at, width).value_or(0);
        std::uint64_t v = 0;
        for (unsigned i = 0; i < width; ++i)
            v = (v << 8) | m_r.u8or0(at + i);
        return v;
    }
    /// The date of the ASCII entry `tag` of the IFD at `ifd`, or the offset of
    /// the sub-IFD it names (`pointer`); 0 when not there.
    [[nodiscard]] std::int64_t find(std::uint64_t ifd, std::uint16_t tag, bool pointer) const
    {
        const std::uint64_t count = num(ifd, 2);
        if (ifd == 0 || count == 0 || count > kMaxIfdEntries || !m_r.has(ifd + 2, count * 12))
            return 0;
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint64_t e = ifd + 2 + i * 12;
            if (num(e, 2) != tag)
                continue;
            if (pointer)
                return static_cast<std::int64_t>(num(e + 8, 4));
            if (num(e + 2, 2) != kTypeAscii || num(e + 4, 4) < kExifDateBytes)
                return 0;
            const auto text = m_r.sub(num(e + 8, 4), kExifDateBytes);
            if (!text)
                return 0;
            return exifDateTime(std::string_view(reinterpret_cast<const char*>(text->data()), text->size()));
        }
        return 0;
    }

private:
    disk::ByteReader m_r;
    bool m_big;
};

} // namespace

std::int64_t exifDateTime(std::string_view text) noexcept
{
    if (text.size() < kExifDateBytes)
        return 0;
    std::array<unsigned, 6> fields{};
    constexpr std::array<std::size_t, 6> kAt{0, 5, 8, 11, 14, 17};
    constexpr std::array<std::size_t, 6> kDigits{4, 2, 2, 2, 2, 2};
    for (std::size_t f = 0; f < fields.size(); ++f)
        for (std::size_t i = 0; i < kDigits[f]; ++i) {
            const char c = text[kAt[f] + i];
            if (c < '0' || c > '9')
                return 0;
            fields[f] = fields[f] * 10 + static_cast<unsigned>(c - '0');
        }
    const auto [year, month, day, hour, minute, second] = fields;
    if (year < 1971 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return 0;
    return daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

std::int64_t exifTime(disk::ByteSpan tiff) noexcept
{
    const TiffReader r(tiff);
    if (!r.valid())
        return 0;
    const std::uint64_t ifd0 = r.num(4, 4);
    const auto exif = static_cast<std::uint64_t>(r.find(ifd0, kTagExifIfd, true));
    if (const std::int64_t original = r.find(exif, kTagDateTimeOriginal, false); original != 0)
        return original;
    return r.find(ifd0, kTagDateTime, false);
}

std::int64_t jpegExifTime(CarveStream& s, std::uint64_t offset)
{
    // SOI, then the APP segments: the EXIF one among the first few.
    std::uint64_t pos = offset + 2;
    for (int segment = 0; segment < 8; ++segment) {
        const auto head = s.bytes(pos, 4);
        if (!head || head->u8or0(0) != 0xFF || head->u8or0(1) < 0xE0 || head->u8or0(1) > 0xEF)
            return 0;
        const std::uint64_t length = (std::uint64_t{head->u8or0(2)} << 8) | head->u8or0(3);
        if (length < 2)
            return 0;
        if (head->u8or0(1) == 0xE1) {
            const auto payload = s.bytes(pos + 4, static_cast<std::size_t>(length - 2));
            if (payload && payload->equals(0, {"Exif\0\0", 6}))
                return exifTime(payload->bytes().subspan(6));
        }
        pos += 2 + length;
    }
    return 0;
}

std::int64_t movieHeaderTime(CarveStream& s, std::uint64_t moov, std::uint64_t size)
{
    // "mvhd" is the movie box's first child, as writers put it.
    if (size < 28 || !s.matches(moov + 12, "mvhd"))
        return 0;
    const auto version = s.u8(moov + 16);
    const auto created = version == 1 ? s.be(moov + 20, 8) : s.be(moov + 20, 4);
    if (!created || *created <= kSeconds1904To1970)
        return 0;
    return static_cast<std::int64_t>(*created - kSeconds1904To1970);
}

} // namespace sarvik::carve
