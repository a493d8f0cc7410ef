#pragma once
// The times a recovered file or folder gets from its catalogue entry. FAT keeps
// only dates (the entry's time fields are not catalogued): a date becomes
// midnight of that day in local time, as the system that wrote it counted days.
// NTFS keeps FILETIMEs (UTC).

#include "recovery/OutputFolder.h"

#include <cstdint>
#include <optional>

namespace sarvik::recovery {

/// Midnight, local time, of a packed FAT date (day bits 0-4, month 5-8,
/// year-1980 9-15); nothing for a date that names no day (0, month 13, ...).
[[nodiscard]] std::optional<std::int64_t> fatDateToUnix(std::uint16_t packed);

/// Modified from the write date, accessed from the access date (or the write
/// date when the access date names no day); nothing without a write date.
[[nodiscard]] std::optional<EntryTimes> fatEntryTimes(std::uint16_t writeDate, std::uint16_t accessDate);

/// Modified and accessed both from the FILETIME `modified`; nothing when it is 0.
[[nodiscard]] std::optional<EntryTimes> ntfsEntryTimes(std::uint64_t modified);

} // namespace sarvik::recovery
