// SPDX-License-Identifier: GPL-3.0-or-later
// Deep Search from the results page: the volume scanned again with the passes
// over free space, on the worker of a session::DeepSearchJob and a session of
// its own, while the results stay on the page. What it has found so far joins
// them now and then, and what it ends with (stopped or not) at its end, each
// once no box is open, no menu is pulled down and no copy reads the results;
// the folders opened in the tree, the folder listed and the files selected stay. The status bar says how far
// it has got.

#include "win32/MainWindow.h"

#include "win32/Commands.h"

#include "platform/WinText.h"
#include "session/DeepSearchOutcome.h"
#include "session/EntryAccess.h"
#include "session/FolderTreeItems.h"

#include <commctrl.h>

#include <algorithm>
#include <set>
#include <vector>

namespace sarvik::win32 {

using platform::utf8Of;
using platform::wideOf;

namespace {

/// How often what the search found looks again whether the results are free.
constexpr UINT kRetryMs = 150;

} // namespace

void DeepSearchPoster::progressWaiting()
{
    ::PostMessageW(m_window, DeepNews, 0, 0);
}

void DeepSearchPoster::partialWaiting(std::uint64_t search)
{
    ::PostMessageW(m_window, DeepPartial, static_cast<WPARAM>(search), 0);
}

void DeepSearchPoster::searchEnded(std::uint64_t search)
{
    ::PostMessageW(m_window, DeepEnded, static_cast<WPARAM>(search), 0);
}

void MainWindow::deepSearch()
{
    if (m_page != Page::Results || m_copying || m_session == nullptr || m_deepSearch.running())
        return;
    if (!m_deepSearch.available(*m_session)) {
        say(m_session->catalogue.DeepSearched
                ? L"The free space of this volume has been searched already."
                : L"Deep Search reads the free space of a volume that can be read, scanned with the thorough rules "
                  L"(Settings).");
        return;
    }
    if (!m_deepSearch.start(*m_session, false))
        return;
    m_deepPhase = L"Deep search: starting...";
    ::SendMessageW(m_progress, PBM_SETPOS, 0, 0);
    ::SetWindowTextW(m_stop, L"&Stop");
    showPage(Page::Results); // with its Stop and progress bar
    setMenuState();
}

void MainWindow::deepSearchNews()
{
    const session::ScanProgress progress = m_deepSearch.takeProgress();
    if (progress.hasProgress)
        ::SendMessageW(m_progress, PBM_SETPOS, std::min<std::uint32_t>(progress.progress, 100), 0);
    if (!m_deepSearch.reading())
        return; // its end says what it found
    std::string phase = "Deep search";
    if (progress.hasStatus && m_session != nullptr)
        phase += ": " +
                 session::scanStatusText(progress.status, true, m_session->kind() == catalogue::CatalogueKind::Ntfs, 0);
    if (progress.hasProgress)
        phase += " (" + std::to_string(std::min<std::uint32_t>(progress.progress, 100)) + "%)";
    m_deepPhase = wideOf(phase);
    updateStatusBar();
}

void MainWindow::deepSearchEnded(std::uint64_t search)
{
    if (!m_deepSearch.searchEnded(search))
        return;
    deepSearchNews();
    if (m_deepSearch.outOfMemory())
        say(L"The deep search ran out of memory; the results keep what it found until then.");
    if (!m_deepSearch.waiting()) {
        // The window closes, or the page went: nothing to show.
        m_deepPhase.clear();
        showPage(m_page);
        return;
    }
    takeDeepResults();
}

bool MainWindow::resultsFree() const
{
    // A box that is open (each disables the window) or a menu pulled down may
    // act on rows that taking the results replaces; a copy reads the session.
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    const bool menu = ::GetGUIThreadInfo(::GetCurrentThreadId(), &gui) != 0 &&
                      (gui.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE)) != 0;
    return m_page == Page::Results && m_session != nullptr && !m_copying && ::IsWindowEnabled(m_window) != FALSE &&
           !menu;
}

void MainWindow::takeDeepResults()
{
    ::KillTimer(m_window, kDeepRetryTimer);
    if (!m_deepSearch.waiting() || m_session == nullptr)
        return;
    if (!resultsFree()) {
        ::SetTimer(m_window, kDeepRetryTimer, kRetryMs, nullptr);
        return;
    }
    session::DeepSearchTake taken = m_deepSearch.take(*m_session);
    using Kind = session::DeepSearchTake::Kind;
    switch (taken.kind) {
    case Kind::Nothing:
        return;
    case Kind::Partial: {
        showFoundResults(*taken.found);
        const session::ListSizes now = session::listSizes(*m_session);
        if (m_selfTest != nullptr)
            selfTestReport("self-test: deep search so far: " + std::to_string(now.folders) + " folders, " +
                           std::to_string(now.files) + " files");
        return;
    }
    case Kind::FoundLess:
        m_deepPhase = wideOf(session::deepSearchFoundLess(taken.stopped));
        break;
    case Kind::Final:
        m_deepPhase =
            wideOf(session::deepSearchOutcome(*taken.found, taken.baseFolders, taken.baseFiles, taken.stopped));
        showFoundResults(*taken.found);
        break;
    }
    // The search's Stop and progress bar go; Deep Search is offered again
    // when free space is still to be searched.
    showPage(Page::Results);
    if (m_selfTest != nullptr) {
        selfTestReport("self-test: " + utf8Of(m_deepPhase));
        selfTestListing();
        resumeSelfTestSteps();
    }
}

void MainWindow::showFoundResults(scan::ScanSession& found)
{
    // File rows keep their keys across the take; folder rows carry the
    // tree's handles, which are numbered afresh.
    std::set<std::uint64_t> selectedFiles;
    for (const int position : selectedPositions()) {
        const int row = m_rows.rowAt(position);
        if (m_rows.validRow(row) && !m_rows.rows()[static_cast<std::size_t>(row)].folder)
            selectedFiles.insert(m_rows.rows()[static_cast<std::size_t>(row)].key);
    }
    const std::uint64_t listed = m_listedKey;
    const bool listFocused = ::GetFocus() == m_files;
    // The folders opened in the tree, by their keys: the handles change.
    std::vector<std::uint64_t> expanded;
    for (const auto& [handle, item] : m_folderItems) {
        const auto state = ::SendMessageW(m_tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_EXPANDED);
        if ((state & TVIS_EXPANDED) != 0)
            expanded.push_back(session::listedFolderKey(m_session->tree, handle));
    }

    m_session->takeResults(found);

    fillFolderTree(); // lists the root
    for (const std::uint64_t key : expanded)
        if (const catalogue::TreeNode* node = m_session->tree.findByKey(key))
            if (const auto item = m_folderItems.find(node->handle); item != m_folderItems.end())
                ::SendMessageW(m_tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item->second));
    const catalogue::TreeNode* open = m_session->tree.findByKey(listed);
    if (open != nullptr && open->handle != catalogue::FolderTree::kRootHandle) {
        if (const auto item = m_folderItems.find(open->handle); item != m_folderItems.end()) {
            ::SendMessageW(m_tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item->second));
            // Selecting it lists it (TVN_SELCHANGED).
            ::SendMessageW(m_tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item->second));
        }
    }
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    for (std::size_t p = 0; p < m_rows.size(); ++p) {
        const catalogue::FileRow& row = m_rows.rows()[static_cast<std::size_t>(m_rows.rowAt(static_cast<int>(p)))];
        if (!row.folder && selectedFiles.contains(row.key))
            ::SendMessageW(m_files, LVM_SETITEMSTATE, p, reinterpret_cast<LPARAM>(&state));
    }
    if (listFocused)
        ::SetFocus(m_files);
    updateStatusBar();
}

void MainWindow::leaveDeepSearch()
{
    // What a search of results that go would find belongs to no page: its
    // worker is stopped and joined.
    m_deepSearch.resultsLeft();
    ::KillTimer(m_window, kDeepRetryTimer);
    m_deepPhase.clear();
}

} // namespace sarvik::win32
