// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/FreeSpaceCheck.h"

#include "scan/ScanSession.h"

#include <QMetaObject>

namespace sarvik::app {

FreeSpaceCheck::FreeSpaceCheck(QObject* parent) : QObject(parent), m_job(*this) {}

// The job's destructor marks the sample abandoned and joins its worker.
FreeSpaceCheck::~FreeSpaceCheck() = default;

void FreeSpaceCheck::sampleEnded(std::uint64_t generation)
{
    QMetaObject::invokeMethod(
        this, [this, generation] { complete(generation); }, Qt::QueuedConnection);
}

void FreeSpaceCheck::complete(std::uint64_t generation)
{
    if (m_job.ended(generation))
        emit finished();
}

} // namespace sarvik::app
