// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/PreviewText.h"

#include "catalogue/NameDecode.h"
#include "catalogue/NameText.h"

#include <cstdio>

namespace sarvik::win32 {

namespace {

bool validUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80         ? 1
                                   : (lead >> 5) == 6  ? 2
                                   : (lead >> 4) == 14 ? 3
                                   : (lead >> 3) == 30 ? 4
                                                       : 0;
        if (length == 0)
            return false;
        // A sequence cut by the end of what was read still counts as text.
        for (std::size_t k = 1; k < length && i + k < text.size(); ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        i += length;
    }
    return true;
}

/// UTF-16 with a byte-order mark, as UTF-8; nothing without the mark.
std::optional<std::string> fromUtf16(std::span<const std::byte> bytes)
{
    if (bytes.size() < 2)
        return std::nullopt;
    const auto b0 = static_cast<unsigned char>(bytes[0]), b1 = static_cast<unsigned char>(bytes[1]);
    const bool little = b0 == 0xFF && b1 == 0xFE, big = b0 == 0xFE && b1 == 0xFF;
    if (!little && !big)
        return std::nullopt;
    std::string out;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const auto lo = static_cast<unsigned char>(bytes[little ? i : i + 1]);
        const auto hi = static_cast<unsigned char>(bytes[little ? i + 1 : i]);
        char32_t c = static_cast<char32_t>(hi << 8 | lo);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size()) {
            const auto lo2 = static_cast<unsigned char>(bytes[little ? i + 2 : i + 3]);
            const auto hi2 = static_cast<unsigned char>(bytes[little ? i + 3 : i + 2]);
            const auto low = static_cast<char32_t>(hi2 << 8 | lo2);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        catalogue::appendUtf8(out, c);
    }
    return out;
}

bool controlFree(std::string_view text)
{
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f')
            return false;
    }
    return true;
}

std::string crlf(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

} // namespace

std::optional<std::string> previewText(std::span<const std::byte> bytes)
{
    if (std::optional<std::string> wide = fromUtf16(bytes))
        return controlFree(*wide) ? std::optional<std::string>(crlf(*wide)) : std::nullopt;
    std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (raw.size() >= 3 && raw.substr(0, 3) == "\xEF\xBB\xBF")
        raw.remove_prefix(3);
    if (!controlFree(raw))
        return std::nullopt;
    return crlf(validUtf8(raw) ? std::string(raw) : catalogue::toUtf8(raw));
}

std::string hexLines(std::span<const std::byte> bytes, std::size_t maxLines)
{
    std::string out;
    for (std::size_t line = 0; line < maxLines && line * 16 < bytes.size(); ++line) {
        char text[16];
        std::snprintf(text, sizeof text, "%08zx ", line * 16);
        out += text;
        std::string shown;
        for (std::size_t k = 0; k < 16; ++k) {
            const std::size_t at = line * 16 + k;
            if (k == 8)
                out += ' ';
            if (at < bytes.size()) {
                const auto c = static_cast<unsigned char>(bytes[at]);
                std::snprintf(text, sizeof text, " %02x", c);
                out += text;
                shown += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
            } else {
                out += "   ";
            }
        }
        out += "  " + shown + "\r\n";
    }
    return out;
}

} // namespace sarvik::win32
