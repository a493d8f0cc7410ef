// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DeepSearch.h"

#include "app/DeepSearchBar.h"
#include "app/FileTypes.h"
#include "app/MessageBoxes.h"
#include "app/ResultsHost.h"
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
    : QObject(host.hostWidget()), m_host(host), m_bar(bar), m_retry(new QTimer(this)), m_job(*this)
{
    m_retry->setInterval(kRetryMs);
    connect(m_retry, &QTimer::timeout, this, &DeepSearch::takeWaiting);
    connect(&m_bar, &DeepSearchBar::searchClicked, this, &DeepSearch::start);
    connect(&m_bar, &DeepSearchBar::stopClicked, this, &DeepSearch::askStop);
}

// The job's destructor stops and joins both workers: the sample reads the
// window's session, the search a session of its own.
DeepSearch::~DeepSearch() = default;

void DeepSearch::sampleEnded(std::uint64_t generation)
{
    QMetaObject::invokeMethod(
        this, [this, generation] { sampled(generation); }, Qt::QueuedConnection);
}

void DeepSearch::progressWaiting()
{
    QMetaObject::invokeMethod(this, &DeepSearch::showProgress, Qt::QueuedConnection);
}

void DeepSearch::partialWaiting(std::uint64_t search)
{
    QMetaObject::invokeMethod(
        this, [this, search] { partialFound(search); }, Qt::QueuedConnection);
}

void DeepSearch::searchEnded(std::uint64_t search)
{
    QMetaObject::invokeMethod(
        this, [this, search] { ended(search); }, Qt::QueuedConnection);
}

bool DeepSearch::available() const
{
    return m_job.available(m_host.session());
}

bool DeepSearch::running() const
{
    return m_job.running();
}

bool DeepSearch::sampling() const
{
    return m_job.sampling();
}

void DeepSearch::resultsShown(bool scanStopped)
{
    m_bar.clear();
    using Opening = session::DeepSearchJob::Opening;
    const Opening wanted = scanStopped                    ? Opening::Nothing
                           : m_host.settings().DeepSearch ? Opening::Search
                                                          : Opening::Sample;
    if (m_job.resultsShown(m_host.session(), wanted, m_host.showExistingFiles()) == Opening::Search)
        m_bar.showRunning();
    emit stateChanged();
}

void DeepSearch::resultsLeft()
{
    m_job.resultsLeft();
    m_retry->stop();
    m_bar.clear();
    emit stateChanged();
}

void DeepSearch::start()
{
    if (!m_job.start(m_host.session(), m_host.showExistingFiles()))
        return;
    m_bar.showRunning();
    emit stateChanged();
}

void DeepSearch::askStop()
{
    if (!m_job.reading())
        return;
    // The search reads on while the question is open; a Yes that comes after
    // it has ended is too late to matter.
    if (QuestionDialog(m_host.hostWidget(), tr("Do you want to stop the current process ?")) == kYes)
        m_job.requestStop();
}

void DeepSearch::stopReading()
{
    m_job.stopReading();
}

void DeepSearch::requestStop()
{
    // The window goes: what the search finds from here on is taken by no page.
    m_job.abandon();
}

void DeepSearch::sampled(std::uint64_t generation)
{
    if (!m_job.sampleEnded(generation))
        return;
    if (const QString offer = deepSearchOfferWords(m_job.sample()); !offer.isEmpty())
        m_bar.showOffer(offer);
}

void DeepSearch::showProgress()
{
    const session::ScanProgress report = m_job.takeProgress();
    if (report.hasStatus)
        m_bar.setStatus(m_host.statusText(report));
    if (report.hasProgress)
        m_bar.setProgress(static_cast<int>(std::min<std::uint32_t>(report.progress, 100)));
}

void DeepSearch::ended(std::uint64_t search)
{
    if (!m_job.searchEnded(search))
        return;
    showProgress(); // the last news the search gave
    if (m_job.outOfMemory())
        OutOfMemoryEnd(m_host.hostWidget());
    if (!m_job.waiting()) {
        emit stateChanged();
        return;
    }
    takeWaiting();
}

void DeepSearch::partialFound(std::uint64_t search)
{
    m_job.partialArrived(search);
    takeWaiting();
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
           QApplication::activePopupWidget() == nullptr && !m_job.sampling() && !editing;
}

void DeepSearch::takeWaiting()
{
    if (!m_job.waiting()) {
        m_retry->stop();
        return;
    }
    if (!sessionFree()) {
        m_retry->start();
        return;
    }
    m_retry->stop();
    session::DeepSearchTake taken = m_job.take(m_host.session());
    using Kind = session::DeepSearchTake::Kind;
    switch (taken.kind) {
    case Kind::Nothing:
        return;
    case Kind::Partial:
        m_host.takeFoundResults(*taken.found);
        emit partialTaken();
        return;
    case Kind::FoundLess:
        m_bar.showOutcome(deepSearchFoundLessWords(taken.stopped));
        emit stateChanged();
        return;
    case Kind::Final:
        break;
    }
    const QString outcome = deepSearchOutcomeWords(*taken.found, taken.baseFolders, taken.baseFiles, taken.stopped);
    m_host.takeFoundResults(*taken.found);
    m_bar.showOutcome(outcome);
    emit stateChanged();
    emit resultsTaken();
}

void DeepSearch::noteRename(const session::RenamedEntry& renamed)
{
    m_job.noteRename(renamed);
}

} // namespace sarvik::app
