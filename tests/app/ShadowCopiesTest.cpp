// SPDX-License-Identifier: GPL-3.0-or-later
// Shadow copies in the desktop program, on the Windows-made disk of
// tests/third-party/dfir_ntfs-vss (GPT, NTFS partition 2 with one shadow copy
// in which test.txt has other contents): the drive tree lists the copy under
// its volume and scans it as a source of its own; the results page of the
// volume offers its previous versions and adds the copy's test.txt, whole,
// which the preview and Open read from the copy.

#include "app/CommandIds.h"
#include "app/FileListModel.h"
#include "app/PreviewPane.h"
#include "app/PreviewReader.h"
#include "app/RecoveryWindow.h"
#include "app/ResultsCommands.h"
#include "platform/Devices.h"
#include "platform/DriveDiscovery.h"
#include "ui/PictureButton.h"

#include <QAction>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace sarvik;
using app::RecoveryWindow;

namespace {

/// The row of `name` in the file list, or -1.
int rowNamed(const app::FileListModel& model, const QString& name)
{
    for (int r = 0; r < model.rowCount(); ++r)
        if (model.text(r, app::FileListModel::Name) == name)
            return r;
    return -1;
}

/// Selects `item` of the drive tree as a click does and presses Next; true
/// when the scan ran to its results.
bool scanItem(RecoveryWindow& w, QTreeWidgetItem* item)
{
    QTreeWidget* tree = w.driveTree();
    tree->scrollToItem(item);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
    if (!w.nextButton()->isVisible())
        return false;
    QSignalSpy shown(&w, &RecoveryWindow::scanFinished);
    QTest::mouseClick(w.nextButton(), Qt::LeftButton);
    return shown.wait(30000);
}

} // namespace

class ShadowCopiesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void driveTreeListsTheCopyUnderItsVolume();
    void resultsOfferPreviousVersionsOnlyWhereThereAreCopies();

private:
    QTemporaryDir m_dir;
    QString m_image;
};

void ShadowCopiesTest::initTestCase()
{
    const QString tarball = QStringLiteral(SARVIK_SOURCE_DIR "/tests/third-party/dfir_ntfs-vss/vss_2_stor.tar.gz");
    if (!QFileInfo::exists(tarball))
        QSKIP("the shadow copy disk is missing");
    QProcess tar;
    tar.setWorkingDirectory(m_dir.path());
    tar.start(QStringLiteral("tar"), {QStringLiteral("-xSzf"), tarball});
    QVERIFY(tar.waitForFinished(60000) && tar.exitCode() == 0);
    m_image = m_dir.filePath(QStringLiteral("vss_2_stor.raw"));
}

void ShadowCopiesTest::driveTreeListsTheCopyUnderItsVolume()
{
    platform::SystemDeviceProvider devices;
    RecoveryWindow w(platform::imageDriveItems(m_image.toStdString()), devices);
    w.settings().ThoroughScan = true;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QTreeWidgetItem* computer = w.driveTree()->topLevelItem(0);
    QCOMPARE(computer->childCount(), 2); // the two partitions; the copy is not one of them
    QCOMPARE(computer->child(0)->childCount(), 0);
    QTreeWidgetItem* volume = computer->child(1);
    QCOMPARE(volume->childCount(), 1);
    QTreeWidgetItem* copy = volume->child(0);
    QCOMPARE(copy->text(0), QStringLiteral("Shadow copy 1 (2021-03-10 22:44 UTC)"));
    QCOMPARE(copy->toolTip(0), m_image + QStringLiteral("@2@vss1"));
    // The machine's drives listed again (as the disk manager's changes do):
    // the same drives, the copy still there and still a source.
    QVERIFY(w.replaceDrives(platform::imageDriveItems(m_image.toStdString())));
    QCOMPARE(w.driveTree()->topLevelItem(0)->child(1)->child(0), copy);

    // Opened as a source of its own.
    QVERIFY(scanItem(w, copy));
    QCOMPARE(QString::fromStdString(w.mutableSession().volume.reader.DevicePath()), copy->toolTip(0));
    QVERIFY(w.previousVersionsBar()->isHidden()); // a copy has no copies of its own
    QTRY_VERIFY(w.backButton()->isEnabled());
    QTest::mouseClick(w.backButton(), Qt::LeftButton);
    // Back on the drive page the tree is as it was, the copy still under its volume.
    QCOMPARE(w.driveTree()->topLevelItem(0)->child(1)->childCount(), 1);
}

void ShadowCopiesTest::resultsOfferPreviousVersionsOnlyWhereThereAreCopies()
{
    platform::SystemDeviceProvider devices;
    RecoveryWindow w(platform::imageDriveItems(m_image.toStdString()), devices);
    w.settings().ThoroughScan = true;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(scanItem(w, w.driveTree()->topLevelItem(0)->child(1)));
    const app::FileListModel& model = *w.fileListModel();
    QCOMPARE(rowNamed(model, QStringLiteral("test.txt")), -1); // nothing deleted on the volume itself
    QVERIFY(w.previousVersionsBar()->isVisible());
    QVERIFY(w.previousVersionsText()->text().startsWith(QStringLiteral("This volume has 1 shadow copy(s)")));
    // The list leaves the strip its room.
    QVERIFY(w.detailsView()->mapTo(&w, QPoint(0, w.detailsView()->height())).y() <=
            w.previousVersionsBar()->mapTo(&w, QPoint(0, 0)).y());

    QTest::mouseClick(w.previousVersionsButton(), Qt::LeftButton);
    const int row = rowNamed(model, QStringLiteral("test.txt"));
    QVERIFY(row >= 0);
    QCOMPARE(model.text(row, app::FileListModel::Condition),
             QStringLiteral("Whole in the shadow copy of 2021-03-10 22:44 UTC"));
    QVERIFY(w.previousVersionsButton()->isHidden());
    QCOMPARE(w.previousVersionsText()->text(),
             QStringLiteral("1 previous version(s) added from the shadow copies, each whole in its copy."));

    // Its preview and its copy for Open read the copy's bytes, not the volume's record.
    const QByteArray copied("e4e7178d9a67cc36d9b12b7b36ebc584c80781ef5619995c138a64c20ae00b4a");
    const auto sha256 = [](const QByteArray& bytes) {
        return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
    };
    w.action(app::Command::Preview)->trigger();
    app::PreviewPane* pane = w.previewPane();
    QSignalSpy previewed(pane, &app::PreviewPane::shown);
    w.setFocusOnTree(false);
    w.detailsView()->selectionModel()->setCurrentIndex(model.index(row, 0),
                                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QVERIFY(previewed.wait(10000));
    QCOMPARE(pane->content().bytes.size(), 703800);
    QCOMPARE(sha256(pane->content().bytes), copied);
    QVERIFY(!pane->content().parts); // no clusters of the volume's to draw
    QString launched;
    w.commands()->launchFile = [&](const QString& path) {
        launched = path;
        return true;
    };
    w.commands()->run(app::Command::Open);
    QFile opened(launched);
    QVERIFY(opened.open(QIODevice::ReadOnly));
    QCOMPARE(sha256(opened.readAll()), copied);
    w.action(app::Command::Preview)->trigger();

    // The volume with no shadow copies: no offer.
    QTRY_VERIFY(w.backButton()->isEnabled());
    QTest::mouseClick(w.backButton(), Qt::LeftButton);
    QVERIFY(w.previousVersionsBar()->isHidden());
    const QString ntfs = QStringLiteral(SARVIK_TEST_VOLUMES "/ntfs.img");
    if (!QFileInfo::exists(ntfs))
        return;
    RecoveryWindow plain({platform::imageDriveItem(ntfs.toStdString())}, devices);
    plain.settings().ThoroughScan = true;
    plain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plain));
    QCOMPARE(plain.driveTree()->topLevelItem(0)->child(0)->childCount(), 0);
    QVERIFY(scanItem(plain, plain.driveTree()->topLevelItem(0)->child(0)));
    QVERIFY(plain.previousVersionsBar()->isHidden());
}

QTEST_MAIN(ShadowCopiesTest)
#include "ShadowCopiesTest.moc"
