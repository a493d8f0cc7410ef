// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/NameText.h"

#include "catalogue/NameDecode.h"

#include <array>
#include <cstdint>

namespace sarvik::catalogue {

namespace {

// Code points of bytes 0x80..0x9F in Windows-1252.
constexpr std::array<std::uint16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// One UTF-8 sequence at the front of `text`: its code point and length, or
// length 0 when the bytes there are not a well-formed sequence.
struct Decoded {
    char32_t cp = 0;
    std::size_t length = 0;
};

Decoded decodeOne(std::string_view text)
{
    const auto lead = static_cast<std::uint8_t>(text[0]);
    if (lead < 0x80)
        return {lead, 1};
    std::size_t length = 0;
    char32_t cp = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, cp = lead & 0x1Fu;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, cp = lead & 0x0Fu;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, cp = lead & 0x07u;
    else
        return {};
    if (text.size() < length)
        return {};
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<std::uint8_t>(text[i]);
        if ((next & 0xC0u) != 0x80u)
            return {};
        cp = (cp << 6) | (next & 0x3Fu);
    }
    const bool overlong = (length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000);
    if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return {};
    return {cp, length};
}

} // namespace

std::string toUtf8(std::string_view cp1252)
{
    bool ascii = true;
    for (const char c : cp1252)
        ascii = ascii && static_cast<std::uint8_t>(c) < 0x80;
    if (ascii)
        return std::string(cp1252);
    std::string out;
    out.reserve(cp1252.size() + cp1252.size() / 4);
    for (const char c : cp1252) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte >= 0x80 && byte < 0xA0)
            appendUtf8(out, char32_t{kHigh[byte - 0x80u]});
        else
            appendUtf8(out, char32_t{byte});
    }
    return out;
}

std::string nameToUtf8(std::string_view name, bool namesAreUtf8)
{
    if (namesAreUtf8 && isValidUtf8(name))
        return std::string(name);
    return toUtf8(name);
}

std::string_view nameAsUtf8(std::string_view name, bool namesAreUtf8, std::string& scratch)
{
    if (namesAreUtf8 && isValidUtf8(name))
        return name;
    scratch = toUtf8(name);
    return scratch;
}

std::string fromUtf8(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    // A byte that is not well-formed UTF-8 comes back as U+DC80..U+DCFF, which
    // Windows-1252 cannot hold either.
    for (const char32_t cp : decodeUtf8(utf8)) {
        char byte = '_';
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            byte = static_cast<char>(cp);
        } else {
            for (std::size_t i = 0; i < kHigh.size(); ++i)
                if (kHigh[i] == cp)
                    byte = static_cast<char>(0x80 + i);
        }
        out.push_back(byte);
    }
    return out;
}

std::u32string decodeUtf8(std::string_view utf8)
{
    std::u32string out;
    out.reserve(utf8.size());
    while (!utf8.empty()) {
        const Decoded d = decodeOne(utf8);
        if (d.length == 0) {
            out.push_back(char32_t{0xDC00} + static_cast<unsigned char>(utf8.front()));
            utf8.remove_prefix(1);
        } else {
            out.push_back(d.cp);
            utf8.remove_prefix(d.length);
        }
    }
    return out;
}

std::string nameFromUtf8(std::string_view utf8, bool namesAreUtf8)
{
    return namesAreUtf8 ? std::string(utf8) : fromUtf8(utf8);
}

std::string upperCase8(std::string_view text)
{
    std::string out(text);
    for (char& ch : out) {
        if (ch >= 'a' && ch <= 'z') {
            ch = static_cast<char>(ch - ('a' - 'A'));
        }
    }
    return out;
}

} // namespace sarvik::catalogue
