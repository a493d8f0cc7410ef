// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Open With": our own chooser of programs for one file. It lists the
// applications whose desktop entries declare the file's MIME type (or a type it
// derives from) and has a field for any command. The file's path is passed as
// one argument, never through a shell.

#include <QDialog>
#include <QString>
#include <QStringList>

#include <vector>

class QLineEdit;
class QLabel;
class QListWidget;
class QPushButton;

namespace sarvik::app {

/// One application that a desktop entry describes.
struct DesktopApplication {
    QString name;
    QString exec;      ///< the entry's Exec line, with its field codes
    QString entryPath; ///< the .desktop file
};

/// The applications in `folders` (the XDG application folders when empty)
/// whose entries declare one of `mimeTypes`, sorted by name, each once.
std::vector<DesktopApplication> applicationsFor(const QStringList& mimeTypes, QStringList folders = {});

/// The program and arguments to start for an Exec line (or a typed command) and
/// a file: the field codes %f %F %u %U become the file, the others go, and the
/// file is appended when the line names no place for it. Empty when the line is.
QStringList commandFor(const QString& execLine, const QString& file);

class OpenWithDialog : public QDialog {
    Q_OBJECT
public:
    OpenWithDialog(const QString& file, QWidget* parent = nullptr);

    [[nodiscard]] QListWidget* applicationList() const { return m_list; }
    /// Says why the list is empty; hidden when it is not.
    [[nodiscard]] QLabel* emptyNote() const { return m_emptyNote; }
    [[nodiscard]] QLineEdit* commandField() const { return m_command; }
    [[nodiscard]] QPushButton* openButton() const { return m_open; }
    /// The program and arguments chosen, after the box was accepted.
    [[nodiscard]] QStringList chosenCommand() const;

private:
    QString m_file;
    std::vector<DesktopApplication> m_apps;
    QListWidget* m_list = nullptr;
    QLabel* m_emptyNote = nullptr;
    QLineEdit* m_command = nullptr;
    QPushButton* m_open = nullptr;
};

} // namespace sarvik::app
