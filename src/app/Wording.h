// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the desktop program words what the core reports: counts for plural
// forms and the core's status codes put into the user's language.

#include "catalogue/StatusReport.h"

#include <QString>

#include <cstddef>

#include <algorithm>
#include <climits>
#include <cstdint>

namespace sarvik::recovery {
class RecoveryReport;
}
namespace sarvik::scan {
class ScanSession;
}
namespace sarvik::session {
struct CopyRequest;
}

namespace sarvik::app {

/// The count a translated text chooses its plural form by. Counts past int's
/// range take the last form; the text shows the true number through %1.
inline int pluralCount(std::uint64_t n)
{
    return static_cast<int>(std::min<std::uint64_t>(n, INT_MAX));
}

/// A byte count as the status lines give it, in the user's language and with
/// the locale's digits: "512 bytes", "4.0 KB", "59.1 GB" (decimal units).
[[nodiscard]] QString byteSizeWords(std::uint64_t bytes);
/// A time left: "40 s", "12 min", "2 h 5 min" (rounded; 1 s at least).
[[nodiscard]] QString durationWords(double seconds);

/// An engine's status in the user's language. `mftRecordSectors` other than 0
/// counts an MFT walk in records of that many sectors rather than in sectors
/// (the thorough rules on NTFS).
[[nodiscard]] QString statusWords(const catalogue::StatusReport& report, std::uint64_t mftRecordSectors = 0);

/// The deep search strip's last word, as session::deepSearchOutcome says it
/// in English: what the search that started with `baseFolders` and
/// `baseFiles` listed added in `found`; `stopped`: its Stop ended it.
[[nodiscard]] QString deepSearchOutcomeWords(const scan::ScanSession& found, std::size_t baseFolders,
                                             std::size_t baseFiles, bool stopped);
/// The strip's word when the search holds less than the page shows.
[[nodiscard]] QString deepSearchFoundLessWords(bool stopped);

/// The end-of-recovery box's text, as session::recoverySummary words it in
/// English: how many of the files asked for were copied into `folder`, what
/// did not come back whole, and what was left out on purpose.
[[nodiscard]] QString recoverySummaryWords(const recovery::RecoveryReport& report, const QString& folder,
                                           const session::CopyRequest& request);

} // namespace sarvik::app
