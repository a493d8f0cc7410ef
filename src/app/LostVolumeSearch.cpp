// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/LostVolumeSearch.h"

#include "app/Wording.h"

#include "catalogue/ScanObserver.h"
#include "disk/LostVolumes.h"
#include "disk/PartitionTable.h"
#include "platform/Devices.h"
#include "platform/DriveDiscovery.h"
#include "platform/PartitionSource.h"
#include "ui/PercentProgressBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace sarvik::app {

LostVolumeSearchDialog::LostVolumeSearchDialog(const disk::DriveItem& drive, QWidget* parent)
    : QDialog(parent), m_drive(drive), m_job(*this)
{
    setObjectName(QStringLiteral("lostVolumeSearch"));
    setWindowTitle(tr("Search for Lost Volumes"));
    setModal(true);
    const std::string whole = platform::resolvePartitionPath(drive.devicePath).path;
    auto* what = new QLabel(tr("Every sector of %1 is read for the boot sectors of FAT, exFAT and "
                               "NTFS volumes, and their backups.")
                                .arg(QString::fromStdString(whole)),
                            this);
    what->setWordWrap(true);
    m_status = new QLabel(tr("Starting..."), this);
    m_progress = new ui::PercentProgressBar(this);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_stop = new QPushButton(tr("&Stop"), this);
    m_stop->setObjectName(QStringLiteral("stop"));
    connect(m_stop, &QPushButton::clicked, this, &LostVolumeSearchDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_stop);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(what);
    layout->addWidget(m_status);
    layout->addWidget(m_progress);
    layout->addLayout(buttons);
    setMinimumWidth(420);
}

// The job's destructor marks the search abandoned and joins its worker.
LostVolumeSearchDialog::~LostVolumeSearchDialog() = default;

void LostVolumeSearchDialog::reject()
{
    // The search ends at its next block; the box closes when it has.
    m_job.requestStop();
    m_stop->setEnabled(false);
    m_status->setText(tr("Stopping..."));
}

void LostVolumeSearchDialog::progressWaiting()
{
    QMetaObject::invokeMethod(this, &LostVolumeSearchDialog::showProgress, Qt::QueuedConnection);
}

void LostVolumeSearchDialog::searchEnded()
{
    QMetaObject::invokeMethod(this, &QDialog::accept, Qt::QueuedConnection);
}

void LostVolumeSearchDialog::showProgress()
{
    const session::LostVolumeProgress shown = m_job.takeProgress();
    if (shown.percent >= 0)
        m_progress->setValue(shown.percent);
    if (!shown.status.empty() && m_stop->isEnabled())
        m_status->setText(shown.statusCode ? statusWords(*shown.statusCode) : QString::fromStdString(shown.status));
}

LostVolumeSearchResult LostVolumeSearchDialog::run()
{
    const std::string whole = platform::resolvePartitionPath(m_drive.devicePath).path;
    m_job.start([whole](std::string& error) -> std::shared_ptr<const disk::BlockSource> {
        auto disk = platform::openWholeSource(whole, &error);
        if (!disk && error.empty())
            error = LostVolumeSearchDialog::tr("%1: cannot be opened").arg(QString::fromStdString(whole)).toStdString();
        return disk;
    });
    exec();
    m_job.finish();
    return LostVolumeSearchResult{m_job.findings(), whole};
}

} // namespace sarvik::app
