// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A copy of found files as a front end runs it: the copy on a SaveWorker that
// this object owns (its destructor stops and joins it), what the copy reports
// kept here under a lock until the front end takes it, Stop and Skip, and the
// count of files asked for. The worker only tells the observer that something
// waits; the front end takes it on its own thread.

#include "catalogue/RecoveryControl.h"
#include "recovery/FileRecovery.h"
#include "recovery/SaveWorker.h"
#include "session/ProgressMailbox.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace sarvik::session {

/// What the copy reported since the front end last took it; `has*` tells which.
struct RecoveryProgress {
    std::string path, fileName;
    std::uint32_t totalFiles = 0, progress = 0;
    bool hasPath = false, hasFileName = false, hasTotal = false, hasProgress = false;
};

/// Called on the worker thread; a front end forwards the first two to its own
/// thread and answers the third before it returns.
class RecoveryJobObserver {
public:
    virtual ~RecoveryJobObserver() = default;
    /// News waits in takeProgress(); not called again until it is taken.
    virtual void progressWaiting() = 0;
    /// The copy has ended; the front end calls RecoveryJob::wait() and shows the end.
    virtual void copyEnded() = 0;
    /// A file cannot be created: true goes on with the next file, false stops the copy.
    virtual bool continueAfterError(const std::string& message) = 0;
};

class RecoveryJob : private recovery::RecoveryObserver {
public:
    explicit RecoveryJob(RecoveryJobObserver& observer) : m_observer(observer), m_worker(m_control) {}
    ~RecoveryJob() override;
    RecoveryJob(const RecoveryJob&) = delete;
    RecoveryJob& operator=(const RecoveryJob&) = delete;

    /// The flags the copy polls; a FileRecovery for this job is made with them.
    [[nodiscard]] catalogue::RecoveryControl& control() { return m_control; }
    /// What the copy reports to; a FileRecovery for this job is made with it.
    [[nodiscard]] recovery::RecoveryObserver& reports() { return *this; }

    /// Starts `copy` on the worker; false (nothing started) while one runs.
    /// When no thread can be made the copy ends at once as out of memory.
    bool start(recovery::FileRecovery& recovery, std::function<void(recovery::FileRecovery&)> copy);
    /// "Stop Saving": the file being written is cut short and nothing more starts.
    void requestStop();
    /// "Skip File": the file being written is cut short; the copy goes on.
    void requestSkip() { m_worker.requestSkip(); }
    /// Waits for the copy to end.
    void wait() { m_worker.wait(); }

    /// Between start and the end of the copy.
    [[nodiscard]] bool working() const { return m_working.load(std::memory_order_acquire); }
    /// Stop was asked during the last copy, or No was the answer to going on after an error.
    [[nodiscard]] bool stopped() const { return m_stopped.load(std::memory_order_acquire); }
    /// The last copy ended because memory ran out.
    [[nodiscard]] bool outOfMemory() const { return m_worker.outOfMemory(); }

    /// The files the copy was asked for (0: not known).
    void setPlannedFiles(std::uint64_t files) { m_plannedFiles = files; }
    [[nodiscard]] std::uint64_t plannedFiles() const { return m_plannedFiles; }
    /// The "Total Files" text for `done` files before the current one: "3 of
    /// 22" when the files asked for are known, else "3".
    [[nodiscard]] std::string totalText(std::uint32_t done) const;

    /// What was reported since the last call.
    [[nodiscard]] RecoveryProgress takeProgress();

private:
    // RecoveryObserver, called on the worker thread.
    void path(const std::string& text) override;
    void fileName(const std::string& name) override;
    void totalFiles(std::uint32_t count) override;
    void fileProgress(std::uint32_t position) override;
    bool continueAfterError(const std::string& message) override;

    template <typename Change> void record(Change change);

    RecoveryJobObserver& m_observer;
    catalogue::RecoveryControl m_control;
    std::atomic<bool> m_working{false};
    std::atomic<bool> m_stopped{false};
    std::uint64_t m_plannedFiles = 0;
    ProgressMailbox<RecoveryProgress> m_progress;
    /// Last: its destructor stops and joins the worker before the rest goes.
    recovery::SaveWorker m_worker;
};

} // namespace sarvik::session
