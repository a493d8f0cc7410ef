// SPDX-License-Identifier: GPL-3.0-or-later
// The names and descriptions a screen reader gives the window's controls: the
// picture buttons say what they do (their pictures say nothing to it) and the
// lists say which list they are.
#include "app/AccessibleNames.h"
#include "app/RecoveryWindow.h"

#include "app/DeepSearchBar.h"
#include "app/PreviewPane.h"
#include "app/SplitHandle.h"
#include "app/ThumbnailView.h"
#include "ui/PictureButton.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QListView>
#include <QTableView>
#include <QTreeWidget>

namespace sarvik::app {

namespace {

/// A menu command's text as a name: without its mnemonic and its dots.
QString commandName(const QAction* command)
{
    QString text = command->text();
    text.remove(QLatin1Char('&'));
    if (text.endsWith(QLatin1String("...")))
        text.chop(3);
    return text;
}

void describe(QWidget* widget, const QString& name, const QString& description = {})
{
    widget->setAccessibleName(name);
    widget->setAccessibleDescription(description.isEmpty() ? widget->toolTip() : description);
}

} // namespace

void nameTableCorner(QTableView* table)
{
    // The button where the headers meet selects every row.
    for (QAbstractButton* corner : table->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly))
        corner->setAccessibleName(QCoreApplication::translate("sarvik::app::RecoveryWindow", "Select all"));
}

void RecoveryWindow::nameControls()
{
    static const int kToolbarCommands[kToolbarButtons] = {
        Command::RecoverSelected, Command::RecoverAll, Command::SaveSnapshot, Command::LoadSnapshot,
        Command::FindFiles,       Command::DeepSearch, Command::Settings,     Command::LiveUpdate};
    for (int i = 0; i < kToolbarButtons; ++i)
        if (const QAction* command = action(kToolbarCommands[i]))
            describe(m_toolbar[i], commandName(command));
    describe(m_logo, tr("Home page"));
    describe(m_next, tr("Next"), tr("Go to the next step (Enter in the drive list, or Alt+Right)"));
    describe(m_back, tr("Back"), tr("Go to the previous step (Alt+Left)"));
    describe(m_stop, tr("Stop"), tr("Stop the current process (Esc)"));
    // Next is the one picture button without a menu command; it gets the
    // shortcut that mirrors Back's.
    m_next->setShortcut(QKeySequence(Qt::AltModifier | Qt::Key_Right));
    describe(m_driveTree, tr("Drives"), tr("The drives and disk images to search for deleted files"));
    describe(m_folderTree, tr("Folders"), tr("The folders found on the drive"));
    describe(m_details, tr("Files"), tr("The files and folders of the open folder"));
    nameTableCorner(m_details);
    describe(m_listView, tr("Files"), tr("The files and folders of the open folder"));
    describe(m_thumbView, tr("Files"), tr("The files of the open folder as pictures"));
    describe(m_treeHandle, tr("Divider between folders and files"));
    describe(m_quickHelpLabel, tr("Help"));
    describe(m_status, tr("Status"));
}

} // namespace sarvik::app
