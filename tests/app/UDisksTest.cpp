// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program with the system's disk manager: a stand-in service on a
// private bus (udisks_mock.py) lists a disk image as a removable disk's
// partition, opens it for a user the system refuses, refuses another disk as
// polkit refuses, and plugs a third disk in and out.

#include "GuiTestSupport.h"
#include "ScanVolume.h"
#include "app/RecoveryWindow.h"
#include "app/UDisksClient.h"
#include "platform/Devices.h"
#include "platform/DriveDiscovery.h"
#include "platform/PartitionSource.h"
#include "ui/PictureButton.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace sarvik;
using app::RecoveryWindow;
using namespace sarvik::guitest;

namespace {

// Devices are refused as the system refuses raw devices to a normal user,
// until the service has handed one over; image files open as they are.
class RefusedUnlessServed final : public disk::DeviceProvider {
public:
    disk::OpenResult open(const std::string& path) override
    {
        const std::string whole = platform::resolvePartitionPath(path).path;
        if (whole.starts_with("/dev/") && !platform::deviceServed(whole))
            return {nullptr, path + ": permission denied: run it as root (sudo) or join the disk group", true};
        return m_real.open(path);
    }
    std::optional<std::string> volumeLabel(const std::string& path) override { return m_real.volumeLabel(path); }

private:
    platform::SystemDeviceProvider m_real;
};

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

/// Calls `method` of the stand-in's own interface (Plug, Unplug).
bool callMock(const QString& method)
{
    const QDBusMessage reply = QDBusConnection::systemBus().call(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.UDisks2"), QStringLiteral("/org/freedesktop/UDisks2"),
        QStringLiteral("org.velmora.test.UDisksMock"), method));
    return reply.type() == QDBusMessage::ReplyMessage;
}

/// The deleted files and folders the window's scan of `drive` found; -1 when
/// it could not scan.
int scannedFiles(RecoveryWindow& w, const QString& drive)
{
    QTreeWidgetItem* item = driveItem(w, drive);
    if (item == nullptr)
        return -1;
    clickItem(w.driveTree(), item);
    if (!w.nextButton()->isVisible())
        return -1;
    QSignalSpy done(&w, &RecoveryWindow::scanFinished);
    QTest::mouseClick(w.nextButton(), Qt::LeftButton);
    if (!done.wait(30000))
        return -1;
    return static_cast<int>(w.session().catalogue.fileCount());
}

} // namespace

class UDisksTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup() { dropPendingAnswers(); }
    void listsTheServicesDrivesAsDiscoveryNamesThem();
    void opensARefusedDriveThroughTheService();
    void refusalShowsTheServicesReason();
    void drivesPluggedInAndOutRefreshTheTree();

private:
    QTemporaryDir m_dir;
    QString m_image;
    QProcess m_mock;
    RefusedUnlessServed m_devices;
};

void UDisksTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QString why;
    m_image = makeScanVolume(m_dir.path(), &why);
    if (m_image.isEmpty())
        QSKIP(qPrintable(why));
    // The stand-in brings a bus of its own for the system bus: the real one is never touched.
    m_mock.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_mock.start(QStringLiteral(SARVIK_PYTHON), {QStringLiteral(SARVIK_UDISKS_MOCK), m_image});
    QVERIFY2(m_mock.waitForReadyRead(10000),
             "the stand-in disk manager did not start (it needs dbus-daemon, python3-dbus and python3-gi)");
    const QByteArray ready = m_mock.readLine().trimmed();
    QVERIFY2(ready.startsWith("ready unix:"), ready.constData());
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", ready.mid(6));
    QVERIFY(app::UDisksClient().drives().has_value());
}

void UDisksTest::cleanupTestCase()
{
    m_mock.terminate();
    m_mock.waitForFinished(5000);
}

void UDisksTest::listsTheServicesDrivesAsDiscoveryNamesThem()
{
    const auto drives = app::UDisksClient().drives();
    QVERIFY(drives.has_value());
    // The whole disk sdz is listed through its partition; sdy has none.
    QStringList texts, paths;
    for (const disk::DriveItem& d : *drives) {
        texts << QString::fromStdString(d.text);
        paths << QString::fromStdString(d.devicePath);
        QCOMPARE(d.sizeBytes, static_cast<std::uint64_t>(QFileInfo(m_image).size()));
    }
    QCOMPARE(texts, (QStringList{"Logical Disk(sdy)", "Removable Disk(sdz1)"}));
    QCOMPARE(paths, (QStringList{"/dev/sdy", "/dev/sdz1"}));
    QCOMPARE(drives->back().kind, disk::DriveKind::Removable);

    RecoveryWindow w(*drives, m_devices);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(driveItem(w, QStringLiteral("Removable Disk(sdz1)")) != nullptr);
}

void UDisksTest::opensARefusedDriveThroughTheService()
{
    // The same volume, scanned as an image file and as the drive the service opens.
    platform::SystemDeviceProvider plain;
    RecoveryWindow direct({platform::imageDriveItem(m_image.toStdString())}, plain);
    direct.show();
    QVERIFY(QTest::qWaitForWindowExposed(&direct));
    const int expected = scannedFiles(direct, QStringLiteral("Disk Image(scan32.img)"));
    QVERIFY(expected > 0);

    RecoveryWindow w(*app::UDisksClient().drives(), m_devices);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(!platform::deviceServed("/dev/sdz1"));
    // No question: the service opens it (polkit would ask for the password).
    Answer asked;
    answerWith<app::MessageBox>(QStringLiteral("&No"), &asked);
    QCOMPARE(scannedFiles(w, QStringLiteral("Removable Disk(sdz1)")), expected);
    QVERIFY(!asked.seen);
    QVERIFY(platform::deviceServed("/dev/sdz1"));
}

void UDisksTest::refusalShowsTheServicesReason()
{
    RecoveryWindow w(*app::UDisksClient().drives(), m_devices);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Answer refusal;
    answerWith<app::MessageBox>(QStringLiteral("OK"), &refusal);
    clickItem(w.driveTree(), driveItem(w, QStringLiteral("Logical Disk(sdy)")));
    QTRY_VERIFY(refusal.seen);
    QVERIFY2(refusal.asked.contains(QStringLiteral("/dev/sdy")) &&
                 refusal.asked.contains(QStringLiteral("the test's polkit says no")),
             qPrintable(refusal.asked));
    // Refused is not the restart's question: the service runs here.
    QVERIFY(!refusal.asked.contains(QStringLiteral("administrator")));
    QCOMPARE(w.valueLabel(4)->text(), QStringLiteral("NOT READY"));
    QVERIFY(!platform::deviceServed("/dev/sdy"));
}

void UDisksTest::drivesPluggedInAndOutRefreshTheTree()
{
    std::vector<disk::DriveItem> drives = *app::UDisksClient().drives();
    drives.push_back(platform::imageDriveItem(m_image.toStdString()));
    RecoveryWindow w(drives, m_devices);
    w.watchDrives();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTreeWidget* tree = w.driveTree();
    // Selected as the arrow keys select: no question.
    tree->setCurrentItem(driveItem(w, QStringLiteral("Disk Image(scan32.img)")));
    QVERIFY(w.nextButton()->isVisible());

    QVERIFY(callMock(QStringLiteral("Plug")));
    QTRY_VERIFY(driveItem(w, QStringLiteral("Logical Disk(sdx)")) != nullptr);
    const auto texts = [&] {
        QStringList shown;
        for (int i = 0; i < tree->topLevelItem(0)->childCount(); ++i)
            shown << tree->topLevelItem(0)->child(i)->text(0);
        return shown;
    };
    QCOMPARE(texts(),
             (QStringList{"Logical Disk(sdx)", "Logical Disk(sdy)", "Removable Disk(sdz1)", "Disk Image(scan32.img)"}));
    QCOMPARE(tree->currentItem()->text(0), QStringLiteral("Disk Image(scan32.img)"));
    QVERIFY(w.nextButton()->isVisible());

    // The selected drive, opened by the service, unplugged: nothing is
    // selected any more, and its descriptor is let go.
    Answer unasked;
    answerWith<app::MessageBox>(QStringLiteral("OK"), &unasked);
    clickItem(tree, driveItem(w, QStringLiteral("Logical Disk(sdx)")));
    QCOMPARE(w.valueLabel(4)->text(), QStringLiteral("FAT32"));
    QVERIFY2(!unasked.seen, qPrintable(unasked.asked));
    QVERIFY(platform::deviceServed("/dev/sdx"));
    QVERIFY(callMock(QStringLiteral("Unplug")));
    QTRY_VERIFY(driveItem(w, QStringLiteral("Logical Disk(sdx)")) == nullptr);
    QCOMPARE(texts(), (QStringList{"Logical Disk(sdy)", "Removable Disk(sdz1)", "Disk Image(scan32.img)"}));
    QCOMPARE(tree->currentItem()->text(0), QStringLiteral("My Computer"));
    QVERIFY(w.valueLabel(4)->text().isEmpty());
    QVERIFY(!w.nextButton()->isVisible());
    QVERIFY(!platform::deviceServed("/dev/sdx"));
    // The drive the selection names is the one shown: Next scans the image.
    QVERIFY(scannedFiles(w, QStringLiteral("Disk Image(scan32.img)")) > 0);
}

QTEST_MAIN(UDisksTest)
#include "UDisksTest.moc"
