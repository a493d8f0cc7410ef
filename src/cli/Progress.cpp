// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Progress.h"

#include "disk/Trace.h"
#include "platform/Console.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace sarvik::cli {

namespace {
/// A terminal line is redrawn at most this often; engines report far more often.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kBarWidth = 12;
} // namespace

TerminalProgress::TerminalProgress(std::string what)
    : m_what(std::move(what)), m_enabled(platform::standardErrorIsTerminal() && !disk::tracing()),
      m_columns(m_enabled ? platform::terminalColumns() : 80)
{
}

TerminalProgress::~TerminalProgress()
{
    finish();
}

void TerminalProgress::foldersFound(std::uint32_t count)
{
    m_folders = count;
    draw();
}

void TerminalProgress::filesFound(std::uint32_t count)
{
    m_files = count;
    draw();
}

void TerminalProgress::status(const std::string& text)
{
    m_report.reset();
    m_status = text;
    std::replace(m_status.begin(), m_status.end(), '\\', '/');
    draw();
}

void TerminalProgress::report(const catalogue::StatusReport& what)
{
    m_report = what;
    draw();
}

void TerminalProgress::progress(std::uint32_t position)
{
    m_position = std::min<std::uint32_t>(position, 100);
    draw();
}

void TerminalProgress::counts(std::string text)
{
    m_counts = std::move(text);
    draw();
}

void TerminalProgress::update(std::uint32_t position, std::string text)
{
    m_position = std::min<std::uint32_t>(position, 100);
    m_counts = std::move(text);
    draw();
}

std::string TerminalProgress::line() const
{
    const std::string counts =
        m_counts.empty() ? "folders " + std::to_string(m_folders) + "  files " + std::to_string(m_files) : m_counts;
    if (m_report) {
        std::string status = catalogue::statusEnglish(*m_report);
        std::replace(status.begin(), status.end(), '\\', '/');
        return progressLine(m_what, m_position, counts, status, m_columns);
    }
    return progressLine(m_what, m_position, counts, m_status, m_columns);
}

namespace {

/// The bytes of the first `columns` characters of UTF-8 `text`, and how many
/// columns they take.
std::pair<std::size_t, std::size_t> fitColumns(std::string_view text, std::size_t columns)
{
    std::size_t bytes = 0;
    std::size_t taken = 0;
    while (bytes < text.size() && taken < columns) {
        ++bytes;
        while (bytes < text.size() && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80)
            ++bytes;
        ++taken;
    }
    return {bytes, taken};
}

/// The bytes of the last `columns` characters of UTF-8 `text`.
std::size_t tailBytes(std::string_view text, std::size_t columns)
{
    std::size_t bytes = 0;
    for (std::size_t taken = 0; bytes < text.size() && taken < columns; ++taken) {
        ++bytes;
        while (bytes < text.size() && (static_cast<unsigned char>(text[text.size() - bytes]) & 0xC0) == 0x80)
            ++bytes;
    }
    return bytes;
}

} // namespace

std::string progressLine(const std::string& what, std::uint32_t position, const std::string& counts,
                         std::string_view status, std::size_t columns)
{
    const int filled = static_cast<int>(std::min<std::uint32_t>(position, 100)) * kBarWidth / 100;
    std::string text = what + " [" + std::string(static_cast<std::size_t>(filled), '#') +
                       std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') + "] ";
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3u%%", std::min<std::uint32_t>(position, 100));
    text += percent;
    text += "  " + counts + "  ";
    // The line stays within the terminal, the column after it left free: a
    // line that wraps cannot be drawn over. The status takes what is left, cut
    // at a character boundary and padded so that a shorter text covers a
    // longer one drawn before it; on a narrow terminal the line itself is cut.
    const std::size_t room = columns > 1 ? columns - 1 : 0;
    if (text.size() >= room) {
        text.resize(fitColumns(text, room).first);
        return text;
    }
    const std::size_t statusColumns = room - text.size();
    // A status too long for them loses its phase ("Searching free space: ")
    // before its figures.
    if (const auto colon = status.find(": "); colon != std::string_view::npos && status.size() > statusColumns)
        status.remove_prefix(colon + 2);
    // A path keeps its end, the file's own name: "…/DCIM/100CAMERA/IMG_0042.JPG".
    if (status.find('/') != std::string_view::npos && fitColumns(status, statusColumns).first < status.size() &&
        statusColumns > 1) {
        text += "\u2026";
        const std::size_t tail = tailBytes(status, statusColumns - 1);
        text += status.substr(status.size() - tail);
        text.append(statusColumns - 1 - fitColumns(status.substr(status.size() - tail), statusColumns).second, ' ');
        return text;
    }
    const auto [bytes, taken] = fitColumns(status, statusColumns);
    text += status.substr(0, bytes);
    text.append(statusColumns - taken, ' ');
    return text;
}

void TerminalProgress::draw()
{
    if (!m_enabled)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (m_drawn && now - m_last < kRedrawInterval)
        return;
    std::string text = line();
    if (m_drawn && text == m_lastLine)
        return;
    m_last = now;
    std::fprintf(stderr, "\r%s", text.c_str());
    std::fflush(stderr);
    m_lastLine = std::move(text);
    m_drawn = true;
}

void TerminalProgress::finish()
{
    if (m_enabled && m_drawn) {
        // A terminal without control sequences (TERM=dumb, or NO_COLOR asked
        // for plain output) has the line written over with spaces.
        const char* term = std::getenv("TERM");
        if (std::getenv("NO_COLOR") != nullptr || term == nullptr || std::string_view(term) == "dumb")
            std::fprintf(stderr, "\r%s\r",
                         std::string(std::min(m_lastLine.size(), m_columns > 1 ? m_columns - 1 : 0), ' ').c_str());
        else
            std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        m_drawn = false;
        m_lastLine.clear();
    }
}

} // namespace sarvik::cli
