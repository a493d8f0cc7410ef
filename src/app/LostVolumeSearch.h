// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Search for Lost Volumes": the deep search of a whole disk or disk image for
// the volumes no partition table names, as a session::LostVolumeJob, in a modal box with its
// progress and Stop. What it finds is named as the drive tree names a disk's
// partitions ("Disk Image(disk.img) lost 2: NTFS" for "disk.img@lost2").

#include "disk/Volume.h"
#include "session/LostVolumeJob.h"

#include <QDialog>

#include <cstdint>
#include <string>
#include <vector>

class QLabel;
class QPushButton;

namespace sarvik::ui {
class PercentProgressBar;
}

namespace sarvik::app {

/// What the search gave.
struct LostVolumeSearchResult {
    std::vector<disk::DriveItem> found; ///< in the order DISK@lostN numbers them
    bool stopped = false;               ///< Stop ended it early: what was found so far
    std::string error;                  ///< the disk could not be opened (then nothing was searched)
    std::uint64_t unreadableSectors = 0;
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

/// The drive item of lost volume `number` of the disk `whole` (its path and the
/// tree's text of it or of one of its partitions), found as `volume`.
[[nodiscard]] disk::DriveItem lostVolumeItem(const disk::DriveItem& whole, std::uint32_t number, std::uint16_t kind,
                                             std::uint64_t sectors);

} // namespace sarvik::app
