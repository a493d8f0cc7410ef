#include "cli/TextWidth.h"

#include "platform/Console.h"

namespace sarvik::cli {

namespace {

/// One UTF-8 character at `i`: its code point and its length in bytes (a byte
/// that starts no valid sequence is one character of its own).
std::size_t decode(std::string_view text, std::size_t i, char32_t& cp)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length == 1 || i + length > text.size()) {
        cp = lead;
        return 1;
    }
    cp = lead & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            cp = lead;
            return 1;
        }
        cp = (cp << 6) | (next & 0x3Fu);
    }
    return length;
}

std::size_t columnsOf(char32_t cp)
{
    return platform::characterColumns(cp);
}

} // namespace

std::size_t displayWidth(std::string_view text)
{
    std::size_t used = 0;
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        i += decode(text, i, cp);
        used += columnsOf(cp);
    }
    return used;
}

std::string fitted(std::string_view text, std::size_t columns)
{
    const std::size_t width = displayWidth(text);
    if (width <= columns)
        return std::string(text) + std::string(columns - width, ' ');
    // Keep whole characters (with their combining marks) up to one column
    // short of the width, then the ellipsis.
    std::string out;
    std::size_t used = 0;
    for (std::size_t i = 0; i < text.size() && columns > 0;) {
        char32_t cp = 0;
        const std::size_t length = decode(text, i, cp);
        const std::size_t w = columnsOf(cp);
        if (used + w > columns - 1)
            break;
        out.append(text.substr(i, length));
        used += w;
        i += length;
    }
    if (columns > 0) {
        out += "\u2026";
        ++used;
    }
    return out + std::string(columns - used, ' ');
}

std::string rightAligned(std::string_view text, std::size_t columns)
{
    const std::size_t width = displayWidth(text);
    return width >= columns ? std::string(text) : std::string(columns - width, ' ') + std::string(text);
}

} // namespace sarvik::cli
