// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How an engine reports while it runs. The GUI forwards these to its widgets on
// the main thread; the CLI draws a progress bar; tests record them. Every call
// has an empty default so an observer overrides only what it shows.

#include "catalogue/StatusReport.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace sarvik::catalogue {

class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    virtual void foldersFound(std::uint32_t /*count*/) {}
    virtual void filesFound(std::uint32_t /*count*/) {}
    virtual void currentSector(std::uint64_t /*sector*/) {}
    /// The name of the last file or folder looked at (8-bit, as read from disk).
    virtual void lastItem(const std::string& /*name*/) {}
    /// The status line ("Reading ...", "Searching For Lost Data", "Creating Directory Tree").
    virtual void status(const std::string& /*text*/) {}
    /// What the engine is doing, as a code; engines report through this. An
    /// observer that words the codes itself overrides it; by default the English
    /// line goes to status().
    virtual void report(const StatusReport& what) { status(statusEnglish(what)); }
    /// Progress position, 0 to 100 (values above 100 are shown as 100).
    virtual void progress(std::uint32_t /*position*/) {}
    /// The Stop button is offered (true) or withdrawn (false).
    virtual void stopAvailable(bool /*available*/) {}
    /// False for an observer that draws a summary now and then (counts, status,
    /// progress) and never the last item's name. An engine may then report
    /// only when its progress moves and once at the end, with the counts exact
    /// then, and leave out the work of naming items it does not list (a file in
    /// use).
    [[nodiscard]] virtual bool followsEachItem() const { return true; }
    /// Called by the thread that fills the catalogue, between two changes, where
    /// what it holds is a whole result: the volume's entries with what the passes
    /// over free space have found so far. An observer on that thread may copy it
    /// then, to show what a long search finds before it ends.
    virtual void settled() {}
};

/// Stop request shared by the thread that asks and the worker that polls it.
/// A request is a state of the whole scan: whoever starts a scan clears it once
/// (reset) before the first pass, and from then on the passes only read it. A
/// request that lands between two passes is seen by every pass after it, so no
/// short pass can use it up. The passes that place what was found (attaching
/// lost folders, the tree build) work on what is in memory and read only
/// Abandoned; every pass that reads the volume ends at a request.
struct ScanControl {
    std::atomic<int> ScanStopFlag{0};
    /// Set by an owner that is going away (a window closing), never cleared:
    /// even the passes that place what was found end at once.
    std::atomic<bool> Abandoned{false};

    /// What the Stop button, Ctrl-C and a closing window ask: the pass running
    /// ends, the passes that place what was found still run, and no pass that
    /// reads the volume starts.
    void requestStop() noexcept { ScanStopFlag.store(1, std::memory_order_relaxed); }
    /// For the owner, once before a new scan: no request of an earlier one is left.
    void reset() noexcept { ScanStopFlag.store(0, std::memory_order_relaxed); }
    /// True once a stop was asked anywhere in this scan (or the owner went away).
    [[nodiscard]] bool stopRequested() const noexcept
    {
        return ScanStopFlag.load(std::memory_order_relaxed) == 1 || Abandoned.load(std::memory_order_relaxed);
    }
    /// True when the owner went away: the end for the passes that place what was found.
    [[nodiscard]] bool abandoned() const noexcept { return Abandoned.load(std::memory_order_relaxed); }
};

} // namespace sarvik::catalogue
