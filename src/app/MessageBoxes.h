// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two modal boxes through which the program shows every message: one with a
// single "&Ok" button, one that asks with "&Yes" (result 1) and "&No" (result 2).

#include <QDialog>

class QHBoxLayout;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace sarvik::app {

inline constexpr const char* kProgramTitle = "Velmora Sarvik Undelete";

/// Which icon a box shows.
enum class MessageKind { Information = 1, Error = 2, Question = 3 };

class MessageBox : public QDialog {
    Q_OBJECT
public:
    MessageBox(QWidget* parent, MessageKind kind, const QString& text, bool question, const QString& details = {});
    [[nodiscard]] QString text() const;
    [[nodiscard]] MessageKind kind() const { return m_kind; }
    /// The text behind "&Details", empty when the box has none.
    [[nodiscard]] QString details() const;
    /// Adds a button after the others; the caller connects it.
    QPushButton* addButton(const QString& text, const QString& objectName);

private:
    MessageKind m_kind;
    QLabel* m_text;
    QPlainTextEdit* m_details = nullptr;
    QHBoxLayout* m_buttons = nullptr;
};

/// Shows `text` with one "&Ok" button and waits until it is closed. With
/// `details`, a "&Details" button shows them (one line per item) below the text.
void MessageDialog(QWidget* parent, MessageKind kind, const QString& text, const QString& details = {});

/// Shows the out-of-memory message, then ends the program at once.
[[noreturn]] void OutOfMemoryEnd(QWidget* parent);

inline constexpr int kYes = 1;
inline constexpr int kNo = 2;
/// Asks `text`; returns kYes or kNo (closing the box counts as No).
int QuestionDialog(QWidget* parent, const QString& text, MessageKind kind = MessageKind::Question);

/// Lays out an information box (drive information, properties): the grid of
/// captions and values, `spacing` pixels, then a lone "OK" that accepts.
void layOutInformationBox(QDialog* dialog, QLayout* grid, int spacing);

/// Makes every dialog of the program, when it shows, wide enough for its whole
/// title as the desktop draws it (the program's name added), so that window
/// managers do not cut it; never wider than its screen. Installed once on the
/// application.
void keepDialogTitlesWhole(QObject* application);

/// The width a window needs for `title` as the desktop's title bar shows it.
[[nodiscard]] int titleWidth(const QWidget* window);

} // namespace sarvik::app
