// SPDX-License-Identifier: GPL-3.0-or-later
// Saving the scan's results as a recovery snapshot, and loading one, which
// shows its results without a scan (the files are read from the volume the
// snapshot names when they are recovered).

#include "win32/FileDialog.h"
#include "win32/MainWindow.h"

#include "catalogue/NameText.h"
#include "platform/Devices.h"
#include "platform/RegularFile.h"
#include "platform/WinText.h"
#include "session/Snapshots.h"
#include "snapshot/SnapshotFile.h"

#include <shobjidl.h>

#include <cwctype>
#include <new>

namespace sarvik::win32 {

using platform::utf8Of;
using platform::wideOf;

namespace {

/// The full path of `path` in lower case, to compare two names of one file.
std::wstring comparable(const std::wstring& path)
{
    std::wstring full(MAX_PATH, L'\0');
    DWORD length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.resize(length);
        length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    full.resize(length == 0 ? 0 : length);
    if (full.empty())
        full = path;
    for (wchar_t& c : full)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return full;
}

} // namespace

std::wstring MainWindow::chooseSnapshotFile(bool save)
{
    IFileDialog* dialog = nullptr;
    if (FAILED(::CoCreateInstance(save ? CLSID_FileSaveDialog : CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                  save ? __uuidof(IFileSaveDialog) : __uuidof(IFileOpenDialog),
                                  reinterpret_cast<void**>(&dialog))))
        return {};
    const COMDLG_FILTERSPEC types[] = {{L"Recovery snapshots", L"*.rvu"}, {L"All files", L"*.*"}};
    dialog->SetFileTypes(2, types);
    dialog->SetDefaultExtension(L"rvu");
    dialog->SetTitle(save ? L"Save Recovery Snapshot" : L"Load Recovery Snapshot");
    DWORD options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_FORCEFILESYSTEM | (save ? FOS_OVERWRITEPROMPT : FOS_FILEMUSTEXIST));
    return shownFileSystemPath(dialog, m_window);
}

void MainWindow::saveSnapshot(const std::wstring& path)
{
    if (m_session == nullptr || m_page != Page::Results || m_copying)
        return;
    const std::wstring chosen = path.empty() ? chooseSnapshotFile(true) : path;
    if (chosen.empty())
        return;
    // Saved under the name as typed, as the Linux program saves it.
    const std::wstring target = wideOf(session::typedSnapshotPath(utf8Of(chosen)));
    // Never written over the image the results were read from.
    for (const std::string& source : platform::filesReadFor(m_source.devicePath)) {
        if (comparable(wideOf(source)) == comparable(target)) {
            say(L"The snapshot cannot be saved as " + target +
                L": that is the disk image the results come from. Choose another file.");
            return;
        }
    }
    session::SnapshotBytes encoded;
    try {
        encoded = session::encodeSnapshot(*m_session);
    } catch (const std::bad_alloc&) {
        encoded.error = "There is not enough memory to make the snapshot.";
    }
    if (!encoded.ok) {
        say(wideOf(encoded.error));
        return;
    }
    std::string error;
    if (!platform::writeRegularFile(utf8Of(target), encoded.bytes, true, error)) {
        say(L"The snapshot could not be saved. " + wideOf(error));
        return;
    }
    m_statusNote = L"Snapshot saved as " + target;
    updateStatusBar();
    if (m_selfTest != nullptr)
        selfTestReport("self-test: snapshot saved as " + utf8Of(target) + " (" + std::to_string(encoded.bytes.size()) +
                       " bytes); the status bar says: " + utf8Of(statusBarText(0)));
}

void MainWindow::loadSnapshot(const std::wstring& path)
{
    if (m_page != Page::Drives || m_scan.running() || m_copying)
        return;
    const std::wstring chosen = path.empty() ? chooseSnapshotFile(false) : path;
    if (chosen.empty())
        return;
    auto loaded = std::make_unique<scan::ScanSession>();
    session::SnapshotLoad outcome;
    try {
        outcome = session::loadSnapshot(*loaded, utf8Of(chosen));
    } catch (const std::bad_alloc&) {
        outcome.refused = true;
        outcome.refusal = "There is not enough memory to load the snapshot.";
    }
    if (outcome.refused) {
        say(wideOf(outcome.refusal));
        return;
    }
    // A file cut short or a scan with losses: the list is not the whole volume.
    std::wstring partial;
    for (const std::string& line : outcome.partial)
        partial += wideOf(line) + L"\n";
    if (!partial.empty())
        say(partial + L"The list shows what it holds; files missing from it may still be on the volume.");
    const bool opened = session::reopenSnapshotVolume(*loaded, m_devices);
    const std::string where = catalogue::nameToUtf8(loaded->volume.info.DevicePath, true);
    m_rows.clear();
    ::SendMessageW(m_files, LVM_SETITEMCOUNT, 0, 0);
    m_session = std::move(loaded);
    m_filterNote.clear(); // the filters go with the session they narrowed
    m_source = disk::DriveItem{"Snapshot of " + where, where, disk::DriveKind::Image, 0};
    ::SetWindowTextW(m_status, wideOf(m_source.text).c_str());
    showPage(Page::Results);
    fillFolderTree();
    if (!opened) {
        say(L"The volume " + wideOf(where) +
            L" of this snapshot cannot be opened; files cannot be recovered from it until it is available.");
        return;
    }
    // Another volume at the same place (an image replaced, a card swapped)
    // opens all the same: its clusters would be copied under the snapshot's names.
    std::wstring differences;
    for (const std::string& line : session::snapshotVolumeDifferences(*m_session, m_devices))
        differences += L"\n" + wideOf(line);
    if (!differences.empty())
        say(L"The volume at " + wideOf(where) + L" does not match the snapshot; recovered files may hold other data:" +
            differences);
}

} // namespace sarvik::win32
