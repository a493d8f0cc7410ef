// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Interrupt.h"

#include "cli/Commands.h"

#include <atomic>
#include <csignal>

namespace sarvik::cli {

namespace {

/// The signals that stop work; SIGHUP is not a signal of every system.
#if defined(SIGHUP)
constexpr std::array<int, 3> kStopSignals{SIGINT, SIGTERM, SIGHUP};
#else
constexpr std::array<int, 3> kStopSignals{SIGINT, SIGTERM, SIGINT};
#endif
/// Exit statuses of a shell for a program a signal ended: 128 and its number.
constexpr int kSignalStatusBase = 128;

std::atomic<catalogue::ScanControl*> g_scan{nullptr};
std::atomic<catalogue::RecoveryControl*> g_copy{nullptr};
std::atomic<int> g_signal{0};

extern "C" void onStopSignal(int signal)
{
    // Only lock-free stores here: the handler may run on any thread at any point.
    int none = 0;
    (void)g_signal.compare_exchange_strong(none, signal);
    if (auto* scan = g_scan.load())
        scan->requestStop();
    if (auto* copy = g_copy.load())
        copy->StopRecovery.store(1, std::memory_order_relaxed);
    std::signal(signal, SIG_DFL); // a second one ends the program at once
}

} // namespace

StopOnSignals::StopOnSignals(catalogue::ScanControl& control)
{
    g_scan.store(&control);
    install();
}

StopOnSignals::StopOnSignals(catalogue::RecoveryControl& control)
{
    g_copy.store(&control);
    install();
}

void StopOnSignals::install()
{
    for (std::size_t i = 0; i < kStopSignals.size(); ++i)
        m_previous[i] = std::signal(kStopSignals[i], onStopSignal);
}

StopOnSignals::~StopOnSignals()
{
    for (std::size_t i = kStopSignals.size(); i-- > 0;)
        std::signal(kStopSignals[i], m_previous[i]);
    g_scan.store(nullptr);
    g_copy.store(nullptr);
}

bool stoppedBySignal() noexcept
{
    return g_signal.load() != 0;
}

int interruptedStatus() noexcept
{
    const int signal = g_signal.load();
    return signal == 0 ? kExitInterrupted : kSignalStatusBase + signal;
}

} // namespace sarvik::cli
