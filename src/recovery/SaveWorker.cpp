// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/SaveWorker.h"

#include "recovery/FileRecovery.h"

#include <new>
#include <system_error>

namespace sarvik::recovery {

SaveWorker::~SaveWorker()
{
    if (m_thread.joinable()) {
        requestStop();
        m_thread.join();
    }
}

bool SaveWorker::start(FileRecovery& recovery, std::function<void(FileRecovery&)> copy, std::function<void()> finished)
{
    if (m_thread.joinable()) {
        if (!done())
            return false;
        m_thread.join();
    }
    m_done.store(false, std::memory_order_release);
    m_outOfMemory.store(false, std::memory_order_release);
    m_control.StopRecovery.store(0, std::memory_order_relaxed);
    recovery.resetSavedFileCount();
    auto run = [this, &recovery, copy = std::move(copy)] {
        try {
            copy(recovery);
        } catch (const std::bad_alloc&) {
            // Ends the copy, not the program: the owner shows the message.
            m_outOfMemory.store(true, std::memory_order_release);
        }
    };
    auto end = [this, &recovery, finished = std::move(finished)] {
        m_control.StopRecovery.store(0, std::memory_order_relaxed);
        m_control.SkipFile.store(0, std::memory_order_relaxed);
        recovery.resetSavedFileCount();
        m_done.store(true, std::memory_order_release);
        if (finished)
            finished();
    };
    try {
        m_thread = std::thread([run = std::move(run), end]() mutable {
            run();
            end();
        });
    } catch (const std::system_error&) {
        // No thread to be had is memory running out by another name: the copy
        // ends before it starts, as it does when an allocation fails.
        m_outOfMemory.store(true, std::memory_order_release);
        m_noThread.store(true, std::memory_order_release);
        end();
    }
    return true;
}

void SaveWorker::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

} // namespace sarvik::recovery
