#include "app/ScanRunner.h"

#include "scan/ScanSession.h"

#include <QMetaObject>

#include <new>
#include <system_error>

namespace sarvik::app {

ScanRunner::ScanRunner(QObject* parent) : QObject(parent) {}

ScanRunner::~ScanRunner()
{
    if (m_thread.joinable()) {
        m_control.Abandoned = true;
        m_thread.join();
    }
}

void ScanRunner::start(scan::ScanSession& session, scan::ScanOptions options)
{
    if (m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_report = ScanReport{};
        m_deliveryQueued = false;
    }
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
