#include "recovery/OriginalTimes.h"

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

namespace {

/// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

} // namespace

std::optional<ExfatTime> exfatTimeToUnix(std::uint32_t stamp, std::uint8_t hundredths, std::uint8_t utcOffset)
{
    const auto date = static_cast<std::uint16_t>(stamp >> 16);
    const auto midnight = fatDateToUnix(date); // checks the date names a day
    if (!midnight)
        return std::nullopt;
    const unsigned twoSeconds = stamp & 0x1F;
    const unsigned minute = (stamp >> 5) & 0x3F;
    const unsigned hour = (stamp >> 11) & 0x1F;
    if (twoSeconds > 29 || minute > 59 || hour > 23)
        return std::nullopt;
    const unsigned extra = hundredths <= 199 ? hundredths : 0;
    const std::int64_t secondOfDay = hour * 3600 + minute * 60 + twoSeconds * 2 + extra / 100;
    ExfatTime t;
    t.nanoseconds = (extra % 100) * 10'000'000u;
    if ((utcOffset & 0x80) == 0) {
        t.seconds = *midnight + secondOfDay; // local time of the day, as FAT dates are taken
        return t;
    }
    // Bits 0-6 are a signed count of 15-minute steps east of UTC.
    int steps = utcOffset & 0x7F;
    if (steps >= 64)
        steps -= 128;
    const std::int64_t days = daysFromCivil(1980 + (date >> 9), (date >> 5) & 0x0F, date & 0x1F);
    t.seconds = days * 86400 + secondOfDay - std::int64_t{steps} * 15 * 60;
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

} // namespace sarvik::recovery
