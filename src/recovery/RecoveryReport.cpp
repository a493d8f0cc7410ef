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
    case FileOutcome::CutAtVolumeEnd:
        return "cut at the volume's end";
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

namespace {

std::string ofSize(const FileReport& r)
{
    return std::to_string(r.bytesWritten) + " of " + std::to_string(r.size) + " bytes";
}

std::string because(const FileReport& r)
{
    return r.error.empty() ? std::string{} : " (" + r.error + ")";
}

} // namespace

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
    case FileOutcome::CutAtVolumeEnd:
        ++t.cutAtVolumeEnd;
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
