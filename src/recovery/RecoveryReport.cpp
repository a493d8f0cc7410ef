// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/RecoveryReport.h"

#include <array>

namespace sarvik::recovery {

namespace {

/// An outcome's word in summaries and the total that counts it.
struct OutcomeRule {
    FileOutcome outcome;
    const char* text;
    std::uint32_t RecoveryTotals::*total;
};

constexpr std::array<OutcomeRule, 10> kOutcomes{{
    {FileOutcome::Written, "written", &RecoveryTotals::written},
    {FileOutcome::CutShort, "cut short", &RecoveryTotals::cutShort},
    {FileOutcome::Incomplete, "incomplete", &RecoveryTotals::incomplete},
    {FileOutcome::CutAtVolumeEnd, "cut at the volume's end", &RecoveryTotals::cutAtVolumeEnd},
    {FileOutcome::Filtered, "filtered out", &RecoveryTotals::filtered},
    {FileOutcome::DuplicateSkipped, "skipped (exists)", &RecoveryTotals::duplicatesSkipped},
    {FileOutcome::CreateFailed, "could not be created", &RecoveryTotals::failed},
    {FileOutcome::WriteFailed, "write failed", &RecoveryTotals::failed},
    {FileOutcome::NothingToWrite, "nothing to write", &RecoveryTotals::nothingToWrite},
    {FileOutcome::Unreadable, "record unreadable", &RecoveryTotals::failed},
}};

// The table is looked up by the outcome's value.
static_assert([] {
    for (std::size_t i = 0; i < kOutcomes.size(); ++i)
        if (static_cast<std::size_t>(kOutcomes[i].outcome) != i)
            return false;
    return static_cast<std::size_t>(FileOutcome::Unreadable) + 1 == kOutcomes.size();
}());

const OutcomeRule* ruleOf(FileOutcome outcome) noexcept
{
    const auto i = static_cast<std::size_t>(outcome);
    return i < kOutcomes.size() ? &kOutcomes[i] : nullptr;
}

std::string ofSize(const FileReport& r)
{
    return std::to_string(r.bytesWritten) + " of " + std::to_string(r.size) + " bytes";
}

std::string because(const FileReport& r)
{
    return r.error.empty() ? std::string{} : " (" + r.error + ")";
}

} // namespace

const char* outcomeText(FileOutcome outcome) noexcept
{
    const OutcomeRule* rule = ruleOf(outcome);
    return rule != nullptr ? rule->text : "?";
}

std::string lossText(const FileReport& r)
{
    std::string zeros;
    if (r.zeroFilledBlocks != 0)
        zeros = std::to_string(r.zeroFilledBlocks) + " unreadable block(s) written as zeros";
    switch (r.outcome) {
    case FileOutcome::Written:
        return zeros.empty() ? std::string{} : "incomplete: " + zeros;
    case FileOutcome::CutShort:
        return "cut short at " + ofSize(r) + (zeros.empty() ? "" : "; " + zeros);
    case FileOutcome::Incomplete:
        if (!r.error.empty())
            return "incomplete: " + r.error + (zeros.empty() ? "" : "; " + zeros);
        return "incomplete: " + ofSize(r) + " written, the data ends there" + (zeros.empty() ? "" : "; " + zeros);
    case FileOutcome::CutAtVolumeEnd:
        return "cut at the volume's end after " + ofSize(r) + ": the rest would lie past its last cluster" +
               (zeros.empty() ? "" : "; " + zeros);
    case FileOutcome::WriteFailed:
        return "incomplete: writing failed after " + ofSize(r) + because(r);
    case FileOutcome::CreateFailed:
        return "not written: could not be created" + because(r);
    case FileOutcome::Unreadable:
        return "not written: its MFT record could not be read";
    case FileOutcome::NothingToWrite:
        return r.size == 0 ? std::string{} : "not written: no data left to copy";
    case FileOutcome::Filtered:
    case FileOutcome::DuplicateSkipped:
        return {};
    }
    return "not written";
}

std::size_t RecoveryReport::lossCount() const
{
    std::size_t count = m_failedFolders.size();
    for (const FileReport& f : m_files)
        count += lossText(f).empty() ? 0U : 1U;
    return count;
}

void RecoveryReport::add(FileReport report)
{
    auto& t = m_totals;
    const bool wrote = report.outcome == FileOutcome::Written || report.outcome == FileOutcome::CutShort ||
                       report.outcome == FileOutcome::Incomplete || report.outcome == FileOutcome::CutAtVolumeEnd;
    if (wrote && report.clustersInUse != 0)
        ++t.writtenFromUsedClusters;
    if (const OutcomeRule* rule = ruleOf(report.outcome))
        ++(t.*rule->total);
    t.zeroFilledBlocks += report.zeroFilledBlocks;
    if (report.zeroFilledBlocks != 0)
        ++t.filesWithZeroFill;
    t.bytesWritten += report.bytesWritten;
    m_files.push_back(std::move(report));
}

void RecoveryReport::folderFailed(const std::string& path, const std::string& why)
{
    ++m_totals.foldersFailed;
    m_failedFolders.push_back(path);
    m_failedFolderReasons.push_back(why);
}

void RecoveryReport::clear()
{
    m_files.clear();
    m_failedFolders.clear();
    m_failedFolderReasons.clear();
    m_totals = {};
}

} // namespace sarvik::recovery
