// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/Properties.h"

#include "scan/ScanSession.h"
#include "session/DisplayText.h"
#include "session/EntryAccess.h"

#include <vector>

namespace sarvik::session {

std::string fileSizeText(std::uint64_t size)
{
    return std::to_string(size / 1024 + 1) + " KB";
}

FolderTotals countFolder(const catalogue::Catalogue& catalogue, const catalogue::FolderTree& tree,
                         const catalogue::CatalogueIndex& index, std::uint32_t treeItem)
{
    FolderTotals totals;
    std::vector<std::uint32_t> pending{treeItem};
    // Each node is visited once: the tree places a folder only once.
    while (!pending.empty() && totals.folders <= tree.size()) {
        const catalogue::TreeNode* node = tree.node(pending.back());
        pending.pop_back();
        if (node == nullptr)
            continue;
        ++totals.folders;
        const std::uint64_t key = node->folderIndex >= 0 ? node->key : 0;
        for (std::size_t f : index.filesIn(key)) {
            ++totals.files;
            totals.bytes += fileSize(catalogue, tree.kind(), f);
        }
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it)
            pending.push_back(*it);
    }
    return totals;
}

std::string contentsText(const FolderTotals& totals)
{
    const std::uint64_t below = totals.folders > 0 ? totals.folders - 1 : 0;
    return std::to_string(totals.files) + " File(s) and " + std::to_string(below) + " Folder(s)";
}

std::string folderSizeText(const FolderTotals& totals)
{
    const std::uint64_t mb = totals.bytes / 1024 / 1024;
    return (mb == 0 ? std::string("Less than 1") : std::to_string(mb)) + " MB";
}

RowProperties rowProperties(const scan::ScanSession& session, const catalogue::FileRow& row)
{
    RowProperties values;
    values.name = displayName(row.name, session.catalogue.NamesAreUtf8);
    values.created = row.created;
    values.modified = row.modified;
    // A folder row is told by its type, as the box has always told it.
    const std::string& type = row.type;
    values.folder = type.size() >= 6 && type.compare(type.size() - 6, 6, "Folder") == 0;
    if (values.folder) {
        const FolderTotals totals =
            countFolder(session.catalogue, session.tree, session.index(), static_cast<std::uint32_t>(row.key));
        values.contents = contentsText(totals);
        values.size = folderSizeText(totals);
    } else {
        values.size = fileSizeText(row.size);
    }
    return values;
}

} // namespace sarvik::session
