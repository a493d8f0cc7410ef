// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ResultsCommands.h"

#include "app/RecentPlaces.h"

#include "app/CommandIds.h"
#include "app/DeepSearch.h"
#include "app/FileFiltersDialog.h"
#include "app/FileListModel.h"
#include "app/FileTypes.h"
#include "app/FindFilesDialog.h"
#include "app/MessageBoxes.h"
#include "app/OpenWithDialog.h"
#include "app/PreviewPane.h"
#include "app/PropertiesDialog.h"
#include "app/ResultsHost.h"
#include "app/SavingDialog.h"
#include "app/SourceGuard.h"
#include "app/ValueWords.h"
#include "app/Wording.h"
#include "catalogue/NameText.h"
#include "platform/Devices.h"
#include "platform/FileSystem.h"
#include "platform/HashingOutputFolder.h"
#include "platform/RegularFile.h"
#include "recovery/FileRecovery.h"
#include "recovery/RecoverySettings.h"
#include "recovery/ReportRecord.h"
#include "scan/ScanSession.h"
#include "session/EntryAccess.h"
#include "session/RecoveryOutcome.h"
#include "snapshot/RecoverySnapshot.h"
#include "snapshot/SnapshotFile.h"
#include "snapshot/SnapshotMftRuns.h"

#include <QAction>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSaveFile>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>
#include <new>
#include <utility>

namespace sarvik::app {

namespace {

/// The label edit of the Name column. Enter ends the edit and goes no further:
/// the list would otherwise take the same key as "open the file".
class RenameDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    bool eventFilter(QObject* editor, QEvent* event) override
    {
        const bool handled = QStyledItemDelegate::eventFilter(editor, event);
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter)
                return true;
        }
        return handled;
    }
};

} // namespace

ResultsCommands::ResultsCommands(ResultsHost& host, QObject* parent) : QObject(parent), m_host(host)
{
    launchFile = [](const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
    launchFolder = [](const QString& folder) { return QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); };
    startProgram = [](const QStringList& command) {
        return !command.isEmpty() && QProcess::startDetached(command.front(), command.mid(1));
    };
    QTableView* details = m_host.detailsView();
    details->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(details, &QWidget::customContextMenuRequested, this, &ResultsCommands::showContextMenu);
    details->setEditTriggers(QAbstractItemView::EditKeyPressed);
    details->setItemDelegateForColumn(FileListModel::Name, new RenameDelegate(details));
    connect(m_host.fileListModel(), &FileListModel::renameRequested, this, &ResultsCommands::renameRow);
    // An edit that ends without a change (Escape, or focus lost unchanged) ends the rename too.
    connect(details->itemDelegateForColumn(FileListModel::Name), &QAbstractItemDelegate::closeEditor, this,
            [this] { m_renaming = false; });
}

ResultsCommands::~ResultsCommands() = default;

std::vector<std::string> ResultsCommands::sourcesOf(const scan::ScanSession& session)
{
    const std::string& device = session.volume.reader.DevicePath();
    return device.empty() ? std::vector<std::string>{} : std::vector<std::string>{device};
}

void ResultsCommands::run(int id)
{
    if (id == Command::Open || id == Command::OpenWith) {
        openRow(m_host.currentRow(), id == Command::OpenWith);
        return;
    }
    // The toolbar's and the right-click menu's items of one command have ids of their own.
    static constexpr std::pair<int, void (ResultsCommands::*)()> kCommands[] = {
        {Command::RecoverSelected, &ResultsCommands::RecoverSelected},
        {Command::MenuRecoverSelected, &ResultsCommands::RecoverSelected},
        {Command::RecoverAll, &ResultsCommands::RecoverAll},
        {Command::MenuRecoverAll, &ResultsCommands::RecoverAll},
        {Command::SaveSnapshot, &ResultsCommands::SaveSnapshot},
        {Command::LoadSnapshot, &ResultsCommands::LoadSnapshot},
        {Command::FileFilters, &ResultsCommands::FileFilters},
        {Command::FindFiles, &ResultsCommands::FindFiles},
        {Command::MenuFindFiles, &ResultsCommands::FindFiles},
        {Command::Rename, &ResultsCommands::Rename},
        {Command::Properties, &ResultsCommands::Properties},
    };
    for (const auto& [commandId, command] : kCommands) {
        if (commandId == id) {
            (this->*command)();
            return;
        }
    }
}

// ---- Recovery ---------------------------------------------------------------

void ResultsCommands::RecoverSelected()
{
    recover(static_cast<int>(recovery::RecoveryMode::Selected));
}

void ResultsCommands::RecoverAll()
{
    recover(static_cast<int>(recovery::RecoveryMode::All));
}

bool ResultsCommands::volumeReadable()
{
    // Without its volume (a snapshot whose device or image is gone) every read
    // fails: a copy would write files of zeros under their real names.
    const disk::SectorReader& reader = m_host.session().volume.reader;
    if (reader.isOpen())
        return true;
    MessageDialog(m_host.hostWidget(), MessageKind::Error,
                  tr("The volume %1 of this snapshot cannot be opened, so no file data can be read: "
                     "nothing was written. Connect the volume (or put the image back where it was) and "
                     "load the snapshot again.")
                      .arg(QString::fromStdString(catalogue::nameToUtf8(reader.DevicePath(), true))));
    return false;
}

QString ResultsCommands::destinationProblem(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.exists())
        return tr("%1 does not exist.").arg(folder);
    if (!info.isDir())
        return tr("%1 is not a folder.").arg(folder);
    if (!info.isWritable())
        return tr("%1 cannot be written to: you may not create files in it, or it is on a read-only "
                  "volume.")
            .arg(folder);
    return {};
}

QString ResultsCommands::ChooseDestination()
{
    QFileDialog dialog(m_host.hostWidget(), tr("Please select the path to recover the data"));
    dialog.setObjectName(QStringLiteral("chooseDestination"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const std::vector<std::string> sources = sourcesOf(m_host.session());
    greyWhileOnSource(dialog, sources, tr("The destination"));
    if (const QString folder = RecentPlaces::instance().folder(Place::Destination); !folder.isEmpty())
        dialog.setDirectory(folder);
    // A folder that cannot take the files is refused with the reason, and the
    // chooser opens again where it was.
    while (dialog.exec() == QDialog::Accepted) {
        const QStringList chosen = dialog.selectedFiles();
        if (chosen.isEmpty())
            return {};
        const QString problem = destinationProblem(chosen.front());
        const SourceVerdict verdict = sourceVerdict(chosen.front(), sources, tr("The destination"));
        if (problem.isEmpty() && verdict.refusal.isEmpty()) {
            RecentPlaces::instance().remember(Place::Destination, chosen.front(), true);
            if (!verdict.warning.isEmpty())
                MessageDialog(m_host.hostWidget(), MessageKind::Information, verdict.warning);
            return chosen.front();
        }
        MessageDialog(m_host.hostWidget(), MessageKind::Error,
                      problem.isEmpty() ? verdict.refusal : problem + tr("\n\nPlease choose another folder."));
    }
    return {};
}

void ResultsCommands::recover(int mode)
{
    if (m_host.currentStep() != 3)
        return;
    // The rows and the selection taken here are copied in the session's terms
    // by the box's worker: a deep search's results wait until it is done.
    const ResultsHost::SessionHold hold(m_host);
    const auto recoveryMode = static_cast<recovery::RecoveryMode>(mode);
    const std::vector<bool> selected = m_host.selectedRows();
    if (recoveryMode == recovery::RecoveryMode::Selected &&
        std::find(selected.begin(), selected.end(), true) == selected.end()) {
        MessageDialog(m_host.hostWidget(), MessageKind::Information,
                      tr("No file or folder is selected. Select the files and folders to recover in the "
                         "list, or use Recover All."));
        return;
    }
    if (!volumeReadable())
        return;
    const QString folder = ChooseDestination();
    if (folder.isEmpty())
        return;
    std::string error;
    std::shared_ptr<recovery::OutputFolder> destination = platform::openOutputFolder(folder.toStdString(), error);
    if (!destination) {
        MessageDialog(m_host.hostWidget(), MessageKind::Error,
                      tr("Unable to use the folder %1: %2").arg(folder, QString::fromStdString(error)));
        return;
    }
    // A duplicate replaced never replaces the image or a file of its set.
    for (const std::string& source : sourcesOf(m_host.session()))
        destination->keepOff(platform::filesReadFor(source));
    // Every file is hashed as it is written, for the list Save List writes.
    destination = std::make_shared<platform::HashingOutputFolder>(std::move(destination));
    const std::vector<catalogue::FileRow> rows = m_host.fileListModel()->fileRows();
    const recovery::TargetFolder target{destination, folder.toStdString()};
    scan::ScanSession& session = m_host.mutableSession();
    m_lastReport.clear();
    m_lastFolder = folder;
    SavingDialog dialog(m_host.hostWidget());
    const std::uint64_t planned = session::plannedFiles(session, rows, recoveryMode, selected);
    dialog.setPlannedFiles(planned);
    recovery::FileRecovery copier(session.volume, session.catalogue, session.tree, session.filters, m_host.settings(),
                                  dialog.job().control(), dialog.job().reports(), m_lastReport);
    copier.setFileSources(session.fileSources.get());
    dialog.run(copier, [&](recovery::FileRecovery& r) { r.RecoverListItems(rows, recoveryMode, selected, target); });

    if (dialog.outOfMemory())
        OutOfMemoryEnd(m_host.hostWidget());
    showRecoveryOutcome(m_lastReport, folder, session::CopyRequest{planned, dialog.stopped()});
}

QByteArray ResultsCommands::reportRecords() const
{
    const scan::ScanSession& session = m_host.session();
    const recovery::ReportVolume volume{session.catalogue, session.tree, session.volume.geometry.SectorsPerCluster};
    return QByteArray::fromStdString(recovery::reportRecords(volume, m_lastReport));
}

void ResultsCommands::saveReportRecords(QWidget* parent) const
{
    QFileDialog dialog(parent, tr("Save the list of recovered files"));
    dialog.setObjectName(QStringLiteral("saveRecoveryList"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters({tr("JSON lines (*.jsonl)"), tr("All files (*)")});
    dialog.setDefaultSuffix(QStringLiteral("jsonl"));
    // It opens in the folder the files went to.
    if (!m_lastFolder.isEmpty())
        dialog.setDirectory(m_lastFolder);
    dialog.selectFile(QStringLiteral("recovery-report.jsonl"));
    const std::vector<std::string> sources = sourcesOf(m_host.session());
    greyWhileOnSource(dialog, sources, tr("The list"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().front();
    if (const QString refusal = sourceVerdict(path, sources, tr("The list")).refusal; !refusal.isEmpty()) {
        MessageDialog(parent, MessageKind::Error, refusal);
        return;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(reportRecords()) < 0 || !file.commit())
        MessageDialog(parent, MessageKind::Error,
                      tr("Unable to save the list to %1: %2").arg(path, file.errorString()));
}

void ResultsCommands::showRecoveryOutcome(const recovery::RecoveryReport& report, const QString& folder,
                                          session::CopyRequest request)
{
    // Every copy ends with this box: how many files of those asked for were
    // copied, whether it was stopped, and every file that did not come back
    // whole, with what happened to it; the list behind "Details", the record
    // of every file saved by "Save List", the folder opened by "Open Folder".
    const QLocale locale;
    const session::RecoverySummary summary =
        session::recoverySummary(report, folder.toStdString(), request,
                                 [&locale](std::uint64_t n) { return locale.toString(qulonglong{n}).toStdString(); });
    const QStringList lines = recoveryDetailWords(report);
    const QString text = recoverySummaryWords(report, folder, request);
    const bool losses = summary.losses;
    MessageBox box(m_host.hostWidget(), !losses ? MessageKind::Information : MessageKind::Error, text, false,
                   lines.join(QLatin1Char('\n')));
    QPushButton* save = box.addButton(tr("Save &List..."), QStringLiteral("saveList"));
    connect(save, &QPushButton::clicked, &box, [&] { saveReportRecords(&box); });
    QPushButton* open = box.addButton(tr("Open &Folder"), QStringLiteral("openFolder"));
    connect(open, &QPushButton::clicked, &box, [this, folder] {
        if (!launchFolder(folder))
            MessageDialog(m_host.hostWidget(), MessageKind::Error,
                          tr("No program of the desktop opened the folder %1.").arg(folder));
    });
    box.exec();
}

// ---- Open and Open With -----------------------------------------------------

void ResultsCommands::removeOpenCopies()
{
    m_openFolder.reset();
}

QString ResultsCommands::openFolder()
{
    // A private folder (mode 0700, unpredictable name) rather than the shared
    // temporary folder itself, where another user could plant the names we write.
    if (!m_openFolder) {
        m_openFolder = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/sarvik-open-XXXXXX"));
        // The copies stay while the program runs, for the programs that show
        // them; the folder goes when the program ends.
        m_openFolder->setAutoRemove(true);
    }
    return m_openFolder->isValid() ? m_openFolder->path() : QString();
}

void ResultsCommands::openRow(int row, bool openWith)
{
    const auto& rows = m_host.fileListModel()->fileRows();
    if (m_host.currentStep() != 3 || row < 0 || static_cast<std::size_t>(row) >= rows.size())
        return;
    const catalogue::FileRow& r = rows[static_cast<std::size_t>(row)];
    if (session::isFolderRow(r))
        return;
    // `r` is a row of the list, copied from by the box's worker: a deep
    // search's results (which fill the list again) wait until it is done.
    const ResultsHost::SessionHold hold(m_host);
    if (!volumeReadable())
        return;
    const QString folder = openFolder();
    std::string error;
    auto destination = folder.isEmpty() ? nullptr : platform::openOutputFolder(folder.toStdString(), error);
    if (!destination) {
        MessageDialog(m_host.hostWidget(), MessageKind::Error, tr("Unable to create a temporary folder"));
        return;
    }
    const recovery::TargetFolder target{destination, folder.toStdString()};
    scan::ScanSession& session = m_host.mutableSession();
    recovery::RecoveryReport report;
    // The copy runs on the box's worker: a large file keeps the window alive
    // and can be cancelled.
    SavingDialog dialog(m_host.hostWidget(), SavingDialog::Purpose::Open);
    recovery::FileRecovery copier(session.volume, session.catalogue, session.tree, session.filters, m_host.settings(),
                                  dialog.job().control(), dialog.job().reports(), report);
    copier.setFileSources(session.fileSources.get());
    int written = 0;
    dialog.run(copier, [&](recovery::FileRecovery& c) { written = session::copyRowForOpen(c, session, r, target); });
    if (dialog.outOfMemory())
        OutOfMemoryEnd(m_host.hostWidget());
    if (report.files().empty())
        return;
    const recovery::FileReport& last = report.files().back();
    const QString path = QString::fromStdString(last.path);
    if (dialog.stopped() || last.outcome == recovery::FileOutcome::CutShort) {
        // Cancelled: the part copied so far is of no use to anyone.
        QFile::remove(path);
        return;
    }
    if (written != 1 || last.name.empty())
        return;
    if (last.outcome != recovery::FileOutcome::Written && last.outcome != recovery::FileOutcome::Incomplete &&
        last.outcome != recovery::FileOutcome::CutAtVolumeEnd)
        return;
    if (openWith)
        openFileWith(path);
    else
        openFile(path);
}

void ResultsCommands::openFile(const QString& path)
{
    if (!launchFile(path))
        openFileWith(path); // no program handles the type
}

void ResultsCommands::openFileWith(const QString& path)
{
    OpenWithDialog chooser(path, m_host.hostWidget());
    if (chooser.exec() != QDialog::Accepted)
        return;
    const QStringList command = chooser.chosenCommand();
    if (!command.isEmpty() && !startProgram(command))
        MessageDialog(m_host.hostWidget(), MessageKind::Error, tr("Unable to start %1").arg(command.front()));
}

// ---- Filters and find -------------------------------------------------------

void ResultsCommands::FileFilters()
{
    if (m_host.currentStep() != 3)
        return;
    scan::ScanSession& session = m_host.mutableSession();
    FileFiltersDialog dialog(session.filters, session.catalogue.NamesAreUtf8, m_host.hostWidget());
    dialog.exec();
    // Close, whichever way: the root's rows under the new patterns.
    m_host.folderTree()->setFocus();
    m_host.folderTree()->setCurrentItem(m_host.folderItem(catalogue::FolderTree::kRootHandle));
    m_host.setFocusOnTree(true);
    m_host.fillFileList(m_host.session().tree.rootKey());
}

void ResultsCommands::FindFiles()
{
    if (m_host.currentStep() != 3)
        return;
    const scan::ScanSession& session = m_host.session();
    // The dialog's worker searches this catalogue while it is open.
    const ResultsHost::SessionHold hold(m_host);
    FindFilesDialog dialog(session.catalogue, session.tree, session.kind(), m_host.fileTypes(), m_host.hostWidget());
    dialog.exec();
    // A chosen match: its folder opens with the file selected, and the command
    // chosen for it acts on that selection.
    if (dialog.choice() == FindFilesDialog::Choice::None)
        return;
    if (!m_host.showFile(dialog.chosenFile())) {
        // Found, but the file filter in force leaves it out of the list: offered to lift it.
        if (m_host.session().filters.patterns().empty() ||
            QuestionDialog(m_host.hostWidget(),
                           tr("The file filter in force hides this file. Lift the filter and show it?")) != kYes)
            return;
        m_host.mutableSession().filters.clear();
        if (!m_host.showFile(dialog.chosenFile()))
            return;
    }
    switch (dialog.choice()) {
    case FindFilesDialog::Choice::Recover:
        RecoverSelected();
        break;
    case FindFilesDialog::Choice::Open:
        openRow(m_host.currentRow(), false);
        break;
    case FindFilesDialog::Choice::Properties:
        Properties();
        break;
    case FindFilesDialog::Choice::GoToFolder:
    case FindFilesDialog::Choice::None:
        break;
    }
}

// ---- Right-click menu, rename, properties -----------------------------------

std::unique_ptr<QMenu> ResultsCommands::contextMenu()
{
    const int row = m_host.currentRow();
    if (m_host.currentStep() != 3 || row < 0)
        return nullptr;
    auto menu = std::make_unique<QMenu>(m_host.hostWidget());
    auto add = [](QMenu* m, const QString& text, int id) {
        QAction* a = m->addAction(text);
        a->setData(id);
        return a;
    };
    add(menu.get(), tr("&Open"), Command::Open);
    QAction* with = add(menu.get(), tr("Open &With..."), Command::OpenWith);
    const QString type = m_host.fileListModel()->text(row, FileListModel::Type);
    with->setEnabled(type != QLatin1String("Folder") && type != QLatin1String("Deleted Folder"));
    menu->addSeparator();
    add(menu.get(), tr("&Recover Selected..."), Command::MenuRecoverSelected);
    add(menu.get(), tr("Recover &All..."), Command::MenuRecoverAll);
    menu->addSeparator();
    QMenu* view = menu->addMenu(tr("&View"));
    add(view, tr("Ico&ns     "), Command::MenuIcons);
    add(view, tr("&List"), Command::MenuList);
    add(view, tr("&Details"), Command::MenuDetails);
    menu->addSeparator();
    add(menu.get(), tr("&Find Files..."), Command::MenuFindFiles);
    menu->addSeparator();
    add(menu.get(), tr("Re&name"), Command::Rename);
    menu->addSeparator();
    add(menu.get(), tr("&Settings..."), Command::MenuSettings);
    menu->addSeparator();
    add(menu.get(), tr("&Properties..."), Command::Properties);
    return menu;
}

void ResultsCommands::showContextMenu(const QPoint& pos)
{
    m_host.setFocusOnTree(false);
    QTableView* details = m_host.detailsView();
    const QModelIndex at = details->indexAt(pos);
    if (at.isValid() && !details->selectionModel()->isRowSelected(at.row(), {}))
        details->selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    std::unique_ptr<QMenu> menu = contextMenu();
    if (!menu)
        return;
    QAction* chosen = menu->exec(details->viewport()->mapToGlobal(pos));
    if (chosen == nullptr)
        return;
    const int id = chosen->data().toInt();
    // These items do what the window's menu items of the same name do.
    static constexpr std::pair<int, int> kWindowItems[] = {
        {Command::MenuIcons, Command::Icons},
        {Command::MenuList, Command::List},
        {Command::MenuDetails, Command::Details},
        {Command::MenuSettings, Command::Settings},
    };
    for (const auto& [item, windowItem] : kWindowItems) {
        if (item == id) {
            m_host.action(windowItem)->trigger();
            return;
        }
    }
    if (id == Command::Open)
        m_host.openSelectedItem();
    else
        run(id);
}

void ResultsCommands::Rename()
{
    if (m_host.focusOnTree() || m_host.currentStep() != 3)
        return;
    const int row = m_host.currentRow();
    const auto& rows = m_host.fileListModel()->fileRows();
    if (row < 0 || static_cast<std::size_t>(row) >= rows.size())
        return;
    m_renameOldName = rows[static_cast<std::size_t>(row)].name.substr(0, 255);
    m_renaming = true;
    QTableView* details = m_host.detailsView();
    const QModelIndex index = m_host.fileListModel()->indexOfRow(row, FileListModel::Name);
    details->setCurrentIndex(index);
    details->edit(index);
}

void ResultsCommands::renameRow(int row, const QString& text)
{
    FileListModel* model = m_host.fileListModel();
    const auto& rows = model->fileRows();
    if (row < 0 || static_cast<std::size_t>(row) >= rows.size())
        return;
    if (!m_renaming) // an edit the user started on the list (F2)
        m_renameOldName = rows[static_cast<std::size_t>(row)].name.substr(0, 255);
    m_renaming = false;
    const std::string newName = text.isEmpty() || m_host.currentStep() != 3
                                    ? m_renameOldName
                                    : toDiskName(text, m_host.session().catalogue.NamesAreUtf8);
    const catalogue::FileRow r = rows[static_cast<std::size_t>(row)];
    if (PreviewPane* preview = m_host.previewPane())
        preview->settle(); // its read may be copying the name that changes
    model->setName(row, newName);
    scan::ScanSession& session = m_host.mutableSession();
    if (session::isFolderRow(r))
        m_host.renameFolderItem(static_cast<std::uint32_t>(r.key), nameText(newName, session.catalogue.NamesAreUtf8));
    // A deep search that ends later brings a catalogue of its own, which takes
    // the name from here.
    if (const std::optional<session::RenamedEntry> renamed = session::renameEntry(session, r, newName))
        m_host.deepSearch()->noteRename(*renamed);
}

void ResultsCommands::Properties()
{
    const int row = m_host.currentRow();
    const auto& rows = m_host.fileListModel()->fileRows();
    if (m_host.currentStep() != 3 || row < 0 || static_cast<std::size_t>(row) >= rows.size())
        return;
    const PropertiesValues values(session::rowProperties(m_host.session(), rows[static_cast<std::size_t>(row)]));
    PropertiesDialog dialog(values, m_host.hostWidget());
    dialog.exec();
}

} // namespace sarvik::app
