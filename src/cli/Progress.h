// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A progress line on standard error while an engine runs, drawn only when
// standard error is a terminal.

#include "catalogue/ScanObserver.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sarvik::cli {

/// One progress line: "WHAT [####        ]  33%  COUNTS  STATUS", at most
/// `columns` - 1 characters (the status cut or dropped first, then the rest).
[[nodiscard]] std::string progressLine(const std::string& what, std::uint32_t position, const std::string& counts,
                                       std::string_view status, std::size_t columns);

class TerminalProgress final : public catalogue::ScanObserver {
public:
    explicit TerminalProgress(std::string what);
    ~TerminalProgress() override;
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    void foldersFound(std::uint32_t count) override;
    void filesFound(std::uint32_t count) override;
    /// The status text; a '\' in it (a path, or "position\total") is shown as '/'.
    void status(const std::string& text) override;
    /// Kept as it came and worded only when a line is drawn: engines report
    /// far more often than the line is redrawn.
    void report(const catalogue::StatusReport& what) override;
    void progress(std::uint32_t position) override;
    /// A line redrawn at most every 100 ms has no use for every item's report.
    [[nodiscard]] bool followsEachItem() const override { return false; }
    /// Replaces "folders N  files N" with `text` (a copy's files and bytes).
    void counts(std::string text);
    /// The bar's position and the counts beside it at once, so that no line
    /// is drawn with one of them new and the other old.
    void update(std::uint32_t position, std::string text);
    /// Clears the line (done before anything else is printed).
    void finish();

    /// The line as it would be drawn now, without the leading carriage return.
    [[nodiscard]] std::string line() const;

private:
    void draw();
    std::string m_what;
    std::string m_status;
    std::optional<catalogue::StatusReport> m_report; ///< the status, when reported as a code
    std::string m_counts;
    std::uint32_t m_position = 0;
    std::uint32_t m_folders = 0;
    std::uint32_t m_files = 0;
    bool m_enabled;
    std::size_t m_columns; ///< the terminal's width
    bool m_drawn = false;
    std::string m_lastLine;
    std::chrono::steady_clock::time_point m_last{};
};

} // namespace sarvik::cli
