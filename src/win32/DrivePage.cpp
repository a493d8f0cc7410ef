// SPDX-License-Identifier: GPL-3.0-or-later
// The drive page and the scan: the drives listed, an image opened, Next, the
// scan's progress and its end.

#include "win32/FileDialog.h"
#include "win32/MainWindow.h"

#include "win32/Commands.h"
#include "win32/DialogRules.h"

#include "catalogue/ReadProgress.h"
#include "container/ContainerSource.h"
#include "platform/Devices.h"
#include "platform/DriveDiscovery.h"
#include "platform/FileSystem.h"
#include "platform/WinDrives.h"
#include "platform/WinText.h"
#include "session/ScanJob.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <cstdio>
#include <functional>

namespace sarvik::win32 {

using platform::utf8Of;
using platform::wideOf;

namespace {

void setCell(HWND list, int item, int column, const std::string& utf8)
{
    std::wstring text = wideOf(utf8);
    LVITEMW cell{};
    cell.iSubItem = column;
    cell.pszText = text.data();
    ::SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&cell));
}

/// Why the disk image `path` cannot be read by this build: a container whose
/// library it was built without. Empty for a raw image, a container it reads,
/// or a file it cannot open (opening it for the scan says why).
std::string containerRefusal(const std::string& path)
{
    const auto raw = platform::SystemBlockSource::open(path);
    if (!raw)
        return {};
    const container::Format format = container::recognise(*raw, path);
    if (format == container::Format::None || container::formatReadable(format))
        return {};
    return containerRefusalText(container::formatName(format), container::readableFormatsText(),
                                platform::pathText(platform::pathOf(path).filename()));
}

/// What the Open Disk Image box says about the containers this build does not read.
std::wstring unreadableFormatsNote()
{
    return wideOf(unreadableFormatsLine(container::readableFormatsText(), container::unreadableFormatNames()));
}

// A COM interface is released through Release, never deleted through its base.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
/// In a run without a user, the Open Disk Image box's part: once the box is up,
/// it tells every line of text the box shows and closes it, as Cancel would.
class DialogReader final : public IFileDialogEvents {
public:
    explicit DialogReader(std::function<void(const std::wstring&)> tell) : m_tell(std::move(tell)) {}

    // Lives on the stack of the box's owner, which unadvises it before it goes.
    IFACEMETHODIMP QueryInterface(REFIID id, void** out) override
    {
        if (id != IID_IUnknown && id != __uuidof(IFileDialogEvents)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<IFileDialogEvents*>(this);
        return S_OK;
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return 2; }
    IFACEMETHODIMP_(ULONG) Release() override { return 1; }

    IFACEMETHODIMP OnFolderChange(IFileDialog* dialog) override
    {
        if (m_read)
            return S_OK;
        IOleWindow* window = nullptr;
        HWND box = nullptr;
        if (SUCCEEDED(dialog->QueryInterface(IID_PPV_ARGS(&window)))) {
            window->GetWindow(&box);
            window->Release();
        }
        if (box == nullptr)
            return S_OK; // not up yet: the next folder change reads it
        m_read = true;
        ::EnumChildWindows(box, &DialogReader::tellText, reinterpret_cast<LPARAM>(this));
        dialog->Close(HRESULT_FROM_WIN32(ERROR_CANCELLED));
        return S_OK;
    }
    IFACEMETHODIMP OnFileOk(IFileDialog*) override { return S_OK; }
    IFACEMETHODIMP OnFolderChanging(IFileDialog*, IShellItem*) override { return S_OK; }
    IFACEMETHODIMP OnSelectionChange(IFileDialog*) override { return S_OK; }
    IFACEMETHODIMP OnShareViolation(IFileDialog*, IShellItem*, FDE_SHAREVIOLATION_RESPONSE*) override { return S_OK; }
    IFACEMETHODIMP OnTypeChange(IFileDialog*) override { return S_OK; }
    IFACEMETHODIMP OnOverwrite(IFileDialog*, IShellItem*, FDE_OVERWRITE_RESPONSE*) override { return S_OK; }

    [[nodiscard]] bool read() const { return m_read; }

private:
    /// Tells the text of each label the box shows.
    static BOOL CALLBACK tellText(HWND control, LPARAM self)
    {
        wchar_t kind[16] = {};
        ::GetClassNameW(control, kind, 16);
        if (::lstrcmpiW(kind, L"Static") != 0)
            return TRUE;
        const int length = ::GetWindowTextLengthW(control);
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        text.resize(static_cast<std::size_t>(::GetWindowTextW(control, text.data(), length + 1)));
        if (!text.empty())
            reinterpret_cast<DialogReader*>(self)->m_tell(text);
        return TRUE;
    }

    std::function<void(const std::wstring&)> m_tell;
    bool m_read = false;
};
#pragma GCC diagnostic pop

} // namespace

void MainWindow::fillDrives()
{
    // The drive chosen stays chosen when the list is made again.
    const LRESULT before = ::SendMessageW(m_drives, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    const std::string chosen = before >= 0 && static_cast<std::size_t>(before) < m_driveItems.size()
                                   ? m_driveItems[static_cast<std::size_t>(before)].devicePath
                                   : std::string();
    m_driveItems = platform::FillDriveTree();
    for (disk::DriveItem& disk : platform::physicalDiskItems())
        m_driveItems.push_back(std::move(disk));
    m_driveItems.insert(m_driveItems.end(), m_images.begin(), m_images.end());
    ::SendMessageW(m_drives, LVM_DELETEALLITEMS, 0, 0);
    for (std::size_t i = 0; i < m_driveItems.size(); ++i) {
        const disk::DriveItem& drive = m_driveItems[i];
        std::wstring text = wideOf(drive.text);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = text.data();
        ::SendMessageW(m_drives, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        setCell(m_drives, item.iItem, 1, m_devices.volumeLabel(drive.devicePath).value_or(""));
        setCell(m_drives, item.iItem, 2, drive.sizeBytes == 0 ? "" : catalogue::byteSizeText(drive.sizeBytes));
        if (!chosen.empty() && drive.devicePath == chosen)
            chooseDrive(item.iItem);
    }
    selectedDriveChanged();
}

void MainWindow::addImage(const std::wstring& path)
{
    // A container this build cannot read is said at once, not listed as a
    // drive whose scan would fail.
    if (const std::string refusal = containerRefusal(utf8Of(path)); !refusal.empty()) {
        say(wideOf(refusal));
        return;
    }
    // An image that holds partitions lists each of them.
    const std::vector<disk::DriveItem> items = platform::imageDriveItems(utf8Of(path));
    m_images.insert(m_images.end(), items.begin(), items.end());
    fillDrives();
    if (items.empty())
        return;
    chooseDrive(static_cast<int>(m_driveItems.size() - items.size()));
}

void MainWindow::chooseDrive(int index)
{
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(m_drives, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&state));
    ::SendMessageW(m_drives, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
}

void MainWindow::chooseImage()
{
    IFileOpenDialog* dialog = nullptr;
    if (const HRESULT made =
            ::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog));
        FAILED(made)) {
        if (m_selfTest != nullptr)
            selfTestReport("self-test: the Open Disk Image box cannot be made (" + std::to_string(made) + ")");
        return;
    }
    const COMDLG_FILTERSPEC types[] = {{L"Disk images", L"*.img;*.dd;*.raw;*.bin;*.iso;*.001"}, {L"All files", L"*.*"}};
    dialog->SetFileTypes(2, types);
    dialog->SetTitle(L"Open Disk Image");
    DWORD options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_FILEMUSTEXIST | FOS_FORCEFILESYSTEM);
    IFileDialogCustomize* customize = nullptr;
    if (const std::wstring note = unreadableFormatsNote();
        !note.empty() && SUCCEEDED(dialog->QueryInterface(IID_PPV_ARGS(&customize)))) {
        customize->AddText(1, note.c_str());
        customize->Release();
    }
    DialogReader reader(
        [this](const std::wstring& text) { selfTestReport("self-test: the box shows: " + utf8Of(text)); });
    DWORD cookie = 0;
    const bool driven = m_selfTest != nullptr && SUCCEEDED(dialog->Advise(&reader, &cookie));
    dialog->AddRef(); // kept to unadvise the reader once the box is shown
    const std::wstring path = shownFileSystemPath(dialog, m_window);
    if (driven) {
        dialog->Unadvise(cookie);
        if (!reader.read())
            selfTestReport("self-test: the Open Disk Image box was not read");
    }
    dialog->Release();
    if (!path.empty())
        addImage(path);
    ::SetFocus(m_drives);
}

void MainWindow::selectedDriveChanged()
{
    const LRESULT chosen = ::SendMessageW(m_drives, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    ::EnableWindow(m_next, chosen >= 0 ? TRUE : FALSE);
}

void MainWindow::next()
{
    const LRESULT chosen = ::SendMessageW(m_drives, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    if (m_page != Page::Drives || chosen < 0 || static_cast<std::size_t>(chosen) >= m_driveItems.size() ||
        m_scan.running())
        return;
    const disk::DriveItem& drive = m_driveItems[static_cast<std::size_t>(chosen)];
    auto session = std::make_unique<scan::ScanSession>();
    const disk::SelectResult selected = scan::SelectVolume(session->volume, drive, m_devices);
    if (!selected) {
        if (selected.accessDenied && drive.kind != disk::DriveKind::Image && !m_devices.administrator()) {
            offerElevatedRestart(drive);
        } else {
            say(wideOf(drive.text + ": " + selected.detail));
            if (m_selfTest != nullptr)
                endSelfTest(2);
        }
        return;
    }
    m_rows.clear();
    ::SendMessageW(m_files, LVM_SETITEMCOUNT, 0, 0);
    m_session = std::move(session);
    m_filterNote.clear(); // the filters go with the session they narrowed
    m_source = drive;
    m_scanStarted = std::chrono::steady_clock::now();
    ::SendMessageW(m_progress, PBM_SETPOS, 0, 0);
    ::SetWindowTextW(m_status, (L"Scanning " + wideOf(drive.text) + L"...").c_str());
    ::SetWindowTextW(m_stop, L"&Stop");
    showPage(Page::Scanning);
    m_poster.setCopying(false);
    scan::ScanOptions options;
    // The recovery settings choose the rules; the drive page's box asks for
    // the deep search of this scan, the settings for that of every scan.
    options.thorough = m_settings.ThoroughScan;
    options.deep =
        ::SendMessageW(m_deep, BM_GETCHECK, 0, 0) == BST_CHECKED || (m_settings.ThoroughScan && m_settings.DeepSearch);
    m_scan.start(*m_session, options);
}

bool MainWindow::offerElevatedRestart(const disk::DriveItem& drive)
{
    const std::wstring question = L"Reading " + wideOf(drive.devicePath) +
                                  L" needs the administrator's rights.\n\nStart Velmora Sarvik Undelete again as "
                                  L"the administrator?";
    if (::MessageBoxW(m_window, question.c_str(), L"Velmora Sarvik Undelete", MB_YESNO | MB_ICONWARNING) != IDYES)
        return false;
    std::wstring self(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
        if (length < self.size()) {
            self.resize(length);
            break;
        }
        self.resize(self.size() * 2);
    }
    const auto started =
        reinterpret_cast<INT_PTR>(::ShellExecuteW(m_window, L"runas", self.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (started <= 32) // refused, or the user said no to the system's question
        return false;
    ::PostMessageW(m_window, WM_CLOSE, 0, 0);
    return true;
}

void MainWindow::showScanProgress()
{
    const session::ScanProgress progress = m_scan.takeProgress();
    if (progress.hasProgress)
        ::SendMessageW(m_progress, PBM_SETPOS, progress.progress, 0);
    const std::string status =
        progress.hasStatus && m_session != nullptr
            ? session::scanStatusText(progress.status, true, m_session->kind() == catalogue::CatalogueKind::Ntfs, 0)
            : std::string();
    const std::string line = scanProgressLine(progress.folders, progress.files, status, m_scan.timeLeft());
    ::SetWindowTextW(m_status, wideOf(line).c_str());
}

void MainWindow::stop()
{
    if (m_copying) {
        m_copy.requestStop();
        ++m_previewLatest; // a Preview's read ends at its next block
        return;
    }
    if (!m_deepSearch.reading() && !m_scan.running())
        return;
    // Asked first; what ended while the question was open needs no stop.
    if (!stopConfirmed())
        return;
    if (m_deepSearch.reading()) {
        m_deepSearch.requestStop();
        m_deepPhase = L"Deep search: stopping; what it found so far is kept...";
        updateStatusBar();
        return;
    }
    if (m_scan.running()) {
        m_scan.requestStop();
        ::SetWindowTextW(m_status, L"Stopping; what was found so far is kept...");
    }
}

void MainWindow::scanFinished()
{
    m_scan.finish();
    showScanProgress();
    if (m_scan.outOfMemory()) {
        say(L"The scan ran out of memory; the results show what it found until then.");
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_scanStarted).count();
    ::SetWindowTextW(m_status,
                     (wideOf(m_source.text) + wideOf(scanTookText(seconds, m_scan.result().Stopped))).c_str());
    showPage(Page::Results);
    fillFolderTree();
    if (m_selfTest != nullptr)
        selfTestScanned();
}

} // namespace sarvik::win32
