// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The find-files search: one walk over the file list of the scanned kind, in
// list order, testing each name against one pattern, with each match's folder
// path. It runs on any thread; the thread that owns it can pause it between two
// entries (while a question is open) and end it, through a SearchControl.

#include "catalogue/Catalogue.h"
#include "catalogue/FolderTree.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace sarvik::search {

/// Pause, resume and stop for a running search. The walk checks it between two
/// entries and waits there, holding no lock, while it is paused.
class SearchControl {
public:
    void pause();
    void resume();
    /// Ends the walk at its next check, also when it is paused.
    void stop();
    [[nodiscard]] bool stopped() const noexcept { return m_stop.load(std::memory_order_acquire); }
    /// Waits while paused; false once a stop was asked for.
    bool proceed();
    /// True while the walk is waiting in proceed() (for tests and diagnostics).
    [[nodiscard]] bool waiting() const noexcept { return m_waiting.load(std::memory_order_acquire); }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_paused = false;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_waiting{false};
};

/// One file that matched.
struct SearchMatch {
    std::size_t fileIndex = 0; ///< index into the kind's file list
    std::string name;          ///< as read from disk (8-bit)
    std::string path;          ///< "\" or "\A\B" (8-bit tree texts)
    std::uint64_t size = 0;
};

/// The folder path of a file whose parent has key `parentKey`: a backslash, then
/// the tree's texts from the first level below the root down to the parent,
/// separated by backslashes. "\" alone for the root or a parent that is not in
/// the catalogue or not placed in the tree.
[[nodiscard]] std::string FolderPathOf(const catalogue::Catalogue& catalogue, const catalogue::FolderTree& tree,
                                       catalogue::CatalogueKind kind, std::uint64_t parentKey);

/// Walks the file list of `kind` and calls `matched` for every file whose
/// upper-cased name matches the upper-cased `pattern` (MatchName). An empty
/// pattern matches nothing. Returns the number of matches; a stopped walk
/// returns those found before the stop.
std::size_t FindFiles(const catalogue::Catalogue& catalogue, const catalogue::FolderTree& tree,
                      catalogue::CatalogueKind kind, std::string_view pattern, SearchControl& control,
                      const std::function<void(const SearchMatch&)>& matched);

} // namespace sarvik::search
