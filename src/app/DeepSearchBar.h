// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The strip under the results list that belongs to the deep search: the banner
// that offers it (what the sample of free space found and what reading it
// costs), its progress while it runs (the engine's status line with bytes and
// time left, a progress bar, Stop), and what it found once it has ended.

#include <QFrame>

class QLabel;
class QPushButton;
class QToolButton;

namespace sarvik::ui {
class PercentProgressBar;
class PictureButton;
} // namespace sarvik::ui

namespace sarvik::app {

class DeepSearchBar : public QFrame {
    Q_OBJECT
public:
    enum class Mode { Hidden, Offer, Running, Outcome };

    explicit DeepSearchBar(QWidget* parent = nullptr);

    /// The banner: `text` beside a Deep Search button, and a close button.
    void showOffer(const QString& text);
    /// The search runs: its status line, its progress and Stop.
    void showRunning();
    void setStatus(const QString& status);
    void setProgress(int percent);
    /// The search has ended: what it found, and a close button.
    void showOutcome(const QString& text);
    /// Hides the banner or the outcome (its close button); a running search stays shown.
    void dismiss();
    /// Hides the strip whatever it shows (the results page goes).
    void clear();
    [[nodiscard]] Mode mode() const { return m_mode; }

    [[nodiscard]] QLabel* textLabel() const { return m_text; }
    [[nodiscard]] QPushButton* searchButton() const { return m_search; }
    [[nodiscard]] ui::PictureButton* stopButton() const { return m_stop; }
    [[nodiscard]] QToolButton* closeButton() const { return m_close; }
    [[nodiscard]] ui::PercentProgressBar* progressBar() const { return m_progress; }

signals:
    void searchClicked();
    void stopClicked();
    /// Shown or hidden: the list beside it takes the room it leaves.
    void modeChanged();

protected:
    /// The strip in the palette's colours: the banner as a tooltip is, progress
    /// and outcome quieter.
    void paintEvent(QPaintEvent* event) override;

private:
    void setMode(Mode mode);

    Mode m_mode = Mode::Hidden;
    QLabel* m_text = nullptr;
    ui::PercentProgressBar* m_progress = nullptr;
    QPushButton* m_search = nullptr;
    ui::PictureButton* m_stop = nullptr;
    QToolButton* m_close = nullptr;
};

} // namespace sarvik::app
