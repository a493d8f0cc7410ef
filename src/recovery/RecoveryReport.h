// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What happened to each file of a copy, kept in one place so that the CLI
// summary and the GUI read the same facts.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sarvik::recovery {

enum class FileOutcome {
    Written,          ///< created and written to its size
    CutShort,         ///< created, then Skip File or Stop ended it before its size
    Incomplete,       ///< created, but not all of it could be read: the runs ended before its size, the image
                      ///< ends before its data, or compressed data could not be read or decoded
    CutAtVolumeEnd,   ///< created and cut where its clusters would run past the volume's last one
    Filtered,         ///< left out by the file filters (no message)
    DuplicateSkipped, ///< the name existed and the policy is Skip
    CreateFailed,     ///< the file could not be created
    WriteFailed,      ///< created, but writing to it failed (a full disk, for one)
    NothingToWrite,   ///< an NTFS file with no data to copy (size 0, no data attribute, ...)
    Unreadable,       ///< the MFT record of an NTFS file could not be read
};

/// The outcome's word in summaries: "written", "cut short", ...
[[nodiscard]] const char* outcomeText(FileOutcome outcome) noexcept;

struct FileReport {
    std::string path;       ///< where it was (or would have been) written, as shown to the user
    std::string name;       ///< the name written (UTF-8), after any duplicate renaming
    std::uint64_t size = 0; ///< bytes the catalogue gives
    std::uint64_t bytesWritten = 0;
    std::uint32_t zeroFilledBlocks = 0; ///< blocks that could not be read and were written as zeros
    /// Clusters the copy read that are now in use by something else (deleted files only).
    std::uint64_t clustersInUse = 0;
    FileOutcome outcome = FileOutcome::Written;
    /// The system's reason when the file could not be created or written; for an
    /// incomplete file, why it is (when not only that its data ended).
    std::string error;
    /// SHA-256 of the bytes written (lower-case hex) when the destination hashes
    /// what it writes; nothing when it does not or no file was created.
    std::optional<std::string> sha256;
    /// The name the destination refused (its file system does not take some
    /// of its characters) when the file was written under another; else empty.
    std::string refusedName;
    /// Why the file was written under another name when it was not for
    /// characters the destination refused: the name is longer than the
    /// destination takes, or holds characters that reorder how it is shown.
    /// Empty otherwise.
    std::string renamedBecause;
    /// Why a file that was created has no sha256 (a failed write left bytes
    /// the digest cannot know); empty otherwise.
    std::string hashMissing;
    /// Index into the kind's catalogue file list of the file copied, when the
    /// copy came from a folder copy or a file-list row.
    std::optional<std::size_t> fileIndex;
};

/// What happened to a file that did not come back whole ("cut short at 512 of
/// 2048 bytes", "not written: could not be created (Permission denied)", ...);
/// empty when it did, or when leaving it out was asked for (filters, duplicates).
[[nodiscard]] std::string lossText(const FileReport& report);

struct RecoveryTotals {
    std::uint32_t written = 0;
    std::uint32_t cutShort = 0;
    std::uint32_t incomplete = 0;
    std::uint32_t cutAtVolumeEnd = 0;
    std::uint32_t filtered = 0;
    std::uint32_t duplicatesSkipped = 0;
    std::uint32_t failed = 0; ///< creation or write failures, and unreadable records
    std::uint32_t nothingToWrite = 0;
    std::uint32_t zeroFilledBlocks = 0;
    std::uint32_t filesWithZeroFill = 0;
    std::uint64_t bytesWritten = 0;
    std::uint32_t foldersFailed = 0;
    /// Files written (wholly or in part) from clusters that are now in use.
    std::uint32_t writtenFromUsedClusters = 0;
};

/// Filled by the thread that runs the copy; read it once the copy has ended
/// (SaveWorker::done), or follow it file by file through RecoveryObserver::fileDone.
class RecoveryReport {
public:
    void add(FileReport report);
    /// A folder that could not be made, and the system's reason (may be empty).
    void folderFailed(const std::string& path, const std::string& why = {});
    /// The reasons of failedFolders, in its order (empty where not known).
    [[nodiscard]] const std::vector<std::string>& failedFolderReasons() const noexcept { return m_failedFolderReasons; }
    [[nodiscard]] const std::vector<FileReport>& files() const noexcept { return m_files; }
    [[nodiscard]] const std::vector<std::string>& failedFolders() const noexcept { return m_failedFolders; }
    [[nodiscard]] const RecoveryTotals& totals() const noexcept { return m_totals; }
    /// True when some file could not be created or written.
    [[nodiscard]] bool anyFailed() const noexcept { return m_totals.failed != 0; }
    /// Files that did not come back whole (those with a lossText) and folders not created.
    [[nodiscard]] std::size_t lossCount() const;
    void clear();

private:
    std::vector<FileReport> m_files;
    std::vector<std::string> m_failedFolders;
    std::vector<std::string> m_failedFolderReasons;
    RecoveryTotals m_totals;
};

} // namespace sarvik::recovery
