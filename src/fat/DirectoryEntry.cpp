// SPDX-License-Identifier: GPL-3.0-or-later
#include "fat/DirectoryEntry.h"

#include <algorithm>

namespace sarvik::fat {

bool isShortNameByte(std::uint8_t c) noexcept
{
    if (c < 0x20)
        return false;
    switch (c) {
    case '"':
    case '*':
    case '+':
    case ',':
    case '.':
    case '/':
    case ':':
    case ';':
    case '<':
    case '=':
    case '>':
    case '?':
    case '[':
    case '\\':
    case ']':
    case '|':
        return false;
    default:
        return true;
    }
}

std::uint8_t shortNameChecksum(std::span<const std::byte> entry)
{
    const disk::ByteReader r(entry);
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < dirent::kShortNameBytes; ++i)
        sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + r.u8or0(i));
    return sum;
}

bool deletedEntryMatches(std::span<const std::byte> entry, std::uint8_t checksum)
{
    std::array<std::byte, dirent::kShortNameBytes> name{};
    std::copy_n(entry.begin(), std::min(entry.size(), name.size()), name.begin());
    for (unsigned b = 0x20; b < 0x100; ++b) {
        if (!isShortNameByte(static_cast<std::uint8_t>(b)) && b != dirent::kDeletedMark)
            continue;
        name[0] = std::byte(static_cast<std::uint8_t>(b));
        if (shortNameChecksum(name) == checksum)
            return true;
    }
    return false;
}

} // namespace sarvik::fat
