// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Progress of a pass that reads a known number of bytes (the passes over free
// space): the status line names the bytes read of those to read and, once the
// reads so far have shown the device's speed, the time left; the progress
// position is the share read.

#include "catalogue/ScanObserver.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace sarvik::catalogue {

class ReadProgress {
public:
    using Clock = std::chrono::steady_clock;

    /// `phase` names the pass (StatusCode::SearchingFreeSpace); `total` is what
    /// the pass expects to read.
    ReadProgress(ScanObserver& observer, StatusCode phase, std::uint64_t total);

    /// `bytes` more were read (or passed over); reports at most a few times a second.
    void add(std::uint64_t bytes);
    /// Reports the end of the pass: everything read.
    void finish();
    [[nodiscard]] std::uint64_t done() const noexcept { return m_done; }

    /// "PHASE: 1.2 GB of 59.1 GB, 12 min left" (the time once known, and a second or more).
    [[nodiscard]] static std::string statusText(const std::string& phase, std::uint64_t done, std::uint64_t total,
                                                double secondsLeft);

private:
    void report(Clock::time_point now);

    ScanObserver& m_observer;
    StatusCode m_phase;
    std::uint64_t m_total;
    std::uint64_t m_done = 0;
    Clock::time_point m_start;
    Clock::time_point m_lastReport;
};

/// "512 bytes", "4.0 KB", "59.1 GB": decimal units, as devices are sold.
[[nodiscard]] std::string byteSizeText(std::uint64_t bytes);
/// "40 s", "12 min", "2 h 5 min" (rounded; 1 s at least).
[[nodiscard]] std::string durationText(double seconds);

} // namespace sarvik::catalogue
