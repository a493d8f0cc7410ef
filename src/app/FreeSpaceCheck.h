#pragma once
// After a quick scan: the sample of free space (scan::SampleFreeSpace) on a
// worker, so that the results page opens at once and a slow device never holds
// the window. The object that owns the thread stops and joins it when it goes
// away.

#include "catalogue/ScanObserver.h"
#include "scan/FreeSpaceSample.h"

#include <QObject>

#include <cstdint>
#include <thread>

namespace sarvik::scan {
class ScanSession;
}

namespace sarvik::app {

class FreeSpaceCheck : public QObject {
    Q_OBJECT
public:
    explicit FreeSpaceCheck(QObject* parent = nullptr);
    ~FreeSpaceCheck() override;
    FreeSpaceCheck(const FreeSpaceCheck&) = delete;
    FreeSpaceCheck& operator=(const FreeSpaceCheck&) = delete;

    /// Samples the free space of `session` on a new thread (after cancelling a
    /// sample still running). Nobody may change the session until `finished`
    /// is emitted or cancel() has returned.
    void start(const scan::ScanSession& session);
    /// Ends a running sample at its next read and waits for the worker; its
    /// `finished` is then never emitted.
    void cancel();
    [[nodiscard]] bool running() const { return m_thread.joinable(); }
    /// What the last sample found; read it after `finished`.
    [[nodiscard]] const scan::FreeSpaceSample& sample() const { return m_sample; }

signals:
    /// The sample has ended and the thread has been joined.
    void finished();

private:
    void complete(std::uint64_t generation);

    catalogue::ScanControl m_control;
    std::thread m_thread;
    scan::FreeSpaceSample m_sample;
    /// Counts the samples started and cancelled: a completion queued by a
    /// cancelled sample is recognised and passed over.
    std::uint64_t m_generation = 0;
};

} // namespace sarvik::app
