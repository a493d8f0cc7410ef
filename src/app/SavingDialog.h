// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Saving the data please wait": the modal box that runs a copy of found files
// as a session::RecoveryJob and shows its path, file name, file count and the
// progress of the current file. The job's worker never touches the box: it
// tells the box that reports wait, and the box shows them by one queued call
// at a time. The box closes itself when the copy has ended; Escape and the
// close box do nothing while it runs.

#include "session/RecoveryJob.h"

#include <QDialog>

#include <functional>
#include <string>

class QEventLoop;
class QLabel;
class QPushButton;

namespace sarvik::ui {
class PercentProgressBar;
}

namespace sarvik::app {

class SavingDialog : public QDialog, private session::RecoveryJobObserver {
    Q_OBJECT
public:
    /// Save: the recovery's box. Open: the copy that Open and Open With make,
    /// with one Cancel button that stops it.
    enum class Purpose { Save, Open };
    explicit SavingDialog(QWidget* parent = nullptr, Purpose purpose = Purpose::Save);
    ~SavingDialog() override;

    /// The job the box runs: a FileRecovery for it is made with its control()
    /// and its reports().
    [[nodiscard]] session::RecoveryJob& job() { return m_job; }
    /// Starts `copy` on the worker and shows the box until the copy has ended.
    void run(recovery::FileRecovery& recovery, std::function<void(recovery::FileRecovery&)> copy);
    /// The number of files the copy was asked for: "Total Files" then reads
    /// "3 of 22" (files of this copy before the current one, of all), from the start.
    void setPlannedFiles(std::uint64_t files);
    /// True when the last copy ended because memory ran out.
    [[nodiscard]] bool outOfMemory() const { return m_job.outOfMemory(); }

    [[nodiscard]] QLabel* pathValue() const { return m_path; }
    [[nodiscard]] QLabel* fileNameValue() const { return m_fileName; }
    [[nodiscard]] QLabel* totalFilesValue() const { return m_totalFiles; }
    [[nodiscard]] ui::PercentProgressBar* progressBar() const { return m_progress; }
    [[nodiscard]] QPushButton* stopButton() const { return m_stop; }
    [[nodiscard]] QPushButton* skipButton() const { return m_skip; }
    [[nodiscard]] bool working() const { return m_working; }
    /// True when Stop Saving (Cancel) was pressed during the last copy, or No
    /// was the answer to going on after an error.
    [[nodiscard]] bool stopped() const { return m_job.stopped(); }

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // RecoveryJobObserver, called on the worker thread.
    void progressWaiting() override;
    void copyEnded() override;
    bool continueAfterError(const std::string& message) override;

    void deliver();
    void ended();
    void showTotal(std::uint32_t done);

    session::RecoveryJob m_job;
    bool m_working = false;
    Purpose m_purpose;
    /// While an Open copy runs before its box is shown.
    QEventLoop* m_wait = nullptr;
    QLabel* m_path = nullptr;
    QLabel* m_fileName = nullptr;
    QLabel* m_totalFiles = nullptr;
    ui::PercentProgressBar* m_progress = nullptr;
    QPushButton* m_stop = nullptr;
    QPushButton* m_skip = nullptr;
};

} // namespace sarvik::app
