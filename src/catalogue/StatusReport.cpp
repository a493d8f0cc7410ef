// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/StatusReport.h"

#include "catalogue/ReadProgress.h"

namespace sarvik::catalogue {

std::string statusEnglish(const StatusReport& report)
{
    const auto count = [&report](const char* phase) {
        return std::string(phase) + ": " + std::to_string(report.done) + " of " + std::to_string(report.total);
    };
    switch (report.code) {
    case StatusCode::CreatingDirectoryTree:
        return "Creating Directory Tree";
    case StatusCode::SearchingForLostData:
        return "Searching For Lost Data";
    case StatusCode::LookingForOrphanedFolders:
        return "Looking for orphaned folders";
    case StatusCode::ReadingRootFolder:
        return "Reading the root folder";
    case StatusCode::ReadingFolders:
        return count("Reading folders");
    case StatusCode::PlacingLostFolders:
        return count("Placing lost folders");
    case StatusCode::ReadingMftSectors:
        return "Reading " + std::to_string(report.done) + "\\" + std::to_string(report.total);
    case StatusCode::ReadingMftRecordsInFreeSpace:
        return "Reading MFT records found in free space";
    case StatusCode::SearchingFreeSpace:
        return ReadProgress::statusText("Searching free space", report.done, report.total, report.secondsLeft);
    case StatusCode::SearchingFreeClustersForFiles:
        return ReadProgress::statusText("Searching free clusters for files", report.done, report.total,
                                        report.secondsLeft);
    case StatusCode::SearchingForLostVolumes:
        return ReadProgress::statusText("Searching for lost volumes", report.done, report.total, report.secondsLeft);
    }
    return {};
}

} // namespace sarvik::catalogue
