// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's menu bar, its toolbar of picture buttons and how their commands run.
#include "app/RecoveryWindow.h"
#include "app/WindowPieces.h"

#include "app/DeepSearch.h"
#include "app/DeepSearchBar.h"
#include "app/DriveInformationDialog.h"
#include "app/FileListModel.h"
#include "app/HelpDialog.h"
#include "app/MessageBoxes.h"
#include "app/NamedDrives.h"
#include "app/PreviewPane.h"
#include "app/RecentPlaces.h"
#include "app/RecoverySettingsDialog.h"
#include "app/ResultsCommands.h"
#include "app/ScanRunner.h"
#include "disk/DriveInformation.h"
#include "ui/PercentProgressBar.h"
#include "ui/PictureButton.h"
#include "ui/Skin.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableView>
#include <QTreeWidget>
#include <QUrl>

#include <functional>

namespace sarvik::app {

QAction* RecoveryWindow::addCommand(QMenu* menu, const QString& text, int id, const QString& iconName)
{
    QAction* action = menu->addAction(text);
    if (!iconName.isEmpty())
        action->setIcon(QIcon::fromTheme(iconName));
    action->setData(id);
    m_actions.insert(id, action);
    connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
    return action;
}

void RecoveryWindow::buildMenuBar()
{
    QMenuBar* bar = menuBar();
    bar->clear();
    QMenu* recovery = bar->addMenu(tr("&Recovery"));
    addCommand(recovery, tr("&Recover Selected..."), Command::RecoverSelected, QStringLiteral("document-save"));
    addCommand(recovery, tr("Recover &All..."), Command::RecoverAll, QStringLiteral("document-save-as"));
    recovery->addSeparator();
    addCommand(recovery, tr("&Save Recovery Snapshot..."), Command::SaveSnapshot, QStringLiteral("media-floppy"));
    addCommand(recovery, tr("&Load Recovery Snapshot..."), Command::LoadSnapshot, QStringLiteral("document-open"));
    recovery->addSeparator();
    addCommand(recovery, tr("Add &Disk Image..."), Command::AddDiskImage, QStringLiteral("drive-harddisk"));
    QMenu* recent = recovery->addMenu(QIcon::fromTheme(QStringLiteral("document-open-recent")), tr("Recent &Images"));
    recent->menuAction()->setData(Command::RecentImages);
    connect(recent, &QMenu::aboutToShow, this, [this, recent] { fillRecentImages(recent); });
    recovery->addSeparator();
    addCommand(recovery, tr("E&xit..."), Command::Exit, QStringLiteral("application-exit"));

    QMenu* view = bar->addMenu(tr("&View"));
    addCommand(view, tr("Ico&ns"), Command::Icons, QStringLiteral("view-grid"));
    addCommand(view, tr("&List"), Command::List, QStringLiteral("view-list"));
    addCommand(view, tr("&Details"), Command::Details, QStringLiteral("view-list-details"));
    addCommand(view, tr("&Thumbnails"), Command::Thumbnails, QStringLiteral("view-preview"));
    QAction* preview = addCommand(view, tr("&Preview"), Command::Preview, QStringLiteral("document-preview"));
    preview->setCheckable(true);
    preview->setShortcut(QKeySequence(Qt::Key_F3));
    preview->setChecked(m_preview != nullptr && !m_preview->isHidden());
    view->addSeparator();
    // Off by default: deleted files are what is looked for; a lost or damaged
    // volume's existing files are lost too.
    QAction* existing = view->addAction(tr("Show &Existing Files"));
    existing->setData(Command::ShowExistingFiles);
    existing->setCheckable(true);
    existing->setToolTip(tr("List the files that are not deleted too (thorough scans)"));
    m_actions.insert(Command::ShowExistingFiles, existing);
    connect(existing, &QAction::toggled, this, &RecoveryWindow::toggleExistingFiles);
    view->addSeparator();
    // The picture buttons' commands, for the keyboard: their shortcuts act
    // wherever the focus is in the window (a line being edited keeps Backspace).
    addCommand(view, tr("&Back"), Command::Back, QStringLiteral("go-previous"))
        ->setShortcuts({QKeySequence(Qt::AltModifier | Qt::Key_Left), QKeySequence(Qt::Key_Backspace)});
    addCommand(view, tr("&Stop"), Command::Stop, QStringLiteral("process-stop"))
        ->setShortcut(QKeySequence(Qt::Key_Escape));
    view->addSeparator();
    buildColoursMenu(view);

    QMenu* tools = bar->addMenu(tr("&Tools"));
    addCommand(tools, tr("&Find Files..."), Command::FindFiles, QStringLiteral("edit-find"));
    addCommand(tools, tr("Deep &Search"), Command::DeepSearch, QStringLiteral("system-search"));
    addCommand(tools, tr("File Fi&lters..."), Command::FileFilters, QStringLiteral("view-filter"));
    addCommand(tools, tr("Se&ttings..."), Command::Settings, QStringLiteral("preferences-system"));
    tools->addSeparator();
    addCommand(tools, tr("&Drive Information"), Command::DriveInformation, QStringLiteral("drive-harddisk"));
    addCommand(tools, tr("Search for Lost &Volumes..."), Command::SearchLostVolumes, QStringLiteral("edit-find"));
    tools->addSeparator();
    addCommand(tools, tr("Live &Update"), Command::LiveUpdate, QStringLiteral("system-software-update"));

    QMenu* help = bar->addMenu(tr("&Help"));
    addCommand(help, tr("&Contents"), Command::Contents, QStringLiteral("help-contents"));
    addCommand(help, tr("&About Velmora Sarvik..."), Command::About, QStringLiteral("help-about"));
    SetMenuState(0);
}

void RecoveryWindow::buildToolbar()
{
    struct Tool {
        ui::ToolbarPicture picture;
        int command;
        const char* tip; // marked for translation, worded when the button is made
    };
    static const Tool kTools[kToolbarButtons] = {
        {ui::ToolbarPicture::RecoverSelected, Command::RecoverSelected,
         QT_TR_NOOP("Copy the selected file(s) and folder(s) to your computer")},
        {ui::ToolbarPicture::RecoverAll, Command::RecoverAll,
         QT_TR_NOOP("Copy all the file(s) and folder(s) to your computer")},
        {ui::ToolbarPicture::SaveSnapshot, Command::SaveSnapshot,
         QT_TR_NOOP("Saves the snapshot of scan information, so that later on you need not to scan the disk again")},
        {ui::ToolbarPicture::LoadSnapshot, Command::LoadSnapshot,
         QT_TR_NOOP("Loads the data from previously saved scan information")},
        {ui::ToolbarPicture::FindFiles, Command::FindFiles, QT_TR_NOOP("Search the file(s) in the recovered data")},
        {ui::ToolbarPicture::DeepSearch, Command::DeepSearch,
         QT_TR_NOOP("Searches the free space for lost folders and for files by their content")},
        {ui::ToolbarPicture::Settings, Command::Settings, QT_TR_NOOP("Configures the software")},
        {ui::ToolbarPicture::LiveUpdate, Command::LiveUpdate,
         QT_TR_NOOP("Updates the software with latest changes from internet")},
    };
    for (int i = 0; i < kToolbarButtons; ++i) {
        ui::PictureButton* button = m_toolbar[i];
        button->setPictures(ui::toolbarPicture(kTools[i].picture, button->size(), false),
                            ui::toolbarPicture(kTools[i].picture, button->size(), true));
        button->setToolTip(tr(kTools[i].tip));
        const int id = kTools[i].command;
        // A button looks disabled while its command is; Live Update always acts.
        if (QAction* command = action(id); command != nullptr && id != Command::LiveUpdate) {
            button->setEnabled(command->isEnabled());
            connect(command, &QAction::enabledChanged, button, &QWidget::setEnabled);
        }
        connect(button, &QAbstractButton::clicked, this, [this, id] {
            // Live Update always acts; every other button only while its menu command is enabled.
            if (id == Command::LiveUpdate)
                runCommand(id);
            else
                runIfEnabled(id);
        });
    }
}

bool RecoveryWindow::runIfEnabled(int id)
{
    QAction* command = action(id);
    if (command == nullptr || !command->isEnabled())
        return false;
    runCommand(id);
    return true;
}

void RecoveryWindow::runCommand(int id)
{
    struct Own {
        int id;
        void (*run)(RecoveryWindow&);
    };
    static constexpr Own kOwn[] = {
        {Command::Exit, [](RecoveryWindow& w) { w.exitCommand(); }},
        {Command::Icons, [](RecoveryWindow& w) { w.chooseViewMode(ViewMode::Icons); }},
        {Command::List, [](RecoveryWindow& w) { w.chooseViewMode(ViewMode::List); }},
        {Command::Details, [](RecoveryWindow& w) { w.chooseViewMode(ViewMode::Details); }},
        {Command::Thumbnails, [](RecoveryWindow& w) { w.chooseViewMode(ViewMode::Thumbnails); }},
        {Command::Preview, [](RecoveryWindow& w) { w.showPreview(); }},
        {Command::Settings, [](RecoveryWindow& w) { w.showSettings(); }},
        {Command::DriveInformation, [](RecoveryWindow& w) { w.showDriveInformation(); }},
        {Command::LiveUpdate, [](RecoveryWindow& w) { w.liveUpdate(); }},
        {Command::Contents, [](RecoveryWindow& w) { w.helpContents(); }},
        {Command::About, [](RecoveryWindow& w) { w.aboutBox(); }},
        {Command::AddDiskImage, [](RecoveryWindow& w) { w.addDiskImage(); }},
        {Command::SearchLostVolumes, [](RecoveryWindow& w) { w.searchLostVolumes(); }},
        {Command::DeepSearch, [](RecoveryWindow& w) { w.m_deep->start(); }},
        {Command::Back, [](RecoveryWindow& w) { w.back(); }},
        {Command::Stop, [](RecoveryWindow& w) { w.stopCommand(); }},
    };
    for (const Own& own : kOwn) {
        if (own.id == id) {
            own.run(*this);
            return;
        }
    }
    // Recovery, snapshots, find and filters: their windows take the request.
    emit commandRequested(id);
}

} // namespace sarvik::app
