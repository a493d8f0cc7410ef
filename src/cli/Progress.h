#pragma once
// A progress line on standard error while an engine runs, drawn only when
// standard error is a terminal.

#include "catalogue/ScanObserver.h"

#include <chrono>
#include <string>

namespace sarvik::cli {

class TerminalProgress final : public catalogue::ScanObserver {
public:
    explicit TerminalProgress(std::string what);
    ~TerminalProgress() override;
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    void foldersFound(std::uint32_t count) override { m_folders = count; }
    void filesFound(std::uint32_t count) override { m_files = count; }
    void status(const std::string& text) override;
    void progress(std::uint32_t position) override;
    /// Clears the line (done before anything else is printed).
    void finish();

private:
    void draw(bool force);
    std::string m_what;
    std::string m_status;
    std::uint32_t m_position = 0;
    std::uint32_t m_folders = 0;
    std::uint32_t m_files = 0;
    bool m_enabled;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_last{};
};

} // namespace sarvik::cli
