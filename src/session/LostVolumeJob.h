// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The search of a whole disk for the volumes no partition table names, as a
// front end runs it: the reading of every sector on a worker thread that this
// object owns (its destructor marks the search abandoned and joins it), its
// progress kept here under a lock until the front end takes it, and Stop,
// which keeps what was found so far; then what it found, named as the drive
// list names a disk's partitions, and what the box after it says.

#include "catalogue/ScanObserver.h"
#include "disk/BlockSource.h"
#include "disk/LostVolumes.h"
#include "disk/Volume.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace sarvik::session {

/// Called on the worker thread; a front end forwards each call to its own thread.
class LostVolumeObserver {
public:
    virtual ~LostVolumeObserver() = default;
    /// News waits in takeProgress(); not called again until it is taken.
    virtual void progressWaiting() = 0;
    /// The search has ended; the front end calls LostVolumeJob::finish().
    virtual void searchEnded() = 0;
};

/// The latest percentage (-1 before the first) and status text.
struct LostVolumeProgress {
    int percent = -1;
    std::string status;                                ///< in English
    std::optional<catalogue::StatusReport> statusCode; ///< the same as a code; none when it came as text
};

/// What the search gave.
struct LostVolumeFindings {
    std::vector<disk::LostVolume> found; ///< in the order DISK@lostN numbers them
    bool stopped = false;                ///< Stop ended it early: what was found so far
    std::string error;                   ///< the disk could not be opened (then nothing was searched)
    std::uint64_t unreadableSectors = 0;
};

class LostVolumeJob : private catalogue::ScanObserver {
public:
    /// Opens the whole disk on the worker; null with `error` set when it cannot.
    using Opener = std::function<std::shared_ptr<const disk::BlockSource>(std::string& error)>;

    explicit LostVolumeJob(LostVolumeObserver& observer) : m_observer(observer) {}
    ~LostVolumeJob() override;
    LostVolumeJob(const LostVolumeJob&) = delete;
    LostVolumeJob& operator=(const LostVolumeJob&) = delete;

    /// Starts the deep search of the disk `open` gives; false while one runs.
    bool start(Opener open);
    /// Asks the search to end at its next block; what it found is kept.
    void requestStop();
    [[nodiscard]] bool running() const { return m_thread.joinable(); }
    /// Joins the worker once it has said it ended; findings() then holds.
    void finish();
    [[nodiscard]] const LostVolumeFindings& findings() const { return m_findings; }
    /// The latest progress, for the front end's thread.
    [[nodiscard]] LostVolumeProgress takeProgress();

private:
    void status(const std::string& text) override;
    void report(const catalogue::StatusReport& what) override;
    void progress(std::uint32_t position) override;
    [[nodiscard]] bool followsEachItem() const override { return false; }
    void tell();

    LostVolumeObserver& m_observer;
    catalogue::ScanControl m_control;
    std::thread m_thread;
    LostVolumeFindings m_findings; ///< the worker's until finish()
    bool m_stopAsked = false;
    std::mutex m_mutex;
    LostVolumeProgress m_progress; ///< under m_mutex
    bool m_told = false;           ///< under m_mutex
};

/// What a search of the disk of a drive gave, as the drive list takes it.
struct LostVolumeReport {
    /// Each volume found, in the order DISK@lostN numbers them, named as the
    /// drive list names the partitions of the searched drive's disk
    /// ("Disk Image(disk.img) lost 2: NTFS" for "disk.img@lost2").
    std::vector<disk::DriveItem> found;
    /// Those of `found` that the list did not hold yet, in the same order.
    std::vector<disk::DriveItem> added;
};

/// Names what the search of `wholePath` (the whole disk of `drive`, a disk,
/// an image or one of their partitions) found; `listed` is what the drive
/// list holds already.
[[nodiscard]] LostVolumeReport lostVolumeReport(const LostVolumeFindings& findings, const disk::DriveItem& drive,
                                                const std::string& wholePath,
                                                const std::vector<disk::DriveItem>& listed);

/// What the box after the search of `wholePath` says, in English: what it
/// found, each volume with what found it, whether it was stopped and the
/// sectors it could not read.
[[nodiscard]] std::string lostVolumeSummary(const LostVolumeFindings& findings, const LostVolumeReport& report,
                                            const std::string& wholePath);

} // namespace sarvik::session
