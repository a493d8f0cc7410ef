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
/// Engines only read it; a StopPass clears ScanStopFlag at its end, and the
/// job's owner clears both flags once before a scan starts.
struct ScanControl {
    std::atomic<int> ScanStopFlag{0};
    /// Set by an owner that is going away (a window closing): unlike ScanStopFlag,
    /// no pass clears it, so every pass that is still to come ends at once.
    std::atomic<bool> Abandoned{false};
    /// Set with every stop request and cleared by no pass: the passes over free
    /// space that follow the quick scan do not start once any pass was stopped,
    /// so that a stop ends the whole scan whichever pass it lands in.
    std::atomic<bool> JobStopped{false};

    /// What the Stop button, Ctrl-C and a closing window ask: the pass running
    /// ends, the passes that place what was found still run, and no pass over
    /// free space starts.
    void requestStop() noexcept
    {
        JobStopped.store(true, std::memory_order_relaxed);
        ScanStopFlag.store(1, std::memory_order_relaxed);
    }
    /// For the owner, before a new scan: no request of an earlier one is left.
    void reset() noexcept
    {
        ScanStopFlag.store(0, std::memory_order_relaxed);
        JobStopped.store(false, std::memory_order_relaxed);
    }
    [[nodiscard]] bool stopRequested() const noexcept
    {
        return ScanStopFlag.load(std::memory_order_relaxed) == 1 || Abandoned.load(std::memory_order_relaxed);
    }
    /// True once a stop was asked anywhere in this scan (or the owner went away).
    [[nodiscard]] bool jobStopped() const noexcept
    {
        return JobStopped.load(std::memory_order_relaxed) || Abandoned.load(std::memory_order_relaxed);
    }
};

/// One stoppable pass of a scan (a directory walk, the MFT walk, attaching lost
/// folders). A stop asked during a pass ends that pass only: the pass ends with
/// the request cleared, so the passes after it (placing what was found in the
/// tree) still run, and a stop asked again ends those. A request that arrives
/// between two passes is kept for the next one, never cleared unseen. The one
/// place within a scan the stop flag is cleared.
class StopPass {
public:
    explicit StopPass(ScanControl& control) noexcept : m_control(control) {}
    ~StopPass() { m_control.ScanStopFlag.store(0, std::memory_order_relaxed); }
    StopPass(const StopPass&) = delete;
    StopPass& operator=(const StopPass&) = delete;

private:
    ScanControl& m_control;
};

} // namespace sarvik::catalogue
