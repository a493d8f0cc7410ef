// SPDX-License-Identifier: GPL-3.0-or-later
// The results page's offer of the files a volume's shadow copies hold and it
// no longer does, and adding them.
#include "app/RecoveryWindow.h"

#include "app/MessageBoxes.h"
#include "platform/PartitionSource.h"
#include "session/PreviousVersions.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStringList>

namespace sarvik::app {

void RecoveryWindow::offerPreviousVersions()
{
    m_shadowCopies = {};
    if (m_session.volume.geometry.GeometryKind == disk::VolumeKind::Ntfs)
        if (const auto source = platform::openVolumeSource(m_session.volume.reader.DevicePath()))
            m_shadowCopies = container::listShadowCopies(source);
    const std::size_t copies = session::previousVersionsOffered(m_session, m_shadowCopies);
    if (copies != 0) {
        m_previousText->setText(
            tr("This volume has %n shadow copy(s): Previous versions adds the files they hold that it no longer does.",
               nullptr, static_cast<int>(copies)));
        m_previousButton->show();
    }
    m_previousBar->setVisible(copies != 0);
    layoutControls();
}

void RecoveryWindow::addPreviousVersions()
{
    const std::string volume = m_session.volume.reader.DevicePath();
    disk::DriveItem item =
        m_selectedDrive && *m_selectedDrive < m_drives.size() ? m_drives[*m_selectedDrive] : disk::DriveItem{};
    const session::ShadowCopyOpener open = [&](std::uint32_t number, std::string& error) {
        item.devicePath = volume + "@vss" + std::to_string(number);
        std::optional<disk::SelectedVolume> copy{std::in_place};
        const disk::SelectResult opened = scan::SelectVolume(*copy, item, m_devices, disk::GeometryRules::Thorough);
        if (!opened) {
            error = disk::selectFailureText(opened);
            copy.reset();
        }
        return copy;
    };
    catalogue::ScanObserver quiet;
    catalogue::ScanControl control;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const session::PreviousVersionsRun run = session::addPreviousVersions(
        m_session, m_shadowCopies.copies, open, session::PreviousScope::Newest, false, quiet, control);
    QApplication::restoreOverrideCursor();
    fillFolderTree();
    fillFileList(m_session.tree.rootKey());
    m_previousButton->hide();
    m_previousText->setText(tr("%n previous version(s) added from the shadow copies, each whole in its copy.", nullptr,
                               static_cast<int>(run.added)));
    if (!run.problems.empty()) {
        QStringList lines;
        for (const std::string& problem : run.problems)
            lines << QString::fromStdString(problem);
        MessageDialog(this, MessageKind::Error, lines.join(QLatin1Char('\n')));
    }
}

} // namespace sarvik::app
