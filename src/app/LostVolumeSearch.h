// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Search for Lost Volumes": the deep search of a whole disk or disk image for
// the volumes no partition table names, as a session::LostVolumeJob, in a modal box with its
// progress and Stop. What it finds is named by session::lostVolumeReport.

#include "disk/Volume.h"
#include "session/LostVolumeJob.h"

#include <QDialog>

#include <string>

class QLabel;
class QPushButton;

namespace sarvik::ui {
class PercentProgressBar;
}

namespace sarvik::app {

/// What the search gave.
struct LostVolumeSearchResult {
    session::LostVolumeFindings findings;
    std::string wholePath; ///< the whole disk that was searched
};

class LostVolumeSearchDialog : public QDialog, private session::LostVolumeObserver {
    Q_OBJECT
public:
    /// Searches the whole disk of `drive` (a disk, an image, or one of their
    /// partitions, whose disk is then searched).
    explicit LostVolumeSearchDialog(const disk::DriveItem& drive, QWidget* parent = nullptr);
    ~LostVolumeSearchDialog() override;

    /// Runs the search while the box shows; returns when it has ended.
    LostVolumeSearchResult run();

protected:
    void reject() override; ///< Escape and the close box ask to stop, as Stop does

private:
    // LostVolumeObserver, called on the worker thread.
    void progressWaiting() override;
    void searchEnded() override;

    void showProgress();

    disk::DriveItem m_drive;
    QLabel* m_status = nullptr;
    ui::PercentProgressBar* m_progress = nullptr;
    QPushButton* m_stop = nullptr;
    session::LostVolumeJob m_job;
};

} // namespace sarvik::app
