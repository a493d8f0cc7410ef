// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/ExfatTime.h"

#include <chrono>

namespace sarvik::catalogue {

namespace {

constexpr std::uint8_t kOffsetValid = 0x80;
constexpr int kOffsetStepMinutes = 15;
constexpr unsigned kMaxTenMs = 199;

} // namespace

std::int64_t civilUtcSeconds(const ExfatCivilTime& t)
{
    using namespace std::chrono;
    const sys_days date{
        year_month_day{year{t.year}, month{static_cast<unsigned>(t.month)}, day{static_cast<unsigned>(t.day)}}};
    return (date + hours{t.hour} + minutes{t.minute} + seconds{t.second}).time_since_epoch().count();
}

std::optional<ExfatCivilTime> exfatCivilTime(std::uint32_t stamp, std::uint8_t tenMs, std::uint8_t utcOffset)
{
    using namespace std::chrono;
    const auto date = static_cast<std::uint16_t>(stamp >> 16);
    const year_month_day ymd{year{1980 + (date >> 9)}, month{(date >> 5) & 0x0Fu}, day{date & 0x1Fu}};
    const unsigned twoSeconds = stamp & 0x1F;
    const unsigned minute = (stamp >> 5) & 0x3F;
    const unsigned hour = (stamp >> 11) & 0x1F;
    if (!ymd.ok() || twoSeconds > 29 || minute > 59 || hour > 23)
        return std::nullopt;
    // The 10 ms count runs to 1.99 s: with the 2-second field it reaches 59.99.
    const unsigned extra = tenMs <= kMaxTenMs ? tenMs : 0;
    ExfatCivilTime t;
    t.hundredths = extra % 100;
    sys_seconds at = sys_days{ymd} + hours{hour} + minutes{minute} + seconds{twoSeconds * 2 + extra / 100};
    if ((utcOffset & kOffsetValid) != 0) {
        int steps = utcOffset & 0x7F;
        if (steps >= 64)
            steps -= 128; // seven bits, two's complement: west of UTC
        at -= minutes{steps * kOffsetStepMinutes};
        t.utc = true;
    }
    const sys_days day0 = floor<days>(at);
    const year_month_day civil{day0};
    const hh_mm_ss<seconds> clock{at - day0};
    t.year = static_cast<int>(civil.year());
    t.month = static_cast<int>(static_cast<unsigned>(civil.month()));
    t.day = static_cast<int>(static_cast<unsigned>(civil.day()));
    t.hour = static_cast<int>(clock.hours().count());
    t.minute = static_cast<int>(clock.minutes().count());
    t.second = static_cast<int>(clock.seconds().count());
    return t;
}

std::string exfatTimeText(std::uint32_t stamp, std::uint8_t tenMs, std::uint8_t utcOffset)
{
    const auto t = exfatCivilTime(stamp, tenMs, utcOffset);
    if (!t)
        return {};
    return std::to_string(t->day) + "-" + std::to_string(t->month) + "-" + std::to_string(t->year) + " " +
           std::to_string(t->hour) + ":" + std::to_string(t->minute) + ":" + std::to_string(t->second);
}

} // namespace sarvik::catalogue
