// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/EntryAccess.h"

#include "scan/ScanSession.h"

#include <algorithm>

namespace sarvik::session {

ListSizes listSizes(const scan::ScanSession& session)
{
    return {session.catalogue.folderEntryCount(), session.catalogue.fileEntryCount()};
}

bool isFolderRow(const catalogue::FileRow& row)
{
    const std::string& type = row.type;
    return row.folder || (type.size() >= 6 && type.compare(type.size() - 6, 6, "Folder") == 0);
}

std::uint64_t fileSize(const catalogue::Catalogue& catalogue, catalogue::CatalogueKind, std::size_t fileIndex)
{
    return catalogue.entry(catalogue::fileEntryId(fileIndex)).size; // 0 for none
}

std::optional<std::uint64_t> fileParentKey(const scan::ScanSession& session, std::size_t fileIndex)
{
    const catalogue::Entry e = session.catalogue.entry(catalogue::fileEntryId(fileIndex));
    if (e.id == catalogue::kNoEntryId)
        return std::nullopt;
    return e.parentNumber;
}

std::optional<RenamedEntry> renameEntry(scan::ScanSession& session, const catalogue::FileRow& row,
                                        const std::string& name8)
{
    const auto identity = session.catalogue.renameEntry(row.entry, name8);
    if (!identity)
        return std::nullopt;
    if (identity->folder)
        session.tree.setName(static_cast<std::uint32_t>(session.catalogue.listId(row.entry)), name8);
    return RenamedEntry{*identity, name8};
}

void applyRename(scan::ScanSession& session, const RenamedEntry& r)
{
    for (const std::uint32_t handle : session.catalogue.renameLike(r.identity, r.name))
        session.tree.setName(handle, r.name);
}

int copyRowForOpen(recovery::FileRecovery& copier, const scan::ScanSession&, const catalogue::FileRow& row,
                   const recovery::TargetFolder& target)
{
    return copier.RecoverFile(target, row.entry, recovery::CopyMode::Open);
}

int copyFileHead(recovery::FileRecovery& copier, std::uint16_t, const catalogue::Catalogue&,
                 const catalogue::FileRow& row, const recovery::TargetFolder& target)
{
    return copier.RecoverFile(target, row.entry, recovery::CopyMode::Open);
}

std::optional<std::vector<recovery::ClusterPart>> clusterParts(recovery::ConditionEstimator& estimator,
                                                               std::uint16_t kind,
                                                               const catalogue::Catalogue& catalogue,
                                                               const catalogue::FileRow& row)
{
    if (row.folder || (!disk::usesFatCatalogue(kind) && kind != disk::VolumeKind::Ntfs))
        return std::nullopt;
    return estimator.fileParts(catalogue, row.entry);
}

} // namespace sarvik::session
