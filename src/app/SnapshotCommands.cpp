// SPDX-License-Identifier: GPL-3.0-or-later
// The snapshot commands of the results page: Save and Load Recovery Snapshot.
#include "app/ResultsCommands.h"
#include "session/Snapshots.h"

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

/// The filters of both snapshot dialogs. Snapshots are saved as ".rvu" (older
/// ones as ".RVU"); both cases of both extensions are offered.
QStringList snapshotFilters()
{
    return {ResultsCommands::tr("Recovery Snapshot (*.rvu *.RVU *.rvsx *.RVSX)"), QStringLiteral("*.rvu *.RVU"),
            QStringLiteral("*.rvsx *.RVSX"), ResultsCommands::tr("All files (*)")};
}

enum class SnapshotChoice { Save, Load };

/// Asks for the snapshot file to save to or to load; empty when cancelled. A
/// snapshot to save is kept off `sources`.
std::string chooseSnapshotFile(QWidget* parent, SnapshotChoice choice, const std::vector<std::string>& sources = {})
{
    const bool save = choice == SnapshotChoice::Save;
    QFileDialog dialog(parent, save ? ResultsCommands::tr("Save Recovery Snapshot")
                                    : ResultsCommands::tr("Load Recovery Snapshot"));
    dialog.setObjectName(save ? QStringLiteral("saveSnapshot") : QStringLiteral("loadSnapshot"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFiles);
    dialog.setNameFilters(snapshotFilters());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (save)
        greyWhileOnSource(dialog, sources, ResultsCommands::tr("The snapshot"), [](const QString& chosen) {
            return QString::fromStdString(session::typedSnapshotPath(chosen.toStdString()));
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

} // namespace

// ---- Snapshots --------------------------------------------------------------

void ResultsCommands::SaveSnapshot()
{
    if (m_host.currentStep() != 3 || m_host.scanRunning())
        return;
    const std::vector<std::string> sources = sourcesOf(m_host.session());
    const std::string chosen = chooseSnapshotFile(m_host.hostWidget(), SnapshotChoice::Save, sources);
    if (chosen.empty())
        return;
    // The dialog asked about the name typed; the extension rule may name another file.
    const std::string target = session::typedSnapshotPath(chosen);
    const QString refusal =
        sourceVerdict(QString::fromStdString(target), sources, ResultsCommands::tr("The snapshot")).refusal;
    if (!refusal.isEmpty()) {
        MessageDialog(m_host.hostWidget(), MessageKind::Error, refusal);
        return;
    }
    if (target != chosen && QFileInfo::exists(QString::fromStdString(target)) &&
        QuestionDialog(m_host.hostWidget(),
                       tr("%1 already exists.\nDo you want to replace it?").arg(QString::fromStdString(target))) !=
            kYes)
        return;
    // Written only as a plain file: the dialog asked before replacing one, and
    // a device or a pipe chosen by name is refused.
    session::SnapshotBytes encoded;
    try {
        encoded = session::encodeSnapshot(m_host.session());
    } catch (const std::bad_alloc&) {
        OutOfMemoryEnd(m_host.hostWidget());
    }
    if (!encoded.ok) {
        MessageDialog(m_host.hostWidget(), MessageKind::Error,
                      tr("The snapshot could not be saved. %1").arg(QString::fromStdString(encoded.error)));
        return;
    }
    std::string error;
    if (!platform::writeRegularFile(target, encoded.bytes, true, error)) {
        MessageDialog(m_host.hostWidget(), MessageKind::Error,
                      tr("The snapshot could not be saved. %1").arg(QString::fromStdString(error)));
        return;
    }
    m_host.showStatusMessage(tr("Snapshot saved as %1").arg(QString::fromStdString(target)));
}

void ResultsCommands::LoadSnapshot()
{
    QAction* load = m_host.action(Command::LoadSnapshot);
    if (load == nullptr || !load->isEnabled() || m_host.scanRunning())
        return;
    const std::string path = chooseSnapshotFile(m_host.hostWidget(), SnapshotChoice::Load);
    if (path.empty())
        return;
    scan::ScanSession& session = m_host.mutableSession();
    session::SnapshotLoad loaded;
    try {
        loaded = session::loadSnapshot(session, path);
    } catch (const std::bad_alloc&) {
        OutOfMemoryEnd(m_host.hostWidget());
    }
    if (loaded.refused) {
        MessageDialog(m_host.hostWidget(), MessageKind::Error, snapshotRefusalWords(loaded));
        return;
    }
    // A file cut short or a scan with losses: the list is not the whole volume.
    QStringList partial;
    for (const std::string& line : loaded.partial)
        partial << QString::fromStdString(line);
    // Its damage first, worded here.
    if (!partial.isEmpty() && loaded.damage.what != snapshot::SnapshotDamage::None)
        partial.front() = damageWords(loaded.damage);
    if (!partial.isEmpty())
        MessageDialog(m_host.hostWidget(), MessageKind::Error,
                      partial.join(QLatin1Char('\n')) +
                          tr("\nThe list shows what it holds; files missing from it may still be on "
                             "the volume."));

    // Later reads go to the volume that now answers to the loaded DevicePath.
    const bool opened = session::reopenSnapshotVolume(session, m_host.devices());
    m_host.showLoadedResults();
    const QString where = QString::fromStdString(catalogue::nameToUtf8(session.volume.info.DevicePath, true));
    if (!opened) {
        MessageDialog(m_host.hostWidget(), MessageKind::Error,
                      tr("The volume %1 of this snapshot cannot be opened; files cannot be recovered "
                         "from it until it is available.")
                          .arg(where));
        return;
    }
    // Another volume at the same place (an image replaced, a card swapped)
    // opens all the same: its clusters would be copied under the snapshot's names.
    QStringList differences;
    for (const std::string& line : session::snapshotVolumeDifferences(session, m_host.devices()))
        differences << QString::fromStdString(line);
    if (!differences.isEmpty())
        MessageDialog(m_host.hostWidget(), MessageKind::Error,
                      tr("The volume at %1 does not match the snapshot; recovered files may hold other "
                         "data:\n%2")
                          .arg(where, differences.join(QLatin1Char('\n'))));
}

} // namespace sarvik::app
