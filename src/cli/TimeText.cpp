// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/TimeText.h"

#include "cli/Digits.h"

#include "catalogue/ExfatTime.h"
#include "catalogue/FileList.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace sarvik::cli {

namespace {

struct Civil {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

std::optional<Civil> fatCivil(std::uint16_t date, std::uint16_t time)
{
    Civil c{1980 + (date >> 9), (date >> 5) & 0x0F, date & 0x1F, time >> 11, (time >> 5) & 0x3F, (time & 0x1F) * 2};
    static constexpr int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (c.day == 0 || c.month == 0 || c.month > 12 || c.day > kDays[c.month - 1])
        return std::nullopt;
    if (c.hour > 23 || c.minute > 59 || c.second > 59)
        c.hour = c.minute = c.second = 0; // a time of day that names no moment: the date alone
    return c;
}

std::optional<Civil> utcCivil(std::uint64_t fileTime)
{
    if (fileTime == 0)
        return std::nullopt;
    // Calendar arithmetic rather than gmtime: the same on every system, and
    // for times before 1970 too.
    using namespace std::chrono;
    const sys_seconds at{seconds{catalogue::fileTimeToUnix(fileTime)}};
    const sys_days date = floor<days>(at);
    const year_month_day ymd{date};
    const hh_mm_ss<seconds> clock{at - date};
    return Civil{static_cast<int>(ymd.year()),
                 static_cast<int>(static_cast<unsigned>(ymd.month())),
                 static_cast<int>(static_cast<unsigned>(ymd.day())),
                 static_cast<int>(clock.hours().count()),
                 static_cast<int>(clock.minutes().count()),
                 static_cast<int>(clock.seconds().count())};
}

/// Writes the text of a time into a TimeText, never past its room.
class TimeWriter {
public:
    explicit TimeWriter(TimeText& out) : m_out(out) {}
    void put(char c)
    {
        if (m_out.size < m_out.chars.size())
            m_out.chars[m_out.size++] = c;
    }
    /// `value` as printf's "%0Nd" writes it for N = `width`: a minus sign when
    /// negative, then the digits, padded with zeros to `width` characters in all.
    void padded(int value, int width)
    {
        static constexpr int kLimits[] = {1, 10, 100, 1'000, 10'000, 100'000, 1'000'000, 10'000'000};
        if (value >= 0 && width > 0 && width < std::ssize(kLimits) && value < kLimits[width] &&
            m_out.size + static_cast<std::size_t>(width) <= m_out.chars.size()) {
            // The usual case: exactly `width` digits, written from the last, two at a time.
            auto i = static_cast<std::size_t>(width);
            for (; i >= 2; i -= 2, value /= 100) {
                digits::pair(&m_out.chars[m_out.size + i - 2], static_cast<unsigned>(value % 100));
            }
            if (i == 1)
                m_out.chars[m_out.size] = static_cast<char>('0' + value);
            m_out.size += static_cast<std::size_t>(width);
            return;
        }
        char digits[12];
        const bool negative = value < 0;
        auto magnitude = negative ? 0U - static_cast<unsigned>(value) : static_cast<unsigned>(value);
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (negative)
            put('-');
        for (int pad = width - count - (negative ? 1 : 0); pad > 0; --pad)
            put('0');
        while (count > 0)
            put(digits[--count]);
    }
    /// "YYYY-MM-DD?hh:mm:ss" with `separator` for "?", as
    /// "%04d-%02d-%02d%c%02d:%02d:%02d" prints it; a listing writes two times
    /// an entry, so this stays off the printf path.
    void civil(const Civil& c, char separator)
    {
        const auto twoDigits = [](int v) { return v >= 0 && v < 100; };
        if (c.year >= 0 && c.year < 10'000 && twoDigits(c.month) && twoDigits(c.day) && twoDigits(c.hour) &&
            twoDigits(c.minute) && twoDigits(c.second) && m_out.size + kCivilLength <= m_out.chars.size()) {
            // The usual time: every field at its fixed place.
            char* out = m_out.chars.data() + m_out.size;
            const auto pair = [](char* at, int v) { digits::pair(at, static_cast<unsigned>(v)); };
            pair(out, c.year / 100);
            pair(out + 2, c.year % 100);
            out[4] = '-';
            pair(out + 5, c.month);
            out[7] = '-';
            pair(out + 8, c.day);
            out[10] = separator;
            pair(out + 11, c.hour);
            out[13] = ':';
            pair(out + 14, c.minute);
            out[16] = ':';
            pair(out + 17, c.second);
            m_out.size += kCivilLength;
            return;
        }
        padded(c.year, 4);
        put('-');
        padded(c.month, 2);
        put('-');
        padded(c.day, 2);
        put(separator);
        padded(c.hour, 2);
        put(':');
        padded(c.minute, 2);
        put(':');
        padded(c.second, 2);
    }

private:
    static constexpr std::size_t kCivilLength = 19; ///< "YYYY-MM-DD?hh:mm:ss"
    TimeText& m_out;
};

std::string format(const Civil& c, char separator)
{
    TimeText text;
    TimeWriter(text).civil(c, separator);
    return std::string(text.view());
}

} // namespace

std::string fatTimeIso(std::uint16_t date, std::uint16_t time)
{
    const auto c = fatCivil(date, time);
    return c ? format(*c, 'T') : std::string();
}

std::string fatDateIso(std::uint16_t date)
{
    const auto c = fatCivil(date, 0);
    return c ? format(*c, 'T').substr(0, 10) : std::string();
}

TimeText fileTimeIsoText(std::uint64_t fileTime)
{
    TimeText text;
    const auto c = utcCivil(fileTime);
    if (!c)
        return text;
    TimeWriter w(text);
    w.civil(*c, 'T');
    if (const std::uint64_t ticks = fileTime % 10'000'000; ticks != 0) {
        w.put('.');
        w.padded(static_cast<int>(ticks), 7); // below 10,000,000: seven digits
    }
    w.put('Z');
    return text;
}

std::string fileTimeIso(std::uint64_t fileTime)
{
    return std::string(fileTimeIsoText(fileTime).view());
}

std::string fatTimeText(std::uint16_t date, std::uint16_t time)
{
    const auto c = fatCivil(date, time);
    return c ? format(*c, ' ') : std::string();
}

std::string fileTimeText(std::uint64_t fileTime)
{
    const auto c = utcCivil(fileTime);
    return c ? format(*c, ' ') : std::string();
}

namespace {

Civil civilOf(const catalogue::ExfatCivilTime& t)
{
    return Civil{t.year, t.month, t.day, t.hour, t.minute, t.second};
}

} // namespace

std::string exfatTimeIso(std::uint32_t stamp, std::uint8_t tenMs, std::uint8_t utcOffset)
{
    const auto t = catalogue::exfatCivilTime(stamp, tenMs, utcOffset);
    if (!t)
        return {};
    TimeText text;
    TimeWriter w(text);
    w.civil(civilOf(*t), 'T');
    if (t->hundredths != 0) {
        w.put('.');
        w.padded(static_cast<int>(t->hundredths), 2);
    }
    if (t->utc)
        w.put('Z');
    return std::string(text.view());
}

std::string exfatTimeText(std::uint32_t stamp, std::uint8_t tenMs, std::uint8_t utcOffset)
{
    const auto t = catalogue::exfatCivilTime(stamp, tenMs, utcOffset);
    return t ? format(civilOf(*t), ' ') : std::string();
}

std::optional<std::int64_t> parseTime(const std::string& text, bool endOfDay)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int used = 0;
    std::string rest = text;
    const bool utc = !rest.empty() && (rest.back() == 'Z' || rest.back() == 'z');
    if (utc)
        rest.pop_back();
    if (rest.size() > 10 && (rest[10] == 'T' || rest[10] == 't'))
        rest[10] = ' ';
    const int fields = std::sscanf(rest.c_str(), "%4d-%2d-%2d%n %2d:%2d%n:%2d%n", &year, &month, &day, &used, &hour,
                                   &minute, &used, &second, &used);
    if ((fields != 3 && fields != 5 && fields != 6) || static_cast<std::size_t>(used) != rest.size())
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    // A day the month does not have (February 31) is a typing error, not a later date.
    if (!std::chrono::year_month_day{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                                     std::chrono::day{static_cast<unsigned>(day)}}
             .ok())
        return std::nullopt;
    if (fields == 3 && endOfDay) {
        hour = 23;
        minute = 59;
        second = 59;
    }
    if (utc) {
        using namespace std::chrono;
        const sys_days date{year_month_day{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                                           std::chrono::day{static_cast<unsigned>(day)}}};
        return (date + hours{hour} + minutes{minute} + seconds{second}).time_since_epoch().count();
    }
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) && !(year == 1969 || year == 1970))
        return std::nullopt;
    return static_cast<std::int64_t>(t);
}

namespace {

std::uint16_t packedDate(const catalogue::EntryTime& t)
{
    return static_cast<std::uint16_t>(t.source == catalogue::TimeSource::FatTime ? t.value >> 16 : t.value);
}

} // namespace

TimeText entryTimeChars(const catalogue::EntryTime& t)
{
    TimeText text;
    std::optional<Civil> c;
    switch (t.source) {
    case catalogue::TimeSource::FatDate:
        c = fatCivil(packedDate(t), 0);
        break;
    case catalogue::TimeSource::FatTime:
        c = fatCivil(packedDate(t), static_cast<std::uint16_t>(t.value));
        break;
    case catalogue::TimeSource::ExfatTime:
        if (const auto exfat =
                catalogue::exfatCivilTime(static_cast<std::uint32_t>(t.value), t.hundredths, t.utcOffset))
            c = civilOf(*exfat);
        break;
    case catalogue::TimeSource::NtfsStandardInformation:
    case catalogue::TimeSource::NtfsFileName:
        c = utcCivil(t.value);
        break;
    case catalogue::TimeSource::None:
        break;
    }
    if (c)
        TimeWriter(text).civil(*c, ' ');
    if (t.source == catalogue::TimeSource::FatDate)
        text.size = std::min<std::size_t>(text.size, 10); // the date alone
    return text;
}

std::string entryTimeText(const catalogue::EntryTime& t)
{
    return std::string(entryTimeChars(t).view());
}

std::string entryTimeIso(const catalogue::EntryTime& t)
{
    switch (t.source) {
    case catalogue::TimeSource::FatDate:
        return fatDateIso(packedDate(t));
    case catalogue::TimeSource::FatTime:
        return fatTimeIso(packedDate(t), static_cast<std::uint16_t>(t.value));
    case catalogue::TimeSource::ExfatTime:
        return exfatTimeIso(static_cast<std::uint32_t>(t.value), t.hundredths, t.utcOffset);
    case catalogue::TimeSource::NtfsStandardInformation:
    case catalogue::TimeSource::NtfsFileName:
        return fileTimeIso(t.value);
    case catalogue::TimeSource::None:
        break;
    }
    return {};
}

} // namespace sarvik::cli
