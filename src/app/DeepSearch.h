// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The deep search of the results page. When the page opens on a quick thorough
// scan of a volume that can be read, a sample of the free space runs on a
// worker, and the page offers the search when the sample finds data that no
// entry names (or the search starts at once when the settings ask for it every
// time). The search runs the scan again with the passes over free space, on a
// worker and a session of its own, while the window's session stays browsable.
// As it goes (the lost folders once free space has been read, then the files
// found by their content every few seconds) and when it ends, stopped or not,
// the window's session takes a copy of what it holds, but only once no command
// reads that session (a copy, an Open, Find Files, a box or an edit that is
// open): the engines fill a catalogue that nothing else reads, and what the
// user browses changes only on the main thread, at once.

#include "catalogue/Catalogue.h"
#include "session/EntryAccess.h"

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QTimer;

namespace sarvik::scan {
class ScanSession;
}

namespace sarvik::app {

class DeepSearchBar;
class FreeSpaceCheck;
class ResultsHost;
class ScanRunner;

class DeepSearch : public QObject {
    Q_OBJECT
public:
    DeepSearch(ResultsHost& host, DeepSearchBar& bar);
    /// Stops both workers and joins them.
    ~DeepSearch() override;
    DeepSearch(const DeepSearch&) = delete;
    DeepSearch& operator=(const DeepSearch&) = delete;

    /// The results page has opened on what the window's session holds (a scan
    /// or a snapshot); `scanStopped`: the user stopped the scan that filled it,
    /// so nothing more is read by itself.
    void resultsShown(bool scanStopped);
    /// The results page goes (Back, a new scan, a load): the workers are
    /// stopped and joined, and what a search found is dropped.
    void resultsLeft();
    /// The Deep Search command: starts the search when available().
    void start();
    /// The search's Stop: asks as the scan's Stop does; Yes stops the whole search.
    void askStop();
    /// Asks every worker to end, without a question, and drops what the search
    /// would bring (the window closes).
    void requestStop();
    /// Ends the sample and a running search without a question, as the
    /// search's Stop answered Yes does: what the search found so far is kept.
    void stopReading();

    /// The command can run: on the results page, with the thorough rules, a
    /// volume that can be read, and free space not searched yet.
    [[nodiscard]] bool available() const;
    /// A search runs, or has ended and waits for the session to be free.
    [[nodiscard]] bool running() const;
    /// The sample of free space runs.
    [[nodiscard]] bool sampling() const;

    /// The user renamed an entry; the catalogue a search brings keeps the name.
    void noteRename(const session::RenamedEntry& renamed);

signals:
    /// available() or running() changed.
    void stateChanged();
    /// The window's session has taken what a search found, once it has ended.
    void resultsTaken();
    /// The window's session has taken what a running search has found so far.
    void partialTaken();

private:
    void connectRunner();
    void sampled();
    void searchEnded();
    void takeResults();
    void partialFound();
    void takePartial();
    [[nodiscard]] bool sessionFree() const;
    void applyRenames(scan::ScanSession& found) const;

    ResultsHost& m_host;
    DeepSearchBar& m_bar;
    FreeSpaceCheck* m_check = nullptr;
    /// The search's own session, filled by its worker.
    std::unique_ptr<scan::ScanSession> m_found;
    /// Deleted before m_found: its destructor stops and joins the worker that fills it.
    ScanRunner* m_runner = nullptr;
    QTimer* m_retry = nullptr;
    /// What the search has found so far and the session has not taken yet.
    std::unique_ptr<scan::ScanSession> m_partial;
    /// The lists' sizes when the search started, for what it added.
    std::size_t m_baseFolders = 0, m_baseFiles = 0;
    bool m_onResults = false;
    bool m_waiting = false; ///< ended; what it found waits for the session to be free
    std::vector<session::RenamedEntry> m_renamed;
};

} // namespace sarvik::app
