// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The copy of found files and folders out of a scanned volume, without any
// widget: rows of the file list, folders through the folder tree, single FAT
// files from their cluster chain (or consecutive clusters), single NTFS files
// from the data attribute of their MFT record.
//
// File data is read from the volume's sectors, never through a file system, and
// written through an OutputFolder, so nothing here touches the operating system.
// The volume is only ever read. A block that cannot be read is written as zeros
// and counted; nothing is created outside the destination, whatever a name on
// disk holds (see safeComponent).

#include "catalogue/Catalogue.h"
#include "catalogue/FileList.h"
#include "catalogue/FolderTree.h"
#include "catalogue/RecoveryControl.h"
#include "disk/Volume.h"
#include "disk/VolumeExtent.h"
#include "ntfs/MftRunList.h"
#include "ntfs/NtfsCompressed.h"
#include "ntfs/NtfsData.h"
#include "ntfs/NtfsExtents.h"
#include "recovery/Condition.h"
#include "recovery/FileSources.h"
#include "recovery/OutputFolder.h"
#include "recovery/RecoveryReport.h"
#include "recovery/RecoverySettings.h"
#include "search/NamePatterns.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace sarvik::fat {
class FatTable;
}
namespace sarvik::exfat {
class ExfatVolume;
}

namespace sarvik::recovery {

/// Which rows RecoverListItems takes.
enum class RecoveryMode : std::uint16_t { Selected = 1, All = 2 };

/// 1: copy into a folder the user chose (filters, duplicate rule, progress).
/// 0: copy for opening (none of these; an existing file of the name is replaced).
namespace CopyMode {
inline constexpr int Open = 0;
inline constexpr int Save = 1;
} // namespace CopyMode

/// The text of the question asked when a file cannot be created.
[[nodiscard]] std::string createErrorMessage(const std::string& path);

/// How a copy reports while it runs. Calls come from the thread that runs the
/// copy; every call has an empty default.
class RecoveryObserver {
public:
    virtual ~RecoveryObserver() = default;
    /// The "Path" value: the folder (FAT) or the whole target path (NTFS).
    virtual void path(const std::string& /*text*/) {}
    /// The "File Name" value (UTF-8).
    virtual void fileName(const std::string& /*name*/) {}
    /// The size the catalogue gives the file named last, told before its
    /// fileProgress calls, so that progress can be counted in bytes.
    virtual void fileSize(std::uint64_t /*bytes*/) {}
    /// The "Total Files" value: files of this copy before the current one.
    virtual void totalFiles(std::uint32_t /*count*/) {}
    /// Progress of the current file, 0 to 99 while it is written.
    virtual void fileProgress(std::uint32_t /*position*/) {}
    /// What became of a file (also for files filtered out or skipped).
    virtual void fileDone(const FileReport& /*report*/) {}
    /// Asked with createErrorMessage(path) when a file cannot be created: true
    /// (Yes) goes on with the next file, false (No) stops the copy.
    virtual bool continueAfterError(const std::string& /*message*/) { return true; }
};

/// A folder of the destination as the copy walks it. `folder` is null when it
/// could not be made; files meant for it then fail to be created.
struct TargetFolder {
    std::shared_ptr<OutputFolder> folder;
    std::string path; ///< shown to the user
};

/// Creates each folder of `components` below `base` in turn (each component
/// made safe with safeComponent), like creating every prefix of a path; a folder
/// that exists already is entered. Failures are not reported here: they show up
/// as files that cannot be created.
/// `namesAreUtf8` as for safeComponent.
[[nodiscard]] TargetFolder CreateDirectoryPath(const TargetFolder& base, std::span<const std::string> components,
                                               bool namesAreUtf8 = false);

/// What joins a file's name and its stream's in the name a named NTFS stream
/// is written under ("photo.jpg~Zone.Identifier").
inline constexpr char kStreamSeparator = '~';

class FileRecovery {
public:
    FileRecovery(const disk::SelectedVolume& volume, const catalogue::Catalogue& catalogue,
                 const catalogue::FolderTree& tree, const search::FilterPatterns& filters,
                 const RecoverySettings& settings, catalogue::RecoveryControl& control, RecoveryObserver& observer,
                 RecoveryReport& report);
    ~FileRecovery();
    FileRecovery(const FileRecovery&) = delete;
    FileRecovery& operator=(const FileRecovery&) = delete;

    /// Copies the rows of a file list into `destination`: every row under
    /// RecoveryMode::All, only those whose `selected` flag is set under
    /// RecoveryMode::Selected. A folder row is copied with everything below it.
    void RecoverListItems(std::span<const catalogue::FileRow> rows, RecoveryMode mode,
                          const std::vector<bool>& selected, const TargetFolder& destination);
    /// One row of a file list, as RecoverListItems copies it.
    void RecoverRow(const catalogue::FileRow& row, const TargetFolder& destination);

    /// Creates parent/name, copies the files listed in folder `firstCluster`,
    /// then each child of tree item `treeItem` in tree order under the name the
    /// tree shows. Only folders placed in the tree are copied.
    void RecoverFatFolder(std::uint32_t treeItem, std::uint32_t firstCluster, const TargetFolder& parent,
                          const std::string& name);
    void RecoverNtfsFolder(std::uint32_t treeItem, std::uint64_t recordNumber, const TargetFolder& parent,
                           const std::string& name);

    /// Copies every catalogue file whose parent is `parentCluster`, in list order.
    void RecoverFatFilesIn(std::uint32_t parentCluster, const TargetFolder& folder);
    void RecoverNtfsFilesIn(std::uint64_t parentRecord, const TargetFolder& folder);
    /// Calls `copy(i)` for each selected file i of the folder `parent`, with
    /// m_currentFile set, until the copy is stopped.
    template <typename Copy> void copySelectedFilesIn(std::uint64_t parent, Copy copy);

    /// One FAT file: 1 when the file was created (even when it was then cut short), else 0.
    int RecoverFatFile(const TargetFolder& folder, std::uint32_t ordinal, int copyMode, std::uint32_t firstCluster,
                       std::uint32_t size, const std::string& name, std::uint32_t deleted);
    /// One NTFS file from the MFT record at `recordSector`: 1 when it was written
    /// (or its run list holds no run), else 0. Size 0 writes nothing. A named
    /// stream of a file (the entry being copied, when several lie in one record)
    /// is written as "NAME~STREAM".
    int RecoverNtfsFile(const TargetFolder& folder, const std::string& name, std::uint64_t size,
                        std::uint64_t recordSector, int copyMode, std::uint32_t deleted);

    /// One file of the catalogue, named as it lists it, from wherever its
    /// bytes lie: 1 when it was written (as RecoverFatFile and
    /// RecoverNtfsFile), else 0 (also for an id that names no file). Under
    /// CopyMode::Save a deleted NTFS file's report counts the clusters read
    /// that are now in use; Open and preview copies skip that count.
    int RecoverFile(const TargetFolder& folder, catalogue::EntryId id, int copyMode);

    /// Limits the catalogue files that folder copies and RecoverRow take to those
    /// for which `selected(index into the kind's file list)` is true; the rest are
    /// passed over without a report. Unset, every file is taken.
    void setFileSelection(std::function<bool(std::size_t)> selected) { m_selected = std::move(selected); }
    /// The catalogue files read from another image of the volume (a shadow
    /// copy) than the one scanned; null, or a file it does not name: the
    /// scanned volume. Such a copy counts no clusters as now in use.
    void setFileSources(const FileSources* sources) { m_sources = sources; }

    /// Files created by this copy so far.
    [[nodiscard]] std::uint32_t SavedFileCount() const noexcept { return m_savedFileCount; }
    void resetSavedFileCount() noexcept { m_savedFileCount = 0; }

    /// Sectors per read by SectorsPerCluster: 1 below 8, 8 for 8, 16 from 16 on.
    [[nodiscard]] static std::uint32_t blockSectors(std::uint32_t sectorsPerCluster) noexcept;

private:
    struct ClusterRun {
        std::int64_t start = 0;
        std::uint64_t length = 0;
        bool sparse = false;
        bool missing = false; ///< written as zeros and counted as unreadable
    };
    struct Prepared;

    void recoverFolder(bool fat, std::uint32_t treeItem, std::uint64_t key, const TargetFolder& parent,
                       const std::string& name);
    bool prepare(Prepared& p, const TargetFolder& folder, const std::string& name, std::uint64_t size, int copyMode,
                 bool ntfs);
    bool create(Prepared& p);
    /// Creates the file under a free working name for p.safeName.
    static void createPart(OutputFolder& folder, Prepared& p);
    /// Before an NTFS copy run by run: clears Skip, shows progress 0 when
    /// saving, creates the file. False when stopped or not created.
    bool createForRuns(Prepared& p, int copyMode);
    /// Writes a non-resident NTFS attribute's runs into the created file (LZNT1
    /// units decompressed) and finishes the report.
    /// Only its first `initialized` bytes are read; the rest of `size` is
    /// written as zeros (a hole), as the file system reads it.
    void writeNtfsRuns(Prepared& p, const ntfs::NtfsRunList& runs, const ntfs::CompressionInfo& compression,
                       std::uint64_t size, std::uint64_t initialized, int copyMode, std::uint32_t deleted,
                       std::uint64_t recordSector);
    /// After a copy that wrote all of its first `from` bytes: zeros (a hole) up
    /// to `size`, the part of an NTFS file past its initialized size.
    void writeZeroTail(Prepared& p, std::uint64_t from, std::uint64_t size);
    /// Thorough mode: the file's unnamed data attribute gathered from the
    /// extents its attribute list names, when it has one that names them.
    std::optional<ntfs::ListedData> listedData(const ntfs::MftRecord& record, std::uint64_t recordSector,
                                               std::uint64_t size);
    /// Writes the first `size` bytes of `runs` into the created file and sets
    /// the report's outcome. Long because one loop over runs, chunks and blocks
    /// shares the counters that the cuts at the volume's end, progress and the
    /// stop flag need.
    /// From byte `zeroFrom` of the file on nothing is read: zeros are written
    /// (an NTFS file past its initialized size).
    void copyRuns(Prepared& p, std::span<const ClusterRun> runs, std::uint64_t size, int copyMode,
                  std::uint64_t zeroFrom = ~std::uint64_t{0});
    /// Reads `sectors` (whole blocks of `block` sectors) from `first` into
    /// m_buffer; for a run marked missing, or no sector, nothing is read. The
    /// blocks that could not be read are zeros and marked in the result, which
    /// is empty when every block was read.
    std::vector<bool> readChunk(const ClusterRun& run, std::optional<std::uint64_t> first, std::uint64_t sectors,
                                std::uint32_t block);
    void finish(Prepared& p, std::uint64_t size);
    /// The clusters of a FAT file of `size` bytes: its chain, or where the chain
    /// does not give them, the guess for a deleted file or consecutive clusters.
    /// `guessed` is set when the allocation table could not be read where the
    /// result depends on it.
    /// The runs of a FAT file's clusters. `loopAt` becomes the cluster where a
    /// live file's chain runs back into itself (thorough rules; the runs then
    /// end before it), else 0.
    std::vector<ClusterRun> fatFileRuns(std::uint32_t firstCluster, std::uint32_t size, bool deleted, bool& guessed,
                                        std::uint32_t& loopAt);
    /// Gives a closed file its final name, or leaves it under its working name
    /// (and reports that name) when it did not come back as far as it could.
    void settleName(Prepared& p);
    /// A carved NTFS file: its consecutive clusters from the one it starts at.
    int recoverCarvedNtfsFile(Prepared& p, const catalogue::NtfsFileEntry& entry, int copyMode);
    /// An exFAT file: its data up to the valid length, zeros after it.
    int recoverExfatFile(const TargetFolder& folder, const catalogue::FatFileEntry& entry, int copyMode);
    /// Of a deleted NTFS file's clusters the copy read, those now in use.
    std::uint64_t clustersReadInUse(std::uint64_t recordSector, std::uint64_t size);
    bool stopped() const noexcept;
    bool isFat() const noexcept;
    const catalogue::FatFileEntry* fatFileByOrdinal(std::uint64_t ordinal);
    const catalogue::NtfsFileEntry* ntfsFileBySector(std::uint64_t sector);

    /// The volume being read: the scanned one, or while a file of another
    /// source is copied, that source's (see FileSources).
    const disk::SelectedVolume* m_volume;
    const FileSources* m_sources = nullptr;
    /// Reads from another volume for as long as it lives (the caches of the
    /// scanned one kept aside).
    struct VolumeSwitch;
    const catalogue::Catalogue& m_catalogue;
    const catalogue::FolderTree& m_tree;
    const search::FilterPatterns& m_filters;
    const RecoverySettings& m_settings;
    catalogue::RecoveryControl& m_control;
    RecoveryObserver& m_observer;
    RecoveryReport& m_report;
    catalogue::CatalogueIndex m_index;
    std::unordered_map<std::uint64_t, std::size_t> m_fatByOrdinal;
    std::unordered_map<std::uint64_t, std::size_t> m_ntfsBySector;
    std::vector<std::byte> m_buffer;
    std::function<bool(std::size_t)> m_selected;
    /// The catalogue file being copied by a folder copy or RecoverRow, for its report.
    std::optional<std::size_t> m_currentFile;
    /// The clusters every copy stays within; read on first use (the boot
    /// sector), on the thread that runs the copy.
    std::optional<disk::VolumeExtent> m_extent;
    const disk::VolumeExtent& extent();
    std::uint32_t m_savedFileCount = 0;
    /// The next "Copy (n ) of" number to try, by folder path and name ('\0' between).
    std::unordered_map<std::string, std::uint32_t> m_nextCopyNumber;
    /// For the report's count of files read from clusters now in use; made on first use.
    std::unique_ptr<ConditionEstimator> m_conditions;
    ConditionEstimator& conditions();
    /// The first allocation table, for the thorough copy of deleted FAT files.
    std::unique_ptr<fat::FatTable> m_fatTable;
    /// exFAT's FAT and allocation bitmap, for its copies; made on first use.
    std::unique_ptr<exfat::ExfatVolume> m_exfat;
    [[nodiscard]] bool thoroughCopy() const noexcept { return m_settings.ThoroughScan || m_catalogue.NamesAreUtf8; }
    /// Where the MFT's records lie, for extension records; built on first use.
    std::unique_ptr<ntfs::MftRunList> m_mftRuns;
};

} // namespace sarvik::recovery
