// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RecoveryWindow.h"
#include "app/WindowPieces.h"
#include "session/ScanJob.h"

#include "app/DeepSearch.h"
#include "app/MessageBoxes.h"
#include "app/ScanRunner.h"
#include "app/Wording.h"
#include "catalogue/NameText.h"
#include "ui/PercentProgressBar.h"
#include "ui/PictureButton.h"

#include <QLabel>
#include <QRegularExpression>
#include <QTreeWidget>

namespace sarvik::app {

using namespace pieces;

namespace Text {
QStringList scanCaptions()
{
    return {RecoveryWindow::tr("Folder(s) Found") + blanks(9), RecoveryWindow::tr("File(s) Found") + blanks(12),
            RecoveryWindow::tr("Current Sector") + blanks(10), RecoveryWindow::tr("Last File/Folder") + blanks(7)};
}
QString scanHelp()
{
    return QStringLiteral("\r\n") + blanks(19) +
           RecoveryWindow::tr("Sarvik is searching the data of the selected partition, once this process is "
                              "completed it will show you all the") +
           blanks(26) + RecoveryWindow::tr("deleted file(s).");
}
} // namespace Text

void RecoveryWindow::next()
{
    if (m_currentStep != 0 || scanRunning() || m_session.volume.info.VolumeSupported != 1)
        return;
    if (QAction* load = action(Command::LoadSnapshot))
        load->setEnabled(false);
    m_currentStep = 3;
    setViewMode(ViewMode::Details);
    m_session.filters.clear();
    showNext(false);
    StartScan();
}

void RecoveryWindow::StartScan()
{
    m_resultsFromSnapshot = false;
    m_deep->resultsLeft();
    m_scanStopAsked = false;
    m_stoppedNote->hide();
    // A fresh folder tree with its root item, disabled and hidden until the scan ends.
    m_folderTree->clear();
    m_folderItems.clear();
    m_folderTree->setEnabled(false);
    m_folderTree->hide();

    m_driveTree->setEnabled(false);
    m_back->setEnabled(false);
    m_back->hide();
    showNext(false);
    SetLabelLayout(2);
    SetMenuState(0);
    setQuickHelp(Text::scanHelp());
    m_progress->setValue(0);
    // Stop is offered in every phase of the scan, from its first read to the
    // tree build: a Yes is kept by the job until a pass sees it.
    m_stop->setEnabled(true);
    m_stop->show();
    m_runner->start(m_session, scan::ScanOptions{m_settings.ThoroughScan, true, false, showExistingFiles()});
    // The drive tree is disabled: the keyboard goes to Stop (Enter, Space or Esc ask).
    m_stop->setFocus(Qt::OtherFocusReason);
    updateNavigationCommands();
}

void RecoveryWindow::stopCommand()
{
    if (scanRunning())
        StopScan();
    else if (m_deep->running())
        m_deep->askStop();
}

void RecoveryWindow::StopScan()
{
    if (!scanRunning())
        return;
    // The scan keeps running while the question is open.
    if (QuestionDialog(this, tr("Do you want to stop the current process ?")) != kYes)
        return;
    if (scanRunning()) {
        m_scanStopAsked = true;
        m_runner->requestStop();
        return;
    }
    // The scan ended whole while the question was open, and the results page
    // may have started reading free space by itself: the Yes stops that.
    m_deep->stopReading();
}

QString RecoveryWindow::statusText(const session::ScanProgress& report) const
{
    if (!report.statusCode)
        return QString::fromStdString(report.status);
    // Under the thorough rules an NTFS record walk counts records, not sectors
    // (1,024-byte records unless the boot sector says otherwise).
    const disk::VolumeGeometry& geometry = m_session.volume.geometry;
    const bool records = m_settings.ThoroughScan && geometry.GeometryKind == disk::VolumeKind::Ntfs;
    const std::uint64_t recordSectors = geometry.MftRecordSectors == 0 ? 2 : geometry.MftRecordSectors;
    return statusWords(*report.statusCode, records ? recordSectors : 0);
}

void RecoveryWindow::applyReport(const ScanReport& report)
{
    if (report.hasFolders)
        m_values[0]->setText(QString::number(report.folders));
    if (report.hasFiles)
        m_values[1]->setText(QString::number(report.files));
    if (report.hasSector)
        m_values[2]->setText(QString::number(report.sector));
    if (report.hasLastItem)
        m_values[3]->setText(nameText(report.lastItem, m_settings.ThoroughScan)); // the scan's names
    if (report.hasStatus)
        m_status->setText(statusText(report));
    if (report.hasProgress) {
        m_progress->setValue(static_cast<int>(std::min<std::uint32_t>(report.progress, 100)));
        m_progress->show();
    }
    // The engines offer and withdraw Stop pass by pass; the window keeps it
    // for the whole scan (StartScan), as the job's stop flag outlives a pass.
}

void RecoveryWindow::scanEnded()
{
    showResults(true);
}

} // namespace sarvik::app
