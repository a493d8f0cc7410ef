// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scan as a front end runs it: scan::RunScan on a worker thread that this
// object owns (its destructor marks the scan abandoned and joins it), the
// latest of every value the engines report kept here under a lock, Stop, the
// time left from the progress so far, and now and then a copy of the whole
// results the engines meet on the way. The worker only tells the observer
// that something waits; the front end takes it on its own thread.

#include "catalogue/ScanObserver.h"
#include "scan/ScanSession.h"
#include "session/ProgressMailbox.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace sarvik::session {

/// The latest values the engines reported; `has*` tells which have been
/// reported since the scan started.
struct ScanProgress {
    std::uint32_t folders = 0;
    std::uint32_t files = 0;
    std::uint64_t sector = 0;
    std::string lastItem;
    std::string status;                                ///< in English
    std::optional<catalogue::StatusReport> statusCode; ///< the same as a code; none when it came as text
    std::uint32_t progress = 0;                        ///< percent
    bool stopAvailable = false;
    bool hasFolders = false, hasFiles = false, hasSector = false, hasLastItem = false, hasStatus = false,
         hasProgress = false, hasStop = false;
};

/// Called on the worker thread; a front end forwards each call to its own thread.
class ScanJobObserver {
public:
    virtual ~ScanJobObserver() = default;
    /// News waits in takeProgress(); not called again until it is taken.
    virtual void progressWaiting() = 0;
    /// A copy of the results so far waits in takePartial(); not called again until it is taken.
    virtual void partialWaiting() = 0;
    /// The engine and the tree build have ended; the front end calls ScanJob::finish().
    virtual void scanEnded() = 0;
};

/// The time a job at `percent` after `elapsed` still needs at the same pace;
/// nothing before the first percent or past the end.
[[nodiscard]] std::optional<std::chrono::seconds> timeLeft(std::chrono::steady_clock::duration elapsed,
                                                           std::uint32_t percent);

/// The status line for an engine's status text: under the thorough rules an
/// NTFS record walk's place in sectors of the MFT ("Reading 2048\\80000")
/// shows in records ("Reading MFT records: 1024 of 40000"); `recordSectors`
/// is the volume's sectors per MFT record (0: the usual 2).
[[nodiscard]] std::string scanStatusText(const std::string& status, bool thorough, bool ntfs,
                                         std::uint64_t recordSectors);

class ScanJob : private catalogue::ScanObserver {
public:
    explicit ScanJob(ScanJobObserver& observer) : m_observer(observer) {}
    ~ScanJob() override;
    ScanJob(const ScanJob&) = delete;
    ScanJob& operator=(const ScanJob&) = delete;

    /// Starts RunScan on `session` on a new thread; false while one runs. The
    /// session must outlive the scan and must not be touched by anyone else
    /// until finish(). With `partialResults`, the whole results the engines
    /// meet on the way are copied now and then, on the worker, into takePartial().
    bool start(scan::ScanSession& session, scan::ScanOptions options = {}, bool partialResults = false);
    /// Asks the running scan to end at its next check; what it found is kept.
    void requestStop();
    [[nodiscard]] bool running() const { return m_thread.joinable(); }
    /// Joins the worker once it has said it ended; result() and outOfMemory() then hold.
    void finish();

    /// The latest values, for the front end's thread.
    [[nodiscard]] ScanProgress takeProgress();
    /// The time left at the pace so far; nothing until the engines report a percent.
    [[nodiscard]] std::optional<std::chrono::seconds> timeLeft() const;
    /// The newest copy of the results, with its tree built; null when taken already.
    [[nodiscard]] std::unique_ptr<scan::ScanSession> takePartial();

    /// What the last scan could not read and whether it was stopped; after finish().
    [[nodiscard]] const scan::ScanResult& result() const { return m_result; }
    /// The last scan ended because memory (or a thread) ran out; after finish().
    [[nodiscard]] bool outOfMemory() const { return m_outOfMemory; }

private:
    void foldersFound(std::uint32_t count) override;
    void filesFound(std::uint32_t count) override;
    void currentSector(std::uint64_t sector) override;
    void lastItem(const std::string& name) override;
    void status(const std::string& text) override;
    void report(const catalogue::StatusReport& what) override;
    void progress(std::uint32_t position) override;
    void stopAvailable(bool available) override;
    void settled() override;

    template <typename Change> void record(Change change);

    ScanJobObserver& m_observer;
    catalogue::ScanControl m_control;
    std::thread m_thread;
    ProgressMailbox<ScanProgress> m_progress;
    std::chrono::steady_clock::time_point m_started;
    scan::ScanResult m_result;
    bool m_outOfMemory = false;
    /// The session the worker fills, for settled(); worker thread only.
    scan::ScanSession* m_session = nullptr;
    bool m_partialResults = false;
    std::chrono::steady_clock::time_point m_nextPartial;
    std::mutex m_partialMutex;
    /// The newest copy not yet taken; under m_partialMutex.
    std::unique_ptr<scan::ScanSession> m_partial;
};

} // namespace sarvik::session
