// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program driven as a user drives it: clicks on the drive tree, Next,
// Stop, Back, the menus and the toolbar, on image files made for each run.

#include "app/RecoveryWindow.h"
#include "GuiTestSupport.h"
#include "ScanVolume.h"
#include "app/DriveInformationDialog.h"
#include "app/FileListModel.h"
#include "app/FileTypes.h"
#include "app/HelpDialog.h"
#include "app/MessageBoxes.h"
#include "app/NamedDrives.h"
#include "app/RecentPlaces.h"
#include "app/RecoverySettingsDialog.h"
#include "platform/Devices.h"
#include "platform/DriveDiscovery.h"
#include "session/ScanJob.h"
#include "ui/PercentProgressBar.h"
#include "ui/PictureButton.h"
#include "ui/Skin.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMimeDatabase>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <tuple>

using namespace sarvik;
using app::RecoveryWindow;
using namespace sarvik::guitest;
namespace Command = app::Command;

namespace {

// ---- Volumes ------------------------------------------------------------------

void putLe(QByteArray& bytes, int offset, int width, quint32 value)
{
    for (int i = 0; i < width; ++i)
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xff);
}

// A FAT16 boot sector and nothing else: enough for the drive page.
QString writeFat16Boot(const QString& dir)
{
    QByteArray bytes(2048 * 512, '\0');
    putLe(bytes, 11, 2, 512);
    putLe(bytes, 13, 1, 4);   // sectors per cluster
    putLe(bytes, 14, 2, 1);   // reserved sectors
    putLe(bytes, 17, 2, 512); // root entries
    putLe(bytes, 22, 2, 200); // sectors per FAT
    bytes.replace(54, 8, "FAT16   ");
    putLe(bytes, 510, 1, 0x55);
    putLe(bytes, 511, 1, 0xAA);
    const QString path = dir + QStringLiteral("/small16.img");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

// A signed boot sector that says FAT12 but counts no clusters: no volume.
QString writeFat12Boot(const QString& dir)
{
    QByteArray bytes(1024 * 512, '\0');
    putLe(bytes, 13, 1, 4);
    bytes.replace(54, 8, "FAT12   ");
    putLe(bytes, 510, 1, 0x55);
    putLe(bytes, 511, 1, 0xAA);
    const QString path = dir + QStringLiteral("/floppy12.img");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

// An MBR disk image: partition 1 a copy of `fat16` (at sector 64), partition 2
// a copy of `other` (after it).
QString writeMbrDisk(const QString& dir, const QString& fat16, const QString& other)
{
    QFile a(fat16), b(other);
    if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly))
        return {};
    const QByteArray first = a.readAll(), second = b.readAll();
    const int start1 = 64, start2 = start1 + static_cast<int>(first.size() / 512);
    QByteArray bytes(64 * 512, '\0');
    auto entry = [&](int slot, int type, int start, int sectors) {
        const int at = 446 + 16 * slot;
        putLe(bytes, at + 4, 1, static_cast<quint32>(type));
        putLe(bytes, at + 8, 4, static_cast<quint32>(start));
        putLe(bytes, at + 12, 4, static_cast<quint32>(sectors));
    };
    entry(0, 0x06, start1, static_cast<int>(first.size() / 512));
    entry(1, 0x01, start2, static_cast<int>(second.size() / 512));
    putLe(bytes, 510, 1, 0x55);
    putLe(bytes, 511, 1, 0xAA);
    bytes += first;
    bytes += second;
    const QString path = dir + QStringLiteral("/disk_mbr.img");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

// Every open is refused as the system refuses a raw device to a normal user.
class DeniedDevices final : public disk::DeviceProvider {
public:
    explicit DeniedDevices(bool asAdministrator = false) : m_administrator(asAdministrator) {}
    disk::OpenResult open(const std::string& path) override
    {
        return {nullptr,
                m_administrator ? path + ": Permission denied even for root: a security policy (SELinux, AppArmor) or "
                                         "the device itself refuses it"
                                : path + ": permission denied: run it as root (sudo) or join the disk group",
                true};
    }
    std::optional<std::string> volumeLabel(const std::string&) override { return std::nullopt; }
    [[nodiscard]] bool administrator() const override { return m_administrator; }

private:
    bool m_administrator;
};

// ---- Window helpers ---------------------------------------------------------

QTreeWidgetItem* driveItem(RecoveryWindow& w, const QString& text)
{
    const auto found = w.driveTree()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

void clickItem(QTreeWidget* tree, QTreeWidgetItem* item)
{
    tree->scrollToItem(item);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
}

// Shows the window on its drive page and clicks the drive listed as `drive`;
// true when the drive is ready and Next is offered.
bool onDrive(RecoveryWindow& w, const QString& drive)
{
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return false;
    QTreeWidgetItem* item = driveItem(w, drive);
    if (item == nullptr)
        return false;
    clickItem(w.driveTree(), item);
    return w.nextButton()->isVisible();
}

QStringList rowTexts(const app::FileListModel& model, int column)
{
    QStringList texts;
    for (int r = 0; r < model.rowCount(); ++r)
        texts << model.text(r, column);
    return texts;
}

// The texts of `column` in the order the list shows them.
QStringList shownTexts(const QAbstractItemModel& model, int column)
{
    QStringList texts;
    for (int r = 0; r < model.rowCount(); ++r)
        texts << model.index(r, column).data().toString();
    return texts;
}

QStringList childTexts(QTreeWidgetItem* item)
{
    QStringList texts;
    for (int i = 0; i < item->childCount(); ++i)
        texts << item->child(i)->text(0);
    return texts;
}

QString pdfTypeName()
{
    return QMimeDatabase().mimeTypeForFile(QStringLiteral("a.pdf"), QMimeDatabase::MatchExtension).comment();
}

} // namespace

class RecoveryWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { dropPendingAnswers(); }
    void startUpShowsDrivePageAndFourPopups();
    void menuStatesFollowTheStep();
    void drivePageClicks();
    void drivePageByKeyboardSaysWhyNotReady();
    void partitionsImagesAndRefusedPaths();
    void skinFollowsTheColourScheme();
    void shortScreensAndLongTitles();
    void lostVolumeSearchAddsWhatOnlyTheDeepSearchFinds();
    void showExistingFilesScansAgain();
    void deniedDeviceOffersTheAdministrator();
    void thoroughScanShowsEachPhase();
    void toolbarActsOnlyWhenItsCommandIsEnabled();
    void windowResizesWithItsLists();
    void scanReachesResultsWithTreeAndRows();
    void resultsNavigationAndViewModes();
    void resultsListSortsScrollsAndFollowsTheTree();
    void backThenNextScansAgain();
    void stopAnsweredNoRunsToTheEnd();
    void stopAnsweredYesEndsWithWhatWasFound();
    void closingDuringAScanStopsAndJoinsIt();
    void stopAndBackAnswerTheKeyboard();
    void ntfsScanReachesResults();
    void exitAndCloseBoxAskFirst();
    void helpAndLiveUpdateAnswer();
    void settingsDialogKeepsOrChangesValues();
    void driveInformationAfterScan();
    void fileListModelPassesTheTester();
    void progressBarText();
    void skinRegionLeavesOutTheKeyColour();
    void messageBoxesCarryTitleAndButtons();

private:
    std::vector<disk::DriveItem> drives() const
    {
        std::vector<disk::DriveItem> list{platform::imageDriveItem(m_fat16.toStdString()),
                                          platform::imageDriveItem(m_fat12.toStdString())};
        if (!m_scan32.isEmpty())
            list.push_back(platform::imageDriveItem(m_scan32.toStdString()));
        return list;
    }
    // A window on the FAT32 volume that has run its scan to the results page.
    /// Scans scan32.img; the tests of the window's pages read its names as the
    /// classic rules list them unless `thorough`.
    bool scanned(RecoveryWindow& w, bool thorough = false);

    QTemporaryDir m_dir;
    QString m_fat16;
    QString m_fat12;
    QString m_scan32;
    QString m_noScan;
    platform::SystemDeviceProvider m_devices;
};

void RecoveryWindowTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    app::useSystemIconTheme();
    m_fat16 = writeFat16Boot(m_dir.path());
    m_fat12 = writeFat12Boot(m_dir.path());
    QVERIFY(!m_fat16.isEmpty() && !m_fat12.isEmpty());
    m_scan32 = makeScanVolume(m_dir.path(), &m_noScan);
    if (m_scan32.isEmpty())
        qWarning("%s", qPrintable(m_noScan));
}

bool RecoveryWindowTest::scanned(RecoveryWindow& w, bool thorough)
{
    w.settings().ThoroughScan = thorough;
    if (!onDrive(w, QStringLiteral("Disk Image(scan32.img)")))
        return false;
    QSignalSpy done(&w, &RecoveryWindow::scanFinished);
    QTest::mouseClick(w.nextButton(), Qt::LeftButton);
    return done.wait(30000);
}

void RecoveryWindowTest::startUpShowsDrivePageAndFourPopups()
{
    RecoveryWindow w(drives(), m_devices);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.windowTitle(), QStringLiteral("Velmora Sarvik Undelete"));
    QCOMPARE(w.currentStep(), 0);

    // Exactly four popups, with their items and ids in order (0 marks a separator).
    const QList<QAction*> popups = w.menuBar()->actions();
    QCOMPARE(popups.size(), 4);
    const QStringList titles{"&Recovery", "&View", "&Tools", "&Help"};
    const QList<QList<int>> ids{
        {32806, 32807, 0, 32772, 32773, 0, Command::AddDiskImage, Command::RecentImages, 0, 32774},
        {32808, 59410, 59411, Command::Thumbnails, Command::Preview, 0, Command::ShowExistingFiles, 0, Command::Back,
         Command::Stop, 0, Command::Colours},
        {32813, Command::DeepSearch, 32814, 32815, 0, 32840, Command::SearchLostVolumes, 0, 32842},
        {32816, 32817}};
    const QList<QStringList> texts{{"&Recover Selected...", "Recover &All...", "", "&Save Recovery Snapshot...",
                                    "&Load Recovery Snapshot...", "", "Add &Disk Image...", "Recent &Images", "",
                                    "E&xit..."},
                                   {"Ico&ns", "&List", "&Details", "&Thumbnails", "&Preview", "",
                                    "Show &Existing Files", "", "&Back", "&Stop", "", "C&olours"},
                                   {"&Find Files...", "Deep &Search", "File Fi&lters...", "Se&ttings...", "",
                                    "&Drive Information", "Search for Lost &Volumes...", "", "Live &Update"},
                                   {"&Contents", "&About Velmora Sarvik..."}};
    for (int p = 0; p < 4; ++p) {
        QCOMPARE(popups[p]->text(), titles[p]);
        const QList<QAction*> items = popups[p]->menu()->actions();
        QCOMPARE(items.size(), ids[p].size());
        for (int i = 0; i < items.size(); ++i) {
            QCOMPARE(items[i]->isSeparator(), ids[p][i] == 0);
            if (ids[p][i] != 0) {
                QCOMPARE(items[i]->data().toInt(), ids[p][i]);
                QCOMPARE(items[i]->text(), texts[p][i]);
            }
        }
    }

    // Drive page captions with their blanks; values empty; Next, Back, Stop hidden.
    QCOMPARE(w.captionLabel(0)->text(), QStringLiteral("Volume Label             "));
    QCOMPARE(w.captionLabel(1)->text(), QStringLiteral("Capacity\t        "));
    QCOMPARE(w.captionLabel(2)->text(), QStringLiteral("Sector Per Cluster      "));
    QCOMPARE(w.captionLabel(3)->text(), QStringLiteral("Byte Per Sector          "));
    QCOMPARE(w.captionLabel(4)->text(), QStringLiteral("File System                "));
    for (int i = 0; i < 5; ++i) {
        QVERIFY(w.captionLabel(i)->isVisible());
        QVERIFY(w.valueLabel(i)->text().isEmpty());
    }
    QVERIFY(!w.statusLine()->isVisible());
    QVERIFY(!w.progressBar()->isVisible());
    for (auto* b : {w.nextButton(), w.backButton(), w.stopButton()}) {
        QVERIFY(!b->isVisible());
        QVERIFY(!b->isEnabled());
    }
    QCOMPARE(w.nextButton()->toolTip(), QStringLiteral("Go to next step"));
    QCOMPARE(w.stopButton()->toolTip(), QStringLiteral("Stops the current process"));
    QCOMPARE(w.backButton()->toolTip(), QStringLiteral("Go to previous step"));
    QCOMPARE(w.logoButton()->toolTip(), QStringLiteral("Click here to visit software home page"));
    QCOMPARE(w.toolbarButton(0)->toolTip(), QStringLiteral("Copy the selected file(s) and folder(s) to your computer"));
    QCOMPARE(
        w.toolbarButton(2)->toolTip(),
        QStringLiteral("Saves the snapshot of scan information, so that later on you need not to scan the disk again"));
    QCOMPARE(w.toolbarButton(7)->toolTip(), QStringLiteral("Updates the software with latest changes from internet"));
    QCOMPARE(w.quickHelpText(), QStringLiteral("\r\n") + QString(20, ' ') +
                                    "1. Select the Logical Drive that contains the deleted file(s).\r\n" +
                                    QString(20, ' ') + "2. Click Next Button.");
    QVERIFY(!w.fileList()->isVisible());
    QVERIFY(!w.folderTree()->isVisible());

    // The drive tree: "My Computer" and the images given, expanded.
    QTreeWidgetItem* computer = w.driveTree()->topLevelItem(0);
    QCOMPARE(w.driveTree()->topLevelItemCount(), 1);
    QCOMPARE(computer->text(0), QStringLiteral("My Computer"));
    QVERIFY(computer->isExpanded());
    QCOMPARE(childTexts(computer).mid(0, 2), (QStringList{"Disk Image(small16.img)", "Disk Image(floppy12.img)"}));

    // An image added later appears beside them.
    w.addDriveItem(platform::imageDriveItem(m_fat16.toStdString()));
    QCOMPARE(computer->child(computer->childCount() - 1)->text(0), QStringLiteral("Disk Image(small16.img)"));

    // Settings start at 60 sectors, Rename, 3 retries on this platform family,
    // and the thorough rules.
    QCOMPARE(w.settings().SectorsPerRead, 60);
    QCOMPARE(w.settings().DuplicatePolicy, recovery::DuplicatePolicy::Rename);
    QCOMPARE(w.settings().BadSectorRetries, 3);
    QVERIFY(w.settings().ThoroughScan);
}

void RecoveryWindowTest::menuStatesFollowTheStep()
{
    RecoveryWindow w(drives(), m_devices);
    const QList<int> results{Command::RecoverSelected, Command::RecoverAll,  Command::SaveSnapshot,
                             Command::Icons,           Command::List,        Command::Details,
                             Command::FindFiles,       Command::FileFilters, Command::DriveInformation};
    const QList<int> never{Command::Exit, Command::LiveUpdate, Command::Contents, Command::About};
    auto enabled = [&w](int id) { return w.action(id)->isEnabled(); };

    for (int id : results)
        QVERIFY2(!enabled(id), qPrintable(QString::number(id)));
    QVERIFY(enabled(Command::Settings));
    QVERIFY(enabled(Command::LoadSnapshot));

    w.SetMenuState(3);
    for (int id : results)
        QVERIFY(enabled(id));
    QVERIFY(!enabled(Command::LoadSnapshot));
    QVERIFY(enabled(Command::Settings));

    // State 0 leaves Load Snapshot as it was; states 1 and 2 enable it.
    w.SetMenuState(0);
    QVERIFY(!enabled(Command::LoadSnapshot));
    for (int id : results)
        QVERIFY(!enabled(id));
    w.SetMenuState(2);
    QVERIFY(enabled(Command::LoadSnapshot));
    for (int id : results)
        QVERIFY(!enabled(id));

    // Unknown states change nothing; nothing ever grays the four fixed commands.
    w.SetMenuState(3);
    w.SetMenuState(7);
    for (int id : results)
        QVERIFY(enabled(id));
    for (int state : {0, 1, 2, 3})
        w.SetMenuState(state);
    for (int id : never)
        QVERIFY(enabled(id));
}

void RecoveryWindowTest::drivePageClicks()
{
    RecoveryWindow w(drives(), m_devices);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTreeWidget* tree = w.driveTree();
    QTreeWidgetItem* fat16 = driveItem(w, QStringLiteral("Disk Image(small16.img)"));
    QTreeWidgetItem* fat12 = driveItem(w, QStringLiteral("Disk Image(floppy12.img)"));
    QVERIFY(fat16 && fat12);

    clickItem(tree, fat16);
    QCOMPARE(w.valueLabel(1)->text(), QStringLiteral("1 MB ( Approx )")); // 2048 sectors
    QCOMPARE(w.valueLabel(2)->text(), QStringLiteral("4"));
    QCOMPARE(w.valueLabel(3)->text(), QStringLiteral("512"));
    QCOMPARE(w.valueLabel(4)->text(), QStringLiteral("FAT16"));
    QVERIFY(w.nextButton()->isVisible() && w.nextButton()->isEnabled());
    QCOMPARE(w.session().volume.geometry.GeometryKind, disk::VolumeKind::Fat16);
    QCOMPARE(tree->currentItem(), fat16);

    clickItem(tree, fat12);
    // What the drive did not give is unknown, not 0.
    QCOMPARE(w.valueLabel(1)->text(), QStringLiteral("Unknown"));
    QCOMPARE(w.valueLabel(2)->text(), QStringLiteral("Unknown"));
    QCOMPARE(w.valueLabel(3)->text(), QStringLiteral("512"));
    QCOMPARE(w.valueLabel(4)->text(), QStringLiteral("NOT READY"));
    QVERIFY(!w.nextButton()->isVisible() && !w.nextButton()->isEnabled());
    // The geometry stays the one the supported drive set.
    QCOMPARE(w.session().volume.geometry.GeometryKind, disk::VolumeKind::Fat16);
    QCOMPARE(w.session().volume.geometry.RootDirStart, 401u);

    clickItem(tree, fat16);
    QVERIFY(w.nextButton()->isVisible());

    // "My Computer" and the expand button change nothing.
    QTreeWidgetItem* computer = tree->topLevelItem(0);
    clickItem(tree, computer);
    QCOMPARE(w.valueLabel(4)->text(), QStringLiteral("FAT16"));
    QVERIFY(w.nextButton()->isVisible());
    tree->setCurrentItem(fat16);
    const QRect row = tree->visualItemRect(computer);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      QPoint(row.left() - tree->indentation() / 2, row.center().y()));
    QCOMPARE(w.valueLabel(4)->text(), QStringLiteral("FAT16"));
    QVERIFY(w.nextButton()->isVisible());
    QVERIFY(!computer->isExpanded()); // the button did its own work, and only that
    QCOMPARE(tree->currentItem(), fat16);
}

void RecoveryWindowTest::drivePageByKeyboardSaysWhyNotReady()
{
    // An empty file and one of random bytes beside the two boot sectors.
    const QString empty = m_dir.path() + QStringLiteral("/empty.img");
    const QString noise = m_dir.path() + QStringLiteral("/noise.img");
    {
        QFile e(empty), n(noise);
        QVERIFY(e.open(QIODevice::WriteOnly) && n.open(QIODevice::WriteOnly));
        QByteArray bytes(64 * 1024, '\0');
        quint32 x = 12345;
        for (char& c : bytes)
            c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
        n.write(bytes);
    }
    RecoveryWindow w({platform::imageDriveItem(m_fat16.toStdString()), platform::imageDriveItem(m_fat12.toStdString()),
                      platform::imageDriveItem(empty.toStdString()), platform::imageDriveItem(noise.toStdString())},
                     m_devices);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTreeWidget* tree = w.driveTree();
    tree->setFocus();
    tree->setCurrentItem(tree->topLevelItem(0));
    QVERIFY(!w.nextButton()->isVisible());

    // Each arrow selects the drive it lands on: the panel, the reason and Next follow.
    QTest::keyClick(tree, Qt::Key_Down);
    QCOMPARE(w.valueLabel(4)->text(), QStringLiteral("FAT16"));
    QVERIFY(w.nextButton()->isVisible() && w.nextButton()->isEnabled());
    QVERIFY(!w.statusLine()->isVisible());
    const QHash<QString, QString> why{
        {QStringLiteral("floppy12.img"), QStringLiteral("Not ready: not a FAT12, FAT16, FAT32, exFAT or NTFS volume.")},
        {QStringLiteral("empty.img"), QStringLiteral("Not ready: the file is empty.")},
        {QStringLiteral("noise.img"), QStringLiteral("Not ready: not a FAT12, FAT16, FAT32, exFAT or NTFS volume.")}};
    for (const QString name : {"floppy12.img", "empty.img", "noise.img"}) {
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(tree->currentItem()->text(0), QStringLiteral("Disk Image(%1)").arg(name));
        QCOMPARE(w.valueLabel(4)->text(), QStringLiteral("NOT READY"));
        QVERIFY(!w.nextButton()->isVisible());
        QVERIFY(w.statusLine()->isVisible());
        QCOMPARE(w.statusLine()->text(), why.value(name));
        // Enter on a drive that is not ready stays on the page.
        QTest::keyClick(tree, Qt::Key_Return);
        QCOMPARE(w.currentStep(), 0);
    }
    // Back up to the FAT16 volume; Enter goes on as Next does.
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(tree, Qt::Key_Up);
    QCOMPARE(w.valueLabel(4)->text(), QStringLiteral("FAT16"));
    QVERIFY(w.nextButton()->isVisible());
    QSignalSpy done(&w, &RecoveryWindow::scanFinished);
    QTest::keyClick(tree, Qt::Key_Enter);
    QCOMPARE(w.currentStep(), 3);
    QVERIFY(done.wait(30000));
}

void RecoveryWindowTest::partitionsImagesAndRefusedPaths()
{
    const QString disk = writeMbrDisk(m_dir.path(), m_fat16, m_fat12);
    QVERIFY(!disk.isEmpty());
    // Each partition by its number and the file system its boot sector names.
    const app::NamedDrives parts = app::namedDrives(disk);
    QVERIFY(parts.refusal.isEmpty());
    QCOMPARE(parts.items.size(), 2u);
    QCOMPARE(QString::fromStdString(parts.items[0].text), QStringLiteral("Disk Image(disk_mbr.img) 1: FAT16"));
    QCOMPARE(QString::fromStdString(parts.items[1].text), QStringLiteral("Disk Image(disk_mbr.img) 2"));
    // A folder, a missing path and a character device are refused with the reason.
    QCOMPARE(app::namedDrives(m_dir.path()).refusal,
             m_dir.path() + QStringLiteral(" is a folder. Choose a disk image file or a device."));
    QVERIFY(app::namedDrives(m_dir.path()).items.empty());
    QCOMPARE(app::namedDrives(m_dir.path() + QStringLiteral("/gone.img")).refusal,
             m_dir.path() + QStringLiteral("/gone.img does not exist."));
    QCOMPARE(app::namedDrives(QStringLiteral("/dev/null")).refusal,
             QStringLiteral("/dev/null is neither a disk image file nor a block device."));

    RecoveryWindow w(drives(), m_devices);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // Paths refused on the command line are named in one box once the window shows.
    Answer refused;
    answerWith<app::MessageBox>(QStringLiteral("&Ok"), &refused);
    w.showRefusedSources({QStringLiteral("/a does not exist."), QStringLiteral("/b is a folder.")});
    QTRY_VERIFY(refused.seen);
    QCOMPARE(refused.asked, QStringLiteral("Not listed:\n/a does not exist.\n/b is a folder."));
    QCOMPARE(refused.kind, static_cast<int>(app::MessageKind::Error));

    // An image added through the menu is selected at once: the panel shows its first partition.
    whenModal<QFileDialog>([disk](QFileDialog* d) {
        d->selectFile(disk);
        QMetaObject::invokeMethod(d, "accept");
    });
    QVERIFY(w.runIfEnabled(Command::AddDiskImage));
    QTreeWidgetItem* added = w.driveTree()->currentItem();
    QVERIFY(added != nullptr);
    QCOMPARE(added->text(0), QStringLiteral("Disk Image(disk_mbr.img) 1: FAT16"));
    QCOMPARE(w.valueLabel(4)->text(), QStringLiteral("FAT16"));
    QVERIFY(w.nextButton()->isVisible());
    QVERIFY(driveItem(w, QStringLiteral("Disk Image(disk_mbr.img) 2")) != nullptr);
    // The whole text is shown: the tree scrolls sideways rather than cutting it.
    QVERIFY(w.driveTree()->header()->sectionSize(0) >= w.driveTree()->fontMetrics().horizontalAdvance(added->text(0)));

    // The image heads Recent Images, and the next dialog opens where it was chosen.
    QCOMPARE(app::RecentPlaces::instance().images().value(0), QFileInfo(disk).absoluteFilePath());
    QString openedIn;
    whenModal<QFileDialog>([&openedIn](QFileDialog* d) {
        openedIn = d->directory().absolutePath();
        QMetaObject::invokeMethod(d, "reject");
    });
    QVERIFY(w.runIfEnabled(Command::AddDiskImage));
    QCOMPARE(openedIn, QFileInfo(disk).absolutePath());
    QMenu* recent = nullptr;
    for (QAction* action : w.menuBar()->actions().value(0)->menu()->actions())
        if (action->data().toInt() == Command::RecentImages)
            recent = action->menu();
    QVERIFY(recent != nullptr);
    emit recent->aboutToShow();
    QCOMPARE(recent->actions().value(0)->text(), QStringLiteral("&1 disk_mbr.img"));
    // An image that went away is refused with the reason and leaves the list.
    const QString gone = m_dir.path() + QStringLiteral("/gone-later.img");
    QFile::copy(disk, gone);
    app::RecentPlaces::instance().addImage(gone);
    QFile::remove(gone);
    emit recent->aboutToShow();
    QCOMPARE(recent->actions().value(0)->toolTip(), gone);
    Answer goneAnswer;
    answerWith<app::MessageBox>(QStringLiteral("&Ok"), &goneAnswer);
    recent->actions().value(0)->trigger();
    QTRY_VERIFY(goneAnswer.seen);
    QVERIFY(goneAnswer.asked.contains(QStringLiteral("does not exist")));
    QVERIFY(!app::RecentPlaces::instance().images().contains(gone));
}

void RecoveryWindowTest::skinFollowsTheColourScheme()
{
    RecoveryWindow w(drives(), m_devices);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // The quick help's plate and the caption text, as drawn.
    const auto plateLightness = [&w] {
        const QPoint inPlate = w.quickHelpLabel()->geometry().bottomRight() + QPoint(4, 0);
        return w.centralWidget()->grab().toImage().pixelColor(inPlate).lightness();
    };
    const auto captionLightness = [&w] { return w.captionLabel(1)->palette().color(QPalette::WindowText).lightness(); };
    const QPalette light = QApplication::palette();
    QVERIFY(plateLightness() > 170);
    QVERIFY(captionLightness() < 110);

    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(0x20, 0x22, 0x26));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Base, QColor(0x18, 0x1a, 0x1e));
    dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    QApplication::setPalette(dark);
    QTRY_VERIFY(plateLightness() < 90);
    QVERIFY(captionLightness() > 150);
    QApplication::setPalette(light);
    QTRY_VERIFY(plateLightness() > 170);
    QVERIFY(captionLightness() < 110);
}

void RecoveryWindowTest::shortScreensAndLongTitles()
{
    RecoveryWindow w(drives(), m_devices);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // At its smallest the window fits 800 x 500 (1600 x 1000 at scale 2) less a
    // panel and a title bar, and nothing on it overlaps.
    w.resize(w.minimumSizeHint());
    QTRY_COMPARE(w.size(), w.minimumSizeHint());
    QVERIFY2(w.height() <= 460 && w.width() <= 790,
             qPrintable(QStringLiteral("%1 x %2").arg(w.width()).arg(w.height())));
    w.statusLabel()->setText(QStringLiteral("Scanning"));
    QVERIFY(w.statusLabel()->geometry().top() > w.captionLabel(4)->geometry().bottom());
    QVERIFY(w.statusLabel()->height() >= w.statusLabel()->fontMetrics().height());
    QVERIFY(w.quickHelpLabel()->geometry().top() >= w.driveTree()->geometry().bottom());

    // A dialog shows wide enough for its title and the program's name.
    app::keepDialogTitlesWhole(qApp);
    QDialog dialog(&w);
    dialog.setWindowTitle(QStringLiteral("File/Folder Properties"));
    dialog.resize(200, 100);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.width() >= QFontMetrics(dialog.font())
                                  .horizontalAdvance(QStringLiteral("File/Folder Properties \u2014 ") +
                                                     QGuiApplication::applicationDisplayName()));
}

void RecoveryWindowTest::lostVolumeSearchAddsWhatOnlyTheDeepSearchFinds()
{
    if (m_scan32.isEmpty())
        QSKIP(qPrintable(m_noScan));
    // A FAT32 volume at sector 3000 of a disk without a table: no usual start,
    // so only reading every sector finds it.
    QFile volume(m_scan32);
    QVERIFY(volume.open(QIODevice::ReadOnly));
    const QString disk = m_dir.path() + QStringLiteral("/odd-start.img");
    QFile out(disk);
    QVERIFY(out.open(QIODevice::WriteOnly));
    QVERIFY(out.write(QByteArray(3000 * 512, '\0')) == 3000 * 512);
    QVERIFY(out.write(volume.readAll()) > 0);
    out.close();

    RecoveryWindow w(drives(), m_devices);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    for (const auto& item : platform::imageDriveItems(disk.toStdString()))
        w.addDriveItem(item);
    QTreeWidgetItem* whole = driveItem(w, QStringLiteral("Disk Image(odd-start.img)"));
    QVERIFY(whole != nullptr); // the quick search found nothing
    clickItem(w.driveTree(), whole);
    Answer told;
    answerWith<app::MessageBox>(QStringLiteral("&Ok"), &told);
    QVERIFY(w.runIfEnabled(Command::SearchLostVolumes));
    QVERIFY(told.seen);
    QVERIFY2(told.asked.contains(QStringLiteral("1 volume(s) found")), qPrintable(told.asked));
    QTreeWidgetItem* found = driveItem(w, QStringLiteral("Disk Image(odd-start.img) lost 1: FAT32"));
    QVERIFY(found != nullptr);
    QCOMPARE(w.driveTree()->currentItem(), found);
    QCOMPARE(w.valueLabel(4)->text(), QStringLiteral("FAT32"));
    // The tooltip gives the whole name (a narrow tree cuts it) and where the volume lives.
    QCOMPARE(found->toolTip(0), found->text(0) + QStringLiteral("\n") + disk + QStringLiteral("@lost1"));
}

void RecoveryWindowTest::showExistingFilesScansAgain()
{
    if (m_scan32.isEmpty())
        QSKIP(qPrintable(m_noScan));
    RecoveryWindow w(drives(), m_devices);
    QVERIFY(scanned(w, true));
    QCOMPARE(w.session().catalogue.fileCount(), 4u); // the deleted ones
    // Checked on the results page, the volume is scanned again with the file
    // still in use (Docs/keep.txt) listed beside them; unchecked, it goes.
    QSignalSpy done(&w, &RecoveryWindow::scanFinished);
    w.action(Command::ShowExistingFiles)->trigger();
    QVERIFY(done.wait(30000));
    QCOMPARE(w.currentStep(), 3);
    QCOMPARE(w.session().catalogue.fileCount(), 5u);
    w.action(Command::ShowExistingFiles)->trigger();
    QVERIFY(done.wait(30000));
    QCOMPARE(w.session().catalogue.fileCount(), 4u);
}

void RecoveryWindowTest::deniedDeviceOffersTheAdministrator()
{
    DeniedDevices denied;
    disk::DriveItem device{"Logical Disk(sdz1)", "/dev/sdz1", disk::DriveKind::Fixed, 1 << 20};
    disk::DriveItem image{"Disk Image(locked.img)", m_dir.path().toStdString() + "/locked.img", disk::DriveKind::Image,
                          1 << 20};
    RecoveryWindow w({device, image}, denied);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTreeWidget* tree = w.driveTree();

    // A click on the device says why it is not ready and offers the restart.
    Answer offer;
    answerWith<app::MessageBox>(QStringLiteral("&No"), &offer);
    clickItem(tree, driveItem(w, QStringLiteral("Logical Disk(sdz1)")));
    QVERIFY(offer.seen);
    // No disk manager answers on this test's system bus: the restart is what is left.
    QVERIFY2(offer.asked.contains(QStringLiteral("/dev/sdz1")) &&
                 offer.asked.contains(QStringLiteral("administrator")) &&
                 offer.asked.contains(QStringLiteral("UDisks2")),
             qPrintable(offer.asked));
    QCOMPARE(w.valueLabel(4)->text(), QStringLiteral("NOT READY"));
    QVERIFY(w.statusLine()->text().contains(QStringLiteral("permission denied")));
    QVERIFY(w.isVisible()); // No keeps the program as it is

    // Neither an image file nor the arrow keys passing over the device ask.
    Answer unasked;
    answerWith<app::MessageBox>(QStringLiteral("&No"), &unasked);
    clickItem(tree, driveItem(w, QStringLiteral("Disk Image(locked.img)")));
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Up);
    QCOMPARE(tree->currentItem()->text(0), QStringLiteral("Logical Disk(sdz1)"));
    QTest::qWait(50);
    QVERIFY(!unasked.seen);
    // Enter on it asks again.
    QTest::keyClick(tree, Qt::Key_Return);
    QVERIFY(unasked.seen);

    // The administrator refused is told the system's reason, and offered nothing.
    DeniedDevices deniedRoot(true);
    RecoveryWindow root({device}, deniedRoot);
    root.show();
    QVERIFY(QTest::qWaitForWindowExposed(&root));
    Answer told;
    answerWith<app::MessageBox>(QStringLiteral("&Ok"), &told);
    clickItem(root.driveTree(), driveItem(root, QStringLiteral("Logical Disk(sdz1)")));
    QVERIFY(told.seen);
    QVERIFY2(told.asked.contains(QStringLiteral("even for root")) && !told.asked.contains(QStringLiteral("UDisks2")),
             qPrintable(told.asked));
}

void RecoveryWindowTest::thoroughScanShowsEachPhase()
{
    if (m_scan32.isEmpty())
        QSKIP(qPrintable(m_noScan));
    GatedDevices devices;
    OpenOnExit opener{devices.gate};
    RecoveryWindow w(drives(), devices);
    w.settings().ThoroughScan = true;
    QVERIFY(onDrive(w, QStringLiteral("Disk Image(scan32.img)")));
    devices.gate.close();
    QSignalSpy done(&w, &RecoveryWindow::scanFinished);
    QTest::mouseClick(w.nextButton(), Qt::LeftButton);
    // Read by read, the folder walk shows in the status line with its count and
    // a progress of its own. (The quick scan reads no free space: the phase
    // that does belongs to the deep search, tested with it.)
    QString phase;
    const QRegularExpression counted(QStringLiteral("^(Reading folders): (\\d+) of (\\d+)$"));
    for (int i = 0; i < 20000 && done.isEmpty() && phase.isEmpty(); ++i) {
        // One read at a time: a worker starved by a busy machine must not
        // run through the walk on reads let through earlier.
        devices.gate.step();
        QTest::qWait(1);
        const QString text = w.statusLine()->text();
        const QRegularExpressionMatch m = counted.match(text);
        if (!m.hasMatch())
            continue;
        QVERIFY2(m.captured(2).toUInt() <= m.captured(3).toUInt(), qPrintable(text));
        QVERIFY(w.progressBar()->isVisible());
        phase = m.captured(1);
    }
    devices.gate.open();
    QVERIFY(done.wait(30000) || !done.isEmpty());
    QCOMPARE(phase, QStringLiteral("Reading folders"));

    // The MFT walk's place, given in sectors, reads as records under these rules.
    w.mutableSession().volume.geometry.GeometryKind = disk::VolumeKind::Ntfs;
    w.mutableSession().volume.geometry.MftRecordSectors = 2;
    session::ScanProgress walk;
    walk.statusCode = catalogue::StatusReport{catalogue::StatusCode::ReadingMftSectors, 2048, 80000};
    QCOMPARE(w.statusText(walk), QStringLiteral("Reading MFT records: 1024 of 40000"));
    w.settings().ThoroughScan = false;
    QCOMPARE(w.statusText(walk), QStringLiteral("Reading 2048\\80000"));
    // A status that came as text only is shown as it came.
    walk.statusCode.reset();
    walk.status = "Reading 12\\34";
    QCOMPARE(w.statusText(walk), QStringLiteral("Reading 12\\34"));
}

void RecoveryWindowTest::toolbarActsOnlyWhenItsCommandIsEnabled()
{
    RecoveryWindow w(drives(), m_devices);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QSignalSpy requested(&w, &RecoveryWindow::commandRequested);

    // Drive page: Recover Selected, Recover All, Save Snapshot, Find Files and
    // Deep Search are grayed.
    for (int i : {0, 1, 2, 4, 5})
        QTest::mouseClick(w.toolbarButton(i), Qt::LeftButton);
    QCOMPARE(requested.count(), 0);
    // Load Snapshot is enabled on the drive page and reaches its handler, whose
    // chooser is cancelled here.
    Answer load;
    answerWith(QStringLiteral("Cancel"), &load);
    QTest::mouseClick(w.toolbarButton(3), Qt::LeftButton);
    QVERIFY(load.seen);
    QCOMPARE(load.title, QStringLiteral("Load Recovery Snapshot"));
    QCOMPARE(requested.count(), 1);
    QCOMPARE(requested.takeFirst().at(0).toInt(), Command::LoadSnapshot);

    // The buttons of grayed commands look grayed; Live Update always acts.
    for (int i : {0, 1, 2, 4, 5})
        QVERIFY(!w.toolbarButton(i)->isEnabled());
    for (int i : {3, 6, 7})
        QVERIFY(w.toolbarButton(i)->isEnabled());

    // Settings acts on every step: its dialog opens, centred on the window,
    // and the button under the pointer is no longer highlighted once it closes.
    Answer settings;
    QPoint dialogCentre;
    whenModal([&settings, &dialogCentre](QDialog* dialog) {
        settings.seen = true;
        settings.title = dialog->windowTitle();
        dialogCentre = dialog->geometry().center();
        dialog->reject();
    });
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), w.toolbarButton(6)->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(w.toolbarButton(6), &enter);
    QVERIFY(w.toolbarButton(6)->isHighlighted());
    QTest::mouseClick(w.toolbarButton(6), Qt::LeftButton);
    QVERIFY(settings.seen);
    QCOMPARE(settings.title, QStringLiteral("Recovery Settings"));
    QVERIFY(!w.toolbarButton(6)->isHighlighted());
    QVERIFY2((dialogCentre - w.geometry().center()).manhattanLength() < 40,
             qPrintable(QStringLiteral("dialog centre %1,%2").arg(dialogCentre.x()).arg(dialogCentre.y())));

    w.SetMenuState(3);
    QVERIFY(w.toolbarButton(0)->isEnabled() && !w.toolbarButton(3)->isEnabled());
    QTest::mouseClick(w.toolbarButton(0), Qt::LeftButton);
    QTest::mouseClick(w.toolbarButton(3), Qt::LeftButton); // grayed in state 3
    QCOMPARE(requested.count(), 1);
    QCOMPARE(requested.takeFirst().at(0).toInt(), Command::RecoverSelected);

    // Live Update always acts: it says where updates come from.
    w.SetMenuState(0);
    Answer update;
    answerWith(QStringLiteral("&Ok"), &update);
    QTest::mouseClick(w.toolbarButton(7), Qt::LeftButton);
    QVERIFY(update.seen);
    QVERIFY(update.asked.contains(QStringLiteral("package manager")));
}

void RecoveryWindowTest::windowResizesWithItsLists()
{
    RecoveryWindow w(drives(), m_devices);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QWidget* panel = w.centralWidget();
    const QSize smallest = panel->size();
    const QRect tree = w.driveTree()->geometry();
    const QRect list = w.fileList()->geometry();
    const QRect next = w.nextButton()->geometry();
    const QRect help = w.toolbarButton(6)->geometry();

    // Larger: the skin covers the panel, the lists grow, Next keeps its
    // distance from the corner and the toolbar stays.
    w.resize(w.size() + QSize(200, 150));
    QTRY_COMPARE(panel->size(), smallest + QSize(200, 150));
    QCOMPARE(panel->mask().boundingRect().size(), panel->size());
    QCOMPARE(w.driveTree()->height(), tree.height() + 150);
    QCOMPARE(w.fileList()->size(), list.size() + QSize(200, 150));
    QCOMPARE(w.nextButton()->geometry(), next.translated(200, 150));
    QCOMPARE(w.toolbarButton(6)->geometry(), help);

    // Never smaller than its layout needs; Next keeps its distance from the corner.
    w.resize(200, 100);
    QTRY_COMPARE(panel->size(), panel->minimumSizeHint());
    QVERIFY(panel->width() > 600 && panel->height() > 400);
    const QSize less = panel->size() - smallest;
    QCOMPARE(w.nextButton()->geometry(), next.translated(less.width(), less.height()));
}

void RecoveryWindowTest::scanReachesResultsWithTreeAndRows()
{
    if (m_scan32.isEmpty())
        QSKIP(qPrintable(m_noScan));
    RecoveryWindow w(drives(), m_devices);
    QVERIFY(scanned(w));

    QCOMPARE(w.currentStep(), 3);
    QVERIFY(w.backButton()->isVisible() && w.backButton()->isEnabled());
    QVERIFY(!w.nextButton()->isVisible());
    QVERIFY(!w.stopButton()->isVisible());
    QVERIFY(!w.progressBar()->isVisible());
    QVERIFY(!w.driveTree()->isVisible());
    QVERIFY(w.folderTree()->isVisible() && w.folderTree()->isEnabled());
    QVERIFY(w.fileList()->isVisible());
    for (int i = 0; i < 5; ++i)
        QVERIFY(!w.captionLabel(i)->isVisible() && !w.valueLabel(i)->isVisible());
    QVERIFY(!w.statusLine()->isVisible());
    // Beside Back, the rules that made the list.
    QVERIFY(w.rulesLabel()->isVisible());
    QCOMPARE(w.rulesLabel()->text(), QStringLiteral("Classic scan"));
    QVERIFY(w.action(Command::RecoverAll)->isEnabled());
    QVERIFY(!w.action(Command::LoadSnapshot)->isEnabled());
    QVERIFY(!w.focusOnTree());
    QVERIFY(w.quickHelpText().endsWith(QStringLiteral("\r\n") + QString(16, ' ') +
                                       "You can open a file by Double Clicking it."));

    // The folder tree: Root > Docs > Old, Root > Pics, in catalogue order.
    QCOMPARE(w.folderTree()->topLevelItemCount(), 1);
    QTreeWidgetItem* root = w.folderTree()->topLevelItem(0);
    QCOMPARE(root->text(0), QStringLiteral("Root"));
    QCOMPARE(childTexts(root), (QStringList{"Docs", "Pics"}));
    QCOMPARE(childTexts(root->child(0)), (QStringList{"Old"}));
    QCOMPARE(root->child(1)->childCount(), 0);

    // The root's rows: folders first, then the deleted file with its platform type name.
    const app::FileListModel& model = *w.fileListModel();
    QCOMPARE(model.columnCount(), 7);
    QStringList headers;
    for (int c = 0; c < model.columnCount(); ++c)
        headers << model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    QCOMPARE(headers, (QStringList{"Name", "Type", "Size", "Created", "Modified", "ID", "Condition"}));
    // Nothing was written after the deletion: the file's cluster is free; folders have no condition.
    QCOMPARE(rowTexts(model, app::FileListModel::Condition), (QStringList{"", "", "Good"}));
    QCOMPARE(rowTexts(model, 0), (QStringList{"Docs", "Pics", "xEPORT.PDF"}));
    QCOMPARE(rowTexts(model, 1), (QStringList{"Folder", "Folder", "Deleted " + pdfTypeName()}));
    QVERIFY(pdfTypeName() != QStringLiteral("PDF File")); // the desktop's name, not the fallback
    QCOMPARE(rowTexts(model, 2), (QStringList{"0", "0", "6"}));
    QCOMPARE(model.headerData(2, Qt::Horizontal, Qt::TextAlignmentRole).toInt(),
             int(Qt::AlignRight | Qt::AlignVCenter));
    // A folder row's ID is its tree item.
    QCOMPARE(w.folderItem(static_cast<std::uint32_t>(model.key(0))), root->child(0));
    QCOMPARE(w.folderItem(static_cast<std::uint32_t>(model.key(1))), root->child(1));
    // Its ID column says it is a folder's number, never a file's.
    QCOMPARE(model.text(0, 5), QStringLiteral("D") + QString::number(model.key(0)));
    // FAT dates read dd-mm-yyyy and a blank; mtools stamped them today.
    QCOMPARE(model.text(2, 3), QDate::currentDate().toString(QStringLiteral("dd-MM-yyyy ")));
    QVERIFY(!model.data(model.index(0, 0), Qt::DecorationRole).value<QIcon>().isNull());
    QVERIFY(!model.data(model.index(2, 0), Qt::DecorationRole).value<QIcon>().isNull());
    QCOMPARE(w.session().catalogue.folderCount(), 3u);
    QCOMPARE(w.session().catalogue.fileCount(), 4u);
}

void RecoveryWindowTest::resultsNavigationAndViewModes()
{
    if (m_scan32.isEmpty())
        QSKIP(qPrintable(m_noScan));
    RecoveryWindow w(drives(), m_devices);
    QVERIFY(scanned(w));
    QTreeWidget* tree = w.folderTree();
    QTreeWidgetItem* root = tree->topLevelItem(0);
    const app::FileListModel& model = *w.fileListModel();

    // A click on a folder in the tree lists it.
    clickItem(tree, root->child(0));
    QVERIFY(w.focusOnTree());
    QCOMPARE(tree->currentItem(), root->child(0));
    QCOMPARE(rowTexts(model, 0), (QStringList{"Old", "xOTES.TXT"}));
    QVERIFY(rowTexts(model, 1).at(1).startsWith(QStringLiteral("Deleted ")));

    // A double-click on a folder row moves the tree to it.
    QTableView* details = w.detailsView();
    const QRect oldRow = details->visualRect(model.index(0, 0));
    // As the system delivers it: a click, then the second press as a double-click.
    QTest::mouseClick(details->viewport(), Qt::LeftButton, {}, oldRow.center());
    QVERIFY(!w.focusOnTree());
    QTest::mouseDClick(details->viewport(), Qt::LeftButton, {}, oldRow.center());
    QCOMPARE(tree->currentItem(), root->child(0)->child(0));
    QCOMPARE(rowTexts(model, 0), (QStringList{"xETTER.DOC"}));
    QVERIFY(w.focusOnTree());

    // Tab moves between the tree and the list; Enter on the tree lists its folder.
    tree->setFocus();
    tree->setCurrentItem(root->child(1));
    QTest::keyClick(tree, Qt::Key_Return);
    QCOMPARE(rowTexts(model, 0), (QStringList{"xOLIDAY.JPG"}));
    QTest::keyClick(tree, Qt::Key_Tab);
    QVERIFY(!w.focusOnTree());
    QTest::keyClick(details, Qt::Key_Tab);
    QVERIFY(w.focusOnTree());

    // Clicking the root shows the root directory again.
    clickItem(tree, root);
    QCOMPARE(rowTexts(model, 0), (QStringList{"Docs", "Pics", "xEPORT.PDF"}));

    // View modes.
    w.action(Command::Icons)->trigger();
    QCOMPARE(w.viewMode(), app::ViewMode::Icons);
    QVERIFY(w.iconListView()->isVisible() && !details->isVisible());
    QCOMPARE(w.iconListView()->flow(), QListView::LeftToRight);
    w.action(Command::List)->trigger();
    QCOMPARE(w.viewMode(), app::ViewMode::List);
    QCOMPARE(w.iconListView()->flow(), QListView::TopToBottom);
    QCOMPARE(w.iconListView()->model()->rowCount(), 3);
    w.action(Command::Details)->trigger();
    QVERIFY(details->isVisible() && !w.iconListView()->isVisible());
    QVERIFY(details->showGrid());
    w.action(Command::Icons)->trigger();

    // Back returns to the drive page in the details view, the drive scanned
    // still chosen: Next is offered again.
    QTest::mouseClick(w.backButton(), Qt::LeftButton);
    QCOMPARE(w.currentStep(), 0);
    QCOMPARE(w.viewMode(), app::ViewMode::Details);
    QVERIFY(w.driveTree()->isVisible() && w.driveTree()->isEnabled());
    QVERIFY(!tree->isVisible() && !w.fileList()->isVisible() && !w.rulesLabel()->isVisible());
    QVERIFY(w.nextButton()->isVisible() && !w.backButton()->isVisible());
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(w.captionLabel(0)->text(), QStringLiteral("Volume Label             "));
    QCOMPARE(w.captionLabel(4)->text(), QStringLiteral("File System                "));
    QVERIFY(w.action(Command::LoadSnapshot)->isEnabled());
    QVERIFY(!w.action(Command::DriveInformation)->isEnabled());
    QVERIFY(w.quickHelpText().startsWith(QStringLiteral("\r\n") + QString(24, ' ') + "1. Select"));
    // The catalogue stays after Back.
    QCOMPARE(w.session().catalogue.folderCount(), 3u);
}

void RecoveryWindowTest::resultsListSortsScrollsAndFollowsTheTree()
{
    if (m_scan32.isEmpty())
        QSKIP(qPrintable(m_noScan));
    RecoveryWindow w(drives(), m_devices);
    QVERIFY(scanned(w));
    QTreeWidget* tree = w.folderTree();
    QTreeWidgetItem* root = tree->topLevelItem(0);
    QTableView* details = w.detailsView();
    app::FileListModel& model = *w.fileListModel();
    QCOMPARE(shownTexts(model, 0), (QStringList{"Docs", "Pics", "xEPORT.PDF"}));

    // A header click orders what is shown, folders first; the rows the commands
    // work on keep the catalogue's order and the selection stays on its row.
    const QStringList catalogueOrder = rowTexts(model, 0);
    details->selectionModel()->setCurrentIndex(model.index(1, 0),
                                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QHeaderView* header = details->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
    QCOMPARE(header->sortIndicatorSection(), 0);
    QCOMPARE(shownTexts(model, 0), (QStringList{"Pics", "Docs", "xEPORT.PDF"}));
    QCOMPARE(rowTexts(model, 0), catalogueOrder);
    QCOMPARE(model.text(w.currentRow(), 0), QStringLiteral("Pics"));
    QCOMPARE(w.selectedRows(), (std::vector<bool>{false, true, false}));

    // Home and End go to the first and last row without scrolling sideways.
    details->setColumnWidth(0, 3000);
    QTRY_VERIFY(details->horizontalScrollBar()->maximum() > 400);
    details->horizontalScrollBar()->setValue(400);
    details->setFocus();
    QTest::keyClick(details, Qt::Key_End);
    QCOMPARE(details->currentIndex().row(), 2);
    QCOMPARE(details->horizontalScrollBar()->value(), 400);
    QTest::keyClick(details, Qt::Key_Home);
    QCOMPARE(details->currentIndex().row(), 0);
    QCOMPARE(details->horizontalScrollBar()->value(), 400);

    // The arrow keys in the tree list the folder they reach, from the left edge.
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Down);
    QCOMPARE(tree->currentItem(), root->child(0));
    QCOMPARE(rowTexts(model, 0), (QStringList{"Old", "xOTES.TXT"}));
    QCOMPARE(details->horizontalScrollBar()->value(), 0);
    QTest::keyClick(tree, Qt::Key_Up);
    QCOMPARE(rowTexts(model, 0), catalogueOrder);

    // A scan again shows its rows in the catalogue's order.
    QTest::mouseClick(w.backButton(), Qt::LeftButton);
    QVERIFY(scanned(w));
    QCOMPARE(header->sortIndicatorSection(), -1);
    QCOMPARE(shownTexts(model, 0), catalogueOrder);

    // A size of ten digits shows whole.
    catalogue::FileRow big;
    big.name = "big.bin";
    big.size = 1500000000;
    model.setRows({big});
    const QString shown = details->fontMetrics().elidedText(QString::number(big.size), Qt::ElideRight,
                                                            details->columnWidth(app::FileListModel::Size) - 8);
    QCOMPARE(shown, QStringLiteral("1500000000"));
}

void RecoveryWindowTest::backThenNextScansAgain()
{
    if (m_scan32.isEmpty())
        QSKIP(qPrintable(m_noScan));
    RecoveryWindow w(drives(), m_devices);
    QVERIFY(scanned(w));
    QTest::mouseClick(w.backButton(), Qt::LeftButton);
    // Pick something else first: the second scan runs on the drive clicked last.
    clickItem(w.driveTree(), driveItem(w, QStringLiteral("Disk Image(floppy12.img)")));
    QVERIFY(!w.nextButton()->isVisible());
    QVERIFY(scanned(w));
    QTreeWidgetItem* root = w.folderTree()->topLevelItem(0);
    QCOMPARE(w.folderTree()->topLevelItemCount(), 1);
    QCOMPARE(childTexts(root), (QStringList{"Docs", "Pics"}));
    QCOMPARE(rowTexts(*w.fileListModel(), 0), (QStringList{"Docs", "Pics", "xEPORT.PDF"}));
    QCOMPARE(w.session().catalogue.fileCount(), 4u);
}

void RecoveryWindowTest::stopAnsweredNoRunsToTheEnd()
{
    if (m_scan32.isEmpty())
        QSKIP(qPrintable(m_noScan));
    GatedDevices devices;
    OpenOnExit opener{devices.gate};
    RecoveryWindow w(drives(), devices);
    QVERIFY(onDrive(w, QStringLiteral("Disk Image(scan32.img)")));
    devices.gate.close();
    QSignalSpy done(&w, &RecoveryWindow::scanFinished);
    QTest::mouseClick(w.nextButton(), Qt::LeftButton);

    // While it runs: the scan layout, Stop offered, drive tree disabled, menus grayed.
    QTRY_VERIFY(w.stopButton()->isVisible());
    QVERIFY(w.scanRunning());
    QCOMPARE(w.captionLabel(0)->text(), QStringLiteral("Folder(s) Found         "));
    QCOMPARE(w.captionLabel(1)->text(), QStringLiteral("File(s) Found            "));
    QCOMPARE(w.captionLabel(2)->text(), QStringLiteral("Current Sector          "));
    QCOMPARE(w.captionLabel(3)->text(), QStringLiteral("Last File/Folder       "));
    QVERIFY(!w.captionLabel(4)->isVisible());
    // The thorough rules name their first phase at once, in place of the mounting text.
    QTRY_COMPARE(w.statusLine()->text(), QStringLiteral("Reading the root folder"));
    QVERIFY(w.progressBar()->isVisible());
    QCOMPARE(w.progressBar()->text(), QStringLiteral("0%"));
    QVERIFY(!w.driveTree()->isEnabled());
    QVERIFY(!w.nextButton()->isVisible() && !w.backButton()->isVisible());
    QVERIFY(!w.action(Command::DriveInformation)->isEnabled());
    QVERIFY(!w.action(Command::LoadSnapshot)->isEnabled());
    QVERIFY(w.quickHelpText().contains(QStringLiteral("Sarvik is searching the data")));

    Answer stop;
    answerWith(QStringLiteral("&No"), &stop);
    QTest::mouseClick(w.stopButton(), Qt::LeftButton);
    QVERIFY(stop.seen);
    QCOMPARE(stop.asked, QStringLiteral("Do you want to stop the current process ?"));
    QCOMPARE(stop.kind, int(app::MessageKind::Question));
    devices.gate.open();
    QVERIFY(done.wait(30000));
    QCOMPARE(w.session().catalogue.folderCount(), 3u);
    QCOMPARE(w.session().catalogue.fileCount(), 4u);
}

void RecoveryWindowTest::stopAnsweredYesEndsWithWhatWasFound()
{
    if (m_scan32.isEmpty())
        QSKIP(qPrintable(m_noScan));
    GatedDevices devices;
    OpenOnExit opener{devices.gate};
    RecoveryWindow w(drives(), devices);
    QVERIFY(onDrive(w, QStringLiteral("Disk Image(scan32.img)")));
    devices.gate.close();
    QSignalSpy done(&w, &RecoveryWindow::scanFinished);
    QTest::mouseClick(w.nextButton(), Qt::LeftButton);
    QTRY_VERIFY(w.stopButton()->isVisible());

    answerWith(QStringLiteral("&Yes"));
    QTest::mouseClick(w.stopButton(), Qt::LeftButton);
    devices.gate.open();
    QVERIFY(done.wait(30000));
    // The engine was held before its first directory read, so the folders below
    // the root were never read; the results still show and Back is offered.
    QVERIFY2(w.session().catalogue.folderCount() < 3u,
             qPrintable(QString::number(w.session().catalogue.folderCount())));
    QCOMPARE(w.currentStep(), 3);
    QVERIFY(w.backButton()->isVisible());
    QVERIFY(!w.stopButton()->isVisible());
    QCOMPARE(w.folderTree()->topLevelItem(0)->text(0), QStringLiteral("Root"));
    QVERIFY(!w.scanRunning());
    // The page says its list is partial, until a scan that runs to its end.
    QVERIFY(w.stoppedNote()->isVisible());
    QCOMPARE(w.stoppedNote()->text(), QStringLiteral("Stopped: results are partial"));
    QTest::mouseClick(w.backButton(), Qt::LeftButton);
    QVERIFY(!w.stoppedNote()->isVisible());
    QVERIFY(scanned(w));
    QVERIFY(!w.stoppedNote()->isVisible());
}

void RecoveryWindowTest::closingDuringAScanStopsAndJoinsIt()
{
    if (m_scan32.isEmpty())
        QSKIP(qPrintable(m_noScan));
    GatedDevices devices;
    OpenOnExit opener{devices.gate};
    auto w = std::make_unique<RecoveryWindow>(drives(), devices);
    QVERIFY(onDrive(*w, QStringLiteral("Disk Image(scan32.img)")));
    devices.gate.close();
    QTest::mouseClick(w->nextButton(), Qt::LeftButton);
    QTRY_VERIFY(w->stopButton()->isVisible());

    answerWith(QStringLiteral("&Yes"));
    QVERIFY(w->close());
    QVERIFY(w->scanRunning()); // still held at its read
    // The window goes while the worker waits; the reads resume a moment later
    // and the worker must end at its next check rather than scan on.
    std::thread release([&devices] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        devices.gate.open();
    });
    QElapsedTimer timer;
    timer.start();
    w.reset();
    release.join();
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
}

// Stop takes the focus when the scan starts: Space, Enter and Esc each ask;
// Back takes the focus as well and answers Enter.
void RecoveryWindowTest::stopAndBackAnswerTheKeyboard()
{
    if (m_scan32.isEmpty())
        QSKIP(qPrintable(m_noScan));
    GatedDevices devices;
    OpenOnExit opener{devices.gate};
    RecoveryWindow w(drives(), devices);
    QVERIFY(onDrive(w, QStringLiteral("Disk Image(scan32.img)")));
    QVERIFY(QTest::qWaitForWindowActive(&w));
    devices.gate.close();
    QSignalSpy done(&w, &RecoveryWindow::scanFinished);
    QTest::keyClick(w.driveTree(), Qt::Key_Return);
    QVERIFY(w.scanRunning());
    QVERIFY(w.stopButton()->hasFocus());
    QVERIFY(w.action(Command::Stop)->isEnabled());
    QVERIFY(!w.action(Command::Back)->isEnabled());
    for (const Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Escape}) {
        Answer asked;
        answerWith(key == Qt::Key_Escape ? QStringLiteral("&Yes") : QStringLiteral("&No"), &asked);
        // The offscreen platform leaves the window inactive after a box: a
        // desktop gives it back, and with it the focus to Stop.
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QVERIFY(w.stopButton()->hasFocus());
        QTest::keyClick(w.stopButton(), key);
        QCOMPARE(asked.asked, QStringLiteral("Do you want to stop the current process ?"));
        QVERIFY(w.scanRunning());
    }
    devices.gate.open();
    QVERIFY(done.wait(30000));
    QVERIFY(w.stoppedNote()->isVisible());
    QVERIFY(w.action(Command::Back)->isEnabled());
    QVERIFY(!w.action(Command::Stop)->isEnabled());

    w.backButton()->setFocus();
    QTest::keyClick(w.backButton(), Qt::Key_Return);
    QCOMPARE(w.currentStep(), 0);
}

void RecoveryWindowTest::ntfsScanReachesResults()
{
    const QString image = QStringLiteral(SARVIK_TEST_VOLUMES "/ntfs.img");
    if (!QFileInfo::exists(image))
        QSKIP("no NTFS test volume: run tools/make-test-volumes.sh");
    RecoveryWindow w({platform::imageDriveItem(image.toStdString())}, m_devices);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    clickItem(w.driveTree(), w.driveTree()->topLevelItem(0)->child(0));
    QCOMPARE(w.valueLabel(4)->text(), QStringLiteral("NTFS"));
    QSignalSpy done(&w, &RecoveryWindow::scanFinished);
    QTest::mouseClick(w.nextButton(), Qt::LeftButton);
    // NTFS leaves the status line empty at the start instead of the mounting text.
    QVERIFY(w.statusLine()->text() != QStringLiteral("Mounting volume, please wait..."));
    QVERIFY(done.wait(60000));

    QTreeWidgetItem* root = w.folderTree()->topLevelItem(0);
    QVERIFY(root->childCount() > 0);
    const app::FileListModel& model = *w.fileListModel();
    QVERIFY(model.rowCount() > 0);
    // Folders first, each folder row naming its tree item; every file row deleted.
    bool inFiles = false;
    for (int r = 0; r < model.rowCount(); ++r) {
        const QString type = model.text(r, app::FileListModel::Type);
        const bool folder = type == QLatin1String("Folder") || type == QLatin1String("Deleted Folder");
        QVERIFY2(!(folder && inFiles), qPrintable(model.text(r, 0)));
        inFiles = inFiles || !folder;
        if (folder) {
            QTreeWidgetItem* item = w.folderItem(static_cast<std::uint32_t>(model.key(r)));
            QVERIFY(item != nullptr);
            QCOMPARE(item->text(0), model.text(r, 0));
            QCOMPARE(item->parent(), root);
        } else {
            QVERIFY2(type.startsWith(QStringLiteral("Deleted ")), qPrintable(type));
            // NTFS dates read d-m-yyyy h:m:s.
            QVERIFY(QRegularExpression(QStringLiteral("^\\d{1,2}-\\d{1,2}-\\d{4} \\d{1,2}:\\d{1,2}:\\d{1,2}$"))
                        .match(model.text(r, app::FileListModel::Created))
                        .hasMatch());
        }
    }
    QVERIFY(inFiles);

    QStringList values;
    whenModal([&](QDialog* dialog) {
        if (auto* box = qobject_cast<app::DriveInformationDialog*>(dialog))
            for (int i = 0; i < app::DriveInformationDialog::kRows; ++i)
                values << box->value(i);
        dialog->accept();
    });
    w.action(Command::DriveInformation)->trigger();
    QCOMPARE(values.size(), 8);
    QCOMPARE(values.at(0), QStringLiteral("NTFS"));
    QCOMPARE(values.at(1), QStringLiteral("0"));
    QCOMPARE(values.at(5), QStringLiteral("N/A"));
    QCOMPARE(values.at(6), QStringLiteral("N/A"));
    QCOMPARE(values.at(7), QString::number(w.session().volume.geometry.MftStartSector));
    QVERIFY(values.at(7).toULongLong() > 0);
}

void RecoveryWindowTest::exitAndCloseBoxAskFirst()
{
    RecoveryWindow w(drives(), m_devices);
    QVERIFY(onDrive(w, QStringLiteral("Disk Image(small16.img)")));

    Answer asked;
    answerWith(QStringLiteral("&No"), &asked);
    w.action(Command::Exit)->trigger();
    QVERIFY(asked.seen);
    QCOMPARE(asked.asked, QStringLiteral("Do you really want to exit ?"));
    QCOMPARE(asked.title, QStringLiteral("Velmora Sarvik Undelete"));
    QVERIFY(w.isVisible());
    QCOMPARE(w.valueLabel(4)->text(), QStringLiteral("FAT16"));

    // The close box asks too; No keeps the window.
    answerWith(QStringLiteral("&No"));
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());

    answerWith(QStringLiteral("&Yes"));
    w.action(Command::Exit)->trigger();
    QVERIFY(!w.isVisible());
}

void RecoveryWindowTest::helpAndLiveUpdateAnswer()
{
    RecoveryWindow w(drives(), m_devices);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(w.startDirectory().endsWith('/'));

    // Contents and F1 show the help shipped inside the program.
    QString shown;
    auto readHelp = [&shown] {
        whenModal<app::HelpDialog>([&shown](app::HelpDialog* dialog) {
            shown = dialog->browser()->toPlainText();
            dialog->reject();
        });
    };
    readHelp();
    w.action(Command::Contents)->trigger();
    QVERIFY2(shown.contains(QStringLiteral("Recovering files in three steps")), qPrintable(shown));
    shown.clear();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    readHelp();
    QTest::keyClick(&w, Qt::Key_F1);
    QVERIFY(shown.contains(QStringLiteral("Home / End")));

    Answer update;
    answerWith(QStringLiteral("&Ok"), &update);
    w.action(Command::LiveUpdate)->trigger();
    QCOMPARE(update.kind, int(app::MessageKind::Information));
    QVERIFY(update.asked.contains(QStringLiteral("package manager")));
    QVERIFY(w.isVisible());

    // The About box states the licence the program is distributed under.
    Answer about;
    answerWith(QStringLiteral("&Ok"), &about);
    w.action(Command::About)->trigger();
    QVERIFY(about.seen);
    QVERIFY2(about.asked.contains(QStringLiteral("GNU General Public License")) &&
                 about.asked.contains(QStringLiteral("GPL-3.0-or-later")),
             qPrintable(about.asked));
    QVERIFY(!about.asked.contains(QStringLiteral("All rights reserved")));
    QVERIFY(about.asked.contains(QApplication::applicationVersion()));
}

void RecoveryWindowTest::settingsDialogKeepsOrChangesValues()
{
    recovery::RecoverySettings values = recovery::RecoverySettings::startup('N');
    {
        app::RecoverySettingsDialog dialog(values);
        QCOMPARE(dialog.sectorsList()->count(), 100);
        QCOMPARE(dialog.retriesList()->count(), 10);
        QCOMPARE(dialog.sectorsList()->currentText(), QStringLiteral("60"));
        QCOMPARE(dialog.retriesList()->currentText(), QStringLiteral("3"));
        QVERIFY(dialog.policyButton(1)->isChecked());
        QVERIFY(dialog.policyButton(1)->text().isEmpty()); // the label beside it carries the text
        dialog.accept();
    }
    QCOMPARE(values.SectorsPerRead, 60);
    QCOMPARE(values.DuplicatePolicy, recovery::DuplicatePolicy::Rename);
    QCOMPARE(values.BadSectorRetries, 3);
    {
        app::RecoverySettingsDialog dialog(values);
        dialog.sectorsList()->setCurrentIndex(0);
        dialog.retriesList()->setCurrentIndex(9);
        dialog.policyButton(3)->setChecked(true);
        dialog.reject();
    }
    QCOMPARE(values.SectorsPerRead, 60);
    QCOMPARE(values.DuplicatePolicy, recovery::DuplicatePolicy::Rename);
    QCOMPARE(values.BadSectorRetries, 3);
    {
        app::RecoverySettingsDialog dialog(values);
        dialog.sectorsList()->setCurrentIndex(99);
        dialog.retriesList()->setCurrentIndex(0);
        dialog.policyButton(2)->setChecked(true);
        dialog.accept();
    }
    QCOMPARE(values.SectorsPerRead, 100);
    QCOMPARE(values.DuplicatePolicy, recovery::DuplicatePolicy::Overwrite);
    QCOMPARE(values.BadSectorRetries, 1);
    // A value outside the lists selects nothing and survives OK.
    values.DuplicatePolicy = 9;
    {
        app::RecoverySettingsDialog dialog(values);
        QVERIFY(!dialog.policyButton(1)->isChecked() && !dialog.policyButton(2)->isChecked() &&
                !dialog.policyButton(3)->isChecked());
        dialog.accept();
    }
    QCOMPARE(values.DuplicatePolicy, 9);
    QCOMPARE(recovery::RecoverySettings::startup('F').SectorsPerRead, 8);

    // The search of free space after every scan: off at start-up, and only
    // with the thorough rules, whose passes they are.
    QVERIFY(!values.DeepSearch);
    {
        app::RecoverySettingsDialog dialog(values);
        QVERIFY(dialog.deepBox()->isEnabled() && !dialog.deepBox()->isChecked());
        dialog.deepBox()->setChecked(true);
        dialog.thoroughBox()->setChecked(false);
        QVERIFY(!dialog.deepBox()->isEnabled());
        dialog.thoroughBox()->setChecked(true);
        dialog.accept();
    }
    QVERIFY(values.DeepSearch && values.ThoroughScan);
}

void RecoveryWindowTest::driveInformationAfterScan()
{
    if (m_scan32.isEmpty())
        QSKIP(qPrintable(m_noScan));
    RecoveryWindow w(drives(), m_devices);
    QVERIFY(scanned(w));
    QStringList captions, values;
    whenModal([&](QDialog* dialog) {
        auto* box = qobject_cast<app::DriveInformationDialog*>(dialog);
        if (box != nullptr)
            for (int i = 0; i < app::DriveInformationDialog::kRows; ++i) {
                captions << box->caption(i);
                values << box->value(i);
            }
        dialog->accept();
    });
    w.action(Command::DriveInformation)->trigger();
    QCOMPARE(captions.size(), 8);
    QCOMPARE(captions.at(0), QStringLiteral("File System          :"));
    QCOMPARE(captions.at(3), QStringLiteral("Files                     :"));
    QCOMPARE(values.at(0), QStringLiteral("FAT32"));
    QCOMPARE(values.at(2), QStringLiteral("3"));
    QCOMPARE(values.at(3), QStringLiteral("4"));
    QCOMPARE(values.at(4), QString::number(w.session().volume.geometry.SectorsPerCluster));
    QCOMPARE(values.at(5), QString::number(w.session().volume.geometry.ReservedSectors));
    QVERIFY(values.at(6).toUInt() > values.at(5).toUInt());
    QCOMPARE(values.at(7), QStringLiteral("N/A"));
}

void RecoveryWindowTest::fileListModelPassesTheTester()
{
    app::FileTypes types;
    app::FileListModel model(types);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    catalogue::FileRow folder;
    folder.folder = true;
    folder.name = "caf\xE9";
    folder.type = "Folder";
    folder.size = 0;
    folder.id = "2";
    folder.key = 2;
    catalogue::FileRow file;
    file.name = "notes.txt";
    file.type = "Deleted plain text document";
    file.size = 1234;
    file.id = "7";
    file.key = 7;
    model.setRows({folder, file});
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.text(0, app::FileListModel::Name), QString::fromUtf8("caf\u00e9")); // read as Windows-1252
    QVERIFY(model.isFolder(0) && !model.isFolder(1));
    QCOMPARE(model.key(1), 7u);
    QCOMPARE(model.data(model.index(1, 2), Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));
    QCOMPARE(model.text(5, 0), QString());
    // A file without a condition reads Unknown and explains the words; a folder has none.
    QCOMPARE(model.text(1, app::FileListModel::Condition), QStringLiteral("Unknown"));
    QCOMPARE(model.text(0, app::FileListModel::Condition), QString());
    QVERIFY(model.index(1, app::FileListModel::Condition)
                .data(Qt::ToolTipRole)
                .toString()
                .contains(QStringLiteral("Partly overwritten: ")));

    // Sorting by size and by date compares values, not texts, keeps folders
    // first and leaves the catalogue's order alone.
    std::vector<catalogue::FileRow> sortable;
    for (const auto& [name, size, date] : {std::tuple{"a", 9ull, "2-1-2021 9:00:00"},
                                           {"b", 1500000000ull, "10-12-2020 0:00:00"},
                                           {"c", 10ull, "1-1-2021 23:59:59"}}) {
        catalogue::FileRow row = file;
        row.name = name;
        row.size = size;
        row.modified = date;
        sortable.push_back(row);
    }
    sortable.push_back(folder);
    model.setRows(sortable);
    model.sort(app::FileListModel::Size, Qt::AscendingOrder);
    QCOMPARE(shownTexts(model, 0), (QStringList{QString::fromUtf8("caf\u00e9"), "a", "c", "b"}));
    model.sort(app::FileListModel::Modified, Qt::DescendingOrder);
    QCOMPARE(shownTexts(model, 0), (QStringList{QString::fromUtf8("caf\u00e9"), "a", "c", "b"}));
    model.sort(app::FileListModel::Modified, Qt::AscendingOrder);
    QCOMPARE(shownTexts(model, 0), (QStringList{QString::fromUtf8("caf\u00e9"), "b", "c", "a"}));
    QCOMPARE(rowTexts(model, 0), (QStringList{"a", "b", "c", QString::fromUtf8("caf\u00e9")}));
    QCOMPARE(model.sourceRow(model.index(1, 0)), 1);
    QCOMPARE(model.indexOfRow(0).row(), 3);
    model.sort(-1);
    model.clear();
    QCOMPARE(model.rowCount(), 0);
    // Many rows at once, as a large folder gives.
    std::vector<catalogue::FileRow> many(20000, file);
    QElapsedTimer timer;
    timer.start();
    model.setRows(many);
    QCOMPARE(model.rowCount(), 20000);
    qInfo("20000 rows set in %lld ms", timer.elapsed());
}

void RecoveryWindowTest::progressBarText()
{
    ui::PercentProgressBar bar;
    QCOMPARE(bar.text(), QStringLiteral("0%"));
    bar.setValue(37);
    QCOMPARE(bar.text(), QStringLiteral("37%"));
    bar.setRange(0, 3);
    bar.setValue(2);
    QCOMPARE(bar.text(), QStringLiteral("66%")); // cut, not rounded
    bar.setRange(5, 5);
    QCOMPARE(bar.text(), QString());
    bar.setRange(0, 100);
    bar.reset();
    QCOMPARE(bar.text(), QStringLiteral("0%"));
}

void RecoveryWindowTest::skinRegionLeavesOutTheKeyColour()
{
    const QImage skin = ui::paintWindowSkin(QSize(300, 200));
    QCOMPARE(skin.pixel(0, 0), ui::kTransparentKey); // a rounded corner
    const QRegion region = ui::regionFromSkin(skin);
    QVERIFY(!region.contains(QPoint(0, 0)));
    QVERIFY(!region.contains(QPoint(299, 199)));
    QVERIFY(region.contains(QPoint(150, 100)));
    QVERIFY(region.contains(QPoint(150, 0)));
    // Every pixel left out is the key colour and every pixel kept is not.
    for (int y = 0; y < skin.height(); y += 7)
        for (int x = 0; x < skin.width(); x += 3)
            QCOMPARE(region.contains(QPoint(x, y)), skin.pixel(x, y) != ui::kTransparentKey);
}

void RecoveryWindowTest::messageBoxesCarryTitleAndButtons()
{
    QStringList buttons;
    QString title;
    whenModal([&](QDialog* dialog) {
        title = dialog->windowTitle();
        for (QPushButton* b : dialog->findChildren<QPushButton*>())
            buttons << b->text();
        buttonWithText(dialog, QStringLiteral("&No"))->click();
    });
    QCOMPARE(app::QuestionDialog(nullptr, QStringLiteral("Continue ?")), app::kNo);
    QCOMPARE(title, QStringLiteral("Velmora Sarvik Undelete"));
    QCOMPARE(buttons, (QStringList{"&Yes", "&No"}));

    answerWith(QStringLiteral("&Yes"));
    QCOMPARE(app::QuestionDialog(nullptr, QStringLiteral("Continue ?")), app::kYes);
    // Closing the box without an answer counts as No.
    whenModal([](QDialog* dialog) { dialog->reject(); });
    QCOMPARE(app::QuestionDialog(nullptr, QStringLiteral("Continue ?")), app::kNo);

    buttons.clear();
    whenModal([&](QDialog* dialog) {
        for (QPushButton* b : dialog->findChildren<QPushButton*>())
            buttons << b->text();
        dialog->accept();
    });
    app::MessageDialog(nullptr, app::MessageKind::Information, QStringLiteral("Done"));
    QCOMPARE(buttons, (QStringList{"&Ok"}));
}

QTEST_MAIN(RecoveryWindowTest)
#include "RecoveryWindowTest.moc"
