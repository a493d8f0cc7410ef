// SPDX-License-Identifier: GPL-3.0-or-later
// What the window keeps between starts, what it tells a screen reader, its
// colours, and the places where it once showed something other than the truth.

#include "GuiTestSupport.h"
#include "ScanVolume.h"
#include "app/ColourScheme.h"
#include "app/DriveInformationDialog.h"
#include "app/FileFiltersDialog.h"
#include "app/FileListModel.h"
#include "app/FindFilesDialog.h"
#include "app/HelpDialog.h"
#include "app/LostVolumeSearch.h"
#include "app/MessageBoxes.h"
#include "app/OpenWithDialog.h"
#include "app/PreviewPane.h"
#include "app/PropertiesDialog.h"
#include "app/RecentPlaces.h"
#include "app/RecoverySettingsDialog.h"
#include "app/RecoveryWindow.h"
#include "app/ResultsCommands.h"
#include "app/SavingDialog.h"
#include "disk/DriveInformation.h"
#include "platform/Devices.h"
#include "platform/DriveDiscovery.h"
#include "ui/PictureButton.h"
#include "ui/Skin.h"

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSplitter>
#include <QStandardPaths>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace sarvik;
using app::RecoveryWindow;
using namespace sarvik::guitest;
namespace Command = app::Command;

namespace {

QTreeWidgetItem* driveItem(RecoveryWindow& w, const QString& text)
{
    const auto found = w.driveTree()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

int rowNamed(const app::FileListModel& model, const QString& name)
{
    for (int r = 0; r < model.rowCount(); ++r)
        if (model.text(r, app::FileListModel::Name) == name)
            return r;
    return -1;
}

// Opens folder `name` of the root in the list.
bool openFolder(RecoveryWindow& w, const QString& name)
{
    const int row = rowNamed(*w.fileListModel(), name);
    if (row < 0)
        return false;
    w.detailsView()->selectionModel()->setCurrentIndex(w.fileListModel()->indexOfRow(row),
                                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    w.setFocusOnTree(false);
    w.openSelectedItem();
    return w.folderTree()->currentItem() != nullptr && w.folderTree()->currentItem()->text(0) == name;
}

// Whether the user can reach `widget` by keyboard or click it: what a screen
// reader must be able to name. Parts of a compound control are named by it.
bool interactive(const QWidget* widget)
{
    if (widget->focusPolicy() == Qt::NoFocus && qobject_cast<const QAbstractButton*>(widget) == nullptr)
        return false;
    for (const QObject* up = widget->parent(); up != nullptr; up = up->parent())
        if (qobject_cast<const QComboBox*>(up) != nullptr || qobject_cast<const QAbstractSpinBox*>(up) != nullptr)
            return false;
    // A view's viewport and scroll bars belong to the view.
    return !widget->objectName().startsWith(QLatin1String("qt_"));
}

// The interactive widgets of `root` (itself included) that a screen reader
// finds no name for; `shownOnly` leaves out those the page hides.
QStringList unnamedControls(QWidget* root, bool shownOnly = false)
{
    QStringList unnamed;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        if (!interactive(widget) || (shownOnly && widget != root && !widget->isVisibleTo(root)))
            continue;
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
        if (face == nullptr || face->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << QStringLiteral("%1 \"%2\" in %3")
                           .arg(QLatin1String(widget->metaObject()->className()), widget->objectName(),
                                root->windowTitle().isEmpty() ? QLatin1String(root->metaObject()->className())
                                                              : root->windowTitle());
    }
    return unnamed;
}

// The mean lightness (0..255) of what `widget` shows.
int meanLightness(QWidget* widget)
{
    const QImage image = widget->grab().toImage();
    qint64 sum = 0;
    int count = 0;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4) {
            sum += QColor(image.pixel(x, y)).lightness();
            ++count;
        }
    return count == 0 ? -1 : static_cast<int>(sum / count);
}

QAction* colourChoice(RecoveryWindow& w, const QString& name)
{
    QAction* colours = w.action(Command::Colours);
    if (colours == nullptr || colours->menu() == nullptr)
        return nullptr;
    for (QAction* choice : colours->menu()->actions())
        if (choice->data().toString() == name)
            return choice;
    return nullptr;
}

} // namespace

class WindowUxTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void sizeColumnsSortAndViewKeptAcrossTwoStarts();
    void backLeavesTheDrivePageWhole();
    void everyControlHasAnAccessibleName();
    void coloursFollowTheViewMenuAndAreKept();
    void theDesktopsDarkSettingIsReadAsItIsSent();
    void snapshotSavedUnderTheTypedNameAndSaid();
    void findLeadsToAFileTheFilterHides();
    void propertiesGiveExactSizePathConditionClustersAndTimes();
    void filtersDialogSaysItIncludesAndShowsItsTitle();
    void everyTabStopOfTheDrivePageShowsWhereTheFocusIs();
    void aDriveNotReadyShowsUnknownAndItsNoteApart();

private:
    std::vector<disk::DriveItem> drives() const { return {platform::imageDriveItem(m_scan32.toStdString())}; }
    // Scans scan32.img under the thorough rules (a deleted name keeps all but its first character).
    bool scanned(RecoveryWindow& w)
    {
        w.settings().ThoroughScan = true;
        w.show();
        if (!QTest::qWaitForWindowExposed(&w))
            return false;
        QTreeWidgetItem* item = driveItem(w, QStringLiteral("Disk Image(scan32.img)"));
        if (item == nullptr)
            return false;
        w.driveTree()->scrollToItem(item);
        QTest::mouseClick(w.driveTree()->viewport(), Qt::LeftButton, {}, w.driveTree()->visualItemRect(item).center());
        if (!w.nextButton()->isVisible())
            return false;
        QSignalSpy done(&w, &RecoveryWindow::scanFinished);
        QTest::mouseClick(w.nextButton(), Qt::LeftButton);
        return done.wait(30000);
    }
    void closeWindow(RecoveryWindow& w)
    {
        answerWith(QStringLiteral("&Yes"));
        w.close();
    }

    QTemporaryDir m_dir;
    QString m_scan32;
    QString m_config;
    platform::SystemDeviceProvider m_devices;
};

void WindowUxTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // The settings of these tests go to a folder of their own.
    QStandardPaths::setTestModeEnabled(true);
    m_config = m_dir.path() + QStringLiteral("/config");
    QVERIFY(QDir().mkpath(m_config));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config);
    app::useSystemIconTheme();
    QString why;
    m_scan32 = makeScanVolume(m_dir.path(), &why);
    QVERIFY2(!m_scan32.isEmpty(), qPrintable(why));
}

void WindowUxTest::cleanup()
{
    dropPendingAnswers();
    app::userSettings()->clear();
    app::applyColourScheme(app::ColourScheme::System);
}

void WindowUxTest::theDesktopsDarkSettingIsReadAsItIsSent()
{
    // The portal answers Settings.Read with the value's variant inside another.
    const auto sent = [](uint scheme) {
        return QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(QVariant(scheme)))));
    };
    QVERIFY(app::portalValueAsksForDark(sent(1)));
    QVERIFY(!app::portalValueAsksForDark(sent(0))); // no preference
    QVERIFY(!app::portalValueAsksForDark(sent(2))); // light
    QVERIFY(app::portalValueAsksForDark(QVariant(1U)));
    QVERIFY(!app::portalValueAsksForDark(QVariant(QStringLiteral("dark"))));
    QVERIFY(!app::portalValueAsksForDark(QVariant()));
    QVERIFY(app::gtkThemeAsksForDark(QStringLiteral("Adwaita:dark")));
    QVERIFY(app::gtkThemeAsksForDark(QStringLiteral("Arc-Dark")));
    QVERIFY(!app::gtkThemeAsksForDark(QStringLiteral("Adwaita")));
    QVERIFY(!app::gtkThemeAsksForDark(QStringLiteral("Darkish")));
    QVERIFY(!app::gtkThemeAsksForDark(QString()));
}

void WindowUxTest::sizeColumnsSortAndViewKeptAcrossTwoStarts()
{
    // Within the offscreen screen (800 x 600), and not the size the window starts at.
    const QSize kKeptSize(790, 550);
    {
        RecoveryWindow w(drives(), m_devices);
        w.keepStateInSettings();
        QVERIFY(w.size() != kKeptSize);
        QVERIFY(scanned(w));
        w.resize(kKeptSize);
        QHeaderView* header = w.detailsView()->horizontalHeader();
        header->setSortIndicator(app::FileListModel::Size, Qt::DescendingOrder);
        QCOMPARE(w.fileListModel()->sortColumn(), int(app::FileListModel::Size));
        header->resizeSection(app::FileListModel::Name, 222);
        header->moveSection(header->visualIndex(app::FileListModel::Type), 0);
        // Another folder fills the list afresh: the user's widths and order stay.
        QVERIFY(openFolder(w, QStringLiteral("Docs")));
        QCOMPARE(header->sectionSize(app::FileListModel::Name), 222);
        QCOMPARE(header->visualIndex(app::FileListModel::Type), 0);
        QVERIFY(w.runIfEnabled(Command::List));
        closeWindow(w);
        QVERIFY(!w.isVisible());
    }
    RecoveryWindow w(drives(), m_devices);
    w.keepStateInSettings();
    QCOMPARE(w.size(), kKeptSize);
    QVERIFY(scanned(w));
    QCOMPARE(w.size(), kKeptSize);
    QCOMPARE(w.viewMode(), app::ViewMode::List);
    const QHeaderView* header = w.detailsView()->horizontalHeader();
    QCOMPARE(header->sortIndicatorSection(), int(app::FileListModel::Size));
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(w.fileListModel()->sortColumn(), int(app::FileListModel::Size));
    QCOMPARE(header->sectionSize(app::FileListModel::Name), 222);
    QCOMPARE(header->visualIndex(app::FileListModel::Type), 0);

    // Without keepStateInSettings (as the other tests run) nothing is read.
    RecoveryWindow fresh(drives(), m_devices);
    QVERIFY(fresh.size() != kKeptSize);
    closeWindow(w);
}

void WindowUxTest::backLeavesTheDrivePageWhole()
{
    RecoveryWindow w(drives(), m_devices);
    QVERIFY(scanned(w));
    QVERIFY(w.runIfEnabled(Command::Back));
    QCOMPARE(w.currentStep(), 0);
    QCOMPARE(w.valueLabel(4)->text(), QStringLiteral("FAT32"));
    QVERIFY(!w.valueLabel(1)->text().isEmpty() && w.valueLabel(1)->isVisible());
    QVERIFY(w.nextButton()->isVisible() && w.nextButton()->isEnabled());
    // And Next goes on from there, as before.
    QSignalSpy done(&w, &RecoveryWindow::scanFinished);
    QTest::mouseClick(w.nextButton(), Qt::LeftButton);
    QVERIFY(done.wait(30000));
    closeWindow(w);
}

void WindowUxTest::everyControlHasAnAccessibleName()
{
    RecoveryWindow w(drives(), m_devices);
    // Every control the window makes, shown or not yet; then each page as shown
    // (a view's parts, such as a table's corner, count where they show).
    QStringList unnamed = unnamedControls(&w);
    QVERIFY(scanned(w));
    w.action(Command::Preview)->trigger();
    unnamed += unnamedControls(&w, true);

    // The dialogs, each as it first opens.
    app::RecoverySettingsDialog settings(w.settings(), &w);
    unnamed += unnamedControls(&settings, true);
    search::FilterPatterns patterns;
    app::FileFiltersDialog filters(patterns, false, &w);
    unnamed += unnamedControls(&filters, true);
    app::FindFilesDialog find(w.session().catalogue, w.session().tree, w.session().kind(), w.fileTypes(), &w);
    unnamed += unnamedControls(&find, true);
    app::PropertiesDialog properties(app::PropertiesValues{}, &w);
    unnamed += unnamedControls(&properties, true);
    app::HelpDialog help(&w);
    unnamed += unnamedControls(&help, true);
    app::OpenWithDialog openWith(QStringLiteral("/tmp/letter.odt"), &w);
    unnamed += unnamedControls(&openWith, true);
    app::SavingDialog saving(&w);
    unnamed += unnamedControls(&saving, true);
    app::SavingDialog opening(&w, app::SavingDialog::Purpose::Open);
    unnamed += unnamedControls(&opening, true);
    app::LostVolumeSearchDialog lost(drives().front(), &w);
    unnamed += unnamedControls(&lost, true);
    const disk::DriveInformation information = disk::ShowDriveInformation(
        w.session().volume.geometry, w.session().catalogue.folderCount(), w.session().catalogue.fileCount());
    app::DriveInformationDialog driveInformation(information, &w);
    unnamed += unnamedControls(&driveInformation, true);
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char('\n'))));

    // The picture buttons name what they do, not only show it.
    QCOMPARE(QAccessible::queryAccessibleInterface(w.backButton())->text(QAccessible::Name), QStringLiteral("Back"));
    closeWindow(w);
}

void WindowUxTest::coloursFollowTheViewMenuAndAreKept()
{
    const QPalette system = QApplication::palette();
    RecoveryWindow w(drives(), m_devices);
    w.keepStateInSettings();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QAction* dark = colourChoice(w, QStringLiteral("dark"));
    QAction* light = colourChoice(w, QStringLiteral("light"));
    QAction* followSystem = colourChoice(w, QStringLiteral("system"));
    QVERIFY(dark && light && followSystem);
    QVERIFY(followSystem->isChecked());
    // Colours come from palettes: no control carries a fixed style sheet.
    for (const QWidget* widget : w.findChildren<QWidget*>())
        QVERIFY2(widget->styleSheet().isEmpty(), widget->metaObject()->className());

    dark->trigger();
    QVERIFY(ui::paletteIsDark(QApplication::palette()));
    QTRY_VERIFY(ui::darkSkin());
    const int darkLightness = meanLightness(&w);
    QVERIFY2(darkLightness < 110, qPrintable(QString::number(darkLightness)));
    QCOMPARE(app::userSettings()->value(QStringLiteral("appearance/colours")).toString(), QStringLiteral("dark"));

    light->trigger();
    QVERIFY(!ui::paletteIsDark(QApplication::palette()));
    QTRY_VERIFY(!ui::darkSkin());
    const int lightLightness = meanLightness(&w);
    QVERIFY2(lightLightness > darkLightness + 60,
             qPrintable(QStringLiteral("%1 %2").arg(lightLightness).arg(darkLightness)));

    // Kept: the next start is dark again, its menu saying so.
    dark->trigger();
    closeWindow(w);
    app::applyColourScheme(app::ColourScheme::System);
    QCOMPARE(QApplication::palette().color(QPalette::Window), system.color(QPalette::Window));
    // No palette of the program's own stays set: the desktop's later changes reach it.
    QVERIFY(!QCoreApplication::testAttribute(Qt::AA_SetPalette));
    RecoveryWindow again(drives(), m_devices);
    again.keepStateInSettings();
    QVERIFY(ui::paletteIsDark(QApplication::palette()));
    QVERIFY(colourChoice(again, QStringLiteral("dark"))->isChecked());
}

void WindowUxTest::snapshotSavedUnderTheTypedNameAndSaid()
{
    RecoveryWindow w(drives(), m_devices);
    QVERIFY(scanned(w));
    const QString folder = m_dir.path() + QStringLiteral("/snapshots");
    QVERIFY(QDir().mkpath(folder));
    chooseFile(folder + QStringLiteral("/snap1"));
    w.commands()->run(Command::SaveSnapshot);
    QVERIFY(QFileInfo(folder + QStringLiteral("/snap1.rvu")).isFile());
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("snap1.rvu")});
    QVERIFY2(w.quickHelpLabel()->text().contains(QStringLiteral("snap1.rvu")), qPrintable(w.quickHelpLabel()->text()));
    // A name typed with its extension, in either case, is kept as it is.
    chooseFile(folder + QStringLiteral("/Mixed.RvU"));
    w.commands()->run(Command::SaveSnapshot);
    QVERIFY(QFileInfo(folder + QStringLiteral("/Mixed.RvU")).isFile());
    QVERIFY(!QFileInfo(folder + QStringLiteral("/Mixed.RvU.rvu")).exists());

    // A snapshot saved under an old upper-case name still loads.
    QVERIFY(QFile::copy(folder + QStringLiteral("/snap1.rvu"), folder + QStringLiteral("/OLD.RVU")));
    QVERIFY(w.runIfEnabled(Command::Back));
    chooseFile(folder + QStringLiteral("/OLD.RVU"));
    w.commands()->run(Command::LoadSnapshot);
    QCOMPARE(w.currentStep(), 3);
    QVERIFY(rowNamed(*w.fileListModel(), QStringLiteral("Docs")) >= 0);
    closeWindow(w);
}

void WindowUxTest::findLeadsToAFileTheFilterHides()
{
    RecoveryWindow w(drives(), m_devices);
    QVERIFY(scanned(w));
    QCOMPARE(w.mutableSession().filters.add("*.txt"), search::AddPatternResult::Added);
    QVERIFY(openFolder(w, QStringLiteral("Pics")));
    QCOMPARE(rowNamed(*w.fileListModel(), QStringLiteral("_oliday.jpg")), -1);
    w.fillFileList(w.session().tree.rootKey());

    const auto findHoliday = [] {
        whenModal<app::FindFilesDialog>([](app::FindFilesDialog* d) {
            QSignalSpy ended(d, &app::FindFilesDialog::searchEnded);
            QTest::keyClicks(d->patternEdit(), QStringLiteral("oliday"));
            if (ended.wait(5000) && d->results()->rowCount() == 1)
                d->choose(0, app::FindFilesDialog::Choice::GoToFolder);
            else
                d->reject();
        });
    };
    // Asked, and No: the filter stays and nothing is selected.
    Answer asked;
    findHoliday();
    answerWith<app::MessageBox>(QStringLiteral("&No"), &asked);
    QVERIFY(w.runIfEnabled(Command::FindFiles));
    QVERIFY2(asked.asked.contains(QStringLiteral("filter")), qPrintable(asked.asked));
    QCOMPARE(w.session().filters.patterns().size(), std::size_t{1});

    // Yes: the filter is lifted and the file shown, selected, in its folder.
    findHoliday();
    answerWith<app::MessageBox>(QStringLiteral("&Yes"));
    QVERIFY(w.runIfEnabled(Command::FindFiles));
    QVERIFY(w.session().filters.patterns().empty());
    QCOMPARE(w.folderTree()->currentItem()->text(0), QStringLiteral("Pics"));
    QCOMPARE(w.fileListModel()->text(w.currentRow(), app::FileListModel::Name), QStringLiteral("_oliday.jpg"));
    QVERIFY(w.filterNote()->isHidden());
    closeWindow(w);
}

void WindowUxTest::propertiesGiveExactSizePathConditionClustersAndTimes()
{
    RecoveryWindow w(drives(), m_devices);
    QVERIFY(scanned(w));
    QVERIFY(openFolder(w, QStringLiteral("Docs")));
    const int row = rowNamed(*w.fileListModel(), QStringLiteral("_otes.txt"));
    QVERIFY(row >= 0);
    w.detailsView()->selectionModel()->setCurrentIndex(w.fileListModel()->indexOfRow(row),
                                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    using Extra = app::PropertiesDialog::Extra;
    QMap<Extra, QString> seen;
    QString size;
    whenModal<app::PropertiesDialog>([&](app::PropertiesDialog* d) {
        size = d->value(1011);
        for (Extra e : {Extra::Bytes, Extra::Path, Extra::Condition, Extra::Clusters, Extra::Created, Extra::Modified,
                        Extra::Accessed, Extra::Changed})
            seen[e] = d->extra(e);
        d->accept();
    });
    w.commands()->run(Command::Properties);
    QCOMPARE(size, QStringLiteral("1 KB"));
    QCOMPARE(seen[Extra::Bytes], QStringLiteral("6 bytes"));
    QCOMPARE(seen[Extra::Path], QStringLiteral("/Docs/_otes.txt"));
    QVERIFY2(!seen[Extra::Condition].isEmpty(), "no condition");
    QVERIFY2(seen[Extra::Clusters].startsWith(QStringLiteral("from cluster ")), qPrintable(seen[Extra::Clusters]));
    // mtools stamps the write time to the second: a date and a time of day,
    // in the locale's form as the list gives dates (C: "10 Dec 2026 13:47:24").
    static const QRegularExpression kWhole(QStringLiteral("^\\d{1,2} \\w{3} \\d{4} \\d\\d:\\d\\d:\\d\\d$"));
    QVERIFY2(kWhole.match(seen[Extra::Modified]).hasMatch(), qPrintable(seen[Extra::Modified]));
    QVERIFY(seen[Extra::Changed].isEmpty()); // FAT keeps no record change time
    closeWindow(w);
}

void WindowUxTest::filtersDialogSaysItIncludesAndShowsItsTitle()
{
    search::FilterPatterns patterns;
    app::FileFiltersDialog dialog(patterns, false);
    QVERIFY(dialog.windowTitle().contains(QStringLiteral("Include")));
    bool saysOnly = false;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        saysOnly = saysOnly || label->text().startsWith(QStringLiteral("Only the files whose names match"));
    QVERIFY(saysOnly);
    app::keepDialogTitlesWhole(qApp);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY2(dialog.width() >= std::min(app::titleWidth(&dialog), dialog.screen()->availableGeometry().width() - 16),
             qPrintable(QStringLiteral("%1 < %2").arg(dialog.width()).arg(app::titleWidth(&dialog))));
}

void WindowUxTest::everyTabStopOfTheDrivePageShowsWhereTheFocusIs()
{
    RecoveryWindow w(drives(), m_devices);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // A list shows the focus on its current item: the drive list has one from the start.
    QVERIFY(w.driveTree()->currentItem() != nullptr);
    w.driveTree()->setFocus();
    QTest::keyClick(w.driveTree(), Qt::Key_Down);
    QVERIFY(w.nextButton()->isVisible());
    QStringList stops;
    for (int i = 0; i < 4; ++i) {
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus != nullptr);
        stops << focus->accessibleName();
        if (auto* view = qobject_cast<QAbstractItemView*>(focus))
            QVERIFY2(view->currentIndex().isValid(), qPrintable(focus->accessibleName()));
        else
            QVERIFY2(qobject_cast<ui::PictureButton*>(focus) != nullptr, focus->metaObject()->className());
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    QCOMPARE(stops, (QStringList{"Drives", "Next", "Drives", "Next"}));
    // Next has a key of its own, the mirror of Back's Alt+Left.
    QSignalSpy done(&w, &RecoveryWindow::scanFinished);
    QTest::keyClick(w.driveTree(), Qt::Key_Right, Qt::AltModifier);
    QVERIFY(done.wait(30000));
    QCOMPARE(w.currentStep(), 3);
    closeWindow(w);
}

void WindowUxTest::aDriveNotReadyShowsUnknownAndItsNoteApart()
{
    // 64 KiB of noise: no boot sector, nothing of a volume to show.
    const QString noise = m_dir.path() + QStringLiteral("/noise.img");
    {
        QFile file(noise);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QByteArray bytes(64 * 1024, '\0');
        quint32 x = 777;
        for (char& c : bytes)
            c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
        QCOMPARE(file.write(bytes), bytes.size());
    }
    RecoveryWindow w({platform::imageDriveItem(noise.toStdString())}, m_devices);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTreeWidgetItem* item = driveItem(w, QStringLiteral("Disk Image(noise.img)"));
    QVERIFY(item != nullptr);
    QTest::mouseClick(w.driveTree()->viewport(), Qt::LeftButton, {}, w.driveTree()->visualItemRect(item).center());
    QCOMPARE(w.valueLabel(4)->text(), QStringLiteral("NOT READY"));
    // Capacity and cluster size are unknown, not 0; the sector size is the device's own.
    for (int pair = 1; pair <= 2; ++pair)
        QCOMPARE(w.valueLabel(pair)->text(), QStringLiteral("Unknown"));
    QCOMPARE(w.valueLabel(3)->text(), QStringLiteral("512"));
    QVERIFY(!w.nextButton()->isVisible());
    // The reason stands in a row of its own, below the last pair, never over it.
    QVERIFY(w.statusLine()->isVisible());
    QVERIFY2(w.statusLine()->text().startsWith(QStringLiteral("Not ready")), qPrintable(w.statusLine()->text()));
    for (QLabel* last : {w.captionLabel(4), w.valueLabel(4)})
        QVERIFY(!w.statusLine()->geometry().intersects(last->geometry()));
    closeWindow(w);
}

QTEST_MAIN(WindowUxTest)
#include "WindowUxTest.moc"
