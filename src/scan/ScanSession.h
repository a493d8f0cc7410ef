// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One examined volume: its selection, the catalogue a scan or a snapshot filled,
// the folder tree built from it, and the file filters. The GUI and the CLI each
// hold one of these; nothing here is process-wide.

#include "catalogue/Catalogue.h"
#include "catalogue/FileList.h"
#include "catalogue/FolderTree.h"
#include "disk/Volume.h"
#include "ntfs/MftRunList.h"
#include "search/NamePatterns.h"

#include <memory>

namespace sarvik::recovery {
class ConditionEstimator;
class FileSources;
} // namespace sarvik::recovery

namespace sarvik::scan {

/// How a scan reads; all off for the default rules.
struct ScanOptions {
    /// The thorough mode: whole folders, names outside ASCII kept as UTF-8,
    /// NTFS attribute lists followed wherever they lie.
    bool thorough = false;
    /// With the deep search: the clusters no found file claims are searched by
    /// content ("$Carved files").
    bool carve = true;
    /// With the thorough mode, the deep search: after the quick scan (unless it
    /// was stopped), the passes over free space: later clusters of deleted
    /// folders, folders whose parent is gone, and carving. Without it a scan
    /// reads the metadata only (boot sector, allocation table or bitmap,
    /// folders, the MFT) and nothing of the free clusters' contents.
    bool deep = false;
    /// With the thorough mode: files in use are listed too (as not deleted),
    /// for a lost or damaged volume whose every file is lost to its user.
    bool live = false;
};

class ScanSession {
public:
    ScanSession();
    ~ScanSession();
    ScanSession(const ScanSession&) = delete;
    ScanSession& operator=(const ScanSession&) = delete;

    disk::SelectedVolume volume;
    catalogue::Catalogue catalogue;
    catalogue::FolderTree tree;
    search::FilterPatterns filters;
    /// Where the MFT's records lie (NTFS only): rebuilt by a scan and after a snapshot load.
    ntfs::MftRunList mftRuns;
    /// The files of the catalogue read from a shadow copy of the volume rather
    /// than from the volume (previous versions); null when there are none.
    std::shared_ptr<const recovery::FileSources> fileSources;

    /// Which half of the catalogue the current geometry uses.
    [[nodiscard]] catalogue::CatalogueKind kind() const;
    /// Rebuilds the folder tree and the child index from the catalogue.
    void buildTree(catalogue::ScanObserver* observer = nullptr);
    /// The child index built with the tree.
    [[nodiscard]] const catalogue::CatalogueIndex& index() const { return *m_index; }
    /// Takes what a scan of the same volume in `other` found: its catalogue, its
    /// folder tree with the child index, its MFT runs and file sources; `other` gets this
    /// session's in exchange. The volume and the filters stay as they are.
    void takeResults(ScanSession& other);
    /// The rows of the folder with key `key`, filtered by `filters`.
    [[nodiscard]] std::vector<catalogue::FileRow>
    rows(std::uint64_t key, const catalogue::TypeNameProvider& typeName = catalogue::defaultTypeName) const;

private:
    std::unique_ptr<catalogue::CatalogueIndex> m_index;
    /// Condition estimates for rows; made on first use after each buildTree.
    mutable std::unique_ptr<recovery::ConditionEstimator> m_conditions;
};

/// What a scan could not read (sectors, MFT records) and whether it was stopped.
using ScanResult = catalogue::ScanLosses;

/// Selects a drive as disk::SelectDrive does, then reads what only a file-system
/// engine can: an exFAT volume's label, from its root folder's label entry.
disk::SelectResult SelectVolume(disk::SelectedVolume& volume, const disk::DriveItem& item,
                                disk::DeviceProvider& devices,
                                disk::GeometryRules rules = disk::GeometryRules::Thorough);

/// Runs the engine that the geometry asks for, then builds the folder tree:
/// what a press of Next does, without the window. A stopped scan still builds the
/// tree from what it found. Clears the stop flag at its end. With `options.deep`
/// the passes over free space follow, unless a stop was asked in any pass
/// (the catalogue's DeepSearched then says whether they ran).
ScanResult RunScan(ScanSession& session, catalogue::ScanObserver& observer, catalogue::ScanControl& control,
                   const ScanOptions& options = {});

} // namespace sarvik::scan
