// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/FolderTreeItems.h"

#include "session/DisplayText.h"

namespace sarvik::session {

std::vector<FolderItem> folderTreeItems(const catalogue::FolderTree& tree, bool namesAreUtf8)
{
    std::vector<FolderItem> items;
    std::vector<const catalogue::TreeNode*> pending{&tree.root()};
    while (!pending.empty()) {
        const catalogue::TreeNode* node = pending.back();
        pending.pop_back();
        for (const std::uint32_t handle : node->children) {
            const catalogue::TreeNode* child = tree.node(handle);
            if (child == nullptr)
                continue;
            items.push_back(FolderItem{handle, node->handle, displayName(child->name, namesAreUtf8)});
            pending.push_back(child);
        }
    }
    return items;
}

std::uint64_t listedFolderKey(const catalogue::FolderTree& tree, std::uint32_t handle)
{
    const catalogue::TreeNode* node = tree.node(handle);
    return node != nullptr && node->folderIndex >= 0 ? node->key : tree.rootKey();
}

} // namespace sarvik::session
