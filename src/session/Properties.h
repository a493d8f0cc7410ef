// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the properties box of a row says: its name, size and dates and, for a
// folder, what it holds, counted over the catalogue (not the filtered list).

#include "catalogue/Catalogue.h"
#include "catalogue/FileList.h"
#include "catalogue/FolderTree.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sarvik::scan {
class ScanSession;
}

namespace sarvik::session {

/// A file's size text: size / 1024 + 1, then " KB" (0 and 1023 bytes give 1 KB).
[[nodiscard]] std::string fileSizeText(std::uint64_t size);

/// What a folder holds: itself and every folder below it in the tree, and the
/// deleted files listed in any of them.
struct FolderTotals {
    std::uint64_t files = 0;
    std::uint64_t folders = 0; ///< including the folder itself
    std::uint64_t bytes = 0;
};
[[nodiscard]] FolderTotals countFolder(const catalogue::Catalogue& catalogue, const catalogue::FolderTree& tree,
                                       const catalogue::CatalogueIndex& index, std::uint32_t treeItem);
/// "N File(s) and M Folder(s)", the folder itself not counted.
[[nodiscard]] std::string contentsText(const FolderTotals& totals);
/// bytes / 1024 / 1024, or "Less than 1", then " MB".
[[nodiscard]] std::string folderSizeText(const FolderTotals& totals);

/// Where an entry's data lies, for a front end that words it itself.
struct DataPlace {
    enum class Kind {
        None,        ///< a folder, or nothing known
        Chain,       ///< FAT and exFAT: by the FAT's chain from `first`
        Consecutive, ///< exFAT without a chain: consecutive clusters from `first`
        Carved,      ///< found by content: consecutive clusters from `first`
        InRecord,    ///< NTFS: the data inside MFT record `first`
        Runs,        ///< NTFS: MFT record `first`, its data in `runs`
    };
    Kind kind = Kind::None;
    std::uint64_t first = 0;                  ///< the first cluster, or the MFT record's number
    std::vector<catalogue::NtfsDataRun> runs; ///< the first few runs
    bool moreRuns = false;                    ///< runs past those in `runs`
};
/// The place of `entry`'s data, at most `kPlaceRunsShown` runs of it.
inline constexpr std::size_t kPlaceRunsShown = 8;
[[nodiscard]] DataPlace dataPlace(const catalogue::Entry& entry);

/// The box's values, UTF-8; `contents` is empty for a file. `created` and
/// `modified` are as the list's columns show them; the other times are whole
/// (date and time of day) and empty where the file system keeps none.
struct RowProperties {
    std::string name, size, contents, created, modified;
    bool folder = false;
    std::uint64_t bytes = 0;                  ///< the file's size, or all the files a folder holds
    FolderTotals totals;                      ///< a folder's, for a front end that words them itself
    std::string path;                         ///< from the root, "/" between names
    std::string condition;                    ///< files: the Condition column's word and the clusters it counted
    std::string conditionWord;                ///< files: the Condition column's word alone
    std::uint64_t conditionClusters = 0;      ///< clusters the condition counted (0: none)
    std::uint64_t conditionClustersInUse = 0; ///< of them, in use by something else
    std::string clusters;                     ///< where the data lies, as the scan found it
    DataPlace place;                          ///< the same, for a front end that words it itself
    std::string createdTime, modifiedTime, accessedTime, changedTime;
};
/// A time with its time of day where the file system keeps one; empty for none
/// (no field, or a FAT date of day or month 0).
[[nodiscard]] std::string wholeTimeText(const catalogue::EntryTime& time);

[[nodiscard]] RowProperties rowProperties(const scan::ScanSession& session, const catalogue::FileRow& row);

} // namespace sarvik::session
