// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The results' folder tree as a front end shows it: its items in an order
// where each comes after its parent and siblings keep the tree's order, and
// the folder whose rows an item lists.

#include "catalogue/FolderTree.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sarvik::session {

/// One folder of the tree below the root.
struct FolderItem {
    std::uint32_t handle = 0;
    std::uint32_t parent = 0; ///< FolderTree::kRootHandle for the root's folders
    std::string name;         ///< as shown (session::displayName)
};

/// Every folder below the root, each after its parent, siblings in the tree's
/// order. Walked with a stack of its own: a deep damaged tree cannot exhaust
/// the call stack.
[[nodiscard]] std::vector<FolderItem> folderTreeItems(const catalogue::FolderTree& tree, bool namesAreUtf8);

/// The key of the folder whose rows the item `handle` lists: its own, or the
/// root's for the root and for a handle the tree does not hold.
[[nodiscard]] std::uint64_t listedFolderKey(const catalogue::FolderTree& tree, std::uint32_t handle);

} // namespace sarvik::session
