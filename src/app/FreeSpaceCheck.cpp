#include "app/FreeSpaceCheck.h"

#include "scan/ScanSession.h"

#include <QMetaObject>

#include <new>
#include <system_error>

namespace sarvik::app {

FreeSpaceCheck::FreeSpaceCheck(QObject* parent) : QObject(parent) {}

FreeSpaceCheck::~FreeSpaceCheck()
{
    if (m_thread.joinable()) {
        m_control.Abandoned = true;
        m_thread.join();
    }
}

void FreeSpaceCheck::start(const scan::ScanSession& session)
{
    cancel();
    m_sample = {};
    m_control.reset();
    const std::uint64_t generation = ++m_generation;
    try {
        m_thread = std::thread([this, &session, generation] {
            // Read on the main thread only after the join in complete().
            try {
                m_sample = scan::SampleFreeSpace(session, &m_control);
            } catch (const std::bad_alloc&) {
                m_sample = {}; // a sample is a hint: without memory for it, no hint
            }
            QMetaObject::invokeMethod(
                this, [this, generation] { complete(generation); }, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        // No thread to be had: no hint, as when memory runs out.
        QMetaObject::invokeMethod(
            this, [this, generation] { complete(generation); }, Qt::QueuedConnection);
    }
}

void FreeSpaceCheck::cancel()
{
    if (!m_thread.joinable())
        return;
    m_control.requestStop();
    m_thread.join();
    ++m_generation; // its queued completion is stale now
}

void FreeSpaceCheck::complete(std::uint64_t generation)
{
    if (generation != m_generation)
        return;
    if (m_thread.joinable())
        m_thread.join();
    emit finished();
}

} // namespace sarvik::app
