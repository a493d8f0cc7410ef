// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RecoveryWindow.h"
#include "app/WindowPieces.h"

#include "app/LostVolumeSearch.h"
#include "app/MessageBoxes.h"
#include "app/UDisksClient.h"
#include "app/ValueWords.h"
#include "app/Wording.h"
#include "catalogue/NameText.h"
#include "container/ContainerSource.h"
#include "container/ShadowCopies.h"
#include "platform/Devices.h"
#include "platform/DriveDiscovery.h"
#include "platform/PartitionSource.h"
#include "platform/SourceVolume.h"
#include "recovery/FileSources.h"
#include "session/PreviousVersions.h"
#include "ui/PictureButton.h"

#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QScopedValueRollback>
#include <QStandardPaths>
#include <QTimer>
#include <QTreeWidget>

namespace sarvik::app {

using namespace pieces;

namespace Text {
QStringList driveCaptions()
{
    return {RecoveryWindow::tr("Volume Label") + blanks(13), RecoveryWindow::tr("Capacity\t") + blanks(8),
            RecoveryWindow::tr("Sector Per Cluster") + blanks(6), RecoveryWindow::tr("Byte Per Sector") + blanks(10),
            RecoveryWindow::tr("File System") + blanks(16)};
}
QString driveHelp(int indent)
{
    return QStringLiteral("\r\n") + blanks(indent) +
           RecoveryWindow::tr("1. Select the Logical Drive that contains the deleted file(s).\r\n") + blanks(indent) +
           RecoveryWindow::tr("2. Click Next Button.");
}
} // namespace Text

void RecoveryWindow::buildDriveTree(QWidget* panel)
{
    m_driveTree = pageTree(panel, this);
    // The arrow keys select the drive they move to, as a click does.
    connect(m_driveTree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        if (current != nullptr && m_currentStep == 0 && !scanRunning() && m_driveTree->isEnabled() &&
            current->data(0, kDriveIndexRole).isValid())
            SelectDrive(current);
    });
}

QTreeWidgetItem* RecoveryWindow::newDriveTreeItem(std::size_t index)
{
    QTreeWidgetItem* computer = m_driveTree->topLevelItem(0);
    const disk::DriveItem drive = m_drives[index];
    auto* item = new QTreeWidgetItem(computer, QStringList{QString::fromStdString(drive.text)});
    item->setIcon(0, themeIcon("drive-harddisk", QStyle::SP_DriveHDIcon));
    item->setData(0, kDriveIndexRole, static_cast<qulonglong>(index));
    // The whole name where the tree is too narrow for it, and where it lives.
    item->setToolTip(0, item->text(0) + QLatin1Char('\n') + QString::fromStdString(drive.devicePath));
    computer->setExpanded(true);
    addShadowCopyItems(item, drive);
    return item;
}

void RecoveryWindow::addShadowCopyItems(QTreeWidgetItem* volumeItem, const disk::DriveItem& volume)
{
    // An NTFS volume's shadow copies (none for other volumes, whole disks and
    // copies themselves), each a source of its own below it.
    if (isShadowCopy(volume))
        return;
    const auto source = platform::openVolumeSource(volume.devicePath);
    if (!source)
        return;
    for (session::ShadowCopyDrive& copy : session::shadowCopyDrives(volume, container::listShadowCopies(source))) {
        copy.item.text = tr("Shadow copy %1 (%2)")
                             .arg(copy.number)
                             .arg(QString::fromStdString(recovery::copyTimeText(copy.created)))
                             .toStdString();
        m_drives.push_back(copy.item);
        auto* item = new QTreeWidgetItem(volumeItem, QStringList{QString::fromStdString(copy.item.text)});
        item->setIcon(0, themeIcon("document-open-recent", QStyle::SP_FileDialogDetailedView));
        item->setData(0, kDriveIndexRole, static_cast<qulonglong>(m_drives.size() - 1));
        item->setToolTip(0, QString::fromStdString(copy.item.devicePath));
    }
    volumeItem->setExpanded(true);
}

bool RecoveryWindow::isShadowCopy(const disk::DriveItem& drive)
{
    return platform::resolvePartitionPath(drive.devicePath).shadow != 0;
}

QTreeWidgetItem* RecoveryWindow::addDriveItem(const disk::DriveItem& drive)
{
    m_drives.push_back(drive);
    return newDriveTreeItem(m_drives.size() - 1);
}

bool RecoveryWindow::replaceDrives(std::vector<disk::DriveItem> drives)
{
    // Elsewhere the selected drive is in use.
    if (m_currentStep != 0 || scanRunning() || !m_driveTree->isEnabled())
        return false;
    // A card swapped for another in the same reader is another drive.
    const auto same = [](const disk::DriveItem& a, const disk::DriveItem& b) {
        return a.devicePath == b.devicePath && a.text == b.text && a.kind == b.kind && a.sizeBytes == b.sizeBytes;
    };
    // The drives listed, without the shadow copies the tree lists under them.
    std::vector<disk::DriveItem> own = m_drives;
    std::erase_if(own, isShadowCopy);
    // Images, and the lost volumes a search found, are the user's: they stay.
    for (const disk::DriveItem& listed : own)
        if ((listed.kind == disk::DriveKind::Image || platform::resolvePartitionPath(listed.devicePath).lost) &&
            std::none_of(drives.begin(), drives.end(), [&](const auto& d) { return same(d, listed); }))
            drives.push_back(listed);
    if (std::equal(drives.begin(), drives.end(), own.begin(), own.end(), same))
        return true;
    // A descriptor the disk manager gave for a device that went is of no more use.
    for (const disk::DriveItem& listed : own)
        if (std::none_of(drives.begin(), drives.end(), [&](const auto& d) { return same(d, listed); }))
            platform::stopServing(platform::resolvePartitionPath(listed.devicePath).path);
    std::optional<disk::DriveItem> selected;
    if (m_selectedDrive && *m_selectedDrive < m_drives.size())
        selected = m_drives[*m_selectedDrive];
    m_drives = std::move(drives);
    m_selectedDrive.reset();
    // Quiet: rebuilding the tree selects nothing on its own.
    const QScopedValueRollback quiet(m_currentStep, -1);
    QTreeWidgetItem* computer = m_driveTree->topLevelItem(0);
    qDeleteAll(computer->takeChildren());
    QTreeWidgetItem* current = computer;
    const std::size_t listed = m_drives.size(); // each volume's shadow copies go after them
    for (std::size_t i = 0; i < listed; ++i) {
        QTreeWidgetItem* item = newDriveTreeItem(i);
        for (int child = -1; child < item->childCount(); ++child) {
            QTreeWidgetItem* shown = child < 0 ? item : item->child(child);
            const auto at = static_cast<std::size_t>(shown->data(0, kDriveIndexRole).toULongLong());
            if (selected && same(m_drives[at], *selected)) {
                m_selectedDrive = at;
                current = shown;
            }
        }
    }
    m_driveTree->setCurrentItem(current);
    if (!m_selectedDrive && selected) {
        // The selected drive went away: nothing is selected any more.
        m_selection = {};
        for (QLabel* value : m_values)
            value->clear();
        hideEmpty(m_status);
        showNext(false);
    }
    return true;
}

void RecoveryWindow::refreshDrives(bool fromDiskManager)
{
    std::optional<std::vector<disk::DriveItem>> drives =
        fromDiskManager ? m_udisks->drives() : std::optional{platform::FillDriveTree()};
    if (drives && !replaceDrives(std::move(*drives)))
        QTimer::singleShot(1000, this, [this, fromDiskManager] { refreshDrives(fromDiskManager); });
}

void RecoveryWindow::watchDrives()
{
    if (m_udisks == nullptr)
        m_udisks = new UDisksClient(this);
    // Asking for the list starts the service where the bus starts it on demand.
    if (m_udisks->drives()) {
        connect(m_udisks, &UDisksClient::drivesChanged, this, [this] { refreshDrives(true); });
        return;
    }
    // The kernel announces nothing through sysfs that a program can wait on.
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, [this] { refreshDrives(false); });
    poll->start(3000);
}

void RecoveryWindow::driveTreePressed(QTreeWidgetItem* item, const QPoint& pos)
{
    m_focusOnTree = true;
    if (item == nullptr) {
        m_driveTree->setCurrentItem(m_driveTree->topLevelItem(0));
        return;
    }
    if (m_currentStep != 0)
        return;
    // A press in the indent or on the expand button is left to the tree.
    if (pos.x() < m_driveTree->visualItemRect(item).left())
        return;
    if (item->text(0) == RecoveryWindow::tr("My Computer") || item->text(0).isEmpty())
        return;
    {
        // The press selects the drive itself (and offers what a click offers).
        const QScopedValueRollback quiet(m_currentStep, -1);
        m_driveTree->setCurrentItem(item);
    }
    SelectDrive(item, true);
}

void RecoveryWindow::SelectDrive(QTreeWidgetItem* item, bool offerElevation)
{
    if (!item->data(0, kDriveIndexRole).isValid())
        return;
    const auto index = item->data(0, kDriveIndexRole).toULongLong();
    if (index >= m_drives.size())
        return;
    selectDriveAt(static_cast<std::size_t>(index), offerElevation);
}

void RecoveryWindow::selectDriveAt(std::size_t index, bool offerElevation)
{
    m_selectedDrive = index;
    m_selection =
        scan::SelectVolume(m_session.volume, m_drives[index], m_devices,
                           m_settings.ThoroughScan ? disk::GeometryRules::Thorough : disk::GeometryRules::Classic);
    ShowVolumeInfo();
    showNext(static_cast<bool>(m_selection));
    // Image files are the user's own; a device may need the administrator.
    // The administrator refused has the system's own reason, and no offer.
    if (offerElevation && m_selection.accessDenied && m_drives[index].kind != disk::DriveKind::Image) {
        if (m_devices.administrator())
            MessageDialog(this, MessageKind::Error, QString::fromStdString(m_selection.detail));
        else
            openRefusedDevice(index);
    }
}

void RecoveryWindow::openRefusedDevice(std::size_t index)
{
    const disk::DriveItem drive = m_drives[index];
    // A partition is read inside its whole disk, which is what gets opened.
    const std::string whole = platform::resolvePartitionPath(drive.devicePath).path;
    if (m_udisks == nullptr)
        m_udisks = new UDisksClient(this);
    // The answer waits while polkit's own window asks for the password.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const ServiceOpen opened = m_udisks->openDevice(whole);
    QApplication::restoreOverrideCursor();
    switch (opened.outcome) {
    case ServiceOpen::Outcome::Opened:
        selectDriveAt(index);
        break;
    case ServiceOpen::Outcome::Refused:
        MessageDialog(this, MessageKind::Error,
                      tr("%1 was not opened for you. The system's disk manager (UDisks2) said: %2")
                          .arg(QString::fromStdString(drive.devicePath), opened.reason));
        break;
    case ServiceOpen::Outcome::Unavailable:
        offerElevatedRestart(drive);
        break;
    }
}

bool RecoveryWindow::offerElevatedRestart(const disk::DriveItem& drive)
{
    const QString question =
        tr("You may not read %1, and the system's disk manager (UDisks2), which opens disks for you "
           "after asking for your password, does not run here (or does not know the disk).\n\n"
           "Start Velmora Sarvik Undelete again as the administrator? You will be asked for the "
           "administrator's password.")
            .arg(QString::fromStdString(drive.devicePath));
    if (QuestionDialog(this, question, MessageKind::Error) != kYes)
        return false;
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    if (pkexec.isEmpty()) {
        MessageDialog(this, MessageKind::Error,
                      tr("pkexec is not installed. Install the pkexec package, or start the program "
                         "as root."));
        return false;
    }
    // pkexec keeps the display for this program (its policy allows a GUI).
    const QStringList arguments = QStringList{QApplication::applicationFilePath()} + QApplication::arguments().mid(1);
    if (!QProcess::startDetached(pkexec, arguments)) {
        MessageDialog(this, MessageKind::Error, tr("pkexec could not be started."));
        return false;
    }
    m_exitConfirmed = true;
    close();
    return true;
}

void RecoveryWindow::showRefusedSources(const QStringList& refusals)
{
    if (refusals.isEmpty())
        return;
    // Once the window manager has placed the window, so that the box is centred on it.
    QTimer::singleShot(250, this, [this, refusals] {
        MessageDialog(this, MessageKind::Error, tr("Not listed:\n") + refusals.join(QLatin1Char('\n')));
    });
}

void RecoveryWindow::ShowVolumeInfo()
{
    // Why a volume is NOT READY, or what the user should know about a ready one,
    // under the values and as the file system's tooltip.
    QStringList notes;
    // An image file of no bytes at all holds no boot sector to judge.
    const bool emptyImage = !m_selection && m_selection.status != disk::SelectStatus::CannotOpen && m_selectedDrive &&
                            *m_selectedDrive < m_drives.size() &&
                            m_drives[*m_selectedDrive].kind == disk::DriveKind::Image &&
                            m_drives[*m_selectedDrive].sizeBytes == 0;
    if (emptyImage)
        notes << tr("Not ready: the file is empty.");
    else if (!m_selection)
        notes << tr("Not ready: %1.").arg(selectFailureWords(m_selection));
    for (const auto& note : {backupBootWords(m_session.volume.info), truncationWords(m_session.volume.info)})
        if (note)
            notes << tr("Note: %1.").arg(*note);
    // What holds the volume, when it is a container: its kind, size and stored hashes.
    if (m_selectedDrive && *m_selectedDrive < m_drives.size() &&
        m_drives[*m_selectedDrive].kind == disk::DriveKind::Image)
        if (const auto image = std::dynamic_pointer_cast<const container::ContainerSource>(platform::openWholeSource(
                platform::resolvePartitionPath(m_drives[*m_selectedDrive].devicePath).path))) {
            QString text = QString::fromStdString(image->description());
            for (const std::string& hash : image->hashes())
                text += tr("; stored %1").arg(QString::fromStdString(hash));
            notes << tr("Container: %1.").arg(text);
        }
    if (m_selection && m_selectedDrive && *m_selectedDrive < m_drives.size())
        if (const auto mounts = platform::readWriteMounts(m_drives[*m_selectedDrive].devicePath); !mounts.empty())
            notes << tr("Warning: mounted read-write at %1: anything written while you work can overwrite "
                        "deleted files; unmount it or remount it read-only.")
                         .arg(QString::fromStdString(mounts.front()));
    m_values[4]->setToolTip(notes.join(QLatin1Char('\n')));
    if (notes.isEmpty())
        hideEmpty(m_status);
    else
        reshow(m_status, notes.join(QLatin1Char(' ')));
    const disk::VolumeInfoTexts texts = disk::ShowVolumeInfo(m_session.volume.info);
    m_values[0]->setText(QString::fromStdString(catalogue::toUtf8(texts.label)));
    // A value the drive did not give (it could not be read, or holds no volume) is unknown, not 0.
    const disk::VolumeInfo& info = m_session.volume.info;
    const auto known = [](bool given, const QString& text) { return given ? text : tr("Unknown"); };
    m_values[1]->setText(known(info.VolumeSectors / 2 / 1024 != 0 || m_selection, capacityWords(info)));
    m_values[2]->setText(known(info.VolumeClusterSectors != 0, countWords(info.VolumeClusterSectors)));
    m_values[3]->setText(known(info.BytesPerSector != 0, countWords(info.BytesPerSector)));
    m_values[4]->setText(info.VolumeSupported == 1 ? QString::fromStdString(texts.fileSystem) : tr("NOT READY"));
}

void RecoveryWindow::showNext(bool show)
{
    m_next->setEnabled(show);
    m_next->setVisible(show);
}

} // namespace sarvik::app

namespace sarvik::app {

void RecoveryWindow::searchLostVolumes()
{
    if (!m_selectedDrive || *m_selectedDrive >= m_drives.size()) {
        MessageDialog(this, MessageKind::Information,
                      tr("Choose the disk or disk image to search in the drive list first."));
        return;
    }
    const disk::DriveItem drive = m_drives[*m_selectedDrive];
    const QString disk = QString::fromStdString(platform::resolvePartitionPath(drive.devicePath).path);
    LostVolumeSearchDialog box(drive, this);
    const LostVolumeSearchResult result = box.run();
    const session::LostVolumeFindings& findings = result.findings;
    if (!findings.error.empty()) {
        MessageDialog(
            this, MessageKind::Error,
            tr("The search for lost volumes cannot read %1.\n%2").arg(disk, QString::fromStdString(findings.error)));
        return;
    }
    const session::LostVolumeReport report = session::lostVolumeReport(findings, drive, result.wholePath, m_drives);
    QTreeWidgetItem* first = nullptr;
    for (const disk::DriveItem& item : report.added) {
        QTreeWidgetItem* shown = addDriveItem(item);
        if (first == nullptr)
            first = shown;
    }
    const int added = static_cast<int>(report.added.size());
    QString text = report.found.empty() ? tr("No lost volume was found on %1.").arg(disk)
                                        : tr("%n volume(s) found on %1; %2 added to the drive list.", nullptr,
                                             static_cast<int>(report.found.size()))
                                              .arg(disk)
                                              .arg(added);
    if (findings.stopped)
        text = tr("Stopped before the end of the disk. ") + text;
    if (findings.unreadableSectors != 0)
        text += tr("\n%1 sector(s) could not be read.", nullptr, pluralCount(findings.unreadableSectors))
                    .arg(findings.unreadableSectors);
    MessageDialog(this, MessageKind::Information, text);
    if (first != nullptr) {
        m_driveTree->setCurrentItem(first);
        m_driveTree->scrollToItem(first);
        SelectDrive(first, false);
    }
}

} // namespace sarvik::app
