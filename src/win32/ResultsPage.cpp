// SPDX-License-Identifier: GPL-3.0-or-later
// The results page: the folder tree, the file list drawn by position from
// session::FileListRows, sorting, the selection, and the copy of the selected
// files into a folder the user chooses.

#include "win32/FileDialog.h"
#include "win32/MainWindow.h"

#include "win32/Commands.h"
#include "win32/DialogRules.h"

#include "platform/Devices.h"
#include "platform/FileSystem.h"
#include "platform/WinText.h"
#include "session/FolderTreeItems.h"
#include "session/ListSelection.h"
#include "session/RecoveryOutcome.h"

#include <commctrl.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstdio>

namespace sarvik::win32 {

using platform::utf8Of;
using platform::wideOf;

namespace {

/// The most lines of files that did not come back whole the summary box lists.
constexpr std::size_t kSummaryDetails = 20;

HTREEITEM insertFolder(HWND tree, HTREEITEM parent, const std::string& name, std::uint32_t handle)
{
    std::wstring text = wideOf(name);
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM;
    insert.item.pszText = text.data();
    insert.item.lParam = static_cast<LPARAM>(handle);
    return reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

void setSelected(HWND list, int position, bool selected)
{
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED;
    state.state = selected ? LVIS_SELECTED : 0;
    ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(&state));
}

} // namespace

void MainWindow::fillFolderTree()
{
    ::SendMessageW(m_tree, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(m_tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    m_folderItems.clear();
    const HTREEITEM root = insertFolder(m_tree, TVI_ROOT, m_source.text, catalogue::FolderTree::kRootHandle);
    m_folderItems[catalogue::FolderTree::kRootHandle] = root;
    for (const session::FolderItem& folder :
         session::folderTreeItems(m_session->tree, m_session->catalogue.NamesAreUtf8)) {
        const auto parent = m_folderItems.find(folder.parent);
        m_folderItems[folder.handle] =
            insertFolder(m_tree, parent == m_folderItems.end() ? root : parent->second, folder.name, folder.handle);
    }
    ::SendMessageW(m_tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(root));
    ::SendMessageW(m_tree, WM_SETREDRAW, TRUE, 0);
    // Selecting the root lists it (TVN_SELCHANGED).
    ::SendMessageW(m_tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(root));
    fillFileList(m_session->tree.rootKey());
}

void MainWindow::folderChosen(LPARAM handle)
{
    if (m_session == nullptr)
        return;
    fillFileList(session::listedFolderKey(m_session->tree, static_cast<std::uint32_t>(handle)));
}

void MainWindow::fillFileList(std::uint64_t key)
{
    m_listedKey = key;
    const int column = m_rows.sortColumn();
    const session::SortOrder order = m_rows.sortOrder();
    m_rows.setRows(m_session->rows(key), m_session->catalogue.NamesAreUtf8);
    m_rows.sort(column, order);
    setSelected(m_files, -1, false);
    ::SendMessageW(m_files, LVM_SETITEMCOUNT, m_rows.size(), LVSICF_NOSCROLL);
    if (m_rows.size() > 0)
        ::SendMessageW(m_files, LVM_ENSUREVISIBLE, 0, FALSE);
    ::InvalidateRect(m_files, nullptr, TRUE);
    showSortArrows();
    updateStatusBar();
}

void MainWindow::listDisplayInfo(LPARAM lParam)
{
    auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam);
    LVITEMW& item = info->item;
    if ((item.mask & LVIF_TEXT) == 0 || item.pszText == nullptr || item.cchTextMax <= 0)
        return;
    m_cellText = wideOf(m_rows.text(m_rows.rowAt(item.iItem), item.iSubItem));
    const std::size_t room = static_cast<std::size_t>(item.cchTextMax) - 1;
    const std::size_t length = std::min(m_cellText.size(), room);
    std::copy_n(m_cellText.begin(), length, item.pszText);
    item.pszText[length] = L'\0';
}

std::vector<int> MainWindow::selectedPositions() const
{
    std::vector<int> positions;
    for (LRESULT p = ::SendMessageW(m_files, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED); p >= 0;
         p = ::SendMessageW(m_files, LVM_GETNEXTITEM, static_cast<WPARAM>(p), LVNI_SELECTED))
        positions.push_back(static_cast<int>(p));
    return positions;
}

void MainWindow::selectAll()
{
    setSelected(m_files, -1, true);
}

void MainWindow::sortBy(int column)
{
    if (column < 0 || column >= session::ColumnCount)
        return;
    // The list view keeps its selection by position: carried over by row.
    const std::vector<bool> selected = session::rowsAtPositions(m_rows, selectedPositions());
    const LRESULT focused = ::SendMessageW(m_files, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED);
    const int focusedRow = m_rows.rowAt(static_cast<int>(focused));
    m_rows.sort(column, session::orderAfterHeaderClick(m_rows, column));
    setSelected(m_files, -1, false);
    for (int position : session::positionsOfRows(m_rows, selected))
        setSelected(m_files, position, true);
    if (m_rows.validRow(focusedRow)) {
        LVITEMW state{};
        state.stateMask = LVIS_FOCUSED;
        state.state = LVIS_FOCUSED;
        const int position = m_rows.positionOf(focusedRow);
        ::SendMessageW(m_files, LVM_SETITEMSTATE, static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(&state));
        ::SendMessageW(m_files, LVM_ENSUREVISIBLE, static_cast<WPARAM>(position), FALSE);
    }
    ::InvalidateRect(m_files, nullptr, TRUE);
    showSortArrows();
}

void MainWindow::showSortArrows()
{
    const auto header = reinterpret_cast<HWND>(::SendMessageW(m_files, LVM_GETHEADER, 0, 0));
    for (int c = 0; c < session::ColumnCount; ++c) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        ::SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (c == m_rows.sortColumn())
            item.fmt |= m_rows.sortOrder() == session::SortOrder::Ascending ? HDF_SORTUP : HDF_SORTDOWN;
        ::SendMessageW(header, HDM_SETITEMW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&item));
    }
}

void MainWindow::recoverSelected()
{
    const std::vector<int> positions = selectedPositions();
    if (positions.empty()) {
        say(L"No file or folder is selected. Select the files and folders to recover in the list.");
        ::SetFocus(m_files);
        return;
    }
    const std::wstring folder = m_selfTest != nullptr ? m_selfTest->recoverTo : chooseFolder();
    if (!folder.empty())
        startCopy(folder, recovery::RecoveryMode::Selected, session::rowsAtPositions(m_rows, positions));
    ::SetFocus(m_files);
}

std::wstring MainWindow::chooseFolder()
{
    IFileOpenDialog* dialog = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog))))
        return {};
    DWORD options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
    dialog->SetTitle(L"Recover the Selected Files Into");
    return shownFileSystemPath(dialog, m_window);
}

bool MainWindow::startCopy(const std::wstring& folder, recovery::RecoveryMode mode, std::vector<bool> selected)
{
    std::string error;
    std::shared_ptr<recovery::OutputFolder> destination = platform::openOutputFolder(utf8Of(folder), error);
    if (!destination) {
        say(L"Unable to use the folder " + folder + L": " + wideOf(error));
        return false;
    }
    // The copy never replaces the image it reads, or a file of its set.
    destination->keepOff(platform::filesReadFor(m_source.devicePath));
    m_copyRows = m_rows.rows();
    m_copyFolder = folder;
    m_copyPurpose = CopyPurpose::Recover;
    m_report = recovery::RecoveryReport{};
    m_recovery = std::make_unique<recovery::FileRecovery>(m_session->volume, m_session->catalogue, m_session->tree,
                                                          m_session->filters, m_settings, m_copy.control(),
                                                          m_copy.reports(), m_report);
    m_copy.setPlannedFiles(session::plannedFiles(*m_session, m_copyRows, mode, selected));
    m_copying = true;
    m_poster.setCopying(true);
    ::SendMessageW(m_progress, PBM_SETPOS, 0, 0);
    ::SetWindowTextW(m_stop, L"&Stop Saving");
    ::SetWindowTextW(m_status, (L"Recovering into " + folder + L"...").c_str());
    for (HWND c : {m_recover, m_back, m_tree})
        ::EnableWindow(c, FALSE);
    showPage(Page::Results);
    ::SetFocus(m_stop);
    const recovery::TargetFolder target{destination, utf8Of(folder)};
    m_copy.start(*m_recovery, [this, mode, selected = std::move(selected), target](recovery::FileRecovery& copier) {
        copier.RecoverListItems(m_copyRows, mode, selected, target);
    });
    return true;
}

void MainWindow::showCopyProgress()
{
    const session::RecoveryProgress progress = m_copy.takeProgress();
    if (progress.hasProgress)
        ::SendMessageW(m_progress, PBM_SETPOS, progress.progress, 0);
    if (progress.hasFileName || progress.hasTotal) {
        const std::string line = copyProgressLine(progress.fileName, m_copy.totalText(progress.totalFiles));
        ::SetWindowTextW(m_status, wideOf(line).c_str());
    }
}

void MainWindow::copyFinished()
{
    m_copy.wait();
    showCopyProgress();
    m_copying = false;
    m_poster.setCopying(false);
    for (HWND c : {m_recover, m_back, m_tree})
        ::EnableWindow(c, TRUE);
    showPage(Page::Results);
    if (m_copyPurpose != CopyPurpose::Recover) {
        m_recovery.reset();
        ::SetWindowTextW(m_stop, L"&Stop");
        ::SetWindowTextW(m_status, wideOf(m_source.text).c_str());
        if (m_copyPurpose == CopyPurpose::Preview)
            previewRead();
        else
            openCopied();
        resumeSelfTestSteps();
        return;
    }
    const session::RecoverySummary summary = session::recoverySummary(
        m_report, utf8Of(m_copyFolder), session::CopyRequest{m_copy.plannedFiles(), m_copy.stopped()});
    ::SetWindowTextW(m_status,
                     wideOf(session::outcomeHeadline(m_report, {m_copy.plannedFiles(), m_copy.stopped()})).c_str());
    m_recovery.reset();
    const std::string text = summaryBoxText(summary.text, summary.details, kSummaryDetails);
    if (m_selfTest != nullptr) {
        selfTestReport(text);
        endSelfTest(m_copy.outOfMemory() ? 1 : 0);
        return;
    }
    const UINT icon = summary.losses ? static_cast<UINT>(MB_ICONWARNING) : static_cast<UINT>(MB_ICONINFORMATION);
    ::MessageBoxW(m_window, wideOf(text).c_str(), L"Recovery", MB_OK | icon);
    ::SetFocus(m_files);
}

void MainWindow::selfTestScanned()
{
    const auto background = static_cast<COLORREF>(::SendMessageW(m_files, LVM_GETBKCOLOR, 0, 0));
    char colour[8];
    std::snprintf(colour, sizeof colour, "#%02x%02x%02x", GetRValue(background), GetGValue(background),
                  GetBValue(background));
    selfTestReport(std::string("self-test: ") + (m_dark ? "dark" : "light") + " colours, list background " + colour);
    selfTestReport("self-test: menu bar: " + std::to_string(m_barItemsDrawnDark.size()) + " of " +
                   std::to_string(::GetMenuItemCount(m_menu)) + " items drawn dark");
    int width = 0, height = 0;
    if (m_toolbarPictures != nullptr)
        ::ImageList_GetIconSize(m_toolbarPictures, &width, &height);
    selfTestReport("self-test: toolbar pictures " + std::to_string(width) + " x " + std::to_string(height) + " at " +
                   std::to_string(m_dpi) + " dpi, " +
                   std::to_string(m_toolbarPictures == nullptr ? 0 : ::ImageList_GetImageCount(m_toolbarPictures)) +
                   " of them");
    std::uint64_t files = 0, folders = 0;
    for (const catalogue::FileRow& row : m_rows.rows())
        (row.folder ? folders : files) += 1;
    selfTestReport("self-test: " + std::to_string(m_folderItems.size() - 1) + " folders in the tree; root lists " +
                   std::to_string(files) + " files and " + std::to_string(folders) + " folders" +
                   (m_scan.result().Stopped ? "; the scan was stopped" : ""));
    for (std::size_t p = 0; p < m_rows.size(); ++p) {
        const int row = m_rows.rowAt(static_cast<int>(p));
        selfTestReport("  " + m_rows.text(row, session::Name) + "\t" + m_rows.text(row, session::Size) + "\t" +
                       m_rows.text(row, session::Condition));
    }
    if (m_rows.size() == 0) {
        endSelfTest(1);
        return;
    }
    m_nextStep = 0;
    runSelfTestSteps();
    if (!m_copying && !m_deepSearch.running()) // a step that started a copy or a search goes on when it ends
        selfTestStepsDone();
}

void MainWindow::selfTestStepsDone()
{
    if (m_selfTest->recoverTo.empty()) {
        endSelfTest(0);
        return;
    }
    if (!startCopy(m_selfTest->recoverTo, recovery::RecoveryMode::All, {}))
        endSelfTest(1);
}

} // namespace sarvik::win32
