// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/DeepSearchJob.h"

#include "session/DeepSearchOutcome.h"

#include <algorithm>

namespace sarvik::session {

DeepSearchJob::DeepSearchJob(DeepSearchObserver& observer)
    : m_observer(observer), m_sampleRelay(observer), m_sample(m_sampleRelay)
{
    newSearchJob();
}

DeepSearchJob::~DeepSearchJob()
{
    // The sample reads the page's session, the search m_found: both workers
    // are joined before either may go.
    m_sample.cancel();
    m_search.reset();
}

void DeepSearchJob::newSearchJob()
{
    // The old job's destructor ends and joins its worker; a late report of it
    // carries the old number and is ignored.
    m_search.reset();
    m_relay = std::make_unique<Relay>(m_observer, ++m_searchNumber);
    m_search = std::make_unique<ScanJob>(*m_relay);
}

bool DeepSearchJob::available(const scan::ScanSession& shown) const
{
    return m_onResults && !running() && deepSearchPossible(shown);
}

DeepSearchJob::Opening DeepSearchJob::resultsShown(const scan::ScanSession& shown, Opening wanted, bool showExisting)
{
    m_onResults = true;
    if (!available(shown))
        return Opening::Nothing;
    if (wanted == Opening::Search)
        return start(shown, showExisting) ? Opening::Search : Opening::Nothing;
    if (wanted == Opening::Sample)
        m_sample.start(shown);
    return wanted;
}

void DeepSearchJob::resultsLeft()
{
    m_onResults = false;
    m_sample.cancel();
    // What a search of the page that goes would find belongs to no page.
    if (m_search->running())
        newSearchJob();
    m_found.reset();
    m_partial.reset();
    m_ended = false;
    m_renamed.clear();
}

bool DeepSearchJob::start(const scan::ScanSession& shown, bool showExisting)
{
    if (!available(shown))
        return false;
    m_sample.cancel(); // its offer is moot now
    m_found = std::make_unique<scan::ScanSession>();
    // The same device: its source is shared, and every platform source reads
    // at an offset (pread, ReadFile with an offset) so two threads may read it.
    m_found->volume = shown.volume;
    const ListSizes base = listSizes(shown);
    m_baseFolders = base.folders;
    m_baseFiles = base.files;
    m_partial.reset();
    return m_search->start(*m_found, scan::ScanOptions{true, true, true, showExisting}, true);
}

void DeepSearchJob::requestStop()
{
    // A Stop that comes between two passes is kept by the job's stop flag
    // until the next pass sees it.
    m_search->requestStop();
}

void DeepSearchJob::stopReading()
{
    m_sample.cancel();
    m_search->requestStop();
}

void DeepSearchJob::abandon()
{
    m_onResults = false;
    m_search->requestStop();
    m_sample.cancel();
}

bool DeepSearchJob::sampleEnded(std::uint64_t generation)
{
    return m_sample.ended(generation) && m_onResults && !running();
}

void DeepSearchJob::partialArrived(std::uint64_t search)
{
    if (search != m_searchNumber)
        return;
    std::unique_ptr<scan::ScanSession> partial = m_search->takePartial();
    if (partial && m_onResults && !m_ended)
        m_partial = std::move(partial); // a newer copy replaces one the page has not taken
}

bool DeepSearchJob::searchEnded(std::uint64_t search)
{
    if (search != m_searchNumber)
        return false;
    m_search->finish();
    m_partial.reset(); // what the search ended with holds more
    if (!m_found || !m_onResults) {
        m_found.reset();
        return true;
    }
    m_ended = true;
    return true;
}

DeepSearchTake DeepSearchJob::take(const scan::ScanSession& shown)
{
    DeepSearchTake taken;
    if (m_sample.running())
        return taken;
    taken.baseFolders = m_baseFolders;
    taken.baseFiles = m_baseFiles;
    if (m_ended) {
        m_ended = false;
        taken.stopped = m_search->result().Stopped;
        std::unique_ptr<scan::ScanSession> found = std::move(m_found);
        // The search scans the volume again before it reads free space;
        // stopped in that part, it holds less than the page shows, and the
        // page keeps its own.
        if (!found || !holdsAtLeast(*found, shown, false)) {
            taken.kind = DeepSearchTake::Kind::FoundLess;
            return taken;
        }
        applyRenames(*found);
        taken.kind = DeepSearchTake::Kind::Final;
        taken.found = std::move(found);
        return taken;
    }
    std::unique_ptr<scan::ScanSession> partial = std::move(m_partial);
    // Nothing new, or less than the page shows (the volume changed; the end
    // of the search says so): the page stays as it is.
    if (!partial || !holdsAtLeast(*partial, shown, true))
        return taken;
    applyRenames(*partial);
    taken.kind = DeepSearchTake::Kind::Partial;
    taken.found = std::move(partial);
    return taken;
}

void DeepSearchJob::noteRename(const RenamedEntry& renamed)
{
    // A later rename of the same entry replaces the earlier one.
    std::erase_if(m_renamed, [&renamed](const RenamedEntry& old) { return old.sameEntry(renamed); });
    m_renamed.push_back(renamed);
}

void DeepSearchJob::applyRenames(scan::ScanSession& found) const
{
    for (const RenamedEntry& r : m_renamed)
        applyRename(found, r);
}

} // namespace sarvik::session
