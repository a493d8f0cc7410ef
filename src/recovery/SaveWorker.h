// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs a copy of found files on a worker thread, without any widget. The
// thread that owns the worker asks for a stop or a skip through atomic flags,
// which the copy polls before every block, file and folder. The destructor asks
// for a stop and joins: a worker is never killed.

#include "catalogue/RecoveryControl.h"

#include <atomic>
#include <functional>
#include <thread>

namespace sarvik::recovery {

/// Said when the system refuses the process another thread (its limit of
/// threads or processes is reached), which no amount of free memory mends.
inline constexpr const char* kNoThreadMessage =
    "could not start a worker thread: the process's thread limit is reached";

class FileRecovery;

class SaveWorker {
public:
    explicit SaveWorker(catalogue::RecoveryControl& control) : m_control(control) {}
    ~SaveWorker();
    SaveWorker(const SaveWorker&) = delete;
    SaveWorker& operator=(const SaveWorker&) = delete;

    /// Starts the copy: clears StopRecovery and the file count, runs `copy`,
    /// clears them again and then calls `finished` (on the worker thread). A
    /// worker runs one copy at a time; starting while one runs is refused.
    /// When no thread can be made, the copy ends at once as out of memory
    /// (`finished` is then called on this thread).
    bool start(FileRecovery& recovery, std::function<void(FileRecovery&)> copy, std::function<void()> finished = {});

    /// "Stop Saving": the file being written is cut short and nothing more starts.
    void requestStop() noexcept { m_control.StopRecovery.store(1, std::memory_order_relaxed); }
    /// "Skip File": the file being written is cut short; the copy goes on.
    void requestSkip() noexcept { m_control.SkipFile.store(1, std::memory_order_relaxed); }

    /// True once the copy has ended (the SaveDone of the saving dialog).
    [[nodiscard]] bool done() const noexcept { return m_done.load(std::memory_order_acquire); }
    /// Waits for the copy to end.
    void wait();
    /// True when the copy ended because memory ran out (it then ended early).
    [[nodiscard]] bool outOfMemory() const noexcept { return m_outOfMemory.load(std::memory_order_acquire); }
    /// True when the copy never ran because the system gave no thread for it
    /// (outOfMemory() is then true too).
    [[nodiscard]] bool noThread() const noexcept { return m_noThread.load(std::memory_order_acquire); }

private:
    catalogue::RecoveryControl& m_control;
    std::thread m_thread;
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_outOfMemory{false};
    std::atomic<bool> m_noThread{false};
};

} // namespace sarvik::recovery
