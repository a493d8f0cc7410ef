// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Find File(s): a search of the whole catalogue by name pattern on a worker
// (session::FindJob), whose matches are listed as they come and one of which
// the user goes to; and File Filters: the name patterns the list is narrowed to.

#include "win32/DialogBase.h"

#include "catalogue/Catalogue.h"
#include "catalogue/FolderTree.h"
#include "search/NamePatterns.h"
#include "session/FindJob.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace sarvik::win32 {

class FindFilesDialog final : public DialogBase, private session::FindObserver {
public:
    FindFilesDialog(const catalogue::Catalogue& catalogue, const catalogue::FolderTree& tree,
                    catalogue::CatalogueKind kind);
    ~FindFilesDialog() override;
    FindFilesDialog(const FindFilesDialog&) = delete;
    FindFilesDialog& operator=(const FindFilesDialog&) = delete;
    /// The file list index of the match gone to, if the box closed with one.
    [[nodiscard]] std::optional<std::size_t> chosenFile() const { return m_chosen; }

private:
    void init() override;
    bool command(int id, int code) override;
    INT_PTR notify(const NMHDR& header, LPARAM lParam) override;
    bool message(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    void drive() override;
    // Called on the walk's thread: posted on to the box.
    void matchesWaiting() override;
    void walkEnded(unsigned generation) override;

    void startSearch();
    void stopSearch();
    void deliver();
    void searchDone(unsigned generation);
    void goTo(int row);
    void showSearching(bool searching);

    const catalogue::Catalogue& m_catalogue;
    session::FindJob m_job;
    std::vector<std::size_t> m_found; ///< file list index of each row
    std::optional<std::size_t> m_chosen;
    bool m_searching = false;
};

/// Adds patterns to and removes them from `patterns`.
class FileFiltersDialog final : public DialogBase {
public:
    FileFiltersDialog(search::FilterPatterns& patterns, bool namesAreUtf8)
        : m_patterns(patterns), m_namesAreUtf8(namesAreUtf8)
    {
    }

private:
    void init() override;
    bool command(int id, int code) override;
    void drive() override;
    void add();
    void remove();

    search::FilterPatterns& m_patterns;
    bool m_namesAreUtf8;
};

} // namespace sarvik::win32
