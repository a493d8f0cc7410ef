// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A session::FreeSpaceJob for the results page: the sample of free space after
// a quick scan, whose end the job's worker tells this object and which it
// hands to the main thread as a queued call. The job owns the thread and
// stops and joins it when it goes away.

#include "session/FreeSpaceJob.h"

#include <QObject>

#include <cstdint>

namespace sarvik::scan {
class ScanSession;
}

namespace sarvik::app {

class FreeSpaceCheck : public QObject, private session::FreeSpaceObserver {
    Q_OBJECT
public:
    explicit FreeSpaceCheck(QObject* parent = nullptr);
    ~FreeSpaceCheck() override;
    FreeSpaceCheck(const FreeSpaceCheck&) = delete;
    FreeSpaceCheck& operator=(const FreeSpaceCheck&) = delete;

    /// Samples the free space of `session` on a new thread (after cancelling a
    /// sample still running). Nobody may change the session until `finished`
    /// is emitted or cancel() has returned.
    void start(const scan::ScanSession& session) { m_job.start(session); }
    /// Ends a running sample at its next read and waits for the worker; its
    /// `finished` is then never emitted.
    void cancel() { m_job.cancel(); }
    [[nodiscard]] bool running() const { return m_job.running(); }
    /// What the last sample found; read it after `finished`.
    [[nodiscard]] const scan::FreeSpaceSample& sample() const { return m_job.sample(); }

signals:
    /// The sample has ended and the thread has been joined.
    void finished();

private:
    // FreeSpaceObserver, called on the worker thread.
    void sampleEnded(std::uint64_t generation) override;
    void complete(std::uint64_t generation);

    session::FreeSpaceJob m_job;
};

} // namespace sarvik::app
