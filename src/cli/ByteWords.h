// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text eight bytes at a time: whether any byte of a word is zero, equals a
// value or lies below one, told without looking at each byte. Each answer is
// exact for the word as a whole (not for which byte it was).

#include <cstdint>
#include <cstring>
#include <string_view>

namespace sarvik::cli::words {

inline constexpr std::uint64_t kOnes = 0x0101010101010101;
inline constexpr std::uint64_t kHighBits = 0x8080808080808080;

/// The eight bytes of `text` from `at` (at most its size less eight).
inline std::uint64_t load(std::string_view text, std::size_t at)
{
    std::uint64_t w = 0;
    std::memcpy(&w, text.data() + at, sizeof w);
    return w;
}

/// True when a byte of `w` is zero.
constexpr bool hasZero(std::uint64_t w)
{
    return ((w - kOnes) & ~w & kHighBits) != 0;
}

/// True when a byte of `w` is `value`.
constexpr bool has(std::uint64_t w, unsigned char value)
{
    return hasZero(w ^ (kOnes * value));
}

/// True when a byte of `w` is below `limit` (at most 0x80).
constexpr bool hasBelow(std::uint64_t w, unsigned char limit)
{
    return ((w - kOnes * limit) & ~w & kHighBits) != 0;
}

} // namespace sarvik::cli::words
