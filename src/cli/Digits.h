// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Decimal digits written two at a time: listings write several numbers and
// times per entry, hundreds of thousands of entries a volume.

#include <charconv>
#include <cstdint>
#include <cstring>

namespace sarvik::cli::digits {

/// "00" to "99", each pair of digits at twice its value.
inline constexpr char kPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                                 "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                                 "8081828384858687888990919293949596979899";

/// The two digits of `value` (below 100) at `out`.
inline void pair(char* out, unsigned value)
{
    std::memcpy(out, &kPairs[2 * value], 2);
}

/// `value` (below 100,000,000) as exactly eight digits at `out`, with leading zeros.
inline void eight(char* out, std::uint32_t value)
{
    for (int at = 6; at >= 0; at -= 2, value /= 100)
        pair(out + at, value % 100);
}

/// `value` in decimal at `out`, which has room for 20 characters; the end of
/// what was written. The same text as std::to_chars, its work done in 32-bit
/// pieces of eight digits (a FILETIME has eighteen).
inline char* decimal(char* out, std::uint64_t value)
{
    constexpr std::uint64_t kEight = 100'000'000;
    if (value < kEight)
        return std::to_chars(out, out + 8, static_cast<std::uint32_t>(value)).ptr;
    out = decimal(out, value / kEight);
    eight(out, static_cast<std::uint32_t>(value % kEight));
    return out + 8;
}

} // namespace sarvik::cli::digits
