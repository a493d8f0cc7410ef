// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The find-files search as a front end runs it: a walk of the catalogue on a
// worker thread that this object owns (its destructor stops and joins it),
// whose matches wait here under a lock until the front end takes them. The
// worker only tells the observer that something waits; the front end takes
// it on its own thread. A walk started anew or ended early is told apart from
// the one in force by a generation number, so that its late end report is
// ignored.

#include "catalogue/Catalogue.h"
#include "catalogue/FolderTree.h"
#include "search/FileSearch.h"

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sarvik::session {

/// Called on the worker thread; a front end forwards each call to its own thread.
class FindObserver {
public:
    virtual ~FindObserver() = default;
    /// Matches wait in takeMatches(); not called again until they are taken.
    virtual void matchesWaiting() = 0;
    /// The walk `generation` has ended by itself (or was stopped); the front
    /// end calls FindJob::walkEnded(generation) on its thread.
    virtual void walkEnded(unsigned generation) = 0;
};

class FindJob {
public:
    /// The catalogue and the tree must not change while a walk runs.
    FindJob(const catalogue::Catalogue& catalogue, const catalogue::FolderTree& tree, catalogue::CatalogueKind kind,
            FindObserver& observer);
    ~FindJob();
    FindJob(const FindJob&) = delete;
    FindJob& operator=(const FindJob&) = delete;

    /// Starts a walk for `pattern` (in the catalogue's name encoding), dropping
    /// any matches not taken; false when a walk runs.
    bool start(const std::string& pattern);
    [[nodiscard]] bool running() const { return m_thread.joinable(); }
    /// The running walk's control (null before the first walk).
    [[nodiscard]] search::SearchControl* control() const { return m_control.get(); }
    /// Holds the walk between two entries, and lets it go on.
    void pause();
    void resume();
    /// Ends the running walk and drops what it found and was not taken (the
    /// pattern changed, or a match was chosen).
    void drop();
    /// Ends the running walk; what it found before stays for takeMatches.
    void stop();
    /// For the end report of walk `generation`: true, with the worker joined,
    /// when that walk is the one in force; false for one dropped or stopped since.
    bool walkEnded(unsigned generation);
    /// The matches found since the last call, in list order.
    [[nodiscard]] std::vector<search::SearchMatch> takeMatches();

private:
    void join();

    const catalogue::Catalogue& m_catalogue;
    const catalogue::FolderTree& m_tree;
    catalogue::CatalogueKind m_kind;
    FindObserver& m_observer;
    std::unique_ptr<search::SearchControl> m_control;
    std::thread m_thread;
    unsigned m_generation = 0;
    std::mutex m_mutex;
    std::vector<search::SearchMatch> m_pending; ///< under m_mutex
    bool m_told = false;                        ///< under m_mutex: matchesWaiting sent, not taken yet
};

} // namespace sarvik::session
