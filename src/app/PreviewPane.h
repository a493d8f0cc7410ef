// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The preview beside the file list: the selected file's first bytes read from
// the volume on a worker (PreviewReader) and shown as a picture, text or hex,
// with the strip of its clusters under it. Moving through the list never waits
// for a read: a newer selection ends the older read, whose result is dropped.

#include "app/PreviewReader.h"

#include <QThreadPool>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;

namespace sarvik::app {

class ClusterStrip;
class ResultsHost;

class PreviewPane : public QWidget {
    Q_OBJECT
public:
    PreviewPane(ResultsHost& host, QWidget* parent);
    ~PreviewPane() override;
    PreviewPane(const PreviewPane&) = delete;
    PreviewPane& operator=(const PreviewPane&) = delete;

    /// Shows file row `row` of the list (a folder or -1 clears the pane).
    void showRow(int row);
    /// Ends the read under way and waits for it. Called before the session
    /// changes in place (a rename, the catalogue released); a scan, a snapshot
    /// and a deep search's results come while the pane is hidden or held off
    /// by ResultsHost::SessionHold.
    void settle();

    /// Asks for a picture of file row `row` at most `side` pixels wide and
    /// high, made on the preview's worker after any preview; `done` gets it
    /// on this thread while `context` lives (a null image when the file holds
    /// no picture that decodes).
    void requestThumbnail(const catalogue::FileRow& row, int side, QObject* context,
                          std::function<void(const QImage&)> done);
    /// Ends the reads and drops the thumbnails asked for and the reader: the
    /// results page is left, and the session may change next.
    void release();

    /// What is shown now.
    [[nodiscard]] const PreviewContent& content() const { return m_content; }
    [[nodiscard]] ClusterStrip* strip() const { return m_strip; }
    [[nodiscard]] QLabel* note() const { return m_note; }
    [[nodiscard]] QComboBox* modeBox() const { return m_mode; }
    [[nodiscard]] QPushButton* readAllButton() const { return m_readAll; }
    /// True while a read is under way.
    [[nodiscard]] bool reading() const { return m_inFlight > 0; }

signals:
    /// A read ended and its result is shown.
    void shown();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void start();
    /// The reader for the session as it is now.
    std::shared_ptr<PreviewReader> reader();
    void holdOn();
    void holdOff();
    void finished(std::uint64_t generation, PreviewContent content);
    void clear(const QString& title);
    void showPicture();
    /// Identifies the session's catalogue as the reader saw it.
    [[nodiscard]] std::uintptr_t fingerprint() const;

    ResultsHost& m_host;
    QThreadPool m_pool;
    std::atomic<std::uint64_t> m_latest{0};
    /// Changes when the thumbnails asked for so far are no longer wanted.
    std::atomic<std::uint64_t> m_thumbnails{0};
    std::shared_ptr<PreviewReader> m_reader;
    std::uintptr_t m_readerFingerprint = 0;
    int m_inFlight = 0;
    /// Keeps a deep search from replacing the session while a read runs.
    struct Hold;
    std::unique_ptr<Hold> m_hold;

    int m_row = -1;
    std::uint64_t m_limit = kPreviewBytes;
    PreviewContent m_content;

    QLabel* m_title = nullptr;
    QComboBox* m_mode = nullptr;
    QPushButton* m_readAll = nullptr;
    QStackedWidget* m_stack = nullptr;
    QLabel* m_picture = nullptr;
    QPlainTextEdit* m_text = nullptr;
    QLabel* m_note = nullptr;
    ClusterStrip* m_strip = nullptr;
    QLabel* m_legend = nullptr;
};

} // namespace sarvik::app
