// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The deep search of the results page, as widgets see it: a
// session::DeepSearchJob, whose workers' calls are handed to the main thread
// as queued calls, the strip that offers it and shows its progress, its Stop
// question, and a timer that looks again whether the window's session is free
// (no command holds it, no box, menu or edit is open) while what the search
// found waits to be taken.

#include "session/DeepSearchJob.h"

#include <QObject>

#include <cstdint>

class QTimer;

namespace sarvik::app {

class DeepSearchBar;
class ResultsHost;

class DeepSearch : public QObject, private session::DeepSearchObserver {
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
    // DeepSearchObserver, called on the workers.
    void sampleEnded(std::uint64_t generation) override;
    void progressWaiting() override;
    void partialWaiting(std::uint64_t search) override;
    void searchEnded(std::uint64_t search) override;

    void sampled(std::uint64_t generation);
    void showProgress();
    void partialFound(std::uint64_t search);
    void ended(std::uint64_t search);
    /// Takes what waits when the session is free, else looks again a moment later.
    void takeWaiting();
    [[nodiscard]] bool sessionFree() const;

    ResultsHost& m_host;
    DeepSearchBar& m_bar;
    QTimer* m_retry = nullptr;
    /// Last: its destructor stops and joins the workers.
    session::DeepSearchJob m_job;
};

} // namespace sarvik::app
