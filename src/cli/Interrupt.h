// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SIGINT (Ctrl-C), SIGTERM and SIGHUP during long work. The first one asks the
// work to stop at its next check, so that it still ends with its summary and a
// whole report; a second one ends the program at once. The exit status then
// says which signal it was, as a shell reports a program that signal killed.

#include "catalogue/RecoveryControl.h"
#include "catalogue/ScanObserver.h"

#include <array>

namespace sarvik::cli {

/// While it lives, the signals stop the scan or the copy it was given.
class StopOnSignals {
public:
    explicit StopOnSignals(catalogue::ScanControl& control);
    explicit StopOnSignals(catalogue::RecoveryControl& control);
    ~StopOnSignals();
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

private:
    void install();
    using Handler = void (*)(int);
    std::array<Handler, 3> m_previous{};
};

/// True once a signal has asked work to stop (it stays so).
[[nodiscard]] bool stoppedBySignal() noexcept;

/// The exit status of work a signal stopped: 128 and the signal's number (130
/// for Ctrl-C, 143 for SIGTERM, 129 for SIGHUP); 130 when none was received.
[[nodiscard]] int interruptedStatus() noexcept;

} // namespace sarvik::cli
