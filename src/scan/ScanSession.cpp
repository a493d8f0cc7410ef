// SPDX-License-Identifier: GPL-3.0-or-later
#include "scan/ScanSession.h"

#include "recovery/Condition.h"
#include "recovery/FileSources.h"

#include "carve/FatCarve.h"
#include "carve/NtfsCarve.h"
#include "disk/Trace.h"
#include "exfat/ExfatScan.h"
#include "exfat/ExfatVolume.h"
#include "fat/FatLabel.h"
#include "fat/FatScan.h"
#include "ntfs/MftRecord.h"
#include "ntfs/MftScan.h"
#include "ntfs/NtfsLabel.h"

#include <optional>
#include <utility>

namespace sarvik::scan {

ScanSession::ScanSession()
    : m_index(std::make_unique<catalogue::CatalogueIndex>(catalogue, catalogue::CatalogueKind::Fat))
{
}

ScanSession::~ScanSession() = default;

catalogue::CatalogueKind ScanSession::kind() const
{
    return volume.geometry.GeometryKind == disk::VolumeKind::Ntfs ? catalogue::CatalogueKind::Ntfs
                                                                  : catalogue::CatalogueKind::Fat;
}

void ScanSession::buildTree(catalogue::ScanObserver* observer)
{
    // The index holds the parents' keys, which placing the folders leaves as they are.
    m_index = std::make_unique<catalogue::CatalogueIndex>(catalogue, kind());
    tree.BuildFolderTree(catalogue, *m_index, kind(), observer);
    m_conditions.reset();
}

void ScanSession::takeResults(ScanSession& other)
{
    std::swap(catalogue, other.catalogue);
    std::swap(tree, other.tree);
    std::swap(mftRuns, other.mftRuns);
    std::swap(m_index, other.m_index);
    std::swap(fileSources, other.fileSources);
    // The estimates looked at the clusters of the files they were made for.
    m_conditions.reset();
    other.m_conditions.reset();
}

std::vector<catalogue::FileRow> ScanSession::rows(std::uint64_t key, const catalogue::TypeNameProvider& typeName) const
{
    // No filter, no call per row to say so.
    catalogue::NamePredicate passes;
    if (!filters.empty())
        passes = [this](const std::string& name) { return filters.passes(name, catalogue.NamesAreUtf8); };
    auto list = catalogue::FillFileList(catalogue, *m_index, kind(), key, passes, typeName);
    if (volume.reader.isOpen()) {
        if (!m_conditions) {
            m_conditions =
                std::make_unique<recovery::ConditionEstimator>(volume, catalogue.NamesAreUtf8); // a thorough catalogue
            m_conditions->useOverlaps(catalogue);
        }
        m_conditions->fillRows(list, catalogue);
    }
    if (fileSources)
        for (catalogue::FileRow& row : list)
            if (!row.folder)
                if (std::string whole = fileSources->conditionText(row.entryIndex()); !whole.empty()) {
                    row.condition = std::move(whole);
                    row.conditionClusters = fileSources->clustersOf(row.entryIndex());
                    row.conditionClustersInUse = 0;
                }
    return list;
}

namespace {

/// What opening `item` decided, for the --verbose trace.
void traceSelection(const disk::SelectedVolume& volume, const disk::DriveItem& item, disk::GeometryRules rules,
                    const disk::SelectResult& result)
{
    static constexpr const char* kStatus[] = {"a volume to scan", "cannot be opened", "its boot sector is unreadable",
                                              "not a FAT, exFAT or NTFS volume", "a geometry these rules do not read"};
    const disk::VolumeInfo& info = volume.info;
    const disk::VolumeGeometry& g = volume.geometry;
    std::string line = "open " + item.devicePath + " by the " +
                       (rules == disk::GeometryRules::Classic ? "classic" : "thorough") +
                       " rules: " + kStatus[static_cast<int>(result.status)];
    if (!result.detail.empty())
        line += " (" + result.detail + ")";
    disk::trace(line);
    if (!result)
        return;
    disk::trace(
        "boot sector: " + disk::fileSystemName(info.FileSystemKind) + ", read as " +
        disk::fileSystemName(g.GeometryKind) + ", " + std::to_string(info.BytesPerSector) + "-byte sectors, " +
        std::to_string(g.SectorsPerCluster) + " sectors a cluster, " + std::to_string(info.VolumeSectors) +
        " sectors of 512 bytes in the source, " + std::to_string(info.FileSystemSectors) + " in the file system" +
        (info.BackupBootSector ? ", from the backup boot sector at byte " + std::to_string(info.BackupBootSectorAt)
                               : std::string{}) +
        (info.GeometryRebuilt ? ", geometry rebuilt from the allocation tables and folders" : std::string{}));
    if (disk::isFatKind(g.GeometryKind))
        disk::trace("FAT geometry: reserved sectors " + std::to_string(g.ReservedSectors) + ", FAT sectors " +
                    std::to_string(g.FatSectors) + ", first FAT at sector " + std::to_string(g.FirstFatSector) +
                    ", second at " + std::to_string(g.SecondFatSector) + ", root at " + std::to_string(g.RootDirStart) +
                    ", clusters from sector " + std::to_string(g.ClusterBaseSector));
    else if (g.GeometryKind == disk::VolumeKind::Ntfs)
        disk::trace("NTFS geometry: MFT at sector " + std::to_string(g.MftStartSector) + ", records of " +
                    std::to_string(g.MftRecordSectors * disk::kSectorSize) + " bytes, index records of " +
                    std::to_string(g.IndexRecordSectors) + " sectors");
}

} // namespace

disk::SelectResult SelectVolume(disk::SelectedVolume& volume, const disk::DriveItem& item,
                                disk::DeviceProvider& devices, disk::GeometryRules rules)
{
    disk::SelectResult result = disk::SelectDrive(volume, item, devices, rules);
    const std::uint16_t kind = volume.geometry.GeometryKind;
    if (result && kind == disk::VolumeKind::Exfat)
        volume.info.VolumeLabel = exfat::readVolumeLabel(volume).value_or(std::string{}); // none: no label
    // The system reads no label inside a disk image container: the volume's own.
    else if (result && volume.info.VolumeLabel.empty() && disk::isFatKind(kind))
        volume.info.VolumeLabel = fat::readVolumeLabel(volume).value_or(std::string{});
    else if (result && volume.info.VolumeLabel.empty() && kind == disk::VolumeKind::Ntfs)
        volume.info.VolumeLabel = ntfs::readVolumeLabel(volume).value_or(std::string{});
    if (disk::tracing())
        traceSelection(volume, item, rules, result);
    return result;
}

namespace {

/// The deep search of an NTFS volume: one read of the free clusters, carved
/// for files by content (unless `carve` is off) while the records of an
/// earlier MFT are noted (a quick format leaves all but its first records
/// behind); then those records are read and listed, and what carving found
/// inside the files they name is dropped.
void searchNtfsFreeSpace(ScanSession& session, catalogue::ScanObserver& observer, catalogue::ScanControl& control,
                         bool carve)
{
    observer.settled();
    const disk::VolumeGeometry& g = session.volume.geometry;
    ntfs::RecordSightings sightings(ntfs::MftRecord(g.MftRecordSectors).sectors() * disk::kSectorSize,
                                    std::uint64_t{g.SectorsPerCluster} * disk::kSectorSize);
    carve::CarveOptions carving;
    carving.onUnit = [&](std::uint64_t offset, disk::ByteSpan bytes) { sightings.look(offset, bytes); };
    if (!carve)
        carving.types.fill(false);
    auto& catalogue = session.catalogue;
    const std::size_t firstCarved = catalogue.fsLists().NtfsFileList.size();
    observer.stopAvailable(true);
    const carve::CarveResult carved =
        carve::CarveNtfsVolume(session.volume, session.mftRuns, catalogue, observer, control, carving);
    catalogue.Losses.UnreadableSectors += (carved.unreadableBytes + 511) / 512;
    catalogue.Losses.Stopped = catalogue.Losses.Stopped || carved.stopped;
    if (!catalogue.Losses.Stopped && !control.stopRequested() && !sightings.stretches().empty()) {
        const std::size_t firstFound = catalogue.fsLists().NtfsFileList.size();
        catalogue.UnlistedFoundRecords +=
            ntfs::AddFoundRecords(session.volume, catalogue, session.mftRuns, sightings, observer, control, true)
                .spread;
        carve::DropCarvedWithin(session.volume, session.mftRuns, catalogue, firstCarved, firstFound);
        catalogue.Losses.Stopped = catalogue.Losses.Stopped || control.stopRequested();
    }
    observer.stopAvailable(false);
}

} // namespace

ScanResult RunScan(ScanSession& session, catalogue::ScanObserver& observer, catalogue::ScanControl& control,
                   const ScanOptions& options)
{
    const std::uint16_t kind = session.volume.geometry.GeometryKind;
    // The passes over free space are the thorough rules' own.
    const bool deep = options.thorough && options.deep;
    if (disk::tracing())
        disk::trace(std::string("scan of ") + session.volume.reader.DevicePath() + ": " +
                    (options.thorough ? "thorough" : "classic") + " rules, " +
                    (deep ? std::string("the free space searched too") + (options.carve ? ", by content as well" : "")
                          : std::string("the metadata only")) +
                    (options.deep && !options.thorough ? " (--deep is the thorough rules' own: not searched)" : ""));
    // After the scan, unless it was stopped: the unclaimed clusters searched by content.
    const auto carveAfter = [&](const auto& carveVolume) {
        if (!deep || session.catalogue.Losses.Stopped || control.stopRequested())
            return;
        // What the engine's own passes over free space found is whole now.
        observer.settled();
        if (!options.carve)
            return;
        observer.stopAvailable(true); // the engine withdrew it at its end
        const carve::CarveResult carved = carveVolume();
        observer.stopAvailable(false);
        session.catalogue.Losses.UnreadableSectors += (carved.unreadableBytes + 511) / 512;
        session.catalogue.Losses.Stopped = session.catalogue.Losses.Stopped || carved.stopped;
    };
    if (kind == disk::VolumeKind::Exfat) {
        // As on FAT: carving takes the signatures from the deep search's own read.
        exfat::FreeClusterReads freeClusters;
        std::optional<carve::ExfatFreeClusterSignatures> signatures;
        if (deep && options.carve)
            signatures.emplace(freeClusters);
        exfat::ScanExfat(session.volume, session.catalogue, observer, control,
                         exfat::ExfatScanOptions{deep, &freeClusters, options.thorough && options.live});
        carveAfter([&] {
            return carve::CarveExfatVolume(session.volume, session.catalogue, observer, control, {},
                                           signatures ? &*signatures : nullptr);
        });
        observer.report({catalogue::StatusCode::CreatingDirectoryTree});
    } else if (disk::isFatKind(kind)) {
        // The carving looks at the free clusters as the scan reads them, and does not read them again.
        fat::FreeClusterNotes freeClusters;
        std::optional<carve::FreeClusterSignatures> signatures;
        if (deep && options.carve)
            signatures.emplace(freeClusters);
        fat::ScanFat(session.volume, session.catalogue, observer, control,
                     fat::FatScanOptions{options.thorough, deep, &freeClusters, options.thorough && options.live});
        carveAfter([&] {
            return carve::CarveFatVolume(session.volume, session.catalogue, observer, control, {},
                                         signatures ? &*signatures : nullptr);
        });
        observer.report({catalogue::StatusCode::CreatingDirectoryTree}); // the NTFS scan says so itself
    } else {
        ntfs::ScanMft(session.volume, session.catalogue, session.mftRuns, observer, control,
                      ntfs::NtfsScanOptions{options.thorough, options.thorough && options.live});
        if (deep && !session.catalogue.Losses.Stopped && !control.stopRequested())
            searchNtfsFreeSpace(session, observer, control, options.carve);
    }
    session.catalogue.DeepSearched = deep && !control.stopRequested() && !session.catalogue.Losses.Stopped;
    ScanResult result = session.catalogue.Losses;
    result.Stopped = result.Stopped || control.stopRequested();
    session.buildTree(&observer);
    observer.progress(0);
    return result;
}

} // namespace sarvik::scan
