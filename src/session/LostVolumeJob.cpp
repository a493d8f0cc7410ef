// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/LostVolumeJob.h"

#include <algorithm>

namespace sarvik::session {

LostVolumeJob::~LostVolumeJob()
{
    m_control.Abandoned.store(true);
    if (m_thread.joinable())
        m_thread.join();
}

bool LostVolumeJob::start(Opener open)
{
    if (m_thread.joinable())
        return false;
    m_findings = {};
    m_stopAsked = false;
    {
        std::lock_guard lock(m_mutex);
        m_progress = {};
        m_told = false;
    }
    m_control.reset();
    m_thread = std::thread([this, open = std::move(open)] {
        std::string error;
        if (const std::shared_ptr<const disk::BlockSource> disk = open(error))
            m_findings.found = disk::FindLostVolumes(*disk, disk::LostVolumeSearch::Deep, *this, m_control,
                                                     &m_findings.unreadableSectors);
        else
            m_findings.error = error;
        m_observer.searchEnded();
    });
    return true;
}

void LostVolumeJob::requestStop()
{
    if (!m_thread.joinable())
        return;
    m_control.requestStop();
    m_stopAsked = true;
}

void LostVolumeJob::finish()
{
    if (m_thread.joinable())
        m_thread.join();
    m_findings.stopped = m_stopAsked;
}

LostVolumeProgress LostVolumeJob::takeProgress()
{
    std::lock_guard lock(m_mutex);
    m_told = false;
    return m_progress;
}

void LostVolumeJob::tell()
{
    bool first = false;
    {
        std::lock_guard lock(m_mutex);
        first = !m_told;
        m_told = true;
    }
    if (first)
        m_observer.progressWaiting();
}

void LostVolumeJob::status(const std::string& text)
{
    {
        std::lock_guard lock(m_mutex);
        m_progress.status = text;
        m_progress.statusCode.reset();
    }
    tell();
}

void LostVolumeJob::report(const catalogue::StatusReport& what)
{
    {
        std::lock_guard lock(m_mutex);
        m_progress.status = catalogue::statusEnglish(what);
        m_progress.statusCode = what;
    }
    tell();
}

void LostVolumeJob::progress(std::uint32_t position)
{
    const int percent = static_cast<int>(std::min<std::uint32_t>(position, 100));
    {
        std::lock_guard lock(m_mutex);
        if (percent == m_progress.percent)
            return; // one report per change of the percentage
        m_progress.percent = percent;
    }
    tell();
}

} // namespace sarvik::session
