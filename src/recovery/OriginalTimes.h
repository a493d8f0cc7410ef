// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The times a recovered file or folder gets from its catalogue entry. FAT keeps
// local dates and times of day (the write time in 2-second steps, the access
// date alone): they are read in local time, as the system that wrote them
// counted. NTFS keeps FILETIMEs (UTC, 100-nanosecond steps).

#include "catalogue/Entry.h"
#include "recovery/OutputFolder.h"

#include <cstdint>
#include <optional>

namespace sarvik::recovery {

/// Midnight, local time, of a packed FAT date (day bits 0-4, month 5-8,
/// year-1980 9-15); nothing for a date that names no day (0, month 13, ...).
[[nodiscard]] std::optional<std::int64_t> fatDateToUnix(std::uint16_t packed);
/// The same with a packed FAT time of day (seconds/2 bits 0-4, minutes 5-10,
/// hours 11-15); a time that names no moment of the day counts as midnight.
[[nodiscard]] std::optional<std::int64_t> fatDateTimeToUnix(std::uint16_t date, std::uint16_t time);

/// Modified from the write date and time, accessed from the access date (or the
/// write time when the access date names no day); nothing without a write date.
[[nodiscard]] std::optional<EntryTimes> fatEntryTimes(std::uint16_t writeDate, std::uint16_t accessDate,
                                                      std::uint16_t writeTime = 0);

/// An exFAT timestamp (packed date high, packed time low), its hundredths
/// (0..199, added to the 2-second time) and its UTC offset byte (bit 7: valid;
/// bits 0-6: signed 15-minute steps), as seconds and nanoseconds since 1970
/// UTC. Without a valid offset the time is local time, as FAT's. Nothing for a
/// date that names no day.
struct ExfatTime {
    std::int64_t seconds = 0;
    std::uint32_t nanoseconds = 0;
};
[[nodiscard]] std::optional<ExfatTime> exfatTimeToUnix(std::uint32_t stamp, std::uint8_t hundredths,
                                                       std::uint8_t utcOffset);

/// Modified (with its hundredths) and accessed from an exFAT file entry;
/// nothing without a modification time.
[[nodiscard]] std::optional<EntryTimes> exfatEntryTimes(std::uint32_t modified, std::uint8_t modified10ms,
                                                        std::uint8_t modifiedUtc, std::uint32_t accessed,
                                                        std::uint8_t accessedUtc);

/// Seconds since 1970 of a catalogue entry's time, read as its source keeps
/// it (FAT's local times as fatDateTimeToUnix, exFAT's as exfatTimeToUnix);
/// nothing when it has none.
[[nodiscard]] std::optional<std::int64_t> entryTimeToUnix(const catalogue::EntryTime& t);

/// Modified from the FILETIME `modified` and accessed from `accessed` (from
/// `modified` too when `accessed` is 0), to their 100 nanoseconds; nothing
/// when `modified` is 0.
[[nodiscard]] std::optional<EntryTimes> ntfsEntryTimes(std::uint64_t modified, std::uint64_t accessed = 0);

} // namespace sarvik::recovery
