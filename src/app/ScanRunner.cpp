#include "app/ScanRunner.h"

#include "scan/ScanSession.h"

#include <QMetaObject>

#include <algorithm>
#include <new>
#include <system_error>

namespace sarvik::app {

namespace {

/// The least time between two copies of a scan's results.
constexpr std::chrono::seconds kPartialGap{2};

} // namespace

ScanRunner::ScanRunner(QObject* parent) : QObject(parent) {}

ScanRunner::~ScanRunner()
{
    if (m_thread.joinable()) {
        m_control.Abandoned = true;
        m_thread.join();
    }
}

void ScanRunner::start(scan::ScanSession& session, scan::ScanOptions options, bool partialResults)
{
    if (m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_report = ScanReport{};
        m_deliveryQueued = false;
        m_partial.reset();
    }
    m_session = &session;
    m_partialResults = partialResults;
    m_nextPartial = {}; // the first whole result is shown at once
    m_result = {};
    m_outOfMemory = false;
    m_control.reset(); // a Stop answered after the last scan ended is not this one's
    try {
        m_thread = std::thread([this, &session, options] {
            // Both are read on the main thread only after the join in complete().
            try {
                m_result = scan::RunScan(session, *this, m_control, options);
            } catch (const std::bad_alloc&) {
                m_outOfMemory = true;
            }
            QMetaObject::invokeMethod(this, &ScanRunner::complete, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        m_outOfMemory = true; // no thread to be had: as when memory runs out
        QMetaObject::invokeMethod(this, &ScanRunner::complete, Qt::QueuedConnection);
    }
}

void ScanRunner::requestStop()
{
    if (m_thread.joinable())
        m_control.requestStop();
}

template <typename Change> void ScanRunner::record(Change change)
{
    bool queue = false;
    {
        std::lock_guard lock(m_mutex);
        change(m_report);
        if (!m_deliveryQueued) {
            m_deliveryQueued = true;
            queue = true;
        }
    }
    // One delivery in flight at a time: reports that arrive before the main
    // thread gets to it are folded into the same delivery.
    if (queue)
        QMetaObject::invokeMethod(this, &ScanRunner::deliver, Qt::QueuedConnection);
}

void ScanRunner::deliver()
{
    ScanReport copy;
    {
        std::lock_guard lock(m_mutex);
        m_deliveryQueued = false;
        copy = m_report;
    }
    emit reported(copy);
}

void ScanRunner::complete()
{
    if (m_thread.joinable())
        m_thread.join();
    deliver();
    emit finished();
}

std::unique_ptr<scan::ScanSession> ScanRunner::takePartial()
{
    std::lock_guard lock(m_mutex);
    return std::move(m_partial);
}

void ScanRunner::settled()
{
    if (!m_partialResults)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now < m_nextPartial)
        return;
    std::unique_ptr<scan::ScanSession> copy;
    try {
        copy = std::make_unique<scan::ScanSession>();
        copy->volume = m_session->volume;
        copy->catalogue = m_session->catalogue;
        copy->mftRuns = m_session->mftRuns;
        copy->buildTree();
    } catch (const std::bad_alloc&) {
        m_partialResults = false; // the scan goes on; its end shows what it found
        return;
    }
    // The copy takes the scan's time: at most a tenth of it, and one every two seconds at most.
    const auto cost = std::chrono::steady_clock::now() - now;
    m_nextPartial = now + std::max<std::chrono::steady_clock::duration>(kPartialGap, cost * 10);
    bool queue = false;
    {
        std::lock_guard lock(m_mutex);
        // A copy not taken yet is replaced; its delivery is still queued.
        queue = m_partial == nullptr;
        m_partial = std::move(copy);
    }
    if (queue)
        QMetaObject::invokeMethod(this, &ScanRunner::partialReady, Qt::QueuedConnection);
}

void ScanRunner::foldersFound(std::uint32_t count)
{
    record([count](ScanReport& r) { r.folders = count, r.hasFolders = true; });
}
void ScanRunner::filesFound(std::uint32_t count)
{
    record([count](ScanReport& r) { r.files = count, r.hasFiles = true; });
}
void ScanRunner::currentSector(std::uint64_t sector)
{
    record([sector](ScanReport& r) { r.sector = sector, r.hasSector = true; });
}
void ScanRunner::lastItem(const std::string& name)
{
    record([&name](ScanReport& r) { r.lastItem = name, r.hasLastItem = true; });
}
void ScanRunner::status(const std::string& text)
{
    record([&text](ScanReport& r) { r.status = text, r.hasStatus = true; });
}
void ScanRunner::progress(std::uint32_t position)
{
    record([position](ScanReport& r) { r.progress = position, r.hasProgress = true; });
}
void ScanRunner::stopAvailable(bool available)
{
    record([available](ScanReport& r) { r.stopAvailable = available, r.hasStop = true; });
}

} // namespace sarvik::app
