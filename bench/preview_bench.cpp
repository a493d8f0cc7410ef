// SPDX-License-Identifier: GPL-3.0-or-later
// How long the preview takes from a selection in the file list to the picture
// or text shown, and how long the window's thread waits meanwhile (the longest
// gap of a 5 ms timer), on an image that bench/preview-volume.sh makes.
// Run: build/bin/preview_bench -platform offscreen IMAGE [NAME...] [--shot DIR]
// Each NAME (a file of the root) is selected 5 times, another file between.

#include "app/FileListModel.h"
#include "app/PreviewPane.h"
#include "app/RecoveryWindow.h"
#include "app/ThumbnailView.h"
#include "platform/Devices.h"
#include "platform/DriveDiscovery.h"
#include "ui/PictureButton.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QLabel>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace sarvik;

namespace {

int rowNamed(const app::FileListModel& model, const QString& name)
{
    for (int r = 0; r < model.rowCount(); ++r)
        if (model.text(r, app::FileListModel::Name) == name)
            return r;
    return -1;
}

/// The longest wait of the window's thread while it runs.
class Heartbeat {
public:
    Heartbeat()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { m_longest = std::max(m_longest, m_clock.restart()); });
        m_clock.start();
        m_timer.start();
    }
    qint64 longest() const { return m_longest; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QStringList args = QApplication::arguments().mid(1);
    QString shots;
    if (const auto at = args.indexOf(QStringLiteral("--shot")); at >= 0 && at + 1 < args.size()) {
        shots = args[at + 1];
        args.remove(at, 2);
    }
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: preview_bench IMAGE [NAME...] [--shot DIR]\n");
        return 2;
    }
    const QString image = args.takeFirst();
    if (args.isEmpty())
        args << QStringLiteral("big.jpg");
    platform::SystemDeviceProvider devices;
    app::RecoveryWindow w({platform::imageDriveItem(image.toStdString())}, devices);
    w.settings().ThoroughScan = true;
    w.resize(1300, 820);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return 1;
    QTreeWidgetItem* item = w.driveTree()->topLevelItem(0)->child(0);
    w.driveTree()->setCurrentItem(item);
    QTest::mouseClick(w.driveTree()->viewport(), Qt::LeftButton, {}, w.driveTree()->visualItemRect(item).center());
    QSignalSpy scanned(&w, &app::RecoveryWindow::scanFinished);
    QTest::mouseClick(w.nextButton(), Qt::LeftButton);
    if (!scanned.wait(60000))
        return 1;
    w.action(app::Command::Preview)->trigger();
    app::PreviewPane* pane = w.previewPane();
    QSignalSpy shown(pane, &app::PreviewPane::shown);
    const app::FileListModel& model = *w.fileListModel();
    const auto select = [&](int row) {
        w.detailsView()->selectionModel()->setCurrentIndex(model.index(row, 0), QItemSelectionModel::ClearAndSelect |
                                                                                    QItemSelectionModel::Rows);
    };
    for (const QString& name : std::as_const(args)) {
        const int row = rowNamed(model, name);
        if (row < 0) {
            std::fprintf(stderr, "%s: not in the root folder\n", qPrintable(name));
            return 1;
        }
        const int other = row == 0 ? 1 : 0;
        std::vector<qint64> times;
        qint64 longestWait = 0;
        for (int i = 0; i < 5; ++i) {
            select(other);
            shown.wait(20000);
            shown.clear();
            Heartbeat beat;
            QElapsedTimer clock;
            clock.start();
            select(row);
            if (!shown.wait(20000))
                return 1;
            times.push_back(clock.elapsed());
            longestWait = std::max(longestWait, beat.longest());
        }
        std::printf("%s: selection to preview shown %lld ms first, then", qPrintable(name),
                    static_cast<long long>(times.front()));
        for (std::size_t i = 1; i < times.size(); ++i)
            std::printf(" %lld", static_cast<long long>(times[i]));
        std::printf(" ms; longest wait of the window's thread %lld ms; %s\n", static_cast<long long>(longestWait),
                    qPrintable(pane->note()->text()));
        if (!shots.isEmpty()) {
            QTest::qWait(50); // the pane's layout follows its new texts
            w.grab().save(shots + QLatin1Char('/') + name + QStringLiteral(".png"));
        }
    }
    // The thumbnails of the folder, from none made to all shown.
    {
        Heartbeat beat;
        QElapsedTimer clock;
        clock.start();
        w.action(app::Command::Thumbnails)->trigger();
        app::ThumbnailView* thumbs = w.thumbnailView();
        QSignalSpy made(thumbs, &app::ThumbnailView::thumbnailMade);
        int pictures = 0;
        for (int r = 0; r < model.rowCount(); ++r)
            pictures += model.text(r, app::FileListModel::Name).endsWith(QStringLiteral(".jpg")) ? 1 : 0;
        // Only the thumbnails in view are made: the count stops growing at a
        // screenful of a large folder; the time is to the last one made.
        qint64 last = 0;
        while (made.count() < pictures && made.wait(2000))
            last = clock.elapsed();
        std::printf("thumbnails: %lld of %d pictures (those in view) in %lld ms; longest wait of the window's "
                    "thread %lld ms\n",
                    static_cast<long long>(made.count()), pictures, static_cast<long long>(last),
                    static_cast<long long>(beat.longest()));
        QTest::qWait(50);
        if (!shots.isEmpty())
            w.grab().save(shots + QStringLiteral("/thumbnails.png"));
        w.action(app::Command::Details)->trigger();
    }
    // The arrow key held through the list: 20 moves, 30 ms apart.
    Heartbeat beat;
    select(0);
    for (int i = 0; i < 20; ++i) {
        QTest::keyClick(w.detailsView(), i < 10 ? Qt::Key_Down : Qt::Key_Up);
        QTest::qWait(30);
    }
    shown.wait(20000);
    std::printf("arrow key through the list: longest wait of the window's thread %lld ms\n",
                static_cast<long long>(beat.longest()));
    return 0;
}
