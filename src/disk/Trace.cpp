// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/Trace.h"

#include <atomic>
#include <mutex>
#include <utility>

namespace sarvik::disk {

namespace {

struct TraceState {
    std::mutex mutex;
    TraceSink sink;
    std::atomic<bool> on{false};
};

TraceState& state()
{
    static TraceState traceState;
    return traceState;
}

} // namespace

void setTraceSink(TraceSink sink)
{
    TraceState& s = state();
    const std::lock_guard lock(s.mutex);
    s.on.store(static_cast<bool>(sink), std::memory_order_release);
    s.sink = std::move(sink);
}

bool tracing() noexcept
{
    return state().on.load(std::memory_order_acquire);
}

void trace(std::string_view line)
{
    TraceState& s = state();
    if (!s.on.load(std::memory_order_acquire))
        return;
    // One line at a time: lines of two threads never interleave.
    const std::lock_guard lock(s.mutex);
    if (s.sink)
        s.sink(line);
}

} // namespace sarvik::disk
