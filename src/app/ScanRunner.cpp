// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ScanRunner.h"

#include "scan/ScanSession.h"

#include <QMetaObject>

namespace sarvik::app {

ScanRunner::ScanRunner(QObject* parent) : QObject(parent), m_job(*this) {}

// The job's destructor marks the scan abandoned and joins its worker.
ScanRunner::~ScanRunner() = default;

void ScanRunner::start(scan::ScanSession& session, scan::ScanOptions options, bool partialResults)
{
    m_job.start(session, options, partialResults);
}

void ScanRunner::progressWaiting()
{
    QMetaObject::invokeMethod(this, &ScanRunner::deliver, Qt::QueuedConnection);
}

void ScanRunner::partialWaiting()
{
    QMetaObject::invokeMethod(this, &ScanRunner::partialReady, Qt::QueuedConnection);
}

void ScanRunner::scanEnded()
{
    QMetaObject::invokeMethod(this, &ScanRunner::complete, Qt::QueuedConnection);
}

void ScanRunner::deliver()
{
    emit reported(m_job.takeProgress());
}

void ScanRunner::complete()
{
    m_job.finish();
    deliver();
    emit finished();
}

} // namespace sarvik::app
