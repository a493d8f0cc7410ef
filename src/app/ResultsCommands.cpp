#include "app/ResultsCommands.h"

#include "app/RecentPlaces.h"

#include "app/DeepSearch.h"
#include "app/FileFiltersDialog.h"
#include "app/FileListModel.h"
#include "app/FindFilesDialog.h"
#include "app/MessageBoxes.h"
#include "app/OpenWithDialog.h"
#include "app/PreviewPane.h"
#include "app/PropertiesDialog.h"
#include "app/RecoveryWindow.h"
#include "app/SavingDialog.h"
#include "app/SourceGuard.h"
#include "catalogue/NameText.h"
#include "platform/Devices.h"
#include "platform/FileSystem.h"
#include "platform/HashingOutputFolder.h"
#include "platform/RegularFile.h"
#include "recovery/FileRecovery.h"
#include "recovery/ReportRecord.h"
#include "session/EntryAccess.h"
#include "session/RecoveryOutcome.h"
#include "snapshot/RecoverySnapshot.h"
#include "snapshot/SnapshotFile.h"
#include "snapshot/SnapshotMftRuns.h"

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

/// How the volume that now answers to `volume`'s device differs from the
/// geometry the snapshot recorded, one line per field; empty when they agree.
QStringList geometryDifferences(disk::DeviceProvider& devices, const disk::SelectedVolume& volume)
{
    disk::SelectedVolume found;
    disk::DriveItem item;
    item.devicePath = volume.info.DevicePath;
    const disk::SelectResult selection = scan::SelectVolume(found, item, devices, disk::GeometryRules::Thorough);
    QStringList lines;
    for (const std::string& line :
         snapshot::GeometryDifferences(volume.geometry, found.geometry, static_cast<bool>(selection)))
        lines << QString::fromStdString(line);
    return lines;
}

/// The filters of both snapshot dialogs. Saved files end in ".RVU", so that
/// pattern is offered beside "*.RVSX"; without it no saved snapshot would show.
const QStringList kSnapshotFilters{QStringLiteral("Recovery Snapshot (*.RVSX *.RVU)"), QStringLiteral("*.RVSX"),
                                   QStringLiteral("*.RVU"), QStringLiteral("All files (*)")};

enum class SnapshotChoice { Save, Load };

/// What the session reads: the device or image its files come from.
std::vector<std::string> sourcesOf(const scan::ScanSession& session)
{
    const std::string& device = session.volume.reader.DevicePath();
    return device.empty() ? std::vector<std::string>{} : std::vector<std::string>{device};
}

/// Asks for the snapshot file to save to or to load; empty when cancelled. A
/// snapshot to save is kept off `sources`.
std::string chooseSnapshotFile(QWidget* parent, SnapshotChoice choice, const std::vector<std::string>& sources = {})
{
    const bool save = choice == SnapshotChoice::Save;
    QFileDialog dialog(parent,
                       save ? QStringLiteral("Save Recovery Snapshot") : QStringLiteral("Load Recovery Snapshot"));
    dialog.setObjectName(save ? QStringLiteral("saveSnapshot") : QStringLiteral("loadSnapshot"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFiles);
    dialog.setNameFilters(kSnapshotFilters);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (save)
        greyWhileOnSource(dialog, sources, QStringLiteral("snapshot"), [](const QString& chosen) {
            return QString::fromStdString(
                snapshot::SnapshotPath(chosen.toStdString(), snapshot::kCaseSensitiveFileNames));
        });
    if (const QString folder = RecentPlaces::instance().folder(Place::Snapshot); !folder.isEmpty())
        dialog.setDirectory(folder);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return {};
    // Several files chosen to load: the last.
    const QString chosen = save ? files.front() : files.back();
    RecentPlaces::instance().remember(Place::Snapshot, chosen);
    return chosen.toStdString();
}

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

ResultsCommands::ResultsCommands(RecoveryWindow& window) : QObject(&window), m_window(window)
{
    launchFile = [](const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
    launchFolder = [](const QString& folder) { return QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); };
    startProgram = [](const QStringList& command) {
        return !command.isEmpty() && QProcess::startDetached(command.front(), command.mid(1));
    };
    QTableView* details = m_window.detailsView();
    details->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(details, &QWidget::customContextMenuRequested, this, &ResultsCommands::showContextMenu);
    details->setEditTriggers(QAbstractItemView::EditKeyPressed);
    details->setItemDelegateForColumn(FileListModel::Name, new RenameDelegate(details));
    connect(m_window.fileListModel(), &FileListModel::renameRequested, this, &ResultsCommands::renameRow);
    // An edit that ends without a change (Escape, or focus lost unchanged) ends the rename too.
    connect(details->itemDelegateForColumn(FileListModel::Name), &QAbstractItemDelegate::closeEditor, this,
            [this] { m_renaming = false; });
}

ResultsCommands::~ResultsCommands() = default;

void ResultsCommands::run(int id)
{
    if (id == Command::Open || id == Command::OpenWith) {
        openRow(m_window.currentRow(), id == Command::OpenWith);
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
    const disk::SectorReader& reader = m_window.session().volume.reader;
    if (reader.isOpen())
        return true;
    MessageDialog(&m_window, MessageKind::Error,
                  QStringLiteral("The volume %1 of this snapshot cannot be opened, so no file data can be read: "
                                 "nothing was written. Connect the volume (or put the image back where it was) and "
                                 "load the snapshot again.")
                      .arg(QString::fromStdString(catalogue::nameToUtf8(reader.DevicePath(), true))));
    return false;
}

QString ResultsCommands::destinationProblem(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.exists())
        return QStringLiteral("%1 does not exist.").arg(folder);
    if (!info.isDir())
        return QStringLiteral("%1 is not a folder.").arg(folder);
    if (!info.isWritable())
        return QStringLiteral("%1 cannot be written to: you may not create files in it, or it is on a read-only "
                              "volume.")
            .arg(folder);
    return {};
}

QString ResultsCommands::ChooseDestination()
{
    QFileDialog dialog(&m_window, QStringLiteral("Please select the path to recover the data"));
    dialog.setObjectName(QStringLiteral("chooseDestination"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const std::vector<std::string> sources = sourcesOf(m_window.session());
    greyWhileOnSource(dialog, sources, QStringLiteral("destination"));
    if (const QString folder = RecentPlaces::instance().folder(Place::Destination); !folder.isEmpty())
        dialog.setDirectory(folder);
    // A folder that cannot take the files is refused with the reason, and the
    // chooser opens again where it was.
    while (dialog.exec() == QDialog::Accepted) {
        const QStringList chosen = dialog.selectedFiles();
        if (chosen.isEmpty())
            return {};
        const QString problem = destinationProblem(chosen.front());
        const SourceVerdict verdict = sourceVerdict(chosen.front(), sources, QStringLiteral("destination"));
        if (problem.isEmpty() && verdict.refusal.isEmpty()) {
            RecentPlaces::instance().remember(Place::Destination, chosen.front(), true);
            if (!verdict.warning.isEmpty())
                MessageDialog(&m_window, MessageKind::Information, verdict.warning);
            return chosen.front();
        }
        MessageDialog(&m_window, MessageKind::Error,
                      problem.isEmpty() ? verdict.refusal
                                        : problem + QStringLiteral("\n\nPlease choose another folder."));
    }
    return {};
}

void ResultsCommands::recover(int mode)
{
    if (m_window.currentStep() != 3)
        return;
    // The rows and the selection taken here are copied in the session's terms
    // by the box's worker: a deep search's results wait until it is done.
    const RecoveryWindow::SessionHold hold(m_window);
    const auto recoveryMode = static_cast<recovery::RecoveryMode>(mode);
    const std::vector<bool> selected = m_window.selectedRows();
    if (recoveryMode == recovery::RecoveryMode::Selected &&
        std::find(selected.begin(), selected.end(), true) == selected.end()) {
        MessageDialog(&m_window, MessageKind::Information,
                      QStringLiteral("No file or folder is selected. Select the files and folders to recover in the "
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
        MessageDialog(&m_window, MessageKind::Error,
                      QStringLiteral("Unable to use the folder %1: %2").arg(folder, QString::fromStdString(error)));
        return;
    }
    // A duplicate replaced never replaces the image or a file of its set.
    for (const std::string& source : sourcesOf(m_window.session()))
        destination->keepOff(platform::filesReadFor(source));
    // Every file is hashed as it is written, for the list Save List writes.
    destination = std::make_shared<platform::HashingOutputFolder>(std::move(destination));
    const std::vector<catalogue::FileRow> rows = m_window.fileListModel()->fileRows();
    const recovery::TargetFolder target{destination, folder.toStdString()};
    scan::ScanSession& session = m_window.mutableSession();
    m_lastReport.clear();
    m_lastFolder = folder;
    SavingDialog dialog(&m_window);
    const std::uint64_t planned = session::plannedFiles(session, rows, recoveryMode, selected);
    dialog.setPlannedFiles(planned);
    recovery::FileRecovery copier(session.volume, session.catalogue, session.tree, session.filters, m_window.settings(),
                                  dialog.job().control(), dialog.job().reports(), m_lastReport);
    dialog.run(copier, [&](recovery::FileRecovery& r) { r.RecoverListItems(rows, recoveryMode, selected, target); });

    if (dialog.outOfMemory())
        OutOfMemoryEnd(&m_window);
    showRecoveryOutcome(m_lastReport, folder, session::CopyRequest{planned, dialog.stopped()});
}

QByteArray ResultsCommands::reportRecords() const
{
    const scan::ScanSession& session = m_window.session();
    const recovery::ReportVolume volume{session.catalogue, session.tree, session.volume.geometry.SectorsPerCluster};
    return QByteArray::fromStdString(recovery::reportRecords(volume, m_lastReport));
}

void ResultsCommands::saveReportRecords(QWidget* parent) const
{
    QFileDialog dialog(parent, QStringLiteral("Save the list of recovered files"));
    dialog.setObjectName(QStringLiteral("saveRecoveryList"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters({QStringLiteral("JSON lines (*.jsonl)"), QStringLiteral("All files (*)")});
    dialog.setDefaultSuffix(QStringLiteral("jsonl"));
    // It opens in the folder the files went to.
    if (!m_lastFolder.isEmpty())
        dialog.setDirectory(m_lastFolder);
    dialog.selectFile(QStringLiteral("recovery-report.jsonl"));
    const std::vector<std::string> sources = sourcesOf(m_window.session());
    greyWhileOnSource(dialog, sources, QStringLiteral("list"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().front();
    if (const QString refusal = sourceVerdict(path, sources, QStringLiteral("list")).refusal; !refusal.isEmpty()) {
        MessageDialog(parent, MessageKind::Error, refusal);
        return;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(reportRecords()) < 0 || !file.commit())
        MessageDialog(parent, MessageKind::Error,
                      QStringLiteral("Unable to save the list to %1: %2").arg(path, file.errorString()));
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
    QStringList lines;
    for (const std::string& line : summary.details)
        lines << QString::fromStdString(line);
    const QString text = QString::fromStdString(summary.text);
    const bool losses = summary.losses;
    MessageBox box(&m_window, !losses ? MessageKind::Information : MessageKind::Error, text, false,
                   lines.join(QLatin1Char('\n')));
    QPushButton* save = box.addButton(QStringLiteral("Save &List..."), QStringLiteral("saveList"));
    connect(save, &QPushButton::clicked, &box, [&] { saveReportRecords(&box); });
    QPushButton* open = box.addButton(QStringLiteral("Open &Folder"), QStringLiteral("openFolder"));
    connect(open, &QPushButton::clicked, &box, [this, folder] {
        if (!launchFolder(folder))
            MessageDialog(&m_window, MessageKind::Error,
                          QStringLiteral("No program of the desktop opened the folder %1.").arg(folder));
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
    const auto& rows = m_window.fileListModel()->fileRows();
    if (m_window.currentStep() != 3 || row < 0 || static_cast<std::size_t>(row) >= rows.size())
        return;
    const catalogue::FileRow& r = rows[static_cast<std::size_t>(row)];
    if (session::isFolderRow(r))
        return;
    // `r` is a row of the list, copied from by the box's worker: a deep
    // search's results (which fill the list again) wait until it is done.
    const RecoveryWindow::SessionHold hold(m_window);
    if (!volumeReadable())
        return;
    const QString folder = openFolder();
    std::string error;
    auto destination = folder.isEmpty() ? nullptr : platform::openOutputFolder(folder.toStdString(), error);
    if (!destination) {
        MessageDialog(&m_window, MessageKind::Error, QStringLiteral("Unable to create a temporary folder"));
        return;
    }
    const recovery::TargetFolder target{destination, folder.toStdString()};
    scan::ScanSession& session = m_window.mutableSession();
    recovery::RecoveryReport report;
    // The copy runs on the box's worker: a large file keeps the window alive
    // and can be cancelled.
    SavingDialog dialog(&m_window, SavingDialog::Purpose::Open);
    recovery::FileRecovery copier(session.volume, session.catalogue, session.tree, session.filters, m_window.settings(),
                                  dialog.job().control(), dialog.job().reports(), report);
    int written = 0;
    dialog.run(copier, [&](recovery::FileRecovery& c) { written = session::copyRowForOpen(c, session, r, target); });
    if (dialog.outOfMemory())
        OutOfMemoryEnd(&m_window);
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
    OpenWithDialog chooser(path, &m_window);
    if (chooser.exec() != QDialog::Accepted)
        return;
    const QStringList command = chooser.chosenCommand();
    if (!command.isEmpty() && !startProgram(command))
        MessageDialog(&m_window, MessageKind::Error, QStringLiteral("Unable to start %1").arg(command.front()));
}

// ---- Snapshots --------------------------------------------------------------

void ResultsCommands::SaveSnapshot()
{
    if (m_window.currentStep() != 3 || m_window.scanRunning())
        return;
    const std::vector<std::string> sources = sourcesOf(m_window.session());
    const std::string chosen = chooseSnapshotFile(&m_window, SnapshotChoice::Save, sources);
    if (chosen.empty())
        return;
    // The dialog asked about the name typed; the extension rule may name another file.
    const std::string target = snapshot::SnapshotPath(chosen, snapshot::kCaseSensitiveFileNames);
    const QString refusal = sourceVerdict(QString::fromStdString(target), sources, QStringLiteral("snapshot")).refusal;
    if (!refusal.isEmpty()) {
        MessageDialog(&m_window, MessageKind::Error, refusal);
        return;
    }
    if (target != chosen && QFileInfo::exists(QString::fromStdString(target)) &&
        QuestionDialog(&m_window, QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                      .arg(QString::fromStdString(target))) != kYes)
        return;
    // Written only as a plain file: the dialog asked before replacing one, and
    // a device or a pipe chosen by name is refused.
    std::vector<std::byte> bytes;
    try {
        const scan::ScanSession& session = m_window.session();
        const snapshot::EncodeResult encoded = snapshot::EncodeSnapshot(
            session.volume.info, session.volume.partition, session.volume.geometry, session.catalogue, bytes);
        if (!encoded.ok) {
            MessageDialog(&m_window, MessageKind::Error, QString::fromStdString(encoded.error));
            return;
        }
    } catch (const std::bad_alloc&) {
        OutOfMemoryEnd(&m_window);
    }
    std::string error;
    if (!platform::writeRegularFile(target, bytes, true, error))
        MessageDialog(&m_window, MessageKind::Error,
                      QStringLiteral("The snapshot could not be saved. %1").arg(QString::fromStdString(error)));
}

void ResultsCommands::LoadSnapshot()
{
    QAction* load = m_window.action(Command::LoadSnapshot);
    if (load == nullptr || !load->isEnabled() || m_window.scanRunning())
        return;
    const std::string path = chooseSnapshotFile(&m_window, SnapshotChoice::Load);
    if (path.empty())
        return;
    scan::ScanSession& session = m_window.mutableSession();
    snapshot::LoadOutcome loaded;
    try {
        loaded = snapshot::LoadSnapshotFile(session, path);
    } catch (const std::bad_alloc&) {
        OutOfMemoryEnd(&m_window);
    }
    if (loaded.status == snapshot::DecodeStatus::Refused) {
        MessageDialog(&m_window, MessageKind::Error, QString::fromStdString(loaded.message));
        return;
    }
    // A file cut short or a scan with losses: the list is not the whole volume.
    QStringList partial;
    if (!loaded.message.empty())
        partial << QString::fromStdString(loaded.message);
    for (const std::string& note : snapshot::LossNotes(session))
        partial << QStringLiteral("This snapshot is incomplete: %1.").arg(QString::fromStdString(note));
    if (!partial.isEmpty())
        MessageDialog(&m_window, MessageKind::Error,
                      partial.join(QLatin1Char('\n')) +
                          QStringLiteral("\nThe list shows what it holds; files missing from it may still be on "
                                         "the volume."));

    // Later reads go to the volume that now answers to the loaded DevicePath.
    auto& volume = session.volume;
    disk::OpenResult source = m_window.devices().open(volume.info.DevicePath);
    const bool opened = source.source != nullptr;
    volume.reader.setDevice(volume.info.DevicePath, std::move(source.source));
    if (opened && volume.geometry.GeometryKind == disk::VolumeKind::Ntfs)
        snapshot::RebuildMftRunList(session.mftRuns, volume);
    session.filters.clear();
    m_window.showLoadedResults();
    const QString where = QString::fromStdString(catalogue::nameToUtf8(volume.info.DevicePath, true));
    if (!opened) {
        MessageDialog(&m_window, MessageKind::Error,
                      QStringLiteral("The volume %1 of this snapshot cannot be opened; files cannot be recovered "
                                     "from it until it is available.")
                          .arg(where));
        return;
    }
    // Another volume at the same place (an image replaced, a card swapped)
    // opens all the same: its clusters would be copied under the snapshot's names.
    const QStringList differences = geometryDifferences(m_window.devices(), volume);
    if (!differences.isEmpty())
        MessageDialog(&m_window, MessageKind::Error,
                      QStringLiteral("The volume at %1 does not match the snapshot; recovered files may hold other "
                                     "data:\n%2")
                          .arg(where, differences.join(QLatin1Char('\n'))));
}

// ---- Filters and find -------------------------------------------------------

void ResultsCommands::FileFilters()
{
    if (m_window.currentStep() != 3)
        return;
    scan::ScanSession& session = m_window.mutableSession();
    FileFiltersDialog dialog(session.filters, session.catalogue.NamesAreUtf8, &m_window);
    dialog.exec();
    // Close, whichever way: the root's rows under the new patterns.
    m_window.folderTree()->setFocus();
    m_window.folderTree()->setCurrentItem(m_window.folderItem(catalogue::FolderTree::kRootHandle));
    m_window.setFocusOnTree(true);
    m_window.FillFileList(m_window.session().tree.rootKey());
}

void ResultsCommands::FindFiles()
{
    if (m_window.currentStep() != 3)
        return;
    const scan::ScanSession& session = m_window.session();
    // The dialog's worker searches this catalogue while it is open.
    const RecoveryWindow::SessionHold hold(m_window);
    FindFilesDialog dialog(session.catalogue, session.tree, session.kind(), m_window.fileTypes(), &m_window);
    dialog.exec();
    // A chosen match: its folder opens with the file selected, and the command
    // chosen for it acts on that selection.
    if (dialog.choice() == FindFilesDialog::Choice::None || !m_window.showFile(dialog.chosenFile()))
        return;
    switch (dialog.choice()) {
    case FindFilesDialog::Choice::Recover:
        RecoverSelected();
        break;
    case FindFilesDialog::Choice::Open:
        openRow(m_window.currentRow(), false);
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
    const int row = m_window.currentRow();
    if (m_window.currentStep() != 3 || row < 0)
        return nullptr;
    auto menu = std::make_unique<QMenu>(&m_window);
    auto add = [](QMenu* m, const char* text, int id) {
        QAction* a = m->addAction(QString::fromLatin1(text));
        a->setData(id);
        return a;
    };
    add(menu.get(), "&Open", Command::Open);
    QAction* with = add(menu.get(), "Open &With...", Command::OpenWith);
    const QString type = m_window.fileListModel()->text(row, FileListModel::Type);
    with->setEnabled(type != QLatin1String("Folder") && type != QLatin1String("Deleted Folder"));
    menu->addSeparator();
    add(menu.get(), "&Recover Selected...", Command::MenuRecoverSelected);
    add(menu.get(), "Recover &All...", Command::MenuRecoverAll);
    menu->addSeparator();
    QMenu* view = menu->addMenu(QStringLiteral("&View"));
    add(view, "Ico&ns     ", Command::MenuIcons);
    add(view, "&List", Command::MenuList);
    add(view, "&Details", Command::MenuDetails);
    menu->addSeparator();
    add(menu.get(), "&Find Files...", Command::MenuFindFiles);
    menu->addSeparator();
    add(menu.get(), "Re&name", Command::Rename);
    menu->addSeparator();
    add(menu.get(), "&Settings...", Command::MenuSettings);
    menu->addSeparator();
    add(menu.get(), "&Properties...", Command::Properties);
    return menu;
}

void ResultsCommands::showContextMenu(const QPoint& pos)
{
    m_window.setFocusOnTree(false);
    QTableView* details = m_window.detailsView();
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
            m_window.action(windowItem)->trigger();
            return;
        }
    }
    if (id == Command::Open)
        m_window.OpenSelectedItem();
    else
        run(id);
}

void ResultsCommands::Rename()
{
    if (m_window.focusOnTree() || m_window.currentStep() != 3)
        return;
    const int row = m_window.currentRow();
    const auto& rows = m_window.fileListModel()->fileRows();
    if (row < 0 || static_cast<std::size_t>(row) >= rows.size())
        return;
    m_renameOldName = rows[static_cast<std::size_t>(row)].name.substr(0, 255);
    m_renaming = true;
    QTableView* details = m_window.detailsView();
    const QModelIndex index = m_window.fileListModel()->indexOfRow(row, FileListModel::Name);
    details->setCurrentIndex(index);
    details->edit(index);
}

void ResultsCommands::renameRow(int row, const QString& text)
{
    FileListModel* model = m_window.fileListModel();
    const auto& rows = model->fileRows();
    if (row < 0 || static_cast<std::size_t>(row) >= rows.size())
        return;
    if (!m_renaming) // an edit the user started on the list (F2)
        m_renameOldName = rows[static_cast<std::size_t>(row)].name.substr(0, 255);
    m_renaming = false;
    const std::string newName = text.isEmpty() || m_window.currentStep() != 3
                                    ? m_renameOldName
                                    : toDiskName(text, m_window.session().catalogue.NamesAreUtf8);
    const catalogue::FileRow r = rows[static_cast<std::size_t>(row)];
    if (PreviewPane* preview = m_window.previewPane())
        preview->settle(); // its read may be copying the name that changes
    model->setName(row, newName);
    scan::ScanSession& session = m_window.mutableSession();
    if (session::isFolderRow(r))
        m_window.renameFolderItem(static_cast<std::uint32_t>(r.key), nameText(newName, session.catalogue.NamesAreUtf8));
    // A deep search that ends later brings a catalogue of its own, which takes
    // the name from here.
    if (const std::optional<session::RenamedEntry> renamed = session::renameEntry(session, r, newName))
        m_window.deepSearch()->noteRename(*renamed);
}

void ResultsCommands::Properties()
{
    const int row = m_window.currentRow();
    const auto& rows = m_window.fileListModel()->fileRows();
    if (m_window.currentStep() != 3 || row < 0 || static_cast<std::size_t>(row) >= rows.size())
        return;
    const PropertiesValues values(session::rowProperties(m_window.session(), rows[static_cast<std::size_t>(row)]));
    PropertiesDialog dialog(values, &m_window);
    dialog.exec();
}

} // namespace sarvik::app
