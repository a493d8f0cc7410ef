// SPDX-License-Identifier: GPL-3.0-or-later
// Walks the desktop program through its steps on one image and saves a picture
// of the window at each: the drive page with the image selected, the scan while
// it runs, the results, and every dialog of the results step (right-click menu,
// properties, filters, find, the recovery chooser and saving box, snapshot save,
// Open With), a filter kept in force, the end-of-recovery summary and the deep
// search while it runs and once it has ended. Run it under Xvfb to see the
// program as a user does:
//   xvfb-run -a -s "-screen 0 1280x800x24" app_screen_tour IMAGE OUTDIR
// (SARVIK_TOUR_CLASSIC=1 scans with the classic rules; SARVIK_TOUR_COLOURS=dark
// or light draws the program in those colours; QT_SCALE_FACTOR=2 at 200%;
// SARVIK_TOUR_FONT_PERCENT=150 with a font half as large again; LANG picks the
// language.)

#include "app/ColourScheme.h"
#include "app/DeepSearch.h"
#include "app/DeepSearchBar.h"
#include "app/FileFiltersDialog.h"
#include "app/FileListModel.h"
#include "app/FileTypes.h"
#include "app/FindFilesDialog.h"
#include "app/MessageBoxes.h"
#include "app/OpenWithDialog.h"
#include "app/RecoveryWindow.h"
#include "app/ResultsCommands.h"
#include "app/SavingDialog.h"
#include "app/Translations.h"
#include "app/Wording.h"
#include "platform/Devices.h"
#include "platform/DriveDiscovery.h"
#include "ui/PercentProgressBar.h"
#include "ui/PictureButton.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

namespace {

// Slows every read a little so that the scan stays on screen long enough to be pictured.
class SlowSource final : public sarvik::disk::BlockSource {
public:
    explicit SlowSource(std::shared_ptr<const sarvik::disk::BlockSource> base) : m_base(std::move(base)) {}
    [[nodiscard]] std::uint64_t size() const override { return m_base->size(); }
    [[nodiscard]] sarvik::disk::ReadStatus read(std::uint64_t offset,
                                                sarvik::disk::MutableByteSpan buffer) const override
    {
        // Only the first reads: enough for a picture of the scan, without
        // making a scan of a larger volume take minutes.
        if (m_slowReads.fetch_add(1) < m_reads.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs.load()));
        return m_base->read(offset, buffer);
    }

    /// Slows the next `reads` reads again by `delayMs` each (for a picture of
    /// the saving box, or of the deep search).
    void slowAgain(int reads, int delayMs) const
    {
        m_reads = reads;
        m_delayMs = delayMs;
        m_slowReads = 0;
    }

private:
    std::shared_ptr<const sarvik::disk::BlockSource> m_base;
    mutable std::atomic<int> m_slowReads{0};
    mutable std::atomic<int> m_reads{24};
    mutable std::atomic<int> m_delayMs{250};
};

class SlowDevices final : public sarvik::disk::DeviceProvider {
public:
    sarvik::disk::OpenResult open(const std::string& path) override
    {
        sarvik::disk::OpenResult base = m_real.open(path);
        if (base.source) {
            auto slow = std::make_shared<SlowSource>(base.source);
            m_last = slow;
            base.source = slow;
        }
        return base;
    }
    void slowAgain(int reads = 24, int delayMs = 250) const
    {
        if (const auto last = m_last.lock())
            last->slowAgain(reads, delayMs);
    }
    std::optional<std::string> volumeLabel(const std::string& path) override { return m_real.volumeLabel(path); }

private:
    sarvik::platform::SystemDeviceProvider m_real;
    std::weak_ptr<SlowSource> m_last;
};

// Runs `act` once a modal dialog of type T is on screen and has been drawn.
template <typename T> void whenShown(std::function<void(T*)> act)
{
    auto* timer = new QTimer(qApp);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        QTest::qWait(250); // let it paint
        act(dialog);
    });
    timer->start();
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: app_screen_tour IMAGE OUTDIR\n");
        return 2;
    }
    sarvik::app::useSystemIconTheme();
    // SARVIK_TOUR_FONT_PERCENT=150: the system font that much larger (the
    // window at a user's larger font, not a larger scale).
    if (const int percent = qEnvironmentVariableIntValue("SARVIK_TOUR_FONT_PERCENT"); percent > 0) {
        QFont font = QApplication::font();
        font.setPointSizeF(font.pointSizeF() * percent / 100.0);
        QApplication::setFont(font);
    }
    sarvik::app::applyColourScheme(sarvik::app::colourSchemeFromName(qEnvironmentVariable("SARVIK_TOUR_COLOURS")));
    // In the language of the environment, as the program starts (LANG=de_DE.UTF-8: German).
    sarvik::app::installTranslations(app);
    const QString out = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(out);
    SlowDevices devices;
    sarvik::app::RecoveryWindow w({sarvik::platform::imageDriveItem(argv[1])}, devices);
    if (qEnvironmentVariableIsSet("SARVIK_TOUR_CLASSIC"))
        w.settings().ThoroughScan = false;
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return 1;
    auto save = [&](const char* name) {
        QTest::qWait(150);
        w.grab().save(out + QLatin1Char('/') + QLatin1String(name));
    };
    QTreeWidget* tree = w.driveTree();
    QTreeWidgetItem* item = tree->topLevelItem(0)->child(0);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
    save("1-drive-page.png");

    QSignalSpy done(&w, &sarvik::app::RecoveryWindow::scanFinished);
    QTest::mouseClick(w.nextButton(), Qt::LeftButton);
    // The scan in one of its counted phases ("Reading folders: 3 of 10"), with its progress.
    for (int i = 0; i < 100 && done.isEmpty() && !w.statusLine()->text().contains(QLatin1Char(':')); ++i)
        QTest::qWait(50);
    if (done.isEmpty())
        save("2-scanning.png");
    if (done.isEmpty() && !done.wait(60000))
        return 1;
    save("3-results.png");
    QTreeWidgetItem* root = w.folderTree()->topLevelItem(0);
    if (root != nullptr && root->childCount() > 0) {
        QTest::mouseClick(w.folderTree()->viewport(), Qt::LeftButton, {},
                          w.folderTree()->visualItemRect(root->child(0)).center());
        save("4-folder.png");
    }
    // The dialogs of the results step.
    auto grabDialog = [&](int command, const char* name) {
        QTimer::singleShot(300, [&out, name] {
            if (QWidget* dialog = QApplication::activeModalWidget()) {
                dialog->grab().save(out + QLatin1Char('/') + QLatin1String(name));
                dialog->close();
            }
        });
        if (QAction* action = w.action(command))
            action->trigger();
        else
            w.commands()->run(command); // commands of the right-click menu only
    };
    grabDialog(sarvik::app::Command::DriveInformation, "5-drive-information.png");
    grabDialog(sarvik::app::Command::Settings, "6-settings.png");
    grabDialog(sarvik::app::Command::Contents, "7-help.png");
    grabDialog(sarvik::app::Command::LiveUpdate, "7-update.png");

    // A deleted file of the root, selected in the list.
    QTest::mouseClick(w.folderTree()->viewport(), Qt::LeftButton, {}, w.folderTree()->visualItemRect(root).center());
    const sarvik::app::FileListModel* model = w.fileListModel();
    int fileRow = -1;
    for (int r = 0; r < model->rowCount() && fileRow < 0; ++r)
        if (!model->isFolder(r))
            fileRow = r;
    auto selectFile = [&] {
        w.setFocusOnTree(false);
        w.detailsView()->setFocus();
        w.detailsView()->selectionModel()->setCurrentIndex(
            model->index(fileRow, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    };
    auto shoot = [&](QWidget* widget, const char* name) {
        widget->grab().save(out + QLatin1Char('/') + QLatin1String(name));
    };
    if (fileRow >= 0) {
        selectFile();
        const auto menu = w.commands()->contextMenu();
        const QRect cell = w.detailsView()->visualRect(model->index(fileRow, 0));
        menu->popup(w.detailsView()->viewport()->mapToGlobal(cell.center()));
        QTest::qWait(300);
        shoot(menu.get(), "8-context-menu.png");
        menu->close();
        grabDialog(sarvik::app::Command::Properties, "9-properties.png");
    }

    // File filters with a pattern added; it is removed again before Close.
    whenShown<sarvik::app::FileFiltersDialog>([&](sarvik::app::FileFiltersDialog* d) {
        d->patternEdit()->setText(QStringLiteral("*.txt"));
        d->addButton()->click();
        d->patternEdit()->setText(QStringLiteral("report?.doc"));
        QTest::qWait(150);
        shoot(d, "10-file-filters.png");
        d->patternList()->setCurrentRow(0);
        d->removeButton()->click();
        d->reject();
    });
    w.action(sarvik::app::Command::FileFilters)->trigger();

    // Find files: every name, the search run to its end.
    whenShown<sarvik::app::FindFilesDialog>([&](sarvik::app::FindFilesDialog* d) {
        d->patternEdit()->setText(QStringLiteral("*"));
        QTest::keyClick(d->patternEdit(), Qt::Key_Return);
        QSignalSpy ended(d, &sarvik::app::FindFilesDialog::searchEnded);
        if (d->searching())
            ended.wait(10000);
        QTest::qWait(150);
        shoot(d, "11-find-files.png");
        d->reject();
    });
    w.action(sarvik::app::Command::FindFiles)->trigger();

    // A filter kept in force: the results page says so, and the recovery
    // below leaves out what it does not let through.
    whenShown<sarvik::app::FileFiltersDialog>([&](sarvik::app::FileFiltersDialog* d) {
        d->patternEdit()->setText(QStringLiteral("*.txt"));
        d->addButton()->click();
        d->reject();
    });
    w.action(sarvik::app::Command::FileFilters)->trigger();
    save("17-filter-in-force.png");

    // Recover All: the folder chooser, then the saving box while it copies,
    // then the summary with its list opened.
    QTemporaryDir target;
    whenShown<QFileDialog>([&](QFileDialog* d) {
        shoot(d, "12-recover-chooser.png");
        d->setDirectory(target.path());
        if (auto* field = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            field->setText(target.path());
        whenShown<sarvik::app::SavingDialog>([&](sarvik::app::SavingDialog* saving) {
            QTest::qWait(400);
            shoot(saving, "13-saving.png");
            whenShown<sarvik::app::MessageBox>([&](sarvik::app::MessageBox* summary) {
                if (auto* details = summary->findChild<QPushButton*>(QStringLiteral("showDetails")))
                    details->click();
                QTest::qWait(250);
                shoot(summary, "18-summary.png");
                summary->accept();
            });
        });
        devices.slowAgain();
        QMetaObject::invokeMethod(d, "accept", Qt::QueuedConnection);
    });
    w.action(sarvik::app::Command::RecoverAll)->trigger();

    // Save Snapshot's chooser, cancelled.
    whenShown<QFileDialog>([&](QFileDialog* d) {
        shoot(d, "14-save-snapshot.png");
        d->reject();
    });
    w.action(sarvik::app::Command::SaveSnapshot)->trigger();

    // Open With: the copy, then our program chooser.
    if (fileRow >= 0) {
        selectFile();
        whenShown<sarvik::app::OpenWithDialog>([&](sarvik::app::OpenWithDialog* d) {
            shoot(d, "15-open-with.png");
            d->reject();
        });
        w.commands()->run(sarvik::app::Command::OpenWith);
    }
    // Deep Search: its progress under the list while the results stay, then
    // what it found.
    if (QAction* deep = w.action(sarvik::app::Command::DeepSearch); deep != nullptr && deep->isEnabled()) {
        devices.slowAgain(80, 100);
        deep->trigger();
        // In the pass over free space, once some of it has been read.
        const QLabel* text = w.deepSearchBar()->textLabel();
        const auto* bar = w.deepSearchBar()->progressBar();
        // The phase's words in the tour's language ("Searching free space: ...").
        const QString phase = sarvik::app::statusWords({sarvik::catalogue::StatusCode::SearchingFreeSpace})
                                  .section(QLatin1Char(':'), 0, 0);
        for (int i = 0; i < 200 && w.deepSearch()->running() &&
                        (!text->text().contains(phase + QLatin1Char(':')) || bar->value() == 0);
             ++i)
            QTest::qWait(50);
        if (w.deepSearch()->running())
            save("19-deep-search.png");
        for (int i = 0; i < 600 && w.deepSearch()->running(); ++i)
            QTest::qWait(50);
        save("20-deep-search-done.png");
    }
    // The window made larger: the lists take the room.
    w.resize(w.size() + QSize(320, 200));
    save("16-resized.png");
    if (qEnvironmentVariableIsSet("SARVIK_TOUR_HOLD"))
        QTest::qWait(qEnvironmentVariableIntValue("SARVIK_TOUR_HOLD"));
    return 0;
}
