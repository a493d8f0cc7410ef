// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SavingDialog.h"

#include "app/MessageBoxes.h"
#include "ui/PercentProgressBar.h"
#include "ui/Skin.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace sarvik::app {

namespace {
// How long an Open copy runs before its box shows.
constexpr int kOpenBoxDelayMs = 400;
} // namespace

SavingDialog::SavingDialog(QWidget* parent, Purpose purpose) : QDialog(parent), m_job(*this), m_purpose(purpose)
{
    setWindowTitle(purpose == Purpose::Open ? tr("Copying the file to open it") : tr("Saving the data please wait"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(ui::dluX(328), ui::dluY(166));
    QPalette skin = palette();
    skin.setBrush(QPalette::Window, QBrush(ui::paintDialogSkin(size())));
    setPalette(skin);
    setAutoFillBackground(true);

    auto* grid = new QGridLayout;
    auto addPair = [&](int row, const char* caption, const char* name) {
        auto* c = new QLabel(tr(caption), this);
        auto* v = new QLabel(this);
        v->setObjectName(QString::fromLatin1(name));
        v->setTextFormat(Qt::PlainText);
        v->setMinimumWidth(ui::dluX(240));
        // A long path must not widen the fixed box: the label cuts it.
        v->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        grid->addWidget(c, row, 0);
        grid->addWidget(v, row, 1);
        return v;
    };
    m_path = addPair(0, QT_TR_NOOP("Path"), "path");
    m_fileName = addPair(1, QT_TR_NOOP("File Name"), "fileName");
    m_totalFiles = addPair(2, QT_TR_NOOP("Total Files"), "totalFiles");
    grid->setColumnStretch(1, 1);

    m_progress = new ui::PercentProgressBar(this);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);

    m_stop = new QPushButton(tr("&Stop Saving"), this);
    m_skip = new QPushButton(tr("S&kip File"), this);
    m_stop->setAutoDefault(false);
    m_skip->setAutoDefault(false);
    connect(m_stop, &QPushButton::clicked, this, [this] { m_job.requestStop(); });
    if (purpose == Purpose::Open) {
        m_stop->setText(tr("&Cancel"));
        m_skip->hide();
    }
    connect(m_skip, &QPushButton::clicked, this, [this] { m_job.requestSkip(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_stop);
    buttons->addWidget(m_skip);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->addLayout(grid);
    layout->addWidget(m_progress);
    layout->addLayout(buttons);
}

SavingDialog::~SavingDialog()
{
    // The job's destructor stops and joins; by then run() has waited anyway.
    m_job.wait();
}

void SavingDialog::setPlannedFiles(std::uint64_t files)
{
    m_job.setPlannedFiles(files);
    showTotal(0);
}

void SavingDialog::showTotal(std::uint32_t done)
{
    // As RecoveryJob::totalText words it, in the user's language and digits.
    const QLocale locale;
    const std::uint64_t planned = m_job.plannedFiles();
    m_totalFiles->setText(planned == 0
                              ? locale.toString(done)
                              : tr("%1 of %2").arg(locale.toString(done), locale.toString(qulonglong{planned})));
}

void SavingDialog::run(recovery::FileRecovery& recovery, std::function<void(recovery::FileRecovery&)> copy)
{
    m_working = true;
    if (!m_job.start(recovery, std::move(copy))) {
        m_working = false;
        return;
    }
    if (m_purpose == Purpose::Open) {
        // Most files copy in a moment: the box shows only for one that takes
        // longer, with a busy pointer meanwhile and the window taking no input.
        QEventLoop wait;
        m_wait = &wait;
        QTimer::singleShot(kOpenBoxDelayMs, &wait, &QEventLoop::quit);
        QApplication::setOverrideCursor(Qt::BusyCursor);
        wait.exec(QEventLoop::ExcludeUserInputEvents);
        QApplication::restoreOverrideCursor();
        m_wait = nullptr;
    }
    if (m_working)
        exec();
    m_job.wait();
    m_working = false;
}

void SavingDialog::copyEnded()
{
    QMetaObject::invokeMethod(this, &SavingDialog::ended, Qt::QueuedConnection);
}

void SavingDialog::ended()
{
    m_job.wait();
    deliver(); // the last labels before the box goes
    m_working = false;
    if (m_wait != nullptr)
        m_wait->quit();
    accept();
}

void SavingDialog::reject()
{
    if (!m_working)
        QDialog::reject();
}

void SavingDialog::closeEvent(QCloseEvent* event)
{
    if (m_working)
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void SavingDialog::progressWaiting()
{
    QMetaObject::invokeMethod(this, &SavingDialog::deliver, Qt::QueuedConnection);
}

void SavingDialog::deliver()
{
    const session::RecoveryProgress shown = m_job.takeProgress();
    if (shown.hasPath)
        m_path->setText(QString::fromStdString(shown.path));
    if (shown.hasFileName)
        m_fileName->setText(QString::fromStdString(shown.fileName));
    if (shown.hasTotal)
        showTotal(shown.totalFiles);
    if (shown.hasProgress)
        m_progress->setValue(static_cast<int>(shown.progress));
}

bool SavingDialog::continueAfterError(const std::string& message)
{
    // Asked on the window's thread while the worker waits for the answer; the
    // box stays open meanwhile, so nothing joins the worker until it is given.
    // No ends the copy as Stop Saving does (the job notes it).
    int answer = kNo;
    QMetaObject::invokeMethod(
        this, [&] { answer = QuestionDialog(this, QString::fromStdString(message), MessageKind::Error); },
        Qt::BlockingQueuedConnection);
    return answer == kYes;
}

} // namespace sarvik::app
