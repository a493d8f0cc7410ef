#include "app/LostVolumeSearch.h"

#include "catalogue/ScanObserver.h"
#include "disk/LostVolumes.h"
#include "disk/PartitionTable.h"
#include "platform/Devices.h"
#include "platform/DriveDiscovery.h"
#include "platform/PartitionSource.h"
#include "ui/PercentProgressBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <thread>

namespace sarvik::app {

namespace {

/// Hands the search's progress to the box, one queued call per change of the
/// percentage; the box may be gone by then, and the call with it.
class ProgressToBox final : public catalogue::ScanObserver {
public:
    explicit ProgressToBox(std::function<void(int, QString)> show) : m_show(std::move(show)) {}
    void status(const std::string& text) override
    {
        m_status = QString::fromStdString(text);
        m_show(m_percent, m_status);
    }
    void progress(std::uint32_t position) override
    {
        const int percent = static_cast<int>(std::min<std::uint32_t>(position, 100));
        if (percent != m_percent) {
            m_percent = percent;
            m_show(m_percent, m_status);
        }
    }
    [[nodiscard]] bool followsEachItem() const override { return false; }

private:
    std::function<void(int, QString)> m_show;
    QString m_status;
    int m_percent = -1;
};

/// "Disk Image" and "disk.img" of "Disk Image(disk.img) 2: NTFS".
std::pair<std::string, std::string> prefixAndName(const std::string& text)
{
    const std::size_t open = text.find('(');
    const std::size_t close = text.find(')', open == std::string::npos ? 0 : open);
    if (open == std::string::npos || close == std::string::npos)
        return {"Disk", text};
    return {text.substr(0, open), text.substr(open + 1, close - open - 1)};
}

} // namespace

struct LostVolumeSearchDialog::Worker {
    catalogue::ScanControl control;
    std::thread thread;
    LostVolumeSearchResult result;
};

disk::DriveItem lostVolumeItem(const disk::DriveItem& whole, std::uint32_t number, std::uint16_t kind,
                               std::uint64_t sectors)
{
    const auto [prefix, name] = prefixAndName(whole.text);
    return platform::lostVolumeDriveItem(whole.kind, platform::resolvePartitionPath(whole.devicePath).path, prefix,
                                         name, number, kind, sectors);
}

LostVolumeSearchDialog::LostVolumeSearchDialog(const disk::DriveItem& drive, QWidget* parent)
    : QDialog(parent), m_drive(drive), m_worker(new Worker)
{
    setObjectName(QStringLiteral("lostVolumeSearch"));
    setWindowTitle(QStringLiteral("Search for Lost Volumes"));
    setModal(true);
    const std::string whole = platform::resolvePartitionPath(drive.devicePath).path;
    auto* what = new QLabel(QStringLiteral("Every sector of %1 is read for the boot sectors of FAT, exFAT and "
                                           "NTFS volumes, and their backups.")
                                .arg(QString::fromStdString(whole)),
                            this);
    what->setWordWrap(true);
    m_status = new QLabel(QStringLiteral("Starting..."), this);
    m_progress = new ui::PercentProgressBar(this);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_stop = new QPushButton(QStringLiteral("&Stop"), this);
    m_stop->setObjectName(QStringLiteral("stop"));
    connect(m_stop, &QPushButton::clicked, this, &LostVolumeSearchDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_stop);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(what);
    layout->addWidget(m_status);
    layout->addWidget(m_progress);
    layout->addLayout(buttons);
    setMinimumWidth(420);
}

LostVolumeSearchDialog::~LostVolumeSearchDialog()
{
    m_worker->control.Abandoned.store(true);
    if (m_worker->thread.joinable())
        m_worker->thread.join();
    delete m_worker;
}

void LostVolumeSearchDialog::reject()
{
    // The search ends at its next block; the box closes when it has.
    m_worker->control.requestStop();
    m_worker->result.stopped = true;
    m_stop->setEnabled(false);
    m_status->setText(QStringLiteral("Stopping..."));
}

void LostVolumeSearchDialog::showProgress(int percent, const QString& status)
{
    if (percent >= 0)
        m_progress->setValue(percent);
    if (!status.isEmpty() && m_stop->isEnabled())
        m_status->setText(status);
}

LostVolumeSearchResult LostVolumeSearchDialog::run()
{
    const std::string whole = platform::resolvePartitionPath(m_drive.devicePath).path;
    QPointer<LostVolumeSearchDialog> box(this);
    m_worker->thread = std::thread([this, whole, box] {
        std::string error;
        LostVolumeSearchResult& result = m_worker->result;
        if (const auto disk = platform::openWholeSource(whole, &error)) {
            ProgressToBox observer([box](int percent, const QString& status) {
                QMetaObject::invokeMethod(
                    box,
                    [box, percent, status] {
                        if (box)
                            box->showProgress(percent, status);
                    },
                    Qt::QueuedConnection);
            });
            const auto found = disk::FindLostVolumes(*disk, disk::LostVolumeSearch::Deep, observer, m_worker->control,
                                                     &result.unreadableSectors);
            for (std::size_t i = 0; i < found.size(); ++i)
                result.found.push_back(
                    lostVolumeItem(m_drive, static_cast<std::uint32_t>(i + 1), found[i].kind, found[i].sectors));
        } else {
            result.error = error.empty() ? whole + ": cannot be opened" : error;
        }
        QMetaObject::invokeMethod(
            box,
            [box] {
                if (box)
                    box->accept();
            },
            Qt::QueuedConnection);
    });
    exec();
    m_worker->thread.join();
    return m_worker->result;
}

} // namespace sarvik::app
