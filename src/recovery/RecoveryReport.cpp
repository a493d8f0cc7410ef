#include "recovery/RecoveryReport.h"

namespace sarvik::recovery {

const char* outcomeText(FileOutcome outcome) noexcept
{
    switch (outcome) {
    case FileOutcome::Written:
        return "written";
    case FileOutcome::CutShort:
        return "cut short";
    case FileOutcome::Incomplete:
        return "incomplete";
    case FileOutcome::Filtered:
        return "filtered out";
    case FileOutcome::DuplicateSkipped:
        return "skipped (exists)";
    case FileOutcome::CreateFailed:
        return "could not be created";
    case FileOutcome::WriteFailed:
        return "write failed";
    case FileOutcome::NothingToWrite:
        return "nothing to write";
    case FileOutcome::Unreadable:
        return "record unreadable";
    }
    return "?";
}

void RecoveryReport::add(FileReport report)
{
    auto& t = m_totals;
    const bool wrote = report.outcome == FileOutcome::Written || report.outcome == FileOutcome::CutShort ||
                       report.outcome == FileOutcome::Incomplete;
    if (wrote && report.clustersInUse != 0)
        ++t.writtenFromUsedClusters;
    switch (report.outcome) {
    case FileOutcome::Written:
        ++t.written;
        break;
    case FileOutcome::CutShort:
        ++t.cutShort;
        break;
    case FileOutcome::Incomplete:
        ++t.incomplete;
        break;
    case FileOutcome::Filtered:
        ++t.filtered;
        break;
    case FileOutcome::DuplicateSkipped:
        ++t.duplicatesSkipped;
        break;
    case FileOutcome::CreateFailed:
    case FileOutcome::WriteFailed:
    case FileOutcome::Unreadable:
        ++t.failed;
        break;
    case FileOutcome::NothingToWrite:
        ++t.nothingToWrite;
        break;
    }
    t.zeroFilledBlocks += report.zeroFilledBlocks;
    if (report.zeroFilledBlocks != 0)
        ++t.filesWithZeroFill;
    t.bytesWritten += report.bytesWritten;
    m_files.push_back(std::move(report));
}

void RecoveryReport::folderFailed(const std::string& path)
{
    ++m_totals.foldersFailed;
    m_failedFolders.push_back(path);
}

void RecoveryReport::clear()
{
    m_files.clear();
    m_failedFolders.clear();
    m_totals = {};
}

} // namespace sarvik::recovery
