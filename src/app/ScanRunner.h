#pragma once
// Runs a scan on a worker thread. The worker never touches a widget: the engine's
// reports are stored here under a lock and handed to the main thread as one
// queued call at a time, so a burst of reports becomes one repaint. The object
// that owns the thread stops and joins it when it goes away.

#include "catalogue/ScanObserver.h"
#include "scan/ScanSession.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace sarvik::scan {
class ScanSession;
}

namespace sarvik::app {

/// The latest values an engine reported; `has*` tells which have been reported
/// since the scan started.
struct ScanReport {
    std::uint32_t folders = 0;
    std::uint32_t files = 0;
    std::uint64_t sector = 0;
    std::string lastItem;
    std::string status;
    std::uint32_t progress = 0;
    bool stopAvailable = false;
    bool hasFolders = false, hasFiles = false, hasSector = false, hasLastItem = false, hasStatus = false,
         hasProgress = false, hasStop = false;
};

class ScanRunner : public QObject, private catalogue::ScanObserver {
    Q_OBJECT
public:
    explicit ScanRunner(QObject* parent = nullptr);
    ~ScanRunner() override;

    /// Starts RunScan on `session` on a new thread. The session must outlive the
    /// scan and must not be touched by anyone else until `finished` is emitted.
    /// With `partialResults`, the whole results the engines meet on the way
    /// (catalogue::ScanObserver::settled) are copied now and then, on the
    /// worker, and announced by `partialReady`.
    void start(scan::ScanSession& session, scan::ScanOptions options = {}, bool partialResults = false);
    /// The newest copy `partialReady` announced, with its tree built; null when
    /// it was taken already. For the main thread.
    [[nodiscard]] std::unique_ptr<scan::ScanSession> takePartial();
    /// Asks the running scan to end at its next check.
    void requestStop();
    [[nodiscard]] bool running() const { return m_thread.joinable(); }
    /// What the last scan could not read and whether it was stopped; read it after `finished`.
    [[nodiscard]] const scan::ScanResult& result() const { return m_result; }
    /// True when the last scan ended because memory ran out; read it after `finished`.
    [[nodiscard]] bool outOfMemory() const { return m_outOfMemory; }

signals:
    /// The engine reported; `report` holds the latest of every value.
    void reported(const sarvik::app::ScanReport& report);
    /// The engine and the tree build have ended and the thread has been joined.
    void finished();
    /// A copy of what the scan holds so far waits in takePartial().
    void partialReady();

private:
    void foldersFound(std::uint32_t count) override;
    void filesFound(std::uint32_t count) override;
    void currentSector(std::uint64_t sector) override;
    void lastItem(const std::string& name) override;
    void status(const std::string& text) override;
    void progress(std::uint32_t position) override;
    void stopAvailable(bool available) override;
    void settled() override;

    template <typename Change> void record(Change change);
    void deliver();
    void complete();

    catalogue::ScanControl m_control;
    std::thread m_thread;
    std::mutex m_mutex;
    ScanReport m_report;
    bool m_deliveryQueued = false;
    scan::ScanResult m_result;
    bool m_outOfMemory = false;
    /// The session the worker fills, for settled(); worker thread only.
    scan::ScanSession* m_session = nullptr;
    bool m_partialResults = false;
    std::chrono::steady_clock::time_point m_nextPartial;
    /// The newest copy not yet taken; under m_mutex.
    std::unique_ptr<scan::ScanSession> m_partial;
};

} // namespace sarvik::app
