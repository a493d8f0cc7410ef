// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the deep search's strip says when a search of free space ends, and
// whether what it found may replace what the page shows.

#include <cstddef>
#include <string>

namespace sarvik::scan {
class ScanSession;
}

namespace sarvik::session {

/// Whether a copy of a search's results may replace what the page shows: it
/// holds at least as many folders and files (the search scans the volume
/// again first; stopped in that part, or on a volume that changed, it holds
/// less) and, with `needMore`, more of one of them.
[[nodiscard]] bool holdsAtLeast(const scan::ScanSession& found, const scan::ScanSession& shown, bool needMore);

/// The strip's text when the search that started with `baseFolders` and
/// `baseFiles` listed ends with `found`; `stopped`: its Stop ended it.
[[nodiscard]] std::string deepSearchOutcome(const scan::ScanSession& found, std::size_t baseFolders,
                                            std::size_t baseFiles, bool stopped);

/// The strip's text when the search holds less than the page shows.
[[nodiscard]] std::string deepSearchFoundLess(bool stopped);

} // namespace sarvik::session
