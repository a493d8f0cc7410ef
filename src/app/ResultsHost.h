// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the results page's commands, the deep search and the preview need of
// the window that shows the results: the session it shows, the list and the
// tree, and the operations that change what they show. The window implements
// it; the commands know only this, so that they and the window do not name
// each other.

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class QAction;
class QTableView;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace sarvik::disk {
class DeviceProvider;
}
namespace sarvik::recovery {
struct RecoverySettings;
}
namespace sarvik::scan {
class ScanSession;
}
namespace sarvik::session {
struct ScanProgress;
}

namespace sarvik::app {

class DeepSearch;
class FileListModel;
class FileTypes;
class PreviewPane;

class ResultsHost {
public:
    virtual ~ResultsHost() = default;

    /// The window, the parent of the boxes the commands show.
    [[nodiscard]] virtual QWidget* hostWidget() = 0;
    /// The window's step: 3 is the results page.
    [[nodiscard]] virtual int currentStep() const = 0;
    [[nodiscard]] virtual bool scanRunning() const = 0;
    [[nodiscard]] virtual QAction* action(int id) const = 0;

    [[nodiscard]] virtual const scan::ScanSession& session() const = 0;
    /// The session for the commands that change it (snapshot load, rename).
    [[nodiscard]] virtual scan::ScanSession& mutableSession() = 0;
    [[nodiscard]] virtual recovery::RecoverySettings& settings() = 0;
    [[nodiscard]] virtual disk::DeviceProvider& devices() = 0;
    [[nodiscard]] virtual FileTypes& fileTypes() = 0;
    /// Whether the scans list the files not deleted too.
    [[nodiscard]] virtual bool showExistingFiles() const = 0;
    /// Shows `text` for a while where the user looks after a command (a snapshot saved).
    virtual void showStatusMessage(const QString& text) = 0;
    /// The status line for a scan's report, in the user's language.
    [[nodiscard]] virtual QString statusText(const session::ScanProgress& report) const = 0;

    [[nodiscard]] virtual FileListModel* fileListModel() const = 0;
    [[nodiscard]] virtual QTableView* detailsView() const = 0;
    [[nodiscard]] virtual QTreeWidget* folderTree() const = 0;
    /// The tree item of a folder-tree handle (the root for FolderTree::kRootHandle).
    [[nodiscard]] virtual QTreeWidgetItem* folderItem(std::uint32_t handle) const = 0;
    [[nodiscard]] virtual PreviewPane* previewPane() const = 0;
    [[nodiscard]] virtual DeepSearch* deepSearch() const = 0;
    /// Which rows of the file list are selected, one flag per row.
    [[nodiscard]] virtual std::vector<bool> selectedRows() const = 0;
    /// The list's selection mark (its current row), or -1.
    [[nodiscard]] virtual int currentRow() const = 0;
    [[nodiscard]] virtual bool focusOnTree() const = 0;
    virtual void setFocusOnTree(bool onTree) = 0;

    /// Fills the file list with the rows of folder `key`.
    virtual void fillFileList(std::uint64_t key) = 0;
    /// Opens the selected folder of the tree or the list; a file row is opened
    /// by the commands (Command::Open).
    virtual void openSelectedItem() = 0;
    /// The results page for a catalogue that a snapshot load has just filled.
    virtual void showLoadedResults() = 0;
    /// Opens the folder of file `fileIndex` and selects the file in the list;
    /// false when the file is not listed there.
    virtual bool showFile(std::size_t fileIndex) = 0;
    /// Gives a folder's tree item a new text (after a rename).
    virtual void renameFolderItem(std::uint32_t handle, const QString& text) = 0;
    /// The session takes what a deep search found in `found`; the tree and the
    /// list are filled again, keeping what was open, expanded and selected.
    virtual void takeFoundResults(scan::ScanSession& found) = 0;

    /// Held by a command that reads the session across an event loop (a copy
    /// or a search on a worker, a box that lists its entries): what a deep
    /// search found is taken only once no one holds it.
    class SessionHold {
    public:
        explicit SessionHold(ResultsHost& host) : m_host(host) { ++m_host.m_sessionHolds; }
        ~SessionHold() { --m_host.m_sessionHolds; }
        SessionHold(const SessionHold&) = delete;
        SessionHold& operator=(const SessionHold&) = delete;

    private:
        ResultsHost& m_host;
    };
    [[nodiscard]] bool sessionHeld() const { return m_sessionHolds > 0; }

private:
    int m_sessionHolds = 0;
};

} // namespace sarvik::app
