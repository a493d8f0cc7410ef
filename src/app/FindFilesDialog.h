// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Find File(s)": searches the whole catalogue for deleted files whose names
// match a pattern, on the worker of a session::FindJob, and lists each match with its folder path
// ("/" between folders) and size. "S&top Search" pauses the walk while it asks
// whether to stop; Yes ends it and keeps the rows found so far, No lets it go
// on where it paused. Typing searches again as the pattern changes. A match
// chosen (double-click, Enter, or its right-click menu) closes the box with
// what to do with it: the window shows it in its folder, then acts on it.

#include "session/FindJob.h"

#include <QDialog>

#include <cstddef>
#include <memory>

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableWidget;
class QTimer;

namespace sarvik::app {

class FileTypes;

class FindFilesDialog : public QDialog, private session::FindObserver {
    Q_OBJECT
public:
    /// The catalogue and the tree must not change while the box is open (it is modal).
    FindFilesDialog(const catalogue::Catalogue& catalogue, const catalogue::FolderTree& tree,
                    catalogue::CatalogueKind kind, FileTypes& types, QWidget* parent = nullptr);
    ~FindFilesDialog() override;

    [[nodiscard]] QLineEdit* patternEdit() const { return m_edit; }
    [[nodiscard]] QTableWidget* results() const { return m_results; }
    [[nodiscard]] QLabel* lastFileValue() const { return m_lastFile; }
    [[nodiscard]] QLabel* filesFoundValue() const { return m_filesFound; }
    [[nodiscard]] QPushButton* startButton() const { return m_start; }
    [[nodiscard]] QPushButton* stopButton() const { return m_stop; }
    [[nodiscard]] bool searching() const { return m_job.running(); }
    /// The walk's control while a search runs (tests look at it).
    [[nodiscard]] search::SearchControl* control() const { return m_job.control(); }

    void StartSearch();
    void StopSearch();
    void reject() override;

    /// What the user chose to do with a match when the box closed.
    enum class Choice { None, GoToFolder, Recover, Open, Properties };
    [[nodiscard]] Choice choice() const { return m_choice; }
    /// The chosen match's index into the scanned kind's file list.
    [[nodiscard]] std::size_t chosenFile() const { return m_chosenFile; }
    /// Closes the box with `choice` for the match in `row`.
    void choose(int row, Choice choice);
    /// The right-click menu of the current match (null when no row is current);
    /// each action carries its Choice as data. The caller owns it.
    [[nodiscard]] std::unique_ptr<QMenu> contextMenu();

signals:
    /// A search has ended, by itself or by a confirmed stop.
    void searchEnded();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // FindObserver, called on the worker thread.
    void matchesWaiting() override;
    void walkEnded(unsigned generation) override;

    void deliver();
    void searchDone(unsigned generation);
    /// Ends a running walk without asking (the pattern changed, or a match was chosen).
    void dropSearch();

    const catalogue::Catalogue& m_catalogue;
    FileTypes& m_types;
    session::FindJob m_job;

    QLineEdit* m_edit = nullptr;
    QTableWidget* m_results = nullptr;
    QLabel* m_lastFile = nullptr;
    QLabel* m_filesFound = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_stop = nullptr;
    /// Starts the search a moment after the last key typed.
    QTimer* m_typed = nullptr;
    Choice m_choice = Choice::None;
    std::size_t m_chosenFile = 0;
};

} // namespace sarvik::app
