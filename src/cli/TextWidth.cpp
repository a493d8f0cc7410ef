// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/TextWidth.h"

#include "platform/Console.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <iterator>

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
    // Printable ASCII, most of what a listing holds, takes a column each in
    // every locale; the system is asked about the rest, once for each
    // character of the first plane (a listing asks about the same few
    // thousand again and again). Two threads may fill the table at once:
    // both write the same value.
    if (cp >= 0x20 && cp < 0x7F)
        return 1;
    // Entry cp holds its columns plus one; 0 until the system was asked.
    static std::array<std::atomic<std::uint8_t>, 0x10000> known{};
    if (cp >= known.size())
        return platform::characterColumns(cp);
    std::uint8_t entry = known[cp].load(std::memory_order_relaxed);
    if (entry == 0) {
        entry = static_cast<std::uint8_t>(std::min<std::size_t>(platform::characterColumns(cp), 2) + 1);
        known[cp].store(entry, std::memory_order_relaxed);
    }
    return entry - 1u;
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

void appendFitted(std::string& out, std::string_view text, std::size_t columns)
{
    // One pass, which stops once the text is known not to fit: where the
    // characters kept when it does not fit end (whole characters, with their
    // combining marks, up to one column short of the width, for the ellipsis),
    // and the width while it may still fit.
    std::size_t used = 0;
    std::size_t keptBytes = 0;
    std::size_t keptColumns = 0;
    bool cut = false;
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const std::size_t length = decode(text, i, cp);
        used += columnsOf(cp);
        i += length;
        if (!cut && used + 1 <= columns) {
            keptBytes = i;
            keptColumns = used;
        } else {
            cut = true;
        }
        if (used > columns)
            break;
    }
    if (used <= columns) {
        out.append(text);
        out.append(columns - used, ' ');
    } else if (columns > 0) {
        out.append(text.substr(0, keptBytes));
        out.append("\u2026");
        out.append(columns - keptColumns - 1, ' ');
    }
}

std::string fitted(std::string_view text, std::size_t columns)
{
    std::string out;
    appendFitted(out, text, columns);
    return out;
}

std::string rightAligned(std::string_view text, std::size_t columns)
{
    const std::size_t width = displayWidth(text);
    return width >= columns ? std::string(text) : std::string(columns - width, ' ') + std::string(text);
}

std::string iecSize(std::uint64_t bytes)
{
    if (bytes < 1024)
        return std::to_string(bytes) + " B";
    static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    std::size_t unit = 0;
    std::uint64_t whole = bytes / 1024;
    std::uint64_t rest = bytes % 1024; // of the unit below
    while (whole >= 1024 && unit + 1 < std::size(kUnits)) {
        rest = whole % 1024;
        whole /= 1024;
        ++unit;
    }
    return std::to_string(whole) + "." + std::to_string(rest * 10 / 1024) + " " + kUnits[unit];
}

} // namespace sarvik::cli
