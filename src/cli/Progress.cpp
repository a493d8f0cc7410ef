#include "cli/Progress.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace sarvik::cli {

TerminalProgress::TerminalProgress(std::string what) : m_what(std::move(what)), m_enabled(::isatty(2) != 0) {}

TerminalProgress::~TerminalProgress()
{
    finish();
}

void TerminalProgress::status(const std::string& text)
{
    m_status = text;
    draw(true);
}

void TerminalProgress::progress(std::uint32_t position)
{
    m_position = std::min<std::uint32_t>(position, 100);
    draw(false);
}

void TerminalProgress::draw(bool force)
{
    if (!m_enabled)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && m_drawn && now - m_last < std::chrono::milliseconds(100))
        return;
    m_last = now;
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(m_position) * kWidth / 100;
    std::fprintf(stderr, "\r%s [%.*s%*s] %3u%%  folders %u  files %u  %-30.30s", m_what.c_str(), filled,
                 "##############################", kWidth - filled, "", m_position, m_folders, m_files,
                 m_status.c_str());
    std::fflush(stderr);
    m_drawn = true;
}

void TerminalProgress::finish()
{
    if (m_enabled && m_drawn) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        m_drawn = false;
    }
}

} // namespace sarvik::cli
