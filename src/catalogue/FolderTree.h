// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The folder tree of a scan result, without any toolkit: every found folder
// placed under its parent, siblings in catalogue order, each with a handle that
// the entry keeps in `treeItem`. The GUI mirrors it into its tree widget; the CLI
// prints it.

#include "catalogue/Catalogue.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace sarvik::catalogue {

/// Children of each parent key (a FAT first cluster, or a 48-bit NTFS record
/// number), in catalogue order: built once so that listing a
/// folder does not walk the whole catalogue.
class CatalogueIndex {
public:
    CatalogueIndex(const Catalogue& catalogue, CatalogueKind kind);
    [[nodiscard]] const std::vector<std::size_t>& foldersIn(std::uint64_t key) const;
    [[nodiscard]] const std::vector<std::size_t>& filesIn(std::uint64_t key) const;

private:
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> m_folders;
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> m_files;
    std::vector<std::size_t> m_none;
};

struct TreeNode {
    std::uint32_t handle = 0;
    std::uint32_t parent = 0;      ///< handle of the parent node; 0 for the root
    std::int64_t folderIndex = -1; ///< index into the kind's folder list; -1 for the root
    std::uint64_t key = 0;         ///< the folder's own key (first cluster or record number)
    std::string name;              ///< as read from disk (8-bit)
    std::vector<std::uint32_t> children;
};

class FolderTree {
public:
    static constexpr std::uint32_t kRootHandle = 1;

    /// Places every folder reachable from the root key, depth first, siblings in
    /// catalogue order; sets each placed entry's `treeItem` and counts
    /// TreeFoldersPlaced. A folder already placed is never placed again, so parent
    /// keys that loop cannot make the tree endless. Reports progress (at most 99).
    void BuildFolderTree(Catalogue& catalogue, CatalogueKind kind, ScanObserver* observer = nullptr);
    /// The same with `index`, the catalogue's index of that kind, made already.
    void BuildFolderTree(Catalogue& catalogue, const CatalogueIndex& index, CatalogueKind kind,
                         ScanObserver* observer = nullptr);

    [[nodiscard]] const TreeNode& root() const { return m_nodes.front(); }
    [[nodiscard]] const TreeNode* node(std::uint32_t handle) const;
    [[nodiscard]] std::size_t size() const { return m_nodes.size(); }
    [[nodiscard]] CatalogueKind kind() const { return m_kind; }
    [[nodiscard]] std::uint64_t rootKey() const
    {
        return m_kind == CatalogueKind::Ntfs ? kNtfsRootRecord : kFatRootKey;
    }

    /// Gives node `handle` a new name (a rename by the user); the root keeps its own.
    void setName(std::uint32_t handle, std::string name);
    /// The node whose folder has key `key` (the root for the root key).
    [[nodiscard]] const TreeNode* findByKey(std::uint64_t key) const;
    /// Names from the node below the root down to `handle`, joined by `separator`.
    [[nodiscard]] std::string path(std::uint32_t handle, const std::string& separator = "/") const;

private:
    std::vector<TreeNode> m_nodes{TreeNode{kRootHandle, 0, -1, 0, "Root", {}}};
    std::unordered_map<std::uint64_t, std::uint32_t> m_handleByKey;
    CatalogueKind m_kind = CatalogueKind::Fat;
};

} // namespace sarvik::catalogue
