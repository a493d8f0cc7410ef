// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// exFAT timestamps as their entries mean them. A file entry keeps each time as
// a packed date and time of day (FAT's layout, 2-second steps), the creation
// and modification times a count of 10 ms steps (0..199) added to that, and
// each time a UTC offset byte: bit 7 set when the offset is valid, bits 0-6 a
// signed count of 15-minute steps east of UTC. With a valid offset the time
// is put into UTC here; without one it stays the local time of the clock that
// wrote it, as FAT's times are.

#include <cstdint>
#include <optional>
#include <string>

namespace sarvik::catalogue {

/// One exFAT time as a calendar date and time of day.
struct ExfatCivilTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    unsigned hundredths = 0; ///< 0..99
    bool utc = false;        ///< the offset was valid and is applied; else local time as stored
};

/// The time of `stamp` (packed date high, packed time low) with `tenMs`
/// hundredths (a value above 199 counts as 0) and `utcOffset`; nothing when
/// the date names no day or the time of day no moment.
[[nodiscard]] std::optional<ExfatCivilTime> exfatCivilTime(std::uint32_t stamp, std::uint8_t tenMs,
                                                           std::uint8_t utcOffset);

/// Seconds since 1970 of a civil time taken as UTC (any year, no zone rules).
[[nodiscard]] std::int64_t civilUtcSeconds(const ExfatCivilTime& t);

/// "d-m-yyyy h:m:s" as the file list shows times (see fileTimeText), whole
/// seconds; empty when exfatCivilTime gives nothing.
[[nodiscard]] std::string exfatTimeText(std::uint32_t stamp, std::uint8_t tenMs, std::uint8_t utcOffset);

} // namespace sarvik::catalogue
