// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/NameDecode.h"

#include <array>
#include <cstring>

namespace sarvik::catalogue {

namespace {

// Code points of bytes 0x80..0xFF in code page 850.
constexpr std::array<std::uint16_t, 128> kCp850High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C,
    0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580, 0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6,
    0x00A7, 0x00F7, 0x00B8, 0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
};

constexpr char32_t kReplacement = 0xFFFD;

} // namespace

namespace {

/// Writes code point `cp` as UTF-8 at `out` (room for four bytes; U+FFFD for a
/// surrogate or a value past U+10FFFF); the bytes written.
std::size_t writeUtf8(char* out, char32_t cp)
{
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        cp = kReplacement;
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

} // namespace

void appendUtf8(std::string& out, char32_t cp)
{
    char bytes[4];
    out.append(bytes, writeUtf8(bytes, cp));
}

namespace {

/// `count` UTF-16 units, unit i given by `unitAt(i)`, as UTF-8 (see utf16ToUtf8).
template <typename UnitAt> std::string decodeUtf16(std::size_t count, UnitAt unitAt)
{
    // Most names are ASCII: one pass finds where they end, one writes them.
    std::size_t ascii = 0;
    while (ascii < count) {
        const char16_t u = unitAt(ascii);
        if (u == 0 || u >= 0x80)
            break;
        ++ascii;
    }
    const auto high = [](char16_t u) { return u >= 0xD800 && u <= 0xDBFF; };
    const auto low = [](char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; };
    // The rest's length first, so that the text is allocated once and no
    // longer: a pair of surrogates is four bytes, anything else above U+07FF
    // three (U+FFFD for a surrogate without its partner).
    std::size_t length = ascii;
    std::size_t end = ascii;
    for (; end < count; ++end) {
        const char16_t u = unitAt(end);
        if (u == 0)
            break;
        if (high(u) && end + 1 < count && low(unitAt(end + 1))) {
            length += 4;
            ++end;
        } else {
            length += u < 0x80 ? 1 : u < 0x800 ? 2 : 3;
        }
    }
    std::string out(length, '\0');
    for (std::size_t i = 0; i < ascii; ++i)
        out[i] = static_cast<char>(unitAt(i));
    for (std::size_t i = ascii, at = ascii; i < end; ++i) {
        const char16_t u = unitAt(i);
        if (u < 0x80) {
            out[at++] = static_cast<char>(u);
        } else if (high(u) && i + 1 < end && low(unitAt(i + 1))) {
            at += writeUtf8(out.data() + at,
                            0x10000 + ((char32_t{u} - 0xD800) << 10) + (char32_t{unitAt(i + 1)} - 0xDC00));
            ++i;
        } else {
            at += writeUtf8(out.data() + at, u);
        }
    }
    return out;
}

} // namespace

std::string utf16ToUtf8(std::span<const char16_t> units)
{
    return decodeUtf16(units.size(), [&](std::size_t i) { return units[i]; });
}

std::string utf16LeToUtf8(std::span<const std::byte> bytes)
{
    const auto unitAt = [&](std::size_t i) {
        return static_cast<char16_t>(std::to_integer<unsigned>(bytes[2 * i]) |
                                     std::to_integer<unsigned>(bytes[2 * i + 1]) << 8);
    };
    // A name of up to 255 units (all an NTFS or FAT long name holds) is written
    // in one pass to room on the stack, then copied once: a unit takes at most
    // three bytes, a pair of surrogates four.
    constexpr std::size_t kShortUnits = 255;
    const std::size_t count = bytes.size() / 2;
    if (count > kShortUnits)
        return decodeUtf16(count, unitAt);
    std::array<char, kShortUnits * 3> out; // NOLINT: written before it is read
    std::size_t at = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char16_t u = unitAt(i);
        if (u < 0x80) {
            if (u == 0)
                break;
            out[at++] = static_cast<char>(u);
        } else if (u < 0x800) { // most letters with accents, Greek, Cyrillic, Hebrew, Arabic
            out[at++] = static_cast<char>(0xC0 | (u >> 6));
            out[at++] = static_cast<char>(0x80 | (u & 0x3F));
        } else if (u < 0xD800 || u > 0xDFFF) { // the rest of the first plane but surrogates
            out[at++] = static_cast<char>(0xE0 | (u >> 12));
            out[at++] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out[at++] = static_cast<char>(0x80 | (u & 0x3F));
        } else if (u <= 0xDBFF && i + 1 < count && unitAt(i + 1) >= 0xDC00 && unitAt(i + 1) <= 0xDFFF) {
            at += writeUtf8(out.data() + at,
                            0x10000 + ((char32_t{u} - 0xD800) << 10) + (char32_t{unitAt(i + 1)} - 0xDC00));
            ++i;
        } else {
            at += writeUtf8(out.data() + at, u);
        }
    }
    return std::string(out.data(), at);
}

std::string cp850ToUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<std::uint8_t>(c);
        appendUtf8(out, byte < 0x80 ? char32_t{byte} : char32_t{kCp850High[byte - 0x80u]});
    }
    return out;
}

bool isValidUtf8(std::string_view text) noexcept
{
    std::size_t i = 0;
    while (i < text.size()) {
        // Eight ASCII bytes at a time: most names are ASCII, or mostly so.
        if (i + 8 <= text.size()) {
            std::uint64_t word = 0;
            std::memcpy(&word, text.data() + i, 8);
            if ((word & 0x8080808080808080) == 0) {
                i += 8;
                continue;
            }
        }
        const auto b = static_cast<std::uint8_t>(text[i]);
        unsigned extra = 0;
        char32_t cp = 0;
        if (b < 0x80) {
            ++i;
            continue;
        }
        if (b >= 0xC2 && b <= 0xDF) {
            extra = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size())
            return false;
        for (unsigned k = 1; k <= extra; ++k) {
            const auto c = static_cast<std::uint8_t>(text[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        const char32_t minimum = extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

std::string pathSafeName(std::string_view utf8)
{
    if (utf8.empty())
        return "_";
    std::string name(utf8);
    for (char& c : name)
        if (c == '/' || c == '\\')
            c = '_';
    return name;
}

} // namespace sarvik::catalogue
