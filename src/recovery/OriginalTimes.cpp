// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/OriginalTimes.h"

#include "catalogue/ExfatTime.h"
#include "catalogue/FileList.h"

#include <ctime>

namespace sarvik::recovery {

std::optional<std::int64_t> fatDateToUnix(std::uint16_t packed)
{
    return fatDateTimeToUnix(packed, 0);
}

std::optional<std::int64_t> fatDateTimeToUnix(std::uint16_t packed, std::uint16_t time)
{
    const int day = packed & 0x1F;
    const int month = (packed >> 5) & 0x0F;
    const int year = 1980 + (packed >> 9);
    static constexpr int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (day == 0 || month == 0 || month > 12 || day > kDays[month - 1])
        return std::nullopt;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month == 2 && day == 29 && !leap)
        return std::nullopt;
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    const int seconds = (time & 0x1F) * 2;
    const int minutes = (time >> 5) & 0x3F;
    const int hours = time >> 11;
    if (seconds < 60 && minutes < 60 && hours < 24) {
        local.tm_sec = seconds;
        local.tm_min = minutes;
        local.tm_hour = hours;
    }
    local.tm_isdst = -1; // let the zone rules say whether summer time applied that day
    const std::time_t t = std::mktime(&local);
    if (t == static_cast<std::time_t>(-1))
        return std::nullopt;
    return static_cast<std::int64_t>(t);
}

std::optional<EntryTimes> fatEntryTimes(std::uint16_t writeDate, std::uint16_t accessDate, std::uint16_t writeTime)
{
    const auto modified = fatDateTimeToUnix(writeDate, writeTime);
    if (!modified)
        return std::nullopt;
    return EntryTimes{*modified, fatDateToUnix(accessDate).value_or(*modified)};
}

std::optional<ExfatTime> exfatTimeToUnix(std::uint32_t stamp, std::uint8_t hundredths, std::uint8_t utcOffset)
{
    const auto civil = catalogue::exfatCivilTime(stamp, hundredths, utcOffset);
    if (!civil)
        return std::nullopt;
    ExfatTime t;
    t.nanoseconds = civil->hundredths * 10'000'000u;
    if (civil->utc) {
        t.seconds = catalogue::civilUtcSeconds(*civil);
        return t;
    }
    // No valid offset: the local time of the clock that wrote it, as FAT's.
    std::tm local{};
    local.tm_year = civil->year - 1900;
    local.tm_mon = civil->month - 1;
    local.tm_mday = civil->day;
    local.tm_hour = civil->hour;
    local.tm_min = civil->minute;
    local.tm_sec = civil->second;
    local.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&local);
    if (seconds == static_cast<std::time_t>(-1))
        return std::nullopt;
    t.seconds = static_cast<std::int64_t>(seconds);
    return t;
}

std::optional<EntryTimes> exfatEntryTimes(std::uint32_t modified, std::uint8_t modified10ms, std::uint8_t modifiedUtc,
                                          std::uint32_t accessed, std::uint8_t accessedUtc)
{
    const auto m = exfatTimeToUnix(modified, modified10ms, modifiedUtc);
    if (!m)
        return std::nullopt;
    const auto a = exfatTimeToUnix(accessed, 0, accessedUtc).value_or(*m);
    return EntryTimes{m->seconds, a.seconds, m->nanoseconds, a.nanoseconds};
}

std::optional<EntryTimes> ntfsEntryTimes(std::uint64_t modified, std::uint64_t accessed)
{
    if (modified == 0)
        return std::nullopt;
    if (accessed == 0)
        accessed = modified;
    // fileTimeToUnix rounds toward the earlier second; the rest is the fraction.
    constexpr std::uint64_t kTicksPerSecond = 10'000'000;
    constexpr std::uint64_t kNanosecondsPerTick = 100;
    const auto fraction = [](std::uint64_t t) {
        return static_cast<std::uint32_t>((t % kTicksPerSecond) * kNanosecondsPerTick);
    };
    return EntryTimes{catalogue::fileTimeToUnix(modified), catalogue::fileTimeToUnix(accessed), fraction(modified),
                      fraction(accessed)};
}

std::optional<std::int64_t> entryTimeToUnix(const catalogue::EntryTime& t)
{
    if (!t.known())
        return std::nullopt;
    switch (t.source) {
    case catalogue::TimeSource::FatDate:
        return fatDateToUnix(static_cast<std::uint16_t>(t.value));
    case catalogue::TimeSource::FatTime:
        return fatDateTimeToUnix(static_cast<std::uint16_t>(t.value >> 16), static_cast<std::uint16_t>(t.value));
    case catalogue::TimeSource::ExfatTime:
        if (const auto exfat = exfatTimeToUnix(static_cast<std::uint32_t>(t.value), t.hundredths, t.utcOffset))
            return exfat->seconds;
        return std::nullopt;
    case catalogue::TimeSource::NtfsStandardInformation:
    case catalogue::TimeSource::NtfsFileName:
        return catalogue::fileTimeToUnix(t.value);
    case catalogue::TimeSource::None:
        break;
    }
    return std::nullopt;
}

} // namespace sarvik::recovery
