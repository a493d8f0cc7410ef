#pragma once
// How an engine reports while it runs. The GUI forwards these to its widgets on
// the main thread; the CLI draws a progress bar; tests record them. Every call
// has an empty default so an observer overrides only what it shows.

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
    /// Progress position, 0 to 100 (values above 100 are shown as 100).
    virtual void progress(std::uint32_t /*position*/) {}
    /// The Stop button is offered (true) or withdrawn (false).
    virtual void stopAvailable(bool /*available*/) {}
};

/// Stop request shared by the thread that asks and the worker that polls it.
/// Engines only read it; a StopPass clears it.
struct ScanControl {
    std::atomic<int> ScanStopFlag{0};
    /// Set by an owner that is going away (a window closing): unlike ScanStopFlag,
    /// no pass clears it, so every pass that is still to come ends at once.
    std::atomic<bool> Abandoned{false};
    [[nodiscard]] bool stopRequested() const noexcept
    {
        return ScanStopFlag.load(std::memory_order_relaxed) == 1 || Abandoned.load(std::memory_order_relaxed);
    }
};

/// One stoppable pass of a scan (a directory walk, the MFT walk, attaching lost
/// folders). A stop asked during a pass ends that pass only: the pass starts and
/// ends with the request cleared, so the passes after it (placing what was found
/// in the tree) still run, and a stop asked again ends those. The one place the
/// stop flag is cleared.
class StopPass {
public:
    explicit StopPass(ScanControl& control) noexcept : m_control(control) { clear(); }
    ~StopPass() { clear(); }
    StopPass(const StopPass&) = delete;
    StopPass& operator=(const StopPass&) = delete;

private:
    void clear() noexcept { m_control.ScanStopFlag.store(0, std::memory_order_relaxed); }
    ScanControl& m_control;
};

} // namespace sarvik::catalogue
