// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A session::ScanJob for the window: the job's worker tells this object that
// reports wait, and each is handed to the main thread as one queued call at a
// time, so a burst of reports becomes one repaint. The job owns the thread and
// stops and joins it when it goes away.

#include "session/ScanJob.h"

#include <QObject>

#include <memory>

namespace sarvik::scan {
class ScanSession;
}

namespace sarvik::app {

/// The latest values an engine reported.
using ScanReport = session::ScanProgress;

class ScanRunner : public QObject, private session::ScanJobObserver {
    Q_OBJECT
public:
    explicit ScanRunner(QObject* parent = nullptr);
    ~ScanRunner() override;

    /// Starts RunScan on `session` on a new thread. The session must outlive the
    /// scan and must not be touched by anyone else until `finished` is emitted.
    /// With `partialResults`, the whole results the engines meet on the way
    /// are copied now and then, on the worker, and announced by `partialReady`.
    void start(scan::ScanSession& session, scan::ScanOptions options = {}, bool partialResults = false);
    /// The newest copy `partialReady` announced, with its tree built; null when
    /// it was taken already. For the main thread.
    [[nodiscard]] std::unique_ptr<scan::ScanSession> takePartial() { return m_job.takePartial(); }
    /// Asks the running scan to end at its next check.
    void requestStop() { m_job.requestStop(); }
    [[nodiscard]] bool running() const { return m_job.running(); }
    /// What the last scan could not read and whether it was stopped; read it after `finished`.
    [[nodiscard]] const scan::ScanResult& result() const { return m_job.result(); }
    /// True when the last scan ended because memory ran out; read it after `finished`.
    [[nodiscard]] bool outOfMemory() const { return m_job.outOfMemory(); }

signals:
    /// The engine reported; `report` holds the latest of every value.
    void reported(const sarvik::app::ScanReport& report);
    /// The engine and the tree build have ended and the thread has been joined.
    void finished();
    /// A copy of what the scan holds so far waits in takePartial().
    void partialReady();

private:
    // ScanJobObserver, called on the worker thread.
    void progressWaiting() override;
    void partialWaiting() override;
    void scanEnded() override;

    void deliver();
    void complete();

    session::ScanJob m_job;
};

} // namespace sarvik::app
