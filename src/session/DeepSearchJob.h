// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The deep search of a results page, as a front end runs it. When the page
// opens on a quick thorough scan of a volume that can be read, a sample of the
// free space runs on a worker (FreeSpaceJob), and the page may offer the
// search when the sample finds data that no entry names. The search runs the
// scan again with the passes over free space (ScanJob), on a worker and a
// session of its own, while the page's session stays browsable. As it goes
// (the lost folders once free space has been read, then the files found by
// their content every few seconds) and when it ends, stopped or not, what it
// holds waits here until the front end says its session is free (no command
// reads it, no box or edit is open) and takes it: the engines fill a catalogue
// that nothing else reads, and what the user browses changes only on the front
// end's thread, at once. Renames the user makes meanwhile are given to what
// the search brings.
//
// Every call but the observer's is made on the front end's thread. The
// observer is called on the workers; it forwards each call, with its number,
// to the front end's thread, which hands it back here.

#include "scan/FreeSpaceSample.h"
#include "scan/ScanSession.h"
#include "session/EntryAccess.h"
#include "session/FreeSpaceJob.h"
#include "session/ScanJob.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace sarvik::session {

/// Called on a worker thread; a front end forwards each call to its own thread.
class DeepSearchObserver {
public:
    virtual ~DeepSearchObserver() = default;
    /// Sample `generation` has ended; the front end calls DeepSearchJob::sampleEnded(generation).
    virtual void sampleEnded(std::uint64_t generation) = 0;
    /// The search's news waits in DeepSearchJob::takeProgress().
    virtual void progressWaiting() = 0;
    /// Search `search` has a copy of its results so far; the front end calls
    /// DeepSearchJob::partialArrived(search).
    virtual void partialWaiting(std::uint64_t search) = 0;
    /// Search `search` has ended; the front end calls DeepSearchJob::searchEnded(search).
    virtual void searchEnded(std::uint64_t search) = 0;
};

/// What the page's session takes from the search (DeepSearchJob::take()).
struct DeepSearchTake {
    enum class Kind {
        Nothing,  ///< nothing waits, or what waited held nothing more than the page
        Partial,  ///< what a running search has found so far
        Final,    ///< what the search ended with
        FoundLess ///< the search ended holding less than the page (stopped before the free space, or the
                  ///< volume changed): the page keeps what it shows
    };
    Kind kind = Kind::Nothing;
    /// Partial and Final: the results, the user's renames given, for the page's session to take.
    std::unique_ptr<scan::ScanSession> found;
    bool stopped = false; ///< Final and FoundLess: the search's Stop ended it
    /// The page's lists' sizes when the search started, for what it added.
    std::size_t baseFolders = 0, baseFiles = 0;
};

class DeepSearchJob {
public:
    explicit DeepSearchJob(DeepSearchObserver& observer);
    /// Stops both workers and joins them.
    ~DeepSearchJob();
    DeepSearchJob(const DeepSearchJob&) = delete;
    DeepSearchJob& operator=(const DeepSearchJob&) = delete;

    /// What a front end asks for when its results page opens.
    enum class Opening {
        Nothing, ///< nothing is read by itself (the user stopped the scan that filled the page)
        Sample,  ///< the sample of free space, for an offer
        Search   ///< the search itself (the settings ask for it every time)
    };
    /// The results page has opened on `shown` (a scan or a snapshot), which
    /// must outlive the sample; `wanted` is read when the search is
    /// available(). Returns what was started.
    Opening resultsShown(const scan::ScanSession& shown, Opening wanted, bool showExisting);
    /// The results page goes (Back, a new scan, a load): the workers are
    /// stopped and joined, and what a search found is dropped.
    void resultsLeft();
    /// Starts the search of the volume of `shown` when available(); `showExisting`:
    /// the files that are not deleted are listed too.
    bool start(const scan::ScanSession& shown, bool showExisting);
    /// The search's Stop: it ends at its next check, and what it found is kept.
    void requestStop();
    /// Ends the sample and a running search, keeping what the search found.
    void stopReading();
    /// The page goes for good (the window closes): both workers are asked to
    /// end, and what the search finds from here on is dropped.
    void abandon();

    /// The search can start on `shown`: on the results page, with the
    /// thorough rules, a volume that can be read, and free space not searched yet.
    [[nodiscard]] bool available(const scan::ScanSession& shown) const;
    /// A search runs, or has ended and what it found waits to be taken.
    [[nodiscard]] bool running() const { return m_search->running() || m_ended; }
    /// The search's worker runs.
    [[nodiscard]] bool reading() const { return m_search->running(); }
    /// The sample of free space runs.
    [[nodiscard]] bool sampling() const { return m_sample.running(); }

    /// For DeepSearchObserver::sampleEnded: true when that sample is the one
    /// in force and its offer still matters; sample() then holds what it found.
    bool sampleEnded(std::uint64_t generation);
    [[nodiscard]] const scan::FreeSpaceSample& sample() const { return m_sample.sample(); }

    /// The search's latest news and the time it still needs.
    [[nodiscard]] ScanProgress takeProgress() { return m_search->takeProgress(); }
    [[nodiscard]] std::optional<std::chrono::seconds> timeLeft() const { return m_search->timeLeft(); }
    /// For DeepSearchObserver::partialWaiting: keeps the newest copy until taken.
    void partialArrived(std::uint64_t search);
    /// For DeepSearchObserver::searchEnded: joins the worker; true when that
    /// search is the one in force (what it found then waits, unless the page has gone).
    bool searchEnded(std::uint64_t search);
    /// The last search ended because memory ran out; after searchEnded().
    [[nodiscard]] bool outOfMemory() const { return m_search->outOfMemory(); }

    /// Something waits for the page's session to be free.
    [[nodiscard]] bool waiting() const { return m_ended || m_partial != nullptr; }
    /// Call only when the page's session `shown` is free: what waits, the
    /// search's end before a copy of the way there. The sample reads `shown`:
    /// nothing is given while it runs.
    [[nodiscard]] DeepSearchTake take(const scan::ScanSession& shown);

    /// The user renamed an entry; what a search brings keeps the name.
    void noteRename(const RenamedEntry& renamed);

private:
    /// One search's worker calls, told apart by the search's number.
    class Relay final : public ScanJobObserver {
    public:
        Relay(DeepSearchObserver& observer, std::uint64_t search) : m_observer(observer), m_search(search) {}

    private:
        void progressWaiting() override { m_observer.progressWaiting(); }
        void partialWaiting() override { m_observer.partialWaiting(m_search); }
        void scanEnded() override { m_observer.searchEnded(m_search); }

        DeepSearchObserver& m_observer;
        std::uint64_t m_search;
    };
    class SampleRelay final : public FreeSpaceObserver {
    public:
        explicit SampleRelay(DeepSearchObserver& observer) : m_observer(observer) {}

    private:
        void sampleEnded(std::uint64_t generation) override { m_observer.sampleEnded(generation); }
        DeepSearchObserver& m_observer;
    };

    void newSearchJob();
    void applyRenames(scan::ScanSession& found) const;

    DeepSearchObserver& m_observer;
    SampleRelay m_sampleRelay;
    FreeSpaceJob m_sample;
    std::uint64_t m_searchNumber = 0;
    std::unique_ptr<Relay> m_relay;
    /// The search's own session, filled by its worker.
    std::unique_ptr<scan::ScanSession> m_found;
    /// Destroyed before m_found: its destructor stops and joins the worker that fills it.
    std::unique_ptr<ScanJob> m_search;
    /// What the search has found so far and the page has not taken yet.
    std::unique_ptr<scan::ScanSession> m_partial;
    std::size_t m_baseFolders = 0, m_baseFiles = 0;
    bool m_onResults = false;
    bool m_ended = false; ///< the search has ended; what it found waits for the page's session
    std::vector<RenamedEntry> m_renamed;
};

} // namespace sarvik::session
