// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The commands of the results page that the window hands on through
// commandRequested: recovering rows, opening a found file, snapshots, the file
// filters, find files, the file list's right-click menu, renaming and the
// properties box.

#include "recovery/RecoveryReport.h"
#include "session/RecoveryOutcome.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QMenu;
class QWidget;
class QTemporaryDir;

namespace sarvik::scan {
class ScanSession;
}

namespace sarvik::app {

class ResultsHost;

class ResultsCommands : public QObject {
    Q_OBJECT
public:
    /// Removes the temporary copies that Open and Open With made.
    void removeOpenCopies();
    ResultsCommands(ResultsHost& host, QObject* parent);
    ~ResultsCommands() override;

    /// Runs command `id` (menu, toolbar or right-click ids).
    void run(int id);

    void RecoverSelected();
    void RecoverAll();
    /// Whether file data can be read (the volume is open); otherwise says why
    /// nothing can be recovered and gives false.
    bool volumeReadable();
    /// Why `folder` cannot take recovered files (missing, not a folder, not
    /// writable), or nothing when it can.
    [[nodiscard]] static QString destinationProblem(const QString& folder);
    /// The folder chooser; empty when none was chosen.
    QString ChooseDestination();
    /// Opens the file of the list's current row: with the desktop's handler, or
    /// with our chooser when `openWith` is set or no handler takes the type.
    void openRow(int row, bool openWith);
    void SaveSnapshot();
    void LoadSnapshot();
    void FileFilters();
    void FindFiles();
    void Rename();
    void Properties();

    /// The right-click menu for the current state (null when none is shown).
    /// The caller owns it; each action carries its command id as data.
    [[nodiscard]] std::unique_ptr<QMenu> contextMenu();

    /// The saved list of the last recovery: the records of `sarvik recover
    /// --report`, a JSON object a line for each file asked for.
    [[nodiscard]] QByteArray reportRecords() const;
    /// Asks where, then saves reportRecords there.
    void saveReportRecords(QWidget* parent) const;
    /// What the last recovery did to each file.
    [[nodiscard]] const recovery::RecoveryReport& lastReport() const { return m_lastReport; }
    /// Where Open copies files: a private folder inside the system's temporary folder.
    [[nodiscard]] QString openFolder();
    [[nodiscard]] bool renaming() const { return m_renaming; }

    /// How a file is handed to the desktop (QDesktopServices by default) and how
    /// a chosen program is started (detached by default); tests replace them.
    std::function<bool(const QString& path)> launchFile;
    /// How a folder is shown on the desktop (QDesktopServices by default).
    std::function<bool(const QString& folder)> launchFolder;

    std::function<bool(const QStringList& command)> startProgram;

private:
    /// What the session reads: the device or image its files come from.
    static std::vector<std::string> sourcesOf(const scan::ScanSession& session);
    void recover(int mode);
    /// The end-of-recovery message: counts, and the files that did not come back whole.
    void showRecoveryOutcome(const recovery::RecoveryReport& report, const QString& folder,
                             session::CopyRequest request);
    void openFile(const QString& path);
    void openFileWith(const QString& path);
    void renameRow(int row, const QString& text);
    void showContextMenu(const QPoint& pos);

    ResultsHost& m_host;
    recovery::RecoveryReport m_lastReport;
    QString m_lastFolder; ///< where the last recovery wrote
    std::unique_ptr<QTemporaryDir> m_openFolder;
    std::string m_renameOldName;
    bool m_renaming = false;
};

} // namespace sarvik::app
