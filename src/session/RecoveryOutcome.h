// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a copy was asked for and what it did, as the box that ends every copy
// says it: the files a copy of some rows takes, the headline ("28,360 of
// 100,000 files copied; stopped."), the summary and the files that did not
// come back whole.

#include "catalogue/FileList.h"
#include "recovery/FileRecovery.h"
#include "recovery/RecoveryReport.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sarvik::scan {
class ScanSession;
}

namespace sarvik::session {

/// The files a copy of `rows` takes (the selected ones under Selected): each
/// file row, and every file of the tree below each folder row, as the copy walks it.
[[nodiscard]] std::uint64_t plannedFiles(const scan::ScanSession& session, const std::vector<catalogue::FileRow>& rows,
                                         recovery::RecoveryMode mode, const std::vector<bool>& selected);

/// What a copy was asked for and how it ended.
struct CopyRequest {
    std::uint64_t planned = 0; ///< files asked for
    bool stopped = false;      ///< Stop Saving was pressed
};

/// How a count is written (a front end groups digits as its locale does).
using CountText = std::function<std::string(std::uint64_t)>;

/// The box's first line: "28,360 of 100,000 files copied; stopped."
[[nodiscard]] std::string outcomeHeadline(const recovery::RecoveryReport& report, CopyRequest request,
                                          const CountText& count = {});

struct RecoverySummary {
    std::string text;                 ///< the headline, then what came back whole and what did not
    std::vector<std::string> details; ///< one line per file or folder that did not come back whole
    bool losses = false;              ///< something did not come back whole
};
/// The box that ends a copy into `folder` (UTF-8).
[[nodiscard]] RecoverySummary recoverySummary(const recovery::RecoveryReport& report, const std::string& folder,
                                              CopyRequest request, const CountText& count = {});

} // namespace sarvik::session
