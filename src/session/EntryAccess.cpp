// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/EntryAccess.h"

#include "scan/ScanSession.h"

#include <algorithm>

namespace sarvik::session {

namespace {

bool isFat(const scan::ScanSession& session)
{
    return session.kind() == catalogue::CatalogueKind::Fat;
}

} // namespace

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
    catalogue::Catalogue& c = session.catalogue;
    const bool fat = isFat(session);
    const auto find = [](auto& list, auto matches) {
        const auto found = std::find_if(list.begin(), list.end(), matches);
        return found == list.end() ? nullptr : &*found;
    };
    if (!isFolderRow(row)) {
        if (fat) {
            auto* e = find(c.FatFileList, [&](const catalogue::FatFileEntry& f) { return f.ordinal == row.key; });
            if (e == nullptr)
                return std::nullopt;
            e->name = name8;
            return RenamedEntry{false, e->firstCluster, e->parentCluster, e->origin.address, name8};
        }
        auto* e = find(c.NtfsFileList, [&](const catalogue::NtfsFileEntry& f) { return f.recordSector == row.key; });
        if (e == nullptr)
            return std::nullopt;
        e->name = name8;
        return RenamedEntry{false, e->recordSector, e->recordNumber, e->parentRecord, name8};
    }
    // A folder row's key is its tree handle.
    const auto handle = static_cast<std::uint32_t>(row.key);
    session.tree.setName(handle, name8);
    if (fat) {
        auto* e = find(c.FatFolderList, [&](const catalogue::FatFolderEntry& f) { return f.treeItem == handle; });
        if (e == nullptr)
            return std::nullopt;
        e->name = name8;
        return RenamedEntry{true, e->firstCluster, 0, 0, name8};
    }
    auto* e = find(c.NtfsFolderList, [&](const catalogue::NtfsFolderEntry& f) { return f.treeItem == handle; });
    if (e == nullptr)
        return std::nullopt;
    e->name = name8;
    return RenamedEntry{true, e->recordNumber, 0, 0, name8};
}

void applyRename(scan::ScanSession& session, const RenamedEntry& r)
{
    catalogue::Catalogue& c = session.catalogue;
    const bool fat = isFat(session);
    if (r.folder && fat) {
        for (catalogue::FatFolderEntry& e : c.FatFolderList)
            if (e.firstCluster == r.key) {
                e.name = r.name;
                session.tree.setName(e.treeItem, r.name);
            }
    } else if (r.folder) {
        for (catalogue::NtfsFolderEntry& e : c.NtfsFolderList)
            if (e.recordNumber == r.key) {
                e.name = r.name;
                session.tree.setName(e.treeItem, r.name);
            }
    } else if (fat) {
        for (catalogue::FatFileEntry& e : c.FatFileList)
            if (e.firstCluster == r.key && e.parentCluster == r.parent && e.origin.address == r.address)
                e.name = r.name;
    } else {
        for (catalogue::NtfsFileEntry& e : c.NtfsFileList)
            if (e.recordSector == r.key && e.recordNumber == r.parent && e.parentRecord == r.address)
                e.name = r.name;
    }
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
    if (disk::usesFatCatalogue(kind) && row.entryIndex < catalogue.FatFileList.size())
        return estimator.fatParts(catalogue.FatFileList[row.entryIndex]);
    if (kind == disk::VolumeKind::Ntfs && row.entryIndex < catalogue.NtfsFileList.size())
        return estimator.ntfsParts(catalogue.NtfsFileList[row.entryIndex]);
    return std::nullopt;
}

} // namespace sarvik::session
