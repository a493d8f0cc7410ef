// SPDX-License-Identifier: GPL-3.0-or-later
// The deep search of the results page, driven as a user drives it: the results
// of the quick scan first, the banner that offers the search where free space
// holds data no entry names, the search on a worker while those results stay
// browsable, what it adds to the tree, its Stop, and a window closed during it.
// The reads of the volume are held (GatedSource) to catch the search mid-way.

#include "app/DeepSearch.h"
#include "GuiTestSupport.h"
#include "app/DeepSearchBar.h"
#include "app/FileListModel.h"
#include "app/RecoveryWindow.h"
#include "platform/DriveDiscovery.h"
#include "ui/PercentProgressBar.h"
#include "ui/PictureButton.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <chrono>
#include <memory>
#include <thread>

using namespace sarvik;
using app::DeepSearchBar;
using app::RecoveryWindow;
using namespace sarvik::guitest;
namespace Command = app::Command;

namespace {

QTreeWidgetItem* treeItem(const RecoveryWindow& w, const QString& text)
{
    const auto found = w.folderTree()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

QStringList childTexts(const QTreeWidgetItem* item)
{
    QStringList texts;
    for (int i = 0; item != nullptr && i < item->childCount(); ++i)
        texts << item->child(i)->text(0);
    return texts;
}

int rowNamed(const app::FileListModel& model, const QString& name)
{
    for (int r = 0; r < model.rowCount(); ++r)
        if (model.text(r, app::FileListModel::Name) == name)
            return r;
    return -1;
}

void clickItem(QTreeWidget* tree, QTreeWidgetItem* item)
{
    tree->scrollToItem(item);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
}

/// Lets the held reads through one at a time until `done` holds (or many reads have passed).
bool allowUntil(Gate& gate, const std::function<bool()>& done)
{
    for (int i = 0; i < 20000 && !done(); ++i) {
        gate.step();
        QTest::qWait(1);
    }
    return done();
}

} // namespace

class DeepSearchTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { app::useSystemIconTheme(); }
    void cleanup() { dropPendingAnswers(); }
    void resultsFirstThenTheSearchAddsWhatItFinds();
    void stopDuringTheFreeSpacePassKeepsTheQuickResults();
    void yesAfterTheScanEndedStopsTheSearchItStarted();
    void bannerOnlyWhereFreeSpaceHoldsUnnamedData();
    void snapshotsSayWhetherFreeSpaceWasSearched();

private:
    [[nodiscard]] QString volume(const char* name) const
    {
        return QStringLiteral(SARVIK_TEST_VOLUMES "/") + QLatin1String(name);
    }
    /// Shows `w` on its drive page, selects its first drive and presses Next
    /// (with `hold` closed, when given); true when the scan began.
    static bool startScan(RecoveryWindow& w, bool thorough = true, Gate* hold = nullptr);
};

bool DeepSearchTest::startScan(RecoveryWindow& w, bool thorough, Gate* hold)
{
    w.settings().ThoroughScan = thorough;
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return false;
    clickItem(w.driveTree(), w.driveTree()->topLevelItem(0)->child(0));
    if (!w.nextButton()->isVisible())
        return false;
    if (hold != nullptr)
        hold->close();
    QTest::mouseClick(w.nextButton(), Qt::LeftButton);
    return true;
}

#define NEED_VOLUME(name)                                                                                              \
    if (!QFileInfo::exists(volume(name)))                                                                              \
    QSKIP("no test volume " name ": run tools/make-test-volumes.sh")

void DeepSearchTest::resultsFirstThenTheSearchAddsWhatItFinds()
{
    // thorough-fat32.img: the quick scan lists Big, Gone, Grown, Between and
    // Keep; the free space holds more of Gone's and Grown's folders and a
    // folder lost below Keep.
    NEED_VOLUME("thorough-fat32.img");
    GatedDevices devices;
    RecoveryWindow w({platform::imageDriveItem(volume("thorough-fat32.img").toStdString())}, devices);
    OpenOnExit opener{devices.gate}; // before the window goes: it joins the search
    w.settings().DeepSearch = true;  // "Search free space" checked: it starts with the results page
    QSignalSpy shown(&w, &RecoveryWindow::scanFinished);
    QVERIFY(startScan(w, true, &devices.gate));
    QVERIFY(allowUntil(devices.gate, [&] { return !shown.isEmpty(); }));

    // The results page is up while the search is held at a read.
    DeepSearchBar* bar = w.deepSearchBar();
    QCOMPARE(w.currentStep(), 3);
    QVERIFY(w.deepSearch()->running());
    QCOMPARE(bar->mode(), DeepSearchBar::Mode::Running);
    QVERIFY(bar->isVisible() && bar->stopButton()->isVisible() && bar->progressBar()->isVisible());
    QVERIFY(!w.action(Command::DeepSearch)->isEnabled());
    QVERIFY(!w.backButton()->isEnabled());
    QCOMPARE(w.rulesLabel()->text(), QStringLiteral("Thorough scan"));
    // The strip takes the bottom of the list's room, not a part of the list.
    QVERIFY(w.fileList()->geometry().bottom() < bar->geometry().top());
    QTreeWidgetItem* root = w.folderTree()->topLevelItem(0);
    QCOMPARE(childTexts(root), (QStringList{"Big", "Gone", "Grown", "Between", "Keep"}));
    const std::size_t quickFolders = w.session().catalogue.FatFolderList.size();
    const std::size_t quickFiles = w.session().catalogue.FatFileList.size();

    // The quick results are browsed meanwhile: Big opens, a file in it is
    // renamed and selected, Grown is expanded.
    clickItem(w.folderTree(), treeItem(w, QStringLiteral("Big")));
    app::FileListModel& model = *w.fileListModel();
    int file = -1;
    for (int r = 0; r < model.rowCount() && file < 0; ++r)
        if (!model.isFolder(r))
            file = r;
    QVERIFY(file >= 0);
    model.setData(model.indexOfRow(file), QStringLiteral("renamed meanwhile.txt")); // as the list's edit ends
    QCOMPARE(model.text(file, app::FileListModel::Name), QStringLiteral("renamed meanwhile.txt"));
    const quint64 fileKey = model.key(file);
    w.detailsView()->selectionModel()->setCurrentIndex(model.indexOfRow(file),
                                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    treeItem(w, QStringLiteral("Grown"))->setExpanded(true);

    // Read by read, the search shows how far it has got in free space.
    QVERIFY(allowUntil(devices.gate, [&] {
        return bar->textLabel()->text().startsWith(QStringLiteral("Deep search: Searching free space: "));
    }));
    QVERIFY2(bar->textLabel()->text().contains(QStringLiteral(" of ")), qPrintable(bar->textLabel()->text()));

    // What it finds shows before it ends: the lost folder, once free space has
    // been read, while the search is still held at a read.
    QSignalSpy taken(w.deepSearch(), &app::DeepSearch::resultsTaken);
    QSignalSpy partial(w.deepSearch(), &app::DeepSearch::partialTaken);
    bool partialWhileRunning = false, lostFolderEarly = false;
    connect(w.deepSearch(), &app::DeepSearch::partialTaken, &w, [&] {
        partialWhileRunning = w.deepSearch()->running() && bar->mode() == DeepSearchBar::Mode::Running;
        lostFolderEarly = childTexts(treeItem(w, QStringLiteral("Keep"))).contains(QStringLiteral("$Lost folder 670"));
    });
    QVERIFY(allowUntil(devices.gate, [&] { return !partial.isEmpty() || !taken.isEmpty(); }));
    QVERIFY(!partial.isEmpty());
    QVERIFY(partialWhileRunning && lostFolderEarly);
    QCOMPARE(w.folderTree()->currentItem()->text(0), QStringLiteral("Big"));
    devices.gate.open();
    QVERIFY(!taken.isEmpty() || taken.wait(30000));

    // What it found is in the tree, beside what the page showed, which stays open.
    QVERIFY(childTexts(treeItem(w, QStringLiteral("Keep"))).contains(QStringLiteral("$Lost folder 670")));
    QVERIFY(childTexts(treeItem(w, QStringLiteral("Gone"))).contains(QStringLiteral("Подпапка")));
    QCOMPARE(w.folderTree()->currentItem()->text(0), QStringLiteral("Big"));
    QVERIFY(treeItem(w, QStringLiteral("Grown"))->isExpanded());
    const int again = rowNamed(model, QStringLiteral("renamed meanwhile.txt"));
    QVERIFY2(again >= 0, "a rename made during the search is kept");
    QCOMPARE(model.key(again), fileKey);
    QCOMPARE(w.currentRow(), again);
    const std::size_t moreFolders = w.session().catalogue.FatFolderList.size() - quickFolders;
    const std::size_t moreFiles = w.session().catalogue.FatFileList.size() - quickFiles;
    QVERIFY(moreFolders > 0 && moreFiles > 0);
    QCOMPARE(bar->textLabel()->text(),
             QStringLiteral("Deep search found %1 more folders and %2 more files.").arg(moreFolders).arg(moreFiles));
    QCOMPARE(w.rulesLabel()->text(), QStringLiteral("Thorough scan,\nfree space searched"));
    QVERIFY(!w.deepSearch()->running());
    QVERIFY(!w.action(Command::DeepSearch)->isEnabled()); // free space has been searched
    QVERIFY(w.backButton()->isEnabled());
}

void DeepSearchTest::stopDuringTheFreeSpacePassKeepsTheQuickResults()
{
    // card-fat32.img: a quick-formatted card. The quick scan finds nothing;
    // the free space holds a lost folder and files found by their content.
    NEED_VOLUME("card-fat32.img");
    GatedDevices devices;
    OpenOnExit opener{devices.gate};
    auto w = std::make_unique<RecoveryWindow>(
        std::vector<disk::DriveItem>{platform::imageDriveItem(volume("card-fat32.img").toStdString())}, devices);
    QSignalSpy shown(w.get(), &RecoveryWindow::scanFinished);
    QVERIFY(startScan(*w));
    QVERIFY(shown.wait(30000));
    DeepSearchBar* bar = w->deepSearchBar();
    // The sample of free space offers the search, with what it reads.
    QTRY_COMPARE(bar->mode(), DeepSearchBar::Mode::Offer);
    QVERIFY2(bar->textLabel()->text().startsWith(QStringLiteral("Free space holds data no entry names (")),
             qPrintable(bar->textLabel()->text()));
    QVERIFY(bar->textLabel()->text().contains(QStringLiteral("Deep Search reads it: ")));
    QVERIFY(bar->searchButton()->isVisible());
    QVERIFY(w->action(Command::DeepSearch)->isEnabled());

    devices.gate.close();
    QTest::mouseClick(bar->searchButton(), Qt::LeftButton);
    QVERIFY(w->deepSearch()->running());
    QVERIFY(allowUntil(devices.gate, [&] {
        return bar->textLabel()->text().startsWith(QStringLiteral("Deep search: Searching free space"));
    }));
    // Stop asks as the scan's does; No goes on, Yes ends the whole search.
    Answer asked;
    answerWith(QStringLiteral("&No"), &asked);
    QTest::mouseClick(bar->stopButton(), Qt::LeftButton);
    QCOMPARE(asked.asked, QStringLiteral("Do you want to stop the current process ?"));
    QVERIFY(w->deepSearch()->running());
    answerWith(QStringLiteral("&Yes"));
    QTest::mouseClick(bar->stopButton(), Qt::LeftButton);
    devices.gate.open();
    QTRY_VERIFY_WITH_TIMEOUT(!w->deepSearch()->running(), 30000);

    // The page keeps the quick scan's results; the search may run again.
    QCOMPARE(w->folderTree()->topLevelItem(0)->childCount(), 0);
    QVERIFY(!w->session().catalogue.DeepSearched);
    QCOMPARE(w->rulesLabel()->text(), QStringLiteral("Thorough scan"));
    QCOMPARE(bar->mode(), DeepSearchBar::Mode::Outcome);
    QVERIFY2(bar->textLabel()->text().startsWith(QStringLiteral("Deep search stopped")),
             qPrintable(bar->textLabel()->text()));
    QVERIFY(w->action(Command::DeepSearch)->isEnabled());

    // Again, and the window goes while the search is held at a read: the
    // reads resume a moment later and the worker ends at its next check.
    devices.gate.close();
    QVERIFY(w->runIfEnabled(Command::DeepSearch));
    QVERIFY(allowUntil(devices.gate, [&] {
        return bar->textLabel()->text().startsWith(QStringLiteral("Deep search: Searching free space"));
    }));
    answerWith(QStringLiteral("&Yes"));
    QVERIFY(w->close());
    QVERIFY(w->deepSearch()->running());
    std::thread release([&devices] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        devices.gate.open();
    });
    QElapsedTimer timer;
    timer.start();
    w.reset();
    release.join();
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
}

// The scan's Stop question stays open while the scan reads on; when the scan
// ends meanwhile and the results page starts the deep search by itself (the
// settings ask for it), the Yes given then stops that search.
void DeepSearchTest::yesAfterTheScanEndedStopsTheSearchItStarted()
{
    NEED_VOLUME("card-fat32.img");
    GatedDevices devices;
    OpenOnExit opener{devices.gate};
    RecoveryWindow w({platform::imageDriveItem(volume("card-fat32.img").toStdString())}, devices);
    w.settings().DeepSearch = true;
    QVERIFY(startScan(w, true, &devices.gate));
    bool searchStarted = false;
    whenModal<app::MessageBox>([&](app::MessageBox* box) {
        // The search's reads wait at the gate, one let through at a time.
        QVERIFY(allowUntil(devices.gate, [&] { return !w.scanRunning(); }));
        searchStarted = w.deepSearch()->running();
        buttonWithText(box, QStringLiteral("&Yes"))->click();
    });
    QTest::mouseClick(w.stopButton(), Qt::LeftButton);
    QVERIFY(searchStarted);
    devices.gate.open();
    QTRY_VERIFY_WITH_TIMEOUT(!w.deepSearch()->running(), 30000);
    QVERIFY(!w.session().catalogue.DeepSearched);
    QVERIFY2(w.deepSearchBar()->textLabel()->text().startsWith(QStringLiteral("Deep search stopped")),
             qPrintable(w.deepSearchBar()->textLabel()->text()));
    QVERIFY(!w.stoppedNote()->isVisible()); // the scan itself ran to its end
}

void DeepSearchTest::bannerOnlyWhereFreeSpaceHoldsUnnamedData()
{
    NEED_VOLUME("demo-fat32.img");
    NEED_VOLUME("card-fat32.img");
    platform::SystemDeviceProvider devices;
    {
        // Free space that reads as zeros: no banner, but the command is there.
        RecoveryWindow w({platform::imageDriveItem(volume("demo-fat32.img").toStdString())}, devices);
        QSignalSpy shown(&w, &RecoveryWindow::scanFinished);
        QVERIFY(startScan(w));
        QVERIFY(shown.wait(30000));
        QTRY_VERIFY(!w.deepSearch()->sampling());
        QTest::qWait(50); // the sample's end is delivered queued
        QCOMPARE(w.deepSearchBar()->mode(), DeepSearchBar::Mode::Hidden);
        QVERIFY(w.action(Command::DeepSearch)->isEnabled());
    }
    {
        // The classic rules have no passes over free space: neither sample nor command.
        RecoveryWindow w({platform::imageDriveItem(volume("card-fat32.img").toStdString())}, devices);
        QSignalSpy shown(&w, &RecoveryWindow::scanFinished);
        QVERIFY(startScan(w, false));
        QVERIFY(shown.wait(30000));
        QVERIFY(!w.deepSearch()->sampling());
        QTest::qWait(50);
        QCOMPARE(w.deepSearchBar()->mode(), DeepSearchBar::Mode::Hidden);
        QVERIFY(!w.action(Command::DeepSearch)->isEnabled());
        QCOMPARE(w.rulesLabel()->text(), QStringLiteral("Classic scan"));
    }
}

void DeepSearchTest::snapshotsSayWhetherFreeSpaceWasSearched()
{
    NEED_VOLUME("card-fat32.img");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    platform::SystemDeviceProvider devices;
    const QString quick = dir.path() + QStringLiteral("/QUICK.RVU");
    const QString deep = dir.path() + QStringLiteral("/DEEP.RVU");
    {
        RecoveryWindow w({platform::imageDriveItem(volume("card-fat32.img").toStdString())}, devices);
        QSignalSpy shown(&w, &RecoveryWindow::scanFinished);
        QVERIFY(startScan(w));
        QVERIFY(shown.wait(30000));
        QTRY_VERIFY(!w.deepSearch()->sampling());
        chooseFile(quick);
        QVERIFY(w.runIfEnabled(Command::SaveSnapshot));
        QSignalSpy taken(w.deepSearch(), &app::DeepSearch::resultsTaken);
        QVERIFY(w.runIfEnabled(Command::DeepSearch));
        QVERIFY(taken.wait(30000));
        chooseFile(deep);
        QVERIFY(w.runIfEnabled(Command::SaveSnapshot));
    }
    // Each loaded into a fresh window: the words beside Back say which scan
    // it holds; a quick one whose volume opens is offered the deep search.
    const auto load = [&](RecoveryWindow& w, const QString& path) {
        w.show();
        chooseFile(path);
        return QTest::qWaitForWindowExposed(&w) && w.runIfEnabled(Command::LoadSnapshot) && w.currentStep() == 3;
    };
    {
        RecoveryWindow w({}, devices);
        QVERIFY(load(w, quick));
        QCOMPARE(w.rulesLabel()->text(), QStringLiteral("Thorough scan"));
        QVERIFY(w.action(Command::DeepSearch)->isEnabled());
        QTRY_COMPARE(w.deepSearchBar()->mode(), DeepSearchBar::Mode::Offer);
    }
    {
        RecoveryWindow w({}, devices);
        QVERIFY(load(w, deep));
        QCOMPARE(w.rulesLabel()->text(), QStringLiteral("Thorough scan,\nfree space searched"));
        QVERIFY(!w.action(Command::DeepSearch)->isEnabled());
        QVERIFY(childTexts(w.folderTree()->topLevelItem(0)).contains(QStringLiteral("$Carved files")));
    }
}

QTEST_MAIN(DeepSearchTest)
#include "DeepSearchTest.moc"
