// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/FileSearch.h"

#include "search/NamePatterns.h"

#include <vector>

namespace sarvik::search {

void SearchControl::pause()
{
    std::lock_guard lock(m_mutex);
    m_paused = true;
}

void SearchControl::resume()
{
    {
        std::lock_guard lock(m_mutex);
        m_paused = false;
    }
    m_wake.notify_all();
}

void SearchControl::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop.store(true, std::memory_order_release);
    }
    m_wake.notify_all();
}

bool SearchControl::proceed()
{
    std::unique_lock lock(m_mutex);
    if (m_paused && !stopped()) {
        m_waiting.store(true, std::memory_order_release);
        m_wake.wait(lock, [this] { return !m_paused || stopped(); });
        m_waiting.store(false, std::memory_order_release);
    }
    return !stopped();
}

std::string FolderPathOf(const catalogue::Catalogue& catalogue, const catalogue::FolderTree& tree,
                         catalogue::CatalogueKind kind, std::uint64_t parentKey)
{
    (void)kind; // the catalogue knows its own
    const catalogue::EntryId folder = catalogue.folderIdByKey(parentKey);
    // Its tree item; none for the root's key (the path is then "\").
    const auto item =
        static_cast<std::uint32_t>(folder == catalogue::kRootEntryId ? 0 : catalogue.entry(folder).listId);
    // Names from the parent up to the level below the root; a damaged tree
    // cannot loop here, as a walk is bounded by the number of nodes.
    std::vector<const std::string*> names;
    const catalogue::TreeNode* node = item != 0 ? tree.node(item) : nullptr;
    for (std::size_t guard = 0;
         node != nullptr && node->handle != catalogue::FolderTree::kRootHandle && guard <= tree.size(); ++guard) {
        names.push_back(&node->name);
        node = tree.node(node->parent);
    }
    std::string path = "\\";
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        path += **it;
        if (std::next(it) != names.rend() && !path.ends_with('\\'))
            path += '\\';
    }
    return path;
}

std::size_t FindFiles(const catalogue::Catalogue& catalogue, const catalogue::FolderTree& tree,
                      catalogue::CatalogueKind kind, std::string_view pattern, SearchControl& control,
                      const std::function<void(const SearchMatch&)>& matched)
{
    // Names held as UTF-8 (a thorough scan's) are matched character by character.
    const bool utf8 = catalogue.NamesAreUtf8;
    const std::string upperPattern = upperCase8(pattern);
    const std::u32string upperPattern32 = utf8 ? upperCaseUtf8(pattern) : std::u32string();
    std::size_t count = 0;
    auto visit = [&](std::size_t index, std::string_view name, std::uint64_t parent, std::uint64_t size) {
        if ((utf8 ? MatchName(upperCaseUtf8(name), upperPattern32) : MatchName(upperCase8(name), upperPattern)) != 1)
            return;
        ++count;
        if (matched)
            matched(SearchMatch{index, std::string(name), FolderPathOf(catalogue, tree, kind, parent), size});
    };
    if (upperPattern.empty())
        return 0;
    const std::size_t files = catalogue.fileEntryCount();
    for (std::size_t i = 0; i < files && control.proceed(); ++i) {
        const catalogue::Entry e = catalogue.entry(catalogue::fileEntryId(i));
        visit(i, e.name, e.parentNumber, e.size);
    }
    return count;
}

} // namespace sarvik::search
