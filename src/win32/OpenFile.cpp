// SPDX-License-Identifier: GPL-3.0-or-later
// Open and Open With: a found file copied, on the copy's worker, into a folder
// of the user's temporary files and handed to the program Windows opens its type with (or
// to the system's Open With box); a double click on a folder row lists it.

#include "win32/MainWindow.h"

#include "win32/DialogRules.h"

#include "platform/FileSystem.h"
#include "platform/WinText.h"
#include "session/DisplayText.h"
#include "session/EntryAccess.h"
#include "session/FolderTreeItems.h"

#include <shellapi.h>
#include <shlobj.h>

namespace sarvik::win32 {

using platform::utf8Of;
using platform::wideOf;

namespace {

/// "%TEMP%\Velmora Sarvik Undelete\Open", made when missing; empty when it cannot be.
std::wstring openFolder()
{
    std::wstring temp(MAX_PATH + 1, L'\0');
    temp.resize(::GetTempPathW(static_cast<DWORD>(temp.size()), temp.data()));
    if (temp.empty())
        return {};
    const std::wstring folder = temp + L"Velmora Sarvik Undelete\\Open";
    const int made = ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    return made == ERROR_SUCCESS || made == ERROR_ALREADY_EXISTS || made == ERROR_FILE_EXISTS ? folder : std::wstring();
}

} // namespace

void MainWindow::openSelected(bool openWith)
{
    const catalogue::FileRow* chosen = selectedRow();
    if (chosen == nullptr || m_session == nullptr || m_copying)
        return;
    const catalogue::FileRow row = *chosen;
    if (session::isFolderRow(row)) {
        // A folder opens in the list: its tree item is chosen.
        const auto item = m_folderItems.find(static_cast<std::uint32_t>(row.key));
        if (!openWith && item != m_folderItems.end())
            ::SendMessageW(m_tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item->second));
        return;
    }
    const std::wstring folder = openFolder();
    std::string error;
    auto destination = folder.empty() ? nullptr : platform::openOutputFolder(utf8Of(folder), error);
    if (!destination) {
        say(L"Unable to create a temporary folder for the file.");
        return;
    }
    // The copy runs on the copy's worker, so that a large file leaves the
    // window answering; Stop (or Esc) cancels it.
    m_copyFolder = folder;
    m_copyPurpose = openWith ? CopyPurpose::OpenWith : CopyPurpose::Open;
    m_openWritten = 0;
    startWorkerRead(L"Copying " + wideOf(session::displayName(row.name, m_session->catalogue.NamesAreUtf8)) +
                    L" to open it...");
    const recovery::TargetFolder target{destination, utf8Of(folder)};
    m_copy.start(*m_recovery, [this, row, target](recovery::FileRecovery& copier) {
        m_openWritten = session::copyRowForOpen(copier, *m_session, row, target);
    });
}

void MainWindow::startWorkerRead(const std::wstring& status)
{
    // The copy of the moment replaces an older one of the same name.
    m_copySettings = m_settings;
    m_copySettings.DuplicatePolicy = recovery::DuplicatePolicy::Overwrite;
    m_report = recovery::RecoveryReport{};
    m_recovery = std::make_unique<recovery::FileRecovery>(m_session->volume, m_session->catalogue, m_session->tree,
                                                          m_session->filters, m_copySettings, m_copy.control(),
                                                          m_copy.reports(), m_report);
    m_copy.setPlannedFiles(1);
    m_copying = true;
    m_poster.setCopying(true);
    ::SendMessageW(m_progress, PBM_SETPOS, 0, 0);
    ::SetWindowTextW(m_stop, L"&Cancel");
    ::SetWindowTextW(m_status, status.c_str());
    for (HWND c : {m_recover, m_back, m_tree})
        ::EnableWindow(c, FALSE);
    showPage(Page::Results);
    ::SetFocus(m_stop);
}

void MainWindow::resumeSelfTestSteps()
{
    if (m_selfTest == nullptr)
        return;
    runSelfTestSteps();
    if (!m_copying && !m_deepSearch.running())
        selfTestStepsDone();
}

void MainWindow::openCopied()
{
    ::SetFocus(m_files);
    const bool written = m_openWritten == 1 && !m_report.files().empty();
    const recovery::FileReport* copy = written ? &m_report.files().back() : nullptr;
    const OpenedCopy next = openedCopy(m_copy.stopped(), copy == nullptr ? std::nullopt : std::optional(copy->outcome));
    if (next == OpenedCopy::Cancelled || next == OpenedCopy::CancelledCutShort) {
        // A copy cut short is no file to keep.
        if (next == OpenedCopy::CancelledCutShort && copy != nullptr)
            ::DeleteFileW((m_copyFolder + L"\\" + wideOf(copy->name)).c_str());
        ::SetWindowTextW(m_status, L"Open was cancelled.");
        if (m_selfTest != nullptr)
            selfTestReport("self-test: open cancelled");
    } else if (next == OpenedCopy::NotCopied || copy == nullptr) {
        say(L"The file could not be copied to open it.");
    } else if (next == OpenedCopy::Failed) {
        say(L"The file could not be copied to open it. " + wideOf(copy->error));
    } else {
        ::SetWindowTextW(m_status, (L"Opening " + wideOf(copy->name)).c_str());
        const std::wstring path = m_copyFolder + L"\\" + wideOf(copy->name);
        if (m_selfTest != nullptr) { // no program is started in a run without a user
            selfTestReport("self-test: copied to open as " + utf8Of(path));
        } else {
            openCopy(path, m_copyPurpose == CopyPurpose::OpenWith);
        }
    }
}

void MainWindow::openCopy(const std::wstring& path, bool openWith)
{
    if (!openWith) {
        const auto started = reinterpret_cast<INT_PTR>(
            ::ShellExecuteW(m_window, nullptr, path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        if (started > 32)
            return;
    }
    // Open With, or no program opens the type: the system asks which one.
    OPENASINFO info{};
    info.pcszFile = path.c_str();
    info.oaifInFlags = OAIF_ALLOW_REGISTRATION | OAIF_EXEC;
    ::SHOpenWithDialog(m_window, &info);
}

} // namespace sarvik::win32
