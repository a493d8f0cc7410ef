// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/ReadProgress.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace sarvik::catalogue {

namespace {

// Reports come at most this often: a status line need not change faster.
constexpr auto kReportInterval = std::chrono::milliseconds(250);
// The speed is taken as known once this much time has been spent reading.
constexpr double kSecondsBeforeEstimate = 1.0;

} // namespace

std::string byteSizeText(std::uint64_t bytes)
{
    if (bytes < 1000)
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    static constexpr std::array<const char*, 5> kUnits{"KB", "MB", "GB", "TB", "PB"};
    double value = static_cast<double>(bytes) / 1000.0;
    std::size_t unit = 0;
    while (value >= 999.95 && unit + 1 < kUnits.size()) {
        value /= 1000.0;
        ++unit;
    }
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.1f %s", value, kUnits[unit]);
    return text.data();
}

std::string durationText(double seconds)
{
    const auto whole = static_cast<std::uint64_t>(std::llround(std::max(seconds, 1.0)));
    if (whole < 60)
        return std::to_string(whole) + " s";
    const std::uint64_t minutes = (whole + 30) / 60;
    if (minutes < 60)
        return std::to_string(minutes) + " min";
    const std::uint64_t hours = minutes / 60;
    const std::uint64_t rest = minutes % 60;
    return std::to_string(hours) + " h" + (rest != 0 ? " " + std::to_string(rest) + " min" : "");
}

ReadProgress::ReadProgress(ScanObserver& observer, StatusCode phase, std::uint64_t total)
    : m_observer(observer), m_phase(phase), m_total(total), m_start(Clock::now()), m_lastReport(m_start)
{
    m_observer.report({m_phase, 0, m_total, -1});
    m_observer.progress(0);
}

std::string ReadProgress::statusText(const std::string& phase, std::uint64_t done, std::uint64_t total,
                                     double secondsLeft)
{
    std::string text = phase + ": " + byteSizeText(std::min(done, total)) + " of " + byteSizeText(total);
    if (secondsLeft >= 1)
        text += ", " + durationText(secondsLeft) + " left";
    return text;
}

void ReadProgress::add(std::uint64_t bytes)
{
    m_done += bytes;
    const Clock::time_point now = Clock::now();
    if (now - m_lastReport >= kReportInterval)
        report(now);
}

void ReadProgress::finish()
{
    m_done = std::max(m_done, m_total);
    report(Clock::now());
}

void ReadProgress::report(Clock::time_point now)
{
    m_lastReport = now;
    const double elapsed = std::chrono::duration<double>(now - m_start).count();
    const std::uint64_t done = std::min(m_done, m_total);
    double left = -1;
    if (elapsed >= kSecondsBeforeEstimate && done != 0)
        left = static_cast<double>(m_total - done) * elapsed / static_cast<double>(done);
    m_observer.report({m_phase, done, m_total, left});
    m_observer.progress(static_cast<std::uint32_t>(m_total == 0 ? 100 : done * 100 / m_total));
}

} // namespace sarvik::catalogue
