// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/FolderTree.h"

#include <algorithm>

namespace sarvik::catalogue {

namespace {

/// Lists each entry of `list` under its parent's key in `byKey`, in list order.
/// Entries of one folder mostly come together: the list of the entry before
/// is taken again without a look-up (the map's elements do not move).
template <typename List, typename KeyOf>
void indexByParent(const List& list, KeyOf keyOf, std::unordered_map<std::uint64_t, std::vector<std::size_t>>& byKey)
{
    std::vector<std::size_t>* last = nullptr;
    std::uint64_t lastKey = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::uint64_t key = keyOf(list[i]);
        if (last == nullptr || key != lastKey) {
            last = &byKey[key];
            lastKey = key;
        }
        last->push_back(i);
    }
}

} // namespace

CatalogueIndex::CatalogueIndex(const Catalogue& catalogue, CatalogueKind kind)
{
    if (kind == CatalogueKind::Fat) {
        const auto parent = [](const auto& e) { return e.parentCluster; };
        indexByParent(catalogue.fsLists().FatFolderList, parent, m_folders);
        indexByParent(catalogue.fsLists().FatFileList, parent, m_files);
    } else {
        const auto parent = [](const auto& e) { return e.parentRecord; };
        indexByParent(catalogue.fsLists().NtfsFolderList, parent, m_folders);
        indexByParent(catalogue.fsLists().NtfsFileList, parent, m_files);
    }
}

const std::vector<std::size_t>& CatalogueIndex::foldersIn(std::uint64_t key) const
{
    const auto it = m_folders.find(key);
    return it == m_folders.end() ? m_none : it->second;
}

const std::vector<std::size_t>& CatalogueIndex::filesIn(std::uint64_t key) const
{
    const auto it = m_files.find(key);
    return it == m_files.end() ? m_none : it->second;
}

void FolderTree::BuildFolderTree(Catalogue& catalogue, CatalogueKind kind, ScanObserver* observer)
{
    BuildFolderTree(catalogue, CatalogueIndex(catalogue, kind), kind, observer);
}

void FolderTree::BuildFolderTree(Catalogue& catalogue, const CatalogueIndex& index, CatalogueKind kind,
                                 ScanObserver* observer)
{
    m_kind = kind;
    m_nodes.assign(1, TreeNode{kRootHandle, 0, -1, rootKey(), "Root", {}});
    m_handleByKey.clear();
    m_handleByKey[rootKey()] = kRootHandle;
    catalogue.TreeFoldersPlaced = 0;

    const std::size_t folderCount = kind == CatalogueKind::Fat ? catalogue.fsLists().FatFolderList.size()
                                                               : catalogue.fsLists().NtfsFolderList.size();
    std::vector<bool> placed(folderCount, false);
    std::uint32_t lastProgress = ~0u;
    auto report = [&] {
        if (observer == nullptr)
            return;
        const std::uint64_t divisor = catalogue.folderCount() == 0 ? 1 : catalogue.folderCount();
        const auto position =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(99, 100ull * catalogue.TreeFoldersPlaced / divisor));
        if (position != lastProgress)
            observer->progress(lastProgress = position);
    };

    // Depth first with an explicit stack: each frame walks the children of one
    // key in catalogue order, and a child's subtree is placed before its next
    // sibling, exactly as a recursive build would, without its stack depth.
    struct Frame {
        std::uint32_t handle;
        const std::vector<std::size_t>* children;
        std::size_t next;
    };
    std::vector<Frame> stack;
    report();
    stack.push_back({kRootHandle, &index.foldersIn(rootKey()), 0});
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next >= frame.children->size()) {
            stack.pop_back();
            continue;
        }
        const std::size_t folder = (*frame.children)[frame.next++];
        if (placed[folder])
            continue;
        placed[folder] = true;
        const std::uint64_t key = kind == CatalogueKind::Fat ? catalogue.fsLists().FatFolderList[folder].firstCluster
                                                             : catalogue.fsLists().NtfsFolderList[folder].recordNumber;
        // A damaged entry that names the root's own cluster or record would list
        // the whole root again below itself (and a copy would write it twice).
        if (key == rootKey())
            continue;
        ++catalogue.TreeFoldersPlaced;

        const auto handle = static_cast<std::uint32_t>(m_nodes.size() + 1);
        std::string name;
        if (kind == CatalogueKind::Fat) {
            FatFolderEntry& e = catalogue.fsLists().FatFolderList[folder];
            e.treeItem = handle;
            name = e.name;
        } else {
            NtfsFolderEntry& e = catalogue.fsLists().NtfsFolderList[folder];
            e.treeItem = handle;
            name = e.name;
        }
        const std::uint32_t parentHandle = frame.handle;
        m_nodes.push_back(TreeNode{handle, parentHandle, static_cast<std::int64_t>(folder), key, std::move(name), {}});
        m_nodes[parentHandle - 1].children.push_back(handle);
        m_handleByKey.try_emplace(key, handle);
        report();
        stack.push_back({handle, &index.foldersIn(key), 0}); // may invalidate `frame`
    }
}

const TreeNode* FolderTree::node(std::uint32_t handle) const
{
    if (handle == 0 || handle > m_nodes.size())
        return nullptr;
    return &m_nodes[handle - 1];
}

const TreeNode* FolderTree::findByKey(std::uint64_t key) const
{
    const auto it = m_handleByKey.find(key);
    return it == m_handleByKey.end() ? nullptr : node(it->second);
}

std::string FolderTree::path(std::uint32_t handle, const std::string& separator) const
{
    std::vector<const TreeNode*> chain;
    for (const TreeNode* n = node(handle); n != nullptr && n->handle != kRootHandle; n = node(n->parent))
        chain.push_back(n);
    std::string out;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!out.empty())
            out += separator;
        out += (*it)->name;
    }
    return out;
}

void FolderTree::setName(std::uint32_t handle, std::string name)
{
    if (handle == kRootHandle || handle == 0 || handle > m_nodes.size())
        return;
    m_nodes[handle - 1].name = std::move(name);
}

} // namespace sarvik::catalogue
