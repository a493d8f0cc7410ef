#include "recovery/OriginalTimes.h"

#include "catalogue/FileList.h"

#include <ctime>

namespace sarvik::recovery {

std::optional<std::int64_t> fatDateToUnix(std::uint16_t packed)
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
    local.tm_isdst = -1; // let the zone rules say whether summer time applied that day
    const std::time_t t = std::mktime(&local);
    if (t == static_cast<std::time_t>(-1))
        return std::nullopt;
    return static_cast<std::int64_t>(t);
}

std::optional<EntryTimes> fatEntryTimes(std::uint16_t writeDate, std::uint16_t accessDate)
{
    const auto modified = fatDateToUnix(writeDate);
    if (!modified)
        return std::nullopt;
    return EntryTimes{*modified, fatDateToUnix(accessDate).value_or(*modified)};
}

std::optional<EntryTimes> ntfsEntryTimes(std::uint64_t modified)
{
    if (modified == 0)
        return std::nullopt;
    const std::int64_t t = catalogue::fileTimeToUnix(modified);
    return EntryTimes{t, t};
}

} // namespace sarvik::recovery
