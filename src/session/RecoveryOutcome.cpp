// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/RecoveryOutcome.h"

#include "scan/ScanSession.h"
#include "session/DisplayText.h"
#include "session/EntryAccess.h"

#include <algorithm>

namespace sarvik::session {

namespace {

std::string n(std::uint64_t value)
{
    return std::to_string(value);
}

} // namespace

std::uint64_t plannedFiles(const scan::ScanSession& s, const std::vector<catalogue::FileRow>& rows,
                           recovery::RecoveryMode mode, const std::vector<bool>& selected)
{
    std::uint64_t files = 0;
    std::vector<const catalogue::TreeNode*> pending;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (mode == recovery::RecoveryMode::Selected && (i >= selected.size() || !selected[i]))
            continue;
        const catalogue::FileRow& row = rows[i];
        if (!isFolderRow(row)) {
            ++files;
            continue;
        }
        const catalogue::TreeNode* top = s.tree.node(static_cast<std::uint32_t>(row.key));
        if (top == nullptr || top->folderIndex < 0)
            continue;
        pending.push_back(top);
        while (!pending.empty()) {
            const catalogue::TreeNode* node = pending.back();
            pending.pop_back();
            files += s.index().filesIn(node->key).size();
            for (const std::uint32_t child : node->children)
                if (const catalogue::TreeNode* c = s.tree.node(child); c != nullptr && c->folderIndex >= 0)
                    pending.push_back(c);
        }
    }
    return files;
}

std::string outcomeHeadline(const recovery::RecoveryReport& report, CopyRequest request, const CountText& count)
{
    // Written counts every file that was created, whole or not; what did not
    // come back whole is told below it.
    const CountText& text = count ? count : CountText(n);
    std::string headline = text(report.totals().written) + " of " + text(request.planned) + " files copied";
    if (request.stopped)
        headline += "; stopped";
    return headline + '.';
}

RecoverySummary recoverySummary(const recovery::RecoveryReport& report, const std::string& folder, CopyRequest request,
                                const CountText& count)
{
    RecoverySummary summary;
    const std::size_t losses = report.lossCount();
    const recovery::RecoveryTotals& t = report.totals();
    for (const recovery::FileReport& f : report.files()) {
        if (const std::string loss = recovery::lossText(f); !loss.empty())
            summary.details.push_back(displayName(f.path, true) + ": " + loss);
        else if (f.clustersInUse != 0)
            summary.details.push_back(displayName(f.path, true) + ": written from " + n(f.clustersInUse) +
                                      " cluster(s) now in use by other files");
    }
    for (const std::string& f : report.failedFolders())
        summary.details.push_back(displayName(f, true) + ": folder could not be created");
    const std::uint32_t whole = t.written - std::min(t.written, t.filesWithZeroFill);
    std::string& text = summary.text;
    text = outcomeHeadline(report, request, count) + "\n\n";
    if (losses == 0)
        text += n(whole) + " file(s) were written whole to " + folder + ".";
    else
        text += n(losses) + " file(s) or folder(s) in " + folder + " did not come back whole: " + n(t.cutShort) +
                " cut short, " + n(t.incomplete) + " incomplete, " + n(t.filesWithZeroFill) +
                " with unreadable blocks written as zeros, " + n(t.failed) + " not written, " + n(t.foldersFailed) +
                " folder(s) not created. " + n(whole) + " file(s) were written whole.";
    if (t.writtenFromUsedClusters != 0)
        text += "\n\n" + n(t.writtenFromUsedClusters) +
                " file(s) were written from clusters now in use: they may hold another file's data.";
    if (t.nothingToWrite != 0 || t.filtered != 0 || t.duplicatesSkipped != 0)
        text += "\n\nNot written on purpose: " + n(t.nothingToWrite) + " with no data to write, " + n(t.filtered) +
                " left out by the file filters, " + n(t.duplicatesSkipped) + " skipped because the name existed.";
    summary.losses = losses != 0;
    return summary;
}

} // namespace sarvik::session
