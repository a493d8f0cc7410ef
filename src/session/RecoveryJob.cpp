// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/RecoveryJob.h"

namespace sarvik::session {

RecoveryJob::~RecoveryJob()
{
    m_worker.requestStop();
    m_worker.wait();
}

bool RecoveryJob::start(recovery::FileRecovery& recovery, std::function<void(recovery::FileRecovery&)> copy)
{
    if (working())
        return false;
    m_stopped = false;
    m_progress.reset();
    m_working = true;
    const bool started = m_worker.start(recovery, std::move(copy), [this] {
        m_working = false;
        m_observer.copyEnded();
    });
    if (!started)
        m_working = false;
    return started;
}

void RecoveryJob::requestStop()
{
    m_stopped = true;
    m_worker.requestStop();
}

std::string RecoveryJob::totalText(std::uint32_t done) const
{
    if (m_plannedFiles == 0)
        return std::to_string(done);
    return std::to_string(done) + " of " + std::to_string(m_plannedFiles);
}

RecoveryProgress RecoveryJob::takeProgress()
{
    return m_progress.take(
        [](RecoveryProgress& kept) { kept.hasPath = kept.hasFileName = kept.hasTotal = kept.hasProgress = false; });
}

template <typename Change> void RecoveryJob::record(Change change)
{
    // One call for a burst of reports: the front end shows them all at once.
    if (m_progress.record(change))
        m_observer.progressWaiting();
}

void RecoveryJob::path(const std::string& text)
{
    record([&](RecoveryProgress& p) { p.path = text, p.hasPath = true; });
}

void RecoveryJob::fileName(const std::string& name)
{
    record([&](RecoveryProgress& p) { p.fileName = name, p.hasFileName = true; });
}

void RecoveryJob::totalFiles(std::uint32_t count)
{
    record([&](RecoveryProgress& p) { p.totalFiles = count, p.hasTotal = true; });
}

void RecoveryJob::fileProgress(std::uint32_t position)
{
    record([&](RecoveryProgress& p) { p.progress = position, p.hasProgress = true; });
}

bool RecoveryJob::continueAfterError(const std::string& message)
{
    const bool goOn = m_observer.continueAfterError(message);
    if (!goOn)
        m_stopped = true; // No ends the copy as Stop Saving does
    return goOn;
}

} // namespace sarvik::session
