// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/FindJob.h"

namespace sarvik::session {

FindJob::FindJob(const catalogue::Catalogue& catalogue, const catalogue::FolderTree& tree,
                 catalogue::CatalogueKind kind, FindObserver& observer)
    : m_catalogue(catalogue), m_tree(tree), m_kind(kind), m_observer(observer)
{
}

FindJob::~FindJob()
{
    if (m_control)
        m_control->stop();
    join();
}

void FindJob::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

bool FindJob::start(const std::string& pattern)
{
    if (running())
        return false;
    {
        std::lock_guard lock(m_mutex);
        m_pending.clear();
        m_told = false;
    }
    const unsigned generation = ++m_generation;
    m_control = std::make_unique<search::SearchControl>();
    search::SearchControl* control = m_control.get();
    m_thread = std::thread([this, control, pattern, generation] {
        search::FindFiles(m_catalogue, m_tree, m_kind, pattern, *control, [this](const search::SearchMatch& m) {
            bool tell = false;
            {
                std::lock_guard lock(m_mutex);
                m_pending.push_back(m);
                tell = !m_told;
                m_told = true;
            }
            // One call for a burst of matches: the front end takes them all at once.
            if (tell)
                m_observer.matchesWaiting();
        });
        m_observer.walkEnded(generation);
    });
    return true;
}

void FindJob::pause()
{
    if (m_control)
        m_control->pause();
}

void FindJob::resume()
{
    if (m_control)
        m_control->resume();
}

void FindJob::drop()
{
    if (!running())
        return;
    m_control->stop();
    join();
    ++m_generation; // its end report, on its way, is no longer ours
    std::lock_guard lock(m_mutex);
    m_pending.clear();
    m_told = false;
}

void FindJob::stop()
{
    if (!running())
        return;
    m_control->stop();
    join();
    ++m_generation;
}

bool FindJob::walkEnded(unsigned generation)
{
    if (generation != m_generation)
        return false;
    join();
    return true;
}

std::vector<search::SearchMatch> FindJob::takeMatches()
{
    std::lock_guard lock(m_mutex);
    m_told = false;
    std::vector<search::SearchMatch> out;
    out.swap(m_pending);
    return out;
}

} // namespace sarvik::session
