// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// After a quick scan: the sample of free space (scan::SampleFreeSpace) on a
// worker thread that this object owns (its destructor marks it abandoned and
// joins it), so that a front end opens its results at once and a slow device
// never holds it. A sample cancelled or started anew is told apart from the
// one in force by a generation number, so that its late end report is ignored.

#include "catalogue/ScanObserver.h"
#include "scan/FreeSpaceSample.h"

#include <cstdint>
#include <string>
#include <thread>

namespace sarvik::scan {
class ScanSession;
}

namespace sarvik::session {

/// Called on the worker thread (or, when no thread can be had, on the caller's).
class FreeSpaceObserver {
public:
    virtual ~FreeSpaceObserver() = default;
    /// Sample `generation` has ended; the front end calls FreeSpaceJob::ended(generation).
    virtual void sampleEnded(std::uint64_t generation) = 0;
};

class FreeSpaceJob {
public:
    explicit FreeSpaceJob(FreeSpaceObserver& observer) : m_observer(observer) {}
    ~FreeSpaceJob();
    FreeSpaceJob(const FreeSpaceJob&) = delete;
    FreeSpaceJob& operator=(const FreeSpaceJob&) = delete;

    /// Samples the free space of `session` on a new thread, after cancelling a
    /// sample still running. Nobody may change the session until the sample
    /// has ended or cancel() has returned.
    void start(const scan::ScanSession& session);
    /// Ends a running sample at its next read and waits for the worker; its
    /// end report is then never taken.
    void cancel();
    [[nodiscard]] bool running() const { return m_thread.joinable(); }
    /// For the end report of sample `generation`: true, with the worker
    /// joined, when that sample is the one in force.
    bool ended(std::uint64_t generation);
    /// What the last sample found; read it after ended() said true.
    [[nodiscard]] const scan::FreeSpaceSample& sample() const { return m_sample; }

private:
    FreeSpaceObserver& m_observer;
    catalogue::ScanControl m_control;
    std::thread m_thread;
    scan::FreeSpaceSample m_sample;
    std::uint64_t m_generation = 0;
};

/// Whether the deep search can run on what `session` holds: a volume of an
/// engine's that can be read, scanned with the thorough rules (whose
/// catalogue keeps UTF-8 names), free space not searched yet.
[[nodiscard]] bool deepSearchPossible(const scan::ScanSession& session);

/// The strip's offer after a sample that found data no entry names ("... .
/// Deep Search reads it: ..."); empty when there is nothing to offer.
[[nodiscard]] std::string deepSearchOffer(const scan::FreeSpaceSample& sample);

} // namespace sarvik::session
