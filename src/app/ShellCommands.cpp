// SPDX-License-Identifier: GPL-3.0-or-later
// The shell commands of the main window: exit, help, settings, disk images.
#include "app/RecoveryWindow.h"
#include "app/WindowPieces.h"

#include "app/DeepSearch.h"
#include "app/DeepSearchBar.h"
#include "app/DriveInformationDialog.h"
#include "app/FileListModel.h"
#include "app/HelpDialog.h"
#include "app/MessageBoxes.h"
#include "app/NamedDrives.h"
#include "app/PreviewPane.h"
#include "app/RecentPlaces.h"
#include "app/RecoverySettingsDialog.h"
#include "app/ResultsCommands.h"
#include "app/ScanRunner.h"
#include "disk/DriveInformation.h"
#include "ui/PercentProgressBar.h"
#include "ui/PictureButton.h"
#include "ui/Skin.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableView>
#include <QTreeWidget>
#include <QUrl>

#include <functional>

namespace sarvik::app {

// ---- Shell commands ---------------------------------------------------------

void RecoveryWindow::releaseCatalogue()
{
    if (m_runner != nullptr && m_runner->running())
        return; // the worker still fills it; it is released when the window goes
    m_session.catalogue.ClearFatCatalogue();
    m_session.catalogue.ClearNtfsCatalogue();
}

void RecoveryWindow::exitCommand()
{
    if (QuestionDialog(this, tr("Do you really want to exit ?")) != kYes)
        return;
    m_exitConfirmed = true;
    close();
}

void RecoveryWindow::closeEvent(QCloseEvent* event)
{
    // The close box asks the same question as Exit; No keeps the window and everything in it.
    if (!m_exitConfirmed && QuestionDialog(this, tr("Do you really want to exit ?")) != kYes) {
        event->ignore();
        return;
    }
    m_exitConfirmed = true;
    if (m_keepState)
        saveKeptState();
    if (m_runner != nullptr)
        m_runner->requestStop();
    if (m_deep != nullptr)
        m_deep->requestStop();
    if (m_preview != nullptr)
        m_preview->settle(); // its read uses the catalogue
    releaseCatalogue();
    if (m_commands != nullptr)
        m_commands->removeOpenCopies();
    event->accept();
}

void RecoveryWindow::helpContents()
{
    HelpDialog dialog(this);
    dialog.exec();
}

void RecoveryWindow::liveUpdate()
{
    // The program is installed as a package; its updates come the same way.
    MessageDialog(this, MessageKind::Information,
                  tr("Updates of Velmora Sarvik Undelete come through your system's package manager: "
                     "update the package there to get the latest version."));
}

void RecoveryWindow::aboutBox()
{
    MessageBox box(this, MessageKind::Information,
                   tr("Velmora Sarvik Undelete %1\n\n"
                      "Brings back deleted files and folders from FAT12, FAT16, FAT32, exFAT and NTFS volumes.\n"
                      "Copyright 2026 Velmora.\n\n"
                      "This program is free software: you can redistribute it and/or modify it under the terms "
                      "of the GNU General Public License as published by the Free Software Foundation, either "
                      "version 3 of the License, or (at your option) any later version (GPL-3.0-or-later). It "
                      "comes with ABSOLUTELY NO WARRANTY. The licence's text: "
                      "/usr/share/common-licenses/GPL-3, or <https://www.gnu.org/licenses/gpl-3.0.html>.")
                       .arg(QApplication::applicationVersion()),
                   false);
    box.setWindowTitle(tr("About Velmora Sarvik"));
    box.exec();
}

void RecoveryWindow::showSettings()
{
    const bool thorough = m_settings.ThoroughScan;
    RecoverySettingsDialog dialog(m_settings, this);
    dialog.exec();
    // The rules read the boot sector's geometry: the drive page follows a change.
    if (m_settings.ThoroughScan != thorough && m_currentStep == 0 && !scanRunning() && m_selectedDrive &&
        *m_selectedDrive < m_drives.size())
        selectDriveAt(*m_selectedDrive);
}

void RecoveryWindow::showDriveInformation()
{
    DriveInformationDialog dialog(disk::ShowDriveInformation(m_session.volume.geometry,
                                                             m_session.catalogue.folderCount(),
                                                             m_session.catalogue.fileCount()),
                                  this);
    dialog.exec();
}

void RecoveryWindow::addDiskImage()
{
    QFileDialog dialog(this, tr("Add Disk Image"));
    dialog.setObjectName(QStringLiteral("addDiskImage"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters({tr("Disk images (*.img *.dd *.raw *.bin *.iso *.001 *.E01 *.vhd *.vhdx "
                              "*.vmdk *.qcow2 *.qcow)"),
                           tr("EnCase images (*.E01)"),
                           tr("Virtual machine disks (*.vhd *.vhdx *.vmdk *.qcow2 *.qcow)"),
                           tr("Split raw images, first piece (*.001)"), tr("All files (*)")});
    if (const QString folder = RecentPlaces::instance().folder(Place::DiskImage); !folder.isEmpty())
        dialog.setDirectory(folder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().front();
    RecentPlaces::instance().remember(Place::DiskImage, path);
    addImageAt(path);
}

void RecoveryWindow::addImageAt(const QString& path)
{
    const NamedDrives named = namedDrives(path);
    if (!named.refusal.isEmpty()) {
        RecentPlaces::instance().forgetImage(QFileInfo(path).absoluteFilePath());
        MessageDialog(this, MessageKind::Error, named.refusal);
        return;
    }
    RecentPlaces::instance().addImage(path);
    QTreeWidgetItem* first = nullptr;
    for (const auto& item : named.items) {
        QTreeWidgetItem* added = addDriveItem(item);
        if (first == nullptr)
            first = added;
    }
    // The drive page selects what was just added, as a click on it would.
    if (first != nullptr && m_currentStep == 0 && !scanRunning()) {
        m_driveTree->setCurrentItem(first);
        m_driveTree->scrollToItem(first);
        m_driveTree->setFocus();
    }
}

void RecoveryWindow::fillRecentImages(QMenu* menu)
{
    menu->clear();
    const QStringList images = RecentPlaces::instance().images();
    for (int i = 0; i < images.size(); ++i) {
        // "&1 card.img", with the whole path as the tip and in the status bar.
        QAction* action = menu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(images[i]).fileName()));
        action->setToolTip(images[i]);
        action->setStatusTip(images[i]);
        connect(action, &QAction::triggered, this, [this, path = images[i]] { addImageAt(path); });
    }
    if (images.isEmpty()) {
        menu->addAction(tr("(none)"))->setEnabled(false);
        return;
    }
    menu->addSeparator();
    connect(menu->addAction(tr("&Clear List")), &QAction::triggered, this,
            [] { RecentPlaces::instance().clearImages(); });
}

void RecoveryWindow::toggleExistingFiles(bool shown)
{
    m_showExisting = shown;
    // Shown results of a scan are scanned again at once, so that the list says
    // what the menu does; a loaded snapshot's stay as they are, and elsewhere
    // the next scan takes it.
    if (m_currentStep == 3 && !m_resultsFromSnapshot && !scanRunning() && !m_deep->running() && m_selectedDrive) {
        back();
        next();
    }
}

} // namespace sarvik::app
