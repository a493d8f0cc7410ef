// SPDX-License-Identifier: GPL-3.0-or-later
// The results page's boxes: a row's properties and its new name, Find
// File(s) and going to a match, the file filters, the drive information, the
// recovery settings, the about box; the view of the list; Recover All; the
// deep search started from the results.

#include "win32/MainWindow.h"

#include "win32/InfoDialogs.h"
#include "win32/PreviewDialog.h"
#include "win32/Resources.h"
#include "win32/SearchDialogs.h"

#include "catalogue/NameText.h"
#include "disk/DriveInformation.h"
#include "platform/WinText.h"
#include "session/DisplayText.h"
#include "session/EntryAccess.h"
#include "session/FileHead.h"
#include "session/FolderTreeItems.h"
#include "session/Properties.h"

#include <commctrl.h>

namespace sarvik::win32 {

using platform::utf8Of;
using platform::wideOf;

const DialogDriver* MainWindow::driverFor(const std::wstring& driven)
{
    if (m_selfTest == nullptr)
        return nullptr;
    m_driver = std::make_unique<DialogDriver>();
    m_driver->input = driven;
    m_driver->holdMs = m_selfTest->holdMs;
    m_driver->report = [this](const std::string& line) { selfTestReport(line); };
    return m_driver.get();
}

const catalogue::FileRow* MainWindow::selectedRow() const
{
    const LRESULT position = ::SendMessageW(m_files, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    const int row = m_rows.rowAt(static_cast<int>(position));
    return m_rows.validRow(row) ? &m_rows.rows()[static_cast<std::size_t>(row)] : nullptr;
}

std::wstring MainWindow::listedFolderPath() const
{
    // The tree's texts from the root down to the folder listed.
    std::wstring path;
    auto item = reinterpret_cast<HTREEITEM>(::SendMessageW(m_tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    for (; item != nullptr; item = reinterpret_cast<HTREEITEM>(
                                ::SendMessageW(m_tree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item)))) {
        wchar_t text[512] = {};
        TVITEMW node{};
        node.mask = TVIF_TEXT;
        node.hItem = item;
        node.pszText = text;
        node.cchTextMax = 512;
        ::SendMessageW(m_tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&node));
        path = path.empty() ? std::wstring(text) : std::wstring(text) + L"\\" + path;
    }
    return path;
}

void MainWindow::showProperties()
{
    const catalogue::FileRow* row = selectedRow();
    if (row == nullptr || m_session == nullptr)
        return;
    const session::RowProperties shown = session::rowProperties(*m_session, *row);
    PropertiesValues values;
    values.name = session::displayName(row->name, m_session->catalogue.NamesAreUtf8);
    values.folder = utf8Of(listedFolderPath());
    values.isFolder = shown.folder;
    values.size = shown.folder ? shown.size : exactSizeText(row->size, shown.size);
    values.contents = shown.contents;
    values.created = shown.created;
    values.modified = shown.modified;
    values.condition = conditionText(row->condition, shown.folder);
    values.clusters = clustersText(row->conditionClusters, row->conditionClustersInUse);
    PropertiesDialog dialog(values);
    dialog.run(m_instance, m_window, IDD_PROPERTIES, driverFor({}));
}

void MainWindow::renameSelected(const std::wstring& driven)
{
    const catalogue::FileRow* chosen = selectedRow();
    if (chosen == nullptr || m_session == nullptr)
        return;
    const catalogue::FileRow row = *chosen;
    const bool utf8 = m_session->catalogue.NamesAreUtf8;
    RenameDialog dialog(wideOf(session::displayName(row.name, utf8)));
    if (dialog.run(m_instance, m_window, IDD_RENAME, driverFor(driven)) != IDOK || dialog.name().empty())
        return; // an empty name keeps the old one
    // At most 255 characters, as the catalogue holds names.
    const std::string name8 = catalogue::nameFromUtf8(utf8Of(renamedName(dialog.name())), utf8);
    const LRESULT position = ::SendMessageW(m_files, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    m_rows.setName(m_rows.rowAt(static_cast<int>(position)), name8);
    if (const std::optional<session::RenamedEntry> renamed = session::renameEntry(*m_session, row, name8))
        m_deepSearch.noteRename(*renamed); // what a deep search brings keeps the name
    if (session::isFolderRow(row)) {
        const auto item = m_folderItems.find(static_cast<std::uint32_t>(row.key));
        if (item != m_folderItems.end()) {
            std::wstring text = wideOf(session::displayName(name8, utf8));
            TVITEMW node{};
            node.mask = TVIF_TEXT;
            node.hItem = item->second;
            node.pszText = text.data();
            ::SendMessageW(m_tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&node));
        }
    }
    ::InvalidateRect(m_files, nullptr, TRUE);
}

void MainWindow::showPreview()
{
    const catalogue::FileRow* row = selectedRow();
    if (row == nullptr || m_session == nullptr || m_copying)
        return;
    if (session::isFolderRow(*row)) {
        say(L"The preview shows files: choose a file in the list.");
        return;
    }
    // Read on the copy's worker: a file on a slow or failing card leaves the
    // window answering, and Stop (or Esc) cancels the read.
    m_previewContent = PreviewBytes{};
    m_previewContent.name = session::displayName(row->name, m_session->catalogue.NamesAreUtf8);
    m_previewContent.fileSize = row->size;
    m_copyPurpose = CopyPurpose::Preview;
    const std::uint64_t generation = ++m_previewLatest;
    startWorkerRead(L"Reading " + wideOf(m_previewContent.name) + L" for the preview...");
    m_copy.start(*m_recovery,
                 [this, row = *row, generation](recovery::FileRecovery& /*unused*/) { readPreview(row, generation); });
}

void MainWindow::readPreview(const catalogue::FileRow& row, std::uint64_t generation)
{
    // A megabyte at most: enough to see what a file is, quick to read.
    constexpr std::uint64_t kPreviewLimit = std::uint64_t{1} << 20;
    constexpr std::uint64_t kZeroTail = 4096;
    PreviewBytes& content = m_previewContent;
    session::FileHeadReader reader(m_session->volume, m_session->catalogue, m_session->tree, m_settings);
    reader.readHead(
        row, kPreviewLimit,
        [&content](const std::byte* bytes, std::size_t count) {
            content.bytes.insert(content.bytes.end(), bytes, bytes + count);
        },
        m_previewLatest, generation);
    std::uint64_t lastNonZero = content.bytes.size();
    while (lastNonZero > 0 && content.bytes[lastNonZero - 1] == std::byte{0})
        --lastNonZero;
    content.intact =
        session::intactBytes(content.bytes.size(), lastNonZero, reader.parts(row), reader.clusterBytes(), kZeroTail);
}

void MainWindow::previewRead()
{
    ::SetFocus(m_files);
    if (m_copy.stopped()) {
        ::SetWindowTextW(m_status, L"The preview was cancelled.");
        if (m_selfTest != nullptr)
            selfTestReport("self-test: preview cancelled");
        return;
    }
    if (m_copy.outOfMemory()) {
        say(L"There is not enough memory to read the file for the preview.");
        return;
    }
    PreviewDialog dialog(std::move(m_previewContent));
    m_previewContent = PreviewBytes{};
    dialog.run(m_instance, m_window, IDD_PREVIEW, driverFor({}));
}

void MainWindow::findFiles(const std::wstring& driven)
{
    if (m_session == nullptr)
        return;
    FindFilesDialog dialog(m_session->catalogue, m_session->tree, m_session->kind());
    dialog.run(m_instance, m_window, IDD_FIND_FILES, driverFor(driven));
    if (dialog.chosenFile())
        showFile(*dialog.chosenFile());
}

bool MainWindow::showFile(std::size_t fileIndex)
{
    const std::optional<std::uint64_t> parent = session::fileParentKey(*m_session, fileIndex);
    if (!parent)
        return false;
    // A parent not placed in the tree is listed under the root, as the search names it.
    const catalogue::TreeNode* node = m_session->tree.findByKey(*parent);
    if (node == nullptr || node->folderIndex < 0)
        node = &m_session->tree.root();
    const auto item = m_folderItems.find(node->handle);
    if (item == m_folderItems.end())
        return false;
    ::SendMessageW(m_tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item->second));
    fillFileList(session::listedFolderKey(m_session->tree, node->handle));
    for (std::size_t row = 0; row < m_rows.size(); ++row) {
        const catalogue::FileRow& r = m_rows.rows()[row];
        if (r.folder || r.entryIndex() != fileIndex)
            continue;
        const int position = m_rows.positionOf(static_cast<int>(row));
        LVITEMW state{};
        state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
        ::SendMessageW(m_files, LVM_SETITEMSTATE, static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(&state));
        ::SendMessageW(m_files, LVM_ENSUREVISIBLE, static_cast<WPARAM>(position), FALSE);
        ::SetFocus(m_files);
        return true;
    }
    return false;
}

void MainWindow::fileFilters(const std::wstring& driven)
{
    if (m_session == nullptr)
        return;
    FileFiltersDialog dialog(m_session->filters, m_session->catalogue.NamesAreUtf8);
    dialog.run(m_instance, m_window, IDD_FILE_FILTERS, driverFor(driven));
    m_filterNote = wideOf(session::filterNote(m_session->filters.patterns(), m_session->catalogue.NamesAreUtf8));
    m_statusNote.clear(); // the filter now in force is the news
    fillFileList(m_listedKey);
    updateStatusBar();
}

void MainWindow::settings(const std::wstring& driven)
{
    SettingsDialog dialog(m_settings);
    dialog.run(m_instance, m_window, IDD_SETTINGS, driverFor(driven));
}

void MainWindow::driveInformation()
{
    if (m_session == nullptr)
        return;
    DriveInformationDialog dialog(disk::ShowDriveInformation(
        m_session->volume.geometry, m_session->catalogue.folderCount(), m_session->catalogue.fileCount()));
    dialog.run(m_instance, m_window, IDD_DRIVE_INFORMATION, driverFor({}));
}

void MainWindow::about()
{
    AboutDialog dialog;
    dialog.run(m_instance, m_window, IDD_ABOUT, driverFor({}));
}

void MainWindow::setView(DWORD view)
{
    m_view = view;
    ::SendMessageW(m_files, LVM_SETVIEW, view, 0);
    setMenuState();
}

void MainWindow::recoverAll()
{
    if (m_rows.size() == 0) {
        say(L"The folder shown holds nothing to recover.");
        return;
    }
    const std::wstring folder = m_selfTest != nullptr ? m_selfTest->recoverTo : chooseFolder();
    if (!folder.empty())
        startCopy(folder, recovery::RecoveryMode::All, {});
    ::SetFocus(m_files);
}

} // namespace sarvik::win32
