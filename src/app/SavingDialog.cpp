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
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace sarvik::app {

namespace {
// How long an Open copy runs before its box shows.
constexpr int kOpenBoxDelayMs = 400;
} // namespace

SavingDialog::SavingDialog(catalogue::RecoveryControl& control, QWidget* parent, Purpose purpose)
    : QDialog(parent), m_worker(control), m_purpose(purpose)
{
    setWindowTitle(purpose == Purpose::Open ? QStringLiteral("Copying the file to open it")
                                            : QStringLiteral("Saving the data please wait"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(ui::dluX(328), ui::dluY(166));
    QPalette skin = palette();
    skin.setBrush(QPalette::Window, QBrush(ui::paintDialogSkin(size())));
    setPalette(skin);
    setAutoFillBackground(true);

    auto* grid = new QGridLayout;
    auto addPair = [&](int row, const char* caption, const char* name) {
        auto* c = new QLabel(QString::fromLatin1(caption), this);
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
    m_path = addPair(0, "Path", "path");
    m_fileName = addPair(1, "File Name", "fileName");
    m_totalFiles = addPair(2, "Total Files", "totalFiles");
    grid->setColumnStretch(1, 1);

    m_progress = new ui::PercentProgressBar(this);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);

    m_stop = new QPushButton(QStringLiteral("&Stop Saving"), this);
    m_skip = new QPushButton(QStringLiteral("S&kip File"), this);
    m_stop->setAutoDefault(false);
    m_skip->setAutoDefault(false);
    connect(m_stop, &QPushButton::clicked, this, [this] {
        m_stopped = true;
        m_worker.requestStop();
    });
    if (purpose == Purpose::Open) {
        m_stop->setText(QStringLiteral("&Cancel"));
        m_skip->hide();
    }
    connect(m_skip, &QPushButton::clicked, this, [this] { m_worker.requestSkip(); });

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
    // SaveWorker's destructor stops and joins; by then run() has waited anyway.
    m_worker.wait();
}

void SavingDialog::setPlannedFiles(std::uint64_t files)
{
    m_plannedFiles = files;
    showTotal(0);
}

void SavingDialog::showTotal(std::uint32_t done)
{
    m_totalFiles->setText(m_plannedFiles == 0 ? QString::number(done)
                                              : QStringLiteral("%1 of %2").arg(done).arg(m_plannedFiles));
}

void SavingDialog::run(recovery::FileRecovery& recovery, std::function<void(recovery::FileRecovery&)> copy)
{
    m_working = true;
    m_stopped = false;
    const bool started = m_worker.start(recovery, std::move(copy), [this] {
        QMetaObject::invokeMethod(this, &SavingDialog::copyEnded, Qt::QueuedConnection);
    });
    if (!started) {
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
    m_worker.wait();
    m_working = false;
}

void SavingDialog::copyEnded()
{
    m_worker.wait();
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

template <typename Change> void SavingDialog::record(Change change)
{
    std::lock_guard lock(m_mutex);
    change(m_shown);
    if (!m_deliveryQueued) {
        m_deliveryQueued = true;
        QMetaObject::invokeMethod(this, &SavingDialog::deliver, Qt::QueuedConnection);
    }
}

void SavingDialog::deliver()
{
    Shown shown;
    {
        std::lock_guard lock(m_mutex);
        shown = m_shown;
        m_shown.hasPath = m_shown.hasFileName = m_shown.hasTotal = m_shown.hasProgress = false;
        m_deliveryQueued = false;
    }
    if (shown.hasPath)
        m_path->setText(QString::fromStdString(shown.path));
    if (shown.hasFileName)
        m_fileName->setText(QString::fromStdString(shown.fileName));
    if (shown.hasTotal)
        showTotal(shown.totalFiles);
    if (shown.hasProgress)
        m_progress->setValue(static_cast<int>(shown.progress));
}

void SavingDialog::path(const std::string& text)
{
    record([&](Shown& s) { s.path = text, s.hasPath = true; });
}

void SavingDialog::fileName(const std::string& name)
{
    record([&](Shown& s) { s.fileName = name, s.hasFileName = true; });
}

void SavingDialog::totalFiles(std::uint32_t count)
{
    record([&](Shown& s) { s.totalFiles = count, s.hasTotal = true; });
}

void SavingDialog::fileProgress(std::uint32_t position)
{
    record([&](Shown& s) { s.progress = position, s.hasProgress = true; });
}

bool SavingDialog::continueAfterError(const std::string& message)
{
    // Asked on the window's thread while the worker waits for the answer; the
    // box stays open meanwhile, so nothing joins the worker until it is given.
    int answer = kNo;
    QMetaObject::invokeMethod(
        this,
        [&] {
            answer = QuestionDialog(this, QString::fromStdString(message), MessageKind::Error);
            m_stopped = m_stopped || answer != kYes; // No ends the copy as Stop Saving does
        },
        Qt::BlockingQueuedConnection);
    return answer == kYes;
}

} // namespace sarvik::app
