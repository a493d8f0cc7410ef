// SPDX-License-Identifier: GPL-3.0-or-later
// The results page's commands driven as a user drives them: recovery through the
// folder chooser and the saving box, opening found files, snapshots, the file
// filters, find files, the right-click menu, renaming and the properties box.
// Every modal box and chooser is answered by the test.

#include "app/ResultsCommands.h"
#include "GuiTestSupport.h"
#include "app/ClusterStrip.h"
#include "app/FileFiltersDialog.h"
#include "app/FileListModel.h"
#include "app/FileTypes.h"
#include "app/FindFilesDialog.h"
#include "app/MessageBoxes.h"
#include "app/OpenWithDialog.h"
#include "app/PdfPage.h"
#include "app/PreviewPane.h"
#include "app/PropertiesDialog.h"
#include "app/RecoveryWindow.h"
#include "app/SavingDialog.h"
#include "app/SplitHandle.h"
#include "app/ThumbnailView.h"
#include "platform/Devices.h"
#include "platform/DriveDiscovery.h"
#include "ui/PictureButton.h"

#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDialogButtonBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageWriter>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <condition_variable>
#include <functional>
#include <mutex>

using namespace sarvik;
using app::RecoveryWindow;
using namespace sarvik::guitest;
namespace Command = app::Command;

namespace {

QByteArray sha256Of(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex();
}

struct ManifestFile {
    QString path;
    QByteArray sha256;
    qint64 size = 0;
};

// The files of a manifest under `folder` (a path prefix with its slash).
QList<ManifestFile> manifestFilesUnder(const QString& manifest, const QString& folder)
{
    QList<ManifestFile> out;
    QFile f(manifest);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return out;
    while (!f.atEnd()) {
        const QStringList cols = QString::fromUtf8(f.readLine()).trimmed().split(QLatin1Char('\t'));
        if (cols.size() >= 5 && cols[1] == QLatin1String("file") && cols[0].startsWith(folder))
            out.append({cols[0].mid(folder.size()), cols[3].toLatin1(), cols[2].toLongLong()});
    }
    return out;
}

int rowNamed(const app::FileListModel& model, const QString& name)
{
    for (int r = 0; r < model.rowCount(); ++r)
        if (model.text(r, app::FileListModel::Name) == name)
            return r;
    return -1;
}

void selectRow(RecoveryWindow& w, int row)
{
    w.setFocusOnTree(false);
    w.detailsView()->selectionModel()->setCurrentIndex(w.fileListModel()->index(row, 0),
                                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// A catalogue of `count` FAT files in the root, every third named hit<n>.dat.
catalogue::Catalogue syntheticFiles(std::uint32_t count)
{
    catalogue::Catalogue c;
    for (std::uint32_t i = 0; i < count; ++i) {
        c.AddFatFile((i % 3 == 0 ? "hit" : "other") + std::to_string(i) + ".dat", i + 2, 0, 0, 0, i, 1);
    }
    return c;
}

QStringList column(const QTableWidget* table, int c)
{
    QStringList out;
    for (int r = 0; r < table->rowCount(); ++r)
        out << (table->item(r, c) != nullptr ? table->item(r, c)->text() : QString());
    return out;
}

} // namespace

class ResultsCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { dropPendingAnswers(); }

    void recoverDeletedFolderMatchesManifest();
    void savingBoxIgnoresEscapeAndStops();
    void skipCutsOneFileShort();
    void savedListMatchesCliReport();
    void createErrorAskedAndNoStops();
    void chooserCancelledCopiesNothing();
    void nothingSelectedAndUnusableFoldersAreSaidSo();
    void openShowsABoxThatCancels();
    void openCopiesToPrivateFolderAndHandsOver();
    void openWithChooserListsDesktopEntries();
    void emptyNtfsFileIsNotOpened();
    void keyboardAloneScansRecoversAndGoesBack();
    void snapshotSaveThenLoad();
    void snapshotLoadRefusesForeignFile();
    void snapshotOverTheSourceIsGreyedAndRefused();
    void snapshotWithoutItsVolumeRecoversNothing();
    void snapshotOfAnotherVolumeIsSaid();
    void filterDialogLimitsAndOrder();
    void filterCloseRefillsRoot();
    void findMatchesWithPaths();
    void findGoesToTheFileAndActsOnIt();
    void findStopAnsweredNoAndYes();
    void contextMenuItems();
    void renameFileAndFolder();
    void propertiesTexts();
    void thoroughNamesShownAndTypedAsUtf8();
    void previewShowsTheCopysBytesAndTheEstimate();
    void previewOfACutPictureSaysWhereItStopped();
    void previewDrawsAPdfsFirstPage();
    void previewReadsTextInItsEncoding();

private:
    // A window on `image` that has run its scan to the results page.
    /// Scans the window's first drive; the tests read names as the classic
    /// rules list them unless `thorough`.
    bool scanned(RecoveryWindow& w, bool thorough = false);
    /// Scans `image` and saves the scan as the snapshot `saved`.
    void saveSnapshotOf(const QString& image, const QString& saved);
    QString volume(const char* name) const { return m_volumes + QLatin1Char('/') + QLatin1String(name); }

    QTemporaryDir m_dir;
    QString m_volumes = QStringLiteral(SARVIK_TEST_VOLUMES);
    platform::SystemDeviceProvider m_devices;
};

void ResultsCommandsTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    app::useSystemIconTheme();
}

bool ResultsCommandsTest::scanned(RecoveryWindow& w, bool thorough)
{
    w.settings().ThoroughScan = thorough;
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return false;
    QTreeWidgetItem* item = w.driveTree()->topLevelItem(0)->child(0);
    w.driveTree()->scrollToItem(item);
    QTest::mouseClick(w.driveTree()->viewport(), Qt::LeftButton, {}, w.driveTree()->visualItemRect(item).center());
    if (!w.nextButton()->isVisible())
        return false;
    QSignalSpy done(&w, &RecoveryWindow::scanFinished);
    QTest::mouseClick(w.nextButton(), Qt::LeftButton);
    return done.wait(60000);
}

#define NEED_VOLUME(name)                                                                                              \
    if (!QFileInfo::exists(volume(name)))                                                                              \
    QSKIP("no test volume " name ": run tools/make-test-volumes.sh")

void ResultsCommandsTest::recoverDeletedFolderMatchesManifest()
{
    NEED_VOLUME("fat16.img");
    RecoveryWindow w({platform::imageDriveItem(volume("fat16.img").toStdString())}, m_devices);
    QVERIFY(scanned(w));
    const app::FileListModel& model = *w.fileListModel();
    const int photos = rowNamed(model, QStringLiteral("Photos"));
    QVERIFY2(photos >= 0, "the deleted folder Photos is listed in the root");
    QCOMPARE(model.text(photos, app::FileListModel::Type), QStringLiteral("Deleted Folder"));
    selectRow(w, photos);

    QTemporaryDir out;
    ChooserSeen chooser;
    chooseFile(out.path(), &chooser);
    QString savingTitle;
    whenModal<app::SavingDialog>([&](app::SavingDialog* d) { savingTitle = d->windowTitle(); });
    // A whole copy ends with its word too, and the folder is a click away.
    QStringList opened;
    w.commands()->launchFolder = [&](const QString& folder) {
        opened << folder;
        return true;
    };
    QString summary, buttons;
    whenModal<app::MessageBox>([&](app::MessageBox* box) {
        summary = box->text();
        for (QPushButton* b : box->findChildren<QPushButton*>())
            if (b->isVisible())
                buttons += b->text() + QLatin1Char('|');
        box->findChild<QPushButton*>(QStringLiteral("openFolder"))->click();
        box->accept();
    });
    QVERIFY(w.runIfEnabled(Command::RecoverSelected));
    QVERIFY(chooser.seen);
    QCOMPARE(chooser.title, QStringLiteral("Please select the path to recover the data"));
    QVERIFY(QApplication::activeModalWidget() == nullptr); // the saving box closed itself
    QVERIFY2(summary.startsWith(QStringLiteral("3 of 3 files copied.\n\n3 file(s) were written whole to ")),
             qPrintable(summary));
    QVERIFY2(buttons.contains(QStringLiteral("Save &List...|Open &Folder|")), qPrintable(buttons));
    QCOMPARE(opened, QStringList{out.path()});

    const auto expected = manifestFilesUnder(volume("fat16.manifest.tsv"), QStringLiteral("Photos/"));
    QCOMPARE(expected.size(), 3);
    for (const ManifestFile& f : expected) {
        const QString got = out.path() + QStringLiteral("/Photos/") + f.path;
        QVERIFY2(QFileInfo(got).isFile(), qPrintable(got));
        QCOMPARE(QFileInfo(got).size(), f.size);
        QCOMPARE(sha256Of(got), f.sha256);
    }
    // Nothing else was written: the three files and the one subfolder.
    QStringList written;
    QDirIterator it(out.path(), QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        written << QDir(out.path()).relativeFilePath(it.next());
    written.sort();
    QCOMPARE(written, (QStringList{"Photos", "Photos/Thumbs", "Photos/Thumbs/thumb 001.png", "Photos/holiday 001.png",
                                   "Photos/holiday 002.png"}));
    QCOMPARE(w.commands()->lastReport().totals().written, 3u);
}

// The journey of a user without a mouse: the drive by the arrow keys, Enter
// to scan, a row by Home, Recover Selected through the menu's mnemonics, then
// Alt+Left back to the drives, where Backspace then does nothing.
void ResultsCommandsTest::keyboardAloneScansRecoversAndGoesBack()
{
    NEED_VOLUME("fat16.img");
    RecoveryWindow w({platform::imageDriveItem(volume("fat16.img").toStdString())}, m_devices);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    // To the open menu, else the focus.
    const auto press = [](int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* target = QApplication::activePopupWidget();
        if (target == nullptr)
            target = QApplication::focusWidget();
        QVERIFY(target != nullptr);
        QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
    };
    w.driveTree()->setFocus(); // where Tab from the window's start lands
    press(Qt::Key_Down);
    QVERIFY(w.nextButton()->isVisible());
    QSignalSpy done(&w, &RecoveryWindow::scanFinished);
    press(Qt::Key_Return);
    QVERIFY(done.wait(60000));
    QCOMPARE(w.currentStep(), 3);
    QVERIFY(w.detailsView()->hasFocus());

    press(Qt::Key_Home);
    const std::vector<bool> selected = w.selectedRows();
    QCOMPARE(std::count(selected.begin(), selected.end(), true), 1);
    QTemporaryDir out;
    chooseFile(out.path());
    answerWith<app::MessageBox>(QStringLiteral("&Ok")); // the summary
    press(Qt::Key_R, Qt::AltModifier);
    QVERIFY(QApplication::activePopupWidget() != nullptr);
    press(Qt::Key_R);
    QVERIFY(!w.commands()->lastReport().files().empty());
    QVERIFY(!QDir(out.path()).isEmpty());
    // A desktop gives the window back its activation when the boxes close;
    // the offscreen platform is told.
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QVERIFY(w.detailsView()->hasFocus());

    press(Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(w.currentStep(), 0);
    QVERIFY(w.driveTree()->hasFocus());
    press(Qt::Key_Backspace);
    QCOMPARE(w.currentStep(), 0);
}

void ResultsCommandsTest::savingBoxIgnoresEscapeAndStops()
{
    NEED_VOLUME("fat16.img");
    GatedDevices devices;
    OpenOnExit opener{devices.gate};
    RecoveryWindow w({platform::imageDriveItem(volume("fat16.img").toStdString())}, devices);
    QVERIFY(scanned(w));
    QTemporaryDir out;
    chooseFile(out.path());
    devices.gate.close(); // the copy's first read waits
    bool stillOpenAfterEscape = false, stillOpenAfterClose = false;
    QString buttons;
    whenModal<app::SavingDialog>([&](app::SavingDialog* d) {
        QTest::keyClick(d, Qt::Key_Escape);
        stillOpenAfterEscape = d->isVisible();
        d->close();
        stillOpenAfterClose = d->isVisible();
        buttons = d->stopButton()->text() + QLatin1Char('|') + d->skipButton()->text();
        d->stopButton()->click();
        devices.gate.open();
    });
    Answer outcome;
    answerWith<app::MessageBox>(QStringLiteral("&Ok"), &outcome);
    QVERIFY(w.runIfEnabled(Command::RecoverAll));
    QVERIFY2(outcome.asked.startsWith(QStringLiteral("0 of ")) &&
                 outcome.asked.contains(QStringLiteral(" files copied; stopped.\n")),
             qPrintable(outcome.asked));
    QVERIFY(stillOpenAfterEscape);
    QVERIFY(stillOpenAfterClose);
    QCOMPARE(buttons, QStringLiteral("&Stop Saving|S&kip File"));
    // Stop before the first block: the file being written is cut short and no other starts.
    const auto& files = w.commands()->lastReport().files();
    QVERIFY(files.size() <= 1);
    QCOMPARE(w.commands()->lastReport().totals().written, 0u);
}

void ResultsCommandsTest::skipCutsOneFileShort()
{
    NEED_VOLUME("fat16.img");
    GatedDevices devices;
    OpenOnExit opener{devices.gate};
    RecoveryWindow w({platform::imageDriveItem(volume("fat16.img").toStdString())}, devices);
    QVERIFY(scanned(w));
    const app::FileListModel& model = *w.fileListModel();
    // Two deleted files of the root of several clusters each, in list order.
    const QStringList names{QStringLiteral("Quarterly Report 2024.txt"), QStringLiteral("Large archive.dat")};
    w.detailsView()->selectionModel()->clearSelection();
    for (const QString& name : names) {
        QVERIFY(rowNamed(model, name) >= 0);
        w.detailsView()->selectionModel()->select(model.index(rowNamed(model, name), 0),
                                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QVERIFY(rowNamed(model, names[0]) < rowNamed(model, names[1]));
    QTemporaryDir out;
    chooseFile(out.path());
    devices.gate.close(); // the first file's first read waits
    QString nameShown, totalShown;
    whenModal<app::SavingDialog>([&](app::SavingDialog* d) {
        auto* fileName = d->findChild<QLabel*>(QStringLiteral("fileName"));
        QTRY_VERIFY(fileName != nullptr && !fileName->text().isEmpty());
        nameShown = fileName->text();
        totalShown = d->totalFilesValue()->text();
        d->skipButton()->click();
        devices.gate.open();
    });
    // The end-of-recovery box counts the skipped file and names it behind Details.
    QString summary, details;
    bool saveOffered = false;
    whenModal<app::MessageBox>([&](app::MessageBox* box) {
        summary = box->text();
        details = box->details();
        saveOffered = box->findChild<QPushButton*>(QStringLiteral("saveList")) != nullptr;
        box->accept();
    });
    QVERIFY(w.runIfEnabled(Command::RecoverSelected));
    QCOMPARE(nameShown, names[0]);
    QCOMPARE(totalShown, QStringLiteral("0 of 2")); // the files asked for, while the first is written
    QVERIFY2(summary.startsWith(QStringLiteral("1 of 2 files copied.\n\n1 file(s) or folder(s) in ")) &&
                 summary.contains(QStringLiteral(": 1 cut short")),
             qPrintable(summary));
    // The cut file keeps its working name: nothing under the real one looks whole.
    QVERIFY(!QFileInfo::exists(out.path() + QLatin1Char('/') + names[0]));
    QVERIFY2(details.startsWith(out.path() + QLatin1Char('/') + names[0] + QStringLiteral(".part: cut short at ")) &&
                 !details.contains(names[1]),
             qPrintable(details));
    QVERIFY(saveOffered);
    // The list that Save List writes: a record for each file asked for.
    const QList<QByteArray> records = w.commands()->reportRecords().split('\n');
    QCOMPARE(records.size(), 3); // two lines and the empty rest after the last newline
    const QJsonObject cut = QJsonDocument::fromJson(records[0]).object();
    QCOMPARE(cut.value(QStringLiteral("source")).toString(), QLatin1Char('/') + names[0]);
    QCOMPARE(cut.value(QStringLiteral("written")).toString(),
             out.path() + QLatin1Char('/') + names[0] + QStringLiteral(".part"));
    QCOMPARE(cut.value(QStringLiteral("outcome")).toString(), QStringLiteral("cut short"));
    QVERIFY2(cut.value(QStringLiteral("reason")).toString().startsWith(QStringLiteral("cut short at ")),
             records[0].constData());
    QVERIFY(cut.value(QStringLiteral("size")).toInteger() > cut.value(QStringLiteral("bytesWritten")).toInteger());
    const QJsonObject next = QJsonDocument::fromJson(records[1]).object();
    QCOMPARE(next.value(QStringLiteral("outcome")).toString(), QStringLiteral("written"));
    QVERIFY(next.value(QStringLiteral("reason")).isNull());
    QCOMPARE(next.value(QStringLiteral("size")).toInteger(), next.value(QStringLiteral("bytesWritten")).toInteger());
    QCOMPARE(next.value(QStringLiteral("sha256")).toString().toLatin1(),
             sha256Of(out.path() + QLatin1Char('/') + names[1]));

    QHash<QString, ManifestFile> manifest;
    for (const ManifestFile& f : manifestFilesUnder(volume("fat16.manifest.tsv"), QString()))
        manifest.insert(f.path, f);
    // The skipped file was closed short; the next one was copied whole.
    const QFileInfo skipped(out.path() + QLatin1Char('/') + names[0] + QStringLiteral(".part"));
    QVERIFY(skipped.isFile());
    QVERIFY2(skipped.size() < manifest.value(names[0]).size, qPrintable(QString::number(skipped.size())));
    const QString whole = out.path() + QLatin1Char('/') + names[1];
    QCOMPARE(QFileInfo(whole).size(), manifest.value(names[1]).size);
    QCOMPARE(sha256Of(whole), manifest.value(names[1]).sha256);
}

void ResultsCommandsTest::savedListMatchesCliReport()
{
    NEED_VOLUME("fat16.img");
    RecoveryWindow w({platform::imageDriveItem(volume("fat16.img").toStdString())}, m_devices);
    QVERIFY(scanned(w, true)); // the rules the command line scans by
    QTemporaryDir guiOut, cliOut;
    chooseFile(guiOut.path());
    answerWith<app::MessageBox>(QStringLiteral("&Ok")); // the summary, when the copy had losses
    QVERIFY(w.runIfEnabled(Command::RecoverAll));
    const QList<QByteArray> guiLines = w.commands()->reportRecords().split('\n');

    QProcess cli;
    const QString reportPath = m_dir.filePath(QStringLiteral("cli-report.jsonl"));
    cli.start(QStringLiteral(SARVIK_CLI),
              {QStringLiteral("recover"), volume("fat16.img"), QStringLiteral("--to"), cliOut.path(),
               QStringLiteral("--all"), QStringLiteral("--report"), reportPath});
    QVERIFY(cli.waitForFinished(60000));
    QVERIFY2(cli.exitCode() == 0 || cli.exitCode() == 3, cli.readAllStandardError().constData());
    QFile report(reportPath);
    QVERIFY(report.open(QIODevice::ReadOnly));
    const QList<QByteArray> cliLines = report.readAll().split('\n');

    // The same files in the same order with the same fields and values; only
    // the folder written to differs.
    QCOMPARE(guiLines.size(), cliLines.size());
    QVERIFY(guiLines.size() > 10);
    for (qsizetype i = 0; i + 1 < guiLines.size(); ++i) {
        QJsonParseError error{};
        QJsonObject gui = QJsonDocument::fromJson(guiLines[i], &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError, guiLines[i].constData());
        QJsonObject cliRecord = QJsonDocument::fromJson(cliLines[i]).object();
        QCOMPARE(gui.keys(), cliRecord.keys());
        const QString guiWritten = gui.take(QStringLiteral("written")).toString();
        const QString cliWritten = cliRecord.take(QStringLiteral("written")).toString();
        QCOMPARE(guiWritten.mid(guiOut.path().size()), cliWritten.mid(cliOut.path().size()));
        QCOMPARE(gui, cliRecord);
        if (!guiWritten.isEmpty())
            QCOMPARE(gui.value(QStringLiteral("sha256")).toString().toLatin1(), sha256Of(guiWritten));
    }
}

void ResultsCommandsTest::createErrorAskedAndNoStops()
{
    NEED_VOLUME("fat16.img");
    RecoveryWindow w({platform::imageDriveItem(volume("fat16.img").toStdString())}, m_devices);
    QVERIFY(scanned(w));
    const app::FileListModel& model = *w.fileListModel();
    // Two deleted files of the root; a folder already carries the first one's name,
    // so with Overwrite its creation fails.
    QStringList files;
    for (int r = 0; r < model.rowCount(); ++r)
        if (!model.isFolder(r) && files.size() < 2)
            files << model.text(r, 0);
    QCOMPARE(files.size(), 2);
    QTemporaryDir out;
    QVERIFY(QDir(out.path()).mkdir(files[0]));
    w.settings().DuplicatePolicy = recovery::DuplicatePolicy::Overwrite;
    w.detailsView()->selectionModel()->clearSelection();
    for (const QString& name : files)
        w.detailsView()->selectionModel()->select(model.index(rowNamed(model, name), 0),
                                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    chooseFile(out.path());
    // The question, then the end-of-recovery box that names the file not created.
    Answer asked, outcome;
    const auto answerThenOk = [&](const QString& button) {
        whenModal<app::MessageBox>([&, button](app::MessageBox* box) {
            asked.seen = true;
            asked.asked = box->text();
            answerWith<app::MessageBox>(QStringLiteral("&Ok"), &outcome);
            buttonWithText(box, button)->click();
        });
    };
    answerThenOk(QStringLiteral("&No"));
    QVERIFY(w.runIfEnabled(Command::RecoverSelected));
    QVERIFY(asked.seen);
    QCOMPARE(asked.asked, QStringLiteral("Error creating file : ") + out.path() + QLatin1Char('/') + files[0] +
                              QStringLiteral(".  Continue Recovery ? "));
    QVERIFY(!QFileInfo::exists(out.path() + QLatin1Char('/') + files[1])); // No stopped the copy
    QVERIFY2(outcome.asked.startsWith(QStringLiteral("0 of 2 files copied; stopped.")), qPrintable(outcome.asked));

    // Yes goes on with the next file.
    chooseFile(out.path());
    answerThenOk(QStringLiteral("&Yes"));
    QVERIFY(w.runIfEnabled(Command::RecoverSelected));
    QVERIFY2(outcome.asked.contains(QStringLiteral("1 not written")), qPrintable(outcome.asked));
    QVERIFY(QFileInfo(out.path() + QLatin1Char('/') + files[1]).isFile());
    QCOMPARE(w.commands()->lastReport().totals().written, 1u);
}

void ResultsCommandsTest::chooserCancelledCopiesNothing()
{
    NEED_VOLUME("fat16.img");
    RecoveryWindow w({platform::imageDriveItem(volume("fat16.img").toStdString())}, m_devices);
    QVERIFY(scanned(w));
    ChooserSeen seen;
    chooseFile(QString(), &seen);
    bool savingShown = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
        savingShown = savingShown || qobject_cast<app::SavingDialog*>(QApplication::activeModalWidget()) != nullptr;
    });
    watch.start(1);
    QVERIFY(w.runIfEnabled(Command::RecoverAll));
    QVERIFY(seen.seen);
    QVERIFY(!savingShown);
    QVERIFY(w.commands()->lastReport().files().empty());
}

void ResultsCommandsTest::nothingSelectedAndUnusableFoldersAreSaidSo()
{
    NEED_VOLUME("fat16.img");
    RecoveryWindow w({platform::imageDriveItem(volume("fat16.img").toStdString())}, m_devices);
    QVERIFY(scanned(w));
    // Nothing selected: said at once, no chooser.
    w.detailsView()->selectionModel()->clearSelection();
    ChooserSeen chooser;
    chooseFile(QString(), &chooser);
    Answer said;
    answerWith<app::MessageBox>(QStringLiteral("&Ok"), &said);
    QVERIFY(w.runIfEnabled(Command::RecoverSelected));
    QVERIFY(said.seen);
    QVERIFY2(said.asked.startsWith(QStringLiteral("No file or folder is selected.")), qPrintable(said.asked));
    QVERIFY(!chooser.seen);
    dropPendingAnswers();

    // What a destination must be, with the reason when it is not.
    QTemporaryDir out;
    QFile plain(out.path() + QStringLiteral("/plain.txt"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QVERIFY(app::ResultsCommands::destinationProblem(out.path()).isEmpty());
    QCOMPARE(app::ResultsCommands::destinationProblem(out.path() + QStringLiteral("/gone")),
             out.path() + QStringLiteral("/gone does not exist."));
    QCOMPARE(app::ResultsCommands::destinationProblem(plain.fileName()),
             plain.fileName() + QStringLiteral(" is not a folder."));
    const QString locked = out.path() + QStringLiteral("/locked");
    QVERIFY(QDir(out.path()).mkdir(locked));
    QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
    // The administrator writes anywhere; anyone else is refused.
    if (!QFileInfo(locked).isWritable())
        QVERIFY(app::ResultsCommands::destinationProblem(locked).contains(QStringLiteral("cannot be written to")));
}

void ResultsCommandsTest::openShowsABoxThatCancels()
{
    NEED_VOLUME("fat16.img");
    GatedDevices devices;
    OpenOnExit opener{devices.gate};
    RecoveryWindow w({platform::imageDriveItem(volume("fat16.img").toStdString())}, devices);
    QVERIFY(scanned(w));
    QStringList launched;
    w.commands()->launchFile = [&](const QString& path) {
        launched << path;
        return true;
    };
    const int row = rowNamed(*w.fileListModel(), QStringLiteral("Large archive.dat"));
    QVERIFY(row >= 0);
    selectRow(w, row);
    devices.gate.close(); // the copy waits at its first read, so the box shows
    QString title, cancel;
    bool skipShown = true;
    whenModal<app::SavingDialog>([&](app::SavingDialog* d) {
        title = d->windowTitle();
        cancel = d->stopButton()->text();
        skipShown = d->skipButton()->isVisible();
        d->stopButton()->click();
        devices.gate.open();
    });
    w.commands()->run(Command::Open);
    QCOMPARE(title, QStringLiteral("Copying the file to open it"));
    QCOMPARE(cancel, QStringLiteral("&Cancel"));
    QVERIFY(!skipShown);
    // Cancelled: nothing handed over, and no part of a copy left behind.
    QVERIFY(launched.isEmpty());
    QCOMPARE(QDir(w.commands()->openFolder()).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList());

    // The same file opens when left to finish.
    w.commands()->run(Command::Open);
    QCOMPARE(launched.size(), 1);
    QCOMPARE(QFileInfo(launched.front()).fileName(), QStringLiteral("Large archive.dat"));
}

void ResultsCommandsTest::openCopiesToPrivateFolderAndHandsOver()
{
    NEED_VOLUME("fat16.img");
    RecoveryWindow w({platform::imageDriveItem(volume("fat16.img").toStdString())}, m_devices);
    QVERIFY(scanned(w));
    QStringList launched;
    bool handled = true;
    w.commands()->launchFile = [&](const QString& path) {
        launched << path;
        return handled;
    };
    QList<QStringList> started;
    w.commands()->startProgram = [&](const QStringList& command) {
        started << command;
        return true;
    };
    const app::FileListModel& model = *w.fileListModel();
    const int row = rowNamed(model, QStringLiteral("Quarterly Report 2024.txt"));
    QVERIFY(row >= 0);
    // Double-click on the row opens it.
    selectRow(w, row);
    const QRect rect = w.detailsView()->visualRect(model.index(row, 0));
    // A double-click is a press and release, then the second press.
    QTest::mouseClick(w.detailsView()->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(w.detailsView()->viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(launched.size(), 1);
    const QString copy = launched.front();
    QCOMPARE(QFileInfo(copy).fileName(), QStringLiteral("Quarterly Report 2024.txt"));
    QVERIFY(copy.startsWith(QDir::tempPath() + QStringLiteral("/sarvik-open-")));
    QCOMPARE(QFileInfo(QFileInfo(copy).path()).permissions() & (QFile::ReadOther | QFile::WriteOther), 0);
    const auto manifest = manifestFilesUnder(volume("fat16.manifest.tsv"), QString());
    QByteArray expected;
    for (const ManifestFile& f : manifest)
        if (f.path == QLatin1String("Quarterly Report 2024.txt"))
            expected = f.sha256;
    QCOMPARE(sha256Of(copy), expected);

    // A type without a handler falls back to our chooser; the command typed there
    // gets the copy's path as its own argument.
    QFile(copy).resize(0); // a second open replaces the copy
    handled = false;
    whenModal<app::OpenWithDialog>([](app::OpenWithDialog* d) {
        d->commandField()->setText(QStringLiteral("\"/usr/bin/wc\" -c"));
        d->openButton()->click();
    });
    w.commands()->run(Command::Open);
    QCOMPARE(launched.size(), 2);
    QCOMPARE(sha256Of(copy), expected);
    QCOMPARE(started.size(), 1);
    QCOMPARE(started.front(), (QStringList{"/usr/bin/wc", "-c", copy}));

    // Open With goes straight to the chooser; cancelling it starts nothing.
    whenModal<app::OpenWithDialog>([](app::OpenWithDialog* d) { d->reject(); });
    w.commands()->run(Command::OpenWith);
    QCOMPARE(launched.size(), 2);
    QCOMPARE(started.size(), 1);

    // The copies go when the program ends.
    QVERIFY(QFileInfo::exists(copy));
    answerWith(QStringLiteral("&Yes"));
    QVERIFY(w.close());
    QVERIFY(!QFileInfo::exists(QFileInfo(copy).path()));
}

void ResultsCommandsTest::emptyNtfsFileIsNotOpened()
{
    // A deleted NTFS file of 0 bytes gives no copy, so nothing is handed to a
    // program and no chooser asks for one.
    NEED_VOLUME("ntfs.img");
    RecoveryWindow w({platform::imageDriveItem(volume("ntfs.img").toStdString())}, m_devices);
    QVERIFY(scanned(w));
    const app::FileListModel& model = *w.fileListModel();
    const int empty = rowNamed(model, QStringLiteral("Empty note.txt"));
    QVERIFY(empty >= 0);
    QCOMPARE(model.text(empty, app::FileListModel::Size), QStringLiteral("0"));
    QStringList launched;
    w.commands()->launchFile = [&](const QString& path) {
        launched << path;
        return true;
    };
    QString dialogShown;
    whenModal([&](QDialog* d) {
        dialogShown = d->windowTitle();
        d->reject();
    });
    selectRow(w, empty);
    w.commands()->run(Command::Open);
    w.commands()->run(Command::OpenWith);
    QTest::qWait(50);
    QVERIFY(launched.isEmpty());
    QCOMPARE(dialogShown, QString());

    // A file with data on the same volume does open: the check above is not
    // passing merely because nothing opens here.
    const int other = rowNamed(model, QStringLiteral("Quarterly Report 2024.txt"));
    QVERIFY(other >= 0);
    selectRow(w, other);
    w.commands()->run(Command::Open);
    QCOMPARE(launched.size(), 1);
}

void ResultsCommandsTest::openWithChooserListsDesktopEntries()
{
    QTemporaryDir apps;
    auto write = [&](const char* name, const char* text) {
        QFile f(apps.path() + QLatin1Char('/') + QLatin1String(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    write("viewer.desktop", "[Desktop Entry]\nType=Application\nName=Text Viewer\nExec=tview --ro %f\n"
                            "MimeType=text/plain;text/x-log;\n");
    write("editor.desktop", "[Desktop Entry]\nType=Application\nName=Another Editor\nExec=aedit %U\n"
                            "MimeType=text/plain;\n");
    write("hidden.desktop", "[Desktop Entry]\nType=Application\nName=Hidden\nExec=h %f\nNoDisplay=true\n"
                            "MimeType=text/plain;\n");
    write("image.desktop", "[Desktop Entry]\nType=Application\nName=Pictures\nExec=pic %f\nMimeType=image/png;\n");
    write("vi.desktop", "[Desktop Entry]\nType=Application\nName=Console Editor\nExec=vi %f\nTerminal=true\n"
                        "MimeType=text/plain;\n");
    write("action.desktop", "[Desktop Action New]\nMimeType=text/plain;\n[Desktop Entry]\nName=Other\n"
                            "Exec=o\nMimeType=image/png;\n");
    const auto found = app::applicationsFor({QStringLiteral("text/plain")}, {apps.path()});
    QStringList names;
    for (const auto& a : found)
        names << a.name;
    QCOMPARE(names, (QStringList{"Another Editor", "Text Viewer"}));
    // With no program for the file the dialog says why its list is empty.
    {
        QTemporaryDir none;
        const QByteArray home = qgetenv("XDG_DATA_HOME"), dirs = qgetenv("XDG_DATA_DIRS");
        qputenv("XDG_DATA_HOME", none.path().toUtf8());
        qputenv("XDG_DATA_DIRS", none.path().toUtf8());
        app::OpenWithDialog dialog(QStringLiteral("/tmp/a.txt"));
        for (const auto& [name, value] : {std::pair{"XDG_DATA_HOME", home}, std::pair{"XDG_DATA_DIRS", dirs}})
            value.isNull() ? void(qunsetenv(name)) : void(qputenv(name, value));
        QCOMPARE(dialog.applicationList()->count(), 0);
        QVERIFY(dialog.emptyNote()->isVisibleTo(&dialog));
        QVERIFY(dialog.emptyNote()->text().contains(QStringLiteral("terminal")));
    }

    const QString file = QStringLiteral("/tmp/x y/it's.txt");
    QCOMPARE(app::commandFor(QStringLiteral("tview --ro %f"), file), (QStringList{"tview", "--ro", file}));
    QCOMPARE(app::commandFor(QStringLiteral("aedit %U %i"), file), (QStringList{"aedit", file}));
    QCOMPARE(app::commandFor(QStringLiteral("\"my prog\" -x"), file), (QStringList{"my prog", "-x", file}));
    QVERIFY(app::commandFor(QStringLiteral("   "), file).isEmpty());
}

void ResultsCommandsTest::snapshotSaveThenLoad()
{
    NEED_VOLUME("fat16.img");
    const QString image = volume("fat16.img");
    QStringList treeTexts, rootRows;
    std::uint32_t files = 0, folders = 0;
    const QString chosen = m_dir.path() + QStringLiteral("/scan_one");
    {
        RecoveryWindow w({platform::imageDriveItem(image.toStdString())}, m_devices);
        QVERIFY(scanned(w));
        QTreeWidgetItemIterator it(w.folderTree());
        for (; *it; ++it)
            treeTexts << (*it)->text(0);
        for (int r = 0; r < w.fileListModel()->rowCount(); ++r)
            rootRows << w.fileListModel()->text(r, 0) + QLatin1Char('|') + w.fileListModel()->text(r, 2);
        files = w.session().catalogue.fileCount();
        folders = w.session().catalogue.folderCount();
        ChooserSeen seen;
        chooseFile(chosen, &seen);
        QVERIFY(w.runIfEnabled(Command::SaveSnapshot));
        QVERIFY(seen.seen);
        QVERIFY(seen.filters.join(QLatin1Char(' ')).contains(QStringLiteral("*.RVSX")));
        QVERIFY(seen.filters.join(QLatin1Char(' ')).contains(QStringLiteral("*.RVU")));
    }
    // The name is kept as typed and gets the extension.
    const QString saved = m_dir.path() + QStringLiteral("/scan_one.rvu");
    QVERIFY2(QFileInfo(saved).isFile(), qPrintable(saved));

    // A fresh window loads it from the drive page straight into the results.
    RecoveryWindow w({}, m_devices);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(w.action(Command::LoadSnapshot)->isEnabled());
    chooseFile(saved);
    QSignalSpy done(&w, &RecoveryWindow::scanFinished);
    QVERIFY(w.runIfEnabled(Command::LoadSnapshot));
    QCOMPARE(done.count(), 1);
    QCOMPARE(w.currentStep(), 3);
    QVERIFY(w.folderTree()->isVisible());
    QVERIFY(!w.action(Command::LoadSnapshot)->isEnabled());
    QVERIFY(w.action(Command::SaveSnapshot)->isEnabled());
    QStringList loadedTree, loadedRows;
    QTreeWidgetItemIterator it(w.folderTree());
    for (; *it; ++it)
        loadedTree << (*it)->text(0);
    for (int r = 0; r < w.fileListModel()->rowCount(); ++r)
        loadedRows << w.fileListModel()->text(r, 0) + QLatin1Char('|') + w.fileListModel()->text(r, 2);
    QCOMPARE(loadedTree, treeTexts);
    QCOMPARE(loadedRows, rootRows);
    QCOMPARE(w.session().catalogue.fileCount(), files);
    QCOMPARE(w.session().catalogue.folderCount(), folders);

    // The loaded session reads the image again: a recovered file matches its manifest.
    QStringList launched;
    w.commands()->launchFile = [&](const QString& path) {
        launched << path;
        return true;
    };
    const int row = rowNamed(*w.fileListModel(), QStringLiteral("cluster exact.bin"));
    QVERIFY(row >= 0);
    selectRow(w, row);
    w.commands()->run(Command::Open);
    QCOMPARE(launched.size(), 1);
    QByteArray expected;
    for (const ManifestFile& f : manifestFilesUnder(volume("fat16.manifest.tsv"), QString()))
        if (f.path == QLatin1String("cluster exact.bin"))
            expected = f.sha256;
    QCOMPARE(sha256Of(launched.front()), expected);
}

void ResultsCommandsTest::snapshotLoadRefusesForeignFile()
{
    const QString foreign = m_dir.path() + QStringLiteral("/foreign.RVU");
    {
        QFile f(foreign);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("garbage and more");
    }
    const QString wrongVersion = m_dir.path() + QStringLiteral("/v2.RVU");
    {
        QFile f(wrongVersion);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("RVX4.022.0");
    }
    RecoveryWindow w({}, m_devices);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Answer asked;
    chooseFile(foreign);
    answerWith<app::MessageBox>(QStringLiteral("&Ok"), &asked);
    QVERIFY(w.runIfEnabled(Command::LoadSnapshot));
    QCOMPARE(asked.asked, QStringLiteral("    Invalid version of the file found : garbage"));
    QCOMPARE(asked.kind, int(app::MessageKind::Error));
    QCOMPARE(w.currentStep(), 0);

    chooseFile(wrongVersion);
    answerWith<app::MessageBox>(QStringLiteral("&Ok"), &asked);
    QVERIFY(w.runIfEnabled(Command::LoadSnapshot));
    QCOMPARE(asked.asked, QStringLiteral("              version of file does not match with current version 1.0"));
    QCOMPARE(w.currentStep(), 0);
    QVERIFY(w.driveTree()->isVisible());
}

void ResultsCommandsTest::snapshotOverTheSourceIsGreyedAndRefused()
{
    NEED_VOLUME("fat16.img");
    // An image whose name the snapshot rule keeps: saving a snapshot "over" it
    // would replace the volume being read.
    const QString image = m_dir.filePath(QStringLiteral("SOURCE.RVU"));
    QFile::remove(image);
    QVERIFY(QFile::copy(volume("fat16.img"), image));
    QFile original(image);
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray before = original.readAll();
    original.close();
    RecoveryWindow w({platform::imageDriveItem(image.toStdString())}, m_devices);
    QVERIFY(scanned(w));

    bool greyed = false;
    QString tip;
    whenModal<QFileDialog>([&](QFileDialog* dialog) {
        dialog->setDirectory(m_dir.path());
        dialog->selectFile(image);
        if (auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            field->setText(image);
        QTimer::singleShot(100, dialog, [&greyed, &tip, dialog] {
            auto* box = dialog->findChild<QDialogButtonBox*>();
            QPushButton* save = box != nullptr ? box->button(QDialogButtonBox::Save) : nullptr;
            greyed = save != nullptr && !save->isEnabled();
            tip = save != nullptr ? save->toolTip() : QString();
            QMetaObject::invokeMethod(dialog, "accept"); // typed and Enter: refused all the same
        });
    });
    answerWith<QMessageBox>(QStringLiteral("&Yes")); // the chooser's own "replace it?"
    Answer said;
    answerWith<app::MessageBox>(QStringLiteral("&Ok"), &said);
    QVERIFY(w.runIfEnabled(Command::SaveSnapshot));
    QVERIFY(greyed);
    QVERIFY2(tip.startsWith(QStringLiteral("The snapshot is on the volume being recovered")), qPrintable(tip));
    QVERIFY2(said.asked.contains(QStringLiteral("writing there can overwrite the files you want back")),
             qPrintable(said.asked));
    QVERIFY(original.open(QIODevice::ReadOnly));
    QVERIFY(original.readAll() == before);
}

void ResultsCommandsTest::saveSnapshotOf(const QString& image, const QString& saved)
{
    RecoveryWindow w({platform::imageDriveItem(image.toStdString())}, m_devices);
    QVERIFY(scanned(w));
    chooseFile(saved);
    QVERIFY(w.runIfEnabled(Command::SaveSnapshot));
    QVERIFY(QFileInfo(saved).isFile());
}

void ResultsCommandsTest::snapshotWithoutItsVolumeRecoversNothing()
{
    NEED_VOLUME("fat16.img");
    const QString image = m_dir.path() + QStringLiteral("/gone.img");
    QVERIFY(QFile::copy(volume("fat16.img"), image));
    const QString saved = m_dir.path() + QStringLiteral("/GONE.RVU");
    saveSnapshotOf(image, saved);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(QFile::remove(image));

    RecoveryWindow w({}, m_devices);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Answer loadSaid;
    chooseFile(saved);
    answerWith<app::MessageBox>(QStringLiteral("&Ok"), &loadSaid);
    QVERIFY(w.runIfEnabled(Command::LoadSnapshot));
    QCOMPARE(w.currentStep(), 3);
    QVERIFY2(loadSaid.asked.contains(QStringLiteral("cannot be opened")), qPrintable(loadSaid.asked));

    // Recover All and Open refuse before anything is chosen or written: every
    // read would fail and the files would be zeros under their real names.
    QTemporaryDir out;
    QStringList launched;
    w.commands()->launchFile = [&](const QString& path) {
        launched << path;
        return true;
    };
    for (const int command : {int(Command::RecoverAll), int(Command::Open)}) {
        Answer refused;
        chooseFile(out.path());
        answerWith<app::MessageBox>(QStringLiteral("&Ok"), &refused);
        if (command == Command::Open) {
            const int row = rowNamed(*w.fileListModel(), QStringLiteral("cluster exact.bin"));
            QVERIFY(row >= 0);
            selectRow(w, row);
            w.commands()->run(Command::Open);
        } else {
            QVERIFY(w.runIfEnabled(Command::RecoverAll));
        }
        QVERIFY2(refused.asked.contains(QStringLiteral("nothing was written")), qPrintable(refused.asked));
        QCOMPARE(refused.kind, int(app::MessageKind::Error));
        dropPendingAnswers();
    }
    QVERIFY(QDir(out.path()).isEmpty());
    QVERIFY(launched.isEmpty());
    QVERIFY(w.commands()->lastReport().files().empty());
}

void ResultsCommandsTest::snapshotOfAnotherVolumeIsSaid()
{
    // The image was replaced by another volume: it opens, but its clusters are
    // not the snapshot's. The load says so, field by field.
    NEED_VOLUME("fat16.img");
    NEED_VOLUME("fat32.img");
    const QString image = m_dir.path() + QStringLiteral("/swapped.img");
    QVERIFY(QFile::copy(volume("fat16.img"), image));
    const QString saved = m_dir.path() + QStringLiteral("/SWAPPED.RVU");
    saveSnapshotOf(image, saved);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(QFile::remove(image));
    QVERIFY(QFile::copy(volume("fat32.img"), image));

    RecoveryWindow w({}, m_devices);
    Answer loadSaid;
    chooseFile(saved);
    answerWith<app::MessageBox>(QStringLiteral("&Ok"), &loadSaid);
    QVERIFY(w.runIfEnabled(Command::LoadSnapshot));
    QCOMPARE(w.currentStep(), 3);
    QVERIFY2(loadSaid.asked.contains(QStringLiteral("does not match the snapshot")), qPrintable(loadSaid.asked));
    QVERIFY2(loadSaid.asked.contains(QStringLiteral("file system: snapshot FAT16, volume FAT32")),
             qPrintable(loadSaid.asked));
    dropPendingAnswers();
}

void ResultsCommandsTest::filterDialogLimitsAndOrder()
{
    search::FilterPatterns patterns;
    app::FileFiltersDialog d(patterns, false);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));

    auto addText = [&](const QString& text) {
        d.patternEdit()->setText(text);
        d.addButton()->click();
    };
    Answer asked;
    // Blank.
    answerWith<app::MessageBox>(QStringLiteral("&Ok"), &asked);
    addText(QString());
    QCOMPARE(asked.asked, QStringLiteral("      Blank entry not allowed     "));
    // 20 characters: refused with the first 19 selected; 19 are accepted.
    answerWith<app::MessageBox>(QStringLiteral("&Ok"), &asked);
    addText(QStringLiteral("abcdefghijklmnopqrst"));
    QCOMPARE(asked.asked, QStringLiteral("      Pattern length exceeds the limit     "));
    QCOMPARE(d.patternEdit()->selectedText(), QStringLiteral("abcdefghijklmnopqrs"));
    QCOMPARE(patterns.count(), 0u);
    addText(QStringLiteral("abcdefghijklmnopqrs"));
    QCOMPARE(patterns.count(), 1u);
    QVERIFY(d.patternEdit()->text().isEmpty());
    // Case makes a different entry; an identical one is refused with all selected.
    addText(QStringLiteral("*.txt"));
    addText(QStringLiteral("*.TXT"));
    answerWith<app::MessageBox>(QStringLiteral("&Ok"), &asked);
    addText(QStringLiteral("*.txt"));
    QCOMPARE(asked.asked, QStringLiteral("      Pattern already exists in the list     "));
    QCOMPARE(d.patternEdit()->selectedText(), QStringLiteral("*.txt"));
    // Newest first in the list box, table in the order of adding.
    QCOMPARE(d.patternList()->item(0)->text(), QStringLiteral("*.TXT"));
    QCOMPARE(d.patternList()->item(2)->text(), QStringLiteral("abcdefghijklmnopqrs"));
    QCOMPARE(patterns.patterns().front(), std::string("abcdefghijklmnopqrs"));
    // Up to 99 patterns, then the table-full message.
    for (int i = 3; i < 99; ++i)
        addText(QStringLiteral("p%1").arg(i));
    QCOMPARE(patterns.count(), 99u);
    QCOMPARE(d.patternList()->count(), 99);
    answerWith<app::MessageBox>(QStringLiteral("&Ok"), &asked);
    addText(QStringLiteral("one more"));
    QCOMPARE(asked.asked, QStringLiteral("      You cannot add more patterns     "));
    QCOMPARE(patterns.count(), 99u);

    // Remove without a selection changes nothing; with one it removes that pattern.
    d.patternList()->clearSelection();
    d.patternList()->setCurrentRow(-1);
    d.removeButton()->click();
    QCOMPARE(patterns.count(), 99u);
    d.patternList()->setCurrentRow(d.patternList()->count() - 2); // "*.txt"
    QCOMPARE(d.patternList()->currentItem()->text(), QStringLiteral("*.txt"));
    d.removeButton()->click();
    QCOMPARE(patterns.count(), 98u);
    QCOMPARE(d.patternList()->count(), 98);
    QCOMPARE(d.patternList()->currentRow(), 0);
    QCOMPARE(std::count(patterns.patterns().begin(), patterns.patterns().end(), std::string("*.txt")), 0);

    // Reopened, the list box shows the table as it stands.
    app::FileFiltersDialog again(patterns, false);
    QCOMPARE(again.patternList()->count(), 98);
    QVERIFY(again.removeButton()->isEnabled());
}

void ResultsCommandsTest::filterCloseRefillsRoot()
{
    NEED_VOLUME("fat16.img");
    RecoveryWindow w({platform::imageDriveItem(volume("fat16.img").toStdString())}, m_devices);
    QVERIFY(scanned(w));
    const app::FileListModel& model = *w.fileListModel();
    int foldersBefore = 0, txtBefore = 0;
    for (int r = 0; r < model.rowCount(); ++r) {
        foldersBefore += model.isFolder(r) ? 1 : 0;
        txtBefore += !model.isFolder(r) && model.text(r, 0).endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive);
    }
    // Go into a folder first: Close comes back to the root.
    w.folderTree()->setCurrentItem(w.folderTree()->topLevelItem(0)->child(0));
    w.setFocusOnTree(true);
    w.openSelectedItem();
    whenModal<app::FileFiltersDialog>([](app::FileFiltersDialog* d) {
        d->patternEdit()->setText(QStringLiteral("*.txt"));
        d->addButton()->click();
        QTest::keyClick(d, Qt::Key_Escape);
    });
    QVERIFY(w.runIfEnabled(Command::FileFilters));
    QVERIFY(w.focusOnTree());
    QCOMPARE(w.folderTree()->currentItem(), w.folderTree()->topLevelItem(0));
    int folders = 0, files = 0;
    for (int r = 0; r < model.rowCount(); ++r) {
        if (model.isFolder(r)) {
            ++folders;
            continue;
        }
        ++files;
        QVERIFY2(model.text(r, 0).endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive), qPrintable(model.text(r, 0)));
    }
    QCOMPARE(folders, foldersBefore);
    QCOMPARE(files, txtBefore);
    QVERIFY(files >= 1);
    // The page says that a filter shapes the list and the recovery, and which.
    QVERIFY(w.filterNote()->isVisible());
    QVERIFY2(w.filterNote()->text().contains(QStringLiteral("*.txt")), qPrintable(w.filterNote()->text()));
    // Back, then a new scan: no filter, no note.
    QTest::mouseClick(w.backButton(), Qt::LeftButton);
    QVERIFY(!w.filterNote()->isVisible());
}

void ResultsCommandsTest::findMatchesWithPaths()
{
    NEED_VOLUME("fat16.img");
    RecoveryWindow w({platform::imageDriveItem(volume("fat16.img").toStdString())}, m_devices);
    QVERIFY(scanned(w));
    QStringList names, paths, sizes;
    bool escapeIgnored = false;
    whenModal<app::FindFilesDialog>([&](app::FindFilesDialog* d) {
        d->patternEdit()->setText(QStringLiteral("*.png"));
        QTest::keyClick(d->patternEdit(), Qt::Key_Return);
        escapeIgnored = true;
        if (d->searching()) {
            QTest::keyClick(d, Qt::Key_Escape);
            escapeIgnored = d->isVisible();
        }
        QSignalSpy ended(d, &app::FindFilesDialog::searchEnded);
        if (d->searching())
            ended.wait(10000);
        names = column(d->results(), 0);
        paths = column(d->results(), 1);
        sizes = column(d->results(), 2);
        QCOMPARE(d->filesFoundValue()->text(), QString::number(names.size()));
        QTest::keyClick(d, Qt::Key_Escape);
    });
    QVERIFY(w.runIfEnabled(Command::FindFiles));
    QVERIFY(escapeIgnored);
    // Every deleted .png of the manifest, with its folder as a path and its
    // size as the locale writes it.
    QStringList expected;
    for (const ManifestFile& f : manifestFilesUnder(volume("fat16.manifest.tsv"), QString())) {
        if (!f.path.endsWith(QStringLiteral(".png")))
            continue;
        const qsizetype slash = f.path.lastIndexOf(QLatin1Char('/'));
        expected << f.path.mid(slash + 1) + QLatin1Char('|') + QLatin1Char('/') +
                        f.path.left(std::max<qsizetype>(slash, 0)) + QLatin1Char('|') +
                        QLocale().toString(static_cast<qulonglong>(f.size));
    }
    QStringList got;
    for (qsizetype i = 0; i < names.size(); ++i)
        got << names[i] + QLatin1Char('|') + paths[i] + QLatin1Char('|') + sizes[i];
    QVERIFY(!got.isEmpty());
    for (const QString& g : got)
        QVERIFY2(expected.contains(g), qPrintable(g));
    QVERIFY(got.contains(QStringLiteral("thumb 001.png|/Photos/Thumbs|") + QLocale().toString(3000)));
}

// Typing narrows the matches; Enter on one shows it in its folder in the
// window, selected; its right-click menu recovers it from there.
void ResultsCommandsTest::findGoesToTheFileAndActsOnIt()
{
    NEED_VOLUME("fat16.img");
    RecoveryWindow w({platform::imageDriveItem(volume("fat16.img").toStdString())}, m_devices);
    QVERIFY(scanned(w));
    // Types `text` into the pattern and waits for the search that follows by itself.
    const auto typed = [](app::FindFilesDialog* d, const QString& text) {
        QSignalSpy ended(d, &app::FindFilesDialog::searchEnded);
        QTest::keyClicks(d->patternEdit(), text);
        return ended.wait(5000) ? column(d->results(), 0) : QStringList{QStringLiteral("no search")};
    };
    QStringList broad, narrow;
    whenModal<app::FindFilesDialog>([&](app::FindFilesDialog* d) {
        broad = typed(d, QStringLiteral("t"));
        narrow = typed(d, QStringLiteral("humb"));
        d->results()->setFocus();
        d->results()->setCurrentCell(0, 0);
        QTest::keyClick(d->results(), Qt::Key_Return);
    });
    QVERIFY(w.runIfEnabled(Command::FindFiles));
    QVERIFY2(narrow.size() == 1 && broad.size() > narrow.size() && broad.contains(narrow.front()),
             qPrintable(broad.join(QLatin1Char(',')) + QStringLiteral(" / ") + narrow.join(QLatin1Char(','))));
    QCOMPARE(narrow.front(), QStringLiteral("thumb 001.png"));
    QCOMPARE(w.folderTree()->currentItem()->text(0), QStringLiteral("Thumbs"));
    QCOMPARE(w.fileListModel()->text(w.currentRow(), app::FileListModel::Name), QStringLiteral("thumb 001.png"));
    const std::vector<bool> selected = w.selectedRows();
    QCOMPARE(std::count(selected.begin(), selected.end(), true), 1);

    // From the root again: the menu's Recover copies the match out.
    w.fillFileList(w.session().tree.rootKey());
    QStringList items;
    whenModal<app::FindFilesDialog>([&](app::FindFilesDialog* d) {
        typed(d, QStringLiteral("thumb"));
        d->results()->setCurrentCell(0, 0);
        const std::unique_ptr<QMenu> menu = d->contextMenu();
        QVERIFY(menu != nullptr);
        for (const QAction* a : menu->actions())
            items << a->text();
        d->choose(0, static_cast<app::FindFilesDialog::Choice>(menu->actions().front()->data().toInt()));
    });
    QTemporaryDir out;
    chooseFile(out.path());
    answerWith<app::MessageBox>(QStringLiteral("&Ok"));
    QVERIFY(w.runIfEnabled(Command::FindFiles));
    QCOMPARE(items, (QStringList{"&Recover...", "&Open", "P&roperties", "&Go to Folder"}));
    QVERIFY(QFileInfo(out.path() + QStringLiteral("/thumb 001.png")).isFile());
    QCOMPARE(w.commands()->lastReport().totals().written, 1u);
}

void ResultsCommandsTest::findStopAnsweredNoAndYes()
{
    const catalogue::Catalogue c = syntheticFiles(600'000);
    catalogue::FolderTree tree;
    app::FileTypes types;
    app::FindFilesDialog d(c, tree, catalogue::CatalogueKind::Fat, types);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    d.patternEdit()->setText(QStringLiteral("HIT"));

    // No: the walk waits while the question is open, then ends with every match.
    bool pausedWhileAsked = false;
    Answer asked;
    whenModal<app::MessageBox>([&](app::MessageBox* box) {
        asked.asked = box->text();
        if (d.control() != nullptr)
            for (int i = 0; i < 200 && !d.control()->waiting() && d.searching(); ++i)
                QTest::qWait(5);
        pausedWhileAsked = d.control() != nullptr && d.control()->waiting();
        buttonWithText(box, QStringLiteral("&No"))->click();
    });
    QSignalSpy ended(&d, &app::FindFilesDialog::searchEnded);
    d.StartSearch();
    QVERIFY(!d.startButton()->isEnabled());
    QVERIFY(d.stopButton()->isEnabled());
    d.StopSearch();
    QCOMPARE(asked.asked, QStringLiteral("Do you want to stop file searching ?"));
    QVERIFY2(pausedWhileAsked, "the search had ended before the question: too few entries");
    QVERIFY(ended.wait(30000));
    QCOMPARE(d.results()->rowCount(), 200'000);
    QCOMPARE(d.filesFoundValue()->text(), QStringLiteral("200000"));
    QCOMPARE(d.lastFileValue()->text(), QStringLiteral("hit599997.dat"));
    QVERIFY(d.startButton()->isEnabled());
    QVERIFY(!d.stopButton()->isEnabled());

    // Yes: the search ends at once and keeps the rows found before the pause.
    answerWith<app::MessageBox>(QStringLiteral("&Yes"));
    d.StartSearch();
    QCOMPARE(d.results()->rowCount(), 0); // a new search starts empty
    d.StopSearch();
    QVERIFY(!d.searching());
    const int kept = d.results()->rowCount();
    QVERIFY(kept < 200'000);
    QCOMPARE(d.filesFoundValue()->text(), kept == 0 ? QString() : QString::number(kept));
    QVERIFY(d.startButton()->isEnabled());
    QVERIFY(!d.stopButton()->isEnabled());
    QTest::qWait(50); // the stopped walk's end report must not change anything
    QCOMPARE(d.results()->rowCount(), kept);
    // The rows kept are the first matches in list order.
    for (int r = 0; r < kept; ++r)
        QCOMPARE(d.results()->item(r, 0)->text(), QStringLiteral("hit%1.dat").arg(r * 3));
}

void ResultsCommandsTest::contextMenuItems()
{
    NEED_VOLUME("fat16.img");
    RecoveryWindow w({platform::imageDriveItem(volume("fat16.img").toStdString())}, m_devices);
    QVERIFY(scanned(w));
    const app::FileListModel& model = *w.fileListModel();
    w.detailsView()->selectionModel()->clear();
    QVERIFY(w.commands()->contextMenu() == nullptr); // no row: no menu
    const int folder = rowNamed(model, QStringLiteral("Photos"));
    selectRow(w, folder);
    auto menu = w.commands()->contextMenu();
    QVERIFY(menu);
    QStringList items;
    QAction* with = nullptr;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) {
            items << QStringLiteral("-");
        } else if (a->menu() != nullptr) {
            QStringList sub;
            for (QAction* s : a->menu()->actions())
                sub << s->text() + QLatin1Char('=') + s->data().toString();
            items << a->text() + QLatin1Char('{') + sub.join(QLatin1Char(',')) + QLatin1Char('}');
        } else {
            items << a->text() + QLatin1Char('=') + a->data().toString();
            if (a->data().toInt() == Command::OpenWith)
                with = a;
        }
    }
    QCOMPARE(items, (QStringList{"&Open=32827", "Open &With...=32829", "-", "&Recover Selected...=32825",
                                 "Recover &All...=32826", "-", "&View{Ico&ns     =32819,&List=32820,&Details=32837}",
                                 "-", "&Find Files...=32836", "-", "Re&name=32839", "-", "&Settings...=32828", "-",
                                 "&Properties...=32830"}));
    QVERIFY(with != nullptr && !with->isEnabled()); // grayed for a deleted folder
    selectRow(w, rowNamed(model, QStringLiteral("one byte.bin")));
    menu = w.commands()->contextMenu();
    for (QAction* a : menu->actions())
        if (a->data().toInt() == Command::OpenWith)
            QVERIFY(a->isEnabled());
}

void ResultsCommandsTest::renameFileAndFolder()
{
    NEED_VOLUME("fat16.img");
    RecoveryWindow w({platform::imageDriveItem(volume("fat16.img").toStdString())}, m_devices);
    QVERIFY(scanned(w));
    app::FileListModel& model = *w.fileListModel();
    // Nothing may be opened by the Enter that ends an edit.
    QStringList launched;
    w.commands()->launchFile = [&](const QString& path) {
        launched << path;
        return true;
    };
    auto editTo = [&](const QString& text, bool commit) {
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        if (editor == nullptr)
            return false;
        editor->setText(text);
        QTest::keyClick(editor, commit ? Qt::Key_Return : Qt::Key_Escape);
        return true;
    };
    // A file: F2 on the list, a new name, Enter.
    int row = rowNamed(model, QStringLiteral("one byte.bin"));
    selectRow(w, row);
    w.detailsView()->setFocus();
    QTest::keyClick(w.detailsView(), Qt::Key_F2);
    // The keys that go Back leave the page alone while a name is edited.
    for (const QKeyCombination keys : {Qt::AltModifier | Qt::Key_Left, QKeyCombination(Qt::Key_Backspace)}) {
        QVERIFY(QApplication::focusWidget() != nullptr);
        QTest::keyClick(QApplication::focusWidget(), keys.key(), keys.keyboardModifiers());
        QCOMPARE(w.currentStep(), 3);
    }
    QVERIFY(editTo(QStringLiteral("renamed.bin"), true));
    QVERIFY(launched.isEmpty());
    // The edit commits once the key has been handled.
    QTRY_COMPARE(model.text(row, 0), QStringLiteral("renamed.bin"));
    const auto ordinal = model.key(row);
    bool inCatalogue = false;
    for (const auto& e : w.session().catalogue.fsLists().FatFileList)
        inCatalogue = inCatalogue || (e.ordinal == ordinal && e.name == "renamed.bin");
    QVERIFY(inCatalogue);
    // An empty edit keeps the old name, in the row and in the catalogue.
    w.commands()->Rename();
    QVERIFY(w.commands()->renaming());
    QVERIFY(editTo(QString(), true));
    QTRY_VERIFY(!w.commands()->renaming());
    QCOMPARE(model.text(row, 0), QStringLiteral("renamed.bin"));
    // A cancelled edit changes nothing.
    w.commands()->Rename();
    QVERIFY(editTo(QStringLiteral("other"), false));
    QTRY_VERIFY(!w.commands()->renaming());
    QCOMPARE(model.text(row, 0), QStringLiteral("renamed.bin"));
    // The renamed file is found under its new name.
    std::size_t found = 0;
    search::SearchControl control;
    search::FindFiles(w.session().catalogue, w.session().tree, w.session().kind(), "renamed.bin", control,
                      [&](const search::SearchMatch&) { ++found; });
    QCOMPARE(found, 1u);

    // A folder: the tree item and the tree's name change too, so recovery uses it.
    row = rowNamed(model, QStringLiteral("Photos"));
    const auto handle = static_cast<std::uint32_t>(model.key(row));
    selectRow(w, row);
    w.commands()->Rename();
    QVERIFY(editTo(QStringLiteral("Pictures é"), true));
    QVERIFY(launched.isEmpty());
    QTRY_COMPARE(model.text(row, 0), QStringLiteral("Pictures é"));
    QCOMPARE(w.folderItem(handle)->text(0), QStringLiteral("Pictures é"));
    QCOMPARE(w.session().tree.node(handle)->name, std::string("Pictures \xE9"));
    QTemporaryDir out;
    selectRow(w, row);
    chooseFile(out.path());
    answerWith<app::MessageBox>(QStringLiteral("&Ok"));
    QVERIFY(w.runIfEnabled(Command::RecoverSelected));
    QVERIFY(QFileInfo(out.path() + QStringLiteral("/Pictures é/Thumbs/thumb 001.png")).isFile());

    // With the focus on the tree, Rename does nothing.
    w.setFocusOnTree(true);
    w.commands()->Rename();
    QVERIFY(!w.commands()->renaming());
}

void ResultsCommandsTest::propertiesTexts()
{
    QCOMPARE(session::fileSizeText(1'048'576), std::string("1025 KB"));
    QCOMPARE(session::fileSizeText(0), std::string("1 KB"));
    QCOMPARE(session::fileSizeText(1023), std::string("1 KB"));
    QCOMPARE(session::fileSizeText(1024), std::string("2 KB"));
    QCOMPARE(session::fileSizeText(5'000'000'000ull), std::string("4882813 KB"));

    // Top (10) holds A (11) and B (12), each with one file of 3 MiB; Empty (13)
    // holds nothing. A filter does not hide files from the count.
    catalogue::Catalogue c;
    c.AddFatFolder("Top", 10, 0, 0, 0, 0, 1);
    c.AddFatFolder("A", 11, 10, 0, 0, 0, 1);
    c.AddFatFolder("B", 12, 10, 0, 0, 0, 1);
    c.AddFatFolder("Empty", 13, 0, 0, 0, 0, 1);
    c.AddFatFile("one.doc", 20, 11, 0, 0, 3'145'728, 1);
    c.AddFatFile("two.doc", 30, 12, 0, 0, 3'145'728, 1);
    c.AddFatFile("root.doc", 40, 0, 0, 0, 99, 1);
    catalogue::FolderTree tree;
    tree.BuildFolderTree(c, catalogue::CatalogueKind::Fat);
    const catalogue::CatalogueIndex index(c, catalogue::CatalogueKind::Fat);
    const auto top = session::countFolder(c, tree, index, c.fsLists().FatFolderList[0].treeItem);
    QCOMPARE(session::contentsText(top), std::string("2 File(s) and 2 Folder(s)"));
    QCOMPARE(session::folderSizeText(top), std::string("6 MB"));
    const auto empty = session::countFolder(c, tree, index, c.fsLists().FatFolderList[3].treeItem);
    QCOMPARE(session::contentsText(empty), std::string("0 File(s) and 0 Folder(s)"));
    QCOMPARE(session::folderSizeText(empty), std::string("Less than 1 MB"));

    // The box through the window: a folder row and a file row.
    NEED_VOLUME("fat16.img");
    RecoveryWindow w({platform::imageDriveItem(volume("fat16.img").toStdString())}, m_devices);
    QVERIFY(scanned(w));
    QString name, size, contents;
    auto readBox = [&](app::PropertiesDialog* d) {
        name = d->value(1012);
        size = d->value(1011);
        contents = d->value(1013);
        d->accept();
    };
    selectRow(w, rowNamed(*w.fileListModel(), QStringLiteral("Photos")));
    whenModal<app::PropertiesDialog>(readBox);
    w.commands()->run(Command::Properties);
    QCOMPARE(name, QStringLiteral("Photos"));
    QCOMPARE(contents, QStringLiteral("3 File(s) and 1 Folder(s)")); // 20000 + 35000 + 3000 bytes
    QCOMPARE(size, QStringLiteral("Less than 1 MB"));
    selectRow(w, rowNamed(*w.fileListModel(), QStringLiteral("Large archive.dat")));
    whenModal<app::PropertiesDialog>(readBox);
    w.commands()->run(Command::Properties);
    QCOMPARE(size, QStringLiteral("3073 KB")); // 3,145,851 bytes
    QVERIFY(contents.isEmpty());
}

QTEST_MAIN(ResultsCommandsTest)
#include "ResultsCommandsTest.moc"

void ResultsCommandsTest::thoroughNamesShownAndTypedAsUtf8()
{
    // A thorough scan keeps names as UTF-8; the list, the tree, find, the
    // filters and renaming must neither encode them a second time nor hand
    // Windows-1252 patterns or names to a UTF-8 catalogue.
    NEED_VOLUME("fat16.img");
    RecoveryWindow w({platform::imageDriveItem(volume("fat16.img").toStdString())}, m_devices);
    QVERIFY(scanned(w, true));
    QVERIFY(w.session().catalogue.NamesAreUtf8);
    QCOMPARE(w.rulesLabel()->text(), QStringLiteral("Thorough scan"));
    app::FileListModel& model = *w.fileListModel();
    const QString cafe = QStringLiteral("Caf\u00e9 menu.txt");
    const QString report = QString::fromUtf8("\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82 \xD0\xB7\xD0\xB0 "
                                             "\xD0\xBC\xD0\xB0\xD0\xB9.txt"); // the manifest's Cyrillic name
    const int cafeRow = rowNamed(model, cafe);
    QVERIFY(cafeRow >= 0);
    QVERIFY(rowNamed(model, report) >= 0);
    app::FileTypes types;
    QCOMPARE(model.text(cafeRow, app::FileListModel::Type),
             QStringLiteral("Deleted ") + types.typeName(QStringLiteral("x.txt")));

    // Find: the typed pattern meets the names as they are held.
    QStringList names, paths;
    whenModal<app::FindFilesDialog>([&](app::FindFilesDialog* d) {
        d->patternEdit()->setText(QString::fromUtf8("\xD0\x9E\xD1\x82\xD1\x87*"));
        QTest::keyClick(d->patternEdit(), Qt::Key_Return);
        QSignalSpy ended(d, &app::FindFilesDialog::searchEnded);
        if (d->searching())
            ended.wait(10000);
        names = column(d->results(), 0);
        paths = column(d->results(), 1);
        d->reject();
    });
    QVERIFY(w.runIfEnabled(Command::FindFiles));
    QCOMPARE(names, QStringList{report});
    QCOMPARE(paths, QStringList{QStringLiteral("/")});

    // A filter with an accented character keeps only the names that hold it.
    whenModal<app::FileFiltersDialog>([&](app::FileFiltersDialog* d) {
        d->patternEdit()->setText(QStringLiteral("*\u00e9*"));
        d->addButton()->click();
        QCOMPARE(d->patternList()->item(0)->text(), QStringLiteral("*\u00e9*"));
        d->reject();
    });
    QVERIFY(w.runIfEnabled(Command::FileFilters));
    QStringList shown;
    for (int r = 0; r < model.rowCount(); ++r)
        if (!model.isFolder(r))
            shown << model.text(r, 0);
    QCOMPARE(shown, QStringList{cafe});

    // Renaming stores the typed text as UTF-8, Cyrillic included.
    const int row = rowNamed(model, cafe);
    const auto ordinal = model.key(row);
    const QString newName = QString::fromUtf8("\xD0\xBC\xD0\xB5\xD0\xBD\xD1\x8E na\xC3\xAFve.txt");
    model.setData(model.index(row, 0), newName); // as the list's edit ends
    QCOMPARE(model.text(row, 0), newName);
    std::string held;
    for (const auto& e : w.session().catalogue.fsLists().FatFileList)
        if (e.ordinal == ordinal)
            held = e.name;
    QCOMPARE(QString::fromStdString(held), newName);
}

void ResultsCommandsTest::previewShowsTheCopysBytesAndTheEstimate()
{
    NEED_VOLUME("fat16.img");
    NEED_VOLUME("fat12.img");
    for (const char* image : {"fat16.img", "fat12.img"}) {
        RecoveryWindow w({platform::imageDriveItem(volume(image).toStdString())}, m_devices);
        const bool fat12 = QLatin1String(image) == QLatin1String("fat12.img");
        QVERIFY(scanned(w, fat12)); // the classic rules do not read FAT12
        QStringList launched;
        w.commands()->launchFile = [&](const QString& path) {
            launched << path;
            return true;
        };
        w.action(Command::Preview)->trigger();
        app::PreviewPane* pane = w.previewPane();
        QVERIFY(pane->isVisible());
        if (!fat12) {
            // The handle between the folder tree and the list moves the edge between them.
            QWidget* handle = w.treeListHandle();
            QVERIFY(handle->isVisible());
            const int treeWidth = w.folderTree()->width();
            const int listLeft = w.fileList()->x();
            const QPoint at = handle->rect().center();
            QTest::mousePress(handle, Qt::LeftButton, {}, at);
            QTest::mouseMove(handle, at + QPoint(60, 0));
            QTest::mouseRelease(handle, Qt::LeftButton, {}, at + QPoint(60, 0));
            QCOMPARE(w.folderTree()->width(), treeWidth + 60);
            QCOMPARE(w.fileList()->x(), listLeft + 60);
            QCOMPARE(handle->x(), w.folderTree()->geometry().right() + 1);
        }
        QSignalSpy shown(pane, &app::PreviewPane::shown);
        const app::FileListModel& model = *w.fileListModel();
        const auto enter = [&](const QString& folder) {
            selectRow(w, rowNamed(model, folder));
            w.openSelectedItem();
        };
        // Previews `name` of the open folder; gives the copy Open writes of it.
        const auto preview = [&](const QString& name) -> QByteArray {
            const int row = rowNamed(model, name);
            if (row < 0)
                return {};
            shown.clear();
            selectRow(w, row);
            if (!shown.wait(10000))
                return {};
            w.commands()->run(Command::Open);
            QFile copy(launched.value(launched.size() - 1));
            return copy.open(QIODevice::ReadOnly) ? copy.readAll() : QByteArray();
        };
        // The strip's parts are the Condition column's clusters.
        const auto stripMatchesCondition = [&] {
            const catalogue::FileRow& r = model.fileRows()[static_cast<std::size_t>(w.currentRow())];
            std::uint64_t total = 0;
            for (const auto& part : pane->strip()->parts())
                total += part.count;
            QCOMPARE(total, r.conditionClusters);
            QCOMPARE(pane->strip()->clusters(recovery::ClusterState::Claimed), r.conditionClustersInUse);
        };
        if (fat12) {
            // Data overwritten since: its clusters show as claimed.
            enter(QStringLiteral("Fragments"));
            QVERIFY(!preview(QStringLiteral("part B.bin")).isEmpty());
            QVERIFY(pane->strip()->clusters(recovery::ClusterState::Claimed) > 0);
            QVERIFY(pane->strip()->partText(0).endsWith(QStringLiteral("claimed since by another file")));
            stripMatchesCondition();
            continue;
        }
        const QByteArray text = preview(QStringLiteral("Quarterly Report 2024.txt"));
        QVERIFY(!text.isEmpty());
        QCOMPARE(pane->content().kind, app::PreviewKind::Text);
        QCOMPARE(pane->content().bytes, text);
        QCOMPARE(pane->content().text, QString::fromLatin1(text));
        stripMatchesCondition();
        // The same bytes as hex on request.
        shown.clear();
        pane->modeBox()->setCurrentIndex(1);
        QVERIFY(shown.wait(10000));
        QCOMPARE(pane->content().kind, app::PreviewKind::Hex);
        QVERIFY(pane->content().text.startsWith(
            QStringLiteral("00000000  %1 ").arg(QString::fromLatin1(text.left(1).toHex()))));
        pane->modeBox()->setCurrentIndex(0);

        enter(QStringLiteral("Photos"));
        const QByteArray png = preview(QStringLiteral("holiday 001.png"));
        QVERIFY(!png.isEmpty());
        QCOMPARE(pane->content().kind, app::PreviewKind::Picture);
        QCOMPARE(pane->content().bytes, png);
        QVERIFY(pane->note()->text().isEmpty());
        QCOMPARE(pane->content().picture.size(), QImage::fromData(png).size());

        // As thumbnails: the pictures made on the same worker, scaled to fit.
        app::ThumbnailView* thumbs = w.thumbnailView();
        QSignalSpy made(thumbs, &app::ThumbnailView::thumbnailMade);
        w.action(Command::Thumbnails)->trigger();
        QVERIFY(thumbs->isVisible());
        const int row = rowNamed(model, QStringLiteral("holiday 001.png"));
        QTRY_VERIFY_WITH_TIMEOUT(!thumbs->thumbnail(row).isNull(), 10000);
        QCOMPARE(thumbs->thumbnail(row).size(),
                 QImage::fromData(png).size().scaled(app::ThumbnailView::kSide, app::ThumbnailView::kSide,
                                                     Qt::KeepAspectRatio));
        QVERIFY(made.count() >= 1);
    }
}

void ResultsCommandsTest::previewOfACutPictureSaysWhereItStopped()
{
    // A JPEG whose second half lies in clusters that hold zeros now.
    QImage picture(320, 240, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb((x * 7 + y) & 255, (y * 3) & 255, (x ^ y) & 255));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(QImageWriter(&buffer, "jpeg").write(picture));
    app::PreviewContent content;
    content.bytes = jpeg;
    const qsizetype half = jpeg.size() / 2;
    content.bytes.replace(half, jpeg.size() - half, QByteArray(jpeg.size() - half, '\0'));
    content.fileSize = static_cast<std::uint64_t>(jpeg.size());
    app::decodePicture(content, static_cast<std::uint64_t>(half));
    QCOMPARE(content.pictureSize, QSize(320, 240));
    QCOMPARE(content.picture.size(), QSize(320, 240));
    const QRegularExpression said(QStringLiteral("^Decoded (\\d+) of 240 rows"));
    const auto match = said.match(content.note);
    QVERIFY2(match.hasMatch(), qPrintable(content.note));
    const int rows = match.captured(1).toInt();
    QVERIFY2(rows > 40 && rows < 200, qPrintable(content.note));

    // Whole, it says nothing.
    app::PreviewContent whole;
    whole.bytes = jpeg;
    app::decodePicture(whole, static_cast<std::uint64_t>(jpeg.size()));
    QVERIFY(whole.note.isEmpty());
}

void ResultsCommandsTest::previewDrawsAPdfsFirstPage()
{
    if (!app::canRenderPdf())
        QSKIP("built without poppler-qt6");
    // Two A4 pages; the first black in its top half, the second all white.
    QByteArray pdf;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        QPainter painter(&writer);
        painter.fillRect(QRect(0, 0, writer.width(), writer.height() / 2), Qt::black);
        writer.newPage();
    }
    QVERIFY(app::looksLikePdf(pdf));
    const app::PdfPage page = app::renderFirstPage(pdf, 600);
    QVERIFY2(!page.picture.isNull(), qPrintable(page.error));
    QCOMPARE(page.pages, 2);
    QVERIFY(qAbs(page.picture.height() - 600) <= 1 && page.picture.width() < page.picture.height());
    QCOMPARE(qGray(page.picture.pixel(page.picture.width() / 2, page.picture.height() / 4)), 0);
    QCOMPARE(qGray(page.picture.pixel(page.picture.width() / 2, page.picture.height() * 3 / 4)), 255);
    QVERIFY(!app::renderFirstPage(pdf.left(pdf.size() / 3), 600).error.isEmpty());
}

void ResultsCommandsTest::previewReadsTextInItsEncoding()
{
    const auto decoded = [](const QByteArray& bytes, bool cutShort = false) -> std::optional<QString> {
        app::PreviewContent c;
        c.bytes = bytes;
        c.cutShort = cutShort;
        if (!app::decodeText(c))
            return std::nullopt;
        return c.text;
    };
    const QString words = QStringLiteral("Grüße, café: 5 €\r\n");
    QByteArray utf16 = QByteArrayLiteral("\xFF\xFE");
    for (const QChar ch : words)
        utf16 +=
            QByteArray(1, static_cast<char>(ch.unicode() & 0xFF)) + QByteArray(1, static_cast<char>(ch.unicode() >> 8));
    QCOMPARE(decoded(utf16), words);
    QCOMPARE(decoded(words.toUtf8()), words);
    QCOMPARE(decoded(QByteArrayLiteral("caf\xE9 \x80")), QStringLiteral("café €")); // Windows-1252
    // Cut inside "é" by the end of what was read: the text stays UTF-8.
    QCOMPARE(decoded(QByteArrayLiteral("na\xC3\xAFve caf\xC3"), true), QStringLiteral("naïve caf"));
    QVERIFY(!decoded(QByteArrayLiteral("\x89PNG\r\n\x1A\n\0\0\0\rIHDR")));
}
