// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The --verbose trace: one line per read of a device or image (where, how
// much, and how it went) and per decision a rule made (what the boot sector
// was taken for, which clusters a copy reads and why), for a user to attach to
// a report of something that went wrong. Nothing is formatted or written
// unless a sink was set.

#include <functional>
#include <string>
#include <string_view>

namespace sarvik::disk {

/// Where trace lines go: called with one line (no newline), from any thread,
/// one call at a time.
using TraceSink = std::function<void(std::string_view line)>;

/// Sets the sink (an empty one turns the trace off). Set before any work
/// starts; lines made while it is being replaced may go to either.
void setTraceSink(TraceSink sink);

/// Whether the trace is on; callers test it before they build a line.
[[nodiscard]] bool tracing() noexcept;

/// Hands `line` to the sink, when there is one.
void trace(std::string_view line);

} // namespace sarvik::disk
