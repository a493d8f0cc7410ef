// SPDX-License-Identifier: GPL-3.0-or-later
// How long the desktop program takes to show large folders: the results page
// for a generated catalogue of one folder of 100,000 and one of 400,000 files
// (beside a tree of 13,000 folders), and a click from one folder to another.
// Run: build/bin/file_list_bench -platform offscreen

#include "app/FileListModel.h"
#include "app/RecoveryWindow.h"
#include "catalogue/FolderTree.h"
#include "platform/Devices.h"

#include <QElapsedTimer>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>

#include <ctime>

using namespace sarvik;

namespace {

constexpr std::uint32_t kRootCluster = 0;

// Folder clusters from 2 up; files of the big folders start far above them.
void fillCatalogue(scan::ScanSession& session, std::uint32_t filesInBig, std::uint32_t folders)
{
    catalogue::Catalogue& c = session.catalogue;
    session.volume.geometry.GeometryKind = disk::VolumeKind::Fat32;
    // "big" holds the many files; 13,000 more folders make a wide tree.
    c.AddFatFolder("big", 2, kRootCluster, 0x5A21, 0x5A21, 1, 1);
    c.AddFatFolder("small", 3, kRootCluster, 0x5A21, 0x5A21, 2, 1);
    for (std::uint32_t i = 0; i < folders; ++i) {
        c.AddFatFolder("folder" + std::to_string(i), 10 + i, i < 100 ? kRootCluster : 10 + i % 100, 0x5A21, 0x5A21,
                       3 + i, 1);
    }
    static const char* const kExtensions[] = {".txt", ".jpg", ".doc", ".pdf", ".png", ".dat", ".mp3", ".zip"};
    for (std::uint32_t i = 0; i < filesInBig; ++i) {
        c.AddFatFile("file" + std::to_string(i) + kExtensions[i % 8], 1'000'000 + i, 2, 0x5A21, 0x5A21, 1000 + i, 1);
    }
    for (std::uint32_t i = 0; i < 10; ++i) {
        c.AddFatFile("note" + std::to_string(i) + ".txt", 900'000 + i, 3, 0x5A21, 0x5A21, 10, 1);
    }
    session.buildTree();
}

// CPU time of this thread in milliseconds: on a busy machine the wall clock
// also counts the time other programs ran.
qint64 cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<qint64>(t.tv_sec) * 1000 + t.tv_nsec / 1'000'000;
}

QTreeWidgetItem* childNamed(QTreeWidgetItem* item, const QString& name)
{
    for (int i = 0; i < item->childCount(); ++i)
        if (item->child(i)->text(0) == name)
            return item->child(i);
    return nullptr;
}

} // namespace

class FileListBench : public QObject {
    Q_OBJECT
private slots:
    void largeFolders_data()
    {
        QTest::addColumn<int>("files");
        QTest::newRow("100000") << 100'000;
        QTest::newRow("400000") << 400'000;
    }
    void largeFolders()
    {
        QFETCH(int, files);
        platform::SystemDeviceProvider devices;
        app::RecoveryWindow w({}, devices);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        fillCatalogue(w.mutableSession(), static_cast<std::uint32_t>(files), 13'000);

        QElapsedTimer timer;
        timer.start();
        qint64 cpu = cpuMs();
        w.showLoadedResults(); // the tree of every folder and the root's rows
        QCoreApplication::processEvents();
        const qint64 results = timer.elapsed();
        const qint64 resultsCpu = cpuMs() - cpu;
        QTreeWidget* tree = w.folderTree();
        QTreeWidgetItem* root = tree->topLevelItem(0);
        QTreeWidgetItem* big = childNamed(root, QStringLiteral("big"));
        QTreeWidgetItem* small = childNamed(root, QStringLiteral("small"));
        QVERIFY(big != nullptr && small != nullptr);

        // What the rows cost before the list sees them.
        const std::uint64_t bigKey = w.session().tree.node(big->data(0, Qt::UserRole + 2).toUInt())->key;
        timer.restart();
        const auto plain = w.session().rows(bigKey);
        const qint64 catalogueRows = timer.elapsed();
        timer.restart();
        const auto typed = w.session().rows(
            bigKey, [&w](const std::string& name) { return w.fileTypes().typeNameOfName(name, false); });
        const qint64 typedRows = timer.elapsed();
        qInfo("rows of the big folder: %lld ms, with type names %lld ms", catalogueRows, typedRows);

        // A click into the big folder, then one out of it to a small one.
        timer.restart();
        cpu = cpuMs();
        tree->setCurrentItem(big);
        w.detailsView()->repaint();
        const qint64 intoBig = timer.elapsed();
        const qint64 intoBigCpu = cpuMs() - cpu;
        QCOMPARE(w.fileListModel()->rowCount(), files);
        timer.restart();
        cpu = cpuMs();
        tree->setCurrentItem(small);
        w.detailsView()->repaint();
        const qint64 outOfBig = timer.elapsed();
        const qint64 outOfBigCpu = cpuMs() - cpu;
        QCOMPARE(w.fileListModel()->rowCount(), 10);
        qInfo("%d files: results page with a tree of %d folders %lld ms (CPU %lld); into the big folder %lld ms "
              "(CPU %lld); to a small folder %lld ms (CPU %lld)",
              files, static_cast<int>(w.session().catalogue.folderCount()), results, resultsCpu, intoBig, intoBigCpu,
              outOfBig, outOfBigCpu);
        // Sorting the big folder by name and by type, and back to the catalogue's order.
        tree->setCurrentItem(big);
        app::FileListModel* model = w.fileListModel();
        timer.restart();
        cpu = cpuMs();
        model->sort(app::FileListModel::Name, Qt::DescendingOrder);
        const qint64 byNameCpu = cpuMs() - cpu;
        cpu = cpuMs();
        model->sort(app::FileListModel::Type, Qt::AscendingOrder);
        const qint64 byTypeCpu = cpuMs() - cpu;
        model->sort(-1);
        qInfo("%d files: sorted by name in CPU %lld ms, by type in CPU %lld ms", files, byNameCpu, byTypeCpu);
        QBENCHMARK_ONCE
        {
            tree->setCurrentItem(big);
            w.detailsView()->repaint();
            tree->setCurrentItem(root);
        }
    }
};

QTEST_MAIN(FileListBench)
#include "file_list_bench.moc"
