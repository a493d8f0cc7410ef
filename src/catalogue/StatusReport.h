// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What an engine is doing, as a code with its numbers: each front end words it
// in its own language (the command-line program and the tests in English,
// through statusEnglish).

#include <cstdint>
#include <string>

namespace sarvik::catalogue {

enum class StatusCode {
    CreatingDirectoryTree,
    SearchingForLostData,
    LookingForOrphanedFolders,
    ReadingRootFolder,
    ReadingFolders,     ///< done: the folder at, total: of those known
    PlacingLostFolders, ///< done: the folder at, total: of those found
    ReadingMftSectors,  ///< done, total: sectors of the MFT
    ReadingMftRecordsInFreeSpace,
    SearchingFreeSpace,            ///< done, total: bytes; secondsLeft once known
    SearchingFreeClustersForFiles, ///< done, total: bytes; secondsLeft once known
    SearchingForLostVolumes,       ///< done, total: bytes; secondsLeft once known
};

struct StatusReport {
    StatusCode code = StatusCode::CreatingDirectoryTree;
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    double secondsLeft = -1; ///< below 1: not known (or not worth saying)
};

/// The status line in English: "Creating Directory Tree", "Reading folders: 3 of 10",
/// "Reading 2048\80000", "Searching free space: 1.2 GB of 59.1 GB, 12 min left".
[[nodiscard]] std::string statusEnglish(const StatusReport& report);

} // namespace sarvik::catalogue
