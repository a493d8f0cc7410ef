// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which files ls, find and recover take: by name pattern (--filter), size,
// modification time and number (--id). One check serves every command.

#include "cli/Options.h"
#include "scan/ScanSession.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sarvik::cli {

/// What the selection looks at in one file of the catalogue.
struct FileFacts {
    std::uint64_t id = 0;     ///< what --id matches: MFT record number (NTFS) or entry address (FAT, exFAT)
    std::uint64_t number = 0; ///< MFT record number (NTFS) or first cluster (FAT), as numberField names it
    std::uint64_t size = 0;
    /// The write time in seconds since 1970 (UTC); FAT's local time read in
    /// this machine's zone. Nothing when the entry has none.
    std::optional<std::int64_t> modified;
};

/// The facts of entry `fileIndex` of the session's file list.
[[nodiscard]] FileFacts fileFacts(const scan::ScanSession& session, std::size_t fileIndex);

class Selection {
public:
    /// Reads --filter, --min-size, --max-size, --since, --until and --id.
    /// Nothing when they are all sound, else the usage error's message.
    [[nodiscard]] std::optional<std::string> read(const ParsedArgs& args);

    /// Adds the --filter patterns to the session's filters (as the catalogue
    /// holds names). Nothing when they are accepted, else the message.
    [[nodiscard]] std::optional<std::string> applyFilters(scan::ScanSession& session) const;

    /// Nothing when the limits can be checked on `session`, else why not: a
    /// snapshot that kept no FAT entry addresses cannot be selected from by --id.
    [[nodiscard]] std::optional<std::string> checkSession(const scan::ScanSession& session) const;

    /// Whether size, time or number limits were given (the name patterns aside).
    [[nodiscard]] bool limits() const noexcept;
    /// Whether file `fileIndex` passes the size, time and number limits.
    [[nodiscard]] bool passesLimits(const scan::ScanSession& session, std::size_t fileIndex) const;
    /// Whether it passes those and the name patterns too.
    [[nodiscard]] bool passes(const scan::ScanSession& session, std::size_t fileIndex) const;

private:
    std::vector<std::string> m_filters;
    std::optional<std::uint64_t> m_minSize;
    std::optional<std::uint64_t> m_maxSize;
    std::optional<std::int64_t> m_since;
    std::optional<std::int64_t> m_until;
    std::vector<std::uint64_t> m_ids;
};

/// Bytes of "1500", "64K", "1.5M", "2G" (K, M, G: powers of 1024); nothing when not a size.
[[nodiscard]] std::optional<std::uint64_t> parseSize(const std::string& text);

} // namespace sarvik::cli
