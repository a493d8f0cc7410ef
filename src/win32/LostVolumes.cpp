// SPDX-License-Identifier: GPL-3.0-or-later
// Search for Lost Volumes: every sector of the chosen disk read on a worker
// (session::LostVolumeJob) for the boot sectors of volumes no partition
// table names; each volume found joins the drive list
// (session::lostVolumeReport).

#include "win32/MainWindow.h"

#include "win32/Resources.h"

#include "platform/Devices.h"
#include "platform/DriveDiscovery.h"
#include "platform/PartitionSource.h"
#include "platform/WinText.h"
#include "session/LostVolumeJob.h"

#include <commctrl.h>

namespace sarvik::win32 {

using platform::utf8Of;
using platform::wideOf;

namespace {

constexpr UINT kLostProgress = WM_APP + 43;
constexpr UINT kLostEnded = WM_APP + 44;

class LostVolumeDialog final : public DialogBase, private session::LostVolumeObserver {
public:
    explicit LostVolumeDialog(std::string wholePath) : m_whole(std::move(wholePath)), m_job(*this) {}
    [[nodiscard]] const session::LostVolumeFindings& findings() const { return m_job.findings(); }
    /// Joins the worker once the box has closed.
    void finish() { m_job.finish(); }

private:
    void init() override
    {
        setText(IDC_LOST_WHAT, L"Every sector of " + wideOf(m_whole) +
                                   L" is read for the boot sectors of FAT, exFAT and NTFS volumes, and their backups.");
        ::SendMessageW(item(IDC_LOST_PROGRESS), PBM_SETRANGE32, 0, 100);
        const std::string whole = m_whole;
        m_job.start([whole](std::string& error) -> std::shared_ptr<const disk::BlockSource> {
            auto disk = platform::openWholeSource(whole, &error);
            if (!disk && error.empty())
                error = whole + ": cannot be opened";
            return disk;
        });
    }
    bool command(int id, int /*code*/) override
    {
        if (id != IDCANCEL && id != IDOK)
            return false;
        // The search ends at its next block; the box closes when it has.
        m_job.requestStop();
        ::EnableWindow(item(IDCANCEL), FALSE);
        setText(IDC_LOST_STATUS, L"Stopping...");
        return true;
    }
    bool message(UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/, INT_PTR& result) override
    {
        result = 0;
        if (message == kLostProgress) {
            const session::LostVolumeProgress shown = m_job.takeProgress();
            if (shown.percent >= 0)
                ::SendMessageW(item(IDC_LOST_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(shown.percent), 0);
            if (!shown.status.empty() && ::IsWindowEnabled(item(IDCANCEL)))
                setText(IDC_LOST_STATUS, wideOf(shown.status));
            return true;
        }
        if (message == kLostEnded) {
            close(IDOK);
            return true;
        }
        return false;
    }
    void drive() override {} // the search's end closes the box
    void progressWaiting() override { ::PostMessageW(handle(), kLostProgress, 0, 0); }
    void searchEnded() override { ::PostMessageW(handle(), kLostEnded, 0, 0); }

    std::string m_whole;
    session::LostVolumeJob m_job;
};

} // namespace

void MainWindow::searchLostVolumes()
{
    const LRESULT chosen = ::SendMessageW(m_drives, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    if (m_page != Page::Drives || chosen < 0 || static_cast<std::size_t>(chosen) >= m_driveItems.size())
        return;
    const disk::DriveItem drive = m_driveItems[static_cast<std::size_t>(chosen)];
    const std::string whole = platform::resolvePartitionPath(drive.devicePath).path;
    LostVolumeDialog dialog(whole);
    dialog.run(m_instance, m_window, IDD_LOST_VOLUMES, driverFor({}));
    dialog.finish();
    const session::LostVolumeFindings& findings = dialog.findings();
    if (!findings.error.empty()) {
        say(wideOf(findings.error));
        return;
    }
    const session::LostVolumeReport report = session::lostVolumeReport(findings, drive, whole, m_driveItems);
    // The images the user opened are kept across a refresh of the list.
    m_images.insert(m_images.end(), report.added.begin(), report.added.end());
    fillDrives();
    if (!report.found.empty())
        for (std::size_t i = 0; i < m_driveItems.size(); ++i)
            if (m_driveItems[i].devicePath == report.found.front().devicePath)
                chooseDrive(static_cast<int>(i));
    say(wideOf(session::lostVolumeSummary(findings, report, whole)));
}

} // namespace sarvik::win32
