// SPDX-License-Identifier: GPL-3.0-or-later
// Open and Open With: a found file copied into a folder of the user's
// temporary files and handed to the program Windows opens its type with (or
// to the system's Open With box); a double click on a folder row lists it.

#include "win32/MainWindow.h"

#include "platform/FileSystem.h"
#include "platform/WinText.h"
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
    if (chosen == nullptr || m_session == nullptr)
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
    // The copy of the moment replaces an older one of the same name.
    recovery::RecoverySettings settings = m_settings;
    settings.DuplicatePolicy = recovery::DuplicatePolicy::Overwrite;
    catalogue::RecoveryControl control;
    recovery::RecoveryObserver observer;
    recovery::RecoveryReport report;
    int written = 0;
    {
        ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        recovery::FileRecovery copier(m_session->volume, m_session->catalogue, m_session->tree, m_session->filters,
                                      settings, control, observer, report);
        written = session::copyRowForOpen(copier, *m_session, row, recovery::TargetFolder{destination, utf8Of(folder)});
        ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
    }
    if (written != 1 || report.files().empty()) {
        say(L"The file could not be copied to open it.");
        return;
    }
    const recovery::FileReport& copy = report.files().back();
    if (copy.outcome != recovery::FileOutcome::Written && copy.outcome != recovery::FileOutcome::Incomplete &&
        copy.outcome != recovery::FileOutcome::CutAtVolumeEnd) {
        say(L"The file could not be copied to open it. " + wideOf(copy.error));
        return;
    }
    const std::wstring path = folder + L"\\" + wideOf(copy.name);
    if (m_selfTest != nullptr) {
        selfTestReport("self-test: copied to open as " + utf8Of(path));
        return; // no program is started in a run without a user
    }
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
