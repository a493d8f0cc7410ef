// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Times as the command line writes them: ISO 8601 in JSON, "YYYY-MM-DD HH:MM:SS"
// in text. FAT stores local time without a zone (the clock of the machine that
// wrote it), so its times are written as local times with no zone; NTFS stores
// UTC in 100-nanosecond steps, written with "Z" and, when not whole, the fraction.
// exFAT adds 10 ms steps and a UTC offset: UTC with "Z" where the offset is valid.

#include "catalogue/Entry.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sarvik::cli {

/// The text of one time, held without the heap: a JSON listing writes two per
/// entry. The longest is 30 characters ("-32768-12-31T23:59:59.9999999Z").
struct TimeText {
    std::array<char, 40> chars{};
    std::size_t size = 0;
    [[nodiscard]] std::string_view view() const { return {chars.data(), size}; }
};

/// "2026-12-08T13:07:02" from a packed FAT date and time of day; empty when the
/// date names no day.
[[nodiscard]] std::string fatTimeIso(std::uint16_t date, std::uint16_t time);
/// "2026-12-08" from a packed FAT date; empty when it names no day.
[[nodiscard]] std::string fatDateIso(std::uint16_t date);
/// "2023-11-14T22:13:20Z" or "2023-11-14T22:13:20.1234567Z"; empty for 0.
[[nodiscard]] std::string fileTimeIso(std::uint64_t fileTime);
/// The same text, held in a TimeText.
[[nodiscard]] TimeText fileTimeIsoText(std::uint64_t fileTime);

/// "2026-12-08 13:07:02" (local, as stored); empty when the date names no day.
[[nodiscard]] std::string fatTimeText(std::uint16_t date, std::uint16_t time);
/// "2023-11-14 22:13:20" (UTC); empty for 0.
[[nodiscard]] std::string fileTimeText(std::uint64_t fileTime);

/// An exFAT time (packed date and time, 10 ms count, UTC offset byte; see
/// catalogue/ExfatTime.h): "2021-06-15T12:34:57.78Z" when its offset is valid
/// (put into UTC), "2021-06-15T12:34:57.78" (local, as stored) when not; the
/// hundredths only when not 0. Empty when the date names no day.
[[nodiscard]] std::string exfatTimeIso(std::uint32_t stamp, std::uint8_t tenMs, std::uint8_t utcOffset);
/// The same as "2021-06-15 12:34:57", whole seconds.
[[nodiscard]] std::string exfatTimeText(std::uint32_t stamp, std::uint8_t tenMs, std::uint8_t utcOffset);

/// A catalogue entry's time as its source keeps it: FAT's with fatTimeText (a
/// date alone, as fatDateIso, where no time of day was kept), exFAT's with
/// exfatTimeText, NTFS's with fileTimeText; empty for none.
[[nodiscard]] std::string entryTimeText(const catalogue::EntryTime& t);
/// The same text, held in a TimeText (a listing writes one per line).
[[nodiscard]] TimeText entryTimeChars(const catalogue::EntryTime& t);
/// The same in ISO 8601 (fatTimeIso, fatDateIso, exfatTimeIso, fileTimeIso).
[[nodiscard]] std::string entryTimeIso(const catalogue::EntryTime& t);

/// Seconds since 1970 (UTC) of "YYYY-MM-DD", "YYYY-MM-DD HH:MM" or
/// "YYYY-MM-DD HH:MM:SS" ("T" may stand for the blank), read as local time, or
/// as UTC with a trailing "Z". `endOfDay`: a date alone means its last second.
[[nodiscard]] std::optional<std::int64_t> parseTime(const std::string& text, bool endOfDay);

} // namespace sarvik::cli
