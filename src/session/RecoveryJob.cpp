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
    {
        std::lock_guard lock(m_mutex);
        m_progress = RecoveryProgress{};
        m_told = false;
    }
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
    std::lock_guard lock(m_mutex);
    RecoveryProgress taken = m_progress;
    m_progress.hasPath = m_progress.hasFileName = m_progress.hasTotal = m_progress.hasProgress = false;
    m_told = false;
    return taken;
}

template <typename Change> void RecoveryJob::record(Change change)
{
    bool tell = false;
    {
        std::lock_guard lock(m_mutex);
        change(m_progress);
        tell = !m_told;
        m_told = true;
    }
    // One call for a burst of reports: the front end shows them all at once.
    if (tell)
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
