#include "cli/Progress.h"

#include "platform/Console.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace sarvik::cli {

namespace {
/// A terminal line is redrawn at most this often; engines report far more often.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kBarWidth = 12;
/// The status takes what the terminal has left after the rest, at least this.
constexpr std::size_t kMinStatusColumns = 30;
} // namespace

TerminalProgress::TerminalProgress(std::string what)
    : m_what(std::move(what)), m_enabled(platform::standardErrorIsTerminal()),
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
    m_status = text;
    std::replace(m_status.begin(), m_status.end(), '\\', '/');
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

std::string TerminalProgress::line() const
{
    const int filled = static_cast<int>(m_position) * kBarWidth / 100;
    std::string text = m_what + " [" + std::string(static_cast<std::size_t>(filled), '#') +
                       std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') + "] ";
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3u%%", m_position);
    text += percent;
    text += "  ";
    text += m_counts.empty() ? "folders " + std::to_string(m_folders) + "  files " + std::to_string(m_files) : m_counts;
    text += "  ";
    // The status is cut to its columns at a character boundary, then padded so
    // that a shorter text covers a longer one drawn before it. The line stays
    // within the terminal (the column after it left free): a line that wraps
    // cannot be drawn over.
    const std::size_t statusColumns =
        std::max(kMinStatusColumns, m_columns > text.size() + 1 ? m_columns - text.size() - 1 : 0);
    // A status too long for them loses its phase ("Searching free space: ")
    // before its figures.
    std::string_view status = m_status;
    if (const auto colon = status.find(": "); colon != std::string_view::npos && status.size() > statusColumns)
        status.remove_prefix(colon + 2);
    std::size_t bytes = 0;
    std::size_t columns = 0;
    while (bytes < status.size() && columns < statusColumns) {
        ++bytes;
        while (bytes < status.size() && (static_cast<unsigned char>(status[bytes]) & 0xC0) == 0x80)
            ++bytes;
        ++columns;
    }
    text += status.substr(0, bytes);
    text.append(statusColumns - columns, ' ');
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
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        m_drawn = false;
        m_lastLine.clear();
    }
}

} // namespace sarvik::cli
