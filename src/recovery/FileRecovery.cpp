// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/FileRecovery.h"

#include "catalogue/NameText.h"
#include "disk/Trace.h"
#include "disk/VolumeExtent.h"
#include "exfat/ExfatVolume.h"
#include "fat/ClusterChain.h"
#include "fat/FatThoroughScan.h"
#include "fat/FileClusters.h"
#include "ntfs/MftRecord.h"
#include "ntfs/NtfsCompressed.h"
#include "recovery/Condition.h"
#include "recovery/OriginalTimes.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace sarvik::recovery {

namespace {

constexpr std::uint32_t kSector = disk::kSectorSize;
/// Sectors asked for in one read of a contiguous stretch (1 MiB). The bytes are
/// still written block by block, with the stop and skip flags tested before each.
constexpr std::uint32_t kChunkSectors = 2048;
/// Bounds the search for a free "Copy (n ) of" name in a folder that answers
/// "exists" for everything.
constexpr std::uint32_t kMaxRenameAttempts = 1000000;
/// Why a FAT file whose clusters the allocation table could not confirm is incomplete.
constexpr const char* kGuessedClusters =
    "its clusters are a guess: the allocation table could not be read where it lists them";
/// The same for an exFAT file whose clusters the allocation bitmap could not confirm.
constexpr const char* kGuessedFromBitmap = "its clusters are a guess: the allocation bitmap could not be read";
/// Bounds the search for a free working name ("NAME.part", "NAME.1.part", ...).
constexpr std::uint32_t kMaxPartAttempts = 100;
constexpr std::size_t kResidentDataOffset = 24; // fixed header length of a resident attribute
/// Bytes added at a time past an exFAT file's valid length, as a hole.
constexpr std::uint64_t kHoleStep = std::uint64_t{kChunkSectors} * kSector;

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return search::upperCase8(a) == search::upperCase8(b);
}

std::string joinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty() || folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

/// The working name a file is written under: "NAME.part", or "NAME.n.part"
/// when that is taken; NAME is cut so that the whole stays one component.
std::string partName(const std::string& name, std::uint32_t n)
{
    const std::string suffix = (n == 0 ? std::string{} : "." + std::to_string(n)) + ".part";
    std::string base = cutToComponent(name + suffix);
    if (base.size() == name.size() + suffix.size())
        return base;
    base = cutToComponent(name, kMaxComponentBytes - suffix.size());
    return base + suffix;
}

} // namespace

std::string createErrorMessage(const std::string& path)
{
    return "Error creating file : " + path + ".  Continue Recovery ? ";
}

TargetFolder CreateDirectoryPath(const TargetFolder& base, std::span<const std::string> components, bool namesAreUtf8)
{
    TargetFolder current = base;
    for (const std::string& part : components) {
        const std::string safe = safeComponent(part, namesAreUtf8);
        current.path = joinPath(current.path, safe);
        auto made = current.folder ? current.folder->makeFolder(safe) : nullptr;
        // A name the destination's file system refuses: one without the
        // characters it refuses.
        if (const std::string cleaned = restrictedName(safe); !made && current.folder && cleaned != safe)
            if ((made = current.folder->makeFolder(cleaned)))
                current.path = joinPath(current.path.substr(0, current.path.size() - safe.size()), cleaned);
        current.folder = std::move(made);
    }
    return current;
}

struct FileRecovery::Prepared {
    const TargetFolder* folder = nullptr;
    std::string safeName;
    std::string path;
    bool replace = false;
    std::unique_ptr<OutputFile> file;
    /// The name the file is written under until finish gives it safeName.
    std::string partName;
    bool writeFailed = false;
    FileReport report;
    std::optional<EntryTimes> times; ///< given to the file once it is closed
};

FileRecovery::FileRecovery(const disk::SelectedVolume& volume, const catalogue::Catalogue& catalogue,
                           const catalogue::FolderTree& tree, const search::FilterPatterns& filters,
                           const RecoverySettings& settings, catalogue::RecoveryControl& control,
                           RecoveryObserver& observer, RecoveryReport& report)
    : m_volume(&volume), m_catalogue(catalogue), m_tree(tree), m_filters(filters), m_settings(settings),
      m_control(control), m_observer(observer), m_report(report),
      m_index(catalogue, isFat() ? catalogue::CatalogueKind::Fat : catalogue::CatalogueKind::Ntfs)
{
}

FileRecovery::~FileRecovery() = default;

struct FileRecovery::VolumeSwitch {
    VolumeSwitch(FileRecovery& copier, const disk::SelectedVolume& volume)
        : m_copier(copier), m_volume(std::exchange(copier.m_volume, &volume)),
          m_extent(std::exchange(copier.m_extent, std::nullopt)), m_conditions(std::move(copier.m_conditions)),
          m_mftRuns(std::move(copier.m_mftRuns))
    {
    }
    ~VolumeSwitch()
    {
        m_copier.m_volume = m_volume;
        m_copier.m_extent = m_extent;
        m_copier.m_conditions = std::move(m_conditions);
        m_copier.m_mftRuns = std::move(m_mftRuns);
    }
    VolumeSwitch(const VolumeSwitch&) = delete;
    VolumeSwitch& operator=(const VolumeSwitch&) = delete;

private:
    FileRecovery& m_copier;
    const disk::SelectedVolume* m_volume;
    std::optional<disk::VolumeExtent> m_extent;
    std::unique_ptr<ConditionEstimator> m_conditions;
    std::unique_ptr<ntfs::MftRunList> m_mftRuns;
};

std::uint32_t FileRecovery::blockSectors(std::uint32_t sectorsPerCluster) noexcept
{
    if (sectorsPerCluster < 8)
        return 1;
    if (sectorsPerCluster == 8)
        return 8;
    return 16;
}

const disk::VolumeExtent& FileRecovery::extent()
{
    if (!m_extent)
        m_extent = disk::volumeExtent(*m_volume);
    return *m_extent;
}

ConditionEstimator& FileRecovery::conditions()
{
    if (!m_conditions) {
        m_conditions = std::make_unique<ConditionEstimator>(*m_volume, thoroughCopy());
        m_conditions->useOverlaps(m_catalogue);
    }
    return *m_conditions;
}

bool FileRecovery::isFat() const noexcept
{
    return disk::usesFatCatalogue(m_volume->geometry.GeometryKind);
}

bool FileRecovery::stopped() const noexcept
{
    return m_control.StopRecovery.load(std::memory_order_relaxed) == 1;
}

const catalogue::FatFileEntry* FileRecovery::fatFileByOrdinal(std::uint64_t ordinal)
{
    if (m_fatByOrdinal.empty())
        for (std::size_t i = m_catalogue.fsLists().FatFileList.size(); i-- > 0;)
            m_fatByOrdinal[m_catalogue.fsLists().FatFileList[i].ordinal] = i; // the first of equal ordinals wins
    const auto it = m_fatByOrdinal.find(ordinal);
    return it == m_fatByOrdinal.end() ? nullptr : &m_catalogue.fsLists().FatFileList[it->second];
}

const catalogue::NtfsFileEntry* FileRecovery::ntfsFileBySector(std::uint64_t sector)
{
    // A file's named streams share its record: the entry being copied is the
    // one meant when it lies there.
    if (m_currentFile && *m_currentFile < m_catalogue.fsLists().NtfsFileList.size() &&
        m_catalogue.fsLists().NtfsFileList[*m_currentFile].recordSector == sector)
        return &m_catalogue.fsLists().NtfsFileList[*m_currentFile];
    if (m_ntfsBySector.empty())
        for (std::size_t i = m_catalogue.fsLists().NtfsFileList.size(); i-- > 0;)
            m_ntfsBySector[m_catalogue.fsLists().NtfsFileList[i].recordSector] = i;
    const auto it = m_ntfsBySector.find(sector);
    return it == m_ntfsBySector.end() ? nullptr : &m_catalogue.fsLists().NtfsFileList[it->second];
}

void FileRecovery::RecoverListItems(std::span<const catalogue::FileRow> rows, RecoveryMode mode,
                                    const std::vector<bool>& selected, const TargetFolder& destination)
{
    // The row loop itself does not test StopRecovery: every operation below
    // returns at once when it is set, so the remaining rows pass quickly.
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (mode == RecoveryMode::Selected && (i >= selected.size() || !selected[i]))
            continue;
        RecoverRow(rows[i], destination);
    }
}

void FileRecovery::RecoverRow(const catalogue::FileRow& row, const TargetFolder& destination)
{
    const bool fat = isFat();
    const bool isFolder = equalsNoCase(row.type, "Folder") || equalsNoCase(row.type, "Deleted Folder") || row.folder;
    if (isFolder) {
        const catalogue::TreeNode* node = m_tree.node(static_cast<std::uint32_t>(row.key));
        if (node == nullptr || node->folderIndex < 0)
            return;
        const auto index = static_cast<std::size_t>(node->folderIndex);
        if (fat && index < m_catalogue.fsLists().FatFolderList.size()) {
            const auto& e = m_catalogue.fsLists().FatFolderList[index];
            RecoverFatFolder(node->handle, e.firstCluster, destination, e.name);
        } else if (!fat && index < m_catalogue.fsLists().NtfsFolderList.size()) {
            const auto& e = m_catalogue.fsLists().NtfsFolderList[index];
            RecoverNtfsFolder(node->handle, e.recordNumber, destination, e.name);
        }
        return;
    }
    if (m_selected && !m_selected(row.entryIndex()))
        return;
    m_currentFile = row.entryIndex();
    if (fat) {
        const catalogue::FatFileEntry* e = fatFileByOrdinal(row.key);
        if (e != nullptr)
            RecoverFatFile(destination, e->ordinal, CopyMode::Save, e->firstCluster, e->size, e->name, e->deleted);
        m_currentFile.reset();
        return;
    }
    const catalogue::NtfsFileEntry* e = ntfsFileBySector(row.key);
    RecoverNtfsFile(destination, row.name, row.size, row.key, CopyMode::Save, e != nullptr ? e->deleted : 0);
    m_currentFile.reset();
}

int FileRecovery::RecoverFile(const TargetFolder& folder, catalogue::EntryId id, int copyMode)
{
    if (catalogue::isFolderId(id))
        return 0;
    const std::size_t i = catalogue::entryIndex(id);
    const std::optional<std::size_t> was = m_currentFile;
    m_currentFile = i; // the entry meant when several share its record
    int written = 0;
    if (isFat() && i < m_catalogue.fsLists().FatFileList.size()) {
        const catalogue::FatFileEntry& e = m_catalogue.fsLists().FatFileList[i];
        written = RecoverFatFile(folder, e.ordinal, copyMode, e.firstCluster, e.size, e.name, e.deleted);
    } else if (!isFat() && i < m_catalogue.fsLists().NtfsFileList.size()) {
        const catalogue::NtfsFileEntry& e = m_catalogue.fsLists().NtfsFileList[i];
        written = RecoverNtfsFile(folder, e.name, e.size, e.recordSector, copyMode,
                                  copyMode == CopyMode::Save ? e.deleted : 0);
    }
    m_currentFile = was;
    return written;
}

void FileRecovery::RecoverFatFolder(std::uint32_t treeItem, std::uint32_t firstCluster, const TargetFolder& parent,
                                    const std::string& name)
{
    recoverFolder(true, treeItem, firstCluster, parent, name);
}

void FileRecovery::RecoverNtfsFolder(std::uint32_t treeItem, std::uint64_t recordNumber, const TargetFolder& parent,
                                     const std::string& name)
{
    recoverFolder(false, treeItem, recordNumber, parent, name);
}

void FileRecovery::recoverFolder(bool fat, std::uint32_t treeItem, std::uint64_t key, const TargetFolder& parent,
                                 const std::string& name)
{
    // Depth first with an explicit stack, in the order a recursive walk takes
    // (a folder's files, then each child's subtree in tree order), so that a
    // deeply nested tree from a damaged volume cannot exhaust the thread's stack.
    struct Pending {
        std::uint32_t treeItem;
        std::uint64_t key; ///< a FAT first cluster or an NTFS record number
        std::shared_ptr<const TargetFolder> parent;
        std::string name;
    };
    std::vector<Pending> stack;
    stack.push_back({treeItem, key, std::make_shared<const TargetFolder>(parent), name});
    // Each folder made, with its times: given once everything below it is
    // written, since writing into a folder changes its modification time.
    struct MadeFolder {
        std::shared_ptr<const TargetFolder> parent;
        std::string name;
        EntryTimes times;
    };
    std::vector<MadeFolder> made;
    const auto folderTimes = [&](std::uint32_t item) -> std::optional<EntryTimes> {
        const catalogue::TreeNode* node = m_tree.node(item);
        if (node == nullptr || node->folderIndex < 0)
            return std::nullopt;
        const auto index = static_cast<std::size_t>(node->folderIndex);
        if (fat && index < m_catalogue.fsLists().FatFolderList.size() &&
            m_catalogue.fsLists().FatFolderList[index].exfat) {
            const catalogue::ExfatData& d = *m_catalogue.fsLists().FatFolderList[index].exfat;
            return exfatEntryTimes(d.modified, d.modified10ms, d.modifiedUtc, d.accessed, d.accessedUtc);
        }
        if (fat && index < m_catalogue.fsLists().FatFolderList.size())
            return fatEntryTimes(m_catalogue.fsLists().FatFolderList[index].writeDate,
                                 m_catalogue.fsLists().FatFolderList[index].accessDate,
                                 m_catalogue.fsLists().FatFolderList[index].writeTime);
        if (!fat && index < m_catalogue.fsLists().NtfsFolderList.size()) {
            const catalogue::NtfsStandardTimes t = m_catalogue.ntfsTimes(m_catalogue.fsLists().NtfsFolderList[index]);
            return ntfsEntryTimes(t.modified, t.accessed);
        }
        return std::nullopt;
    };
    const auto applyFolderTimes = [&] {
        for (auto it = made.rbegin(); it != made.rend(); ++it)
            (void)it->parent->folder->setTimes(it->name, it->times);
    };
    while (!stack.empty()) {
        if (stopped()) {
            applyFolderTimes();
            return;
        }
        Pending p = std::move(stack.back());
        stack.pop_back();
        auto target = std::make_shared<TargetFolder>(
            CreateDirectoryPath(*p.parent, std::span(&p.name, 1), m_catalogue.NamesAreUtf8));
        if (!target->folder && p.parent->folder)
            m_report.folderFailed(target->path, p.parent->folder->createError());
        if (target->folder && m_settings.KeepOriginalTimes)
            if (const auto times = folderTimes(p.treeItem))
                made.push_back({p.parent, target->path.substr(target->path.rfind('/') + 1), *times});
        if (fat)
            RecoverFatFilesIn(static_cast<std::uint32_t>(p.key), *target); // a FAT key is a cluster
        else
            RecoverNtfsFilesIn(p.key, *target);
        const catalogue::TreeNode* node = m_tree.node(p.treeItem);
        if (node == nullptr)
            continue;
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) {
            const catalogue::TreeNode* child = m_tree.node(*it);
            if (child == nullptr || child->folderIndex < 0)
                continue;
            stack.push_back({child->handle, child->key, target, child->name});
        }
    }
    applyFolderTimes();
}

template <typename Copy> void FileRecovery::copySelectedFilesIn(std::uint64_t parent, Copy copy)
{
    for (const std::size_t i : m_index.filesIn(parent)) {
        if (stopped())
            return;
        if (m_selected && !m_selected(i))
            continue;
        m_currentFile = i;
        copy(i);
        m_currentFile.reset();
    }
}

void FileRecovery::RecoverFatFilesIn(std::uint32_t parentCluster, const TargetFolder& folder)
{
    copySelectedFilesIn(parentCluster, [&](std::size_t i) {
        const auto& e = m_catalogue.fsLists().FatFileList[i];
        RecoverFatFile(folder, e.ordinal, CopyMode::Save, e.firstCluster, e.size, e.name, e.deleted);
    });
}

void FileRecovery::RecoverNtfsFilesIn(std::uint64_t parentRecord, const TargetFolder& folder)
{
    copySelectedFilesIn(parentRecord, [&](std::size_t i) {
        const auto& e = m_catalogue.fsLists().NtfsFileList[i];
        RecoverNtfsFile(folder, e.name, e.size, e.recordSector, CopyMode::Save, e.deleted);
    });
}

bool FileRecovery::prepare(Prepared& p, const TargetFolder& folder, const std::string& name, std::uint64_t size,
                           int copyMode, bool ntfs)
{
    p.folder = &folder;
    p.safeName = safeComponent(name, m_catalogue.NamesAreUtf8);
    p.path = joinPath(folder.path, p.safeName);
    // A name too long for a file system, or one that could be shown as
    // another: written changed, and the report gives both.
    if (std::string whole = uncutComponent(name, m_catalogue.NamesAreUtf8); whole != p.safeName) {
        p.report.renamedBecause =
            whole.size() > kMaxComponentBytes
                ? "it is longer than the destination's " + std::to_string(kMaxComponentBytes) + " bytes"
                : "it holds characters that reorder how it is shown";
        p.report.refusedName = std::move(whole);
    }
    p.report.size = size;
    p.replace = true; // the open path replaces a file of the same name
    if (copyMode == CopyMode::Save) {
        if (!m_filters.empty() && !m_filters.passes(name, m_catalogue.NamesAreUtf8)) {
            p.report.outcome = FileOutcome::Filtered;
            finish(p, size);
            return false;
        }
        p.replace = false;
        if (folder.folder && folder.folder->exists(p.safeName)) {
            const std::uint16_t policy = m_settings.DuplicatePolicy;
            if (policy == DuplicatePolicy::Skip) {
                p.report.outcome = FileOutcome::DuplicateSkipped;
                finish(p, size);
                return false;
            }
            if (policy == DuplicatePolicy::Overwrite && folder.folder->keptOff(p.safeName)) {
                // The file there is one the source is read from: never replaced.
                p.report.outcome = FileOutcome::CreateFailed;
                p.report.error = std::string(kKeptOffText);
                finish(p, size);
                return false;
            }
            if (policy == DuplicatePolicy::Overwrite) {
                p.replace = true;
            } else if (policy == DuplicatePolicy::Rename) {
                // The search starts after the number this copy last gave the
                // name in this folder, so that a folder of many files of one
                // name costs a look-up per file rather than one per earlier copy.
                std::uint32_t& next = m_nextCopyNumber[folder.path + '\0' + p.safeName];
                for (std::uint32_t n = std::max<std::uint32_t>(next, 1); n <= kMaxRenameAttempts; ++n) {
                    std::string candidate = cutToComponent("Copy (" + std::to_string(n) + " ) of " + p.safeName);
                    if (!folder.folder->exists(candidate)) {
                        p.safeName = std::move(candidate);
                        next = n + 1;
                        break;
                    }
                }
                p.path = joinPath(folder.path, p.safeName);
            }
        }
        m_observer.path(ntfs ? p.path : folder.path);
        m_observer.fileName(p.safeName);
        m_observer.fileSize(size);
        m_observer.totalFiles(m_savedFileCount);
        m_observer.fileProgress(0);
    }
    return true;
}

void FileRecovery::createPart(OutputFolder& folder, Prepared& p)
{
    for (std::uint32_t n = 0; n < kMaxPartAttempts && !p.file; ++n) {
        p.partName = partName(p.safeName, n);
        p.file = folder.createFile(p.partName, false);
        if (!p.file && !folder.exists(p.partName))
            return; // not a name clash: the folder refuses the file
    }
}

bool FileRecovery::create(Prepared& p)
{
    // The file is written under a name of its own beside the final one and
    // takes the final name in finish: a copy stopped or killed half way never
    // leaves a file that looks whole under the name the user looks for. The
    // working name is never one that something holds already (a file of that
    // name on the volume, or a copy a killed run left behind).
    if (OutputFolder* folder = p.folder->folder.get()) {
        createPart(*folder, p);
        // A FAT, exFAT or NTFS destination (through FUSE) refuses some
        // characters Linux allows: the file is written under a name without
        // them, and the report gives both.
        if (const std::string cleaned = restrictedName(p.safeName); !p.file && cleaned != p.safeName) {
            const std::string error = folder->createError();
            std::string candidate = cleaned;
            for (std::uint32_t n = 1; folder->exists(candidate) && !p.replace && n <= kMaxPartAttempts; ++n)
                candidate = cutToComponent("Copy (" + std::to_string(n) + " ) of " + cleaned);
            const std::string refused = std::exchange(p.safeName, candidate);
            createPart(*folder, p);
            if (p.file) {
                if (p.report.refusedName.empty())
                    p.report.refusedName = refused;
                else
                    p.report.renamedBecause += ", and the destination refuses some of its characters";
                p.path = joinPath(p.folder->path, p.safeName);
            } else {
                p.safeName = refused;
            }
        }
    }
    if (p.file)
        return true;
    if (!m_observer.continueAfterError(createErrorMessage(p.path)))
        m_control.StopRecovery.store(1, std::memory_order_relaxed);
    p.report.outcome = FileOutcome::CreateFailed;
    if (p.folder->folder)
        p.report.error = p.folder->folder->createError();
    finish(p, p.report.size);
    return false;
}

void FileRecovery::finish(Prepared& p, std::uint64_t size)
{
    p.report.size = size;
    p.report.fileIndex = m_currentFile;
    if (p.file) {
        if (!p.file->close())
            p.writeFailed = true;
        if (p.writeFailed) {
            p.report.error = p.file->error();
            if (const auto held = p.file->length())
                p.report.bytesWritten = *held; // a failed write can leave part of its bytes behind
            p.report.outcome = FileOutcome::WriteFailed;
        }
        p.report.sha256 = p.file->sha256();
        if (!p.report.sha256 && p.writeFailed)
            p.report.hashMissing = "a failed write left bytes in the file that its digest does not know";
        p.file.reset();
        settleName(p);
        if (p.writeFailed)
            p.report.outcome = FileOutcome::WriteFailed;
        else if (p.times && m_settings.KeepOriginalTimes)
            (void)p.folder->folder->setTimes(p.safeName, *p.times); // a file system without times keeps the copy's
    }
    p.report.path = p.path;
    p.report.name = p.safeName;
    if (disk::tracing())
        disk::trace("copy " + p.path + ": " + outcomeText(p.report.outcome) + ", " +
                    std::to_string(p.report.bytesWritten) + " of " + std::to_string(size) + " bytes" +
                    (p.report.error.empty() ? "" : " (" + p.report.error + ")") +
                    (p.report.zeroFilledBlocks != 0
                         ? ", " + std::to_string(p.report.zeroFilledBlocks) + " block(s) unreadable, written as zeros"
                         : ""));
    m_observer.fileDone(p.report);
    m_report.add(std::move(p.report));
}

void FileRecovery::settleName(Prepared& p)
{
    // A file cut short by Stop or Skip, or by a failed write, keeps its working
    // name: it is not the file. Any other outcome is as much of the file as the
    // volume holds, and is recorded as such.
    const bool keepsPart = p.report.outcome == FileOutcome::CutShort || p.report.outcome == FileOutcome::WriteFailed;
    if (!keepsPart) {
        const std::string why = p.folder->folder->rename(p.partName, p.safeName, p.replace);
        if (why.empty())
            return;
        // The name is held by something that is not replaced (a link, a
        // folder): asked as when a file cannot be created; the copy stays.
        p.writeFailed = true;
        p.report.error = "could not be given its name: " + why;
        if (!m_observer.continueAfterError(createErrorMessage(p.path)))
            m_control.StopRecovery.store(1, std::memory_order_relaxed);
    }
    p.safeName = p.partName;
    p.path = joinPath(p.folder->path, p.partName);
}

void FileRecovery::copyRuns(Prepared& p, std::span<const ClusterRun> runs, std::uint64_t size, int copyMode,
                            std::uint64_t zeroFrom)
{
    const auto& g = m_volume->geometry;
    const std::uint64_t spc = g.SectorsPerCluster;
    const std::uint32_t block = blockSectors(g.SectorsPerCluster);
    const std::uint64_t blockBytes = std::uint64_t{block} * kSector;
    std::uint64_t written = 0;
    std::uint32_t lastProgress = 0;
    bool interrupted = false;
    // Why the runs were cut before the size was reached: clusters past the
    // file system's last one (a damaged size or run), or past the image's end.
    enum class Cut { None, VolumeEnd, ImageEnd } cut = Cut::None;
    // Clusters of the file so far that lie on disk: no file holds more than
    // its whole volume, whatever its size and run lengths say. Sparse runs hold
    // none and do not count (a sparse file may be far larger than its volume);
    // with them the file covers at most kMaxFileClusters.
    std::uint64_t fileClusters = 0;
    std::uint64_t sparseClusters = 0;

    auto progress = [&] {
        if (copyMode != CopyMode::Save || size == 0)
            return;
        const auto position = static_cast<std::uint32_t>(std::min<std::uint64_t>(99, written * 100 / size));
        if (position != lastProgress)
            m_observer.fileProgress(lastProgress = position);
    };
    auto write = [&](const std::byte* bytes, std::uint64_t count) {
        if (count == 0 || p.writeFailed)
            return;
        if (!p.file->write(disk::ByteSpan(bytes, static_cast<std::size_t>(count))))
            p.writeFailed = true;
        else
            written += count;
    };
    auto hole = [&](std::uint64_t count) {
        if (count == 0 || p.writeFailed)
            return;
        if (!p.file->writeHole(count))
            p.writeFailed = true;
        else
            written += count;
    };

    for (const ClusterRun& run : runs) {
        // The run is one stretch of sectors: cluster start + j lies at
        // base + (start + j) * spc. It is read in chunks and written in blocks.
        // It is cut where it leaves the volume; the copy ends there.
        const std::uint64_t covered = fileClusters + sparseClusters;
        const std::uint64_t room = ntfs::kMaxFileClusters - std::min(covered, ntfs::kMaxFileClusters);
        std::uint64_t length =
            std::min(run.length, run.sparse ? room : std::min(room, extent().clusterCount() - fileClusters));
        if (length < run.length)
            cut = Cut::VolumeEnd;
        if (!run.sparse && !run.missing && run.start >= 0) {
            const auto start = static_cast<std::uint64_t>(run.start);
            const std::uint64_t readable = start >= extent().readableEnd ? 0 : extent().readableEnd - start;
            if (readable < length) {
                // The first cluster that cannot be read is either in the part of
                // the file system that a truncated image lacks, or past its end.
                cut = std::max(start, extent().readableEnd) < extent().endCluster ? Cut::ImageEnd : Cut::VolumeEnd;
                length = readable;
            }
        }
        (run.sparse ? sparseClusters : fileClusters) += length;
        const std::uint64_t runSectors = length * spc; // at most the volume's sectors
        std::optional<std::uint64_t> firstSector;
        if (!run.sparse && run.start >= 0 && static_cast<std::uint64_t>(run.start) <= (std::uint64_t{1} << 48)) {
            const std::int64_t s = g.ClusterBaseSector + run.start * static_cast<std::int64_t>(spc);
            if (s >= 0)
                firstSector = static_cast<std::uint64_t>(s);
        }
        for (std::uint64_t done = 0; done < runSectors && written < size && !p.writeFailed;) {
            progress();
            if (m_control.interrupted()) {
                interrupted = true;
                break;
            }
            const std::uint64_t needBytes = size - written;
            const std::uint64_t needSectors = needBytes / kSector + (needBytes % kSector != 0 ? 1 : 0);
            std::uint64_t chunk = std::min<std::uint64_t>({kChunkSectors, runSectors - done, needSectors});
            chunk = (chunk + block - 1) / block * block; // whole blocks, within the buffer
            chunk = std::min<std::uint64_t>(chunk, kChunkSectors);
            if (written < zeroFrom && !run.sparse && zeroFrom - written < chunk * kSector) {
                // Read no further than the block that holds byte zeroFrom.
                const std::uint64_t toZero = (zeroFrom - written + kSector - 1) / kSector;
                chunk = std::min(chunk, (toZero + block - 1) / block * block);
            }
            const std::size_t chunkBytes = static_cast<std::size_t>(chunk * kSector);
            if (run.sparse || written >= zeroFrom) {
                // Nothing on disk to read (a sparse run, or data past what was
                // written): a hole in the copy, a chunk at a time so that Stop
                // is still heard where holes become zeros.
                hole(std::min<std::uint64_t>(chunkBytes, size - written));
                done += chunk;
                continue;
            }
            const std::vector<bool> zeroed =
                readChunk(run, firstSector ? std::optional(*firstSector + done) : std::nullopt, chunk, block);
            if (written + chunkBytes > zeroFrom)
                std::fill(m_buffer.begin() + static_cast<std::ptrdiff_t>(zeroFrom - written),
                          m_buffer.begin() + static_cast<std::ptrdiff_t>(chunkBytes), std::byte{0});
            // Write the chunk block by block, testing the flags before each
            // block; consecutive blocks go out in one write.
            std::size_t pendingFrom = 0;
            std::size_t pendingBytes = 0;
            for (std::size_t b = 0; b < chunk / block; ++b) {
                if (m_control.interrupted()) {
                    interrupted = true;
                    break;
                }
                const std::uint64_t take = std::min<std::uint64_t>(blockBytes, size - written - pendingBytes);
                if (take == 0)
                    break;
                if (!zeroed.empty() && zeroed[b])
                    ++p.report.zeroFilledBlocks;
                pendingBytes += static_cast<std::size_t>(take);
                if (take < blockBytes)
                    break;
            }
            write(m_buffer.data() + pendingFrom, pendingBytes);
            done += chunk;
            if (interrupted)
                break;
        }
        if (interrupted || written >= size || p.writeFailed || cut != Cut::None)
            break;
    }
    p.report.bytesWritten = written;
    if (p.writeFailed)
        p.report.outcome = FileOutcome::WriteFailed;
    else if (written >= size)
        p.report.outcome = FileOutcome::Written;
    else if (interrupted || m_control.interrupted())
        p.report.outcome = FileOutcome::CutShort;
    else
        p.report.outcome = cut == Cut::VolumeEnd ? FileOutcome::CutAtVolumeEnd : FileOutcome::Incomplete;
}

std::vector<bool> FileRecovery::readChunk(const ClusterRun& run, std::optional<std::uint64_t> first,
                                          std::uint64_t sectors, std::uint32_t block)
{
    const std::uint64_t blockBytes = std::uint64_t{block} * kSector;
    const auto bytes = static_cast<std::size_t>(sectors * kSector);
    // Grown to the largest chunk met (at most kChunkSectors): most files are small.
    if (m_buffer.size() < bytes)
        m_buffer.resize(bytes);
    const auto blocks = static_cast<std::size_t>(sectors / block);
    if (run.missing) {
        std::memset(m_buffer.data(), 0, bytes);
        return std::vector<bool>(blocks, true);
    }
    if (first && m_volume->reader.read(*first, static_cast<std::uint32_t>(sectors),
                                       disk::MutableByteSpan(m_buffer.data(), bytes)) == disk::ReadStatus::Ok)
        return {};
    // Read block by block so that only the blocks that fail become zeros.
    std::vector<bool> zeroed(blocks, false);
    for (std::size_t b = 0; b < blocks; ++b) {
        std::byte* at = m_buffer.data() + b * blockBytes;
        const bool blockOk =
            first && m_volume->reader.read(*first + b * block, block, disk::MutableByteSpan(at, blockBytes)) ==
                         disk::ReadStatus::Ok;
        if (!blockOk) {
            std::memset(at, 0, blockBytes);
            zeroed[b] = true;
        }
    }
    return zeroed;
}

int FileRecovery::RecoverFatFile(const TargetFolder& folder, std::uint32_t ordinal, int copyMode,
                                 std::uint32_t firstCluster, std::uint32_t size, const std::string& name,
                                 std::uint32_t deleted)
{
    if (m_volume->geometry.GeometryKind == disk::VolumeKind::Exfat)
        if (const catalogue::FatFileEntry* e = fatFileByOrdinal(ordinal); e != nullptr && e->exfat)
            return recoverExfatFile(folder, *e, copyMode);
    if (stopped())
        return 0;
    m_control.SkipFile.store(0, std::memory_order_relaxed);
    Prepared p;
    if (!prepare(p, folder, name, size, copyMode, false))
        return 0;
    if (const catalogue::FatFileEntry* e = fatFileByOrdinal(ordinal))
        p.times = fatEntryTimes(e->writeDate, e->accessDate, e->writeTime);
    if (!create(p))
        return 0;
    ++m_savedFileCount;

    bool guessed = false;
    std::uint32_t loopAt = 0;
    const std::vector<ClusterRun> runs = fatFileRuns(firstCluster, size, deleted == 1, guessed, loopAt);
    copyRuns(p, runs, size, copyMode);
    if (loopAt != 0 && p.report.outcome != FileOutcome::WriteFailed && p.report.outcome != FileOutcome::CutShort) {
        // What the chain holds up to the loop was written; the rest is not on the volume.
        p.report.outcome = FileOutcome::Incomplete;
        p.report.error = "its cluster chain loops at cluster " + std::to_string(loopAt);
    } else if (guessed && p.report.outcome == FileOutcome::Written) {
        // Bytes were written, but from clusters the table could not confirm.
        p.report.outcome = FileOutcome::Incomplete;
        p.report.error = kGuessedClusters;
    }
    if (deleted == 1) {
        const catalogue::FatFileEntry* e = fatFileByOrdinal(ordinal);
        // A carved file whose format broke off is written as far as it held,
        // and never reported as whole.
        if (e != nullptr && e->carved == catalogue::Carved::Incomplete && p.report.outcome == FileOutcome::Written)
            p.report.outcome = FileOutcome::Incomplete;
        const ConditionEstimate c = e != nullptr ? conditions().fatFile(*e) : conditions().fatFile(firstCluster, size);
        p.report.clustersInUse = c.clustersInUse - c.clustersMissing; // those the copy read
    }
    finish(p, size);
    return 1;
}

namespace {

/// "clusters 120-135, 200" and the like, for the trace; at most a few dozen
/// runs are named.
template <typename Run> std::string runsText(std::span<const Run> runs)
{
    constexpr std::size_t kNamed = 32;
    std::string text = "clusters ";
    for (std::size_t i = 0; i < runs.size() && i < kNamed; ++i) {
        const Run& r = runs[i];
        text += i == 0 ? "" : ", ";
        if (r.sparse || r.missing) {
            text += std::string(r.sparse ? "a hole of " : "missing: ") + std::to_string(r.length);
            continue;
        }
        text += std::to_string(r.start);
        if (r.length > 1)
            text += "-" + std::to_string(r.start + static_cast<std::int64_t>(r.length) - 1);
    }
    if (runs.size() > kNamed)
        text += " and " + std::to_string(runs.size() - kNamed) + " more runs";
    return text;
}

} // namespace

std::vector<FileRecovery::ClusterRun> FileRecovery::fatFileRuns(std::uint32_t firstCluster, std::uint32_t size,
                                                                bool deleted, bool& guessed, std::uint32_t& loopAt)
{
    std::string rule;
    const auto traced = [&](std::vector<ClusterRun> runs) {
        if (disk::tracing())
            disk::trace("file at cluster " + std::to_string(firstCluster) + " (" + std::to_string(size) + " bytes, " +
                        (deleted ? "deleted" : "live") + "): " + rule + ": " +
                        runsText(std::span<const ClusterRun>(runs)));
        return runs;
    };
    loopAt = 0;
    const auto& g = m_volume->geometry;
    const std::uint64_t clusterBytes = std::uint64_t{g.SectorsPerCluster} * kSector;
    std::vector<ClusterRun> runs;
    if (clusterBytes == 0)
        return runs;
    const std::uint64_t n = (std::uint64_t{size} + clusterBytes - 1) / clusterBytes;
    // A chain longer than the volume has clusters loops: the walk stops there.
    const auto limit = static_cast<std::uint32_t>(std::min(n, extent().clusterCount() + 1));
    auto addClusters = [&runs](const std::vector<std::uint32_t>& clusters) {
        for (const std::uint32_t c : clusters) {
            if (!runs.empty() && !runs.back().sparse &&
                runs.back().start + static_cast<std::int64_t>(runs.back().length) == std::int64_t{c})
                ++runs.back().length;
            else
                runs.push_back({std::int64_t{c}, 1, false});
        }
    };
    fat::ClusterChain chain;
    if (!deleted && thoroughCopy() && n != 0) {
        // A live file's chain that runs back into itself ends where it does;
        // nothing of the volume past the loop belongs to the file.
        if (chain.BuildClusterChain(m_volume->reader, g, firstCluster, limit, 1, &m_control, true) ==
            fat::ChainEnd::Loop) {
            // Where the loop comes only after the file's last cluster, the chain holds it whole.
            if (chain.size() < n)
                loopAt = chain.loopCluster();
            std::vector<std::uint32_t> clusters = chain.clusters();
            clusters.resize(std::min<std::size_t>(clusters.size(), n));
            addClusters(clusters);
            rule = "its FAT chain, up to where it loops back";
            return traced(std::move(runs));
        }
    }
    bool chainUnreadable =
        chain.BuildClusterChain(m_volume->reader, g, firstCluster, limit, 1, &m_control) == fat::ChainEnd::ReadFailed;
    if (chain.size() != n)
        chainUnreadable |= chain.BuildClusterChain(m_volume->reader, g, firstCluster, limit, 2, &m_control) ==
                           fat::ChainEnd::ReadFailed;
    if (chain.size() == n && n != 0) {
        addClusters(chain.clusters());
        rule = "its FAT chain";
    } else if (deleted && thoroughCopy() && n != 0) {
        rule = "its chain is gone; the thorough rule takes the next free clusters, passing over those live files hold";
        // Thorough: the chain is gone; the next free clusters, passing over
        // those that live files hold (the consecutive ones when too few are free).
        if (!m_fatTable)
            m_fatTable = std::make_unique<fat::FatTable>(m_volume->reader, g, disk::fileSystemSpan(*m_volume));
        const fat::FreeClusters free = fat::FreeClustersRead(*m_fatTable, firstCluster, limit);
        guessed = free.metUnreadable;
        addClusters(free.clusters);
        if (runs.empty())
            runs.push_back({std::int64_t{firstCluster}, n, false});
    } else {
        // No chain fits: the file is read from consecutive clusters. For a live
        // file whose chain could not be read, that is a guess; a deleted file's
        // chain was cleared, and the table says nothing of it.
        guessed = !deleted && chainUnreadable;
        runs.push_back({std::int64_t{firstCluster}, n, false});
        rule = deleted ? "its chain is gone; the classic rule reads the clusters that follow its first"
                       : "no chain of its size could be read; the clusters that follow its first (a guess)";
    }
    return traced(std::move(runs));
}

bool FileRecovery::createForRuns(Prepared& p, int copyMode)
{
    m_control.SkipFile.store(0, std::memory_order_relaxed);
    if (copyMode == CopyMode::Save) {
        if (stopped())
            return false;
        m_observer.fileProgress(0);
    }
    return create(p);
}

int FileRecovery::RecoverNtfsFile(const TargetFolder& folder, const std::string& listedName, std::uint64_t size,
                                  std::uint64_t recordSector, int copyMode, std::uint32_t deleted)
{
    if (stopped())
        return 0;
    if (m_sources != nullptr && m_currentFile)
        if (const disk::SelectedVolume* other = m_sources->volumeOf(*m_currentFile);
            other != nullptr && other != m_volume) {
            // A file of a shadow copy: its record, runs and clusters are the
            // copy's, and none of them is another file's there.
            const VolumeSwitch reading(*this, *other);
            return RecoverNtfsFile(folder, listedName, size, recordSector, copyMode, 0);
        }
    // A named stream "NAME:STREAM" is written beside its file as "NAME~STREAM":
    // the copy takes its name only when whole, by a rename, and no system
    // renames a file into another's stream.
    const catalogue::NtfsFileEntry* entry = ntfsFileBySector(recordSector);
    if (entry != nullptr && entry->name != listedName) {
        // Asked by sector and name alone (not while a list is copied): the
        // stream of that name, when the record holds one.
        for (const auto& e : m_catalogue.fsLists().NtfsFileList)
            if (e.recordSector == recordSector && e.name == listedName)
                entry = &e;
    }
    const std::string stream = entry != nullptr ? entry->stream : std::string{};
    std::string name = listedName;
    if (!stream.empty() && name.size() > stream.size() && name.ends_with(":" + stream))
        name.replace(name.size() - stream.size() - 1, 1, std::string(1, kStreamSeparator));
    Prepared p;
    const bool thorough = thoroughCopy();
    if (size == 0 && thorough) {
        // Thorough mode: an empty file is still one the user lost; it is written empty.
        if (!prepare(p, folder, name, size, copyMode, true) || !create(p))
            return 0;
        ++m_savedFileCount;
        p.report.outcome = FileOutcome::Written;
        finish(p, size);
        return 1;
    }
    if (size == 0) {
        // An empty NTFS file yields no file at all.
        p.folder = &folder;
        p.safeName = safeComponent(name, m_catalogue.NamesAreUtf8);
        p.path = joinPath(folder.path, p.safeName);
        p.report.outcome = FileOutcome::NothingToWrite;
        finish(p, size);
        return 0;
    }
    if (!prepare(p, folder, name, size, copyMode, true))
        return 0;
    if (const catalogue::NtfsFileEntry* e = ntfsFileBySector(recordSector)) {
        if (e->carved != catalogue::Carved::No)
            return recoverCarvedNtfsFile(p, *e, copyMode);
        const catalogue::NtfsStandardTimes t = m_catalogue.ntfsTimes(*e);
        p.times = ntfsEntryTimes(t.modified, t.accessed);
    }

    // The record is read into a cleared private buffer and fixed up there; a
    // record that cannot be read is never taken for data.
    ntfs::MftRecord record(m_volume->geometry.MftRecordSectors);
    if (m_volume->reader.read(recordSector, record.sectors(), record) != disk::ReadStatus::Ok) {
        p.report.outcome = FileOutcome::Unreadable;
        finish(p, size);
        return 0;
    }
    ntfs::ApplyRecordFixup(record);
    if (thorough && stream.empty()) {
        // A data attribute split over several records by an attribute list is
        // gathered from all of them; without a list the record alone holds it.
        // A named stream is listed only from a record without a list.
        if (const auto listed = listedData(record, recordSector, size)) {
            if (listed->runs.empty()) {
                p.report.outcome = FileOutcome::NothingToWrite;
                finish(p, size);
                return 0;
            }
            if (!createForRuns(p, copyMode))
                return 0;
            const std::uint64_t initialized =
                listed->realSize && listed->initializedSize
                    ? ntfs::InitializedBytes(*listed->realSize, *listed->initializedSize, size)
                    : size;
            writeNtfsRuns(p, listed->runs, listed->compression, size, initialized, copyMode, deleted, recordSector);
            return 1;
        }
    }
    const ntfs::DataAttributeLocation data = ntfs::LocateDataAttribute(record, stream);

    if (data.kind == ntfs::DataAttributeKind::Resident) {
        // Resident data ends before the record's last byte (1023 in a 1,024-byte record).
        // A named stream's value follows its name: its offset is the one the header gives.
        const std::uint64_t residentLimit = record.size() - 1;
        const std::uint64_t valueOffset = stream.empty()
                                              ? kResidentDataOffset
                                              : disk::ByteReader(record).u16or0(data.offset + ntfs::kAttrValueOffset);
        if (valueOffset < kResidentDataOffset || size > residentLimit - valueOffset ||
            data.offset + valueOffset + size > residentLimit) {
            p.report.outcome = FileOutcome::NothingToWrite;
            finish(p, size);
            return 0;
        }
        if (!create(p))
            return 0;
        const std::size_t from = data.offset + static_cast<std::size_t>(valueOffset);
        if (!p.file->write(disk::ByteSpan(record.data() + from, static_cast<std::size_t>(size))))
            p.writeFailed = true;
        ++m_savedFileCount;
        p.report.bytesWritten = p.writeFailed ? 0 : size;
        p.report.outcome = p.writeFailed ? FileOutcome::WriteFailed : FileOutcome::Written;
        finish(p, size);
        return 1;
    }
    if (data.kind == ntfs::DataAttributeKind::NonResident) {
        const auto runs = ntfs::DecodeDataRuns(record, data.offset);
        if (!runs || runs->empty()) {
            p.report.outcome = FileOutcome::NothingToWrite;
            finish(p, size);
            return runs ? 1 : 0;
        }
        if (!createForRuns(p, copyMode))
            return 0;
        writeNtfsRuns(p, *runs, ntfs::ReadCompressionInfo(record, data.offset), size,
                      ntfs::InitializedBytes(record, data.offset, size), copyMode, deleted, recordSector);
        return 1;
    }
    p.report.outcome = FileOutcome::NothingToWrite;
    finish(p, size);
    return 0;
}

void FileRecovery::writeZeroTail(Prepared& p, std::uint64_t from, std::uint64_t size)
{
    if (p.report.outcome != FileOutcome::Written || from >= size)
        return;
    std::uint64_t written = from;
    while (written < size) {
        if (m_control.interrupted()) {
            p.report.outcome = FileOutcome::CutShort;
            break;
        }
        const std::uint64_t n = std::min<std::uint64_t>(kHoleStep, size - written);
        if (!p.file->writeHole(n)) {
            p.writeFailed = true;
            p.report.outcome = FileOutcome::WriteFailed;
            break;
        }
        written += n;
    }
    p.report.bytesWritten = written;
}

void FileRecovery::writeNtfsRuns(Prepared& p, const ntfs::NtfsRunList& runs, const ntfs::CompressionInfo& compression,
                                 std::uint64_t size, std::uint64_t initialized, int copyMode, std::uint32_t deleted,
                                 std::uint64_t recordSector)
{
    if (disk::tracing())
        disk::trace("NTFS record at sector " + std::to_string(recordSector) + " (" + std::to_string(size) + " bytes, " +
                    std::to_string(initialized) + " initialized" + (deleted != 0 ? ", deleted" : "") +
                    (compression.compressed ? ", compressed" : "") +
                    "): its data runs: " + runsText(std::span<const ntfs::NtfsRun>(runs)));
    // Past the initialized size nothing was written: its clusters may hold
    // another file's bytes, and the file reads as zeros there.
    if (compression.compressed) {
        // Compressed data is decoded in every rule set: its raw bytes are not the file.
        const ntfs::CompressedCopy copied = ntfs::CopyCompressedRuns(
            *m_volume, extent(), runs, compression.unitClusters, initialized,
            [&](disk::ByteSpan bytes) { return p.file->write(bytes); },
            [&](std::uint64_t count) { return p.file->writeHole(count); }, [&] { return m_control.interrupted(); });
        p.writeFailed = copied.writeFailed;
        p.report.bytesWritten = copied.written;
        p.report.zeroFilledBlocks += static_cast<std::uint32_t>(std::min<std::uint64_t>(copied.zeroFilledUnits, ~0u));
        if (copied.writeFailed)
            p.report.outcome = FileOutcome::WriteFailed;
        else if (copied.interrupted || m_control.interrupted())
            p.report.outcome = FileOutcome::CutShort;
        else if (copied.written >= initialized && copied.zeroFilledUnits == 0)
            p.report.outcome = FileOutcome::Written;
        else if (copied.cutAtVolumeEnd)
            p.report.outcome = FileOutcome::CutAtVolumeEnd;
        else
            p.report.outcome = FileOutcome::Incomplete; // a unit unreadable or undecodable, or the runs ended
        // The zeros go no further than the runs reach (a damaged size may claim far more).
        const std::uint64_t clusterBytes = std::uint64_t{m_volume->geometry.SectorsPerCluster} * kSector;
        std::uint64_t reach = 0;
        for (const ntfs::NtfsRun& r : runs)
            reach += std::min(r.length, ntfs::kMaxFileClusters);
        reach = std::min(reach, ntfs::kMaxFileClusters) * clusterBytes;
        writeZeroTail(p, initialized, std::min(size, std::max(reach, initialized)));
        if (p.report.outcome == FileOutcome::Written && reach < size)
            p.report.outcome = FileOutcome::Incomplete;
        ++m_savedFileCount;
        if (deleted == 1)
            p.report.clustersInUse = clustersReadInUse(recordSector, size);
        finish(p, size);
        return;
    }
    std::vector<ClusterRun> clusterRuns;
    clusterRuns.reserve(runs.size());
    for (const ntfs::NtfsRun& r : runs)
        clusterRuns.push_back({r.start, r.length, r.sparse, r.missing});
    copyRuns(p, clusterRuns, size, copyMode, initialized);
    ++m_savedFileCount;
    if (deleted == 1)
        p.report.clustersInUse = clustersReadInUse(recordSector, size);
    finish(p, size);
}

int FileRecovery::recoverCarvedNtfsFile(Prepared& p, const catalogue::NtfsFileEntry& entry, int copyMode)
{
    if (!createForRuns(p, copyMode))
        return 0;
    const std::uint64_t clusterBytes = std::uint64_t{m_volume->geometry.SectorsPerCluster} * kSector;
    // A carved file's record number is the cluster its bytes start at (32 bits on NTFS).
    const ClusterRun run{static_cast<std::int64_t>(entry.recordNumber & 0xFFFFFFFF),
                         (entry.size + clusterBytes - 1) / clusterBytes, false, false};
    copyRuns(p, {&run, 1}, entry.size, copyMode);
    ++m_savedFileCount;
    // A carved file whose format broke off is never reported as whole.
    if (entry.carved == catalogue::Carved::Incomplete && p.report.outcome == FileOutcome::Written)
        p.report.outcome = FileOutcome::Incomplete;
    p.report.clustersInUse = clustersReadInUse(entry.recordSector, entry.size);
    finish(p, entry.size);
    return 1;
}

std::uint64_t FileRecovery::clustersReadInUse(std::uint64_t recordSector, std::uint64_t size)
{
    const catalogue::NtfsFileEntry* e = ntfsFileBySector(recordSector);
    const ConditionEstimate c = e != nullptr ? conditions().ntfsFile(*e) : conditions().ntfsFile(recordSector, size);
    return c.clustersInUse - c.clustersMissing;
}

std::optional<ntfs::ListedData> FileRecovery::listedData(const ntfs::MftRecord& record, std::uint64_t recordSector,
                                                         std::uint64_t size)
{
    if (!m_mftRuns) {
        m_mftRuns = std::make_unique<ntfs::MftRunList>();
        ntfs::BuildMftRunList(*m_mftRuns, *m_volume);
    }
    const catalogue::NtfsFileEntry* e = ntfsFileBySector(recordSector);
    return ntfs::ReadListedData(*m_volume, *m_mftRuns, record, e != nullptr ? e->recordNumber : 0, size);
}

int FileRecovery::recoverExfatFile(const TargetFolder& folder, const catalogue::FatFileEntry& entry, int copyMode)
{
    if (stopped())
        return 0;
    m_control.SkipFile.store(0, std::memory_order_relaxed);
    const catalogue::ExfatData& data = *entry.exfat;
    const std::uint64_t size = data.dataLength;
    const std::uint64_t valid = std::min(data.validDataLength, size);
    Prepared p;
    if (!prepare(p, folder, entry.name, size, copyMode, false))
        return 0;
    p.times = exfatEntryTimes(data.modified, data.modified10ms, data.modifiedUtc, data.accessed, data.accessedUtc);
    if (!create(p))
        return 0;
    ++m_savedFileCount;

    if (!m_exfat)
        m_exfat = std::make_unique<exfat::ExfatVolume>(*m_volume);
    // Only the clusters that hold the valid bytes are read: past the valid
    // length the file reads as zeros, whatever its clusters hold.
    std::vector<ClusterRun> runs;
    for (const exfat::ClusterSpan& span :
         m_exfat->dataClusters(entry.firstCluster, valid, data.noFatChain, entry.deleted == 1))
        runs.push_back({static_cast<std::int64_t>(span.start), span.length, false, false});
    if (disk::tracing())
        disk::trace(
            "exFAT file at cluster " + std::to_string(entry.firstCluster) + " (" + std::to_string(size) + " bytes, " +
            std::to_string(valid) + " valid, " + (entry.deleted == 1 ? "deleted" : "live") + "): " +
            (data.noFatChain      ? "written in one piece: its consecutive clusters"
             : entry.deleted == 1 ? "its chain is gone; the clusters the allocation bitmap marks free from its first"
                                  : "its FAT chain") +
            ": " + runsText(std::span<const ClusterRun>(runs)));
    copyRuns(p, runs, valid, copyMode);
    // A deleted chained file's clusters come from the allocation bitmap; when
    // it cannot be read they are a guess, and the copy is not called whole.
    const bool guessed = entry.deleted == 1 && !data.noFatChain && valid > m_exfat->clusterBytes() &&
                         !m_exfat->clusterUsed(entry.firstCluster).has_value();
    // Past the valid length nothing was ever written: a hole in the copy.
    writeZeroTail(p, valid, size);
    if (guessed && p.report.outcome == FileOutcome::Written) {
        p.report.outcome = FileOutcome::Incomplete;
        p.report.error = kGuessedFromBitmap;
    }
    // A carved file whose format broke off is never reported as whole.
    if (entry.carved == catalogue::Carved::Incomplete && p.report.outcome == FileOutcome::Written)
        p.report.outcome = FileOutcome::Incomplete;
    if (entry.deleted == 1) {
        const ConditionEstimate c = conditions().fatFile(entry);
        p.report.clustersInUse = c.clustersInUse - c.clustersMissing;
    }
    finish(p, size);
    return 1;
}

} // namespace sarvik::recovery
