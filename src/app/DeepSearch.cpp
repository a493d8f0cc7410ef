// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DeepSearch.h"

#include "app/DeepSearchBar.h"
#include "app/FileTypes.h"
#include "app/FreeSpaceCheck.h"
#include "app/MessageBoxes.h"
#include "app/ResultsHost.h"
#include "app/ScanRunner.h"
#include "app/ValueWords.h"
#include "app/Wording.h"
#include "recovery/RecoverySettings.h"
#include "scan/ScanSession.h"
#include "session/DeepSearchOutcome.h"

#include <QApplication>
#include <QTableView>
#include <QTimer>

#include <algorithm>

namespace sarvik::app {

namespace {

/// How often a search that has ended looks again whether the session is free.
constexpr int kRetryMs = 150;

} // namespace

DeepSearch::DeepSearch(ResultsHost& host, DeepSearchBar& bar)
    : QObject(host.hostWidget()), m_host(host), m_bar(bar), m_check(new FreeSpaceCheck(this)),
      m_runner(new ScanRunner(this)), m_retry(new QTimer(this))
{
    m_retry->setInterval(kRetryMs);
    connect(m_retry, &QTimer::timeout, this, [this] {
        takeResults();
        takePartial();
    });
    connect(m_check, &FreeSpaceCheck::finished, this, &DeepSearch::sampled);
    connectRunner();
    connect(&m_bar, &DeepSearchBar::searchClicked, this, &DeepSearch::start);
    connect(&m_bar, &DeepSearchBar::stopClicked, this, &DeepSearch::askStop);
}

void DeepSearch::connectRunner()
{
    connect(m_runner, &ScanRunner::finished, this, &DeepSearch::searchEnded);
    connect(m_runner, &ScanRunner::partialReady, this, &DeepSearch::partialFound);
    connect(m_runner, &ScanRunner::reported, this, [this](const ScanReport& report) {
        if (report.hasStatus)
            m_bar.setStatus(m_host.statusText(report));
        if (report.hasProgress)
            m_bar.setProgress(static_cast<int>(std::min<std::uint32_t>(report.progress, 100)));
    });
}

DeepSearch::~DeepSearch()
{
    // Both destructors stop and join their worker: the sample reads the
    // window's session, the search m_found; neither may outlive what it reads.
    delete m_check;
    delete m_runner;
}

bool DeepSearch::available() const
{
    return m_onResults && !running() && session::deepSearchPossible(m_host.session());
}

bool DeepSearch::running() const
{
    return m_runner->running() || m_waiting;
}

bool DeepSearch::sampling() const
{
    return m_check->running();
}

void DeepSearch::resultsShown(bool scanStopped)
{
    m_onResults = true;
    m_bar.clear();
    if (available() && !scanStopped) {
        if (m_host.settings().DeepSearch)
            start();
        else
            m_check->start(m_host.session());
    }
    emit stateChanged();
}

void DeepSearch::resultsLeft()
{
    m_onResults = false;
    m_check->cancel();
    if (m_runner->running()) {
        // What a search of the page that goes would find belongs to no page:
        // a new runner, and the old one's destructor ends and joins its worker.
        delete m_runner;
        m_runner = new ScanRunner(this);
        connectRunner();
    }
    m_found.reset();
    m_partial.reset();
    m_waiting = false;
    m_retry->stop();
    m_renamed.clear();
    m_bar.clear();
    emit stateChanged();
}

void DeepSearch::start()
{
    if (!available())
        return;
    m_check->cancel(); // its offer is moot now
    m_found = std::make_unique<scan::ScanSession>();
    // The same device: its source is shared, and every platform source reads
    // at an offset (pread, ReadFile with an offset) so two threads may read it.
    m_found->volume = m_host.session().volume;
    const session::ListSizes base = session::listSizes(m_host.session());
    m_baseFolders = base.folders;
    m_baseFiles = base.files;
    m_bar.showRunning();
    m_runner->start(*m_found, scan::ScanOptions{true, true, true, m_host.showExistingFiles()}, true);
    emit stateChanged();
}

void DeepSearch::askStop()
{
    if (!m_runner->running())
        return;
    // The search reads on while the question is open; a Yes that comes after
    // it has ended is too late to matter, and one between two passes is kept
    // by the job's stop flag until the next pass sees it.
    if (QuestionDialog(m_host.hostWidget(), tr("Do you want to stop the current process ?")) == kYes)
        m_runner->requestStop();
}

void DeepSearch::stopReading()
{
    m_check->cancel();
    if (m_runner->running())
        m_runner->requestStop();
}

void DeepSearch::requestStop()
{
    // The window goes: what the search finds from here on is taken by no page.
    m_onResults = false;
    m_runner->requestStop();
    m_check->cancel();
}

void DeepSearch::sampled()
{
    if (!m_onResults || running())
        return;
    if (const QString offer = deepSearchOfferWords(m_check->sample()); !offer.isEmpty())
        m_bar.showOffer(offer);
}

void DeepSearch::searchEnded()
{
    if (m_runner->outOfMemory())
        OutOfMemoryEnd(m_host.hostWidget());
    if (!m_found || !m_onResults) {
        m_found.reset();
        emit stateChanged();
        return;
    }
    m_waiting = true;
    m_partial.reset(); // what the search ended with holds more
    takeResults();
}

void DeepSearch::partialFound()
{
    if (std::unique_ptr<scan::ScanSession> partial = m_runner->takePartial(); partial && m_onResults && !m_waiting)
        m_partial = std::move(partial); // a newer copy replaces one the session has not taken
    takePartial();
}

void DeepSearch::takePartial()
{
    if (!m_partial)
        return;
    if (!sessionFree()) {
        m_retry->start();
        return;
    }
    if (!m_waiting)
        m_retry->stop();
    std::unique_ptr<scan::ScanSession> partial = std::move(m_partial);
    // Nothing new, or less than the page shows (the volume changed; the end
    // of the search says so): the page stays as it is.
    if (!session::holdsAtLeast(*partial, m_host.session(), true))
        return;
    applyRenames(*partial);
    m_host.takeFoundResults(*partial);
    emit partialTaken();
}

bool DeepSearch::sessionFree() const
{
    // A box, a menu or an edit that is open may read rows or entries that
    // taking the results would replace; a command that holds the session reads
    // it on a worker.
    // A name's edit is a line edit on the list's viewport.
    const QWidget* focus = QApplication::focusWidget();
    const bool editing = focus != nullptr && focus != m_host.detailsView() && m_host.detailsView()->isAncestorOf(focus);
    return !m_host.sessionHeld() && QApplication::activeModalWidget() == nullptr &&
           QApplication::activePopupWidget() == nullptr && !m_check->running() && !editing;
}

void DeepSearch::takeResults()
{
    if (!m_waiting || !m_found)
        return;
    if (!sessionFree()) {
        m_retry->start();
        return;
    }
    m_retry->stop();
    m_waiting = false;
    const bool stopped = m_runner->result().Stopped;
    std::unique_ptr<scan::ScanSession> found = std::move(m_found);
    // The search scans the volume again before it reads free space; stopped in
    // that part, it holds less than the page shows, and the page keeps its own.
    if (!session::holdsAtLeast(*found, m_host.session(), false)) {
        m_bar.showOutcome(deepSearchFoundLessWords(stopped));
        emit stateChanged();
        return;
    }
    const QString outcome = deepSearchOutcomeWords(*found, m_baseFolders, m_baseFiles, stopped);
    applyRenames(*found);
    m_host.takeFoundResults(*found);
    m_bar.showOutcome(outcome);
    emit stateChanged();
    emit resultsTaken();
}

void DeepSearch::noteRename(const session::RenamedEntry& renamed)
{
    // A later rename of the same entry replaces the earlier one.
    std::erase_if(m_renamed, [&renamed](const session::RenamedEntry& old) { return old.sameEntry(renamed); });
    m_renamed.push_back(renamed);
}

void DeepSearch::applyRenames(scan::ScanSession& found) const
{
    for (const session::RenamedEntry& r : m_renamed)
        session::applyRename(found, r);
}

} // namespace sarvik::app
